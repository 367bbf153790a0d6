#include "tools/wavetables/WavetableGenerator.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace treskpro::wavetables {

namespace {

// Sine coefficient of harmonic n (the cycle is the sum of b_n sin(2 pi n phase)).
double coefficient(Waveform waveform, int n) {
    const double pi = std::numbers::pi;
    const bool odd = n % 2 == 1;
    switch (waveform) {
    case Waveform::Saw:
        return -1.0 / (pi * n);
    case Waveform::Square:
        return odd ? -2.0 / (pi * n) : 0.0;
    case Waveform::Triangle:
        return odd ? (n % 4 == 1 ? 8.0 : -8.0) / (pi * pi * n * n) : 0.0;
    case Waveform::MgSaw:
        return 2.0 / (pi * n);
    case Waveform::MgSquare:
        return odd ? -4.0 / (pi * n) : 0.0;
    }
    return 0.0;
}

// First periods of each table's range: the sine for everything up to 4 samples, then a new
// table wherever one more harmonic fits, and above 32 samples eight tables per octave.
std::vector<int> rangeStarts() {
    std::vector<int> starts = {0};
    for (int period = 5; period < 32; period += 2)
        starts.push_back(period);
    for (int step = 0;; ++step) {
        const int period = static_cast<int>(std::lround(32.0 * std::exp2(step / 8.0)));
        if (period >= mapCount)
            break;
        if (period > starts.back())
            starts.push_back(period);
    }
    return starts;
}

} // namespace

int harmonicLimit(int shortestPeriod) {
    // Harmonic n of a period of p samples lies at n / p of the sample rate: below one half
    // means n < p / 2.
    const int limit = (shortestPeriod + 1) / 2 - 1;
    return limit > 1 ? limit : 1;
}

int tableLength(int harmonics) {
    // Linear interpolation leaves images of harmonic n about (n / length)^2 below it; for a saw
    // the worst is n / length^2 below the fundamental. 316 sqrt(n) keeps that under -100 dB.
    const double wanted =
        std::max(316.0 * std::sqrt(static_cast<double>(harmonics)), 4.0 * harmonics);
    int length = 256;
    while (length < wanted)
        length *= 2;
    return length;
}

std::vector<float> cycle(Waveform waveform, int harmonics, int length) {
    std::vector<std::complex<double>> spectrum(static_cast<std::size_t>(length));
    for (int n = 1; n <= harmonics && n < length / 2; ++n)
        spectrum[static_cast<std::size_t>(n)] = coefficient(waveform, n);
    fourierTransform(spectrum, +1);
    std::vector<float> samples(static_cast<std::size_t>(length));
    for (std::size_t k = 0; k < samples.size(); ++k)
        samples[k] = static_cast<float>(spectrum[k].imag());
    return samples;
}

GeneratedSet generate(Waveform waveform) {
    GeneratedSet set;
    const std::vector<int> starts = rangeStarts();
    set.periodMap.resize(mapCount);
    for (std::size_t t = 0; t < starts.size(); ++t) {
        const int harmonics = harmonicLimit(starts[t]);
        set.tables.push_back(cycle(waveform, harmonics, tableLength(harmonics)));
        const int end = t + 1 < starts.size() ? starts[t + 1] : mapCount;
        for (int period = starts[t]; period < end; ++period)
            set.periodMap[static_cast<std::size_t>(period)] = static_cast<std::uint8_t>(t);
    }
    return set;
}

void fourierTransform(std::vector<std::complex<double>>& data, int sign) {
    const std::size_t size = data.size();
    for (std::size_t i = 1, j = 0; i < size; ++i) {
        std::size_t bit = size >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(data[i], data[j]);
    }
    for (std::size_t span = 2; span <= size; span <<= 1) {
        const double angle = sign * 2.0 * std::numbers::pi / static_cast<double>(span);
        for (std::size_t start = 0; start < size; start += span) {
            for (std::size_t k = 0; k < span / 2; ++k) {
                // Each twiddle computed afresh: no error accumulates along a long transform.
                const std::complex<double> twiddle =
                    std::polar(1.0, angle * static_cast<double>(k));
                const std::complex<double> odd = data[start + k + span / 2] * twiddle;
                data[start + k + span / 2] = data[start + k] - odd;
                data[start + k] += odd;
            }
        }
    }
}

} // namespace treskpro::wavetables
