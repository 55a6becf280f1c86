// System: the one record of settings and shared state. Its settings part is loaded from "Game.ini"
// (a 512-byte binary image, not text) at start-up and written back when the program ends normally.
//
// Thread safety: the music thread shares a few single 32-bit fields with the main thread; they
// are atomics (relaxed order is enough: each has one writer):
//   currentMusicTrack  written by the main thread, read by the music thread
//   windowActive       written by the main thread (window procedure), read by the music thread
//   streamQuit         written by the main thread at shutdown, read by the music thread
//   loopStart/Length   written at start-up before the music thread starts, read by it
// Every other field belongs to the main thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/Settings.h"
#include "platform/common/text.h"

class MapSceneEntity;

// The volumes are stored as step x kVolumePerStep (the options offer steps 0..20).
constexpr int32_t kVolumePerStep = 500;
constexpr int kOptionRows = 11;
constexpr int kMusicTracks = 64;
constexpr int kDataFolderNameChars = 160;

class System {
public:
    System() = default;
    virtual ~System() = default;

    // The settings as read from "Game.ini" (the defaults without one). The live fields below
    // are set from them; writing the file puts the live values the options change back in.
    Settings fileSettings = DefaultSettings();
    char16_t dataFolderName[kDataFolderNameChars] = u"data\\";  // written to "dir.txt"
    int32_t clientWidth = 1280;
    int32_t clientHeight = 720;
    int32_t objectAreaWidth = 1248;  // read by the border and status-line drawing
    int32_t objectAreaHeight = 720;
    int32_t framePattern = 0;  // 0, 1, 2: run of the frame-time table
    int32_t timerMode = 0;  // 0 timeGetTime, 1 PerformanceCounter, 2 Sleep, 3 No Wait
    int32_t fullScreen = 0;  // 0 framed; nonzero (all ones after a toggle) borderless
    int32_t vsync = 0;  // present with sync interval 1 when nonzero
    int32_t optionsMirror[kOptionRows] = {};  // the options screen's working copy, one value per row
    int32_t deviceLost = 0;  // set when presenting reports a lost device
    int32_t toggleRequest = 0;  // 1: the main loop switches the window form on its next turn
    int32_t windowRect[4] = {0, 0, 1280, 720};  // left, top, right, bottom
    int32_t dirBits = 0;  // input record: 1 up, 2 down, 4 left, 8 right
    int32_t buttonBits = 0;  // 1 DECISION, 2 CANCELLATION, 4 PAUSE, 8 SHIFT
    int32_t activeInputDevice = 0;  // 0 keyboard only, 1 keyboard and pad 0
    int32_t inputDevice = 0;  // from the settings file
    uint8_t buttonArrangement[kArrangementBytes] = {};  // pad face button per game button: 0 A, 1 B, 2 X, 3 Y
    uint8_t keyStates[256] = {};  // 0x80 when the virtual key was down or pressed since last poll
    float texelInset = 1.0e-6f;  // unless the settings file says otherwise
    int32_t fontFlag = 0;  // 1: the font file is added at start and removed at the end
    std::atomic<int32_t> windowActive{1};  // 1 while the window is active
    int32_t frameSkip = 0;  // an overrun suppresses the next present when nonzero
    int32_t soundOff = 0;  // 1 when the audio engine failed to start
    int32_t soundMode = 0;  // 0 none, 1 WAV, 2 Ogg (the file codes differ: 1 Ogg, 2 WAV)
    std::atomic<int32_t> currentMusicTrack{0};  // 1..63, 0 = no music
    int32_t previousMusic = 0;
    int32_t musicRestart = 1;  // 1: the next music change rewinds even an unchanged track
    int32_t bgmVolume = 0;  // stored step x kVolumePerStep: 0..10000 from the options, more from a file
    int32_t seVolume = 0;  // the same for the effects
    int32_t dataFolderRelative = 0;  // 1: data folder = program folder + name
    std::atomic<int32_t> streamQuit{0};  // set at shutdown to end the music thread
    std::atomic<uint32_t> loopStart[kMusicTracks] = {};  // sample frames
    std::atomic<uint32_t> loopLength[kMusicTracks] = {};  // sample frames
    char16_t baseFolder[kPathChars] = {};  // program folder with its trailing backslash
    char16_t dataFolderRead[kPathChars] = {};  // data folder name as read from "dir.txt"
    char16_t dataFolder[kPathChars] = {};  // folder every data file is opened from
    int32_t settingsFileKept = 0;  // 1: "Game.ini" is there but could not be read; never replaced

    // Settings file. Read always succeeds (a missing or unreadable file leaves the defaults, and
    // the post-processing runs in every case). Write returns false when the file cannot be
    // written, and also when the file read at start was there but unreadable, or may not be
    // read and written now; the old file is then left intact. rankingOwner receives / provides
    // the ranking area.
    bool ReadSettings(const char16_t* path, MapSceneEntity* rankingOwner);
    bool WriteSettings(const char16_t* path, const MapSceneEntity* rankingOwner) const;

    // The file's image to the live settings and back (Settings.cpp; also used by tests and
    // fuzzing).
    void LoadSettingsImage(const uint8_t* image, MapSceneEntity* rankingOwner);
    void BuildSettingsImage(uint8_t* image, const MapSceneEntity* rankingOwner) const;
};
