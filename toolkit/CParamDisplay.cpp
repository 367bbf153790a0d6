#include "toolkit/CParamDisplay.h"

#include <cstdio>

namespace treskpro::toolkit {

CParamDisplay::CParamDisplay(const CRect& viewSize, std::shared_ptr<CBitmap> bitmap)
    : CControl(viewSize, nullptr, -1, std::move(bitmap)) {
    setMouseEnabled(false);
}

void CParamDisplay::setStringConvert(StringConvert newConvert) {
    convert = std::move(newConvert);
    invalid();
}

void CParamDisplay::setFont(CFontId id) {
    font = CFont(id);
    invalid();
}

void CParamDisplay::setFontColor(CColor color) {
    fontColor = color;
    invalid();
}

void CParamDisplay::setBackColor(CColor color) {
    backColor = color;
    invalid();
}

void CParamDisplay::setFrameColor(CColor color) {
    frameColor = color;
    invalid();
}

void CParamDisplay::setHoriAlign(CHorizontalAlign newAlign) {
    align = newAlign;
    invalid();
}

void CParamDisplay::setTextInset(int pixels) {
    textInset = pixels;
    invalid();
}

std::string CParamDisplay::displayText() const {
    if (convert)
        return convert(value);
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", double(value));
    return text;
}

void CParamDisplay::drawBackground(CDrawContext& context) {
    if (background) {
        context.drawBitmap(*background, size);
    } else if (backColor.alpha != 0) {
        context.setFillColor(backColor);
        context.fillRect(size);
    }
    if (frameColor.alpha != 0) {
        context.setLineWidth(1);
        context.setFrameColor(frameColor);
        context.drawRect(size);
    }
}

void CParamDisplay::drawText(CDrawContext& context, const std::string& text) {
    context.setFont(font);
    context.setFontColor(fontColor);
    context.drawString(text, textRect(), align);
}

void CParamDisplay::draw(CDrawContext& context) {
    drawBackground(context);
    drawText(context, displayText());
}

} // namespace treskpro::toolkit
