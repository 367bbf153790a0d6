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

#include <string>

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
