// Chamfer distance transforms with 3x3 and 5x5 step costs, and the standard cost sets.
#include "distance_transform.h"

using namespace zylcv;

namespace {

// A cost in units of 2^-18: m * 2^18 (exact, a power of two) rounded to the nearest integer,
// ties to even. Below 2^23 adding and taking away 2^23 rounds away the fraction in the
// default rounding mode; larger magnitudes are integers already. Costs beyond the 32-bit
// range (or NaN) come out as the hardware's integer indefinite, 0x80000000.
std::int32_t fixed_cost(float m)
{
    const float f = m * 262144.0f;
    if (!(f >= -2147483648.0f && f < 2147483648.0f)) return INT32_MIN;
    float a = clear_sign(f);
    if (a < 8388608.0f) a = (a + 8388608.0f) - 8388608.0f;
    const auto i = static_cast<std::int64_t>(a);
    return static_cast<std::int32_t>(f < 0.0f ? -i : i);
}

// Pointers; then sizes and steps together (this family reports step faults as size faults);
// an empty image is a successful call that touches nothing.
ZylStatus check(const Zyl8u *pSrc, int srcStep, const Zyl32f *pDst, int dstStep, ZyliSize roi,
                const Zyl32f *pMetrics)
{
    if (!pSrc || !pDst || !pMetrics) return zylStatusNullPtr;
    if (roi.width < 0 || roi.height < 0 || srcStep < roi.width ||
        std::int64_t(dstStep) < 4 * std::int64_t(roi.width) || dstStep % 4 != 0)
        return zylStatusBadSize;
    return zylStatusOk;
}

// The N x N transform (N = 3 or 5): the 3x3 one takes no knight-move cost and checks where its
// backward pass ended.
template <int N>
ZylStatus transform(const Zyl8u *pSrc, int srcStep, Zyl32f *pDst, int dstStep, ZyliSize roi,
                    const Zyl32f *pMetrics)
{
    ZylStatus st = check(pSrc, srcStep, pDst, dstStep, roi, pMetrics);
    if (st != zylStatusOk || roi.width == 0 || roi.height == 0) return st;
    const distance_transform::Costs costs{fixed_cost(pMetrics[0]), fixed_cost(pMetrics[1]),
                                          N == 5 ? fixed_cost(pMetrics[2]) : 0};
    int *idist = kernels::chamfer<N>(pSrc, srcStep, pDst, dstStep, roi.width, roi.height, costs);
    if constexpr (N == 3) distance_transform::check_backward_end(idist, pDst);
    return zylStatusOk;
}

}  // namespace

ZYLCV_API ZylStatus zyliDistanceTransform_3x3_8u32f_C1R(const Zyl8u *pSrc, Zyl32s srcStep,
                                                        Zyl32f *pDst, Zyl32s dstStep,
                                                        ZyliSize roiSize, const Zyl32f *pMetrics)
{
    return transform<3>(pSrc, srcStep, pDst, dstStep, roiSize, pMetrics);
}
ZYLCV_API ZylStatus zyliDistanceTransform_5x5_8u32f_C1R(const Zyl8u *pSrc, Zyl32s srcStep,
                                                        Zyl32f *pDst, Zyl32s dstStep,
                                                        ZyliSize roiSize, const Zyl32f *pMetrics)
{
    return transform<5>(pSrc, srcStep, pDst, dstStep, roiSize, pMetrics);
}

ZYLCV_API ZylStatus zyliGetDistanceTransformMask(Zyl32s kind, Zyl32f *pMetrics)
{
    if (!pMetrics) return zylStatusNullPtr;
    switch (kind) {
    case 30:
        pMetrics[0] = 1.0f, pMetrics[1] = 1.0f;
        break;  // chessboard
    case 31:
        pMetrics[0] = 1.0f, pMetrics[1] = 2.0f;
        break;  // city block
    case 32:
        pMetrics[0] = 0.955f, pMetrics[1] = 1.3693f;
        break;  // Euclidean, 3x3
    case 52:
        pMetrics[0] = 1.0f, pMetrics[1] = 1.4f, pMetrics[2] = 2.1969f;
        break;  // Euclidean, 5x5
    default:
        return zylStatusOutOfRange;
    }
    return zylStatusOk;
}
