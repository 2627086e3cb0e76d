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
