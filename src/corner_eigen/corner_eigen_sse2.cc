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

// Lanes of `a` where the mask is set, of `b` elsewhere.
__m128 select(__m128 mask, __m128 a, __m128 b)
{
    return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b));
}

// The unit eigenvector (b, l - a)/n of eigenvalue l, as in corner_eigen::vals_vecs_px.
inline void vector_of(__m128 l, __m128 a, __m128 b, __m128 &x, __m128 &y)
{
    const __m128 u = _mm_sub_ps(l, a);
    const __m128 n = _mm_sqrt_ps(_mm_add_ps(_mm_mul_ps(u, u), _mm_mul_ps(b, b)));
    const __m128 inv = select(_mm_cmpeq_ps(n, _mm_setzero_ps()), _mm_set1_ps(kInvEpsilon),
                              _mm_div_ps(_mm_set1_ps(1.0f), n));
    x = _mm_mul_ps(b, inv);
    y = _mm_mul_ps(u, inv);
}

// Per step 4 pixels, 24 floats out; the row ends pixel by pixel.
template <int P>
void vals_vecs_row(const Zyl32f *sxx, const Zyl32f *sxy, const Zyl32f *syy, Zyl32f *dst, int width,
                   __m128 s, Zyl32f scale)
{
    const __m128 one = _mm_set1_ps(1.0f), half = _mm_set1_ps(0.5f);
    const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    int x = 0;
    for (; x + 4 <= width; x += 4) {
        const __m128 a = _mm_mul_ps(load(sxx + x), s);
        const __m128 b = _mm_mul_ps(load(sxy + x), s);
        const __m128 c = _mm_mul_ps(load(syy + x), s);
        const __m128 t = _mm_mul_ps(_mm_set1_ps(kThreshold), _mm_max_ps(a, c));
        const __m128 weak = _mm_cmplt_ps(_mm_min_ps(a, c), t);
        const __m128 diag = _mm_cmplt_ps(_mm_and_ps(b, absMask), t);
        const __m128 d = _mm_sub_ps(_mm_mul_ps(a, c), _mm_mul_ps(b, b));
        // Lanes that do not take the full solution, and those of them that are diagonal.
        const __m128 other = _mm_or_ps(_mm_or_ps(weak, diag), _mm_cmplt_ps(d, t));
        const __m128 useDiag = _mm_andnot_ps(weak, diag);

        const __m128 apc = _mm_add_ps(a, c);
        const __m128 r =
            _mm_sqrt_ps(_mm_sub_ps(_mm_mul_ps(apc, apc), _mm_mul_ps(_mm_set1_ps(4.0f), d)));
        const __m128 l1 = _mm_mul_ps(_mm_add_ps(apc, r), half);
        const __m128 l2 = _mm_mul_ps(_mm_sub_ps(apc, r), half);
        __m128 x1, y1, x2, y2;
        vector_of(l1, a, b, x1, y1);
        vector_of(l2, a, b, x2, y2);

        const __m128 oneDiag = _mm_and_ps(useDiag, one);
        const __m128 L1 = _mm_or_ps(_mm_andnot_ps(other, l1), _mm_and_ps(useDiag, a));
        const __m128 L2 = _mm_or_ps(_mm_andnot_ps(other, l2), _mm_and_ps(useDiag, c));
        const __m128 X1 = _mm_or_ps(_mm_andnot_ps(other, x1), oneDiag);
        const __m128 Y1 = _mm_andnot_ps(other, y1);
        const __m128 X2 = _mm_andnot_ps(other, x2);
        const __m128 Y2 = _mm_or_ps(_mm_andnot_ps(other, y2), oneDiag);

        // Pairs (l1 l2), (x1 y1), (x2 y2) of pixels 0,1 and 2,3, then three vectors per two
        // pixels.
        // A NaN among the results may depend on which of two NaN operands an instruction kept:
        // such blocks are done again by the scalar helper, whose operand order is fixed.
        const __m128 all =
            _mm_add_ps(_mm_add_ps(_mm_add_ps(L1, L2), _mm_add_ps(X1, Y1)), _mm_add_ps(X2, Y2));
        if (_mm_movemask_ps(_mm_cmpunord_ps(all, all))) {
            eigen_span<Output::ValsVecs>(sxx, sxy, syy, dst, x, x + 4, scale);
            continue;
        }
        const __m128 l01 = _mm_unpacklo_ps(L1, L2), l23 = _mm_unpackhi_ps(L1, L2);
        const __m128 v01 = _mm_unpacklo_ps(X1, Y1), v23 = _mm_unpackhi_ps(X1, Y1);
        const __m128 w01 = _mm_unpacklo_ps(X2, Y2), w23 = _mm_unpackhi_ps(X2, Y2);
        Zyl32f *o = dst + 6 * x;
        store<P>(o, _mm_movelh_ps(l01, v01));
        store<P>(o + 4, _mm_shuffle_ps(w01, l01, _MM_SHUFFLE(3, 2, 1, 0)));
        store<P>(o + 8, _mm_movehl_ps(w01, v01));
        store<P>(o + 12, _mm_movelh_ps(l23, v23));
        store<P>(o + 16, _mm_shuffle_ps(w23, l23, _MM_SHUFFLE(3, 2, 1, 0)));
        store<P>(o + 20, _mm_movehl_ps(w23, v23));
    }
    eigen_span<Output::ValsVecs>(sxx, sxy, syy, dst, x, width, scale);
}

// Per step 4 pixels; the row ends pixel by pixel.
template <int P>
void min_row(const Zyl32f *sxx, const Zyl32f *sxy, const Zyl32f *syy, Zyl32f *dst, int width,
             __m128 s, Zyl32f scale)
{
    const __m128 half = _mm_set1_ps(0.5f);
    int x = 0;
    for (; x + 4 <= width; x += 4) {
        const __m128 p = _mm_mul_ps(half, load(sxx + x));
        const __m128 q = _mm_mul_ps(half, load(syy + x));
        const __m128 b = load(sxy + x);
        const __m128 pq = _mm_sub_ps(p, q);
        const __m128 root = _mm_sqrt_ps(_mm_add_ps(_mm_mul_ps(b, b), _mm_mul_ps(pq, pq)));
        const __m128 m = _mm_mul_ps(_mm_sub_ps(_mm_add_ps(p, q), root), s);
        // NaN results go through the scalar helper, as in vals_vecs_row.
        if (_mm_movemask_ps(_mm_cmpunord_ps(m, m))) {
            eigen_span<Output::MinVal>(sxx, sxy, syy, dst, x, x + 4, scale);
            continue;
        }
        store<P>(dst + x, m);
    }
    eigen_span<Output::MinVal>(sxx, sxy, syy, dst, x, width, scale);
}

struct Rows {
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
    // The aligned path when the destination's pointer and step allow it.
    template <Output O>
    static void eigen(const Zyl32f *sxx, const Zyl32f *sxy, const Zyl32f *syy, int srcStep,
                      Zyl32f *dst, int dstStep, int width, int height, Zyl32f scale)
    {
        if (aligned16(dst) && aligned16(std::ptrdiff_t(dstStep)))
            eigen_rows<Rows, O, Aligned>(sxx, sxy, syy, srcStep, dst, dstStep, width, height,
                                         scale);
        else
            eigen_rows<Rows, O, Unaligned>(sxx, sxy, syy, srcStep, dst, dstStep, width, height,
                                           scale);
    }
    template <Output O, int P>
    static void eigen_row(const Zyl32f *sxx, const Zyl32f *sxy, const Zyl32f *syy, Zyl32f *dst,
                          int width, Zyl32f scale)
    {
        const __m128 s = _mm_set1_ps(scale);
        if constexpr (O == Output::ValsVecs) vals_vecs_row<P>(sxx, sxy, syy, dst, width, s, scale);
        else min_row<P>(sxx, sxy, syy, dst, width, s, scale);
    }
};

}  // namespace
ZYLCV_CORNER_EIGEN_ENTRIES

}  // namespace zylcv::sse2
