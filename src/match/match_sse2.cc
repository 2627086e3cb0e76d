// SSE2 template-matching kernels. The integer block sums read 32 bytes per step from each run
// (aligned loads when both runs are 16-byte aligned), then 8 bytes, then single elements. Per
// 16 bytes, squares and products are formed in 16-bit lanes and paired into 32-bit lanes
// (pmaddwd); 32-bit lane sums of up to 4096 blocks (at most 4096 * 8 * 65025 < 2^32) are then
// widened into a 64-bit accumulator, so the results are exact for any length. Pixel sums add
// 8-byte sums of absolute values against zero into 32-bit lanes, wrapping modulo 2^32. The 32f
// block sums keep their fixed x87 order and are shared with the portable twin.
#include <emmintrin.h>

#include "core/simd_sse2.h"
#include "match.h"

namespace zylcv::sse2 {
namespace {

void prefetch(const void *p) { _mm_prefetch(static_cast<const char *>(p), _MM_HINT_T0); }

// Blocks summed in 32-bit lanes before they are widened (see the file comment).
constexpr long kChunkBytes = 4096 * 32;

// Sum of the two 64-bit lanes.
long long lanes_total(__m128i v)
{
    v = _mm_add_epi64(v, _mm_unpackhi_epi64(v, v));
    long long r;
    _mm_storel_epi64(reinterpret_cast<__m128i *>(&r), v);
    return r;
}
// 32-bit lanes widened to two 64-bit lanes: zero-extended, or sign-extended.
__m128i widen_u(__m128i v)
{
    const __m128i z = _mm_setzero_si128();
    return _mm_add_epi64(_mm_unpacklo_epi32(v, z), _mm_unpackhi_epi32(v, z));
}
__m128i widen_s(__m128i v)
{
    const __m128i sign = _mm_cmpgt_epi32(_mm_setzero_si128(), v);
    return _mm_add_epi64(_mm_unpacklo_epi32(v, sign), _mm_unpackhi_epi32(v, sign));
}

// Squared differences: |a - b| as the larger minus the smaller byte, widened to 16 bits and
// squared into 32-bit pairs. 8s runs are biased by +128 first, which cancels in the difference.
template <bool Signed> struct L2 {
    static __m128i bias(__m128i v)
    {
        return Signed ? _mm_xor_si128(v, _mm_set1_epi8(char(0x80))) : v;
    }
    static __m128i absdiff(__m128i a, __m128i b)
    {
        a = bias(a), b = bias(b);
        return _mm_or_si128(_mm_subs_epu8(a, b), _mm_subs_epu8(b, a));
    }
    static __m128i sixteen(__m128i a, __m128i b)
    {
        const __m128i d = absdiff(a, b), z = _mm_setzero_si128();
        const __m128i lo = _mm_unpacklo_epi8(d, z), hi = _mm_unpackhi_epi8(d, z);
        return _mm_add_epi32(_mm_madd_epi16(lo, lo), _mm_madd_epi16(hi, hi));
    }
    static __m128i eight(__m128i a, __m128i b)
    {
        const __m128i lo = _mm_unpacklo_epi8(absdiff(a, b), _mm_setzero_si128());
        return _mm_madd_epi16(lo, lo);
    }
    static __m128i widen(__m128i v) { return widen_u(v); }
};

// Products: bytes zero-extended (8u) or sign-extended (8s) to 16 bits, paired into 32 bits.
template <bool Signed> struct CC {
    static __m128i lo16(__m128i v)
    {
        return Signed ? _mm_srai_epi16(_mm_unpacklo_epi8(v, v), 8)
                      : _mm_unpacklo_epi8(v, _mm_setzero_si128());
    }
    static __m128i hi16(__m128i v)
    {
        return Signed ? _mm_srai_epi16(_mm_unpackhi_epi8(v, v), 8)
                      : _mm_unpackhi_epi8(v, _mm_setzero_si128());
    }
    static __m128i sixteen(__m128i a, __m128i b)
    {
        return _mm_add_epi32(_mm_madd_epi16(lo16(a), lo16(b)), _mm_madd_epi16(hi16(a), hi16(b)));
    }
    static __m128i eight(__m128i a, __m128i b) { return _mm_madd_epi16(lo16(a), lo16(b)); }
    static __m128i widen(__m128i v) { return Signed ? widen_s(v) : widen_u(v); }
};

// Per step: 32 bytes of each run into 32-bit lanes, widened every chunk; then 8 bytes; the run
// ends element by element through the exact scalar rule.
template <class Op, int P, class T, class One>
long long block_run(const T *a, const T *b, long len, One one)
{
    __m128i acc = _mm_setzero_si128();
    long i = 0;
    while (len - i >= 32) {
        const long end = i + ((len - i < kChunkBytes ? len - i : kChunkBytes) & ~31L);
        __m128i part = _mm_setzero_si128();
        for (; i < end; i += 32) {
            prefetch(a + i + 512);
            prefetch(b + i + 512);
            part = _mm_add_epi32(part, Op::sixteen(load<P>(a + i), load<P>(b + i)));
            part = _mm_add_epi32(part, Op::sixteen(load<P>(a + i + 16), load<P>(b + i + 16)));
        }
        acc = _mm_add_epi64(acc, Op::widen(part));
    }
    if (len - i >= 8) {
        __m128i part = _mm_setzero_si128();
        for (; i + 8 <= len; i += 8)
            part = _mm_add_epi32(part, Op::eight(load8(a + i), load8(b + i)));
        acc = _mm_add_epi64(acc, Op::widen(part));
    }
    long long s = lanes_total(acc);
    for (; i < len; ++i) s += one(a[i], b[i]);
    return s;
}

template <class Op, class T, class One> long long block(const T *a, const T *b, int len, One one)
{
    if (aligned16(a) && aligned16(b)) return block_run<Op, Aligned>(a, b, len, one);
    return block_run<Op, Unaligned>(a, b, len, one);
}

// Per step: 32 bytes as four 8-byte sums (psadbw against zero) added into 32-bit lanes, then
// 8 bytes; the run ends byte by byte. `flip` biases 8s bytes to 0..255.
template <int P>
std::uint32_t byte_total(const Zyl8u *p, long len, __m128i flip, std::uint32_t one(Zyl8u))
{
    const __m128i z = _mm_setzero_si128();
    __m128i acc = z;
    long i = 0;
    for (; i + 32 <= len; i += 32) {
        prefetch(p + i + 512);
        acc = _mm_add_epi32(acc, _mm_sad_epu8(_mm_xor_si128(load<P>(p + i), flip), z));
        acc = _mm_add_epi32(acc, _mm_sad_epu8(_mm_xor_si128(load<P>(p + i + 16), flip), z));
    }
    const __m128i flip8 = _mm_move_epi64(flip);  // the upper half of an 8-byte load stays zero
    for (; i + 8 <= len; i += 8)
        acc = _mm_add_epi32(acc, _mm_sad_epu8(_mm_xor_si128(load8(p + i), flip8), z));
    std::uint32_t s = std::uint32_t(_mm_cvtsi128_si32(acc)) +
                      std::uint32_t(_mm_cvtsi128_si32(_mm_unpackhi_epi64(acc, acc)));
    for (; i < len; ++i) s += one(p[i]);
    return s;
}
std::uint32_t plain(Zyl8u v) { return v; }
std::uint32_t biased(Zyl8u v) { return std::uint32_t(v ^ 0x80); }

std::uint32_t bytes_sum(const Zyl8u *p, int len, bool signedBytes)
{
    const __m128i flip = _mm_set1_epi8(signedBytes ? char(0x80) : 0);
    auto one = signedBytes ? biased : plain;
    return aligned16(p) ? byte_total<Aligned>(p, len, flip, one)
                        : byte_total<Unaligned>(p, len, flip, one);
}

// This twin's integer block sums; the 32f entries are the shared ones.
struct Rows {
    using Float = match::FloatRows;
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

}  // namespace zylcv::sse2
