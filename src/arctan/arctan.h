// Fast arctangent kernels: the per-element helper every twin uses, and the twins' entries over
// their row operations. A call is one row of `length` elements.
#ifndef ZYLCV_ARCTAN_ARCTAN_H
#define ZYLCV_ARCTAN_ARCTAN_H

#include "core/internal.h"

namespace zylcv::arctan {

// Quadratic fit of atan(z) in degrees on 0 <= z <= 1, and the floor of the larger component.
constexpr float kAtanC2 = -15.8131895f;
constexpr float kAtanC1 = 61.0941963f;
constexpr float kAtanC0 = -0.140500411f;
constexpr float kAtanMinDen = 9.99999994e-09f;

// c - a with a's sign bit inverted, then added: the same bits as c - a, NaN payloads included.
inline float negate_add(float c, float a) { return c + from_bits(bits(a) ^ 0x80000000u); }

// One angle in degrees. The quotient is a direct single-precision division (a reciprocal
// estimate refined by Newton's step cannot be reproduced bit for bit outside the SIMD unit).
// The maximum and minimum are written in the operand order of the packed instructions (which
// return their second operand when either is NaN) so that a NaN in x or y gives a NaN angle.
inline float fast_atan_px(float y, float x)
{
    const float ax = clear_sign(x), ay = clear_sign(y);
    const float big = ax > ay ? ax : ay;
    const float m = kAtanMinDen > big ? kAtanMinDen : big;
    const float n = ay < ax ? ay : ax;
    const float z = n / m;
    const float p = (kAtanC2 * z + kAtanC1) * z + kAtanC0;
    float a = ax < ay ? negate_add(90.0f, p) : p;
    if (x < 0.0f) a = negate_add(180.0f, a);
    if (y < 0.0f) a = negate_add(360.0f, a);
    return a;
}

// The portable twin's row operation: one element per step.
struct ScalarRows {
    static void row(const Zyl32f *y, const Zyl32f *x, Zyl32f *dst, int length)
    {
        for (int i = 0; i < length; ++i) dst[i] = fast_atan_px(y[i], x[i]);
    }
};

}  // namespace zylcv::arctan

namespace zylcv {
ZYLCV_DECLARE_TWINS_AVX2(void fast_arctan(const Zyl32f *y, const Zyl32f *x, Zyl32f *dst,
                                          int length);)
}  // namespace zylcv

// The entry of a twin, over its row operations `Rows`.
#define ZYLCV_ARCTAN_ENTRIES                                                                       \
    void fast_arctan(const Zyl32f *y, const Zyl32f *x, Zyl32f *dst, int length)                    \
    {                                                                                              \
        Rows::row(y, x, dst, length);                                                              \
    }

#endif
