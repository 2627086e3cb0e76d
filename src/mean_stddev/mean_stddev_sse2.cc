// SSE2 mean and deviation kernels.
//
// Integer rows go in steps of 32 pixels (one channel) or 16 pixels (channel of interest, 48
// bytes gathered into one register with the channel-of-interest masks), one more 16-pixel block
// where it fits, and end pixel by pixel through the shared span helper. Bytes are summed with
// sums of absolute differences against zero into 64-bit lanes; 8s bytes are first biased by 128
// so that they sum as unsigned. Squares of the (biased) bytes come from pairwise multiply-add of
// 16-bit lanes, are summed in 32-bit lanes and moved into 64-bit lanes at the end of each row
// (or every kBlocksPerFlush blocks), so the sum of squares stays exact. The bias is taken off at
// the end: sum v = sum u - 128 n and sum v^2 = sum u^2 - 256 sum u + 16384 n for u = v + 128.
//
// The mean of a masked float plane keeps its four partial sums P0..P3 in the four lanes of one
// register. The double sums of the other float forms are one sequential chain by definition and
// run the shared scalar rows.
//
// When every pointer and step is a multiple of 16 the 16-byte loads are aligned; the bits do not
// depend on the path. Integer images whose rows are contiguous in every operand run as one long
// row.
#include <emmintrin.h>

#include "core/simd_sse2.h"
#include "mean_stddev.h"

namespace zylcv::sse2 {
namespace {

using namespace mean_stddev;

std::uint64_t lane_total(__m128i v)
{
    alignas(16) std::uint64_t l[2];
    _mm_store_si128(reinterpret_cast<__m128i *>(l), v);
    return l[0] + l[1];
}

// Blocks of 16 pixels between two moves of the 32-bit square lanes into 64-bit lanes: a lane
// gains at most four squares of 255 per block, and 8192 * 4 * 65025 < 2^32.
constexpr std::ptrdiff_t kBlocksPerFlush = 8192;

// The gather of a channel of interest leaves byte i of the register holding pixel p with
// 3p + coi - 1 = i (mod 16). A mask has to follow that order, and SSE2 has no byte shuffle: the
// zero-mask bits of the 16 pixels (from a byte-sign mask) are permuted through two tables per
// channel, one per 8 pixels, and the permuted bits are spread back over 16 bytes. Byte i of the
// spread register tests bit (i >> 1) of the low (even i) or high (odd i) byte of the permuted
// bits, so byte i of the gather belongs to bit (i >> 1) + 8 (i & 1).
constexpr unsigned gather_bit(int ch, int pixel)
{
    const int i = (3 * pixel + ch) % 16;
    return 1u << ((i >> 1) + 8 * (i & 1));
}
struct GatherBits {
    std::uint16_t bits[3][2][256];  // [channel][pixels 0-7 or 8-15][their 8 mask bits]
};
constexpr GatherBits make_gather_bits()
{
    GatherBits t{};
    for (int ch = 0; ch < 3; ++ch)
        for (int half = 0; half < 2; ++half)
            for (int b = 0; b < 256; ++b) {
                unsigned v = 0;
                for (int k = 0; k < 8; ++k)
                    if (b >> k & 1) v |= gather_bit(ch, 8 * half + k);
                t.bits[ch][half][b] = static_cast<std::uint16_t>(v);
            }
    return t;
}
constexpr GatherBits kGatherBits = make_gather_bits();

// Packed sums of one call over blocks of 16 byte pixels.
template <class T, bool Masked, bool Squares> struct Packed {
    __m128i sum = _mm_setzero_si128();      // 64-bit lanes: sum of the (biased) bytes
    __m128i skipped = _mm_setzero_si128();  // 64-bit lanes: 255 per pixel whose mask byte is 0
    __m128i sq32 = _mm_setzero_si128();     // 32-bit lanes: squares since the last flush
    __m128i sq64 = _mm_setzero_si128();     // 64-bit lanes: squares
    std::ptrdiff_t blocks = 0;

    // One block: v holds 16 pixel values, `off` is 0xFF for the pixels whose mask byte is zero.
    // A pixel that is not selected counts as the value 0 (biased: 128, taken off with the rest).
    void add(__m128i v, __m128i off)
    {
        const __m128i zero = _mm_setzero_si128();
        if constexpr (Masked) {
            v = _mm_andnot_si128(off, v);
            skipped = _mm_add_epi64(skipped, _mm_sad_epu8(off, zero));
        }
        if constexpr (std::is_same_v<T, Zyl8s>) v = _mm_xor_si128(v, _mm_set1_epi8(char(0x80)));
        sum = _mm_add_epi64(sum, _mm_sad_epu8(v, zero));
        if constexpr (Squares) {
            const __m128i even = _mm_and_si128(v, _mm_set1_epi16(0x00FF));
            const __m128i odd = _mm_srli_epi16(v, 8);
            const __m128i sq = _mm_add_epi32(_mm_madd_epi16(even, even), _mm_madd_epi16(odd, odd));
            sq32 = _mm_add_epi32(sq32, sq);
        }
        ++blocks;
    }
    void flush()
    {
        if constexpr (Squares) {
            const __m128i zero = _mm_setzero_si128();
            sq64 = _mm_add_epi64(sq64, _mm_unpacklo_epi32(sq32, zero));
            sq64 = _mm_add_epi64(sq64, _mm_unpackhi_epi32(sq32, zero));
            sq32 = zero;
        }
    }
    // The packed sums of this and another set, plus the row tails' sums, in the widths of the
    // result.
    IntSums result(const Packed &other, const IntAcc &tail)
    {
        sum = _mm_add_epi64(sum, other.sum);
        skipped = _mm_add_epi64(skipped, other.skipped);
        sq64 = _mm_add_epi64(sq64, other.sq64);
        blocks += other.blocks;
        const std::uint64_t pixels = std::uint64_t(blocks) * 16;
        const std::uint64_t su = lane_total(sum);
        std::uint64_t s = su, sq = Squares ? lane_total(sq64) : 0;
        if constexpr (std::is_same_v<T, Zyl8s>) {
            s -= 128 * pixels;
            sq = sq - 256 * su + 16384 * pixels;
        }
        const std::uint64_t n = Masked ? pixels - lane_total(skipped) / 255 : pixels;
        IntAcc all = tail;
        all.sum += static_cast<std::uint32_t>(s);
        all.count += static_cast<std::uint32_t>(n);
        if constexpr (Squares) all.sumSq += sq;
        return all.result();
    }
};

// Per step: 32 pixels as two blocks (one channel) or 16 pixels gathered from 48 bytes (channel
// of interest); then one more block where 16 pixels remain; the row ends pixel by pixel.
template <int P, bool Masked, bool Squares, int C, class T>
IntSums int_rows(const T *src, int srcStep, const Zyl8u *mask, int maskStep, std::ptrdiff_t w,
                 int h, int ch)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i spread =
        _mm_setr_epi8(1, 1, 2, 2, 4, 4, 8, 8, 16, 16, 32, 32, 64, 64, -128, -128);
    __m128i coi[3] = {zero, zero, zero};
    if constexpr (C == 3)
        for (int k = 0; k < 3; ++k) coi[k] = load<Aligned>(&k4_zycvCoiMaskA[ch][16 * k]);
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
                __m128i g = _mm_and_si128(load<P>(p), coi[0]);
                g = _mm_or_si128(g, _mm_and_si128(load<P>(p + 16), coi[1]));
                return _mm_or_si128(g, _mm_and_si128(load<P>(p + 32), coi[2]));
            }
        };
        auto off = [&](std::ptrdiff_t x) {
            if constexpr (!Masked) {
                return zero;
            } else if constexpr (C == 1) {
                return _mm_cmpeq_epi8(load<P>(mask + x), zero);
            } else {
                const __m128i off = _mm_cmpeq_epi8(load<P>(mask + x), zero);
                const unsigned z = unsigned(_mm_movemask_epi8(off));
                const unsigned g =
                    kGatherBits.bits[ch][0][z & 255] | kGatherBits.bits[ch][1][z >> 8];
                __m128i b = _mm_shufflelo_epi16(_mm_cvtsi32_si128(int(g)), 0);
                b = _mm_and_si128(_mm_shuffle_epi32(b, 0), spread);
                return _mm_cmpeq_epi8(b, spread);
            }
        };
        std::ptrdiff_t x = 0;
        while (w - x >= 16) {
            const std::ptrdiff_t left = (w - x) / 16;
            const std::ptrdiff_t chunk = left < kBlocksPerFlush ? left : kBlocksPerFlush;
            const std::ptrdiff_t end = x + 16 * chunk;
            if constexpr (C == 1)
                for (; x + 32 <= end; x += 32) {
                    a.add(block(x), off(x));
                    b.add(block(x + 16), off(x + 16));
                }
            for (; x < end; x += 16) a.add(block(x), off(x));
            a.flush();
            b.flush();
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
    // A merged row's width must fit std::ptrdiff_t, which on i386 is 32 bits.
    std::ptrdiff_t width = w;
    if (srcStep == std::int64_t(C) * w && (!Masked || maskStep == w) &&
        std::int64_t(w) * h <= PTRDIFF_MAX) {
        width = std::ptrdiff_t(w) * h;  // contiguous rows: one long row
        h = 1;
    }
    bool al = aligned16(src) && (!Masked || aligned16(mask));
    if (h > 1) al = al && aligned16(srcStep) && (!Masked || aligned16(maskStep));
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
            const __m128i m = load8(mask + x);
            counts = _mm_add_epi64(counts, _mm_sad_epu8(_mm_min_epu8(m, one), zero));
            const __m128i off8 = _mm_cmpeq_epi8(m, zero);
            const __m128i off16 = _mm_unpacklo_epi8(off8, off8);
            const __m128 offLo = _mm_castsi128_ps(_mm_unpacklo_epi16(off16, off16));
            const __m128 offHi = _mm_castsi128_ps(_mm_unpackhi_epi16(off16, off16));
            acc = _mm_add_ps(acc, _mm_andnot_ps(offLo, load<P>(src + x)));
            acc = _mm_add_ps(acc, _mm_andnot_ps(offHi, load<P>(src + x + 4)));
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
    const std::uint32_t count = static_cast<std::uint32_t>(lane_total(counts)) + tailCount;
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
        if (aligned16(src) && (h == 1 || aligned16(srcStep)))
            return partial_rows<Aligned>(src, srcStep, mask, maskStep, w, h);
        return partial_rows<Unaligned>(src, srcStep, mask, maskStep, w, h);
    }
};

}  // namespace

ZYLCV_MEAN_STDDEV_ENTRIES

}  // namespace zylcv::sse2
