// Colours and the toolkit's pixel format.
//
// A pixel is one 32-bit word 0xAARRGGBB with premultiplied alpha: each colour channel is already
// multiplied by alpha / 255. On little-endian machines the bytes lie in memory as B, G, R, A, the
// order of a 32-bit Windows device-independent bitmap, so a frame's buffer goes to the screen
// without conversion. Premultiplied pixels make "source over destination" one multiply per
// channel and keep scaled or blended images free of dark fringes.
#pragma once

#include <cstdint>

namespace treskpro::toolkit {

// A colour with straight (not premultiplied) alpha, as a user or a skin writes it.
struct CColor {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t alpha = 255;

    friend bool operator==(const CColor&, const CColor&) = default;
};

inline constexpr CColor kBlackCColor{0, 0, 0, 255};
inline constexpr CColor kWhiteCColor{255, 255, 255, 255};
inline constexpr CColor kGreyCColor{128, 128, 128, 255};
inline constexpr CColor kTransparentCColor{0, 0, 0, 0};

// x * y / 255 rounded, for bytes; exact for every pair of bytes.
constexpr std::uint32_t multiplyBytes(std::uint32_t x, std::uint32_t y) {
    const std::uint32_t t = x * y + 128;
    return (t + (t >> 8)) >> 8;
}

constexpr std::uint32_t packPixel(std::uint32_t alpha, std::uint32_t red, std::uint32_t green,
                                  std::uint32_t blue) {
    return alpha << 24 | red << 16 | green << 8 | blue;
}

constexpr std::uint32_t pixelAlpha(std::uint32_t pixel) {
    return pixel >> 24;
}
constexpr std::uint32_t pixelRed(std::uint32_t pixel) {
    return pixel >> 16 & 0xff;
}
constexpr std::uint32_t pixelGreen(std::uint32_t pixel) {
    return pixel >> 8 & 0xff;
}
constexpr std::uint32_t pixelBlue(std::uint32_t pixel) {
    return pixel & 0xff;
}

// The premultiplied pixel of a colour.
constexpr std::uint32_t toPixel(CColor color) {
    return packPixel(color.alpha, multiplyBytes(color.red, color.alpha),
                     multiplyBytes(color.green, color.alpha),
                     multiplyBytes(color.blue, color.alpha));
}

// The straight colour of a premultiplied pixel (colour channels of a fully transparent pixel
// are 0).
constexpr CColor toColor(std::uint32_t pixel) {
    const std::uint32_t alpha = pixelAlpha(pixel);
    if (alpha == 0)
        return {0, 0, 0, 0};
    const auto unpremultiply = [alpha](std::uint32_t channel) {
        const std::uint32_t value = (channel * 255 + alpha / 2) / alpha;
        return static_cast<std::uint8_t>(value > 255 ? 255 : value);
    };
    return {unpremultiply(pixelRed(pixel)), unpremultiply(pixelGreen(pixel)),
            unpremultiply(pixelBlue(pixel)), static_cast<std::uint8_t>(alpha)};
}

// Every channel of a premultiplied pixel scaled by factor / 255.
constexpr std::uint32_t scalePixel(std::uint32_t pixel, std::uint32_t factor) {
    const std::uint32_t redBlue = (pixel & 0x00ff00ffu) * factor + 0x00800080u;
    const std::uint32_t alphaGreen = (pixel >> 8 & 0x00ff00ffu) * factor + 0x00800080u;
    return ((redBlue + (redBlue >> 8 & 0x00ff00ffu)) >> 8 & 0x00ff00ffu) |
           ((alphaGreen + (alphaGreen >> 8 & 0x00ff00ffu)) & 0xff00ff00u);
}

// Source over destination, both premultiplied.
constexpr std::uint32_t blendPixel(std::uint32_t destination, std::uint32_t source) {
    const std::uint32_t alpha = pixelAlpha(source);
    if (alpha == 255)
        return source;
    if (alpha == 0 && source == 0)
        return destination;
    return source + scalePixel(destination, 255 - alpha);
}

} // namespace treskpro::toolkit
