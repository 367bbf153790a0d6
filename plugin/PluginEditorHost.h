// The plug-in as its editor sees it: every EditorHost call carried out on the plug-in object.
// The plug-in owns one and hands it to its editor.
//
// Every call comes from the editor's thread. Parameters and states are single words; steps are
// written whole through the pattern's own accessors; what would touch a voice (preview notes,
// panic, run and stop) is posted for the audio thread's next block.
#pragma once

#include "editor/EditorHost.h"
#include "sequencer/StepProgramming.h"

#include <memory>

namespace treskpro {

class TreskproSynth;
struct PatternRecord;
struct TreskproPatch;

class PluginEditorHost final : public EditorHost {
public:
    explicit PluginEditorHost(TreskproSynth& plugin);
    ~PluginEditorHost() override;

    int parameterCount() const override;
    float parameter(int index) const override;
    void setParameterAutomated(int index, float value) override;
    void beginEdit(int index) override;
    void endEdit(int index) override;
    std::string parameterName(int index) const override;
    std::string parameterDisplay(int index) const override;
    float parameterDefault(int index) const override;

    void setLastTouchedParameter(int index) override;
    bool midiLearnActive() const override;
    void toggleMidiLearn() override;
    int controllerOf(int parameter) const override;
    std::string controllerName(int controller) const override;

    int state(int index) const override;
    void setState(int index, int value) override;

    void stepAction(int code) override;
    EditStep editStep() const override;
    void setEditPosition(int position) override;
    void setPatternLength(int length) override;
    void setPrescale(int prescale) override;
    void setTriplet(bool triplet) override;
    void selectPattern(int pattern) override;
    double tempo() const override;
    void setTempo(double bpm) override;
    bool gateActive() const override;
    bool alternativeStepDisplay() const override;

    void previewNoteOn(int note, int velocity) override;
    void previewNoteOff() override;
    void panic() override;
    void clearHeldNotes() override;

    int socketCount() const override;
    std::string socketName(int socket) const override;
    bool socketIsOutput(int socket) const override;
    bool socketIsInput(int socket) const override;
    std::vector<std::pair<int, int>> connections() const override;
    bool canConnect(int a, int b) const override;
    bool connect(int a, int b) override;
    void disconnect(int a, int b) override;
    void disconnectAll(int socket) override;

    void patternCommand(int entry) override;
    bool importPattern(const std::string& path) override;
    bool exportPattern(const std::string& path) override;
    bool importSong(const std::string& path) override;
    void loadControllerMap(const std::string& path) override;
    bool saveControllerMap(const std::string& path) override;

    std::string patchName() const override;
    std::string currentPatchPath() const override;
    std::string patchFolder() const override;
    bool loadPatch(const std::string& path) override;
    bool savePatch(const std::string& path) override;
    bool autoRunStop() const override;
    void setAutoRunStop(bool on) override;

    int maxPolyphony() const override;
    void setMaxPolyphony(int voices) override;
    bool standardTuning() const override;
    void setStandardTuning(bool standard) override;
    bool aliasFreeOscillators() const override;
    void setAliasFreeOscillators(bool on) override;
    bool midiOutput() const override;
    void setMidiOutput(bool on) override;
    std::string tuningName() const override;
    std::string tuningFolder() const override;
    void loadTuning(const std::string& path) override;
    bool writeConfig(const std::string& name) override;
    void readConfig(const std::string& name) override;
    bool setStartPatch() override;
    std::string patchInfo() const override;
    void setPatchInfo(const std::string& text) override;
    bool patchInfoShown() const override;
    void setPatchInfoShown(bool show) override;
    bool advancedRandomize(const RandomizerChoice& choice) override;
    std::string pluginFolder() const override;
    bool readFile(const std::string& name, std::string& text) const override;
    bool writeFile(const std::string& name, const std::string& text) override;

private:
    PatternRecord& currentPattern() const;
    bool writeProtected() const;

    TreskproSynth& synth;
    // Where step programming edits; kept here, one per plug-in instance.
    StepCursor cursor;
    // The values of a new patch, for the controls' return to their default.
    std::unique_ptr<const TreskproPatch> freshPatch;
};

} // namespace treskpro
