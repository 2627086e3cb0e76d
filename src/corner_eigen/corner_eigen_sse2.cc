// SSE2 corner eigen-analysis rows. Products of 16-bit gradients take 8 pixels per step, walking
// each row from its right end backwards (its last width % 8 pixels first, one by one); products
// of 32f gradients take 8 pixels per step forwards. The eigen computation takes 4 pixels per
// step, every branch computed in all lanes and the lanes' results picked by masks; six output
// vectors are interleaved to l1 l2 x1 y1 x2 y2 per pixel. A block with a NaN result is redone
// by the scalar helper, which fixes which NaN comes out where two meet. Destinations whose
// pointer and step are multiples of 16 are written with aligned stores; the bits do not depend
// on the path. Rows end pixel by pixel through the helpers of corner_eigen.h.
#include <emmintrin.h>

#include "core/simd_sse2.h"
#include "corner_eigen.h"

namespace zylcv::sse2 {
namespace {

using namespace corner_eigen;

// Eight 16-bit lanes to two vectors of four floats.
__m128 lo_ps(__m128i v) { return _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16)); }
__m128 hi_ps(__m128i v) { return _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16)); }

// b, or +0.0 in the lanes where a is a NaN: as corner_eigen::unless_nan.
__m128 unless_nan(__m128 a, __m128 b) { return _mm_andnot_ps(_mm_cmpunord_ps(a, a), b); }

// The lane operations of the packed eigen rows (corner_eigen::PackedEigenRows), 4 floats each.
struct Lanes {
    using v = __m128;
    static constexpr int n = 4;
    static constexpr int kAligned = Aligned, kUnaligned = Unaligned;
    template <class T> ZYLCV_INLINE static bool aligned(T p) { return aligned16(p); }
    ZYLCV_INLINE static v set1(float f) { return _mm_set1_ps(f); }
    ZYLCV_INLINE static v load(const Zyl32f *p) { return sse2::load(p); }
    template <int P> ZYLCV_INLINE static void store(Zyl32f *p, v a) { sse2::store<P>(p, a); }
    ZYLCV_INLINE static v add(v a, v b) { return _mm_add_ps(a, b); }
    ZYLCV_INLINE static v sub(v a, v b) { return _mm_sub_ps(a, b); }
    ZYLCV_INLINE static v mul(v a, v b) { return _mm_mul_ps(a, b); }
    ZYLCV_INLINE static v div(v a, v b) { return _mm_div_ps(a, b); }
    ZYLCV_INLINE static v sqrt(v a) { return _mm_sqrt_ps(a); }
    ZYLCV_INLINE static v min(v a, v b) { return _mm_min_ps(a, b); }
    ZYLCV_INLINE static v max(v a, v b) { return _mm_max_ps(a, b); }
    ZYLCV_INLINE static v abs(v a)
    {
        return _mm_and_ps(a, _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF)));
    }
    ZYLCV_INLINE static v and_(v a, v b) { return _mm_and_ps(a, b); }
    ZYLCV_INLINE static v andnot(v mask, v b) { return _mm_andnot_ps(mask, b); }
    ZYLCV_INLINE static v or_(v a, v b) { return _mm_or_ps(a, b); }
    ZYLCV_INLINE static v lt(v a, v b) { return _mm_cmplt_ps(a, b); }
    ZYLCV_INLINE static v eq(v a, v b) { return _mm_cmpeq_ps(a, b); }
    // Lanes of `a` where the mask is set, of `b` elsewhere.
    ZYLCV_INLINE static v select(v mask, v a, v b)
    {
        return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b));
    }
    ZYLCV_INLINE static bool any_nan(v a) { return _mm_movemask_ps(_mm_cmpunord_ps(a, a)); }
    // Pairs (l1 l2), (x1 y1), (x2 y2) of pixels 0,1 and 2,3, then three vectors per two pixels.
    template <int P>
    ZYLCV_INLINE static void store_vals_vecs(Zyl32f *o, v L1, v L2, v X1, v Y1, v X2, v Y2)
    {
        const __m128 l01 = _mm_unpacklo_ps(L1, L2), l23 = _mm_unpackhi_ps(L1, L2);
        const __m128 v01 = _mm_unpacklo_ps(X1, Y1), v23 = _mm_unpackhi_ps(X1, Y1);
        const __m128 w01 = _mm_unpacklo_ps(X2, Y2), w23 = _mm_unpackhi_ps(X2, Y2);
        sse2::store<P>(o, _mm_movelh_ps(l01, v01));
        sse2::store<P>(o + 4, _mm_shuffle_ps(w01, l01, _MM_SHUFFLE(3, 2, 1, 0)));
        sse2::store<P>(o + 8, _mm_movehl_ps(w01, v01));
        sse2::store<P>(o + 12, _mm_movelh_ps(l23, v23));
        sse2::store<P>(o + 16, _mm_shuffle_ps(w23, l23, _MM_SHUFFLE(3, 2, 1, 0)));
        sse2::store<P>(o + 20, _mm_movehl_ps(w23, v23));
    }
};

struct Rows : PackedEigenRows<Lanes> {
    // Per step 8 pixels from the right end backwards, after the last width % 8 pixels.
    static void products_row(const alias16s *dx, const alias16s *dy, alias32f *fxx, alias32f *fyy,
                             alias32f *fxy, int width)
    {
        int x = width - width % 8;
        products_span(dx, dy, fxx, fyy, fxy, x, width);
        for (x -= 8; x >= 0; x -= 8) {
            const __m128i gx = load(dx + x);
            const __m128i gy = load(dy + x);
            const __m128 x0 = lo_ps(gx), x1 = hi_ps(gx), y0 = lo_ps(gy), y1 = hi_ps(gy);
            store(fxx + x, _mm_mul_ps(x0, x0));
            store(fxx + x + 4, _mm_mul_ps(x1, x1));
            store(fxy + x, _mm_mul_ps(x0, y0));
            store(fxy + x + 4, _mm_mul_ps(x1, y1));
            store(fyy + x, _mm_mul_ps(y0, y0));
            store(fyy + x + 4, _mm_mul_ps(y1, y1));
        }
    }
    // Per step 8 pixels; the row ends pixel by pixel.
    static void products_row(Zyl32f *xx, Zyl32f *yy, Zyl32f *xy, int width)
    {
        int x = 0;
        for (; x + 8 <= width; x += 8) {
            const __m128 x0 = load(xx + x), x1 = load(xx + x + 4);
            const __m128 y0 = load(yy + x), y1 = load(yy + x + 4);
            store(xx + x, _mm_mul_ps(x0, x0));
            store(xx + x + 4, _mm_mul_ps(x1, x1));
            store(xy + x, _mm_mul_ps(x0, unless_nan(x0, y0)));
            store(xy + x + 4, _mm_mul_ps(x1, unless_nan(x1, y1)));
            store(yy + x, _mm_mul_ps(y0, y0));
            store(yy + x + 4, _mm_mul_ps(y1, y1));
        }
        products_span(xx, yy, xy, x, width);
    }
};

}  // namespace
ZYLCV_CORNER_EIGEN_ENTRIES

}  // namespace zylcv::sse2
