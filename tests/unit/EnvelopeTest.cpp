// Envelopes, accent and slide measured as a player hears them: segment times at the host's
// sample rate, how gate and trigger samples start and stop notes, how accents pile up at high
// resonance, and how long a slide takes.
#include "engine/AccentSweep.h"
#include "engine/EnvelopeCoefficients.h"
#include "engine/EnvelopeModule.h"
#include "engine/Glide.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace treskpro {
namespace {

constexpr float rates[] = {44100.0f, 48000.0f};

// Samples the envelope needs until `reached` holds for its level, at most `limit`.
template <typename Condition>
int samplesUntil(EnvelopeModule& envelope, Condition reached, int limit = 10'000'000) {
    for (int n = 1; n <= limit; ++n) {
        envelope.process(1);
        if (reached(envelope.level()))
            return n;
    }
    return -1;
}

TEST(Envelope, SegmentsLastTheirKnobTimesAtBothRates) {
    for (float rate : rates) {
        SCOPED_TRACE(rate);
        EnvelopeModule envelope;
        envelope.setSegments(0.5f, 0.5f, 0.25f, 0.5f, rate);

        // The attack is a straight line from 0 to 1 in T(0.5, 9) = e^-2.5 s.
        envelope.start();
        const double attackSamples = rate * std::exp(-2.5);
        const int half = samplesUntil(envelope, [](double level) { return level >= 0.5; });
        EXPECT_NEAR(half, attackSamples / 2, 1.0);
        const int full = half + samplesUntil(envelope, [](double level) { return level >= 1.0; });
        EXPECT_NEAR(full, attackSamples, 1.0);
        EXPECT_EQ(envelope.state(), EnvelopeModule::DecaySustain);

        // The decay covers 90 % of the way to the sustain level in T(0.5, 8) = e^-2 s.
        const int decay = samplesUntil(envelope, [](double level) { return level <= 0.325; });
        EXPECT_NEAR(decay / (rate * std::exp(-2.0)), 1.0, 0.01);
        samplesUntil(envelope, [](double level) { return level < 0.2501; });

        // The release covers 90 % of the way to 0 in T(0.5, 7) = e^-1.5 s.
        envelope.release();
        const int release = samplesUntil(envelope, [](double level) { return level <= 0.025; });
        EXPECT_NEAR(release / (rate * std::exp(-1.5)), 1.0, 0.01);
    }
}

TEST(Envelope, PatchChangeSilencesQuickly) {
    EnvelopeModule amplifier;
    amplifier.setSegments(0.0f, 1.0f, 1.0f, 1.0f, 44100.0f);
    amplifier.start();
    samplesUntil(amplifier, [](double level) { return level >= 1.0; });
    amplifier.damp();
    const int fall = samplesUntil(amplifier, [](double level) { return level <= 0.1; });
    EXPECT_NEAR(fall / 44.1, 6.5, 0.1); // milliseconds
}

TEST(Envelope, GateAndTriggerSamples) {
    EnvelopeModule envelope;
    envelope.setSegments(0.0f, 0.3f, 0.5f, 0.8f, 44100.0f);
    std::vector<float> gate(64, 1.0f), trigger(64, 0.0f), out(64);
    envelope.setInput(EnvelopeModule::Gate, gate.data());
    envelope.setInput(EnvelopeModule::Trigger, trigger.data());
    envelope.setOutput(EnvelopeModule::Envelope, out.data());

    // A gate that is high while the envelope releases does not start a note.
    envelope.process(64);
    EXPECT_EQ(envelope.state(), EnvelopeModule::Release);
    EXPECT_LT(envelope.level(), 1e-4);
    EXPECT_EQ(envelope.idle(), 0);

    // A trigger sample does, from level 0, and lights the start indicator.
    trigger[10] = 1.0f;
    envelope.process(64);
    EXPECT_LT(out[9], 1e-4f);
    EXPECT_GT(out[10], 0.0f);
    EXPECT_GT(out[63], 0.5f);
    EXPECT_EQ(envelope.idle(), 1);
    trigger[10] = 0.0f;

    // Trigger and gate 0 on the same sample: back to 0 and released at once.
    trigger[5] = 1.0f;
    for (int i = 5; i < 64; ++i)
        gate[static_cast<size_t>(i)] = 0.0f;
    envelope.process(64);
    EXPECT_EQ(envelope.state(), EnvelopeModule::Release);
    for (int i = 5; i < 64; ++i)
        EXPECT_LT(std::fabs(out[static_cast<size_t>(i)]), 1e-4f) << i;
}

TEST(Envelope, SustainOneHoldsFullLevel) {
    EnvelopeModule envelope;
    envelope.setSegments(0.0f, 0.0f, 1.0f, 0.5f, 44100.0f);
    envelope.start();
    std::vector<float> out(4096);
    envelope.setOutput(EnvelopeModule::Envelope, out.data());
    envelope.process(4096);
    for (size_t i = 10; i < out.size(); ++i)
        ASSERT_NEAR(out[i], 1.0f, 2e-5f) << i;
}

TEST(Envelope, AccentAmountAndLegato) {
    // Accented samples decay with the accent decay time, the others with the decay time.
    EnvelopeModule envelope;
    envelope.setSegments(0.0f, 0.9f, 0.0f, 0.5f, 44100.0f);
    envelope.setAccentDecayCoefficient(accentDecayCoefficient(0.2f, 44100.0f));
    std::vector<float> accent(256, 1.0f), amount(256, 0.5f), out(256);
    envelope.setInput(EnvelopeModule::Accent, accent.data());
    envelope.setInput(EnvelopeModule::Amount, amount.data());
    envelope.setOutput(EnvelopeModule::Envelope, out.data());
    envelope.start();
    envelope.process(256);
    const double accented = envelope.level();
    EXPECT_LT(accented, 0.5); // T(0.2, 8) is about 3.7 ms: well on the way down
    EXPECT_NEAR(out[255], 0.5 * accented, 1e-6);

    std::fill(accent.begin(), accent.end(), 0.0f);
    envelope.start();
    envelope.process(256);
    EXPECT_GT(envelope.level(), 0.99); // T(0.9, 8) is 16 s

    // A retriggered legato note climbs from where it is, a new note from 0.
    envelope.setSegments(0.5f, 0.9f, 0.0f, 0.5f, 44100.0f);
    envelope.retrigger();
    envelope.process(1);
    EXPECT_GT(envelope.level(), 0.99);
    envelope.start();
    envelope.process(1);
    EXPECT_LT(envelope.level(), 0.01);
}

// The envelope as plainly as it can be written, one sample at a time: what the block loops
// must reproduce to the bit.
std::vector<float> plainEnvelope(const std::vector<float>& gate, const std::vector<float>& trigger,
                                 const std::vector<float>& accent,
                                 const std::vector<float>& amount) {
    enum { attack, decay, release };
    int state = release;
    double level = 0.0, offset = 1e-5;
    const auto nextOffset = [&] {
        offset = -offset;
        return -offset;
    };
    std::vector<float> out;
    for (std::size_t i = 0; i < gate.size(); ++i) {
        if (trigger[i] != 0.0f) {
            level = 0.0;
            state = attack;
        }
        if (gate[i] == 0.0f)
            state = release;
        if (state == attack) {
            level += double(0.01f);
            if (level > 1.0) {
                level = 1.0;
                state = decay;
            }
        } else if (state == decay) {
            const double rate = accent[i] != 0.0f ? double(0.01f) : double(0.002f);
            level = (1.0 - rate) * level + rate * (nextOffset() + double(0.4f));
        } else {
            level = (1.0 - double(0.003f)) * level + double(0.003f) * nextOffset();
        }
        out.push_back(static_cast<float>(amount[i] * level));
    }
    return out;
}

TEST(Envelope, SameOutputWhateverTheBlockSize) {
    constexpr int length = 3000;
    std::vector<float> gate(length, 1.0f), trigger(length, 0.0f), accent(length, 0.0f),
        amount(length);
    trigger[3] = trigger[400] = trigger[1700] = trigger[1701] = 1.0f;
    std::fill(gate.begin() + 250, gate.begin() + 400, 0.0f);
    std::fill(gate.begin() + 2500, gate.end(), 0.0f);
    std::fill(accent.begin() + 150, accent.begin() + 301, 1.0f);
    std::fill(accent.begin() + 1800, accent.begin() + 1801, 1.0f);
    for (int i = 0; i < length; ++i)
        amount[static_cast<std::size_t>(i)] = 0.5f + 0.0001f * static_cast<float>(i);
    const std::vector<float> reference = plainEnvelope(gate, trigger, accent, amount);
    for (int block : {length, 1, 7, 64}) {
        EnvelopeModule envelope;
        envelope.setAttackIncrement(0.01f);
        envelope.setDecayCoefficient(0.002f);
        envelope.setSustainLevel(0.4f);
        envelope.setReleaseCoefficient(0.003f);
        envelope.setAccentDecayCoefficient(0.01f);
        std::vector<float> out(length);
        for (int start = 0; start < length; start += block) {
            const int count = std::min(block, length - start);
            envelope.setInput(EnvelopeModule::Gate, gate.data() + start);
            envelope.setInput(EnvelopeModule::Trigger, trigger.data() + start);
            envelope.setInput(EnvelopeModule::Accent, accent.data() + start);
            envelope.setInput(EnvelopeModule::Amount, amount.data() + start);
            envelope.setOutput(EnvelopeModule::Envelope, out.data() + start);
            envelope.process(count);
        }
        EXPECT_EQ(out, reference) << block;
    }
}

// Played from the keyboard the envelope has no gate or trigger blocks and takes its own loop; it
// must trace the same curve as one whose gate block holds the note, whatever the block sizes,
// through attack, decay, release, a retrigger and the patch-change fall, with the amount input.
TEST(Envelope, KeyboardEnvelopeFollowsTheGatedOne) {
    EnvelopeModule gated;
    EnvelopeModule keyboard;
    std::vector<float> ones(256, 1.0f), zeros(256, 0.0f), amount(256), outGated(256),
        outKeyboard(256);
    for (std::size_t i = 0; i < amount.size(); ++i)
        amount[i] = 0.5f + 0.002f * static_cast<float>(i);
    for (EnvelopeModule* envelope : {&gated, &keyboard}) {
        envelope->setSegments(0.1f, 0.2f, 0.3f, 0.15f, 44100.0f);
        envelope->setInput(EnvelopeModule::Amount, amount.data());
        envelope->start();
    }
    gated.setInput(EnvelopeModule::Gate, ones.data());
    gated.setInput(EnvelopeModule::Trigger, zeros.data());
    gated.setOutput(EnvelopeModule::Envelope, outGated.data());
    keyboard.setOutput(EnvelopeModule::Envelope, outKeyboard.data());
    const int blocks[] = {1, 3, 256, 17, 200, 2, 255, 64};
    int played = 0;
    for (int round = 0; round < 40; ++round) {
        const int count = blocks[round % 8];
        if (round == 12) {
            gated.release();
            keyboard.release();
        } else if (round == 20) {
            gated.retrigger();
            keyboard.retrigger();
        } else if (round == 30) {
            gated.damp();
            keyboard.damp();
        }
        gated.process(count);
        keyboard.process(count);
        played += count;
        for (int i = 0; i < count; ++i)
            ASSERT_NEAR(outKeyboard[static_cast<std::size_t>(i)],
                        outGated[static_cast<std::size_t>(i)], 1e-6f)
                << "round " << round << " sample " << i;
        EXPECT_EQ(keyboard.state(), gated.state()) << round;
        EXPECT_EQ(keyboard.idle(), gated.idle()) << round;
    }
    EXPECT_GT(played, 3000);
    EXPECT_NEAR(keyboard.level(), gated.level(), 1e-9);
}

TEST(Accent, SignalFromSocketOrSequencerPlusManual) {
    const float sequencer[] = {0.0f, 1.0f, 0.0f, 1.0f};
    const float socket[] = {0.5f, 0.0f, -0.5f, -1.0f};
    float on[4];
    EXPECT_TRUE(makeAccentOn(nullptr, sequencer, 0.0f, on, 4));
    EXPECT_EQ(std::vector<float>(on, on + 4), (std::vector<float>{0, 1, 0, 1}));
    makeAccentOn(socket, sequencer, 0.0f, on, 4); // a connected socket replaces the sequencer
    EXPECT_EQ(std::vector<float>(on, on + 4), (std::vector<float>{1, 0, 0, 0}));
    makeAccentOn(socket, sequencer, 0.75f, on, 4);
    EXPECT_EQ(std::vector<float>(on, on + 4), (std::vector<float>{1, 1, 1, 0}));
    EXPECT_FALSE(makeAccentOn(nullptr, nullptr, 0.0f, on, 4));
}

// Samples until the sweep, charging towards 0.5 with the accent on, covers 90 % of the way.
double chargeTime(float resonance, float rate) {
    AccentSweep sweep;
    sweep.setCoefficients(resonance, 0.5f, rate);
    const float envelope = 1.0f, on = 1.0f;
    float out = 0.0f;
    for (int n = 1; n < 1'000'000; ++n) {
        sweep.process(&envelope, &on, 0.5f, &out, 1);
        if (out >= 0.45f)
            return n;
    }
    return -1;
}

TEST(Accent, SweepChargesSlowerWithResonance) {
    for (float rate : rates) {
        SCOPED_TRACE(rate);
        EXPECT_NEAR(chargeTime(0.3f, rate) / rate, 0.00052, 1.5 / rate);
        EXPECT_EQ(chargeTime(0.5f, rate), chargeTime(0.0f, rate));
        EXPECT_NEAR(chargeTime(1.0f, rate) / rate, 0.061, 0.0005);
        EXPECT_NEAR(chargeTime(0.75f, rate) / rate,
                    0.061 * std::sqrt(0.5) + 0.00052 * (1 - std::sqrt(0.5)), 0.0005);
    }
}

// Peaks of the sweep over four accents of 20 ms, 80 ms apart, on a constant envelope.
std::vector<float> accentPeaks(float resonance) {
    AccentSweep sweep;
    sweep.setCoefficients(resonance, 0.8f, 44100.0f);
    std::vector<float> envelope(3528, 1.0f), on(3528, 0.0f), out(3528);
    std::fill(on.begin(), on.begin() + 882, 1.0f);
    std::vector<float> peaks;
    for (int accent = 0; accent < 4; ++accent) {
        sweep.process(envelope.data(), on.data(), 1.0f, out.data(), 3528);
        peaks.push_back(out[881]);
    }
    return peaks;
}

TEST(Accent, CloselySpacedAccentsBuildUpAtHighResonance) {
    const std::vector<float> high = accentPeaks(1.0f);
    EXPECT_LT(high[0], 0.6f);
    for (size_t k = 1; k < high.size(); ++k)
        EXPECT_GT(high[k], high[k - 1] + 0.02f) << k;

    // At low resonance every accent reaches the envelope at once: no build-up.
    const std::vector<float> low = accentPeaks(0.2f);
    for (float peak : low)
        EXPECT_NEAR(peak, 1.0f, 1e-3f);
}

TEST(Accent, SweepHoldsTheEnvelopePeakLikeACapacitor) {
    // A fast-falling envelope during a long accent: the sweep charges to the peak and then only
    // leaks away at the accent decay rate instead of following the envelope down.
    AccentSweep sweep;
    sweep.setCoefficients(0.0f, 1.0f, 44100.0f);
    std::vector<float> envelope(2000), on(2000, 1.0f), out(2000);
    for (size_t i = 0; i < envelope.size(); ++i)
        envelope[i] = static_cast<float>(std::exp(-static_cast<double>(i) / 200.0));
    sweep.process(envelope.data(), on.data(), 1.0f, out.data(), 2000);
    EXPECT_GT(*std::max_element(out.begin(), out.end()), 0.8f);
    EXPECT_GT(out[1999], 0.75f);
    EXPECT_LT(envelope[1999], 0.001f);
}

// Accents of every length, some one sample long, with gaps of odd and even lengths, in blocks
// of several sizes: the sweep is, to the bit, the plain follower charging towards the accented
// envelope and discharging otherwise.
TEST(Accent, SweepMatchesThePlainFollowerInEveryBlockSize) {
    constexpr int length = 3000;
    std::vector<float> envelope(length), on(length, 0.0f);
    for (int i = 0; i < length; ++i)
        envelope[static_cast<std::size_t>(i)] = 0.5f + 0.5f * std::sin(0.01f * float(i));
    for (const auto& [from, to] : {std::pair{10, 11}, {100, 400}, {401, 402}, {1000, 1333}})
        std::fill(on.begin() + from, on.begin() + to, 1.0f);
    const double charge = accentChargeCoefficient(0.7f, 44100.0f);
    const double discharge = accentDischargeCoefficient(0.4f, 44100.0f);
    std::vector<float> reference;
    double u = 0.0, offset = 1e-5;
    for (int i = 0; i < length; ++i) {
        const double target = double(0.8f) * double(envelope[static_cast<std::size_t>(i)]);
        if (on[static_cast<std::size_t>(i)] == 1.0f && target > u)
            u = (1.0 - charge) * u + charge * (target + offset);
        else
            u = (1.0 - discharge) * u + discharge * (0.0 + offset);
        offset = -offset;
        reference.push_back(static_cast<float>(u));
    }
    for (int block : {length, 1, 7, 64}) {
        AccentSweep sweep;
        sweep.setCoefficients(0.7f, 0.4f, 44100.0f);
        std::vector<float> out(length);
        for (int start = 0; start < length; start += block)
            sweep.process(envelope.data() + start, on.data() + start, 0.8f, out.data() + start,
                          std::min(block, length - start));
        EXPECT_EQ(out, reference) << block;
    }
}

// Samples the glide needs to cover 90 % of an octave.
double glideTime(float glideKnob, float rate) {
    Glide glide;
    glide.setCoefficient(glideCoefficient(glideKnob, rate));
    glide.reset(100.0);
    for (int n = 1; n < 1'000'000; ++n) {
        if (glide.next(200.0, true) >= 190.0)
            return n;
    }
    return -1;
}

TEST(Glide, NinetyPercentInTenMillisecondsToOneSecond) {
    for (float rate : rates) {
        SCOPED_TRACE(rate);
        EXPECT_NEAR(glideTime(0.0f, rate) / rate, 0.010, 0.0002);
        EXPECT_NEAR(glideTime(1.0f, rate) / rate, 1.0, 0.002);
    }

    // Without slide the new pitch comes at once.
    Glide glide;
    glide.setCoefficient(glideCoefficient(1.0f, 44100.0f));
    glide.reset(100.0);
    EXPECT_EQ(glide.next(200.0, false), 200.0);
}

TEST(Glide, SequencerRatioGlidesOnlyWhereSlideIsOn) {
    Glide glide;
    glide.setCoefficient(glideCoefficient(0.5f, 44100.0f));
    float ratio[] = {1.0f, 2.0f, 1.5f, 1.5f}, slide[] = {0.0f, 0.0f, 1.0f, 1.0f};
    glide.glideBlock(ratio, slide, 4);
    EXPECT_EQ(ratio[1], 2.0f); // steps where slide is off, slides where it is on
    EXPECT_LT(ratio[2], 2.0f);
    EXPECT_GT(ratio[2], ratio[3]);
    EXPECT_GT(ratio[3], 1.9f);

    // Over runs of slides and plain steps, with and without a slide block, the block gives what
    // the glide gives sample by sample.
    std::vector<float> ratios(500), slides(500, 0.0f);
    for (std::size_t i = 0; i < ratios.size(); ++i)
        ratios[i] = 1.0f + 0.25f * static_cast<float>(i / 37 % 5);
    std::fill(slides.begin() + 40, slides.begin() + 120, 1.0f);
    std::fill(slides.begin() + 300, slides.begin() + 301, 1.0f);
    for (const bool withSlide : {true, false}) {
        Glide plain;
        Glide block;
        for (Glide* g : {&plain, &block})
            g->setCoefficient(glideCoefficient(0.3f, 44100.0f));
        std::vector<float> expected = ratios, out = ratios;
        for (std::size_t i = 0; i < expected.size(); ++i)
            expected[i] =
                static_cast<float>(plain.next(expected[i], withSlide && slides[i] != 0.0f));
        for (int start = 0; start < 500; start += 64)
            block.glideBlock(out.data() + start, withSlide ? slides.data() + start : nullptr,
                             std::min(64, 500 - start));
        EXPECT_EQ(out, expected) << withSlide;
        EXPECT_EQ(block.current(), plain.current()) << withSlide;
    }
}

} // namespace
} // namespace treskpro
