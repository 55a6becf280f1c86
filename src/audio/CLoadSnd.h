// CLoadSnd: the worker of the audio start-up, built on the stack for the loading step and dropped
// afterwards. It owns nothing; it links the engine and the settings and carries the loading
// operations on them.
#pragma once

class CXa2;
class System;

class CLoadSnd {
public:
    CLoadSnd(CXa2* xa2, System* system) : unused(nullptr), xa2(xa2), system(system) {}
    virtual ~CLoadSnd() = default;

    void* unused;   // left empty by the start-up
    CXa2* xa2;
    System* system;

    bool LoadSe(const char16_t* path, int id);
    bool OpenMusicTrack(int track, const char16_t* path);
    bool LoadLoopFile(const char16_t* path, int track);
    bool CreateBgmVoice();
    bool StartStreamThread();
};
