#include "toolkit/CBitmap.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace treskpro::toolkit {

namespace {

bool sizeAllowed(png_uint_32 width, png_uint_32 height) {
    return width > 0 && height > 0 && width <= CBitmap::maximumSide &&
           height <= CBitmap::maximumSide &&
           std::size_t(width) * std::size_t(height) <= CBitmap::maximumPixels;
}

struct MemoryReader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t position;
};

void readFromMemory(png_structp png, png_bytep target, png_size_t count) {
    auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (count > reader->size - reader->position)
        png_error(png, "read past the end of the data");
    std::memcpy(target, reader->data + reader->position, count);
    reader->position += count;
}

void writeToVector(png_structp png, png_bytep data, png_size_t count) {
    auto* bytes = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    bytes->insert(bytes->end(), data, data + count);
}

void flushNothing(png_structp) {}

// Warnings (a damaged ancillary chunk, an unknown profile) do not stop decoding; they are not
// worth a line on the host's console.
void ignoreWarning(png_structp, png_const_charp) {}

// A file that cannot be decoded is reported by the result, not on the console.
[[noreturn]] void quietError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

// libpng reports errors by longjmp to the setjmp below. Only trivially destructible objects
// live between the two, so the jump skips no destructor; the pixel storage is owned by the
// caller and sized before the jump point.
bool decodeInto(MemoryReader& reader, std::vector<std::uint8_t>& rgba, std::vector<png_bytep>& rows,
                png_uint_32& width, png_uint_32& height) {
    png_structp png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, quietError, ignoreWarning);
    if (png == nullptr)
        return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &reader, readFromMemory);
    png_read_info(png, info);
    width = png_get_image_width(png, info);
    height = png_get_image_height(png, info);
    if (!sizeAllowed(width, height))
        png_error(png, "image too large");

    const int colorType = png_get_color_type(png, info);
    const int bitDepth = png_get_bit_depth(png, info);
    // Everything becomes 8-bit RGBA: palettes and low-depth grey expand, tRNS becomes alpha.
    if (colorType == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(png);
    if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS))
        png_set_tRNS_to_alpha(png);
    if (bitDepth == 16)
        png_set_strip_16(png);
    if (bitDepth < 8)
        png_set_packing(png);
    if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    png_set_filler(png, 0xff, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != std::size_t(width) * 4)
        png_error(png, "unexpected row layout");

    // The caller's vectors do the allocation; a failed allocation throws before any longjmp
    // could be taken past it.
    rgba.resize(std::size_t(width) * std::size_t(height) * 4);
    rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y)
        rows[y] = rgba.data() + std::size_t(y) * std::size_t(width) * 4;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

bool encodeFrom(std::vector<png_bytep>& rows, png_uint_32 width, png_uint_32 height,
                std::vector<std::uint8_t>& bytes) {
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, quietError, ignoreWarning);
    if (png == nullptr)
        return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &bytes, writeToVector, flushNothing);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

CBitmap::CBitmap(int width, int height) {
    resize(width, height);
}

void CBitmap::resize(int width, int height) {
    if (width <= 0 || height <= 0 || width > maximumSide || height > maximumSide ||
        std::size_t(width) * std::size_t(height) > maximumPixels) {
        pictureWidth = pictureHeight = 0;
        pixelWords.clear();
        return;
    }
    pictureWidth = width;
    pictureHeight = height;
    pixelWords.assign(std::size_t(width) * std::size_t(height), 0u);
}

bool CBitmap::loadPng(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        resize(0, 0);
        return false;
    }
    std::vector<std::uint8_t> bytes;
    char buffer[65536];
    while (file.read(buffer, sizeof buffer) || file.gcount() > 0) {
        if (bytes.size() + std::size_t(file.gcount()) > maximumFileSize) {
            resize(0, 0);
            return false;
        }
        bytes.insert(bytes.end(), buffer, buffer + file.gcount());
    }
    return decodePng(bytes.data(), bytes.size());
}

bool CBitmap::decodePng(const void* data, std::size_t size) {
    resize(0, 0);
    if (data == nullptr || size < 8 || png_sig_cmp(static_cast<png_const_bytep>(data), 0, 8) != 0)
        return false;
    MemoryReader reader{static_cast<const std::uint8_t*>(data), size, 0};
    std::vector<std::uint8_t> rgba;
    std::vector<png_bytep> rows;
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    if (!decodeInto(reader, rgba, rows, width, height))
        return false;
    resize(int(width), int(height));
    const std::uint8_t* source = rgba.data();
    for (std::uint32_t& pixel : pixelWords) {
        pixel = toPixel({source[0], source[1], source[2], source[3]});
        source += 4;
    }
    return true;
}

std::vector<std::uint8_t> CBitmap::encodePng() const {
    if (empty())
        return {};
    std::vector<std::uint8_t> rgba(pixelWords.size() * 4);
    std::uint8_t* target = rgba.data();
    for (std::uint32_t pixel : pixelWords) {
        const CColor color = toColor(pixel);
        *target++ = color.red;
        *target++ = color.green;
        *target++ = color.blue;
        *target++ = color.alpha;
    }
    std::vector<png_bytep> rows(static_cast<std::size_t>(pictureHeight));
    for (int y = 0; y < pictureHeight; ++y)
        rows[std::size_t(y)] = rgba.data() + std::size_t(y) * std::size_t(pictureWidth) * 4;
    std::vector<std::uint8_t> bytes;
    if (!encodeFrom(rows, png_uint_32(pictureWidth), png_uint_32(pictureHeight), bytes))
        return {};
    return bytes;
}

bool CBitmap::savePng(const std::string& path) const {
    const std::vector<std::uint8_t> bytes = encodePng();
    if (bytes.empty())
        return false;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(file.flush());
}

CColor CBitmap::colorAt(int x, int y) const {
    if (x < 0 || y < 0 || x >= pictureWidth || y >= pictureHeight)
        return kTransparentCColor;
    return toColor(row(y)[x]);
}

void CBitmap::setColorAt(int x, int y, CColor color) {
    if (x < 0 || y < 0 || x >= pictureWidth || y >= pictureHeight)
        return;
    row(y)[x] = toPixel(color);
}

void CBitmap::fill(CColor color) {
    std::fill(pixelWords.begin(), pixelWords.end(), toPixel(color));
}

} // namespace treskpro::toolkit
