// Chamfer distance transforms: validation order, a two-pass reference on 64-bit integers,
// hand-worked distances, twins, guard pages and the consistency report.
#include <cmath>
#include <cstring>

#include "distance_transform/distance_transform.h"
#include "support.h"

using zt::Image;
using zt::Rng;

namespace {

// The transform with m x m step costs, m = 3 or 5.
ZylStatus transform(int m, const Zyl8u *s, int ss, Zyl32f *d, int ds, ZyliSize r,
                    const Zyl32f *metrics)
{
    return (m == 3 ? zyliDistanceTransform_3x3_8u32f_C1R
                   : zyliDistanceTransform_5x5_8u32f_C1R)(s, ss, d, ds, r, metrics);
}

// A step cost in units of 2^-18, rounded to nearest with ties to even (the default rounding
// mode of nearbyint), computed in double where m * 2^18 is exact.
std::int64_t ref_cost(float m) { return std::int64_t(std::nearbyint(double(m) * 262144.0)); }

struct Offset {
    int dx, dy, which;  // which: 0 axial, 1 diagonal, 2 knight
};
// Neighbours already visited by the forward pass; the backward pass uses their negations.
const std::vector<Offset> kFwd3 = {{-1, 0, 0}, {-1, -1, 1}, {0, -1, 0}, {1, -1, 1}};
const std::vector<Offset> kFwd5 = {{-1, 0, 0},  {-1, -1, 1}, {0, -1, 0},  {1, -1, 1},
                                   {-2, -1, 2}, {2, -1, 2},  {-1, -2, 2}, {1, -2, 2}};

// Plain two-pass chamfer transform on 64-bit integers, then the float conversion; the floats'
// bytes row by row.
std::vector<std::uint8_t> ref_transform(int m, const Image<Zyl8u> &src, const float *metrics)
{
    const int w = src.width(), h = src.height();
    const std::int64_t cost[3] = {ref_cost(metrics[0]), ref_cost(metrics[1]),
                                  m == 5 ? ref_cost(metrics[2]) : 0};
    const auto &fwd = m == 3 ? kFwd3 : kFwd5;
    std::vector<std::int64_t> I(std::size_t(w) * h);
    auto at = [&](int x, int y) -> std::int64_t & { return I[std::size_t(y) * w + x]; };
    for (int i = 0; i < w * h; ++i) at(i % w, i / w) = src.at(i % w, i / w) == 0 ? 0 : 1073741823;
    auto relax = [&](int x, int y, int sign) {
        for (const Offset &o : fwd) {
            const int nx = x + sign * o.dx, ny = y + sign * o.dy;
            if (nx < 0 || nx >= w || ny < 0 || ny >= h) continue;
            at(x, y) = std::min(at(x, y), at(nx, ny) + cost[o.which]);
        }
    };
    for (int i = 0; i < w * h; ++i) relax(i % w, i / w, 1);  // forward: rows down, left to right
    for (int i = w * h - 1; i >= 0; --i) relax(i % w, i / w, -1);
    std::vector<std::uint8_t> out(I.size() * 4);
    for (std::size_t i = 0; i < I.size(); ++i) {
        volatile float f = float(I[i]);  // nearest float, then an exact power-of-two scaling
        const float v = f * (1.0f / 262144.0f);
        std::memcpy(&out[4 * i], &v, 4);
    }
    return out;
}

// Standard cost sets and arbitrary ones, including exact halves of the fixed-point unit (ties
// to even go down from 2.5 and up from 3.5) and costs with many fraction bits.
std::vector<std::vector<float>> cost_sets(Rng &rng)
{
    std::vector<std::vector<float>> sets;
    for (int kind : {30, 31, 32, 52}) {
        std::vector<float> m(3, 2.25f);  // the third cost stays for the 3x3 kinds (unused by 3x3)
        EXPECT_EQ(zyliGetDistanceTransformMask(kind, m.data()), zylStatusOk);
        sets.push_back(m);
    }
    const float u = 1.0f / 262144.0f;
    sets.insert(sets.end(),
                {{2.5f * u + 1.0f, 3.5f * u + 1.0f, 1024.5f * u + 2.0f},
                 {rng.real(0.0f, 3.0f), rng.real(0.0f, 5.0f), rng.real(0.0f, 7.0f)},
                 {rng.real(16.0f, 32.0f), rng.real(0.0f, 1e-3f), rng.real(100.0f, 900.0f)},
                 {0.0f, 0.0f, 0.0f}});
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
            const int v = rng.uniform(1, 255);
            img.at(x, y) = Zyl8u(
                p == Pattern::AllZero || (p == Pattern::Random && rng.chance(density)) ? 0 : v);
        }
    if (p == Pattern::SingleZero) img.at(rng.uniform(0, w - 1), rng.uniform(0, h - 1)) = 0;
    // Maze: zero walls along every other line with random gaps, long detours in both passes.
    for (int y = 0; p == Pattern::Maze && y < h; ++y)
        for (int x = 0; x < w; ++x)
            if ((y % 4 == 1 && x % 9 != (y / 4) % 9) || (x % 6 == 3 && y % 7 == 0))
                img.at(x, y) = 0;
    img.snapshot();
}

TEST(DistanceTransform, ValidationOrderAndNoWrites)
{
    Image<Zyl8u> s({8, 5});
    Image<Zyl32f> d({8, 5});
    Rng rng(3);
    s.fill_random(rng), d.fill_random(rng);
    const float metrics[3] = {1.0f, 1.4f, 2.2f};
    const int ss = s.step(), ds = d.step();
    const Zyl8u *ps = s.data();
    Zyl32f *pd = d.data();
    const auto before = d.roi_bytes();
    auto untouched = [&] { return d.roi_bytes() == before && d.intact_outside_roi(); };
    for (int m : {3, 5}) {
        SCOPED_TRACE(m == 3 ? "3x3" : "5x5");
        auto call = [&](const Zyl8u *a, int as, Zyl32f *b, int bs, ZyliSize r, const Zyl32f *mt) {
            return [=] { return transform(m, a, as, b, bs, r, mt); };
        };
        zt::expect_statuses(
            {
                {"null src wins over bad sizes", call(nullptr, -1, pd, 2, {-1, 5}, metrics),
                 zylStatusNullPtr},
                {"null dst", call(ps, ss, nullptr, ds, {8, 5}, metrics), zylStatusNullPtr},
                {"null metrics", call(ps, ss, pd, ds, {8, 5}, nullptr), zylStatusNullPtr},
                {"negative width", call(ps, ss, pd, ds, {-1, 5}, metrics), zylStatusBadSize},
                {"negative height", call(ps, ss, pd, ds, {8, -1}, metrics), zylStatusBadSize},
                {"src step shorter than a row", call(ps, 7, pd, ds, {8, 5}, metrics),
                 zylStatusBadSize},
                {"src step zero", call(ps, 0, pd, ds, {8, 5}, metrics), zylStatusBadSize},
                {"dst step shorter than a row", call(ps, ss, pd, 28, {8, 5}, metrics),
                 zylStatusBadSize},
                {"dst step 4w+2", call(ps, ss, pd, 34, {8, 5}, metrics), zylStatusBadSize},
                {"dst step not a multiple of 4", call(ps, ss, pd, ds + 1, {8, 5}, metrics),
                 zylStatusBadSize},
                {"zero width, height 5", call(ps, ss, pd, ds, {0, 5}, metrics), zylStatusOk},
                {"zero height", call(ps, ss, pd, ds, {8, 0}, metrics), zylStatusOk},
                {"zero width with zero steps", call(ps, 0, pd, 0, {0, 3}, metrics), zylStatusOk},
                {"negative step with zero width", call(ps, -1, pd, ds, {0, 3}, metrics),
                 zylStatusBadSize},
            },
            untouched);
        EXPECT_TRUE(untouched()) << "an empty image was written";
    }
}

TEST(DistanceTransformMask, KindsAndRefusals)
{
    struct Row {
        int kind;
        ZylStatus status;
        std::vector<float> values;  // the nearest floats to the standard decimals
    };
    std::vector<Row> rows = {{30, zylStatusOk, {1.0f, 1.0f}},
                             {31, zylStatusOk, {1.0f, 2.0f}},
                             {32, zylStatusOk, {0.955f, 1.3693f}},
                             {52, zylStatusOk, {1.0f, 1.4f, 2.1969f}}};
    for (int kind : {50, 51, 53, 33, 3, 0, -30}) rows.push_back({kind, zylStatusOutOfRange, {}});
    for (const Row &r : rows) {
        SCOPED_TRACE("kind " + std::to_string(r.kind));
        float m[4] = {-7.0f, -7.0f, -7.0f, -7.0f};
        EXPECT_EQ(zyliGetDistanceTransformMask(r.kind, m), r.status);
        for (std::size_t i = 0; i < 4; ++i)  // the elements past the kind's values untouched
            EXPECT_EQ(zt::bits_of(m[i]), zt::bits_of(i < r.values.size() ? r.values[i] : -7.0f))
                << "element " << i;
    }
    for (int kind : {51, 31})
        EXPECT_EQ(zyliGetDistanceTransformMask(kind, nullptr), zylStatusNullPtr);
}

// Random and structured images of many shapes (1xN, Nx1, 2x2 ... up to wider than the interior
// path needs), padded steps, odd source offsets and destination offsets off 16-byte boundaries,
// every standard and several arbitrary cost sets, against the reference; canaries around the
// destination.
TEST(DistanceTransform, MatchesReference)
{
    std::vector<std::pair<int, int>> shapes = {{1, 1}, {1, 9}, {9, 1},   {2, 2},  {3, 3},
                                               {4, 4}, {5, 5}, {2, 7},   {7, 2},  {3, 8},
                                               {8, 3}, {4, 5}, {17, 13}, {40, 31}};
    Rng shapeRng(1100);
    for (int extra = 0; extra < 12; ++extra)
        shapes.push_back({shapeRng.uniform(1, 70), shapeRng.uniform(1, 40)});
    std::uint32_t seed = 100;
    for (const auto [w, h] : shapes)
        for (Pattern p : {Pattern::Random, Pattern::SingleZero, Pattern::NoZero, Pattern::AllZero,
                          Pattern::Maze}) {
            Rng rng(++seed);
            SCOPED_TRACE(zt::seed_note(seed) + " size " + std::to_string(w) + "x" +
                         std::to_string(h) + " pattern " + std::to_string(int(p)));
            zt::Layout ls = zt::random_layout<Zyl8u>(rng, 1, 1),
                       ld = zt::random_layout<Zyl32f>(rng, 1, 1);
            ls.width = ld.width = w;
            ls.height = ld.height = h;
            Image<Zyl8u> src(ls);
            fill(src, p, rng);
            const auto srcBytes = src.roi_bytes();
            for (const auto &metrics : cost_sets(rng))
                for (int m : {3, 5}) {
                    SCOPED_TRACE(std::string(m == 3 ? "3x3" : "5x5") + " costs " +
                                 std::to_string(metrics[0]) + " " + std::to_string(metrics[1]) +
                                 " " + std::to_string(metrics[2]));
                    Image<Zyl32f> dst(ld);
                    dst.fill_random(rng);
                    ASSERT_EQ(transform(m, src.data(), src.step(), dst.data(), dst.step(),
                                        src.size(), metrics.data()),
                              zylStatusOk);
                    ASSERT_TRUE(
                        zt::same_bytes(dst.roi_bytes(), ref_transform(m, src, metrics.data())));
                    ASSERT_TRUE(dst.intact_outside_roi() && src.intact_outside_roi() &&
                                src.roi_bytes() == srcBytes);
                }
        }
}

// Distances worked out by hand, independent of the reference model.
TEST(DistanceTransform, KnownDistances)
{
    struct Case {  // one zero pixel at (zx, zy), or none when zx < 0; expect(|x - zx|, |y - zy|)
        const char *what;
        int mask;
        int kind, w, h, zx, zy;
        float (*expect)(int ax, int ay);
    };
    const std::vector<Case> cases = {
        {"city block, centre of 5x5", 3, 31, 5, 5, 2, 2,
         [](int ax, int ay) { return float(ax + ay); }},
        {"chessboard, centre of 5x5", 3, 30, 5, 5, 2, 2,
         [](int ax, int ay) { return float(std::max(ax, ay)); }},
        {"city block, 1x7 row", 3, 31, 7, 1, 2, 0, [](int ax, int) { return float(ax); }},
        {"chessboard, 1x6 column", 3, 30, 1, 6, 0, 4, [](int, int ay) { return float(ay); }},
        {"5x5 mask, 1x9 row", 5, 52, 9, 1, 8, 0, [](int ax, int) { return float(ax); }},
        {"5x5 mask, 1x8 column", 5, 52, 1, 8, 0, 0, [](int, int ay) { return float(ay); }},
        {"5x5 knight moves in a 3x3 corner", 5, 31, 3, 3, 0, 0,
         // a knight move (2) reaches (2,1) and (1,2); one more axial step (1) reaches (2,2)
         [](int ax, int ay) { return ax + ay == 3   ? 2.0f
                                     : ax + ay == 4 ? 3.0f
                                                    : float(ax + ay); }},
        {"no zero pixel, 3x3 mask", 3, 32, 6, 4, -1, 0, [](int, int) { return 4096.0f; }},
        {"no zero pixel, 5x5 mask", 5, 52, 4, 6, -1, 0, [](int, int) { return 4096.0f; }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Image<Zyl8u> s({c.w, c.h});
        s.fill(9);
        if (c.zx >= 0) s.at(c.zx, c.zy) = 0;
        float m[3] = {};
        ASSERT_EQ(zyliGetDistanceTransformMask(c.kind, m), zylStatusOk);
        if (c.kind == 31 && c.mask == 5) m[2] = 2.0f;  // knight move at 2 in the corner case
        Image<Zyl32f> d({c.w, c.h});
        ASSERT_EQ(transform(c.mask, s.data(), s.step(), d.data(), d.step(), {c.w, c.h}, m),
                  zylStatusOk);
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x)
                EXPECT_EQ(d.at(x, y), c.expect(std::abs(x - c.zx), std::abs(y - c.zy)))
                    << x << "," << y;
    }
}

// Every twin gives the portable twin's bits on widths that leave every tail of the 8- and
// 16-pixel blocks and with aligned and unaligned destination rows.
TEST(DistanceTransform, TwinsAgree)
{
    std::uint32_t seed = 700;
    for (int w = 1; w <= 100; w += w < 49 ? 1 : 51)
        for (int off : {0, 4, 12, 16})
            for (int pad : {0, 4, 16}) {
                Rng rng(++seed);
                SCOPED_TRACE(zt::seed_note(seed));
                const int h = rng.uniform(1, 12);
                Image<Zyl8u> s({w, h, 1, pad + 1, off + 3});
                fill(s, Pattern::Random, rng);
                const zylcv::distance_transform::Costs c{
                    rng.uniform(0, 1 << 20), rng.uniform(0, 1 << 20), rng.uniform(0, 1 << 21)};
                zt::expect_twins_agree([&](zt::Twin t) {
                    Image<Zyl32f> d3({w, h, 1, pad, off}), d5({w, h, 1, pad, off});
                    ZT_ENTRY(t, chamfer<3>)(s.data(), s.step(), d3.data(), d3.step(), w, h, c);
                    ZT_ENTRY(t, chamfer<5>)(s.data(), s.step(), d5.data(), d5.step(), w, h, c);
                    EXPECT_TRUE(d3.intact_outside_roi() && d5.intact_outside_roi());
                    auto bytes = d3.roi_bytes(), more = d5.roi_bytes();
                    bytes.insert(bytes.end(), more.begin(), more.end());
                    return bytes;
                });
            }
}

// Source and destination flush against inaccessible pages before and after: nothing outside
// either ROI is read (the destination is read back by both passes).
TEST(DistanceTransform, StaysInsideRoi)
{
    const float m[3] = {1.0f, 1.4f, 2.1969f};
    for (auto [w, h] : {std::pair{1, 1}, {1, 7}, {7, 1}, {2, 2}, {3, 5}, {9, 4}, {33, 6}})
        for (zt::Guard g : {zt::Guard::Before, zt::Guard::After})
            for (int mk : {3, 5}) {
                Rng rng(w * 31 + h);
                zt::GuardedImage<Zyl8u> s(w, h, 1, g);
                zt::GuardedImage<Zyl32f> d(w, h, 1, g);
                s.fill_random(rng), s.row(0)[0] = 0;
                EXPECT_EQ(transform(mk, s.data(), s.step(), d.data(), d.step(), s.size(), m),
                          zylStatusOk);
            }
}

// A backward pass ending off the first destination row is reported under the family's name and line.
TEST(DistanceTransformDeathTest, BackwardEndReport)
{
    Zyl32f d[4] = {};
    EXPECT_DEATH(zylcv::distance_transform::check_backward_end(reinterpret_cast<int *>(d) + 1, d),
                 "src/zycvdistransform:588: .*idist == \\(int\\*\\)pDst");
}

}  // namespace
