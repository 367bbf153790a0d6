// The editor's three dialogs: the preferences, the patch info and the advanced randomizer. Each
// is a handler for a dialog of the resource script in resources/dialogs; the handler keeps no
// copy of what it edits: every control reads its value from, and writes it straight into, the
// plug-in (through EditorHost) or the editor's settings, at the moment the user changes it.
#pragma once

#include "editor/EditorHost.h"
#include "toolkit/CDialog.h"

namespace treskpro {

class TreskproEditor;

// The dialog `name` ("IDD_PREFERENCES", "IDD_PATCHINFO", "IDD_RANDOMIZER") of the resource
// script built into the plug-in; read once.
const toolkit::CDialogTemplate& editorDialogTemplate(const char* name);

// The global settings of Config.ini, some editor settings and a few states of the current
// patch. Opening saves a snapshot of Config.ini's settings that Cancel returns to; the editor's
// own settings changed here stay as changed.
class PreferencesDialog final : public toolkit::CDialogHandler {
public:
    static constexpr const char* configFile = "Config.ini";
    static constexpr const char* snapshotFile = "Config.bak";

    explicit PreferencesDialog(TreskproEditor& owner);
    void initDialog(toolkit::CDialog& dialog) override;
    void controlChanged(toolkit::CDialog& dialog, int id) override;

private:
    void show(toolkit::CDialog& dialog);
    void showSliderLabels(toolkit::CDialog& dialog);
    void selectTuning(toolkit::CDialog& dialog);

    TreskproEditor& editor;
    EditorHost& host;
};

// The current patch's info text and its show flag. The flag changes at once; the text only
// with OK.
class PatchInfoDialog final : public toolkit::CDialogHandler {
public:
    explicit PatchInfoDialog(EditorHost& plugin);
    void initDialog(toolkit::CDialog& dialog) override;
    void controlChanged(toolkit::CDialog& dialog, int id) override;

private:
    EditorHost& host;
};

// The advanced randomizer's choices, and "Go" on the current pattern; it stays open.
class RandomizerDialog final : public toolkit::CDialogHandler {
public:
    explicit RandomizerDialog(TreskproEditor& owner);
    void initDialog(toolkit::CDialog& dialog) override;
    void controlChanged(toolkit::CDialog& dialog, int id) override;

    // The choices, kept from one opening to the next while the plug-in file is loaded.
    static RandomizerChoice& choice();

private:
    void show(toolkit::CDialog& dialog);

    TreskproEditor& editor;
    EditorHost& host;
};

} // namespace treskpro
