// Band-limited single-cycle tables for the oscillators and the modulation generator, built by
// additive synthesis: one table per range of periods, each holding only the harmonics that stay
// below half the base sample rate for the shortest period of its range.
#pragma once

#include <complex>
#include <cstdint>
#include <vector>

namespace treskpro::wavetables {

enum class Waveform {
    Saw,      // rising ramp -0.5..0.5, falling edge at phase 0
    Square,   // -0.5 for the first half cycle, +0.5 for the second
    Triangle, // -1..1, rising through 0 at phase 0 (its smoothest table is the sine)
    MgSaw,    // falling ramp 1..-1
    MgSquare, // -1 for the first half cycle, +1 for the second
};

struct GeneratedSet {
    std::vector<std::uint8_t> periodMap; // period in base-rate samples -> table
    std::vector<std::vector<float>> tables;
};

// Periods in base-rate samples covered by the map; longer periods use its last entry.
inline constexpr int mapCount = 4096;

// The most harmonics a table may hold when it plays periods of `shortestPeriod` samples and
// longer: every harmonic below half the sample rate, but at least the fundamental.
int harmonicLimit(int shortestPeriod);

// In-place radix-2 Fourier transform without scaling (size a power of two): sign -1 forward,
// +1 inverse.
void fourierTransform(std::vector<std::complex<double>>& data, int sign);

// A table length that keeps the error of linear interpolation far below audibility for
// `harmonics` harmonics (a power of two).
int tableLength(int harmonics);

// One cycle of `waveform` with harmonics 1..harmonics, `length` samples.
std::vector<float> cycle(Waveform waveform, int harmonics, int length);

// The whole set for a waveform: the period map and its tables.
GeneratedSet generate(Waveform waveform);

} // namespace treskpro::wavetables
