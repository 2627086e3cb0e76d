// AVX2 minimum/maximum-with-location kernels.
//
// 8-bit rows go in blocks of 32 pixels (one channel only, one register each), then 8, then 1,
// the blocks the other twins take. Chunks of 128 one-channel pixels, or of 32 three-channel
// pixels (96 bytes), are first tested as a whole against the running extremes and passed over
// when none of their bytes lies beyond them, which no block of the chunk could then replace:
// the blocks taken, and so the results, are those of the plain block search. The channel of
// interest is never gathered: the other channels' bytes, and unselected pixels, count as 255
// for the minimum and as 0 for the maximum. A block's extremes come from a horizontal fold, the
// running extremes follow with branch-free strict selections, and the two winning blocks are
// rescanned at the end.
//
// Float rows go in steps of 16 pixels (then 8) whose order keys are compared with the running
// extremes at once; only a step that holds a new extreme, or that comes before the first
// selected pixel, is walked pixel by pixel, so the results are those of the plain pass.
#include "core/simd_avx2.h"
#include "minmax.h"

namespace zylcv::avx2 {
namespace {

using namespace minmax;

// Byte tables of the channel of interest ch: 0xFF at the bytes of the other channels of 96
// interleaved bytes (`other`); the byte shuffles that spread the 8 mask bytes of a block over
// its 24 bytes (`spread`: bytes 0-15, then 16-23 with 0x80 above); and those that spread 32
// mask bytes over 96 (`spread32`: byte j of the 96 takes mask byte j / 3, from the 16 mask bytes
// broadcast into its lane).
struct Tables {
    alignas(32) Zyl8u other[3][96];
    alignas(16) Zyl8u spread[2][16];
    alignas(32) Zyl8u spread32[96];
};
constexpr Tables make_tables()
{
    Tables t{};
    for (int ch = 0; ch < 3; ++ch)
        for (int j = 0; j < 96; ++j) t.other[ch][j] = j % 3 == ch ? 0 : 0xFF;
    for (int j = 0; j < 16; ++j) {
        t.spread[0][j] = Zyl8u(j / 3);
        t.spread[1][j] = Zyl8u(j < 8 ? (16 + j) / 3 : 0x80);
    }
    // Registers 0 and 2 read mask bytes 0-15 and 16-31; register 1 bytes 0-15 in its low lane
    // and 16-31 in its high lane.
    for (int j = 0; j < 96; ++j) t.spread32[j] = Zyl8u((j / 3) % 16);
    return t;
}
constexpr Tables kTables = make_tables();

template <class T> ZYLCV_INLINE __m256i bias(__m256i v)
{
    if constexpr (kBias<T> != 0) return _mm256_xor_si256(v, _mm256_set1_epi8(char(0x80)));
    else return v;
}
template <class T> ZYLCV_INLINE __m128i bias(__m128i v)
{
    if constexpr (kBias<T> != 0) return _mm_xor_si128(v, _mm_set1_epi8(char(0x80)));
    else return v;
}

// Extremes of the low 8 bytes of lo (minimum) and hi (maximum): the maxima complemented, so
// that one unsigned-minimum fold over both halves gives both.
ZYLCV_INLINE void fold8(__m128i lo, __m128i hi, int &bmin, int &bmax)
{
    __m128i c = _mm_unpacklo_epi64(lo, _mm_xor_si128(hi, _mm_set1_epi8(-1)));
    c = _mm_min_epu8(c, _mm_srli_epi64(c, 32));
    c = _mm_min_epu8(c, _mm_srli_epi64(c, 16));
    c = _mm_min_epu8(c, _mm_srli_epi64(c, 8));
    bmin = _mm_cvtsi128_si32(c) & 0xFF;
    bmax = ~_mm_extract_epi16(c, 4) & 0xFF;
}

// A block from its candidates (the low 8 bytes, all 16, or all 32), then the running extremes.
template <bool Masked> ZYLCV_INLINE void take8(BlockSearch &s, __m128i lo, __m128i hi, long at)
{
    int bmin, bmax;
    fold8(lo, hi, bmin, bmax);
    if constexpr (Masked) take_masked_block(s, bmin, bmax, at);
    else take_block(s, bmin, bmax, at);
}
template <bool Masked> ZYLCV_INLINE void take16(BlockSearch &s, __m128i lo, __m128i hi, long at)
{
    take8<Masked>(s, _mm_min_epu8(lo, _mm_srli_si128(lo, 8)),
                  _mm_max_epu8(hi, _mm_srli_si128(hi, 8)), at);
}
template <bool Masked> ZYLCV_INLINE void take32(BlockSearch &s, __m256i lo, __m256i hi, long at)
{
    take16<Masked>(s, _mm_min_epu8(_mm256_castsi256_si128(lo), _mm256_extracti128_si256(lo, 1)),
                   _mm_max_epu8(_mm256_castsi256_si128(hi), _mm256_extracti128_si256(hi, 1)), at);
}

// Candidates of 32 one-channel pixels, or of 8 in the low bytes: unselected bytes (mask byte
// zero) count as 255 for the minimum and as 0 for the maximum.
template <class T, bool Masked>
ZYLCV_INLINE void candidates32(const Zyl8u *p, const Zyl8u *m, __m256i &lo, __m256i &hi)
{
    const __m256i v = bias<T>(load(p));
    lo = hi = v;
    if constexpr (Masked) {
        const __m256i u = _mm256_cmpeq_epi8(load(m), _mm256_setzero_si256());
        lo = _mm256_or_si256(v, u);
        hi = _mm256_andnot_si256(u, v);
    }
}
template <class T, bool Masked>
ZYLCV_INLINE void candidates8(const Zyl8u *p, const Zyl8u *m, __m128i &lo, __m128i &hi)
{
    const __m128i v = bias<T>(sse2::load8(p));
    lo = hi = v;
    if constexpr (Masked) {
        const __m128i u = _mm_cmpeq_epi8(sse2::load8(m), _mm_setzero_si128());
        lo = _mm_or_si128(v, u);
        hi = _mm_andnot_si128(u, v);
    }
}

// The channel of interest of three-channel pixels, read in place.
struct Channel3 {
    __m256i other[3];
    __m128i other16, other8, spread0, spread1;
    __m256i spread32[3];
    explicit Channel3(int ch)
    {
        for (int k = 0; k < 3; ++k) {
            other[k] = load<Aligned>(&kTables.other[ch][32 * k]);
            spread32[k] = load<Aligned>(&kTables.spread32[32 * k]);
        }
        other16 = _mm256_castsi256_si128(other[0]);
        // Bytes 16-23 of a block, and 0xFF above them.
        other8 = _mm_unpacklo_epi64(_mm256_extracti128_si256(other[0], 1), _mm_set1_epi8(-1));
        spread0 = sse2::load<Aligned>(kTables.spread[0]);
        spread1 = sse2::load<Aligned>(kTables.spread[1]);
    }
    // Candidates of the 8 pixels of one block (24 bytes from p) in 16 bytes.
    template <class T, bool Masked>
    ZYLCV_INLINE void candidates8(const Zyl8u *p, const Zyl8u *m, __m128i &lo, __m128i &hi) const
    {
        const __m128i v0 = bias<T>(sse2::load(p)), v1 = bias<T>(sse2::load8(p + 16));
        __m128i o0 = other16, o1 = other8;
        if constexpr (Masked) {
            const __m128i u = _mm_cmpeq_epi8(sse2::load8(m), _mm_setzero_si128());
            o0 = _mm_or_si128(o0, _mm_shuffle_epi8(u, spread0));
            o1 = _mm_or_si128(o1, _mm_shuffle_epi8(u, spread1));
        }
        lo = _mm_min_epu8(_mm_or_si128(v0, o0), _mm_or_si128(v1, o1));
        hi = _mm_max_epu8(_mm_andnot_si128(o0, v0), _mm_andnot_si128(o1, v1));
    }
    // Candidates of 32 pixels (96 bytes from p) in 32 bytes.
    template <class T, bool Masked>
    ZYLCV_INLINE void candidates32(const Zyl8u *p, const Zyl8u *m, __m256i &lo, __m256i &hi) const
    {
        __m256i o[3] = {other[0], other[1], other[2]};
        if constexpr (Masked) {
            const __m128i z = _mm_setzero_si128();
            const __m256i u0 = _mm256_broadcastsi128_si256(_mm_cmpeq_epi8(sse2::load(m), z));
            const __m256i u1 = _mm256_broadcastsi128_si256(_mm_cmpeq_epi8(sse2::load(m + 16), z));
            const __m256i u01 = _mm256_blend_epi32(u0, u1, 0xF0);
            o[0] = _mm256_or_si256(o[0], _mm256_shuffle_epi8(u0, spread32[0]));
            o[1] = _mm256_or_si256(o[1], _mm256_shuffle_epi8(u01, spread32[1]));
            o[2] = _mm256_or_si256(o[2], _mm256_shuffle_epi8(u1, spread32[2]));
        }
        __m256i v[3];
        for (int k = 0; k < 3; ++k) v[k] = bias<T>(load(p + 32 * k));
        lo = _mm256_min_epu8(
            _mm256_min_epu8(_mm256_or_si256(v[0], o[0]), _mm256_or_si256(v[1], o[1])),
            _mm256_or_si256(v[2], o[2]));
        hi = _mm256_max_epu8(
            _mm256_max_epu8(_mm256_andnot_si256(o[0], v[0]), _mm256_andnot_si256(o[1], v[1])),
            _mm256_andnot_si256(o[2], v[2]));
    }
};

// The running extremes in every byte lane, for the test of a chunk. The test needs both inside
// the byte range, that is, a selected pixel already seen.
struct Reach {
    __m256i lo = _mm256_setzero_si256(), hi = _mm256_setzero_si256();
    bool valid = false;
    void update(const BlockSearch &s)
    {
        valid = s.minAt >= 0 && s.maxAt >= 0;
        lo = _mm256_set1_epi8(static_cast<char>(s.minV));
        hi = _mm256_set1_epi8(static_cast<char>(s.maxV));
    }
    // Whether a byte of clo lies below the running minimum, or one of chi above the maximum.
    bool beyond(__m256i clo, __m256i chi) const
    {
        const __m256i d = _mm256_or_si256(_mm256_subs_epu8(lo, clo), _mm256_subs_epu8(chi, hi));
        return !_mm256_testz_si256(d, d);
    }
};

// Per step: a chunk of four 32-pixel blocks (one channel) or of four 8-pixel blocks (channel of
// interest), tested as a whole, its blocks taken only when it holds a byte beyond the running
// extremes; then single blocks of 32 (one channel) and of 8; each row ends with its single
// pixels, and the raster index carries on into the next row.
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
        if constexpr (N == 1) {
            __m256i lo[4], hi[4];
            for (; x + 128 <= w; x += 128) {
                for (int k = 0; k < 4; ++k)
                    candidates32<T, Masked>(row + x + 32 * k, mk(x + 32 * k), lo[k], hi[k]);
                if (r.valid) {
                    const __m256i l = _mm256_min_epu8(_mm256_min_epu8(lo[0], lo[1]),
                                                      _mm256_min_epu8(lo[2], lo[3]));
                    const __m256i u = _mm256_max_epu8(_mm256_max_epu8(hi[0], hi[1]),
                                                      _mm256_max_epu8(hi[2], hi[3]));
                    if (!r.beyond(l, u)) continue;
                }
                for (int k = 0; k < 4; ++k) take32<Masked>(s, lo[k], hi[k], at + x + 32 * k);
                r.update(s);
            }
            for (; x + 32 <= w; x += 32) {
                candidates32<T, Masked>(row + x, mk(x), lo[0], hi[0]);
                take32<Masked>(s, lo[0], hi[0], at + x);
            }
            for (; x + 8 <= w; x += 8) {
                __m128i l, u;
                candidates8<T, Masked>(row + x, mk(x), l, u);
                take8<Masked>(s, l, u, at + x);
            }
        } else {
            for (; x + 32 <= w; x += 32) {
                if (r.valid) {
                    __m256i l, u;
                    c.candidates32<T, Masked>(row + 3 * x, mk(x), l, u);
                    if (!r.beyond(l, u)) continue;
                }
                for (int k = 0; k < 4; ++k) {
                    __m128i l, u;
                    c.candidates8<T, Masked>(row + 3 * (x + 8 * k), mk(x + 8 * k), l, u);
                    take16<Masked>(s, l, u, at + x + 8 * k);
                }
                r.update(s);
            }
            for (; x + 8 <= w; x += 8) {
                __m128i l, u;
                c.candidates8<T, Masked>(row + 3 * x, mk(x), l, u);
                take16<Masked>(s, l, u, at + x);
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

ZYLCV_INLINE __m256i keys(__m256 v)
{
    const __m256i b = _mm256_castps_si256(v);
    return _mm256_xor_si256(_mm256_and_si256(b, _mm256_set1_epi32(0x7FFFFFFF)),
                            _mm256_srai_epi32(b, 31));
}

// Element C of 8 consecutive pixels of N elements, in pixel order: for three elements, element
// 3i + C lies in register (3i + C) / 8 at lane (3i + C) mod 8, lanes that differ for every i.
template <int N, int C> ZYLCV_INLINE __m256 gather8(const Zyl32f *p)
{
    if constexpr (N == 1) {
        return _mm256_loadu_ps(p);
    } else {
        constexpr auto from = [](int reg) {
            int m = 0;
            for (int i = 0; i < 8; ++i)
                if ((3 * i + C) / 8 == reg) m |= 1 << ((3 * i + C) % 8);
            return m;
        };
        constexpr int from1 = from(1), from2 = from(2);
        const __m256 b =
            _mm256_blend_ps(_mm256_blend_ps(_mm256_loadu_ps(p), _mm256_loadu_ps(p + 8), from1),
                            _mm256_loadu_ps(p + 16), from2);
        const __m256i idx =
            _mm256_setr_epi32(C % 8, (3 + C) % 8, (6 + C) % 8, (9 + C) % 8, (12 + C) % 8,
                              (15 + C) % 8, (18 + C) % 8, (21 + C) % 8);
        return _mm256_permutevar8x32_ps(b, idx);
    }
}

// Lanes of 8 pixels whose key lies outside [lo, hi] (and whose mask byte is set).
template <int N, int C, bool Masked>
ZYLCV_INLINE __m256i outside8(const Zyl32f *p, const Zyl8u *m, __m256i lo, __m256i hi)
{
    const __m256i k = keys(gather8<N, C>(p));
    const __m256i o = _mm256_or_si256(_mm256_cmpgt_epi32(lo, k), _mm256_cmpgt_epi32(k, hi));
    if constexpr (!Masked) return o;
    const __m256i u =
        _mm256_cmpeq_epi32(_mm256_cvtepu8_epi32(sse2::load8(m)), _mm256_setzero_si256());
    return _mm256_andnot_si256(u, o);
}

// Per step: 16 pixels tested at once (then 8), walked one by one only when they can change the
// running extremes; each row ends pixel by pixel.
template <int N, int C, bool Masked>
MinMaxLoc pass(const Zyl32f *src, int srcStep, const Zyl8u *mask, int maskStep, long w, int h)
{
    KeySearch s;
    __m256i lo = _mm256_setzero_si256(), hi = lo;
    auto mk = [&](long x) { return Masked ? mask + x : nullptr; };
    long at = 0;
    for (int y = 0; y < h; ++y, at += w) {
        auto walk = [&](long from, long to) {
            for (long x = from; x < to; ++x)
                if (!Masked || mask[x]) s.take(order_key(src[x * N + C]), at + x);
            lo = _mm256_set1_epi32(s.minK);
            hi = _mm256_set1_epi32(s.maxK);
        };
        long x = 0;
        for (; x + 16 <= w; x += 16) {
            const __m256i o =
                _mm256_or_si256(outside8<N, C, Masked>(src + x * N, mk(x), lo, hi),
                                outside8<N, C, Masked>(src + (x + 8) * N, mk(x + 8), lo, hi));
            if (!_mm256_testz_si256(o, o) || s.minAt < 0) walk(x, x + 16);
        }
        if (x + 8 <= w) {
            const __m256i o = outside8<N, C, Masked>(src + x * N, mk(x), lo, hi);
            if (!_mm256_testz_si256(o, o) || s.minAt < 0) walk(x, x + 8);
            x += 8;
        }
        walk(x, w);
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

}  // namespace zylcv::avx2
