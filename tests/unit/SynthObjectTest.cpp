// The plug-in object in-process (instrument build): its tables, the tempo tied to parameter 9,
// the program name and the host queries of the block entry.
#include "engine/Parameters.h"
#include "platform/Platform.h"
#include "plugin/TreskproPlugin.h"
#include "tests/support/SynthInternals.h"
#include "tests/unit/FrequencyAnalysis.h"
#include "toolkit/CPlatformWindow.h"
#include "tools/render/MidiEventList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <vector>

namespace treskpro {
namespace {

vst::VstTimeInfo hostTime{};
bool hostAnswersTime = true;
std::vector<vst::int32> hostCalls;

vst::intptr VSTCALLBACK fakeHost(vst::AEffect*, vst::int32 opcode, vst::int32, vst::intptr, void*,
                                 float) {
    hostCalls.push_back(opcode);
    if (opcode == vst::audioMasterVersion)
        return 2400;
    if (opcode == vst::audioMasterGetTime)
        return hostAnswersTime ? reinterpret_cast<vst::intptr>(&hostTime) : 0;
    return 0;
}

class SynthObject : public ::testing::Test {
protected:
    void SetUp() override {
        hostTime = {};
        hostTime.tempo = 140.0;
        hostAnswersTime = true;
        hostCalls.clear();
    }
    TreskproPlugin synth{fakeHost, testing::TempDir()};
};

TEST_F(SynthObject, TablesAreRegisteredInOrder) {
    ASSERT_EQ(synth.parameters().size(), 73);
    EXPECT_STREQ(synth.parameters().name(0), "Master Tuning");
    EXPECT_STREQ(synth.parameters().name(9), "Tempo");
    EXPECT_STREQ(synth.parameters().name(39), "Sync 2->1");
    EXPECT_STREQ(synth.parameters().name(62), "Output Variable");
    EXPECT_STREQ(synth.parameters().name(64), "Output Variable");
    EXPECT_STREQ(synth.parameters().name(72), "Inverter 2 Mode");
    EXPECT_STREQ(synth.parameters().name(73), "");
    EXPECT_STREQ(synth.parameters().name(-1), "");
    EXPECT_EQ(synth.parameters().entry(9).tag, 603);
    EXPECT_EQ(synth.parameters().entry(22).tag, 1400);
    EXPECT_EQ(synth.parameters().entry(72).tag, 0);
    for (int i = 0; i < 73; ++i)
        EXPECT_EQ(synth.parameters().entry(i).index, i);

    EXPECT_EQ(synth.sockets().size(), 42);
    EXPECT_STREQ(synth.sockets().socketName(41), "Channel Pressure");

    ASSERT_EQ(synth.states().size(), 12);
    EXPECT_STREQ(synth.states().name(0), "RunStop");
    EXPECT_STREQ(synth.states().name(7), "FilterMode");
    EXPECT_STREQ(synth.states().name(11), "PatternWriteProtect");
    EXPECT_EQ(synth.getState(State::FilterMode), 3);
}

TEST(Registries, CapacitiesAreEnforced) {
    ParameterRegistry parameters;
    for (int i = 0; i < ParameterRegistry::capacity; ++i)
        ASSERT_TRUE(parameters.registerParameter(0, "p"));
    EXPECT_FALSE(parameters.registerParameter(0, "one too many"));

    StateRegistry states;
    int mirror = -1;
    EXPECT_TRUE(states.registerState(&mirror, "WithMirror", 7));
    EXPECT_EQ(mirror, 7);
    for (int i = 1; i < StateRegistry::capacity; ++i)
        ASSERT_TRUE(states.registerState(nullptr, "s", 0));
    EXPECT_FALSE(states.registerState(nullptr, "one too many", 0));

    // Names longer than the record are cut, never overrun.
    const std::string longName(300, 'x');
    ParameterRegistry named;
    named.registerParameter(1, longName.c_str());
    EXPECT_EQ(std::string(named.name(0)), std::string(79, 'x'));
}

TEST_F(SynthObject, TempoFollowsParameterNineAndIsClamped) {
    EXPECT_NEAR(synth.tempo(), 120.0, 1e-4); // from the new patch
    synth.setParameter(Parameter::Tempo, 0.42222223f);
    EXPECT_NEAR(synth.tempo(), 120.0, 1e-4);
    EXPECT_NEAR(synth.samplesPerStep(), 5512.5, 1e-2);

    synth.setTempo(600.0);
    EXPECT_EQ(synth.tempo(), 500.0);
    EXPECT_NEAR(synth.getParameter(Parameter::Tempo), 2.1111111f, 1e-6);
    synth.setTempo(10.0);
    EXPECT_EQ(synth.tempo(), 25.0);
    EXPECT_EQ(synth.getParameter(Parameter::Tempo), 0.0f);
    synth.setTempo(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(synth.tempo(), 25.0);

    // A new sample rate keeps a sixteenth note the same length in time.
    synth.setTempo(120.0);
    synth.dispatch(vst::effSetSampleRate, 0, 0, nullptr, 48000.0f);
    EXPECT_DOUBLE_EQ(synth.samplesPerStep(), 6000.0);
    synth.dispatch(vst::effSetSampleRate, 0, 0, nullptr, 0.0f); // ignored
    EXPECT_EQ(Internals::sampleRate(synth), 48000.0f);
}

TEST_F(SynthObject, EngineBlocksFollowTheHostBlockSizeAndClearOnSuspend) {
    float* block = nullptr;
    ASSERT_TRUE(Internals::engineBlocks(synth).registerBlock(&block, 2));
    synth.dispatch(vst::effSetBlockSize, 0, 4096, nullptr, 0.0f);
    EXPECT_EQ(Internals::blockSize(synth), 4096);
    EXPECT_EQ(Internals::engineBlocks(synth).blockSize(), 4096);
    block[2 * 4096 - 1] = 1.0f;
    synth.dispatch(vst::effMainsChanged, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(block[2 * 4096 - 1], 0.0f);
    synth.dispatch(vst::effSetBlockSize, 0, -1, nullptr, 0.0f); // ignored
    EXPECT_EQ(Internals::blockSize(synth), 4096);
}

TEST_F(SynthObject, ProgramNameIsThePatchFileBaseName) {
    // A new instance names the default patch of its folder, without loading it.
    EXPECT_EQ(synth.programName(), "Tresk Pro Patch");
    synth.setCurrentPatchPath("");
    EXPECT_EQ(synth.programName(), "");
    synth.setCurrentPatchPath("C:\\Plugins\\Sounds\\Acid Line.tpro");
    EXPECT_EQ(synth.programName(), "Acid Line");
    synth.setCurrentPatchPath("/home/me/Sounds/Squelch.tpro");
    EXPECT_EQ(synth.programName(), "Squelch");
    synth.setCurrentPatchPath("C:\\Sounds\\Not a patch.txt");
    EXPECT_EQ(synth.programName(), "");
    synth.setCurrentPatchPath("NoFolder.tpro");
    EXPECT_EQ(synth.programName(), "");

    // The host's 24-byte buffer gets at most 23 characters and the terminator.
    synth.setCurrentPatchPath("C:\\A very long patch name for a small buffer.tpro");
    char name[32];
    std::memset(name, '#', sizeof name);
    synth.dispatch(vst::effGetProgramName, 0, 0, name, 0.0f);
    EXPECT_EQ(std::string(name), "A very long patch name ");
    EXPECT_EQ(name[24], '#');
}

TEST_F(SynthObject, BlockEntryAsksTheHostAndFollowsItsTempoInSyncMode) {
    std::vector<float> left(64, 1.0f), right(64, 1.0f);
    float* outputs[] = {left.data(), right.data()};
    synth.processReplacing(nullptr, outputs, 64);
    EXPECT_EQ(std::count(hostCalls.begin(), hostCalls.end(), vst::audioMasterPinConnected), 2);
    EXPECT_EQ(std::count(hostCalls.begin(), hostCalls.end(), vst::audioMasterGetTime), 1);
    EXPECT_TRUE(Internals::isInputConnected(synth, 0)); // the host answered 0: connected
    EXPECT_EQ(std::count(left.begin(), left.end(), 0.0f), 64);
    EXPECT_NEAR(synth.tempo(), 120.0, 1e-4); // own tempo while SyncMode is 0

    synth.setState(State::SyncMode, 1);
    synth.processReplacing(nullptr, outputs, 64);
    EXPECT_EQ(synth.tempo(), 140.0);
    hostAnswersTime = false; // no time info: the tempo stays
    synth.processReplacing(nullptr, outputs, 64);
    EXPECT_EQ(synth.tempo(), 140.0);
}

TEST_F(SynthObject, SuspendStopsThePatternSequencerOfTheInstrument) {
    synth.setState(State::RunStop, 1);
    synth.setState(State::MidiMode, 1);
    synth.dispatch(vst::effMainsChanged, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(synth.getState(State::RunStop), 1); // keyboard mode: untouched
    synth.setState(State::MidiMode, 0);
    synth.dispatch(vst::effMainsChanged, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(synth.getState(State::RunStop), 0);

    hostCalls.clear();
    synth.dispatch(vst::effMainsChanged, 0, 1, nullptr, 0.0f);
    EXPECT_EQ(hostCalls, std::vector<vst::int32>{vst::audioMasterWantMidi});
}

TEST_F(SynthObject, MidiKeyNamesOnlyInPatternMode) {
    vst::MidiKeyName key{};
    key.thisKeyNumber = 36;
    EXPECT_EQ(synth.dispatch(vst::effGetMidiKeyName, 0, 0, &key, 0.0f), 1);
    EXPECT_STREQ(key.keyName, "Pattern 36");
    synth.setState(State::MidiMode, 1);
    std::strcpy(key.keyName, "untouched");
    EXPECT_EQ(synth.dispatch(vst::effGetMidiKeyName, 0, 0, &key, 0.0f), 0);
    EXPECT_STREQ(key.keyName, "untouched");
}

TEST(SynthWithoutHost, KeepsTheInterfaceDefaults) {
    TreskproPlugin synth(nullptr);
    EXPECT_EQ(synth.effect()->numInputs, 1);
    EXPECT_EQ(synth.effect()->numOutputs, 2);
    // The panel is announced where the toolkit can open windows (Windows, Linux with a display).
    const vst::int32 editor = toolkit::platformHasWindows() ? vst::effFlagsHasEditor : 0;
    EXPECT_EQ(synth.effect()->flags,
              vst::effFlagsCanReplacing | vst::effFlagsProgramChunks | editor);
    EXPECT_EQ(synth.effect()->uniqueID, vst::fourCharacters('V', 'k', '7', 'p'));
}

} // namespace
} // namespace treskpro

namespace treskpro {
namespace {

// An instance in a plug-in folder of its own, as a user installs it.
class PluginFolderFiles : public ::testing::Test {
protected:
    void SetUp() override {
        folder = testing::TempDir() + "plugin-folder-files";
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder + "/Tresk Pro Patches/Acid");
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    void write(const std::string& name, const std::string& text) {
        std::ofstream(folder + "/" + name, std::ios::binary) << text;
    }
    std::string folder;
};

TEST_F(PluginFolderFiles, TuningAndClearedPatternsAtStartUp) {
    write("Custom.tun", "100 200 300");
    write("Config.ini", "Tuning = \"" + folder + "/Custom.tun\"\r\nClearNotes = 0\r\n");
    TreskproPlugin synth(fakeHost, folder);
    EXPECT_EQ(Internals::tuningTable(synth)[0], 100.0f);
    EXPECT_EQ(Internals::tuningTable(synth)[2], 300.0f);
    EXPECT_NEAR(Internals::tuningTable(synth)[69], 440.0f,
                1e-3f);                                     // beyond the file: standard pitch
    EXPECT_EQ(synth.patch().patterns[5].steps[0].flags, 0); // cleared to rests

    TreskproPlugin gated(fakeHost, testing::TempDir());
    EXPECT_EQ(gated.patch().patterns[127].steps[15].flags, StepFlags::gate);
    EXPECT_EQ(gated.patch().patterns[127].steps[16].flags, 0);
}

TEST_F(PluginFolderFiles, TheCustomTuningSoundsOnlyInCustomMode) {
    // Every note of the custom table a fourth below its standard pitch.
    std::string numbers;
    double standard = 8.175798915636872;
    for (int k = 0; k < 128; ++k, standard *= 1.059463094359)
        numbers += std::to_string(0.75 * standard) + "\n";
    write("Fourth Down.tun", numbers);
    auto pitchPlayed = [&](int tuningMode) {
        write("Config.ini", "Tuning = \"" + folder + "/Fourth Down.tun\"\r\nTuningMode = " +
                                std::to_string(tuningMode) + "\r\nOscModel = 0\r\n");
        TreskproPlugin synth(fakeHost, folder);
        synth.dispatch(vst::effSetSampleRate, 0, 0, nullptr, 44100.0f);
        synth.dispatch(vst::effSetBlockSize, 0, 512, nullptr, 0.0f);
        synth.dispatch(vst::effMainsChanged, 0, 1, nullptr, 0.0f);
        synth.setState(State::MidiMode, 1);
        synth.setParameter(Parameter::FilterCutoff, 1.0f);
        synth.setParameter(Parameter::EnvelopeMod, 0.0f);
        MidiEventList midi;
        midi.add(0, 0x90, 69, 100);
        synth.processEvents(midi.record());
        std::vector<float> left(512), right(512), played;
        float* outputs[] = {left.data(), right.data()};
        for (int block = 0; block < 32; ++block) {
            synth.processReplacing(nullptr, outputs, 512);
            if (block >= 8) // past the attack
                played.insert(played.end(), left.begin(), left.end());
        }
        return test::zeroCrossingFrequency(played, 44100.0);
    };
    const double custom = pitchPlayed(0);
    const double standardPitch = pitchPlayed(1);
    ASSERT_GT(standardPitch, 0.0);
    EXPECT_NEAR(custom / standardPitch, 0.75, 0.002);
}

TEST_F(PluginFolderFiles, ConfigSnapshotsAndTheStartPatch) {
    TreskproPlugin synth(fakeHost, folder);
    synth.setState(State::FilterMode, 1);
    ASSERT_TRUE(synth.writeConfig("Config.bak"));
    synth.setState(State::FilterMode, 4);
    synth.readConfig("Config.bak"); // the dialog's Cancel
    EXPECT_EQ(synth.getState(State::FilterMode), 1);

    const std::string separator(1, platform::pathSeparator);
    const std::string inside =
        synth.folder().patchFolder() + separator + "Acid" + separator + "Line.tpro";
    ASSERT_TRUE(synth.savePatch(inside));
    ASSERT_TRUE(synth.folder().setStartPatch(synth.currentPatchPath()));
    std::ifstream startFile(folder + "/StartupPatch.ini", std::ios::binary);
    const std::string start((std::istreambuf_iterator<char>(startFile)),
                            std::istreambuf_iterator<char>());
    EXPECT_EQ(start, "\"Acid" + separator + "Line.tpro\"");

    ASSERT_TRUE(synth.savePatch(folder + "/Elsewhere.tpro"));
    EXPECT_FALSE(synth.folder().setStartPatch(
        synth.currentPatchPath())); // outside the patch folder: the file stays
    synth.setState(State::FilterMode, 5);
    synth.savePatch(inside);

    TreskproPlugin restarted(fakeHost, folder);
    EXPECT_EQ(restarted.programName(), "Line");
    EXPECT_EQ(restarted.getState(State::FilterMode), 5);
}

} // namespace
} // namespace treskpro
