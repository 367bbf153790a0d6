#include "engine/AccentSweep.h"

#include "engine/EnvelopeCoefficients.h"

namespace treskpro {

bool makeAccentOn(const float* accentSocket, const float* sequencerAccent, float accentManual,
                  float* accentOn, int count) noexcept {
    const float* source = accentSocket ? accentSocket : sequencerAccent;
    bool any = false;
    for (int i = 0; i < count; ++i) {
        const float a = (source ? source[i] : 0.0f) + accentManual;
        accentOn[i] = a > 0.0f ? 1.0f : 0.0f;
        any = any || a > 0.0f;
    }
    return any;
}

void AccentSweep::setCoefficients(float resonance, float accentDecay, float sampleRate) noexcept {
    charge = accentChargeCoefficient(resonance, sampleRate);
    discharge = accentDischargeCoefficient(accentDecay, sampleRate);
}

void AccentSweep::process(const float* filterEnvelope, const float* accentOn, float accentAmount,
                          float* sweep, int count) noexcept {
    double state = u;
    for (int i = 0; i < count; ++i) {
        const double target = static_cast<double>(accentAmount) * filterEnvelope[i];
        if (accentOn[i] == 1.0f && target > state)
            follow(state, target, charge, offset);
        else
            follow(state, 0.0, discharge, offset);
        sweep[i] = static_cast<float>(state);
    }
    u = state;
}

void AccentSweep::reset() noexcept {
    u = 0.0;
    offset = {};
}

} // namespace treskpro
