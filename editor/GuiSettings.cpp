#include "editor/GuiSettings.h"

#include "files/TextScanner.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace treskpro {

namespace {

// VST virtual keys a keymap entry may name, in the order the file's comment lists them.
struct VirtualKeyName {
    const char* name;
    int code;
};
constexpr VirtualKeyName virtualKeyNames[] = {
    {"SPACE", 7}, {"RETURN", 4}, {"BACK", 1},   {"UP", 12},
    {"DOWN", 14}, {"LEFT", 11},  {"RIGHT", 13}, {"TAB", 2},
};

const char* virtualKeyName(int code) {
    for (const auto& entry : virtualKeyNames)
        if (entry.code == code)
            return entry.name;
    return nullptr;
}

// The integer keys, with whether only their lowest bit counts.
struct IntegerKey {
    const char* name;
    std::int32_t GuiSettings::*field;
    bool lowestBit;
};
constexpr IntegerKey integerKeys[] = {
    {"SkinShowDialog", &GuiSettings::skinShowDialog, false},
    {"UseKeyboard", &GuiSettings::useKeyboard, false},
    {"ProgrammingMode", &GuiSettings::programmingMode, false},
    {"ClearConfirm", &GuiSettings::clearConfirm, false},
    {"StickToValue", &GuiSettings::stickToValue, true},
    {"FloatingDisplay", &GuiSettings::floatingDisplay, true},
    {"SoftShadows", &GuiSettings::softShadows, false},
    {"AntiAliasing", &GuiSettings::antiAliasing, false},
    {"DisplayCables", &GuiSettings::displayCables, true},
    {"ShowPatchInfo", &GuiSettings::showPatchInfo, false},
    {"FrameRateLimit", &GuiSettings::frameRateLimit, false},
    {"ShowSplashSequence", &GuiSettings::showSplashSequence, false},
};

void appendLine(std::string& out, const char* format, auto... values) {
    char line[512];
    std::snprintf(line, sizeof line, format, values...);
    out += line;
    out += "\r\n";
}

// A keymap value: 'c' (a printable 7-bit character, what a key types), a virtual-key name or
// -1. Anything else leaves the entry as it was, so a typo never unbinds a key.
void decodeKey(KeymapEntry& entry, const std::string& token) {
    if (token.size() == 3 && token[0] == '\'' && token[2] == '\'') {
        const int character = static_cast<unsigned char>(token[1]);
        if (character <= ' ' || character > '~')
            return;
        entry.character = character;
        entry.virtualKey = -1;
        return;
    }
    if (token == "-1") {
        entry.character = -1;
        entry.virtualKey = -1;
        return;
    }
    for (const auto& name : virtualKeyNames) {
        if (equalIgnoringCase(token, name.name)) {
            entry.character = -1;
            entry.virtualKey = name.code;
            return;
        }
    }
}

// The Skin value: a path between double quotes on the rest of the line. A value without its
// quotes is ignored with its line, so a lost closing quote cannot swallow the keys after it.
void readSkin(GuiSettings& settings, TextScanner& scanner, std::string_view text) {
    const std::size_t open = scanner.offset();
    if (open >= text.size() || text[open] != '"') {
        scanner.skipLine();
        return;
    }
    const std::size_t close = text.find_first_of("\"\r\n", open + 1);
    if (close == std::string_view::npos || text[close] != '"') {
        scanner.skipLine();
        return;
    }
    std::string path = scanner.quoted();
    if (path.size() <= GuiSettings::skinPathLimit)
        settings.skin = std::move(path);
}

bool isControl(int modifiers) {
    constexpr int command = 4;
    constexpr int control = 8;
    return (modifiers & (command | control)) != 0;
}

} // namespace

Keymap defaultKeymap() {
    constexpr int space = 7, back = 1, tab = 2, enter = 4;
    return Keymap{{
        {"Keymap.note1", 555, 'q'},     {"Keymap.note2", 556, '2'},
        {"Keymap.note3", 557, 'w'},     {"Keymap.note4", 558, '3'},
        {"Keymap.note5", 559, 'e'},     {"Keymap.note6", 560, 'r'},
        {"Keymap.note7", 561, '5'},     {"Keymap.note8", 562, 't'},
        {"Keymap.note9", 563, '6'},     {"Keymap.note10", 564, 'y'},
        {"Keymap.note11", 565, '7'},    {"Keymap.note12", 566, 'u'},
        {"Keymap.note13", 567, 'i'},    {"Keymap.runstop", 14, -1, space},
        {"Keymap.down", 18, 'a'},       {"Keymap.up", 19, 's'},
        {"Keymap.accent", 20, 'd'},     {"Keymap.slide", 21, 'f'},
        {"Keymap.next", 23, -1, enter}, {"Keymap.back", 22, -1, back},
        {"Keymap.timemode", 17, 'p'},   {"Keymap.pitchmode", 15, -1, tab},
        {"Keymap.clear", 13, 'x'},      {"Keymap.noteon", 26, 'b'},
        {"Keymap.notetie", 28, 'n'},    {"Keymap.noteoff", 27, 'm'},
    }};
}

void readGuiSettingsText(GuiSettings& settings, std::string_view text) {
    TextScanner scanner(text);
    std::string key;
    while (scanner.nextKey(key)) {
        if (equalIgnoringCase(key, "Skin")) {
            readSkin(settings, scanner, text);
            continue;
        }

        std::string token;
        scanner.word(token);

        if (equalIgnoringCase(key, "CableTension")) {
            TextScanner number(token);
            float tension = 0.0f;
            // A token without a number is read as 0, as the C library would; NaN is no tension.
            number.number(tension);
            if (!std::isnan(tension))
                settings.cableTension = tension < 0.0f ? 0.0f : (tension > 2.0f ? 2.0f : tension);
            continue;
        }

        if (equalIgnoringCase(key, "FunctionButton1") ||
            equalIgnoringCase(key, "FunctionButton2")) {
            // The value indexes the pattern menu: anything beyond it is ignored.
            const std::int32_t value = integerToken(token);
            if (value >= GuiSettings::functionWaiting && value < GuiSettings::patternMenuEntryCount)
                (equalIgnoringCase(key, "FunctionButton1") ? settings.functionButton1
                                                           : settings.functionButton2) = value;
            continue;
        }

        bool handled = false;
        for (const auto& entry : integerKeys) {
            if (equalIgnoringCase(key, entry.name)) {
                const std::int32_t value = integerToken(token);
                settings.*entry.field = entry.lowestBit ? (value & 1) : value;
                handled = true;
                break;
            }
        }
        if (handled)
            continue;

        for (auto& entry : settings.keymap) {
            if (equalIgnoringCase(key, entry.name)) {
                decodeKey(entry, token);
                break;
            }
        }
        // Any other key: its value is consumed and ignored.
    }
}

std::string writeGuiSettingsText(const GuiSettings& settings) {
    std::string out;
    out += "; Tresk GUI configuration\r\n";
    out += "; Remember to Save and Reload Configuration when changing values manually.\r\n";
    out += "; Value of \"\" means default (built-in) skin\r\n";
    out += "Skin = \"" + settings.skin + "\"\r\n";
    appendLine(out, "SkinShowDialog = %d", settings.skinShowDialog);
    appendLine(out, "ClearConfirm = %d", settings.clearConfirm);
    appendLine(out, "StickToValue = %d", settings.stickToValue);
    appendLine(out, "UseKeyboard = %d", settings.useKeyboard);
    appendLine(out, "FloatingDisplay = %d", settings.floatingDisplay);
    appendLine(out, "SoftShadows = %d", settings.softShadows);
    appendLine(out, "AntiAliasing = %d", settings.antiAliasing);
    appendLine(out, "DisplayCables = %d", settings.displayCables);
    appendLine(out, "ShowPatchInfo = %d", settings.showPatchInfo);
    // Six decimals as "%f" writes them, whatever decimal mark the host's locale uses.
    char tension[64];
    const auto written =
        std::to_chars(tension, tension + sizeof tension - 1,
                      static_cast<double>(settings.cableTension), std::chars_format::fixed, 6);
    *written.ptr = '\0';
    appendLine(out, "CableTension = %s", tension);
    appendLine(out, "FrameRateLimit = %d", settings.frameRateLimit);
    appendLine(out, "ShowSplashSequence = %d", settings.showSplashSequence);
    out += "; Valid keycodes are SPACE,RETURN,BACK,UP,DOWN,LEFT,RIGHT and TAB\r\n";
    out += "; Value of -1 means key is not assigned\r\n";
    for (const auto& entry : settings.keymap) {
        out += entry.name;
        out += " = ";
        if (entry.character >= 0) {
            out += '\'';
            out += static_cast<char>(entry.character);
            out += '\'';
        } else if (const char* name = virtualKeyName(entry.virtualKey)) {
            out += name;
        } else {
            out += "-1";
        }
        out += "\r\n";
    }
    out += ";\r\n";
    appendLine(out, "FunctionButton1 = %d", settings.functionButton1);
    appendLine(out, "FunctionButton2 = %d", settings.functionButton2);
    return out;
}

KeyDecision decideKey(const GuiSettings& settings, bool windowOpen, int character, int virtualKey,
                      int modifiers) {
    if (!windowOpen)
        return {};

    if (isControl(modifiers)) {
        const int letter = character >= 'A' && character <= 'Z' ? character - 'A' + 'a' : character;
        constexpr int shift = 1;
        switch (letter) {
        case 'l':
            return {KeyCommand::toggleCables};
        case 'o':
            return {KeyCommand::openPatch};
        case 's':
            return {(modifiers & shift) ? KeyCommand::savePatchAs : KeyCommand::savePatch};
        default:
            break;
        }
    }

    if (settings.useKeyboard == 0 || modifiers != 0)
        return {};

    if (character > 0)
        for (const auto& entry : settings.keymap)
            if (entry.character == character)
                return {KeyCommand::stepAction, entry.action};
    if (virtualKey > 0)
        for (const auto& entry : settings.keymap)
            if (entry.virtualKey == virtualKey)
                return {KeyCommand::stepAction, entry.action};
    return {};
}

} // namespace treskpro
