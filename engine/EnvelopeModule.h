// The ADSR envelope of a voice: a linear attack to 1, exponential decay to the sustain level and
// exponential release, driven by gate and trigger blocks or by the voice's note operations.
#pragma once

#include "engine/Dsp.h"
#include "engine/Module.h"

#include <cstdint>

namespace treskpro {

class EnvelopeModule : public Module {
public:
    enum Input { Gate, Trigger, Amount, Accent };
    enum Output { Envelope };
    enum State : std::int32_t { Attack, DecaySustain, Release, Damp };

    // Coefficient of the fixed fall a patch change gives the amplifier envelope: 10 % in about
    // 6.5 ms at 44.1 kHz, short enough to silence the old patch without a click.
    static constexpr double dampCoefficient = 0.008;

    // Runs `count` samples: a trigger sample restarts the attack from 0, a gate sample at 0
    // starts the release, a non-zero accent sample decays with the accent decay coefficient; the
    // output is the level times the amount input (1 when not connected). Audio thread.
    void process(int count) noexcept override;

    // Back to the state after construction: released, level 0. Audio thread.
    void reset() noexcept;

    // Per-sample rise of the attack (1 / samples from 0 to 1). Audio thread, every sub-block.
    void setAttackIncrement(float increment) noexcept { attackIncrement = increment; }
    // One-pole coefficient of the decay towards the sustain level. Audio thread.
    void setDecayCoefficient(float coefficient) noexcept { decayCoefficient = coefficient; }
    // Level 0..1 that the decay settles at while the note is held. Audio thread.
    void setSustainLevel(float level) noexcept { sustainLevel = level; }
    // One-pole coefficient of the release towards 0. Audio thread.
    void setReleaseCoefficient(float coefficient) noexcept { releaseCoefficient = coefficient; }
    // Decay coefficient used on samples where the accent input is non-zero. Audio thread.
    void setAccentDecayCoefficient(float coefficient) noexcept {
        accentDecayCoefficient = coefficient;
    }
    // Sets all four segments from their knob values (0..1) at `sampleRate` Hz. Audio thread.
    void setSegments(float attack, float decay, float sustain, float release,
                     float sampleRate) noexcept;

    // Note-on: a new attack from level 0. Audio thread.
    void start() noexcept;
    // Legato note with retrigger: a new attack from the current level. Audio thread.
    void retrigger() noexcept;
    // Note-off: release from the current level. Audio thread.
    void release() noexcept;
    // Patch change for the filter envelope: level 0, released. Audio thread.
    void silence() noexcept;
    // Patch change for the amplifier envelope: a fast fall from the current level. Audio thread.
    void damp() noexcept;

    // Current level 0..1 (without the amount input); the voice tests it to keep releasing notes
    // sounding. Audio thread.
    double level() const noexcept { return currentLevel; }
    // Current segment. Audio thread.
    State state() const noexcept { return currentState; }
    // 1 when the last block began in the attack or a trigger arrived during it: the editor's
    // envelope-start indicator. Audio thread.
    std::int32_t idle() const noexcept { return idleFlag; }

private:
    // By the kernel the processor runs best (FastKernels.h).
    void runFree(int count) noexcept;
    void runFreeBody(int count) noexcept;
    void runFreeFast(int count) noexcept;

    State currentState = Release;
    double currentLevel = 0.0;
    AlternatingOffset<double> offset;
    float attackIncrement = 0.0f;
    float decayCoefficient = 0.0f;
    float sustainLevel = 0.0f;
    float releaseCoefficient = 0.0f;
    float accentDecayCoefficient = 0.0f;
    std::int32_t idleFlag = 0;
};

} // namespace treskpro
