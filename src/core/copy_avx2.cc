// AVX2 channel-copy kernels. A block is written once over its register type: a 32-byte block is
// two 16-byte blocks side by side, the first half of its pixels in the low lanes and the second
// half in the high lanes, so that every shuffle stays within a lane and a plane register comes
// out in row order. Each row goes in 32-byte blocks (32 pixels of 8u, 8 of 32f), then at most
// one 16-byte block, then pixel by pixel through the same span helpers as the portable twin. A
// block reads and writes exactly its own pixels, so nothing outside the ROI rows is touched.
// Interleaved blocks are stored as whole 32-byte runs; merges into images too large to stay in
// cache store around it. Only byte shuffles, unpacks, lane permutes and float shuffles move the
// data: every bit, NaN payloads included, arrives as is.
#include "copy.h"
#include "simd_avx2.h"

namespace zylcv::avx2 {
namespace {

// The lane operations on either register type.
ZYLCV_INLINE __m128i shuffle_bytes(__m128i v, __m128i m) { return _mm_shuffle_epi8(v, m); }
ZYLCV_INLINE __m256i shuffle_bytes(__m256i v, __m256i m) { return _mm256_shuffle_epi8(v, m); }
ZYLCV_INLINE __m128i unpacklo32(__m128i a, __m128i b) { return _mm_unpacklo_epi32(a, b); }
ZYLCV_INLINE __m256i unpacklo32(__m256i a, __m256i b) { return _mm256_unpacklo_epi32(a, b); }
ZYLCV_INLINE __m128i unpackhi32(__m128i a, __m128i b) { return _mm_unpackhi_epi32(a, b); }
ZYLCV_INLINE __m256i unpackhi32(__m256i a, __m256i b) { return _mm256_unpackhi_epi32(a, b); }
ZYLCV_INLINE __m128i unpacklo64(__m128i a, __m128i b) { return _mm_unpacklo_epi64(a, b); }
ZYLCV_INLINE __m256i unpacklo64(__m256i a, __m256i b) { return _mm256_unpacklo_epi64(a, b); }
ZYLCV_INLINE __m128i unpackhi64(__m128i a, __m128i b) { return _mm_unpackhi_epi64(a, b); }
ZYLCV_INLINE __m256i unpackhi64(__m256i a, __m256i b) { return _mm256_unpackhi_epi64(a, b); }

// [a[I0], a[I1], b[I2], b[I3]] of 32-bit lanes in every 16-byte lane (a float shuffle: it only
// moves bits).
template <int I0, int I1, int I2, int I3> ZYLCV_INLINE __m128i pick(__m128i a, __m128i b)
{
    return _mm_castps_si128(
        _mm_shuffle_ps(_mm_castsi128_ps(a), _mm_castsi128_ps(b), _MM_SHUFFLE(I3, I2, I1, I0)));
}
template <int I0, int I1, int I2, int I3> ZYLCV_INLINE __m256i pick(__m256i a, __m256i b)
{
    return _mm256_castps_si256(_mm256_shuffle_ps(_mm256_castsi256_ps(a), _mm256_castsi256_ps(b),
                                                 _MM_SHUFFLE(I3, I2, I1, I0)));
}

// A 16-byte constant in every lane.
template <class V> ZYLCV_INLINE V lanes(const signed char (&m)[16])
{
    __m128i v = sse2::load<Aligned>(m);
    if constexpr (sizeof(V) == 16) return v;
    else return _mm256_broadcastsi128_si256(v);
}

// Register k of an interleaved block of C registers: bytes 16k.. of the first half in the low
// lane and bytes 16k.. of the second half in the high lane.
template <class V, int C> ZYLCV_INLINE V load_part(const void *block, int k)
{
    auto p = static_cast<const Zyl8u *>(block) + 16 * k;
    if constexpr (sizeof(V) == 16) return sse2::load(p);
    else
        return _mm256_loadu2_m128i(reinterpret_cast<const __m128i *>(p + 16 * C),
                                   reinterpret_cast<const __m128i *>(p));
}
// Stores an interleaved block of C registers laid out as load_part gives them. In memory order
// the block's 16-byte halves are the low lanes of r[0..C-1], then their high lanes; a 32-byte
// block pairs consecutive halves with lane permutes, so that every store is 32 whole bytes.
template <int P, class V, int C> ZYLCV_INLINE void store_parts(void *block, const V (&r)[C])
{
    auto p = static_cast<Zyl8u *>(block);
    if constexpr (sizeof(V) == 16) {
#pragma GCC unroll 4
        for (int k = 0; k < C; ++k) sse2::store<P>(p + 16 * k, r[k]);
    } else if constexpr (C == 3) {
        store<P>(p, _mm256_permute2x128_si256(r[0], r[1], 0x20));
        store<P>(p + 32, _mm256_permute2x128_si256(r[2], r[0], 0x30));
        store<P>(p + 64, _mm256_permute2x128_si256(r[1], r[2], 0x31));
    } else {
        store<P>(p, _mm256_permute2x128_si256(r[0], r[1], 0x20));
        store<P>(p + 32, _mm256_permute2x128_si256(r[2], r[3], 0x20));
        store<P>(p + 64, _mm256_permute2x128_si256(r[0], r[1], 0x31));
        store<P>(p + 96, _mm256_permute2x128_si256(r[2], r[3], 0x31));
    }
}
// A plane register: the block's elements of one channel, in row order.
template <class V> ZYLCV_INLINE V load_plane(const void *p)
{
    if constexpr (sizeof(V) == 16) return sse2::load(p);
    else return load(p);
}
template <int P, class V> ZYLCV_INLINE void store_plane(void *p, V v)
{
    if constexpr (sizeof(V) == 16) sse2::store<P>(p, v);
    else store<P>(p, v);
}

// Byte shuffles of a 16-pixel 3-channel lane (48 bytes in three registers): kSplit3[k][c] takes
// the channel-c bytes of register k to their pixel's position, kMerge3[k][c] takes pixel bytes of
// plane c to their place in register k; every other byte becomes zero (index with the top bit
// set).
struct Shuffles3 {
    alignas(16) signed char m[3][3][16];
};
constexpr Shuffles3 shuffles3(bool merge)
{
    Shuffles3 s{};
    for (int k = 0; k < 3; ++k)
        for (int c = 0; c < 3; ++c)
            for (int j = 0; j < 16; ++j) {
                int i = merge ? 16 * k + j : 3 * j + c;  // interleaved byte
                bool here = merge ? i % 3 == c : i / 16 == k;
                s.m[k][c][j] = static_cast<signed char>(!here ? -128 : merge ? i / 3 : i % 16);
            }
    return s;
}
constexpr Shuffles3 kSplit3 = shuffles3(false), kMerge3 = shuffles3(true);

// Within each 4x4 byte square (4 pixels of 4 channels) pixels and channels swap; it is its own
// inverse.
alignas(16) constexpr signed char kTranspose4[16] = {0, 4, 8,  12, 1, 5, 9,  13,
                                                     2, 6, 10, 14, 3, 7, 11, 15};

// A 4x4 transpose of 32-bit lanes in every 16-byte lane, which is its own inverse.
template <class V> ZYLCV_INLINE void transpose(const V (&r)[4], V (&t)[4])
{
    V lo01 = unpacklo32(r[0], r[1]), lo23 = unpacklo32(r[2], r[3]);
    V hi01 = unpackhi32(r[0], r[1]), hi23 = unpackhi32(r[2], r[3]);
    t[0] = unpacklo64(lo01, lo23);
    t[1] = unpackhi64(lo01, lo23);
    t[2] = unpacklo64(hi01, hi23);
    t[3] = unpackhi64(hi01, hi23);
}

// One block of n pixels in registers V: `deinterleave` turns the interleaved block into one
// plane register per channel, `interleave` does the reverse.
template <class T, int C, class V> struct Block;

// 16 pixels per lane: each plane byte is gathered from the one register that holds it.
template <class V> struct Block<Zyl8u, 3, V> {
    static constexpr int n = sizeof(V);

    static void deinterleave(const Zyl8u *src, V (&ch)[3])
    {
        const V r[3] = {load_part<V, 3>(src, 0), load_part<V, 3>(src, 1), load_part<V, 3>(src, 2)};
#pragma GCC unroll 4
        for (int c = 0; c < 3; ++c)
            ch[c] = shuffle_bytes(r[0], lanes<V>(kSplit3.m[0][c])) |
                    shuffle_bytes(r[1], lanes<V>(kSplit3.m[1][c])) |
                    shuffle_bytes(r[2], lanes<V>(kSplit3.m[2][c]));
    }
    template <int P> static void interleave(const V (&ch)[3], Zyl8u *dst)
    {
        V r[3];
#pragma GCC unroll 4
        for (int k = 0; k < 3; ++k)
            r[k] = shuffle_bytes(ch[0], lanes<V>(kMerge3.m[k][0])) |
                   shuffle_bytes(ch[1], lanes<V>(kMerge3.m[k][1])) |
                   shuffle_bytes(ch[2], lanes<V>(kMerge3.m[k][2]));
        store_parts<P>(dst, r);
    }
};

// 16 pixels per lane: a byte transpose of each 4-pixel square, then a 32-bit transpose of the
// four squares; interleaving runs the two backwards.
template <class V> struct Block<Zyl8u, 4, V> {
    static constexpr int n = sizeof(V);

    static void deinterleave(const Zyl8u *src, V (&ch)[4])
    {
        const V t = lanes<V>(kTranspose4);
        V r[4];
#pragma GCC unroll 4
        for (int k = 0; k < 4; ++k) r[k] = shuffle_bytes(load_part<V, 4>(src, k), t);
        transpose(r, ch);
    }
    template <int P> static void interleave(const V (&ch)[4], Zyl8u *dst)
    {
        const V t = lanes<V>(kTranspose4);
        V r[4];
        transpose(ch, r);
#pragma GCC unroll 4
        for (V &v : r) v = shuffle_bytes(v, t);
        store_parts<P>(dst, r);
    }
};

// 4 pixels per lane in three registers: v0 = a0 b0 c0 a1, v1 = b1 c1 a2 b2, v2 = c2 a3 b3 c3.
template <class V> struct Block<Zyl32f, 3, V> {
    static constexpr int n = sizeof(V) / 4;

    static void deinterleave(const Zyl32f *src, V (&ch)[3])
    {
        V v0 = load_part<V, 3>(src, 0), v1 = load_part<V, 3>(src, 1), v2 = load_part<V, 3>(src, 2);
        ch[0] = pick<0, 3, 0, 2>(v0, pick<2, 2, 1, 1>(v1, v2));
        ch[1] = pick<0, 2, 0, 2>(pick<1, 1, 0, 0>(v0, v1), pick<3, 3, 2, 2>(v1, v2));
        ch[2] = pick<0, 2, 0, 3>(pick<2, 2, 1, 1>(v0, v1), v2);
    }
    template <int P> static void interleave(const V (&ch)[3], Zyl32f *dst)
    {
        const V a = ch[0], b = ch[1], c = ch[2];
        const V r[3] = {pick<0, 2, 0, 2>(pick<0, 0, 0, 0>(a, b), pick<0, 0, 1, 1>(c, a)),
                        pick<0, 2, 0, 2>(pick<1, 1, 1, 1>(b, c), pick<2, 2, 2, 2>(a, b)),
                        pick<0, 2, 0, 2>(pick<2, 2, 3, 3>(c, a), pick<3, 3, 3, 3>(b, c))};
        store_parts<P>(dst, r);
    }
};

// 4 pixels per lane: a 4x4 transpose of 32-bit lanes.
template <class V> struct Block<Zyl32f, 4, V> {
    static constexpr int n = sizeof(V) / 4;

    static void deinterleave(const Zyl32f *src, V (&ch)[4])
    {
        V r[4];
#pragma GCC unroll 4
        for (int k = 0; k < 4; ++k) r[k] = load_part<V, 4>(src, k);
        transpose(r, ch);
    }
    template <int P> static void interleave(const V (&ch)[4], Zyl32f *dst)
    {
        V r[4];
        transpose(ch, r);
        store_parts<P>(dst, r);
    }
};

// Blocks of B from pixel x on while they fit in the row's w pixels; returns the pixel after them.
template <int P, class T, int C, class V, int K>
ZYLCV_INLINE int extract_run(const T *src, T *dst, int x, int w)
{
    using B = Block<T, C, V>;
    for (; x + B::n <= w; x += B::n) {
        V v[C];
        B::deinterleave(src + x * C, v);
        store_plane<P>(dst + x, v[K]);
    }
    return x;
}
template <int P, class T, int C, class V>
ZYLCV_INLINE int split_run(const T *src, T *const *rows, int x, int w)
{
    using B = Block<T, C, V>;
    T *r[C];
#pragma GCC unroll 4
    for (int k = 0; k < C; ++k) r[k] = rows[k];
    for (; x + B::n <= w; x += B::n) {
        V v[C];
        B::deinterleave(src + x * C, v);
#pragma GCC unroll 4
        for (int k = 0; k < C; ++k) store_plane<P>(r[k] + x, v[k]);
    }
    return x;
}
template <int P, class T, int C, class V>
ZYLCV_INLINE int merge_run(const T *const *rows, T *dst, int x, int w)
{
    using B = Block<T, C, V>;
    const T *r[C];
#pragma GCC unroll 4
    for (int k = 0; k < C; ++k) r[k] = rows[k];
    for (; x + B::n <= w; x += B::n) {
        V v[C];
#pragma GCC unroll 4
        for (int k = 0; k < C; ++k) v[k] = load_plane<V>(r[k] + x);
        B::template interleave<P>(v, dst + x * C);
    }
    return x;
}

template <int P> struct Rows {
    static constexpr bool kBlocks = true;

    // Per step: one 32-byte block; a 16-byte block takes what is left if it fits (at most one,
    // since it is half the size), then the span helpers end the row. Extract computes only the
    // plane register of channel K.
    template <class T, int C, int K>
    ZYLCV_INLINE static int extract_blocks(const T *src, T *dst, int w)
    {
        int x = extract_run<P, T, C, __m256i, K>(src, dst, 0, w);
        return extract_run<P, T, C, __m128i, K>(src, dst, x, w);
    }
    template <class T, int C>
    ZYLCV_INLINE static int split_blocks(const T *src, T *const *rows, int w)
    {
        int x = split_run<P, T, C, __m256i>(src, rows, 0, w);
        return split_run<P, T, C, __m128i>(src, rows, x, w);
    }
    template <class T, int C>
    ZYLCV_INLINE static int merge_blocks(const T *const *rows, T *dst, int w)
    {
        int x = merge_run<P, T, C, __m256i>(rows, dst, 0, w);
        return merge_run<P, T, C, __m128i>(rows, dst, x, w);
    }
};

// Merged images of at least this many bytes are written around the cache, which spares reading
// them in first, when every row starts on a 32-byte boundary. Smaller ones, with their planes,
// are likely to stay in the last-level cache, and writing through it is then faster.
constexpr long kStreamBytes = 16L << 20;

// True when a destination of w x h elements T, rows `step` bytes apart, is written around the
// cache.
template <class T> bool streams(const T *dst, int step, int w, int h)
{
    return long(w) * h * long(sizeof(T)) >= kStreamBytes && aligned32(dst) && aligned32(step);
}

}  // namespace

// Extractions and splits write through the cache: their planes are written 32 bytes at a time
// side by side, which streams poorly. A merge writes one image in row order and picks its stores
// once per call: around the cache (fenced at the end) or through it.
template <class T, int C>
void extract(const T *src, int srcStep, T *dst, int dstStep, int w, int h, int ch)
{
    copy::extract<Rows<Unaligned>, T, C>(src, srcStep, dst, dstStep, w, h, ch);
}
template <class T, int C>
void split(const T *src, int srcStep, T *const *planes, int planeStep, int w, int h)
{
    copy::split<Rows<Unaligned>, T, C>(src, srcStep, planes, planeStep, w, h);
}
template <class T, int C>
void merge(const T *const *planes, int planeStep, T *dst, int dstStep, int w, int h)
{
    if (!streams(dst, dstStep, w * C, h))
        return copy::merge<Rows<Unaligned>, T, C>(planes, planeStep, dst, dstStep, w, h);
    copy::merge<Rows<Streaming>, T, C>(planes, planeStep, dst, dstStep, w, h);
    _mm_sfence();
}
ZYLCV_COPY_ENTRY(Zyl8u, 3)
ZYLCV_COPY_ENTRY(Zyl8u, 4)
ZYLCV_COPY_ENTRY(Zyl32f, 3)
ZYLCV_COPY_ENTRY(Zyl32f, 4)

}  // namespace zylcv::avx2
