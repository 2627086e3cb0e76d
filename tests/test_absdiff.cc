// Absolute difference: validation order, a scalar reference model, twins, guard pages.
#include <algorithm>
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
    return std::bit_cast<Zyl32f>(zt::bits_of(float(d)) & 0x7FFFFFFFu);
}
Zyl8u clamp_value(int v) { return static_cast<Zyl8u>(v < 0 ? 0 : v > 255 ? 255 : v); }

// The four exported functions behind one interface, so each test runs over all of them.
ZylStatus diff_images(const Zyl8u *a, int as, const Zyl8u *b, int bs, Zyl8u *d, int ds, ZyliSize r)
{
    return zyliAbsDiff_8u_C1R(a, as, b, bs, d, ds, r);
}
ZylStatus diff_images(const Zyl32f *a, int as, const Zyl32f *b, int bs, Zyl32f *d, int ds,
                      ZyliSize r)
{
    return zyliAbsDiff_32f_C1R(a, as, b, bs, d, ds, r);
}
ZylStatus diff_constant(const Zyl8u *a, int as, Zyl8u *d, int ds, ZyliSize r, int v)
{
    return zyliAbsDiffC_8u_C1R(a, as, d, ds, r, v);
}
ZylStatus diff_constant(const Zyl32f *a, int as, Zyl32f *d, int ds, ZyliSize r, Zyl32f v)
{
    return zyliAbsDiffC_32f_C1R(a, as, d, ds, r, v);
}
// A constant argument (8u: also outside 0..255) and the value the kernel then uses.
template <class T> auto random_constant(Rng &rng)
{
    if constexpr (std::is_same_v<T, Zyl8u>) return rng.uniform(-300, 560);
    else return zt::random_float(rng, 0.2);
}
Zyl8u kernel_constant(int v) { return clamp_value(v); }
Zyl32f kernel_constant(Zyl32f v) { return v; }

template <class T> class AbsDiff : public ::testing::Test {
};
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
        return [=] { return diff_images(pa, as, pb, bs, pd, ds, r); };
    };
    auto con = [&](const T *pa, int as, T *pd, int ds, ZyliSize r) {
        return [=] { return diff_constant(pa, as, pd, ds, r, 3); };
    };
    T *pd = d.data();
    const T *pa = a.data(), *pb = b.data();
    const int odd = s + 2;  // not a multiple of 4
    std::vector<zt::StatusCase> cases = {
        {"null src1 wins over bad step and size", two(nullptr, 0, pb, s, pd, s, {0, 0}),
         zylStatusNullPtr},
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
        {"odd src1 step", two(pa, odd, pb, s, pd, s, ok),
         f32 ? zylStatusStepNotAligned : zylStatusOk},
        {"odd dst step", two(pa, s, pb, s, pd, s + 2, ok),
         f32 ? zylStatusStepNotAligned : zylStatusOk},
        {"const: odd src step", con(pa, odd, pd, s, ok),
         f32 ? zylStatusStepNotAligned : zylStatusOk},
        {"const: odd dst step", con(pa, s, pd, s + 1, ok),
         f32 ? zylStatusStepNotAligned : zylStatusOk},
    };
    // The 8u calls with odd steps succeed and write: run the refusals first.
    std::stable_partition(cases.begin(), cases.end(), [](auto &c) { return c.expected < 0; });
    const auto before = d.roi_bytes();
    zt::expect_statuses(cases, [&] { return d.roi_bytes() == before && d.intact_outside_roi(); });
}

// Random layouts (padding, offsets from 32-byte boundaries, widths that reach every block
// size and tail) and images large enough for cache-bypassing stores, against the reference
// model, for both forms, in place too; then every twin's kernels on the same images against the
// portable ones. Nothing is written outside the ROI.
TYPED_TEST(AbsDiff, MatchesReferenceAndTwinsAgree)
{
    using T = TypeParam;
    for (std::uint32_t seed = 1; seed <= 124; ++seed) {
        Rng rng(seed);
        SCOPED_TRACE(zt::seed_note(seed));
        Layout l = zt::random_layout<T>(rng, seed % 3 == 0 ? 200 : 70, 6);
        Layout lb = l, ld = l;
        lb.offset = zt::random_layout<T>(rng, 1, 1).offset;
        lb.padBytes = zt::random_layout<T>(rng, 1, 1).padBytes;
        ld.offset = zt::random_layout<T>(rng, 1, 1).offset;
        ld.padBytes = zt::random_layout<T>(rng, 1, 1).padBytes;
        if (seed > 120)
            lb = ld = l = {8192 / int(sizeof(T)), 520, 1, seed % 2 ? 0 : 16, seed > 122 ? 4 : 0};
        const int w = l.width, h = l.height;
        Image<T> a(l), b(lb), d(ld), dc(ld), inplace(l);
        a.fill_random(rng);
        b.fill_random(rng);
        auto value = random_constant<T>(rng);
        T kv = kernel_constant(value);
        ASSERT_EQ(diff_images(a.data(), a.step(), b.data(), b.step(), d.data(), d.step(), a.size()),
                  zylStatusOk);
        ASSERT_EQ(diff_constant(a.data(), a.step(), dc.data(), dc.step(), a.size(), value),
                  zylStatusOk);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                ASSERT_EQ(zt::bits_of(d.at(x, y)), zt::bits_of(ref_absdiff(a.at(x, y), b.at(x, y))))
                    << x << "," << y;
                ASSERT_EQ(zt::bits_of(dc.at(x, y)), zt::bits_of(ref_absdiff(a.at(x, y), kv)))
                    << x << "," << y;
            }
        EXPECT_TRUE(d.intact_outside_roi());
        EXPECT_TRUE(dc.intact_outside_roi());
        // In place: the destination is the first source.
        for (int y = 0; y < h; ++y) std::memcpy(inplace.row(y), a.row(y), w * sizeof(T));
        ASSERT_EQ(diff_constant(inplace.data(), inplace.step(), inplace.data(), inplace.step(),
                                a.size(), value),
                  zylStatusOk);
        EXPECT_TRUE(zt::same_bytes(inplace.roi_bytes(), dc.roi_bytes()));
        zt::expect_twins_agree([&](zt::Twin t) {
            Image<T> k(ld), kc(ld);
            ZT_ENTRY(t, absdiff)(a.data(), a.step(), b.data(), b.step(), k.data(), k.step(), w, h);
            ZT_ENTRY(t, absdiffc)(a.data(), a.step(), kc.data(), kc.step(), w, h, kv);
            EXPECT_TRUE(k.intact_outside_roi());
            EXPECT_TRUE(kc.intact_outside_roi());
            auto bytes = k.roi_bytes(), more = kc.roi_bytes();
            bytes.insert(bytes.end(), more.begin(), more.end());
            return bytes;
        });
    }
}

// Hand-picked values whose results follow from arithmetic alone.
TEST(AbsDiffValues, EdgeValues)
{
    // 8u: the full range both ways; constants outside 0..255 are clamped (-7 acts as 0, 300 as 255).
    const Zyl8u a[2] = {0, 255}, b[2] = {255, 0}, c[2] = {9, 200};
    Zyl8u d[2];
    ASSERT_EQ(zyliAbsDiff_8u_C1R(a, 2, b, 2, d, 2, {2, 1}), 0);
    EXPECT_TRUE(d[0] == 255 && d[1] == 255);
    ASSERT_EQ(zyliAbsDiffC_8u_C1R(c, 2, d, 2, {2, 1}, -7), 0);
    EXPECT_TRUE(d[0] == 9 && d[1] == 200);
    ASSERT_EQ(zyliAbsDiffC_8u_C1R(c, 2, d, 2, {2, 1}, 300), 0);
    EXPECT_TRUE(d[0] == 246 && d[1] == 55);
    // 32f: -0.0 - 0.0 gives +0.0, inf - inf a NaN with the sign bit cleared, -inf - 1 gives inf.
    const float inf = std::numeric_limits<float>::infinity();
    const float fa[3] = {-0.0f, inf, -inf}, fb[3] = {0.0f, inf, 1.0f};
    float fd[3];
    ASSERT_EQ(zyliAbsDiff_32f_C1R(fa, 12, fb, 12, fd, 12, {3, 1}), 0);
    EXPECT_EQ(zt::bits_of(fd[0]), 0u);
    EXPECT_TRUE(std::isnan(fd[1]) && zt::bits_of(fd[1]) >> 31 == 0);
    EXPECT_EQ(fd[2], inf);
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
            EXPECT_EQ(
                diff_images(a.data(), a.step(), b.data(), b.step(), d.data(), d.step(), a.size()),
                0);
            EXPECT_EQ(diff_constant(a.data(), a.step(), d.data(), d.step(), a.size(), 1), 0);
        }
}

}  // namespace
