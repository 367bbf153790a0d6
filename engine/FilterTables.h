// The filter's lookup tables: cutoff control to ladder coefficient, the resonance and gain
// compensation over that coefficient, and the saturation curve. Built once per process and
// shared read-only by every voice of every instance.
#pragma once

#include <array>

namespace treskpro {

inline constexpr int cutoffTableSize = 2048;
inline constexpr int compensationTableSize = 512;
inline constexpr int saturationTableSize = 1024;

using CutoffTable = std::array<float, cutoffTableSize>;
using CompensationTable = std::array<float, compensationTableSize>;
using SaturationTable = std::array<float, saturationTableSize>;

// Cutoff control x 1024 -> coefficient: e^(5 + 5 j / 1024) / 22050 - 0.0027, limited to 0..1.
// Built on first use (thread-safe); any thread.
const CutoffTable& cutoffTable();

// 256 x coefficient -> feedback scale that keeps the resonance even across the range. Any
// thread.
const CompensationTable& resonanceTable();

// 256 x coefficient -> output gain that makes up for the level resonance takes away. Any
// thread.
const CompensationTable& gainTable();

// The resonance and gain tables entry by entry, resonance first: the filter looks both up at the
// same position, and reads each lane's four neighbouring values in one load. Any thread.
const std::array<float, 2 * compensationTableSize>& compensationPairs();

// tanh(-4 + j / 128): the Euler model's soft limit. Built on first use; any thread.
const SaturationTable& saturationTable();

} // namespace treskpro
