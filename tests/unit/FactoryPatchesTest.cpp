// The factory patches: the step notation they are written in, the files the build put in the
// bundle, and what each one does when a user loads it.
#include "tools/patches/FactoryPatches.h"
#include "engine/Parameters.h"
#include "engine/SocketRegistry.h"
#include "engine/WavetableSet.h"
#include "files/PatchFile.h"
#include "files/SafeFile.h"
#include "platform/Platform.h"
#include "plugin/TreskproPlugin.h"
#include "tools/patches/PatternNotation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace treskpro {
namespace {

using factory::FactoryPatch;
using factory::parsePattern;
using factory::PatternNotationError;

TEST(PatternNotation, NotesFlagsRestsAndTies) {
    const PatternRecord record = parsePattern("C2a D#2s|B4 . ~ C3ud  G2u\tA#2dsa ~ ~");
    ASSERT_EQ(record.length, 10);
    EXPECT_EQ(record.prescale, 0);
    EXPECT_FALSE(record.triplet());
    const PatternStep expected[] = {
        {0, StepFlags::gate | StepFlags::accent},
        {3, StepFlags::gate | StepFlags::slide},
        {35, StepFlags::gate},
        {35, 0},              // a rest shows the note before it
        {35, StepFlags::tie}, // a tie after a rest still holds that note number
        {12, StepFlags::gate | StepFlags::up | StepFlags::down},
        {7, StepFlags::gate | StepFlags::up},
        {10, StepFlags::gate | StepFlags::down | StepFlags::slide | StepFlags::accent},
        {10, StepFlags::tie},
        {10, StepFlags::tie},
    };
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(record.steps[i].note, expected[i].note) << i;
        EXPECT_EQ(record.steps[i].flags, expected[i].flags) << i;
    }
    EXPECT_EQ(record.stepSemitones(7), -2); // A#1: the octave-down flag reaches below C2
    EXPECT_EQ(record.tieDuration(7), 3);    // the slid note lasts three steps
    EXPECT_EQ(record.steps[10].flags, 0);   // beyond the length: as a fresh record
    EXPECT_EQ(record.steps[10].note, 0);

    const PatternRecord fast = parsePattern("C2 C2", {3, true});
    EXPECT_EQ(fast.prescale, 3);
    EXPECT_TRUE(fast.triplet());
}

TEST(PatternNotation, MistakesFailInsteadOfPlayingWrongNotes) {
    for (const char* wrong : {"H2", "C5", "B1", "C2x", "C", "c2", "#2", "C2 D2 Db2", ""})
        EXPECT_THROW(parsePattern(wrong), PatternNotationError) << wrong;
    EXPECT_THROW(parsePattern("C2", {4, false}), PatternNotationError);
    std::string sixtyFive;
    for (int i = 0; i < 65; ++i)
        sixtyFive += "C2 ";
    EXPECT_THROW(parsePattern(sixtyFive), PatternNotationError);
    EXPECT_EQ(parsePattern(sixtyFive.substr(3)).length, 64);
}

std::string bundleFolder() {
    return platform::executableDirectory() + "/../bundle";
}

std::string bundledPatchPath(const FactoryPatch& entry) {
    return bundleFolder() + "/" + factory::patchFolderName + "/" + entry.name +
           factory::patchExtension;
}

bool isPatternPatch(const TreskproPatch& patch) {
    return patch.getState(State::MidiMode) == 0;
}

TEST(FactoryPatches, TheBundleHoldsEveryPatchAsTheGeneratorWritesIt) {
    const std::vector<FactoryPatch> patches = factory::factoryPatches();
    ASSERT_GE(patches.size(), 16u);
    EXPECT_EQ(patches.front().name, "Tresk Pro Patch");

    std::set<std::string> names;
    for (const FactoryPatch& entry : patches) {
        SCOPED_TRACE(entry.name);
        EXPECT_TRUE(names.insert(entry.name).second) << "two patches share a file name";
        EXPECT_STREQ(entry.patch.info.patchName, entry.name.c_str());
        EXPECT_GT(std::strlen(entry.patch.info.text), 40u) << "every patch says what it is";

        const auto text = readWholeFile(bundledPatchPath(entry));
        ASSERT_TRUE(text.has_value()) << "missing from the bundle";
        EXPECT_EQ(*text, writePatchText(entry.patch)) << "the bundle is out of date";

        TreskproPatch read;
        ASSERT_TRUE(readPatchFile(read, bundledPatchPath(entry)));
        // The text keeps parameters to eight decimals and no program block besides them.
        for (int slot = 0; slot < Parameter::count; ++slot)
            EXPECT_NEAR(read.getParameter(slot), entry.patch.getParameter(slot), 1e-8) << slot;
        EXPECT_EQ(read.states, entry.patch.states);
        EXPECT_EQ(std::memcmp(&read.connections, &entry.patch.connections, sizeof read.connections),
                  0);
        EXPECT_EQ(
            std::memcmp(read.patterns.data(), entry.patch.patterns.data(), sizeof(PatternBank)), 0);
        EXPECT_EQ(std::memcmp(&read.info, &entry.patch.info, sizeof read.info), 0);
    }
}

// What a musician gets from the set as a whole, and what each patch promises when it loads.
TEST(FactoryPatches, EachPatchIsReadyToPlayAndTheSetCoversTheInstrument) {
    std::set<int> filterModels;
    int polyphonic = 0, withCables = 0, followerOnAux = 0, tempoDelay = 0, triplets = 0,
        fastPrescale = 0;
    for (const FactoryPatch& entry : factory::factoryPatches()) {
        SCOPED_TRACE(entry.name);
        const TreskproPatch& patch = entry.patch;
        filterModels.insert(patch.getState(State::FilterMode));
        EXPECT_GE(patch.getState(State::FilterMode), 0);
        EXPECT_LE(patch.getState(State::FilterMode), 5);
        for (int slot = 0; slot < Parameter::count; ++slot) {
            EXPECT_GE(patch.getParameter(slot), 0.0f) << slot;
            EXPECT_LE(patch.getParameter(slot), 1.0f) << slot;
        }

        if (isPatternPatch(patch)) {
            // Loading starts the sequencer at once on a pattern that plays notes.
            EXPECT_EQ(patch.getState(State::RunStop), 1);
            const PatternRecord& current =
                patch.patterns[static_cast<std::size_t>(patch.currentPatternIndex())];
            int gates = 0;
            for (int i = 0; i < current.length; ++i)
                gates += (current.steps[i].flags & StepFlags::gate) != 0 ? 1 : 0;
            EXPECT_GE(gates, 4);
            for (const PatternRecord& pattern : patch.patterns) {
                triplets += pattern.triplet() ? 1 : 0;
                fastPrescale += pattern.prescale == 1 || pattern.prescale == 3 ? 1 : 0;
            }
        } else {
            EXPECT_EQ(patch.getState(State::MidiMode), 1);
            EXPECT_EQ(patch.getState(State::RunStop), 0);
            polyphonic += patch.getState(State::NoteMode) == 1 ? 1 : 0;
        }

        withCables += patch.connections.size() > 0 ? 1 : 0;
        for (int k = 0; k < patch.connections.size(); ++k) {
            const Connection cable = patch.connections.connection(k);
            ASSERT_GE(cable.output, 0);
            ASSERT_LT(cable.output, Socket::count);
            ASSERT_GE(cable.input, 0);
            ASSERT_LT(cable.input, Socket::count);
            EXPECT_EQ(socketDefinitions[cable.output].direction, SocketDirection::Output);
            EXPECT_EQ(socketDefinitions[cable.input].direction, SocketDirection::Input);
            if (cable.output == Socket::EnvelopeFollower)
                followerOnAux += patch.getState(State::AuxInput) == 1 ? 1 : 0;
        }
        tempoDelay += patch.getParameter(Parameter::DelayAmount) > 0.0f &&
                              (patch.getState(State::DelaySync) != 0 ||
                               patch.getParameter(Parameter::DelayBpmSync) > 0.5f)
                          ? 1
                          : 0;
    }
    EXPECT_EQ(filterModels, (std::set<int>{0, 1, 2, 3, 4, 5})) << "every filter model is shown";
    EXPECT_GE(polyphonic, 1);
    EXPECT_GE(withCables, 2);
    EXPECT_GE(followerOnAux, 1);
    EXPECT_GE(tempoDelay, 1);
    EXPECT_GE(triplets, 1);
    EXPECT_GE(fastPrescale, 1);
}

vst::intptr VSTCALLBACK quietHost(vst::AEffect*, vst::int32 opcode, vst::int32, vst::intptr, void*,
                                  float) {
    return opcode == vst::audioMasterVersion ? 2400 : 0; // 0 also says: every pin is connected
}

struct Rendered {
    float peak = 0.0f;
    double rms = 0.0;
    bool finite = true;
};

// Loads the bundled file into a fresh plug-in as a user would and renders `seconds` at 44.1 kHz
// in host-sized blocks; keyboard patches get a chord, and a beat plays into the audio inputs.
Rendered renderBundledPatch(const FactoryPatch& entry, const std::string& folder, double seconds) {
    TreskproPlugin synth(quietHost, folder);
    constexpr int block = 512;
    synth.dispatch(vst::effSetSampleRate, 0, 0, nullptr, 44100.0f);
    synth.dispatch(vst::effSetBlockSize, 0, block, nullptr, 0.0f);
    synth.dispatch(vst::effMainsChanged, 0, 1, nullptr, 0.0f);
    EXPECT_TRUE(synth.loadPatch(bundledPatchPath(entry)));
    // A chord for the keyboard patches, delivered with the first block as a host does.
    std::vector<vst::VstMidiEvent> chord;
    for (int note : {48, 55, 63}) {
        vst::VstMidiEvent event{};
        event.type = vst::kVstMidiType;
        event.byteSize = sizeof event;
        event.midiData[0] = static_cast<char>(0x90);
        event.midiData[1] = static_cast<char>(note);
        event.midiData[2] = 100;
        chord.push_back(event);
    }
    struct {
        vst::int32 numEvents = 3;
        vst::intptr reserved = 0;
        vst::VstEvent* events[3];
    } list;
    for (int i = 0; i < 3; ++i)
        list.events[i] = reinterpret_cast<vst::VstEvent*>(&chord[static_cast<std::size_t>(i)]);
    if (!isPatternPatch(synth.patch()))
        synth.processEvents(reinterpret_cast<const vst::VstEvents*>(&list));

    std::vector<float> left(block), right(block), input(block);
    float* outputs[] = {left.data(), right.data()};
    float* inputs[] = {input.data(), input.data()};
    Rendered result;
    double sum = 0.0;
    const int blocks = static_cast<int>(seconds * 44100.0 / block);
    for (int b = 0; b < blocks; ++b) {
        for (int i = 0; i < block; ++i) {
            const double t = std::fmod((b * block + i) / 44100.0, 0.5);
            input[static_cast<std::size_t>(i)] =
                static_cast<float>(0.6 * std::exp(-12.0 * t) * std::sin(2.0 * 3.14159 * 60.0 * t));
        }
        synth.processReplacing(inputs, outputs, block);
        for (int i = 0; i < block; ++i) {
            for (float sample :
                 {left[static_cast<std::size_t>(i)], right[static_cast<std::size_t>(i)]}) {
                result.finite = result.finite && std::isfinite(sample);
                result.peak = std::max(result.peak, std::fabs(sample));
                sum += static_cast<double>(sample) * sample;
            }
        }
    }
    result.rms = std::sqrt(sum / (2.0 * blocks * block));
    return result;
}

TEST(FactoryPatches, EveryPatchSoundsAtOnceWithHeadroom) {
    WavetableLibrary::shared().loadMissing(bundleFolder() + "/" + WavetableLibrary::folderName);
    const std::filesystem::path folder =
        std::filesystem::path(testing::TempDir()) / "factory patch plug-in folder";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);

    for (const FactoryPatch& entry : factory::factoryPatches()) {
        SCOPED_TRACE(entry.name);
        const Rendered sound = renderBundledPatch(entry, folder.string(), 1.5);
        EXPECT_TRUE(sound.finite);
        EXPECT_LT(sound.peak, 0.9f) << "peaks stay below -1 dBFS";
        EXPECT_GT(sound.peak, 0.1f) << "peaks reach -20 dBFS";
        EXPECT_GT(sound.rms, 0.01) << "plays at once, not silence or a click";
    }
}

} // namespace
} // namespace treskpro
