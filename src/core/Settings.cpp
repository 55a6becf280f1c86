// The settings file "Game.ini": a fixed 512-byte little-endian image of the settings and the
// ranking table, read once at start-up and written back when the program ends normally.
//
//   0..23    the raw block: bytes 2, 3, 5..8 and 16..22 are settings (see Settings), the rest is
//            kept as read
//   24..33   button arrangement
//   34, 35   BGM and SE volume steps; the volumes are step x 500
//   36..75   ten ranking scores, signed 32-bit
//   76..346  ten ranking dates, 27 bytes apart (see WriteRankDate)
//   347..511 zero
#include "core/Settings.h"

#include <cstdio>
#include <cstring>

#include "core/MapSceneEntity.h"
#include "core/System.h"
#include "platform/common/le_bytes.h"
#include "platform/file.h"

namespace {

constexpr int kScreenModeByte = 2;
constexpr int kVsyncByte = 3;
constexpr int kTexelInsetOffset = 5;
constexpr int kRelativeByte = 16;
constexpr int kInputDeviceByte = 17;
constexpr int kTimerByte = 18;
constexpr int kFramePatternByte = 19;
constexpr int kFrameSkipByte = 20;
constexpr int kSoundByte = 21;
constexpr int kFontFlagByte = 22;
constexpr int kArrangementOffset = 24;
constexpr int kBgmStepOffset = 34;
constexpr int kSeStepOffset = 35;
constexpr int kScoresOffset = 36;
constexpr int kDatesOffset = 76;
constexpr int kDateStride = 27;

static_assert(kDatesOffset + kDateStride * kRankingEntries == 346, "dates end at byte 345");

// The raw block's defaults: bytes 0, 1, 0, 1, 1; the floats 1.0e-6 and 0.0; then 1, 0, 0, 1, 1, 0,
// 1, 0, 1, 1, 1.
constexpr uint8_t kDefaultBlock[kRawSettingsBytes] = {
    0, 1, 0, 1, 1,
    0xBD, 0x37, 0x86, 0x35,  // 1.0e-6
    0, 0, 0, 0,              // 0.0
    1, 0, 0, 1, 1, 0, 1, 0, 1, 1, 1,
};

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

// Sets the live settings from the stored ones. Runs after every read, also when there was no
// file (then they are the defaults). A byte out of its range leaves the setting as it was.
void Apply(const Settings& f, System& s) {
    if (f.screenMode == 0) {
        s.fullScreen = 0;
    } else if (f.screenMode == 1) {
        // Start framed and let the first loop turn switch, so the framed placement is known.
        s.fullScreen = 0;
        s.toggleRequest = 1;
    }
    s.vsync = f.vsync != 0 ? 1 : 0;
    if (f.dataFolderRelative != 0) s.dataFolderRelative = 1;
    s.inputDevice = f.inputDevice == 1 ? 1 : 0;
    if (f.timerMode <= 3) s.timerMode = f.timerMode;
    if (f.framePattern <= 2) s.framePattern = f.framePattern;
    s.frameSkip = f.frameSkip != 0 ? 1 : 0;
    switch (f.soundCode) {  // file codes: 1 Ogg, 2 WAV; in memory: 1 WAV, 2 Ogg
    case 0: s.soundMode = 0; break;
    case 1: s.soundMode = 2; break;
    case 2: s.soundMode = 1; break;
    default: break;
    }
    s.fontFlag = 1;
    // Every stored value is kept, so that the file is written back as it was read: an
    // arrangement byte of 4 or more names no pad button, a step above 20 is a gain above 1.
    std::memcpy(s.buttonArrangement, f.buttonArrangement, kArrangementBytes);
    const int32_t mirror[10] = {s.fullScreen, s.vsync, s.timerMode, s.frameSkip, f.bgmStep, f.seStep,
                                f.buttonArrangement[0], f.buttonArrangement[1], f.buttonArrangement[2],
                                f.buttonArrangement[3]};
    std::memcpy(s.optionsMirror, mirror, sizeof mirror);
    s.bgmVolume = f.bgmStep * kVolumePerStep;
    s.seVolume = f.seStep * kVolumePerStep;
    s.texelInset = f.TexelInset();
}

}  // namespace

float Settings::TexelInset() const {
    float f;
    std::memcpy(&f, &texelInsetBits, sizeof f);
    return f;
}

Settings DefaultSettings() {
    uint8_t image[kSettingsFileBytes] = {};
    std::memcpy(image, kDefaultBlock, sizeof kDefaultBlock);
    Settings settings;
    Ranking ranking;
    DecodeSettings(image, &settings, &ranking);
    return settings;
}

void DecodeSettings(const uint8_t* image, Settings* s, Ranking* ranking) {
    std::memcpy(s->unusedBytes, image, kRawSettingsBytes);
    s->screenMode = image[kScreenModeByte];
    s->vsync = image[kVsyncByte];
    s->texelInsetBits = Le32(image + kTexelInsetOffset);
    s->dataFolderRelative = image[kRelativeByte];
    s->inputDevice = image[kInputDeviceByte];
    s->timerMode = image[kTimerByte];
    s->framePattern = image[kFramePatternByte];
    s->frameSkip = image[kFrameSkipByte];
    s->soundCode = image[kSoundByte];
    s->fontFlag = image[kFontFlagByte];
    const int named[] = {kScreenModeByte, kVsyncByte, kRelativeByte, kInputDeviceByte, kTimerByte,
                         kFramePatternByte, kFrameSkipByte, kSoundByte, kFontFlagByte};
    for (int at : named) s->unusedBytes[at] = 0;
    std::memset(s->unusedBytes + kTexelInsetOffset, 0, 4);
    std::memcpy(s->buttonArrangement, image + kArrangementOffset, kArrangementBytes);
    s->bgmStep = image[kBgmStepOffset];
    s->seStep = image[kSeStepOffset];
    for (int i = 0; i < kRankingEntries; ++i) {
        ranking->scores[i] = LeI32(image + kScoresOffset + 4 * i);
        ReadRankDate(image + kDatesOffset + kDateStride * i, &ranking->dates[i]);
    }
}

void EncodeSettings(const Settings& s, const Ranking& ranking, uint8_t* image) {
    std::memset(image, 0, kSettingsFileBytes);
    std::memcpy(image, s.unusedBytes, kRawSettingsBytes);
    image[kScreenModeByte] = s.screenMode;
    image[kVsyncByte] = s.vsync;
    PutLe32(image + kTexelInsetOffset, s.texelInsetBits);
    image[kRelativeByte] = s.dataFolderRelative;
    image[kInputDeviceByte] = s.inputDevice;
    image[kTimerByte] = s.timerMode;
    image[kFramePatternByte] = s.framePattern;
    image[kFrameSkipByte] = s.frameSkip;
    image[kSoundByte] = s.soundCode;
    image[kFontFlagByte] = s.fontFlag;
    std::memcpy(image + kArrangementOffset, s.buttonArrangement, kArrangementBytes);
    image[kBgmStepOffset] = s.bgmStep;
    image[kSeStepOffset] = s.seStep;
    for (int i = 0; i < kRankingEntries; ++i) {
        PutLeI32(image + kScoresOffset + 4 * i, ranking.scores[i]);
        WriteRankDate(image + kDatesOffset + kDateStride * i, ranking.dates[i]);
    }
}

void System::LoadSettingsImage(const uint8_t* image, MapSceneEntity* rankingOwner) {
    Ranking ranking;
    DecodeSettings(image, &fileSettings, &ranking);
    if (rankingOwner != nullptr) {
        std::memcpy(rankingOwner->rankScores, ranking.scores, sizeof ranking.scores);
        std::memcpy(rankingOwner->rankDates, ranking.dates, sizeof ranking.dates);
    }
    Apply(fileSettings, *this);
}

void System::BuildSettingsImage(uint8_t* image, const MapSceneEntity* rankingOwner) const {
    // The settings as read, with what the player may change in the options. The screen-mode
    // byte stays as read: a change made in the options is for this run only.
    Settings out = fileSettings;
    out.vsync = static_cast<uint8_t>(vsync);
    out.timerMode = static_cast<uint8_t>(timerMode);
    out.frameSkip = static_cast<uint8_t>(frameSkip);
    out.fontFlag = static_cast<uint8_t>(fontFlag);
    std::memcpy(out.buttonArrangement, buttonArrangement, kArrangementBytes);
    out.bgmStep = static_cast<uint8_t>(bgmVolume / kVolumePerStep);
    out.seStep = static_cast<uint8_t>(seVolume / kVolumePerStep);
    Ranking ranking;
    if (rankingOwner != nullptr) {
        std::memcpy(ranking.scores, rankingOwner->rankScores, sizeof ranking.scores);
        std::memcpy(ranking.dates, rankingOwner->rankDates, sizeof ranking.dates);
    }
    EncodeSettings(out, ranking, image);
}

bool System::ReadSettings(const char16_t* path, MapSceneEntity* rankingOwner) {
    uint8_t image[kSettingsFileBytes] = {};
    FILE* f = OpenFileU16(path, "rb");
    if (f == nullptr) {
        // A file that is there but cannot be read keeps the player's ranking and settings out
        // of reach, not gone: this run uses the defaults and leaves the file alone at exit.
        settingsFileKept = FileAbsentU16(path) ? 0 : 1;
        Apply(fileSettings, *this);  // no file: the defaults, set the same way
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
