// Gui.ini as a user finds it on disk and edits it by hand, and the keys the editor takes.
#include "editor/GuiSettings.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace treskpro {
namespace {

const std::string defaultFile =
    "; Tresk GUI configuration\r\n"
    "; Remember to Save and Reload Configuration when changing values manually.\r\n"
    "; Value of \"\" means default (built-in) skin\r\n"
    "Skin = \"\"\r\n"
    "SkinShowDialog = 1\r\n"
    "ClearConfirm = 0\r\n"
    "StickToValue = 1\r\n"
    "UseKeyboard = 0\r\n"
    "FloatingDisplay = 1\r\n"
    "SoftShadows = 0\r\n"
    "AntiAliasing = 0\r\n"
    "DisplayCables = 1\r\n"
    "ShowPatchInfo = 1\r\n"
    "CableTension = 1.000000\r\n"
    "FrameRateLimit = 0\r\n"
    "ShowSplashSequence = 0\r\n"
    "; Valid keycodes are SPACE,RETURN,BACK,UP,DOWN,LEFT,RIGHT and TAB\r\n"
    "; Value of -1 means key is not assigned\r\n"
    "Keymap.note1 = 'q'\r\n"
    "Keymap.note2 = '2'\r\n"
    "Keymap.note3 = 'w'\r\n"
    "Keymap.note4 = '3'\r\n"
    "Keymap.note5 = 'e'\r\n"
    "Keymap.note6 = 'r'\r\n"
    "Keymap.note7 = '5'\r\n"
    "Keymap.note8 = 't'\r\n"
    "Keymap.note9 = '6'\r\n"
    "Keymap.note10 = 'y'\r\n"
    "Keymap.note11 = '7'\r\n"
    "Keymap.note12 = 'u'\r\n"
    "Keymap.note13 = 'i'\r\n"
    "Keymap.runstop = SPACE\r\n"
    "Keymap.down = 'a'\r\n"
    "Keymap.up = 's'\r\n"
    "Keymap.accent = 'd'\r\n"
    "Keymap.slide = 'f'\r\n"
    "Keymap.next = RETURN\r\n"
    "Keymap.back = BACK\r\n"
    "Keymap.timemode = 'p'\r\n"
    "Keymap.pitchmode = TAB\r\n"
    "Keymap.clear = 'x'\r\n"
    "Keymap.noteon = 'b'\r\n"
    "Keymap.notetie = 'n'\r\n"
    "Keymap.noteoff = 'm'\r\n"
    ";\r\n"
    "FunctionButton1 = -1\r\n"
    "FunctionButton2 = -1\r\n";

GuiSettings read(const std::string& text) {
    GuiSettings settings;
    readGuiSettingsText(settings, text);
    return settings;
}

// A keymap entry by its file key.
const KeymapEntry& entry(const GuiSettings& settings, const std::string& name) {
    for (const auto& candidate : settings.keymap)
        if (candidate.name == name)
            return candidate;
    throw std::out_of_range(name);
}

TEST(GuiSettings, DefaultsAndChangedSettingsAreWrittenExactlyAndReadBackEqual) {
    EXPECT_EQ(writeGuiSettingsText(GuiSettings{}), defaultFile);
    EXPECT_EQ(writeGuiSettingsText(read(defaultFile)), defaultFile);

    GuiSettings changed;
    changed.skin = "C:\\Skins\\Night Shift\\Night.skn";
    changed.skinShowDialog = 0;
    changed.clearConfirm = 1;
    changed.stickToValue = 0;
    changed.useKeyboard = 1;
    changed.floatingDisplay = 0;
    changed.softShadows = 1;
    changed.antiAliasing = 1;
    changed.displayCables = 0;
    changed.showPatchInfo = 0;
    changed.cableTension = 0.25f;
    changed.frameRateLimit = 30;
    changed.showSplashSequence = 1;
    changed.programmingMode = 3;
    changed.functionButton1 = 25;
    changed.functionButton2 = -2;
    changed.keymap[0].character = 'Q';
    changed.keymap[13] = {"Keymap.runstop", 14, -1, 12}; // UP
    changed.keymap[14] = {"Keymap.down", 18, -1, -1};
    changed.keymap[19] = {"Keymap.back", 22, -1, 11}; // LEFT

    const std::string text = writeGuiSettingsText(changed);
    EXPECT_NE(text.find("Skin = \"C:\\Skins\\Night Shift\\Night.skn\"\r\nSkinShowDialog = 0\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("CableTension = 0.250000\r\nFrameRateLimit = 30\r\n"
                        "ShowSplashSequence = 1\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("Keymap.note1 = 'Q'\r\n"), std::string::npos);
    EXPECT_NE(text.find("Keymap.runstop = UP\r\nKeymap.down = -1\r\n"), std::string::npos);
    EXPECT_NE(text.find("Keymap.back = LEFT\r\n"), std::string::npos);
    EXPECT_TRUE(text.ends_with(";\r\nFunctionButton1 = 25\r\nFunctionButton2 = -2\r\n"));
    EXPECT_EQ(text.find("ProgrammingMode"), std::string::npos);

    const GuiSettings back = read(text);
    EXPECT_EQ(writeGuiSettingsText(back), text);
    EXPECT_EQ(back.skin, changed.skin);
    EXPECT_EQ(back.cableTension, 0.25f);
    EXPECT_EQ(back.functionButton2, -2);
    EXPECT_EQ(back.programmingMode, 0); // not written, so the default comes back

    // Opening the editor once is enough for the file to hold no splash sequence.
    changed.editorOpened();
    EXPECT_NE(writeGuiSettingsText(changed).find("ShowSplashSequence = 0\r\n"), std::string::npos);
}

TEST(GuiSettings, HandEditedValuesAreBoundedOrIgnored) {
    GuiSettings settings = read("; edited\n"
                                "CABLETENSION = 5\n"
                                "sticktovalue = 2\n"
                                "FloatingDisplay = 3\n"
                                "ShowPatchInfo = 99999999999999999999\n"
                                "FrameRateLimit = -99999999999999999999\n"
                                "ProgrammingMode = 0x10\n"
                                "Keymap.note1 = Q\n"
                                "Keymap.note2 = 'W'\n"
                                "Keymap.note3 = 'ww'\n"
                                "Keymap.note4 = '\xe9'\n"
                                "Keymap.note5 = right\n"
                                "Keymap.note6 = -1\n"
                                "Keymap.note77 = 'z'\n"
                                "FunctionButton1 = 27\n"
                                "FunctionButton2 = -3\n"
                                "Mystery = 12\n"
                                "UseKeyboard = 1\n");
    EXPECT_EQ(settings.cableTension, 2.0f);
    EXPECT_EQ(settings.stickToValue, 0);
    EXPECT_EQ(settings.floatingDisplay, 1);
    EXPECT_EQ(settings.showPatchInfo, 2147483647);
    EXPECT_EQ(settings.frameRateLimit, -2147483647 - 1);
    EXPECT_EQ(settings.programmingMode, 16);
    EXPECT_EQ(entry(settings, "Keymap.note1").character, 'q'); // no apostrophes: unchanged
    EXPECT_EQ(entry(settings, "Keymap.note2").character, 'W');
    EXPECT_EQ(entry(settings, "Keymap.note3").character, 'w');
    EXPECT_EQ(entry(settings, "Keymap.note4").character, '3'); // beyond 7 bits: unchanged
    EXPECT_EQ(entry(settings, "Keymap.note5").character, -1);
    EXPECT_EQ(entry(settings, "Keymap.note5").virtualKey, 13);
    EXPECT_EQ(entry(settings, "Keymap.note6").character, -1);
    EXPECT_EQ(entry(settings, "Keymap.note6").virtualKey, -1);
    EXPECT_EQ(settings.functionButton1, -1); // no pattern-menu entry 27
    EXPECT_EQ(settings.functionButton2, -1);
    EXPECT_EQ(settings.useKeyboard, 1);

    EXPECT_EQ(read("CableTension = -1\r\n").cableTension, 0.0f);
    EXPECT_EQ(read("CableTension = nan\r\n").cableTension, 1.0f);
    EXPECT_EQ(read("CableTension = 1e300\r\n").cableTension, 2.0f);

    // A lost closing quote costs the skin line only, not the keys after it; a value without
    // quotes is no path either.
    settings = read("Skin = \"C:\\Skins\\Broken.skn\r\nUseKeyboard = 1\r\nClearConfirm = 1\r\n");
    EXPECT_EQ(settings.skin, "");
    EXPECT_EQ(settings.useKeyboard, 1);
    EXPECT_EQ(settings.clearConfirm, 1);
    settings = read("Skin = C:\\Skins\\Bare.skn\r\nUseKeyboard = 1\r\n");
    EXPECT_EQ(settings.skin, "");
    EXPECT_EQ(settings.useKeyboard, 1);
    EXPECT_EQ(read("Skin = \"" + std::string(5000, 'a') + "\"\r\n").skin, "");
    EXPECT_EQ(read("Skin = \"/home/me/skins/Blue.skn\" ; mine\n").skin, "/home/me/skins/Blue.skn");

    // Hostile bytes anywhere leave a readable, writable set.
    std::string noise;
    for (int i = 0; i < 4096; ++i)
        noise += static_cast<char>((i * 7919) % 256);
    settings = read(noise + "\nKeymap.clear = '\x01'\n");
    EXPECT_EQ(entry(settings, "Keymap.clear").character, 'x');
    EXPECT_EQ(writeGuiSettingsText(read(writeGuiSettingsText(settings))),
              writeGuiSettingsText(settings));
}

TEST(GuiSettings, KeysRunShortcutsAndTheKeymapOnlyAsTheEditorAllows) {
    GuiSettings settings;
    constexpr int shift = 1, alternate = 2, command = 4, control = 8;
    constexpr int space = 7, back = 1;

    EXPECT_FALSE(decideKey(settings, false, 's', 0, control).consumed());
    EXPECT_EQ(decideKey(settings, true, 's', 0, control).command, KeyCommand::savePatch);
    EXPECT_EQ(decideKey(settings, true, 'S', 0, control | shift).command, KeyCommand::savePatchAs);
    EXPECT_EQ(decideKey(settings, true, 'o', 0, command).command, KeyCommand::openPatch);
    EXPECT_EQ(decideKey(settings, true, 'L', 0, command).command, KeyCommand::toggleCables);
    EXPECT_FALSE(decideKey(settings, true, 'k', 0, control).consumed());

    // The keymap sleeps until UseKeyboard is on.
    EXPECT_FALSE(decideKey(settings, true, 'q', 0, 0).consumed());
    settings.useKeyboard = 1;
    EXPECT_EQ(decideKey(settings, true, 'q', 0, 0).stepAction, 555);
    EXPECT_EQ(decideKey(settings, true, 'i', 0, 0).stepAction, 567);
    EXPECT_FALSE(decideKey(settings, true, 'q', 0, shift).consumed());
    EXPECT_FALSE(decideKey(settings, true, 'q', 0, alternate).consumed());
    EXPECT_FALSE(decideKey(settings, true, 'Q', 0, 0).consumed());
    EXPECT_EQ(decideKey(settings, true, 0, space, 0).stepAction, 14);
    EXPECT_EQ(decideKey(settings, true, 0, back, 0).stepAction, 22);
    EXPECT_FALSE(decideKey(settings, true, 0, 0, 0).consumed());

    // A character match anywhere in the map comes before a virtual-key match: a space bound as
    // a character wins over the SPACE entry of run/stop.
    settings.keymap[25].character = ' '; // noteoff
    EXPECT_EQ(decideKey(settings, true, ' ', space, 0).stepAction, 27);
    EXPECT_EQ(decideKey(settings, true, 0, space, 0).stepAction, 14);

    readGuiSettingsText(settings, "Keymap.note1 = 'Q'\n");
    EXPECT_FALSE(decideKey(settings, true, 'q', 0, 0).consumed());
    EXPECT_EQ(decideKey(settings, true, 'Q', 0, 0).stepAction, 555);
}

} // namespace
} // namespace treskpro
