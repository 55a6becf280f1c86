// The page's file store. The program's folder (kWebBaseFolder: "Game.ini", "dir.txt", the save
// slots) is IndexedDB, read into memory before the start-up and written back after the game
// writes; the packaged game folder (kWebGameFolder: shaders, data, the settings of a first visit)
// is read-only and the current directory.
#pragma once

// Where the page keeps its files: the program's folder (persistent, IndexedDB) and the packaged
// game folder.
constexpr char kWebBaseFolder[] = "/kelvorine";
constexpr char kWebGameFolder[] = "/game";

// Makes the game folder current, mounts IndexedDB on the program's folder and reads it in; then,
// from the browser's call-back, calls ready() (also when the storage could not be read: the game
// then starts as on a first visit, and says so on the console).
void WebMountFileStore(void (*ready)());

// A first visit (neither "Game.ini" nor "dir.txt" stored) gets "Game.ini" from the packaged
// settings of audible defaults (without one both volumes would be 0); a missing "dir.txt" is
// written naming the packaged data. A stored file is never replaced. Returns whether the settings
// were seeded.
bool WebSeedFirstVisit();

// Writes the program's folder back to IndexedDB (asynchronous; the browser finishes it even while
// the page is going away, once started).
void WebSyncFilesOut();

// Puts "Game.ini" and "dir.txt" into IndexedDB in one transaction started now: a page being closed
// fires its last "hidden" and is gone soon after, too soon for a whole write-back, which first
// reads what IndexedDB holds. False when the database is not open.
bool WebStoreQuitFilesNow();
