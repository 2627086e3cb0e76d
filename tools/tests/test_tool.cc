// The zylcv tool against the library: every subcommand is run on small images written by this
// test, and its output is compared with a reference computed here (a scalar model where the
// definition is simple, otherwise a direct library call with arguments derived from the
// option's documented meaning). Bad input must give exit status 1 and a one-line message.
#include <png.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <turbojpeg.h>

#include <cmath>
#include <cstring>
#include <new>

#include "image_io.h"
#include "tool_test_support.h"
#include "zylcv.h"

using zylcv_tool::Image;

// The largest single request made through operator new since the last reset: the readers must
// not allocate an image the file's data cannot fill.
static std::size_t g_largestNew = 0;
void *operator new(std::size_t n)
{
    g_largestNew = std::max(g_largestNew, n);
    if (void *p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }

namespace {

using namespace tool_test;

struct Derivs {
    std::vector<Zyl16s> dx, dy;
    int step;
};
Derivs sobel(const Image &g)
{
    Derivs d{std::vector<Zyl16s>(std::size_t(g.width) * g.height),
             std::vector<Zyl16s>(std::size_t(g.width) * g.height), g.width * 2};
    ZyliSize roi = {g.width, g.height};
    EXPECT_EQ(zyliSobel3x3_Dx_8u16s_C1R(g.data(), g.step, d.dx.data(), d.step, roi), zylStatusOk);
    EXPECT_EQ(zyliSobel3x3_Dy_8u16s_C1R(g.data(), g.step, d.dy.data(), d.step, 0, roi),
              zylStatusOk);
    return d;
}

// The library's Canny on the Sobel 3x3 derivatives of a grey image: what the tool computes.
Image canny_of(const Image &g, float lo, float hi)
{
    Image out(g.width, g.height, 1);
    Derivs d = sobel(g);
    ZyliSize roi = {g.width, g.height};
    Zyl32s n = 0;
    EXPECT_EQ(zyliCannyGetSize(roi, &n), zylStatusOk);
    std::vector<Zyl8u> buf(std::size_t(n) + 32);
    EXPECT_EQ(zyliCanny_16s8u_C1R(d.dx.data(), d.step, d.dy.data(), d.step, out.data(), out.step,
                                  roi, lo, hi, buf.data()),
              zylStatusOk);
    return out;
}

// Scalar model of erosion/dilation over a rectangle or a cross anchored at (W/2, H/2), with
// replicated borders.
Image morph_model(const Image &in, bool erode, bool cross, int mw, int mh)
{
    Image out(in.width, in.height, in.channels);
    const int ax = mw / 2, ay = mh / 2;
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x)
            for (int c = 0; c < in.channels; ++c) {
                int best = erode ? 255 : 0;
                for (int i = 0; i < mh; ++i)
                    for (int j = 0; j < mw; ++j) {
                        if (cross && i != ay && j != ax) continue;
                        int sy = std::clamp(y - ay + i, 0, in.height - 1),
                            sx = std::clamp(x - ax + j, 0, in.width - 1);
                        int v = in.row(sy)[sx * in.channels + c];
                        best = erode ? std::min(best, v) : std::max(best, v);
                    }
                out.row(y)[x * in.channels + c] = std::uint8_t(best);
            }
    return out;
}

// ---- subcommands against references -----------------------------------------------------

// A case at the default size: odd, so that the kernels' row tails and pyrdown's cropping are reached.
void add(std::vector<OpCase> &cases, const std::string &label, const std::string &op,
         std::vector<std::string> options, int channels, std::function<Image(const Image &)> expect)
{
    options.insert(options.begin(), op);
    cases.push_back({label, options, 37, 23, channels, std::move(expect)});
}

std::vector<OpCase> op_cases()
{
    std::vector<OpCase> cases;
    // Sobel views: 128 + floor(d / S) for one derivative, floor((|dx| + |dy|) / S) for the
    // magnitude, clamped to 0..255.
    for (int s : {1, 4, 7}) {
        for (int kind = 0; kind < 3; ++kind) {
            const char *flag = kind == 0 ? "--dx" : kind == 1 ? "--dy" : "--magnitude";
            add(cases, std::string("sobel ") + flag + " scale " + std::to_string(s), "sobel",
                {flag, "--scale", std::to_string(s)}, s == 7 ? 3 : 1, [kind, s](const Image &in) {
                    Image g = grey_of(in), out(g.width, g.height, 1);
                    Derivs d = sobel(g);
                    for (int y = 0; y < g.height; ++y)
                        for (int x = 0; x < g.width; ++x) {
                            int vx = d.dx[y * g.width + x], vy = d.dy[y * g.width + x];
                            double v = kind == 2
                                           ? std::floor((std::abs(vx) + std::abs(vy)) / double(s))
                                           : 128 + std::floor((kind == 0 ? vx : vy) / double(s));
                            out.row(y)[x] = std::uint8_t(std::clamp(v, 0.0, 255.0));
                        }
                    return out;
                });
        }
    }
    for (auto [lo, hi, ch] :
         {std::tuple{20, 60, 1}, std::tuple{100, 100, 1}, std::tuple{0, 300, 3}}) {
        add(cases, "canny " + std::to_string(lo) + " " + std::to_string(hi), "canny",
            {"--low", std::to_string(lo), "--high", std::to_string(hi)}, ch,
            [lo, hi](const Image &in) { return canny_of(grey_of(in), float(lo), float(hi)); });
    }
    // --blur: the 3x3 box mean (sum + 4) / 9 with replicated borders before the derivatives.
    add(cases, "canny blur 10 40", "canny", {"--low", "10", "--high", "40", "--blur"}, 3,
        [](const Image &in) {
            Image g = grey_of(in), b(g.width, g.height, 1);
            for (int y = 0; y < g.height; ++y)
                for (int x = 0; x < g.width; ++x) {
                    int sum = 0;
                    for (int dy = -1; dy <= 1; ++dy)
                        for (int dx = -1; dx <= 1; ++dx)
                            sum += g.row(std::clamp(
                                y + dy, 0, g.height - 1))[std::clamp(x + dx, 0, g.width - 1)];
                    b.row(y)[x] = std::uint8_t((sum + 4) / 9);
                }
            return canny_of(b, 10.0f, 40.0f);
        });
    for (const char *op : {"erode", "dilate"})
        for (auto [shape, mw, mh, ch] :
             {std::tuple{"rect", 3, 3, 1}, std::tuple{"rect", 5, 2, 3}, std::tuple{"rect", 1, 4, 1},
              std::tuple{"cross", 3, 5, 1}, std::tuple{"cross", 4, 3, 3}}) {
            const bool erode = std::string(op) == "erode", cross = std::string(shape) == "cross";
            add(cases,
                std::string(op) + " " + shape + " " + std::to_string(mw) + "x" + std::to_string(mh),
                op, {"--shape", shape, "--size", std::to_string(mw) + "x" + std::to_string(mh)}, ch,
                [=](const Image &in) { return morph_model(in, erode, cross, mw, mh); });
        }
    // The ellipse is the library's own element: compare with a direct call.
    for (auto [op, ch] : {std::pair{"erode", 1}, std::pair{"dilate", 3}}) {
        const bool erode = std::string(op) == "erode";
        add(cases, std::string(op) + " ellipse 5x7", op, {"--shape", "ellipse", "--size", "5x7"},
            ch, [erode](const Image &in) {
                Image out(in.width, in.height, in.channels);
                ZyliMorphState *st = nullptr;
                EXPECT_EQ(zyliMorphologyInitAlloc(in.width, zyl8u, in.channels, {5, 7}, {2, 3},
                                                  zylMorphShapeEllipse, nullptr, &st),
                          zylStatusOk);
                ZyliSize roi = {in.width, in.height};
                auto fn = in.channels == 1
                              ? (erode ? zyliErodeStrip_8u_C1R : zyliDilateStrip_8u_C1R)
                              : (erode ? zyliErodeStrip_8u_C3R : zyliDilateStrip_8u_C3R);
                EXPECT_EQ(fn(in.data(), in.step, out.data(), out.step, &roi, st, zylStripWhole),
                          zylStatusOk);
                zyliMorphologyFree(&st);
                return out;
            });
    }
    // Pyramids keep colour; pyrdown leaves out an odd last column and row.
    for (auto [op, ch] : {std::pair{"pyrdown", 1}, std::pair{"pyrdown", 3}, std::pair{"pyrup", 1},
                          std::pair{"pyrup", 3}}) {
        const bool down = std::string(op) == "pyrdown";
        add(cases, std::string(op) + " C" + std::to_string(ch), op, {}, ch,
            [down](const Image &in) {
                const int w = down ? in.width / 2 * 2 : in.width,
                          h = down ? in.height / 2 * 2 : in.height;
                Image out(down ? w / 2 : 2 * w, down ? h / 2 : 2 * h, in.channels);
                Zyl32s n = 0;
                down ? zyliPyrDownGetBufSize_Gauss5x5(w, zyl8u, in.channels, &n)
                     : zyliPyrUpGetBufSize_Gauss5x5(w, zyl8u, in.channels, &n);
                std::vector<Zyl8u> buf(std::size_t(n) + 32);
                ZyliSize roi = {w, h};
                ZylStatus st = down
                                   ? (in.channels == 1 ? zyliPyrDown_Gauss5x5_8u_C1R
                                                       : zyliPyrDown_Gauss5x5_8u_C3R)(
                                         in.data(), in.step, out.data(), out.step, roi, buf.data())
                                   : (in.channels == 1 ? zyliPyrUp_Gauss5x5_8u_C1R
                                                       : zyliPyrUp_Gauss5x5_8u_C3R)(
                                         in.data(), in.step, out.data(), out.step, roi, buf.data());
                EXPECT_EQ(st, zylStatusOk);
                return out;
            });
    }
    // Distances to the nearest zero pixel: city block and chessboard are exact, so a brute
    // force over all zero pixels is the model; l2 goes through the library with its costs.
    for (auto [metric, mask, invert] :
         {std::tuple{"l1", "3", false}, std::tuple{"chess", "3", true},
          std::tuple{"l2", "3", false}, std::tuple{"l2", "5", true}}) {
        std::vector<std::string> opts = {"--metric", metric, "--mask", mask, "--scale", "2.5"};
        if (invert) opts.push_back("--invert");
        const std::string m = metric, k = mask;
        add(cases, std::string("distance ") + metric + " " + mask + (invert ? " inverted" : ""),
            "distance", opts, 1, [m, k, invert](const Image &in) {
                Image g(in.width, in.height, 1), out(in.width, in.height, 1);
                for (int y = 0; y < in.height; ++y)
                    for (int x = 0; x < in.width; ++x) {
                        bool feature = invert ? in.row(y)[x] != 0 : in.row(y)[x] == 0;
                        g.row(y)[x] = feature ? 0 : 255;
                    }
                std::vector<float> d(std::size_t(in.width) * in.height);
                if (m != "l2") {
                    for (int y = 0; y < in.height; ++y)
                        for (int x = 0; x < in.width; ++x) {
                            int best = 1 << 30;
                            for (int v = 0; v < in.height; ++v)
                                for (int u = 0; u < in.width; ++u)
                                    if (g.row(v)[u] == 0) {
                                        int ax = std::abs(u - x), ay = std::abs(v - y);
                                        best =
                                            std::min(best, m == "l1" ? ax + ay : std::max(ax, ay));
                                    }
                            d[y * in.width + x] = float(best);
                        }
                } else {
                    Zyl32f costs[3];
                    EXPECT_EQ(zyliGetDistanceTransformMask(k == "5" ? 52 : 32, costs), zylStatusOk);
                    auto fn = k == "5" ? zyliDistanceTransform_5x5_8u32f_C1R
                                       : zyliDistanceTransform_3x3_8u32f_C1R;
                    EXPECT_EQ(
                        fn(g.data(), g.step, d.data(), in.width * 4, {in.width, in.height}, costs),
                        zylStatusOk);
                }
                for (int y = 0; y < in.height; ++y)
                    for (int x = 0; x < in.width; ++x)
                        out.row(y)[x] = std::uint8_t(
                            std::min(255.0, std::floor(d[y * in.width + x] * 2.5 + 0.5)));
                return out;
            });
        // A few feature pixels: zeros in a bright image, or bright pixels with --invert.
        cases.back().prepare = [invert](Image &in) {
            for (int y = 0; y < in.height; ++y)
                std::fill(in.row(y), in.row(y) + in.width, invert ? 0 : 200);
            for (auto [x, y] : {std::pair{in.width / 3, in.height / 2},
                                std::pair{in.width - 1, in.height - 1}, std::pair{2, 1}})
                in.row(y)[x] = invert ? 255 : 0;
        };
    }
    for (std::size_t i = 1; i < cases.size(); i += 3) cases[i].width = 16, cases[i].height = 9;
    return cases;
}

class ToolOp : public ::testing::TestWithParam<OpCase> {};
TEST_P(ToolOp, MatchesReference) { expect_op(GetParam()); }
INSTANTIATE_TEST_SUITE_P(All, ToolOp, ::testing::ValuesIn(op_cases()), op_name);

TEST(ToolAbsDiff, ColourPairsAndMixedPairs)
{
    for (auto [ca, cb] : {std::pair{1, 1}, std::pair{3, 3}, std::pair{3, 1}}) {
        SCOPED_TRACE("channels " + std::to_string(ca) + " and " + std::to_string(cb));
        Image a = test_image(29, 13, ca, 1), b = test_image(29, 13, cb, 2);
        for (int y = 0; y < 13; ++y) std::reverse(b.row(y), b.row(y) + 29 * cb);
        write_pnm(ca == 1 ? "a.pgm" : "a.ppm", a);
        write_pnm(cb == 1 ? "b.pgm" : "b.ppm", b);
        Result r =
            run_ok({"absdiff", ca == 1 ? "a.pgm" : "a.ppm", cb == 1 ? "b.pgm" : "b.ppm", "d.pnm"});
        Image ga = ca == cb ? a : grey_of(a), gb = ca == cb ? b : grey_of(b),
              want(29, 13, ga.channels);
        for (int y = 0; y < 13; ++y)
            for (int x = 0; x < 29 * ga.channels; ++x)
                want.row(y)[x] = std::uint8_t(std::abs(ga.row(y)[x] - gb.row(y)[x]));
        EXPECT_TRUE(same_pixels(read_pnm("d.pnm"), want));
    }
}

TEST(ToolMatch, BestPositionScoreAndHeatmap)
{
    Image img = test_image(40, 30, 1, 7);
    Image tpl(9, 6, 1);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 9; ++x) tpl.row(y)[x] = img.row(14 + y)[11 + x];
    write_pnm("img.pgm", img);
    write_pnm("tpl.pgm", tpl);
    struct M {
        const char *name;
        bool lower;
        ZylStatus (*fn)(const Zyl8u *, Zyl32s, ZyliSize, const Zyl8u *, Zyl32s, ZyliSize, Zyl32f *,
                        Zyl32s, Zyl8u *);
        ZylStatus (*query)(ZyliSize, ZyliSize, Zyl32s, Zyl32s *);
    };
    for (const M &m :
         {M{"sqdiff", true, zyliMatchTemplate_SqDiff_8u32f_C1R, zyliMatchTemplateGetBufSize_SqDiff},
          M{"sqdiff-normed", true, zyliMatchTemplate_SqDiffNormed_8u32f_C1R,
            zyliMatchTemplateGetBufSize_SqDiffNormed},
          M{"corr", false, zyliMatchTemplate_Corr_8u32f_C1R, zyliMatchTemplateGetBufSize_Corr},
          M{"corr-normed", false, zyliMatchTemplate_CorrNormed_8u32f_C1R,
            zyliMatchTemplateGetBufSize_CorrNormed},
          M{"coeff", false, zyliMatchTemplate_Coeff_8u32f_C1R, zyliMatchTemplateGetBufSize_Coeff},
          M{"coeff-normed", false, zyliMatchTemplate_CoeffNormed_8u32f_C1R,
            zyliMatchTemplateGetBufSize_CoeffNormed}}) {
        SCOPED_TRACE(m.name);
        const int rw = 32, rh = 25;
        std::vector<float> s(rw * rh);
        Zyl32s n = 0;
        ASSERT_EQ(m.query({40, 30}, {9, 6}, zyl8u, &n), zylStatusOk);
        std::vector<Zyl8u> buf(std::size_t(n) + 32);
        ASSERT_EQ(m.fn(img.data(), img.step, {40, 30}, tpl.data(), tpl.step, {9, 6}, s.data(),
                       rw * 4, buf.data()),
                  zylStatusOk);
        // Best score: first in row order among equals.
        int best = 0;
        for (int i = 1; i < rw * rh; ++i)
            if (m.lower ? s[i] < s[best] : s[i] > s[best]) best = i;
        char line[128];
        std::snprintf(line, sizeof line, "x=%d y=%d score=%.9g\n", best % rw, best / rw,
                      double(s[best]));
        Result r =
            run_ok({"match", "img.pgm", "tpl.pgm", "--method", m.name, "--heatmap", "heat.pgm"});
        EXPECT_EQ(r.out, line);
        // Heatmap: scores spread over 0..255, best brightest.
        float lo = *std::min_element(s.begin(), s.end()),
              hi = *std::max_element(s.begin(), s.end());
        Image heat = read_pnm("heat.pgm"), want(rw, rh, 1);
        for (int i = 0; i < rw * rh; ++i) {
            double t = (double(s[i]) - lo) / (double(hi) - lo);
            want.row(i / rw)[i % rw] = std::uint8_t(std::lround((m.lower ? 1 - t : t) * 255));
        }
        EXPECT_TRUE(same_pixels(heat, want));
    }
}

TEST(ToolFill, RegionRecordAndImage)
{
    Image in = test_image(33, 21, 1, 3);
    write_pnm("fill.pgm", in);
    struct F {
        int sx, sy, value, lo, up;
        bool gradient, eight;
    };
    for (const F &f : {F{16, 8, 7, 0, 0, false, false}, F{16, 8, 7, 0, 0, false, true},
                       F{2, 2, 250, 2, 9, true, false}, F{30, 20, 0, 5, 5, true, true},
                       F{16, 8, 220, 0, 0, false, false} /* seed holds the value */}) {
        SCOPED_TRACE("seed " + std::to_string(f.sx) + "," + std::to_string(f.sy) +
                     (f.gradient ? " gradient" : "") + (f.eight ? " 8" : " 4"));
        Image want = in;
        ZyliConnectedRegion reg = {0, double(f.value), 0, 0, 0, 0};
        ZyliSize roi = {33, 21};
        Zyl32s n = 0;
        f.gradient ? zyliFloodFillGetSize_Grad(roi, &n) : zyliFloodFillGetSize(roi, &n);
        std::vector<Zyl8u> buf(std::size_t(n) + 32);
        ZyliPoint seed = {f.sx, f.sy};
        ZylStatus st =
            f.gradient
                ? (f.eight ? zyliFloodFill_Grad8Con_8u_C1IR : zyliFloodFill_Grad4Con_8u_C1IR)(
                      want.data(), want.step, roi, seed, f.value, f.lo, f.up, &reg, buf.data())
                : (f.eight ? zyliFloodFill_8Con_8u_C1IR : zyliFloodFill_4Con_8u_C1IR)(
                      want.data(), want.step, roi, seed, f.value, &reg, buf.data());
        ASSERT_EQ(st, zylStatusOk);
        char line[128];
        std::snprintf(line, sizeof line, "area=%.0f value=%d box=%d,%d,%d,%d\n", reg.area, f.value,
                      reg.boxX, reg.boxY, reg.boxWidth, reg.boxHeight);
        std::vector<std::string> args = {"fill",
                                         "fill.pgm",
                                         "filled.pgm",
                                         "--seed",
                                         std::to_string(f.sx) + "," + std::to_string(f.sy),
                                         "--value",
                                         std::to_string(f.value)};
        if (f.gradient)
            args.insert(args.end(),
                        {"--gradient", std::to_string(f.lo) + "," + std::to_string(f.up)});
        if (f.eight) args.push_back("--8");
        Result r = run_ok(args);
        EXPECT_EQ(r.out, line);
        EXPECT_TRUE(same_pixels(read_pnm("filled.pgm"), want));
    }
}

TEST(ToolStats, GreyAndColour)
{
    for (int ch : {1, 3}) {
        SCOPED_TRACE("channels " + std::to_string(ch));
        Image in = test_image(31, 17, ch, 5);
        write_pnm(ch == 1 ? "s.pgm" : "s.ppm", in);
        Result r = run_ok({"stats", ch == 1 ? "s.pgm" : "s.ppm"});
        std::string want = "size: 31x17\nchannels: " + std::to_string(ch) + "\n";
        static const char *const names[] = {" (red)", " (green)", " (blue)"};
        for (int c = 0; c < ch; ++c) {
            // Extremes, their first locations and the integer norms from the definition; mean,
            // deviation and L2 norm from the library (its summation order fixes the last bits).
            int mn = 256, mx = -1, mnx = 0, mny = 0, mxx = 0, mxy = 0;
            long l1 = 0;
            for (int y = 0; y < 17; ++y)
                for (int x = 0; x < 31; ++x) {
                    int v = in.row(y)[x * ch + c];
                    l1 += v;
                    if (v < mn) mn = v, mnx = x, mny = y;
                    if (v > mx) mx = v, mxx = x, mxy = y;
                }
            Zyl64f mean = 0, dev = 0, l2 = 0;
            Image ones(31, 17, 1);
            for (int y = 0; y < 17; ++y) std::fill(ones.row(y), ones.row(y) + 31, 1);
            if (ch == 1) {
                zyliMean_StdDev_8u_C1R(in.data(), in.step, {31, 17}, &mean, &dev);
                zyliNorm_L2_8u_C1MR(in.data(), in.step, ones.data(), ones.step, {31, 17}, &l2);
            } else {
                zyliMean_StdDev_8u_C3CR(in.data(), in.step, {31, 17}, c + 1, &mean, &dev);
                zyliNorm_L2_8u_C3CMR(in.data(), in.step, ones.data(), ones.step, {31, 17}, c + 1,
                                     &l2);
            }
            const char *t = ch == 1 ? "" : names[c];
            char buf[512];
            std::snprintf(
                buf, sizeof buf,
                "mean%s: %.10g\nstddev%s: %.10g\nmin%s: %d at (%d, %d)\nmax%s: %d at (%d, %d)\n"
                "norm-inf%s: %d\nnorm-l1%s: %ld\nnorm-l2%s: %.10g\n",
                t, mean, t, dev, t, mn, mnx, mny, t, mx, mxx, mxy, t, mx, t, l1, t, l2);
            want += buf;
        }
        EXPECT_EQ(r.out, want);
    }
}

// ---- I/O paths: PNG, standard input and output, colour conversion -------------------------

// A PNG written straight through libpng with the given depth, colour type and raw rows; a palette
// PNG with its entries' transparency (tRNS).
void write_png_raw(const std::string &name, int w, int h, int depth, int type,
                   const std::vector<std::uint8_t> &raw, const std::vector<png_color> &palette = {},
                   const std::vector<std::uint8_t> &alpha = {})
{
    std::FILE *f = std::fopen(path(name).c_str(), "wb");
    ASSERT_TRUE(f);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_set_IHDR(png, info, w, h, depth, type, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty()) {
        png_set_PLTE(png, info, palette.data(), int(palette.size()));
        png_set_tRNS(png, info, alpha.data(), int(alpha.size()), nullptr);
    }
    png_write_info(png, info);
    const std::size_t rowBytes = raw.size() / h;
    for (int y = 0; y < h; ++y) png_write_row(png, raw.data() + y * rowBytes);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
}

TEST(ToolIO, PngLayoutsAndPipes)
{
    Image rgb = test_image(19, 11, 3, 9);
    // Opaque RGBA reads as its RGB. 1-bit grey: expanded to 0/255.
    std::vector<std::uint8_t> rgba, bits;
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 19; ++x) {
            rgba.insert(rgba.end(),
                        {rgb.row(y)[3 * x], rgb.row(y)[3 * x + 1], rgb.row(y)[3 * x + 2], 255});
        }
    for (int y = 0; y < 11; ++y) {
        std::uint8_t a = 0, b = 0, c = 0;
        for (int x = 0; x < 19; ++x) {
            std::uint8_t bit = (x + y) % 3 == 0;
            (x < 8 ? a : x < 16 ? b : c) |= std::uint8_t(bit << (7 - x % 8));
        }
        bits.insert(bits.end(), {a, b, c});
    }
    write_png_raw("rgba.png", 19, 11, 8, PNG_COLOR_TYPE_RGB_ALPHA, rgba);
    write_png_raw("bits.png", 19, 11, 1, PNG_COLOR_TYPE_GRAY, bits);
    Result r = run_ok({"convert", "rgba.png", "rgb.ppm"});
    EXPECT_TRUE(same_pixels(read_pnm("rgb.ppm"), rgb));
    r = run_ok({"convert", "bits.png", "bits.pgm"});
    Image bw(19, 11, 1);
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 19; ++x) bw.row(y)[x] = (x + y) % 3 == 0 ? 255 : 0;
    EXPECT_TRUE(same_pixels(read_pnm("bits.pgm"), bw));

    // Colour through grey-only operations: the tool's luma is (77 R + 150 G + 29 B + 128) >> 8.
    r = run_ok({"convert", "rgba.png", "grey.pgm", "--grey"});
    EXPECT_TRUE(same_pixels(read_pnm("grey.pgm"), grey_of(rgb)));

    // PNG from standard input to standard output, decoded again through a PGM conversion.
    write_pnm("pipe.ppm", rgb);
    r = run_ok({"pyrup", "-", "-"}, path("pipe.ppm"));
    write_bytes(path("piped.png"), r.out);
    ASSERT_EQ(r.out.compare(0, 4, "\x89PNG"), 0);
    r = run_ok({"convert", "piped.png", "piped.ppm"});
    Image up = read_pnm("piped.ppm");
    EXPECT_EQ(up.width, 38);
    EXPECT_EQ(up.height, 22);
    r = run_ok({"pyrup", "pipe.ppm", "direct.ppm"});
    EXPECT_TRUE(same_pixels(up, read_pnm("direct.ppm")));
}

// The header and first rows of a PNG whose data then stops (flushed, never finished).
std::string png_first_rows(int w, int h, int type, int rows)
{
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep d, png_size_t n) {
            static_cast<std::string *>(png_get_io_ptr(p))->append(reinterpret_cast<char *>(d), n);
        },
        [](png_structp) {});
    png_set_IHDR(png, info, w, h, 8, type, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<std::uint8_t> row(std::size_t(w) * png_get_channels(png, info), 0);
    for (int y = 0; y < rows; ++y) png_write_row(png, row.data());
    png_write_flush(png);
    png_destroy_write_struct(&png, &info);
    return out;
}

// Files that declare a large image but hold little data are refused before the image is
// allocated: no request beyond a small multiple of the file plus one row.
TEST(ToolIO, SmallFilesDeclaringLargeImagesAllocateLittle)
{
    const std::vector<std::pair<const char *, std::string>> files = {
        {"binary PPM header", "P6\n32768 2048\n255\n" + std::string(16, '\x01')},
        {"binary PGM header", "P5 32768 2048 255 " + std::string(1000, '\x01')},
        {"text PPM header", "P3\n32768 2048\n255\n1 2 3 4 5 6\n"},
        {"PNG, one row of RGB", png_first_rows(32768, 2048, PNG_COLOR_TYPE_RGB, 1)},
        {"PNG, grey rows", png_first_rows(8192, 8192, PNG_COLOR_TYPE_GRAY, 3)},
    };
    for (const auto &[what, text] : files) {
        SCOPED_TRACE(what);
        const std::vector<std::uint8_t> bytes(text.begin(), text.end());
        Image img;
        std::string error;
        g_largestNew = 0;
        EXPECT_FALSE(zylcv_tool::decode_image(bytes, "f", img, error));
        EXPECT_NE(error.find("f: "), std::string::npos) << error;
        EXPECT_LT(g_largestNew, 64 * bytes.size() + 3 * 32768 + 4096) << error;
    }
    // A file that holds its data still reads.
    const Image small = test_image(300, 200, 3, 4);
    std::string ppm = "P6\n300 200\n255\n";
    for (int y = 0; y < 200; ++y) ppm.append(reinterpret_cast<const char *>(small.row(y)), 900);
    Image img;
    std::string error;
    ASSERT_TRUE(zylcv_tool::decode_image(std::vector<std::uint8_t>(ppm.begin(), ppm.end()), "f",
                                         img, error))
        << error;
    EXPECT_TRUE(same_pixels(img, small));
}

// Transparency is laid over the background (white unless --background says otherwise) for
// every colour type that carries it; 16-bit samples keep their high byte.
TEST(ToolIO, TransparencyAndSixteenBitSamples)
{
    const int w = 7, h = 5;
    auto over = [](int v, int a, int bg) {
        return std::uint8_t((v * a + bg * (255 - a) + 127) / 255);
    };
    auto luma = [](int r, int g, int b) { return (77 * r + 150 * g + 29 * b + 128) >> 8; };
    std::vector<std::uint8_t> rgba, ga, indices;
    const std::vector<png_color> palette = {{10, 20, 30}, {200, 100, 50}, {0, 255, 0}};
    const std::vector<std::uint8_t> palAlpha = {0, 128, 255};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint8_t a = std::uint8_t((x * 40 + y * 17) % 256);
            rgba.insert(rgba.end(),
                        {std::uint8_t(x * 30), std::uint8_t(y * 50), std::uint8_t(x + y), a});
            ga.insert(ga.end(), {std::uint8_t(x * 33 + y), a});
            indices.push_back(std::uint8_t((x + y) % 3));
        }
    write_png_raw("rgba.png", w, h, 8, PNG_COLOR_TYPE_RGB_ALPHA, rgba);
    write_png_raw("ga.png", w, h, 8, PNG_COLOR_TYPE_GRAY_ALPHA, ga);
    write_png_raw("pal.png", w, h, 8, PNG_COLOR_TYPE_PALETTE, indices, palette, palAlpha);
    for (const std::string bg : {"", "black", "#204060", "30,60,90", "77"}) {
        SCOPED_TRACE("background '" + bg + "'");
        int b[3] = {255, 255, 255};
        if (bg == "black") b[0] = b[1] = b[2] = 0;
        if (bg == "#204060") b[0] = 0x20, b[1] = 0x40, b[2] = 0x60;
        if (bg == "30,60,90") b[0] = 30, b[1] = 60, b[2] = 90;
        if (bg == "77") b[0] = b[1] = b[2] = 77;
        std::vector<std::string> extra;
        if (!bg.empty()) extra = {"--background", bg};
        auto convert = [&](const std::string &in, const std::string &out) {
            std::vector<std::string> a = {"convert", in, out};
            a.insert(a.end(), extra.begin(), extra.end());
            run_ok(a);
            return read_pnm(out);
        };
        Image want3(w, h, 3), want1(w, h, 1), wantP(w, h, 3);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const std::uint8_t *p = &rgba[(std::size_t(y) * w + x) * 4];
                for (int c = 0; c < 3; ++c) want3.row(y)[3 * x + c] = over(p[c], p[3], b[c]);
                const std::uint8_t *g = &ga[(std::size_t(y) * w + x) * 2];
                want1.row(y)[x] = over(g[0], g[1], luma(b[0], b[1], b[2]));
                const int i = indices[std::size_t(y) * w + x];
                const int pc[3] = {palette[i].red, palette[i].green, palette[i].blue};
                for (int c = 0; c < 3; ++c)
                    wantP.row(y)[3 * x + c] = over(pc[c], palAlpha[i], b[c]);
            }
        EXPECT_TRUE(same_pixels(convert("rgba.png", "rgba.ppm"), want3));
        EXPECT_TRUE(same_pixels(convert("ga.png", "ga.pgm"), want1));
        EXPECT_TRUE(same_pixels(convert("pal.png", "pal.ppm"), wantP));
    }
    // 16-bit grey PNG and PGM (big-endian samples), and a PGM of maximum 1023 (scaled to 16 bits).
    std::vector<std::uint8_t> deep;
    std::string pgm16 = "P5\n7 5\n65535\n", pgm10 = "P5\n7 5\n1023\n";
    Image want16(w, h, 1), want10(w, h, 1);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int v = (x * 9001 + y * 13007) % 65536, v10 = (x * 97 + y * 211) % 1024;
            deep.insert(deep.end(), {std::uint8_t(v >> 8), std::uint8_t(v & 255)});
            pgm16 += std::string{char(v >> 8), char(v & 255)};
            pgm10 += std::string{char(v10 >> 8), char(v10 & 255)};
            want16.row(y)[x] = std::uint8_t(v >> 8);
            want10.row(y)[x] = std::uint8_t(((v10 * 65535 + 511) / 1023) >> 8);
        }
    write_png_raw("deep16.png", w, h, 16, PNG_COLOR_TYPE_GRAY, deep);
    write_bytes(path("deep16.pgm"), pgm16);
    write_bytes(path("deep10.pgm"), pgm10);
    for (const char *in : {"deep16.png", "deep16.pgm"}) {
        run_ok({"convert", in, "deep-out.pgm"});
        EXPECT_TRUE(same_pixels(read_pnm("deep-out.pgm"), want16)) << in;
    }
    run_ok({"convert", "deep10.pgm", "deep-out.pgm"});
    EXPECT_TRUE(same_pixels(read_pnm("deep-out.pgm"), want10));
}

// A JPEG written straight through libjpeg-turbo from interleaved samples (1, 3 or 4 = CMYK).
std::string jpeg_of(const std::vector<std::uint8_t> &px, int w, int h, int channels,
                    int quality = 95)
{
    tjhandle tj = tjInitCompress();
    unsigned char *out = nullptr;
    unsigned long size = 0;
    const int fmt = channels == 1 ? TJPF_GRAY : channels == 3 ? TJPF_RGB : TJPF_CMYK;
    EXPECT_EQ(tjCompress2(tj, px.data(), w, w * channels, h, fmt, &out, &size,
                          channels == 1 ? TJSAMP_GRAY : TJSAMP_444, quality, 0),
              0);
    std::string bytes(reinterpret_cast<char *>(out), size);
    tjFree(out);
    tjDestroy(tj);
    return bytes;
}

// Largest difference between two images of the same layout (JPEG is lossy).
int max_difference(const Image &a, const Image &b)
{
    EXPECT_TRUE(a.width == b.width && a.height == b.height && a.channels == b.channels);
    int d = 0;
    for (int y = 0; y < std::min(a.height, b.height); ++y)
        for (int i = 0; i < std::min(a.width * a.channels, b.width * b.channels); ++i)
            d = std::max(d, std::abs(int(a.row(y)[i]) - int(b.row(y)[i])));
    return d;
}

// Smooth content, so that JPEG's loss stays within a few levels.
Image smooth_image(int w, int h, int channels)
{
    Image img(w, h, channels);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w * channels; ++x)
            img.row(y)[x] = std::uint8_t(40 + x / channels + y + (x % channels) * 20);
    return img;
}

// The output's extension (or --format) chooses its format; PGM is grey and PPM is RGB whatever
// was computed; JPEG reads (grey, colour, CMYK) and writes; unknown extensions are refused.
TEST(ToolIO, FormatsByExtensionAndJpeg)
{
    const Image rgb = test_image(13, 9, 3, 21), grey = test_image(13, 9, 1, 22);
    write_pnm("c.ppm", rgb);
    write_pnm("g.pgm", grey);
    Result r = run_ok({"convert", "c.ppm", "as-grey.pgm"});
    EXPECT_EQ(read_text(path("as-grey.pgm")).compare(0, 2, "P5"), 0);
    EXPECT_TRUE(same_pixels(read_pnm("as-grey.pgm"), grey_of(rgb)));
    r = run_ok({"convert", "g.pgm", "as-rgb.ppm"});
    Image rep(13, 9, 3);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 13; ++x)
            rep.row(y)[3 * x] = rep.row(y)[3 * x + 1] = rep.row(y)[3 * x + 2] = grey.row(y)[x];
    EXPECT_TRUE(same_pixels(read_pnm("as-rgb.ppm"), rep));
    // Unknown or missing extensions need --format (refused in ToolErrors).
    r = run_ok({"convert", "c.ppm", "out.xyz", "--format", "PPM"});
    EXPECT_TRUE(same_pixels(read_pnm("out.xyz"), rgb));

    // JPEG out: the data is JPEG whatever the case of the extension, and decodes to about the
    // input; a lower quality gives a smaller file.
    const Image smooth = smooth_image(64, 48, 3);
    write_pnm("smooth.ppm", smooth);
    for (const char *name : {"s.jpg", "s.JPEG"}) {
        r = run_ok({"convert", "smooth.ppm", name, "--quality", "95"});
        EXPECT_EQ(read_text(path(name)).compare(0, 3, "\xFF\xD8\xFF"), 0) << name;
    }
    r = run_ok({"convert", "s.jpg", "s-back.ppm"});
    EXPECT_LE(max_difference(read_pnm("s-back.ppm"), smooth), 8);
    r = run_ok({"convert", "smooth.ppm", "s-low.jpg", "--quality", "10"});
    EXPECT_LT(read_text(path("s-low.jpg")).size(), read_text(path("s.jpg")).size());

    // JPEG in: grey, colour and CMYK (Adobe's inverted samples: RGB = C * K / 255).
    const Image sg = smooth_image(40, 24, 1), sc = smooth_image(40, 24, 3);
    std::vector<std::uint8_t> pg, pc, pk;
    Image wantK(40, 24, 3);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 40; ++x) {
            pg.push_back(sg.row(y)[x]);
            for (int c = 0; c < 3; ++c) pc.push_back(sc.row(y)[3 * x + c]);
            const std::uint8_t cmyk[4] = {std::uint8_t(200 + x), std::uint8_t(100 + y),
                                          std::uint8_t(150), std::uint8_t(230 - x)};
            pk.insert(pk.end(), cmyk, cmyk + 4);
            for (int c = 0; c < 3; ++c)
                wantK.row(y)[3 * x + c] = std::uint8_t((cmyk[c] * cmyk[3] + 127) / 255);
        }
    write_bytes(path("g.jpg"), jpeg_of(pg, 40, 24, 1));
    write_bytes(path("c.jpg"), jpeg_of(pc, 40, 24, 3));
    write_bytes(path("k.jpg"), jpeg_of(pk, 40, 24, 4));
    const std::pair<const char *, const Image *> inputs[] = {
        {"g.jpg", &sg}, {"c.jpg", &sc}, {"k.jpg", &wantK}};
    for (const auto &[name, want] : inputs) {
        SCOPED_TRACE(name);
        r = run_ok({"convert", name, "j.pnm"});
        EXPECT_LE(max_difference(read_pnm("j.pnm"), *want), 8);
    }
}

// --json prints one object that a JSON reader takes, with the same numbers as the text form.
TEST(ToolOutput, Json)
{
    Image img(3, 2, 1);
    const std::uint8_t px[6] = {5, 9, 1, 9, 4, 7};
    for (int i = 0; i < 6; ++i) img.row(i / 3)[i % 3] = px[i];
    write_pnm("j.pgm", img);
    Result r = run_ok({"stats", "j.pgm", "--json"});
    // mean 35/6, population deviation sqrt(233/6 - (35/6)^2), L1 35, L2 sqrt(253).
    char want[512];
    std::snprintf(
        want, sizeof want,
        "{\"file\": \"j.pgm\", \"width\": 3, \"height\": 2, \"channels\": [{\"channel\": \"grey\", "
        "\"mean\": %.17g, \"stddev\": %.17g, \"min\": 1, \"min_at\": [2, 0], \"max\": 9, "
        "\"max_at\": [1, 0], \"norm_inf\": 9, \"norm_l1\": 35, \"norm_l2\": %.17g}]}\n",
        35.0 / 6, std::sqrt(253.0 / 6 - (35.0 / 6) * (35.0 / 6)), std::sqrt(253.0));
    // The deviation's last digits depend on the summation; compare all but it exactly.
    const std::string got = r.out, w = want;
    const std::size_t a = w.find("\"stddev\""), b = w.find(", \"min\"");
    EXPECT_EQ(got.substr(0, a), w.substr(0, a));
    EXPECT_EQ(got.substr(got.find(", \"min\"")), w.substr(b));
    // Two copies of a distinct patch: --top 2 finds both, best first, text and JSON alike.
    Image scene(20, 12, 1), patch(4, 3, 1);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 20; ++x) scene.row(y)[x] = std::uint8_t((x * 7 + y * 3) % 50);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            patch.row(y)[x] = std::uint8_t(200 + 13 * x - 20 * y);
            scene.row(2 + y)[3 + x] = scene.row(7 + y)[14 + x] = patch.row(y)[x];
        }
    write_pnm("scene.pgm", scene);
    write_pnm("patch.pgm", patch);
    expect_outputs({
        {{"fill", "j.pgm", "jf.pgm", "--seed", "1,0", "--value", "3", "--8", "--json"},
         "{\"area\": 2, \"value\": 3, \"box\": {\"x\": 0, \"y\": 0, \"width\": 2, \"height\": "
         "2}}\n"},
        {{"match", "scene.pgm", "patch.pgm", "--method", "sqdiff", "--top", "2", "--json"},
         "{\"method\": \"sqdiff\", \"best\": [{\"x\": 3, \"y\": 2, \"score\": 0}, {\"x\": 14, "
         "\"y\": 7, \"score\": 0}]}\n"},
        {{"match", "scene.pgm", "patch.pgm", "--method", "sqdiff", "--top", "2"},
         "x=3 y=2 score=0\nx=14 y=7 score=0\n"},
    });
    r = run_ok({"info", "--json"});
    EXPECT_EQ(r.out.compare(0, 9, "{\"tool\": "), 0) << r.out;
    EXPECT_NE(r.out.find("\"name\": \"zylcvk4\", \"version\": \"v2.0 gold SP1\""),
              std::string::npos)
        << r.out;
}

// --out-dir runs the command over many inputs in threads: each output equals a single run's,
// a failing input is listed in the summary and the others are still written.
TEST(ToolBatch, OutDirJobsAndSummary)
{
    const std::vector<std::string> names = {"b1.pgm", "b2.ppm", "b3.pgm", "b4.ppm", "b5.pgm"};
    for (std::size_t i = 0; i < names.size(); ++i)
        write_pnm(names[i],
                  test_image(int(9 + i), int(7 + 2 * i),
                             names[i][3] == 'p' && names[i][4] == 'p' ? 3 : 1, unsigned(40 + i)));
    write_bytes(path("broken.pgm"), "P5\n4 4\n255\nxx");
    std::system(("rm -rf '" + path("batch") + "'").c_str());
    std::vector<std::string> args = {"erode",  "--shape", "cross",     "--size", "3x5",
                                     "--jobs", "3",       "--out-dir", "batch"};
    for (const auto &n : names) args.push_back(n);
    args.insert(args.begin() + 9 + 2, "broken.pgm");
    Result r = run(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(
        r.err.find(
            "zylcv erode: 5 of 6 images written to batch; 1 failed:\n  broken.pgm: truncated PGM"),
        std::string::npos)
        << r.err;
    for (const auto &n : names) {
        SCOPED_TRACE(n);
        Result one = run_ok({"erode", n, "one.pnm", "--shape", "cross", "--size", "3x5"});
        EXPECT_TRUE(same_pixels(read_pnm("batch/" + n), read_pnm("one.pnm")));
    }
    // --format names every output's extension; commands without one output per input refuse.
    r = run_ok({"pyrdown", "--out-dir", "batch2", "--format", "png", names[0], names[1]});
    EXPECT_EQ(read_text(path("batch2/b1.png")).compare(1, 3, "PNG"), 0);
    EXPECT_EQ(read_text(path("batch2/b2.png")).compare(1, 3, "PNG"), 0);
}

// A failed write leaves every existing file as it was: regular files are replaced only once the
// new data is complete, devices are written in place and never removed, symbolic links stay.
TEST(ToolIO, FailedWritesDestroyNothing)
{
    write_pnm("in.pgm", test_image(200, 100, 1, 3));
    const std::string old = "old contents\n";
    auto link = [](const std::string &to, const std::string &name) {
        std::remove(path(name).c_str());
        ASSERT_EQ(symlink(to.c_str(), path(name).c_str()), 0);
    };
    auto is_link = [](const std::string &name) {
        struct stat st;
        return lstat(path(name).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
    };
    // A device that reports a full disk, by a link and (where this user may make device nodes)
    // as a node of its own.
    link("/dev/full", "full-link.pgm");
    Result r = run({"convert", "in.pgm", "full-link.pgm"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("full-link.pgm: cannot write: No space left on device"), std::string::npos)
        << r.err;
    EXPECT_TRUE(is_link("full-link.pgm"));
    std::remove(path("full-node.pgm").c_str());
    if (mknod(path("full-node.pgm").c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0) {
        r = run({"convert", "in.pgm", "full-node.pgm"});
        EXPECT_EQ(r.status, 1);
        struct stat st;
        EXPECT_TRUE(stat(path("full-node.pgm").c_str(), &st) == 0 && S_ISCHR(st.st_mode));
    }
    // A regular file on a disk that fills up (a file-size limit of 512 bytes), directly and
    // through a link: the old contents stay, the link stays, no temporary file is left.
    write_bytes(path("keep.pgm"), old);
    link("keep.pgm", "keep-link.pgm");
    for (const char *out : {"keep.pgm", "keep-link.pgm"}) {
        SCOPED_TRACE(out);
        r = run({"convert", "in.pgm", out}, "", "trap '' XFSZ && ulimit -f 1 &&");
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
        EXPECT_EQ(read_text(path("keep.pgm")), old);
    }
    EXPECT_TRUE(is_link("keep-link.pgm"));
    // Success through the link replaces the file it names and keeps the link.
    r = run_ok({"convert", "in.pgm", "keep-link.pgm"});
    EXPECT_TRUE(is_link("keep-link.pgm"));
    EXPECT_TRUE(same_pixels(read_pnm("keep.pgm"), test_image(200, 100, 1, 3)));
    EXPECT_EQ(std::system(("ls -a '" + work_dir() + "' | grep -q '^\\.zylcv-'").c_str()) == 0,
              false)
        << "a temporary file was left behind";
}

// ---- refusals -------------------------------------------------------------------------------

TEST(ToolErrors, BadInputGivesOneLineAndStatusOne)
{
    // Inputs of every kind of fault.
    Image ok = test_image(24, 16, 1, 11);
    write_pnm("ok.pgm", ok);
    write_pnm("row.pgm", test_image(5, 1, 1, 1));
    write_pnm("big.pgm", test_image(30, 30, 1, 1));
    run_ok({"convert", "ok.pgm", "ok.png"});
    const std::string png = read_text(path("ok.png"));
    write_bytes(path("truncated.png"), png.substr(0, png.size() / 2));
    std::string corrupt = png;
    corrupt[png.size() / 2] = char(corrupt[png.size() / 2] ^ 0x55);  // inside IDAT: CRC mismatch
    write_bytes(path("corrupt.png"), corrupt);
    write_bytes(path("garbage.png"), "GIF89a this is not a PNG");
    {
        std::vector<std::uint8_t> px(64 * 64 * 3);
        for (std::size_t i = 0; i < px.size(); ++i) px[i] = std::uint8_t(i * 7);
        const std::string jpg = jpeg_of(px, 64, 64, 3);
        write_bytes(path("truncated.jpg"), jpg.substr(0, jpg.size() / 2));
        // The frame header's size fields (after FF C0 and 3 bytes) set to 8000 x 8000.
        std::string huge = jpg;
        const std::size_t sof = huge.find("\xFF\xC0");
        ASSERT_NE(sof, std::string::npos);
        huge[sof + 5] = huge[sof + 7] = char(8000 >> 8);
        huge[sof + 6] = huge[sof + 8] = char(8000 & 255);
        write_bytes(path("huge.jpg"), huge);
    }
    write_bytes(path("short.pgm"), "P5\n4 4\n255\n" + std::string(10, '\x01'));

    const std::vector<BadInput> table = {
        {{"stats", "missing.png"}, "missing.png: cannot open: No such file or directory"},
        {{"stats", "truncated.png"}, "truncated.png: corrupt PNG"},
        {{"stats", "corrupt.png"}, "corrupt.png: corrupt PNG"},
        {{"stats", "garbage.png"}, "garbage.png: not a PNG, JPEG, PGM or PPM image"},
        {{"stats", "truncated.jpg"}, "truncated.jpg: corrupt JPEG"},
        {{"stats", "huge.jpg"}, "huge.jpg: corrupt JPEG"},
        {{"stats", "short.pgm"}, "short.pgm: truncated PGM"},
        {{"sobel", "row.pgm", "o.png", "--dx"}, "row.pgm: image too small (5x1)"},
        {{"canny", "row.pgm", "o.png"}, "row.pgm: image too small (5x1)"},
        {{"pyrdown", "row.pgm", "o.png"}, "row.pgm: image too small (5x1)"},
        {{"match", "ok.pgm", "big.pgm"},
         "template big.pgm (30x30) is larger than the image ok.pgm (24x16)"},
        {{"match", "ok.pgm", "ok.pgm", "--heatmap", "-"},
         "--heatmap: standard output carries the match result"},
        {{"fill", "ok.pgm", "o.png", "--seed", "24,3", "--value", "1"},
         "ok.pgm: seed 24,3 lies outside the 24x16 image"},
        {{"fill", "ok.pgm", "o.png", "--seed", "0,-1", "--value", "1"}, "lies outside"},
        // Option values are checked before any file is read (missing.png is never opened).
        {{"fill", "missing.png", "o.png", "--seed", "1,1", "--value", "256"},
         "zylcv fill: --value 256: must be in 0..255"},
        {{"fill", "missing.png", "o.png", "--seed", "1,1", "--value", "9", "--gradient", "200,56"},
         "zylcv fill: --gradient 200,56: LO and UP must be at least 0 with LO + UP at most 255"},
        {{"fill", "missing.png", "o.png", "--seed", "1,1", "--value", "9", "--gradient", "-1,5"},
         "--gradient -1,5: LO and UP"},
        {{"canny", "missing.png", "o.png", "--low", "90", "--high", "10"},
         "zylcv canny: --high 10: must be at least --low (90)"},
        {{"canny", "missing.png", "o.png", "--low", "-5"},
         "zylcv canny: --low -5: must be at least 0"},
        {{"erode", "missing.png", "o.png", "--size", "0x0"},
         "zylcv erode: --size 0x0: width and height must each be in 1..255"},
        {{"erode", "missing.png", "o.png", "--size", "3x256"},
         "--size 3x256: width and height must each be in 1..255"},
        {{"sobel", "missing.png", "o.png", "--dx", "--scale", "0"},
         "zylcv sobel: --scale 0: must be in 1..65536"},
        {{"sobel", "ok.pgm"}, "expected IN OUT, got 1 argument (see"},
        {{"canny", "ok.pgm", "o.png", "--bogus"}, "unknown option '--bogus'"},
        {{"canny", "ok.pgm", "o.png", "--low"}, "option '--low' needs a value"},
        {{"canny", "ok.pgm", "o.png", "--low", "ten"}, "--low: 'ten' is not a finite number"},
        {{"erode", "ok.pgm", "o.png", "--size", "3by3"}, "--size: '3by3' is not of the form AxB"},
        {{"erode", "ok.pgm", "o.png", "--shape", "disc"}, "'disc' is not rect, cross or ellipse"},
        {{"distance", "ok.pgm", "o.png", "--mask", "5", "--metric", "l1"},
         "the 5x5 mask has only the l2 metric"},
        {{"sobel", "ok.pgm", "o.png"}, "give exactly one of --dx, --dy, --magnitude"},
        {{"absdiff", "ok.pgm", "big.pgm", "o.png"}, "ok.pgm is 24x16 but big.pgm is 30x30"},
        {{"absdiff", "ok.pgm", "o.png"}, "expected A B OUT"},
        {{"convert", "ok.pgm", "no/such/dir/o.png"}, "no/such/dir/o.png: cannot create"},
        {{"convert", "ok.pgm", "x.pgm", "--background", "pink"},
         "--background: 'pink' is not a colour"},
        {{"convert", "ok.pgm", "out.xyz"}, "cannot tell the format from the name"},
        {{"convert", "ok.pgm", "out"}, "cannot tell the format from the name"},
        {{"convert", "ok.pgm", "dir.d/out"}, "cannot tell the format from the name"},
        {{"convert", "ok.pgm", "x.png", "--format", "gif"},
         "--format gif: must be png, jpeg (jpg), pgm, ppm or pnm"},
        {{"convert", "ok.pgm", "x.jpg", "--quality", "0"}, "--quality 0: must be in 1..100"},
        {{"stats", "--out-dir", "batch3", "ok.pgm"},
         "--out-dir: 'stats' does not write one image per input"},
        {{"erode", "--jobs", "0", "--out-dir", "batch3", "ok.pgm"}, "--jobs 0: must be in 1..256"},
        {{"stats", "-"}, "<stdin>: empty file"},
        {{"frobnicate"}, "unknown command 'frobnicate'"},
        {{}, "usage: zylcv"},
    };
    expect_refusals(table);
}

TEST(ToolHelp, EveryCommandHasHelpAndVersionIsShown)
{
    expect_help({"absdiff", "sobel", "canny", "erode", "dilate", "pyrdown", "pyrup", "match",
                 "distance", "fill", "stats", "convert", "info"});
    EXPECT_NE(run_ok({"--version"}).out.find(ZYLCV_SIMD ? "SSE2 kernels" : "portable kernels"),
              std::string::npos);
    const ZylLibVersion *v = zylcvGetLibVersion();
    EXPECT_NE(run_ok({"info"}).out.find(std::string(v->libraryName) + " " + v->versionText),
              std::string::npos);
}

}  // namespace
