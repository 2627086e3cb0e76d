// Flood fill by value: the work-buffer query and the 4- and 8-connected fills.
#include "floodfill.h"

using namespace zylcv;

ZYLCV_API ZylStatus zyliFloodFillGetSize(ZyliSize roiSize, Zyl32s *pSize)
{
    ZylStatus st = check_query(roiSize, pSize);
    if (st != zylStatusOk) return st;
    return report_buffer_size(stack_bytes(roiSize), pSize);
}

namespace {

template <class T, class V>
ZylStatus fill(T *img, int step, ZyliSize roi, ZyliPoint seed, V newVal, ZyliConnectedRegion *region,
               Zyl8u *buffer, bool eight)
{
    ZylStatus st = check_fill(img, step, roi, seed, region, buffer);
    if (st != zylStatusOk) return st;
    if constexpr (std::is_same_v<T, Zyl8u>)
        if (newVal < 0 || newVal > 255) return zylStatusBadArg;
    return kernels::flood_fill(img, step, roi.width, roi.height, seed.x, seed.y, T(newVal), eight,
                               buffer, stack_capacity(roi), region);
}

}  // namespace

ZYLCV_API ZylStatus zyliFloodFill_4Con_8u_C1IR(Zyl8u *pSrcDst, Zyl32s srcDstStep, ZyliSize roiSize,
                                              ZyliPoint seed, Zyl32s newVal,
                                              ZyliConnectedRegion *pRegion, Zyl8u *pBuffer)
{
    return fill(pSrcDst, srcDstStep, roiSize, seed, newVal, pRegion, pBuffer, false);
}
ZYLCV_API ZylStatus zyliFloodFill_8Con_8u_C1IR(Zyl8u *pSrcDst, Zyl32s srcDstStep, ZyliSize roiSize,
                                              ZyliPoint seed, Zyl32s newVal,
                                              ZyliConnectedRegion *pRegion, Zyl8u *pBuffer)
{
    return fill(pSrcDst, srcDstStep, roiSize, seed, newVal, pRegion, pBuffer, true);
}
ZYLCV_API ZylStatus zyliFloodFill_4Con_32f_C1IR(Zyl32f *pSrcDst, Zyl32s srcDstStep, ZyliSize roiSize,
                                               ZyliPoint seed, Zyl32f newVal,
                                               ZyliConnectedRegion *pRegion, Zyl8u *pBuffer)
{
    return fill(pSrcDst, srcDstStep, roiSize, seed, newVal, pRegion, pBuffer, false);
}
ZYLCV_API ZylStatus zyliFloodFill_8Con_32f_C1IR(Zyl32f *pSrcDst, Zyl32s srcDstStep, ZyliSize roiSize,
                                               ZyliPoint seed, Zyl32f newVal,
                                               ZyliConnectedRegion *pRegion, Zyl8u *pBuffer)
{
    return fill(pSrcDst, srcDstStep, roiSize, seed, newVal, pRegion, pBuffer, true);
}
