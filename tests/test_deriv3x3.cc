// Fixed 3x3 derivatives: validation order, reference models (the 9-tap sum in double precision,
// floored for the integer members; the library's float order), hand-picked values, twins, guard
// pages.
#include <algorithm>
#include <cmath>

#include "deriv3x3/deriv3x3.h"
#include "support.h"

using zt::Image;
using zt::Layout;
using zt::Rng;

namespace {

// ---- the kernels, from their definition --------------------------------------------------------

enum Kind { Dx, Dy, D2x, D2y, DxDy, ScharrDx, ScharrDy };

// Weights of rows y-1, y, y+1 (columns x-1, x, x+1) for a top-down image.
constexpr int kTaps[7][3][3] = {
    {{-1, 0, 1}, {-2, 0, 2}, {-1, 0, 1}},    // Sobel d/dx
    {{-1, -2, -1}, {0, 0, 0}, {1, 2, 1}},    // Sobel d/dy
    {{1, -2, 1}, {2, -4, 2}, {1, -2, 1}},    // Sobel d2/dx2
    {{1, 2, 1}, {-2, -4, -2}, {1, 2, 1}},    // Sobel d2/dy2
    {{1, 0, -1}, {0, 0, 0}, {-1, 0, 1}},     // Sobel d2/dxdy
    {{-3, 0, 3}, {-10, 0, 10}, {-3, 0, 3}},  // Scharr d/dx
    {{-3, -10, -3}, {0, 0, 0}, {3, 10, 3}},  // Scharr d/dy
};
constexpr bool odd_vertical(Kind k) { return k == Dy || k == DxDy || k == ScharrDy; }
constexpr bool is_scharr(Kind k) { return k == ScharrDx || k == ScharrDy; }

template <class S> double px(const Image<S> &img, int x, int y)
{
    return double(img.at(std::clamp(x, 0, img.width() - 1), std::clamp(y, 0, img.height() - 1)));
}

// The 9-tap sum over replicated neighbours in double precision, negated for an odd vertical kind
// of a bottom-up image, for Scharr divided by 2^shift; *magnitude: the terms' magnitudes summed.
template <class S>
double ref_double(const Image<S> &img, Kind k, int x, int y, int bottomUp, int shift,
                  double *magnitude = nullptr)
{
    double sum = 0, mag = 0;
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) {
            double t = kTaps[k][j][i] * px(img, x + i - 1, y + j - 1);
            sum += t;
            mag += std::fabs(t);
        }
    double scale =
        (bottomUp && odd_vertical(k) ? -1.0 : 1.0) / (is_scharr(k) ? std::ldexp(1.0, shift) : 1.0);
    if (magnitude) *magnitude = mag * std::fabs(scale);
    return sum * scale;
}

// Integer result: that sum (exact for 8-bit sources) rounded towards minus infinity.
template <class S> int reference(const Image<S> &img, Kind k, int x, int y, int bottomUp, int shift)
{
    return int(std::floor(ref_double(img, k, x, y, bottomUp, shift)));
}

// One SSE instruction each, the first operand in the destination register, so that the NaN of
// the first operand propagates when both are NaN.
float hw_add(float a, float b)
{
    asm("addss %1, %0" : "+x"(a) : "x"(b));
    return a;
}
float hw_sub(float a, float b)
{
    asm("subss %1, %0" : "+x"(a) : "x"(b));
    return a;
}

// Float result in the library's order, single precision throughout:
//   row term   d/dx kinds: P(x+1) - P(x-1), columns replicated;
//              d/dy kinds: (e*P(x-1) + f*P(x)) + e*P(x+1) inside the row, g*P(0) + e*P(1) in
//              column 0 (P(1) is P(0) when the width is 1), e*P(w-2) + g*P(w-1) in column w-1;
//   rows       d/dx kinds: (e*t(y-1) + f*t(y)) + e*t(y+1), g*t(0) + e*t(1) in row 0,
//              e*t(h-2) + g*t(h-1) in the last row; d/dy kinds: t(y+1) - t(y-1), rows replicated;
//   weights    e, f, g = 1, 2, 3 (Sobel) or 3s, 10s, 13s (Scharr) with s = 1/2^shift, 2^shift
//              formed by doubling 1.0f (infinite from shift 128 on);
//   bottom-up  Scharr d/dy negates its weights (-s); Sobel d/dy takes t(y-1) - t(y+1).
float reference(const Image<Zyl32f> &img, Kind k, int x, int y, int bottomUp, int shift)
{
    const int w = img.width(), h = img.height();
    float s = 1.0f;
    if (is_scharr(k)) {
        float p = 1.0f;
        for (int i = 0; i < std::min(shift, 300); ++i) p = p * 2.0f;
        s = 1.0f / p;
    }
    if (bottomUp && k == ScharrDy) s = -s;
    const float e = (is_scharr(k) ? 3.0f : 1.0f) * s, f = (is_scharr(k) ? 10.0f : 2.0f) * s,
                g = (is_scharr(k) ? 13.0f : 3.0f) * s;
    auto P = [&](int xx, int yy) { return img.at(std::clamp(xx, 0, w - 1), yy); };
    const bool dx = k == Dx || k == ScharrDx;
    auto term = [&](int r) {
        if (dx) return hw_sub(P(x + 1, r), P(x - 1, r));
        if (x == 0) return hw_add(g * P(0, r), e * P(1, r));
        if (x == w - 1) return hw_add(e * P(x - 1, r), g * P(x, r));
        return hw_add(hw_add(e * P(x - 1, r), f * P(x, r)), e * P(x + 1, r));
    };
    const int above = std::max(y - 1, 0), below = std::min(y + 1, h - 1);
    if (k == Dy && bottomUp) return hw_sub(term(above), term(below));
    if (!dx) return hw_sub(term(below), term(above));
    if (y == 0) return hw_add(g * term(0), e * term(1));
    if (y == h - 1) return hw_add(e * term(h - 2), g * term(h - 1));
    return hw_add(hw_add(e * term(y - 1), f * term(y)), e * term(y + 1));
}

// ---- the 18 exported members behind one call shape ------------------------------------------

enum class Src { U8, S8, F32 };
using Call = ZylStatus (*)(const void *s, int ss, void *d, int ds, int bottomUp, ZyliSize r,
                           int shift);
struct Member {
    const char *name;
    Kind kind;
    Src src;
    bool bottomUp, shift, rowCheck;  // takes bottomUp, takes shift, checks rows against width
    Call call;                       // bottomUp and shift are ignored by members without them
};

// Member f of kind K: the odd vertical kinds take bottomUp, the Scharr kinds take shift (a
// signature without them does not compile).
template <auto F, Kind K, class S, class D, class... A>
Member member(ZylStatus (*)(const S *, int, D *, int, A...), const char *name,
              bool rowCheck = false)
{
    constexpr bool bu = odd_vertical(K), sh = is_scharr(K);
    Call call = [](const void *sv, int ss, void *dv, int ds, int b, ZyliSize r, int h) {
        auto s = static_cast<const S *>(sv);
        auto d = static_cast<D *>(dv);
        if constexpr (bu && sh) return F(s, ss, d, ds, b, r, h);
        else if constexpr (bu) return (void)h, F(s, ss, d, ds, b, r);
        else if constexpr (sh) return (void)b, F(s, ss, d, ds, r, h);
        else return (void)b, (void)h, F(s, ss, d, ds, r);
    };
    const Src src = Src(std::is_same_v<S, Zyl8s> + 2 * std::is_same_v<S, Zyl32f>);  // U8, S8, F32
    return {name, K, src, bu, sh, rowCheck, call};
}

const std::vector<Member> &members()
{
#define M(f, kind, ...) member<zyli##f##_C1R, kind>(zyli##f##_C1R, #f __VA_OPT__(, ) __VA_ARGS__)
    static const std::vector<Member> all = {
        M(Sobel3x3_Dx_8u16s, Dx),     M(Sobel3x3_Dy_8u16s, Dy),
        M(Sobel3x3_D2x_8u16s, D2x),   M(Sobel3x3_D2y_8u16s, D2y, true),
        M(Sobel3x3_DxDy_8u16s, DxDy), M(Scharr_Dx_8u16s, ScharrDx),
        M(Scharr_Dy_8u16s, ScharrDy), M(Sobel3x3_Dx_8s16s, Dx),
        M(Sobel3x3_Dy_8s16s, Dy),     M(Sobel3x3_D2x_8s16s, D2x),
        M(Sobel3x3_D2y_8s16s, D2y),   M(Sobel3x3_DxDy_8s16s, DxDy),
        M(Scharr_Dx_8s16s, ScharrDx), M(Scharr_Dy_8s16s, ScharrDy),
        M(Sobel3x3_Dx_32f, Dx),       M(Sobel3x3_Dy_32f, Dy),
        M(Scharr_Dx_32f, ScharrDx),   M(Scharr_Dy_32f, ScharrDy),
    };
#undef M
    return all;
}

// Runs f.template operator()<S, D>() with the member's source and destination types.
template <class F> void with_types(Src src, F &&f)
{
    if (src == Src::U8) f.template operator()<Zyl8u, Zyl16s>();
    else if (src == Src::S8) f.template operator()<Zyl8s, Zyl16s>();
    else f.template operator()<Zyl32f, Zyl32f>();
}

std::vector<int> shifts_of(const Member &m)
{
    if (!m.shift) return {0};
    if (m.src == Src::F32) return {0, 1, 5, 12, 20, 127, 128, 200};
    return {0, 1, 5, 12, 20};
}

// Whether a sum of two NaNs keeps the first operand's NaN, as x86 processors do. qemu's
// user-mode emulation (the i386 test run) picks the NaN with the larger payload instead, so the
// kernels' explicit scalar rule and the emulated packed adds then disagree on which NaN comes
// out; only there NaN results are compared as NaN without their bits.
bool first_nan_wins()
{
    const float a = std::bit_cast<float>(0x7FC00000u), b = std::bit_cast<float>(0x7FC00001u);
    return zt::bits_of(hw_add(a, b)) == 0x7FC00000u;
}

// Equal values; floats by their bits.
::testing::AssertionResult same(Zyl16s got, int want)
{
    if (got == want) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << got << " vs " << want;
}
::testing::AssertionResult same(Zyl32f got, float want)
{
    static const bool exactNaNs = first_nan_wins();
    if (zt::bits_of(got) == zt::bits_of(want)) return ::testing::AssertionSuccess();
    if (!exactNaNs && std::isnan(got) && std::isnan(want)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << got << " vs " << want << std::hex << " (0x" << zt::bits_of(got) << " vs 0x"
           << zt::bits_of(want) << ")";
}

// Checks every pixel of `out` (rows through `row`) against the reference of `src`.
template <class S, class Out>
void expect_reference(const Image<S> &src, Out &out, Kind k, int bu, int sh)
{
    for (int y = 0; y < src.height(); ++y)
        for (int x = 0; x < src.width(); ++x)
            ASSERT_TRUE(same(out.row(y)[x], reference(src, k, x, y, bu, sh)))
                << "at " << x << "," << y;
}

// One whole image through twin t's entry for kind k.
template <class S, class D>
void twin(zt::Twin t, Kind k, const S *s, int ss, D *d, int ds, int w, int h, int bu, int sh)
{
    using L = zylcv::deriv3x3::Kind;
    auto go = [&]<L K>() { ZT_ENTRY(t, deriv<K>)(s, ss, d, ds, w, h, bu, sh); };
    if (k == Dx) return go.template operator()<L::SobelDx>();
    if (k == Dy) return go.template operator()<L::SobelDy>();
    if (k == ScharrDx) return go.template operator()<L::ScharrDx>();
    if (k == ScharrDy) return go.template operator()<L::ScharrDy>();
    if constexpr (!std::is_same_v<S, Zyl32f>) {  // 8-bit sources only
        if (k == D2x) return go.template operator()<L::SobelD2x>();
        if (k == D2y) return go.template operator()<L::SobelD2y>();
        if (k == DxDy) return go.template operator()<L::SobelDxDy>();
    }
    FAIL() << "no such kind";
}

// The ROI bytes of an image; NaNs as one NaN where the processor's packed adds may pick another
// NaN than the scalar rule (see first_nan_wins).
template <class D> std::vector<std::uint8_t> result_bytes(Image<D> &img)
{
    static const bool exactNaNs = first_nan_wins();
    if constexpr (std::is_same_v<D, Zyl32f>)
        for (int y = 0; y < img.height() && !exactNaNs; ++y)
            for (int x = 0; x < img.width(); ++x)
                if (img.at(x, y) != img.at(x, y)) img.at(x, y) = NAN;
    return img.roi_bytes();
}

// ---- tests ---------------------------------------------------------------------------------

// Each member's validation order; a refused call writes nothing. Arguments a member ignores, and
// short or odd rows where nothing checks them (they overlap inside the test's buffers), are taken.
TEST(Deriv, ValidationOrderAndNoWrites)
{
    for (const Member &m : members()) {
        SCOPED_TRACE(m.name);
        with_types(m.src, [&]<class S, class D>() {
            constexpr bool f32 = std::is_same_v<D, Zyl32f>;
            const ZyliSize ok{8, 4};
            Image<S> src({8, 4, 1, 8});
            Image<D> dst({8, 4, 1, 16});
            Rng rng(3);
            src.fill_random(rng);
            dst.fill_random(rng);
            const S *ps = src.data();
            D *pd = dst.data();
            const int ss = src.step(), ds = dst.step();
            auto call = [&](const S *s, int sStep, D *d, int dStep, int bu, ZyliSize r, int sh) {
                return [=, c = m.call] { return c(s, sStep, d, dStep, bu, r, sh); };
            };
            const int oddDst = f32 ? ds + 2 : ds + 1;  // not a multiple of the element size
            const bool rows = m.rowCheck, noRows = !f32 && !m.rowCheck;
            const ZylStatus kOk = zylStatusOk, kNull = zylStatusNullPtr, kStep = zylStatusBadStep,
                            kSize = zylStatusBadSize, kArg = zylStatusBadArg,
                            kAlign = zylStatusStepNotAligned;
            // A case that does not apply to the member gets no label and is dropped. The accepted
            // cases come last, as they write.
            auto when = [](bool applies, const char *what) { return applies ? what : ""; };
            // clang-format off
            std::vector<zt::StatusCase> cases = {
                {"null src wins over bad step and size", call(nullptr, 0, pd, 0, 2, {0, 1}, -1), kNull},
                {"null dst", call(ps, ss, nullptr, ds, 0, ok, 0), kNull},
                {"zero src step before size", call(ps, 0, pd, ds, 0, {0, 1}, 0), kStep},
                {"negative dst step", call(ps, ss, pd, -ds, 0, ok, 0), kStep},
                {"zero width before alignment", call(ps, ss, pd, oddDst, 0, {0, 4}, 0), kSize},
                {"one row", call(ps, ss, pd, ds, 0, {8, 1}, 0), kSize},
                {"zero height", call(ps, ss, pd, ds, 0, {8, 0}, 0), kSize},
                {"negative width", call(ps, ss, pd, ds, 0, {-8, 4}, 0), kSize},
                {"unaligned dst step before bottomUp and shift", call(ps, ss, pd, oddDst, 2, ok, -1), kAlign},
                {when(f32, "src step 6"), call(ps, 6, pd, ds, 0, {1, 4}, 0), kAlign},
                {when(m.bottomUp, "bottomUp 2 before shift"), call(ps, ss, pd, ds, 2, ok, -1), kArg},
                {when(m.bottomUp, "bottomUp -1"), call(ps, ss, pd, ds, -1, ok, 0), kArg},
                {when(m.shift, "negative shift"), call(ps, ss, pd, ds, 0, ok, -1), kArg},
                {when(rows, "src step below the width"), call(ps, 7, pd, ds, 0, ok, 0), kSize},
                {when(rows, "dst step below two widths"), call(ps, ss, pd, 14, 0, ok, 0), kSize},
                {when(rows, "alignment before row lengths"), call(ps, 7, pd, 15, 0, ok, 0), kAlign},
                {"bottomUp and shift ignored", call(ps, ss, pd, ds, m.bottomUp ? 1 : 7, ok, m.shift ? 40 : -3), kOk},
                {when(!f32, "odd src step"), call(ps, ss + 1, pd, ds, 0, ok, 0), kOk},
                {when(noRows, "src step below the width"), call(ps, 7, pd, ds, 0, ok, 0), kOk},
                {when(noRows, "dst step below two widths"), call(ps, ss, pd, 14, 0, ok, 0), kOk},
            };
            // clang-format on
            std::erase_if(cases, [](const zt::StatusCase &c) { return c.what.empty(); });
            const auto before = dst.roi_bytes();
            zt::expect_statuses(
                cases, [&] { return dst.roi_bytes() == before && dst.intact_outside_roi(); });
        });
    }
}

// Every member on every width up to past two blocks and some longer rows, heights up to past three
// bands of rows, widths 1 to 3 with heights 2 and 3, then random sizes; padded steps and odd
// offsets, bottomUp 0 and 1 and every shift of interest. Each result matches the reference with
// canaries around the destination, and again with source and destination flush against
// inaccessible pages on opposite sides (only the ROI is read and written); every twin gives the
// portable twin's bytes. Sources are random (special floats included), constant, all extremes
// (largest magnitudes) or, for the float members, finite values of mixed magnitudes whose results
// must also stay within a few roundings of the exact sum.
TEST(Deriv, MatchesReferenceAndTwinsAgree)
{
    std::vector<std::pair<int, int>> sizes;
    auto height = [](int w) { return std::vector<int>{2, 3, 4, 5, 9, 10, 11, 12, 19, 27}[w % 10]; };
    for (int w = 1; w <= 34; ++w) sizes.push_back({w, height(w)});
    for (int w : {47, 64, 65, 66, 100, 257}) sizes.push_back({w, height(w)});
    for (int w : {1, 2, 3, 9, 10, 11, 17, 33})
        for (int h : {2, 3}) sizes.push_back({w, h});
    std::uint32_t seed = 100;
    for (const Member &m : members()) {
        SCOPED_TRACE(m.name);
        with_types(m.src, [&]<class S, class D>() {
            constexpr bool f32 = std::is_same_v<S, Zyl32f>;
            for (int n = 0; n < int(sizes.size()) + 8; ++n) {
                Rng rng(++seed);
                SCOPED_TRACE(zt::seed_note(seed));
                Layout ls = zt::random_layout<S>(rng, 70, 7), ld = zt::random_layout<D>(rng, 1, 1);
                if (n < int(sizes.size())) std::tie(ls.width, ls.height) = sizes[n];
                const int w = ls.width, h = ls.height = std::max(ls.height, 2), fill = n % 5;
                ld.width = w, ld.height = h;
                Image<S> src(ls);
                constexpr S lo = std::numeric_limits<S>::lowest(),
                            hi = std::numeric_limits<S>::max();
                if (fill == 3) src.fill(zt::random_value<S>(rng));
                else if (fill == 4)  // extremes; finite floats of mixed magnitudes
                    for (int i = 0; i < w * h; ++i) {
                        const S edge = rng.chance(0.5) ? lo : hi;
                        src.at(i % w, i / w) = f32 ? zt::random_float(rng, 0.0) : edge;
                    }
                else src.fill_random(rng);
                for (int bu : m.bottomUp ? std::vector<int>{0, 1} : std::vector<int>{0})
                    for (int sh : shifts_of(m)) {
                        SCOPED_TRACE(::testing::Message() << "bottomUp " << bu << " shift " << sh);
                        // The member from s into d, d against the reference.
                        auto check = [&](auto &s, auto &d) {
                            ASSERT_EQ(
                                m.call(s.data(), s.step(), d.data(), d.step(), bu, src.size(), sh),
                                zylStatusOk);
                            expect_reference(src, d, m.kind, bu, sh);
                        };
                        Image<D> dst(ld);
                        check(src, dst);
                        ASSERT_TRUE(dst.intact_outside_roi());
                        for (zt::Guard g : {zt::Guard::Before, zt::Guard::After}) {
                            zt::GuardedImage<S> gs(w, h, 1, g);
                            zt::GuardedImage<D> gd(w, h, 1, zt::Guard(1 - int(g)));  // other side
                            gs.copy_from(src);
                            check(gs, gd);
                        }
                        zt::expect_twins_agree([&](zt::Twin t) {
                            Image<D> d(ld);
                            twin(t, m.kind, src.data(), src.step(), d.data(), d.step(), w, h, bu,
                                 sh);
                            EXPECT_TRUE(d.intact_outside_roi());
                            return result_bytes(d);
                        });
                        for (int i = 0; i < w * h && f32 && fill == 4 && sh <= 20; ++i) {
                            double mag, want = ref_double(src, m.kind, i % w, i / w, bu, sh, &mag);
                            ASSERT_NEAR(dst.at(i % w, i / w), want, 8 * 0x1p-24 * mag) << i;
                        }
                    }
            }
        });
    }
}

// Small images whose results follow from arithmetic alone (they check the reference model too).
TEST(Deriv, HandPickedValues)
{
    struct Case {
        const char *member;
        int w, h;
        std::vector<int> pixels;  // row by row
        int bottomUp, shift, x, y, expected;
    };
    const std::vector<Case> cases = {
        // Scharr d/dy of a 2x2 8s image: S(row 1, x 0) = 13*2 + 3*(-7) = 5, S(row 0) = 0.
        {"Scharr_Dy_8s16s", 2, 2, {0, 0, 2, -7}, 0, 1, 0, 0, 2},
        {"Scharr_Dy_8s16s", 2, 2, {0, 0, 2, -7}, 1, 1, 0, 1, -3},
        {"Scharr_Dy_8s16s", 2, 2, {0, 0, 2, -7}, 0, 0, 0, 1, 5},
        {"Scharr_Dy_8s16s", 2, 2, {0, 0, 2, -7}, 1, 20, 0, 0, -1},
        // Largest magnitudes: a 0 | 255 step edge.
        {"Sobel3x3_Dx_8u16s", 3, 3, {0, 0, 255, 0, 0, 255, 0, 0, 255}, 0, 0, 1, 1, 1020},
        {"Scharr_Dx_8u16s", 3, 3, {0, 0, 255, 0, 0, 255, 0, 0, 255}, 0, 0, 1, 2, 4080},
        {"Scharr_Dx_8u16s", 3, 3, {0, 0, 255, 0, 0, 255, 0, 0, 255}, 0, 11, 1, 2, 1},
        {"Sobel3x3_D2x_8u16s", 3, 3, {0, 255, 0, 0, 255, 0, 0, 255, 0}, 0, 0, 1, 0, -2040},
        {"Sobel3x3_D2x_8s16s", 3, 2, {127, -128, 127, 127, -128, 127}, 0, 0, 1, 1, 2040},
        {"Sobel3x3_DxDy_8u16s", 3, 3, {255, 0, 0, 0, 0, 0, 0, 0, 255}, 0, 0, 1, 1, 510},
        // Width 1: no horizontal derivative; height 2: d2/dy2 is S(1) - S(0), then S(0) - S(1).
        {"Sobel3x3_Dx_8u16s", 1, 3, {9, 200, 3}, 0, 0, 0, 1, 0},
        {"Sobel3x3_D2y_8u16s", 1, 2, {10, 13}, 0, 0, 0, 0, 12},
        {"Sobel3x3_D2y_8u16s", 1, 2, {10, 13}, 0, 0, 0, 1, -12},
        {"Sobel3x3_Dy_8s16s", 2, 2, {1, 2, 5, -3}, 0, 0, 1, 1, 3 * -3 + 5 - (3 * 2 + 1)},
        // 32f: Sobel d/dy of two rows, and Scharr with s = 1/4; with 2^128 infinite, s is 0.
        {"Sobel3x3_Dy_32f", 2, 2, {1, 2, 4, 8}, 1, 0, 0, 0, -(3 * 4 + 8 - (3 * 1 + 2))},
        {"Scharr_Dx_32f", 2, 2, {0, 4, 0, 8}, 0, 2, 0, 0, (13 * 4 + 3 * 8) / 4},
        {"Scharr_Dx_32f", 2, 2, {0, 4, 0, 8}, 0, 128, 0, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.member << " at " << c.x << "," << c.y);
        auto m = std::find_if(members().begin(), members().end(),
                              [&](const Member &mm) { return std::string(mm.name) == c.member; });
        ASSERT_NE(m, members().end());
        with_types(m->src, [&]<class S, class D>() {
            Image<S> src({c.w, c.h});
            Image<D> dst({c.w, c.h});
            for (int i = 0; i < c.w * c.h; ++i) src.at(i % c.w, i / c.w) = S(c.pixels[i]);
            ASSERT_EQ(m->call(src.data(), src.step(), dst.data(), dst.step(), c.bottomUp,
                              src.size(), c.shift),
                      0);
            EXPECT_EQ(double(dst.at(c.x, c.y)), double(c.expected));
        });
    }
}

#if ZYLCV_SIMD
// Destinations of over 2 MB whose rows are 64-byte aligned are streamed in whole cache lines
// from their first line boundary: the twins agree for several positions of the ROI in a line
// (boundary far from column 1, next to it, at it), and nothing outside the ROI is written.
TEST(Deriv, TwinsAgreeOnLargeImages)
{
    std::uint32_t seed = 1500;
    for (std::size_t i = 0; i < members().size(); i += 4) {  // each source type, Sobel and Scharr
        const Member &m = members()[i];
        SCOPED_TRACE(m.name);
        const int bu = m.bottomUp, sh = m.shift ? 3 : 0;
        with_types(m.src, [&]<class S, class D>() {
            const int w = 1030, h = int((2u << 20) / (w * sizeof(D))) + 3,
                      step = (w * int(sizeof(D)) + 63) / 64 * 64;
            Rng rng(++seed);
            SCOPED_TRACE(zt::seed_note(seed));
            Image<S> src({w, h});
            src.fill_random(rng);
            std::vector<D> portable(std::size_t(w) * h);
            twin(zt::Twin::Portable, m.kind, src.data(), src.step(), portable.data(),
                 w * int(sizeof(D)), w, h, bu, sh);
            for (zt::Twin t : zt::twins())
                for (int lineOffset : {0, 64 - int(sizeof(D)), 56, 4 + 26 * int(sizeof(D) == 2)}) {
                    if (t == zt::Twin::Portable) continue;
                    // The destination at lineOffset bytes from a 64-byte boundary, canaries around.
                    std::vector<std::uint8_t> mem(std::size_t(step) * h + 256, 0x5A),
                        canaries = mem;
                    const auto base = reinterpret_cast<std::uintptr_t>(mem.data());
                    const std::size_t at = (64 - base % 64) % 64 + 64 + lineOffset,
                                      row = w * sizeof(D);
                    twin(t, m.kind, src.data(), src.step(), reinterpret_cast<D *>(mem.data() + at),
                         step, w, h, bu, sh);
                    for (int y = 0; y < h; ++y) {
                        const D *got = reinterpret_cast<const D *>(mem.data() + at + y * step),
                                *want = &portable[std::size_t(y) * w];
                        const bool equal = std::memcmp(got, want, row) == 0;  // else find where
                        for (int x = 0; x < w && !equal; ++x)
                            ASSERT_TRUE(same(got[x], want[x]))
                                << zt::twin_name(t) << " " << x << "," << y << " at " << lineOffset;
                        // The ROI row as is.
                        std::memcpy(canaries.data() + at + y * step, got, row);
                    }
                    ASSERT_TRUE(zt::same_bytes(mem, canaries));  // nothing written outside the ROI
                }
        });
    }
}
#endif

}  // namespace
