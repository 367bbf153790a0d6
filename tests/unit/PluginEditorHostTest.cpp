// The plug-in as its editor drives it: a real instrument in-process, its EditorHost called as
// the panel would, and what the host, the pattern bytes, the rendered sound and the plug-in
// folder show of each call. Last, the panel's calls racing the audio thread.
#include "engine/Parameters.h"
#include "files/TreskproPatch.h"
#include "plugin/TreskproPlugin.h"
#include "sequencer/PatternOperations.h"
#include "tests/support/SynthInternals.h"
#include "tests/support/TestHost.h"
#include "tools/render/MidiEventList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>
#include <utility>
#include <vector>

namespace treskpro {
namespace {

constexpr int blockSize = 256;

// The host calls the tests look at: automation and the edit gesture, with their index.
std::vector<std::pair<int, int>>& recordedCalls() {
    static std::vector<std::pair<int, int>> calls;
    return calls;
}

vst::intptr VSTCALLBACK recordingHost(vst::AEffect* effect, vst::int32 opcode, vst::int32 index,
                                      vst::intptr value, void* ptr, float opt) {
    if (opcode == vst::audioMasterAutomate || opcode == vst::audioMasterBeginEdit ||
        opcode == vst::audioMasterEndEdit)
        recordedCalls().emplace_back(opcode, index);
    return testhost::testHost(effect, opcode, index, value, ptr, opt);
}

std::string folderFor(const char* name) {
    const std::filesystem::path folder = std::filesystem::path(testing::TempDir()) / name;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder.string();
}

class EditorHostTest : public ::testing::Test {
protected:
    EditorHostTest() : synth(recordingHost, folder) {}

    void SetUp() override {
        testhost::loadBundleWavetables();
        synth.dispatch(vst::effSetSampleRate, 0, 0, nullptr, 44100.0f);
        synth.dispatch(vst::effSetBlockSize, 0, blockSize, nullptr, 0.0f);
        synth.dispatch(vst::effMainsChanged, 0, 1, nullptr, 0.0f);
        recordedCalls().clear();
    }

    // The loudest sample of the next `blocks` blocks.
    float renderPeak(int blocks = 1) {
        std::vector<float> left(blockSize), right(blockSize);
        float* outputs[2] = {left.data(), right.data()};
        float peak = 0.0f;
        for (int b = 0; b < blocks; ++b) {
            synth.processReplacing(nullptr, outputs, blockSize);
            for (float x : left)
                peak = std::max(peak, std::fabs(x));
        }
        return peak;
    }

    PatternRecord& pattern(int index) { return synth.patch().patterns[std::size_t(index)]; }

    std::string folder = folderFor("editor-host");
    TreskproPlugin synth;
    EditorHost& host = synth.editorHost();
};

TEST_F(EditorHostTest, AControlGestureReachesTheHostAsOneRecordedEdit) {
    const int cutoff = Parameter::FilterCutoff;
    host.beginEdit(cutoff);
    host.setParameterAutomated(cutoff, 0.25f);
    host.endEdit(cutoff);
    const std::vector<std::pair<int, int>> expected = {{vst::audioMasterBeginEdit, cutoff},
                                                       {vst::audioMasterAutomate, cutoff},
                                                       {vst::audioMasterEndEdit, cutoff}};
    EXPECT_EQ(recordedCalls(), expected);
    EXPECT_FLOAT_EQ(host.parameter(cutoff), 0.25f);

    // Control+click returns to what a new patch holds, not to the value just set.
    EXPECT_FLOAT_EQ(host.parameterDefault(cutoff), TreskproPatch().getParameter(cutoff));
    EXPECT_EQ(host.parameterName(cutoff), "Filter Cutoff");

    // A parameter the host does not know is never announced to it.
    recordedCalls().clear();
    host.beginEdit(Parameter::count);
    host.setParameterAutomated(-1, 0.5f);
    host.setParameterAutomated(Parameter::count, 0.5f);
    EXPECT_TRUE(recordedCalls().empty());
}

TEST_F(EditorHostTest, StepProgrammingEditsTheCurrentPatternUnlessWriteProtected) {
    host.selectPattern(5);
    EXPECT_EQ(synth.getState(State::CurrentPattern), 5);
    host.setEditPosition(3);
    host.stepAction(StepAction::firstNote + 7);
    host.stepAction(StepAction::accent);
    EXPECT_EQ(pattern(5).steps[3].note, 7);
    EXPECT_EQ(pattern(5).steps[3].flags & StepFlags::accent, StepFlags::accent);
    EXPECT_EQ(pattern(0).steps[3].note, 0); // the other patterns stay as they were
    host.setPatternLength(8);
    host.setPrescale(2);
    EXPECT_EQ(pattern(5).length, 8);
    EXPECT_EQ(pattern(5).prescale, 2);

    // Write protection keeps every byte of the pattern while the cursor still moves.
    host.setState(PanelState::patternWriteProtect, 1);
    const PatternRecord before = pattern(5);
    host.stepAction(StepAction::firstNote + 2);
    host.stepAction(StepAction::slide);
    host.stepAction(StepAction::clear);
    host.setPatternLength(20);
    host.setPrescale(1);
    EXPECT_EQ(std::memcmp(&before, &pattern(5), sizeof before), 0);
    host.stepAction(StepAction::next);
    EXPECT_EQ(host.editStep().position, 1);

    // The run/stop button starts and stops the sequencer.
    host.stepAction(StepAction::runStop);
    EXPECT_EQ(host.state(PanelState::runStop), 1);
    host.stepAction(StepAction::runStop);
    EXPECT_EQ(host.state(PanelState::runStop), 0);
}

TEST_F(EditorHostTest, ADamagedChunkStillGivesTheEditorBoundedValues) {
    // What a damaged host chunk restores: nothing is repaired on the way in.
    synth.patch().patterns[0].length = 0;
    synth.patch().patterns[0].steps[0] = PatternStep{99, StepFlags::gate};
    synth.patch().patterns[0].prescale = 7;
    synth.patch().patterns[1].length = 200;
    synth.patch().setState(State::FilterMode, 9);
    synth.patch().setState(State::CurrentPattern, 0);
    void* data = nullptr;
    const vst::intptr size = synth.dispatch(vst::effGetChunk, 0, 0, &data, 0.0f);
    const std::vector<char> chunk(static_cast<char*>(data), static_cast<char*>(data) + size);
    ASSERT_EQ(synth.dispatch(vst::effSetChunk, 0, size, const_cast<char*>(chunk.data()), 0.0f),
              size);
    ASSERT_EQ(pattern(0).length, 0);

    host.setEditPosition(40);
    EditStep step = host.editStep();
    EXPECT_EQ(step.length, 1);
    EXPECT_EQ(step.position, 0);
    EXPECT_EQ(step.note, 35);
    EXPECT_EQ(step.prescale, 0);
    // The filter button and menu show the model that plays.
    EXPECT_EQ(host.state(PanelState::filterMode), 9 % 6);

    host.selectPattern(1);
    host.setEditPosition(100);
    step = host.editStep();
    EXPECT_EQ(step.length, 64);
    EXPECT_EQ(step.position, 63);
    host.stepAction(StepAction::firstNote + 4);
    EXPECT_EQ(pattern(1).steps[63].note, 4);

    host.selectPattern(1000);
    EXPECT_EQ(host.state(PanelState::currentPattern), 127);
}

TEST_F(EditorHostTest, APreviewNoteSoundsFromTheNextBlockUntilItsNoteOff) {
    ASSERT_LT(renderPeak(4), 1e-6f);
    host.previewNoteOn(48, 127);
    EXPECT_GT(renderPeak(), 0.01f);
    renderPeak(40);
    EXPECT_GT(renderPeak(), 0.01f); // held, not a decaying blip
    host.previewNoteOff();
    renderPeak(200);
    EXPECT_LT(renderPeak(), 1e-4f);

    // Two notes before one block: only the later one plays (in keyboard mode, where each
    // would take a voice of its own); one released before its block never plays.
    host.setState(PanelState::midiMode, 1);
    host.previewNoteOn(40, 100);
    host.previewNoteOn(52, 100);
    renderPeak();
    SynthEngine& engine = Internals::engine(synth);
    std::vector<int> sounding;
    for (int k = 0; k < SynthEngine::voiceCount; ++k) {
        if (engine.voice(k).isActive())
            sounding.push_back(engine.voice(k).note());
    }
    EXPECT_EQ(sounding, std::vector<int>{52});
    host.previewNoteOff();
    renderPeak(200);
    host.previewNoteOn(45, 100);
    host.previewNoteOff();
    EXPECT_LT(renderPeak(4), 1e-4f);

    host.previewNoteOn(45, 100);
    renderPeak();
    host.panic();
    EXPECT_LT(renderPeak(), 1e-4f);
}

TEST_F(EditorHostTest, TheEditorsFilesStayInThePluginFolder) {
    EXPECT_EQ(host.pluginFolder(), folder);
    const std::string text = "Skin = \"\"\r\nUseKeyboard = 1\r\n";
    const std::filesystem::path outside = std::filesystem::path(folder) / ".." / "outside.ini";
    std::filesystem::remove(outside);
    EXPECT_FALSE(host.writeFile("../outside.ini", text));
    EXPECT_FALSE(host.writeFile("..", text));
    EXPECT_FALSE(std::filesystem::exists(outside));
    ASSERT_TRUE(host.writeFile("Gui.ini", text));

    std::ifstream stored(std::filesystem::path(folder) / "Gui.ini", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(stored), {}), text);
    std::string read;
    ASSERT_TRUE(host.readFile("Gui.ini", read));
    EXPECT_EQ(read, text);
    EXPECT_FALSE(host.readFile("Missing.ini", read));
    EXPECT_FALSE(host.readFile("../editor-host/Gui.ini", read));
}

// What the panel sees of the host's program changes: recorded, not acted on.
class SilentPanel final : public PluginEditor {
public:
    vst::intptr dispatch(vst::int32, vst::int32, vst::intptr, void*, float) override { return 0; }
    void parameterChanged(int, float) override {}
    void refreshAll() override {}
    void midiArrived() override {}
    void selectProgram(int) override { ++programs; }
    void selectBank(int) override {}
    int programs = 0;
};

TEST(EditorThreads, ThePanelPlaysAndEditsWhileTheAudioThreadRenders) {
    testhost::loadBundleWavetables();
    TreskproPlugin synth{testhost::testHost, folderFor("editor-threads")};
    auto panel = std::make_unique<SilentPanel>();
    const SilentPanel& seen = *panel;
    synth.attachEditor(std::move(panel));
    synth.dispatch(vst::effSetSampleRate, 0, 0, nullptr, 44100.0f);
    synth.dispatch(vst::effSetBlockSize, 0, blockSize, nullptr, 0.0f);
    synth.dispatch(vst::effMainsChanged, 0, 1, nullptr, 0.0f);
    EditorHost& host = synth.editorHost();
    const std::string patchName = host.patchName();

    std::atomic<bool> done{false};
    std::atomic<bool> finite{true};
    std::thread audio([&] {
        MidiEventList midi;
        std::vector<float> left(blockSize), right(blockSize);
        float* outputs[2] = {left.data(), right.data()};
        for (int block = 0; !done.load(); ++block) {
            midi.clear();
            midi.add(0, 0xC0, block % 128, 0);       // program change
            midi.add(1, 0xB0, 0, block % 3);         // bank select
            midi.add(2, 0xB0, 74, block % 128);      // a mapped controller
            midi.add(3, 0x90, 36 + block % 24, 100); // notes in either mode
            midi.add(blockSize / 2, 0x80, 36 + (block + 12) % 24, 0);
            synth.processEvents(midi.record());
            synth.setParameter(Parameter::FilterResonance, float(block % 10) / 10.0f);
            synth.processReplacing(nullptr, outputs, blockSize);
            for (float x : left) {
                if (!std::isfinite(x))
                    finite = false;
            }
        }
    });

    std::mt19937 random(7);
    for (int round = 0; round < 400; ++round) {
        const int note = int(random() % 36);
        host.previewNoteOn(36 + note, 100);
        host.stepAction(StepAction::firstNote + note);
        host.stepAction(round % 2 ? StepAction::accent : StepAction::next);
        host.setPatternLength(1 + int(random() % 64));
        host.setPrescale(round % 4);
        host.setParameterAutomated(Parameter::FilterCutoff, float(random() % 100) / 100.0f);
        host.setState(PanelState::midiMode, round / 50 % 2);
        host.setState(PanelState::noteMode, round / 25 % 2);
        host.setState(PanelState::filterMode, round % 6);
        if (round % 10 == 0)
            host.stepAction(StepAction::runStop);
        if (round % 7 == 0)
            host.previewNoteOff();
        if (round % 13 == 0)
            host.panic();
        if (round % 17 == 0)
            host.clearHeldNotes();
        if (round % 5 == 0)
            host.stepAction(StepAction::clear);
        // The pattern menu's edits reach the playing pattern the same way.
        PatternRecord& current =
            synth.patch().patterns[std::size_t(host.state(PanelState::currentPattern))];
        switch (round % 4) {
        case 0:
            transposePattern(current, 1);
            break;
        case 1:
            randomizeAll(current, patternRandom());
            break;
        case 2:
            expandPattern(current);
            break;
        default:
            shrinkPattern(current);
            break;
        }
        synth.dispatch(vst::effEditIdle, 0, 0, nullptr, 0.0f);
        (void)host.editStep();
        (void)host.gateActive();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    done = true;
    audio.join();
    synth.dispatch(vst::effEditIdle, 0, 0, nullptr, 0.0f);

    EXPECT_TRUE(finite.load());
    // Program changes reached the panel; none loaded a patch on the audio thread.
    EXPECT_GT(seen.programs, 0);
    EXPECT_EQ(host.patchName(), patchName);
}

} // namespace
} // namespace treskpro
