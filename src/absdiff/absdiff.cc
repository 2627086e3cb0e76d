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

}  // namespace

ZYLCV_API ZylStatus zyliAbsDiff_8u_C1R(const Zyl8u *pSrc1, Zyl32s src1Step, const Zyl8u *pSrc2,
                                      Zyl32s src2Step, Zyl8u *pDst, Zyl32s dstStep, ZyliSize roiSize)
{
    ZylStatus st = check(pSrc1 && pSrc2 && pDst, {src1Step, src2Step, dstStep}, roiSize, false);
    if (st != zylStatusOk) return st;
    kernels::absdiff(pSrc1, src1Step, pSrc2, src2Step, pDst, dstStep, roiSize.width, roiSize.height);
    return zylStatusOk;
}

ZYLCV_API ZylStatus zyliAbsDiffC_8u_C1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl8u *pDst,
                                       Zyl32s dstStep, ZyliSize roiSize, Zyl32s value)
{
    ZylStatus st = check(pSrc && pDst, {srcStep, dstStep}, roiSize, false);
    if (st != zylStatusOk) return st;
    auto v = static_cast<Zyl8u>(clamp_int(value, 0, 255));
    kernels::absdiffc(pSrc, srcStep, pDst, dstStep, roiSize.width, roiSize.height, v);
    return zylStatusOk;
}

ZYLCV_API ZylStatus zyliAbsDiff_32f_C1R(const Zyl32f *pSrc1, Zyl32s src1Step, const Zyl32f *pSrc2,
                                       Zyl32s src2Step, Zyl32f *pDst, Zyl32s dstStep,
                                       ZyliSize roiSize)
{
    ZylStatus st = check(pSrc1 && pSrc2 && pDst, {src1Step, src2Step, dstStep}, roiSize, true);
    if (st != zylStatusOk) return st;
    kernels::absdiff(pSrc1, src1Step, pSrc2, src2Step, pDst, dstStep, roiSize.width, roiSize.height);
    return zylStatusOk;
}

ZYLCV_API ZylStatus zyliAbsDiffC_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst,
                                        Zyl32s dstStep, ZyliSize roiSize, Zyl32f value)
{
    ZylStatus st = check(pSrc && pDst, {srcStep, dstStep}, roiSize, true);
    if (st != zylStatusOk) return st;
    kernels::absdiffc(pSrc, srcStep, pDst, dstStep, roiSize.width, roiSize.height, value);
    return zylStatusOk;
}
