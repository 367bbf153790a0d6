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
    const bool lagged = lagOn != 0;
    const float lagCoefficient = lagged ? static_cast<float>(ninetyPercentCoefficient(
                                              envelopeTime(lagTime, decayTimeScale), sampleRate))
                                        : 0.0f;
    float lag = lagState;
    for (int i = 0; i < count; ++i) {
        const float x = in[i];
        if (outs[Eighth])
            outs[Eighth][i] = 0.125f * x;
        if (outs[Half])
            outs[Half][i] = 0.5f * x;
        if (outs[Variable])
            outs[Variable][i] = gain * x;
        float last = 0.0f;
        if (lagged) {
            lag += lagCoefficient * (x + lagOffset.next() - lag);
            last = lag;
        } else if (offsetBias >= 0.5f) {
            last = offsetBias + 0.5f * x;
        } else {
            last = 2.0f * (offsetBias + x - 0.5f);
        }
        if (outs[BiasOrLag])
            outs[BiasOrLag][i] = last;
    }
    lagState = lag;
}

void AttenuatorModule::reset() noexcept {
    lagState = 0.0f;
    lagOffset = {};
}

} // namespace treskpro
