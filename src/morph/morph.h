// Erosion and dilation kernels: the per-element helpers both twins use for row tails, the ring
// policies of the three element kinds for the strip driver, and the twins' entries.
//
// A twin is a set of row operations (struct Rows in each twin's file); the policies below are
// templates over it, so both twins run the same strip logic and differ only in how a row is
// computed. Rows are handled as flat element arrays: with C interleaved channels, the neighbour
// of element e one pixel to the right is element e + C, so channels never mix.
#ifndef ZYLCV_MORPH_MORPH_H
#define ZYLCV_MORPH_MORPH_H

#include "morph_state.h"

namespace zylcv::morph {

// The fold of one more value b into the running value a: erosion keeps a if a < b else b,
// dilation keeps a if a > b else b. For floats this fixes which operand survives a NaN or a
// signed zero; for bytes and order keys it is the plain minimum or maximum.
template <bool Dilate, class T> inline T fold(T a, T b)
{
    if constexpr (Dilate) return a > b ? a : b;
    else return a < b ? a : b;
}

// Float bits and their order key map onto each other: the sign bit cleared, then every bit
// flipped when the sign was set. Keys order as the floats do, -0.0 below +0.0 and NaNs by bits.
inline Zyl32s order_key(std::uint32_t b)
{
    return static_cast<Zyl32s>((b & 0x7FFFFFFFu) ^ (0u - (b >> 31)));
}

inline bool is_nan_bits(std::uint32_t b) { return (b & 0x7FFFFFFFu) > 0x7F800000u; }

// Element e of a horizontal pass over a bordered row b (element 0 is the leftmost border
// element): the fold of b[e], b[e + C], ..., b[e + (mW - 1) * C], left to right.
template <bool Dilate, class T> inline T hpass_el(const T *b, int e, int C, int mW)
{
    T v = b[e];
    for (int k = 1; k < mW; ++k) v = fold<Dilate>(v, b[e + k * C]);
    return v;
}

// Element e of the vertical step: the fold over rows 0 .. mH - 1, oldest first.
template <bool Dilate, class T> inline T vpass_el(Zyl8u *const *rows, int e, int mH)
{
    T v = reinterpret_cast<const T *>(rows[0])[e];
    for (int i = 1; i < mH; ++i) v = fold<Dilate>(v, reinterpret_cast<const T *>(rows[i])[e]);
    return v;
}

// Element e of an 8u mask window. Ring rows start `left` elements after their bordered data;
// every cell's 8 mask bytes are equal, its first byte stands for it. Erosion ORs each value with
// the inverted cell and takes the minimum from 255; dilation ANDs with the cell and takes the
// maximum from 0, so non-members drop out.
template <bool Dilate>
inline Zyl8u mask_el(Zyl8u *const *rows, int e, int C, int mW, int mH, int left, const Zyl8u *mask,
                     const Zyl8u *maskInv)
{
    Zyl8u v = Dilate ? 0 : 255;
    for (int i = 0; i < mH; ++i) {
        const Zyl8u *r = rows[i] - left + e;
        for (int j = 0; j < mW; ++j) {
            const int cell = 8 * (i * mW + j);
            v = Dilate ? fold<true>(v, Zyl8u(r[j * C] & mask[cell]))
                       : fold<false>(v, Zyl8u(r[j * C] | maskInv[cell]));
        }
    }
    return v;
}

// Element e of a 32f mask window over order keys: member cells only, from the largest key
// (erosion) or the smallest (dilation); the result is mapped back to float bits.
template <bool Dilate>
inline Zyl32f mask_el(Zyl8u *const *rows, int e, int C, int mW, int mH, int left, const Zyl8u *mask)
{
    Zyl32s v = Dilate ? Zyl32s(0x80000000u) : 0x7FFFFFFF;
    for (int i = 0; i < mH; ++i) {
        const Zyl32s *r = reinterpret_cast<const Zyl32s *>(rows[i]) - left + e;
        for (int j = 0; j < mW; ++j)
            if (mask[i * mW + j]) v = fold<Dilate>(v, r[j * C]);
    }
    return from_bits(static_cast<std::uint32_t>(order_key(static_cast<std::uint32_t>(v))));
}

// Replicated borders of a row of n elements at r[0..n): `left` elements before it repeat its
// first pixel, `right` elements after it its last pixel.
// Elements are moved as their bits, so that no NaN pattern changes on the way.
template <class T> inline void put_borders(T *row, int n, int C, int left, int right)
{
    using U = std::conditional_t<sizeof(T) == 4, std::uint32_t, Zyl8u>;
    auto r = reinterpret_cast<U *>(row);
    for (int c = 0; c < C; ++c) {
        for (int e = c - C; e >= -left; e -= C) r[e] = r[c];
        for (int e = n + c; e < n + right; e += C) r[e] = r[n - C + c];
    }
}

// The anchorX * C elements at the left end of a horizontal pass over an unbordered row r of n
// elements (n >= left + right) and the right ones at its right end. Replicated border pixels
// repeat the value the fold starts or ends with, which leaves the fold unchanged, so at the
// left end each window is the previous one extended by one pixel, and at the right end each
// window ends at the last pixel.
template <bool Dilate, class T>
inline void hpass_ends(const T *r, T *out, int n, int C, int left, int right)
{
    for (int c = 0; c < C && left > 0; ++c) {
        T v = r[c];
        for (int j = c + C; j <= c + right; j += C) v = fold<Dilate>(v, r[j]);
        out[c] = v;
        for (int i = c + C; i < left; i += C) out[i] = v = fold<Dilate>(v, r[i + right]);
    }
    for (int i = n - right; i < n; ++i) {
        T v = r[i - left];
        for (int j = i - left + C; j < n; j += C) v = fold<Dilate>(v, r[j]);
        out[i] = v;
    }
}

// The three ring policies of the strip driver (see run_strip). n = width * C elements per row;
// left = anchorX * C and right = (maskWidth - 1 - anchorX) * C border elements.
struct Geometry {
    int n, C, mW, mH, aX, aY, left, right;
};

inline Geometry geometry_of(const ZyliMorphState &st, int width)
{
    const int C = st.nChannels;
    return {width * C,  C,          st.maskWidth,   st.maskHeight,
            st.anchorX, st.anchorY, st.anchorX * C, (st.maskWidth - 1 - st.anchorX) * C};
}

// Rectangle: a source row enters the ring after its horizontal pass, read straight from the
// source (the source is never written); short rows go through a bordered copy in the last
// scratch row, wide windows build their doubled windows there. The vertical step folds the
// window's rows, two destination rows per pass where it can, tall windows in batches.
template <class R, class T, bool Dilate> struct RectOps {
    Geometry g;
    T *bordered;
    void enter(Zyl8u *entry, const T *s)
    {
        auto e = reinterpret_cast<T *>(entry);
        // Wide windows are built by doubling (see hpass_doubling), which regroups the folds:
        // always right for bytes, for floats only in rows without NaN (see pair_first), so wide
        // float rows are checked before the pass; the others are checked during it, which sets
        // the flag the vertical step reads.
        const bool wide = g.mW >= kDoublingFrom && g.mW > 1;
        const bool nan = wide && set_flag(e, s);
        hpass(e, s, wide && !nan);
    }
    static constexpr int kDoublingFrom = sizeof(T) == 4 ? 9 : 7;
    void hpass(T *e, const T *s, bool doubling)
    {
        if (g.mW == 1) {
            R::copy(e, s, g.n);
            set_flag(e, e);
            return;
        }
        // Direct path: the inside of the row straight from the source, the anchorX pixels at the
        // left end and the rest at the right end by hpass_ends; wide windows and short rows go
        // through the bordered scratch row.
        const int edge = g.left + g.right;
        if (g.n >= edge && !doubling) {
            bool nan = false;
            if constexpr (kFlag)
                nan = R::template hpass_nan<Dilate>(s, e + g.left, g.n - edge, g.C, g.mW);
            else R::template hpass<Dilate>(s, e + g.left, g.n - edge, g.C, g.mW);
            hpass_ends<Dilate>(s, e, g.n, g.C, g.left, g.right);
            if constexpr (kFlag) {
                for (int i = 0; i < g.left; ++i) nan |= e[i] != e[i];
                for (int i = g.n - g.right; i < g.n; ++i) nan |= e[i] != e[i];
                reinterpret_cast<Zyl32s *>(e)[g.n] = nan;
            }
            return;
        }
        if (doubling) {
            R::template hpass_doubling<Dilate>(s, bordered, e, g.n, g.C, g.mW, g.left, g.right);
            return;
        }
        R::copy(bordered + g.left, s, g.n);
        put_borders(bordered + g.left, g.n, g.C, g.left, g.right);
        R::template hpass<Dilate>(bordered, e, g.n, g.C, g.mW);
        set_flag(e, e);
    }
    void copy(Zyl8u *to, const Zyl8u *from)
    {
        R::copy(reinterpret_cast<T *>(to), reinterpret_cast<const T *>(from), g.n + kFlag);
    }
    void emit(Zyl8u *const *table, T *dst) { R::template vpass<Dilate>(table, dst, g.n, g.mH); }

    // Pairs: the fold of entries 1 .. mH - 1 goes to d1 and d0 = fold(entry 0, d1). Byte folds
    // may be regrouped freely. Float folds may too while no NaN takes part: without NaNs the
    // fold is the minimum (maximum) with the later of equal values (+0.0 and -0.0) surviving,
    // whatever the grouping. A NaN makes the fold forget everything before it, so windows whose
    // shared rows may hold one are folded in their own order.
    static constexpr bool kPairs = true;
    void pair_first(Zyl8u *const *table, T *d0, T *d1)
    {
        R::template vpass<Dilate>(table + 1, d1, g.n, g.mH - 1);
        if (kFlag && any_nan(table + 1, g.mH - 1)) {
            R::template vpass<Dilate>(table, d0, g.n, g.mH);
            return;
        }
        Zyl8u *const rows[2] = {table[0], reinterpret_cast<Zyl8u *>(d1)};
        R::template vpass<Dilate>(rows, d0, g.n, 2);
    }
    void pair_second(Zyl8u *const *table, T *d1)
    {
        Zyl8u *const rows[2] = {reinterpret_cast<Zyl8u *>(d1), table[g.mH - 1]};
        R::template vpass<Dilate>(rows, d1, g.n, 2);
    }

    // Batches regroup the folds the same way, so float rows must be free of NaN; a row with one
    // arriving during a batch sends the batch's remaining rows through the plain vertical step
    // (the ring always holds the whole window of the row being written).
    static constexpr bool kBatches = true;
    static constexpr int kBatchFrom = 9;
    bool batch_ready(Zyl8u *const *table) const
    {
        return g.mH <= 64 && !(kFlag && any_nan(table, g.mH));
    }
    void suffixes(Zyl8u *const *table, T *d, int dstStep)
    {
        R::template suffixes<Dilate>(table, d, dstStep, g.n, g.mH);
    }
    bool batch_step(Zyl8u *const *table, int t, T *d, int dstStep, bool regroup)
    {
        const int mH = g.mH;
        T *out = advance(d, std::ptrdiff_t(t) * dstStep);
        T *prefix = advance(d, std::ptrdiff_t(mH - 1) * dstStep);
        regroup = regroup && !(kFlag && any_nan(table + mH - 1, 1));
        if (!regroup) {
            emit(table, out);
            return false;
        }
        // The suffix of row t is the ring's oldest entry once t reaches maskHeight - 1; the
        // prefix is the newest entry at t = 1 and the fold with the previous prefix after.
        Zyl8u *suffix = t < mH - 1 ? reinterpret_cast<Zyl8u *>(out) : table[0];
        if (t == 1) {
            Zyl8u *const rows[2] = {suffix, table[mH - 1]};
            R::template vpass<Dilate>(rows, out, g.n, 2);
            return true;
        }
        Zyl8u *const grow[2] = {t == 2 ? table[mH - 2] : reinterpret_cast<Zyl8u *>(prefix),
                                table[mH - 1]};
        R::template vpass<Dilate>(grow, prefix, g.n, 2);
        Zyl8u *const rows[2] = {suffix, reinterpret_cast<Zyl8u *>(prefix)};
        R::template vpass<Dilate>(rows, out, g.n, 2);
        return true;
    }

    // Float ring entries carry one more word after their n elements: nonzero when the entry
    // may hold a NaN.
    static constexpr int kFlag = sizeof(T) == 4 ? 1 : 0;
    bool any_nan(Zyl8u *const *rows, int m) const
    {
        for (int i = 0; i < m; ++i)
            if (reinterpret_cast<const Zyl32s *>(rows[i])[g.n]) return true;
        return false;
    }
    bool set_flag(T *e, const T *s)
    {
        if constexpr (kFlag) return (reinterpret_cast<Zyl32s *>(e)[g.n] = R::has_nan(s, g.n));
        else return false;
    }
};

// A cross window through the scratch row: the bar (the horizontal pass of the bordered anchor
// row b) goes to bar, which stands in for the anchor row during the vertical step.
template <class R, bool Dilate, class T>
void bar_then_column(Zyl8u **table, const T *b, T *bar, T *dst, const Geometry &g)
{
    R::template hpass<Dilate>(b, bar, g.n, g.C, g.mW);
    Zyl8u *anchorRow = table[g.aY];
    table[g.aY] = reinterpret_cast<Zyl8u *>(bar);
    R::template vpass<Dilate>(table, dst, g.n, g.mH);
    table[g.aY] = anchorRow;
}

// Cross: raw rows enter the ring. For each destination row the anchor row gets its borders in
// place (ring rows have room on both sides) and its horizontal pass into the scratch row, which
// stands in for it during the vertical step: the column comes from the raw rows, the bar
// (anchor pixel included) from the scratch row.
template <class R, class T, bool Dilate> struct CrossOps {
    Geometry g;
    static constexpr bool kPairs = false;
    static constexpr bool kBatches = false;
    T *bar;
    void enter(Zyl8u *entry, const T *src) { R::copy(reinterpret_cast<T *>(entry), src, g.n); }
    void copy(Zyl8u *to, const Zyl8u *from) { enter(to, reinterpret_cast<const T *>(from)); }
    void emit(Zyl8u **table, T *dst)
    {
        auto a = reinterpret_cast<T *>(table[g.aY]);
        put_borders(a, g.n, g.C, g.left, g.right);
        // Twins with a one-pass cross form the bar block by block and fold it into the column in
        // its place, in the same order.
        if constexpr (requires { R::template cross<Dilate>(table, a, bar, dst, g); })
            R::template cross<Dilate>(table, a - g.left, bar, dst, g);
        else bar_then_column<R, Dilate>(table, a - g.left, bar, dst, g);
    }
};

// A mask element seen column by column: each column's member rows form a row set; columns
// with the same set share one fold of those rows, and a set that contains a smaller one
// starts from that fold. The window is then the fold over member columns of their set's fold
// shifted by the column. Min and max over bytes or order keys may be regrouped freely, so the
// result is the same as folding the member cells one by one. Sets are listed by size (a set's
// base comes before it); ok is false for elements beyond 64 rows or columns, or without
// members. A set of several rows that only one column uses and no other set extends is
// folded straight into that column (inline) rather than kept as a row of its own.
struct ColumnPlan {
    bool ok = false;
    int sets = 0, cols = 0;
    std::uint64_t rows[64];  // member rows of each set, as bits
    int base[64];            // the largest listed subset it extends, or -1
    bool inlined[64];
    int colX[64], colSet[64];
};

inline int popcount(std::uint64_t v)
{
    int n = 0;
    for (; v; v &= v - 1) ++n;
    return n;
}

inline ColumnPlan column_plan(const Geometry &g, const Zyl8u *mask, int cellBytes)
{
    ColumnPlan p;
    if (g.mW > 64 || g.mH > 64) return p;
    std::uint64_t found[64];
    int n = 0;
    for (int j = 0; j < g.mW; ++j) {
        std::uint64_t r = 0;
        for (int i = 0; i < g.mH; ++i)
            if (mask[(i * g.mW + j) * cellBytes]) r |= std::uint64_t{1} << i;
        if (!r) continue;
        int s = 0;
        while (s < n && found[s] != r) ++s;
        if (s == n) found[n++] = r;
        p.colX[p.cols] = j;
        p.colSet[p.cols++] = s;
    }
    if (n == 0) return p;
    // Smaller sets first; column references follow the new order.
    int order[64], where[64];
    for (int s = 0; s < n; ++s) order[s] = s;
    for (int a = 1; a < n; ++a)
        for (int b = a; b > 0 && popcount(found[order[b]]) < popcount(found[order[b - 1]]); --b) {
            const int t = order[b];
            order[b] = order[b - 1];
            order[b - 1] = t;
        }
    for (int s = 0; s < n; ++s) {
        where[order[s]] = s;
        p.rows[s] = found[order[s]];
        p.base[s] = -1;
        for (int b = 0; b < s; ++b)
            if ((p.rows[b] & ~p.rows[s]) == 0 &&
                (p.base[s] < 0 || popcount(p.rows[b]) > popcount(p.rows[p.base[s]])))
                p.base[s] = b;
    }
    for (int c = 0; c < p.cols; ++c) p.colSet[c] = where[p.colSet[c]];
    p.sets = n;
    int uses[64] = {}, sources = 0;
    for (int c = 0; c < p.cols; ++c) ++uses[p.colSet[c]];
    for (int s = 0; s < n; ++s) {
        p.inlined[s] = uses[s] == 1 && (p.base[s] >= 0 || popcount(p.rows[s]) > 1);
        for (int t = s + 1; t < n; ++t) p.inlined[s] = p.inlined[s] && p.base[t] != s;
        const std::uint64_t extra = p.base[s] >= 0 ? p.rows[s] & ~p.rows[p.base[s]] : p.rows[s];
        sources += p.inlined[s] ? (p.base[s] >= 0) + popcount(extra) : uses[s];
    }
    // The column fold takes at most 64 sources (one pass of the fold engine).
    if (sources > 64)
        for (int s = 0; s < n; ++s) p.inlined[s] = false;
    p.ok = true;
    return p;
}

// The row operations a SIMD twin builds on its fold engine Engine, which supplies
//   fold_sources<D, K, T, Finish>(src, m, out, n, first, nan)
//       out[e] = fold over k < m of src[k][e], k in order; `first` starts from src[0], otherwise
//       from the partial result already in out; K > 0 fixes m at compile time (and starts from
//       src[0]). Finish marks the final results: floats tell in *nan whether any result is a
//       NaN, order keys are stored as the float bits they stand for.
//   fold_shifted<D>(b, len, d)
//       b[i] = fold(b[i], b[i + d]) for i < len, in place from the left.
// The sources of one fold_sources call are at most kChunk row pointers kept in a local array,
// so stores to the destination cannot alias them.
template <class Engine> struct FoldRows {
    static constexpr int kChunk = 64;
    // One chunk of sources: counts up to 10 unrolled when it starts the fold.
    template <bool D, bool Finish, class T>
    static void fold_chunk(const T *const *p, int c, T *out, int n, bool first, bool *nan)
    {
        switch (first ? c : 0) {
        case 2:
            Engine::template fold_sources<D, 2, T, Finish>(p, c, out, n, true, nan);
            break;
        case 3:
            Engine::template fold_sources<D, 3, T, Finish>(p, c, out, n, true, nan);
            break;
        case 4:
            Engine::template fold_sources<D, 4, T, Finish>(p, c, out, n, true, nan);
            break;
        case 5:
            Engine::template fold_sources<D, 5, T, Finish>(p, c, out, n, true, nan);
            break;
        case 6:
            Engine::template fold_sources<D, 6, T, Finish>(p, c, out, n, true, nan);
            break;
        case 7:
            Engine::template fold_sources<D, 7, T, Finish>(p, c, out, n, true, nan);
            break;
        case 8:
            Engine::template fold_sources<D, 8, T, Finish>(p, c, out, n, true, nan);
            break;
        case 9:
            Engine::template fold_sources<D, 9, T, Finish>(p, c, out, n, true, nan);
            break;
        case 10:
            Engine::template fold_sources<D, 10, T, Finish>(p, c, out, n, true, nan);
            break;
        default:
            Engine::template fold_sources<D, 0, T, Finish>(p, c, out, n, first, nan);
        }
    }
    // Sources given by a function of k (a shifted row or a ring row), in chunks of kChunk; the
    // last chunk finishes the results.
    template <bool D, bool Finish = false, class T, class F>
    static void fold_all(F source, int m, T *out, int n, bool *nan = nullptr)
    {
        const T *p[kChunk];
        for (int k0 = 0; k0 < m; k0 += kChunk) {
            const int c = m - k0 < kChunk ? m - k0 : kChunk;
            for (int k = 0; k < c; ++k) p[k] = source(k0 + k);
            if (k0 + c == m) fold_chunk<D, Finish>(p, c, out, n, k0 == 0, nan);
            else fold_chunk<D, false>(p, c, out, n, k0 == 0, nan);
        }
    }

    // Horizontal pass: the fold of the mW copies of the bordered row shifted by k pixels.
    template <bool D, class T> static void hpass(const T *b, T *out, int n, int C, int mW)
    {
        fold_all<D>([b, C](int k) { return b + k * C; }, mW, out, n);
    }
    // The same for floats, telling whether any result is a NaN.
    template <bool D> static bool hpass_nan(const Zyl32f *b, Zyl32f *out, int n, int C, int mW)
    {
        bool nan = false;
        fold_all<D, true>([b, C](int k) { return b + k * C; }, mW, out, n, &nan);
        return nan;
    }

    // Horizontal pass for folds that may be regrouped, from the unbordered row s of n elements
    // with the scratch row b: windows of 2, 4, ..., p pixels are built in b, then
    // out = fold(window p at x, window p at x + mW - p), which overlap or touch. The first step
    // reads s (its inside by blocks, its two ends through the replicated border pixels), the
    // others work in place.
    template <bool D, class T>
    static void hpass_doubling(const T *s, T *b, T *out, int n, int C, int mW, int left, int right)
    {
        // Step 1: b[i] = fold(x[i], x[i + C]) for i < len, x = s with its borders. Near the
        // ends both values are the first or the last pixel, so b holds that pixel.
        int len = n + left + right - C;
        const T *inside[2] = {s, s + C};
        if (n > C)
            Engine::template fold_sources<D, 2, T, false>(inside, 2, b + left, n - C, true,
                                                          nullptr);
        for (int c = 0; c < C; ++c) {
            for (int i = c; i < left; i += C) b[i] = s[c];
            for (int i = left + n - C + c; i < len; i += C) b[i] = s[n - C + c];
        }
        int p = 2;
        for (; 2 * p <= mW; p *= 2) {
            len -= p * C;
            Engine::template fold_shifted<D>(b, len, p * C);
        }
        hpass<D>(b, out, n, (mW - p) * C, 2);
    }

    // Vertical step: the fold over the window's rows, oldest first.
    template <bool D, class T> static void vpass(Zyl8u *const *rows, T *out, int n, int mH)
    {
        fold_all<D>([rows](int k) { return reinterpret_cast<const T *>(rows[k]); }, mH, out, n);
    }

    // Mask windows by columns (see ColumnPlan): per tile of the row, each row set with more
    // than one row that is not inlined is folded into its part of a stack buffer (a set of one
    // row is read from the ring), then the member columns are folded from their sets' rows,
    // an inlined set contributing its base and its own rows. Elements E are bytes or order
    // keys; keys leave as float bits. Returns false where the buffer would cut the row into
    // tiles of fewer than 64 elements; window_cells below takes those elements.
    template <bool D, class E>
    static bool window_columns(Zyl8u *const *rows, E *out, const Geometry &g, const ColumnPlan &p)
    {
        constexpr int kBuf = 16384 / int(sizeof(E));
        const int border = (g.mW - 1) * g.C;
        auto extra_rows = [&](int s) {
            return p.base[s] >= 0 ? p.rows[s] & ~p.rows[p.base[s]] : p.rows[s];
        };
        int own = 0;
        for (int s = 0; s < p.sets; ++s)
            own += !p.inlined[s] && (p.base[s] >= 0 || popcount(p.rows[s]) > 1);
        const int per = own ? (kBuf / own) & ~7 : 0;
        int tile = own ? per - border : g.n;
        if (tile < g.n && tile < 64) return false;
        if (tile > g.n) tile = g.n;
        alignas(32) E buf[kBuf];
        const E *setRow[64];
        const E *src[65];
        int m = 0;
        // The sources of set s moved by dx elements: its base's row and its own ring rows.
        auto add_set = [&](int s, int x0, int dx) {
            if (p.base[s] >= 0) src[m++] = setRow[p.base[s]] + dx;
            const std::uint64_t extra = extra_rows(s);
            for (int i = 0; i < g.mH; ++i)
                if (extra >> i & 1)
                    src[m++] = reinterpret_cast<const E *>(rows[i]) - g.left + x0 + dx;
        };
        for (int x0 = 0; x0 < g.n; x0 += tile) {
            const int len = g.n - x0 < tile ? g.n - x0 : tile;
            int slot = 0;
            for (int s = 0; s < p.sets; ++s) {
                if (p.inlined[s]) continue;
                m = 0;
                add_set(s, x0, 0);
                if (m == 1) {
                    setRow[s] = src[0];
                    continue;
                }
                E *b = buf + slot++ * per;
                fold_all<D>([&](int k) { return src[k]; }, m, b, len + border);
                setRow[s] = b;
            }
            m = 0;
            for (int c = 0; c < p.cols; ++c) {
                const int s = p.colSet[c], dx = p.colX[c] * g.C;
                if (p.inlined[s]) add_set(s, x0, dx);
                else src[m++] = setRow[s] + dx;
            }
            fold_all<D, true>([&](int k) { return src[k]; }, m, out + x0, len);
        }
        return true;
    }

    // Mask windows cell by cell, for elements the column plan does not take: the fold over the
    // member cells (each a ring row moved to its column), which fold_all asks for in order; an
    // element without members gives the fold's neutral value.
    template <bool D, class E>
    static void window_cells(Zyl8u *const *rows, E *out, const Geometry &g, const Zyl8u *mask,
                             int cellBytes)
    {
        const int cells = g.mW * g.mH;
        int members = 0;
        for (int c = 0; c < cells; ++c) members += mask[c * cellBytes] != 0;
        if (members == 0) {
            const E neutral =
                sizeof(E) == 1 ? E(D ? 0 : 255) : E(order_key(D ? 0x80000000u : 0x7FFFFFFFu));
            for (int e = 0; e < g.n; ++e) out[e] = neutral;
            return;
        }
        int cell = 0;
        auto member = [&](int) {
            while (!mask[cell * cellBytes]) ++cell;
            const E *p =
                reinterpret_cast<const E *>(rows[cell / g.mW]) - g.left + (cell % g.mW) * g.C;
            ++cell;
            return p;
        };
        fold_all<D, true>(member, members, out, g.n);
    }

    // Bytes, and floats as order keys that leave as float bits.
    template <bool D>
    static void window(Zyl8u *const *rows, Zyl8u *out, const Geometry &g, const Zyl8u *mask,
                       const Zyl8u *, const ColumnPlan &plan)
    {
        if (!(plan.ok && window_columns<D>(rows, out, g, plan)))
            window_cells<D>(rows, out, g, mask, 8);
    }
    template <bool D>
    static void window(Zyl8u *const *rows, Zyl32f *out, const Geometry &g, const Zyl8u *mask,
                       const Zyl8u *, const ColumnPlan &plan)
    {
        auto keys = reinterpret_cast<Zyl32s *>(out);
        if (!(plan.ok && window_columns<D>(rows, keys, g, plan)))
            window_cells<D>(rows, keys, g, mask, 1);
    }
};

// The row operations element by element: the portable twin's rows.
struct ScalarRows {
    // Floats are moved as their bits, so that no NaN pattern changes on the way.
    template <class T> static void copy(T *d, const T *s, int n)
    {
        using U = std::conditional_t<sizeof(T) == 4, std::uint32_t, Zyl8u>;
        auto du = reinterpret_cast<U *>(d);
        auto su = reinterpret_cast<const U *>(s);
        for (int e = 0; e < n; ++e) du[e] = su[e];
    }
    static bool has_nan(const Zyl32f *s, int n)
    {
        bool any = false;
        for (int e = 0; e < n; ++e) any |= is_nan_bits(bits(s[e]));
        return any;
    }
    static void keys(Zyl32s *d, const Zyl32f *s, int n)
    {
        for (int e = 0; e < n; ++e) d[e] = order_key(bits(s[e]));
    }
    template <bool D, class T> static void hpass(const T *b, T *out, int n, int C, int mW)
    {
        for (int e = 0; e < n; ++e) out[e] = hpass_el<D>(b, e, C, mW);
    }
    template <bool D> static bool hpass_nan(const Zyl32f *b, Zyl32f *out, int n, int C, int mW)
    {
        hpass<D>(b, out, n, C, mW);
        return has_nan(out, n);
    }
    template <bool D, class T>
    static void hpass_doubling(const T *s, T *b, T *out, int n, int C, int mW, int left, int right)
    {
        copy(b + left, s, n);
        put_borders(b + left, n, C, left, right);
        hpass<D>(b, out, n, C, mW);
    }
    template <bool D, class T> static void vpass(Zyl8u *const *rows, T *out, int n, int mH)
    {
        for (int e = 0; e < n; ++e) out[e] = vpass_el<D, T>(rows, e, mH);
    }
    // Destination row j (j < mH - 1) = fold(row j, destination row j + 1), the last from row mH - 1.
    template <bool D, class T>
    static void suffixes(Zyl8u *const *rows, T *d, int dstStep, int n, int mH)
    {
        for (int j = mH - 2; j >= 0; --j) {
            T *out = advance(d, std::ptrdiff_t(j) * dstStep);
            Zyl8u *const pair[2] = {rows[j],
                                    j == mH - 2 ? rows[mH - 1]
                                                : reinterpret_cast<Zyl8u *>(advance(out, dstStep))};
            vpass<D>(pair, out, n, 2);
        }
    }
    template <bool D>
    static void window(Zyl8u *const *rows, Zyl8u *out, const Geometry &g, const Zyl8u *mask,
                       const Zyl8u *maskInv, const ColumnPlan &)
    {
        for (int e = 0; e < g.n; ++e)
            out[e] = mask_el<D>(rows, e, g.C, g.mW, g.mH, g.left, mask, maskInv);
    }
    template <bool D>
    static void window(Zyl8u *const *rows, Zyl32f *out, const Geometry &g, const Zyl8u *mask,
                       const Zyl8u *, const ColumnPlan &)
    {
        for (int e = 0; e < g.n; ++e) out[e] = mask_el<D>(rows, e, g.C, g.mW, g.mH, g.left, mask);
    }
};

// Mask (caller mask or ellipse): raw rows enter the ring with their borders, as order keys for
// 32f; the window folds every member cell.
template <class R, class T, bool Dilate> struct MaskOps {
    Geometry g;
    static constexpr bool kPairs = false;
    static constexpr bool kBatches = false;
    const Zyl8u *mask, *maskInv;
    ColumnPlan plan;
    void enter(Zyl8u *entry, const T *src)
    {
        if constexpr (std::is_same_v<T, Zyl32f>) {
            auto e = reinterpret_cast<Zyl32s *>(entry);
            R::keys(e, src, g.n);
            put_borders(e, g.n, g.C, g.left, g.right);
        } else {
            R::copy(entry, src, g.n);
            put_borders(entry, g.n, g.C, g.left, g.right);
        }
    }
    void copy(Zyl8u *to, const Zyl8u *from)
    {
        auto t = reinterpret_cast<T *>(to) - g.left;
        auto f = reinterpret_cast<const T *>(from) - g.left;
        R::copy(t, f, g.left + g.n + g.right);
    }
    void emit(Zyl8u *const *table, T *dst)
    {
        R::template window<Dilate>(table, dst, g, mask, maskInv, plan);
    }
};

// The element kind picks the policy; the driver runs it.
template <class R, int Kind, bool Dilate, class T>
int run(const T *src, int srcStep, T *dst, int dstStep, int width, int height, ZyliMorphState &st,
        int role)
{
    const Geometry g = geometry_of(st, width);
    if constexpr (Kind == kRect) {
        const int lastScratch = (sizeof(T) == 4 ? 2 : 1) - 1;
        RectOps<R, T, Dilate> ops{
            g, reinterpret_cast<T *>(st.pScratch + std::ptrdiff_t(lastScratch) * st.rowStride)};
        return run_strip(st, ops, src, srcStep, dst, dstStep, height, role);
    } else if constexpr (Kind == kCross) {
        CrossOps<R, T, Dilate> ops{g, reinterpret_cast<T *>(st.pScratch)};
        return run_strip(st, ops, src, srcStep, dst, dstStep, height, role);
    } else {
        MaskOps<R, T, Dilate> ops{g, st.pMask, st.pMaskInv,
                                  column_plan(g, st.pMask, sizeof(T) == 1 ? 8 : 1)};
        return run_strip(st, ops, src, srcStep, dst, dstStep, height, role);
    }
}

}  // namespace zylcv::morph

namespace zylcv {

// Erosion or dilation (Dilate) of height rows by the element kind Kind (kRect, kCross, kMask):
// returns the number of destination rows written and updates the state's ring.
ZYLCV_DECLARE_TWINS_AVX2(template <int Kind, bool Dilate, class T>
                         int morph_strip(const T *src, int srcStep, T *dst, int dstStep, int width,
                                         int height, ZyliMorphState &st, int role);)

}  // namespace zylcv

// The entries of a twin, over the row operations Rows it defines before expanding this in its
// namespace; built for the three kinds, both operations and both pixel types.
#define ZYLCV_MORPH_ENTRIES                                                                        \
    template <int Kind, bool Dilate, class T>                                                      \
    int morph_strip(const T *src, int srcStep, T *dst, int dstStep, int width, int height,         \
                    ZyliMorphState &st, int role)                                                  \
    {                                                                                              \
        return morph::run<Rows, Kind, Dilate>(src, srcStep, dst, dstStep, width, height, st,       \
                                              role);                                               \
    }                                                                                              \
    ZYLCV_MORPH_INSTANCES(morph::kRect)                                                            \
    ZYLCV_MORPH_INSTANCES(morph::kCross)                                                           \
    ZYLCV_MORPH_INSTANCES(morph::kMask)
#define ZYLCV_MORPH_INSTANCES(K)                                                                   \
    ZYLCV_MORPH_INSTANCE(K, false, Zyl8u)                                                          \
    ZYLCV_MORPH_INSTANCE(K, true, Zyl8u)                                                           \
    ZYLCV_MORPH_INSTANCE(K, false, Zyl32f)                                                         \
    ZYLCV_MORPH_INSTANCE(K, true, Zyl32f)
#define ZYLCV_MORPH_INSTANCE(K, D, T)                                                              \
    template int morph_strip<K, D, T>(const T *, int, T *, int, int, int, ZyliMorphState &, int);

#endif
