// SSE2 distance-transform kernels: rows are initialised and converted 8 pixels per step (two
// 16-byte registers, aligned stores when the destination row is on a 16-byte boundary) and end
// pixel by pixel through the shared helpers; the passes are the shared scalar ones.
#include <emmintrin.h>

#include "core/simd_sse2.h"
#include "distance_transform.h"

namespace zylcv::sse2 {
namespace {

using distance_transform::IDist;

// Per step: 8 source bytes compared with zero, widened to 32-bit masks that clear the
// unreached value; the row ends pixel by pixel.
template <int P> void init_row(const Zyl8u *s, IDist *d, int w)
{
    const __m128i zero = _mm_setzero_si128(),
                  unreached = _mm_set1_epi32(distance_transform::kUnreached);
    int x = 0;
    for (; x + 8 <= w; x += 8) {
        __m128i z8 = _mm_cmpeq_epi8(load8(s + x), zero);
        __m128i z16 = _mm_unpacklo_epi8(z8, z8);
        store<P>(d + x, _mm_andnot_si128(_mm_unpacklo_epi16(z16, z16), unreached));
        store<P>(d + x + 4, _mm_andnot_si128(_mm_unpackhi_epi16(z16, z16), unreached));
    }
    for (; x < w; ++x) distance_transform::init_px(s, d, x);
}

// Per step: 8 integers rounded to floats and scaled by 2^-18 in place; the row ends pixel by
// pixel.
template <int P> void convert_row(IDist *d, int w)
{
    const __m128 unit = _mm_set1_ps(distance_transform::kUnit);
    int x = 0;
    for (; x + 8 <= w; x += 8) {
        __m128 f0 = _mm_mul_ps(_mm_cvtepi32_ps(load<P>(d + x)), unit);
        __m128 f1 = _mm_mul_ps(_mm_cvtepi32_ps(load<P>(d + x + 4)), unit);
        store<P>(d + x, _mm_castps_si128(f0));
        store<P>(d + x + 4, _mm_castps_si128(f1));
    }
    for (; x < w; ++x) distance_transform::convert_px(d, x);
}

struct Rows {
    static void init(const Zyl8u *s, IDist *d, int w)
    {
        aligned16(d) ? init_row<Aligned>(s, d, w) : init_row<Unaligned>(s, d, w);
    }
    static void convert(IDist *d, int w)
    {
        aligned16(d) ? convert_row<Aligned>(d, w) : convert_row<Unaligned>(d, w);
    }
};

}  // namespace
ZYLCV_DISTANCE_TRANSFORM_ENTRIES

}  // namespace zylcv::sse2
