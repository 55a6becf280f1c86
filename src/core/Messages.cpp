#include "core/Messages.h"

#include <cstdio>
#include <cstring>

#include "platform/common/text.h"
#include "platform/file.h"
#include "platform/platform.h"

namespace {

constexpr char16_t kMessage[] = u"Message";
constexpr char16_t kError[] = u"Error";
constexpr char16_t kFailed[] = u"失敗しました。";

constexpr MessageEntry kTable[] = {
    {MessageId::kProgramFolderUnknown, kError, u"プログラムのフォルダが分かりません。"},
    {MessageId::kWindowClassFailed, kMessage, u"失敗"},
    {MessageId::kWindowFailed, kMessage, u"ウィンドウを作成できませんでした。"},
    {MessageId::kGraphicsFailed, kMessage, u"DirectGraphicsの初期化に失敗しました。"},
    {MessageId::kInitFailed, kMessage, u"ゲームの初期化に失敗しました。"},
    {MessageId::kTextureListFailed, kError, u"失敗しました。1"},
    {MessageId::kTexturesFailed, kError, u"失敗しました。4"},
    {MessageId::kReleaseFailed, kError, kFailed},
    {MessageId::kDeviceFailed, kMessage, kFailed},
    {MessageId::kFileNotFound, kMessage, u"ファイルが見つかりません"},
    {MessageId::kDataFolderTooLong, kError, u"データフォルダのパスが長すぎます。"},
    {MessageId::kIniWriteFailed, kError, u"ini書き込みに失敗しました。"},
    {MessageId::kTxtWriteFailed, kError, u"txt書き込みに失敗しました。"},
    {MessageId::kAudioFailed, kMessage, u"XAudio2の初期化に失敗しました。"},
    {MessageId::kWaveOpenFailed, kError, u"Waveファイルのオープンに失敗"},
    {MessageId::kMusicOpenFailed, kError, u"WAVEファイルを開くのに失敗"},
    {MessageId::kThreadFailed, kError, u"スレッドの生成に失敗"},
    {MessageId::kPngNoReadStruct, kMessage, u"PNG構造体を作成出来ません"},
    {MessageId::kPngNoInfoStruct, kMessage, u"PNG構造体を初期化出来ません"},
    {MessageId::kPngTooManyColours, kMessage, u"色数が多すぎます"},
    {MessageId::kPngBadColourType, kMessage, u"このパレットタイプには対応していません"},
    {MessageId::kPngBadSize, kMessage, u"画像サイズが512x512ではありません"},
    {MessageId::kPngCorrupt, kMessage, u"PNGファイルが壊れています"},
    {MessageId::kPngNoMemory, kMessage, u"メモリが足りません"},
    {MessageId::kPlayerFolderFailed, kError, u"設定とランキングを置くフォルダを用意できません。"},
};
constexpr int kEntries = static_cast<int>(sizeof kTable / sizeof kTable[0]);

// Room for a path and a detail of the platform's (a folder problem, say) around the text.
constexpr int kComposedChars = static_cast<int>(kPathChars) + 1024;

}  // namespace

const MessageEntry* FindMessage(MessageId id) {
    const int i = static_cast<int>(id) - 1;
    return i >= 0 && i < kEntries ? &kTable[i] : nullptr;
}

const MessageEntry* MessageTable(int* count) {
    *count = kEntries;
    return kTable;
}

void ComposeMessage(char16_t* out, int capacity, MessageId id, const char16_t* subject,
                    const char16_t* detail) {
    const size_t cap = static_cast<size_t>(capacity);
    const char16_t* text = FindMessage(id)->text;
    const bool whole = (subject == nullptr ? U16Copy(out, cap, text) : U16JoinSpace(out, cap, subject, text)) &&
                       (detail == nullptr || detail[0] == 0 ||
                        (U16Cat(out, cap, u"\n") && U16Cat(out, cap, detail)));
    if (!whole) U16Copy(out, cap, text);
}

void Tell(MessageId id, const char16_t* subject, const char16_t* detail) {
    char16_t text[kComposedChars];
    const MessageEntry* m = FindMessage(id);
    ComposeMessage(text, kComposedChars, id, subject, detail);
    char t[4 * kComposedChars];
    char c[64];
    if (!U16ToUtf8(text, t, sizeof t)) std::strcpy(t, "?");
    if (!U16ToUtf8(m->caption, c, sizeof c)) std::strcpy(c, "?");
    std::fprintf(stderr, "%s: %s\n", c, t);
    if (Plat().services != nullptr) Plat().services->MessageBox(text, m->caption);
}

void TellOpenFailure(const char16_t* path, int err) {
    if (NothingAtU16(path)) {
        Tell(MessageId::kFileNotFound, path);
        return;
    }
    char16_t reason[160];
    DescribeOpenFailureU16(path, err, reason, sizeof reason / sizeof reason[0]);
    Tell(MessageId::kFileNotFound, path, reason);
}
