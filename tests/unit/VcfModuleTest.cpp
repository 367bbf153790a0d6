// The filter measured as a listener hears it: tones and noise through every model, the level two
// octaves above the corner, the slope, the resonance peak, the resonance easing on cutoff jumps,
// and the filter driven hard for seconds without blowing up.
#include "engine/VcfModule.h"
#include "engine/Dsp.h"
#include "engine/FilterTables.h"
#include "engine/HalfbandFir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <complex>
#include <cstdio>
#include <limits>
#include <random>
#include <vector>

namespace treskpro {
namespace {

using Signal = std::vector<float>;

constexpr double sampleRate = 44100.0;
constexpr double pi = 3.14159265358979323846;
constexpr std::size_t settle = 11025; // a quarter second for the filter to reach its steady state

Signal sine(std::size_t length, double hz, double amplitude) {
    Signal signal(length);
    for (std::size_t i = 0; i < length; ++i)
        signal[i] = static_cast<float>(
            amplitude * std::sin(2.0 * pi * hz * static_cast<double>(i) / sampleRate));
    return signal;
}

Signal whiteNoise(std::size_t length, float amplitude, unsigned seed) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> uniform(-amplitude, amplitude);
    Signal signal(length);
    for (float& sample : signal)
        sample = uniform(generator);
    return signal;
}

VcfModule filterFor(int model, float resonance) {
    VcfModule filter;
    filter.setModel(model);
    filter.setResonanceAmount(resonance);
    return filter;
}

// Runs the signals through the filter in blocks whose lengths cycle through `lengths`, the way
// the voice calls it, with scratch blocks of the voice's or (wireScratch false) none.
Signal render(VcfModule& filter, const Signal& audio, const Signal& cutoff, const Signal& resonance,
              const std::vector<std::size_t>& lengths = {256}, bool wireScratch = true) {
    Signal out(audio.size());
    const std::size_t longest = *std::max_element(lengths.begin(), lengths.end());
    std::vector<float> scratch(4 * longest);
    if (wireScratch) {
        filter.setScratch(&scratch[0], &scratch[longest], &scratch[2 * longest],
                          &scratch[3 * longest]);
    } else {
        filter.setScratch(nullptr, nullptr, nullptr, nullptr);
    }
    std::size_t block = 0;
    for (std::size_t start = 0; start < audio.size(); ++block) {
        const std::size_t n = std::min(lengths[block % lengths.size()], audio.size() - start);
        filter.setInput(VcfModule::Audio, audio.data() + start);
        filter.setInput(VcfModule::Cutoff, cutoff.data() + start);
        filter.setInput(VcfModule::Resonance, resonance.data() + start);
        filter.setOutput(VcfModule::Filtered, out.data() + start);
        filter.process(static_cast<int>(n));
        start += n;
    }
    filter.setScratch(nullptr, nullptr, nullptr, nullptr);
    return out;
}

Signal renderSteady(int model, float control, float resonance, const Signal& audio) {
    VcfModule filter = filterFor(model, resonance);
    return render(filter, audio, Signal(audio.size(), control), Signal(audio.size(), resonance));
}

double cutoffCoefficient(float control) {
    return 1.4 * interpolate(cutoffTable().data(), cutoffTableSize, control * 1024.0);
}

// The ladder's corner: a stage of coefficient A turns at A radians per step; the oversampled
// model steps twice per sample.
double cornerHz(int model, float control) {
    const double steps = model == VcfModule::Oversampled24dBSO ? 2.0 : 1.0;
    return cutoffCoefficient(control) * steps * sampleRate / (2.0 * pi);
}

double powerWithoutDc(const Signal& signal, std::size_t from) {
    double sum = 0.0;
    double squares = 0.0;
    for (std::size_t i = from; i < signal.size(); ++i) {
        sum += signal[i];
        squares += static_cast<double>(signal[i]) * signal[i];
    }
    const double count = static_cast<double>(signal.size() - from);
    return squares / count - (sum / count) * (sum / count);
}

// Level of a steady tone after the filter relative to before it, in dB.
double toneGainDb(int model, float control, float resonance, double hz) {
    const Signal tone = sine(3 * settle, hz, 0.05);
    const Signal out = renderSteady(model, control, resonance, tone);
    return 10.0 * std::log10(powerWithoutDc(out, settle) / powerWithoutDc(tone, settle));
}

void fft(std::vector<std::complex<double>>& data) {
    const std::size_t n = data.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(data[i], data[j]);
    }
    for (std::size_t length = 2; length <= n; length <<= 1) {
        const std::complex<double> turn = std::polar(1.0, -2.0 * pi / static_cast<double>(length));
        for (std::size_t i = 0; i < n; i += length) {
            std::complex<double> w = 1.0;
            for (std::size_t k = 0; k < length / 2; ++k, w *= turn) {
                const std::complex<double> odd = w * data[i + k + length / 2];
                data[i + k + length / 2] = data[i + k] - odd;
                data[i + k] += odd;
            }
        }
    }
}

// Mean spectral power between two frequencies: Hann-windowed, half-overlapping segments.
double bandPower(const Signal& signal, std::size_t from, double lowHz, double highHz) {
    constexpr std::size_t segment = 8192;
    const double binHz = sampleRate / segment;
    const auto low = static_cast<std::size_t>(std::ceil(lowHz / binHz));
    const auto high = static_cast<std::size_t>(std::floor(highHz / binHz));
    double power = 0.0;
    std::vector<std::complex<double>> data(segment);
    for (std::size_t start = from; start + segment <= signal.size(); start += segment / 2) {
        for (std::size_t i = 0; i < segment; ++i) {
            const double window = 0.5 - 0.5 * std::cos(2.0 * pi * static_cast<double>(i) / segment);
            data[i] = window * signal[start + i];
        }
        fft(data);
        for (std::size_t bin = low; bin <= high; ++bin)
            power += std::norm(data[bin]);
    }
    return power / static_cast<double>(high - low + 1);
}

// How far the band around the corner stands above the passband for white noise in, in dB.
double resonancePeakDb(int model, float control, float resonance) {
    const Signal noise = whiteNoise(4 * settle, 0.1f, 7);
    const Signal out = renderSteady(model, control, resonance, noise);
    const double corner = cornerHz(model, control);
    return 10.0 *
           std::log10(bandPower(out, settle, corner / std::sqrt(2.0), corner * std::sqrt(2.0)) /
                      bandPower(out, settle, corner / 8.0, corner / 4.0));
}

// The filter written out step by step, slow and plain: one Runge-Kutta step per stage, the
// pre-pass as its own loop, every formula as designed. The fast path must agree with it.
class ReferenceFilter {
public:
    ReferenceFilter(int modelIndex, double resonanceAmount)
        : model(modelIndex), k(resonanceAmount) {}

    Signal run(const Signal& audio, const Signal& cutoff, const Signal& resonance) {
        const std::size_t n = audio.size();
        std::vector<double> coefficient(n), factor(n), gain(n), q(n);
        for (std::size_t i = 0; i < n; ++i) {
            const double a = coefficientAt(cutoff[i]);
            q[i] = resonance[i];
            coefficient[i] = static_cast<float>(a);
            factor[i] =
                static_cast<float>(4.0 * table(resonanceTable().data(), a) * q[i] + 1 - q[i]);
            gain[i] = static_cast<float>(q[i] * table(gainTable().data(), a) + 1.2 * (1 - q[i]));
            w = q[i];
        }
        Signal out(n);
        for (std::size_t i = 0; i < n; ++i) {
            const double in = audio[i];
            const double c = cutoff[i];
            if (model == 2 || model == 3) {
                const double a = coefficient[i];
                const double scale = model == 2 ? w * factor[i] : q[i] * factor[i];
                ladder(2 * in - fb * scale + flip(offsets[0]), a);
                if (model == 2) {
                    fb = y[3];
                    out[i] = static_cast<float>(y[2] * gain[i] * (1 + 0.52 * a));
                } else {
                    fb = clip((1 - a) * (2 - a) * y[3] + 1.032 * a * y[3]);
                    out[i] = static_cast<float>(gain[i] * (a * y[2] + (1 - a) * y[3]));
                }
                continue;
            }
            s = s + 0.1 * (c + flip(cutoffOffset) - s);
            w = k * (1 - std::fabs(c - s));
            const double a = coefficientAt(c);
            const double r = table(resonanceTable().data(), a);
            const double m = w * table(gainTable().data(), a) + (1 - w) * 0.8;
            if (model == 5) {
                const double u1 = up.push(2 * in);
                ladder(2 * u1 - fb * w * 4 * r + flip(offsets[0]), a);
                fb = a * y[3] + (1 - a) * clip((2 - a) * y[3]);
                down.push(a * y[2] + (1 - a) * y[3]);
                const double u2 = up.push(0.0);
                ladder(2 * u2 - fb * w * 4 * r + flip(offsets[0]), a);
                fb = a * y[3] + (1 - a) * clip((2 - a) * y[3]);
                out[i] = static_cast<float>(down.push(a * y[2] + (1 - a) * y[3]) * m);
                continue;
            }
            ladder(2 * in - w * fb * 4 * r + flip(offsets[0]), a);
            if (model == 0) {
                fb = y[3];
                out[i] = static_cast<float>(y[3] * m * (1 + 0.52 * a));
                continue;
            }
            if (model == 4) {
                const double v = 1.032 * a * y[3] + (1 - a) * (2 - a) * y[3];
                fb = interpolate(saturationTable().data(), saturationTableSize,
                                 (v * 0.125 + 0.5) * 1023);
            } else {
                fb = y[3];
            }
            out[i] = static_cast<float>((a * y[2] + (1 - a) * y[3]) * m);
        }
        return out;
    }

private:
    static double flip(double& offset) {
        const double value = offset;
        offset = -offset;
        return value;
    }
    static double coefficientAt(double control) {
        return interpolate(cutoffTable().data(), cutoffTableSize, control * 1024) * 0.7 * 2 * 1.0;
    }
    static double table(const float* values, double a) {
        return interpolate(values, compensationTableSize, 256 * a);
    }
    static double clip(double v) {
        if (v < -3)
            return -1;
        if (v > 3)
            return 1;
        return v * (v * v + 27) / (9 * v * v + 27);
    }
    static void stage(double u, double& y, double a) {
        const double e = u - y;
        const double k1 = a * e;
        const double k2 = a * (e - k1 / 2);
        const double k3 = a * (e - k2 / 2);
        const double k4 = a * (e - k3);
        y += (k1 + 2 * k2 + 2 * k3 + k4) / 6;
    }
    void ladder(double x, double a) {
        stage(x, y[0], a);
        stage(y[0] + flip(offsets[1]), y[1], a);
        stage(y[1] + flip(offsets[2]), y[2], a);
        stage(y[2] + flip(offsets[3]), y[3], a);
    }

    int model;
    double k;
    double y[4] = {};
    double offsets[4] = {1e-5, 1e-5, 1e-5, 1e-5};
    double s = 0.0;
    double cutoffOffset = 1e-5;
    double w = 0.0;
    double fb = 0.0;
    HalfbandFir up;
    HalfbandFir down;
};

TEST(VcfModule, AgreesWithThePlainStepByStepFilter) {
    constexpr std::size_t length = 4000;
    const Signal noise = whiteNoise(length, 0.5f, 21);
    Signal sweep(length);
    Signal resonance(length);
    for (std::size_t i = 0; i < length; ++i) {
        const double t = static_cast<double>(i) / sampleRate;
        sweep[i] = static_cast<float>(0.5 + 0.45 * std::sin(2.0 * pi * 5.0 * t));
        resonance[i] = static_cast<float>(0.5 + 0.3 * std::sin(2.0 * pi * 3.0 * t));
    }
    for (int model = 0; model < VcfModule::modelCount; ++model) {
        VcfModule filter = filterFor(model, 0.6f);
        const Signal fast = render(filter, noise, sweep, resonance, {length});
        const Signal plain = ReferenceFilter(model, 0.6).run(noise, sweep, resonance);
        double largest = 0.0;
        for (std::size_t i = 0; i < length; ++i)
            largest = std::max(largest, static_cast<double>(std::fabs(fast[i] - plain[i])));
        EXPECT_LT(largest, 1e-5) << "model " << model;
    }
}

TEST(VcfModule, EveryModelIsALowPass) {
    for (int model = 0; model < VcfModule::modelCount; ++model) {
        for (float control : {0.3f, 0.6f}) {
            for (float resonance : {0.0f, 0.5f}) {
                const double corner = cornerHz(model, control);
                const double pass = toneGainDb(model, control, resonance, corner / 4.0);
                const double stop = toneGainDb(model, control, resonance, corner * 4.0);
                EXPECT_GT(pass - stop, 24.0)
                    << "model " << model << " cutoff " << control << " resonance " << resonance;
            }
        }
        // Near the top of the range the corner is beyond 5 kHz; 20 kHz still falls away.
        const double pass = toneGainDb(model, 0.9f, 0.0f, cornerHz(model, 0.9f) / 4.0);
        EXPECT_GT(pass - toneGainDb(model, 0.9f, 0.0f, 20000.0), 15.0) << "model " << model;
    }
}

TEST(VcfModule, TwentyFourDbModelsFallFasterThanEighteenDb) {
    const auto octaveSlope = [](int model, float control) {
        const double corner = cornerHz(model, control);
        return toneGainDb(model, control, 0.0f, corner * 4.0) -
               toneGainDb(model, control, 0.0f, corner * 8.0);
    };
    // Three octaves above the corner: four stages against three.
    EXPECT_NEAR(octaveSlope(VcfModule::Classic24dB, 0.3f), 23.0, 2.0);
    EXPECT_NEAR(octaveSlope(VcfModule::Slope24dBSO, 0.3f), 23.0, 2.0);
    EXPECT_NEAR(octaveSlope(VcfModule::Slope18dB, 0.3f), 17.5, 2.0);
    // The classic 18dB model mixes in the third stage as the coefficient grows.
    EXPECT_LT(octaveSlope(VcfModule::Classic18dB, 0.6f),
              octaveSlope(VcfModule::Classic24dB, 0.6f) - 2.0);
}

TEST(VcfModule, ResonancePeakGrowsWithResonance) {
#ifdef _WIN32
    const std::initializer_list<float> controls = {0.6f}; // spectra are slow under emulation
#else
    const std::initializer_list<float> controls = {0.3f, 0.6f};
#endif
    for (int model = 0; model < VcfModule::modelCount; ++model) {
        for (float control : controls) {
            const double none = resonancePeakDb(model, control, 0.0f);
            const double half = resonancePeakDb(model, control, 0.5f);
            const double full = resonancePeakDb(model, control, 1.0f);
            EXPECT_GT(half, none + 3.0) << "model " << model << " cutoff " << control;
            EXPECT_GT(full, half + 3.0) << "model " << model << " cutoff " << control;
        }
    }
}

TEST(VcfModule, WithoutResonanceTheModelsKeepTheirPlainGains) {
    // Settled on a constant input the ladder passes it whole; what remains is the output gain.
    const float control = 0.5f;
    const double a = cutoffCoefficient(control);
    const Signal level(4000, 0.1f);
    const Signal classic = renderSteady(VcfModule::Classic24dB, control, 0.0f, level);
    EXPECT_NEAR(classic.back(), 0.1 * 2.0 * 0.8 * (1.0 + 0.52 * a), 1e-4);
    const Signal so = renderSteady(VcfModule::Slope24dBSO, control, 0.0f, level);
    EXPECT_NEAR(so.back(), 0.1 * 2.0 * 1.2, 1e-4);
}

TEST(VcfModule, PrePassFillsTheVoicesScratchBlocks) {
    VcfModule filter = filterFor(VcfModule::Slope24dBSO, 0.0f);
    const Signal silence(8, 0.0f);
    std::vector<float> scratch(32, -1.0f);
    Signal out(8);
    filter.setScratch(&scratch[0], &scratch[8], &scratch[16], &scratch[24]);
    filter.setInput(VcfModule::Audio, silence.data());
    filter.setInput(VcfModule::Cutoff, silence.data());
    filter.setInput(VcfModule::Resonance, silence.data());
    filter.setOutput(VcfModule::Filtered, out.data());
    filter.process(8);
    EXPECT_NEAR(scratch[0], 0.0056, 5e-5); // the lowest cutoff still passes the lowest notes
    EXPECT_FLOAT_EQ(scratch[8], 1.0f);     // no resonance: feedback factor 1
    EXPECT_FLOAT_EQ(scratch[16], 1.2f);    // and output gain 1.2
    EXPECT_FLOAT_EQ(scratch[24], 0.0f);
    EXPECT_FLOAT_EQ(scratch[31], 0.0f);
}

TEST(VcfModule, CutoffJumpEasesTheResonanceOfTheClassicModelsOnly) {
    // Both filters rest in silence, one at the new cutoff, one far below it; then the cutoff is
    // at 0.6 for both and an impulse rings the ladder. Resonances stay below self-oscillation.
    const float resonances[] = {1.0f, 1.0f, 1.0f, 0.5f, 0.5f, 0.5f};
    const auto ringEnergy = [](int model, float resonance, float restingCutoff) {
        constexpr std::size_t rest = 4000;
        Signal audio(rest + 200, 0.0f);
        audio[rest] = 1.0f;
        Signal cutoff(audio.size(), 0.6f);
        std::fill(cutoff.begin(), cutoff.begin() + rest, restingCutoff);
        VcfModule filter = filterFor(model, resonance);
        const Signal out = render(filter, audio, cutoff, Signal(audio.size(), resonance));
        double energy = 0.0;
        for (std::size_t i = rest; i < out.size(); ++i)
            energy += static_cast<double>(out[i]) * out[i];
        return energy;
    };
    for (int model = 0; model < VcfModule::modelCount; ++model) {
        const float resonance = resonances[model];
        const double ratio =
            ringEnergy(model, resonance, 0.0f) / ringEnergy(model, resonance, 0.6f);
        if (model == VcfModule::Slope18dB || model == VcfModule::Slope24dBSO) {
            EXPECT_NEAR(ratio, 1.0, 0.005) << "model " << model;
        } else {
            EXPECT_LT(ratio, 0.97) << "model " << model;
        }
    }
}

TEST(VcfModule, EighteenDbModelHoldsTheBlocksLastResonance) {
    // Resonance rises only at the block's last sample: the 18dB/octave model feeds back over the
    // whole block, the 24dBSO model only from that sample on.
    const Signal noise = whiteNoise(256, 0.5f, 3);
    const Signal cutoff(256, 0.5f);
    const Signal flat(256, 0.0f);
    Signal rising = flat;
    rising.back() = 1.0f;
    for (int model : {VcfModule::Slope18dB, VcfModule::Slope24dBSO}) {
        VcfModule steady = filterFor(model, 0.0f);
        VcfModule risen = filterFor(model, 0.0f);
        const Signal a = render(steady, noise, cutoff, flat);
        const Signal b = render(risen, noise, cutoff, rising);
        double largest = 0.0;
        for (std::size_t i = 0; i + 1 < a.size(); ++i)
            largest = std::max(largest, static_cast<double>(std::fabs(a[i] - b[i])));
        if (model == VcfModule::Slope18dB) {
            EXPECT_GT(largest, 1e-3);
        } else {
            EXPECT_EQ(largest, 0.0);
        }
    }
}

TEST(VcfModule, OversampledModelIsSilentOnSilence) {
    // Only the denormal offsets reach the output, far below hearing.
    const Signal silence(44100, 0.0f);
    for (float resonance : {0.0f, 0.5f}) {
        for (float control : {0.0f, 0.3f, 0.6f, 0.9f, 0.966f}) {
            const Signal out =
                renderSteady(VcfModule::Oversampled24dBSO, control, resonance, silence);
            float peak = 0.0f;
            for (float sample : out)
                peak = std::max(peak, std::fabs(sample));
            EXPECT_LT(peak, 2e-5f) << "cutoff " << control << " resonance " << resonance;
        }
    }
}

TEST(VcfModule, StaysFiniteAndBoundedWhenDrivenHard) {
#ifdef _WIN32
    constexpr std::size_t length = 44100; // one second under emulation
#else
    constexpr std::size_t length = 441000;
#endif
    const Signal noise = whiteNoise(length, 1.0f, 11);
    Signal square(length);
    for (std::size_t i = 0; i < length; ++i)
        square[i] = (i / 100) % 2 != 0 ? 1.0f : -1.0f; // 220 Hz
    const Signal wideOpen(length, 0.966f);
    Signal jumping(length, 0.966f); // closed, then wide open, twice a second
    for (std::size_t i = 0; i < length; ++i) {
        if ((i / 22050) % 2 == 0)
            jumping[i] = 0.0f;
    }
    const Signal fullResonance(length, 1.0f);

    std::printf("peak |output| at resonance 1.0: noise, square; cutoff 0.966, then jumping\n");
    for (int model = 0; model < VcfModule::modelCount; ++model) {
        std::printf("  model %d:", model);
        for (const Signal* cutoff : std::initializer_list<const Signal*>{&wideOpen, &jumping}) {
            for (const Signal* audio : std::initializer_list<const Signal*>{&noise, &square}) {
                VcfModule filter = filterFor(model, 1.0f);
                const Signal out = render(filter, *audio, *cutoff, fullResonance);
                float peak = 0.0f;
                for (float sample : out) {
                    ASSERT_TRUE(std::isfinite(sample)) << "model " << model;
                    peak = std::max(peak, std::fabs(sample));
                }
                std::printf(" %7.2f", static_cast<double>(peak));
                EXPECT_LT(peak, 150.0f) << "model " << model;
            }
        }
        std::printf("\n");
    }
}

TEST(VcfModule, RecoversFromInputFarBeyondFullScaleAndFromNaN) {
    // Ten thousand times full scale at the top of the range, then silence with the cutoff
    // lowered: the ladder neither overflows nor stays in a runaway; at most the model's own
    // self-oscillation is left.
    constexpr std::size_t loudLength = 8820;
    constexpr std::size_t length = 3 * loudLength;
    Signal loud(length, 0.0f);
    for (std::size_t i = 0; i < loudLength; ++i)
        loud[i] = (i / 50) % 2 != 0 ? 1e4f : -1e4f;
    Signal cutoff(length, 0.6f);
    std::fill(cutoff.begin(), cutoff.begin() + loudLength, 0.966f);
    for (int model = 0; model < VcfModule::modelCount; ++model) {
        VcfModule filter = filterFor(model, 1.0f);
        const Signal out = render(filter, loud, cutoff, Signal(length, 1.0f));
        ASSERT_TRUE(std::all_of(out.begin(), out.end(), [](float v) { return std::isfinite(v); }))
            << "model " << model;
        float tail = 0.0f;
        for (std::size_t i = 2 * loudLength; i < length; ++i)
            tail = std::max(tail, std::fabs(out[i]));
        EXPECT_LT(tail, 5.0f) << "model " << model;
    }

    // One NaN in the input costs at most the blocks it passes through.
    Signal noise = whiteNoise(1024, 0.5f, 17);
    noise[100] = std::numeric_limits<float>::quiet_NaN();
    for (int model = 0; model < VcfModule::modelCount; ++model) {
        VcfModule filter = filterFor(model, 0.5f);
        const Signal out = render(filter, noise, Signal(1024, 0.6f), Signal(1024, 0.5f), {256});
        EXPECT_TRUE(
            std::all_of(out.begin() + 512, out.end(), [](float v) { return std::isfinite(v); }))
            << "model " << model;
    }
}

TEST(VcfModule, OutputDoesNotDependOnBlockSize) {
    // With the resonance held, the cut into blocks and the voice's scratch make no difference.
    constexpr std::size_t length = 3000;
    const Signal noise = whiteNoise(length, 0.5f, 5);
    Signal sweep(length);
    for (std::size_t i = 0; i < length; ++i)
        sweep[i] = static_cast<float>(
            0.5 + 0.45 * std::sin(2.0 * pi * 3.0 * static_cast<double>(i) / sampleRate));
    const Signal resonance(length, 0.7f);
    for (int model = 0; model < VcfModule::modelCount; ++model) {
        VcfModule whole = filterFor(model, 0.7f);
        const Signal reference = render(whole, noise, sweep, resonance, {length});
        for (const std::vector<std::size_t>& lengths :
             std::vector<std::vector<std::size_t>>{{1}, {64}, {7, 100, 1, 256}}) {
            VcfModule split = filterFor(model, 0.7f);
            EXPECT_EQ(render(split, noise, sweep, resonance, lengths), reference)
                << "model " << model << " blocks of " << lengths.front();
        }
        VcfModule ownScratch = filterFor(model, 0.7f);
        EXPECT_EQ(render(ownScratch, noise, sweep, resonance, {length}, false), reference)
            << "model " << model << " without scratch";
    }
}

TEST(VcfModule, FiltersSideBySideGiveWhatEachGivesAlone) {
    // Voices render their filters in groups of up to four: each voice must sound as it does
    // alone, whatever the others play, including a NaN that restarts only its own filter, and
    // whichever of them runs another model.
    constexpr std::size_t length = 2000;
    constexpr std::size_t group = VcfModule::groupSize;
    std::vector<Signal> noise, sweep, resonance;
    for (std::size_t k = 0; k < group; ++k) {
        noise.push_back(whiteNoise(length, 0.5f + 0.5f * static_cast<float>(k), 8 + int(k)));
        sweep.emplace_back(length);
        resonance.emplace_back(length, 0.9f);
        for (std::size_t i = 0; i < length; ++i) {
            const double t = static_cast<double>(i) / sampleRate;
            const double rate = 4.0 + 5.0 * static_cast<double>(k);
            sweep[k][i] = static_cast<float>(0.5 + 0.4 * std::sin(2.0 * pi * rate * t));
            if (k % 2 == 0)
                resonance[k][i] = static_cast<float>(0.5 + 0.4 * std::sin(2.0 * pi * 2.0 * t));
        }
    }
    noise[1][900] = std::nanf("");
    const std::vector<std::size_t> lengths = {7, 100, 1, 256};
    for (std::size_t members : {std::size_t{2}, group}) {
        // `other`: the filter on another model; none at `members`.
        for (std::size_t other = 0; other <= members; ++other) {
            const auto modelOf = [&](std::size_t k) {
                return k == other ? VcfModule::Classic24dB : VcfModule::Slope24dBSO;
            };
            std::vector<VcfModule> alone, together;
            std::vector<Signal> expected, out;
            for (std::size_t k = 0; k < members; ++k) {
                alone.push_back(filterFor(modelOf(k), 0.6f));
                together.push_back(filterFor(modelOf(k), 0.6f));
                out.emplace_back(length);
            }
            for (std::size_t k = 0; k < members; ++k)
                expected.push_back(render(alone[k], noise[k], sweep[k], resonance[k], lengths));
            std::vector<float> scratch(members * 1024);
            std::vector<VcfModule*> filters;
            for (std::size_t k = 0; k < members; ++k) {
                together[k].setScratch(&scratch[1024 * k], &scratch[1024 * k + 256],
                                       &scratch[1024 * k + 512], &scratch[1024 * k + 768]);
                filters.push_back(&together[k]);
            }
            std::size_t block = 0;
            for (std::size_t start = 0; start < length; ++block) {
                const std::size_t n = std::min(lengths[block % lengths.size()], length - start);
                for (std::size_t k = 0; k < members; ++k) {
                    together[k].setInput(VcfModule::Audio, noise[k].data() + start);
                    together[k].setInput(VcfModule::Cutoff, sweep[k].data() + start);
                    together[k].setInput(VcfModule::Resonance, resonance[k].data() + start);
                    together[k].setOutput(VcfModule::Filtered, out[k].data() + start);
                }
                VcfModule::processGroup(filters.data(), static_cast<int>(members),
                                        static_cast<int>(n));
                start += n;
            }
            for (std::size_t k = 0; k < members; ++k) {
                // The block that met the NaN gives NaN in both, sample for sample. The fast
                // kernels' fused multiply-adds round differently, far below hearing.
                const auto same = [](float x, float y) {
                    return std::fabs(x - y) <= 1e-5f || (x != x && y != y);
                };
                EXPECT_TRUE(std::equal(out[k].begin(), out[k].end(), expected[k].begin(), same))
                    << "filter " << k << " of " << members << ", model 0 at " << other;
            }
        }
    }
}

TEST(VcfModule, AnyModelIndexRunsAModel) {
    const Signal noise = whiteNoise(512, 0.5f, 9);
    const Signal cutoff(512, 0.6f);
    const Signal resonance(512, 0.5f);
    const auto output = [&](int index) {
        VcfModule filter = filterFor(index, 0.5f);
        return render(filter, noise, cutoff, resonance);
    };
    for (const auto& [index, model] : std::vector<std::pair<int, int>>{
             {6, 0}, {7, 1}, {11, 5}, {-1, 5}, {-6, 0}, {INT_MIN, 4}, {INT_MAX, 1}}) {
        EXPECT_EQ(filterFor(index, 0.0f).currentModel(), model) << index;
        EXPECT_EQ(output(index), output(model)) << index;
    }
}

TEST(VcfModule, UnwiredPortsAreSafe) {
    const Signal noise = whiteNoise(300, 0.5f, 13);
    const Signal cutoff(300, 0.6f);
    const Signal resonance(300, 0.4f);
    for (int model = 0; model < VcfModule::modelCount; ++model) {
        VcfModule reference = filterFor(model, 0.4f);
        const Signal expected = render(reference, noise, cutoff, resonance);

        // No output: nothing runs, so the state is still fresh afterwards.
        VcfModule filter = filterFor(model, 0.4f);
        filter.setInput(VcfModule::Audio, noise.data());
        filter.setInput(VcfModule::Cutoff, cutoff.data());
        filter.process(300);
        EXPECT_EQ(render(filter, noise, cutoff, resonance), expected) << "model " << model;

        // No resonance control: the block's resonance amount stands in for it.
        VcfModule unwired = filterFor(model, 0.4f);
        Signal out(300);
        unwired.setInput(VcfModule::Audio, noise.data());
        unwired.setInput(VcfModule::Cutoff, cutoff.data());
        unwired.setOutput(VcfModule::Filtered, out.data());
        unwired.process(300);
        EXPECT_EQ(out, expected) << "model " << model;

        // No audio: silence in, silence out (the Euler model's saturation curve, read half an
        // entry below its centre, leaves a few thousandths of DC).
        VcfModule silent = filterFor(model, 0.4f);
        silent.setInput(VcfModule::Cutoff, cutoff.data());
        silent.setOutput(VcfModule::Filtered, out.data());
        silent.process(300);
        float peak = 0.0f;
        for (float sample : out)
            peak = std::max(peak, std::fabs(sample));
        EXPECT_LT(peak, model == VcfModule::Euler ? 5e-3f : 1e-4f) << "model " << model;
    }
}

} // namespace
} // namespace treskpro
