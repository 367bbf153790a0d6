// The pattern menu's whole-pattern edits on small patterns, and the randomizers' guarantees.
#include "sequencer/PatternOperations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace treskpro {
namespace {

using namespace StepFlags;

// Steps 0..count-1 hold notes 1, 2, 3, ... with the gate on.
PatternRecord numbered(int length, int count = 64) {
    PatternRecord pattern = PatternRecord::fresh();
    pattern.length = static_cast<std::uint8_t>(length);
    for (int i = 0; i < count; ++i)
        pattern.steps[i] = {static_cast<std::uint8_t>(i + 1), gate};
    return pattern;
}

// Each of the 64 steps of `pattern` against `expected(i)`, as note and flags.
template <typename Expected> void expectSteps(const PatternRecord& pattern, Expected expected) {
    for (int i = 0; i < PatternRecord::maximumLength; ++i) {
        const PatternStep want = expected(i);
        EXPECT_EQ(std::pair(int(pattern.steps[i].note), int(pattern.steps[i].flags)),
                  std::pair(int(want.note), int(want.flags)))
            << "step " << i;
    }
}

PatternStep numberedStep(int i) {
    return {static_cast<std::uint8_t>(i + 1), gate};
}

TEST(PatternOperations, ExpandShrinkDuplicateAndShiftCoverAllTheirSteps) {
    // Expand rewrites all 64 steps: old step i on 2i, empty steps between.
    PatternRecord pattern = numbered(16);
    expandPattern(pattern);
    EXPECT_EQ(pattern.length, 32);
    expectSteps(pattern, [](int i) { return i % 2 ? PatternStep{0, 0} : numberedStep(i / 2); });
    PatternRecord forty = numbered(40);
    expandPattern(forty);
    EXPECT_EQ(forty.length, 64);
    EXPECT_EQ(forty.steps[62].note, 32); // only the first 32 old steps survive

    // Shrink keeps every second step and empties the rest.
    PatternRecord one = numbered(1);
    shrinkPattern(one);
    EXPECT_EQ(one.length, 1);
    for (int length : {15, 64}) {
        PatternRecord shrunk = numbered(length);
        shrinkPattern(shrunk);
        EXPECT_EQ(shrunk.length, length / 2);
        expectSteps(shrunk, [&](int i) {
            return i < length / 2 ? numberedStep(2 * i) : PatternStep{0, 0};
        });
    }

    // Duplicate repeats the first steps over all 64; a full pattern stays as it is.
    for (int length : {5, 64}) {
        PatternRecord repeated = numbered(length);
        duplicateSteps(repeated);
        EXPECT_EQ(repeated.length, length);
        expectSteps(repeated, [&](int i) { return numberedStep(i % length); });
    }

    // Shifts rotate within the length and leave the steps beyond it.
    for (int length : {4, 64}) {
        PatternRecord rotated = numbered(length);
        shiftRight(rotated);
        expectSteps(rotated, [&](int i) {
            return numberedStep(i < length ? (i + length - 1) % length : i);
        });
        shiftLeft(rotated);
        shiftLeft(rotated);
        expectSteps(rotated,
                    [&](int i) { return numberedStep(i < length ? (i + 1) % length : i); });
    }
}

// A pattern of every kind of step: notes 0..12, no octave flag, up, down or both, and the other
// flags in turn.
PatternRecord everyKindOfStep(int length) {
    PatternRecord pattern = PatternRecord::fresh();
    pattern.length = static_cast<std::uint8_t>(length);
    const std::uint8_t octaves[] = {0, up, down, up | down};
    const std::uint8_t others[] = {gate, gate | accent, slide, tie | accent, 0};
    for (int i = 0; i < 64; ++i) {
        pattern.steps[i] = {static_cast<std::uint8_t>(i % 13),
                            static_cast<std::uint8_t>(octaves[i % 4] | others[i % 5])};
    }
    return pattern;
}

TEST(PatternOperations, TransposeMovesEveryStepThatPlaysAndKeepsItsFlags) {
    // The rules on single steps.
    PatternRecord pattern = PatternRecord::fresh();
    pattern.steps[0] = {12, gate | accent};
    pattern.steps[1] = {0, gate};
    pattern.steps[2] = {0, gate | down};
    pattern.steps[3] = {12, up | slide};
    transposePattern(pattern, 1);
    EXPECT_EQ(pattern.steps[0].note, 1);
    EXPECT_EQ(pattern.steps[0].flags, gate | accent | up);
    EXPECT_EQ(pattern.steps[3].note, 13); // above two octaves: stays high with up
    EXPECT_EQ(pattern.steps[3].flags, up | slide);
    transposePattern(pattern, -1);
    transposePattern(pattern, -1);
    EXPECT_EQ(pattern.steps[1].note, 11);
    EXPECT_EQ(pattern.steps[1].flags, gate | down);
    transposePattern(pattern, -12);
    EXPECT_EQ(pattern.steps[2].note, 0); // clamped at the bottom
    EXPECT_EQ(pattern.steps[2].flags, gate | down);

    // Whole patterns: each step that plays sounds `semitones` away (never below an octave down),
    // with its note within 0..12 while the pitch is within -12..24 and its other flags kept;
    // the steps beyond the length stay as they were.
    for (int length : {64, 37}) {
        for (int semitones : {1, -1, 12, -12}) {
            SCOPED_TRACE(testing::Message() << length << " steps, " << semitones);
            const PatternRecord before = everyKindOfStep(length);
            PatternRecord after = before;
            transposePattern(after, semitones);
            for (int i = 0; i < 64; ++i) {
                const PatternStep was = before.steps[i];
                const PatternStep now = after.steps[i];
                if (i >= length) {
                    EXPECT_EQ(std::pair(now.note, now.flags), std::pair(was.note, was.flags))
                        << "step " << i;
                    continue;
                }
                const int pitch = std::max(before.stepSemitones(i) + semitones, -12);
                EXPECT_EQ(after.stepSemitones(i), pitch) << "step " << i;
                EXPECT_NE(now.flags & (up | down), up | down) << "step " << i;
                if (pitch <= 24) {
                    EXPECT_LE(now.note, 12) << "step " << i;
                }
                EXPECT_EQ(now.flags & ~(up | down), was.flags & ~(up | down)) << "step " << i;
            }
        }
    }
}

TEST(PatternOperations, ClearCopyAndPasteCoverAllTheirSteps) {
    for (int length : {8, 64}) {
        PatternRecord pattern = numbered(length);
        pattern.patternFlags = PatternRecord::tripletFlag;
        clearPattern(pattern, false);
        EXPECT_FALSE(pattern.triplet());
        expectSteps(pattern, [&](int i) {
            return i < length ? PatternStep{0, 0} : numberedStep(i);
        });
        clearPattern(pattern, true);
        expectSteps(pattern, [&](int i) {
            return i < length ? PatternStep{0, gate} : numberedStep(i);
        });
    }

    PatternRecord source = everyKindOfStep(12);
    source.prescale = 3;
    source.patternFlags = PatternRecord::tripletFlag;
    copyPattern(source, patternClipboard());
    PatternRecord target = numbered(64);
    target.prescale = 1;
    pastePattern(target, patternClipboard());
    EXPECT_EQ(target.length, 12);
    EXPECT_TRUE(target.triplet());
    expectSteps(target, [&](int i) { return source.steps[i]; }); // all 64, not just the length
    EXPECT_EQ(target.prescale, 1);                               // prescale is not carried
}

TEST(PatternOperations, RandomizersChangeOnlyTheStepsThatPlay) {
    Random15 random{12345};
    for (int length : {16, 64}) {
        SCOPED_TRACE(length);
        // Numbered notes are all 14 or above past step 12: a step the randomizer missed shows.
        PatternRecord pattern = numbered(length);
        randomizeAll(pattern, random);
        for (int i = 0; i < 64; ++i) {
            if (i >= length) {
                EXPECT_EQ(pattern.steps[i].note, i + 1) << "step " << i;
                continue;
            }
            EXPECT_LT(pattern.steps[i].note, 14) << "step " << i;
            EXPECT_EQ(pattern.steps[i].flags & tie, 0) << "step " << i;
        }
        PatternRecord pitches = numbered(length);
        for (int i = 0; i < 64; ++i)
            pitches.steps[i].note = static_cast<std::uint8_t>(100 + i);
        randomizePitches(pitches, random);
        for (int i = 0; i < 64; ++i) {
            if (i < length)
                EXPECT_LT(pitches.steps[i].note, 29) << "step " << i;
            else
                EXPECT_EQ(pitches.steps[i].note, 100 + i) << "step " << i;
            EXPECT_EQ(pitches.steps[i].flags, gate) << "step " << i;
        }

        // Alter is a permutation of the steps that play.
        PatternRecord altered = numbered(length == 64 ? 64 : 10);
        const int altering = altered.length;
        alterPattern(altered, random);
        std::uint64_t seen = 0;
        for (int i = 0; i < altering; ++i)
            seen |= std::uint64_t{1} << (altered.steps[i].note - 1);
        EXPECT_EQ(seen, altering == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << altering) - 1);
        for (int i = altering; i < 64; ++i)
            EXPECT_EQ(altered.steps[i].note, i + 1) << "step " << i;
    }
}

TEST(PatternOperations, RandomizerDialogStartsAndResetsToItsInitialValues) {
    RandomizerSettings changed;
    changed.length = 5;
    changed.hiOctave = 7;
    changed.loOctave = 3;
    changed.noteDensity = changed.gateDensity = changed.slideDensity = changed.accentDensity = 1;
    changed.root = 4;
    changed.scale = 6;
    changed.fixScale = true;
    changed.noteEnable = changed.gateEnable = changed.slideEnable = changed.accentEnable = false;
    changed.reset();
    const RandomizerSettings fresh;
    for (const RandomizerSettings* s : {&fresh, static_cast<const RandomizerSettings*>(&changed)}) {
        EXPECT_EQ(s->length, 16);
        EXPECT_EQ(s->hiOctave, 2);
        EXPECT_EQ(s->loOctave, 2);
        EXPECT_EQ(s->noteDensity, 16);
        EXPECT_EQ(s->gateDensity, 16);
        EXPECT_EQ(s->slideDensity, 16);
        EXPECT_EQ(s->accentDensity, 16);
        EXPECT_EQ(s->root, 0);
        EXPECT_EQ(s->scale, 0);
        EXPECT_FALSE(s->fixScale);
    }
    // Reset leaves the enables; they start on.
    EXPECT_FALSE(changed.noteEnable || changed.gateEnable || changed.slideEnable ||
                 changed.accentEnable);
    EXPECT_TRUE(fresh.noteEnable && fresh.gateEnable && fresh.slideEnable && fresh.accentEnable);
}

TEST(PatternOperations, AdvancedRandomizer) {
    Random15 random{7};
    RandomizerSettings settings;
    settings.noteDensity = 0;
    settings.root = 5;
    PatternRecord pattern = numbered(16);
    advancedRandomize(pattern, settings, random);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(pattern.steps[i].note, 5); // hi = lo = 2: the root, no octave flags
        EXPECT_EQ(pattern.steps[i].flags & (up | down), 0);
        // All densities at the length: every step gated, slid and accented.
        EXPECT_EQ(pattern.steps[i].flags & (gate | slide | accent), gate | slide | accent);
    }
    for (int i = 16; i < 64; ++i) // beyond the length: untouched
        EXPECT_EQ(std::pair(int(pattern.steps[i].note), int(pattern.steps[i].flags)),
                  std::pair(i + 1, int(gate)));

    settings.reset();
    settings.gateDensity = 3;
    settings.slideEnable = false;
    settings.fixScale = true;
    settings.scale = 1;
    advancedRandomize(pattern, settings, random);
    int gates = 0;
    for (int i = 0; i < 16; ++i)
        gates += pattern.steps[i].flags & gate ? 1 : 0;
    EXPECT_EQ(gates, 3);
    EXPECT_EQ(pattern.steps[0].flags & slide, slide); // slides left as they were

    // With the scale fixed, step d takes interval d mod c of its scale over the root.
    const std::vector<std::vector<int>> scales = {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11},
                                                  {0, 2, 4, 5, 7, 9, 11, 12},
                                                  {0, 2, 3, 5, 7, 9, 10, 12},
                                                  {0, 2, 4, 6, 7, 9, 11, 12},
                                                  {0, 2, 4, 5, 7, 9, 10, 12},
                                                  {0, 2, 3, 5, 7, 8, 10, 12},
                                                  {0, 1, 3, 5, 6, 8, 10, 12}};
    for (int scale = 0; scale < 7; ++scale) {
        RandomizerSettings fixed;
        fixed.length = 24;
        fixed.noteDensity = 24;
        fixed.fixScale = true;
        fixed.scale = scale;
        PatternRecord scaled = numbered(24);
        advancedRandomize(scaled, fixed, random);
        const std::vector<int>& intervals = scales[static_cast<std::size_t>(scale)];
        for (int d = 0; d < 24; ++d) {
            EXPECT_EQ(scaled.steps[d].note, intervals[std::size_t(d) % intervals.size()])
                << "scale " << scale << " step " << d;
        }
    }

    // Settings the dialog never produces are bounded instead of looping or dividing by zero.
    settings.length = 500;
    settings.hiOctave = 1;
    settings.loOctave = 7;
    settings.noteDensity = 1000;
    settings.gateDensity = 1000;
    advancedRandomize(pattern, settings, random);
    EXPECT_EQ(pattern.length, 64);
}

TEST(PatternOperations, DamagedLengthsNeverRunPastTheSteps) {
    // Only a host chunk can bring such lengths; every operation bounds them.
    for (int length : {0, 65, 255}) {
        Random15 random{1};
        PatternRecord pattern = numbered(length);
        expandPattern(pattern);
        pattern.length = static_cast<std::uint8_t>(length);
        shrinkPattern(pattern);
        pattern.length = static_cast<std::uint8_t>(length);
        duplicateSteps(pattern);
        shiftLeft(pattern);
        shiftRight(pattern);
        transposePattern(pattern, 12);
        randomizeAll(pattern, random);
        alterPattern(pattern, random);
        clearPattern(pattern, true);
        SUCCEED();
    }
}

} // namespace
} // namespace treskpro
