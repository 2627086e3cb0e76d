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

// The mean of the pixels whose mask byte is set, of one plane (C = 1) or of channel coi (C = 3).
// The channel of interest is tested before the 32f step alignment.
template <class T, int C>
ZylStatus mean(const T *pSrc, int srcStep, const Zyl8u *pMask, int maskStep, ZyliSize roi, int coi,
               Zyl64f *pMean)
{
    ZylStatus st = check(pSrc && pMask && pMean, roi, srcStep, maskStep);
    if (st == zylStatusOk && C == 3) st = check_coi(coi);
    if (st == zylStatusOk && is32f<T>) st = check_aligned(srcStep);
    if (st != zylStatusOk) return st;
    mean_stddev::SumsOf<T> s;
    if constexpr (is32f<T> && C == 1)
        s = kernels::partial_sums_masked(pSrc, srcStep, pMask, maskStep, roi.width, roi.height);
    else
        s = kernels::sums_masked<T, C, false>(pSrc, srcStep, pMask, maskStep, roi.width, roi.height,
                                              coi - 1);
    *pMean = quotient(s.sum, s.count);
    return zylStatusOk;
}

// Mean and deviation of one plane (C = 1) or of channel coi (C = 3), of every pixel or (Masked) of
// those whose mask byte is set; the forms without a mask pass none and a mask step of 1. The 32f
// step alignment is tested before the channel of interest.
template <class T, int C, bool Masked>
ZylStatus mean_and_stddev(const T *pSrc, int srcStep, const Zyl8u *pMask, int maskStep,
                          ZyliSize roi, int coi, Zyl64f *pMean, Zyl64f *pStdDev)
{
    ZylStatus st = check(pSrc && (!Masked || pMask) && pMean && pStdDev, roi, srcStep, maskStep);
    if (st == zylStatusOk && is32f<T>) st = check_aligned(srcStep);
    if (st == zylStatusOk && C == 3) st = check_coi(coi);
    if (st != zylStatusOk) return st;
    mean_stddev::SumsOf<T> s;
    if constexpr (Masked)
        s = kernels::sums_masked<T, C, true>(pSrc, srcStep, pMask, maskStep, roi.width, roi.height,
                                             coi - 1);
    else s = kernels::sums<T, C>(pSrc, srcStep, roi.width, roi.height, coi - 1);
    finish(s.sum, Zyl64f(s.sumSq), Masked ? s.count : region_count(roi), pMean, pStdDev);
    return zylStatusOk;
}

}  // namespace

// Each element type gets the six forms; the wrappers differ only in the type in their names.
#define ZYLCV_MEAN_STDDEV_EXPORTS(S, T)                                                            \
    ZYLCV_API ZylStatus zyliMean_##S##_C1MR(const T *pSrc, Zyl32s srcStep, const Zyl8u *pMask,     \
                                            Zyl32s maskStep, ZyliSize roiSize, Zyl64f *pMean)      \
    {                                                                                              \
        return mean<T, 1>(pSrc, srcStep, pMask, maskStep, roiSize, 1, pMean);                      \
    }                                                                                              \
    ZYLCV_API ZylStatus zyliMean_##S##_C3CMR(const T *pSrc, Zyl32s srcStep, const Zyl8u *pMask,    \
                                             Zyl32s maskStep, ZyliSize roiSize, Zyl32s coi,        \
                                             Zyl64f *pMean)                                        \
    {                                                                                              \
        return mean<T, 3>(pSrc, srcStep, pMask, maskStep, roiSize, coi, pMean);                    \
    }                                                                                              \
    ZYLCV_API ZylStatus zyliMean_StdDev_##S##_C1R(const T *pSrc, Zyl32s srcStep, ZyliSize roiSize, \
                                                  Zyl64f *pMean, Zyl64f *pStdDev)                  \
    {                                                                                              \
        return mean_and_stddev<T, 1, false>(pSrc, srcStep, nullptr, 1, roiSize, 1, pMean,          \
                                            pStdDev);                                              \
    }                                                                                              \
    ZYLCV_API ZylStatus zyliMean_StdDev_##S##_C3CR(const T *pSrc, Zyl32s srcStep,                  \
                                                   ZyliSize roiSize, Zyl32s coi, Zyl64f *pMean,    \
                                                   Zyl64f *pStdDev)                                \
    {                                                                                              \
        return mean_and_stddev<T, 3, false>(pSrc, srcStep, nullptr, 1, roiSize, coi, pMean,        \
                                            pStdDev);                                              \
    }                                                                                              \
    ZYLCV_API ZylStatus zyliMean_StdDev_##S##_C1MR(                                                \
        const T *pSrc, Zyl32s srcStep, const Zyl8u *pMask, Zyl32s maskStep, ZyliSize roiSize,      \
        Zyl64f *pMean, Zyl64f *pStdDev)                                                            \
    {                                                                                              \
        return mean_and_stddev<T, 1, true>(pSrc, srcStep, pMask, maskStep, roiSize, 1, pMean,      \
                                           pStdDev);                                               \
    }                                                                                              \
    ZYLCV_API ZylStatus zyliMean_StdDev_##S##_C3CMR(                                               \
        const T *pSrc, Zyl32s srcStep, const Zyl8u *pMask, Zyl32s maskStep, ZyliSize roiSize,      \
        Zyl32s coi, Zyl64f *pMean, Zyl64f *pStdDev)                                                \
    {                                                                                              \
        return mean_and_stddev<T, 3, true>(pSrc, srcStep, pMask, maskStep, roiSize, coi, pMean,    \
                                           pStdDev);                                               \
    }

ZYLCV_MEAN_STDDEV_EXPORTS(8u, Zyl8u)
ZYLCV_MEAN_STDDEV_EXPORTS(8s, Zyl8s)
ZYLCV_MEAN_STDDEV_EXPORTS(32f, Zyl32f)
