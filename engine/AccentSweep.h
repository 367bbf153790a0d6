// The accent circuit: which samples are accented, and the sweep that follows the filter
// envelope on accented notes like a capacitor, adding to cutoff and volume. One sweep exists per
// plug-in object; every voice runs through the same state in turn.
#pragma once

#include "engine/Dsp.h"

#include <cmath>

namespace treskpro {

// Writes 1 to accentOn[i] where (accent socket, or the sequencer's accent when the socket is
// not connected) + manual accent is above 0, else 0; returns whether any sample is accented.
// Audio thread, once per slice.
bool makeAccentOn(const float* accentSocket, const float* sequencerAccent, float accentManual,
                  float* accentOn, int count) noexcept;

class AccentSweep {
public:
    // Charge and discharge rates from "Filter Resonance" and "Accent Decay" (0..1) at
    // `sampleRate` Hz. Audio thread, every slice.
    void setCoefficients(float resonance, float accentDecay, float sampleRate) noexcept;

    // Runs `count` samples after a voice's envelopes: on accented samples the sweep charges
    // towards accentAmount x filter envelope while below it, otherwise it discharges towards 0.
    // Writes the sweep to `sweep`. Audio thread.
    void process(const float* filterEnvelope, const float* accentOn, float accentAmount,
                 float* sweep, int count) noexcept;

    // Discharged. Audio thread.
    void reset() noexcept;

    // Current sweep level. Audio thread.
    double value() const noexcept { return u; }

    // Discharged down to the denormal guard's jitter (a few millionths). Audio thread.
    bool atRest() const noexcept { return std::fabs(u) < 1e-5; }

private:
    double u = 0.0;
    AlternatingOffset<double> offset;
    double charge = 0.0;
    double discharge = 0.0;
};

} // namespace treskpro
