// Portable distance-transform kernels: rows are initialised and converted 8 pixels per step and
// end pixel by pixel, through the same per-pixel helpers the SSE2 twin finishes its rows with.
#include "distance_transform.h"

namespace zylcv::portable {
namespace {

struct Rows {
    // Per step: 8 pixels of 0 or unreached; the row ends pixel by pixel.
    static void init(const Zyl8u *s, dt::IDist *d, int w)
    {
        int x = 0;
        for (; x + 8 <= w; x += 8)
            for (int k = 0; k < 8; ++k) dt::init_px(s, d, x + k);
        for (; x < w; ++x) dt::init_px(s, d, x);
    }
    // Per step: 8 integers to floats in place; the row ends pixel by pixel.
    static void convert(dt::IDist *d, int w)
    {
        int x = 0;
        for (; x + 8 <= w; x += 8)
            for (int k = 0; k < 8; ++k) dt::convert_px(d, x + k);
        for (; x < w; ++x) dt::convert_px(d, x);
    }
};

}  // namespace

std::int32_t *distance_transform_3x3(const Zyl8u *src, int srcStep, Zyl32f *dst, int dstStep,
                                     int w, int h, const dt::Costs &c)
{
    return dt::transform<3, Rows>(src, srcStep, dst, dstStep, w, h, c);
}
std::int32_t *distance_transform_5x5(const Zyl8u *src, int srcStep, Zyl32f *dst, int dstStep,
                                     int w, int h, const dt::Costs &c)
{
    return dt::transform<5, Rows>(src, srcStep, dst, dstStep, w, h, c);
}

}  // namespace zylcv::portable
