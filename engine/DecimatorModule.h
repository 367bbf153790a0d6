// Brings the 2x-rate oscillator mix down to the base sample rate through the half-band FIR.
#pragma once

#include "engine/HalfbandFir.h"
#include "engine/Module.h"

namespace treskpro {

class DecimatorModule : public Module {
public:
    enum Input { Signal };
    enum Output { Decimated };

    // Reads 2 x `count` samples at the 2x rate and writes `count` base-rate samples (twice the
    // filtered value, which makes up for the mix's factor 0.5). Audio thread.
    void process(int count) noexcept override;

    // Clears the filter history. Audio thread.
    void reset() noexcept { fir.reset(); }

private:
    HalfbandFir fir;
};

} // namespace treskpro
