// SSE2 fixed 3x3 derivative kernels. Every output row comes straight from the horizontal terms
// of its three source rows, so the destination is written once and nothing is buffered. The
// rows between the first and the last go in bands of kBand rows: per block column the terms
// walk down the band in registers, so each row term is formed about once. 8-bit sources go in
// blocks of 8 pixels in 16-bit lanes, 32f sources in blocks of 4 lanes, reading x-1, x and x+1
// with unaligned loads; two blocks per step from column 1 with ordinary stores, then single
// blocks, then pixel by pixel through the shared helpers (column 0 too). A large destination
// whose rows are 64-byte aligned is streamed around the cache in whole cache lines: four blocks
// per step from its first 64-byte boundary, the columns before it in single blocks (the last
// one overlapping its neighbour rather than leaving pixels to the scalar helper), and the source
// rows are prefetched eight cache lines ahead, since the band reads a dozen rows at once.
#include <emmintrin.h>

#include "core/simd_sse2.h"
#include "deriv3x3.h"

namespace zylcv::sse2 {
namespace {

using namespace deriv3x3;

// ---- 8-bit sources ----

// 8 pixels in 16-bit lanes: zero-extended for 8u, sign-extended for 8s.
template <class S> __m128i widen8(const S *p)
{
    __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(p));
    if constexpr (std::is_same_v<S, Zyl8u>) return _mm_unpacklo_epi8(v, _mm_setzero_si128());
    else return _mm_srai_epi16(_mm_unpacklo_epi8(v, v), 8);
}

// `combine` on 8 lanes; every value fits 16 bits (at most 4080 in magnitude).
template <Term T, int E, int C> __m128i combine8(__m128i a, __m128i b, __m128i c)
{
    if constexpr (T == Term::Diff) {
        return _mm_sub_epi16(c, a);
    } else if constexpr (T == Term::Second) {
        return _mm_sub_epi16(_mm_add_epi16(a, c), _mm_add_epi16(b, b));
    } else if constexpr (E == 1 && C == 2) {
        return _mm_add_epi16(_mm_add_epi16(a, c), _mm_add_epi16(b, b));
    } else {
        __m128i outer = _mm_mullo_epi16(_mm_add_epi16(a, c), _mm_set1_epi16(E));
        return _mm_add_epi16(outer, _mm_mullo_epi16(b, _mm_set1_epi16(C)));
    }
}

// ---- lanes: the block operations of each source type ----
// row(p): what a row contributes, from the horizontal term of the N columns from p (p[-1] and
// p[N] lie inside the row); out(a, b, c): the N results from the contributions of rows y-1, y,
// y+1; store/stream: N results.

// 8-bit sources: 8 pixels in 16-bit lanes, exact. Swap exchanges rows y-1 and y+1, which
// negates the odd kinds of a bottom-up image; Scharr sums are then shifted arithmetically.
template <Kind K, bool Swap, class S> struct IntLanes {
    using Src = S;
    using Dst = Zyl16s;
    using V = __m128i;
    static constexpr int N = 8;
    static constexpr DerivDesc d = describe(K);
    __m128i count;

    using R = V;

    R row(const S *p) const
    {
        return combine8<d.h, d.edge, d.centre>(widen8(p - 1), widen8(p), widen8(p + 1));
    }
    V out(V a, V b, V c) const
    {
        V v = Swap ? combine8<d.v, d.edge, d.centre>(c, b, a)
                   : combine8<d.v, d.edge, d.centre>(a, b, c);
        if constexpr (d.shifted) v = _mm_sra_epi16(v, count);
        return v;
    }
    static void store(Zyl16s *p, V v) { sse2::store(p, v); }
    static void stream(Zyl16s *p, V v) { sse2::store<Streaming>(p, v); }
};

// What a 32f row contributes: its term, or inside the image for Scharr d/dx the term times e
// and times f.
struct Weighted {
    __m128 et, ft;
};
template <bool W> struct FloatRow {
    using type = __m128;
};
template <> struct FloatRow<true> {
    using type = Weighted;
};

// 32f: 4 lanes in the order of deriv_term32f and deriv_px32f, for a row at position P (merged
// weights in the first and last rows of the d/dx kinds). Sobel's weights 1 and 2 become plain
// sums (same bits); Swap exchanges rows y-1 and y+1 (Sobel d/dy of a bottom-up image). Inside
// the image a Scharr d/dx row contributes its two weighted terms, each formed once.
template <Kind K, RowPos P, bool Swap> struct FloatLanes {
    using Src = Zyl32f;
    using Dst = Zyl32f;
    using V = __m128;
    static constexpr int N = 4;
    static constexpr DerivDesc d = describe(K);
    static constexpr bool scharr = d.shifted;
    static constexpr bool weighted = scharr && d.v == Term::Smooth && P == RowPos::Inner;
    using R = typename FloatRow<weighted>::type;
    __m128 e, f, g;

    R row(const Zyl32f *p) const
    {
        const V t = term(p);
        if constexpr (weighted) return {_mm_mul_ps(e, t), _mm_mul_ps(f, t)};
        else return t;
    }
    V out(const R &a, const R &b, const R &c) const
    {
        if constexpr (weighted) return add_ordered(add_ordered(a.et, b.ft), c.et);
        else return vert(a, b, c);
    }

    V term(const Zyl32f *p) const
    {
        const __m128 l = _mm_loadu_ps(p - 1), r = _mm_loadu_ps(p + 1);
        if constexpr (d.h == Term::Diff) return _mm_sub_ps(r, l);
        const __m128 c = _mm_loadu_ps(p);
        if constexpr (scharr)
            return add_ordered(add_ordered(_mm_mul_ps(e, l), _mm_mul_ps(f, c)), _mm_mul_ps(e, r));
        else return add_ordered(add_ordered(l, _mm_add_ps(c, c)), r);
    }
    V vert(V a, V b, V c) const
    {
        if constexpr (d.v == Term::Diff) {
            return Swap ? _mm_sub_ps(a, c) : _mm_sub_ps(c, a);
        } else if constexpr (P == RowPos::Top) {
            return add_ordered(_mm_mul_ps(g, b), scharr ? _mm_mul_ps(e, c) : c);
        } else if constexpr (P == RowPos::Bottom) {
            return add_ordered(scharr ? _mm_mul_ps(e, a) : a, _mm_mul_ps(g, b));
        } else {
            if constexpr (scharr)
                return add_ordered(add_ordered(_mm_mul_ps(e, a), _mm_mul_ps(f, b)),
                                   _mm_mul_ps(e, c));
            else return add_ordered(add_ordered(a, _mm_add_ps(b, b)), c);
        }
    }
    static void store(Zyl32f *p, V v) { sse2::store(p, v); }
    static void stream(Zyl32f *p, V v) { sse2::store<Streaming>(p, v); }
};

// ---- walking the image ----

// Output rows per band: enough to form most row terms once, few enough that the band's rows
// stay in the first-level cache; a multiple of three (see walk).
constexpr int kBand = 9;

// Destinations at least this large (bytes) are streamed when their rows are 64-byte aligned.
constexpr std::int64_t kStreamBytes = 2 << 20;

// The columns of every row: [0, s0) pixel by pixel; [s0, x0) in single blocks, the last one
// ending at x0 (x0 - s0 is 0 or at least one block); [x0, x1) in steps of several blocks;
// [x1, xe) in single blocks; [xe, w) pixel by pixel.
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
        auto next = [&](R *ra, R *rb, R *rc) ZYLCV_INLINE_LAMBDA {
            p = advance(p, nextStep);
            if constexpr (Stream)
                _mm_prefetch(reinterpret_cast<const char *>(p) + 512, _MM_HINT_T0);
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
    constexpr int N = L::N;
    if (c.x0 > c.s0) {
        const int whole = c.s0 + (c.x0 - c.s0) / N * N;
        walk<false, 1>(l, up, mid, nextStep, out, dstStep, n, c.s0, whole);
        if (whole < c.x0)
            walk<false, 1>(l, up, mid, nextStep, out, dstStep, n, c.x0 - N, c.x0 - N + 1);
    }
    walk<Stream, Stream ? 4 : 2>(l, up, mid, nextStep, out, dstStep, n, c.x0, c.x1);
    walk<false, 1>(l, up, mid, nextStep, out, dstStep, n, c.x1, c.xe);
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
    if constexpr (Stream) _mm_sfence();
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
                          Columns{x0 - 1 >= N ? 1 : x0, x0, x1, x1 + (w - 1 - x1) / N * N});
            return;
        }
    }
    const int x1 = 1 + (w - 2 > 0 ? (w - 2) / (2 * N) * (2 * N) : 0);
    rows_of<false>(top, inner, bottom, scalar, src, srcStep, dst, dstStep, w, h,
                   Columns{1, 1, x1, x1 + (w - 1 - x1 > 0 ? (w - 1 - x1) / N * N : 0)});
}

// The row operations of this twin: the kind's lanes for every row of an 8-bit source (replicated
// rows give the merged weights); lanes for the first, inner and last rows of a 32f source.
struct Rows {
    template <Kind K, bool Swap, class S>
    static void rows(const S *src, int srcStep, Zyl16s *dst, int dstStep, int w, int h, int shift)
    {
        const IntLanes<K, Swap, S> l{_mm_cvtsi32_si128(shift)};
        auto scalar = [&](int y, Zyl16s *out, int x0, int x1) {
            deriv_span<K>(deriv_rows(src, srcStep, y, h, Swap), out, x0, x1, w, shift);
        };
        drive(l, l, l, scalar, src, srcStep, dst, dstStep, w, h);
    }

    template <Kind K, bool Swap>
    static void rows32f(const Zyl32f *src, int srcStep, Zyl32f *dst, int dstStep, int w, int h,
                        const DerivWeights &k)
    {
        const __m128 e = _mm_set1_ps(k.e), f = _mm_set1_ps(k.f), g = _mm_set1_ps(k.g);
        auto scalar = [&](int y, Zyl32f *out, int x0, int x1) {
            deriv_span32f<K>(deriv_rows(src, srcStep, y, h, Swap), out, x0, x1, w, row_pos(y, h),
                             k);
        };
        drive(
            FloatLanes<K, RowPos::Top, Swap>{e, f, g}, FloatLanes<K, RowPos::Inner, Swap>{e, f, g},
            FloatLanes<K, RowPos::Bottom, Swap>{e, f, g}, scalar, src, srcStep, dst, dstStep, w, h);
    }
};

}  // namespace

ZYLCV_DERIV3X3_ENTRIES

}  // namespace zylcv::sse2
