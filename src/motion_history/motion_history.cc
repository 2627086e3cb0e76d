// Motion-history update: silhouette pixels take the timestamp, entries older than the duration
// are cleared.
#include <climits>

#include "motion_history.h"

using namespace zylcv;

// Pointers, then size and steps together (at least one row, history steps multiples of 4), then
// the duration; one-row or contiguous images run as a single row; an empty image does nothing.
ZYLCV_API ZylStatus zyliUpdateMotionHistory_8u32f_C1IR(const Zyl8u *pSrc, Zyl32s srcStep,
                                                       Zyl32f *pSrcDst, Zyl32s srcDstStep,
                                                       ZyliSize roiSize, Zyl32f timestamp,
                                                       Zyl32f mhiDuration)
{
    if (!pSrc || !pSrcDst) return zylStatusNullPtr;
    const int w0 = roiSize.width, h0 = roiSize.height;
    if (h0 < 0 || w0 < 0 || srcStep < w0 || srcDstStep < 4LL * w0 || srcDstStep % 4 != 0)
        return zylStatusBadSize;
    if (!(mhiDuration >= 0.0f)) return zylStatusOutOfRange;  // negative or NaN

    int w = w0, h = h0;
    const bool contiguous = srcStep == w0 && srcDstStep == 4LL * w0;
    if ((h == 1 || contiguous) && static_cast<long long>(w) * h <= INT_MAX) {
        w *= h;
        h = 1;
    }
    if (w == 0 || h == 0) return zylStatusOk;
    const float limit = timestamp - mhiDuration;
    kernels::update_motion_history(pSrc, srcStep, pSrcDst, srcDstStep, w, h, bits(timestamp),
                                   bits(limit));
    return zylStatusOk;
}
