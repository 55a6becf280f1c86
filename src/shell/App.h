// The program's entry into the game: start-up, main loop, quit path and shutdown. A backend's
// main() installs its Platform (SetPlatform) and calls KelvorineMain; the result is the exit code.
#pragma once

// showCommand: the start-up show-command of the window (backends without one pass 1).
int KelvorineMain(int showCommand);

// One frame of the scene numbered sceneNumber: the title with its menus, or play (other numbers
// run nothing). The main loop and the replay tool run their scenes through it.
void RunSceneFrame(int sceneNumber);

// Called after every presented frame of the main loop with the scene it showed; null (the
// default) for none. A measuring aid for programs that time the start-up.
using PresentHook = void (*)(int sceneNumber);
void SetPresentHook(PresentHook hook);
