#include "tools/patches/FactoryPatches.h"

#include "engine/Parameters.h"
#include "engine/SocketRegistry.h"
#include "tools/patches/PatternNotation.h"

#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string_view>

namespace treskpro::factory {

namespace {

using P = Parameter;
using S = Socket;

// The knob positions behind the panel's texts, so the patches below can say what they mean.

enum class Waveform { Saw, Square, Pulse, Triangle, Sine };
enum class MgWaveform { Saw, Square, Triangle, SampleAndHold, Decay };
enum class Footage { Sixteen, Eight, Four };
enum FilterModel : int {
    ladder24 = 0,
    ladder18 = 1,
    eighteen = 2,
    softClip24 = 3,
    euler = 4,
    softClip24Oversampled = 5,
};

constexpr float on = 1.0f;

// Switch-like parameters are read as trunc(value x steps); the lower edge of each range is an
// exact binary fraction, so the stored value reads back as the same choice everywhere.
float waveform(Waveform wave) {
    return static_cast<float>(wave) / 4.0f;
}
float mgWaveform(MgWaveform wave) {
    return static_cast<float>(wave) / 4.0f;
}
float footage(Footage range) {
    return static_cast<float>(range) / 2.0f;
}

// Fine tune spans +-48 semitones around the middle.
float fineTune(double semitones) {
    return static_cast<float>(0.5 + semitones / 96.0);
}

// Envelope times run exponentially: T = e^(4x - k(1 - x)) seconds, k = 9 for attacks, 8 for
// decays, 7 for releases.
float envelopeTime(double seconds, double k) {
    return static_cast<float>((std::log(seconds) + k) / (4.0 + k));
}
float attack(double seconds) {
    return envelopeTime(seconds, 9.0);
}
float decay(double seconds) {
    return envelopeTime(seconds, 8.0);
}
float release(double seconds) {
    return envelopeTime(seconds, 7.0);
}

// Glide covers 90 % of an interval in 1 / (G + 100 (1 - G)) seconds.
float glide(double milliseconds) {
    return static_cast<float>((100.0 - 1000.0 / milliseconds) / 99.0);
}

// Free-running MG rate: 0.1 x 2^(14 x) Hz.
float mgRate(double hertz) {
    return static_cast<float>(std::log2(hertz / 0.1) / 14.0);
}

// A tempo ratio (1/8 .. 8) for a synchronised MG or delay: the middle of its step of the knob.
float tempoRatio(float ratio) {
    for (std::size_t k = 0; k < tempoRatios.size(); ++k) {
        if (tempoRatios[k] == ratio)
            return (static_cast<float>(k) + 0.5f) / 14.0f;
    }
    throw std::invalid_argument("no such tempo ratio");
}

class PatchBuilder {
public:
    PatchBuilder(std::string name, std::string_view info) : result{std::move(name), {}} {
        TreskproPatch& patch = result.patch;
        if (info.size() >= PatchInfo::textCapacity ||
            result.name.size() >= PatchInfo::patchNameCapacity)
            throw std::invalid_argument("patch texts too long: " + result.name);
        std::memcpy(patch.info.text, info.data(), info.size());
        std::strcpy(patch.info.patchName, result.name.c_str());
    }

    PatchBuilder& set(P::Index index, float value) {
        if (!(value >= 0.0f && value <= 1.0f))
            throw std::invalid_argument(result.name + ": parameter value outside 0..1");
        result.patch.setParameter(index, value);
        return *this;
    }

    PatchBuilder& tempo(double bpm) {
        return set(P::Tempo, static_cast<float>((bpm - tempoMinimum) / tempoParameterSpan));
    }

    PatchBuilder& state(State::Index index, int value) {
        result.patch.setState(index, value);
        return *this;
    }

    PatchBuilder& cable(S::Index output, S::Index input) {
        if (socketDefinitions[output].direction != SocketDirection::Output ||
            socketDefinitions[input].direction != SocketDirection::Input)
            throw std::invalid_argument(result.name + ": a cable runs from an output to an input");
        result.patch.connections.append({output, input});
        return *this;
    }

    PatchBuilder& pattern(int slot, std::string_view steps, PatternOptions options = {}) {
        result.patch.patterns[static_cast<std::size_t>(slot)] = parsePattern(steps, options);
        return *this;
    }

    FactoryPatch done() { return std::move(result); }

private:
    FactoryPatch result;
};

// The sequencer plays at once when such a patch loads: pattern mode, running, pattern 0.
PatchBuilder patternPatch(std::string name, std::string_view info, double bpm, FilterModel model) {
    PatchBuilder patch(std::move(name), info);
    patch.tempo(bpm)
        .state(State::MidiMode, 0)
        .state(State::RunStop, 1)
        .state(State::CurrentPattern, 0)
        .state(State::FilterMode, model)
        .state(State::BendRange, 12);
    return patch;
}

// The classic bass-line voice: one sawtooth into a resonant filter that the envelope and the
// accent sweep open, slides of about 60 ms and half-step gates.
PatchBuilder acidLine(std::string name, std::string_view info, double bpm, FilterModel model) {
    PatchBuilder patch = patternPatch(std::move(name), info, bpm, model);
    patch.set(P::Vco1Waveform, waveform(Waveform::Saw))
        .set(P::Vco1Level, 1.0f)
        .set(P::FilterCutoff, 0.3f)
        .set(P::FilterResonance, 0.8f)
        .set(P::EnvelopeMod, 0.55f)
        .set(P::AccentAmount, 0.7f)
        .set(P::AccentDecay, decay(0.15))
        .set(P::AccentVolume, 0.5f)
        .set(P::VcfAttack, attack(0.0005))
        .set(P::VcfDecay, decay(0.3))
        .set(P::VcfSustain, 0.0f)
        .set(P::VcfRelease, release(0.01))
        .set(P::VcaAttack, attack(0.0005))
        .set(P::VcaDecay, decay(1.5))
        .set(P::VcaSustain, 0.0f)
        .set(P::VcaRelease, release(0.004))
        .set(P::GlideTime, glide(60.0))
        .set(P::GateTime, 0.55f)
        .set(P::MasterVolume, 0.75f);
    return patch;
}

FactoryPatch treskProPatch() {
    return acidLine("Tresk Pro Patch",
                    "The default: a classic squelching bass line at 130 BPM. Four patterns on "
                    "notes 0 to 3; turn Cutoff, Env Mod and Resonance while it runs.",
                    130.0, ladder24)
        .set(P::FilterCutoff, 0.27f)
        .set(P::FilterResonance, 0.85f)
        .set(P::EnvelopeMod, 0.6f)
        .set(P::AccentAmount, 0.75f)
        .set(P::MasterVolume, 0.85f)
        .pattern(0, "C2a C2 C2u C2  | D#2s F2 C2a .  | C2 A#2a C2u G2s | G2 D#2a C2 C2ua")
        .pattern(1, "C2 . C2ua C2   | G2s A#2 C2a D#2 | . C2 C2u C2s   | D#2a F2s G2 C2a")
        .pattern(2, "C2a ~ C2u C2   | C2 D#2s D2s C2 | F2a . C2 A#2d  | C2s C2u G2a F2")
        .pattern(3, "C2a C2 C2u C2  | D#2s F2 C2a .  | C2 A#2a C2u G2s | G2 D#2a C2 C2ua |"
                    "C2 . C2ua C2   | G2s A#2 C2a D#2 | . C2 C2u C2s   | F2a G2s G#2 G2a")
        .done();
}

FactoryPatch rubberEighteen() {
    return acidLine("Rubber Eighteen",
                    "Square wave through the softer three-pole filter: a bouncy, hollow line in "
                    "F at 124 BPM with octave jumps. Two patterns.",
                    124.0, ladder18)
        .set(P::Vco1Waveform, waveform(Waveform::Square))
        .set(P::FilterCutoff, 0.3f)
        .set(P::FilterResonance, 0.78f)
        .set(P::EnvelopeMod, 0.5f)
        .set(P::VcfDecay, decay(0.22))
        .set(P::MasterVolume, 1.0f)
        .pattern(0, "F2a F2 F2u . | F2 G#2s A#2 F2a | . F2u D#2u F2 | C3s C#3 F2a F2")
        .pattern(1, "F2 F2u F2 F2ua | . C3 F2 G#2s | G2 F2a . F2d | F2 F2u C3a D#3s")
        .done();
}

FactoryPatch roundEighteen() {
    return acidLine("Round Eighteen",
                    "The 18dB/octave filter on a saw with long tied notes and slides: a round, "
                    "rolling line in G at 118 BPM. Two patterns.",
                    118.0, eighteen)
        .set(P::FilterCutoff, 0.33f)
        .set(P::FilterResonance, 0.7f)
        .set(P::EnvelopeMod, 0.45f)
        .set(P::VcfDecay, decay(0.45))
        .set(P::GateTime, 0.7f)
        .pattern(0, "G2a ~ ~ G2 | A#2s C3 ~ G2 | . G2a D3s C3 | A#2 ~ G2u F2s")
        .pattern(1, "G2 ~ G2ua G2 | F2s G2 ~ . | D2a ~ F2s G2 | A#2a C3s D3 G2")
        .done();
}

FactoryPatch softClipRoller() {
    return acidLine("Soft Clip Roller",
                    "The 24dB/octave filter with its soft-clipped feedback: relentless "
                    "sixteenths in A at 136 BPM, the resonance singing without getting harsh. "
                    "Two patterns.",
                    136.0, softClip24)
        .set(P::FilterCutoff, 0.25f)
        .set(P::FilterResonance, 0.9f)
        .set(P::EnvelopeMod, 0.6f)
        .set(P::VcfDecay, decay(0.25))
        .set(P::MasterVolume, 0.6f)
        .pattern(0, "A2 A2 A2ua A2 | A2 C3s A2 A2a | A2 A2 G2a A2 | E3s D3 A2 A2ua")
        .pattern(1, "A2a A2 A2 A2u | A2 A2a C3 A2 | A2s B2 C3a A2 | G2 A2 E2a A2u")
        .done();
}

FactoryPatch eulerGrit() {
    return acidLine("Euler Grit",
                    "The saturating Euler filter model fed by the waveshaper and the VCO "
                    "boost: a dirty, growling line in D at 128 BPM. Two patterns.",
                    128.0, euler)
        .set(P::VcoShaper, 0.3f)
        .set(P::VcoBoost, 0.5f)
        .set(P::FilterCutoff, 0.28f)
        .set(P::FilterResonance, 0.8f)
        .set(P::EnvelopeMod, 0.6f)
        .pattern(0, "D2a D2 . D2u | D2 F2s G2 D2a | C3 D2 D2ua . | A2s C3 D2 D2a")
        .pattern(1, "D2 D2u D2a D2 | D#2s D2 . D2a | D2 F2 D2ua C3s | A2 G2a F2s D2")
        .done();
}

FactoryPatch oversampledScream() {
    return acidLine("Oversampled Scream",
                    "The oversampled 24dB/octave filter at full resonance with hard accents "
                    "that pile up: a screaming line in E at 140 BPM. Two patterns.",
                    140.0, softClip24Oversampled)
        .set(P::FilterCutoff, 0.15f)
        .set(P::FilterResonance, 1.0f)
        .set(P::EnvelopeMod, 0.55f)
        .set(P::AccentAmount, 0.85f)
        .set(P::AccentDecay, 0.4f) // also the sweep discharge: 0.4 s
        .set(P::VcfDecay, decay(0.2))
        .set(P::MasterVolume, 0.5f)
        .pattern(0, "E2a E2 E2u E2 | E2a G2s E2 E2 | . E2a D3 E2u | B2s E2 E2a E2a")
        .pattern(1, "E2 E2a E2 E2 | E2u E2a D2s E2 | E2 . E2ua E2 | G2 A2s B2a E2")
        .done();
}

FactoryPatch tripletSwing() {
    return acidLine("Triplet Swing",
                    "Triplet patterns in C at 122 BPM: pattern 0 plays eighth-note triplets, "
                    "pattern 1 sixteenth-note triplets (faster prescale), pattern 2 a straight "
                    "bar to switch back to.",
                    122.0, ladder24)
        .set(P::FilterCutoff, 0.3f)
        .set(P::FilterResonance, 0.8f)
        .set(P::VcfDecay, decay(0.35))
        .set(P::MasterVolume, 1.0f)
        .pattern(0, "C2a C2 C2u | D#2s F2 C2 | C2a . G2 | A#2s C3 C2a", {0, true})
        .pattern(1,
                 "C2a C2 C2 C2u C2 C2 | D#2 C2a . C2u C2 G2s | "
                 "A#2 C2 C2a C2 C2u . | G2a F2s D#2 C2 C2a C2u",
                 {3, false})
        .pattern(2, "C2a C2 C2u C2 | D#2s F2 C2a . | C2 A#2a C2u G2s | G2 D#2a C2 C2ua")
        .done();
}

FactoryPatch doubleTimeRun() {
    return acidLine("Double Time Run",
                    "Thirty-second notes at a half-time 87 BPM: the faster prescale makes fast "
                    "runs with octave jumps in B flat. Pattern 1 plays the same line in "
                    "sixteenths.",
                    87.0, softClip24)
        .set(P::FilterCutoff, 0.32f)
        .set(P::FilterResonance, 0.75f)
        .set(P::VcfDecay, decay(0.18))
        .set(P::GateTime, 0.6f)
        .pattern(0,
                 "A#2a A#2 A#2u A#2 C3s C#3 A#2a . | A#2 A#2u G#2 A#2a F2s G#2 A#2 A#2ua |"
                 "A#2a A#2 . A#2u C#3a C3s A#2 G#2 | F2a . F2u F2 G#2s A#2 C3a C#3",
                 {1, false})
        .pattern(1, "A#2a A#2 A#2u A#2 | C3s C#3 A#2a . | A#2 A#2u G#2 A#2a | F2s G#2 A#2 A#2ua")
        .done();
}

FactoryPatch octaveJumper() {
    return acidLine("Octave Jumper",
                    "Every other note jumps an octave up or down: a wide-stepping line in C "
                    "sharp at 132 BPM with short gates. Two patterns.",
                    132.0, ladder24)
        .set(P::FilterCutoff, 0.26f)
        .set(P::FilterResonance, 0.83f)
        .set(P::EnvelopeMod, 0.65f)
        .set(P::GateTime, 0.4f)
        .set(P::VcfDecay, decay(0.2))
        .set(P::MasterVolume, 1.0f)
        .pattern(0,
                 "C#3d C#3 C#3u C#3d | E3 C#3da G#3d C#3u | C#3d . C#3ua B3d | C#3 E3ds F#3 G#3da")
        .pattern(1,
                 "C#3 C#3d C#3ua C#3d | . C#3d B3 C#3ua | G#3d C#3d E3a C#3d | F#3s G#3 C#3u C#3d")
        .done();
}

FactoryPatch tiedSubLine() {
    return acidLine("Tied Sub Line",
                    "A deep, slow-moving line with long ties and lazy slides, the filter barely "
                    "open: a sub-bass companion for a kick drum, in F at 124 BPM.",
                    124.0, softClip24)
        .set(P::FilterCutoff, 0.22f)
        .set(P::FilterResonance, 0.45f)
        .set(P::EnvelopeMod, 0.35f)
        .set(P::AccentAmount, 0.4f)
        .set(P::VcfDecay, decay(0.6))
        .set(P::GlideTime, glide(120.0))
        .set(P::GateTime, 0.8f)
        .set(P::MasterVolume, 1.0f)
        .pattern(0, "F2a ~ ~ . | F2 ~ G#2s ~ | A#2 ~ . F2 | C3s ~ A#2 ~")
        .pattern(1, "F2a ~ ~ F2 | ~ ~ D#2s ~ | F2 ~ ~ ~ | G#2s ~ G2s F2")
        .done();
}

FactoryPatch dottedEchoLine() {
    return acidLine("Dotted Echo Line",
                    "The stereo delay locked to the tempo: dotted eighths on the left, quarter "
                    "notes on the right, answering a sparse line in A minor at 126 BPM.",
                    126.0, ladder24)
        .state(State::DelaySync, 1)
        .set(P::DelayBpmSync, on)
        .set(P::DelayLeft, tempoRatio(3.0f))
        .set(P::DelayRight, tempoRatio(4.0f))
        .set(P::DelayAmount, 0.35f)
        .set(P::DelayFeedback, 0.45f)
        .set(P::FilterCutoff, 0.3f)
        .set(P::FilterResonance, 0.82f)
        .set(P::MasterVolume, 1.0f)
        .pattern(0, "A2a . . A2 | . C3s E3 . | A2u . G2a . | . E2s G2 .")
        .pattern(1, "A2a . A2u . | . . E3a . | D3s C3 . A2 | . G2a . .")
        .done();
}

FactoryPatch mgWobble() {
    return acidLine("MG Wobble",
                    "A cable from the MG output into the VCF CV input: a triangle MG locked to "
                    "one cycle a bar sweeps the cutoff under a steady line in E at 128 BPM. "
                    "MG Amount sets the depth.",
                    128.0, softClip24)
        .cable(S::MgCvOutput, S::VcfCvInput)
        .set(P::MgWave, mgWaveform(MgWaveform::Triangle))
        .set(P::MgBpmSync, on)
        .set(P::MgFrequency, tempoRatio(0.25f))
        .set(P::MgAmount, 0.3f)
        .set(P::FilterCutoff, 0.3f)
        .set(P::FilterResonance, 0.85f)
        .set(P::EnvelopeMod, 0.35f)
        .pattern(0, "E2 E2 E2u E2 | E2 E2a E2 E2u | E2 E2 G2s E2 | E2a E2 D3 E2u")
        .pattern(1, "E2a E2 E2 E2 | E2u E2 E2 E2a | G2s A2 E2 E2 | E2u E2a B2 E2")
        .done();
}

FactoryPatch followerFilter() {
    return acidLine("Follower Filter FX",
                    "For the effect build on a drum channel: the envelope follower on the "
                    "audio input, halved by attenuator 1, drives the VCF CV input, so every "
                    "hit opens the filter, and "
                    "the input itself runs through the filter and the gated VCA with the line. "
                    "AUX Level sets how much of the input you hear.",
                    126.0, softClip24)
        .state(State::AuxInput, 1)
        .cable(S::EnvelopeFollower, S::Attenuator1Input)
        .cable(S::Attenuator1HalfOut, S::VcfCvInput)
        .set(P::EnvFollowAttack, attack(0.001))
        .set(P::EnvFollowRelease, decay(0.08))
        .set(P::AuxLevel, 0.12f)
        .set(P::Vco1Level, 0.8f)
        .set(P::FilterCutoff, 0.25f)
        .set(P::FilterResonance, 0.8f)
        .set(P::EnvelopeMod, 0.4f)
        .set(P::GateTime, 0.8f)
        .pattern(0, "C2 C2 C2u C2 | C2a C2 D#2s C2 | C2 C2u C2 G2s | A#2 C2a C2 C2u")
        .done();
}

FactoryPatch syncSweep() {
    return patternPatch("Sync Sweep",
                        "VCO-2 hard-synced to VCO-1 an octave and more above it, its pitch swept "
                        "by a slow triangle MG over two bars: a tearing lead line in G at "
                        "130 BPM.",
                        130.0, eighteen)
        .set(P::Sync2To1, on)
        .set(P::Vco1Waveform, waveform(Waveform::Saw))
        .set(P::Vco1Level, 0.0f)
        .set(P::Vco2Waveform, waveform(Waveform::Saw))
        .set(P::Vco2Level, 1.0f)
        .set(P::Vco2FineTune, fineTune(12.0))
        .set(P::MgWave, mgWaveform(MgWaveform::Triangle))
        .set(P::MgBpmSync, on)
        .set(P::MgFrequency, tempoRatio(0.125f))
        .set(P::MgAmount, 0.6f)
        .set(P::MgVco2Dest, on)
        .set(P::FilterCutoff, 0.45f)
        .set(P::FilterResonance, 0.5f)
        .set(P::EnvelopeMod, 0.4f)
        .set(P::AccentAmount, 0.5f)
        .set(P::VcfDecay, decay(0.3))
        .set(P::VcaDecay, decay(0.6))
        .set(P::VcaSustain, 0.2f)
        .set(P::GlideTime, glide(50.0))
        .set(P::GateTime, 0.6f)
        .set(P::MasterVolume, 0.95f)
        .pattern(0, "G2a . G2 G2u | . F2s G2 . | A#2a . G2 D3s | C3 . A#2 G2a")
        .done();
}

FactoryPatch ringMetal() {
    return patternPatch("Ring Metal",
                        "Ring modulation of VCO-1 by VCO-2 a fifth above: a clanging, bell-like "
                        "sequence in C at 120 BPM through the 18dB/octave filter with an "
                        "unsynchronised stereo echo.",
                        120.0, eighteen)
        .set(P::Ring1x2, on)
        .set(P::Vco1Waveform, waveform(Waveform::Triangle))
        .set(P::Vco1Level, 1.0f)
        .set(P::Vco2Waveform, waveform(Waveform::Saw))
        .set(P::Vco2Level, 0.25f)
        .set(P::Vco2FineTune, fineTune(19.0))
        .set(P::Vco1Range, footage(Footage::Eight))
        .set(P::Vco2Range, footage(Footage::Eight))
        .set(P::FilterCutoff, 0.5f)
        .set(P::FilterResonance, 0.4f)
        .set(P::EnvelopeMod, 0.35f)
        .set(P::AccentAmount, 0.5f)
        .set(P::VcfDecay, decay(0.4))
        .set(P::VcaDecay, decay(0.35))
        .set(P::VcaSustain, 0.0f)
        .set(P::GateTime, 0.9f)
        .set(P::DelayAmount, 0.3f)
        .set(P::DelayFeedback, 0.4f)
        .set(P::DelayLeft, 0.25f)
        .set(P::DelayRight, 0.37f)
        .set(P::MasterVolume, 0.7f)
        .pattern(0, "C2a . G2 . | C3 . . A#2 | . G2a . D#2 | F2 . G2 .")
        .done();
}

FactoryPatch pulseWidthBass() {
    return acidLine("Pulse Width Bass",
                    "A pulse wave whose width the MG sweeps slowly (MG PW1 Dest): a hollow, "
                    "moving bass in D at 120 BPM with little resonance. Two patterns.",
                    120.0, softClip24)
        .set(P::Vco1Waveform, waveform(Waveform::Pulse))
        .set(P::Vco1PulseWidth, 0.5f)
        .set(P::MgWave, mgWaveform(MgWaveform::Triangle))
        .set(P::MgFrequency, mgRate(0.3))
        .set(P::MgAmount, 0.6f)
        .set(P::MgPw1Dest, on)
        .set(P::FilterCutoff, 0.38f)
        .set(P::FilterResonance, 0.45f)
        .set(P::EnvelopeMod, 0.4f)
        .set(P::AccentAmount, 0.5f)
        .set(P::VcfDecay, decay(0.4))
        .set(P::GateTime, 0.65f)
        .set(P::MasterVolume, 0.67f)
        .pattern(0, "D2a ~ D2 D2u | . D2 F2s G2 | D2a ~ A2 D2 | C3s A2 G2 F2")
        .pattern(1, "D2 D2u D2 . | D2a F2 D2 C3s | A2 ~ D2 D2u | F2a E2s D2 .")
        .done();
}

FactoryPatch threeQuarterDrag() {
    return acidLine("Three Quarter Drag",
                    "The three-quarter prescale turns sixteenths into eighth-note triplets: a "
                    "lopsided, dragging line in B flat at 100 BPM with ties and accents.",
                    100.0, ladder18)
        .set(P::FilterCutoff, 0.3f)
        .set(P::FilterResonance, 0.85f)
        .set(P::VcfDecay, decay(0.4))
        .set(P::MasterVolume, 1.0f)
        .pattern(0, "A#2a A#2 A#2u | G#2s A#2 . | F2a ~ A#2 | C3s C#3 A#2a", {2, false})
        .done();
}

FactoryPatch polyKeys() {
    PatchBuilder patch("Poly Keys",
                       "Keyboard mode, polyphonic: two slightly detuned saws an octave apart "
                       "through a gently resonant filter with soft envelopes and a wide echo. "
                       "Play chords.");
    patch.tempo(120.0)
        .state(State::MidiMode, 1)
        .state(State::NoteMode, 1)
        .state(State::RunStop, 0)
        .state(State::BendRange, 2)
        .state(State::FilterMode, softClip24)
        .set(P::Vco1Waveform, waveform(Waveform::Saw))
        .set(P::Vco1Level, 0.8f)
        .set(P::Vco1Range, footage(Footage::Eight))
        .set(P::Vco2Waveform, waveform(Waveform::Saw))
        .set(P::Vco2Level, 0.6f)
        .set(P::Vco2Range, footage(Footage::Four))
        .set(P::Vco2FineTune, fineTune(0.08))
        .set(P::FilterCutoff, 0.42f)
        .set(P::FilterResonance, 0.3f)
        .set(P::EnvelopeMod, 0.35f)
        .set(P::VcfTracking, 0.25f)
        .set(P::VcfAttack, attack(0.08))
        .set(P::VcfDecay, decay(0.6))
        .set(P::VcfSustain, 0.4f)
        .set(P::VcfRelease, release(0.5))
        .set(P::VcaAttack, attack(0.03))
        .set(P::VcaDecay, decay(1.0))
        .set(P::VcaSustain, 0.75f)
        .set(P::VcaRelease, release(0.6))
        .set(P::DelayAmount, 0.25f)
        .set(P::DelayFeedback, 0.35f)
        .set(P::DelayLeft, 0.3f)
        .set(P::DelayRight, 0.42f)
        .set(P::MasterVolume, 0.5f);
    return patch.done();
}

FactoryPatch monoGlideLead() {
    PatchBuilder patch("Mono Glide Lead",
                       "Keyboard mode, monophonic: overlapping notes glide into each other "
                       "without a new attack. A square and a saw an octave up with a gentle "
                       "vibrato from the MG.");
    patch.tempo(120.0)
        .state(State::MidiMode, 1)
        .state(State::NoteMode, 0)
        .state(State::RunStop, 0)
        .state(State::BendRange, 2)
        .state(State::FilterMode, softClip24)
        .set(P::TriggerMode, 0.0f)
        .set(P::GlideTime, glide(120.0))
        .set(P::Vco1Waveform, waveform(Waveform::Square))
        .set(P::Vco1Level, 0.8f)
        .set(P::Vco1Range, footage(Footage::Eight))
        .set(P::Vco2Waveform, waveform(Waveform::Saw))
        .set(P::Vco2Level, 0.5f)
        .set(P::Vco2Range, footage(Footage::Four))
        .set(P::Vco2FineTune, fineTune(-0.06))
        .set(P::MgWave, mgWaveform(MgWaveform::Triangle))
        .set(P::MgFrequency, mgRate(5.0))
        .set(P::MgAmount, 0.012f)
        .set(P::MgVco1Dest, on)
        .set(P::MgVco2Dest, on)
        .set(P::FilterCutoff, 0.5f)
        .set(P::FilterResonance, 0.5f)
        .set(P::EnvelopeMod, 0.3f)
        .set(P::VcfTracking, 0.3f)
        .set(P::VcfDecay, decay(0.8))
        .set(P::VcfSustain, 0.5f)
        .set(P::VcfRelease, release(0.3))
        .set(P::VcaAttack, attack(0.005))
        .set(P::VcaDecay, decay(1.0))
        .set(P::VcaSustain, 0.85f)
        .set(P::VcaRelease, release(0.25))
        .set(P::DelayAmount, 0.2f)
        .set(P::DelayFeedback, 0.3f)
        .set(P::DelayLeft, 0.35f)
        .set(P::DelayRight, 0.45f)
        .set(P::MasterVolume, 0.8f);
    return patch.done();
}

} // namespace

std::vector<FactoryPatch> factoryPatches() {
    std::vector<FactoryPatch> patches;
    for (auto make : {treskProPatch, rubberEighteen, roundEighteen, softClipRoller, eulerGrit,
                      oversampledScream, tripletSwing, doubleTimeRun, octaveJumper, tiedSubLine,
                      threeQuarterDrag, pulseWidthBass, dottedEchoLine, mgWobble, followerFilter,
                      syncSweep, ringMetal, polyKeys, monoGlideLead})
        patches.push_back(make());
    return patches;
}

} // namespace treskpro::factory
