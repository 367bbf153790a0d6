// A voice's oscillator section: pitch of both oscillators from the note frequency, tuning, range,
// bend and modulation; VCO-1 and VCO-2 at the 2x rate with sync and frequency modulation; the
// waveshaper; the balance and ring-modulation mix; and the decimator down to the base rate.
#pragma once

#include "engine/DecimatorModule.h"
#include "engine/Dsp.h"
#include "engine/VcoModule.h"

namespace treskpro {

class WavetableSet;

// The parameter values (0..1) and states the section reads once per sub-block.
struct OscillatorSettings {
    float masterTuning = 0.5f;
    float fineTune1 = 0.5f;
    float fineTune2 = 0.5f;
    float range1 = 0.5f; // 16', 8', 4' in thirds
    float range2 = 0.5f;
    int pitchBend = 8192; // 14-bit, 8192 = centre
    int bendRange = 2;    // semitones
    float mgVco1Depth = 0.0f;
    float mgVco2Depth = 0.0f;
    bool mgPulseWidth1 = false;
    float level1 = 1.0f;
    float level2 = 0.0f;
    float filterMod1 = 0.0f; // VCO-1 feeds the filter: it must run
    float vco2Mod = 0.0f;    // above 0: VCO-1 modulates VCO-2's frequency
    float freqMod2 = 0.0f;
    float shaper = 0.0f;
    float boost = 0.0f;
    bool sync = false; // "Sync 2->1"
    bool ring = false;
    int waveform1 = VcoModule::Saw;
    int waveform2 = VcoModule::Saw;
    bool wavetableMode = true;
};

// The per-sub-block pitch terms: octave offsets before smoothing, and range with bend as ratios.
struct PitchTerms {
    float octave1 = 0.0f;
    float octave2 = 0.0f;
    float range1 = 1.0f;
    float range2 = 1.0f;
};

// Master tuning, fine tunes, ranges and pitch bend of `settings`. Audio thread.
PitchTerms pitchTerms(const OscillatorSettings& settings);

// Base-rate blocks of `count` samples the section reads. Null sockets are not connected.
struct OscillatorInputs {
    const float* noteFrequency = nullptr; // Hz: glided note times the sequencer's pitch ratio
    const float* mg = nullptr;            // the voice's MG output; null reads as 0
    const float* octave1 = nullptr;       // smoothed octave offsets
    const float* octave2 = nullptr;
    const float* pulseWidth1 = nullptr; // smoothed "VCO-1/2 Pulse Width"
    const float* pulseWidth2 = nullptr;
    const float* vco1Cv = nullptr;
    const float* vco2Cv = nullptr;
    const float* pulseWidth1Cv = nullptr;
    const float* pulseWidth2Cv = nullptr;
    const float* shaperAmount = nullptr; // smoothed "VCO-1&2 Shaper"; null: the knob itself
    const float* shaperCv = nullptr;
    const float* balanceCv = nullptr;
};

// Both oscillators' frequencies in Hz for `count` samples, limited to 1 Hz .. sampleRate / 2,
// VCO-2 raised to VCO-1 under sync. A null block is skipped. Audio thread.
void oscillatorFrequencies(int count, const PitchTerms& terms, const OscillatorSettings& settings,
                           const OscillatorInputs& in, float sampleRate, float* frequency1,
                           float* frequency2) noexcept;

// Both oscillators' pulse widths for `count` samples; widths with a modulation term are folded
// back into 0..1. A null block is skipped. Audio thread.
void oscillatorPulseWidths(int count, const OscillatorSettings& settings,
                           const OscillatorInputs& in, float* pulseWidth1,
                           float* pulseWidth2) noexcept;

// Scratch blocks owned by the caller: base-rate blocks of n and 2x blocks of 2n samples.
struct OscillatorBlocks {
    float* frequency1 = nullptr;
    float* frequency2 = nullptr;
    float* pulseWidth1 = nullptr;
    float* pulseWidth2 = nullptr;
    float* vco1 = nullptr; // 2x: VCO-1's output, also read by the filter modulation
    float* vco2 = nullptr;
    float* sync = nullptr;
    float* mix = nullptr;
};

class OscillatorSection {
public:
    // Points the oscillators and the decimator at the scratch blocks. Not audio thread.
    void setBlocks(const OscillatorBlocks& scratch);

    // The sets the oscillators read (each may be null or unloaded). Audio thread.
    void setWavetables(const WavetableSet* saw, const WavetableSet* square,
                       const WavetableSet* triangle) noexcept;

    // Renders `count` base-rate samples of the decimated mix into `out`. Audio thread.
    void process(int count, const OscillatorSettings& settings, const OscillatorInputs& in,
                 float* out) noexcept;

    // A note starts: oscillators in parabolic mode restart their cycle; wavetable oscillators run
    // freely across notes. Audio thread.
    void noteOn() noexcept;

    // Clears every state: oscillators, shaper, blockers and decimator. Audio thread.
    void reset() noexcept;

    VcoModule& vco1() { return oscillator1; }
    VcoModule& vco2() { return oscillator2; }

private:
    // The low-pass and DC-blocker states of one oscillator. Their alternating offsets (1e-5,
    // the sign flipped after each use) come in pairs of uses, one base-rate sample's two 2x
    // samples, so every pair starts with +1e-5.
    struct ShaperState {
        double lowPass = 0.0;
        double blocker = 0.0;
        static constexpr double offset = 1e-5;
    };

    // process() by the kernel the processor runs best (FastKernels.h).
    // `wide`: the shaper's sines eight at a time, in the fast kernel where 256-bit vectors may
    // be used.
    void processBody(int count, const OscillatorSettings& settings, const OscillatorInputs& in,
                     float* out, bool wide) noexcept;
    void processFast(int count, const OscillatorSettings& settings, const OscillatorInputs& in,
                     float* out) noexcept;
    void applySettings(const OscillatorSettings& settings) noexcept;
    void modulateFrequency2(int count, float amount, float sampleRate) noexcept;
    void shape(int count, const OscillatorSettings& settings, const OscillatorInputs& in,
               bool wide) noexcept;
    void mix(int count, const OscillatorSettings& settings, const OscillatorInputs& in) noexcept;

    VcoModule oscillator1;
    VcoModule oscillator2;
    DecimatorModule decimator;
    OscillatorBlocks blocks;
    ShaperState shaper1;
    ShaperState shaper2;
};

} // namespace treskpro
