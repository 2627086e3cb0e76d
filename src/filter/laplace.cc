// Laplace filter: the sum of the two second-order Sobel derivatives of the state's aperture,
// whole image or strip by strip.
#include "filter.h"

using namespace zylcv;

namespace {

template <class S, class D>
ZylStatus laplace_strip(const S *pSrc, int srcStep, D *pDst, int dstStep, ZyliSize *pRoiSize,
                        ZyliConvState *pState, ZylStripRole stripRole, ZylDataType type)
{
    const int role = stripRole;
    ZylStatus st = conv::check_derivative_strip<S, D>(pSrc && pDst && pState && pRoiSize, srcStep,
                                                      dstStep, pRoiSize, pState, role);
    if (st == zylStatusOk) st = conv::check_state(*pState, conv::kLaplace, type, pRoiSize->width);
    if (st != zylStatusOk) return st;
    pRoiSize->height =
        kernels::laplace(pSrc, srcStep, pDst, dstStep, pRoiSize->width, pRoiSize->height, pState,
                         conv::starts_image(role), conv::ends_image(role));
    return zylStatusOk;
}

}  // namespace

ZYLCV_API ZylStatus zyliLaplace_8u16s_C1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl16s *pDst,
                                         Zyl32s dstStep, ZyliSize *pRoiSize, ZyliConvState *pState,
                                         ZylStripRole stripRole)
{
    return laplace_strip(pSrc, srcStep, pDst, dstStep, pRoiSize, pState, stripRole, zyl8u);
}

ZYLCV_API ZylStatus zyliLaplace_8s16s_C1R(const Zyl8s *pSrc, Zyl32s srcStep, Zyl16s *pDst,
                                         Zyl32s dstStep, ZyliSize *pRoiSize, ZyliConvState *pState,
                                         ZylStripRole stripRole)
{
    return laplace_strip(pSrc, srcStep, pDst, dstStep, pRoiSize, pState, stripRole, zyl8s);
}

ZYLCV_API ZylStatus zyliLaplace_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst,
                                       Zyl32s dstStep, ZyliSize *pRoiSize, ZyliConvState *pState,
                                       ZylStripRole stripRole)
{
    return laplace_strip(pSrc, srcStep, pDst, dstStep, pRoiSize, pState, stripRole, zyl32f);
}
