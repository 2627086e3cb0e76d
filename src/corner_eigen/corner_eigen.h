// Corner eigen-analysis kernels: the gradient products, formed in place in the work buffer, and
// the per-pixel eigen computation over the three block sums. The per-pixel helpers below are the
// portable twin's whole arithmetic and the packed twins' row tails, so every twin gives the same
// bits; the row walks are written once over a twin's row operations (struct Rows in each twin's
// file).
#ifndef ZYLCV_CORNER_EIGEN_CORNER_EIGEN_H
#define ZYLCV_CORNER_EIGEN_CORNER_EIGEN_H

#include "core/internal.h"

namespace zylcv::corner_eigen {

// What an eigen pass writes per pixel: l1 l2 x1 y1 x2 y2, or the smaller eigenvalue alone.
enum class Output { ValsVecs, MinVal };

// The work buffer holds 16-bit gradients and then, at the same addresses, 32-bit products: rows
// are accessed through these types so that neither access is assumed independent of the other.
typedef Zyl16s __attribute__((may_alias)) alias16s;
typedef Zyl32f __attribute__((may_alias)) alias32f;

// Lane rules of the packed minimum and maximum: the second operand when either is NaN.
inline float min_lane(float a, float b) { return a < b ? a : b; }
inline float max_lane(float a, float b) { return a > b ? a : b; }

// Threshold factor, and 1/n for a null vector length n: the reciprocal of the float epsilon.
constexpr float kThreshold = 0.01f;
constexpr float kInvEpsilon = 1.0f / 1.1920929e-07f;

// Operations on two values that may both be NaN, with the result fixed whatever operand order
// the compiler gives the instruction: where the first operand is a NaN the second is replaced by
// +0.0, so that at most one operand is a NaN and the result is the first NaN operand, quieted
// (or the default NaN of an invalid operation).
inline float unless_nan(float a, float b) { return a != a ? 0.0f : b; }
inline float add1(float a, float b) { return a + unless_nan(a, b); }
inline float sub1(float a, float b) { return a - unless_nan(a, b); }
inline float mul1(float a, float b) { return a * unless_nan(a, b); }

// One pixel's products of its two gradients.
inline void products_px(float dx, float dy, float &xx, float &xy, float &yy)
{
    xx = dx * dx;
    xy = mul1(dx, dy);
    yy = dy * dy;
}

// Eigenvalues and unit eigenvectors of the scaled block sums [a b; b c], a = sxx*s, b = sxy*s,
// c = syy*s, written as l1, l2, x1, y1, x2, y2. Weak or one-dimensional structure (the smaller
// diagonal term, or the determinant, below t = 0.01*max(a, c)) gives six zeros; an off-diagonal
// term below t takes the matrix as diagonal.
inline void vals_vecs_px(float sxx, float sxy, float syy, float s, Zyl32f *out)
{
    const float a = sxx * s, b = sxy * s, c = syy * s;
    const float t = kThreshold * max_lane(a, c);
    if (min_lane(a, c) < t) {
        for (int i = 0; i < 6; ++i) out[i] = 0.0f;
        return;
    }
    if (clear_sign(b) < t) {
        out[0] = a;
        out[1] = c;
        out[2] = 1.0f;
        out[3] = 0.0f;
        out[4] = 0.0f;
        out[5] = 1.0f;
        return;
    }
    const float d = sub1(mul1(a, c), b * b);
    if (d < t) {
        for (int i = 0; i < 6; ++i) out[i] = 0.0f;
        return;
    }
    const float apc = add1(a, c);
    const float r = __builtin_sqrtf(sub1(apc * apc, 4.0f * d));
    const float l[2] = {add1(apc, r) * 0.5f, sub1(apc, r) * 0.5f};
    out[0] = l[0];
    out[1] = l[1];
    for (int i = 0; i < 2; ++i) {
        const float u = sub1(l[i], a);
        const float n = __builtin_sqrtf(add1(u * u, b * b));
        const float inv = n == 0.0f ? kInvEpsilon : 1.0f / n;
        out[2 + 2 * i] = mul1(b, inv);
        out[3 + 2 * i] = mul1(u, inv);
    }
}

// The smaller eigenvalue of the scaled block sums: (p + q - sqrt(sxy^2 + (p - q)^2)) * s with
// p = sxx/2, q = syy/2.
inline float min_eigen_px(float sxx, float sxy, float syy, float s)
{
    const float p = 0.5f * sxx, q = 0.5f * syy;
    const float pq = sub1(p, q);
    return sub1(add1(p, q), __builtin_sqrtf(add1(sxy * sxy, pq * pq))) * s;
}

// ---- spans: pixels x0..x1-1 of a row, one at a time ------------------------------------------

// Products of 16-bit gradients in place, from the right end backwards: the 32-bit product of
// pixel x covers the 16-bit gradients of pixels 2x and 2x+1, which are already done.
inline void products_span(const alias16s *dx, const alias16s *dy, alias32f *fxx, alias32f *fyy,
                          alias32f *fxy, int x0, int x1)
{
    for (int x = x1 - 1; x >= x0; --x) {
        float a, b, c;
        products_px(float(dx[x]), float(dy[x]), a, b, c);
        fxx[x] = a;
        fxy[x] = b;
        fyy[x] = c;
    }
}

// Products of 32f gradients in place.
inline void products_span(Zyl32f *xx, Zyl32f *yy, Zyl32f *xy, int x0, int x1)
{
    for (int x = x0; x < x1; ++x) products_px(xx[x], yy[x], xx[x], xy[x], yy[x]);
}

// Eigen results of output O: six floats or one per pixel.
template <Output O>
inline void eigen_span(const Zyl32f *sxx, const Zyl32f *sxy, const Zyl32f *syy, Zyl32f *dst, int x0,
                       int x1, Zyl32f scale)
{
    for (int x = x0; x < x1; ++x) {
        if constexpr (O == Output::ValsVecs)
            vals_vecs_px(sxx[x], sxy[x], syy[x], scale, dst + 6 * x);
        else dst[x] = min_eigen_px(sxx[x], sxy[x], syy[x], scale);
    }
}

// ---- row walks over a twin's row operations R ------------------------------------------------
// R provides
//   R::products_row(dx, dy, fxx, fyy, fxy, width)     16-bit gradients, in place
//   R::products_row(xx, yy, xy, width)                32f gradients, in place
//   R::eigen<O>(sxx, sxy, syy, srcStep, dst, dstStep, width, height, scale)
//                                                     picks an access path P for the destination
//                                                     and runs eigen_rows<R, O, P>
//   R::eigen_row<O, P>(sxx, sxy, syy, dst, width, scale)

// Rows of gradients of type G, `step` bytes apart, become their products in place (Dx*Dx over
// Dx, Dy*Dy over Dy) and in the rows of xy (Dx*Dy).
template <class R, class G>
void products(Zyl32f *xx, Zyl32f *yy, Zyl32f *xy, int step, int width, int height)
{
    for (int y = 0; y < height; ++y) {
        if constexpr (std::is_same_v<G, Zyl16s>)
            R::products_row(reinterpret_cast<const alias16s *>(xx),
                            reinterpret_cast<const alias16s *>(yy), xx, yy, xy, width);
        else R::products_row(xx, yy, xy, width);
        xx = advance(xx, step);
        yy = advance(yy, step);
        xy = advance(xy, step);
    }
}

// Rows of output O from the block-sum rows sxx, sxy, syy (`srcStep` bytes apart), on access
// path P of the destination.
template <class R, Output O, int P>
void eigen_rows(const Zyl32f *sxx, const Zyl32f *sxy, const Zyl32f *syy, int srcStep, Zyl32f *dst,
                int dstStep, int width, int height, Zyl32f scale)
{
    for (int y = 0; y < height; ++y) {
        R::template eigen_row<O, P>(sxx, sxy, syy, dst, width, scale);
        sxx = advance(sxx, srcStep);
        sxy = advance(sxy, srcStep);
        syy = advance(syy, srcStep);
        dst = advance(dst, dstStep);
    }
}

// ---- packed eigen rows over a twin's lanes V -------------------------------------------------
// V provides the register type V::v of V::n floats; the lane operations add, sub, mul, div,
// sqrt, min, max (the second operand where either is NaN), abs, and_, andnot (b where the mask
// is clear), or_, the masks lt, eq, unord, select(mask, a, b) and any_nan(v); set1, load(p),
// store<P>(p, v); the access paths kAligned, kUnaligned and aligned(p or step); and
// store_vals_vecs<P>(o, l1, l2, x1, y1, x2, y2), which writes the six results of V::n pixels
// interleaved from o on.

// The unit eigenvector (b, l - a)/n of eigenvalue l, as in vals_vecs_px.
template <class V, class F = typename V::v>
[[gnu::always_inline]] inline void vector_of(F l, F a, F b, F &x, F &y)
{
    const F u = V::sub(l, a);
    const F n = V::sqrt(V::add(V::mul(u, u), V::mul(b, b)));
    const F inv =
        V::select(V::eq(n, V::set1(0.0f)), V::set1(kInvEpsilon), V::div(V::set1(1.0f), n));
    x = V::mul(b, inv);
    y = V::mul(u, inv);
}

// Per step V::n pixels, every branch computed in all lanes and the lanes' results picked by
// masks; the row ends pixel by pixel.
template <class V, int P, class F = typename V::v>
void vals_vecs_row(const Zyl32f *sxx, const Zyl32f *sxy, const Zyl32f *syy, Zyl32f *dst, int width,
                   F s, Zyl32f scale)
{
    const F one = V::set1(1.0f), half = V::set1(0.5f);
    int x = 0;
    for (; x + V::n <= width; x += V::n) {
        const F a = V::mul(V::load(sxx + x), s);
        const F b = V::mul(V::load(sxy + x), s);
        const F c = V::mul(V::load(syy + x), s);
        const F t = V::mul(V::set1(kThreshold), V::max(a, c));
        const F weak = V::lt(V::min(a, c), t);
        const F diag = V::lt(V::abs(b), t);
        const F d = V::sub(V::mul(a, c), V::mul(b, b));
        // Lanes that do not take the full solution, and those of them that are diagonal.
        const F other = V::or_(V::or_(weak, diag), V::lt(d, t));
        const F useDiag = V::andnot(weak, diag);

        const F apc = V::add(a, c);
        const F r = V::sqrt(V::sub(V::mul(apc, apc), V::mul(V::set1(4.0f), d)));
        const F l1 = V::mul(V::add(apc, r), half);
        const F l2 = V::mul(V::sub(apc, r), half);
        F x1, y1, x2, y2;
        vector_of<V>(l1, a, b, x1, y1);
        vector_of<V>(l2, a, b, x2, y2);

        const F oneDiag = V::and_(useDiag, one);
        const F L1 = V::or_(V::andnot(other, l1), V::and_(useDiag, a));
        const F L2 = V::or_(V::andnot(other, l2), V::and_(useDiag, c));
        const F X1 = V::or_(V::andnot(other, x1), oneDiag);
        const F Y1 = V::andnot(other, y1);
        const F X2 = V::andnot(other, x2);
        const F Y2 = V::or_(V::andnot(other, y2), oneDiag);

        // A NaN among the results may depend on which of two NaN operands an instruction kept:
        // such blocks are done again by the scalar helper, whose operand order is fixed.
        const F all = V::add(V::add(V::add(L1, L2), V::add(X1, Y1)), V::add(X2, Y2));
        if (V::any_nan(all)) {
            eigen_span<Output::ValsVecs>(sxx, sxy, syy, dst, x, x + V::n, scale);
            continue;
        }
        V::template store_vals_vecs<P>(dst + 6 * x, L1, L2, X1, Y1, X2, Y2);
    }
    eigen_span<Output::ValsVecs>(sxx, sxy, syy, dst, x, width, scale);
}

// Per step V::n pixels; the row ends pixel by pixel.
template <class V, int P, class F = typename V::v>
void min_row(const Zyl32f *sxx, const Zyl32f *sxy, const Zyl32f *syy, Zyl32f *dst, int width, F s,
             Zyl32f scale)
{
    const F half = V::set1(0.5f);
    int x = 0;
    for (; x + V::n <= width; x += V::n) {
        const F p = V::mul(half, V::load(sxx + x));
        const F q = V::mul(half, V::load(syy + x));
        const F b = V::load(sxy + x);
        const F pq = V::sub(p, q);
        const F root = V::sqrt(V::add(V::mul(b, b), V::mul(pq, pq)));
        const F m = V::mul(V::sub(V::add(p, q), root), s);
        // NaN results go through the scalar helper, as in vals_vecs_row.
        if (V::any_nan(m)) {
            eigen_span<Output::MinVal>(sxx, sxy, syy, dst, x, x + V::n, scale);
            continue;
        }
        V::template store<P>(dst + x, m);
    }
    eigen_span<Output::MinVal>(sxx, sxy, syy, dst, x, width, scale);
}

// The eigen row operations of a packed twin over its lanes V: the aligned path when the
// destination's pointer and step allow it.
template <class V> struct PackedEigenRows {
    template <Output O>
    static void eigen(const Zyl32f *sxx, const Zyl32f *sxy, const Zyl32f *syy, int srcStep,
                      Zyl32f *dst, int dstStep, int width, int height, Zyl32f scale)
    {
        if (V::aligned(dst) && V::aligned(std::ptrdiff_t(dstStep)))
            eigen_rows<PackedEigenRows, O, V::kAligned>(sxx, sxy, syy, srcStep, dst, dstStep, width,
                                                        height, scale);
        else
            eigen_rows<PackedEigenRows, O, V::kUnaligned>(sxx, sxy, syy, srcStep, dst, dstStep,
                                                          width, height, scale);
    }
    template <Output O, int P>
    static void eigen_row(const Zyl32f *sxx, const Zyl32f *sxy, const Zyl32f *syy, Zyl32f *dst,
                          int width, Zyl32f scale)
    {
        const typename V::v s = V::set1(scale);
        if constexpr (O == Output::ValsVecs)
            vals_vecs_row<V, P>(sxx, sxy, syy, dst, width, s, scale);
        else min_row<V, P>(sxx, sxy, syy, dst, width, s, scale);
    }
};

// Row operations one pixel per step: the portable twin's rows.
struct ScalarRows {
    static void products_row(const alias16s *dx, const alias16s *dy, alias32f *fxx, alias32f *fyy,
                             alias32f *fxy, int width)
    {
        products_span(dx, dy, fxx, fyy, fxy, 0, width);
    }
    static void products_row(Zyl32f *xx, Zyl32f *yy, Zyl32f *xy, int width)
    {
        products_span(xx, yy, xy, 0, width);
    }
    template <Output O>
    static void eigen(const Zyl32f *sxx, const Zyl32f *sxy, const Zyl32f *syy, int srcStep,
                      Zyl32f *dst, int dstStep, int width, int height, Zyl32f scale)
    {
        eigen_rows<ScalarRows, O, 0>(sxx, sxy, syy, srcStep, dst, dstStep, width, height, scale);
    }
    template <Output O, int P>
    static void eigen_row(const Zyl32f *sxx, const Zyl32f *sxy, const Zyl32f *syy, Zyl32f *dst,
                          int width, Zyl32f scale)
    {
        eigen_span<O>(sxx, sxy, syy, dst, 0, width, scale);
    }
};

}  // namespace zylcv::corner_eigen

namespace zylcv {

// products<G>: rows of gradients of type G (Zyl16s or Zyl32f) for Dx and Dy, `step` bytes apart,
// become in place rows of the 32f products Dx*Dx and Dy*Dy; Dx*Dy goes to the rows of `xy`.
// 16-bit rows run from their right end backwards, so no gradient is overwritten before it is
// read. eigen<O>: per pixel of the block-sum rows sxx, sxy, syy (`srcStep` bytes apart), six
// floats or one into the destination rows.
ZYLCV_DECLARE_TWINS_AVX2(template <class G> void products(Zyl32f *xx, Zyl32f *yy, Zyl32f *xy,
                                                          int step, int width, int height);
                         template <corner_eigen::Output O>
                         void eigen(const Zyl32f *sxx, const Zyl32f *sxy, const Zyl32f *syy,
                                    int srcStep, Zyl32f *dst, int dstStep, int width, int height,
                                    Zyl32f scale);)

// A twin's entries over its row operations Rows (expanded inside the twin's namespace).
#define ZYLCV_CORNER_EIGEN_ENTRIES                                                                 \
    template <class G>                                                                             \
    void products(Zyl32f *xx, Zyl32f *yy, Zyl32f *xy, int step, int width, int height)             \
    {                                                                                              \
        corner_eigen::products<Rows, G>(xx, yy, xy, step, width, height);                          \
    }                                                                                              \
    template <corner_eigen::Output O>                                                              \
    void eigen(const Zyl32f *sxx, const Zyl32f *sxy, const Zyl32f *syy, int srcStep, Zyl32f *dst,  \
               int dstStep, int width, int height, Zyl32f scale)                                   \
    {                                                                                              \
        Rows::eigen<O>(sxx, sxy, syy, srcStep, dst, dstStep, width, height, scale);                \
    }                                                                                              \
    template void products<Zyl16s>(Zyl32f *, Zyl32f *, Zyl32f *, int, int, int);                   \
    template void products<Zyl32f>(Zyl32f *, Zyl32f *, Zyl32f *, int, int, int);                   \
    template void eigen<corner_eigen::Output::ValsVecs>(                                           \
        const Zyl32f *, const Zyl32f *, const Zyl32f *, int, Zyl32f *, int, int, int, Zyl32f);     \
    template void eigen<corner_eigen::Output::MinVal>(                                             \
        const Zyl32f *, const Zyl32f *, const Zyl32f *, int, Zyl32f *, int, int, int, Zyl32f);

}  // namespace zylcv

#endif
