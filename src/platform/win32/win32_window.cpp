// The game window of the Win32 backend: class "Kelvorine", the window procedure, the one-message
// pump with its accelerator table (Esc and Alt+Enter to their commands), and the full-screen
// toggle pieces (borderless popup over the primary monitor, framed placement restored on the way
// back).
#include "platform/win32/win32_platform.h"

namespace {

constexpr wchar_t kName[] = L"Kelvorine";
constexpr WORD kCommandClose = kWindowCommandClose;    // the accelerator table's word type
constexpr WORD kCommandToggle = kWindowCommandToggle;

// Everything the backend keeps about its window, in one object. The window procedure finds it
// through the window's user data, set from the creation parameter at WM_NCCREATE.
struct WindowState {
    HINSTANCE instance = nullptr;
    int showCommand = SW_SHOWNORMAL;
    HWND window = nullptr;
    HACCEL accelerators = nullptr;
    WINDOWPLACEMENT placement = {sizeof(WINDOWPLACEMENT)};  // the framed placement while full screen
    // The shell's handlers. Known from the first pump on; messages sent before that (creation and
    // showing) take the default handling, which leaves the window-active flag at its start value 1.
    PlatWindowEvents* events = nullptr;
};

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const CREATESTRUCTW* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    WindowState* state = reinterpret_cast<WindowState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (state == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    PlatWindowEvents* events = state->events;
    switch (message) {
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY:
            if (window == state->window) state->window = nullptr;
            break;
        case WM_ACTIVATE:
        case WM_ACTIVATEAPP:
            if (events != nullptr) events->OnActivate(wParam != 0);
            return 0;
        case WM_COMMAND:
            if (events != nullptr) events->OnCommand(LOWORD(wParam));
            return 0;
        case WM_CLOSE:
            if (events != nullptr) {
                events->OnClose();
            } else {
                ShowCursor(TRUE);
                ShowWindow(window, SW_MINIMIZE);
                DestroyWindow(window);
            }
            return 0;
        case WM_SIZING:
            if (events != nullptr) {
                RECT* r = reinterpret_cast<RECT*>(lParam);
                PlatRect rect{r->left, r->top, r->right, r->bottom};
                events->OnSizing(static_cast<int>(wParam), &rect);
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
        wc.hInstance = state_.instance;
        wc.hIcon = LoadIconW(state_.instance, MAKEINTRESOURCEW(107));  // no icon resource: the default icon
        wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        wc.lpszClassName = kName;
        return RegisterClassExW(&wc) != 0;
    }

    void UnregisterClass() override {
        if (state_.accelerators != nullptr) {
            DestroyAcceleratorTable(state_.accelerators);
            state_.accelerators = nullptr;
        }
        ::UnregisterClassW(kName, state_.instance);
    }

    bool Create() override {
        int w = kScreenWidth + 4 * GetSystemMetrics(SM_CXFRAME);
        int h = kScreenHeight + GetSystemMetrics(SM_CYCAPTION) + 4 * GetSystemMetrics(SM_CYFRAME);
        state_.window = CreateWindowExW(WS_EX_APPWINDOW, kName, kName, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, w, h, nullptr, nullptr, state_.instance, &state_);
        if (state_.window == nullptr) return false;
        if (state_.accelerators == nullptr) {
            ACCEL table[2] = {{FVIRTKEY, VK_ESCAPE, kCommandClose},
                              {FVIRTKEY | FALT, VK_RETURN, kCommandToggle}};
            state_.accelerators = CreateAcceleratorTableW(table, 2);
        }
        return true;
    }

    bool Exists() override { return state_.window != nullptr && IsWindow(state_.window); }

    void Show() override {
        if (state_.window == nullptr) return;
        ShowWindow(state_.window, state_.showCommand);
        UpdateWindow(state_.window);
    }

    bool GetWindowRect(PlatRect* out) override {
        RECT r;
        if (state_.window == nullptr || !::GetWindowRect(state_.window, &r)) return false;
        *out = PlatRect{r.left, r.top, r.right, r.bottom};
        return true;
    }

    void GetClientSize(int32_t* w, int32_t* h) override {
        RECT r = {};
        if (state_.window != nullptr) GetClientRect(state_.window, &r);
        *w = r.right - r.left;
        *h = r.bottom - r.top;
    }

    void FrameMetrics(int32_t* cxFrame, int32_t* cyFrame, int32_t* cyCaption) override {
        *cxFrame = GetSystemMetrics(SM_CXFRAME);
        *cyFrame = GetSystemMetrics(SM_CYFRAME);
        *cyCaption = GetSystemMetrics(SM_CYCAPTION);
    }

    // Everything queued is read in this turn: messages with no effect on the game (key presses
    // and releases that are no accelerator, characters, pointer moves, clicks) are passed over
    // at once, and the first other message is this turn's one message. A burst of keys then never
    // holds up the next Esc; the key levels come from the asynchronous key state, not from here.
    PlatPump PumpOne(PlatWindowEvents* events, int* exitCode) override {
        state_.events = events;
        MSG msg;
        for (;;) {
            if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return PlatPump::NoMessage;
            if (msg.message == WM_QUIT) {
                *exitCode = static_cast<int>(msg.wParam);
                return PlatPump::Quit;
            }
            if (PassOver(msg)) continue;
            if (state_.window == nullptr || state_.accelerators == nullptr ||
                !TranslateAcceleratorW(state_.window, state_.accelerators, &msg)) {
                if (IsPlainKey(msg.message)) continue;  // no accelerator: nothing to do
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            return PlatPump::Handled;
        }
    }

    // Alt and F10 would open the window menu; clicks and pointer moves have no meaning in the game.
    static bool PassOver(const MSG& msg) {
        if (msg.message == WM_SYSKEYDOWN && (msg.wParam == VK_MENU || msg.wParam == VK_F10)) return true;
        switch (msg.message) {
            case WM_KEYUP:
            case WM_CHAR:
            case WM_DEADCHAR:
            case WM_MOUSEMOVE:
            case WM_LBUTTONDOWN:
            case WM_LBUTTONUP:
            case WM_RBUTTONDOWN:
            case WM_RBUTTONUP:
            case WM_MBUTTONDOWN:
            case WM_MBUTTONUP:
            case WM_MOUSEWHEEL:
                return true;
            default:
                return false;
        }
    }

    // A key press the window procedure ignores (it answers WM_KEYDOWN with nothing).
    static bool IsPlainKey(UINT message) { return message == WM_KEYDOWN; }

    void PostClose() override {
        if (state_.window != nullptr) PostMessageW(state_.window, WM_CLOSE, 0, 0);
    }

    void ShowCursor() override { ::ShowCursor(TRUE); }

    void Minimize() override {
        if (state_.window != nullptr) ShowWindow(state_.window, SW_MINIMIZE);
    }

    void Destroy() override {
        if (state_.window != nullptr) DestroyWindow(state_.window);
    }

    bool SavePlacement() override {
        state_.placement.length = sizeof state_.placement;
        return state_.window != nullptr && GetWindowPlacement(state_.window, &state_.placement);
    }

    bool PrimaryMonitorRect(PlatRect* out) override {
        HMONITOR monitor = MonitorFromWindow(state_.window, MONITOR_DEFAULTTOPRIMARY);
        MONITORINFO info = {};
        info.cbSize = sizeof info;
        if (monitor == nullptr || !GetMonitorInfoW(monitor, &info)) return false;
        const RECT& r = info.rcMonitor;
        *out = PlatRect{r.left, r.top, r.right, r.bottom};
        return true;
    }

    void SetBorderless(const PlatRect& m) override {
        if (state_.window == nullptr) return;
        SetWindowLongPtrW(state_.window, GWL_STYLE, WS_POPUP);
        SetWindowPos(state_.window, HWND_TOP, m.left, m.top, m.right - m.left, m.bottom - m.top,
                     SWP_NOZORDER | SWP_FRAMECHANGED | SWP_SHOWWINDOW);
    }

    void RestoreFramed() override {
        if (state_.window == nullptr) return;
        SetWindowLongPtrW(state_.window, GWL_STYLE, WS_OVERLAPPEDWINDOW);
        SetWindowPlacement(state_.window, &state_.placement);
        SetWindowPos(state_.window, nullptr, 0, 0, 0, 0,
                     SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED | SWP_SHOWWINDOW);
    }

    void ThreadProcessIds(uint32_t* thread, uint32_t* process) override {
        DWORD pid = 0;
        DWORD tid = state_.window != nullptr ? GetWindowThreadProcessId(state_.window, &pid) : 0;
        *thread = tid;
        *process = pid;
    }

    bool FindOtherInstanceWindow() override { return FindWindowW(kName, kName) != nullptr; }

    WindowState state_;
};

Window gWindowService;

}  // namespace

PlatWindow* Win32Window(HINSTANCE instance, int showCommand) {
    gWindowService.state_.instance = instance;
    gWindowService.state_.showCommand = showCommand;
    return &gWindowService;
}

HWND Win32GameWindow() { return gWindowService.state_.window; }
HINSTANCE Win32Instance() { return gWindowService.state_.instance; }
