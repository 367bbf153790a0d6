// Pop-up menus, message boxes and file dialogs: an interface with a scripted implementation
// (CScriptedDialogs, answers given in advance), a Win32 one and an X11 one, so every command that
// asks the user something can be tested. All calls block until the user answers; editor thread
// only.
#pragma once

#include "toolkit/CDialog.h"
#include "toolkit/CRect.h"

#include <memory>
#include <optional>
#include <string>

namespace treskpro::toolkit {

class CFrame;
class COptionMenu;

// The entry chosen in a menu tree: the (sub-)menu that holds it and its index there.
struct CMenuChoice {
    COptionMenu* menu = nullptr;
    int index = -1;

    bool chosen() const { return menu != nullptr && index >= 0; }
};

enum class CMessageIcon { none, information, warning, error, question };
enum class CMessageButtons { ok, okCancel, yesNo };
enum class CMessageResult { ok, cancel, yes, no };

struct CFileRequest {
    bool save = false;
    std::string title;
    // "Name (*.ext)": the pattern in brackets selects the files; without one, the default
    // extension does.
    std::string filter;
    std::string defaultExtension; // without the dot
    std::string initialFolder;
    std::string initialPath;
    // The files the filter selects, where they are more than its text shows ("*.tun;*.scl").
    std::string pattern;
};

class CPlatformDialogs {
public:
    virtual ~CPlatformDialogs() = default;

    // Shows `menu` with its sub-menus at a point of `frame` and returns the chosen entry.
    virtual CMenuChoice popupMenu(COptionMenu& menu, CFrame& frame, CPoint whereInFrame) = 0;
    virtual CMessageResult messageBox(const std::string& title, const std::string& text,
                                      CMessageButtons buttons, CMessageIcon icon) = 0;
    // The chosen path, or nothing when the user cancelled.
    virtual std::optional<std::string> chooseFile(const CFileRequest& request) = 0;
    // Shows the dialog modally, its behaviour given by `handler`, and answers the result the
    // handler ended it with (kDialogCancel when it could not be shown).
    virtual int runDialog(const CDialogTemplate& dialog, CDialogHandler& handler) = 0;
    // Closes whatever menu or dialog is open as if the user had cancelled it: the window that
    // owns it is going away.
    virtual void cancelOpenDialogs() {}
};

// The system's dialogs, owned by the window `owner` (may be null), or null where this build has
// none.
std::unique_ptr<CPlatformDialogs> createPlatformDialogs(void* owner);

// The file pattern of a filter text: "Skin (*.skn)" gives "*.skn"; without brackets, "*." and
// the default extension ("*.*" without one).
std::string filterPattern(const CFileRequest& request);

} // namespace treskpro::toolkit
