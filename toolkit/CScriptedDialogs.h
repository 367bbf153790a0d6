// Dialogs that answer from a script given in advance and remember what they were asked: the
// headless stand-in for menus, message boxes and file dialogs. Unscripted questions are
// cancelled (menus, files), answered "No" (yes/no boxes) or "OK" (other boxes).
#pragma once

#include "toolkit/CPlatformDialogs.h"

#include <deque>
#include <string>
#include <vector>

namespace treskpro::toolkit {

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

    std::vector<ShownMenu> shownMenus;
    std::vector<ShownMessage> shownMessages;
    std::vector<CFileRequest> fileRequests;

    CMenuChoice popupMenu(COptionMenu& menu, CFrame& frame, CPoint whereInFrame) override;
    CMessageResult messageBox(const std::string& title, const std::string& text,
                              CMessageButtons buttons, CMessageIcon icon) override;
    std::optional<std::string> chooseFile(const CFileRequest& request) override;

private:
    std::deque<std::vector<int>> menuAnswers;
    std::deque<std::string> menuTitleAnswers;
    std::deque<CMessageResult> messageAnswers;
    std::deque<std::string> fileAnswers;
};

} // namespace treskpro::toolkit
