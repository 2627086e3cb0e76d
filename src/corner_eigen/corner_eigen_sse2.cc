// SSE2 corner eigen-analysis kernels. Products of 16-bit gradients take 8 pixels per step,
// walking each row from its right end backwards (its last width % 8 pixels first, one by one);
// products of 32f gradients take 8 pixels per step forwards. The eigen computation takes 4
// pixels per step, every branch computed in all lanes and the lanes' results picked by masks;
// six output vectors are interleaved to l1 l2 x1 y1 x2 y2 per pixel. A block with a NaN result
// is redone by the scalar helper, which fixes which NaN comes out where two meet. Destinations
// whose pointer and step are multiples of 16 are written with aligned stores; the bits do not
// depend on the path. Rows end pixel by pixel through the helpers of eigen.h.
#include <emmintrin.h>

#include "corner_eigen.h"

namespace zylcv::sse2 {
namespace {

using eigen::alias16s;
using eigen::alias32f;

enum Path { Unaligned, Aligned };

template <int P> void store(Zyl32f *p, __m128 v)
{
    if constexpr (P == Aligned) _mm_store_ps(p, v);
    else _mm_storeu_ps(p, v);
}

// Eight 16-bit lanes to two vectors of four floats.
__m128 lo_ps(__m128i v) { return _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16)); }
__m128 hi_ps(__m128i v) { return _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16)); }

// b, or +0.0 in the lanes where a is a NaN: as eigen::unless_nan.
__m128 unless_nan(__m128 a, __m128 b) { return _mm_andnot_ps(_mm_cmpunord_ps(a, a), b); }

// Lanes of `a` where the mask is set, of `b` elsewhere.
__m128 select(__m128 mask, __m128 a, __m128 b)
{
    return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b));
}

// The unit eigenvector (b, l - a)/n of eigenvalue l, as in eigen::vals_vecs_px.
inline void vector_of(__m128 l, __m128 a, __m128 b, __m128 &x, __m128 &y)
{
    const __m128 u = _mm_sub_ps(l, a);
    const __m128 n = _mm_sqrt_ps(_mm_add_ps(_mm_mul_ps(u, u), _mm_mul_ps(b, b)));
    const __m128 inv = select(_mm_cmpeq_ps(n, _mm_setzero_ps()), _mm_set1_ps(eigen::kInvEpsilon),
                              _mm_div_ps(_mm_set1_ps(1.0f), n));
    x = _mm_mul_ps(b, inv);
    y = _mm_mul_ps(u, inv);
}

// Per step 4 pixels, 24 floats out; the row ends pixel by pixel.
template <int P>
void vals_vecs_row(const Zyl32f *sxx, const Zyl32f *sxy, const Zyl32f *syy, Zyl32f *dst,
                   int width, __m128 s, Zyl32f scale)
{
    const __m128 one = _mm_set1_ps(1.0f), half = _mm_set1_ps(0.5f);
    const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    int x = 0;
    for (; x + 4 <= width; x += 4) {
        const __m128 a = _mm_mul_ps(_mm_loadu_ps(sxx + x), s);
        const __m128 b = _mm_mul_ps(_mm_loadu_ps(sxy + x), s);
        const __m128 c = _mm_mul_ps(_mm_loadu_ps(syy + x), s);
        const __m128 t = _mm_mul_ps(_mm_set1_ps(eigen::kThreshold), _mm_max_ps(a, c));
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
        const __m128 all = _mm_add_ps(_mm_add_ps(_mm_add_ps(L1, L2), _mm_add_ps(X1, Y1)),
                                      _mm_add_ps(X2, Y2));
        if (_mm_movemask_ps(_mm_cmpunord_ps(all, all))) {
            for (int i = x; i < x + 4; ++i)
                eigen::vals_vecs_px(sxx[i], sxy[i], syy[i], scale, dst + 6 * i);
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
    for (; x < width; ++x) eigen::vals_vecs_px(sxx[x], sxy[x], syy[x], scale, dst + 6 * x);
}

// Per step 4 pixels; the row ends pixel by pixel.
template <int P>
void min_row(const Zyl32f *sxx, const Zyl32f *sxy, const Zyl32f *syy, Zyl32f *dst, int width,
             __m128 s, Zyl32f scale)
{
    const __m128 half = _mm_set1_ps(0.5f);
    int x = 0;
    for (; x + 4 <= width; x += 4) {
        const __m128 p = _mm_mul_ps(half, _mm_loadu_ps(sxx + x));
        const __m128 q = _mm_mul_ps(half, _mm_loadu_ps(syy + x));
        const __m128 b = _mm_loadu_ps(sxy + x);
        const __m128 pq = _mm_sub_ps(p, q);
        const __m128 root = _mm_sqrt_ps(_mm_add_ps(_mm_mul_ps(b, b), _mm_mul_ps(pq, pq)));
        const __m128 m = _mm_mul_ps(_mm_sub_ps(_mm_add_ps(p, q), root), s);
        // NaN results go through the scalar helper, as in vals_vecs_row.
        if (_mm_movemask_ps(_mm_cmpunord_ps(m, m))) {
            for (int i = x; i < x + 4; ++i)
                dst[i] = eigen::min_eigen_px(sxx[i], sxy[i], syy[i], scale);
            continue;
        }
        store<P>(dst + x, m);
    }
    for (; x < width; ++x) dst[x] = eigen::min_eigen_px(sxx[x], sxy[x], syy[x], scale);
}

// Rows of one of the two eigen kernels, on the aligned path when the destination allows it.
template <class Row>
void eigen_rows(Row row, const Zyl32f *sxx, const Zyl32f *sxy, const Zyl32f *syy, int srcStep,
                Zyl32f *dst, int dstStep, int height)
{
    const bool aligned = aligned16(dst) && aligned16(std::ptrdiff_t(dstStep));
    for (int y = 0; y < height; ++y) {
        if (aligned) row.template operator()<Aligned>(sxx, sxy, syy, dst);
        else row.template operator()<Unaligned>(sxx, sxy, syy, dst);
        sxx = advance(sxx, srcStep);
        sxy = advance(sxy, srcStep);
        syy = advance(syy, srcStep);
        dst = advance(dst, dstStep);
    }
}

}  // namespace

void products_16s(void *xx, void *yy, Zyl32f *xy, int step, int width, int height)
{
    for (int y = 0; y < height; ++y) {
        const alias16s *dx = static_cast<const alias16s *>(xx);
        const alias16s *dy = static_cast<const alias16s *>(yy);
        alias32f *fxx = static_cast<alias32f *>(xx), *fyy = static_cast<alias32f *>(yy);
        alias32f *fxy = xy;
        int x = width;
        while (x % 8 != 0) {
            --x;
            float a, b, c;
            eigen::products_px(float(dx[x]), float(dy[x]), a, b, c);
            fxx[x] = a;
            fxy[x] = b;
            fyy[x] = c;
        }
        for (x -= 8; x >= 0; x -= 8) {
            const __m128i gx = _mm_loadu_si128(reinterpret_cast<const __m128i *>(dx + x));
            const __m128i gy = _mm_loadu_si128(reinterpret_cast<const __m128i *>(dy + x));
            const __m128 x0 = lo_ps(gx), x1 = hi_ps(gx), y0 = lo_ps(gy), y1 = hi_ps(gy);
            _mm_storeu_ps(fxx + x, _mm_mul_ps(x0, x0));
            _mm_storeu_ps(fxx + x + 4, _mm_mul_ps(x1, x1));
            _mm_storeu_ps(fxy + x, _mm_mul_ps(x0, y0));
            _mm_storeu_ps(fxy + x + 4, _mm_mul_ps(x1, y1));
            _mm_storeu_ps(fyy + x, _mm_mul_ps(y0, y0));
            _mm_storeu_ps(fyy + x + 4, _mm_mul_ps(y1, y1));
        }
        xx = advance(static_cast<char *>(xx), step);
        yy = advance(static_cast<char *>(yy), step);
        xy = advance(xy, step);
    }
}

void products_32f(Zyl32f *xx, Zyl32f *yy, Zyl32f *xy, int step, int width, int height)
{
    for (int y = 0; y < height; ++y) {
        int x = 0;
        for (; x + 8 <= width; x += 8) {
            const __m128 x0 = _mm_loadu_ps(xx + x), x1 = _mm_loadu_ps(xx + x + 4);
            const __m128 y0 = _mm_loadu_ps(yy + x), y1 = _mm_loadu_ps(yy + x + 4);
            _mm_storeu_ps(xx + x, _mm_mul_ps(x0, x0));
            _mm_storeu_ps(xx + x + 4, _mm_mul_ps(x1, x1));
            _mm_storeu_ps(xy + x, _mm_mul_ps(x0, unless_nan(x0, y0)));
            _mm_storeu_ps(xy + x + 4, _mm_mul_ps(x1, unless_nan(x1, y1)));
            _mm_storeu_ps(yy + x, _mm_mul_ps(y0, y0));
            _mm_storeu_ps(yy + x + 4, _mm_mul_ps(y1, y1));
        }
        for (; x < width; ++x) eigen::products_px(xx[x], yy[x], xx[x], xy[x], yy[x]);
        xx = advance(xx, step);
        yy = advance(yy, step);
        xy = advance(xy, step);
    }
}

void eigen_vals_vecs(const Zyl32f *sxx, const Zyl32f *sxy, const Zyl32f *syy, int srcStep,
                     Zyl32f *dst, int dstStep, int width, int height, Zyl32f scale)
{
    const __m128 s = _mm_set1_ps(scale);
    auto row = [&]<int P>(const Zyl32f *a, const Zyl32f *b, const Zyl32f *c, Zyl32f *d) {
        vals_vecs_row<P>(a, b, c, d, width, s, scale);
    };
    eigen_rows(row, sxx, sxy, syy, srcStep, dst, dstStep, height);
}

void min_eigen_val(const Zyl32f *sxx, const Zyl32f *sxy, const Zyl32f *syy, int srcStep,
                   Zyl32f *dst, int dstStep, int width, int height, Zyl32f scale)
{
    const __m128 s = _mm_set1_ps(scale);
    auto row = [&]<int P>(const Zyl32f *a, const Zyl32f *b, const Zyl32f *c, Zyl32f *d) {
        min_row<P>(a, b, c, d, width, s, scale);
    };
    eigen_rows(row, sxx, sxy, syy, srcStep, dst, dstStep, height);
}

}  // namespace zylcv::sse2
