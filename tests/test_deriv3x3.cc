// Fixed 3x3 derivatives: validation order, reference models (the plain 9-tap integer sum, the
// library's float order, a double-precision sum), hand-picked values, twins, guard pages.
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
bool odd_vertical(Kind k) { return k == Dy || k == DxDy || k == ScharrDy; }
bool is_scharr(Kind k) { return k == ScharrDx || k == ScharrDy; }

template <class S> double px(const Image<S> &img, int x, int y)
{
    return double(img.at(std::clamp(x, 0, img.width() - 1), std::clamp(y, 0, img.height() - 1)));
}

// Integer result: the 9-tap sum over replicated neighbours, negated for an odd vertical kind of
// a bottom-up image, then for Scharr divided by 2^shift and rounded towards minus infinity.
template <class S> int ref_int(const Image<S> &img, Kind k, int x, int y, int bottomUp, int shift)
{
    long sum = 0;
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) sum += kTaps[k][j][i] * long(px(img, x + i - 1, y + j - 1));
    if (bottomUp && odd_vertical(k)) sum = -sum;
    if (is_scharr(k)) return int(std::floor(double(sum) / std::ldexp(1.0, shift)));
    return int(sum);
}

// The same sum in double precision, for the float members (scaled by 1/2^shift for Scharr).
double ref_double(const Image<Zyl32f> &img, Kind k, int x, int y, int bottomUp, int shift,
                  double *magnitude)
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
    *magnitude = mag * std::fabs(scale);
    return sum * scale;
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
float ref_float(const Image<Zyl32f> &img, Kind k, int x, int y, int bottomUp, int shift)
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

#define ARGS                                                                                       \
    const void *s, int ss, void *d, int ds, [[maybe_unused]] int bu, ZyliSize r,                   \
        [[maybe_unused]] int sh
#define PLAIN(f, S, D)                                                                             \
    [](ARGS) { return f(static_cast<const S *>(s), ss, static_cast<D *>(d), ds, r); }
#define BU(f, S, D)                                                                                \
    [](ARGS) { return f(static_cast<const S *>(s), ss, static_cast<D *>(d), ds, bu, r); }
#define SH(f, S, D)                                                                                \
    [](ARGS) { return f(static_cast<const S *>(s), ss, static_cast<D *>(d), ds, r, sh); }
#define BUSH(f, S, D)                                                                              \
    [](ARGS) { return f(static_cast<const S *>(s), ss, static_cast<D *>(d), ds, bu, r, sh); }
#define INT_MEMBERS(T, S, src, d2yCheck)                                                            \
    {                                                                                               \
        "Sobel3x3_Dx_" #T,                                                                          \
        Dx,                                                                                         \
        src,                                                                                        \
        false,                                                                                      \
        false,                                                                                      \
        false,                                                                                      \
        PLAIN(zyliSobel3x3_Dx_##T##_C1R, S, Zyl16s)},                                               \
        {"Sobel3x3_Dy_" #T, Dy, src, true, false, false, BU(zyliSobel3x3_Dy_##T##_C1R, S, Zyl16s)}, \
        {"Sobel3x3_D2x_" #T,                                                                        \
         D2x,                                                                                       \
         src,                                                                                       \
         false,                                                                                     \
         false,                                                                                     \
         false,                                                                                     \
         PLAIN(zyliSobel3x3_D2x_##T##_C1R, S, Zyl16s)},                                             \
        {"Sobel3x3_D2y_" #T,                                                                        \
         D2y,                                                                                       \
         src,                                                                                       \
         false,                                                                                     \
         false,                                                                                     \
         d2yCheck,                                                                                  \
         PLAIN(zyliSobel3x3_D2y_##T##_C1R, S, Zyl16s)},                                             \
        {"Sobel3x3_DxDy_" #T,                                                                       \
         DxDy,                                                                                      \
         src,                                                                                       \
         true,                                                                                      \
         false,                                                                                     \
         false,                                                                                     \
         BU(zyliSobel3x3_DxDy_##T##_C1R, S, Zyl16s)},                                               \
        {"Scharr_Dx_" #T,                                                                           \
         ScharrDx,                                                                                  \
         src,                                                                                       \
         false,                                                                                     \
         true,                                                                                      \
         false,                                                                                     \
         SH(zyliScharr_Dx_##T##_C1R, S, Zyl16s)},                                                   \
    {                                                                                               \
        "Scharr_Dy_" #T, ScharrDy, src, true, true, false,                                          \
            BUSH(zyliScharr_Dy_##T##_C1R, S, Zyl16s)                                                \
    }

const std::vector<Member> &members()
{
    static const std::vector<Member> all = {
        INT_MEMBERS(8u16s, Zyl8u, Src::U8, true),
        INT_MEMBERS(8s16s, Zyl8s, Src::S8, false),
        {"Sobel3x3_Dx_32f", Dx, Src::F32, false, false, false,
         PLAIN(zyliSobel3x3_Dx_32f_C1R, Zyl32f, Zyl32f)},
        {"Sobel3x3_Dy_32f", Dy, Src::F32, true, false, false,
         BU(zyliSobel3x3_Dy_32f_C1R, Zyl32f, Zyl32f)},
        {"Scharr_Dx_32f", ScharrDx, Src::F32, false, true, false,
         SH(zyliScharr_Dx_32f_C1R, Zyl32f, Zyl32f)},
        {"Scharr_Dy_32f", ScharrDy, Src::F32, true, true, false,
         BUSH(zyliScharr_Dy_32f_C1R, Zyl32f, Zyl32f)},
    };
    return all;
}

// Runs f.template operator()<S, D>() with the member's source and destination types.
template <class F> void with_types(Src src, F &&f)
{
    switch (src) {
    case Src::U8:
        f.template operator()<Zyl8u, Zyl16s>();
        break;
    case Src::S8:
        f.template operator()<Zyl8s, Zyl16s>();
        break;
    case Src::F32:
        f.template operator()<Zyl32f, Zyl32f>();
        break;
    }
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

template <class S> auto reference(const Image<S> &img, Kind k, int x, int y, int bu, int sh)
{
    if constexpr (std::is_same_v<S, Zyl32f>) return ref_float(img, k, x, y, bu, sh);
    else return ref_int(img, k, x, y, bu, sh);
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
            std::vector<zt::StatusCase> cases = {
                {"null src wins over bad step and size", call(nullptr, 0, pd, 0, 2, {0, 1}, -1),
                 zylStatusNullPtr},
                {"null dst", call(ps, ss, nullptr, ds, 0, ok, 0), zylStatusNullPtr},
                {"zero src step before size", call(ps, 0, pd, ds, 0, {0, 1}, 0), zylStatusBadStep},
                {"negative dst step", call(ps, ss, pd, -ds, 0, ok, 0), zylStatusBadStep},
                {"zero width before alignment", call(ps, ss, pd, oddDst, 0, {0, 4}, 0),
                 zylStatusBadSize},
                {"one row", call(ps, ss, pd, ds, 0, {8, 1}, 0), zylStatusBadSize},
                {"zero height", call(ps, ss, pd, ds, 0, {8, 0}, 0), zylStatusBadSize},
                {"negative width", call(ps, ss, pd, ds, 0, {-8, 4}, 0), zylStatusBadSize},
                {"unaligned dst step before bottomUp and shift",
                 call(ps, ss, pd, oddDst, 2, ok, -1), zylStatusStepNotAligned},
            };
            if (f32)
                cases.push_back(
                    {"src step 6", call(ps, 6, pd, ds, 0, {1, 4}, 0), zylStatusStepNotAligned});
            if (m.bottomUp) {
                cases.push_back(
                    {"bottomUp 2 before shift", call(ps, ss, pd, ds, 2, ok, -1), zylStatusBadArg});
                cases.push_back({"bottomUp -1", call(ps, ss, pd, ds, -1, ok, 0), zylStatusBadArg});
            }
            if (m.shift)
                cases.push_back(
                    {"negative shift", call(ps, ss, pd, ds, 0, ok, -1), zylStatusBadArg});
            if (m.rowCheck) {
                cases.push_back(
                    {"src step below the width", call(ps, 7, pd, ds, 0, ok, 0), zylStatusBadSize});
                cases.push_back({"dst step below two widths", call(ps, ss, pd, 14, 0, ok, 0),
                                 zylStatusBadSize});
                cases.push_back({"alignment before row lengths", call(ps, 7, pd, 15, 0, ok, 0),
                                 zylStatusStepNotAligned});
            }
            const auto before = dst.roi_bytes();
            zt::expect_statuses(
                cases, [&] { return dst.roi_bytes() == before && dst.intact_outside_roi(); });

            // Accepted: arguments the member ignores, and short or odd rows where nothing checks
            // them (they overlap inside the test's buffers).
            std::vector<zt::StatusCase> accepted = {
                {"bottomUp and shift ignored",
                 call(ps, ss, pd, ds, m.bottomUp ? 1 : 7, ok, m.shift ? 40 : -3), zylStatusOk},
            };
            if (!f32) {
                accepted.push_back(
                    {"odd src step", call(ps, ss + 1, pd, ds, 0, ok, 0), zylStatusOk});
                if (!m.rowCheck) {
                    accepted.push_back(
                        {"src step below the width", call(ps, 7, pd, ds, 0, ok, 0), zylStatusOk});
                    accepted.push_back(
                        {"dst step below two widths", call(ps, ss, pd, 14, 0, ok, 0), zylStatusOk});
                }
            }
            zt::expect_statuses(accepted);
        });
    }
}

// Every member against the reference on many sizes (widths 1 to 3 and heights 2 and 3 included),
// padded steps, odd offsets, bottomUp 0 and 1 and every shift of interest; canaries around the
// destination. Sources are random, constant, all extremes (largest magnitudes) or, for the float
// members, finite values of mixed magnitudes whose results must also stay within a few roundings
// of the exact sum.
TEST(Deriv, MatchesReference)
{
    const std::vector<std::pair<int, int>> fixed = {
        {1, 2},  {1, 3},  {2, 2},  {3, 2},  {3, 3},  {1, 7},  {2, 5},   {9, 2},   {10, 3},
        {11, 2}, {17, 4}, {18, 3}, {33, 5}, {40, 2}, {6, 19}, {12, 10}, {21, 11}, {27, 20}};
    std::uint32_t seed = 100;
    for (const Member &m : members()) {
        SCOPED_TRACE(m.name);
        with_types(m.src, [&]<class S, class D>() {
            for (int n = 0; n < int(fixed.size()) + 8; ++n) {
                Rng rng(++seed);
                SCOPED_TRACE(zt::seed_note(seed));
                Layout ls = zt::random_layout<S>(rng, 70, 7), ld = zt::random_layout<D>(rng, 1, 1);
                if (n < int(fixed.size())) std::tie(ls.width, ls.height) = fixed[n];
                ls.height = std::max(ls.height, 2);
                ld.width = ls.width, ld.height = ls.height;
                Image<S> src(ls);
                const int fill = n % 5;
                if (fill == 3) {
                    src.fill(zt::random_value<S>(rng));
                } else if (fill == 4) {
                    for (int y = 0; y < ls.height; ++y)
                        for (int x = 0; x < ls.width; ++x)
                            if constexpr (std::is_same_v<S, Zyl32f>)
                                src.at(x, y) = zt::random_float(rng, 0.0);
                            else
                                src.at(x, y) = rng.chance(0.5) ? std::numeric_limits<S>::min()
                                                               : std::numeric_limits<S>::max();
                } else {
                    src.fill_random(rng);
                }
                for (int bu : m.bottomUp ? std::vector<int>{0, 1} : std::vector<int>{0})
                    for (int sh : shifts_of(m)) {
                        SCOPED_TRACE("bottomUp " + std::to_string(bu) + " shift " +
                                     std::to_string(sh));
                        Image<D> dst(ld);
                        ASSERT_EQ(m.call(src.data(), src.step(), dst.data(), dst.step(), bu,
                                         src.size(), sh),
                                  zylStatusOk);
                        expect_reference(src, dst, m.kind, bu, sh);
                        ASSERT_TRUE(dst.intact_outside_roi());
                        if constexpr (std::is_same_v<S, Zyl32f>)
                            for (int y = 0; y < ls.height && fill == 4 && sh <= 20; ++y)
                                for (int x = 0; x < ls.width; ++x) {
                                    double mag, want = ref_double(src, m.kind, x, y, bu, sh, &mag);
                                    ASSERT_NEAR(dst.at(x, y), want, 8 * 0x1p-24 * mag)
                                        << x << "," << y;
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
        SCOPED_TRACE(std::string(c.member) + " at " + std::to_string(c.x) + "," +
                     std::to_string(c.y));
        const Member *m = nullptr;
        for (const Member &mm : members())
            if (std::string(mm.name) == c.member) m = &mm;
        ASSERT_NE(m, nullptr);
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

// Every twin agrees with the portable twin bit for bit on every width up to past two blocks and some
// longer rows, heights up to past three bands of rows, unaligned sources and destinations,
// special floats, bottomUp and shifts.
TEST(Deriv, TwinsAgree)
{
    std::uint32_t seed = 900;
    for (const Member &m : members()) {
        SCOPED_TRACE(m.name);
        with_types(m.src, [&]<class S, class D>() {
            std::vector<int> widths;
            for (int w = 1; w <= 26; ++w) widths.push_back(w);
            for (int w : {31, 32, 33, 64, 65, 100, 257}) widths.push_back(w);
            for (int w : widths) {
                Rng rng(++seed);
                SCOPED_TRACE(zt::seed_note(seed));
                const int h = std::vector<int>{2, 3, 4, 5, 9, 10, 11, 12, 19, 27}[w % 10];
                const int e = int(sizeof(S)), de = int(sizeof(D));
                Layout ls{w, h, 1, e * (w % 3), (e * w) % 16},
                    ld{w, h, 1, de * (w % 5), (de * (w / 2)) % 16};
                Image<S> src(ls);
                src.fill_random(rng);
                const int bu = m.bottomUp ? w % 2 : 0;
                const int sh = m.shift ? shifts_of(m)[w % shifts_of(m).size()] : 0;
                zt::expect_twins_agree([&](zt::Twin t) {
                    Image<D> d(ld);
                    twin(t, m.kind, src.data(), src.step(), d.data(), d.step(), w, h, bu, sh);
                    EXPECT_TRUE(d.intact_outside_roi());
                    return result_bytes(d);
                });
            }
        });
    }
}

#if ZYLCV_SIMD
// Destinations of over 2 MB whose rows are 64-byte aligned are streamed in whole cache lines
// from their first line boundary: the twins agree for several positions of the ROI in a line
// (boundary far from column 1, next to it, at it), and nothing outside the ROI is written.
TEST(Deriv, TwinsAgreeOnLargeImages)
{
    struct Case {
        Src src;
        Kind kind;
        int bottomUp, shift;
    };
    const std::vector<Case> cases = {
        {Src::U8, Dx, 0, 0},
        {Src::S8, ScharrDy, 1, 3},
        {Src::F32, Dy, 1, 0},
        {Src::F32, ScharrDx, 0, 2},
    };
    std::uint32_t seed = 1500;
    for (const Case &c : cases)
        with_types(c.src, [&]<class S, class D>() {
            const int w = 1030, h = int((2u << 20) / (w * sizeof(D))) + 3,
                      step = (w * int(sizeof(D)) + 63) / 64 * 64;
            Rng rng(++seed);
            SCOPED_TRACE(zt::seed_note(seed));
            Image<S> src({w, h});
            src.fill_random(rng);
            std::vector<D> want(std::size_t(w) * h);
            twin(zt::Twin::Portable, c.kind, src.data(), src.step(), want.data(),
                 w * int(sizeof(D)), w, h, c.bottomUp, c.shift);
            for (int lineOffset : {0, 64 - int(sizeof(D)), 56, 4 + 26 * int(sizeof(D) == 2)}) {
                // The destination at lineOffset bytes from a 64-byte boundary, canary bytes around.
                std::vector<std::uint8_t> mem(std::size_t(step) * h + 256, 0x5A);
                auto base = reinterpret_cast<std::uintptr_t>(mem.data());
                auto *first = mem.data() + (64 - base % 64) % 64 + 64 + lineOffset;
                twin(zt::Twin::Sse2, c.kind, src.data(), src.step(), reinterpret_cast<D *>(first),
                     step, w, h, c.bottomUp, c.shift);
                for (int y = 0; y < h; ++y) {
                    const D *got = reinterpret_cast<const D *>(first + std::size_t(y) * step),
                            *row = &want[std::size_t(y) * w];
                    if (std::memcmp(got, row, w * sizeof(D)) == 0) continue;
                    for (int x = 0; x < w; ++x)
                        ASSERT_TRUE(same(got[x], row[x])) << "sse2 vs portable at " << x << "," << y
                                                          << ", line offset " << lineOffset;
                }
                // Bytes outside the ROI: before row 0, the padding after each row, after the last.
                std::vector<std::uint8_t> outside(mem.data(), first);
                for (int y = 0; y < h; ++y) {
                    auto *end = first + std::size_t(y) * step + w * sizeof(D);
                    auto *next = y + 1 < h ? end + (step - w * sizeof(D)) : mem.data() + mem.size();
                    outside.insert(outside.end(), end, next);
                }
                ASSERT_EQ(std::count(outside.begin(), outside.end(), 0x5A),
                          std::ptrdiff_t(outside.size()));
            }
        });
}
#endif

// Source and destination flush against inaccessible pages on either side: only the ROI is read
// and written, narrow images included.
TEST(Deriv, StaysInsideRoi)
{
    for (const Member &m : members()) {
        SCOPED_TRACE(m.name);
        with_types(m.src, [&]<class S, class D>() {
            for (int w : {1, 2, 3, 9, 10, 11, 17, 33})
                for (int h : {2, 3})
                    for (zt::Guard g : {zt::Guard::Before, zt::Guard::After}) {
                        Rng rng(w * 10 + h);
                        Image<S> ref({w, h});
                        ref.fill_random(rng);
                        zt::GuardedImage<S> src(w, h, 1, g);
                        zt::GuardedImage<D> dst(
                            w, h, 1, g == zt::Guard::Before ? zt::Guard::After : zt::Guard::Before);
                        src.copy_from(ref);
                        const int bu = m.bottomUp ? 1 : 0, sh = m.shift ? 1 : 0;
                        ASSERT_EQ(m.call(src.data(), src.step(), dst.data(), dst.step(), bu,
                                         src.size(), sh),
                                  0);
                        expect_reference(ref, dst, m.kind, bu, sh);
                    }
        });
    }
}

}  // namespace
