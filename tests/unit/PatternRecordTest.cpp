// The pattern record: pitch and tie rules playback depends on, bulk flag operations, the repair
// of damaged records, and the byte image shared with files and the host chunk.
#include "sequencer/PatternRecord.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

namespace treskpro {
namespace {

PatternRecord withFlags(std::initializer_list<std::uint8_t> flags, int length = 16) {
    PatternRecord record = PatternRecord::fresh();
    record.length = static_cast<std::uint8_t>(length);
    int i = 0;
    for (std::uint8_t f : flags)
        record.steps[i++].flags = f;
    return record;
}

TEST(PatternRecord, ByteImageLayout) {
    EXPECT_EQ(offsetof(PatternRecord, patternFlags), 0u);
    EXPECT_EQ(offsetof(PatternRecord, prescale), 1u);
    EXPECT_EQ(offsetof(PatternRecord, reserved), 2u);
    EXPECT_EQ(offsetof(PatternRecord, length), 3u);
    EXPECT_EQ(offsetof(PatternRecord, steps), 4u);

    PatternRecord record = PatternRecord::fresh();
    record.steps[5].note = 7;
    record.steps[5].flags = StepFlags::gate | StepFlags::accent;
    unsigned char bytes[sizeof record];
    std::memcpy(bytes, &record, sizeof record);
    EXPECT_EQ(bytes[3], 16);
    EXPECT_EQ(bytes[4 + 2 * 5], 7);
    EXPECT_EQ(bytes[5 + 2 * 5], 0x11);
    // Note and flags read as one little-endian word: the flags are the high byte.
    std::uint16_t word;
    std::memcpy(&word, bytes + 4 + 2 * 5, 2);
    EXPECT_EQ(word, 0x1107);
}

TEST(PatternRecord, FreshRecordIsAnEmptySixteenStepPattern) {
    const PatternRecord record = PatternRecord::fresh();
    EXPECT_EQ(record.length, 16);
    EXPECT_EQ(record.prescale, 0);
    EXPECT_FALSE(record.triplet());
    for (const PatternStep& step : record.steps) {
        EXPECT_EQ(step.note, 0);
        EXPECT_EQ(step.flags, 0);
    }
}

TEST(PatternRecord, StepPitchAddsOctaveShifts) {
    PatternRecord record = PatternRecord::fresh();
    record.steps[0] = {12, StepFlags::gate | StepFlags::up};
    record.steps[1] = {0, StepFlags::gate | StepFlags::down};
    record.steps[2] = {7, StepFlags::up | StepFlags::down};
    record.steps[3] = {0xF4, StepFlags::gate}; // a note byte read as signed: -12
    EXPECT_EQ(record.stepSemitones(0), 24);
    EXPECT_EQ(record.stepSemitones(1), -12);
    EXPECT_EQ(record.stepSemitones(2), 7);
    EXPECT_EQ(record.stepSemitones(3), -12);
}

TEST(PatternRecord, TieDurationCountsFollowingTiesWithoutWrapping) {
    using namespace StepFlags;
    const PatternRecord chain = withFlags({gate, tie, tie, 0});
    EXPECT_EQ(chain.tieDuration(0), 3);
    EXPECT_EQ(chain.tieDuration(3), 1);

    const PatternRecord toTheEnd = withFlags({gate, tie, tie, tie}, 4);
    EXPECT_EQ(toTheEnd.tieDuration(0), 4);
    EXPECT_EQ(toTheEnd.tieDuration(3), 1);

    // Ties beyond the length do not count, and a damaged length never runs past the steps.
    PatternRecord longTies = withFlags({gate}, 200);
    for (int i = 1; i < 64; ++i)
        longTies.steps[i].flags = tie;
    EXPECT_EQ(longTies.tieDuration(0), 64);
    longTies.length = 8;
    EXPECT_EQ(longTies.tieDuration(0), 8);
}

TEST(PatternRecord, BulkOperationsTouchOnlyTheStepsThatPlay) {
    using namespace StepFlags;
    const std::uint8_t all = gate | slide | accent | tie | up;
    for (int length : {8, 64}) {
        PatternRecord record = PatternRecord::fresh();
        for (PatternStep& step : record.steps)
            step.flags = all;
        record.length = static_cast<std::uint8_t>(length);
        record.clearAccents();
        record.clearSlides();
        for (int i = 0; i < 64; ++i)
            EXPECT_EQ(record.steps[i].flags, i < length ? gate | tie | up : all) << i;
        record.clearGatesAndTies();
        for (int i = 0; i < 64; ++i)
            EXPECT_EQ(record.steps[i].flags, i < length ? up : all) << i;
    }
}

TEST(PatternRecord, ShorteningKeepsTheStepsBeyondTheLength) {
    PatternRecord record = PatternRecord::fresh();
    for (int i = 0; i < 16; ++i)
        record.steps[i] = {static_cast<std::uint8_t>(i), StepFlags::gate};
    record.length = 8;
    record.length = 16;
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(record.steps[i].note, i);
}

TEST(PatternRecord, RepairMakesDamagedRecordsPlayable) {
    for (int badLength : {0, 65, 255}) {
        PatternRecord record = PatternRecord::fresh();
        record.length = static_cast<std::uint8_t>(badLength);
        record.patternFlags = PatternRecord::tripletFlag;
        record.steps[3] = {9, StepFlags::accent};
        record.steps[20] = {5, StepFlags::slide};
        record.repair();
        EXPECT_EQ(record.length, 16);
        EXPECT_FALSE(record.triplet());
        EXPECT_EQ(record.steps[3].note, 0);
        EXPECT_EQ(record.steps[3].flags, StepFlags::gate);
        EXPECT_EQ(record.steps[20].note, 5); // only the first 16 steps are reset
    }
    PatternRecord record = PatternRecord::fresh();
    record.prescale = 7;
    record.patternFlags = PatternRecord::tripletFlag;
    record.repair();
    EXPECT_EQ(record.prescale, 0);
    EXPECT_TRUE(record.triplet()); // a valid length keeps its triplet flag
}

TEST(PatternRecord, PrescaleFactorsAndNoteNames) {
    EXPECT_EQ(prescaleFactor(0), 1.0);
    EXPECT_EQ(prescaleFactor(1), 2.0);
    EXPECT_EQ(prescaleFactor(2), 0.75);
    EXPECT_EQ(prescaleFactor(3), 1.5);
    EXPECT_FALSE(prescaleFactor(4).has_value());
    EXPECT_STREQ(noteName(0), "c-");
    EXPECT_STREQ(noteName(13), "c#");
    EXPECT_STREQ(noteName(35), "b-");
}

} // namespace
} // namespace treskpro
