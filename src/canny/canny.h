// Canny edge kernels: the work-buffer layout, the per-pixel helpers shared by both twins
// (magnitude, suppression of one pixel, row ends), the hysteresis that both twins run as it is,
// and the twins' entries.
//
// The work buffer starts with the magnitude map: height + 2 rows of w4 + 1 entries (Zyl16s),
// w4 = (width + 4) & ~3. Entry 0 of a row is a zero border, pixel (x, y) is entry x + 1 of row
// y + 1, rows 0 and height + 1 and the entries of columns >= width are 0. A map entry is a
// magnitude still in play (> 0), 0 (at or below the low threshold, or border), -M for a
// magnitude M suppressed as a non-maximum, or kCannyAccepted (-32768, which no magnitude reaches:
// they never exceed 32767) for an accepted edge pixel, so that a suppressed magnitude of 1 stays
// apart from an edge when the low threshold is below 1. After the map comes
// the seed stack: 32-bit entry offsets from the map's first entry (offsets rather than
// addresses, so that the stack holds as many entries on x86_64 as on i386).
#ifndef ZYLCV_CANNY_CANNY_H
#define ZYLCV_CANNY_CANNY_H

#include "core/internal.h"

namespace zylcv::canny {

// Map mark of an accepted edge pixel.
inline constexpr Zyl16s kCannyAccepted = -32768;

// Map geometry and where the seed stack begins inside a caller buffer. The map starts at the
// first even address of the buffer and the stack at the first multiple of 4 after the map; the
// at most 4 bytes lost to that leave room to spare (see canny_hysteresis).
struct CannyLayout {
    Zyl16s *map;
    std::int32_t *stack;
    int stride;  // entries per map row: w4 + 1
};
inline CannyLayout canny_layout(Zyl8u *buffer, int width, int height)
{
    const int w4 = (width + 4) & ~3;
    const int stride = w4 + 1;
    auto at = reinterpret_cast<std::uintptr_t>(buffer);
    auto map = reinterpret_cast<Zyl16s *>((at + 1) & ~std::uintptr_t(1));
    auto end = reinterpret_cast<std::uintptr_t>(map + std::ptrdiff_t(height + 2) * stride);
    auto stack = reinterpret_cast<std::int32_t *>((end + 3) & ~std::uintptr_t(3));
    return {map, stack, stride};
}

// One pixel's magnitude: |dx| + |dy| (|-32768| counting as 32768) saturated at 32767, and 0
// when it does not exceed the low threshold.
inline Zyl16s canny_magnitude(int dx, int dy, int low)
{
    int m = (dx < 0 ? -dx : dx) + (dy < 0 ? -dy : dy);
    if (m > 32767) m = 32767;
    return static_cast<Zyl16s>(m > low ? m : 0);
}

// Map rows: entry 0 and the columns from `from` to w4 - 1 set to 0 (w4 = stride - 1).
inline void canny_zero_entries(Zyl16s *mapRow, int from, int stride)
{
    mapRow[0] = 0;
    for (int x = from + 1; x < stride; ++x) mapRow[x] = 0;
}

// Offset, in map entries, from a pixel to the first of the two neighbours it is compared with
// (the second lies at the opposite offset), chosen from its derivatives with exact 32-bit
// products: within about 22.5 degrees of vertical the pixels above and below, of horizontal
// left and right, else the diagonal across the gradient's direction.
inline std::ptrdiff_t canny_neighbour(int dx, int dy, int stride)
{
    const int ax = dx < 0 ? -dx : dx, ay = dy < 0 ? -dy : dy;
    if (4096 * ay >= 9889 * ax) return -stride;                      // up, down
    if (4096 * ay < 1697 * ax) return -1;                            // left, right
    if ((dx >= 0) == (dy >= 0)) return -std::ptrdiff_t(stride) - 1;  // up-left, down-right
    return -std::ptrdiff_t(stride) + 1;                              // up-right, down-left
}

inline int abs16(Zyl16s v) { return v < 0 ? -v : v; }

// Suppression of one pixel whose entry e points at: ties suppress (entry -M), a maximum keeps
// M. Neighbours above and to the left may already be suppressed, hence their absolute value;
// the others still hold their magnitude. Returns whether the pixel is a seed (kept, > high).
inline bool canny_suppress_px(Zyl16s *e, int dx, int dy, int stride, int high)
{
    const int m = *e;
    const std::ptrdiff_t o = canny_neighbour(dx, dy, stride);
    const int a = abs16(e[o]), b = abs16(e[-o]);
    const bool keep = m > (a > b ? a : b);
    *e = static_cast<Zyl16s>(keep ? m : -m);
    return keep & (m > high);
}

// Suppression of columns x0..width-1 of image row y, pushing seeds without branching: the
// offset is always stored and the top only advances for a seed (the slot past the top is
// always inside the stack, see canny_hysteresis).
inline int canny_suppress_span(Zyl16s *map, int stride, const Zyl16s *dx, const Zyl16s *dy, int y,
                               int x0, int width, int high, std::int32_t *stack, int top)
{
    const std::int32_t rowOff = (y + 1) * stride + 1;
    Zyl16s *row = map + rowOff;
    for (int x = x0; x < width; ++x) {
        if (row[x] == 0) continue;
        stack[top] = rowOff + x;
        top += canny_suppress_px(row + x, dx[x], dy[x], stride, high);
    }
    return top;
}

// Hysteresis from the seeds in stack[0 .. seeds): every unsuppressed pixel above the low
// threshold that is 8-connected through such pixels to a seed becomes kCannyAccepted.
//
// A pixel is marked accepted when it is pushed rather than when it is popped, so each pixel enters
// the work stack (above the seeds) at most once. The accepted set is the same as when pixels
// are pushed unmarked and accepted when first popped: in both forms a pixel is accepted only if
// it is a seed or an in-play neighbour (entry > 0, which after the magnitude pass means above
// the low threshold) of an accepted pixel, and every accepted pixel has all its in-play
// neighbours accepted before the stack runs empty. Both sets are therefore the union of the
// 8-connected components of in-play pixels that contain a seed; the order of pushes and pops
// changes nothing.
//
// Capacity: seeds <= width*height and the work stack holds at most width*height entries more,
// plus the one slot past the top written by the branch-free pushes, i.e. 2*width*height + 1
// entries, while the buffer leaves at least (12(w+2)(h+2) - (h+2)(2*w4 + 2) - 7) / 4 >=
// 2.5*w*h + 5w + 3.5h + 5 entries after the map (w4 <= w + 4; at most 4 bytes of alignment and 3
// of rounding down): no input can make the stack run past the buffer.
inline void canny_hysteresis(Zyl16s *map, int stride, std::int32_t *stack, int seeds)
{
    std::int32_t *work = stack + seeds;
    const std::ptrdiff_t s = stride;
    // up, up-left, up-right, right, down-right, down, down-left, left
    const std::ptrdiff_t nb[8] = {-s, -s - 1, -s + 1, 1, s + 1, s, s - 1, -1};
    for (int i = 0; i < seeds; ++i) {
        const std::int32_t seed = stack[i];
        if (map[seed] <= 0) continue;  // already reached from an earlier seed
        map[seed] = kCannyAccepted;
        work[0] = seed;
        int top = 1;
        while (top > 0) {
            const std::int32_t p = work[--top];
            for (std::ptrdiff_t o : nb) {
                const std::int32_t n = static_cast<std::int32_t>(p + o);
                const Zyl16s v = map[n];
                const bool push = v > 0;
                work[top] = n;
                top += push;
                map[n] = push ? kCannyAccepted : v;
            }
        }
    }
}

// Edge map of columns x0..width-1 of one row: 255 where the entry is accepted, else 0.
inline void canny_output_span(const Zyl16s *mapRow, Zyl8u *dst, int x0, int width)
{
    for (int x = x0; x < width; ++x) dst[x] = mapRow[x] == kCannyAccepted ? 255 : 0;
}

// Row operations every twin's Rows provides (the portable twin's are these):
//   magnitude_row(dx, dy, mapRow, width, stride, low): magnitudes of one image row into a map
//       row, the entries of columns from the width on zeroed;
//   suppress_row(map, stride, dx, dy, y, width, high, stack, top): suppression of image row y,
//       returning the new top of the seed stack;
//   output_row(mapRow, dst, width): the edge map of one row.
struct ScalarRows {
    static void magnitude_row(const Zyl16s *dx, const Zyl16s *dy, Zyl16s *mapRow, int width,
                              int stride, int low)
    {
        for (int x = 0; x < width; ++x) mapRow[x + 1] = canny_magnitude(dx[x], dy[x], low);
        canny_zero_entries(mapRow, width, stride);
    }
    static int suppress_row(Zyl16s *map, int stride, const Zyl16s *dx, const Zyl16s *dy, int y,
                            int width, int high, std::int32_t *stack, int top)
    {
        return canny_suppress_span(map, stride, dx, dy, y, 0, width, high, stack, top);
    }
    static void output_row(const Zyl16s *mapRow, Zyl8u *dst, int width)
    {
        canny_output_span(mapRow, dst, 0, width);
    }
};

// The whole detector over a twin's rows R: magnitudes, each row suppressed as soon as the row
// below it has its magnitudes, then the shared hysteresis and the edge map.
template <class R>
void run(const Zyl16s *dx, int dxStep, const Zyl16s *dy, int dyStep, Zyl8u *dst, int dstStep,
         int width, int height, int low, int high, Zyl8u *buffer)
{
    const CannyLayout L = canny_layout(buffer, width, height);
    const int stride = L.stride;
    canny_zero_entries(L.map, 0, stride);
    R::magnitude_row(dx, dy, L.map + stride, width, stride, low);
    int seeds = 0;
    for (int y = 0; y < height; ++y) {
        Zyl16s *below = L.map + std::ptrdiff_t(y + 2) * stride;
        if (y + 1 < height)
            R::magnitude_row(advance(dx, std::ptrdiff_t(y + 1) * dxStep),
                             advance(dy, std::ptrdiff_t(y + 1) * dyStep), below, width, stride,
                             low);
        else canny_zero_entries(below, 0, stride);
        seeds = R::suppress_row(L.map, stride, advance(dx, std::ptrdiff_t(y) * dxStep),
                                advance(dy, std::ptrdiff_t(y) * dyStep), y, width, high, L.stack,
                                seeds);
    }
    canny_hysteresis(L.map, stride, L.stack, seeds);
    for (int y = 0; y < height; ++y)
        R::output_row(L.map + std::ptrdiff_t(y + 1) * stride + 1,
                      advance(dst, std::ptrdiff_t(y) * dstStep), width);
}

}  // namespace zylcv::canny

namespace zylcv {

ZYLCV_DECLARE_TWINS_AVX2(void canny(const Zyl16s *dx, int dxStep, const Zyl16s *dy, int dyStep,
                                    Zyl8u *dst, int dstStep, int width, int height, int low,
                                    int high, Zyl8u *buffer);)

// A twin's entry over its row operations Rows (expanded inside the twin's namespace).
#define ZYLCV_CANNY_ENTRIES                                                                        \
    void canny(const Zyl16s *dx, int dxStep, const Zyl16s *dy, int dyStep, Zyl8u *dst,             \
               int dstStep, int width, int height, int low, int high, Zyl8u *buffer)               \
    {                                                                                              \
        canny::run<Rows>(dx, dxStep, dy, dyStep, dst, dstStep, width, height, low, high, buffer);  \
    }

}  // namespace zylcv

#endif
