// The step clock as the voice hears it: step lengths at the host's rate, prescale and triplet,
// gate length, slides, ties and rests, stopping and pattern changes, and damaged chunk values.
#include "sequencer/StepSequencer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <memory>
#include <vector>

namespace treskpro {
namespace {

constexpr double rate = 44100.0;
constexpr double tempo = 120.0;
constexpr double stepSamples = 5512.5; // one sixteenth note at 120 BPM and 44.1 kHz

// The six signals of a whole run, sample by sample.
struct Signals {
    std::vector<float> pitchFactor, gate, trigger, slideIn, accent, pitchOctaves;

    std::vector<int> triggers() const {
        std::vector<int> at;
        for (std::size_t i = 0; i < trigger.size(); ++i) {
            if (trigger[i] != 0.0f)
                at.push_back(static_cast<int>(i));
        }
        return at;
    }
    // Samples from `from` on while the gate stays high.
    int gateHeldFrom(int from) const {
        int n = 0;
        while (from + n < static_cast<int>(gate.size()) && gate[from + n] != 0.0f)
            ++n;
        return n;
    }
};

// Drives a sequencer over a bank in slices of `slice` samples, as the render loop does.
struct Player {
    std::unique_ptr<PatternBank> bank = std::make_unique<PatternBank>();
    StepSequencer sequencer;
    int pattern = 0;
    float gateTime = 1.0f;

    Player() { bank->fill(PatternRecord::fresh()); }

    PatternRecord& record(int index = 0) { return (*bank)[static_cast<std::size_t>(index)]; }

    Signals play(int samples, int slice = 256, bool running = true) {
        Signals s;
        for (auto* v :
             {&s.pitchFactor, &s.gate, &s.trigger, &s.slideIn, &s.accent, &s.pitchOctaves})
            v->resize(static_cast<std::size_t>(samples));
        for (int start = 0; start < samples; start += slice) {
            const int count = std::min(slice, samples - start);
            const SequencerBlocks out{&s.pitchFactor[start], &s.gate[start],
                                      &s.trigger[start],     &s.slideIn[start],
                                      &s.accent[start],      &s.pitchOctaves[start]};
            if (running)
                sequencer.run(*bank, pattern, rate, tempo, gateTime, out, count);
            else
                sequencer.stopped(out, count);
        }
        return s;
    }
};

void setSteps(PatternRecord& record, std::initializer_list<PatternStep> steps) {
    int i = 0;
    for (const PatternStep& step : steps)
        record.steps[i++] = step;
}

constexpr std::uint8_t gate = StepFlags::gate;
constexpr std::uint8_t tie = StepFlags::tie;
constexpr std::uint8_t slide = StepFlags::slide;
constexpr std::uint8_t accent = StepFlags::accent;

TEST(StepSequencer, StepsCarryTheFractionalRemainderAndDoNotDependOnSliceSize) {
    Player player;
    for (auto& step : player.record().steps)
        step = {0, gate};
    const Signals s = player.play(18 * 5513);
    const std::vector<int> at = s.triggers();
    ASSERT_GE(at.size(), 18u);
    EXPECT_EQ(at[0], 0);
    const int expected[] = {5513, 5513, 5512, 5513, 5512};
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(at[k + 1] - at[k], expected[k]) << "step " << k;
    }
    // Sixteen steps take exactly sixteen times 5512.5 samples.
    EXPECT_EQ(at[17] - at[1], 88200);

    // The same run sample by sample and in one large slice gives identical signals.
    for (int slice : {1, 4096}) {
        Player other;
        other.record() = player.record();
        const Signals t = other.play(18 * 5513, slice);
        EXPECT_EQ(t.trigger, s.trigger) << slice;
        EXPECT_EQ(t.gate, s.gate) << slice;
    }
}

// The render loop's slices follow the host's blocks: a busy pattern (rests, ties, slides,
// accents, a short gate, triplets) gives the same six signals, to the sample, played one sample
// at a time or in slices of any size.
TEST(StepSequencer, EverySignalIsTheSameWhateverTheSliceSize) {
    const auto busy = [](Player& p) {
        setSteps(p.record(), {{0, gate | accent},
                              {12, gate | slide},
                              {3, gate | accent},
                              {0, tie},
                              {7, gate | slide | accent},
                              {10, gate},
                              {0, 0},
                              {5, gate | slide},
                              {0, 0},
                              {2, gate}});
        p.gateTime = 0.4f;
    };
    for (const bool triplet : {false, true}) {
        SCOPED_TRACE(triplet ? "triplet" : "straight");
        Player reference;
        busy(reference);
        reference.record().patternFlags = triplet ? PatternRecord::tripletFlag : 0;
        const Signals r = reference.play(40000, 1);
        ASSERT_FALSE(r.triggers().empty());
        for (const int slice : {7, 333, 512, 8192}) {
            Player player;
            busy(player);
            player.record().patternFlags = triplet ? PatternRecord::tripletFlag : 0;
            const Signals s = player.play(40000, slice);
            EXPECT_EQ(s.trigger, r.trigger) << slice;
            EXPECT_EQ(s.gate, r.gate) << slice;
            EXPECT_EQ(s.pitchFactor, r.pitchFactor) << slice;
            EXPECT_EQ(s.slideIn, r.slideIn) << slice;
            EXPECT_EQ(s.accent, r.accent) << slice;
            EXPECT_EQ(s.pitchOctaves, r.pitchOctaves) << slice;
        }
    }
}

TEST(StepSequencer, PrescaleAndTripletScaleTheStepLength) {
    struct Case {
        int prescale;
        bool triplet;
        double samples;
    };
    const Case cases[] = {{0, false, stepSamples}, {1, false, 2756.25}, {2, false, 7350.0},
                          {3, false, 3675.0},      {0, true, 7350.0},   {2, true, 9800.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.prescale);
        SCOPED_TRACE(c.triplet);
        Player player;
        PatternRecord& record = player.record();
        record.prescale = static_cast<std::uint8_t>(c.prescale);
        record.patternFlags = c.triplet ? PatternRecord::tripletFlag : 0;
        for (auto& step : record.steps)
            step = {0, gate};
        const Signals s = player.play(static_cast<int>(9 * c.samples));
        const std::vector<int> at = s.triggers();
        ASSERT_GE(at.size(), 9u);
        EXPECT_NEAR(at[8] - at[0], 8 * c.samples, 1.0);
        EXPECT_NEAR(at[1] - at[0], c.samples, 1.0);
    }
}

TEST(StepSequencer, GateTimeEndsTheGateWithinTheLastStepOfTheNote) {
    Player player;
    player.gateTime = 0.5f;
    setSteps(player.record(), {{0, gate}, {0, 0}, {0, 0}, {0, 0}, {0, gate}, {0, tie}, {0, tie}});
    const Signals s = player.play(8 * 5513);
    const double gateFactor = 0.5 * 0.999;

    // A one-step note: the gate falls on the sample whose phase passes 0.4995 of the step.
    EXPECT_EQ(s.gateHeldFrom(0), static_cast<int>(std::floor(gateFactor * stepSamples)));
    // A note over three steps falls 2.4995 steps after its step began on the exact clock (the
    // sample grid lags that by the carried fraction).
    const std::vector<int> at = s.triggers();
    ASSERT_EQ(at.size(), 2u);
    EXPECT_EQ(at[1], 22051);
    EXPECT_NEAR(at[1] + s.gateHeldFrom(at[1]), (4 + 2 + gateFactor) * stepSamples, 1.0);

    // At the longest gate time the gate still falls just before the next note.
    Player full;
    setSteps(full.record(), {{0, gate}, {0, gate}});
    const Signals f = full.play(2 * 5513);
    EXPECT_EQ(f.gateHeldFrom(0), 5506);
    EXPECT_EQ(f.gate[5512], 0.0f);
    EXPECT_EQ(f.trigger[5513], 1.0f);
}

TEST(StepSequencer, SlideHoldsGateAndAccentWithoutANewTrigger) {
    // An accented slide into a plain note, then a slide into a rest.
    Player player;
    player.gateTime = 0.5f;
    setSteps(player.record(),
             {{0, gate | slide | accent}, {5, gate | slide}, {0, 0}, {0, 0}, {3, gate}});
    const Signals s = player.play(5 * 5513);
    const int step1 = 5513, step2 = 11026, step3 = 16538, step4 = 22051;

    EXPECT_EQ(s.triggers(), (std::vector<int>{0, step4}));
    // The gate never drops through the slid notes and falls inside the rest that ends the slide.
    const int held = s.gateHeldFrom(0);
    EXPECT_GT(held, step2);
    EXPECT_LT(held, step3);
    EXPECT_NEAR(held, (2 + 0.4995) * stepSamples, 1.0);

    EXPECT_EQ(s.slideIn[step1 - 1], 0.0f);
    EXPECT_EQ(s.slideIn[step1], 1.0f);
    EXPECT_EQ(s.slideIn[step2], 1.0f);
    EXPECT_EQ(s.slideIn[step3], 0.0f);
    // The accent carries into the unaccented note it slides into, and through the rest.
    EXPECT_EQ(s.accent[step1], 1.0f);
    EXPECT_EQ(s.accent[step2], 1.0f);
    EXPECT_EQ(s.accent[step3], 0.0f);
    EXPECT_EQ(s.accent[step4], 0.0f);

    // The slid-into note changes the pitch; the rest keeps it; the next note sets its own.
    EXPECT_FLOAT_EQ(s.pitchFactor[0], 1.0f);
    EXPECT_FLOAT_EQ(s.pitchFactor[step1], std::exp2(5.0f / 12.0f));
    EXPECT_FLOAT_EQ(s.pitchOctaves[step1], 5.0f / 12.0f);
    EXPECT_FLOAT_EQ(s.pitchFactor[step3 + 100], std::exp2(5.0f / 12.0f));
    EXPECT_FLOAT_EQ(s.pitchOctaves[step3 + 100], 5.0f / 12.0f);
    EXPECT_FLOAT_EQ(s.pitchFactor[step4], std::exp2(3.0f / 12.0f));
}

TEST(StepSequencer, TiedNotesTriggerOncePerNote) {
    // Length 4, a note tied over all of it: one trigger per cycle, never continuing into the
    // next cycle's first step.
    Player player;
    player.record().length = 4;
    setSteps(player.record(), {{0, gate}, {0, tie}, {0, tie}, {0, tie}});
    const Signals s = player.play(3 * 22050 + 10);
    EXPECT_EQ(s.triggers(), (std::vector<int>{0, 22051, 44101, 66151}));
    EXPECT_EQ(s.gate[22049], 0.0f);
    EXPECT_GT(s.gateHeldFrom(0), 22000);

    // Ties after a rest take no time: the rest lasts one step and the cycle is two steps
    // shorter than the pattern.
    Player rest;
    rest.record().length = 4;
    setSteps(rest.record(), {{0, gate}, {0, 0}, {0, tie}, {0, tie}});
    const Signals r = rest.play(5 * 5513);
    EXPECT_EQ(r.triggers(), (std::vector<int>{0, 11026, 22051}));
}

TEST(StepSequencer, StoppedOutputsRestValuesAndFreezesThePosition) {
    Player player;
    setSteps(player.record(), {{7, gate | accent}, {0, gate}, {0, gate}});
    player.play(3000);
    const int index = player.sequencer.stepIndex();
    const double phase = player.sequencer.phase();
    EXPECT_TRUE(player.sequencer.running());

    const Signals s = player.play(10000, 256, false);
    EXPECT_FALSE(player.sequencer.running());
    for (std::size_t i = 0; i < s.gate.size(); ++i) {
        ASSERT_EQ(s.pitchFactor[i], 1.0f);
        ASSERT_EQ(s.gate[i] + s.trigger[i] + s.slideIn[i] + s.accent[i] + s.pitchOctaves[i], 0);
    }
    EXPECT_EQ(player.sequencer.stepIndex(), index);
    EXPECT_EQ(player.sequencer.phase(), phase);

    // Running again resumes the held note where it stopped: the next step comes 5513 - 3000
    // samples later.
    const Signals resumed = player.play(6000);
    EXPECT_EQ(resumed.triggers(), (std::vector<int>{2513}));
    EXPECT_EQ(resumed.accent[0], 1.0f);

    // A restart begins step 0 at the next sample.
    player.sequencer.restart();
    const Signals restarted = player.play(10);
    EXPECT_EQ(restarted.trigger[0], 1.0f);
    EXPECT_FLOAT_EQ(restarted.pitchOctaves[0], 7.0f / 12.0f);
    EXPECT_EQ(player.sequencer.stepIndex(), 1);
}

TEST(StepSequencer, PatternChangeContinuesAtTheSameStep) {
    Player player;
    for (int i = 0; i < 16; ++i) {
        player.record(0).steps[i] = {0, gate};
        player.record(1).steps[i] = {static_cast<std::uint8_t>(i + 10), gate};
    }
    player.record(2).length = 2;
    for (int i = 0; i < 16; ++i)
        player.record(2).steps[i] = {static_cast<std::uint8_t>(i), gate};

    player.play(2 * 5513 + 1000); // into step 2 of pattern 0
    player.pattern = 1;
    Signals s = player.play(2 * 5513);
    // The playing note finishes; the new pattern plays from step 3.
    EXPECT_FLOAT_EQ(s.pitchOctaves[0], 0.0f);
    std::vector<int> at = s.triggers();
    ASSERT_EQ(at.size(), 2u);
    EXPECT_FLOAT_EQ(s.pitchOctaves[at[0]], 13.0f / 12.0f);
    EXPECT_FLOAT_EQ(s.pitchOctaves[at[1]], 14.0f / 12.0f);

    // A shorter pattern plays its stored step at that index once, then wraps to its step 0.
    player.pattern = 2;
    s = player.play(3 * 5513);
    at = s.triggers();
    ASSERT_EQ(at.size(), 3u);
    EXPECT_FLOAT_EQ(s.pitchOctaves[at[0]], 5.0f / 12.0f);
    EXPECT_FLOAT_EQ(s.pitchOctaves[at[1]], 0.0f);
    EXPECT_FLOAT_EQ(s.pitchOctaves[at[2]], 1.0f / 12.0f);
}

TEST(StepSequencer, DamagedChunkValuesStayWithinThePattern) {
    Player player;
    for (int p = 0; p < 3; ++p) {
        for (auto& step : player.record(p).steps)
            step = {static_cast<std::uint8_t>(p), gate};
        player.record(p).prescale = 1;
    }
    player.play(1000);
    EXPECT_EQ(player.sequencer.rateFactor(), 2.0);

    // A prescale above 3 keeps the step rate that played before; a length above 64 plays 64.
    player.record(0).prescale = 9;
    player.record(0).length = 200;
    int highest = 0;
    for (int k = 0; k < 100; ++k) {
        player.play(2756, 2756);
        ASSERT_LT(player.sequencer.stepIndex(), PatternRecord::maximumLength);
        highest = std::max(highest, player.sequencer.stepIndex());
    }
    EXPECT_EQ(highest, 63);
    EXPECT_EQ(player.sequencer.rateFactor(), 2.0);

    // A pattern index outside the bank keeps the current pattern.
    for (int pattern : {500, -1, 128}) {
        player.pattern = pattern;
        player.play(3000);
        EXPECT_EQ(player.sequencer.currentPattern(), 0);
    }

    // Far into a long pattern, a switch to one of length 0 plays it as a single step.
    while (player.sequencer.stepIndex() != 60)
        player.play(1);
    player.pattern = 1;
    player.record(1).length = 0;
    const Signals s = player.play(4 * 2756 + 500);
    EXPECT_EQ(s.triggers().size(), 4u);
    EXPECT_EQ(player.sequencer.stepIndex(), 0);
    EXPECT_FLOAT_EQ(s.pitchOctaves.back(), 1.0f / 12.0f);

    player.pattern = 2;
    player.record(2).length = 255;
    player.record(2).prescale = 255;
    for (int k = 0; k < 70; ++k) {
        player.play(2756, 2756);
        ASSERT_LT(player.sequencer.stepIndex(), PatternRecord::maximumLength);
    }
    EXPECT_EQ(player.sequencer.currentPattern(), 2);
    EXPECT_EQ(player.sequencer.rateFactor(), 2.0);
}

} // namespace
} // namespace treskpro
