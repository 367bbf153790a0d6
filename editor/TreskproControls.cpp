#include "editor/TreskproControls.h"

#include "toolkit/CDrawContext.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>

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

// ---- TreskproSocket

TreskproSocket::TreskproSocket(const CRect& viewSize, CControlListener* controlListener,
                               int controlTag, std::shared_ptr<CBitmap> bitmap,
                               int heightOfOneImage)
    : CControl(viewSize, controlListener, controlTag, std::move(bitmap)) {
    setHeightOfOneImage(heightOfOneImage);
    // The value counts the mouse polls of one press.
    maximum = 1.0e9f;
    defaultValue = 0.0f;
}

void TreskproSocket::setTarget(bool isTargetNow) {
    if (target == isTargetNow)
        return;
    target = isTargetNow;
    invalid();
}

void TreskproSocket::setAccepting(bool accepts) {
    if (accepting == accepts)
        return;
    accepting = accepts;
    invalid();
}

void TreskproSocket::setName(const std::string& text) {
    name = text.substr(0, maximumNameLength);
}

void TreskproSocket::draw(CDrawContext& context) {
    drawFrame(context, target ? std::min(1, frameCount() - 1) : 0);
    if (accepting) {
        context.setFrameColor(acceptanceColor);
        context.setLineWidth(1);
        context.drawRect(size);
    }
}

void TreskproSocket::report(float count, CPoint where, const CButtonState& held) {
    point = where;
    buttons = held;
    value = count;
    valueChanged();
}

CMouseEventResult TreskproSocket::onMouseDown(CPoint where, const CButtonState& held) {
    if (held.isRightButton()) {
        tracking = false;
        report(0.0f, where, held);
        return CMouseEventResult::handled;
    }
    if (!held.isLeftButton())
        return CMouseEventResult::notHandled;
    tracking = true;
    report(1.0f, where, held);
    return CMouseEventResult::handled;
}

CMouseEventResult TreskproSocket::onMouseMoved(CPoint where, const CButtonState& held) {
    if (!tracking)
        return CMouseEventResult::notHandled;
    report(std::min(value + 1.0f, maximum), where, held);
    return CMouseEventResult::handled;
}

CMouseEventResult TreskproSocket::onMouseUp(CPoint where, const CButtonState& held) {
    if (!tracking)
        return CMouseEventResult::notHandled;
    tracking = false;
    report(0.0f, where, held);
    return CMouseEventResult::handled;
}

// ---- TreskproCable

namespace {

// Room around the curve for the tube's width, its shadow and the plug.
constexpr int cableMargin = 10;
constexpr int largestCoordinate = 32767;

struct Shade {
    int offset;
    int grey;
};
// The tube's seven lines from one side to the other: dark edges, a highlight off the middle.
constexpr Shade tubeShades[7] = {{-3, 60}, {-2, 70}, {-1, 100}, {0, 130},
                                 {1, 250}, {2, 150}, {3, 100}};

std::uint8_t shadeChannel(int grey, float factor) {
    return std::uint8_t(std::clamp(float(grey) * factor, 0.0f, 255.0f));
}

// Blends `colour` into one pixel of the target by coverage / 255; pixels outside `clip` (in
// target coordinates) are left alone.
void blendPixel(CBitmap& target, const CRect& clip, int x, int y, std::uint32_t colour,
                std::uint32_t coverage) {
    if (x < clip.left || x >= clip.right || y < clip.top || y >= clip.bottom)
        return;
    std::uint32_t& pixel = target.row(y)[x];
    const std::uint32_t keep = 255 - coverage;
    const auto mix = [&](std::uint32_t line, std::uint32_t under) {
        return toolkit::multiplyBytes(line, coverage) + toolkit::multiplyBytes(under, keep);
    };
    pixel = toolkit::packPixel(mix(255, toolkit::pixelAlpha(pixel)),
                               mix(toolkit::pixelRed(colour), toolkit::pixelRed(pixel)),
                               mix(toolkit::pixelGreen(colour), toolkit::pixelGreen(pixel)),
                               mix(toolkit::pixelBlue(colour), toolkit::pixelBlue(pixel)));
}

// A line stepped one pixel at a time along its major axis, the minor coordinate in 16.16 fixed
// point: the pixel on the line takes the whole colour, its two neighbours across the line are
// blended by the fraction and its complement. The buffer's outermost rows and columns are left
// alone; a line whose ends coincide draws nothing.
void antiAliasedLine(CBitmap& target, CRect clip, float x0, float y0, float x1, float y1,
                     std::uint32_t colour) {
    clip = clip.intersection(target.bounds().inset(1, 1));
    const int startX = int(std::lround(x0));
    const int startY = int(std::lround(y0));
    const int endX = int(std::lround(x1));
    const int endY = int(std::lround(y1));
    const int dx = endX - startX;
    const int dy = endY - startY;
    if (dx == 0 && dy == 0)
        return;
    const bool xMajor = std::abs(dx) >= std::abs(dy);
    const int steps = xMajor ? std::abs(dx) : std::abs(dy);
    const int direction = (xMajor ? dx : dy) > 0 ? 1 : -1;
    // The minor coordinate at the start and its change per step, 16.16.
    std::int64_t minor = std::int64_t(std::lround((xMajor ? y0 : x0) * 65536.0f));
    const std::int64_t slope =
        std::int64_t(std::lround(double(xMajor ? y1 - y0 : x1 - x0) * 65536.0 / double(steps)));
    int major = xMajor ? startX : startY;
    for (int k = 0; k <= steps; ++k, major += direction, minor += slope) {
        const int whole = int(minor >> 16);
        const std::uint32_t fraction = std::uint32_t(minor & 0xffff) >> 8;
        if (xMajor) {
            blendPixel(target, clip, major, whole, colour, 255);
            blendPixel(target, clip, major, whole + 1, colour, fraction);
            blendPixel(target, clip, major, whole - 1, colour, 255 - fraction);
        } else {
            blendPixel(target, clip, whole, major, colour, 255);
            blendPixel(target, clip, whole + 1, major, colour, fraction);
            blendPixel(target, clip, whole - 1, major, colour, 255 - fraction);
        }
    }
}

// Whether the box around a segment, grown by `margin`, reaches into `clip`: a cable is drawn
// once for every area redrawn, and most of its segments lie outside most of them.
bool segmentReaches(const CRect& clip, float x0, float y0, float x1, float y1, float margin) {
    return std::min(x0, x1) - margin < float(clip.right) &&
           std::max(x0, x1) + margin >= float(clip.left) &&
           std::min(y0, y1) - margin < float(clip.bottom) &&
           std::max(y0, y1) + margin >= float(clip.top);
}

// The part of the context's target a view may draw into: its clip, in target coordinates.
CRect targetClip(CDrawContext& context) {
    const CPoint origin = context.offset();
    return context.clipRect().offset(origin.x, origin.y).intersection(context.target().bounds());
}

} // namespace

TreskproCable::TreskproCable(std::shared_ptr<CBitmap> shadow, std::shared_ptr<CBitmap> plug)
    : CControl(CRect{}, nullptr, -1), shadowImage(std::move(shadow)), plugImage(std::move(plug)) {
    setMouseEnabled(false);
    setVisible(false);
}

CRect TreskproCable::takeDirtyArea() {
    const CRect area = dirtyArea;
    dirtyArea = {};
    return area;
}

void TreskproCable::swapState(TreskproCable& other) {
    std::swap(shape, other.shape);
}

float TreskproCable::restX() const {
    return float(shape.a.x + shape.b.x) * 0.5f + 5.0f;
}

float TreskproCable::restY() const {
    return float(shape.a.y + shape.b.y) * 0.5f + 200.0f * shape.tension;
}

void TreskproCable::placeControlPoint(float dx, float dy) {
    shape.qx = float(shape.a.x + shape.b.x) * 0.5f + dx;
    shape.qy = float(shape.a.y + shape.b.y) * 0.5f + dy;
    shape.vx = shape.vy = shape.ax = shape.ay = 0.0f;
    resample();
}

namespace {

// One axis of the spring; true when it has come to rest.
bool springAxis(float& q, float& v, float& a, float rest, float step) {
    a = rest - 0.72f * v - q;
    v += a * step;
    const float next = q + v * step;
    if (std::fabs(next - rest) < 0.01f && std::fabs(v) < 0.01f) {
        q = rest;
        v = a = 0.0f;
        return true;
    }
    q = next;
    return false;
}

} // namespace

bool TreskproCable::animate(bool animating) {
    const float rx = restX();
    const float ry = restY();
    shape.pointCount = std::clamp(int(shape.lengthFactor * 17.0f), 2, maximumPoints);
    if (animating) {
        const bool restingX = springAxis(shape.qx, shape.vx, shape.ax, rx, shape.step);
        const bool restingY = springAxis(shape.qy, shape.vy, shape.ay, ry, shape.step);
        shape.moving = !(restingX && restingY);
    } else {
        shape.qx = rx;
        shape.qy = ry;
        shape.vx = shape.vy = shape.ax = shape.ay = 0.0f;
        shape.moving = false;
    }
    return resample();
}

bool TreskproCable::resample() {
    const int count = std::clamp(shape.pointCount, 2, maximumPoints);
    bool changed = false;
    float left = 1e9f, top = 1e9f, right = -1e9f, bottom = -1e9f;
    for (int i = 0; i < count; ++i) {
        const float t = float(i) / float(count - 1);
        const float u = 1.0f - t;
        const float x =
            float(shape.a.x) * u * u + 2.0f * shape.qx * t * u + float(shape.b.x) * t * t;
        const float y =
            float(shape.a.y) * u * u + 2.0f * shape.qy * t * u + float(shape.b.y) * t * t;
        changed = changed || x != shape.px[std::size_t(i)] || y != shape.py[std::size_t(i)];
        shape.px[std::size_t(i)] = x;
        shape.py[std::size_t(i)] = y;
        left = std::min(left, x);
        top = std::min(top, y);
        right = std::max(right, x);
        bottom = std::max(bottom, y);
    }
    int margin = cableMargin;
    if (plugImage && shape.loose)
        margin = std::max({margin, plugImage->width() / 2 + 1, plugImage->height() / 2 + 1});
    const auto bound = [](float coordinate) {
        return int(std::clamp(coordinate, 0.0f, float(largestCoordinate)));
    };
    const CRect box{bound(std::floor(left) - float(margin)), bound(std::floor(top) - float(margin)),
                    bound(std::ceil(right) + float(margin) + 1.0f),
                    bound(std::ceil(bottom) + float(margin) + 1.0f)};
    // The old place and the new one need redrawing; the editor redraws the areas of all its
    // cables at once.
    if (box != size || changed) {
        if (isVisible()) {
            dirtyArea = dirtyArea.isEmpty() ? size : dirtyArea.united(size);
            dirtyArea = dirtyArea.isEmpty() ? box : dirtyArea.united(box);
        }
        size = box;
        changed = true;
    }
    return changed;
}

void TreskproCable::draw(CDrawContext& context) {
    if (!shape.inUse)
        return;
    if (shape.type == 0) {
        if (shape.antiAliased && shape.softShadow)
            drawShadow(context);
        drawTube(context);
    } else if (shape.type == 1 && shape.antiAliased) {
        drawTinted(context);
    }
    if (shape.loose && plugImage && !plugImage->empty()) {
        const int width = plugImage->width();
        const int height = plugImage->height();
        context.drawBitmap(*plugImage, CRect::fromSize(shape.b.x - width / 2,
                                                       shape.b.y - height / 2, width, height));
    }
}

void TreskproCable::drawTube(CDrawContext& context) {
    const int count = std::clamp(shape.pointCount, 2, maximumPoints);
    // The highlight stays on the upper side whichever way the cable runs.
    const float side = shape.a.x < shape.b.x ? -1.0f : 1.0f;
    const CPoint origin = context.offset();
    const CRect clip = targetClip(context);
    if (!shape.antiAliased) {
        context.setDrawMode(toolkit::CDrawMode::aliased);
        context.setLineWidth(2);
    }
    for (const Shade& shade : tubeShades) {
        const toolkit::CColor colour{shadeChannel(shade.grey, shape.red),
                                     shadeChannel(shade.grey, shape.green),
                                     shadeChannel(shade.grey, shape.blue), 255};
        const std::uint32_t pixel = toolkit::toPixel(colour);
        context.setFrameColor(colour);
        const float offset = float(shade.offset) * side;
        bool started = false;
        float lastX = 0.0f, lastY = 0.0f;
        for (int i = 0; i + 1 < count; ++i) {
            const float dx = shape.px[std::size_t(i + 1)] - shape.px[std::size_t(i)];
            const float dy = shape.py[std::size_t(i + 1)] - shape.py[std::size_t(i)];
            const float length = std::sqrt(dx * dx + dy * dy);
            if (length < 0.00001f)
                continue;
            const float nx = -dy / length * offset;
            const float ny = dx / length * offset;
            if (!started) {
                lastX = shape.px[std::size_t(i)] + nx;
                lastY = shape.py[std::size_t(i)] + ny;
                started = true;
            }
            const float x = shape.px[std::size_t(i + 1)] + nx;
            const float y = shape.py[std::size_t(i + 1)] + ny;
            if (!segmentReaches(clip, lastX + float(origin.x), lastY + float(origin.y),
                                x + float(origin.x), y + float(origin.y), 3.0f)) {
                // Off this area: nothing to draw.
            } else if (shape.antiAliased) {
                antiAliasedLine(context.target(), clip, lastX + float(origin.x),
                                lastY + float(origin.y), x + float(origin.x), y + float(origin.y),
                                pixel);
            } else {
                context.drawLine({int(std::lround(lastX)), int(std::lround(lastY))},
                                 {int(std::lround(x)), int(std::lround(y))});
            }
            lastX = x;
            lastY = y;
        }
    }
}

// Along every segment, as many samples as the segment is long (at most 64), each darkening the
// 10 x 10 box below and right of it; the boxes overlap, so the shadow is deepest under the
// middle of the tube. Darkening a pixel n times gives the same as n darkenings one after the
// other, so the boxes are first counted per pixel and each pixel is then darkened once through a
// table of the repeated step (a channel's darkening does not depend on the other channels). A box
// is counted on each of its rows as a step up at its left edge and down at its right edge; the
// darkening pass adds the steps up along the row. The counts wrap at 2^16, which the sums never
// reach, so they come out exact.
void TreskproCable::drawShadow(CDrawContext& context) {
    const int count = std::clamp(shape.pointCount, 2, maximumPoints);
    const CPoint origin = context.offset();
    const CRect clip = targetClip(context);
    if (clip.width() <= 0 || clip.height() <= 0)
        return;
    // One column more than the area: a box ending at its right edge steps down there.
    const std::size_t stride = std::size_t(clip.width()) + 1;
    std::vector<std::uint16_t>& hits = shadowHits;
    // All zero between draws: each draw clears what it counted.
    const std::size_t needed = stride * std::size_t(clip.height());
    if (hits.size() < needed)
        hits.assign(needed, 0);
    // Empty spans (left past right) between draws, as the counts are zero.
    constexpr std::pair<int, int> noColumns{std::numeric_limits<int>::max(),
                                            std::numeric_limits<int>::min()};
    if (shadowRows.size() < std::size_t(clip.height()))
        shadowRows.resize(std::size_t(clip.height()), noColumns);
    // The part of the area the boxes touched: only that is darkened.
    CRect touched;
    bool any = false;
    for (int i = 0; i + 1 < count; ++i) {
        const float x0 = shape.px[std::size_t(i)];
        const float y0 = shape.py[std::size_t(i)];
        const float dx = shape.px[std::size_t(i + 1)] - x0;
        const float dy = shape.py[std::size_t(i + 1)] - y0;
        // The boxes reach 10 pixels right of and below the segment.
        if (!segmentReaches(clip.offset(-origin.x - 5, -origin.y - 5), x0, y0, x0 + dx, y0 + dy,
                            6.0f))
            continue;
        const int samples = int(std::min(std::sqrt(dx * dx + dy * dy), 64.0f));
        for (int k = 0; k < samples; ++k) {
            const float t = float(k) / float(samples);
            const int x = int(x0 + dx * t) + origin.x;
            const int y = int(y0 + dy * t) + origin.y;
            const CRect box = CRect::fromSize(x, y, 10, 10).intersection(clip);
            for (int row = box.top; row < box.bottom; ++row) {
                std::uint16_t* steps =
                    hits.data() + std::size_t(row - clip.top) * stride - std::size_t(clip.left);
                ++steps[box.left];
                --steps[box.right];
                auto& [first, last] = shadowRows[std::size_t(row - clip.top)];
                first = std::min(first, box.left);
                last = std::max(last, box.right);
            }
            if (box.width() > 0 && box.height() > 0) {
                touched = any ? touched.united(box) : box;
                any = true;
            }
        }
    }
    if (!any)
        return;
    // darkened[n][c]: channel value c darkened n times by 235 / 255, as scalePixel rounds it.
    static const auto darkened = [] {
        auto table = std::make_unique<std::array<std::array<std::uint8_t, 256>, 256>>();
        for (std::uint32_t c = 0; c < 256; ++c) {
            std::uint32_t level = c;
            for (std::size_t n = 0; n < 256; ++n) {
                (*table)[n][c] = std::uint8_t(level);
                level = toolkit::scalePixel(level, 235) & 0xffu;
            }
        }
        return table;
    }();
    CBitmap& target = context.target();
    for (int row = touched.top; row < touched.bottom; ++row) {
        std::uint32_t* pixels = target.row(row);
        std::uint16_t* steps =
            hits.data() + std::size_t(row - clip.top) * stride - std::size_t(clip.left);
        const auto [first, last] =
            std::exchange(shadowRows[std::size_t(row - clip.top)], noColumns);
        std::uint16_t boxes = 0;
        // Up to and with the right edge, so that its steps down are cleared too.
        for (int column = first; column <= last && first < last; ++column) {
            boxes = std::uint16_t(boxes + steps[column]);
            steps[column] = 0;
            if (boxes == 0)
                continue;
            // Darkened 255 times, every channel has long reached where the step leaves it.
            const auto& step = (*darkened)[std::min<std::size_t>(boxes, 255)];
            std::uint32_t& pixel = pixels[column];
            pixel = std::uint32_t(step[pixel >> 24]) << 24 |
                    std::uint32_t(step[pixel >> 16 & 0xffu]) << 16 |
                    std::uint32_t(step[pixel >> 8 & 0xffu]) << 8 | step[pixel & 0xffu];
        }
    }
}

// The groove: along the curve, each pixel of a small box becomes the average of itself and its
// right, lower and lower-right neighbours, darkened channel by channel by the tint.
void TreskproCable::drawTinted(CDrawContext& context) {
    constexpr int boxSide = 6;
    const int count = std::clamp(shape.pointCount, 2, maximumPoints);
    const CPoint origin = context.offset();
    CBitmap& target = context.target();
    // The neighbours read must lie in the buffer too.
    const CRect clip = targetClip(context).intersection(
        {0, 0, std::max(target.width() - 1, 0), std::max(target.height() - 1, 0)});
    std::uint32_t keep[3];
    for (int c = 0; c < 3; ++c)
        keep[c] = std::uint32_t(255.0f - std::clamp(shape.tint[std::size_t(c)], 0.0f, 255.0f));
    for (int i = 0; i + 1 < count; ++i) {
        const float x0 = shape.px[std::size_t(i)];
        const float y0 = shape.py[std::size_t(i)];
        const float dx = shape.px[std::size_t(i + 1)] - x0;
        const float dy = shape.py[std::size_t(i + 1)] - y0;
        if (!segmentReaches(clip.offset(-origin.x, -origin.y), x0, y0, x0 + dx, y0 + dy,
                            float(boxSide)))
            continue;
        const int samples = std::max(1, int(std::min(std::sqrt(dx * dx + dy * dy), 64.0f)));
        for (int k = 0; k < samples; ++k) {
            const float t = float(k) / float(samples);
            const int x = int(x0 + dx * t) + origin.x - boxSide / 2;
            const int y = int(y0 + dy * t) + origin.y - boxSide / 2;
            const CRect box = CRect::fromSize(x, y, boxSide, boxSide).intersection(clip);
            for (int row = box.top; row < box.bottom; ++row) {
                std::uint32_t* here = target.row(row);
                const std::uint32_t* below = target.row(row + 1);
                for (int column = box.left; column < box.right; ++column) {
                    const std::uint32_t p[4] = {here[column], here[column + 1], below[column],
                                                below[column + 1]};
                    const auto average = [&](std::uint32_t (*channel)(std::uint32_t),
                                             std::uint32_t scale) {
                        const std::uint32_t sum =
                            channel(p[0]) + channel(p[1]) + channel(p[2]) + channel(p[3]);
                        return (sum / 4) * scale / 256;
                    };
                    here[column] = toolkit::packPixel(toolkit::pixelAlpha(p[0]),
                                                      average(toolkit::pixelRed, keep[0]),
                                                      average(toolkit::pixelGreen, keep[1]),
                                                      average(toolkit::pixelBlue, keep[2]));
                }
            }
        }
    }
}

// ---- TreskproPatchNameField

TreskproPatchNameField::TreskproPatchNameField(const CRect& viewSize,
                                               CControlListener* controlListener, int controlTag,
                                               const std::string& initialText)
    : CTextEdit(viewSize, controlListener, controlTag) {
    setMaximumLength(maximumNameLength);
    // The name sits on the panel's own picture, a dark display: light text reads there.
    setBackColor(toolkit::kTransparentCColor);
    setFrameColor(toolkit::kTransparentCColor);
    setFontColor({150, 235, 160, 255});
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
