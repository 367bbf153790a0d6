#include "toolkit/CScriptedDialogs.h"

#include "toolkit/COptionMenu.h"

namespace treskpro::toolkit {

namespace {

CMenuChoice findTitle(COptionMenu& menu, const std::string& title, int depth) {
    // Sub-menus nest only as deep as a folder tree; the bound keeps a cycle from recursing.
    if (depth > 32)
        return {};
    for (int index = 0; index < menu.getNbEntries(); ++index) {
        const CMenuEntry* entry = menu.entryAt(index);
        if (entry->subMenu) {
            if (CMenuChoice inner = findTitle(*entry->subMenu, title, depth + 1); inner.chosen())
                return inner;
        } else if (entry->selectable() && entry->title == title) {
            return {&menu, index};
        }
    }
    return {};
}

} // namespace

std::string filterPattern(const CFileRequest& request) {
    const std::size_t open = request.filter.rfind('(');
    const std::size_t close = request.filter.rfind(')');
    if (open != std::string::npos && close != std::string::npos && close > open + 1)
        return request.filter.substr(open + 1, close - open - 1);
    if (!request.defaultExtension.empty())
        return "*." + request.defaultExtension;
    return "*.*";
}

CMenuChoice CScriptedDialogs::popupMenu(COptionMenu& menu, CFrame&, CPoint whereInFrame) {
    ShownMenu shown{{}, whereInFrame};
    for (int index = 0; index < menu.getNbEntries(); ++index)
        shown.entries.push_back(menu.getEntry(index));
    shownMenus.push_back(std::move(shown));

    if (!menuTitleAnswers.empty()) {
        const std::string title = std::move(menuTitleAnswers.front());
        menuTitleAnswers.pop_front();
        return findTitle(menu, title, 0);
    }
    if (menuAnswers.empty())
        return {};
    const std::vector<int> path = std::move(menuAnswers.front());
    menuAnswers.pop_front();
    COptionMenu* current = &menu;
    for (std::size_t step = 0; step < path.size(); ++step) {
        const CMenuEntry* entry = current->entryAt(path[step]);
        if (entry == nullptr)
            return {};
        if (step + 1 == path.size())
            return entry->selectable() ? CMenuChoice{current, path[step]} : CMenuChoice{};
        if (!entry->subMenu)
            return {};
        current = entry->subMenu.get();
    }
    return {};
}

CMessageResult CScriptedDialogs::messageBox(const std::string& title, const std::string& text,
                                            CMessageButtons buttons, CMessageIcon icon) {
    shownMessages.push_back({title, text, buttons, icon});
    if (!messageAnswers.empty()) {
        const CMessageResult result = messageAnswers.front();
        messageAnswers.pop_front();
        return result;
    }
    return buttons == CMessageButtons::yesNo      ? CMessageResult::no
           : buttons == CMessageButtons::okCancel ? CMessageResult::cancel
                                                  : CMessageResult::ok;
}

std::optional<std::string> CScriptedDialogs::chooseFile(const CFileRequest& request) {
    fileRequests.push_back(request);
    if (fileAnswers.empty())
        return std::nullopt;
    std::string path = std::move(fileAnswers.front());
    fileAnswers.pop_front();
    if (path.empty())
        return std::nullopt;
    return path;
}

} // namespace treskpro::toolkit
