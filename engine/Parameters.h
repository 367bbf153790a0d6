// The names of everything the patch stores: the 73 automatable parameters (floats 0..1 in the
// patch's parameter slots) and the 12 integer states (mode switches and sequencer settings).
// The index of each entry is its slot in the patch, its position in the host's parameter list
// and the number stored in patch files, so the order here is fixed for good.
#pragma once

#include <array>

namespace treskpro {

struct Parameter {
    enum Index : int {
        MasterTuning,
        FilterCutoff,
        FilterResonance,
        EnvelopeMod,
        VcfTracking,
        AccentAmount,
        VcoBoost,
        VcoShaper,
        MasterVolume,
        Tempo,
        Vco2Mod,
        Reserved,
        Vco1Waveform,
        Vco1PulseWidth,
        Vco1FilterMod,
        Vco1FineTune,
        Vco1Range,
        Vco2Waveform,
        Vco2PulseWidth,
        Vco2FreqMod,
        Vco2FineTune,
        Vco2Range,
        NgColor,
        GlideTime,
        GateTime,
        Vco1Level,
        Vco2Level,
        NoiseLevel,
        AuxLevel,
        MgWave,
        MgFrequency,
        MgAmount,
        MgModulation,
        MgVco1Dest,
        MgVco2Dest,
        MgVcfDest,
        MgVcaDest,
        MgPw1Dest,
        Ring1x2,
        Sync2To1,
        AccentDecay,
        AccentVolume,
        AccentExt,
        AccentManual,
        VcaAttack,
        VcaDecay,
        VcaSustain,
        VcaRelease,
        VcfAttack,
        VcfDecay,
        VcfSustain,
        VcfRelease,
        DelayAmount,
        DelayFeedback,
        DelayLeft,
        DelayRight,
        Vco1Shape,
        Vco2Shape,
        MgRetrigger,
        MgAudioOutput,
        EnvFollowAttack,
        EnvFollowRelease,
        OutputVariable1,
        OutputBias,
        OutputVariable2,
        OutputLagTime,
        MgBpmSync,
        DelayBpmSync,
        TriggerMode,
        VegTriggerSource,
        MegTriggerSource,
        Inverter1Mode,
        Inverter2Mode,
    };
    static constexpr int count = 73;
};

struct ParameterDefinition {
    int tag;          // skin tag of the control that shows the parameter; 0 when none
    const char* name; // as the host and patch files show it
};

extern const std::array<ParameterDefinition, Parameter::count> parameterDefinitions;

struct State {
    enum Index : int {
        RunStop,
        CurrentPattern,
        Retrigger,
        BendRange,
        MidiMode,
        NoteMode,
        SyncMode,
        FilterMode,
        DelaySync,
        AuxInput,
        PatternLock,
        PatternWriteProtect,
    };
    static constexpr int count = 12;
};

extern const std::array<const char*, State::count> stateNames;

// The sequencer tempo that the Tempo parameter's 0..1 maps onto, linearly.
constexpr double tempoMinimum = 25.0;
constexpr double tempoParameterSpan = 225.0; // 0..1 covers 25..250 BPM
constexpr double tempoMaximum = 500.0;       // host tempos up to here are kept

constexpr double tempoFromParameter(double value) {
    return value * tempoParameterSpan + tempoMinimum;
}

// The highest value slot `index` holds: 1 for every parameter except the tempo, which keeps host
// tempos up to 500 BPM above the knob's 250.
constexpr float parameterMaximum(int index) {
    return index == Parameter::Tempo
               ? static_cast<float>((tempoMaximum - tempoMinimum) / tempoParameterSpan)
               : 1.0f;
}

// A value from outside (automation, a host chunk) made safe for the engine: a value that is not a
// number gives `fallback` (the value the slot had), anything else is clamped into the slot's
// range, so that neither NaN nor an infinity ever reaches a follower's state.
float sanitisedParameter(int index, float value, float fallback);

// The fifteen tempo ratios that synchronised MG rates and delay times choose from, by
// trunc(14 x value). The editor's texts and the engine read the same table.
constexpr std::array<float, 15> tempoRatios = {1.0f / 8, 1.0f / 7, 1.0f / 6, 1.0f / 5, 1.0f / 4,
                                               1.0f / 3, 1.0f / 2, 1.0f,     2.0f,     3.0f,
                                               4.0f,     5.0f,     6.0f,     7.0f,     8.0f};

// Index into tempoRatios for a parameter value, bounded to the table.
int tempoRatioIndex(float value);

} // namespace treskpro
