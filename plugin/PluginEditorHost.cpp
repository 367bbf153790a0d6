#include "plugin/PluginEditorHost.h"

#include "engine/Parameters.h"
#include "engine/SynthEngine.h"
#include "files/PatternExchange.h"
#include "files/SafeFile.h"
#include "files/TreskproPatch.h"
#include "plugin/TreskproSynth.h"
#include "sequencer/PatternOperations.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace treskpro {

namespace {

constexpr int highestNote = 35; // the 36 note lamps
constexpr int filterModels = 6;

bool isParameter(int index) {
    return index >= 0 && index < Parameter::count;
}

// A state as the plug-in acts on it: a host chunk restores the slots unchecked, and the panel
// must show what plays, not a value no control has a position for.
int boundedState(const TreskproPatch& patch, int index) {
    const int value = patch.getState(index);
    switch (index) {
    case State::CurrentPattern:
        return patch.currentPatternIndex();
    case State::FilterMode:
        // The filter plays the model number modulo the six models.
        return ((value % filterModels) + filterModels) % filterModels;
    case State::NoteMode:
    case State::SyncMode:
    case State::PatternLock:
        // These switch on at 1 only.
        return value == 1 ? 1 : 0;
    case State::RunStop:
    case State::MidiMode:
    case State::DelaySync:
    case State::AuxInput:
    case State::PatternWriteProtect:
        return value != 0 ? 1 : 0;
    default:
        return value;
    }
}

// The editor names only files of its own in the plug-in folder; anything that could reach
// elsewhere (a separator, a parent folder, a drive) is refused.
bool isPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name.find("..") == std::string::npos &&
           name.find_first_of("/\\:") == std::string::npos && name.find('\0') == std::string::npos;
}

} // namespace

PluginEditorHost::PluginEditorHost(TreskproSynth& plugin)
    : synth(plugin), freshPatch(std::make_unique<const TreskproPatch>()) {}

PluginEditorHost::~PluginEditorHost() = default;

int PluginEditorHost::parameterCount() const {
    return Parameter::count;
}

float PluginEditorHost::parameter(int index) const {
    return isParameter(index) ? synth.getParameter(index) : 0.0f;
}

void PluginEditorHost::setParameterAutomated(int index, float value) {
    // The host is told of parameters it knows only.
    if (isParameter(index))
        synth.setParameterAutomated(index, value);
}

void PluginEditorHost::beginEdit(int index) {
    if (isParameter(index))
        synth.callHost(vst::audioMasterBeginEdit, index);
}

void PluginEditorHost::endEdit(int index) {
    if (isParameter(index))
        synth.callHost(vst::audioMasterEndEdit, index);
}

std::string PluginEditorHost::parameterName(int index) const {
    return synth.parameterName(index);
}

std::string PluginEditorHost::parameterDisplay(int index) const {
    return isParameter(index) ? synth.parameterDisplay(index) : std::string();
}

float PluginEditorHost::parameterDefault(int index) const {
    return isParameter(index) ? freshPatch->getParameter(index) : 0.0f;
}

void PluginEditorHost::setLastTouchedParameter(int index) {
    // Anything but a parameter leaves MIDI learn without a target.
    synth.controllers().setLearnTarget(isParameter(index) ? index : -1);
}

bool PluginEditorHost::midiLearnActive() const {
    return synth.controllers().learnMode();
}

void PluginEditorHost::toggleMidiLearn() {
    synth.controllers().toggleLearn();
}

int PluginEditorHost::controllerOf(int parameter) const {
    return synth.controllers().findController(parameter);
}

std::string PluginEditorHost::controllerName(int controller) const {
    const char* name = ControllerMap::controllerName(controller);
    return name ? name : "";
}

int PluginEditorHost::state(int index) const {
    if (index < 0 || index >= State::count)
        return 0;
    return boundedState(synth.patch(), index);
}

void PluginEditorHost::setState(int index, int value) {
    switch (index) {
    case State::RunStop:
        // Starting and stopping moves the voices: the sequencer's command posts that.
        synth.setRunStop(value != 0);
        return;
    case State::CurrentPattern:
        selectPattern(value);
        return;
    case State::FilterMode:
        synth.setState(index, std::clamp(value, 0, filterModels - 1));
        return;
    case State::BendRange:
        // Two octaves either way, as the preferences offer.
        synth.setState(index, std::clamp(value, 0, 24));
        return;
    case State::MidiMode:
    case State::NoteMode:
    case State::SyncMode:
    case State::DelaySync:
    case State::AuxInput:
    case State::PatternLock:
    case State::PatternWriteProtect:
        // Only the word changes; the voices follow the modes at the next block, and what the
        // panel wants of them on a switch (a note-off, forgetting held keys) it posts itself.
        synth.setState(index, value != 0 ? 1 : 0);
        return;
    default:
        return;
    }
}

PatternRecord& PluginEditorHost::currentPattern() const {
    TreskproPatch& patch = synth.patch();
    return patch.patterns[static_cast<std::size_t>(patch.currentPatternIndex())];
}

bool PluginEditorHost::writeProtected() const {
    return synth.getState(State::PatternWriteProtect) != 0;
}

void PluginEditorHost::stepAction(int code) {
    const StepProgrammingRules rules{writeProtected(), synth.configuration().clearNotes != 0};
    if (performStepAction(currentPattern(), cursor, code, rules) == StepActionResult::toggleRunStop)
        synth.setRunStop(synth.getState(State::RunStop) == 0);
}

EditStep PluginEditorHost::editStep() const {
    const PatternRecord& pattern = currentPattern();
    EditStep view;
    view.length = pattern.playableLength();
    view.position = std::clamp(cursor.position, 0, view.length - 1);
    const PatternStep step = pattern.step(view.position);
    view.note = std::min<int>(step.note, highestNote);
    view.flags = step.flags;
    const int prescale = PatternRecord::loadWhole(pattern.prescale);
    // Playback keeps its rate for a prescale it has no factor for; the switch shows the first.
    view.prescale = prescale <= PatternRecord::maximumPrescale ? prescale : 0;
    view.triplet = pattern.triplet();
    view.pitchMode = cursor.pitchMode;
    return view;
}

void PluginEditorHost::setEditPosition(int position) {
    cursor.position = std::clamp(position, 0, currentPattern().playableLength() - 1);
}

void PluginEditorHost::setPatternLength(int length) {
    // The length is part of the pattern: write protection keeps it as it is.
    if (writeProtected())
        return;
    length = std::clamp(length, 1, PatternRecord::maximumLength);
    PatternRecord::storeWhole(currentPattern().length, static_cast<std::uint8_t>(length));
    cursor.position = std::min(cursor.position, length - 1);
}

void PluginEditorHost::setPrescale(int prescale) {
    if (writeProtected())
        return;
    prescale = std::clamp(prescale, 0, static_cast<int>(PatternRecord::maximumPrescale));
    PatternRecord::storeWhole(currentPattern().prescale, static_cast<std::uint8_t>(prescale));
}

void PluginEditorHost::setTriplet(bool triplet) {
    if (writeProtected())
        return;
    PatternRecord& pattern = currentPattern();
    const std::uint8_t flags = PatternRecord::loadWhole(pattern.patternFlags);
    PatternRecord::storeWhole(pattern.patternFlags,
                              static_cast<std::uint8_t>(triplet
                                                            ? flags | PatternRecord::tripletFlag
                                                            : flags & ~PatternRecord::tripletFlag));
}

void PluginEditorHost::selectPattern(int pattern) {
    synth.setState(State::CurrentPattern, std::clamp(pattern, 0, patternCount - 1));
}

double PluginEditorHost::tempo() const {
    return synth.tempo();
}

void PluginEditorHost::setTempo(double bpm) {
    synth.setTempo(bpm);
}

bool PluginEditorHost::gateActive() const {
    return synth.gateActive();
}

bool PluginEditorHost::alternativeStepDisplay() const {
    // The preferences have no such option yet; the lamps show the usual layout until they do.
    return false;
}

void PluginEditorHost::previewNoteOn(int note, int velocity) {
    synth.requestVoices(TreskproSynth::VoiceRequest::NoteOn, note, velocity);
}

void PluginEditorHost::previewNoteOff() {
    synth.requestVoices(TreskproSynth::VoiceRequest::NoteOff);
}

void PluginEditorHost::panic() {
    synth.requestVoices(TreskproSynth::VoiceRequest::Panic);
}

void PluginEditorHost::clearHeldNotes() {
    synth.requestVoices(TreskproSynth::VoiceRequest::ClearHeldNotes);
}

// The cables live in the current patch, which only this thread replaces, so it stays put while
// the panel edits it. The audio thread applies the list at the start of each block while the
// panel may be changing it: the list reads and writes every word whole, an appended pair is
// complete before the count shows it, and a removal moves pairs down before the count drops,
// so a block sees the list before or after the change, or at worst one pair twice.
int PluginEditorHost::socketCount() const {
    return synth.sockets().size();
}

std::string PluginEditorHost::socketName(int socket) const {
    return synth.sockets().socketName(socket);
}

bool PluginEditorHost::socketIsOutput(int socket) const {
    return synth.sockets().isOutput(socket);
}

bool PluginEditorHost::socketIsInput(int socket) const {
    return synth.sockets().isInput(socket);
}

std::vector<std::pair<int, int>> PluginEditorHost::connections() const {
    const ConnectionList& list = synth.patch().connections;
    std::vector<std::pair<int, int>> pairs;
    const int used = list.size();
    pairs.reserve(std::size_t(used));
    for (int k = 0; k < used; ++k) {
        const Connection cable = list.connection(k);
        pairs.emplace_back(cable.output, cable.input);
    }
    return pairs;
}

bool PluginEditorHost::canConnect(int a, int b) const {
    return synth.sockets().canConnect(synth.patch().connections, a, b);
}

bool PluginEditorHost::connect(int a, int b) {
    return synth.sockets().connect(synth.patch().connections, a, b);
}

void PluginEditorHost::disconnect(int a, int b) {
    const SocketRegistry& sockets = synth.sockets();
    const Connection wanted = sockets.isInput(a) ? Connection{b, a} : Connection{a, b};
    // A list from elsewhere may hold the pair twice; a cable taken away must not keep playing.
    ConnectionList& list = synth.patch().connections;
    for (int k = list.find(wanted); k >= 0; k = list.find(wanted))
        list.remove(k);
}

void PluginEditorHost::disconnectAll(int socket) {
    ConnectionList& list = synth.patch().connections;
    for (int k = list.size() - 1; k >= 0; --k) {
        const Connection cable = list.connection(k);
        if (cable.output == socket || cable.input == socket)
            list.remove(k);
    }
}

void PluginEditorHost::patternCommand(int entry) {
    const bool random = entry == PatternMenuEntry::randomizeAll ||
                        entry == PatternMenuEntry::randomizePitches ||
                        entry == PatternMenuEntry::alter;
    if (random && writeProtected())
        return;
    runPatternMenuEntry(entry, currentPattern(), patternClipboard(), patternRandom());
}

bool PluginEditorHost::importPattern(const std::string& path) {
    if (writeProtected())
        return false;
    // Read into a copy, so playback never meets a pattern half read.
    PatternRecord& live = currentPattern();
    PatternRecord edited = live;
    if (!importPatternFile(edited, path))
        return false;
    live.assignWhole(edited);
    return true;
}

bool PluginEditorHost::exportPattern(const std::string& path) {
    return exportPatternFile(currentPattern(), path);
}

bool PluginEditorHost::importSong(const std::string& path) {
    // A song replaces up to 64 patterns: a write-protected pattern keeps them all.
    if (writeProtected())
        return false;
    RebirthSong song;
    if (readSongFile(path, song) == 0)
        return false;
    const SongSettings settings = applySongToPatch(song, synth.patch(), false);
    if (settings.present) {
        for (const ParameterChange& change : settings.changes)
            setParameterAutomated(change.parameter, change.value);
        selectPattern(settings.pendingPattern);
    }
    return true;
}

void PluginEditorHost::loadControllerMap(const std::string& path) {
    synth.controllers().readFile(path);
}

bool PluginEditorHost::saveControllerMap(const std::string& path) {
    return synth.controllers().writeFile(path);
}

std::string PluginEditorHost::patchName() const {
    return synth.programName();
}

std::string PluginEditorHost::currentPatchPath() const {
    return synth.currentPatchPath();
}

std::string PluginEditorHost::patchFolder() const {
    return synth.folder().patchFolder();
}

bool PluginEditorHost::loadPatch(const std::string& path) {
    return synth.loadPatch(path);
}

bool PluginEditorHost::savePatch(const std::string& path) {
    return synth.savePatch(path);
}

bool PluginEditorHost::autoRunStop() const {
    return synth.configuration().autoRun == 1;
}

void PluginEditorHost::setAutoRunStop(bool on) {
    synth.setAutoRun(on);
}

int PluginEditorHost::maxPolyphony() const {
    return synth.configuration().polyphony();
}

void PluginEditorHost::setMaxPolyphony(int voices) {
    synth.setMaxPolyphony(std::clamp(voices, 1, SynthEngine::voiceCount));
}

bool PluginEditorHost::standardTuning() const {
    return synth.configuration().tuningMode != 0;
}

void PluginEditorHost::setStandardTuning(bool standard) {
    synth.setTuningMode(standard ? 1 : 0);
}

bool PluginEditorHost::aliasFreeOscillators() const {
    return synth.configuration().oscModel != 0;
}

void PluginEditorHost::setAliasFreeOscillators(bool on) {
    synth.setOscModel(on ? 1 : 0);
}

bool PluginEditorHost::midiOutput() const {
    return synth.configuration().midiOutput != 0;
}

void PluginEditorHost::setMidiOutput(bool on) {
    synth.setMidiOutput(on);
}

std::string PluginEditorHost::tuningName() const {
    return synth.configuration().tuning;
}

std::string PluginEditorHost::tuningFolder() const {
    return synth.folder().path("Tresk Pro Tunings");
}

void PluginEditorHost::loadTuning(const std::string& path) {
    synth.selectTuning(path);
}

bool PluginEditorHost::writeConfig(const std::string& name) {
    return isPlainFileName(name) && synth.writeConfig(name);
}

void PluginEditorHost::readConfig(const std::string& name) {
    if (isPlainFileName(name))
        synth.readConfig(name);
}

bool PluginEditorHost::setStartPatch() {
    return synth.folder().setStartPatch(synth.currentPatchPath());
}

std::string PluginEditorHost::patchInfo() const {
    const PatchInfo& info = synth.patch().info;
    return std::string(info.text, strnlen(info.text, PatchInfo::textCapacity));
}

void PluginEditorHost::setPatchInfo(const std::string& text) {
    // The block keeps 1023 characters and its closing zero; longer text is cut.
    PatchInfo& info = synth.patch().info;
    const std::size_t kept = std::min<std::size_t>(text.size(), PatchInfo::textCapacity - 1);
    std::memcpy(info.text, text.data(), kept);
    std::memset(info.text + kept, 0, PatchInfo::textCapacity - kept);
}

bool PluginEditorHost::patchInfoShown() const {
    return synth.patch().info.showFlag != 0;
}

void PluginEditorHost::setPatchInfoShown(bool show) {
    synth.patch().info.showFlag = show ? 1 : 0;
}

bool PluginEditorHost::advancedRandomize(const RandomizerChoice& choice) {
    if (writeProtected())
        return false;
    RandomizerSettings settings;
    settings.length = choice.length;
    settings.hiOctave = choice.hiOctave;
    settings.loOctave = choice.loOctave;
    settings.noteDensity = choice.noteDensity;
    settings.gateDensity = choice.gateDensity;
    settings.slideDensity = choice.slideDensity;
    settings.accentDensity = choice.accentDensity;
    settings.root = choice.root;
    settings.scale = choice.scale;
    settings.fixScale = choice.fixScale;
    settings.noteEnable = choice.noteEnable;
    settings.gateEnable = choice.gateEnable;
    settings.slideEnable = choice.slideEnable;
    settings.accentEnable = choice.accentEnable;
    // Randomised in a copy, so playback never meets a pattern half made.
    PatternRecord& live = currentPattern();
    PatternRecord edited = live;
    treskpro::advancedRandomize(edited, settings, patternRandom());
    live.assignWhole(edited);
    return true;
}

std::string PluginEditorHost::pluginFolder() const {
    return synth.folder().path();
}

bool PluginEditorHost::readFile(const std::string& name, std::string& text) const {
    if (!isPlainFileName(name))
        return false;
    std::optional<std::string> contents = readWholeFile(synth.folder().path(name));
    if (!contents)
        return false;
    text = std::move(*contents);
    return true;
}

bool PluginEditorHost::writeFile(const std::string& name, const std::string& text) {
    return isPlainFileName(name) && writeFileSafely(synth.folder().path(name), text);
}

} // namespace treskpro
