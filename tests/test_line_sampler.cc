// Line sampler: validation order, a midpoint-line reference computed from coordinates, hand-traced
// lines, canaries after the samples and sources flush against guard pages.
#include <algorithm>

#include "support.h"

using zt::Image;
using zt::Layout;
using zt::Rng;

namespace {

// The four exported functions, one type each.
template <class T, int C, ZylStatus (*F)(const T *, Zyl32s, ZyliSize, T *, ZyliPoint, ZyliPoint)>
struct Member {
    using Type = T;
    static constexpr int channels = C;
    static constexpr auto sample = F;
};
template <class M> class SampleLine : public ::testing::Test {
};
using Members = ::testing::Types<
    Member<Zyl8u, 1, zyliSampleLine_8u_C1R>, Member<Zyl8u, 3, zyliSampleLine_8u_C3R>,
    Member<Zyl32f, 1, zyliSampleLine_32f_C1R>, Member<Zyl32f, 3, zyliSampleLine_32f_C3R>>;
TYPED_TEST_SUITE(SampleLine, Members);

// The pixels of the digital line from a to b, from coordinates: along the longer axis (y when
// the two are equal) one pixel per sample; the offset along the other axis after k steps is the
// integer nearest to k*m/M, an exact half staying on the side of a.
std::vector<ZyliPoint> ref_line(ZyliPoint a, ZyliPoint b)
{
    const int dx = b.x - a.x, dy = b.y - a.y;
    const long long ax = std::llabs(dx), ay = std::llabs(dy);
    const bool yMajor = ax <= ay;
    const long long M = yMajor ? ay : ax, m = yMajor ? ax : ay;
    const int sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
    std::vector<ZyliPoint> pts;
    for (long long k = 0; k <= M; ++k) {
        long long o = 0;
        if (M > 0) {
            o = k * m / M;
            const long long rem = k * m - o * M;  // k*m/M = o + rem/M
            if (2 * rem > M) ++o;                 // past the half: round up; a half stays
        }
        pts.push_back({int(a.x + sx * (yMajor ? o : k)), int(a.y + sy * (yMajor ? k : o))});
    }
    return pts;
}

// ---- validation ----------------------------------------------------------------------------

TYPED_TEST(SampleLine, ValidationOrderAndNoWrites)
{
    using T = typename TypeParam::Type;
    constexpr int C = TypeParam::channels;
    constexpr int E = int(sizeof(T)) * C;  // bytes per pixel
    constexpr bool f32 = std::is_same_v<T, Zyl32f>;
    Image<T> s({6, 5, C});
    Rng rng(5);
    s.fill_random(rng);
    Image<T> d({8, 1, C});  // room for the longest line of a 6x5 image, canaries around
    d.fill_random(rng);
    const int ss = s.step();
    const T *ps = s.data();
    T *pd = d.data();
    const ZyliSize ok{6, 5};
    auto call = [&](const T *a, int as, ZyliSize r, T *b, ZyliPoint p1, ZyliPoint p2) {
        return [=] { return TypeParam::sample(a, as, r, b, p1, p2); };
    };
    const ZyliPoint o{0, 0}, far{5, 4};
    std::vector<zt::StatusCase> cases = {
        {"null src wins over step, size and points", call(nullptr, 0, {0, 0}, pd, {-1, 9}, o),
         zylStatusNullPtr},
        {"null dst", call(ps, ss, ok, nullptr, o, far), zylStatusNullPtr},
        {"zero step before size", call(ps, 0, {0, 5}, pd, o, far), zylStatusBadStep},
        {"negative step", call(ps, -ss, ok, pd, o, far), zylStatusBadStep},
        {"zero width before alignment", call(ps, 10, {0, 5}, pd, o, far), zylStatusBadSize},
        {"zero height", call(ps, ss, {6, 0}, pd, o, far), zylStatusBadSize},
        {"negative width", call(ps, ss, {-6, 5}, pd, o, far), zylStatusBadSize},
        {"step 10", call(ps, 10, {2, 2}, pd, o, {1, 1}),
         f32 ? zylStatusStepNotAligned : (10 < 2 * E ? zylStatusError : zylStatusOk)},
        {"step shorter than a row", call(ps, 6 * E - (f32 ? 4 : 1), ok, pd, o, far),
         zylStatusError},
        {"pt2.x = width", call(ps, ss, ok, pd, o, {6, 4}), zylStatusError},
        {"pt1.x = width", call(ps, ss, ok, pd, {6, 0}, far), zylStatusError},
        {"pt2.y = height", call(ps, ss, ok, pd, o, {5, 5}), zylStatusError},
        {"pt1.y = -1", call(ps, ss, ok, pd, {0, -1}, far), zylStatusError},
        {"pt2.x = -1", call(ps, ss, ok, pd, o, {-1, 2}), zylStatusError},
        {"pt1 far negative", call(ps, ss, ok, pd, {INT32_MIN, INT32_MIN}, o), zylStatusError},
        {"pt2 far positive", call(ps, ss, ok, pd, o, {INT32_MAX, 0}), zylStatusError},
    };
    // Refusals first (they must not write), then the calls that succeed.
    std::stable_partition(cases.begin(), cases.end(), [](auto &c) { return c.expected < 0; });
    const auto before = d.roi_bytes();
    zt::expect_statuses(cases, [&] { return d.roi_bytes() == before && d.intact_outside_roi(); });
}

// ---- results -------------------------------------------------------------------------------

// Random images (floats with special values, compared by bits), padded steps, odd offsets, and
// lines in every octant, on the axes, on the diagonals and of one pixel, against the reference;
// nothing is written after the last sample.
TYPED_TEST(SampleLine, MatchesReference)
{
    using T = typename TypeParam::Type;
    constexpr int C = TypeParam::channels;
    for (std::uint32_t seed = 1; seed <= 60; ++seed) {
        Rng rng(seed);
        SCOPED_TRACE(zt::seed_note(seed));
        Layout l = zt::random_layout<T>(rng, seed % 4 == 0 ? 300 : 40, seed % 5 == 0 ? 200 : 30, C);
        Image<T> s(l);
        s.fill_random(rng);
        const int w = l.width, h = l.height;
        for (int line = 0; line < 40; ++line) {
            ZyliPoint a{rng.uniform(0, w - 1), rng.uniform(0, h - 1)},
                b{rng.uniform(0, w - 1), rng.uniform(0, h - 1)};
            switch (line % 8) {  // lines the random ones would rarely give
            case 0:
                b = a;
                break;
            case 1:
                b.y = a.y;
                break;
            case 2:
                b.x = a.x;
                break;
            case 3: {  // a diagonal, clipped to the image
                const int n = std::min(w - 1 - a.x, h - 1 - a.y);
                b = {a.x + n, a.y + n};
                if (line % 16 == 3) std::swap(a, b);
                break;
            }
            case 4:
                a = {0, 0}, b = {w - 1, h - 1};
                if (line % 16 == 4) std::swap(a, b);
                break;
            case 5:
                a = {w - 1, 0}, b = {0, h - 1};
                if (line % 16 == 5) std::swap(a, b);
                break;
            default:
                break;
            }
            SCOPED_TRACE("(" + std::to_string(a.x) + "," + std::to_string(a.y) + ") to (" +
                         std::to_string(b.x) + "," + std::to_string(b.y) + ")");
            const auto pts = ref_line(a, b);
            Image<T> d({int(pts.size()), 1, C});
            ASSERT_EQ(TypeParam::sample(s.data(), s.step(), s.size(), d.data(), a, b), zylStatusOk);
            for (std::size_t k = 0; k < pts.size(); ++k)
                for (int c = 0; c < C; ++c)
                    ASSERT_EQ(zt::bits_of(d.at(int(k), 0, c)),
                              zt::bits_of(s.at(pts[k].x, pts[k].y, c)))
                        << "sample " << k << " channel " << c << " at (" << pts[k].x << ","
                        << pts[k].y << ")";
            ASSERT_TRUE(d.intact_outside_roi());
        }
    }
}

// Lines traced by hand on an image whose pixels encode their own coordinates.
TEST(SampleLineTraced, VisitsTheExpectedPixels)
{
    struct Case {
        const char *what;
        ZyliPoint a, b;
        std::vector<ZyliPoint> visits;
    };
    const std::vector<Case> cases = {
        {"one pixel", {3, 2}, {3, 2}, {{3, 2}}},
        {"tie stays on the row of pt1", {0, 0}, {2, 1}, {{0, 0}, {1, 0}, {2, 1}}},
        {"reversed: tie again on the side of pt1", {2, 1}, {0, 0}, {{2, 1}, {1, 1}, {0, 0}}},
        {"vertical", {3, 0}, {3, 4}, {{3, 0}, {3, 1}, {3, 2}, {3, 3}, {3, 4}}},
        {"horizontal leftwards", {5, 2}, {1, 2}, {{5, 2}, {4, 2}, {3, 2}, {2, 2}, {1, 2}}},
        {"steep with a tie on the column of pt1", {1, 4}, {2, 2}, {{1, 4}, {1, 3}, {2, 2}}},
        {"anti-diagonal", {4, 0}, {1, 3}, {{4, 0}, {3, 1}, {2, 2}, {1, 3}}},
        {"shallow, two ties", {0, 3}, {4, 1}, {{0, 3}, {1, 3}, {2, 2}, {3, 2}, {4, 1}}},
        {"shallow, rounding up past the half",
         {0, 0},
         {5, 2},
         {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}, {5, 2}}},
    };
    Image<Zyl8u> s({6, 5});
    Image<Zyl8u> s3({6, 5, 3});
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) {
            s.at(x, y) = Zyl8u(16 * y + x);
            for (int c = 0; c < 3; ++c) s3.at(x, y, c) = Zyl8u(80 * c + 16 * y + x);
        }
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<Zyl8u> d(c.visits.size() + 1, 0xEE), d3(3 * c.visits.size() + 1, 0xEE);
        ASSERT_EQ(zyliSampleLine_8u_C1R(s.data(), s.step(), s.size(), d.data(), c.a, c.b),
                  zylStatusOk);
        ASSERT_EQ(zyliSampleLine_8u_C3R(s3.data(), s3.step(), s3.size(), d3.data(), c.a, c.b),
                  zylStatusOk);
        for (std::size_t k = 0; k < c.visits.size(); ++k) {
            EXPECT_EQ(d[k], 16 * c.visits[k].y + c.visits[k].x) << "sample " << k;
            for (int ch = 0; ch < 3; ++ch)
                EXPECT_EQ(d3[3 * k + ch], 80 * ch + 16 * c.visits[k].y + c.visits[k].x);
        }
        EXPECT_EQ(d.back(), 0xEE);
        EXPECT_EQ(d3.back(), 0xEE);
    }
}

// ---- borders -------------------------------------------------------------------------------

// Sources flush against inaccessible pages: only the line's pixels are read, including lines
// that end on the first or the last byte of the image.
TYPED_TEST(SampleLine, StaysInsideImage)
{
    using T = typename TypeParam::Type;
    constexpr int C = TypeParam::channels;
    for (auto [w, h] : {std::pair{1, 1}, {1, 9}, {9, 1}, {7, 5}, {33, 4}})
        for (zt::Guard g : {zt::Guard::Before, zt::Guard::After}) {
            Rng rng(w + 7 * h);
            zt::GuardedImage<T> s(w, h, C, g);
            s.fill_random(rng);
            std::vector<T> d(std::size_t(std::max(w, h)) * C);
            const ZyliPoint corners[4] = {{0, 0}, {w - 1, h - 1}, {w - 1, 0}, {0, h - 1}};
            for (ZyliPoint a : corners)
                for (ZyliPoint b : corners)
                    EXPECT_EQ(TypeParam::sample(s.data(), s.step(), s.size(), d.data(), a, b),
                              zylStatusOk);
        }
}

}  // namespace
