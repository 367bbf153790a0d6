// A control that shows its value as text, over a colour or its image. The text comes from a
// conversion function (two decimals by default), so the listener decides what a value reads as.
#pragma once

#include "toolkit/CColor.h"
#include "toolkit/CControl.h"
#include "toolkit/CDrawContext.h"

#include <functional>
#include <string>

namespace treskpro::toolkit {

class CParamDisplay : public CControl {
public:
    using StringConvert = std::function<std::string(float value)>;

    CParamDisplay(const CRect& size, std::shared_ptr<CBitmap> bitmap = nullptr);

    void draw(CDrawContext& context) override;

    void setStringConvert(StringConvert convert);
    void setFont(CFontId id);
    void setFontColor(CColor color);
    // Transparent colours draw nothing: no background, no frame.
    void setBackColor(CColor color);
    void setFrameColor(CColor color);
    void setHoriAlign(CHorizontalAlign align);
    // Space between the text and the left or right edge.
    void setTextInset(int pixels);

    // The text the value reads as.
    virtual std::string displayText() const;

protected:
    void drawBackground(CDrawContext& context);
    void drawText(CDrawContext& context, const std::string& text);
    CRect textRect() const { return size.inset(textInset, 0); }

    CFont font;
    CColor fontColor = kBlackCColor;
    CColor backColor = kWhiteCColor;
    CColor frameColor = kBlackCColor;
    CHorizontalAlign align = CHorizontalAlign::center;
    int textInset = 2;

private:
    StringConvert convert;
};

} // namespace treskpro::toolkit
