// Canny edge detector: validation orders, a literal scalar model (pop-time acceptance on an
// unbounded stack), structured and worst-case inputs, twins, guard pages around every operand
// including a work buffer of exactly the queried size.
#include <cmath>
#include <functional>
#include <limits>
#include <tuple>

#include "canny/canny.h"
#include "support.h"

using zt::Image;
using zt::Layout;
using zt::Rng;

namespace {

using Deriv = Image<Zyl16s>;

// ---- reference model --------------------------------------------------------------------

// Canny taken step by step from its definition: a (w+2) x (h+2) map of ints with a zero
// border, suppression in raster order reading the absolute value of already processed
// neighbours, hysteresis that accepts a pixel when it is first popped.
std::vector<std::uint8_t> reference_canny(const Deriv &dx, const Deriv &dy, float lowT, float highT)
{
    const int w = dx.width(), h = dx.height();
    const double low = std::trunc(double(lowT)), high = std::trunc(double(highT));
    const int W = w + 2;
    std::vector<int> map(std::size_t(W) * (h + 2), 0);
    auto at = [&](int x, int y) -> int & { return map[std::size_t(y + 1) * W + (x + 1)]; };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int m = std::abs(int(dx.at(x, y))) + std::abs(int(dy.at(x, y)));
            m = std::min(m, 32767);
            at(x, y) = m <= low ? 0 : m;
        }
    std::vector<std::size_t> stack;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int m = at(x, y);
            if (m <= 0) continue;
            const long long gx = dx.at(x, y), gy = dy.at(x, y), ax = std::llabs(gx),
                            ay = std::llabs(gy);
            int dx1, dy1;  // first neighbour; the second is at the opposite offset
            if (4096 * ay >= 9889 * ax) dx1 = 0, dy1 = -1;
            else if (4096 * ay < 1697 * ax) dx1 = -1, dy1 = 0;
            else if ((gx >= 0) == (gy >= 0)) dx1 = -1, dy1 = -1;
            else dx1 = 1, dy1 = -1;
            // Already processed: the row above and the pixel to the left.
            auto value = [&](int nx, int ny) {
                const int v = at(nx, ny);
                const bool done = ny < y || (ny == y && nx < x);
                return done ? std::abs(v) : v;
            };
            const int n = std::max(value(x + dx1, y + dy1), value(x - dx1, y - dy1));
            if (m <= n) at(x, y) = -m;
            else if (m > high) stack.push_back(std::size_t(y + 1) * W + (x + 1));
        }
    // Acceptance is kept apart from the map, so no magnitude can pass for an edge.
    const std::ptrdiff_t order[8] = {-W, -W - 1, -W + 1, 1, W + 1, W, W - 1, -1};
    std::vector<bool> accepted(map.size(), false);
    while (!stack.empty()) {
        const std::size_t p = stack.back();
        stack.pop_back();
        if (accepted[p]) continue;
        accepted[p] = true;
        for (std::ptrdiff_t o : order)
            if (map[p + o] > low) stack.push_back(p + o);
    }
    std::vector<std::uint8_t> out(std::size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            out[std::size_t(y) * w + x] = accepted[std::size_t(y + 1) * W + (x + 1)] ? 255 : 0;
    return out;
}

// ---- inputs -----------------------------------------------------------------------------

// Derivative images (dx, dy) of one kind: raw patterns, or the library's Sobel 3x3 of an 8-bit
// picture, which is what callers feed in.
enum class Input { Noise, Small, SobelNoise, SobelSquares, Steps, Stripes, Checker, Strong, Edges };
const char *const kInputNames[] = {"noise",     "small noise", "sobel of noise", "sobel of squares",
                                   "steps",     "stripes",     "checker",        "all strong",
                                   "boundaries"};

void sobel(Image<Zyl8u> &img, Deriv &dx, Deriv &dy)
{
    const Zyl8u *p = img.data();
    ASSERT_EQ(zyliSobel3x3_Dx_8u16s_C1R(p, img.step(), dx.data(), dx.step(), img.size()), 0);
    ASSERT_EQ(zyliSobel3x3_Dy_8u16s_C1R(p, img.step(), dy.data(), dy.step(), 0, img.size()), 0);
}

struct Grad {
    int x, y;
};

void make_input(Input k, Deriv &dx, Deriv &dy, Rng &rng)
{
    const int w = dx.width(), h = dx.height();
    // Sets (dx, dy) to f(x, y) at every pixel, in raster order.
    auto each = [&](auto f) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const Grad g = f(x, y);
                dx.at(x, y) = Zyl16s(g.x), dy.at(x, y) = Zyl16s(g.y);
            }
    };
    auto small = [&] { return rng.uniform(-3, 3) * rng.uniform(0, 12); };
    switch (k) {
    case Input::Noise:
        // Full range, with some extremes side by side: saturation and -32768.
        return each([&](int, int) {
            const int v = zt::random_value<Zyl16s>(rng), e = rng.chance(0.5) ? -32768 : 32767;
            return Grad{rng.chance(0.1) ? e : v, zt::random_value<Zyl16s>(rng)};
        });
    case Input::Small:
        return each([&](int, int) { return Grad{small(), small()}; });
    case Input::SobelNoise:
    case Input::SobelSquares: {
        if (h < 2) return make_input(Input::Small, dx, dy, rng);  // the 3x3 filters need two rows
        Image<Zyl8u> img({w, h, 1, rng.uniform(0, 9), rng.uniform(0, 15)});
        if (k == Input::SobelNoise) img.fill_random(rng);
        else {
            img.fill(Zyl8u(rng.uniform(0, 255)));
            for (int r = rng.uniform(1, 6); r > 0; --r) {
                const int x0 = rng.uniform(0, w - 1), y0 = rng.uniform(0, h - 1);
                const int x1 = rng.uniform(x0, w), y1 = rng.uniform(y0, h);
                const auto v = Zyl8u(rng.uniform(0, 255));
                for (int y = y0; y < y1; ++y)
                    for (int x = x0; x < x1; ++x) img.at(x, y) = v;
            }
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) img.at(x, y) = Zyl8u(img.at(x, y) ^ rng.uniform(0, 3));
        }
        return sobel(img, dx, dy);
    }
    case Input::Steps: {
        // A ramp across a straight edge of random direction: equal magnitudes along the edge,
        // a ridge or a plateau across it.
        const int cx = rng.uniform(0, w), cy = rng.uniform(0, h), a = rng.uniform(-3, 3),
                  b = rng.uniform(-3, 3), peak = rng.uniform(1, 3000), width = rng.uniform(1, 3);
        return each([&](int x, int y) {
            const int d = std::abs(a * (x - cx) + b * (y - cy));
            const int m = d < width ? peak : d < 2 * width ? peak / 2 : 0;
            return Grad{a * m / 3, b * m / 3};
        });
    }
    case Input::Stripes: {
        // Every other row or column a line of maxima: dense seeds in long runs.
        const bool rows = rng.chance(0.5);
        return each([&](int x, int y) {
            const int v = ((rows ? y : x) % 2) ? 20000 : 30000;
            return rows ? Grad{0, -v} : Grad{v, 0};
        });
    }
    case Input::Checker:
        // Maxima on every other pixel, diagonally connected into one component.
        return each([&](int x, int y) {
            return Grad{(x + y) % 2 ? 16000 : -8000, rng.uniform(-5, 5)};
        });
    case Input::Edges: {
        // Gradients on and next to the direction boundaries: 4096|dy| = 9889|dx| and
        // 4096|dy| = 1697|dx| exactly, or one unit off, in every quadrant.
        const int pairs[4][2] = {{4096, 9889}, {4096, 1697}, {8192, 19778}, {8192, 3394}};
        return each([&](int, int) {
            const int *p = pairs[rng.uniform(0, 3)];
            int ax = p[0], ay = p[1];
            (rng.chance(0.5) ? ax : ay) += rng.uniform(-1, 1);
            return Grad{rng.chance(0.5) ? -ax : ax, rng.chance(0.5) ? -ay : ay};
        });
    }
    case Input::Strong:
        // Every pixel far above any threshold the cases use, in random directions.
        return each([&](int, int) {
            const Grad g{rng.uniform(-16000, 16000), rng.uniform(-16000, 16000)};
            return g.x == 0 && g.y == 0 ? Grad{1, 0} : g;
        });
    }
}

struct Thresholds {
    float low, high;
};
// Threshold pairs over the range the input's magnitudes take: zero, equal, fractional,
// above every magnitude (including 40000 and infinity).
Thresholds random_thresholds(Rng &rng, Input k)
{
    const float top = k == Input::Small ? 40.0f : k == Input::SobelNoise ? 1500.0f : 33000.0f;
    const float a = rng.real(0.0f, top), b = rng.real(0.0f, top), t = std::floor(a);
    const Thresholds pairs[] = {{0.0f, 0.0f},   {0.0f, a},        {t, t},
                                {a / 2, 40000}, {0.0f, INFINITY}, {std::min(a, b), std::max(a, b)}};
    return pairs[std::min(rng.uniform(0, 7), 5)];
}

// A work buffer of exactly the queried size, `offset` bytes past a 16-byte boundary, inside
// canaries.
Image<Zyl8u> work_buffer(ZyliSize roi, int offset)
{
    Zyl32s size = 0;
    EXPECT_EQ(zyliCannyGetSize(roi, &size), 0);
    return Image<Zyl8u>({size, 1, 1, 0, offset});
}

// The detector over whole images.
template <class D, class O> ZylStatus run(D &dx, D &dy, O &dst, float low, float high, Zyl8u *buf)
{
    const ZyliSize r = dx.size();
    return zyliCanny_16s8u_C1R(dx.data(), dx.step(), dy.data(), dy.step(), dst.data(), dst.step(),
                               r, low, high, buf);
}

// ---- validation -------------------------------------------------------------------------

TEST(Canny, SizeQuery)
{
    // ROI, null result pointer, status, the result (-7: left as it was).
    const std::tuple<ZyliSize, bool, ZylStatus, Zyl32s> cases[] = {
        {{0, 5}, true, zylStatusBadSize, -7},  // size before the null result
        {{5, 0}, false, zylStatusBadSize, -7},
        {{-3, 5}, false, zylStatusBadSize, -7},
        {{10, 10}, true, zylStatusNullPtr, -7},
        {{10, 10}, false, zylStatusOk, 1728},
        {{1, 1}, false, zylStatusOk, 108},
        {{640, 480}, false, zylStatusOk, 12 * 642 * 482},
        // 36 (w + 2) bytes for one row: the widest that fits a Zyl32s, then sizes that do not,
        // refused with 0. 12 (w + 2)(h + 2) of the last one wraps 64 bits to 2146822232.
        {{59652321, 1}, false, zylStatusOk, 2147483628},
        {{59652322, 1}, false, zylStatusBadSize, 0},
        {{60000, 60000}, false, zylStatusBadSize, 0},
        {{2147443512, 715841259}, false, zylStatusBadSize, 0},
    };
    for (auto [roi, nullResult, st, want] : cases) {
        SCOPED_TRACE(testing::Message() << roi.width << "x" << roi.height);
        Zyl32s size = -7;
        EXPECT_EQ(zyliCannyGetSize(roi, nullResult ? nullptr : &size), st);
        EXPECT_EQ(size, want);
    }
}

TEST(Canny, ValidationOrderAndNoWrites)
{
    const int w = 9, h = 5;
    Deriv dx({w, h}), dy({w, h});
    Image<Zyl8u> dst({w, h});
    Image<Zyl8u> buf = work_buffer({w, h}, 0);
    ASSERT_EQ(dst.step() % 2, 1);
    const int xs = dx.step(), ys = dy.step(), ds = dst.step();
    const ZyliSize ok{w, h};
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Zyl16s *px = dx.data(), *py = dy.data();
    Zyl8u *pd = dst.data(), *pb = buf.data();
    auto call = [](const Zyl16s *a, int as, const Zyl16s *b, int bs, Zyl8u *d, int dsStep,
                   ZyliSize r, float lo, float hi, Zyl8u *buffer) {
        return [=] { return zyliCanny_16s8u_C1R(a, as, b, bs, d, dsStep, r, lo, hi, buffer); };
    };
    std::vector<zt::StatusCase> refusals = {
        {"null dx before bad step, size, thresholds",
         call(nullptr, 0, py, ys, pd, ds, {0, 0}, -1, -2, pb), zylStatusNullPtr},
        {"null dy", call(px, xs, nullptr, ys, pd, ds, ok, 1, 2, pb), zylStatusNullPtr},
        {"null dst", call(px, xs, py, ys, nullptr, ds, ok, 1, 2, pb), zylStatusNullPtr},
        {"null buffer", call(px, xs, py, ys, pd, ds, ok, 1, 2, nullptr), zylStatusNullPtr},
        {"zero dx step before size", call(px, 0, py, ys, pd, ds, {0, 1}, 1, 2, pb),
         zylStatusBadStep},
        {"negative dy step", call(px, xs, py, -ys, pd, ds, ok, 1, 2, pb), zylStatusBadStep},
        {"zero dst step", call(px, xs, py, ys, pd, 0, ok, 1, 2, pb), zylStatusBadStep},
        {"zero width before odd step", call(px, xs + 1, py, ys, pd, ds, {0, h}, 1, 2, pb),
         zylStatusBadSize},
        {"zero height", call(px, xs, py, ys, pd, ds, {w, 0}, 1, 2, pb), zylStatusBadSize},
        {"negative width", call(px, xs, py, ys, pd, ds, {-w, h}, 1, 2, pb), zylStatusBadSize},
        {"odd dx step before thresholds", call(px, xs + 1, py, ys, pd, ds, ok, -1, 2, pb),
         zylStatusStepNotAligned},
        {"odd dy step", call(px, xs, py, ys + 1, pd, ds, ok, 1, 2, pb), zylStatusStepNotAligned},
        {"low -1", call(px, xs, py, ys, pd, ds, ok, -1, 2, pb), zylStatusBadArg},
        {"low NaN", call(px, xs, py, ys, pd, ds, ok, nan, 2, pb), zylStatusBadArg},
        {"high NaN", call(px, xs, py, ys, pd, ds, ok, 1, nan, pb), zylStatusBadArg},
        {"high below low", call(px, xs, py, ys, pd, ds, ok, 5, 4.5f, pb), zylStatusBadArg},
        {"low -inf", call(px, xs, py, ys, pd, ds, ok, -INFINITY, 0, pb), zylStatusBadArg},
    };
    const auto before = dst.roi_bytes();
    const auto bufBefore = buf.roi_bytes();
    zt::expect_statuses(refusals, [&] {
        return dst.roi_bytes() == before && dst.intact_outside_roi() &&
               buf.roi_bytes() == bufBefore && buf.intact_outside_roi();
    });
    // Accepted corners of the same checks (odd destination steps and low = high run in the
    // reference comparison).
    zt::expect_statuses({
        {"low -0.0, high 0", call(px, xs, py, ys, pd, ds, ok, -0.0f, 0, pb), zylStatusOk},
        {"infinite thresholds", call(px, xs, py, ys, pd, ds, ok, INFINITY, INFINITY, pb),
         zylStatusOk},
    });
}

// ---- reference comparison ---------------------------------------------------------------

// Every input kind on random layouts (padded steps, offsets, widths around the 8- and 16-pixel
// blocks), random thresholds and misaligned work buffers of exactly the queried size inside
// canaries. Then, in two cases of three, the same call on copies flush against inaccessible
// pages before or after them: derivatives, destination and a work buffer of exactly the queried
// size, with zero thresholds in half of these.
TEST(Canny, MatchesReference)
{
    std::uint32_t seed = 100;
    for (int kind = 0; kind < 9; ++kind)
        for (int rep = 0; rep < 24; ++rep) {
            const Input k = Input(kind);
            Rng rng(++seed);
            SCOPED_TRACE(zt::seed_note(seed));
            SCOPED_TRACE(kInputNames[kind]);
            const Layout l = zt::random_layout<Zyl16s>(rng, rep % 4 == 0 ? 90 : 40, 24);
            Layout ly = zt::random_layout<Zyl16s>(rng, 1, 1),
                   ld = zt::random_layout<Zyl8u>(rng, 1, 1);
            ly.width = ld.width = l.width;
            ly.height = ld.height = l.height;
            Deriv dx(l), dy(ly);
            Image<Zyl8u> dst(ld);
            make_input(k, dx, dy, rng);
            // Zero thresholds make every unsuppressed pixel a seed, which fills the stack most.
            const bool zero = rep % 6 == 1 || rep % 6 == 2;
            const Thresholds t = zero ? Thresholds{0, 0} : random_thresholds(rng, k);
            SCOPED_TRACE(testing::Message()
                         << l.width << "x" << l.height << " low " << t.low << " high " << t.high);
            Image<Zyl8u> buf = work_buffer(dx.size(), rng.uniform(0, 3));
            ASSERT_EQ(run(dx, dy, dst, t.low, t.high, buf.data()), 0);
            const auto want = reference_canny(dx, dy, t.low, t.high);
            EXPECT_TRUE(zt::same_bytes(dst.roi_bytes(), want));
            EXPECT_TRUE(dst.intact_outside_roi());
            EXPECT_TRUE(buf.intact_outside_roi());
            if (rep % 3 == 0) continue;
            const zt::Guard g = rep % 3 == 1 ? zt::Guard::Before : zt::Guard::After;
            const int w = l.width, h = l.height;
            zt::GuardedImage<Zyl16s> gx(w, h, 1, g), gy(w, h, 1, g, 2 * (w % 3));
            zt::GuardedImage<Zyl8u> gd(w, h, 1, g, w % 2), gb(buf.width(), 1, 1, g);
            gx.copy_from(dx);
            gy.copy_from(dy);
            ASSERT_EQ(run(gx, gy, gd, t.low, t.high, gb.data()), 0);
            EXPECT_TRUE(zt::same_bytes(gd.roi_bytes(), want));
        }
}

// Small images whose edge maps follow from the definition by hand: the readings of the
// definition that the reference model makes (ties, the zero outside, saturation, strict
// thresholds, acceptance apart from suppression), checked without it.
TEST(Canny, HandWorkedCases)
{
    struct Case {
        const char *what;
        int w, h;
        std::function<void(Deriv &, Deriv &)> fill;
        float low, high;
        std::function<bool(int, int)> edge;  // expected edge pixels
    };
    auto none = [](int, int) { return false; };
    const Case cases[] = {
        {"plateau of equal magnitudes: ties suppress", 9, 6,
         [](Deriv &dx, Deriv &dy) {
             for (int y = 0; y < 6; ++y)
                 for (int x = 0; x < 9; ++x)
                     dx.at(x, y) = 300, dy.at(x, y) = Zyl16s(y % 2 ? 5 : -5);
         },
         0, 0, none},
        {"border pixel against the zero outside", 5, 4,
         [](Deriv &dx, Deriv &dy) { dx.at(0, 0) = 500, dy.at(4, 3) = -500; }, 0, 100,
         [](int x, int y) { return (x == 0 && y == 0) || (x == 4 && y == 3); }},
        {"-32768 counts as 32768, saturated to 32767", 3, 3,
         [](Deriv &dx, Deriv &) { dx.at(1, 1) = -32768; }, 0, 32766,
         [](int x, int y) { return x == 1 && y == 1; }},
        {"saturated magnitude is not above 32767", 3, 3,
         [](Deriv &dx, Deriv &dy) { dx.at(1, 1) = -32768, dy.at(1, 1) = -32768; }, 0, 32767, none},
        {"weak pixels join through a chain from a strong one", 8, 3,
         [](Deriv &, Deriv &dy) {
             // Row 1 a ridge (rows 0 and 2 lower), magnitudes along it 60 20 20 20 0 20 20.
             const int ridge[8] = {60, 20, 20, 20, 0, 20, 20, 20};
             for (int x = 0; x < 8; ++x)
                 dy.at(x, 1) = Zyl16s(ridge[x]), dy.at(x, 0) = dy.at(x, 2) = 1;
         },
         10, 50, [](int x, int y) { return y == 1 && x < 4; }},
        {"magnitude 1 joins an edge when low is 0", 3, 3,
         [](Deriv &, Deriv &dy) { dy.at(0, 1) = 50, dy.at(1, 1) = 1, dy.at(2, 1) = -1; }, 0, 10,
         [](int, int y) { return y == 1; }},
        {"a suppressed 1 beside a seed stays out when low is 0", 3, 1,
         [](Deriv &dx, Deriv &) { dx.at(0, 0) = 1, dx.at(1, 0) = 200, dx.at(2, 0) = 1; }, 0, 100,
         [](int x, int) { return x == 1; }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Deriv dx({c.w, c.h}, 0), dy({c.w, c.h}, 0);  // all bytes zero
        c.fill(dx, dy);
        Image<Zyl8u> dst({c.w, c.h}, 77);
        Image<Zyl8u> buf = work_buffer({c.w, c.h}, 0);
        ASSERT_EQ(run(dx, dy, dst, c.low, c.high, buf.data()), 0);
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x)
                EXPECT_EQ(dst.at(x, y), c.edge(x, y) ? 255 : 0) << x << "," << y;
    }
}

// ---- twins, guard pages -----------------------------------------------------------------

// The whole magnitude map (magnitudes, suppression marks, accepted pixels) and the edge map
// agree between the twins, on every width to 72 (every row end after blocks of 32, 16 and 8
// pixels) and misaligned operands.
TEST(Canny, TwinsAgree)
{
    std::uint32_t seed = 900;
    for (int w = 1; w <= 72; ++w)
        for (Input k :
             {Input::Noise, Input::Small, Input::SobelSquares, Input::Checker, Input::Edges}) {
            Rng rng(++seed);
            SCOPED_TRACE(zt::seed_note(seed));
            const int h = rng.uniform(1, 9);
            Deriv dx({w, h, 1, 2 * rng.uniform(0, 5), 2 * rng.uniform(0, 7)});
            Deriv dy({w, h, 1, 2 * rng.uniform(0, 5), 2 * rng.uniform(0, 7)});
            make_input(k, dx, dy, rng);
            const Thresholds t = random_thresholds(rng, k);
            const int low = int(std::min(t.low, 32767.0f)), high = int(std::min(t.high, 32767.0f));
            const Layout ld{w, h, 1, 3, rng.uniform(0, 15)};
            const int bufOffset = rng.uniform(0, 3);
            zt::expect_twins_agree([&](zt::Twin tw) {
                Image<Zyl8u> d(ld);
                Image<Zyl8u> b = work_buffer(dx.size(), bufOffset);
                ZT_ENTRY(tw, canny)
                (dx.data(), dx.step(), dy.data(), dy.step(), d.data(), d.step(), w, h, low, high,
                 b.data());
                EXPECT_TRUE(b.intact_outside_roi() && d.intact_outside_roi());
                const auto L = zylcv::canny::canny_layout(b.data(), w, h);
                auto out = d.roi_bytes();
                const auto *map = reinterpret_cast<const std::uint8_t *>(L.map);
                out.insert(out.end(), map, map + std::size_t(h + 2) * L.stride * sizeof(*L.map));
                return out;
            });
        }
}

}  // namespace
