// Gaussian 5x5 pyramid of 8-bit images (PyrDown halves, PyrUp doubles) and the work-buffer
// queries of every pyramid function.
#include "kernels/pyr.h"

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

// Ring sizes in 32-bit arithmetic that wraps like the target's int: rows rounded up to 16 bytes.
std::uint32_t r16(std::uint32_t n) { return (n + 15u) & ~15u; }

}  // namespace

#define ZYCV_PYR_8(T, tag, C)                                                                    \
    ZYCV_API ZylStatus zyliPyrDown_Gauss5x5_##tag##_C##C##R(const T *pSrc, Zyl32s srcStep,       \
                                                            T *pDst, Zyl32s dstStep,             \
                                                            ZyliSize roiSize, Zyl8u *pBuffer)    \
    {                                                                                            \
        return pyr_down<T, C>(pSrc, srcStep, pDst, dstStep, roiSize, pBuffer);                   \
    }                                                                                            \
    ZYCV_API ZylStatus zyliPyrUp_Gauss5x5_##tag##_C##C##R(const T *pSrc, Zyl32s srcStep, T *pDst, \
                                                          Zyl32s dstStep, ZyliSize roiSize,      \
                                                          Zyl8u *pBuffer)                        \
    {                                                                                            \
        return pyr_up<T, C>(pSrc, srcStep, pDst, dstStep, roiSize, pBuffer);                     \
    }
ZYCV_PYR_8(Zyl8u, 8u, 1)
ZYCV_PYR_8(Zyl8u, 8u, 3)
ZYCV_PYR_8(Zyl8s, 8s, 1)
ZYCV_PYR_8(Zyl8s, 8s, 3)
#undef ZYCV_PYR_8

// Six ring rows of W/2 filtered values per channel (16-bit, or 32f) plus 24 spare ones.
ZYCV_API ZylStatus zyliPyrDownGetBufSize_Gauss5x5(Zyl32s roiWidth, Zyl32s dataType,
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
    const std::uint32_t c = std::uint32_t(nChannels), half = std::uint32_t(roiWidth / 2);
    if (dataType == zyl8u || dataType == zyl8s) {
        *pBufSize = Zyl32s(6u * r16(c * (2u * half + 48u)));
    } else if (dataType == zyl32f) {
        *pBufSize = Zyl32s(6u * r16(c * (4u * half + 96u)));
    } else {
        *pBufSize = 0;
        return zylStatusUnsupported;
    }
    return zylStatusOk;
}

// Three ring rows of 2W filtered values per channel (32-bit integers, or 32f) plus 24 spare ones.
ZYCV_API ZylStatus zyliPyrUpGetBufSize_Gauss5x5(Zyl32s roiWidth, Zyl32s dataType,
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
    *pBufSize = Zyl32s(3u * r16(std::uint32_t(nChannels) * (8u * std::uint32_t(roiWidth) + 96u)));
    return zylStatusOk;
}
