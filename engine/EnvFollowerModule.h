// The envelope follower of the auxiliary input: rectifies the signal and follows its level with
// separate attack and release times.
#pragma once

#include "engine/Dsp.h"
#include "engine/Module.h"

namespace treskpro {

class EnvFollowerModule : public Module {
public:
    enum Input { Signal };
    enum Output { Envelope };

    // Runs `count` samples of the rectified input's envelope. Audio thread.
    void process(int count) noexcept override;

    // Envelope back to 0. Audio thread.
    void reset() noexcept;

    // "Env Follow Attack" 0..1: a rise covers 90 % in e^(4a - 9(1 - a)) seconds, and
    // "Env Follow Release" 0..1: a fall covers 90 % in e^(4r - 8(1 - r)) seconds, at
    // `sampleRate` Hz. Audio thread, every slice.
    void setTimes(float attack, float release, float sampleRate) noexcept;

private:
    float state = 0.0f;
    float attackCoefficient = 1.0f;
    float releaseCoefficient = 1.0f;
    AlternatingOffset<float> offset;
};

} // namespace treskpro
