// The third-party libraries as the build links them (Debian's packages natively, the static
// MinGW builds of tools/windows-deps.sh for Windows): PNG images written and decoded the way the
// toolkit reads skin images, and WAV files as the renderer writes them.
#include <png.h>
#include <sndfile.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A folder with a blank in its name, as plug-in folders often have.
fs::path testFolder() {
    static const fs::path folder = [] {
        const fs::path path = fs::path(testing::TempDir()) / "third party files";
        fs::remove_all(path);
        fs::create_directories(path);
        return path;
    }();
    return folder;
}

std::vector<unsigned char> fileBytes(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// ---- PNG ----

struct PngImage {
    int colourType = PNG_COLOR_TYPE_RGBA;
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    std::vector<unsigned char> pixels; // rows of the colour type's samples, 8 bits each
    std::vector<png_color> palette;
    std::vector<unsigned char> paletteAlpha;
};

int channelsOf(int colourType) {
    switch (colourType) {
    case PNG_COLOR_TYPE_RGBA:
        return 4;
    case PNG_COLOR_TYPE_RGB:
        return 3;
    default:
        return 1;
    }
}

// Errors end the decoding quietly (libpng's default prints them); warnings are ignored.
[[noreturn]] void pngError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void pngWarning(png_structp, png_const_charp) {}

// libpng reports errors by longjmp, so nothing with a destructor lives in the frames it unwinds:
// the callers own every buffer.
bool writePng(const char* path, const PngImage& image, png_bytep* rows) {
    FILE* file = std::fopen(path, "wb");
    if (file == nullptr)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, image.width, image.height, 8, image.colourType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!image.palette.empty())
        png_set_PLTE(png, info, image.palette.data(), static_cast<int>(image.palette.size()));
    if (!image.paletteAlpha.empty())
        png_set_tRNS(png, info, image.paletteAlpha.data(),
                     static_cast<int>(image.paletteAlpha.size()), nullptr);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0;
}

// Decodes any 8-bit PNG to RGBA as the toolkit does: palettes and gray expanded, palette
// transparency turned into alpha, an opaque alpha added where the image has none.
bool readPngAsRgba(const char* path, png_uint_32 maximumSide, unsigned char* pixels,
                   png_bytep* rows, png_uint_32* width, png_uint_32* height) {
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr)
        return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_read_info(png, info);
    *width = png_get_image_width(png, info);
    *height = png_get_image_height(png, info);
    if (*width > maximumSide || *height > maximumSide)
        png_error(png, "image larger than the buffer");
    const int colourType = png_get_color_type(png, info);
    if (colourType == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS))
        png_set_tRNS_to_alpha(png);
    if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xff, PNG_FILLER_AFTER);
    png_read_update_info(png, info);
    for (png_uint_32 row = 0; row < *height; ++row)
        rows[row] = pixels + row * *width * 4;
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return true;
}

constexpr png_uint_32 maximumSide = 16;

struct Decoded {
    bool ok = false;
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    std::vector<unsigned char> rgba;
};

Decoded decode(const fs::path& path) {
    Decoded result;
    std::vector<unsigned char> pixels(maximumSide * maximumSide * 4);
    std::vector<png_bytep> rows(maximumSide);
    result.ok = readPngAsRgba(path.string().c_str(), maximumSide, pixels.data(), rows.data(),
                              &result.width, &result.height);
    if (result.ok)
        result.rgba.assign(pixels.begin(), pixels.begin() + result.width * result.height * 4);
    return result;
}

fs::path writeImage(const std::string& name, PngImage image) {
    const fs::path path = testFolder() / name;
    std::vector<png_bytep> rows;
    const size_t stride = image.width * static_cast<size_t>(channelsOf(image.colourType));
    for (png_uint_32 row = 0; row < image.height; ++row)
        rows.push_back(image.pixels.data() + row * stride);
    EXPECT_TRUE(writePng(path.string().c_str(), image, rows.data()));
    return path;
}

TEST(ThirdPartyPng, RgbaImageRoundTrip) {
    PngImage image;
    image.width = 3;
    image.height = 2;
    image.pixels = {255, 0,  0,  255, 0,  255, 0,  128, 0,  0,   255, 0,
                    10,  20, 30, 40,  50, 60,  70, 80,  90, 100, 110, 255};
    const fs::path path = writeImage("rgba.png", image);

    const std::vector<unsigned char> bytes = fileBytes(path);
    const std::array<unsigned char, 8> signature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    ASSERT_GE(bytes.size(), signature.size());
    EXPECT_TRUE(std::equal(signature.begin(), signature.end(), bytes.begin()));

    const Decoded decoded = decode(path);
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.width, 3u);
    EXPECT_EQ(decoded.height, 2u);
    EXPECT_EQ(decoded.rgba, image.pixels);
}

TEST(ThirdPartyPng, PaletteAndGrayImagesExpandToRgba) {
    PngImage paletted;
    paletted.colourType = PNG_COLOR_TYPE_PALETTE;
    paletted.width = 2;
    paletted.height = 2;
    paletted.palette = {{200, 100, 50}, {0, 0, 0}, {1, 2, 3}};
    paletted.paletteAlpha = {255, 0}; // entries past the table are opaque
    paletted.pixels = {0, 1, 2, 1};
    const Decoded fromPalette = decode(writeImage("palette.png", paletted));
    ASSERT_TRUE(fromPalette.ok);
    EXPECT_EQ(fromPalette.rgba, (std::vector<unsigned char>{200, 100, 50, 255, 0, 0, 0, 0, 1, 2, 3,
                                                            255, 0, 0, 0, 0}));

    PngImage gray;
    gray.colourType = PNG_COLOR_TYPE_GRAY;
    gray.width = 3;
    gray.height = 1;
    gray.pixels = {0, 127, 255};
    const Decoded fromGray = decode(writeImage("gray.png", gray));
    ASSERT_TRUE(fromGray.ok);
    EXPECT_EQ(fromGray.rgba,
              (std::vector<unsigned char>{0, 0, 0, 255, 127, 127, 127, 255, 255, 255, 255, 255}));
}

TEST(ThirdPartyPng, DamagedFilesFailWithoutCrashing) {
    PngImage image;
    image.width = 4;
    image.height = 4;
    image.pixels.assign(4 * 4 * 4, 77);
    const fs::path path = writeImage("whole.png", image);
    const std::vector<unsigned char> bytes = fileBytes(path);

    // Cut in the middle of the image data, and with one byte of the header changed (its
    // checksum no longer matches): both are errors reported through libpng's long jump.
    const fs::path cut = testFolder() / "cut.png";
    std::ofstream(cut, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size() - 20));
    EXPECT_FALSE(decode(cut).ok);

    std::vector<unsigned char> changed = bytes;
    changed[16 + 3] ^= 0x01; // the low byte of the width
    const fs::path badHeader = testFolder() / "bad header.png";
    std::ofstream(badHeader, std::ios::binary)
        .write(reinterpret_cast<const char*>(changed.data()),
               static_cast<std::streamsize>(changed.size()));
    EXPECT_FALSE(decode(badHeader).ok);

    EXPECT_FALSE(decode(testFolder() / "missing.png").ok);
}

// ---- WAV ----

TEST(ThirdPartySndfile, SixteenBitStereoWavRoundTrip) {
    const fs::path path = testFolder() / "render 16.wav";
    constexpr sf_count_t frames = 1000;
    std::vector<short> written(frames * 2);
    for (size_t i = 0; i < written.size(); ++i)
        written[i] = static_cast<short>((static_cast<int>(i) * 977) % 65536 - 32768);

    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* out = sf_open(path.string().c_str(), SFM_WRITE, &info);
    ASSERT_NE(out, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(sf_writef_short(out, written.data(), frames), frames);
    EXPECT_EQ(sf_close(out), 0);

    // A plain 44-byte header: any player reads it.
    const std::vector<unsigned char> bytes = fileBytes(path);
    ASSERT_EQ(bytes.size(), 44u + static_cast<size_t>(frames) * 4);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 12), "WAVE");

    SF_INFO readInfo{};
    SNDFILE* in = sf_open(path.string().c_str(), SFM_READ, &readInfo);
    ASSERT_NE(in, nullptr) << sf_strerror(nullptr);
    EXPECT_EQ(readInfo.frames, frames);
    EXPECT_EQ(readInfo.samplerate, 44100);
    EXPECT_EQ(readInfo.channels, 2);
    EXPECT_EQ(readInfo.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    std::vector<short> read(written.size());
    EXPECT_EQ(sf_readf_short(in, read.data(), frames), frames);
    EXPECT_EQ(read, written);
    sf_close(in);
}

TEST(ThirdPartySndfile, FloatSamplesInIntegerAndFloatFiles) {
    const std::vector<float> signal{0.0f, 0.5f, -0.5f, 0.999f, -1.0f, 0.123456f, 1.5f, -2.0f};
    for (const int subtype : {SF_FORMAT_PCM_16, SF_FORMAT_PCM_24, SF_FORMAT_FLOAT}) {
        const fs::path path = testFolder() / ("float " + std::to_string(subtype) + ".wav");
        SF_INFO info{};
        info.samplerate = 48000;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | subtype;
        SNDFILE* out = sf_open(path.string().c_str(), SFM_WRITE, &info);
        ASSERT_NE(out, nullptr) << sf_strerror(nullptr);
        // Out-of-range samples clip in integer files instead of wrapping round.
        sf_command(out, SFC_SET_CLIPPING, nullptr, SF_TRUE);
        const auto count = static_cast<sf_count_t>(signal.size());
        EXPECT_EQ(sf_write_float(out, signal.data(), count), count);
        sf_close(out);

        SF_INFO readInfo{};
        SNDFILE* in = sf_open(path.string().c_str(), SFM_READ, &readInfo);
        ASSERT_NE(in, nullptr) << sf_strerror(nullptr);
        EXPECT_EQ(readInfo.format, SF_FORMAT_WAV | subtype);
        EXPECT_EQ(readInfo.samplerate, 48000);
        std::vector<float> read(signal.size());
        EXPECT_EQ(sf_read_float(in, read.data(), count), count);
        sf_close(in);

        // Integer files scale by 2^(n-1)-1 on writing and 2^(n-1) on reading: two steps of
        // the format at most.
        const float tolerance = subtype == SF_FORMAT_PCM_16   ? 2.0f / 32768
                                : subtype == SF_FORMAT_PCM_24 ? 2.0f / 8388608
                                                              : 0.0f;
        for (size_t i = 0; i < signal.size(); ++i) {
            const float expected =
                subtype == SF_FORMAT_FLOAT ? signal[i] : std::clamp(signal[i], -1.0f, 1.0f);
            EXPECT_NEAR(read[i], expected, tolerance) << "sample " << i << ", subtype " << subtype;
        }
    }
}

TEST(ThirdPartySndfile, UnwritableAndUnreadableFilesReportErrors) {
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    const fs::path noFolder = testFolder() / "no such folder" / "x.wav";
    EXPECT_EQ(sf_open(noFolder.string().c_str(), SFM_WRITE, &info), nullptr);

    const fs::path notWav = testFolder() / "not a wav.wav";
    std::ofstream(notWav, std::ios::binary) << "RIFF....WAVEfmt nonsense";
    SF_INFO readInfo{};
    EXPECT_EQ(sf_open(notWav.string().c_str(), SFM_READ, &readInfo), nullptr);
}

} // namespace
