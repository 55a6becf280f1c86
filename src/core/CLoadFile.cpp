// CLoadFile: the files beside the executable ("Game.ini", "dir.txt", "save0001.dat" ..
// "save0016.dat"), the ranking entry, and the texture list reader.
//
// Every multi-byte value in these files is little-endian and is assembled byte by byte, so
// nothing depends on the host's byte order or on alignment. Every path is built in a buffer of
// kPathChars units by bounded copy and concatenation; a path that does not fit is a failure.
#include "core/CLoadFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "core/MapSceneEntity.h"
#include "platform/common/le_bytes.h"
#include "platform/file.h"
#include "platform/platform.h"
#include "core/Messages.h"
#include "core/System.h"
#include "platform/common/text.h"

namespace {


// "dir.txt": after the two-byte byte order mark at most 160 bytes (80 units) of name.
constexpr int kDirTextBytes = 160;
constexpr int kDirTextUnits = kDirTextBytes / 2;

// Save files: one read of up to 64 KiB; the layout ends at byte 38970.
constexpr size_t kSaveReadBytes = 65536;
constexpr size_t kSaveEntryBytes = 608;
constexpr size_t kSaveTailOffset = kSaveEntryBytes * kSaveEntries;  // 29184

// Texture list: 64 records of 36 bytes (16 units of name, CR, LF) after the byte order mark.
constexpr size_t kListRecordBytes = 36;
constexpr int kListRecordUnits = kListRecordBytes / 2;

void GetInts(const uint8_t* p, int32_t* out, int count) {
    for (int i = 0; i < count; ++i) out[i] = LeI32(p + 4 * i);
}

void GetBytes(const uint8_t* p, uint8_t* out, int count) {
    for (int i = 0; i < count; ++i) out[i] = p[i];
}

void ReadSaveEntry(const uint8_t* p, SaveEntry* e) {
    e->firstByte = p[0];
    GetInts(p + 1, e->firstInts, 5);
    GetBytes(p + 21, e->sixBytes, 6);
    GetBytes(p + 27, e->tenBytes, 10);
    GetInts(p + 37, e->secondInts, 5);
    e->secondByte = p[57];
    GetInts(p + 58, e->twoInts, 2);
    e->finalInt = LeI32(p + 66);
    GetInts(p + 70, e->grid, 120);  // eight rows of 15; bytes 550..607 of the entry are unused
}

// A data-folder name that is a whole path already: "/usr/share/games/kelvorine/data/", a drive
// ("C:\data\") or a network share ("\\host\data\"). Joined to the game's folder it would name
// nothing, so it is used as it is whatever the settings say (a per-user folder whose "Game.ini" was
// deleted or replaced gets the defaults, which call the name relative).
bool IsWholePath(const char16_t* name) {
    const bool drive = ((name[0] >= u'A' && name[0] <= u'Z') || (name[0] >= u'a' && name[0] <= u'z')) &&
                       name[1] == u':' && (name[2] == u'\\' || name[2] == u'/');
    return name[0] == u'/' || (name[0] == u'\\' && name[1] == u'\\') || drive;
}

// Joins base + name into out (kPathChars units); false when it does not fit.
bool JoinPath(char16_t* out, const char16_t* base, const char16_t* name) {
    return U16Copy(out, kPathChars, base) && U16Cat(out, kPathChars, name);
}

}  // namespace

bool CLoadFile::ReadSettings(const char16_t* path) { return system->ReadSettings(path, scene); }

bool CLoadFile::WriteSettings(const char16_t* path) { return system->WriteSettings(path, scene); }

bool CLoadFile::ReadDataFolder(const char16_t* path) {
    FILE* f = OpenFileU16(path, "rb");
    if (f == nullptr) return false;
    uint8_t mark[2];
    uint8_t bytes[kDirTextBytes] = {};
    // The byte order mark is skipped without looking at it. An odd last byte is the low half of
    // a unit whose high half reads as zero.
    if (std::fread(mark, 1, sizeof mark, f) == sizeof mark) {
        (void)std::fread(bytes, 1, sizeof bytes, f);
    }
    std::fclose(f);

    char16_t name[kDirTextUnits + 1];
    int n = 0;
    for (; n < kDirTextUnits; ++n) {
        char16_t u = static_cast<char16_t>(bytes[2 * n] | bytes[2 * n + 1] << 8);
        if (u == 0) break;
        name[n] = u;  // a line break stays part of the name
    }
    name[n] = 0;
    U16Copy(system->dataFolderRead, kPathChars, name);
    U16Copy(system->dataFolderName, kDataFolderNameChars, name);
    return true;
}

bool CLoadFile::WriteDataFolder(const char16_t* path) {
    // The name field holds up to kDataFolderNameChars units, not always terminated.
    char16_t name[kDataFolderNameChars + 1] = {};
    for (int i = 0; i < kDataFolderNameChars && system->dataFolderName[i] != 0; ++i) {
        name[i] = system->dataFolderName[i];
    }
    return WriteDataFolderFileU16(path, name);
}

bool CLoadFile::BuildDataFolder() {
    bool ok = system->dataFolderRelative == 1 && !IsWholePath(system->dataFolderRead)
                  ? JoinPath(system->dataFolder, system->baseFolder, system->dataFolderRead)
                  : U16Copy(system->dataFolder, kPathChars, system->dataFolderRead);
    if (!ok) Tell(MessageId::kDataFolderTooLong);
    return ok;
}

bool CLoadFile::ReadSaveSlot(const char16_t* path, int slot) {
    if (slot < 0 || slot >= kSaveSlots) return false;
    FILE* f = OpenFileU16(path, "rb");
    if (f == nullptr) {
        TellOpenFailure(path, errno);
        return false;
    }
    // A short file reads as zeros past its end; bytes past the layout are ignored.
    static uint8_t buffer[kSaveReadBytes];  // main thread only; kept off the stack
    std::memset(buffer, 0, sizeof buffer);
    (void)std::fread(buffer, 1, sizeof buffer, f);
    std::fclose(f);

    SaveSlot& s = scene->saveSlots[slot];
    for (int n = 0; n < kSaveEntries; ++n) ReadSaveEntry(buffer + kSaveEntryBytes * n, &s.entries[n]);
    const uint8_t* t = buffer + kSaveTailOffset;
    GetInts(t, s.ints303, 303);             // 29184
    GetBytes(t + 1212, s.bytes303, 303);    // 30396
    GetInts(t + 1515, s.fourInts, 4);       // 30699
    s.byteA = t[1531];                      // 30715
    GetBytes(t + 1532, s.fourBytes, 4);     // 30716
    s.byteB = t[1536];                      // 30720
    GetBytes(t + 1537, s.tenBytes, 10);     // 30721
    GetBytes(t + 1547, s.sixteenA, 16);     // 30731
    GetBytes(t + 1563, s.sixteenB, 16);     // 30747
    GetBytes(t + 1579, s.fiveBytes, 5);     // 30763
    // 30768: three ints; the third spans 30776..30779, so its high byte is the first byte of
    // the 2048 ints that follow.
    GetInts(t + 1584, s.threeInts, 3);
    GetInts(t + 1595, s.ints2048, 2048);    // 30779 .. 38970
    return true;
}

void CLoadFile::RankingEntry(int32_t score) {
    int64_t now = 0;
    std::tm local{};
    if (Plat().clock != nullptr) {
        now = Plat().clock->CalendarTime();
        Plat().clock->LocalTime(now, &local);
    }
    scene->rankGameTime = now;
    RankDate& d = scene->rankDates[kRankingEntries];
    d.sec = local.tm_sec;
    d.min = local.tm_min;
    d.hour = local.tm_hour;
    d.mday = local.tm_mday;
    d.mon = local.tm_mon;
    d.year = local.tm_year;
    d.wday = local.tm_wday;
    d.yday = local.tm_yday;
    d.isdst = local.tm_isdst;
    scene->rankScores[kRankingEntries] = score;

    // Bubble the new entry up; only a strictly greater score passes another, so of two equal
    // scores the earlier game stays above. Entry 10 ends as the one that dropped out.
    int32_t* scores = scene->rankScores;
    RankDate* dates = scene->rankDates;
    for (int p = 0; p < kRankingEntries; ++p) {
        for (int k = kRankingEntries; k > p; --k) {
            if (scores[k] > scores[k - 1]) {
                int32_t ts = scores[k];
                scores[k] = scores[k - 1];
                scores[k - 1] = ts;
                RankDate td = dates[k];
                dates[k] = dates[k - 1];
                dates[k - 1] = td;
            }
        }
    }
}

bool CLoadFile::ReadTextureList(const char16_t* path) {
    FILE* f = OpenFileU16(path, "rb");
    if (f == nullptr) {
        TellOpenFailure(path, errno);
        return false;
    }
    uint8_t mark[2];
    if (std::fread(mark, 1, sizeof mark, f) != sizeof mark) {
        std::fclose(f);
        return true;  // nothing after the mark: every slot stays as it was
    }
    for (int i = 0; i < kTextureNameSlots; ++i) {
        uint8_t record[kListRecordBytes] = {};
        size_t got = std::fread(record, 1, sizeof record, f);
        if (got == 0) break;  // a short list leaves the remaining slots as they were
        char16_t* slot = scene->textureNames[i];
        for (int u = 0; u < kNameSlotUnits; ++u) slot[u] = 0;
        for (int u = 0; u < kListRecordUnits; ++u) {
            slot[u] = static_cast<char16_t>(record[2 * u] | record[2 * u + 1] << 8);
        }
        if (slot[16] == u'\r' && slot[17] == u'\n') {
            slot[16] = 0;
            slot[17] = 0;
        }
        if (got < sizeof record) break;
    }
    std::fclose(f);
    return true;
}

bool CLoadFile::SetBaseFolder() {
    PlatServices* services = Plat().services;
    if (services == nullptr) return false;
    char16_t exe[kPathChars] = {};
    if (!services->ExecutablePath(exe, kPathChars)) return false;
    // Cut after the last folder separator, keeping it.
    size_t n = U16Len(exe);
    while (n > 0 && exe[n - 1] != u'\\' && exe[n - 1] != u'/') exe[--n] = 0;
    if (!services->CanonicalizePath(system->baseFolder, kPathChars, exe)) {
        return U16Copy(system->baseFolder, kPathChars, exe);
    }
    return true;
}

bool CLoadFile::ReadStartupFiles() {
    char16_t path[kPathChars];
    if (!JoinPath(path, system->baseFolder, kSettingsFileNameU16)) path[0] = 0;
    ReadSettings(path);  // always succeeds; no file leaves the defaults

    if (!JoinPath(path, system->baseFolder, kDataFolderFileNameU16)) return false;
    if (!ReadDataFolder(path)) {
        // No "dir.txt" at all ends the run silently, as it always has; one that is there but cannot
        // be read (a folder, a FIFO, a link to nothing, no right to read) says so.
        const int err = errno;
        if (!NothingAtU16(path)) TellOpenFailure(path, err);
        return false;
    }

    char16_t name[] = u"save0000.dat";
    for (int number = 1; number <= kSaveSlots; ++number) {
        name[6] = static_cast<char16_t>(u'0' + number / 10);
        name[7] = static_cast<char16_t>(u'0' + number % 10);
        if (!JoinPath(path, system->baseFolder, name)) continue;
        if (!FileExistsU16(path)) continue;
        if (!ReadSaveSlot(path, number - 1)) return false;
    }
    return true;
}

bool CLoadFile::WriteQuitFiles() {
    char16_t path[kPathChars];
    if (!JoinPath(path, system->baseFolder, kSettingsFileNameU16) || !WriteSettings(path)) {
        Tell(MessageId::kIniWriteFailed);
        return false;
    }
    if (!JoinPath(path, system->baseFolder, kDataFolderFileNameU16) || !WriteDataFolder(path)) {
        Tell(MessageId::kTxtWriteFailed);
        return false;
    }
    return true;
}
