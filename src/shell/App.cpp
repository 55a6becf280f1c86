// The entry into the game: start-up, the main loop, the quit path and the shutdown routine.
//
// Start-up runs its steps in a fixed order; any failure on the way ends the run through the one
// early exit (EarlyExit), most of them after a message box. The main loop turns once per frame
// until the window is destroyed and the quit message arrives. Everything here runs on the thread
// that entered the program; the only other thread is the music thread, joined in the shutdown.
#include "shell/App.h"

#include <new>

#include "audio/CXa2.h"
#include "audio/MusicStream.h"
#include "audio/SoundLists.h"
#include "game/GameScene.h"
#include "game/PlayState.h"
#include "graphics/CDx_Gr.h"
#include "graphics/CReSur.h"
#include "core/MapSceneEntity.h"
#include "menus/TitleFrame.h"
#include "platform/platform.h"
#include "core/CLoadFile.h"
#include "core/CXi.h"
#include "shell/Game.h"
#include "core/Messages.h"
#include "shell/Pacing.h"
#include "core/System.h"
#include "shell/Window.h"
#include "platform/common/text.h"

namespace {

constexpr char16_t kFontFile[] = u"VLGothic\\VL-Gothic-Regular.ttf";
constexpr char16_t kTextureList[] = u"grp\\grp_0003.txt";


// Process-wide state of the shell beside the Game container.
struct Shell {
    FramePacer pacer;
    bool instanceHeld = false;
    bool folderHeld = false;  // the files folder's guard (LockFilesFolder)
    bool fontAdded = false;
    char16_t fontPath[kPathChars] = {};
    // A host that runs several turns per display frame draws only the last one (KelvorinePresent).
    bool presentOwed = false;
    double turnMs = 0;  // length of the last turn by its timer mode (KelvorineTurnMs)
};

PresentHook gPresentHook = nullptr;

Shell gShell;

bool SoundModeOn(const System* s) { return s->soundMode == 1 || s->soundMode == 2; }

// The shutdown routine: everything the run built, in reverse, and the container last.
void Shutdown() {
    Plat().services->SetScreenSaverActive(true);
    if (gShell.fontAdded) {
        Plat().services->RemoveFont(gShell.fontPath);
        gShell.fontAdded = false;
    }
    if (gGame == nullptr) return;
    System* system = gGame->system;
    gGame->mapSceneEntity->FreeHeldBuffer();
    if (SoundModeOn(system)) gGame->xa2->ShutdownAudio();  // joins the music thread
    if (!gGame->dxGr->Release()) Tell(MessageId::kReleaseFailed);
    CloseMusicTracks();
    delete gGame;
    gGame = nullptr;
}

void ReleaseInstance() {
    if (!gShell.instanceHeld) return;
    gShell.instanceHeld = false;
    Plat().services->ReleaseInstanceMutex();
}

void ReleaseFilesFolder() {
    if (!gShell.folderHeld) return;
    gShell.folderHeld = false;
    Plat().services->UnlockFilesFolder();
}

// Closes the window if there is one, shuts down, ends the timer period, unregisters the class.
void TearDown(bool destroyWindow) {
    PlatWindow* w = Plat().window;
    if (destroyWindow) {
        w->ShowCursor();
        if (w->Exists()) {
            w->Minimize();
            w->Destroy();
        }
    }
    Shutdown();
    gShell.pacer.End();
    w->UnregisterClass();
    ReleaseInstance();
    ReleaseFilesFolder();
}

// The one early exit of the start-up (and of a failed rebuild): always 0.
int EarlyExit() {
    TearDown(true);
    return 0;
}

int QuitPath(int exitCode) {
    // The files go where the folder is now, also when it was renamed while the game ran.
    if (gShell.folderHeld) Plat().services->FilesFolderNow(gGame->system->baseFolder, kPathChars);
    CLoadFile files(gGame->system, gGame->mapSceneEntity);
    const bool written = files.WriteQuitFiles();  // shows its own message on failure
    TearDown(!written);
    return written ? exitCode : 0;
}

// Rebuilds the device after a lost present. False when the device or the textures cannot be had
// again; the run then ends.
bool RebuildDevice(System* system, MapSceneEntity* scene, CDx_Gr* dxGr) {
    scene->textureReloadFlag = 1;
    dxGr->Release();
    dxGr->ClearHandles();
    if (dxGr->Create() != 1) {
        Tell(MessageId::kGraphicsFailed);
        return false;
    }
    CReSur reSur(dxGr, system, scene);
    if (!reSur.ReloadTextures()) return false;  // the loader has reported the file
    system->deviceLost = 0;
    return true;
}

bool AnyListTextureLoaded(const CDx_Gr* dxGr) {
    for (int id = 0; id < kListTextures; ++id) {
        if (dxGr->textureLoaded[id]) return true;
    }
    return false;
}

// One turn of the main loop. False when the run has ended (*exitCode is then the program's
// result). `blockingWait`: the turn ends with the frame's wait; otherwise the wait is only recorded
// and the host asks KelvorineWaitMs before the next turn. Without `presentNow` the frame is drawn
// only when the host calls KelvorinePresent (and not at all if another turn runs first).
bool MainLoopTurn(ShellWindowEvents* events, bool blockingWait, bool presentNow, int* exitCode) {
    System* system = gGame->system;
    MapSceneEntity* scene = gGame->mapSceneEntity;
    CDx_Gr* dxGr = gGame->dxGr;
    PlatWindow* window = Plat().window;
    FramePacer& pacer = gShell.pacer;

    // 1. At most one message per turn.
    int quitCode = 0;
    if (window->PumpOne(events, &quitCode) == PlatPump::Quit) {
        *exitCode = QuitPath(quitCode);
        return false;
    }

    // 2. The timer mode of this turn also decides its wait (a change made during the frame
    //    takes effect on the next turn).
    const int timerMode = system->timerMode;
    const int sceneNumber = scene->sceneNumber;
    pacer.TakeFrameStart(timerMode);

    // 3. Input.
    gGame->xi->Poll();

    // 4. Scene frame and present, only while the window is active.
    const bool active = system->windowActive.load(std::memory_order_relaxed) != 0;
    gShell.presentOwed = false;
    if (active) {
        RunSceneFrame(sceneNumber);
        if (!pacer.ConsumeSkipMark()) {
            if (presentNow) {
                dxGr->EndFrame();  // flags deviceLost itself
                if (gPresentHook != nullptr) gPresentHook(scene->sceneNumber);
            } else {
                gShell.presentOwed = true;
            }
        }
    }

    // 5. Effect voices that have finished are stopped at their start again; without a music
    //    thread, the music is fed here.
    if (SoundModeOn(system) && system->soundOff == 0) {
        gGame->xa2->RearmIdleSe();
        gGame->xa2->FeedMusicFromLoop();
    }

    // 6. Window form.
    if (system->toggleRequest != 0) ToggleWindowForm(system);

    // 7, 8. Device health and rebuild. A device that CheckDevice had to re-create has lost
    //    its textures (and may have failed to come back): the rebuild of step 8 then runs as
    //    for a lost present, so the pictures return or the run ends with its message.
    const bool hadTextures = AnyListTextureLoaded(dxGr);
    dxGr->CheckDevice();
    if (hadTextures && !AnyListTextureLoaded(dxGr)) system->deviceLost = 1;
    if (system->deviceLost != 0 && !RebuildDevice(system, scene, dxGr)) {
        *exitCode = EarlyExit();
        return false;
    }

    // 9. Frame skip decision and wait.
    const bool activeNow = system->windowActive.load(std::memory_order_relaxed) != 0;
    if (blockingWait) {
        pacer.EndOfTurn(timerMode, system->framePattern, system->frameSkip, activeNow);
    } else {
        gShell.turnMs = pacer.TurnLengthMs(timerMode, activeNow);
        pacer.EndOfTurnDeferred(timerMode, system->framePattern, system->frameSkip, activeNow);
    }

    // 10. Keep the display awake and give up the rest of the time slice.
    Plat().services->KeepDisplayOn();
    if (blockingWait) Plat().clock->Sleep(0);
    return true;
}

// The loop's window procedure, alive from the end of the start-up to the end of the run.
ShellWindowEvents* gEvents = nullptr;

void EndRun() {
    delete gEvents;
    gEvents = nullptr;
}

// Steps 4 to 9: the folders and the files read at start. False ends the start early (any message
// has been shown).
bool OpenFiles(Platform& plat, CLoadFile& files, System* system) {
    // 4. Base folder, with its trailing separator.
    if (!files.SetBaseFolder()) {
        // The backend may know why: then it is the player's folder of an installed game that
        // cannot be made or filled, and the message names the folder and the reason.
        const char16_t* problem = plat.services->FolderProblem();
        Tell(problem[0] != 0 ? MessageId::kPlayerFolderFailed : MessageId::kProgramFolderUnknown, nullptr,
             problem);
        return false;
    }

    // The folder whose files this copy writes is its own for the whole run. A second copy that
    // reaches the same folder by another road (another display, another spelling of this one)
    // leaves quietly, as one that meets the first copy's window does, and writes nothing.
    bool heldElsewhere = false;
    gShell.folderHeld = plat.services->LockFilesFolder(system->baseFolder, &heldElsewhere);
    if (heldElsewhere) return false;

    // 5-7. "Game.ini", "dir.txt" (required; its absence ends the run silently), save slots.
    if (!files.ReadStartupFiles()) return false;

    // 8. No screen saver while the game runs.
    plat.services->SetScreenSaverActive(false);

    // 9. Data folder.
    return files.BuildDataFolder();
}

// Steps 10 to 12: the window, the links between the long-lived objects, the font.
bool OpenWindow(Platform& plat, System* system) {
    // 10. Window.
    if (!plat.window->RegisterClass()) {
        Tell(MessageId::kWindowClassFailed);
        return false;
    }
    if (!CreateGameWindow(system)) {
        Tell(MessageId::kWindowFailed);
        return false;
    }
    plat.window->ThreadProcessIds(&gWindowThreadId, &gProcessId);
    plat.window->Show();

    // 11. Links between the long-lived objects; the window rectangle.
    gGame->Link();
    StoreWindowRect(system);

    // 12. The font file is registered for the run (it is not used for drawing).
    if (system->fontFlag == 1 &&
        U16Copy(gShell.fontPath, kPathChars, system->dataFolder) &&
        U16Cat(gShell.fontPath, kPathChars, kFontFile)) {
        gShell.fontAdded = plat.services->AddFont(gShell.fontPath);
    }
    return true;
}

// Steps 13 to 20: the clock, the renderer, input, the audio engine, the sounds and the music.
bool StartDevices(Platform& plat, System* system, MapSceneEntity* scene) {
    // 13. The music stream slots start closed (static state of the music streams).

    // 14. Frame-time table, timer period, first clock read.
    gShell.pacer.Begin(plat.clock);

    // 15. Renderer.
    if (gGame->dxGr->Create() != 1) {
        Tell(MessageId::kGraphicsFailed);
        return false;
    }

    // 16. Input device.
    system->activeInputDevice = system->inputDevice;

    // 17. Audio engine: a missing engine leaves a silent game; a missing output device ends
    //     the run (CreateEngine has shown its message).
    if (SoundModeOn(system) && !gGame->xa2->CreateEngine()) return false;

    // 18. Angle tables.
    scene->FillAngleTables();

    // 19. Sounds, music and the music thread.
    if (system->soundOff == 0 && SoundModeOn(system) && !LoadResourceLists(system, scene, gGame->xa2)) {
        Tell(MessageId::kInitFailed);
        return false;
    }

    // 20. Held buffer, music request and the play scene's start field.
    scene->FreeHeldBuffer();
    system->currentMusicTrack.store(0, std::memory_order_relaxed);
    scene->gameStartTime = 0;
    return true;
}

// Step 21: the texture list and the textures.
bool LoadTextures(CLoadFile& files, System* system, MapSceneEntity* scene) {
    char16_t path[kPathChars];
    if (!U16Copy(path, kPathChars, system->dataFolder) || !U16Cat(path, kPathChars, kTextureList) ||
        !files.ReadTextureList(path)) {
        Tell(MessageId::kTextureListFailed);
        Tell(MessageId::kInitFailed);
        return false;
    }
    CReSur reSur(gGame->dxGr, system, scene);
    if (!reSur.ReloadTextures()) {
        Tell(MessageId::kTexturesFailed);
        Tell(MessageId::kInitFailed);
        return false;
    }
    return true;
}

// The start-up: 0 with gEvents set when the loop may run; otherwise the run has ended and the
// result is its exit code.
int Startup(int showCommand) {
    (void)showCommand;  // the backends show the window in its normal state
    Platform& plat = Plat();
    gShell = Shell{};

    // 1. One instance: a second copy leaves quietly once the first one's window exists.
    bool existed = false;
    gShell.instanceHeld = plat.services->AcquireInstanceMutex(&existed);
    if (existed) {
        const bool otherWindow = plat.window->FindOtherInstanceWindow();
        ReleaseInstance();
        if (otherWindow) return 0;
    }

    // 2. The container.
    gGame = new Game();
    System* system = gGame->system;
    MapSceneEntity* scene = gGame->mapSceneEntity;
    CLoadFile files(system, scene);
    if (!OpenFiles(plat, files, system) || !OpenWindow(plat, system) || !StartDevices(plat, system, scene) ||
        !LoadTextures(files, system, scene)) {
        return EarlyExit();
    }

    // 22. Counter ticks per frame.
    gShell.pacer.ReadCounterFrequency();

    gEvents = new ShellWindowEvents(system);
    return 0;
}

}  // namespace

// Memory that cannot be had (a low address-space limit, an exhausted machine) at start-up or in
// the one-time set-up of a first frame: the run ends as every other start-up failure does, with
// its message, instead of aborting with an exception nobody catches. Nothing is allocated per
// frame, so a run past its set-up never meets this.
int OutOfMemory() {
    Tell(MessageId::kPngNoMemory);  // "メモリが足りません": not specific to pictures
    Tell(MessageId::kInitFailed);
    return EarlyExit();
}

bool KelvorineStart(int showCommand, int* exitCode) {
    try {
        *exitCode = Startup(showCommand);
    } catch (const std::bad_alloc&) {
        *exitCode = OutOfMemory();
    }
    return gEvents != nullptr;
}

bool KelvorineTurn(int* exitCode, bool present) {
    if (gEvents == nullptr) return false;
    try {
        if (MainLoopTurn(gEvents, false, present, exitCode)) return true;
    } catch (const std::bad_alloc&) {
        *exitCode = OutOfMemory();
    }
    EndRun();
    return false;
}

void KelvorinePresent() {
    if (!gShell.presentOwed || gGame == nullptr) return;
    gShell.presentOwed = false;
    gGame->dxGr->EndFrame();
    if (gPresentHook != nullptr) gPresentHook(gGame->mapSceneEntity->sceneNumber);
}

double KelvorineTurnMs() { return gShell.turnMs; }

uint32_t KelvorineWaitMs() { return gEvents != nullptr ? gShell.pacer.DeferredWaitMs() : 0; }

bool KelvorinePacedByDisplay() {
    return gGame != nullptr && gGame->system->timerMode == kTimerNoWait && gGame->system->vsync != 0;
}

bool KelvorineNoWaitUnpaced() {
    return gGame != nullptr && gGame->system->timerMode == kTimerNoWait && gGame->system->vsync == 0;
}

bool KelvorineWriteQuitFiles() {
    if (gEvents == nullptr || gGame == nullptr) return false;
    CLoadFile files(gGame->system, gGame->mapSceneEntity);
    return files.WriteQuitFiles();
}

int KelvorineMain(int showCommand) {
    int exitCode = 0;
    if (!KelvorineStart(showCommand, &exitCode)) return exitCode;
    try {
        while (MainLoopTurn(gEvents, true, true, &exitCode)) {
        }
    } catch (const std::bad_alloc&) {
        exitCode = OutOfMemory();
    }
    EndRun();
    return exitCode;
}

void SetPresentHook(PresentHook hook) { gPresentHook = hook; }

void RunSceneFrame(int sceneNumber) {
    Game* g = gGame;
    if (sceneNumber == kSceneTitle) {
        TitleFrame(g->system, g->mapSceneEntity, g->xi, g->xa2, g->dxGr);
    } else if (sceneNumber == kScenePlay) {
        GameSceneFrame(g->system, g->mapSceneEntity, g->xa2, g->dxGr);
    }
}
