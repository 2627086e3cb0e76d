// Fast arctangent: validation order, a reference written from the algorithm's steps, the
// documented sample angles, twins, guard pages.
#include <algorithm>
#include <cmath>
#include <limits>

#include "arctan/arctan.h"
#include "support.h"

using zt::Rng;

namespace {

float flip(float v) { return std::bit_cast<float>(std::bit_cast<std::uint32_t>(v) ^ 0x80000000u); }

// The angle of (x, y) following the steps one by one, each a single-precision operation.
float reference_atan(float y, float x)
{
    const float ax = std::fabs(x), ay = std::fabs(y);
    const float m = std::max(std::max(ax, ay), 9.99999994e-09f), n = std::min(ax, ay);
    const float z = n / m;
    const float c2 = -15.8131895f, c1 = 61.0941963f, c0 = -0.140500411f;
    const float p = (c2 * z + c1) * z + c0;
    float a = ax < ay ? 90.0f + flip(p) : p;
    if (x < 0) a = 180.0f + flip(a);
    if (y < 0) a = 360.0f + flip(a);
    return a;
}

// Equal bits; where either input is NaN (the steps do not say which NaN wins) the result only
// has to be a NaN.
::testing::AssertionResult same_angle(float got, float y, float x)
{
    if (std::isnan(x) || std::isnan(y)) {
        if (std::isnan(got)) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "NaN input gave " << got;
    }
    return zt::same_bits_or_nan(got, reference_atan(y, x)) << " for atan(" << y << ", " << x << ")";
}

// Inputs: ordinary values of mixed magnitudes, small integers (exact ratios, ties between |x|
// and |y|, zeros of both signs) and special values.
float random_component(Rng &rng)
{
    if (rng.chance(0.3)) return float(rng.uniform(-3, 3)) * (rng.chance(0.5) ? 1.0f : -1.0f);
    return zt::random_float(rng, 0.1);
}

TEST(FastArctan, ValidationOrderAndNoWrites)
{
    float y[4] = {1, 2, 3, 4}, x[4] = {1, 1, 1, 1}, d[4] = {-7, -7, -7, -7};
    auto call = [](const float *py, const float *px, float *pd, int n) {
        return [=] { return zylibFastArctan_32f(py, px, pd, n); };
    };
    zt::expect_statuses(
        {
            {"null y before length", call(nullptr, x, d, -1), zylStatusNullPtr},
            {"null x", call(y, nullptr, d, 4), zylStatusNullPtr},
            {"null dst before length", call(y, x, nullptr, -1), zylStatusNullPtr},
            {"negative length", call(y, x, d, -1), zylStatusBadSize},
            {"length 0 writes nothing", call(y, x, d, 0), zylStatusOk},
        },
        [&] { return d[0] == -7 && d[1] == -7 && d[2] == -7 && d[3] == -7; });
    EXPECT_TRUE(d[0] == -7 && d[3] == -7);
}

// The documented angles, to a tolerance far below the fit's error: a wrong constant or a
// missing quadrant step moves them by much more.
TEST(FastArctan, DocumentedAngles)
{
    struct Case {
        float y, x, angle;
    };
    const Case cases[] = {
        {0, 1, -0.1405f},     {0, -1, 180.1405f},    {0, 0, -0.1405f},       {1, 0, 90.1405f},
        {-1, 0, 269.8595f},   {1, 1, 45.1405064f},   {-1, -1, 225.1405064f}, {0, -0.0f, -0.1405f},
        {-0.0f, 0, -0.1405f}, {1, -1, 134.8594936f}, {-1, 1, 314.8594936f},  {3, 1e-30f, 90.1405f},
    };
    float y[12], x[12], d[12];
    for (int i = 0; i < 12; ++i) y[i] = cases[i].y, x[i] = cases[i].x;
    ASSERT_EQ(zylibFastArctan_32f(y, x, d, 12), 0);
    for (int i = 0; i < 12; ++i)
        EXPECT_NEAR(d[i], cases[i].angle, 1e-4f) << cases[i].y << ", " << cases[i].x;
}

// Every length from 0 to 17 and longer arrays, at every offset from a 32-byte boundary (the
// same for all three arrays, so the aligned path runs too), against the reference, and every
// twin against the portable one, whose angles do not depend on an element's position (so neither
// do theirs, NaN payloads included); nothing past the end is written.
TEST(FastArctan, MatchesReferenceAndTwinsAgree)
{
    std::uint32_t seed = 10;
    for (int n : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 31, 33, 257, 1000})
        for (int off = 0; off < 8; ++off) {
            Rng rng(++seed);
            SCOPED_TRACE(zt::seed_note(seed));
            // y, x and dst at `off` past 32-byte boundaries, a few guard elements after the end.
            const int len = (off + n + 8 + 7) & ~7;
            std::vector<float> storage(3 * len + 8);
            auto at = reinterpret_cast<std::uintptr_t>(storage.data());
            float *ys = storage.data() + (32 - at % 32) % 32 / 4, *xs = ys + len, *dst = xs + len;
            for (int i = 0; i < len; ++i)
                ys[i] = random_component(rng), xs[i] = random_component(rng), dst[i] = -7.0f;
            const float *y = ys + off, *x = xs + off;
            ASSERT_EQ(zylibFastArctan_32f(y, x, dst + off, n), 0);
            for (int i = 0; i < off; ++i) EXPECT_EQ(dst[i], -7.0f);
            for (int i = 0; i < n; ++i)
                ASSERT_TRUE(same_angle(dst[off + i], y[i], x[i])) << "element " << i;
            for (int i = off + n; i < len; ++i) EXPECT_EQ(dst[i], -7.0f);
            zt::expect_twins_agree([&](zt::Twin t) {
                std::fill(dst, dst + len, -7.0f);
                ZT_ENTRY(t, fast_arctan)(y, x, dst + off, n);
                const auto *p = reinterpret_cast<const std::uint8_t *>(dst);
                return std::vector<std::uint8_t>(p, p + 4 * len);
            });
        }
    // Every pair of special values.
    const auto sp = zt::special_floats();
    std::vector<float> y, x, d;
    for (float a : sp)
        for (float b : sp) y.push_back(a), x.push_back(b);
    d.resize(y.size());
    ASSERT_EQ(zylibFastArctan_32f(y.data(), x.data(), d.data(), int(y.size())), 0);
    for (std::size_t i = 0; i < y.size(); ++i) EXPECT_TRUE(same_angle(d[i], y[i], x[i])) << i;
}

// Sources and destination flush against inaccessible pages: the padded tail reads and writes
// only the valid elements.
TEST(FastArctan, StaysInsideArrays)
{
    for (int n : {1, 2, 3, 4, 5, 6, 7, 9, 13, 21, 24, 31})
        for (zt::Guard g : {zt::Guard::Before, zt::Guard::After}) {
            Rng rng(n);
            zt::GuardedImage<Zyl32f> y(n, 1, 1, g), x(n, 1, 1, g), d(n, 1, 1, g);
            y.fill_random(rng);
            x.fill_random(rng);
            ASSERT_EQ(zylibFastArctan_32f(y.data(), x.data(), d.data(), n), 0);
            for (int i = 0; i < n; ++i)
                EXPECT_TRUE(same_angle(d.data()[i], y.data()[i], x.data()[i]));
        }
}

}  // namespace
