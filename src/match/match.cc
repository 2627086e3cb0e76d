// Template matching by six methods for 8u, 8s and 32f images, and the work-buffer queries.
#include "match.h"

using namespace zylcv;
using match::match_layout;
using match::MatchMethod;

namespace {

// Pointers; then template and image sizes; then every step (at least one row, and for 32f
// images a multiple of 4; the 32f destination always) with one code for all step faults.
template <class T>
ZylStatus check(const T *src, int srcStep, ZyliSize srcSize, const T *tpl, int tplStep,
                ZyliSize tplSize, const Zyl32f *dst, int dstStep, const Zyl8u *buffer)
{
    if (!src || !tpl || !dst || !buffer) return zylStatusNullPtr;
    const int w = tplSize.width, h = tplSize.height, W = srcSize.width, H = srcSize.height;
    if (w < 1 || h < 1 || W < w || H < h) return zylStatusBadSize;
    const long long e = sizeof(T);
    if (tplStep < w * e || srcStep < W * e || dstStep < (W - w + 1) * 4LL) return zylStatusBadStep;
    if (e == 4 && (srcStep % 4 != 0 || tplStep % 4 != 0)) return zylStatusBadStep;
    if (dstStep % 4 != 0) return zylStatusBadStep;
    return zylStatusOk;
}

template <MatchMethod M, class T>
ZylStatus match_call(const T *pSrc, int srcStep, ZyliSize srcRoiSize, const T *pTpl, int tplStep,
                     ZyliSize tplRoiSize, Zyl32f *pDst, int dstStep, Zyl8u *pBuffer)
{
    ZylStatus st =
        check(pSrc, srcStep, srcRoiSize, pTpl, tplStep, tplRoiSize, pDst, dstStep, pBuffer);
    if (st != zylStatusOk) return st;
    kernels::match_template<M>(pSrc, srcStep, srcRoiSize.width, srcRoiSize.height, pTpl, tplStep,
                               tplRoiSize.width, tplRoiSize.height, pDst, dstStep, pBuffer);
    return zylStatusOk;
}

// The result pointer; then the result is zeroed; then sizes, then the data-type code.
ZylStatus buffer_size(MatchMethod m, ZyliSize src, ZyliSize tpl, int dataType, Zyl32s *pBufSize)
{
    if (!pBufSize) return zylStatusNullPtr;
    *pBufSize = 0;
    if (tpl.width <= 0 || tpl.height <= 0 || tpl.width > src.width || tpl.height > src.height)
        return zylStatusBadSize;
    int e;
    switch (dataType) {
    case zyl8u:
    case zyl8s:
        e = 1;
        break;
    case zyl32f:
        e = 4;
        break;
    default:
        return zylStatusUnsupported;
    }
    return report_buffer_size(
        match_layout(src.width, src.height, tpl.width, tpl.height, e, m).total, pBufSize);
}

}  // namespace

#define ZYLCV_MATCH_MEMBER(Method, Suffix, T)                                                      \
    ZYLCV_API ZylStatus zyliMatchTemplate_##Method##_##Suffix(                                     \
        const T *pSrc, Zyl32s srcStep, ZyliSize srcRoiSize, const T *pTpl, Zyl32s tplStep,         \
        ZyliSize tplRoiSize, Zyl32f *pDst, Zyl32s dstStep, Zyl8u *pBuffer)                         \
    {                                                                                              \
        return match_call<MatchMethod::Method>(pSrc, srcStep, srcRoiSize, pTpl, tplStep,           \
                                               tplRoiSize, pDst, dstStep, pBuffer);                \
    }
#define ZYLCV_MATCH_METHOD(Method)                                                                 \
    ZYLCV_MATCH_MEMBER(Method, 8u32f_C1R, Zyl8u)                                                   \
    ZYLCV_MATCH_MEMBER(Method, 8s32f_C1R, Zyl8s)                                                   \
    ZYLCV_MATCH_MEMBER(Method, 32f_C1R, Zyl32f)                                                    \
    ZYLCV_API ZylStatus zyliMatchTemplateGetBufSize_##Method(                                      \
        ZyliSize srcRoiSize, ZyliSize tplRoiSize, Zyl32s dataType, Zyl32s *pBufSize)               \
    {                                                                                              \
        return buffer_size(MatchMethod::Method, srcRoiSize, tplRoiSize, dataType, pBufSize);       \
    }

ZYLCV_MATCH_METHOD(SqDiff)
ZYLCV_MATCH_METHOD(SqDiffNormed)
ZYLCV_MATCH_METHOD(Corr)
ZYLCV_MATCH_METHOD(CorrNormed)
ZYLCV_MATCH_METHOD(Coeff)
ZYLCV_MATCH_METHOD(CoeffNormed)
