// The sound list and the audio part of the start-up: the list file names the 64 music tracks
// (slots 0..63) and the 32 effects (slots 64..95) in fixed 36-byte UTF-16 records; this step
// loads the effects, opens every track with its loop file, creates the music voice and starts
// the music thread.
#pragma once

class System;
class MapSceneEntity;
class CXa2;

// Runs only when soundOff is 0 and soundMode is 1 (WAV) or 2 (Ogg); otherwise it loads nothing
// and succeeds. False means the start-up must end; the failing step has shown its message.
// Reads the settings, fills the scene's sound names and loads into the audio engine; a null
// argument fails. Main thread, before the music thread exists.
bool LoadResourceLists(System* system, MapSceneEntity* scene, CXa2* audio);
