// The modulation generator measured from its outputs: waveform shapes and rates, smoothing,
// sample-and-hold statistics, the decay wave, retriggering, and the audio output with and
// without its tables.
#include "engine/MgModule.h"
#include "engine/FastKernels.h"
#include "engine/WavetableSet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <numeric>
#include <optional>
#include <vector>

namespace treskpro {
namespace {

// A set of one table of 256 samples of `shape` over a cycle.
template <typename Shape> std::unique_ptr<WavetableSet> oneTableSet(Shape shape) {
    std::vector<float> table(256);
    for (size_t k = 0; k < table.size(); ++k)
        table[k] = static_cast<float>(shape(static_cast<double>(k) / 256.0));
    auto set = std::make_unique<WavetableSet>();
    const std::vector<std::uint8_t> bytes = WavetableSet::encode({0}, {table});
    EXPECT_TRUE(set->loadFromMemory(bytes.data(), bytes.size()));
    return set;
}

double sinePhaseTriangle(double phase) {
    return phase < 0.25 ? 4 * phase : phase < 0.75 ? 2 - 4 * phase : 4 * phase - 4;
}

struct Outputs {
    std::vector<float> control, audio;
};

Outputs run(MgModule& mg, int count) {
    Outputs out{std::vector<float>(static_cast<size_t>(count)),
                std::vector<float>(static_cast<size_t>(count))};
    mg.setOutput(MgModule::Control, out.control.data());
    mg.setOutput(MgModule::Audio, out.audio.data());
    mg.process(count);
    return out;
}

// An MG with no tables at all, unsmoothed, at `hertz`.
struct Fixture {
    WavetableSet missingSaw, missingSquare, missingTriangle;
    MgModule mg;

    Fixture(MgModule::Wave wave, double hertz, float rate = 44100.0f) {
        mg.setWavetables(&missingSaw, &missingSquare, &missingTriangle);
        mg.setWave(wave);
        mg.setSampleRate(rate);
        mg.setFrequency(hertz);
        mg.setSmoothing(1.0);
    }
};

int upwardJumps(const std::vector<float>& x, float size) {
    int jumps = 0;
    for (size_t i = 1; i < x.size(); ++i)
        jumps += x[i] - x[i - 1] > size ? 1 : 0;
    return jumps;
}

TEST(MgModule, WaveShapesAndRates) {
    for (float rate : {44100.0f, 48000.0f}) {
        SCOPED_TRACE(rate);
        const int second = static_cast<int>(rate);

        Fixture saw(MgModule::Saw, 100.0, rate);
        const std::vector<float> ramp = run(saw.mg, second).control;
        EXPECT_NEAR(upwardJumps(ramp, 1.0f), 100, 1);
        EXPECT_NEAR(ramp[0], 1.0f, 1e-4f); // a falling ramp from +1
        EXPECT_NEAR(*std::min_element(ramp.begin(), ramp.end()), -1.0f, 0.01f);
        EXPECT_NEAR(ramp[static_cast<size_t>(second / 400)], 0.5f, 0.01f);

        Fixture square(MgModule::Square, 100.0, rate);
        const std::vector<float> pulse = run(square.mg, second).control;
        EXPECT_NEAR(upwardJumps(pulse, 1.5f), 100, 1);
        const auto high = std::count_if(pulse.begin(), pulse.end(), [](float x) { return x > 0; });
        EXPECT_NEAR(static_cast<double>(high) / second, 0.5, 0.01);
        EXPECT_NEAR(pulse[0], -1.0f, 2e-5f); // low in the first half of the cycle
        for (float x : pulse)
            ASSERT_NEAR(std::fabs(x), 1.0f, 2e-5f);

        // Without tables the triangle is still a triangle, in the tables' phase.
        Fixture triangle(MgModule::Triangle, 100.0, rate);
        const std::vector<float> wave = run(triangle.mg, second).control;
        const size_t quarter = static_cast<size_t>(second / 400);
        EXPECT_NEAR(wave[0], 0.0f, 1e-4f);
        EXPECT_NEAR(wave[quarter], 1.0f, 0.01f);
        EXPECT_NEAR(wave[3 * quarter], -1.0f, 0.01f);
        EXPECT_NEAR(*std::max_element(wave.begin(), wave.end()), 1.0f, 0.01f);
    }
}

TEST(MgModule, SmoothingAndAmount) {
    // The default smoothing rounds a square's edge over about 32 samples (90 %).
    Fixture square(MgModule::Square, 10.0);
    square.mg.setSmoothing(MgModule::defaultSmoothing);
    const std::vector<float> edge = run(square.mg, 4410).control;
    const auto rise =
        std::find_if(edge.begin() + 2205, edge.end(), [](float x) { return x > 0.8f; });
    EXPECT_NEAR(static_cast<double>(rise - (edge.begin() + 2205)), 32, 2);

    // The amount scales the output, and an amount input replaces it sample by sample.
    Fixture saw(MgModule::Saw, 10.0);
    saw.mg.setAmount(0.5);
    EXPECT_NEAR(run(saw.mg, 1).control[0], 0.5f, 1e-4f);
    std::vector<float> amount(100, -1.0f);
    saw.mg.setInput(MgModule::Amount, amount.data());
    const std::vector<float> inverted = run(saw.mg, 100).control;
    EXPECT_LT(inverted[0], -0.99f);
    saw.mg.setInput(MgModule::Amount, nullptr); // the last amount sample stays in force
    EXPECT_LT(run(saw.mg, 1).control[0], -0.9f);
}

TEST(MgModule, SampleAndHoldIsUniformHeldAndRepeatable) {
    Fixture first(MgModule::SampleAndHold, 441.0); // a new value every 100 samples
    const Outputs held = run(first.mg, 200'000);
    std::vector<float> values;
    size_t lastChange = 0;
    for (size_t i = 1; i < held.audio.size(); ++i) {
        ASSERT_NEAR(held.control[i], held.audio[i], 2e-5f) << i;
        if (held.audio[i] == held.audio[i - 1])
            continue;
        ASSERT_GE(i - lastChange, 99u) << i; // held for a whole cycle
        lastChange = i;
        values.push_back(held.audio[i]);
    }
    ASSERT_GT(values.size(), 1900u);
    const double count = static_cast<double>(values.size());
    const double mean = std::accumulate(values.begin(), values.end(), 0.0) / count;
    double variance = 0.0;
    for (float v : values)
        variance += (v - mean) * (v - mean) / count;
    EXPECT_NEAR(mean, 0.0, 0.04);
    EXPECT_NEAR(std::sqrt(variance), 1.0 / std::sqrt(3.0), 0.03);
    EXPECT_LT(*std::min_element(values.begin(), values.end()), -0.99f);
    EXPECT_GT(*std::max_element(values.begin(), values.end()), 0.99f);
    EXPECT_GE(*std::min_element(values.begin(), values.end()), -1.0f);
    EXPECT_LE(*std::max_element(values.begin(), values.end()), 1.0002f);

    Fixture second(MgModule::SampleAndHold, 441.0);
    EXPECT_EQ(run(second.mg, 200'000).audio, held.audio);
}

TEST(MgModule, DecayFallsTowardsMinusOneAndRestarts) {
    Fixture decay(MgModule::Decay, 10.0); // 10 % of the level left after 0.1 s
    decay.mg.setAmount(0.75);
    const Outputs out = run(decay.mg, 44100);
    EXPECT_NEAR(out.control[0], 0.5f, 0.001f); // starts at 2 amount - 1
    EXPECT_NEAR(out.control[4409], 2 * 0.75f * 0.1f - 1, 0.003f);
    EXPECT_NEAR(out.control[44099], -1.0f, 0.001f);
    for (float x : out.audio)
        ASSERT_EQ(x, 0.0f);

    std::vector<float> retrigger(100, 0.0f);
    retrigger[50] = 1.0f;
    decay.mg.setInput(MgModule::Retrigger, retrigger.data());
    const std::vector<float> restarted = run(decay.mg, 100).control;
    EXPECT_LT(restarted[49], -0.99f);
    EXPECT_NEAR(restarted[50], 0.5f, 0.001f);
    decay.mg.setInput(MgModule::Retrigger, nullptr);

    // A note restarts it only when the retrigger switch is on.
    run(decay.mg, 44100);
    decay.mg.retrigger();
    EXPECT_LT(run(decay.mg, 1).control[0], -0.99f);
    decay.mg.setRetrigger(true);
    decay.mg.retrigger();
    EXPECT_NEAR(run(decay.mg, 1).control[0], 0.5f, 0.001f);
}

TEST(MgModule, AudioOutputReadsTheTables) {
    auto sawSet = oneTableSet([](double phase) { return 1 - 2 * phase; });
    auto triangleSet = oneTableSet(sinePhaseTriangle);
    WavetableSet missingSquare;
    MgModule mg;
    mg.setWavetables(sawSet.get(), &missingSquare, triangleSet.get());
    mg.setSmoothing(1.0);
    mg.setFrequency(441.0);
    mg.setAmount(0.5);

    // Saw and Square make sound only with the audio output switched on.
    EXPECT_EQ(run(mg, 50).audio, std::vector<float>(50, 0.0f));
    mg.setAudioOutput(true);
    const Outputs saw = run(mg, 100);
    for (size_t i = 0; i < 100; ++i) {
        if (saw.control[i] > -0.49f) { // away from the table's wrap back to +1
            ASSERT_NEAR(saw.audio[i], saw.control[i], 0.01f) << i;
        }
    }

    // The triangle table drives both outputs, in step with the directly computed triangle.
    mg.setWave(MgModule::Triangle);
    mg.resetPhase();
    const Outputs fromTable = run(mg, 441);
    Fixture plain(MgModule::Triangle, 441.0);
    plain.mg.setAmount(0.5);
    const Outputs computed = run(plain.mg, 441);
    for (size_t i = 0; i < 441; ++i) {
        ASSERT_NEAR(fromTable.control[i], computed.control[i], 0.005f) << i;
        ASSERT_NEAR(fromTable.audio[i], fromTable.control[i], 1e-4f) << i;
        ASSERT_EQ(computed.audio[i], 0.0f); // no table: no triangle sound
    }
}

TEST(MgModule, AudioOutputWithoutTablesFollowsTheWaveBandLimited) {
    for (MgModule::Wave wave : {MgModule::Saw, MgModule::Square}) {
        SCOPED_TRACE(wave);
        Fixture fixture(wave, 1000.0);
        fixture.mg.setAudioOutput(true);
        const Outputs out = run(fixture.mg, 4410);
        int differing = 0;
        for (size_t i = 1; i < out.audio.size(); ++i) {
            ASSERT_LE(std::fabs(out.audio[i]), 1.0f);
            differing += std::fabs(out.audio[i] - out.control[i]) > 0.05f ? 1 : 0;
        }
        // Only the samples at the jumps are rounded off: one or two per jump.
        EXPECT_LE(differing, wave == MgModule::Saw ? 2 * 100 : 2 * 200);

        // A restart mid-cycle or a standing LFO never throws the output out of range.
        std::vector<float> retrigger(441, 0.0f);
        retrigger[200] = 1.0f;
        fixture.mg.setInput(MgModule::Retrigger, retrigger.data());
        for (float x : run(fixture.mg, 441).audio)
            ASSERT_LE(std::fabs(x), 1.0f);
        fixture.mg.setInput(MgModule::Retrigger, nullptr);
        fixture.mg.setFrequency(0.0);
        for (float x : run(fixture.mg, 100).audio)
            ASSERT_TRUE(std::isfinite(x));
    }
}

TEST(MgModule, AnyFrequencyInputStaysBounded) {
    const float odd[] = {-500.0f,
                         1e9f,
                         std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity(),
                         44100.0f,
                         -1e9f};
    for (int wave = -1; wave <= MgModule::waveCount; ++wave) {
        SCOPED_TRACE(wave);
        Fixture fixture(MgModule::Saw, 1.0);
        fixture.mg.setWave(wave);
        fixture.mg.setAudioOutput(true);
        std::vector<float> frequency(600);
        for (size_t i = 0; i < frequency.size(); ++i)
            frequency[i] = odd[i / 100];
        fixture.mg.setFrequencyInput(frequency.data());
        const Outputs out = run(fixture.mg, 600);
        for (size_t i = 0; i < out.control.size(); ++i) {
            ASSERT_LE(std::fabs(out.control[i]), 1.001f) << i;
            ASSERT_LE(std::fabs(out.audio[i]), 1.001f) << i;
        }
        EXPECT_GE(fixture.mg.currentPhase(), 0.0);
        EXPECT_LE(fixture.mg.currentPhase(), 1.0);
    }
}

// The sample-by-sample MG of a control output alone: the phase wrapped into 0..1, the shape of
// the phase (or the value held since the last wrap), the follower with its alternating offset.
struct PlainMg {
    MgModule::Wave wave;
    const WavetableSet* triangle;
    double phase = 0.0, state = 0.0, offset = 1e-5, held = 0.0, step = 0.0;
    std::uint32_t random = 22222;

    float next(float hertz, double rate, double c, double level) {
        const double s = hertz * (1.0 / rate);
        step = std::isfinite(s) ? s : 0.0;
        double shape = held;
        if (wave == MgModule::Saw)
            shape = 1.0 - 2.0 * phase;
        else if (wave == MgModule::Square)
            shape = phase > 0.5 ? 1.0 : -1.0;
        else if (wave == MgModule::Triangle)
            shape = triangle ? triangle->lookup(phase, 1.0 / step) : sinePhaseTriangle(phase);
        phase += step;
        const bool wrapped = phase > 1.0 || phase < 0.0;
        if (phase > 1.0)
            phase -= 1.0;
        if (phase > 1.0 || phase < 0.0)
            phase -= std::floor(phase);
        if (wrapped && wave == MgModule::SampleAndHold) {
            random = random * 196314165u + 907633515u;
            held = (6.0 * 10923.0 * (random * (1.0 / 4294967296.0)) - 3.0 * 10922.0) * 3.0518509e-5;
        }
        state = (1.0 - c) * state + c * (shape + offset);
        offset = -offset;
        return static_cast<float>(state * level);
    }
};

TEST(MgModule, ControlOutputAloneMatchesTheSampleBySampleMg) {
    // A sweep through both directions, steps past a whole cycle and non-finite values, then a
    // still frequency whose phases land exactly on the shapes' corners (a step of 1/128 at a
    // rate whose reciprocal is exact); blocks of odd lengths carry the state from one to the
    // next.
    const float rate = 65536.0f;
    std::vector<float> sweep(1500), still(1500, 512.0f);
    for (size_t i = 0; i < sweep.size(); ++i)
        sweep[i] = static_cast<float>(4000.0 * std::sin(0.01 * static_cast<double>(i)) + 300.0);
    sweep[100] = 60000.0f;
    sweep[101] = -90000.0f;
    sweep[700] = std::numeric_limits<float>::quiet_NaN();
    sweep[701] = std::numeric_limits<float>::infinity();
    const auto table = oneTableSet(sinePhaseTriangle);
    const int lengths[] = {333, 64, 1, 500, 602};

    for (bool plain : {true, false}) {
        std::optional<PlainKernels> kernels;
        if (plain)
            kernels.emplace();
        for (int wave = MgModule::Saw; wave <= MgModule::SampleAndHold; ++wave) {
            for (bool tables : {false, true}) {
                for (const std::vector<float>* frequency : {&sweep, &still}) {
                    SCOPED_TRACE(testing::Message()
                                 << "plain " << plain << " wave " << wave << " tables " << tables
                                 << " sweep " << (frequency == &sweep));
                    // `wired` also drives the audio output, which takes the sample-by-sample
                    // path in either kernel.
                    Fixture alone(static_cast<MgModule::Wave>(wave), 1.0, rate);
                    Fixture wired(static_cast<MgModule::Wave>(wave), 1.0, rate);
                    PlainMg reference{static_cast<MgModule::Wave>(wave),
                                      tables ? table.get() : nullptr};
                    for (Fixture* f : {&alone, &wired}) {
                        if (tables)
                            f->mg.setWavetables(table.get(), table.get(), table.get());
                        f->mg.setSmoothing(MgModule::defaultSmoothing);
                        f->mg.setAmount(-0.8);
                    }
                    std::vector<float> control(1500), audio(1500);
                    int start = 0;
                    for (int length : lengths) {
                        alone.mg.setFrequencyInput(frequency->data() + start);
                        wired.mg.setFrequencyInput(frequency->data() + start);
                        alone.mg.setOutput(MgModule::Control, control.data() + start);
                        alone.mg.process(length);
                        const Outputs out = run(wired.mg, length);
                        for (int i = 0; i < length; ++i) {
                            const auto k = static_cast<size_t>(start + i);
                            ASSERT_EQ(control[k], out.control[static_cast<size_t>(i)]) << k;
                            if (plain) {
                                ASSERT_EQ(control[k],
                                          reference.next((*frequency)[k], rate,
                                                         MgModule::defaultSmoothing, -0.8))
                                    << k;
                            }
                        }
                        ASSERT_EQ(alone.mg.audioValue(), wired.mg.audioValue());
                        ASSERT_EQ(alone.mg.smoothedValue(), wired.mg.smoothedValue());
                        ASSERT_EQ(alone.mg.currentPhase(), wired.mg.currentPhase());
                        start += length;
                    }
                }
            }
        }
    }
}

} // namespace
} // namespace treskpro
