// The pattern and options menus on the default skin against a plug-in kept in memory: what each
// menu lists, where it opens, and what choosing an entry asks of the plug-in.
#include "editor/TagTable.h"
#include "editor/TreskproEditor.h"
#include "tests/support/FakeEditorHost.h"
#include "toolkit/CHeadlessWindow.h"
#include "toolkit/COptionMenu.h"
#include "toolkit/CScriptedDialogs.h"

#include <gtest/gtest.h>

namespace treskpro {
namespace {

class Menus : public ::testing::Test {
protected:
    void SetUp() override {
        host.files["Gui.ini"] = "ShowSplashSequence = 1\r\n";
        EditorPlatform platform = EditorPlatform::headless(dialogs);
        platform.openTextFile = [this](const std::string& path) { opened.push_back(path); };
        editor = std::make_unique<TreskproEditor>(host, platform);
        ASSERT_TRUE(editor->open(nullptr));
        window = static_cast<toolkit::CHeadlessWindow*>(editor->getFrame()->getWindow());
    }
    void click(int tag) {
        const toolkit::CRect area = editor->control(tag)->frameRect();
        window->click({area.left + area.width() / 2, area.top + area.height() / 2});
    }
    // Opens a menu from its button and chooses the entry at `index`.
    void choose(int button, int index) {
        dialogs->answerMenu({index});
        click(button);
    }
    std::vector<std::string> optionTexts() const {
        std::vector<std::string> texts;
        for (int i = 0; i < editor->getOptionMenu()->getNbEntries(); ++i)
            texts.push_back(editor->getOptionMenu()->getEntry(i));
        return texts;
    }

    testing::FakeEditorHost host;
    std::shared_ptr<toolkit::CScriptedDialogs> dialogs =
        std::make_shared<toolkit::CScriptedDialogs>();
    std::unique_ptr<TreskproEditor> editor;
    toolkit::CHeadlessWindow* window = nullptr;
    std::vector<std::string> opened;
};

TEST_F(Menus, PatternMenuListsItsEntriesInOrderAndRunsTheChosenOne) {
    host.pattern.steps[0] = {5, StepFlags::gate};
    host.pattern.steps[1] = {7, StepFlags::gate | StepFlags::accent};
    choose(SkinTag::PATTERNMENU, 3); // transpose +12
    ASSERT_EQ(dialogs->shownMenus.size(), 1u);
    const std::vector<std::string> expected = {"Copy Pattern",
                                               "Paste Pattern",
                                               "-",
                                               "Transpose +12 semitones",
                                               "Transpose -12 semitones",
                                               "Transpose  +1 semitone",
                                               "Transpose  -1 semitone",
                                               "-",
                                               "Expand pattern",
                                               "Shrink pattern",
                                               "Duplicate steps",
                                               "-",
                                               "Shift left",
                                               "Shift right",
                                               "-",
                                               "All notes off",
                                               "All accents off",
                                               "All slides off",
                                               "-",
                                               "Randomize all",
                                               "Randomize pitches",
                                               "Alter pattern",
                                               "Advanced Random...",
                                               "-",
                                               "Import pattern",
                                               "Export pattern",
                                               "Import Rebirth 338 Patterns"};
    EXPECT_EQ(dialogs->shownMenus[0].entries, expected);
    EXPECT_EQ(dialogs->shownMenus[0].where.x, editor->getPatternMenu()->frameRect().left);
    EXPECT_EQ(host.pattern.steps[0].note, 5);
    EXPECT_EQ(host.pattern.steps[0].flags, StepFlags::gate | StepFlags::up);

    choose(SkinTag::PATTERNMENU, 16); // all accents off
    EXPECT_EQ(host.pattern.steps[1].flags, StepFlags::gate | StepFlags::up);

    // The song import asks for its file; a cancelled dialog changes nothing.
    const std::size_t callsBefore = host.calls.size();
    dialogs->answerFile("");
    choose(SkinTag::PATTERNMENU, 26);
    ASSERT_EQ(dialogs->fileRequests.size(), 1u);
    EXPECT_EQ(dialogs->fileRequests[0].title, "Import Rebirth RB-338 Song File");
    EXPECT_EQ(dialogs->fileRequests[0].filter, "Rebirth RB-338 Song File(*.rbs)");
    EXPECT_EQ(dialogs->fileRequests[0].defaultExtension, "rbs");
    EXPECT_EQ(host.calls.size(), callsBefore);
}

TEST_F(Menus, AWaitingFunctionButtonTakesTheEntryThenRunsItWhenPressed) {
    editor->settings().functionButton1 = GuiSettings::functionWaiting;
    choose(SkinTag::PATTERNMENU, 25); // export pattern
    // Assigned, not run: no save dialog.
    EXPECT_EQ(editor->settings().functionButton1, 25);
    EXPECT_TRUE(dialogs->fileRequests.empty());
    EXPECT_EQ(editor->settings().functionButton2, GuiSettings::functionUnassigned);

    dialogs->answerFile("/tmp/exported.pat");
    click(SkinTag::FUNCTIONBUTTON1);
    ASSERT_EQ(dialogs->fileRequests.size(), 1u);
    const toolkit::CFileRequest& request = dialogs->fileRequests[0];
    EXPECT_TRUE(request.save);
    EXPECT_EQ(request.title, "Export Freebee Pattern");
    EXPECT_EQ(request.filter, "Freebee Pattern (*.pat)");
    EXPECT_EQ(request.defaultExtension, "pat");
    EXPECT_EQ(host.callsOf("export /tmp/exported.pat").size(), 1u);

    // An unassigned button does nothing.
    click(SkinTag::FUNCTIONBUTTON2);
    EXPECT_EQ(dialogs->fileRequests.size(), 1u);
}

TEST_F(Menus, OptionsMenuShowsTheStatesAndSwitchesThem) {
    host.states[PanelState::filterMode] = 4;
    host.states[PanelState::auxInput] = 1;
    host.states[PanelState::delaySync] = 0;
    editor->refresh();
    std::vector<std::string> texts = optionTexts();
    ASSERT_EQ(texts.size(), 17u);
    EXPECT_EQ(texts[0], "Activate Midi learn");
    EXPECT_EQ(texts[2],
              editor->settings().displayCables ? "Hide Patch Cables" : "Show Patch Cables");
    EXPECT_EQ(texts[4], "Disable Aux input");
    EXPECT_EQ(texts[5], "Filter: Euler");
    EXPECT_EQ(texts[6], "MG/Delay bpm sync: Off");
    EXPECT_EQ(texts[12], "Select Skin [now Tresk Pro]");
    EXPECT_EQ(texts[16], "Preferences...");

    choose(SkinTag::OPTIONMENU, 5); // the filter entry leaves Euler alone
    EXPECT_EQ(host.states[PanelState::filterMode], 4);
    host.states[PanelState::filterMode] = 3;
    choose(SkinTag::OPTIONMENU, 5);
    EXPECT_EQ(host.states[PanelState::filterMode], 5);
    choose(SkinTag::OPTIONMENU, 4);
    choose(SkinTag::OPTIONMENU, 6);
    choose(SkinTag::OPTIONMENU, 0);
    texts = optionTexts();
    EXPECT_EQ(texts[0], "Deactivate Midi learn");
    EXPECT_EQ(texts[4], "Enable Aux Input");
    EXPECT_EQ(texts[5], "Filter: 24dBSO/octave 2x oversampled");
    EXPECT_EQ(texts[6], "MG/Delay bpm sync: On");

    // The three configuration files, each opened on its own.
    choose(SkinTag::OPTIONMENU, 10);
    ASSERT_EQ(opened.size(), 3u);
    EXPECT_EQ(opened[2], host.pluginFolder() + "Gui.ini");

    // A skin that cannot be read is refused with a warning and the default skin stays.
    dialogs->answerFile("/nonexistent/Broken.skn");
    choose(SkinTag::OPTIONMENU, 12);
    ASSERT_EQ(dialogs->shownMessages.size(), 1u);
    EXPECT_EQ(dialogs->shownMessages[0].title, "Tresk Pro");
    EXPECT_TRUE(editor->settings().skin.empty());
    EXPECT_EQ(optionTexts()[12], "Select Skin [now Default]");
}

} // namespace
} // namespace treskpro
