// Values worked on side by side, for the per-sample loops whose lanes are independent: Double2
// holds the two oscillators of a voice, or the filters of two voices, in double precision,
// Float4 two samples of both oscillators. With
// SSE2 (every processor the plug-in runs on) one instruction advances all lanes; elsewhere the
// lanes are plain numbers and give the same results.
#pragma once

#include "engine/Dsp.h"

#include <algorithm>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define TRESKPRO_HAS_SSE2 1
#endif

namespace treskpro {

#ifdef TRESKPRO_HAS_SSE2

struct Double2 {
    __m128d v;

    Double2(__m128d lanes) : v(lanes) {}
    Double2(double first, double second) : v(_mm_set_pd(second, first)) {}
    explicit Double2(double both) : v(_mm_set1_pd(both)) {}

    double first() const { return _mm_cvtsd_f64(v); }
    double second() const { return _mm_cvtsd_f64(_mm_unpackhi_pd(v, v)); }

    friend Double2 operator+(Double2 a, Double2 b) { return _mm_add_pd(a.v, b.v); }
    friend Double2 operator-(Double2 a, Double2 b) { return _mm_sub_pd(a.v, b.v); }
    friend Double2 operator*(Double2 a, Double2 b) { return _mm_mul_pd(a.v, b.v); }
    friend Double2 operator/(Double2 a, Double2 b) { return _mm_div_pd(a.v, b.v); }
    friend Double2 operator-(Double2 a) { return _mm_xor_pd(a.v, _mm_set1_pd(-0.0)); }
    // std::max(a, b) and std::min(a, b) lane by lane, NaN in a passed on as they pass it.
    friend Double2 max(Double2 a, Double2 b) { return _mm_max_pd(b.v, a.v); }
    friend Double2 min(Double2 a, Double2 b) { return _mm_min_pd(b.v, a.v); }
};

// Lanes 0..3 are a[0], b[0], a[1], b[1]: two samples of two blocks.
struct Float4 {
    __m128 v;

    Float4(__m128 lanes) : v(lanes) {}
    explicit Float4(float all) : v(_mm_set1_ps(all)) {}

    // a[0], b[0], a[1], b[1].
    static Float4 interleave(const float* a, const float* b) {
        const __m128 pairA = _mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(a)));
        const __m128 pairB = _mm_castpd_ps(_mm_load_sd(reinterpret_cast<const double*>(b)));
        return _mm_unpacklo_ps(pairA, pairB);
    }
    // Lanes 0 and 2 to a[0..1], lanes 1 and 3 to b[0..1].
    void deinterleave(float* a, float* b) const {
        const __m128 pairs = _mm_shuffle_ps(v, v, _MM_SHUFFLE(3, 1, 2, 0));
        _mm_store_sd(reinterpret_cast<double*>(a), _mm_castps_pd(pairs));
        _mm_store_sd(reinterpret_cast<double*>(b), _mm_castps_pd(_mm_movehl_ps(pairs, pairs)));
    }
    // Lanes 0, 1 from `low` and 2, 3 from `high`, rounded to single precision.
    static Float4 join(Double2 low, Double2 high) {
        return _mm_movelh_ps(_mm_cvtpd_ps(low.v), _mm_cvtpd_ps(high.v));
    }
    // Four consecutive floats, 16-byte aligned.
    static Float4 load(const float* x) { return _mm_load_ps(x); }
    void store(float* x) const { _mm_store_ps(x, v); }
    Double2 lowHalf() const { return _mm_cvtps_pd(v); }
    Double2 highHalf() const { return _mm_cvtps_pd(_mm_movehl_ps(v, v)); }

    friend Float4 operator+(Float4 a, Float4 b) { return _mm_add_ps(a.v, b.v); }
    friend Float4 operator-(Float4 a, Float4 b) { return _mm_sub_ps(a.v, b.v); }
    friend Float4 operator*(Float4 a, Float4 b) { return _mm_mul_ps(a.v, b.v); }
};

#else

struct Double2 {
    double a;
    double b;

    Double2(double first, double second) : a(first), b(second) {}
    explicit Double2(double both) : a(both), b(both) {}

    double first() const { return a; }
    double second() const { return b; }

    friend Double2 operator+(Double2 x, Double2 y) { return {x.a + y.a, x.b + y.b}; }
    friend Double2 operator-(Double2 x, Double2 y) { return {x.a - y.a, x.b - y.b}; }
    friend Double2 operator*(Double2 x, Double2 y) { return {x.a * y.a, x.b * y.b}; }
    friend Double2 operator/(Double2 x, Double2 y) { return {x.a / y.a, x.b / y.b}; }
    friend Double2 operator-(Double2 x) { return {-x.a, -x.b}; }
    friend Double2 max(Double2 x, Double2 y) { return {std::max(x.a, y.a), std::max(x.b, y.b)}; }
    friend Double2 min(Double2 x, Double2 y) { return {std::min(x.a, y.a), std::min(x.b, y.b)}; }
};

struct Float4 {
    float lane[4];

    explicit Float4(float all) : lane{all, all, all, all} {}
    Float4(float l0, float l1, float l2, float l3) : lane{l0, l1, l2, l3} {}

    static Float4 interleave(const float* a, const float* b) { return {a[0], b[0], a[1], b[1]}; }
    void deinterleave(float* a, float* b) const {
        a[0] = lane[0];
        b[0] = lane[1];
        a[1] = lane[2];
        b[1] = lane[3];
    }
    static Float4 join(Double2 low, Double2 high) {
        return {static_cast<float>(low.a), static_cast<float>(low.b), static_cast<float>(high.a),
                static_cast<float>(high.b)};
    }
    static Float4 load(const float* x) { return {x[0], x[1], x[2], x[3]}; }
    void store(float* x) const { std::copy_n(lane, 4, x); }
    Double2 lowHalf() const { return {lane[0], lane[1]}; }
    Double2 highHalf() const { return {lane[2], lane[3]}; }

    template <typename Op> friend Float4 apply(Float4 x, Float4 y, Op op) {
        return {op(x.lane[0], y.lane[0]), op(x.lane[1], y.lane[1]), op(x.lane[2], y.lane[2]),
                op(x.lane[3], y.lane[3])};
    }
    friend Float4 operator+(Float4 x, Float4 y) {
        return apply(x, y, [](float p, float q) { return p + q; });
    }
    friend Float4 operator-(Float4 x, Float4 y) {
        return apply(x, y, [](float p, float q) { return p - q; });
    }
    friend Float4 operator*(Float4 x, Float4 y) {
        return apply(x, y, [](float p, float q) { return p * q; });
    }
};

#endif

// Four sines in single precision, for the waveshaper: within 4e-6 of the true sine of the
// single-precision argument up to a few thousand radians, bounded by 1 beyond, 0 for arguments
// past a billion radians and for non-finite ones. The same reduction and polynomial as
// fastSine: x = k pi + r, sin x = (-1)^k sin r, with pi split in two so that k pi is exact
// enough in single precision.
inline Float4 fastSine(Float4 x) {
#ifdef TRESKPRO_HAS_SSE2
    constexpr float piHigh = 3.140625f; // eight significant bits: k x piHigh is exact
    constexpr float piLow = 9.67653589793e-4f;
    constexpr float halfPi = 1.5707963f;
    const __m128 signMask = _mm_set1_ps(-0.0f);
    const __m128 valid = _mm_cmplt_ps(_mm_andnot_ps(signMask, x.v), _mm_set1_ps(1e9f));
    const __m128 arg = _mm_and_ps(x.v, valid);
    const __m128 shifted = _mm_mul_ps(arg, _mm_set1_ps(0.31830988618f));
    const __m128 half = _mm_or_ps(_mm_and_ps(shifted, signMask), _mm_set1_ps(0.5f));
    const __m128i k = _mm_cvttps_epi32(_mm_add_ps(shifted, half));
    const __m128 kf = _mm_cvtepi32_ps(k);
    __m128 r = _mm_sub_ps(_mm_sub_ps(arg, _mm_mul_ps(kf, _mm_set1_ps(piHigh))),
                          _mm_mul_ps(kf, _mm_set1_ps(piLow)));
    // Far beyond any musical drive the reduction loses its precision: the clamp keeps the
    // polynomial on its interval, so the output stays a sine-like value within -1..1.
    r = _mm_max_ps(_mm_min_ps(r, _mm_set1_ps(halfPi)), _mm_set1_ps(-halfPi));
    // (-1)^k: the low bit of each k moved to the sign bit of its lane.
    r = _mm_xor_ps(r, _mm_castsi128_ps(_mm_slli_epi32(k, 31)));
    const __m128 r2 = _mm_mul_ps(r, r);
    const __m128 r4 = _mm_mul_ps(r2, r2);
    const __m128 low =
        _mm_sub_ps(_mm_set1_ps(1.0f), _mm_mul_ps(_mm_set1_ps(1.6666666666666666e-1f), r2));
    const __m128 high = _mm_sub_ps(_mm_set1_ps(8.3333333333333332e-3f),
                                   _mm_mul_ps(_mm_set1_ps(1.9841269841269841e-4f), r2));
    const __m128 top = _mm_add_ps(high, _mm_mul_ps(_mm_set1_ps(2.7557319223985893e-6f), r4));
    return _mm_mul_ps(r, _mm_add_ps(low, _mm_mul_ps(r4, top)));
#else
    Float4 result(0.0f);
    for (int i = 0; i < 4; ++i)
        result.lane[i] = static_cast<float>(fastSine(static_cast<double>(x.lane[i])));
    return result;
#endif
}

} // namespace treskpro
