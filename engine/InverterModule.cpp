#include "engine/InverterModule.h"

#include <algorithm>

namespace treskpro {

void InverterModule::process(int count) noexcept {
    const float* in = inputs[Signal];
    float* out = outputs[Inverted];
    if (!out)
        return;
    if (!in) {
        std::fill(out, out + count, 0.0f);
        return;
    }
    if (mode != 0) {
        for (int i = 0; i < count; ++i)
            out[i] = std::clamp(1.0f - in[i], 0.0f, 1.0f);
    } else {
        for (int i = 0; i < count; ++i)
            out[i] = -in[i];
    }
}

} // namespace treskpro
