// Channel copies: a scalar model of every kernel on random layouts, twins, and guard pages.
#include <memory>

#include "core/copy.h"
#include "support.h"

using zt::Image;
using zt::Layout;
using zt::Rng;

namespace {

// The three exported kernels of one element type and channel count behind one interface.
template <class T_, int C_> struct Form {
    using T = T_;
    static constexpr int C = C_;
};
template <class F> struct Api;
#define PLANES_3(p) p[0], p[1], p[2]
#define PLANES_4(p) p[0], p[1], p[2], p[3]
#define API(E, N)                                                                                  \
    template <> struct Api<Form<Zyl##E, N>> {                                                      \
        using T = Zyl##E;                                                                          \
        static ZylStatus extract(const T *s, int ss, T *d, int ds, int w, int h, int ch)           \
        {                                                                                          \
            return k4_zycvCopy_##E##_C##N##CC1R(s, ss, d, ds, w, h, ch);                           \
        }                                                                                          \
        static ZylStatus split(const T *s, int ss, T *const *p, int ps, int w, int h)              \
        {                                                                                          \
            return k4_zycvCopy_##E##_C##N##P##N##R(s, ss, PLANES_##N(p), ps, w, h);                \
        }                                                                                          \
        static ZylStatus merge(const T *const *p, int ps, T *d, int ds, int w, int h)              \
        {                                                                                          \
            return k4_zycvCopy_##E##_P##N##C##N##R(PLANES_##N(p), ps, d, ds, w, h);                \
        }                                                                                          \
    };
API(8u, 3)
API(8u, 4)
API(32f, 3)
API(32f, 4)

// The kernels of twin t behind the same interface.
template <class F> struct Kernels {
    using T = typename F::T;
    zt::Twin t;
    auto extract(auto... a) const { return ZT_ENTRY(t, extract<T, F::C>)(a...), zylStatusOk; }
    auto split(auto... a) const { return ZT_ENTRY(t, split<T, F::C>)(a...), zylStatusOk; }
    auto merge(auto... a) const { return ZT_ENTRY(t, merge<T, F::C>)(a...), zylStatusOk; }
};

// Random contents; for floats half the elements become raw 32-bit patterns (signalling NaNs,
// denormals and all), since a copy has to move every pattern unchanged.
template <class T, class Img> void fill(Img &img, Rng &rng, int w, int h, int channels)
{
    img.fill_random(rng);
    if constexpr (std::is_same_v<T, Zyl32f>)
        for (int y = 0; y < h; ++y)
            for (int i = 0; i < w * channels; ++i)
                if (rng.chance(0.5)) {
                    std::uint32_t b = rng.bits32();
                    std::memcpy(&img.row(y)[i], &b, 4);
                }
}

template <class T> void append(std::vector<std::uint8_t> &out, T v)
{
    auto p = reinterpret_cast<const std::uint8_t *>(&v);
    out.insert(out.end(), p, p + sizeof(T));
}

// Model of plane k (rows concatenated): element k of every pixel of a C-channel image.
template <class T, class Img>
std::vector<std::uint8_t> model_plane(Img &src, int w, int h, int C, int k)
{
    std::vector<std::uint8_t> out;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) append(out, src.row(y)[x * C + k]);
    return out;
}

// Model of an interleaved image: element k of pixel x is element x of plane k.
template <class T, class Img>
std::vector<std::uint8_t> model_interleaved(const std::vector<std::unique_ptr<Img>> &planes, int w,
                                            int h)
{
    std::vector<std::uint8_t> out;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (const auto &p : planes) append(out, p->row(y)[x]);
    return out;
}

template <class Img> bool canaries_intact(Img &img)
{
    if constexpr (requires { img.intact_outside_roi(); }) return img.intact_outside_roi();
    else return true;  // guarded images: a stray access faults instead
}

// Runs the form's extraction of every channel, its split and its merge (the exported functions,
// or a twin's kernels) on images made by `make(channels, padBytes)`, checks each destination
// against the model and returns their bytes. Planes of one call share `planePad` and so one step.
template <class F, class Make, class Calls = Api<F>>
std::vector<std::uint8_t> check_kernels(Make make, Rng &rng, int w, int h, int srcPad, int planePad,
                                        int dstPad, Calls api = {})
{
    using T = typename F::T;
    constexpr int C = F::C;
    using Img = typename decltype(make(1, 0))::element_type;
    std::vector<std::uint8_t> all;
    auto keep = [&](Img &img) {
        EXPECT_TRUE(canaries_intact(img));
        const auto b = img.roi_bytes();
        all.insert(all.end(), b.begin(), b.end());
    };

    auto src = make(C, srcPad);
    fill<T>(*src, rng, w, h, C);
    for (int ch = 0; ch < C; ++ch) {
        SCOPED_TRACE("extract channel " + std::to_string(ch));
        auto out = make(1, planePad);
        EXPECT_EQ(api.extract(src->data(), src->step(), out->data(), out->step(), w, h, ch),
                  zylStatusOk);
        EXPECT_TRUE(zt::same_bytes(out->roi_bytes(), model_plane<T>(*src, w, h, C, ch)));
        keep(*out);
    }

    std::vector<std::unique_ptr<Img>> planes;
    T *planePtrs[C];
    for (int k = 0; k < C; ++k) {
        planes.push_back(make(1, planePad));
        planePtrs[k] = planes[k]->data();
    }
    EXPECT_EQ(api.split(src->data(), src->step(), planePtrs, planes[0]->step(), w, h), zylStatusOk);
    for (int k = 0; k < C; ++k) {
        SCOPED_TRACE("split plane " + std::to_string(k));
        EXPECT_TRUE(zt::same_bytes(planes[k]->roi_bytes(), model_plane<T>(*src, w, h, C, k)));
        keep(*planes[k]);
    }

    // Fresh planes, so that the merge does not merely undo the split.
    const T *inPtrs[C];
    for (int k = 0; k < C; ++k) {
        planes[k] = make(1, planePad);
        fill<T>(*planes[k], rng, w, h, 1);
        inPtrs[k] = planes[k]->data();
    }
    auto dst = make(C, dstPad);
    EXPECT_EQ(api.merge(inPtrs, planes[0]->step(), dst->data(), dst->step(), w, h), zylStatusOk);
    SCOPED_TRACE("merge");
    EXPECT_TRUE(zt::same_bytes(dst->roi_bytes(), model_interleaved<T>(planes, w, h)));
    keep(*dst);
    return all;
}

template <class F> class Copy : public ::testing::Test {
};
using Forms = ::testing::Types<Form<Zyl8u, 3>, Form<Zyl8u, 4>, Form<Zyl32f, 3>, Form<Zyl32f, 4>>;
TYPED_TEST_SUITE(Copy, Forms);

// Every width up to 40 (each block count and tail length), some wide rows, random padding and
// offsets from 16-byte boundaries for every image, against the model, canaries included: the
// exported functions, then every twin's kernels, which must also agree with the portable ones.
TYPED_TEST(Copy, MatchesModelAndTwinsAgree)
{
    using T = typename TypeParam::T;
    constexpr int e = int(sizeof(T));
    std::vector<int> widths;
    for (int w = 1; w <= 40; ++w) widths.push_back(w);
    for (int w : {47, 63, 64, 65, 127, 200, 333}) widths.push_back(w);
    std::uint32_t seed = 0;
    for (int w : widths) {
        SCOPED_TRACE(zt::seed_note(++seed) + ", width " + std::to_string(w));
        auto run = [&](auto calls) {
            Rng rng(seed);  // the same images for every run
            const int h = rng.uniform(1, 4);
            auto pad = [&] { return rng.chance(0.3) ? 0 : e * rng.uniform(1, 20); };
            auto make = [&](int channels, int padBytes) {
                Layout l{w, h, channels, padBytes, (e * rng.uniform(0, 15)) % 16};
                return std::make_unique<Image<T>>(l);
            };
            const int srcPad = pad(), planePad = pad(), dstPad = pad();
            return check_kernels<TypeParam>(make, rng, w, h, srcPad, planePad, dstPad, calls);
        };
        run(Api<TypeParam>{});
        zt::expect_twins_agree([&](zt::Twin t) { return run(Kernels<TypeParam>{t}); });
    }
}

// A merged image large enough (16 MiB) to be written around the cache, every row on a 32-byte
// boundary and a width that leaves a tail for each block size: every twin's merge agrees.
TYPED_TEST(Copy, LargeAlignedMerge)
{
    using T = typename TypeParam::T;
    constexpr int e = int(sizeof(T)), C = TypeParam::C;
    const int w = 1061, h = (16 << 20) / (w * C * e) + 1;
    auto aligned = [&](int channels) {
        const int row = w * channels * e;
        return Layout{w, h, channels, (32 - row % 32) % 32, 0};
    };
    Rng rng(7);
    std::vector<std::unique_ptr<Image<T>>> planes;
    const T *in[C];
    for (int k = 0; k < C; ++k) {
        planes.push_back(std::make_unique<Image<T>>(aligned(1)));
        for (int y = 0; y < h; ++y)  // raw random bits, four bytes per draw
            for (int i = 0; i < w * e; i += 4) {
                const std::uint32_t b = rng.bits32();
                std::memcpy(reinterpret_cast<std::uint8_t *>(planes[k]->row(y)) + i, &b,
                            std::min(4, w * e - i));
            }
        in[k] = planes[k]->data();
    }
    zt::expect_twins_agree([&](zt::Twin t) {
        Image<T> dst(aligned(C));
        ZT_ENTRY(t, merge<T, C>)(in, planes[0]->step(), dst.data(), dst.step(), w, h);
        EXPECT_TRUE(dst.intact_outside_roi());
        return dst.roi_bytes();
    });
}

// Every image flush against an inaccessible page on either side: the kernels read only the
// source ROI rows and write only the destination ROI rows.
TYPED_TEST(Copy, StaysInsideRoi)
{
    using T = typename TypeParam::T;
    std::uint32_t seed = 100;
    for (int w : {1, 7, 8, 9, 17, 35})
        for (zt::Guard g : {zt::Guard::Before, zt::Guard::After})
            for (int pad : {0, 3 * int(sizeof(T))}) {
                Rng rng(++seed);
                SCOPED_TRACE(zt::seed_note(seed) + ", width " + std::to_string(w));
                auto make = [&](int channels, int padBytes) {
                    return std::make_unique<zt::GuardedImage<T>>(w, 3, channels, g, padBytes);
                };
                check_kernels<TypeParam>(make, rng, w, 3, pad, pad, pad);
            }
}

}  // namespace
