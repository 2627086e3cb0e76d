// Strip-filter kernels (Sobel, Laplace, box sum): the per-pixel helpers both twins use at row
// borders and tails, the filters' ring policies for the strip driver, and the twins' entries.
//
// A twin is a set of row operations (struct Rows in each twin's file); the policies below are
// templates over it, so both twins run the same strip logic and differ only in how a row is
// computed.
#ifndef ZYLCV_FILTER_FILTER_H
#define ZYLCV_FILTER_FILTER_H

#include "filter_state.h"

namespace zylcv::filter {

// Arithmetic of a ring row type: exact 32-bit integers for Zyl16s rows, single precision for
// Zyl32f rows.
template <class T> using Work = std::conditional_t<std::is_same_v<T, Zyl32f>, float, int>;

// A 1-D kernel as the row operations use it: k taps, entry i applying at offset i - k/2, and
// whether it is antisymmetric (odd derivative order: centre 0, mirrored taps of opposite sign).
// For a vertical kernel over 16-bit ring rows: `pairs16` tells that the sum or difference of two
// ring values fits 16 bits (true for every kernel the constructors build), `narrow` that no
// output can leave the 16-bit range; packed twins use them to stay in 16-bit lanes.
template <class T> struct Taps {
    int k;
    bool odd;
    Work<T> c[8];
    bool pairs16 = false, narrow = false;
};

template <class T> Taps<T> taps_of(const unsigned char *field, int k, bool odd)
{
    Taps<T> t{k, odd, {}};
    for (int i = 0; i < k; ++i) {
        if constexpr (std::is_same_v<T, Zyl32f>) t.c[i] = entry_32f(field, i);
        else t.c[i] = entry_16s(field, i);
    }
    return t;
}

// Largest magnitude a source pixel can have, and the largest gain of a kernel.
template <class S> constexpr int max_abs() { return std::is_same_v<S, Zyl8u> ? 255 : 128; }
template <class T> int abs_sum(const Taps<T> &t)
{
    int s = 0;
    for (int i = 0; i < t.k; ++i) s += t.c[i] < 0 ? -int(t.c[i]) : int(t.c[i]);
    return s;
}

inline Zyl16s saturate16(int v) { return static_cast<Zyl16s>(clamp_int(v, -32768, 32767)); }
inline void store_px(Zyl16s *d, int v) { *d = saturate16(v); }
inline void store_px(Zyl32f *d, float v) { *d = v; }

// One tap sum over mirrored pairs, the order both twins follow in every lane:
// symmetric:      c[a]*v(0) + c[a+1]*(v(1) + v(-1)) + ... + c[2a]*(v(a) + v(-a))
// antisymmetric:  c[a+1]*(v(1) - v(-1)) + ... + c[2a]*(v(a) - v(-a))
// added left to right. v(d) is the neighbour at offset d.
template <class W, class V> inline W paired_sum(const W *c, int k, bool odd, V v)
{
    const int a = k / 2;
    W s;
    if (odd) {
        s = c[a + 1] * (v(1) - v(-1));
        for (int i = 2; i <= a; ++i) s = ordered_add(s, c[a + i] * (v(i) - v(-i)));
    } else {
        s = c[a] * v(0);
        for (int i = 1; i <= a; ++i) s = ordered_add(s, c[a + i] * ordered_add(v(i), v(-i)));
    }
    return s;
}

// Horizontal result at column x of a source row of width w, columns clamped to the row.
template <class T, class S> inline Work<T> hpass_px(const S *p, int w, int x, const Taps<T> &t)
{
    return paired_sum(t.c, t.k, t.odd,
                      [&](int d) { return Work<T>(p[clamp_int(x + d, 0, w - 1)]); });
}

// Vertical result at column x of a window of ring rows r[0..k-1], oldest (topmost) first.
template <class T> inline Work<T> vpass_px(T *const *r, int x, const Taps<T> &t)
{
    const int a = t.k / 2;
    return paired_sum(t.c, t.k, t.odd, [&](int d) { return Work<T>(r[a + d][x]); });
}

// Laplace output at column x: the kS-sum of ring A plus the kD-sum of ring B.
template <class T>
inline Work<T> laplace_px(T *const *ra, T *const *rb, int x, const Taps<T> &ks, const Taps<T> &kd)
{
    return ordered_add(vpass_px(ra, x, ks), vpass_px(rb, x, kd));
}

// Box sums: 32-bit integer sums for 8-bit sources, single precision for 32f.
template <class S> using BoxSum = std::conditional_t<std::is_same_v<S, Zyl32f>, float, int>;

// Horizontal window sums h(x) of a row, as running sums in this exact order:
//   h(0) = (a+1)*P(0) + P(1) + ... + P(a)                  (left to right)
//   h(x) = (h(x-1) - P(0)) + P(min(x+a, w-1))              for 1 <= x <= a
//   h(x) = (h(x-1) + P(min(x+a, w-1))) - P(x-a-1)          for x > a
// blur_h0 starts the sum, blur_hstep advances it by one column.
template <class S> inline BoxSum<S> blur_h0(const S *p, int w, int a)
{
    using A = BoxSum<S>;
    A s = A(a + 1) * A(p[0]);
    for (int i = 1; i <= a; ++i) s = ordered_add(s, A(p[i < w ? i : w - 1]));
    return s;
}
template <class S> inline BoxSum<S> blur_hstep(BoxSum<S> s, const S *p, int w, int a, int x)
{
    using A = BoxSum<S>;
    A in = A(p[x + a < w ? x + a : w - 1]);
    return x <= a ? ordered_add(s - A(p[0]), in) : ordered_add(s, in) - A(p[x - a - 1]);
}

// The running column sum V when a row sum h enters and the row sum `hold` leaves the window:
// (h(0) - hold(0)) + V(0) in column 0, (V(x) + h(x)) - hold(x) in the others.
template <class A> inline A blur_v0(A v, A h, A hold) { return ordered_add(h - hold, v); }
template <class A> inline A blur_vx(A v, A h, A hold) { return ordered_add(v, h) - hold; }

// Row operations shared by both twins: the rare ones (top and bottom replication, the rows of
// a window that is still filling), and the portable twin's every operation.
struct ScalarRows {
    template <class T> static void copy(const T *from, T *to, int w)
    {
        for (int x = 0; x < w; ++x) to[x] = from[x];
    }
    // Horizontal pass: per step one pixel; the row ends at w.
    template <class S, class T> static void hpass(const S *src, int w, T *out, const Taps<T> &t)
    {
        for (int x = 0; x < w; ++x) out[x] = static_cast<T>(hpass_px(src, w, x, t));
    }
    // Two symmetric kernels over one row (Laplace: kD into ring A, kS into ring B).
    template <class S, class T>
    static void hpass2(const S *src, int w, T *outA, T *outB, const Taps<T> &ta, const Taps<T> &tb)
    {
        hpass(src, w, outA, ta);
        hpass(src, w, outB, tb);
    }
    // Vertical pass over a full window: per step one pixel.
    template <class T, class D> static void vpass(T *const *r, int w, D *dst, const Taps<T> &t)
    {
        for (int x = 0; x < w; ++x) store_px(dst + x, vpass_px(r, x, t));
    }
    template <class T, class D>
    static void vpass2(T *const *ra, T *const *rb, int w, D *dst, const Taps<T> &ks,
                       const Taps<T> &kd)
    {
        for (int x = 0; x < w; ++x) store_px(dst + x, laplace_px(ra, rb, x, ks, kd));
    }
    // A row entering a full window, whose newest ring rows r[k-1] (and rb[k-1]) it replaces, and
    // the output row of that window.
    template <class S, class T, class D>
    static void hvpass(const S *src, int w, T *const *r, D *dst, const Taps<T> &tx,
                       const Taps<T> &ty)
    {
        hpass(src, w, r[tx.k - 1], tx);
        vpass(r, w, dst, ty);
    }
    template <class S, class T, class D>
    static void hvpass2(const S *src, int w, T *const *ra, T *const *rb, D *dst, const Taps<T> &kd,
                        const Taps<T> &ks)
    {
        hpass2(src, w, ra[kd.k - 1], rb[kd.k - 1], kd, ks);
        vpass2(ra, rb, w, dst, ks, kd);
    }
    // Box sums: the row sums of a row, one running sum across it.
    template <class S> static void rowsum(const S *src, int w, int a, BoxSum<S> *h)
    {
        BoxSum<S> s = blur_h0(src, w, a);
        h[0] = s;
        for (int x = 1; x < w; ++x) h[x] = s = blur_hstep(s, src, w, a, x);
    }
    // V = m*h (the first row of an image, standing for the rows above it); V = V + h.
    template <class A> static void scale(A *v, const A *h, int m, int w)
    {
        for (int x = 0; x < w; ++x) v[x] = A(m) * h[x];
    }
    template <class A> static void accumulate(A *v, const A *h, int w)
    {
        for (int x = 0; x < w; ++x) v[x] = ordered_add(v[x], h[x]);
    }
    template <class A, class D> static void store(const A *v, D *dst, int w)
    {
        for (int x = 0; x < w; ++x) dst[x] = static_cast<D>(v[x]);
    }
    // A row enters a full window: its row sum replaces `slot` (which held the leaving row sum),
    // V is updated and stored. Per step one pixel; src null repeats the row sums `newest`.
    template <class S, class D>
    static void slide(const S *src, const BoxSum<S> *newest, int w, int a, BoxSum<S> *slot,
                      BoxSum<S> *v, D *dst)
    {
        using A = BoxSum<S>;
        A s = src ? blur_h0(src, w, a) : newest[0];
        A hold = slot[0];
        slot[0] = s;
        dst[0] = static_cast<D>(v[0] = blur_v0(v[0], s, hold));
        for (int x = 1; x < w; ++x) {
            s = src ? blur_hstep(s, src, w, a, x) : newest[x];
            hold = slot[x];
            slot[x] = s;
            dst[x] = static_cast<D>(v[x] = blur_vx(v[x], s, hold));
        }
    }
    // Two rows entering a full window one after the other, with the row sums that leave it in
    // slot0 and slot1. Per step one column of both rows, so that the two running sums proceed
    // side by side; the second row's V update follows the first's in each column.
    template <class S, class D>
    static void slide2(const S *s0, const S *s1, int w, int a, BoxSum<S> *slot0, BoxSum<S> *slot1,
                       BoxSum<S> *v, D *d0, D *d1)
    {
        using A = BoxSum<S>;
        A h0 = blur_h0(s0, w, a), h1 = blur_h0(s1, w, a);
        for (int x = 0;;) {
            const A hold0 = slot0[x], hold1 = slot1[x];
            slot0[x] = h0;
            slot1[x] = h1;
            A vx = x == 0 ? blur_v0(v[0], h0, hold0) : blur_vx(v[x], h0, hold0);
            d0[x] = static_cast<D>(vx);
            vx = x == 0 ? blur_v0(vx, h1, hold1) : blur_vx(vx, h1, hold1);
            d1[x] = static_cast<D>(vx);
            v[x] = vx;
            if (++x == w) break;
            h0 = blur_hstep(h0, s0, w, a, x);
            h1 = blur_hstep(h1, s1, w, a, x);
        }
    }
};

// ---- the packed twins' row operations ------------------------------------------------------

// Whether a kernel's outermost taps are 1, so that a packed weighted sum may skip their
// multiplication, and whether a vertical kernel's mirrored pairs fit 16-bit lanes. The
// constructors build every kernel so; the packed row operations check it and take the scalar
// path otherwise.
template <class T> bool outer_one(const Taps<T> &t) { return t.c[t.k - 1] == 1; }
template <class T> bool pairs_fit(const Taps<T> &t)
{
    return std::is_same_v<T, Zyl32f> || t.pairs16;
}

// The window's row addresses, copied out of the state so that stores to the destination do not
// force them to be reloaded.
template <class T, int K> struct Rings {
    const T *p[K];
    explicit Rings(T *const *r)
    {
        for (int i = 0; i < K; ++i) p[i] = r[i];
    }
    const T *operator[](int i) const { return p[i]; }
};

// Window sum of the 8-bit row at column x, columns clamped: the same integer as the running
// sums give.
template <class S> int box_px(const S *p, int w, int a, int x)
{
    int s = 0;
    for (int d = -a; d <= a; ++d) s += p[clamp_int(x + d, 0, w - 1)];
    return s;
}
// V update of one column: the leaving row sum is read before the new one replaces it.
inline void slide_px(int h, Zyl32s *slot, Zyl32s *v, Zyl16s *dst)
{
    const int hold = *slot;
    *slot = h;
    *v = *v + h - hold;
    *dst = static_cast<Zyl16s>(*v);
}

#ifdef ZYLCV_INLINE_LAMBDA
// A kernel's taps in every lane.
template <class O, int K> struct Weights {
    typename O::V c[K];
    template <class T> explicit Weights(const Taps<T> &t)
    {
#pragma GCC unroll 8
        for (int i = 0; i < K; ++i) c[i] = O::splat(t.c[i]);
    }
};
// The centre v(0) (symmetric kernels) and the mirrored pairs v(i) + v(-i) or v(i) - v(-i) of a
// window, i = 1..a, in the lane arithmetic O of a packed twin.
template <class O, int K, bool ODD, class V, class L> ZYLCV_INLINE void mirror(L v, V *p)
{
    constexpr int a = K / 2;
    if constexpr (!ODD) p[0] = v(0);
#pragma GCC unroll 8
    for (int i = 1; i <= a; ++i) p[i] = ODD ? O::sub(v(i), v(-i)) : O::add(v(i), v(-i));
}

// Calls F<K, ODD1, ODD2>::run(args...) for the aperture and kernel parities of a state.
template <template <int, bool, bool> class F, class... Args>
void by_kernel(int k, bool odd1, bool odd2, Args &&...args)
{
    auto parities = [&](auto kc) ZYLCV_INLINE_LAMBDA {
        constexpr int K = decltype(kc)::value;
        if (odd1) odd2 ? F<K, true, true>::run(args...) : F<K, true, false>::run(args...);
        else odd2 ? F<K, false, true>::run(args...) : F<K, false, false>::run(args...);
    };
    if (k == 3) parities(std::integral_constant<int, 3>{});
    else if (k == 5) parities(std::integral_constant<int, 5>{});
    else parities(std::integral_constant<int, 7>{});
}
// The vertical sums of 16-bit rows take 16-bit lanes when the taps allow it (never with K = 7).
template <int K, class T, class F> void by_width(const Taps<T> &t, F f)
{
    if constexpr (std::is_same_v<T, Zyl16s> && K < 7)
        if (t.narrow) return f(std::true_type{});
    f(std::false_type{});
}

// The row operations of a packed twin whose row kernels are the static members of L (hrow,
// hrow2, vrow, vrow2, hvrow, hvrow2, slide_row), each instantiated per aperture, parity and
// lane width: packed versions of the hot operations, the rest shared.
template <class L> struct PackedRows : ScalarRows {
    template <int K, bool ODD, bool> struct HRow {
        template <class S, class T> static void run(const S *s, int w, T *o, const Taps<T> &t)
        {
            L::template hrow<K, ODD>(s, w, o, t);
        }
    };
    template <int K, bool, bool> struct HRow2 {
        template <class S, class T>
        static void run(const S *s, int w, T *oa, T *ob, const Taps<T> &ta, const Taps<T> &tb)
        {
            L::template hrow2<K>(s, w, oa, ob, ta, tb);
        }
    };
    template <int K, bool ODD, bool> struct VRow {
        template <class T, class D> static void run(T *const *r, int w, D *d, const Taps<T> &t)
        {
            by_width<K>(t,
                        [&](auto n) { L::template vrow<K, ODD, decltype(n)::value>(r, w, d, t); });
        }
    };
    template <int K, bool, bool> struct VRow2 {
        template <class T, class D>
        static void run(T *const *ra, T *const *rb, int w, D *d, const Taps<T> &ks,
                        const Taps<T> &kd)
        {
            by_width<K>(ks, [&](auto n) {
                L::template vrow2<K, decltype(n)::value>(ra, rb, w, d, ks, kd);
            });
        }
    };
    template <int K, bool XODD, bool YODD> struct HVRow {
        template <class S, class T, class D>
        static void run(const S *s, int w, T *const *r, D *d, const Taps<T> &tx, const Taps<T> &ty)
        {
            by_width<K>(ty, [&](auto n) {
                L::template hvrow<K, XODD, YODD, decltype(n)::value>(s, w, r, d, tx, ty);
            });
        }
    };
    template <int K, bool, bool> struct HVRow2 {
        template <class S, class T, class D>
        static void run(const S *s, int w, T *const *ra, T *const *rb, D *d, const Taps<T> &kd,
                        const Taps<T> &ks)
        {
            by_width<K>(ks, [&](auto n) {
                L::template hvrow2<K, decltype(n)::value>(s, w, ra, rb, d, kd, ks);
            });
        }
    };
    template <int K, bool, bool> struct SlideRow {
        template <class S> static void run(const S *s, int w, Zyl32s *slot, Zyl32s *v, Zyl16s *d)
        {
            L::template slide_row<K>(s, w, slot, v, d);
        }
    };

    template <class S, class T> static void hpass(const S *src, int w, T *out, const Taps<T> &t)
    {
        if (!outer_one(t)) return ScalarRows::hpass(src, w, out, t);
        by_kernel<HRow>(t.k, t.odd, false, src, w, out, t);
    }
    template <class S, class T>
    static void hpass2(const S *src, int w, T *outA, T *outB, const Taps<T> &ta, const Taps<T> &tb)
    {
        if (!outer_one(ta) || !outer_one(tb)) return ScalarRows::hpass2(src, w, outA, outB, ta, tb);
        by_kernel<HRow2>(ta.k, false, false, src, w, outA, outB, ta, tb);
    }
    template <class T, class D> static void vpass(T *const *r, int w, D *dst, const Taps<T> &t)
    {
        if (!pairs_fit(t)) return ScalarRows::vpass(r, w, dst, t);
        by_kernel<VRow>(t.k, t.odd, false, r, w, dst, t);
    }
    template <class T, class D>
    static void vpass2(T *const *ra, T *const *rb, int w, D *dst, const Taps<T> &ks,
                       const Taps<T> &kd)
    {
        if (!outer_one(ks) || !outer_one(kd) || !pairs_fit(ks))
            return ScalarRows::vpass2(ra, rb, w, dst, ks, kd);
        by_kernel<VRow2>(ks.k, false, false, ra, rb, w, dst, ks, kd);
    }
    template <class S, class T, class D>
    static void hvpass(const S *src, int w, T *const *r, D *dst, const Taps<T> &tx,
                       const Taps<T> &ty)
    {
        if (!outer_one(tx) || !pairs_fit(ty)) return ScalarRows::hvpass(src, w, r, dst, tx, ty);
        by_kernel<HVRow>(tx.k, tx.odd, ty.odd, src, w, r, dst, tx, ty);
    }
    template <class S, class T, class D>
    static void hvpass2(const S *src, int w, T *const *ra, T *const *rb, D *dst, const Taps<T> &kd,
                        const Taps<T> &ks)
    {
        if (!outer_one(kd) || !outer_one(ks) || !pairs_fit(ks))
            return ScalarRows::hvpass2(src, w, ra, rb, dst, kd, ks);
        by_kernel<HVRow2>(kd.k, false, false, src, w, ra, rb, dst, kd, ks);
    }
    template <class S, class D>
    static void slide(const S *src, const BoxSum<S> *newest, int w, int a, BoxSum<S> *slot,
                      BoxSum<S> *v, D *dst)
    {
        if constexpr (std::is_same_v<S, Zyl32f>) {
            ScalarRows::slide(src, newest, w, a, slot, v, dst);
        } else {
            if (!src) return ScalarRows::slide(src, newest, w, a, slot, v, dst);
            by_kernel<SlideRow>(2 * a + 1, false, false, src, w, slot, v, dst);
        }
    }
    // 8-bit rows: two packed slides; 32f: the shared side-by-side running sums.
    template <class S, class D>
    static void slide2(const S *s0, const S *s1, int w, int a, BoxSum<S> *slot0, BoxSum<S> *slot1,
                       BoxSum<S> *v, D *d0, D *d1)
    {
        if constexpr (std::is_same_v<S, Zyl32f>) {
            ScalarRows::slide2(s0, s1, w, a, slot0, slot1, v, d0, d1);
        } else {
            by_kernel<SlideRow>(2 * a + 1, false, false, s0, w, slot0, v, d0);
            by_kernel<SlideRow>(2 * a + 1, false, false, s1, w, slot1, v, d1);
        }
    }
};
#endif

// ---- ring policies for the strip driver -----------------------------------------------------

// Ring row type of a source type: Zyl16s horizontal results for 8-bit sources, Zyl32f for 32f.
template <class S> using RingRow = std::conditional_t<std::is_same_v<S, Zyl32f>, Zyl32f, Zyl16s>;

// Sobel: each source row, filtered with kX, is one ring row; an output row is kY over the
// ring. Antisymmetric pairing by the parity of each order (bits 0 and 1 of stateCode).
template <class R, class S, class D> class SobelRing {
public:
    using Src = S;
    using Dst = D;
    using T = RingRow<S>;
    static constexpr int kRings = 1;
    SobelRing(ZyliConvState &st, int width)
        : st_(st), w_(width), k_(kernel_size(st)),
          kx_(taps_of<T>(st.kernelX, k_, st.stateCode & 1)),
          ky_(taps_of<T>(st.kernelY, k_, st.stateCode & 2))
    {
        if constexpr (!std::is_same_v<S, Zyl32f>) {
            ky_.pairs16 = abs_sum(kx_) * max_abs<S>() <= 16383;
            ky_.narrow = abs_sum(kx_) * abs_sum(ky_) * max_abs<S>() <= 32767;
        }
    }
    void start(const S *src)
    {
        R::hpass(src, w_, row(0), kx_);
        for (int i = 1; i <= k_ / 2; ++i) R::copy(row(0), row(i), w_);
    }
    void fill(int slot, const S *src) { put(slot, src); }
    void emit(D *dst) { R::vpass(ring(), w_, dst, ky_); }
    void slide(const S *src, D *dst)
    {
        if (src) return R::hvpass(src, w_, ring(), dst, kx_, ky_);
        put(k_ - 1, src);
        emit(dst);
    }

private:
    T *row(int i) const { return static_cast<T *>(st_.rows[i]); }
    T *const *ring() const { return reinterpret_cast<T *const *>(st_.rows); }
    void put(int slot, const S *src)
    {
        if (src) R::hpass(src, w_, row(slot), kx_);
        else R::copy(row(slot - 1), row(slot), w_);
    }
    ZyliConvState &st_;
    int w_, k_;
    Taps<T> kx_, ky_;
};

// Laplace: each source row is filtered with kD into ring A (rows[0..k-1]) and with kS into ring
// B (rows[k..2k-1]); an output row is kS over ring A plus kD over ring B.
template <class R, class S, class D> class LaplaceRing {
public:
    using Src = S;
    using Dst = D;
    using T = RingRow<S>;
    static constexpr int kRings = 2;
    LaplaceRing(ZyliConvState &st, int width)
        : st_(st), w_(width), k_(kernel_size(st)), kd_(taps_of<T>(st.kernelX, k_, false)),
          ks_(taps_of<T>(st.kernelY, k_, false))
    {
        if constexpr (!std::is_same_v<S, Zyl32f>) {
            const int rowGain = abs_sum(kd_) > abs_sum(ks_) ? abs_sum(kd_) : abs_sum(ks_);
            ks_.pairs16 = rowGain * max_abs<S>() <= 16383;
            ks_.narrow = 2 * abs_sum(kd_) * abs_sum(ks_) * max_abs<S>() <= 32767;
        }
    }
    void start(const S *src)
    {
        R::hpass2(src, w_, a(0), b(0), kd_, ks_);
        for (int i = 1; i <= k_ / 2; ++i) {
            R::copy(a(0), a(i), w_);
            R::copy(b(0), b(i), w_);
        }
    }
    void fill(int slot, const S *src) { put(slot, src); }
    void emit(D *dst) { R::vpass2(ring(0), ring(k_), w_, dst, ks_, kd_); }
    void slide(const S *src, D *dst)
    {
        if (src) return R::hvpass2(src, w_, ring(0), ring(k_), dst, kd_, ks_);
        put(k_ - 1, src);
        emit(dst);
    }

private:
    T *a(int i) const { return static_cast<T *>(st_.rows[i]); }
    T *b(int i) const { return static_cast<T *>(st_.rows[k_ + i]); }
    T *const *ring(int first) const { return reinterpret_cast<T *const *>(st_.rows + first); }
    void put(int slot, const S *src)
    {
        if (src) {
            R::hpass2(src, w_, a(slot), b(slot), kd_, ks_);
        } else {
            R::copy(a(slot - 1), a(slot), w_);
            R::copy(b(slot - 1), b(slot), w_);
        }
    }
    ZyliConvState &st_;
    int w_, k_;
    Taps<T> kd_, ks_;
};

// Box sum: ring rows hold the horizontal window sums of the last k rows; rows[k] holds V, the
// running sum of the ring rows, which is the output row once the window is full.
template <class R, class S, class D> class BlurRing {
public:
    using Src = S;
    using Dst = D;
    using A = BoxSum<S>;
    static constexpr int kRings = 1;
    BlurRing(ZyliConvState &st, int width) : st_(st), w_(width), k_(kernel_size(st)) {}
    void start(const S *src)
    {
        R::rowsum(src, w_, k_ / 2, row(0));
        for (int i = 1; i <= k_ / 2; ++i) R::copy(row(0), row(i), w_);
        R::scale(v(), row(0), k_ / 2 + 1, w_);
    }
    void fill(int slot, const S *src)
    {
        if (src) R::rowsum(src, w_, k_ / 2, row(slot));
        else R::copy(row(slot - 1), row(slot), w_);
        R::accumulate(v(), row(slot), w_);
    }
    void emit(D *dst) { R::store(v(), dst, w_); }
    void slide(const S *src, D *dst)
    {
        R::slide(src, row(k_ - 2), w_, k_ / 2, row(k_ - 1), v(), dst);
    }
    void slide2(const S *s0, const S *s1, D *d0, D *d1)
    {
        R::slide2(s0, s1, w_, k_ / 2, row(k_ - 2), row(k_ - 1), v(), d0, d1);
    }

private:
    A *row(int i) const { return static_cast<A *>(st_.rows[i]); }
    A *v() const { return static_cast<A *>(st_.rows[k_]); }
    ZyliConvState &st_;
    int w_, k_;
};

// The ring policy of filter K over a twin's row operations R.
template <Kind K, class R, class S, class D>
using Ring =
    std::conditional_t<K == kSobel, SobelRing<R, S, D>,
                       std::conditional_t<K == kLaplace, LaplaceRing<R, S, D>, BlurRing<R, S, D>>>;

}  // namespace zylcv::filter

namespace zylcv {

// strip<K> processes one strip of `height` source rows of `width` pixels through a state of
// filter K, starting and/or ending an image as told, and returns the number of output rows
// written. Sources are Zyl8u or Zyl8s with Zyl16s results, or Zyl32f with Zyl32f results.
ZYLCV_DECLARE_TWINS_AVX2(template <filter::Kind K, class S, class D>
                         int strip(const S *src, int srcStep, D *dst, int dstStep, int width,
                                   int height, ZyliConvState *st, bool starts, bool ends);)

#define ZYLCV_FILTER_INSTANTIATE(K)                                                                \
    template int strip<K>(const Zyl8u *, int, Zyl16s *, int, int, int, ZyliConvState *, bool,      \
                          bool);                                                                   \
    template int strip<K>(const Zyl8s *, int, Zyl16s *, int, int, int, ZyliConvState *, bool,      \
                          bool);                                                                   \
    template int strip<K>(const Zyl32f *, int, Zyl32f *, int, int, int, ZyliConvState *, bool,     \
                          bool);

// A twin's entries over its row operations Rows (expanded inside the twin's namespace).
#define ZYLCV_FILTER_ENTRIES                                                                       \
    template <filter::Kind K, class S, class D>                                                    \
    int strip(const S *src, int srcStep, D *dst, int dstStep, int width, int height,               \
              ZyliConvState *st, bool starts, bool ends)                                           \
    {                                                                                              \
        filter::Ring<K, Rows, S, D> policy(*st, width);                                            \
        return filter::run_strip(*st, policy, src, srcStep, dst, dstStep, height, starts, ends);   \
    }                                                                                              \
    ZYLCV_FILTER_INSTANTIATE(filter::kSobel)                                                       \
    ZYLCV_FILTER_INSTANTIATE(filter::kLaplace)                                                     \
    ZYLCV_FILTER_INSTANTIATE(filter::kBlur)

}  // namespace zylcv

#endif
