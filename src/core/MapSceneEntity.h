// MapSceneEntity: the scene tables, the one shared state object of scenes, fades, menus, pause,
// save slots, ranking, name tables and angle tables. It has no behaviour beyond construction;
// every component that needs shared state keeps a link to it. Main thread only.
#pragma once

#include <cstdint>

#include "core/Settings.h"

constexpr int kSaveSlots = 16;
constexpr int kSaveEntries = 48;
constexpr int kObjectRecords = 255;
constexpr int kObjectFields = 114;
constexpr int kMenuBlockInts = 45;
constexpr int kAngleSteps = 256;
constexpr int kSoundNameSlots = 960;
constexpr int kTextureNameSlots = 64;
constexpr int kNameSlotUnits = 36;

// Scene numbers (sceneNumber): the title with its menus, and the play scene.
constexpr int32_t kSceneTitle = 1;
constexpr int32_t kScenePlay = 4;

// One save-slot block, filled from "save0001.dat" ... "save0016.dat" (read only, never written).
struct SaveEntry {
    uint8_t firstByte;
    int32_t firstInts[5];
    uint8_t sixBytes[6];
    uint8_t tenBytes[10];
    int32_t secondInts[5];
    uint8_t secondByte;
    int32_t twoInts[2];
    int32_t grid[120];
    int32_t finalInt;
};

struct SaveSlot {
    SaveEntry entries[kSaveEntries];
    int32_t ints303[303];
    uint8_t bytes303[303];
    int32_t fourInts[4];
    uint8_t byteA;
    uint8_t fourBytes[4];
    uint8_t byteB;
    uint8_t tenBytes[10];
    uint8_t sixteenA[16];
    uint8_t sixteenB[16];
    uint8_t fiveBytes[5];
    int32_t threeInts[3];
    int32_t ints2048[2048];
};

// The menu and pause block: zeroed as a whole when a game starts.
struct MenuBlock {
    int32_t titlePhase;    // 0, 1, 2, 4, 8, 16
    int32_t subPhase;      // 0, 1, 2, 4, 8, 16
    int32_t titleOpen;     // 0..8
    int32_t subOpen;       // 0..8
    int32_t titleCursor;   // 0..2
    int32_t optionCursor;  // 0..10
    int32_t titleRepeat;   // key-repeat counters, 48 = ready
    int32_t optionRepeat;
    int32_t valueRepeat;
    int32_t pausePhase;    // 0, 1, 2, 4, 8, 16
    int32_t pauseOpen;     // 0..8
    int32_t paused;        // 1 while the game is halted
    int32_t reserved[kMenuBlockInts - 12];
};
static_assert(sizeof(MenuBlock) == kMenuBlockInts * 4, "the menu block is 45 ints");

// Object record fields used by the game.
constexpr int kObjectIndexField = 0;
constexpr int kObjectXField = 2;
constexpr int kObjectYField = 3;

class MapSceneEntity {
public:
    MapSceneEntity();
    virtual ~MapSceneEntity();

    // 1. save slots
    SaveSlot saveSlots[kSaveSlots] = {};
    // 2. object list; each record's index field holds its own position
    int32_t objects[kObjectRecords][kObjectFields] = {};
    // 3. menu and pause block
    MenuBlock menu = {};
    // 4. angle tables, filled at start-up by FillAngleTables()
    double cosTable[kAngleSteps] = {};
    double sinTable[kAngleSteps] = {};
    // 5..7. name tables (UTF-16, 36 units a slot)
    char16_t soundNames[kSoundNameSlots][kNameSlotUnits] = {};
    char16_t texturePathNames[kTextureNameSlots][kNameSlotUnits] = {};
    char16_t textureNames[kTextureNameSlots][kNameSlotUnits] = {};
    // 8. held buffer (owned; empty when none)
    uint8_t* heldBuffer = nullptr;
    // 9. fade overlay and cursor pulse
    uint8_t fadeAlpha = 0;  // opacity of the black overlay
    int32_t cursorPulse = 0;  // 0..128
    int32_t fadeToBlack = 0;  // the overlay is rising
    int32_t fadeFromBlack = 0;  // the overlay is falling
    // 10. scene state
    int32_t sceneNumber = 1;  // 1 title, 4 play
    int32_t musicRequestPending = 0;
    int32_t musicRequestCode = 0;
    int32_t menuChoice = 0;  // copy of the title cursor: which sub-screen is drawn
    int32_t colorTheme = 0;  // panel colour 0..9
    int32_t textureReloadFlag = 1;  // 1 while textures are to be (re)loaded
    int64_t gameStartTime = 0;  // the 64-bit start field read by the play scene
    int32_t statusValue = 0;  // third value of the diagnostic status line
    // 11. ranking table (entries 0..9 best first; 10 receives a new score before sorting)
    int32_t rankScores[kRankingEntries + 1] = {};
    int64_t rankGameTime = 0;
    RankDate rankDates[kRankingEntries + 1] = {};

    // Fills cosTable and sinTable: entry i = cos / sin of (i * pi) * 0.0078125.
    void FillAngleTables();
    // Frees the held buffer and clears its pointer.
    void FreeHeldBuffer();
};
