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

}  // namespace

ZYLCV_API ZylStatus zyliAbsDiff_8u_C1R(const Zyl8u *pSrc1, Zyl32s src1Step, const Zyl8u *pSrc2,
                                       Zyl32s src2Step, Zyl8u *pDst, Zyl32s dstStep,
                                       ZyliSize roiSize)
{
    return images(pSrc1, src1Step, pSrc2, src2Step, pDst, dstStep, roiSize);
}

ZYLCV_API ZylStatus zyliAbsDiffC_8u_C1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl8u *pDst,
                                       Zyl32s dstStep, ZyliSize roiSize, Zyl32s value)
{
    return constant(pSrc, srcStep, pDst, dstStep, roiSize, Zyl8u(clamp_int(value, 0, 255)));
}

ZYLCV_API ZylStatus zyliAbsDiff_32f_C1R(const Zyl32f *pSrc1, Zyl32s src1Step, const Zyl32f *pSrc2,
                                       Zyl32s src2Step, Zyl32f *pDst, Zyl32s dstStep,
                                       ZyliSize roiSize)
{
    return images(pSrc1, src1Step, pSrc2, src2Step, pDst, dstStep, roiSize);
}

ZYLCV_API ZylStatus zyliAbsDiffC_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst,
                                        Zyl32s dstStep, ZyliSize roiSize, Zyl32f value)
{
    return constant(pSrc, srcStep, pDst, dstStep, roiSize, value);
}
