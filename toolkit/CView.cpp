#include "toolkit/CView.h"

#include "toolkit/CDrawContext.h"
#include "toolkit/CFrame.h"
#include "toolkit/CViewContainer.h"

namespace treskpro::toolkit {

CView::CView(const CRect& viewSize) : size(viewSize) {}

CView::~CView() {
    if (CFrame* frame = getFrame(); frame != nullptr && frame != this)
        frame->viewRemoved(this);
}

void CView::draw(CDrawContext& context) {
    if (background)
        context.drawBitmap(*background, size);
}

CMouseEventResult CView::onMouseDown(CPoint, const CButtonState&) {
    return CMouseEventResult::notHandled;
}

CMouseEventResult CView::onMouseMoved(CPoint, const CButtonState&) {
    return CMouseEventResult::notHandled;
}

CMouseEventResult CView::onMouseUp(CPoint, const CButtonState&) {
    return CMouseEventResult::notHandled;
}

bool CView::onWheel(CPoint, float, const CButtonState&) {
    return false;
}

bool CView::onKeyDown(const CKeyCode&) {
    return false;
}

void CView::setViewSize(const CRect& newSize) {
    if (newSize == size)
        return;
    invalid();
    size = newSize;
    invalid();
}

CPoint CView::localToFrame(CPoint where) const {
    for (const CViewContainer* container = parent; container != nullptr;
         container = container->parent)
        where = where.offset(container->size.left, container->size.top);
    return where;
}

CRect CView::frameRect() const {
    const CPoint origin = localToFrame({0, 0});
    return size.offset(origin.x, origin.y);
}

void CView::setVisible(bool show) {
    if (show == visible)
        return;
    // Hiding needs the area redrawn as much as showing does.
    visible = true;
    invalid();
    visible = show;
}

void CView::setBackground(std::shared_ptr<CBitmap> bitmap) {
    background = std::move(bitmap);
    invalid();
}

void CView::invalid() {
    dirtyFlag = true;
    if (!visible)
        return;
    if (CFrame* frame = getFrame())
        frame->invalidRect(frameRect());
}

void CView::setDirty(bool dirty) {
    if (dirty)
        invalid();
    else
        dirtyFlag = false;
}

CFrame* CView::getFrame() const {
    const CView* view = this;
    while (view->parent != nullptr)
        view = view->parent;
    return const_cast<CView*>(view)->asFrame();
}

} // namespace treskpro::toolkit
