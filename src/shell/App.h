// The program's entry into the game: start-up, main loop, quit path and shutdown. A backend's
// main() installs its Platform (SetPlatform) and calls KelvorineMain; the result is the exit code.
#pragma once

#include <cstdint>

// showCommand: the start-up show-command of the window (backends without one pass 1).
int KelvorineMain(int showCommand);

// One frame of the scene numbered sceneNumber: the title with its menus, or play (other numbers
// run nothing). The main loop and the replay tool run their scenes through it.
void RunSceneFrame(int sceneNumber);

// Called after every presented frame of the main loop with the scene it showed; null (the
// default) for none. A measuring aid for programs that time the start-up.
using PresentHook = void (*)(int sceneNumber);
void SetPresentHook(PresentHook hook);

// The same run for a host that owns the loop and calls it back once per turn (a browser page):
//   KelvorineStart   the start-up; false when the run already ended (*exitCode is its result).
//   KelvorineTurn    one turn of the main loop, ending with its wait recorded rather than slept;
//                    false when the run has ended (quit path or early exit; *exitCode set).
//                    Without `present` its frame is drawn only by a KelvorinePresent that follows
//                    before the next turn (a host running the turns due at a display frame draws
//                    the last of them alone).
//   KelvorineTurnMs  length of the turn that just ran by its timer mode's deadlines, in ms (0: No
//                    Wait, one turn whenever the host is ready).
//   KelvorineWaitMs  before each turn: milliseconds to hand control back first (0: run it now).
//   KelvorinePacedByDisplay  No Wait with vertical sync on: the display paces the turns.
//   KelvorineNoWaitUnpaced   No Wait with vertical sync off: nothing paces the turns.
//   KelvorineWriteQuitFiles  writes "Game.ini" and "dir.txt" now, the run going on (the page is
//                    being hidden and may never come back); false when the run is not going.
bool KelvorineStart(int showCommand, int* exitCode);
bool KelvorineTurn(int* exitCode, bool present = true);
void KelvorinePresent();
double KelvorineTurnMs();
uint32_t KelvorineWaitMs();
bool KelvorinePacedByDisplay();
bool KelvorineNoWaitUnpaced();
bool KelvorineWriteQuitFiles();
