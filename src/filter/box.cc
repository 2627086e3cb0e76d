// Box sum: the plain sum of the kernelSize x kernelSize window around each pixel, whole image or
// strip by strip.
#include "filter.h"

using namespace zylcv;

namespace {

// Pointers; steps; size; step alignment; the role (3 means first and last at once); the pending
// rule; then the state itself.
template <class S, class D>
ZylStatus blur_strip(const S *pSrc, int srcStep, D *pDst, int dstStep, ZyliSize *pRoiSize,
                     ZyliConvState *pState, ZylStripRole stripRole, ZylDataType type)
{
    const int role = stripRole;
    if (!pSrc || !pDst || !pState || !pRoiSize) return zylStatusNullPtr;
    if (srcStep < 1 || dstStep < 1) return zylStatusBadStep;
    if (pRoiSize->width < 1 || pRoiSize->height < 1) return zylStatusBadSize;
    if (srcStep % int(sizeof(S)) != 0 || dstStep % int(sizeof(D)) != 0)
        return zylStatusStepNotAligned;
    if (role < 0 || role > 4) return zylStatusBadArg;
    if (pState->pending != 0 && role != zylStripWhole && role != zylStripFirst)
        return zylStatusBadArg;
    ZylStatus st = conv::check_state(*pState, conv::kBlur, type, pRoiSize->width);
    if (st != zylStatusOk) return st;
    pRoiSize->height =
        kernels::blur(pSrc, srcStep, pDst, dstStep, pRoiSize->width, pRoiSize->height, pState,
                      conv::starts_image(role), conv::ends_image(role));
    return zylStatusOk;
}

}  // namespace

ZYLCV_API ZylStatus zyliBlur_8u16s_C1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl16s *pDst,
                                      Zyl32s dstStep, ZyliSize *pRoiSize, ZyliConvState *pState,
                                      ZylStripRole stripRole)
{
    return blur_strip(pSrc, srcStep, pDst, dstStep, pRoiSize, pState, stripRole, zyl8u);
}

ZYLCV_API ZylStatus zyliBlur_8s16s_C1R(const Zyl8s *pSrc, Zyl32s srcStep, Zyl16s *pDst,
                                      Zyl32s dstStep, ZyliSize *pRoiSize, ZyliConvState *pState,
                                      ZylStripRole stripRole)
{
    return blur_strip(pSrc, srcStep, pDst, dstStep, pRoiSize, pState, stripRole, zyl8s);
}

ZYLCV_API ZylStatus zyliBlur_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst,
                                    Zyl32s dstStep, ZyliSize *pRoiSize, ZyliConvState *pState,
                                    ZylStripRole stripRole)
{
    return blur_strip(pSrc, srcStep, pDst, dstStep, pRoiSize, pState, stripRole, zyl32f);
}
