// The editor's menus and the commands behind them: patch files, the pattern and options menus,
// and the patch menu with the patch list that the patch buttons and MIDI program changes walk.
#include "editor/TreskproEditor.h"

#include "editor/TagTable.h"
#include "editor/TreskproControls.h"
#include "toolkit/COptionMenu.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>
#include <thread>

namespace treskpro {

using namespace toolkit;

// ---- Patch files

namespace {

toolkit::CFileRequest patchFileRequest(bool save) {
    toolkit::CFileRequest request;
    request.save = save;
    request.title = save ? "Save Tresk Pro Patch" : "Open Tresk Pro Patch";
    request.filter = "Tresk Pro (*.tpro)";
    request.defaultExtension = "tpro";
    return request;
}

} // namespace

void TreskproEditor::openPatchFile() {
    toolkit::CFileRequest request = patchFileRequest(false);
    request.initialFolder = host.pluginFolder();
    request.initialPath = host.currentPatchPath();
    const std::optional<std::string> chosen = dialogs->chooseFile(request);
    if (!chosen || !host.loadPatch(*chosen))
        return;
    chosenPatchPath = *chosen;
    refreshAll();
    if (host.patchInfoShown())
        showPatchInfo();
}

// Save writes without asking only to a file the user chose in a dialog of this session, or to a
// patch of the user's own in a sub-folder of the patch folder. The current path may have come
// from a host's project or from a patch file, and a crafted project must not be able to make a
// keystroke overwrite a file the user never picked (a factory patch, which ship at the top of
// the patch folder, or anything else on the disk): everything else goes through the save
// dialog.
void TreskproEditor::savePatchFile(bool askForName) {
    const std::string current = host.currentPatchPath();
    if (!askForName && savesSilently(current)) {
        host.savePatch(current);
        return;
    }
    toolkit::CFileRequest request = patchFileRequest(true);
    request.initialFolder = host.patchFolder();
    request.initialPath = current;
    const std::optional<std::string> chosen = dialogs->chooseFile(request);
    if (chosen && host.savePatch(*chosen)) {
        chosenPatchPath = *chosen;
        refresh();
    }
}

// ---- The pattern and options menus

namespace {

// The pattern menu; commands go by index, so the order is the contract (the function buttons
// store these indices in Gui.ini).
constexpr std::array<const char*, 27> patternMenuTexts = {
    "Copy Pattern",
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
    "Import Rebirth 338 Patterns",
};

namespace PatternEntry {
constexpr int advancedRandom = 22;
constexpr int importPattern = 24;
constexpr int exportPattern = 25;
constexpr int importSong = 26;
} // namespace PatternEntry

namespace OptionEntry {
constexpr int midiLearn = 0;
constexpr int cables = 2;
constexpr int auxInput = 4;
constexpr int filter = 5;
constexpr int delaySync = 6;
constexpr int loadMap = 8;
constexpr int saveMap = 9;
constexpr int viewConfiguration = 10;
constexpr int selectSkin = 12;
constexpr int defaultSkin = 13;
constexpr int patchInfo = 15;
constexpr int preferences = 16;
} // namespace OptionEntry

// The options menu as built; Refresh rewrites the entries that show a state.
constexpr std::array<const char*, 17> optionMenuTexts = {
    "Activate MIDI learn",
    "-",
    "Show Patch Cables",
    "-",
    "Enable Aux input",
    "Switch to 24dB filter",
    "MG/Delay bpm sync: On",
    "-",
    "Load MidiCC map",
    "Save MidiCC map",
    "View Configuration files",
    "-",
    "Select Skin [now Default]",
    "Set Default Skin",
    "-",
    "Show Patch Info",
    "Preferences...",
};

constexpr const char* filterEntryTexts[] = {
    "Filter: TB-303 24dB",   "Filter: TB-303 18dB", "Filter: 18dB/octave",
    "Filter: 24dBSO/octave", "Filter: Euler",       "Filter: 24dBSO/octave 2x oversampled",
};

constexpr const char* reopenTitle = "Tresk Pro";
constexpr const char* reopenText =
    "Editor must be closed and reopened for new skin to take effect. Show this dialog again?";

CFileRequest fileRequest(bool save, const char* title, const char* filter, const char* extension) {
    CFileRequest request;
    request.save = save;
    request.title = title;
    request.filter = filter;
    request.defaultExtension = extension;
    return request;
}

} // namespace

void TreskproEditor::fillPatternMenu(COptionMenu& menu) {
    for (const char* text : patternMenuTexts)
        menu.addEntry(text);
}

void TreskproEditor::fillOptionMenu(COptionMenu& menu) {
    for (const char* text : optionMenuTexts)
        menu.addEntry(text);
}

void TreskproEditor::refreshOptionMenu() {
    if (!optionMenu)
        return;
    optionMenu->setEntry(OptionEntry::midiLearn,
                         host.midiLearnActive() ? "Deactivate Midi learn" : "Activate Midi learn");
    optionMenu->setEntry(OptionEntry::cables,
                         gui.displayCables ? "Hide Patch Cables" : "Show Patch Cables");
    optionMenu->setEntry(OptionEntry::auxInput, host.state(PanelState::auxInput)
                                                    ? "Disable Aux input"
                                                    : "Enable Aux Input");
    const int mode = host.state(PanelState::filterMode);
    if (mode >= 0 && mode < int(std::size(filterEntryTexts)))
        optionMenu->setEntry(OptionEntry::filter, filterEntryTexts[mode]);
    optionMenu->setEntry(OptionEntry::delaySync, host.state(PanelState::delaySync)
                                                     ? "MG/Delay bpm sync: On"
                                                     : "MG/Delay bpm sync: Off");
    optionMenu->setEntry(OptionEntry::selectSkin, "Select Skin [now " + shownSkinName + "]");
}

// A function button waiting for its assignment takes the chosen entry instead of running it.
void TreskproEditor::patternMenuChosen(int entry) {
    if (entry < 0 || entry >= int(patternMenuTexts.size()))
        return;
    bool assigned = false;
    for (std::int32_t* button : {&gui.functionButton1, &gui.functionButton2}) {
        if (*button == GuiSettings::functionWaiting) {
            *button = entry;
            assigned = true;
        }
    }
    if (!assigned)
        runPatternEntry(entry);
    refresh();
}

void TreskproEditor::runPatternEntry(int entry) {
    switch (entry) {
    case PatternEntry::advancedRandom:
        showAdvancedRandomizer();
        return;
    case PatternEntry::importPattern:
    case PatternEntry::exportPattern: {
        const bool save = entry == PatternEntry::exportPattern;
        const std::optional<std::string> chosen = dialogs->chooseFile(
            fileRequest(save, save ? "Export Freebee Pattern" : "Import Freebee Pattern",
                        "Freebee Pattern (*.pat)", "pat"));
        if (chosen) {
            if (save)
                host.exportPattern(*chosen);
            else
                host.importPattern(*chosen);
        }
        return;
    }
    case PatternEntry::importSong: {
        const std::optional<std::string> chosen = dialogs->chooseFile(fileRequest(
            false, "Import Rebirth RB-338 Song File", "Rebirth RB-338 Song File(*.rbs)", "rbs"));
        // The song brings knob settings and patterns: every control follows.
        if (chosen && host.importSong(*chosen))
            refreshParameterControls();
        return;
    }
    default:
        host.patternCommand(entry);
        return;
    }
}

void TreskproEditor::functionButtonPressed(int assignment) {
    if (!patternMenu || assignment < 0 || assignment >= patternMenu->getNbEntries())
        return;
    patternMenu->setCurrent(assignment);
    patternMenuChosen(assignment);
}

void TreskproEditor::toggleMidiLearn() {
    host.toggleMidiLearn();
    host.setLastTouchedParameter(-1);
    hideFloatingDisplay();
}

void TreskproEditor::toggleCables() {
    gui.displayCables = gui.displayCables != 0 ? 0 : 1;
    updateCables(false);
}

// The filter switch steps through the three models it offers (2, 3, 5); a model it does not
// offer stays, and an unknown number starts over at the first model.
int TreskproEditor::stepFilterMode() {
    const int mode = host.state(PanelState::filterMode);
    const int next = mode >= 6 ? 0 : mode == 2 ? 3 : mode == 3 ? 5 : mode == 5 ? 2 : mode;
    host.setState(PanelState::filterMode, next);
    return next;
}

void TreskproEditor::optionMenuChosen(int entry) {
    switch (entry) {
    case OptionEntry::midiLearn:
        toggleMidiLearn();
        break;
    case OptionEntry::cables:
        toggleCables();
        break;
    case OptionEntry::auxInput:
        host.setState(PanelState::auxInput, host.state(PanelState::auxInput) != 0 ? 0 : 1);
        break;
    case OptionEntry::filter:
        stepFilterMode();
        break;
    case OptionEntry::delaySync:
        host.setState(PanelState::delaySync, host.state(PanelState::delaySync) != 0 ? 0 : 1);
        break;
    case OptionEntry::loadMap:
    case OptionEntry::saveMap: {
        const bool save = entry == OptionEntry::saveMap;
        const std::optional<std::string> chosen =
            dialogs->chooseFile(fileRequest(save, "Select MidiCC map", "MidiCC (*.map)", "map"));
        if (chosen) {
            if (save)
                host.saveControllerMap(*chosen);
            else
                host.loadControllerMap(*chosen);
        }
        break;
    }
    case OptionEntry::viewConfiguration:
        viewConfigurationFiles();
        break;
    case OptionEntry::selectSkin:
        selectSkin();
        break;
    case OptionEntry::defaultSkin:
        selectDefaultSkin();
        break;
    case OptionEntry::patchInfo:
        showPatchInfo();
        break;
    case OptionEntry::preferences:
        showPreferences();
        break;
    default:
        break;
    }
    refresh();
}

void TreskproEditor::viewConfigurationFiles() {
    bool first = true;
    for (const char* name : {"Config.ini", "MidiCC.ini", "Gui.ini"}) {
        // Apart, so the editors do not start on top of one another.
        if (!first)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        first = false;
        platform.openTextFile(joinFolder(host.pluginFolder(), name));
    }
}

void TreskproEditor::askReopenForSkin() {
    if (gui.skinShowDialog != 1)
        return;
    if (dialogs->messageBox(reopenTitle, reopenText, CMessageButtons::yesNo,
                            CMessageIcon::information) == CMessageResult::no)
        gui.skinShowDialog = 0;
}

// The panel keeps its skin until it is opened again; the choice is checked now, so a file that
// cannot be read is refused at once rather than at the next open.
void TreskproEditor::selectSkin() {
    const std::optional<std::string> chosen =
        dialogs->chooseFile(fileRequest(false, "Select GUI skin", "Skin (*.skn)", "skn"));
    if (!chosen)
        return;
    SkinDefinition probe;
    probe.setTagTable(TagTable);
    if (probe.read(*chosen)) {
        gui.skin = *chosen;
        shownSkinName = probe.name;
        writeSettings();
        askReopenForSkin();
    } else {
        dialogs->messageBox(reopenTitle,
                            "Error in skin definition (possible cause: TAGS are not defined). "
                            "Reverting to default skin.",
                            CMessageButtons::ok, CMessageIcon::warning);
        shownSkinName = "Default";
        gui.skin.clear();
        writeSettings();
    }
}

void TreskproEditor::selectDefaultSkin() {
    shownSkinName = "Default";
    gui.skin.clear();
    writeSettings();
    askReopenForSkin();
}

// ---- The patch menu

namespace {

namespace PatchEntry {
constexpr int open = 0;
constexpr int save = 2;
constexpr int saveAs = 3;
constexpr int autoRun = 5;
} // namespace PatchEntry

// Folders nested deeper than this are not listed (a link back up would nest forever).
constexpr int patchFolderDepth = 16;

std::string lowerCase(std::string text) {
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// A name that begins with "-" would read as a separator, a greyed entry or a sub-menu marker:
// a leading space keeps it an ordinary entry. The file behind an entry is remembered apart, so
// the shown name never has to be turned back into a path.
std::string menuName(const std::string& name) {
    return !name.empty() && name.front() == '-' ? " " + name : name;
}

// The path lexically normalised, for comparing two spellings of one file.
std::filesystem::path normalised(const std::string& path) {
    return std::filesystem::path(path).lexically_normal();
}

// `path` relative to `folder` when it lies inside it, else empty.
std::optional<std::filesystem::path> insideFolder(const std::string& path,
                                                  const std::string& folder) {
    if (path.empty() || folder.empty())
        return std::nullopt;
    const std::filesystem::path relative = normalised(path).lexically_relative(normalised(folder));
    if (relative.empty() || *relative.begin() == ".." || relative.is_absolute())
        return std::nullopt;
    return relative;
}

} // namespace

void TreskproEditor::rebuildPatchMenu() {
    if (!patchMenu)
        return;
    patchMenu->removeAllEntry();
    patchFolders.clear();
    const std::string folder = host.patchFolder();
    const std::string current = host.currentPatchPath();

    std::string title = "Open Patch";
    if (const auto relative = insideFolder(current, folder)) {
        std::filesystem::path shown = *relative;
        if (lowerCase(shown.extension().string()) == ".tpro")
            shown.replace_extension();
        // Folders are shown with backslashes on every system, as the patch names are stored.
        std::string name;
        for (const std::filesystem::path& part : shown)
            name += (name.empty() ? "" : "\\") + part.string();
        title = "Open Patch (now " + name + ")";
    }
    patchMenu->addEntry(title);
    patchMenu->addEntry("-");
    patchMenu->addEntry("Save Patch");
    patchMenu->addEntry("Save Patch As");
    patchMenu->addEntry("-");
    patchMenu->addEntry(host.autoRunStop() ? "Auto Run/Stop: On" : "Auto Run/Stop: Off");
    patchMenu->addEntry("-");
    fillPatchFolder(*patchMenu, folder, {}, current, 0);
}

void TreskproEditor::fillPatchFolder(COptionMenu& menu, const std::string& folder,
                                     std::vector<int> path, const std::string& current, int depth) {
    const std::size_t slot = patchFolders.size();
    patchFolders.push_back(
        {&menu, path, std::vector<std::string>(std::size_t(menu.getNbEntries()))});
    std::error_code error;
    std::filesystem::directory_iterator entries(folder, error);
    const std::filesystem::path currentFile = normalised(current);
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        const std::filesystem::path& file = entries->path();
        const std::string name = file.filename().string();
        const int index = menu.getNbEntries();
        std::error_code kind;
        if (entries->is_directory(kind)) {
            if (depth + 1 >= patchFolderDepth || name == "." || name == "..")
                continue;
            auto sub = std::make_unique<COptionMenu>(CRect{}, nullptr, patchMenuTag,
                                                     COptionMenu::kNoTextStyle);
            COptionMenu& filled = *sub;
            if (!menu.addEntry(std::move(sub), menuName(name)))
                break;
            patchFolders[slot].files.emplace_back();
            std::vector<int> subPath = path;
            subPath.push_back(index);
            fillPatchFolder(filled, file.string(), subPath, current, depth + 1);
        } else if (lowerCase(file.extension().string()) == ".tpro") {
            if (!menu.addEntry(menuName(file.stem().string())))
                break;
            patchFolders[slot].files.push_back(file.string());
            if (!current.empty() && file.lexically_normal() == currentFile) {
                menu.checkEntry(index, true);
                hasPatchList = true;
                patchListPath = path;
                patchListIndex = index;
            }
        }
    }
}

COptionMenu* TreskproEditor::patchListMenu() const {
    if (!hasPatchList)
        return nullptr;
    for (const PatchFolder& folder : patchFolders)
        if (folder.path == patchListPath)
            return folder.menu;
    return nullptr;
}

// Loads the patch behind an entry of the patch menu; false (nothing changed) for an entry that
// is no patch or a file that does not load.
bool TreskproEditor::loadPatchEntry(COptionMenu* menu, int index) {
    const auto folder = std::find_if(patchFolders.begin(), patchFolders.end(),
                                     [&](const PatchFolder& f) { return f.menu == menu; });
    if (folder == patchFolders.end() || index < 0 || index >= int(folder->files.size()) ||
        folder->files[std::size_t(index)].empty())
        return false;
    if (!host.loadPatch(folder->files[std::size_t(index)]))
        return false;
    hasPatchList = true;
    patchListPath = folder->path;
    patchListIndex = index;
    refreshAll();
    rebuildPatchMenu();
    return true;
}

void TreskproEditor::patchMenuChosen(const CMenuChoice& choice) {
    if (choice.menu == patchMenu) {
        switch (choice.index) {
        case PatchEntry::open:
            openPatchFile();
            break;
        case PatchEntry::save:
            savePatchFile(false);
            break;
        case PatchEntry::saveAs:
            savePatchFile(true);
            break;
        case PatchEntry::autoRun:
            host.setAutoRunStop(!host.autoRunStop());
            break;
        default:
            openPatchEntry(choice.menu, choice.index);
            break;
        }
    } else {
        openPatchEntry(choice.menu, choice.index);
    }
    rebuildPatchMenu();
}

// A patch the user picked from the menu shows its info when it asks to, as one opened with the
// file dialog does; the patch list buttons and program changes step through patches quietly.
void TreskproEditor::openPatchEntry(COptionMenu* menu, int index) {
    if (loadPatchEntry(menu, index) && host.patchInfoShown())
        showPatchInfo();
}

// Next and previous step through the patches of the current list, skipping what does not load
// and stopping at its ends; with Shift they move to the next or previous folder (in menu order)
// and load its first patch.
void TreskproEditor::stepPatchList(int direction, bool wholeFolder) {
    rebuildPatchMenu();
    COptionMenu* list = patchListMenu();
    if (!list)
        return;
    if (!wholeFolder) {
        for (int index = patchListIndex + direction; index >= 0 && index < list->getNbEntries();
             index += direction)
            if (loadPatchEntry(list, index))
                return;
        return;
    }
    const auto at = std::find_if(patchFolders.begin(), patchFolders.end(),
                                 [&](const PatchFolder& f) { return f.menu == list; });
    for (int folder = int(at - patchFolders.begin()) + direction;
         folder >= 0 && folder < int(patchFolders.size()); folder += direction) {
        COptionMenu* menu = patchFolders[std::size_t(folder)].menu;
        for (int index = 0; index < menu->getNbEntries(); ++index)
            if (loadPatchEntry(menu, index))
                return;
    }
}

bool TreskproEditor::savesSilently(const std::string& path) const {
    if (path.empty())
        return false;
    if (!chosenPatchPath.empty() && chosenPatchPath == path)
        return true;
    const auto relative = insideFolder(path, host.patchFolder());
    // Inside a sub-folder: one of the user's own. The top of the folder holds the factory set.
    return relative && std::distance(relative->begin(), relative->end()) > 1;
}

} // namespace treskpro
