// The generated tables: band limits per period, the shapes they approximate, the file round trip.
#include "tools/wavetables/WavetableGenerator.h"
#include "engine/WavetableSet.h"
#include "tests/unit/FrequencyAnalysis.h"

#include <gtest/gtest.h>

#include <cmath>

namespace treskpro {
namespace {

using wavetables::Waveform;

// The highest harmonic of a cycle that is more than 120 dB below its fundamental.
int highestHarmonic(const std::vector<float>& cycle) {
    const std::vector<double> spectrum =
        test::magnitudes(std::vector<double>(cycle.begin(), cycle.end()));
    int highest = 0;
    for (std::size_t k = 1; k < spectrum.size(); ++k) {
        if (spectrum[k] > spectrum[1] * 1e-6)
            highest = static_cast<int>(k);
    }
    return highest;
}

// Generating a set takes a while under emulation: the tests share one (every set has the same map).
const wavetables::GeneratedSet& sawSet() {
    static const wavetables::GeneratedSet set = wavetables::generate(Waveform::Saw);
    return set;
}

TEST(WavetableGenerator, NoHarmonicReachesHalfTheSampleRateForAnyPeriod) {
    const wavetables::GeneratedSet& set = sawSet();
    ASSERT_EQ(set.periodMap.size(), static_cast<std::size_t>(wavetables::mapCount));
    std::vector<int> highest;
    for (const std::vector<float>& table : set.tables)
        highest.push_back(highestHarmonic(table));
    EXPECT_EQ(highest[set.periodMap[0]], 1); // the sine that the Sine waveform plays
    for (std::size_t period = 3; period < set.periodMap.size(); ++period) {
        const int h = highest[set.periodMap[period]];
        // Harmonic h of a period of p samples sits at h / p of the sample rate.
        EXPECT_TRUE(h == 1 || 2 * h < static_cast<int>(period)) << period;
        if (period >= 32) {
            // ... and the tables stay bright: above 80 % of the way to that limit.
            EXPECT_GT(h + 2, static_cast<int>(0.4 * static_cast<double>(period))) << period;
        }
    }
}

TEST(WavetableGenerator, CyclesApproachTheIdealShapes) {
    const int length = 4096;
    auto at = [&](const std::vector<float>& cycle, double phase) {
        return cycle[static_cast<std::size_t>(phase * length)];
    };
    const std::vector<float> saw = wavetables::cycle(Waveform::Saw, 400, length);
    const std::vector<float> square = wavetables::cycle(Waveform::Square, 400, length);
    const std::vector<float> triangle = wavetables::cycle(Waveform::Triangle, 400, length);
    const std::vector<float> mgSaw = wavetables::cycle(Waveform::MgSaw, 400, length);
    for (double phase : {0.1, 0.25, 0.4, 0.6, 0.9}) {
        EXPECT_NEAR(at(saw, phase), phase - 0.5, 0.01) << phase;
        EXPECT_NEAR(at(square, phase), phase < 0.5 ? -0.5 : 0.5, 0.01) << phase;
        EXPECT_NEAR(at(mgSaw, phase), 1.0 - 2.0 * phase, 0.02) << phase;
        const double tri = phase < 0.25 ? 4 * phase : phase < 0.75 ? 2 - 4 * phase : 4 * phase - 4;
        EXPECT_NEAR(at(triangle, phase), tri, 0.01) << phase;
    }
}

TEST(WavetableGenerator, SetsSurviveTheFileFormat) {
    const wavetables::GeneratedSet& generated = sawSet();
    const std::vector<std::uint8_t> bytes =
        WavetableSet::encode(generated.periodMap, generated.tables);
    WavetableSet set;
    ASSERT_TRUE(set.loadFromMemory(bytes.data(), bytes.size()));
    EXPECT_EQ(set.tableCount(), static_cast<int>(generated.tables.size()));
    const int table = set.tableForPeriod(100.5);
    EXPECT_EQ(table, generated.periodMap[100]);
    EXPECT_EQ(set.readTable(table, 0.0), generated.tables[static_cast<std::size_t>(table)][0]);
    EXPECT_NEAR(set.lookup(0.25, 1e6), -0.25, 0.01); // the saw halfway up its ramp
}

} // namespace
} // namespace treskpro
