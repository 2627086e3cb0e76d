// Canny edge detector from two derivative images, with its work-buffer size query.
#include "canny.h"

using namespace zylcv;

namespace {

// A float threshold (already known to be >= 0) truncated towards zero; magnitudes never exceed
// 32767, so every larger threshold acts like 32767 (it selects no pixel).
int int_threshold(Zyl32f t) { return t >= 32767.0f ? 32767 : static_cast<int>(t); }

}  // namespace

// 12 bytes per pixel of the ROI grown by one pixel on every side: the 16-bit magnitude map and
// room for the seed stack. Sizes whose buffer would not fit in a Zyl32s are refused like
// non-positive ones (with a result of 0).
ZYLCV_API ZylStatus zyliCannyGetSize(ZyliSize roiSize, Zyl32s *pBufferSize)
{
    if (roiSize.width < 1 || roiSize.height < 1) return zylStatusBadSize;
    if (!pBufferSize) return zylStatusNullPtr;
    const std::int64_t cells = std::int64_t(roiSize.width + 2LL) * (roiSize.height + 2LL);
    return report_buffer_size(size_mul(cells, 12), pBufferSize);
}

ZYLCV_API ZylStatus zyliCanny_16s8u_C1R(const Zyl16s *pSrcDx, Zyl32s srcDxStep,
                                        const Zyl16s *pSrcDy, Zyl32s srcDyStep, Zyl8u *pDstEdges,
                                        Zyl32s dstEdgeStep, ZyliSize roiSize, Zyl32f lowThresh,
                                        Zyl32f highThresh, Zyl8u *pBuffer)
{
    if (!pSrcDx || !pSrcDy || !pDstEdges || !pBuffer) return zylStatusNullPtr;
    if (srcDxStep < 1 || srcDyStep < 1 || dstEdgeStep < 1) return zylStatusBadStep;
    if (roiSize.width < 1 || roiSize.height < 1) return zylStatusBadSize;
    if (srcDxStep % 2 != 0 || srcDyStep % 2 != 0) return zylStatusStepNotAligned;
    // Written as negated comparisons so that a NaN threshold fails them.
    if (!(lowThresh >= 0.0f) || !(highThresh >= lowThresh)) return zylStatusBadArg;
    kernels::canny(pSrcDx, srcDxStep, pSrcDy, srcDyStep, pDstEdges, dstEdgeStep, roiSize.width,
                   roiSize.height, int_threshold(lowThresh), int_threshold(highThresh), pBuffer);
    return zylStatusOk;
}
