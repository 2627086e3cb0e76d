// SSE2 motion-history kernel. Rows go in blocks of 8 pixels (two 4-lane integer vectors of float
// patterns), then pixel by pixel through the shared helper; only integer compares and bitwise
// selects touch the history. When the limit's sign bit is clear the raw patterns compare as
// signed integers exactly as their order keys do, so that path skips the key transform. History
// loads and stores are aligned when its pointer and step are multiples of 16.
#include <emmintrin.h>

#include "motion_history.h"

namespace zylcv::sse2 {
namespace {

template <bool Al> __m128i load(const Zyl32f *p)
{
    auto q = reinterpret_cast<const __m128i *>(p);
    return Al ? _mm_load_si128(q) : _mm_loadu_si128(q);
}
template <bool Al> void store(Zyl32f *p, __m128i v)
{
    auto q = reinterpret_cast<__m128i *>(p);
    if constexpr (Al) _mm_store_si128(q, v);
    else _mm_storeu_si128(q, v);
}

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

// Per step: 8 pixels, silhouette bytes spread to 32-bit lanes; the row ends pixel by pixel.
template <bool Al, bool RawKeys>
void rows(const Zyl8u *s, int sStep, Zyl32f *h, int hStep, int w, int height,
          std::uint32_t timestamp, std::int32_t limitKey)
{
    const __m128i ts = _mm_set1_epi32(static_cast<int>(timestamp));
    const __m128i lim = _mm_set1_epi32(limitKey);
    const __m128i zero = _mm_setzero_si128();
    for (int y = 0; y < height; ++y) {
        int x = 0;
        for (; x <= w - 8; x += 8) {
            auto sil = reinterpret_cast<const __m128i *>(s + x);
            __m128i idle = _mm_cmpeq_epi8(_mm_loadl_epi64(sil), zero);
            idle = _mm_unpacklo_epi8(idle, idle);
            __m128i idle0 = _mm_unpacklo_epi16(idle, idle), idle1 = _mm_unpackhi_epi16(idle, idle);
            __m128i r0 = update4<RawKeys>(load<Al>(h + x), idle0, ts, lim);
            __m128i r1 = update4<RawKeys>(load<Al>(h + x + 4), idle1, ts, lim);
            store<Al>(h + x, r0);
            store<Al>(h + x + 4, r1);
        }
        mhi_span(s, reinterpret_cast<FloatBits *>(h), x, w, timestamp, limitKey);
        s = advance(s, sStep);
        h = advance(h, hStep);
    }
}

}  // namespace

void update_motion_history(const Zyl8u *sil, int silStep, Zyl32f *mhi, int mhiStep, int width,
                           int height, std::uint32_t timestamp, std::uint32_t limit)
{
    const std::int32_t limitKey = order_key(limit);
    const bool al = aligned16(mhi) && (height == 1 || aligned16(mhiStep));
    const bool raw = limitKey >= 0;
    if (al && raw) rows<true, true>(sil, silStep, mhi, mhiStep, width, height, timestamp, limitKey);
    else if (al) rows<true, false>(sil, silStep, mhi, mhiStep, width, height, timestamp, limitKey);
    else if (raw) rows<false, true>(sil, silStep, mhi, mhiStep, width, height, timestamp, limitKey);
    else rows<false, false>(sil, silStep, mhi, mhiStep, width, height, timestamp, limitKey);
}

}  // namespace zylcv::sse2
