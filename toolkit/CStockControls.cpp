#include "toolkit/CStockControls.h"

#include "toolkit/CDrawContext.h"

#include <algorithm>
#include <cmath>

namespace treskpro::toolkit {

// ---- CKnob

CKnob::CKnob(const CRect& viewSize, CControlListener* controlListener, int controlTag,
             std::shared_ptr<CBitmap> bitmap, int heightOfOneImage)
    : CControl(viewSize, controlListener, controlTag, std::move(bitmap)) {
    setHeightOfOneImage(heightOfOneImage);
}

void CKnob::draw(CDrawContext& context) {
    drawFrame(context, frameForValue(getValueNormalized(), frameCount()));
}

CMouseEventResult CKnob::onMouseDown(CPoint where, const CButtonState& buttons) {
    if (checkDefaultValue(buttons))
        return CMouseEventResult::handled;
    beginDrag(where);
    return CMouseEventResult::handled;
}

CMouseEventResult CKnob::onMouseMoved(CPoint where, const CButtonState& buttons) {
    if (!isDragging())
        return CMouseEventResult::notHandled;
    const float step = buttons.isShift() ? dragStep * 0.1f : dragStep;
    const CPoint movement = dragMovement(where);
    const float before = value;
    setValueNormalized(getValueNormalized() + float(movement.x + movement.y) * step);
    if (value != before)
        valueChanged();
    return CMouseEventResult::handled;
}

CMouseEventResult CKnob::onMouseUp(CPoint, const CButtonState&) {
    endDrag();
    return CMouseEventResult::handled;
}

bool CKnob::onWheel(CPoint, float distance, const CButtonState& buttons) {
    const float step = buttons.isShift() ? 0.001f : 0.01f;
    const float before = value;
    beginEdit();
    setValueNormalized(getValueNormalized() + distance * step);
    if (value != before)
        valueChanged();
    endEdit();
    return true;
}

// ---- COnOffButton

COnOffButton::COnOffButton(const CRect& viewSize, CControlListener* controlListener, int controlTag,
                           std::shared_ptr<CBitmap> bitmap)
    : CControl(viewSize, controlListener, controlTag, std::move(bitmap)) {}

void COnOffButton::draw(CDrawContext& context) {
    drawFrame(context, getValueNormalized() >= 0.5f ? 1 : 0);
}

CMouseEventResult COnOffButton::onMouseDown(CPoint, const CButtonState& buttons) {
    if (!buttons.isLeftButton())
        return CMouseEventResult::notHandled;
    beginEdit();
    setValue(getValueNormalized() >= 0.5f ? minimum : maximum);
    valueChanged();
    endEdit();
    return CMouseEventResult::handled;
}

// ---- CKickButton

CKickButton::CKickButton(const CRect& viewSize, CControlListener* controlListener, int controlTag,
                         std::shared_ptr<CBitmap> bitmap, int heightOfOneImage)
    : CControl(viewSize, controlListener, controlTag, std::move(bitmap)) {
    setHeightOfOneImage(heightOfOneImage);
}

void CKickButton::draw(CDrawContext& context) {
    drawFrame(context, getValueNormalized() >= 0.5f ? 1 : 0);
}

CMouseEventResult CKickButton::onMouseDown(CPoint, const CButtonState& buttons) {
    if (!buttons.isLeftButton())
        return CMouseEventResult::notHandled;
    beginEdit();
    setValue(maximum);
    valueChanged();
    return CMouseEventResult::handled;
}

CMouseEventResult CKickButton::onMouseUp(CPoint, const CButtonState&) {
    setValue(minimum);
    valueChanged();
    endEdit();
    return CMouseEventResult::handled;
}

// ---- CVerticalSwitch, CHorizontalSwitch

CSwitchBase::CSwitchBase(const CRect& viewSize, CControlListener* controlListener, int controlTag,
                         std::shared_ptr<CBitmap> bitmap, int positionCount, int heightOfOneImage,
                         bool horizontal)
    : CControl(viewSize, controlListener, controlTag, std::move(bitmap)), across(horizontal) {
    setHeightOfOneImage(heightOfOneImage);
    positions = positionCount > 0 ? positionCount : frameCount();
}

int CSwitchBase::getPosition() const {
    return frameForValue(getValueNormalized(), positions);
}

void CSwitchBase::draw(CDrawContext& context) {
    drawFrame(context, std::min(getPosition(), frameCount() - 1));
}

void CSwitchBase::choose(CPoint where) {
    const int extent = across ? size.width() : size.height();
    const int offset = across ? where.x - size.left : where.y - size.top;
    if (extent <= 0)
        return;
    const int position = std::clamp(offset * positions / extent, 0, positions - 1);
    const float normalized = positions > 1 ? float(position) / float(positions - 1) : 0.0f;
    const float before = value;
    setValueNormalized(normalized);
    if (value != before)
        valueChanged();
}

CMouseEventResult CSwitchBase::onMouseDown(CPoint where, const CButtonState& buttons) {
    if (!buttons.isLeftButton())
        return CMouseEventResult::notHandled;
    beginEdit();
    choose(where);
    return CMouseEventResult::handled;
}

CMouseEventResult CSwitchBase::onMouseMoved(CPoint where, const CButtonState&) {
    choose(where);
    return CMouseEventResult::handled;
}

CMouseEventResult CSwitchBase::onMouseUp(CPoint, const CButtonState&) {
    endEdit();
    return CMouseEventResult::handled;
}

CVerticalSwitch::CVerticalSwitch(const CRect& viewSize, CControlListener* controlListener,
                                 int controlTag, std::shared_ptr<CBitmap> bitmap, int positionCount,
                                 int heightOfOneImage)
    : CSwitchBase(viewSize, controlListener, controlTag, std::move(bitmap), positionCount,
                  heightOfOneImage, false) {}

CHorizontalSwitch::CHorizontalSwitch(const CRect& viewSize, CControlListener* controlListener,
                                     int controlTag, std::shared_ptr<CBitmap> bitmap,
                                     int positionCount, int heightOfOneImage)
    : CSwitchBase(viewSize, controlListener, controlTag, std::move(bitmap), positionCount,
                  heightOfOneImage, true) {}

// ---- CRockerSwitch

CRockerSwitch::CRockerSwitch(const CRect& viewSize, CControlListener* controlListener,
                             int controlTag, std::shared_ptr<CBitmap> bitmap, int heightOfOneImage,
                             Orientation rockerOrientation)
    : CControl(viewSize, controlListener, controlTag, std::move(bitmap)),
      orientation(rockerOrientation) {
    setHeightOfOneImage(heightOfOneImage);
    minimum = -1.0f;
    maximum = 1.0f;
    value = 0.0f;
    defaultValue = 0.0f;
}

void CRockerSwitch::draw(CDrawContext& context) {
    drawFrame(context, value < 0.0f ? 0 : value > 0.0f ? 2 : 1);
}

CMouseEventResult CRockerSwitch::onMouseDown(CPoint where, const CButtonState& buttons) {
    if (!buttons.isLeftButton())
        return CMouseEventResult::notHandled;
    const bool firstHalf = orientation == Orientation::vertical
                               ? where.y < size.top + size.height() / 2
                               : where.x < size.left + size.width() / 2;
    beginEdit();
    setValue(firstHalf ? -1.0f : 1.0f);
    valueChanged();
    return CMouseEventResult::handled;
}

CMouseEventResult CRockerSwitch::onMouseUp(CPoint, const CButtonState&) {
    setValue(0.0f);
    valueChanged();
    endEdit();
    return CMouseEventResult::handled;
}

// ---- CMovieBitmap

CMovieBitmap::CMovieBitmap(const CRect& viewSize, CControlListener* controlListener, int controlTag,
                           std::shared_ptr<CBitmap> bitmap, int heightOfOneImage)
    : CControl(viewSize, controlListener, controlTag, std::move(bitmap)) {
    setHeightOfOneImage(heightOfOneImage);
    setMouseEnabled(false);
}

void CMovieBitmap::draw(CDrawContext& context) {
    drawFrame(context, frameForValue(getValueNormalized(), frameCount()));
}

// ---- CSpecialDigit

CSpecialDigit::CSpecialDigit(const CRect& viewSize, CControlListener* controlListener,
                             int controlTag, int digitCount, std::shared_ptr<CBitmap> bitmap)
    : CControl(viewSize, controlListener, controlTag, std::move(bitmap)),
      digits(std::clamp(digitCount, 1, 9)) {
    minimum = 0.0f;
    maximum = std::pow(10.0f, float(digits)) - 1.0f;
    defaultValue = 0.0f;
    value = 0.0f;
}

int CSpecialDigit::digitAt(int position) const {
    if (position < 0 || position >= digits)
        return 0;
    // A minimum below zero must not pick a glyph from above the strip: negatives show as zero.
    int number = value > 0.0f ? int(value) : 0;
    for (int k = digits - 1; k > position; --k)
        number /= 10;
    return number % 10;
}

void CSpecialDigit::setLeadingZeros(bool show) {
    leadingZeros = show;
    invalid();
}

void CSpecialDigit::draw(CDrawContext& context) {
    if (!background || background->empty())
        return;
    const int glyphWidth = background->width();
    const int glyphHeight = background->height() / 10;
    bool leading = true;
    for (int position = 0; position < digits; ++position) {
        const int digit = digitAt(position);
        leading = leading && digit == 0 && position < digits - 1;
        if (leading && !leadingZeros)
            continue;
        const CRect cell =
            CRect::fromSize(size.left + position * glyphWidth, size.top, glyphWidth, glyphHeight)
                .intersection(size);
        context.drawBitmap(*background, cell, {0, digit * glyphHeight});
    }
}

} // namespace treskpro::toolkit
