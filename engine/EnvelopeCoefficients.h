// Parameter-to-coefficient mappings of the envelopes, the accent sweep and glide: knob values
// 0..1 become segment times in seconds, and times become per-sample increments and one-pole
// coefficients at the current sample rate.
#pragma once

#include "engine/Dsp.h"

#include <algorithm>
#include <cmath>

namespace treskpro {

// Exponents that set the shortest time of each knob: e^-9 s for attack, e^-8 s for decay and
// accent decay, e^-7 s for release; every knob reaches e^4 = 54.6 s at its top.
inline constexpr double attackTimeScale = 9.0;
inline constexpr double decayTimeScale = 8.0;
inline constexpr double releaseTimeScale = 7.0;

// Segment time in seconds for knob value x (0..1): e^(4x - k(1 - x)). Any thread.
inline double envelopeTime(double x, double k) {
    return std::exp(4.0 * x - k * (1.0 - x));
}

// One-pole coefficient that covers 90 % of the distance to the target in `seconds`. At very low
// sample rates the shortest times would ask for more than a whole step per sample, which makes
// the follower overshoot or diverge; the coefficient stops at 1 (the target in one sample).
// Any thread.
inline double ninetyPercentCoefficient(double seconds, double sampleRate) {
    return std::min(1.0, ln10 / (sampleRate * seconds));
}

// Per-sample rise of the linear attack from 0 to 1 for the attack knob (0..1). Any thread.
inline float attackIncrement(float attack, float sampleRate) {
    return static_cast<float>(1.0 / (sampleRate * envelopeTime(attack, attackTimeScale)));
}

// Decay coefficient for the decay knob (0..1). Any thread.
inline float decayCoefficient(float decay, float sampleRate) {
    return static_cast<float>(
        ninetyPercentCoefficient(envelopeTime(decay, decayTimeScale), sampleRate));
}

// Decay coefficient of the filter envelope on accented notes for "Accent Decay" (0..1): the
// decay mapping. Any thread.
inline float accentDecayCoefficient(float accentDecay, float sampleRate) {
    return decayCoefficient(accentDecay, sampleRate);
}

// Release coefficient for the release knob (0..1). Any thread.
inline float releaseCoefficient(float release, float sampleRate) {
    return static_cast<float>(
        ninetyPercentCoefficient(envelopeTime(release, releaseTimeScale), sampleRate));
}

// Glide coefficient for "Glide time" G (0..1): 90 % of an interval in 10 ms at 0, in 1 s at 1.
// Any thread.
inline double glideCoefficient(float glideTime, float sampleRate) {
    const double rate = glideTime + 100.0 * (1.0 - glideTime);
    return std::min(1.0, ln10 / sampleRate * rate);
}

// How fast the accent sweep charges towards the envelope for "Filter Resonance" (0..1): within
// 0.52 ms up to half resonance, then slower up to 61 ms at full resonance, so that closely
// spaced accents pile up the way a charging capacitor does. Any thread.
inline double accentChargeCoefficient(float resonance, float sampleRate) {
    const double h = resonance < 0.5f ? 0.0 : std::sqrt(2.0 * (resonance - 0.5));
    return ninetyPercentCoefficient(0.061 * h + 0.00052 * (1.0 - h), sampleRate);
}

// How fast the accent sweep discharges for "Accent Decay" d (0..1): from 0.52 ms to 1 s.
// Any thread.
inline double accentDischargeCoefficient(float accentDecay, float sampleRate) {
    const double d = accentDecay;
    return ninetyPercentCoefficient(0.00052 * (1.0 - d) + d, sampleRate);
}

} // namespace treskpro
