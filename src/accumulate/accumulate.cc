// Running accumulators into a 32f image, in place: sums, sums of squares, sums of products and
// weighted running averages, each with and without a mask.
#include <climits>

#include "accumulate.h"

using namespace zylcv;
using accumulate::Op;

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
template <Op K, bool Masked, class T>
ZylStatus run(const T *a, int aStep, std::type_identity_t<const T *> b, int bStep, const Zyl8u *m,
              int mStep, Zyl32f *d, int dStep, ZyliSize roi, Zyl32f alpha = 0.0f)
{
    constexpr int e = sizeof(T);
    Plane planes[4];
    int n = 0;
    planes[n++] = {a, aStep, e};
    if (K == Op::Product) planes[n++] = {b, bStep, e};
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
    kernels::accumulate<K, Masked>(a, aStep, b, bStep, m, mStep, d, dStep, w, h, alpha);
    return zylStatusOk;
}

}  // namespace

// The exported members, stamped by argument shape: one source (Add, AddSquare), two sources
// (AddProduct), one source and a weight (AddWeighted); each unmasked and masked.
#define ZYLCV_ACCUMULATE_ONE(NAME, K, T)                                                           \
    ZYLCV_API ZylStatus NAME(const T *pSrc, Zyl32s srcStep, Zyl32f *pSrcDst, Zyl32s srcDstStep,    \
                             ZyliSize roiSize)                                                     \
    {                                                                                              \
        return run<K, false>(pSrc, srcStep, nullptr, 0, nullptr, 0, pSrcDst, srcDstStep, roiSize); \
    }
#define ZYLCV_ACCUMULATE_ONE_M(NAME, K, T)                                                         \
    ZYLCV_API ZylStatus NAME(const T *pSrc, Zyl32s srcStep, const Zyl8u *pMask, Zyl32s maskStep,   \
                             Zyl32f *pSrcDst, Zyl32s srcDstStep, ZyliSize roiSize)                 \
    {                                                                                              \
        return run<K, true>(pSrc, srcStep, nullptr, 0, pMask, maskStep, pSrcDst, srcDstStep,       \
                            roiSize);                                                              \
    }
#define ZYLCV_ACCUMULATE_TWO(NAME, T)                                                              \
    ZYLCV_API ZylStatus NAME(const T *pSrc1, Zyl32s src1Step, const T *pSrc2, Zyl32s src2Step,     \
                             Zyl32f *pSrcDst, Zyl32s srcDstStep, ZyliSize roiSize)                 \
    {                                                                                              \
        return run<Op::Product, false>(pSrc1, src1Step, pSrc2, src2Step, nullptr, 0, pSrcDst,      \
                                       srcDstStep, roiSize);                                       \
    }
#define ZYLCV_ACCUMULATE_TWO_M(NAME, T)                                                            \
    ZYLCV_API ZylStatus NAME(const T *pSrc1, Zyl32s src1Step, const T *pSrc2, Zyl32s src2Step,     \
                             const Zyl8u *pMask, Zyl32s maskStep, Zyl32f *pSrcDst,                 \
                             Zyl32s srcDstStep, ZyliSize roiSize)                                  \
    {                                                                                              \
        return run<Op::Product, true>(pSrc1, src1Step, pSrc2, src2Step, pMask, maskStep, pSrcDst,  \
                                      srcDstStep, roiSize);                                        \
    }
#define ZYLCV_ACCUMULATE_WEIGHTED(NAME, T)                                                         \
    ZYLCV_API ZylStatus NAME(const T *pSrc, Zyl32s srcStep, Zyl32f *pSrcDst, Zyl32s srcDstStep,    \
                             ZyliSize roiSize, Zyl32f alpha)                                       \
    {                                                                                              \
        return run<Op::Weighted, false>(pSrc, srcStep, nullptr, 0, nullptr, 0, pSrcDst,            \
                                        srcDstStep, roiSize, alpha);                               \
    }
#define ZYLCV_ACCUMULATE_WEIGHTED_M(NAME, T)                                                       \
    ZYLCV_API ZylStatus NAME(const T *pSrc, Zyl32s srcStep, const Zyl8u *pMask, Zyl32s maskStep,   \
                             Zyl32f *pSrcDst, Zyl32s srcDstStep, ZyliSize roiSize, Zyl32f alpha)   \
    {                                                                                              \
        return run<Op::Weighted, true>(pSrc, srcStep, nullptr, 0, pMask, maskStep, pSrcDst,        \
                                       srcDstStep, roiSize, alpha);                                \
    }

ZYLCV_ACCUMULATE_ONE(zyliAdd_8u32f_C1IR, Op::Add, Zyl8u)
ZYLCV_ACCUMULATE_ONE(zyliAdd_8s32f_C1IR, Op::Add, Zyl8s)
ZYLCV_ACCUMULATE_ONE_M(zyliAdd_8u32f_C1IMR, Op::Add, Zyl8u)
ZYLCV_ACCUMULATE_ONE_M(zyliAdd_8s32f_C1IMR, Op::Add, Zyl8s)
ZYLCV_ACCUMULATE_ONE_M(zyliAdd_32f_C1IMR, Op::Add, Zyl32f)

ZYLCV_ACCUMULATE_ONE(zyliAddSquare_8u32f_C1IR, Op::Square, Zyl8u)
ZYLCV_ACCUMULATE_ONE(zyliAddSquare_8s32f_C1IR, Op::Square, Zyl8s)
ZYLCV_ACCUMULATE_ONE(zyliAddSquare_32f_C1IR, Op::Square, Zyl32f)
ZYLCV_ACCUMULATE_ONE_M(zyliAddSquare_8u32f_C1IMR, Op::Square, Zyl8u)
ZYLCV_ACCUMULATE_ONE_M(zyliAddSquare_8s32f_C1IMR, Op::Square, Zyl8s)
ZYLCV_ACCUMULATE_ONE_M(zyliAddSquare_32f_C1IMR, Op::Square, Zyl32f)

ZYLCV_ACCUMULATE_TWO(zyliAddProduct_8u32f_C1IR, Zyl8u)
ZYLCV_ACCUMULATE_TWO(zyliAddProduct_8s32f_C1IR, Zyl8s)
ZYLCV_ACCUMULATE_TWO(zyliAddProduct_32f_C1IR, Zyl32f)
ZYLCV_ACCUMULATE_TWO_M(zyliAddProduct_8u32f_C1IMR, Zyl8u)
ZYLCV_ACCUMULATE_TWO_M(zyliAddProduct_8s32f_C1IMR, Zyl8s)
ZYLCV_ACCUMULATE_TWO_M(zyliAddProduct_32f_C1IMR, Zyl32f)

ZYLCV_ACCUMULATE_WEIGHTED(zyliAddWeighted_8u32f_C1IR, Zyl8u)
ZYLCV_ACCUMULATE_WEIGHTED(zyliAddWeighted_8s32f_C1IR, Zyl8s)
ZYLCV_ACCUMULATE_WEIGHTED(zyliAddWeighted_32f_C1IR, Zyl32f)
ZYLCV_ACCUMULATE_WEIGHTED_M(zyliAddWeighted_8u32f_C1IMR, Zyl8u)
ZYLCV_ACCUMULATE_WEIGHTED_M(zyliAddWeighted_8s32f_C1IMR, Zyl8s)
ZYLCV_ACCUMULATE_WEIGHTED_M(zyliAddWeighted_32f_C1IMR, Zyl32f)
