// The modulation generator (MG): an LFO with saw, square, triangle, sample-and-hold and decay
// waves, a smoothed control output, and an audio output read from band-limited tables so that it
// can also run at audio rate.
#pragma once

#include "engine/Dsp.h"
#include "engine/Module.h"

#include <cstdint>

namespace treskpro {

class WavetableSet;

class MgModule : public Module {
public:
    enum Input { Frequency, Amount, Retrigger };
    enum Output { Control, Audio };
    enum Wave : std::int32_t { Saw, Square, Triangle, SampleAndHold, Decay };
    static constexpr int waveCount = 5;

    // Smoothing of the control output: takes the edges off square and sample-and-hold steps.
    static constexpr double defaultSmoothing = 0.07;

    // Reads the process-wide MG saw, MG square and triangle sets.
    MgModule();

    // Runs `count` samples: input 0 is the frequency in Hz, input 1 the amount, a non-zero
    // sample of input 2 restarts the cycle; output 0 is the smoothed control signal times the
    // amount, output 1 the band-limited audio signal times the amount. Audio thread.
    void process(int count) noexcept override;

    // Phase 0, smoothing and audio states cleared; the random generator keeps running. Audio
    // thread.
    void reset() noexcept;

    // Amount used while input 1 is not connected (-1..1). Audio thread.
    void setAmount(double value) noexcept { amount = value; }
    // Waveform 0 Saw, 1 Square, 2 Triangle, 3 Sample&Hold, 4 Decay; other numbers are limited
    // to that range. Audio thread.
    void setWave(int number) noexcept;
    // Last audio-output value before the amount, in -1..1. Audio thread.
    double audioValue() const noexcept { return audio; }
    // Restarts the cycle at the next sample. Audio thread.
    void resetPhase() noexcept { phase = 0.0; }
    // Smoothed control value before the amount (the decay level for the Decay wave). Audio
    // thread.
    double smoothedValue() const noexcept { return smoothed; }
    // Connects the per-sample frequency block (Hz) to input 0. Audio thread.
    void setFrequencyInput(const float* block) noexcept { setInput(Frequency, block); }
    // Whether Saw and Square compute their audio output (Triangle and Sample&Hold always do).
    // Audio thread.
    void setAudioOutput(bool on) noexcept { audioOutput = on; }
    // Whether retrigger() restarts the cycle. Audio thread.
    void setRetrigger(bool on) noexcept { retriggerOn = on; }
    // Note start: restarts the cycle when the retrigger flag is set. Audio thread.
    void retrigger() noexcept {
        if (retriggerOn)
            phase = 0.0;
    }
    // One-pole coefficient of the control-output smoothing (1 = none). Audio thread.
    void setSmoothing(double coefficient) noexcept { smoothing = coefficient; }

    // Frequency in Hz used while input 0 is not connected. Audio thread.
    void setFrequency(double hertz) noexcept;
    // Sample rate in Hz. Audio thread.
    void setSampleRate(float rate) noexcept;
    // The tables of the audio output; a set that is null or not loaded is never read. Any
    // thread before the module runs.
    void setWavetables(const WavetableSet* saw, const WavetableSet* square,
                       const WavetableSet* triangle) noexcept;

    // Current waveform. Audio thread.
    Wave wave() const noexcept { return currentWave; }
    // Position 0..1 in the cycle. Audio thread.
    double currentPhase() const noexcept { return phase; }

private:
    // `staged`: the usual case runs by runUsual(). That pays in the fast kernels; the plain
    // ones are bound by the follower's chain of a multiply and an add, under which the
    // sample-by-sample loop's other work runs for nothing, while the stages' does not.
    template <Wave W> void run(int count, bool tablesLoaded, bool staged) noexcept;
    // run() for the usual case (only the control output wired, no amount or retrigger input,
    // no audio to compute): the same samples, worked out a stretch at a time.
    template <Wave W> void runUsual(int count, bool tablesLoaded) noexcept;
    // run() by the kernel the processor runs best (FastKernels.h).
    template <Wave W> void runBest(int count, bool tablesLoaded) noexcept;
    template <Wave W> void runFast(int count, bool tablesLoaded) noexcept;
    void runDecay(int count) noexcept;
    std::uint32_t nextRandom() noexcept;

    Wave currentWave = Saw;
    double amount = 1.0;
    double increment = 0.0;
    double phase = 0.0;
    double smoothed = 0.0;
    AlternatingOffset<double> offset;
    double smoothing = defaultSmoothing;
    double audio = 0.0;
    double heldValue = 0.0;
    std::uint32_t randomState = 22222;
    bool audioOutput = false;
    bool retriggerOn = false;
    double sampleRate = 44100.0;
    double reciprocalRate = 1.0 / 44100.0;
    // Previous squared ramps of the parabolic audio output used when a table set is missing.
    double previousSquare = 0.25;
    double previousShiftedSquare = 0.0;
    const WavetableSet* sawSet = nullptr;
    const WavetableSet* squareSet = nullptr;
    const WavetableSet* triangleSet = nullptr;
};

} // namespace treskpro
