// What only the effect build does differently inside: a host suspend leaves the sequencer
// running, since the effect follows the host's audio rather than its transport.
#include "engine/Parameters.h"
#include "plugin/TreskproPlugin.h"

#include <gtest/gtest.h>

namespace treskpro {
namespace {

vst::intptr VSTCALLBACK quietHost(vst::AEffect*, vst::int32 opcode, vst::int32, vst::intptr, void*,
                                  float) {
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}

TEST(EffectBuild, SuspendKeepsThePatternSequencerRunning) {
    TreskproPlugin effect(quietHost, testing::TempDir());
    EXPECT_EQ(effect.effect()->uniqueID, vst::fourCharacters('J', 'd', '4', 'q'));
    EXPECT_EQ(effect.effect()->flags & vst::effFlagsIsSynth, 0);
    effect.setState(State::MidiMode, 0);
    effect.setState(State::RunStop, 1);
    effect.dispatch(vst::effMainsChanged, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(effect.getState(State::RunStop), 1);
}

} // namespace
} // namespace treskpro
