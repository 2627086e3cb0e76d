// SSE2 fast arctangent: 8 elements per step in two registers, then 4; the last length mod 4
// elements go through a local block of four whose unused lanes hold 1.0, and only their
// results are copied out. Every lane follows the shared helper's operations in the same order,
// so an element's angle does not depend on its position.
#include <emmintrin.h>

#include "arctan.h"
#include "core/simd_sse2.h"

namespace zylcv::sse2 {
namespace {

using namespace arctan;

// Where mask is set, c - a (a's sign bit inverted, then c added); elsewhere a + 0.0, which is a
// itself: an angle is never -0.0 (p is not, and c - a only gives +0.0).
inline __m128 negate_add(__m128 mask, __m128 c, __m128 a, __m128 sign)
{
    return _mm_add_ps(_mm_xor_ps(a, _mm_and_ps(mask, sign)), _mm_and_ps(mask, c));
}

// Four angles: the steps of fast_atan_px lane by lane.
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

struct Rows {
    static void row(const Zyl32f *y, const Zyl32f *x, Zyl32f *dst, int length)
    {
        int i = 0;
        for (; i + 8 <= length; i += 8) {
            __m128 r0 = atan4(load(y + i), load(x + i));
            __m128 r1 = atan4(load(y + i + 4), load(x + i + 4));
            store(dst + i, r0);
            store(dst + i + 4, r1);
        }
        for (; i + 4 <= length; i += 4) store(dst + i, atan4(load(y + i), load(x + i)));
        const int rest = length - i;
        if (rest > 0) {
            alignas(16) float yb[4] = {1.0f, 1.0f, 1.0f, 1.0f}, xb[4] = {1.0f, 1.0f, 1.0f, 1.0f},
                              rb[4];
            for (int k = 0; k < rest; ++k) {
                yb[k] = y[i + k];
                xb[k] = x[i + k];
            }
            store<Aligned>(rb, atan4(load<Aligned>(yb), load<Aligned>(xb)));
            for (int k = 0; k < rest; ++k) dst[i + k] = rb[k];
        }
    }
};

}  // namespace
ZYLCV_ARCTAN_ENTRIES

}  // namespace zylcv::sse2
