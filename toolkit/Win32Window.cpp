// The Win32 window backend: a child window of the host's window that shows the frame's buffer
// with GDI and delivers mouse and key messages to the frame.
#include "toolkit/CFrame.h"
#include "toolkit/CPlatformWindow.h"

#include <windows.h>
#include <windowsx.h>

namespace treskpro::toolkit {

namespace {

constexpr const char* windowClassName = "TreskproToolkitFrame";
int registeredWindows = 0;

HINSTANCE thisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&thisModule), &module);
    return module;
}

int modifierButtons() {
    int flags = 0;
    if (GetKeyState(VK_SHIFT) < 0)
        flags |= CButtonState::kShift;
    if (GetKeyState(VK_CONTROL) < 0)
        flags |= CButtonState::kControl;
    if (GetKeyState(VK_MENU) < 0)
        flags |= CButtonState::kAlt;
    return flags;
}

CButtonState buttonsOf(WPARAM wParam) {
    int flags = modifierButtons();
    if (wParam & MK_LBUTTON)
        flags |= CButtonState::kLButton;
    if (wParam & MK_RBUTTON)
        flags |= CButtonState::kRButton;
    if (wParam & MK_MBUTTON)
        flags |= CButtonState::kMButton;
    return {flags};
}

int keyModifiers() {
    int modifiers = 0;
    if (GetKeyState(VK_SHIFT) < 0)
        modifiers |= CKeyCode::kShiftModifier;
    if (GetKeyState(VK_CONTROL) < 0)
        modifiers |= CKeyCode::kControlModifier;
    if (GetKeyState(VK_MENU) < 0)
        modifiers |= CKeyCode::kAlternate;
    return modifiers;
}

// Keys that carry no character of their own, in the VST virtual-key set.
int virtualKeyOf(WPARAM key) {
    switch (key) {
    case VK_BACK:
        return CKeyCode::kBack;
    case VK_TAB:
        return CKeyCode::kTab;
    case VK_RETURN:
        return CKeyCode::kReturn;
    case VK_ESCAPE:
        return CKeyCode::kEscape;
    case VK_SPACE:
        return CKeyCode::kSpace;
    case VK_END:
        return CKeyCode::kEnd;
    case VK_HOME:
        return CKeyCode::kHome;
    case VK_LEFT:
        return CKeyCode::kLeft;
    case VK_UP:
        return CKeyCode::kUp;
    case VK_RIGHT:
        return CKeyCode::kRight;
    case VK_DOWN:
        return CKeyCode::kDown;
    case VK_DELETE:
        return CKeyCode::kDelete;
    default:
        return CKeyCode::kNone;
    }
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

bool registerWindowClass() {
    if (registeredWindows++ > 0)
        return true;
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = thisModule();
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.lpszClassName = windowClassName;
    if (RegisterClassExA(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        --registeredWindows;
        return false;
    }
    return true;
}

// The class goes with the last window, so a host can unload the plug-in cleanly.
void unregisterWindowClass() {
    if (registeredWindows > 0 && --registeredWindows == 0)
        UnregisterClassA(windowClassName, thisModule());
}

class CWin32Window : public CPlatformWindow {
public:
    CWin32Window(CFrame& owner, HWND parent) : frame(owner) {
        const CRect size = frame.getViewSize();
        handle =
            CreateWindowExA(0, windowClassName, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0,
                            size.width(), size.height(), parent, nullptr, thisModule(), this);
    }

    ~CWin32Window() override {
        if (handle != nullptr) {
            SetWindowLongPtrA(handle, GWLP_USERDATA, 0);
            DestroyWindow(handle);
        }
        unregisterWindowClass();
    }

    bool isOpen() const { return handle != nullptr; }

    void present(const CRect& area) override {
        if (handle == nullptr)
            return;
        HDC context = GetDC(handle);
        copyToScreen(context, area);
        ReleaseDC(handle, context);
    }

    void resize(int width, int height) override {
        SetWindowPos(handle, nullptr, 0, 0, width, height,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    CPoint mousePosition() const override {
        POINT point{};
        GetCursorPos(&point);
        ScreenToClient(handle, &point);
        return {int(point.x), int(point.y)};
    }

    CButtonState currentButtons() const override {
        int flags = modifierButtons();
        if (GetAsyncKeyState(VK_LBUTTON) < 0)
            flags |= CButtonState::kLButton;
        if (GetAsyncKeyState(VK_RBUTTON) < 0)
            flags |= CButtonState::kRButton;
        if (GetAsyncKeyState(VK_MBUTTON) < 0)
            flags |= CButtonState::kMButton;
        return {flags};
    }

    CPoint frameToScreen(CPoint where) const override {
        POINT point{where.x, where.y};
        ClientToScreen(handle, &point);
        return {int(point.x), int(point.y)};
    }

    void* nativeHandle() const override { return handle; }

    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
            SetWindowLongPtrA(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<CWin32Window*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self == nullptr)
            return DefWindowProcA(window, message, wParam, lParam);
        return self->handleMessage(window, message, wParam, lParam);
    }

private:
    // The buffer is one top-down 32-bit DIB whose bytes are already B, G, R, A.
    void copyToScreen(HDC context, const CRect& requested) {
        const CBitmap& buffer = frame.backBuffer();
        const CRect area = requested.intersection(buffer.bounds());
        if (area.isEmpty())
            return;
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = buffer.width();
        info.bmiHeader.biHeight = -area.height(); // only the rows of the area, top down
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        SetDIBitsToDevice(context, area.left, area.top, DWORD(area.width()), DWORD(area.height()),
                          area.left, 0, 0, UINT(area.height()), buffer.row(area.top), &info,
                          DIB_RGB_COLORS);
    }

    CPoint pointOf(LPARAM lParam) const { return {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}; }

    LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
        case WM_NCDESTROY:
            // The host destroyed its window, and ours with it, while the frame still lives (a
            // close that waits for an open dialog): the handle is not ours to use any more.
            SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            handle = nullptr;
            return DefWindowProcA(window, message, wParam, lParam);
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC context = BeginPaint(window, &paint);
            copyToScreen(context, {int(paint.rcPaint.left), int(paint.rcPaint.top),
                                   int(paint.rcPaint.right), int(paint.rcPaint.bottom)});
            EndPaint(window, &paint);
            return 0;
        }
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDBLCLK: {
            SetFocus(window);
            SetCapture(window);
            CButtonState buttons = buttonsOf(wParam);
            if (message == WM_LBUTTONDBLCLK || message == WM_RBUTTONDBLCLK)
                buttons.flags |= CButtonState::kDoubleClick;
            frame.onMouseDown(pointOf(lParam), buttons);
            frame.idle();
            return 0;
        }
        case WM_MOUSEMOVE:
            frame.onMouseMoved(pointOf(lParam), buttonsOf(wParam));
            frame.idle();
            return 0;
        case WM_LBUTTONUP:
        case WM_RBUTTONUP:
        case WM_MBUTTONUP: {
            // The release reports the button that went up.
            CButtonState buttons = buttonsOf(wParam);
            buttons.flags |= message == WM_LBUTTONUP   ? CButtonState::kLButton
                             : message == WM_RBUTTONUP ? CButtonState::kRButton
                                                       : CButtonState::kMButton;
            if ((wParam & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) == 0)
                ReleaseCapture();
            frame.onMouseUp(pointOf(lParam), buttons);
            frame.idle();
            return 0;
        }
        case WM_MOUSEWHEEL: {
            POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            ScreenToClient(window, &point);
            const float distance = float(GET_WHEEL_DELTA_WPARAM(wParam)) / float(WHEEL_DELTA);
            frame.onWheel({int(point.x), int(point.y)}, distance,
                          buttonsOf(GET_KEYSTATE_WPARAM(wParam)));
            frame.idle();
            return 0;
        }
        case WM_GETDLGCODE:
            return DLGC_WANTALLKEYS;
        case WM_KEYDOWN: {
            const int virtualKey = virtualKeyOf(wParam);
            if (virtualKey == CKeyCode::kNone)
                break; // characters arrive with WM_CHAR
            const int character = virtualKey == CKeyCode::kSpace ? ' ' : 0;
            frame.onKeyDown({character, virtualKey, keyModifiers()});
            frame.idle();
            return 0;
        }
        case WM_CHAR: {
            const int character = int(wParam & 0xff);
            // Space and control characters came as virtual keys already.
            if (character <= 32 || character == 127)
                return 0;
            frame.onKeyDown({character, CKeyCode::kNone, keyModifiers()});
            frame.idle();
            return 0;
        }
        default:
            break;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }

    CFrame& frame;
    HWND handle = nullptr;
};

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return CWin32Window::procedure(window, message, wParam, lParam);
}

} // namespace

std::unique_ptr<CPlatformWindow> createPlatformWindow(CFrame& frame, void* parent) {
    if (!registerWindowClass())
        return nullptr;
    auto window = std::make_unique<CWin32Window>(frame, static_cast<HWND>(parent));
    if (!window->isOpen())
        return nullptr;
    return window;
}

bool platformHasWindows() {
    return true;
}

} // namespace treskpro::toolkit
