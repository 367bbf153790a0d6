// The Win32 dialogs: TrackPopupMenu for menus, MessageBoxA, the common file dialogs, and modal
// dialog boxes made from the dialog resources compiled into the module that holds this code.
#include "toolkit/CFrame.h"
#include "toolkit/COptionMenu.h"
#include "toolkit/CPlatformDialogs.h"

#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace treskpro::toolkit {

namespace {

// "&" marks a mnemonic in Windows menus; a patch called "Bass & Drums" must show its "&".
std::string menuText(const CMenuEntry& entry) {
    std::string text;
    for (const char c : entry.title) {
        text += c;
        if (c == '&')
            text += '&';
    }
    if (!entry.suffix.empty())
        text += "\t" + entry.suffix;
    return text;
}

class MenuBuilder {
public:
    // Menu command identifiers start at 1 (0 means "nothing chosen").
    HMENU build(COptionMenu& menu, int depth) {
        HMENU handle = CreatePopupMenu();
        if (handle == nullptr || depth > 32)
            return handle;
        for (int index = 0; index < menu.getNbEntries(); ++index) {
            const CMenuEntry& entry = *menu.entryAt(index);
            if (entry.separator) {
                AppendMenuA(handle, MF_SEPARATOR, 0, nullptr);
            } else if (entry.subMenu) {
                HMENU sub = build(*entry.subMenu, depth + 1);
                AppendMenuA(handle, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(sub),
                            menuText(entry).c_str());
            } else {
                choices.push_back({&menu, index});
                UINT flags = MF_STRING;
                if (entry.disabled)
                    flags |= MF_GRAYED;
                if (entry.checked)
                    flags |= MF_CHECKED;
                AppendMenuA(handle, flags, UINT_PTR(choices.size()), menuText(entry).c_str());
            }
        }
        return handle;
    }

    CMenuChoice choiceOf(int command) const {
        if (command <= 0 || command > int(choices.size()))
            return {};
        return choices[std::size_t(command - 1)];
    }

private:
    std::vector<CMenuChoice> choices;
};

// The module whose resources hold the dialog templates: the plug-in DLL (or the program) that
// this code is linked into, not the host's program.
HINSTANCE thisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&thisModule), &module);
    return module;
}

// An open dialog box: the handler's view of its controls, and what the box reports to the
// handler. Windows notifies the dialog of changes the program makes too (setting an edit
// field's text sends EN_CHANGE, an up-down control rewrites its buddy field): while a setter
// runs, nothing is reported.
class CWin32Dialog : public CDialog {
public:
    CWin32Dialog(const CDialogTemplate& shown, CDialogHandler& behaviour)
        : dialog(shown), handler(behaviour) {}

    static INT_PTR CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrA(window, DWLP_USER, lParam);
            auto* self = reinterpret_cast<CWin32Dialog*>(lParam);
            self->window = window;
            self->initialise();
            return TRUE; // the focus goes to the first control that takes it
        }
        auto* self = reinterpret_cast<CWin32Dialog*>(GetWindowLongPtrA(window, DWLP_USER));
        if (self == nullptr)
            return FALSE;
        switch (message) {
        case WM_COMMAND:
            self->command(LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_HSCROLL:
        case WM_VSCROLL:
            if (lParam != 0)
                self->scrolled(GetDlgCtrlID(reinterpret_cast<HWND>(lParam)));
            return TRUE;
        default:
            return FALSE;
        }
    }

    HWND handle() const { return window; }

    // The window that owns the dialog is going away: the dialog closes as cancelled and tells
    // the handler nothing more.
    void cancel() {
        cancelled = true;
        if (window != nullptr)
            EndDialog(window, kDialogCancel);
    }

    void setChecked(int id, bool checked) override {
        const Setting setting(*this);
        CheckDlgButton(window, id, checked ? BST_CHECKED : BST_UNCHECKED);
    }

    bool isChecked(int id) const override { return IsDlgButtonChecked(window, id) == BST_CHECKED; }

    void setRange(int id, int minimum, int maximum) override {
        const Setting setting(*this);
        maximum = std::max(minimum, maximum);
        switch (kindOf(id)) {
        case CDialogControlKind::slider:
            SendDlgItemMessageA(window, id, TBM_SETRANGEMIN, FALSE, minimum);
            SendDlgItemMessageA(window, id, TBM_SETRANGEMAX, TRUE, maximum);
            sliderPositions[id] = position(id);
            break;
        case CDialogControlKind::spin:
            SendDlgItemMessageA(window, id, UDM_SETRANGE32, WPARAM(minimum), maximum);
            break;
        default:
            break;
        }
    }

    void setPosition(int id, int value) override {
        const Setting setting(*this);
        switch (kindOf(id)) {
        case CDialogControlKind::slider:
            SendDlgItemMessageA(window, id, TBM_SETPOS, TRUE, value);
            sliderPositions[id] = position(id);
            break;
        case CDialogControlKind::spin:
            SendDlgItemMessageA(window, id, UDM_SETPOS32, 0, value);
            break;
        default:
            break;
        }
    }

    int position(int id) const override {
        switch (kindOf(id)) {
        case CDialogControlKind::slider:
            return int(SendDlgItemMessageA(window, id, TBM_GETPOS, 0, 0));
        case CDialogControlKind::spin: {
            BOOL failed = FALSE;
            return int(SendDlgItemMessageA(window, id, UDM_GETPOS32, 0,
                                           reinterpret_cast<LPARAM>(&failed)));
        }
        default:
            return 0;
        }
    }

    void setText(int id, const std::string& text) override {
        const Setting setting(*this);
        if (kindOf(id) != CDialogControlKind::edit) {
            SetDlgItemTextA(window, id, text.c_str());
            return;
        }
        // A multi-line edit field breaks lines at "\r\n" only.
        std::string shown;
        shown.reserve(text.size());
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
                shown += '\r';
            shown += text[i];
        }
        SetDlgItemTextA(window, id, shown.c_str());
    }

    std::string text(int id) const override {
        HWND control = GetDlgItem(window, id);
        if (control == nullptr)
            return {};
        std::string shown(std::size_t(std::max(0, GetWindowTextLengthA(control))) + 1, '\0');
        const UINT length = GetDlgItemTextA(window, id, shown.data(), int(shown.size()));
        shown.resize(std::min<std::size_t>(length, shown.size() - 1));
        return shown;
    }

    void end(int code) override {
        if (!result)
            result = code;
    }

private:
    // Marks the time a setter runs: the notifications it causes are the program's own.
    class Setting {
    public:
        explicit Setting(CWin32Dialog& open) : dialog(open) { ++dialog.settingDepth; }
        ~Setting() { --dialog.settingDepth; }
        Setting(const Setting&) = delete;
        Setting& operator=(const Setting&) = delete;

    private:
        CWin32Dialog& dialog;
    };

    CDialogControlKind kindOf(int id) const {
        const CDialogControl* control = dialog.control(id);
        return control != nullptr ? control->kind : CDialogControlKind::label;
    }

    void initialise() {
        if (cancelled) { // the owner went away before the box was made
            EndDialog(window, kDialogCancel);
            return;
        }
        for (const CDialogControl& control : dialog.controls)
            if (control.kind == CDialogControlKind::slider)
                sliderPositions[control.id] = position(control.id);
        {
            const Setting setting(*this);
            handler.initDialog(*this);
        }
        closeWhenEnded();
    }

    void command(int id, int code) {
        if (settingDepth > 0 || cancelled)
            return;
        // Return, Escape and the close box come as IDOK and IDCANCEL (Return as the default
        // button's id), whether or not the dialog has buttons of those numbers.
        bool userChange = false;
        if (id == IDOK || id == IDCANCEL) {
            userChange = code == BN_CLICKED;
        } else {
            switch (kindOf(id)) {
            case CDialogControlKind::button:
            case CDialogControlKind::checkBox:
            case CDialogControlKind::radioButton:
                userChange = code == BN_CLICKED;
                break;
            case CDialogControlKind::edit:
                userChange = code == EN_CHANGE;
                break;
            default:
                break;
            }
        }
        if (userChange)
            report(id);
    }

    // A track bar tells of every step of a drag and again when it ends; the handler hears of
    // each new position once. An up-down control scrolls too, but its change reaches the
    // handler as its buddy field's EN_CHANGE.
    void scrolled(int id) {
        if (settingDepth > 0 || cancelled || kindOf(id) != CDialogControlKind::slider)
            return;
        const int now = position(id);
        const auto known = sliderPositions.find(id);
        if (known != sliderPositions.end() && known->second == now)
            return;
        sliderPositions[id] = now;
        report(id);
    }

    void report(int id) {
        if (result)
            return;
        handler.controlChanged(*this, id);
        closeWhenEnded();
    }

    void closeWhenEnded() {
        if (result && !cancelled)
            EndDialog(window, *result);
    }

    const CDialogTemplate& dialog;
    CDialogHandler& handler;
    HWND window = nullptr;
    int settingDepth = 0;
    bool cancelled = false;
    std::optional<int> result;
    std::map<int, int> sliderPositions;
};

// What a CWin32Dialogs has open. Shared with the calls that run the menus and dialogs, since
// the owner of those calls may destroy the CWin32Dialogs while one of them is still open.
struct OpenWindows {
    std::vector<CWin32Dialog*> dialogs; // innermost last
    bool menuOpen = false;
};

class CWin32Dialogs : public CPlatformDialogs {
public:
    explicit CWin32Dialogs(HWND ownerWindow)
        : owner(ownerWindow), open(std::make_shared<OpenWindows>()) {}

    CMenuChoice popupMenu(COptionMenu& menu, CFrame& frame, CPoint whereInFrame) override {
        CPlatformWindow* window = frame.getWindow();
        if (window == nullptr)
            return {};
        HWND parent = static_cast<HWND>(window->nativeHandle());
        const CPoint where = window->frameToScreen(whereInFrame);
        MenuBuilder builder;
        HMENU handle = builder.build(menu, 0);
        if (handle == nullptr)
            return {};
        const std::shared_ptr<OpenWindows> shown = open;
        shown->menuOpen = true;
        const int command = int(TrackPopupMenu(
            handle, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD | TPM_NONOTIFY | TPM_LEFTBUTTON,
            where.x, where.y, 0, parent, nullptr));
        shown->menuOpen = false;
        DestroyMenu(handle); // with its sub-menus
        return builder.choiceOf(command);
    }

    CMessageResult messageBox(const std::string& title, const std::string& text,
                              CMessageButtons buttons, CMessageIcon icon) override {
        UINT style = buttons == CMessageButtons::yesNo      ? MB_YESNO
                     : buttons == CMessageButtons::okCancel ? MB_OKCANCEL
                                                            : MB_OK;
        switch (icon) {
        case CMessageIcon::information:
            style |= MB_ICONINFORMATION;
            break;
        case CMessageIcon::warning:
            style |= MB_ICONWARNING;
            break;
        case CMessageIcon::error:
            style |= MB_ICONERROR;
            break;
        case CMessageIcon::question:
            style |= MB_ICONQUESTION;
            break;
        case CMessageIcon::none:
            break;
        }
        switch (MessageBoxA(currentOwner(), text.c_str(), title.c_str(), style)) {
        case IDYES:
            return CMessageResult::yes;
        case IDNO:
            return CMessageResult::no;
        case IDCANCEL:
            return CMessageResult::cancel;
        default:
            return CMessageResult::ok;
        }
    }

    int runDialog(const CDialogTemplate& dialog, CDialogHandler& handler) override {
        if (dialog.resourceId <= 0)
            return kDialogCancel;
        INITCOMMONCONTROLSEX classes{};
        classes.dwSize = sizeof classes;
        classes.dwICC = ICC_BAR_CLASSES | ICC_UPDOWN_CLASS;
        InitCommonControlsEx(&classes);

        const std::shared_ptr<OpenWindows> shown = open;
        CWin32Dialog box(dialog, handler);
        const HWND boxOwner = currentOwner();
        shown->dialogs.push_back(&box);
        const INT_PTR result =
            DialogBoxParamA(thisModule(), MAKEINTRESOURCEA(dialog.resourceId), boxOwner,
                            CWin32Dialog::procedure, reinterpret_cast<LPARAM>(&box));
        shown->dialogs.erase(std::find(shown->dialogs.begin(), shown->dialogs.end(), &box));
        // -1: the resource is missing or the box could not be made.
        return result == -1 ? kDialogCancel : int(result);
    }

    void cancelOpenDialogs() override {
        if (open->menuOpen)
            EndMenu();
        for (CWin32Dialog* box : open->dialogs)
            box->cancel();
    }

    std::optional<std::string> chooseFile(const CFileRequest& request) override {
        // Paths are at most 1024 bytes; a longer preset is left out rather than cut.
        char path[1024] = {};
        if (request.initialPath.size() < sizeof path)
            std::memcpy(path, request.initialPath.c_str(), request.initialPath.size() + 1);
        std::string filter = request.filter;
        filter.push_back('\0');
        filter += filterPattern(request);
        filter.push_back('\0');
        filter.push_back('\0');

        OPENFILENAMEA dialog{};
        dialog.lStructSize = sizeof dialog;
        dialog.hwndOwner = currentOwner();
        dialog.lpstrFilter = filter.c_str();
        dialog.lpstrFile = path;
        dialog.nMaxFile = sizeof path;
        dialog.lpstrTitle = request.title.empty() ? nullptr : request.title.c_str();
        dialog.lpstrInitialDir =
            request.initialFolder.empty() ? nullptr : request.initialFolder.c_str();
        dialog.lpstrDefExt =
            request.defaultExtension.empty() ? nullptr : request.defaultExtension.c_str();
        dialog.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST;
        BOOL chosen = FALSE;
        if (request.save) {
            dialog.Flags |= OFN_OVERWRITEPROMPT;
            chosen = GetSaveFileNameA(&dialog);
        } else {
            dialog.Flags |= OFN_FILEMUSTEXIST;
            chosen = GetOpenFileNameA(&dialog);
        }
        if (!chosen)
            return std::nullopt;
        return std::string(path);
    }

private:
    // A message box or file dialog asked for from an open dialog belongs to that dialog, so the
    // dialog takes no input until it is answered.
    HWND currentOwner() const {
        for (auto box = open->dialogs.rbegin(); box != open->dialogs.rend(); ++box)
            if ((*box)->handle() != nullptr)
                return (*box)->handle();
        return owner;
    }

    HWND owner;
    std::shared_ptr<OpenWindows> open;
};

} // namespace

std::unique_ptr<CPlatformDialogs> createPlatformDialogs(void* owner) {
    return std::make_unique<CWin32Dialogs>(static_cast<HWND>(owner));
}

} // namespace treskpro::toolkit
