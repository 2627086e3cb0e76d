// Corner eigen-analysis kernels: the gradient products, formed in place in the work buffer, and
// the per-pixel eigen computation over the three block sums. The per-pixel helpers below are the
// portable twin's whole arithmetic and the SSE2 twin's row tails, so both give the same bits.
#ifndef ZYLCV_KERNELS_EIGEN_H
#define ZYLCV_KERNELS_EIGEN_H

#include "core/internal.h"

namespace zylcv::eigen {

// The work buffer holds 16-bit gradients and then, at the same addresses, 32-bit products: rows
// are accessed through these types so that neither access is assumed independent of the other.
typedef Zyl16s __attribute__((may_alias)) alias16s;
typedef Zyl32f __attribute__((may_alias)) alias32f;

// Lane rules of the packed minimum and maximum: the second operand when either is NaN.
inline float min_lane(float a, float b) { return a < b ? a : b; }
inline float max_lane(float a, float b) { return a > b ? a : b; }

// Threshold factor, and 1/n for a null vector length n: the reciprocal of the float epsilon.
constexpr float kThreshold = 0.01f;
constexpr float kInvEpsilon = 1.0f / 1.1920929e-07f;

// Operations on two values that may both be NaN, with the result fixed whatever operand order
// the compiler gives the instruction: where the first operand is a NaN the second is replaced by
// +0.0, so that at most one operand is a NaN and the result is the first NaN operand, quieted
// (or the default NaN of an invalid operation).
inline float unless_nan(float a, float b) { return a != a ? 0.0f : b; }
inline float add1(float a, float b) { return a + unless_nan(a, b); }
inline float sub1(float a, float b) { return a - unless_nan(a, b); }
inline float mul1(float a, float b) { return a * unless_nan(a, b); }

// One pixel's products of its two gradients.
inline void products_px(float dx, float dy, float &xx, float &xy, float &yy)
{
    xx = dx * dx;
    xy = mul1(dx, dy);
    yy = dy * dy;
}

// Eigenvalues and unit eigenvectors of the scaled block sums [a b; b c], a = sxx*s, b = sxy*s,
// c = syy*s, written as l1, l2, x1, y1, x2, y2. Weak or one-dimensional structure (the smaller
// diagonal term, or the determinant, below t = 0.01*max(a, c)) gives six zeros; an off-diagonal
// term below t takes the matrix as diagonal.
inline void vals_vecs_px(float sxx, float sxy, float syy, float s, Zyl32f *out)
{
    const float a = sxx * s, b = sxy * s, c = syy * s;
    const float t = kThreshold * max_lane(a, c);
    if (min_lane(a, c) < t) {
        for (int i = 0; i < 6; ++i) out[i] = 0.0f;
        return;
    }
    if (clear_sign(b) < t) {
        out[0] = a;
        out[1] = c;
        out[2] = 1.0f;
        out[3] = 0.0f;
        out[4] = 0.0f;
        out[5] = 1.0f;
        return;
    }
    const float d = sub1(mul1(a, c), b * b);
    if (d < t) {
        for (int i = 0; i < 6; ++i) out[i] = 0.0f;
        return;
    }
    const float apc = add1(a, c);
    const float r = __builtin_sqrtf(sub1(apc * apc, 4.0f * d));
    const float l[2] = {add1(apc, r) * 0.5f, sub1(apc, r) * 0.5f};
    out[0] = l[0];
    out[1] = l[1];
    for (int i = 0; i < 2; ++i) {
        const float u = sub1(l[i], a);
        const float n = __builtin_sqrtf(add1(u * u, b * b));
        const float inv = n == 0.0f ? kInvEpsilon : 1.0f / n;
        out[2 + 2 * i] = mul1(b, inv);
        out[3 + 2 * i] = mul1(u, inv);
    }
}

// The smaller eigenvalue of the scaled block sums: (p + q - sqrt(sxy^2 + (p - q)^2)) * s with
// p = sxx/2, q = syy/2.
inline float min_eigen_px(float sxx, float sxy, float syy, float s)
{
    const float p = 0.5f * sxx, q = 0.5f * syy;
    const float pq = sub1(p, q);
    return sub1(add1(p, q), __builtin_sqrtf(add1(sxy * sxy, pq * pq))) * s;
}

}  // namespace zylcv::eigen

namespace zylcv {

// products_16s: rows of 16-bit Dx and Dy, `step` bytes apart, become in place rows of the 32f
// products Dx*Dx and Dy*Dy; Dx*Dy goes to the rows of `xy`. Each row runs from its right end
// backwards, so no gradient is overwritten before it is read. products_32f: the same for 32f
// gradients. eigen_vals_vecs / min_eigen_val: per pixel of the block-sum rows sxx, sxy, syy
// (`srcStep` bytes apart), six floats or one into the destination rows.
#define ZYLCV_EIGEN_KERNELS                                                                        \
    void products_16s(void *xx, void *yy, Zyl32f *xy, int step, int width, int height);           \
    void products_32f(Zyl32f *xx, Zyl32f *yy, Zyl32f *xy, int step, int width, int height);       \
    void eigen_vals_vecs(const Zyl32f *sxx, const Zyl32f *sxy, const Zyl32f *syy, int srcStep,    \
                         Zyl32f *dst, int dstStep, int width, int height, Zyl32f scale);          \
    void min_eigen_val(const Zyl32f *sxx, const Zyl32f *sxy, const Zyl32f *syy, int srcStep,      \
                       Zyl32f *dst, int dstStep, int width, int height, Zyl32f scale);

namespace portable { ZYLCV_EIGEN_KERNELS }
#if ZYLCV_SIMD
namespace sse2 { ZYLCV_EIGEN_KERNELS }
#endif
#undef ZYLCV_EIGEN_KERNELS

}  // namespace zylcv

#endif
