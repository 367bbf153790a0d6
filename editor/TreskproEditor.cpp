#include "editor/TreskproEditor.h"

#include "editor/PanelBindings.h"
#include "editor/SkinBitmapLoader.h"
#include "editor/TagTable.h"
#include "editor/TreskproControls.h"
#include "platform/Platform.h"
#include "toolkit/CHeadlessWindow.h"
#include "toolkit/COptionMenu.h"
#include "toolkit/CScriptedDialogs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace treskpro {

using namespace toolkit;

namespace {

constexpr const char* settingsFile = "Gui.ini";
constexpr const char* defaultSkinFile = "TreskPro.skn";
constexpr const char* skinErrorTitle = "Tresk Pro Error";
constexpr const char* filesMissingText =
    "There is a problem locating some of the files needed to run TreskPro.\n"
    "Please reinstall TreskPro, or contact support if the problem persists.";
constexpr const char* skinDefinitionText =
    "There is a problem with the skin definition. Reverting to Default Skin. \n"
    "Try closing/reopening the window, or restarting the plug-in. ";

double steadyMilliseconds() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

bool on(float value) {
    return value > 0.5f;
}

} // namespace

std::string TreskproEditor::joinFolder(std::string folder, const std::string& name) {
    if (!folder.empty() && folder.back() != '/' && folder.back() != '\\')
        folder += '/';
    return folder + name;
}

EditorPlatform EditorPlatform::system() {
    EditorPlatform platform;
    platform.makeWindow = [](CFrame& frame, void* parent) -> std::unique_ptr<CPlatformWindow> {
        if (auto window = createPlatformWindow(frame, parent))
            return window;
        return std::make_unique<CHeadlessWindow>(frame);
    };
    platform.makeDialogs = [](void* parent) -> std::shared_ptr<CPlatformDialogs> {
        if (auto dialogs = createPlatformDialogs(parent))
            return dialogs;
        return std::make_shared<CScriptedDialogs>();
    };
    platform.milliseconds = steadyMilliseconds;
    platform.openTextFile = [](const std::string& path) { platform::openInTextEditor(path); };
    return platform;
}

EditorPlatform EditorPlatform::headless(std::shared_ptr<CPlatformDialogs> dialogs) {
    EditorPlatform platform;
    platform.makeWindow = [](CFrame& frame, void*) -> std::unique_ptr<CPlatformWindow> {
        return std::make_unique<CHeadlessWindow>(frame);
    };
    if (!dialogs)
        dialogs = std::make_shared<CScriptedDialogs>();
    platform.makeDialogs = [dialogs](void*) { return dialogs; };
    platform.milliseconds = steadyMilliseconds;
    platform.openTextFile = [](const std::string&) {};
    return platform;
}

TreskproEditor::TreskproEditor(EditorHost& editorHost, EditorPlatform editorPlatform)
    : host(editorHost), platform(std::move(editorPlatform)) {
    skin.setTagTable(TagTable);
}

TreskproEditor::~TreskproEditor() {
    close();
}

// ---- Size, settings and the skin check

int TreskproEditor::width() {
    if (!skinRead && !isOpen()) {
        readSettings();
        checkSkin(false);
    }
    return windowWidth;
}

int TreskproEditor::height() {
    width();
    return windowHeight;
}

void TreskproEditor::readSettings() {
    gui = GuiSettings{};
    std::string text;
    if (host.readFile(settingsFile, text))
        readGuiSettingsText(gui, text);
}

void TreskproEditor::writeSettings() {
    host.writeFile(settingsFile, writeGuiSettingsText(gui));
}

// The configured skin, else the default one. The window takes its size from what was read.
bool TreskproEditor::checkSkin(bool showMessages) {
    skinRead = (!gui.skin.empty() && skin.read(gui.skin)) ||
               skin.read(joinFolder(host.pluginFolder(), defaultSkinFile));
    if (skinRead) {
        windowWidth = skin.editorWidth();
        windowHeight = skin.editorHeight();
    } else if (showMessages) {
        failSkin(skinErrorTitle, filesMissingText);
    }
    return skinRead;
}

// A skin that cannot be used is forgotten at once, on disk too: the next open uses the default
// skin even if the host never closes the editor properly.
void TreskproEditor::failSkin(const std::string& title, const std::string& text) {
    dialogs->messageBox(title, text, CMessageButtons::ok, CMessageIcon::error);
    if (!gui.skin.empty()) {
        gui.skin.clear();
        writeSettings();
    }
    skinRead = false;
}

// ---- Open and close

namespace {

// The system's dialogs, counting how many are open: menus, message boxes, file choosers and
// dialogs all run their own loop inside one of the editor's calls.
class CountedDialogs final : public CPlatformDialogs {
public:
    CountedDialogs(std::shared_ptr<CPlatformDialogs> system, int& openNow, int& openedSoFar)
        : inner(std::move(system)), depth(openNow), opened(openedSoFar) {}

    CMenuChoice popupMenu(COptionMenu& menu, CFrame& frame, CPoint whereInFrame) override {
        return counted([&] { return inner->popupMenu(menu, frame, whereInFrame); });
    }
    CMessageResult messageBox(const std::string& title, const std::string& text,
                              CMessageButtons buttons, CMessageIcon icon) override {
        return counted([&] { return inner->messageBox(title, text, buttons, icon); });
    }
    std::optional<std::string> chooseFile(const CFileRequest& request) override {
        return counted([&] { return inner->chooseFile(request); });
    }
    int runDialog(const CDialogTemplate& dialog, CDialogHandler& handler) override {
        return counted([&] { return inner->runDialog(dialog, handler); });
    }
    void cancelOpenDialogs() override { inner->cancelOpenDialogs(); }

private:
    template <typename Run> auto counted(Run run) -> decltype(run()) {
        ++depth;
        ++opened;
        auto result = run();
        --depth;
        return result;
    }

    std::shared_ptr<CPlatformDialogs> inner;
    int& depth;
    int& opened;
};

} // namespace

bool TreskproEditor::open(void* parent) {
    // A host that opens the editor again without closing it may hand over a new window; the
    // panel moves into it rather than staying in a window the host may have destroyed.
    if (isOpen()) {
        if (parent == openParent && !closePending)
            return true;
        // A menu or dialog of the old panel has not returned yet.
        if (modalDepth > 0)
            return false;
        close();
    }
    openParent = parent;
    dialogs =
        std::make_shared<CountedDialogs>(platform.makeDialogs(parent), modalDepth, modalsOpened);
    readSettings();
    if (!checkSkin(true))
        return false;
    shownSkinName = skin.name;
    SkinBitmapLoader loader;
    skin.loadImages(host.pluginFolder(), loader);

    frame = std::make_unique<CFrame>(CRect{0, 0, windowWidth, windowHeight});
    frame->setDialogs(dialogs);
    if (!buildPanel()) {
        frame.reset();
        controls.fill(nullptr);
        sockets.fill(nullptr);
        cables.fill(nullptr);
        socketMenu = nullptr;
        patternMenu = nullptr;
        optionMenu = nullptr;
        patchMenu = nullptr;
        patchFolders.clear();
        panelView = nullptr;
        skin.releaseImages();
        failSkin(skinErrorTitle, skinDefinitionText);
        return false;
    }
    skin.releaseImages();
    rebuildPatchMenu();
    frame->setKeyListener(this);
    frame->open(platform.makeWindow(*frame, parent));

    const double start = now();
    lastMidiCheck = displayShownAt = lastIdle = start;
    heldRocker = Rocker::none;
    displayShown = false;
    shownParameter = lastTouched = previousTouched = lastKeyboardKey = -1;
    menuSocket = dragCable = dragSource = -1;
    socketPressSpent = false;
    lastWindowPosition = windowPosition();
    refreshParameterControls();
    refresh();
    updateCables(true);
    gui.editorOpened();
    frame->redraw();
    return true;
}

void TreskproEditor::close() {
    if (!isOpen())
        return;
    if (modalDepth > 0) {
        closePending = true;
        dialogs->cancelOpenDialogs();
        return;
    }
    closePending = false;
    frame->close();
    frame.reset();
    controls.fill(nullptr);
    display = nullptr;
    keyboard = nullptr;
    patchName = nullptr;
    panelView = nullptr;
    sockets.fill(nullptr);
    cables.fill(nullptr);
    socketMenu = nullptr;
    patternMenu = nullptr;
    optionMenu = nullptr;
    patchMenu = nullptr;
    patchFolders.clear();
    menuSocket = dragCable = dragSource = -1;
    writeSettings();
    dialogs.reset();
    skinRead = false;
}

CControl* TreskproEditor::control(int tag) const {
    if (tag < 0 || tag >= int(controls.size()))
        return nullptr;
    return controls[std::size_t(tag)];
}

// ---- Building the panel

bool TreskproEditor::buildPanel() {
    for (int tag : requiredPanelTags)
        if (!skin.elementOf(tag))
            return false;

    const CRect panelArea = skin.panelRectangle();
    auto panel = std::make_unique<CViewContainer>(panelArea);
    panel->setBackground(skin.imageOf(SkinTag::BACKGROUND));
    CViewContainer& view = *panel;

    const auto add = [&](int tag, std::unique_ptr<CControl> made) {
        CControl* raw = view.addView(std::move(made));
        if (tag >= 0 && tag < int(controls.size()))
            controls[std::size_t(tag)] = raw;
        return raw;
    };
    const auto rectOf = [&](int tag) { return skin.rectangleOf(tag); };
    const auto imageOf = [&](int tag) { return skin.imageOf(tag); };
    const auto frameHeight = [&](int tag) { return rectOf(tag).height(); };
    const auto halfHeight = [&](int tag) {
        const auto image = imageOf(tag);
        return image ? image->height() / 2 : 0;
    };

    for (const PanelControl& entry : panelBuildOrder()) {
        const int tag = entry.tag;
        if (entry.optional && !skin.elementOf(tag))
            continue;
        const CRect area = rectOf(tag);
        switch (entry.kind) {
        case ControlKind::knob: {
            auto knob =
                std::make_unique<TreskproKnob>(area, this, tag, imageOf(tag), frameHeight(tag));
            knob->setSticky(gui.stickToValue != 0 && isStickyKnob(tag));
            // Control+click returns a knob to the value a fresh patch has.
            if (const ParameterBinding* binding = bindingOf(tag))
                knob->setDefaultValue(host.parameterDefault(binding->parameter));
            add(tag, std::move(knob));
            break;
        }
        case ControlKind::momentary:
            add(tag, std::make_unique<CKickButton>(area, this, tag, imageOf(tag), halfHeight(tag)));
            break;
        case ControlKind::onOff:
            add(tag, std::make_unique<COnOffButton>(area, this, tag, imageOf(tag)));
            break;
        case ControlKind::lamp:
            add(tag,
                std::make_unique<CMovieBitmap>(area, this, tag, imageOf(tag), halfHeight(tag)));
            break;
        case ControlKind::rocker: {
            const auto image = imageOf(tag);
            add(tag, std::make_unique<CRockerSwitch>(area, this, tag, image,
                                                     image ? image->height() / 3 : 0));
            break;
        }
        case ControlKind::fourPosition: {
            const auto image = imageOf(tag);
            add(tag, std::make_unique<CVerticalSwitch>(area, this, tag, image, 4,
                                                       image ? image->height() / 4 : 0));
            break;
        }
        case ControlKind::digits: {
            CControl* digits = add(tag, std::make_unique<TreskproDigits>(
                                            area, this, tag, digitCountOf(tag), imageOf(tag)));
            const DigitRange range = digitRangeOf(tag);
            digits->setMin(range.minimum);
            digits->setMax(range.maximum);
            digits->setDefaultValue(range.defaultValue);
            break;
        }
        case ControlKind::patchName: {
            auto field = std::make_unique<TreskproPatchNameField>(area, this, tag);
            patchName = field.get();
            view.addView(std::move(field));
            break;
        }
        case ControlKind::invisibleButton: {
            // Over the patch name: a click opens the patch menu instead of editing the name.
            auto button = std::make_unique<CKickButton>(area, this, tag, nullptr);
            add(tag, std::move(button));
            break;
        }
        case ControlKind::menu: {
            // The menus open where the skin places them and draw nothing of their own; the
            // pattern and options menus are filled once here, the patch menu before each
            // opening.
            if (tag == SkinTag::PATTERNDROPDOWN || tag == SkinTag::OPTIONDROPDOWN) {
                const bool pattern = tag == SkinTag::PATTERNDROPDOWN;
                auto menu = std::make_unique<COptionMenu>(area, this,
                                                          pattern ? patternMenuTag : optionMenuTag,
                                                          COptionMenu::kNoTextStyle);
                menu->setVisible(false);
                COptionMenu* made = view.addView(std::move(menu));
                if (pattern) {
                    fillPatternMenu(*made);
                    patternMenu = made;
                } else {
                    fillOptionMenu(*made);
                    optionMenu = made;
                }
            } else {
                // The patch menu opens just left of the patch name, one line high.
                const CRect place{area.left - 3, area.top, area.right, area.top + 20};
                auto menu = std::make_unique<COptionMenu>(place, this, patchMenuTag,
                                                          COptionMenu::kNoTextStyle);
                menu->setVisible(false);
                patchMenu = view.addView(std::move(menu));
            }
            break;
        }
        case ControlKind::triplet:
            add(tag, std::make_unique<TreskproTripletButton>(area, this, tag, imageOf(tag),
                                                             frameHeight(tag)));
            break;
        case ControlKind::keyboard: {
            auto keys = std::make_unique<TreskproPitchKeyboard>(area, this, tag, imageOf(tag));
            keyboard = keys.get();
            add(tag, std::move(keys));
            break;
        }
        case ControlKind::floatingDisplay: {
            auto readout =
                std::make_unique<TreskproFloatingDisplay>(area, imageOf(tag), frameHeight(tag));
            readout->hide();
            display = readout.get();
            add(tag, std::move(readout));
            break;
        }
        case ControlKind::indicator:
            add(tag,
                std::make_unique<TreskproSmallIndicator>(area, imageOf(tag), frameHeight(tag)));
            break;
        case ControlKind::sockets: {
            // Every socket shows SOCKET1's picture; a socket the skin leaves out is not shown.
            const auto picture = imageOf(SkinTag::SOCKET1);
            const int pictureFrame = halfHeight(SkinTag::SOCKET1);
            for (int k = 0; k < socketCount; ++k) {
                const int socketTag = SkinTag::SOCKET1 + k;
                const bool placed = skin.elementOf(socketTag) != nullptr;
                auto made = std::make_unique<TreskproSocket>(
                    placed ? rectOf(socketTag) : CRect{}, this, socketTag, picture, pictureFrame);
                made->setName(host.socketName(k));
                made->setVisible(placed);
                sockets[std::size_t(k)] = made.get();
                add(socketTag, std::move(made));
            }
            auto menu =
                std::make_unique<COptionMenu>(area, this, socketMenuTag, COptionMenu::kNoTextStyle);
            menu->setVisible(false);
            socketMenu = view.addView(std::move(menu));
            break;
        }
        case ControlKind::cables: {
            const auto pictureOf = [&](int pictureTag) {
                return skin.elementOf(pictureTag) ? imageOf(pictureTag) : nullptr;
            };
            std::uniform_real_distribution<float> colour(0.0f, 1.0f);
            for (TreskproCable*& slot : cables) {
                auto made = std::make_unique<TreskproCable>(pictureOf(SkinTag::SHADOWBITMAP),
                                                            pictureOf(SkinTag::CORDPLUG));
                TreskproCable::State& state = made->state();
                state.red = colour(random);
                state.green = colour(random);
                state.blue = colour(random);
                slot = view.addView(std::move(made));
            }
            break;
        }
        }
    }
    panelView = &view;
    frame->addView(std::move(panel));
    return true;
}

// ---- Value flow: panel to plug-in

void TreskproEditor::controlBeginEdit(CControl* changed) {
    const int parameter = parameterOfTag(changed->getTag());
    if (parameter >= 0 && bindingOf(changed->getTag())->kind == BindingKind::continuous)
        host.beginEdit(parameter);
}

void TreskproEditor::controlEndEdit(CControl* changed) {
    const int parameter = parameterOfTag(changed->getTag());
    if (parameter >= 0 && bindingOf(changed->getTag())->kind == BindingKind::continuous)
        host.endEdit(parameter);
}

void TreskproEditor::valueChanged(CControl* changed) {
    if (!changed || !isOpen())
        return;
    previousTouched = lastTouched;
    lastTouched = -1;
    const int tag = changed->getTag();
    if (tag >= SkinTag::SOCKET1 && tag < SkinTag::SOCKET1 + socketCount) {
        socketChanged(tag - SkinTag::SOCKET1, static_cast<TreskproSocket&>(*changed));
        return;
    }
    if (tag == socketMenuTag && changed == socketMenu) {
        socketMenuChosen(socketMenu->getCurrentIndex());
        return;
    }
    if (tag == patternMenuTag && changed == patternMenu) {
        patternMenuChosen(patternMenu->getCurrentIndex());
        return;
    }
    if (tag == patchMenuTag && changed == patchMenu) {
        patchMenuChosen(patchMenu->getLastChoice());
        return;
    }
    if (tag == optionMenuTag && changed == optionMenu) {
        optionMenuChosen(optionMenu->getCurrentIndex());
        return;
    }
    const int parameter = parameterOfTag(tag);
    if (parameter >= 0) {
        parameterControlChanged(*changed, parameter);
        return;
    }
    // A button whose press opened a menu, a message box or a dialog lost its release to it:
    // it comes back up once that has closed, or it would stay drawn pressed.
    const int opened = modalsOpened;
    otherControlChanged(*changed);
    if (modalsOpened != opened && isOpen() && !closePending)
        changed->setValue(0.0f);
}

void TreskproEditor::parameterControlChanged(CControl& changed, int parameter) {
    const ParameterBinding& binding = *bindingOf(changed.getTag());
    float value = changed.getValue();
    switch (binding.kind) {
    case BindingKind::continuous:
        if (!shiftHeld()) {
            if (changed.getTag() == SkinTag::TUNINGKNOB)
                value = std::round(value * 2400.0f) / 2400.0f;
            else if (changed.getTag() == SkinTag::VCO1FINE || changed.getTag() == SkinTag::VCO2FINE)
                value = std::round(value * 960.0f) / 960.0f;
        }
        break;
    case BindingKind::direct:
        break;
    case BindingKind::toggled:
        // Momentary buttons act on the press; the lamp shows the result.
        if (value <= 0.0f)
            return;
        value = std::clamp(1.0f - host.parameter(parameter), 0.0f, 1.0f);
        break;
    case BindingKind::range: {
        if (value <= 0.0f)
            return;
        const int position = std::clamp(int(std::lround(host.parameter(parameter) * 2.0f)), 0, 2);
        value = float((position + 1) % 3) * 0.5f;
        break;
    }
    }
    lastTouched = parameter;
    host.setParameterAutomated(parameter, value);
    host.setLastTouchedParameter(parameter);
    if (binding.kind == BindingKind::continuous && value != changed.getValue())
        changed.setValue(value);
    if (binding.kind != BindingKind::continuous || changed.getTag() == SkinTag::DELAYAMOUNT)
        refresh();
    showParameter(changed, parameter);
}

void TreskproEditor::otherControlChanged(CControl& changed) {
    const int tag = changed.getTag();
    const float value = changed.getValue();
    const bool pressed = value > 0.0f;
    switch (tag) {
    case SkinTag::B_PATTERNCLEAR:
        if (!pressed)
            return;
        if (gui.clearConfirm == 1) {
            const CMessageResult answer =
                dialogs->messageBox("Clear Pattern", "Are you sure you want to clear the pattern?",
                                    CMessageButtons::yesNo, CMessageIcon::question);
            if (answer == CMessageResult::yes)
                host.stepAction(tag - 300);
        } else {
            host.stepAction(tag - 300);
        }
        if (gui.functionButton1 == GuiSettings::functionWaiting)
            gui.functionButton1 = GuiSettings::functionUnassigned;
        if (gui.functionButton2 == GuiSettings::functionWaiting)
            gui.functionButton2 = GuiSettings::functionUnassigned;
        refresh();
        return;
    case SkinTag::PATTERNDIGITS:
        host.selectPattern(std::clamp(int(value), 0, 127));
        refresh();
        return;
    case SkinTag::PATTERNROCKER:
    case SkinTag::TEMPOROCKER:
    case SkinTag::STEPSROCKER: {
        const Rocker rocker = tag == SkinTag::PATTERNROCKER ? Rocker::pattern
                              : tag == SkinTag::TEMPOROCKER ? Rocker::tempo
                                                            : Rocker::steps;
        // The rocker gives -1 for its upper half: up counts up.
        const int direction = value < 0.0f ? 1 : value > 0.0f ? -1 : 0;
        heldRocker = direction != 0 ? rocker : Rocker::none;
        rockerDirection = direction;
        if (direction != 0) {
            rockerStep(rocker, direction);
            rockerDeadline = now() + rockerDelayMilliseconds;
        }
        return;
    }
    case SkinTag::TEMPODIGITS:
        host.setTempo(double(value));
        refreshSequencerDisplays();
        return;
    case SkinTag::STEPSDIGITS:
        host.setPatternLength(std::clamp(int(value), 1, 64));
        refresh();
        return;
    case SkinTag::STEPDISPLAY:
        // The display counts steps from 1.
        host.setEditPosition(std::max(int(value) - 1, 0));
        refresh();
        return;
    case SkinTag::PRESCALESWITCH:
        host.setPrescale(std::clamp(int(std::lround(value * 3.0f)), 0, 3));
        refresh();
        return;
    case SkinTag::PITCHKEYBOARD:
        keyboardChanged(int(value));
        return;
    case SkinTag::SYNCSWITCH:
        host.setState(PanelState::syncMode, host.state(PanelState::syncMode) != 0 ? 0 : 1);
        refresh();
        return;
    case SkinTag::MODESWITCH: {
        const int mode = host.state(PanelState::midiMode) != 0 ? 0 : 1;
        host.setState(PanelState::midiMode, mode);
        if (mode == 1)
            host.previewNoteOff();
        refresh();
        return;
    }
    case SkinTag::NOTESWITCH: {
        const int before = host.state(PanelState::noteMode);
        host.setState(PanelState::noteMode, before != 0 ? 0 : 1);
        if (before == 1)
            host.clearHeldNotes();
        refresh();
        return;
    }
    case SkinTag::OPTIONCABLES:
        toggleCables();
        refresh();
        return;
    case SkinTag::OPTIONMIDILEARN:
        toggleMidiLearn();
        refresh();
        return;
    case SkinTag::OPTIONFILTER: {
        if (!pressed)
            return;
        const int next = stepFilterMode();
        if (gui.floatingDisplay && display) {
            display->showUnder(changed.getViewSize(), "Filter", filterModeName(next));
            displayShownAt = now();
            displayShown = true;
            shownParameter = -1;
        }
        refresh();
        return;
    }
    case SkinTag::OPTIONAUX:
        host.setState(PanelState::auxInput, host.state(PanelState::auxInput) != 0 ? 0 : 1);
        refresh();
        return;
    case SkinTag::PATTERNMENU:
    case SkinTag::OPTIONMENU: {
        COptionMenu* menu = tag == SkinTag::PATTERNMENU ? patternMenu : optionMenu;
        if (!pressed || menu == nullptr)
            return;
        menu->popup();
        return;
    }
    case SkinTag::PATCHBUTTON:
        if (pressed && patchMenu) {
            rebuildPatchMenu();
            patchMenu->popup();
        }
        return;
    case SkinTag::NEXTPATCHBUTTON:
    case SkinTag::PREVPATCHBUTTON:
        if (pressed)
            stepPatchList(tag == SkinTag::NEXTPATCHBUTTON ? 1 : -1, shiftHeld());
        return;
    case SkinTag::FUNCTIONBUTTON1:
    case SkinTag::FUNCTIONBUTTON2: {
        if (!pressed)
            return;
        std::int32_t& assignment =
            tag == SkinTag::FUNCTIONBUTTON1 ? gui.functionButton1 : gui.functionButton2;
        // Shift+click makes the button wait for the next pattern-menu entry, which it then
        // runs from there on; its lamp is lit meanwhile.
        if (shiftHeld()) {
            assignment = GuiSettings::functionWaiting;
            refresh();
            return;
        }
        functionButtonPressed(assignment);
        return;
    }
    case SkinTag::OPTIONPANIC:
        if (pressed)
            host.panic();
        return;
    case SkinTag::OPTIONINFO:
        // The button is lit while the dialog it opened is up.
        if (pressed)
            showPatchInfo();
        return;
    case SkinTag::PATTERNLOCK:
    case SkinTag::PATTERNWRITEPROTECT: {
        const int state =
            tag == SkinTag::PATTERNLOCK ? PanelState::patternLock : PanelState::patternWriteProtect;
        host.setState(state, host.state(state) != 0 ? 0 : 1);
        refresh();
        return;
    }
    default:
        break;
    }
    if (tag >= SkinTag::B_RUNSTOP && tag <= SkinTag::B_NEXT) {
        if (pressed) {
            host.stepAction(tag - 300);
            refresh();
        }
        return;
    }
    // The triplet button turns the pattern's triplet timing on and off, as on a hardware step
    // sequencer; it shows what the pattern holds (a protected pattern keeps its timing).
    if (tag == SkinTag::TRIPLETBUTTON) {
        host.setTriplet(value > 0.5f);
        refresh();
    }
    // The menus' buttons, the patch buttons and the function buttons act through the menus; a
    // tag without a binding does nothing.
}

void TreskproEditor::rockerStep(Rocker rocker, int direction) {
    switch (rocker) {
    case Rocker::pattern:
        host.selectPattern(std::clamp(host.state(PanelState::currentPattern) + direction, 0, 127));
        break;
    case Rocker::tempo:
        host.setTempo(std::round(host.tempo()) + direction);
        break;
    case Rocker::steps:
        host.setPatternLength(std::clamp(host.editStep().length + direction, 1, 64));
        break;
    case Rocker::none:
        return;
    }
    refresh();
}

// The pitch keyboard plays the key it programs, unless the pattern is playing it already.
void TreskproEditor::keyboardChanged(int value) {
    const bool running = host.state(PanelState::runStop) != 0;
    if (value <= 0) {
        if (!running)
            host.previewNoteOff();
        lastKeyboardKey = -1;
        return;
    }
    const int key = value - 1;
    if (key == lastKeyboardKey)
        return;
    lastKeyboardKey = key;
    const EditStep step = host.editStep();
    const bool down = (step.flags & 0x04) != 0;
    const bool up = (step.flags & 0x02) != 0;
    const bool accent = (step.flags & 0x10) != 0;
    if (!running) {
        const int note = key + (down ? 24 : 36) + (up ? 12 : 0);
        host.previewNoteOff();
        host.previewNoteOn(std::clamp(note, 0, 127), accent ? 127 : 1);
    }
    if (key <= 35)
        host.stepAction(555 + key);
    refresh();
}

bool TreskproEditor::shiftHeld() const {
    return frame && frame->currentButtons().isShift();
}

void TreskproEditor::showParameter(CControl& changed, int parameter) {
    if (!gui.floatingDisplay || !display || parameter < 0)
        return;
    std::string second;
    if (host.midiLearnActive()) {
        const int controller = host.controllerOf(parameter);
        if (controller < 0) {
            second = "Midi CC: N/A";
        } else {
            char text[96];
            std::snprintf(text, sizeof text, "%s (#%d)", host.controllerName(controller).c_str(),
                          controller);
            second = text;
        }
    } else {
        second = host.parameterDisplay(parameter);
    }
    display->showUnder(changed.getViewSize(), host.parameterName(parameter) + ":", second);
    shownParameter = parameter;
    displayShownAt = now();
    displayShown = true;
}

void TreskproEditor::hideFloatingDisplay() {
    if (display)
        display->hide();
    displayShown = false;
    shownParameter = -1;
}

// ---- Value flow: plug-in to panel

void TreskproEditor::parameterChanged(int index, float value) {
    if (!isOpen())
        return;
    const int tag = mappedTagOf(index);
    CControl* bound = control(tag);
    if (!bound) {
        refresh();
        return;
    }
    bound->setValue(value);
    // While MIDI learn runs, moving a controller shows what it reached.
    if (host.midiLearnActive())
        showParameter(*bound, index);
    if (tag == SkinTag::DELAYAMOUNT)
        refreshLamps();
}

void TreskproEditor::refreshAll() {
    if (!isOpen())
        return;
    refreshParameterControls();
    refresh();
    // A new patch brings its own cables.
    updateCables(true);
}

void TreskproEditor::midiArrived() {
    if (isOpen())
        setLamp(SkinTag::MIDILED, true);
}

// Program changes and bank selects choose from the patch list, which the patch menu builds.
// A program change loads the entry of the current patch list with that number; the list's
// commands and sub-menus are not patches and are left alone.
void TreskproEditor::selectProgram(int program) {
    COptionMenu* list = isOpen() ? patchListMenu() : nullptr;
    if (!list || list->getNbEntries() == 0)
        return;
    loadPatchEntry(list, std::clamp(program, 0, list->getNbEntries() - 1));
}

// A bank select makes one of the patch menu's folders the current patch list.
void TreskproEditor::selectBank(int bank) {
    if (!isOpen() || !patchMenu || !hasPatchList)
        return;
    const int index = std::max(bank, 0);
    if (!patchMenu->getSubMenu(index))
        return;
    patchListPath = {index};
    patchListIndex = -1;
}

void TreskproEditor::refreshParameterControls() {
    for (const ParameterBinding& binding : parameterBindings()) {
        if (binding.mapped)
            if (CControl* bound = control(binding.tag))
                bound->setValue(host.parameter(binding.parameter));
    }
}

void TreskproEditor::refresh() {
    if (!isOpen())
        return;
    refreshLamps();
    refreshSequencerDisplays();
    setControlValue(SkinTag::DISTORTIONSWITCH, host.parameter(11));
    setControlValue(SkinTag::OPTIONCABLES, gui.displayCables ? 1.0f : 0.0f);
    refreshOptionMenu();
    setControlValue(SkinTag::OPTIONMIDILEARN, host.midiLearnActive() ? 1.0f : 0.0f);
    setControlValue(SkinTag::OPTIONAUX, host.state(PanelState::auxInput) ? 1.0f : 0.0f);
    setControlValue(SkinTag::PATTERNLOCK, host.state(PanelState::patternLock) ? 1.0f : 0.0f);
    setControlValue(SkinTag::PATTERNWRITEPROTECT,
                    host.state(PanelState::patternWriteProtect) ? 1.0f : 0.0f);
    setControlValue(SkinTag::SYNCSWITCH, host.state(PanelState::syncMode) ? 1.0f : 0.0f);
    setControlValue(SkinTag::MODESWITCH, host.state(PanelState::midiMode) ? 1.0f : 0.0f);
    setControlValue(SkinTag::NOTESWITCH, host.state(PanelState::noteMode) ? 1.0f : 0.0f);
    if (patchName && !patchName->isEditing()) {
        const std::string name = host.patchName();
        patchName->setName(name.c_str(), name.size() + 1);
    }
}

void TreskproEditor::refreshSequencerDisplays() {
    const EditStep step = host.editStep();
    setControlValue(SkinTag::STEPDISPLAY, float(step.position + 1));
    setControlValue(SkinTag::PATTERNDIGITS, float(host.state(PanelState::currentPattern)));
    setControlValue(SkinTag::STEPSDIGITS, float(step.length));
    setControlValue(SkinTag::PRESCALESWITCH, float(step.prescale) / 3.0f);
    setControlValue(SkinTag::TRIPLETBUTTON, step.triplet ? 1.0f : 0.0f);
    setControlValue(SkinTag::TEMPODIGITS, float(std::lround(host.tempo())));
    if (keyboard)
        keyboard->setMarkedKey(step.note);
}

void TreskproEditor::refreshLamps() {
    const EditStep step = host.editStep();
    for (int led = 0; led < 36; ++led)
        setLamp(SkinTag::NOTELED1 + led, led == step.note);

    const auto flag = [&](int bit) { return (step.flags & bit) != 0; };
    if (!host.alternativeStepDisplay()) {
        setLamp(SkinTag::TIMEMODELED, flag(0x01));
        setLamp(SkinTag::DOWNLED, flag(0x04));
        setLamp(SkinTag::UPLED, flag(0x02));
        setLamp(SkinTag::ACCENTLED, flag(0x10));
        setLamp(SkinTag::SLIDELED, flag(0x08));
        setLamp(SkinTag::AUTOADVLED, step.pitchMode);
    } else if (step.pitchMode) {
        setLamp(SkinTag::TIMEMODELED, false);
        setLamp(SkinTag::AUTOADVLED, true);
        setLamp(SkinTag::DOWNLED, flag(0x04));
        setLamp(SkinTag::UPLED, flag(0x02));
        setLamp(SkinTag::ACCENTLED, flag(0x10));
        setLamp(SkinTag::SLIDELED, flag(0x08));
    } else {
        setLamp(SkinTag::SLIDELED, false);
        setLamp(SkinTag::TIMEMODELED, true);
        setLamp(SkinTag::AUTOADVLED, false);
        setLamp(SkinTag::DOWNLED, flag(0x80));
        setLamp(SkinTag::UPLED, flag(0x20));
        setLamp(SkinTag::ACCENTLED, flag(0x40));
    }
    setLamp(SkinTag::RUNSTOPLED, host.state(PanelState::runStop) != 0);
    setLamp(SkinTag::FUNCTIONLED1, gui.functionButton1 != GuiSettings::functionUnassigned);
    setLamp(SkinTag::FUNCTIONLED2, gui.functionButton2 != GuiSettings::functionUnassigned);
    setLamp(SkinTag::GATEACTIVELED, host.gateActive());
    setLamp(SkinTag::DELAYLED, host.parameter(52) > 0.0f);

    for (const ParameterLamp& lamp : parameterLamps()) {
        const float value = host.parameter(lamp.parameter);
        setLamp(lamp.tag, lamp.lightAbove ? on(value) : !on(value));
    }
    const auto range = [&](int parameter) {
        return std::clamp(int(std::lround(host.parameter(parameter) * 2.0f)), 0, 2);
    };
    for (int position = 0; position < 3; ++position) {
        setLamp(SkinTag::VCO1LED16 + position, range(16) == position);
        setLamp(SkinTag::VCO2LED16 + position, range(21) == position);
    }
}

void TreskproEditor::setLamp(int tag, bool lit) {
    setControlValue(tag, lit ? 1.0f : 0.0f);
}

void TreskproEditor::setControlValue(int tag, float value) {
    if (CControl* target = control(tag))
        if (target->getValue() != value)
            target->setValue(value);
}

// ---- Idle

void TreskproEditor::idle() {
    if (closePending && modalDepth == 0)
        close();
    if (!isOpen())
        return;
    const double time = now();
    if (host.state(PanelState::midiMode) == 0)
        refreshLamps();
    else
        setLamp(SkinTag::GATEACTIVELED, host.gateActive());
    if (time - lastMidiCheck >= midiLampMilliseconds) {
        lastMidiCheck = time;
        setLamp(SkinTag::MIDILED, false);
    }
    setControlValue(SkinTag::TEMPODIGITS, float(std::lround(host.tempo())));

    // A rocker held down repeats: first after a pause, then quickly.
    if (heldRocker != Rocker::none && time >= rockerDeadline) {
        rockerStep(heldRocker, rockerDirection);
        rockerDeadline = time + rockerRepeatMilliseconds;
    }

    if (displayShown && display) {
        display->advance();
        if (time - displayShownAt >= floatingDisplayMilliseconds && !host.midiLearnActive()) {
            hideFloatingDisplay();
            refresh();
        }
    }
    // A patch loaded or a chunk restored brings other cables, whatever told the panel of it.
    if (dragCable < 0 && cables[0] && drawableConnections() != shownConnections)
        updateCables(true);
    // A dragged cable's loose end follows the mouse.
    if (dragCable >= 0 && panelView) {
        TreskproCable::State& dragged = cables[std::size_t(dragCable)]->state();
        if (dragged.loose) {
            const CRect panelArea = panelView->getViewSize();
            dragged.b = frame->mousePosition().offset(-panelArea.left, -panelArea.top);
        }
    }
    animateCables(time - lastIdle);
    lastIdle = time;
    frame->idle();
}

// ---- Keys

bool TreskproEditor::onKeyDown(const CKeyCode& key) {
    const bool used = handleKey(key);
    if (used) {
        windowKey = key;
        windowKeyAt = now();
    }
    return used;
}

bool TreskproEditor::keyDown(const CKeyCode& key) {
    // Some hosts pass on the keys the panel's own window has just handled.
    if (now() - windowKeyAt < keyEchoMilliseconds && key.character == windowKey.character &&
        key.virtualKey == windowKey.virtualKey && key.modifiers == windowKey.modifiers) {
        windowKeyAt = -1e9;
        return true;
    }
    return handleKey(key);
}

bool TreskproEditor::handleKey(const CKeyCode& key) {
    if (!isOpen())
        return false;
    // A text being typed into the patch name takes its keys itself.
    if (frame->getFocusView())
        return false;
    const KeyDecision decision = decideKey(gui, true, key.character, key.virtualKey, key.modifiers);
    if (!decision.consumed())
        return false;
    runKeyCommand(decision);
    return true;
}

void TreskproEditor::runKeyCommand(const KeyDecision& decision) {
    switch (decision.command) {
    case KeyCommand::toggleCables:
        toggleCables();
        refresh();
        break;
    case KeyCommand::stepAction:
        host.stepAction(decision.stepAction);
        refresh();
        break;
    case KeyCommand::openPatch:
        openPatchFile();
        break;
    case KeyCommand::savePatch:
        savePatchFile(false);
        break;
    case KeyCommand::savePatchAs:
        savePatchFile(true);
        break;
    case KeyCommand::notConsumed:
        break;
    }
}

int TreskproEditor::parameterOfTag(int tag) {
    const ParameterBinding* binding = bindingOf(tag);
    return binding ? binding->parameter : -1;
}

} // namespace treskpro
