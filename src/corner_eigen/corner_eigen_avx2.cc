// AVX2 corner eigen-analysis rows. Products of 16-bit gradients take 16 pixels per step, walking
// each row from its right end backwards (its last width % 8 pixels first, one by one, then one
// block of 8 if width % 16 leaves it); products of 32f gradients take 16 pixels per step
// forwards, then 8. The eigen computation takes 8 pixels per step, every branch computed in all
// lanes and the lanes' results picked by masks; six output vectors are interleaved to
// l1 l2 x1 y1 x2 y2 per pixel. A block with a NaN result is redone by the scalar helper, which
// fixes which NaN comes out where two meet. Destinations whose pointer and step are multiples
// of 32 are written with aligned stores; the bits do not depend on the path. Rows end pixel by
// pixel through the helpers of corner_eigen.h.
#include "core/simd_avx2.h"
#include "corner_eigen.h"

namespace zylcv::avx2 {
namespace {

using namespace corner_eigen;

// Eight 16-bit lanes to eight floats.
ZYLCV_INLINE __m256 to_ps(__m128i v) { return _mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(v)); }

// b, or +0.0 in the lanes where a is a NaN: as corner_eigen::unless_nan.
ZYLCV_INLINE __m256 unless_nan(__m256 a, __m256 b)
{
    return _mm256_andnot_ps(_mm256_cmp_ps(a, a, _CMP_UNORD_Q), b);
}

// The lane operations of the packed eigen rows (corner_eigen::PackedEigenRows), 8 floats each.
struct Lanes {
    using v = __m256;
    static constexpr int n = 8;
    static constexpr int kAligned = Aligned, kUnaligned = Unaligned;
    template <class T> ZYLCV_INLINE static bool aligned(T p) { return aligned32(p); }
    ZYLCV_INLINE static v set1(float f) { return _mm256_set1_ps(f); }
    ZYLCV_INLINE static v load(const Zyl32f *p) { return avx2::load(p); }
    template <int P> ZYLCV_INLINE static void store(Zyl32f *p, v a) { avx2::store<P>(p, a); }
    ZYLCV_INLINE static v add(v a, v b) { return _mm256_add_ps(a, b); }
    ZYLCV_INLINE static v sub(v a, v b) { return _mm256_sub_ps(a, b); }
    ZYLCV_INLINE static v mul(v a, v b) { return _mm256_mul_ps(a, b); }
    ZYLCV_INLINE static v div(v a, v b) { return _mm256_div_ps(a, b); }
    ZYLCV_INLINE static v sqrt(v a) { return _mm256_sqrt_ps(a); }
    ZYLCV_INLINE static v min(v a, v b) { return _mm256_min_ps(a, b); }
    ZYLCV_INLINE static v max(v a, v b) { return _mm256_max_ps(a, b); }
    ZYLCV_INLINE static v abs(v a)
    {
        return _mm256_and_ps(a, _mm256_castsi256_ps(_mm256_set1_epi32(0x7FFFFFFF)));
    }
    ZYLCV_INLINE static v and_(v a, v b) { return _mm256_and_ps(a, b); }
    ZYLCV_INLINE static v andnot(v mask, v b) { return _mm256_andnot_ps(mask, b); }
    ZYLCV_INLINE static v or_(v a, v b) { return _mm256_or_ps(a, b); }
    ZYLCV_INLINE static v lt(v a, v b) { return _mm256_cmp_ps(a, b, _CMP_LT_OQ); }
    ZYLCV_INLINE static v eq(v a, v b) { return _mm256_cmp_ps(a, b, _CMP_EQ_OQ); }
    ZYLCV_INLINE static v select(v mask, v a, v b) { return _mm256_blendv_ps(b, a, mask); }
    ZYLCV_INLINE static bool any_nan(v a)
    {
        return _mm256_movemask_ps(_mm256_cmp_ps(a, a, _CMP_UNORD_Q));
    }
    // Pairs (l1 l2), (x1 y1), (x2 y2) interleaved within each half give the 24 floats of pixels
    // 0-3 in the low halves and of pixels 4-7 in the high halves of three registers, which are
    // then stored half by half.
    template <int P>
    ZYLCV_INLINE static void store_vals_vecs(Zyl32f *o, v L1, v L2, v X1, v Y1, v X2, v Y2)
    {
        const __m256 l01 = _mm256_unpacklo_ps(L1, L2), l23 = _mm256_unpackhi_ps(L1, L2);
        const __m256 v01 = _mm256_unpacklo_ps(X1, Y1), v23 = _mm256_unpackhi_ps(X1, Y1);
        const __m256 w01 = _mm256_unpacklo_ps(X2, Y2), w23 = _mm256_unpackhi_ps(X2, Y2);
        // Per half: l1 l2 x1 y1 of its first pixel, x2 y2 l1 l2 of the first two, x1 y1 x2 y2 of
        // its second pixel; then the same for its third and fourth pixels.
        const __m256 o0 = _mm256_shuffle_ps(l01, v01, _MM_SHUFFLE(1, 0, 1, 0));
        const __m256 o1 = _mm256_shuffle_ps(w01, l01, _MM_SHUFFLE(3, 2, 1, 0));
        const __m256 o2 = _mm256_shuffle_ps(v01, w01, _MM_SHUFFLE(3, 2, 3, 2));
        const __m256 o3 = _mm256_shuffle_ps(l23, v23, _MM_SHUFFLE(1, 0, 1, 0));
        const __m256 o4 = _mm256_shuffle_ps(w23, l23, _MM_SHUFFLE(3, 2, 1, 0));
        const __m256 o5 = _mm256_shuffle_ps(v23, w23, _MM_SHUFFLE(3, 2, 3, 2));
        avx2::store<P>(o, _mm256_permute2f128_ps(o0, o1, 0x20));
        avx2::store<P>(o + 8, _mm256_permute2f128_ps(o2, o3, 0x20));
        avx2::store<P>(o + 16, _mm256_permute2f128_ps(o4, o5, 0x20));
        avx2::store<P>(o + 24, _mm256_permute2f128_ps(o0, o1, 0x31));
        avx2::store<P>(o + 32, _mm256_permute2f128_ps(o2, o3, 0x31));
        avx2::store<P>(o + 40, _mm256_permute2f128_ps(o4, o5, 0x31));
    }
};

// Products of the 16-bit gradients of pixels x .. x + 7, loaded before anything is stored.
ZYLCV_INLINE void products8(const alias16s *dx, const alias16s *dy, alias32f *fxx, alias32f *fyy,
                            alias32f *fxy, int x)
{
    const __m256 gx = to_ps(sse2::load(dx + x)), gy = to_ps(sse2::load(dy + x));
    store(fxx + x, _mm256_mul_ps(gx, gx));
    store(fxy + x, _mm256_mul_ps(gx, gy));
    store(fyy + x, _mm256_mul_ps(gy, gy));
}

struct Rows : PackedEigenRows<Lanes> {
    // Per step 16 pixels from the right end backwards, after the last width % 8 pixels and an
    // 8-pixel block where width % 16 leaves one; each step loads all its gradients before it
    // stores, and its products cover only gradients already read.
    static void products_row(const alias16s *dx, const alias16s *dy, alias32f *fxx, alias32f *fyy,
                             alias32f *fxy, int width)
    {
        int x = width - width % 8;
        products_span(dx, dy, fxx, fyy, fxy, x, width);
        if (x % 16) products8(dx, dy, fxx, fyy, fxy, x -= 8);
        for (x -= 16; x >= 0; x -= 16) {
            const __m256i gx = load(dx + x), gy = load(dy + x);
            const __m256 x0 = to_ps(_mm256_castsi256_si128(gx)),
                         x1 = to_ps(_mm256_extracti128_si256(gx, 1));
            const __m256 y0 = to_ps(_mm256_castsi256_si128(gy)),
                         y1 = to_ps(_mm256_extracti128_si256(gy, 1));
            store(fxx + x, _mm256_mul_ps(x0, x0));
            store(fxx + x + 8, _mm256_mul_ps(x1, x1));
            store(fxy + x, _mm256_mul_ps(x0, y0));
            store(fxy + x + 8, _mm256_mul_ps(x1, y1));
            store(fyy + x, _mm256_mul_ps(y0, y0));
            store(fyy + x + 8, _mm256_mul_ps(y1, y1));
        }
    }
    // Per step 16 pixels in two registers, then 8; the row ends pixel by pixel.
    static void products_row(Zyl32f *xx, Zyl32f *yy, Zyl32f *xy, int width)
    {
        auto block = [&](int x) ZYLCV_INLINE_LAMBDA {
            const __m256 gx = load(xx + x), gy = load(yy + x);
            store(xx + x, _mm256_mul_ps(gx, gx));
            store(xy + x, _mm256_mul_ps(gx, unless_nan(gx, gy)));
            store(yy + x, _mm256_mul_ps(gy, gy));
        };
        int x = 0;
        for (; x + 16 <= width; x += 16) {
            block(x);
            block(x + 8);
        }
        if (x + 8 <= width) block(x), x += 8;
        products_span(xx, yy, xy, x, width);
    }
};

}  // namespace
ZYLCV_CORNER_EIGEN_ENTRIES

}  // namespace zylcv::avx2
