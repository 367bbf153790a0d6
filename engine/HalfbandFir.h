// The 33-tap half-band filter that brings the 2x-rate oscillator mix down to the sample rate and
// that the oversampled filter model uses to go up and down again.
#pragma once

#include <array>

namespace treskpro {

class HalfbandFir {
public:
    static constexpr int length = 33;
    static const std::array<double, length> kernel;

    // Returns the kernel applied to the history as it stands, then stores x as the newest value.
    double push(double x) noexcept;

    void reset() noexcept { history.fill(0.0); }

private:
    std::array<double, length> history{}; // newest first
};

} // namespace treskpro
