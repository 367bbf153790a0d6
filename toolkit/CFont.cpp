#include "toolkit/CFont.h"

namespace treskpro::toolkit {

CFont::CFont(CFontId id) {
    switch (id) {
    case CFontId::small:
        data = &kSmallFontData;
        break;
    case CFontId::bold:
        data = &kBoldFontData;
        break;
    case CFontId::normal:
    default:
        data = &kNormalFontData;
        break;
    }
}

int CFont::glyphIndex(unsigned char byte) {
    if (byte >= 32 && byte <= 126)
        return byte - 32;
    if (byte >= 160)
        return 95 + (byte - 160);
    return '?' - 32;
}

int CFont::textWidth(std::string_view text) const {
    int width = 0;
    for (const char c : text)
        width += glyph(static_cast<unsigned char>(c)).advance;
    return width;
}

} // namespace treskpro::toolkit
