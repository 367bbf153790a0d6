// Shared engine pieces: table interpolation at its edges, the half-band kernel, the block
// registry, and the wavetable data files with the damage a file on disk may carry.
#include "engine/BlockRegistry.h"
#include "engine/DelayLine.h"
#include "engine/Dsp.h"
#include "engine/HalfbandFir.h"
#include "engine/Lanes.h"
#include "engine/WavetableSet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>

namespace treskpro {
namespace {

TEST(Interpolate, InsideAndAtTheEdges) {
    const float table[] = {1.0f, 3.0f, 7.0f};
    EXPECT_FLOAT_EQ(interpolate(table, 3, 0.5), 2.0f);
    EXPECT_FLOAT_EQ(interpolate(table, 3, 1.25), 4.0f);
    EXPECT_FLOAT_EQ(interpolate(table, 3, -0.5), 0.0f); // negative fraction kept: 1.5 T0 - 0.5 T1
    EXPECT_FLOAT_EQ(interpolate(table, 3, -1.0), 1.0f);
    EXPECT_FLOAT_EQ(interpolate(table, 3, -1e9), 1.0f);
    EXPECT_FLOAT_EQ(interpolate(table, 3, 2.0), 7.0f); // never reads past the last entry
    EXPECT_FLOAT_EQ(interpolate(table, 3, 1e12), 7.0f);
    EXPECT_FLOAT_EQ(interpolate(table, 3, std::numeric_limits<double>::quiet_NaN()), 1.0f);
}

TEST(AlternatingOffset, FlipsSignAtEveryUse) {
    AlternatingOffset<double> offset;
    EXPECT_EQ(offset.next(), 1e-5);
    EXPECT_EQ(offset.next(), -1e-5);
    EXPECT_EQ(offset.next(), 1e-5);
}

TEST(HalfbandFir, KernelIsSymmetricWithUnitSumAndDelaysBySixteen) {
    double sum = 0.0;
    for (int k = 0; k < HalfbandFir::length; ++k) {
        sum += HalfbandFir::kernel[static_cast<size_t>(k)];
        EXPECT_EQ(HalfbandFir::kernel[static_cast<size_t>(k)],
                  HalfbandFir::kernel[static_cast<size_t>(32 - k)]);
        if (k != 16 && k % 2 == 0) {
            EXPECT_EQ(HalfbandFir::kernel[static_cast<size_t>(k)], 0.0);
        }
    }
    EXPECT_NEAR(sum, 1.0, 1e-12);

    // An impulse comes out as the kernel itself, each value one push late.
    HalfbandFir fir;
    EXPECT_EQ(fir.push(1.0), 0.0); // the history before the impulse
    for (int k = 0; k < HalfbandFir::length; ++k)
        EXPECT_EQ(fir.push(0.0), HalfbandFir::kernel[static_cast<size_t>(k)]) << k;
    EXPECT_EQ(fir.push(0.0), 0.0);
}

TEST(BlockRegistry, AlignedZeroedBlocksThatFollowTheBlockSize) {
    BlockRegistry registry(64);
    float* single = nullptr;
    float* doubled = nullptr;
    ASSERT_TRUE(registry.registerBlock(&single));
    ASSERT_TRUE(registry.registerBlock(&doubled, 2));
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(single) % 32, 0u);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(doubled) % 32, 0u);
    for (int i = 0; i < 128; ++i)
        EXPECT_EQ(doubled[i], 0.0f);

    single[63] = 5.0f;
    registry.clear();
    EXPECT_EQ(single[63], 0.0f);

    registry.setBlockSize(512);
    EXPECT_EQ(registry.blockSize(), 512);
    doubled[1023] = 1.0f; // the owner points at the new, larger block
    single[511] = 1.0f;
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(single) % 32, 0u);

    BlockRegistry full(1);
    std::vector<float*> owners(BlockRegistry::capacity + 1);
    for (int i = 0; i < BlockRegistry::capacity; ++i)
        ASSERT_TRUE(full.registerBlock(&owners[static_cast<size_t>(i)]));
    EXPECT_FALSE(full.registerBlock(&owners.back()));
    EXPECT_EQ(owners.back(), nullptr);
}

std::vector<std::uint8_t> smallSet() {
    // Two tables: a long saw with more samples, and a short sine-like cycle for long periods.
    std::vector<float> detailed = {0.0f, 0.5f, 1.0f, -1.0f, -0.5f};
    std::vector<float> smooth = {0.0f, 1.0f, 0.0f, -1.0f};
    return WavetableSet::encode({1, 1, 0, 0}, {detailed, smooth});
}

TEST(DelayLine, EchoesAndForgetsThemWhenCleared) {
    // A ring of a quarter of its length: an impulse comes back after 16384 samples, as long as
    // nothing cleared the line in between (a clear that found the ring untouched is no reason
    // to skip a later one).
    DelayLine line;
    line.setTarget(0.75);
    line.jumpToTarget();
    const auto echoAfterImpulse = [&line] {
        std::vector<float> block(DelayLine::length / 4 + 1, 0.0f);
        block[0] = 1.0f;
        line.process(block.data(), static_cast<int>(block.size()), 1.0f, nullptr, 0.0f);
        return block.back();
    };
    line.clear();
    EXPECT_NEAR(echoAfterImpulse(), 1.0f, 1e-6f);
    for (const bool viaReset : {false, true}) {
        std::vector<float> first(DelayLine::length / 8, 0.0f);
        first[0] = 1.0f;
        line.process(first.data(), static_cast<int>(first.size()), 1.0f, nullptr, 0.0f);
        viaReset ? line.reset() : line.clear();
        std::vector<float> rest(DelayLine::length, 0.0f);
        line.process(rest.data(), static_cast<int>(rest.size()), 1.0f, nullptr, 0.0f);
        EXPECT_EQ(*std::max_element(rest.begin(), rest.end()), 0.0f) << viaReset;
    }
}

TEST(WavetableSet, ReadsItsOwnFilesAndLooksUpByPeriod) {
    const std::vector<std::uint8_t> bytes = smallSet();
    EXPECT_EQ(bytes.size(), 12u + 4u + 8u * 2u + 4u * 9u);
    WavetableSet set;
    ASSERT_TRUE(set.loadFromMemory(bytes.data(), bytes.size()));
    EXPECT_EQ(set.tableCount(), 2);
    EXPECT_EQ(set.mapCount(), 4);
    EXPECT_EQ(set.smoothestTable(), 1);
    EXPECT_EQ(set.tableForPeriod(0.5), 1);
    EXPECT_EQ(set.tableForPeriod(2.9), 0);
    EXPECT_EQ(set.tableForPeriod(1e9), 0);  // beyond the map: its last entry
    EXPECT_EQ(set.tableForPeriod(-5.0), 1); // below: its first
    EXPECT_FLOAT_EQ(set.lookup(0.25, 1.0), 1.0f);
    EXPECT_FLOAT_EQ(set.lookup(0.125, 1.0), 0.5f);
    EXPECT_FLOAT_EQ(set.readTable(1, 0.875), -0.5f); // wraps from the last sample to the first
    EXPECT_FLOAT_EQ(set.lookup(0.1, 3.0), 0.25f);
}

// Readers on the audio path interpolate past a cycle's last sample without wrapping: every
// table is followed by its first two samples, also where tables share samples in the file and
// for a one-sample table.
TEST(WavetableSet, EveryCycleIsFollowedByItsFirstSamples) {
    std::vector<std::uint8_t> bytes = WavetableSet::encode({0, 1, 2}, {{1, 2, 3}, {4, 5}, {6}});
    // The second table made to start inside the first: offsets 0, 1, 5, lengths 3, 2, 1.
    const std::int32_t shared = 1;
    std::memcpy(bytes.data() + 12 + 3 + 4, &shared, 4);
    WavetableSet set;
    ASSERT_TRUE(set.loadFromMemory(bytes.data(), bytes.size()));
    const std::vector<std::vector<float>> expected = {{1, 2, 3, 1, 2}, {2, 3, 2, 3}, {6, 6, 6}};
    for (int t = 0; t < 3; ++t) {
        const float* cycle = set.tableSamples(t);
        const std::vector<float> read(cycle, cycle + set.tableLength(t) + 2);
        EXPECT_EQ(read, expected[static_cast<std::size_t>(t)]) << t;
    }
    EXPECT_FLOAT_EQ(set.readTable(1, 0.75), 2.5f); // the set lookup still wraps by itself
}

TEST(WavetableSet, RefusesDamagedFilesAndStaysUnloaded) {
    const std::vector<std::uint8_t> good = smallSet();
    auto refused = [](std::vector<std::uint8_t> bytes) {
        WavetableSet set;
        const bool accepted = set.loadFromMemory(bytes.data(), bytes.size());
        return !accepted && !set.isLoaded();
    };
    auto withInt = [&](std::size_t offset, std::int32_t value) {
        std::vector<std::uint8_t> bytes = good;
        std::memcpy(bytes.data() + offset, &value, 4);
        return bytes;
    };
    EXPECT_TRUE(refused({}));
    EXPECT_TRUE(refused(std::vector<std::uint8_t>(good.begin(), good.begin() + 11)));
    std::vector<std::uint8_t> badMagic = good;
    badMagic[0] = 'T';
    EXPECT_TRUE(refused(badMagic));
    EXPECT_TRUE(refused(withInt(4, -1)));         // map count
    EXPECT_TRUE(refused(withInt(4, 0x7fffffff))); // map count past the file
    EXPECT_TRUE(refused(withInt(8, 0)));          // table count
    EXPECT_TRUE(refused(withInt(8, 100000)));     // table count past the file
    EXPECT_TRUE(refused(withInt(16, -3)));        // an offset
    EXPECT_TRUE(refused(withInt(20, 7)));         // offset + length past the samples
    EXPECT_TRUE(refused(withInt(24, 0)));         // a length
    EXPECT_TRUE(refused(withInt(24, 6)));         // lengths disagree with the file size
    std::vector<std::uint8_t> badMap = good;
    badMap[12] = 2; // a table that does not exist
    EXPECT_TRUE(refused(badMap));
    std::vector<std::uint8_t> truncated(good.begin(), good.end() - 1);
    EXPECT_TRUE(refused(truncated));
    std::vector<std::uint8_t> longer = good;
    longer.push_back(0);
    EXPECT_TRUE(refused(longer));

    WavetableSet missing;
    EXPECT_FALSE(missing.loadFromFile("no such folder/no such file.dat"));
    EXPECT_FALSE(missing.isLoaded());
    // A folder opens like a file and reports an enormous size: refused, not an allocation.
    WavetableSet folder;
    EXPECT_FALSE(folder.loadFromFile(std::filesystem::temp_directory_path().string()));
    EXPECT_FALSE(folder.isLoaded());
}

// A file read from disk arrives exactly as written, except that infinities and NaNs (a damaged
// file) play as silence, also in the samples repeated after a cycle. A table that repeats the one
// before it reads the same; one that differs only in its last sample keeps its own.
TEST(WavetableSet, ReadsAFileAndSilencesItsNonFiniteSamples) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float largest = std::numeric_limits<float>::max();
    const float tiny = std::numeric_limits<float>::denorm_min();
    const std::vector<std::uint8_t> bytes =
        WavetableSet::encode({1, 0}, {{nan, 0.5f, -inf, largest},
                                      {inf, -largest, tiny},
                                      {inf, -largest, tiny},
                                      {inf, -largest, 1.0f}});
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / "treskpro-wavetable-read-test.dat";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    WavetableSet set;
    const bool loaded = set.loadFromFile(path.string());
    std::filesystem::remove(path);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(set.mapCount(), 2);
    EXPECT_EQ(set.tableForEntry(0), 1);
    const std::vector<std::vector<float>> expected = {{0.0f, 0.5f, 0.0f, largest, 0.0f, 0.5f},
                                                      {0.0f, -largest, tiny, 0.0f, -largest},
                                                      {0.0f, -largest, tiny, 0.0f, -largest},
                                                      {0.0f, -largest, 1.0f, 0.0f, -largest}};
    ASSERT_EQ(set.tableCount(), 4);
    for (int t = 0; t < 4; ++t) {
        const float* cycle = set.tableSamples(t);
        const std::vector<float> read(cycle, cycle + set.tableLength(t) + 2);
        EXPECT_EQ(read, expected[static_cast<std::size_t>(t)]) << t;
    }
}

} // namespace
} // namespace treskpro

namespace treskpro {
namespace {

TEST(FastSine, FollowsTheLibrarySineOverTheShapersRange) {
    double worst = 0.0;
    for (double x = -200.0; x <= 200.0; x += 0.001)
        worst = std::max(worst, std::fabs(fastSine(x) - std::sin(x)));
    EXPECT_LT(worst, 4e-6);
    EXPECT_EQ(fastSine(std::numeric_limits<double>::quiet_NaN()), 0.0);
    EXPECT_EQ(fastSine(std::numeric_limits<double>::infinity()), 0.0);
}

TEST(FastSine, FourSinglePrecisionLanesFollowTheLibrarySine) {
    // Each lane on its own argument: a lane mix-up or a wrong sign for odd multiples of pi
    // would show at once.
    double worst = 0.0;
    for (float x = -300.0f; x <= 300.0f; x += 0.0007f) {
        const float args[4] = {x, -0.5f * x, x + 1.0f, 0.25f * x};
        float out[4];
        float a[2] = {args[0], args[2]};
        float b[2] = {args[1], args[3]};
        fastSine(Float4::interleave(a, b)).deinterleave(a, b);
        out[0] = a[0];
        out[1] = b[0];
        out[2] = a[1];
        out[3] = b[1];
        for (int k = 0; k < 4; ++k)
            worst = std::max(worst, std::fabs(out[k] - std::sin(static_cast<double>(args[k]))));
    }
    EXPECT_LT(worst, 4e-6);

    // Beyond any drive it stays a bounded value; non-finite arguments give silence.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    float a[2] = {3e7f, nan};
    float b[2] = {-inf, 5e8f};
    fastSine(Float4::interleave(a, b)).deinterleave(a, b);
    EXPECT_LE(std::fabs(a[0]), 1.00001f);
    EXPECT_EQ(b[0], 0.0f);
    EXPECT_EQ(a[1], 0.0f);
    EXPECT_LE(std::fabs(b[1]), 1.00001f);
}

} // namespace
} // namespace treskpro
