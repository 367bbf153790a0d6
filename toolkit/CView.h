// The view hierarchy: a CFrame holds CViewContainers and views; every view has a rectangle in
// its parent's coordinates, draws itself into the frame's off-screen buffer and may answer mouse
// and key events. Changing a view marks its rectangle for redrawing; the frame redraws the marked
// areas on the next idle and hands them to its window. Editor thread only.
#pragma once

#include "toolkit/CBitmap.h"
#include "toolkit/CEvents.h"
#include "toolkit/CRect.h"

#include <memory>

namespace treskpro::toolkit {

class CDrawContext;
class CFrame;
class CViewContainer;

class CView {
public:
    explicit CView(const CRect& size);
    virtual ~CView();
    CView(const CView&) = delete;
    CView& operator=(const CView&) = delete;

    // Draws the view; the context's offset is the parent's origin and its clip the area being
    // redrawn. The default draws the background bitmap at the view's top-left corner.
    virtual void draw(CDrawContext& context);

    // Mouse events carry the point in the parent's coordinates. A view that handles the press
    // receives the moves and the release of that press, wherever the pointer goes.
    virtual CMouseEventResult onMouseDown(CPoint where, const CButtonState& buttons);
    virtual CMouseEventResult onMouseMoved(CPoint where, const CButtonState& buttons);
    virtual CMouseEventResult onMouseUp(CPoint where, const CButtonState& buttons);
    // Wheel steps (positive away from the user); true when used.
    virtual bool onWheel(CPoint where, float distance, const CButtonState& buttons);
    // Keys reach the view that holds the focus; true when used.
    virtual bool onKeyDown(const CKeyCode& key);
    // The focus moved to another view (or none).
    virtual void looseFocus() {}

    const CRect& getViewSize() const { return size; }
    void setViewSize(const CRect& newSize);
    // The view's rectangle in frame coordinates.
    CRect frameRect() const;
    // A point in the parent's coordinates, in frame coordinates.
    CPoint localToFrame(CPoint where) const;

    bool isVisible() const { return visible; }
    void setVisible(bool show);
    bool getMouseEnabled() const { return mouseEnabled; }
    void setMouseEnabled(bool enabled) { mouseEnabled = enabled; }

    void setBackground(std::shared_ptr<CBitmap> bitmap);
    const std::shared_ptr<CBitmap>& getBackground() const { return background; }

    // Marks the view for redrawing on the frame's next idle.
    void invalid();
    void setDirty(bool dirty = true);
    bool isDirty() const { return dirtyFlag; }

    CViewContainer* getParentView() const { return parent; }
    CFrame* getFrame() const;

protected:
    friend class CViewContainer;
    virtual CFrame* asFrame() { return nullptr; }
    void drawn() { dirtyFlag = false; }

    CRect size;
    std::shared_ptr<CBitmap> background;

private:
    CViewContainer* parent = nullptr;
    bool visible = true;
    bool mouseEnabled = true;
    bool dirtyFlag = false;
};

} // namespace treskpro::toolkit
