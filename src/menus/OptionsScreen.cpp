// The options screen: eleven rows of settings, each with a value chosen with left and right. The
// settings change while the screen is open; there is no confirm or cancel step.
#include "audio/CXa2.h"
#include "core/MapSceneEntity.h"
#include "menus/CTitleIcDX.h"
#include "core/CXi.h"
#include "core/System.h"

namespace {

constexpr int32_t kValueCounts[kOptionRowCount] = {2, 2, 4, 2, 21, 21, 10, 10, 10, 10, 10};

// XInput face buttons A, B, X, Y: the pad button number n is the bit 0x1000 << n.
constexpr uint16_t kPadFaceButtons[4] = {0x1000, 0x2000, 0x4000, 0x8000};

const char* const kLabels[7] = {"SCREEN MODE", "VSYNC", "TIMER", "FRAME SKIP",
                                "BGM VOLUME", "SE VOLUME", "BUTTON ARRANGEMENT"};
const char* const kButtonLabels[4] = {"DECISION", "CANCELLATION", "PAUSE", "SHIFT"};
const char* const kScreenModeTexts[2] = {"      Window", "    FullScreen"};
const char* const kOffOnTexts[2] = {"       OFF", "       ON"};
const char* const kTimerTexts[4] = {"    timeGetTime", "PerformanceCounter", "      Sleep",
                                    "     No Wait"};
const char* const kDigits = "0  1  2  3  4  5  6  7  8  9";

constexpr int32_t kAdvance = 10;
constexpr int32_t kGlyphW = 16;
constexpr int32_t kGlyphH = 32;

}  // namespace

int32_t OptionValueCount(int32_t row) {
    return row >= 0 && row < kOptionRowCount ? kValueCounts[row] : 1;
}

void CTitleIcDX::UpdateOptionsInput() {
    MenuBlock& m = scene->menu;
    MenuProcessState& st = gMenuState;
    const bool decision = (system->buttonBits & kBtnDecision) != 0;
    const int32_t dir = system->dirBits;

    const int rowMove = StepKeyRepeat(&m.optionRepeat, &st.upDownDelayPassed, (dir & kDirUp) != 0,
                                      (dir & kDirDown) != 0, decision);
    if (rowMove < 0) {
        m.optionCursor = m.optionCursor <= 0 ? kOptionRowCount - 1 : m.optionCursor - 1;
    } else if (rowMove > 0) {
        m.optionCursor = m.optionCursor >= kOptionRowCount - 1 ? 0 : m.optionCursor + 1;
    }

    const int change = StepKeyRepeat(&m.valueRepeat, &st.leftRightDelayPassed,
                                     (dir & kDirLeft) != 0, (dir & kDirRight) != 0, decision);
    const int32_t row = m.optionCursor;
    if (change == 0 || row < 0 || row >= kOptionRowCount) return;
    const int32_t count = OptionValueCount(row);
    int32_t v = system->optionsMirror[row];
    // The window toggle stores its flag (all ones when full screen) in the screen-mode entry.
    if (row == kRowScreenMode) v = v != 0 ? 1 : 0;
    if (row == kRowBgmVolume || row == kRowSeVolume) {
        // Volumes stop at both ends; a press there still uses up the repeat step.
        if (change < 0 && v > 0) --v;
        if (change > 0 && v < kVolumeStepMax) ++v;
    } else if (change < 0) {
        v = v <= 0 ? count - 1 : v - 1;
    } else {
        v = v >= count - 1 ? 0 : v + 1;
    }
    system->optionsMirror[row] = v;
}

void CTitleIcDX::ApplyOptions() {
    System* s = system;
    int32_t* mirror = s->optionsMirror;
    const int32_t row = scene->menu.optionCursor;
    const bool sideways = (s->dirBits & (kDirLeft | kDirRight)) != 0;

    // Screen mode: ask the main loop for the switch while the chosen mode and the window differ.
    if (row == kRowScreenMode && (mirror[kRowScreenMode] != 0) != (s->fullScreen != 0)) {
        s->toggleRequest = 1;
    }

    // A nonzero value takes effect at once; turning a setting back to 0 needs the cursor on its
    // row.
    int32_t* const flags[3] = {&s->vsync, &s->timerMode, &s->frameSkip};
    for (int32_t r = kRowVsync; r <= kRowFrameSkip; ++r) {
        int32_t* setting = flags[r - kRowVsync];
        const int32_t v = mirror[r];
        if (*setting != v && (v != 0 || row == r)) *setting = v;
    }

    if (row == kRowBgmVolume) {
        if (sideways && s->bgmVolume <= 10000) s->bgmVolume = mirror[kRowBgmVolume] * kVolumePerStep;
        audio->ApplyBgmVolume();
    }

    if (row == kRowSeVolume) {
        // Effect 0 restarts every frame as a preview of the effect volume.
        if (audio->Guard() && audio->seVoice[0] != nullptr) {
            audio->seVoice[0]->Stop();
            audio->seVoice[0]->Start();
        }
        if (sideways && s->seVolume <= 10000) s->seVolume = mirror[kRowSeVolume] * kVolumePerStep;
        audio->ApplySeVolume();
    }

    if (row >= kRowFirstButton && row <= kRowLastButton) {
        const int32_t f = row - kRowFirstButton;
        if (sideways) s->buttonArrangement[f] = static_cast<uint8_t>(mirror[row]);
        if (s->activeInputDevice == 1 && input != nullptr) {
            for (int pad = 0; pad < 4; ++pad) input->ReadPad(pad);
            // A face button pressed on the row is assigned to it; the last of A, B, X, Y wins.
            const uint16_t word = input->pads[0].state.buttons;
            for (int32_t n = 0; n < 4; ++n) {
                if ((word & kPadFaceButtons[n]) == 0) continue;
                s->buttonArrangement[f] = static_cast<uint8_t>(n);
                mirror[row] = n;
            }
        }
    }

    if (row == kRowColor && sideways) scene->colorTheme = mirror[kRowColor];
}

void CTitleIcDX::DrawOptions() {
    const MenuBlock& m = scene->menu;
    const System* s = system;

    if (scene->cursorPulse < 128) {
        scene->cursorPulse += 4;
    } else {
        scene->cursorPulse -= 4;
    }

    const int32_t open = m.subOpen;
    const int32_t row = m.optionCursor;
    const bool buttonRow = row >= kRowFirstButton && row <= kRowLastButton;
    DrawCursorFrame(324, (buttonRow ? 78 : 54) + 52 * row, 188, 20, open);

    // The frames mark the settings in force, not the options screen's copy.
    DrawCursorFrame(330 + 188 * (s->fullScreen != 0 ? 1 : 0), 78, 188, 20, open);
    DrawCursorFrame(330 + 188 * s->vsync, 130, 188, 20, open);
    DrawCursorFrame(330 + 188 * s->timerMode, 182, 188, 20, open);
    DrawCursorFrame(330 + 188 * s->frameSkip, 234, 188, 20, open);
    for (int32_t f = 0; f < 4; ++f) {
        DrawCursorFrame(512 + 30 * s->buttonArrangement[f], 390 + 52 * f, 30, 20, open);
    }
    DrawCursorFrame(512 + 30 * scene->colorTheme, 598, 30, 20, open);

    for (int32_t k = 0; k < 7; ++k) DrawFieldText(kLabels[k], 326, 54 + 52 * k, kAdvance, kGlyphW, kGlyphH);
    for (int32_t f = 0; f < 4; ++f) {
        DrawFieldText(kButtonLabels[f], 366, 388 + 52 * f, kAdvance, kGlyphW, kGlyphH);
    }
    DrawFieldText("COLOR", 326, 574, kAdvance, kGlyphW, kGlyphH);

    // Volume bars: one '>' per step.
    char bar[21];
    const int32_t volumes[2] = {s->bgmVolume, s->seVolume};
    for (int b = 0; b < 2; ++b) {
        const int32_t steps = volumes[b] / kVolumePerStep;
        for (int32_t j = 0; j < 20; ++j) bar[j] = j < steps ? '>' : '_';
        bar[20] = '\0';
        DrawText(bar, 366, 284 + 52 * b, kAdvance, kGlyphW, kGlyphH);
    }

    DrawFieldText(kScreenModeTexts[0], 334, 76, kAdvance, kGlyphW, kGlyphH);
    DrawFieldText(kScreenModeTexts[1], 522, 76, kAdvance, kGlyphW, kGlyphH);
    DrawFieldText(kOffOnTexts[0], 334, 128, kAdvance, kGlyphW, kGlyphH);
    DrawFieldText(kOffOnTexts[1], 522, 128, kAdvance, kGlyphW, kGlyphH);
    for (int32_t t = 0; t < 4; ++t) DrawFieldText(kTimerTexts[t], 334 + 188 * t, 180, kAdvance, kGlyphW, kGlyphH);
    DrawFieldText(kOffOnTexts[0], 334, 232, kAdvance, kGlyphW, kGlyphH);
    DrawFieldText(kOffOnTexts[1], 522, 232, kAdvance, kGlyphW, kGlyphH);
    for (int32_t r = 0; r < 5; ++r) DrawFieldText(kDigits, 522, 388 + 52 * r, kAdvance, kGlyphW, kGlyphH);
}
