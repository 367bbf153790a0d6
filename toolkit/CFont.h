// The toolkit's fonts: coverage maps of glyphs rasterised at build time from DejaVu Sans by
// tools/glyphs, so text looks the same on every system and needs no font at run time.
//
// Text is a byte string; bytes 32 … 126 and 160 … 255 are drawn as Latin-1 (what Windows'
// Western code page shows for the same bytes), every other byte as "?".
#pragma once

#include <cstdint>
#include <string_view>

namespace treskpro::toolkit {

struct CGlyph {
    std::int16_t advance; // pen movement in pixels
    std::int8_t left;     // coverage map's left edge relative to the pen
    std::int8_t top;      // coverage map's top edge above the baseline
    std::uint8_t width;
    std::uint8_t height;
    std::uint32_t offset; // first byte of the map in `coverage`, rows top to bottom
};

struct CFontData {
    const char* name;
    int pixelSize;
    int ascent;     // pixels above the baseline
    int descent;    // pixels below the baseline
    int lineHeight; // baseline to baseline
    const CGlyph* glyphs;
    const std::uint8_t* coverage; // 0 = empty … 255 = fully covered
};

// The generated fonts.
extern const CFontData kSmallFontData;  // DejaVu Sans, 10 pixels: labels
extern const CFontData kNormalFontData; // DejaVu Sans, 12 pixels: displays, menus, text fields
extern const CFontData kBoldFontData;   // DejaVu Sans Bold, 14 pixels: titles

enum class CFontId { small, normal, bold };

class CFont {
public:
    constexpr CFont() : data(&kNormalFontData) {}
    explicit CFont(CFontId id);

    static constexpr int glyphCount = 95 + 96;

    // The glyph a byte is drawn with.
    const CGlyph& glyph(unsigned char byte) const { return data->glyphs[glyphIndex(byte)]; }
    const std::uint8_t* coverage(const CGlyph& glyph) const {
        return data->coverage + glyph.offset;
    }
    static int glyphIndex(unsigned char byte);

    int ascent() const { return data->ascent; }
    int descent() const { return data->descent; }
    int lineHeight() const { return data->lineHeight; }
    int pixelSize() const { return data->pixelSize; }

    // The advance of a whole string in pixels.
    int textWidth(std::string_view text) const;

private:
    const CFontData* data;
};

} // namespace treskpro::toolkit
