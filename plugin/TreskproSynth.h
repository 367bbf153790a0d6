// The plug-in shell: the host boundary. TreskproSynth is the plug-in object behind the AEffect
// record that the host holds. It owns the current patch, the parameter, socket and state tables,
// and (as they arrive) the engine, the sequencer and the settings; TreskproPlugin adds the
// editor.
//
// The host calls the dispatcher, setParameter and getParameter from its user-interface thread
// and processReplacing and effProcessEvents from its audio thread. The object creates no thread
// and the audio thread never waits; values shared between threads are single words written
// whole, and the patch itself is handed over as PatchHandOver describes (a replacement waits
// for the short readers of the old patch, never for the audio thread).
#pragma once

#include "engine/BlockRegistry.h"
#include "engine/NoteDispatch.h"
#include "engine/Parameters.h"
#include "engine/SocketRegistry.h"
#include "engine/SynthEngine.h"
#include "files/ConfigSettings.h"
#include "files/ControllerMap.h"
#include "files/PluginFolder.h"
#include "files/TreskproPatch.h"
#include "files/Tuning.h"
#include "plugin/HostChunk.h"
#include "plugin/MidiEventBuffer.h"
#include "plugin/PatchHandOver.h"
#include "plugin/Registries.h"
#include "plugin/VstInterface.h"

#include <array>
#include <atomic>
#include <memory>
#include <optional>
#include <string>

namespace treskpro {

class TreskproSynth {
public:
    // Builds the whole object in the fixed construction order. `host` may be null (then the
    // record keeps the interface defaults of one input and no synth flag). The plug-in folder,
    // where the settings, data and patches live, is the folder of the plug-in file unless one
    // is given.
    explicit TreskproSynth(vst::HostCallback host, std::optional<std::string> folder = {});
    virtual ~TreskproSynth();

    TreskproSynth(const TreskproSynth&) = delete;
    TreskproSynth& operator=(const TreskproSynth&) = delete;

    vst::AEffect* effect() { return &effectRecord; }
    static TreskproSynth* fromEffect(vst::AEffect* effect);

    // One dispatcher opcode; failures never cross the boundary, they give the neutral answer.
    // effClose answers 0 and then destroys this object.
    vst::intptr dispatch(vst::int32 opcode, vst::int32 index, vst::intptr value, void* ptr,
                         float opt);

    // Parameter slot `index` of the current patch (0 outside the slots). Any thread.
    float getParameter(int index) const;
    // Stores a parameter in the current patch; Tempo also sets the sequencer tempo. Host,
    // editor or automation thread.
    virtual void setParameter(int index, float value);

    int getState(int index) const;
    void setState(int index, int value);

    // Clamps the tempo to 25..500 BPM, stores it in the Tempo parameter slot directly (without
    // telling the editor) and derives the samples per sixteenth note. Non-numbers are ignored.
    void setTempo(double bpm);
    double tempo() const { return sequencerTempo.load(std::memory_order_relaxed); }
    // Samples in one sixteenth note at the tempo and the sample rate.
    double samplesPerStep() const { return rate / (tempo() / 60.0 * 4.0); }

    std::string parameterName(int index) const { return parameterRegistry.name(index); }
    std::string parameterDisplay(int index) const;
    std::string displayParameter(int index, float value) const;

    // The program name the host shows: the patch file's base name from currentPatchPath.
    std::string programName() const;
    const std::string& currentPatchPath() const { return patchPath; }
    void setCurrentPatchPath(const std::string& path) { patchPath = path; }

    // effProcessEvents: keeps the block's first 64 events, sorted by time stamp, for the next
    // processReplacing. Audio thread.
    virtual vst::intptr processEvents(const vst::VstEvents* events);

    virtual void setProgram(int program);
    virtual void setProgramName(const char* name);

    void suspend();
    void resume();

    // The folder of the plug-in file and the files kept there.
    const PluginFolder& folder() const { return pluginFiles; }
    const ConfigSettings& configuration() const { return settings; }
    // The patch menu's Auto Run/Stop; read by patch loads, which run on the same thread.
    void setAutoRun(bool on) { settings.autoRun = on ? 1 : 0; }
    // The preferences' global settings, from the editor's thread while the audio thread reads
    // them: each is one word, and the voices follow at their next block.
    void setMaxPolyphony(int voices);
    void setTuningMode(int mode);
    void setOscModel(int model);
    void setMidiOutput(bool on);
    // Makes `path` the configured tuning (a name of 256 characters or more is not kept) and
    // fills the custom table from it. The table the voices play is never written: the file is
    // read into the other of two tables, which then takes over.
    void selectTuning(const std::string& path);
    ControllerMap& controllers() { return controllerMap; }

    // Sends one three-byte MIDI message to the host's MIDI output.
    void sendMidiToHost(int status, int data1, int data2);

    // The current patch, for the thread that replaces patches (the editor's and the host's
    // user-interface thread). Other threads reach it through the accessors above.
    TreskproPatch& patch() { return patches->current(); }
    const TreskproPatch& patch() const { return patches->current(); }

    // Replaces the current patch with the file at `path`: the new patch is built completely
    // before it takes over, the tempo follows its Tempo parameter and the host is told that the
    // display changed. False (nothing changed) when the file cannot be opened.
    bool loadPatch(const std::string& path);
    // Writes the current patch to `path`; on success the path becomes currentPatchPath.
    bool savePatch(const std::string& path);

    // Config.ini (or another name in the plug-in folder, such as the dialog's "Config.bak"):
    // reading sets the settings and the current patch's five configured states; a missing file
    // changes nothing. Writing fails quietly in a read-only folder.
    void readConfig(const std::string& name = "Config.ini");
    bool writeConfig(const std::string& name = "Config.ini") const;

    // The host's state of this instance (effGetChunk): a buffer valid until the next call.
    vst::intptr getChunk(void** data);
    // Restores a state the host stored (effSetChunk); answers the size taken, or 0 (the patch
    // unchanged) for a chunk that cannot be read.
    vst::intptr setChunk(const void* data, vst::intptr size);

    const ParameterRegistry& parameters() const { return parameterRegistry; }
    const SocketRegistry& sockets() const { return engine->sockets(); }
    const StateRegistry& states() const { return stateRegistry; }

    // Points every input socket at the output feeding it, from the current patch's cables.
    void applyConnections() { engine->sockets().applyConnections(patches->read()->connections); }

    // The block entry: refreshes the input pins and the host tempo, then renders.
    void processReplacing(float** inputs, float** outputs, int frames);

    // One MIDI message between two slices: status with the channel cleared, data masked to
    // 7 bits. Audio thread.
    void handleMidiMessage(int status, int data1, int data2);

    // Parameter change that the host records as automation (controllers, MIDI learn).
    void setParameterAutomated(int index, float value);

    // The three note operations for callers outside the MIDI path (the editor's keyboard):
    // play a note on a free voice, release a note (any value outside 0..127 releases all), and
    // silence everything. Audio thread, or any thread while the host does not process.
    void playNote(int note, int velocity);
    void releaseNote(int note);
    void resetEngine();

    // The run/stop command of the editor: starts the sequencer at step 0 or stops it. The
    // voices follow at the start of the next block. Editor thread.
    void setRunStop(bool run);

    // What the editor's panel asks of the voices, carried out by the audio thread at the start
    // of its next block (playNote, releaseNote of every note, resetEngine, or forgetting the
    // held keys). Of two note-ons before one block the later one plays; a note-off or a panic
    // posted after a note-on cancels it, and one posted between two note-ons still releases
    // what the first started in an earlier block. Editor thread; lock- and allocation-free.
    enum class VoiceRequest { NoteOn, NoteOff, Panic, ClearHeldNotes };
    void requestVoices(VoiceRequest request, int note = 0, int velocity = 0);

    // What the editor's indicators show; it reads and clears them on its timer.
    std::int32_t takeMidiActivity() { return midiActivity.exchange(0); }
    bool gateActive() const { return engine->gateActive.load(std::memory_order_relaxed) != 0; }

    // Asks the host something; 0 when there is no host.
    vst::intptr callHost(vst::int32 opcode, vst::int32 index = 0, vst::intptr value = 0,
                         void* ptr = nullptr, float opt = 0.0f) const;

protected:
    // Tests look at the inner state through this; no caller of the plug-in needs it.
    friend struct TreskproSynthInternals;

    // The editor opcodes; without an editor they give the neutral answer.
    virtual vst::intptr dispatchEditor(vst::int32 opcode, vst::int32 index, vst::intptr value,
                                       void* ptr, float opt);

    // Called by the derived object once its editor exists.
    void setHasEditor(bool hasEditor);

    // Destruction before the members go: MIDI out, controller map and patch are written here
    // as those parts arrive, then the engine parts are freed. Runs once.
    void shutDown();

private:
    void registerTables();
    void initialiseFromDisk();
    void loadStartupPatch();
    void setSampleRate(float newRate);
    void setBlockSize(vst::intptr size);
    vst::intptr canDo(const char* text) const;
    vst::intptr outputProperties(int index, vst::VstPinProperties* properties) const;
    vst::intptr midiKeyName(vst::MidiKeyName* key) const;

    // Work that the editor's or the host's thread asks of the voices, done by the audio thread
    // at the start of its next block so that no voice is touched while it renders.
    enum EngineRequest : std::uint32_t {
        SilenceForPatch = 1u << 0,
        AutoRunKeyboard = 1u << 1,
        AutoRunStart = 1u << 2,
        AutoRunReset = 1u << 3,
        RunStart = 1u << 4,
        RunStop = 1u << 5,
        PreviewNoteOn = 1u << 6,
        PreviewNoteOff = 1u << 7,
        Panic = 1u << 8,
        ClearHeldNotes = 1u << 9,
    };
    // A posted note-on carries its note and velocity in the same word, so that the audio
    // thread takes the request and its note together.
    static constexpr int previewNoteShift = 16;
    static constexpr int previewVelocityShift = 24;
    static constexpr std::uint32_t previewNoteMask = 0x7Fu << previewNoteShift;
    static constexpr std::uint32_t previewVelocityMask = 0x7Fu << previewVelocityShift;
    void requestEngine(std::uint32_t request) {
        engineRequests.fetch_or(request, std::memory_order_acq_rel);
    }
    void applyEngineRequests(const TreskproPatch& blockPatch);
    void handleEvent(const vst::VstEvent& event);
    void renderSlice(const TreskproPatch& blockPatch, float** inputs, float** outputs, int offset,
                     int count, bool changed);
    void patternNoteOn(int note);
    void patternNoteOff(int note, bool fromVelocityZero);
    void controlChange(int controller, int value);
    int polyphony() const;

    vst::AEffect effectRecord{};
    vst::HostCallback hostCallback;

    float rate = 44100.0f;
    int maximumBlockSize = 1024;
    int currentProgram = 0;
    bool inputConnected[2] = {false, false};

    // The editor's and the host's threads set the tempo while the audio thread reads it: one
    // word, written whole.
    std::atomic<float> sequencerTempo{120.0f};
    // The parameters of the slice being rendered, read from the patch once per slice.
    std::array<float, Parameter::count> sliceParameters{};

    ParameterRegistry parameterRegistry;
    StateRegistry stateRegistry;
    BlockRegistry blocks;
    MidiEventBuffer midiInput;
    std::unique_ptr<SynthEngine> engine;
    std::unique_ptr<NoteDispatch> keys;
    struct ControllerState {
        int pitchBend = 8192;
        int sustain = 0;
        int modWheelCoarse = 0;
        int modWheelFine = 0;
        int channelPressure = 0;
    } midiControllers;
    std::atomic<std::int32_t> midiActivity{0};
    std::atomic<std::uint32_t> engineRequests{0};

    std::unique_ptr<PatchHandOver> patches;
    std::unique_ptr<ChunkBuffer> chunkBuffer;
    // Raised while a patch is being replaced: the render loop then outputs silence.
    std::atomic<bool> patchLoading{false};
    // Raised by a patch file load: the next block jumps every smoothed value to its target.
    std::atomic<bool> patchChanged{false};
    std::string patchPath;
    PluginFolder pluginFiles;
    ConfigSettings settings;
    ControllerMap controllerMap;
    // The custom tuning: two tables, the voices reading the active one while a newly chosen
    // file is read into the other.
    std::array<NoteTable, 2> tunings{};
    std::atomic<int> activeTuning{0};
    // Audio thread: the MIDI output switch as the last block saw it, so that switching it off
    // ends the notes sounding at the host's MIDI output.
    int midiOutputSeen = 0;

    // Fills the spare custom table from `name` (the standard table where the file gives
    // nothing) and makes it the active one.
    void fillTuning(const std::string& name);
    // Takes settings read from a file; the words the audio thread reads are stored whole.
    void adoptSettings(const ConfigSettings& next);
    // A setting the audio thread reads while the editor's thread may change it.
    static int liveSetting(const int& setting);
    static void storeSetting(int& setting, int value);
    bool isShutDown = false;
};

} // namespace treskpro
