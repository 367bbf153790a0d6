#include "toolkit/CControl.h"

#include "toolkit/CDrawContext.h"

#include <algorithm>
#include <cmath>

namespace treskpro::toolkit {

CControl::CControl(const CRect& viewSize, CControlListener* controlListener, int controlTag,
                   std::shared_ptr<CBitmap> bitmap)
    : CView(viewSize), listener(controlListener), tag(controlTag) {
    background = std::move(bitmap);
}

void CControl::setValue(float newValue) {
    // NaN from a host must not reach the frame arithmetic; it reads as the minimum.
    if (std::isnan(newValue))
        newValue = minimum;
    newValue = std::clamp(newValue, std::min(minimum, maximum), std::max(minimum, maximum));
    if (newValue == value)
        return;
    value = newValue;
    invalid();
}

float CControl::getValueNormalized() const {
    if (maximum == minimum)
        return 0.0f;
    return (value - minimum) / (maximum - minimum);
}

void CControl::setValueNormalized(float normalized) {
    setValue(minimum + std::clamp(normalized, 0.0f, 1.0f) * (maximum - minimum));
}

void CControl::setMin(float newMinimum) {
    minimum = newMinimum;
    setValue(value);
}

void CControl::setMax(float newMaximum) {
    maximum = newMaximum;
    setValue(value);
}

void CControl::valueChanged() {
    if (listener != nullptr)
        listener->valueChanged(this);
}

void CControl::beginEdit() {
    if (listener != nullptr)
        listener->controlBeginEdit(this);
}

void CControl::endEdit() {
    if (listener != nullptr)
        listener->controlEndEdit(this);
}

int CControl::getHeightOfOneImage() const {
    return imageHeight > 0 ? imageHeight : std::max(size.height(), 1);
}

int CControl::frameCount() const {
    if (!background || background->empty())
        return 1;
    return std::max(background->height() / getHeightOfOneImage(), 1);
}

int CControl::frameForValue(float normalized, int count) {
    if (count <= 1 || !(normalized > 0.0f))
        return 0;
    if (normalized >= 1.0f)
        return count - 1;
    return std::min(int(normalized * float(count - 1) + 0.5f), count - 1);
}

void CControl::drawFrame(CDrawContext& context, int index) {
    if (!background)
        return;
    context.drawBitmap(*background, size, {0, index * getHeightOfOneImage()});
}

bool CControl::checkDefaultValue(const CButtonState& buttons) {
    if (!buttons.isControl() || !buttons.isLeftButton())
        return false;
    beginEdit();
    setValue(defaultValue);
    valueChanged();
    endEdit();
    return true;
}

void CControl::beginDrag(CPoint where) {
    beginEdit();
    dragging = true;
    dragPoint = where;
}

bool CControl::endDrag() {
    if (!dragging)
        return false;
    dragging = false;
    endEdit();
    return true;
}

CPoint CControl::dragMovement(CPoint where) {
    const CPoint movement{where.x - dragPoint.x, dragPoint.y - where.y};
    dragPoint = where;
    return movement;
}

} // namespace treskpro::toolkit
