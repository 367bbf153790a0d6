// Rows of four: four voices' blocks turned so that row j holds each one's sample j side by
// side, and back. A loop over the rows then works on the four voices in the lanes of one
// register, loading each value it needs with one instruction. 256-bit code, left out of the
// 64-bit Windows build (FastKernels.h).
#pragma once

#include "engine/FastKernels.h"

#if defined(TRESKPRO_FAST_KERNELS) && !defined(_WIN64)
#include <immintrin.h>
#define TRESKPRO_WIDE_LANES 1

namespace treskpro {

// Rows of four: row j of `rows` holds sample `start + j` of each of the four blocks.
TRESKPRO_FAST_TARGET inline void toRows(const float* const* blocks, int start, int n,
                                        float (*rows)[4]) noexcept {
    int j = 0;
    for (; j + 4 <= n; j += 4) {
        __m128 r0 = _mm_loadu_ps(blocks[0] + start + j);
        __m128 r1 = _mm_loadu_ps(blocks[1] + start + j);
        __m128 r2 = _mm_loadu_ps(blocks[2] + start + j);
        __m128 r3 = _mm_loadu_ps(blocks[3] + start + j);
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        _mm_store_ps(rows[j], r0);
        _mm_store_ps(rows[j + 1], r1);
        _mm_store_ps(rows[j + 2], r2);
        _mm_store_ps(rows[j + 3], r3);
    }
    for (; j < n; ++j)
        for (int k = 0; k < 4; ++k)
            rows[j][k] = blocks[k][start + j];
}

// The way back: sample `start + j` of block k from lane k of row j.
TRESKPRO_FAST_TARGET inline void fromRows(float* const* blocks, int start, int n,
                                          const float (*rows)[4]) noexcept {
    int j = 0;
    for (; j + 4 <= n; j += 4) {
        __m128 r0 = _mm_load_ps(rows[j]);
        __m128 r1 = _mm_load_ps(rows[j + 1]);
        __m128 r2 = _mm_load_ps(rows[j + 2]);
        __m128 r3 = _mm_load_ps(rows[j + 3]);
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        _mm_storeu_ps(blocks[0] + start + j, r0);
        _mm_storeu_ps(blocks[1] + start + j, r1);
        _mm_storeu_ps(blocks[2] + start + j, r2);
        _mm_storeu_ps(blocks[3] + start + j, r3);
    }
    for (; j < n; ++j)
        for (int k = 0; k < 4; ++k)
            blocks[k][start + j] = rows[j][k];
}

} // namespace treskpro

#endif
