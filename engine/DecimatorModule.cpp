#include "engine/DecimatorModule.h"

#include <algorithm>

namespace treskpro {

void DecimatorModule::process(int count) noexcept {
    const float* in = inputs[Signal];
    float* out = outputs[Decimated];
    if (count <= 0 || !out)
        return;
    if (!in) {
        // Nothing connected is silence: the history fills with it too.
        for (int j = 0; j < count; ++j) {
            fir.store(0.0);
            out[j] = static_cast<float>(2.0 * fir.push(0.0));
        }
        return;
    }
    for (int j = 0; j < count; ++j) {
        // The kernel is evaluated once per pair, after the first of its two samples.
        fir.store(in[2 * j]);
        out[j] = static_cast<float>(2.0 * fir.push(in[2 * j + 1]));
    }
}

} // namespace treskpro
