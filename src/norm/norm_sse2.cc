// SSE2 norm kernels.
//
// 8-bit data: 32 pixels per step in two registers, masked by comparing the mask bytes with
// zero. Magnitudes are formed byte-wise (8s values: complement and increment of the negative
// bytes; differences: the sum of the two saturating unsigned differences, 8s data offset by 128
// first). Inf keeps the largest byte per lane, L1 sums bytes with psadbw into 64-bit lanes, L2
// squares with pmaddwd into 32-bit lanes that are moved into 64-bit totals often enough never to
// overflow. The channel-of-interest forms gather the chosen channel of 32 pixels from 96 bytes.
// One-channel rows end with one 16-pixel step, then pixel by pixel; images whose rows are
// contiguous run as one long row (integer reductions do not depend on the order).
//
// 32f data: 8 pixels per step, the lanes of one register being the four partial sums; the mask
// bytes are widened to lane masks that clear unselected terms. Rows end pixel by pixel into
// lane 0, exactly as the portable twin adds into P0.
//
// Every kernel has an aligned and an unaligned loop; the choice never changes a result.
#include <emmintrin.h>

#include "core/simd_sse2.h"
#include "norm.h"

namespace zylcv::sse2 {
using namespace norm;

namespace {

// ---- 8-bit data --------------------------------------------------------------------------

// Six registers of 96 interleaved bytes. One round interleaves register s with register s + 3
// byte by byte; after five rounds registers 2c and 2c + 1 hold channel c of pixels 0..15 and
// 16..31 in order. Only the unpacks that feed the wanted channel survive optimisation.
struct Six {
    __m128i r[6];
};
ZYLCV_INLINE Six interleave_round(const Six &in)
{
    Six out;
    for (int s = 0; s < 3; ++s) {
        out.r[2 * s] = _mm_unpacklo_epi8(in.r[s], in.r[s + 3]);
        out.r[2 * s + 1] = _mm_unpackhi_epi8(in.r[s], in.r[s + 3]);
    }
    return out;
}

// Chosen elements of pixels x..x+31 of a row: a one-channel row (Ch 0), or channel Ch of three.
template <int P, int Ch>
ZYLCV_INLINE void pixels32(const void *row, long x, __m128i &lo, __m128i &hi)
{
    auto p = static_cast<const Zyl8u *>(row);
    if constexpr (Ch == 0) {
        lo = load<P>(p + x);
        hi = load<P>(p + x + 16);
    } else {
        p += 3 * x;
        Six v{{load<P>(p), load<P>(p + 16), load<P>(p + 32), load<P>(p + 48), load<P>(p + 64),
               load<P>(p + 80)}};
        v = interleave_round(
            interleave_round(interleave_round(interleave_round(interleave_round(v)))));
        lo = v.r[2 * (Ch - 1)];
        hi = v.r[2 * (Ch - 1) + 1];
    }
}

ZYLCV_INLINE __m128i flip_sign(__m128i v) { return _mm_xor_si128(v, _mm_set1_epi8(char(0x80))); }

// Reduction of masked byte magnitudes for one kind; total() after flush().
template <NormKind K> struct ByteReduce;
template <> struct ByteReduce<NormKind::Inf> {
    __m128i v = _mm_setzero_si128();
    ZYLCV_INLINE void add(__m128i x) { v = _mm_max_epu8(v, x); }
    void flush() {}
    std::uint64_t total() const
    {
        __m128i m = _mm_max_epu8(v, _mm_srli_si128(v, 8));
        m = _mm_max_epu8(m, _mm_srli_si128(m, 4));
        m = _mm_max_epu8(m, _mm_srli_si128(m, 2));
        m = _mm_max_epu8(m, _mm_srli_si128(m, 1));
        return std::uint64_t(_mm_cvtsi128_si32(m) & 0xFF);
    }
};
template <> struct ByteReduce<NormKind::L1> {
    __m128i v = _mm_setzero_si128();  // two 64-bit lanes
    ZYLCV_INLINE void add(__m128i x) { v = _mm_add_epi64(v, _mm_sad_epu8(x, _mm_setzero_si128())); }
    void flush() {}
    std::uint64_t total() const
    {
        alignas(16) std::uint64_t l[2];
        _mm_store_si128(reinterpret_cast<__m128i *>(l), v);
        return l[0] + l[1];
    }
};
template <> struct ByteReduce<NormKind::L2> {
    __m128i s32 = _mm_setzero_si128();  // four 32-bit lanes, each at most 4 * 255^2 per add
    __m128i s64 = _mm_setzero_si128();  // two 64-bit lanes
    ZYLCV_INLINE void add(__m128i x)
    {
        const __m128i z = _mm_setzero_si128();
        __m128i lo = _mm_unpacklo_epi8(x, z), hi = _mm_unpackhi_epi8(x, z);
        s32 = _mm_add_epi32(s32, _mm_add_epi32(_mm_madd_epi16(lo, lo), _mm_madd_epi16(hi, hi)));
    }
    void flush()
    {
        const __m128i z = _mm_setzero_si128();
        s64 = _mm_add_epi64(s64,
                            _mm_add_epi64(_mm_unpacklo_epi32(s32, z), _mm_unpackhi_epi32(s32, z)));
        s32 = z;
    }
    std::uint64_t total() const
    {
        alignas(16) std::uint64_t l[2];
        _mm_store_si128(reinterpret_cast<__m128i *>(l), s64);
        return l[0] + l[1];
    }
};
// 32-bit lanes of the L2 reduction take at most 4 * 255^2 per register: flush before 2^32.
constexpr long kFlushPixels = 16 * 4096;

// Byte lanes of the 8-bit reductions: 16 pixels per register.
struct Bytes {
    using Reg = __m128i;
    template <NormKind K> using Reduce = ByteReduce<K>;

    // All ones where the mask byte is zero.
    static ZYLCV_INLINE __m128i unselected(__m128i m)
    {
        return _mm_cmpeq_epi8(m, _mm_setzero_si128());
    }
    static ZYLCV_INLINE __m128i keep(__m128i off, __m128i v) { return _mm_andnot_si128(off, v); }
    // Byte magnitudes of 16 values or of 16 exact differences (0..255).
    template <class T> static ZYLCV_INLINE __m128i magnitude(__m128i v)
    {
        if constexpr (std::is_same_v<T, Zyl8u>) return v;
        else {
            __m128i neg = _mm_cmpgt_epi8(_mm_setzero_si128(), v);
            return _mm_sub_epi8(_mm_xor_si128(v, neg), neg);
        }
    }
    template <class T> static ZYLCV_INLINE __m128i magnitude(__m128i a, __m128i b)
    {
        if constexpr (std::is_same_v<T, Zyl8s>) {
            a = flip_sign(a);
            b = flip_sign(b);
        }
        return _mm_add_epi8(_mm_subs_epu8(a, b), _mm_subs_epu8(b, a));
    }
};

// Per step: 32 pixels in two registers; one-channel rows then take one 16-pixel step; the row
// ends pixel by pixel.
template <int P, int Ch, NormKind K, NormTerm R, class T>
ZYLCV_INLINE void int_row(const T *a, const T *b, const Zyl8u *m, long w,
                          ByteTotals<Bytes, K, R> &acc)
{
    constexpr bool two = R != NormTerm::Value;
    const long w32 = w & ~31L;
    long x = 0;
    while (x < w32) {
        const long end = w32 - x > kFlushPixels ? x + kFlushPixels : w32;
        for (; x < end; x += 32) {
            __m128i a0, a1, b0 = _mm_setzero_si128(), b1 = _mm_setzero_si128();
            pixels32<P, Ch>(a, x, a0, a1);
            if constexpr (two) pixels32<P, Ch>(b, x, b0, b1);
            acc.template add<T>(a0, b0, load<P>(m + x));
            acc.template add<T>(a1, b1, load<P>(m + x + 16));
        }
        acc.flush();
    }
    if constexpr (Ch == 0) {
        if (x + 16 <= w) {
            __m128i bv = two ? load<P>(b + x) : _mm_setzero_si128();
            acc.template add<T>(load<P>(a + x), bv, load<P>(m + x));
            acc.flush();
            x += 16;
        }
    }
    row_end<Ch, R>(a, b, m, x, w, acc);
}

// ---- 32f data ----------------------------------------------------------------------------

// Lane masks of 8 pixels, all ones where the mask byte is zero.
ZYLCV_INLINE void unselected8(const Zyl8u *m, __m128 &lo, __m128 &hi)
{
    __m128i z =
        _mm_cmpeq_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(m)), _mm_setzero_si128());
    __m128i z16 = _mm_unpacklo_epi8(z, z);
    lo = _mm_castsi128_ps(_mm_unpacklo_epi16(z16, z16));
    hi = _mm_castsi128_ps(_mm_unpackhi_epi16(z16, z16));
}

// Channel Ch of four 3-channel pixels held in three registers (12 elements).
template <int Ch> ZYLCV_INLINE __m128 channel4(__m128 r0, __m128 r1, __m128 r2)
{
    if constexpr (Ch == 1) {  // elements 0, 3, 6, 9
        __m128 u = _mm_shuffle_ps(r1, r2, _MM_SHUFFLE(1, 0, 3, 2));
        return _mm_shuffle_ps(r0, u, _MM_SHUFFLE(3, 0, 3, 0));
    } else if constexpr (Ch == 2) {  // elements 1, 4, 7, 10
        __m128 u = _mm_shuffle_ps(r0, r1, _MM_SHUFFLE(0, 0, 1, 1));
        __m128 v = _mm_shuffle_ps(r1, r2, _MM_SHUFFLE(2, 2, 3, 3));
        return _mm_shuffle_ps(u, v, _MM_SHUFFLE(2, 0, 2, 0));
    } else {  // elements 2, 5, 8, 11
        __m128 u = _mm_shuffle_ps(r0, r1, _MM_SHUFFLE(1, 1, 2, 2));
        return _mm_shuffle_ps(u, r2, _MM_SHUFFLE(3, 0, 2, 0));
    }
}

// Chosen elements of pixels x..x+7: lanes hold pixels 0..3 and 4..7.
template <int P, int Ch>
ZYLCV_INLINE void pixels8(const Zyl32f *row, long x, __m128 &lo, __m128 &hi)
{
    if constexpr (Ch == 0) {
        lo = load<P>(row + x);
        hi = load<P>(row + x + 4);
    } else {
        const Zyl32f *p = row + 3 * x;
        lo = channel4<Ch>(load<P>(p), load<P>(p + 4), load<P>(p + 8));
        hi = channel4<Ch>(load<P>(p + 12), load<P>(p + 16), load<P>(p + 20));
    }
}

template <NormKind K> ZYLCV_INLINE __m128 term4(__m128 v)
{
    if constexpr (K == NormKind::L2) return _mm_mul_ps(v, v);
    else return _mm_and_ps(v, _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF)));
}

// Numerator (and denominator) of one kernel call: four lanes of partial sums, or of largest
// terms for Inf, plus the largest term of the row ends.
template <NormKind K, NormTerm R, bool C3> struct FloatTotals {
    static constexpr SumScheme s = sum_scheme(R, K, C3);
    __m128 n = _mm_setzero_ps(), d = _mm_setzero_ps();
    float maxN = 0.0f, maxD = 0.0f;

    static ZYLCV_INLINE __m128 update(__m128 p, __m128 lo, __m128 hi)
    {
        if constexpr (K == NormKind::Inf) return _mm_max_ps(hi, _mm_max_ps(lo, p));
        else if constexpr (s.update == GroupUpdate::Sequential)
            return _mm_add_ps(_mm_add_ps(p, lo), hi);
        else return _mm_add_ps(p, _mm_add_ps(lo, hi));
    }
    // 8 pixels: values a (and b), lane masks of unselected pixels.
    ZYLCV_INLINE void add8(__m128 a0, __m128 a1, __m128 b0, __m128 b1, __m128 off0, __m128 off1)
    {
        if constexpr (R == NormTerm::Value) {
            n = update(n, _mm_andnot_ps(off0, term4<K>(a0)), _mm_andnot_ps(off1, term4<K>(a1)));
        } else {
            n = update(n, _mm_andnot_ps(off0, term4<K>(_mm_sub_ps(a0, b0))),
                       _mm_andnot_ps(off1, term4<K>(_mm_sub_ps(a1, b1))));
            if constexpr (R == NormTerm::Rel)
                d = update(d, _mm_andnot_ps(off0, term4<K>(b0)), _mm_andnot_ps(off1, term4<K>(b1)));
        }
    }
    // One pixel after the last group of a row: into lane 0 (P0), or the largest term.
    void add1(float a, float b, Zyl8u m)
    {
        float tn, td;
        f32_pixel_terms<K, R>(a, b, m, tn, td);
        if constexpr (K == NormKind::Inf) {
            maxN = larger(tn, maxN);
            maxD = larger(td, maxD);
        } else {
            n = _mm_add_ss(n, _mm_set_ss(tn));
            if constexpr (R == NormTerm::Rel) d = _mm_add_ss(d, _mm_set_ss(td));
        }
    }
    static float finish(__m128 v, float rowEnds)
    {
        Partials p;
        _mm_storeu_ps(p.p, v);
        if constexpr (K == NormKind::Inf) {
            for (float t : p.p) rowEnds = larger(t, rowEnds);
            return rowEnds;
        } else {
            return p.total<s.final>();
        }
    }
    double result() const
    {
        if constexpr (R == NormTerm::Rel) return f32_rel<K>(finish(n, maxN), finish(d, maxD));
        else return f32_norm<K>(finish(n, maxN));
    }
};

// ---- rows ------------------------------------------------------------------------------

// The row kernels, the 16-byte alignment of the aligned loops and the load paths, for the
// header's path choice.
struct Lanes {
    static constexpr int kAligned = Aligned, kUnaligned = Unaligned;
    static bool aligned(const void *p) { return aligned16(p); }
    static bool aligned(std::ptrdiff_t step) { return aligned16(step); }

    template <int P, int Ch, NormKind K, NormTerm R, class T>
    static double int_rows(const T *a, int aStep, const T *b, int bStep, const Zyl8u *m, int mStep,
                           long w, int h)
    {
        ByteTotals<Bytes, K, R> acc;
        walk_rows<R>(a, aStep, b, bStep, m, mStep, h,
                     [&](const T *ra, const T *rb, const Zyl8u *rm)
                         ZYLCV_INLINE_LAMBDA { int_row<P, Ch>(ra, rb, rm, w, acc); });
        return acc.result();
    }

    // Per step: 8 pixels into the four lanes; the row ends pixel by pixel.
    template <int P, int Ch, NormKind K, NormTerm R>
    static double f32_rows(const Zyl32f *a, int aStep, const Zyl32f *b, int bStep, const Zyl8u *m,
                           int mStep, long w, int h)
    {
        constexpr bool two = R != NormTerm::Value;
        FloatTotals<K, R, Ch != 0> acc;
        walk_rows<R>(a, aStep, b, bStep, m, mStep, h,
                     [&](const Zyl32f *a, const Zyl32f *b, const Zyl8u *m) ZYLCV_INLINE_LAMBDA {
                         long x = 0;
                         for (; x + 8 <= w; x += 8) {
                             __m128 a0, a1, b0 = _mm_setzero_ps(), b1 = _mm_setzero_ps(), o0, o1;
                             pixels8<P, Ch>(a, x, a0, a1);
                             if constexpr (two) pixels8<P, Ch>(b, x, b0, b1);
                             unselected8(m + x, o0, o1);
                             acc.add8(a0, a1, b0, b1, o0, o1);
                         }
                         row_end<Ch, R>(a, b, m, x, w, acc);
                     });
        return acc.result();
    }
};

using Rows = PackedRows<Lanes>;

}  // namespace

ZYLCV_NORM_ENTRIES

}  // namespace zylcv::sse2
