// One voltage-controlled oscillator, running at twice the base sample rate. Saw, square and pulse
// come either from the band-limited wavetable sets or, in parabolic mode, from differentiating a
// squared ramp; triangle and sine always come from the triangle set.
#pragma once

#include "engine/Dsp.h"
#include "engine/Module.h"

#include <cstdint>

namespace treskpro {

class WavetableSet;

class VcoModule : public Module {
public:
    enum Input { Frequency, Sync, PulseWidth };
    enum Output { Audio, SyncOut, Phase, Period };
    enum Waveform { Saw, Square, Pulse, Triangle, Sine };

    static constexpr float defaultAsymmetry = 1.0015f;

    VcoModule();

    // Renders `count` samples at the 2x rate; the base-rate inputs are read at index i / 2.
    // Audio thread.
    void process(int count) noexcept override;

    // Two oscillators at once: process(count) of each, the two side by side in the lanes of
    // one register where both take the plain path (a set read at the phase, twice for the
    // pulse; only the audio output wired, no sync), one after the other otherwise. Audio thread.
    static void processPair(VcoModule& first, VcoModule& second, int count) noexcept;

    // Phase 0, fade-in gain 0 and the parabolic history for the current waveform. Audio thread
    // (the voice calls it when the waveform changes and, in parabolic mode, at note-on).
    void reset() noexcept;

    // Waveform 0..4 (Saw..Sine); other values are clamped. Audio thread, before process().
    void setWaveform(int value) noexcept;
    int waveform() const noexcept { return shape; }

    // The "VCO Boost" amount, 0..1: adds a low-passed copy in wavetable mode. Audio thread.
    void setBoost(float amount) noexcept { boost = amount; }

    // The sets saw, square and triangle are read from; null or unloaded sets are never read.
    // Audio thread.
    void setWavetables(const WavetableSet* saw, const WavetableSet* square,
                       const WavetableSet* triangle) noexcept;

    // True: every waveform from the wavetables; false: parabolic saw, square and pulse. Audio
    // thread.
    void setWavetableFlag(bool on) noexcept { wavetableMode = on; }
    bool wavetableFlag() const noexcept { return wavetableMode; }

    // The pulse width 0..1 used while the pulse-width input is not connected. Audio thread.
    void setPulseWidth(float width) noexcept { constantPulseWidth = width; }
    float pulseWidth() const noexcept { return constantPulseWidth; }

    // The ratio by which consecutive cycles alternate in length (1.0015 at construction; 1.0
    // gives strictly periodic cycles, as measurements need). Limited to 0.5..2. Any thread
    // before rendering.
    void setAsymmetry(float factor) noexcept;

    // Phase 0..1 of the next sample. Any thread that owns the module.
    double phase() const noexcept { return currentPhase; }

private:
    template <typename Shape> void run(int count, float sampleRate, Shape&& waveformAt) noexcept;
    void renderWavetable(int count, float sampleRate) noexcept;
    void renderSet(int count, float sampleRate, const WavetableSet& set) noexcept;
    // The set renderSet() would read, or null where process() takes another path.
    const WavetableSet* plainSet() const noexcept;
    // By the kernel the processor runs best (FastKernels.h).
    static void renderSetPair(VcoModule& first, VcoModule& second, int count, float sampleRate,
                              const WavetableSet& firstSet, const WavetableSet& secondSet) noexcept;
    template <int pulses>
    static void renderSetPairBody(VcoModule& first, VcoModule& second, int count, float sampleRate,
                                  const WavetableSet& firstSet,
                                  const WavetableSet& secondSet) noexcept;
    template <int pulses>
    static void renderSetPairWide(VcoModule& first, VcoModule& second, int count, float sampleRate,
                                  const WavetableSet& firstSet,
                                  const WavetableSet& secondSet) noexcept;
    static void renderSetPairShapes(VcoModule& first, VcoModule& second, int count,
                                    float sampleRate, const WavetableSet& firstSet,
                                    const WavetableSet& secondSet) noexcept;
    static void renderSetPairFast(VcoModule& first, VcoModule& second, int count, float sampleRate,
                                  const WavetableSet& firstSet,
                                  const WavetableSet& secondSet) noexcept;
    static void pairSteps(const float* frequency, int count, float scale, int lastEntry,
                          float* halfIncrements, std::int32_t* entries) noexcept;
    // Only the audio output is wired and no sync input: renderSet() can do the work.
    bool plainOutput() const noexcept;
    void renderParabolic(int count, float sampleRate) noexcept;
    void renderSmooth(int count, float sampleRate) noexcept;
    void applyBoost(int count) noexcept;

    const WavetableSet* sawSet = nullptr;
    const WavetableSet* squareSet = nullptr;
    const WavetableSet* triangleSet = nullptr;
    int shape = Saw;
    bool wavetableMode = true;
    float boost = 0.0f;
    float constantPulseWidth = 0.0f;

    double currentPhase = 0.0;
    float increment = 0.0f;
    float asymmetry = defaultAsymmetry;
    float asymmetryInverse = 1.0f / defaultAsymmetry;

    double fadeGain = 0.0;
    AlternatingOffset<double> fadeOffset;
    float previousA = 0.25f;
    float previousB = 0.0025f;
    double boostState = 0.0;
    AlternatingOffset<double> boostOffset;
    double smoothedPulseWidth = 0.0;
    AlternatingOffset<double> pulseWidthOffset;
};

} // namespace treskpro
