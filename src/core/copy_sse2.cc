// SSE2 channel-copy kernels. Each row goes in blocks of 8 pixels (8u) or 4 pixels (32f), then
// pixel by pixel through the same span helpers as the portable twin. A block reads and writes
// exactly its own pixels, so nothing outside the ROI rows is touched. Only unpacks, packs of
// values that fit, and shuffles move the data: every bit, NaN payloads included, arrives as is.
#include <emmintrin.h>

#include "copy.h"
#include "simd_sse2.h"

namespace zylcv::sse2 {
namespace {

// One block of n pixels: `deinterleave` turns the interleaved block into one register per
// channel, `interleave` does the reverse; a plane register holds the block's n elements of one
// channel (8u: the low 8 bytes, 32f: all four lanes).
template <class T, int C> struct Block;

// 8 pixels, 24 bytes. Without a byte shuffle the bytes are widened to 24 16-bit lanes in three
// registers and moved by perfect shuffles: lane i of the first half and lane i of the second
// half become lanes 2i and 2i+1, which sends the lane at position q to 2q mod 23 (the last one
// stays). Three rounds send pixel j, channel c (q = 3j + c) to 8q mod 23 = 8c + j: planar order.
// Taking the even lanes, then the odd lanes, sends q to 12q mod 23; three rounds of it give 3q,
// the inverse of 8q, and so interleave three planes.
template <> struct Block<Zyl8u, 3> {
    static constexpr int n = 8;

    static void perfect_shuffle(__m128i &a, __m128i &b, __m128i &c)
    {
        __m128i s0 = _mm_unpacklo_epi16(a, _mm_srli_si128(b, 8));  // lanes 0..3 with 12..15
        __m128i s1 = _mm_unpacklo_epi16(_mm_srli_si128(a, 8), c);  // lanes 4..7 with 16..19
        __m128i s2 = _mm_unpacklo_epi16(b, _mm_srli_si128(c, 8));  // lanes 8..11 with 20..23
        a = s0, b = s1, c = s2;
    }
    static void evens_then_odds(__m128i &a, __m128i &b, __m128i &c)
    {
        // Lanes hold bytes, so the signed 32-to-16-bit packs never saturate.
        const __m128i even = _mm_set1_epi32(0xFFFF);
        __m128i s0 = _mm_packs_epi32(_mm_and_si128(a, even), _mm_and_si128(b, even));
        __m128i s1 = _mm_packs_epi32(_mm_and_si128(c, even), _mm_srli_epi32(a, 16));
        __m128i s2 = _mm_packs_epi32(_mm_srli_epi32(b, 16), _mm_srli_epi32(c, 16));
        a = s0, b = s1, c = s2;
    }
    static void deinterleave(const Zyl8u *src, __m128i (&ch)[3])
    {
        const __m128i zero = _mm_setzero_si128();
        __m128i v = load(src);
        __m128i a = _mm_unpacklo_epi8(v, zero), b = _mm_unpackhi_epi8(v, zero);
        __m128i c = _mm_unpacklo_epi8(load8(src + 16), zero);
        for (int round = 0; round < 3; ++round) perfect_shuffle(a, b, c);
        ch[0] = _mm_packus_epi16(a, a);
        ch[1] = _mm_packus_epi16(b, b);
        ch[2] = _mm_packus_epi16(c, c);
    }
    static void interleave(const __m128i (&ch)[3], Zyl8u *dst)
    {
        const __m128i zero = _mm_setzero_si128();
        __m128i a = _mm_unpacklo_epi8(ch[0], zero), b = _mm_unpacklo_epi8(ch[1], zero);
        __m128i c = _mm_unpacklo_epi8(ch[2], zero);
        for (int round = 0; round < 3; ++round) evens_then_odds(a, b, c);
        store(dst, _mm_packus_epi16(a, b));
        store8(dst + 16, _mm_packus_epi16(c, c));
    }
    static __m128i load_plane(const Zyl8u *p) { return load8(p); }
    static void store_plane(Zyl8u *p, __m128i v) { store8(p, v); }
};

// 8 pixels, 32 bytes: three rounds of byte unpacks transpose the 8x4 block; the last round
// leaves channels 0|1 in one register and 2|3 in the other.
template <> struct Block<Zyl8u, 4> {
    static constexpr int n = 8;

    static void deinterleave(const Zyl8u *src, __m128i (&ch)[4])
    {
        __m128i v0 = load(src), v1 = load(src + 16);
        __m128i a = _mm_unpacklo_epi8(v0, v1), b = _mm_unpackhi_epi8(v0, v1);  // pixels j, j+4
        __m128i c = _mm_unpacklo_epi8(a, b), d = _mm_unpackhi_epi8(a, b);      // even, odd pixels
        __m128i e = _mm_unpacklo_epi8(c, d), f = _mm_unpackhi_epi8(c, d);
        ch[0] = e;
        ch[1] = _mm_unpackhi_epi64(e, e);
        ch[2] = f;
        ch[3] = _mm_unpackhi_epi64(f, f);
    }
    static void interleave(const __m128i (&ch)[4], Zyl8u *dst)
    {
        __m128i lo = _mm_unpacklo_epi8(ch[0], ch[1]), hi = _mm_unpacklo_epi8(ch[2], ch[3]);
        store(dst, _mm_unpacklo_epi16(lo, hi));
        store(dst + 16, _mm_unpackhi_epi16(lo, hi));
    }
    static __m128i load_plane(const Zyl8u *p) { return load8(p); }
    static void store_plane(Zyl8u *p, __m128i v) { store8(p, v); }
};

// [a[I0], a[I1], b[I2], b[I3]] of 32-bit lanes (a float shuffle: it only moves bits).
template <int I0, int I1, int I2, int I3> __m128i pick(__m128i a, __m128i b)
{
    return _mm_castps_si128(
        _mm_shuffle_ps(_mm_castsi128_ps(a), _mm_castsi128_ps(b), _MM_SHUFFLE(I3, I2, I1, I0)));
}

// 4 pixels, three registers: v0 = a0 b0 c0 a1, v1 = b1 c1 a2 b2, v2 = c2 a3 b3 c3.
template <> struct Block<Zyl32f, 3> {
    static constexpr int n = 4;

    static void deinterleave(const Zyl32f *src, __m128i (&ch)[3])
    {
        const Zyl8u *p = reinterpret_cast<const Zyl8u *>(src);  // integer lanes
        __m128i v0 = load(p), v1 = load(p + 16), v2 = load(p + 32);
        ch[0] = pick<0, 3, 0, 2>(v0, pick<2, 2, 1, 1>(v1, v2));
        ch[1] = pick<0, 2, 0, 2>(pick<1, 1, 0, 0>(v0, v1), pick<3, 3, 2, 2>(v1, v2));
        ch[2] = pick<0, 2, 0, 3>(pick<2, 2, 1, 1>(v0, v1), v2);
    }
    static void interleave(const __m128i (&ch)[3], Zyl32f *dst)
    {
        const __m128i a = ch[0], b = ch[1], c = ch[2];
        void *q = dst;  // integer lanes
        store(q, pick<0, 2, 0, 2>(pick<0, 0, 0, 0>(a, b), pick<0, 0, 1, 1>(c, a)));
        store(advance(q, 16), pick<0, 2, 0, 2>(pick<1, 1, 1, 1>(b, c), pick<2, 2, 2, 2>(a, b)));
        store(advance(q, 32), pick<0, 2, 0, 2>(pick<2, 2, 3, 3>(c, a), pick<3, 3, 3, 3>(b, c)));
    }
    static __m128i load_plane(const Zyl32f *p) { return load(static_cast<const void *>(p)); }
    static void store_plane(Zyl32f *p, __m128i v) { store(static_cast<void *>(p), v); }
};

// 4 pixels, four registers: a 4x4 transpose of 32-bit lanes, which is its own inverse.
template <> struct Block<Zyl32f, 4> {
    static constexpr int n = 4;

    static void transpose(const __m128i (&r)[4], __m128i (&t)[4])
    {
        __m128i lo01 = _mm_unpacklo_epi32(r[0], r[1]), lo23 = _mm_unpacklo_epi32(r[2], r[3]);
        __m128i hi01 = _mm_unpackhi_epi32(r[0], r[1]), hi23 = _mm_unpackhi_epi32(r[2], r[3]);
        t[0] = _mm_unpacklo_epi64(lo01, lo23);
        t[1] = _mm_unpackhi_epi64(lo01, lo23);
        t[2] = _mm_unpacklo_epi64(hi01, hi23);
        t[3] = _mm_unpackhi_epi64(hi01, hi23);
    }
    static void deinterleave(const Zyl32f *src, __m128i (&ch)[4])
    {
        const Zyl8u *p = reinterpret_cast<const Zyl8u *>(src);  // integer lanes
        const __m128i r[4] = {load(p), load(p + 16), load(p + 32), load(p + 48)};
        transpose(r, ch);
    }
    static void interleave(const __m128i (&ch)[4], Zyl32f *dst)
    {
        __m128i r[4];
        transpose(ch, r);
        for (int k = 0; k < 4; ++k) store(static_cast<void *>(dst + 4 * k), r[k]);
    }
    static __m128i load_plane(const Zyl32f *p) { return load(static_cast<const void *>(p)); }
    static void store_plane(Zyl32f *p, __m128i v) { store(static_cast<void *>(p), v); }
};

struct Rows {
    static constexpr bool kBlocks = true;

    // Channel K only: a block computes just the register it stores.
    template <class T, int C, int K>
    ZYLCV_INLINE static int extract_blocks(const T *src, T *dst, int w)
    {
        using B = Block<T, C>;
        int x = 0;
        for (; x + B::n <= w; x += B::n) {
            __m128i v[C];
            B::deinterleave(src + x * C, v);
            B::store_plane(dst + x, v[K]);
        }
        return x;
    }
    template <class T, int C>
    ZYLCV_INLINE static int split_blocks(const T *src, T *const *rows, int w)
    {
        using B = Block<T, C>;
        int x = 0;
        for (; x + B::n <= w; x += B::n) {
            __m128i v[C];
            B::deinterleave(src + x * C, v);
            for (int k = 0; k < C; ++k) B::store_plane(rows[k] + x, v[k]);
        }
        return x;
    }
    template <class T, int C>
    ZYLCV_INLINE static int merge_blocks(const T *const *rows, T *dst, int w)
    {
        using B = Block<T, C>;
        int x = 0;
        for (; x + B::n <= w; x += B::n) {
            __m128i v[C];
            for (int k = 0; k < C; ++k) v[k] = B::load_plane(rows[k] + x);
            B::interleave(v, dst + x * C);
        }
        return x;
    }
};

}  // namespace
ZYLCV_COPY_ENTRIES

}  // namespace zylcv::sse2
