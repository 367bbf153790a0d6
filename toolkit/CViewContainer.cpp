#include "toolkit/CViewContainer.h"

#include "toolkit/CDrawContext.h"

#include <algorithm>

namespace treskpro::toolkit {

CViewContainer::CViewContainer(const CRect& viewSize) : CView(viewSize) {}

// Children go while this is still a whole container, so they can still reach their parents.
CViewContainer::~CViewContainer() {
    removeAll();
}

void CViewContainer::adopt(std::unique_ptr<CView> view) {
    if (!view)
        return;
    view->parent = this;
    children.push_back(std::move(view));
    children.back()->invalid();
}

bool CViewContainer::removeView(CView* view) {
    const auto found = std::find_if(children.begin(), children.end(),
                                    [view](const auto& child) { return child.get() == view; });
    if (found == children.end())
        return false;
    view->invalid();
    forget(view);
    std::unique_ptr<CView> owned = std::move(*found);
    children.erase(found);
    owned.reset();
    return true;
}

void CViewContainer::removeAll() {
    while (!children.empty()) {
        CView* last = children.back().get();
        forget(last);
        std::unique_ptr<CView> owned = std::move(children.back());
        children.pop_back();
        owned.reset();
    }
}

void CViewContainer::forget(CView* view) {
    if (mouseDownView == view)
        mouseDownView = nullptr;
}

CView* CViewContainer::getView(int index) const {
    if (index < 0 || index >= int(children.size()))
        return nullptr;
    return children[std::size_t(index)].get();
}

CView* CViewContainer::getViewAt(CPoint where, bool deep) const {
    for (auto child = children.rbegin(); child != children.rend(); ++child) {
        CView* view = child->get();
        if (!view->isVisible() || !view->getViewSize().contains(where))
            continue;
        if (deep) {
            if (auto* container = dynamic_cast<CViewContainer*>(view)) {
                if (CView* inner = container->getViewAt(container->toLocal(where), true))
                    return inner;
            }
        }
        return view;
    }
    return nullptr;
}

void CViewContainer::setBackgroundColor(CColor color) {
    backgroundColor = color;
    invalid();
}

void CViewContainer::draw(CDrawContext& context) {
    const CRect savedClip = context.clipRect();
    const CPoint savedOffset = context.offset();
    const CRect area = savedClip.intersection(size);
    if (area.isEmpty())
        return;
    if (backgroundColor.alpha != 0) {
        context.setFillColor(backgroundColor);
        context.fillRect(area);
    }
    context.setClipRect(area);
    if (background)
        context.drawBitmap(*background, size);
    // Children draw in this container's coordinates.
    context.setOffset(savedOffset.offset(size.left, size.top));
    const CRect localArea = area.offset(-size.left, -size.top);
    for (const auto& child : children) {
        if (!child->isVisible())
            continue;
        const CRect childArea = localArea.intersection(child->getViewSize());
        if (childArea.isEmpty())
            continue;
        context.setClipRect(childArea);
        child->draw(context);
        child->drawn();
    }
    context.setOffset(savedOffset);
    context.setClipRect(savedClip);
}

CMouseEventResult CViewContainer::onMouseDown(CPoint where, const CButtonState& buttons) {
    const CPoint local = toLocal(where);
    for (auto child = children.rbegin(); child != children.rend(); ++child) {
        CView* view = child->get();
        if (!view->isVisible() || !view->getMouseEnabled() || !view->getViewSize().contains(local))
            continue;
        if (view->onMouseDown(local, buttons) == CMouseEventResult::handled) {
            // The view may have removed itself in its handler; only a living child keeps the
            // press.
            const bool alive = std::any_of(children.begin(), children.end(),
                                           [view](const auto& c) { return c.get() == view; });
            mouseDownView = alive ? view : nullptr;
            return CMouseEventResult::handled;
        }
    }
    return CMouseEventResult::notHandled;
}

CMouseEventResult CViewContainer::onMouseMoved(CPoint where, const CButtonState& buttons) {
    if (mouseDownView == nullptr)
        return CMouseEventResult::notHandled;
    return mouseDownView->onMouseMoved(toLocal(where), buttons);
}

CMouseEventResult CViewContainer::onMouseUp(CPoint where, const CButtonState& buttons) {
    CView* view = mouseDownView;
    mouseDownView = nullptr;
    if (view == nullptr)
        return CMouseEventResult::notHandled;
    return view->onMouseUp(toLocal(where), buttons);
}

bool CViewContainer::onWheel(CPoint where, float distance, const CButtonState& buttons) {
    const CPoint local = toLocal(where);
    for (auto child = children.rbegin(); child != children.rend(); ++child) {
        CView* view = child->get();
        if (view->isVisible() && view->getMouseEnabled() && view->getViewSize().contains(local) &&
            view->onWheel(local, distance, buttons))
            return true;
    }
    return false;
}

} // namespace treskpro::toolkit
