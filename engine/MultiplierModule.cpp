#include "engine/MultiplierModule.h"

#include <algorithm>

namespace treskpro {

void MultiplierModule::process(int count) noexcept {
    const float* a = inputs[First];
    const float* b = inputs[Second];
    float* out = outputs[Product];
    if (!out)
        return;
    if (!a || !b) {
        std::fill(out, out + count, 0.0f);
        return;
    }
    for (int i = 0; i < count; ++i)
        out[i] = a[i] * b[i];
}

} // namespace treskpro
