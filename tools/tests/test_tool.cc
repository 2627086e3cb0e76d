// The zylcv tool against the library: every subcommand is run on small images written by this
// test, and its output is compared with a reference computed here (a scalar model where the
// definition is simple, otherwise a direct library call with arguments derived from the
// option's documented meaning). Bad input must give exit status 1 and a one-line message.
#include <png.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <turbojpeg.h>

#include <array>
#include <cmath>
#include <new>

#include "image_io.h"
#include "tool_test_support.h"
#include "zylcv.h"

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
    const int ax = mw / 2, ay = mh / 2;
    return make_image(in.width, in.height, in.channels, [&](int x, int y, int c) {
        int best = erode ? 255 : 0;
        for (int i = 0; i < mh; ++i)
            for (int j = 0; j < mw; ++j)
                if (!cross || i == ay || j == ax) {
                    const int v = at(in, x - ax + j, y - ay + i, c);
                    best = erode ? std::min(best, v) : std::max(best, v);
                }
        return best;
    });
}

// ---- subcommands against references -----------------------------------------------------

std::vector<OpCase> op_cases()
{
    using namespace std::string_literals;
    std::vector<OpCase> cases;
    // At the default size: odd, so that the kernels' row tails and pyrdown's cropping are reached.
    auto add = [&](const std::string &line, int channels, auto expect) {
        cases.push_back({line, 37, 23, channels, expect});
    };
    // Sobel views: 128 + floor(d / S) for one derivative, floor((|dx| + |dy|) / S) for the
    // magnitude, clamped to 0..255.
    static const char *const views[] = {"--dx", "--dy", "--magnitude"};
    for (int s : {1, 4, 7})
        for (int kind = 0; kind < 3; ++kind)
            add("sobel "s + views[kind] + " --scale " + std::to_string(s), s == 7 ? 3 : 1,
                [kind, s](const Image &in) {
                    const Image g = grey_of(in);
                    const Derivs d = sobel(g);
                    return make_image(g.width, g.height, 1, [&](int x, int y, int) {
                        const int vx = d.dx[y * g.width + x], vy = d.dy[y * g.width + x];
                        const double v = kind == 2
                                             ? std::floor((std::abs(vx) + std::abs(vy)) / double(s))
                                             : 128 + std::floor((kind == 0 ? vx : vy) / double(s));
                        return std::clamp(v, 0.0, 255.0);
                    });
                });
    for (auto [lo, hi, ch] :
         {std::tuple{20, 60, 1}, std::tuple{100, 100, 1}, std::tuple{0, 300, 3}})
        add("canny --low " + std::to_string(lo) + " --high " + std::to_string(hi), ch,
            [lo, hi](const Image &in) { return canny_of(grey_of(in), float(lo), float(hi)); });
    // --blur: the 3x3 box mean (sum + 4) / 9 with replicated borders before the derivatives.
    add("canny --low 10 --high 40 --blur", 3, [](const Image &in) {
        const Image g = grey_of(in);
        const Image b = make_image(g.width, g.height, 1, [&](int x, int y, int) {
            int sum = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) sum += at(g, x + dx, y + dy);
            return (sum + 4) / 9;
        });
        return canny_of(b, 10.0f, 40.0f);
    });
    for (const char *op : {"erode", "dilate"})
        for (auto [shape, mw, mh, ch] :
             {std::tuple{"rect", 3, 3, 1}, std::tuple{"rect", 5, 2, 3}, std::tuple{"rect", 1, 4, 1},
              std::tuple{"cross", 3, 5, 1}, std::tuple{"cross", 4, 3, 3}}) {
            const bool erode = op == "erode"s, cross = shape == "cross"s;
            add(op + " --shape "s + shape + " --size " + std::to_string(mw) + "x" +
                    std::to_string(mh),
                ch, [=](const Image &in) { return morph_model(in, erode, cross, mw, mh); });
        }
    // The ellipse is the library's own element: compare with a direct call.
    for (auto [op, ch, fn] : {std::tuple{"erode", 1, &zyliErodeStrip_8u_C1R},
                              std::tuple{"dilate", 3, &zyliDilateStrip_8u_C3R}})
        add(op + " --shape ellipse --size 5x7"s, ch, [fn](const Image &in) {
            Image out(in.width, in.height, in.channels);
            ZyliMorphState *st = nullptr;
            EXPECT_EQ(zyliMorphologyInitAlloc(in.width, zyl8u, in.channels, {5, 7}, {2, 3},
                                              zylMorphShapeEllipse, nullptr, &st),
                      zylStatusOk);
            ZyliSize roi = {in.width, in.height};
            EXPECT_EQ(fn(in.data(), in.step, out.data(), out.step, &roi, st, zylStripWhole),
                      zylStatusOk);
            zyliMorphologyFree(&st);
            return out;
        });
    // Pyramids keep colour; pyrdown leaves out an odd last column and row.
    for (auto [op, ch, size, fn] :
         {std::tuple{"pyrdown", 1, &zyliPyrDownGetBufSize_Gauss5x5, &zyliPyrDown_Gauss5x5_8u_C1R},
          std::tuple{"pyrdown", 3, &zyliPyrDownGetBufSize_Gauss5x5, &zyliPyrDown_Gauss5x5_8u_C3R},
          std::tuple{"pyrup", 1, &zyliPyrUpGetBufSize_Gauss5x5, &zyliPyrUp_Gauss5x5_8u_C1R},
          std::tuple{"pyrup", 3, &zyliPyrUpGetBufSize_Gauss5x5, &zyliPyrUp_Gauss5x5_8u_C3R}}) {
        const bool down = op == "pyrdown"s;
        add(op, ch, [=](const Image &in) {
            const int w = down ? in.width / 2 * 2 : in.width,
                      h = down ? in.height / 2 * 2 : in.height;
            Image out(down ? w / 2 : 2 * w, down ? h / 2 : 2 * h, in.channels);
            Zyl32s n = 0;
            EXPECT_EQ(size(w, zyl8u, in.channels, &n), zylStatusOk);
            std::vector<Zyl8u> buf(std::size_t(n) + 32);
            EXPECT_EQ(fn(in.data(), in.step, out.data(), out.step, {w, h}, buf.data()),
                      zylStatusOk);
            return out;
        });
    }
    // Distances to the nearest zero pixel: city block and chessboard are exact, so a brute
    // force over all zero pixels is the model; l2 goes through the library with its costs.
    for (auto [metric, mask, invert] :
         {std::tuple{"l1"s, "3"s, false}, std::tuple{"chess"s, "3"s, true},
          std::tuple{"l2"s, "3"s, false}, std::tuple{"l2"s, "5"s, true}}) {
        add("distance --metric " + metric + " --mask " + mask + " --scale 2.5" +
                (invert ? " --invert" : ""),
            1, [m = metric, k = mask, invert](const Image &in) {
                const int w = in.width, h = in.height;
                const Image g = make_image(w, h, 1, [&](int x, int y, int) {
                    return (in.row(y)[x] != 0) == invert ? 0 : 255;  // features are 0
                });
                std::vector<float> d(std::size_t(w) * h);
                if (m == "l2") {
                    Zyl32f costs[3];
                    EXPECT_EQ(zyliGetDistanceTransformMask(k == "5" ? 52 : 32, costs), zylStatusOk);
                    auto fn = k == "5" ? zyliDistanceTransform_5x5_8u32f_C1R
                                       : zyliDistanceTransform_3x3_8u32f_C1R;
                    EXPECT_EQ(fn(g.data(), g.step, d.data(), w * 4, {w, h}, costs), zylStatusOk);
                }
                return make_image(w, h, 1, [&](int x, int y, int) {
                    double best = d[y * w + x];
                    if (m != "l2") {
                        best = 1 << 30;
                        for (int v = 0; v < h; ++v)
                            for (int u = 0; u < w; ++u) {
                                const int ax = std::abs(u - x), ay = std::abs(v - y);
                                const int dist = m == "l1" ? ax + ay : std::max(ax, ay);
                                if (g.row(v)[u] == 0) best = std::min(best, double(dist));
                            }
                    }
                    return std::min(255.0, std::floor(best * 2.5 + 0.5));
                });
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
        run_ok({"absdiff", write_stem("a", a), write_stem("b", b), "d.pnm"});
        const Image ga = ca == cb ? a : grey_of(a), gb = ca == cb ? b : grey_of(b);
        EXPECT_TRUE(same_pixels(read_pnm("d.pnm"),
                                make_image(29, 13, ga.channels, [&](int x, int y, int c) {
                                    return std::abs(at(ga, x, y, c) - at(gb, x, y, c));
                                })));
    }
}

// Each method: its name, whether lower scores are better, the library's function and size query.
#define MATCH_METHOD(name, lower, K)                                                               \
    std::tuple { name, lower, &zyliMatchTemplate_##K##_8u32f_C1R, &zyliMatchTemplateGetBufSize_##K }
TEST(ToolMatch, BestPositionScoreAndHeatmap)
{
    const Image img = test_image(40, 30, 1, 7);
    const Image tpl =
        make_image(9, 6, 1, [&](int x, int y, int) { return img.row(14 + y)[11 + x]; });
    write_pnm("img.pgm", img);
    write_pnm("tpl.pgm", tpl);
    for (auto [name, lower, fn, query] :
         {MATCH_METHOD("sqdiff", true, SqDiff), MATCH_METHOD("sqdiff-normed", true, SqDiffNormed),
          MATCH_METHOD("corr", false, Corr), MATCH_METHOD("corr-normed", false, CorrNormed),
          MATCH_METHOD("coeff", false, Coeff), MATCH_METHOD("coeff-normed", false, CoeffNormed)}) {
        SCOPED_TRACE(name);
        const int rw = 32, rh = 25;
        std::vector<float> s(rw * rh);
        Zyl32s n = 0;
        ASSERT_EQ(query({40, 30}, {9, 6}, zyl8u, &n), zylStatusOk);
        std::vector<Zyl8u> buf(std::size_t(n) + 32);
        ASSERT_EQ(fn(img.data(), img.step, {40, 30}, tpl.data(), tpl.step, {9, 6}, s.data(), rw * 4,
                     buf.data()),
                  zylStatusOk);
        // Best score: first in row order among equals.
        int best = 0;
        for (int i = 1; i < rw * rh; ++i)
            if (lower ? s[i] < s[best] : s[i] > s[best]) best = i;
        char line[128];
        std::snprintf(line, sizeof line, "x=%d y=%d score=%.9g\n", best % rw, best / rw,
                      double(s[best]));
        const Result r =
            run_ok({"match", "img.pgm", "tpl.pgm", "--method", name, "--heatmap", "heat.pgm"});
        EXPECT_EQ(r.out, line);
        // Heatmap: scores spread over 0..255, best brightest.
        const auto [lo, hi] = std::minmax_element(s.begin(), s.end());
        EXPECT_TRUE(same_pixels(read_pnm("heat.pgm"), make_image(rw, rh, 1, [&](int x, int y, int) {
                                    const double t =
                                        (double(s[y * rw + x]) - *lo) / (double(*hi) - *lo);
                                    return std::lround((lower ? 1 - t : t) * 255);
                                })));
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
        const std::string line = "fill fill.pgm filled.pgm --seed " + xy(f.sx, f.sy) + " --value " +
                                 std::to_string(f.value) +
                                 (f.gradient ? " --gradient " + xy(f.lo, f.up) : "") +
                                 (f.eight ? " --8" : "");
        SCOPED_TRACE(line);
        Image want = in;
        ZyliConnectedRegion reg = {0, double(f.value), 0, 0, 0, 0};
        const ZyliSize roi = {33, 21};
        Zyl32s n = 0;
        f.gradient ? zyliFloodFillGetSize_Grad(roi, &n) : zyliFloodFillGetSize(roi, &n);
        std::vector<Zyl8u> buf(std::size_t(n) + 32);
        const ZyliPoint seed = {f.sx, f.sy};
        ZylStatus st =
            f.gradient
                ? (f.eight ? zyliFloodFill_Grad8Con_8u_C1IR : zyliFloodFill_Grad4Con_8u_C1IR)(
                      want.data(), want.step, roi, seed, f.value, f.lo, f.up, &reg, buf.data())
                : (f.eight ? zyliFloodFill_8Con_8u_C1IR : zyliFloodFill_4Con_8u_C1IR)(
                      want.data(), want.step, roi, seed, f.value, &reg, buf.data());
        ASSERT_EQ(st, zylStatusOk);
        char want_line[128];
        std::snprintf(want_line, sizeof want_line, "area=%.0f value=%d box=%d,%d,%d,%d\n", reg.area,
                      f.value, reg.boxX, reg.boxY, reg.boxWidth, reg.boxHeight);
        EXPECT_EQ(run_ok(words(line)).out, want_line);
        EXPECT_TRUE(same_pixels(read_pnm("filled.pgm"), want));
    }
}

// The text form and --json carry the same numbers: the JSON ones in full.
TEST(ToolStats, GreyAndColourAsTextAndJson)
{
    static const char *const names[] = {"red", "green", "blue"};
    const Image ones = make_image(31, 17, 1, [](int, int, int) { return 1; });
    for (int ch : {1, 3}) {
        SCOPED_TRACE("channels " + std::to_string(ch));
        const Image in = test_image(31, 17, ch, 5);
        const std::string name = write_stem("s", in);
        std::string text = "size: 31x17\nchannels: " + std::to_string(ch) + "\n",
                    json = "{\"file\": \"" + name +
                           "\", \"width\": 31, \"height\": 17, \"channels\": [";
        for (int c = 0; c < ch; ++c) {
            // Extremes, their first locations and the integer norms from the definition; mean,
            // deviation and L2 norm from the library (its summation order fixes the last bits).
            int mn = 256, mx = -1, mnx = 0, mny = 0, mxx = 0, mxy = 0;
            long l1 = 0;
            for (int y = 0; y < 17; ++y)
                for (int x = 0; x < 31; ++x) {
                    const int v = at(in, x, y, c);
                    l1 += v;
                    if (v < mn) mn = v, mnx = x, mny = y;
                    if (v > mx) mx = v, mxx = x, mxy = y;
                }
            Zyl64f mean = 0, dev = 0, l2 = 0;
            if (ch == 1) {
                zyliMean_StdDev_8u_C1R(in.data(), in.step, {31, 17}, &mean, &dev);
                zyliNorm_L2_8u_C1MR(in.data(), in.step, ones.data(), ones.step, {31, 17}, &l2);
            } else {
                zyliMean_StdDev_8u_C3CR(in.data(), in.step, {31, 17}, c + 1, &mean, &dev);
                zyliNorm_L2_8u_C3CMR(in.data(), in.step, ones.data(), ones.step, {31, 17}, c + 1,
                                     &l2);
            }
            const std::string t = ch == 1 ? "" : std::string(" (") + names[c] + ")";
            const char *tc = t.c_str();
            char buf[1024];
            std::snprintf(
                buf, sizeof buf,
                "mean%s: %.10g\nstddev%s: %.10g\nmin%s: %d at (%d, %d)\nmax%s: %d at (%d, %d)\n"
                "norm-inf%s: %d\nnorm-l1%s: %ld\nnorm-l2%s: %.10g\n",
                tc, mean, tc, dev, tc, mn, mnx, mny, tc, mx, mxx, mxy, tc, mx, tc, l1, tc, l2);
            text += buf;
            std::snprintf(
                buf, sizeof buf,
                "%s{\"channel\": \"%s\", \"mean\": %.17g, \"stddev\": %.17g, \"min\": %d, "
                "\"min_at\": [%d, %d], \"max\": %d, \"max_at\": [%d, %d], \"norm_inf\": "
                "%d, \"norm_l1\": %ld, \"norm_l2\": %.17g}",
                c ? ", " : "", ch == 1 ? "grey" : names[c], mean, dev, mn, mnx, mny, mx, mxx, mxy,
                mx, l1, l2);
            json += buf;
        }
        EXPECT_EQ(run_ok({"stats", name}).out, text);
        EXPECT_EQ(run_ok({"stats", name, "--json"}).out, json + "]}\n");
    }
}

// ---- I/O paths: PNG, standard input and output, colour conversion -------------------------

// A PNG written straight through libpng with the given depth, colour type and raw rows; a palette
// PNG with its entries' transparency (tRNS). With fewer rows than the height, the data stops
// after them (flushed, never finished).
std::string png_of(int w, int h, int depth, int type, const std::vector<std::uint8_t> &raw,
                   const std::vector<png_color> &palette = {},
                   const std::vector<std::uint8_t> &alpha = {})
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
    png_set_IHDR(png, info, w, h, depth, type, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty()) {
        png_set_PLTE(png, info, palette.data(), int(palette.size()));
        png_set_tRNS(png, info, alpha.data(), int(alpha.size()), nullptr);
    }
    png_write_info(png, info);
    const std::size_t rowBytes = (std::size_t(w) * png_get_channels(png, info) * depth + 7) / 8;
    const int rows = int(raw.size() / rowBytes);
    for (int y = 0; y < rows; ++y) png_write_row(png, raw.data() + y * rowBytes);
    rows == h ? png_write_end(png, nullptr) : png_write_flush(png);
    png_destroy_write_struct(&png, &info);
    return out;
}

// The image's samples row after row, without padding.
std::vector<std::uint8_t> packed(const Image &img)
{
    std::vector<std::uint8_t> raw;
    for (int y = 0; y < img.height; ++y)
        raw.insert(raw.end(), img.row(y), img.row(y) + img.width * img.channels);
    return raw;
}

TEST(ToolIO, PngLayoutsAndPipes)
{
    const Image rgb = test_image(19, 11, 3, 9);
    // Opaque RGBA reads as its RGB. 1-bit grey: expanded to 0/255.
    std::vector<std::uint8_t> bits(11 * 3);
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 19; ++x)
            if ((x + y) % 3 == 0) bits[y * 3 + x / 8] |= std::uint8_t(0x80 >> (x % 8));
    const Image rgba =
        make_image(19, 11, 4, [&](int x, int y, int c) { return c < 3 ? at(rgb, x, y, c) : 255; });
    write_bytes(path("rgba.png"), png_of(19, 11, 8, PNG_COLOR_TYPE_RGB_ALPHA, packed(rgba)));
    write_bytes(path("bits.png"), png_of(19, 11, 1, PNG_COLOR_TYPE_GRAY, bits));
    run_ok({"convert", "rgba.png", "rgb.ppm"});
    EXPECT_TRUE(same_pixels(read_pnm("rgb.ppm"), rgb));
    run_ok({"convert", "bits.png", "bits.pgm"});
    EXPECT_TRUE(same_pixels(read_pnm("bits.pgm"), make_image(19, 11, 1, [](int x, int y, int) {
                                return (x + y) % 3 == 0 ? 255 : 0;
                            })));

    // Colour through grey-only operations: the tool's luma is (77 R + 150 G + 29 B + 128) >> 8.
    run_ok({"convert", "rgba.png", "grey.pgm", "--grey"});
    EXPECT_TRUE(same_pixels(read_pnm("grey.pgm"), grey_of(rgb)));

    // PNG from standard input to standard output, decoded again through a PGM conversion.
    write_pnm("pipe.ppm", rgb);
    const Result r = run_ok({"pyrup", "-", "-"}, path("pipe.ppm"));
    write_bytes(path("piped.png"), r.out);
    ASSERT_EQ(r.out.compare(0, 4, "\x89PNG"), 0);
    run_ok({"convert", "piped.png", "piped.ppm"});
    run_ok({"pyrup", "pipe.ppm", "direct.ppm"});
    EXPECT_TRUE(same_pixels(read_pnm("piped.ppm"), read_pnm("direct.ppm")));
}

// Files that declare a large image but hold little data are refused before the image is
// allocated: no request beyond a small multiple of the file plus one row.
TEST(ToolIO, SmallFilesDeclaringLargeImagesAllocateLittle)
{
    const std::vector<std::pair<const char *, std::string>> files = {
        {"binary PPM header", "P6\n32768 2048\n255\n" + std::string(16, '\x01')},
        {"binary PGM header", "P5 32768 2048 255 " + std::string(1000, '\x01')},
        {"text PPM header", "P3\n32768 2048\n255\n1 2 3 4 5 6\n"},
        {"PNG, one row of RGB",
         png_of(32768, 2048, 8, PNG_COLOR_TYPE_RGB, std::vector<std::uint8_t>(3 * 32768))},
        {"PNG, grey rows",
         png_of(8192, 8192, 8, PNG_COLOR_TYPE_GRAY, std::vector<std::uint8_t>(3 * 8192))},
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
    write_pnm("small.ppm", small);
    const std::string ppm = read_text(path("small.ppm"));
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
    const std::vector<png_color> palette = {{10, 20, 30}, {200, 100, 50}, {0, 255, 0}};
    const std::vector<std::uint8_t> palAlpha = {0, 128, 255};
    auto alpha = [](int x, int y) { return (x * 40 + y * 17) % 256; };
    const Image rgba = make_image(w, h, 4, [&](int x, int y, int c) {
        return std::array{x * 30, y * 50, x + y, alpha(x, y)}[c];
    });
    const Image ga =
        make_image(w, h, 2, [&](int x, int y, int c) { return c ? alpha(x, y) : x * 33 + y; });
    const Image index = make_image(w, h, 1, [](int x, int y, int) { return (x + y) % 3; });
    write_bytes(path("rgba.png"), png_of(w, h, 8, PNG_COLOR_TYPE_RGB_ALPHA, packed(rgba)));
    write_bytes(path("ga.png"), png_of(w, h, 8, PNG_COLOR_TYPE_GRAY_ALPHA, packed(ga)));
    write_bytes(path("pal.png"),
                png_of(w, h, 8, PNG_COLOR_TYPE_PALETTE, packed(index), palette, palAlpha));
    struct Background {
        std::string text;  // "": the default, white
        int b[3];
    };
    for (const auto &[bg, b] :
         {Background{"", {255, 255, 255}}, Background{"black", {0, 0, 0}},
          Background{"#204060", {0x20, 0x40, 0x60}}, Background{"30,60,90", {30, 60, 90}},
          Background{"77", {77, 77, 77}}}) {
        SCOPED_TRACE("background '" + bg + "'");
        auto convert = [&](const std::string &in, const std::string &out) {
            std::vector<std::string> a = {"convert", in, out};
            if (!bg.empty()) a.insert(a.end(), {"--background", bg});
            run_ok(a);
            return read_pnm(out);
        };
        const Image want3 = make_image(w, h, 3, [&](int x, int y, int c) {
            return over(at(rgba, x, y, c), alpha(x, y), b[c]);
        });
        const Image want1 = make_image(w, h, 1, [&](int x, int y, int) {
            return over(at(ga, x, y), alpha(x, y), luma(b[0], b[1], b[2]));
        });
        const Image wantP = make_image(w, h, 3, [&](int x, int y, int c) {
            const int i = at(index, x, y);
            return over(std::array{palette[i].red, palette[i].green, palette[i].blue}[c],
                        palAlpha[i], b[c]);
        });
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
    write_bytes(path("deep16.png"), png_of(w, h, 16, PNG_COLOR_TYPE_GRAY, deep));
    write_bytes(path("deep16.pgm"), pgm16);
    write_bytes(path("deep10.pgm"), pgm10);
    for (const char *in : {"deep16.png", "deep16.pgm"}) {
        run_ok({"convert", in, "deep-out.pgm"});
        EXPECT_TRUE(same_pixels(read_pnm("deep-out.pgm"), want16)) << in;
    }
    run_ok({"convert", "deep10.pgm", "deep-out.pgm"});
    EXPECT_TRUE(same_pixels(read_pnm("deep-out.pgm"), want10));
}

// A JPEG written straight through libjpeg-turbo at quality 95 from an image of 1, 3 or 4 (CMYK)
// channels.
std::string jpeg_of(const Image &img)
{
    tjhandle tj = tjInitCompress();
    unsigned char *out = nullptr;
    unsigned long size = 0;
    const int ch = img.channels, fmt = ch == 1 ? TJPF_GRAY : ch == 3 ? TJPF_RGB : TJPF_CMYK;
    EXPECT_EQ(tjCompress2(tj, img.data(), img.width, img.step, img.height, fmt, &out, &size,
                          ch == 1 ? TJSAMP_GRAY : TJSAMP_444, 95, 0),
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
    return make_image(w, h, channels, [](int x, int y, int c) { return 40 + x + y + 20 * c; });
}

// The output's extension (or --format) chooses its format; PGM is grey and PPM is RGB whatever
// was computed; JPEG reads (grey, colour, CMYK) and writes; unknown extensions are refused.
TEST(ToolIO, FormatsByExtensionAndJpeg)
{
    const Image rgb = test_image(13, 9, 3, 21), grey = test_image(13, 9, 1, 22);
    write_pnm("c.ppm", rgb);
    write_pnm("g.pgm", grey);
    run_ok({"convert", "c.ppm", "as-grey.pgm"});
    EXPECT_EQ(read_text(path("as-grey.pgm")).compare(0, 2, "P5"), 0);
    EXPECT_TRUE(same_pixels(read_pnm("as-grey.pgm"), grey_of(rgb)));
    run_ok({"convert", "g.pgm", "as-rgb.ppm"});
    EXPECT_TRUE(same_pixels(read_pnm("as-rgb.ppm"), make_image(13, 9, 3, [&](int x, int y, int) {
                                return at(grey, x, y);
                            })));
    // Unknown or missing extensions need --format (refused in ToolErrors).
    run_ok({"convert", "c.ppm", "out.xyz", "--format", "PPM"});
    EXPECT_TRUE(same_pixels(read_pnm("out.xyz"), rgb));

    // JPEG out: the data is JPEG whatever the case of the extension, and decodes to about the
    // input; a lower quality gives a smaller file.
    const Image smooth = smooth_image(64, 48, 3);
    write_pnm("smooth.ppm", smooth);
    for (const char *name : {"s.jpg", "s.JPEG"}) {
        run_ok({"convert", "smooth.ppm", name, "--quality", "95"});
        EXPECT_EQ(read_text(path(name)).compare(0, 3, "\xFF\xD8\xFF"), 0) << name;
    }
    run_ok({"convert", "s.jpg", "s-back.ppm"});
    EXPECT_LE(max_difference(read_pnm("s-back.ppm"), smooth), 8);
    run_ok({"convert", "smooth.ppm", "s-low.jpg", "--quality", "10"});
    EXPECT_LT(read_text(path("s-low.jpg")).size(), read_text(path("s.jpg")).size());

    // JPEG in: grey, colour and CMYK (Adobe's inverted samples: RGB = C * K / 255).
    const Image sg = smooth_image(40, 24, 1), sc = smooth_image(40, 24, 3);
    const Image cmyk = make_image(40, 24, 4, [](int x, int y, int c) {
        return std::array{200 + x, 100 + y, 150, 230 - x}[c];
    });
    const Image wantK = make_image(40, 24, 3, [&](int x, int y, int c) {
        return (at(cmyk, x, y, c) * at(cmyk, x, y, 3) + 127) / 255;
    });
    write_bytes(path("g.jpg"), jpeg_of(sg));
    write_bytes(path("c.jpg"), jpeg_of(sc));
    write_bytes(path("k.jpg"), jpeg_of(cmyk));
    for (const auto &[name, want] : {std::pair{"g.jpg", &sg}, {"c.jpg", &sc}, {"k.jpg", &wantK}}) {
        SCOPED_TRACE(name);
        run_ok({"convert", name, "j.pnm"});
        EXPECT_LE(max_difference(read_pnm("j.pnm"), *want), 8);
    }
}

// --json prints one object that a JSON reader takes, with the same numbers as the text form.
TEST(ToolOutput, JsonAndTopMatches)
{
    write_pnm("j.pgm", make_image(3, 2, 1, [](int x, int y, int) {
                  return std::array{5, 9, 1, 9, 4, 7}[y * 3 + x];
              }));
    // Two copies of a distinct patch: --top 2 finds both, best first, text and JSON alike.
    const Image patch =
        make_image(4, 3, 1, [](int x, int y, int) { return 200 + 13 * x - 20 * y; });
    write_pnm("patch.pgm", patch);
    write_pnm("scene.pgm", make_image(20, 12, 1, [&](int x, int y, int) {
                  for (auto [px, py] : {std::pair{3, 2}, std::pair{14, 7}})
                      if (x >= px && x < px + 4 && y >= py && y < py + 3)
                          return at(patch, x - px, y - py);
                  return (x * 7 + y * 3) % 50;
              }));
    expect_outputs({
        {"fill j.pgm jf.pgm --seed 1,0 --value 3 --8 --json",
         "{\"area\": 2, \"value\": 3, \"box\": {\"x\": 0, \"y\": 0, \"width\": 2, \"height\": "
         "2}}\n"},
        {"match scene.pgm patch.pgm --method sqdiff --top 2 --json",
         "{\"method\": \"sqdiff\", \"best\": [{\"x\": 3, \"y\": 2, \"score\": 0}, {\"x\": 14, "
         "\"y\": 7, \"score\": 0}]}\n"},
        {"match scene.pgm patch.pgm --method sqdiff --top 2",
         "x=3 y=2 score=0\nx=14 y=7 score=0\n"},
    });
    const std::string info = run_ok({"info", "--json"}).out;
    EXPECT_EQ(info.compare(0, 9, "{\"tool\": "), 0) << info;
    EXPECT_NE(info.find("\"name\": \"zylcvk4\", \"version\": \"v2.0 gold SP1\""), std::string::npos)
        << info;
}

// --out-dir runs the command over many inputs in threads: each output equals a single run's,
// a failing input is listed in the summary and the others are still written.
TEST(ToolBatch, OutDirJobsAndSummary)
{
    const std::vector<std::string> names = {"b1.pgm", "b2.ppm", "b3.pgm", "b4.ppm", "b5.pgm"};
    for (int i = 0; i < 5; ++i)
        write_pnm(names[i],
                  test_image(9 + i, 7 + 2 * i, names[i].ends_with("ppm") ? 3 : 1, 40 + i));
    write_bytes(path("broken.pgm"), "P5\n4 4\n255\nxx");
    std::system(("rm -rf '" + path("batch") + "'").c_str());
    run_fails(
        words("erode --shape cross --size 3x5 --jobs 3 --out-dir batch b1.pgm b2.ppm "
              "broken.pgm b3.pgm b4.ppm b5.pgm"),
        "zylcv erode: 5 of 6 images written to batch; 1 failed:\n  broken.pgm: truncated PGM");
    for (const auto &n : names) {
        SCOPED_TRACE(n);
        run_ok({"erode", n, "one.pnm", "--shape", "cross", "--size", "3x5"});
        EXPECT_TRUE(same_pixels(read_pnm("batch/" + n), read_pnm("one.pnm")));
    }
    // --format names every output's extension; commands without one output per input refuse.
    run_ok({"pyrdown", "--out-dir", "batch2", "--format", "png", names[0], names[1]});
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
    run_fails({"convert", "in.pgm", "full-link.pgm"},
              "full-link.pgm: cannot write: No space left on device");
    EXPECT_TRUE(is_link("full-link.pgm"));
    std::remove(path("full-node.pgm").c_str());
    if (mknod(path("full-node.pgm").c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0) {
        run_fails({"convert", "in.pgm", "full-node.pgm"}, "cannot write");
        struct stat st;
        EXPECT_TRUE(stat(path("full-node.pgm").c_str(), &st) == 0 && S_ISCHR(st.st_mode));
    }
    // A regular file on a disk that fills up (a file-size limit of 512 bytes), directly and
    // through a link: the old contents stay, the link stays, no temporary file is left.
    write_bytes(path("keep.pgm"), old);
    link("keep.pgm", "keep-link.pgm");
    for (const char *out : {"keep.pgm", "keep-link.pgm"}) {
        SCOPED_TRACE(out);
        run_fails({"convert", "in.pgm", out}, "cannot write", "trap '' XFSZ && ulimit -f 1 &&");
        EXPECT_EQ(read_text(path("keep.pgm")), old);
    }
    EXPECT_TRUE(is_link("keep-link.pgm"));
    // Success through the link replaces the file it names and keeps the link.
    run_ok({"convert", "in.pgm", "keep-link.pgm"});
    EXPECT_TRUE(is_link("keep-link.pgm"));
    EXPECT_TRUE(same_pixels(read_pnm("keep.pgm"), test_image(200, 100, 1, 3)));
    EXPECT_NE(std::system(("ls -a '" + work_dir() + "' | grep -q '^\\.zylcv-'").c_str()), 0)
        << "a temporary file was left behind";
}

// ---- refusals -------------------------------------------------------------------------------

TEST(ToolErrors, BadInputGivesOneLineAndStatusOne)
{
    // Inputs of every kind of fault.
    write_pnm("ok.pgm", test_image(24, 16, 1, 11));
    write_pnm("row.pgm", test_image(5, 1, 1, 1));
    write_pnm("big.pgm", test_image(30, 30, 1, 1));
    run_ok({"convert", "ok.pgm", "ok.png"});
    const std::string png = read_text(path("ok.png"));
    write_bytes(path("truncated.png"), png.substr(0, png.size() / 2));
    std::string corrupt = png;
    corrupt[png.size() / 2] = char(corrupt[png.size() / 2] ^ 0x55);  // inside IDAT: CRC mismatch
    write_bytes(path("corrupt.png"), corrupt);
    write_bytes(path("garbage.png"), "GIF89a this is not a PNG");
    const std::string jpg = jpeg_of(
        make_image(64, 64, 3, [](int x, int y, int c) { return ((y * 64 + x) * 3 + c) * 7; }));
    write_bytes(path("truncated.jpg"), jpg.substr(0, jpg.size() / 2));
    // The frame header's size fields (after FF C0 and 3 bytes) set to 8000 x 8000.
    std::string huge = jpg;
    const std::size_t sof = huge.find("\xFF\xC0");
    ASSERT_NE(sof, std::string::npos);
    huge[sof + 5] = huge[sof + 7] = char(8000 >> 8);
    huge[sof + 6] = huge[sof + 8] = char(8000 & 255);
    write_bytes(path("huge.jpg"), huge);
    write_bytes(path("short.pgm"), "P5\n4 4\n255\n" + std::string(10, '\x01'));

    expect_refusals({
        {"stats missing.png", "missing.png: cannot open: No such file or directory"},
        {"stats truncated.png", "truncated.png: corrupt PNG"},
        {"stats corrupt.png", "corrupt.png: corrupt PNG"},
        {"stats garbage.png", "garbage.png: not a PNG, JPEG, PGM or PPM image"},
        {"stats truncated.jpg", "truncated.jpg: corrupt JPEG"},
        {"stats huge.jpg", "huge.jpg: corrupt JPEG"},
        {"stats short.pgm", "short.pgm: truncated PGM"},
        {"sobel row.pgm o.png --dx", "row.pgm: image too small (5x1)"},
        {"canny row.pgm o.png", "row.pgm: image too small (5x1)"},
        {"pyrdown row.pgm o.png", "row.pgm: image too small (5x1)"},
        {"match ok.pgm big.pgm",
         "template big.pgm (30x30) is larger than the image ok.pgm (24x16)"},
        {"match ok.pgm ok.pgm --heatmap -", "--heatmap: standard output carries the match result"},
        {"fill ok.pgm o.png --seed 24,3 --value 1",
         "ok.pgm: seed 24,3 lies outside the 24x16 image"},
        {"fill ok.pgm o.png --seed 0,-1 --value 1", "lies outside"},
        // Option values are checked before any file is read (missing.png is never opened).
        {"fill missing.png o.png --seed 1,1 --value 256", "--value 256: must be in 0..255"},
        {"fill missing.png o.png --seed 1,1 --value 9 --gradient 200,56",
         "--gradient 200,56: LO and UP must be at least 0 with LO + UP at most 255"},
        {"fill missing.png o.png --seed 1,1 --value 9 --gradient -1,5",
         "--gradient -1,5: LO and UP"},
        {"canny missing.png o.png --low 90 --high 10", "--high 10: must be at least --low (90)"},
        {"canny missing.png o.png --low -5", "--low -5: must be at least 0"},
        {"erode missing.png o.png --size 0x0",
         "--size 0x0: width and height must each be in 1..255"},
        {"erode missing.png o.png --size 3x256",
         "--size 3x256: width and height must each be in 1..255"},
        {"sobel missing.png o.png --dx --scale 0", "--scale 0: must be in 1..65536"},
        {"sobel ok.pgm", "expected IN OUT, got 1 argument (see"},
        {"canny ok.pgm o.png --bogus", "unknown option '--bogus'"},
        {"canny ok.pgm o.png --low", "option '--low' needs a value"},
        {"canny ok.pgm o.png --low ten", "--low: 'ten' is not a finite number"},
        {"erode ok.pgm o.png --size 3by3", "--size: '3by3' is not of the form AxB"},
        {"erode ok.pgm o.png --shape disc", "'disc' is not rect, cross or ellipse"},
        {"distance ok.pgm o.png --mask 5 --metric l1", "the 5x5 mask has only the l2 metric"},
        {"sobel ok.pgm o.png", "give exactly one of --dx, --dy, --magnitude"},
        {"absdiff ok.pgm big.pgm o.png", "ok.pgm is 24x16 but big.pgm is 30x30"},
        {"absdiff ok.pgm o.png", "expected A B OUT"},
        {"convert ok.pgm no/such/dir/o.png", "no/such/dir/o.png: cannot create"},
        {"convert ok.pgm x.pgm --background pink", "--background: 'pink' is not a colour"},
        {"convert ok.pgm out.xyz", "cannot tell the format from the name"},
        {"convert ok.pgm out", "cannot tell the format from the name"},
        {"convert ok.pgm dir.d/out", "cannot tell the format from the name"},
        {"convert ok.pgm x.png --format gif",
         "--format gif: must be png, jpeg (jpg), pgm, ppm or pnm"},
        {"convert ok.pgm x.jpg --quality 0", "--quality 0: must be in 1..100"},
        {"stats --out-dir batch3 ok.pgm", "--out-dir: 'stats' does not write one image per input"},
        {"erode --jobs 0 --out-dir batch3 ok.pgm", "--jobs 0: must be in 1..256"},
        {"stats -", "<stdin>: empty file"},
        {"frobnicate", "zylcv: unknown command 'frobnicate'"},
        {"", "usage: zylcv"},
    });
}

TEST(ToolHelp, EveryCommandHasHelpAndVersionIsShown)
{
    expect_help({"absdiff", "sobel",   "canny",    "erode",  "dilate",  "pyrdown",
                 "pyrup",   "match",   "distance", "fill",   "stats",   "convert",
                 "info",    "blur",    "laplace",  "scharr", "corners", "accumulate",
                 "motion",  "profile", "norm",     "diff"});
    const bool avx2 = ZYLCV_AVX2 && __builtin_cpu_supports("avx2");
    EXPECT_NE(run_ok({"--version"})
                  .out.find(avx2         ? "AVX2 kernels"
                            : ZYLCV_SIMD ? "SSE2 kernels"
                                         : "portable kernels"),
              std::string::npos);
    const ZylLibVersion *v = zylcvGetLibVersion();
    EXPECT_NE(run_ok({"info"}).out.find(std::string(v->libraryName) + " " + v->versionText),
              std::string::npos);
}

}  // namespace
