#include "engine/HalfbandFir.h"

namespace treskpro {

namespace {

constexpr std::array<double, HalfbandFir::length> makeKernel() {
    // Symmetric around the centre tap; every even distance from the centre is zero.
    constexpr double odd[] = {0.315941764435879,  -0.098015907472862, 0.050718561562229,
                              -0.028676559233976, 0.015947113970594,  -0.008242466596548,
                              0.003862478304199,  -0.00188787839582};
    std::array<double, HalfbandFir::length> h{};
    h[16] = 0.500705786852609;
    for (int k = 0; k < 8; ++k) {
        h[static_cast<std::size_t>(16 + 2 * k + 1)] = odd[k];
        h[static_cast<std::size_t>(16 - 2 * k - 1)] = odd[k];
    }
    return h;
}

} // namespace

const std::array<double, HalfbandFir::length> HalfbandFir::kernel = makeKernel();

} // namespace treskpro
