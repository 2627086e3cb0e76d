// Block kernels of template matching: the sum of one run, and the sum of squared differences
// or of products of two runs of equal length. No argument is checked; a length of 0 or less
// reads nothing and gives 0.
#include "match.h"

using namespace zylcv;

ZYLCV_API Zyl32s zycvSumPixels_8u_C1(const Zyl8u *pSrc, Zyl32s len)
{
    return len > 0 ? kernels::sum_pixels(pSrc, len) : 0;
}
ZYLCV_API Zyl32s zycvSumPixels_8s_C1(const Zyl8s *pSrc, Zyl32s len)
{
    return len > 0 ? kernels::sum_pixels(pSrc, len) : 0;
}
ZYLCV_API Zyl64f zycvSumPixels_32f_C1(const Zyl32f *pSrc, Zyl32s len)
{
    return len > 0 ? kernels::sum_pixels(pSrc, len) : 0.0;
}
ZYLCV_API Zyl64s zycvCmpBlocksL2_8u_C1(const Zyl8u *pSrc1, const Zyl8u *pSrc2, Zyl32s len)
{
    return len > 0 ? kernels::cmp_blocks_l2(pSrc1, pSrc2, len) : 0;
}
ZYLCV_API Zyl64s zycvCmpBlocksL2_8s_C1(const Zyl8s *pSrc1, const Zyl8s *pSrc2, Zyl32s len)
{
    return len > 0 ? kernels::cmp_blocks_l2(pSrc1, pSrc2, len) : 0;
}
ZYLCV_API Zyl64f zycvCmpBlocksL2_32f_C1(const Zyl32f *pSrc1, const Zyl32f *pSrc2, Zyl32s len)
{
    return len > 0 ? kernels::cmp_blocks_l2(pSrc1, pSrc2, len) : 0.0;
}
ZYLCV_API Zyl64s zycvCrossCorr_8u_C1(const Zyl8u *pSrc1, const Zyl8u *pSrc2, Zyl32s len)
{
    return len > 0 ? kernels::cross_corr(pSrc1, pSrc2, len) : 0;
}
ZYLCV_API Zyl64s zycvCrossCorr_8s_C1(const Zyl8s *pSrc1, const Zyl8s *pSrc2, Zyl32s len)
{
    return len > 0 ? kernels::cross_corr(pSrc1, pSrc2, len) : 0;
}
ZYLCV_API Zyl64f zycvCrossCorr_32f_C1(const Zyl32f *pSrc1, const Zyl32f *pSrc2, Zyl32s len)
{
    return len > 0 ? kernels::cross_corr(pSrc1, pSrc2, len) : 0.0;
}
