#include "engine/VcoModule.h"

#include "engine/FastKernels.h"
#include "engine/Lanes.h"
#include "engine/SampleRate.h"
#include "engine/WavetableSet.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

// 256-bit registers in the fast pair kernel: not for 64-bit Windows (FastKernels.h).
#if defined(TRESKPRO_FAST_KERNELS) && !defined(_WIN64)
#include <immintrin.h>
#define TRESKPRO_WIDE_PAIR 1
#endif

namespace treskpro {

namespace {

// Keeps the phase step finite and positive whatever arrives at the frequency input, so the phase
// stays within 0..1 and the period within the table map.
constexpr float minimumIncrement = 1e-7f;

inline float limitIncrement(float value) {
    if (!(value > minimumIncrement))
        return minimumIncrement;
    return value < 1.0f ? value : 1.0f;
}

inline bool usable(const WavetableSet* set) {
    return set && set->isLoaded();
}

// One cycle of a set, read with linear interpolation at phase 0..1; the set's guard samples
// after the cycle stand for its wrap.
struct Cycle {
    const float* samples = nullptr;
    int length = 1;

    Cycle() = default;
    Cycle(const WavetableSet& set, int table)
        : samples(set.tableSamples(table)), length(set.tableLength(table)) {}

    float read(double phase) const {
        const double x = phase * length;
        const int index = static_cast<int>(x);
        const float fraction = static_cast<float>(x - index);
        return samples[index] + fraction * (samples[index + 1] - samples[index]);
    }
};

// The table of a set for the current period; looked up again only when the period changes.
struct SetReader {
    const WavetableSet& set;
    float period = -1.0f;
    Cycle cycle;

    explicit SetReader(const WavetableSet& source) : set(source) {}

    float operator()(double phase, float newPeriod) {
        if (newPeriod != period) {
            period = newPeriod;
            cycle = Cycle(set, set.tableForPeriod(newPeriod));
        }
        return cycle.read(phase);
    }
};

inline double wrapAbove(double value) {
    return value > 1.0 ? value - 1.0 : value;
}

inline double wrapBoth(double value) {
    if (value > 1.0)
        return value - 1.0;
    return value < 0.0 ? value + 1.0 : value;
}

// A pulse width from the input limited to -1..1 (NaN gives -1) so the second phase of the
// wavetable pulse stays within 0..1 after one wrap.
inline float limitPulseWidth(float width) {
    if (!(width > -1.0f))
        return -1.0f;
    return width < 1.0f ? width : 1.0f;
}

inline float squared(double value) {
    return static_cast<float>(value * value);
}

#ifdef TRESKPRO_HAS_SSE2
// Two neighbouring floats into the low half of a register, and into the high half. Read as a
// type that may alias floats: read as a double, the compiler need not see the floats stored
// just before.
inline __m128 loadTwo(const float* from) {
    return _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(from)));
}

#ifdef TRESKPRO_WIDE_PAIR
inline __m128 loadTwoHigh(__m128 low, const float* from) {
    return _mm_loadh_pi(low, reinterpret_cast<const __m64*>(from));
}
#endif
#endif

} // namespace

VcoModule::VcoModule() {
    reset();
}

void VcoModule::setWaveform(int value) noexcept {
    shape = std::clamp(value, static_cast<int>(Saw), static_cast<int>(Sine));
}

void VcoModule::setWavetables(const WavetableSet* saw, const WavetableSet* square,
                              const WavetableSet* triangle) noexcept {
    sawSet = saw;
    squareSet = square;
    triangleSet = triangle;
}

void VcoModule::setAsymmetry(float factor) noexcept {
    asymmetry = std::clamp(factor, 0.5f, 2.0f);
    asymmetryInverse = 1.0f / asymmetry;
}

void VcoModule::reset() noexcept {
    currentPhase = 0.0;
    fadeGain = 0.0;
    boostState = 0.0;
    smoothedPulseWidth = 0.0;
    previousA = 0.25f;
    if (shape == Saw || shape == Square) {
        previousB = 0.0025f;
    } else if (shape == Pulse) {
        const float width =
            constantPulseWidth > 1.0f ? constantPulseWidth - 1.0f : constantPulseWidth;
        previousB = squared(width - 0.5);
    }
}

// Steps the phase through the block and calls waveformAt(phase, period, i / 2) for every sample.
template <typename Shape>
void VcoModule::run(int count, float sampleRate, Shape&& waveformAt) noexcept {
    const float* frequency = inputs[Frequency];
    const float* sync = inputs[Sync];
    float* audio = outputs[Audio];
    float* syncOut = outputs[SyncOut];
    float* phaseOut = outputs[Phase];
    float* periodOut = outputs[Period];
    const float reciprocalRate = 1.0f / sampleRate;

    double phase = currentPhase;
    float inc = limitIncrement(increment);
    float period = 1.0f / inc;
    float factor = asymmetry;
    float otherFactor = asymmetryInverse;
    // Pairs of 2x samples share one base-rate frequency.
    for (int pair = 0; 2 * pair < count; ++pair) {
        if (frequency) {
            inc = limitIncrement(frequency[pair] * reciprocalRate);
            period = 1.0f / inc;
        }
        const float halfIncrement = 0.5f * inc;
        const int end = std::min(2 * pair + 2, count);
        for (int i = 2 * pair; i < end; ++i) {
            if (sync && sync[i] != 0.0f)
                phase = 0.0;
            if (phaseOut)
                phaseOut[i] = static_cast<float>(phase);
            if (periodOut)
                periodOut[i] = period;
            const float value = waveformAt(phase, period, pair);
            if (audio)
                audio[i] = value;

            double next = phase + static_cast<double>(halfIncrement * factor);
            if (next > 1.0) {
                next -= 1.0;
                std::swap(factor, otherFactor);
                if (syncOut) {
                    syncOut[i] = 1.0f;
                    next = 0.0;
                }
            }
            phase = next;
        }
    }
    currentPhase = phase;
    increment = inc;
    asymmetry = factor;
    asymmetryInverse = otherFactor;
}

bool VcoModule::plainOutput() const noexcept {
    return outputs[Audio] && !outputs[SyncOut] && !outputs[Phase] && !outputs[Period] &&
           !inputs[Sync];
}

void VcoModule::process(int count) noexcept {
    if (count <= 0)
        return;
    if (outputs[SyncOut])
        std::fill(outputs[SyncOut], outputs[SyncOut] + count, 0.0f);
    const float sampleRate = engineSampleRate().rate;

    if (shape == Triangle || shape == Sine) {
        renderSmooth(count, sampleRate);
    } else {
        const WavetableSet* set = shape == Square ? squareSet : sawSet;
        if (wavetableMode && usable(set))
            renderWavetable(count, sampleRate);
        else
            renderParabolic(count, sampleRate);
    }
    if (wavetableMode && boost > 0.0f)
        applyBoost(count);
}

// The common case on its own: one set read at the oscillator's phase (the pulse reads the saw set
// a second time, a width later), nothing but the audio output wired and no sync input. Unlike run()
// it keeps every value in registers and looks the table up again only when the period moves into
// another entry of the map, as it does at every sample while the MG or a cable moves the pitch. The
// increments and map entries of a stretch of base-rate samples are worked out first, four at a
// time; the phase loop then only reads them.
void VcoModule::renderSet(int count, float sampleRate, const WavetableSet& set) noexcept {
    const float* frequency = inputs[Frequency];
    float* audio = outputs[Audio];
    const bool pulse = shape == Pulse;
    const float* widthInput = inputs[PulseWidth];
    const float reciprocalRate = 1.0f / sampleRate;
    const int lastEntry = set.mapCount() - 1;

    double phase = currentPhase;
    float inc = limitIncrement(increment);
    float factor = asymmetry;
    float otherFactor = asymmetryInverse;
    int entry = -1;
    Cycle cycle;
    constexpr int stretch = 64;
    alignas(16) float halfIncrements[stretch];
    alignas(16) std::int32_t entries[stretch];
    const int pairs = (count + 1) / 2;
    for (int first = 0; first < pairs; first += stretch) {
        const int n = std::min(stretch, pairs - first);
        if (frequency) {
            pairSteps(frequency + first, n, reciprocalRate, lastEntry, halfIncrements, entries);
            inc = 2.0f * halfIncrements[n - 1];
        } else {
            pairSteps(nullptr, n, inc, lastEntry, halfIncrements, entries);
        }
        for (int k = 0; k < n; ++k) {
            if (entries[k] != entry) {
                entry = entries[k];
                cycle = Cycle(set, set.tableForEntry(entry));
            }
            const float halfIncrement = halfIncrements[k];
            const int pair = first + k;
            const float width =
                pulse ? limitPulseWidth(widthInput ? widthInput[pair] : constantPulseWidth) : 0.0f;
            const auto step = [&](int i) {
                // The pulse: the saw less the saw a width later.
                audio[i] = pulse ? cycle.read(phase) - cycle.read(wrapBoth(phase + width))
                                 : cycle.read(phase);
                double next = phase + static_cast<double>(halfIncrement * factor);
                if (next > 1.0) {
                    next -= 1.0;
                    std::swap(factor, otherFactor);
                }
                phase = next;
            };
            // Both 2x samples of the base-rate sample, written out: the count is even but for a
            // caller's odd one.
            step(2 * pair);
            if (2 * pair + 1 < count)
                step(2 * pair + 1);
        }
    }
    currentPhase = phase;
    increment = inc;
    asymmetry = factor;
    asymmetryInverse = otherFactor;
}

// For each of `count` base-rate samples half the phase increment and the period's map entry
// truncated, as WavetableSet::tableForPeriod finds it (the period is at least one sample, as the
// increment is at most 1). Without a frequency block `scale` is the increment itself.
TRESKPRO_KERNEL_BODY void VcoModule::pairSteps(const float* frequency, int count, float scale,
                                               int lastEntry, float* halfIncrements,
                                               std::int32_t* entries) noexcept {
    int k = 0;
#ifdef TRESKPRO_HAS_SSE2
    if (frequency) {
        const __m128 last = _mm_set1_ps(static_cast<float>(lastEntry));
        for (; k + 4 <= count; k += 4) {
            // limitIncrement(): at least the minimum (NaN too), at most 1.
            const __m128 raw = _mm_mul_ps(_mm_loadu_ps(frequency + k), _mm_set1_ps(scale));
            const __m128 above = _mm_cmpgt_ps(raw, _mm_set1_ps(minimumIncrement));
            __m128 inc = _mm_or_ps(_mm_and_ps(above, raw),
                                   _mm_andnot_ps(above, _mm_set1_ps(minimumIncrement)));
            inc = _mm_min_ps(inc, _mm_set1_ps(1.0f));
            const __m128 period = _mm_div_ps(_mm_set1_ps(1.0f), inc);
            const __m128i truncated = _mm_cvttps_epi32(period);
            const __m128i inRange = _mm_castps_si128(_mm_cmplt_ps(period, last));
            const __m128i entry =
                _mm_or_si128(_mm_and_si128(inRange, truncated),
                             _mm_andnot_si128(inRange, _mm_set1_epi32(lastEntry)));
            _mm_store_ps(halfIncrements + k, _mm_mul_ps(_mm_set1_ps(0.5f), inc));
            _mm_store_si128(reinterpret_cast<__m128i*>(entries + k), entry);
        }
    }
#endif
    for (; k < count; ++k) {
        const float inc = frequency ? limitIncrement(frequency[k] * scale) : scale;
        const float period = 1.0f / inc;
        entries[k] = period < static_cast<float>(lastEntry) ? static_cast<int>(period) : lastEntry;
        halfIncrements[k] = 0.5f * inc;
    }
}

const WavetableSet* VcoModule::plainSet() const noexcept {
    if (!plainOutput())
        return nullptr;
    if (shape == Triangle)
        return usable(triangleSet) ? triangleSet : nullptr;
    if (shape == Triangle || shape == Sine)
        return nullptr;
    // The pulse reads the saw set twice.
    const WavetableSet* set = shape == Square ? squareSet : sawSet;
    return wavetableMode && usable(set) ? set : nullptr;
}

void VcoModule::processPair(VcoModule& first, VcoModule& second, int count) noexcept {
    const WavetableSet* firstSet = first.plainSet();
    const WavetableSet* secondSet = second.plainSet();
    if (count <= 0 || !firstSet || !secondSet) {
        first.process(count);
        second.process(count);
        return;
    }
    renderSetPair(first, second, count, engineSampleRate().rate, *firstSet, *secondSet);
    for (VcoModule* vco : {&first, &second})
        if (vco->wavetableMode && vco->boost > 0.0f)
            vco->applyBoost(count);
}

// renderSet() of two oscillators, lane 0 the first, lane 1 the second, with the same operations
// in the same order; the table reads stay one by one.
template <int pulses>
TRESKPRO_KERNEL_BODY void
VcoModule::renderSetPairBody(VcoModule& first, VcoModule& second, int count, float sampleRate,
                             const WavetableSet& firstSet, const WavetableSet& secondSet) noexcept {
#ifdef TRESKPRO_HAS_SSE2
    VcoModule* vco[2] = {&first, &second};
    const WavetableSet* sets[2] = {&firstSet, &secondSet};
    const float reciprocalRate = 1.0f / sampleRate;
    float inc[2];
    float factor[2];
    float otherFactor[2];
    int entry[2] = {-1, -1};
    Cycle cycle[2];
    for (int k = 0; k < 2; ++k) {
        inc[k] = limitIncrement(vco[k]->increment);
        factor[k] = vco[k]->asymmetry;
        otherFactor[k] = vco[k]->asymmetryInverse;
    }
    __m128d phase = _mm_set_pd(second.currentPhase, first.currentPhase);
    __m128d lengths = _mm_setzero_pd();
    __m128 factors = _mm_setr_ps(factor[0], factor[1], 0.0f, 0.0f);
    __m128 otherFactors = _mm_setr_ps(otherFactor[0], otherFactor[1], 0.0f, 0.0f);
    float* audio[2] = {first.outputs[Audio], second.outputs[Audio]};
    // With two pulses both lanes read a second time, a width after the phase; a single pulse
    // reads its second sample on its own.
    const __m128 pulseLanes = _mm_castsi128_ps(
        _mm_setr_epi32(first.shape == Pulse ? -1 : 0, second.shape == Pulse ? -1 : 0, 0, 0));
    constexpr int stretch = 64;
    alignas(16) float halfIncrements[2][stretch];
    alignas(16) std::int32_t entries[2][stretch];
    alignas(16) float widthLanes[2 * stretch] = {};
    const int pairs = (count + 1) / 2;
    for (int start = 0; start < pairs; start += stretch) {
        const int n = std::min(stretch, pairs - start);
        if constexpr (pulses != 0) {
            // Each base-rate sample's widths, the two lanes side by side.
            for (int k = 0; k < 2; ++k) {
                const VcoModule& v = *vco[k];
                const float* input = v.inputs[PulseWidth];
                if (v.shape != Pulse) {
                    for (int j = 0; j < n; ++j)
                        widthLanes[2 * j + k] = 0.0f;
                } else if (input) {
                    for (int j = 0; j < n; ++j)
                        widthLanes[2 * j + k] = limitPulseWidth(input[start + j]);
                } else {
                    for (int j = 0; j < n; ++j)
                        widthLanes[2 * j + k] = limitPulseWidth(v.constantPulseWidth);
                }
            }
        }
        for (int k = 0; k < 2; ++k) {
            const float* frequency = vco[k]->inputs[Frequency];
            const int lastEntry = sets[k]->mapCount() - 1;
            if (frequency) {
                pairSteps(frequency + start, n, reciprocalRate, lastEntry, halfIncrements[k],
                          entries[k]);
                inc[k] = 2.0f * halfIncrements[k][n - 1];
            } else {
                pairSteps(nullptr, n, inc[k], lastEntry, halfIncrements[k], entries[k]);
            }
        }
        for (int j = 0; j < n; ++j) {
            bool moved = false;
            for (int k = 0; k < 2; ++k) {
                if (entries[k][j] != entry[k]) {
                    entry[k] = entries[k][j];
                    cycle[k] = Cycle(*sets[k], sets[k]->tableForEntry(entry[k]));
                    moved = true;
                }
            }
            if (moved)
                lengths = _mm_set_pd(cycle[1].length, cycle[0].length);
            const __m128 halfIncrement =
                _mm_setr_ps(halfIncrements[0][j], halfIncrements[1][j], 0.0f, 0.0f);
            const int pair = start + j;
            const __m128d widths =
                pulses == 3 ? _mm_cvtps_pd(loadTwo(widthLanes + 2 * j)) : _mm_setzero_pd();
            // Cycle::read() in both lanes.
            const auto read = [&](__m128d at) {
                const __m128d x = _mm_mul_pd(at, lengths);
                const __m128i index = _mm_cvttpd_epi32(x);
                const __m128 fraction = _mm_cvtpd_ps(_mm_sub_pd(x, _mm_cvtepi32_pd(index)));
                const int at0 = _mm_cvtsi128_si32(index);
                const int at1 = _mm_cvtsi128_si32(_mm_shuffle_epi32(index, 1));
                // Each lane's two neighbouring samples in one (unaligned) load: lanes a0 b0 a1 b1.
                const auto neighbours = [](const float* from) {
                    return _mm_castsi128_ps(
                        _mm_loadl_epi64(reinterpret_cast<const __m128i*>(from)));
                };
                const __m128 both = _mm_unpacklo_ps(neighbours(cycle[0].samples + at0),
                                                    neighbours(cycle[1].samples + at1));
                const __m128 low = both;
                const __m128 high = _mm_movehl_ps(both, both);
                return _mm_add_ps(low, _mm_mul_ps(fraction, _mm_sub_ps(high, low)));
            };
            const auto step = [&](int i) {
                __m128 value = read(phase);
                if constexpr (pulses == 3) {
                    // wrapBoth(phase + width) in both lanes.
                    const __m128d shifted = _mm_add_pd(phase, widths);
                    const __m128d above = _mm_cmpgt_pd(shifted, _mm_set1_pd(1.0));
                    const __m128d below = _mm_cmplt_pd(shifted, _mm_setzero_pd());
                    const __m128d later =
                        _mm_add_pd(_mm_sub_pd(shifted, _mm_and_pd(above, _mm_set1_pd(1.0))),
                                   _mm_and_pd(below, _mm_set1_pd(1.0)));
                    value = _mm_sub_ps(value, _mm_and_ps(pulseLanes, read(later)));
                }
                float out[2] = {_mm_cvtss_f32(value),
                                _mm_cvtss_f32(_mm_shuffle_ps(value, value, 1))};
                if constexpr (pulses == 1 || pulses == 2) {
                    // A single pulse reads a width later on its own.
                    constexpr int k = pulses - 1;
                    const double at = _mm_cvtsd_f64(k == 0 ? phase : _mm_unpackhi_pd(phase, phase));
                    out[k] -=
                        cycle[k].read(wrapBoth(at + static_cast<double>(widthLanes[2 * j + k])));
                }
                audio[0][i] = out[0];
                audio[1][i] = out[1];

                __m128d next = _mm_add_pd(phase, _mm_cvtps_pd(_mm_mul_ps(halfIncrement, factors)));
                const __m128d wrapped = _mm_cmpgt_pd(next, _mm_set1_pd(1.0));
                if (_mm_movemask_pd(wrapped) != 0) {
                    next = _mm_sub_pd(next, _mm_and_pd(wrapped, _mm_set1_pd(1.0)));
                    // The wrapped lanes swap their two cycle-length factors.
                    const __m128 swap = _mm_castsi128_ps(
                        _mm_shuffle_epi32(_mm_castpd_si128(wrapped), _MM_SHUFFLE(3, 3, 2, 0)));
                    const __m128 before = factors;
                    factors =
                        _mm_or_ps(_mm_andnot_ps(swap, before), _mm_and_ps(swap, otherFactors));
                    otherFactors =
                        _mm_or_ps(_mm_andnot_ps(swap, otherFactors), _mm_and_ps(swap, before));
                }
                phase = next;
            };
            step(2 * pair);
            if (2 * pair + 1 < count)
                step(2 * pair + 1);
        }
    }
    alignas(16) double phases[2];
    alignas(16) float factorLanes[4];
    alignas(16) float otherLanes[4];
    _mm_store_pd(phases, phase);
    _mm_store_ps(factorLanes, factors);
    _mm_store_ps(otherLanes, otherFactors);
    for (int k = 0; k < 2; ++k) {
        vco[k]->currentPhase = phases[k];
        vco[k]->increment = inc[k];
        vco[k]->asymmetry = factorLanes[k];
        vco[k]->asymmetryInverse = otherLanes[k];
    }
#else
    first.renderSet(count, sampleRate, firstSet);
    second.renderSet(count, sampleRate, secondSet);
#endif
}

// The pair's body for the shapes it plays: a pulse reads its set twice.
TRESKPRO_KERNEL_BODY void VcoModule::renderSetPairShapes(VcoModule& first, VcoModule& second,
                                                         int count, float sampleRate,
                                                         const WavetableSet& firstSet,
                                                         const WavetableSet& secondSet) noexcept {
    // Bit 0: the first is a pulse, bit 1: the second.
    switch ((first.shape == Pulse ? 1 : 0) | (second.shape == Pulse ? 2 : 0)) {
    case 0:
        renderSetPairBody<0>(first, second, count, sampleRate, firstSet, secondSet);
        break;
    case 1:
        renderSetPairBody<1>(first, second, count, sampleRate, firstSet, secondSet);
        break;
    case 2:
        renderSetPairBody<2>(first, second, count, sampleRate, firstSet, secondSet);
        break;
    default:
        renderSetPairBody<3>(first, second, count, sampleRate, firstSet, secondSet);
        break;
    }
}

#ifdef TRESKPRO_WIDE_PAIR
namespace {

// The two oscillators of the fast pair kernel and their 2x-sample step: the phases side by side
// as in renderSetPairBody(), and all the table reads of a step in one register, lanes 0 and 1
// the two oscillators at their phases, lanes 2 and 3 each a width later where it is a pulse
// (pulses: bit 0 the first, bit 1 the second), 0 where it is not.
template <int pulses> struct WidePair {
    __m128d phase;
    __m128 factors;
    __m128 otherFactors;
    const float* samples[2];
    // The table lengths, twice: lanes 0, 1, 2, 3.
    __m256d lengths;
    __m128 halfIncrement;
    // The phase step of each lane, half the increment times the cycle-length factor.
    __m128d advance;

    TRESKPRO_FAST_TARGET TRESKPRO_KERNEL_BODY void setIncrement(__m128 half) {
        halfIncrement = half;
        advance = _mm_cvtps_pd(_mm_mul_ps(half, factors));
    }

    // The two 2x samples of each lane, from the reads of the first (a) and the second (b): the
    // first lane's in the low half, the second's in the high half. The pulse: the saw less the
    // saw a width later.
    TRESKPRO_FAST_TARGET TRESKPRO_KERNEL_BODY static __m128 outputs(__m128 a, __m128 b) {
        if constexpr (pulses == 0)
            return _mm_unpacklo_ps(a, b);
        return _mm_sub_ps(_mm_unpacklo_ps(a, b), _mm_unpackhi_ps(a, b));
    }

    // Returns the step's four reads and steps the phases on.
    TRESKPRO_FAST_TARGET TRESKPRO_KERNEL_BODY __m128 step(__m128d widths) {
        // Cycle::read() in every lane.
        __m128i index;
        __m128 fraction;
        if constexpr (pulses != 0) {
            // The phase a width later, in 0..1. Where wrapBoth() keeps 1 (the sum is 1 or 2)
            // this gives 0: the same sample, as a cycle's guard samples repeat its first ones.
            const __m128d shifted = _mm_add_pd(phase, widths);
            const __m128d later = _mm_sub_pd(shifted, _mm_floor_pd(shifted));
            const __m256d x = _mm256_mul_pd(
                _mm256_insertf128_pd(_mm256_castpd128_pd256(phase), later, 1), lengths);
            index = _mm256_cvttpd_epi32(x);
            fraction = _mm256_cvtpd_ps(_mm256_sub_pd(x, _mm256_cvtepi32_pd(index)));
        } else {
            const __m128d x = _mm_mul_pd(phase, _mm256_castpd256_pd128(lengths));
            index = _mm_cvttpd_epi32(x);
            fraction = _mm_cvtpd_ps(_mm_sub_pd(x, _mm_cvtepi32_pd(index)));
        }
        // Each lane's two neighbouring samples in one (unaligned) load, then the first samples
        // of all lanes in one register and the second ones in another.
        const __m128 reads01 =
            loadTwoHigh(loadTwo(samples[0] + static_cast<std::uint32_t>(_mm_cvtsi128_si32(index))),
                        samples[1] + static_cast<std::uint32_t>(_mm_extract_epi32(index, 1)));
        __m128 reads23 = _mm_setzero_ps();
        if constexpr (pulses == 1)
            reads23 = loadTwo(samples[0] + static_cast<std::uint32_t>(_mm_extract_epi32(index, 2)));
        if constexpr (pulses == 2)
            reads23 = loadTwoHigh(
                reads23, samples[1] + static_cast<std::uint32_t>(_mm_extract_epi32(index, 3)));
        if constexpr (pulses == 3)
            reads23 = loadTwoHigh(
                loadTwo(samples[0] + static_cast<std::uint32_t>(_mm_extract_epi32(index, 2))),
                samples[1] + static_cast<std::uint32_t>(_mm_extract_epi32(index, 3)));
        // Lanes without a read interpolate between zeros: 0.
        const __m128 low = _mm_shuffle_ps(reads01, reads23, _MM_SHUFFLE(2, 0, 2, 0));
        const __m128 high = _mm_shuffle_ps(reads01, reads23, _MM_SHUFFLE(3, 1, 3, 1));
        __m128 slope = _mm_mul_ps(fraction, _mm_sub_ps(high, low));
        // Rounded before the add, as in the plain kernel: not fused with it.
        __asm__("" : "+x"(slope));
        const __m128 value = _mm_add_ps(low, slope);

        __m128d next = _mm_add_pd(phase, advance);
        const __m128d wrapped = _mm_cmpgt_pd(next, _mm_set1_pd(1.0));
        if (_mm_movemask_pd(wrapped) != 0) {
            next = _mm_sub_pd(next, _mm_and_pd(wrapped, _mm_set1_pd(1.0)));
            // The wrapped lanes swap their two cycle-length factors.
            const __m128 swap = _mm_castsi128_ps(
                _mm_shuffle_epi32(_mm_castpd_si128(wrapped), _MM_SHUFFLE(3, 3, 2, 0)));
            const __m128 was = factors;
            factors = _mm_or_ps(_mm_andnot_ps(swap, was), _mm_and_ps(swap, otherFactors));
            otherFactors = _mm_or_ps(_mm_andnot_ps(swap, otherFactors), _mm_and_ps(swap, was));
            advance = _mm_cvtps_pd(_mm_mul_ps(halfIncrement, factors));
        }
        phase = next;
        return value;
    }
};

} // namespace

// renderSetPairBody() with the reads of a step side by side (WidePair), the same operations in
// the same order: the same samples.
template <int pulses>
TRESKPRO_FAST_TARGET TRESKPRO_KERNEL_BODY void
VcoModule::renderSetPairWide(VcoModule& first, VcoModule& second, int count, float sampleRate,
                             const WavetableSet& firstSet, const WavetableSet& secondSet) noexcept {
    VcoModule* vco[2] = {&first, &second};
    const WavetableSet* sets[2] = {&firstSet, &secondSet};
    const float reciprocalRate = 1.0f / sampleRate;
    float inc[2] = {limitIncrement(first.increment), limitIncrement(second.increment)};
    WidePair<pulses> pair;
    pair.samples[0] = pair.samples[1] = nullptr;
    pair.lengths = _mm256_setzero_pd();
    pair.phase = _mm_set_pd(second.currentPhase, first.currentPhase);
    pair.factors = _mm_setr_ps(first.asymmetry, second.asymmetry, 0.0f, 0.0f);
    pair.otherFactors = _mm_setr_ps(first.asymmetryInverse, second.asymmetryInverse, 0.0f, 0.0f);
    std::int32_t entry[2] = {-1, -1};
    float* audio[2] = {first.outputs[Audio], second.outputs[Audio]};
    // Per lane: the frequency block, or the increment held (read as a frequency of scale 1), and
    // the width block, the width held, or 0 for a lane that is no pulse.
    const float* frequency[2] = {first.inputs[Frequency], second.inputs[Frequency]};
    const float* widthInput[2] = {first.inputs[PulseWidth], second.inputs[PulseWidth]};
    float heldWidth[2];
    for (int k = 0; k < 2; ++k)
        heldWidth[k] = vco[k]->shape == Pulse ? vco[k]->constantPulseWidth : 0.0f;
    if (!(pulses & 1))
        widthInput[0] = nullptr;
    if (!(pulses & 2))
        widthInput[1] = nullptr;
    const int lastEntry[2] = {firstSet.mapCount() - 1, secondSet.mapCount() - 1};
    const __m256 scales = _mm256_set_m128(_mm_set1_ps(frequency[1] ? reciprocalRate : 1.0f),
                                          _mm_set1_ps(frequency[0] ? reciprocalRate : 1.0f));
    const __m256i lastEntries =
        _mm256_set_m128i(_mm_set1_epi32(lastEntry[1]), _mm_set1_epi32(lastEntry[0]));
    const __m256 lastPeriods = _mm256_cvtepi32_ps(lastEntries);
    const __m256i sideBySide = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    constexpr int stretch = 64;
    // The two lanes side by side: each base-rate sample's half increments, map entries and widths.
    alignas(32) float halfLanes[2 * stretch];
    alignas(32) std::int32_t entryLanes[2 * stretch];
    alignas(32) float widthLanes[2 * stretch];
    const int pairs = (count + 1) / 2;
    for (int start = 0; start < pairs; start += stretch) {
        const int n = std::min(stretch, pairs - start);
        // pairSteps() and the widths of renderSetPairBody(), both lanes at once: four base-rate
        // samples of the first in the low half, of the second in the high half, then side by
        // side.
        int j = 0;
        for (; j + 4 <= n; j += 4) {
            __m128 four[2];
            for (int k = 0; k < 2; ++k)
                four[k] =
                    frequency[k] ? _mm_loadu_ps(frequency[k] + start + j) : _mm_set1_ps(inc[k]);
            const __m256 raw = _mm256_mul_ps(_mm256_set_m128(four[1], four[0]), scales);
            const __m256 least = _mm256_set1_ps(minimumIncrement);
            const __m256 incs =
                _mm256_min_ps(_mm256_blendv_ps(least, raw, _mm256_cmp_ps(raw, least, _CMP_GT_OQ)),
                              _mm256_set1_ps(1.0f));
            const __m256 period = _mm256_div_ps(_mm256_set1_ps(1.0f), incs);
            const __m256 entries = _mm256_blendv_ps(
                _mm256_castsi256_ps(lastEntries), _mm256_castsi256_ps(_mm256_cvttps_epi32(period)),
                _mm256_cmp_ps(period, lastPeriods, _CMP_LT_OQ));
            _mm256_store_ps(
                halfLanes + 2 * j,
                _mm256_permutevar8x32_ps(_mm256_mul_ps(_mm256_set1_ps(0.5f), incs), sideBySide));
            _mm256_store_ps(reinterpret_cast<float*>(entryLanes + 2 * j),
                            _mm256_permutevar8x32_ps(entries, sideBySide));
            if constexpr (pulses != 0) {
                // limitPulseWidth(): NaN and up to -1 give -1, from 1 up 1.
                for (int k = 0; k < 2; ++k)
                    four[k] = widthInput[k] ? _mm_loadu_ps(widthInput[k] + start + j)
                                            : _mm_set1_ps(heldWidth[k]);
                const __m256 widths = _mm256_min_ps(
                    _mm256_max_ps(_mm256_set_m128(four[1], four[0]), _mm256_set1_ps(-1.0f)),
                    _mm256_set1_ps(1.0f));
                _mm256_store_ps(widthLanes + 2 * j, _mm256_permutevar8x32_ps(widths, sideBySide));
            }
        }
        for (; j < n; ++j) {
            for (int k = 0; k < 2; ++k) {
                const float stepInc = frequency[k]
                                          ? limitIncrement(frequency[k][start + j] * reciprocalRate)
                                          : inc[k];
                const float period = 1.0f / stepInc;
                entryLanes[2 * j + k] = period < static_cast<float>(lastEntry[k])
                                            ? static_cast<int>(period)
                                            : lastEntry[k];
                halfLanes[2 * j + k] = 0.5f * stepInc;
                widthLanes[2 * j + k] =
                    limitPulseWidth(widthInput[k] ? widthInput[k][start + j] : heldWidth[k]);
            }
        }
        for (int k = 0; k < 2; ++k)
            if (frequency[k])
                inc[k] = 2.0f * halfLanes[2 * (n - 1) + k];
        const int steps = std::min(2 * n, count - 2 * start);
        for (j = 0; j < n; ++j) {
            // Both lanes' entries compared at once.
            std::uint64_t now;
            std::uint64_t before;
            std::memcpy(&now, entryLanes + 2 * j, sizeof now);
            std::memcpy(&before, entry, sizeof before);
            if (now != before) {
                std::memcpy(entry, entryLanes + 2 * j, sizeof entry);
                int length[2];
                for (int k = 0; k < 2; ++k) {
                    const Cycle cycle(*sets[k], sets[k]->tableForEntry(entry[k]));
                    pair.samples[k] = cycle.samples;
                    length[k] = cycle.length;
                }
                pair.lengths = _mm256_setr_pd(length[0], length[1], length[0], length[1]);
            }
            pair.setIncrement(loadTwo(halfLanes + 2 * j));
            const __m128d widths =
                pulses != 0 ? _mm_cvtps_pd(loadTwo(widthLanes + 2 * j)) : _mm_setzero_pd();
            // Both 2x samples of the base-rate sample, but for a caller's odd count.
            const int at = 2 * (start + j);
            const __m128 a = pair.step(widths);
            if (2 * j + 1 == steps) {
                const __m128 last = WidePair<pulses>::outputs(a, a);
                audio[0][at] = _mm_cvtss_f32(last);
                audio[1][at] = _mm_cvtss_f32(_mm_movehl_ps(last, last));
                break;
            }
            const __m128 both = WidePair<pulses>::outputs(a, pair.step(widths));
            _mm_storel_pi(reinterpret_cast<__m64*>(audio[0] + at), both);
            _mm_storeh_pi(reinterpret_cast<__m64*>(audio[1] + at), both);
        }
    }
    alignas(16) double phases[2];
    alignas(16) float factorLanes[4];
    alignas(16) float otherLanes[4];
    _mm_store_pd(phases, pair.phase);
    _mm_store_ps(factorLanes, pair.factors);
    _mm_store_ps(otherLanes, pair.otherFactors);
    for (int k = 0; k < 2; ++k) {
        vco[k]->currentPhase = phases[k];
        vco[k]->increment = inc[k];
        vco[k]->asymmetry = factorLanes[k];
        vco[k]->asymmetryInverse = otherLanes[k];
    }
}
#endif

// Where the 256-bit pair kernel is not built, the plain body runs: compiled for the fast
// kernel, its interpolation would fuse a multiply and an add and round otherwise than a single
// oscillator does.
#ifdef TRESKPRO_WIDE_PAIR
TRESKPRO_FAST_TARGET void VcoModule::renderSetPairFast(VcoModule& first, VcoModule& second,
                                                       int count, float sampleRate,
                                                       const WavetableSet& firstSet,
                                                       const WavetableSet& secondSet) noexcept {
    switch ((first.shape == Pulse ? 1 : 0) | (second.shape == Pulse ? 2 : 0)) {
    case 0:
        renderSetPairWide<0>(first, second, count, sampleRate, firstSet, secondSet);
        break;
    case 1:
        renderSetPairWide<1>(first, second, count, sampleRate, firstSet, secondSet);
        break;
    case 2:
        renderSetPairWide<2>(first, second, count, sampleRate, firstSet, secondSet);
        break;
    default:
        renderSetPairWide<3>(first, second, count, sampleRate, firstSet, secondSet);
        break;
    }
}
#endif

void VcoModule::renderSetPair(VcoModule& first, VcoModule& second, int count, float sampleRate,
                              const WavetableSet& firstSet,
                              const WavetableSet& secondSet) noexcept {
#ifdef TRESKPRO_WIDE_PAIR
    if (fastKernels()) {
        renderSetPairFast(first, second, count, sampleRate, firstSet, secondSet);
        return;
    }
#endif
    renderSetPairShapes(first, second, count, sampleRate, firstSet, secondSet);
}

void VcoModule::renderWavetable(int count, float sampleRate) noexcept {
    const WavetableSet& set = shape == Square ? *squareSet : *sawSet;
    if (plainOutput()) {
        renderSet(count, sampleRate, set);
        return;
    }
    if (shape == Pulse) {
        const float* widthInput = inputs[PulseWidth];
        const float width = constantPulseWidth;
        SetReader saw(*sawSet);
        run(count, sampleRate, [&](double phase, float period, int j) {
            const float pw = limitPulseWidth(widthInput ? widthInput[j] : width);
            const float first = saw(phase, period);
            return first - saw.cycle.read(wrapBoth(phase + pw));
        });
        return;
    }
    SetReader reader(set);
    run(count, sampleRate, [&](double phase, float period, int) { return reader(phase, period); });
}

void VcoModule::renderSmooth(int count, float sampleRate) noexcept {
    if (!usable(triangleSet)) {
        // Without the triangle set there is nothing to play: silence, with the phase running on.
        run(count, sampleRate, [](double, float, int) { return 0.0f; });
        return;
    }
    if (shape == Sine) {
        const Cycle sine(*triangleSet, triangleSet->smoothestTable());
        run(count, sampleRate, [&](double phase, float, int) { return sine.read(phase); });
        return;
    }
    if (plainOutput()) {
        renderSet(count, sampleRate, *triangleSet);
        return;
    }
    SetReader reader(*triangleSet);
    run(count, sampleRate, [&](double phase, float period, int) { return reader(phase, period); });
}

void VcoModule::renderParabolic(int count, float sampleRate) noexcept {
    const float* sync = inputs[Sync];
    const float* frequency = inputs[Frequency];
    const float* widthInput = inputs[PulseWidth];
    // Under sync at low frequencies the differentiated forms would turn every reset into a spike:
    // the plain waveforms are used for the whole block instead.
    const float lastIncrement =
        frequency ? limitIncrement(frequency[(count - 1) >> 1] / sampleRate) : increment;
    const bool plain = sync && lastIncrement < 0.1f;

    double gain = fadeGain;
    float qa = previousA;
    float qb = previousB;
    auto fade = [&] {
        gain += 0.005 * (1.0 + fadeOffset.next() - gain);
        return static_cast<float>(gain);
    };

    if (shape == Saw) {
        run(count, sampleRate, [&](double phase, float period, int) {
            const float a = squared(phase - 0.5);
            const float value = (a - qa) * 1.3f * period * fade();
            qa = a;
            return plain ? static_cast<float>(phase - 0.5) : value;
        });
    } else if (shape == Square) {
        run(count, sampleRate, [&](double phase, float period, int) {
            const float a = squared(phase - 0.5);
            const float b = squared(wrapAbove(phase + 0.45) - 0.5);
            const float value = ((a - qa) - (b - qb)) * period * fade();
            qa = a;
            qb = b;
            if (plain)
                return phase > 0.45 ? 0.5f : -0.5f;
            return value;
        });
    } else {
        double smoothed = smoothedPulseWidth;
        const float width = constantPulseWidth;
        run(count, sampleRate, [&](double phase, float period, int j) {
            double s = width;
            if (widthInput) {
                follow(smoothed, widthInput[j], 0.007, pulseWidthOffset);
                s = smoothed;
            }
            const float a = squared(phase - 0.5);
            const float b = squared(wrapAbove(phase + s) - 0.5);
            const float value = ((a - qa) - (b - qb)) * period * fade();
            qa = a;
            qb = b;
            if (plain) {
                const float pw = widthInput ? widthInput[j] : width;
                return phase <= pw ? -0.5f : 0.5f;
            }
            return value;
        });
        smoothedPulseWidth = smoothed;
        if (widthInput)
            constantPulseWidth = static_cast<float>(smoothed);
    }
    fadeGain = gain;
    previousA = qa;
    previousB = qb;
}

void VcoModule::applyBoost(int count) noexcept {
    float* audio = outputs[Audio];
    if (!audio)
        return;
    double state = boostState;
    const double amount = boost;
    for (int i = 0; i < count; ++i) {
        follow(state, audio[i], 0.2, boostOffset);
        audio[i] = static_cast<float>(audio[i] + amount * state);
    }
    boostState = state;
}

} // namespace treskpro
