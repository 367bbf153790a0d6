// The 15-bit linear congruential generator that noise, the pattern randomizers and the
// sample-and-hold draw from: state = state x 214013 + 2531011 (mod 2^32), each draw the bits
// 16..30 of the new state, 0..32767.
#pragma once

#include <cstdint>

namespace treskpro {

struct Random15 {
    static constexpr int maximum = 32767;

    std::uint32_t state = 1;

    int next() noexcept {
        state = state * 214013u + 2531011u;
        return static_cast<int>((state >> 16) & 32767u);
    }
};

} // namespace treskpro
