// Channel copies between interleaved, one-channel and planar images. Low-level entry points:
// they validate nothing, the caller passes valid pointers, steps, sizes and channel.
#include "copy.h"

using namespace zylcv;

// The exported members, stamped by layout; C-channel plane lists are p0..p(C-1).
#define ZYLCV_PLANES_3(T) T p0, T p1, T p2
#define ZYLCV_PLANES_4(T) T p0, T p1, T p2, T p3
#define ZYLCV_PLANE_NAMES_3 p0, p1, p2
#define ZYLCV_PLANE_NAMES_4 p0, p1, p2, p3

#define ZYLCV_COPY_EXTRACT(NAME, T, C)                                                             \
    ZYLCV_API ZylStatus NAME(const T *pSrc, Zyl32s srcStep, T *pDst, Zyl32s dstStep, Zyl32s width, \
                             Zyl32s height, Zyl32s ch)                                             \
    {                                                                                              \
        kernels::extract<T, C>(pSrc, srcStep, pDst, dstStep, width, height, ch);                   \
        return zylStatusOk;                                                                        \
    }
#define ZYLCV_COPY_SPLIT(NAME, T, C)                                                               \
    ZYLCV_API ZylStatus NAME(const T *pSrc, Zyl32s srcStep, ZYLCV_PLANES_##C(T *), Zyl32s dstStep, \
                             Zyl32s width, Zyl32s height)                                          \
    {                                                                                              \
        T *const planes[C] = {ZYLCV_PLANE_NAMES_##C};                                              \
        kernels::split<T, C>(pSrc, srcStep, planes, dstStep, width, height);                       \
        return zylStatusOk;                                                                        \
    }
#define ZYLCV_COPY_MERGE(NAME, T, C)                                                               \
    ZYLCV_API ZylStatus NAME(ZYLCV_PLANES_##C(const T *), Zyl32s srcStep, T *pDst, Zyl32s dstStep, \
                             Zyl32s width, Zyl32s height)                                          \
    {                                                                                              \
        const T *const planes[C] = {ZYLCV_PLANE_NAMES_##C};                                        \
        kernels::merge<T, C>(planes, srcStep, pDst, dstStep, width, height);                       \
        return zylStatusOk;                                                                        \
    }

ZYLCV_COPY_EXTRACT(k4_zycvCopy_8u_C3CC1R, Zyl8u, 3)
ZYLCV_COPY_EXTRACT(k4_zycvCopy_8u_C4CC1R, Zyl8u, 4)
ZYLCV_COPY_EXTRACT(k4_zycvCopy_32f_C3CC1R, Zyl32f, 3)
ZYLCV_COPY_EXTRACT(k4_zycvCopy_32f_C4CC1R, Zyl32f, 4)

ZYLCV_COPY_SPLIT(k4_zycvCopy_8u_C3P3R, Zyl8u, 3)
ZYLCV_COPY_SPLIT(k4_zycvCopy_8u_C4P4R, Zyl8u, 4)
ZYLCV_COPY_SPLIT(k4_zycvCopy_32f_C3P3R, Zyl32f, 3)
ZYLCV_COPY_SPLIT(k4_zycvCopy_32f_C4P4R, Zyl32f, 4)

ZYLCV_COPY_MERGE(k4_zycvCopy_8u_P3C3R, Zyl8u, 3)
ZYLCV_COPY_MERGE(k4_zycvCopy_8u_P4C4R, Zyl8u, 4)
ZYLCV_COPY_MERGE(k4_zycvCopy_32f_P3C3R, Zyl32f, 3)
ZYLCV_COPY_MERGE(k4_zycvCopy_32f_P4C4R, Zyl32f, 4)
