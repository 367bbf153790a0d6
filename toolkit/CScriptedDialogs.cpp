#include "toolkit/CScriptedDialogs.h"

#include "toolkit/COptionMenu.h"

#include <algorithm>
#include <charconv>

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
    if (!request.pattern.empty())
        return request.pattern;
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

int CScriptedDialogs::runDialog(const CDialogTemplate& dialog, CDialogHandler& handler) {
    shownDialogs.push_back(dialog.title);
    CScriptedDialog open(dialog, handler, problems);
    CScriptedDialog* const outer = openDialog;
    openDialog = &open;
    handler.initDialog(open);
    if (!dialogAnswers.empty()) {
        const std::function<void(CScriptedDialog&)> script = std::move(dialogAnswers.front());
        dialogAnswers.pop_front();
        if (!open.ended())
            script(open);
    }
    if (!open.ended())
        open.click(kDialogCancel);
    if (!open.ended())
        problems.push_back(dialog.title + ": Escape did not close the dialog");
    openDialog = outer;
    return open.endedWith();
}

void CScriptedDialogs::cancelOpenDialogs() {
    if (openDialog != nullptr)
        openDialog->end(kDialogCancel);
}

CScriptedDialog::CScriptedDialog(const CDialogTemplate& shown, CDialogHandler& behaviour,
                                 std::vector<std::string>& problemList)
    : dialog(shown), handler(behaviour), problems(problemList) {
    for (const CDialogControl& control : dialog.controls) {
        State& state = states[control.id];
        state.text = control.text;
    }
}

CScriptedDialog::State* CScriptedDialog::find(int id, const char* action) {
    const CDialogControl* control = dialog.control(id);
    if (control == nullptr || id < 0) {
        problems.push_back(dialog.title + ": " + action + " on control " + std::to_string(id) +
                           ", which the dialog does not have");
        return nullptr;
    }
    return &states[id];
}

CScriptedDialog::State* CScriptedDialog::find(int id, CDialogControlKind kind, const char* action) {
    State* state = find(id, action);
    if (state != nullptr && dialog.control(id)->kind != kind) {
        problems.push_back(dialog.title + ": " + action + " on control " + std::to_string(id) +
                           ", which is another kind of control");
        return nullptr;
    }
    return state;
}

void CScriptedDialog::report(int id) {
    if (!ended())
        handler.controlChanged(*this, id);
}

void CScriptedDialog::click(int id) {
    if (ended())
        return;
    if ((id == kDialogOk || id == kDialogCancel) && dialog.control(id) == nullptr) {
        report(id); // Return or Escape
        return;
    }
    State* state = find(id, "click");
    if (state == nullptr)
        return;
    const CDialogControl& control = *dialog.control(id);
    if (control.kind == CDialogControlKind::checkBox) {
        state->checked = !state->checked;
    } else if (control.kind == CDialogControlKind::radioButton) {
        for (const CDialogControl& other : dialog.controls)
            if (other.kind == CDialogControlKind::radioButton && other.group == control.group)
                states[other.id].checked = other.id == id;
    } else if (control.kind != CDialogControlKind::button) {
        problems.push_back(dialog.title + ": click on control " + std::to_string(id) +
                           ", which cannot be clicked");
        return;
    }
    report(id);
}

void CScriptedDialog::moveSlider(int id, int position) {
    State* state = find(id, CDialogControlKind::slider, "moveSlider");
    if (state == nullptr || ended())
        return;
    state->position = std::clamp(position, state->minimum, state->maximum);
    report(id);
}

void CScriptedDialog::type(int id, const std::string& text) {
    State* state = find(id, CDialogControlKind::edit, "type");
    if (state == nullptr || ended())
        return;
    state->text = text;
    report(id);
}

void CScriptedDialog::spin(int id, int steps) {
    State* state = find(id, CDialogControlKind::spin, "spin");
    if (state == nullptr || ended())
        return;
    // The spin button steps the edit field placed before it, as its buddy.
    const CDialogControl* buddy = nullptr;
    for (const CDialogControl& control : dialog.controls) {
        if (control.id == id)
            break;
        buddy = &control;
    }
    if (buddy == nullptr || buddy->kind != CDialogControlKind::edit) {
        problems.push_back(dialog.title + ": spin button " + std::to_string(id) +
                           " has no edit field before it");
        return;
    }
    State& field = states[buddy->id];
    int value = state->minimum;
    std::from_chars(field.text.data(), field.text.data() + field.text.size(), value);
    value = std::clamp(value + steps, state->minimum, state->maximum);
    field.text = std::to_string(value);
    report(buddy->id);
}

void CScriptedDialog::setChecked(int id, bool checked) {
    if (State* state = find(id, "setChecked"))
        state->checked = checked;
}

bool CScriptedDialog::isChecked(int id) const {
    const auto found = states.find(id);
    return found != states.end() && found->second.checked;
}

void CScriptedDialog::setRange(int id, int minimum, int maximum) {
    if (State* state = find(id, "setRange")) {
        state->minimum = minimum;
        state->maximum = std::max(minimum, maximum);
        state->position = std::clamp(state->position, state->minimum, state->maximum);
    }
}

void CScriptedDialog::setPosition(int id, int position) {
    if (State* state = find(id, "setPosition"))
        state->position = std::clamp(position, state->minimum, state->maximum);
}

int CScriptedDialog::position(int id) const {
    const auto found = states.find(id);
    return found != states.end() ? found->second.position : 0;
}

void CScriptedDialog::setText(int id, const std::string& text) {
    if (State* state = find(id, "setText")) {
        // Edit fields hold Windows line ends, whatever the text came with.
        const CDialogControl& control = *dialog.control(id);
        if (control.kind != CDialogControlKind::edit) {
            state->text = text;
            return;
        }
        state->text.clear();
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
                state->text += '\r';
            state->text += text[i];
        }
    }
}

std::string CScriptedDialog::text(int id) const {
    const auto found = states.find(id);
    return found != states.end() ? found->second.text : std::string();
}

void CScriptedDialog::end(int code) {
    if (!result)
        result = code;
}

} // namespace treskpro::toolkit
