// The editor: the plug-in's panel. The host opens it into a window of its own, calls idle while it
// is open and closes it; in between the panel shows every parameter, state and sequencer lamp of
// the plug-in and turns the user's gestures into automated parameter changes, state changes and
// step-programming actions.
//
// The panel is built anew from the skin at each open (the skin check, then the controls in a
// fixed order, later ones drawn on top), so a skin chosen while the editor was closed, or edited
// by hand, takes effect at the next open. A skin that cannot be used falls back to the default
// skin for good: the reset is written to Gui.ini at once.
//
// Everything here runs on the editor's thread (the host's user-interface thread). What arrives
// from other threads reaches the editor through the plug-in, at idle, as parameterChanged,
// refreshAll, midiArrived and the program and bank selections.
#pragma once

#include "editor/EditorHost.h"
#include "editor/GuiSettings.h"
#include "editor/SkinDefinition.h"
#include "toolkit/CControl.h"
#include "toolkit/CFrame.h"
#include "toolkit/CPlatformDialogs.h"
#include "toolkit/CPlatformWindow.h"

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace treskpro {

class TreskproFloatingDisplay;
class TreskproKnob;
class TreskproPatchNameField;
class TreskproPitchKeyboard;
class TreskproSocket;
class TreskproCable;
namespace toolkit {
class COptionMenu;
}

// How the editor meets the system it runs on: the window it shows the panel in (given the host's
// parent window) and the dialogs (message boxes, menus, file choosers). Tests and systems without
// a window backend use the headless window and scripted dialogs.
struct EditorPlatform {
    std::function<std::unique_ptr<toolkit::CPlatformWindow>(toolkit::CFrame&, void* parent)>
        makeWindow;
    std::function<std::shared_ptr<toolkit::CPlatformDialogs>(void* parent)> makeDialogs;
    // Milliseconds of a steady clock: the lamp, rocker and read-out timings.
    std::function<double()> milliseconds;
    // Opens a text file in the system's text editor without waiting for it (the options
    // menu's "View Configuration files"). Headless: does nothing.
    std::function<void(const std::string& path)> openTextFile;

    // The system's own window and dialogs where the build has them, else headless and scripted.
    static EditorPlatform system();
    // Always headless; the dialogs given answer the editor's questions.
    static EditorPlatform headless(std::shared_ptr<toolkit::CPlatformDialogs> dialogs = nullptr);
};

class TreskproEditor final : public toolkit::CControlListener, public toolkit::CKeyListener {
public:
    // Until a skin has been read the window is this large.
    static constexpr int defaultWidth = 722;
    static constexpr int defaultHeight = 525;
    static constexpr double midiLampMilliseconds = 75.0;
    static constexpr double rockerDelayMilliseconds = 300.0;
    static constexpr double rockerRepeatMilliseconds = 80.0;
    static constexpr double floatingDisplayMilliseconds = 500.0;
    static constexpr double keyEchoMilliseconds = 50.0;
    static constexpr int socketCount = 42;
    static constexpr int cableCount = 64;
    static constexpr int patternMenuTag = 10000;
    static constexpr int optionMenuTag = 10001;
    static constexpr int socketMenuTag = 10002;
    static constexpr int patchMenuTag = 10003;

    TreskproEditor(EditorHost& host, EditorPlatform platform);
    ~TreskproEditor() override;

    TreskproEditor(const TreskproEditor&) = delete;
    TreskproEditor& operator=(const TreskproEditor&) = delete;

    // The window size the panel needs. Before the first open the skin is read (without its
    // pictures) just to answer, so a host sizes its window right from the start.
    int width();
    int height();

    // Builds the panel in a window inside `parent` (the host's window; null opens headless where
    // the platform allows). False, with the reason shown in a message box, when the skin cannot
    // be used.
    bool open(void* parent);
    void close();
    bool isOpen() const { return frame != nullptr; }
    void idle();

    // A key from the host's key call. The window's own keys arrive through onKeyDown; a key the
    // host forwards that the window already handled acts only once.
    bool keyDown(const toolkit::CKeyCode& key);
    void setKnobMode(int mode) { knobMode = mode; }
    int getKnobMode() const { return knobMode; }

    // From the plug-in, at idle.
    void parameterChanged(int index, float value);
    void refreshAll();
    void midiArrived();
    void selectProgram(int program);
    void selectBank(int bank);

    // Rewrites the lamps and every control that shows a state or the pattern.
    void refresh();
    // The three dialogs, modal; they return once the user closed them.
    void showPreferences();
    void showPatchInfo();
    void showAdvancedRandomizer();
    // A menu or dialog of the editor is open (its loop runs inside one of the editor's calls).
    bool modalOpen() const { return modalDepth > 0; }
    // Shows the plug-in's connections as cables: each cable that already shows one of them
    // keeps its colour and swing, a newly shown one gets its middle point at the middle of its
    // ends or (randomise) somewhere below them, so it swings into place. Pairs the panel cannot
    // draw (no such socket, the wrong way round, a duplicate, an input fed again later in the
    // list) are left out. A drag in progress is given up.
    void updateCables(bool randomise);

    // CControlListener and CKeyListener.
    void valueChanged(toolkit::CControl* control) override;
    void controlBeginEdit(toolkit::CControl* control) override;
    void controlEndEdit(toolkit::CControl* control) override;
    bool onKeyDown(const toolkit::CKeyCode& key) override;

    // For tests and tools: the settings in force, the frame (null while closed) and a control
    // by its skin tag (null when the panel has none).
    GuiSettings& settings() { return gui; }
    toolkit::CFrame* getFrame() const { return frame.get(); }
    toolkit::CControl* control(int tag) const;
    TreskproFloatingDisplay* floatingDisplay() const { return display; }
    int lastTouchedParameter() const { return lastTouched; }
    // The sockets (0 .. 41) and cables (0 .. 63), null while closed; the socket menu.
    TreskproSocket* socket(int index) const;
    TreskproCable* cable(int index) const;
    toolkit::COptionMenu* getSocketMenu() const { return socketMenu; }
    toolkit::COptionMenu* getPatternMenu() const { return patternMenu; }
    toolkit::COptionMenu* getOptionMenu() const { return optionMenu; }
    toolkit::COptionMenu* getPatchMenu() const { return patchMenu; }
    // The patch menu as it is now, rebuilt from the patch folder.
    void rebuildPatchMenu();
    bool isDraggingCable() const { return dragCable >= 0; }
    // The parameter a control tag is bound to, or -1.
    static int parameterOfTag(int tag);

private:
    friend class PreferencesDialog;
    friend class RandomizerDialog;

    enum class Rocker { none, pattern, tempo, steps };

    int runDialog(const char* name, toolkit::CDialogHandler& handler);
    // Shows what the settings now say: cables, their look and tension, sticky knobs.
    void applyGuiSettings();

    bool checkSkin(bool showMessages);
    bool buildPanel();
    void failSkin(const std::string& title, const std::string& text);
    void readSettings();
    void writeSettings();

    void parameterControlChanged(toolkit::CControl& control, int parameter);
    void otherControlChanged(toolkit::CControl& control);
    void rockerStep(Rocker rocker, int direction);
    void keyboardChanged(int value);
    void runKeyCommand(const KeyDecision& decision);
    void fillPatternMenu(toolkit::COptionMenu& menu);
    void fillOptionMenu(toolkit::COptionMenu& menu);
    void refreshOptionMenu();
    void patternMenuChosen(int entry);
    void runPatternEntry(int entry);
    void functionButtonPressed(int assignment);
    void optionMenuChosen(int entry);
    void toggleMidiLearn();
    void toggleCables();
    int stepFilterMode();
    void viewConfigurationFiles();
    void selectSkin();
    void selectDefaultSkin();
    void askReopenForSkin();
    void fillPatchFolder(toolkit::COptionMenu& menu, const std::string& folder,
                         std::vector<int> path, const std::string& current, int depth);
    void patchMenuChosen(const toolkit::CMenuChoice& choice);
    toolkit::COptionMenu* patchListMenu() const;
    bool loadPatchEntry(toolkit::COptionMenu* menu, int index);
    void openPatchEntry(toolkit::COptionMenu* menu, int index);
    void stepPatchList(int direction, bool wholeFolder);
    bool savesSilently(const std::string& path) const;
    void openPatchFile();
    void savePatchFile(bool askForName);
    bool handleKey(const toolkit::CKeyCode& key);
    void showParameter(toolkit::CControl& control, int parameter);
    void hideFloatingDisplay();
    void setLamp(int tag, bool on);
    void setControlValue(int tag, float value);
    void refreshLamps();
    void refreshSequencerDisplays();
    void refreshParameterControls();
    bool shiftHeld() const;

    std::vector<std::pair<int, int>> drawableConnections() const;
    toolkit::CPoint socketCentre(int index) const;
    int socketAt(toolkit::CPoint where) const;
    void socketChanged(int index, TreskproSocket& pressed);
    void startCableDrag(int index, toolkit::CPoint where);
    void releaseCable();
    void abandonCableDrag();
    void clearSocketMarks();
    void openSocketMenu(int index);
    void socketMenuChosen(int choice);
    void animateCables(double elapsedMilliseconds);
    void redrawCables();
    toolkit::CPoint windowPosition() const;
    double now() const { return platform.milliseconds(); }
    // A file in a folder given with or without its closing separator.
    static std::string joinFolder(std::string folder, const std::string& name);

    EditorHost& host;
    EditorPlatform platform;
    GuiSettings gui;
    SkinDefinition skin;
    bool skinRead = false;
    int windowWidth = defaultWidth;
    int windowHeight = defaultHeight;
    int knobMode = 2;
    // The patch file the user chose in an open or save dialog of this session.
    std::string chosenPatchPath;
    void* openParent = nullptr;
    // Menus and dialogs open now (their loops run inside the editor's calls). A close that
    // arrives while one is open (the host closing its window from its own loop) ends them as
    // cancelled and is carried out at the next open, idle or destruction, so that no menu or
    // dialog returns into a panel that is gone.
    int modalDepth = 0;
    bool closePending = false;
    // How many menus and dialogs have been opened, to tell whether a press opened one.
    int modalsOpened = 0;

    std::unique_ptr<toolkit::CFrame> frame;
    std::shared_ptr<toolkit::CPlatformDialogs> dialogs;
    // Controls by tag; tags run below 2048.
    std::array<toolkit::CControl*, 2048> controls{};
    TreskproFloatingDisplay* display = nullptr;
    TreskproPitchKeyboard* keyboard = nullptr;
    TreskproPatchNameField* patchName = nullptr;
    toolkit::CViewContainer* panelView = nullptr;
    std::array<TreskproSocket*, socketCount> sockets{};
    std::array<TreskproCable*, cableCount> cables{};
    toolkit::COptionMenu* socketMenu = nullptr;
    toolkit::COptionMenu* patternMenu = nullptr;
    toolkit::COptionMenu* optionMenu = nullptr;
    toolkit::COptionMenu* patchMenu = nullptr;
    // The patch menu's folders, in menu order (the top menu first): where each menu sits in
    // the tree and the file behind each of its entries ("" for commands and sub-menus).
    struct PatchFolder {
        toolkit::COptionMenu* menu = nullptr;
        std::vector<int> path; // sub-menu indices from the top menu
        std::vector<std::string> files;
    };
    std::vector<PatchFolder> patchFolders;
    // The patch list position: the menu (by its path, as the menu is rebuilt often) and index.
    bool hasPatchList = false;
    std::vector<int> patchListPath;
    int patchListIndex = -1;
    // The skin name the options menu shows: the panel's skin, or the one chosen for the next
    // open.
    std::string shownSkinName = "Default";
    // The socket whose menu is open, the cable being dragged and the socket its fixed end is
    // plugged into, or -1.
    int menuSocket = -1;
    int dragCable = -1;
    int dragSource = -1;
    // A press that has done its work (a Shift-click) until its release.
    bool socketPressSpent = false;
    toolkit::CPoint lastWindowPosition;
    // The connections the cables show, to notice a list changed behind the panel's back.
    std::vector<std::pair<int, int>> shownConnections;
    std::minstd_rand random{0x7e5c};

    int lastTouched = -1;
    int previousTouched = -1;
    int shownParameter = -1;
    int lastKeyboardKey = -1;
    double displayShownAt = 0.0;
    bool displayShown = false;
    double lastMidiCheck = 0.0;
    double lastIdle = 0.0;
    Rocker heldRocker = Rocker::none;
    int rockerDirection = 0;
    double rockerDeadline = 0.0;
    // The last key the window handled, so the host's copy of it does not act again.
    toolkit::CKeyCode windowKey;
    double windowKeyAt = -1e9;
};

} // namespace treskpro
