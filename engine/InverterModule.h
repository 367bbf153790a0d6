// An inverter for patch cables: either -x, or 1 - x limited to 0..1 (turning a rising unipolar
// control into a falling one).
#pragma once

#include "engine/Module.h"

#include <cstdint>

namespace treskpro {

class InverterModule : public Module {
public:
    enum Input { Signal };
    enum Output { Inverted };

    // Runs `count` samples; the output is 0 while the input is not connected. Audio thread.
    void process(int count) noexcept override;

    // Nothing to clear; present for the common module shape. Audio thread.
    void reset() noexcept {}

    // Mode set: 1 - x limited to 0..1; mode clear: -x. Audio thread, every sub-block.
    void setMode(bool unipolar) noexcept { mode = unipolar ? 1 : 0; }

private:
    std::int32_t mode = 0;
};

} // namespace treskpro
