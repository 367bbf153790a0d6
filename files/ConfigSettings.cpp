#include "files/ConfigSettings.h"

#include "engine/Parameters.h"
#include "files/TextScanner.h"
#include "files/TreskproPatch.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace treskpro {

namespace {

constexpr int voiceCount = 32;

float floatToken(const std::string& token) {
    TextScanner scanner(token);
    float value = 0.0f;
    scanner.number(value);
    return value;
}

void appendLine(std::string& out, const char* format, auto... values) {
    char line[512];
    std::snprintf(line, sizeof line, format, values...);
    out += line;
    out += "\r\n";
}

} // namespace

int ConfigSettings::polyphony() const {
    return std::clamp(maxPolyphony, 1, voiceCount);
}

void applyDefaultSettings(ConfigSettings& settings, TreskproPatch& patch) {
    settings = ConfigSettings{};
    patch.setState(State::BendRange, 12);
    patch.setState(State::Retrigger, 0);
    patch.setState(State::FilterMode, 3);
    patch.setState(State::SyncMode, 0);
    patch.setState(State::MidiMode, 0);
    for (int state : {State::DelaySync, State::AuxInput, State::CurrentPattern, State::RunStop,
                      State::PatternLock, State::PatternWriteProtect})
        patch.setState(state, 0);
    patch.setParameter(Parameter::Tempo, 0.42222223f);
}

std::string writeConfigText(const ConfigSettings& settings, const TreskproPatch& patch) {
    std::string out;
    out += "; Tresk Pro Configuration\r\n";
    appendLine(out, "MaxPolyphony = %d", settings.maxPolyphony);
    appendLine(out, "BendRange = %d", patch.getState(State::BendRange));
    appendLine(out, "Retrigger = %d", patch.getState(State::Retrigger));
    appendLine(out, "AutoRun = %d", settings.autoRun);
    appendLine(out, "FilterMode = %d", patch.getState(State::FilterMode));
    appendLine(out, "SyncMode = %d", patch.getState(State::SyncMode));
    appendLine(out, "MidiMode = %d", patch.getState(State::MidiMode));
    appendLine(out, "TuningMode = %d", settings.tuningMode);
    // Six decimals as "%f" writes them, whatever decimal mark the host's locale uses.
    char boost[64];
    const auto written =
        std::to_chars(boost, boost + sizeof boost - 1, static_cast<double>(settings.bassBoost),
                      std::chars_format::fixed, 6);
    *written.ptr = '\0';
    appendLine(out, "BassBoost = %s", boost);
    appendLine(out, "OscModel = %d", settings.oscModel);
    appendLine(out, "ClearNotes = %d", settings.clearNotes);
    appendLine(out, "AccentVelocity = %d", settings.accentVelocity);
    appendLine(out, "ParameterSmoothing = %d", static_cast<int>(settings.parameterSmoothing));
    appendLine(out, "ClockSync = %d", settings.clockSync);
    appendLine(out, "ActiveClocks = %d", 44100);
    appendLine(out, "GuiKnobMode = %d", settings.guiKnobMode);
    appendLine(out, "MidiOutput = %d", settings.midiOutput);
    appendLine(out, "MidiOutputChannel = %d", settings.midiOutputChannel + 1);
    appendLine(out, "Tuning = \"%s\"", settings.tuning.c_str());
    appendLine(out, "StartupPatch = \"%s\"", settings.startupPatch.c_str());
    return out;
}

void readConfigText(ConfigSettings& settings, TreskproPatch& patch, std::string_view text) {
    TextScanner scanner(text);
    std::string key;
    while (scanner.nextKey(key)) {
        if (equalIgnoringCase(key, "Tuning") || equalIgnoringCase(key, "StartupPatch")) {
            const std::string value = scanner.quoted();
            if (equalIgnoringCase(key, "StartupPatch"))
                settings.startupPatch = value;
            else if (value.size() <= ConfigSettings::tuningNameLimit)
                settings.tuning = value;
            continue;
        }

        std::string token;
        scanner.word(token);
        const std::int32_t value = integerToken(token);
        const struct {
            const char* name;
            int state;
        } stateKeys[] = {{"FilterMode", State::FilterMode},
                         {"SyncMode", State::SyncMode},
                         {"MidiMode", State::MidiMode},
                         {"BendRange", State::BendRange},
                         {"Retrigger", State::Retrigger}};
        bool handled = false;
        for (const auto& entry : stateKeys) {
            if (equalIgnoringCase(key, entry.name)) {
                patch.setState(entry.state, value);
                handled = true;
            }
        }
        if (handled)
            continue;

        if (equalIgnoringCase(key, "BassBoost")) {
            const float boost = floatToken(token);
            settings.bassBoost = boost < 0.0f ? 0.0f : (boost <= 1.0f ? boost : 1.0f);
        } else if (equalIgnoringCase(key, "AccentVelocity")) {
            settings.accentVelocity = std::clamp(value, 0, 127);
        } else if (equalIgnoringCase(key, "ParameterSmoothing")) {
            if (equalIgnoringCase(token, "On"))
                settings.parameterSmoothing = 65535;
            else if (equalIgnoringCase(token, "Off"))
                settings.parameterSmoothing = 0;
            else
                settings.parameterSmoothing = value;
        } else if (equalIgnoringCase(key, "MidiOutputChannel")) {
            // Channels 1..16 in the file; a value beyond 16 would address no MIDI channel.
            // Bounded before the step to zero-based, which the lowest integer could not take.
            settings.midiOutputChannel = std::clamp(value, 1, 16) - 1;
        } else if (equalIgnoringCase(key, "TuningMode")) {
            settings.tuningMode = value;
        } else if (equalIgnoringCase(key, "MaxPolyphony")) {
            settings.maxPolyphony = value;
        } else if (equalIgnoringCase(key, "OscModel")) {
            settings.oscModel = value;
        } else if (equalIgnoringCase(key, "AutoRun")) {
            settings.autoRun = value;
        } else if (equalIgnoringCase(key, "ClearNotes")) {
            settings.clearNotes = value;
        } else if (equalIgnoringCase(key, "GuiKnobMode")) {
            settings.guiKnobMode = value;
        } else if (equalIgnoringCase(key, "MidiOutput")) {
            settings.midiOutput = value;
        } else if (equalIgnoringCase(key, "ClockSync")) {
            settings.clockSync = value;
        }
        // Any other key, "ActiveClocks" among them: its token is consumed and ignored.
    }
}

} // namespace treskpro
