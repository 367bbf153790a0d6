#include "engine/NoiseModule.h"

#include "engine/FastKernels.h"
#include "sequencer/Random15.h"

#include <algorithm>
#include <chrono>

namespace treskpro {

namespace {
// Per thread, so that instances on different threads never race on the generator.
thread_local Random15 randomState;
} // namespace

int NoiseModule::random() noexcept {
    return randomState.next();
}

void NoiseModule::seedRandom(std::uint32_t seed) noexcept {
    randomState.state = seed;
}

void NoiseModule::seedRandomFromClock() noexcept {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    seedRandom(
        static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::seconds>(now).count()));
}

TRESKPRO_KERNEL_BODY void NoiseModule::processBody(int count) noexcept {
    const float* modulation = inputs[ColourModulation];
    float* out = outputs[Noise];
    const double baseColour = std::clamp(static_cast<double>(colour), 0.0, 1.0);
    double y1 = first;
    double y2 = second;
    // A local copy: thread-local storage may cost a call per access on some platforms.
    Random15 generator = randomState;
    // The generator's 0..32767 spread over -1..1 (a little beyond, as the tables were tuned):
    // (6 x 10923 x r / 32767 - 3 x 10922) x 3.0518509e-5 in one multiply and one subtract,
    // without a division per sample.
    constexpr double spread = 6.0 * 10923.0 / 32767.0 * 3.0518509e-5;
    constexpr double centre = 3.0 * 10922.0 * 3.0518509e-5;
    const auto white = [&] { return generator.next() * spread - centre; };
    int i = 0;
    if (!modulation) {
        // A steady colour: two samples at a time. Each follower's chain from one pair to the
        // next is then one multiply and one add, y(n + 2) = k^2 y(n) + terms known beforehand,
        // where one sample after the other takes two of each; the first sample of the pair is
        // worked out beside it. A pair uses each offset once as it stands and once negated.
        const double a = baseColour;
        const double k = 1.0 - a;
        const double o1 = firstOffset.value;
        const double o2 = secondOffset.value;
        for (; i + 2 <= count; i += 2) {
            const double w0 = a * (white() + o1);
            const double w1 = a * (white() - o1);
            const double y1First = k * y1 + w0;
            y1 = (k * k) * y1 + (k * w0 + w1);
            const double v0 = a * (y1First + o2);
            const double v1 = a * (y1 - o2);
            const double y2First = k * y2 + v0;
            y2 = (k * k) * y2 + (k * v0 + v1);
            if (out) {
                out[i] = static_cast<float>(y2First);
                out[i + 1] = static_cast<float>(y2);
            }
        }
    }
    for (; i < count; ++i) {
        double a = baseColour;
        if (modulation)
            a = std::clamp(baseColour + 0.5 * modulation[i], 0.0, 1.0);
        follow(y1, white(), a, firstOffset);
        follow(y2, y1, a, secondOffset);
        if (out)
            out[i] = static_cast<float>(y2);
    }
    randomState = generator;
    first = y1;
    second = y2;
}

#ifdef TRESKPRO_FAST_KERNELS
TRESKPRO_FAST_TARGET void NoiseModule::processFast(int count) noexcept {
    processBody(count);
}
#endif

void NoiseModule::process(int count) noexcept {
#ifdef TRESKPRO_FAST_KERNELS
    if (fastKernels()) {
        processFast(count);
        return;
    }
#endif
    processBody(count);
}

void NoiseModule::reset() noexcept {
    first = 0.0;
    second = 0.0;
    firstOffset = {};
    secondOffset = {};
}

} // namespace treskpro
