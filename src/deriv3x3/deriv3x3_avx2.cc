// AVX2 fixed 3x3 derivative kernels: the registers of the lanes and walk shared in deriv3x3.h.
// 8-bit sources go in blocks of 16 pixels in 16-bit lanes, 32f sources in blocks of 8 lanes,
// reading x-1, x and x+1 with unaligned loads; two blocks per step from column 1, then single
// blocks, the last one ending at the last column but one; the border columns (and rows too short
// for a block) go through the shared helpers. A large destination whose rows are 64-byte aligned
// is streamed around the cache in whole cache lines, four blocks (two lines) per step.
#include "core/simd_avx2.h"
#include "deriv3x3.h"

namespace zylcv::avx2 {
namespace {

// The registers of the shared lanes (deriv3x3.h): 16 pixels of an 8-bit source in 16-bit lanes,
// 8 float lanes.
struct Regs {
    using I = __m256i;
    using F = __m256;
    using Count = __m128i;
    static constexpr int kInt = 16, kFloat = 8;

    // Zero-extended for 8u, sign-extended for 8s.
    ZYLCV_INLINE static I widen(const Zyl8u *p) { return load16_u8_to_u16(p); }
    ZYLCV_INLINE static I widen(const Zyl8s *p) { return load16_s8_to_s16(p); }
    ZYLCV_INLINE static I add16(I a, I b) { return _mm256_add_epi16(a, b); }
    ZYLCV_INLINE static I sub16(I a, I b) { return _mm256_sub_epi16(a, b); }
    ZYLCV_INLINE static I mul16(I a, I b) { return _mm256_mullo_epi16(a, b); }
    ZYLCV_INLINE static I set16(short v) { return _mm256_set1_epi16(v); }
    ZYLCV_INLINE static I sra16(I v, Count n) { return _mm256_sra_epi16(v, n); }
    static Count count(int shift) { return _mm_cvtsi32_si128(shift); }

    ZYLCV_INLINE static F add(F a, F b) { return _mm256_add_ps(a, b); }
    ZYLCV_INLINE static F sub(F a, F b) { return _mm256_sub_ps(a, b); }
    ZYLCV_INLINE static F mul(F a, F b) { return _mm256_mul_ps(a, b); }
    ZYLCV_INLINE static F add_ordered(F a, F b) { return avx2::add_ordered(a, b); }
    ZYLCV_INLINE static F load(const Zyl32f *p) { return avx2::load(p); }
    static F set(float v) { return _mm256_set1_ps(v); }

    template <class T, class V> ZYLCV_INLINE static void store(T *p, V v) { avx2::store(p, v); }
    template <class T, class V> ZYLCV_INLINE static void stream(T *p, V v)
    {
        avx2::store<Streaming>(p, v);
    }
    static void fence() { _mm_sfence(); }
};

using Rows = deriv3x3::PackedRows<Regs>;

}  // namespace

ZYLCV_DERIV3X3_ENTRIES

}  // namespace zylcv::avx2
