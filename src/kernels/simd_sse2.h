// SSE2 lane helpers shared by the packed twins.
#ifndef ZYLCV_KERNELS_SIMD_SSE2_H
#define ZYLCV_KERNELS_SIMD_SSE2_H

#include <emmintrin.h>

namespace zylcv {

// Packed float add with the operand order pinned (addps is not commutative for NaNs: of two NaN
// lanes the first operand's is kept), so that every lane gives what ordered_add gives.
inline __m128 add_ordered(__m128 a, __m128 b)
{
    asm("addps %1, %0" : "+x"(a) : "x"(b));
    return a;
}

}  // namespace zylcv

#endif
