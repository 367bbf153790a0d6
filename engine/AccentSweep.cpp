#include "engine/AccentSweep.h"

#include "engine/EnvelopeCoefficients.h"

namespace treskpro {

bool makeAccentOn(const float* accentSocket, const float* sequencerAccent, float accentManual,
                  float* accentOn, int count) noexcept {
    const float* source = accentSocket ? accentSocket : sequencerAccent;
    // Without a branch in the loop (no early exit from the search) it runs four samples to an
    // instruction.
    int any = 0;
    for (int i = 0; i < count; ++i) {
        const float a = (source ? source[i] : 0.0f) + accentManual;
        accentOn[i] = a > 0.0f ? 1.0f : 0.0f;
        any |= a > 0.0f ? 1 : 0;
    }
    return any != 0;
}

void AccentSweep::setCoefficients(float resonance, float accentDecay, float sampleRate) noexcept {
    charge = accentChargeCoefficient(resonance, sampleRate);
    discharge = accentDischargeCoefficient(accentDecay, sampleRate);
}

void AccentSweep::process(const float* filterEnvelope, const float* accentOn, float accentAmount,
                          float* sweep, int count) noexcept {
    double state = u;
    int i = 0;
    while (i < count) {
        if (accentOn[i] == 1.0f) {
            const double target = static_cast<double>(accentAmount) * filterEnvelope[i];
            if (target > state)
                follow(state, target, charge, offset);
            else
                follow(state, 0.0, discharge, offset);
            sweep[i] = static_cast<float>(state);
            ++i;
            continue;
        }
        // Between accents the sweep only discharges: the run is found first and followed with
        // the follower's own operations, its two offsets' pushes worked out once.
        int end = i + 1;
        while (end < count && accentOn[end] != 1.0f)
            ++end;
        const double keep = 1.0 - discharge;
        const double pushFirst = discharge * (0.0 + offset.value);
        const double pushSecond = discharge * (0.0 + -offset.value);
        for (; i + 1 < end; i += 2) {
            state = keep * state + pushFirst;
            sweep[i] = static_cast<float>(state);
            state = keep * state + pushSecond;
            sweep[i + 1] = static_cast<float>(state);
        }
        if (i < end) {
            state = keep * state + pushFirst;
            sweep[i] = static_cast<float>(state);
            offset.next();
            ++i;
        }
    }
    u = state;
}

void AccentSweep::reset() noexcept {
    u = 0.0;
    offset = {};
}

} // namespace treskpro
