// Flood-fill kernels: the matching and membership tests, the scalar row pieces shared by both
// twins, the span-stack fill drivers (templates over the twin's row pieces, struct Rows in each
// twin's file) and the twins' entries.
#ifndef ZYLCV_FLOODFILL_FLOODFILL_H
#define ZYLCV_FLOODFILL_FLOODFILL_H

#include "span_stack.h"

namespace zylcv::floodfill {

// ---- tests ------------------------------------------------------------------------------------

// Value fill: a pixel matches the seed value s when it is equal (8u), or neither less nor
// greater (32f: +0.0 and -0.0 match each other, a NaN pixel matches anything).
inline bool value_match(Zyl8u p, Zyl8u s) { return p == s; }
inline bool value_match(Zyl32f p, Zyl32f s) { return !(p < s) && !(p > s); }

// Value fill: nothing to do when the seed already holds the new value (32f: compares equal,
// or either is a NaN).
inline bool holds_new_value(Zyl8u s, Zyl8u nv) { return s == nv; }
inline bool holds_new_value(Zyl32f s, Zyl32f nv) { return s == nv || s != s || nv != nv; }

// Gradient fill, 8u: n - low <= c <= n + up, as one unsigned comparison.
struct GradTest8u {
    int low;
    std::uint32_t range;  // low + up
    bool operator()(Zyl8u c, Zyl8u n) const
    {
        return std::uint32_t(int(c) - int(n) + low) <= range;
    }
};
// Gradient fill, 32f: accept unless |(c + mid) - n| > half, each step rounded to single
// precision; a NaN anywhere makes the comparison false and accepts.
struct GradTest32f {
    float mid, half;
    bool operator()(Zyl32f c, Zyl32f n) const
    {
        const float s = c + mid;
        const float t = s - n;
        return !(clear_sign(t) > half);
    }
};

// ---- scalar row pieces (both twins end their rows with these) ---------------------------------

// Value fill: x has just been written; writes the matching pixels right of it, returns the last
// column of the run. Per step: one pixel; ends at the row end or at the first mismatch.
template <class T> inline int run_right_px(T *r, int x, int w, T s, T nv)
{
    while (x + 1 < w && value_match(r[x + 1], s)) r[++x] = nv;
    return x;
}
// Same to the left, returns the first column of the run.
template <class T> inline int run_left_px(T *r, int x, T s, T nv)
{
    while (x > 0 && value_match(r[x - 1], s)) r[--x] = nv;
    return x;
}
// Writes nv into columns x0..x1 of a row, one pixel per step.
template <class T> inline void span_write_px(T *r, int x0, int x1, T nv)
{
    for (int x = x0; x <= x1; ++x) r[x] = nv;
}

// Gradient fill: x is the current rightmost pixel of a run in row c; marks the pixels right of
// it while they are unmarked and pass against their left neighbour, returns the new rightmost.
// Per step: one pixel; ends at a marked (or frame) byte or at the first failing test.
template <class T, class Test> inline int grad_run_px(const T *c, Zyl8u *mk, int x, Test ok)
{
    while (!mk[x + 1] && ok(c[x + 1], c[x])) mk[++x] = 1;
    return x;
}

// Gradient fill: the first column in x..b whose mask byte is 0, or b + 1. Per step: one byte.
inline int next_free_px(const Zyl8u *mk, int x, int b)
{
    while (x <= b && mk[x]) ++x;
    return x;
}

// Visit mask of the gradient fills: (w + 2) x (h + 2) bytes, frame 1, interior 0.
inline void mask_init(Zyl8u *m, int w, int h)
{
    const std::ptrdiff_t mw = std::ptrdiff_t(w) + 2;
    for (std::ptrdiff_t x = 0; x < mw; ++x) m[x] = 1;
    for (int y = 1; y <= h; ++y) {
        Zyl8u *row = m + y * mw;
        row[0] = 1;
        for (std::ptrdiff_t x = 1; x <= w; ++x) row[x] = 0;
        row[mw - 1] = 1;
    }
    Zyl8u *last = m + (std::ptrdiff_t(h) + 1) * mw;
    for (std::ptrdiff_t x = 0; x < mw; ++x) last[x] = 1;
}

// The row pieces one pixel per step: the portable twin's rows.
struct ScalarRows {
    template <class T> static int run_right(T *r, int x, int w, T s, T nv)
    {
        return run_right_px(r, x, w, s, nv);
    }
    template <class T> static int run_left(T *r, int x, T s, T nv)
    {
        return run_left_px(r, x, s, nv);
    }
    template <class T, class Test> static int grad_run(const T *c, Zyl8u *mk, int x, int, Test ok)
    {
        return grad_run_px(c, mk, x, ok);
    }
    static int next_free(const Zyl8u *mk, int x, int b) { return next_free_px(mk, x, b); }
    template <class T> static void span_write(T *r, int x0, int x1, T nv)
    {
        span_write_px(r, x0, x1, nv);
    }
};

// A record whose scans will find nothing: its forward row lies outside the image and its parent
// covers every column its back scans would visit. Popping it would only widen the box (and, in
// the gradient fill, write its pixels, which nothing reads again), so the fills do that at once
// instead of pushing it; area and box do not depend on the order.
inline bool scans_nothing(const Span &s, int w, int h, int e)
{
    const int fy = s.y - s.d;
    if (fy >= 0 && fy < h) return false;
    const int lo = s.xl - e < 0 ? 0 : s.xl - e, hi = s.xr + e > w - 1 ? w - 1 : s.xr + e;
    return lo >= s.pl && hi <= s.pr;
}

// ---- value fill -------------------------------------------------------------------------------

// Span fill of the region of pixels matching the seed value. Rows are scanned left to right;
// a found pixel is written, its run extended both ways (written as it goes) and pushed; the
// scan resumes two columns after the run. Rows provides run_right/run_left for the twin.
template <class Rows, bool Eight, class T>
ZylStatus fill_value(T *img, int step, int w, int h, int sx, int sy, T nv, Zyl8u *stackMem,
                     std::uint32_t capacity, ZyliConnectedRegion *region)
{
    auto row = [&](int y) { return advance(img, std::ptrdiff_t(y) * step); };
    constexpr int e = Eight ? 1 : 0;
    T *r = row(sy);
    const T s = r[sx];
    if (holds_new_value(s, nv)) return zylStatusOk;
    r[sx] = nv;
    const int L = Rows::run_left(r, sx, s, nv), R = Rows::run_right(r, sx, w, s, nv);
    std::int64_t area = R - L + 1;
    Box box{L, R, sy, sy};
    SpanStack stack(stackMem, capacity);
    stack.push({sy, L, R, R + 1, R, sy == h - 1 ? -1 : 1});  // held in registers: cannot fail

    Span p;
    // Scans columns a..b of row y for runs found from the popped span p; false when full.
    auto scan = [&](int y, int a, int b, int d) {
        T *q = row(y);
        for (int x = a; x <= b;) {
            if (!value_match(q[x], s)) {
                ++x;
                continue;
            }
            q[x] = nv;
            const int l = Rows::run_left(q, x, s, nv), rr = Rows::run_right(q, x, w, s, nv);
            area += rr - l + 1;
            const Span c{y, l, rr, p.xl, p.xr, d};
            if (scans_nothing(c, w, h, e)) box.add(l, rr, y);
            else if (!stack.push(c)) return false;
            x = rr + 2;
        }
        return true;
    };
    while (stack.pop(p)) {
        box.add(p.xl, p.xr, p.y);
        const int lo = p.xl - e < 0 ? 0 : p.xl - e, hi = p.xr + e > w - 1 ? w - 1 : p.xr + e;
        const int fy = p.y - p.d, by = p.y + p.d;
        if (fy >= 0 && fy < h && !scan(fy, lo, hi, p.d)) return kStackFull;
        if (by >= 0 && by < h) {
            if (!scan(by, lo, p.pl - 1 < hi ? p.pl - 1 : hi, -p.d)) return kStackFull;
            if (!scan(by, p.pr + 1 > lo ? p.pr + 1 : lo, hi, -p.d)) return kStackFull;
        }
    }
    write_region(region, area, double(nv), box);
    return zylStatusOk;
}

// ---- gradient fill ----------------------------------------------------------------------------

// Span fill where a pixel joins when it passes `ok` against an adjacent region pixel. The visit
// mask (frame included) stops every scan and extension at the border; pixels are written only
// after their span's scans, so every test sees the image as it was. Rows provides next_free (skips
// marked columns), grad_run (the rightward extension against the left neighbour) and span_write.
template <class Rows, bool Eight, class T, class Test>
ZylStatus fill_grad(T *img, int step, int w, int h, int sx, int sy, T nv, Test ok, Zyl8u *mask,
                    Zyl8u *stackMem, std::uint32_t capacity, ZyliConnectedRegion *region)
{
    auto row = [&](int y) { return advance(img, std::ptrdiff_t(y) * step); };
    const std::ptrdiff_t mw = std::ptrdiff_t(w) + 2;
    auto mrow = [&](int y) { return mask + (std::ptrdiff_t(y) + 1) * mw + 1; };  // [-1] is frame
    constexpr int e = Eight ? 1 : 0;
    mask_init(mask, w, h);

    const T *r = row(sy);
    Zyl8u *m = mrow(sy);
    m[sx] = 1;
    int L = sx, R = sx;
    R = Rows::grad_run(r, m, R, w, ok);
    while (!m[L - 1] && ok(r[L - 1], r[L])) m[--L] = 1;
    std::int64_t area = 0;
    Box box{L, R, sy, sy};
    SpanStack stack(stackMem, capacity);
    stack.push({sy, L, R, Eight ? (R + 2 < w ? R + 2 : w) : R + 1, Eight ? R + 2 : R, 1});

    Span p;
    const T *pr = r;  // the popped span's row: the only source of references
    // Whether candidate value v at column x passes against a reference of the popped span.
    auto ref_ok = [&](int x, T v) {
        if constexpr (Eight) {
            for (int k = x - 1; k <= x + 1; ++k)
                if (k >= p.xl && k <= p.xr && ok(v, pr[k])) return true;
            return false;
        } else {
            return x >= p.xl && x <= p.xr && ok(v, pr[x]);
        }
    };
    auto scan = [&](int y, int a, int b, int d) {
        const T *c = row(y);
        Zyl8u *mk = mrow(y);
        for (int x = a; x <= b;) {
            x = Rows::next_free(mk, x, b);
            if (x > b) break;
            if (!ref_ok(x, c[x])) {
                ++x;
                continue;
            }
            mk[x] = 1;
            int l = x, rr = x;
            while (!mk[l - 1] && ok(c[l - 1], c[l])) mk[--l] = 1;
            // Right: against the left neighbour, or failing that against the popped span.
            for (;;) {
                rr = Rows::grad_run(c, mk, rr, w, ok);
                if (mk[rr + 1] || !ref_ok(rr + 1, c[rr + 1])) break;
                mk[++rr] = 1;
            }
            const Span s{y, l, rr, p.xl, p.xr, d};
            if (scans_nothing(s, w, h, e)) {
                box.add(l, rr, y);
                Rows::span_write(row(y), l, rr, nv);
                area += rr - l + 1;
            } else if (!stack.push(s)) {
                return false;
            }
            x = rr + 2;
        }
        return true;
    };
    while (stack.pop(p)) {
        box.add(p.xl, p.xr, p.y);
        pr = row(p.y);
        const int fy = p.y - p.d, by = p.y + p.d;
        if (fy >= 0 && fy < h && !scan(fy, p.xl - e, p.xr + e, p.d)) return kStackFull;
        if (by >= 0 && by < h) {
            if (!scan(by, p.xl - e, p.pl - 1, -p.d)) return kStackFull;
            if (!scan(by, p.pr + 1, p.xr + e, -p.d)) return kStackFull;
        }
        Rows::span_write(row(p.y), p.xl, p.xr, nv);
        area += p.xr - p.xl + 1;
    }
    write_region(region, area, double(nv), box);
    return zylStatusOk;
}

inline GradTest8u grad_test(int low, int up) { return {low, std::uint32_t(low + up)}; }
inline GradTest32f grad_test(float low, float up) { return {(low - up) * 0.5f, (low + up) * 0.5f}; }

// The gradient fills' differences: integers for 8u, floats for 32f.
template <class T> using GradDiff = std::conditional_t<std::is_same_v<T, Zyl32f>, Zyl32f, int>;

}  // namespace zylcv::floodfill

namespace zylcv {

// Fills of 8u or 32f images, 8-connected or 4-connected. `stack` holds `capacity` records; `mask`
// is the gradient fills' visit mask. They return zylStatusOk, or kStackFull when the region needs
// more records than that.
ZYLCV_DECLARE_TWINS(template <bool Eight, class T>
                    ZylStatus flood_fill(T *img, int step, int w, int h, int sx, int sy, T nv,
                                         Zyl8u *stack, std::uint32_t capacity,
                                         ZyliConnectedRegion *region);
                    template <bool Eight, class T>
                    ZylStatus flood_fill_grad(T * img, int step, int w, int h, int sx, int sy, T nv,
                                              floodfill::GradDiff<T> low, floodfill::GradDiff<T> up,
                                              Zyl8u *mask, Zyl8u *stack, std::uint32_t capacity,
                                              ZyliConnectedRegion *region);)

// A twin's entries over its row pieces Rows (expanded inside the twin's namespace).
#define ZYLCV_FLOODFILL_INSTANCES(Eight, T)                                                        \
    template ZylStatus flood_fill<Eight>(T *, int, int, int, int, int, T, Zyl8u *, std::uint32_t,  \
                                         ZyliConnectedRegion *);                                   \
    template ZylStatus flood_fill_grad<Eight>(                                                     \
        T *, int, int, int, int, int, T, floodfill::GradDiff<T>, floodfill::GradDiff<T>, Zyl8u *,  \
        Zyl8u *, std::uint32_t, ZyliConnectedRegion *);
#define ZYLCV_FLOODFILL_ENTRIES                                                                    \
    template <bool Eight, class T>                                                                 \
    ZylStatus flood_fill(T *img, int step, int w, int h, int sx, int sy, T nv, Zyl8u *stack,       \
                         std::uint32_t capacity, ZyliConnectedRegion *region)                      \
    {                                                                                              \
        return floodfill::fill_value<Rows, Eight>(img, step, w, h, sx, sy, nv, stack, capacity,    \
                                                  region);                                         \
    }                                                                                              \
    template <bool Eight, class T>                                                                 \
    ZylStatus flood_fill_grad(T *img, int step, int w, int h, int sx, int sy, T nv,                \
                              floodfill::GradDiff<T> low, floodfill::GradDiff<T> up, Zyl8u *mask,  \
                              Zyl8u *stack, std::uint32_t capacity, ZyliConnectedRegion *region)   \
    {                                                                                              \
        return floodfill::fill_grad<Rows, Eight>(img, step, w, h, sx, sy, nv,                      \
                                                 floodfill::grad_test(low, up), mask, stack,       \
                                                 capacity, region);                                \
    }                                                                                              \
    ZYLCV_FLOODFILL_INSTANCES(false, Zyl8u)                                                        \
    ZYLCV_FLOODFILL_INSTANCES(true, Zyl8u) ZYLCV_FLOODFILL_INSTANCES(false, Zyl32f)                \
        ZYLCV_FLOODFILL_INSTANCES(true, Zyl32f)

}  // namespace zylcv

#endif
