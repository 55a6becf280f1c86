#include "audio/CLoadSnd.h"

#include "audio/CXa2.h"
#include "audio/MusicStream.h"

bool CLoadSnd::LoadSe(const char16_t* path, int id) { return xa2->LoadSe(path, id); }

bool CLoadSnd::OpenMusicTrack(int track, const char16_t* path) { return ::OpenMusicTrack(track, path); }

bool CLoadSnd::LoadLoopFile(const char16_t* path, int track) { return ::LoadLoopFile(path, track); }

bool CLoadSnd::CreateBgmVoice() { return xa2->CreateBgmVoice(); }

bool CLoadSnd::StartStreamThread() { return xa2->StartStreamThread(); }
