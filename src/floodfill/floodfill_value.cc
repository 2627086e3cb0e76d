// Flood fill by value: the work-buffer query and the 4- and 8-connected fills.
#include "fill_checks.h"
#include "floodfill.h"

using namespace zylcv;
using namespace zylcv::floodfill;

ZYLCV_API ZylStatus zyliFloodFillGetSize(ZyliSize roiSize, Zyl32s *pSize)
{
    ZylStatus st = check_query(roiSize, pSize);
    if (st != zylStatusOk) return st;
    return report_buffer_size(stack_bytes(roiSize), pSize);
}

namespace {

template <bool Eight, class T, class V>
ZylStatus fill(T *img, int step, ZyliSize roi, ZyliPoint seed, V newVal,
               ZyliConnectedRegion *region, Zyl8u *buffer)
{
    ZylStatus st = check_fill(img, step, roi, seed, region, buffer);
    if (st != zylStatusOk) return st;
    if constexpr (std::is_same_v<T, Zyl8u>)
        if (newVal < 0 || newVal > 255) return zylStatusBadArg;
    return kernels::flood_fill<Eight>(img, step, roi.width, roi.height, seed.x, seed.y, T(newVal),
                                      buffer, stack_capacity(roi), region);
}

}  // namespace

#define ZYLCV_FLOODFILL_VALUE(Con, eight, tag, T, V)                                               \
    ZYLCV_API ZylStatus zyliFloodFill_##Con##_##tag##_C1IR(                                        \
        T *pSrcDst, Zyl32s srcDstStep, ZyliSize roiSize, ZyliPoint seed, V newVal,                 \
        ZyliConnectedRegion *pRegion, Zyl8u *pBuffer)                                              \
    {                                                                                              \
        return fill<eight>(pSrcDst, srcDstStep, roiSize, seed, newVal, pRegion, pBuffer);          \
    }
ZYLCV_FLOODFILL_VALUE(4Con, false, 8u, Zyl8u, Zyl32s)
ZYLCV_FLOODFILL_VALUE(8Con, true, 8u, Zyl8u, Zyl32s)
ZYLCV_FLOODFILL_VALUE(4Con, false, 32f, Zyl32f, Zyl32f)
ZYLCV_FLOODFILL_VALUE(8Con, true, 32f, Zyl32f, Zyl32f)
#undef ZYLCV_FLOODFILL_VALUE
