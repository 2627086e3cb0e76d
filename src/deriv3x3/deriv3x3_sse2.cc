// SSE2 fixed 3x3 derivative kernels: the registers of the lanes and walk shared in deriv3x3.h.
// 8-bit sources go in blocks of 8 pixels in 16-bit lanes, 32f sources in blocks of 4 lanes,
// reading x-1, x and x+1 with unaligned loads; two blocks per step from column 1, then single
// blocks, the last one ending at the last column but one; the border columns (and rows too short
// for a block) go through the shared helpers. A large destination whose rows are 64-byte aligned
// is streamed around the cache in whole cache lines, four blocks per step.
#include <emmintrin.h>

#include "core/simd_sse2.h"
#include "deriv3x3.h"

namespace zylcv::sse2 {
namespace {

// The registers of the shared lanes (deriv3x3.h): 8 pixels of an 8-bit source in 16-bit lanes,
// 4 float lanes.
struct Regs {
    using I = __m128i;
    using F = __m128;
    using Count = __m128i;
    static constexpr int kInt = 8, kFloat = 4;

    // Zero-extended for 8u, sign-extended for 8s.
    template <class S> ZYLCV_INLINE static I widen(const S *p)
    {
        const I v = load8(p);
        if constexpr (std::is_same_v<S, Zyl8u>) return _mm_unpacklo_epi8(v, _mm_setzero_si128());
        else return _mm_srai_epi16(_mm_unpacklo_epi8(v, v), 8);
    }
    ZYLCV_INLINE static I add16(I a, I b) { return _mm_add_epi16(a, b); }
    ZYLCV_INLINE static I sub16(I a, I b) { return _mm_sub_epi16(a, b); }
    ZYLCV_INLINE static I mul16(I a, I b) { return _mm_mullo_epi16(a, b); }
    ZYLCV_INLINE static I set16(short v) { return _mm_set1_epi16(v); }
    ZYLCV_INLINE static I sra16(I v, Count n) { return _mm_sra_epi16(v, n); }
    static Count count(int shift) { return _mm_cvtsi32_si128(shift); }

    ZYLCV_INLINE static F add(F a, F b) { return _mm_add_ps(a, b); }
    ZYLCV_INLINE static F sub(F a, F b) { return _mm_sub_ps(a, b); }
    ZYLCV_INLINE static F mul(F a, F b) { return _mm_mul_ps(a, b); }
    ZYLCV_INLINE static F add_ordered(F a, F b) { return sse2::add_ordered(a, b); }
    ZYLCV_INLINE static F load(const Zyl32f *p) { return sse2::load(p); }
    static F set(float v) { return _mm_set1_ps(v); }

    template <class T, class V> ZYLCV_INLINE static void store(T *p, V v) { sse2::store(p, v); }
    template <class T, class V> ZYLCV_INLINE static void stream(T *p, V v)
    {
        sse2::store<Streaming>(p, v);
    }
    static void fence() { _mm_sfence(); }
};

using Rows = deriv3x3::PackedRows<Regs>;

}  // namespace

ZYLCV_DERIV3X3_ENTRIES

}  // namespace zylcv::sse2
