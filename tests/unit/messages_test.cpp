// The message table: the texts the player reads, pinned by id, and how a message names its file.
#include <gtest/gtest.h>

#include <string>

#include "message_support.h"
#include "platform/common/text.h"

namespace {

TEST(MessagesTest, EveryIdKeepsItsCaptionAndText) {
    const struct {
        MessageId id;
        const char16_t* caption;
        const char16_t* text;
    } pinned[] = {
        {MessageId::kProgramFolderUnknown, u"Error", u"プログラムのフォルダが分かりません。"},
        {MessageId::kWindowClassFailed, u"Message", u"失敗"},
        {MessageId::kWindowFailed, u"Message", u"ウィンドウを作成できませんでした。"},
        {MessageId::kGraphicsFailed, u"Message", u"DirectGraphicsの初期化に失敗しました。"},
        {MessageId::kInitFailed, u"Message", u"ゲームの初期化に失敗しました。"},
        {MessageId::kTextureListFailed, u"Error", u"失敗しました。1"},
        {MessageId::kTexturesFailed, u"Error", u"失敗しました。4"},
        {MessageId::kReleaseFailed, u"Error", u"失敗しました。"},
        {MessageId::kDeviceFailed, u"Message", u"失敗しました。"},
        {MessageId::kFileNotFound, u"Message", u"ファイルが見つかりません"},
        {MessageId::kDataFolderTooLong, u"Error", u"データフォルダのパスが長すぎます。"},
        {MessageId::kIniWriteFailed, u"Error", u"ini書き込みに失敗しました。"},
        {MessageId::kTxtWriteFailed, u"Error", u"txt書き込みに失敗しました。"},
        {MessageId::kAudioFailed, u"Message", u"XAudio2の初期化に失敗しました。"},
        {MessageId::kWaveOpenFailed, u"Error", u"Waveファイルのオープンに失敗"},
        {MessageId::kMusicOpenFailed, u"Error", u"WAVEファイルを開くのに失敗"},
        {MessageId::kThreadFailed, u"Error", u"スレッドの生成に失敗"},
        {MessageId::kPngNoReadStruct, u"Message", u"PNG構造体を作成出来ません"},
        {MessageId::kPngNoInfoStruct, u"Message", u"PNG構造体を初期化出来ません"},
        {MessageId::kPngTooManyColours, u"Message", u"色数が多すぎます"},
        {MessageId::kPngBadColourType, u"Message", u"このパレットタイプには対応していません"},
        {MessageId::kPngBadSize, u"Message", u"画像サイズが512x512ではありません"},
        {MessageId::kPngCorrupt, u"Message", u"PNGファイルが壊れています"},
        {MessageId::kPngNoMemory, u"Message", u"メモリが足りません"},
        {MessageId::kPlayerFolderFailed, u"Error", u"設定とランキングを置くフォルダを用意できません。"},
    };
    int count = 0;
    const MessageEntry* table = MessageTable(&count);
    ASSERT_EQ(count, static_cast<int>(sizeof pinned / sizeof pinned[0]));
    for (int i = 0; i < count; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(table[i].id, pinned[i].id);  // in id order, so FindMessage can index
        const MessageEntry* m = FindMessage(pinned[i].id);
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(std::u16string(m->caption), pinned[i].caption);
        EXPECT_EQ(std::u16string(m->text), pinned[i].text);
    }
}

TEST(MessagesTest, TellNamesTheFileAddsTheDetailAndFallsBackToTheText) {
    HeadlessPlatform platform;
    platform.Install();
    Tell(MessageId::kFileNotFound, u"data\\grp\\grp_0003.txt");
    Tell(MessageId::kProgramFolderUnknown, nullptr, u"/home/p/.local/share/kelvorine cannot be made");
    const std::u16string tooLong(kPathChars + 2048, u'x');
    Tell(MessageId::kPngCorrupt, tooLong.c_str());
    ASSERT_EQ(platform.services.messages.size(), 3u);
    EXPECT_EQ(platform.services.messages[0].text, u"data\\grp\\grp_0003.txt ファイルが見つかりません");
    EXPECT_EQ(platform.services.messages[0].caption, u"Message");
    EXPECT_EQ(platform.services.messages[1].text,
              u"プログラムのフォルダが分かりません。\n/home/p/.local/share/kelvorine cannot be made");
    EXPECT_EQ(platform.services.messages[1].caption, u"Error");
    EXPECT_EQ(platform.services.messages[2].text, u"PNGファイルが壊れています");  // never a cut path
    for (const HeadlessMessageBox& m : platform.services.messages) EXPECT_NE(IdOf(m), 0);
}

}  // namespace
