// CLoadFile: the file operations of the shell. Settings file, data-folder file ("dir.txt"), the
// optional save slots, the ranking entry, and the two list readers (texture list, sound list).
// Built on the stack for one task with links to the long-lived objects; owns nothing.
#pragma once

#include <cstdint>

class System;
class MapSceneEntity;

class CLoadFile {
public:
    CLoadFile(System* system, MapSceneEntity* scene) : system(system), scene(scene) {}
    virtual ~CLoadFile() = default;

    System* system;
    MapSceneEntity* scene;

    bool ReadSettings(const char16_t* path);
    bool WriteSettings(const char16_t* path);
    // "dir.txt": false when it cannot be opened / written.
    bool ReadDataFolder(const char16_t* path);
    bool WriteDataFolder(const char16_t* path);
    // Builds dataFolder from dataFolderRead (and baseFolder when dataFolderRelative is 1, unless the
    // name is a whole path already).
    bool BuildDataFolder();
    // Save slot 0..15; false (after the file-not-found message) when the file cannot be opened.
    bool ReadSaveSlot(const char16_t* path, int slot);
    // Enters score with the current local date and time into the ranking (entry 10, then sorted).
    void RankingEntry(int32_t score);
    // Texture list "grp\grp_0003.txt" into textureNames (64 records); false when it cannot be
    // opened (after the file-not-found message).
    bool ReadTextureList(const char16_t* path);

    // Start-up step 4: baseFolder = the executable's folder with its trailing separator,
    // canonicalised. False when the executable path cannot be had or does not fit.
    bool SetBaseFolder();
    // Start-up steps 5 to 7: base + "Game.ini", base + "dir.txt", then every present
    // base + "save0001.dat" .. "save0016.dat". False means the start ends without a further
    // message: "dir.txt" is missing, or a present save file could not be read (its message
    // was shown).
    bool ReadStartupFiles();
    // The quit path's writes: "Game.ini", then "dir.txt". False after the message of the write
    // that failed ("ini..." or "txt..." with caption "Error"); the old files are left intact.
    bool WriteQuitFiles();
};
