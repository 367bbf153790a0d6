// The pattern menu's whole-pattern edits on small patterns, and the randomizers' guarantees.
#include "sequencer/PatternOperations.h"

#include <gtest/gtest.h>

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

TEST(PatternOperations, ExpandShrinkDuplicateAndShift) {
    PatternRecord pattern = numbered(16);
    expandPattern(pattern);
    EXPECT_EQ(pattern.length, 32);
    EXPECT_EQ(pattern.steps[2].note, 2);
    EXPECT_EQ(pattern.steps[3].note, 0);
    EXPECT_EQ(pattern.steps[3].flags, 0);
    PatternRecord forty = numbered(40);
    expandPattern(forty);
    EXPECT_EQ(forty.length, 64);
    EXPECT_EQ(forty.steps[62].note, 32); // only the first 32 old steps survive

    PatternRecord one = numbered(1);
    shrinkPattern(one);
    EXPECT_EQ(one.length, 1);
    PatternRecord fifteen = numbered(15);
    shrinkPattern(fifteen);
    EXPECT_EQ(fifteen.length, 7);
    EXPECT_EQ(fifteen.steps[3].note, 7);
    EXPECT_EQ(fifteen.steps[7].note, 0); // emptied beyond the new length

    PatternRecord five = numbered(5);
    duplicateSteps(five);
    EXPECT_EQ(five.steps[5].note, 1);
    EXPECT_EQ(five.steps[63].note, 4); // steps 60..63 repeat steps 0..3

    PatternRecord four = numbered(4);
    shiftRight(four);
    EXPECT_EQ(four.steps[0].note, 4);
    EXPECT_EQ(four.steps[1].note, 1);
    EXPECT_EQ(four.steps[4].note, 5); // beyond the length: untouched
    shiftLeft(four);
    EXPECT_EQ(four.steps[0].note, 1);
    EXPECT_EQ(four.steps[3].note, 4);
}

TEST(PatternOperations, TransposeKeepsNotesWithinAnOctaveAndTheFlags) {
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
}

TEST(PatternOperations, ClearCopyAndPaste) {
    PatternRecord pattern = numbered(8);
    pattern.patternFlags = PatternRecord::tripletFlag;
    clearPattern(pattern, false);
    EXPECT_FALSE(pattern.triplet());
    EXPECT_EQ(pattern.steps[7].flags, 0);
    EXPECT_EQ(pattern.steps[8].note, 9); // beyond the length: untouched
    clearPattern(pattern, true);
    EXPECT_EQ(pattern.steps[0].flags, gate);

    PatternRecord source = numbered(12);
    source.prescale = 3;
    copyPattern(source, patternClipboard());
    PatternRecord target = PatternRecord::fresh();
    target.prescale = 1;
    pastePattern(target, patternClipboard());
    EXPECT_EQ(target.length, 12);
    EXPECT_EQ(target.steps[63].note, 64);
    EXPECT_EQ(target.prescale, 1); // prescale is not carried
}

TEST(PatternOperations, RandomizersStayWithinTheirRanges) {
    Random15 random{12345};
    PatternRecord pattern = numbered(16);
    randomizeAll(pattern, random);
    for (int i = 0; i < 16; ++i) {
        EXPECT_LT(pattern.steps[i].note, 14);
        EXPECT_EQ(pattern.steps[i].flags & tie, 0);
    }
    EXPECT_EQ(pattern.steps[16].note, 17);
    randomizePitches(pattern, random);
    for (int i = 0; i < 16; ++i)
        EXPECT_LT(pattern.steps[i].note, 29);

    // Alter is a permutation of the steps that play.
    PatternRecord altered = numbered(10);
    alterPattern(altered, random);
    int seen = 0;
    for (int i = 0; i < 10; ++i)
        seen |= 1 << (altered.steps[i].note - 1);
    EXPECT_EQ(seen, (1 << 10) - 1);
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
