// The plug-in as its editor sees it: everything the panel reads and changes, and nothing more.
// The editor never sees the engine, the patch object or the host; the plug-in hands it one of
// these, and tests can drive the panel against a real plug-in or a small fake.
//
// Every call comes from the editor's thread (the host's user-interface thread). The plug-in
// makes each one safe against its audio thread: values are single words written whole, edits of
// a pattern step write the step whole, and what would touch a voice (preview notes, panic, mode
// switches, run and stop) is posted for the audio thread to carry out at its next block.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace treskpro {

// The plug-in's integer states by number, as patch files and chunks store them.
namespace PanelState {
constexpr int runStop = 0;
constexpr int currentPattern = 1;
constexpr int bendRange = 3;
constexpr int midiMode = 4;
constexpr int noteMode = 5;
constexpr int syncMode = 6;
constexpr int filterMode = 7;
constexpr int delaySync = 8;
constexpr int auxInput = 9;
constexpr int patternLock = 10;
constexpr int patternWriteProtect = 11;
} // namespace PanelState

// The step being edited and the pattern around it, every number already bounded: the position
// lies within the steps that play, the note within the 36 the lamps show.
struct EditStep {
    int position = 0; // 0 .. length - 1
    int length = 16;  // 1 .. 64
    int note = 0;     // 0 .. 35
    int flags = 0;    // the step's flag byte
    int prescale = 0; // 0 .. 3
    bool triplet = false;
    bool pitchMode = false;
};

// The advanced randomizer's choices (the dialog keeps them while the plug-in file is loaded).
struct RandomizerChoice {
    int length = 16;  // 1 .. 64
    int hiOctave = 2; // 1 .. 7, at least loOctave
    int loOctave = 2;
    int noteDensity = 16; // each 0 .. length
    int gateDensity = 16;
    int slideDensity = 16;
    int accentDensity = 16;
    int root = 0;  // 0 .. 11, C .. B
    int scale = 0; // 0 Chromatic, Ionian, Dorian, Lydian, Mixolydian, Aeolian, 6 Locrian
    bool fixScale = false;
    bool noteEnable = true;
    bool gateEnable = true;
    bool slideEnable = true;
    bool accentEnable = true;
};

class EditorHost {
public:
    virtual ~EditorHost() = default;

    // Parameters, 0 .. 1. An automated change tells the host (and records automation); a drag
    // is framed by beginEdit and endEdit so the host records it as one gesture.
    virtual int parameterCount() const = 0;
    virtual float parameter(int index) const = 0;
    virtual void setParameterAutomated(int index, float value) = 0;
    virtual void beginEdit(int index) = 0;
    virtual void endEdit(int index) = 0;
    virtual std::string parameterName(int index) const = 0;
    virtual std::string parameterDisplay(int index) const = 0;
    // The value a fresh patch has (a Control+click on a control returns to it).
    virtual float parameterDefault(int index) const = 0;

    // MIDI learn: the last parameter touched on the panel is the one a controller learns.
    virtual void setLastTouchedParameter(int index) = 0;
    virtual bool midiLearnActive() const = 0;
    virtual void toggleMidiLearn() = 0;
    // The controller mapped to a parameter, or -1; its name for the read-out.
    virtual int controllerOf(int parameter) const = 0;
    virtual std::string controllerName(int controller) const = 0;

    // The integer states (PanelState). Values are bounded by the plug-in.
    virtual int state(int index) const = 0;
    virtual void setState(int index, int value) = 0;

    // The step sequencer's front panel: the step-programming actions (run/stop among them), the
    // step under edit, and the current pattern's settings.
    virtual void stepAction(int code) = 0;
    virtual EditStep editStep() const = 0;
    virtual void setEditPosition(int position) = 0;
    virtual void setPatternLength(int length) = 0;
    virtual void setPrescale(int prescale) = 0;
    // The pattern's triplet timing, on or off.
    virtual void setTriplet(bool triplet) = 0;
    // Makes `pattern` (0 .. 127) the current pattern.
    virtual void selectPattern(int pattern) = 0;
    virtual double tempo() const = 0;
    virtual void setTempo(double bpm) = 0;
    // The lamps that follow the sound: a voice's gate is open.
    virtual bool gateActive() const = 0;
    // The preferences' alternative layout of the step lamps.
    virtual bool alternativeStepDisplay() const = 0;

    // Voices, from the panel: played at the audio thread's next block.
    virtual void previewNoteOn(int note, int velocity) = 0;
    virtual void previewNoteOff() = 0;
    virtual void panic() = 0;
    // Leaving the polyphonic note mode forgets the held keys.
    virtual void clearHeldNotes() = 0;

    // The patch cables. Sockets are numbered 0 .. socketCount() - 1, as patches store them; a
    // cable runs from an output socket into an input socket. The list is the current patch's,
    // pairs (output, input) in their stored order, as read from a file or a chunk: it may hold
    // pairs the panel cannot draw, which it leaves out. Changes go to the current patch, so the
    // sound follows at the next block and the patch saves them.
    virtual int socketCount() const = 0;
    // The socket's name, or "N/A" for a number that is no socket.
    virtual std::string socketName(int socket) const = 0;
    virtual bool socketIsOutput(int socket) const = 0;
    virtual bool socketIsInput(int socket) const = 0;
    virtual std::vector<std::pair<int, int>> connections() const = 0;
    // One socket an output and the other an input, not yet connected, the input not yet fed.
    virtual bool canConnect(int a, int b) const = 0;
    // Connects a and b in whichever order they come; false (nothing changed) when refused.
    virtual bool connect(int a, int b) = 0;
    // Removes the cable between a and b, in either order.
    virtual void disconnect(int a, int b) = 0;
    // Removes every cable that starts or ends at the socket.
    virtual void disconnectAll(int socket) = 0;

    // The pattern menu. `patternCommand` runs an entry that needs neither file nor dialog on the
    // current pattern (copy, paste, transpose, expand, shrink, duplicate, shift, flags off and
    // the three random generators), by its index in the menu; other indices do nothing. The
    // random generators leave a write-protected pattern alone.
    virtual void patternCommand(int entry) = 0;
    // Pattern files: a .pat file into or from the current pattern, and a song file's patterns
    // and knob settings into the patch. False, nothing changed, when the file cannot be read or
    // written or, for the imports, the pattern is write protected.
    virtual bool importPattern(const std::string& path) = 0;
    virtual bool exportPattern(const std::string& path) = 0;
    virtual bool importSong(const std::string& path) = 0;
    // The MIDI controller map, exchanged as .map files (a file that cannot be read changes
    // nothing; false when it cannot be written).
    virtual void loadControllerMap(const std::string& path) = 0;
    virtual bool saveControllerMap(const std::string& path) = 0;

    // The patch name the panel shows.
    virtual std::string patchName() const = 0;

    // Patch files: the path of the patch loaded or saved last ("" when none), the folder the
    // plug-in keeps its patches in, and loading and saving whole patches (false, and nothing
    // changed, when the file cannot be read or written).
    virtual std::string currentPatchPath() const = 0;
    virtual std::string patchFolder() const = 0;
    virtual bool loadPatch(const std::string& path) = 0;
    virtual bool savePatch(const std::string& path) = 0;
    // Whether loading a patch starts the sequencer afresh (the patch menu's Auto Run/Stop).
    virtual bool autoRunStop() const = 0;
    virtual void setAutoRunStop(bool on) = 0;

    // The global settings of Config.ini the preferences show, each in force at once: the voices
    // follow at their next block.
    virtual int maxPolyphony() const = 0; // 1 .. 32
    virtual void setMaxPolyphony(int voices) = 0;
    virtual bool standardTuning() const = 0;
    virtual void setStandardTuning(bool standard) = 0;
    virtual bool aliasFreeOscillators() const = 0;
    virtual void setAliasFreeOscillators(bool on) = 0;
    // Sending the sequencer's notes to the host's MIDI output; switching it off ends the notes
    // sounding there.
    virtual bool midiOutput() const = 0;
    virtual void setMidiOutput(bool on) = 0;
    // The custom tuning: its file ("" for none) and the folder tunings are kept in. Loading makes
    // the file the configured tuning and fills the custom table from it, starting from the
    // standard table for what the file does not give.
    virtual std::string tuningName() const = 0;
    virtual std::string tuningFolder() const = 0;
    virtual void loadTuning(const std::string& path) = 0;
    // Config.ini, or a snapshot of it ("Config.bak"), in the plug-in folder: writing stores the
    // global settings and the current patch's configured states, reading restores them and the
    // custom tuning the restored name points to (a file that cannot be read changes nothing).
    virtual bool writeConfig(const std::string& name) = 0;
    virtual void readConfig(const std::string& name) = 0;
    // "Set start patch": the current patch becomes the one a new instance starts with. False
    // when it cannot be (no patch file, or not in the patch folder).
    virtual bool setStartPatch() = 0;
    // The current patch's info text (at most 1023 characters are kept) and whether it is shown
    // when the patch is opened.
    virtual std::string patchInfo() const = 0;
    virtual void setPatchInfo(const std::string& text) = 0;
    virtual bool patchInfoShown() const = 0;
    virtual void setPatchInfoShown(bool show) = 0;
    // The advanced randomizer on the current pattern; false, the pattern unchanged, when it is
    // write protected.
    virtual bool advancedRandomize(const RandomizerChoice& choice) = 0;
    // The plug-in folder's files by name (Gui.ini, the default skin). Reading answers false
    // when the file cannot be read; writing replaces the file whole or leaves it as it was.
    virtual std::string pluginFolder() const = 0;
    virtual bool readFile(const std::string& name, std::string& text) const = 0;
    virtual bool writeFile(const std::string& name, const std::string& text) = 0;
};

} // namespace treskpro
