// The panel's own controls, built on the toolkit's: the knob, the digit display, the pitch
// keyboard, the floating value display, the small indicator, the triplet button and the patch
// name field. Each draws frames of its skin image chosen by its value, and tells its listener
// through the toolkit's usual path: valueChanged for every change the user makes, with
// controlBeginEdit and controlEndEdit around a gesture, so the panel can turn a drag into one
// automation gesture for the host. Setting a value from outside redraws and tells nobody.
//
// Whatever value arrives (out of range, NaN from a host) is bounded before it picks a frame or a
// glyph, and an image shorter than one frame still draws no more than it has. Editor thread only.
#pragma once

#include "toolkit/CStockControls.h"
#include "toolkit/CTextEdit.h"

#include <array>
#include <string>
#include <vector>

namespace treskpro {

// A film-strip knob (h / eh frames). A drag moves the value by step × (upward + 0.1 × rightward
// pixels) per mouse move: 0.005 per pixel, 0.001 with the right button, 0.00010416667 with Shift;
// Control+click sets the default value; the wheel moves it by 0.01 (Shift: 0.001) a notch.
// A sticky knob holds at 0.5 when a drag crosses or reaches it, for that move and the next
// eight, so the centre of a bipolar control is easy to find; then it follows the mouse from 0.5.
class TreskproKnob : public toolkit::CKnob {
public:
    TreskproKnob(const toolkit::CRect& size, toolkit::CControlListener* listener, int tag,
                 std::shared_ptr<toolkit::CBitmap> bitmap, int heightOfOneImage = 0);

    static constexpr float normalStep = 0.005f;
    static constexpr float rightButtonStep = 0.001f;
    static constexpr float shiftStep = 0.00010416667f;
    static constexpr int stickyHoldMoves = 8;

    void setSticky(bool stick) { sticky = stick; }
    bool isSticky() const { return sticky; }

    toolkit::CMouseEventResult onMouseDown(toolkit::CPoint where,
                                           const toolkit::CButtonState& buttons) override;
    toolkit::CMouseEventResult onMouseMoved(toolkit::CPoint where,
                                            const toolkit::CButtonState& buttons) override;
    toolkit::CMouseEventResult onMouseUp(toolkit::CPoint where,
                                         const toolkit::CButtonState& buttons) override;
    bool onWheel(toolkit::CPoint where, float distance,
                 const toolkit::CButtonState& buttons) override;

private:
    bool sticky = false;
    // Moves still to hold at 0.5 after the one that reached it.
    int holdMoves = 0;
};

// Digits from a glyph strip of ten glyphs. Control+click sets the default value; a drag changes
// the value by (rightward + upward pixels) × (maximum − minimum) / 1000, or / 10000 while Shift is
// held; pressing or releasing Shift mid-drag goes on from the value reached, without a jump. The
// value keeps the fraction a fine drag has gathered; the digits show its whole part. The wheel
// moves it by one a notch.
class TreskproDigits : public toolkit::CSpecialDigit {
public:
    TreskproDigits(const toolkit::CRect& size, toolkit::CControlListener* listener, int tag,
                   int digitCount, std::shared_ptr<toolkit::CBitmap> bitmap);

    toolkit::CMouseEventResult onMouseDown(toolkit::CPoint where,
                                           const toolkit::CButtonState& buttons) override;
    toolkit::CMouseEventResult onMouseMoved(toolkit::CPoint where,
                                            const toolkit::CButtonState& buttons) override;
    toolkit::CMouseEventResult onMouseUp(toolkit::CPoint where,
                                         const toolkit::CButtonState& buttons) override;
    bool onWheel(toolkit::CPoint where, float distance,
                 const toolkit::CButtonState& buttons) override;
};

// The keyboard for programming a step's pitch: octaves 133 pixels wide, seven white keys of 19
// pixels, black keys over the top 68 rows (presses count as black one row deeper, to 68 pixels
// below the top). Its image holds four frames: at rest, pressed, marked (the note the panel
// points out, such as the current step's) and pressed and marked; each key is drawn from the
// frame of its own state over the resting keyboard, and a picture with fewer frames shows a
// state it lacks with its last frame.
//
// While only the left button is held, the control's value is the key under the mouse + 1
// (keys 0 … 127, counted in semitones from the left end), reported each time that key changes;
// the release reports 0. Places with no key (outside the control, beyond key 127) report nothing.
class TreskproPitchKeyboard : public toolkit::CControl {
public:
    TreskproPitchKeyboard(const toolkit::CRect& size, toolkit::CControlListener* listener, int tag,
                          std::shared_ptr<toolkit::CBitmap> bitmap);

    static constexpr int octaveWidth = 133;
    static constexpr int whiteKeyWidth = 19;
    // A point more than this many pixels below the top is on a white key.
    static constexpr int blackKeyDepth = 68;
    static constexpr int keyCount = 128;

    // The key at a point in the control's parent coordinates, or -1 where there is none.
    int keyAt(toolkit::CPoint where) const;
    // The key's area in the parent's coordinates (a white key's whole column).
    toolkit::CRect keyRect(int key) const;
    static bool isBlackKey(int key);

    // The key held by the mouse, or -1.
    int pressedKey() const { return pressed; }
    // The key shown with the marked frames, or -1 for none.
    void setMarkedKey(int key);
    int markedKey() const { return marked; }

    void draw(toolkit::CDrawContext& context) override;
    toolkit::CMouseEventResult onMouseDown(toolkit::CPoint where,
                                           const toolkit::CButtonState& buttons) override;
    toolkit::CMouseEventResult onMouseMoved(toolkit::CPoint where,
                                            const toolkit::CButtonState& buttons) override;
    toolkit::CMouseEventResult onMouseUp(toolkit::CPoint where,
                                         const toolkit::CButtonState& buttons) override;

private:
    void press(int key);
    void drawKey(toolkit::CDrawContext& context, int key, int frame);
    int frameOf(int key) const;

    int pressed = -1;
    int marked = -1;
    bool tracking = false;
};

// The value read-out that appears under a control while it moves: its background image (h / eh
// frames) and two centred lines of text. Showing it starts the frames over from the first; each
// advance() (one per editor idle) shows the next until the last, so a skin can fade it in. It
// takes no input; hidden, it draws nothing.
class TreskproFloatingDisplay : public toolkit::CControl {
public:
    TreskproFloatingDisplay(const toolkit::CRect& size, std::shared_ptr<toolkit::CBitmap> bitmap,
                            int heightOfOneImage = 0);

    // Shows the two lines with the display's top left corner at `where`.
    void show(const std::string& firstLine, const std::string& secondLine, toolkit::CPoint where);
    // Shows the two lines centred under a control's rectangle, at its bottom edge.
    void showUnder(const toolkit::CRect& control, const std::string& firstLine,
                   const std::string& secondLine);
    void hide();
    // One step of the opening animation; true while it has frames left to show.
    bool advance();

    const std::string& firstLine() const { return lines[0]; }
    const std::string& secondLine() const { return lines[1]; }
    int currentFrame() const { return frame; }

    void setFontColor(toolkit::CColor color);

    void draw(toolkit::CDrawContext& context) override;

private:
    std::string lines[2];
    int frame = 0;
    toolkit::CColor fontColor{232, 236, 238, 255};
};

// A small lamp or pointer (h / eh frames) showing its value: 0 … 1 picks the nearest frame.
// It takes no input.
class TreskproSmallIndicator : public toolkit::CControl {
public:
    TreskproSmallIndicator(const toolkit::CRect& size, std::shared_ptr<toolkit::CBitmap> bitmap,
                           int heightOfOneImage = 0);

    void draw(toolkit::CDrawContext& context) override;
};

// A toggle whose image has frames of the element's height: the first shows off, the second on.
// A left click flips the value between 0 and 1 and tells the listener.
class TreskproTripletButton : public toolkit::CControl {
public:
    TreskproTripletButton(const toolkit::CRect& size, toolkit::CControlListener* listener, int tag,
                          std::shared_ptr<toolkit::CBitmap> bitmap, int heightOfOneImage = 0);

    void draw(toolkit::CDrawContext& context) override;
    toolkit::CMouseEventResult onMouseDown(toolkit::CPoint where,
                                           const toolkit::CButtonState& buttons) override;
};

// A patch socket: frame 0 at rest, frame 1 while it is the target under a dragged cable. While a
// cable is being dragged, every socket that could take it shows a one-pixel outline just inside
// its edge (the acceptance mark).
//
// A left press reports 1, each mouse move while the button is held one more, and the release
// 0; a right press reports 0 once. The buttons and the point of the last report (in the parent's
// coordinates) go with it, so the listener can tell a Shift-click, a right click and where the
// pointer is.
class TreskproSocket : public toolkit::CControl {
public:
    static constexpr std::size_t maximumNameLength = 255;
    static constexpr toolkit::CColor acceptanceColor{0, 0, 250, 255};

    TreskproSocket(const toolkit::CRect& size, toolkit::CControlListener* listener, int tag,
                   std::shared_ptr<toolkit::CBitmap> bitmap, int heightOfOneImage = 0);

    void setTarget(bool target);
    bool isTarget() const { return target; }
    void setAccepting(bool accepting);
    bool isAccepting() const { return accepting; }
    void setName(const std::string& name);
    const std::string& getName() const { return name; }

    toolkit::CPoint lastPoint() const { return point; }
    toolkit::CButtonState lastButtons() const { return buttons; }

    void draw(toolkit::CDrawContext& context) override;
    toolkit::CMouseEventResult onMouseDown(toolkit::CPoint where,
                                           const toolkit::CButtonState& buttons) override;
    toolkit::CMouseEventResult onMouseMoved(toolkit::CPoint where,
                                            const toolkit::CButtonState& buttons) override;
    toolkit::CMouseEventResult onMouseUp(toolkit::CPoint where,
                                         const toolkit::CButtonState& buttons) override;

private:
    void report(float count, toolkit::CPoint where, const toolkit::CButtonState& held);

    bool target = false;
    bool accepting = false;
    bool tracking = false;
    std::string name = "N/A";
    toolkit::CPoint point;
    toolkit::CButtonState buttons;
};

// One patch cable: a quadratic curve from A over a middle control point Q to B, hanging below
// its ends. Q hangs on a damped spring towards its rest point, 5 pixels right of the middle of
// the ends and 200 × tension below it, so a cable swings into place and comes to rest; at rest
// it neither changes nor redraws. The view's rectangle follows the curve (grown by a margin), so
// only the area a cable covers is redrawn.
//
// Type 0 draws a shaded tube of seven parallel lines in the cable's colour; type 1 (anti-aliased
// only) a tinted groove. Anti-aliased, the lines are blended straight into the frame's buffer,
// with an optional soft shadow under the tube; otherwise they are drawn two pixels wide through
// the drawing context. A loose end (a drag over no socket that takes it) shows the plug image.
// The cable takes no mouse input: presses reach the controls under it.
class TreskproCable : public toolkit::CControl {
public:
    static constexpr int maximumPoints = 20;

    struct State {
        toolkit::CPoint a, b;
        int fromSocket = 0;
        int toSocket = 0;
        float qx = 0.0f, qy = 0.0f;
        float vx = 0.0f, vy = 0.0f;
        float ax = 0.0f, ay = 0.0f;
        std::array<float, maximumPoints> px{};
        std::array<float, maximumPoints> py{};
        int pointCount = 15;
        float red = 1.0f, green = 0.5f, blue = 0.3f;
        std::array<float, 3> tint{};
        int type = 0;
        float tension = 1.0f;
        float lengthFactor = 1.0f;
        float step = 0.06f;
        bool softShadow = false;
        bool antiAliased = false;
        bool loose = false;
        bool moving = false;
        bool inUse = false;
    };

    TreskproCable(std::shared_ptr<toolkit::CBitmap> shadow, std::shared_ptr<toolkit::CBitmap> plug);

    State& state() { return shape; }
    const State& state() const { return shape; }
    // Exchanges what two cables show (ends, spring, colour), so a connection keeps its cable's
    // look when the list around it changes.
    void swapState(TreskproCable& other);

    // Q at the middle of the ends, offset by (dx, dy), with the spring at rest; resampled.
    void placeControlPoint(float dx = 0.0f, float dy = 0.0f);
    // The rest point of Q.
    float restX() const;
    float restY() const;
    // One step of the spring (or, not animating, straight to rest), then the curve sampled.
    // True when the curve changed.
    bool animate(bool animating);
    // Samples the curve for the current ends and Q; true when it changed. The view then lies
    // over the new curve, and the old and new places gather in the cable's dirty area.
    bool resample();
    // The area (in the parent's coordinates) that needs redrawing since the last call.
    toolkit::CRect takeDirtyArea();

    void draw(toolkit::CDrawContext& context) override;

private:
    void drawTube(toolkit::CDrawContext& context);
    void drawTinted(toolkit::CDrawContext& context);
    void drawShadow(toolkit::CDrawContext& context);

    State shape;
    toolkit::CRect dirtyArea;
    std::shared_ptr<toolkit::CBitmap> shadowImage;
    std::shared_ptr<toolkit::CBitmap> plugImage;
    // How many shadow boxes cover each pixel of the area being drawn (kept between draws).
    std::vector<std::uint16_t> shadowHits;
    // Per row of the area, the columns the shadow's boxes reached (left, right): the darkening
    // pass visits only those, not the whole box around the cable.
    std::vector<std::pair<int, int>> shadowRows;
};

// The patch name over the panel's background: editable in place, no longer than a patch file
// keeps (258 bytes before its terminating zero). A name taken from a fixed-size buffer ends at
// its first zero byte, or at the buffer's end when it has none.
class TreskproPatchNameField : public toolkit::CTextEdit {
public:
    static constexpr std::size_t maximumNameLength = 258;

    TreskproPatchNameField(const toolkit::CRect& size, toolkit::CControlListener* listener, int tag,
                           const std::string& text = "Tresk pro Patch");

    void setName(const char* buffer, std::size_t bufferSize);
};

} // namespace treskpro
