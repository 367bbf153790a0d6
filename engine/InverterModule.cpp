#include "engine/InverterModule.h"

#include "engine/Lanes.h"

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
        int i = 0;
#ifdef TRESKPRO_HAS_SSE2
        // Four at a time. maxps and minps return their second operand when either is NaN, so
        // with the bounds first a NaN passes as std::clamp lets it pass.
        for (; i + 4 <= count; i += 4) {
            const __m128 x = _mm_sub_ps(_mm_set1_ps(1.0f), _mm_loadu_ps(in + i));
            _mm_storeu_ps(out + i, _mm_min_ps(_mm_set1_ps(1.0f), _mm_max_ps(_mm_setzero_ps(), x)));
        }
#endif
        for (; i < count; ++i)
            out[i] = std::clamp(1.0f - in[i], 0.0f, 1.0f);
    } else {
        for (int i = 0; i < count; ++i)
            out[i] = -in[i];
    }
}

} // namespace treskpro
