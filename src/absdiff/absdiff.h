// Absolute-difference kernels: per-pixel helpers shared by both twins, and the twins' entries.
#ifndef ZYLCV_KERNELS_ABSDIFF_H
#define ZYLCV_KERNELS_ABSDIFF_H

#include "core/internal.h"

namespace zylcv {

// One pixel: the sum of the two saturating differences, one of which is zero.
inline Zyl8u absdiff_px(Zyl8u a, Zyl8u b)
{
    int d1 = a > b ? a - b : 0;
    int d2 = b > a ? b - a : 0;
    return static_cast<Zyl8u>(d1 + d2);
}

// One pixel: the single-precision difference with its sign bit cleared.
inline Zyl32f absdiff_px(Zyl32f a, Zyl32f b) { return clear_sign(a - b); }

#define ZYLCV_ABSDIFF_KERNELS                                                                   \
    void absdiff(const Zyl8u *src1, int src1Step, const Zyl8u *src2, int src2Step, Zyl8u *dst,  \
                 int dstStep, int width, int height);                                           \
    void absdiff(const Zyl32f *src1, int src1Step, const Zyl32f *src2, int src2Step,            \
                 Zyl32f *dst, int dstStep, int width, int height);                              \
    void absdiffc(const Zyl8u *src, int srcStep, Zyl8u *dst, int dstStep, int width,            \
                  int height, Zyl8u value);                                                     \
    void absdiffc(const Zyl32f *src, int srcStep, Zyl32f *dst, int dstStep, int width,          \
                  int height, Zyl32f value);

namespace portable { ZYLCV_ABSDIFF_KERNELS }
#if ZYLCV_SIMD
namespace sse2 { ZYLCV_ABSDIFF_KERNELS }
#endif
#undef ZYLCV_ABSDIFF_KERNELS

}  // namespace zylcv

#endif
