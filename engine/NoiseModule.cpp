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
    for (int i = 0; i < count; ++i) {
        double a = baseColour;
        if (modulation)
            a = std::clamp(baseColour + 0.5 * modulation[i], 0.0, 1.0);
        const double white =
            (6.0 * 10923.0 * (generator.next() / 32767.0) - 3.0 * 10922.0) * 3.0518509e-5;
        follow(y1, white, a, firstOffset);
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
