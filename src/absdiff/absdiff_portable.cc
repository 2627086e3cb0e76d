// Portable absolute-difference kernels: one pixel per step through the shared helper.
#include "absdiff.h"

namespace zylcv::portable {
namespace {

// Per step: one pixel; the second operand is a row (T*) or a constant (T).
template <class T, class B>
void absdiff_rows(const T *src, int srcStep, B b, int bStep, T *dst, int dstStep, int width,
                  int height)
{
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if constexpr (std::is_pointer_v<B>) dst[x] = absdiff_px(src[x], b[x]);
            else dst[x] = absdiff_px(src[x], b);
        }
        src = advance(src, srcStep);
        if constexpr (std::is_pointer_v<B>) b = advance(b, bStep);
        dst = advance(dst, dstStep);
    }
}

}  // namespace

void absdiff(const Zyl8u *s1, int s1Step, const Zyl8u *s2, int s2Step, Zyl8u *d, int dStep, int w,
             int h)
{
    absdiff_rows(s1, s1Step, s2, s2Step, d, dStep, w, h);
}
void absdiff(const Zyl32f *s1, int s1Step, const Zyl32f *s2, int s2Step, Zyl32f *d, int dStep,
             int w, int h)
{
    absdiff_rows(s1, s1Step, s2, s2Step, d, dStep, w, h);
}
void absdiffc(const Zyl8u *s, int sStep, Zyl8u *d, int dStep, int w, int h, Zyl8u v)
{
    absdiff_rows(s, sStep, v, 0, d, dStep, w, h);
}
void absdiffc(const Zyl32f *s, int sStep, Zyl32f *d, int dStep, int w, int h, Zyl32f v)
{
    absdiff_rows(s, sStep, v, 0, d, dStep, w, h);
}

}  // namespace zylcv::portable
