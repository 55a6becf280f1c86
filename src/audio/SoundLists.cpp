#include "audio/SoundLists.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "audio/CLoadSnd.h"
#include "audio/CXa2.h"
#include "core/MapSceneEntity.h"
#include "platform/file.h"
#include "core/Messages.h"
#include "core/System.h"
#include "platform/common/text.h"

namespace {

// A list record: 16 UTF-16 units of name, then CR LF.
constexpr int kRecordUnits = 18;
constexpr int kRecordBytes = 2 * kRecordUnits;
constexpr int kMusicSlots = 64;
constexpr int kEffectSlotBase = 64;

// Reads the list's 960 records into the name table. Records are taken by position, not by line:
// every entry must be exactly 16 units long. A record read only in part keeps the bytes that
// were read; records past the end of the file leave their slots as they were.
void ReadSoundNames(FILE* f, char16_t (*names)[kNameSlotUnits]) {
    for (int k = 0; k < kSoundNameSlots; ++k) {
        uint8_t record[kRecordBytes];
        size_t got = std::fread(record, 1, sizeof record, f);
        if (got == 0) continue;
        char16_t* slot = names[k];
        for (size_t u = 0; u < got / 2; ++u) {
            slot[u] = static_cast<char16_t>(record[2 * u] | record[2 * u + 1] << 8);
        }
        if (got % 2 != 0) {
            slot[got / 2] = static_cast<char16_t>((slot[got / 2] & 0xFF00) | record[got - 1]);
        }
        if (slot[16] == u'\r' && slot[17] == u'\n') {
            slot[16] = 0;
            slot[17] = 0;
        }
    }
}

bool JoinData(char16_t* out, const System* s, const char16_t* name) {
    return U16Copy(out, kPathChars, s->dataFolder) && U16Cat(out, kPathChars, name);
}

}  // namespace

bool LoadResourceLists(System* system, MapSceneEntity* scene, CXa2* audio) {
    if (system == nullptr || audio == nullptr || scene == nullptr) return false;
    System* s = system;
    if (s->soundOff != 0 || (s->soundMode != 1 && s->soundMode != 2)) return true;

    char16_t path[kPathChars];
    const char16_t* listName = s->soundMode == 1 ? u"wav\\wav_0000.txt" : u"ogg\\ogg_0000.txt";
    JoinData(path, s, listName);
    FILE* f = path[0] != 0 ? OpenFileU16(path, "rb") : nullptr;
    if (f == nullptr) {
        if (path[0] != 0) {
            TellOpenFailure(path, errno);
        } else {
            Tell(MessageId::kFileNotFound, listName);
        }
        return false;
    }
    // The byte-order mark is skipped, not checked.
    if (std::fseek(f, 2, SEEK_SET) == 0) ReadSoundNames(f, scene->soundNames);
    std::fclose(f);

    const char16_t (*names)[kNameSlotUnits] = scene->soundNames;
    CLoadSnd loader(audio, s);
    for (int j = 0; j < kEffectVoices; ++j) {
        JoinData(path, s, names[kEffectSlotBase + j]);
        if (!loader.LoadSe(path, j)) return false;
    }
    for (int i = 0; i < kMusicSlots; ++i) {
        JoinData(path, s, names[i]);
        if (!loader.OpenMusicTrack(i, path)) return false;
    }
    if (!loader.CreateBgmVoice()) return false;
    return loader.StartStreamThread();
}
