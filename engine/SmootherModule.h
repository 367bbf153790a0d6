// Four parameter smoothers: each channel glides its output block towards a target that the
// render loop sets once per slice, so knob moves never step.
#pragma once

#include "engine/Dsp.h"
#include "engine/Module.h"

#include <array>
#include <cstdint>

namespace treskpro {

class SmootherModule : public Module {
public:
    static constexpr int channelCount = 4;

    // Writes `count` smoothed samples of each channel to its output block (unconnected
    // channels still move). A settled channel's block already holding its value is left as it
    // is, so nothing else may write the output blocks. Audio thread.
    void process(int count) noexcept override;

    // Every channel at 0. Audio thread.
    void reset() noexcept;

    // Target of channel 0..3. Audio thread, every slice.
    void setTarget(int channel, float value) noexcept;
    // One-pole coefficient of channel 0..3 (1 jumps to the target). Audio thread, every slice.
    void setCoefficient(int channel, float coefficient) noexcept;
    // Current value of channel 0..3. Audio thread.
    float value(int channel) const noexcept;

private:
    struct Channel {
        float target = 0.0f;
        float coefficient = 1.0f;
        float state = 0.0f;
        AlternatingOffset<float> offset;
        // The block that already holds `filledCount` samples of the settled value (its bits),
        // or null: a channel at rest writes its block once, not every slice.
        const float* filled = nullptr;
        int filledCount = 0;
        std::uint32_t filledBits = 0;
    };
    std::array<Channel, channelCount> channels{};
};

} // namespace treskpro
