#include "editor/TreskproEditor.h"

#include "editor/PanelBindings.h"
#include "editor/SkinBitmapLoader.h"
#include "editor/TagTable.h"
#include "editor/TreskproControls.h"
#include "platform/Platform.h"
#include "toolkit/CHeadlessWindow.h"
#include "toolkit/COptionMenu.h"
#include "toolkit/CScriptedDialogs.h"
#include "toolkit/CStockControls.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <thread>

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

std::string joinFolder(std::string folder, const std::string& name) {
    if (!folder.empty() && folder.back() != '/' && folder.back() != '\\')
        folder += '/';
    return folder + name;
}

bool on(float value) {
    return value > 0.5f;
}

} // namespace

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

bool TreskproEditor::open(void* parent) {
    // A host that opens the editor again without closing it may hand over a new window; the
    // panel moves into it rather than staying in a window the host may have destroyed.
    if (isOpen()) {
        if (parent == openParent)
            return true;
        close();
    }
    openParent = parent;
    dialogs = platform.makeDialogs(parent);
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
    if (parameter >= 0)
        parameterControlChanged(*changed, parameter);
    else
        otherControlChanged(*changed);
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
            changed.setValue(0.0f);
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
        if (pressed && patternMenu)
            patternMenu->popup();
        return;
    case SkinTag::OPTIONMENU:
        if (pressed && optionMenu)
            optionMenu->popup();
        return;
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
    case SkinTag::FUNCTIONBUTTON2:
        if (pressed)
            functionButtonPressed(tag == SkinTag::FUNCTIONBUTTON1 ? gui.functionButton1
                                                                  : gui.functionButton2);
        return;
    case SkinTag::OPTIONPANIC:
        if (pressed)
            host.panic();
        return;
    case SkinTag::OPTIONINFO:
        // The patch-info dialog arrives with the dialogs; until then the button springs back.
        changed.setValue(0.0f);
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

// ---- Sockets and cables

TreskproSocket* TreskproEditor::socket(int index) const {
    return index >= 0 && index < socketCount ? sockets[std::size_t(index)] : nullptr;
}

TreskproCable* TreskproEditor::cable(int index) const {
    return index >= 0 && index < cableCount ? cables[std::size_t(index)] : nullptr;
}

std::vector<std::pair<int, int>> TreskproEditor::drawableConnections() const {
    const std::vector<std::pair<int, int>> stored = host.connections();
    const int known = std::min(host.socketCount(), socketCount);
    const auto drawable = [&](const std::pair<int, int>& pair) {
        return pair.first >= 0 && pair.first < known && pair.second >= 0 && pair.second < known &&
               host.socketIsOutput(pair.first) && host.socketIsInput(pair.second);
    };
    std::vector<std::pair<int, int>> shown;
    for (std::size_t k = 0; k < stored.size() && shown.size() < std::size_t(cableCount); ++k) {
        if (!drawable(stored[k]))
            continue;
        // The last pair into an input is the one that plays; an earlier one would be a cable
        // that does nothing.
        const bool fedAgain =
            std::any_of(stored.begin() + std::ptrdiff_t(k) + 1, stored.end(),
                        [&](const std::pair<int, int>& later) {
                            return later.second == stored[k].second && drawable(later);
                        });
        if (!fedAgain)
            shown.push_back(stored[k]);
    }
    return shown;
}

CPoint TreskproEditor::socketCentre(int index) const {
    const TreskproSocket* at = socket(index);
    return at ? at->getViewSize().center() : CPoint{};
}

int TreskproEditor::socketAt(CPoint where) const {
    for (int k = 0; k < socketCount; ++k) {
        const TreskproSocket* at = sockets[std::size_t(k)];
        if (at && at->isVisible() && at->getViewSize().contains(where))
            return k;
    }
    return -1;
}

void TreskproEditor::updateCables(bool randomise) {
    if (!isOpen() || !cables[0])
        return;
    abandonCableDrag();
    const std::vector<std::pair<int, int>> shown = drawableConnections();
    std::uniform_int_distribution<int> scatter(0, 149);
    for (int k = 0; k < cableCount; ++k) {
        TreskproCable& current = *cables[std::size_t(k)];
        if (std::size_t(k) < shown.size()) {
            const auto [output, input] = shown[std::size_t(k)];
            // The cable that shows this connection already keeps showing it, swing and colour.
            int holder = -1;
            for (int j = k; j < cableCount && holder < 0; ++j) {
                const TreskproCable::State& other = cables[std::size_t(j)]->state();
                if (other.inUse && other.fromSocket == output && other.toSocket == input)
                    holder = j;
            }
            if (holder > k)
                current.swapState(*cables[std::size_t(holder)]);
            TreskproCable::State& state = current.state();
            const CPoint from = socketCentre(output);
            const CPoint to = socketCentre(input);
            const bool moved = holder < 0 || state.a != from || state.b != to;
            state.a = from;
            state.b = to;
            state.fromSocket = output;
            state.toSocket = input;
            state.inUse = true;
            state.loose = false;
            if (moved) {
                if (randomise) {
                    const float dx = float(scatter(random) - 70);
                    const float dy = float(scatter(random) + 125);
                    current.placeControlPoint(dx, dy);
                } else {
                    current.placeControlPoint();
                }
            } else {
                current.resample();
            }
            current.setVisible(gui.displayCables != 0);
        } else {
            current.state().inUse = false;
            current.state().loose = false;
            current.state().moving = false;
            current.setVisible(false);
        }
    }
    shownConnections = shown;
    CRect shownArea;
    for (TreskproCable* each : cables) {
        TreskproCable::State& state = each->state();
        state.type = skin.cableType;
        state.softShadow = gui.softShadows != 0;
        state.antiAliased = gui.antiAliasing != 0;
        state.tension = gui.cableTension;
        for (std::size_t c = 0; c < 3; ++c)
            state.tint[c] = float(skin.cableTint[c]);
        // Without the swing, a cable shows its resting shape at once.
        if (state.inUse && gui.antiAliasing == 0)
            each->animate(false);
        // The look may have changed with the settings.
        if (state.inUse && each->isVisible())
            shownArea =
                shownArea.isEmpty() ? each->getViewSize() : shownArea.united(each->getViewSize());
    }
    if (!shownArea.isEmpty())
        frame->invalidRect(
            shownArea.offset(panelView->getViewSize().left, panelView->getViewSize().top));
    redrawCables();
}

void TreskproEditor::clearSocketMarks() {
    for (TreskproSocket* each : sockets) {
        if (each) {
            each->setTarget(false);
            each->setAccepting(false);
        }
    }
}

// A drag cut short (the cables replaced under it): its cable goes, the marks with it.
void TreskproEditor::abandonCableDrag() {
    if (dragCable < 0)
        return;
    TreskproCable& dragged = *cables[std::size_t(dragCable)];
    dragged.state().inUse = false;
    dragged.state().loose = false;
    dragged.setVisible(false);
    dragCable = dragSource = -1;
    clearSocketMarks();
}

void TreskproEditor::socketChanged(int index, TreskproSocket& pressed) {
    const float value = pressed.getValue();
    const CButtonState buttons = pressed.lastButtons();
    const CPoint where = pressed.lastPoint();
    if (value <= 0.0f) {
        if (buttons.isRightButton() && !buttons.isLeftButton()) {
            if (dragCable < 0)
                openSocketMenu(index);
            return;
        }
        releaseCable();
        return;
    }
    if (socketPressSpent)
        return;
    if (buttons.isShift() && dragCable < 0) {
        host.disconnectAll(index);
        socketPressSpent = true;
        updateCables(false);
        return;
    }
    if (!gui.displayCables) {
        releaseCable();
        return;
    }
    const bool showNames = gui.floatingDisplay && display && !host.midiLearnActive();
    if (value == 1.0f && showNames) {
        display->showUnder(pressed.getViewSize(), pressed.getName(), "");
        displayShownAt = now();
        displayShown = true;
        shownParameter = -1;
    }
    if (dragCable < 0)
        startCableDrag(index, where);
    if (dragCable < 0)
        return;

    for (int k = 0; k < socketCount; ++k)
        if (TreskproSocket* each = sockets[std::size_t(k)])
            each->setAccepting(each->isVisible() && host.canConnect(dragSource, k));
    const int hovered = socketAt(where);
    const int target = hovered >= 0 && sockets[std::size_t(hovered)]->isAccepting() ? hovered : -1;
    for (int k = 0; k < socketCount; ++k)
        if (TreskproSocket* each = sockets[std::size_t(k)])
            each->setTarget(k == target);
    TreskproCable& dragged = *cables[std::size_t(dragCable)];
    TreskproCable::State& state = dragged.state();
    state.loose = target < 0;
    state.b = target >= 0 ? socketCentre(target) : where;
    if (target >= 0 && showNames) {
        display->showUnder(sockets[std::size_t(target)]->getViewSize(),
                           sockets[std::size_t(dragSource)]->getName(),
                           sockets[std::size_t(target)]->getName());
        displayShownAt = now();
        displayShown = true;
        shownParameter = -1;
    }
    dragged.resample();
    redrawCables();
}

// A press on a free socket draws a new cable out of it. A press on a connected socket pulls
// out the plug of the cable on top (the one connected last, for an output with several): the
// connection goes at once and the cable hangs from its other end, to be plugged in elsewhere.
void TreskproEditor::startCableDrag(int index, CPoint where) {
    int picked = -1;
    for (int k = cableCount - 1; k >= 0 && picked < 0; --k) {
        const TreskproCable::State& state = cables[std::size_t(k)]->state();
        if (state.inUse && (state.fromSocket == index || state.toSocket == index))
            picked = k;
    }
    if (picked >= 0) {
        TreskproCable& taken = *cables[std::size_t(picked)];
        TreskproCable::State& state = taken.state();
        const int partner = state.fromSocket == index ? state.toSocket : state.fromSocket;
        host.disconnect(state.fromSocket, state.toSocket);
        state.a = socketCentre(partner);
        state.b = where;
        state.fromSocket = partner;
        state.toSocket = -1;
        state.loose = true;
        dragSource = partner;
        dragCable = picked;
        return;
    }
    for (int k = 0; k < cableCount; ++k) {
        TreskproCable& free = *cables[std::size_t(k)];
        TreskproCable::State& state = free.state();
        if (state.inUse)
            continue;
        state.inUse = true;
        state.loose = true;
        state.a = socketCentre(index);
        state.b = where;
        state.fromSocket = index;
        state.toSocket = -1;
        free.placeControlPoint();
        free.setVisible(true);
        dragSource = index;
        dragCable = k;
        return;
    }
}

void TreskproEditor::releaseCable() {
    int target = -1;
    for (int k = 0; k < socketCount; ++k)
        if (sockets[std::size_t(k)] && sockets[std::size_t(k)]->isTarget())
            target = k;
    clearSocketMarks();
    socketPressSpent = false;
    if (dragCable < 0)
        return;
    TreskproCable& dragged = *cables[std::size_t(dragCable)];
    TreskproCable::State& state = dragged.state();
    if (target >= 0) {
        // A cable always starts at its output.
        const bool sourceIsInput = host.socketIsInput(dragSource);
        const int output = sourceIsInput ? target : dragSource;
        const int input = sourceIsInput ? dragSource : target;
        state.a = socketCentre(output);
        state.b = socketCentre(input);
        state.fromSocket = output;
        state.toSocket = input;
        state.loose = false;
        dragged.animate(false);
        host.connect(output, input);
    } else {
        state.inUse = false;
        state.loose = false;
        dragged.setVisible(false);
    }
    dragCable = dragSource = -1;
    updateCables(false);
}

void TreskproEditor::openSocketMenu(int index) {
    if (!socketMenu)
        return;
    const std::vector<std::pair<int, int>> shown = drawableConnections();
    socketMenu->removeAllEntry();
    socketMenu->addEntry("Disconnect");
    socketMenu->addEntry("-");
    socketMenu->addEntry("-G" + host.socketName(index) + "\t" +
                         (host.socketIsInput(index) ? "<---" : "--->"));
    socketMenu->addEntry("-");
    for (int k = 0; k < socketCount; ++k) {
        const bool connected =
            std::any_of(shown.begin(), shown.end(), [&](const std::pair<int, int>& pair) {
                return (pair.first == index && pair.second == k) ||
                       (pair.first == k && pair.second == index);
            });
        socketMenu->addEntry((host.canConnect(index, k) ? "" : "-G") + host.socketName(k) +
                             (connected ? "\t*" : ""));
    }
    socketMenu->setViewSize(sockets[std::size_t(index)]->getViewSize());
    menuSocket = index;
    socketMenu->popup();
    menuSocket = -1;
}

void TreskproEditor::socketMenuChosen(int choice) {
    if (menuSocket < 0)
        return;
    constexpr int firstSocketEntry = 4;
    if (choice == 0)
        host.disconnectAll(menuSocket);
    else if (choice >= firstSocketEntry && choice < firstSocketEntry + socketCount)
        host.connect(menuSocket, choice - firstSocketEntry);
    else
        return;
    updateCables(false);
}

// Every cable that changed is redrawn in one area: their shapes overlap, and the frame redraws
// each area it is given from the background up.
void TreskproEditor::redrawCables() {
    if (!panelView || !frame)
        return;
    CRect area;
    for (TreskproCable* each : cables) {
        const CRect changed = each->takeDirtyArea();
        if (!changed.isEmpty())
            area = area.isEmpty() ? changed : area.united(changed);
    }
    if (!area.isEmpty()) {
        const CRect panelArea = panelView->getViewSize();
        frame->invalidRect(area.offset(panelArea.left, panelArea.top));
    }
}

CPoint TreskproEditor::windowPosition() const {
    const CPlatformWindow* window = frame ? frame->getWindow() : nullptr;
    return window ? window->frameToScreen({0, 0}) : CPoint{};
}

// The spring runs with the time since the last idle (a long pause counts as a short one), and a
// window being moved swings the cables by a random share of its movement.
void TreskproEditor::animateCables(double elapsedMilliseconds) {
    if (!cables[0])
        return;
    const float step = float(std::clamp(elapsedMilliseconds * 0.007, 0.0, 0.9));
    const bool animating = gui.antiAliasing != 0 || dragCable >= 0;
    const CPoint position = windowPosition();
    const int dx = position.x - lastWindowPosition.x;
    const int dy = position.y - lastWindowPosition.y;
    lastWindowPosition = position;
    std::uniform_int_distribution<int> share(0, 19);
    for (TreskproCable* each : cables) {
        TreskproCable::State& state = each->state();
        if (!state.inUse)
            continue;
        state.step = step;
        if (gui.antiAliasing != 0 && (dx != 0 || dy != 0)) {
            state.qx -= float(dx * share(random)) / 20.0f;
            state.qy -= float(dy * share(random)) / 20.0f;
        }
        each->animate(animating);
    }
    redrawCables();
}

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
        // The advanced randomizer's dialog is not built yet: the entry does nothing.
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
    default:
        // "Show Patch Info" and "Preferences..." wait for their dialogs.
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
constexpr int firstPatch = 7;
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
            loadPatchEntry(choice.menu, choice.index);
            break;
        }
    } else {
        loadPatchEntry(choice.menu, choice.index);
    }
    rebuildPatchMenu();
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

int TreskproEditor::parameterOfTag(int tag) {
    const ParameterBinding* binding = bindingOf(tag);
    return binding ? binding->parameter : -1;
}

} // namespace treskpro
