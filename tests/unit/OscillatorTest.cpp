// The oscillators as a listener hears them: pitch in cents, cycle lengths, waveform forms under
// sync, aliasing through the decimator, and the behaviour without wavetable data.
#include "engine/DecimatorModule.h"
#include "engine/FastKernels.h"
#include "engine/HalfbandFir.h"
#include "engine/OscillatorSection.h"
#include "engine/PitchTables.h"
#include "engine/SampleRate.h"
#include "engine/VcoModule.h"
#include "engine/WavetableSet.h"
#include "platform/Platform.h"
#include "tests/unit/FrequencyAnalysis.h"

#include <gtest/gtest.h>

#include <tuple>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <vector>

namespace treskpro {
namespace {

using test::cents;
using test::worstInharmonicDb;
using test::zeroCrossingFrequency;

// The data files the build wrote into the bundle beside the test programs.
const WavetableLibrary& bundledSets() {
    static WavetableLibrary library;
    static const bool loaded = [] {
        library.loadMissing(platform::executableDirectory() + "/../bundle/" +
                            WavetableLibrary::folderName);
        return true;
    }();
    (void)loaded;
    return library;
}

void useBundledSets(VcoModule& vco) {
    const WavetableLibrary& sets = bundledSets();
    vco.setWavetables(&sets.saw, &sets.square, &sets.triangle);
}

class Oscillator : public ::testing::Test {
protected:
    void SetUp() override { setEngineSampleRate(44100.0f); }
    void TearDown() override { setEngineSampleRate(44100.0f); }
};

// Runs a VCO at a fixed frequency in blocks, with every output port connected.
struct VcoRig {
    static constexpr int block = 64; // base-rate samples
    VcoModule vco;
    std::vector<float> frequency = std::vector<float>(block);
    std::vector<float> width = std::vector<float>(block);
    std::vector<float> sync = std::vector<float>(2 * block);
    std::vector<float> audio = std::vector<float>(2 * block);
    std::vector<float> phase = std::vector<float>(2 * block);
    std::vector<float> period = std::vector<float>(2 * block);
    std::vector<float> wraps = std::vector<float>(2 * block);

    VcoRig() {
        vco.setInput(VcoModule::Frequency, frequency.data());
        vco.setOutput(VcoModule::Audio, audio.data());
        vco.setOutput(VcoModule::Phase, phase.data());
        vco.setOutput(VcoModule::Period, period.data());
    }

    // Renders `blocks` blocks at `hz` and hands each 2x block to `sink`.
    template <typename Sink> void render(float hz, int blocks, Sink&& sink) {
        std::fill(frequency.begin(), frequency.end(), hz);
        for (int b = 0; b < blocks; ++b) {
            vco.process(2 * block);
            sink();
        }
    }

    // Base-rate output through the decimator, the first `skip` samples dropped.
    std::vector<float> decimated(float hz, int samples, int skip) {
        DecimatorModule decimator;
        std::vector<float> base(block);
        decimator.setInput(DecimatorModule::Signal, audio.data());
        decimator.setOutput(DecimatorModule::Decimated, base.data());
        std::vector<float> result;
        render(hz, (samples + skip) / block + 1, [&] {
            decimator.process(block);
            result.insert(result.end(), base.begin(), base.end());
        });
        result.erase(result.begin(), result.begin() + skip);
        result.resize(static_cast<std::size_t>(samples));
        return result;
    }
};

TEST_F(Oscillator, PitchTablesHoldEqualTemperamentAndOctaveSteps) {
    const auto& notes = noteFrequencyTable();
    EXPECT_NEAR(notes[69], 440.0f, 0.01f);
    EXPECT_NEAR(notes[36], 65.406f, 0.001f);
    EXPECT_NEAR(notes[127], 12543.85f, 0.1f);
    const auto& exp2 = exp2Table();
    EXPECT_EQ(exp2[exp2TableCentre], 1.0f);
    EXPECT_FLOAT_EQ(exp2[exp2TableCentre + 1024], 2.0f);
    EXPECT_FLOAT_EQ(exp2[exp2TableCentre - 8192], 1.0f / 256.0f);
    int wrongSteps = 0; // against the library's exp2 of each entry's own exponent
    for (int k = 0; k < exp2TableSize; ++k) {
        const double exponent = static_cast<double>(k - exp2TableCentre) / exp2StepsPerOctave;
        wrongSteps += exp2[static_cast<std::size_t>(k)] != static_cast<float>(std::exp2(exponent));
    }
    EXPECT_EQ(wrongSteps, 0);
    const auto& logScale = logFrequencyTable();
    EXPECT_EQ(logScale[0], 0.0f);
    EXPECT_EQ(logScale[1], 0.0f);
    EXPECT_NEAR(logScale[22049], 1.0f, 1e-5f);
    EXPECT_NEAR(logScale[148], 0.5f, 0.001f); // about sqrt(22050)
}

TEST_F(Oscillator, CyclesAlternatelyRunFifteenHundredthsOfAPercentFastAndSlow) {
    VcoRig rig;
    rig.vco.setWaveform(VcoModule::Saw);
    // Wraps found from the phase output, interpolated to fractions of a 2x sample.
    std::vector<double> wrapTimes;
    double time = 0.0;
    double previous = 0.0;
    rig.render(441.0f, 200, [&] {
        for (float phase : rig.phase) {
            if (phase < previous) {
                const double step = phase + 1.0 - previous;
                wrapTimes.push_back(time - 1.0 + (1.0 - previous) / step);
            }
            previous = phase;
            time += 1.0;
        }
    });
    ASSERT_GT(wrapTimes.size(), 100u);
    std::vector<double> lengths; // in base-rate samples
    for (std::size_t k = 1; k < wrapTimes.size(); ++k)
        lengths.push_back((wrapTimes[k] - wrapTimes[k - 1]) / 2.0);
    for (std::size_t k = 0; k + 1 < lengths.size(); ++k) {
        const double shorter = std::min(lengths[k], lengths[k + 1]);
        const double longer = std::max(lengths[k], lengths[k + 1]);
        EXPECT_NEAR(shorter, 100.0 / 1.0015, 0.01) << k;
        EXPECT_NEAR(longer, 100.0 * 1.0015, 0.01) << k;
    }

    // A factor of 1 gives equal cycles. With the sync output connected the phase restarts at
    // exactly 0, dropping the overshoot: every cycle lasts whole 2x samples (153.85 -> 154).
    VcoRig even;
    even.vco.setAsymmetry(1.0f);
    even.vco.setOutput(VcoModule::SyncOut, even.wraps.data());
    int sample = 0;
    std::vector<int> wrapSamples;
    even.render(573.3f, 50, [&] {
        for (int i = 0; i < 2 * VcoRig::block; ++i, ++sample) {
            if (even.wraps[static_cast<std::size_t>(i)] == 1.0f) {
                wrapSamples.push_back(sample);
                if (i + 1 < 2 * VcoRig::block) {
                    EXPECT_EQ(even.phase[static_cast<std::size_t>(i + 1)], 0.0f);
                }
            }
        }
    });
    ASSERT_GT(wrapSamples.size(), 20u);
    for (std::size_t k = 1; k < wrapSamples.size(); ++k)
        EXPECT_EQ(wrapSamples[k] - wrapSamples[k - 1], 154) << k;
}

TEST_F(Oscillator, SyncedSlowOscillatorsPlayPlainFormsAndFastOnesParabolic) {
    for (int waveform : {VcoModule::Saw, VcoModule::Square, VcoModule::Pulse}) {
        VcoRig rig;
        rig.vco.setWavetableFlag(false);
        rig.vco.setWaveform(waveform);
        rig.vco.setPulseWidth(0.3f);
        rig.vco.reset();
        rig.vco.setInput(VcoModule::Sync, rig.sync.data());
        rig.sync[5] = 1.0f; // one restart inside every block
        rig.render(1000.0f, 4, [] {});
        for (std::size_t i = 0; i < rig.audio.size(); ++i) {
            const float phase = rig.phase[i];
            float plain = phase - 0.5f;
            if (waveform == VcoModule::Square)
                plain = phase > 0.45f ? 0.5f : -0.5f;
            if (waveform == VcoModule::Pulse)
                plain = phase <= 0.3f ? -0.5f : 0.5f;
            ASSERT_NEAR(rig.audio[i], plain, 1e-6f) << waveform << " " << i;
        }
        EXPECT_EQ(rig.phase[5], 0.0f);

        // Above a tenth of the sample rate the differentiated form stays: the same as an
        // oscillator without sync while the sync input stays silent.
        VcoRig synced;
        VcoRig free;
        for (VcoRig* r : {&synced, &free}) {
            r->vco.setWavetableFlag(false);
            r->vco.setWaveform(waveform);
            r->vco.setPulseWidth(0.3f);
            r->vco.reset();
        }
        synced.vco.setInput(VcoModule::Sync, synced.sync.data());
        synced.render(6000.0f, 3, [] {});
        free.render(6000.0f, 3, [] {});
        EXPECT_EQ(synced.audio, free.audio) << waveform;
        bool differsFromPlain = false;
        for (std::size_t i = 0; i < synced.audio.size(); ++i) {
            differsFromPlain =
                differsFromPlain || std::abs(std::abs(synced.audio[i]) - 0.5f) > 0.05f;
        }
        EXPECT_TRUE(differsFromPlain) << waveform;
    }
}

TEST_F(Oscillator, ParabolicWaveformsFadeInAfterReset) {
    VcoRig rig;
    rig.vco.setWavetableFlag(false);
    rig.vco.setWaveform(VcoModule::Saw);
    std::vector<float> levels; // peak per block
    rig.render(441.0f, 40, [&] {
        float peak = 0.0f;
        for (float x : rig.audio)
            peak = std::max(peak, std::abs(x));
        levels.push_back(peak);
    });
    EXPECT_LT(levels.front(), 0.3f);
    EXPECT_NEAR(levels.back(), 0.65f, 0.01f); // the differentiated ramp spans +-0.65
    rig.vco.reset();
    rig.render(441.0f, 1, [] {});
    EXPECT_LT(std::abs(rig.audio[0]), 0.01f);

    // Every differentiated form starts from its own previous values: no click at a note-on.
    struct Form {
        int waveform;
        float width;
    };
    for (const Form form : {Form{VcoModule::Square, 0.0f}, Form{VcoModule::Pulse, 0.5f},
                            Form{VcoModule::Pulse, 0.1f}, Form{VcoModule::Pulse, 1.8f}}) {
        VcoRig started;
        started.vco.setWavetableFlag(false);
        started.vco.setWaveform(form.waveform);
        started.vco.setPulseWidth(form.width);
        for (int note = 0; note < 2; ++note) {
            started.vco.reset();
            started.render(110.0f, 1, [] {});
            EXPECT_LT(std::abs(started.audio[0]), 2e-3f)
                << form.waveform << " " << form.width << " note " << note;
            started.render(110.0f, 7, [] {}); // part of a cycle: the next note starts elsewhere
        }
    }
}

TEST_F(Oscillator, MissingWavetablesFallBackToParabolicFormsOrSilence) {
    const WavetableSet empty;
    for (int waveform : {VcoModule::Saw, VcoModule::Square, VcoModule::Pulse}) {
        VcoRig missing;
        VcoRig parabolic;
        missing.vco.setWavetables(&empty, &empty, &empty);
        parabolic.vco.setWavetableFlag(false);
        for (VcoRig* r : {&missing, &parabolic}) {
            r->vco.setWaveform(waveform);
            r->vco.setPulseWidth(0.25f);
            r->vco.reset();
            r->render(300.0f, 3, [] {});
        }
        EXPECT_EQ(missing.audio, parabolic.audio) << waveform;
    }
    for (int waveform : {VcoModule::Triangle, VcoModule::Sine}) {
        for (const WavetableSet* triangle : {&empty, static_cast<const WavetableSet*>(nullptr)}) {
            VcoRig rig;
            rig.vco.setWavetables(nullptr, nullptr, triangle);
            rig.vco.setWaveform(waveform);
            rig.render(300.0f, 3, [] {});
            EXPECT_TRUE(
                std::all_of(rig.audio.begin(), rig.audio.end(), [](float x) { return x == 0.0f; }));
            EXPECT_GT(rig.vco.phase(), 0.0); // the cycle runs on for sync and modulation
        }
    }
}

TEST_F(Oscillator, BundledDataFilesLoadAndTheSineIsPure) {
    const WavetableLibrary& sets = bundledSets();
    for (const WavetableSet* set :
         {&sets.saw, &sets.square, &sets.triangle, &sets.mgSaw, &sets.mgSquare}) {
        ASSERT_TRUE(set->isLoaded());
    }
    VcoRig rig;
    useBundledSets(rig.vco);
    rig.vco.setAsymmetry(1.0f);
    rig.vco.setWaveform(VcoModule::Sine);
    const std::vector<float> out = rig.decimated(1000.0f, 16384, 512);
    EXPECT_LT(worstInharmonicDb(out, 44100.0, 1000.0), -90.0);
    // Harmonics, measured as the residue after the best-fitting sine: none.
    const float peak = *std::max_element(out.begin(), out.end());
    EXPECT_NEAR(peak, 2.0f * 8.0f / 9.8696044f, 0.01f); // decimator gain 2, triangle's first term
    EXPECT_NEAR(zeroCrossingFrequency(out, 44100.0), 1000.0, 0.01);
}

// An oscillator with only its audio output wired takes a leaner path than one whose phase is
// watched; both must play the same samples, also while the pitch sweeps through the tables.
TEST_F(Oscillator, AudioOnlyOscillatorsPlayWhatWatchedOnesPlay) {
    // Also when a voice runs its two oscillators side by side: each lane plays what the
    // oscillator plays alone, whatever the other lane plays, to the bit in both kernels
    // (FastKernels.h): the fast pair reads its tables in other ways but rounds as the plain one.
    // The pulse reads the saw set twice, beside another pulse and any other waveform, in either
    // lane, its width moving (the MG on the width) or held, and its second read wrapping both
    // ways.
    constexpr int cycle[] = {VcoModule::Saw, VcoModule::Square, VcoModule::Triangle,
                             VcoModule::Pulse, VcoModule::Pulse};
    for (int run = 0; run < 10; ++run) {
        const bool fast = run >= 5;
        if (fast && !fastKernels())
            break;
        std::optional<PlainKernels> plain;
        if (!fast)
            plain.emplace();
        const int waveform = cycle[run % 5];
        const int otherWaveform = cycle[(run + 1) % 5];
        VcoRig watched, otherWatched, paired, partner;
        for (VcoRig* rig : {&paired, &partner}) {
            rig->vco.setOutput(VcoModule::Phase, nullptr);
            rig->vco.setOutput(VcoModule::Period, nullptr);
        }
        for (VcoRig* rig : {&watched, &otherWatched, &paired, &partner}) {
            useBundledSets(rig->vco);
            const bool other = rig == &otherWatched || rig == &partner;
            rig->vco.setWaveform(other ? otherWaveform : waveform);
            // The pulse beside the triangle holds its width (no cable).
            if (other && run % 5 == 2)
                rig->vco.setPulseWidth(-0.7f);
            else
                rig->vco.setInput(VcoModule::PulseWidth, rig->width.data());
        }
        for (int b = 0; b < 40; ++b) {
            for (int i = 0; i < VcoRig::block; ++i) {
                const float hz = 30.0f * std::exp2(0.004f * static_cast<float>(b * 64 + i));
                const auto at = static_cast<std::size_t>(i);
                watched.frequency[at] = paired.frequency[at] = hz;
                otherWatched.frequency[at] = partner.frequency[at] = 1.37f * hz;
                const float width = 1.2f * std::sin(0.01f * static_cast<float>(b * 64 + i));
                watched.width[at] = paired.width[at] = width;
                otherWatched.width[at] = partner.width[at] = 0.5f + width;
            }
            watched.vco.process(2 * VcoRig::block);
            otherWatched.vco.process(2 * VcoRig::block);
            VcoModule::processPair(paired.vco, partner.vco, 2 * VcoRig::block);
            ASSERT_EQ(watched.audio, paired.audio)
                << "waveform " << waveform << " block " << b << (fast ? " fast" : "");
            ASSERT_EQ(otherWatched.audio, partner.audio)
                << "beside waveform " << waveform << (fast ? " fast" : "");
        }
        EXPECT_EQ(watched.vco.phase(), paired.vco.phase());
        EXPECT_EQ(otherWatched.vco.phase(), partner.vco.phase());
    }
}

// The aliasing of the band-limited saw and square at high pitches, through the decimator.
TEST_F(Oscillator, WavetableSawAndSquareKeepAliasingEightyDbDown) {
#ifdef _WIN32
    constexpr int length = 16384; // the emulated build runs far slower
#else
    constexpr int length = 65536;
#endif
    for (bool wavetable : {true, false}) {
        for (int waveform : {VcoModule::Saw, VcoModule::Square}) {
            for (float hz : {4000.0f, 10000.0f}) {
                VcoRig rig;
                useBundledSets(rig.vco);
                rig.vco.setAsymmetry(1.0f);
                rig.vco.setWavetableFlag(wavetable);
                rig.vco.setWaveform(waveform);
                rig.vco.reset();
                const std::vector<float> out = rig.decimated(hz, length, 2048);
                const double db = worstInharmonicDb(out, 44100.0, hz);
                std::printf("aliasing %s %s %5.0f Hz: %6.1f dB\n",
                            wavetable ? "wavetable" : "parabolic",
                            waveform == VcoModule::Saw ? "saw   " : "square", hz, db);
                if (wavetable) {
                    EXPECT_LT(db, -80.0) << waveform << " " << hz;
                }
            }
        }
    }
}

TEST_F(Oscillator, DecimatorPassesTheLowerBandAndRejectsTheUpper) {
    // Sines at the 2x rate (cycles per 2x sample): amplitude at the base rate after decimation.
    auto gainDb = [](double cycles) {
        constexpr int count = 4096;
        std::vector<float> in(2 * count);
        for (std::size_t i = 0; i < in.size(); ++i)
            in[i] = static_cast<float>(
                std::sin(2.0 * 3.141592653589793 * cycles * static_cast<double>(i)));
        std::vector<float> out(count);
        DecimatorModule decimator;
        decimator.setInput(DecimatorModule::Signal, in.data());
        decimator.setOutput(DecimatorModule::Decimated, out.data());
        decimator.process(count);
        double energy = 0.0;
        for (int j = 64; j < count; ++j)
            energy += out[static_cast<std::size_t>(j)] * out[static_cast<std::size_t>(j)];
        return 20.0 * std::log10(std::sqrt(2.0 * energy / (count - 64)));
    };
    for (double cycles : {0.01, 0.05, 0.1, 0.15, 0.2})
        EXPECT_NEAR(gainDb(cycles), 6.02, 0.05) << cycles; // the mix's 0.5 made up
    for (double cycles = 0.32; cycles < 0.5; cycles += 0.01)
        EXPECT_LT(gainDb(cycles), 6.02 - 56.0) << cycles;
}

// The decimator works through blocks in pieces of its own; whatever the block sizes, it must give
// exactly what the half-band filter gives taking the 2x samples one by one.
TEST_F(Oscillator, DecimatorMatchesTheHalfBandFilterSampleBySample) {
    std::vector<float> in(2 * 1000);
    std::uint32_t seed = 5;
    for (float& x : in) {
        seed = seed * 1664525u + 1013904223u;
        x = static_cast<float>(seed >> 8) / 16777216.0f - 0.5f;
    }
    HalfbandFir fir;
    std::vector<float> expected;
    for (std::size_t j = 0; j < in.size() / 2; ++j) {
        fir.store(in[2 * j]);
        expected.push_back(static_cast<float>(2.0 * fir.push(in[2 * j + 1])));
    }
    DecimatorModule decimator;
    std::vector<float> out(in.size() / 2);
    int done = 0;
    for (int block : {1, 63, 64, 65, 200, 7, 600}) {
        decimator.setInput(DecimatorModule::Signal, in.data() + 2 * done);
        decimator.setOutput(DecimatorModule::Decimated, out.data() + done);
        decimator.process(block);
        done += block;
    }
    ASSERT_EQ(done, 1000);
    EXPECT_EQ(out, expected);
}

// The oscillator section fed with constant control blocks, as a voice would.
struct SectionRig {
    static constexpr int block = 64;
    std::vector<float> note = std::vector<float>(block);
    std::vector<float> zero = std::vector<float>(block);
    std::vector<float> half = std::vector<float>(block, 0.5f);
    std::vector<float> scratch = std::vector<float>(8 * 2 * block);
    std::vector<float> out = std::vector<float>(block);
    OscillatorSection section;
    OscillatorInputs in;
    OscillatorSettings settings;

    SectionRig() {
        OscillatorBlocks blocks;
        float** pointers[] = {&blocks.frequency1,  &blocks.frequency2, &blocks.pulseWidth1,
                              &blocks.pulseWidth2, &blocks.vco1,       &blocks.vco2,
                              &blocks.sync,        &blocks.mix};
        for (std::size_t k = 0; k < 8; ++k)
            *pointers[k] = scratch.data() + k * 2 * block;
        section.setBlocks(blocks);
        const WavetableLibrary& sets = bundledSets();
        section.setWavetables(&sets.saw, &sets.square, &sets.triangle);
        in.noteFrequency = note.data();
        in.octave1 = in.octave2 = zero.data();
        in.pulseWidth1 = in.pulseWidth2 = half.data();
        settings.waveform1 = settings.waveform2 = VcoModule::Sine;
    }

    std::vector<float> octaves1 = std::vector<float>(block);
    std::vector<float> octaves2 = std::vector<float>(block);

    void setOctaves(float octave1, float octave2) {
        octaves1.assign(block, octave1);
        octaves2.assign(block, octave2);
        in.octave1 = octaves1.data();
        in.octave2 = octaves2.data();
    }

    // `samples` base-rate samples of the section's output, after `settle` samples unheard.
    std::vector<float> render(float hz, int samples, int settle = 0) {
        std::fill(note.begin(), note.end(), hz);
        for (int done = 0; done < settle; done += block)
            section.process(block, settings, in, out.data());
        std::vector<float> result;
        while (static_cast<int>(result.size()) < samples) {
            section.process(block, settings, in, out.data());
            result.insert(result.end(), out.begin(), out.end());
        }
        return result;
    }
};

TEST_F(Oscillator, PitchFollowsTheNoteTableInBothModesAndAllRanges) {
    for (int vco : {1, 2}) {
        for (bool wavetable : {true, false}) {
            for (int note : {36, 69}) {
                for (float range : {0.0f, 0.49f, 0.5f, 1.0f}) {
                    SectionRig rig;
                    rig.settings.wavetableMode = wavetable;
                    // The other oscillator is silent and set to another range.
                    rig.settings.level1 = vco == 1 ? 1.0f : 0.0f;
                    rig.settings.level2 = vco == 2 ? 1.0f : 0.0f;
                    (vco == 1 ? rig.settings.waveform1 : rig.settings.waveform2) = VcoModule::Saw;
                    rig.settings.range1 = vco == 1 ? range : 1.0f - range;
                    rig.settings.range2 = vco == 2 ? range : 1.0f - range;
                    const float hz = noteFrequencyTable()[static_cast<std::size_t>(note)];
                    const std::vector<float> out = rig.render(hz, 44100, 4096);
                    const double ratio = range < 0.5f ? 1.0 : range < 1.0f ? 2.0 : 4.0;
                    const double measured = zeroCrossingFrequency(out, 44100.0);
                    EXPECT_NEAR(cents(measured, hz * ratio), 0.0, 0.5)
                        << "VCO-" << vco << " " << wavetable << " " << note << " " << range;
                }
            }
        }
    }
}

TEST_F(Oscillator, TuningFineTunesRangesAndBendFormEachOscillatorsPitch) {
    // Master tuning moves both oscillators by up to an octave, each fine tune its own by up to
    // four; the engine smooths these octave offsets before the section reads them. Ranges and
    // bend are ratios.
    OscillatorSettings settings;
    settings.masterTuning = 0.75f;            // +1/2 octave
    settings.fineTune1 = 0.5f - 1.0f / 8.0f;  // -1 octave
    settings.fineTune2 = 0.5f + 7.0f / 96.0f; // +7 semitones
    settings.range1 = 0.0f;                   // 16'
    settings.range2 = 1.0f;                   // 4'
    settings.pitchBend = 16383;               // fully up
    settings.bendRange = 12;                  // +1 octave
    PitchTerms terms = pitchTerms(settings);
    EXPECT_FLOAT_EQ(terms.octave1, -0.5f);
    EXPECT_FLOAT_EQ(terms.octave2, 0.5f + 7.0f / 12.0f);
    EXPECT_FLOAT_EQ(terms.range1, 2.0f);
    EXPECT_FLOAT_EQ(terms.range2, 8.0f);

    OscillatorSettings other = settings;
    other.masterTuning = 0.0f; // -1 octave
    other.fineTune1 = 1.0f;    // +4 octaves
    other.fineTune2 = 0.0f;    // -4 octaves
    other.range1 = 0.5f;       // 8'
    other.range2 = 0.49f;      // 16'
    other.pitchBend = 0;       // fully down
    other.bendRange = 2;
    terms = pitchTerms(other);
    EXPECT_FLOAT_EQ(terms.octave1, 3.0f);
    EXPECT_FLOAT_EQ(terms.octave2, -5.0f);
    EXPECT_FLOAT_EQ(terms.range1, 2.0f * std::exp2(-2.0f / 12.0f));
    EXPECT_FLOAT_EQ(terms.range2, std::exp2(-2.0f / 12.0f));
    other.pitchBend = 8192; // the centre, within a 16383rd of the range
    terms = pitchTerms(other);
    EXPECT_NEAR(terms.range1, 2.0f, 3e-5f);
    EXPECT_NEAR(terms.range2, 1.0f, 2e-5f);

    // Heard: each oscillator alone at its pitch (the index step into the exp2 table is slightly
    // short of 1024 per octave).
    for (int vco : {1, 2}) {
        SectionRig rig;
        rig.settings = settings;
        rig.settings.waveform1 = rig.settings.waveform2 = VcoModule::Sine;
        rig.settings.level1 = vco == 1 ? 1.0f : 0.0f;
        rig.settings.level2 = vco == 2 ? 1.0f : 0.0f;
        terms = pitchTerms(settings);
        rig.setOctaves(terms.octave1, terms.octave2);
        const double expected =
            vco == 1 ? 220.0 * std::exp2(-0.5) * 2.0 : 220.0 * std::exp2(0.5 + 7.0 / 12.0) * 8.0;
        const double measured = zeroCrossingFrequency(rig.render(220.0f, 44100, 4096), 44100.0);
        EXPECT_NEAR(cents(measured, expected), 0.0, 2.5) << "VCO-" << vco;
    }
}

TEST_F(Oscillator, SyncRaisesVco2ToVco1AndRestartsIt) {
    SectionRig rig; // both oscillators at 8', twice the note frequency
    rig.settings.level1 = 0.0f;
    rig.settings.level2 = 1.0f;
    rig.settings.waveform2 = VcoModule::Saw;
    rig.setOctaves(0.0f, -1.0f);
    const double unsynced = zeroCrossingFrequency(rig.render(440.0f, 22050, 4096), 44100.0);
    EXPECT_NEAR(cents(unsynced, 440.0), 0.0, 2.0);
    rig.settings.sync = true;
    const double synced = zeroCrossingFrequency(rig.render(440.0f, 22050, 4096), 44100.0);
    // Under sync VCO-1 restarts at exactly 0 and drops the overshoot, so its cycles last whole 2x
    // samples: 100.2 become 101.
    EXPECT_NEAR(cents(synced, 88200.0 / 101.0), 0.0, 2.0);

    // VCO-2 set higher keeps its own pitch but restarts with every VCO-1 cycle: what follows
    // each restart is the same.
    rig.setOctaves(0.0f, 0.5f);
    rig.section.vco2().setAsymmetry(1.0f); // else its own cycles alternate in length
    rig.render(800.0f, 4096);
    const float* wraps = rig.scratch.data() + 6 * 2 * SectionRig::block;
    const float* vco2 = rig.scratch.data() + 5 * 2 * SectionRig::block;
    std::vector<int> restarts;
    for (int i = 0; i < 2 * SectionRig::block; ++i) {
        if (wraps[i] == 1.0f)
            restarts.push_back(i + 1);
    }
    ASSERT_GE(restarts.size(), 2u);
    const int cycle = restarts[1] - restarts[0];
    EXPECT_EQ(cycle, 56); // 1600 Hz at the 2x rate, rounded up
    for (int d = 0; restarts[1] + d < 2 * SectionRig::block && d < cycle; ++d)
        EXPECT_EQ(vco2[restarts[0] + d], vco2[restarts[1] + d]) << d;
}

TEST_F(Oscillator, Vco1ModulatesVco2FrequencyOnlyWhenRoutedThere) {
    SectionRig rig;
    rig.settings.level1 = 0.0f;
    rig.settings.level2 = 1.0f;
    rig.settings.freqMod2 = 0.1f;
    const float* frequency2 = rig.scratch.data() + 1 * 2 * SectionRig::block;
    auto extremes = [&] {
        float low = 1e9f, high = 0.0f;
        for (int b = 0; b < 20; ++b) {
            rig.render(500.0f, SectionRig::block);
            for (int i = 0; i < SectionRig::block; ++i) {
                low = std::min(low, frequency2[i]);
                high = std::max(high, frequency2[i]);
            }
        }
        return std::pair(low, high);
    };
    // "VCO-2 -> VCF": VCO-2 keeps its pitch (1000 Hz at 8').
    auto [low, high] = extremes();
    EXPECT_FLOAT_EQ(low, high);
    EXPECT_NEAR(high, 1000.0f, 0.1f);
    // "VCO-1 -> VCO-2": the sine of VCO-1 (peak 8 / pi^2) swings VCO-2 by 0.8 x its value in
    // octaves.
    rig.settings.vco2Mod = 1.0f;
    std::tie(low, high) = extremes();
    const float swing = std::exp2(0.8f * 8.0f / 9.8696044f);
    EXPECT_NEAR(high, 1000.0f * swing, 2.0f);
    EXPECT_NEAR(low, 1000.0f / swing, 2.0f);
}

TEST_F(Oscillator, PulseWidthModulationFoldsBackIntoRange) {
    OscillatorSettings settings;
    OscillatorInputs in;
    std::vector<float> base = {0.8f, 0.2f, 0.5f, 0.9f};
    std::vector<float> cv = {0.6f, -0.8f, 0.2f, 1.0f};
    in.pulseWidth1 = base.data();
    in.pulseWidth2 = base.data();
    in.pulseWidth1Cv = cv.data();
    std::vector<float> width1(4), width2(4);
    oscillatorPulseWidths(4, settings, in, width1.data(), width2.data());
    EXPECT_FLOAT_EQ(width1[0], 0.9f); // 1.1 folded
    EXPECT_FLOAT_EQ(width1[1], 0.2f); // -0.2 folded
    EXPECT_FLOAT_EQ(width1[2], 0.6f);
    EXPECT_FLOAT_EQ(width1[3], 0.6f); // 1.4 folded
    EXPECT_EQ(width2, base);          // no cable at VCO-2: no term

    in.pulseWidth1Cv = nullptr;
    in.mg = cv.data();
    settings.mgPulseWidth1 = true;
    oscillatorPulseWidths(4, settings, in, width1.data(), width2.data());
    EXPECT_FLOAT_EQ(width1[1], 0.2f);
    EXPECT_EQ(width2, base);
}

TEST_F(Oscillator, FrequenciesStayWithinOneHertzAndHalfTheSampleRate) {
    OscillatorSettings settings;
    settings.range1 = 1.0f;
    settings.range2 = 0.0f;
    OscillatorInputs in;
    std::vector<float> notes = {20000.0f, 0.001f, 440.0f, std::nanf("")};
    std::vector<float> octaves = {0.0f, -9.0f, 40.0f, 0.0f};
    in.noteFrequency = notes.data();
    in.octave1 = in.octave2 = octaves.data();
    std::vector<float> frequency1(4), frequency2(4);
    oscillatorFrequencies(4, pitchTerms(settings), settings, in, 44100.0f, frequency1.data(),
                          frequency2.data());
    EXPECT_EQ(frequency1[0], 22050.0f);
    EXPECT_EQ(frequency1[1], 1.0f);
    EXPECT_EQ(frequency1[2], 22050.0f); // +8 octaves at most
    EXPECT_EQ(frequency1[3], 1.0f);
    EXPECT_NEAR(frequency2[0], 20000.0f, 0.5f); // the bend centre is a hair above 0.5

    // A block, worked four or eight samples at a time, gives sample by sample what each sample
    // alone gives through the plain path, as the note, the MG and each oscillator's offset change
    // on their own, out to both ends of the table.
    notes = {440.0f,        440.0f, 220.0f, 220.0f, 220.0f, 220.0f,
             std::nanf(""), 220.0f, 220.0f, 110.0f, 110.0f, 110.0f};
    octaves = {0.0f, 0.0f, 0.0f, 0.5f, 0.5f, -0.0f, 0.0f, 40.0f, -9.0f, 0.0f, 0.1f, 0.2f};
    std::vector<float> octaves2 = {1.0f,  1.0f,  1.0f,  1.0f,  0.25f, 0.25f,
                                   -9.0f, 0.25f, 0.25f, 40.0f, 0.25f, 0.25f};
    std::vector<float> mg = {0.0f, 0.1f, -0.3f, 1.0f, -1.0f, 0.5f,
                             0.0f, 0.2f, 0.3f,  0.4f, 0.5f,  0.6f};
    in.noteFrequency = notes.data();
    in.octave1 = octaves.data();
    in.octave2 = octaves2.data();
    in.mg = mg.data();
    settings.mgVco2Depth = 0.3f;
    frequency1.resize(12);
    frequency2.resize(12);
    const PitchTerms terms = pitchTerms(settings);
    oscillatorFrequencies(12, terms, settings, in, 44100.0f, frequency1.data(), frequency2.data());
    for (std::size_t i = 0; i < 12; ++i) {
        OscillatorInputs one = in;
        one.noteFrequency += i;
        one.octave1 += i;
        one.octave2 += i;
        one.mg += i;
        float alone1 = 0.0f, alone2 = 0.0f;
        oscillatorFrequencies(1, terms, settings, one, 44100.0f, &alone1, &alone2);
        EXPECT_EQ(frequency1[i], alone1) << i;
        EXPECT_EQ(frequency2[i], alone2) << i;
    }
}

TEST_F(Oscillator, ShapedOscillatorsStayCentred) {
    SectionRig rig;
    rig.settings.waveform1 = VcoModule::Saw; // shaped, it carries a large offset
    rig.settings.shaper = 1.0f;
    rig.render(110.0f, 4410); // let the smoothed amount arrive
    const std::vector<float> out = rig.render(110.0f, 44100);
    double sum = 0.0;
    for (float x : out)
        sum += x;
    EXPECT_LT(std::abs(sum / static_cast<double>(out.size())), 0.01);
    const auto [low, high] = std::minmax_element(out.begin(), out.end());
    EXPECT_GT(*high - *low, 0.5f);
}

// The shaper against its plain form, one 2x sample after the other: a low-pass of each
// oscillator into a sine, mixed with the oscillator by the amount, then a DC blocker. The
// oscillators come from a second section without the shaper. Amounts that hold, that move and
// that sit at 0 each take a loop of their own; blocks of odd length leave a sample over.
TEST_F(Oscillator, TheShaperIsALowPassIntoASineThenABlocker) {
    // Both kernels (FastKernels.h); the fast one works the sines eight at a time.
    for (const bool fast : {true, false}) {
        std::optional<PlainKernels> plainKernels;
        if (!fast)
            plainKernels.emplace();
        SectionRig shaped, plain;
        for (SectionRig* rig : {&shaped, &plain}) {
            rig->settings.waveform1 = VcoModule::Saw;
            rig->settings.level2 = 0.7f;
        }
        shaped.settings.shaper = 1.0f;
        std::vector<float> amount(SectionRig::block);
        shaped.in.shaperAmount = amount.data();
        const float* oscillators[2] = {plain.scratch.data() + 4 * 2 * SectionRig::block,
                                       plain.scratch.data() + 5 * 2 * SectionRig::block};
        const float* results[2] = {shaped.scratch.data() + 4 * 2 * SectionRig::block,
                                   shaped.scratch.data() + 5 * 2 * SectionRig::block};
        double low[2] = {0.0, 0.0}, blocker[2] = {0.0, 0.0};
        double largest = 0.0;
        for (int b = 0; b < 24; ++b) {
            for (std::size_t j = 0; j < amount.size(); ++j)
                amount[j] = b < 8 ? 0.6f : b < 16 ? 0.3f + 0.002f * static_cast<float>(j) : 0.0f;
            // Some blocks of odd length: the fast kernel works the shaper two samples at a time.
            const int count = b % 3 == 2 ? 37 : SectionRig::block;
            for (SectionRig* rig : {&shaped, &plain}) {
                std::fill(rig->note.begin(), rig->note.end(), 110.0f);
                rig->section.process(count, rig->settings, rig->in, rig->out.data());
            }
            for (int k = 0; k < 2; ++k) {
                for (int i = 0; i < 2 * count; ++i) {
                    const double s = amount[static_cast<std::size_t>(i / 2)];
                    const double c = 0.07 - 0.045 * s;
                    const double offset = i % 2 == 0 ? 1e-5 : -1e-5;
                    const float x = oscillators[k][i];
                    low[k] = (1.0 - c) * low[k] + c * (x + offset);
                    const float argument =
                        static_cast<float>(low[k]) * static_cast<float>(30.0 * s);
                    const float mixed = static_cast<float>(std::sin(double(argument)) * s) +
                                        static_cast<float>(1.0 - s) * x;
                    blocker[k] = 0.99 * blocker[k] + 0.01 * (mixed + offset);
                    largest = std::max(largest, std::fabs(results[k][i] - (mixed - blocker[k])));
                }
            }
        }
        EXPECT_LT(largest, 2e-5) << (fast ? "fast" : "plain");
    }
}

// A cable holding the shaper's amount at 0 leaves the sound unshaped, but the shaper's followers
// run on: when the cable lets go, it sounds as a shaper whose amount only came close to 0 (a
// block the shaper works through sample by sample).
TEST_F(Oscillator, AShaperHeldAtZeroCarriesOnWhenItsAmountRises) {
    std::vector<float> rendered[2];
    for (int rig = 0; rig < 2; ++rig) {
        SectionRig section;
        section.settings.waveform1 = VcoModule::Saw;
        section.settings.level2 = 0.7f;
        section.settings.shaper = 0.6f;
        std::vector<float> cv(SectionRig::block, 0.0f);
        cv[0] = rig == 0 ? 0.0f : 1e-30f;
        section.in.shaperCv = cv.data();
        std::vector<float> out = section.render(110.0f, 4 * SectionRig::block);
        cv.assign(SectionRig::block, 1.0f);
        const std::vector<float> raised = section.render(110.0f, 4 * SectionRig::block);
        out.insert(out.end(), raised.begin(), raised.end());
        rendered[rig] = out;
    }
    float largest = 0.0f;
    for (std::size_t i = 0; i < rendered[0].size(); ++i)
        largest = std::max(largest, std::fabs(rendered[0][i] - rendered[1][i]));
    EXPECT_LT(largest, 1e-6f);
}

TEST_F(Oscillator, RingModulationOfTwoSinesGivesSumAndDifference) {
    SectionRig rig;
    rig.settings.ring = true;
    rig.settings.level2 = 0.0f; // only the product
    rig.setOctaves(0.0f, std::log2(1.5f));
    // Alternating cycle lengths would add faint sidebands of their own.
    rig.section.vco1().setAsymmetry(1.0f);
    rig.section.vco2().setAsymmetry(1.0f);
    const std::vector<float> out = rig.render(1000.0f, 16384 + 1024);
    const std::vector<float> tail(out.end() - 16384, out.end());
    const std::vector<double> spectrum = test::magnitudes(test::windowed(tail));
    auto level = [&](double hz) {
        const std::size_t bin = static_cast<std::size_t>(std::lround(hz * 16384 / 44100.0));
        double peak = 0.0;
        for (std::size_t k = bin - 3; k <= bin + 3; ++k)
            peak = std::max(peak, spectrum[k]);
        return peak;
    };
    // 2000 Hz and 3000 Hz (8'): their product holds 1000 Hz and 5000 Hz, and neither input.
    const double sum = level(5000.0);
    EXPECT_NEAR(20.0 * std::log10(level(1000.0) / sum), 0.0, 0.5);
    EXPECT_LT(20.0 * std::log10(level(2000.0) / sum), -60.0);
    EXPECT_LT(20.0 * std::log10(level(3000.0) / sum), -60.0);
}

TEST_F(Oscillator, WaveformChangesRestartAndNotesRestartOnlyParabolicOscillators) {
    SectionRig rig;
    rig.settings.level2 = 1.0f;
    rig.settings.waveform2 = VcoModule::Saw;
    rig.settings.wavetableMode = false;
    rig.render(100.0f, 100);
    ASSERT_GT(rig.section.vco1().phase(), 0.0);
    rig.section.noteOn();
    EXPECT_EQ(rig.section.vco1().phase(), 0.0);

    rig.settings.wavetableMode = true;
    rig.render(100.0f, 100);
    const double running = rig.section.vco1().phase();
    rig.section.noteOn();
    EXPECT_EQ(rig.section.vco1().phase(), running); // wavetable oscillators run freely

    rig.settings.waveform1 = VcoModule::Square;
    rig.render(100.0f, 1);
    // Restarted at the start of the block: 128 steps of half of 200 Hz / 44100 Hz since.
    EXPECT_NEAR(rig.section.vco1().phase(), 128 * 0.5 * 200.0 / 44100.0, 0.001);
    EXPECT_GT(std::abs(running + 128 * 0.5 * 200.0 / 44100.0 - rig.section.vco1().phase()), 0.01);
}

} // namespace
} // namespace treskpro
