#include "engine/PitchTables.h"

#include <cmath>

namespace treskpro {

namespace {

struct PitchTables {
    std::array<float, noteCount> noteFrequency{};
    std::array<float, exp2TableSize> exp2{};
    std::array<float, logFrequencyTableSize> logFrequency{};

    PitchTables() {
        // Accumulated in double so the top notes carry no float rounding drift.
        double frequency = 8.175798915636872;
        for (float& entry : noteFrequency) {
            entry = static_cast<float>(frequency);
            frequency *= 1.059463094359;
        }
        // One octave of fractions, repeated an octave apart by halving and doubling: scaling by
        // two is exact, so every entry is the one exp2 of its own exponent gives, at a sixteenth
        // of the cost at start-up.
        constexpr auto stepsPerOctave = static_cast<std::size_t>(exp2StepsPerOctave);
        constexpr auto centre = static_cast<std::size_t>(exp2TableCentre);
        for (std::size_t j = 0; j < stepsPerOctave; ++j) {
            const double value = std::exp2(static_cast<double>(j) / exp2StepsPerOctave);
            double up = value;
            for (std::size_t k = centre + j; k < exp2.size(); k += stepsPerOctave, up *= 2.0)
                exp2[k] = static_cast<float>(up);
            double down = value * 0.5;
            for (std::size_t k = centre + j; k >= stepsPerOctave; down *= 0.5) {
                k -= stepsPerOctave;
                exp2[k] = static_cast<float>(down);
            }
        }
        const double scale = 1.0 / std::log(static_cast<double>(logFrequencyTableSize));
        logFrequency[0] = 0.0f;
        for (int k = 1; k < logFrequencyTableSize; ++k)
            logFrequency[static_cast<std::size_t>(k)] = static_cast<float>(std::log(k) * scale);
    }
};

const PitchTables& tables() {
    static const PitchTables shared;
    return shared;
}

} // namespace

const std::array<float, noteCount>& noteFrequencyTable() {
    return tables().noteFrequency;
}

const std::array<float, exp2TableSize>& exp2Table() {
    return tables().exp2;
}

const std::array<float, logFrequencyTableSize>& logFrequencyTable() {
    return tables().logFrequency;
}

} // namespace treskpro
