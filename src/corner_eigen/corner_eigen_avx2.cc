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
ZYLCV_INLINE __m256 less(__m256 a, __m256 b) { return _mm256_cmp_ps(a, b, _CMP_LT_OQ); }
ZYLCV_INLINE bool any_nan(__m256 v)
{
    return _mm256_movemask_ps(_mm256_cmp_ps(v, v, _CMP_UNORD_Q));
}

// The unit eigenvector (b, l - a)/n of eigenvalue l, as in corner_eigen::vals_vecs_px.
ZYLCV_INLINE void vector_of(__m256 l, __m256 a, __m256 b, __m256 &x, __m256 &y)
{
    const __m256 u = _mm256_sub_ps(l, a);
    const __m256 n = _mm256_sqrt_ps(_mm256_add_ps(_mm256_mul_ps(u, u), _mm256_mul_ps(b, b)));
    const __m256 inv =
        _mm256_blendv_ps(_mm256_div_ps(_mm256_set1_ps(1.0f), n), _mm256_set1_ps(kInvEpsilon),
                         _mm256_cmp_ps(n, _mm256_setzero_ps(), _CMP_EQ_OQ));
    x = _mm256_mul_ps(b, inv);
    y = _mm256_mul_ps(u, inv);
}

// Per step 8 pixels, 48 floats out: pairs (l1 l2), (x1 y1), (x2 y2) interleaved within each half
// give the 24 floats of pixels 0-3 in the low halves and of pixels 4-7 in the high halves of
// three registers, which are then stored half by half. The row ends pixel by pixel.
template <int P>
void vals_vecs_row(const Zyl32f *sxx, const Zyl32f *sxy, const Zyl32f *syy, Zyl32f *dst, int width,
                   __m256 s, Zyl32f scale)
{
    const __m256 one = _mm256_set1_ps(1.0f), half = _mm256_set1_ps(0.5f);
    const __m256 absMask = _mm256_castsi256_ps(_mm256_set1_epi32(0x7FFFFFFF));
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        const __m256 a = _mm256_mul_ps(load(sxx + x), s);
        const __m256 b = _mm256_mul_ps(load(sxy + x), s);
        const __m256 c = _mm256_mul_ps(load(syy + x), s);
        const __m256 t = _mm256_mul_ps(_mm256_set1_ps(kThreshold), _mm256_max_ps(a, c));
        const __m256 weak = less(_mm256_min_ps(a, c), t);
        const __m256 diag = less(_mm256_and_ps(b, absMask), t);
        const __m256 d = _mm256_sub_ps(_mm256_mul_ps(a, c), _mm256_mul_ps(b, b));
        // Lanes that do not take the full solution, and those of them that are diagonal.
        const __m256 other = _mm256_or_ps(_mm256_or_ps(weak, diag), less(d, t));
        const __m256 useDiag = _mm256_andnot_ps(weak, diag);

        const __m256 apc = _mm256_add_ps(a, c);
        const __m256 r = _mm256_sqrt_ps(
            _mm256_sub_ps(_mm256_mul_ps(apc, apc), _mm256_mul_ps(_mm256_set1_ps(4.0f), d)));
        const __m256 l1 = _mm256_mul_ps(_mm256_add_ps(apc, r), half);
        const __m256 l2 = _mm256_mul_ps(_mm256_sub_ps(apc, r), half);
        __m256 x1, y1, x2, y2;
        vector_of(l1, a, b, x1, y1);
        vector_of(l2, a, b, x2, y2);

        const __m256 oneDiag = _mm256_and_ps(useDiag, one);
        const __m256 L1 = _mm256_or_ps(_mm256_andnot_ps(other, l1), _mm256_and_ps(useDiag, a));
        const __m256 L2 = _mm256_or_ps(_mm256_andnot_ps(other, l2), _mm256_and_ps(useDiag, c));
        const __m256 X1 = _mm256_or_ps(_mm256_andnot_ps(other, x1), oneDiag);
        const __m256 Y1 = _mm256_andnot_ps(other, y1);
        const __m256 X2 = _mm256_andnot_ps(other, x2);
        const __m256 Y2 = _mm256_or_ps(_mm256_andnot_ps(other, y2), oneDiag);

        // A NaN among the results may depend on which of two NaN operands an instruction kept:
        // such blocks are done again by the scalar helper, whose operand order is fixed.
        const __m256 all = _mm256_add_ps(
            _mm256_add_ps(_mm256_add_ps(L1, L2), _mm256_add_ps(X1, Y1)), _mm256_add_ps(X2, Y2));
        if (any_nan(all)) {
            eigen_span<Output::ValsVecs>(sxx, sxy, syy, dst, x, x + 8, scale);
            continue;
        }
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
        Zyl32f *o = dst + 6 * x;
        store<P>(o, _mm256_permute2f128_ps(o0, o1, 0x20));
        store<P>(o + 8, _mm256_permute2f128_ps(o2, o3, 0x20));
        store<P>(o + 16, _mm256_permute2f128_ps(o4, o5, 0x20));
        store<P>(o + 24, _mm256_permute2f128_ps(o0, o1, 0x31));
        store<P>(o + 32, _mm256_permute2f128_ps(o2, o3, 0x31));
        store<P>(o + 40, _mm256_permute2f128_ps(o4, o5, 0x31));
    }
    eigen_span<Output::ValsVecs>(sxx, sxy, syy, dst, x, width, scale);
}

// Per step 8 pixels; the row ends pixel by pixel.
template <int P>
void min_row(const Zyl32f *sxx, const Zyl32f *sxy, const Zyl32f *syy, Zyl32f *dst, int width,
             __m256 s, Zyl32f scale)
{
    const __m256 half = _mm256_set1_ps(0.5f);
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        const __m256 p = _mm256_mul_ps(half, load(sxx + x));
        const __m256 q = _mm256_mul_ps(half, load(syy + x));
        const __m256 b = load(sxy + x);
        const __m256 pq = _mm256_sub_ps(p, q);
        const __m256 root =
            _mm256_sqrt_ps(_mm256_add_ps(_mm256_mul_ps(b, b), _mm256_mul_ps(pq, pq)));
        const __m256 m = _mm256_mul_ps(_mm256_sub_ps(_mm256_add_ps(p, q), root), s);
        // NaN results go through the scalar helper, as in vals_vecs_row.
        if (any_nan(m)) {
            eigen_span<Output::MinVal>(sxx, sxy, syy, dst, x, x + 8, scale);
            continue;
        }
        store<P>(dst + x, m);
    }
    eigen_span<Output::MinVal>(sxx, sxy, syy, dst, x, width, scale);
}

// Products of the 16-bit gradients of pixels x .. x + 7, loaded before anything is stored.
ZYLCV_INLINE void products8(const alias16s *dx, const alias16s *dy, alias32f *fxx, alias32f *fyy,
                            alias32f *fxy, int x)
{
    const __m256 gx = to_ps(sse2::load(dx + x)), gy = to_ps(sse2::load(dy + x));
    store(fxx + x, _mm256_mul_ps(gx, gx));
    store(fxy + x, _mm256_mul_ps(gx, gy));
    store(fyy + x, _mm256_mul_ps(gy, gy));
}

struct Rows {
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
    // The aligned path when the destination's pointer and step allow it.
    template <Output O>
    static void eigen(const Zyl32f *sxx, const Zyl32f *sxy, const Zyl32f *syy, int srcStep,
                      Zyl32f *dst, int dstStep, int width, int height, Zyl32f scale)
    {
        if (aligned32(dst) && aligned32(std::ptrdiff_t(dstStep)))
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
        const __m256 s = _mm256_set1_ps(scale);
        if constexpr (O == Output::ValsVecs) vals_vecs_row<P>(sxx, sxy, syy, dst, width, s, scale);
        else min_row<P>(sxx, sxy, syy, dst, width, s, scale);
    }
};

}  // namespace
ZYLCV_CORNER_EIGEN_ENTRIES

}  // namespace zylcv::avx2
