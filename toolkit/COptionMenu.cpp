#include "toolkit/COptionMenu.h"

#include "toolkit/CFrame.h"

namespace treskpro::toolkit {

CMenuEntry parseMenuEntry(std::string_view text) {
    CMenuEntry entry;
    entry.text = std::string(text);
    if (text == "-") {
        entry.separator = true;
        return entry;
    }
    if (text.starts_with("-G")) {
        entry.disabled = true;
        text.remove_prefix(2);
    } else if (text.starts_with("-M")) {
        text.remove_prefix(2);
    }
    const std::size_t tab = text.find('\t');
    entry.title = std::string(text.substr(0, tab));
    if (tab != std::string_view::npos)
        entry.suffix = std::string(text.substr(tab + 1));
    return entry;
}

COptionMenu::COptionMenu(const CRect& viewSize, CControlListener* controlListener, int controlTag,
                         int menuStyle)
    : CParamDisplay(viewSize), style(menuStyle) {
    setListener(controlListener);
    setTag(controlTag);
    setMouseEnabled(true);
    minimum = 0.0f;
    maximum = 0.0f;
    value = 0.0f;
    defaultValue = 0.0f;
}

COptionMenu::~COptionMenu() = default;

bool COptionMenu::addEntry(std::string_view text, int index) {
    if (int(entries.size()) >= maximumEntries)
        return false;
    CMenuEntry entry = parseMenuEntry(text);
    if (index < 0 || index >= int(entries.size()))
        entries.push_back(std::move(entry));
    else
        entries.insert(entries.begin() + index, std::move(entry));
    maximum = float(entries.size() > 0 ? entries.size() - 1 : 0);
    return true;
}

bool COptionMenu::addEntry(std::unique_ptr<COptionMenu> subMenu, std::string_view title) {
    if (!subMenu || !addEntry("-M" + std::string(title)))
        return false;
    entries.back().subMenu = std::move(subMenu);
    return true;
}

bool COptionMenu::setEntry(int index, std::string_view text) {
    if (index < 0 || index >= int(entries.size()))
        return false;
    CMenuEntry& entry = entries[std::size_t(index)];
    CMenuEntry parsed = parseMenuEntry(entry.subMenu ? "-M" + std::string(text) : text);
    parsed.subMenu = std::move(entry.subMenu);
    parsed.checked = entry.checked;
    entry = std::move(parsed);
    invalid();
    return true;
}

bool COptionMenu::removeEntry(int index) {
    if (index < 0 || index >= int(entries.size()))
        return false;
    entries.erase(entries.begin() + index);
    maximum = float(entries.size() > 0 ? entries.size() - 1 : 0);
    if (currentIndex >= int(entries.size()))
        currentIndex = -1;
    lastChoice = {};
    return true;
}

void COptionMenu::removeAllEntry() {
    entries.clear();
    currentIndex = -1;
    maximum = 0.0f;
    value = 0.0f;
    lastChoice = {};
    invalid();
}

std::string COptionMenu::getEntry(int index) const {
    const CMenuEntry* entry = entryAt(index);
    return entry != nullptr ? entry->text : std::string();
}

const CMenuEntry* COptionMenu::entryAt(int index) const {
    if (index < 0 || index >= int(entries.size()))
        return nullptr;
    return &entries[std::size_t(index)];
}

COptionMenu* COptionMenu::getSubMenu(int index) const {
    const CMenuEntry* entry = entryAt(index);
    return entry != nullptr ? entry->subMenu.get() : nullptr;
}

bool COptionMenu::checkEntry(int index, bool checked) {
    if (index < 0 || index >= int(entries.size()))
        return false;
    entries[std::size_t(index)].checked = checked;
    return true;
}

void COptionMenu::uncheckAll() {
    for (CMenuEntry& entry : entries)
        entry.checked = false;
}

bool COptionMenu::isChecked(int index) const {
    const CMenuEntry* entry = entryAt(index);
    return entry != nullptr && entry->checked;
}

void COptionMenu::setCurrent(int index) {
    if (index < 0 || index >= int(entries.size()))
        return;
    currentIndex = index;
    CControl::setValue(float(index));
    invalid();
}

void COptionMenu::setValue(float newValue) {
    const int index = int(newValue);
    if (index >= 0 && index < int(entries.size()))
        setCurrent(index);
}

void COptionMenu::choose(const CMenuChoice& choice) {
    if (!choice.chosen())
        return;
    const CMenuEntry* entry = choice.menu->entryAt(choice.index);
    if (entry == nullptr || !entry->selectable())
        return;
    lastChoice = choice;
    if (choice.menu != this) {
        choice.menu->setCurrent(choice.index);
        // The top menu reports the index within the menu that holds the entry.
        currentIndex = choice.index;
        value = float(choice.index);
        invalid();
    } else {
        setCurrent(choice.index);
    }
    beginEdit();
    valueChanged();
    endEdit();
}

bool COptionMenu::popup() {
    CFrame* frame = getFrame();
    if (frame == nullptr || entries.empty())
        return false;
    const CMenuChoice choice = frame->dialogs().popupMenu(*this, *frame, frameRect().topLeft());
    if (!choice.chosen())
        return false;
    choose(choice);
    return lastChoice.menu == choice.menu && lastChoice.index == choice.index;
}

CMouseEventResult COptionMenu::onMouseDown(CPoint, const CButtonState& buttons) {
    if (!buttons.isLeftButton() && !buttons.isRightButton())
        return CMouseEventResult::notHandled;
    popup();
    return CMouseEventResult::handled;
}

std::string COptionMenu::displayText() const {
    const CMenuEntry* entry = entryAt(currentIndex);
    return entry != nullptr ? entry->title : std::string();
}

void COptionMenu::draw(CDrawContext& context) {
    if ((style & kNoTextStyle) != 0)
        return;
    CParamDisplay::draw(context);
}

} // namespace treskpro::toolkit
