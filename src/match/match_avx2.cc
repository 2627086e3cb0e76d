// AVX2 template-matching kernels. The integer block sums split a run into two halves of whole
// 64-byte steps read side by side (four streams keep more loads in flight than two), then go
// through the rest 32, then 8 bytes at a time, then by single elements; loads are aligned when
// both runs are 32-byte aligned. Per 32 bytes, the even and the odd bytes are widened in place to
// 16-bit lanes (a mask and a shift, no shuffles) and their squares or products paired into 32-bit
// lanes (vpmaddwd); 32-bit lane sums of up to 8192 such blocks (at most 8192 * 4 * 65025 < 2^32)
// are then widened into 64-bit accumulators, so the results are exact for any length and equal
// to every other twin's whatever the order of the lanes. Pixel sums add 8-byte sums of absolute
// values against zero (vpsadbw) into 64-bit lanes and keep the low 32 bits of the total. The 32f
// entries are the SSE2 twin's: their sums are x87 work in a fixed order, and its compile fixes
// which NaN the double arithmetic around them keeps.
#include "core/simd_avx2.h"
#include "match.h"

namespace zylcv::avx2 {
namespace {

ZYLCV_INLINE void prefetch(const void *p)
{
    _mm_prefetch(static_cast<const char *>(p), _MM_HINT_T0);
}

// Bytes summed in 32-bit lanes before they are widened (see the file comment).
constexpr long kChunkBytes = 8192 * 32;

// Sum of the four 64-bit lanes, and of the two of a half register.
ZYLCV_INLINE __m128i fold(__m256i v)
{
    return _mm_add_epi64(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
}
ZYLCV_INLINE long long lanes_total(__m128i v)
{
    v = _mm_add_epi64(v, _mm_unpackhi_epi64(v, v));
    return _mm_cvtsi128_si64(v);
}
// 32-bit lanes widened to 64-bit lanes and paired: zero-extended, or sign-extended.
ZYLCV_INLINE __m256i widen_u(__m256i v)
{
    const __m256i z = _mm256_setzero_si256();
    return _mm256_add_epi64(_mm256_unpacklo_epi32(v, z), _mm256_unpackhi_epi32(v, z));
}
ZYLCV_INLINE __m256i widen_s(__m256i v)
{
    const __m256i sign = _mm256_cmpgt_epi32(_mm256_setzero_si256(), v);
    return _mm256_add_epi64(_mm256_unpacklo_epi32(v, sign), _mm256_unpackhi_epi32(v, sign));
}
ZYLCV_INLINE __m128i widen_u(__m128i v)
{
    return _mm_add_epi64(_mm_cvtepu32_epi64(v), _mm_cvtepu32_epi64(_mm_unpackhi_epi64(v, v)));
}
ZYLCV_INLINE __m128i widen_s(__m128i v)
{
    return _mm_add_epi64(_mm_cvtepi32_epi64(v), _mm_cvtepi32_epi64(_mm_unpackhi_epi64(v, v)));
}

// Squared differences: |a - b| as the larger minus the smaller byte, its even and odd bytes
// widened to 16 bits and squared into 32-bit pairs. 8s runs are biased by +128 first, which
// cancels in the difference.
template <bool Signed> struct L2 {
    static constexpr bool kSigned = false;  // every lane sum is non-negative
    template <class V> static V absdiff(V a, V b)
    {
        if constexpr (sizeof(V) == 32) {
            if constexpr (Signed) {
                const __m256i flip = _mm256_set1_epi8(char(0x80));
                a = _mm256_xor_si256(a, flip), b = _mm256_xor_si256(b, flip);
            }
            return _mm256_or_si256(_mm256_subs_epu8(a, b), _mm256_subs_epu8(b, a));
        } else {
            if constexpr (Signed) {
                const __m128i flip = _mm_set1_epi8(char(0x80));
                a = _mm_xor_si128(a, flip), b = _mm_xor_si128(b, flip);
            }
            return _mm_or_si128(_mm_subs_epu8(a, b), _mm_subs_epu8(b, a));
        }
    }
    static __m256i block(__m256i a, __m256i b)
    {
        const __m256i d = absdiff(a, b);
        const __m256i even = _mm256_and_si256(d, _mm256_set1_epi16(0xFF)),
                      odd = _mm256_srli_epi16(d, 8);
        return _mm256_add_epi32(_mm256_madd_epi16(even, even), _mm256_madd_epi16(odd, odd));
    }
    static __m128i eight(__m128i a, __m128i b)
    {
        const __m128i d = _mm_cvtepu8_epi16(absdiff(a, b));
        return _mm_madd_epi16(d, d);
    }
};

// Products: even and odd bytes zero-extended (8u) or sign-extended (8s) to 16 bits in place,
// paired into 32 bits.
template <bool Signed> struct CC {
    static constexpr bool kSigned = Signed;
    static __m256i even16(__m256i v)
    {
        return Signed ? _mm256_srai_epi16(_mm256_slli_epi16(v, 8), 8)
                      : _mm256_and_si256(v, _mm256_set1_epi16(0xFF));
    }
    static __m256i odd16(__m256i v)
    {
        return Signed ? _mm256_srai_epi16(v, 8) : _mm256_srli_epi16(v, 8);
    }
    static __m256i block(__m256i a, __m256i b)
    {
        return _mm256_add_epi32(_mm256_madd_epi16(even16(a), even16(b)),
                                _mm256_madd_epi16(odd16(a), odd16(b)));
    }
    static __m128i eight(__m128i a, __m128i b)
    {
        return Signed ? _mm_madd_epi16(_mm_cvtepi8_epi16(a), _mm_cvtepi8_epi16(b))
                      : _mm_madd_epi16(_mm_cvtepu8_epi16(a), _mm_cvtepu8_epi16(b));
    }
};

template <class Op, class V> ZYLCV_INLINE V widen(V v)
{
    if constexpr (Op::kSigned) return widen_s(v);
    else return widen_u(v);
}

// Per step: 64 bytes at the same offset in each half of the runs' whole 128-byte part, two
// registers per half, into one 32-bit accumulator per half, widened every chunk; then 32 bytes,
// then 8 bytes in a half register; the run ends element by element through the exact scalar
// rule.
template <class Op, int P, class T, class One>
long long block_run(const T *a, const T *b, long len, One one)
{
    const long half = len / 128 * 64;
    const T *a1 = a + half, *b1 = b + half;
    auto step = [&](const T *x, const T *y, long i) ZYLCV_INLINE_LAMBDA {
        return _mm256_add_epi32(Op::block(load<P>(x + i), load<P>(y + i)),
                                Op::block(load<P>(x + i + 32), load<P>(y + i + 32)));
    };
    __m256i acc = _mm256_setzero_si256();
    for (long i = 0; i < half;) {
        const long end = i + (half - i < kChunkBytes ? half - i : kChunkBytes);
        __m256i part0 = _mm256_setzero_si256(), part1 = part0;
        for (; i < end; i += 64) {
            part0 = _mm256_add_epi32(part0, step(a, b, i));
            part1 = _mm256_add_epi32(part1, step(a1, b1, i));
        }
        acc = _mm256_add_epi64(acc, _mm256_add_epi64(widen<Op>(part0), widen<Op>(part1)));
    }
    long i = 2 * half;
    if (len - i >= 32) {
        __m256i part = _mm256_setzero_si256();
        for (; i + 32 <= len; i += 32)
            part = _mm256_add_epi32(part, Op::block(load<P>(a + i), load<P>(b + i)));
        acc = _mm256_add_epi64(acc, widen<Op>(part));
    }
    __m128i total = fold(acc);
    if (len - i >= 8) {
        __m128i part = _mm_setzero_si128();
        for (; i + 8 <= len; i += 8)
            part = _mm_add_epi32(part, Op::eight(sse2::load8(a + i), sse2::load8(b + i)));
        total = _mm_add_epi64(total, widen<Op>(part));
    }
    long long s = lanes_total(total);
    for (; i < len; ++i) s += one(a[i], b[i]);
    return s;
}

template <class Op, class T, class One> long long block(const T *a, const T *b, int len, One one)
{
    if (aligned32(a) && aligned32(b)) return block_run<Op, Aligned>(a, b, len, one);
    return block_run<Op, Unaligned>(a, b, len, one);
}

// Per step: 64 bytes as eight 8-byte sums (vpsadbw against zero) added into 64-bit lanes, then
// 32, then 8 bytes; the run ends byte by byte. `flip` biases 8s bytes to 0..255.
template <int P>
std::uint32_t byte_total(const Zyl8u *p, long len, __m256i flip, std::uint32_t one(Zyl8u))
{
    const __m256i z = _mm256_setzero_si256();
    auto sad = [&](long i) ZYLCV_INLINE_LAMBDA {
        return _mm256_sad_epu8(_mm256_xor_si256(load<P>(p + i), flip), z);
    };
    __m256i acc = z;
    long i = 0;
    for (; i + 64 <= len; i += 64) {
        prefetch(p + i + 512);
        acc = _mm256_add_epi64(acc, _mm256_add_epi64(sad(i), sad(i + 32)));
    }
    if (i + 32 <= len) acc = _mm256_add_epi64(acc, sad(i)), i += 32;
    __m128i total = fold(acc);
    // The upper half of an 8-byte load stays zero.
    const __m128i flip8 = _mm_move_epi64(_mm256_castsi256_si128(flip));
    for (; i + 8 <= len; i += 8)
        total = _mm_add_epi64(
            total, _mm_sad_epu8(_mm_xor_si128(sse2::load8(p + i), flip8), _mm_setzero_si128()));
    std::uint32_t s = std::uint32_t(lanes_total(total));
    for (; i < len; ++i) s += one(p[i]);
    return s;
}
std::uint32_t plain(Zyl8u v) { return v; }
std::uint32_t biased(Zyl8u v) { return std::uint32_t(v ^ 0x80); }

std::uint32_t bytes_sum(const Zyl8u *p, int len, bool signedBytes)
{
    const __m256i flip = _mm256_set1_epi8(signedBytes ? char(0x80) : 0);
    auto one = signedBytes ? biased : plain;
    return aligned32(p) ? byte_total<Aligned>(p, len, flip, one)
                        : byte_total<Unaligned>(p, len, flip, one);
}

// The SSE2 twin's 32f entries, as compiled there (see match::FloatRows).
struct Float {
    static double sum(const Zyl32f *p, int len) { return sse2::sum_pixels(p, len); }
    static double l2(const Zyl32f *a, const Zyl32f *b, int len)
    {
        return sse2::cmp_blocks_l2(a, b, len);
    }
    static double cc(const Zyl32f *a, const Zyl32f *b, int len)
    {
        return sse2::cross_corr(a, b, len);
    }
    template <match::MatchMethod M>
    static void match(const Zyl32f *src, int srcStep, int W, int H, const Zyl32f *tpl, int tplStep,
                      int w, int h, Zyl32f *dst, int dstStep, Zyl8u *buffer)
    {
        sse2::match_template<M>(src, srcStep, W, H, tpl, tplStep, w, h, dst, dstStep, buffer);
    }
};

// This twin's integer block sums and the SSE2 twin's 32f entries.
struct Rows {
    using Float = avx2::Float;
    static Zyl32s sum(const Zyl8u *p, int len) { return Zyl32s(bytes_sum(p, len, false)); }
    static Zyl32s sum(const Zyl8s *p, int len)
    {
        const std::uint32_t s = bytes_sum(reinterpret_cast<const Zyl8u *>(p), len, true);
        return Zyl32s(s - 128u * std::uint32_t(len));
    }
    static long long l2(const Zyl8u *a, const Zyl8u *b, int len)
    {
        return block<L2<false>>(a, b, len,
                                [](Zyl8u x, Zyl8u y) { return (int(x) - y) * (int(x) - y); });
    }
    static long long l2(const Zyl8s *a, const Zyl8s *b, int len)
    {
        return block<L2<true>>(a, b, len,
                               [](Zyl8s x, Zyl8s y) { return (int(x) - y) * (int(x) - y); });
    }
    static long long cc(const Zyl8u *a, const Zyl8u *b, int len)
    {
        return block<CC<false>>(a, b, len, [](Zyl8u x, Zyl8u y) { return int(x) * int(y); });
    }
    static long long cc(const Zyl8s *a, const Zyl8s *b, int len)
    {
        return block<CC<true>>(a, b, len, [](Zyl8s x, Zyl8s y) { return int(x) * int(y); });
    }
};

}  // namespace
ZYLCV_MATCH_ENTRIES

}  // namespace zylcv::avx2
