// Writes small PNG files of any colour type with libpng directly, so the decoder is tested on
// files that did not come from our own encoder.
#pragma once

#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <vector>

namespace treskpro::toolkit::testing {

struct PngDescription {
    int width = 0;
    int height = 0;
    int colorType = PNG_COLOR_TYPE_RGB_ALPHA;
    int bitDepth = 8;
    // Packed rows as PNG stores them (width × channels × depth bits, rounded up to bytes).
    std::vector<std::vector<std::uint8_t>> rows;
    std::vector<png_color> palette;
    std::vector<std::uint8_t> paletteAlpha;
    bool greyTransparent = false;
    std::uint16_t transparentGrey = 0;
    bool interlaced = false;
};

inline void appendBytes(png_structp png, png_bytep data, png_size_t count) {
    auto* bytes = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    bytes->insert(bytes->end(), data, data + count);
}

inline void noFlush(png_structp) {}

inline bool writePngTo(const PngDescription& description, std::vector<png_bytep>& rows,
                       std::vector<std::uint8_t>& bytes) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &bytes, appendBytes, noFlush);
    png_set_IHDR(png, info, png_uint_32(description.width), png_uint_32(description.height),
                 description.bitDepth, description.colorType,
                 description.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!description.palette.empty())
        png_set_PLTE(png, info, description.palette.data(), int(description.palette.size()));
    if (!description.paletteAlpha.empty())
        png_set_tRNS(png, info, description.paletteAlpha.data(),
                     int(description.paletteAlpha.size()), nullptr);
    if (description.greyTransparent) {
        png_color_16 grey{};
        grey.gray = description.transparentGrey;
        png_set_tRNS(png, info, nullptr, 0, &grey);
    }
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

inline std::vector<std::uint8_t> writePng(PngDescription description) {
    std::vector<png_bytep> rows;
    for (auto& row : description.rows)
        rows.push_back(row.data());
    std::vector<std::uint8_t> bytes;
    if (!writePngTo(description, rows, bytes))
        bytes.clear();
    return bytes;
}

} // namespace treskpro::toolkit::testing
