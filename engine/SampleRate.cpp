#include "engine/SampleRate.h"

#include <atomic>
#include <cmath>

namespace treskpro {

namespace {
std::atomic<float> sharedRate{44100.0f};
} // namespace

void setEngineSampleRate(float rate) {
    if (!(rate > 0.0f) || !std::isfinite(rate))
        return;
    sharedRate.store(rate, std::memory_order_relaxed);
}

SampleRateConstants engineSampleRate() {
    const float rate = sharedRate.load(std::memory_order_relaxed);
    return {rate, 1.0f / rate, 44100.0f / rate};
}

} // namespace treskpro
