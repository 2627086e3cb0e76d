// Absolute difference of two images or of an image and a constant.
#include "absdiff.h"

using namespace zylcv;

namespace {

// Pointers, then steps, then size; the 32f forms then test step alignment.
ZylStatus check(bool pointersOk, std::initializer_list<int> steps, ZyliSize roi, bool is32f)
{
    if (!pointersOk) return zylStatusNullPtr;
    for (int s : steps)
        if (s < 1) return zylStatusBadStep;
    if (roi.width < 1 || roi.height < 1) return zylStatusBadSize;
    if (is32f)
        for (int s : steps)
            if (s % 4 != 0) return zylStatusStepNotAligned;
    return zylStatusOk;
}

// The two forms over either element type: validate, then run the kernel.
template <class T>
ZylStatus images(const T *a, int aStep, const T *b, int bStep, T *d, int dStep, ZyliSize roi)
{
    ZylStatus st = check(a && b && d, {aStep, bStep, dStep}, roi, std::is_same_v<T, Zyl32f>);
    if (st == zylStatusOk) kernels::absdiff(a, aStep, b, bStep, d, dStep, roi.width, roi.height);
    return st;
}
template <class T> ZylStatus constant(const T *s, int sStep, T *d, int dStep, ZyliSize roi, T v)
{
    ZylStatus st = check(s && d, {sStep, dStep}, roi, std::is_same_v<T, Zyl32f>);
    if (st == zylStatusOk) kernels::absdiffc(s, sStep, d, dStep, roi.width, roi.height, v);
    return st;
}

// The constant as the kernels take it: an 8u constant clamped to 0..255, a 32f one as it is.
Zyl8u kernel_value(Zyl32s v) { return static_cast<Zyl8u>(clamp_int(v, 0, 255)); }
Zyl32f kernel_value(Zyl32f v) { return v; }

}  // namespace

// The exported members of one element type: two images, and an image and a constant V.
#define ZYLCV_ABSDIFF_MEMBERS(T, V, NAME, NAME_C)                                                  \
    ZYLCV_API ZylStatus NAME(const T *pSrc1, Zyl32s src1Step, const T *pSrc2, Zyl32s src2Step,     \
                             T *pDst, Zyl32s dstStep, ZyliSize roiSize)                            \
    {                                                                                              \
        return images(pSrc1, src1Step, pSrc2, src2Step, pDst, dstStep, roiSize);                   \
    }                                                                                              \
    ZYLCV_API ZylStatus NAME_C(const T *pSrc, Zyl32s srcStep, T *pDst, Zyl32s dstStep,             \
                               ZyliSize roiSize, V value)                                          \
    {                                                                                              \
        return constant(pSrc, srcStep, pDst, dstStep, roiSize, kernel_value(value));               \
    }
ZYLCV_ABSDIFF_MEMBERS(Zyl8u, Zyl32s, zyliAbsDiff_8u_C1R, zyliAbsDiffC_8u_C1R)
ZYLCV_ABSDIFF_MEMBERS(Zyl32f, Zyl32f, zyliAbsDiff_32f_C1R, zyliAbsDiffC_32f_C1R)
