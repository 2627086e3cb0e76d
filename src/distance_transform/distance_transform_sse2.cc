// SSE2 distance-transform kernels: rows are initialised and converted 8 pixels per step (two
// 16-byte registers, aligned stores when the destination row is on a 16-byte boundary) and end
// pixel by pixel through the shared helpers; the passes are the shared scalar ones.
#include <emmintrin.h>

#include "distance_transform.h"

namespace zylcv::sse2 {
namespace {

template <bool Aligned> void store(dt::IDist *p, __m128i v)
{
    auto q = reinterpret_cast<__m128i *>(p);
    if constexpr (Aligned) _mm_store_si128(q, v);
    else _mm_storeu_si128(q, v);
}
template <bool Aligned> __m128i load(const dt::IDist *p)
{
    auto q = reinterpret_cast<const __m128i *>(p);
    return Aligned ? _mm_load_si128(q) : _mm_loadu_si128(q);
}

// Per step: 8 source bytes compared with zero, widened to 32-bit masks that clear the
// unreached value; the row ends pixel by pixel.
template <bool Aligned> void init_row(const Zyl8u *s, dt::IDist *d, int w)
{
    const __m128i zero = _mm_setzero_si128(), unreached = _mm_set1_epi32(dt::kUnreached);
    int x = 0;
    for (; x + 8 <= w; x += 8) {
        __m128i z8 = _mm_cmpeq_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(s + x)), zero);
        __m128i z16 = _mm_unpacklo_epi8(z8, z8);
        store<Aligned>(d + x, _mm_andnot_si128(_mm_unpacklo_epi16(z16, z16), unreached));
        store<Aligned>(d + x + 4, _mm_andnot_si128(_mm_unpackhi_epi16(z16, z16), unreached));
    }
    for (; x < w; ++x) dt::init_px(s, d, x);
}

// Per step: 8 integers rounded to floats and scaled by 2^-18 in place; the row ends pixel by
// pixel.
template <bool Aligned> void convert_row(dt::IDist *d, int w)
{
    const __m128 unit = _mm_set1_ps(dt::kUnit);
    int x = 0;
    for (; x + 8 <= w; x += 8) {
        __m128 f0 = _mm_mul_ps(_mm_cvtepi32_ps(load<Aligned>(d + x)), unit);
        __m128 f1 = _mm_mul_ps(_mm_cvtepi32_ps(load<Aligned>(d + x + 4)), unit);
        store<Aligned>(d + x, _mm_castps_si128(f0));
        store<Aligned>(d + x + 4, _mm_castps_si128(f1));
    }
    for (; x < w; ++x) dt::convert_px(d, x);
}

struct Rows {
    static void init(const Zyl8u *s, dt::IDist *d, int w)
    {
        aligned16(d) ? init_row<true>(s, d, w) : init_row<false>(s, d, w);
    }
    static void convert(dt::IDist *d, int w)
    {
        aligned16(d) ? convert_row<true>(d, w) : convert_row<false>(d, w);
    }
};

}  // namespace

std::int32_t *distance_transform_3x3(const Zyl8u *src, int srcStep, Zyl32f *dst, int dstStep,
                                     int w, int h, const dt::Costs &c)
{
    return dt::transform<3, Rows>(src, srcStep, dst, dstStep, w, h, c);
}
std::int32_t *distance_transform_5x5(const Zyl8u *src, int srcStep, Zyl32f *dst, int dstStep,
                                     int w, int h, const dt::Costs &c)
{
    return dt::transform<5, Rows>(src, srcStep, dst, dstStep, w, h, c);
}

}  // namespace zylcv::sse2
