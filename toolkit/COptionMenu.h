// A pop-up menu. Entries are added as texts with these conventions:
//
//   "-"            a separator
//   "-G" + text    the text greyed out and not selectable
//   text "\t" more "more" is shown right-aligned (a shortcut, a mark)
//
// A sub-menu entry is stored with the text "-M" + title, so counting entries that are not
// sub-menus is a matter of looking for "-M". Entries may carry a check mark. When the user
// chooses an entry, the menu that holds it takes the entry's index as its value, the top menu
// takes it too, and the top menu's listener is told; getLastChoice() says which (sub-)menu it
// was. The menu opens through the frame's dialogs (a system menu on Windows, a scripted answer
// in tests).
#pragma once

#include "toolkit/CParamDisplay.h"
#include "toolkit/CPlatformDialogs.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace treskpro::toolkit {

class COptionMenu;

struct CMenuEntry {
    std::string text;   // as added, with its markers
    std::string title;  // what is shown on the left
    std::string suffix; // what is shown right-aligned (after a tab)
    bool separator = false;
    bool disabled = false;
    bool checked = false;
    std::unique_ptr<COptionMenu> subMenu;

    bool selectable() const { return !separator && !disabled && !subMenu; }
};

// Splits an entry text into what the menu shows.
CMenuEntry parseMenuEntry(std::string_view text);

class COptionMenu : public CParamDisplay {
public:
    // The control draws nothing of its own: it only marks where the menu opens.
    static constexpr int kNoTextStyle = 512;

    COptionMenu(const CRect& size, CControlListener* listener, int tag, int style = 0);
    ~COptionMenu() override;

    // Appends (index < 0) or inserts an entry; returns false when the menu is full.
    bool addEntry(std::string_view text, int index = -1);
    // Appends a sub-menu under `title`; the menu takes ownership.
    bool addEntry(std::unique_ptr<COptionMenu> subMenu, std::string_view title);
    // Replaces an entry's text (keeping its sub-menu and check mark).
    bool setEntry(int index, std::string_view text);
    bool removeEntry(int index);
    void removeAllEntry();

    int getNbEntries() const { return int(entries.size()); }
    // The entry's text as added ("-M" + title for a sub-menu), or "" out of range.
    std::string getEntry(int index) const;
    const CMenuEntry* entryAt(int index) const;
    COptionMenu* getSubMenu(int index) const;

    bool checkEntry(int index, bool checked);
    void uncheckAll();
    bool isChecked(int index) const;

    // The chosen index (the value), or -1 when nothing was chosen yet.
    int getCurrentIndex() const { return currentIndex; }
    void setCurrent(int index);
    void setValue(float newValue) override;

    // The (sub-)menu and index of the last choice.
    CMenuChoice getLastChoice() const { return lastChoice; }
    int getStyle() const { return style; }

    // Opens the menu at the control's top-left corner; true when an entry was chosen (the
    // listener has then been told).
    bool popup();
    // Takes a choice as if the user made it in this (top) menu.
    void choose(const CMenuChoice& choice);

    void draw(CDrawContext& context) override;
    CMouseEventResult onMouseDown(CPoint where, const CButtonState& buttons) override;
    std::string displayText() const override;

    // A menu holds at most this many entries, so a runaway folder scan cannot grow it forever.
    static constexpr int maximumEntries = 4096;

private:
    std::vector<CMenuEntry> entries;
    int currentIndex = -1;
    int style;
    CMenuChoice lastChoice;
};

} // namespace treskpro::toolkit
