// A game in the state the start-up leaves it in just before the main loop, without a window, a
// render device or data files: the container made and linked (Game::Link), the angle tables
// filled, no held buffer, no music, no texture reload pending, the play state and the menus'
// process state at program start. It is the process-wide game (gGame) for its lifetime and puts
// back the one it replaced. Tests, benchmarks, fuzz targets and the replay tool start from it, on
// whichever platform they have installed.
#pragma once

class Game;
class System;
class MapSceneEntity;

class BootedGame {
public:
    BootedGame();
    ~BootedGame();
    BootedGame(const BootedGame&) = delete;
    BootedGame& operator=(const BootedGame&) = delete;

    // Effect voices in the effects' format from the installed platform's audio device (which owns
    // them), so that PlaySe reaches a voice once the sound mode is set.
    void CreateEffectVoices();

    // Textures 0..7 from the texture list of a data folder (UTF-8 path, without a trailing
    // slash), as the game loads them at start-up, into the created render device. False when the
    // list or a picture could not be read.
    bool LoadTextures(const char* dataFolder);

    Game* game;
    System* system;
    MapSceneEntity* scene;

private:
    Game* saved_;
};
