// The X11 dialogs made from templates: X11 has no dialog boxes of its own, so the toolkit draws
// the controls of a dialog template itself, in a top-level window that the window manager (if
// one runs) decorates with the title and keeps above its owner. The loop is modal like the
// Windows one: it returns only when the handler ended the dialog, and while it runs an input-only
// window over the owner swallows clicks on the editor, which would otherwise wait in the
// editor's queue and act after the dialog closed.
#include "toolkit/CDrawContext.h"
#include "toolkit/X11Support.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <poll.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace treskpro::toolkit::x11 {

namespace {

constexpr CColor faceColor{240, 240, 240, 255};
constexpr CColor textColor{0, 0, 0, 255};
constexpr CColor frameColor{122, 122, 122, 255};
constexpr CColor groupColor{200, 200, 200, 255};
constexpr CColor buttonColor{225, 225, 225, 255};
constexpr CColor buttonFrame{173, 173, 173, 255};
constexpr CColor pressedColor{204, 228, 247, 255};
constexpr CColor accentColor{0, 120, 215, 255};
constexpr CColor channelColor{231, 234, 234, 255};
constexpr CColor channelFrame{214, 214, 214, 255};
constexpr CColor scrollColor{232, 232, 232, 255};
constexpr CColor arrowColor{96, 96, 96, 255};

constexpr int boxSize = 13;     // check box and radio button marks
constexpr int markGap = 4;      // between the mark and its text
constexpr int thumbLength = 11; // slider thumb along the slider
constexpr int scrollWidth = 17; // the multi-line field's scroll bar
constexpr int textInset = 3;    // text inside edit fields
constexpr int maximumText = 30000;
constexpr int firstRepeat = 400; // spin buttons held down: delay, then interval (ms)
constexpr int nextRepeat = 80;

long long now() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// "&Go" shows "Go" with the G underlined; "&&" is one ampersand.
std::string withoutMnemonic(const std::string& text, int& underlined) {
    std::string shown;
    underlined = -1;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) {
            ++i;
            if (text[i] != '&' && underlined < 0)
                underlined = int(shown.size());
        }
        shown += text[i];
    }
    return shown;
}

// Latin-1 (the toolkit's text) as UTF-8, for the window manager's title.
std::string utf8Of(const std::string& text) {
    std::string result;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            result += c;
        } else {
            result += char(0xc0 | (byte >> 6));
            result += char(0x80 | (byte & 0x3f));
        }
    }
    return result;
}

// UTF-8 (what other programs' clipboards give) as Latin-1; what Latin-1 lacks becomes "?".
std::string latin1Of(const std::string& text) {
    std::string result;
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const int length = byte < 0x80         ? 1
                           : (byte >> 5) == 6  ? 2
                           : (byte >> 4) == 14 ? 3
                           : (byte >> 3) == 30 ? 4
                                               : 1;
        unsigned code = length == 1 ? byte : byte & (0x7fu >> length);
        bool valid = byte < 0x80 || length > 1;
        for (int k = 1; k < length; ++k) {
            const auto next = i + std::size_t(k) < text.size()
                                  ? static_cast<unsigned char>(text[i + std::size_t(k)])
                                  : 0;
            valid = valid && (next & 0xc0) == 0x80;
            code = code << 6 | (next & 0x3f);
        }
        result += valid && code < 0x100 ? char(code) : '?';
        i += valid ? std::size_t(length) : 1;
    }
    return result;
}

void dottedRect(CDrawContext& context, const CRect& area, CColor color) {
    context.setFillColor(color);
    for (int x = area.left; x < area.right; x += 2) {
        context.fillRect(CRect::fromSize(x, area.top, 1, 1));
        context.fillRect(CRect::fromSize(x, area.bottom - 1, 1, 1));
    }
    for (int y = area.top; y < area.bottom; y += 2) {
        context.fillRect(CRect::fromSize(area.left, y, 1, 1));
        context.fillRect(CRect::fromSize(area.right - 1, y, 1, 1));
    }
}

// A disc of `radius` around a point between pixels, its edge blended by coverage (4 x 4 samples).
void fillDisc(CDrawContext& context, double centreX, double centreY, double radius, CColor color) {
    const int left = int(std::floor(centreX - radius));
    const int top = int(std::floor(centreY - radius));
    const int right = int(std::ceil(centreX + radius));
    const int bottom = int(std::ceil(centreY + radius));
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            int inside = 0;
            for (int sy = 0; sy < 4; ++sy) {
                for (int sx = 0; sx < 4; ++sx) {
                    const double dx = x + (sx + 0.5) / 4.0 - centreX;
                    const double dy = y + (sy + 0.5) / 4.0 - centreY;
                    if (dx * dx + dy * dy <= radius * radius)
                        ++inside;
                }
            }
            if (inside == 0)
                continue;
            CColor shade = color;
            shade.alpha = std::uint8_t(color.alpha * inside / 16);
            context.setFillColor(shade);
            context.fillRect(CRect::fromSize(x, y, 1, 1));
        }
    }
}

// A small filled triangle pointing up or down, centred in `area`.
void drawArrow(CDrawContext& context, const CRect& area, bool up, CColor color) {
    context.setFillColor(color);
    const CPoint centre = area.center();
    for (int row = 0; row < 4; ++row) {
        const int half = up ? row : 3 - row;
        context.fillRect(CRect::fromSize(centre.x - half, centre.y - 2 + row, 2 * half + 1, 1));
    }
}

class DialogWindow : public CDialog {
public:
    DialogWindow(Display* connection, Window ownerWindow, const CDialogTemplate& shown,
                 CDialogHandler& behaviour)
        : display(connection), owner(ownerWindow), dialog(shown), handler(behaviour),
          writer(display, DefaultVisual(display, DefaultScreen(display)),
                 DefaultDepth(display, DefaultScreen(display))) {
        for (const CDialogControl& control : dialog.controls) {
            State state;
            state.area = dialogPixels(dialog, control.area);
            if (control.kind == CDialogControlKind::edit)
                state.text = storedText(control.text);
            else
                state.text = control.text;
            states.push_back(std::move(state));
        }
        windowWidth = std::max(1, dialogPixels(dialog, {0, 0, dialog.width, 0}).right);
        windowHeight = std::max(1, dialogPixels(dialog, {0, 0, 0, dialog.height}).bottom);
        picture = CBitmap(windowWidth, windowHeight);
    }

    ~DialogWindow() override {
        if (gc != nullptr)
            XFreeGC(display, gc);
        if (blocker != 0)
            XDestroyWindow(display, blocker);
        if (window != 0) {
            // The keyboard goes back to where it was (the editor), if that window is still
            // there; X would give it to the root window.
            Window focusNow = 0;
            int revert = 0;
            XGetInputFocus(display, &focusNow, &revert);
            XDestroyWindow(display, window);
            if (focusNow == window && previousFocus != None && previousFocus != PointerRoot) {
                ErrorTrap trap(display);
                XSetInputFocus(display, previousFocus, RevertToParent, CurrentTime);
            }
        }
        XSync(display, False);
    }

    DialogWindow(const DialogWindow&) = delete;
    DialogWindow& operator=(const DialogWindow&) = delete;

    int run(const std::atomic<bool>& cancelled) {
        handler.initDialog(*this);
        if (result)
            return *result;
        focusFirst();
        create();
        while (!result) {
            if (cancelled.load() || ownerGone) {
                // The owner is going away: the handler hears Escape, as if the user cancelled,
                // and the dialog closes whatever it answers.
                report(kDialogCancel);
                return kDialogCancel;
            }
            bool handled = false;
            while (!result && XPending(display) > 0) {
                XEvent event;
                XNextEvent(display, &event);
                handle(event);
                handled = true;
            }
            if (result)
                break;
            repeatSpin();
            if (dirty && mapped)
                paint();
            if (!handled) {
                pollfd waiting{ConnectionNumber(display), POLLIN, 0};
                poll(&waiting, 1, 10);
            }
        }
        return *result;
    }

    // ---- CDialog: the handler's own changes, never reported back to it

    void setChecked(int id, bool checked) override {
        if (State* state = find(id)) {
            state->checked = checked;
            dirty = true;
        }
    }
    bool isChecked(int id) const override {
        const State* state = find(id);
        return state != nullptr && state->checked;
    }
    void setRange(int id, int minimum, int maximum) override {
        if (State* state = find(id)) {
            state->minimum = minimum;
            state->maximum = std::max(minimum, maximum);
            state->position = std::clamp(state->position, state->minimum, state->maximum);
            dirty = true;
        }
    }
    void setPosition(int id, int position) override {
        if (State* state = find(id)) {
            state->position = std::clamp(position, state->minimum, state->maximum);
            dirty = true;
        }
    }
    int position(int id) const override {
        const State* state = find(id);
        return state != nullptr ? state->position : 0;
    }
    void setText(int id, const std::string& text) override {
        const int index = indexOf(id);
        if (index < 0)
            return;
        State& state = states[std::size_t(index)];
        const std::string stored =
            kindOf(index) == CDialogControlKind::edit ? storedText(text) : text;
        if (stored != state.text) {
            // New text shows from its start, as on Windows; a handler that writes back what the
            // field holds leaves the caret where it was.
            state.text = stored;
            state.caret = 0;
            state.anchor = 0;
            state.scrollX = 0;
            state.firstLine = 0;
        }
        dirty = true;
    }
    std::string text(int id) const override {
        const int index = indexOf(id);
        if (index < 0)
            return {};
        const std::string& stored = states[std::size_t(index)].text;
        if (kindOf(index) != CDialogControlKind::edit)
            return stored;
        std::string text;
        for (const char c : stored) {
            if (c == '\n')
                text += '\r';
            text += c;
        }
        return text;
    }
    void end(int code) override {
        if (!result)
            result = code;
    }

private:
    struct State {
        bool checked = false;
        int minimum = 0;
        int maximum = 100;
        int position = 0;
        std::string text; // edit fields keep '\n' line ends
        CRect area;       // pixels in the window
        std::size_t caret = 0;
        std::size_t anchor = 0; // the selection runs from here to the caret
        int scrollX = 0;        // single-line fields: pixels scrolled off to the left
        int firstLine = 0;      // multi-line fields: the top line shown
    };
    struct Line {
        std::size_t start;
        std::size_t end; // the line break or wrap point, not included
    };
    enum class Grip { none, press, slider, spinUp, spinDown, scrollThumb };

    static std::string storedText(const std::string& text) {
        std::string stored;
        for (const char c : text) {
            if (c != '\r')
                stored += c;
        }
        return stored;
    }

    const CDialogControl& control(int index) const { return dialog.controls[std::size_t(index)]; }
    CDialogControlKind kindOf(int index) const { return control(index).kind; }
    bool multiLine(int index) const {
        return kindOf(index) == CDialogControlKind::edit && control(index).multiLine;
    }

    int indexOf(int id) const {
        if (id < 0)
            return -1; // IDC_STATIC names many controls, none of which can be addressed
        for (std::size_t k = 0; k < dialog.controls.size(); ++k) {
            if (dialog.controls[k].id == id)
                return int(k);
        }
        return -1;
    }
    State* find(int id) {
        const int index = indexOf(id);
        return index < 0 ? nullptr : &states[std::size_t(index)];
    }
    const State* find(int id) const {
        const int index = indexOf(id);
        return index < 0 ? nullptr : &states[std::size_t(index)];
    }

    void report(int id) {
        if (!result)
            handler.controlChanged(*this, id);
        dirty = true;
    }

    // ---- the window

    void create() {
        const CRect place = placeOverOwner();
        XSetWindowAttributes attributes{};
        attributes.background_pixmap = None; // the picture covers it all, without a flash
        attributes.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask |
                                PointerMotionMask | KeyPressMask | StructureNotifyMask |
                                FocusChangeMask;
        window =
            XCreateWindow(display, DefaultRootWindow(display), place.left, place.top,
                          unsigned(windowWidth), unsigned(windowHeight), 0, CopyFromParent,
                          InputOutput, CopyFromParent, CWBackPixmap | CWEventMask, &attributes);
        gc = XCreateGC(display, window, 0, nullptr);

        XStoreName(display, window, dialog.title.c_str());
        const std::string title = utf8Of(dialog.title);
        const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
        XChangeProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False), utf8, 8,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(title.data()),
                        int(title.size()));
        XClassHint classHint{const_cast<char*>("treskpro"), const_cast<char*>("Treskpro")};
        XSetClassHint(display, window, &classHint);
        XWMHints wmHints{};
        wmHints.flags = InputHint | StateHint;
        wmHints.input = True;
        wmHints.initial_state = NormalState;
        XSetWMHints(display, window, &wmHints);
        // A dialog has its template's size; it is placed over its owner.
        XSizeHints sizeHints{};
        sizeHints.flags = PPosition | USPosition | PMinSize | PMaxSize;
        sizeHints.x = place.left;
        sizeHints.y = place.top;
        sizeHints.min_width = sizeHints.max_width = windowWidth;
        sizeHints.min_height = sizeHints.max_height = windowHeight;
        XSetWMNormalHints(display, window, &sizeHints);
        deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
        protocols = XInternAtom(display, "WM_PROTOCOLS", False);
        clipboardAtom = XInternAtom(display, "CLIPBOARD", False);
        utf8Atom = XInternAtom(display, "UTF8_STRING", False);
        targetsAtom = XInternAtom(display, "TARGETS", False);
        pasteAtom = XInternAtom(display, "TRESKPRO_PASTE", False);
        XSetWMProtocols(display, window, &deleteWindow, 1);
        const Atom type = XInternAtom(display, "_NET_WM_WINDOW_TYPE_DIALOG", False);
        XChangeProperty(display, window, XInternAtom(display, "_NET_WM_WINDOW_TYPE", False),
                        XA_ATOM, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(&type),
                        1);
        const Atom modal = XInternAtom(display, "_NET_WM_STATE_MODAL", False);
        XChangeProperty(display, window, XInternAtom(display, "_NET_WM_STATE", False), XA_ATOM, 32,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(&modal), 1);
        if (const Window topLevel = ownerTopLevel())
            XSetTransientForHint(display, window, topLevel);

        if (owner != 0) {
            // Whether the owner goes away (the host closed its window), and a cover that takes
            // the clicks meant for the editor while the dialog is open.
            XWindowAttributes ownerAttributes{};
            ErrorTrap trap(display);
            XSelectInput(display, owner, StructureNotifyMask);
            if (XGetWindowAttributes(display, owner, &ownerAttributes) && !trap.failed()) {
                XSetWindowAttributes cover{};
                cover.event_mask = ButtonPressMask | ButtonReleaseMask;
                blocker = XCreateWindow(display, owner, 0, 0,
                                        unsigned(std::max(1, ownerAttributes.width)),
                                        unsigned(std::max(1, ownerAttributes.height)), 0, 0,
                                        InputOnly, CopyFromParent, CWEventMask, &cover);
                XMapRaised(display, blocker);
            }
            if (trap.failed())
                blocker = 0;
        }
        paint();
        XMapRaised(display, window);
        XFlush(display);
    }

    // The window manager's window of the owner (the one holding WM_STATE), or without a window
    // manager the owner's ancestor just below the root.
    Window ownerTopLevel() {
        if (owner == 0)
            return 0;
        ErrorTrap trap(display);
        const Atom wmState = XInternAtom(display, "WM_STATE", False);
        Window current = owner;
        Window belowRoot = 0;
        for (int depth = 0; depth < 64 && current != 0; ++depth) {
            Atom type = None;
            int format = 0;
            unsigned long count = 0;
            unsigned long left = 0;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(display, current, wmState, 0, 0, False, AnyPropertyType, &type,
                                   &format, &count, &left, &data) == Success &&
                data != nullptr)
                XFree(data);
            if (type != None)
                return current;
            Window root = 0;
            Window parent = 0;
            Window* children = nullptr;
            unsigned childCount = 0;
            if (!XQueryTree(display, current, &root, &parent, &children, &childCount))
                break;
            if (children != nullptr)
                XFree(children);
            if (parent == root || parent == 0) {
                belowRoot = current;
                break;
            }
            current = parent;
        }
        return trap.failed() ? 0 : belowRoot;
    }

    CRect placeOverOwner() {
        const int screen = DefaultScreen(display);
        const CRect screenArea{0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen)};
        CRect over = screenArea;
        if (owner != 0) {
            ErrorTrap trap(display);
            XWindowAttributes attributes{};
            int x = 0;
            int y = 0;
            Window child = 0;
            if (XGetWindowAttributes(display, owner, &attributes) &&
                XTranslateCoordinates(display, owner, DefaultRootWindow(display), 0, 0, &x, &y,
                                      &child) &&
                !trap.failed())
                over = CRect::fromSize(x, y, attributes.width, attributes.height);
        }
        const CPoint centre = over.center();
        CRect place = CRect::fromSize(centre.x - windowWidth / 2, centre.y - windowHeight / 2,
                                      windowWidth, windowHeight);
        const int dx =
            std::max(screenArea.left - place.left, std::min(0, screenArea.right - place.right));
        const int dy =
            std::max(screenArea.top - place.top, std::min(0, screenArea.bottom - place.bottom));
        return place.offset(dx, dy);
    }

    void takeFocus() {
        ErrorTrap trap(display);
        if (!tookFocus) {
            int revert = 0;
            XGetInputFocus(display, &previousFocus, &revert);
            tookFocus = true;
        }
        XSetInputFocus(display, window, RevertToParent, CurrentTime);
    }

    void handle(XEvent& event) {
        if (event.xany.window == blocker) {
            // A click on the editor while the dialog is open brings the dialog forward.
            if (event.type == ButtonPress) {
                XRaiseWindow(display, window);
                takeFocus();
            }
            return;
        }
        if (event.xany.window == owner) {
            if (event.type == DestroyNotify && event.xdestroywindow.window == owner)
                ownerGone = true;
            return;
        }
        if (event.xany.window != window)
            return;
        switch (event.type) {
        case MapNotify:
            mapped = true;
            takeFocus();
            paint();
            break;
        case UnmapNotify:
            mapped = false;
            break;
        case Expose:
            if (mapped && event.xexpose.count == 0)
                writer.put(window, gc, picture, picture.bounds());
            break;
        case FocusIn:
        case FocusOut:
            focused = event.type == FocusIn;
            dirty = true;
            break;
        case ClientMessage:
            if (event.xclient.message_type == protocols && event.xclient.format == 32 &&
                Atom(event.xclient.data.l[0]) == deleteWindow)
                report(kDialogCancel);
            break;
        case ButtonPress:
            if (!focused)
                takeFocus();
            press(event.xbutton);
            break;
        case MotionNotify:
            drag({event.xmotion.x, event.xmotion.y});
            break;
        case ButtonRelease:
            if (event.xbutton.button == Button1)
                release({event.xbutton.x, event.xbutton.y});
            break;
        case KeyPress:
            lastTime = event.xkey.time;
            key(event.xkey);
            break;
        case SelectionRequest:
            answerSelection(event.xselectionrequest);
            break;
        case SelectionNotify:
            receivePaste(event.xselection);
            break;
        case SelectionClear:
            clipboardText.clear();
            break;
        default:
            break;
        }
    }

    // ---- focus

    bool focusable(int index) const {
        switch (kindOf(index)) {
        case CDialogControlKind::button:
        case CDialogControlKind::checkBox:
        case CDialogControlKind::edit:
        case CDialogControlKind::slider:
            return true;
        case CDialogControlKind::radioButton: {
            // A radio group is one stop: its selected button, or its first.
            const int group = control(index).group;
            int first = -1;
            for (int k = 0; k < int(states.size()); ++k) {
                if (kindOf(k) != CDialogControlKind::radioButton || control(k).group != group)
                    continue;
                if (states[std::size_t(k)].checked)
                    return k == index;
                if (first < 0)
                    first = k;
            }
            return first == index;
        }
        default:
            return false;
        }
    }

    void setFocus(int index, bool caretToEnd = false) {
        if (index == focus)
            return;
        focus = index;
        if (caretToEnd && kindOf(index) == CDialogControlKind::edit) {
            // Tabbing into a field selects its text, so typing replaces it.
            states[std::size_t(index)].caret = states[std::size_t(index)].text.size();
            states[std::size_t(index)].anchor = 0;
            keepCaretVisible(index);
        }
        dirty = true;
    }

    void focusFirst() {
        for (int k = 0; k < int(states.size()); ++k) {
            if (focusable(k)) {
                setFocus(k);
                return;
            }
        }
    }

    void moveFocus(int direction) {
        const int count = int(states.size());
        int index = focus;
        for (int step = 0; step < count; ++step) {
            index =
                index < 0 ? (direction > 0 ? 0 : count - 1) : (index + direction + count) % count;
            if (focusable(index)) {
                setFocus(index, true);
                return;
            }
        }
    }

    int defaultButton() const {
        for (const CDialogControl& candidate : dialog.controls) {
            if (candidate.kind == CDialogControlKind::button && candidate.defaultButton)
                return candidate.id;
        }
        return kDialogOk;
    }

    // ---- actions

    void activate(int index) {
        State& state = states[std::size_t(index)];
        const CDialogControl& clicked = control(index);
        if (clicked.kind == CDialogControlKind::checkBox) {
            state.checked = !state.checked;
        } else if (clicked.kind == CDialogControlKind::radioButton) {
            for (std::size_t k = 0; k < states.size(); ++k) {
                if (dialog.controls[k].kind == CDialogControlKind::radioButton &&
                    dialog.controls[k].group == clicked.group)
                    states[k].checked = int(k) == index;
            }
        } else if (clicked.kind != CDialogControlKind::button) {
            return;
        }
        report(clicked.id);
    }

    void moveSlider(int index, int position) {
        State& state = states[std::size_t(index)];
        position = std::clamp(position, state.minimum, state.maximum);
        if (position == state.position)
            return;
        state.position = position;
        report(control(index).id);
    }

    // The edit field a spin button steps: the control just before it in the template.
    int buddyOf(int spin) const {
        return spin > 0 && kindOf(spin - 1) == CDialogControlKind::edit ? spin - 1 : -1;
    }
    int spinOf(int edit) const {
        const int next = edit + 1;
        return next < int(states.size()) && kindOf(next) == CDialogControlKind::spin ? next : -1;
    }

    void stepSpin(int spin, int steps) {
        const int buddy = buddyOf(spin);
        if (buddy < 0)
            return;
        State& spinState = states[std::size_t(spin)];
        State& field = states[std::size_t(buddy)];
        int value = spinState.minimum;
        std::from_chars(field.text.data(), field.text.data() + field.text.size(), value);
        // In 64 bits: the field may hold the largest int.
        value = int(std::clamp(static_cast<long long>(value) + steps,
                               static_cast<long long>(spinState.minimum),
                               static_cast<long long>(spinState.maximum)));
        spinState.position = value;
        const std::string text = std::to_string(value);
        if (text == field.text)
            return;
        field.text = text;
        field.caret = field.text.size();
        field.anchor = field.caret;
        keepCaretVisible(buddy);
        report(control(buddy).id);
    }

    void repeatSpin() {
        if ((grip != Grip::spinUp && grip != Grip::spinDown) || !gripInside || now() < nextStep)
            return;
        nextStep = now() + nextRepeat;
        stepSpin(gripIndex, grip == Grip::spinUp ? 1 : -1);
    }

    // ---- the mouse

    int controlAt(CPoint point) const {
        // The last control drawn is on top; frames and labels take no clicks.
        for (int k = int(states.size()) - 1; k >= 0; --k) {
            const CDialogControlKind kind = kindOf(k);
            if (kind != CDialogControlKind::group && kind != CDialogControlKind::label &&
                states[std::size_t(k)].area.contains(point))
                return k;
        }
        return -1;
    }

    void press(const XButtonEvent& button) {
        const CPoint point{button.x, button.y};
        if (button.button == Button4 || button.button == Button5) {
            const int index = controlAt(point);
            if (index >= 0 && multiLine(index))
                scrollLines(index, button.button == Button4 ? -3 : 3);
            else if (index >= 0 && kindOf(index) == CDialogControlKind::slider)
                moveSlider(index, states[std::size_t(index)].position +
                                      (button.button == Button4 ? -1 : 1));
            return;
        }
        if (button.button != Button1 || grip != Grip::none)
            return;
        const int index = controlAt(point);
        if (index < 0)
            return;
        State& state = states[std::size_t(index)];
        gripIndex = index;
        gripInside = true;
        if (focusable(index) || kindOf(index) == CDialogControlKind::radioButton)
            setFocus(index);
        switch (kindOf(index)) {
        case CDialogControlKind::button:
        case CDialogControlKind::checkBox:
        case CDialogControlKind::radioButton:
            grip = Grip::press;
            break;
        case CDialogControlKind::slider: {
            grip = Grip::slider;
            const CRect thumb = thumbOf(index);
            const bool vertical = control(index).vertical;
            // Held by the thumb it keeps its offset; elsewhere the thumb jumps to the pointer.
            gripOffset = thumb.contains(point)
                             ? (vertical ? point.y - thumb.center().y : point.x - thumb.center().x)
                             : 0;
            moveSlider(index, sliderValueAt(index, point));
            break;
        }
        case CDialogControlKind::spin: {
            grip = point.y < state.area.center().y ? Grip::spinUp : Grip::spinDown;
            nextStep = now() + firstRepeat;
            stepSpin(index, grip == Grip::spinUp ? 1 : -1);
            break;
        }
        case CDialogControlKind::edit:
            if (multiLine(index) && control(index).hasStyle("WS_VSCROLL") &&
                point.x >= state.area.right - 1 - scrollWidth) {
                pressScrollBar(index, point);
                break;
            }
            state.caret = caretAt(index, point);
            if ((button.state & ShiftMask) == 0)
                state.anchor = state.caret;
            keepCaretVisible(index);
            grip = Grip::press;
            break;
        default:
            break;
        }
        dirty = true;
    }

    void drag(CPoint point) {
        if (grip == Grip::none)
            return;
        const State& state = states[std::size_t(gripIndex)];
        const bool inside = state.area.contains(point);
        if (inside != gripInside) {
            gripInside = inside;
            dirty = true;
        }
        if (grip == Grip::slider) {
            moveSlider(gripIndex, sliderValueAt(gripIndex, point));
        } else if (grip == Grip::scrollThumb) {
            dragScrollThumb(gripIndex, point);
        } else if (grip == Grip::press && kindOf(gripIndex) == CDialogControlKind::edit) {
            states[std::size_t(gripIndex)].caret = caretAt(gripIndex, point);
            keepCaretVisible(gripIndex);
            dirty = true;
        }
    }

    void release(CPoint point) {
        if (grip == Grip::none)
            return;
        const int index = gripIndex;
        const Grip was = grip;
        grip = Grip::none;
        gripIndex = -1;
        dirty = true;
        if (was == Grip::press && kindOf(index) != CDialogControlKind::edit &&
            states[std::size_t(index)].area.contains(point))
            activate(index);
    }

    // ---- sliders

    CRect channelOf(int index) const {
        const CRect& area = states[std::size_t(index)].area;
        if (control(index).vertical)
            return {area.center().x - 2, area.top + thumbLength / 2, area.center().x + 2,
                    area.bottom - thumbLength / 2};
        return {area.left + thumbLength / 2, area.center().y - 2, area.right - thumbLength / 2,
                area.center().y + 2};
    }

    CRect thumbOf(int index) const {
        const State& state = states[std::size_t(index)];
        const CRect channel = channelOf(index);
        const int range = std::max(1, state.maximum - state.minimum);
        const int offset = state.position - state.minimum;
        if (control(index).vertical) {
            const int y =
                channel.top + int(std::lround(double(offset) * (channel.height() - 1) / range));
            const int thickness = std::min(state.area.width() - 2, 20);
            return CRect::fromSize(state.area.center().x - thickness / 2, y - thumbLength / 2,
                                   thickness, thumbLength);
        }
        const int x =
            channel.left + int(std::lround(double(offset) * (channel.width() - 1) / range));
        const int thickness = std::min(state.area.height() - 2, 20);
        return CRect::fromSize(x - thumbLength / 2, state.area.center().y - thickness / 2,
                               thumbLength, thickness);
    }

    int sliderValueAt(int index, CPoint point) const {
        const State& state = states[std::size_t(index)];
        const CRect channel = channelOf(index);
        const bool vertical = control(index).vertical;
        const int along = (vertical ? point.y - channel.top : point.x - channel.left) - gripOffset;
        const int length = std::max(1, (vertical ? channel.height() : channel.width()) - 1);
        const double value =
            state.minimum + double(along) * (state.maximum - state.minimum) / length;
        return std::clamp(int(std::lround(value)), state.minimum, state.maximum);
    }

    int pageOf(int index) const {
        const State& state = states[std::size_t(index)];
        return std::max(1, (state.maximum - state.minimum) / 5);
    }

    // ---- edit fields

    const CFont& font() const { return textFont; }

    CRect textArea(int index) const {
        CRect area = states[std::size_t(index)].area.inset(1 + textInset, 1);
        if (multiLine(index) && control(index).hasStyle("WS_VSCROLL"))
            area.right -= scrollWidth - textInset + 1;
        return area;
    }

    // The visual lines of a field: its paragraphs, long ones broken at spaces (or anywhere in a
    // word longer than the field).
    std::vector<Line> linesOf(int index) const {
        const std::string& text = states[std::size_t(index)].text;
        std::vector<Line> lines;
        if (!multiLine(index)) {
            lines.push_back({0, text.size()});
            return lines;
        }
        const int width = std::max(8, textArea(index).width());
        std::size_t lineStart = 0;
        std::size_t lastSpace = std::string::npos;
        int lineWidth = 0;
        for (std::size_t k = 0; k < text.size(); ++k) {
            if (text[k] == '\n') {
                lines.push_back({lineStart, k});
                lineStart = k + 1;
                lastSpace = std::string::npos;
                lineWidth = 0;
                continue;
            }
            const int advance = font().glyph(static_cast<unsigned char>(text[k])).advance;
            if (text[k] == ' ') {
                // A space may hang past the edge: the line breaks after it.
                lastSpace = k;
                lineWidth += advance;
                continue;
            }
            if (lineWidth + advance > width && k > lineStart) {
                const std::size_t cut = lastSpace != std::string::npos ? lastSpace + 1 : k;
                lines.push_back({lineStart, cut});
                lineStart = cut;
                lastSpace = std::string::npos;
                lineWidth = font().textWidth(std::string_view(text).substr(cut, k - cut));
            }
            lineWidth += advance;
        }
        lines.push_back({lineStart, text.size()});
        return lines;
    }

    // The visual line that holds a caret position: at a wrap point, the line it starts.
    static int lineOf(const std::vector<Line>& lines, std::size_t caret) {
        int found = 0;
        for (int k = 0; k < int(lines.size()); ++k) {
            if (lines[std::size_t(k)].start <= caret)
                found = k;
        }
        return found;
    }

    int visibleLines(int index) const {
        return std::max(1, textArea(index).height() / font().lineHeight());
    }

    // The caret position in `line` nearest to `x` pixels from the text's left edge.
    std::size_t nearestIn(int index, const Line& line, int x) const {
        const std::string& text = states[std::size_t(index)].text;
        std::size_t best = line.start;
        int bestDistance = std::abs(x);
        for (std::size_t k = line.start + 1; k <= line.end; ++k) {
            const int distance = std::abs(
                font().textWidth(std::string_view(text).substr(line.start, k - line.start)) - x);
            if (distance < bestDistance) {
                best = k;
                bestDistance = distance;
            }
        }
        return best;
    }

    std::size_t caretAt(int index, CPoint point) const {
        const State& state = states[std::size_t(index)];
        const CRect area = textArea(index);
        const std::vector<Line> lines = linesOf(index);
        int row = 0;
        if (multiLine(index)) {
            row = state.firstLine + (point.y - area.top) / font().lineHeight();
            row = std::clamp(row, 0, int(lines.size()) - 1);
        }
        return nearestIn(index, lines[std::size_t(row)], point.x - area.left + state.scrollX);
    }

    void keepCaretVisible(int index) {
        if (kindOf(index) != CDialogControlKind::edit)
            return;
        State& state = states[std::size_t(index)];
        state.caret = std::min(state.caret, state.text.size());
        if (multiLine(index)) {
            const std::vector<Line> lines = linesOf(index);
            const int row = lineOf(lines, state.caret);
            const int shown = visibleLines(index);
            state.firstLine = std::clamp(state.firstLine, row - shown + 1, row);
            state.firstLine =
                std::clamp(state.firstLine, 0, std::max(0, int(lines.size()) - shown));
            return;
        }
        const int width = std::max(1, textArea(index).width());
        const int caretX = font().textWidth(std::string_view(state.text).substr(0, state.caret));
        const int textWidth = font().textWidth(state.text);
        state.scrollX = std::clamp(state.scrollX, caretX - width + 1, caretX);
        state.scrollX = std::clamp(state.scrollX, 0, std::max(0, textWidth - width + 1));
    }

    void scrollLines(int index, int rows) {
        State& state = states[std::size_t(index)];
        const int limit = std::max(0, int(linesOf(index).size()) - visibleLines(index));
        state.firstLine = std::clamp(state.firstLine + rows, 0, limit);
        dirty = true;
    }

    // The scroll bar of a multi-line field: arrows at its ends, the thumb between.
    CRect scrollBarOf(int index) const {
        const CRect& area = states[std::size_t(index)].area;
        return {area.right - 1 - scrollWidth, area.top + 1, area.right - 1, area.bottom - 1};
    }

    CRect scrollThumbOf(int index) const {
        const State& state = states[std::size_t(index)];
        const CRect bar = scrollBarOf(index);
        const int track = bar.height() - 2 * scrollWidth;
        const int total = int(linesOf(index).size());
        const int shown = visibleLines(index);
        if (total <= shown || track < 8)
            return {};
        const int length = std::max(12, track * shown / total);
        const int top =
            bar.top + scrollWidth + (track - length) * state.firstLine / (total - shown);
        return {bar.left + 2, top, bar.right - 2, top + length};
    }

    void pressScrollBar(int index, CPoint point) {
        const CRect bar = scrollBarOf(index);
        const CRect thumb = scrollThumbOf(index);
        if (point.y < bar.top + scrollWidth) {
            scrollLines(index, -1);
        } else if (point.y >= bar.bottom - scrollWidth) {
            scrollLines(index, 1);
        } else if (!thumb.isEmpty() && thumb.contains(point)) {
            grip = Grip::scrollThumb;
            gripOffset = point.y - thumb.top;
        } else if (!thumb.isEmpty()) {
            scrollLines(index, point.y < thumb.top ? -visibleLines(index) : visibleLines(index));
        }
    }

    void dragScrollThumb(int index, CPoint point) {
        State& state = states[std::size_t(index)];
        const CRect bar = scrollBarOf(index);
        const CRect thumb = scrollThumbOf(index);
        const int total = int(linesOf(index).size());
        const int shown = visibleLines(index);
        const int travel = bar.height() - 2 * scrollWidth - thumb.height();
        if (thumb.isEmpty() || travel <= 0)
            return;
        const int top = point.y - gripOffset - (bar.top + scrollWidth);
        const int wanted = int(std::lround(double(top) * (total - shown) / travel));
        const int limited = std::clamp(wanted, 0, total - shown);
        if (limited != state.firstLine) {
            state.firstLine = limited;
            dirty = true;
        }
    }

    // Removes the selected text; false when nothing was selected.
    static bool eraseSelection(State& state) {
        if (state.anchor == state.caret)
            return false;
        const std::size_t from = std::min(state.anchor, state.caret);
        state.text.erase(from, std::max(state.anchor, state.caret) - from);
        state.caret = state.anchor = from;
        return true;
    }

    void editKey(int index, KeySym symbol, const std::string& typed, unsigned modifiers) {
        State& state = states[std::size_t(index)];
        const CDialogControl& field = control(index);
        std::size_t& caret = state.caret;
        state.anchor = std::min(state.anchor, state.text.size());
        bool changed = false;
        // Moving with Shift held selects; any other key ends the selection.
        bool keepAnchor = (modifiers & ShiftMask) != 0;
        const std::vector<Line> lines = linesOf(index);
        const int row = lineOf(lines, caret);
        const bool withControl = (modifiers & ControlMask) != 0;
        const bool withShift = (modifiers & ShiftMask) != 0;
        if ((symbol == XK_a || symbol == XK_A) && withControl) {
            state.anchor = 0;
            caret = state.text.size();
            keepCaretVisible(index);
            dirty = true;
            return;
        }
        // The clipboard, with the keys of Windows' edit fields.
        const bool cut = ((symbol == XK_x || symbol == XK_X) && withControl) ||
                         (symbol == XK_Delete && withShift && state.anchor != caret);
        if (cut || ((symbol == XK_c || symbol == XK_C || symbol == XK_Insert) && withControl)) {
            copySelection(index);
            if (cut && eraseSelection(state)) {
                keepCaretVisible(index);
                report(field.id);
            }
            return;
        }
        if (((symbol == XK_v || symbol == XK_V) && withControl) ||
            (symbol == XK_Insert && withShift)) {
            requestPaste(index);
            return;
        }
        switch (symbol) {
        case XK_Left:
        case XK_KP_Left:
            if (caret > 0)
                --caret;
            break;
        case XK_Right:
        case XK_KP_Right:
            if (caret < state.text.size())
                ++caret;
            break;
        case XK_Home:
        case XK_KP_Home:
            caret = (modifiers & ControlMask) != 0 ? 0 : lines[std::size_t(row)].start;
            break;
        case XK_End:
        case XK_KP_End:
            if ((modifiers & ControlMask) != 0) {
                caret = state.text.size();
            } else {
                // On a wrapped line the end is before the space it broke at.
                const Line& line = lines[std::size_t(row)];
                const bool wrapped =
                    row + 1 < int(lines.size()) && lines[std::size_t(row) + 1].start == line.end;
                caret = wrapped && line.end > line.start ? line.end - 1 : line.end;
            }
            break;
        case XK_Up:
        case XK_KP_Up:
        case XK_Down:
        case XK_KP_Down:
        case XK_Prior:
        case XK_KP_Prior:
        case XK_Next:
        case XK_KP_Next: {
            const bool up = symbol == XK_Up || symbol == XK_KP_Up || symbol == XK_Prior ||
                            symbol == XK_KP_Prior;
            if (!field.multiLine) {
                // Up and down in a spin button's field step its number.
                const int spin = spinOf(index);
                if (spin >= 0 && control(spin).hasStyle("UDS_ARROWKEYS") &&
                    (symbol == XK_Up || symbol == XK_KP_Up || symbol == XK_Down ||
                     symbol == XK_KP_Down))
                    stepSpin(spin, up ? 1 : -1);
                return;
            }
            const bool page = symbol == XK_Prior || symbol == XK_KP_Prior || symbol == XK_Next ||
                              symbol == XK_KP_Next;
            const int rows = page ? visibleLines(index) : 1;
            const int target = std::clamp(row + (up ? -rows : rows), 0, int(lines.size()) - 1);
            const Line& from = lines[std::size_t(row)];
            const int x = font().textWidth(
                std::string_view(state.text).substr(from.start, caret - from.start));
            caret = nearestIn(index, lines[std::size_t(target)], x);
            break;
        }
        case XK_BackSpace:
            keepAnchor = false;
            if (eraseSelection(state)) {
                changed = true;
            } else if (caret > 0) {
                state.text.erase(caret - 1, 1);
                --caret;
                changed = true;
            }
            break;
        case XK_Delete:
        case XK_KP_Delete:
            keepAnchor = false;
            if (eraseSelection(state)) {
                changed = true;
            } else if (caret < state.text.size()) {
                state.text.erase(caret, 1);
                changed = true;
            }
            break;
        case XK_Return:
        case XK_KP_Enter:
            keepAnchor = false;
            if (field.multiLine) {
                changed = eraseSelection(state);
                if (int(state.text.size()) < maximumText) {
                    state.text.insert(caret, 1, '\n');
                    ++caret;
                    changed = true;
                }
            }
            break;
        default:
            keepAnchor = true; // Shift alone, or a key that does nothing here
            if (typed.size() == 1 && (modifiers & (ControlMask | Mod1Mask)) == 0) {
                const auto c = static_cast<unsigned char>(typed[0]);
                const bool printable = c >= 32 && c != 127 && (c < 128 || c >= 160);
                const bool allowed = !field.numbersOnly || (c >= '0' && c <= '9');
                if (printable && allowed) {
                    keepAnchor = false;
                    changed = eraseSelection(state);
                    if (int(state.text.size()) < maximumText) {
                        state.text.insert(caret, 1, typed[0]);
                        ++caret;
                        changed = true;
                    }
                }
            }
            break;
        }
        if (!keepAnchor)
            state.anchor = caret;
        keepCaretVisible(index);
        dirty = true;
        if (changed)
            report(field.id);
    }

    // ---- the clipboard (X's CLIPBOARD selection, as other programs' Ctrl+C and Ctrl+V use it)

    void copySelection(int index) {
        const State& state = states[std::size_t(index)];
        if (state.anchor == state.caret)
            return;
        const std::size_t from = std::min(state.anchor, state.caret);
        clipboardText = state.text.substr(from, std::max(state.anchor, state.caret) - from);
        XSetSelectionOwner(display, clipboardAtom, window, lastTime);
    }

    void requestPaste(int index) {
        pasteField = index;
        pasteTarget = utf8Atom;
        XConvertSelection(display, clipboardAtom, utf8Atom, pasteAtom, window, lastTime);
    }

    // Another program (or this dialog) asks for what was copied.
    void answerSelection(const XSelectionRequestEvent& request) {
        XSelectionEvent reply{};
        reply.type = SelectionNotify;
        reply.display = display;
        reply.requestor = request.requestor;
        reply.selection = request.selection;
        reply.target = request.target;
        reply.time = request.time;
        reply.property = None;
        const Atom property = request.property != None ? request.property : request.target;
        ErrorTrap trap(display);
        if (request.selection == clipboardAtom) {
            if (request.target == targetsAtom) {
                const Atom targets[] = {targetsAtom, utf8Atom, XA_STRING};
                XChangeProperty(display, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                                reinterpret_cast<const unsigned char*>(targets), 3);
                reply.property = property;
            } else if (request.target == utf8Atom || request.target == XA_STRING) {
                const std::string text =
                    request.target == utf8Atom ? utf8Of(clipboardText) : clipboardText;
                XChangeProperty(
                    display, request.requestor, property, request.target, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(text.data()), int(text.size()));
                reply.property = property;
            }
        }
        XEvent event{};
        event.xselection = reply;
        XSendEvent(display, request.requestor, False, NoEventMask, &event);
    }

    void receivePaste(const XSelectionEvent& answer) {
        if (pasteField < 0 || answer.selection != clipboardAtom)
            return;
        if (answer.property == None) {
            // No UTF-8 from the owner: ask for Latin-1 text, then give up.
            if (pasteTarget == utf8Atom) {
                pasteTarget = XA_STRING;
                XConvertSelection(display, clipboardAtom, XA_STRING, pasteAtom, window, lastTime);
            } else {
                pasteField = -1;
            }
            return;
        }
        Atom type = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long left = 0;
        unsigned char* data = nullptr;
        std::string text;
        // Whatever fits a field; a larger transfer (INCR) is not taken.
        if (XGetWindowProperty(display, window, pasteAtom, 0, maximumText / 4 + 1, True,
                               AnyPropertyType, &type, &format, &count, &left, &data) == Success &&
            data != nullptr) {
            if (format == 8 && (type == utf8Atom || type == XA_STRING))
                text.assign(reinterpret_cast<const char*>(data), count);
            XFree(data);
        }
        const int index = pasteField;
        pasteField = -1;
        insertText(index, type == utf8Atom ? latin1Of(text) : text);
    }

    // Pasted text in place of the selection: one line in a single-line field, digits only in a
    // number field, no control characters.
    void insertText(int index, const std::string& pasted) {
        State& state = states[std::size_t(index)];
        const CDialogControl& field = control(index);
        std::string text;
        for (const char c : pasted) {
            const auto byte = static_cast<unsigned char>(c);
            if (c == '\n' && !field.multiLine)
                break;
            if (c == '\t')
                text += ' ';
            else if ((c == '\n' || byte >= 32) && byte != 127 && (byte < 128 || byte >= 160) &&
                     (!field.numbersOnly || (c >= '0' && c <= '9')))
                text += c;
        }
        const bool erased = eraseSelection(state);
        const std::size_t room =
            std::size_t(maximumText) - std::min(state.text.size(), std::size_t(maximumText));
        text.resize(std::min(text.size(), room));
        state.text.insert(state.caret, text);
        state.caret += text.size();
        state.anchor = state.caret;
        keepCaretVisible(index);
        dirty = true;
        if (erased || !text.empty())
            report(field.id);
    }

    // ---- the keyboard

    int mnemonicControl(char letter) const {
        const int wanted = std::tolower(static_cast<unsigned char>(letter));
        for (int k = 0; k < int(states.size()); ++k) {
            const CDialogControlKind kind = kindOf(k);
            if (kind != CDialogControlKind::button && kind != CDialogControlKind::checkBox &&
                kind != CDialogControlKind::radioButton)
                continue;
            int underlined = -1;
            const std::string shown = withoutMnemonic(states[std::size_t(k)].text, underlined);
            if (underlined >= 0 &&
                std::tolower(static_cast<unsigned char>(shown[std::size_t(underlined)])) == wanted)
                return k;
        }
        return -1;
    }

    void key(XKeyEvent& event) {
        char buffer[8] = {};
        KeySym symbol = NoSymbol;
        const int length = XLookupString(&event, buffer, int(sizeof buffer), &symbol, nullptr);
        const std::string typed = length == 1 ? std::string(1, buffer[0]) : std::string();
        const bool shift = (event.state & ShiftMask) != 0;
        if (symbol == XK_Escape) {
            report(kDialogCancel);
            return;
        }
        if (symbol == XK_Tab || symbol == XK_ISO_Left_Tab || symbol == XK_KP_Tab) {
            moveFocus(shift || symbol == XK_ISO_Left_Tab ? -1 : 1);
            return;
        }
        // A mnemonic ("&Go") presses its control: with Alt anywhere, alone where the focus is not
        // in a text field.
        const bool inField = focus >= 0 && kindOf(focus) == CDialogControlKind::edit;
        if (typed.size() == 1 && std::isalnum(static_cast<unsigned char>(typed[0])) != 0 &&
            (event.state & ControlMask) == 0 && ((event.state & Mod1Mask) != 0 || !inField)) {
            if (const int target = mnemonicControl(typed[0]); target >= 0) {
                setFocus(target);
                activate(target);
                return;
            }
        }
        const bool enter = symbol == XK_Return || symbol == XK_KP_Enter;
        if (focus < 0) {
            if (enter)
                report(defaultButton());
            return;
        }
        const CDialogControlKind kind = kindOf(focus);
        if (enter) {
            if (multiLine(focus))
                editKey(focus, symbol, typed, event.state);
            else if (kind == CDialogControlKind::button)
                report(control(focus).id); // a focused button is the one Return presses
            else
                report(defaultButton());
            return;
        }
        switch (kind) {
        case CDialogControlKind::edit:
            editKey(focus, symbol, typed, event.state);
            break;
        case CDialogControlKind::button:
        case CDialogControlKind::checkBox:
            if (symbol == XK_space)
                activate(focus);
            break;
        case CDialogControlKind::radioButton:
            if (symbol == XK_space) {
                activate(focus);
            } else if (symbol == XK_Up || symbol == XK_Left || symbol == XK_Down ||
                       symbol == XK_Right || symbol == XK_KP_Up || symbol == XK_KP_Left ||
                       symbol == XK_KP_Down || symbol == XK_KP_Right) {
                // Arrows select the next button of the group, round and round.
                const bool back = symbol == XK_Up || symbol == XK_Left || symbol == XK_KP_Up ||
                                  symbol == XK_KP_Left;
                std::vector<int> members;
                for (int k = 0; k < int(states.size()); ++k) {
                    if (kindOf(k) == CDialogControlKind::radioButton &&
                        control(k).group == control(focus).group)
                        members.push_back(k);
                }
                const auto at = std::find(members.begin(), members.end(), focus);
                const int count = int(members.size());
                const int place = int(at - members.begin());
                const int next = members[std::size_t((place + (back ? -1 : 1) + count) % count)];
                setFocus(next);
                activate(next);
            }
            break;
        case CDialogControlKind::slider: {
            const State& state = states[std::size_t(focus)];
            int position = state.position;
            switch (symbol) {
            case XK_Left:
            case XK_Up:
            case XK_KP_Left:
            case XK_KP_Up:
                --position;
                break;
            case XK_Right:
            case XK_Down:
            case XK_KP_Right:
            case XK_KP_Down:
                ++position;
                break;
            case XK_Prior:
            case XK_KP_Prior:
                position -= pageOf(focus);
                break;
            case XK_Next:
            case XK_KP_Next:
                position += pageOf(focus);
                break;
            case XK_Home:
            case XK_KP_Home:
                position = state.minimum;
                break;
            case XK_End:
            case XK_KP_End:
                position = state.maximum;
                break;
            default:
                break;
            }
            moveSlider(focus, position);
            break;
        }
        default:
            break;
        }
        dirty = true;
    }

    // ---- drawing

    void paint() {
        dirty = false;
        CDrawContext context(picture);
        context.setFillColor(faceColor);
        context.fillRect(picture.bounds());
        context.setFont(textFont);
        for (int k = 0; k < int(states.size()); ++k) {
            context.setClipRect(picture.bounds());
            switch (kindOf(k)) {
            case CDialogControlKind::group:
                drawGroup(context, k);
                break;
            case CDialogControlKind::label:
                drawLabel(context, k);
                break;
            case CDialogControlKind::button:
                drawButton(context, k);
                break;
            case CDialogControlKind::checkBox:
            case CDialogControlKind::radioButton:
                drawMark(context, k);
                break;
            case CDialogControlKind::edit:
                drawEdit(context, k);
                break;
            case CDialogControlKind::slider:
                drawSlider(context, k);
                break;
            case CDialogControlKind::spin:
                drawSpin(context, k);
                break;
            }
        }
        if (mapped)
            writer.put(window, gc, picture, picture.bounds());
    }

    bool showsFocus(int index) const { return focused && focus == index; }

    // One line of text, its top at `top`, its mnemonic underlined.
    void drawText(CDrawContext& context, const std::string& text, int left, int top, int right,
                  int align, bool mnemonics = true) {
        int underlined = -1;
        const std::string shown = mnemonics ? withoutMnemonic(text, underlined) : text;
        const int width = font().textWidth(shown);
        int x = left;
        if (align == 1)
            x = left + (right - left - width) / 2;
        else if (align == 2)
            x = right - width;
        const int baseline = top + font().ascent() - 1;
        context.setFontColor(textColor);
        context.drawStringAt(shown, {x, baseline});
        if (underlined >= 0) {
            const int from =
                x + font().textWidth(std::string_view(shown).substr(0, std::size_t(underlined)));
            const int length =
                font().textWidth(std::string_view(shown).substr(std::size_t(underlined), 1));
            context.setFillColor(textColor);
            context.fillRect(CRect::fromSize(from, baseline + 2, std::max(1, length - 1), 1));
        }
    }

    int textTop(const CRect& area) const {
        return area.top + (area.height() - font().ascent() - font().descent() + 2) / 2;
    }

    void drawGroup(CDrawContext& context, int index) {
        const State& state = states[std::size_t(index)];
        int underlined = -1;
        const std::string title = withoutMnemonic(state.text, underlined);
        const int lineY = state.area.top + font().ascent() / 2 + 1;
        context.setFrameColor(groupColor);
        context.drawRect({state.area.left, lineY, state.area.right, state.area.bottom});
        if (title.empty())
            return;
        const int left = state.area.left + 6;
        const int titleWidth = font().textWidth(title);
        context.setFillColor(faceColor);
        context.fillRect({left, lineY - 1, left + titleWidth + 4, lineY + 2});
        drawText(context, state.text, left + 2, state.area.top - 1, left + 2 + titleWidth, 0);
    }

    void drawLabel(CDrawContext& context, int index) {
        const State& state = states[std::size_t(index)];
        const CDialogControl& label = control(index);
        std::string shown = state.text;
        if (label.hasStyle("SS_PATHELLIPSIS") && font().textWidth(shown) > state.area.width()) {
            // A long path keeps its end (the file name) and loses its middle.
            const std::size_t slash = shown.find_last_of("/\\");
            std::string tail = slash == std::string::npos ? shown : shown.substr(slash);
            std::string head = shown.substr(0, shown.size() - tail.size());
            while (!head.empty() && font().textWidth(head + "..." + tail) > state.area.width())
                head.pop_back();
            while (head.empty() && tail.size() > 1 &&
                   font().textWidth("..." + tail) > state.area.width())
                tail.erase(0, 1);
            shown = head + "..." + tail;
        }
        // Descenders may reach below the template's 8 units.
        context.setClipRect(
            {state.area.left, state.area.top - 2, state.area.right, state.area.bottom + 3});
        drawText(context, shown, state.area.left, state.area.top, state.area.right, label.alignment,
                 !label.hasStyle("SS_NOPREFIX"));
    }

    void drawButton(CDrawContext& context, int index) {
        const State& state = states[std::size_t(index)];
        const CDialogControl& button = control(index);
        const bool down = grip == Grip::press && gripIndex == index && gripInside;
        const CRect& area = state.area;
        context.setFillColor(down ? pressedColor : buttonColor);
        context.fillRect(area);
        context.setFrameColor(down || button.defaultButton ? accentColor : buttonFrame);
        context.drawRect(area);
        if (button.defaultButton) {
            context.drawRect(area.inset(1, 1));
        }
        context.setClipRect(area.inset(2, 1));
        drawText(context, state.text, area.left, textTop(area), area.right, 1);
        if (showsFocus(index))
            dottedRect(context, area.inset(3, 3), textColor);
    }

    void drawMark(CDrawContext& context, int index) {
        const State& state = states[std::size_t(index)];
        const bool radio = kindOf(index) == CDialogControlKind::radioButton;
        const bool down = grip == Grip::press && gripIndex == index && gripInside;
        const CRect& area = state.area;
        const CRect box =
            CRect::fromSize(area.left, area.center().y - boxSize / 2, boxSize, boxSize);
        const CColor inside = down ? pressedColor : kWhiteCColor;
        if (radio) {
            const double centreX = box.left + boxSize / 2.0;
            const double centreY = box.top + boxSize / 2.0;
            fillDisc(context, centreX, centreY, boxSize / 2.0, down ? accentColor : frameColor);
            fillDisc(context, centreX, centreY, boxSize / 2.0 - 1.0, inside);
            if (state.checked)
                fillDisc(context, centreX, centreY, 3.0, textColor);
        } else {
            context.setFillColor(inside);
            context.fillRect(box);
            context.setFrameColor(down ? accentColor : frameColor);
            context.drawRect(box);
            if (state.checked) {
                context.setFrameColor(textColor);
                context.setLineWidth(2);
                context.drawLine({box.left + 3, box.top + 6}, {box.left + 5, box.top + 9});
                context.drawLine({box.left + 5, box.top + 9}, {box.left + 10, box.top + 3});
                context.setLineWidth(1);
            }
        }
        const int textLeft = box.right + markGap;
        context.setClipRect({textLeft, area.top - 2, area.right, area.bottom + 2});
        const int top = textTop(area);
        drawText(context, state.text, textLeft, top, area.right, 0);
        if (showsFocus(index)) {
            int underlined = -1;
            const int textWidth = font().textWidth(withoutMnemonic(state.text, underlined));
            context.setClipRect(picture.bounds());
            dottedRect(context,
                       {textLeft - 2, top - 1, std::min(area.right, textLeft + textWidth + 2),
                        top + font().ascent() + font().descent() - 1},
                       textColor);
        }
    }

    void drawSlider(CDrawContext& context, int index) {
        const State& state = states[std::size_t(index)];
        const CDialogControl& slider = control(index);
        const CRect channel = channelOf(index);
        context.setFillColor(channelColor);
        context.fillRect(channel);
        context.setFrameColor(channelFrame);
        context.drawRect(channel);
        const CRect thumb = thumbOf(index);
        if (slider.hasStyle("TBS_AUTOTICKS") && state.maximum > state.minimum) {
            // Ticks beside the thumb (both sides with TBS_BOTH): every value where there is
            // room, else every few, at least 4 pixels apart, the last one at the end.
            context.setFillColor(arrowColor);
            const int range = state.maximum - state.minimum;
            const int length = (slider.vertical ? channel.height() : channel.width()) - 1;
            const int every = std::max(1, (4 * range + length - 1) / std::max(1, length));
            for (int value = 0; value <= range; value += every) {
                const int tick = value + every > range ? range : value;
                if (slider.vertical) {
                    const int y = channel.top + tick * length / range;
                    context.fillRect({thumb.right + 2, y, thumb.right + 5, y + 1});
                    if (slider.hasStyle("TBS_BOTH"))
                        context.fillRect({thumb.left - 5, y, thumb.left - 2, y + 1});
                } else {
                    const int x = channel.left + tick * length / range;
                    context.fillRect({x, thumb.bottom + 2, x + 1, thumb.bottom + 5});
                    if (slider.hasStyle("TBS_BOTH"))
                        context.fillRect({x, thumb.top - 5, x + 1, thumb.top - 2});
                }
            }
        }
        const bool held = grip == Grip::slider && gripIndex == index;
        context.setFillColor(held ? CColor{0, 84, 153, 255} : accentColor);
        context.fillRect(thumb);
        if (showsFocus(index))
            dottedRect(context, state.area, textColor);
    }

    void drawEdit(CDrawContext& context, int index) {
        const State& state = states[std::size_t(index)];
        const CRect& area = state.area;
        context.setFillColor(kWhiteCColor);
        context.fillRect(area);
        context.setFrameColor(showsFocus(index) ? accentColor : frameColor);
        context.drawRect(area);
        const CRect textBox = textArea(index);
        const std::vector<Line> lines = linesOf(index);
        const int lineHeight = font().lineHeight();
        const bool multi = multiLine(index);
        const int caretRow = lineOf(lines, state.caret);
        context.setClipRect(textBox);
        const int first = multi ? state.firstLine : 0;
        for (int row = first; row < int(lines.size()); ++row) {
            const int top = multi ? textBox.top + 1 + (row - first) * lineHeight : textTop(area);
            // Whole lines only, as the scroll bar counts them.
            if (top >= textBox.bottom || (multi && row - first >= visibleLines(index)))
                break;
            const Line& line = lines[std::size_t(row)];
            const std::string_view shown =
                std::string_view(state.text).substr(line.start, line.end - line.start);
            const CPoint baseline{textBox.left - state.scrollX, top + font().ascent() - 1};
            context.setFontColor(textColor);
            context.drawStringAt(shown, baseline);
            const std::size_t from =
                std::clamp(std::min(state.anchor, state.caret), line.start, line.end);
            const std::size_t to =
                std::clamp(std::max(state.anchor, state.caret), line.start, line.end);
            if (showsFocus(index) && to > from) {
                // The selection: light text on the accent colour.
                const auto xOf = [&](std::size_t at) {
                    return baseline.x +
                           font().textWidth(
                               std::string_view(state.text).substr(line.start, at - line.start));
                };
                const CRect marked =
                    CRect{xOf(from), top, xOf(to), top + lineHeight}.intersection(textBox);
                context.setFillColor(accentColor);
                context.fillRect(marked);
                context.setClipRect(marked);
                context.setFontColor(kWhiteCColor);
                context.drawStringAt(shown, baseline);
                context.setClipRect(textBox);
            }
            if (showsFocus(index) && row == caretRow) {
                const int x =
                    textBox.left - state.scrollX +
                    font().textWidth(
                        std::string_view(state.text).substr(line.start, state.caret - line.start));
                context.setFillColor(textColor);
                context.fillRect({x, top, x + 1, top + lineHeight});
            }
        }
        context.setClipRect(picture.bounds());
        if (multi && control(index).hasStyle("WS_VSCROLL"))
            drawScrollBar(context, index);
    }

    void drawScrollBar(CDrawContext& context, int index) {
        const CRect bar = scrollBarOf(index);
        context.setFillColor(scrollColor);
        context.fillRect(bar);
        const CRect thumb = scrollThumbOf(index);
        const CColor arrows = thumb.isEmpty() ? CColor{191, 191, 191, 255} : arrowColor;
        drawArrow(context, {bar.left, bar.top, bar.right, bar.top + scrollWidth}, true, arrows);
        drawArrow(context, {bar.left, bar.bottom - scrollWidth, bar.right, bar.bottom}, false,
                  arrows);
        if (!thumb.isEmpty()) {
            const bool held = grip == Grip::scrollThumb && gripIndex == index;
            context.setFillColor(held ? CColor{96, 96, 96, 255} : CColor{194, 194, 194, 255});
            context.fillRect(thumb);
        }
    }

    void drawSpin(CDrawContext& context, int index) {
        const State& state = states[std::size_t(index)];
        const CRect& area = state.area;
        const int middle = area.center().y;
        const CRect halves[2] = {{area.left, area.top, area.right, middle},
                                 {area.left, middle, area.right, area.bottom}};
        for (int half = 0; half < 2; ++half) {
            const bool down = gripIndex == index && gripInside &&
                              grip == (half == 0 ? Grip::spinUp : Grip::spinDown);
            context.setFillColor(down ? pressedColor : buttonColor);
            context.fillRect(halves[half]);
            context.setFrameColor(down ? accentColor : buttonFrame);
            context.drawRect(halves[half]);
            drawArrow(context, halves[half], half == 0, arrowColor);
        }
    }

    Display* display;
    Window owner;
    const CDialogTemplate& dialog;
    CDialogHandler& handler;
    ImageWriter writer;
    CFont textFont{CFontId::normal};
    std::vector<State> states;
    int windowWidth = 1;
    int windowHeight = 1;
    CBitmap picture;
    Window window = 0;
    Window blocker = 0;
    GC gc = nullptr;
    Atom deleteWindow = None;
    Atom protocols = None;
    Atom clipboardAtom = None;
    Atom utf8Atom = None;
    Atom targetsAtom = None;
    Atom pasteAtom = None;
    Atom pasteTarget = None;
    int pasteField = -1;       // the field a requested paste goes into
    std::string clipboardText; // what this dialog copied, while it owns the clipboard
    Time lastTime = CurrentTime;
    Window previousFocus = None;
    bool tookFocus = false;
    bool mapped = false;
    bool focused = false;
    bool dirty = true;
    bool ownerGone = false;
    int focus = -1;
    Grip grip = Grip::none;
    int gripIndex = -1;
    bool gripInside = false;
    int gripOffset = 0;
    long long nextStep = 0;
    std::optional<int> result;
};

} // namespace

CRect dialogPixels(const CDialogTemplate& dialog, const CRect& units) {
    // Windows measures dialog units in the dialog font's average character: 4 across and 8 down
    // make one, about 6 x 13 pixels for 8 points. The toolkit's 12-pixel DejaVu Sans is wider
    // than the usual system font, so its base is 7 x 13 at 8 points, where the longest labels
    // of our dialogs fit their places.
    const int points = std::clamp(dialog.fontSize, 6, 16);
    const auto across = [points](int value) { return (value * 7 * points + 16) / 32; };
    const auto down = [points](int value) { return (value * 13 * points + 32) / 64; };
    return {across(units.left), down(units.top), across(units.right), down(units.bottom)};
}

int runTemplateDialog(Display* display, unsigned long owner, const CDialogTemplate& dialog,
                      CDialogHandler& handler, const std::atomic<bool>& cancelled) {
    DialogWindow open(display, Window(owner), dialog, handler);
    return open.run(cancelled);
}

} // namespace treskpro::toolkit::x11
