// A plug-in for the panel alone: parameters, states and one pattern in memory, the step actions
// of the real sequencer front panel, files in a map, and a log of what the panel asked. Panel
// tests use it where the exact calls matter; tests of the whole plug-in open the panel on a real
// plug-in object instead.
#pragma once

#include "editor/EditorHost.h"
#include "platform/Platform.h"
#include "sequencer/PatternOperations.h"
#include "sequencer/PatternRecord.h"
#include "sequencer/StepProgramming.h"

#include <algorithm>
#include <array>
#include <map>
#include <string>
#include <vector>

namespace treskpro::testing {

inline std::string bundleFolder() {
    return platform::executableDirectory() + platform::pathSeparator + ".." +
           platform::pathSeparator + "bundle" + platform::pathSeparator;
}

class FakeEditorHost : public EditorHost {
public:
    struct Call {
        std::string what; // "begin", "set", "end", "note on", "note off", "panic", "step"
        int index;
        float value;
    };

    std::array<float, 73> parameters{};
    std::array<int, 12> states{};
    PatternRecord pattern = PatternRecord::fresh();
    StepCursor cursor;
    double bpm = 120.0;
    bool learning = false;
    int learnTarget = -1;
    std::map<std::string, std::string> files;
    std::string folder = bundleFolder();
    std::vector<Call> calls;
    // The patch's cables as stored, (output, input); tests may fill in anything a file could.
    std::vector<std::pair<int, int>> cables;

    int parameterCount() const override { return 73; }
    float parameter(int index) const override { return inRange(index) ? parameters[index] : 0; }
    void setParameterAutomated(int index, float value) override {
        if (inRange(index))
            parameters[std::size_t(index)] = value;
        calls.push_back({"set", index, value});
    }
    void beginEdit(int index) override { calls.push_back({"begin", index, 0}); }
    void endEdit(int index) override { calls.push_back({"end", index, 0}); }
    std::string parameterName(int index) const override { return "P" + std::to_string(index); }
    std::string parameterDisplay(int index) const override {
        return std::to_string(int(parameter(index) * 100.0f));
    }
    float parameterDefault(int) const override { return 0.5f; }
    void setLastTouchedParameter(int index) override { learnTarget = index; }
    bool midiLearnActive() const override { return learning; }
    void toggleMidiLearn() override { learning = !learning; }
    int controllerOf(int parameter) const override { return parameter == 1 ? 74 : -1; }
    std::string controllerName(int) const override { return "Brightness"; }
    int state(int index) const override {
        return index >= 0 && index < 12 ? states[std::size_t(index)] : 0;
    }
    void setState(int index, int value) override {
        if (index >= 0 && index < 12)
            states[std::size_t(index)] = value;
    }
    void stepAction(int code) override {
        calls.push_back({"step", code, 0});
        StepProgrammingRules rules;
        rules.writeProtected = states[PanelState::patternWriteProtect] != 0;
        if (performStepAction(pattern, cursor, code, rules) == StepActionResult::toggleRunStop)
            states[PanelState::runStop] = states[PanelState::runStop] ? 0 : 1;
    }
    EditStep editStep() const override {
        EditStep step;
        step.length = pattern.playableLength();
        step.position = std::clamp(cursor.position, 0, step.length - 1);
        const PatternStep& at = pattern.steps[step.position];
        step.note = std::min<int>(at.note, 35);
        step.flags = at.flags;
        step.prescale = std::min<int>(pattern.prescale, 3);
        step.triplet = pattern.triplet();
        step.pitchMode = cursor.pitchMode;
        return step;
    }
    void setEditPosition(int position) override {
        cursor.position = std::clamp(position, 0, pattern.playableLength() - 1);
    }
    void setPatternLength(int length) override {
        pattern.length = std::uint8_t(std::clamp(length, 1, 64));
    }
    void setPrescale(int prescale) override { pattern.prescale = std::uint8_t(prescale); }
    void setTriplet(bool triplet) override {
        pattern.patternFlags = triplet ? PatternRecord::tripletFlag : 0;
    }
    void selectPattern(int index) override { states[PanelState::currentPattern] = index; }
    double tempo() const override { return bpm; }
    void setTempo(double value) override { bpm = std::clamp(value, 25.0, 500.0); }
    bool gateActive() const override { return false; }
    bool alternativeStepDisplay() const override { return false; }
    void previewNoteOn(int note, int velocity) override {
        calls.push_back({"note on", note, float(velocity)});
    }
    void previewNoteOff() override { calls.push_back({"note off", -1, 0}); }
    void panic() override { calls.push_back({"panic", -1, 0}); }
    void clearHeldNotes() override { calls.push_back({"clear held", -1, 0}); }
    // The real socket table's directions: these are the outputs.
    static bool isOutputSocket(int socket) {
        static constexpr int outputs[] = {4,  11, 12, 13, 14, 15, 18, 19, 20, 22, 23,
                                          24, 26, 28, 30, 31, 32, 33, 39, 40, 41};
        return std::find(std::begin(outputs), std::end(outputs), socket) != std::end(outputs);
    }
    int socketCount() const override { return 42; }
    std::string socketName(int socket) const override {
        return socket >= 0 && socket < 42 ? "Socket " + std::to_string(socket) : "N/A";
    }
    bool socketIsOutput(int socket) const override {
        return socket >= 0 && socket < 42 && isOutputSocket(socket);
    }
    bool socketIsInput(int socket) const override {
        return socket >= 0 && socket < 42 && !isOutputSocket(socket);
    }
    std::vector<std::pair<int, int>> connections() const override { return cables; }
    bool canConnect(int a, int b) const override {
        if (a == b)
            return false;
        const int output = socketIsOutput(a) ? a : b;
        const int input = output == a ? b : a;
        if (!socketIsOutput(output) || !socketIsInput(input))
            return false;
        return std::none_of(cables.begin(), cables.end(),
                            [&](const auto& cable) { return cable.second == input; });
    }
    bool connect(int a, int b) override {
        calls.push_back({"connect", a, float(b)});
        if (!canConnect(a, b))
            return false;
        cables.emplace_back(socketIsOutput(a) ? a : b, socketIsOutput(a) ? b : a);
        return true;
    }
    void disconnect(int a, int b) override {
        calls.push_back({"disconnect", a, float(b)});
        const std::pair<int, int> wanted = socketIsInput(a) ? std::pair{b, a} : std::pair{a, b};
        std::erase(cables, wanted);
    }
    void disconnectAll(int socket) override {
        calls.push_back({"disconnect all", socket, 0});
        std::erase_if(cables, [&](const auto& cable) {
            return cable.first == socket || cable.second == socket;
        });
    }
    void patternCommand(int entry) override {
        calls.push_back({"pattern command", entry, 0});
        runPatternMenuEntry(entry, pattern, clipboard, random);
    }
    bool importPattern(const std::string& path) override {
        calls.push_back({"import " + path, -1, 0});
        return true;
    }
    bool exportPattern(const std::string& path) override {
        calls.push_back({"export " + path, -1, 0});
        return true;
    }
    bool importSong(const std::string& path) override {
        calls.push_back({"import song " + path, -1, 0});
        return true;
    }
    void loadControllerMap(const std::string& path) override {
        calls.push_back({"load map " + path, -1, 0});
    }
    bool saveControllerMap(const std::string& path) override {
        calls.push_back({"save map " + path, -1, 0});
        return true;
    }
    PatternRecord clipboard = PatternRecord::fresh();
    Random15 random;
    std::string patchName() const override { return "Fake Patch"; }
    std::string currentPatchPath() const override { return patchPath; }
    std::string patchFolder() const override {
        return patches.empty() ? folder + "Tresk Pro Patches" : patches;
    }
    std::string patches; // the patch folder, when not the bundle's
    bool loadPatch(const std::string& path) override {
        calls.push_back({"load " + path, -1, 0});
        patchPath = path;
        return true;
    }
    bool savePatch(const std::string& path) override {
        calls.push_back({"save " + path, -1, 0});
        patchPath = path;
        return true;
    }
    std::string patchPath;
    bool autoRunStop() const override { return autoRun; }
    void setAutoRunStop(bool on) override { autoRun = on; }
    bool autoRun = true;
    // The preferences and the patch info: plain values; Config files are not kept.
    int voices = 6;
    bool standard = true;
    bool aliasFree = true;
    bool midiOut = false;
    std::string tuning;
    std::string info;
    bool infoShown = false;
    int maxPolyphony() const override { return voices; }
    void setMaxPolyphony(int count) override { voices = count; }
    bool standardTuning() const override { return standard; }
    void setStandardTuning(bool on) override { standard = on; }
    bool aliasFreeOscillators() const override { return aliasFree; }
    void setAliasFreeOscillators(bool on) override { aliasFree = on; }
    bool midiOutput() const override { return midiOut; }
    void setMidiOutput(bool on) override { midiOut = on; }
    std::string tuningName() const override { return tuning; }
    std::string tuningFolder() const override { return folder; }
    void loadTuning(const std::string& path) override { tuning = path; }
    bool writeConfig(const std::string& name) override {
        calls.push_back({"write " + name, -1, 0});
        return true;
    }
    void readConfig(const std::string& name) override { calls.push_back({"read " + name, -1, 0}); }
    bool setStartPatch() override { return !patchPath.empty(); }
    std::string patchInfo() const override { return info; }
    void setPatchInfo(const std::string& text) override { info = text.substr(0, 1023); }
    bool patchInfoShown() const override { return infoShown; }
    void setPatchInfoShown(bool show) override { infoShown = show; }
    std::vector<RandomizerChoice> randomized;
    bool advancedRandomize(const RandomizerChoice& choice) override {
        randomized.push_back(choice);
        return true;
    }
    std::string pluginFolder() const override { return folder; }
    bool readFile(const std::string& name, std::string& text) const override {
        const auto found = files.find(name);
        if (found == files.end())
            return false;
        text = found->second;
        return true;
    }
    bool writeFile(const std::string& name, const std::string& text) override {
        files[name] = text;
        return true;
    }

    // The calls of one kind, in order.
    std::vector<Call> callsOf(const std::string& what) const {
        std::vector<Call> found;
        for (const Call& call : calls)
            if (call.what == what)
                found.push_back(call);
        return found;
    }

private:
    static bool inRange(int index) { return index >= 0 && index < 73; }
};

} // namespace treskpro::testing
