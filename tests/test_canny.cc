// Canny edge detector: validation orders, a literal scalar model (pop-time acceptance on an
// unbounded stack), structured and worst-case inputs, twins, guard pages around every operand
// including a work buffer of exactly the queried size.
#include <cmath>
#include <functional>
#include <limits>

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
enum class Input {
    NoiseFull,
    NoiseSmall,
    Sobel8uNoise,
    Sobel8uSquares,
    Steps,
    Stripes,
    Checker,
    AllStrong,
    Boundaries
};
const char *name(Input k)
{
    static const char *n[] = {"noise (full range)",
                              "noise (small)",
                              "sobel of noise",
                              "sobel of squares",
                              "steps",
                              "stripes",
                              "checker",
                              "all strong",
                              "direction boundaries"};
    return n[int(k)];
}

void sobel(Image<Zyl8u> &img, Deriv &dx, Deriv &dy)
{
    ASSERT_EQ(zyliSobel3x3_Dx_8u16s_C1R(img.data(), img.step(), dx.data(), dx.step(), img.size()),
              0);
    ASSERT_EQ(
        zyliSobel3x3_Dy_8u16s_C1R(img.data(), img.step(), dy.data(), dy.step(), 0, img.size()), 0);
}

void make_input(Input k, Deriv &dx, Deriv &dy, Rng &rng)
{
    const int w = dx.width(), h = dx.height();
    auto each = [&](auto f) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) f(x, y);
    };
    switch (k) {
    case Input::NoiseFull:
        dx.fill_random(rng);
        dy.fill_random(rng);
        // Some extremes side by side: saturation and -32768.
        each([&](int x, int y) {
            if (rng.chance(0.1)) dx.at(x, y) = rng.chance(0.5) ? -32768 : 32767;
        });
        break;
    case Input::NoiseSmall:
        each([&](int x, int y) {
            dx.at(x, y) = Zyl16s(rng.uniform(-3, 3) * rng.uniform(0, 12));
            dy.at(x, y) = Zyl16s(rng.uniform(-3, 3) * rng.uniform(0, 12));
        });
        break;
    case Input::Sobel8uNoise:
    case Input::Sobel8uSquares: {
        if (h < 2) {  // the 3x3 filters need two rows
            make_input(Input::NoiseSmall, dx, dy, rng);
            return;
        }
        Image<Zyl8u> img({w, h, 1, rng.uniform(0, 9), rng.uniform(0, 15)});
        if (k == Input::Sobel8uNoise) img.fill_random(rng);
        else {
            img.fill(Zyl8u(rng.uniform(0, 255)));
            for (int r = rng.uniform(1, 6); r > 0; --r) {
                const int x0 = rng.uniform(0, w - 1), y0 = rng.uniform(0, h - 1);
                const int x1 = rng.uniform(x0, w), y1 = rng.uniform(y0, h);
                const auto v = Zyl8u(rng.uniform(0, 255));
                for (int y = y0; y < y1; ++y)
                    for (int x = x0; x < x1; ++x) img.at(x, y) = v;
            }
            each([&](int x, int y) { img.at(x, y) = Zyl8u(img.at(x, y) ^ rng.uniform(0, 3)); });
        }
        sobel(img, dx, dy);
        break;
    }
    case Input::Steps: {
        // A ramp across a straight edge of random direction: equal magnitudes along the edge,
        // a ridge or a plateau across it.
        const int cx = rng.uniform(0, w), cy = rng.uniform(0, h), a = rng.uniform(-3, 3),
                  b = rng.uniform(-3, 3), peak = rng.uniform(1, 3000), width = rng.uniform(1, 3);
        each([&](int x, int y) {
            const int d = std::abs(a * (x - cx) + b * (y - cy));
            const int m = d < width ? peak : d < 2 * width ? peak / 2 : 0;
            dx.at(x, y) = Zyl16s(a * m / 3);
            dy.at(x, y) = Zyl16s(b * m / 3);
        });
        break;
    }
    case Input::Stripes: {
        // Every other row or column a line of maxima: dense seeds in long runs.
        const bool rows = rng.chance(0.5);
        each([&](int x, int y) {
            const int v = ((rows ? y : x) % 2) ? 20000 : 30000;
            dx.at(x, y) = Zyl16s(rows ? 0 : v);
            dy.at(x, y) = Zyl16s(rows ? -v : 0);
        });
        break;
    }
    case Input::Checker:
        // Maxima on every other pixel, diagonally connected into one component.
        each([&](int x, int y) {
            dx.at(x, y) = Zyl16s((x + y) % 2 ? 16000 : -8000);
            dy.at(x, y) = Zyl16s(rng.uniform(-5, 5));
        });
        break;
    case Input::Boundaries: {
        // Gradients on and next to the direction boundaries: 4096|dy| = 9889|dx| and
        // 4096|dy| = 1697|dx| exactly, or one unit off, in every quadrant.
        const int pairs[4][2] = {{4096, 9889}, {4096, 1697}, {8192, 19778}, {8192, 3394}};
        each([&](int x, int y) {
            const int *p = pairs[rng.uniform(0, 3)];
            int ax = p[0], ay = p[1];
            (rng.chance(0.5) ? ax : ay) += rng.uniform(-1, 1);
            dx.at(x, y) = Zyl16s(rng.chance(0.5) ? -ax : ax);
            dy.at(x, y) = Zyl16s(rng.chance(0.5) ? -ay : ay);
        });
        break;
    }
    case Input::AllStrong:
        // Every pixel far above any threshold the cases use, in random directions.
        each([&](int x, int y) {
            dx.at(x, y) = Zyl16s(rng.uniform(-16000, 16000));
            dy.at(x, y) = Zyl16s(rng.uniform(-16000, 16000));
            if (dx.at(x, y) == 0 && dy.at(x, y) == 0) dx.at(x, y) = 1;
        });
        break;
    }
}

struct Thresholds {
    float low, high;
};
// Threshold pairs over the range the input's magnitudes take: zero, equal, fractional,
// above every magnitude (including 40000 and infinity).
Thresholds random_thresholds(Rng &rng, Input k)
{
    const float top = k == Input::NoiseSmall     ? 40.0f
                      : k == Input::Sobel8uNoise ? 1500.0f
                                                 : 33000.0f;
    switch (rng.uniform(0, 7)) {
    case 0:
        return {0.0f, 0.0f};
    case 1:
        return {0.0f, rng.real(0.0f, top)};
    case 2: {
        float t = std::floor(rng.real(0.0f, top));
        return {t, t};
    }
    case 3:
        return {rng.real(0.0f, top / 2), 40000.0f};
    case 4:
        return {0.0f, std::numeric_limits<float>::infinity()};
    default: {
        float a = rng.real(0.0f, top), b = rng.real(0.0f, top);
        return {std::min(a, b), std::max(a, b)};
    }
    }
}

// A work buffer of exactly the queried size at a chosen misalignment, with canaries around it.
struct Buffer {
    std::vector<std::uint8_t> bytes;
    int size, offset;
    Buffer(ZyliSize roi, int off) : offset(off)
    {
        EXPECT_EQ(zyliCannyGetSize(roi, &size), 0);
        bytes.assign(std::size_t(size) + 128 + 16, 0x5A);
    }
    Zyl8u *data()
    {
        auto base = reinterpret_cast<std::uintptr_t>(bytes.data());
        return bytes.data() + 64 + (16 - base % 16) % 16 + offset;
    }
    bool canaries_intact()
    {
        auto canary = [](std::uint8_t v) { return v == 0x5A; };
        return std::all_of(bytes.data(), data(), canary) &&
               std::all_of(data() + size, bytes.data() + bytes.size(), canary);
    }
};

// ---- validation -------------------------------------------------------------------------

TEST(Canny, SizeQuery)
{
    struct Case {
        ZyliSize roi;
        bool nullResult;
        ZylStatus st;
        Zyl32s size;
    };
    const Case cases[] = {
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
    for (const Case &c : cases) {
        Zyl32s size = -7;
        EXPECT_EQ(zyliCannyGetSize(c.roi, c.nullResult ? nullptr : &size), c.st)
            << c.roi.width << "x" << c.roi.height;
        EXPECT_EQ(size, c.size) << c.roi.width << "x" << c.roi.height;
    }
}

TEST(Canny, ValidationOrderAndNoWrites)
{
    const int w = 9, h = 5;
    Rng rng(3);
    Deriv dx({w, h}), dy({w, h});
    Image<Zyl8u> dst({w, h});
    dx.fill_random(rng);
    dy.fill_random(rng);
    dst.fill_random(rng);
    Buffer buf({w, h}, 0);
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
    const auto bufBefore = buf.bytes;
    zt::expect_statuses(refusals, [&] {
        return dst.roi_bytes() == before && dst.intact_outside_roi() && buf.bytes == bufBefore;
    });
    // Accepted corners of the same checks; the destination step needs no alignment.
    zt::expect_statuses({
        {"odd dst step", call(px, xs, py, ys, pd, ds, ok, 1, 2, pb), zylStatusOk},
        {"low -0.0, high 0", call(px, xs, py, ys, pd, ds, ok, -0.0f, 0, pb), zylStatusOk},
        {"low = high", call(px, xs, py, ys, pd, ds, ok, 7.5f, 7.5f, pb), zylStatusOk},
        {"infinite thresholds", call(px, xs, py, ys, pd, ds, ok, INFINITY, INFINITY, pb),
         zylStatusOk},
    });
}

// ---- reference comparison ---------------------------------------------------------------

// Every input kind on random layouts (padded steps, offsets, widths around the 8- and 16-pixel
// blocks), random thresholds and misaligned work buffers of exactly the queried size.
TEST(Canny, MatchesReference)
{
    const Input kinds[] = {Input::NoiseFull,      Input::NoiseSmall, Input::Sobel8uNoise,
                           Input::Sobel8uSquares, Input::Steps,      Input::Stripes,
                           Input::Checker,        Input::AllStrong,  Input::Boundaries};
    std::uint32_t seed = 100;
    for (Input k : kinds)
        for (int rep = 0; rep < 24; ++rep) {
            Rng rng(++seed);
            SCOPED_TRACE(zt::seed_note(seed));
            SCOPED_TRACE(name(k));
            const Layout l = zt::random_layout<Zyl16s>(rng, rep % 4 == 0 ? 90 : 40, 24);
            Layout ly = zt::random_layout<Zyl16s>(rng, 1, 1),
                   ld = zt::random_layout<Zyl8u>(rng, 1, 1);
            ly.width = ld.width = l.width;
            ly.height = ld.height = l.height;
            Deriv dx(l), dy(ly);
            Image<Zyl8u> dst(ld);
            make_input(k, dx, dy, rng);
            const Thresholds t = random_thresholds(rng, k);
            SCOPED_TRACE(testing::Message()
                         << l.width << "x" << l.height << " low " << t.low << " high " << t.high);
            Buffer buf(dx.size(), rng.uniform(0, 3));
            ASSERT_EQ(zyliCanny_16s8u_C1R(dx.data(), dx.step(), dy.data(), dy.step(), dst.data(),
                                          dst.step(), dx.size(), t.low, t.high, buf.data()),
                      0);
            EXPECT_TRUE(zt::same_bytes(dst.roi_bytes(), reference_canny(dx, dy, t.low, t.high)));
            EXPECT_TRUE(dst.intact_outside_roi());
            EXPECT_TRUE(buf.canaries_intact());
        }
}

// Small images whose edge maps follow from the definition by hand.
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
        {"all-zero derivatives", 7, 5, [](Deriv &, Deriv &) {}, 0, 0, none},
        {"vertical step: the larger of two columns", 9, 6,
         [](Deriv &dx, Deriv &) {
             for (int y = 0; y < 6; ++y) dx.at(4, y) = 100, dx.at(5, y) = 200;
         },
         10, 50, [](int x, int) { return x == 5; }},
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
        {"high 40000 selects nothing", 4, 4, [](Deriv &dx, Deriv &) { dx.at(1, 1) = 32767; }, 0,
         40000, none},
        {"low = high: unsuppressed pixels above the value", 6, 1,
         [](Deriv &, Deriv &dy) {
             const Zyl16s v[6] = {7, 0, 8, 0, 9, 0};  // vertical gradients: no row neighbours
             for (int x = 0; x < 6; ++x) dy.at(x, 0) = v[x];
         },
         8, 8, [](int x, int) { return x == 4; }},
        {"fractional thresholds truncate: low 8.9 keeps 9, high 8.9 seeds 9", 3, 1,
         [](Deriv &, Deriv &dy) { dy.at(0, 0) = 9, dy.at(2, 0) = 8; }, 8.9f, 8.9f,
         [](int x, int) { return x == 0; }},
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
        {"suppressed magnitudes of 1 are no edges when low is 0", 3, 1,
         [](Deriv &dx, Deriv &) { dx.at(0, 0) = 1, dx.at(1, 0) = 2, dx.at(2, 0) = 1; }, 0, 100,
         [](int, int) { return false; }},
        {"a suppressed 1 beside a seed stays out when low is 0", 3, 1,
         [](Deriv &dx, Deriv &) { dx.at(0, 0) = 1, dx.at(1, 0) = 200, dx.at(2, 0) = 1; }, 0, 100,
         [](int x, int) { return x == 1; }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Deriv dx({c.w, c.h}), dy({c.w, c.h});
        dx.fill(0);
        dy.fill(0);
        c.fill(dx, dy);
        Image<Zyl8u> dst({c.w, c.h});
        dst.fill(77);
        Buffer buf({c.w, c.h}, 0);
        ASSERT_EQ(zyliCanny_16s8u_C1R(dx.data(), dx.step(), dy.data(), dy.step(), dst.data(),
                                      dst.step(), {c.w, c.h}, c.low, c.high, buf.data()),
                  0);
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x)
                EXPECT_EQ(dst.at(x, y), c.edge(x, y) ? 255 : 0) << x << "," << y;
    }
}

// ---- twins, guard pages -----------------------------------------------------------------

// The whole magnitude map (magnitudes, suppression marks, accepted pixels) and the edge map
// agree between the twins, on widths around every block size and misaligned operands.
TEST(Canny, TwinsAgree)
{
    std::uint32_t seed = 900;
    for (int w : {1, 3, 7, 8, 9, 15, 16, 17, 23, 24, 31, 33, 64, 71})
        for (Input k : {Input::NoiseFull, Input::NoiseSmall, Input::Sobel8uSquares, Input::Checker,
                        Input::Boundaries}) {
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
                Buffer b(dx.size(), bufOffset);
                ZT_ENTRY(tw, canny)
                (dx.data(), dx.step(), dy.data(), dy.step(), d.data(), d.step(), w, h, low, high,
                 b.data());
                EXPECT_TRUE(b.canaries_intact() && d.intact_outside_roi());
                const auto L = zylcv::canny::canny_layout(b.data(), w, h);
                auto out = d.roi_bytes();
                const auto *map = reinterpret_cast<const std::uint8_t *>(L.map);
                out.insert(out.end(), map, map + std::size_t(h + 2) * L.stride * sizeof(*L.map));
                return out;
            });
        }
}

// Derivatives and destination flush against inaccessible pages, and the work buffer, exactly
// the queried size, flush against one too, on the inputs that fill the seed stack most.
TEST(Canny, StaysInsideOperandsAndBuffer)
{
    std::uint32_t seed = 2000;
    for (Input k : {Input::AllStrong, Input::Stripes, Input::Checker, Input::NoiseFull})
        for (int w : {1, 6, 17, 40})
            for (zt::Guard g : {zt::Guard::Before, zt::Guard::After}) {
                Rng rng(++seed);
                SCOPED_TRACE(zt::seed_note(seed));
                const int h = w == 40 ? 33 : 5;
                zt::GuardedImage<Zyl16s> gx(w, h, 1, g), gy(w, h, 1, g, 2 * (w % 3));
                zt::GuardedImage<Zyl8u> dst(w, h, 1, g, w % 2);
                Deriv dx({w, h}), dy({w, h});
                make_input(k, dx, dy, rng);
                gx.copy_from(dx);
                gy.copy_from(dy);
                Zyl32s size = 0;
                ASSERT_EQ(zyliCannyGetSize({w, h}, &size), 0);
                zt::GuardedImage<Zyl8u> buffer(size, 1, 1, g);
                ASSERT_EQ(zyliCanny_16s8u_C1R(gx.data(), gx.step(), gy.data(), gy.step(),
                                              dst.data(), dst.step(), {w, h}, 0.0f, 0.0f,
                                              buffer.data()),
                          0);
                EXPECT_TRUE(zt::same_bytes(dst.roi_bytes(), reference_canny(dx, dy, 0, 0)));
            }
}

}  // namespace
