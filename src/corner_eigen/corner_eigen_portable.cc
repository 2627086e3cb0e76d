// Portable corner eigen-analysis kernels: one pixel per step through the helpers of eigen.h.
#include "corner_eigen.h"

namespace zylcv::portable {

using eigen::alias16s;
using eigen::alias32f;

// Per step one pixel, from the right end of each row to its left end: the 32-bit product of
// pixel x covers the 16-bit gradients of pixels 2x and 2x+1, which are already done.
void products_16s(void *xx, void *yy, Zyl32f *xy, int step, int width, int height)
{
    for (int y = 0; y < height; ++y) {
        const alias16s *dx = static_cast<const alias16s *>(xx);
        const alias16s *dy = static_cast<const alias16s *>(yy);
        alias32f *fxx = static_cast<alias32f *>(xx), *fyy = static_cast<alias32f *>(yy);
        alias32f *fxy = xy;
        for (int x = width - 1; x >= 0; --x) {
            float a, b, c;
            eigen::products_px(float(dx[x]), float(dy[x]), a, b, c);
            fxx[x] = a;
            fxy[x] = b;
            fyy[x] = c;
        }
        xx = advance(static_cast<char *>(xx), step);
        yy = advance(static_cast<char *>(yy), step);
        xy = advance(xy, step);
    }
}

// Per step one pixel; rows end at the width.
void products_32f(Zyl32f *xx, Zyl32f *yy, Zyl32f *xy, int step, int width, int height)
{
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) eigen::products_px(xx[x], yy[x], xx[x], xy[x], yy[x]);
        xx = advance(xx, step);
        yy = advance(yy, step);
        xy = advance(xy, step);
    }
}

// Per step one pixel, six floats out; rows end at the width.
void eigen_vals_vecs(const Zyl32f *sxx, const Zyl32f *sxy, const Zyl32f *syy, int srcStep,
                     Zyl32f *dst, int dstStep, int width, int height, Zyl32f scale)
{
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            eigen::vals_vecs_px(sxx[x], sxy[x], syy[x], scale, dst + 6 * x);
        sxx = advance(sxx, srcStep);
        sxy = advance(sxy, srcStep);
        syy = advance(syy, srcStep);
        dst = advance(dst, dstStep);
    }
}

// Per step one pixel; rows end at the width.
void min_eigen_val(const Zyl32f *sxx, const Zyl32f *sxy, const Zyl32f *syy, int srcStep,
                   Zyl32f *dst, int dstStep, int width, int height, Zyl32f scale)
{
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) dst[x] = eigen::min_eigen_px(sxx[x], sxy[x], syy[x], scale);
        sxx = advance(sxx, srcStep);
        sxy = advance(sxy, srcStep);
        syy = advance(syy, srcStep);
        dst = advance(dst, dstStep);
    }
}

}  // namespace zylcv::portable
