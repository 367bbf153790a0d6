#include "engine/SmootherModule.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace treskpro {

namespace {
// Closer than this, a further step is below what the follower's offset moves it anyway.
constexpr float settledDistance = 2e-5f;

bool validChannel(int channel) {
    return channel >= 0 && channel < SmootherModule::channelCount;
}
} // namespace

void SmootherModule::process(int count) noexcept {
    for (int k = 0; k < channelCount; ++k) {
        Channel& channel = channels[static_cast<std::size_t>(k)];
        float* out = outputs[static_cast<std::size_t>(k)];
        const float target = channel.target;
        const float c = channel.coefficient;
        float state = channel.state;
        // A channel that has arrived stays within the denormal guard's reach of its target
        // (about 1e-5): it holds still, which costs a fill instead of a follower per sample.
        if (std::fabs(target - state) <= settledDistance) {
            const std::uint32_t bits = std::bit_cast<std::uint32_t>(state);
            if (out && !(out == channel.filled && count <= channel.filledCount &&
                         bits == channel.filledBits)) {
                std::fill_n(out, count, state);
                channel.filled = out;
                channel.filledCount = count;
                channel.filledBits = bits;
            }
            continue;
        }
        channel.filled = nullptr;
        for (int i = 0; i < count; ++i) {
            state += c * (target + channel.offset.next() - state);
            if (out)
                out[i] = state;
        }
        channel.state = state;
    }
}

void SmootherModule::reset() noexcept {
    for (Channel& channel : channels) {
        channel.state = 0.0f;
        channel.offset = {};
        channel.filled = nullptr;
    }
}

void SmootherModule::setTarget(int channel, float value) noexcept {
    if (validChannel(channel))
        channels[static_cast<std::size_t>(channel)].target = value;
}

void SmootherModule::setCoefficient(int channel, float coefficient) noexcept {
    if (validChannel(channel))
        channels[static_cast<std::size_t>(channel)].coefficient = coefficient;
}

float SmootherModule::value(int channel) const noexcept {
    return validChannel(channel) ? channels[static_cast<std::size_t>(channel)].state : 0.0f;
}

} // namespace treskpro
