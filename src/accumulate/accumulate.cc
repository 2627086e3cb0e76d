// Running accumulators into a 32f image, in place: sums, sums of squares, sums of products and
// weighted running averages, each with and without a mask.
#include <climits>

#include "accumulate.h"

using namespace zylcv;

namespace {

// One image of a call: pointer, step, and element size (1 for 8-bit images and masks, 4 for 32f).
struct Plane {
    const void *p;
    int step;
    int elem;
};

// Pointers first, then a negative width or height, then every step: at least one row long, and
// a multiple of 4 for 32f images. Every step fault is a size fault in this family.
ZylStatus check(const Plane *planes, int n, ZyliSize roi)
{
    for (int i = 0; i < n; ++i)
        if (!planes[i].p) return zylStatusNullPtr;
    if (roi.width < 0 || roi.height < 0) return zylStatusBadSize;
    for (int i = 0; i < n; ++i) {
        long long row = static_cast<long long>(roi.width) * planes[i].elem;
        if (planes[i].step < row || (planes[i].elem == 4 && planes[i].step % 4 != 0))
            return zylStatusBadSize;
    }
    return zylStatusOk;
}

// Validates, merges one-row or contiguous images into a single row, returns early on an empty
// image, and runs the kernel. `b` takes part in Product only, the mask in the masked forms.
template <AccumOp K, bool Masked, class T>
ZylStatus accumulate(const T *a, int aStep, const T *b, int bStep, const Zyl8u *m, int mStep,
                     Zyl32f *d, int dStep, ZyliSize roi, Zyl32f alpha = 0.0f)
{
    constexpr int e = sizeof(T);
    Plane planes[4];
    int n = 0;
    planes[n++] = {a, aStep, e};
    if (K == AccumOp::Product) planes[n++] = {b, bStep, e};
    if (Masked) planes[n++] = {m, mStep, 1};
    planes[n++] = {d, dStep, 4};
    ZylStatus st = check(planes, n, roi);
    if (st != zylStatusOk) return st;

    int w = roi.width, h = roi.height;
    bool contiguous = true;
    for (int i = 0; i < n; ++i)
        contiguous = contiguous && planes[i].step == static_cast<long long>(w) * planes[i].elem;
    if ((h == 1 || contiguous) && static_cast<long long>(w) * h <= INT_MAX) {
        w *= h;
        h = 1;
    }
    if (w == 0 || h == 0) return zylStatusOk;
    kernels::accumulate<K>(a, aStep, K == AccumOp::Product ? b : nullptr, bStep,
                           Masked ? m : nullptr, mStep, d, dStep, w, h, alpha);
    return zylStatusOk;
}

}  // namespace

// The exported members, stamped by argument shape: one source (Add, AddSquare), two sources
// (AddProduct), one source and a weight (AddWeighted); each unmasked and masked.
#define ZYLCV_ACCUM_ONE(NAME, K, T)                                                              \
    ZYLCV_API ZylStatus NAME(const T *pSrc, Zyl32s srcStep, Zyl32f *pSrcDst, Zyl32s srcDstStep,  \
                            ZyliSize roiSize)                                                   \
    {                                                                                           \
        return accumulate<K, false, T>(pSrc, srcStep, nullptr, 0, nullptr, 0, pSrcDst,          \
                                       srcDstStep, roiSize);                                    \
    }
#define ZYLCV_ACCUM_ONE_M(NAME, K, T)                                                            \
    ZYLCV_API ZylStatus NAME(const T *pSrc, Zyl32s srcStep, const Zyl8u *pMask, Zyl32s maskStep, \
                            Zyl32f *pSrcDst, Zyl32s srcDstStep, ZyliSize roiSize)               \
    {                                                                                           \
        return accumulate<K, true, T>(pSrc, srcStep, nullptr, 0, pMask, maskStep, pSrcDst,      \
                                      srcDstStep, roiSize);                                     \
    }
#define ZYLCV_ACCUM_TWO(NAME, T)                                                                 \
    ZYLCV_API ZylStatus NAME(const T *pSrc1, Zyl32s src1Step, const T *pSrc2, Zyl32s src2Step,   \
                            Zyl32f *pSrcDst, Zyl32s srcDstStep, ZyliSize roiSize)               \
    {                                                                                           \
        return accumulate<AccumOp::Product, false, T>(pSrc1, src1Step, pSrc2, src2Step,         \
                                                      nullptr, 0, pSrcDst, srcDstStep,          \
                                                      roiSize);                                 \
    }
#define ZYLCV_ACCUM_TWO_M(NAME, T)                                                               \
    ZYLCV_API ZylStatus NAME(const T *pSrc1, Zyl32s src1Step, const T *pSrc2, Zyl32s src2Step,   \
                            const Zyl8u *pMask, Zyl32s maskStep, Zyl32f *pSrcDst,               \
                            Zyl32s srcDstStep, ZyliSize roiSize)                                \
    {                                                                                           \
        return accumulate<AccumOp::Product, true, T>(pSrc1, src1Step, pSrc2, src2Step, pMask,   \
                                                     maskStep, pSrcDst, srcDstStep, roiSize);   \
    }
#define ZYLCV_ACCUM_WEIGHTED(NAME, T)                                                            \
    ZYLCV_API ZylStatus NAME(const T *pSrc, Zyl32s srcStep, Zyl32f *pSrcDst, Zyl32s srcDstStep,  \
                            ZyliSize roiSize, Zyl32f alpha)                                     \
    {                                                                                           \
        return accumulate<AccumOp::Weighted, false, T>(pSrc, srcStep, nullptr, 0, nullptr, 0,   \
                                                       pSrcDst, srcDstStep, roiSize, alpha);    \
    }
#define ZYLCV_ACCUM_WEIGHTED_M(NAME, T)                                                          \
    ZYLCV_API ZylStatus NAME(const T *pSrc, Zyl32s srcStep, const Zyl8u *pMask, Zyl32s maskStep, \
                            Zyl32f *pSrcDst, Zyl32s srcDstStep, ZyliSize roiSize, Zyl32f alpha) \
    {                                                                                           \
        return accumulate<AccumOp::Weighted, true, T>(pSrc, srcStep, nullptr, 0, pMask,        \
                                                      maskStep, pSrcDst, srcDstStep, roiSize,   \
                                                      alpha);                                   \
    }

ZYLCV_ACCUM_ONE(zyliAdd_8u32f_C1IR, AccumOp::Add, Zyl8u)
ZYLCV_ACCUM_ONE(zyliAdd_8s32f_C1IR, AccumOp::Add, Zyl8s)
ZYLCV_ACCUM_ONE_M(zyliAdd_8u32f_C1IMR, AccumOp::Add, Zyl8u)
ZYLCV_ACCUM_ONE_M(zyliAdd_8s32f_C1IMR, AccumOp::Add, Zyl8s)
ZYLCV_ACCUM_ONE_M(zyliAdd_32f_C1IMR, AccumOp::Add, Zyl32f)

ZYLCV_ACCUM_ONE(zyliAddSquare_8u32f_C1IR, AccumOp::Square, Zyl8u)
ZYLCV_ACCUM_ONE(zyliAddSquare_8s32f_C1IR, AccumOp::Square, Zyl8s)
ZYLCV_ACCUM_ONE(zyliAddSquare_32f_C1IR, AccumOp::Square, Zyl32f)
ZYLCV_ACCUM_ONE_M(zyliAddSquare_8u32f_C1IMR, AccumOp::Square, Zyl8u)
ZYLCV_ACCUM_ONE_M(zyliAddSquare_8s32f_C1IMR, AccumOp::Square, Zyl8s)
ZYLCV_ACCUM_ONE_M(zyliAddSquare_32f_C1IMR, AccumOp::Square, Zyl32f)

ZYLCV_ACCUM_TWO(zyliAddProduct_8u32f_C1IR, Zyl8u)
ZYLCV_ACCUM_TWO(zyliAddProduct_8s32f_C1IR, Zyl8s)
ZYLCV_ACCUM_TWO(zyliAddProduct_32f_C1IR, Zyl32f)
ZYLCV_ACCUM_TWO_M(zyliAddProduct_8u32f_C1IMR, Zyl8u)
ZYLCV_ACCUM_TWO_M(zyliAddProduct_8s32f_C1IMR, Zyl8s)
ZYLCV_ACCUM_TWO_M(zyliAddProduct_32f_C1IMR, Zyl32f)

ZYLCV_ACCUM_WEIGHTED(zyliAddWeighted_8u32f_C1IR, Zyl8u)
ZYLCV_ACCUM_WEIGHTED(zyliAddWeighted_8s32f_C1IR, Zyl8s)
ZYLCV_ACCUM_WEIGHTED(zyliAddWeighted_32f_C1IR, Zyl32f)
ZYLCV_ACCUM_WEIGHTED_M(zyliAddWeighted_8u32f_C1IMR, Zyl8u)
ZYLCV_ACCUM_WEIGHTED_M(zyliAddWeighted_8s32f_C1IMR, Zyl8s)
ZYLCV_ACCUM_WEIGHTED_M(zyliAddWeighted_32f_C1IMR, Zyl32f)
