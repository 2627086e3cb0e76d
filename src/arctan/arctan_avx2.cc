// AVX2 fast arctangent: 16 elements per step in two registers, then 8, then 4 in one half; the
// last length mod 4 elements go through a local block of four whose unused lanes hold 1.0, and
// only their results are copied out. When all three arrays are 32-byte aligned the 32-byte loads
// and stores are aligned; the bits do not depend on the path. Every lane follows the shared
// helper's operations in the same order, so an element's angle does not depend on its position.
#include "arctan.h"
#include "core/simd_avx2.h"

namespace zylcv::avx2 {
namespace {

using namespace arctan;

// Where mask is set, c - a (a's sign bit inverted, then c added); elsewhere a, which the other
// twins write as a + 0.0: the same bits, since an angle is never -0.0 (p is not, and c - a only
// gives +0.0) and a NaN there is already quiet.
ZYLCV_INLINE __m256 negate_add(__m256 mask, __m256 c, __m256 a, __m256 sign)
{
    return _mm256_blendv_ps(a, _mm256_add_ps(_mm256_xor_ps(a, sign), c), mask);
}
ZYLCV_INLINE __m128 negate_add(__m128 mask, __m128 c, __m128 a, __m128 sign)
{
    return _mm_blendv_ps(a, _mm_add_ps(_mm_xor_ps(a, sign), c), mask);
}

// Eight angles: the steps of fast_atan_px lane by lane.
ZYLCV_INLINE __m256 atan8(__m256 y, __m256 x)
{
    const __m256 sign = _mm256_castsi256_ps(_mm256_set1_epi32(int(0x80000000u)));
    const __m256 zero = _mm256_setzero_ps();
    const __m256 ax = _mm256_andnot_ps(sign, x), ay = _mm256_andnot_ps(sign, y);
    const __m256 m = _mm256_max_ps(_mm256_set1_ps(kAtanMinDen), _mm256_max_ps(ax, ay));
    const __m256 z = _mm256_div_ps(_mm256_min_ps(ay, ax), m);
    __m256 p = _mm256_add_ps(_mm256_mul_ps(_mm256_set1_ps(kAtanC2), z), _mm256_set1_ps(kAtanC1));
    p = _mm256_add_ps(_mm256_mul_ps(p, z), _mm256_set1_ps(kAtanC0));
    __m256 a = negate_add(_mm256_cmp_ps(ax, ay, _CMP_LT_OS), _mm256_set1_ps(90.0f), p, sign);
    a = negate_add(_mm256_cmp_ps(x, zero, _CMP_LT_OS), _mm256_set1_ps(180.0f), a, sign);
    return negate_add(_mm256_cmp_ps(y, zero, _CMP_LT_OS), _mm256_set1_ps(360.0f), a, sign);
}

// Four angles, the same steps in one half.
ZYLCV_INLINE __m128 atan4(__m128 y, __m128 x)
{
    const __m128 sign = _mm_castsi128_ps(_mm_set1_epi32(int(0x80000000u)));
    const __m128 zero = _mm_setzero_ps();
    const __m128 ax = _mm_andnot_ps(sign, x), ay = _mm_andnot_ps(sign, y);
    const __m128 m = _mm_max_ps(_mm_set1_ps(kAtanMinDen), _mm_max_ps(ax, ay));
    const __m128 z = _mm_div_ps(_mm_min_ps(ay, ax), m);
    __m128 p = _mm_add_ps(_mm_mul_ps(_mm_set1_ps(kAtanC2), z), _mm_set1_ps(kAtanC1));
    p = _mm_add_ps(_mm_mul_ps(p, z), _mm_set1_ps(kAtanC0));
    __m128 a = negate_add(_mm_cmplt_ps(ax, ay), _mm_set1_ps(90.0f), p, sign);
    a = negate_add(_mm_cmplt_ps(x, zero), _mm_set1_ps(180.0f), a, sign);
    return negate_add(_mm_cmplt_ps(y, zero), _mm_set1_ps(360.0f), a, sign);
}

// Per step: 16 elements in two registers, then 8, then 4; the row ends through a padded block
// of four.
template <int P> void row(const Zyl32f *y, const Zyl32f *x, Zyl32f *dst, int length)
{
    int i = 0;
    for (; i + 16 <= length; i += 16) {
        __m256 r0 = atan8(load<P>(y + i), load<P>(x + i));
        __m256 r1 = atan8(load<P>(y + i + 8), load<P>(x + i + 8));
        store<P>(dst + i, r0);
        store<P>(dst + i + 8, r1);
    }
    if (i + 8 <= length) {
        store<P>(dst + i, atan8(load<P>(y + i), load<P>(x + i)));
        i += 8;
    }
    if (i + 4 <= length) {
        sse2::store(dst + i, atan4(sse2::load(y + i), sse2::load(x + i)));
        i += 4;
    }
    const int rest = length - i;
    if (rest > 0) {
        alignas(16) float yb[4] = {1.0f, 1.0f, 1.0f, 1.0f}, xb[4] = {1.0f, 1.0f, 1.0f, 1.0f}, rb[4];
        for (int k = 0; k < rest; ++k) {
            yb[k] = y[i + k];
            xb[k] = x[i + k];
        }
        sse2::store<Aligned>(rb, atan4(sse2::load<Aligned>(yb), sse2::load<Aligned>(xb)));
        for (int k = 0; k < rest; ++k) dst[i + k] = rb[k];
    }
}

struct Rows {
    static void row(const Zyl32f *y, const Zyl32f *x, Zyl32f *dst, int length)
    {
        if (aligned32(y) && aligned32(x) && aligned32(dst)) avx2::row<Aligned>(y, x, dst, length);
        else avx2::row<Unaligned>(y, x, dst, length);
    }
};

}  // namespace
ZYLCV_ARCTAN_ENTRIES

}  // namespace zylcv::avx2
