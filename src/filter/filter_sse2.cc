// SSE2 strip-filter kernels. Horizontal passes take 16 pixels per step for 8-bit sources (two
// vectors of eight 16-bit lanes), then 8; 8 then 4 pixels for 32f. Vertical sums take one
// vector per step: 16-bit rows are summed into 32-bit lanes by pmaddwd and saturated by
// packssdw, or, when the kernels cannot leave the 16-bit range, summed in 16-bit lanes. A row
// entering a full window is filtered and summed in one pass, its horizontal results used from
// registers. Columns whose window crosses a row end, and the last pixels of a row, go through
// the scalar helpers of filter.h, so both twins give the same bits. Box sums of 8-bit rows
// take 16 then 8 pixels per step; 32f box sums are running sums, two rows side by side.
// Kernels are instantiated per aperture and parity, so a window's taps stay in registers.
#include <emmintrin.h>

#include "core/simd_sse2.h"
#include "filter.h"

namespace zylcv::sse2 {
namespace {

// The small helpers and lambdas below work on arrays of vectors; inlined (ZYLCV_INLINE,
// ZYLCV_INLINE_LAMBDA), those stay in registers.
using filter::box_px;
using filter::mirror;
using filter::Rings;
using filter::slide_px;
using filter::Taps;
using filter::Weights;

// 16 source pixels as two vectors of eight 16-bit lanes; 8 pixels as one.
ZYLCV_INLINE void widen16(const Zyl8u *p, __m128i &lo, __m128i &hi)
{
    const __m128i v = load(p), z = _mm_setzero_si128();
    lo = _mm_unpacklo_epi8(v, z);
    hi = _mm_unpackhi_epi8(v, z);
}
ZYLCV_INLINE void widen16(const Zyl8s *p, __m128i &lo, __m128i &hi)
{
    const __m128i v = load(p);
    lo = _mm_srai_epi16(_mm_unpacklo_epi8(v, v), 8);
    hi = _mm_srai_epi16(_mm_unpackhi_epi8(v, v), 8);
}
ZYLCV_INLINE __m128i widen8(const Zyl8u *p)
{
    return _mm_unpacklo_epi8(
        _mm_loadl_epi64(static_cast<const __m128i *>(static_cast<const void *>(p))),
        _mm_setzero_si128());
}
ZYLCV_INLINE __m128i widen8(const Zyl8s *p)
{
    const __m128i v = _mm_loadl_epi64(static_cast<const __m128i *>(static_cast<const void *>(p)));
    return _mm_srai_epi16(_mm_unpacklo_epi8(v, v), 8);
}

// Eight 16-bit lanes to two vectors of four 32-bit lanes, sign-extended.
__m128i lo32(__m128i v) { return _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16); }
__m128i hi32(__m128i v) { return _mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16); }

// ---- mirrored tap sums in vector lanes, in the order of filter::paired_sum ------------------------

// Lane arithmetic of 16-bit integer rows and of 32f rows.
struct I16 {
    using V = __m128i;
    static V add(V a, V b) { return _mm_add_epi16(a, b); }
    static V sub(V a, V b) { return _mm_sub_epi16(a, b); }
    static V mul(V a, V b) { return _mm_mullo_epi16(a, b); }
    static V splat(int c) { return _mm_set1_epi16(static_cast<short>(c)); }
};
struct F32 {
    using V = __m128;
    static V add(V a, V b) { return add_ordered(a, b); }
    static V sub(V a, V b) { return _mm_sub_ps(a, b); }
    static V mul(V a, V b) { return _mm_mul_ps(a, b); }
    static V splat(float c) { return _mm_set1_ps(c); }
};

// The weighted sum of mirrored pairs, added in the order of filter::paired_sum. With ONE, the
// outermost pair's weight is 1 and is applied without a multiplication: 1 * x is x.
template <class O, int K, bool ONE>
ZYLCV_INLINE typename O::V term(const Weights<O, K> &w, const typename O::V *p, int i)
{
    return ONE && i == K / 2 ? p[i] : O::mul(w.c[K / 2 + i], p[i]);
}
template <class O, int K, bool ODD, bool ONE>
ZYLCV_INLINE typename O::V weigh(const Weights<O, K> &w, const typename O::V *p)
{
    constexpr int a = K / 2;
    typename O::V s = ODD ? term<O, K, ONE>(w, p, 1) : O::mul(w.c[a], p[0]);
#pragma GCC unroll 8
    for (int i = ODD ? 2 : 1; i <= a; ++i) s = O::add(s, term<O, K, ONE>(w, p, i));
    return s;
}

// The terms of a 16-bit mirrored sum before weighting, for pmaddwd: the centre row (symmetric
// kernels) and the mirrored sums or differences, with their coefficients. Sums of two
// horizontal results fit 16 bits (they never exceed 2 * 64 * 255).
template <int K, bool ODD> struct Terms {
    static constexpr int a = K / 2, n = ODD ? a : a + 1;
    static void coefficients(const int *c, int *out)
    {
        int j = 0;
        if constexpr (!ODD) out[j++] = c[a];
#pragma GCC unroll 8
        for (int i = 1; i <= a; ++i) out[j++] = c[a + i];
    }
    template <class L> ZYLCV_INLINE static void gather(L v, __m128i *t)
    {
        __m128i p[a + 1];
        mirror<I16, K, ODD>(v, p);
#pragma GCC unroll 8
        for (int j = 0; j < n; ++j) t[j] = p[ODD ? j + 1 : j];
    }
};

// Pairs of 16-bit coefficients for pmaddwd: lanes (c[2j], c[2j+1]), the odd one out paired with 0.
void madd_pairs(const int *c, int n, __m128i *cc)
{
    for (int j = 0; j < n; j += 2) {
        const int hi = j + 1 < n ? c[j + 1] : 0;
        cc[j / 2] =
            _mm_set1_epi32(int((std::uint32_t(hi) << 16) | (std::uint32_t(c[j]) & 0xFFFFu)));
    }
}
// Adds the weighted terms t[0..n) into two vectors of four 32-bit sums.
ZYLCV_INLINE void madd_terms(const __m128i *t, int n, const __m128i *cc, __m128i &lo, __m128i &hi)
{
#pragma GCC unroll 8
    for (int j = 0; j < n; j += 2) {
        const __m128i u = j + 1 < n ? t[j + 1] : _mm_setzero_si128();
        lo = _mm_add_epi32(lo, _mm_madd_epi16(_mm_unpacklo_epi16(t[j], u), cc[j / 2]));
        hi = _mm_add_epi32(hi, _mm_madd_epi16(_mm_unpackhi_epi16(t[j], u), cc[j / 2]));
    }
}

// ---- horizontal passes --------------------------------------------------------------------------

// Walks an 8-bit row: per step 16 pixels (then 8) whose windows lie inside the row, handing the
// mirrored pairs of each group of eight to body(x, pairs); the first a columns and the row's end
// go to edge(x), one at a time.
template <int K, bool ODD, class S, class B, class E>
ZYLCV_INLINE void walk(const S *src, int w, B body, E edge)
{
    constexpr int a = K / 2;
    int x = 0;
    for (; x < a && x < w; ++x) edge(x);
    for (; x + 16 + a <= w; x += 16) {
        __m128i lo[K], hi[K], pl[a + 1], ph[a + 1];
#pragma GCC unroll 8
        for (int d = 0; d < K; ++d) widen16(src + x + d - a, lo[d], hi[d]);
        mirror<I16, K, ODD>([&](int d) ZYLCV_INLINE_LAMBDA { return lo[a + d]; }, pl);
        mirror<I16, K, ODD>([&](int d) ZYLCV_INLINE_LAMBDA { return hi[a + d]; }, ph);
        body(x, pl);
        body(x + 8, ph);
    }
    for (; x + 8 + a <= w; x += 8) {
        __m128i v[K], p[a + 1];
#pragma GCC unroll 8
        for (int d = 0; d < K; ++d) v[d] = widen8(src + x + d - a);
        mirror<I16, K, ODD>([&](int d) ZYLCV_INLINE_LAMBDA { return v[a + d]; }, p);
        body(x, p);
    }
    for (; x < w; ++x) edge(x);
}

// Walks a 32f row: per step 8 pixels (then 4), handing the mirrored pairs of each group of four
// to body(x, pairs); the row ends go to edge(x).
template <int K, bool ODD, class B, class E>
ZYLCV_INLINE void walk(const Zyl32f *src, int w, B body, E edge)
{
    constexpr int a = K / 2;
    int x = 0;
    for (; x < a && x < w; ++x) edge(x);
    for (; x + 8 + a <= w; x += 8) {
        __m128 p0[a + 1], p1[a + 1];
        mirror<F32, K, ODD>([&](int d) ZYLCV_INLINE_LAMBDA { return _mm_loadu_ps(src + x + d); },
                            p0);
        mirror<F32, K, ODD>(
            [&](int d) ZYLCV_INLINE_LAMBDA { return _mm_loadu_ps(src + x + 4 + d); }, p1);
        body(x, p0);
        body(x + 4, p1);
    }
    for (; x + 4 + a <= w; x += 4) {
        __m128 p[a + 1];
        mirror<F32, K, ODD>([&](int d) ZYLCV_INLINE_LAMBDA { return _mm_loadu_ps(src + x + d); },
                            p);
        body(x, p);
    }
    for (; x < w; ++x) edge(x);
}

void store_lanes(Zyl16s *p, __m128i v) { store(p, v); }
void store_lanes(Zyl32f *p, __m128 v) { _mm_storeu_ps(p, v); }
template <class T> using Ops = std::conditional_t<std::is_same_v<T, Zyl32f>, F32, I16>;

// ---- vertical passes ----------------------------------------------------------------------------

// Vertical sum of one group of columns, given the window's rows v(d), d = -a..a: eight 16-bit
// columns summed in 32-bit lanes by pmaddwd and saturated by packssdw, or four 32f columns.
template <int K, bool ODD, bool NARROW> struct VSum16 {
    using Tm = Terms<K, ODD>;
    __m128i cc[(Tm::n + 1) / 2];
    explicit VSum16(const Taps<Zyl16s> &t)
    {
        int coef[K];
        Tm::coefficients(t.c, coef);
        madd_pairs(coef, Tm::n, cc);
    }
    template <class L> ZYLCV_INLINE __m128i operator()(L v) const
    {
        __m128i terms[Tm::n], lo = _mm_setzero_si128(), hi = _mm_setzero_si128();
        Tm::gather(v, terms);
        madd_terms(terms, Tm::n, cc, lo, hi);
        return _mm_packs_epi32(lo, hi);
    }
};
// When no output can leave the 16-bit range (Taps::narrow), 16-bit lanes wrapping modulo 2^16
// give the exact sums, and there is nothing to saturate.
template <int K, bool ODD> struct VSum16<K, ODD, true> {
    Weights<I16, K> wt;
    explicit VSum16(const Taps<Zyl16s> &t) : wt(t) {}
    template <class L> ZYLCV_INLINE __m128i operator()(L v) const
    {
        __m128i p[K / 2 + 1];
        mirror<I16, K, ODD>(v, p);
        return weigh<I16, K, ODD, false>(wt, p);
    }
};
template <int K, bool ODD, bool ONE = false> struct VSum32f {
    Weights<F32, K> wt;
    explicit VSum32f(const Taps<Zyl32f> &t) : wt(t) {}
    template <class L> ZYLCV_INLINE __m128 operator()(L v) const
    {
        __m128 p[K / 2 + 1];
        mirror<F32, K, ODD>(v, p);
        return weigh<F32, K, ODD, ONE>(wt, p);
    }
};
// Laplace: kS over ring A plus kD over ring B. 16-bit rings share the pmaddwd pairs; 32f adds
// the two sums.
template <int K, bool NARROW> struct VSum2x16 {
    using Tm = Terms<K, false>;
    static constexpr int n = 2 * Tm::n;
    __m128i cc[n / 2];
    VSum2x16(const Taps<Zyl16s> &ks, const Taps<Zyl16s> &kd)
    {
        int coef[n];
        Tm::coefficients(ks.c, coef);
        Tm::coefficients(kd.c, coef + Tm::n);
        madd_pairs(coef, n, cc);
    }
    template <class LA, class LB> ZYLCV_INLINE __m128i operator()(LA va, LB vb) const
    {
        __m128i terms[n], lo = _mm_setzero_si128(), hi = _mm_setzero_si128();
        Tm::gather(va, terms);
        Tm::gather(vb, terms + Tm::n);
        madd_terms(terms, n, cc, lo, hi);
        return _mm_packs_epi32(lo, hi);
    }
};
template <int K> struct VSum2x16<K, true> {
    VSum16<K, false, true> s, d;
    VSum2x16(const Taps<Zyl16s> &ks, const Taps<Zyl16s> &kd) : s(ks), d(kd) {}
    template <class LA, class LB> ZYLCV_INLINE __m128i operator()(LA va, LB vb) const
    {
        return _mm_add_epi16(s(va), d(vb));
    }
};
template <int K> struct VSum2x32f {
    VSum32f<K, false, true> s, d;
    VSum2x32f(const Taps<Zyl32f> &ks, const Taps<Zyl32f> &kd) : s(ks), d(kd) {}
    template <class LA, class LB> ZYLCV_INLINE __m128 operator()(LA va, LB vb) const
    {
        return add_ordered(s(va), d(vb));
    }
};
template <class T, int K, bool ODD, bool NARROW>
using VSum = std::conditional_t<std::is_same_v<T, Zyl32f>, VSum32f<K, ODD>, VSum16<K, ODD, NARROW>>;
template <class T, int K, bool NARROW>
using VSum2 = std::conditional_t<std::is_same_v<T, Zyl32f>, VSum2x32f<K>, VSum2x16<K, NARROW>>;

template <class T> auto load_lanes(const T *p)
{
    if constexpr (std::is_same_v<T, Zyl32f>) return _mm_loadu_ps(p);
    else return load(p);
}
template <class T> constexpr int kLanes = 16 / int(sizeof(T));

// ---- box sums -----------------------------------------------------------------------------------

// Eight new row sums (16-bit lanes) into the slot, V and the output.
ZYLCV_INLINE void slide8(__m128i h, Zyl32s *slot, Zyl32s *v, Zyl16s *dst)
{
    const __m128i h0 = lo32(h), h1 = hi32(h);
    const __m128i v0 = _mm_sub_epi32(_mm_add_epi32(load(v), h0), load(slot));
    const __m128i v1 = _mm_sub_epi32(_mm_add_epi32(load(v + 4), h1), load(slot + 4));
    store(slot, h0);
    store(slot + 4, h1);
    store(v, v0);
    store(v + 4, v1);
    store(dst, _mm_packs_epi32(v0, v1));
}

// ---- the row kernels ---------------------------------------------------------------------------

// Each instantiated per aperture, parity and lane width by filter::PackedRows.
struct Kernels {
    // One kernel over a source row into a ring row.
    template <int K, bool ODD, class S, class T>
    static void hrow(const S *src, int w, T *out, const Taps<T> &t)
    {
        using O = Ops<T>;
        const Weights<O, K> wt(t);
        auto body = [&](int x, const typename O::V *p) ZYLCV_INLINE_LAMBDA {
            store_lanes(out + x, weigh<O, K, ODD, true>(wt, p));
        };
        auto edge = [&](int x) ZYLCV_INLINE_LAMBDA {
            out[x] = static_cast<T>(filter::hpass_px(src, w, x, t));
        };
        walk<K, ODD>(src, w, body, edge);
    }
    // Two symmetric kernels over one source row into two ring rows, sharing the mirrored pairs.
    template <int K, class S, class T>
    static void hrow2(const S *src, int w, T *outA, T *outB, const Taps<T> &ta, const Taps<T> &tb)
    {
        using O = Ops<T>;
        const Weights<O, K> wa(ta), wb(tb);
        walk<K, false>(
            src, w,
            [&](int x, const typename O::V *p) ZYLCV_INLINE_LAMBDA {
                store_lanes(outA + x, weigh<O, K, false, true>(wa, p));
                store_lanes(outB + x, weigh<O, K, false, true>(wb, p));
            },
            [&](int x) ZYLCV_INLINE_LAMBDA {
                outA[x] = static_cast<T>(filter::hpass_px(src, w, x, ta));
                outB[x] = static_cast<T>(filter::hpass_px(src, w, x, tb));
            });
    }
    // Sobel vertical pass over a full window: per step one vector of columns; the row ends one at
    // a time.
    template <int K, bool ODD, bool NARROW, class T, class D>
    static void vrow(T *const *r, int w, D *dst, const Taps<T> &t)
    {
        constexpr int a = K / 2, n = kLanes<T>;
        const VSum<T, K, ODD, NARROW> sum(t);
        const Rings<T, K> row(r);
        int x = 0;
        for (; x + n <= w; x += n)
            store_lanes(dst + x,
                        sum([&](int d) ZYLCV_INLINE_LAMBDA { return load_lanes(row[a + d] + x); }));
        for (; x < w; ++x) filter::store_px(dst + x, filter::vpass_px(r, x, t));
    }
    // Laplace vertical pass over full windows.
    template <int K, bool NARROW, class T, class D>
    static void vrow2(T *const *ra, T *const *rb, int w, D *dst, const Taps<T> &ks,
                      const Taps<T> &kd)
    {
        constexpr int a = K / 2, n = kLanes<T>;
        const VSum2<T, K, NARROW> sum(ks, kd);
        const Rings<T, K> rowA(ra), rowB(rb);
        int x = 0;
        for (; x + n <= w; x += n)
            store_lanes(dst + x,
                        sum([&](int d) ZYLCV_INLINE_LAMBDA { return load_lanes(rowA[a + d] + x); },
                            [&](int d)
                                ZYLCV_INLINE_LAMBDA { return load_lanes(rowB[a + d] + x); }));
        for (; x < w; ++x) filter::store_px(dst + x, filter::laplace_px(ra, rb, x, ks, kd));
    }
    // Sobel: the row's horizontal results go into the newest ring row r[K-1] and, still in
    // registers, into the vertical sum of the output row. Columns near the row ends go one at a
    // time through the scalar helpers, the horizontal result before the vertical sum.
    template <int K, bool XODD, bool YODD, bool NARROW, class S, class T, class D>
    static void hvrow(const S *src, int w, T *const *r, D *dst, const Taps<T> &tx,
                      const Taps<T> &ty)
    {
        using O = Ops<T>;
        constexpr int a = K / 2;
        const Weights<O, K> wx(tx);
        const VSum<T, K, YODD, NARROW> sum(ty);
        const Rings<T, K> row(r);
        T *const out = r[K - 1];
        walk<K, XODD>(
            src, w,
            [&](int x, const typename O::V *p) ZYLCV_INLINE_LAMBDA {
                const auto h = weigh<O, K, XODD, true>(wx, p);
                store_lanes(out + x, h);
                auto v = [&](int d) ZYLCV_INLINE_LAMBDA {
                    return d == a ? h : load_lanes(row[a + d] + x);
                };
                store_lanes(dst + x, sum(v));
            },
            [&](int x) ZYLCV_INLINE_LAMBDA {
                out[x] = static_cast<T>(filter::hpass_px(src, w, x, tx));
                filter::store_px(dst + x, filter::vpass_px(r, x, ty));
            });
    }
    // Laplace: both horizontal results of the row into the newest rows of rings A and B, then the
    // output row.
    template <int K, bool NARROW, class S, class T, class D>
    static void hvrow2(const S *src, int w, T *const *ra, T *const *rb, D *dst, const Taps<T> &kd,
                       const Taps<T> &ks)
    {
        using O = Ops<T>;
        constexpr int a = K / 2;
        const Weights<O, K> wd(kd), ws(ks);
        const VSum2<T, K, NARROW> sum(ks, kd);
        const Rings<T, K> rowA(ra), rowB(rb);
        T *const outA = ra[K - 1], *const outB = rb[K - 1];
        walk<K, false>(
            src, w,
            [&](int x, const typename O::V *p) ZYLCV_INLINE_LAMBDA {
                const auto ha = weigh<O, K, false, true>(wd, p),
                           hb = weigh<O, K, false, true>(ws, p);
                store_lanes(outA + x, ha);
                store_lanes(outB + x, hb);
                auto va = [&](int d) ZYLCV_INLINE_LAMBDA {
                    return d == a ? ha : load_lanes(rowA[a + d] + x);
                };
                auto vb = [&](int d) ZYLCV_INLINE_LAMBDA {
                    return d == a ? hb : load_lanes(rowB[a + d] + x);
                };
                store_lanes(dst + x, sum(va, vb));
            },
            [&](int x) ZYLCV_INLINE_LAMBDA {
                outA[x] = static_cast<T>(filter::hpass_px(src, w, x, kd));
                outB[x] = static_cast<T>(filter::hpass_px(src, w, x, ks));
                filter::store_px(dst + x, filter::laplace_px(ra, rb, x, ks, kd));
            });
    }
    // A new 8-bit row enters a full window: per step 16 pixels (then 8) summed over the window in
    // 16-bit lanes (at most 7 * 255), V carried in 32-bit lanes; the first a columns and the row's
    // end one at a time.
    template <int K, class S>
    static void slide_row(const S *src, int w, Zyl32s *slot, Zyl32s *v, Zyl16s *dst)
    {
        constexpr int a = K / 2;
        int x = 0;
        for (; x < a && x < w; ++x) slide_px(box_px(src, w, a, x), slot + x, v + x, dst + x);
        for (; x + 16 + a <= w; x += 16) {
            __m128i lo, hi, l, h;
            widen16(src + x - a, lo, hi);
#pragma GCC unroll 8
            for (int d = 1; d < K; ++d) {
                widen16(src + x - a + d, l, h);
                lo = _mm_add_epi16(lo, l);
                hi = _mm_add_epi16(hi, h);
            }
            slide8(lo, slot + x, v + x, dst + x);
            slide8(hi, slot + x + 8, v + x + 8, dst + x + 8);
        }
        for (; x + 8 + a <= w; x += 8) {
            __m128i s = widen8(src + x - a);
#pragma GCC unroll 8
            for (int d = 1; d < K; ++d) s = _mm_add_epi16(s, widen8(src + x - a + d));
            slide8(s, slot + x, v + x, dst + x);
        }
        for (; x < w; ++x) slide_px(box_px(src, w, a, x), slot + x, v + x, dst + x);
    }
};

// The row operations of this twin: packed versions of the hot ones, the rest shared.
using Rows = filter::PackedRows<Kernels>;

}  // namespace

ZYLCV_FILTER_ENTRIES

}  // namespace zylcv::sse2
