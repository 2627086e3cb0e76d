// Absolute-difference kernels: the per-pixel helpers every twin uses, the image walk written once
// over a twin's row operations, and the twins' entries.
#ifndef ZYLCV_ABSDIFF_ABSDIFF_H
#define ZYLCV_ABSDIFF_ABSDIFF_H

#include <limits>

#include "core/internal.h"

namespace zylcv::absdiff {

// One pixel: the sum of the two saturating differences, one of which is zero.
inline Zyl8u absdiff_px(Zyl8u a, Zyl8u b)
{
    int d1 = a > b ? a - b : 0;
    int d2 = b > a ? b - a : 0;
    return static_cast<Zyl8u>(d1 + d2);
}

// One pixel: the single-precision difference with its sign bit cleared.
inline Zyl32f absdiff_px(Zyl32f a, Zyl32f b) { return clear_sign(a - b); }

// The second operand of a row, pixel by pixel: another image row, or one constant. Packed twins
// extend these with their blocks.
template <class T> struct ImageOperand {
    const T *p;
    T px(long x) const { return p[x]; }
    void next(int step) { p = advance(p, step); }
};
template <class T> struct ConstOperand {
    T v;
    T px(long) const { return v; }
    void next(int) {}
};

// Pixels x0..w-1 of a row, one at a time: the portable twin's rows and every twin's row ends.
template <class T, class B> inline void span(const T *a, const B &b, T *d, long x0, long w)
{
    for (long x = x0; x < w; ++x) d[x] = absdiff_px(a[x], b.px(x));
}

// Every row on access path P, then whatever the path needs at the end of an image.
template <class Rows, int P, class T, class B>
void rows(const T *a, int aStep, B b, int bStep, T *d, int dStep, long w, int h)
{
    for (int y = 0; y < h; ++y) {
        Rows::template row<P>(a, b, d, w);
        a = advance(a, aStep);
        b.next(bStep);
        d = advance(d, dStep);
    }
    Rows::template finish<P>();
}

// The portable twin's row operations: one access path, every pixel through the scalar helper.
struct ScalarRows {
    template <class T> using Image = ImageOperand<T>;
    template <class T> using Const = ConstOperand<T>;
    template <class T, class B>
    static void run(const T *a, int aStep, B b, const void *, int bStep, T *d, int dStep, long w,
                    int h, std::int64_t)
    {
        rows<ScalarRows, 0>(a, aStep, b, bStep, d, dStep, w, h);
    }
    template <int P, class T, class B> static void row(const T *a, const B &b, T *d, long w)
    {
        span(a, b, d, 0, w);
    }
    template <int P> static void finish() {}
};

// One image: rows that are contiguous in every operand run as one long row; then the twin's
// run() picks its access path from the pointers, steps and byte count and runs the rows on it.
// bPtr/bStep describe the second image, or are null/0 for a constant.
template <class Rows, class T, class B>
void image(const T *a, int aStep, B b, const void *bPtr, int bStep, T *d, int dStep, int w, int h)
{
    // Image sizes in 64 bits; a merged row's width must fit `long`, which on i386 is 32 bits.
    const std::int64_t rowBytes = std::int64_t(w) * std::int64_t(sizeof(T)), bytes = rowBytes * h;
    long width = w;
    if (aStep == rowBytes && dStep == rowBytes && (!bPtr || bStep == rowBytes) &&
        std::int64_t(w) * h <= std::numeric_limits<long>::max()) {
        width = long(w) * h;  // contiguous rows: one long row
        h = 1;
    }
    Rows::run(a, aStep, b, bPtr, bStep, d, dStep, width, h, bytes);
}

}  // namespace zylcv::absdiff

namespace zylcv {
ZYLCV_DECLARE_TWINS_AVX2(void absdiff(const Zyl8u *src1, int src1Step, const Zyl8u *src2,
                                      int src2Step, Zyl8u *dst, int dstStep, int width, int height);
                         void absdiff(const Zyl32f *src1, int src1Step, const Zyl32f *src2,
                                      int src2Step, Zyl32f *dst, int dstStep, int width,
                                      int height);
                         void absdiffc(const Zyl8u *src, int srcStep, Zyl8u *dst, int dstStep,
                                       int width, int height, Zyl8u value);
                         void absdiffc(const Zyl32f *src, int srcStep, Zyl32f *dst, int dstStep,
                                       int width, int height, Zyl32f value);)
}  // namespace zylcv

// The entries of a twin, over its row operations `Rows`.
#define ZYLCV_ABSDIFF_ENTRIES                                                                      \
    void absdiff(const Zyl8u *s1, int s1Step, const Zyl8u *s2, int s2Step, Zyl8u *d, int dStep,    \
                 int w, int h)                                                                     \
    {                                                                                              \
        absdiff::image<Rows>(s1, s1Step, Rows::Image<Zyl8u>{{s2}}, s2, s2Step, d, dStep, w, h);    \
    }                                                                                              \
    void absdiff(const Zyl32f *s1, int s1Step, const Zyl32f *s2, int s2Step, Zyl32f *d, int dStep, \
                 int w, int h)                                                                     \
    {                                                                                              \
        absdiff::image<Rows>(s1, s1Step, Rows::Image<Zyl32f>{{s2}}, s2, s2Step, d, dStep, w, h);   \
    }                                                                                              \
    void absdiffc(const Zyl8u *s, int sStep, Zyl8u *d, int dStep, int w, int h, Zyl8u v)           \
    {                                                                                              \
        absdiff::image<Rows>(s, sStep, Rows::Const<Zyl8u>{{v}}, nullptr, 0, d, dStep, w, h);       \
    }                                                                                              \
    void absdiffc(const Zyl32f *s, int sStep, Zyl32f *d, int dStep, int w, int h, Zyl32f v)        \
    {                                                                                              \
        absdiff::image<Rows>(s, sStep, Rows::Const<Zyl32f>{{v}}, nullptr, 0, d, dStep, w, h);      \
    }

#endif
