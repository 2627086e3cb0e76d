// SSE2 helpers every packed twin shares: block loads and stores by access path, the pinned-order
// float add, register pinning and the inlining attribute. Twin files take these and define no
// loads or stores of their own.
#ifndef ZYLCV_CORE_SIMD_SSE2_H
#define ZYLCV_CORE_SIMD_SSE2_H

#include <emmintrin.h>

// Small step helpers that must melt into their loops: called out of line they would pass
// vectors through memory.
#define ZYLCV_INLINE inline __attribute__((always_inline))
// The same for a lambda, whose declarator takes the attribute without `inline`.
#define ZYLCV_INLINE_LAMBDA __attribute__((always_inline))

namespace zylcv::sse2 {

// How a row's 16-byte blocks are accessed: unaligned, aligned, or aligned with stores that
// bypass the cache (their loads are ordinary aligned loads).
enum Path { Unaligned, Aligned, Streaming };

// 16 bytes at p, as integer lanes or as four floats.
template <int P = Unaligned> ZYLCV_INLINE __m128i load(const void *p)
{
    auto q = static_cast<const __m128i *>(p);
    return P == Unaligned ? _mm_loadu_si128(q) : _mm_load_si128(q);
}
template <int P = Unaligned> ZYLCV_INLINE __m128 load(const float *p)
{
    return P == Unaligned ? _mm_loadu_ps(p) : _mm_load_ps(p);
}
template <int P = Unaligned> ZYLCV_INLINE void store(void *p, __m128i v)
{
    auto q = static_cast<__m128i *>(p);
    if constexpr (P == Streaming) _mm_stream_si128(q, v);
    else if constexpr (P == Aligned) _mm_store_si128(q, v);
    else _mm_storeu_si128(q, v);
}
template <int P = Unaligned> ZYLCV_INLINE void store(float *p, __m128 v)
{
    if constexpr (P == Streaming) _mm_stream_ps(p, v);
    else if constexpr (P == Aligned) _mm_store_ps(p, v);
    else _mm_storeu_ps(p, v);
}

// 8 bytes at p into the low half, the high half zero.
ZYLCV_INLINE __m128i load8(const void *p)
{
    return _mm_loadl_epi64(static_cast<const __m128i *>(p));
}
// The low 8 bytes of v to p.
ZYLCV_INLINE void store8(void *p, __m128i v) { _mm_storel_epi64(static_cast<__m128i *>(p), v); }
// 4 bytes at p (any alignment) into the lowest lane, the rest zero.
ZYLCV_INLINE __m128i load4(const void *p)
{
    int v;
    __builtin_memcpy(&v, p, 4);
    return _mm_cvtsi32_si128(v);
}

// Packed float add with the operand order pinned (addps is not commutative for NaNs: of two NaN
// lanes the first operand's is kept), so that every lane gives what ordered_add gives.
inline __m128 add_ordered(__m128 a, __m128 b)
{
#if defined(__AVX__)
    asm("vaddps %2, %1, %0" : "=x"(a) : "x"(a), "x"(b));
#else
    asm("addps %1, %0" : "+x"(a) : "x"(b));
#endif
    return a;
}

// Keeps values in registers: without it the compiler may load an operand again for each use,
// which costs more than the arithmetic.
template <class V> ZYLCV_INLINE void in_register(V &v) { asm("" : "+x"(v)); }
template <class... V> ZYLCV_INLINE void in_registers(V &...v) { (in_register(v), ...); }

}  // namespace zylcv::sse2

#endif
