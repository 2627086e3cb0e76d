// Chamfer distance transforms: validation order, a two-pass reference on 64-bit integers,
// hand-worked distances, twins, guard pages and the consistency report.
#include <cmath>

#include "distance_transform/distance_transform.h"
#include "support.h"

using zt::Image;
using zt::Layout;
using zt::Rng;

namespace {

enum class Mask { M3, M5 };

ZylStatus transform(Mask m, const Zyl8u *s, int ss, Zyl32f *d, int ds, ZyliSize r, const Zyl32f *metrics)
{
    return m == Mask::M3 ? zyliDistanceTransform_3x3_8u32f_C1R(s, ss, d, ds, r, metrics)
                         : zyliDistanceTransform_5x5_8u32f_C1R(s, ss, d, ds, r, metrics);
}

// ---- reference model ---------------------------------------------------------------------

// A step cost in units of 2^-18, rounded to nearest with ties to even (the default rounding
// mode of nearbyint), computed in double where m * 2^18 is exact.
std::int64_t ref_cost(float m) { return std::int64_t(std::nearbyint(double(m) * 262144.0)); }

struct Offset {
    int dx, dy;
    int which;  // 0 axial, 1 diagonal, 2 knight
};
// Neighbours already visited by the forward pass; the backward pass uses their negations.
const std::vector<Offset> kFwd3 = {{-1, 0, 0}, {-1, -1, 1}, {0, -1, 0}, {1, -1, 1}};
const std::vector<Offset> kFwd5 = {{-1, 0, 0},  {-1, -1, 1}, {0, -1, 0},  {1, -1, 1},
                                   {-2, -1, 2}, {2, -1, 2},  {-1, -2, 2}, {1, -2, 2}};

// Plain two-pass chamfer transform on 64-bit integers, then the float conversion.
std::vector<float> ref_transform(Mask m, const Image<Zyl8u> &src, const float *metrics)
{
    const int w = src.width(), h = src.height();
    const std::int64_t cost[3] = {ref_cost(metrics[0]), ref_cost(metrics[1]),
                                  m == Mask::M5 ? ref_cost(metrics[2]) : 0};
    const auto &fwd = m == Mask::M3 ? kFwd3 : kFwd5;
    std::vector<std::int64_t> I(std::size_t(w) * h);
    auto at = [&](int x, int y) -> std::int64_t & { return I[std::size_t(y) * w + x]; };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) at(x, y) = src.at(x, y) == 0 ? 0 : 1073741823;
    auto relax = [&](int x, int y, int sign) {
        for (const Offset &o : fwd) {
            const int nx = x + sign * o.dx, ny = y + sign * o.dy;
            if (nx < 0 || nx >= w || ny < 0 || ny >= h) continue;
            at(x, y) = std::min(at(x, y), at(nx, ny) + cost[o.which]);
        }
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) relax(x, y, 1);
    for (int y = h - 1; y >= 0; --y)
        for (int x = w - 1; x >= 0; --x) relax(x, y, -1);
    std::vector<float> out(I.size());
    for (std::size_t i = 0; i < I.size(); ++i) {
        volatile float f = float(I[i]);  // nearest float, then an exact power-of-two scaling
        out[i] = f * (1.0f / 262144.0f);
    }
    return out;
}

::testing::AssertionResult matches(const Image<Zyl32f> &d, const std::vector<float> &want)
{
    for (int y = 0; y < d.height(); ++y)
        for (int x = 0; x < d.width(); ++x) {
            const float got = d.at(x, y), exp = want[std::size_t(y) * d.width() + x];
            if (zt::bits_of(got) != zt::bits_of(exp))
                return ::testing::AssertionFailure() << "at (" << x << "," << y << "): " << got
                                                     << " vs " << exp;
        }
    return ::testing::AssertionSuccess();
}

// Standard cost sets and arbitrary ones, including exact halves of the fixed-point unit (ties
// to even go down from 2.5 and up from 3.5) and costs with many fraction bits.
std::vector<std::vector<float>> cost_sets(Rng &rng)
{
    std::vector<std::vector<float>> sets;
    for (int kind : {30, 31, 32, 52}) {
        std::vector<float> m(3, 0.0f);
        EXPECT_EQ(zyliGetDistanceTransformMask(kind, m.data()), zylStatusOk);
        if (kind != 52) m[2] = 2.25f;  // unused by 3x3
        sets.push_back(m);
    }
    const float u = 1.0f / 262144.0f;
    sets.push_back({2.5f * u + 1.0f, 3.5f * u + 1.0f, 1024.5f * u + 2.0f});
    sets.push_back({rng.real(0.0f, 3.0f), rng.real(0.0f, 5.0f), rng.real(0.0f, 7.0f)});
    sets.push_back({rng.real(16.0f, 32.0f), rng.real(0.0f, 1e-3f), rng.real(100.0f, 900.0f)});
    sets.push_back({0.0f, 0.0f, 0.0f});
    return sets;
}

// Source images: a random density of zero pixels, or one of the structured patterns.
enum class Pattern { Random, SingleZero, NoZero, AllZero, Maze };
void fill(Image<Zyl8u> &img, Pattern p, Rng &rng)
{
    const int w = img.width(), h = img.height();
    const double density = rng.chance(0.5) ? 0.02 : rng.real(0.0f, 0.6f);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int v = rng.uniform(1, 255);
            if (p == Pattern::Random && rng.chance(density)) v = 0;
            if (p == Pattern::AllZero) v = 0;
            img.at(x, y) = Zyl8u(v);
        }
    if (p == Pattern::SingleZero) img.at(rng.uniform(0, w - 1), rng.uniform(0, h - 1)) = 0;
    if (p == Pattern::Maze) {
        // Zero walls along every other line with random gaps: long detours in both passes.
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const bool wall = (y % 4 == 1 && x % 9 != (y / 4) % 9) || (x % 6 == 3 && y % 7 == 0);
                if (wall) img.at(x, y) = 0;
            }
    }
    img.snapshot();
}

// ---- validation ----------------------------------------------------------------------------

TEST(DistanceTransform, ValidationOrderAndNoWrites)
{
    Image<Zyl8u> s({8, 5});
    Image<Zyl32f> d({8, 5});
    Rng rng(3);
    s.fill_random(rng);
    d.fill_random(rng);
    const float metrics[3] = {1.0f, 1.4f, 2.2f};
    const int ss = s.step(), ds = d.step();
    const Zyl8u *ps = s.data();
    Zyl32f *pd = d.data();
    std::vector<zt::StatusCase> cases;
    for (Mask m : {Mask::M3, Mask::M5}) {
        auto call = [&](const Zyl8u *a, int as, Zyl32f *b, int bs, ZyliSize r, const Zyl32f *mt) {
            return [=] { return transform(m, a, as, b, bs, r, mt); };
        };
        const std::string n = m == Mask::M3 ? "3x3: " : "5x5: ";
        std::vector<zt::StatusCase> mine = {
            {"null src wins over bad sizes", call(nullptr, -1, pd, 2, {-1, 5}, metrics), zylStatusNullPtr},
            {"null dst", call(ps, ss, nullptr, ds, {8, 5}, metrics), zylStatusNullPtr},
            {"null metrics", call(ps, ss, pd, ds, {8, 5}, nullptr), zylStatusNullPtr},
            {"negative width", call(ps, ss, pd, ds, {-1, 5}, metrics), zylStatusBadSize},
            {"negative height", call(ps, ss, pd, ds, {8, -1}, metrics), zylStatusBadSize},
            {"src step shorter than a row", call(ps, 7, pd, ds, {8, 5}, metrics), zylStatusBadSize},
            {"src step zero", call(ps, 0, pd, ds, {8, 5}, metrics), zylStatusBadSize},
            {"dst step shorter than a row", call(ps, ss, pd, 28, {8, 5}, metrics), zylStatusBadSize},
            {"dst step 4w+2", call(ps, ss, pd, 34, {8, 5}, metrics), zylStatusBadSize},
            {"dst step not a multiple of 4", call(ps, ss, pd, ds + 1, {8, 5}, metrics), zylStatusBadSize},
            {"zero width, height 5", call(ps, ss, pd, ds, {0, 5}, metrics), zylStatusOk},
            {"zero height", call(ps, ss, pd, ds, {8, 0}, metrics), zylStatusOk},
            {"zero width with zero steps", call(ps, 0, pd, 0, {0, 3}, metrics), zylStatusOk},
            {"negative step with zero width", call(ps, -1, pd, ds, {0, 3}, metrics), zylStatusBadSize},
        };
        for (auto &c : mine) cases.push_back({n + c.what, c.call, c.expected});
    }
    // Every case above is refused or empty: none may write.
    const auto before = d.roi_bytes();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.call(), c.expected);
        EXPECT_TRUE(d.roi_bytes() == before && d.intact_outside_roi()) << "the call wrote";
    }
}

TEST(DistanceTransformMask, KindsAndRefusals)
{
    struct Row {
        int kind;
        ZylStatus status;
        std::vector<float> values;  // the nearest floats to the standard decimals
    };
    std::vector<Row> rows = {
        {30, zylStatusOk, {1.0f, 1.0f}},
        {31, zylStatusOk, {1.0f, 2.0f}},
        {32, zylStatusOk, {0.955f, 1.3693f}},
        {52, zylStatusOk, {1.0f, 1.4f, 2.1969f}},
    };
    for (int kind : {50, 51, 53, 33, 3, 0, -30}) rows.push_back({kind, zylStatusOutOfRange, {}});
    for (const Row &r : rows) {
        SCOPED_TRACE("kind " + std::to_string(r.kind));
        float m[4] = {-7.0f, -7.0f, -7.0f, -7.0f};
        EXPECT_EQ(zyliGetDistanceTransformMask(r.kind, m), r.status);
        for (std::size_t i = 0; i < 4; ++i) {
            const float want = i < r.values.size() ? r.values[i] : -7.0f;  // the rest untouched
            EXPECT_EQ(zt::bits_of(m[i]), zt::bits_of(want)) << "element " << i;
        }
    }
    EXPECT_EQ(zyliGetDistanceTransformMask(51, nullptr), zylStatusNullPtr);
    EXPECT_EQ(zyliGetDistanceTransformMask(31, nullptr), zylStatusNullPtr);
}

// ---- results -------------------------------------------------------------------------------

// Random and structured images of many shapes (1xN, Nx1, 2x2 ... up to wider than the interior
// path needs), padded steps, odd source offsets and destination offsets off 16-byte boundaries,
// every standard and several arbitrary cost sets, against the reference; canaries around the
// destination.
TEST(DistanceTransform, MatchesReference)
{
    struct Shape {
        int w, h;
    };
    std::vector<Shape> shapes = {{1, 1}, {1, 9}, {9, 1}, {2, 2}, {3, 3}, {4, 4},  {5, 5},
                                 {2, 7}, {7, 2}, {3, 8}, {8, 3}, {4, 5}, {17, 13}, {40, 31}};
    std::uint32_t seed = 100;
    for (int extra = 0; extra < 12; ++extra) {
        Rng rng(seed + 1000 + extra);
        shapes.push_back({rng.uniform(1, 70), rng.uniform(1, 40)});
    }
    for (const Shape &sh : shapes)
        for (Pattern p : {Pattern::Random, Pattern::SingleZero, Pattern::NoZero, Pattern::AllZero, Pattern::Maze}) {
            Rng rng(++seed);
            SCOPED_TRACE(zt::seed_note(seed));
            SCOPED_TRACE("size " + std::to_string(sh.w) + "x" + std::to_string(sh.h) + " pattern " +
                         std::to_string(int(p)));
            Layout ls = zt::random_layout<Zyl8u>(rng, 1, 1);
            Layout ld = zt::random_layout<Zyl32f>(rng, 1, 1);
            ls.width = ld.width = sh.w;
            ls.height = ld.height = sh.h;
            Image<Zyl8u> src(ls);
            fill(src, p, rng);
            const auto srcBytes = src.roi_bytes();
            for (const auto &metrics : cost_sets(rng))
                for (Mask m : {Mask::M3, Mask::M5}) {
                    SCOPED_TRACE(std::string(m == Mask::M3 ? "3x3" : "5x5") + " costs " +
                                 std::to_string(metrics[0]) + " " + std::to_string(metrics[1]) +
                                 " " + std::to_string(metrics[2]));
                    Image<Zyl32f> dst(ld);
                    dst.fill_random(rng);
                    ASSERT_EQ(transform(m, src.data(), src.step(), dst.data(), dst.step(), src.size(),
                                        metrics.data()), zylStatusOk);
                    ASSERT_TRUE(matches(dst, ref_transform(m, src, metrics.data())));
                    ASSERT_TRUE(dst.intact_outside_roi());
                    ASSERT_TRUE(src.intact_outside_roi() && src.roi_bytes() == srcBytes);
                }
        }
}

// Distances worked out by hand, independent of the reference model.
TEST(DistanceTransform, KnownDistances)
{
    struct Case {
        const char *what;
        Mask mask;
        int kind, w, h, zx, zy;  // one zero pixel at (zx, zy), or none when zx < 0
        // expected value at (x, y) given the offsets from the zero pixel
        float (*expect)(int ax, int ay);
    };
    const std::vector<Case> cases = {
        {"city block, centre of 5x5", Mask::M3, 31, 5, 5, 2, 2, [](int ax, int ay) { return float(ax + ay); }},
        {"chessboard, centre of 5x5", Mask::M3, 30, 5, 5, 2, 2, [](int ax, int ay) { return float(std::max(ax, ay)); }},
        {"city block, 1x7 row", Mask::M3, 31, 7, 1, 2, 0, [](int ax, int) { return float(ax); }},
        {"chessboard, 1x6 column", Mask::M3, 30, 1, 6, 0, 4, [](int, int ay) { return float(ay); }},
        {"5x5 mask, 1x9 row", Mask::M5, 52, 9, 1, 8, 0, [](int ax, int) { return float(ax); }},
        {"5x5 mask, 1x8 column", Mask::M5, 52, 1, 8, 0, 0, [](int, int ay) { return float(ay); }},
        {"5x5 knight moves in a 3x3 corner", Mask::M5, 31, 3, 3, 0, 0,
         // a knight move (2) reaches (2,1) and (1,2); one more axial step (1) reaches (2,2)
         [](int ax, int ay) { return ax + ay == 3 ? 2.0f : ax + ay == 4 ? 3.0f : float(ax + ay); }},
        {"no zero pixel, 3x3 mask", Mask::M3, 32, 6, 4, -1, 0, [](int, int) { return 4096.0f; }},
        {"no zero pixel, 5x5 mask", Mask::M5, 52, 4, 6, -1, 0, [](int, int) { return 4096.0f; }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Image<Zyl8u> s({c.w, c.h});
        s.fill(9);
        if (c.zx >= 0) s.at(c.zx, c.zy) = 0;
        float m[3] = {};
        ASSERT_EQ(zyliGetDistanceTransformMask(c.kind, m), zylStatusOk);
        if (c.kind == 31 && c.mask == Mask::M5) m[2] = 2.0f;  // knight move at 2 in the corner case
        Image<Zyl32f> d({c.w, c.h});
        ASSERT_EQ(transform(c.mask, s.data(), s.step(), d.data(), d.step(), {c.w, c.h}, m), zylStatusOk);
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x)
                EXPECT_EQ(d.at(x, y), c.expect(std::abs(x - c.zx), std::abs(y - c.zy))) << x << "," << y;
    }
}

// ---- twins, borders, report ----------------------------------------------------------------

#if ZYLCV_SIMD
// Portable and SSE2 transforms agree bit for bit on widths around the 8-pixel blocks and with
// aligned and unaligned destination rows.
TEST(DistanceTransform, TwinsAgree)
{
    std::uint32_t seed = 700;
    for (int w : {1, 3, 7, 8, 9, 15, 16, 17, 33, 100})
        for (int off : {0, 4, 12})
            for (int pad : {0, 4, 16}) {
                Rng rng(++seed);
                SCOPED_TRACE(zt::seed_note(seed));
                const int h = rng.uniform(1, 12);
                Image<Zyl8u> s({w, h, 1, pad + 1, off + 3});
                fill(s, Pattern::Random, rng);
                Image<Zyl32f> d1({w, h, 1, pad, off}), d2({w, h, 1, pad, off});
                const zylcv::dt::Costs c{rng.uniform(0, 1 << 20), rng.uniform(0, 1 << 20), rng.uniform(0, 1 << 21)};
                for (bool five : {false, true}) {
                    if (five) {
                        zylcv::portable::distance_transform_5x5(s.data(), s.step(), d1.data(), d1.step(), w, h, c);
                        zylcv::sse2::distance_transform_5x5(s.data(), s.step(), d2.data(), d2.step(), w, h, c);
                    } else {
                        zylcv::portable::distance_transform_3x3(s.data(), s.step(), d1.data(), d1.step(), w, h, c);
                        zylcv::sse2::distance_transform_3x3(s.data(), s.step(), d2.data(), d2.step(), w, h, c);
                    }
                    EXPECT_TRUE(zt::same_bytes(d1.roi_bytes(), d2.roi_bytes()));
                    EXPECT_TRUE(d2.intact_outside_roi());
                }
            }
}
#endif

// Source and destination flush against inaccessible pages before and after: nothing outside
// either ROI is read (the destination is read back by both passes).
TEST(DistanceTransform, StaysInsideRoi)
{
    const float m[3] = {1.0f, 1.4f, 2.1969f};
    for (auto [w, h] : {std::pair{1, 1}, {1, 7}, {7, 1}, {2, 2}, {3, 5}, {9, 4}, {33, 6}})
        for (zt::Guard g : {zt::Guard::Before, zt::Guard::After})
            for (Mask mk : {Mask::M3, Mask::M5}) {
                Rng rng(w * 31 + h);
                zt::GuardedImage<Zyl8u> s(w, h, 1, g);
                zt::GuardedImage<Zyl32f> d(w, h, 1, g);
                s.fill_random(rng);
                s.row(0)[0] = 0;
                EXPECT_EQ(transform(mk, s.data(), s.step(), d.data(), d.step(), s.size(), m), zylStatusOk);
            }
}

// A backward pass that ends anywhere but the first destination row is reported through the
// assertion handler under the family's source name and line.
TEST(DistanceTransformDeathTest, BackwardEndReport)
{
    Zyl32f d[4] = {};
    EXPECT_DEATH(zylcv::dt::check_backward_end(reinterpret_cast<int *>(d) + 1, d),
                 "src/zycvdistransform:588: .*idist == \\(int\\*\\)pDst");
}

}  // namespace
