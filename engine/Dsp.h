// Small building blocks every engine module shares.
#pragma once

#include <cmath>

namespace treskpro {

// The denormal guard of every one-pole follower: an offset of 1e-5 whose sign flips after each
// use, so a decaying state never settles into denormal numbers during silence.
template <typename T> struct AlternatingOffset {
    T value = T(1e-5);

    // The offset for this use; the next call returns it negated.
    T next() {
        const T current = value;
        value = -value;
        return current;
    }
};

// One step of the one-pole follower y <- y + c (x + o - y), written (1 - c) y + c (x + o): one
// multiply and one add between one sample's state and the next, where the plain form has a
// subtract as well. Followers are the chains that bound most per-sample loops.
template <typename T, typename U>
inline void follow(T& state, U target, T coefficient, AlternatingOffset<T>& offset) {
    state = (T(1) - coefficient) * state + coefficient * (static_cast<T>(target) + offset.next());
}

// ln(10): exponential segments are specified by the time they take to cover 90 % of the way.
inline constexpr double ln10 = 2.302585092994046;

// Linear interpolation in a table at a fractional position: index = position truncated toward
// zero, value = (1 - f) T[i] + f T[i + 1]. A position between -1 and 0 keeps its negative
// fraction (the tables were tuned with it); a position at or below -1 (or NaN) reads entry 0,
// and a position at or past the last entry reads the last entry instead of running past it.
inline float interpolate(const float* table, int size, double position) {
    if (!(position > -1.0))
        return table[0];
    if (position >= static_cast<double>(size - 1))
        return table[size - 1];
    const int index = static_cast<int>(position);
    const double fraction = position - index;
    return static_cast<float>((1.0 - fraction) * table[index] + fraction * table[index + 1]);
}

// Sine for the per-sample paths (the waveshaper runs four at a time with the same reduction and
// polynomial, see Lanes.h): the argument is folded into -pi/2..pi/2 and an odd polynomial of
// degree 9 does the rest, within 4e-6 of the true sine (far below hearing) for any argument up
// to a billion radians, and the same on every platform. The polynomial is evaluated in two
// halves side by side, so a sine takes half the time of the chain of multiply-adds one after
// another. Non-finite arguments give 0.
inline double fastSine(double x) {
    constexpr double pi = 3.141592653589793;
    constexpr double inversePi = 1.0 / pi;
    if (!(std::fabs(x) < 1e9))
        return 0.0;
    // x = k pi + r with |r| <= pi/2; sin(x) = (-1)^k sin(r). Rounding by truncation of a shifted
    // value: one conversion instruction, where the library's rounding functions are calls on
    // processors without SSE4.1. No branch depends on the signal: audio crosses zero far too
    // often for a branch predictor.
    const double shifted = x * inversePi;
    const auto k = static_cast<long long>(shifted + std::copysign(0.5, shifted));
    const double r = (x - static_cast<double>(k) * pi) * static_cast<double>(1 - 2 * (k & 1));
    const double r2 = r * r;
    const double r4 = r2 * r2;
    const double low = 1.0 - 1.6666666666666666e-1 * r2;
    const double high = 8.3333333333333332e-3 - 1.9841269841269841e-4 * r2;
    return r * (low + r4 * (high + 2.7557319223985893e-6 * r4));
}

} // namespace treskpro
