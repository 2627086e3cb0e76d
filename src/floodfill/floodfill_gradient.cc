// Flood fill by gradient: the work-buffer query and the 4- and 8-connected fills. The buffer
// holds the visit mask, then (at whatever address follows it) the span stack.
#include "fill_checks.h"
#include "floodfill.h"

using namespace zylcv;
using namespace zylcv::floodfill;

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

template <bool Eight, class T, class V>
ZylStatus fill(T *img, int step, ZyliSize roi, ZyliPoint seed, V newVal, V low, V up,
               ZyliConnectedRegion *region, Zyl8u *buffer)
{
    ZylStatus st = check_fill(img, step, roi, seed, region, buffer);
    if (st == zylStatusOk) st = check_args(newVal, low, up);
    if (st != zylStatusOk) return st;
    return kernels::flood_fill_grad<Eight>(
        img, step, roi.width, roi.height, seed.x, seed.y, T(newVal), low, up, buffer,
        buffer + std::ptrdiff_t(mask_bytes(roi)), stack_capacity(roi), region);
}

}  // namespace

#define ZYLCV_FLOODFILL_GRAD(Con, eight, tag, T, V)                                                \
    ZYLCV_API ZylStatus zyliFloodFill_##Con##_##tag##_C1IR(                                        \
        T *pSrcDst, Zyl32s srcDstStep, ZyliSize roiSize, ZyliPoint seed, V newVal, V lowDiff,      \
        V upDiff, ZyliConnectedRegion *pRegion, Zyl8u *pBuffer)                                    \
    {                                                                                              \
        return fill<eight>(pSrcDst, srcDstStep, roiSize, seed, newVal, lowDiff, upDiff, pRegion,   \
                           pBuffer);                                                               \
    }
ZYLCV_FLOODFILL_GRAD(Grad4Con, false, 8u, Zyl8u, Zyl32s)
ZYLCV_FLOODFILL_GRAD(Grad8Con, true, 8u, Zyl8u, Zyl32s)
ZYLCV_FLOODFILL_GRAD(Grad4Con, false, 32f, Zyl32f, Zyl32f)
ZYLCV_FLOODFILL_GRAD(Grad8Con, true, 32f, Zyl32f, Zyl32f)
#undef ZYLCV_FLOODFILL_GRAD
