// Minimum and maximum of a region (one channel or a channel of interest, optionally masked)
// with the location of the first pixel holding each.
#include "minmax.h"

using namespace zylcv;
using minmax::MinMaxLoc;

namespace {

// Pointers; negative sizes (empty regions are fine); steps shorter than a row, or a float step
// that is not whole pixels; then the channel of interest.
template <class T, int N, bool Masked>
ZylStatus check(const T *src, int srcStep, const Zyl8u *mask, int maskStep, ZyliSize roi, int coi)
{
    if (!src || (Masked && !mask)) return zylStatusNullPtr;
    if (roi.width < 0 || roi.height < 0) return zylStatusBadSize;
    const long long rowBytes = static_cast<long long>(N * sizeof(T)) * roi.width;
    if (srcStep < rowBytes || (Masked && maskStep < roi.width) ||
        (std::is_same_v<T, Zyl32f> && srcStep % 4 != 0))
        return zylStatusBadStep;
    if (N == 3 && (coi < 1 || coi > 3)) return zylStatusBadChannelOfInterest;
    return zylStatusOk;
}

// Validates, runs the search (contiguous rows as one long row) and writes each requested result;
// raster indices become points in rows of the caller's width.
template <class T, int N, bool Masked>
ZylStatus minmaxindx(const T *src, int srcStep, const Zyl8u *mask, int maskStep, ZyliSize roi,
                     int coi, Zyl32f *pMinVal, Zyl32f *pMaxVal, ZyliPoint *pMinIndex,
                     ZyliPoint *pMaxIndex)
{
    ZylStatus st = check<T, N, Masked>(src, srcStep, mask, maskStep, roi, coi);
    if (st != zylStatusOk) return st;

    MinMaxLoc r{0.0f, 0.0f, -1, -1};
    if (roi.width > 0 && roi.height > 0) {
        long width = roi.width;
        int height = roi.height;
        if (srcStep == long(N * sizeof(T)) * width && (!Masked || maskStep == width)) {
            width *= height;
            height = 1;
        }
        r = kernels::minmaxindx<T, N, Masked>(src, srcStep, mask, maskStep, width, height,
                                              N == 3 ? coi - 1 : 0);
    }
    ZyliPoint lo{0, 0}, hi{0, 0};
    if (r.minAt < 0 || r.maxAt < 0) {
        r.minVal = r.maxVal = 0.0f;
    } else {
        const long w = roi.width;
        lo = {static_cast<Zyl32s>(r.minAt % w), static_cast<Zyl32s>(r.minAt / w)};
        hi = {static_cast<Zyl32s>(r.maxAt % w), static_cast<Zyl32s>(r.maxAt / w)};
    }
    if (pMinVal) *pMinVal = r.minVal;
    if (pMaxVal) *pMaxVal = r.maxVal;
    if (pMinIndex) *pMinIndex = lo;
    if (pMaxIndex) *pMaxIndex = hi;
    return zylStatusOk;
}

}  // namespace

// The twelve members: {8u, 8s, 32f} x {C1R, C3CR, C1MR, C3CMR}.
#define ZYLCV_MINMAXINDX(T, tag)                                                                   \
    ZYLCV_API ZylStatus zyliMinMaxIndx_##tag##_C1R(                                                \
        const T *pSrc, Zyl32s srcStep, ZyliSize roiSize, Zyl32f *pMinVal, Zyl32f *pMaxVal,         \
        ZyliPoint *pMinIndex, ZyliPoint *pMaxIndex)                                                \
    {                                                                                              \
        return minmaxindx<T, 1, false>(pSrc, srcStep, nullptr, 0, roiSize, 1, pMinVal, pMaxVal,    \
                                       pMinIndex, pMaxIndex);                                      \
    }                                                                                              \
    ZYLCV_API ZylStatus zyliMinMaxIndx_##tag##_C3CR(                                               \
        const T *pSrc, Zyl32s srcStep, ZyliSize roiSize, Zyl32s coi, Zyl32f *pMinVal,              \
        Zyl32f *pMaxVal, ZyliPoint *pMinIndex, ZyliPoint *pMaxIndex)                               \
    {                                                                                              \
        return minmaxindx<T, 3, false>(pSrc, srcStep, nullptr, 0, roiSize, coi, pMinVal, pMaxVal,  \
                                       pMinIndex, pMaxIndex);                                      \
    }                                                                                              \
    ZYLCV_API ZylStatus zyliMinMaxIndx_##tag##_C1MR(                                               \
        const T *pSrc, Zyl32s srcStep, const Zyl8u *pMask, Zyl32s maskStep, ZyliSize roiSize,      \
        Zyl32f *pMinVal, Zyl32f *pMaxVal, ZyliPoint *pMinIndex, ZyliPoint *pMaxIndex)              \
    {                                                                                              \
        return minmaxindx<T, 1, true>(pSrc, srcStep, pMask, maskStep, roiSize, 1, pMinVal,         \
                                      pMaxVal, pMinIndex, pMaxIndex);                              \
    }                                                                                              \
    ZYLCV_API ZylStatus zyliMinMaxIndx_##tag##_C3CMR(                                              \
        const T *pSrc, Zyl32s srcStep, const Zyl8u *pMask, Zyl32s maskStep, ZyliSize roiSize,      \
        Zyl32s coi, Zyl32f *pMinVal, Zyl32f *pMaxVal, ZyliPoint *pMinIndex, ZyliPoint *pMaxIndex)  \
    {                                                                                              \
        return minmaxindx<T, 3, true>(pSrc, srcStep, pMask, maskStep, roiSize, coi, pMinVal,       \
                                      pMaxVal, pMinIndex, pMaxIndex);                              \
    }

ZYLCV_MINMAXINDX(Zyl8u, 8u)
ZYLCV_MINMAXINDX(Zyl8s, 8s)
ZYLCV_MINMAXINDX(Zyl32f, 32f)
