// Mean and deviation kernels: the sums one call accumulates, the scalar span helpers both twins
// use (the portable twin for whole rows, the SSE2 twin for row tails), the scalar rows (the
// portable twin's rows, and the SSE2 twin's for the double sums of float pixels) and the twins'
// entries.
//
// A kernel returns three numbers: the sum of the selected values, the sum of their squares and
// their count. Integer pixels keep the sum and the count as 32-bit integers and the squares
// exactly in 64 bits; float pixels sum in double in raster order, except the mean of a masked
// one-channel float image, which keeps four single-precision partial sums.
#ifndef ZYLCV_MEAN_STDDEV_MEAN_STDDEV_H
#define ZYLCV_MEAN_STDDEV_MEAN_STDDEV_H

#include "core/internal.h"

namespace zylcv::mean_stddev {

struct IntSums {
    Zyl32s sum;
    Zyl64s sumSq;
    Zyl32s count;
};
struct FloatSums {
    Zyl64f sum;
    Zyl64f sumSq;
    Zyl32s count;
};
template <class T> using SumsOf = std::conditional_t<std::is_same_v<T, Zyl32f>, FloatSums, IntSums>;

// Running integer sums: the value sum and the count wrap modulo 2^32 like the 32-bit integers
// they end in (so the twins agree even outside the supported range); squares are exact.
struct IntAcc {
    std::uint32_t sum = 0, count = 0;
    std::uint64_t sumSq = 0;
    IntSums result() const
    {
        return {static_cast<Zyl32s>(sum), static_cast<Zyl64s>(sumSq), static_cast<Zyl32s>(count)};
    }
};

// Pixels x0..x1-1 of one row: element ch of C-element pixels, with a mask those whose mask byte
// is not zero. A pixel that is not selected is added as the value 0 and not counted, which
// changes nothing and needs no branch.
template <bool Masked, bool Squares, int C, class T>
inline void add_span(IntAcc &a, const T *row, const Zyl8u *mask, std::ptrdiff_t x0,
                     std::ptrdiff_t x1, int ch)
{
    for (std::ptrdiff_t x = x0; x < x1; ++x) {
        const int keep = Masked ? -int(mask[x] != 0) : -1;
        const int v = row[x * C + ch] & keep;
        a.sum += static_cast<std::uint32_t>(v);
        a.count -= static_cast<std::uint32_t>(keep);
        if constexpr (Squares) a.sumSq += static_cast<std::uint32_t>(v * v);
    }
}

// Running float sums in double, in raster order.
struct FloatAcc {
    Zyl64f sum = 0.0, sumSq = 0.0;
    std::uint32_t count = 0;
    FloatSums result() const { return {sum, sumSq, static_cast<Zyl32s>(count)}; }
};

// The value of a float pixel if its mask byte is set, else +0.0. The sums start at +0.0 and can
// never become -0.0, so adding +0.0 leaves them unchanged: the same result as skipping the
// pixel, without a branch that random masks would mispredict.
inline Zyl32f selected(Zyl32f v, Zyl8u m) { return from_bits(bits(v) & (0u - (m != 0))); }

// Pixels x0..x1-1 of one row, in order, widened to double; squares formed in double.
template <bool Masked, bool Squares, int C>
inline void add_span(FloatAcc &a, const Zyl32f *row, const Zyl8u *mask, std::ptrdiff_t x0,
                     std::ptrdiff_t x1, int ch)
{
    for (std::ptrdiff_t x = x0; x < x1; ++x) {
        const Zyl32f f = Masked ? selected(row[x * C + ch], mask[x]) : row[x * C + ch];
        const Zyl64f v = f;
        a.sum += v;
        if constexpr (Squares) a.sumSq += v * v;
        if constexpr (Masked) a.count += mask[x] != 0;
        else a.count += 1;
    }
}

// The end of a row of the single-precision partial sums: columns x0..x1-1 one at a time into P0.
inline void add_tail_p0(Zyl32f &p0, std::uint32_t &count, const Zyl32f *row, const Zyl8u *mask,
                        int x0, int x1)
{
    for (int x = x0; x < x1; ++x) {
        p0 += selected(row[x], mask[x]);
        count += mask[x] != 0;
    }
}

// The total of the four partial sums: (P0 + P2) + (P1 + P3) in double.
inline Zyl64f partial_total(Zyl32f p0, Zyl32f p1, Zyl32f p2, Zyl32f p3)
{
    return (Zyl64f(p0) + Zyl64f(p2)) + (Zyl64f(p1) + Zyl64f(p3));
}

template <class T> using AccOf = std::conditional_t<std::is_same_v<T, Zyl32f>, FloatAcc, IntAcc>;

// The rows one pixel at a time.
struct ScalarRows {
    // Per step: one pixel; each row is one span, the mask row (if any) advancing beside it.
    template <class T, int C, bool Masked, bool Squares>
    static SumsOf<T> sums(const T *src, int srcStep, const Zyl8u *mask, int maskStep, int w, int h,
                          int ch)
    {
        AccOf<T> a;
        for (int y = 0; y < h; ++y) {
            add_span<Masked, Squares, C>(a, src, mask, 0, w, ch);
            src = advance(src, srcStep);
            if constexpr (Masked) mask = advance(mask, maskStep);
        }
        return a.result();
    }

    // Per step: a group of eight columns, column c into P(c mod 4); the row ends one column at a
    // time into P0. Kept out of line: compiled as a function of its own, the loop gets the
    // register layout its timings were taken with, which inlining into the entry changes.
    [[gnu::noinline]] static FloatSums partial_sums_masked(const Zyl32f *src, int srcStep,
                                                           const Zyl8u *mask, int maskStep, int w,
                                                           int h)
    {
        Zyl32f p[4] = {0.0f, 0.0f, 0.0f, 0.0f};
        std::uint32_t count = 0;
        const int groups = w / 8 * 8;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < groups; x += 8)
                for (int k = 0; k < 8; ++k) {
                    p[k & 3] += selected(src[x + k], mask[x + k]);
                    count += mask[x + k] != 0;
                }
            add_tail_p0(p[0], count, src, mask, groups, w);
            src = advance(src, srcStep);
            mask = advance(mask, maskStep);
        }
        return {partial_total(p[0], p[1], p[2], p[3]), 0.0, static_cast<Zyl32s>(count)};
    }
};

// The packed twins' drivers, over the twin's lane operations `Lanes`: its access paths kAligned
// and kUnaligned and alignment tests `aligned` for pointers and steps; for integer pixels the
// block width kBlock (pixels), kBlocksPerFlush, pairs(C) (whether blocks go two at a time into
// two sets of sums), Packed<T, Masked, Squares> (the sums of blocks) and Blocks<P, Masked, C>
// (the loads of a block and its mask: block, off, and `last` for the blocks narrower than
// kBlock at the end of a row); for the masked float partial sums Partial (the four lanes P0..P3
// and the counts).

// The totals of packed integer sums over `pixels` pixels: su is the sum of the bytes (8s bytes
// biased by 128 so that they sum as unsigned), sq the sum of their squares, skipped 255 for
// each pixel whose mask byte is 0; then the row tails' sums. The bias comes off here: for
// u = v + 128, sum v = sum u - 128 n and sum v^2 = sum u^2 - 256 sum u + 16384 n.
template <class T, bool Masked, bool Squares>
inline IntSums packed_total(std::uint64_t su, std::uint64_t sq, std::uint64_t skipped,
                            std::uint64_t pixels, const IntAcc &tail)
{
    std::uint64_t s = su;
    if constexpr (std::is_same_v<T, Zyl8s>) {
        s -= 128 * pixels;
        sq = sq - 256 * su + 16384 * pixels;
    }
    const std::uint64_t n = Masked ? pixels - skipped / 255 : pixels;
    IntAcc all = tail;
    all.sum += static_cast<std::uint32_t>(s);
    all.count += static_cast<std::uint32_t>(n);
    if constexpr (Squares) all.sumSq += sq;
    return all.result();
}

// Per step: two blocks (into two sets of sums, so that the chains of additions into the
// accumulators do not limit the speed) where the twin pairs them, else one; the squares move
// into 64-bit lanes at the end of each row or every kBlocksPerFlush blocks; the twin's narrower
// last blocks; the row ends pixel by pixel.
template <class Lanes, int P, bool Masked, bool Squares, int C, class T>
IntSums packed_int_rows(const T *src, int srcStep, const Zyl8u *mask, int maskStep,
                        std::ptrdiff_t w, int h, int ch)
{
    constexpr std::ptrdiff_t B = Lanes::kBlock;
    const typename Lanes::template Blocks<P, Masked, C> blocks(ch);
    typename Lanes::template Packed<T, Masked, Squares> a, b;
    IntAcc tail;
    for (int y = 0; y < h; ++y) {
        const Zyl8u *s = reinterpret_cast<const Zyl8u *>(src);
        std::ptrdiff_t x = 0;
        while (w - x >= B) {
            const std::ptrdiff_t left = (w - x) / B;
            const std::ptrdiff_t chunk =
                left < Lanes::kBlocksPerFlush ? left : Lanes::kBlocksPerFlush;
            const std::ptrdiff_t end = x + B * chunk;
            if constexpr (Lanes::pairs(C))
                for (; x + 2 * B <= end; x += 2 * B) {
                    a.add(blocks.block(s, x), blocks.off(mask, x));
                    b.add(blocks.block(s, x + B), blocks.off(mask, x + B));
                }
            for (; x < end; x += B) a.add(blocks.block(s, x), blocks.off(mask, x));
            a.flush();
            b.flush();
        }
        x = blocks.last(a, s, mask, x, w);
        add_span<Masked, Squares, C>(tail, src, mask, x, w, ch);
        src = advance(src, srcStep);
        if constexpr (Masked) mask = advance(mask, maskStep);
    }
    return a.result(b, tail);
}

// Integer images whose rows are contiguous in every operand run as one long row; the loads are
// aligned when every pointer and step allows.
template <class Lanes, bool Masked, bool Squares, int C, class T>
IntSums packed_int_sums(const T *src, int srcStep, const Zyl8u *mask, int maskStep, int w, int h,
                        int ch)
{
    // A merged row's width must fit std::ptrdiff_t, which on i386 is 32 bits.
    std::ptrdiff_t width = w;
    if (srcStep == std::int64_t(C) * w && (!Masked || maskStep == w) &&
        std::int64_t(w) * h <= PTRDIFF_MAX) {
        width = std::ptrdiff_t(w) * h;  // contiguous rows: one long row
        h = 1;
    }
    bool al = Lanes::aligned(src) && (!Masked || Lanes::aligned(mask));
    if (h > 1) al = al && Lanes::aligned(srcStep) && (!Masked || Lanes::aligned(maskStep));
    if (al)
        return packed_int_rows<Lanes, Lanes::kAligned, Masked, Squares, C>(src, srcStep, mask,
                                                                           maskStep, width, h, ch);
    return packed_int_rows<Lanes, Lanes::kUnaligned, Masked, Squares, C>(src, srcStep, mask,
                                                                         maskStep, width, h, ch);
}

// Per step: a group of eight columns, the first four into lanes P0..P3, then the next four; the
// row ends one column at a time into lane P0.
template <class Lanes, int P>
FloatSums packed_partial_rows(const Zyl32f *src, int srcStep, const Zyl8u *mask, int maskStep,
                              int w, int h)
{
    typename Lanes::Partial acc;
    std::uint32_t tailCount = 0;
    const int groups = w / 8 * 8;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < groups; x += 8) acc.template add<P>(src + x, mask + x);
        if (groups < w) {
            Zyl32f p0 = acc.p0();
            add_tail_p0(p0, tailCount, src, mask, groups, w);
            acc.set_p0(p0);
        }
        src = advance(src, srcStep);
        mask = advance(mask, maskStep);
    }
    alignas(16) Zyl32f p[4];
    const std::uint32_t count = acc.totals(p) + tailCount;
    return {partial_total(p[0], p[1], p[2], p[3]), 0.0, static_cast<Zyl32s>(count)};
}

// The rows of a packed twin: integer pixels packed; the double sums of float pixels in the
// scalar rows' order.
template <class Lanes> struct PackedRows {
    template <class T, int C, bool Masked, bool Squares>
    static SumsOf<T> sums(const T *src, int srcStep, const Zyl8u *mask, int maskStep, int w, int h,
                          int ch)
    {
        if constexpr (std::is_same_v<T, Zyl32f>)
            return ScalarRows::sums<T, C, Masked, Squares>(src, srcStep, mask, maskStep, w, h, ch);
        else
            return packed_int_sums<Lanes, Masked, Squares, C>(src, srcStep, mask, maskStep, w, h,
                                                              ch);
    }

    static FloatSums partial_sums_masked(const Zyl32f *src, int srcStep, const Zyl8u *mask,
                                         int maskStep, int w, int h)
    {
        if (Lanes::aligned(src) && (h == 1 || Lanes::aligned(srcStep)))
            return packed_partial_rows<Lanes, Lanes::kAligned>(src, srcStep, mask, maskStep, w, h);
        return packed_partial_rows<Lanes, Lanes::kUnaligned>(src, srcStep, mask, maskStep, w, h);
    }
};

}  // namespace zylcv::mean_stddev

namespace zylcv {

// T is Zyl8u, Zyl8s or Zyl32f; C is 1 (one channel, ch ignored) or 3 (element ch = coi - 1 of
// each pixel). `sums` reads every pixel and forms squares (its count is not used: the caller
// knows it); `sums_masked` reads the pixels whose mask byte is non-zero, with squares only when
// Squares is set. `partial_sums_masked` is the single-precision mean sum of one masked plane:
// columns in groups of eight go to P(c mod 4), the rest of each row to P0.
ZYLCV_DECLARE_TWINS_AVX2(
    template <class T, int C> mean_stddev::SumsOf<T> sums(const T *src, int srcStep, int w, int h,
                                                          int ch);
    template <class T, int C, bool Squares> mean_stddev::SumsOf<T> sums_masked(
        const T *src, int srcStep, const Zyl8u *mask, int maskStep, int w, int h, int ch);
    mean_stddev::FloatSums partial_sums_masked(const Zyl32f *src, int srcStep, const Zyl8u *mask,
                                               int maskStep, int w, int h);)

}  // namespace zylcv

// The entries of a twin, over the row operations Rows it defines before expanding this in its
// namespace; built for every element type and layout.
#define ZYLCV_MEAN_STDDEV_ENTRIES                                                                  \
    template <class T, int C>                                                                      \
    mean_stddev::SumsOf<T> sums(const T *src, int srcStep, int w, int h, int ch)                   \
    {                                                                                              \
        return Rows::template sums<T, C, false, true>(src, srcStep, nullptr, 0, w, h, ch);         \
    }                                                                                              \
    template <class T, int C, bool Squares>                                                        \
    mean_stddev::SumsOf<T> sums_masked(const T *src, int srcStep, const Zyl8u *mask, int maskStep, \
                                       int w, int h, int ch)                                       \
    {                                                                                              \
        return Rows::template sums<T, C, true, Squares>(src, srcStep, mask, maskStep, w, h, ch);   \
    }                                                                                              \
    mean_stddev::FloatSums partial_sums_masked(const Zyl32f *src, int srcStep, const Zyl8u *mask,  \
                                               int maskStep, int w, int h)                         \
    {                                                                                              \
        return Rows::partial_sums_masked(src, srcStep, mask, maskStep, w, h);                      \
    }                                                                                              \
    ZYLCV_MEAN_STDDEV_INSTANCES(Zyl8u, 1)                                                          \
    ZYLCV_MEAN_STDDEV_INSTANCES(Zyl8u, 3)                                                          \
    ZYLCV_MEAN_STDDEV_INSTANCES(Zyl8s, 1)                                                          \
    ZYLCV_MEAN_STDDEV_INSTANCES(Zyl8s, 3)                                                          \
    ZYLCV_MEAN_STDDEV_INSTANCES(Zyl32f, 1)                                                         \
    ZYLCV_MEAN_STDDEV_INSTANCES(Zyl32f, 3)
#define ZYLCV_MEAN_STDDEV_INSTANCES(T, C)                                                          \
    template mean_stddev::SumsOf<T> sums<T, C>(const T *, int, int, int, int);                     \
    template mean_stddev::SumsOf<T> sums_masked<T, C, true>(const T *, int, const Zyl8u *, int,    \
                                                            int, int, int);                        \
    template mean_stddev::SumsOf<T> sums_masked<T, C, false>(const T *, int, const Zyl8u *, int,   \
                                                             int, int, int);

#endif
