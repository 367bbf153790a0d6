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
        for (int k = 0; k < exp2TableSize; ++k) {
            exp2[static_cast<std::size_t>(k)] = static_cast<float>(
                std::exp2(static_cast<double>(k - exp2TableCentre) / exp2StepsPerOctave));
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
