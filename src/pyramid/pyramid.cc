// Gaussian 5x5 pyramid of 8-bit images (PyrDown halves, PyrUp doubles) and the work-buffer
// queries of every pyramid function.
#include "pyramid.h"

using namespace zylcv;

namespace {

template <class T, int Cs>
ZylStatus pyr_down(const T *src, int srcStep, T *dst, int dstStep, ZyliSize roi, Zyl8u *buffer)
{
    const ZylStatus st = pyr_check<T, Cs>(true, src, srcStep, dst, dstStep, roi, buffer);
    if (st != zylStatusOk || roi.width == 0 || roi.height == 0) return st;
    kernels::pyr_down(src, srcStep, dst, dstStep, roi.width, roi.height, Cs, buffer);
    return zylStatusOk;
}

template <class T, int Cs>
ZylStatus pyr_up(const T *src, int srcStep, T *dst, int dstStep, ZyliSize roi, Zyl8u *buffer)
{
    const ZylStatus st = pyr_check<T, Cs>(false, src, srcStep, dst, dstStep, roi, buffer);
    if (st != zylStatusOk || roi.width == 0 || roi.height == 0) return st;
    kernels::pyr_up(src, srcStep, dst, dstStep, roi.width, roi.height, Cs, buffer);
    return zylStatusOk;
}

// Ring row bytes rounded up to 16, in 64 bits: a 32-bit width times 8 bytes and 3 channels
// passes 2^32.
std::int64_t r16(std::int64_t n) { return (n + 15) & ~std::int64_t(15); }

}  // namespace

#define ZYLCV_PYR_8(T, tag, C)                                                                    \
    ZYLCV_API ZylStatus zyliPyrDown_Gauss5x5_##tag##_C##C##R(const T *pSrc, Zyl32s srcStep,       \
                                                            T *pDst, Zyl32s dstStep,             \
                                                            ZyliSize roiSize, Zyl8u *pBuffer)    \
    {                                                                                            \
        return pyr_down<T, C>(pSrc, srcStep, pDst, dstStep, roiSize, pBuffer);                   \
    }                                                                                            \
    ZYLCV_API ZylStatus zyliPyrUp_Gauss5x5_##tag##_C##C##R(const T *pSrc, Zyl32s srcStep, T *pDst, \
                                                          Zyl32s dstStep, ZyliSize roiSize,      \
                                                          Zyl8u *pBuffer)                        \
    {                                                                                            \
        return pyr_up<T, C>(pSrc, srcStep, pDst, dstStep, roiSize, pBuffer);                     \
    }
ZYLCV_PYR_8(Zyl8u, 8u, 1)
ZYLCV_PYR_8(Zyl8u, 8u, 3)
ZYLCV_PYR_8(Zyl8s, 8s, 1)
ZYLCV_PYR_8(Zyl8s, 8s, 3)
#undef ZYLCV_PYR_8

// Six ring rows of W/2 filtered values per channel (16-bit, or 32f) plus 24 spare ones.
ZYLCV_API ZylStatus zyliPyrDownGetBufSize_Gauss5x5(Zyl32s roiWidth, Zyl32s dataType,
                                                  Zyl32s nChannels, Zyl32s *pBufSize)
{
    if (!pBufSize) return zylStatusNullPtr;
    if (roiWidth < 0 || roiWidth % 2 != 0) {
        *pBufSize = 0;
        return zylStatusBadSize;
    }
    if (nChannels != 1 && nChannels != 3) {
        *pBufSize = 0;
        return zylStatusBadChannels;
    }
    const std::int64_t c = nChannels, half = roiWidth / 2;
    if (dataType == zyl8u || dataType == zyl8s) return report_buffer_size(6 * r16(c * (2 * half + 48)), pBufSize);
    if (dataType == zyl32f) return report_buffer_size(6 * r16(c * (4 * half + 96)), pBufSize);
    *pBufSize = 0;
    return zylStatusUnsupported;
}

// Three ring rows of 2W filtered values per channel (32-bit integers, or 32f) plus 24 spare ones.
ZYLCV_API ZylStatus zyliPyrUpGetBufSize_Gauss5x5(Zyl32s roiWidth, Zyl32s dataType,
                                                Zyl32s nChannels, Zyl32s *pBufSize)
{
    if (!pBufSize) return zylStatusNullPtr;
    if (roiWidth < 0) {
        *pBufSize = 0;
        return zylStatusBadSize;
    }
    if (nChannels != 1 && nChannels != 3) {
        *pBufSize = 0;
        return zylStatusBadChannels;
    }
    if (dataType != zyl8u && dataType != zyl8s && dataType != zyl32f) {
        *pBufSize = 0;
        return zylStatusUnsupported;
    }
    return report_buffer_size(3 * r16(std::int64_t(nChannels) * (8 * std::int64_t(roiWidth) + 96)), pBufSize);
}
