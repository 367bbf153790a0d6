// The X11 dialogs. X11 has no menus or message boxes of its own, so pop-up menus and message
// boxes are drawn by the toolkit itself in override-redirect windows on a connection of their
// own, with a small event loop that holds the pointer and the keyboard until the user answers
// (modal, like the Windows ones). File dialogs are zenity's or kdialog's where one is installed,
// else a box with a text field for the path. Dialogs made from templates are in
// X11DialogWindow.cpp.
#include "toolkit/CDrawContext.h"
#include "toolkit/CFrame.h"
#include "toolkit/COptionMenu.h"
#include "toolkit/CPlatformDialogs.h"
#include "toolkit/X11Support.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace treskpro::toolkit {

namespace {

constexpr CColor backgroundColor{240, 240, 240, 255};
constexpr CColor borderColor{110, 110, 110, 255};
constexpr CColor textColor{0, 0, 0, 255};
constexpr CColor greyedColor{150, 150, 150, 255};
constexpr CColor highlightColor{51, 120, 210, 255};
constexpr CColor highlightTextColor{255, 255, 255, 255};

// A borderless window of ours on the screen, showing a picture the dialog draws.
class Surface {
public:
    Surface(Display* connection, const CRect& onScreen)
        : display(connection), area(onScreen), picture(onScreen.width(), onScreen.height()),
          writer(display, DefaultVisual(display, DefaultScreen(display)),
                 DefaultDepth(display, DefaultScreen(display))) {
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        attributes.save_under = True;
        attributes.event_mask =
            ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask;
        window = XCreateWindow(display, DefaultRootWindow(display), area.left, area.top,
                               unsigned(area.width()), unsigned(area.height()), 0, CopyFromParent,
                               InputOutput, CopyFromParent,
                               CWOverrideRedirect | CWSaveUnder | CWEventMask, &attributes);
        gc = XCreateGC(display, window, 0, nullptr);
        XMapRaised(display, window);
    }
    ~Surface() {
        XFreeGC(display, gc);
        XDestroyWindow(display, window);
        XFlush(display);
    }
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    void show() { writer.put(window, gc, picture, picture.bounds()); }

    Display* display;
    CRect area;
    CBitmap picture;
    Window window = 0;

private:
    x11::ImageWriter writer;
    GC gc = nullptr;
};

CRect screenBounds(Display* display) {
    const int screen = DefaultScreen(display);
    return {0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen)};
}

// Moves a rectangle onto the screen where it would stick out.
CRect keepOnScreen(CRect area, const CRect& screen) {
    const int dx = std::max(screen.left - area.left, std::min(0, screen.right - area.right));
    const int dy = std::max(screen.top - area.top, std::min(0, screen.bottom - area.bottom));
    return area.offset(dx, dy);
}

// Takes the pointer and keyboard for `window`. Another client may hold them a moment longer
// (a press that is still down), so this is tried again on every turn of the loop.
bool grabInput(Display* display, Window window) {
    const unsigned mask = ButtonPressMask | ButtonReleaseMask | PointerMotionMask;
    const bool pointer = XGrabPointer(display, window, True, mask, GrabModeAsync, GrabModeAsync,
                                      None, None, CurrentTime) == GrabSuccess;
    const bool keyboard = XGrabKeyboard(display, window, True, GrabModeAsync, GrabModeAsync,
                                        CurrentTime) == GrabSuccess;
    return pointer && keyboard;
}

// The next event, waiting at most a little so grabs can be tried again.
bool nextEvent(Display* display, XEvent& event) {
    if (XPending(display) > 0) {
        XNextEvent(display, &event);
        return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return false;
}

KeySym keyOf(XKeyEvent& key, std::string* typed = nullptr) {
    char text[8] = {};
    KeySym symbol = NoSymbol;
    const int length = XLookupString(&key, text, int(sizeof text), &symbol, nullptr);
    if (typed != nullptr && length == 1)
        *typed = std::string(1, text[0]);
    return symbol;
}

// ---- menus

constexpr int menuPadding = 3;
constexpr int checkColumn = 18;
constexpr int arrowColumn = 16;
constexpr int separatorHeight = 7;

class MenuLevel {
public:
    MenuLevel(Display* display, COptionMenu& shown, CPoint topLeft, const CRect& screen)
        : menu(shown) {
        const CFont font(CFontId::normal);
        rowHeight = font.lineHeight() + 6;
        int titleWidth = 60;
        int suffixWidth = 0;
        int height = 2 * menuPadding;
        for (int index = 0; index < menu.getNbEntries(); ++index) {
            const CMenuEntry& entry = *menu.entryAt(index);
            titleWidth = std::max(titleWidth, font.textWidth(entry.title));
            if (!entry.suffix.empty())
                suffixWidth = std::max(suffixWidth, font.textWidth(entry.suffix) + 20);
            height += entry.separator ? separatorHeight : rowHeight;
        }
        // A menu taller than the screen scrolls (wheel, arrow keys) instead of running off it.
        contentHeight = height;
        const int width = std::min(
            checkColumn + titleWidth + suffixWidth + arrowColumn + 2 * menuPadding, screen.width());
        const CRect wanted =
            CRect::fromSize(topLeft.x, topLeft.y, width, std::min(height, screen.height()));
        surface = std::make_unique<Surface>(display, keepOnScreen(wanted, screen));
        draw();
    }

    // The entry under a screen point, or -1.
    int entryAt(CPoint screenPoint) const {
        if (!surface->area.contains(screenPoint))
            return -1;
        const int y = screenPoint.y - surface->area.top + scroll;
        int top = menuPadding;
        for (int index = 0; index < menu.getNbEntries(); ++index) {
            const int bottom = top + heightOf(index);
            if (y >= top && y < bottom)
                return index;
            top = bottom;
        }
        return -1;
    }

    CRect rowOnScreen(int index) const {
        const int y = surface->area.top + rowTop(index) - scroll;
        return {surface->area.left, y, surface->area.right, y + rowHeight};
    }

    // Scrolls by whole rows (positive: further down the menu); false when it could not move.
    bool scrollBy(int rows) {
        const int limit = std::max(0, contentHeight - surface->area.height());
        const int wanted = std::clamp(scroll + rows * rowHeight, 0, limit);
        if (wanted == scroll)
            return false;
        scroll = wanted;
        draw();
        return true;
    }

    bool contains(CPoint screenPoint) const { return surface->area.contains(screenPoint); }

    // Entries that can be highlighted: not separators, not greyed.
    bool highlightable(int index) const {
        const CMenuEntry* entry = menu.entryAt(index);
        return entry != nullptr && !entry->separator && !entry->disabled;
    }

    void highlight(int index) {
        if (index == highlighted)
            return;
        highlighted = highlightable(index) ? index : -1;
        draw();
    }

    // The next highlightable entry up (step -1) or down (+1), wrapping round.
    void step(int direction) {
        const int count = menu.getNbEntries();
        int index = highlighted;
        for (int k = 0; k < count; ++k) {
            index =
                index < 0 ? (direction > 0 ? 0 : count - 1) : (index + direction + count) % count;
            if (highlightable(index)) {
                highlight(index);
                keepVisible(index);
                return;
            }
        }
    }

    void keepVisible(int index) {
        const int top = rowTop(index);
        const int visible = surface->area.height() - 2 * menuPadding;
        const int wanted = std::clamp(scroll, top + heightOf(index) - visible, top - menuPadding);
        if (wanted != scroll) {
            scroll = std::max(0, wanted);
            draw();
        }
    }

    void draw() {
        CDrawContext context(surface->picture);
        const CRect all = surface->picture.bounds();
        context.setFillColor(backgroundColor);
        context.fillRect(all);
        context.setFrameColor(borderColor);
        context.drawRect(all);
        context.setFont(CFont(CFontId::normal));
        const int width = all.width();
        int y = menuPadding - scroll;
        for (int index = 0; index < menu.getNbEntries(); ++index) {
            const CMenuEntry& entry = *menu.entryAt(index);
            if (y + heightOf(index) <= 0 || y >= all.height()) {
                y += heightOf(index);
                continue;
            }
            if (entry.separator) {
                context.setFrameColor(borderColor);
                context.drawLine({menuPadding + 2, y + separatorHeight / 2},
                                 {width - menuPadding - 3, y + separatorHeight / 2});
                y += separatorHeight;
                continue;
            }
            const CRect row{menuPadding, y, width - menuPadding, y + rowHeight};
            const bool lit = index == highlighted;
            if (lit) {
                context.setFillColor(highlightColor);
                context.fillRect(row);
            }
            context.setFontColor(entry.disabled ? greyedColor
                                 : lit          ? highlightTextColor
                                                : textColor);
            if (entry.checked)
                context.drawString("\xd7", {row.left, row.top, row.left + checkColumn, row.bottom});
            context.drawString(
                entry.title, {row.left + checkColumn, row.top, row.right - arrowColumn, row.bottom},
                CHorizontalAlign::left);
            if (!entry.suffix.empty())
                context.drawString(entry.suffix,
                                   {row.left, row.top, row.right - arrowColumn, row.bottom},
                                   CHorizontalAlign::right);
            if (entry.subMenu)
                context.drawString(">", {row.right - arrowColumn, row.top, row.right, row.bottom});
            y += rowHeight;
        }
        surface->show();
    }

    COptionMenu& menu;
    std::unique_ptr<Surface> surface;
    int highlighted = -1;
    int rowHeight = 18;

private:
    int heightOf(int index) const {
        return menu.entryAt(index)->separator ? separatorHeight : rowHeight;
    }
    // Where a row starts in the whole menu, scrolling aside.
    int rowTop(int index) const {
        int y = menuPadding;
        for (int k = 0; k < index; ++k)
            y += heightOf(k);
        return y;
    }

    int contentHeight = 0;
    int scroll = 0;
};

class MenuSession {
public:
    MenuSession(Display* connection, COptionMenu& top, CPoint where)
        : display(connection), screen(screenBounds(display)) {
        levels.push_back(std::make_unique<MenuLevel>(display, top, where, screen));
    }

    // Ends without a choice once `cancelled` turns true.
    CMenuChoice run(const std::atomic<bool>& cancelled) {
        bool grabbed = false;
        // A release only chooses once the pointer has been over the menu's entries, so the
        // release of the click that opened the menu does not choose at once.
        bool armed = false;
        for (;;) {
            if (cancelled.load())
                return {};
            if (!grabbed)
                grabbed = grabInput(display, levels.front()->surface->window);
            XEvent event;
            if (!nextEvent(display, event))
                continue;
            switch (event.type) {
            case Expose:
                for (auto& level : levels) {
                    if (level->surface->window == event.xexpose.window)
                        level->surface->show();
                }
                break;
            case MotionNotify: {
                const CPoint at{event.xmotion.x_root, event.xmotion.y_root};
                if (hover(at))
                    armed = true;
                break;
            }
            case ButtonPress: {
                const CPoint at{event.xbutton.x_root, event.xbutton.y_root};
                if (event.xbutton.button == Button4 || event.xbutton.button == Button5) {
                    const int level = levelAt(at);
                    if (level >= 0 && levels[std::size_t(level)]->scrollBy(
                                          event.xbutton.button == Button4 ? -3 : 3)) {
                        // Sub-menus stood beside rows that have moved.
                        while (int(levels.size()) > level + 1)
                            levels.pop_back();
                        hover(at);
                    }
                    break;
                }
                if (event.xbutton.button > Button3)
                    break;
                if (levelAt(at) < 0)
                    return {}; // a click outside every menu cancels
                armed = true;
                hover(at);
                break;
            }
            case ButtonRelease: {
                const CPoint at{event.xbutton.x_root, event.xbutton.y_root};
                if (event.xbutton.button > Button3 || !armed)
                    break;
                const int level = levelAt(at);
                if (level < 0)
                    break;
                const int index = levels[std::size_t(level)]->entryAt(at);
                if (selectable(level, index))
                    return {&levels[std::size_t(level)]->menu, index};
                break;
            }
            case KeyPress: {
                const KeySym key = keyOf(event.xkey);
                MenuLevel& deepest = *levels.back();
                if (key == XK_Escape) {
                    return {};
                } else if (key == XK_Up || key == XK_KP_Up) {
                    deepest.step(-1);
                } else if (key == XK_Down || key == XK_KP_Down) {
                    deepest.step(1);
                } else if (key == XK_Left || key == XK_KP_Left) {
                    if (levels.size() > 1)
                        levels.pop_back();
                } else if (key == XK_Right || key == XK_KP_Right) {
                    openSubMenu(int(levels.size()) - 1, deepest.highlighted);
                } else if (key == XK_Return || key == XK_KP_Enter || key == XK_space) {
                    const int level = int(levels.size()) - 1;
                    if (selectable(level, deepest.highlighted))
                        return {&deepest.menu, deepest.highlighted};
                    openSubMenu(level, deepest.highlighted);
                }
                break;
            }
            default:
                break;
            }
        }
    }

private:
    int levelAt(CPoint at) const {
        for (int level = int(levels.size()) - 1; level >= 0; --level) {
            if (levels[std::size_t(level)]->contains(at))
                return level;
        }
        return -1;
    }

    bool selectable(int level, int index) const {
        const CMenuEntry* entry = levels[std::size_t(level)]->menu.entryAt(index);
        return entry != nullptr && entry->selectable();
    }

    // Highlights the entry under the pointer and opens its sub-menu; true over an entry.
    bool hover(CPoint at) {
        const int level = levelAt(at);
        if (level < 0)
            return false;
        const int index = levels[std::size_t(level)]->entryAt(at);
        levels[std::size_t(level)]->highlight(index);
        if (index < 0)
            return false;
        openSubMenu(level, index);
        return true;
    }

    // Shows the sub-menu of an entry beside it, closing deeper menus that belong to others.
    void openSubMenu(int level, int index) {
        MenuLevel& owner = *levels[std::size_t(level)];
        const CMenuEntry* entry = owner.menu.entryAt(index);
        COptionMenu* sub = entry != nullptr && !entry->disabled ? entry->subMenu.get() : nullptr;
        if (int(levels.size()) > level + 1 && sub != nullptr &&
            &levels[std::size_t(level) + 1]->menu == sub)
            return;
        while (int(levels.size()) > level + 1)
            levels.pop_back();
        // Menus nest at most this deep on screen, whatever the tree holds.
        if (sub == nullptr || levels.size() >= 16)
            return;
        const CRect row = owner.rowOnScreen(index);
        levels.push_back(std::make_unique<MenuLevel>(
            display, *sub, CPoint{row.right - 2, row.top - menuPadding}, screen));
    }

    Display* display;
    CRect screen;
    std::vector<std::unique_ptr<MenuLevel>> levels;
};

// ---- message boxes and the path box

constexpr int boxPadding = 14;
constexpr int buttonWidth = 84;
constexpr int buttonHeight = 26;
constexpr int maximumTextWidth = 460;

// The text broken into lines that fit `width`, at spaces where it can be.
std::vector<std::string> wrap(const std::string& text, const CFont& font, int width) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string paragraph = text.substr(start, end - start);
        while (font.textWidth(paragraph) > width) {
            std::size_t cut = paragraph.size();
            while (cut > 1 && font.textWidth(std::string_view(paragraph).substr(0, cut)) > width)
                --cut;
            const std::size_t space = paragraph.rfind(' ', cut);
            const std::size_t at = space != std::string::npos && space > 0 ? space : cut;
            lines.push_back(paragraph.substr(0, at));
            paragraph.erase(0, at < paragraph.size() && paragraph[at] == ' ' ? at + 1 : at);
        }
        lines.push_back(paragraph);
        start = end + 1;
    }
    return lines;
}

struct BoxButton {
    std::string label;
    CMessageResult result;
    CRect area; // in the box
};

// A box with a title, lines of text, an optional text field and buttons; run() returns the
// chosen button's index, the Return key the first button, Escape the last.
class Box {
public:
    Box(Display* connection, void* owner, const std::string& titleText, const std::string& text,
        std::vector<BoxButton> boxButtons, CMessageIcon boxIcon, const std::string* field)
        : display(connection), title(titleText), buttons(std::move(boxButtons)), icon(boxIcon),
          editing(field != nullptr) {
        if (field != nullptr)
            fieldText = *field;
        const CFont font(CFontId::normal);
        const CFont bold(CFontId::bold);
        lines = wrap(text, font, maximumTextWidth);
        int textWidth = bold.textWidth(title);
        for (const std::string& line : lines)
            textWidth = std::max(textWidth, font.textWidth(line));
        if (editing)
            textWidth = std::max(textWidth, maximumTextWidth);
        const int iconWidth = icon == CMessageIcon::none ? 0 : 40;
        const int buttonsWidth = int(buttons.size()) * (buttonWidth + 8);
        const int width = std::max(iconWidth + textWidth, buttonsWidth) + 2 * boxPadding;
        lineHeight = font.lineHeight();
        const int textTop = boxPadding + bold.lineHeight() + 10;
        fieldTop = textTop + std::max(int(lines.size()) * lineHeight, iconWidth > 0 ? 28 : 0) + 8;
        const int height = fieldTop + (editing ? buttonHeight + 12 : 4) + buttonHeight + boxPadding;
        int x = width - boxPadding - buttonsWidth + 8;
        for (BoxButton& button : buttons) {
            button.area =
                CRect::fromSize(x, height - boxPadding - buttonHeight, buttonWidth, buttonHeight);
            x += buttonWidth + 8;
        }
        surface = std::make_unique<Surface>(display, placeOver(owner, width, height));
        draw();
    }

    // Escape's answer, the last button, once `cancelled` turns true.
    int run(const std::atomic<bool>& cancelled) {
        bool grabbed = false;
        for (;;) {
            if (cancelled.load())
                return int(buttons.size()) - 1;
            if (!grabbed)
                grabbed = grabInput(display, surface->window);
            XEvent event;
            if (!nextEvent(display, event))
                continue;
            if (event.type == Expose) {
                surface->show();
            } else if (event.type == ButtonPress && event.xbutton.button == Button1) {
                pressed = buttonAt({event.xbutton.x_root - surface->area.left,
                                    event.xbutton.y_root - surface->area.top});
            } else if (event.type == ButtonRelease && event.xbutton.button == Button1) {
                const int released = buttonAt({event.xbutton.x_root - surface->area.left,
                                               event.xbutton.y_root - surface->area.top});
                if (released >= 0 && released == pressed)
                    return released;
                pressed = -1;
            } else if (event.type == KeyPress) {
                std::string typed;
                const KeySym key = keyOf(event.xkey, &typed);
                if (key == XK_Return || key == XK_KP_Enter)
                    return 0;
                if (key == XK_Escape)
                    return int(buttons.size()) - 1;
                if (!editing)
                    continue;
                if (key == XK_BackSpace && !fieldText.empty()) {
                    fieldText.pop_back();
                    draw();
                } else if (typed.size() == 1 && static_cast<unsigned char>(typed[0]) >= 32 &&
                           typed[0] != 127 && fieldText.size() < 4096) {
                    fieldText += typed;
                    draw();
                }
            }
        }
    }

    std::string fieldText;

private:
    CRect placeOver(void* owner, int width, int height) const {
        const CRect screen = screenBounds(display);
        CRect over = screen;
        const Window ownerWindow = static_cast<Window>(reinterpret_cast<std::uintptr_t>(owner));
        if (ownerWindow != 0) {
            x11::ErrorTrap trap(display);
            XWindowAttributes attributes{};
            int x = 0;
            int y = 0;
            Window child = 0;
            if (XGetWindowAttributes(display, ownerWindow, &attributes) &&
                XTranslateCoordinates(display, ownerWindow, DefaultRootWindow(display), 0, 0, &x,
                                      &y, &child) &&
                !trap.failed())
                over = CRect::fromSize(x, y, attributes.width, attributes.height);
        }
        const CPoint centre = over.center();
        return keepOnScreen(
            CRect::fromSize(centre.x - width / 2, centre.y - height / 2, width, height), screen);
    }

    int buttonAt(CPoint inBox) const {
        for (std::size_t k = 0; k < buttons.size(); ++k) {
            if (buttons[k].area.contains(inBox))
                return int(k);
        }
        return -1;
    }

    void draw() {
        CDrawContext context(surface->picture);
        const CRect all = surface->picture.bounds();
        context.setFillColor(backgroundColor);
        context.fillRect(all);
        context.setFrameColor(borderColor);
        context.drawRect(all);
        context.setFont(CFont(CFontId::bold));
        context.setFontColor(textColor);
        const int titleHeight = CFont(CFontId::bold).lineHeight();
        context.drawString(
            title, {boxPadding, boxPadding, all.right - boxPadding, boxPadding + titleHeight},
            CHorizontalAlign::left);
        int textLeft = boxPadding;
        const int textTop = boxPadding + titleHeight + 10;
        if (icon != CMessageIcon::none) {
            const CColor iconColor = icon == CMessageIcon::error     ? CColor{200, 40, 40, 255}
                                     : icon == CMessageIcon::warning ? CColor{220, 160, 0, 255}
                                                                     : highlightColor;
            const char* mark = icon == CMessageIcon::error      ? "x"
                               : icon == CMessageIcon::warning  ? "!"
                               : icon == CMessageIcon::question ? "?"
                                                                : "i";
            const CRect badge = CRect::fromSize(boxPadding, textTop, 28, 28);
            context.setFillColor(iconColor);
            context.fillRect(badge);
            context.setFontColor(highlightTextColor);
            context.drawString(mark, badge);
            textLeft += 40;
        }
        context.setFont(CFont(CFontId::normal));
        context.setFontColor(textColor);
        int y = textTop;
        for (const std::string& line : lines) {
            context.drawString(line, {textLeft, y, all.right - boxPadding, y + lineHeight},
                               CHorizontalAlign::left);
            y += lineHeight;
        }
        if (editing) {
            const CRect field{boxPadding, fieldTop, all.right - boxPadding,
                              fieldTop + buttonHeight};
            context.setFillColor(kWhiteCColor);
            context.fillRect(field);
            context.setFrameColor(borderColor);
            context.drawRect(field);
            // The end of a long path is what matters: it is shown, the start scrolls away.
            const CFont font(CFontId::normal);
            std::string_view shown = fieldText;
            while (!shown.empty() && font.textWidth(shown) + 8 > field.width() - 8)
                shown.remove_prefix(1);
            const std::string withCursor = std::string(shown) + "|";
            context.drawString(withCursor, field.inset(4, 0), CHorizontalAlign::left);
        }
        for (std::size_t k = 0; k < buttons.size(); ++k) {
            const BoxButton& button = buttons[k];
            context.setFillColor(k == 0 ? CColor{225, 225, 225, 255} : CColor{232, 232, 232, 255});
            context.fillRect(button.area);
            context.setFrameColor(k == 0 ? highlightColor : borderColor);
            context.drawRect(button.area);
            context.drawString(button.label, button.area);
        }
        surface->show();
    }

    Display* display;
    std::string title;
    std::vector<BoxButton> buttons;
    CMessageIcon icon;
    bool editing;
    std::vector<std::string> lines;
    int lineHeight = 14;
    int fieldTop = 0;
    int pressed = -1;
    std::unique_ptr<Surface> surface;
};

// ---- file dialogs through a helper program

std::string findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        const std::size_t end = std::min(folders.find(':', start), folders.size());
        const std::string candidate =
            (end > start ? folders.substr(start, end - start) : std::string(".")) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return {};
}

// Runs a program and gives its standard output; nothing when it could not run or did not end
// with status 0 (the user cancelled). The editor waits meanwhile, as for any modal dialog.
std::optional<std::string> runForOutput(const std::vector<std::string>& command) {
    // Close-on-exec, so programs that other threads of the host start meanwhile do not keep the
    // pipe open (and our read waiting) after the helper ended.
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0)
        return std::nullopt;
    std::vector<char*> arguments;
    for (const std::string& argument : command)
        arguments.push_back(const_cast<char*>(argument.c_str()));
    arguments.push_back(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        return std::nullopt;
    }
    if (child == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        execv(arguments[0], arguments.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    std::string output;
    char chunk[512];
    for (;;) {
        const ssize_t count = read(pipeEnds[0], chunk, sizeof chunk);
        if (count > 0 && output.size() < 65536)
            output.append(chunk, std::size_t(count));
        else if (count == 0 || (count < 0 && errno != EINTR))
            break;
    }
    close(pipeEnds[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r'))
        output.pop_back();
    // A helper gives one path; anything after a line break is not part of it.
    output = output.substr(0, output.find('\n'));
    if (output.empty())
        return std::nullopt;
    return output;
}

class CX11Dialogs : public CPlatformDialogs {
public:
    explicit CX11Dialogs(void* ownerWindow) : owner(ownerWindow) {}

    CMenuChoice popupMenu(COptionMenu& menu, CFrame& frame, CPoint whereInFrame) override {
        CPlatformWindow* window = frame.getWindow();
        if (window == nullptr || menu.getNbEntries() == 0)
            return {};
        const CPoint where = window->frameToScreen(whereInFrame);
        Display* display = XOpenDisplay(nullptr);
        if (display == nullptr)
            return {};
        if (auto* holder = dynamic_cast<x11::PointerHolder*>(window))
            holder->releasePointer();
        CMenuChoice choice;
        {
            x11::ErrorTrap trap(display);
            MenuSession session(display, menu, where);
            cancelling.store(false);
            choice = session.run(cancelling);
        }
        XCloseDisplay(display);
        return choice;
    }

    CMessageResult messageBox(const std::string& title, const std::string& text,
                              CMessageButtons buttons, CMessageIcon icon) override {
        std::vector<BoxButton> choices;
        switch (buttons) {
        case CMessageButtons::ok:
            choices = {{"OK", CMessageResult::ok, {}}};
            break;
        case CMessageButtons::okCancel:
            choices = {{"OK", CMessageResult::ok, {}}, {"Cancel", CMessageResult::cancel, {}}};
            break;
        case CMessageButtons::yesNo:
            choices = {{"Yes", CMessageResult::yes, {}}, {"No", CMessageResult::no, {}}};
            break;
        }
        // Where no box can be shown the answer is the cautious one, as unscripted tests get.
        const CMessageResult fallback = choices.back().result;
        Display* display = XOpenDisplay(nullptr);
        if (display == nullptr)
            return fallback;
        CMessageResult result = fallback;
        {
            x11::ErrorTrap trap(display);
            Box box(display, owner, title, text, choices, icon, nullptr);
            cancelling.store(false);
            const int chosen = box.run(cancelling);
            result = choices[std::size_t(chosen)].result;
        }
        XCloseDisplay(display);
        return result;
    }

    int runDialog(const CDialogTemplate& dialog, CDialogHandler& handler) override {
        if (dialog.controls.empty() || dialog.width <= 0 || dialog.height <= 0)
            return kDialogCancel;
        Display* display = XOpenDisplay(nullptr);
        if (display == nullptr)
            return kDialogCancel;
        int result = kDialogCancel;
        {
            x11::ErrorTrap trap(display);
            cancelling.store(false);
            result = x11::runTemplateDialog(
                display, static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(owner)),
                dialog, handler, cancelling);
        }
        XCloseDisplay(display);
        return result;
    }

    // May come from another thread: the open loop sees the flag within a few milliseconds.
    void cancelOpenDialogs() override { cancelling.store(true); }

    std::optional<std::string> chooseFile(const CFileRequest& request) override {
        std::optional<std::string> path = askHelper(request);
        if (!path && !helperRan)
            path = askInBox(request);
        if (!path)
            return std::nullopt;
        // As the Windows dialog does: the default extension where the name has none, and a
        // question before a file is replaced.
        if (request.save && !request.defaultExtension.empty() &&
            std::filesystem::path(*path).extension().empty())
            *path += "." + request.defaultExtension;
        std::error_code error;
        if (request.save && std::filesystem::exists(*path, error) &&
            messageBox(request.title.empty() ? "Save" : request.title,
                       *path + " already exists.\nDo you want to replace it?",
                       CMessageButtons::yesNo, CMessageIcon::warning) != CMessageResult::yes)
            return std::nullopt;
        return path;
    }

private:
    // zenity or kdialog, whichever is installed; helperRan tells whether one answered at all.
    std::optional<std::string> askHelper(const CFileRequest& request) {
        helperRan = false;
        // Windows lists several patterns with ";", the file choosers here with spaces.
        std::string pattern = filterPattern(request);
        std::replace(pattern.begin(), pattern.end(), ';', ' ');
        std::string start = request.initialPath;
        if (start.empty() && !request.initialFolder.empty())
            start = request.initialFolder + "/";
        const std::string title = request.title.empty() ? "Choose a file" : request.title;
        std::vector<std::string> command;
        if (const std::string zenity = findProgram("zenity"); !zenity.empty()) {
            command = {zenity, "--file-selection", "--title=" + title};
            if (request.save)
                command.push_back("--save");
            if (!start.empty())
                command.push_back("--filename=" + start);
            const std::string name = request.filter.empty() ? pattern : request.filter;
            command.push_back("--file-filter=" + name + " | " + pattern);
            command.push_back("--file-filter=All files | *");
        } else if (const std::string kdialog = findProgram("kdialog"); !kdialog.empty()) {
            command = {kdialog,
                       "--title",
                       title,
                       request.save ? "--getsavefilename" : "--getopenfilename",
                       start.empty() ? "." : start,
                       pattern + "|" + (request.filter.empty() ? pattern : request.filter)};
        } else {
            return std::nullopt;
        }
        helperRan = true;
        return runForOutput(command);
    }

    std::optional<std::string> askInBox(const CFileRequest& request) {
        Display* display = XOpenDisplay(nullptr);
        if (display == nullptr)
            return std::nullopt;
        std::string start = request.initialPath;
        if (start.empty() && !request.initialFolder.empty())
            start = request.initialFolder + "/";
        std::optional<std::string> path;
        {
            x11::ErrorTrap trap(display);
            const std::string prompt = std::string(request.save ? "Save as" : "Open") + " (" +
                                       filterPattern(request) + "): type the file's full path.";
            Box box(display, owner,
                    request.title.empty() ? (request.save ? "Save" : "Open") : request.title,
                    prompt,
                    {{request.save ? "Save" : "Open", CMessageResult::ok, {}},
                     {"Cancel", CMessageResult::cancel, {}}},
                    CMessageIcon::none, &start);
            cancelling.store(false);
            if (box.run(cancelling) == 0 && !box.fieldText.empty())
                path = box.fieldText;
        }
        XCloseDisplay(display);
        return path;
    }

    void* owner;
    bool helperRan = false;
    // Set by cancelOpenDialogs, cleared as each menu, box or dialog opens.
    std::atomic<bool> cancelling{false};
};

} // namespace

std::unique_ptr<CPlatformDialogs> createPlatformDialogs(void* owner) {
    if (!x11::displayAvailable())
        return nullptr;
    return std::make_unique<CX11Dialogs>(owner);
}

} // namespace treskpro::toolkit
