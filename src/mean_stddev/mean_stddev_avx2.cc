// AVX2 mean and deviation kernels.
//
// Integer rows go in steps of 64 pixels as two 32-byte blocks (one channel) or of 32 pixels
// gathered from 96 bytes (channel of interest), then one 32-pixel block and one 16-pixel block
// where they fit, and end pixel by pixel through the shared span helper. Bytes are summed with
// sums of absolute differences against zero into 64-bit lanes, 8s bytes biased by 128 first;
// squares come from pairwise multiply-add of 16-bit lanes into 32-bit lanes that are moved into
// 64-bit lanes at the end of each row (or every kBlocksPerFlush blocks). The integer sums are
// exact, so they equal the other twins' whatever the order of the blocks.
//
// A channel of interest is gathered by masking each 32-byte third of 96 bytes to the channel's
// bytes and ORing the three, which leaves pixel p in byte (3p + ch) mod 32 (mod 16 for a
// 16-pixel block); a mask is shuffled into the same order.
//
// The mean of a masked float plane keeps its four partial sums P0..P3 in the four lanes of one
// register, as the other twins do; the double sums of the other float forms are one sequential
// chain by definition and run the shared scalar rows.
//
// When every pointer and step is a multiple of 32 the 32-byte loads are aligned; the bits do not
// depend on the path. Integer images whose rows are contiguous in every operand run as one long
// row.
#include "core/simd_avx2.h"
#include "mean_stddev.h"

namespace zylcv::avx2 {
namespace {

using namespace mean_stddev;

std::uint64_t lane_total(__m256i v)
{
    const __m128i s = _mm_add_epi64(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    return std::uint64_t(_mm_cvtsi128_si64(s)) + std::uint64_t(_mm_extract_epi64(s, 1));
}

// Blocks of 32 pixels between two moves of the 32-bit square lanes into 64-bit lanes: a lane
// gains at most four squares of 255 per block, and 8192 * 4 * 65025 < 2^32.
constexpr std::ptrdiff_t kBlocksPerFlush = 8192;

// Channel-of-interest tables: the channel's bytes of 96 interleaved bytes, and for the mask the
// byte shuffles that put the mask byte of pixel p where the gather put the pixel: from pixels
// 0-15 (lo) or 16-31 (hi) of 32, 0x80 (nothing) for the other half; `half` for 16 pixels.
struct Gather {
    alignas(32) Zyl8u keep[3][96];
    alignas(32) Zyl8u lo[3][32];
    alignas(32) Zyl8u hi[3][32];
    alignas(16) Zyl8u half[3][16];
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
        for (int i = 0; i < 16; ++i) t.half[ch][i] = Zyl8u(11 * (i - ch + 16) % 16);
    }
    return t;
}
constexpr Gather kGather = make_gather();

// Packed sums of one call over blocks of 32 (or 16) byte pixels.
template <class T, bool Masked, bool Squares> struct Packed {
    __m256i sum = _mm256_setzero_si256();      // 64-bit lanes: sum of the (biased) bytes
    __m256i skipped = _mm256_setzero_si256();  // 64-bit lanes: 255 per pixel whose mask byte is 0
    __m256i sq32 = _mm256_setzero_si256();     // 32-bit lanes: squares since the last flush
    __m256i sq64 = _mm256_setzero_si256();     // 64-bit lanes: squares
    std::uint64_t pixels = 0;

    // 32 pixel values v, `off` 0xFF for the pixels whose mask byte is zero. A pixel that is not
    // selected counts as the value 0 (biased: 128, taken off with the rest).
    void add(__m256i v, __m256i off)
    {
        if constexpr (Masked) v = _mm256_andnot_si256(off, v);
        if constexpr (std::is_same_v<T, Zyl8s>)
            v = _mm256_xor_si256(v, _mm256_set1_epi8(char(0x80)));
        add_prepared(v, off);
        pixels += 32;
    }
    // 16 pixels: prepared in 16 bytes, then summed with zero high lanes.
    void add(__m128i v, __m128i off)
    {
        if constexpr (Masked) v = _mm_andnot_si128(off, v);
        if constexpr (std::is_same_v<T, Zyl8s>) v = _mm_xor_si128(v, _mm_set1_epi8(char(0x80)));
        add_prepared(_mm256_zextsi128_si256(v), _mm256_zextsi128_si256(off));
        pixels += 16;
    }
    void add_prepared(__m256i v, __m256i off)
    {
        const __m256i zero = _mm256_setzero_si256();
        if constexpr (Masked) skipped = _mm256_add_epi64(skipped, _mm256_sad_epu8(off, zero));
        sum = _mm256_add_epi64(sum, _mm256_sad_epu8(v, zero));
        if constexpr (Squares) {
            const __m256i even = _mm256_and_si256(v, _mm256_set1_epi16(0x00FF));
            const __m256i odd = _mm256_srli_epi16(v, 8);
            sq32 = _mm256_add_epi32(
                sq32, _mm256_add_epi32(_mm256_madd_epi16(even, even), _mm256_madd_epi16(odd, odd)));
        }
    }
    void flush()
    {
        if constexpr (Squares) {
            const __m256i zero = _mm256_setzero_si256();
            sq64 = _mm256_add_epi64(sq64, _mm256_unpacklo_epi32(sq32, zero));
            sq64 = _mm256_add_epi64(sq64, _mm256_unpackhi_epi32(sq32, zero));
            sq32 = zero;
        }
    }
    // The packed sums of this and another set, plus the row tails' sums, in the widths of the
    // result.
    IntSums result(const Packed &other, const IntAcc &tail) const
    {
        const std::uint64_t n = pixels + other.pixels;
        const std::uint64_t su = lane_total(_mm256_add_epi64(sum, other.sum));
        std::uint64_t s = su, sq = Squares ? lane_total(_mm256_add_epi64(sq64, other.sq64)) : 0;
        if constexpr (std::is_same_v<T, Zyl8s>) {
            s -= 128 * n;
            sq = sq - 256 * su + 16384 * n;
        }
        const std::uint64_t skip =
            Masked ? lane_total(_mm256_add_epi64(skipped, other.skipped)) : 0;
        IntAcc all = tail;
        all.sum += static_cast<std::uint32_t>(s);
        all.count += static_cast<std::uint32_t>(n - skip / 255);
        if constexpr (Squares) all.sumSq += sq;
        return all.result();
    }
};

// Per step: 64 pixels as two blocks of 32 (one channel: 64 bytes; channel of interest: twice 96
// bytes gathered); then one 32-pixel block and one 16-pixel block where they fit; the row ends
// pixel by pixel.
template <int P, bool Masked, bool Squares, int C, class T>
IntSums int_rows(const T *src, int srcStep, const Zyl8u *mask, int maskStep, std::ptrdiff_t w,
                 int h, int ch)
{
    const __m256i zero = _mm256_setzero_si256();
    __m256i keep[3] = {zero, zero, zero}, lo = zero, hi = zero;
    __m128i half = _mm_setzero_si128();
    if constexpr (C == 3) {
        for (int k = 0; k < 3; ++k) keep[k] = load<Aligned>(&kGather.keep[ch][32 * k]);
        lo = load<Aligned>(kGather.lo[ch]);
        hi = load<Aligned>(kGather.hi[ch]);
        half = sse2::load<Aligned>(kGather.half[ch]);
    }
    // Two sets of sums, for the even and the odd blocks of a row, so that the chains of additions
    // into the accumulators do not limit the speed.
    Packed<T, Masked, Squares> a, b;
    IntAcc tail;
    for (int y = 0; y < h; ++y) {
        const Zyl8u *s = reinterpret_cast<const Zyl8u *>(src);
        auto block = [&](std::ptrdiff_t x) {
            if constexpr (C == 1) {
                return load<P>(s + x);
            } else {
                const Zyl8u *p = s + 3 * x;
                __m256i g = _mm256_and_si256(load<P>(p), keep[0]);
                g = _mm256_or_si256(g, _mm256_and_si256(load<P>(p + 32), keep[1]));
                return _mm256_or_si256(g, _mm256_and_si256(load<P>(p + 64), keep[2]));
            }
        };
        auto off = [&](std::ptrdiff_t x) {
            if constexpr (!Masked) {
                return zero;
            } else if constexpr (C == 1) {
                return _mm256_cmpeq_epi8(load<P>(mask + x), zero);
            } else {
                const __m256i m0 = _mm256_broadcastsi128_si256(sse2::load(mask + x));
                const __m256i m1 = _mm256_broadcastsi128_si256(sse2::load(mask + x + 16));
                const __m256i g =
                    _mm256_or_si256(_mm256_shuffle_epi8(m0, lo), _mm256_shuffle_epi8(m1, hi));
                return _mm256_cmpeq_epi8(g, zero);
            }
        };
        auto block16 = [&](std::ptrdiff_t x) {
            if constexpr (C == 1) {
                return sse2::load<P>(s + x);
            } else {
                const Zyl8u *p = s + 3 * x;
                __m128i g = _mm_and_si128(sse2::load<P>(p), _mm256_castsi256_si128(keep[0]));
                g = _mm_or_si128(
                    g, _mm_and_si128(sse2::load<P>(p + 16), _mm256_extracti128_si256(keep[0], 1)));
                return _mm_or_si128(
                    g, _mm_and_si128(sse2::load<P>(p + 32), _mm256_castsi256_si128(keep[1])));
            }
        };
        auto off16 = [&](std::ptrdiff_t x) {
            const __m128i z = _mm_setzero_si128();
            if constexpr (!Masked) return z;
            else if constexpr (C == 1) return _mm_cmpeq_epi8(sse2::load<P>(mask + x), z);
            else return _mm_cmpeq_epi8(_mm_shuffle_epi8(sse2::load<P>(mask + x), half), z);
        };
        std::ptrdiff_t x = 0;
        while (w - x >= 32) {
            const std::ptrdiff_t left = (w - x) / 32;
            const std::ptrdiff_t chunk = left < kBlocksPerFlush ? left : kBlocksPerFlush;
            const std::ptrdiff_t end = x + 32 * chunk;
            for (; x + 64 <= end; x += 64) {
                a.add(block(x), off(x));
                b.add(block(x + 32), off(x + 32));
            }
            for (; x < end; x += 32) a.add(block(x), off(x));
            a.flush();
            b.flush();
        }
        if (w - x >= 16) {
            a.add(block16(x), off16(x));
            a.flush();
            x += 16;
        }
        add_span<Masked, Squares, C>(tail, src, mask, x, w, ch);
        src = advance(src, srcStep);
        if constexpr (Masked) mask = advance(mask, maskStep);
    }
    return a.result(b, tail);
}

template <bool Masked, bool Squares, int C, class T>
IntSums int_sums(const T *src, int srcStep, const Zyl8u *mask, int maskStep, int w, int h, int ch)
{
    std::ptrdiff_t width = w;
    if (srcStep == std::int64_t(C) * w && (!Masked || maskStep == w)) {
        width = std::ptrdiff_t(w) * h;  // contiguous rows: one long row
        h = 1;
    }
    bool al = aligned32(src) && (!Masked || aligned32(mask));
    if (h > 1) al = al && aligned32(srcStep) && (!Masked || aligned32(maskStep));
    if (al)
        return int_rows<Aligned, Masked, Squares, C>(src, srcStep, mask, maskStep, width, h, ch);
    return int_rows<Unaligned, Masked, Squares, C>(src, srcStep, mask, maskStep, width, h, ch);
}

// Per step: a group of eight columns, the first four into lanes P0..P3, then the next four; the
// row ends one column at a time into lane P0.
template <int P>
FloatSums partial_rows(const Zyl32f *src, int srcStep, const Zyl8u *mask, int maskStep, int w,
                       int h)
{
    const __m128i zero = _mm_setzero_si128(), one = _mm_set1_epi8(1);
    __m128 acc = _mm_setzero_ps();
    __m128i counts = zero;  // 64-bit lanes: selected pixels of the groups
    std::uint32_t tailCount = 0;
    const int groups = w / 8 * 8;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < groups; x += 8) {
            const __m128i m = sse2::load8(mask + x);
            counts = _mm_add_epi64(counts, _mm_sad_epu8(_mm_min_epu8(m, one), zero));
            const __m256 off = _mm256_castsi256_ps(
                _mm256_cmpeq_epi32(_mm256_cvtepu8_epi32(m), _mm256_setzero_si256()));
            const __m256 v = _mm256_andnot_ps(off, load<P>(src + x));
            acc = add_ordered(acc, _mm256_castps256_ps128(v));
            acc = add_ordered(acc, _mm256_extractf128_ps(v, 1));
        }
        if (groups < w) {
            Zyl32f p0 = _mm_cvtss_f32(acc);
            add_tail_p0(p0, tailCount, src, mask, groups, w);
            acc = _mm_move_ss(acc, _mm_set_ss(p0));
        }
        src = advance(src, srcStep);
        mask = advance(mask, maskStep);
    }
    alignas(16) Zyl32f p[4];
    _mm_store_ps(p, acc);
    const std::uint32_t count = static_cast<std::uint32_t>(_mm_cvtsi128_si64(
                                    _mm_add_epi64(counts, _mm_srli_si128(counts, 8)))) +
                                tailCount;
    return {partial_total(p[0], p[1], p[2], p[3]), 0.0, static_cast<Zyl32s>(count)};
}

struct Rows {
    // Integer pixels packed; the double sums of float pixels in the scalar rows' order.
    template <class T, int C, bool Masked, bool Squares>
    static SumsOf<T> sums(const T *src, int srcStep, const Zyl8u *mask, int maskStep, int w, int h,
                          int ch)
    {
        if constexpr (std::is_same_v<T, Zyl32f>)
            return ScalarRows::sums<T, C, Masked, Squares>(src, srcStep, mask, maskStep, w, h, ch);
        else return int_sums<Masked, Squares, C>(src, srcStep, mask, maskStep, w, h, ch);
    }

    static FloatSums partial_sums_masked(const Zyl32f *src, int srcStep, const Zyl8u *mask,
                                         int maskStep, int w, int h)
    {
        if (aligned32(src) && (h == 1 || aligned32(srcStep)))
            return partial_rows<Aligned>(src, srcStep, mask, maskStep, w, h);
        return partial_rows<Unaligned>(src, srcStep, mask, maskStep, w, h);
    }
};

}  // namespace

ZYLCV_MEAN_STDDEV_ENTRIES

}  // namespace zylcv::avx2
