// The X11 window backend: a child window of the host's window on a connection of its own. The
// host runs its own event loop and never sees our connection, so the window reads its events
// when the frame idles (the host's effEditIdle) and never waits for one; it shows the frame's
// buffer with XPutImage.
#include "toolkit/CFrame.h"
#include "toolkit/CPlatformWindow.h"
#include "toolkit/X11Support.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace treskpro::toolkit {

namespace {

// Two presses of one button closer than this in time and place make a double click.
constexpr Time doubleClickMilliseconds = 400;
constexpr int doubleClickDistance = 4;

int modifierButtons(unsigned state) {
    int flags = 0;
    if (state & ShiftMask)
        flags |= CButtonState::kShift;
    if (state & ControlMask)
        flags |= CButtonState::kControl;
    if (state & Mod1Mask)
        flags |= CButtonState::kAlt;
    return flags;
}

CButtonState buttonsOf(unsigned state) {
    int flags = modifierButtons(state);
    if (state & Button1Mask)
        flags |= CButtonState::kLButton;
    if (state & Button2Mask)
        flags |= CButtonState::kMButton;
    if (state & Button3Mask)
        flags |= CButtonState::kRButton;
    return {flags};
}

int buttonFlag(unsigned button) {
    switch (button) {
    case Button1:
        return CButtonState::kLButton;
    case Button2:
        return CButtonState::kMButton;
    case Button3:
        return CButtonState::kRButton;
    default:
        return 0;
    }
}

int keyModifiers(unsigned state) {
    int modifiers = 0;
    if (state & ShiftMask)
        modifiers |= CKeyCode::kShiftModifier;
    if (state & ControlMask)
        modifiers |= CKeyCode::kControlModifier;
    if (state & Mod1Mask)
        modifiers |= CKeyCode::kAlternate;
    return modifiers;
}

// Keys that carry no character of their own, in the VST virtual-key set, as the Win32 window
// reports them (the keypad's Enter is Return there too).
int virtualKeyOf(KeySym symbol) {
    switch (symbol) {
    case XK_BackSpace:
        return CKeyCode::kBack;
    case XK_Tab:
    case XK_ISO_Left_Tab:
        return CKeyCode::kTab;
    case XK_Return:
    case XK_KP_Enter:
        return CKeyCode::kReturn;
    case XK_Escape:
        return CKeyCode::kEscape;
    case XK_space:
        return CKeyCode::kSpace;
    case XK_End:
    case XK_KP_End:
        return CKeyCode::kEnd;
    case XK_Home:
    case XK_KP_Home:
        return CKeyCode::kHome;
    case XK_Left:
    case XK_KP_Left:
        return CKeyCode::kLeft;
    case XK_Up:
    case XK_KP_Up:
        return CKeyCode::kUp;
    case XK_Right:
    case XK_KP_Right:
        return CKeyCode::kRight;
    case XK_Down:
    case XK_KP_Down:
        return CKeyCode::kDown;
    case XK_Delete:
    case XK_KP_Delete:
        return CKeyCode::kDelete;
    default:
        return CKeyCode::kNone;
    }
}

class CX11Window : public CPlatformWindow, public x11::PointerHolder {
public:
    CX11Window(CFrame& owner, Window parent) : frame(owner) {
        display = XOpenDisplay(nullptr);
        if (display == nullptr || parent == 0)
            return;
        x11::ErrorTrap trap(display);
        XWindowAttributes parentAttributes{};
        if (!XGetWindowAttributes(display, parent, &parentAttributes) || trap.failed())
            return;
        const CRect size = frame.getViewSize();
        XSetWindowAttributes attributes{};
        attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask |
                                PointerMotionMask | KeyPressMask | StructureNotifyMask;
        attributes.background_pixel = BlackPixel(display, DefaultScreen(display));
        attributes.border_pixel = 0;
        // The parent's visual and depth, so the window needs no colormap of its own.
        window =
            XCreateWindow(display, parent, 0, 0, unsigned(size.width()), unsigned(size.height()), 0,
                          CopyFromParent, InputOutput, CopyFromParent,
                          CWEventMask | CWBackPixel | CWBorderPixel, &attributes);
        if (trap.failed()) {
            window = 0;
            return;
        }
        gc = XCreateGC(display, window, 0, nullptr);
        writer = std::make_unique<x11::ImageWriter>(display, parentAttributes.visual,
                                                    parentAttributes.depth);
        XMapWindow(display, window);
        if (trap.failed()) {
            XDestroyWindow(display, window);
            window = 0;
        }
    }

    ~CX11Window() override {
        if (display == nullptr)
            return;
        {
            // The host may have destroyed its window, and ours with it, already.
            x11::ErrorTrap trap(display);
            if (gc != nullptr)
                XFreeGC(display, gc);
            if (window != 0 && !destroyed)
                XDestroyWindow(display, window);
        }
        XCloseDisplay(display);
    }

    bool isOpen() const { return window != 0; }

    void present(const CRect& area) override {
        if (!usable())
            return;
        x11::ErrorTrap trap(display);
        writer->put(window, gc, frame.backBuffer(), area);
    }

    void resize(int width, int height) override {
        if (!usable() || width <= 0 || height <= 0)
            return;
        x11::ErrorTrap trap(display);
        XResizeWindow(display, window, unsigned(width), unsigned(height));
    }

    CPoint mousePosition() const override {
        Pointer pointer = queryPointer();
        return {pointer.x, pointer.y};
    }

    CButtonState currentButtons() const override { return buttonsOf(queryPointer().mask); }

    CPoint frameToScreen(CPoint where) const override {
        if (!usable())
            return where;
        x11::ErrorTrap trap(display);
        int x = where.x;
        int y = where.y;
        Window child = 0;
        XTranslateCoordinates(display, window, DefaultRootWindow(display), where.x, where.y, &x, &y,
                              &child);
        return {x, y};
    }

    void* nativeHandle() const override {
        return reinterpret_cast<void*>(static_cast<std::uintptr_t>(window));
    }

    // Everything the server has for us, without waiting: a host that idles rarely only delays
    // the answers. An event handler may open a dialog with an event loop of its own, which idles
    // nothing, but a frame idled from a handler must not read events again in the middle.
    void handleEvents() override {
        if (!usable() || reading)
            return;
        reading = true;
        x11::ErrorTrap trap(display);
        while (!destroyed && XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            handle(event);
        }
        reading = false;
    }

    void releasePointer() override {
        if (!usable())
            return;
        XUngrabPointer(display, CurrentTime);
        XFlush(display);
    }

private:
    struct Pointer {
        int x = 0;
        int y = 0;
        unsigned mask = 0;
    };

    bool usable() const { return display != nullptr && window != 0 && !destroyed; }

    Pointer queryPointer() const {
        Pointer pointer;
        if (!usable())
            return pointer;
        x11::ErrorTrap trap(display);
        Window root = 0;
        Window child = 0;
        int rootX = 0;
        int rootY = 0;
        XQueryPointer(display, window, &root, &child, &rootX, &rootY, &pointer.x, &pointer.y,
                      &pointer.mask);
        return pointer;
    }

    void handle(XEvent& event) {
        switch (event.type) {
        case Expose: {
            const XExposeEvent& expose = event.xexpose;
            writer->put(window, gc, frame.backBuffer(),
                        CRect::fromSize(expose.x, expose.y, expose.width, expose.height));
            break;
        }
        case ButtonPress: {
            const XButtonEvent& press = event.xbutton;
            const CPoint where{press.x, press.y};
            if (press.button == Button4 || press.button == Button5) {
                frame.onWheel(where, press.button == Button4 ? 1.0f : -1.0f,
                              buttonsOf(press.state));
                break;
            }
            const int flag = buttonFlag(press.button);
            if (flag == 0)
                break;
            // Keys go to the panel once it was clicked, as with a Windows child window.
            XSetInputFocus(display, window, RevertToParent, CurrentTime);
            CButtonState buttons = buttonsOf(press.state);
            buttons.flags |= flag;
            if (press.button == lastPress.button &&
                press.time - lastPress.time <= doubleClickMilliseconds &&
                std::abs(press.x - lastPress.x) <= doubleClickDistance &&
                std::abs(press.y - lastPress.y) <= doubleClickDistance) {
                buttons.flags |= CButtonState::kDoubleClick;
                lastPress = {};
            } else {
                lastPress = {press.button, press.time, press.x, press.y};
            }
            frame.onMouseDown(where, buttons);
            break;
        }
        case ButtonRelease: {
            const XButtonEvent& release = event.xbutton;
            if (buttonFlag(release.button) == 0)
                break;
            // The state still holds the button that went up, as the frame expects it.
            CButtonState buttons = buttonsOf(release.state);
            buttons.flags |= buttonFlag(release.button);
            frame.onMouseUp({release.x, release.y}, buttons);
            break;
        }
        case MotionNotify: {
            // Only the latest of several queued moves matters.
            XEvent next;
            while (XCheckTypedWindowEvent(display, window, MotionNotify, &next))
                event = next;
            frame.onMouseMoved({event.xmotion.x, event.xmotion.y}, buttonsOf(event.xmotion.state));
            break;
        }
        case KeyPress:
            handleKey(event.xkey);
            break;
        case DestroyNotify:
            if (event.xdestroywindow.window == window)
                destroyed = true;
            break;
        default:
            break;
        }
    }

    void handleKey(XKeyEvent& key) {
        char text[8] = {};
        KeySym symbol = NoSymbol;
        const int length = XLookupString(&key, text, int(sizeof text), &symbol, nullptr);
        const int modifiers = keyModifiers(key.state);
        const int virtualKey = virtualKeyOf(symbol);
        if (virtualKey != CKeyCode::kNone) {
            const int character = virtualKey == CKeyCode::kSpace ? ' ' : 0;
            frame.onKeyDown({character, virtualKey, modifiers});
            return;
        }
        // Latin-1 characters, as the Windows window takes them; control characters were keys.
        const int character = length == 1 ? int(static_cast<unsigned char>(text[0])) : 0;
        if (character <= 32 || character == 127)
            return;
        frame.onKeyDown({character, CKeyCode::kNone, modifiers});
    }

    struct Press {
        unsigned button = 0;
        Time time = 0;
        int x = 0;
        int y = 0;
    };

    CFrame& frame;
    Display* display = nullptr;
    Window window = 0;
    GC gc = nullptr;
    std::unique_ptr<x11::ImageWriter> writer;
    bool destroyed = false;
    bool reading = false;
    Press lastPress;
};

} // namespace

std::unique_ptr<CPlatformWindow> createPlatformWindow(CFrame& frame, void* parent) {
    if (!platformHasWindows())
        return nullptr;
    auto window = std::make_unique<CX11Window>(
        frame, static_cast<Window>(reinterpret_cast<std::uintptr_t>(parent)));
    if (!window->isOpen())
        return nullptr;
    return window;
}

bool platformHasWindows() {
    return x11::displayAvailable();
}

} // namespace treskpro::toolkit
