// Motion-history update: validation order, a reference model on bit patterns, twins, guard pages.
#include <cmath>
#include <memory>

#include "motion_history/motion_history.h"
#include "support.h"

using zt::Image;
using zt::Layout;
using zt::Rng;

namespace {

// History pixels are handled as bit patterns throughout, so that no NaN is quieted on the way.
std::uint32_t get(Image<Zyl32f> &img, int x, int y)
{
    return std::bit_cast<std::uint32_t>(img.at(x, y));
}
void put(Image<Zyl32f> &img, int x, int y, std::uint32_t b) { std::memcpy(img.row(y) + x, &b, 4); }
float as_float(std::uint32_t b) { return std::bit_cast<float>(b); }

// Position in the total order of floats: non-negative patterns count up from 0, patterns with
// the sign bit set count down from -1 by magnitude.
std::int64_t total_order(std::uint32_t b)
{
    return b >> 31 ? -1 - std::int64_t(b & 0x7FFFFFFFu) : b;
}

// One pixel from the definition: silhouette set -> timestamp; else older than the limit -> +0.0.
std::uint32_t reference(Zyl8u s, std::uint32_t h, std::uint32_t ts, std::uint32_t limit)
{
    return s != 0 ? ts : total_order(h) < total_order(limit) ? 0u : h;
}

std::uint32_t limit_of(float ts, float dur)
{
    volatile float l = ts - dur;  // one single-precision subtraction
    return zt::bits_of(float(l));
}

ZylStatus call(Image<Zyl8u> &s, Image<Zyl32f> &h, float ts, float dur)
{
    return zyliUpdateMotionHistory_8u32f_C1IR(s.data(), s.step(), h.data(), h.step(), h.size(), ts,
                                              dur);
}

// A time scenario: timestamp and duration chosen so that the limit lands on positive and
// negative values, signed zeros, infinities and NaNs of either sign.
void random_times(Rng &rng, float &ts, float &dur)
{
    const float inf = std::numeric_limits<float>::infinity();
    switch (rng.uniform(0, 7)) {
    case 0:
        ts = 0.0f, dur = 0.0f;
        break;  // limit +0.0
    case 1:
        ts = -0.0f, dur = 0.0f;
        break;  // limit -0.0
    case 2:
        ts = as_float(0x7F800000u | (rng.bits32() & 0x803FFFFFu) | 1u), dur = 1.0f;
        break;  // NaN
    case 3:
        ts = inf, dur = inf;
        break;  // inf - inf: the default NaN
    case 4:
        ts = rng.real(-1e6f, 1e6f), dur = inf;
        break;  // -inf
    case 5:
        ts = rng.real(-100.0f, 0.0f), dur = rng.chance(0.3) ? -0.0f : rng.real(0.0f, 50.0f);
        break;
    default:
        ts = rng.real(0.0f, 1000.0f), dur = rng.real(0.0f, 500.0f);
        break;
    }
}

// History patterns: random floats, NaNs of both signs, and the patterns next to the limit and
// the timestamp, where an off-by-one in the comparison would show.
std::uint32_t random_history(Rng &rng, std::uint32_t ts, std::uint32_t limit)
{
    const std::uint32_t near[] = {limit, limit + 1,   limit - 1,          ts,
                                  0u,    0x80000000u, limit ^ 0x80000000u};
    const int k = rng.uniform(0, 9);
    if (k < 7) return near[k];
    if (k == 7) return 0x7F800000u | (rng.bits32() & 0x807FFFFFu);  // NaNs and infinities
    return zt::bits_of(zt::random_float(rng, 0.2));
}

TEST(MotionHistory, ValidationOrderAndNoWrites)
{
    const int w = 8, h = 4;
    Image<Zyl8u> s({w, h});
    Image<Zyl32f> d({w, h});
    Rng rng(5);
    s.fill_random(rng);
    d.fill_random(rng);
    const int ss = s.step(), ds = d.step();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    auto c = [&](const Zyl8u *ps, int s_, Zyl32f *pd, int d_, ZyliSize r, float dur) {
        return [=] { return zyliUpdateMotionHistory_8u32f_C1IR(ps, s_, pd, d_, r, 10.0f, dur); };
    };
    const Zyl8u *ps = s.data();
    Zyl32f *pd = d.data();
    const ZyliSize ok{w, h};
    std::vector<zt::StatusCase> refused = {
        {"null silhouette wins over size and duration", c(nullptr, -1, pd, -1, {-1, -1}, -1.0f),
         zylStatusNullPtr},
        {"null history", c(ps, ss, nullptr, ds, ok, 1.0f), zylStatusNullPtr},
        {"negative width before duration", c(ps, ss, pd, ds, {-1, h}, -1.0f), zylStatusBadSize},
        {"negative height", c(ps, ss, pd, ds, {w, -1}, 1.0f), zylStatusBadSize},
        {"silhouette step short", c(ps, w - 1, pd, ds, ok, 1.0f), zylStatusBadSize},
        {"history step one pixel short", c(ps, ss, pd, 4 * w - 4, ok, 1.0f), zylStatusBadSize},
        {"history step 4w+2 is a size fault", c(ps, ss, pd, 4 * w + 2, ok, 1.0f), zylStatusBadSize},
        {"bad step before duration", c(ps, ss, pd, 4 * w + 2, ok, nan), zylStatusBadSize},
        {"negative step with zero width", c(ps, -1, pd, ds, {0, h}, 1.0f), zylStatusBadSize},
        {"negative duration", c(ps, ss, pd, ds, ok, -1.0f), zylStatusOutOfRange},
        {"-inf duration", c(ps, ss, pd, ds, ok, -inf), zylStatusOutOfRange},
        {"NaN duration", c(ps, ss, pd, ds, ok, nan), zylStatusOutOfRange},
        {"negative duration on an empty image", c(ps, ss, pd, ds, {0, h}, -1.0f),
         zylStatusOutOfRange},
        // Accepted calls on empty images must write nothing either.
        {"zero width", c(ps, ss, pd, ds, {0, h}, 1.0f), zylStatusOk},
        {"zero height", c(ps, ss, pd, ds, {w, 0}, 1.0f), zylStatusOk},
        {"zero width with zero steps", c(ps, 0, pd, 0, {0, h}, 1.0f), zylStatusOk},
    };
    const auto before = d.roi_bytes();
    auto untouched = [&] { return d.roi_bytes() == before && d.intact_outside_roi(); };
    zt::expect_statuses(refused, untouched);
    EXPECT_TRUE(untouched()) << "an empty call wrote";
    zt::expect_statuses({
        {"-0.0 duration", c(ps, ss, pd, ds, ok, -0.0f), zylStatusOk},
        {"odd silhouette step", c(ps, ss + 1, pd, ds, ok, 1.0f), zylStatusOk},
    });
}

// Random layouts (padding, offsets, contiguous images that run as one row) and time scenarios
// against the model, bit for bit; then every twin's kernel on the same images against the
// portable one (the SSE2 kernel compares raw patterns when the limit's sign bit is clear).
TEST(MotionHistory, MatchesReferenceAndTwinsAgree)
{
    for (std::uint32_t seed = 1; seed <= 300; ++seed) {
        SCOPED_TRACE(zt::seed_note(seed));
        Rng rng(seed);
        Layout ls = zt::random_layout<Zyl8u>(rng, seed % 4 == 0 ? 150 : 40, 5);
        Layout ld = ls;
        ld.padBytes = 4 * rng.uniform(0, 9);
        ld.offset = 4 * rng.uniform(0, 3);
        if (seed % 3 == 0) ls.padBytes = ld.padBytes = 0;
        const int w = ld.width, h = ld.height;
        Image<Zyl8u> s(ls);
        float ts, dur;
        random_times(rng, ts, dur);
        const std::uint32_t tb = zt::bits_of(ts), lim = limit_of(ts, dur);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                s.at(x, y) = rng.chance(0.3) ? Zyl8u(rng.uniform(1, 255)) : 0;
        std::vector<std::uint32_t> before;
        for (int i = 0; i < w * h; ++i) before.push_back(random_history(rng, tb, lim));
        auto history = [&] {
            auto d = std::make_unique<Image<Zyl32f>>(ld);
            for (int y = 0, i = 0; y < h; ++y)
                for (int x = 0; x < w; ++x, ++i) put(*d, x, y, before[i]);
            d->snapshot();
            return d;
        };
        auto d = history();
        ASSERT_EQ(call(s, *d, ts, dur), zylStatusOk);
        for (int y = 0, i = 0; y < h; ++y)
            for (int x = 0; x < w; ++x, ++i)
                ASSERT_EQ(get(*d, x, y), reference(s.at(x, y), before[i], tb, lim))
                    << "pixel " << x << "," << y << " history 0x" << std::hex << before[i]
                    << " limit 0x" << lim;
        EXPECT_TRUE(d->intact_outside_roi());
        zt::expect_twins_agree([&](zt::Twin t) {
            auto k = history();
            ZT_ENTRY(t, update_motion_history)
            (s.data(), s.step(), k->data(), k->step(), w, h, tb, lim);
            EXPECT_TRUE(k->intact_outside_roi());
            return k->roi_bytes();
        });
    }
}

// Hand-picked cases whose results follow from the rules alone, one pixel each.
TEST(MotionHistory, EdgeValues)
{
    const std::uint32_t p5 = zt::bits_of(5.0f), p6 = zt::bits_of(6.0f), p75 = zt::bits_of(7.5f);
    struct Case {
        const char *what;
        float ts, dur;
        Zyl8u sil;
        std::uint32_t h, want;
    } cases[] = {
        {"duration 0: older is cleared", 5.0f, 0.0f, 0, zt::bits_of(4.9999995f), 0u},
        {"duration 0: equal to the timestamp stays", 5.0f, 0.0f, 0, p5, p5},
        {"newer than the timestamp stays", 5.0f, 0.0f, 0, p6, p6},
        {"the silhouette stamps", 5.0f, 0.0f, 7, p6, p5},
        {"limit +0.0: -0.0 is older", 0.0f, 0.0f, 0, 0x80000000u, 0u},
        {"limit +0.0: -5 is older", 0.0f, 0.0f, 0, zt::bits_of(-5.0f), 0u},
        {"limit +0.0: a negative denormal is older", 0.0f, 0.0f, 0, 0x80000001u, 0u},
        {"limit +0.0: +0.0 stays", 0.0f, 0.0f, 0, 0u, 0u},
        {"equal to the limit stays", 10.0f, 2.5f, 0, p75, p75},
        {"one step below the limit is cleared", 10.0f, 2.5f, 0, p75 - 1, 0u},
        {"a NaN with clear sign stays", 10.0f, 2.5f, 0, 0x7FC00000u, 0x7FC00000u},
        {"a NaN with set sign is older than anything", 10.0f, 2.5f, 0, 0xFFC00000u, 0u},
        {"limit -0.0: -0.0 stays", -0.0f, 0.0f, 0, 0x80000000u, 0x80000000u},
    };
    Image<Zyl8u> s({1, 1});
    Image<Zyl32f> d({1, 1});
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        s.at(0, 0) = c.sil;
        put(d, 0, 0, c.h);
        ASSERT_EQ(call(s, d, c.ts, c.dur), zylStatusOk);
        EXPECT_EQ(get(d, 0, 0), c.want);
    }
}

// Silhouette and history flush against inaccessible pages: only the ROI is touched.
TEST(MotionHistory, StaysInsideRoi)
{
    for (int w : {1, 9, 33, 47})
        for (zt::Guard g : {zt::Guard::Before, zt::Guard::After}) {
            Rng rng(w);
            zt::GuardedImage<Zyl8u> s(w, 3, 1, g);
            zt::GuardedImage<Zyl32f> d(w, 3, 1, g, 4);
            s.fill_random(rng);
            d.fill_random(rng);
            for (float ts : {3.0f, -3.0f})  // limits of both signs
                EXPECT_EQ(zyliUpdateMotionHistory_8u32f_C1IR(s.data(), s.step(), d.data(), d.step(),
                                                             d.size(), ts, 1.0f),
                          zylStatusOk);
        }
}

}  // namespace
