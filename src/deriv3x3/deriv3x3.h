// Fixed 3x3 derivative kernels: the seven kinds, the per-pixel helpers shared by both twins
// (border columns and row ends), the entry that resolves a call's bottom-up exchange and Scharr
// shift before the twin's rows run, and the twins' entries.
#ifndef ZYLCV_DERIV3X3_DERIV3X3_H
#define ZYLCV_DERIV3X3_DERIV3X3_H

#include "core/internal.h"

namespace zylcv::deriv3x3 {

enum class Kind { SobelDx, SobelDy, SobelD2x, SobelD2y, SobelDxDy, ScharrDx, ScharrDy };

// How three values a, b, c (left, centre, right pixels of a row, or the terms of rows y-1, y,
// y+1) combine: Diff c - a; Second a - 2b + c; Smooth edge*a + centre*b + edge*c.
enum class Term { Diff, Second, Smooth };

// A kind is separable: a horizontal term of each source row, then a vertical combination of
// the terms of rows y-1, y, y+1.
struct DerivDesc {
    Term h, v;
    int edge, centre;  // smoothing weights: 1 2 1 (Sobel) or 3 10 3 (Scharr)
    bool odd;          // odd vertical order: a bottom-up image negates it
    bool shifted;      // Scharr: the result is divided by 2^shift
};

constexpr DerivDesc describe(Kind k)
{
    switch (k) {
    case Kind::SobelDx:
        return {Term::Diff, Term::Smooth, 1, 2, false, false};
    case Kind::SobelDy:
        return {Term::Smooth, Term::Diff, 1, 2, true, false};
    case Kind::SobelD2x:
        return {Term::Second, Term::Smooth, 1, 2, false, false};
    case Kind::SobelD2y:
        return {Term::Smooth, Term::Second, 1, 2, false, false};
    case Kind::SobelDxDy:
        return {Term::Diff, Term::Diff, 1, 2, true, false};
    case Kind::ScharrDx:
        return {Term::Diff, Term::Smooth, 3, 10, false, true};
    case Kind::ScharrDy:
        return {Term::Smooth, Term::Diff, 3, 10, true, true};
    }
    return {};
}

// ---- 8-bit sources, 16s results --------------------------------------------------------------

template <Term T, int Edge, int Centre> constexpr int combine(int a, int b, int c)
{
    if constexpr (T == Term::Diff) return c - a;
    else if constexpr (T == Term::Second) return a - 2 * b + c;
    else return Edge * a + Centre * b + Edge * c;
}

// Results stay below 2^12 in magnitude, so any shift from 15 on acts like 15 (0 or -1).
inline int deriv_shift(int shift) { return shift < 15 ? shift : 15; }

// The three source rows that stand for rows y-1, y, y+1 of output row y: replicated at the top
// and bottom, and exchanged for odd kinds of a bottom-up image (which negates them exactly).
template <class S> struct DerivRows {
    const S *up, *mid, *dn;
};
template <class S>
inline DerivRows<S> deriv_rows(const S *src, int srcStep, int y, int h, bool swap)
{
    const S *up = advance(src, std::ptrdiff_t(y > 0 ? y - 1 : 0) * srcStep);
    const S *mid = advance(src, std::ptrdiff_t(y) * srcStep);
    const S *dn = advance(src, std::ptrdiff_t(y + 1 < h ? y + 1 : h - 1) * srcStep);
    if (swap) return {dn, mid, up};
    return {up, mid, dn};
}

// One exact result at column x, with xl and xr the (replicated) left and right columns. The
// Scharr sum is shifted arithmetically, i.e. rounded towards minus infinity.
template <Kind K, class S>
inline Zyl16s deriv_px(const DerivRows<S> &r, int xl, int x, int xr, int shift)
{
    constexpr DerivDesc d = describe(K);
    auto h = [&](const S *p) { return combine<d.h, d.edge, d.centre>(p[xl], p[x], p[xr]); };
    int v = combine<d.v, d.edge, d.centre>(h(r.up), h(r.mid), h(r.dn));
    if constexpr (d.shifted) v >>= shift;
    return static_cast<Zyl16s>(v);
}

// Columns x0..x1-1 of one output row of width w, pixel by pixel.
template <Kind K, class S>
inline void deriv_span(const DerivRows<S> &r, Zyl16s *out, int x0, int x1, int w, int shift)
{
    for (int x = x0; x < x1; ++x)
        out[x] = deriv_px<K>(r, x > 0 ? x - 1 : 0, x, x + 1 < w ? x + 1 : w - 1, shift);
}

// ---- 32f ----------------------------------------------------------------------------------------
//
// Single precision in this order: the per-row term first, then the vertical combination, sums
// taken left to right (upper row before lower, left pixel before right):
//   Diff term      t = P(x+1) - P(x-1)                 (columns replicated)
//   Smooth term    t = (e*P(x-1) + f*P(x)) + e*P(x+1)   inside the row,
//                  t = g*P(0) + e*P(1)                  in column 0 (P(1) is P(0) if w = 1),
//                  t = e*P(w-2) + g*P(w-1)              in column w-1,
//   Smooth rows    D = (e*t(y-1) + f*t(y)) + e*t(y+1), D = g*t(0) + e*t(1) in row 0,
//                  D = e*t(h-2) + g*t(h-1) in row h-1,
//   Diff rows      D = t(y+1) - t(y-1)                   (rows replicated),
// with the weights e, f and the merged border weight g = e + f: 1, 2, 3 for Sobel and 3s, 10s,
// 13s for Scharr (s = 1/2^shift). For d/dy of a bottom-up image the Scharr weights are negated
// (-s), and Sobel takes D = t(y-1) - t(y+1), so that its blocks need no multiplication (a
// weight of 1 or 2 gives the same bits as the sums without it).

struct DerivWeights {
    float e, f, g;
};

// s = 1/2^shift with 2^shift formed by doubling 1.0 in single precision: infinite (s = 0) from
// shift 128 on. The weights are exact multiples of a power of two.
inline DerivWeights deriv_weights(Kind k, int bottomUp, int shift)
{
    const DerivDesc d = describe(k);
    float s = 1.0f;
    if (d.shifted) {
        float p = 1.0f;
        for (int i = 0; i < shift && i < 128; ++i) p = p + p;
        s = 1.0f / p;
    }
    if (d.odd && d.shifted && bottomUp) s = -s;
    return {float(d.edge) * s, float(d.centre) * s, float(d.edge + d.centre) * s};
}

// Whether rows y-1 and y+1 trade places: Sobel d/dy of a bottom-up image.
inline bool deriv_swap32f(Kind k, int bottomUp)
{
    const DerivDesc d = describe(k);
    return d.odd && !d.shifted && bottomUp;
}

// Scalar float sum with the operand order fixed: when both operands are NaN the first one's NaN
// (quieted) is the result, whatever order the compiler gives the add instruction. Products need
// no such care: a weight is never NaN.
inline float deriv_add(float a, float b)
{
    if (a != a) return from_bits(bits(a) | 0x00400000u);
    if (b != b) return from_bits(bits(b) | 0x00400000u);
    return a + b;
}

enum class RowPos { Top, Inner, Bottom };

inline RowPos row_pos(int y, int h)
{
    return y == 0 ? RowPos::Top : y == h - 1 ? RowPos::Bottom : RowPos::Inner;
}

// The horizontal term of row p at column x (any column).
template <Term T> inline float deriv_term32f(const Zyl32f *p, int x, int w, const DerivWeights &k)
{
    const int xl = x > 0 ? x - 1 : 0, xr = x + 1 < w ? x + 1 : w - 1;
    if constexpr (T == Term::Diff) {
        return p[xr] - p[xl];
    } else {
        static_assert(T == Term::Smooth);
        if (x == 0) return deriv_add(k.g * p[0], k.e * p[xr]);
        if (x == w - 1) return deriv_add(k.e * p[xl], k.g * p[x]);
        return deriv_add(deriv_add(k.e * p[xl], k.f * p[x]), k.e * p[xr]);
    }
}

// One result at column x of a row at position `pos`.
template <Kind K>
inline Zyl32f deriv_px32f(const DerivRows<Zyl32f> &r, int x, int w, RowPos pos,
                          const DerivWeights &k)
{
    constexpr DerivDesc d = describe(K);
    if constexpr (d.v == Term::Diff) {
        return deriv_term32f<d.h>(r.dn, x, w, k) - deriv_term32f<d.h>(r.up, x, w, k);
    } else {
        static_assert(d.v == Term::Smooth);
        if (pos == RowPos::Top)
            return deriv_add(k.g * deriv_term32f<d.h>(r.mid, x, w, k),
                             k.e * deriv_term32f<d.h>(r.dn, x, w, k));
        if (pos == RowPos::Bottom)
            return deriv_add(k.e * deriv_term32f<d.h>(r.up, x, w, k),
                             k.g * deriv_term32f<d.h>(r.mid, x, w, k));
        return deriv_add(deriv_add(k.e * deriv_term32f<d.h>(r.up, x, w, k),
                                   k.f * deriv_term32f<d.h>(r.mid, x, w, k)),
                         k.e * deriv_term32f<d.h>(r.dn, x, w, k));
    }
}

// Columns x0..x1-1 of one output row of width w, pixel by pixel.
template <Kind K>
inline void deriv_span32f(const DerivRows<Zyl32f> &r, Zyl32f *out, int x0, int x1, int w,
                          RowPos pos, const DerivWeights &k)
{
    for (int x = x0; x < x1; ++x) out[x] = deriv_px32f<K>(r, x, w, pos, k);
}

// ---- the twins' entries ---------------------------------------------------------------------

// A call over a twin's row operations R, which provide
//   R::rows<K, Swap>(src, srcStep, dst, dstStep, w, h, shift)      8-bit sources, shift <= 15
//   R::rows32f<K, Swap>(src, srcStep, dst, dstStep, w, h, weights)  32f
// with Swap: rows y-1 and y+1 exchanged (odd kinds of a bottom-up image; for 32f only Sobel's).
template <class R, Kind K, class S, class D>
void run(const S *src, int srcStep, D *dst, int dstStep, int w, int h, int bottomUp, int shift)
{
    if constexpr (std::is_same_v<S, Zyl32f>) {
        const DerivWeights k = deriv_weights(K, bottomUp, shift);
        if constexpr (describe(K).odd && !describe(K).shifted) {
            if (deriv_swap32f(K, bottomUp))
                return R::template rows32f<K, true>(src, srcStep, dst, dstStep, w, h, k);
        }
        R::template rows32f<K, false>(src, srcStep, dst, dstStep, w, h, k);
    } else {
        shift = deriv_shift(shift);
        if constexpr (describe(K).odd) {
            if (bottomUp) return R::template rows<K, true>(src, srcStep, dst, dstStep, w, h, shift);
        }
        R::template rows<K, false>(src, srcStep, dst, dstStep, w, h, shift);
    }
}

}  // namespace zylcv::deriv3x3

namespace zylcv {

// deriv<K> writes derivative K of a whole image: 8-bit sources with 16s results for every kind,
// 32f for SobelDx, SobelDy, ScharrDx and ScharrDy. bottomUp is 0 or 1, shift >= 0 (read by the
// Scharr kinds only); width >= 1, height >= 2.
ZYLCV_DECLARE_TWINS(template <deriv3x3::Kind K, class S, class D>
                    void deriv(const S *src, int srcStep, D *dst, int dstStep, int width,
                               int height, int bottomUp, int shift);)

#define ZYLCV_DERIV3X3_INSTANCE(K, S, D)                                                           \
    template void deriv<deriv3x3::Kind::K>(const S *, int, D *, int, int, int, int, int);
#define ZYLCV_DERIV3X3_INSTANCES_8BIT(K)                                                           \
    ZYLCV_DERIV3X3_INSTANCE(K, Zyl8u, Zyl16s) ZYLCV_DERIV3X3_INSTANCE(K, Zyl8s, Zyl16s)

// A twin's entries over its row operations Rows (expanded inside the twin's namespace).
#define ZYLCV_DERIV3X3_ENTRIES                                                                     \
    template <deriv3x3::Kind K, class S, class D>                                                  \
    void deriv(const S *src, int srcStep, D *dst, int dstStep, int width, int height,              \
               int bottomUp, int shift)                                                            \
    {                                                                                              \
        deriv3x3::run<Rows, K>(src, srcStep, dst, dstStep, width, height, bottomUp, shift);        \
    }                                                                                              \
    ZYLCV_DERIV3X3_INSTANCES_8BIT(SobelDx)                                                         \
    ZYLCV_DERIV3X3_INSTANCES_8BIT(SobelDy)                                                         \
    ZYLCV_DERIV3X3_INSTANCES_8BIT(SobelD2x)                                                        \
    ZYLCV_DERIV3X3_INSTANCES_8BIT(SobelD2y)                                                        \
    ZYLCV_DERIV3X3_INSTANCES_8BIT(SobelDxDy)                                                       \
    ZYLCV_DERIV3X3_INSTANCES_8BIT(ScharrDx)                                                        \
    ZYLCV_DERIV3X3_INSTANCES_8BIT(ScharrDy)                                                        \
    ZYLCV_DERIV3X3_INSTANCE(SobelDx, Zyl32f, Zyl32f)                                               \
    ZYLCV_DERIV3X3_INSTANCE(SobelDy, Zyl32f, Zyl32f)                                               \
    ZYLCV_DERIV3X3_INSTANCE(ScharrDx, Zyl32f, Zyl32f)                                              \
    ZYLCV_DERIV3X3_INSTANCE(ScharrDy, Zyl32f, Zyl32f)

}  // namespace zylcv

#endif
