// The stock controls. Each shows its value through its image, whose frames are stacked top to
// bottom, every frame as high as the control unless setHeightOfOneImage says otherwise:
//
//   CKnob              film strip of n frames; value 0 … 1 picks the nearest frame
//   COnOffButton       2 frames (off, on); a click toggles 0 ↔ 1
//   CKickButton        2 frames (up, down); 1 while pressed, 0 when released
//   CVerticalSwitch    n frames, one per position; the position under the pointer is chosen
//   CHorizontalSwitch  the same across
//   CRockerSwitch      3 frames (first half pressed, rest, second half pressed); value −1, 0, +1
//   CMovieBitmap       n frames; shows the value, takes no input (lamps)
//   CSpecialDigit      10 glyphs "0" … "9"; shows an integer value digit by digit
#pragma once

#include "toolkit/CControl.h"

namespace treskpro::toolkit {

class CKnob : public CControl {
public:
    CKnob(const CRect& size, CControlListener* listener, int tag, std::shared_ptr<CBitmap> bitmap,
          int heightOfOneImage = 0);

    void draw(CDrawContext& context) override;
    CMouseEventResult onMouseDown(CPoint where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint where, const CButtonState& buttons) override;
    bool onWheel(CPoint where, float distance, const CButtonState& buttons) override;

    // Value change per pixel of upward (or rightward) movement; Shift divides it by ten.
    void setDragStep(float step) { dragStep = step; }

private:
    float dragStep = 0.005f;
};

class COnOffButton : public CControl {
public:
    COnOffButton(const CRect& size, CControlListener* listener, int tag,
                 std::shared_ptr<CBitmap> bitmap);

    void draw(CDrawContext& context) override;
    CMouseEventResult onMouseDown(CPoint where, const CButtonState& buttons) override;
};

class CKickButton : public CControl {
public:
    CKickButton(const CRect& size, CControlListener* listener, int tag,
                std::shared_ptr<CBitmap> bitmap, int heightOfOneImage = 0);

    void draw(CDrawContext& context) override;
    CMouseEventResult onMouseDown(CPoint where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint where, const CButtonState& buttons) override;
};

class CSwitchBase : public CControl {
public:
    void draw(CDrawContext& context) override;
    CMouseEventResult onMouseDown(CPoint where, const CButtonState& buttons) override;
    CMouseEventResult onMouseMoved(CPoint where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint where, const CButtonState& buttons) override;

    int getPositionCount() const { return positions; }
    // The position 0 … count − 1 that the value selects.
    int getPosition() const;

protected:
    CSwitchBase(const CRect& size, CControlListener* listener, int tag,
                std::shared_ptr<CBitmap> bitmap, int positionCount, int heightOfOneImage,
                bool horizontal);

private:
    void choose(CPoint where);

    int positions;
    bool across;
};

class CVerticalSwitch : public CSwitchBase {
public:
    // `positionCount` 0 takes one position per frame of the image.
    CVerticalSwitch(const CRect& size, CControlListener* listener, int tag,
                    std::shared_ptr<CBitmap> bitmap, int positionCount = 0,
                    int heightOfOneImage = 0);
};

class CHorizontalSwitch : public CSwitchBase {
public:
    CHorizontalSwitch(const CRect& size, CControlListener* listener, int tag,
                      std::shared_ptr<CBitmap> bitmap, int positionCount = 0,
                      int heightOfOneImage = 0);
};

class CRockerSwitch : public CControl {
public:
    enum class Orientation { vertical, horizontal };

    CRockerSwitch(const CRect& size, CControlListener* listener, int tag,
                  std::shared_ptr<CBitmap> bitmap, int heightOfOneImage = 0,
                  Orientation orientation = Orientation::vertical);

    void draw(CDrawContext& context) override;
    CMouseEventResult onMouseDown(CPoint where, const CButtonState& buttons) override;
    CMouseEventResult onMouseUp(CPoint where, const CButtonState& buttons) override;

private:
    Orientation orientation;
};

class CMovieBitmap : public CControl {
public:
    CMovieBitmap(const CRect& size, CControlListener* listener, int tag,
                 std::shared_ptr<CBitmap> bitmap, int heightOfOneImage = 0);

    void draw(CDrawContext& context) override;
};

class CSpecialDigit : public CControl {
public:
    // `digitCount` digits side by side, each as wide as the image and a tenth of its height;
    // the value runs from 0 to the largest number the digits show.
    CSpecialDigit(const CRect& size, CControlListener* listener, int tag, int digitCount,
                  std::shared_ptr<CBitmap> bitmap);

    void draw(CDrawContext& context) override;
    int getDigitCount() const { return digits; }
    // The glyph index (0 … 9) of each shown digit, most significant first.
    int digitAt(int position) const;
    // Whether leading zeros are shown (default) or left blank.
    void setLeadingZeros(bool show);

private:
    int digits;
    bool leadingZeros = true;
};

} // namespace treskpro::toolkit
