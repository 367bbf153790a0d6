// One channel of the stereo delay: a 65536-sample ring whose read position glides towards its
// target, so that turning the time knob bends the pitch of the echoes like a tape delay instead
// of clicking.
#pragma once

#include <cstdlib>
#include <memory>

namespace treskpro {

class DelayLine {
public:
    static constexpr int length = 65536;

    // The ring comes from the system zeroed and untouched: an instance whose delay never runs
    // keeps its 256 KiB out of resident memory. Throws std::bad_alloc when memory runs out.
    // Not audio thread.
    DelayLine();

    // Target position as a fraction of the ring: the delay is length x (1 - position) samples.
    void setTarget(double position) noexcept { target = position; }
    void setFeedback(float amount) noexcept { feedback = amount; }

    // Runs `count` samples of `channel` through the line and adds amount x echo to it. With a
    // time block (the "Delay time" socket), each sample's target follows
    // 1 - clamp(|0.99 cv| x time + 0.01, 0, 1). Audio thread.
    void process(float* channel, int count, float amount, const float* timeCv, float time) noexcept;

    // Silence in the ring; position and write index stay. A ring nothing was written to since
    // it was last silent is left untouched. Audio thread.
    void clear() noexcept;
    // Silence, and the read position back at its target (the middle if the target is no
    // number): nothing of the line's past survives, a position gone bad included. Audio thread,
    // or any thread while the host does not process.
    void reset() noexcept;

    double position() const noexcept { return readPosition; }
    void jumpToTarget() noexcept { readPosition = target; }

private:
    struct Free {
        void operator()(float* block) const noexcept { std::free(block); }
    };
    std::unique_ptr<float[], Free> buffer;
    bool written = false; // the ring may hold something other than silence
    int writeIndex = 0;
    double readPosition = 0.5;
    double target = 0.5;
    float feedback = 0.0f;
};

} // namespace treskpro
