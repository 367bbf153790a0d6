// A ring modulator for control or audio blocks: the product of its two inputs.
#pragma once

#include "engine/Module.h"

namespace treskpro {

class MultiplierModule : public Module {
public:
    enum Input { First, Second };
    enum Output { Product };

    // Writes input 0 x input 1 per sample; 0 while either input is not connected. Audio thread.
    void process(int count) noexcept override;

    // Nothing to clear; present for the common module shape. Audio thread.
    void reset() noexcept {}
};

} // namespace treskpro
