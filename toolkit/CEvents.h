// What mouse and key events carry.
#pragma once

namespace treskpro::toolkit {

// Buttons and modifier keys held during a mouse event.
struct CButtonState {
    enum : int {
        kLButton = 1 << 0,
        kMButton = 1 << 1,
        kRButton = 1 << 2,
        kShift = 1 << 3,
        kControl = 1 << 4,
        kAlt = 1 << 5,
        kDoubleClick = 1 << 6,
    };
    int flags = 0;

    bool has(int flag) const { return (flags & flag) != 0; }
    bool isLeftButton() const { return has(kLButton); }
    bool isRightButton() const { return has(kRButton); }
    bool isShift() const { return has(kShift); }
    bool isControl() const { return has(kControl); }
};

enum class CMouseEventResult { notHandled, handled };

// A key as VST 2.x hosts report it: a character, a virtual key of the VST set and modifier bits,
// so keys from our own window and from the host's key calls reach the editor alike.
struct CKeyCode {
    enum VirtualKey : int {
        kNone = 0,
        kBack = 1,
        kTab = 2,
        kReturn = 4,
        kEscape = 6,
        kSpace = 7,
        kEnd = 9,
        kHome = 10,
        kLeft = 11,
        kUp = 12,
        kRight = 13,
        kDown = 14,
        kEnter = 19,
        kDelete = 22,
    };
    enum Modifier : int { kShiftModifier = 1, kAlternate = 2, kCommand = 4, kControlModifier = 8 };

    int character = 0;
    int virtualKey = kNone;
    int modifiers = 0;
};

} // namespace treskpro::toolkit
