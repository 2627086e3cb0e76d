// Fixed 3x3 Sobel and Scharr derivatives of a one-channel image, borders replicated.
#include "deriv3x3.h"

using namespace zylcv;

namespace {

// The checks in order: pointers, steps, size (at least two rows), step alignment of the 16s or
// 32f images, bottomUp, shift, and for the 8u d2/dy2 member rows at least one row long.
// Members without bottomUp or shift pass 0.
template <class S, class D>
ZylStatus derive(DerivKind kind, const S *pSrc, Zyl32s srcStep, D *pDst, Zyl32s dstStep,
                 Zyl32s bottomUp, ZyliSize roiSize, Zyl32s shift, bool rowLengthCheck = false)
{
    if (!pSrc || !pDst) return zylStatusNullPtr;
    if (srcStep < 1 || dstStep < 1) return zylStatusBadStep;
    if (roiSize.width < 1 || roiSize.height < 2) return zylStatusBadSize;
    if constexpr (std::is_same_v<D, Zyl32f>) {
        if (srcStep % 4 != 0 || dstStep % 4 != 0) return zylStatusStepNotAligned;
    } else {
        if (dstStep % 2 != 0) return zylStatusStepNotAligned;
    }
    if (bottomUp != 0 && bottomUp != 1) return zylStatusBadArg;
    if (shift < 0) return zylStatusBadArg;
    if (rowLengthCheck &&
        (srcStep < roiSize.width || std::int64_t(dstStep) < 2 * std::int64_t(roiSize.width)))
        return zylStatusBadSize;
    kernels::deriv(kind, pSrc, srcStep, pDst, dstStep, roiSize.width, roiSize.height, bottomUp,
                   shift);
    return zylStatusOk;
}

}  // namespace

// ---- 8u16s ----

ZYLCV_API ZylStatus zyliSobel3x3_Dx_8u16s_C1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl16s *pDst,
                                             Zyl32s dstStep, ZyliSize roiSize)
{
    return derive(DerivKind::SobelDx, pSrc, srcStep, pDst, dstStep, 0, roiSize, 0);
}
ZYLCV_API ZylStatus zyliSobel3x3_Dy_8u16s_C1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl16s *pDst,
                                             Zyl32s dstStep, Zyl32s bottomUp, ZyliSize roiSize)
{
    return derive(DerivKind::SobelDy, pSrc, srcStep, pDst, dstStep, bottomUp, roiSize, 0);
}
ZYLCV_API ZylStatus zyliSobel3x3_D2x_8u16s_C1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl16s *pDst,
                                              Zyl32s dstStep, ZyliSize roiSize)
{
    return derive(DerivKind::SobelD2x, pSrc, srcStep, pDst, dstStep, 0, roiSize, 0);
}
ZYLCV_API ZylStatus zyliSobel3x3_D2y_8u16s_C1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl16s *pDst,
                                              Zyl32s dstStep, ZyliSize roiSize)
{
    return derive(DerivKind::SobelD2y, pSrc, srcStep, pDst, dstStep, 0, roiSize, 0, true);
}
ZYLCV_API ZylStatus zyliSobel3x3_DxDy_8u16s_C1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl16s *pDst,
                                               Zyl32s dstStep, Zyl32s bottomUp, ZyliSize roiSize)
{
    return derive(DerivKind::SobelDxDy, pSrc, srcStep, pDst, dstStep, bottomUp, roiSize, 0);
}
ZYLCV_API ZylStatus zyliScharr_Dx_8u16s_C1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl16s *pDst,
                                           Zyl32s dstStep, ZyliSize roiSize, Zyl32s shift)
{
    return derive(DerivKind::ScharrDx, pSrc, srcStep, pDst, dstStep, 0, roiSize, shift);
}
ZYLCV_API ZylStatus zyliScharr_Dy_8u16s_C1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl16s *pDst,
                                           Zyl32s dstStep, Zyl32s bottomUp, ZyliSize roiSize,
                                           Zyl32s shift)
{
    return derive(DerivKind::ScharrDy, pSrc, srcStep, pDst, dstStep, bottomUp, roiSize, shift);
}

// ---- 8s16s ----

ZYLCV_API ZylStatus zyliSobel3x3_Dx_8s16s_C1R(const Zyl8s *pSrc, Zyl32s srcStep, Zyl16s *pDst,
                                             Zyl32s dstStep, ZyliSize roiSize)
{
    return derive(DerivKind::SobelDx, pSrc, srcStep, pDst, dstStep, 0, roiSize, 0);
}
ZYLCV_API ZylStatus zyliSobel3x3_Dy_8s16s_C1R(const Zyl8s *pSrc, Zyl32s srcStep, Zyl16s *pDst,
                                             Zyl32s dstStep, Zyl32s bottomUp, ZyliSize roiSize)
{
    return derive(DerivKind::SobelDy, pSrc, srcStep, pDst, dstStep, bottomUp, roiSize, 0);
}
ZYLCV_API ZylStatus zyliSobel3x3_D2x_8s16s_C1R(const Zyl8s *pSrc, Zyl32s srcStep, Zyl16s *pDst,
                                              Zyl32s dstStep, ZyliSize roiSize)
{
    return derive(DerivKind::SobelD2x, pSrc, srcStep, pDst, dstStep, 0, roiSize, 0);
}
ZYLCV_API ZylStatus zyliSobel3x3_D2y_8s16s_C1R(const Zyl8s *pSrc, Zyl32s srcStep, Zyl16s *pDst,
                                              Zyl32s dstStep, ZyliSize roiSize)
{
    return derive(DerivKind::SobelD2y, pSrc, srcStep, pDst, dstStep, 0, roiSize, 0);
}
ZYLCV_API ZylStatus zyliSobel3x3_DxDy_8s16s_C1R(const Zyl8s *pSrc, Zyl32s srcStep, Zyl16s *pDst,
                                               Zyl32s dstStep, Zyl32s bottomUp, ZyliSize roiSize)
{
    return derive(DerivKind::SobelDxDy, pSrc, srcStep, pDst, dstStep, bottomUp, roiSize, 0);
}
ZYLCV_API ZylStatus zyliScharr_Dx_8s16s_C1R(const Zyl8s *pSrc, Zyl32s srcStep, Zyl16s *pDst,
                                           Zyl32s dstStep, ZyliSize roiSize, Zyl32s shift)
{
    return derive(DerivKind::ScharrDx, pSrc, srcStep, pDst, dstStep, 0, roiSize, shift);
}
ZYLCV_API ZylStatus zyliScharr_Dy_8s16s_C1R(const Zyl8s *pSrc, Zyl32s srcStep, Zyl16s *pDst,
                                           Zyl32s dstStep, Zyl32s bottomUp, ZyliSize roiSize,
                                           Zyl32s shift)
{
    return derive(DerivKind::ScharrDy, pSrc, srcStep, pDst, dstStep, bottomUp, roiSize, shift);
}

// ---- 32f ----

ZYLCV_API ZylStatus zyliSobel3x3_Dx_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst,
                                           Zyl32s dstStep, ZyliSize roiSize)
{
    return derive(DerivKind::SobelDx, pSrc, srcStep, pDst, dstStep, 0, roiSize, 0);
}
ZYLCV_API ZylStatus zyliSobel3x3_Dy_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst,
                                           Zyl32s dstStep, Zyl32s bottomUp, ZyliSize roiSize)
{
    return derive(DerivKind::SobelDy, pSrc, srcStep, pDst, dstStep, bottomUp, roiSize, 0);
}
ZYLCV_API ZylStatus zyliScharr_Dx_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst,
                                         Zyl32s dstStep, ZyliSize roiSize, Zyl32s shift)
{
    return derive(DerivKind::ScharrDx, pSrc, srcStep, pDst, dstStep, 0, roiSize, shift);
}
ZYLCV_API ZylStatus zyliScharr_Dy_32f_C1R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst,
                                         Zyl32s dstStep, Zyl32s bottomUp, ZyliSize roiSize,
                                         Zyl32s shift)
{
    return derive(DerivKind::ScharrDy, pSrc, srcStep, pDst, dstStep, bottomUp, roiSize, shift);
}
