// The instrument's editor in a real window, as a Windows host shows it: the bundle's Treskpro.dll
// is loaded through its entry point, its editor opened in a top-level window of ours and idled
// from a timer, then driven with the system's mouse (SendInput) and key messages. The host
// callback records the automation and the edit gestures. The window's pixels are saved as PNG and
// compared with the same panel opened headless on an in-process instance given the same input.
// Prints one line per check; the exit code is 0 only when all of them pass.
//
// Usage: treskpro-editor-window-test.exe [BUNDLE_FOLDER [WORK_FOLDER [PICTURE.png]]]
// (defaults: the build's bundle, editor-window-test and editor-window.png in the build folder).
#include "DialogIds.h"
#include "editor/SkinDefinition.h"
#include "platform/Platform.h"
#include "plugin/VstInterface.h"
#include "tests/support/EditorHarness.h"
#include "tests/support/WindowTestChecks.h"
#include "tests/wine/ScreenInput.h"
#include "toolkit/CBitmap.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
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
    // A key without a character (the VST virtual-key code and its Windows one).
    virtual void virtualKey(int vstKey, int windowsKey) = 0;
    virtual void character(char typed) = 0;
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

AEffect* idledEffect = nullptr;

LRESULT CALLBACK hostWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER && idledEffect != nullptr) {
        idledEffect->dispatcher(idledEffect, effEditIdle, 0, 0, nullptr, 0.0f);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Runs the message loop as a host does for `milliseconds`.
void pump(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= milliseconds)
            break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT);
    }
}

class WindowPanel : public Panel {
public:
    WindowPanel(HWND hostWindow, int panelWidth, int panelHeight)
        : host(hostWindow), width(panelWidth), height(panelHeight) {}

    // The mouse is the system's: the pointer is put on the point and the button goes through
    // the input queue, so Windows itself picks the window under the pointer (or the one that
    // captured the mouse at the press) and makes the messages, as for a user's hand.
    void press(CPoint where) override {
        pointAt(where);
        button(MOUSEEVENTF_LEFTDOWN);
    }
    void move(CPoint where) override { pointAt(where); }
    void release(CPoint where) override {
        pointAt(where);
        button(MOUSEEVENTF_LEFTUP);
    }

    void virtualKey(int, int windowsKey) override {
        postKey(WM_KEYDOWN, WPARAM(windowsKey));
        postKey(WM_KEYUP, WPARAM(windowsKey));
    }
    void character(char typed) override { postKey(WM_CHAR, WPARAM(typed)); }

    void settle() override { pump(800); }

    // The child window's client area as the screen shows it.
    CBitmap picture() override { return windowPicture(editorWindow(), RECT{0, 0, width, height}); }

    HWND editorWindow() const {
        POINT centre{width / 2, height / 2};
        return ChildWindowFromPoint(host, centre);
    }

private:
    void pointAt(CPoint where) {
        POINT point{where.x, where.y};
        ClientToScreen(host, &point);
        SetCursorPos(point.x, point.y);
        pump(30);
    }
    void button(DWORD flags) {
        INPUT input{};
        input.type = INPUT_MOUSE;
        input.mi.dwFlags = flags;
        SendInput(1, &input, sizeof input);
        pump(30);
    }
    // Keys go to the window with the keyboard focus: the editor's, since it was clicked.
    void postKey(UINT message, WPARAM key) {
        HWND focus = GetFocus();
        PostMessageA(focus != nullptr ? focus : editorWindow(), message, key, 1);
        pump(30);
    }

    HWND host;
    int width;
    int height;
};

// ---- the same panel headless, in process ----

class HeadlessPanel : public Panel {
public:
    explicit HeadlessPanel(treskpro::testing::HeadlessEditor& opened) : editor(opened) {}

    // The real window draws after every event and the host idles the editor on its timer; here
    // the editor is idled after every event.
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
    void virtualKey(int vstKey, int) override {
        editor.window().keyDown({0, vstKey, 0});
        editor.idle();
    }
    void character(char typed) override {
        editor.window().type(std::string(1, typed));
        editor.idle();
    }
    // The editor's timings run on the system's clock, as in the window.
    void settle() override {
        for (int k = 0; k < 27; ++k) {
            Sleep(30);
            editor.idle();
        }
    }
    CBitmap picture() override { return editor.render(); }

private:
    treskpro::testing::HeadlessEditor& editor;
};

// ---- the checks ----

// Where the test presses: the middle of a skin element.
struct Places {
    CRect cutoff;
    CRect next;
    CRect range;
    CRect stepDigits;
    CRect downLamp;
    CRect cableFrom; // an output socket
    CRect cableTo;   // an input it may feed
};

// The gestures of the test, with a picture after each step for the checks that look.
struct Pictures {
    CBitmap opened;
    CBitmap afterNext;
    CBitmap afterReturn;
    CBitmap afterKey;
    CBitmap afterCable;
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
    panel.virtualKey(4, VK_RETURN);
    panel.settle();
    pictures.afterReturn = panel.picture();
    panel.character('a');
    panel.settle();
    pictures.afterKey = panel.picture();
    panel.drag(places.cableFrom.center(), places.cableTo.center(), 12);
    panel.settle();
    pictures.afterCable = panel.picture();
    return pictures;
}

void checkPictures(const Pictures& pictures, const Places& places, const char* which) {
    check(differs(pictures.opened, pictures.afterNext, places.stepDigits),
          std::string(which) + ": B_NEXT changes the step number shown");
    check(differs(pictures.afterNext, pictures.afterReturn, places.stepDigits),
          std::string(which) + ": the Return key moves to the next step");
    check(differs(pictures.afterReturn, pictures.afterKey, places.downLamp),
          std::string(which) + ": the 'a' key toggles the step's octave-down lamp");
    check(differs(pictures.afterKey, pictures.afterCable, places.cableFrom.united(places.cableTo)),
          std::string(which) + ": a drag between two sockets draws a cable");
}

std::string joined(const std::string& folder, const std::string& name) {
    return folder + platform::pathSeparator + name;
}

// "MaxPolyphony" as Config.ini holds it, or -1 without the file or the line.
int maxPolyphonyIn(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::string line;
    while (std::getline(file, line)) {
        if (line.rfind("MaxPolyphony", 0) == 0) {
            const std::size_t equals = line.find('=');
            if (equals != std::string::npos)
                return std::atoi(line.c_str() + equals + 1);
        }
    }
    return -1;
}

// The entry of an open popup menu (its window) whose text this is, in screen coordinates.
std::optional<RECT> menuEntry(HWND menuWindow, const char* title) {
    HMENU menu = reinterpret_cast<HMENU>(SendMessageA(menuWindow, MN_GETHMENU, 0, 0));
    for (int index = 0; menu != nullptr && index < GetMenuItemCount(menu); ++index) {
        char entry[128] = {};
        GetMenuStringA(menu, UINT(index), entry, sizeof entry, MF_BYPOSITION);
        RECT area{};
        if (std::strcmp(entry, title) == 0 && GetMenuItemRect(menuWindow, menu, UINT(index), &area))
            return area;
    }
    return std::nullopt;
}

// Pixels that differ inside `area` (or outside it); pictures of different sizes differ
// everywhere.
int differentPixelsWhere(const CBitmap& a, const CBitmap& b, const CRect& area, bool inside) {
    if (a.width() != b.width() || a.height() != b.height())
        return differentPixels(a, b);
    int count = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (area.contains({x, y}) == inside &&
                (a.row(y)[x] & 0xffffffu) != (b.row(y)[x] & 0xffffffu))
                ++count;
        }
    }
    return count;
}

// A press on a panel button whose action runs a modal loop inside the press (a menu, a dialog):
// `drive` gives the input meanwhile from a second thread, and lets the button go.
void pressDriven(HWND host, const CRect& button, const std::function<void()>& drive) {
    std::atomic<bool> finished{false};
    std::thread user([&] {
        drive();
        finished = true;
    });
    POINT press{button.center().x, button.center().y};
    ClientToScreen(host, &press);
    SetCursorPos(press.x, press.y);
    pump(30);
    mouseButton(MOUSEEVENTF_LEFTDOWN);
    const DWORD start = GetTickCount();
    while (!finished && GetTickCount() - start < 90000)
        pump(50);
    user.join();
    pump(100);
}

void keyStroke(WORD key) {
    INPUT strokes[2]{};
    for (INPUT& stroke : strokes) {
        stroke.type = INPUT_KEYBOARD;
        stroke.ki.wVk = key;
    }
    strokes[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, strokes, sizeof(INPUT));
    Sleep(150);
}

// Characters through the system's keyboard queue, to the window with the focus.
void typeText(const char* typed) {
    for (const char* c = typed; *c != '\0'; ++c) {
        INPUT strokes[2]{};
        for (INPUT& stroke : strokes) {
            stroke.type = INPUT_KEYBOARD;
            stroke.ki.wScan = WORD(static_cast<unsigned char>(*c));
            stroke.ki.dwFlags = KEYEVENTF_UNICODE;
        }
        strokes[1].ki.dwFlags |= KEYEVENTF_KEYUP;
        SendInput(2, strokes, sizeof(INPUT));
        Sleep(40);
    }
    Sleep(200);
}

std::string controlText(HWND dialog, int id) {
    char shown[1024] = {};
    GetDlgItemTextA(dialog, id, shown, sizeof shown);
    return shown;
}

// The panel as the screen shows it, with the pointer parked off the panel and its timers run
// out: what the user sees, whatever window lies over it or lay there a moment ago.
CBitmap panelOnScreen(HWND host, int width, int height) {
    POINT corner{0, 0};
    ClientToScreen(host, &corner);
    SetCursorPos(corner.x + width + 60, corner.y + 20);
    pump(400);
    return screenPicture({corner.x, corner.y, corner.x + width, corner.y + height});
}

// The options menu and the preferences dialog with the system's mouse: a press on OPTIONMENU
// opens the menu, "Preferences..." the dialog; a click on the "Max Polyphony" track bar, "Set
// As Default" and "OK" must leave the new voice count in Config.ini. Pictures of the open menu
// and the dialog are saved in `pictures`.
void choosePreferences(HWND host, const CRect& optionMenu, const std::string& folder,
                       const std::string& pictures) {
    const std::string config = joined(folder, "Config.ini");
    bool menuShown = false;
    bool entryFound = false;
    bool dialogShown = false;
    bool dialogClosed = false;
    int before = -1; // the voices the dialog's label shows
    int after = -1;
    pressDriven(host, optionMenu, [&] {
        HWND menu = waitForWindow("#32768", nullptr);
        menuShown = menu != nullptr;
        if (!menuShown)
            return;
        // The button stays down; the pointer leaves the menu for its picture.
        RECT shown{};
        GetWindowRect(menu, &shown);
        SetCursorPos(shown.right + 40, shown.top);
        Sleep(300);
        POINT corner{0, 0};
        ClientToScreen(host, &corner);
        RECT client{};
        GetClientRect(host, &client);
        OffsetRect(&client, corner.x, corner.y);
        RECT both{};
        UnionRect(&both, &shown, &client);
        both.bottom = std::min(both.bottom, LONG(shown.bottom + 12));
        screenPicture(both).savePng(pictures + "editor-menu-under-wine.png");
        const std::optional<RECT> entry = menuEntry(menu, "Preferences...");
        entryFound = entry.has_value();
        if (!entryFound) {
            mouseButton(MOUSEEVENTF_LEFTUP);
            PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 1);
            return;
        }
        // Released over the entry, the press chooses it.
        SetCursorPos((entry->left + entry->right) / 2, (entry->top + entry->bottom) / 2);
        Sleep(200);
        mouseButton(MOUSEEVENTF_LEFTUP);
        HWND dialog = waitForWindow(nullptr, "Tresk Pro Preferences");
        dialogShown = dialog != nullptr;
        if (!dialogShown)
            return;
        RECT whole{};
        GetWindowRect(dialog, &whole);
        screenPicture(whole).savePng(pictures + "dialog-preferences.png");
        const auto voicesShown = [dialog] {
            const std::string label = controlText(dialog, IDC_POLYPHONY_LABEL);
            return label.rfind("Voices: ", 0) == 0 ? std::atoi(label.c_str() + 8) : -1;
        };
        before = voicesShown();
        // The channel right of the thumb: one page up.
        clickControl(dialog, IDC_POLYPHONY, 0.95);
        after = voicesShown();
        clickControl(dialog, IDC_SET_AS_DEFAULT);
        clickControl(dialog, IDOK);
        dialogClosed = waitFor([&] { return !IsWindow(dialog); });
    });
    check(menuShown && entryFound,
          "a press on OPTIONMENU opens the options menu with \"Preferences...\"");
    check(dialogShown && dialogClosed,
          "\"Preferences...\" opens \"Tresk Pro Preferences\", and OK closes it");
    check(before > 0 && after > before && maxPolyphonyIn(config) == after,
          text("\"Max Polyphony\" moved (\"Voices: %.0f\" -> \"Voices: %.0f\") and \"Set As "
               "Default\" write it to Config.ini",
               before, after));
}

// The patch menu (a press on the patch name) offers "Open Patch" first, and Escape closes it.
void openPatchMenu(HWND host, const CRect& patchButton) {
    std::string first;
    bool closed = false;
    pressDriven(host, patchButton, [&] {
        HWND menu = waitForWindow("#32768", nullptr);
        if (menu == nullptr)
            return;
        HMENU entries = reinterpret_cast<HMENU>(SendMessageA(menu, MN_GETHMENU, 0, 0));
        char entry[256] = {};
        GetMenuStringA(entries, 0, entry, sizeof entry, MF_BYPOSITION);
        first = entry;
        // Let go beside the menu: a popup menu stays open.
        RECT shown{};
        GetWindowRect(menu, &shown);
        SetCursorPos(shown.right + 40, shown.top);
        Sleep(100);
        mouseButton(MOUSEEVENTF_LEFTUP);
        Sleep(200);
        keyStroke(VK_ESCAPE);
        closed = waitFor([&] { return !IsWindowVisible(menu); }, 5000);
        if (!closed) // lets the test go on
            PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 1);
    });
    check(first.rfind("Open Patch", 0) == 0 && closed,
          "a press on PATCHBUTTON opens the patch menu, first \"" + first +
              "\", and Escape closes it");
}

// INFO opens "Patch Info" on the press; a text typed into its field and OK must be in the field
// when the dialog opens again (Cancel then). The second opening is saved as a picture.
void editPatchInfo(HWND host, const CRect& infoButton, const std::string& pictures) {
    const char* const typed = " Squelch";
    std::string before;
    std::string readBack;
    bool closed = false;
    const auto openInfo = [&](const std::function<void(HWND)>& use) {
        pressDriven(host, infoButton, [&] {
            HWND dialog = waitForWindow(nullptr, "Patch Info");
            mouseButton(MOUSEEVENTF_LEFTUP);
            if (dialog == nullptr)
                return;
            use(dialog);
            closed = waitFor([&] { return !IsWindow(dialog); }, 5000);
        });
    };
    openInfo([&](HWND dialog) {
        before = controlText(dialog, IDC_INFO_TEXT);
        // The caret after the text: a click low in the field, then Ctrl+End.
        clickControl(dialog, IDC_INFO_TEXT, 0.8, 0.9);
        INPUT control{};
        control.type = INPUT_KEYBOARD;
        control.ki.wVk = VK_CONTROL;
        SendInput(1, &control, sizeof control);
        keyStroke(VK_END);
        control.ki.dwFlags = KEYEVENTF_KEYUP;
        SendInput(1, &control, sizeof control);
        Sleep(100);
        typeText(typed);
        clickControl(dialog, IDOK);
    });
    const bool firstClosed = closed;
    closed = false;
    openInfo([&](HWND dialog) {
        readBack = controlText(dialog, IDC_INFO_TEXT);
        clickControl(dialog, IDC_INFO_TEXT, 0.8, 0.9); // the text shown unselected
        RECT whole{};
        GetWindowRect(dialog, &whole);
        screenPicture(whole).savePng(pictures + "dialog-patch-info.png");
        clickControl(dialog, IDCANCEL);
    });
    check(firstClosed && closed && readBack == before + typed,
          "INFO opens \"Patch Info\"; the text typed and OK are there when it opens again (\"" +
              readBack + "\")");
}

// "Advanced Random..." from the pattern menu: a click on the Length track bar, "&Go" and "Done".
// Answers the lengths its label showed before and after the click.
std::pair<int, int> randomizePattern(HWND host, const CRect& patternMenu,
                                     const std::string& pictures) {
    bool entryFound = false;
    bool closed = false;
    int before = -1;
    int after = -1;
    pressDriven(host, patternMenu, [&] {
        HWND menu = waitForWindow("#32768", nullptr);
        const std::optional<RECT> entry =
            menu != nullptr ? menuEntry(menu, "Advanced Random...") : std::nullopt;
        entryFound = entry.has_value();
        if (!entryFound) {
            mouseButton(MOUSEEVENTF_LEFTUP);
            if (menu != nullptr)
                PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 1);
            return;
        }
        SetCursorPos((entry->left + entry->right) / 2, (entry->top + entry->bottom) / 2);
        Sleep(200);
        mouseButton(MOUSEEVENTF_LEFTUP);
        HWND dialog = waitForWindow(nullptr, "Advanced Randomizer");
        if (dialog == nullptr)
            return;
        RECT whole{};
        GetWindowRect(dialog, &whole);
        screenPicture(whole).savePng(pictures + "dialog-randomizer.png");
        before = std::atoi(controlText(dialog, IDC_LENGTH_VALUE).c_str());
        // The channel above the thumb (the longest pattern is at the top): one page longer.
        clickControl(dialog, IDC_LENGTH, 0.5, 0.06);
        after = std::atoi(controlText(dialog, IDC_LENGTH_VALUE).c_str());
        clickControl(dialog, IDC_GO);
        clickControl(dialog, IDOK);
        closed = waitFor([&] { return !IsWindow(dialog); }, 5000);
    });
    check(entryFound && closed,
          "a press on PATTERNMENU opens the pattern menu, \"Advanced Random...\" the randomizer, "
          "and \"Done\" closes it");
    check(before > 0 && after > before,
          text("a click on the Length track bar lengthens the pattern (\"%.0f\" -> \"%.0f\")",
               before, after));
    return {before, after};
}

} // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    const DWORD started = GetTickCount();
    const std::string build = joined(platform::executableDirectory(), "..");
    const std::string bundle = argc > 1 ? argv[1] : joined(build, "bundle");
    const std::string work = argc > 2 ? argv[2] : joined(build, "editor-window-test");
    const std::string picturePath = argc > 3 ? argv[3] : joined(build, "editor-window.png");

    // The plug-ins run from a copy of the bundle: closing them writes Gui.ini and the patch
    // there, and the keymap is switched on for this run.
    const std::string folder = joined(work, "bundle");
    std::error_code error;
    fs::remove_all(folder, error);
    fs::create_directories(work, error);
    fs::copy(bundle, folder, fs::copy_options::recursive, error);
    check(!error, "copy the bundle to " + folder + (error ? ": " + error.message() : ""));
    std::ofstream(joined(folder, "Gui.ini"), std::ios::binary) << "UseKeyboard = 1\r\n";

    SkinDefinition skin;
    check(skin.read(joined(folder, "TreskPro.skn")), "read the bundle's TreskPro.skn");
    const int width = skin.editorWidth();
    const int height = skin.editorHeight();
    const Places places{
        skin.rectangleOf(skin.tagOf("CUTOFFKNOB")), skin.rectangleOf(skin.tagOf("B_NEXT")),
        skin.rectangleOf(skin.tagOf("VCO1RANGE")),  skin.rectangleOf(skin.tagOf("STEPDISPLAY")),
        skin.rectangleOf(skin.tagOf("DOWNLED")),    skin.rectangleOf(skin.tagOf("SOCKET15")),
        skin.rectangleOf(skin.tagOf("SOCKET35"))};

    HMODULE library = LoadLibraryA(joined(folder, "Treskpro.dll").c_str());
    check(library != nullptr, "load Treskpro.dll");
    if (library == nullptr)
        return 1;
    auto* entry = reinterpret_cast<AEffect*(VSTCALLBACK*)(HostCallback)>(
        reinterpret_cast<void*>(GetProcAddress(library, "VSTPluginMain")));
    AEffect* effect = entry != nullptr ? entry(hostCallback) : nullptr;
    check(effect != nullptr && effect->magic == kEffectMagic, "VSTPluginMain gives the plug-in");
    if (effect == nullptr)
        return 1;
    auto dispatch = [effect](int32 opcode, intptr value = 0, void* ptr = nullptr) {
        return effect->dispatcher(effect, opcode, 0, value, ptr, 0.0f);
    };
    dispatch(effOpen);
    check((effect->flags & effFlagsHasEditor) != 0, "the plug-in has an editor");

    ERect* rectangle = nullptr;
    dispatch(effEditGetRect, 0, &rectangle);
    check(rectangle != nullptr && rectangle->right - rectangle->left == width &&
              rectangle->bottom - rectangle->top == height,
          text("before opening, the editor's rectangle is the skin's %.0f x %.0f", width, height));

    // The in-process instance starts from the same folder before either panel is touched: a
    // plug-in that closes writes its patch there.
    treskpro::testing::HeadlessEditor headless(folder + platform::pathSeparator);

    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = hostWindowProcedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.lpszClassName = "TreskproTestHost";
    RegisterClassA(&windowClass);
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    RECT outer{0, 0, width, height};
    AdjustWindowRect(&outer, style, FALSE);
    HWND host =
        CreateWindowA("TreskproTestHost", "Tresk Pro", style, 0, 0, outer.right - outer.left,
                      outer.bottom - outer.top, nullptr, nullptr, windowClass.hInstance, nullptr);
    check(host != nullptr, "create the host's window");
    if (host == nullptr)
        return 1;
    const bool opened = dispatch(effEditOpen, 0, host) != 0;
    check(opened, "the editor opens in the window");
    if (!opened)
        return 1;
    idledEffect = effect;
    SetTimer(host, 1, 30, nullptr);

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
    checkPictures(shown, places, "window");
    check(shown.afterCable.savePng(picturePath), "save the window's picture to " + picturePath);

    const auto [headlessWidth, headlessHeight] = headless.rectangle();
    const bool headlessOpened = headless.open();
    check(headlessWidth == width && headlessHeight == height && headlessOpened,
          "the in-process instance opens its editor headless");
    if (headlessOpened) {
        HeadlessPanel drawn(headless);
        const Pictures rendered = play(drawn, places);
        checkPictures(rendered, places, "headless");
        check(headless.plugin().patch().connections.find({14, 34}) >= 0,
              "the cable connects SOCKET15's output to SOCKET35's input");
        const std::pair<const char*, int> comparisons[] = {
            {"opened", differentPixels(shown.opened, rendered.opened)},
            {"after the drag and B_NEXT", differentPixels(shown.afterNext, rendered.afterNext)},
            {"after VCO1RANGE and Return",
             differentPixels(shown.afterReturn, rendered.afterReturn)},
            {"after the 'a' key", differentPixels(shown.afterKey, rendered.afterKey)},
            {"after the cable drag", differentPixels(shown.afterCable, rendered.afterCable)}};
        for (const auto& [when, count] : comparisons)
            check(count == 0, "window and headless agree " + std::string(when) + ": " +
                                  std::to_string(count) + " pixels differ");
        headless.close();
    }

    // Every menu and dialog of the panel, with the system's mouse and keys. A menu or dialog
    // that closes must leave on the screen what the editor drew: the panel as it was where nothing
    // changed, and where the randomizer changed the pattern, the headless panel given the same
    // patch (its cables are made anew there, in other colours, so the two agree only on the
    // sequencer).
    const auto place = [&skin](const char* tag) { return skin.rectangleOf(skin.tagOf(tag)); };
    CRect sequencer = place("PATTERNDIGITS");
    for (const char* tag : {"RUNSTOPLED", "PITCHKEYBOARD", "TRIPLETBUTTON", "B_SLIDE"})
        sequencer = sequencer.united(place(tag));
    const std::string pictures = picturePath.substr(0, picturePath.find_last_of("\\/") + 1);
    const DWORD menusStarted = GetTickCount();
    choosePreferences(host, place("OPTIONMENU"), folder, pictures);
    const CBitmap beforeMenus = panelOnScreen(host, width, height);
    openPatchMenu(host, place("PATCHBUTTON"));
    const CBitmap afterPatchMenu = panelOnScreen(host, width, height);
    editPatchInfo(host, place("OPTIONINFO"), pictures);
    const CBitmap afterPatchInfo = panelOnScreen(host, width, height);
    const CBitmap beforeRandom = window.picture();
    randomizePattern(host, place("PATTERNMENU"), pictures);
    const CBitmap afterRandomOnScreen = panelOnScreen(host, width, height);
    const CBitmap afterRandom = window.picture();
    const auto agree = [](int count, const std::string& what) {
        check(count == 0, what + ": " + std::to_string(count) + " pixels differ");
    };
    agree(differentPixels(beforeMenus, afterPatchMenu),
          "the patch menu leaves the panel on screen as it was");
    agree(differentPixels(beforeMenus, afterPatchInfo),
          "\"Patch Info\" leaves the panel on screen as it was");
    check(!differs(shown.opened, afterRandom, place("PATTERNMENU")) &&
              !differs(shown.opened, afterRandom, place("OPTIONMENU")),
          "PATTERN and OPTIONS come back up when their menus close");
    check(differs(beforeRandom, afterRandom, place("STEPSDIGITS")),
          "after \"&Go\" the panel's LENGTH digits show the new length");
    agree(differentPixelsWhere(beforeRandom, afterRandom, sequencer, false),
          "the randomizer leaves the panel outside the sequencer as it was");
    agree(differentPixels(afterRandomOnScreen, afterRandom),
          "after the randomizer the screen shows the panel the editor drew");
    {
        // The randomized patch into the in-process instance, whose panel opens anew.
        void* chunk = nullptr;
        const intptr size = effect->dispatcher(effect, effGetChunk, 1, 0, &chunk, 0.0f);
        const bool taken = size > 0 && chunk != nullptr &&
                           headless.dispatch(effSetChunk, 1, size, chunk) != 0 && headless.open();
        check(taken, "the in-process instance takes the randomized patch and opens its panel");
        if (taken) {
            HeadlessPanel drawn(headless);
            drawn.settle();
            const int count = differentPixelsWhere(afterRandom, drawn.picture(), sequencer, true);
            if (count != 0) {
                afterRandom.savePng(pictures + "editor-window-randomized.png");
                drawn.picture().savePng(pictures + "editor-window-randomized-headless.png");
            }
            agree(count, "window and headless agree on the randomized sequencer");
            headless.close();
        }
    }
    std::printf("the menus and dialogs took %.1f s\n",
                double(GetTickCount() - menusStarted) / 1000.0);

    KillTimer(host, 1);
    dispatch(effEditClose);
    idledEffect = nullptr;
    DestroyWindow(host);
    pump(50);
    dispatch(effClose);
    FreeLibrary(library);

    std::printf("%s in %.1f s\n", failures == 0 ? "all checks passed" : "some checks FAILED",
                double(GetTickCount() - started) / 1000.0);
    return failures == 0 ? 0 : 1;
}
