// Fast four-quadrant arctangent of two float arrays, in degrees.
#include "arctan.h"

using namespace zylcv;

ZYLCV_API ZylStatus zylibFastArctan_32f(const Zyl32f *pSrcY, const Zyl32f *pSrcX, Zyl32f *pDst,
                                        Zyl32s length)
{
    if (!pSrcY) return zylStatusNullPtr;
    if (!pSrcX || !pDst) return zylStatusNullPtr;
    if (length < 0) return zylStatusBadSize;
    kernels::fast_arctan(pSrcY, pSrcX, pDst, length);
    return zylStatusOk;
}
