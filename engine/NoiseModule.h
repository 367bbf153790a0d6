// The noise generator: white noise from a small linear congruential generator, darkened by two
// one-pole low-passes whose coefficient is the colour (1 white, towards 0 ever darker).
#pragma once

#include "engine/Dsp.h"
#include "engine/Module.h"

#include <cstdint>

namespace treskpro {

class NoiseModule : public Module {
public:
    enum Input { ColourModulation };
    enum Output { Noise };

    // Runs `count` samples; input 0 adds half its value to the colour (limited to 0..1).
    // Audio thread.
    void process(int count) noexcept override;

    // Followers back to 0. Audio thread.
    void reset() noexcept;

    // Colour 0..1: the low-pass coefficient. Audio thread, every sub-block.
    void setColour(float value) noexcept { colour = value; }

    // The next value 0..32767 of the calling thread's generator. Any thread.
    static int random() noexcept;
    // Seeds the calling thread's generator; tests use it for repeatable noise. Any thread.
    static void seedRandom(std::uint32_t seed) noexcept;
    // Seeds the calling thread's generator from the clock (each voice does so when it is
    // built). Any thread.
    static void seedRandomFromClock() noexcept;

private:
    // process() by the kernel the processor runs best (FastKernels.h).
    // `wide`: the fast kernel's eight-lane white pass where there is one.
    void processBody(int count, bool wide) noexcept;
    void processFast(int count) noexcept;

    float colour = 0.0f;
    double first = 0.0;
    double second = 0.0;
    AlternatingOffset<double> firstOffset;
    AlternatingOffset<double> secondOffset;
};

} // namespace treskpro
