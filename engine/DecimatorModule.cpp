#include "engine/DecimatorModule.h"

#include "engine/FastKernels.h"
#include "engine/HalfbandFir.h"

#include <algorithm>

namespace treskpro {

TRESKPRO_KERNEL_BODY void DecimatorModule::processBody(int count) noexcept {
    const float* in = inputs[Signal];
    float* out = outputs[Decimated];
    if (count <= 0 || !out)
        return;
    const auto& h = HalfbandFir::kernel;
    for (int start = 0; start < count; start += piece) {
        const int n = std::min(piece, count - start);
        // Nothing connected is silence: the history fills with it too.
        for (int j = 0; j < n; ++j) {
            evens[static_cast<std::size_t>(evenHistory + j)] = in ? in[2 * (start + j)] : 0.0;
            odds[static_cast<std::size_t>(oddHistory + j)] = in ? in[2 * (start + j) + 1] : 0.0;
        }
        // The kernel applied after the first of each pair of 2x samples, newest first: the
        // centre tap on the even sample eight outputs back, then each pair of odd samples
        // around it, nearest first, summed in the order the half-band filter sums them.
        const double* e = evens.data();
        const double* o = odds.data() + 8;
        for (int j = 0; j < n; ++j) {
            double sum = h[16] * e[j];
            for (int q = 1; q <= 8; ++q)
                sum += h[static_cast<std::size_t>(15 + 2 * q)] * (o[j - q] + o[j - 1 + q]);
            out[start + j] = static_cast<float>(2.0 * sum);
        }
        std::copy(evens.begin() + n, evens.begin() + n + evenHistory, evens.begin());
        std::copy(odds.begin() + n, odds.begin() + n + oddHistory, odds.begin());
    }
}

#ifdef TRESKPRO_FAST_KERNELS
TRESKPRO_FAST_TARGET void DecimatorModule::processFast(int count) noexcept {
    processBody(count);
}
#endif

void DecimatorModule::process(int count) noexcept {
#ifdef TRESKPRO_FAST_KERNELS
    if (fastKernels()) {
        processFast(count);
        return;
    }
#endif
    processBody(count);
}

void DecimatorModule::reset() noexcept {
    evens.fill(0.0);
    odds.fill(0.0);
}

} // namespace treskpro
