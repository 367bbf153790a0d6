// The editor's own preferences, kept apart from the synthesizer's configuration in Gui.ini in the
// plug-in folder: the chosen skin, display options, the cable look, the two function-button
// assignments and the map of computer-keyboard keys to step-programming actions.
//
// The editor sets the defaults when it opens, reads Gui.ini over them, works with the values in
// memory and writes the file whole when it closes. Reading and writing work on text: the editor
// cannot reach the plug-in's safe file writer, so the caller that owns the files reads the file
// into a string and writes the returned text through it. Editor thread only.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace treskpro {

// What one keymap entry does: a step-programming action (sequencer/StepProgramming.h) run by a
// character or, when no entry has the key's character, by a VST virtual key.
struct KeymapEntry {
    const char* name;    // the file key, "Keymap.note1" ...
    int action;          // step-programming action code
    int character = -1;  // a printable 7-bit character, -1 for none
    int virtualKey = -1; // VST virtual-key code, -1 for none
};

constexpr int keymapEntryCount = 26;
using Keymap = std::array<KeymapEntry, keymapEntryCount>;

// The keymap as a fresh install has it: the two lower rows of a computer keyboard play a
// chromatic octave, the keys below edit the step.
Keymap defaultKeymap();

struct GuiSettings {
    // The pattern menu's entries run by the function buttons: -1 unassigned, -2 waiting for the
    // next chosen entry, otherwise an index below this count.
    static constexpr int patternMenuEntryCount = 27;
    static constexpr int functionUnassigned = -1;
    static constexpr int functionWaiting = -2;
    // Longer than any path a system hands out; a longer value is damage, not a path.
    static constexpr std::size_t skinPathLimit = 4096;

    std::string skin; // full path of the .skn file; empty for the default skin
    std::int32_t skinShowDialog = 1;
    std::int32_t useKeyboard = 0;
    std::int32_t programmingMode = 0; // kept in memory only; the writer leaves it out
    std::int32_t functionButton1 = functionUnassigned;
    std::int32_t functionButton2 = functionUnassigned;
    std::int32_t clearConfirm = 0;
    std::int32_t stickToValue = 1;    // 0 or 1
    std::int32_t floatingDisplay = 1; // 0 or 1
    std::int32_t softShadows = 0;
    std::int32_t antiAliasing = 0;
    std::int32_t displayCables = 1; // 0 or 1
    std::int32_t showPatchInfo = 1;
    float cableTension = 1.0f; // 0..2
    std::int32_t frameRateLimit = 0;
    std::int32_t showSplashSequence = 0;
    Keymap keymap = defaultKeymap();

    // What the editor does once its window is open: the splash sequence is not shown again.
    void editorOpened() { showSplashSequence = 0; }
};

// Reads Gui.ini text over `settings`: blanks and ";" comments skipped, keys compared without
// regard to case, unknown keys and malformed values ignored. Every value is bounded before it is
// kept: the cable tension to 0..2, the flag keys to their lowest bit, function buttons to the
// pattern menu, keymap keys to printable 7-bit characters and the named virtual keys.
void readGuiSettingsText(GuiSettings& settings, std::string_view text);

// The whole text of Gui.ini, CR LF line ends.
std::string writeGuiSettingsText(const GuiSettings& settings);

// What a key pressed in the editor asks for.
enum class KeyCommand {
    notConsumed,
    toggleCables, // Control+L
    openPatch,    // Control+O
    savePatch,    // Control+S
    savePatchAs,  // Control+Shift+S
    stepAction,   // a keymap entry matched: run `stepAction`, then refresh menus and LEDs
};

struct KeyDecision {
    KeyCommand command = KeyCommand::notConsumed;
    int stepAction = 0;

    bool consumed() const { return command != KeyCommand::notConsumed; }
};

// The editor's key handling: the Control shortcuts always, the keymap only with UseKeyboard on
// and no modifier held; a character match anywhere in the map wins over a virtual-key match.
// `modifiers` are the VST bits; hosts report Control as either 4 or 8, so both count.
KeyDecision decideKey(const GuiSettings& settings, bool windowOpen, int character, int virtualKey,
                      int modifiers);

} // namespace treskpro
