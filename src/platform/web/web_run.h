// The game's run in a page. The browser owns the loop, and the display's frames pace it: at each
// animation frame the turns that are due run, due by the timer mode's own deadlines laid on a
// fixed grid (each deadline one frame length after the previous one, not after the moment the
// turn ran), so the game keeps its speed whatever the display's rate or a late frame. At most four
// turns run at one display frame, and only the last of them is drawn; a stall is made up over the
// following frames, and a page more than 250 ms behind (after being hidden) starts the grid again
// from now. No Wait with vertical sync on runs one turn per display frame; without it the turns
// run as fast as the browser calls back. The page never asks for a timer.
//
// "Game.ini" and "dir.txt" are written on the quit path (then the program's folder goes back to
// IndexedDB), and straight into IndexedDB whenever the ranking changes and whenever the page is
// hidden: a tab can be closed at any moment, and the store a closing tab starts may not finish.
//
// The page may read Module._kelvorine_web_stats() (a JSON text) to follow the run: turns, the
// first presented frame, the time between display frames that ran turns and what they cost, the
// draw path, then the game's own figures. Measuring aid (never set in normal play):
// index.html?hold=N stops after N turns and keeps that picture.
#pragma once

#include <cstddef>

class WebPlatform;

// What the page's loop asks of the game. Every member is set.
struct WebGame {
    bool (*start)(int* exitCode);               // the start-up; false: the run ended (*exitCode)
    bool (*turn)(int* exitCode, bool present);  // one turn; false: the run ended (*exitCode)
    void (*present)();                          // shows the frame of the last turn run
    double (*turnMs)();                         // the grid's step in ms; <= 0 in No Wait
    bool (*pacedByDisplay)();                   // one turn per display frame
    bool (*noWaitUnpaced)();                    // turns as fast as the browser calls back
    bool (*writeQuitFiles)();                   // "Game.ini" and "dir.txt", now
    bool (*rankingChanged)();                   // the ranking differs from the last call's
    // The game's own figures for the page: JSON members, each led by a comma. Returns the length
    // it would have written (as snprintf); out is cut short when that is not below capacity.
    int (*figures)(char* out, size_t capacity);
};

// Reads the page's file store, seeds a first visit, starts the game and hands the loop to the
// browser. The platform must outlive main: the browser keeps calling the loop after it returned.
void WebRunGame(WebPlatform* platform, const WebGame& game);

// The run has started and not ended.
bool WebRunning();
