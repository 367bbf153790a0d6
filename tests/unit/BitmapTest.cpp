#include "PngTestFiles.h"
#include "toolkit/CBitmap.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

namespace treskpro::toolkit {
namespace {

using testing::PngDescription;
using testing::writePng;

PngDescription describe(int width, int height, int colorType, int bitDepth) {
    PngDescription description;
    description.width = width;
    description.height = height;
    description.colorType = colorType;
    description.bitDepth = bitDepth;
    return description;
}

// The CRC-32 of PNG chunks, bit by bit.
std::uint32_t chunkCrc(const std::uint8_t* data, std::size_t size) {
    std::uint32_t crc = 0xffffffffu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

CBitmap decode(const std::vector<std::uint8_t>& bytes) {
    CBitmap bitmap;
    EXPECT_TRUE(bitmap.decodePng(bytes.data(), bytes.size()));
    return bitmap;
}

TEST(Png, PaletteWithTransparencyExpandsToRgba) {
    PngDescription png = describe(4, 1, PNG_COLOR_TYPE_PALETTE, 2);
    png.palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {10, 20, 30}};
    png.paletteAlpha = {255, 0, 128}; // the fourth entry stays opaque
    png.rows = {{0b00011011}};        // indexes 0, 1, 2, 3
    const CBitmap bitmap = decode(writePng(png));
    ASSERT_EQ(bitmap.width(), 4);
    EXPECT_EQ(bitmap.colorAt(0, 0), (CColor{255, 0, 0, 255}));
    EXPECT_EQ(bitmap.colorAt(1, 0).alpha, 0);
    EXPECT_EQ(bitmap.colorAt(2, 0), (CColor{0, 0, 255, 128}));
    EXPECT_EQ(bitmap.colorAt(3, 0), (CColor{10, 20, 30, 255}));
}

TEST(Png, GreyLevelsExpandToOpaqueRgbAndHonourTheTransparentGrey) {
    PngDescription one = describe(8, 1, PNG_COLOR_TYPE_GRAY, 1);
    one.rows = {{0b10100000}};
    const CBitmap bits = decode(writePng(one));
    EXPECT_EQ(bits.colorAt(0, 0), kWhiteCColor);
    EXPECT_EQ(bits.colorAt(1, 0), kBlackCColor);
    EXPECT_EQ(bits.colorAt(2, 0), kWhiteCColor);

    PngDescription grey = describe(3, 2, PNG_COLOR_TYPE_GRAY, 8);
    grey.rows = {{0, 100, 255}, {7, 7, 7}};
    grey.greyTransparent = true;
    grey.transparentGrey = 7;
    const CBitmap bitmap = decode(writePng(grey));
    ASSERT_EQ(bitmap.height(), 2);
    EXPECT_EQ(bitmap.colorAt(1, 0), (CColor{100, 100, 100, 255}));
    EXPECT_EQ(bitmap.colorAt(2, 0), kWhiteCColor);
    EXPECT_EQ(bitmap.colorAt(0, 1).alpha, 0);
}

TEST(Png, GreyWithAlphaKeepsItsAlpha) {
    PngDescription png = describe(2, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8);
    png.rows = {{200, 64, 50, 255}};
    const CBitmap bitmap = decode(writePng(png));
    const CColor first = bitmap.colorAt(0, 0);
    EXPECT_EQ(first.alpha, 64);
    // Stored premultiplied, so the straight value comes back within rounding.
    EXPECT_NEAR(first.red, 200, 2);
    EXPECT_EQ(first.red, first.blue);
    EXPECT_EQ(bitmap.colorAt(1, 0), (CColor{50, 50, 50, 255}));
}

TEST(Png, RgbaSixteenBitAndInterlacedFilesReduceToEightBits) {
    PngDescription wide = describe(1, 1, PNG_COLOR_TYPE_RGB_ALPHA, 16);
    wide.rows = {{0xff, 0xff, 0x80, 0x00, 0x00, 0x00, 0xff, 0xff}};
    EXPECT_EQ(decode(writePng(wide)).colorAt(0, 0), (CColor{255, 128, 0, 255}));

    PngDescription interlaced = describe(9, 9, PNG_COLOR_TYPE_RGB, 8);
    interlaced.interlaced = true;
    for (int y = 0; y < 9; ++y) {
        std::vector<std::uint8_t> row;
        for (int x = 0; x < 9; ++x)
            row.insert(row.end(), {std::uint8_t(x * 20), std::uint8_t(y * 20), 99});
        interlaced.rows.push_back(row);
    }
    const CBitmap bitmap = decode(writePng(interlaced));
    EXPECT_EQ(bitmap.colorAt(8, 3), (CColor{160, 60, 99, 255}));
    EXPECT_EQ(bitmap.colorAt(5, 7), (CColor{100, 140, 99, 255}));
}

TEST(Png, DamagedOrMissingFilesLeaveAnEmptyBitmap) {
    PngDescription png = describe(2, 2, PNG_COLOR_TYPE_RGB_ALPHA, 8);
    png.rows = {{1, 2, 3, 4, 5, 6, 7, 8}, {9, 10, 11, 12, 13, 14, 15, 16}};
    std::vector<std::uint8_t> bytes = writePng(png);
    CBitmap bitmap(5, 5);
    for (std::size_t cut : {std::size_t{0}, std::size_t{8}, std::size_t{40}, bytes.size() - 13}) {
        EXPECT_FALSE(bitmap.decodePng(bytes.data(), cut)) << cut;
        EXPECT_TRUE(bitmap.empty());
    }
    bytes[bytes.size() / 2] ^= 0x55; // a damaged data chunk fails its checksum
    EXPECT_FALSE(bitmap.decodePng(bytes.data(), bytes.size()));
    EXPECT_FALSE(bitmap.loadPng("no such folder/none.png"));
    EXPECT_TRUE(bitmap.empty());
}

TEST(Png, HugeDeclaredSizesAreRefusedBeforeAllocating) {
    PngDescription png = describe(1, 1, PNG_COLOR_TYPE_GRAY, 8);
    png.rows = {{0}};
    std::vector<std::uint8_t> bytes = writePng(png);
    // Rewrite the header's width to 100000 and mend its checksum: a well-formed file we refuse.
    bytes[16] = 0x00;
    bytes[17] = 0x01;
    bytes[18] = 0x86;
    bytes[19] = 0xa0;
    const std::uint32_t crc = chunkCrc(bytes.data() + 12, 17);
    for (int i = 0; i < 4; ++i)
        bytes[29 + std::size_t(i)] = std::uint8_t(crc >> (24 - 8 * i));
    CBitmap bitmap;
    EXPECT_FALSE(bitmap.decodePng(bytes.data(), bytes.size()));
}

TEST(Png, EncodedPicturesDecodeToTheSamePixels) {
    CBitmap bitmap(3, 2);
    bitmap.setColorAt(0, 0, {255, 0, 0, 255});
    bitmap.setColorAt(1, 0, {10, 200, 30, 128});
    bitmap.setColorAt(2, 1, {0, 0, 0, 0});
    const auto path =
        (std::filesystem::temp_directory_path() / "treskpro-bitmap-test.png").string();
    ASSERT_TRUE(bitmap.savePng(path));
    CBitmap loaded;
    ASSERT_TRUE(loaded.loadPng(path));
    std::remove(path.c_str());
    ASSERT_EQ(loaded.width(), 3);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(loaded.row(y)[x], bitmap.row(y)[x]) << x << "," << y;
        }
    }
}

TEST(Blending, SourceOverDestinationWithPremultipliedPixels) {
    const std::uint32_t white = toPixel(kWhiteCColor);
    EXPECT_EQ(blendPixel(white, toPixel({255, 0, 0, 255})), toPixel({255, 0, 0, 255}));
    EXPECT_EQ(blendPixel(white, 0u), white);
    // Half-transparent black over white gives mid grey, still opaque.
    EXPECT_EQ(toColor(blendPixel(white, toPixel({0, 0, 0, 128}))), (CColor{127, 127, 127, 255}));
    // Half-transparent red over half-transparent blue: alpha adds up as a + b(1 - a).
    const CColor mixed = toColor(blendPixel(toPixel({0, 0, 255, 128}), toPixel({255, 0, 0, 128})));
    EXPECT_EQ(mixed.alpha, 192);
    EXPECT_NEAR(mixed.red, 170, 1);
    EXPECT_NEAR(mixed.blue, 85, 1);
    // No channel ever overflows into its neighbour.
    for (std::uint32_t a = 0; a < 256; a += 5) {
        const std::uint32_t result = blendPixel(white, toPixel({255, 255, 255, std::uint8_t(a)}));
        EXPECT_EQ(result, white) << a;
    }
    EXPECT_EQ(scalePixel(0xff804020u, 128), 0x80402010u);
}

} // namespace
} // namespace treskpro::toolkit
