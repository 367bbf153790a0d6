#include "sequencer/StepSequencer.h"

#include <cmath>

namespace treskpro {

namespace {

// The gate closes within the last step of a note, after this share of "Gate time"; even at the
// longest setting it falls just before the next note, so two plain notes never merge.
constexpr double gateTimeScale = 0.999;

// The triplet switch plays three steps in the time of four.
constexpr double tripletRate = 0.75;

} // namespace

void StepSequencer::run(const PatternBank& bank, int currentPattern, double sampleRate,
                        double tempo, float gateTime, const SequencerBlocks& out,
                        int count) noexcept {
    stepSamples = sampleRate / (tempo / 60.0 * 4.0);
    gateFactor = static_cast<double>(gateTime) * gateTimeScale;
    isRunning = true;
    // The pattern index comes from the patch's states, which a host chunk restores unchecked.
    if (currentPattern >= 0 && currentPattern < patternCount)
        pattern = currentPattern;

    const PatternRecord& record = bank[static_cast<std::size_t>(pattern)];
    const double tripletScale = record.triplet() ? tripletRate : 1.0;

    for (int i = 0; i < count; ++i) {
        trigger = false;
        if (stepCounter == 0)
            startNote(record);

        const double x = notePhase + stepRate * tripletScale;
        if (!slide && gate && x > (duration - 1 + gateFactor) * stepSamples)
            gate = false;
        const double noteLength = stepSamples * duration;
        if (x <= noteLength) {
            notePhase = x;
        } else {
            notePhase = x - noteLength;
            stepCounter = 0;
        }

        out.pitchFactor[i] = static_cast<float>(pitchFactor);
        out.gate[i] = gate ? 1.0f : 0.0f;
        out.trigger[i] = trigger ? 1.0f : 0.0f;
        out.slideIn[i] = slideIn ? 1.0f : 0.0f;
        out.accent[i] = accent ? 1.0f : 0.0f;
        out.pitchOctaves[i] = pitchOctaves;
    }
}

void StepSequencer::startNote(const PatternRecord& record) noexcept {
    if (const auto factor = prescaleFactor(record.prescale))
        stepRate = *factor;

    // Every length is at most 64, so the index stays below it; the bound keeps it so whatever
    // a damaged record holds.
    if (step < 0 || step >= PatternRecord::maximumLength)
        step = 0;
    const std::uint8_t flags = record.steps[step].flags;
    const bool gated = (flags & StepFlags::gate) != 0;

    slideIn = slide;
    slide = (flags & StepFlags::slide) != 0;
    accent = (slideIn && accent) || (gated && (flags & StepFlags::accent) != 0);
    const int tied = record.tieDuration(step);
    duration = tied;
    // A slid-into step keeps the gate as it was: the note goes on, even into a rest.
    if (!slideIn)
        gate = gated;
    if (gated) {
        const int semitones = record.stepSemitones(step);
        pitchOctaves = static_cast<float>(semitones) / 12.0f;
        pitchFactor = std::exp2(semitones / 12.0);
    } else if ((flags & StepFlags::tie) == 0) {
        // A rest lasts one step. Tied steps right after it are skipped below without taking
        // time, so such a pattern plays a shorter cycle; the editor never writes that case.
        duration = 1;
    }

    step += tied;
    if (step >= record.playableLength())
        step = 0;
    trigger = gate && !slideIn;
    ++stepCounter;
}

void StepSequencer::stopped(const SequencerBlocks& out, int count) noexcept {
    isRunning = false;
    for (int i = 0; i < count; ++i) {
        out.pitchFactor[i] = 1.0f;
        out.gate[i] = 0.0f;
        out.trigger[i] = 0.0f;
        out.slideIn[i] = 0.0f;
        out.accent[i] = 0.0f;
        out.pitchOctaves[i] = 0.0f;
    }
}

void StepSequencer::restart() noexcept {
    notePhase = 0.0;
    gate = false;
    slide = false;
    accent = false;
    stepCounter = 0;
    step = 0;
}

} // namespace treskpro
