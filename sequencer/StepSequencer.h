// The step clock: turns the current pattern into six per-sample control signals (pitch factor,
// gate, trigger, slide-in, accent, pitch in octaves) in the classic bass-line manner. The render
// loop runs it over every slice before the voices; voice 0 plays from its signals in pattern
// mode, and three of them feed sockets of the modular section.
//
// The clock counts in "rate-scaled samples": every sample adds the pattern's step rate factor
// to the phase, and a step is over when the phase passes samplesPerStep (one sixteenth note at
// rate 1). The fractional overshoot is carried, so the average step length is exact.
#pragma once

#include "sequencer/PatternRecord.h"

namespace treskpro {

// The six output blocks of one slice, each `count` floats long.
struct SequencerBlocks {
    float* pitchFactor;  // 2^(semitones / 12) of the last gated step
    float* gate;         // 0 or 1
    float* trigger;      // 1 on the first sample of a note that is not slid into
    float* slideIn;      // 1 while the playing note was slid into from the one before
    float* accent;       // 0 or 1
    float* pitchOctaves; // semitones / 12 of the last gated step
};

class StepSequencer {
public:
    // Runs one slice of `count` samples while "RunStop" is 1: takes the sample rate (Hz), the
    // tempo (BPM), "Gate time" (0..1) and the pattern to play, then advances the clock sample
    // by sample. A pattern index outside the bank keeps the pattern that played before. Audio
    // thread; allocates nothing.
    void run(const PatternBank& bank, int currentPattern, double sampleRate, double tempo,
             float gateTime, const SequencerBlocks& out, int count) noexcept;

    // The slice while "RunStop" is 0: pitch factor 1.0 and the other five blocks 0. The
    // position stays where it is, so playback can resume from it. Audio thread.
    void stopped(const SequencerBlocks& out, int count) noexcept;

    // The next sample starts step 0 of the current pattern, with gate, slide and accent off.
    // Audio thread (MIDI handling and the render loop's commands run there).
    void restart() noexcept;

    bool running() const noexcept { return isRunning; }
    // The step that plays next or is playing, 0..63.
    int stepIndex() const noexcept { return step; }
    // Samples in one sixteenth note at the current tempo and sample rate; the synchronised
    // delay times are measured in it.
    double samplesPerStep() const noexcept { return stepSamples; }
    int currentPattern() const noexcept { return pattern; }
    // Rate-scaled samples elapsed in the current note.
    double phase() const noexcept { return notePhase; }
    // The prescale's step rate factor in force.
    double rateFactor() const noexcept { return stepRate; }

private:
    void startNote(const PatternRecord& record) noexcept;
    void advance(double tripletScale) noexcept;
    // Writes the present outputs to samples begin..end-1 of each block.
    void write(const SequencerBlocks& out, int begin, int end) const noexcept;

    bool isRunning = false;
    int pattern = 0;
    double stepSamples = 44100.0 * 15.0 / 120.0;
    double gateFactor = 1.0;
    double stepRate = 1.0;
    double notePhase = 0.0;
    int step = 0;
    int stepCounter = 0; // 0: a note starts at the next sample
    int duration = 1;    // steps of the current note
    bool gate = false;
    bool trigger = false;
    bool slideIn = false;
    bool accent = false;
    bool slide = false; // slide flag of the playing step
    double pitchFactor = 1.0;
    float pitchOctaves = 0.0f;
};

} // namespace treskpro
