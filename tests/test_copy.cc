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
template <> struct Api<Form<Zyl8u, 3>> {
    static ZylStatus extract(const Zyl8u *s, int ss, Zyl8u *d, int ds, int w, int h, int ch)
    {
        return k4_zycvCopy_8u_C3CC1R(s, ss, d, ds, w, h, ch);
    }
    static ZylStatus split(const Zyl8u *s, int ss, Zyl8u *const *p, int ps, int w, int h)
    {
        return k4_zycvCopy_8u_C3P3R(s, ss, p[0], p[1], p[2], ps, w, h);
    }
    static ZylStatus merge(const Zyl8u *const *p, int ps, Zyl8u *d, int ds, int w, int h)
    {
        return k4_zycvCopy_8u_P3C3R(p[0], p[1], p[2], ps, d, ds, w, h);
    }
};
template <> struct Api<Form<Zyl8u, 4>> {
    static ZylStatus extract(const Zyl8u *s, int ss, Zyl8u *d, int ds, int w, int h, int ch)
    {
        return k4_zycvCopy_8u_C4CC1R(s, ss, d, ds, w, h, ch);
    }
    static ZylStatus split(const Zyl8u *s, int ss, Zyl8u *const *p, int ps, int w, int h)
    {
        return k4_zycvCopy_8u_C4P4R(s, ss, p[0], p[1], p[2], p[3], ps, w, h);
    }
    static ZylStatus merge(const Zyl8u *const *p, int ps, Zyl8u *d, int ds, int w, int h)
    {
        return k4_zycvCopy_8u_P4C4R(p[0], p[1], p[2], p[3], ps, d, ds, w, h);
    }
};
template <> struct Api<Form<Zyl32f, 3>> {
    static ZylStatus extract(const Zyl32f *s, int ss, Zyl32f *d, int ds, int w, int h, int ch)
    {
        return k4_zycvCopy_32f_C3CC1R(s, ss, d, ds, w, h, ch);
    }
    static ZylStatus split(const Zyl32f *s, int ss, Zyl32f *const *p, int ps, int w, int h)
    {
        return k4_zycvCopy_32f_C3P3R(s, ss, p[0], p[1], p[2], ps, w, h);
    }
    static ZylStatus merge(const Zyl32f *const *p, int ps, Zyl32f *d, int ds, int w, int h)
    {
        return k4_zycvCopy_32f_P3C3R(p[0], p[1], p[2], ps, d, ds, w, h);
    }
};
template <> struct Api<Form<Zyl32f, 4>> {
    static ZylStatus extract(const Zyl32f *s, int ss, Zyl32f *d, int ds, int w, int h, int ch)
    {
        return k4_zycvCopy_32f_C4CC1R(s, ss, d, ds, w, h, ch);
    }
    static ZylStatus split(const Zyl32f *s, int ss, Zyl32f *const *p, int ps, int w, int h)
    {
        return k4_zycvCopy_32f_C4P4R(s, ss, p[0], p[1], p[2], p[3], ps, w, h);
    }
    static ZylStatus merge(const Zyl32f *const *p, int ps, Zyl32f *d, int ds, int w, int h)
    {
        return k4_zycvCopy_32f_P4C4R(p[0], p[1], p[2], p[3], ps, d, ds, w, h);
    }
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

// Runs the form's extraction of every channel, its split and its merge on images made by
// `make(channels, padBytes)` and checks each destination against the model. Planes of one call
// share `planePad` and so one step.
template <class F, class Make>
void check_kernels(Make make, Rng &rng, int w, int h, int srcPad, int planePad, int dstPad)
{
    using T = typename F::T;
    constexpr int C = F::C;
    using Img = typename decltype(make(1, 0))::element_type;

    auto src = make(C, srcPad);
    fill<T>(*src, rng, w, h, C);
    for (int ch = 0; ch < C; ++ch) {
        SCOPED_TRACE("extract channel " + std::to_string(ch));
        auto out = make(1, planePad);
        ASSERT_EQ(Api<F>::extract(src->data(), src->step(), out->data(), out->step(), w, h, ch),
                  zylStatusOk);
        EXPECT_TRUE(zt::same_bytes(out->roi_bytes(), model_plane<T>(*src, w, h, C, ch)));
        EXPECT_TRUE(canaries_intact(*out));
    }

    std::vector<std::unique_ptr<Img>> planes;
    T *planePtrs[C];
    for (int k = 0; k < C; ++k) {
        planes.push_back(make(1, planePad));
        planePtrs[k] = planes[k]->data();
    }
    ASSERT_EQ(Api<F>::split(src->data(), src->step(), planePtrs, planes[0]->step(), w, h),
              zylStatusOk);
    for (int k = 0; k < C; ++k) {
        SCOPED_TRACE("split plane " + std::to_string(k));
        EXPECT_TRUE(zt::same_bytes(planes[k]->roi_bytes(), model_plane<T>(*src, w, h, C, k)));
        EXPECT_TRUE(canaries_intact(*planes[k]));
    }

    // Fresh planes, so that the merge does not merely undo the split.
    const T *inPtrs[C];
    for (int k = 0; k < C; ++k) {
        planes[k] = make(1, planePad);
        fill<T>(*planes[k], rng, w, h, 1);
        inPtrs[k] = planes[k]->data();
    }
    auto dst = make(C, dstPad);
    ASSERT_EQ(Api<F>::merge(inPtrs, planes[0]->step(), dst->data(), dst->step(), w, h),
              zylStatusOk);
    SCOPED_TRACE("merge");
    EXPECT_TRUE(zt::same_bytes(dst->roi_bytes(), model_interleaved<T>(planes, w, h)));
    EXPECT_TRUE(canaries_intact(*dst));
}

template <class F> class Copy : public ::testing::Test {};
using Forms = ::testing::Types<Form<Zyl8u, 3>, Form<Zyl8u, 4>, Form<Zyl32f, 3>, Form<Zyl32f, 4>>;
TYPED_TEST_SUITE(Copy, Forms);

// Every width up to 40 (each block count and tail length), some wide rows, random padding and
// offsets from 16-byte boundaries for every image, against the model, canaries included.
TYPED_TEST(Copy, MatchesModel)
{
    using T = typename TypeParam::T;
    constexpr int e = int(sizeof(T));
    std::vector<int> widths;
    for (int w = 1; w <= 40; ++w) widths.push_back(w);
    for (int w : {63, 64, 65, 127, 200, 333}) widths.push_back(w);
    std::uint32_t seed = 0;
    for (int w : widths) {
        Rng rng(++seed);
        SCOPED_TRACE(zt::seed_note(seed) + ", width " + std::to_string(w));
        const int h = rng.uniform(1, 4);
        auto pad = [&] { return rng.chance(0.3) ? 0 : e * rng.uniform(1, 20); };
        auto make = [&](int channels, int padBytes) {
            Layout l{w, h, channels, padBytes, (e * rng.uniform(0, 15)) % 16};
            return std::make_unique<Image<T>>(l);
        };
        const int srcPad = pad(), planePad = pad(), dstPad = pad();
        check_kernels<TypeParam>(make, rng, w, h, srcPad, planePad, dstPad);
    }
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

#if ZYLCV_SIMD
// Portable and SSE2 twins agree bit for bit around every block boundary, with sources and
// destinations on and off 16-byte boundaries.
TYPED_TEST(Copy, TwinsAgree)
{
    using T = typename TypeParam::T;
    constexpr int C = TypeParam::C;
    constexpr int e = int(sizeof(T));
    const int widths[] = {1, 3, 4, 5, 7, 8, 9, 12, 15, 16, 17, 23, 25, 33, 47};
    std::uint32_t seed = 200;
    for (int w : widths)
        for (int offS : {0, e, 3 * e})
            for (int offD : {0, (e * 5) % 16}) {
                Rng rng(++seed);
                SCOPED_TRACE(zt::seed_note(seed) + ", width " + std::to_string(w));
                const int h = 2, pad = e * rng.uniform(0, 5);
                Image<T> src({w, h, C, pad, offS});
                fill<T>(src, rng, w, h, C);
                for (int ch = 0; ch < C; ++ch) {
                    Image<T> d1({w, h, 1, pad, offD}), d2({w, h, 1, pad, offD});
                    zylcv::portable::extract<T, C>(src.data(), src.step(), d1.data(), d1.step(), w, h, ch);
                    zylcv::sse2::extract<T, C>(src.data(), src.step(), d2.data(), d2.step(), w, h, ch);
                    EXPECT_TRUE(zt::same_bytes(d1.roi_bytes(), d2.roi_bytes())) << "channel " << ch;
                    EXPECT_TRUE(d2.intact_outside_roi());
                }

                std::vector<std::unique_ptr<Image<T>>> p1, p2;
                T *ptr1[C], *ptr2[C];
                const T *in[C];
                for (int k = 0; k < C; ++k) {
                    int off = (offD + k * e) % 16;
                    p1.push_back(std::make_unique<Image<T>>(Layout{w, h, 1, pad, off}));
                    p2.push_back(std::make_unique<Image<T>>(Layout{w, h, 1, pad, off}));
                    ptr1[k] = p1[k]->data();
                    ptr2[k] = p2[k]->data();
                }
                zylcv::portable::split<T, C>(src.data(), src.step(), ptr1, p1[0]->step(), w, h);
                zylcv::sse2::split<T, C>(src.data(), src.step(), ptr2, p2[0]->step(), w, h);
                for (int k = 0; k < C; ++k) {
                    EXPECT_TRUE(zt::same_bytes(p1[k]->roi_bytes(), p2[k]->roi_bytes())) << "plane " << k;
                    EXPECT_TRUE(p2[k]->intact_outside_roi());
                    fill<T>(*p1[k], rng, w, h, 1);
                    in[k] = p1[k]->data();
                }
                Image<T> m1({w, h, C, pad, offS}), m2({w, h, C, pad, offS});
                zylcv::portable::merge<T, C>(in, p1[0]->step(), m1.data(), m1.step(), w, h);
                zylcv::sse2::merge<T, C>(in, p1[0]->step(), m2.data(), m2.step(), w, h);
                EXPECT_TRUE(zt::same_bytes(m1.roi_bytes(), m2.roi_bytes()));
                EXPECT_TRUE(m2.intact_outside_roi());
            }
}
#endif

}  // namespace
