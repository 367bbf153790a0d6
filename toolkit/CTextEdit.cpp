#include "toolkit/CTextEdit.h"

#include "toolkit/CFrame.h"

namespace treskpro::toolkit {

CTextEdit::CTextEdit(const CRect& viewSize, CControlListener* controlListener, int controlTag,
                     const std::string& initialText, std::shared_ptr<CBitmap> bitmap)
    : CParamDisplay(viewSize, std::move(bitmap)) {
    setListener(controlListener);
    setTag(controlTag);
    setMouseEnabled(true);
    align = CHorizontalAlign::left;
    setText(initialText);
}

void CTextEdit::setText(const std::string& newText) {
    text = newText.substr(0, maximumLength);
    caret = std::min(caret, text.size());
    invalid();
}

void CTextEdit::setMaximumLength(std::size_t length) {
    maximumLength = length;
    setText(text);
}

void CTextEdit::draw(CDrawContext& context) {
    drawBackground(context);
    drawText(context, text);
    if (!editing)
        return;
    // The caret sits after the text it follows, as the aligned text is laid out.
    const CRect area = textRect();
    const int width = font.textWidth(text);
    int x = area.left;
    if (align == CHorizontalAlign::center)
        x = area.left + (area.width() - width) / 2;
    else if (align == CHorizontalAlign::right)
        x = area.right - width;
    x += font.textWidth(std::string_view(text).substr(0, caret));
    const int top = area.top + (area.height() - font.ascent() - font.descent()) / 2;
    context.setFillColor(fontColor);
    context.fillRect({x, top, x + 1, top + font.ascent() + font.descent()});
}

void CTextEdit::takeFocus() {
    if (editing)
        return;
    CFrame* frame = getFrame();
    if (frame == nullptr)
        return;
    editing = true;
    textBefore = text;
    caret = text.size();
    beginEdit();
    frame->setFocusView(this);
    invalid();
}

CMouseEventResult CTextEdit::onMouseDown(CPoint, const CButtonState& buttons) {
    if (!buttons.isLeftButton())
        return CMouseEventResult::notHandled;
    takeFocus();
    return CMouseEventResult::handled;
}

bool CTextEdit::onKeyDown(const CKeyCode& key) {
    if (!editing)
        return false;
    switch (key.virtualKey) {
    case CKeyCode::kReturn:
    case CKeyCode::kEnter:
        finish(true);
        return true;
    case CKeyCode::kEscape:
        finish(false);
        return true;
    case CKeyCode::kBack:
        if (caret > 0)
            text.erase(--caret, 1);
        break;
    case CKeyCode::kDelete:
        if (caret < text.size())
            text.erase(caret, 1);
        break;
    case CKeyCode::kLeft:
        caret = caret > 0 ? caret - 1 : 0;
        break;
    case CKeyCode::kRight:
        caret = std::min(caret + 1, text.size());
        break;
    case CKeyCode::kHome:
        caret = 0;
        break;
    case CKeyCode::kEnd:
        caret = text.size();
        break;
    default:
        // Printable characters of the fonts only; control characters never enter the text.
        if (key.character < 32 || key.character > 255 || key.character == 127 ||
            (key.character > 126 && key.character < 160) ||
            (key.modifiers & (CKeyCode::kControlModifier | CKeyCode::kCommand)) != 0)
            return key.virtualKey != CKeyCode::kNone;
        if (text.size() >= maximumLength)
            return true;
        text.insert(caret++, 1, char(key.character));
        break;
    }
    invalid();
    return true;
}

void CTextEdit::finish(bool keep) {
    if (!editing)
        return;
    editing = false;
    if (!keep)
        text = textBefore;
    caret = text.size();
    invalid();
    if (keep)
        valueChanged();
    endEdit();
    if (CFrame* frame = getFrame(); frame != nullptr && frame->getFocusView() == this)
        frame->setFocusView(nullptr);
}

void CTextEdit::looseFocus() {
    finish(true);
}

} // namespace treskpro::toolkit
