#include "engine/NoiseModule.h"

#include "engine/FastKernels.h"
#include "sequencer/Random15.h"

#include <algorithm>
#include <chrono>
#include <cstdint>

#if defined(TRESKPRO_FAST_KERNELS) && !defined(_WIN64)
#include <immintrin.h>
#define TRESKPRO_WIDE_WHITE 1
#endif

namespace treskpro {

namespace {
// Per thread, so that instances on different threads never race on the generator.
thread_local Random15 randomState;

// The generator's values and the steady colour's terms, computed as the sections below describe.
constexpr double spread = 6.0 * 10923.0 / 32767.0 * 3.0518509e-5;
constexpr double centre = 3.0 * 10922.0 * 3.0518509e-5;

#ifdef TRESKPRO_WIDE_WHITE
// The generator's step taken `steps` times at once: state x multiplier + increment.
struct GeneratorJump {
    std::uint32_t multiplier = 1;
    std::uint32_t increment = 0;
};

constexpr GeneratorJump generatorJump(int steps) {
    GeneratorJump jump;
    for (int n = 0; n < steps; ++n) {
        jump.multiplier *= 214013u;
        jump.increment = jump.increment * 214013u + 2531011u;
    }
    return jump;
}

// The white half of the steady colour's pairs for `n` samples (a multiple of 8), eight at a time
// from eight generators each eight steps ahead of the one before: per pair, the first sample's
// drive a (white + o) and the pair's term for the first follower's chain, k a (white0 + o) +
// a (white1 - o), side by side in `drives`. The same operations as the pairs worked one by one.
// Advances `state` by `n` steps.
TRESKPRO_FAST_TARGET __attribute__((optimize("no-tree-loop-distribution"))) void
wideWhite(std::uint32_t& state, int n, double a, double k, double offset, double* drives) noexcept {
    alignas(32) std::uint32_t multipliers[8];
    alignas(32) std::uint32_t increments[8];
    for (int lane = 0; lane < 8; ++lane) {
        multipliers[lane] = generatorJump(lane + 1).multiplier;
        increments[lane] = generatorJump(lane + 1).increment;
    }
    __m256i states = _mm256_add_epi32(
        _mm256_mullo_epi32(_mm256_set1_epi32(static_cast<int>(state)),
                           _mm256_load_si256(reinterpret_cast<const __m256i*>(multipliers))),
        _mm256_load_si256(reinterpret_cast<const __m256i*>(increments)));
    const __m256i eightMultiplier =
        _mm256_set1_epi32(static_cast<int>(generatorJump(8).multiplier));
    const __m256i eightIncrement = _mm256_set1_epi32(static_cast<int>(generatorJump(8).increment));
    const __m256i fifteenBits = _mm256_set1_epi32(32767);
    const __m256d spreads = _mm256_set1_pd(spread);
    const __m256d centres = _mm256_set1_pd(centre);
    const __m256d offsets = _mm256_setr_pd(offset, -offset, offset, -offset);
    const __m256d coefficient = _mm256_set1_pd(a);
    const __m256d keep = _mm256_set1_pd(k);
    __m256i last = states;
    // Unrolled, the loop runs out of registers.
#pragma GCC unroll 1
    for (int i = 0; i < n; i += 8) {
        const __m256i values = _mm256_and_si256(_mm256_srli_epi32(states, 16), fifteenBits);
        const __m256d white0 =
            _mm256_fmsub_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(values)), spreads, centres);
        const __m256d white1 = _mm256_fmsub_pd(
            _mm256_cvtepi32_pd(_mm256_extracti128_si256(values, 1)), spreads, centres);
        const __m256d drive0 = _mm256_mul_pd(coefficient, _mm256_add_pd(white0, offsets));
        const __m256d drive1 = _mm256_mul_pd(coefficient, _mm256_add_pd(white1, offsets));
        // Pairs 0 2 1 3 of the eight samples, side by side with their terms in order.
        const __m256d first = _mm256_unpacklo_pd(drive0, drive1);
        const __m256d second = _mm256_unpackhi_pd(drive0, drive1);
        const __m256d term = _mm256_fmadd_pd(keep, first, second);
        _mm256_storeu_pd(drives + i, _mm256_unpacklo_pd(first, term));
        _mm256_storeu_pd(drives + i + 4, _mm256_unpackhi_pd(first, term));
        last = states;
        states = _mm256_add_epi32(_mm256_mullo_epi32(states, eightMultiplier), eightIncrement);
    }
    state = static_cast<std::uint32_t>(_mm256_extract_epi32(last, 7));
}

// The steady colour's pairs over `count` samples (a multiple of 8), in stretches: the white pass
// above, then both followers, each pair's two states in the two lanes of one vector. Advances
// the generator `state` and the followers `y1` and `y2`; writes to `out` where there is one.
TRESKPRO_FAST_TARGET void wideSteadyNoise(std::uint32_t& state, int count, double a, double k,
                                          double o1, double o2, double& y1, double& y2,
                                          float* out) noexcept {
    constexpr int stretch = 64;
    alignas(32) double drives[stretch];
    const __m128d keeps = _mm_setr_pd(k, k * k);
    const __m128d carry = _mm_setr_pd(0.0, k);
    const __m128d offsets = _mm_setr_pd(o2, -o2);
    const __m128d coefficient = _mm_set1_pd(a);
    __m128d first = _mm_set1_pd(y1);
    __m128d second = _mm_set1_pd(y2);
    for (int start = 0; start < count; start += stretch) {
        const int n = std::min(stretch, count - start);
        wideWhite(state, n, a, k, o1, drives);
        for (int i = 0; i < n; i += 2) {
            // k y1 + a (white0 + o), k^2 y1 + (k a (white0 + o) + a (white1 - o)).
            const __m128d y1s = _mm_fmadd_pd(keeps, first, _mm_load_pd(drives + i));
            // v0 = a (y1First + o2) and v1 = a (y1 - o2), then v0 and k v0 + v1.
            const __m128d v = _mm_mul_pd(coefficient, _mm_add_pd(y1s, offsets));
            const __m128d terms = _mm_fmadd_pd(carry, _mm_movedup_pd(v), v);
            const __m128d y2s = _mm_fmadd_pd(keeps, second, terms);
            first = _mm_unpackhi_pd(y1s, y1s);
            second = _mm_unpackhi_pd(y2s, y2s);
            if (out)
                _mm_storel_pi(reinterpret_cast<__m64*>(out + start + i), _mm_cvtpd_ps(y2s));
        }
    }
    y1 = _mm_cvtsd_f64(first);
    y2 = _mm_cvtsd_f64(second);
}
#endif
} // namespace

int NoiseModule::random() noexcept {
    return randomState.next();
}

void NoiseModule::seedRandom(std::uint32_t seed) noexcept {
    randomState.state = seed;
}

void NoiseModule::seedRandomFromClock() noexcept {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    seedRandom(
        static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::seconds>(now).count()));
}

TRESKPRO_KERNEL_BODY void NoiseModule::processBody(int count, bool wide) noexcept {
    const float* modulation = inputs[ColourModulation];
    float* out = outputs[Noise];
    const double baseColour = std::clamp(static_cast<double>(colour), 0.0, 1.0);
    double y1 = first;
    double y2 = second;
    // A local copy: thread-local storage may cost a call per access on some platforms.
    Random15 generator = randomState;
    // The generator's 0..32767 spread over -1..1 (a little beyond, as the tables were tuned):
    // (6 x 10923 x r / 32767 - 3 x 10922) x 3.0518509e-5 in one multiply and one subtract,
    // without a division per sample.
    const auto white = [&] { return generator.next() * spread - centre; };
    int i = 0;
    if (!modulation) {
        // A steady colour: two samples at a time. Each follower's chain from one pair to the
        // next is then one multiply and one add, y(n + 2) = k^2 y(n) + terms known beforehand,
        // where one sample after the other takes two of each; the first sample of the pair is
        // worked out beside it. A pair uses each offset once as it stands and once negated.
        const double a = baseColour;
        const double k = 1.0 - a;
        const double o1 = firstOffset.value;
        const double o2 = secondOffset.value;
#ifdef TRESKPRO_WIDE_WHITE
        // With the fast kernel, the white values and what they add to the first follower for
        // a stretch first, then the followers' chains over it.
        if (wide && count >= 8) {
            wideSteadyNoise(generator.state, count & ~7, a, k, o1, o2, y1, y2, out);
            i = count & ~7;
        }
#else
        static_cast<void>(wide);
#endif
        for (; i + 2 <= count; i += 2) {
            const double w0 = a * (white() + o1);
            const double w1 = a * (white() - o1);
            const double y1First = k * y1 + w0;
            y1 = (k * k) * y1 + (k * w0 + w1);
            const double v0 = a * (y1First + o2);
            const double v1 = a * (y1 - o2);
            const double y2First = k * y2 + v0;
            y2 = (k * k) * y2 + (k * v0 + v1);
            if (out) {
                out[i] = static_cast<float>(y2First);
                out[i + 1] = static_cast<float>(y2);
            }
        }
    }
    for (; i < count; ++i) {
        double a = baseColour;
        if (modulation)
            a = std::clamp(baseColour + 0.5 * modulation[i], 0.0, 1.0);
        follow(y1, white(), a, firstOffset);
        follow(y2, y1, a, secondOffset);
        if (out)
            out[i] = static_cast<float>(y2);
    }
    randomState = generator;
    first = y1;
    second = y2;
}

#ifdef TRESKPRO_FAST_KERNELS
TRESKPRO_FAST_TARGET void NoiseModule::processFast(int count) noexcept {
    processBody(count, true);
}
#endif

void NoiseModule::process(int count) noexcept {
#ifdef TRESKPRO_FAST_KERNELS
    if (fastKernels()) {
        processFast(count);
        return;
    }
#endif
    processBody(count, false);
}

void NoiseModule::reset() noexcept {
    first = 0.0;
    second = 0.0;
    firstOffset = {};
    secondOffset = {};
}

} // namespace treskpro
