// Brings the 2x-rate oscillator mix down to the base sample rate through the half-band FIR.
#pragma once

#include "engine/Module.h"

#include <array>

namespace treskpro {

class DecimatorModule : public Module {
public:
    enum Input { Signal };
    enum Output { Decimated };

    // Reads 2 x `count` samples at the 2x rate and writes `count` base-rate samples (twice the
    // filtered value, which makes up for the mix's factor 0.5). Audio thread.
    void process(int count) noexcept override;

    // Clears the filter history. Audio thread.
    void reset() noexcept;

private:
    // process() by the kernel the processor runs best (FastKernels.h).
    void processBody(int count) noexcept;
    void processFast(int count) noexcept;

    // The half-band kernel's taps away from the centre all sit at odd distances, so each
    // output needs the even 2x sample eight outputs back and the sixteen odd samples around
    // it. The block is worked through in pieces, each stream behind its history: every output
    // is then a straight sum over neighbouring entries, which the compiler can vectorise.
    static constexpr int piece = 64;
    static constexpr int evenHistory = 8;
    static constexpr int oddHistory = 16;
    // Held in double precision, as the sums read them: each sample is widened once on arrival
    // instead of once for every tap that reads it.
    std::array<double, evenHistory + piece> evens{};
    std::array<double, oddHistory + piece> odds{};
};

} // namespace treskpro
