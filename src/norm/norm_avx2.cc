// AVX2 norm kernels.
//
// 8-bit data: 64 pixels per step in two registers, masked by comparing the mask bytes with
// zero; one-channel rows then take one 32-pixel and one 16-pixel step where they fit, and every
// row ends pixel by pixel. Magnitudes are formed byte-wise as in the SSE2 twin; Inf keeps the
// largest byte per lane, L1 sums bytes with vpsadbw into 64-bit lanes, L2 squares with vpmaddwd
// into 32-bit lanes moved into 64-bit totals often enough never to overflow. The channel of
// interest of 32 pixels is gathered from 96 bytes by masking each 32-byte third to the
// channel's bytes and ORing the three (pixel p lands in byte (3p + ch) mod 32), and the mask
// bytes are shuffled into the same order; integer reductions do not depend on the order, and
// images whose rows are contiguous run as one long row.
//
// 32f data: 8 pixels per step in one register; the terms of pixels 0-3 and then of pixels 4-7
// go into the four partial sums held in the lanes of one 16-byte register, in the order of the
// other twins; rows end pixel by pixel into lane 0. Inf keeps the largest term of each of the 8
// lanes (a maximum does not depend on the order).
//
// Every kernel has an aligned and an unaligned loop (32-byte alignment); the choice never changes
// a result.
#include "core/simd_avx2.h"
#include "norm.h"

namespace zylcv::avx2 {
using namespace norm;

namespace {

// ---- 8-bit data --------------------------------------------------------------------------

// Channel-of-interest tables: the channel's bytes of 96 interleaved bytes, and the byte shuffles
// that put the mask byte of pixel p where the gather put the pixel: from pixels 0-15 (lo) or
// 16-31 (hi) of 32, 0x80 (nothing) for the other half.
struct Gather {
    alignas(32) Zyl8u keep[3][96];
    alignas(32) Zyl8u lo[3][32];
    alignas(32) Zyl8u hi[3][32];
};
constexpr Gather make_gather()
{
    Gather t{};
    for (int ch = 0; ch < 3; ++ch) {
        for (int j = 0; j < 96; ++j) t.keep[ch][j] = j % 3 == ch ? 0xFF : 0;
        for (int i = 0; i < 32; ++i) {
            const int p = 11 * (i - ch + 32) % 32;  // 3 * 11 = 1 (mod 32)
            t.lo[ch][i] = Zyl8u(p < 16 ? p : 0x80);
            t.hi[ch][i] = Zyl8u(p >= 16 ? p - 16 : 0x80);
        }
    }
    return t;
}
constexpr Gather kGather = make_gather();

// Chosen elements of 32 pixels of a row (one-channel: Ch 0; or channel Ch of three, gathered)
// and their mask bytes in the same order.
template <int P, int Ch> struct Pixels32 {
    __m256i keep[3], lo, hi;
    Pixels32()
    {
        constexpr int c = Ch == 0 ? 0 : Ch - 1;
        for (int k = 0; k < 3; ++k) keep[k] = load<Aligned>(&kGather.keep[c][32 * k]);
        lo = load<Aligned>(kGather.lo[c]);
        hi = load<Aligned>(kGather.hi[c]);
    }
    ZYLCV_INLINE __m256i values(const void *row, long x) const
    {
        auto p = static_cast<const Zyl8u *>(row);
        if constexpr (Ch == 0) {
            return load<P>(p + x);
        } else {
            p += 3 * x;
            __m256i g = _mm256_and_si256(load<P>(p), keep[0]);
            g = _mm256_or_si256(g, _mm256_and_si256(load<P>(p + 32), keep[1]));
            return _mm256_or_si256(g, _mm256_and_si256(load<P>(p + 64), keep[2]));
        }
    }
    ZYLCV_INLINE __m256i mask(const Zyl8u *m, long x) const
    {
        if constexpr (Ch == 0) {
            return load<P>(m + x);
        } else {
            const __m256i m0 = _mm256_broadcastsi128_si256(sse2::load(m + x));
            const __m256i m1 = _mm256_broadcastsi128_si256(sse2::load(m + x + 16));
            return _mm256_or_si256(_mm256_shuffle_epi8(m0, lo), _mm256_shuffle_epi8(m1, hi));
        }
    }
};

ZYLCV_INLINE __m256i flip_sign(__m256i v)
{
    return _mm256_xor_si256(v, _mm256_set1_epi8(char(0x80)));
}

// Reduction of masked byte magnitudes for one kind; total() after flush().
template <NormKind K> struct ByteReduce;
template <> struct ByteReduce<NormKind::Inf> {
    __m256i v = _mm256_setzero_si256();
    ZYLCV_INLINE void add(__m256i x) { v = _mm256_max_epu8(v, x); }
    void flush() {}
    std::uint64_t total() const
    {
        __m128i m = _mm_max_epu8(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
        m = _mm_max_epu8(m, _mm_srli_epi16(m, 8));
        // The largest of the 8 even bytes, now in 16-bit lanes: the smallest complement.
        m = _mm_minpos_epu16(
            _mm_xor_si128(_mm_and_si128(m, _mm_set1_epi16(0xFF)), _mm_set1_epi16(0xFF)));
        return std::uint64_t(0xFF - (_mm_cvtsi128_si32(m) & 0xFFFF));
    }
};
ZYLCV_INLINE std::uint64_t lane_total(__m256i v)
{
    const __m128i s = _mm_add_epi64(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    return std::uint64_t(_mm_cvtsi128_si64(s)) + std::uint64_t(_mm_extract_epi64(s, 1));
}
template <> struct ByteReduce<NormKind::L1> {
    __m256i v = _mm256_setzero_si256();  // four 64-bit lanes
    ZYLCV_INLINE void add(__m256i x)
    {
        v = _mm256_add_epi64(v, _mm256_sad_epu8(x, _mm256_setzero_si256()));
    }
    void flush() {}
    std::uint64_t total() const { return lane_total(v); }
};
template <> struct ByteReduce<NormKind::L2> {
    __m256i s32 = _mm256_setzero_si256();  // eight 32-bit lanes, each at most 4 * 255^2 per add
    __m256i s64 = _mm256_setzero_si256();  // four 64-bit lanes
    ZYLCV_INLINE void add(__m256i x)
    {
        const __m256i z = _mm256_setzero_si256();
        const __m256i lo = _mm256_unpacklo_epi8(x, z), hi = _mm256_unpackhi_epi8(x, z);
        s32 = _mm256_add_epi32(
            s32, _mm256_add_epi32(_mm256_madd_epi16(lo, lo), _mm256_madd_epi16(hi, hi)));
    }
    void flush()
    {
        const __m256i z = _mm256_setzero_si256();
        s64 = _mm256_add_epi64(
            s64, _mm256_add_epi64(_mm256_unpacklo_epi32(s32, z), _mm256_unpackhi_epi32(s32, z)));
        s32 = z;
    }
    std::uint64_t total() const { return lane_total(s64); }
};
// 32-bit lanes of the L2 reduction take at most 4 * 255^2 per register of 32 pixels: flush
// before 2^32.
constexpr long kFlushPixels = 32 * 4096;

// Byte lanes of the 8-bit reductions: 32 pixels per register.
struct Bytes {
    using Reg = __m256i;
    template <NormKind K> using Reduce = ByteReduce<K>;

    // All ones where the mask byte is zero.
    static ZYLCV_INLINE __m256i unselected(__m256i m)
    {
        return _mm256_cmpeq_epi8(m, _mm256_setzero_si256());
    }
    static ZYLCV_INLINE __m256i keep(__m256i off, __m256i v) { return _mm256_andnot_si256(off, v); }
    // Byte magnitudes of 32 values or of 32 exact differences (0..255).
    template <class T> static ZYLCV_INLINE __m256i magnitude(__m256i v)
    {
        if constexpr (std::is_same_v<T, Zyl8u>) return v;
        else return _mm256_abs_epi8(v);  // |-128| = 128 as an unsigned byte
    }
    template <class T> static ZYLCV_INLINE __m256i magnitude(__m256i a, __m256i b)
    {
        if constexpr (std::is_same_v<T, Zyl8s>) {
            a = flip_sign(a);
            b = flip_sign(b);
        }
        return _mm256_or_si256(_mm256_subs_epu8(a, b), _mm256_subs_epu8(b, a));
    }
};

// Per step: 64 pixels in two registers; one-channel rows then take one 32-pixel and one
// 16-pixel step (the 16 bytes with zero bytes above, which no reduction sees); the row ends
// pixel by pixel.
template <int P, int Ch, NormKind K, NormTerm R, class T>
ZYLCV_INLINE void int_row(const Pixels32<P, Ch> &px, const T *a, const T *b, const Zyl8u *m, long w,
                          ByteTotals<Bytes, K, R> &acc)
{
    constexpr bool two = R != NormTerm::Value;
    const __m256i z = _mm256_setzero_si256();
    const long w32 = w & ~31L;
    long x = 0;
    while (x < w32) {
        const long end = w32 - x > kFlushPixels ? x + kFlushPixels : w32;
        for (; x + 64 <= end; x += 64) {
            const __m256i a0 = px.values(a, x), a1 = px.values(a, x + 32);
            const __m256i b0 = two ? px.values(b, x) : z, b1 = two ? px.values(b, x + 32) : z;
            acc.template add<T>(a0, b0, px.mask(m, x));
            acc.template add<T>(a1, b1, px.mask(m, x + 32));
        }
        if (x < end) {
            acc.template add<T>(px.values(a, x), two ? px.values(b, x) : z, px.mask(m, x));
            x += 32;
        }
        acc.flush();
    }
    if constexpr (Ch == 0) {
        if (x + 16 <= w) {
            const __m256i bv = two ? _mm256_zextsi128_si256(sse2::load<P>(b + x)) : z;
            acc.template add<T>(_mm256_zextsi128_si256(sse2::load<P>(a + x)), bv,
                                _mm256_zextsi128_si256(sse2::load<P>(m + x)));
            acc.flush();
            x += 16;
        }
    }
    row_end<Ch, R>(a, b, m, x, w, acc);
}

// ---- 32f data ----------------------------------------------------------------------------

// Lane masks of 8 pixels, all ones where the mask byte is zero.
ZYLCV_INLINE __m256 unselected8(const Zyl8u *m)
{
    return _mm256_castsi256_ps(
        _mm256_cmpeq_epi32(_mm256_cvtepu8_epi32(sse2::load8(m)), _mm256_setzero_si256()));
}

// Chosen elements of pixels x..x+7 in pixel order: for three elements, element 3i + c of 24
// lies in register (3i + c) / 8 at lane (3i + c) mod 8, lanes that differ for every i: two
// blends put each where it lies, one permute puts them in order.
template <int P, int Ch> ZYLCV_INLINE __m256 pixels8(const Zyl32f *row, long x)
{
    if constexpr (Ch == 0) {
        return load<P>(row + x);
    } else {
        constexpr int c = Ch - 1;
        constexpr auto from = [](int reg) {
            int m = 0;
            for (int i = 0; i < 8; ++i)
                if ((3 * i + c) / 8 == reg) m |= 1 << ((3 * i + c) % 8);
            return m;
        };
        constexpr int from1 = from(1), from2 = from(2);
        const Zyl32f *p = row + 3 * x;
        const __m256 v = _mm256_blend_ps(_mm256_blend_ps(load<P>(p), load<P>(p + 8), from1),
                                         load<P>(p + 16), from2);
        const __m256i idx =
            _mm256_setr_epi32(c, (3 + c) % 8, (6 + c) % 8, (9 + c) % 8, (12 + c) % 8, (15 + c) % 8,
                              (18 + c) % 8, (21 + c) % 8);
        return _mm256_permutevar8x32_ps(v, idx);
    }
}

template <NormKind K> ZYLCV_INLINE __m256 term8(__m256 v)
{
    if constexpr (K == NormKind::L2) return _mm256_mul_ps(v, v);
    else return _mm256_and_ps(v, _mm256_castsi256_ps(_mm256_set1_epi32(0x7FFFFFFF)));
}

// Numerator (and denominator) of one kernel call: four lanes of partial sums (or eight of
// largest terms for Inf), plus the largest term of the row ends.
template <NormKind K, NormTerm R, bool C3> struct FloatTotals {
    static constexpr SumScheme s = sum_scheme(R, K, C3);
    __m128 n = _mm_setzero_ps(), d = _mm_setzero_ps();
    __m256 maxN8 = _mm256_setzero_ps(), maxD8 = _mm256_setzero_ps();
    float maxN = 0.0f, maxD = 0.0f;

    // Terms t of 8 pixels into the partial sums p: lanes 0-3 (pixels 0-3) and 4-7 (pixels 4-7).
    static ZYLCV_INLINE __m128 update(__m128 p, __m256 t)
    {
        const __m128 lo = _mm256_castps256_ps128(t), hi = _mm256_extractf128_ps(t, 1);
        if constexpr (s.update == GroupUpdate::Sequential)
            return add_ordered(add_ordered(p, lo), hi);
        else return add_ordered(p, add_ordered(lo, hi));
    }
    // 8 pixels: values a (and b), lane mask of unselected pixels.
    ZYLCV_INLINE void add8(__m256 a, __m256 b, __m256 off)
    {
        const __m256 tn =
            _mm256_andnot_ps(off, term8<K>(R == NormTerm::Value ? a : _mm256_sub_ps(a, b)));
        if constexpr (K == NormKind::Inf) {
            maxN8 = _mm256_max_ps(tn, maxN8);
            if constexpr (R == NormTerm::Rel)
                maxD8 = _mm256_max_ps(_mm256_andnot_ps(off, term8<K>(b)), maxD8);
        } else {
            n = update(n, tn);
            if constexpr (R == NormTerm::Rel) d = update(d, _mm256_andnot_ps(off, term8<K>(b)));
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
    static float finish(__m128 v, __m256 v8, float rowEnds)
    {
        if constexpr (K == NormKind::Inf) {
            alignas(32) float t[8];
            _mm256_store_ps(t, v8);
            for (float x : t) rowEnds = larger(x, rowEnds);
            return rowEnds;
        } else {
            Partials p;
            _mm_storeu_ps(p.p, v);
            return p.total<s.final>();
        }
    }
    double result() const
    {
        if constexpr (R == NormTerm::Rel)
            return f32_rel<K>(finish(n, maxN8, maxN), finish(d, maxD8, maxD));
        else return f32_norm<K>(finish(n, maxN8, maxN));
    }
};

// ---- rows ------------------------------------------------------------------------------

// The row kernels, the 32-byte alignment of the aligned loops and the load paths, for the
// header's path choice.
struct Lanes {
    static constexpr int kAligned = Aligned, kUnaligned = Unaligned;
    static bool aligned(const void *p) { return aligned32(p); }
    static bool aligned(std::ptrdiff_t step) { return aligned32(step); }

    template <int P, int Ch, NormKind K, NormTerm R, class T>
    static double int_rows(const T *a, int aStep, const T *b, int bStep, const Zyl8u *m, int mStep,
                           long w, int h)
    {
        const Pixels32<P, Ch> px;
        ByteTotals<Bytes, K, R> acc;
        walk_rows<R>(a, aStep, b, bStep, m, mStep, h,
                     [&](const T *ra, const T *rb, const Zyl8u *rm)
                         ZYLCV_INLINE_LAMBDA { int_row<P, Ch>(px, ra, rb, rm, w, acc); });
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
                         for (; x + 8 <= w; x += 8)
                             acc.add8(pixels8<P, Ch>(a, x),
                                      two ? pixels8<P, Ch>(b, x) : _mm256_setzero_ps(),
                                      unselected8(m + x));
                         row_end<Ch, R>(a, b, m, x, w, acc);
                     });
        return acc.result();
    }
};

using Rows = PackedRows<Lanes>;

}  // namespace

ZYLCV_NORM_ENTRIES

}  // namespace zylcv::avx2
