#include "menus/Menu.h"

#include "graphics/CDx_Gr.h"
#include "graphics/DrawParam.h"
#include "core/MapSceneEntity.h"

MenuProcessState gMenuState = {0, 0, 0, 0, 0, kPanelBorderColour};

void ResetMenuProcessState() {
    gMenuState = MenuProcessState{0, 0, 0, 0, 0, kPanelBorderColour};
}

int StepKeyRepeat(int32_t* counter, int32_t* delayPassed, bool first, bool second, bool decision) {
    int move = 0;
    if (*counter == kRepeatReady && !decision) {
        if (first) {
            move = -1;
        } else if (second) {
            move = 1;
        }
        if (move != 0) *counter = 0;
    }
    if (first || second) {
        if (*counter < kRepeatReady) {
            *counter += *delayPassed ? kRepeatFastStep : kRepeatSlowStep;
            if (*counter >= kRepeatReady) {
                *counter = kRepeatReady;
                *delayPassed = 1;
            }
        }
    } else {
        *counter = kRepeatReady;
        *delayPassed = 0;
    }
    return move;
}

void MenuSprite(CDx_Gr* renderer, int32_t texture, int32_t x, int32_t y, int32_t w, int32_t h,
                int32_t srcX, int32_t srcY, int32_t srcW, int32_t srcH, uint32_t colour) {
    renderer->DrawSprite(MakeDrawParam(texture, x, y, w, h, srcX, srcY, srcW, srcH, colour));
}

namespace {

// A 4-pixel border around (x, y, w, h) from the 4 x 4 pieces of a 16 x 16 block whose top-left
// texel is (k, 16): corners, then the top and bottom edges, then the left and right edges.
void DrawBorder(CDx_Gr* renderer, int32_t k, int32_t x, int32_t y, int32_t w, int32_t h,
                uint32_t colour) {
    const int32_t right = x + w - 4;
    const int32_t bottom = y + h - 4;
    MenuSprite(renderer, kMenuTexture, x, y, 4, 4, k, 16, 4, 4, colour);
    MenuSprite(renderer, kMenuTexture, right, y, 4, 4, k + 12, 16, 4, 4, colour);
    MenuSprite(renderer, kMenuTexture, x, bottom, 4, 4, k, 28, 4, 4, colour);
    MenuSprite(renderer, kMenuTexture, right, bottom, 4, 4, k + 12, 28, 4, 4, colour);
    MenuSprite(renderer, kMenuTexture, x + 4, y, w - 8, 4, k + 4, 16, 4, 4, colour);
    MenuSprite(renderer, kMenuTexture, x + 4, bottom, w - 8, 4, k + 4, 28, 4, 4, colour);
    MenuSprite(renderer, kMenuTexture, x, y + 4, 4, h - 8, k, 20, 4, 4, colour);
    MenuSprite(renderer, kMenuTexture, right, y + 4, 4, h - 8, k + 12, 20, 4, 4, colour);
}

constexpr int kFieldChars = 29;

}  // namespace

void Menu::DrawCursorFrame(int32_t x, int32_t y, int32_t w, int32_t h, int32_t opening) {
    if (opening <= 0) return;
    const int32_t height = h * opening / 8;
    const int32_t top = y + (8 - opening) * h / 16;
    MenuSprite(renderer, kMenuTexture, x + 4, top + 4, w - 8, height - 8, 160, 0, 16, 16, kFrameInnerColour);
    DrawBorder(renderer, 160, x, top, w, height, gMenuState.borderColour);
    // The next frame's border breathes with the cursor pulse (alpha 64..192).
    gMenuState.borderColour =
        (static_cast<uint32_t>(menuScene->cursorPulse + 64) << 24) + 0xFFFFFFu;
}

void Menu::DrawPanel(int32_t w, int32_t h) {
    const int32_t k = 16 * menuScene->colorTheme;
    MenuSprite(renderer, kMenuTexture, 212, 4, w - 8, h - 8, k, 0, 16, 16, kFrameInnerColour);
    DrawBorder(renderer, k, 208, 0, w, h, kPanelBorderColour);
}

void Menu::DrawText(const char* text, int32_t x, int32_t y, int32_t advance, int32_t glyphW,
                    int32_t glyphH) {
    for (int32_t i = 0; text[i] != '\0'; ++i) {
        const uint32_t c = static_cast<uint8_t>(text[i]);
        MenuSprite(renderer, kFontTexture, x + i * advance, y, glyphW, glyphH,
                   static_cast<int32_t>(c % 16) * 16, static_cast<int32_t>((c / 16) % 16) * 32, 16, 32,
                   kWhite);
    }
}

void Menu::DrawFieldText(const char* text, int32_t x, int32_t y, int32_t advance, int32_t glyphW,
                         int32_t glyphH) {
    char field[kFieldChars + 1];
    int32_t i = 0;
    for (; i < kFieldChars && text[i] != '\0'; ++i) field[i] = text[i];
    for (; i < kFieldChars; ++i) field[i] = ' ';
    field[kFieldChars] = '\0';
    DrawText(field, x, y, advance, glyphW, glyphH);
}
