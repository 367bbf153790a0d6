#include "engine/OscillatorSection.h"

#include "engine/FastKernels.h"
#include "engine/Lanes.h"
#include "engine/PitchTables.h"
#include "engine/SampleRate.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <type_traits>
#include <utility>

#if defined(TRESKPRO_FAST_KERNELS) && !defined(_WIN64)
#include <immintrin.h>
#endif

namespace treskpro {

namespace {

// Index steps per octave into the exp2 table: a little under its 1024 entries per octave.
constexpr float exp2IndexStep = 0.25f * 4095.0f;

inline float limitFrequency(float frequency, float highest) {
    if (!(frequency > 1.0f))
        return 1.0f;
    return frequency < highest ? frequency : highest;
}

inline float rangeRatio(float range) {
    const int steps = std::clamp(static_cast<int>(range * 2.0f), 0, 2);
    return static_cast<float>(1 << steps);
}

inline float fold(float width) {
    const float mirrored = width < 0.0f ? -width : width > 1.0f ? 2.0f - width : width;
    // Widths beyond one fold (only from extreme control signals) stay at the edge.
    return std::clamp(mirrored, 0.0f, 1.0f);
}

inline float frequencyFor(float note, float octaves, float ratio, const float* exp2,
                          float highest) {
    const int index = std::clamp(exp2TableCentre + static_cast<int>(octaves * exp2IndexStep), 0,
                                 exp2TableSize - 1);
    return limitFrequency(note * exp2[index] * ratio, highest);
}

#if defined(TRESKPRO_FAST_KERNELS) && !defined(_WIN64)
#define TRESKPRO_WIDE_SINES 1

// fastSine() (Lanes.h) in eight lanes, the same steps.
TRESKPRO_FAST_TARGET inline __m256 fastSine8(__m256 x) {
    constexpr float piHigh = 3.140625f;
    constexpr float piLow = 9.67653589793e-4f;
    constexpr float halfPi = 1.5707963f;
    const __m256 signMask = _mm256_set1_ps(-0.0f);
    const __m256 valid =
        _mm256_cmp_ps(_mm256_andnot_ps(signMask, x), _mm256_set1_ps(1e9f), _CMP_LT_OQ);
    const __m256 arg = _mm256_and_ps(x, valid);
    const __m256 shifted = _mm256_mul_ps(arg, _mm256_set1_ps(0.31830988618f));
    const __m256 half = _mm256_or_ps(_mm256_and_ps(shifted, signMask), _mm256_set1_ps(0.5f));
    const __m256i k = _mm256_cvttps_epi32(_mm256_add_ps(shifted, half));
    const __m256 kf = _mm256_cvtepi32_ps(k);
    __m256 r = _mm256_sub_ps(_mm256_sub_ps(arg, _mm256_mul_ps(kf, _mm256_set1_ps(piHigh))),
                             _mm256_mul_ps(kf, _mm256_set1_ps(piLow)));
    r = _mm256_max_ps(_mm256_min_ps(r, _mm256_set1_ps(halfPi)), _mm256_set1_ps(-halfPi));
    r = _mm256_xor_ps(r, _mm256_castsi256_ps(_mm256_slli_epi32(k, 31)));
    const __m256 r2 = _mm256_mul_ps(r, r);
    const __m256 r4 = _mm256_mul_ps(r2, r2);
    const __m256 low = _mm256_sub_ps(_mm256_set1_ps(1.0f),
                                     _mm256_mul_ps(_mm256_set1_ps(1.6666666666666666e-1f), r2));
    const __m256 high = _mm256_sub_ps(_mm256_set1_ps(8.3333333333333332e-3f),
                                      _mm256_mul_ps(_mm256_set1_ps(1.9841269841269841e-4f), r2));
    const __m256 top =
        _mm256_add_ps(high, _mm256_mul_ps(_mm256_set1_ps(2.7557319223985893e-6f), r4));
    return _mm256_mul_ps(r, _mm256_add_ps(low, _mm256_mul_ps(r4, top)));
}

// The shaper's sine pass two base-rate samples at a time: their eight low-pass states (the
// lanes of two Float4) from `states`, the amounts from `amount` (its first while `steady`).
// Returns how many of the `n` samples it did.
TRESKPRO_FAST_TARGET int wideSines(float* x1, float* x2, const float* states, const float* amount,
                                   int start, int n, bool steady) noexcept {
    int k = 0;
    for (; k + 2 <= n; k += 2) {
        const int j = start + k;
        const float s0 = steady ? amount[0] : amount[j];
        const float s1 = steady ? amount[0] : amount[j + 1];
        const __m256 s = _mm256_set_m128(_mm_set1_ps(s1), _mm_set1_ps(s0));
        // Lanes a0 b0 a1 b1 | a2 b2 a3 b3, as two Float4::interleave().
        const __m128 a = _mm_loadu_ps(x1 + 2 * j);
        const __m128 b = _mm_loadu_ps(x2 + 2 * j);
        const __m256 input = _mm256_set_m128(_mm_unpackhi_ps(a, b), _mm_unpacklo_ps(a, b));
        const __m256 sine = fastSine8(_mm256_mul_ps(_mm256_loadu_ps(states + 4 * k),
                                                    _mm256_mul_ps(_mm256_set1_ps(30.0f), s)));
        const __m256 shaped = _mm256_add_ps(
            _mm256_mul_ps(sine, s), _mm256_mul_ps(_mm256_sub_ps(_mm256_set1_ps(1.0f), s), input));
        const __m256 pairs = _mm256_shuffle_ps(shaped, shaped, _MM_SHUFFLE(3, 1, 2, 0));
        const __m128 first = _mm256_castps256_ps128(pairs);
        const __m128 second = _mm256_extractf128_ps(pairs, 1);
        _mm_storeu_ps(x1 + 2 * j, _mm_movelh_ps(first, second));
        _mm_storeu_ps(x2 + 2 * j, _mm_movehl_ps(second, first));
    }
    return k;
}

// One jump of the shaper's two-follower chains (lanes 0, 1: both oscillators at the first
// base-rate sample of a pair; lanes 2, 3: at the second): `terms` is what each base-rate sample
// adds to its chain, `drive` its first 2x sample's drive. The second sample's term carries the
// first's (keep^2 times it), the states after the pair come from the state `before` it in one
// multiply-add (keep^2, keep^4), and the first 2x states from the states before them. Returns
// the second 2x states, sets `firsts` and moves `before` on to the pair's last state.
TRESKPRO_FAST_TARGET inline __m256d jumpPair(__m256d drive, __m256d terms, __m256d keep,
                                             __m256d keepTwice, __m256d chainKeep, __m256d& before,
                                             __m256d& firsts) noexcept {
    const __m256d carried =
        _mm256_fmadd_pd(keepTwice, _mm256_permute2f128_pd(terms, terms, 0x08), terms);
    const __m256d after = _mm256_fmadd_pd(chainKeep, before, carried);
    firsts = _mm256_fmadd_pd(keep, _mm256_permute2f128_pd(before, after, 0x20), drive);
    before = _mm256_permute2f128_pd(after, after, 0x11);
    return after;
}

// The shaper's blocker over `n` base-rate samples from `start`: two base-rate samples at a time,
// both oscillators' four 2x samples each, in eight lanes (two vectors: every first 2x sample,
// then every second). The chain jumps a whole pair, its two states at once from the state
// before (keep^2 and keep^4 times it, plus terms known beforehand); the rounding differs from
// the plain loop's by parts in 10^16. Takes the two blocker states in `state` (as a Double2's
// lanes) and leaves them there; returns how many of the `n` samples it did.
TRESKPRO_FAST_TARGET int wideBlocker(float* x1, float* x2, int start, int n, __m128d& state,
                                     double rate, double offset) noexcept {
    const double keepOnce = 1.0 - rate;
    const double keepTwice = keepOnce * keepOnce;
    const __m256d gain = _mm256_set1_pd(rate);
    const __m256d keep = _mm256_set1_pd(keepOnce);
    const __m256d drivePlus = _mm256_set1_pd(rate * offset);
    const __m256d driveMinus = _mm256_set1_pd(-rate * offset);
    const __m256d chainKeep =
        _mm256_setr_pd(keepTwice, keepTwice, keepTwice * keepTwice, keepTwice * keepTwice);
    const __m256d carryKeep = _mm256_set1_pd(keepTwice);
    // The state in both halves.
    __m256d before = _mm256_set_m128d(state, state);
    const int pairsEnd = start + (n & ~1);
    int j = start;
    for (; j < pairsEnd; j += 2) {
        // Lanes a0 b0 a2 b2 (the first 2x samples of j and j + 1) and a1 b1 a3 b3.
        const __m256d a = _mm256_cvtps_pd(_mm_loadu_ps(x1 + 2 * j));
        const __m256d b = _mm256_cvtps_pd(_mm_loadu_ps(x2 + 2 * j));
        const __m256d shapedFirst = _mm256_unpacklo_pd(a, b);
        const __m256d shapedSecond = _mm256_unpackhi_pd(a, b);
        const __m256d drive = _mm256_fmadd_pd(gain, shapedFirst, drivePlus);
        // What each base-rate sample adds to the chain, and what the pair adds to its second
        // state: the first one's, carried.
        const __m256d terms =
            _mm256_fmadd_pd(keep, drive, _mm256_fmadd_pd(gain, shapedSecond, driveMinus));
        __m256d firsts;
        const __m256d after = jumpPair(drive, terms, keep, carryKeep, chainKeep, before, firsts);
        const __m256d blockedFirst = _mm256_sub_pd(shapedFirst, firsts);
        const __m256d blockedSecond = _mm256_sub_pd(shapedSecond, after);
        _mm_storeu_ps(x1 + 2 * j, _mm256_cvtpd_ps(_mm256_unpacklo_pd(blockedFirst, blockedSecond)));
        _mm_storeu_ps(x2 + 2 * j, _mm256_cvtpd_ps(_mm256_unpackhi_pd(blockedFirst, blockedSecond)));
    }
    state = _mm256_castpd256_pd128(before);
    return pairsEnd - start;
}

// The shaper's low-pass over `n` base-rate samples from `start`, two at a time as the blocker
// above: the follower's two states before each of a base-rate sample's two 2x samples go to
// `states` (as the lanes of a Float4 per sample). The coefficients come from `amount` (its first
// while `Steady`). Takes the two states in `low` and leaves them there; returns how many of the
// `n` samples it did.
template <bool Steady>
TRESKPRO_FAST_TARGET int wideLowPass(const float* x1, const float* x2, const float* amount,
                                     int start, int n, float* states, __m128d& low,
                                     double offset) noexcept {
    const __m256d plus = _mm256_set1_pd(offset);
    const __m256d one = _mm256_set1_pd(1.0);
    // c = 0.07 - 0.045 x amount; the follower keeps 1 - c of its state.
    const __m256d slope = _mm256_set1_pd(0.045);
    const __m256d most = _mm256_set1_pd(0.07);
    const __m256d steadyGain =
        _mm256_fnmadd_pd(slope, _mm256_set1_pd(static_cast<double>(amount[0])), most);
    const __m256d steadyKeep = _mm256_sub_pd(one, steadyGain);
    const __m256d steadyKeepTwice = _mm256_mul_pd(steadyKeep, steadyKeep);
    const __m256d steadyChainKeep =
        _mm256_mul_pd(steadyKeepTwice, _mm256_blend_pd(one, steadyKeepTwice, 0b1100));
    __m256d before = _mm256_set_m128d(low, low);
    const int pairs = n & ~1;
    for (int k = 0; k < pairs; k += 2) {
        const int j = start + k;
        __m256d gain = steadyGain, keep = steadyKeep, keepTwice = steadyKeepTwice,
                chainKeep = steadyChainKeep;
        if constexpr (!Steady) {
            const __m128d both = _mm_cvtps_pd(
                _mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(amount + j))));
            gain = _mm256_fnmadd_pd(
                slope, _mm256_permute4x64_pd(_mm256_castpd128_pd256(both), 0x50), most);
            keep = _mm256_sub_pd(one, gain);
            keepTwice = _mm256_mul_pd(keep, keep);
            chainKeep = _mm256_mul_pd(
                keepTwice,
                _mm256_blend_pd(one, _mm256_permute2f128_pd(keepTwice, keepTwice, 0x00), 0b1100));
        }
        // Lanes a0 b0 a2 b2 (the first 2x samples of j and j + 1) and a1 b1 a3 b3.
        const __m256d a = _mm256_cvtps_pd(_mm_loadu_ps(x1 + 2 * j));
        const __m256d b = _mm256_cvtps_pd(_mm_loadu_ps(x2 + 2 * j));
        const __m256d drive = _mm256_mul_pd(gain, _mm256_add_pd(_mm256_unpacklo_pd(a, b), plus));
        const __m256d terms = _mm256_fmadd_pd(
            keep, drive, _mm256_mul_pd(gain, _mm256_sub_pd(_mm256_unpackhi_pd(a, b), plus)));
        __m256d firsts;
        const __m256d after = jumpPair(drive, terms, keep, keepTwice, chainKeep, before, firsts);
        const __m128 f = _mm256_cvtpd_ps(firsts);
        const __m128 l = _mm256_cvtpd_ps(after);
        _mm256_storeu_ps(states + 4 * k, _mm256_set_m128(_mm_movehl_ps(l, f), _mm_movelh_ps(f, l)));
    }
    low = _mm256_castpd256_pd128(before);
    return pairs;
}

// frequencies()'s loop eight samples at a time, the table read in one gather: the same steps,
// lane by lane. Returns how many of the `count` samples it did.
TRESKPRO_FAST_TARGET int wideFrequencies(int count, const float* cv, const float* mg, float mgDepth,
                                         const float* octave, const float* note, float range,
                                         float highest, float* frequency) noexcept {
    const float* exp2 = exp2Table().data();
    const __m256i centre = _mm256_set1_epi32(exp2TableCentre);
    const __m256i last = _mm256_set1_epi32(exp2TableSize - 1);
    const __m256 one = _mm256_set1_ps(1.0f);
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256 modulation = mg ? _mm256_loadu_ps(mg + i) : _mm256_setzero_ps();
        const __m256 m =
            cv ? _mm256_loadu_ps(cv + i) : _mm256_mul_ps(modulation, _mm256_set1_ps(mgDepth));
        const __m256 octaves = _mm256_add_ps(m, _mm256_loadu_ps(octave + i));
        const __m256i index = _mm256_min_epi32(
            _mm256_max_epi32(_mm256_add_epi32(centre, _mm256_cvttps_epi32(_mm256_mul_ps(
                                                          octaves, _mm256_set1_ps(exp2IndexStep)))),
                             _mm256_setzero_si256()),
            last);
        const __m256 factor = _mm256_i32gather_ps(exp2, index, 4);
        const __m256 f =
            _mm256_mul_ps(_mm256_mul_ps(_mm256_loadu_ps(note + i), factor), _mm256_set1_ps(range));
        const __m256 raised = _mm256_blendv_ps(one, f, _mm256_cmp_ps(f, one, _CMP_GT_OQ));
        _mm256_storeu_ps(frequency + i, _mm256_min_ps(raised, _mm256_set1_ps(highest)));
    }
    return i;
}
#endif

} // namespace

PitchTerms pitchTerms(const OscillatorSettings& settings) {
    PitchTerms terms;
    const float master = (settings.masterTuning - 0.5f) * 2.0f;
    terms.octave1 = master + (settings.fineTune1 - 0.5f) * 8.0f;
    terms.octave2 = master + (settings.fineTune2 - 0.5f) * 8.0f;
    const double bend =
        std::exp2((settings.pitchBend / 16383.0 - 0.5) * 2.0 * settings.bendRange / 12.0);
    terms.range1 = static_cast<float>(rangeRatio(settings.range1) * bend);
    terms.range2 = static_cast<float>(rangeRatio(settings.range2) * bend);
    return terms;
}

namespace {

TRESKPRO_KERNEL_BODY void frequencies(int count, const PitchTerms& terms,
                                      const OscillatorSettings& settings,
                                      const OscillatorInputs& in, float sampleRate,
                                      float* frequency1, float* frequency2, bool wide) noexcept {
    const float* exp2 = exp2Table().data();
    const float highest = sampleRate * 0.5f;
    const auto follow = [&](const float* cv, float mgDepth, const float* octave, float range,
                            float* frequency) {
        if (!frequency)
            return;
        int i = 0;
#ifdef TRESKPRO_WIDE_SINES
        if (wide)
            i = wideFrequencies(count, cv, in.mg, mgDepth, octave, in.noteFrequency, range, highest,
                                frequency);
#else
        static_cast<void>(wide);
#endif
#ifdef TRESKPRO_HAS_SSE2
        // Four samples at a time, with the same operations as frequencyFor(): the table index
        // in one register, the table reads one by one. The MG or a cable moves the pitch at
        // every sample, so there is nothing to gain from looking only at changes.
        const __m128i centre = _mm_set1_epi32(exp2TableCentre);
        const __m128i last = _mm_set1_epi32(exp2TableSize - 1);
        const __m128i zero = _mm_setzero_si128();
        for (; i + 4 <= count; i += 4) {
            const __m128 mg = in.mg ? _mm_loadu_ps(in.mg + i) : _mm_setzero_ps();
            const __m128 m = cv ? _mm_loadu_ps(cv + i) : _mm_mul_ps(mg, _mm_set1_ps(mgDepth));
            const __m128 octaves = _mm_add_ps(m, _mm_loadu_ps(octave + i));
            __m128i index = _mm_add_epi32(
                centre, _mm_cvttps_epi32(_mm_mul_ps(octaves, _mm_set1_ps(exp2IndexStep))));
            index = _mm_and_si128(index, _mm_cmpgt_epi32(index, zero));
            const __m128i above = _mm_cmpgt_epi32(index, last);
            index = _mm_or_si128(_mm_and_si128(above, last), _mm_andnot_si128(above, index));
            alignas(16) std::int32_t at[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(at), index);
            const __m128 factor = _mm_setr_ps(exp2[at[0]], exp2[at[1]], exp2[at[2]], exp2[at[3]]);
            const __m128 f = _mm_mul_ps(_mm_mul_ps(_mm_loadu_ps(in.noteFrequency + i), factor),
                                        _mm_set1_ps(range));
            // limitFrequency(): at least 1 Hz (NaN too), at most the highest.
            const __m128 audible = _mm_cmpgt_ps(f, _mm_set1_ps(1.0f));
            const __m128 raised =
                _mm_or_ps(_mm_and_ps(audible, f), _mm_andnot_ps(audible, _mm_set1_ps(1.0f)));
            _mm_storeu_ps(frequency + i, _mm_min_ps(raised, _mm_set1_ps(highest)));
        }
#endif
        for (; i < count; ++i) {
            const float mg = in.mg ? in.mg[i] : 0.0f;
            const float m = cv ? cv[i] : mg * mgDepth;
            frequency[i] = frequencyFor(in.noteFrequency[i], m + octave[i], range, exp2, highest);
        }
    };
    follow(in.vco1Cv, settings.mgVco1Depth, in.octave1, terms.range1, frequency1);
    follow(in.vco2Cv, settings.mgVco2Depth, in.octave2, terms.range2, frequency2);
    if (settings.sync && frequency1 && frequency2) {
        for (int i = 0; i < count; ++i)
            frequency2[i] = std::max(frequency2[i], frequency1[i]);
    }
}

} // namespace

void oscillatorFrequencies(int count, const PitchTerms& terms, const OscillatorSettings& settings,
                           const OscillatorInputs& in, float sampleRate, float* frequency1,
                           float* frequency2) noexcept {
#ifdef TRESKPRO_WIDE_SINES
    const bool wide = fastKernels();
#else
    const bool wide = false;
#endif
    frequencies(count, terms, settings, in, sampleRate, frequency1, frequency2, wide);
}

void oscillatorPulseWidths(int count, const OscillatorSettings& settings,
                           const OscillatorInputs& in, float* pulseWidth1,
                           float* pulseWidth2) noexcept {
    const bool cables = in.pulseWidth1Cv || in.pulseWidth2Cv;
    // One loop per case, with nothing to decide inside.
    const auto modulate = [count](const float* width, const float* cv, float* out) {
        if (cv) {
            int i = 0;
#ifdef TRESKPRO_HAS_SSE2
            // fold() four samples at a time.
            for (; i + 4 <= count; i += 4) {
                const __m128 w = _mm_add_ps(_mm_loadu_ps(width + i),
                                            _mm_mul_ps(_mm_set1_ps(0.5f), _mm_loadu_ps(cv + i)));
                const __m128 negative = _mm_cmplt_ps(w, _mm_setzero_ps());
                const __m128 over = _mm_cmpgt_ps(w, _mm_set1_ps(1.0f));
                const __m128 mirrored = _mm_or_ps(
                    _mm_and_ps(negative, _mm_xor_ps(w, _mm_set1_ps(-0.0f))),
                    _mm_andnot_ps(negative,
                                  _mm_or_ps(_mm_and_ps(over, _mm_sub_ps(_mm_set1_ps(2.0f), w)),
                                            _mm_andnot_ps(over, w))));
                // std::clamp(): below 0 gives 0, above 1 gives 1, anything else (NaN too) stays.
                const __m128 below = _mm_cmplt_ps(mirrored, _mm_setzero_ps());
                const __m128 above = _mm_cmpgt_ps(mirrored, _mm_set1_ps(1.0f));
                const __m128 clamped = _mm_or_ps(_mm_and_ps(above, _mm_set1_ps(1.0f)),
                                                 _mm_andnot_ps(_mm_or_ps(below, above), mirrored));
                _mm_storeu_ps(out + i, clamped);
            }
#endif
            for (; i < count; ++i)
                out[i] = fold(width[i] + 0.5f * cv[i]);
        } else {
            std::copy_n(width, count, out);
        }
    };
    if (pulseWidth1) {
        const float* cv = cables ? in.pulseWidth1Cv : settings.mgPulseWidth1 ? in.mg : nullptr;
        if (cables || !settings.mgPulseWidth1 || in.mg) {
            modulate(in.pulseWidth1, cv, pulseWidth1);
        } else {
            // The MG as the source but none given: its term is 0, still folded.
            for (int i = 0; i < count; ++i)
                pulseWidth1[i] = fold(in.pulseWidth1[i] + 0.5f * 0.0f);
        }
    }
    if (pulseWidth2) {
        modulate(in.pulseWidth2, cables ? in.pulseWidth2Cv : nullptr, pulseWidth2);
    }
}

void OscillatorSection::setBlocks(const OscillatorBlocks& scratch) {
    blocks = scratch;
    oscillator1.setInput(VcoModule::Frequency, blocks.frequency1);
    oscillator1.setInput(VcoModule::PulseWidth, blocks.pulseWidth1);
    oscillator1.setOutput(VcoModule::Audio, blocks.vco1);
    oscillator2.setInput(VcoModule::Frequency, blocks.frequency2);
    oscillator2.setInput(VcoModule::PulseWidth, blocks.pulseWidth2);
    oscillator2.setOutput(VcoModule::Audio, blocks.vco2);
    decimator.setInput(DecimatorModule::Signal, blocks.mix);
}

void OscillatorSection::setWavetables(const WavetableSet* saw, const WavetableSet* square,
                                      const WavetableSet* triangle) noexcept {
    oscillator1.setWavetables(saw, square, triangle);
    oscillator2.setWavetables(saw, square, triangle);
}

void OscillatorSection::noteOn() noexcept {
    if (!oscillator1.wavetableFlag())
        oscillator1.reset();
    if (!oscillator2.wavetableFlag())
        oscillator2.reset();
}

void OscillatorSection::reset() noexcept {
    oscillator1.reset();
    oscillator2.reset();
    decimator.reset();
    shaper1 = ShaperState{};
    shaper2 = ShaperState{};
}

void OscillatorSection::applySettings(const OscillatorSettings& settings) noexcept {
    VcoModule* oscillators[] = {&oscillator1, &oscillator2};
    const int waveforms[] = {settings.waveform1, settings.waveform2};
    for (int k = 0; k < 2; ++k) {
        VcoModule& vco = *oscillators[k];
        vco.setWavetableFlag(settings.wavetableMode);
        vco.setBoost(settings.boost);
        const int before = vco.waveform();
        vco.setWaveform(waveforms[k]);
        if (vco.waveform() != before)
            vco.reset();
    }
    // VCO-1's wraps restart VCO-2 only while sync is on.
    oscillator1.setOutput(VcoModule::SyncOut, settings.sync ? blocks.sync : nullptr);
    oscillator2.setInput(VcoModule::Sync, settings.sync ? blocks.sync : nullptr);
}

TRESKPRO_KERNEL_BODY void OscillatorSection::processBody(int count,
                                                         const OscillatorSettings& settings,
                                                         const OscillatorInputs& in, float* out,
                                                         bool wide) noexcept {
    if (count <= 0)
        return;
    const float sampleRate = engineSampleRate().rate;
    const int oversampled = 2 * count;
    applySettings(settings);

    const bool run1 = settings.level1 > 0.0f || settings.filterMod1 > 0.0f ||
                      settings.freqMod2 > 0.0f || settings.sync;
    const bool run2 = settings.level2 > 0.0f || settings.freqMod2 > 0.0f || settings.ring;
    // Only a running oscillator reads its frequency block.
    frequencies(count, pitchTerms(settings), settings, in, sampleRate,
                run1 ? blocks.frequency1 : nullptr, run2 ? blocks.frequency2 : nullptr, wide);
    // Only the pulse waveform reads its width.
    const bool pulse1 = run1 && oscillator1.waveform() == VcoModule::Pulse;
    const bool pulse2 = run2 && oscillator2.waveform() == VcoModule::Pulse;
    if (pulse1 || pulse2)
        oscillatorPulseWidths(count, settings, in, pulse1 ? blocks.pulseWidth1 : nullptr,
                              pulse2 ? blocks.pulseWidth2 : nullptr);

    const bool frequencyModulation = settings.vco2Mod > 0.0f && settings.freqMod2 > 0.0f;
    if (run1 && run2 && !frequencyModulation) {
        // Neither reads the other: both run side by side.
        VcoModule::processPair(oscillator1, oscillator2, oversampled);
    } else {
        if (run1)
            oscillator1.process(oversampled);
        else
            std::fill(blocks.vco1, blocks.vco1 + oversampled, 0.0f);
        if (frequencyModulation)
            modulateFrequency2(count, settings.freqMod2, sampleRate);
        if (run2)
            oscillator2.process(oversampled);
        else
            std::fill(blocks.vco2, blocks.vco2 + oversampled, 0.0f);
    }

    if (settings.shaper > 0.0f || in.shaperCv)
        shape(count, settings, in, wide);

    mix(count, settings, in);
    decimator.setOutput(DecimatorModule::Decimated, out);
    decimator.process(count);
}

#ifdef TRESKPRO_FAST_KERNELS
TRESKPRO_FAST_TARGET void OscillatorSection::processFast(int count,
                                                         const OscillatorSettings& settings,
                                                         const OscillatorInputs& in,
                                                         float* out) noexcept {
#ifdef TRESKPRO_WIDE_SINES
    processBody(count, settings, in, out, true);
#else
    processBody(count, settings, in, out, false);
#endif
}
#endif

void OscillatorSection::process(int count, const OscillatorSettings& settings,
                                const OscillatorInputs& in, float* out) noexcept {
#ifdef TRESKPRO_FAST_KERNELS
    if (fastKernels()) {
        processFast(count, settings, in, out);
        return;
    }
#endif
    processBody(count, settings, in, out, false);
}

void OscillatorSection::modulateFrequency2(int count, float amount, float sampleRate) noexcept {
    const float highest = sampleRate * 0.5f;
    const float depth = amount * 8.0f;
    for (int i = 0; i < count; ++i) {
        const float ratio = std::exp2(blocks.vco1[2 * i] * depth);
        blocks.frequency2[i] = limitFrequency(blocks.frequency2[i] * ratio, highest);
    }
}

TRESKPRO_KERNEL_BODY void OscillatorSection::shape(int count, const OscillatorSettings& settings,
                                                   const OscillatorInputs& in, bool wide) noexcept {
    float* x1 = blocks.vco1;
    float* x2 = blocks.vco2;

    // The amount per base-rate sample, limited to 0..1, in the mix block, which is free until
    // the mix: a short pass of its own leaves the sample loop less to do.
    float* amount = blocks.mix;
    for (int j = 0; j < count; ++j) {
        float a = in.shaperAmount ? in.shaperAmount[j] : settings.shaper;
        if (in.shaperCv)
            a *= in.shaperCv[j];
        amount[j] = a > 0.0f ? std::min(a, 1.0f) : 0.0f; // NaN from a cable: no shaping
    }

    // The two oscillators' followers are independent chains, so they run in the lanes of one
    // Double2. Each follower steps y <- keep x y + c x (x + o); a base-rate sample's second
    // state comes straight from the state before the first, keep^2 x y + (keep x c x (x0 + o) +
    // c x (x1 - o)), so the chain is one multiply and one add per base-rate sample, and the
    // first state is worked out beside it. The sines of a base-rate sample's two 2x samples of both
    // oscillators are one Float4. Lanes: VCO-1 and VCO-2 at 2x sample 2j, then both at 2j + 1.
    // Every offset is used twice per base-rate sample, + then -, so each pair starts with +1e-5.
    //
    // The shaper's curve is not symmetric around its input: a blocker per oscillator removes the
    // offset it leaves, both again side by side.
    //
    // A stretch of samples at a time, in three passes: the low-pass chain, the sines, which
    // depend on nothing before them and so overlap freely, and the blocker's chain. In one loop
    // the long sine computation would hold up each step of both chains.
    constexpr double blockerRate = 0.01;
    const Double2 offset(ShaperState::offset);
    const Double2 blockerKeep(1.0 - blockerRate);
    const Double2 blockerGain(blockerRate);
    const Double2 blockerKeepTwice((1.0 - blockerRate) * (1.0 - blockerRate));
    Double2 low(shaper1.lowPass, shaper2.lowPass);
    Double2 blocker(shaper1.blocker, shaper2.blocker);
    const auto block = [&](int j) {
        const Float4 shaped = Float4::interleave(x1 + 2 * j, x2 + 2 * j);
        const Double2 shapedFirst = shaped.lowHalf();
        const Double2 shapedSecond = shaped.highHalf();
        const Double2 drive = blockerGain * (shapedFirst + offset);
        const Double2 blockedFirst = blockerKeep * blocker + drive;
        blocker = blockerKeepTwice * blocker +
                  (blockerKeep * drive + blockerGain * (shapedSecond - offset));
        Float4::join(shapedFirst - blockedFirst, shapedSecond - blocker)
            .deinterleave(x1 + 2 * j, x2 + 2 * j);
    };
    // An amount that holds still over the block (the knob at rest, a cable from an envelope in
    // its sustain) turns the per-sample coefficients into constants of the loop.
    const auto run = [&](auto steady) {
        constexpr int stretch = 64;
        alignas(16) float states[4 * stretch]; // the low-pass states, as the lanes of a Float4
        for (int start = 0; start < count; start += stretch) {
            const int n = std::min(stretch, count - start);
            int done = 0;
#ifdef TRESKPRO_WIDE_SINES
            if (wide)
                done = wideLowPass<decltype(steady)::value>(x1, x2, amount, start, n, states, low.v,
                                                            ShaperState::offset);
#endif
            for (int k = done; k < n; ++k) {
                const int j = start + k;
                const float s = steady ? amount[0] : amount[j];
                const double c = 0.07 - 0.045 * static_cast<double>(s);
                const Double2 keep(1.0 - c);
                const Double2 gain(c);
                const Float4 input = Float4::interleave(x1 + 2 * j, x2 + 2 * j);
                const Double2 drive = gain * (input.lowHalf() + offset);
                const Double2 first = keep * low + drive;
                low = (keep * keep) * low + (keep * drive + gain * (input.highHalf() - offset));
                Float4::join(first, low).store(states + 4 * k);
            }
            int k = 0;
#ifdef TRESKPRO_WIDE_SINES
            if (wide)
                k = wideSines(x1, x2, states, amount, start, n, steady);
#else
            static_cast<void>(wide);
#endif
            for (; k < n; ++k) {
                const int j = start + k;
                const float s = steady ? amount[0] : amount[j];
                const Float4 input = Float4::interleave(x1 + 2 * j, x2 + 2 * j);
                const Float4 sine = fastSine(Float4::load(states + 4 * k) * Float4(30.0f * s));
                (sine * Float4(s) + Float4(1.0f - s) * input).deinterleave(x1 + 2 * j, x2 + 2 * j);
            }
            int blocked = 0;
#ifdef TRESKPRO_WIDE_SINES
            if (wide)
                blocked =
                    wideBlocker(x1, x2, start, n, blocker.v, blockerRate, ShaperState::offset);
#endif
            for (int i = blocked; i < n; ++i)
                block(start + i);
        }
    };
    // An amount of 0 over the whole block (a cable holding it down) leaves the signal as it is:
    // sine x 0 + 1 x input is the input itself. Only the followers run, the low-pass so that
    // the shaper carries on from the same state when the amount rises, and the blocker on the
    // input as it arrives: there is no sine to wait for.
    const auto pass = [&] {
        const Double2 keep(1.0 - 0.07);
        const Double2 keepTwice((1.0 - 0.07) * (1.0 - 0.07));
        const Double2 gain(0.07);
        for (int j = 0; j < count; ++j) {
            const Float4 input = Float4::interleave(x1 + 2 * j, x2 + 2 * j);
            const Double2 inputFirst = input.lowHalf();
            const Double2 inputSecond = input.highHalf();
            low = keepTwice * low +
                  (keep * (gain * (inputFirst + offset)) + gain * (inputSecond - offset));
            const Double2 drive = blockerGain * (inputFirst + offset);
            const Double2 blockedFirst = blockerKeep * blocker + drive;
            blocker = blockerKeepTwice * blocker +
                      (blockerKeep * drive + blockerGain * (inputSecond - offset));
            Float4::join(inputFirst - blockedFirst, inputSecond - blocker)
                .deinterleave(x1 + 2 * j, x2 + 2 * j);
        }
    };
    if (std::all_of(amount, amount + count, [&](float a) { return a == amount[0]; })) {
        if (amount[0] == 0.0f)
            pass();
        else
            run(std::true_type{});
    } else {
        run(std::false_type{});
    }
    shaper1.lowPass = low.first();
    shaper2.lowPass = low.second();
    shaper1.blocker = blocker.first();
    shaper2.blocker = blocker.second();
}

TRESKPRO_KERNEL_BODY void OscillatorSection::mix(int count, const OscillatorSettings& settings,
                                                 const OscillatorInputs& in) noexcept {
    const float* x1 = blocks.vco1;
    const float* x2 = blocks.vco2;
    float* m = blocks.mix;
    const float level1 = settings.level1;
    const float level2 = settings.level2;
    const float* balance = in.balanceCv;
    // One loop per case, with nothing to decide inside, so that each runs in vectors.
    const auto weights = [&](int i) {
        const float v = 0.5f + 0.5f * balance[i >> 1];
        return std::pair(1.0f - v, v);
    };
    if (settings.ring) {
        if (balance) {
            for (int i = 0; i < 2 * count; ++i) {
                const auto [u, v] = weights(i);
                m[i] = 0.5f * (v * level2 * x2[i] + u * level1 * 1.5f * x1[i] * x2[i]);
            }
        } else {
            for (int i = 0; i < 2 * count; ++i)
                m[i] = 0.5f * (level2 * x2[i] + level1 * 1.5f * x1[i] * x2[i]);
        }
    } else if (balance) {
        int i = 0;
#ifdef TRESKPRO_HAS_SSE2
        // Two base-rate samples' four 2x samples at a time, each weight read for two of them.
        for (; i + 4 <= 2 * count; i += 4) {
            const __m128 cv =
                _mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(balance + i / 2)));
            const __m128 v = _mm_add_ps(_mm_set1_ps(0.5f),
                                        _mm_mul_ps(_mm_set1_ps(0.5f), _mm_unpacklo_ps(cv, cv)));
            const __m128 u = _mm_sub_ps(_mm_set1_ps(1.0f), v);
            const __m128 first =
                _mm_mul_ps(_mm_mul_ps(u, _mm_set1_ps(level1)), _mm_loadu_ps(x1 + i));
            const __m128 second =
                _mm_mul_ps(_mm_mul_ps(v, _mm_set1_ps(level2)), _mm_loadu_ps(x2 + i));
            _mm_storeu_ps(m + i, _mm_mul_ps(_mm_set1_ps(0.5f), _mm_add_ps(first, second)));
        }
#endif
        for (; i < 2 * count; ++i) {
            const auto [u, v] = weights(i);
            m[i] = 0.5f * (u * level1 * x1[i] + v * level2 * x2[i]);
        }
    } else {
        for (int i = 0; i < 2 * count; ++i)
            m[i] = 0.5f * (level1 * x1[i] + level2 * x2[i]);
    }
}

} // namespace treskpro
