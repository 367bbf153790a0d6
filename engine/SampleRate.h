// The engine's sample-rate constants. They are process-wide: every instance in the host
// process shares them, and each instance refreshes them from its own rate when the host sets
// the rate and at the start of every block.
#pragma once

namespace treskpro {

struct SampleRateConstants {
    float rate = 44100.0f;
    float reciprocal = 1.0f / 44100.0f;
    float ratioTo44100 = 1.0f; // 44100 / rate: coefficients are tuned at 44.1 kHz
};

// Sets the constants for a positive, finite rate; other values are ignored. Any thread.
void setEngineSampleRate(float rate);

// The constants last set. Any thread.
SampleRateConstants engineSampleRate();

} // namespace treskpro
