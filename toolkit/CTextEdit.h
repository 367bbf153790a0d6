// A one-line text field. A click starts editing in place (the toolkit draws the text and the
// caret itself, the same on every system); Return, Enter or a click elsewhere takes the text
// and tells the listener, Escape restores the text from before.
#pragma once

#include "toolkit/CParamDisplay.h"

#include <string>

namespace treskpro::toolkit {

class CTextEdit : public CParamDisplay {
public:
    CTextEdit(const CRect& size, CControlListener* listener, int tag, const std::string& text = {},
              std::shared_ptr<CBitmap> bitmap = nullptr);

    // Longer texts are cut to `maximumLength` bytes.
    void setText(const std::string& newText);
    const std::string& getText() const { return text; }
    void setMaximumLength(std::size_t length);
    bool isEditing() const { return editing; }

    std::string displayText() const override { return text; }
    void draw(CDrawContext& context) override;
    CMouseEventResult onMouseDown(CPoint where, const CButtonState& buttons) override;
    bool onKeyDown(const CKeyCode& key) override;
    void looseFocus() override;

    // Starts editing with the caret at the end.
    void takeFocus();

private:
    void finish(bool keep);

    std::string text;
    std::string textBefore;
    std::size_t maximumLength = 255;
    std::size_t caret = 0;
    bool editing = false;
};

} // namespace treskpro::toolkit
