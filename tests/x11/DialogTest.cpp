// The editor's dialogs in real X11 windows: the system dialogs of the Linux build run the
// editor's own templates, and a second "hand" drives them with the X server's mouse and keyboard
// (XTest) while the dialog's modal loop holds the main thread. A small handler records what it
// is told, as the editor's handlers would see it. Saves a picture of each dialog into the build
// folder. Prints one line per check; the exit code is 0 only when all of them pass.
//
// Usage: treskpro-x11-dialog-test [PICTURE_FOLDER] (default: the current folder). Needs DISPLAY
// (tests/x11/run-with-display.sh starts a server of its own).
#include "editor/EditorDialogs.h"
#include "resources/dialogs/DialogIds.h"
#include "tests/support/WindowTestChecks.h"
#include "toolkit/CBitmap.h"
#include "toolkit/CPlatformDialogs.h"
#include "toolkit/X11Support.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace treskpro;
using namespace treskpro::toolkit;
using treskpro::windowtest::check;
using treskpro::windowtest::failures;
using treskpro::windowtest::milliseconds;
using treskpro::windowtest::sleepMilliseconds;

namespace {

// What the handler was told: the control and its state at that moment.
struct Report {
    int id;
    bool checked;
    int position;
    std::string text;
};

// Records every report; Return/OK and Escape/Cancel end the dialog. `react` adds a dialog's own
// behaviour (its setters must not come back as reports).
class RecordingHandler : public CDialogHandler {
public:
    std::function<void(CDialog&)> setUp;
    std::function<void(CDialog&, int)> react;

    void initDialog(CDialog& dialog) override {
        if (setUp)
            setUp(dialog);
    }
    void controlChanged(CDialog& dialog, int id) override {
        {
            const std::lock_guard<std::mutex> guard(lock);
            reports.push_back({id, dialog.isChecked(id), dialog.position(id), dialog.text(id)});
        }
        if (react)
            react(dialog, id);
        if (id == IDOK || id == IDCANCEL)
            dialog.end(id);
        count.fetch_add(1);
    }

    std::vector<Report> seen() {
        const std::lock_guard<std::mutex> guard(lock);
        return reports;
    }
    Report last() {
        const std::lock_guard<std::mutex> guard(lock);
        return reports.empty() ? Report{0, false, 0, {}} : reports.back();
    }

    std::atomic<int> count{0};

private:
    std::mutex lock;
    std::vector<Report> reports;
};

// The user's hand: a connection of its own that finds the dialog on the screen and moves the
// server's pointer and presses its keys.
class Hand {
public:
    Hand() : display(XOpenDisplay(nullptr)) {}
    ~Hand() {
        if (display != nullptr)
            XCloseDisplay(display);
    }
    Hand(const Hand&) = delete;
    Hand& operator=(const Hand&) = delete;

    // Waits until a window titled `title` is on the screen; false after two seconds.
    bool find(const std::string& title) {
        const double end = milliseconds() + 2000;
        while (milliseconds() < end) {
            if ((window = shownWindow(title)) != 0) {
                Window child = 0;
                XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &origin.x,
                                      &origin.y, &child);
                XWindowAttributes attributes{};
                XGetWindowAttributes(display, window, &attributes);
                size = {attributes.width, attributes.height};
                sleepMilliseconds(100); // it takes the keyboard focus once mapped
                return true;
            }
            sleepMilliseconds(10);
        }
        return false;
    }

    void move(CPoint inWindow) {
        XTestFakeMotionEvent(display, DefaultScreen(display), origin.x + inWindow.x,
                             origin.y + inWindow.y, CurrentTime);
        settle();
    }
    void press(CPoint inWindow) {
        move(inWindow);
        XTestFakeButtonEvent(display, 1, True, CurrentTime);
        settle();
    }
    void release(CPoint inWindow) {
        move(inWindow);
        XTestFakeButtonEvent(display, 1, False, CurrentTime);
        settle();
    }
    void click(CPoint inWindow) {
        press(inWindow);
        release(inWindow);
    }
    void drag(CPoint from, CPoint to, int steps) {
        press(from);
        for (int k = 1; k <= steps; ++k)
            move({from.x + (to.x - from.x) * k / steps, from.y + (to.y - from.y) * k / steps});
        release(to);
    }
    void key(KeySym symbol) {
        const KeyCode code = XKeysymToKeycode(display, symbol);
        XTestFakeKeyEvent(display, code, True, CurrentTime);
        XTestFakeKeyEvent(display, code, False, CurrentTime);
        settle();
    }
    // A key with a modifier (XK_Shift_L, XK_Control_L) held.
    void chord(KeySym modifier, KeySym symbol) {
        const KeyCode held = XKeysymToKeycode(display, modifier);
        XTestFakeKeyEvent(display, held, True, CurrentTime);
        key(symbol);
        XTestFakeKeyEvent(display, held, False, CurrentTime);
        settle();
    }
    void type(const std::string& text) {
        for (const char c : text)
            key(c == '\n' ? XK_Return : KeySym(static_cast<unsigned char>(c)));
    }

    // The dialog's window as the server shows it.
    CBitmap picture() {
        sleepMilliseconds(100);
        CBitmap result(size.x, size.y);
        XImage* image = XGetImage(display, window, 0, 0, unsigned(size.x), unsigned(size.y),
                                  AllPlanes, ZPixmap);
        if (image == nullptr)
            return result;
        const auto channel = [](unsigned long pixel, unsigned long mask) {
            unsigned long value = pixel & mask;
            for (; mask != 0 && (mask & 1) == 0; mask >>= 1)
                value >>= 1;
            return std::uint32_t(value & 0xff);
        };
        for (int y = 0; y < size.y; ++y) {
            for (int x = 0; x < size.x; ++x) {
                const unsigned long pixel = XGetPixel(image, x, y);
                result.row(y)[x] = 0xff000000u | channel(pixel, image->red_mask) << 16 |
                                   channel(pixel, image->green_mask) << 8 |
                                   channel(pixel, image->blue_mask);
            }
        }
        XDestroyImage(image);
        return result;
    }

    Display* display;
    Window window = 0;
    CPoint origin;
    CPoint size;

private:
    void settle() {
        XSync(display, False);
        sleepMilliseconds(15);
    }

    Window shownWindow(const std::string& title) {
        Window root = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        Window found = 0;
        if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
            return 0;
        for (unsigned k = 0; k < count && found == 0; ++k) {
            char* name = nullptr;
            XWindowAttributes attributes{};
            if (XFetchName(display, children[k], &name) && name != nullptr) {
                if (title == name && XGetWindowAttributes(display, children[k], &attributes) &&
                    attributes.map_state == IsViewable)
                    found = children[k];
                XFree(name);
            }
        }
        if (children != nullptr)
            XFree(children);
        return found;
    }
};

// Waits until `done` holds; false after three seconds.
bool waitUntil(const std::function<bool()>& done) {
    const double end = milliseconds() + 3000;
    while (!done()) {
        if (milliseconds() > end)
            return false;
        sleepMilliseconds(5);
    }
    return true;
}

// Waits until the handler has had `count` reports.
bool waitFor(RecordingHandler& handler, int count) {
    return waitUntil([&] { return handler.count.load() >= count; });
}

CRect placeOf(const CDialogTemplate& dialog, int id) {
    const CDialogControl* control = dialog.control(id);
    return control != nullptr ? x11::dialogPixels(dialog, control->area) : CRect{};
}

// A check box or radio button is clicked on its mark.
CPoint markOf(const CDialogTemplate& dialog, int id) {
    const CRect place = placeOf(dialog, id);
    return {place.left + 6, place.center().y};
}

std::string joined(const std::vector<Report>& reports) {
    std::string ids;
    for (const Report& report : reports)
        ids += (ids.empty() ? "" : " ") + std::to_string(report.id);
    return ids;
}

struct Run {
    int result = -1;
    double seconds = 0;
};

// Runs the dialog on this thread while `user` acts on another. A dialog the user's actions left
// open is closed with cancelOpenDialogs after three seconds, and fails the check.
Run runWith(CPlatformDialogs& dialogs, const CDialogTemplate& dialog, RecordingHandler& handler,
            const std::function<void()>& user) {
    std::atomic<bool> returned{false};
    std::thread hand([&] {
        user();
        if (!waitUntil([&] { return returned.load(); })) {
            check(false, dialog.title + " stays open after the user's last action");
            dialogs.cancelOpenDialogs();
        }
    });
    const double start = milliseconds();
    Run run;
    run.result = dialogs.runDialog(dialog, handler);
    run.seconds = (milliseconds() - start) / 1000.0;
    returned.store(true);
    hand.join();
    return run;
}

void preferences(CPlatformDialogs& dialogs, Display* display, Window owner,
                 const std::string& folder) {
    const CDialogTemplate& dialog = editorDialogTemplate("IDD_PREFERENCES");
    check(dialog.title == "Tresk Pro Preferences", "the preferences template is built in");
    RecordingHandler handler;
    handler.setUp = [](CDialog& shown) {
        shown.setChecked(IDC_STANDARD_TUNING, true);
        shown.setChecked(IDC_FILTER_24, true);
        shown.setChecked(IDC_SHOW_CABLES, true);
        shown.setChecked(IDC_STICKY_CONTROLS, true);
        shown.setChecked(IDC_SYNC_TO_HOST, true);
        shown.setText(IDC_TUNING_NAME, "/home/someone/Tresk Pro/Tresk Pro Tunings/Werckmeister "
                                       "III well tempered.tun");
        shown.setRange(IDC_CABLE_TENSION, 0, 100);
        shown.setPosition(IDC_CABLE_TENSION, 50);
        shown.setRange(IDC_POLYPHONY, 1, 16);
        shown.setPosition(IDC_POLYPHONY, 6);
        shown.setRange(IDC_BEND_RANGE, 1, 24);
        shown.setPosition(IDC_BEND_RANGE, 12);
    };
    // The handler's own changes in answer: shown, never reported back.
    handler.react = [](CDialog& shown, int id) {
        if (id == IDC_POLYPHONY)
            shown.setText(IDC_POLYPHONY_LABEL,
                          "Voices: " + std::to_string(shown.position(IDC_POLYPHONY)));
        if (id == IDC_CABLE_SHADOWS)
            shown.setChecked(IDC_SHOW_CABLES, false);
    };
    int dragReports = 0;
    int afterKeys = 0;
    bool found = false;
    CPoint centre;
    const Run run = runWith(dialogs, dialog, handler, [&] {
        Hand hand;
        if (!(found = hand.find(dialog.title)))
            return;
        centre = {hand.origin.x + hand.size.x / 2, hand.origin.y + hand.size.y / 2};
        hand.click(markOf(dialog, IDC_CABLE_SHADOWS));
        waitFor(handler, 1);
        // A click on the slider's far right takes it to its maximum, a drag to its minimum.
        const CRect slider = placeOf(dialog, IDC_POLYPHONY);
        hand.click({slider.right - 2, slider.center().y});
        waitFor(handler, 2);
        const int before = handler.count.load();
        hand.drag({slider.right - 6, slider.center().y}, {slider.left - 20, slider.center().y}, 10);
        waitUntil([&] { return handler.last().position == 1; });
        dragReports = handler.count.load() - before;
        // The slider has the focus: Right steps it by one, Page Down by a fifth of its range.
        hand.key(XK_Right);
        hand.key(XK_Next);
        waitFor(handler, before + dragReports + 2);
        afterKeys = handler.last().position;
        hand.click(markOf(dialog, IDC_CUSTOM_TUNING));
        waitFor(handler, before + dragReports + 3);
        // The editor's window (the owner) takes no clicks while the dialog is open.
        XTestFakeMotionEvent(hand.display, DefaultScreen(hand.display), 5, 5, CurrentTime);
        XTestFakeButtonEvent(hand.display, 1, True, CurrentTime);
        XTestFakeButtonEvent(hand.display, 1, False, CurrentTime);
        XSync(hand.display, False);
        sleepMilliseconds(50);
        check(hand.picture().savePng(folder + "/x11-dialog-preferences.png"),
              "save the preferences dialog's picture");
        hand.key(XK_Return);
    });
    check(found, "the preferences dialog is shown, titled \"Tresk Pro Preferences\"");
    check(found && std::abs(centre.x - 450) <= 1 && std::abs(centre.y - 350) <= 1,
          "it is centred over the owner's window");
    const std::vector<Report> seen = handler.seen();
    check(!seen.empty() && seen.front().id == IDC_CABLE_SHADOWS && seen.front().checked,
          "clicking \"Cable shadows\" checks it and reports it");
    bool onlyUser = true;
    for (const Report& report : seen)
        onlyUser = onlyUser && report.id != IDC_SHOW_CABLES && report.id != IDC_POLYPHONY_LABEL;
    check(onlyUser, "the handler's own changes are not reported (" + joined(seen) + ")");
    check(seen.size() > 1 && seen[1].id == IDC_POLYPHONY && seen[1].position == 16,
          "a click at the slider's end moves it there");
    check(dragReports >= 5 && seen.size() > 2 && seen[1 + std::size_t(dragReports)].position == 1,
          "dragging the slider reports each position down to its minimum (" +
              std::to_string(dragReports) + " reports)");
    check(afterKeys == 5, "Right and Page Down step the focused slider (1 -> " +
                              std::to_string(afterKeys) + ", wanted 5)");
    const Report radio = seen.size() >= 2 ? seen[seen.size() - 2] : Report{0, false, 0, {}};
    check(radio.id == IDC_CUSTOM_TUNING && radio.checked, "clicking \"Custom tuning\" selects it");
    check(!seen.empty() && seen.back().id == IDOK && run.result == IDOK,
          "Return presses OK, which the dialog answers");
    // The owner's own queue: a press would be in it if the click had reached it.
    bool ownerPressed = false;
    XSync(display, False);
    for (XEvent event; XCheckTypedWindowEvent(display, owner, ButtonPress, &event);)
        ownerPressed = true;
    check(!ownerPressed, "the owner's window got no click while the dialog was open");
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    check(focus == owner, "the keyboard focus returns to the owner when the dialog closes");
    std::printf("preferences dialog open %.2f s\n", run.seconds);
}

void patchInfo(CPlatformDialogs& dialogs, const std::string& folder) {
    const CDialogTemplate& dialog = editorDialogTemplate("IDD_PATCHINFO");
    RecordingHandler handler;
    std::string text = "First line\r\nSecond line\r\n";
    for (int line = 3; line <= 14; ++line)
        text += "Line " + std::to_string(line) + "\r\n";
    text += "A long last paragraph that is wider than the field, so it wraps at its spaces onto "
            "the lines below.";
    handler.setUp = [text](CDialog& shown) { shown.setText(IDC_INFO_TEXT, text); };
    int reportsBeforeOk = -1;
    bool okBeforeButton = false;
    const Run run = runWith(dialogs, dialog, handler, [&] {
        Hand hand;
        if (!hand.find(dialog.title))
            return;
        // Just after the end of the second line, then typing and a new line there.
        const CRect field = placeOf(dialog, IDC_INFO_TEXT);
        hand.click({field.left + 150, field.top + 22});
        hand.type("x\nyz");
        hand.key(XK_BackSpace);
        hand.type("w");
        waitFor(handler, 6);
        for (const Report& report : handler.seen())
            okBeforeButton = okBeforeButton || report.id == IDOK;
        hand.click(markOf(dialog, IDC_SHOW_INFO));
        waitFor(handler, 7);
        // The end of the text, wrapped and scrolled into view, its last line selected.
        hand.click({field.left + 150, field.top + 22});
        hand.chord(XK_Control_L, XK_End);
        hand.chord(XK_Shift_L, XK_Home);
        check(hand.picture().savePng(folder + "/x11-dialog-patch-info.png"),
              "save the patch-info dialog's picture");
        reportsBeforeOk = handler.count.load();
        hand.click(placeOf(dialog, IDOK).center());
    });
    const std::vector<Report> seen = handler.seen();
    std::string typed;
    for (const Report& report : seen) {
        if (report.id == IDC_INFO_TEXT)
            typed = report.text;
    }
    const std::string wanted = "First line\r\nSecond linex\r\nyw\r\nLine 3";
    check(typed.substr(0, wanted.size()) == wanted,
          "typing, Return and Backspace edit the multi-line field where it was clicked, with "
          "Windows line ends (" +
              typed.substr(0, 40) + "...)");
    check(!okBeforeButton, "Return in the multi-line field makes a new line, not OK");
    check(reportsBeforeOk == 7 && seen.size() == 8 && seen[6].id == IDC_SHOW_INFO &&
              seen[6].checked,
          "clicking \"Show patch info\" checks it");
    check(!seen.empty() && seen.back().id == IDOK && run.result == IDOK,
          "the OK button ends the dialog");
}

void randomizer(CPlatformDialogs& dialogs, const std::string& folder) {
    const CDialogTemplate& dialog = editorDialogTemplate("IDD_RANDOMIZER");
    RecordingHandler handler;
    handler.setUp = [](CDialog& shown) {
        shown.setRange(IDC_LENGTH, 1, 16);
        shown.setPosition(IDC_LENGTH, 16);
        shown.setText(IDC_HI, "60");
        shown.setRange(IDC_HI_SPIN, 0, 127);
        shown.setText(IDC_LO, "36");
        shown.setRange(IDC_LO_SPIN, 0, 127);
        const int densities[] = {IDC_NOTE_DENSITY, IDC_GATE_DENSITY, IDC_SLIDE_DENSITY,
                                 IDC_ACCENT_DENSITY};
        for (int k = 0; k < 4; ++k) {
            shown.setRange(densities[k], 0, 16);
            shown.setPosition(densities[k], 4 * k);
            shown.setChecked(IDC_NOTE_ENABLE + k, k != 2);
        }
        shown.setChecked(IDC_ROOT_C, true);
        shown.setChecked(IDC_SCALE_DORIAN, true);
    };
    std::vector<Report> beforeCancel;
    const Run run = runWith(dialogs, dialog, handler, [&] {
        Hand hand;
        if (!hand.find(dialog.title))
            return;
        const CRect spin = placeOf(dialog, IDC_HI_SPIN);
        hand.click({spin.center().x, spin.top + 3});
        hand.click(placeOf(dialog, IDC_LO).center());
        hand.key(XK_End);
        hand.key(XK_BackSpace);
        hand.type("7a");
        // Shift+Tab goes back to the Hi field and selects its text: typing replaces it.
        hand.chord(XK_Shift_L, XK_Tab);
        hand.type("5");
        // Copied there and pasted over the Lo field's text, which Tab selects.
        hand.chord(XK_Control_L, XK_a);
        hand.chord(XK_Control_L, XK_c);
        hand.key(XK_Tab);
        hand.chord(XK_Control_L, XK_v);
        waitFor(handler, 5);
        check(hand.picture().savePng(folder + "/x11-dialog-randomizer.png"),
              "save the randomizer dialog's picture");
        beforeCancel = handler.seen();
        // The editor is going away: the open dialog ends as cancelled.
        dialogs.cancelOpenDialogs();
    });
    check(beforeCancel.size() >= 3 && beforeCancel[0].id == IDC_HI &&
              beforeCancel[0].text == "61" && beforeCancel[2].id == IDC_LO &&
              beforeCancel[2].text == "37",
          "the spin button steps its field, reported as the field; a number field takes no "
          "letters (" +
              joined(beforeCancel) + ")");
    check(beforeCancel.size() >= 4 && beforeCancel[3].id == IDC_HI && beforeCancel[3].text == "5",
          "Shift+Tab selects the previous field's text, and typing replaces it");
    check(beforeCancel.size() == 5 && beforeCancel[4].id == IDC_LO && beforeCancel[4].text == "5",
          "Ctrl+C and Ctrl+V copy a field's text into another through the clipboard");
    const std::vector<Report> seen = handler.seen();
    check(run.result == IDCANCEL && !seen.empty() && seen.back().id == IDCANCEL,
          "cancelOpenDialogs closes the open dialog as cancelled");
}

// The window manager's close box, as a window manager asks for it.
void closeBox(CPlatformDialogs& dialogs) {
    const CDialogTemplate& dialog = editorDialogTemplate("IDD_PATCHINFO");
    RecordingHandler handler;
    const Run run = runWith(dialogs, dialog, handler, [&] {
        Hand hand;
        if (!hand.find(dialog.title))
            return;
        XEvent close{};
        close.xclient.type = ClientMessage;
        close.xclient.window = hand.window;
        close.xclient.message_type = XInternAtom(hand.display, "WM_PROTOCOLS", False);
        close.xclient.format = 32;
        close.xclient.data.l[0] = long(XInternAtom(hand.display, "WM_DELETE_WINDOW", False));
        close.xclient.data.l[1] = CurrentTime;
        XSendEvent(hand.display, hand.window, False, NoEventMask, &close);
        XSync(hand.display, False);
    });
    const std::vector<Report> seen = handler.seen();
    check(seen.size() == 1 && seen[0].id == IDCANCEL && run.result == IDCANCEL,
          "the window manager's close box cancels the dialog");
}

// A host may destroy its window, and the editor's with it, while a dialog is open: the dialog
// ends as cancelled, and no X error ends the process.
void ownerDestroyed(Display* display) {
    const Window doomed =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 400, 300, 0, 0, 0);
    XMapWindow(display, doomed);
    XSync(display, False);
    const auto dialogs =
        createPlatformDialogs(reinterpret_cast<void*>(static_cast<std::uintptr_t>(doomed)));
    const CDialogTemplate& dialog = editorDialogTemplate("IDD_PATCHINFO");
    RecordingHandler handler;
    const Run run = runWith(*dialogs, dialog, handler, [&] {
        Hand hand;
        if (!hand.find(dialog.title))
            return;
        XDestroyWindow(hand.display, doomed);
        XSync(hand.display, False);
    });
    const std::vector<Report> seen = handler.seen();
    check(seen.size() == 1 && seen[0].id == IDCANCEL && run.result == IDCANCEL,
          "the dialog ends as cancelled when its owner's window is destroyed");
}

} // namespace

int main(int argc, char** argv) {
    const double started = milliseconds();
    const std::string folder = argc > 1 ? argv[1] : ".";
    Display* display = XOpenDisplay(nullptr);
    check(display != nullptr, "open the X display");
    if (display == nullptr)
        return 1;
    int event = 0, error = 0, major = 0, minor = 0;
    check(XTestQueryExtension(display, &event, &error, &major, &minor),
          "the server has the XTest extension");

    // The editor's window, as the host gave it: the dialogs' owner.
    XSetWindowAttributes attributes{};
    attributes.event_mask = ButtonPressMask | StructureNotifyMask;
    const Window owner =
        XCreateWindow(display, DefaultRootWindow(display), 0, 0, 900, 700, 0, CopyFromParent,
                      InputOutput, CopyFromParent, CWEventMask, &attributes);
    XMapWindow(display, owner);
    for (XEvent mapped;;) {
        XNextEvent(display, &mapped);
        if (mapped.type == MapNotify)
            break;
    }
    const auto dialogs =
        createPlatformDialogs(reinterpret_cast<void*>(static_cast<std::uintptr_t>(owner)));
    check(dialogs != nullptr, "the X11 build has system dialogs");
    if (dialogs == nullptr)
        return 1;

    XSetInputFocus(display, owner, RevertToParent, CurrentTime);
    XSync(display, False);
    preferences(*dialogs, display, owner, folder);
    patchInfo(*dialogs, folder);
    randomizer(*dialogs, folder);
    closeBox(*dialogs);
    ownerDestroyed(display);

    XDestroyWindow(display, owner);
    XCloseDisplay(display);
    std::printf("%s in %.1f s\n", failures == 0 ? "all checks passed" : "some checks FAILED",
                (milliseconds() - started) / 1000.0);
    return failures == 0 ? 0 : 1;
}
