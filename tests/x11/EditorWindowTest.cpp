// The instrument's editor in a real X11 window, as a Linux host shows it: the bundle's
// Treskpro.so is loaded through its entry point, its editor opened in a top-level window of ours
// and idled from our event loop, then driven with the X server's own mouse and keyboard (XTest).
// The host callback records the automation and the edit gestures. The window's pixels are read
// back and compared with the same panel opened headless on an in-process instance given the same
// input. With --open-close N it instead opens and closes the editor N times (for the sanitizers).
// Prints one line per check; the exit code is 0 only when all of them pass.
//
// Usage: treskpro-x11-editor-test [--open-close N] [BUNDLE_FOLDER [WORK_FOLDER [PICTURE.png]]]
// (defaults: the build's bundle, x11-editor-test and x11-editor.png in the build folder).
// Needs DISPLAY (tests/x11/run-with-display.sh starts a server of its own).
#include "editor/SkinDefinition.h"
#include "platform/Platform.h"
#include "plugin/VstInterface.h"
#include "tests/support/EditorHarness.h"
#include "tests/support/WindowTestChecks.h"
#include "toolkit/CBitmap.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

using namespace treskpro;
using namespace vst;
using namespace treskpro::windowtest;
using toolkit::CBitmap;
using toolkit::CPoint;
using toolkit::CRect;

namespace {

// The input of the test, given to both panels alike.
class Panel {
public:
    virtual ~Panel() = default;
    virtual void press(CPoint where) = 0;
    virtual void move(CPoint where) = 0;
    virtual void release(CPoint where) = 0;
    virtual void key(int vstKey, KeySym symbol, char typed) = 0;
    // Lets the panel's timers run out (the floating value display hides after half a second).
    virtual void settle() = 0;
    virtual CBitmap picture() = 0;

    void click(CPoint where) {
        press(where);
        release(where);
    }
    void drag(CPoint from, CPoint to, int steps) {
        press(from);
        for (int k = 1; k <= steps; ++k)
            move({from.x + (to.x - from.x) * k / steps, from.y + (to.y - from.y) * k / steps});
        release(to);
    }
};

// ---- the real window ----

class Host {
public:
    Host(Display* connection, AEffect* plugin, int width, int height)
        : display(connection), effect(plugin) {
        XSetWindowAttributes attributes{};
        attributes.event_mask = StructureNotifyMask | ExposureMask;
        attributes.background_pixel = WhitePixel(display, DefaultScreen(display));
        window = XCreateWindow(display, DefaultRootWindow(display), 0, 0, unsigned(width),
                               unsigned(height), 0, CopyFromParent, InputOutput, CopyFromParent,
                               CWEventMask | CWBackPixel, &attributes);
        XStoreName(display, window, "Tresk Pro");
        XMapWindow(display, window);
        for (XEvent event;;) {
            XNextEvent(display, &event);
            if (event.type == MapNotify)
                break;
        }
    }
    ~Host() {
        if (window != 0)
            XDestroyWindow(display, window);
    }

    // Runs the host's loop for `duration` milliseconds: its own events, and the editor's idle
    // every 20 ms, as hosts do from a timer.
    void pump(int duration) {
        const double end = milliseconds() + duration;
        do {
            while (XPending(display) > 0) {
                XEvent event;
                XNextEvent(display, &event);
            }
            if (idling) {
                const double start = milliseconds();
                effect->dispatcher(effect, effEditIdle, 0, 0, nullptr, 0.0f);
                slowestIdle = std::max(slowestIdle, milliseconds() - start);
            }
            sleepMilliseconds(20);
        } while (milliseconds() < end);
    }

    // The editor's window: the one child the plug-in made in ours.
    Window editorWindow() const {
        Window root = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned count = 0;
        Window found = 0;
        if (XQueryTree(display, window, &root, &parent, &children, &count) && count > 0)
            found = children[0];
        if (children != nullptr)
            XFree(children);
        return found;
    }

    Display* display;
    AEffect* effect;
    Window window = 0;
    bool idling = false;
    double slowestIdle = 0.0;
};

class WindowPanel : public Panel {
public:
    WindowPanel(Host& owner, int panelWidth, int panelHeight)
        : host(owner), width(panelWidth), height(panelHeight) {}

    // The server's own pointer and buttons, so it picks the window under the pointer (or the
    // one holding the press) and makes the events, as for a user's hand. The host window sits
    // at the screen's origin, with no window manager to move it.
    void press(CPoint where) override {
        move(where);
        XTestFakeButtonEvent(host.display, 1, True, CurrentTime);
        settleInput();
    }
    void move(CPoint where) override {
        XTestFakeMotionEvent(host.display, DefaultScreen(host.display), where.x, where.y,
                             CurrentTime);
        settleInput();
    }
    void release(CPoint where) override {
        move(where);
        XTestFakeButtonEvent(host.display, 1, False, CurrentTime);
        settleInput();
    }
    // Keys go to the window with the keyboard focus: the editor's, since it was clicked.
    void key(int, KeySym symbol, char) override {
        const KeyCode code = XKeysymToKeycode(host.display, symbol);
        XTestFakeKeyEvent(host.display, code, True, CurrentTime);
        XTestFakeKeyEvent(host.display, code, False, CurrentTime);
        settleInput();
    }
    void settle() override { host.pump(800); }

    // The editor's window as the server shows it.
    CBitmap picture() override {
        CBitmap result(width, height);
        XImage* image = XGetImage(host.display, host.editorWindow(), 0, 0, unsigned(width),
                                  unsigned(height), AllPlanes, ZPixmap);
        if (image == nullptr)
            return result;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const unsigned long pixel = XGetPixel(image, x, y);
                const auto channel = [pixel](unsigned long mask) {
                    unsigned long value = pixel & mask;
                    for (; mask != 0 && (mask & 1) == 0; mask >>= 1)
                        value >>= 1;
                    return std::uint32_t(value & 0xff);
                };
                result.row(y)[x] = 0xff000000u | channel(image->red_mask) << 16 |
                                   channel(image->green_mask) << 8 | channel(image->blue_mask);
            }
        }
        XDestroyImage(image);
        return result;
    }

private:
    void settleInput() {
        XSync(host.display, False);
        host.pump(30);
    }

    Host& host;
    int width;
    int height;
};

// ---- the same panel headless, in process ----

class HeadlessPanel : public Panel {
public:
    explicit HeadlessPanel(treskpro::testing::HeadlessEditor& opened) : editor(opened) {}

    void press(CPoint where) override {
        editor.window().mouseDown(where);
        editor.idle();
    }
    void move(CPoint where) override {
        editor.window().mouseMove(where);
        editor.idle();
    }
    void release(CPoint where) override {
        editor.window().mouseUp(where);
        editor.idle();
    }
    void key(int vstKey, KeySym, char typed) override {
        if (vstKey != 0)
            editor.window().keyDown({0, vstKey, 0});
        else
            editor.window().type(std::string(1, typed));
        editor.idle();
    }
    void settle() override {
        for (int k = 0; k < 27; ++k) {
            sleepMilliseconds(30);
            editor.idle();
        }
    }
    CBitmap picture() override { return editor.render(); }

private:
    treskpro::testing::HeadlessEditor& editor;
};

// ---- the checks ----

struct Places {
    CRect cutoff;
    CRect next;
    CRect range;
    CRect stepDigits;
    CRect downLamp;
    CRect clear;
};

struct Pictures {
    CBitmap opened;
    CBitmap afterNext;
    CBitmap afterReturn;
    CBitmap afterKey;
};

Pictures play(Panel& panel, const Places& places) {
    Pictures pictures;
    panel.settle();
    pictures.opened = panel.picture();
    const CPoint knob = places.cutoff.center();
    panel.drag(knob, knob.offset(0, -40), 8);
    panel.click(places.next.center());
    panel.settle();
    pictures.afterNext = panel.picture();
    panel.click(places.range.center());
    panel.key(4, XK_Return, 0);
    panel.settle();
    pictures.afterReturn = panel.picture();
    panel.key(0, XK_a, 'a');
    panel.settle();
    pictures.afterKey = panel.picture();
    return pictures;
}

void checkPictures(const Pictures& pictures, const Places& places, const char* which) {
    check(differs(pictures.opened, pictures.afterNext, places.stepDigits),
          std::string(which) + ": B_NEXT changes the step number shown");
    check(differs(pictures.afterNext, pictures.afterReturn, places.stepDigits),
          std::string(which) + ": the Return key moves to the next step");
    check(differs(pictures.afterReturn, pictures.afterKey, places.downLamp),
          std::string(which) + ": the 'a' key toggles the step's octave-down lamp");
}

std::vector<char> chunkOf(AEffect* effect) {
    void* data = nullptr;
    const intptr size = effect->dispatcher(effect, effGetChunk, 0, 0, &data, 0.0f);
    const char* bytes = static_cast<const char*>(data);
    return size > 0 && bytes != nullptr ? std::vector<char>(bytes, bytes + size)
                                        : std::vector<char>();
}

// Presses at `where`, which opens a message box from the press; another "hand" then lets go of
// the button and answers with `key` while the box holds the editor's thread.
void answerBox(Host& host, WindowPanel& window, CPoint where, KeySym key) {
    std::thread user([key] {
        Display* display = XOpenDisplay(nullptr);
        sleepMilliseconds(500);
        XTestFakeButtonEvent(display, 1, False, CurrentTime);
        XSync(display, False);
        sleepMilliseconds(300);
        const KeyCode code = XKeysymToKeycode(display, key);
        XTestFakeKeyEvent(display, code, True, CurrentTime);
        XTestFakeKeyEvent(display, code, False, CurrentTime);
        XCloseDisplay(display);
    });
    window.move(where);
    XTestFakeButtonEvent(host.display, 1, True, CurrentTime);
    XSync(host.display, False);
    host.pump(300);
    user.join();
    host.pump(200);
}

std::string joined(const std::string& folder, const std::string& name) {
    return folder + platform::pathSeparator + name;
}

} // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    const double started = milliseconds();
    std::vector<std::string> arguments(argv + 1, argv + argc);
    int openCloseCount = 0;
    if (arguments.size() >= 2 && arguments[0] == "--open-close") {
        openCloseCount = std::atoi(arguments[1].c_str());
        arguments.erase(arguments.begin(), arguments.begin() + 2);
    }
    const std::string build = joined(platform::executableDirectory(), "..");
    const std::string bundle = arguments.size() > 0 ? arguments[0] : joined(build, "bundle");
    const std::string work = arguments.size() > 1 ? arguments[1] : joined(build, "x11-editor-test");
    const std::string picturePath =
        arguments.size() > 2 ? arguments[2] : joined(build, "x11-editor.png");

    Display* display = XOpenDisplay(nullptr);
    check(display != nullptr, "open the X display");
    if (display == nullptr)
        return 1;
    int event = 0, error = 0, major = 0, minor = 0;
    check(XTestQueryExtension(display, &event, &error, &major, &minor),
          "the server has the XTest extension");

    // The plug-in runs from a copy of the bundle: closing it writes Gui.ini and the patch there,
    // and the keymap and the question before clearing a pattern are switched on for this run.
    const std::string folder = joined(work, "bundle");
    std::error_code copyError;
    fs::remove_all(folder, copyError);
    fs::create_directories(work, copyError);
    fs::copy(bundle, folder, fs::copy_options::recursive, copyError);
    check(!copyError,
          "copy the bundle to " + folder + (copyError ? ": " + copyError.message() : ""));
    std::ofstream(joined(folder, "Gui.ini"), std::ios::binary)
        << "UseKeyboard = 1\r\nClearConfirm = 1\r\n";

    SkinDefinition skin;
    check(skin.read(joined(folder, "TreskPro.skn")), "read the bundle's TreskPro.skn");
    const int width = skin.editorWidth();
    const int height = skin.editorHeight();
    const Places places{
        skin.rectangleOf(skin.tagOf("CUTOFFKNOB")), skin.rectangleOf(skin.tagOf("B_NEXT")),
        skin.rectangleOf(skin.tagOf("VCO1RANGE")),  skin.rectangleOf(skin.tagOf("STEPDISPLAY")),
        skin.rectangleOf(skin.tagOf("DOWNLED")),    skin.rectangleOf(skin.tagOf("B_PATTERNCLEAR"))};

    void* library = dlopen(joined(folder, "Treskpro.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    check(library != nullptr, std::string("load Treskpro.so") +
                                  (library == nullptr ? std::string(": ") + dlerror() : ""));
    if (library == nullptr)
        return 1;
    auto* entry = reinterpret_cast<AEffect* (*)(HostCallback)>(dlsym(library, "VSTPluginMain"));
    AEffect* effect = entry != nullptr ? entry(hostCallback) : nullptr;
    check(effect != nullptr && effect->magic == kEffectMagic, "VSTPluginMain gives the plug-in");
    if (effect == nullptr)
        return 1;
    auto dispatch = [effect](int32 opcode, intptr value = 0, void* ptr = nullptr) {
        return effect->dispatcher(effect, opcode, 0, value, ptr, 0.0f);
    };
    dispatch(effOpen);
    check((effect->flags & effFlagsHasEditor) != 0, "with a display the plug-in has an editor");

    ERect* rectangle = nullptr;
    dispatch(effEditGetRect, 0, &rectangle);
    check(rectangle != nullptr && rectangle->right - rectangle->left == width &&
              rectangle->bottom - rectangle->top == height,
          text("before opening, the editor's rectangle is the skin's %.0f x %.0f", width, height));

    if (openCloseCount > 0) {
        // Every open makes a connection, a window and an image; every close must give them
        // back (the sanitizers report what is left at exit).
        Host host(display, effect, width, height);
        void* parent = reinterpret_cast<void*>(static_cast<std::uintptr_t>(host.window));
        int opened = 0;
        double slowest = 0.0;
        for (int k = 0; k < openCloseCount; ++k) {
            const double start = milliseconds();
            if (dispatch(effEditOpen, 0, parent) != 0)
                ++opened;
            for (int idle = 0; idle < 3; ++idle)
                dispatch(effEditIdle);
            dispatch(effEditClose);
            slowest = std::max(slowest, milliseconds() - start);
        }
        check(opened == openCloseCount,
              text("the editor opened %.0f times of %.0f", opened, openCloseCount));
        check(host.editorWindow() == 0, "no window of the editor is left in the host's");
        std::printf("slowest open, idle and close: %.1f ms\n", slowest);

        // Hosts often destroy their window, and the editor's with it, before they close the
        // editor: the plug-in must not take the host down with an X error.
        Host doomed(display, effect, width, height);
        dispatch(effEditOpen, 0,
                 reinterpret_cast<void*>(static_cast<std::uintptr_t>(doomed.window)));
        dispatch(effEditIdle);
        XDestroyWindow(display, doomed.window);
        XSync(display, False);
        doomed.window = 0;
        dispatch(effEditClose);
        check(true, "the editor closes after the host destroyed its window");
    } else {
        treskpro::testing::HeadlessEditor headless(folder + platform::pathSeparator);

        Host host(display, effect, width, height);
        void* parent = reinterpret_cast<void*>(static_cast<std::uintptr_t>(host.window));
        const double openStart = milliseconds();
        const bool opened = dispatch(effEditOpen, 0, parent) != 0;
        const double openTime = milliseconds() - openStart;
        check(opened && host.editorWindow() != 0, "the editor opens in the host's window");
        if (!opened)
            return 1;
        host.idling = true;
        double idleTime = 0.0;
        for (int k = 0; k < 20; ++k) {
            const double idleStart = milliseconds();
            dispatch(effEditIdle);
            idleTime += milliseconds() - idleStart;
        }
        std::printf("open %.1f ms, idle with nothing changed %.3f ms\n", openTime, idleTime / 20.0);

        WindowPanel window(host, width, height);
        const float cutoffBefore = effect->getParameter(effect, 1);
        const float rangeBefore = effect->getParameter(effect, 16);
        const Pictures shown = play(window, places);
        const float cutoffAfter = effect->getParameter(effect, 1);
        check(cutoffAfter > cutoffBefore,
              text("dragging CUTOFFKNOB up raises Filter Cutoff (%.3f -> %.3f)", cutoffBefore,
                   cutoffAfter));
        check(oneGesture(1), "the host saw begin edit, automation, end edit for Filter Cutoff");
        const float rangeExpected = float((int(std::lround(rangeBefore * 2.0f)) + 1) % 3) * 0.5f;
        check(effect->getParameter(effect, 16) == rangeExpected && automated(16, rangeExpected),
              text("VCO1RANGE steps VCO-1 Range (%.1f -> %.1f) and tells the host", rangeBefore,
                   rangeExpected));
        std::printf("slowest idle while driven: %.1f ms\n", host.slowestIdle);
        checkPictures(shown, places, "window");
        check(shown.afterKey.savePng(picturePath), "save the window's picture to " + picturePath);

        const auto [headlessWidth, headlessHeight] = headless.rectangle();
        const bool headlessOpened = headless.open();
        check(headlessWidth == width && headlessHeight == height && headlessOpened,
              "the in-process instance opens its editor headless");
        if (headlessOpened) {
            HeadlessPanel drawn(headless);
            const Pictures rendered = play(drawn, places);
            checkPictures(rendered, places, "headless");
            const std::pair<const char*, int> comparisons[] = {
                {"opened", differentPixels(shown.opened, rendered.opened)},
                {"after the drag and B_NEXT", differentPixels(shown.afterNext, rendered.afterNext)},
                {"after VCO1RANGE and Return",
                 differentPixels(shown.afterReturn, rendered.afterReturn)},
                {"after the 'a' key", differentPixels(shown.afterKey, rendered.afterKey)}};
            for (const auto& [when, count] : comparisons)
                check(count == 0, "window and headless agree " + std::string(when) + ": " +
                                      std::to_string(count) + " pixels differ");
            headless.close();
        }

        // The pattern-clear button asks first, in a box of the plug-in's own: Escape answers
        // No and keeps the pattern, Return answers Yes and clears it.
        const std::vector<char> pattern = chunkOf(effect);
        answerBox(host, window, places.clear.center(), XK_Escape);
        check(chunkOf(effect) == pattern, "No in the Clear Pattern box keeps the pattern");
        answerBox(host, window, places.clear.center(), XK_Return);
        check(chunkOf(effect) != pattern, "Yes in the Clear Pattern box clears the pattern");

        host.idling = false;
        dispatch(effEditClose);
        host.pump(50);
        check(host.editorWindow() == 0, "closing the editor removes its window");
    }

    dispatch(effClose);
    dlclose(library);
    XCloseDisplay(display);
    std::printf("%s in %.1f s\n", failures == 0 ? "all checks passed" : "some checks FAILED",
                (milliseconds() - started) / 1000.0);
    return failures == 0 ? 0 : 1;
}
