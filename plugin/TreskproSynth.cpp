#include "plugin/TreskproSynth.h"

#include "engine/Parameters.h"
#include "engine/PitchTables.h"
#include "engine/SampleRate.h"
#include "engine/WavetableSet.h"
#include "files/PatchFile.h"
#include "platform/Platform.h"
#include "plugin/BuildVariant.h"
#include "plugin/HostStrings.h"
#include "plugin/ParameterDisplay.h"
#include "sequencer/PatternOperations.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace treskpro {

namespace {

using namespace vst;

intptr VSTCALLBACK dispatcherEntry(AEffect* effect, int32 opcode, int32 index, intptr value,
                                   void* ptr, float opt) {
    TreskproSynth* synth = TreskproSynth::fromEffect(effect);
    if (!synth)
        return 0;
    if (opcode == effClose) {
        // Hosts release a plug-in only through effClose: the object goes with it.
        delete synth;
        return 0;
    }
    try {
        return synth->dispatch(opcode, index, value, ptr, opt);
    } catch (...) {
        return 0;
    }
}

// The old accumulating entry and the double-precision entry are accepted and leave the
// outputs as they are.
void VSTCALLBACK processAccumulating(AEffect*, float**, float**, int32) {}
void VSTCALLBACK processDouble(AEffect*, double**, double**, int32) {}

void VSTCALLBACK processReplacingEntry(AEffect* effect, float** inputs, float** outputs,
                                       int32 frames) {
    if (TreskproSynth* synth = TreskproSynth::fromEffect(effect))
        synth->processReplacing(inputs, outputs, frames);
}

void VSTCALLBACK setParameterEntry(AEffect* effect, int32 index, float value) {
    if (TreskproSynth* synth = TreskproSynth::fromEffect(effect))
        synth->setParameter(index, value);
}

float VSTCALLBACK getParameterEntry(AEffect* effect, int32 index) {
    const TreskproSynth* synth = TreskproSynth::fromEffect(effect);
    return synth ? synth->getParameter(index) : 0.0f;
}

// The interface's own placeholder ID, replaced as soon as a host callback is known.
constexpr int32 placeholderUniqueID = fourCharacters('N', 'o', 'E', 'f');

} // namespace

TreskproSynth::TreskproSynth(HostCallback host, std::optional<std::string> pluginFolder)
    : hostCallback(host) {
    // The host record with the interface defaults.
    effectRecord.magic = kEffectMagic;
    effectRecord.dispatcher = dispatcherEntry;
    effectRecord.process = processAccumulating;
    effectRecord.setParameter = setParameterEntry;
    effectRecord.getParameter = getParameterEntry;
    effectRecord.numPrograms = 1;
    effectRecord.numParams = Parameter::count;
    effectRecord.numInputs = 1;
    effectRecord.numOutputs = 2;
    effectRecord.flags = effFlagsCanReplacing;
    effectRecord.ioRatio = 1.0f;
    effectRecord.object = this;
    effectRecord.uniqueID = placeholderUniqueID;
    effectRecord.version = pluginVersion;
    effectRecord.processReplacing = processReplacingEntry;
    effectRecord.processDoubleReplacing = processDouble;

    // The engine: voices, sequencer, delay lines and the sockets of the modular section.
    engine = std::make_unique<SynthEngine>(blocks);
    keys = std::make_unique<NoteDispatch>(*engine);

    patches = std::make_unique<PatchHandOver>(std::make_unique<TreskproPatch>());
    chunkBuffer = std::make_unique<ChunkBuffer>();

    registerTables();

    currentProgram = 0;
    inputConnected[0] = inputConnected[1] = false;
    effectRecord.flags |= effFlagsProgramChunks;
    setProgram(0);

    if (host) {
        effectRecord.numInputs = 2;
        effectRecord.numOutputs = 2;
        effectRecord.flags |= buildVariant.flags;
        effectRecord.uniqueID = buildVariant.uniqueID;
    }

    pluginFiles = PluginFolder(
        pluginFolder ? *pluginFolder
                     : platform::moduleFolder(buildVariant.moduleFileName,
                                              reinterpret_cast<const void*>(&dispatcherEntry)));
    initialiseFromDisk();

    setTempo(tempoFromParameter(getParameter(Parameter::Tempo)));
    suspend();
}

TreskproSynth::~TreskproSynth() {
    shutDown();
}

void TreskproSynth::initialiseFromDisk() {
    WavetableLibrary::shared().loadMissing(pluginFiles.path(WavetableLibrary::folderName));
    applyDefaultSettings(settings, patch());
    patternRandom().state = static_cast<std::uint32_t>(
        std::chrono::steady_clock::now().time_since_epoch().count() / 1000000);
    readConfig();
    settings.startupPatch.clear();
    controllerMap.readFile(pluginFiles.path("MidiCC.ini"));
    for (PatternRecord& pattern : patch().patterns)
        clearPattern(pattern, settings.clearNotes != 0);
    patchPath = pluginFiles.patchFolder() + platform::pathSeparator + "Tresk Pro Patch.tpro";
    loadStartupPatch();
}

void TreskproSynth::readConfig(const std::string& name) {
    ConfigSettings next = settings;
    pluginFiles.readConfig(next, patch(), name);
    adoptSettings(next);
    // The table follows the name: settings restored from a snapshot bring back the tuning
    // they name, not only its name.
    fillTuning(next.tuning);
}

void TreskproSynth::adoptSettings(const ConfigSettings& next) {
    storeSetting(settings.maxPolyphony, next.maxPolyphony);
    storeSetting(settings.tuningMode, next.tuningMode);
    storeSetting(settings.oscModel, next.oscModel);
    storeSetting(settings.midiOutput, next.midiOutput);
    storeSetting(settings.midiOutputChannel, next.midiOutputChannel);
    // Only this thread reads the others.
    settings.autoRun = next.autoRun;
    settings.bassBoost = next.bassBoost;
    settings.clearNotes = next.clearNotes;
    settings.accentVelocity = next.accentVelocity;
    settings.parameterSmoothing = next.parameterSmoothing;
    settings.clockSync = next.clockSync;
    settings.guiKnobMode = next.guiKnobMode;
    settings.tuning = next.tuning;
    settings.startupPatch = next.startupPatch;
}

int TreskproSynth::liveSetting(const int& setting) {
    // The settings object is plain data shared with the file readers; a word of it read whole.
    return std::atomic_ref<int>(const_cast<int&>(setting)).load(std::memory_order_relaxed);
}

void TreskproSynth::storeSetting(int& setting, int value) {
    std::atomic_ref<int>(setting).store(value, std::memory_order_relaxed);
}

void TreskproSynth::setMaxPolyphony(int voices) {
    storeSetting(settings.maxPolyphony, voices);
}

void TreskproSynth::setTuningMode(int mode) {
    storeSetting(settings.tuningMode, mode);
}

void TreskproSynth::setOscModel(int model) {
    storeSetting(settings.oscModel, model);
}

void TreskproSynth::setMidiOutput(bool on) {
    storeSetting(settings.midiOutput, on ? 1 : 0);
}

void TreskproSynth::selectTuning(const std::string& path) {
    if (path.size() <= ConfigSettings::tuningNameLimit)
        settings.tuning = path;
    fillTuning(path);
}

void TreskproSynth::fillTuning(const std::string& name) {
    const int spare = 1 - activeTuning.load(std::memory_order_relaxed);
    NoteTable& table = tunings[static_cast<std::size_t>(spare)];
    table = noteFrequencyTable();
    loadTuning(table, name);
    activeTuning.store(spare, std::memory_order_release);
}

bool TreskproSynth::writeConfig(const std::string& name) const {
    return pluginFiles.writeConfig(settings, patch(), name);
}

void TreskproSynth::loadStartupPatch() {
    const auto name = pluginFiles.startupPatchName();
    if (!name)
        return;
    settings.startupPatch = *name;
    if (!settings.startupPatch.empty())
        loadPatch(pluginFiles.patchPath(settings.startupPatch));
}

void TreskproSynth::sendMidiToHost(int status, int data1, int data2) {
    VstMidiEvent event{};
    event.type = kVstMidiType;
    event.byteSize = sizeof(VstMidiEvent);
    event.midiData[0] = static_cast<char>(status);
    event.midiData[1] = static_cast<char>(data1);
    event.midiData[2] = static_cast<char>(data2);
    VstEvents events{};
    events.numEvents = 1;
    events.events[0] = reinterpret_cast<VstEvent*>(&event);
    callHost(audioMasterProcessEvents, 0, 0, &events);
}

void TreskproSynth::shutDown() {
    if (isShutDown)
        return;
    isShutDown = true;
    if (settings.midiOutput != 0)
        sendMidiToHost(0xB0 + settings.midiOutputChannel, 123, 0); // All Notes Off
    // The controller map and the patch are kept for the next start; a failing write is silent
    // and leaves the old file as it was.
    controllerMap.writeFile(pluginFiles.path("MidiCC.ini"));
    if (patches)
        savePatch(pluginFiles.path("Tresk Pro Patch.tpro"));
    // Then the engine parts are freed in reverse order of construction.
    chunkBuffer.reset();
    patches.reset();
}

void TreskproSynth::registerTables() {
    for (const ParameterDefinition& definition : parameterDefinitions)
        parameterRegistry.registerParameter(definition.tag, definition.name);
    for (const char* name : stateNames)
        stateRegistry.registerState(nullptr, name, 0);
}

TreskproSynth* TreskproSynth::fromEffect(AEffect* effect) {
    return effect ? static_cast<TreskproSynth*>(effect->object) : nullptr;
}

intptr TreskproSynth::callHost(int32 opcode, int32 index, intptr value, void* ptr,
                               float opt) const {
    if (!hostCallback)
        return 0;
    return hostCallback(const_cast<AEffect*>(&effectRecord), opcode, index, value, ptr, opt);
}

float TreskproSynth::getParameter(int index) const {
    return patches->read()->getParameter(index);
}

void TreskproSynth::setParameter(int index, float value) {
    // A host may send anything: a value that is not a number is refused, the rest is clamped
    // into the parameter's range, as a host expects of a 0..1 parameter.
    value = sanitisedParameter(index, value, getParameter(index));
    patches->read()->setParameter(index, value);
    if (index == Parameter::Tempo)
        setTempo(tempoFromParameter(value));
}

int TreskproSynth::getState(int index) const {
    return patches->read()->getState(index);
}

void TreskproSynth::setState(int index, int value) {
    patches->read()->setState(index, value);
}

void TreskproSynth::setTempo(double bpm) {
    if (std::isnan(bpm))
        return;
    bpm = std::clamp(bpm, tempoMinimum, tempoMaximum);
    patches->read()->setParameter(Parameter::Tempo,
                                  static_cast<float>((bpm - tempoMinimum) / tempoParameterSpan));
    sequencerTempo.store(static_cast<float>(bpm), std::memory_order_relaxed);
}

std::string TreskproSynth::displayParameter(int index, float value) const {
    const PatchHandOver::Reader reader = patches->read();
    const DisplayContext context{*reader, tempo(), samplesPerStep(), rate};
    return treskpro::displayParameter(index, value, context);
}

std::string TreskproSynth::parameterDisplay(int index) const {
    return displayParameter(index, getParameter(index));
}

std::string TreskproSynth::programName() const {
    const std::size_t separator = patchPath.find_last_of("\\/");
    if (separator == std::string::npos)
        return "";
    const std::string fileName = patchPath.substr(separator + 1);
    const std::size_t extension = fileName.find(".tpro");
    if (extension == std::string::npos)
        return "";
    return fileName.substr(0, extension);
}

void TreskproSynth::setProgram(int program) {
    // Only program 0 exists; the patch is the program.
    if (program == 0)
        currentProgram = 0;
}

void TreskproSynth::setProgramName(const char*) {}

intptr TreskproSynth::processEvents(const VstEvents* events) {
    midiInput.add(events);
    return 1;
}

void TreskproSynth::suspend() {
    patches->collect();
    midiInput.clear();
    resetEngine();
}

void TreskproSynth::resume() {
    callHost(audioMasterWantMidi, 0, 1);
}

void TreskproSynth::setSampleRate(float newRate) {
    if (!(newRate > 0.0f) || !std::isfinite(newRate))
        return;
    rate = newRate;
    setEngineSampleRate(rate);
}

void TreskproSynth::setBlockSize(intptr size) {
    if (size <= 0)
        return;
    // Hosts announce their largest block; a bound keeps a nonsense value from reserving
    // gigabytes. Larger blocks are rendered in pieces of this size.
    constexpr intptr largestBlock = 1 << 16;
    maximumBlockSize = static_cast<int>(std::min(size, largestBlock));
    blocks.setBlockSize(maximumBlockSize);
}

bool TreskproSynth::loadPatch(const std::string& path) {
    patchLoading.store(true, std::memory_order_release);
    auto fresh = std::make_unique<TreskproPatch>();
    const bool loaded = readPatchFile(*fresh, path);
    if (loaded) {
        patches->replace(std::move(fresh));
        patchChanged.store(true, std::memory_order_release);
        // The voices go quiet and, with AutoRun, the sequencer restarts for the loaded patch;
        // the audio thread does both before its next block.
        std::uint32_t request = SilenceForPatch;
        if (settings.autoRun == 1) {
            if (getState(State::MidiMode) == 1)
                request |= AutoRunKeyboard;
            else if (getState(State::MidiMode) == 0)
                request |= getState(State::RunStop) == 1 ? AutoRunStart : AutoRunReset;
        }
        requestEngine(request);
        patchPath = path;
        setTempo(tempoFromParameter(getParameter(Parameter::Tempo)));
        callHost(audioMasterUpdateDisplay);
    }
    patchLoading.store(false, std::memory_order_release);
    return loaded;
}

bool TreskproSynth::savePatch(const std::string& path) {
    if (!writePatchFile(patch(), path))
        return false;
    patchPath = path;
    return true;
}

intptr TreskproSynth::getChunk(void** data) {
    if (!data)
        return 0;
    writeChunk(*patches->read(), patchPath, *chunkBuffer);
    *data = chunkBuffer->data();
    return static_cast<intptr>(chunkBuffer->size());
}

intptr TreskproSynth::setChunk(const void* data, intptr size) {
    // No chunk (a null pointer with a size, a negative size) and a chunk without a single
    // record of ours are refused: the host is told, and the patch the user has stays. Only an
    // empty chunk stands for the initial patch.
    if (size < 0 || (size > 0 && !data))
        return 0;
    patchLoading.store(true, std::memory_order_release);
    auto fresh = std::make_unique<TreskproPatch>();
    std::string restoredPath = patchPath;
    const bool readable = readChunk(static_cast<const std::uint8_t*>(data),
                                    static_cast<std::size_t>(size), *fresh, restoredPath) ||
                          size == 0;
    if (readable) {
        patches->replace(std::move(fresh));
        patchPath = restoredPath;
    }
    patchLoading.store(false, std::memory_order_release);
    if (!readable)
        return 0;
    setProgram(0);
    return size;
}

intptr TreskproSynth::canDo(const char* text) const {
    if (!text)
        return kCanDoNo;
    for (std::string_view yes : buildVariant.canDo) {
        if (yes == text)
            return kCanDoYes;
    }
    return kCanDoNo;
}

intptr TreskproSynth::outputProperties(int index, VstPinProperties* properties) const {
    if (index < 0 || index > 1 || !properties)
        return 0;
    std::snprintf(properties->label, kPinLabelCapacity, "Tresk Pro %1d", index + 1);
    properties->flags = kVstPinIsActive | kVstPinIsStereo;
    return 1;
}

intptr TreskproSynth::midiKeyName(MidiKeyName* key) const {
    // In pattern mode MIDI note n selects pattern n.
    if (!key || getState(State::MidiMode) != 0)
        return 0;
    std::snprintf(key->keyName, kKeyNameCapacity, "Pattern %d", key->thisKeyNumber);
    return 1;
}

void TreskproSynth::setHasEditor(bool hasEditor) {
    if (hasEditor)
        effectRecord.flags |= effFlagsHasEditor;
    else
        effectRecord.flags &= ~effFlagsHasEditor;
}

intptr TreskproSynth::dispatchEditor(int32, int32, intptr, void*, float) {
    return 0;
}

intptr TreskproSynth::dispatch(int32 opcode, int32 index, intptr value, void* ptr, float opt) {
    char* text = static_cast<char*>(ptr);
    switch (opcode) {
    case effSetProgram:
        setProgram(static_cast<int>(value));
        return 0;
    case effGetProgram:
        return currentProgram;
    case effSetProgramName:
        setProgramName(text);
        return 0;
    case effGetProgramName:
        if (text)
            copyString(text, kProgramNameCapacity, programName().c_str());
        return 0;
    case effGetParamLabel:
        if (text)
            copyString(text, kParameterTextCapacity, " ");
        return 0;
    case effGetParamDisplay:
        if (text)
            copyString(text, kParameterTextCapacity, parameterDisplay(index).c_str());
        return 0;
    case effGetParamName:
        if (text)
            copyString(text, kParameterTextCapacity, parameterRegistry.name(index));
        return 0;
    case effSetSampleRate:
        setSampleRate(opt);
        return 0;
    case effSetBlockSize:
        setBlockSize(value);
        return 0;
    case effMainsChanged:
        if (value == 0)
            suspend();
        else
            resume();
        return 0;
    case effProcessEvents:
        return processEvents(static_cast<const VstEvents*>(ptr));
    case effGetChunk:
        return getChunk(static_cast<void**>(ptr));
    case effSetChunk:
        return setChunk(ptr, value);
    case effEditGetRect:
    case effEditOpen:
    case effEditClose:
    case effEditIdle:
    case effEditKeyDown:
    case effEditKeyUp:
    case effSetEditKnobMode:
        return dispatchEditor(opcode, index, value, ptr, opt);
    case effCanBeAutomated:
        return 1;
    case effGetOutputProperties:
        return outputProperties(index, static_cast<VstPinProperties*>(ptr));
    case effGetPlugCategory:
        return buildVariant.category;
    case effGetEffectName:
        if (!text)
            return 0;
        copyString(text, kEffectNameCapacity, buildVariant.effectName);
        return 1;
    case effGetVendorString:
        if (!text)
            return 0;
        copyString(text, kVendorStringCapacity, vendorName);
        return 1;
    case effGetProductString:
        if (!text)
            return 0;
        copyString(text, kProductStringCapacity, buildVariant.productName);
        return 1;
    case effGetVendorVersion:
        return vendorVersion;
    case effCanDo:
        return canDo(text);
    case effGetVstVersion:
        return vstVersion;
    case effHasMidiProgramsChanged:
        return 1;
    case effGetMidiKeyName:
        return midiKeyName(static_cast<MidiKeyName*>(ptr));
    default:
        // effOpen, effGetTailSize, effGetProgramNameIndexed, effGetInputProperties, the MIDI
        // channel counts and every opcode not listed: the interface's neutral answer.
        return 0;
    }
}

} // namespace treskpro
