// Where the game keeps its files on Linux, decided once at start-up.
//
// Portable folder: the program's folder holds "dir.txt". "Game.ini", "dir.txt" and the save slots
// live beside the program, as they always have (the staging folder, an unpacked archive).
//
// Installed game: the program's folder holds no "dir.txt" and the installed shared folder
// <prefix>/share/games/kelvorine/ exists beside the program's <prefix>/games/ (or <prefix>/bin/).
// That folder is not the player's to write, so the files live in the per-user folder
// $XDG_DATA_HOME/kelvorine/ (~/.local/share/kelvorine/ by default). On the first start it is created
// with a "Game.ini" copied from the shared folder's template (the audible defaults, data folder
// named absolutely) and a "dir.txt" naming the shared folder's "data/". Files already there are
// never replaced; a missing "dir.txt" is written last, so a start interrupted half-way is completed
// by the next one.
//
// Neither: the program's folder is used, and the start ends as it always has without "dir.txt".
//
// Paths here are host paths (bytes, UTF-8 or not) in fixed buffers; an over-long path is a failure,
// never cut. A start that fails leaves no folder it made behind.
#pragma once

#include <cstddef>

constexpr size_t kHostPathBytes = 4096;

struct GameFolders {
    char program[kHostPathBytes];  // the executable's real folder, with its trailing '/'
    char files[kHostPathBytes];    // folder of "Game.ini", "dir.txt" and the save slots, with '/'
    char shared[kHostPathBytes];   // <prefix>/share/games/kelvorine/, "" when it does not exist
    bool installed;                // files is the per-user folder
    char problem[kHostPathBytes + 256];  // why ResolveGameFolders failed (English, one line)
};

// The environment the decision reads (tests pass their own).
struct GameFolderEnv {
    const char* xdgDataHome;  // $XDG_DATA_HOME; ignored unless absolute
    const char* home;         // $HOME; the password database is asked when unset or relative
};

GameFolderEnv CurrentGameFolderEnv();

// Decides the folders for the executable at exePath (absolute, symbolic links resolved) and, for an
// installed game, prepares the per-user folder. False (with out->problem) when the per-user folder
// cannot be found, created or filled; nothing that was there is lost.
bool ResolveGameFolders(const char* exePath, const GameFolderEnv& env, GameFolders* out);

// The running program's path as the kernel knows it (symbolic links resolved). False when unknown.
bool SelfExecutablePath(char* out, size_t capacity);

// A file of the program itself (the shaders): name in the current folder if it is there (as
// always), else beside the executable at exePath, else in the installed shared folder. out receives
// the path to open; false when none of the three holds the file.
bool FindProgramFile(const char* name, const char* exePath, char* out, size_t capacity);
