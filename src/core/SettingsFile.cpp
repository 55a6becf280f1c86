// The settings file "Game.ini": a fixed 512-byte little-endian image of the settings and the
// ranking table, read once at start-up and written back when the program ends normally.
//
//   0..23    the raw block (rawSettings); bytes 2, 3, 16..21 drive settings, the rest is kept
//   24..33   button arrangement
//   34, 35   BGM and SE volume steps; the volumes are step x 500 (the options offer 0..20, a
//            larger stored step is kept and gives a gain above 1, which the mixer clips)
//   36..75   ten ranking scores, signed 32-bit
//   76..346  ten ranking dates, 27 bytes apart (see WriteRankDate)
//   347..511 zero
#include <cstdio>
#include <cstring>

#include "core/MapSceneEntity.h"
#include "platform/common/le_bytes.h"
#include "platform/file.h"
#include "core/System.h"

static_assert(kSettingsFileBytes == 512, "Game.ini is 512 bytes");

namespace {

constexpr int kArrangementOffset = 24;
constexpr int kArrangementBytes = 10;
constexpr int kBgmStepOffset = 34;
constexpr int kSeStepOffset = 35;
constexpr int kScoresOffset = 36;
constexpr int kDatesOffset = 76;
constexpr int kDateStride = 27;

static_assert(kDatesOffset + kDateStride * kRankingEntries == 346, "dates end at byte 345");

// A stored date: year, month, day, hours, minutes, seconds, then the daylight-saving flag. The
// writer puts all four flag bytes down and the next record starts one byte early on top of the
// fourth, so a record is 27 bytes and the reader takes three flag bytes (high byte zero). Day of
// week and day of year are not stored.
void ReadRankDate(const uint8_t* p, RankDate* d) {
    d->year = LeI32(p + 0);
    d->mon = LeI32(p + 4);
    d->mday = LeI32(p + 8);
    d->hour = LeI32(p + 12);
    d->min = LeI32(p + 16);
    d->sec = LeI32(p + 20);
    d->isdst = int32_t(p[24]) | int32_t(p[25]) << 8 | int32_t(p[26]) << 16;
}

void WriteRankDate(uint8_t* p, const RankDate& d) {
    PutLeI32(p + 0, d.year);
    PutLeI32(p + 4, d.mon);
    PutLeI32(p + 8, d.mday);
    PutLeI32(p + 12, d.hour);
    PutLeI32(p + 16, d.min);
    PutLeI32(p + 20, d.sec);
    PutLeI32(p + 24, d.isdst);  // the fourth byte is overwritten by the next record, if any
}

float BlockFloat(const uint8_t* raw, int offset) {
    uint32_t bits = static_cast<uint32_t>(LeI32(raw + offset));
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// Derives the live settings from the raw block. Runs after every read, also when there was no
// file (then the block holds the constructor's defaults). A byte out of its range leaves the
// setting as it was.
void PostProcess(System& s) {
    const uint8_t* raw = s.rawSettings;
    if (raw[2] == 0) {
        s.fullScreen = 0;
    } else if (raw[2] == 1) {
        // Start framed and let the first loop turn switch, so the framed placement is known.
        s.fullScreen = 0;
        s.toggleRequest = 1;
    }
    s.vsync = raw[3] != 0 ? 1 : 0;
    if (raw[16] != 0) s.dataFolderRelative = 1;
    s.inputDevice = raw[17] == 1 ? 1 : 0;
    if (raw[18] <= 3) s.timerMode = raw[18];
    if (raw[19] <= 2) s.framePattern = raw[19];
    s.frameSkip = raw[20] != 0 ? 1 : 0;
    switch (raw[21]) {  // file codes: 1 Ogg, 2 WAV; in memory: 1 WAV, 2 Ogg
    case 0: s.soundMode = 0; break;
    case 1: s.soundMode = 2; break;
    case 2: s.soundMode = 1; break;
    default: break;
    }
    s.fontFlag = 1;
    s.optionsMirror[0] = s.fullScreen;
    s.optionsMirror[1] = s.vsync;
    s.optionsMirror[2] = s.timerMode;
    s.optionsMirror[3] = s.frameSkip;
    s.optionsMirror[4] = s.bgmVolume;  // still the step here
    s.optionsMirror[5] = s.seVolume;
    for (int i = 0; i < 4; ++i) s.optionsMirror[6 + i] = s.buttonArrangement[i];
    s.bgmVolume *= kVolumePerStep;
    s.seVolume *= kVolumePerStep;
    s.texelInset = BlockFloat(raw, 5);
}

}  // namespace

void System::LoadSettingsImage(const uint8_t* image, MapSceneEntity* rankingOwner) {
    std::memcpy(rawSettings, image, kRawSettingsBytes);
    // Every stored value is kept, so that the file is written back as it was read: an
    // arrangement byte of 4 or more names no pad button, a step above 20 is a gain above 1.
    std::memcpy(buttonArrangement, image + kArrangementOffset, kArrangementBytes);
    bgmVolume = image[kBgmStepOffset];
    seVolume = image[kSeStepOffset];
    if (rankingOwner != nullptr) {
        for (int i = 0; i < kRankingEntries; ++i) {
            rankingOwner->rankScores[i] = LeI32(image + kScoresOffset + 4 * i);
            ReadRankDate(image + kDatesOffset + kDateStride * i, &rankingOwner->rankDates[i]);
        }
    }
    PostProcess(*this);
}

void System::BuildSettingsImage(uint8_t* image, const MapSceneEntity* rankingOwner) const {
    std::memset(image, 0, kSettingsFileBytes);
    std::memcpy(image, rawSettings, kRawSettingsBytes);
    // The screen-mode byte stays as read: a change made in the options is for this run only.
    image[3] = static_cast<uint8_t>(vsync);
    image[18] = static_cast<uint8_t>(timerMode);
    image[20] = static_cast<uint8_t>(frameSkip);
    image[22] = static_cast<uint8_t>(fontFlag);
    std::memcpy(image + kArrangementOffset, buttonArrangement, kArrangementBytes);
    image[kBgmStepOffset] = static_cast<uint8_t>(bgmVolume / kVolumePerStep);
    image[kSeStepOffset] = static_cast<uint8_t>(seVolume / kVolumePerStep);
    if (rankingOwner != nullptr) {
        for (int i = 0; i < kRankingEntries; ++i) {
            PutLeI32(image + kScoresOffset + 4 * i, rankingOwner->rankScores[i]);
            WriteRankDate(image + kDatesOffset + kDateStride * i, rankingOwner->rankDates[i]);
        }
    }
}

bool System::ReadSettings(const char16_t* path, MapSceneEntity* rankingOwner) {
    uint8_t image[kSettingsFileBytes] = {};
    FILE* f = OpenFileU16(path, "rb");
    if (f == nullptr) {
        // A file that is there but cannot be read keeps the player's ranking and settings out
        // of reach, not gone: this run uses the defaults and leaves the file alone at exit.
        settingsFileKept = FileAbsentU16(path) ? 0 : 1;
        PostProcess(*this);  // no file: the defaults, derived the same way
        return true;
    }
    settingsFileKept = 0;
    // A short file leaves the rest zero; bytes past 512 are not looked at.
    (void)std::fread(image, 1, sizeof image, f);
    std::fclose(f);
    LoadSettingsImage(image, rankingOwner);
    return true;
}

bool System::WriteSettings(const char16_t* path, const MapSceneEntity* rankingOwner) const {
    if (settingsFileKept != 0) return false;
    uint8_t image[kSettingsFileBytes];
    BuildSettingsImage(image, rankingOwner);
    return WriteFileAtomicU16(path, image, sizeof image);
}
