// Modal dialogs: a template that says which controls a dialog has and where (read from a Windows
// resource script, so every system shows the same dialog), the dialog as its handler sees it
// while it is open, and the handler that gives it its behaviour. The system's dialogs
// (CPlatformDialogs::runDialog) show the template and report what the user does; tests script
// the user instead (CScriptedDialogs).
#pragma once

#include "toolkit/CRect.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace treskpro::toolkit {

// The buttons every dialog system knows. Return presses the dialog's default button (its OK in
// most dialogs); Escape and the window's close box arrive as kDialogCancel.
constexpr int kDialogOk = 1;
constexpr int kDialogCancel = 2;

enum class CDialogControlKind {
    group,       // a frame with a title around other controls
    label,       // text the user cannot change
    button,      // a push button
    checkBox,    // toggles when clicked
    radioButton, // one of a group: clicking it clears the others of its group
    edit,        // a text field; several lines when `multiLine`
    slider,      // a track bar, horizontal or `vertical`
    spin,        // up and down arrows that step the number in the edit field before them
};

struct CDialogControl {
    CDialogControlKind kind = CDialogControlKind::label;
    int id = -1;
    std::string text;
    CRect area; // in dialog units
    bool defaultButton = false;
    bool vertical = false;
    bool multiLine = false;
    bool numbersOnly = false;
    // Radio buttons with the same number form one group (a group starts at each control with
    // the style WS_GROUP, as on Windows).
    int group = 0;
    std::vector<std::string> styles; // the style names as the script writes them
    int alignment = 0;               // labels: 0 left, 1 centred, 2 right

    bool hasStyle(std::string_view style) const;
};

struct CDialogTemplate {
    std::string name; // the resource name, such as "IDD_PREFERENCES"
    int resourceId = 0;
    std::string title;
    int width = 0; // dialog units
    int height = 0;
    std::string fontName;
    int fontSize = 8;
    std::vector<CDialogControl> controls;

    const CDialogControl* control(int id) const;
};

// Reads the dialog `name` from a resource script. Numbers written as names come from the
// `#define` lines of `definitions` (the header the script includes). Nothing when the script has
// no such dialog or its text does not parse.
std::optional<CDialogTemplate>
readDialogTemplate(std::string_view script, std::string_view definitions, std::string_view name);

// An open dialog, as its handler reads and sets its controls. Only the user's own changes are
// reported to the handler: what the handler sets is not reported back.
class CDialog {
public:
    virtual ~CDialog() = default;

    virtual void setChecked(int id, bool checked) = 0;
    virtual bool isChecked(int id) const = 0;
    // Sliders and spin buttons.
    virtual void setRange(int id, int minimum, int maximum) = 0;
    virtual void setPosition(int id, int position) = 0;
    virtual int position(int id) const = 0;
    // Labels, buttons, edit fields. Edit fields take "\r\n" or "\n" line ends and give "\r\n".
    virtual void setText(int id, const std::string& text) = 0;
    virtual std::string text(int id) const = 0;
    // Closes the dialog once the handler returns; runDialog answers `result`.
    virtual void end(int result) = 0;
};

class CDialogHandler {
public:
    virtual ~CDialogHandler() = default;

    // The dialog is about to be shown: set every control.
    virtual void initDialog(CDialog& dialog) = 0;
    // The user pressed a button, clicked a check box or radio button, moved a slider, or changed
    // an edit field's text (typing or its spin buttons). Escape and the close box arrive as
    // kDialogCancel; the dialog stays open until the handler calls end().
    virtual void controlChanged(CDialog& dialog, int id) = 0;
};

} // namespace treskpro::toolkit
