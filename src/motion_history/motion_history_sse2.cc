// SSE2 motion-history kernel. Rows go in blocks of 8 pixels (two 4-lane integer vectors of float
// patterns), then pixel by pixel through the shared helper; only integer compares and bitwise
// selects touch the history. When the limit's sign bit is clear the raw patterns compare as
// signed integers exactly as their order keys do, so that path skips the key transform. History
// loads and stores are aligned when its pointer and step are multiples of 16.
#include <emmintrin.h>

#include "core/simd_sse2.h"
#include "motion_history.h"

namespace zylcv::sse2 {
namespace {

// Order keys of four patterns: the magnitude bits of negative patterns are complemented.
__m128i order_keys(__m128i v) { return _mm_xor_si128(v, _mm_srli_epi32(_mm_srai_epi32(v, 31), 1)); }

// One 4-lane block: `idle` is all ones where the silhouette byte is zero.
template <bool RawKeys>
__m128i update4(__m128i h, __m128i idle, __m128i timestamp, __m128i limitKey)
{
    __m128i old = _mm_cmpgt_epi32(limitKey, RawKeys ? h : order_keys(h));
    __m128i kept = _mm_and_si128(idle, _mm_andnot_si128(old, h));
    return _mm_or_si128(_mm_andnot_si128(idle, timestamp), kept);
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
        const bool al = aligned16(h) && (height == 1 || aligned16(hStep));
        const bool raw = limitKey >= 0;
        auto rows = [&]<Access P>() {
            motion_history::rows<Rows, P>(s, sStep, h, hStep, w, height, timestamp, limitKey);
        };
        if (al && raw) rows.template operator()<Access{Aligned, true}>();
        else if (al) rows.template operator()<Access{Aligned, false}>();
        else if (raw) rows.template operator()<Access{Unaligned, true}>();
        else rows.template operator()<Access{Unaligned, false}>();
    }

    // Per step: 8 pixels, silhouette bytes spread to 32-bit lanes; the row ends pixel by pixel.
    template <Access P>
    static void row(const Zyl8u *s, Zyl32f *h, int w, std::uint32_t timestamp,
                    std::int32_t limitKey)
    {
        const __m128i ts = _mm_set1_epi32(static_cast<int>(timestamp));
        const __m128i lim = _mm_set1_epi32(limitKey);
        const __m128i zero = _mm_setzero_si128();
        auto *hb = reinterpret_cast<motion_history::FloatBits *>(h);
        int x = 0;
        for (; x <= w - 8; x += 8) {
            __m128i idle = _mm_cmpeq_epi8(load8(s + x), zero);
            idle = _mm_unpacklo_epi8(idle, idle);
            __m128i idle0 = _mm_unpacklo_epi16(idle, idle), idle1 = _mm_unpackhi_epi16(idle, idle);
            __m128i r0 = update4<P.rawKeys>(load<P.hist>(hb + x), idle0, ts, lim);
            __m128i r1 = update4<P.rawKeys>(load<P.hist>(hb + x + 4), idle1, ts, lim);
            store<P.hist>(hb + x, r0);
            store<P.hist>(hb + x + 4, r1);
        }
        motion_history::mhi_span(s, hb, x, w, timestamp, limitKey);
    }
};

}  // namespace
ZYLCV_MOTION_HISTORY_ENTRIES

}  // namespace zylcv::sse2
