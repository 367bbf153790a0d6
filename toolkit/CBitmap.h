// A picture of 32-bit premultiplied pixels (see CColor.h), decoded from PNG or drawn into.
//
// Skins name PNG files; a bitmap loads one with libpng, turning every PNG colour type into the
// same pixels: palettes and grey levels are expanded to RGB, a transparency chunk becomes alpha,
// 16-bit samples are reduced to 8 bits. A bitmap that failed to load is empty (0 × 0) and draws
// nothing. Bitmaps are shared between the skin and the controls that show them through
// std::shared_ptr; all of this runs on the editor's thread.
#pragma once

#include "toolkit/CColor.h"
#include "toolkit/CRect.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace treskpro::toolkit {

class CBitmap {
public:
    // Larger images are refused rather than allocated: no skin needs them, and a damaged
    // header must not make us reserve gigabytes.
    static constexpr int maximumSide = 16384;
    static constexpr std::size_t maximumPixels = std::size_t{32} << 20;
    // PNG files longer than this are not read.
    static constexpr std::size_t maximumFileSize = std::size_t{64} << 20;

    CBitmap() = default;
    // A transparent picture; sides outside 0 … maximumSide make an empty one.
    CBitmap(int width, int height);

    // Replaces the picture with the decoded file or bytes. On failure the bitmap is empty and
    // the result false; a damaged file never crashes or leaves half a picture.
    bool loadPng(const std::string& path);
    bool decodePng(const void* data, std::size_t size);

    // The picture as an 8-bit RGBA PNG (straight alpha, as PNG stores it).
    std::vector<std::uint8_t> encodePng() const;
    bool savePng(const std::string& path) const;

    // Makes a transparent picture of the given size (empty when out of range).
    void resize(int width, int height);

    int width() const { return pictureWidth; }
    int height() const { return pictureHeight; }
    bool empty() const { return pixelWords.empty(); }
    CRect bounds() const { return {0, 0, pictureWidth, pictureHeight}; }

    // Rows of premultiplied 0xAARRGGBB words, top row first, `width()` words each.
    std::uint32_t* pixels() { return pixelWords.data(); }
    const std::uint32_t* pixels() const { return pixelWords.data(); }
    std::uint32_t* row(int y) {
        return pixelWords.data() + std::size_t(y) * std::size_t(pictureWidth);
    }
    const std::uint32_t* row(int y) const {
        return pixelWords.data() + std::size_t(y) * std::size_t(pictureWidth);
    }

    // The straight colour at a point; transparent outside the picture.
    CColor colorAt(int x, int y) const;
    void setColorAt(int x, int y, CColor color);
    void fill(CColor color);

private:
    int pictureWidth = 0;
    int pictureHeight = 0;
    std::vector<std::uint32_t> pixelWords;
};

} // namespace treskpro::toolkit
