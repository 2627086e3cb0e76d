// Fixed 3x3 derivative kernels: the seven kinds, the per-pixel helpers shared by the twins
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

// ---- walking the image: the packed twins' driver ----------------------------------------
//
// Every output row comes straight from the horizontal terms of its three source rows, so the
// destination is written once and nothing is buffered. The rows between the first and the last
// go in bands of kBand rows: per block column the terms walk down the band in registers, so each
// row term is formed about once. A large destination whose rows are 64-byte aligned is streamed
// around the cache in whole cache lines from its first 64-byte boundary, and the source rows are
// prefetched eight cache lines ahead, since a band reads a dozen rows at once.
//
// A packed twin supplies lanes L for the first, inner and last rows:
//   L::N        pixels per block; Src, Dst, V (a block of results), R (what a row contributes)
//   row(p)      what the row contributes from the horizontal terms of the N columns from p
//               (p[-1] and p[N] lie inside the row); out(a, b, c): N results from the
//               contributions of rows y-1, y, y+1
//   store(p, v), stream(p, v): N results; fence(): orders streamed stores at the end

// Output rows per band: enough to form most row terms once, few enough that the band's rows
// stay in the first-level cache; a multiple of three (see walk).
constexpr int kBand = 9;

// Destinations at least this large (bytes) are streamed when their rows are 64-byte aligned.
constexpr std::int64_t kStreamBytes = 2 << 20;

// The columns of every row: [0, s0) pixel by pixel; [s0, x0) in single blocks; [x0, x1) in
// steps of several blocks; [x1, xe) in single blocks; [xe, w) pixel by pixel. The last single
// block of a range ends at the range's end, overlapping its neighbour rather than leaving
// pixels to the scalar helper (both write the same bits), so a range is empty or starts at
// least one block after column 0.
struct Columns {
    int s0, x0, x1, xe;
};

// Per step: B blocks of n output rows, from the rows `up` and `mid` and the rows after `mid`
// at nextStep bytes (0 for a last row, which is its own lower neighbour). The contributions of
// three rows stay in registers and take turns, three rows per turn, so none is moved.
template <bool Stream, int B, class L>
void walk(const L &l, const typename L::Src *up, const typename L::Src *mid, int nextStep,
          typename L::Dst *out, int dstStep, int n, int from, int to)
{
    using R = typename L::R;
    for (int x = from; x < to; x += B * L::N) {
        const typename L::Src *p = mid + x;
        typename L::Dst *o = out + x;
        R r0[B], r1[B], r2[B] = {};
#pragma GCC unroll 4
        for (int b = 0; b < B; ++b) {
            r0[b] = l.row(up + x + b * L::N);
            r1[b] = l.row(p + b * L::N);
        }
        // Reads the next row into c and writes the results of rows a, b, c.
        auto next = [&](R * ra, R * rb, R * rc) __attribute__((always_inline))
        {
            p = advance(p, nextStep);
            if constexpr (Stream) __builtin_prefetch(reinterpret_cast<const char *>(p) + 512, 0, 3);
#pragma GCC unroll 4
            for (int b = 0; b < B; ++b) {
                rc[b] = l.row(p + b * L::N);
                const typename L::V v = l.out(ra[b], rb[b], rc[b]);
                if constexpr (Stream) L::stream(o + b * L::N, v);
                else L::store(o + b * L::N, v);
            }
            o = advance(o, dstStep);
        };
        int j = 0;
        for (; j + 3 <= n; j += 3) {
            next(r0, r1, r2);
            next(r1, r2, r0);
            next(r2, r0, r1);
        }
        if (j < n) next(r0, r1, r2);
        if (j + 1 < n) next(r1, r2, r0);
    }
}

// All block columns of n output rows (see walk).
template <bool Stream, class L>
void walk_columns(const L &l, const typename L::Src *up, const typename L::Src *mid, int nextStep,
                  typename L::Dst *out, int dstStep, int n, const Columns &c)
{
    auto singles = [&](int from, int to) {
        const int whole = from + (to - from) / L::N * L::N;
        walk<false, 1>(l, up, mid, nextStep, out, dstStep, n, from, whole);
        if (whole < to) walk<false, 1>(l, up, mid, nextStep, out, dstStep, n, to - L::N, to);
    };
    singles(c.s0, c.x0);
    walk<Stream, Stream ? 4 : 2>(l, up, mid, nextStep, out, dstStep, n, c.x0, c.x1);
    singles(c.x1, c.xe);
}

// The first and last rows with their own lanes, the rows between in bands; then the columns
// that no block covers through `scalar(y, out, from, to)`.
template <bool Stream, class LTop, class LInner, class LBottom, class Scalar>
void rows_of(const LTop &top, const LInner &inner, const LBottom &bottom, const Scalar &scalar,
             const typename LInner::Src *src, int srcStep, typename LInner::Dst *dst, int dstStep,
             int w, int h, const Columns &c)
{
    auto srow = [&](int y) { return advance(src, std::ptrdiff_t(y) * srcStep); };
    for (int y0 = 0; y0 < h;) {
        auto *out = advance(dst, std::ptrdiff_t(y0) * dstStep);
        int n = 1;
        if (y0 == 0) {
            walk_columns<Stream>(top, srow(0), srow(0), srcStep, out, dstStep, 1, c);
        } else if (y0 == h - 1) {
            walk_columns<Stream>(bottom, srow(y0 - 1), srow(y0), 0, out, dstStep, 1, c);
        } else {
            n = h - 1 - y0 < kBand ? h - 1 - y0 : kBand;
            walk_columns<Stream>(inner, srow(y0 - 1), srow(y0), srcStep, out, dstStep, n, c);
        }
        for (int y = y0; y < y0 + n; ++y) {
            auto *o = advance(dst, std::ptrdiff_t(y) * dstStep);
            scalar(y, o, 0, c.s0);
            scalar(y, o, c.xe, w);
        }
        y0 += n;
    }
    if constexpr (Stream) LInner::fence();
}

// Chooses the columns: streamed whole cache lines for a large destination whose rows start at
// the same offset in a cache line, ordinary stores otherwise.
template <class LTop, class LInner, class LBottom, class Scalar>
void drive(const LTop &top, const LInner &inner, const LBottom &bottom, const Scalar &scalar,
           const typename LInner::Src *src, int srcStep, typename LInner::Dst *dst, int dstStep,
           int w, int h)
{
    constexpr int N = LInner::N, E = int(sizeof(typename LInner::Dst));
    const std::uintptr_t a = reinterpret_cast<std::uintptr_t>(dst);
    if (std::int64_t(dstStep) * h >= kStreamBytes && dstStep % 64 == 0 && a % E == 0) {
        const int x0 = 1 + int((64 - (a + E) % 64) % 64) / E;  // first column on a line
        if (x0 + 4 * N <= w - 1) {
            const int x1 = x0 + (w - 1 - x0) / (4 * N) * (4 * N);
            rows_of<true>(top, inner, bottom, scalar, src, srcStep, dst, dstStep, w, h,
                          Columns{x0 - 1 >= N ? 1 : x0, x0, x1, w - 1});
            return;
        }
    }
    if (w - 2 < N) {  // no block fits between the border columns
        rows_of<false>(top, inner, bottom, scalar, src, srcStep, dst, dstStep, w, h,
                       Columns{1, 1, 1, 1});
        return;
    }
    const int x1 = 1 + (w - 2) / (2 * N) * (2 * N);
    rows_of<false>(top, inner, bottom, scalar, src, srcStep, dst, dstStep, w, h,
                   Columns{1, 1, x1, w - 1});
}

// ---- the packed twins' lanes and rows ---------------------------------------------------------
//
// Both packed twins do the same lane work and differ only in their registers. A twin supplies a
// register set O:
//   O::I (16-bit lanes, kInt of them), O::F (float lanes, kFloat of them), O::Count (a shift)
//   widen(p)                 kInt 8-bit pixels from p in 16-bit lanes (zero- or sign-extended)
//   add16, sub16, mul16, set16, sra16(v, count)                          on 16-bit lanes
//   add, sub, mul, set, load (unaligned), add_ordered (pinned NaN order) on float lanes
//   count(shift), store(p, v), stream(p, v), fence()

// Small step helpers that must melt into the walk's loops.
#define ZYLCV_DERIV3X3_INLINE inline __attribute__((always_inline))

// `combine` on 16-bit lanes; every value fits 16 bits (at most 4080 in magnitude).
template <class O, Term T, int E, int C>
ZYLCV_DERIV3X3_INLINE typename O::I combine_lanes(typename O::I a, typename O::I b, typename O::I c)
{
    if constexpr (T == Term::Diff) {
        return O::sub16(c, a);
    } else if constexpr (T == Term::Second) {
        return O::sub16(O::add16(a, c), O::add16(b, b));
    } else if constexpr (E == 1 && C == 2) {
        return O::add16(O::add16(a, c), O::add16(b, b));
    } else {
        typename O::I outer = O::mul16(O::add16(a, c), O::set16(E));
        return O::add16(outer, O::mul16(b, O::set16(C)));
    }
}

// 8-bit sources: kInt pixels in 16-bit lanes, exact. Swap exchanges rows y-1 and y+1, which
// negates the odd kinds of a bottom-up image; Scharr sums are then shifted arithmetically.
template <class O, Kind K, bool Swap, class S> struct IntLanes {
    using Src = S;
    using Dst = Zyl16s;
    using V = typename O::I;
    using R = V;
    static constexpr int N = O::kInt;
    static constexpr DerivDesc d = describe(K);
    typename O::Count count;

    ZYLCV_DERIV3X3_INLINE R row(const S *p) const
    {
        return combine_lanes<O, d.h, d.edge, d.centre>(O::widen(p - 1), O::widen(p),
                                                       O::widen(p + 1));
    }
    ZYLCV_DERIV3X3_INLINE V out(V a, V b, V c) const
    {
        V v = Swap ? combine_lanes<O, d.v, d.edge, d.centre>(c, b, a)
                   : combine_lanes<O, d.v, d.edge, d.centre>(a, b, c);
        if constexpr (d.shifted) v = O::sra16(v, count);
        return v;
    }
    static void store(Zyl16s *p, V v) { O::store(p, v); }
    static void stream(Zyl16s *p, V v) { O::stream(p, v); }
    static void fence() { O::fence(); }
};

// 32f: kFloat lanes in the order of deriv_term32f and deriv_px32f, for a row at position P
// (merged weights in the first and last rows of the d/dx kinds). Sobel's weights 1 and 2 become
// plain sums (same bits); Swap exchanges rows y-1 and y+1 (Sobel d/dy of a bottom-up image).
// Inside the image a Scharr d/dx row contributes its two weighted terms, each formed once.
template <class O, Kind K, RowPos P, bool Swap> struct FloatLanes {
    using Src = Zyl32f;
    using Dst = Zyl32f;
    using V = typename O::F;
    static constexpr int N = O::kFloat;
    static constexpr DerivDesc d = describe(K);
    static constexpr bool scharr = d.shifted;
    static constexpr bool weighted = scharr && d.v == Term::Smooth && P == RowPos::Inner;
    // What a row contributes: its term, or inside the image for Scharr d/dx the term times e
    // and times f.
    struct Weighted {
        V et, ft;
    };
    template <bool W, int = 0> struct Row {
        using type = V;
    };
    template <int U> struct Row<true, U> {
        using type = Weighted;
    };
    using R = typename Row<weighted>::type;
    V e, f, g;

    ZYLCV_DERIV3X3_INLINE R row(const Zyl32f *p) const
    {
        const V t = term(p);
        if constexpr (weighted) return {O::mul(e, t), O::mul(f, t)};
        else return t;
    }
    ZYLCV_DERIV3X3_INLINE V out(const R &a, const R &b, const R &c) const
    {
        if constexpr (weighted) return O::add_ordered(O::add_ordered(a.et, b.ft), c.et);
        else return vert(a, b, c);
    }

    ZYLCV_DERIV3X3_INLINE V term(const Zyl32f *p) const
    {
        const V l = O::load(p - 1), r = O::load(p + 1);
        if constexpr (d.h == Term::Diff) return O::sub(r, l);
        const V c = O::load(p);
        if constexpr (scharr)
            return O::add_ordered(O::add_ordered(O::mul(e, l), O::mul(f, c)), O::mul(e, r));
        else return O::add_ordered(O::add_ordered(l, O::add(c, c)), r);
    }
    ZYLCV_DERIV3X3_INLINE V vert(V a, V b, V c) const
    {
        if constexpr (d.v == Term::Diff) {
            return Swap ? O::sub(a, c) : O::sub(c, a);
        } else if constexpr (P == RowPos::Top) {
            return O::add_ordered(O::mul(g, b), scharr ? O::mul(e, c) : c);
        } else if constexpr (P == RowPos::Bottom) {
            return O::add_ordered(scharr ? O::mul(e, a) : a, O::mul(g, b));
        } else {
            if constexpr (scharr)
                return O::add_ordered(O::add_ordered(O::mul(e, a), O::mul(f, b)), O::mul(e, c));
            else return O::add_ordered(O::add_ordered(a, O::add(b, b)), c);
        }
    }
    static void store(Zyl32f *p, V v) { O::store(p, v); }
    static void stream(Zyl32f *p, V v) { O::stream(p, v); }
    static void fence() { O::fence(); }
};

// A packed twin's row operations over its register set O: the kind's lanes for every row of an
// 8-bit source (replicated rows give the merged weights); lanes for the first, inner and last
// rows of a 32f source.
template <class O> struct PackedRows {
    template <Kind K, bool Swap, class S>
    static void rows(const S *src, int srcStep, Zyl16s *dst, int dstStep, int w, int h, int shift)
    {
        const IntLanes<O, K, Swap, S> l{O::count(shift)};
        auto scalar = [&](int y, Zyl16s *out, int x0, int x1) {
            deriv_span<K>(deriv_rows(src, srcStep, y, h, Swap), out, x0, x1, w, shift);
        };
        drive(l, l, l, scalar, src, srcStep, dst, dstStep, w, h);
    }

    template <Kind K, bool Swap>
    static void rows32f(const Zyl32f *src, int srcStep, Zyl32f *dst, int dstStep, int w, int h,
                        const DerivWeights &k)
    {
        const typename O::F e = O::set(k.e), f = O::set(k.f), g = O::set(k.g);
        auto scalar = [&](int y, Zyl32f *out, int x0, int x1) {
            deriv_span32f<K>(deriv_rows(src, srcStep, y, h, Swap), out, x0, x1, w, row_pos(y, h),
                             k);
        };
        drive(FloatLanes<O, K, RowPos::Top, Swap>{e, f, g},
              FloatLanes<O, K, RowPos::Inner, Swap>{e, f, g},
              FloatLanes<O, K, RowPos::Bottom, Swap>{e, f, g}, scalar, src, srcStep, dst, dstStep,
              w, h);
    }
};

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
ZYLCV_DECLARE_TWINS_AVX2(template <deriv3x3::Kind K, class S, class D>
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
