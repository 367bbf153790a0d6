// The patch in memory: the initial values a new patch starts from, the byte images that files
// and the host chunk carry, and the range checks of its setters.
#include "engine/Parameters.h"
#include "files/TreskproPatch.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

namespace treskpro {
namespace {

TEST(Patch, InitialValues) {
    const TreskproPatch patch;
    EXPECT_STREQ(patch.program.name, "Default");
    EXPECT_EQ(patch.getParameter(Parameter::MasterTuning), 0.5f);
    EXPECT_EQ(patch.getParameter(Parameter::FilterCutoff), 0.5f);
    EXPECT_EQ(patch.getParameter(Parameter::FilterResonance), 0.0f);
    EXPECT_EQ(patch.getParameter(Parameter::EnvelopeMod), 0.2f);
    EXPECT_EQ(patch.getParameter(Parameter::MasterVolume), 0.75f);
    EXPECT_EQ(patch.getParameter(Parameter::Tempo), 0.42222223f);
    EXPECT_EQ(patch.getParameter(Parameter::Vco1Level), 1.0f);
    EXPECT_EQ(patch.getParameter(Parameter::Vco2Level), 0.0f);
    EXPECT_EQ(patch.getParameter(Parameter::EnvFollowRelease), 0.01f);
    EXPECT_EQ(patch.getParameter(Parameter::OutputVariable2), 0.75f);
    EXPECT_EQ(patch.getParameter(Parameter::OutputLagTime), 0.1f);
    EXPECT_EQ(patch.getParameter(Parameter::Inverter2Mode), 0.0f);
    int nonZero = 0;
    for (int i = 0; i < PatchProgram::slotCount; ++i)
        nonZero += patch.getParameter(i) != 0.0f ? 1 : 0;
    EXPECT_EQ(nonZero, 25);

    for (int i = 0; i < TreskproPatch::stateSlotCount; ++i)
        EXPECT_EQ(patch.getState(i), i == State::FilterMode ? 3 : 0) << i;
    EXPECT_EQ(patch.connections.size(), 0);
    for (const PatternRecord& pattern : patch.patterns) {
        EXPECT_EQ(pattern.length, 16);
        EXPECT_EQ(pattern.steps[0].flags, 0); // every step a silent rest
    }
    EXPECT_STREQ(patch.info.text, "");
    EXPECT_EQ(patch.info.showFlag, 0);
    EXPECT_STREQ(patch.info.patchName, "Tresk Pro Patch");
}

TEST(Patch, BlockImagesHaveTheirFixedLayouts) {
    EXPECT_EQ(sizeof(PatchProgram), 5760u);
    EXPECT_EQ(offsetof(PatchProgram, parameters), 24u);
    EXPECT_EQ(offsetof(PatchProgram, reserved), 24u + 128u * 4u);
    EXPECT_EQ(sizeof(ConnectionList), 1028u);
    EXPECT_EQ(offsetof(ConnectionList, pairs), 4u);
    EXPECT_EQ(sizeof(PatternBank), 16896u);
    EXPECT_EQ(sizeof(PatchInfo), 1288u);
    EXPECT_EQ(offsetof(PatchInfo, reserved), 1024u);
    EXPECT_EQ(offsetof(PatchInfo, showFlag), 1028u);
    EXPECT_EQ(offsetof(PatchInfo, patchName), 1029u);
    EXPECT_EQ(sizeof(TreskproPatch::states), 100u);

    // Little-endian words without padding: what a chunk or file dump copies byte for byte.
    TreskproPatch patch;
    patch.setParameter(Parameter::FilterCutoff, 1.0f);
    unsigned char program[sizeof(PatchProgram)];
    std::memcpy(program, &patch.program, sizeof program);
    EXPECT_EQ(std::memcmp(program, "Default\0", 8), 0);
    const unsigned char one[] = {0x00, 0x00, 0x80, 0x3f}; // 1.0f
    EXPECT_EQ(std::memcmp(program + 24 + 4 * Parameter::FilterCutoff, one, 4), 0);

    patch.connections.append({4, 34});
    unsigned char connections[sizeof(ConnectionList)];
    std::memcpy(connections, &patch.connections, sizeof connections);
    const unsigned char expected[] = {1, 0, 0, 0, 4, 0, 0, 0, 34, 0, 0, 0};
    EXPECT_EQ(std::memcmp(connections, expected, sizeof expected), 0);

    unsigned char states[100];
    std::memcpy(states, patch.states.data(), sizeof states);
    EXPECT_EQ(states[4 * State::FilterMode], 3);
}

TEST(Patch, SettersRefuseIndexesOutsideTheSlotsAndSaySo) {
    TreskproPatch patch;
    EXPECT_TRUE(patch.setParameter(127, 0.25f));
    EXPECT_EQ(patch.getParameter(127), 0.25f);

    testing::internal::CaptureStderr();
    EXPECT_FALSE(patch.setParameter(128, 0.5f));
    EXPECT_FALSE(patch.setParameter(-1, 0.5f));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "TreskproPatch::setParameter() : index out of range\n"
              "TreskproPatch::setParameter() : index out of range\n");

    testing::internal::CaptureStderr();
    EXPECT_FALSE(patch.setState(25, 1));
    EXPECT_TRUE(patch.setState(24, 9));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "TreskproPatch::setState() : index out of range\n");
    EXPECT_EQ(patch.getState(24), 9);

    // Reads outside the slots answer 0 instead of reading past the blocks.
    EXPECT_EQ(patch.getParameter(5000), 0.0f);
    EXPECT_EQ(patch.getState(-3), 0);
}

TEST(Patch, CurrentPatternIsBoundedToTheBank) {
    TreskproPatch patch;
    patch.setState(State::CurrentPattern, 42);
    EXPECT_EQ(patch.currentPatternIndex(), 42);
    patch.setState(State::CurrentPattern, 500);
    EXPECT_EQ(patch.currentPatternIndex(), 127);
    patch.setState(State::CurrentPattern, -1);
    EXPECT_EQ(patch.currentPatternIndex(), 0);
}

} // namespace
} // namespace treskpro
