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
    // Audio thread.
    double push(double x) noexcept {
        const double* newest = history.data() + position;
        // Only the centre and the odd taps are non-zero: 17 multiplications instead of 33.
        double sum = kernel[16] * newest[16];
        for (int k = 1; k < 16; k += 2)
            sum += kernel[static_cast<std::size_t>(16 + k)] * (newest[16 + k] + newest[16 - k]);
        store(x);
        return sum;
    }

    // Stores x as the newest value without evaluating the kernel (the decimator needs only every
    // second result). Audio thread.
    void store(double x) noexcept {
        position = position == 0 ? length - 1 : position - 1;
        history[static_cast<std::size_t>(position)] = x;
        history[static_cast<std::size_t>(position + length)] = x;
    }

    void reset() noexcept {
        history.fill(0.0);
        position = 0;
    }

private:
    // Every value is kept twice, so the newest `length` values always lie contiguously from
    // `position` on (newest first) and nothing moves when a value arrives.
    std::array<double, 2 * length> history{};
    int position = 0;
};

} // namespace treskpro
