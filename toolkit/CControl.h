// A view with a value: the base of every control. The value lies between a minimum and a
// maximum (0 … 1 unless a control says otherwise); the listener is told when the user changes
// it, and of the beginning and end of a gesture. Setting the value from outside redraws the
// control but tells nobody. A control never knows what its tag means: the listener maps tags to
// whatever they control.
#pragma once

#include "toolkit/CView.h"

#include <memory>

namespace treskpro::toolkit {

class CControl;

class CControlListener {
public:
    virtual ~CControlListener() = default;
    virtual void valueChanged(CControl* control) = 0;
    virtual void controlBeginEdit(CControl*) {}
    virtual void controlEndEdit(CControl*) {}
};

class CControl : public CView {
public:
    CControl(const CRect& size, CControlListener* listener, int tag,
             std::shared_ptr<CBitmap> bitmap = nullptr);

    float getValue() const { return value; }
    // Clamped to minimum … maximum; redraws when the value changes.
    virtual void setValue(float newValue);
    // The value mapped to 0 … 1.
    float getValueNormalized() const;
    void setValueNormalized(float normalized);

    float getDefaultValue() const { return defaultValue; }
    void setDefaultValue(float newDefault) { defaultValue = newDefault; }
    float getMin() const { return minimum; }
    float getMax() const { return maximum; }
    void setMin(float newMinimum);
    void setMax(float newMaximum);

    int getTag() const { return tag; }
    void setTag(int newTag) { tag = newTag; }
    CControlListener* getListener() const { return listener; }
    void setListener(CControlListener* newListener) { listener = newListener; }

    // Tells the listener of a change made by the user.
    void valueChanged();
    void beginEdit();
    void endEdit();

    // The image's frames are this high (0: as high as the control).
    void setHeightOfOneImage(int height) { imageHeight = height; }
    int getHeightOfOneImage() const;
    // How many frames the image holds (at least 1).
    int frameCount() const;

    // The frame a normalised value shows when an image holds `count` frames: the nearest one,
    // so 0 shows the first frame and 1 the last.
    static int frameForValue(float normalized, int count);

protected:
    // Draws frame `index` of the control's image at the control's position.
    void drawFrame(CDrawContext& context, int index);
    // A Control+click sets the default value (and tells the listener); true when it did.
    bool checkDefaultValue(const CButtonState& buttons);

    // A mouse drag as one gesture for the host: begins its edit at the press, and ends it at the
    // release (endDrag answers whether a drag was running).
    void beginDrag(CPoint where);
    bool endDrag();
    bool isDragging() const { return dragging; }
    // The movement since the last call (or the press) in pixels, rightward and upward.
    CPoint dragMovement(CPoint where);

    float value = 0.0f;
    float defaultValue = 0.5f;
    float minimum = 0.0f;
    float maximum = 1.0f;

private:
    CControlListener* listener;
    int tag;
    int imageHeight = 0;
    CPoint dragPoint;
    bool dragging = false;
};

} // namespace treskpro::toolkit
