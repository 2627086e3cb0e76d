// SSE2 minimum/maximum-with-location kernels.
//
// 8-bit rows go in blocks of 32 pixels (one channel only), then 8, then 1. A block's smallest
// and largest byte come from byte-wise unsigned minimum and maximum and a horizontal fold; the
// running extremes follow with branch-free strict selections, and the two winning blocks are
// rescanned at the end. The channel of interest of 8 three-channel pixels is gathered from
// their 24 bytes with the channel's row of k4_zycvCoiMaskA (in a permuted pixel order, which
// the extremes do not see; a mask is permuted to match). Runs of four blocks are first tested
// as a whole against the running extremes and passed over when none of their bytes lies
// beyond them, which no block of the run could then replace: the blocks taken, and so the
// results, are those of the plain block search.
//
// Float rows go in blocks of 8 pixels whose order keys are compared with the running extremes
// at once; only a block that holds a new extreme, or that comes before the first selected
// pixel, is walked pixel by pixel, so the results are those of the plain pass.
#include <emmintrin.h>

#include "core/simd_sse2.h"
#include "minmax.h"

namespace zylcv::sse2 {
namespace {

using namespace minmax;

template <class T> __m128i bias(__m128i v)
{
    if constexpr (kBias<T> != 0) return _mm_xor_si128(v, _mm_set1_epi8(char(0x80)));
    else return v;
}

// Low 8 bytes of lo: candidate minima; of hi: candidate maxima. The maxima are complemented so
// that one unsigned-minimum fold over both halves gives both extremes.
void fold8(__m128i lo, __m128i hi, int &bmin, int &bmax)
{
    __m128i c = _mm_unpacklo_epi64(lo, _mm_xor_si128(hi, _mm_set1_epi8(-1)));
    c = _mm_min_epu8(c, _mm_srli_epi64(c, 32));
    c = _mm_min_epu8(c, _mm_srli_epi64(c, 16));
    c = _mm_min_epu8(c, _mm_srli_epi64(c, 8));
    bmin = _mm_cvtsi128_si32(c) & 0xFF;
    bmax = ~_mm_extract_epi16(c, 4) & 0xFF;
}

// Candidates of a masked block: unselected bytes (u = 0xFF) count as 255 for the minimum and
// as 0 for the maximum.
void select(__m128i v, __m128i u, __m128i &lo, __m128i &hi)
{
    lo = _mm_or_si128(v, u);
    hi = _mm_andnot_si128(u, v);
}
__m128i unselected(__m128i m) { return _mm_cmpeq_epi8(m, _mm_setzero_si128()); }

// Candidates of 16 (all bytes) or 8 (low bytes) one-channel pixels.
template <class T, bool Masked>
void candidates16(const Zyl8u *p, const Zyl8u *m, __m128i &lo, __m128i &hi)
{
    __m128i v = bias<T>(load(p));
    lo = hi = v;
    if constexpr (Masked) select(v, unselected(load(m)), lo, hi);
}
template <class T, bool Masked>
void candidates8(const Zyl8u *p, const Zyl8u *m, __m128i &lo, __m128i &hi)
{
    __m128i v = bias<T>(load8(p));
    lo = hi = v;
    if constexpr (Masked) select(v, unselected(load8(m)), lo, hi);
}

// Unselected-pixel bytes in the gathered order of channel ch: byte (3p + ch) mod 8 holds pixel p.
struct GatherOrder {
    std::uint64_t bytes[3][256];
};
constexpr GatherOrder make_gather_order()
{
    GatherOrder t{};
    for (int ch = 0; ch < 3; ++ch)
        for (int b = 0; b < 256; ++b)
            for (int p = 0; p < 8; ++p)
                if (b >> p & 1) t.bytes[ch][b] |= std::uint64_t(0xFF) << 8 * ((3 * p + ch) % 8);
    return t;
}
constexpr GatherOrder kGatherOrder = make_gather_order();

// The channel of interest of three-channel pixels, through row ch of k4_zycvCoiMaskA.
struct Channel3 {
    int ch;
    __m128i t0, t1, n0, n1, n2;
    explicit Channel3(int c) : ch(c)
    {
        auto row = reinterpret_cast<const __m128i *>(k4_zycvCoiMaskA[c]);
        const __m128i ones = _mm_set1_epi8(-1);
        t0 = _mm_load_si128(row);
        t1 = _mm_load_si128(row + 1);
        n0 = _mm_xor_si128(t0, ones);
        n1 = _mm_xor_si128(t1, ones);
        n2 = _mm_xor_si128(_mm_load_si128(row + 2), ones);
    }
    // 8 pixels (24 bytes from p): each third ANDed with its part of the channel's byte mask and
    // the three ORed into the low 8 bytes, where byte (3p + ch) mod 8 holds pixel p.
    __m128i gather(const Zyl8u *p) const
    {
        __m128i a = _mm_and_si128(load(p), t0);
        __m128i b = _mm_and_si128(load8(p + 16), t1);
        return _mm_or_si128(_mm_or_si128(a, _mm_srli_si128(a, 8)), b);
    }
    // Candidates of 8 pixels in their low bytes; a mask is brought into the gathered order.
    template <class T, bool Masked>
    void candidates8(const Zyl8u *p, const Zyl8u *m, __m128i &lo, __m128i &hi) const
    {
        __m128i v = bias<T>(gather(p));
        lo = hi = v;
        if constexpr (Masked) {
            int u = _mm_movemask_epi8(unselected(load8(m))) & 0xFF;
            select(v, load8(&kGatherOrder.bytes[ch][u]), lo, hi);
        }
    }
    // Candidates of 16 pixels (48 bytes) without gathering: the other channels' bytes count as
    // 255 for the minimum and as 0 for the maximum.
    template <class T> void candidates16(const Zyl8u *p, __m128i &lo, __m128i &hi) const
    {
        __m128i v0 = bias<T>(load(p)), v1 = bias<T>(load(p + 16)), v2 = bias<T>(load(p + 32));
        lo = _mm_min_epu8(_mm_min_epu8(_mm_or_si128(v0, n0), _mm_or_si128(v1, n1)),
                          _mm_or_si128(v2, n2));
        hi = _mm_max_epu8(_mm_max_epu8(_mm_andnot_si128(n0, v0), _mm_andnot_si128(n1, v1)),
                          _mm_andnot_si128(n2, v2));
    }
};

// One block from its candidates (low 8 bytes): fold, then the running extremes.
template <bool Masked> void take(BlockSearch &s, __m128i lo, __m128i hi, long at)
{
    int bmin, bmax;
    fold8(lo, hi, bmin, bmax);
    if constexpr (Masked) take_masked_block(s, bmin, bmax, at);
    else take_block(s, bmin, bmax, at);
}

// 32 one-channel pixels: two 16-byte groups, then their halves, combined before the fold.
template <class T, bool Masked>
void candidates32(const Zyl8u *p, const Zyl8u *m, __m128i &lo, __m128i &hi)
{
    __m128i l0, h0, l1, h1;
    candidates16<T, Masked>(p, m, l0, h0);
    candidates16<T, Masked>(p + 16, Masked ? m + 16 : m, l1, h1);
    lo = _mm_min_epu8(l0, l1);
    hi = _mm_max_epu8(h0, h1);
}
template <bool Masked> void take32(BlockSearch &s, __m128i lo, __m128i hi, long at)
{
    take<Masked>(s, _mm_min_epu8(lo, _mm_srli_si128(lo, 8)),
                 _mm_max_epu8(hi, _mm_srli_si128(hi, 8)), at);
}

// Chunks of four blocks go through one test first: unless one of their bytes lies beyond a
// running extreme, no block of the chunk can replace it (the comparisons are strict), and the
// chunk is passed over; otherwise its blocks are taken one by one as usual. The test needs
// both running extremes inside the byte range, that is, a selected pixel already seen.
struct Reach {
    __m128i lo = _mm_setzero_si128(), hi = _mm_setzero_si128();
    bool valid = false;
    void update(const BlockSearch &s)
    {
        valid = s.minAt >= 0 && s.maxAt >= 0;
        lo = _mm_set1_epi8(static_cast<char>(s.minV));
        hi = _mm_set1_epi8(static_cast<char>(s.maxV));
    }
    // Whether a byte of lo (among those in `bytes`) lies below the running minimum, or one of
    // hi above the running maximum.
    bool beyond(__m128i clo, __m128i chi, int bytes) const
    {
        __m128i d = _mm_or_si128(_mm_subs_epu8(lo, clo), _mm_subs_epu8(chi, hi));
        return (~_mm_movemask_epi8(_mm_cmpeq_epi8(d, _mm_setzero_si128())) & bytes) != 0;
    }
};

// Per step: one block (32 pixels while 32 remain, one channel only, in chunks of four when
// possible; then 8, in chunks of four when the channel of interest is searched); each row ends
// with its single pixels, and the raster index carries on into the next row.
template <class T, int N, bool Masked>
MinMaxLoc blocks(const T *src, int srcStep, const Zyl8u *mask, int maskStep, long w, int h, int ch)
{
    BlockSearch s;
    Reach r;
    const Channel3 c(N == 3 ? ch : 0);
    const Zyl8u *row = reinterpret_cast<const Zyl8u *>(src);
    const Zyl8u *mrow = mask;
    auto mk = [&](long x) { return Masked ? mrow + x : nullptr; };
    long at = 0;
    for (int y = 0; y < h; ++y, at += w) {
        long x = 0;
        __m128i lo[4], hi[4];
        if constexpr (N == 1) {
            for (; x + 128 <= w; x += 128) {
                for (int k = 0; k < 4; ++k)
                    candidates32<T, Masked>(row + x + 32 * k, mk(x + 32 * k), lo[k], hi[k]);
                if (r.valid) {
                    __m128i l =
                        _mm_min_epu8(_mm_min_epu8(lo[0], lo[1]), _mm_min_epu8(lo[2], lo[3]));
                    __m128i u =
                        _mm_max_epu8(_mm_max_epu8(hi[0], hi[1]), _mm_max_epu8(hi[2], hi[3]));
                    if (!r.beyond(l, u, 0xFFFF)) continue;
                }
                for (int k = 0; k < 4; ++k) take32<Masked>(s, lo[k], hi[k], at + x + 32 * k);
                r.update(s);
            }
            for (; x + 32 <= w; x += 32) {
                candidates32<T, Masked>(row + x, mk(x), lo[0], hi[0]);
                take32<Masked>(s, lo[0], hi[0], at + x);
            }
            for (; x + 8 <= w; x += 8) {
                candidates8<T, Masked>(row + x, mk(x), lo[0], hi[0]);
                take<Masked>(s, lo[0], hi[0], at + x);
            }
        } else {
            for (; x + 32 <= w; x += 32) {
                if constexpr (Masked) {
                    for (int k = 0; k < 4; ++k)
                        c.candidates8<T, Masked>(row + 3 * (x + 8 * k), mk(x + 8 * k), lo[k],
                                                 hi[k]);
                    if (r.valid) {
                        __m128i l =
                            _mm_min_epu8(_mm_min_epu8(lo[0], lo[1]), _mm_min_epu8(lo[2], lo[3]));
                        __m128i u =
                            _mm_max_epu8(_mm_max_epu8(hi[0], hi[1]), _mm_max_epu8(hi[2], hi[3]));
                        if (!r.beyond(l, u, 0x00FF)) continue;
                    }
                } else {
                    if (r.valid) {
                        __m128i l0, u0, l1, u1;
                        c.candidates16<T>(row + 3 * x, l0, u0);
                        c.candidates16<T>(row + 3 * x + 48, l1, u1);
                        if (!r.beyond(_mm_min_epu8(l0, l1), _mm_max_epu8(u0, u1), 0xFFFF)) continue;
                    }
                    for (int k = 0; k < 4; ++k)
                        c.candidates8<T, Masked>(row + 3 * (x + 8 * k), mk(x + 8 * k), lo[k],
                                                 hi[k]);
                }
                for (int k = 0; k < 4; ++k) take<Masked>(s, lo[k], hi[k], at + x + 8 * k);
                r.update(s);
            }
            for (; x + 8 <= w; x += 8) {
                c.candidates8<T, Masked>(row + 3 * x, mk(x), lo[0], hi[0]);
                take<Masked>(s, lo[0], hi[0], at + x);
            }
        }
        for (; x < w; ++x)
            take_pixel<T, Masked>(s, static_cast<T>(row[x * N + ch]), Masked ? mrow[x] : 1, at + x);
        r.update(s);
        row += srcStep;
        if constexpr (Masked) mrow += maskStep;
    }
    return finish_blocks(s, src + ch, srcStep, Masked ? mask : nullptr, maskStep, w, h, N);
}

// ---- 32f -------------------------------------------------------------------------------------

__m128i keys(__m128 v)
{
    __m128i b = _mm_castps_si128(v);
    return _mm_xor_si128(_mm_and_si128(b, _mm_set1_epi32(0x7FFFFFFF)), _mm_srai_epi32(b, 31));
}

// Element C of 4 consecutive pixels of N elements (pixel order).
template <int N, int C> __m128 gather4(const Zyl32f *p)
{
    if constexpr (N == 1) {
        return _mm_loadu_ps(p);
    } else {
        __m128 v0 = _mm_loadu_ps(p), v1 = _mm_loadu_ps(p + 4), v2 = _mm_loadu_ps(p + 8);
        if constexpr (C == 0) {  // 0 3 | 6 9
            return _mm_shuffle_ps(v0, _mm_shuffle_ps(v1, v2, _MM_SHUFFLE(0, 1, 0, 2)),
                                  _MM_SHUFFLE(2, 0, 3, 0));
        } else if constexpr (C == 1) {  // 1 4 | 7 10
            __m128 a = _mm_shuffle_ps(v0, v1, _MM_SHUFFLE(0, 0, 0, 1));
            __m128 b = _mm_shuffle_ps(v1, v2, _MM_SHUFFLE(0, 2, 0, 3));
            return _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0));
        } else {  // 2 5 | 8 11
            __m128 a = _mm_shuffle_ps(v0, v1, _MM_SHUFFLE(0, 1, 0, 2));
            return _mm_shuffle_ps(a, v2, _MM_SHUFFLE(3, 0, 2, 0));
        }
    }
}

// Lanes whose key lies outside [lo, hi].
__m128i outside(__m128i k, __m128i lo, __m128i hi)
{
    return _mm_or_si128(_mm_cmplt_epi32(k, lo), _mm_cmpgt_epi32(k, hi));
}

// Per step: 8 pixels tested at once, walked one by one only when they can change the running
// extremes; each row ends pixel by pixel.
template <int N, int C, bool Masked>
MinMaxLoc pass(const Zyl32f *src, int srcStep, const Zyl8u *mask, int maskStep, long w, int h)
{
    KeySearch s;
    __m128i lo = _mm_setzero_si128(), hi = lo;
    long at = 0;
    for (int y = 0; y < h; ++y, at += w) {
        auto walk = [&](long from, long to) {
            for (long x = from; x < to; ++x)
                if (!Masked || mask[x]) s.take(order_key(src[x * N + C]), at + x);
        };
        long x = 0;
        for (; x + 8 <= w; x += 8) {
            __m128i k0 = keys(gather4<N, C>(src + x * N)),
                    k1 = keys(gather4<N, C>(src + (x + 4) * N));
            __m128i o0 = outside(k0, lo, hi), o1 = outside(k1, lo, hi);
            if constexpr (Masked) {
                __m128i m = load8(mask + x);
                m = _mm_unpacklo_epi8(m, m);
                o0 = _mm_andnot_si128(
                    _mm_cmpeq_epi32(_mm_unpacklo_epi16(m, m), _mm_setzero_si128()), o0);
                o1 = _mm_andnot_si128(
                    _mm_cmpeq_epi32(_mm_unpackhi_epi16(m, m), _mm_setzero_si128()), o1);
            }
            if (_mm_movemask_epi8(_mm_or_si128(o0, o1)) != 0 || s.minAt < 0) {
                walk(x, x + 8);
                lo = _mm_set1_epi32(s.minK);
                hi = _mm_set1_epi32(s.maxK);
            }
        }
        walk(x, w);
        lo = _mm_set1_epi32(s.minK);
        hi = _mm_set1_epi32(s.maxK);
        src = advance(src, srcStep);
        if constexpr (Masked) mask += maskStep;
    }
    return s.result();
}

template <int N, bool Masked>
MinMaxLoc pass_ch(const Zyl32f *src, int srcStep, const Zyl8u *mask, int maskStep, long w, int h,
                  int ch)
{
    if constexpr (N == 1) return pass<1, 0, Masked>(src, srcStep, mask, maskStep, w, h);
    else if (ch == 0) return pass<3, 0, Masked>(src, srcStep, mask, maskStep, w, h);
    else if (ch == 1) return pass<3, 1, Masked>(src, srcStep, mask, maskStep, w, h);
    else return pass<3, 2, Masked>(src, srcStep, mask, maskStep, w, h);
}

struct Rows {
    template <class T, int N, bool Masked>
    static MinMaxLoc search(const T *src, int srcStep, const Zyl8u *mask, int maskStep, long w,
                            int h, int ch)
    {
        if constexpr (std::is_same_v<T, Zyl32f>)
            return pass_ch<N, Masked>(src, srcStep, mask, maskStep, w, h, ch);
        else return blocks<T, N, Masked>(src, srcStep, mask, maskStep, w, h, ch);
    }
};

}  // namespace

ZYLCV_MINMAX_ENTRIES

}  // namespace zylcv::sse2
