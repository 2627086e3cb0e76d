// Mean, and mean with population standard deviation, of one plane or one channel of interest,
// optionally restricted by a mask.
//
// Arguments are checked size first: pointers, then the ROI size, then the steps (the mask step
// too where there is a mask); then step alignment (32f) and the channel of interest, in an order
// that each function below gives. Results are stored only after every check has passed.
#include <cmath>

#include "mean_stddev.h"

using namespace zylcv;

namespace {

template <class T> constexpr bool is32f = std::is_same_v<T, Zyl32f>;

// Pointers, size, steps. Forms without a mask pass a mask step of 1.
ZylStatus check(bool pointersOk, ZyliSize roi, int srcStep, int maskStep)
{
    if (!pointersOk) return zylStatusNullPtr;
    if (roi.width < 1 || roi.height < 1) return zylStatusBadSize;
    if (srcStep < 1 || maskStep < 1) return zylStatusBadStep;
    return zylStatusOk;
}
ZylStatus check_aligned(int srcStep)
{
    return (srcStep & 3) != 0 ? zylStatusStepNotAligned : zylStatusOk;
}
ZylStatus check_coi(int coi)
{
    return coi < 1 || coi > 3 ? zylStatusBadChannelOfInterest : zylStatusOk;
}

// The pixel count of an unmasked region: width times height as a 32-bit product.
Zyl32s region_count(ZyliSize roi)
{
    return static_cast<Zyl32s>(static_cast<std::uint32_t>(roi.width) *
                               static_cast<std::uint32_t>(roi.height));
}

// Mean of the mean-only functions: one division, 0.0 when nothing was selected.
Zyl64f quotient(Zyl64f sum, Zyl32s count) { return count == 0 ? 0.0 : sum / Zyl64f(count); }

// Mean and deviation from the count n, the sum and the sum of squares: the mean is the sum times
// 1/n, the variance the mean square minus the squared mean, and the deviation the square root
// of its magnitude (a variance that rounds just below zero gives a tiny positive deviation).
void finish(Zyl64f sum, Zyl64f sumSq, Zyl32s n, Zyl64f *pMean, Zyl64f *pStdDev)
{
    const Zyl64f scale = n != 0 ? 1.0 / Zyl64f(n) : 0.0;
    const Zyl64f mean = sum * scale;
    const Zyl64f var = sumSq * scale - mean * mean;
    *pMean = mean;
    *pStdDev = std::sqrt(std::fabs(var));
}

template <class T>
ZylStatus mean_c1mr(const T *pSrc, int srcStep, const Zyl8u *pMask, int maskStep, ZyliSize roi,
                    Zyl64f *pMean)
{
    ZylStatus st = check(pSrc && pMask && pMean, roi, srcStep, maskStep);
    if (st == zylStatusOk && is32f<T>) st = check_aligned(srcStep);
    if (st != zylStatusOk) return st;
    SumsOf<T> s;
    if constexpr (is32f<T>)
        s = kernels::partial_sums_masked(pSrc, srcStep, pMask, maskStep, roi.width, roi.height);
    else
        s = kernels::sums_masked<T, 1, false>(pSrc, srcStep, pMask, maskStep, roi.width,
                                              roi.height, 0);
    *pMean = quotient(s.sum, s.count);
    return zylStatusOk;
}

// The channel of interest is tested before the 32f step alignment.
template <class T>
ZylStatus mean_c3cmr(const T *pSrc, int srcStep, const Zyl8u *pMask, int maskStep, ZyliSize roi,
                     int coi, Zyl64f *pMean)
{
    ZylStatus st = check(pSrc && pMask && pMean, roi, srcStep, maskStep);
    if (st == zylStatusOk) st = check_coi(coi);
    if (st == zylStatusOk && is32f<T>) st = check_aligned(srcStep);
    if (st != zylStatusOk) return st;
    const SumsOf<T> s = kernels::sums_masked<T, 3, false>(pSrc, srcStep, pMask, maskStep,
                                                          roi.width, roi.height, coi - 1);
    *pMean = quotient(s.sum, s.count);
    return zylStatusOk;
}

template <class T>
ZylStatus mean_stddev_c1r(const T *pSrc, int srcStep, ZyliSize roi, Zyl64f *pMean, Zyl64f *pStdDev)
{
    ZylStatus st = check(pSrc && pMean && pStdDev, roi, srcStep, 1);
    if (st == zylStatusOk && is32f<T>) st = check_aligned(srcStep);
    if (st != zylStatusOk) return st;
    const SumsOf<T> s = kernels::sums<T, 1>(pSrc, srcStep, roi.width, roi.height, 0);
    finish(s.sum, Zyl64f(s.sumSq), region_count(roi), pMean, pStdDev);
    return zylStatusOk;
}

// The 32f step alignment is tested before the channel of interest.
template <class T>
ZylStatus mean_stddev_c3cr(const T *pSrc, int srcStep, ZyliSize roi, int coi, Zyl64f *pMean,
                           Zyl64f *pStdDev)
{
    ZylStatus st = check(pSrc && pMean && pStdDev, roi, srcStep, 1);
    if (st == zylStatusOk && is32f<T>) st = check_aligned(srcStep);
    if (st == zylStatusOk) st = check_coi(coi);
    if (st != zylStatusOk) return st;
    const SumsOf<T> s = kernels::sums<T, 3>(pSrc, srcStep, roi.width, roi.height, coi - 1);
    finish(s.sum, Zyl64f(s.sumSq), region_count(roi), pMean, pStdDev);
    return zylStatusOk;
}

template <class T>
ZylStatus mean_stddev_c1mr(const T *pSrc, int srcStep, const Zyl8u *pMask, int maskStep,
                           ZyliSize roi, Zyl64f *pMean, Zyl64f *pStdDev)
{
    ZylStatus st = check(pSrc && pMask && pMean && pStdDev, roi, srcStep, maskStep);
    if (st == zylStatusOk && is32f<T>) st = check_aligned(srcStep);
    if (st != zylStatusOk) return st;
    const SumsOf<T> s = kernels::sums_masked<T, 1, true>(pSrc, srcStep, pMask, maskStep,
                                                         roi.width, roi.height, 0);
    finish(s.sum, Zyl64f(s.sumSq), s.count, pMean, pStdDev);
    return zylStatusOk;
}

// The 32f step alignment is tested before the channel of interest.
template <class T>
ZylStatus mean_stddev_c3cmr(const T *pSrc, int srcStep, const Zyl8u *pMask, int maskStep,
                            ZyliSize roi, int coi, Zyl64f *pMean, Zyl64f *pStdDev)
{
    ZylStatus st = check(pSrc && pMask && pMean && pStdDev, roi, srcStep, maskStep);
    if (st == zylStatusOk && is32f<T>) st = check_aligned(srcStep);
    if (st == zylStatusOk) st = check_coi(coi);
    if (st != zylStatusOk) return st;
    const SumsOf<T> s = kernels::sums_masked<T, 3, true>(pSrc, srcStep, pMask, maskStep,
                                                         roi.width, roi.height, coi - 1);
    finish(s.sum, Zyl64f(s.sumSq), s.count, pMean, pStdDev);
    return zylStatusOk;
}

}  // namespace

// Each element type gets the six forms; the wrappers differ only in the type in their names.
#define ZYLCV_MOMENTS_EXPORTS(S, T)                                                             \
    ZYLCV_API ZylStatus zyliMean_##S##_C1MR(const T *pSrc, Zyl32s srcStep, const Zyl8u *pMask,   \
                                           Zyl32s maskStep, ZyliSize roiSize, Zyl64f *pMean)    \
    {                                                                                           \
        return mean_c1mr(pSrc, srcStep, pMask, maskStep, roiSize, pMean);                      \
    }                                                                                           \
    ZYLCV_API ZylStatus zyliMean_##S##_C3CMR(const T *pSrc, Zyl32s srcStep, const Zyl8u *pMask,  \
                                            Zyl32s maskStep, ZyliSize roiSize, Zyl32s coi,      \
                                            Zyl64f *pMean)                                      \
    {                                                                                           \
        return mean_c3cmr(pSrc, srcStep, pMask, maskStep, roiSize, coi, pMean);                \
    }                                                                                           \
    ZYLCV_API ZylStatus zyliMean_StdDev_##S##_C1R(const T *pSrc, Zyl32s srcStep, ZyliSize roiSize, \
                                                 Zyl64f *pMean, Zyl64f *pStdDev)                \
    {                                                                                           \
        return mean_stddev_c1r(pSrc, srcStep, roiSize, pMean, pStdDev);                        \
    }                                                                                           \
    ZYLCV_API ZylStatus zyliMean_StdDev_##S##_C3CR(const T *pSrc, Zyl32s srcStep,               \
                                                  ZyliSize roiSize, Zyl32s coi, Zyl64f *pMean,  \
                                                  Zyl64f *pStdDev)                              \
    {                                                                                           \
        return mean_stddev_c3cr(pSrc, srcStep, roiSize, coi, pMean, pStdDev);                  \
    }                                                                                           \
    ZYLCV_API ZylStatus zyliMean_StdDev_##S##_C1MR(const T *pSrc, Zyl32s srcStep,               \
                                                  const Zyl8u *pMask, Zyl32s maskStep,          \
                                                  ZyliSize roiSize, Zyl64f *pMean,              \
                                                  Zyl64f *pStdDev)                              \
    {                                                                                           \
        return mean_stddev_c1mr(pSrc, srcStep, pMask, maskStep, roiSize, pMean, pStdDev);      \
    }                                                                                           \
    ZYLCV_API ZylStatus zyliMean_StdDev_##S##_C3CMR(const T *pSrc, Zyl32s srcStep,              \
                                                   const Zyl8u *pMask, Zyl32s maskStep,         \
                                                   ZyliSize roiSize, Zyl32s coi, Zyl64f *pMean, \
                                                   Zyl64f *pStdDev)                             \
    {                                                                                           \
        return mean_stddev_c3cmr(pSrc, srcStep, pMask, maskStep, roiSize, coi, pMean, pStdDev); \
    }

ZYLCV_MOMENTS_EXPORTS(8u, Zyl8u)
ZYLCV_MOMENTS_EXPORTS(8s, Zyl8s)
ZYLCV_MOMENTS_EXPORTS(32f, Zyl32f)
