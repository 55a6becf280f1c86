#include "menus/CTitleIcDX.h"

#include <cstring>

#include "audio/CXa2.h"
#include "core/MapSceneEntity.h"
#include "core/CXi.h"
#include "core/System.h"

namespace {

constexpr int32_t kTitleMusicRequest = 0;
constexpr int32_t kGameObjectX = 1296;  // the game's first object record at the start of a game
constexpr int32_t kGameObjectY = 912;
constexpr int32_t kBounceTop = 16;
constexpr int32_t kScrollStep = 3;
constexpr int32_t kScrollHeight = 720;
constexpr int32_t kConfirmEffect = 0;

bool IsOpenSub(int32_t phase) { return phase >= kPhaseOpening && phase <= kPhaseClosedHeld; }

// One frame of a panel that is opening: it grows by a step, or, fully open, is held open.
void StepOpening(int32_t* phase, int32_t* open) {
    if (*open < kOpenSteps) {
        ++*open;
    } else {
        *phase = kPhaseOpenHeld;
    }
}

// The title's phases: opening, open, closing on START, closed; then the fade to black. Each step
// sees the phase as the steps before it left it in this frame.
void StepTitlePhases(MenuBlock& m, bool decision, CXa2* audio, MapSceneEntity* scene) {
    if (m.titlePhase == kPhaseClosed || m.titlePhase == kPhaseOpening) {
        m.titlePhase = kPhaseOpening;
        StepOpening(&m.titlePhase, &m.titleOpen);
    }
    if (m.titlePhase == kPhaseOpenHeld && !decision) m.titlePhase = kPhaseIdle;
    if (m.titlePhase == kPhaseIdle && decision && m.titleCursor == kItemStart) {
        audio->PlaySe(kConfirmEffect);
        m.titlePhase = kPhaseClosing;
    }
    if (m.titlePhase == kPhaseClosing && m.titleCursor == kItemStart) {
        if (m.titleOpen > 0) {
            --m.titleOpen;
        } else {
            m.titlePhase = kPhaseClosedHeld;
        }
    }
    if (m.titlePhase == kPhaseClosedHeld && !decision && m.titleCursor == kItemStart) {
        // Fading to black wins over a fade-in still running from the end of a game; with both
        // flags set the level would stand still and the game would never start.
        scene->fadeToBlack = 1;
        scene->fadeFromBlack = 0;
    }
}

// The phases of the open sub-screen (ranking or options): DECISION opens it and, outside the
// button rows, closes it again.
void StepSubPhases(MenuBlock& m, bool decision, CXa2* audio) {
    if ((decision && m.subPhase == kPhaseClosed) || m.subPhase == kPhaseOpening) {
        if (m.subPhase == kPhaseClosed) audio->PlaySe(kConfirmEffect);
        m.subPhase = kPhaseOpening;
        StepOpening(&m.subPhase, &m.subOpen);
    }
    if (m.subPhase == kPhaseOpenHeld && !decision) m.subPhase = kPhaseIdle;
    if (decision && m.subPhase == kPhaseIdle) {
        // On the button rows DECISION may be the very pad button being assigned.
        const bool onButtonRow = m.titleCursor == kItemOptions &&
                                 m.optionCursor >= kRowFirstButton &&
                                 m.optionCursor <= kRowLastButton;
        if (!onButtonRow) {
            audio->PlaySe(kConfirmEffect);
            m.subPhase = kPhaseClosing;
        }
    }
    if (m.subPhase == kPhaseClosing) {
        if (m.subOpen > 0) {
            --m.subOpen;
        } else {
            m.subPhase = kPhaseClosedHeld;
        }
    }
    if (m.subPhase == kPhaseClosedHeld && !decision) m.subPhase = kPhaseClosed;
}

}  // namespace

void StartGameFromTitle(System* system, MapSceneEntity* scene) {
    scene->musicRequestPending = 1;
    scene->musicRequestCode = kTitleMusicRequest;
    scene->FreeHeldBuffer();
    scene->objects[0][kObjectXField] = kGameObjectX;
    scene->objects[0][kObjectYField] = kGameObjectY;
    system->musicRestart = 0;
    scene->textureReloadFlag = 0;
    std::memset(&scene->menu, 0, sizeof scene->menu);
    scene->sceneNumber = kScenePlay;
    scene->fadeAlpha = 255;
    scene->fadeToBlack = 0;
    scene->fadeFromBlack = 1;
    scene->menuChoice = 0;
}

void CTitleIcDX::DrawTitleBackground() {
    MenuProcessState& st = gMenuState;
    // The bob runs 0 -> 16 -> 0 and over again.
    if (st.bounce < kBounceTop) {
        if (st.bounce > 0 && st.bounceFalling) {
            --st.bounce;
        } else {
            ++st.bounce;
        }
    } else {
        st.bounceFalling = 1;
        --st.bounce;
    }
    if (st.bounce == 0) st.bounceFalling = 0;

    if (scene->textureReloadFlag == 0) {
        st.scroll = (st.scroll + kScrollStep) % kScrollHeight;
        MenuSprite(renderer, 0, 16, st.scroll, 1536, 768, 0, 0, 512, 256, kWhite);
        MenuSprite(renderer, 0, 16, st.scroll - kScrollHeight, 1536, 768, 0, 0, 512, 256, kWhite);
        MenuSprite(renderer, 2, 446, 144, 480, 120, 0, 0, 160, 40, kWhite);
        MenuSprite(renderer, 2, 644, 144, 408, 120, 0, 48, 136, 40, kWhite);
        for (int32_t item = 0; item < 3; ++item) {
            const int32_t y = item == scene->menuChoice ? 400 + 96 * item + st.bounce : 408 + 96 * item;
            MenuSprite(renderer, 2, 512, y, 288, 96, 160, 32 * item, 96, 32, kWhite);
        }
    } else {
        // Waiting picture while the textures are (re)loaded.
        MenuSprite(renderer, 2, 0, 0, 1536, 768, 0, 256, 512, 256, kWhite);
        MenuSprite(renderer, 2, 400, 241 + st.bounce, 768, 132, 256, 0, 256, 44, kWhite);
    }
}

void CTitleIcDX::UpdateTitleMenu() {
    MenuBlock& m = scene->menu;
    MenuProcessState& st = gMenuState;
    const bool decision = (system->buttonBits & kBtnDecision) != 0;
    const int32_t dir = system->dirBits;

    StepTitlePhases(m, decision, audio, scene);

    // Title cursor.
    if (m.titlePhase == kPhaseIdle && m.subPhase == kPhaseClosed) {
        const int move = StepKeyRepeat(&m.titleRepeat, &st.upDownDelayPassed, (dir & kDirUp) != 0,
                                       (dir & kDirDown) != 0, decision);
        if (move < 0) {
            m.titleCursor = m.titleCursor <= 0 ? 2 : m.titleCursor - 1;
        } else if (move > 0) {
            m.titleCursor = m.titleCursor >= 2 ? 0 : m.titleCursor + 1;
        }
    }
    DrawCursorFrame(468, 470 + 96 * m.titleCursor, 384, 6, m.titleOpen);
    scene->menuChoice = m.titleCursor;

    // Sub-screen phases (ranking or options).
    if (m.titleCursor == kItemRanking || m.titleCursor == kItemOptions) {
        StepSubPhases(m, decision, audio);
        if (m.titleCursor == kItemOptions && IsOpenSub(m.subPhase)) UpdateOptionsInput();
    }

    // Panel and contents.
    if (IsOpenSub(m.subPhase) && m.subOpen > 0) {
        DrawPanel(110 * m.subOpen, 90 * m.subOpen);
        if (m.subOpen == kOpenSteps) {
            if (scene->menuChoice == kItemOptions) {
                ApplyOptions();
                DrawOptions();
            } else if (scene->menuChoice == kItemRanking) {
                DrawRanking();
            }
        }
    }

    // The game starts once the title is closed and the screen is black.
    if (scene->fadeAlpha == 255 && m.titlePhase == kPhaseClosedHeld) StartGameFromTitle(system, scene);
}
