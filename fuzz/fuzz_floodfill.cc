// Flood fills by value and by gradient, 4- and 8-connected, 8u and 32f. The work buffer is
// exactly the size its query reports and the image ends at the end of its allocation. A fill
// must give the region of a plain breadth-first search (every pixel written, area, value and
// bounding box), or report zylStatusNoMemory when its span stack cannot hold the region (then
// only the absence of any overrun is required, and only where the region has more runs than the
// buffer has records). A refused call writes nothing; the portable twin agrees with the SSE2 one.
#include <deque>

#include "floodfill/floodfill.h"
#include "fuzz_support.h"

namespace {

using fz::Image;
using fz::Input;

// ---- the region as the definition gives it ---------------------------------------------------

struct Region {
    std::vector<std::uint8_t> member;  // one byte per pixel, row after row
    long area = 0, runs = 0;           // pixels, and maximal horizontal runs of them
    int x0 = 0, x1 = 0, y0 = 0, y1 = 0;
};

// Breadth-first search from the seed: a pixel joins when `accepts(candidate, member)` holds for
// one of its 4 (or 8) neighbours already in the region. All values are those of the image
// before the fill.
template <class T, class Accepts>
Region search(const Image<T> &img, int sx, int sy, bool eight, Accepts accepts)
{
    const int w = img.width(), h = img.height();
    Region r;
    r.member.assign(std::size_t(w) * h, 0);
    r.x0 = r.x1 = sx, r.y0 = r.y1 = sy;
    std::deque<std::pair<int, int>> queue{{sx, sy}};
    r.member[std::size_t(sy) * w + sx] = 1;
    while (!queue.empty()) {
        auto [x, y] = queue.front();
        queue.pop_front();
        ++r.area;
        r.x0 = std::min(r.x0, x), r.x1 = std::max(r.x1, x);
        r.y0 = std::min(r.y0, y), r.y1 = std::max(r.y1, y);
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                if ((dx == 0 && dy == 0) || (!eight && dx != 0 && dy != 0)) continue;
                const int cx = x + dx, cy = y + dy;
                if (cx < 0 || cx >= w || cy < 0 || cy >= h) continue;
                std::uint8_t &m = r.member[std::size_t(cy) * w + cx];
                if (m || !accepts(img.at(cx, cy), img.at(x, y))) continue;
                m = 1;
                queue.push_back({cx, cy});
            }
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (r.member[std::size_t(y) * w + x] &&
                (x == 0 || !r.member[std::size_t(y) * w + x - 1]))
                ++r.runs;
    return r;
}

// Value fill: a pixel matches the seed's value S when equal (8u), or neither less nor greater
// (32f: signed zeros match each other, a NaN matches anything).
bool matches(Zyl8u p, Zyl8u s) { return p == s; }
bool matches(Zyl32f p, Zyl32f s) { return !(p < s) && !(p > s); }

// Gradient fill: candidate c joins next to member n when n - low <= c <= n + up (8u); for 32f
// unless |(c + mid) - n| > half, each operation rounded to single precision.
struct GradRule8u {
    int low, up;
    bool operator()(Zyl8u c, Zyl8u n) const { return int(n) - low <= c && c <= int(n) + up; }
};
struct GradRule32f {
    float mid, half;
    bool operator()(Zyl32f c, Zyl32f n) const
    {
        const float s = c + mid;
        const float t = s - n;
        return !(std::fabs(t) > half);
    }
};

// ---- generated images -------------------------------------------------------------------------

// Pixel levels: plain noise, checkerboards (8-connected regions of single pixels, the case
// that overflows the span stack), diagonal stripes and ramps with noise (for gradients).
int level_at(Input &in, int pattern, int levels, int x, int y)
{
    switch (pattern) {
    case 0:
        return in.byte() % levels;
    case 1:
        return in.chance(20) ? in.byte() % levels : (x + y) & 1;
    case 2:
        return in.chance(20) ? in.byte() % levels : ((x + 2 * y) % 3 == 0);
    default:
        return (x + y + (in.chance(40) ? in.byte() % 3 : 0)) % levels;
    }
}

template <class T> struct Values;
template <> struct Values<Zyl8u> {
    int base, delta;
    explicit Values(Input &in) : base(in.byte()), delta(in.range(0, 8)) {}
    Zyl8u of(Input &, int level) const { return Zyl8u(base + level * delta); }
};
template <> struct Values<Zyl32f> {
    float base, delta;
    bool specials;
    explicit Values(Input &in)
        : base(float(in.range(-4, 4))), delta(in.pick({0.5f, 1.0f, 0.25f, 3.0f})),
          specials(in.flag())
    {
    }
    Zyl32f of(Input &in, int level) const
    {
        if (specials && in.chance(12)) return fz::special_float(in);
        return base + float(level) * delta;
    }
};

// ---- the checks -------------------------------------------------------------------------------

struct Call {
    bool grad, eight;
    int sx, sy;
};

template <class T>
ZylStatus api_fill(Image<T> &img, const Call &c, Zyl32s nv8, Zyl32f nv32, int low8, int up8,
                   float low32, float up32, ZyliConnectedRegion *r, Zyl8u *buf)
{
    const ZyliPoint seed{c.sx, c.sy};
    if constexpr (std::is_same_v<T, Zyl8u>) {
        if (c.grad)
            return (c.eight ? zyliFloodFill_Grad8Con_8u_C1IR : zyliFloodFill_Grad4Con_8u_C1IR)(
                img.data(), img.step(), img.size(), seed, nv8, low8, up8, r, buf);
        return (c.eight ? zyliFloodFill_8Con_8u_C1IR : zyliFloodFill_4Con_8u_C1IR)(
            img.data(), img.step(), img.size(), seed, nv8, r, buf);
    } else {
        if (c.grad)
            return (c.eight ? zyliFloodFill_Grad8Con_32f_C1IR : zyliFloodFill_Grad4Con_32f_C1IR)(
                img.data(), img.step(), img.size(), seed, nv32, low32, up32, r, buf);
        return (c.eight ? zyliFloodFill_8Con_32f_C1IR : zyliFloodFill_4Con_32f_C1IR)(
            img.data(), img.step(), img.size(), seed, nv32, r, buf);
    }
}

template <class T> void run(Input &in, bool grad, bool eight)
{
    const int w = in.range(1, 48), h = in.range(1, 48);
    const fz::Geometry g = fz::any_geometry<T>(in);
    const int pattern = in.range(0, 3), levels = in.range(1, 6);
    const Values<T> values(in);

    Call c{grad, eight, in.range(0, w - 1), in.range(0, h - 1)};
    if (in.chance(8)) (in.flag() ? c.sx : c.sy) = in.pick({-1, w, h, -100000, 1 << 30});

    const Zyl32s nv8 = in.chance(8) ? in.pick({-1, 256, 1000, -1000000}) : in.byte();
    const Zyl32f nv32 = fz::any_float(in);
    int low8 = in.byte(), up8 = in.range(0, 255 - low8);
    if (in.chance(12)) (in.flag() ? low8 : up8) = in.pick({-1, 256, 255, -100000});
    float low32 = float(in.range(0, 8)) * 0.5f, up32 = float(in.range(0, 8)) * 0.5f;
    if (in.chance(12)) (in.flag() ? low32 : up32) = fz::special_float(in);

    Image<T> src(w, h, 1, g.pad, g.lead);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            src.at(x, y) = values.of(in, level_at(in, pattern, levels, x, y));

    // The buffer exactly as large as the query says.
    Zyl32s size = -1;
    const ZylStatus qs = grad ? zyliFloodFillGetSize_Grad(src.size(), &size)
                              : zyliFloodFillGetSize(src.size(), &size);
    const long long stackBytes = 6LL * w * h, maskBytes = grad ? (w + 2LL) * (h + 2LL) : 0;
    FZ_CHECK(qs == zylStatusOk && size == stackBytes + maskBytes,
             "size query %dx%d grad=%d: status %d size %d, want %lld", w, h, grad, qs, size,
             stackBytes + maskBytes);
    fz::Block buffer(std::size_t(size), 0x5C);
    const long capacity = long(w) * h / 4;  // span records the buffer holds

    Image<T> img(w, h, 1, g.pad, g.lead);
    img.copy_roi_from(src);
    ZyliConnectedRegion region;
    std::memset(&region, 0x3C, sizeof region);
    const ZyliConnectedRegion regionBefore = region;
    const auto imgBefore = img.snapshot();
    const auto bufBefore = buffer.bytes();

    const ZylStatus st =
        api_fill(img, c, nv8, nv32, low8, up8, low32, up32, &region, buffer.data());

    // The refusals, in their order.
    ZylStatus want = zylStatusOk;
    if (c.sx < 0 || c.sx >= w || c.sy < 0 || c.sy >= h) want = zylStatusOutOfRange;
    else if (std::is_same_v<T, Zyl8u> && (nv8 < 0 || nv8 > 255)) want = zylStatusBadArg;
    else if (grad && std::is_same_v<T, Zyl8u> && (low8 < 0 || up8 < 0 || low8 + up8 > 255))
        want = zylStatusOutOfRange;
    else if (grad && std::is_same_v<T, Zyl32f> && !(low32 >= 0 && up32 >= 0))
        want = zylStatusOutOfRange;
    if (want != zylStatusOk || (st < 0 && st != zylStatusNoMemory)) {
        FZ_CHECK(st == want, "fill %dx%d grad=%d eight=%d seed (%d,%d): status %d, want %d", w, h,
                 grad, eight, c.sx, c.sy, st, want);
        FZ_CHECK(img.unchanged_since(imgBefore), "refused fill (status %d) wrote into the image",
                 st);
        FZ_CHECK(std::memcmp(&region, &regionBefore, sizeof region) == 0,
                 "refused fill wrote the region record");
        FZ_CHECK(buffer.bytes() == bufBefore, "refused fill wrote into the buffer");
        return;
    }

    const T seedValue = src.at(c.sx, c.sy);
    const T nv = std::is_same_v<T, Zyl8u> ? T(nv8) : T(nv32);
    // A value fill whose seed already holds the new value (for 32f: compares equal, or a NaN)
    // does nothing at all.
    bool nothing = false;
    if (!grad) {
        if constexpr (std::is_same_v<T, Zyl8u>) nothing = seedValue == nv;
        else nothing = seedValue == nv || seedValue != seedValue || nv != nv;
    }
    if (nothing) {
        FZ_CHECK(st == zylStatusOk, "value fill with the seed at the new value: status %d", st);
        FZ_CHECK(img.unchanged_since(imgBefore),
                 "value fill with the seed at the new value wrote pixels");
        FZ_CHECK(std::memcmp(&region, &regionBefore, sizeof region) == 0,
                 "value fill with the seed at the new value wrote the region record");
        return;
    }

    Region model;
    if (!grad)
        model = search(src, c.sx, c.sy, eight, [&](T p, T) { return matches(p, seedValue); });
    else if constexpr (std::is_same_v<T, Zyl8u>)
        model = search(src, c.sx, c.sy, eight, GradRule8u{low8, up8});
    else
        model = search(src, c.sx, c.sy, eight,
                       GradRule32f{(low32 - up32) * 0.5f, (low32 + up32) * 0.5f});

    if (st == zylStatusNoMemory) {
        // Each record on the stack is a run that has just joined (a maximal run for the value
        // fill): a region with no more of them than the buffer has records always fits.
        const long bound = grad ? model.area : model.runs;
        FZ_CHECK(bound > capacity,
                 "fill %dx%d grad=%d eight=%d: zylStatusNoMemory although the region "
                 "has %ld runs, %ld pixels and the buffer holds %ld records",
                 w, h, grad, eight, model.runs, model.area, capacity);
    } else {
        FZ_CHECK(st == zylStatusOk, "fill %dx%d: status %d", w, h, st);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const bool in_region = model.member[std::size_t(y) * w + x];
                const T want_px = in_region ? nv : src.at(x, y);
                T got = img.at(x, y);
                FZ_CHECK(
                    std::memcmp(&got, &want_px, sizeof(T)) == 0,
                    "fill %dx%d grad=%d eight=%d seed (%d,%d): pixel (%d,%d) is %g, want %g (%s)",
                    w, h, grad, eight, c.sx, c.sy, x, y, double(got), double(want_px),
                    in_region ? "in the region" : "outside the region");
            }
        FZ_CHECK(img.outside_roi_unchanged(imgBefore), "fill wrote outside the ROI");
        const double wantValue = double(nv);
        FZ_CHECK(region.area == double(model.area) &&
                     fz::bits_of(region.value) == fz::bits_of(wantValue) &&
                     region.boxX == model.x0 && region.boxY == model.y0 &&
                     region.boxWidth == model.x1 - model.x0 + 1 &&
                     region.boxHeight == model.y1 - model.y0 + 1,
                 "fill %dx%d grad=%d eight=%d seed (%d,%d): region area %g value %g box %d,%d "
                 "%dx%d; want "
                 "area %ld value %g box %d,%d %dx%d",
                 w, h, grad, eight, c.sx, c.sy, region.area, region.value, region.boxX, region.boxY,
                 region.boxWidth, region.boxHeight, model.area, wantValue, model.x0, model.y0,
                 model.x1 - model.x0 + 1, model.y1 - model.y0 + 1);
    }

#if ZYLCV_SIMD
    // The portable twin on its own copy and its own exact buffer (the exported call ran SSE2).
    Image<T> twin(w, h, 1, g.pad, g.lead);
    twin.copy_roi_from(src);
    fz::Block buffer2(std::size_t(size), 0x5C);
    ZyliConnectedRegion region2;
    std::memset(&region2, 0x3C, sizeof region2);
    auto portable = [&](auto eightTag) {
        constexpr bool E = decltype(eightTag)::value;
        if (!grad)
            return zylcv::portable::flood_fill<E>(twin.data(), twin.step(), w, h, c.sx, c.sy, nv,
                                                  buffer2.data(), std::uint32_t(capacity),
                                                  &region2);
        Zyl8u *stack = buffer2.data() + maskBytes;
        if constexpr (std::is_same_v<T, Zyl8u>)
            return zylcv::portable::flood_fill_grad<E>(twin.data(), twin.step(), w, h, c.sx, c.sy,
                                                       nv, low8, up8, buffer2.data(), stack,
                                                       std::uint32_t(capacity), &region2);
        else
            return zylcv::portable::flood_fill_grad<E>(twin.data(), twin.step(), w, h, c.sx, c.sy,
                                                       nv, low32, up32, buffer2.data(), stack,
                                                       std::uint32_t(capacity), &region2);
    };
    const ZylStatus st2 = eight ? portable(std::true_type{}) : portable(std::false_type{});
    FZ_CHECK(st2 == st, "twins: portable status %d, SSE2 %d", st2, st);
    if (st == zylStatusOk) {
        FZ_CHECK(twin.roi_bytes() == img.roi_bytes(),
                 "twins: portable and SSE2 fills differ at byte %ld",
                 fz::first_difference(twin.roi_bytes(), img.roi_bytes()));
        FZ_CHECK(std::memcmp(&region2, &region, sizeof region) == 0,
                 "twins: region records differ");
    }
#endif
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Input in(data, size);
    const int mode = in.byte();
    const bool grad = mode & 1, eight = mode & 2;
    if (mode & 4) run<Zyl32f>(in, grad, eight);
    else run<Zyl8u>(in, grad, eight);
    return 0;
}
