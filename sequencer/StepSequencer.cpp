#include "sequencer/StepSequencer.h"

#include <algorithm>
#include <cmath>
#include <limits>

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

    int i = 0;
    while (i < count) {
        trigger = false;
        if (stepCounter == 0)
            startNote(record);
        advance(tripletScale);
        write(out, i, i + 1);
        ++i;
        trigger = false;

        // Between a note's start, its gate's end and its last sample nothing but the phase
        // moves: the phase is counted up alone, in the same steps, and the run of identical
        // output samples written as fills. The sample that crosses a boundary is left to the
        // step above.
        const double increment = stepRate * tripletScale;
        const double noteLength = stepSamples * duration;
        const double gateEnd = !slide && gate ? (duration - 1 + gateFactor) * stepSamples
                                              : std::numeric_limits<double>::infinity();
        const int runStart = i;
        double phase = notePhase;
        for (; i < count && stepCounter != 0; ++i) {
            const double x = phase + increment;
            if (x > gateEnd || x > noteLength)
                break;
            phase = x;
        }
        notePhase = phase;
        write(out, runStart, i);
    }
}

// One sample of the sequencer's clock: the gate closes past its share of the note's last step,
// and the note ends past its length, the next one starting at the following sample.
void StepSequencer::advance(double tripletScale) noexcept {
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
}

void StepSequencer::write(const SequencerBlocks& out, int begin, int end) const noexcept {
    if (begin >= end)
        return;
    const int n = end - begin;
    std::fill_n(out.pitchFactor + begin, n, static_cast<float>(pitchFactor));
    std::fill_n(out.gate + begin, n, gate ? 1.0f : 0.0f);
    std::fill_n(out.trigger + begin, n, trigger ? 1.0f : 0.0f);
    std::fill_n(out.slideIn + begin, n, slideIn ? 1.0f : 0.0f);
    std::fill_n(out.accent + begin, n, accent ? 1.0f : 0.0f);
    std::fill_n(out.pitchOctaves + begin, n, pitchOctaves);
}

void StepSequencer::startNote(const PatternRecord& record) noexcept {
    if (const auto factor = prescaleFactor(PatternRecord::loadWhole(record.prescale)))
        stepRate = *factor;

    // Every length is at most 64, so the index stays below it; the bound keeps it so whatever
    // a damaged record holds.
    if (step < 0 || step >= PatternRecord::maximumLength)
        step = 0;
    const std::uint8_t flags = record.step(step).flags;
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
