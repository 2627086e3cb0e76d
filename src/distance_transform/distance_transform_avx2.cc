// AVX2 distance-transform kernels: rows are initialised and converted 16 pixels per step (two
// 32-byte registers, aligned stores when the destination row is on a 32-byte boundary), then 8
// and 4, and end pixel by pixel through the shared helpers; the passes are the shared scalar ones.
#include "core/simd_avx2.h"
#include "distance_transform.h"

namespace zylcv::avx2 {
namespace {

using distance_transform::IDist;

// Per step: 8 source bytes, twice, widened to 32-bit lanes and compared with zero into masks
// that clear the unreached value; then 8 and 4 pixels; the row ends pixel by pixel.
template <int P> void init_row(const Zyl8u *s, IDist *d, int w)
{
    const __m256i zero = _mm256_setzero_si256(),
                  unreached = _mm256_set1_epi32(distance_transform::kUnreached);
    auto eight = [&](int x) ZYLCV_INLINE_LAMBDA {
        return _mm256_andnot_si256(_mm256_cmpeq_epi32(load8_u8_to_s32(s + x), zero), unreached);
    };
    int x = 0;
    for (; x + 16 <= w; x += 16) {
        const __m256i v0 = eight(x), v1 = eight(x + 8);
        store<P>(d + x, v0);
        store<P>(d + x + 8, v1);
    }
    if (x + 8 <= w) store<P>(d + x, eight(x)), x += 8;
    if (x + 4 <= w) {
        const __m128i z =
            _mm_cmpeq_epi32(_mm_cvtepu8_epi32(sse2::load4(s + x)), _mm_setzero_si128());
        sse2::store(d + x, _mm_andnot_si128(z, _mm256_castsi256_si128(unreached)));
        x += 4;
    }
    for (; x < w; ++x) distance_transform::init_px(s, d, x);
}

// Per step: 16 integers rounded to floats and scaled by 2^-18 in place; then 8 and 4; the row
// ends pixel by pixel.
template <int P> void convert_row(IDist *d, int w)
{
    const __m256 unit = _mm256_set1_ps(distance_transform::kUnit);
    auto eight = [&](int x) ZYLCV_INLINE_LAMBDA {
        return _mm256_castps_si256(_mm256_mul_ps(_mm256_cvtepi32_ps(load<P>(d + x)), unit));
    };
    int x = 0;
    for (; x + 16 <= w; x += 16) {
        const __m256i f0 = eight(x), f1 = eight(x + 8);
        store<P>(d + x, f0);
        store<P>(d + x + 8, f1);
    }
    if (x + 8 <= w) store<P>(d + x, eight(x)), x += 8;
    if (x + 4 <= w) {
        const __m128 f =
            _mm_mul_ps(_mm_cvtepi32_ps(sse2::load(d + x)), _mm256_castps256_ps128(unit));
        sse2::store(d + x, _mm_castps_si128(f));
        x += 4;
    }
    for (; x < w; ++x) distance_transform::convert_px(d, x);
}

struct Rows {
    static void init(const Zyl8u *s, IDist *d, int w)
    {
        aligned32(d) ? init_row<Aligned>(s, d, w) : init_row<Unaligned>(s, d, w);
    }
    static void convert(IDist *d, int w)
    {
        aligned32(d) ? convert_row<Aligned>(d, w) : convert_row<Unaligned>(d, w);
    }
};

}  // namespace
ZYLCV_DISTANCE_TRANSFORM_ENTRIES

}  // namespace zylcv::avx2
