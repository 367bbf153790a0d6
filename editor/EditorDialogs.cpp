// The preferences, patch info and advanced randomizer dialogs. Each control writes its setting
// the moment the user changes it, through EditorHost into whatever patch is current at that
// moment: a dialog stays correct when a program change, a host chunk or a patch load replaces
// the patch while it is open.
#include "editor/EditorDialogs.h"

#include "DialogIds.h"
#include "editor/EditorHost.h"
#include "editor/PanelBindings.h"
#include "editor/TreskproControls.h"
#include "editor/TreskproEditor.h"
#include "platform/Platform.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <mutex>
#include <string>

namespace treskpro {

extern const char* const kDialogScript;
extern const char* const kDialogIds;

const toolkit::CDialogTemplate& editorDialogTemplate(const char* name) {
    static std::mutex lock;
    static std::map<std::string, toolkit::CDialogTemplate, std::less<>> read;
    const std::lock_guard<std::mutex> guard(lock);
    auto found = read.find(name);
    if (found == read.end()) {
        toolkit::CDialogTemplate dialog =
            toolkit::readDialogTemplate(kDialogScript, kDialogIds, name)
                .value_or(toolkit::CDialogTemplate{});
        found = read.emplace(name, std::move(dialog)).first;
    }
    return found->second;
}

using toolkit::CDialog;
using toolkit::kDialogCancel;
using toolkit::kDialogOk;

namespace {

std::optional<int> numberIn(const std::string& text) {
    int value = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    while (first != last && *first == ' ')
        ++first;
    if (std::from_chars(first, last, value).ec != std::errc())
        return std::nullopt;
    return value;
}

} // namespace

// ---- Preferences

PreferencesDialog::PreferencesDialog(TreskproEditor& owner) : editor(owner), host(owner.host) {}

void PreferencesDialog::initDialog(CDialog& dialog) {
    // The snapshot Cancel returns to.
    host.writeConfig(snapshotFile);
    dialog.setRange(IDC_CABLE_TENSION, 1, 200);
    dialog.setRange(IDC_POLYPHONY, 1, 32);
    dialog.setRange(IDC_BEND_RANGE, 0, 24);
    show(dialog);
}

void PreferencesDialog::show(CDialog& dialog) {
    const GuiSettings& gui = editor.gui;
    const bool standard = host.standardTuning();
    dialog.setChecked(IDC_STANDARD_TUNING, standard);
    dialog.setChecked(IDC_CUSTOM_TUNING, !standard);
    dialog.setText(IDC_TUNING_NAME, host.tuningName());
    dialog.setChecked(IDC_ALIAS_FREE, host.aliasFreeOscillators());
    // Models the dialog does not offer show as its first one, unchanged until a button is
    // pressed.
    const int model = host.state(PanelState::filterMode);
    dialog.setChecked(IDC_FILTER_18, model != 3 && model != 5);
    dialog.setChecked(IDC_FILTER_24, model == 3);
    dialog.setChecked(IDC_FILTER_24_2X, model == 5);
    dialog.setChecked(IDC_CABLE_SHADOWS, gui.softShadows != 0);
    dialog.setChecked(IDC_SHOW_CABLES, gui.displayCables != 0);
    dialog.setChecked(IDC_FLOATING_DISPLAY, gui.floatingDisplay != 0);
    dialog.setChecked(IDC_STICKY_CONTROLS, gui.stickToValue != 0);
    dialog.setChecked(IDC_ANTIALIASING, gui.antiAliasing != 0);
    dialog.setPosition(IDC_CABLE_TENSION, int(std::lround(gui.cableTension * 100.0f)));
    dialog.setPosition(IDC_POLYPHONY, host.maxPolyphony());
    dialog.setPosition(IDC_BEND_RANGE, host.state(PanelState::bendRange));
    showSliderLabels(dialog);
    dialog.setChecked(IDC_SYNC_TO_HOST, host.state(PanelState::syncMode) != 0);
    dialog.setChecked(IDC_KEYBOARD_PROGRAMMING, gui.useKeyboard != 0);
    dialog.setChecked(IDC_CONFIRM_CLEAR, gui.clearConfirm != 0);
    dialog.setChecked(IDC_MIDI_OUTPUT, host.midiOutput());
}

void PreferencesDialog::showSliderLabels(CDialog& dialog) {
    dialog.setText(IDC_POLYPHONY_LABEL, "Voices: " + std::to_string(host.maxPolyphony()));
    dialog.setText(IDC_BEND_RANGE_LABEL,
                   "Bend range: " + std::to_string(host.state(PanelState::bendRange)));
}

void PreferencesDialog::controlChanged(CDialog& dialog, int id) {
    GuiSettings& gui = editor.gui;
    const bool checked = dialog.isChecked(id);
    switch (id) {
    case IDC_STANDARD_TUNING:
    case IDC_CUSTOM_TUNING:
        host.setStandardTuning(dialog.isChecked(IDC_STANDARD_TUNING));
        break;
    case IDC_SELECT_TUNING:
        selectTuning(dialog);
        break;
    case IDC_ALIAS_FREE:
        host.setAliasFreeOscillators(checked);
        break;
    case IDC_FILTER_18:
        host.setState(PanelState::filterMode, 2);
        break;
    case IDC_FILTER_24:
        host.setState(PanelState::filterMode, 3);
        break;
    case IDC_FILTER_24_2X:
        host.setState(PanelState::filterMode, 5);
        break;
    case IDC_CABLE_SHADOWS:
        gui.softShadows = checked ? 1 : 0;
        editor.applyGuiSettings();
        break;
    case IDC_SHOW_CABLES:
        gui.displayCables = checked ? 1 : 0;
        editor.applyGuiSettings();
        break;
    case IDC_FLOATING_DISPLAY:
        gui.floatingDisplay = checked ? 1 : 0;
        break;
    case IDC_STICKY_CONTROLS:
        gui.stickToValue = checked ? 1 : 0;
        editor.applyGuiSettings();
        break;
    case IDC_ANTIALIASING:
        gui.antiAliasing = checked ? 1 : 0;
        editor.applyGuiSettings();
        break;
    case IDC_CABLE_TENSION:
        gui.cableTension = float(std::clamp(dialog.position(id), 1, 200)) / 100.0f;
        editor.applyGuiSettings();
        break;
    case IDC_DEFAULT_SKIN:
        editor.selectDefaultSkin();
        break;
    case IDC_POLYPHONY:
        host.setMaxPolyphony(dialog.position(id));
        showSliderLabels(dialog);
        break;
    case IDC_BEND_RANGE:
        host.setState(PanelState::bendRange, dialog.position(id));
        showSliderLabels(dialog);
        break;
    case IDC_SYNC_TO_HOST:
        host.setState(PanelState::syncMode, checked ? 1 : 0);
        editor.refresh();
        break;
    case IDC_KEYBOARD_PROGRAMMING:
        gui.useKeyboard = checked ? 1 : 0;
        break;
    case IDC_CONFIRM_CLEAR:
        gui.clearConfirm = checked ? 1 : 0;
        break;
    case IDC_MIDI_OUTPUT:
        host.setMidiOutput(checked);
        break;
    case IDC_START_PATCH:
        host.setStartPatch();
        break;
    case IDC_RESTORE_DEFAULT:
        host.readConfig(configFile);
        editor.readSettings();
        editor.applyGuiSettings();
        editor.refresh();
        show(dialog);
        break;
    case IDC_SET_AS_DEFAULT:
        host.writeConfig(configFile);
        break;
    case kDialogCancel:
        // Back to what the snapshot holds: the global settings and the patch's configured
        // states, with the tuning table its name points to. The editor's own settings stay.
        host.readConfig(snapshotFile);
        editor.refresh();
        editor.applyGuiSettings();
        dialog.end(kDialogCancel);
        break;
    case kDialogOk:
        editor.applyGuiSettings();
        dialog.end(kDialogOk);
        break;
    default:
        break;
    }
}

void PreferencesDialog::selectTuning(CDialog& dialog) {
    // The file offered first: the tuning's own file name, or the folder's default tuning.
    const std::string current = host.tuningName();
    const std::size_t separator = current.find_last_of("\\/");
    const std::string fileName =
        separator == std::string::npos ? "Default Tuning.tun" : current.substr(separator + 1);
    toolkit::CFileRequest request;
    request.title = "Open Tresk Pro Tuning file";
    request.filter = "Tresk Pro Tuning file (*.tun)";
    request.pattern = "*.tun;*.scl";
    request.defaultExtension = "tun";
    request.initialFolder = host.tuningFolder();
    request.initialPath = request.initialFolder + platform::pathSeparator + fileName;
    const std::optional<std::string> chosen = editor.dialogs->chooseFile(request);
    if (!chosen)
        return;
    host.loadTuning(*chosen);
    dialog.setText(IDC_TUNING_NAME, host.tuningName());
}

// ---- Patch info

PatchInfoDialog::PatchInfoDialog(EditorHost& plugin) : host(plugin) {}

void PatchInfoDialog::initDialog(CDialog& dialog) {
    dialog.setText(IDC_INFO_TEXT, host.patchInfo());
    dialog.setChecked(IDC_SHOW_INFO, host.patchInfoShown());
}

void PatchInfoDialog::controlChanged(CDialog& dialog, int id) {
    switch (id) {
    case IDC_SHOW_INFO:
        host.setPatchInfoShown(dialog.isChecked(id));
        break;
    case kDialogOk:
        host.setPatchInfo(dialog.text(IDC_INFO_TEXT));
        dialog.end(kDialogOk);
        break;
    case kDialogCancel:
        dialog.end(kDialogCancel);
        break;
    default:
        break;
    }
}

// ---- Advanced randomizer

RandomizerChoice& RandomizerDialog::choice() {
    // Kept while the plug-in file is loaded, for every instance, as the menu's other pattern
    // tools keep their clipboard.
    static RandomizerChoice kept;
    return kept;
}

RandomizerDialog::RandomizerDialog(TreskproEditor& owner) : editor(owner), host(owner.host) {}

void RandomizerDialog::initDialog(CDialog& dialog) {
    dialog.setRange(IDC_LENGTH, 1, 64);
    dialog.setRange(IDC_HI_SPIN, 1, 7);
    dialog.setRange(IDC_LO_SPIN, 1, 7);
    show(dialog);
}

namespace {

constexpr int densitySliders[] = {IDC_NOTE_DENSITY, IDC_GATE_DENSITY, IDC_SLIDE_DENSITY,
                                  IDC_ACCENT_DENSITY};

int* densityOf(RandomizerChoice& choice, int index) {
    int* densities[] = {&choice.noteDensity, &choice.gateDensity, &choice.slideDensity,
                        &choice.accentDensity};
    return densities[index];
}

bool* enableOf(RandomizerChoice& choice, int index) {
    bool* enables[] = {&choice.noteEnable, &choice.gateEnable, &choice.slideEnable,
                       &choice.accentEnable};
    return enables[index];
}

} // namespace

// The sliders stand upright with their largest value at the top: a slider's position counts
// from the top.
void RandomizerDialog::show(CDialog& dialog) {
    RandomizerChoice& c = choice();
    dialog.setPosition(IDC_LENGTH, 65 - c.length);
    dialog.setText(IDC_LENGTH_VALUE, std::to_string(c.length));
    dialog.setText(IDC_HI, std::to_string(c.hiOctave));
    dialog.setPosition(IDC_HI_SPIN, c.hiOctave);
    dialog.setText(IDC_LO, std::to_string(c.loOctave));
    dialog.setPosition(IDC_LO_SPIN, c.loOctave);
    for (int k = 0; k < 4; ++k) {
        const int density = *densityOf(c, k);
        dialog.setChecked(IDC_NOTE_ENABLE + k, *enableOf(c, k));
        dialog.setRange(densitySliders[k], 0, c.length);
        dialog.setPosition(densitySliders[k], c.length - density);
        dialog.setText(IDC_NOTE_DENSITY_VALUE + k, std::to_string(density));
    }
    for (int root = 0; root < 12; ++root)
        dialog.setChecked(IDC_ROOT_C + root, root == c.root);
    for (int scale = 0; scale < 7; ++scale)
        dialog.setChecked(IDC_SCALE_CHROMATIC + scale, scale == c.scale);
    dialog.setChecked(IDC_FIX_SCALE, c.fixScale);
}

void RandomizerDialog::controlChanged(CDialog& dialog, int id) {
    RandomizerChoice& c = choice();
    if (id >= IDC_ROOT_C && id <= IDC_ROOT_B) {
        c.root = id - IDC_ROOT_C;
        return;
    }
    if (id >= IDC_SCALE_CHROMATIC && id <= IDC_SCALE_LOCRIAN) {
        c.scale = id - IDC_SCALE_CHROMATIC;
        return;
    }
    if (id >= IDC_NOTE_ENABLE && id <= IDC_ACCENT_ENABLE) {
        *enableOf(c, id - IDC_NOTE_ENABLE) = dialog.isChecked(id);
        return;
    }
    if (id >= IDC_NOTE_DENSITY && id <= IDC_ACCENT_DENSITY) {
        const int k = id - IDC_NOTE_DENSITY;
        *densityOf(c, k) = std::clamp(c.length - dialog.position(id), 0, c.length);
        dialog.setText(IDC_NOTE_DENSITY_VALUE + k, std::to_string(*densityOf(c, k)));
        return;
    }
    switch (id) {
    case IDC_LENGTH:
        // The densities cannot exceed the new length: their sliders take its range.
        c.length = std::clamp(65 - dialog.position(id), 1, 64);
        for (int k = 0; k < 4; ++k)
            *densityOf(c, k) = std::min(*densityOf(c, k), c.length);
        show(dialog);
        break;
    case IDC_HI:
    case IDC_LO: {
        // A field being typed into may hold no number for a moment: it changes nothing then.
        const std::optional<int> typed = numberIn(dialog.text(id));
        if (!typed)
            break;
        const int octave = std::clamp(*typed, 1, 7);
        if (id == IDC_HI) {
            c.hiOctave = octave;
            dialog.setPosition(IDC_HI_SPIN, octave);
            if (c.loOctave > octave) {
                c.loOctave = octave;
                dialog.setText(IDC_LO, std::to_string(octave));
                dialog.setPosition(IDC_LO_SPIN, octave);
            }
        } else {
            c.loOctave = octave;
            dialog.setPosition(IDC_LO_SPIN, octave);
            if (c.hiOctave < octave) {
                c.hiOctave = octave;
                dialog.setText(IDC_HI, std::to_string(octave));
                dialog.setPosition(IDC_HI_SPIN, octave);
            }
        }
        break;
    }
    case IDC_FIX_SCALE:
        c.fixScale = dialog.isChecked(id);
        break;
    case IDC_RESET: {
        const RandomizerChoice fresh;
        const bool enables[] = {c.noteEnable, c.gateEnable, c.slideEnable, c.accentEnable};
        c = fresh;
        c.noteEnable = enables[0];
        c.gateEnable = enables[1];
        c.slideEnable = enables[2];
        c.accentEnable = enables[3];
        show(dialog);
        break;
    }
    case IDC_GO:
        host.advancedRandomize(c);
        editor.refresh();
        show(dialog);
        break;
    case kDialogOk:
    case kDialogCancel:
        dialog.end(id);
        break;
    default:
        break;
    }
}

// ---- The editor's side

int TreskproEditor::runDialog(const char* name, toolkit::CDialogHandler& handler) {
    if (!isOpen())
        return kDialogCancel;
    const toolkit::CDialogTemplate& dialog = editorDialogTemplate(name);
    // Keep the dialogs alive for the whole loop: a close that arrives meanwhile waits for it.
    const std::shared_ptr<toolkit::CPlatformDialogs> system = dialogs;
    return system->runDialog(dialog, handler);
}

void TreskproEditor::showPreferences() {
    PreferencesDialog preferences(*this);
    // OK and Cancel redraw the panel themselves.
    runDialog("IDD_PREFERENCES", preferences);
}

void TreskproEditor::showPatchInfo() {
    PatchInfoDialog info(host);
    runDialog("IDD_PATCHINFO", info);
}

void TreskproEditor::showAdvancedRandomizer() {
    RandomizerDialog randomizer(*this);
    runDialog("IDD_RANDOMIZER", randomizer);
}

void TreskproEditor::applyGuiSettings() {
    if (!isOpen() || closePending)
        return;
    for (int tag = 0; tag < int(controls.size()); ++tag)
        if (auto* knob = dynamic_cast<TreskproKnob*>(controls[std::size_t(tag)]))
            knob->setSticky(gui.stickToValue != 0 && isStickyKnob(tag));
    updateCables(false);
    refreshOptionMenu();
    frame->redraw();
}

} // namespace treskpro
