// The voice's resonant low-pass filter: a four-stage ladder with six models that differ in how
// the resonance feedback is formed and limited and which stages reach the output; one model
// runs the ladder at twice the sample rate between two half-band filters.
#pragma once

#include "engine/Dsp.h"
#include "engine/FastKernels.h"
#include "engine/FilterTables.h"
#include "engine/HalfbandFir.h"
#include "engine/Lanes.h"
#include "engine/Module.h"

#include <array>

namespace treskpro {

class VcfModule : public Module {
public:
    enum Input {
        Audio = 0,
        Cutoff = 1,             // control 0..0.966, one value per sample
        CoefficientScratch = 2, // written by the filter: ladder coefficient per sample
        FeedbackScratch = 3,    // written by the filter: feedback factor per sample
        OutputGainScratch = 4,  // written by the filter: output gain per sample
        ResonanceScratch = 5,   // written by the filter: resonance per sample
        Resonance = 6,          // smoothed resonance control 0..1, one value per sample
    };
    enum Output { Filtered = 0 };
    enum Model {
        Classic24dB = 0,
        Classic18dB = 1,
        Slope18dB = 2,
        Slope24dBSO = 3,
        Euler = 4,
        Oversampled24dBSO = 5,
        modelCount = 6,
    };

    // Resonance amount 0..1 for the block (the block-start "Filter Resonance"); models 0, 1, 4
    // and 5 scale their feedback by it. Audio thread, before process().
    void setResonanceAmount(float amount) noexcept { resonanceAmount = amount; }

    // Filter model; any integer is taken modulo 6, as the model names are, so the filter always
    // has a model to run. Audio thread, before process().
    void setModel(int index) noexcept;

    // Gain applied to the audio input before the ladder (the voice uses 2.0). Audio thread.
    void setInputGain(float gain) noexcept { inputGain = gain; }

    // Wires the four writable scratch blocks (ports 2..5), each holding at least one block of
    // samples. Without them the filter uses small blocks of its own. Audio thread (the voice
    // points it at its slice's blocks).
    void setScratch(float* coefficient, float* feedbackFactor, float* outputGain, float* resonance);

    int currentModel() const noexcept { return model; }

    // Filters `count` samples from input 0 into output 0; nothing happens when output 0 is not
    // wired. Unwired inputs read as silence (audio), control 0 (cutoff) and the resonance
    // amount (resonance). Audio thread; never allocates.
    void process(int count) noexcept override;

    // Up to `groupSize` filters side by side, in the lanes of one register (two pairs where
    // 256-bit code is not built): each gives what its own process(count) would (the fast
    // kernels round their multiply-adds once, a few parts in ten million). Used for model 3 with
    // every input and scratch block wired; any other filter runs on its own. Audio thread.
    static constexpr int groupSize = 4;
    static void processGroup(VcfModule* const* filters, int n, int count) noexcept;

    // Back to the state at construction: stages, feedback, smoothed cutoff and half-band
    // histories zeroed. Notes never call it; the stages ring on across notes. Audio thread.
    void reset() noexcept;

private:
    // Ladder::run()'s step for one filter (double), two side by side (Double2) or four
    // (__m256d): the same operations in the same order, so that each lane gives what its filter
    // alone gives. `keep` is 1 - gain; `offset1` to `offset3` are stages 2 to 4's offsets.
    template <typename V>
    static TRESKPRO_KERNEL_BODY void stepStages(V* y, const V& keep, const V& gain, const V& drive,
                                                const V& offset1, const V& offset2,
                                                const V& offset3, const V& feedbackScale,
                                                const V& feedbackValue) noexcept {
        const V a0 = keep * y[0] + gain * drive;
        const V b1 = keep * y[1] + gain * offset1;
        const V b2 = keep * y[2] + gain * offset2;
        const V b3 = keep * y[3] + gain * offset3;
        const V gain2 = gain * gain;
        const V gain3 = gain2 * gain;
        const V c1 = b1 + gain * a0;
        const V c2 = (b2 + gain * b1) + gain2 * a0;
        const V c3 = (b3 + gain * b2) + (gain2 * b1 + gain3 * a0);
        const V e0 = gain * feedbackScale;
        y[0] = a0 - e0 * feedbackValue;
        y[1] = c1 - (gain * e0) * feedbackValue;
        y[2] = c2 - (gain2 * e0) * feedbackValue;
        y[3] = c3 - (gain3 * e0) * feedbackValue;
    }

    struct Ladder {
        std::array<double, 4> y{};
        std::array<AlternatingOffset<double>, 4> offset{};

        // Runs the four stages with the step gain of rk4Gain(). Stage 1's input is
        // drive - feedbackScale x feedbackValue, drive holding the audio and stage 1's offset.
        //
        // The feedback loop is what limits the speed, so the stages do not wait for one
        // another: each new stage value is affine in the feedback value, y_k = c_k - e_k fb,
        // with c_k and e_k formed from the stages' previous values alone. From the feedback
        // value to the last stage is then one multiply and one subtract instead of four
        // stages in a row.
        void run(double drive, double feedbackValue, double feedbackScale, double gain) noexcept {
            stepStages(y.data(), 1.0 - gain, gain, drive, offset[1].next(), offset[2].next(),
                       offset[3].next(), feedbackScale, feedbackValue);
        }

        // The same step with the stages one after another: for the models whose loops carry
        // their coefficient work inline, where the expanded form's extra multiplies cost more
        // than its shorter chain saves.
        void runInOrder(double drive, double feedbackValue, double feedbackScale,
                        double gain) noexcept {
            const double keep = 1.0 - gain;
            y[0] = (keep * y[0] + gain * drive) - (gain * feedbackScale) * feedbackValue;
            y[1] = (keep * y[1] + gain * offset[1].next()) + gain * y[0];
            y[2] = (keep * y[2] + gain * offset[2].next()) + gain * y[1];
            y[3] = (keep * y[3] + gain * offset[3].next()) + gain * y[2];
        }
    };

    struct Block {
        const float* audio;
        const float* cutoff;
        const float* resonance;
        float* coefficient;
        float* feedbackFactor;
        float* outputGain;
        float* resonanceCopy;
        float* out;
    };

    struct InlineCoefficients {
        double a;        // ladder coefficient
        double feedback; // w 4 R: the feedback scale of the classic models
        double makeup;   // M: output gain
    };

    // The coefficient and both compensation values one sample's pre-pass finds, for the models
    // that form their own feedback and gain from them.
    struct PrePass {
        double a;
        double r;
        double g;
    };

    static constexpr int ownBlockLength = 64;

    // Whether process() would run the block in one piece through the wired blocks, and that
    // piece.
    bool runsInPlace() const noexcept;
    Block wholeBlock() const noexcept;
    void restartIfNotFinite() noexcept;

    // The pre-pass of one sample, for the models that run it inside their loop (its table
    // reads then overlap the ladder's feedback chain), and of a whole block, for the two
    // models that read its blocks back (their ladder loop is then lean enough to run the
    // feedback chain at full speed).
    PrePass prePass(const Block& block, int i) noexcept;
    void prePassBlock(const Block& block, int count) noexcept;
#ifdef TRESKPRO_HAS_SSE2
    struct PrePassLanes {
        __m128 a;
        __m128 feedbackFactor;
        __m128 outputGain;
    };
    PrePassLanes prePassLanes(__m128 cutoff, __m128 q) const noexcept;
#endif
    // processGroup() after its checks, one pair or two, by the kernel the processor runs best
    // (FastKernels.h).
    struct PairLanes;
    template <int pairs> static void groupBody(VcfModule* const* filters, int count) noexcept;
    static void pairFast(VcfModule* const* filters, int count) noexcept;
    static void quadFast(VcfModule* const* filters, int count) noexcept;
    // The models that smooth their resonance per sample read only the table values: the whole
    // block's are looked up first, four at a time, into the coefficient, feedback and output
    // gain blocks (which then hold a, R and G), and read back per sample by lookedUp().
    void lookupBlock(const Block& block, int count) noexcept;
    static PrePass lookedUp(const Block& block, int i) noexcept;
    InlineCoefficients inlineCoefficients(double cutoff, const PrePass& values) noexcept;
    void runClassic24dB(const Block& block, int count) noexcept;
    void runClassic18dB(const Block& block, int count) noexcept;
    void runSlope18dB(const Block& block, int count) noexcept;
    void runSlope24dBSO(const Block& block, int count) noexcept;
    void runEuler(const Block& block, int count) noexcept;
    void runOversampled(const Block& block, int count) noexcept;

    // Fetched at construction, so the shared tables are built before any audio runs.
    const float* cutoffs = cutoffTable().data();
    const float* resonances = resonanceTable().data();
    const float* gains = gainTable().data();
    const float* saturation = saturationTable().data();
    const float* compensation = compensationPairs().data();

    Ladder ladder;
    double smoothedCutoff = 0.0;
    AlternatingOffset<double> cutoffOffset;
    double effectiveResonance = 0.0;
    double feedback = 0.0;
    HalfbandFir interpolator;
    HalfbandFir decimator;

    float resonanceAmount = 0.0f;
    float inputGain = 2.0f;
    int model = Slope24dBSO;

    std::array<float*, 4> scratch{};
    std::array<std::array<float, ownBlockLength>, 4> ownScratch{};
    std::array<float, ownBlockLength> silence{};
    std::array<float, ownBlockLength> constantResonance{};
};

} // namespace treskpro
