// Spectrum measurement for the DSP tests: the wavetable generator's FFT, the 4-term Blackman-Harris
// window and pitch by zero crossings.
#pragma once

#include "tools/wavetables/WavetableGenerator.h"

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

namespace treskpro::test {

// Magnitudes of bins 0..size/2 of `samples` (a power of two long), without a window.
inline std::vector<double> magnitudes(const std::vector<double>& samples) {
    const std::size_t size = samples.size();
    std::vector<std::complex<double>> data(samples.begin(), samples.end());
    wavetables::fourierTransform(data, -1);
    std::vector<double> result(size / 2 + 1);
    for (std::size_t k = 0; k < result.size(); ++k)
        result[k] = std::abs(data[k]);
    return result;
}

// `samples` times the 4-term Blackman-Harris window (side lobes about 92 dB down, main lobe
// four bins either side).
inline std::vector<double> windowed(const std::vector<float>& samples) {
    const double n = static_cast<double>(samples.size());
    std::vector<double> result(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double x = 2.0 * std::numbers::pi * static_cast<double>(i) / n;
        const double w = 0.35875 - 0.48829 * std::cos(x) + 0.14128 * std::cos(2.0 * x) -
                         0.01168 * std::cos(3.0 * x);
        result[i] = w * samples[i];
    }
    return result;
}

// The loudest component that is not a harmonic of `fundamental` (Hz) nor DC, in dB relative to
// the fundamental, for `samples` at `sampleRate`.
inline double worstInharmonicDb(const std::vector<float>& samples, double sampleRate,
                                double fundamental) {
    const std::vector<double> spectrum = magnitudes(windowed(samples));
    const double binWidth = sampleRate / static_cast<double>(samples.size());
    constexpr double guardBins = 6.0; // the window's main lobe and a little leakage
    double peak = 0.0;
    double worst = 0.0;
    for (std::size_t k = 0; k < spectrum.size(); ++k) {
        const double frequency = static_cast<double>(k) * binWidth;
        const double harmonic = std::round(frequency / fundamental);
        const bool nearHarmonic =
            std::abs(frequency - harmonic * fundamental) <= guardBins * binWidth;
        if (nearHarmonic && harmonic == 1.0)
            peak = std::max(peak, spectrum[k]);
        else if (!nearHarmonic)
            worst = std::max(worst, spectrum[k]);
    }
    return 20.0 * std::log10(std::max(worst, 1e-300) / peak);
}

// Frequency in Hz from the rising zero crossings of `samples`, interpolated between samples.
inline double zeroCrossingFrequency(const std::vector<float>& samples, double sampleRate) {
    double first = -1.0;
    double last = -1.0;
    int crossings = 0;
    for (std::size_t i = 1; i < samples.size(); ++i) {
        if (samples[i - 1] < 0.0f && samples[i] >= 0.0f) {
            const double t = static_cast<double>(i - 1) +
                             samples[i - 1] / static_cast<double>(samples[i - 1] - samples[i]);
            if (first < 0.0)
                first = t;
            last = t;
            ++crossings;
        }
    }
    if (crossings < 2)
        return 0.0;
    return (crossings - 1) * sampleRate / (last - first);
}

inline double cents(double measured, double expected) {
    return 1200.0 * std::log2(measured / expected);
}

} // namespace treskpro::test
