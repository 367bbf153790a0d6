// The preferences, patch info and advanced randomizer dialogs on the real plug-in, opened from
// the panel's menus with a scripted user: what each control changes at once, what Cancel takes
// back, the files written, and a dialog that outlives the patch or the window it was opened on.
#include "editor/EditorDialogs.h"
#include "DialogIds.h"
#include "editor/TagTable.h"
#include "engine/Parameters.h"
#include "engine/PitchTables.h"
#include "tests/support/EditorHarness.h"
#include "tests/support/SynthInternals.h"
#include "tools/render/MidiEventList.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace treskpro {
namespace {

using testing::HeadlessEditor;
using toolkit::CScriptedDialog;
using toolkit::kDialogCancel;
using toolkit::kDialogOk;

std::string readWhole(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(panel.open());
        // Each dialog starts with the choices a fresh plug-in file has.
        RandomizerDialog::choice() = RandomizerChoice{};
    }
    void TearDown() override { EXPECT_TRUE(panel.dialogs->problems.empty()); }

    // Opens a dialog from its menu entry, the scripted user doing `script` in it.
    void fromOptions(int entry, std::function<void(CScriptedDialog&)> script) {
        panel.dialogs->answerDialog(std::move(script));
        panel.dialogs->answerMenu({entry});
        panel.window().click(panel.centre(SkinTag::OPTIONMENU));
    }
    void preferences(std::function<void(CScriptedDialog&)> script) {
        fromOptions(16, std::move(script));
    }
    void patchInfo(std::function<void(CScriptedDialog&)> script) {
        fromOptions(15, std::move(script));
    }
    void randomizer(std::function<void(CScriptedDialog&)> script) {
        panel.dialogs->answerDialog(std::move(script));
        panel.dialogs->answerMenu({22});
        panel.window().click(panel.centre(SkinTag::PATTERNMENU));
    }

    std::string folder = testing::panelFolder(
        ::testing::TempDir(), ::testing::UnitTest::GetInstance()->current_test_info()->name());
    HeadlessEditor panel{folder};
    TreskproPlugin& plugin = panel.plugin();
};

TEST_F(Dialogs, PreferencesChangeAtOnceAndCancelReturnsWhatConfigHolds) {
    bool sawChanges = false;
    preferences([&](CScriptedDialog& dialog) {
        EXPECT_EQ(dialog.text(IDC_POLYPHONY_LABEL), "Voices: 6");
        EXPECT_TRUE(dialog.isChecked(IDC_FILTER_24));
        dialog.moveSlider(IDC_POLYPHONY, 12);
        dialog.moveSlider(IDC_BEND_RANGE, 0);
        dialog.click(IDC_FILTER_24_2X);
        dialog.click(IDC_CUSTOM_TUNING);
        dialog.click(IDC_SHOW_CABLES);
        dialog.moveSlider(IDC_CABLE_TENSION, 150);
        // In force while the dialog is still open.
        sawChanges =
            plugin.configuration().maxPolyphony == 12 && plugin.getState(State::BendRange) == 0 &&
            plugin.getState(State::FilterMode) == 5 && plugin.configuration().tuningMode == 0 &&
            dialog.text(IDC_POLYPHONY_LABEL) == "Voices: 12" &&
            dialog.text(IDC_BEND_RANGE_LABEL) == "Bend range: 0";
        dialog.click(kDialogCancel);
    });
    EXPECT_TRUE(sawChanges);
    EXPECT_EQ(panel.dialogs->shownDialogs, std::vector<std::string>{"Tresk Pro Preferences"});
    EXPECT_TRUE(std::filesystem::exists(folder + "Config.bak"));
    EXPECT_EQ(plugin.configuration().maxPolyphony, 6);
    EXPECT_EQ(plugin.getState(State::BendRange), 12);
    EXPECT_EQ(plugin.getState(State::FilterMode), 3);
    EXPECT_EQ(plugin.configuration().tuningMode, 1);
    // The editor's own settings stay as changed.
    EXPECT_EQ(panel.editor().settings().displayCables, 0);
    EXPECT_FLOAT_EQ(panel.editor().settings().cableTension, 1.5f);

    // A model the dialog does not offer shows as its first one and stays until a button is
    // pressed.
    plugin.setState(State::FilterMode, 0);
    preferences([&](CScriptedDialog& dialog) {
        EXPECT_TRUE(dialog.isChecked(IDC_FILTER_18));
        EXPECT_FALSE(dialog.isChecked(IDC_FILTER_24));
        dialog.moveSlider(IDC_BEND_RANGE, 24);
        EXPECT_EQ(dialog.text(IDC_BEND_RANGE_LABEL), "Bend range: 24");
        dialog.click(kDialogOk);
    });
    EXPECT_EQ(plugin.getState(State::FilterMode), 0);
    EXPECT_EQ(plugin.getState(State::BendRange), 24);
}

TEST_F(Dialogs, SetAsDefaultWritesConfigThatRestoreDefaultAndTheNextInstanceRead) {
    preferences([&](CScriptedDialog& dialog) {
        dialog.moveSlider(IDC_POLYPHONY, 12);
        dialog.click(IDC_ALIAS_FREE);
        dialog.click(IDC_SET_AS_DEFAULT);
        dialog.moveSlider(IDC_POLYPHONY, 3);
        dialog.click(IDC_RESTORE_DEFAULT);
        EXPECT_EQ(dialog.position(IDC_POLYPHONY), 12);
        EXPECT_EQ(dialog.text(IDC_POLYPHONY_LABEL), "Voices: 12");
        dialog.click(kDialogOk);
    });
    const std::string config = readWhole(folder + "Config.ini");
    EXPECT_NE(config.find("MaxPolyphony = 12\r\n"), std::string::npos) << config;
    EXPECT_NE(config.find("OscModel = 0\r\n"), std::string::npos) << config;
    EXPECT_EQ(plugin.configuration().maxPolyphony, 12);

    TreskproPlugin next(testing::panelTestHost, folder);
    EXPECT_EQ(next.configuration().maxPolyphony, 12);
    EXPECT_EQ(next.configuration().oscModel, 0);
}

// Cancel returns the custom tuning's table together with its name: the table of the file the
// configuration no longer names must not keep playing.
TEST_F(Dialogs, CancelAfterSelectRestoresTheTuningTableWithItsName) {
    std::string table;
    for (int k = 0; k < 128; ++k)
        table += std::to_string(100 + k) + " ";
    std::filesystem::create_directories(folder + "Tresk Pro Tunings");
    const std::string file = folder + "Tresk Pro Tunings/Odd.tun";
    std::ofstream(file, std::ios::binary) << table;

    preferences([&](CScriptedDialog& dialog) {
        dialog.click(IDC_CUSTOM_TUNING);
        panel.dialogs->answerFile(file);
        dialog.click(IDC_SELECT_TUNING);
        EXPECT_EQ(dialog.text(IDC_TUNING_NAME), file);
        EXPECT_EQ(TreskproSynthInternals::tuningTable(plugin)[0], 100.0f);
        dialog.click(kDialogCancel);
    });
    const toolkit::CFileRequest& asked = panel.dialogs->fileRequests.back();
    EXPECT_EQ(asked.title, "Open Tresk Pro Tuning file");
    EXPECT_EQ(asked.defaultExtension, "tun");
    EXPECT_EQ(toolkit::filterPattern(asked), "*.tun;*.scl");
    EXPECT_EQ(plugin.configuration().tuning, "");
    EXPECT_EQ(TreskproSynthInternals::tuningTable(plugin), noteFrequencyTable());

    // Kept with OK, and a cancelled file dialog changes nothing.
    preferences([&](CScriptedDialog& dialog) {
        panel.dialogs->answerFile(file);
        dialog.click(IDC_SELECT_TUNING);
        dialog.click(IDC_SELECT_TUNING);
        dialog.click(kDialogOk);
    });
    EXPECT_EQ(plugin.configuration().tuning, file);
    EXPECT_EQ(TreskproSynthInternals::tuningTable(plugin)[127], 227.0f);
}

TEST_F(Dialogs, PatchInfoKeeps1023CharactersAndShowsItselfWhenAPatchAsks) {
    patchInfo([&](CScriptedDialog& dialog) {
        EXPECT_EQ(dialog.text(IDC_INFO_TEXT), "");
        dialog.type(IDC_INFO_TEXT, std::string(2000, 'x'));
        dialog.click(IDC_SHOW_INFO);
        dialog.click(kDialogOk);
    });
    EXPECT_EQ(std::string(plugin.patch().info.text), std::string(1023, 'x'));
    EXPECT_EQ(plugin.patch().info.showFlag, 1);

    // Cancel keeps the text; the flag changed at the click.
    patchInfo([&](CScriptedDialog& dialog) {
        dialog.type(IDC_INFO_TEXT, "Play it slow\r\nwith the cutoff low");
        dialog.click(IDC_SHOW_INFO);
        dialog.click(kDialogCancel);
    });
    EXPECT_EQ(std::string(plugin.patch().info.text), std::string(1023, 'x'));
    EXPECT_EQ(plugin.patch().info.showFlag, 0);

    patchInfo([&](CScriptedDialog& dialog) {
        dialog.type(IDC_INFO_TEXT, "Play it slow\r\nwith the cutoff low");
        dialog.click(IDC_SHOW_INFO);
        dialog.click(kDialogOk);
    });
    const std::string saved = folder + "Slow.tpro";
    ASSERT_TRUE(plugin.savePatch(saved));
    plugin.patch().info = PatchInfo{};

    // Opening it shows its info, as it asks.
    panel.dialogs->answerFile(saved);
    panel.dialogs->answerDialog([&](CScriptedDialog& dialog) {
        EXPECT_EQ(dialog.text(IDC_INFO_TEXT), "Play it slow\r\nwith the cutoff low");
        EXPECT_TRUE(dialog.isChecked(IDC_SHOW_INFO));
        dialog.click(kDialogOk);
    });
    EXPECT_EQ(panel.dispatch(vst::effEditKeyDown, 'o', 0, nullptr, 8.0f), 1); // Ctrl+O
    EXPECT_EQ(panel.dialogs->shownDialogs.back(), "Patch Info");
    EXPECT_EQ(panel.dialogs->shownDialogs.size(), 4u);

    // The panel's info button opens it too, and springs back once it is closed.
    panel.window().click(panel.centre(SkinTag::OPTIONINFO));
    EXPECT_EQ(panel.dialogs->shownDialogs.size(), 5u);
    EXPECT_EQ(panel.editor().control(SkinTag::OPTIONINFO)->getValue(), 0.0f);
}

// A patch replaced while a dialog is open (at the editor's idle, by a program change or a
// chunk) takes what the dialog writes afterwards; the old patch is gone.
TEST_F(Dialogs, ADialogOpenWhileThePatchIsReplacedWritesIntoTheNewPatch) {
    const std::string other = folder + "Other.tpro";
    ASSERT_TRUE(plugin.savePatch(other));
    patchInfo([&](CScriptedDialog& dialog) {
        dialog.type(IDC_INFO_TEXT, "written after the load");
        ASSERT_TRUE(plugin.loadPatch(other));
        dialog.click(IDC_SHOW_INFO);
        dialog.click(kDialogOk);
    });
    EXPECT_EQ(std::string(plugin.patch().info.text), "written after the load");
    EXPECT_EQ(plugin.patch().info.showFlag, 1);

    randomizer([&](CScriptedDialog& dialog) {
        ASSERT_TRUE(plugin.loadPatch(other));
        dialog.moveSlider(IDC_LENGTH, 65 - 5);
        dialog.click(IDC_GO);
        dialog.click(kDialogOk);
    });
    EXPECT_EQ(plugin.patch().patterns[0].length, 5);
}

TEST_F(Dialogs, AdvancedRandomizerGoesOnTheCurrentPatternAndKeepsItsChoices) {
    PatternRecord& pattern = plugin.patch().patterns[0];
    for (auto& step : pattern.steps)
        step = {9, StepFlags::slide | StepFlags::up};
    randomizer([&](CScriptedDialog& dialog) {
        EXPECT_EQ(dialog.position(IDC_LENGTH), 65 - 16); // the top is 64
        dialog.moveSlider(IDC_LENGTH, 65 - 8);
        EXPECT_EQ(dialog.text(IDC_LENGTH_VALUE), "8");
        // The densities take the length's range.
        dialog.moveSlider(IDC_GATE_DENSITY, -5);
        EXPECT_EQ(dialog.text(IDC_GATE_DENSITY_VALUE), "8");
        dialog.moveSlider(IDC_NOTE_DENSITY, 8);
        dialog.moveSlider(IDC_ACCENT_DENSITY, 8);
        EXPECT_EQ(dialog.text(IDC_NOTE_DENSITY_VALUE), "0");
        dialog.click(IDC_SLIDE_ENABLE);
        dialog.click(IDC_ROOT_D);
        // Hi below Lo lowers Lo, Lo above Hi raises Hi; the spin buttons step within 1..7.
        dialog.type(IDC_HI, "1");
        EXPECT_EQ(dialog.text(IDC_LO), "1");
        dialog.type(IDC_LO, "5");
        EXPECT_EQ(dialog.text(IDC_HI), "5");
        dialog.spin(IDC_HI_SPIN, 9);
        EXPECT_EQ(dialog.text(IDC_HI), "7");
        dialog.spin(IDC_LO_SPIN, -2);
        dialog.spin(IDC_HI_SPIN, -4);
        dialog.type(IDC_HI, "");
        dialog.click(IDC_GO);
        dialog.click(kDialogOk);
    });
    // Octaves 3 .. 3 from D: every note D an octave up (note 2 with the up flag), gated, no
    // accent, slides untouched.
    EXPECT_EQ(pattern.length, 8);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(pattern.steps[i].note, 2) << i;
        EXPECT_EQ(pattern.steps[i].flags, StepFlags::gate | StepFlags::slide | StepFlags::up) << i;
    }
    EXPECT_EQ(pattern.steps[8].note, 9);

    // The choices come back at the next opening; Reset keeps the enables.
    randomizer([&](CScriptedDialog& dialog) {
        EXPECT_EQ(dialog.position(IDC_LENGTH), 65 - 8);
        EXPECT_TRUE(dialog.isChecked(IDC_ROOT_D));
        dialog.click(IDC_RESET);
        EXPECT_EQ(dialog.text(IDC_LENGTH_VALUE), "16");
        EXPECT_TRUE(dialog.isChecked(IDC_ROOT_C));
        EXPECT_FALSE(dialog.isChecked(IDC_SLIDE_ENABLE));
        dialog.click(kDialogOk);
    });

    // A write-protected pattern stays as it is.
    plugin.setState(State::PatternWriteProtect, 1);
    const PatternRecord before = pattern;
    randomizer([&](CScriptedDialog& dialog) {
        dialog.click(IDC_GO);
        dialog.click(kDialogOk);
    });
    EXPECT_EQ(std::memcmp(&pattern, &before, sizeof pattern), 0);
}

// The host may close its window while a dialog runs its loop: the dialog ends, and the panel
// closes once it has returned, not under it.
TEST_F(Dialogs, TheHostClosingTheEditorDuringADialogClosesItAfterwards) {
    preferences([&](CScriptedDialog& dialog) {
        panel.close();
        EXPECT_TRUE(dialog.ended());
        EXPECT_TRUE(panel.editor().isOpen());
    });
    panel.idle();
    EXPECT_FALSE(panel.editor().isOpen());
    EXPECT_TRUE(std::filesystem::exists(folder + "Gui.ini"));
    // Opening again before the old panel's dialog has returned is refused; afterwards it works.
    ASSERT_TRUE(panel.open());
    preferences([&](CScriptedDialog&) {
        panel.close();
        EXPECT_FALSE(panel.open());
    });
    EXPECT_TRUE(panel.open());
    EXPECT_TRUE(panel.editor().isOpen());
}

// Program changes and bank selects arrive with the audio while the user works the patch menu and
// moves the preferences the audio thread reads.
TEST(EditorThreads, ProgramChangesArriveWhileThePatchMenuAndPreferencesAreUsed) {
    const std::string folder = testing::panelFolder(::testing::TempDir(), "ProgramChangesThreads");
    HeadlessEditor panel(folder);
    TreskproPlugin& plugin = panel.plugin();
    const std::filesystem::path mine = std::filesystem::path(folder) / "Tresk Pro Patches" / "Mine";
    std::filesystem::create_directories(mine);
    for (int k = 0; k < 3; ++k) {
        plugin.setParameter(Parameter::FilterCutoff, 0.2f * float(k + 1));
        ASSERT_TRUE(plugin.savePatch((mine / ("P" + std::to_string(k) + ".tpro")).string()));
    }
    ASSERT_TRUE(panel.open());

    std::atomic<bool> stop{false};
    std::thread audio([&] {
        std::vector<float> left(256), right(256);
        float* outputs[2] = {left.data(), right.data()};
        for (int block = 0; !stop.load(); ++block) {
            MidiEventList midi;
            midi.add(0, 0xB0, 0, block % 4);
            midi.add(1, 0xC0, block % 3, 0);
            midi.add(2, 0x90, 36 + block % 12, 100);
            plugin.processEvents(midi.record());
            plugin.processReplacing(nullptr, outputs, 256);
        }
    });
    for (int round = 0; round < 30; ++round) {
        panel.idle();
        panel.dialogs->answerMenuTitle("P" + std::to_string(round % 3));
        panel.window().click(panel.centre(SkinTag::PATCHBUTTON));
        panel.dialogs->answerDialog([&](CScriptedDialog& dialog) {
            dialog.moveSlider(IDC_POLYPHONY, 1 + round % 32);
            dialog.click(round % 2 ? IDC_CUSTOM_TUNING : IDC_STANDARD_TUNING);
            dialog.click(IDC_MIDI_OUTPUT);
            dialog.click(kDialogOk);
        });
        panel.dialogs->answerMenu({16});
        panel.window().click(panel.centre(SkinTag::OPTIONMENU));
    }
    stop = true;
    audio.join();
    EXPECT_TRUE(panel.dialogs->problems.empty());
}

} // namespace
} // namespace treskpro
