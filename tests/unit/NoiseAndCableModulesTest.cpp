// Noise colour measured on the output, and the small modules patch cables run through:
// attenuators, inverters, the envelope follower, the multiplier and the parameter smoothers.
#include "engine/AttenuatorModule.h"
#include "engine/EnvFollowerModule.h"
#include "engine/EnvelopeCoefficients.h"
#include "engine/InverterModule.h"
#include "engine/MultiplierModule.h"
#include "engine/NoiseModule.h"
#include "engine/SmootherModule.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace treskpro {
namespace {

std::vector<float> noise(float colour, int count, const float* modulation = nullptr) {
    NoiseModule::seedRandom(12345);
    NoiseModule module;
    module.setColour(colour);
    module.setInput(NoiseModule::ColourModulation, modulation);
    std::vector<float> out(static_cast<size_t>(count));
    module.setOutput(NoiseModule::Noise, out.data());
    module.process(count);
    return out;
}

double rms(const std::vector<float>& x) {
    double sum = 0.0;
    for (float v : x)
        sum += static_cast<double>(v) * v;
    return std::sqrt(sum / static_cast<double>(x.size()));
}

// Correlation of neighbouring samples: about 0 for white noise, near 1 for dark noise.
double neighbourCorrelation(const std::vector<float>& x) {
    double mean = 0.0;
    for (float v : x)
        mean += v / static_cast<double>(x.size());
    double together = 0.0, alone = 0.0;
    for (size_t i = 1; i < x.size(); ++i) {
        together += (x[i] - mean) * (x[i - 1] - mean);
        alone += (x[i] - mean) * (x[i] - mean);
    }
    return together / alone;
}

// Energy of the sample-to-sample changes against the signal's energy: 2 for white noise,
// smaller the more the highs are cut.
double highToAll(const std::vector<float>& x) {
    std::vector<float> change(x.size() - 1);
    for (size_t i = 1; i < x.size(); ++i)
        change[i - 1] = x[i] - x[i - 1];
    const double ratio = rms(change) / rms(x);
    return ratio * ratio;
}

// Samples from `from` until `reached` holds for the block's value, or -1.
template <typename Condition>
double samplesUntil(const std::vector<float>& x, size_t from, Condition reached) {
    for (size_t i = from; i < x.size(); ++i) {
        if (reached(x[i]))
            return static_cast<double>(i - from);
    }
    return -1.0;
}

// The noise is the generator's white noise through two one-pole followers; the module works two
// samples at a time while the colour holds. Against the followers one sample after the other,
// over blocks of odd and even length, with a steady and a modulated colour.
TEST(Noise, IsTheGeneratorThroughTwoFollowers) {
    std::vector<float> modulation(257);
    for (std::size_t i = 0; i < modulation.size(); ++i)
        modulation[i] = static_cast<float>(std::sin(0.05 * static_cast<double>(i)));
    for (bool modulated : {false, true}) {
        const float* colourCv = modulated ? modulation.data() : nullptr;
        NoiseModule::seedRandom(99);
        NoiseModule module;
        module.setColour(0.3f);
        module.setInput(NoiseModule::ColourModulation, colourCv);
        std::vector<float> out(modulation.size());
        module.setOutput(NoiseModule::Noise, out.data());
        std::vector<float> rendered;
        for (int block : {5, 64, 1, 187}) {
            module.process(block);
            rendered.insert(rendered.end(), out.begin(), out.begin() + block);
            if (colourCv)
                module.setInput(NoiseModule::ColourModulation, colourCv += block);
        }
        NoiseModule::seedRandom(99);
        double y1 = 0.0, y2 = 0.0, offset1 = 1e-5, offset2 = 1e-5;
        for (std::size_t i = 0; i < rendered.size(); ++i) {
            const double a =
                modulated ? std::clamp(0.3 + 0.5 * modulation[i], 0.0, 1.0) : double(0.3f);
            const double white =
                (6.0 * 10923.0 * (NoiseModule::random() / 32767.0) - 3.0 * 10922.0) * 3.0518509e-5;
            y1 += a * (white + offset1 - y1);
            y2 += a * (y1 + offset2 - y2);
            offset1 = -offset1;
            offset2 = -offset2;
            ASSERT_NEAR(rendered[i], y2, 1e-6) << "sample " << i << (modulated ? " modulated" : "");
        }
    }
}

TEST(Noise, GeneratorIsTheFifteenBitCongruentialOne) {
    NoiseModule::seedRandom(0);
    EXPECT_EQ(NoiseModule::random(), 38);
    EXPECT_EQ(NoiseModule::random(), 7719);
    EXPECT_EQ(NoiseModule::random(), 21238);
    EXPECT_EQ(noise(1.0f, 1000), noise(1.0f, 1000)); // a seed repeats the noise exactly
}

TEST(Noise, BlocksOfAnySizeMakeTheSameNoise) {
    const std::vector<float> whole = noise(0.6f, 1000);
    for (int block : {1, 64, 333}) {
        NoiseModule::seedRandom(12345);
        NoiseModule module;
        module.setColour(0.6f);
        std::vector<float> out(1000);
        for (int done = 0; done < 1000; done += block) {
            module.setOutput(NoiseModule::Noise, out.data() + done);
            module.process(std::min(block, 1000 - done));
        }
        EXPECT_EQ(out, whole) << block;
    }
}

TEST(Noise, ColourDarkensTheSpectrum) {
    const std::vector<float> white = noise(1.0f, 100000);
    EXPECT_NEAR(neighbourCorrelation(white), 0.0, 0.02);
    EXPECT_NEAR(highToAll(white), 2.0, 0.05);
    EXPECT_NEAR(rms(white), 1.0 / std::sqrt(3.0), 0.01);

    const std::vector<float> dark = noise(0.05f, 100000);
    EXPECT_GT(neighbourCorrelation(dark), 0.95);
    EXPECT_LT(highToAll(dark), 0.05);

    // Each step of colour darkens a bit more.
    double previous = highToAll(white);
    for (float colour : {0.7f, 0.4f, 0.2f, 0.1f}) {
        const double tilt = highToAll(noise(colour, 50000));
        EXPECT_LT(tilt, previous) << colour;
        previous = tilt;
    }
}

TEST(Noise, ColourZeroFreezesAndModulationOpensIt) {
    const std::vector<float> frozen = noise(0.0f, 1000);
    for (float x : frozen)
        ASSERT_LT(std::fabs(x), 1e-4f);

    std::vector<float> open(20000, 2.0f); // +0.5 x 2 opens it fully
    EXPECT_NEAR(neighbourCorrelation(noise(0.0f, 20000, open.data())), 0.0, 0.03);
    std::vector<float> closed(20000, -2.0f); // and limits at 0
    for (float x : noise(0.5f, 20000, closed.data()))
        ASSERT_LT(std::fabs(x), 1e-4f);
}

struct Attenuated {
    std::vector<float> eighth, half, variable, last;
};

Attenuated attenuate(AttenuatorModule& module, const std::vector<float>& in) {
    const size_t n = in.size();
    Attenuated out{std::vector<float>(n), std::vector<float>(n), std::vector<float>(n),
                   std::vector<float>(n)};
    module.setInput(AttenuatorModule::Signal, in.data());
    module.setOutput(AttenuatorModule::Eighth, out.eighth.data());
    module.setOutput(AttenuatorModule::Half, out.half.data());
    module.setOutput(AttenuatorModule::Variable, out.variable.data());
    module.setOutput(AttenuatorModule::BiasOrLag, out.last.data());
    module.process(static_cast<int>(n));
    return out;
}

TEST(Attenuator, GainsAndBias) {
    const std::vector<float> in = {-1.0f, -0.5f, 0.0f, 0.5f, 1.0f};
    AttenuatorModule module;
    Attenuated out = attenuate(module, in);
    for (size_t i = 0; i < in.size(); ++i) {
        EXPECT_FLOAT_EQ(out.eighth[i], in[i] / 8);
        EXPECT_FLOAT_EQ(out.half[i], in[i] / 2);
        EXPECT_FLOAT_EQ(out.variable[i], 0.75f * in[i]);   // the "3/4" output as built
        EXPECT_FLOAT_EQ(out.last[i], 0.5f + 0.5f * in[i]); // bias 0.5: -1..1 to 0..1
    }
    module.setBias(0.0f);
    module.setVariable(-2.0f);
    out = attenuate(module, in);
    for (size_t i = 0; i < in.size(); ++i) {
        EXPECT_FLOAT_EQ(out.last[i], 2 * in[i] - 1);
        EXPECT_FLOAT_EQ(out.variable[i], -2 * in[i]);
    }
    // A cable from an output back into the input: within the block every output is still made
    // from the input as it arrived.
    for (int output : {AttenuatorModule::Eighth, AttenuatorModule::Half}) {
        std::vector<float> block = in, other(in.size()), lagged(in.size());
        module.setInput(AttenuatorModule::Signal, block.data());
        module.setOutput(output, block.data());
        module.setOutput(AttenuatorModule::Eighth + AttenuatorModule::Half - output, other.data());
        module.setOutput(AttenuatorModule::Variable, nullptr); // no cable: left alone
        module.setOutput(AttenuatorModule::BiasOrLag, lagged.data());
        module.process(static_cast<int>(in.size()));
        for (size_t i = 0; i < in.size(); ++i) {
            const bool half = output == AttenuatorModule::Half;
            EXPECT_FLOAT_EQ(block[i], (half ? 0.5f : 0.125f) * in[i]);
            EXPECT_FLOAT_EQ(other[i], (half ? 0.125f : 0.5f) * in[i]);
            EXPECT_FLOAT_EQ(lagged[i], 2 * in[i] - 1);
        }
    }
    // Nothing connected: every output silent.
    out = attenuate(module, in);
    module.setInput(AttenuatorModule::Signal, nullptr);
    for (std::vector<float>* block : {&out.eighth, &out.half, &out.variable, &out.last})
        block->assign(5, 9.0f);
    module.process(5);
    for (const std::vector<float>& block : {out.eighth, out.half, out.variable, out.last})
        EXPECT_EQ(block, std::vector<float>(5, 0.0f));
}

TEST(Attenuator, LagFollowsInItsTime) {
    for (float rate : {44100.0f, 48000.0f}) {
        AttenuatorModule module;
        module.setSampleRate(rate);
        module.setLag(true);
        module.setLagTime(0.5f); // 90 % in e^(2 - 4) s
        const Attenuated out = attenuate(module, std::vector<float>(20000, 1.0f));
        const double reached = samplesUntil(out.last, 0, [](float x) { return x >= 0.9f; });
        EXPECT_NEAR(reached / (rate * std::exp(-2.0)), 1.0, 0.01) << rate;
        EXPECT_FLOAT_EQ(out.half[0], 0.5f); // the other outputs do not lag
    }
}

TEST(Inverter, BothModes) {
    const std::vector<float> in = {-1.0f, 0.0f, 0.25f, 1.0f, 2.0f};
    std::vector<float> out(in.size());
    InverterModule inverter;
    inverter.setInput(InverterModule::Signal, in.data());
    inverter.setOutput(InverterModule::Inverted, out.data());
    inverter.process(5);
    EXPECT_EQ(out, (std::vector<float>{1.0f, -0.0f, -0.25f, -1.0f, -2.0f}));
    inverter.setMode(true);
    inverter.process(5);
    EXPECT_EQ(out, (std::vector<float>{1.0f, 1.0f, 0.75f, 0.0f, 0.0f}));
    inverter.setInput(InverterModule::Signal, nullptr);
    inverter.process(5);
    EXPECT_EQ(out, std::vector<float>(5, 0.0f));
}

TEST(EnvFollower, RisesAndFallsInTheirTimes) {
    EnvFollowerModule follower;
    follower.setTimes(0.5f, 0.5f, 44100.0f); // rise in e^-2.5 s, fall in e^-2 s (90 %)
    std::vector<float> in(20000), out(20000);
    for (size_t i = 0; i < 10000; ++i)
        in[i] = i % 2 == 0 ? 1.0f : -1.0f; // rectified, a full-scale square is a constant 1
    follower.setInput(EnvFollowerModule::Signal, in.data());
    follower.setOutput(EnvFollowerModule::Envelope, out.data());
    follower.process(20000);
    const double rise = samplesUntil(out, 0, [](float x) { return x >= 0.9f; });
    EXPECT_NEAR(rise / (44100 * std::exp(-2.5)), 1.0, 0.02);
    EXPECT_NEAR(out[9999], 1.0f, 3e-3f);
    const double fall = samplesUntil(out, 10000, [](float x) { return x <= 0.1f; });
    EXPECT_NEAR(fall / (44100 * std::exp(-2.0)), 1.0, 0.02);

    // At a low host rate the shortest times ask for more than one step per sample; the
    // follower then reaches the level at once instead of overshooting and running away.
    follower.setTimes(0.0f, 0.0f, 8000.0f);
    follower.process(20000);
    for (float x : out)
        ASSERT_LE(x, 1.0001f);
    EXPECT_LE(decayCoefficient(0.0f, 8000.0f), 1.0f);
}

TEST(SmootherAndMultiplier, ChannelsGlideIndependently) {
    SmootherModule smoother;
    std::vector<float> blocks[4];
    for (int k = 0; k < 4; ++k) {
        blocks[k].resize(1000);
        smoother.setOutput(k, blocks[k].data());
        smoother.setTarget(k, static_cast<float>(k));
        smoother.setCoefficient(k, 0.01f);
    }
    smoother.setCoefficient(3, 1.0f); // jumps, as after a patch change
    smoother.process(1000);
    EXPECT_NEAR(blocks[3][0], 3.0f, 1e-4f);
    EXPECT_NEAR(blocks[0][999], 0.0f, 1e-4f);
    // 90 % of the way in ln 10 / c samples.
    EXPECT_NEAR(samplesUntil(blocks[2], 0, [](float x) { return x >= 1.8f; }), 230, 2);
    EXPECT_NEAR(smoother.value(1), 1.0f, 1e-3f);

    // A settled channel writes its block once; a longer slice, a moved target, a reset and
    // another block all still get every sample written.
    std::vector<float> other(1000, -7.0f);
    smoother.process(100);
    std::fill(blocks[3].begin() + 100, blocks[3].end(), -7.0f);
    smoother.process(1000);
    EXPECT_EQ(blocks[3][999], blocks[3][0]);
    smoother.setTarget(3, 5.0f);
    smoother.process(10);
    EXPECT_NEAR(blocks[3][9], 5.0f, 1e-4f);
    smoother.reset();
    smoother.setTarget(3, 0.0f);
    smoother.process(1000);
    EXPECT_EQ(blocks[3][999], 0.0f);
    smoother.setOutput(3, other.data());
    smoother.process(1000);
    EXPECT_EQ(other[999], 0.0f);

    const std::vector<float> a = {1.0f, -2.0f, 0.5f}, b = {3.0f, 4.0f, -1.0f};
    std::vector<float> product(3);
    MultiplierModule multiplier;
    multiplier.setInput(MultiplierModule::First, a.data());
    multiplier.setInput(MultiplierModule::Second, b.data());
    multiplier.setOutput(MultiplierModule::Product, product.data());
    multiplier.process(3);
    EXPECT_EQ(product, (std::vector<float>{3.0f, -8.0f, -0.5f}));
}

} // namespace
} // namespace treskpro
