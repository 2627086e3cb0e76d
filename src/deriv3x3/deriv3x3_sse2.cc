// SSE2 fixed 3x3 derivative kernels: the lanes of the shared walk of deriv3x3.h. 8-bit sources
// go in blocks of 8 pixels in 16-bit lanes, 32f sources in blocks of 4 lanes, reading x-1, x and
// x+1 with unaligned loads; two blocks per step from column 1, then single blocks, the last one
// ending at the last column but one; the border columns (and rows too short for a block) go
// through the shared helpers. A large destination whose rows are 64-byte aligned is streamed
// around the cache in whole cache lines, four blocks per step.
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
    static void fence() { _mm_sfence(); }
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
    static void fence() { _mm_sfence(); }
};

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
