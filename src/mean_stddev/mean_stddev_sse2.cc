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

// The lane operations: blocks of 16 byte pixels, two at a time for one channel; a channel of
// interest is 16 pixels gathered from 48 bytes; no narrower last block.
struct Lanes {
    static constexpr int kAligned = Aligned, kUnaligned = Unaligned;
    static constexpr std::ptrdiff_t kBlock = 16;
    // Blocks between two moves of the 32-bit square lanes into 64-bit lanes: a lane gains at
    // most four squares of 255 per block, and 8192 * 4 * 65025 < 2^32.
    static constexpr std::ptrdiff_t kBlocksPerFlush = 8192;
    static constexpr bool pairs(int c) { return c == 1; }
    static bool aligned(const void *p) { return aligned16(p); }
    static bool aligned(std::ptrdiff_t step) { return aligned16(step); }

    // Packed sums of one call over blocks of 16 byte pixels.
    template <class T, bool Masked, bool Squares> struct Packed {
        __m128i sum = _mm_setzero_si128();      // 64-bit lanes: sum of the (biased) bytes
        __m128i skipped = _mm_setzero_si128();  // 64-bit lanes: 255 per pixel whose mask byte is 0
        __m128i sq32 = _mm_setzero_si128();     // 32-bit lanes: squares since the last flush
        __m128i sq64 = _mm_setzero_si128();     // 64-bit lanes: squares
        std::ptrdiff_t blocks = 0;

        // One block: v holds 16 pixel values, `off` is 0xFF for the pixels whose mask byte is
        // zero. A pixel that is not selected counts as the value 0 (biased: 128, taken off with
        // the rest).
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
                const __m128i sq =
                    _mm_add_epi32(_mm_madd_epi16(even, even), _mm_madd_epi16(odd, odd));
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
        // The packed sums of this and another set, plus the row tails' sums.
        IntSums result(const Packed &other, const IntAcc &tail) const
        {
            const std::uint64_t sq = Squares ? lane_total(_mm_add_epi64(sq64, other.sq64)) : 0;
            const std::uint64_t skip =
                Masked ? lane_total(_mm_add_epi64(skipped, other.skipped)) : 0;
            return packed_total<T, Masked, Squares>(lane_total(_mm_add_epi64(sum, other.sum)), sq,
                                                    skip, std::uint64_t(blocks + other.blocks) * 16,
                                                    tail);
        }
    };

    // The loads of one block: 16 bytes (one channel) or 16 pixels gathered from 48 bytes, and
    // its mask in the same order.
    template <int P, bool Masked, int C> struct Blocks {
        __m128i coi[3] = {_mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128()};
        int ch;
        explicit Blocks(int ch) : ch(ch)
        {
            if constexpr (C == 3)
                for (int k = 0; k < 3; ++k) coi[k] = load<Aligned>(&k4_zycvCoiMaskA[ch][16 * k]);
        }
        ZYLCV_INLINE __m128i block(const Zyl8u *s, std::ptrdiff_t x) const
        {
            if constexpr (C == 1) {
                return load<P>(s + x);
            } else {
                const Zyl8u *p = s + 3 * x;
                __m128i g = _mm_and_si128(load<P>(p), coi[0]);
                g = _mm_or_si128(g, _mm_and_si128(load<P>(p + 16), coi[1]));
                return _mm_or_si128(g, _mm_and_si128(load<P>(p + 32), coi[2]));
            }
        }
        ZYLCV_INLINE __m128i off(const Zyl8u *mask, std::ptrdiff_t x) const
        {
            const __m128i zero = _mm_setzero_si128();
            if constexpr (!Masked) {
                return zero;
            } else if constexpr (C == 1) {
                return _mm_cmpeq_epi8(load<P>(mask + x), zero);
            } else {
                const __m128i spread =
                    _mm_setr_epi8(1, 1, 2, 2, 4, 4, 8, 8, 16, 16, 32, 32, 64, 64, -128, -128);
                const __m128i off = _mm_cmpeq_epi8(load<P>(mask + x), zero);
                const unsigned z = unsigned(_mm_movemask_epi8(off));
                const unsigned g =
                    kGatherBits.bits[ch][0][z & 255] | kGatherBits.bits[ch][1][z >> 8];
                __m128i b = _mm_shufflelo_epi16(_mm_cvtsi32_si128(int(g)), 0);
                b = _mm_and_si128(_mm_shuffle_epi32(b, 0), spread);
                return _mm_cmpeq_epi8(b, spread);
            }
        }
        template <class A>
        ZYLCV_INLINE std::ptrdiff_t last(A &, const Zyl8u *, const Zyl8u *, std::ptrdiff_t x,
                                         std::ptrdiff_t) const
        {
            return x;
        }
    };

    // The masked float partial sums P0..P3 in the lanes of one register; per group of eight
    // columns, the first four then the next four.
    struct Partial {
        __m128 acc = _mm_setzero_ps();
        __m128i counts = _mm_setzero_si128();  // 64-bit lanes: selected pixels of the groups
        template <int P> ZYLCV_INLINE void add(const Zyl32f *src, const Zyl8u *mask)
        {
            const __m128i zero = _mm_setzero_si128();
            const __m128i m = load8(mask);
            counts = _mm_add_epi64(counts, _mm_sad_epu8(_mm_min_epu8(m, _mm_set1_epi8(1)), zero));
            const __m128i off8 = _mm_cmpeq_epi8(m, zero);
            const __m128i off16 = _mm_unpacklo_epi8(off8, off8);
            const __m128 offLo = _mm_castsi128_ps(_mm_unpacklo_epi16(off16, off16));
            const __m128 offHi = _mm_castsi128_ps(_mm_unpackhi_epi16(off16, off16));
            acc = _mm_add_ps(acc, _mm_andnot_ps(offLo, load<P>(src)));
            acc = _mm_add_ps(acc, _mm_andnot_ps(offHi, load<P>(src + 4)));
        }
        ZYLCV_INLINE Zyl32f p0() const { return _mm_cvtss_f32(acc); }
        ZYLCV_INLINE void set_p0(Zyl32f p0) { acc = _mm_move_ss(acc, _mm_set_ss(p0)); }
        std::uint32_t totals(Zyl32f *p) const
        {
            _mm_store_ps(p, acc);
            return static_cast<std::uint32_t>(lane_total(counts));
        }
    };
};

using Rows = PackedRows<Lanes>;

}  // namespace

ZYLCV_MEAN_STDDEV_ENTRIES

}  // namespace zylcv::sse2
