// AVX2 helpers every 32-byte twin shares: block loads and stores by access path, the pinned-order
// float add and lane helpers. AVX2 twin files take these (and the 16-byte ones of simd_sse2.h,
// as `sse2::`, for the blocks that end a row) and define no loads or stores of their own.
// Files that include this are compiled with -mavx2 -mno-fma: no fused multiply-add, one rounding
// per operation as in every other twin.
#ifndef ZYLCV_CORE_SIMD_AVX2_H
#define ZYLCV_CORE_SIMD_AVX2_H

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "simd_sse2.h"

#if !defined(__AVX2__) || defined(__FMA__)
#error "AVX2 twins are compiled with -mavx2 -mno-fma"
#endif

namespace zylcv::avx2 {

// How a row's blocks are accessed, as for the SSE2 twins; aligned now means 32-byte aligned.
using sse2::Aligned;
using sse2::Path;
using sse2::Streaming;
using sse2::Unaligned;

inline bool aligned32(const void *p) { return (reinterpret_cast<std::uintptr_t>(p) & 31) == 0; }
inline bool aligned32(std::ptrdiff_t step) { return (step & 31) == 0; }

// 32 bytes at p, as integer lanes or as eight floats.
template <int P = Unaligned> ZYLCV_INLINE __m256i load(const void *p)
{
    auto q = static_cast<const __m256i *>(p);
    return P == Unaligned ? _mm256_loadu_si256(q) : _mm256_load_si256(q);
}
template <int P = Unaligned> ZYLCV_INLINE __m256 load(const float *p)
{
    return P == Unaligned ? _mm256_loadu_ps(p) : _mm256_load_ps(p);
}
template <int P = Unaligned> ZYLCV_INLINE void store(void *p, __m256i v)
{
    auto q = static_cast<__m256i *>(p);
    if constexpr (P == Streaming) _mm256_stream_si256(q, v);
    else if constexpr (P == Aligned) _mm256_store_si256(q, v);
    else _mm256_storeu_si256(q, v);
}
template <int P = Unaligned> ZYLCV_INLINE void store(float *p, __m256 v)
{
    if constexpr (P == Streaming) _mm256_stream_ps(p, v);
    else if constexpr (P == Aligned) _mm256_store_ps(p, v);
    else _mm256_storeu_ps(p, v);
}

// 16 bytes at p, widened: bytes to 16-bit lanes (zero- or sign-extended), floats kept as floats.
ZYLCV_INLINE __m256i load16_u8_to_u16(const void *p)
{
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(static_cast<const __m128i *>(p)));
}
ZYLCV_INLINE __m256i load16_s8_to_s16(const void *p)
{
    return _mm256_cvtepi8_epi16(_mm_loadu_si128(static_cast<const __m128i *>(p)));
}
// 8 bytes at p widened to eight 32-bit lanes (zero- or sign-extended).
ZYLCV_INLINE __m256i load8_u8_to_s32(const void *p) { return _mm256_cvtepu8_epi32(sse2::load8(p)); }
ZYLCV_INLINE __m256i load8_s8_to_s32(const void *p) { return _mm256_cvtepi8_epi32(sse2::load8(p)); }

// Packed float add with the operand order pinned: of two NaN lanes the first operand's is kept,
// as ordered_add gives.
ZYLCV_INLINE __m256 add_ordered(__m256 a, __m256 b)
{
    asm("vaddps %2, %1, %0" : "=x"(a) : "x"(a), "x"(b));
    return a;
}
using sse2::add_ordered;

// Packs with saturation work within 128-bit halves; these put the lanes back in row order.
ZYLCV_INLINE __m256i packus16_ordered(__m256i lo, __m256i hi)
{
    return _mm256_permute4x64_epi64(_mm256_packus_epi16(lo, hi), 0xD8);
}
ZYLCV_INLINE __m256i packs32_ordered(__m256i lo, __m256i hi)
{
    return _mm256_permute4x64_epi64(_mm256_packs_epi32(lo, hi), 0xD8);
}

using sse2::in_register;
using sse2::in_registers;

}  // namespace zylcv::avx2

#endif
