// Per-track music sources behind MusicStream.h: one OggTrack (Ogg Vorbis, sound mode 2) or one
// WaveReader (WAV, sound mode 1) per track, each opened once at start-up and kept open.
//
// Thread safety: a track's source is repositioned by two threads, the music thread
// (FillMusicChunk) and the main thread (RewindMusicTrack). Each track has its own lock, held for
// a whole fill and a whole rewind, so the two never overlap.
#pragma once

#include <cstdint>
#include <cstdio>

#include <vorbis/vorbisfile.h>

class System;

struct OggTrack {
    OggVorbis_File vf;
    vorbis_info* info;     // the current link's info
    int section;           // logical stream number reported by the decoder
    int sharedFile;        // id of the file in the shared table (SharedFile.h), -1 when closed
    uint64_t position;     // this track's read position in that file
    int32_t got;           // bytes placed in the chunk being filled
    int32_t request;       // bytes wanted for the chunk being filled
    int32_t lastRead;      // result of the last decoder read
    int32_t loopHit;       // the loop end was crossed in this fill
    int64_t passBytes;     // bytes decoded since the start of the current pass
    int64_t loopAdjust;    // 0 during the first pass, loopStart * 4 afterwards
    uint8_t isOpen;
};

// The settings the music sources read (sound mode, loop points). A bound record wins; without
// one the sources ask the source function, which the program's top sets to the current game's
// System (null when there is none). Tests and tools bind their own record. Bind before the music
// thread starts.
void BindMusicSettings(System* settings);
using MusicSettingsSource = System* (*)();
void SetMusicSettingsSource(MusicSettingsSource source);

// Music PCM: 16-bit signed little-endian stereo, 4 bytes per sample frame.
constexpr uint32_t kMusicFrameBytes = 4;
