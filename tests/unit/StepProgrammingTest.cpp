// Programming a pattern step by step from the panel's sequencer buttons and the mapped keys, on
// a full 64-step pattern, with write protection on and off, and on records a host chunk damaged.
#include "sequencer/StepProgramming.h"

#include <gtest/gtest.h>

#include <cstring>

namespace treskpro {
namespace {

// 64 steps, every one different: notes 0..35 and a spread of flags.
PatternRecord fullPattern() {
    PatternRecord pattern = PatternRecord::fresh();
    pattern.length = 64;
    pattern.prescale = 2;
    pattern.patternFlags = PatternRecord::tripletFlag;
    for (int i = 0; i < 64; ++i)
        pattern.steps[i] = {static_cast<std::uint8_t>(i % 36), static_cast<std::uint8_t>(i % 64)};
    return pattern;
}

bool sameBytes(const PatternRecord& a, const PatternRecord& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

constexpr StepProgrammingRules open{false, true};
constexpr StepProgrammingRules protectedPattern{true, true};

TEST(StepProgramming, WriteProtectionKeepsEveryByteWhileTheCursorStillMoves) {
    for (int code = 0; code <= 600; ++code) {
        for (const bool pitchMode : {false, true}) {
            PatternRecord pattern = fullPattern();
            const PatternRecord before = pattern;
            StepCursor cursor{40, pitchMode};
            performStepAction(pattern, cursor, code, protectedPattern);
            EXPECT_TRUE(sameBytes(pattern, before)) << "action " << code;
            EXPECT_GE(cursor.position, 0);
            EXPECT_LT(cursor.position, 64);
        }
    }

    PatternRecord pattern = fullPattern();
    StepCursor cursor{63, true};
    // A note on the last step in pitch mode leaves the note and wraps to the first step.
    performStepAction(pattern, cursor, 555 + 12, protectedPattern);
    EXPECT_EQ(pattern.steps[63].note, 63 % 36);
    EXPECT_EQ(cursor.position, 0);
    performStepAction(pattern, cursor, StepAction::back, protectedPattern);
    EXPECT_EQ(cursor.position, 63);
    // Clear keeps the steps but sends the cursor home.
    performStepAction(pattern, cursor, StepAction::clear, protectedPattern);
    EXPECT_EQ(cursor.position, 0);
    EXPECT_EQ(pattern.length, 64);
}

TEST(StepProgramming, EachActionEditsTheStepAtTheCursorOfAFullPattern) {
    PatternRecord pattern = fullPattern();
    StepCursor cursor{63, false};

    // Note keys set the note, keep the flags, and advance only in pitch mode.
    performStepAction(pattern, cursor, 590, open);
    EXPECT_EQ(pattern.steps[63].note, 35);
    EXPECT_EQ(pattern.steps[63].flags, 63);
    EXPECT_EQ(cursor.position, 63);
    EXPECT_EQ(performStepAction(pattern, cursor, StepAction::pitchMode, open),
              StepActionResult::done);
    EXPECT_TRUE(cursor.pitchMode);
    cursor.position = 62;
    for (int note : {7, 0, 12})
        performStepAction(pattern, cursor, 555 + note, open);
    EXPECT_EQ(pattern.steps[62].note, 7);
    EXPECT_EQ(pattern.steps[63].note, 0);
    EXPECT_EQ(pattern.steps[0].note, 12);
    EXPECT_EQ(pattern.steps[0].flags, 0);
    EXPECT_EQ(cursor.position, 1);
    // Leaving pitch mode goes back to the first step.
    performStepAction(pattern, cursor, StepAction::pitchMode, open);
    EXPECT_FALSE(cursor.pitchMode);
    EXPECT_EQ(cursor.position, 0);

    // The flag buttons toggle one flag of the step at the cursor, nothing else.
    cursor.position = 5; // flags 0x05: gate and down
    const PatternRecord before = pattern;
    const struct {
        int code;
        std::uint8_t flag;
    } toggles[] = {{StepAction::timeMode, StepFlags::gate},
                   {StepAction::down, StepFlags::down},
                   {StepAction::up, StepFlags::up},
                   {StepAction::accent, StepFlags::accent},
                   {StepAction::slide, StepFlags::slide}};
    for (const auto& toggle : toggles) {
        performStepAction(pattern, cursor, toggle.code, open);
        EXPECT_EQ(pattern.steps[5].flags, 0x05 ^ toggle.flag) << toggle.code;
        EXPECT_EQ(pattern.steps[5].note, 5);
        performStepAction(pattern, cursor, toggle.code, open);
    }
    EXPECT_TRUE(sameBytes(pattern, before));

    // Moving wraps at both ends of the pattern; home returns to the first step.
    cursor.position = 0;
    performStepAction(pattern, cursor, StepAction::back, open);
    EXPECT_EQ(cursor.position, 63);
    performStepAction(pattern, cursor, StepAction::next, open);
    EXPECT_EQ(cursor.position, 0);
    cursor.position = 30;
    performStepAction(pattern, cursor, StepAction::home, open);
    EXPECT_EQ(cursor.position, 0);

    // Run/stop is the caller's; the three spare keys do nothing; unknown codes are refused.
    EXPECT_EQ(performStepAction(pattern, cursor, StepAction::runStop, open),
              StepActionResult::toggleRunStop);
    for (int code : {StepAction::noteOn, StepAction::noteOff, StepAction::noteTie})
        EXPECT_EQ(performStepAction(pattern, cursor, code, open), StepActionResult::done);
    for (int code : {-1, 0, 12, 29, 554, 591, 100000})
        EXPECT_EQ(performStepAction(pattern, cursor, code, open), StepActionResult::unknown);
    EXPECT_TRUE(sameBytes(pattern, before));

    // The length stays within 1..64, and a cursor past the new end comes back onto it.
    cursor.position = 63;
    performStepAction(pattern, cursor, StepAction::longer, open);
    EXPECT_EQ(pattern.length, 64);
    performStepAction(pattern, cursor, StepAction::shorter, open);
    EXPECT_EQ(pattern.length, 63);
    EXPECT_EQ(cursor.position, 62);
    for (int i = 0; i < 70; ++i)
        performStepAction(pattern, cursor, StepAction::shorter, open);
    EXPECT_EQ(pattern.length, 1);
    EXPECT_EQ(cursor.position, 0);
    EXPECT_EQ(pattern.steps[63].note, 0); // steps beyond the length are kept
    performStepAction(pattern, cursor, StepAction::longer, open);
    EXPECT_EQ(pattern.length, 2);

    // Clear: the steps that play become note 0, gated or not as ClearNotes says.
    pattern = fullPattern();
    pattern.length = 32;
    cursor.position = 20;
    performStepAction(pattern, cursor, StepAction::clear, {false, false});
    EXPECT_EQ(cursor.position, 0);
    EXPECT_FALSE(pattern.triplet());
    EXPECT_EQ(pattern.steps[31].note, 0);
    EXPECT_EQ(pattern.steps[31].flags, 0);
    EXPECT_EQ(pattern.steps[32].note, 32);
    performStepAction(pattern, cursor, StepAction::clear, {false, true});
    EXPECT_EQ(pattern.steps[0].flags, StepFlags::gate);
}

TEST(StepProgramming, DamagedRecordsFromAChunkAreEditedWithinTheirSteps) {
    for (const std::uint8_t length : {std::uint8_t{0}, std::uint8_t{65}, std::uint8_t{255}}) {
        PatternRecord pattern = fullPattern();
        pattern.length = length;
        pattern.steps[0].note = 200;
        StepCursor cursor{1000, true};
        for (int code = 0; code <= 600; ++code) {
            performStepAction(pattern, cursor, code, open);
            ASSERT_GE(cursor.position, 0);
            ASSERT_LT(cursor.position, pattern.playableLength());
            // Only the length buttons write the length, and never outside 1..64.
            if (code == StepAction::longer || code == StepAction::shorter) {
                ASSERT_GE(pattern.length, 1) << "action " << code;
                ASSERT_LE(pattern.length, 64) << "action " << code;
            } else {
                ASSERT_EQ(pattern.length, length) << "action " << code;
            }
            pattern.length = length;
        }
    }

    // A note beyond 35 is kept by the flag buttons and replaced by a note key.
    PatternRecord pattern = fullPattern();
    pattern.length = 0;
    pattern.steps[0].note = 200;
    StepCursor cursor{-5, false};
    performStepAction(pattern, cursor, StepAction::accent, open);
    EXPECT_EQ(cursor.position, 0);
    EXPECT_EQ(pattern.steps[0].note, 200);
    EXPECT_EQ(pattern.steps[0].flags, StepFlags::accent);
    performStepAction(pattern, cursor, 555 + 3, open);
    EXPECT_EQ(pattern.steps[0].note, 3);
    // A pattern of length 0 plays as one step: next stays on it, longer makes it two.
    performStepAction(pattern, cursor, StepAction::next, open);
    EXPECT_EQ(cursor.position, 0);
    performStepAction(pattern, cursor, StepAction::longer, open);
    EXPECT_EQ(pattern.length, 2);
}

} // namespace
} // namespace treskpro
