#include "shell/Window.h"

#include "core/System.h"

namespace {

constexpr double kWide = 1.7777777777777777;   // 16 / 9
constexpr double kTall = 0.5625;               // 9 / 16

}  // namespace

void KeepSixteenByNine(int edge, PlatRect* r, int32_t extraW, int32_t extraH) {
    const int32_t clientW = (r->right - r->left) - extraW;
    const int32_t clientH = (r->bottom - r->top) - extraH;
    // A client height of 0 gives an infinite ratio: the width then decides, as for a wide area.
    const double ratio = clientH != 0 ? static_cast<double>(clientW) / clientH : 1.0e300;
    const bool narrow = ratio < 16.0 / 9.0;
    const int32_t heightFromWidth = static_cast<int32_t>(clientW * kTall + extraH);
    const int32_t widthFromHeight = static_cast<int32_t>(clientH * kWide + extraW);
    switch (edge) {
        case kSizeLeft:
        case kSizeRight:
            r->bottom = r->top + heightFromWidth;
            break;
        case kSizeTop:
        case kSizeBottom:
            r->right = r->left + widthFromHeight;
            break;
        case kSizeTopLeft:
            if (narrow) r->left = r->right - widthFromHeight;
            else r->top = r->bottom - heightFromWidth;
            break;
        case kSizeTopRight:
            if (narrow) r->right = r->left + widthFromHeight;
            else r->top = r->bottom - heightFromWidth;
            break;
        case kSizeBottomLeft:
            if (narrow) r->left = r->right - widthFromHeight;
            else r->bottom = r->top + heightFromWidth;
            break;
        case kSizeBottomRight:
            if (narrow) r->right = r->left + widthFromHeight;
            else r->bottom = r->top + heightFromWidth;
            break;
        default:
            break;
    }
}

void ShellWindowEvents::OnActivate(bool active) {
    system->windowActive.store(active ? 1 : 0, std::memory_order_relaxed);
}

void ShellWindowEvents::OnCommand(int command) {
    if (command == kCommandClose) {
        Plat().window->PostClose();
    } else if (command == kCommandToggle) {
        system->toggleRequest = 1;
    }
}

void ShellWindowEvents::OnClose() {
    PlatWindow* w = Plat().window;
    w->ShowCursor();
    w->Minimize();
    w->Destroy();
}

void ShellWindowEvents::OnSizing(int edge, PlatRect* rect) {
    int32_t cxFrame = 0, cyFrame = 0, cyCaption = 0;
    Plat().window->FrameMetrics(&cxFrame, &cyFrame, &cyCaption);
    KeepSixteenByNine(edge, rect, 4 * cxFrame, cyCaption + 4 * cyFrame);
}

bool CreateGameWindow(System* system) {
    PlatWindow* w = Plat().window;
    if (!w->Create()) return false;
    system->clientWidth = 1280;
    system->clientHeight = 720;
    return true;
}

void StoreWindowRect(System* system) {
    PlatWindow* w = Plat().window;
    PlatRect r{};
    if (w->GetWindowRect(&r)) {
        system->windowRect[0] = r.left;
        system->windowRect[1] = r.top;
        system->windowRect[2] = r.right;
        system->windowRect[3] = r.bottom;
    } else {
        system->windowRect[0] = 0;
        system->windowRect[1] = 0;
    }
}

void ToggleWindowForm(System* system) {
    PlatWindow* w = Plat().window;
    system->fullScreen = ~system->fullScreen;
    if (Plat().render != nullptr) Plat().render->LeaveFullscreenState();
    if (system->fullScreen != 0) {
        // A placement or monitor that cannot be read leaves the window as it is; the flag stays
        // inverted all the same.
        PlatRect monitor{};
        if (w->SavePlacement() && w->PrimaryMonitorRect(&monitor)) w->SetBorderless(monitor);
    } else {
        w->RestoreFramed();
    }
    system->optionsMirror[0] = system->fullScreen;
    system->toggleRequest = 0;
}
