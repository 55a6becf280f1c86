// The settings file "Game.ini" as values: the settings it holds and the ranking beside them.
// Settings.cpp is the file's one codec (a fixed 512-byte image, numbers low byte first, not
// text) and the way between these values and the live ones in System.
#pragma once

#include <cstdint>

constexpr int kSettingsFileBytes = 512;
constexpr int kRawSettingsBytes = 24;
constexpr int kArrangementBytes = 10;
constexpr int kRankingEntries = 10;  // entry 10 of the scene's arrays receives a new score before sorting

// Broken-down local time as the ranking keeps it (the fields of the C `tm` record, 32-bit).
struct RankDate {
    int32_t sec, min, hour, mday, mon, year, wday, yday, isdst;
};

// The ten best scores with their dates, best first.
struct Ranking {
    int32_t scores[kRankingEntries] = {};
    RankDate dates[kRankingEntries] = {};
};

// The settings as stored, one field per setting. The raw block (the first 24 bytes) also holds
// bytes no setting uses; they are kept as read, so that a file is written back as it was read.
struct Settings {
    uint8_t unusedBytes[kRawSettingsBytes] = {};  // the block as read, zero at the named fields' places
    uint8_t screenMode = 0;          // byte 2: 0 framed, 1 full screen; others leave the default
    uint8_t vsync = 0;               // byte 3: nonzero presents with sync interval 1
    uint32_t texelInsetBits = 0;     // bytes 5..8: a float, the texel inset of sprite drawing
    uint8_t dataFolderRelative = 0;  // byte 16: nonzero, the data folder is under the program's
    uint8_t inputDevice = 0;         // byte 17: 1 keyboard and pad, others keyboard only
    uint8_t timerMode = 0;           // byte 18: 0..3; others leave the default
    uint8_t framePattern = 0;        // byte 19: 0..2; others leave the default
    uint8_t frameSkip = 0;           // byte 20: nonzero, an overrun skips the next present
    uint8_t soundCode = 0;           // byte 21: 0 none, 1 Ogg, 2 WAV; others leave the default
    uint8_t fontFlag = 0;            // byte 22
    uint8_t buttonArrangement[kArrangementBytes] = {};  // pad face button per game button
    // Volume steps: the options offer 0..20; a larger stored step is kept, a gain above 1.
    uint8_t bgmStep = 0;
    uint8_t seStep = 0;

    float TexelInset() const;
};

// The settings a missing file stands for.
Settings DefaultSettings();

// The file's 512 bytes to values and back. Decoding takes any 512 bytes; encoding what was decoded
// gives the same bytes up to byte 345, and zeros after it.
void DecodeSettings(const uint8_t* image, Settings* settings, Ranking* ranking);
void EncodeSettings(const Settings& settings, const Ranking& ranking, uint8_t* image);
