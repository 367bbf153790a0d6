#include "editor/TreskproControls.h"

#include "toolkit/CDrawContext.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace treskpro {

using toolkit::CBitmap;
using toolkit::CButtonState;
using toolkit::CControlListener;
using toolkit::CDrawContext;
using toolkit::CMouseEventResult;
using toolkit::CPoint;
using toolkit::CRect;

// ---- TreskproKnob

TreskproKnob::TreskproKnob(const CRect& viewSize, CControlListener* controlListener, int controlTag,
                           std::shared_ptr<CBitmap> bitmap, int heightOfOneImage)
    : CKnob(viewSize, controlListener, controlTag, std::move(bitmap), heightOfOneImage) {}

CMouseEventResult TreskproKnob::onMouseDown(CPoint where, const CButtonState& buttons) {
    if (!buttons.isLeftButton() && !buttons.isRightButton())
        return CMouseEventResult::notHandled;
    if (checkDefaultValue(buttons))
        return CMouseEventResult::handled;
    holdMoves = 0;
    beginDrag(where);
    return CMouseEventResult::handled;
}

CMouseEventResult TreskproKnob::onMouseMoved(CPoint where, const CButtonState& buttons) {
    if (!isDragging())
        return CMouseEventResult::notHandled;
    const float step = buttons.isShift()         ? shiftStep
                       : buttons.isRightButton() ? rightButtonStep
                                                 : normalStep;
    const CPoint movement = dragMovement(where);
    const float upward = float(movement.y);
    const float rightward = float(movement.x);
    if (holdMoves > 0) {
        // The knob stays on its centre for a few moves, whatever the mouse does.
        --holdMoves;
        return CMouseEventResult::handled;
    }
    const float before = getValueNormalized();
    float next = before + step * (upward + 0.1f * rightward);
    if (sticky && before != 0.5f &&
        ((before < 0.5f && next >= 0.5f) || (before > 0.5f && next <= 0.5f))) {
        next = 0.5f;
        holdMoves = stickyHoldMoves;
    }
    const float old = value;
    setValueNormalized(next);
    if (value != old)
        valueChanged();
    return CMouseEventResult::handled;
}

CMouseEventResult TreskproKnob::onMouseUp(CPoint, const CButtonState&) {
    if (endDrag())
        holdMoves = 0;
    return CMouseEventResult::handled;
}

bool TreskproKnob::onWheel(CPoint where, float distance, const CButtonState& buttons) {
    // A broken wheel report would otherwise read as the minimum.
    if (!std::isfinite(distance))
        return false;
    return CKnob::onWheel(where, distance, buttons);
}

// ---- TreskproDigits

TreskproDigits::TreskproDigits(const CRect& viewSize, CControlListener* controlListener,
                               int controlTag, int digitCount, std::shared_ptr<CBitmap> bitmap)
    : CSpecialDigit(viewSize, controlListener, controlTag, digitCount, std::move(bitmap)) {}

CMouseEventResult TreskproDigits::onMouseDown(CPoint where, const CButtonState& buttons) {
    if (!buttons.isLeftButton())
        return CMouseEventResult::notHandled;
    if (checkDefaultValue(buttons))
        return CMouseEventResult::handled;
    beginDrag(where);
    return CMouseEventResult::handled;
}

CMouseEventResult TreskproDigits::onMouseMoved(CPoint where, const CButtonState& buttons) {
    if (!isDragging())
        return CMouseEventResult::notHandled;
    // Each move adds to the value reached so far at the step of the moment, so a change of Shift
    // changes only the rate, never the value.
    const float perPixel = (maximum - minimum) / (buttons.isShift() ? 10000.0f : 1000.0f);
    const CPoint movement = dragMovement(where);
    const float old = value;
    setValue(value + float(movement.x + movement.y) * perPixel);
    if (value != old)
        valueChanged();
    return CMouseEventResult::handled;
}

CMouseEventResult TreskproDigits::onMouseUp(CPoint, const CButtonState&) {
    endDrag();
    return CMouseEventResult::handled;
}

bool TreskproDigits::onWheel(CPoint, float distance, const CButtonState&) {
    if (!std::isfinite(distance))
        return false;
    const float old = value;
    beginEdit();
    setValue(value + distance);
    if (value != old)
        valueChanged();
    endEdit();
    return true;
}

// ---- TreskproPitchKeyboard

namespace {

constexpr int whiteSemitones[7] = {0, 2, 4, 5, 7, 9, 11};

struct BlackKey {
    int semitone;
    int first; // first and last pixel column within the octave
    int last;
};
constexpr BlackKey blackKeys[5] = {
    {1, 12, 24}, {3, 31, 43}, {6, 68, 81}, {8, 88, 100}, {10, 107, 119}};

const BlackKey* blackKeyOf(int semitone) {
    for (const BlackKey& black : blackKeys) {
        if (black.semitone == semitone)
            return &black;
    }
    return nullptr;
}

} // namespace

TreskproPitchKeyboard::TreskproPitchKeyboard(const CRect& viewSize,
                                             CControlListener* controlListener, int controlTag,
                                             std::shared_ptr<CBitmap> bitmap)
    : CControl(viewSize, controlListener, controlTag, std::move(bitmap)) {
    minimum = 0.0f;
    maximum = float(keyCount);
    defaultValue = 0.0f;
    value = 0.0f;
}

bool TreskproPitchKeyboard::isBlackKey(int key) {
    return key >= 0 && blackKeyOf(key % 12) != nullptr;
}

int TreskproPitchKeyboard::keyAt(CPoint where) const {
    if (!size.contains(where))
        return -1;
    const int x = where.x - size.left;
    const int y = where.y - size.top;
    const int octave = x / octaveWidth;
    const int within = x % octaveWidth;
    int semitone = whiteSemitones[std::min(within / whiteKeyWidth, 6)];
    if (y <= blackKeyDepth) {
        for (const BlackKey& black : blackKeys) {
            if (within >= black.first && within <= black.last)
                semitone = black.semitone;
        }
    }
    const int key = octave * 12 + semitone;
    return key < keyCount ? key : -1;
}

CRect TreskproPitchKeyboard::keyRect(int key) const {
    if (key < 0 || key >= keyCount)
        return {};
    const int octaveLeft = size.left + (key / 12) * octaveWidth;
    if (const BlackKey* black = blackKeyOf(key % 12))
        return {octaveLeft + black->first, size.top, octaveLeft + black->last + 1,
                size.top + blackKeyDepth};
    const int index =
        int(std::find(std::begin(whiteSemitones), std::end(whiteSemitones), key % 12) -
            std::begin(whiteSemitones));
    const int left = octaveLeft + index * whiteKeyWidth;
    return {left, size.top, left + whiteKeyWidth, size.bottom};
}

void TreskproPitchKeyboard::setMarkedKey(int key) {
    key = key >= 0 && key < keyCount ? key : -1;
    if (key == marked)
        return;
    marked = key;
    invalid();
}

int TreskproPitchKeyboard::frameOf(int key) const {
    return (key == pressed ? 1 : 0) + (key == marked ? 2 : 0);
}

void TreskproPitchKeyboard::drawKey(CDrawContext& context, int key, int frame) {
    const CRect area = keyRect(key).intersection(size);
    if (area.isEmpty() || !background)
        return;
    frame = std::clamp(frame, 0, frameCount() - 1);
    context.drawBitmap(
        *background, area,
        {area.left - size.left, frame * getHeightOfOneImage() + area.top - size.top});
}

void TreskproPitchKeyboard::draw(CDrawContext& context) {
    drawFrame(context, 0);
    const int shown[2] = {pressed, marked};
    // White keys first, then the black keys that overlap them, so a pressed white key never
    // covers its black neighbours; the pressed or marked black keys come last.
    for (const int key : shown) {
        if (key < 0 || isBlackKey(key))
            continue;
        drawKey(context, key, frameOf(key));
        for (const int neighbour : {key - 1, key + 1}) {
            if (neighbour >= 0 && neighbour < keyCount && isBlackKey(neighbour))
                drawKey(context, neighbour, frameOf(neighbour));
        }
    }
    for (const int key : shown) {
        if (isBlackKey(key))
            drawKey(context, key, frameOf(key));
    }
}

void TreskproPitchKeyboard::press(int key) {
    pressed = key;
    invalid();
    setValue(float(key + 1));
    valueChanged();
}

CMouseEventResult TreskproPitchKeyboard::onMouseDown(CPoint where, const CButtonState& buttons) {
    if (!buttons.isLeftButton() || buttons.isRightButton() || buttons.has(CButtonState::kMButton))
        return CMouseEventResult::notHandled;
    tracking = true;
    beginEdit();
    if (const int key = keyAt(where); key >= 0)
        press(key);
    return CMouseEventResult::handled;
}

CMouseEventResult TreskproPitchKeyboard::onMouseMoved(CPoint where, const CButtonState& buttons) {
    if (!tracking)
        return CMouseEventResult::notHandled;
    if (buttons.isRightButton() || buttons.has(CButtonState::kMButton))
        return CMouseEventResult::handled;
    if (const int key = keyAt(where); key >= 0 && key != pressed)
        press(key);
    return CMouseEventResult::handled;
}

CMouseEventResult TreskproPitchKeyboard::onMouseUp(CPoint, const CButtonState&) {
    if (!tracking)
        return CMouseEventResult::notHandled;
    tracking = false;
    pressed = -1;
    invalid();
    setValue(0.0f);
    valueChanged();
    endEdit();
    return CMouseEventResult::handled;
}

// ---- TreskproFloatingDisplay

TreskproFloatingDisplay::TreskproFloatingDisplay(const CRect& viewSize,
                                                 std::shared_ptr<CBitmap> bitmap,
                                                 int heightOfOneImage)
    : CControl(viewSize, nullptr, -1, std::move(bitmap)) {
    setHeightOfOneImage(heightOfOneImage);
    setMouseEnabled(false);
    setVisible(false);
}

void TreskproFloatingDisplay::show(const std::string& first, const std::string& second,
                                   CPoint where) {
    lines[0] = first;
    lines[1] = second;
    frame = 0;
    // Moving marks the old place and the new one; the text may change in place too.
    setViewSize(CRect::fromSize(where.x, where.y, size.width(), size.height()));
    setVisible(true);
    invalid();
}

void TreskproFloatingDisplay::showUnder(const CRect& control, const std::string& first,
                                        const std::string& second) {
    show(first, second, {control.center().x - size.width() / 2 - 2, control.bottom});
}

void TreskproFloatingDisplay::hide() {
    setVisible(false);
}

bool TreskproFloatingDisplay::advance() {
    if (!isVisible() || frame >= frameCount() - 1)
        return false;
    ++frame;
    invalid();
    return true;
}

void TreskproFloatingDisplay::setFontColor(toolkit::CColor color) {
    fontColor = color;
    invalid();
}

void TreskproFloatingDisplay::draw(CDrawContext& context) {
    drawFrame(context, std::clamp(frame, 0, frameCount() - 1));
    context.setFont(toolkit::CFont(toolkit::CFontId::small));
    context.setFontColor(fontColor);
    const int middle = size.top + size.height() / 2;
    context.drawString(lines[0], {size.left, size.top, size.right, middle});
    context.drawString(lines[1], {size.left, middle, size.right, size.bottom});
}

// ---- TreskproSmallIndicator

TreskproSmallIndicator::TreskproSmallIndicator(const CRect& viewSize,
                                               std::shared_ptr<CBitmap> bitmap,
                                               int heightOfOneImage)
    : CControl(viewSize, nullptr, -1, std::move(bitmap)) {
    setHeightOfOneImage(heightOfOneImage);
    setMouseEnabled(false);
}

void TreskproSmallIndicator::draw(CDrawContext& context) {
    drawFrame(context, frameForValue(getValueNormalized(), frameCount()));
}

// ---- TreskproTripletButton

TreskproTripletButton::TreskproTripletButton(const CRect& viewSize,
                                             CControlListener* controlListener, int controlTag,
                                             std::shared_ptr<CBitmap> bitmap, int heightOfOneImage)
    : CControl(viewSize, controlListener, controlTag, std::move(bitmap)) {
    setHeightOfOneImage(heightOfOneImage);
    defaultValue = 0.0f;
}

void TreskproTripletButton::draw(CDrawContext& context) {
    drawFrame(context, getValueNormalized() >= 0.5f ? std::min(1, frameCount() - 1) : 0);
}

CMouseEventResult TreskproTripletButton::onMouseDown(CPoint, const CButtonState& buttons) {
    if (!buttons.isLeftButton())
        return CMouseEventResult::notHandled;
    beginEdit();
    setValue(getValueNormalized() >= 0.5f ? minimum : maximum);
    valueChanged();
    endEdit();
    return CMouseEventResult::handled;
}

// ---- TreskproPatchNameField

TreskproPatchNameField::TreskproPatchNameField(const CRect& viewSize,
                                               CControlListener* controlListener, int controlTag,
                                               const std::string& initialText)
    : CTextEdit(viewSize, controlListener, controlTag) {
    setMaximumLength(maximumNameLength);
    // The name sits on the panel's own picture.
    setBackColor(toolkit::kTransparentCColor);
    setFrameColor(toolkit::kTransparentCColor);
    setText(initialText);
}

void TreskproPatchNameField::setName(const char* buffer, std::size_t bufferSize) {
    if (buffer == nullptr) {
        setText({});
        return;
    }
    const void* end = std::memchr(buffer, 0, bufferSize);
    setText(
        std::string(buffer, end != nullptr ? static_cast<const char*>(end) : buffer + bufferSize));
}

} // namespace treskpro
