// The pitch tables every voice shares: note frequencies, the exponential used for octave offsets
// and the logarithmic frequency scale of the filter's key tracking. Built once per process on
// first use and read-only afterwards, so audio threads read them without synchronisation.
#pragma once

#include <array>

namespace treskpro {

inline constexpr int noteCount = 128;
inline constexpr int exp2TableSize = 16384;
inline constexpr int exp2TableCentre = 8192;
inline constexpr int exp2StepsPerOctave = 1024;
inline constexpr int logFrequencyTableSize = 22050;

// Equal-tempered frequencies in Hz of MIDI notes 0..127 (note 69 = 440 Hz). Any thread.
const std::array<float, noteCount>& noteFrequencyTable();

// Entry k = 2^((k - 8192) / 1024): octave offsets of +-8 octaves addressed from the centre. Any
// thread.
const std::array<float, exp2TableSize>& exp2Table();

// Entry 0 = 0, entry k = ln(k) / ln(22050): a frequency in Hz on a 0..1 logarithmic scale. Any
// thread.
const std::array<float, logFrequencyTableSize>& logFrequencyTable();

} // namespace treskpro
