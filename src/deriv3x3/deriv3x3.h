// Fixed 3x3 derivative kernels: the seven kinds, the per-pixel helpers shared by both twins
// (border columns and row ends), and the twins' entries.
#ifndef ZYLCV_KERNELS_DERIV_H
#define ZYLCV_KERNELS_DERIV_H

#include "core/internal.h"

namespace zylcv {

enum class DerivKind { SobelDx, SobelDy, SobelD2x, SobelD2y, SobelDxDy, ScharrDx, ScharrDy };

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

constexpr DerivDesc describe(DerivKind k)
{
    switch (k) {
    case DerivKind::SobelDx: return {Term::Diff, Term::Smooth, 1, 2, false, false};
    case DerivKind::SobelDy: return {Term::Smooth, Term::Diff, 1, 2, true, false};
    case DerivKind::SobelD2x: return {Term::Second, Term::Smooth, 1, 2, false, false};
    case DerivKind::SobelD2y: return {Term::Smooth, Term::Second, 1, 2, false, false};
    case DerivKind::SobelDxDy: return {Term::Diff, Term::Diff, 1, 2, true, false};
    case DerivKind::ScharrDx: return {Term::Diff, Term::Smooth, 3, 10, false, true};
    case DerivKind::ScharrDy: return {Term::Smooth, Term::Diff, 3, 10, true, true};
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
template <DerivKind K, class S>
inline Zyl16s deriv_px(const DerivRows<S> &r, int xl, int x, int xr, int shift)
{
    constexpr DerivDesc d = describe(K);
    auto h = [&](const S *p) { return combine<d.h, d.edge, d.centre>(p[xl], p[x], p[xr]); };
    int v = combine<d.v, d.edge, d.centre>(h(r.up), h(r.mid), h(r.dn));
    if constexpr (d.shifted) v >>= shift;
    return static_cast<Zyl16s>(v);
}

// Columns x0..x1-1 of one output row of width w, pixel by pixel.
template <DerivKind K, class S>
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
inline DerivWeights deriv_weights(DerivKind k, int bottomUp, int shift)
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
inline bool deriv_swap32f(DerivKind k, int bottomUp)
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

inline RowPos row_pos(int y, int h) { return y == 0 ? RowPos::Top : y == h - 1 ? RowPos::Bottom : RowPos::Inner; }

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
template <DerivKind K>
inline Zyl32f deriv_px32f(const DerivRows<Zyl32f> &r, int x, int w, RowPos pos, const DerivWeights &k)
{
    constexpr DerivDesc d = describe(K);
    if constexpr (d.v == Term::Diff) {
        return deriv_term32f<d.h>(r.dn, x, w, k) - deriv_term32f<d.h>(r.up, x, w, k);
    } else {
        static_assert(d.v == Term::Smooth);
        if (pos == RowPos::Top)
            return deriv_add(k.g * deriv_term32f<d.h>(r.mid, x, w, k), k.e * deriv_term32f<d.h>(r.dn, x, w, k));
        if (pos == RowPos::Bottom)
            return deriv_add(k.e * deriv_term32f<d.h>(r.up, x, w, k), k.g * deriv_term32f<d.h>(r.mid, x, w, k));
        return deriv_add(deriv_add(k.e * deriv_term32f<d.h>(r.up, x, w, k), k.f * deriv_term32f<d.h>(r.mid, x, w, k)),
                         k.e * deriv_term32f<d.h>(r.dn, x, w, k));
    }
}

// Columns x0..x1-1 of one output row of width w, pixel by pixel.
template <DerivKind K>
inline void deriv_span32f(const DerivRows<Zyl32f> &r, Zyl32f *out, int x0, int x1, int w,
                          RowPos pos, const DerivWeights &k)
{
    for (int x = x0; x < x1; ++x) out[x] = deriv_px32f<K>(r, x, w, pos, k);
}

// ---- the twins' entries ---------------------------------------------------------------------
// `kind` is one of the seven (8-bit sources) or SobelDx, SobelDy, ScharrDx, ScharrDy (32f);
// bottomUp is 0 or 1, shift >= 0 (read by the Scharr kinds only); width >= 1, height >= 2.

#define ZYLCV_DERIV_KERNELS                                                                       \
    void deriv(DerivKind kind, const Zyl8u *src, int srcStep, Zyl16s *dst, int dstStep,          \
               int width, int height, int bottomUp, int shift);                                  \
    void deriv(DerivKind kind, const Zyl8s *src, int srcStep, Zyl16s *dst, int dstStep,          \
               int width, int height, int bottomUp, int shift);                                  \
    void deriv(DerivKind kind, const Zyl32f *src, int srcStep, Zyl32f *dst, int dstStep,         \
               int width, int height, int bottomUp, int shift);

namespace portable { ZYLCV_DERIV_KERNELS }
#if ZYLCV_SIMD
namespace sse2 { ZYLCV_DERIV_KERNELS }
#endif
#undef ZYLCV_DERIV_KERNELS

}  // namespace zylcv

#endif
