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

// The lane operations: blocks of 32 byte pixels, two at a time; a channel of interest is 32
// pixels gathered from 96 bytes; one 16-pixel block where it fits at the end of a row.
struct Lanes {
    static constexpr int kAligned = Aligned, kUnaligned = Unaligned;
    static constexpr std::ptrdiff_t kBlock = 32;
    // Blocks between two moves of the 32-bit square lanes into 64-bit lanes: a lane gains at
    // most four squares of 255 per block, and 8192 * 4 * 65025 < 2^32.
    static constexpr std::ptrdiff_t kBlocksPerFlush = 8192;
    static constexpr bool pairs(int) { return true; }
    static bool aligned(const void *p) { return aligned32(p); }
    static bool aligned(std::ptrdiff_t step) { return aligned32(step); }

    // Packed sums of one call over blocks of 32 (or 16) byte pixels.
    template <class T, bool Masked, bool Squares> struct Packed {
        __m256i sum = _mm256_setzero_si256();      // 64-bit lanes: sum of the (biased) bytes
        __m256i skipped = _mm256_setzero_si256();  // 64-bit lanes: 255 per unselected pixel
        __m256i sq32 = _mm256_setzero_si256();     // 32-bit lanes: squares since the last flush
        __m256i sq64 = _mm256_setzero_si256();     // 64-bit lanes: squares
        std::uint64_t pixels = 0;

        // 32 pixel values v, `off` 0xFF for the pixels whose mask byte is zero. A pixel that is
        // not selected counts as the value 0 (biased: 128, taken off with the rest).
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
                sq32 = _mm256_add_epi32(sq32, _mm256_add_epi32(_mm256_madd_epi16(even, even),
                                                               _mm256_madd_epi16(odd, odd)));
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
        // The packed sums of this and another set, plus the row tails' sums.
        IntSums result(const Packed &other, const IntAcc &tail) const
        {
            const std::uint64_t sq = Squares ? lane_total(_mm256_add_epi64(sq64, other.sq64)) : 0;
            const std::uint64_t skip =
                Masked ? lane_total(_mm256_add_epi64(skipped, other.skipped)) : 0;
            return packed_total<T, Masked, Squares>(lane_total(_mm256_add_epi64(sum, other.sum)),
                                                    sq, skip, pixels + other.pixels, tail);
        }
    };

    // The loads of one block: 32 bytes (one channel) or 32 pixels gathered from 96 bytes, and
    // its mask shuffled into the same order; the same for the last 16-pixel block of a row.
    template <int P, bool Masked, int C> struct Blocks {
        __m256i keep[3] = {_mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256()};
        __m256i lo = _mm256_setzero_si256(), hi = _mm256_setzero_si256();
        __m128i half = _mm_setzero_si128();
        explicit Blocks(int ch)
        {
            if constexpr (C == 3) {
                for (int k = 0; k < 3; ++k) keep[k] = load<Aligned>(&kGather.keep[ch][32 * k]);
                lo = load<Aligned>(kGather.lo[ch]);
                hi = load<Aligned>(kGather.hi[ch]);
                half = sse2::load<Aligned>(kGather.half[ch]);
            }
        }
        ZYLCV_INLINE __m256i block(const Zyl8u *s, std::ptrdiff_t x) const
        {
            if constexpr (C == 1) {
                return load<P>(s + x);
            } else {
                const Zyl8u *p = s + 3 * x;
                __m256i g = _mm256_and_si256(load<P>(p), keep[0]);
                g = _mm256_or_si256(g, _mm256_and_si256(load<P>(p + 32), keep[1]));
                return _mm256_or_si256(g, _mm256_and_si256(load<P>(p + 64), keep[2]));
            }
        }
        ZYLCV_INLINE __m256i off(const Zyl8u *mask, std::ptrdiff_t x) const
        {
            const __m256i zero = _mm256_setzero_si256();
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
        }
        ZYLCV_INLINE __m128i block16(const Zyl8u *s, std::ptrdiff_t x) const
        {
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
        }
        ZYLCV_INLINE __m128i off16(const Zyl8u *mask, std::ptrdiff_t x) const
        {
            const __m128i z = _mm_setzero_si128();
            if constexpr (!Masked) return z;
            else if constexpr (C == 1) return _mm_cmpeq_epi8(sse2::load<P>(mask + x), z);
            else return _mm_cmpeq_epi8(_mm_shuffle_epi8(sse2::load<P>(mask + x), half), z);
        }
        // One 16-pixel block where 16 pixels remain.
        template <class A>
        ZYLCV_INLINE std::ptrdiff_t last(A &a, const Zyl8u *s, const Zyl8u *mask, std::ptrdiff_t x,
                                         std::ptrdiff_t w) const
        {
            if (w - x >= 16) {
                a.add(block16(s, x), off16(mask, x));
                a.flush();
                x += 16;
            }
            return x;
        }
    };

    // The masked float partial sums P0..P3 in the lanes of one register; per group of eight
    // columns (one 32-byte load), the first four then the next four.
    struct Partial {
        __m128 acc = _mm_setzero_ps();
        __m128i counts = _mm_setzero_si128();  // 64-bit lanes: selected pixels of the groups
        template <int P> ZYLCV_INLINE void add(const Zyl32f *src, const Zyl8u *mask)
        {
            const __m128i m = sse2::load8(mask);
            counts = _mm_add_epi64(
                counts, _mm_sad_epu8(_mm_min_epu8(m, _mm_set1_epi8(1)), _mm_setzero_si128()));
            const __m256 off = _mm256_castsi256_ps(
                _mm256_cmpeq_epi32(_mm256_cvtepu8_epi32(m), _mm256_setzero_si256()));
            const __m256 v = _mm256_andnot_ps(off, load<P>(src));
            acc = add_ordered(acc, _mm256_castps256_ps128(v));
            acc = add_ordered(acc, _mm256_extractf128_ps(v, 1));
        }
        ZYLCV_INLINE Zyl32f p0() const { return _mm_cvtss_f32(acc); }
        ZYLCV_INLINE void set_p0(Zyl32f p0) { acc = _mm_move_ss(acc, _mm_set_ss(p0)); }
        std::uint32_t totals(Zyl32f *p) const
        {
            _mm_store_ps(p, acc);
            return static_cast<std::uint32_t>(
                _mm_cvtsi128_si64(_mm_add_epi64(counts, _mm_srli_si128(counts, 8))));
        }
    };
};

using Rows = PackedRows<Lanes>;

}  // namespace

ZYLCV_MEAN_STDDEV_ENTRIES

}  // namespace zylcv::avx2
