// Music tracks: per-track sources (Ogg Vorbis or WAV), loop files, chunk fills for the music
// thread, and rewinds for the game. FillMusicChunk runs on the music thread only; RewindMusicTrack
// runs on the main thread and never overlaps a fill of the same track.
#pragma once

#include <cstdint>

class System;

bool OpenMusicTrack(int track, const char16_t* path);
bool LoadLoopFile(const char16_t* path, int track);
void FillMusicChunk(int track, uint8_t* dest, uint32_t bytes);
void RewindMusicTrack(int track);
void CloseMusicTracks();
