#include "plugin/ParameterDisplay.h"

#include "engine/Parameters.h"
#include "files/TreskproPatch.h"

#include <array>
#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace treskpro {

namespace {

enum class Rule {
    Percent,
    PercentTwice,
    Semitones12,
    Semitones48,
    Cutoff,
    Volume,
    NotApplicable,
    ModulationRoute,
    VcoWaveform,
    MgWaveform,
    Footage,
    ColourBar,
    Glide,
    Gate,
    TimeFromMinus9,
    TimeFromMinus8,
    TimeFromMinus7,
    OnOff,
    DelayAmount,
    MgRate,
    DelayTime,
    TriggerMode,
    TriggerSource,
    InverterMode,
};

constexpr std::array<Rule, Parameter::count> rules = {
    Rule::Semitones12,     // Master Tuning
    Rule::Cutoff,          // Filter Cutoff
    Rule::Percent,         // Filter Resonance
    Rule::Percent,         // Envelope Mod
    Rule::PercentTwice,    // VCF Tracking
    Rule::Percent,         // Accent Amount
    Rule::Percent,         // VCO Boost
    Rule::Percent,         // VCO-1&2 Shaper
    Rule::Volume,          // Master Volume
    Rule::NotApplicable,   // Tempo
    Rule::ModulationRoute, // VCO-2 Mod
    Rule::NotApplicable,   // Reserved
    Rule::VcoWaveform,     // VCO-1 Waveform
    Rule::Percent,         // VCO-1 Pulse Width
    Rule::Percent,         // VCO-1 Filter Mod
    Rule::Semitones48,     // VCO-1 Fine Tune
    Rule::Footage,         // VCO-1 Range
    Rule::VcoWaveform,     // VCO-2 Waveform
    Rule::Percent,         // VCO-2 Pulse Width
    Rule::Percent,         // VCO-2 Freq Mod
    Rule::Semitones48,     // VCO-2 Fine Tune
    Rule::Footage,         // VCO-2 Range
    Rule::ColourBar,       // NG Color
    Rule::Glide,           // Glide time
    Rule::Gate,            // Gate time
    Rule::Percent,         // VCO-1 Level
    Rule::Percent,         // VCO-2 Level
    Rule::Percent,         // Noise Level
    Rule::Percent,         // AUX Level
    Rule::MgWaveform,      // MG Wave
    Rule::MgRate,          // MG Frequency
    Rule::Percent,         // MG Amount
    Rule::OnOff,           // MG Modulation
    Rule::OnOff,           // MG VCO1 Dest
    Rule::OnOff,           // MG VCO2 Dest
    Rule::OnOff,           // MG VCF Dest
    Rule::OnOff,           // MG VCA Dest
    Rule::OnOff,           // MG PW1 Dest
    Rule::OnOff,           // Ring 1x2
    Rule::OnOff,           // Sync 2->1
    Rule::TimeFromMinus8,  // Accent Decay
    Rule::Percent,         // Accent Volume
    Rule::OnOff,           // Accent Ext.
    Rule::OnOff,           // Accent Manual
    Rule::TimeFromMinus9,  // VCA Attack
    Rule::TimeFromMinus8,  // VCA Decay
    Rule::Percent,         // VCA Sustain
    Rule::TimeFromMinus7,  // VCA Release
    Rule::TimeFromMinus9,  // VCF Attack
    Rule::TimeFromMinus8,  // VCF Decay
    Rule::Percent,         // VCF Sustain
    Rule::TimeFromMinus7,  // VCF Release
    Rule::DelayAmount,     // Delay Amount
    Rule::Percent,         // Delay Feedback
    Rule::DelayTime,       // Delay Left
    Rule::DelayTime,       // Delay Right
    Rule::NotApplicable,   // VCO-1 Shape
    Rule::NotApplicable,   // VCO-2 Shape
    Rule::OnOff,           // MG Retrigger
    Rule::OnOff,           // MG Audio Output
    Rule::TimeFromMinus9,  // Env Follow Attack
    Rule::TimeFromMinus8,  // Env Follow Release
    Rule::Percent,         // Output Variable
    Rule::Percent,         // Output Bias
    Rule::Percent,         // Output Variable
    Rule::TimeFromMinus8,  // Output Lag time
    Rule::OnOff,           // MG Bpm Sync
    Rule::OnOff,           // Delay Bpm Sync
    Rule::TriggerMode,     // Trigger Mode
    Rule::TriggerSource,   // VEG Trigger Source
    Rule::TriggerSource,   // MEG Trigger Source
    Rule::InverterMode,    // Inverter 1 Mode
    Rule::InverterMode,    // Inverter 2 Mode
};

std::string format(const char* pattern, ...) {
    char text[128];
    va_list arguments;
    va_start(arguments, pattern);
    std::vsnprintf(text, sizeof text, pattern, arguments);
    va_end(arguments);
    return text;
}

std::string formatTime(double seconds) {
    if (seconds >= 1.0)
        return format("%5.1f s", seconds);
    return format("%5.1f ms", seconds * 1000.0);
}

// An envelope time: exp(a) seconds at 0 rising to exp(4), about 54.6 s, at 1.
std::string envelopeTime(double a, double v) {
    return formatTime(std::exp(a * (1.0 - v) + 4.0 * v));
}

// k = trunc(v x scale) picks a name; a k outside the list (or a value that is no number) shows
// nothing.
template <std::size_t N>
std::string listEntry(double v, double scale, const std::array<const char*, N>& names) {
    const double k = std::trunc(v * scale);
    if (!(k >= 0.0 && k < static_cast<double>(N)))
        return "";
    return names[static_cast<std::size_t>(k)];
}

std::string colourBar(double v) {
    std::string bar = "R -[         ]- W";
    double k = std::floor(v * 8.0 + 0.5);
    if (!(k >= 0.0))
        k = 0.0;
    if (k > 8.0)
        k = 8.0;
    bar[4 + static_cast<std::size_t>(k)] = '|';
    return bar;
}

bool tempoSynced(const TreskproPatch& patch, int syncParameter) {
    return patch.getState(State::DelaySync) != 0 || patch.getParameter(syncParameter) > 0.5f;
}

std::string mgRate(double v, float value, const DisplayContext& context) {
    if (!tempoSynced(context.patch, Parameter::MgBpmSync))
        return format("%4.2f Hz", 0.1 * std::exp2(14.0 * v));
    const double ratio = tempoRatios[static_cast<std::size_t>(tempoRatioIndex(value))];
    const double frequency = context.tempo * ratio / 60.0;
    if (ratio >= 1.0)
        return format("Bpm*%.1f (%.2f Hz)", ratio, frequency);
    return format("Bpm/%.1f (%.2f Hz)", 1.0 / ratio, frequency);
}

std::string delayTime(double v, float value, const DisplayContext& context) {
    if (!tempoSynced(context.patch, Parameter::DelayBpmSync))
        return format("%5.0f ms", v * 65536.0 * 1000.0 / context.sampleRate + 15.0 * (1.0 - v));
    const double ratio = tempoRatios[static_cast<std::size_t>(tempoRatioIndex(value))];
    if (ratio > 1.0)
        return format("Bpm * %.2f", ratio);
    if (ratio == 1.0)
        return "Bpm";
    return format("Bpm / %.2f", 1.0 / ratio);
}

} // namespace

std::string displayParameter(int index, float value, const DisplayContext& context) {
    if (index < 0 || index >= Parameter::count)
        return "N/A";
    const TreskproPatch& patch = context.patch;
    const double v = value;
    switch (rules[static_cast<std::size_t>(index)]) {
    case Rule::Percent:
        return format("%2.0f%%", v * 100.0);
    case Rule::PercentTwice:
        return format("%2.0f%%", v * 200.0);
    case Rule::Semitones12:
        return format("%+4.2f Semitones", (v - 0.5) * 24.0);
    case Rule::Semitones48:
        return format("%+4.2f Semitones", (v - 0.5) * 96.0);
    case Rule::Cutoff:
        return format("%5.0f Hz", std::exp(3.55382348974682 * v * v * v - 5.10927176843211 * v * v +
                                           7.84564704666656 * v + 3.63197300287164));
    case Rule::Volume:
        if (v > 0.0)
            return format("%2.0f%% (%+.2fdB)", v * 100.0, 20.0 * std::log10(v) + 6.0);
        return format("%2.0f%% (-inf dB)", v * 100.0);
    case Rule::NotApplicable:
        return "N/A";
    case Rule::ModulationRoute:
        return patch.getParameter(Parameter::Vco2Mod) > 0.0f ? "VCO-1 -> VCO-2" : "VCO-2 -> VCF";
    case Rule::VcoWaveform:
        return listEntry(v, 4.0, std::array{"Saw", "Square", "Pulse", "Triangle", "Sine"});
    case Rule::MgWaveform:
        return listEntry(v, 4.0, std::array{"Saw", "Square", "Triangle", "Sample&Hold", "Decay"});
    case Rule::Footage:
        return listEntry(v, 2.0, std::array{"16'", "8'", "4'"});
    case Rule::ColourBar:
        return colourBar(v);
    case Rule::Glide:
        return format("%5.0f ms", 1000.0 / (v + 100.0 * (1.0 - v)));
    case Rule::Gate:
        return format("%2.0f%%, %5.0f ms", v * 100.0,
                      v * context.samplesPerStep / context.sampleRate * 1000.0);
    case Rule::TimeFromMinus9:
        return envelopeTime(-9.0, v);
    case Rule::TimeFromMinus8:
        return envelopeTime(-8.0, v);
    case Rule::TimeFromMinus7:
        return envelopeTime(-7.0, v);
    case Rule::OnOff:
        return v > 0.5 ? "On" : "Off";
    case Rule::DelayAmount:
        return format(v > 0.0 ? "%2.0f%%" : "%2.0f%% (Off)", v * 100.0);
    case Rule::MgRate:
        return mgRate(v, value, context);
    case Rule::DelayTime:
        return delayTime(v, value, context);
    case Rule::TriggerMode:
        return patch.getParameter(Parameter::TriggerMode) >= 0.5f ? "Multi" : "Single";
    case Rule::TriggerSource:
        return patch.getParameter(index) > 0.5f ? "Sequencer" : "Midi";
    case Rule::InverterMode:
        return patch.getParameter(index) > 0.5f ? "Voltage Converter" : "Inverter";
    }
    return "";
}

} // namespace treskpro
