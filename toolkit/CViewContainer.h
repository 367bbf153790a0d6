// A view that holds other views. Children lie in the container's own coordinates (its top-left
// corner is their origin), draw in the order they were added (later ones on top) and receive
// mouse presses topmost first.
#pragma once

#include "toolkit/CColor.h"
#include "toolkit/CView.h"

#include <memory>
#include <vector>

namespace treskpro::toolkit {

class CViewContainer : public CView {
public:
    explicit CViewContainer(const CRect& size);
    ~CViewContainer() override;

    // Takes ownership; returns the view for the caller to keep as a reference.
    template <class View> View* addView(std::unique_ptr<View> view) {
        View* raw = view.get();
        adopt(std::unique_ptr<CView>(std::move(view)));
        return raw;
    }
    // Removes and destroys a child; false when it is not a child of this container.
    bool removeView(CView* view);
    void removeAll();
    int getNbViews() const { return int(children.size()); }
    CView* getView(int index) const;
    // The topmost visible child under a point in this container's coordinates (descending into
    // containers when `deep`), or null.
    CView* getViewAt(CPoint where, bool deep = false) const;

    void setBackgroundColor(CColor color);

    void draw(CDrawContext& context) override;
    CMouseEventResult onMouseDown(CPoint where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint where, const CButtonState& buttons) override;
    bool onWheel(CPoint where, float distance, const CButtonState& buttons) override;

protected:
    CPoint toLocal(CPoint where) const { return {where.x - size.left, where.y - size.top}; }
    // A child stopped existing: forget it wherever it is remembered.
    virtual void forget(CView* view);

private:
    void adopt(std::unique_ptr<CView> view);

    std::vector<std::unique_ptr<CView>> children;
    CView* mouseDownView = nullptr;
    CColor backgroundColor = kTransparentCColor;
};

} // namespace treskpro::toolkit
