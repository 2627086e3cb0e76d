// Strip filters: the general Sobel derivative of the state's aperture and orders, the Laplace
// filter (the sum of the two second-order Sobel derivatives) and the box sum (the plain sum of
// the kernelSize x kernelSize window around each pixel), whole image or strip by strip.
#include "filter.h"

using namespace zylcv;

namespace {

template <class S>
constexpr ZylDataType kSourceType = std::is_same_v<S, Zyl8u>   ? zyl8u
                                    : std::is_same_v<S, Zyl8s> ? zyl8s
                                                               : zyl32f;

// Sobel and Laplace: filter::check_derivative_strip. Box sum: pointers; steps; size; step
// alignment; the role (3 means first and last at once); the pending rule. Then the state
// itself (filter::check_state).
template <filter::Kind K, class S, class D>
ZylStatus run_strip(const S *pSrc, int srcStep, D *pDst, int dstStep, ZyliSize *pRoiSize,
                    ZyliConvState *pState, ZylStripRole stripRole)
{
    const int role = stripRole;
    if constexpr (K == filter::kBlur) {
        if (!pSrc || !pDst || !pState || !pRoiSize) return zylStatusNullPtr;
        if (srcStep < 1 || dstStep < 1) return zylStatusBadStep;
        if (pRoiSize->width < 1 || pRoiSize->height < 1) return zylStatusBadSize;
        if (srcStep % int(sizeof(S)) != 0 || dstStep % int(sizeof(D)) != 0)
            return zylStatusStepNotAligned;
        if (role < 0 || role > 4) return zylStatusBadArg;
        if (pState->pending != 0 && role != zylStripWhole && role != zylStripFirst)
            return zylStatusBadArg;
    } else {
        const ZylStatus st = filter::check_derivative_strip<S, D>(
            pSrc && pDst && pState && pRoiSize, srcStep, dstStep, pRoiSize, pState, role);
        if (st != zylStatusOk) return st;
    }
    const ZylStatus st = filter::check_state(*pState, K, kSourceType<S>, pRoiSize->width);
    if (st != zylStatusOk) return st;
    pRoiSize->height =
        kernels::strip<K>(pSrc, srcStep, pDst, dstStep, pRoiSize->width, pRoiSize->height, pState,
                          filter::starts_image(role), filter::ends_image(role));
    return zylStatusOk;
}

}  // namespace

#define ZYLCV_FILTER_EXPORT(name, K, S, D)                                                         \
    ZYLCV_API ZylStatus name(const S *pSrc, Zyl32s srcStep, D *pDst, Zyl32s dstStep,               \
                             ZyliSize *pRoiSize, ZyliConvState *pState, ZylStripRole stripRole)    \
    {                                                                                              \
        return run_strip<K>(pSrc, srcStep, pDst, dstStep, pRoiSize, pState, stripRole);            \
    }

ZYLCV_FILTER_EXPORT(zyliSobel_8u16s_C1R, filter::kSobel, Zyl8u, Zyl16s)
ZYLCV_FILTER_EXPORT(zyliSobel_8s16s_C1R, filter::kSobel, Zyl8s, Zyl16s)
ZYLCV_FILTER_EXPORT(zyliSobel_32f_C1R, filter::kSobel, Zyl32f, Zyl32f)
ZYLCV_FILTER_EXPORT(zyliLaplace_8u16s_C1R, filter::kLaplace, Zyl8u, Zyl16s)
ZYLCV_FILTER_EXPORT(zyliLaplace_8s16s_C1R, filter::kLaplace, Zyl8s, Zyl16s)
ZYLCV_FILTER_EXPORT(zyliLaplace_32f_C1R, filter::kLaplace, Zyl32f, Zyl32f)
ZYLCV_FILTER_EXPORT(zyliBlur_8u16s_C1R, filter::kBlur, Zyl8u, Zyl16s)
ZYLCV_FILTER_EXPORT(zyliBlur_8s16s_C1R, filter::kBlur, Zyl8s, Zyl16s)
ZYLCV_FILTER_EXPORT(zyliBlur_32f_C1R, filter::kBlur, Zyl32f, Zyl32f)
