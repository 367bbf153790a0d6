#include "engine/Parameters.h"

#include <algorithm>
#include <cmath>

namespace treskpro {

const std::array<ParameterDefinition, Parameter::count> parameterDefinitions = {{
    {201, "Master Tuning"},      {202, "Filter Cutoff"},
    {203, "Filter Resonance"},   {204, "Envelope Mod"},
    {205, "VCF Tracking"},       {206, "Accent Amount"},
    {207, "VCO Boost"},          {208, "VCO-1&2 Shaper"},
    {209, "Master Volume"},      {603, "Tempo"},
    {200, "VCO-2 Mod"},          {0, "Reserved"},
    {1000, "VCO-1 Waveform"},    {1001, "VCO-1 Pulse Width"},
    {1002, "VCO-1 Filter Mod"},  {1003, "VCO-1 Fine Tune"},
    {1004, "VCO-1 Range"},       {1008, "VCO-2 Waveform"},
    {1009, "VCO-2 Pulse Width"}, {1010, "VCO-2 Freq Mod"},
    {1011, "VCO-2 Fine Tune"},   {1012, "VCO-2 Range"},
    {1400, "NG Color"},          {1100, "Glide time"},
    {1101, "Gate time"},         {1200, "VCO-1 Level"},
    {1201, "VCO-2 Level"},       {1202, "Noise Level"},
    {1203, "AUX Level"},         {1300, "MG Wave"},
    {1301, "MG Frequency"},      {1302, "MG Amount"},
    {0, "MG Modulation"},        {1306, "MG VCO1 Dest"},
    {1307, "MG VCO2 Dest"},      {1308, "MG VCF Dest"},
    {1309, "MG VCA Dest"},       {1310, "MG PW1 Dest"},
    {1500, "Ring 1x2"},          {1501, "Sync 2->1"},
    {1600, "Accent Decay"},      {1601, "Accent Volume"},
    {1602, "Accent Ext."},       {1603, "Accent Manual"},
    {1700, "VCA Attack"},        {1701, "VCA Decay"},
    {1702, "VCA Sustain"},       {1703, "VCA Release"},
    {1800, "VCF Attack"},        {1801, "VCF Decay"},
    {1802, "VCF Sustain"},       {1803, "VCF Release"},
    {1900, "Delay Amount"},      {1901, "Delay Feedback"},
    {1902, "Delay Left"},        {1903, "Delay Right"},
    {0, "VCO-1 Shape"},          {0, "VCO-2 Shape"},
    {1303, "MG Retrigger"},      {1316, "MG Audio Output"},
    {900, "Env Follow Attack"},  {901, "Env Follow Release"},
    {902, "Output Variable"},    {903, "Output Bias"},
    {904, "Output Variable"}, // the second attenuator's; files store parameters by position
    {905, "Output Lag time"},    {1317, "MG Bpm Sync"},
    {1904, "Delay Bpm Sync"},    {1103, "Trigger Mode"},
    {0, "VEG Trigger Source"},   {0, "MEG Trigger Source"},
    {0, "Inverter 1 Mode"},      {0, "Inverter 2 Mode"},
}};

const std::array<const char*, State::count> stateNames = {
    "RunStop",  "CurrentPattern", "Retrigger", "BendRange", "MidiMode",    "NoteMode",
    "SyncMode", "FilterMode",     "DelaySync", "AuxInput",  "PatternLock", "PatternWriteProtect",
};

int tempoRatioIndex(float value) {
    // Truncation toward zero, as every table index in the engine. A value outside 0..1 (never
    // stored by the editor, but possible from automation) must not run past the table, and NaN
    // must not reach the integer conversion.
    const float scaled = value * 14.0f;
    if (!(scaled > 0.0f))
        return 0;
    return std::min(static_cast<int>(std::min(scaled, 14.0f)), 14);
}

float sanitisedParameter(int index, float value, float fallback) {
    if (std::isnan(value))
        value = std::isnan(fallback) ? 0.0f : fallback;
    return std::clamp(value, 0.0f, parameterMaximum(index));
}

} // namespace treskpro
