// Dialogs that answer from a script given in advance and remember what they were asked: the
// headless stand-in for menus, message boxes and file dialogs. Unscripted questions are
// cancelled (menus, files), answered "No" (yes/no boxes) or "OK" (other boxes).
#pragma once

#include "toolkit/CPlatformDialogs.h"

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace treskpro::toolkit {

// A dialog the script plays the user of: it keeps every control's state as the system would,
// and its actions report to the handler exactly as a system dialog reports the user's.
// Controls the template lacks are not acted on; each such use is noted in `problems`.
class CScriptedDialog : public CDialog {
public:
    CScriptedDialog(const CDialogTemplate& shown, CDialogHandler& behaviour,
                    std::vector<std::string>& problemList);

    // The user's actions. A click toggles a check box, selects a radio button (clearing its
    // group) or presses a button; kDialogOk and kDialogCancel are Return and Escape.
    void click(int id);
    void moveSlider(int id, int position);
    void type(int id, const std::string& text);
    // Steps the number in the spin button's edit field by `steps`, within the spin's range.
    void spin(int id, int steps);
    bool ended() const { return result.has_value(); }
    int endedWith() const { return result.value_or(kDialogCancel); }
    const CDialogTemplate& dialogTemplate() const { return dialog; }

    void setChecked(int id, bool checked) override;
    bool isChecked(int id) const override;
    void setRange(int id, int minimum, int maximum) override;
    void setPosition(int id, int position) override;
    int position(int id) const override;
    void setText(int id, const std::string& text) override;
    std::string text(int id) const override;
    void end(int code) override;

private:
    struct State {
        bool checked = false;
        int minimum = 0;
        int maximum = 100;
        int position = 0;
        std::string text;
    };

    State* find(int id, CDialogControlKind kind, const char* action);
    State* find(int id, const char* action);
    void report(int id);

    const CDialogTemplate& dialog;
    CDialogHandler& handler;
    std::vector<std::string>& problems;
    std::map<int, State> states;
    std::optional<int> result;
};

class CScriptedDialogs : public CPlatformDialogs {
public:
    struct ShownMenu {
        std::vector<std::string> entries; // texts of the top menu's entries, as added
        CPoint where;
    };
    struct ShownMessage {
        std::string title;
        std::string text;
        CMessageButtons buttons;
        CMessageIcon icon;
    };

    // The next menu chooses the entry at this path: {3} is the fourth entry of the top menu,
    // {5, 0} the first entry of the sub-menu at entry 5; an empty path cancels.
    void answerMenu(std::vector<int> path) { menuAnswers.push_back(std::move(path)); }
    // The next menu chooses the first selectable entry whose title is this text, searching
    // sub-menus too.
    void answerMenuTitle(std::string title) { menuTitleAnswers.push_back(std::move(title)); }
    void answerMessage(CMessageResult result) { messageAnswers.push_back(result); }
    // An empty text cancels the dialog.
    void answerFile(std::string path) { fileAnswers.push_back(std::move(path)); }

    // The next dialog runs this script once it is set up; an unscripted dialog, or one the
    // script leaves open, is cancelled with Escape.
    void answerDialog(std::function<void(CScriptedDialog&)> script) {
        dialogAnswers.push_back(std::move(script));
    }

    std::vector<ShownMenu> shownMenus;
    std::vector<ShownMessage> shownMessages;
    std::vector<CFileRequest> fileRequests;
    std::vector<std::string> shownDialogs; // their titles
    // Controls a handler or a script used that its dialog's template does not have.
    std::vector<std::string> problems;

    CMenuChoice popupMenu(COptionMenu& menu, CFrame& frame, CPoint whereInFrame) override;
    CMessageResult messageBox(const std::string& title, const std::string& text,
                              CMessageButtons buttons, CMessageIcon icon) override;
    std::optional<std::string> chooseFile(const CFileRequest& request) override;
    int runDialog(const CDialogTemplate& dialog, CDialogHandler& handler) override;
    // Ends the open dialog as cancelled, without asking its handler, as a system does when the
    // owner window goes.
    void cancelOpenDialogs() override;

private:
    CScriptedDialog* openDialog = nullptr;
    std::deque<std::function<void(CScriptedDialog&)>> dialogAnswers;
    std::deque<std::vector<int>> menuAnswers;
    std::deque<std::string> menuTitleAnswers;
    std::deque<CMessageResult> messageAnswers;
    std::deque<std::string> fileAnswers;
};

} // namespace treskpro::toolkit
