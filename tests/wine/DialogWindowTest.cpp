// The Win32 dialog boxes in real windows: the editor's dialog templates, compiled into this
// program as the plug-in has them, run by the toolkit's Win32 dialogs with small handlers of the
// test's own, and driven from a second thread with the system's mouse and keys while the modal
// loop runs. Checks what reaches the handler (the user's changes, once each, and none of the
// handler's own), what the controls give back, the results the dialogs end with, and that a
// dialog closes as cancelled when its owner goes away.
// Prints one line per check; the exit code is 0 only when all of them pass.
//
// Usage: treskpro-dialog-window-test.exe [PICTURE_FOLDER]  (saves dialog-window-randomizer.png
// and dialog-window-patch-info.png there; by default in the build folder)
#include "DialogIds.h"
#include "editor/EditorDialogs.h"
#include "platform/Platform.h"
#include "tests/support/WindowTestChecks.h"
#include "tests/wine/ScreenInput.h"
#include "toolkit/CFrame.h"
#include "toolkit/COptionMenu.h"
#include "toolkit/CPlatformDialogs.h"
#include "toolkit/CPlatformWindow.h"

#include <windows.h>

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace treskpro;
using namespace treskpro::toolkit;
using treskpro::windowtest::check;

namespace {

// What the handler was told, with what the dialog showed at that moment.
struct Report {
    int id;
    int position;
    bool checked;
    std::string text;
};

// A handler whose behaviour the test gives; every report is logged for the driving thread.
class LoggingHandler : public CDialogHandler {
public:
    std::function<void(CDialog&)> onInit;
    // Reads what the report should log: a position, a check state, a text.
    std::function<Report(CDialog&, int)> read = [](CDialog&, int id) {
        return Report{id, 0, 0, {}};
    };
    std::function<void(CDialog&, int)> onChange;

    void initDialog(CDialog& dialog) override {
        if (onInit)
            onInit(dialog);
    }
    void controlChanged(CDialog& dialog, int id) override {
        {
            const std::lock_guard<std::mutex> guard(lock);
            log.push_back(read(dialog, id));
        }
        if (onChange)
            onChange(dialog, id);
        if (id == IDOK || id == IDCANCEL)
            dialog.end(id);
    }

    std::vector<Report> reports() {
        const std::lock_guard<std::mutex> guard(lock);
        return log;
    }
    std::size_t count() { return reports().size(); }

private:
    std::mutex lock;
    std::vector<Report> log;
};

// ---- driving the dialog from the second thread ----

DWORD dialogThread = 0;

HWND waitForDialog(const char* title) {
    return windowtest::waitForWindow(nullptr, title);
}

void click(HWND dialog, int id, double across = 0.5, double down = 0.5) {
    windowtest::clickControl(dialog, id, across, down);
}

// Keys go to the control with the focus in the dialog's thread.
HWND focusOfDialogThread() {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(dialogThread, &info);
    return info.hwndFocus;
}

void key(WPARAM virtualKey) {
    HWND focus = focusOfDialogThread();
    PostMessageA(focus, WM_KEYDOWN, virtualKey, 1);
    PostMessageA(focus, WM_KEYUP, virtualKey, 1 | (3u << 30));
    Sleep(200);
}

void type(const std::string& text) {
    HWND focus = focusOfDialogThread();
    for (const char c : text)
        PostMessageA(focus, WM_CHAR, WPARAM(static_cast<unsigned char>(c)), 1);
    Sleep(250);
}

// The dialog as the screen shows it, caption and frame included.
void savePicture(HWND dialog, const std::string& path) {
    RECT area{};
    GetWindowRect(dialog, &area);
    check(windowtest::screenPicture(area).savePng(path), "save the dialog's picture to " + path);
}

// Runs `dialog` modally on this thread while `drive` runs on another; answers the result.
int runDriven(CPlatformDialogs& dialogs, const char* name, CDialogHandler& handler,
              const std::function<void()>& drive) {
    const CDialogTemplate& shown = editorDialogTemplate(name);
    check(shown.resourceId > 0 && !shown.controls.empty(),
          std::string(name) + ": the template reads from the resource script (" +
              std::to_string(shown.controls.size()) + " controls)");
    std::thread driver(drive);
    const int result = dialogs.runDialog(shown, handler);
    driver.join();
    return result;
}

// ---- the host's window, which owns the dialogs ----

constexpr UINT ownerClosing = WM_APP + 1;
CPlatformDialogs* ownedDialogs = nullptr;

LRESULT CALLBACK ownerProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == ownerClosing && ownedDialogs != nullptr) {
        ownedDialogs->cancelOpenDialogs();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool onlyReports(const std::vector<Report>& reports, std::initializer_list<int> ids) {
    if (reports.size() != ids.size())
        return false;
    std::size_t k = 0;
    for (const int id : ids)
        if (reports[k++].id != id)
            return false;
    return true;
}

std::string idsOf(const std::vector<Report>& reports) {
    std::string list;
    for (const Report& report : reports)
        list += (list.empty() ? "" : " ") + std::to_string(report.id);
    return "[" + list + "]";
}

} // namespace

int main(int argc, char** argv) {
    const DWORD started = GetTickCount();
    const std::string pictures =
        (argc > 1 ? std::string(argv[1]) : platform::executableDirectory() + "\\..") + "\\";
    dialogThread = GetCurrentThreadId();

    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = ownerProcedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.lpszClassName = "TreskproDialogOwner";
    RegisterClassA(&windowClass);
    HWND owner =
        CreateWindowA("TreskproDialogOwner", "Tresk Pro", WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE,
                      0, 0, 200, 100, nullptr, nullptr, windowClass.hInstance, nullptr);
    check(owner != nullptr, "create the owner's window");
    const std::unique_ptr<CPlatformDialogs> dialogs = createPlatformDialogs(owner);
    ownedDialogs = dialogs.get();

    // The preferences: check box, radio pair, a track bar whose label the handler keeps up to
    // date, OK.
    {
        LoggingHandler handler;
        handler.onInit = [](CDialog& dialog) {
            dialog.setChecked(IDC_STANDARD_TUNING, true);
            dialog.setRange(IDC_POLYPHONY, 1, 32);
            dialog.setPosition(IDC_POLYPHONY, 6);
            dialog.setText(IDC_POLYPHONY_LABEL, "Voices: 6");
            dialog.setRange(IDC_BEND_RANGE, 0, 24);
            dialog.setPosition(IDC_BEND_RANGE, 12);
            dialog.setRange(IDC_CABLE_TENSION, 1, 200);
            dialog.setPosition(IDC_CABLE_TENSION, 100);
            dialog.setChecked(IDC_FILTER_24, true);
            dialog.setText(IDC_TUNING_NAME, "Standard");
            for (int id : {IDC_CABLE_SHADOWS, IDC_SHOW_CABLES, IDC_FLOATING_DISPLAY,
                           IDC_ANTIALIASING, IDC_CONFIRM_CLEAR})
                dialog.setChecked(id, true);
        };
        handler.read = [](CDialog& dialog, int id) {
            return Report{id, dialog.position(IDC_POLYPHONY),
                          dialog.isChecked(id) && !dialog.isChecked(IDC_STANDARD_TUNING),
                          dialog.text(IDC_POLYPHONY_LABEL)};
        };
        handler.onChange = [](CDialog& dialog, int id) {
            if (id == IDC_POLYPHONY)
                dialog.setText(IDC_POLYPHONY_LABEL,
                               "Voices: " + std::to_string(dialog.position(IDC_POLYPHONY)));
        };
        std::vector<Report> seen;
        const int result = runDriven(*dialogs, "IDD_PREFERENCES", handler, [&] {
            HWND dialog = waitForDialog("Tresk Pro Preferences");
            check(dialog != nullptr, "preferences: the dialog shows");
            if (dialog == nullptr)
                return;
            check(handler.count() == 0, "preferences: what the handler set is not reported");
            click(dialog, IDC_MIDI_OUTPUT, 0.1);
            click(dialog, IDC_CUSTOM_TUNING, 0.1);
            // A click on the track bar's channel right of the thumb moves it by a page; the
            // Right key then one step.
            click(dialog, IDC_POLYPHONY, 0.9);
            key(VK_RIGHT);
            seen = handler.reports();
            click(dialog, IDOK);
        });
        check(onlyReports(seen, {IDC_MIDI_OUTPUT, IDC_CUSTOM_TUNING, IDC_POLYPHONY, IDC_POLYPHONY}),
              "preferences: a check box, a radio button and two track bar moves reported once "
              "each " +
                  idsOf(seen));
        if (seen.size() == 4) {
            check(seen[1].checked, "preferences: the radio button clears the other of its pair");
            check(seen[2].position > 6 && seen[3].position == seen[2].position + 1,
                  "preferences: the track bar reports its new position (6 -> " +
                      std::to_string(seen[2].position) + " -> " + std::to_string(seen[3].position) +
                      ")");
            check(seen[3].text == "Voices: " + std::to_string(seen[3].position - 1) &&
                      handler.reports().back().id == IDOK,
                  "preferences: the label the handler set reads back, and OK reports last");
        }
        check(result == kDialogOk, "preferences: OK ends the dialog with kDialogOk");
    }

    // The advanced randomizer: an up-down button steps its edit field, reported as the field's
    // change; the handler's own setText and setPosition are not reported; Escape arrives as
    // kDialogCancel though the dialog has no Cancel button.
    {
        LoggingHandler handler;
        handler.onInit = [](CDialog& dialog) {
            dialog.setRange(IDC_HI_SPIN, 1, 7);
            dialog.setPosition(IDC_HI_SPIN, 2);
            dialog.setRange(IDC_LO_SPIN, 1, 7);
            dialog.setPosition(IDC_LO_SPIN, 2);
            for (int id = IDC_NOTE_DENSITY; id <= IDC_ACCENT_DENSITY; ++id) {
                dialog.setRange(id, 0, 16);
                dialog.setPosition(id, 4);
            }
            dialog.setRange(IDC_LENGTH, 1, 64);
            dialog.setPosition(IDC_LENGTH, 48);
            dialog.setChecked(IDC_ROOT_C, true);
            dialog.setChecked(IDC_SCALE_CHROMATIC, true);
            for (int id = IDC_NOTE_ENABLE; id <= IDC_ACCENT_ENABLE; ++id)
                dialog.setChecked(id, true);
        };
        handler.read = [](CDialog& dialog, int id) {
            return Report{id, dialog.position(IDC_HI_SPIN), false, dialog.text(IDC_HI)};
        };
        handler.onChange = [](CDialog& dialog, int id) {
            if (id == IDC_RESET) {
                dialog.setText(IDC_HI, "2");
                dialog.setPosition(IDC_LO_SPIN, 1);
            }
        };
        std::vector<Report> seen;
        const int result = runDriven(*dialogs, "IDD_RANDOMIZER", handler, [&] {
            HWND dialog = waitForDialog("Advanced Randomizer");
            check(dialog != nullptr, "randomizer: the dialog shows");
            if (dialog == nullptr)
                return;
            savePicture(dialog, pictures + "dialog-window-randomizer.png");
            click(dialog, IDC_HI_SPIN, 0.5, 0.25); // the upper arrow
            click(dialog, IDC_RESET);
            seen = handler.reports();
            key(VK_ESCAPE);
        });
        check(onlyReports(seen, {IDC_HI, IDC_RESET}),
              "randomizer: the up-down reports its edit field, the handler's changes are not "
              "reported " +
                  idsOf(seen));
        if (seen.size() == 2)
            check(seen[0].text == "3" && seen[0].position == 3,
                  "randomizer: the up-down steps its field from 2 to 3 (reads \"" + seen[0].text +
                      "\", " + std::to_string(seen[0].position) + ")");
        check(result == kDialogCancel && handler.count() == 3 &&
                  handler.reports().back().id == IDCANCEL,
              "randomizer: Escape reports kDialogCancel and ends the dialog");
    }

    // The patch info: lines in and out with Windows line ends, a text longer than any buffer,
    // Return typed into the field stays in it; then the owner goes away with the dialog open.
    {
        std::string longText;
        for (int k = 0; longText.size() < 5000; ++k)
            longText += "line " + std::to_string(k) + "\n";
        std::string readBack;
        std::string longReadBack;
        LoggingHandler handler;
        handler.onInit = [&](CDialog& dialog) {
            dialog.setText(IDC_INFO_TEXT, longText);
            longReadBack = dialog.text(IDC_INFO_TEXT);
            dialog.setText(IDC_INFO_TEXT, "Squelchy acid line\nfor the low end");
            readBack = dialog.text(IDC_INFO_TEXT);
        };
        handler.read = [](CDialog& dialog, int id) {
            return Report{id, 0, false, dialog.text(IDC_INFO_TEXT)};
        };
        std::vector<Report> seen;
        const int result = runDriven(*dialogs, "IDD_PATCHINFO", handler, [&] {
            HWND dialog = waitForDialog("Patch Info");
            check(dialog != nullptr, "patch info: the dialog shows");
            if (dialog == nullptr)
                return;
            click(dialog, IDC_INFO_TEXT, 0.9, 0.9); // the caret to the end
            savePicture(dialog, pictures + "dialog-window-patch-info.png");
            type("\r!");
            seen = handler.reports();
            PostMessageA(owner, ownerClosing, 0, 0);
            windowtest::waitFor([&] { return !IsWindow(dialog); }, 5000);
            Sleep(200);
        });
        std::string expectedLong;
        for (const char c : longText)
            expectedLong += c == '\n' ? "\r\n" : std::string(1, c);
        check(longReadBack == expectedLong,
              "patch info: a text of " + std::to_string(expectedLong.size()) +
                  " characters reads back whole, with \\r\\n line ends");
        check(readBack == "Squelchy acid line\r\nfor the low end",
              "patch info: \"\\n\" reads back as \"\\r\\n\"");
        check(seen.size() == 2 && seen[0].id == IDC_INFO_TEXT &&
                  seen.back().text == "Squelchy acid line\r\nfor the low end\r\n!",
              "patch info: typing reports each change, Return stays in the field (" +
                  std::to_string(seen.size()) + " reports, last \"" +
                  (seen.empty() ? std::string() : seen.back().text) + "\")");
        check(result == kDialogCancel && handler.count() == seen.size(),
              "patch info: the owner going away closes the dialog as cancelled, unreported");
    }

    // A popup menu open when its owner goes away closes with nothing chosen.
    {
        CFrame frame(CRect::fromSize(0, 0, 160, 60));
        frame.open(createPlatformWindow(frame, owner));
        COptionMenu menu(CRect::fromSize(0, 0, 80, 20), nullptr, 1);
        menu.addEntry("First");
        menu.addEntry("Second");
        bool shown = false;
        bool closed = false;
        std::thread user([&] {
            HWND open = windowtest::waitForWindow("#32768", nullptr);
            shown = open != nullptr;
            PostMessageA(owner, ownerClosing, 0, 0);
            closed = windowtest::waitFor([&] { return !IsWindowVisible(open); }, 5000);
            if (!closed) // lets the test go on
                PostMessageA(open, WM_KEYDOWN, VK_ESCAPE, 1);
        });
        const CMenuChoice choice = dialogs->popupMenu(menu, frame, {10, 10});
        user.join();
        check(shown && closed && !choice.chosen(),
              "menu: the owner going away closes an open menu, nothing chosen");
        frame.close();
    }

    ownedDialogs = nullptr;
    DestroyWindow(owner);
    std::printf("%s in %.1f s\n",
                windowtest::failures == 0 ? "all checks passed" : "some checks FAILED",
                double(GetTickCount() - started) / 1000.0);
    return windowtest::failures == 0 ? 0 : 1;
}
