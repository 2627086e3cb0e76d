// Flood fill by gradient: the work-buffer query and the 4- and 8-connected fills. The buffer
// holds the visit mask, then (at whatever address follows it) the span stack.
#include "floodfill.h"

using namespace zylcv;

ZYLCV_API ZylStatus zyliFloodFillGetSize_Grad(ZyliSize roiSize, Zyl32s *pSize)
{
    ZylStatus st = check_query(roiSize, pSize);
    if (st != zylStatusOk) return st;
    return report_buffer_size(mask_bytes(roiSize) + stack_bytes(roiSize), pSize);
}

namespace {

// 8u: newVal, then each difference, then their sum.
ZylStatus check_args(Zyl32s newVal, Zyl32s low, Zyl32s up)
{
    if (newVal < 0 || newVal > 255) return zylStatusBadArg;
    if (low < 0 || up < 0) return zylStatusOutOfRange;
    if (low + up > 255) return zylStatusOutOfRange;
    return zylStatusOk;
}
// 32f: differences below zero or NaN.
ZylStatus check_args(Zyl32f, Zyl32f low, Zyl32f up)
{
    if (!(low >= 0.0f) || !(up >= 0.0f)) return zylStatusOutOfRange;
    return zylStatusOk;
}

template <class T, class V>
ZylStatus fill(T *img, int step, ZyliSize roi, ZyliPoint seed, V newVal, V low, V up,
               ZyliConnectedRegion *region, Zyl8u *buffer, bool eight)
{
    ZylStatus st = check_fill(img, step, roi, seed, region, buffer);
    if (st == zylStatusOk) st = check_args(newVal, low, up);
    if (st != zylStatusOk) return st;
    return kernels::flood_fill_grad(img, step, roi.width, roi.height, seed.x, seed.y, T(newVal),
                                    low, up, eight, buffer, buffer + std::ptrdiff_t(mask_bytes(roi)),
                                    stack_capacity(roi), region);
}

}  // namespace

ZYLCV_API ZylStatus zyliFloodFill_Grad4Con_8u_C1IR(Zyl8u *pSrcDst, Zyl32s srcDstStep,
                                                  ZyliSize roiSize, ZyliPoint seed, Zyl32s newVal,
                                                  Zyl32s lowDiff, Zyl32s upDiff,
                                                  ZyliConnectedRegion *pRegion, Zyl8u *pBuffer)
{
    return fill(pSrcDst, srcDstStep, roiSize, seed, newVal, lowDiff, upDiff, pRegion, pBuffer, false);
}
ZYLCV_API ZylStatus zyliFloodFill_Grad8Con_8u_C1IR(Zyl8u *pSrcDst, Zyl32s srcDstStep,
                                                  ZyliSize roiSize, ZyliPoint seed, Zyl32s newVal,
                                                  Zyl32s lowDiff, Zyl32s upDiff,
                                                  ZyliConnectedRegion *pRegion, Zyl8u *pBuffer)
{
    return fill(pSrcDst, srcDstStep, roiSize, seed, newVal, lowDiff, upDiff, pRegion, pBuffer, true);
}
ZYLCV_API ZylStatus zyliFloodFill_Grad4Con_32f_C1IR(Zyl32f *pSrcDst, Zyl32s srcDstStep,
                                                   ZyliSize roiSize, ZyliPoint seed, Zyl32f newVal,
                                                   Zyl32f lowDiff, Zyl32f upDiff,
                                                   ZyliConnectedRegion *pRegion, Zyl8u *pBuffer)
{
    return fill(pSrcDst, srcDstStep, roiSize, seed, newVal, lowDiff, upDiff, pRegion, pBuffer, false);
}
ZYLCV_API ZylStatus zyliFloodFill_Grad8Con_32f_C1IR(Zyl32f *pSrcDst, Zyl32s srcDstStep,
                                                   ZyliSize roiSize, ZyliPoint seed, Zyl32f newVal,
                                                   Zyl32f lowDiff, Zyl32f upDiff,
                                                   ZyliConnectedRegion *pRegion, Zyl8u *pBuffer)
{
    return fill(pSrcDst, srcDstStep, roiSize, seed, newVal, lowDiff, upDiff, pRegion, pBuffer, true);
}
