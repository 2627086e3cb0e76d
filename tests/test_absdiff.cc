// Absolute difference: validation order, a scalar reference model, twins, guard pages.
#include <cmath>

#include "absdiff/absdiff.h"
#include "support.h"

using zt::Image;
using zt::Layout;
using zt::Rng;

namespace {

// Reference model, written from the definition of each operation.
Zyl8u ref_absdiff(Zyl8u a, Zyl8u b) { return static_cast<Zyl8u>(std::abs(int(a) - int(b))); }
Zyl32f ref_absdiff(Zyl32f a, Zyl32f b)
{
    volatile float d = a - b;  // one single-precision rounding
    std::uint32_t u = zt::bits_of(float(d)) & 0x7FFFFFFFu;
    float r;
    std::memcpy(&r, &u, 4);
    return r;
}
Zyl8u clamp_value(int v) { return static_cast<Zyl8u>(v < 0 ? 0 : v > 255 ? 255 : v); }

// The four exported functions behind one interface, so each test runs over all of them.
template <class T> struct Api;
template <> struct Api<Zyl8u> {
    static ZylStatus two(const Zyl8u *a, int as, const Zyl8u *b, int bs, Zyl8u *d, int ds, ZyliSize r)
    {
        return zyliAbsDiff_8u_C1R(a, as, b, bs, d, ds, r);
    }
    static ZylStatus con(const Zyl8u *a, int as, Zyl8u *d, int ds, ZyliSize r, int v)
    {
        return zyliAbsDiffC_8u_C1R(a, as, d, ds, r, v);
    }
    static int constant(Rng &rng) { return rng.uniform(-300, 560); }
    static Zyl8u kernel_constant(int v) { return clamp_value(v); }
};
template <> struct Api<Zyl32f> {
    static ZylStatus two(const Zyl32f *a, int as, const Zyl32f *b, int bs, Zyl32f *d, int ds, ZyliSize r)
    {
        return zyliAbsDiff_32f_C1R(a, as, b, bs, d, ds, r);
    }
    static ZylStatus con(const Zyl32f *a, int as, Zyl32f *d, int ds, ZyliSize r, Zyl32f v)
    {
        return zyliAbsDiffC_32f_C1R(a, as, d, ds, r, v);
    }
    static Zyl32f constant(Rng &rng) { return zt::random_float(rng, 0.2); }
    static Zyl32f kernel_constant(Zyl32f v) { return v; }
};

template <class T> class AbsDiff : public ::testing::Test {};
using Types = ::testing::Types<Zyl8u, Zyl32f>;
TYPED_TEST_SUITE(AbsDiff, Types);

TYPED_TEST(AbsDiff, ValidationOrderAndNoWrites)
{
    using T = TypeParam;
    constexpr bool f32 = std::is_same_v<T, Zyl32f>;
    Image<T> a({8, 4}), b({8, 4}), d({8, 4});
    Rng rng(1);
    a.fill_random(rng);
    b.fill_random(rng);
    d.fill_random(rng);
    const int s = a.step();
    const ZyliSize ok{8, 4};
    auto two = [&](const T *pa, int as, const T *pb, int bs, T *pd, int ds, ZyliSize r) {
        return [=] { return Api<T>::two(pa, as, pb, bs, pd, ds, r); };
    };
    auto con = [&](const T *pa, int as, T *pd, int ds, ZyliSize r) {
        return [=] { return Api<T>::con(pa, as, pd, ds, r, 3); };
    };
    T *pd = d.data();
    const T *pa = a.data(), *pb = b.data();
    const int odd = s + 2;  // not a multiple of 4
    std::vector<zt::StatusCase> cases = {
        {"null src1 wins over bad step and size", two(nullptr, 0, pb, s, pd, s, {0, 0}), zylStatusNullPtr},
        {"null src2", two(pa, s, nullptr, s, pd, s, ok), zylStatusNullPtr},
        {"null dst", two(pa, s, pb, s, nullptr, s, ok), zylStatusNullPtr},
        {"const: null src", con(nullptr, s, pd, s, ok), zylStatusNullPtr},
        {"const: null dst", con(pa, s, nullptr, s, ok), zylStatusNullPtr},
        {"zero src1 step before size", two(pa, 0, pb, s, pd, s, {0, 4}), zylStatusBadStep},
        {"negative src2 step", two(pa, s, pb, -s, pd, s, ok), zylStatusBadStep},
        {"zero dst step", two(pa, s, pb, s, pd, 0, ok), zylStatusBadStep},
        {"const: zero src step", con(pa, 0, pd, s, ok), zylStatusBadStep},
        {"const: negative dst step", con(pa, s, pd, -1, ok), zylStatusBadStep},
        {"zero width before alignment", two(pa, odd, pb, s, pd, s, {0, 4}), zylStatusBadSize},
        {"zero height", two(pa, s, pb, s, pd, s, {8, 0}), zylStatusBadSize},
        {"negative width", two(pa, s, pb, s, pd, s, {-1, 4}), zylStatusBadSize},
        {"const: zero width", con(pa, odd, pd, s, {0, 1}), zylStatusBadSize},
        {"odd src1 step", two(pa, odd, pb, s, pd, s, ok), f32 ? zylStatusStepNotAligned : zylStatusOk},
        {"odd dst step", two(pa, s, pb, s, pd, s + 2, ok), f32 ? zylStatusStepNotAligned : zylStatusOk},
        {"const: odd src step", con(pa, odd, pd, s, ok), f32 ? zylStatusStepNotAligned : zylStatusOk},
        {"const: odd dst step", con(pa, s, pd, s + 1, ok), f32 ? zylStatusStepNotAligned : zylStatusOk},
    };
    // The 8u calls with odd steps succeed and write: run the refusals first.
    std::vector<zt::StatusCase> refusals, accepted;
    for (auto &c : cases) (c.expected < 0 ? refusals : accepted).push_back(c);
    const auto before = d.roi_bytes();
    zt::expect_statuses(refusals, [&] { return d.roi_bytes() == before && d.intact_outside_roi(); });
    zt::expect_statuses(accepted);
}

// Random layouts (padding, offsets from 16-byte boundaries, widths that reach every block
// size and tail) against the reference model, for both forms, in place too.
TYPED_TEST(AbsDiff, MatchesReference)
{
    using T = TypeParam;
    for (std::uint32_t seed = 1; seed <= 120; ++seed) {
        Rng rng(seed);
        SCOPED_TRACE(zt::seed_note(seed));
        Layout l = zt::random_layout<T>(rng, seed % 3 == 0 ? 200 : 70, 6);
        Layout lb = l, ld = l;
        lb.offset = zt::random_layout<T>(rng, 1, 1).offset;
        lb.padBytes = zt::random_layout<T>(rng, 1, 1).padBytes;
        ld.offset = zt::random_layout<T>(rng, 1, 1).offset;
        ld.padBytes = zt::random_layout<T>(rng, 1, 1).padBytes;
        Image<T> a(l), b(lb), d(ld), dc(ld), inplace(l);
        a.fill_random(rng);
        b.fill_random(rng);
        auto value = Api<T>::constant(rng);
        T kv = Api<T>::kernel_constant(value);
        ASSERT_EQ(Api<T>::two(a.data(), a.step(), b.data(), b.step(), d.data(), d.step(), a.size()), zylStatusOk);
        ASSERT_EQ(Api<T>::con(a.data(), a.step(), dc.data(), dc.step(), a.size(), value), zylStatusOk);
        for (int y = 0; y < l.height; ++y)
            for (int x = 0; x < l.width; ++x) {
                T e = ref_absdiff(a.at(x, y), b.at(x, y));
                T ec = ref_absdiff(a.at(x, y), kv);
                if constexpr (std::is_same_v<T, Zyl32f>) {
                    ASSERT_EQ(zt::bits_of(d.at(x, y)), zt::bits_of(e)) << x << "," << y;
                    ASSERT_EQ(zt::bits_of(dc.at(x, y)), zt::bits_of(ec)) << x << "," << y;
                } else {
                    ASSERT_EQ(d.at(x, y), e) << x << "," << y;
                    ASSERT_EQ(dc.at(x, y), ec) << x << "," << y;
                }
            }
        EXPECT_TRUE(d.intact_outside_roi());
        EXPECT_TRUE(dc.intact_outside_roi());
        // In place: the destination is the first source.
        for (int y = 0; y < l.height; ++y)
            for (int x = 0; x < l.width; ++x) inplace.at(x, y) = a.at(x, y);
        ASSERT_EQ(Api<T>::con(inplace.data(), inplace.step(), inplace.data(), inplace.step(),
                              a.size(), value), zylStatusOk);
        EXPECT_TRUE(zt::same_bytes(inplace.roi_bytes(), dc.roi_bytes()));
    }
}

// Hand-picked values whose results follow from arithmetic alone.
TEST(AbsDiffValues, EdgeValues)
{
    Image<Zyl8u> a({2, 1}), b({2, 1}), d({2, 1});
    a.at(0, 0) = 0, a.at(1, 0) = 255, b.at(0, 0) = 255, b.at(1, 0) = 0;
    ASSERT_EQ(zyliAbsDiff_8u_C1R(a.data(), a.step(), b.data(), b.step(), d.data(), d.step(), {2, 1}), 0);
    EXPECT_EQ(d.at(0, 0), 255);
    EXPECT_EQ(d.at(1, 0), 255);
    // Constants outside 0..255 are clamped: -7 acts as 0, 300 as 255.
    a.at(0, 0) = 9, a.at(1, 0) = 200;
    ASSERT_EQ(zyliAbsDiffC_8u_C1R(a.data(), a.step(), d.data(), d.step(), {2, 1}, -7), 0);
    EXPECT_EQ(d.at(0, 0), 9);
    EXPECT_EQ(d.at(1, 0), 200);
    ASSERT_EQ(zyliAbsDiffC_8u_C1R(a.data(), a.step(), d.data(), d.step(), {2, 1}, 300), 0);
    EXPECT_EQ(d.at(0, 0), 246);
    EXPECT_EQ(d.at(1, 0), 55);

    const float inf = std::numeric_limits<float>::infinity();
    Image<Zyl32f> fa({3, 1}), fb({3, 1}), fd({3, 1});
    fa.at(0, 0) = -0.0f, fb.at(0, 0) = 0.0f;
    fa.at(1, 0) = inf, fb.at(1, 0) = inf;
    fa.at(2, 0) = -inf, fb.at(2, 0) = 1.0f;
    ASSERT_EQ(zyliAbsDiff_32f_C1R(fa.data(), fa.step(), fb.data(), fb.step(), fd.data(), fd.step(), {3, 1}), 0);
    EXPECT_EQ(zt::bits_of(fd.at(0, 0)), 0u);           // +0.0
    EXPECT_TRUE(std::isnan(fd.at(1, 0)));               // inf - inf
    EXPECT_EQ(zt::bits_of(fd.at(1, 0)) >> 31, 0u);      // with the sign bit cleared
    EXPECT_EQ(fd.at(2, 0), inf);
}

// The twins agree bit for bit on odd widths, every alignment combination, contiguous and padded
// rows, and images large enough for cache-bypassing stores; none writes outside the ROI.
TYPED_TEST(AbsDiff, TwinsAgree)
{
    using T = TypeParam;
    auto compare = [](const Layout &la, const Layout &ld, std::uint32_t seed) {
        Rng rng(seed);
        SCOPED_TRACE(zt::seed_note(seed));
        const int w = la.width, h = la.height;
        Image<T> a(la), b(la);
        a.fill_random(rng);
        b.fill_random(rng);
        const T v = zt::random_value<T>(rng);
        zt::expect_twins_agree([&](zt::Twin t) {
            Image<T> d(ld), c(ld);
            ZT_ENTRY(t, absdiff)(a.data(), a.step(), b.data(), b.step(), d.data(), d.step(), w, h);
            ZT_ENTRY(t, absdiffc)(a.data(), a.step(), c.data(), c.step(), w, h, v);
            EXPECT_TRUE(d.intact_outside_roi());
            EXPECT_TRUE(c.intact_outside_roi());
            auto bytes = d.roi_bytes(), more = c.roi_bytes();
            bytes.insert(bytes.end(), more.begin(), more.end());
            return bytes;
        });
    };
    std::uint32_t seed = 500;
    for (int w : {1, 7, 8, 9, 31, 32, 33, 41, 63, 64, 65, 100})
        for (int offA : {0, int(sizeof(T))})
            for (int offD : {0, 4})
                for (int pad : {0, 16, int(sizeof(T))})
                    compare({w, 3, 1, pad, offA}, {w, 3, 1, pad, offD}, ++seed);
    for (int pad : {0, 16})
        for (int off : {0, 4}) compare({1024, 520, 1, pad, off}, {1024, 520, 1, pad, off}, ++seed);
}

// Sources and destination flush against inaccessible pages on either side: the kernels read
// and write only the ROI.
TYPED_TEST(AbsDiff, StaysInsideRoi)
{
    using T = TypeParam;
    for (int w : {1, 9, 33, 47})
        for (zt::Guard g : {zt::Guard::Before, zt::Guard::After}) {
            Rng rng(w);
            zt::GuardedImage<T> a(w, 3, 1, g), b(w, 3, 1, g), d(w, 3, 1, g);
            a.fill_random(rng);
            b.fill_random(rng);
            EXPECT_EQ(Api<T>::two(a.data(), a.step(), b.data(), b.step(), d.data(), d.step(), a.size()), 0);
            EXPECT_EQ(Api<T>::con(a.data(), a.step(), d.data(), d.step(), a.size(), 1), 0);
        }
}

}  // namespace
