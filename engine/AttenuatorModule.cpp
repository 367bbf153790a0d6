#include "engine/AttenuatorModule.h"

#include "engine/EnvelopeCoefficients.h"

namespace treskpro {

void AttenuatorModule::process(int count) noexcept {
    const float* in = inputs[Signal];
    float* outs[4] = {outputs[Eighth], outputs[Half], outputs[Variable], outputs[BiasOrLag]};
    if (!in) {
        for (float* out : outs) {
            if (!out)
                continue;
            for (int i = 0; i < count; ++i)
                out[i] = 0.0f;
        }
        return;
    }
    const float gain = variable;
    const float offsetBias = bias;
    float lag = lagState;
    // One output at a time, each a straight pass the compiler can vectorise.
    const auto write = [&](int output) {
        float* out = outs[output];
        if (output == Eighth || output == Half || output == Variable) {
            const float factor = output == Eighth ? 0.125f : output == Half ? 0.5f : gain;
            if (out)
                for (int i = 0; i < count; ++i)
                    out[i] = factor * in[i];
        } else if (lagOn != 0) {
            // The lag follows its input whether or not its output is read, so that a cable
            // plugged in later finds it where it would be.
            const float lagCoefficient = static_cast<float>(
                ninetyPercentCoefficient(envelopeTime(lagTime, decayTimeScale), sampleRate));
            for (int i = 0; i < count; ++i) {
                lag += lagCoefficient * (in[i] + lagOffset.next() - lag);
                if (out)
                    out[i] = lag;
            }
        } else if (out && offsetBias >= 0.5f) {
            for (int i = 0; i < count; ++i)
                out[i] = offsetBias + 0.5f * in[i];
        } else if (out) {
            for (int i = 0; i < count; ++i)
                out[i] = 2.0f * (offsetBias + in[i] - 0.5f);
        }
    };
    // A cable from one of the module's outputs back into its input makes that output the
    // input's block: it is written last, after the others have read the input.
    int feedback = -1;
    for (int output = 0; output < 4; ++output) {
        if (outs[output] == in)
            feedback = output;
        else
            write(output);
    }
    if (feedback >= 0)
        write(feedback);
    lagState = lag;
}

void AttenuatorModule::reset() noexcept {
    lagState = 0.0f;
    lagOffset = {};
}

} // namespace treskpro
