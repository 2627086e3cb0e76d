// Fixed 3x3 Sobel and Scharr derivatives of a one-channel image, borders replicated.
#include "deriv3x3.h"

using namespace zylcv;
using deriv3x3::Kind;

namespace {

// The checks in order: pointers, steps, size (at least two rows), step alignment of the 16s or
// 32f images, bottomUp, shift, and for the 8u d2/dy2 member rows at least one row long.
// Members without bottomUp or shift pass 0.
template <Kind K, class S, class D>
ZylStatus derive(const S *pSrc, Zyl32s srcStep, D *pDst, Zyl32s dstStep, Zyl32s bottomUp,
                 ZyliSize roiSize, Zyl32s shift)
{
    constexpr bool rowLengthCheck = K == Kind::SobelD2y && std::is_same_v<S, Zyl8u>;
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
    kernels::deriv<K>(pSrc, srcStep, pDst, dstStep, roiSize.width, roiSize.height, bottomUp, shift);
    return zylStatusOk;
}

}  // namespace

// The four signatures: the image triple alone, with bottomUp, with shift, with both.
#define ZYLCV_DERIV3X3_PLAIN(name, K, S, D)                                                        \
    ZYLCV_API ZylStatus name(const S *pSrc, Zyl32s srcStep, D *pDst, Zyl32s dstStep,               \
                             ZyliSize roiSize)                                                     \
    {                                                                                              \
        return derive<Kind::K>(pSrc, srcStep, pDst, dstStep, 0, roiSize, 0);                       \
    }
#define ZYLCV_DERIV3X3_BOTTOMUP(name, K, S, D)                                                     \
    ZYLCV_API ZylStatus name(const S *pSrc, Zyl32s srcStep, D *pDst, Zyl32s dstStep,               \
                             Zyl32s bottomUp, ZyliSize roiSize)                                    \
    {                                                                                              \
        return derive<Kind::K>(pSrc, srcStep, pDst, dstStep, bottomUp, roiSize, 0);                \
    }
#define ZYLCV_DERIV3X3_SHIFT(name, K, S, D)                                                        \
    ZYLCV_API ZylStatus name(const S *pSrc, Zyl32s srcStep, D *pDst, Zyl32s dstStep,               \
                             ZyliSize roiSize, Zyl32s shift)                                       \
    {                                                                                              \
        return derive<Kind::K>(pSrc, srcStep, pDst, dstStep, 0, roiSize, shift);                   \
    }
#define ZYLCV_DERIV3X3_BOTTOMUP_SHIFT(name, K, S, D)                                               \
    ZYLCV_API ZylStatus name(const S *pSrc, Zyl32s srcStep, D *pDst, Zyl32s dstStep,               \
                             Zyl32s bottomUp, ZyliSize roiSize, Zyl32s shift)                      \
    {                                                                                              \
        return derive<Kind::K>(pSrc, srcStep, pDst, dstStep, bottomUp, roiSize, shift);            \
    }

ZYLCV_DERIV3X3_PLAIN(zyliSobel3x3_Dx_8u16s_C1R, SobelDx, Zyl8u, Zyl16s)
ZYLCV_DERIV3X3_BOTTOMUP(zyliSobel3x3_Dy_8u16s_C1R, SobelDy, Zyl8u, Zyl16s)
ZYLCV_DERIV3X3_PLAIN(zyliSobel3x3_D2x_8u16s_C1R, SobelD2x, Zyl8u, Zyl16s)
ZYLCV_DERIV3X3_PLAIN(zyliSobel3x3_D2y_8u16s_C1R, SobelD2y, Zyl8u, Zyl16s)
ZYLCV_DERIV3X3_BOTTOMUP(zyliSobel3x3_DxDy_8u16s_C1R, SobelDxDy, Zyl8u, Zyl16s)
ZYLCV_DERIV3X3_SHIFT(zyliScharr_Dx_8u16s_C1R, ScharrDx, Zyl8u, Zyl16s)
ZYLCV_DERIV3X3_BOTTOMUP_SHIFT(zyliScharr_Dy_8u16s_C1R, ScharrDy, Zyl8u, Zyl16s)

ZYLCV_DERIV3X3_PLAIN(zyliSobel3x3_Dx_8s16s_C1R, SobelDx, Zyl8s, Zyl16s)
ZYLCV_DERIV3X3_BOTTOMUP(zyliSobel3x3_Dy_8s16s_C1R, SobelDy, Zyl8s, Zyl16s)
ZYLCV_DERIV3X3_PLAIN(zyliSobel3x3_D2x_8s16s_C1R, SobelD2x, Zyl8s, Zyl16s)
ZYLCV_DERIV3X3_PLAIN(zyliSobel3x3_D2y_8s16s_C1R, SobelD2y, Zyl8s, Zyl16s)
ZYLCV_DERIV3X3_BOTTOMUP(zyliSobel3x3_DxDy_8s16s_C1R, SobelDxDy, Zyl8s, Zyl16s)
ZYLCV_DERIV3X3_SHIFT(zyliScharr_Dx_8s16s_C1R, ScharrDx, Zyl8s, Zyl16s)
ZYLCV_DERIV3X3_BOTTOMUP_SHIFT(zyliScharr_Dy_8s16s_C1R, ScharrDy, Zyl8s, Zyl16s)

ZYLCV_DERIV3X3_PLAIN(zyliSobel3x3_Dx_32f_C1R, SobelDx, Zyl32f, Zyl32f)
ZYLCV_DERIV3X3_BOTTOMUP(zyliSobel3x3_Dy_32f_C1R, SobelDy, Zyl32f, Zyl32f)
ZYLCV_DERIV3X3_SHIFT(zyliScharr_Dx_32f_C1R, ScharrDx, Zyl32f, Zyl32f)
ZYLCV_DERIV3X3_BOTTOMUP_SHIFT(zyliScharr_Dy_32f_C1R, ScharrDy, Zyl32f, Zyl32f)
