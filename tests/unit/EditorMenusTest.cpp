// The pattern and options menus on the default skin against a plug-in kept in memory: what each
// menu lists, where it opens, and what choosing an entry asks of the plug-in.
#include "editor/TagTable.h"
#include "editor/TreskproEditor.h"
#include "tests/support/FakeEditorHost.h"
#include "toolkit/CHeadlessWindow.h"
#include "toolkit/COptionMenu.h"
#include "toolkit/CScriptedDialogs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

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

// A system menu opened on the press takes the release for itself: the menu's button comes back
// up when the menu closes, without waiting for a release that never reaches the panel.
TEST_F(Menus, ButtonsThatOpenAMenuOrDialogComeBackUpWhenItCloses) {
    editor->settings().functionButton1 = 22; // "Advanced Random..."
    for (const int button : {SkinTag::PATTERNMENU, SkinTag::OPTIONMENU, SkinTag::PATCHBUTTON,
                             SkinTag::FUNCTIONBUTTON1}) {
        const toolkit::CRect area = editor->control(button)->frameRect();
        const toolkit::CPoint centre{area.left + area.width() / 2, area.top + area.height() / 2};
        window->mouseDown(centre);
        EXPECT_EQ(editor->control(button)->getValue(), 0.0f) << "tag " << button;
        window->mouseUp(centre);
    }
    EXPECT_EQ(dialogs->shownMenus.size(), 3u);
    EXPECT_EQ(dialogs->shownDialogs, std::vector<std::string>{"Advanced Randomizer"});
}

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
    // Shift+click makes a button wait for its entry.
    const toolkit::CRect button = editor->control(SkinTag::FUNCTIONBUTTON1)->frameRect();
    window->click(button.center(),
                  {toolkit::CButtonState::kLButton | toolkit::CButtonState::kShift});
    EXPECT_EQ(editor->settings().functionButton1, GuiSettings::functionWaiting);
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

// A patch folder with a sub-folder: the menu lists both, and the patch list buttons, program
// changes and bank selects load from it.
class PatchMenu : public Menus {
protected:
    void SetUp() override {
        root = std::filesystem::path(::testing::TempDir()) / "menu-patches";
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root / "Sub");
        for (const char* name :
             {"Acid.tpro", "-G Odd.tpro", "notes.txt", "Sub/One.tpro", "Sub/Two.TPRO"})
            std::ofstream(root / name) << "x";
        host.patches = root.string();
        host.patchPath = (root / "Sub" / "One.tpro").string();
        Menus::SetUp();
    }
    std::vector<std::string> shownPatchMenu() {
        dialogs->answerMenu({});
        click(SkinTag::PATCHBUTTON);
        return dialogs->shownMenus.back().entries;
    }
    int subMenuIndex() {
        const std::vector<std::string> entries = shownPatchMenu();
        return int(std::find(entries.begin(), entries.end(), "-MSub") - entries.begin());
    }
    std::vector<std::string> loads() const {
        std::vector<std::string> found;
        for (const auto& call : host.calls)
            if (call.what.starts_with("load "))
                found.push_back(call.what.substr(5));
        return found;
    }
    std::filesystem::path root;
};

TEST_F(PatchMenu, ListsTheFolderTreeWithTheCurrentPatchChecked) {
    const std::vector<std::string> entries = shownPatchMenu();
    ASSERT_EQ(entries.size(), 10u);
    EXPECT_EQ(entries[0], "Open Patch (now Sub\\One)");
    EXPECT_EQ(entries[2], "Save Patch");
    EXPECT_EQ(entries[3], "Save Patch As");
    EXPECT_EQ(entries[5], "Auto Run/Stop: On");
    std::vector<std::string> listed(entries.begin() + 7, entries.end());
    std::sort(listed.begin(), listed.end());
    // A name that looks like a menu marker stays an ordinary entry.
    EXPECT_EQ(listed, (std::vector<std::string>{" -G Odd", "-MSub", "Acid"}));
    const toolkit::COptionMenu* sub = editor->getPatchMenu()->getSubMenu(subMenuIndex());
    ASSERT_NE(sub, nullptr);
    ASSERT_EQ(sub->getNbEntries(), 2);
    const int one = sub->getEntry(0) == "One" ? 0 : 1;
    EXPECT_TRUE(sub->isChecked(one));
    EXPECT_FALSE(sub->isChecked(1 - one));

    dialogs->answerMenuTitle(" -G Odd");
    click(SkinTag::PATCHBUTTON);
    ASSERT_EQ(loads().size(), 1u);
    EXPECT_EQ(loads()[0], (root / "-G Odd.tpro").string());
    dialogs->answerMenu({5});
    click(SkinTag::PATCHBUTTON);
    EXPECT_FALSE(host.autoRun);
}

TEST_F(PatchMenu, ListButtonsStopAtTheEndsAndMidiSelectsFromTheList) {
    const toolkit::COptionMenu* sub = editor->getPatchMenu()->getSubMenu(subMenuIndex());
    ASSERT_NE(sub, nullptr);
    const bool oneFirst = sub->getEntry(0) == "One";
    const std::string two = (root / "Sub" / "Two.TPRO").string();
    const std::string one = host.patchPath;
    click(oneFirst ? SkinTag::NEXTPATCHBUTTON : SkinTag::PREVPATCHBUTTON);
    ASSERT_EQ(loads(), std::vector<std::string>{two});
    // At the end of the folder: nothing more.
    click(oneFirst ? SkinTag::NEXTPATCHBUTTON : SkinTag::PREVPATCHBUTTON);
    EXPECT_EQ(loads().size(), 1u);

    editor->selectProgram(oneFirst ? 0 : 1);
    EXPECT_EQ(loads().back(), one);
    editor->selectProgram(99); // clamped to the last entry
    EXPECT_EQ(loads().back(), oneFirst ? two : one);

    // The top menu as the list: its commands never load; a bank on a patch does nothing.
    editor->selectBank(0);
    const std::size_t before = loads().size();
    host.patchPath = (root / "Acid.tpro").string();
    editor->rebuildPatchMenu();
    editor->selectProgram(0);
    editor->selectProgram(2);
    EXPECT_EQ(loads().size(), before);
    EXPECT_TRUE(dialogs->fileRequests.empty());
    editor->selectBank(subMenuIndex());
    editor->selectProgram(0);
    EXPECT_EQ(loads().size(), before + 1);
}

TEST_F(PatchMenu, SaveAsksUnlessThePatchIsTheUsersOwn) {
    // A path from a host's project, and a factory patch at the top of the folder: the dialog.
    for (const std::string& path : {std::string("/etc/passwd"), (root / "Acid.tpro").string()}) {
        host.patchPath = path;
        dialogs->answerFile("");
        dialogs->answerMenu({2});
        click(SkinTag::PATCHBUTTON);
    }
    EXPECT_EQ(dialogs->fileRequests.size(), 2u);
    EXPECT_TRUE(host.callsOf("save /etc/passwd").empty());
    // One in a folder of the user's: saved where it is.
    host.patchPath = (root / "Sub" / "One.tpro").string();
    dialogs->answerMenu({2});
    click(SkinTag::PATCHBUTTON);
    EXPECT_EQ(dialogs->fileRequests.size(), 2u);
    EXPECT_EQ(host.callsOf("save " + host.patchPath).size(), 1u);
}

} // namespace
} // namespace treskpro
