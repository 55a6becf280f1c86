// CXa2: the sound engine. 32 effect voices (one preloaded effect each) and one music voice that the
// music thread feeds. Every operation starts with the same guard: when soundMode is not 1 or 2, or
// soundOff is set, it returns at once and touches nothing.
//
// Thread safety: PlaySe, RearmIdleSe and the volume calls run on the main thread; the music
// thread uses bgmVoice, musicData and musicBuffer only (see StreamThreadMain). On a host without
// threads the main loop feeds the music itself (FeedMusicFromLoop).
#pragma once

#include <cstdint>

#include "platform/platform.h"

class System;

constexpr int kEffectVoices = 32;

// The music feeder's own state: which half each track filled last, whether the voice was started,
// the track submitted last. Owned by whoever runs the cycles (the music thread, or the main loop).
struct MusicFeed {
    uint32_t streamHalf[64] = {};
    bool musicStarted = false;
    int32_t lastTrack = 0;
};

class CXa2 {
public:
    CXa2();
    virtual ~CXa2();

    System* settings;
    bool engine;                  // the platform engine exists
    bool masterVoice;             // the mastering voice exists
    PlatVoice* seVoice[kEffectVoices];
    PlatVoice* bgmVoice;
    bool streamThread;            // the music thread was started
    bool streamFromLoop;          // no threads on this host: the main loop feeds the music
    bool loopFeedDue;             // a loop-fed cycle has run (loopFeedLast is valid)
    uint32_t loopFeedLast;        // millisecond clock of the last loop-fed cycle
    MusicFeed loopFeed;
    uint32_t chunkBytes;          // 32768
    uint8_t* seData[kEffectVoices];
    AudioBuffer seBuffer[kEffectVoices];
    uint8_t* musicData[64];
    AudioBuffer musicBuffer[64];

    bool Guard() const;           // true when sound operations may run
    bool CreateEngine();
    bool LoadSe(const char16_t* path, int id);
    bool CreateBgmVoice();
    bool StartStreamThread();
    // One cycle of the music thread's work (music thread, or the main loop without threads).
    void FeedMusicOnce(MusicFeed* feed);
    // Main loop, every turn: runs a cycle every 100 ms when the host has no threads; else nothing.
    void FeedMusicFromLoop();
    void PlaySe(int id);
    void RearmIdleSe();
    void ApplyBgmVolume();
    void ApplySeVolume();
    void ShutdownAudio();
};
