#include "toolkit/CHeadlessWindow.h"

namespace treskpro::toolkit {

CHeadlessWindow::CHeadlessWindow(CFrame& ownerFrame) : frame(ownerFrame) {}

void CHeadlessWindow::present(const CRect& area) {
    presented = presented.united(area);
    ++presents;
}

CMouseEventResult CHeadlessWindow::mouseDown(CPoint where, CButtonState pressed) {
    mouse = where;
    buttons.flags = pressed.flags | modifiers;
    return frame.onMouseDown(where, buttons);
}

CMouseEventResult CHeadlessWindow::mouseMove(CPoint where) {
    mouse = where;
    return frame.onMouseMoved(where, buttons);
}

CMouseEventResult CHeadlessWindow::mouseUp(CPoint where) {
    mouse = where;
    const CButtonState released = buttons;
    buttons.flags = modifiers;
    return frame.onMouseUp(where, released);
}

void CHeadlessWindow::click(CPoint where, CButtonState pressed) {
    mouseDown(where, pressed);
    mouseUp(where);
}

void CHeadlessWindow::drag(CPoint from, CPoint to, int steps, CButtonState pressed) {
    mouseDown(from, pressed);
    steps = steps < 1 ? 1 : steps;
    for (int step = 1; step <= steps; ++step)
        mouseMove(
            {from.x + (to.x - from.x) * step / steps, from.y + (to.y - from.y) * step / steps});
    mouseUp(to);
}

bool CHeadlessWindow::wheel(CPoint where, float distance) {
    mouse = where;
    return frame.onWheel(where, distance, buttons);
}

bool CHeadlessWindow::keyDown(CKeyCode key) {
    return frame.onKeyDown(key);
}

void CHeadlessWindow::type(const std::string& text) {
    for (const char c : text)
        keyDown({static_cast<unsigned char>(c), CKeyCode::kNone, 0});
}

void CHeadlessWindow::holdModifiers(int modifierFlags) {
    modifiers =
        modifierFlags & (CButtonState::kShift | CButtonState::kControl | CButtonState::kAlt);
    buttons.flags =
        (buttons.flags & ~(CButtonState::kShift | CButtonState::kControl | CButtonState::kAlt)) |
        modifiers;
}

const CBitmap& CHeadlessWindow::render() {
    frame.idle();
    return frame.backBuffer();
}

bool CHeadlessWindow::savePng(const std::string& path) {
    return render().savePng(path);
}

CRect CHeadlessWindow::takePresentedArea() {
    const CRect area = presented;
    presented = {};
    return area;
}

} // namespace treskpro::toolkit
