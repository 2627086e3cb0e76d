// Minimum and maximum with locations: the running state of the 8-bit block search and of the
// float pass, the rescan of a winning block and the float order keys, shared by both twins;
// the portable twin's rows and the twins' entries.
#ifndef ZYLCV_MINMAX_MINMAX_H
#define ZYLCV_MINMAX_MINMAX_H

#include "core/internal.h"

namespace zylcv::minmax {

// What a search finds: both extremes and the raster indices of their first occurrence. No
// selected pixel: both indices are -1 (and the values 0).
struct MinMaxLoc {
    Zyl32f minVal, maxVal;
    long minAt, maxAt;
};

// ---- 8-bit block search ------------------------------------------------------------------

// 8s bytes are moved to the unsigned range (+128 modulo 256) so that unsigned byte order is
// value order; the running extremes are biased the same way until the end.
template <class T> constexpr int kBias = std::is_same_v<T, Zyl8s> ? 0x80 : 0;
template <class T> inline int biased(T v) { return static_cast<Zyl8u>(v) ^ kBias<T>; }

// Running extremes of the block search with the raster index of each one's block. The start
// values lie outside every byte range, so the first selected pixel replaces them.
struct BlockSearch {
    int minV = 256, maxV = -256;
    long minAt = -1, maxAt = -1;
};

// Strict comparisons keep the earliest block holding an extreme; the selections are
// branch-free.
inline void take_block(BlockSearch &s, int bmin, int bmax, long at)
{
    const bool lo = bmin<s.minV, hi = bmax> s.maxV;
    s.minV = lo ? bmin : s.minV;
    s.minAt = lo ? at : s.minAt;
    s.maxV = hi ? bmax : s.maxV;
    s.maxAt = hi ? at : s.maxAt;
}

// A masked block counts unselected pixels as 255 for its minimum and 0 for its maximum; one
// without any selected pixel (minimum above maximum) is pushed out of reach of the start values.
inline void take_masked_block(BlockSearch &s, int bmin, int bmax, long at)
{
    const int off = bmin > bmax ? 1024 : 0;
    take_block(s, bmin + off, bmax - off, at);
}

// A single pixel as a block of one: the row tails of both twins.
template <class T, bool Masked> inline void take_pixel(BlockSearch &s, T v, Zyl8u m, long at)
{
    const int b = biased(v);
    if constexpr (Masked) take_masked_block(s, m ? b : 255, m ? b : 0, at);
    else take_block(s, b, b, at);
}

// First pixel of the block at raster index `at` (in rows of `width` pixels) whose element
// equals `value` and, with a mask, whose mask byte is set. `src` addresses the element of
// interest of the first pixel; pixels are `nch` elements apart.
template <class T>
long rescan_block(const T *src, int srcStep, const Zyl8u *mask, int maskStep, long width,
                  int height, int nch, long at, int value)
{
    const long y = height == 1 ? 0 : at / width, x = height == 1 ? at : at % width;
    const Zyl8u *s =
        reinterpret_cast<const Zyl8u *>(advance(src, std::ptrdiff_t(y) * srcStep)) + x * nch;
    const Zyl8u v = static_cast<Zyl8u>(value);  // the low byte of the signed result
    if (!mask) {
        for (int j = 0;; ++j) {
            ZYLCV_ASSERT(j < (nch == 1 ? 32 : 8), "src/zycvminmaxindx");
            if (s[j * nch] == v) return at + j;
        }
    }
    const Zyl8u *m = mask + std::ptrdiff_t(y) * maskStep + x;
    for (int j = 0, k = 0;; ++j, k += nch) {
        ZYLCV_ASSERT(k < 32, "src/zycvminmaxindx");
        if (m[j] && s[k] == v) return at + j;
    }
}

// Ends a block search: removes the bias and finds each extreme's pixel inside its block.
template <class T>
MinMaxLoc finish_blocks(const BlockSearch &s, const T *src, int srcStep, const Zyl8u *mask,
                        int maskStep, long width, int height, int nch)
{
    if (s.minAt < 0 || s.maxAt < 0) return {0.0f, 0.0f, -1, -1};
    const int lo = s.minV - kBias<T>, hi = s.maxV - kBias<T>;
    return {static_cast<Zyl32f>(lo), static_cast<Zyl32f>(hi),
            rescan_block(src, srcStep, mask, maskStep, width, height, nch, s.minAt, lo),
            rescan_block(src, srcStep, mask, maskStep, width, height, nch, s.maxAt, hi)};
}

// ---- 32f pass ------------------------------------------------------------------------------

// Float order: the bit pattern itself with the sign bit clear, the complement of the magnitude
// bits with it set, compared as signed integers. The formula is its own inverse.
inline std::int32_t order_key(std::int32_t b) { return (b & 0x7FFFFFFF) ^ (b >> 31); }
inline std::int32_t order_key(Zyl32f v) { return order_key(static_cast<std::int32_t>(bits(v))); }
inline Zyl32f from_key(std::int32_t k)
{
    return from_bits(static_cast<std::uint32_t>(order_key(k)));
}

// Running extremes of the float pass with their raster indices. The first selected pixel
// becomes both; afterwards only strictly smaller or larger keys replace them.
struct KeySearch {
    std::int32_t minK = 0, maxK = 0;
    long minAt = -1, maxAt = -1;

    void take(std::int32_t k, long at)
    {
        if (minAt < 0) {
            minK = maxK = k;
            minAt = maxAt = at;
            return;
        }
        const bool lo = k<minK, hi = k> maxK;
        minK = lo ? k : minK;
        minAt = lo ? at : minAt;
        maxK = hi ? k : maxK;
        maxAt = hi ? at : maxAt;
    }
    MinMaxLoc result() const
    {
        if (minAt < 0) return {0.0f, 0.0f, -1, -1};
        return {from_key(minK), from_key(maxK), minAt, maxAt};
    }
};

// Smallest and largest (biased) selected element of the n pixels from s/m; unselected pixels
// count as 255 and 0.
template <class T, bool Masked>
void block_extremes(const T *s, const Zyl8u *m, int n, int nch, int &bmin, int &bmax)
{
    bmin = 255, bmax = 0;
    for (int j = 0; j < n; ++j) {
        const int v = biased(s[j * nch]);
        const bool sel = !Masked || m[j] != 0;
        const int lo = sel ? v : 255, hi = sel ? v : 0;
        bmin = lo < bmin ? lo : bmin;
        bmax = hi > bmax ? hi : bmax;
    }
}

// Per step: one block (32 pixels while 32 remain, one channel only; then 8; then 1); the row
// ends with its single pixels, and the raster index carries on into the next row.
template <class T, bool Masked>
MinMaxLoc blocks(const T *src, int srcStep, const Zyl8u *mask, int maskStep, long w, int h, int nch,
                 int ch)
{
    BlockSearch s;
    const T *first = src + ch;
    const T *row = first;
    const Zyl8u *mrow = mask;
    long at = 0;
    for (int y = 0; y < h; ++y, at += w) {
        long x = 0;
        auto run = [&](int n) {
            int bmin, bmax;
            block_extremes<T, Masked>(row + x * nch, Masked ? mrow + x : nullptr, n, nch, bmin,
                                      bmax);
            if constexpr (Masked) take_masked_block(s, bmin, bmax, at + x);
            else take_block(s, bmin, bmax, at + x);
            x += n;
        };
        if (nch == 1)
            while (x + 32 <= w) run(32);
        while (x + 8 <= w) run(8);
        for (; x < w; ++x) take_pixel<T, Masked>(s, row[x * nch], Masked ? mrow[x] : 1, at + x);
        row = advance(row, srcStep);
        if constexpr (Masked) mrow += maskStep;
    }
    return finish_blocks(s, first, srcStep, Masked ? mask : nullptr, maskStep, w, h, nch);
}

// Per step: one pixel; a selected pixel's key updates the running extremes. Rows end at w.
template <bool Masked>
MinMaxLoc pass(const Zyl32f *src, int srcStep, const Zyl8u *mask, int maskStep, long w, int h,
               int nch, int ch)
{
    KeySearch s;
    const Zyl32f *row = src + ch;
    long at = 0;
    for (int y = 0; y < h; ++y, at += w) {
        for (long x = 0; x < w; ++x)
            if (!Masked || mask[x]) s.take(order_key(row[x * nch]), at + x);
        row = advance(row, srcStep);
        if constexpr (Masked) mask += maskStep;
    }
    return s.result();
}

// The portable twin's rows.
struct ScalarRows {
    template <class T, int N, bool Masked>
    static MinMaxLoc search(const T *src, int srcStep, const Zyl8u *mask, int maskStep, long w,
                            int h, int ch)
    {
        if constexpr (std::is_same_v<T, Zyl32f>)
            return pass<Masked>(src, srcStep, mask, maskStep, w, h, N, ch);
        else return blocks<T, Masked>(src, srcStep, mask, maskStep, w, h, N, ch);
    }
};

}  // namespace zylcv::minmax

namespace zylcv {

// The search over `height` rows of `width` pixels (contiguous rows may come as one long row) of
// N elements (1 or 3), `ch` the element of interest; `mask` is ignored unless Masked. The
// result carries raster indices in rows of `width` pixels.
ZYLCV_DECLARE_TWINS_AVX2(template <class T, int N, bool Masked>
                         minmax::MinMaxLoc minmaxindx(const T *src, int srcStep, const Zyl8u *mask,
                                                      int maskStep, long width, int height,
                                                      int ch);)

}  // namespace zylcv

// The entries of a twin, over the row operations Rows it defines before expanding this in its
// namespace; built for every element type, layout and mask form.
#define ZYLCV_MINMAX_ENTRIES                                                                       \
    template <class T, int N, bool Masked>                                                         \
    minmax::MinMaxLoc minmaxindx(const T *src, int srcStep, const Zyl8u *mask, int maskStep,       \
                                 long width, int height, int ch)                                   \
    {                                                                                              \
        return Rows::template search<T, N, Masked>(src, srcStep, mask, maskStep, width, height,    \
                                                   ch);                                            \
    }                                                                                              \
    ZYLCV_MINMAX_INSTANCES(Zyl8u) ZYLCV_MINMAX_INSTANCES(Zyl8s) ZYLCV_MINMAX_INSTANCES(Zyl32f)
#define ZYLCV_MINMAX_INSTANCES(T)                                                                  \
    ZYLCV_MINMAX_INSTANCE(T, 1, false)                                                             \
    ZYLCV_MINMAX_INSTANCE(T, 3, false)                                                             \
    ZYLCV_MINMAX_INSTANCE(T, 1, true) ZYLCV_MINMAX_INSTANCE(T, 3, true)
#define ZYLCV_MINMAX_INSTANCE(T, N, M)                                                             \
    template minmax::MinMaxLoc minmaxindx<T, N, M>(const T *, int, const Zyl8u *, int, long, int,  \
                                                   int);

#endif
