// Gaussian 5x5 pyramid of 32f images: PyrDown halves, PyrUp doubles.
#include "pyramid.h"

using namespace zylcv;

namespace {

template <int Cs>
ZylStatus pyr_down(const Zyl32f *src, int srcStep, Zyl32f *dst, int dstStep, ZyliSize roi, Zyl8u *buffer)
{
    const ZylStatus st = pyr_check<Zyl32f, Cs>(true, src, srcStep, dst, dstStep, roi, buffer);
    if (st != zylStatusOk || roi.width == 0 || roi.height == 0) return st;
    kernels::pyr_down(src, srcStep, dst, dstStep, roi.width, roi.height, Cs, buffer);
    return zylStatusOk;
}

template <int Cs>
ZylStatus pyr_up(const Zyl32f *src, int srcStep, Zyl32f *dst, int dstStep, ZyliSize roi, Zyl8u *buffer)
{
    const ZylStatus st = pyr_check<Zyl32f, Cs>(false, src, srcStep, dst, dstStep, roi, buffer);
    if (st != zylStatusOk || roi.width == 0 || roi.height == 0) return st;
    kernels::pyr_up(src, srcStep, dst, dstStep, roi.width, roi.height, Cs, buffer);
    return zylStatusOk;
}

}  // namespace

ZYLCV_API ZylStatus zyliPyrDown_Gauss5x5_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst,
                                                Zyl32s dstStep, ZyliSize roiSize, Zyl8u *pBuffer)
{
    return pyr_down<1>(pSrc, srcStep, pDst, dstStep, roiSize, pBuffer);
}
ZYLCV_API ZylStatus zyliPyrDown_Gauss5x5_32f_C3R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst,
                                                Zyl32s dstStep, ZyliSize roiSize, Zyl8u *pBuffer)
{
    return pyr_down<3>(pSrc, srcStep, pDst, dstStep, roiSize, pBuffer);
}
ZYLCV_API ZylStatus zyliPyrUp_Gauss5x5_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst,
                                              Zyl32s dstStep, ZyliSize roiSize, Zyl8u *pBuffer)
{
    return pyr_up<1>(pSrc, srcStep, pDst, dstStep, roiSize, pBuffer);
}
ZYLCV_API ZylStatus zyliPyrUp_Gauss5x5_32f_C3R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst,
                                              Zyl32s dstStep, ZyliSize roiSize, Zyl8u *pBuffer)
{
    return pyr_up<3>(pSrc, srcStep, pDst, dstStep, roiSize, pBuffer);
}
