// The Win32 dialogs: TrackPopupMenu for menus, MessageBoxA, and the common file dialogs.
#include "toolkit/CFrame.h"
#include "toolkit/COptionMenu.h"
#include "toolkit/CPlatformDialogs.h"

#include <windows.h>

#include <commdlg.h>

#include <cstring>
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

class CWin32Dialogs : public CPlatformDialogs {
public:
    explicit CWin32Dialogs(HWND ownerWindow) : owner(ownerWindow) {}

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
        const int command = int(TrackPopupMenu(
            handle, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD | TPM_NONOTIFY | TPM_LEFTBUTTON,
            where.x, where.y, 0, parent, nullptr));
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
        switch (MessageBoxA(owner, text.c_str(), title.c_str(), style)) {
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

    int runDialog(const CDialogTemplate&, CDialogHandler&) override { return kDialogCancel; }

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
        dialog.hwndOwner = owner;
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
    HWND owner;
};

} // namespace

std::unique_ptr<CPlatformDialogs> createPlatformDialogs(void* owner) {
    return std::make_unique<CWin32Dialogs>(static_cast<HWND>(owner));
}

} // namespace treskpro::toolkit
