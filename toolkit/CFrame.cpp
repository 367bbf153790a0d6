#include "toolkit/CFrame.h"

#include "toolkit/CDrawContext.h"
#include "toolkit/CScriptedDialogs.h"

namespace treskpro::toolkit {

CFrame::CFrame(const CRect& frameSize)
    : CViewContainer(CRect::fromSize(0, 0, frameSize.width(), frameSize.height())),
      buffer(frameSize.width(), frameSize.height()),
      dialogsBackend(std::make_shared<CScriptedDialogs>()) {
    dirtyAreas.push_back(size);
}

CFrame::~CFrame() {
    focusView = nullptr;
    close();
    // The views go before the frame's own members, while getFrame() still finds no frame.
    removeAll();
}

void CFrame::attach(std::unique_ptr<CPlatformWindow> newWindow) {
    window = std::move(newWindow);
    invalidRect(size);
}

void CFrame::close() {
    window.reset();
}

void CFrame::setDialogs(std::shared_ptr<CPlatformDialogs> newDialogs) {
    if (newDialogs)
        dialogsBackend = std::move(newDialogs);
}

void CFrame::setSize(int width, int height) {
    size = CRect::fromSize(0, 0, width, height);
    buffer.resize(width, height);
    if (window)
        window->resize(width, height);
    dirtyAreas.clear();
    invalidRect(size);
}

void CFrame::invalidRect(const CRect& area) {
    const CRect clipped = area.intersection(size);
    if (clipped.isEmpty())
        return;
    for (CRect& existing : dirtyAreas) {
        if (existing.intersection(clipped) == clipped)
            return;
        if (clipped.intersection(existing) == existing) {
            existing = clipped;
            return;
        }
    }
    if (dirtyAreas.size() < maximumDirtyAreas) {
        dirtyAreas.push_back(clipped);
        return;
    }
    CRect all = clipped;
    for (const CRect& existing : dirtyAreas)
        all = all.united(existing);
    dirtyAreas.assign(1, all);
}

void CFrame::drawArea(const CRect& area) {
    CDrawContext context(buffer);
    context.setClipRect(area);
    // The buffer is opaque: what no view covers is black, and the background copies over it.
    context.setFillColor(kBlackCColor);
    context.fillRect(area);
    CViewContainer::draw(context);
}

void CFrame::idle() {
    if (window)
        window->handleEvents();
    // Drawing may mark further areas (a view that changes while drawn); those wait for the
    // next idle rather than looping here.
    std::vector<CRect> areas;
    areas.swap(dirtyAreas);
    for (const CRect& area : areas) {
        drawArea(area);
        if (window)
            window->present(area);
    }
}

void CFrame::redraw() {
    dirtyAreas.assign(1, size);
    idle();
}

CMouseEventResult CFrame::onMouseDown(CPoint where, const CButtonState& buttons) {
    lastButtons = buttons;
    lastMouse = where;
    if (focusView != nullptr && !focusView->frameRect().contains(where))
        setFocusView(nullptr);
    return CViewContainer::onMouseDown(where, buttons);
}

CMouseEventResult CFrame::onMouseMoved(CPoint where, const CButtonState& buttons) {
    lastButtons = buttons;
    lastMouse = where;
    return CViewContainer::onMouseMoved(where, buttons);
}

CMouseEventResult CFrame::onMouseUp(CPoint where, const CButtonState& buttons) {
    lastButtons = buttons;
    lastMouse = where;
    return CViewContainer::onMouseUp(where, buttons);
}

bool CFrame::onKeyDown(const CKeyCode& key) {
    if (focusView != nullptr && focusView->onKeyDown(key))
        return true;
    return keyListener != nullptr && keyListener->onKeyDown(key);
}

void CFrame::setFocusView(CView* view) {
    if (view == focusView)
        return;
    CView* previous = focusView;
    focusView = view;
    if (previous != nullptr)
        previous->looseFocus();
}

CButtonState CFrame::currentButtons() const {
    return window ? window->currentButtons() : lastButtons;
}

CPoint CFrame::mousePosition() const {
    return window ? window->mousePosition() : lastMouse;
}

void CFrame::viewRemoved(CView* view) {
    if (focusView == view)
        focusView = nullptr;
}

} // namespace treskpro::toolkit
