// Portable Canny kernel: magnitudes one pixel per step, each row suppressed as soon as the row
// below it has its magnitudes, then the shared hysteresis and the edge map.
#include "canny.h"

namespace zylcv::portable {
namespace {

// Per step: one pixel of image row `dx`/`dy` into map row `mapRow`; the entries of columns from
// the width on are zeroed.
void magnitude_row(const Zyl16s *dx, const Zyl16s *dy, Zyl16s *mapRow, int width, int stride,
                   int low)
{
    for (int x = 0; x < width; ++x) mapRow[x + 1] = canny_magnitude(dx[x], dy[x], low);
    canny_zero_entries(mapRow, width, stride);
}

}  // namespace

void canny(const Zyl16s *dx, int dxStep, const Zyl16s *dy, int dyStep, Zyl8u *dst, int dstStep,
           int width, int height, int low, int high, Zyl8u *buffer)
{
    const CannyLayout L = canny_layout(buffer, width, height);
    const int stride = L.stride;
    canny_zero_entries(L.map, 0, stride);
    magnitude_row(dx, dy, L.map + stride, width, stride, low);
    int seeds = 0;
    for (int y = 0; y < height; ++y) {
        Zyl16s *below = L.map + std::ptrdiff_t(y + 2) * stride;
        if (y + 1 < height)
            magnitude_row(advance(dx, std::ptrdiff_t(y + 1) * dxStep),
                          advance(dy, std::ptrdiff_t(y + 1) * dyStep), below, width, stride, low);
        else canny_zero_entries(below, 0, stride);
        seeds = canny_suppress_span(L.map, stride, advance(dx, std::ptrdiff_t(y) * dxStep),
                                    advance(dy, std::ptrdiff_t(y) * dyStep), y, 0, width, high,
                                    L.stack, seeds);
    }
    canny_hysteresis(L.map, stride, L.stack, seeds);
    for (int y = 0; y < height; ++y)
        canny_output_span(L.map + std::ptrdiff_t(y + 1) * stride + 1,
                          advance(dst, std::ptrdiff_t(y) * dstStep), 0, width);
}

}  // namespace zylcv::portable
