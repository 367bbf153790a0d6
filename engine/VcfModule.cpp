#include "engine/VcfModule.h"

#include "engine/FastKernels.h"
#include "engine/Lanes.h"
#include "engine/Rows.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace treskpro {

namespace {

// The cutoff table is read at 0.7 x 2 times its value (and a cutoff scale of 1.0): the ladder
// coefficient spans 0..1.4.
constexpr float coefficientScale = 0.7f * 2.0f * 1.0f;
// Above a coefficient of 1 the oversampled model's feedback grows faster than its limiter once
// that limiter saturates: near the top of the cutoff range at full resonance, an input a few
// times full scale sends it off towards infinity. Holding the feedback here leaves everything
// up to four times full scale untouched and turns the runaway into a bounded oscillation that
// lets go as soon as the cutoff moves down.
constexpr double runawayLimit = 8.0;

// One fourth-order Runge-Kutta step of dy/dt = A (u - y) with u held for the step. Its four
// slopes are all linear in (u - y), so the step is y += rk4Gain(A) (u - y), and all four
// stages of a sample share one gain.
inline double rk4Gain(double a) {
    return a * (1.0 - a * (0.5 - a * (1.0 / 6.0 - a * (1.0 / 24.0))));
}

// Rational soft limiter: odd, slope 1 at 0, reaching +-1 at +-3 with zero slope.
// The curve is +-1 at +-3, so limiting v first gives the same result without a branch on the
// signal, whose size and sign no branch predictor can guess.
inline double clip(double v) {
    v = std::min(std::max(v, -3.0), 3.0);
    const double square = v * v;
    return v * (square + 27.0) / (9.0 * square + 27.0);
}

// Linear interpolation for the pre-pass, in single precision and without a branch: the position
// is held within the table (NaN reads entry 0). The cutoff control reaching the filter is
// already limited to 0..0.966, so every position lies inside anyway.
inline float tableAt(const float* table, int size, float position) {
    position = position > 0.0f ? position : 0.0f;
    position = std::min(position, static_cast<float>(size - 1));
    const int index = std::min(static_cast<int>(position), size - 2);
    const float fraction = position - static_cast<float>(index);
    return table[index] + fraction * (table[index + 1] - table[index]);
}

#ifdef TRESKPRO_HAS_SSE2
// tableAt() for four positions at once, lane by lane the same values: the index arithmetic in
// one register, then each lane's two neighbouring entries in one load.
struct TablePositions {
    alignas(16) std::int32_t at[4];
    __m128 fraction;
};

inline TablePositions tablePositions(int size, __m128 position) {
    position = _mm_max_ps(position, _mm_setzero_ps()); // NaN reads entry 0 here too
    position = _mm_min_ps(position, _mm_set1_ps(static_cast<float>(size - 1)));
    __m128i index = _mm_cvttps_epi32(position);
    // The last entry is read as the one before it with a fraction of 1.
    index = _mm_add_epi32(index, _mm_cmpgt_epi32(index, _mm_set1_epi32(size - 2)));
    TablePositions result;
    result.fraction = _mm_sub_ps(position, _mm_cvtepi32_ps(index));
    _mm_store_si128(reinterpret_cast<__m128i*>(result.at), index);
    return result;
}

inline __m128 between(__m128 low, __m128 high, __m128 fraction) {
    return _mm_add_ps(low, _mm_mul_ps(fraction, _mm_sub_ps(high, low)));
}

inline __m128 tableAt(const float* table, int size, __m128 position) {
    const TablePositions p = tablePositions(size, position);
    const auto pair = [&](int lane) {
        return _mm_castsi128_ps(
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(table + p.at[lane])));
    };
    const __m128 first = _mm_unpacklo_ps(pair(0), pair(1)); // lanes 0, 1: low, low, high, high
    const __m128 second = _mm_unpacklo_ps(pair(2), pair(3));
    return between(_mm_movelh_ps(first, second), _mm_movehl_ps(second, first), p.fraction);
}

// tableAt() of the resonance and gain tables at the same positions, from their pairs.
inline void compensationAt(const float* pairs, __m128 position, __m128& r, __m128& g) {
    const TablePositions p = tablePositions(compensationTableSize, position);
    __m128 lane0 = _mm_loadu_ps(pairs + 2 * p.at[0]); // r, g, next r, next g
    __m128 lane1 = _mm_loadu_ps(pairs + 2 * p.at[1]);
    __m128 lane2 = _mm_loadu_ps(pairs + 2 * p.at[2]);
    __m128 lane3 = _mm_loadu_ps(pairs + 2 * p.at[3]);
    _MM_TRANSPOSE4_PS(lane0, lane1, lane2, lane3);
    r = between(lane0, lane2, p.fraction);
    g = between(lane1, lane3, p.fraction);
}
#endif

} // namespace

void VcfModule::setModel(int index) noexcept {
    model = ((index % modelCount) + modelCount) % modelCount;
}

void VcfModule::setScratch(float* coefficient, float* feedbackFactor, float* outputGain,
                           float* resonance) {
    scratch = {coefficient, feedbackFactor, outputGain, resonance};
    setInput(CoefficientScratch, coefficient);
    setInput(FeedbackScratch, feedbackFactor);
    setInput(OutputGainScratch, outputGain);
    setInput(ResonanceScratch, resonance);
}

void VcfModule::reset() noexcept {
    ladder = Ladder{};
    smoothedCutoff = 0.0;
    cutoffOffset = AlternatingOffset<double>{};
    effectiveResonance = 0.0;
    feedback = 0.0;
    interpolator.reset();
    decimator.reset();
}

void VcfModule::process(int count) noexcept {
    float* out = outputs[Filtered];
    if (out == nullptr || count <= 0)
        return;

    const float* audio = inputs[Audio];
    const float* cutoff = inputs[Cutoff];
    const float* resonance = inputs[Resonance];

    // The 18dB/octave model holds the block's last resonance for the whole block; the others
    // set their own effective resonance per sample.
    effectiveResonance = resonance != nullptr ? resonance[count - 1] : resonanceAmount;

    // With everything wired the block runs in one piece. Otherwise it runs in pieces through
    // the filter's own blocks; every step is per sample, so the output is the same.
    const bool scratchWired =
        std::all_of(scratch.begin(), scratch.end(), [](const float* p) { return p != nullptr; });
    const bool inPlace =
        scratchWired && audio != nullptr && cutoff != nullptr && resonance != nullptr;
    const int pieceLength = inPlace ? count : ownBlockLength;
    if (resonance == nullptr)
        constantResonance.fill(resonanceAmount);

    for (int start = 0; start < count; start += pieceLength) {
        const int n = std::min(pieceLength, count - start);
        const auto at = [start](auto* block) { return block + start; };
        Block block{};
        block.audio = audio != nullptr ? at(audio) : silence.data();
        block.cutoff = cutoff != nullptr ? at(cutoff) : silence.data();
        block.resonance = resonance != nullptr ? at(resonance) : constantResonance.data();
        if (scratchWired) {
            block.coefficient = at(scratch[0]);
            block.feedbackFactor = at(scratch[1]);
            block.outputGain = at(scratch[2]);
            block.resonanceCopy = at(scratch[3]);
        } else {
            block.coefficient = ownScratch[0].data();
            block.feedbackFactor = ownScratch[1].data();
            block.outputGain = ownScratch[2].data();
            block.resonanceCopy = ownScratch[3].data();
        }
        block.out = at(out);

        switch (model) {
        case Classic24dB:
            runClassic24dB(block, n);
            break;
        case Classic18dB:
            runClassic18dB(block, n);
            break;
        case Slope18dB:
            runSlope18dB(block, n);
            break;
        case Slope24dBSO:
            runSlope24dBSO(block, n);
            break;
        case Euler:
            runEuler(block, n);
            break;
        default:
            runOversampled(block, n);
            break;
        }
    }

    restartIfNotFinite();
}

void VcfModule::restartIfNotFinite() noexcept {
    // A non-finite sample from outside (an auxiliary input, say) would otherwise stay in the
    // ladder for good; start afresh instead.
    if (!std::isfinite(feedback + ladder.y[0] + ladder.y[1] + ladder.y[2] + ladder.y[3] +
                       smoothedCutoff))
        reset();
}

bool VcfModule::runsInPlace() const noexcept {
    return outputs[Filtered] != nullptr && inputs[Audio] != nullptr && inputs[Cutoff] != nullptr &&
           inputs[Resonance] != nullptr &&
           std::all_of(scratch.begin(), scratch.end(), [](const float* p) { return p != nullptr; });
}

VcfModule::Block VcfModule::wholeBlock() const noexcept {
    return {inputs[Audio], inputs[Cutoff], inputs[Resonance], scratch[0],
            scratch[1],    scratch[2],     scratch[3],        outputs[Filtered]};
}

#ifdef TRESKPRO_HAS_SSE2
// prePass() in four lanes, for four samples of one filter or one sample of four.
TRESKPRO_KERNEL_BODY VcfModule::PrePassLanes VcfModule::prePassLanes(__m128 cutoff,
                                                                     __m128 q) const noexcept {
    const __m128 control = _mm_mul_ps(cutoff, _mm_set1_ps(1024.0f));
    const __m128 a =
        _mm_mul_ps(tableAt(cutoffs, cutoffTableSize, control), _mm_set1_ps(coefficientScale));
    const __m128 position = _mm_mul_ps(_mm_set1_ps(256.0f), a);
    __m128 r, g;
    compensationAt(compensation, position, r, g);
    const __m128 dry = _mm_sub_ps(_mm_set1_ps(1.0f), q);
    const __m128 feedbackFactor = _mm_add_ps(_mm_mul_ps(_mm_mul_ps(_mm_set1_ps(4.0f), r), q), dry);
    const __m128 outputGain = _mm_add_ps(_mm_mul_ps(q, g), _mm_mul_ps(_mm_set1_ps(1.2f), dry));
    return {a, feedbackFactor, outputGain};
}
#endif

// runSlope24dBSO() of two filters, lane 0 the first, lane 1 the second, with the same operations
// in the same order: rk4Gain() and clip() written out for two lanes, the stages' step shared with
// Ladder::run (stepStages).
struct VcfModule::PairLanes {
    VcfModule& first;
    VcfModule& second;
    Block a;
    Block b;
    Double2 y[4];
    Double2 offset[4];
    Double2 fb;

    TRESKPRO_KERNEL_BODY PairLanes(VcfModule& firstFilter, VcfModule& secondFilter, int count)
        : first(firstFilter), second(secondFilter), a(first.wholeBlock()),
          b(second.wholeBlock()), y{{first.ladder.y[0], second.ladder.y[0]},
                                    {first.ladder.y[1], second.ladder.y[1]},
                                    {first.ladder.y[2], second.ladder.y[2]},
                                    {first.ladder.y[3], second.ladder.y[3]}},
          offset{{first.ladder.offset[0].value, second.ladder.offset[0].value},
                 {first.ladder.offset[1].value, second.ladder.offset[1].value},
                 {first.ladder.offset[2].value, second.ladder.offset[2].value},
                 {first.ladder.offset[3].value, second.ladder.offset[3].value}},
          fb(first.feedback, second.feedback) {
        for (VcfModule* filter : {&first, &second})
            filter->effectiveResonance = filter->inputs[Resonance][count - 1];
        first.prePassBlock(a, count);
        second.prePassBlock(b, count);
    }

    TRESKPRO_KERNEL_BODY Double2 next(int stage) {
        const Double2 current = offset[stage];
        offset[stage] = -current;
        return current;
    }

    TRESKPRO_KERNEL_BODY void step(int i) {
        const Double2 one(1.0);
        const Double2 c(a.coefficient[i], b.coefficient[i]);
        const Double2 drive =
            Double2(first.inputGain * a.audio[i], second.inputGain * b.audio[i]) + next(0);
        const Double2 feedbackScale(a.resonanceCopy[i] * a.feedbackFactor[i],
                                    b.resonanceCopy[i] * b.feedbackFactor[i]);
        const Double2 gain =
            c * (one - c * (Double2(0.5) - c * (Double2(1.0 / 6.0) - c * Double2(1.0 / 24.0))));

        const Double2 in1 = next(1);
        const Double2 in2 = next(2);
        const Double2 in3 = next(3);
        stepStages(y, one - gain, gain, drive, in1, in2, in3, feedbackScale, fb);

        Double2 v = ((one - c) * (Double2(2.0) - c) + Double2(1.032) * c) * y[3];
        v = min(max(v, Double2(-3.0)), Double2(3.0));
        const Double2 square = v * v;
        fb = v * (square + Double2(27.0)) / (Double2(9.0) * square + Double2(27.0));

        const Double2 out =
            Double2(a.outputGain[i], b.outputGain[i]) * (c * y[2] + (one - c) * y[3]);
        a.out[i] = static_cast<float>(out.first());
        b.out[i] = static_cast<float>(out.second());
    }

    TRESKPRO_KERNEL_BODY void finish() {
        for (int stage = 0; stage < 4; ++stage) {
            const auto s = static_cast<std::size_t>(stage);
            first.ladder.y[s] = y[stage].first();
            second.ladder.y[s] = y[stage].second();
            first.ladder.offset[s].value = offset[stage].first();
            second.ladder.offset[s].value = offset[stage].second();
        }
        first.feedback = fb.first();
        second.feedback = fb.second();
        for (VcfModule* filter : {&first, &second})
            filter->restartIfNotFinite();
    }
};

// The feedback loop of each pair is a chain of dependent steps whose latency, not the number of
// operations, sets the pace: two pairs stepped in the same loop keep the processor busy with
// one while the other waits.
template <int pairs>
TRESKPRO_KERNEL_BODY void VcfModule::groupBody(VcfModule* const* filters, int count) noexcept {
    if constexpr (pairs == 1) {
        PairLanes lanes(*filters[0], *filters[1], count);
        for (int i = 0; i < count; ++i)
            lanes.step(i);
        lanes.finish();
    } else {
        PairLanes lanes(*filters[0], *filters[1], count);
        PairLanes more(*filters[2], *filters[3], count);
        for (int i = 0; i < count; ++i) {
            lanes.step(i);
            more.step(i);
        }
        lanes.finish();
        more.finish();
    }
}

#ifdef TRESKPRO_FAST_KERNELS
TRESKPRO_FAST_TARGET void VcfModule::pairFast(VcfModule* const* filters, int count) noexcept {
    groupBody<1>(filters, count);
}

#ifdef TRESKPRO_WIDE_LANES

// Four filters' runSlope24dBSO() in the four lanes of 256-bit registers, with the operations of
// PairLanes::step() in the same order. A stretch at a time, each filter's per-sample values are
// first turned into rows of four, so that the loop reads each with one load and writes its
// outputs with one store.
TRESKPRO_FAST_TARGET void VcfModule::quadFast(VcfModule* const* filters, int count) noexcept {
    Block block[4];
    const float* cutoff[4];
    const float* audio[4];
    const float* resonance[4];
    float* out[4];
    // The states lane by lane: stages 0..3, their offsets, the feedback.
    alignas(32) double state[9][4];
    alignas(16) float inputGain[4];
    for (int k = 0; k < 4; ++k) {
        VcfModule& filter = *filters[k];
        block[k] = filter.wholeBlock();
        filter.effectiveResonance = filter.inputs[Resonance][count - 1];
        cutoff[k] = block[k].cutoff;
        audio[k] = block[k].audio;
        resonance[k] = block[k].resonance;
        out[k] = block[k].out;
        for (std::size_t stage = 0; stage < 4; ++stage) {
            state[stage][k] = filter.ladder.y[stage];
            state[4 + stage][k] = filter.ladder.offset[stage].value;
        }
        state[8][k] = filter.feedback;
        inputGain[k] = filter.inputGain;
    }
    __m256d y[4];
    __m256d offset[4];
    for (int stage = 0; stage < 4; ++stage) {
        y[stage] = _mm256_load_pd(state[stage]);
        offset[stage] = _mm256_load_pd(state[4 + stage]);
    }
    __m256d fb = _mm256_load_pd(state[8]);
    const __m128 inputGains = _mm_load_ps(inputGain);
    const VcfModule& first = *filters[0];

    // GCC's vector operators: the same operations as the intrinsics, easier to read.
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d sign = _mm256_set1_pd(-0.0);
    constexpr int stretch = 64;
    alignas(16) float cutoffRows[stretch][4];
    alignas(16) float audioRows[stretch][4];
    alignas(16) float resonanceRows[stretch][4];
    alignas(16) float outRows[stretch][4];
    for (int start = 0; start < count; start += stretch) {
        const int n = std::min(stretch, count - start);
        toRows(cutoff, start, n, cutoffRows);
        toRows(audio, start, n, audioRows);
        toRows(resonance, start, n, resonanceRows);
        for (int j = 0; j < n; ++j) {
            __m256d used[4];
            for (int stage = 0; stage < 4; ++stage) {
                used[stage] = offset[stage];
                offset[stage] = _mm256_xor_pd(offset[stage], sign);
            }
            // The pre-pass of the four filters' sample (their tables are the same).
            const __m128 q = _mm_load_ps(resonanceRows[j]);
            const PrePassLanes values = first.prePassLanes(_mm_load_ps(cutoffRows[j]), q);
            const __m256d c = _mm256_cvtps_pd(values.a);
            const __m256d drive =
                _mm256_cvtps_pd(_mm_mul_ps(inputGains, _mm_load_ps(audioRows[j]))) + used[0];
            const __m256d feedbackScale = _mm256_cvtps_pd(_mm_mul_ps(q, values.feedbackFactor));
            const __m256d gain =
                c * (one - c * (_mm256_set1_pd(0.5) -
                                c * (_mm256_set1_pd(1.0 / 6.0) - c * _mm256_set1_pd(1.0 / 24.0))));

            stepStages(y, one - gain, gain, drive, used[1], used[2], used[3], feedbackScale, fb);

            __m256d v = ((one - c) * (_mm256_set1_pd(2.0) - c) + _mm256_set1_pd(1.032) * c) * y[3];
            // std::min(std::max(v, -3), 3), NaN passed on as they pass it.
            v = _mm256_min_pd(_mm256_set1_pd(3.0), _mm256_max_pd(_mm256_set1_pd(-3.0), v));
            const __m256d square = v * v;
            fb = v * (square + _mm256_set1_pd(27.0)) /
                 (_mm256_set1_pd(9.0) * square + _mm256_set1_pd(27.0));

            const __m256d filtered =
                _mm256_cvtps_pd(values.outputGain) * (c * y[2] + (one - c) * y[3]);
            _mm_store_ps(outRows[j], _mm256_cvtpd_ps(filtered));
        }
        fromRows(out, start, n, outRows);
    }
    for (int stage = 0; stage < 4; ++stage) {
        _mm256_store_pd(state[stage], y[stage]);
        _mm256_store_pd(state[4 + stage], offset[stage]);
    }
    _mm256_store_pd(state[8], fb);
    for (int k = 0; k < 4; ++k) {
        VcfModule& filter = *filters[k];
        for (std::size_t stage = 0; stage < 4; ++stage) {
            filter.ladder.y[stage] = state[stage][k];
            filter.ladder.offset[stage].value = state[4 + stage][k];
        }
        filter.feedback = state[8][k];
        filter.restartIfNotFinite();
    }
}
#else
TRESKPRO_FAST_TARGET void VcfModule::quadFast(VcfModule* const* filters, int count) noexcept {
    groupBody<2>(filters, count);
}
#endif
#endif

void VcfModule::processGroup(VcfModule* const* filters, int n, int count) noexcept {
    // Model 3 with everything wired runs side by side; any other filter on its own.
    VcfModule* lanes[groupSize] = {};
    int pairable = 0;
    for (int k = 0; k < std::min(n, static_cast<int>(groupSize)); ++k) {
        VcfModule& filter = *filters[k];
        if (count > 0 && filter.model == Slope24dBSO && filter.runsInPlace())
            lanes[pairable++] = &filter;
        else
            filter.process(count);
    }
    const int pairs = pairable / 2;
    if (pairs > 0) {
#ifdef TRESKPRO_FAST_KERNELS
        if (fastKernels())
            (pairs == 2 ? quadFast : pairFast)(lanes, count);
        else
#endif
            (pairs == 2 ? groupBody<2> : groupBody<1>)(lanes, count);
    }
    if (pairable % 2 == 1)
        lanes[pairable - 1]->process(count);
}

VcfModule::PrePass VcfModule::prePass(const Block& block, int i) noexcept {
    const float q = block.resonance[i];
    const float a = tableAt(cutoffs, cutoffTableSize, block.cutoff[i] * 1024.0f) * coefficientScale;
    const float position = 256.0f * a;
    const float r = tableAt(resonances, compensationTableSize, position);
    const float g = tableAt(gains, compensationTableSize, position);
    const float feedbackFactor = 4.0f * r * q + (1.0f - q);
    const float outputGain = q * g + 1.2f * (1.0f - q);
    block.coefficient[i] = a;
    block.feedbackFactor[i] = feedbackFactor;
    block.outputGain[i] = outputGain;
    block.resonanceCopy[i] = q;
    return {a, r, g};
}

void VcfModule::prePassBlock(const Block& block, int count) noexcept {
    int i = 0;
#ifdef TRESKPRO_HAS_SSE2
    // Four samples at a time, with the same operations in the same order as prePass(): the
    // scratch blocks hold the same values either way.
    for (; i + 4 <= count; i += 4) {
        const __m128 q = _mm_loadu_ps(block.resonance + i);
        const PrePassLanes lanes = prePassLanes(_mm_loadu_ps(block.cutoff + i), q);
        _mm_storeu_ps(block.coefficient + i, lanes.a);
        _mm_storeu_ps(block.feedbackFactor + i, lanes.feedbackFactor);
        _mm_storeu_ps(block.outputGain + i, lanes.outputGain);
        _mm_storeu_ps(block.resonanceCopy + i, q);
    }
#endif
    for (; i < count; ++i)
        prePass(block, i);
}

void VcfModule::lookupBlock(const Block& block, int count) noexcept {
    int i = 0;
#ifdef TRESKPRO_HAS_SSE2
    for (; i + 4 <= count; i += 4) {
        const __m128 control = _mm_mul_ps(_mm_loadu_ps(block.cutoff + i), _mm_set1_ps(1024.0f));
        const __m128 a =
            _mm_mul_ps(tableAt(cutoffs, cutoffTableSize, control), _mm_set1_ps(coefficientScale));
        const __m128 position = _mm_mul_ps(_mm_set1_ps(256.0f), a);
        __m128 r, g;
        compensationAt(compensation, position, r, g);
        _mm_storeu_ps(block.coefficient + i, a);
        _mm_storeu_ps(block.feedbackFactor + i, r);
        _mm_storeu_ps(block.outputGain + i, g);
    }
#endif
    for (; i < count; ++i) {
        const float a =
            tableAt(cutoffs, cutoffTableSize, block.cutoff[i] * 1024.0f) * coefficientScale;
        const float position = 256.0f * a;
        block.coefficient[i] = a;
        block.feedbackFactor[i] = tableAt(resonances, compensationTableSize, position);
        block.outputGain[i] = tableAt(gains, compensationTableSize, position);
    }
}

VcfModule::PrePass VcfModule::lookedUp(const Block& block, int i) noexcept {
    return {block.coefficient[i], block.feedbackFactor[i], block.outputGain[i]};
}

VcfModule::InlineCoefficients VcfModule::inlineCoefficients(double cutoff,
                                                            const PrePass& values) noexcept {
    follow(smoothedCutoff, cutoff, 0.1, cutoffOffset);
    // Resonance gives way while the cutoff moves fast, so a jump does not ring out as a click.
    effectiveResonance = resonanceAmount * (1.0 - std::fabs(cutoff - smoothedCutoff));
    const double w = effectiveResonance;
    return {values.a, w * 4.0 * values.r, w * values.g + (1.0 - w) * 0.8};
}

void VcfModule::runClassic24dB(const Block& block, int count) noexcept {
    lookupBlock(block, count);
    Ladder stages = ladder;
    double fb = feedback;
    for (int i = 0; i < count; ++i) {
        const InlineCoefficients c = inlineCoefficients(block.cutoff[i], lookedUp(block, i));
        const double drive = inputGain * block.audio[i] + stages.offset[0].next();
        stages.runInOrder(drive, fb, c.feedback, rk4Gain(c.a));
        fb = stages.y[3];
        block.out[i] = static_cast<float>(stages.y[3] * (c.makeup * (1.0 + 0.52 * c.a)));
    }
    ladder = stages;
    feedback = fb;
}

void VcfModule::runClassic18dB(const Block& block, int count) noexcept {
    lookupBlock(block, count);
    Ladder stages = ladder;
    double fb = feedback;
    for (int i = 0; i < count; ++i) {
        const InlineCoefficients c = inlineCoefficients(block.cutoff[i], lookedUp(block, i));
        const double drive = inputGain * block.audio[i] + stages.offset[0].next();
        stages.runInOrder(drive, fb, c.feedback, rk4Gain(c.a));
        fb = stages.y[3];
        block.out[i] =
            static_cast<float>((c.a * stages.y[2] + (1.0 - c.a) * stages.y[3]) * c.makeup);
    }
    ladder = stages;
    feedback = fb;
}

void VcfModule::runSlope18dB(const Block& block, int count) noexcept {
    Ladder stages = ladder;
    double fb = feedback;
    const double w = effectiveResonance;
    prePassBlock(block, count);
    for (int i = 0; i < count; ++i) {
        const double a = block.coefficient[i];
        const double drive = inputGain * block.audio[i] + stages.offset[0].next();
        stages.run(drive, fb, w * block.feedbackFactor[i], rk4Gain(a));
        fb = stages.y[3];
        block.out[i] = static_cast<float>(stages.y[2] * (block.outputGain[i] * (1.0 + 0.52 * a)));
    }
    ladder = stages;
    feedback = fb;
}

void VcfModule::runSlope24dBSO(const Block& block, int count) noexcept {
    Ladder stages = ladder;
    double fb = feedback;
    prePassBlock(block, count);
    for (int i = 0; i < count; ++i) {
        const double a = block.coefficient[i];
        const double drive = inputGain * block.audio[i] + stages.offset[0].next();
        stages.run(drive, fb, block.resonanceCopy[i] * block.feedbackFactor[i], rk4Gain(a));
        const double y3 = stages.y[2];
        const double y4 = stages.y[3];
        fb = clip(((1.0 - a) * (2.0 - a) + 1.032 * a) * y4);
        block.out[i] = static_cast<float>(block.outputGain[i] * (a * y3 + (1.0 - a) * y4));
    }
    ladder = stages;
    feedback = fb;
}

void VcfModule::runEuler(const Block& block, int count) noexcept {
    lookupBlock(block, count);
    Ladder stages = ladder;
    double fb = feedback;
    for (int i = 0; i < count; ++i) {
        const InlineCoefficients c = inlineCoefficients(block.cutoff[i], lookedUp(block, i));
        const double drive = inputGain * block.audio[i] + stages.offset[0].next();
        stages.runInOrder(drive, fb, c.feedback, rk4Gain(c.a));
        const double y3 = stages.y[2];
        const double y4 = stages.y[3];
        const double limiterInput = (1.032 * c.a + (1.0 - c.a) * (2.0 - c.a)) * y4;
        // A loud ladder drives the position past either end; interpolate() holds it at the
        // table's ends (+-tanh 4) instead of reading beyond them.
        fb = interpolate(saturation, saturationTableSize, (limiterInput * 0.125 + 0.5) * 1023.0);
        block.out[i] = static_cast<float>((c.a * y3 + (1.0 - c.a) * y4) * c.makeup);
    }
    ladder = stages;
    feedback = fb;
}

void VcfModule::runOversampled(const Block& block, int count) noexcept {
    lookupBlock(block, count);
    Ladder stages = ladder;
    double fb = feedback;
    for (int i = 0; i < count; ++i) {
        const InlineCoefficients c = inlineCoefficients(block.cutoff[i], lookedUp(block, i));
        const double gain = rk4Gain(c.a);
        const auto step = [&](double upsampled) {
            // Zero-stuffing halves the level; the 2 restores it.
            stages.runInOrder(2.0 * upsampled + stages.offset[0].next(), fb, c.feedback, gain);
            const double y4 = stages.y[3];
            fb = std::clamp(c.a * y4 + (1.0 - c.a) * clip((2.0 - c.a) * y4), -runawayLimit,
                            runawayLimit);
            return decimator.push(c.a * stages.y[2] + (1.0 - c.a) * y4);
        };
        step(interpolator.push(inputGain * block.audio[i]));
        block.out[i] = static_cast<float>(step(interpolator.push(0.0)) * c.makeup);
    }
    ladder = stages;
    feedback = fb;
}

} // namespace treskpro
