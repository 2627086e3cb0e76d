// AVX2 motion-history kernel. Rows go in blocks of 16 pixels (two 8-lane integer vectors of float
// patterns), then one block of 8, then pixel by pixel through the shared helper; only integer
// compares and bitwise selects touch the history. When the limit's sign bit is clear the raw
// patterns compare as signed integers exactly as their order keys do, so that path skips the key
// transform. History loads and stores are aligned when its pointer and step are multiples of 32.
#include "core/simd_avx2.h"
#include "motion_history.h"

namespace zylcv::avx2 {
namespace {

// Order keys of eight patterns: the magnitude bits of negative patterns are complemented.
ZYLCV_INLINE __m256i order_keys(__m256i v)
{
    return _mm256_xor_si256(v, _mm256_srli_epi32(_mm256_srai_epi32(v, 31), 1));
}

// One 8-lane block: `idle` is all ones where the silhouette byte is zero.
template <bool RawKeys>
ZYLCV_INLINE __m256i update8(__m256i h, __m256i idle, __m256i timestamp, __m256i limitKey)
{
    __m256i old = _mm256_cmpgt_epi32(limitKey, RawKeys ? h : order_keys(h));
    return _mm256_blendv_epi8(timestamp, _mm256_andnot_si256(old, h), idle);
}

// How the rows are run: the history's access path, and whether raw patterns serve as keys.
struct Access {
    Path hist;
    bool rawKeys;
};

struct Rows {
    static void run(const Zyl8u *s, int sStep, Zyl32f *h, int hStep, int w, int height,
                    std::uint32_t timestamp, std::int32_t limitKey)
    {
        const bool al = aligned32(h) && (height == 1 || aligned32(hStep));
        const bool raw = limitKey >= 0;
        auto rows = [&]<Access P>() {
            motion_history::rows<Rows, P>(s, sStep, h, hStep, w, height, timestamp, limitKey);
        };
        if (al && raw) rows.template operator()<Access{Aligned, true}>();
        else if (al) rows.template operator()<Access{Aligned, false}>();
        else if (raw) rows.template operator()<Access{Unaligned, true}>();
        else rows.template operator()<Access{Unaligned, false}>();
    }

    // Per step: 16 pixels, silhouette bytes spread to 32-bit lanes of two registers, then one
    // step of 8; the row ends pixel by pixel.
    template <Access P>
    static void row(const Zyl8u *s, Zyl32f *h, int w, std::uint32_t timestamp,
                    std::int32_t limitKey)
    {
        const __m256i ts = _mm256_set1_epi32(static_cast<int>(timestamp));
        const __m256i lim = _mm256_set1_epi32(limitKey);
        const __m128i zero = _mm_setzero_si128();
        auto *hb = reinterpret_cast<motion_history::FloatBits *>(h);
        int x = 0;
        for (; x <= w - 16; x += 16) {
            __m128i idle = _mm_cmpeq_epi8(sse2::load(s + x), zero);
            __m256i idle0 = _mm256_cvtepi8_epi32(idle);
            __m256i idle1 = _mm256_cvtepi8_epi32(_mm_unpackhi_epi64(idle, idle));
            __m256i r0 = update8<P.rawKeys>(load<P.hist>(hb + x), idle0, ts, lim);
            __m256i r1 = update8<P.rawKeys>(load<P.hist>(hb + x + 8), idle1, ts, lim);
            store<P.hist>(hb + x, r0);
            store<P.hist>(hb + x + 8, r1);
        }
        if (x <= w - 8) {
            __m256i idle = _mm256_cvtepi8_epi32(_mm_cmpeq_epi8(sse2::load8(s + x), zero));
            store<P.hist>(hb + x, update8<P.rawKeys>(load<P.hist>(hb + x), idle, ts, lim));
            x += 8;
        }
        motion_history::mhi_span(s, hb, x, w, timestamp, limitKey);
    }
};

}  // namespace
ZYLCV_MOTION_HISTORY_ENTRIES

}  // namespace zylcv::avx2
