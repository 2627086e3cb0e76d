// The filter, corner, sequence, line and norm commands of the zylcv tool against references
// computed here: a scalar model where the definition is simple (box means, Laplace and Scharr
// kernels, accumulators, motion history, the digital line, exact integer norms), otherwise a
// direct library call with arguments taken from the option's documented meaning (corner
// measures). Images have odd sizes, single rows and single columns where the command allows
// them. Bad option values must be refused before any file is read.

#include <array>
#include <cmath>
#include <numbers>

#include "tool_test_support.h"
#include "zylcv.h"

using namespace tool_test;

namespace {

// ---- models -----------------------------------------------------------------------------

// Mean of the k x k window with replicated borders, rounded half up, per channel.
Image box_mean(const Image &in, int k)
{
    return make_image(in.width, in.height, in.channels, [&](int x, int y, int c) {
        int sum = 0;
        for (int j = -k / 2; j <= k / 2; ++j)
            for (int i = -k / 2; i <= k / 2; ++i) sum += at(in, x + i, y + j, c);
        return (2 * sum + k * k) / (2 * k * k);
    });
}

// A 2-D kernel given row by row (rows[j][i] weights the neighbour at (i - a, j - a)),
// replicated borders, the sum v saturated to 16 bits and shown as 128 + floor(v / scale), clamped.
Image signed_filter(const Image &in, const std::vector<std::vector<int>> &kernel, long scale)
{
    const Image g = grey_of(in);
    const int n = int(kernel.size()), a = n / 2;
    return make_image(g.width, g.height, 1, [&](int x, int y, int) {
        long sum = 0;
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) sum += long(kernel[j][i]) * at(g, x + i - a, y + j - a);
        const double v = double(std::clamp(sum, -32768L, 32767L));
        return std::clamp(128 + long(std::floor(v / double(scale))), 0L, 255L);
    });
}

// The Laplacian of aperture k: the second-derivative kernel along one axis times the binomial
// smoothing along the other, both ways round.
std::vector<std::vector<int>> laplace_kernel(int k)
{
    static const std::vector<int> second[] = {
        {1, -2, 1}, {1, 0, -2, 0, 1}, {1, 2, -1, -4, -1, 2, 1}};
    static const std::vector<int> smooth[] = {{1, 2, 1}, {1, 4, 6, 4, 1}, {1, 6, 15, 20, 15, 6, 1}};
    const std::vector<int> &d = second[k / 2 - 1], &s = smooth[k / 2 - 1];
    std::vector<std::vector<int>> w(k, std::vector<int>(k));
    for (int j = 0; j < k; ++j)
        for (int i = 0; i < k; ++i) w[j][i] = s[j] * d[i] + d[j] * s[i];
    return w;
}

const std::vector<std::vector<int>> kScharrDx = {{-3, 0, 3}, {-10, 0, 10}, {-3, 0, 3}};
const std::vector<std::vector<int>> kScharrDy = {{-3, -10, -3}, {0, 0, 0}, {3, 10, 3}};

std::uint8_t relative_byte(double v, double top)
{
    if (!(top > 0) || !(v > 0)) return 0;
    return std::uint8_t(std::min(255.0, std::floor(255.0 * v / top + 0.5)));
}

// Corner measures from the library with the given aperture and block, then the documented
// mapping: relative to the largest (first) eigenvalue; with --eigen the direction in blue.
Image corners_reference(const Image &in, int aperture, int block, bool eigen)
{
    const Image g = grey_of(in);
    const int w = g.width, h = g.height, n = eigen ? 6 : 1;
    Zyl32s size = 0;
    EXPECT_EQ(eigen ? zyliEigenValsVecsGetSize(w, aperture, block, &size)
                    : zyliMinEigenValGetSize(w, aperture, block, &size),
              zylStatusOk);
    std::vector<Zyl8u> buf(std::size_t(size) + 32);
    std::vector<float> v(std::size_t(w) * h * n);
    const ZyliSize roi = {w, h};
    EXPECT_EQ(eigen ? zyliEigenValsVecs_8u32f_C1R(g.data(), g.step, v.data(), w * n * 4, roi,
                                                  aperture, block, buf.data())
                    : zyliMinEigenVal_8u32f_C1R(g.data(), g.step, v.data(), w * 4, roi, aperture,
                                                block, buf.data()),
              zylStatusOk);
    double top = 0;
    for (std::size_t i = 0; i < v.size(); i += n) top = std::max(top, double(v[i]));
    return make_image(w, h, eigen ? 3 : 1, [&](int x, int y, int c) {
        const float *e = &v[(std::size_t(y) * w + x) * n];
        if (c < 2) return int(relative_byte(e[c], top));  // the eigenvalues
        double angle = std::atan2(double(e[3]), double(e[2]));
        if (angle < 0) angle += std::numbers::pi;
        return relative_byte(e[0], top) ? int(std::floor(255.0 * angle / std::numbers::pi + 0.5))
                                        : 0;
    });
}

// ---- image commands against their references ---------------------------------------------

std::vector<OpCase> op_cases()
{
    std::vector<OpCase> cases;
    auto add = [&](const std::string &line, int w, int h, int c, auto expect) {
        cases.push_back({line, w, h, c, expect});
    };
    auto str = [](auto v) { return std::to_string(v); };
    // Box means: every aperture, colour per channel, single rows and columns, a pixel alone.
    for (auto [k, w, h, c] :
         {std::tuple{3, 17, 11, 1}, std::tuple{5, 17, 11, 3}, std::tuple{7, 17, 11, 1},
          std::tuple{5, 13, 1, 1}, std::tuple{7, 1, 9, 3}, std::tuple{7, 1, 1, 1},
          std::tuple{3, 2, 2, 3}})
        add("blur --size " + str(k), w, h, c, [k](const Image &in) { return box_mean(in, k); });
    add("blur", 9, 5, 1, [](const Image &in) { return box_mean(in, 3); });
    // Laplacians: each aperture with its default scale and with a given one.
    for (auto [k, scale, given, w, h, c] :
         {std::tuple{3, 4, false, 17, 11, 1}, std::tuple{3, 1, true, 17, 11, 3},
          std::tuple{5, 32, false, 17, 11, 1}, std::tuple{5, 7, true, 13, 1, 1},
          std::tuple{7, 256, false, 17, 11, 1}, std::tuple{7, 100, true, 1, 9, 1}}) {
        add("laplace --size " + str(k) + (given ? " --scale " + str(scale) : ""), w, h, c,
            [k, scale](const Image &in) { return signed_filter(in, laplace_kernel(k), scale); });
    }
    // Scharr: both derivatives, default scale 16, unit scale (the full range clamps), two rows.
    for (auto [dx, scale, given, w, h, c] :
         {std::tuple{true, 16, false, 17, 11, 1}, std::tuple{false, 16, false, 17, 11, 3},
          std::tuple{true, 1, true, 17, 11, 1}, std::tuple{false, 5, true, 13, 2, 1},
          std::tuple{true, 3, true, 1, 7, 1}}) {
        const auto &kernel = dx ? kScharrDx : kScharrDy;
        add(std::string("scharr ") + (dx ? "--dx" : "--dy") +
                (given ? " --scale " + str(scale) : ""),
            w, h, c,
            [&kernel, scale](const Image &in) { return signed_filter(in, kernel, scale); });
    }
    // Corner measures: apertures and blocks, shorter images than the combined window.
    for (auto [ap, bl, eigen, w, h, c] :
         {std::tuple{3, 3, false, 17, 11, 1}, std::tuple{5, 7, false, 17, 11, 3},
          std::tuple{7, 5, false, 13, 3, 1}, std::tuple{3, 5, true, 17, 11, 1},
          std::tuple{7, 3, true, 19, 13, 3}, std::tuple{3, 3, true, 1, 9, 1}}) {
        add("corners --aperture " + str(ap) + " --block " + str(bl) + (eigen ? " --eigen" : ""), w,
            h, c, [=](const Image &in) { return corners_reference(in, ap, bl, eigen); });
    }
    return cases;
}

class MoreOp : public ::testing::TestWithParam<OpCase> {};
TEST_P(MoreOp, MatchesReference) { expect_op(GetParam()); }
INSTANTIATE_TEST_SUITE_P(All, MoreOp, ::testing::ValuesIn(op_cases()), op_name);

// The filters write one image per input, so they run over many inputs with --out-dir.
TEST(MoreBatch, FiltersRunOverManyInputs)
{
    const Image a = test_image(17, 11, 1, 71), b = test_image(9, 13, 3, 72);
    write_pnm("ba.pgm", a);
    write_pnm("bb.ppm", b);
    std::remove(path("batch/ba.pgm").c_str());
    std::remove(path("batch/bb.ppm").c_str());
    run_ok({"blur", "--size", "5", "--out-dir", "batch", "--jobs", "2", "ba.pgm", "bb.ppm"});
    EXPECT_TRUE(same_pixels(read_pnm("batch/ba.pgm"), box_mean(a, 5)));
    EXPECT_TRUE(same_pixels(read_pnm("batch/bb.ppm"), box_mean(b, 5)));
    run_ok({"scharr", "--dy", "--out-dir", "batch", "ba.pgm"});
    EXPECT_TRUE(same_pixels(read_pnm("batch/ba.pgm"), signed_filter(a, kScharrDy, 16)));
}

// A corner of a bright square stands out: the corner map's brightest pixel is next to it, and
// a flat image gives a black map rather than a division by zero.
TEST(MoreCorners, BrightestAtTheCornerAndFlatIsBlack)
{
    write_pnm("square.pgm",
              make_image(21, 15, 1, [](int x, int y, int) { return x >= 8 && y >= 6 ? 200 : 20; }));
    run_ok({"corners", "square.pgm", "c.pgm"});
    Image c = read_pnm("c.pgm");
    int bx = 0, by = 0;
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 21; ++x)
            if (c.row(y)[x] > c.row(by)[bx]) bx = x, by = y;
    EXPECT_EQ(c.row(by)[bx], 255);
    EXPECT_LE(std::abs(bx - 8) + std::abs(by - 6), 2) << bx << "," << by;
    write_pnm("flat.pgm", make_image(9, 7, 1, [](int, int, int) { return 90; }));
    for (const std::string opts : {"--block 7", "--eigen"}) {
        run_ok(words("corners flat.pgm f.ppm " + opts));
        EXPECT_TRUE(same_pixels(read_pnm("f.ppm"), Image(9, 7, 3))) << opts;
    }
}

// ---- sequences --------------------------------------------------------------------------

// A square moving right over a noisy background, `n` frames.
std::vector<Image> moving_square(int n, int w, int h, int channels)
{
    std::vector<Image> frames;
    for (int i = 0; i < n; ++i) {
        const Image f = test_image(w, h, channels, 100 + i);
        frames.push_back(make_image(w, h, channels, [&](int x, int y, int c) {
            const bool square = y >= h / 3 && y < h / 3 + 4 && x >= 2 + 3 * i && x < 6 + 3 * i;
            return square ? 250 - 40 * c : at(f, x, y, c);
        }));
    }
    return frames;
}

// Writes the frames and returns their names, each after a space.
std::string write_frames(const std::vector<Image> &frames)
{
    std::string names;
    for (std::size_t i = 0; i < frames.size(); ++i)
        names += " " + write_stem("frame" + std::to_string(i), frames[i]);
    return names;
}

TEST(MoreSequences, AccumulateMeanAndRunningAverage)
{
    struct Case {
        int frames, w, h, channels;
        double alpha;  // < 0: the plain mean
    };
    for (const Case &c : {Case{1, 17, 11, 1, -1}, Case{4, 17, 11, 3, -1}, Case{6, 13, 1, 1, -1},
                          Case{5, 1, 9, 1, 0.25}, Case{3, 17, 11, 3, 0.1}, Case{4, 17, 11, 1, 1.0},
                          Case{3, 5, 3, 1, 0.0}}) {
        const std::vector<Image> frames = moving_square(c.frames, c.w, c.h, c.channels);
        const std::string line = "accumulate acc.pnm" + write_frames(frames) +
                                 (c.alpha >= 0 ? " --alpha " + std::to_string(c.alpha) : "");
        SCOPED_TRACE(line + " " + dims(c.w, c.h, c.channels));
        run_ok(words(line));
        const float alpha = float(c.alpha);
        const Image want = make_image(c.w, c.h, c.channels, [&](int x, int y, int ch) {
            if (c.alpha < 0) {
                long sum = 0;
                for (const Image &f : frames) sum += at(f, x, y, ch);
                return int((2 * sum + c.frames) / (2 * c.frames));
            }
            float b = float(at(frames[0], x, y, ch));
            for (int i = 1; i < c.frames; ++i) {
                const float t = float(at(frames[i], x, y, ch)) - b;
                const float step = t * alpha;  // kept apart from the sum: no fused multiply-add
                b = b + step;
            }
            return int(std::clamp(std::floor(double(b) + 0.5), 0.0, 255.0));
        });
        EXPECT_TRUE(same_pixels(read_pnm("acc.pnm"), want));
    }
    // Frames take the first frame's layout: a colour frame after a grey one counts as its luma.
    const std::vector<Image> grey = moving_square(2, 9, 7, 1), colour = moving_square(2, 9, 7, 3);
    write_pnm("g0.pgm", grey[0]);
    write_pnm("c1.ppm", colour[1]);
    run_ok({"accumulate", "mixed.pnm", "g0.pgm", "c1.ppm"});
    const Image luma = grey_of(colour[1]);
    EXPECT_TRUE(same_pixels(read_pnm("mixed.pnm"), make_image(9, 7, 1, [&](int x, int y, int) {
                                return (grey[0].row(y)[x] + luma.row(y)[x] + 1) / 2;
                            })));
}

TEST(MoreSequences, MotionHistory)
{
    struct Case {
        int frames, w, h, channels;
        double duration;  // <= 0: the default, the number of frame pairs
        int threshold;    // < 0: the default, 30
    };
    for (const Case &c :
         {Case{2, 17, 11, 1, 0, -1}, Case{6, 23, 11, 1, 0, -1}, Case{6, 23, 11, 3, 2, 10},
          Case{5, 19, 7, 1, 1.5, 0}, Case{4, 13, 1, 1, 0.5, 200}, Case{7, 1, 9, 1, 3, 5}}) {
        const std::vector<Image> frames = moving_square(c.frames, c.w, c.h, c.channels);
        const std::string line =
            "motion mhi.pnm" + write_frames(frames) +
            (c.duration > 0 ? " --duration " + std::to_string(c.duration) : "") +
            (c.threshold >= 0 ? " --threshold " + std::to_string(c.threshold) : "");
        SCOPED_TRACE(line + " " + dims(c.w, c.h, c.channels));
        run_ok(words(line));
        // History per pixel: the time of the last change above the threshold, cleared once
        // older than the duration.
        const int pairs = c.frames - 1, threshold = c.threshold < 0 ? 30 : c.threshold;
        const float d = c.duration > 0 ? float(c.duration) : float(pairs);
        std::vector<Image> grey;
        for (const Image &f : frames) grey.push_back(grey_of(f));
        const Image want = make_image(c.w, c.h, 1, [&](int x, int y, int) {
            float h = 0;
            for (int i = 1; i <= pairs; ++i) {
                const int change = std::abs(grey[i].row(y)[x] - grey[i - 1].row(y)[x]);
                const float limit = float(i) - d;
                if (change > threshold) h = float(i);
                else if (h < limit) h = 0;
            }
            const double v = h == 0 ? 0 : std::floor(255.0 * (h - (pairs - double(d))) / d + 0.5);
            return int(std::clamp(v, 0.0, 255.0));
        });
        EXPECT_TRUE(same_pixels(read_pnm("mhi.pnm"), want));
    }
}

// ---- profile ----------------------------------------------------------------------------

// The digital line: one sample per step along the longer axis, the other coordinate the
// integer nearest to the exact line, an exact half going towards the start.
std::vector<std::pair<int, int>> line_points(int x1, int y1, int x2, int y2)
{
    const int dx = x2 - x1, dy = y2 - y1;
    const bool yMajor = std::abs(dx) <= std::abs(dy);
    const long major = std::max(std::abs(dx), std::abs(dy)),
               minor = std::min(std::abs(dx), std::abs(dy));
    const int sMajor = (yMajor ? dy : dx) < 0 ? -1 : 1, sMinor = (yMajor ? dx : dy) < 0 ? -1 : 1;
    std::vector<std::pair<int, int>> pts;
    for (long k = 0; k <= major; ++k) {
        const long off = major == 0 ? 0 : (2 * k * minor + major - 1) / (2 * major);
        pts.push_back(yMajor ? std::pair{int(x1 + sMinor * off), int(y1 + sMajor * k)}
                             : std::pair{int(x1 + sMajor * k), int(y1 + sMinor * off)});
    }
    return pts;
}

TEST(MoreProfile, CsvAlongDigitalLines)
{
    const Image grey = test_image(17, 11, 1, 5), colour = test_image(17, 11, 3, 6);
    for (const Image *img : {&grey, &colour}) {
        const int c = img->channels;
        const std::string name = write_stem("p", *img);
        for (auto [x1, y1, x2, y2] :
             {std::array{0, 0, 16, 0}, std::array{3, 0, 3, 10}, std::array{0, 0, 2, 1},
              std::array{2, 1, 0, 0}, std::array{16, 10, 0, 0}, std::array{0, 10, 10, 0},
              std::array{1, 9, 16, 2}, std::array{15, 0, 11, 10}, std::array{5, 5, 5, 5},
              std::array{0, 3, 16, 4}}) {
            SCOPED_TRACE(xy(x1, y1) + " to " + xy(x2, y2) + " in " + name);
            std::string want = c == 1 ? "x,y,value\n" : "x,y,r,g,b\n";
            for (auto [x, y] : line_points(x1, y1, x2, y2)) {
                want += xy(x, y);
                for (int ch = 0; ch < c; ++ch)
                    want += "," + std::to_string(img->row(y)[x * c + ch]);
                want += "\n";
            }
            EXPECT_EQ(run_ok({"profile", name, "--from", xy(x1, y1), "--to", xy(x2, y2)}).out,
                      want);
        }
    }
}

// ---- norms and differences --------------------------------------------------------------

struct Exact {
    long inf = 0, l1 = 0, l2sq = 0;
};
// Exact integer norms of channel `ch` of A, or of A - B.
Exact exact_norms(const Image &a, const Image *b, int ch)
{
    Exact e;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            long v = a.row(y)[x * a.channels + ch] - (b ? b->row(y)[x * b->channels + ch] : 0);
            e.inf = std::max(e.inf, std::labs(v));
            e.l1 += std::labs(v);
            e.l2sq += v * v;
        }
    return e;
}
double pick(const Exact &e, const std::string &kind)
{
    return kind == "inf" ? double(e.inf) : kind == "l1" ? double(e.l1) : std::sqrt(double(e.l2sq));
}
// Whole numbers in full, others in the fewest digits that read back exactly.
std::string shortest(double v)
{
    char text[40];
    if (v == std::floor(v) && std::fabs(v) < 9007199254740992.0) {
        std::snprintf(text, sizeof text, "%.0f", v);
        return text;
    }
    for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, v);
        if (std::strtod(text, nullptr) == v) break;
    }
    return text;
}

TEST(MoreNorms, NormDifferenceAndRelative)
{
    struct Case {
        int w, h, channels;
        std::string kind;  // "" = the default, l2
        int images;        // 1: norm of A; 2: of A - B
        bool relative, json;
    };
    const std::vector<Case> cases = {
        {17, 11, 1, "", 1, false, false},  {17, 11, 3, "inf", 1, false, false},
        {13, 1, 1, "l1", 1, false, true},  {17, 11, 1, "l2", 2, false, false},
        {1, 9, 3, "l1", 2, false, false},  {17, 11, 3, "inf", 2, false, true},
        {17, 11, 1, "l1", 2, true, false}, {17, 11, 3, "l2", 2, true, false},
        {17, 11, 1, "inf", 2, true, true}, {9, 5, 1, "", 1, false, true},
    };
    static const char *const names[] = {"red", "green", "blue"};
    for (const Case &c : cases) {
        const std::string kind = c.kind.empty() ? "l2" : c.kind;
        const Image a = test_image(c.w, c.h, c.channels, 31),
                    b = test_image(c.w, c.h, c.channels, 47);
        const std::string line = "norm " + write_stem("na", a) +
                                 (c.images == 2 ? " " + write_stem("nb", b) : "") +
                                 (c.kind.empty() ? "" : " --kind " + c.kind) +
                                 (c.relative ? " --relative" : "") + (c.json ? " --json" : "");
        SCOPED_TRACE(line + " " + dims(c.w, c.h, c.channels));
        const std::string measure = c.images == 1 ? "norm" : c.relative ? "relative" : "difference";
        std::string want =
            c.json ? "{\"kind\":\"" + kind + "\",\"measure\":\"" + measure + "\",\"values\":[" : "";
        for (int ch = 0; ch < c.channels; ++ch) {
            const Exact n = exact_norms(a, c.images == 2 ? &b : nullptr, ch),
                        d = exact_norms(b, nullptr, ch);
            const double v = !c.relative    ? pick(n, kind)
                             : kind == "l2" ? std::sqrt(double(n.l2sq) / double(d.l2sq))
                                            : pick(n, kind) / pick(d, kind);
            if (c.json) want += (ch ? "," : "") + shortest(v);
            else
                want += measure + "-" + kind +
                        (c.channels == 1 ? "" : std::string(" (") + names[ch] + ")") + ": " +
                        shortest(v) + "\n";
        }
        EXPECT_EQ(run_ok(words(line)).out, want + (c.json ? "]}\n" : ""));
    }
}

TEST(MoreNorms, DiffCountsPixelsAndAveragesSamples)
{
    for (auto [w, h, c] : {std::tuple{17, 11, 1}, std::tuple{17, 11, 3}, std::tuple{1, 9, 3},
                           std::tuple{13, 1, 1}}) {
        SCOPED_TRACE(dims(w, h, c));
        // Change one channel of some pixels only: a pixel differs when any channel does.
        const Image a = test_image(w, h, c, 3),
                    b = make_image(w, h, c, [&](int x, int y, int ch) {
                        const bool change = (x * 3 + y) % 4 == 0 && ch == (x + y) % c;
                        return change ? 255 - at(a, x, y) : at(a, x, y, ch);
                    });
        long differing = 0, maxAbs = 0, sumAbs = 0, sumSq = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                bool any = false;
                for (int ch = 0; ch < c; ++ch) {
                    long v = long(a.row(y)[x * c + ch]) - b.row(y)[x * c + ch];
                    any |= v != 0;
                    maxAbs = std::max(maxAbs, std::labs(v));
                    sumAbs += std::labs(v);
                    sumSq += v * v;
                }
                differing += any;
            }
        const double n = double(w) * h * c;
        EXPECT_EQ(run_ok({"diff", write_stem("da", a), write_stem("db", b)}).out,
                  "size: " + std::to_string(w) + "x" + std::to_string(h) + "\nchannels: " +
                      std::to_string(c) + "\ndiffering pixels: " + std::to_string(differing) +
                      "\nmax abs diff: " + std::to_string(maxAbs) +
                      "\nmean abs diff: " + shortest(double(sumAbs) / n) +
                      "\nrms diff: " + shortest(std::sqrt(double(sumSq)) / std::sqrt(n)) + "\n");
    }
}

// Known outputs: a reference of zeros (the difference's norm times 2^52), JSON forms, identical
// images, and sums of absolute values beyond 2^31, where the L1 measures must still be exact.
TEST(MoreNorms, KnownOutputs)
{
    write_pnm("a34.pgm", make_image(2, 1, 1, [](int x, int, int) { return 3 + x; }));
    write_pnm("b100.pgm", make_image(2, 1, 1, [](int x, int, int) { return x ? 0 : 10; }));
    write_pnm("zero.pgm", Image(2, 1, 1));
    const int w = 4099, h = 2101;  // 8,611,999 pixels of 255: an L1 sum of 2,196,059,745
    write_pnm("white.pgm", make_image(w, h, 1, [](int, int, int) { return 255; }));
    write_pnm("black.pgm", Image(w, h, 1));
    const std::string sum = "2196059745";
    expect_outputs(
        {{"norm a34.pgm zero.pgm --kind l2 --relative", "relative-l2: 335544320\n"},
         {"diff a34.pgm b100.pgm --json",
          "{\"width\":2,\"height\":1,\"channels\":1,\"differing\":2,\"max\":7,\"mean\":5.5,\"rms\":"
          "5.700877125495689}\n"},
         {"diff a34.pgm a34.pgm",
          "size: 2x1\nchannels: 1\ndiffering pixels: 0\nmax abs diff: 0\nmean abs diff: 0\nrms "
          "diff: 0\n"},
         {"profile a34.pgm --from 1,0 --to 0,0 --json",
          "{\"from\":{\"x\":1,\"y\":0},\"to\":{\"x\":0,\"y\":0},\"points\":[{\"x\":1,\"y\":0,"
          "\"value\":4},{\"x\":0,\"y\":0,\"value\":3}]}\n"},
         {"norm white.pgm --kind l1", "norm-l1: " + sum + "\n"},
         {"norm black.pgm white.pgm --kind l1", "difference-l1: " + sum + "\n"},
         {"norm black.pgm white.pgm --kind l1 --relative", "relative-l1: 1\n"},
         {"norm white.pgm black.pgm --kind l1 --relative",
          "relative-l1: " + shortest(2196059745.0 * 4503599627370496.0) + "\n"},
         {"diff black.pgm white.pgm --json",
          "{\"width\":4099,\"height\":2101,\"channels\":1,\"differing\":8611999,\"max\":255,"
          "\"mean\":255,\"rms\":255}\n"}});
}

// ---- refusals ---------------------------------------------------------------------------

TEST(MoreErrors, BadInputGivesOneLineAndStatusOne)
{
    write_pnm("ok.pgm", test_image(24, 16, 1, 11));
    write_pnm("ok.ppm", test_image(24, 16, 3, 12));
    write_pnm("big.pgm", test_image(30, 30, 1, 1));
    write_pnm("row.pgm", test_image(5, 1, 1, 1));
    // missing.png is never opened: option values are checked first.
    expect_refusals({
        {"blur missing.png o.png --size 4", "--size 4: must be 3, 5 or 7"},
        {"blur missing.png o.png --size 9", "--size 9: must be 3, 5 or 7"},
        {"blur missing.png o.png --size three", "--size three: must be 3, 5 or 7"},
        {"laplace missing.png o.png --size 1", "--size 1: must be 3, 5 or 7"},
        {"laplace missing.png o.png --scale 0", "--scale 0: must be in 1..65536"},
        {"scharr missing.png o.png", "give exactly one of --dx, --dy"},
        {"scharr missing.png o.png --dx --dy", "give exactly one of --dx, --dy"},
        {"scharr missing.png o.png --dy --scale -2", "--scale -2: must be in 1..65536"},
        {"corners missing.png o.png --aperture 9", "--aperture 9: must be 3, 5 or 7"},
        {"corners missing.png o.png --block 2", "--block 2: must be 3, 5 or 7"},
        {"accumulate o.png missing.png --alpha 1.5", "--alpha 1.5: must be in 0..1"},
        {"accumulate o.png missing.png --alpha -0.1", "--alpha -0.1: must be in 0..1"},
        {"accumulate o.png missing.png --alpha x", "--alpha: 'x' is not a finite number"},
        {"motion o.png missing.png missing.png --duration 0",
         "--duration 0: must be greater than 0"},
        {"motion o.png missing.png missing.png --threshold 256",
         "--threshold 256: must be in 0..255"},
        {"profile missing.png --to 1,1", "--from X,Y is required"},
        {"profile missing.png --from 1,1", "--to X,Y is required"},
        {"profile missing.png --from 3 --to 1,1", "--from: '3' is not of the form A,B"},
        {"profile missing.png --from -1,2 --to 1,1",
         "--from -1,2: X and Y must each be at least 0"},
        {"norm missing.png --kind l3", "--kind: 'l3' is not inf, l1 or l2"},
        {"norm missing.png --relative", "--relative needs a second image B"},
        // Argument counts.
        {"blur ok.pgm", "expected IN OUT, got 1 argument"},
        {"accumulate o.png", "expected OUT and at least 1 frame, got 1 argument"},
        {"motion o.png ok.pgm", "expected OUT and at least 2 frames, got 2 arguments"},
        {"norm ok.pgm ok.pgm ok.pgm", "expected A [B], got 3 arguments"},
        {"diff ok.pgm", "expected A B, got 1 argument"},
        {"profile ok.pgm o.png --from 0,0 --to 1,1", "expected IN, got 2 arguments"},
        // Faults found in the images.
        {"profile ok.pgm --from 0,0 --to 24,3", "ok.pgm: --to 24,3 lies outside the 24x16 image"},
        {"profile ok.ppm --from 2,16 --to 0,0", "ok.ppm: --from 2,16 lies outside the 24x16 image"},
        {"scharr row.pgm o.png --dx",
         "row.pgm: image too small (5x1); scharr needs at least 2 rows"},
        {"norm ok.pgm big.pgm",
         "big.pgm is 30x30 but ok.pgm is 24x16; the images must have the same size"},
        {"diff ok.pgm big.pgm", "big.pgm is 30x30 but ok.pgm is 24x16"},
        {"accumulate o.png ok.pgm big.pgm",
         "big.pgm is 30x30 but ok.pgm is 24x16; all frames must have the same size"},
        {"motion o.png ok.pgm ok.pgm big.pgm",
         "big.pgm is 30x30 but ok.pgm is 24x16; all frames must have the same size"},
        {"blur missing.png o.png", "missing.png: cannot open"},
        {"motion o.png ok.pgm missing.png", "missing.png: cannot open"},
    });
    // Nothing is written for a failed command.
    EXPECT_EQ(read_text(path("o.png")), "");
}

}  // namespace
