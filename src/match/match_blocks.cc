// Block kernels of template matching: the sum of one run, and the sum of squared differences
// or of products of two runs of equal length. No argument is checked; a length of 0 or less
// reads nothing and gives 0.
#include "match.h"

using namespace zylcv;

#define ZYLCV_MATCH_BLOCKS(tag, T, Sum, Cmp)                                                       \
    ZYLCV_API Sum zycvSumPixels_##tag##_C1(const T *pSrc, Zyl32s len)                              \
    {                                                                                              \
        return len > 0 ? kernels::sum_pixels(pSrc, len) : Sum(0);                                  \
    }                                                                                              \
    ZYLCV_API Cmp zycvCmpBlocksL2_##tag##_C1(const T *pSrc1, const T *pSrc2, Zyl32s len)           \
    {                                                                                              \
        return len > 0 ? kernels::cmp_blocks_l2(pSrc1, pSrc2, len) : Cmp(0);                       \
    }                                                                                              \
    ZYLCV_API Cmp zycvCrossCorr_##tag##_C1(const T *pSrc1, const T *pSrc2, Zyl32s len)             \
    {                                                                                              \
        return len > 0 ? kernels::cross_corr(pSrc1, pSrc2, len) : Cmp(0);                          \
    }
ZYLCV_MATCH_BLOCKS(8u, Zyl8u, Zyl32s, Zyl64s)
ZYLCV_MATCH_BLOCKS(8s, Zyl8s, Zyl32s, Zyl64s)
ZYLCV_MATCH_BLOCKS(32f, Zyl32f, Zyl64f, Zyl64f)
#undef ZYLCV_MATCH_BLOCKS
