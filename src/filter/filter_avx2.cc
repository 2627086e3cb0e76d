// AVX2 strip-filter kernels. Horizontal passes take 32 pixels per step for 8-bit sources (two
// vectors of sixteen 16-bit lanes), then 16, then 8 in a half register. 32f rows of 8 + a pixels
// or more (a = aperture / 2) take 16, then 8 pixels per step, aligned to the ring rows, and their
// end columns as whole vectors whose lanes replicate the end pixels; narrower rows take 4.
// Vertical sums take one vector per step, then a half one: 16-bit rows are summed into 32-bit
// lanes by pmaddwd and saturated by packssdw (both within 128-bit halves, so the columns come back
// in order), or, when the kernels cannot leave the 16-bit range, summed in 16-bit lanes. A row
// entering a full window is filtered and summed in one pass, its horizontal results used from
// registers. Otherwise columns whose window crosses a row end, and the last pixels of a row, go
// through the scalar helpers of filter.h, so every twin gives the same bits. Box sums of 8-bit
// rows take 32, 16, then 8 pixels per step; 32f box sums are the shared running sums. Kernels
// are instantiated per aperture and parity, so a window's taps stay in registers.
#include "core/simd_avx2.h"
#include "filter.h"

namespace zylcv::avx2 {
namespace {

// The helpers and lambdas below work on arrays of vectors, of full (32-byte) or half (16-byte)
// width alike; inlined, those stay in registers.
using filter::box_px;
using filter::mirror;
using filter::Rings;
using filter::slide_px;
using filter::Taps;
using filter::Weights;

// 16 source pixels as sixteen 16-bit lanes; 8 pixels as eight.
ZYLCV_INLINE __m256i widen16(const Zyl8u *p) { return load16_u8_to_u16(p); }
ZYLCV_INLINE __m256i widen16(const Zyl8s *p) { return load16_s8_to_s16(p); }
ZYLCV_INLINE __m128i widen8(const Zyl8u *p) { return _mm_cvtepu8_epi16(sse2::load8(p)); }
ZYLCV_INLINE __m128i widen8(const Zyl8s *p) { return _mm_cvtepi8_epi16(sse2::load8(p)); }

// A full-width constant as a vector of type V: itself, or its lower half.
template <class V> ZYLCV_INLINE V fit(__m256i v)
{
    if constexpr (sizeof(V) == 32) return v;
    else return _mm256_castsi256_si128(v);
}
template <class V> ZYLCV_INLINE V fit(__m256 v)
{
    if constexpr (sizeof(V) == 32) return v;
    else return _mm256_castps256_ps128(v);
}

// ---- mirrored tap sums in vector lanes, in the order of filter::paired_sum ------------------------

// Lane arithmetic of 16-bit integer rows and of 32f rows, on full and half vectors.
struct I16 {
    using V = __m256i;
    static __m256i add(__m256i a, __m256i b) { return _mm256_add_epi16(a, b); }
    static __m128i add(__m128i a, __m128i b) { return _mm_add_epi16(a, b); }
    static __m256i sub(__m256i a, __m256i b) { return _mm256_sub_epi16(a, b); }
    static __m128i sub(__m128i a, __m128i b) { return _mm_sub_epi16(a, b); }
    static __m256i mul(__m256i a, __m256i b) { return _mm256_mullo_epi16(a, b); }
    static __m128i mul(__m128i a, __m128i b) { return _mm_mullo_epi16(a, b); }
    static V splat(int c) { return _mm256_set1_epi16(static_cast<short>(c)); }
};
struct F32 {
    using V = __m256;
    static __m256 add(__m256 a, __m256 b) { return add_ordered(a, b); }
    static __m128 add(__m128 a, __m128 b) { return add_ordered(a, b); }
    static __m256 sub(__m256 a, __m256 b) { return _mm256_sub_ps(a, b); }
    static __m128 sub(__m128 a, __m128 b) { return _mm_sub_ps(a, b); }
    static __m256 mul(__m256 a, __m256 b) { return _mm256_mul_ps(a, b); }
    static __m128 mul(__m128 a, __m128 b) { return _mm_mul_ps(a, b); }
    static V splat(float c) { return _mm256_set1_ps(c); }
};

// The weighted sum of mirrored pairs, added in the order of filter::paired_sum. With ONE, the
// outermost pair's weight is 1 and is applied without a multiplication: 1 * x is x.
template <class O, int K, bool ONE, class V>
ZYLCV_INLINE V term(const Weights<O, K> &w, const V *p, int i)
{
    return ONE && i == K / 2 ? p[i] : O::mul(fit<V>(w.c[K / 2 + i]), p[i]);
}
template <class O, int K, bool ODD, bool ONE, class V>
ZYLCV_INLINE V weigh(const Weights<O, K> &w, const V *p)
{
    constexpr int a = K / 2;
    V s = ODD ? term<O, K, ONE>(w, p, 1) : O::mul(fit<V>(w.c[a]), p[0]);
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
    template <class V, class L> ZYLCV_INLINE static void gather(L v, V *t)
    {
        V p[a + 1];
        mirror<I16, K, ODD>(v, p);
#pragma GCC unroll 8
        for (int j = 0; j < n; ++j) t[j] = p[ODD ? j + 1 : j];
    }
};

// Pairs of 16-bit coefficients for pmaddwd: lanes (c[2j], c[2j+1]), the odd one out paired with 0.
void madd_pairs(const int *c, int n, __m256i *cc)
{
    for (int j = 0; j < n; j += 2) {
        const int hi = j + 1 < n ? c[j + 1] : 0;
        cc[j / 2] =
            _mm256_set1_epi32(int((std::uint32_t(hi) << 16) | (std::uint32_t(c[j]) & 0xFFFFu)));
    }
}
// The weighted terms t[0..n) summed in 32-bit lanes, then saturated to 16 bits. The unpacks
// and the pack both work within 128-bit halves, so the columns leave in the order they came.
ZYLCV_INLINE __m256i madd_pack(const __m256i *t, int n, const __m256i *cc)
{
    __m256i lo = _mm256_setzero_si256(), hi = _mm256_setzero_si256();
#pragma GCC unroll 8
    for (int j = 0; j < n; j += 2) {
        const __m256i u = j + 1 < n ? t[j + 1] : _mm256_setzero_si256();
        lo = _mm256_add_epi32(lo, _mm256_madd_epi16(_mm256_unpacklo_epi16(t[j], u), cc[j / 2]));
        hi = _mm256_add_epi32(hi, _mm256_madd_epi16(_mm256_unpackhi_epi16(t[j], u), cc[j / 2]));
    }
    return _mm256_packs_epi32(lo, hi);
}
ZYLCV_INLINE __m128i madd_pack(const __m128i *t, int n, const __m256i *cc)
{
    __m128i lo = _mm_setzero_si128(), hi = _mm_setzero_si128();
#pragma GCC unroll 8
    for (int j = 0; j < n; j += 2) {
        const __m128i u = j + 1 < n ? t[j + 1] : _mm_setzero_si128(), c = fit<__m128i>(cc[j / 2]);
        lo = _mm_add_epi32(lo, _mm_madd_epi16(_mm_unpacklo_epi16(t[j], u), c));
        hi = _mm_add_epi32(hi, _mm_madd_epi16(_mm_unpackhi_epi16(t[j], u), c));
    }
    return _mm_packs_epi32(lo, hi);
}

// ---- horizontal passes --------------------------------------------------------------------------

// Walks an 8-bit row: per step 32 pixels (then 16, then 8) whose windows lie inside the row,
// handing the mirrored pairs of each group of sixteen (or eight) to body(x, pairs); the first a
// columns and the row's end go to edge(x), one at a time.
template <int K, bool ODD, class S, class B, class E>
ZYLCV_INLINE void walk(const S *src, int w, B body, E edge)
{
    constexpr int a = K / 2;
    int x = 0;
    for (; x < a && x < w; ++x) edge(x);
    for (; x + 32 + a <= w; x += 32) {
        __m256i pl[a + 1], ph[a + 1];
        mirror<I16, K, ODD>([&](int d) ZYLCV_INLINE_LAMBDA { return widen16(src + x + d); }, pl);
        mirror<I16, K, ODD>([&](int d) ZYLCV_INLINE_LAMBDA { return widen16(src + x + 16 + d); },
                            ph);
        body(x, pl);
        body(x + 16, ph);
    }
    for (; x + 16 + a <= w; x += 16) {
        __m256i p[a + 1];
        mirror<I16, K, ODD>([&](int d) ZYLCV_INLINE_LAMBDA { return widen16(src + x + d); }, p);
        body(x, p);
    }
    for (; x + 8 + a <= w; x += 8) {
        __m128i p[a + 1];
        mirror<I16, K, ODD>([&](int d) ZYLCV_INLINE_LAMBDA { return widen8(src + x + d); }, p);
        body(x, p);
    }
    for (; x < w; ++x) edge(x);
}

// The eight pixels at p with lane i holding pixel i + d clamped to [0, 8): the neighbours at
// offset d of a row's first (d < 0) or last (d > 0) eight pixels, border replicated.
ZYLCV_INLINE __m256 clamped8(const Zyl32f *p, int d)
{
    const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i i = _mm256_min_epi32(
        _mm256_max_epi32(_mm256_add_epi32(lane, _mm256_set1_epi32(d)), _mm256_setzero_si256()),
        _mm256_set1_epi32(7));
    return _mm256_permutevar8x32_ps(load(p), i);
}

// The mirrored pairs of the eight pixels whose neighbours v(d) gives, handed to body(x, pairs).
template <int K, bool ODD, class L, class B> ZYLCV_INLINE void pairs_to(int x, L v, B &body)
{
    __m256 p[K / 2 + 1];
    mirror<F32, K, ODD>(v, p);
    body(x, p);
}

// Walks a 32f row, handing the mirrored pairs of each group of eight (or four) pixels to
// body(x, pairs). Rows of at least 8 + a pixels go as vectors only: the first eight columns with
// the neighbours left of the row replicated within the vector, then 16 (then 8) per step from
// the column where `lead` + x is 32-byte aligned (from column a if that lies before it), then the
// last 8 + a columns as two vectors (the first only where it lies past the first eight columns
// and is not done yet), the last one replicating the neighbours right of the row; these may
// overlap columns done.
// Doing a column twice writes the same values again: its results depend only on the source row
// and the window's older ring rows. Narrower rows take 4 pixels per step and their ends go to
// edge(x).
template <int K, bool ODD, class B, class E>
ZYLCV_INLINE void walk(const Zyl32f *src, int w, B body, E edge, const Zyl32f *lead)
{
    constexpr int a = K / 2;
    int x = 0;
    if (w >= 8 + a) {
        auto step = [&](int at, auto v) ZYLCV_INLINE_LAMBDA { pairs_to<K, ODD>(at, v, body); };
        step(0,
             [&](int d) ZYLCV_INLINE_LAMBDA { return d < 0 ? clamped8(src, d) : load(src + d); });
        x = 8 - int((reinterpret_cast<std::uintptr_t>(lead) / sizeof(Zyl32f)) & 7);
        if (x < a) x = a;
        for (; x + 16 + a <= w; x += 16) {
            __m256 p0[a + 1], p1[a + 1];
            mirror<F32, K, ODD>([&](int d) ZYLCV_INLINE_LAMBDA { return load(src + x + d); }, p0);
            mirror<F32, K, ODD>([&](int d) ZYLCV_INLINE_LAMBDA { return load(src + x + 8 + d); },
                                p1);
            body(x, p0);
            body(x + 8, p1);
        }
        for (; x + 8 + a <= w; x += 8)
            step(x, [&](int d) ZYLCV_INLINE_LAMBDA { return load(src + x + d); });
        const int e = w - 8;
        if (x < e && e > 8)
            step(e - a, [&](int d) ZYLCV_INLINE_LAMBDA { return load(src + e - a + d); });
        if (x < w)
            step(e, [&](int d) ZYLCV_INLINE_LAMBDA {
                return d > 0 ? clamped8(src + e, d) : load(src + e + d);
            });
        return;
    }
    for (; x < a && x < w; ++x) edge(x);
    for (; x + 4 + a <= w; x += 4) {
        __m128 p[a + 1];
        mirror<F32, K, ODD>([&](int d) ZYLCV_INLINE_LAMBDA { return _mm_loadu_ps(src + x + d); },
                            p);
        body(x, p);
    }
    for (; x < w; ++x) edge(x);
}
// 8-bit rows ignore `lead`.
template <int K, bool ODD, class S, class B, class E>
ZYLCV_INLINE void walk(const S *src, int w, B body, E edge, const void *)
{
    walk<K, ODD>(src, w, body, edge);
}

ZYLCV_INLINE void store_lanes(Zyl16s *p, __m256i v) { store(p, v); }
ZYLCV_INLINE void store_lanes(Zyl16s *p, __m128i v) { sse2::store(p, v); }
ZYLCV_INLINE void store_lanes(Zyl32f *p, __m256 v) { store(p, v); }
ZYLCV_INLINE void store_lanes(Zyl32f *p, __m128 v) { _mm_storeu_ps(p, v); }
template <class T> using Ops = std::conditional_t<std::is_same_v<T, Zyl32f>, F32, I16>;

// ---- vertical passes ----------------------------------------------------------------------------

// A vector of ring-row columns from p: full width, or a half (H).
template <bool H> ZYLCV_INLINE auto load_lanes(const Zyl16s *p)
{
    if constexpr (H) return sse2::load(p);
    else return load(p);
}
template <bool H> ZYLCV_INLINE auto load_lanes(const Zyl32f *p)
{
    if constexpr (H) return _mm_loadu_ps(p);
    else return load(p);
}
template <class T> constexpr int kLanes = 32 / int(sizeof(T));

// Vertical sum of one group of columns, given the window's rows v(d), d = -a..a: sixteen (or
// eight) 16-bit columns summed in 32-bit lanes by pmaddwd and saturated by packssdw, or eight
// (or four) 32f columns.
template <int K, bool ODD, bool NARROW> struct VSum16 {
    using Tm = Terms<K, ODD>;
    __m256i cc[(Tm::n + 1) / 2];
    explicit VSum16(const Taps<Zyl16s> &t)
    {
        int coef[K];
        Tm::coefficients(t.c, coef);
        madd_pairs(coef, Tm::n, cc);
    }
    template <class L> ZYLCV_INLINE auto operator()(L v) const
    {
        decltype(v(0)) terms[Tm::n];
        Tm::gather(v, terms);
        return madd_pack(terms, Tm::n, cc);
    }
};
// When no output can leave the 16-bit range (Taps::narrow), 16-bit lanes wrapping modulo 2^16
// give the exact sums, and there is nothing to saturate.
template <int K, bool ODD> struct VSum16<K, ODD, true> {
    Weights<I16, K> wt;
    explicit VSum16(const Taps<Zyl16s> &t) : wt(t) {}
    template <class L> ZYLCV_INLINE auto operator()(L v) const
    {
        decltype(v(0)) p[K / 2 + 1];
        mirror<I16, K, ODD>(v, p);
        return weigh<I16, K, ODD, false>(wt, p);
    }
};
template <int K, bool ODD, bool ONE = false> struct VSum32f {
    Weights<F32, K> wt;
    explicit VSum32f(const Taps<Zyl32f> &t) : wt(t) {}
    template <class L> ZYLCV_INLINE auto operator()(L v) const
    {
        decltype(v(0)) p[K / 2 + 1];
        mirror<F32, K, ODD>(v, p);
        return weigh<F32, K, ODD, ONE>(wt, p);
    }
};
// Laplace: kS over ring A plus kD over ring B. 16-bit rings share the pmaddwd pairs; 32f adds
// the two sums.
template <int K, bool NARROW> struct VSum2x16 {
    using Tm = Terms<K, false>;
    static constexpr int n = 2 * Tm::n;
    __m256i cc[n / 2];
    VSum2x16(const Taps<Zyl16s> &ks, const Taps<Zyl16s> &kd)
    {
        int coef[n];
        Tm::coefficients(ks.c, coef);
        Tm::coefficients(kd.c, coef + Tm::n);
        madd_pairs(coef, n, cc);
    }
    template <class LA, class LB> ZYLCV_INLINE auto operator()(LA va, LB vb) const
    {
        decltype(va(0)) terms[n];
        Tm::gather(va, terms);
        Tm::gather(vb, terms + Tm::n);
        return madd_pack(terms, n, cc);
    }
};
template <int K> struct VSum2x16<K, true> {
    VSum16<K, false, true> s, d;
    VSum2x16(const Taps<Zyl16s> &ks, const Taps<Zyl16s> &kd) : s(ks), d(kd) {}
    template <class LA, class LB> ZYLCV_INLINE auto operator()(LA va, LB vb) const
    {
        return I16::add(s(va), d(vb));
    }
};
template <int K> struct VSum2x32f {
    VSum32f<K, false, true> s, d;
    VSum2x32f(const Taps<Zyl32f> &ks, const Taps<Zyl32f> &kd) : s(ks), d(kd) {}
    template <class LA, class LB> ZYLCV_INLINE auto operator()(LA va, LB vb) const
    {
        return add_ordered(s(va), d(vb));
    }
};
template <class T, int K, bool ODD, bool NARROW>
using VSum = std::conditional_t<std::is_same_v<T, Zyl32f>, VSum32f<K, ODD>, VSum16<K, ODD, NARROW>>;
template <class T, int K, bool NARROW>
using VSum2 = std::conditional_t<std::is_same_v<T, Zyl32f>, VSum2x32f<K>, VSum2x16<K, NARROW>>;

// The ring-row vector of the same width as h at p.
template <class V, class T> ZYLCV_INLINE V load_as(const T *p)
{
    return load_lanes<sizeof(V) == 16>(p);
}

// ---- box sums -----------------------------------------------------------------------------------

// Eight new row sums (32-bit lanes) into the slot and V; returns V.
ZYLCV_INLINE __m256i slide8(__m256i h, Zyl32s *slot, Zyl32s *v)
{
    const __m256i vv = _mm256_sub_epi32(_mm256_add_epi32(load(v), h), load(slot));
    store(slot, h);
    store(v, vv);
    return vv;
}
// Sixteen or eight new row sums (16-bit lanes) into the slot, V and the output.
ZYLCV_INLINE void slide16(__m256i h, Zyl32s *slot, Zyl32s *v, Zyl16s *dst)
{
    const __m256i v0 = slide8(_mm256_cvtepi16_epi32(_mm256_castsi256_si128(h)), slot, v);
    const __m256i v1 =
        slide8(_mm256_cvtepi16_epi32(_mm256_extracti128_si256(h, 1)), slot + 8, v + 8);
    store(dst, packs32_ordered(v0, v1));
}
ZYLCV_INLINE void slide16(__m128i h, Zyl32s *slot, Zyl32s *v, Zyl16s *dst)
{
    const __m256i v0 = slide8(_mm256_cvtepi16_epi32(h), slot, v);
    sse2::store(dst, _mm_packs_epi32(_mm256_castsi256_si128(v0), _mm256_extracti128_si256(v0, 1)));
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
        auto body = [&](int x, const auto *p) ZYLCV_INLINE_LAMBDA {
            store_lanes(out + x, weigh<O, K, ODD, true>(wt, p));
        };
        auto edge = [&](int x) ZYLCV_INLINE_LAMBDA {
            out[x] = static_cast<T>(filter::hpass_px(src, w, x, t));
        };
        walk<K, ODD>(src, w, body, edge, out);
    }
    // Two symmetric kernels over one source row into two ring rows, sharing the mirrored pairs.
    template <int K, class S, class T>
    static void hrow2(const S *src, int w, T *outA, T *outB, const Taps<T> &ta, const Taps<T> &tb)
    {
        using O = Ops<T>;
        const Weights<O, K> wa(ta), wb(tb);
        walk<K, false>(
            src, w,
            [&](int x, const auto *p) ZYLCV_INLINE_LAMBDA {
                store_lanes(outA + x, weigh<O, K, false, true>(wa, p));
                store_lanes(outB + x, weigh<O, K, false, true>(wb, p));
            },
            [&](int x) ZYLCV_INLINE_LAMBDA {
                outA[x] = static_cast<T>(filter::hpass_px(src, w, x, ta));
                outB[x] = static_cast<T>(filter::hpass_px(src, w, x, tb));
            },
            outA);
    }
    // Sobel vertical pass over a full window: per step one vector of columns, then a half one; the
    // row ends one at a time.
    template <int K, bool ODD, bool NARROW, class T, class D>
    static void vrow(T *const *r, int w, D *dst, const Taps<T> &t)
    {
        constexpr int a = K / 2, n = kLanes<T>;
        const VSum<T, K, ODD, NARROW> sum(t);
        const Rings<T, K> row(r);
        int x = 0;
        for (; x + n <= w; x += n)
            store_lanes(dst + x, sum([&](int d) ZYLCV_INLINE_LAMBDA {
                            return load_lanes<false>(row[a + d] + x);
                        }));
        for (; x + n / 2 <= w; x += n / 2)
            store_lanes(dst + x, sum([&](int d) ZYLCV_INLINE_LAMBDA {
                            return load_lanes<true>(row[a + d] + x);
                        }));
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
        auto step = [&](int x, auto half) ZYLCV_INLINE_LAMBDA {
            constexpr bool H = decltype(half)::value;
            store_lanes(
                dst + x,
                sum([&](int d) ZYLCV_INLINE_LAMBDA { return load_lanes<H>(rowA[a + d] + x); },
                    [&](int d) ZYLCV_INLINE_LAMBDA { return load_lanes<H>(rowB[a + d] + x); }));
        };
        int x = 0;
        for (; x + n <= w; x += n) step(x, std::false_type{});
        for (; x + n / 2 <= w; x += n / 2) step(x, std::true_type{});
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
            [&](int x, const auto *p) ZYLCV_INLINE_LAMBDA {
                const auto h = weigh<O, K, XODD, true>(wx, p);
                using V = std::remove_const_t<decltype(h)>;
                store_lanes(out + x, h);
                auto v = [&](int d) ZYLCV_INLINE_LAMBDA {
                    return d == a ? h : load_as<V>(row[a + d] + x);
                };
                store_lanes(dst + x, sum(v));
            },
            [&](int x) ZYLCV_INLINE_LAMBDA {
                out[x] = static_cast<T>(filter::hpass_px(src, w, x, tx));
                filter::store_px(dst + x, filter::vpass_px(r, x, ty));
            },
            out);
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
            [&](int x, const auto *p) ZYLCV_INLINE_LAMBDA {
                const auto ha = weigh<O, K, false, true>(wd, p),
                           hb = weigh<O, K, false, true>(ws, p);
                using V = std::remove_const_t<decltype(ha)>;
                store_lanes(outA + x, ha);
                store_lanes(outB + x, hb);
                auto va = [&](int d) ZYLCV_INLINE_LAMBDA {
                    return d == a ? ha : load_as<V>(rowA[a + d] + x);
                };
                auto vb = [&](int d) ZYLCV_INLINE_LAMBDA {
                    return d == a ? hb : load_as<V>(rowB[a + d] + x);
                };
                store_lanes(dst + x, sum(va, vb));
            },
            [&](int x) ZYLCV_INLINE_LAMBDA {
                outA[x] = static_cast<T>(filter::hpass_px(src, w, x, kd));
                outB[x] = static_cast<T>(filter::hpass_px(src, w, x, ks));
                filter::store_px(dst + x, filter::laplace_px(ra, rb, x, ks, kd));
            },
            outA);
    }
    // A new 8-bit row enters a full window: per step 32 pixels (then 16, then 8) summed over the
    // window in 16-bit lanes (at most 7 * 255), V carried in 32-bit lanes; the first a columns and
    // the row's end one at a time.
    template <int K, class S>
    static void slide_row(const S *src, int w, Zyl32s *slot, Zyl32s *v, Zyl16s *dst)
    {
        constexpr int a = K / 2;
        int x = 0;
        for (; x < a && x < w; ++x) slide_px(box_px(src, w, a, x), slot + x, v + x, dst + x);
        for (; x + 32 + a <= w; x += 32) {
            __m256i lo = widen16(src + x - a), hi = widen16(src + x + 16 - a);
#pragma GCC unroll 8
            for (int d = 1; d < K; ++d) {
                lo = _mm256_add_epi16(lo, widen16(src + x - a + d));
                hi = _mm256_add_epi16(hi, widen16(src + x + 16 - a + d));
            }
            slide16(lo, slot + x, v + x, dst + x);
            slide16(hi, slot + x + 16, v + x + 16, dst + x + 16);
        }
        for (; x + 16 + a <= w; x += 16) {
            __m256i s = widen16(src + x - a);
#pragma GCC unroll 8
            for (int d = 1; d < K; ++d) s = _mm256_add_epi16(s, widen16(src + x - a + d));
            slide16(s, slot + x, v + x, dst + x);
        }
        for (; x + 8 + a <= w; x += 8) {
            __m128i s = widen8(src + x - a);
#pragma GCC unroll 8
            for (int d = 1; d < K; ++d) s = _mm_add_epi16(s, widen8(src + x - a + d));
            slide16(s, slot + x, v + x, dst + x);
        }
        for (; x < w; ++x) slide_px(box_px(src, w, a, x), slot + x, v + x, dst + x);
    }
};

// The row operations of this twin: packed versions of the hot ones, the rest shared.
using Rows = filter::PackedRows<Kernels>;

}  // namespace

ZYLCV_FILTER_ENTRIES

}  // namespace zylcv::avx2
