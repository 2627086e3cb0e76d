// Gaussian 5x5 pyramid of 8u, 8s and 32f images with 1 or 3 channels (PyrDown halves, PyrUp
// doubles) and the work-buffer queries of every pyramid function.
#include "pyramid.h"

using namespace zylcv;

namespace {

// Pointers (-8); then negative sizes, steps shorter than a row, 32f steps that are not whole
// elements and, for PyrDown, odd sizes, all as a bad size (-6). An empty image passes: the
// caller returns before the kernel.
template <bool Down, int Cs, class T>
ZylStatus check(const T *src, int srcStep, const T *dst, int dstStep, ZyliSize roi,
                const Zyl8u *buffer)
{
    if (!src || !dst || !buffer) return zylStatusNullPtr;
    const long long W = roi.width, H = roi.height, e = sizeof(T);
    const long long dstW = Down ? W / 2 : 2 * W;
    if (W < 0 || H < 0 || srcStep < W * Cs * e || dstStep < dstW * Cs * e ||
        (e == 4 && (srcStep % 4 != 0 || dstStep % 4 != 0)) || (Down && (W % 2 != 0 || H % 2 != 0)))
        return zylStatusBadSize;
    return zylStatusOk;
}

template <bool Down, int Cs, class T>
ZylStatus pyramid_level(const T *src, int srcStep, T *dst, int dstStep, ZyliSize roi, Zyl8u *buffer)
{
    const ZylStatus st = check<Down, Cs>(src, srcStep, dst, dstStep, roi, buffer);
    if (st != zylStatusOk || roi.width == 0 || roi.height == 0) return st;
    if constexpr (Down)
        kernels::pyr_down(src, srcStep, dst, dstStep, roi.width, roi.height, Cs, buffer);
    else kernels::pyr_up(src, srcStep, dst, dstStep, roi.width, roi.height, Cs, buffer);
    return zylStatusOk;
}

// Ring row bytes rounded up to 16, in 64 bits: a 32-bit width times 8 bytes and 3 channels
// passes 2^32.
std::int64_t r16(std::int64_t n) { return (n + 15) & ~std::int64_t(15); }

}  // namespace

#define ZYLCV_PYRAMID_MEMBER(Dir, down, T, tag, C)                                                 \
    ZYLCV_API ZylStatus zyliPyr##Dir##_Gauss5x5_##tag##_C##C##R(                                   \
        const T *pSrc, Zyl32s srcStep, T *pDst, Zyl32s dstStep, ZyliSize roiSize, Zyl8u *pBuffer)  \
    {                                                                                              \
        return pyramid_level<down, C>(pSrc, srcStep, pDst, dstStep, roiSize, pBuffer);             \
    }
#define ZYLCV_PYRAMID_TYPE(T, tag)                                                                 \
    ZYLCV_PYRAMID_MEMBER(Down, true, T, tag, 1)                                                    \
    ZYLCV_PYRAMID_MEMBER(Down, true, T, tag, 3) ZYLCV_PYRAMID_MEMBER(Up, false, T, tag, 1)         \
        ZYLCV_PYRAMID_MEMBER(Up, false, T, tag, 3)
ZYLCV_PYRAMID_TYPE(Zyl8u, 8u)
ZYLCV_PYRAMID_TYPE(Zyl8s, 8s)
ZYLCV_PYRAMID_TYPE(Zyl32f, 32f)
#undef ZYLCV_PYRAMID_TYPE
#undef ZYLCV_PYRAMID_MEMBER

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
    if (dataType == zyl8u || dataType == zyl8s)
        return report_buffer_size(6 * r16(c * (2 * half + 48)), pBufSize);
    if (dataType == zyl32f) return report_buffer_size(6 * r16(c * (4 * half + 96)), pBufSize);
    *pBufSize = 0;
    return zylStatusUnsupported;
}

// Three ring rows of 2W filtered values per channel (32-bit integers, or 32f) plus 24 spare ones.
ZYLCV_API ZylStatus zyliPyrUpGetBufSize_Gauss5x5(Zyl32s roiWidth, Zyl32s dataType, Zyl32s nChannels,
                                                 Zyl32s *pBufSize)
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
    return report_buffer_size(3 * r16(std::int64_t(nChannels) * (8 * std::int64_t(roiWidth) + 96)),
                              pBufSize);
}
