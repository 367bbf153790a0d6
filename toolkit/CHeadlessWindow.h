// A window without a screen: the frame draws into its buffer as usual, and tests (or a build
// without a window backend) send the mouse and key events a user would, then look at the
// pixels or save them as PNG.
#pragma once

#include "toolkit/CFrame.h"
#include "toolkit/CPlatformWindow.h"

#include <string>

namespace treskpro::toolkit {

class CHeadlessWindow : public CPlatformWindow {
public:
    explicit CHeadlessWindow(CFrame& frame);

    void present(const CRect& area) override;
    void resize(int, int) override {}
    CPoint mousePosition() const override { return mouse; }
    CButtonState currentButtons() const override { return buttons; }
    CPoint frameToScreen(CPoint where) const override { return where.offset(origin.x, origin.y); }
    void* nativeHandle() const override { return nullptr; }

    // Events as the user makes them, in frame coordinates. A press holds its buttons until the
    // release; moves carry the held buttons.
    CMouseEventResult mouseDown(CPoint where, CButtonState pressed = {CButtonState::kLButton});
    CMouseEventResult mouseMove(CPoint where);
    CMouseEventResult mouseUp(CPoint where);
    // A press and a release at one point.
    void click(CPoint where, CButtonState pressed = {CButtonState::kLButton});
    // A press, moves in `steps` even steps, and the release.
    void drag(CPoint from, CPoint to, int steps = 4,
              CButtonState pressed = {CButtonState::kLButton});
    bool wheel(CPoint where, float distance);
    bool keyDown(CKeyCode key);
    // Types text as character keys.
    void type(const std::string& text);
    // Holds modifier keys (CButtonState flags) for the following events.
    void holdModifiers(int modifierFlags);
    // Moves the window on the screen.
    void moveTo(CPoint screenPosition) { origin = screenPosition; }

    // Redraws what changed and returns the frame's pixels.
    const CBitmap& render();
    bool savePng(const std::string& path);

    // The union of the areas presented since the last call, and how many there were.
    CRect takePresentedArea();
    int presentCount() const { return presents; }

private:
    CFrame& frame;
    CPoint mouse;
    CPoint origin;
    CButtonState buttons;
    int modifiers = 0;
    CRect presented;
    int presents = 0;
};

} // namespace treskpro::toolkit
