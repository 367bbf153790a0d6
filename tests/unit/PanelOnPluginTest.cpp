// The panel on the real plug-in, opened through the dispatcher on a headless window: what the
// host is told when the user drags, clicks and types, what reaches the pattern and the files, and
// what the panel shows of values that arrive from the host, a chunk or another thread.
#include "editor/PanelBindings.h"
#include "editor/TagTable.h"
#include "editor/TreskproControls.h"
#include "engine/Parameters.h"
#include "tests/support/EditorHarness.h"
#include "toolkit/COptionMenu.h"
#include "tools/render/MidiEventList.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

namespace treskpro {
namespace {

using testing::HeadlessEditor;

std::string readWhole(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

class PanelOnPlugin : public ::testing::Test {
protected:
    void SetUp() override { testing::panelHostCalls().clear(); }

    std::string folder = testing::panelFolder(
        ::testing::TempDir(), ::testing::UnitTest::GetInstance()->current_test_info()->name());
};

TEST_F(PanelOnPlugin, OpensThroughTheDispatcherAtTheSkinsSizeAndKeepsItsSettings) {
    HeadlessEditor panel(folder);
    EXPECT_TRUE(panel.plugin().effect()->flags & vst::effFlagsHasEditor);
    // The host sizes its window from the answer before the first open.
    EXPECT_EQ(panel.rectangle(), (std::pair<int, int>{1300, 880}));
    std::ofstream(folder + "Gui.ini", std::ios::binary)
        << "ShowSplashSequence = 1\r\nUseKeyboard = 1\r\n";

    ASSERT_TRUE(panel.open());
    EXPECT_EQ(panel.rectangle(), (std::pair<int, int>{1300, 880}));
    panel.idle();
    panel.close();
    const std::string written = readWhole(folder + "Gui.ini");
    EXPECT_EQ(written.rfind("; Tresk GUI configuration\r\n", 0), 0u);
    EXPECT_NE(written.find("UseKeyboard = 1\r\nFloatingDisplay"), std::string::npos);
    EXPECT_NE(written.find("ShowSplashSequence = 0\r\n"), std::string::npos);
    EXPECT_EQ(written.find('\n'), written.find("\r\n") + 1);
}

TEST_F(PanelOnPlugin, ADragIsOneRecordedEditAndHostAutomationMovesTheKnobAtIdle) {
    HeadlessEditor panel(folder);
    ASSERT_TRUE(panel.open());
    const float before = panel.plugin().getParameter(Parameter::FilterCutoff);
    const toolkit::CPoint knob = panel.centre(SkinTag::CUTOFFKNOB);
    panel.window().drag(knob, knob.offset(0, -20), 4);
    const auto& calls = testing::panelHostCalls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls.front().opcode, vst::audioMasterBeginEdit);
    EXPECT_EQ(calls.back().opcode, vst::audioMasterEndEdit);
    for (std::size_t k = 1; k + 1 < calls.size(); ++k)
        EXPECT_EQ(calls[k].opcode, vst::audioMasterAutomate);
    for (const auto& call : calls)
        EXPECT_EQ(call.index, Parameter::FilterCutoff);
    EXPECT_NEAR(panel.plugin().getParameter(Parameter::FilterCutoff), before + 0.1f, 1e-4f);

    // Automation from the host thread shows at the next idle, and is not sent back.
    testing::panelHostCalls().clear();
    panel.plugin().setParameter(Parameter::FilterResonance, 0.9f);
    panel.idle();
    EXPECT_FLOAT_EQ(panel.editor().control(SkinTag::RESONANCEKNOB)->getValue(), 0.9f);
    panel.plugin().setParameter(Parameter::MgVco1Dest, 1.0f);
    panel.idle();
    EXPECT_FLOAT_EQ(panel.editor().control(SkinTag::MGVCO1LED)->getValue(), 1.0f);
    EXPECT_TRUE(testing::panelHostCalls().empty());
}

TEST_F(PanelOnPlugin, StepButtonsAndKeysProgramThePatternBytes) {
    std::ofstream(folder + "Gui.ini", std::ios::binary) << "UseKeyboard = 1\r\n";
    HeadlessEditor panel(folder);
    ASSERT_TRUE(panel.open());
    const PatternRecord& pattern = panel.plugin().patch().patterns[0];
    panel.window().click(panel.centre(SkinTag::B_AUTOADV));
    // A key the host forwards and one the window receives act alike.
    EXPECT_EQ(panel.dispatch(vst::effEditKeyDown, 'q'), 1);
    panel.window().keyDown({'w', 0, 0});
    EXPECT_EQ(pattern.steps[0].note, 0);
    EXPECT_EQ(pattern.steps[1].note, 2);
    EXPECT_FLOAT_EQ(panel.editor().control(SkinTag::STEPDISPLAY)->getValue(), 3.0f);

    panel.window().click(panel.centre(SkinTag::B_BACK));
    panel.window().click(panel.centre(SkinTag::B_ACCENT));
    EXPECT_TRUE(pattern.steps[1].flags & StepFlags::accent);
    EXPECT_FLOAT_EQ(panel.editor().control(SkinTag::ACCENTLED)->getValue(), 1.0f);

    panel.window().click(panel.centre(SkinTag::TRIPLETBUTTON));
    EXPECT_TRUE(pattern.triplet());

    panel.window().click(panel.centre(SkinTag::PATTERNWRITEPROTECT));
    EXPECT_EQ(panel.plugin().getState(State::PatternWriteProtect), 1);
    panel.window().click(panel.centre(SkinTag::TRIPLETBUTTON));
    EXPECT_TRUE(pattern.triplet());
    EXPECT_FLOAT_EQ(panel.editor().control(SkinTag::TRIPLETBUTTON)->getValue(), 1.0f);
    EXPECT_EQ(panel.dispatch(vst::effEditKeyDown, 'u'), 1);
    EXPECT_EQ(pattern.steps[1].note, 2);
    // Without the keymap the host keeps its keys.
    panel.editor().settings().useKeyboard = 0;
    EXPECT_EQ(panel.dispatch(vst::effEditKeyDown, 'q'), 0);
}

// The README's walkthrough, with the panel alone: a line programmed with CLEAR, the length
// rocker, pitch mode and the keyboard, then shaped step by step.
TEST_F(PanelOnPlugin, TheWalkthroughProgramsALineWithThePanelAlone) {
    HeadlessEditor panel(folder);
    ASSERT_TRUE(panel.open());
    const auto click = [&](int tag) { panel.window().click(panel.centre(tag)); };
    const auto value = [&](int tag) { return panel.editor().control(tag)->getValue(); };
    click(SkinTag::B_PATTERNCLEAR);
    const toolkit::CRect rocker = panel.editor().control(SkinTag::STEPSROCKER)->frameRect();
    for (int k = 0; k < 8; ++k)
        panel.window().click({rocker.left + 2, rocker.bottom - 2});
    EXPECT_FLOAT_EQ(value(SkinTag::STEPSDIGITS), 8.0f);
    EXPECT_FLOAT_EQ(value(SkinTag::STEPDISPLAY), 1.0f);

    click(SkinTag::B_AUTOADV);
    EXPECT_FLOAT_EQ(value(SkinTag::AUTOADVLED), 1.0f);
    auto* keys =
        static_cast<TreskproPitchKeyboard*>(panel.editor().control(SkinTag::PITCHKEYBOARD));
    const int line[] = {0, 0, 3, 0, 7, 5, 3, 0}; // C C D# C G F D# C
    for (const int note : line) {
        const toolkit::CRect key = keys->keyRect(note);
        const int y = TreskproPitchKeyboard::isBlackKey(note) ? key.top + 10 : key.bottom - 4;
        panel.window().click({key.left + key.width() / 2, y});
    }
    EXPECT_FLOAT_EQ(value(SkinTag::STEPDISPLAY), 1.0f); // round to the first step again
    click(SkinTag::B_AUTOADV);

    click(SkinTag::B_NEXT);
    click(SkinTag::B_NEXT);
    click(SkinTag::B_UP);
    click(SkinTag::B_ACCENT);
    click(SkinTag::B_NEXT);
    click(SkinTag::B_TIMEMODE);
    click(SkinTag::B_BACK);
    click(SkinTag::B_SLIDE);
    EXPECT_FLOAT_EQ(value(SkinTag::SLIDELED), 1.0f);

    const PatternRecord& pattern = panel.plugin().patch().patterns[0];
    EXPECT_EQ(pattern.length, 8);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(pattern.steps[i].note, line[i]) << i;
    EXPECT_EQ(pattern.steps[1].flags, StepFlags::gate);
    EXPECT_EQ(pattern.steps[2].flags,
              StepFlags::gate | StepFlags::up | StepFlags::accent | StepFlags::slide);
    EXPECT_EQ(pattern.steps[3].flags, 0); // a rest
}

// Ctrl+S writes without asking only to a file the user picked; a path that came with a project
// goes through the save dialog, so a crafted project cannot overwrite a file on a keystroke.
TEST_F(PanelOnPlugin, PatchKeysSaveOnlyWhereTheUserChose) {
    HeadlessEditor panel(folder);
    ASSERT_TRUE(panel.open());
    const std::string victim = folder + "victim.txt";
    std::ofstream(victim, std::ios::binary) << "keep";
    panel.plugin().setCurrentPatchPath(victim);
    const auto key = [&](char letter, float modifiers) {
        return panel.dispatch(vst::effEditKeyDown, letter, 0, nullptr, modifiers);
    };
    EXPECT_EQ(key('s', 8.0f), 1);
    ASSERT_EQ(panel.dialogs->fileRequests.size(), 1u);
    EXPECT_EQ(panel.dialogs->fileRequests[0].title, "Save Tresk Pro Patch");
    EXPECT_EQ(readWhole(victim), "keep");

    const std::string mine = folder + "Mine.tpro";
    panel.dialogs->answerFile(mine);
    EXPECT_EQ(key('S', 9.0f), 1);
    ASSERT_EQ(panel.dialogs->fileRequests.size(), 2u);
    ASSERT_EQ(panel.plugin().currentPatchPath(), mine);
    std::filesystem::remove(mine);
    EXPECT_EQ(key('s', 8.0f), 1);
    EXPECT_EQ(panel.dialogs->fileRequests.size(), 2u);
    EXPECT_TRUE(std::filesystem::exists(mine));

    panel.plugin().setParameter(Parameter::FilterCutoff, 0.0f);
    panel.dialogs->answerFile(mine);
    EXPECT_EQ(key('o', 8.0f), 1);
    EXPECT_EQ(panel.dialogs->fileRequests.back().title, "Open Tresk Pro Patch");
    EXPECT_NE(panel.plugin().getParameter(Parameter::FilterCutoff), 0.0f);
    EXPECT_FLOAT_EQ(panel.editor().control(SkinTag::CUTOFFKNOB)->getValue(),
                    panel.plugin().getParameter(Parameter::FilterCutoff));
}

// A pattern exported through the pattern menu comes back whole through its import; a
// write-protected pattern keeps its steps against the import and the random generators.
TEST_F(PanelOnPlugin, PatternMenuExportsAndImportsThroughTheDialogsAndRespectsProtection) {
    HeadlessEditor panel(folder);
    ASSERT_TRUE(panel.open());
    PatternRecord& pattern = panel.plugin().patch().patterns[0];
    const auto choose = [&](int entry) {
        panel.dialogs->answerMenu({entry});
        panel.window().click(panel.centre(SkinTag::PATTERNMENU));
    };
    pattern.length = 3;
    pattern.steps[0] = {0, StepFlags::gate};
    pattern.steps[1] = {12, StepFlags::gate | StepFlags::accent | StepFlags::up};
    pattern.steps[2] = {7, StepFlags::slide | StepFlags::down};
    const PatternRecord original = pattern;

    const std::string file = folder + "Bass.pat";
    panel.dialogs->answerFile(file);
    choose(25);
    ASSERT_EQ(panel.dialogs->fileRequests.size(), 1u);
    EXPECT_EQ(panel.dialogs->fileRequests[0].title, "Export Freebee Pattern");
    ASSERT_TRUE(std::filesystem::exists(file));

    choose(15); // all notes off
    choose(3);  // transpose +12
    EXPECT_NE(std::memcmp(&pattern, &original, sizeof pattern), 0);
    panel.dialogs->answerFile(file);
    choose(24);
    EXPECT_EQ(panel.dialogs->fileRequests.back().title, "Import Freebee Pattern");
    EXPECT_EQ(pattern.length, 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(pattern.steps[i].note, original.steps[i].note) << i;
        EXPECT_EQ(pattern.steps[i].flags, original.steps[i].flags) << i;
    }

    panel.window().click(panel.centre(SkinTag::PATTERNWRITEPROTECT));
    ASSERT_EQ(panel.plugin().getState(State::PatternWriteProtect), 1);
    choose(19); // randomize all
    std::ofstream(folder + "Other.pat", std::ios::binary) << "d-3 1 0 0\n";
    panel.dialogs->answerFile(folder + "Other.pat");
    choose(24);
    EXPECT_EQ(std::memcmp(&pattern.steps, &original.steps, sizeof pattern.steps), 0);
}

// A MIDI program change, arriving with the audio, loads the patch of the current list at the
// editor's next idle, not on the audio thread.
TEST_F(PanelOnPlugin, ProgramChangeLoadsTheListsPatchAtIdle) {
    HeadlessEditor panel(folder);
    TreskproPlugin& plugin = panel.plugin();
    const std::filesystem::path mine = std::filesystem::path(folder) / "Tresk Pro Patches" / "Mine";
    std::filesystem::create_directories(mine);
    plugin.setParameter(Parameter::FilterCutoff, 0.25f);
    ASSERT_TRUE(plugin.savePatch((mine / "Low.tpro").string()));
    plugin.setParameter(Parameter::FilterCutoff, 0.75f);
    ASSERT_TRUE(plugin.savePatch((mine / "High.tpro").string()));
    ASSERT_TRUE(plugin.loadPatch((mine / "Low.tpro").string()));
    ASSERT_TRUE(panel.open());

    const toolkit::COptionMenu* menu = panel.editor().getPatchMenu();
    const toolkit::COptionMenu* list = nullptr;
    for (int i = 0; i < menu->getNbEntries() && !list; ++i)
        list = menu->getSubMenu(i);
    ASSERT_NE(list, nullptr);
    const int high = list->getEntry(0) == "High" ? 0 : 1;
    ASSERT_EQ(list->getEntry(high), "High");

    MidiEventList midi;
    midi.add(0, 0xC0, high, 0);
    std::vector<float> left(256), right(256);
    float* outputs[2] = {left.data(), right.data()};
    plugin.processEvents(midi.record());
    plugin.processReplacing(nullptr, outputs, 256);
    const auto current = [&] {
        return std::filesystem::path(plugin.currentPatchPath()).lexically_normal();
    };
    EXPECT_EQ(current(), (mine / "Low.tpro").lexically_normal());
    panel.idle();
    EXPECT_EQ(current(), (mine / "High.tpro").lexically_normal());
    EXPECT_FLOAT_EQ(plugin.getParameter(Parameter::FilterCutoff), 0.75f);
}

// The panel's bindings agree with the parameter table, which names each parameter's control,
// and each toggle button lights the lamp that carries its name.
TEST_F(PanelOnPlugin, EveryControlDrivesTheParameterItsTagNamesAndLightsItsOwnLamp) {
    for (const ParameterBinding& binding : parameterBindings()) {
        const int named = parameterDefinitions[std::size_t(binding.parameter)].tag;
        if (named != 0) {
            EXPECT_EQ(binding.tag, named)
                << parameterDefinitions[std::size_t(binding.parameter)].name;
        }
    }
    for (int parameter = 0; parameter < Parameter::count; ++parameter) {
        const int tag = parameterDefinitions[std::size_t(parameter)].tag;
        // The tempo has its digits; the external accent only a lamp.
        if (tag != 0 && parameter != Parameter::Tempo && parameter != Parameter::AccentExt) {
            EXPECT_NE(bindingOf(tag), nullptr) << parameterDefinitions[std::size_t(parameter)].name;
        }
    }

    HeadlessEditor panel(folder);
    ASSERT_TRUE(panel.open());
    for (const ParameterBinding& binding : parameterBindings()) {
        if (binding.kind != BindingKind::toggled || !panel.editor().control(binding.tag))
            continue;
        std::string lampName = nameOfTag(TagTable, binding.tag);
        const auto dest = lampName.find("DEST");
        lampName = dest != std::string::npos               ? lampName.substr(0, dest) + "LED"
                   : binding.tag == SkinTag::TRIGGERBUTTON ? std::string("TRIGGERMULTI")
                                                           : lampName + "LED";
        toolkit::CControl* lamp = panel.editor().control(tagOfName(TagTable, lampName));
        ASSERT_NE(lamp, nullptr) << lampName;
        for (float lit : {1.0f, 0.0f}) {
            panel.window().click(panel.centre(binding.tag));
            EXPECT_FLOAT_EQ(panel.plugin().getParameter(binding.parameter), lit) << lampName;
            EXPECT_FLOAT_EQ(lamp->getValue(), lit) << lampName;
        }
    }
    // The pattern rocker stops at the bank's first pattern.
    const toolkit::CRect rocker = panel.editor().control(SkinTag::PATTERNROCKER)->frameRect();
    panel.window().click({rocker.left + 2, rocker.bottom - 2});
    EXPECT_EQ(panel.plugin().getState(State::CurrentPattern), 0);
}

TEST_F(PanelOnPlugin, ImpossibleValuesFromAChunkShowBounded) {
    HeadlessEditor panel(folder);
    ASSERT_TRUE(panel.open());
    TreskproPatch& patch = panel.plugin().patch();
    void* data = nullptr;
    patch.patterns[3].length = 200;
    patch.patterns[3].steps[0] = PatternStep{99, StepFlags::gate};
    patch.patterns[3].prescale = 9;
    patch.setState(State::CurrentPattern, 3);
    patch.setState(State::FilterMode, 9);
    const vst::intptr size = panel.dispatch(vst::effGetChunk, 0, 0, &data);
    const std::vector<char> chunk(static_cast<char*>(data), static_cast<char*>(data) + size);
    ASSERT_EQ(panel.dispatch(vst::effSetChunk, 0, size, const_cast<char*>(chunk.data())), size);
    panel.idle();
    panel.window().render();
    EXPECT_FLOAT_EQ(panel.editor().control(SkinTag::NOTELED36)->getValue(), 1.0f);
    EXPECT_FLOAT_EQ(panel.editor().control(SkinTag::STEPSDIGITS)->getValue(), 64.0f);
    panel.window().click(panel.centre(SkinTag::OPTIONFILTER));
    panel.window().click(panel.centre(SkinTag::PITCHKEYBOARD));
    panel.idle();
}

// Each open builds the whole panel and each close frees it; run long under AddressSanitizer.
TEST_F(PanelOnPlugin, OpensAndClosesAgainAndAgain) {
#if defined(__SANITIZE_ADDRESS__)
    constexpr int rounds = 200;
#else
    constexpr int rounds = 5;
#endif
    HeadlessEditor panel(folder);
    for (int round = 0; round < rounds; ++round) {
        ASSERT_TRUE(panel.open());
        panel.window().click(panel.centre(SkinTag::VCO1RANGE));
        panel.idle();
        panel.close();
        panel.idle(); // a host may idle a closed editor
    }
    EXPECT_FLOAT_EQ(panel.plugin().getParameter(Parameter::Vco1Range), float(rounds % 3) * 0.5f);
}

// A note held for 24 blocks, the left channel.
std::vector<float> renderNote(TreskproPlugin& plugin) {
    MidiEventList midi;
    std::vector<float> left(256), right(256), heard;
    float* outputs[2] = {left.data(), right.data()};
    for (int block = 0; block < 24; ++block) {
        midi.clear();
        if (block == 0)
            midi.add(0, 0x90, 40, 100);
        plugin.processEvents(midi.record());
        plugin.processReplacing(nullptr, outputs, 256);
        heard.insert(heard.end(), left.begin(), left.end());
    }
    return heard;
}

TEST_F(PanelOnPlugin, ACableDraggedOnThePanelChangesTheSoundAndIsStoredWithThePatch) {
    HeadlessEditor patched(folder);
    ASSERT_TRUE(patched.open());
    // TRESKPRO_PICTURES names a folder for pictures of the panel with cables, for the README.
    const char* pictures = std::getenv("TRESKPRO_PICTURES");
    const auto picture = [&](const char* name) {
        if (pictures)
            patched.window().savePng(std::string(pictures) + "/" + name);
    };
    // "Midi Note CV" (SOCKET15) into "VCF CV Input" (SOCKET35).
    const toolkit::CPoint from = patched.centre(SkinTag::SOCKET15);
    const toolkit::CPoint to = patched.centre(SkinTag::SOCKET35);
    patched.window().mouseDown(from);
    patched.window().mouseMove({(from.x + to.x) / 2, (from.y + to.y) / 2 + 40});
    patched.idle();
    picture("editor-cable-drag.png");
    patched.window().mouseMove(to);
    patched.window().mouseUp(to);
    const ConnectionList& cables = patched.plugin().patch().connections;
    ASSERT_EQ(cables.size(), 1);
    EXPECT_EQ(cables.connection(0).output, 14);
    EXPECT_EQ(cables.connection(0).input, 34);

    HeadlessEditor plain(folder);
    HeadlessEditor again(folder);
    const std::vector<float> withCable = renderNote(patched.plugin());
    const std::vector<float> without = renderNote(plain.plugin());
    ASSERT_EQ(renderNote(again.plugin()), without);
    float difference = 0.0f;
    for (std::size_t i = 0; i < without.size(); ++i)
        difference = std::max(difference, std::fabs(withCable[i] - without[i]));
    EXPECT_GT(difference, 0.01f);

    // The host's copy of the patch keeps the cable, and a panel open on it shows it.
    void* data = nullptr;
    const vst::intptr size = patched.dispatch(vst::effGetChunk, 0, 0, &data);
    const std::vector<char> chunk(static_cast<char*>(data), static_cast<char*>(data) + size);
    ASSERT_TRUE(plain.open());
    ASSERT_EQ(plain.dispatch(vst::effSetChunk, 0, size, const_cast<char*>(chunk.data())), size);
    plain.idle();
    const TreskproCable::State& shown = plain.editor().cable(0)->state();
    EXPECT_TRUE(shown.inUse);
    EXPECT_EQ(shown.fromSocket, 14);
    EXPECT_EQ(shown.toSocket, 34);

    // "MG CV Output" into "VCO-2 CV Input", "Seq Gate CV Out" into "Attenuator 1 Input".
    patched.window().drag(patched.centre(SkinTag::SOCKET5), patched.centre(SkinTag::SOCKET2), 5);
    patched.window().drag(patched.centre(SkinTag::SOCKET12), patched.centre(SkinTag::SOCKET22), 5);
    patched.idle();
    EXPECT_EQ(cables.size(), 3);
    picture("editor-cables.png");
}

// Drags from every socket to sockets and to anywhere, with Shift and the right button, between
// patches whose lists hold anything a damaged chunk can; run long under AddressSanitizer.
TEST_F(PanelOnPlugin, RandomDragsBetweenPatchLoadsKeepCablesAndListInStep) {
#if defined(__SANITIZE_ADDRESS__)
    constexpr int rounds = 1000;
#else
    constexpr int rounds = 80;
#endif
    HeadlessEditor panel(folder);
    std::minstd_rand random(2024);
    std::vector<std::vector<char>> chunks;
    for (int kind = 0; kind < 2; ++kind) {
        ConnectionList& list = panel.plugin().patch().connections;
        list.setCount(kind == 0 ? 0 : 500);
        for (int k = 0; k < ConnectionList::capacity; ++k)
            list.setConnection(k, {int(random() % 90) - 20, int(random() % 90) - 20});
        void* data = nullptr;
        const vst::intptr size = panel.dispatch(vst::effGetChunk, 0, 0, &data);
        chunks.emplace_back(static_cast<char*>(data), static_cast<char*>(data) + size);
    }
    ASSERT_TRUE(panel.open());
    const auto socketPoint = [&](int socket) { return panel.centre(SkinTag::SOCKET1 + socket); };
    for (int round = 0; round < rounds; ++round) {
        const toolkit::CPoint from = socketPoint(int(random() % 42));
        const toolkit::CPoint to = random() % 3 == 0 ? toolkit::CPoint{int(random() % 1400) - 50,
                                                                       int(random() % 1000) - 60}
                                                     : socketPoint(int(random() % 42));
        const int gesture = int(random() % 20);
        if (gesture == 0) {
            panel.window().click(from, {toolkit::CButtonState::kRButton});
        } else {
            panel.window().holdModifiers(gesture == 1 ? toolkit::CButtonState::kShift : 0);
            panel.window().drag(from, to, 3);
            panel.window().holdModifiers(0);
        }
        if (round % 40 == 39) {
            std::vector<char>& chunk = chunks[std::size_t(round / 40 % 2)];
            panel.dispatch(vst::effSetChunk, 0, vst::intptr(chunk.size()), chunk.data());
        }
        panel.idle();
    }
    panel.window().render();
    // Every cable shown is a cable that plays.
    const ConnectionList& list = panel.plugin().patch().connections;
    for (int k = 0; k < TreskproEditor::cableCount; ++k) {
        const TreskproCable::State& state = panel.editor().cable(k)->state();
        if (!state.inUse)
            continue;
        EXPECT_TRUE(isPatchCable({state.fromSocket, state.toSocket}));
        EXPECT_GE(list.find({state.fromSocket, state.toSocket}), 0);
    }
    panel.close();
}

TEST(EditorThreads, ThePanelIdlesAndIsClickedWhileTheHostAutomatesAndPlays) {
    HeadlessEditor panel(testing::panelFolder(::testing::TempDir(), "panel-threads"));
    ASSERT_TRUE(panel.open());
    std::atomic<bool> done{false};
    std::thread audio([&] {
        MidiEventList midi;
        std::vector<float> left(256), right(256);
        float* outputs[2] = {left.data(), right.data()};
        for (int block = 0; !done.load(); ++block) {
            midi.clear();
            midi.add(0, 0xC0, block % 128, 0);
            midi.add(1, 0xB0, 0, block % 3);
            midi.add(2, 0x90, 36 + block % 24, 100);
            midi.add(128, 0x80, 36 + block % 24, 0);
            panel.plugin().processEvents(midi.record());
            panel.plugin().setParameter(Parameter::FilterCutoff, float(block % 10) / 10.0f);
            panel.plugin().setParameter(Parameter::MgVco2Dest, float(block % 2));
            panel.plugin().processReplacing(nullptr, outputs, 256);
        }
    });
    const int tags[] = {SkinTag::B_NEXT,    SkinTag::B_ACCENT,      SkinTag::VCO1RANGE,
                        SkinTag::MGVCFDEST, SkinTag::PITCHKEYBOARD, SkinTag::B_RUNSTOP,
                        SkinTag::MODESWITCH};
    for (int round = 0; round < 150; ++round) {
        const toolkit::CPoint where = panel.centre(tags[round % 7]);
        panel.window().click(where);
        const toolkit::CPoint knob = panel.centre(SkinTag::RESONANCEKNOB);
        panel.window().drag(knob, knob.offset(0, round % 2 ? 6 : -6), 2);
        // The cable moves from one input to another: a disconnect and a connect each round.
        panel.window().drag(panel.centre(SkinTag::SOCKET15),
                            panel.centre(round % 2 ? SkinTag::SOCKET35 : SkinTag::SOCKET36), 2);
        panel.dispatch(vst::effEditKeyDown, 'l', 0, nullptr, 8.0f);
        panel.idle();
    }
    done = true;
    audio.join();
    panel.close();
}

} // namespace
} // namespace treskpro
