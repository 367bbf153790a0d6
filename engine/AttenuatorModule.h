// An attenuator for patch cables: fixed 1/8 and 1/2 outputs, a variable output, and either a
// biased output (for turning bipolar signals unipolar) or a lagged copy of the input.
#pragma once

#include "engine/Dsp.h"
#include "engine/Module.h"

#include <cstdint>

namespace treskpro {

class AttenuatorModule : public Module {
public:
    enum Input { Signal };
    enum Output { Eighth, Half, Variable, BiasOrLag };

    // Runs `count` samples; every output is 0 while the input is not connected. Audio thread.
    void process(int count) noexcept override;

    // Lag state back to 0. Audio thread.
    void reset() noexcept;

    // Gain of output 2. Audio thread, every sub-block.
    void setVariable(float gain) noexcept { variable = gain; }
    // Bias knob 0..1 of output 3 without lag: 0.5 maps -1..1 to 0..1, 0 gives 2x - 1. Audio
    // thread.
    void setBias(float value) noexcept { bias = value; }
    // Lag knob 0..1: 90 % of a step in e^(4t - 8(1 - t)) seconds. Audio thread.
    void setLagTime(float value) noexcept { lagTime = value; }
    // Whether output 3 is the lagged input instead of the biased one. Audio thread.
    void setLag(bool on) noexcept { lagOn = on ? 1 : 0; }
    // Sample rate in Hz for the lag. Audio thread.
    void setSampleRate(float rate) noexcept { sampleRate = rate; }

private:
    float variable = 0.75f;
    float bias = 0.5f;
    float lagTime = 0.0f;
    std::int32_t lagOn = 0;
    float lagState = 0.0f;
    AlternatingOffset<float> lagOffset;
    float sampleRate = 44100.0f;
};

} // namespace treskpro
