// Chamfer distance-transform kernels. The destination holds 32-bit integer distances with 18
// fraction bits while the two passes run in place over it; each row is initialised from the
// source just before the forward pass reaches it and converted to floats as soon as the backward
// pass no longer reads it, so the image is walked twice and no other memory is used. The passes
// are scalar and shared by every twin (each pixel depends on the one updated just before it);
// the twins differ only in how a row is initialised and converted (struct Rows in each twin's
// file).
#ifndef ZYLCV_DISTANCE_TRANSFORM_DISTANCE_TRANSFORM_H
#define ZYLCV_DISTANCE_TRANSFORM_DISTANCE_TRANSFORM_H

#include "core/internal.h"

namespace zylcv::distance_transform {

// Integer distances alias the float destination; may_alias keeps the compiler from reordering
// the integer and float accesses of the in-place conversion.
using IDist = std::int32_t __attribute__((may_alias));

// A background pixel starts here: far enough below 2^31 that adding one step cost cannot wrap.
constexpr std::int32_t kUnreached = 0x3FFFFFFF;
// 2^-18: one unit of the fixed-point distances.
constexpr float kUnit = 1.0f / 262144.0f;

// Step costs in units of 2^-18: axial, diagonal, knight move (5x5 only).
struct Costs {
    std::int32_t a, b, c;
};

// 32-bit sum as the hardware forms it (wrapping only for costs too large to be meaningful).
inline std::int32_t add(std::int32_t d, std::int32_t cost)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(d) +
                                     static_cast<std::uint32_t>(cost));
}
inline std::int32_t min(std::int32_t a, std::int32_t b) { return b < a ? b : a; }

// One pixel of initialisation: 0 for a zero source pixel, unreached otherwise.
inline void init_px(const Zyl8u *s, IDist *d, int x) { d[x] = s[x] ? kUnreached : 0; }

// One pixel of conversion: the integer rounded to the nearest float, scaled exactly by 2^-18.
inline void convert_px(IDist *d, int x)
{
    float f = static_cast<float>(d[x]) * kUnit;
    d[x] = std::bit_cast<std::int32_t>(f);
}

// Row operations one pixel at a time: the portable twin's rows, 8 pixels per step and the row's
// end pixel by pixel (the packed twins end their rows through the same per-pixel helpers).
struct ScalarRows {
    static void init(const Zyl8u *s, IDist *d, int w)
    {
        int x = 0;
        for (; x + 8 <= w; x += 8)
            for (int k = 0; k < 8; ++k) init_px(s, d, x + k);
        for (; x < w; ++x) init_px(s, d, x);
    }
    static void convert(IDist *d, int w)
    {
        int x = 0;
        for (; x + 8 <= w; x += 8)
            for (int k = 0; k < 8; ++k) convert_px(d, x + k);
        for (; x < w; ++x) convert_px(d, x);
    }
};

// A neighbour of the forward pass: column offset, row offset (rows already visited), cost.
// The backward pass uses the same list in mirrored coordinates (see pass_row).
struct Neighbour {
    int dx, dy, cost;  // cost: 0 = axial, 1 = diagonal, 2 = knight move
};
constexpr Neighbour kForward[8] = {{-1, 0, 0},  {-1, -1, 1}, {0, -1, 0},  {+1, -1, 1},
                                   {-2, -1, 2}, {+2, -1, 2}, {-1, -2, 2}, {+1, -2, 2}};
template <int N> constexpr int kNeighbours = N == 3 ? 4 : 8;
template <int N> constexpr int kReach = N / 2;

inline std::int32_t cost_of(const Costs &c, int k) { return k == 0 ? c.a : k == 1 ? c.b : c.c; }

// One row of a pass in pass coordinates: p runs 0..w-1 in visiting order and row i is the i-th
// row visited, so the forward and the mirrored backward neighbours are the same list. S is +1
// (forward: left to right, rows downwards) or -1 (backward); `cur`, `r1`, `r2` address pass
// column 0 of the current row and of the rows visited one and two rows before (null when they
// do not exist). Pixels whose neighbours might lie outside the ROI go through the checked
// candidate list; the others take every candidate unchecked.
template <int N, int S>
inline void pass_row(IDist *cur, const IDist *r1, const IDist *r2, int i, int w, const Costs &c)
{
    constexpr int R = kReach<N>;
    const std::int32_t A = c.a, B = c.b, C = c.c;
    auto checked = [&](int p) {
        std::int32_t v = cur[S * p];
        for (int k = 0; k < kNeighbours<N>; ++k) {
            const Neighbour n = kForward[k];
            const int q = p + n.dx;
            if (q < 0 || q >= w || i + n.dy < 0) continue;
            const IDist *r = n.dy == 0 ? cur : n.dy == -1 ? r1 : r2;
            v = min(v, add(r[S * q], cost_of(c, n.cost)));
        }
        cur[S * p] = v;
    };
    if (i < R || w <= 2 * R) {
        for (int p = 0; p < w; ++p) checked(p);
        return;
    }
    for (int p = 0; p < R; ++p) checked(p);
    // Interior: the updated left neighbour stays in a register; rows above are read as they come.
    std::int32_t left = cur[S * (R - 1)];
    const int end = w - R;
    for (int p = R; p < end; ++p) {
        const IDist *u = r1 + S * p;
        std::int32_t t = min(add(u[-S], B), add(u[0], A));
        t = min(t, add(u[S], B));
        if constexpr (N == 5) {
            const IDist *v2 = r2 + S * p;
            t = min(t, add(u[-2 * S], C));
            t = min(t, add(u[2 * S], C));
            t = min(t, add(v2[-S], C));
            t = min(t, add(v2[S], C));
        }
        std::int32_t v = min(cur[S * p], t);
        v = min(v, add(left, A));
        cur[S * p] = v;
        left = v;
    }
    for (int p = end; p < w; ++p) checked(p);
}

// The whole transform with the twin's row operations: Rows::init(src, dst, w) and
// Rows::convert(dst, w). Returns the destination row on which the backward pass ended.
template <int N, class Rows>
std::int32_t *transform(const Zyl8u *src, int srcStep, Zyl32f *dst, int dstStep, int w, int h,
                        const Costs &c)
{
    constexpr int R = kReach<N>;
    auto row = [&](int y) {
        return reinterpret_cast<IDist *>(advance(dst, std::ptrdiff_t(y) * dstStep));
    };
    // Forward: initialise a row, then update it from the left and from the rows above.
    for (int y = 0; y < h; ++y) {
        IDist *cur = row(y);
        Rows::init(advance(src, std::ptrdiff_t(y) * srcStep), cur, w);
        pass_row<N, +1>(cur, y >= 1 ? row(y - 1) : nullptr, y >= 2 ? row(y - 2) : nullptr, y, w, c);
    }
    // Backward: update from the right and from the rows below, right to left (pass column 0 is
    // the last pixel of the row); a row R below the current one is read no more and is converted.
    IDist *cur = nullptr;
    for (int i = 0; i < h; ++i) {
        const int y = h - 1 - i;
        cur = row(y);
        pass_row<N, -1>(cur + (w - 1), i >= 1 ? row(y + 1) + (w - 1) : nullptr,
                        i >= 2 ? row(y + 2) + (w - 1) : nullptr, i, w, c);
        if (i >= R) Rows::convert(row(y + R), w);
    }
    for (int y = (h < R ? h : R) - 1; y >= 0; --y) Rows::convert(row(y), w);
    return reinterpret_cast<std::int32_t *>(cur);
}

// Consistency report with an explicit line number; the check below names line 588 of the family's
// source, as the library's report always has, whatever the layout of this file.
#define ZYLCV_DT_ASSERT_AT(expr, file, line)                                                       \
    ((expr) ? void(0) : __assert_fail(#expr, file, line, nullptr))

// Reports a 3x3 backward pass that did not end on the first row of the destination.
inline void check_backward_end(const int *idist, const Zyl32f *pDst)
{
    // The assertion's text is reported as written: keep its spelling.
    // clang-format off
    ZYLCV_DT_ASSERT_AT(idist == (int*)pDst, "src/zycvdistransform", 588);
    // clang-format on
}
#undef ZYLCV_DT_ASSERT_AT

}  // namespace zylcv::distance_transform

namespace zylcv {

// The transform with N x N step costs (N = 3 or 5); returns the destination row on which the
// backward pass ended.
ZYLCV_DECLARE_TWINS_AVX2(template <int N>
                         std::int32_t *chamfer(const Zyl8u *src, int srcStep, Zyl32f *dst,
                                               int dstStep, int width, int height,
                                               const distance_transform::Costs &costs);)

// A twin's entries over its row operations Rows (expanded inside the twin's namespace).
#define ZYLCV_DISTANCE_TRANSFORM_ENTRIES                                                           \
    template <int N>                                                                               \
    std::int32_t *chamfer(const Zyl8u *src, int srcStep, Zyl32f *dst, int dstStep, int w, int h,   \
                          const distance_transform::Costs &c)                                      \
    {                                                                                              \
        return distance_transform::transform<N, Rows>(src, srcStep, dst, dstStep, w, h, c);        \
    }                                                                                              \
    template std::int32_t *chamfer<3>(const Zyl8u *, int, Zyl32f *, int, int, int,                 \
                                      const distance_transform::Costs &);                          \
    template std::int32_t *chamfer<5>(const Zyl8u *, int, Zyl32f *, int, int, int,                 \
                                      const distance_transform::Costs &);

}  // namespace zylcv

#endif
