#include "core/System.h"

#include <cstring>

System::System() {
    fileSettings = DefaultSettings();
    std::memset(dataFolderName, 0, sizeof dataFolderName);
    U16Copy(dataFolderName, kDataFolderNameChars, u"data\\");
    clientWidth = 1280;
    clientHeight = 720;
    objectAreaWidth = 1248;
    objectAreaHeight = 720;
    framePattern = 0;
    timerMode = 0;
    fullScreen = 0;
    vsync = 0;
    std::memset(optionsMirror, 0, sizeof optionsMirror);
    deviceLost = 0;
    toggleRequest = 0;
    windowRect[0] = 0;
    windowRect[1] = 0;
    windowRect[2] = 1280;
    windowRect[3] = 720;
    dirBits = 0;
    buttonBits = 0;
    activeInputDevice = 0;
    inputDevice = 0;
    std::memset(buttonArrangement, 0, sizeof buttonArrangement);
    std::memset(keyStates, 0, sizeof keyStates);
    texelInset = 1.0e-6f;
    fontFlag = 0;
    windowActive.store(1, std::memory_order_relaxed);
    frameSkip = 0;
    soundOff = 0;
    soundMode = 0;
    currentMusicTrack.store(0, std::memory_order_relaxed);
    previousMusic = 0;
    musicRestart = 1;
    bgmVolume = 0;
    seVolume = 0;
    dataFolderRelative = 0;
    streamQuit.store(0, std::memory_order_relaxed);
    for (int i = 0; i < kMusicTracks; ++i) {
        loopStart[i].store(0, std::memory_order_relaxed);
        loopLength[i].store(0, std::memory_order_relaxed);
    }
    std::memset(baseFolder, 0, sizeof baseFolder);
    std::memset(dataFolderRead, 0, sizeof dataFolderRead);
    std::memset(dataFolder, 0, sizeof dataFolder);
    settingsFileKept = 0;
}

System::~System() = default;
