// The game window of the Win32 backend: class "Kelvorine", the window procedure, the one-message
// pump with its accelerator table (Esc -> 40, Alt+Enter -> 50), and the full-screen toggle pieces
// (borderless popup over the primary monitor, framed placement restored on the way back).
#include "platform/win32/win32_platform.h"

namespace {

constexpr wchar_t kName[] = L"Kelvorine";
constexpr WORD kCommandClose = 40;
constexpr WORD kCommandToggle = 50;
constexpr int kClientWidth = 1280;
constexpr int kClientHeight = 720;

HINSTANCE gInstance = nullptr;
int gShowCommand = SW_SHOWNORMAL;
HWND gWindow = nullptr;
HACCEL gAccelerators = nullptr;
WINDOWPLACEMENT gPlacement = {sizeof(WINDOWPLACEMENT)};  // the framed placement while full screen
// The shell's handlers. Known from the first pump on; messages sent before that (creation and
// showing) take the default handling, which leaves the window-active flag at its start value 1.
PlatWindowEvents* gEvents = nullptr;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY:
            if (window == gWindow) gWindow = nullptr;
            break;
        case WM_ACTIVATE:
        case WM_ACTIVATEAPP:
            if (gEvents != nullptr) gEvents->OnActivate(wParam != 0);
            return 0;
        case WM_COMMAND:
            if (gEvents != nullptr) gEvents->OnCommand(LOWORD(wParam));
            return 0;
        case WM_CLOSE:
            if (gEvents != nullptr) {
                gEvents->OnClose();
            } else {
                ShowCursor(TRUE);
                ShowWindow(window, SW_MINIMIZE);
                DestroyWindow(window);
            }
            return 0;
        case WM_SIZING:
            if (gEvents != nullptr) {
                RECT* r = reinterpret_cast<RECT*>(lParam);
                PlatRect rect{r->left, r->top, r->right, r->bottom};
                gEvents->OnSizing(static_cast<int>(wParam), &rect);
                *r = RECT{rect.left, rect.top, rect.right, rect.bottom};
            }
            return 0;
        case WM_KEYDOWN:
        case WM_KEYUP:
        case MM_MCINOTIFY:
            return 0;
        case WM_SYSCOMMAND:
            // The low four bits of the command are used by the system.
            if ((wParam & 0xFFF0) == SC_SCREENSAVE || (wParam & 0xFFF0) == SC_MONITORPOWER) return 0;
            break;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

class Window final : public PlatWindow {
public:
    bool RegisterClass() override {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        wc.style = CS_VREDRAW | CS_HREDRAW | CS_OWNDC;
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = gInstance;
        wc.hIcon = LoadIconW(gInstance, MAKEINTRESOURCEW(107));  // no icon resource: the default icon
        wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        wc.lpszClassName = kName;
        return RegisterClassExW(&wc) != 0;
    }

    void UnregisterClass() override {
        if (gAccelerators != nullptr) {
            DestroyAcceleratorTable(gAccelerators);
            gAccelerators = nullptr;
        }
        ::UnregisterClassW(kName, gInstance);
    }

    bool Create() override {
        int w = kClientWidth + 4 * GetSystemMetrics(SM_CXFRAME);
        int h = kClientHeight + GetSystemMetrics(SM_CYCAPTION) + 4 * GetSystemMetrics(SM_CYFRAME);
        gWindow = CreateWindowExW(WS_EX_APPWINDOW, kName, kName, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, w, h, nullptr, nullptr, gInstance, nullptr);
        if (gWindow == nullptr) return false;
        if (gAccelerators == nullptr) {
            ACCEL table[2] = {{FVIRTKEY, VK_ESCAPE, kCommandClose},
                              {FVIRTKEY | FALT, VK_RETURN, kCommandToggle}};
            gAccelerators = CreateAcceleratorTableW(table, 2);
        }
        return true;
    }

    bool Exists() override { return gWindow != nullptr && IsWindow(gWindow); }

    void Show() override {
        if (gWindow == nullptr) return;
        ShowWindow(gWindow, gShowCommand);
        UpdateWindow(gWindow);
    }

    bool GetWindowRect(PlatRect* out) override {
        RECT r;
        if (gWindow == nullptr || !::GetWindowRect(gWindow, &r)) return false;
        *out = PlatRect{r.left, r.top, r.right, r.bottom};
        return true;
    }

    void GetClientSize(int32_t* w, int32_t* h) override {
        RECT r = {};
        if (gWindow != nullptr) GetClientRect(gWindow, &r);
        *w = r.right - r.left;
        *h = r.bottom - r.top;
    }

    void FrameMetrics(int32_t* cxFrame, int32_t* cyFrame, int32_t* cyCaption) override {
        *cxFrame = GetSystemMetrics(SM_CXFRAME);
        *cyFrame = GetSystemMetrics(SM_CYFRAME);
        *cyCaption = GetSystemMetrics(SM_CYCAPTION);
    }

    PlatPump PumpOne(PlatWindowEvents* events, int* exitCode) override {
        gEvents = events;
        MSG msg;
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) return PlatPump::NoMessage;
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            *exitCode = static_cast<int>(msg.wParam);
            return PlatPump::Quit;
        }
        if (got < 0) return PlatPump::Handled;
        // Alt and F10 would open the window menu; clicks have no meaning in the game.
        if (msg.message == WM_SYSKEYDOWN && (msg.wParam == VK_MENU || msg.wParam == VK_F10)) {
            return PlatPump::Handled;
        }
        if (msg.message == WM_LBUTTONDOWN) return PlatPump::Handled;
        if (gWindow == nullptr || gAccelerators == nullptr ||
            !TranslateAcceleratorW(gWindow, gAccelerators, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        return PlatPump::Handled;
    }

    void PostClose() override {
        if (gWindow != nullptr) PostMessageW(gWindow, WM_CLOSE, 0, 0);
    }

    void ShowCursor() override { ::ShowCursor(TRUE); }

    void Minimize() override {
        if (gWindow != nullptr) ShowWindow(gWindow, SW_MINIMIZE);
    }

    void Destroy() override {
        if (gWindow != nullptr) DestroyWindow(gWindow);
    }

    bool SavePlacement() override {
        gPlacement.length = sizeof gPlacement;
        return gWindow != nullptr && GetWindowPlacement(gWindow, &gPlacement);
    }

    bool PrimaryMonitorRect(PlatRect* out) override {
        HMONITOR monitor = MonitorFromWindow(gWindow, MONITOR_DEFAULTTOPRIMARY);
        MONITORINFO info = {};
        info.cbSize = sizeof info;
        if (monitor == nullptr || !GetMonitorInfoW(monitor, &info)) return false;
        const RECT& r = info.rcMonitor;
        *out = PlatRect{r.left, r.top, r.right, r.bottom};
        return true;
    }

    void SetBorderless(const PlatRect& m) override {
        if (gWindow == nullptr) return;
        SetWindowLongPtrW(gWindow, GWL_STYLE, WS_POPUP);
        SetWindowPos(gWindow, HWND_TOP, m.left, m.top, m.right - m.left, m.bottom - m.top,
                     SWP_NOZORDER | SWP_FRAMECHANGED | SWP_SHOWWINDOW);
    }

    void RestoreFramed() override {
        if (gWindow == nullptr) return;
        SetWindowLongPtrW(gWindow, GWL_STYLE, WS_OVERLAPPEDWINDOW);
        SetWindowPlacement(gWindow, &gPlacement);
        SetWindowPos(gWindow, nullptr, 0, 0, 0, 0,
                     SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED | SWP_SHOWWINDOW);
    }

    void ThreadProcessIds(uint32_t* thread, uint32_t* process) override {
        DWORD pid = 0;
        DWORD tid = gWindow != nullptr ? GetWindowThreadProcessId(gWindow, &pid) : 0;
        *thread = tid;
        *process = pid;
    }

    bool FindOtherInstanceWindow() override { return FindWindowW(kName, kName) != nullptr; }
};

Window gWindowService;

}  // namespace

PlatWindow* Win32Window(HINSTANCE instance, int showCommand) {
    gInstance = instance;
    gShowCommand = showCommand;
    return &gWindowService;
}

HWND Win32GameWindow() { return gWindow; }
HINSTANCE Win32Instance() { return gInstance; }
