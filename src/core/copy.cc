// Channel copies between interleaved, one-channel and planar images. Low-level entry points:
// they validate nothing, the caller passes valid pointers, steps, sizes and channel.
#include "copy.h"

using namespace zylcv;

ZYLCV_API ZylStatus k4_zycvCopy_8u_C3CC1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl8u *pDst,
                                         Zyl32s dstStep, Zyl32s width, Zyl32s height, Zyl32s ch)
{
    kernels::extract<Zyl8u, 3>(pSrc, srcStep, pDst, dstStep, width, height, ch);
    return zylStatusOk;
}

ZYLCV_API ZylStatus k4_zycvCopy_8u_C4CC1R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl8u *pDst,
                                         Zyl32s dstStep, Zyl32s width, Zyl32s height, Zyl32s ch)
{
    kernels::extract<Zyl8u, 4>(pSrc, srcStep, pDst, dstStep, width, height, ch);
    return zylStatusOk;
}

ZYLCV_API ZylStatus k4_zycvCopy_32f_C3CC1R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst,
                                          Zyl32s dstStep, Zyl32s width, Zyl32s height, Zyl32s ch)
{
    kernels::extract<Zyl32f, 3>(pSrc, srcStep, pDst, dstStep, width, height, ch);
    return zylStatusOk;
}

ZYLCV_API ZylStatus k4_zycvCopy_32f_C4CC1R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst,
                                          Zyl32s dstStep, Zyl32s width, Zyl32s height, Zyl32s ch)
{
    kernels::extract<Zyl32f, 4>(pSrc, srcStep, pDst, dstStep, width, height, ch);
    return zylStatusOk;
}

ZYLCV_API ZylStatus k4_zycvCopy_8u_C3P3R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl8u *pDst0,
                                        Zyl8u *pDst1, Zyl8u *pDst2, Zyl32s dstStep, Zyl32s width,
                                        Zyl32s height)
{
    Zyl8u *const planes[3] = {pDst0, pDst1, pDst2};
    kernels::split<Zyl8u, 3>(pSrc, srcStep, planes, dstStep, width, height);
    return zylStatusOk;
}

ZYLCV_API ZylStatus k4_zycvCopy_8u_C4P4R(const Zyl8u *pSrc, Zyl32s srcStep, Zyl8u *pDst0,
                                        Zyl8u *pDst1, Zyl8u *pDst2, Zyl8u *pDst3, Zyl32s dstStep,
                                        Zyl32s width, Zyl32s height)
{
    Zyl8u *const planes[4] = {pDst0, pDst1, pDst2, pDst3};
    kernels::split<Zyl8u, 4>(pSrc, srcStep, planes, dstStep, width, height);
    return zylStatusOk;
}

ZYLCV_API ZylStatus k4_zycvCopy_32f_C3P3R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst0,
                                         Zyl32f *pDst1, Zyl32f *pDst2, Zyl32s dstStep,
                                         Zyl32s width, Zyl32s height)
{
    Zyl32f *const planes[3] = {pDst0, pDst1, pDst2};
    kernels::split<Zyl32f, 3>(pSrc, srcStep, planes, dstStep, width, height);
    return zylStatusOk;
}

ZYLCV_API ZylStatus k4_zycvCopy_32f_C4P4R(const Zyl32f *pSrc, Zyl32s srcStep, Zyl32f *pDst0,
                                         Zyl32f *pDst1, Zyl32f *pDst2, Zyl32f *pDst3,
                                         Zyl32s dstStep, Zyl32s width, Zyl32s height)
{
    Zyl32f *const planes[4] = {pDst0, pDst1, pDst2, pDst3};
    kernels::split<Zyl32f, 4>(pSrc, srcStep, planes, dstStep, width, height);
    return zylStatusOk;
}

ZYLCV_API ZylStatus k4_zycvCopy_8u_P3C3R(const Zyl8u *pSrc0, const Zyl8u *pSrc1,
                                        const Zyl8u *pSrc2, Zyl32s srcStep, Zyl8u *pDst,
                                        Zyl32s dstStep, Zyl32s width, Zyl32s height)
{
    const Zyl8u *const planes[3] = {pSrc0, pSrc1, pSrc2};
    kernels::merge<Zyl8u, 3>(planes, srcStep, pDst, dstStep, width, height);
    return zylStatusOk;
}

ZYLCV_API ZylStatus k4_zycvCopy_8u_P4C4R(const Zyl8u *pSrc0, const Zyl8u *pSrc1,
                                        const Zyl8u *pSrc2, const Zyl8u *pSrc3, Zyl32s srcStep,
                                        Zyl8u *pDst, Zyl32s dstStep, Zyl32s width, Zyl32s height)
{
    const Zyl8u *const planes[4] = {pSrc0, pSrc1, pSrc2, pSrc3};
    kernels::merge<Zyl8u, 4>(planes, srcStep, pDst, dstStep, width, height);
    return zylStatusOk;
}

ZYLCV_API ZylStatus k4_zycvCopy_32f_P3C3R(const Zyl32f *pSrc0, const Zyl32f *pSrc1,
                                         const Zyl32f *pSrc2, Zyl32s srcStep, Zyl32f *pDst,
                                         Zyl32s dstStep, Zyl32s width, Zyl32s height)
{
    const Zyl32f *const planes[3] = {pSrc0, pSrc1, pSrc2};
    kernels::merge<Zyl32f, 3>(planes, srcStep, pDst, dstStep, width, height);
    return zylStatusOk;
}

ZYLCV_API ZylStatus k4_zycvCopy_32f_P4C4R(const Zyl32f *pSrc0, const Zyl32f *pSrc1,
                                         const Zyl32f *pSrc2, const Zyl32f *pSrc3, Zyl32s srcStep,
                                         Zyl32f *pDst, Zyl32s dstStep, Zyl32s width, Zyl32s height)
{
    const Zyl32f *const planes[4] = {pSrc0, pSrc1, pSrc2, pSrc3};
    kernels::merge<Zyl32f, 4>(planes, srcStep, pDst, dstStep, width, height);
    return zylStatusOk;
}
