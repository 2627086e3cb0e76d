// zylcv: runs one operation of the library on PNG or PGM/PPM images.
//
//   zylcv COMMAND [OPTIONS] ARGS...     zylcv --help | --version | COMMAND --help
//
// Every subcommand reads its images, converts them to what the library function takes, makes
// one library call (or a fixed short sequence of them), and writes or prints the result. The
// arithmetic is the library's; the tool adds I/O, argument checks with readable messages, and
// the mapping of 16-bit and float results to 8-bit pixels for viewing. Errors go to stderr as one
// line "zylcv COMMAND: FILE: problem" with exit status 1.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <png.h>

#include "run.h"
#if ZYLCV_AVX2
#include "core/cpu.h"
#endif

#ifndef ZYLCV_TOOL_VERSION
#define ZYLCV_TOOL_VERSION "unknown"
#endif

using namespace zylcv_tool;

namespace {

// ---- subcommands ------------------------------------------------------------------------

int cmd_absdiff(Run &r)
{
    if (!need_positional(r, 3, "A B OUT")) return 1;
    const auto &p = r.args.positional;
    Image a, b;
    if (!r.load(p[0], a) || !r.load(p[1], b)) return 1;
    if (a.width != b.width || a.height != b.height)
        return r.fail(Run::shown(p[0]) + " is " + std::to_string(a.width) + "x" +
                      std::to_string(a.height) + " but " + Run::shown(p[1]) + " is " +
                      std::to_string(b.width) + "x" + std::to_string(b.height) +
                      "; the images must have the same size");
    if (a.channels != b.channels) {
        a = to_grey(a);
        b = to_grey(b);
    }
    // The difference is per element, so a colour pair is one row of 3 x width bytes.
    Image d(a.width, a.height, a.channels);
    ZyliSize roi = {a.width * a.channels, a.height};
    ZylStatus st = r.call([&] {
        return zyliAbsDiff_8u_C1R(a.data(), a.step, b.data(), b.step, d.data(), d.step, roi);
    });
    if (st < 0) return r.refused(Run::shown(p[0]), "zyliAbsDiff_8u_C1R", st);
    return r.save(p[2], d) ? 0 : 1;
}

int cmd_sobel(Run &r)
{
    if (!need_positional(r, 2, "IN OUT")) return 1;
    int kinds = r.args.has("dx") + r.args.has("dy") + r.args.has("magnitude");
    if (kinds != 1) return r.fail("give exactly one of --dx, --dy, --magnitude");
    long scale = 4;
    std::string error;
    if (r.args.has("scale") &&
        !parse_int(r.args.get("scale", ""), 1, 1 << 16, "--scale", scale, error))
        return r.fail(error);
    const auto &p = r.args.positional;
    Image in;
    if (!r.load(p[0], in)) return 1;
    Image g = to_grey(in);
    if (g.height < 2)
        return r.fail(Run::shown(p[0]) + ": image too small (" + std::to_string(g.width) + "x" +
                      std::to_string(g.height) + "); sobel needs at least 2 rows");
    ZyliSize roi = {g.width, g.height};
    Plane<Zyl16s> dx(g.width, g.height), dy(g.width, g.height);
    if (!dx.ok() || !dy.ok()) return r.fail("out of memory");
    if (!r.args.has("dy")) {
        ZylStatus st = r.call(
            [&] { return zyliSobel3x3_Dx_8u16s_C1R(g.data(), g.step, dx.data(), dx.step, roi); });
        if (st < 0) return r.refused(Run::shown(p[0]), "zyliSobel3x3_Dx_8u16s_C1R", st);
    }
    if (!r.args.has("dx")) {
        ZylStatus st = r.call([&] {
            return zyliSobel3x3_Dy_8u16s_C1R(g.data(), g.step, dy.data(), dy.step, 0, roi);
        });
        if (st < 0) return r.refused(Run::shown(p[0]), "zyliSobel3x3_Dy_8u16s_C1R", st);
    }
    Image out(g.width, g.height, 1);
    const int s = int(scale);
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x) {
            int vx = dx.row(y)[x], vy = dy.row(y)[x];
            out.row(y)[x] = r.args.has("dx")   ? view_signed(vx, s)
                            : r.args.has("dy") ? view_signed(vy, s)
                                               : view_unsigned(std::abs(vx) + std::abs(vy), s);
        }
    return r.save(p[1], out) ? 0 : 1;
}

int cmd_canny(Run &r)
{
    if (!need_positional(r, 2, "IN OUT")) return 1;
    double low = 50, high = 150;
    std::string error;
    if (r.args.has("low") && !parse_float(r.args.get("low", ""), "--low", low, error))
        return r.fail(error);
    if (r.args.has("high") && !parse_float(r.args.get("high", ""), "--high", high, error))
        return r.fail(error);
    if (low < 0) return r.fail("--low " + r.args.get("low", "") + ": must be at least 0");
    if (high < low)
        return r.fail("--high " + r.args.get("high", "150") + ": must be at least --low (" +
                      r.args.get("low", "50") + ")");
    const auto &p = r.args.positional;
    Image in;
    if (!r.load(p[0], in)) return 1;
    Image g = to_grey(in);
    if (g.height < 2)
        return r.fail(Run::shown(p[0]) + ": image too small (" + std::to_string(g.width) + "x" +
                      std::to_string(g.height) + "); canny needs at least 2 rows");
    if (r.args.has("blur") && !box_mean(r, Run::shown(p[0]), g, 3)) return 1;
    ZyliSize roi = {g.width, g.height};
    Plane<Zyl16s> dx(g.width, g.height), dy(g.width, g.height);
    Zyl32s size = 0;
    ZylStatus st = zyliCannyGetSize(roi, &size);
    if (st < 0) return r.refused(Run::shown(p[0]), "zyliCannyGetSize", st);
    Buffer buf(size);
    Image out(g.width, g.height, 1);
    if (!dx.ok() || !dy.ok() || !buf.p) return r.fail("out of memory");
    st = r.call(
        [&] { return zyliSobel3x3_Dx_8u16s_C1R(g.data(), g.step, dx.data(), dx.step, roi); });
    if (st < 0) return r.refused(Run::shown(p[0]), "zyliSobel3x3_Dx_8u16s_C1R", st);
    st = r.call(
        [&] { return zyliSobel3x3_Dy_8u16s_C1R(g.data(), g.step, dy.data(), dy.step, 0, roi); });
    if (st < 0) return r.refused(Run::shown(p[0]), "zyliSobel3x3_Dy_8u16s_C1R", st);
    st = r.call([&] {
        return zyliCanny_16s8u_C1R(dx.data(), dx.step, dy.data(), dy.step, out.data(), out.step,
                                   roi, Zyl32f(low), Zyl32f(high), buf.bytes());
    });
    if (st < 0) return r.refused(Run::shown(p[0]), "zyliCanny_16s8u_C1R", st);
    return r.save(p[1], out) ? 0 : 1;
}

using StripFn = ZylStatus (*)(const Zyl8u *, Zyl32s, Zyl8u *, Zyl32s, ZyliSize *, ZyliMorphState *,
                              ZylStripRole);

int cmd_morph(Run &r)
{
    if (!need_positional(r, 2, "IN OUT")) return 1;
    const bool erode = r.args.command == "erode";
    std::string shape = r.args.get("shape", "rect"), error;
    int shapeCode = shape == "rect"      ? zylMorphShapeRect
                    : shape == "cross"   ? zylMorphShapeCross
                    : shape == "ellipse" ? zylMorphShapeEllipse
                                         : -1;
    if (shapeCode < 0) return r.fail("--shape: '" + shape + "' is not rect, cross or ellipse");
    long mw = 3, mh = 3;
    if (r.args.has("size") && !parse_pair(r.args.get("size", ""), 'x', "--size", mw, mh, error))
        return r.fail(error);
    if (mw < 1 || mh < 1 || mw > 255 || mh > 255)
        return r.fail("--size " + r.args.get("size", "") +
                      ": width and height must each be in 1..255");
    const auto &p = r.args.positional;
    Image in;
    if (!r.load(p[0], in)) return 1;
    const int c = in.channels;
    // Rectangle and cross have their own members; the ellipse is a mask element.
    StripFn fn = nullptr;
    const char *fnName = "";
    if (shapeCode == zylMorphShapeRect) {
        fn = erode ? (c == 1 ? zyliErodeStrip_Rect_8u_C1R : zyliErodeStrip_Rect_8u_C3R)
                   : (c == 1 ? zyliDilateStrip_Rect_8u_C1R : zyliDilateStrip_Rect_8u_C3R);
        fnName = erode ? (c == 1 ? "zyliErodeStrip_Rect_8u_C1R" : "zyliErodeStrip_Rect_8u_C3R")
                       : (c == 1 ? "zyliDilateStrip_Rect_8u_C1R" : "zyliDilateStrip_Rect_8u_C3R");
    } else if (shapeCode == zylMorphShapeCross) {
        fn = erode ? (c == 1 ? zyliErodeStrip_Cross_8u_C1R : zyliErodeStrip_Cross_8u_C3R)
                   : (c == 1 ? zyliDilateStrip_Cross_8u_C1R : zyliDilateStrip_Cross_8u_C3R);
        fnName = erode ? (c == 1 ? "zyliErodeStrip_Cross_8u_C1R" : "zyliErodeStrip_Cross_8u_C3R")
                       : (c == 1 ? "zyliDilateStrip_Cross_8u_C1R" : "zyliDilateStrip_Cross_8u_C3R");
    } else {
        fn = erode ? (c == 1 ? zyliErodeStrip_8u_C1R : zyliErodeStrip_8u_C3R)
                   : (c == 1 ? zyliDilateStrip_8u_C1R : zyliDilateStrip_8u_C3R);
        fnName = erode ? (c == 1 ? "zyliErodeStrip_8u_C1R" : "zyliErodeStrip_8u_C3R")
                       : (c == 1 ? "zyliDilateStrip_8u_C1R" : "zyliDilateStrip_8u_C3R");
    }
    ZyliMorphState *state = nullptr;
    ZyliSize mask = {Zyl32s(mw), Zyl32s(mh)};
    ZyliPoint anchor = {Zyl32s(mw / 2), Zyl32s(mh / 2)};
    ZylStatus st =
        zyliMorphologyInitAlloc(in.width, zyl8u, c, mask, anchor, shapeCode, nullptr, &state);
    if (st < 0) return r.refused(Run::shown(p[0]), "zyliMorphologyInitAlloc", st);
    Image out(in.width, in.height, c);
    ZyliSize roi = {in.width, in.height};
    st = r.call(
        [&] { return fn(in.data(), in.step, out.data(), out.step, &roi, state, zylStripWhole); });
    zyliMorphologyFree(&state);
    if (st < 0) return r.refused(Run::shown(p[0]), fnName, st);
    return r.save(p[1], out) ? 0 : 1;
}

int cmd_pyr(Run &r)
{
    if (!need_positional(r, 2, "IN OUT")) return 1;
    const bool down = r.args.command == "pyrdown";
    const auto &p = r.args.positional;
    Image in;
    if (!r.load(p[0], in)) return 1;
    const int c = in.channels;
    // The reduce step needs even sides: an odd last column or row is left out.
    int w = down ? in.width / 2 * 2 : in.width, h = down ? in.height / 2 * 2 : in.height;
    if (down && (w < 2 || h < 2))
        return r.fail(Run::shown(p[0]) + ": image too small (" + std::to_string(in.width) + "x" +
                      std::to_string(in.height) + "); pyrdown needs at least 2x2 pixels");
    Zyl32s size = 0;
    ZylStatus st = down ? zyliPyrDownGetBufSize_Gauss5x5(w, zyl8u, c, &size)
                        : zyliPyrUpGetBufSize_Gauss5x5(w, zyl8u, c, &size);
    if (st < 0)
        return r.refused(Run::shown(p[0]),
                         down ? "zyliPyrDownGetBufSize_Gauss5x5" : "zyliPyrUpGetBufSize_Gauss5x5",
                         st);
    Buffer buf(size);
    if (!buf.p) return r.fail("out of memory");
    Image out(down ? w / 2 : 2 * w, down ? h / 2 : 2 * h, c);
    ZyliSize roi = {w, h};
    st = r.call([&] {
        if (down)
            return c == 1 ? zyliPyrDown_Gauss5x5_8u_C1R(in.data(), in.step, out.data(), out.step,
                                                        roi, buf.bytes())
                          : zyliPyrDown_Gauss5x5_8u_C3R(in.data(), in.step, out.data(), out.step,
                                                        roi, buf.bytes());
        return c == 1 ? zyliPyrUp_Gauss5x5_8u_C1R(in.data(), in.step, out.data(), out.step, roi,
                                                  buf.bytes())
                      : zyliPyrUp_Gauss5x5_8u_C3R(in.data(), in.step, out.data(), out.step, roi,
                                                  buf.bytes());
    });
    if (st < 0)
        return r.refused(
            Run::shown(p[0]),
            down ? (c == 1 ? "zyliPyrDown_Gauss5x5_8u_C1R" : "zyliPyrDown_Gauss5x5_8u_C3R")
                 : (c == 1 ? "zyliPyrUp_Gauss5x5_8u_C1R" : "zyliPyrUp_Gauss5x5_8u_C3R"),
            st);
    return r.save(p[1], out) ? 0 : 1;
}

struct MatchMethod {
    const char *name;
    bool lowerIsBetter;
    ZylStatus (*match)(const Zyl8u *, Zyl32s, ZyliSize, const Zyl8u *, Zyl32s, ZyliSize, Zyl32f *,
                       Zyl32s, Zyl8u *);
    ZylStatus (*query)(ZyliSize, ZyliSize, Zyl32s, Zyl32s *);
    const char *function;
};

struct MatchHit {
    int x, y;
    double score;
};

// Up to n positions, best score first (ties in row order); a position closer than half the
// template (in both directions) to one already taken is passed over.
std::vector<MatchHit> best_positions(Plane<Zyl32f> &scores, int rw, int rh, int tw, int th,
                                     bool lowerIsBetter, int n)
{
    std::vector<MatchHit> all;
    all.reserve(std::size_t(rw) * rh);
    for (int y = 0; y < rh; ++y)
        for (int x = 0; x < rw; ++x) all.push_back({x, y, double(scores.row(y)[x])});
    std::stable_sort(all.begin(), all.end(), [lowerIsBetter](const MatchHit &a, const MatchHit &b) {
        return lowerIsBetter ? a.score < b.score : a.score > b.score;
    });
    const int gapX = std::max(1, tw / 2), gapY = std::max(1, th / 2);
    std::vector<MatchHit> kept;
    for (const MatchHit &h : all) {
        if (int(kept.size()) == n) break;
        bool clear = true;
        for (const MatchHit &k : kept)
            clear = clear && (std::abs(h.x - k.x) >= gapX || std::abs(h.y - k.y) >= gapY);
        if (clear) kept.push_back(h);
    }
    return kept;
}

int cmd_match(Run &r)
{
    if (!need_positional(r, 2, "IMAGE TEMPLATE")) return 1;
    const MatchMethod methods[] = {
        {"sqdiff", true, zyliMatchTemplate_SqDiff_8u32f_C1R, zyliMatchTemplateGetBufSize_SqDiff,
         "zyliMatchTemplate_SqDiff_8u32f_C1R"},
        {"sqdiff-normed", true, zyliMatchTemplate_SqDiffNormed_8u32f_C1R,
         zyliMatchTemplateGetBufSize_SqDiffNormed, "zyliMatchTemplate_SqDiffNormed_8u32f_C1R"},
        {"corr", false, zyliMatchTemplate_Corr_8u32f_C1R, zyliMatchTemplateGetBufSize_Corr,
         "zyliMatchTemplate_Corr_8u32f_C1R"},
        {"corr-normed", false, zyliMatchTemplate_CorrNormed_8u32f_C1R,
         zyliMatchTemplateGetBufSize_CorrNormed, "zyliMatchTemplate_CorrNormed_8u32f_C1R"},
        {"coeff", false, zyliMatchTemplate_Coeff_8u32f_C1R, zyliMatchTemplateGetBufSize_Coeff,
         "zyliMatchTemplate_Coeff_8u32f_C1R"},
        {"coeff-normed", false, zyliMatchTemplate_CoeffNormed_8u32f_C1R,
         zyliMatchTemplateGetBufSize_CoeffNormed, "zyliMatchTemplate_CoeffNormed_8u32f_C1R"},
    };
    std::string name = r.args.get("method", "coeff-normed");
    const MatchMethod *m = nullptr;
    for (const MatchMethod &mm : methods)
        if (name == mm.name) m = &mm;
    if (!m)
        return r.fail(
            "--method: '" + name +
            "' is not one of sqdiff, sqdiff-normed, corr, corr-normed, coeff, coeff-normed");
    if (r.args.get("heatmap", "") == "-")
        return r.fail("--heatmap: standard output carries the match result; give a file name");
    long top = 1;
    std::string error;
    if (r.args.has("top") && !parse_int(r.args.get("top", ""), 1, 1000, "--top", top, error))
        return r.fail(error);
    const auto &p = r.args.positional;
    Image in, tin;
    if (!r.load(p[0], in) || !r.load(p[1], tin)) return 1;
    Image img = to_grey(in), tpl = to_grey(tin);
    if (tpl.width > img.width || tpl.height > img.height)
        return r.fail("template " + Run::shown(p[1]) + " (" + std::to_string(tpl.width) + "x" +
                      std::to_string(tpl.height) + ") is larger than the image " +
                      Run::shown(p[0]) + " (" + std::to_string(img.width) + "x" +
                      std::to_string(img.height) + ")");
    ZyliSize src = {img.width, img.height}, ts = {tpl.width, tpl.height};
    Zyl32s size = 0;
    ZylStatus st = m->query(src, ts, zyl8u, &size);
    if (st < 0) return r.refused(Run::shown(p[0]), "zyliMatchTemplateGetBufSize", st);
    Buffer buf(size);
    const int rw = img.width - tpl.width + 1, rh = img.height - tpl.height + 1;
    Plane<Zyl32f> scores(rw, rh);
    if (!buf.p || !scores.ok()) return r.fail("out of memory");
    st = r.call([&] {
        return m->match(img.data(), img.step, src, tpl.data(), tpl.step, ts, scores.data(),
                        scores.step, buf.bytes());
    });
    if (st < 0) return r.refused(Run::shown(p[0]), m->function, st);
    Zyl32f lo = 0, hi = 0;
    ZyliPoint loAt = {0, 0}, hiAt = {0, 0};
    st = r.call([&] {
        return zyliMinMaxIndx_32f_C1R(scores.data(), scores.step, {rw, rh}, &lo, &hi, &loAt, &hiAt);
    });
    if (st < 0) return r.refused(Run::shown(p[0]), "zyliMinMaxIndx_32f_C1R", st);
    // The best position is the library's (first in row order on ties); further ones come from
    // the scores, best first, each kept clear of better ones by half the template.
    std::vector<MatchHit> hits = {{(m->lowerIsBetter ? loAt : hiAt).x,
                                   (m->lowerIsBetter ? loAt : hiAt).y,
                                   double(m->lowerIsBetter ? lo : hi)}};
    if (top > 1)
        hits = best_positions(scores, rw, rh, tpl.width, tpl.height, m->lowerIsBetter, int(top));
    if (r.args.has("json")) {
        std::string out = "{\"method\": \"" + std::string(m->name) + "\", \"best\": [";
        for (std::size_t i = 0; i < hits.size(); ++i) {
            char buf[128];
            std::snprintf(buf, sizeof buf, "%s{\"x\": %d, \"y\": %d, \"score\": %.9g}",
                          i ? ", " : "", hits[i].x, hits[i].y, hits[i].score);
            out += buf;
        }
        std::printf("%s]}\n", out.c_str());
    } else {
        for (const MatchHit &h : hits) std::printf("x=%d y=%d score=%.9g\n", h.x, h.y, h.score);
    }
    if (r.args.has("heatmap")) {
        // Scores spread linearly over 0..255 with the best score brightest.
        Image heat(rw, rh, 1);
        const double range = double(hi) - double(lo);
        for (int y = 0; y < rh; ++y)
            for (int x = 0; x < rw; ++x) {
                double t = range > 0 ? (double(scores.row(y)[x]) - lo) / range : 1.0;
                if (m->lowerIsBetter && range > 0) t = 1.0 - t;
                heat.row(y)[x] = Zyl8u(std::lround(t * 255.0));
            }
        if (!r.save(r.args.get("heatmap", ""), heat)) return 1;
    }
    std::fflush(stdout);
    return 0;
}

int cmd_distance(Run &r)
{
    if (!need_positional(r, 2, "IN OUT")) return 1;
    std::string mask = r.args.get("mask", "3"), metric = r.args.get("metric", "l2"), error;
    if (mask != "3" && mask != "5") return r.fail("--mask: '" + mask + "' is not 3 or 5");
    if (metric != "l1" && metric != "chess" && metric != "l2")
        return r.fail("--metric: '" + metric + "' is not l1, chess or l2");
    if (mask == "5" && metric != "l2")
        return r.fail("the 5x5 mask has only the l2 metric (use --mask 3 for l1 or chess)");
    double scale = 1.0;
    if (r.args.has("scale") && !parse_float(r.args.get("scale", ""), "--scale", scale, error))
        return r.fail(error);
    if (scale <= 0) return r.fail("--scale: must be positive");
    const Zyl32s kind = mask == "5" ? 52 : metric == "chess" ? 30 : metric == "l1" ? 31 : 32;
    Zyl32f costs[3] = {0, 0, 0};
    ZylStatus st = zyliGetDistanceTransformMask(kind, costs);
    if (st < 0) return r.refused("--metric", "zyliGetDistanceTransformMask", st);
    const auto &p = r.args.positional;
    Image in;
    if (!r.load(p[0], in)) return 1;
    Image g = to_grey(in);
    // Distances run to the nearest zero pixel; --invert takes the non-zero pixels instead.
    if (r.args.has("invert"))
        for (int y = 0; y < g.height; ++y)
            for (int x = 0; x < g.width; ++x) g.row(y)[x] = g.row(y)[x] ? 0 : 255;
    Plane<Zyl32f> d(g.width, g.height);
    if (!d.ok()) return r.fail("out of memory");
    ZyliSize roi = {g.width, g.height};
    st = r.call([&] {
        return mask == "5" ? zyliDistanceTransform_5x5_8u32f_C1R(g.data(), g.step, d.data(), d.step,
                                                                 roi, costs)
                           : zyliDistanceTransform_3x3_8u32f_C1R(g.data(), g.step, d.data(), d.step,
                                                                 roi, costs);
    });
    if (st < 0)
        return r.refused(Run::shown(p[0]),
                         mask == "5" ? "zyliDistanceTransform_5x5_8u32f_C1R"
                                     : "zyliDistanceTransform_3x3_8u32f_C1R",
                         st);
    Image out(g.width, g.height, 1);
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x) {
            double v = std::floor(double(d.row(y)[x]) * scale + 0.5);
            out.row(y)[x] = Zyl8u(v > 255 ? 255 : v);
        }
    return r.save(p[1], out) ? 0 : 1;
}

int cmd_fill(Run &r)
{
    if (!need_positional(r, 2, "IN OUT")) return 1;
    std::string error;
    long sx, sy, value, lo = 0, up = 0;
    if (!r.args.has("seed")) return r.fail("--seed X,Y is required");
    if (!r.args.has("value")) return r.fail("--value V is required");
    if (!parse_pair(r.args.get("seed", ""), ',', "--seed", sx, sy, error)) return r.fail(error);
    if (!parse_int(r.args.get("value", ""), 0, 255, "--value", value, error)) return r.fail(error);
    const bool gradient = r.args.has("gradient"), eight = r.args.has("8");
    if (gradient) {
        const std::string g = r.args.get("gradient", "");
        if (!parse_pair(g, ',', "--gradient", lo, up, error)) return r.fail(error);
        if (lo < 0 || up < 0 || lo + up > 255)
            return r.fail("--gradient " + g +
                          ": LO and UP must be at least 0 with LO + UP at most 255");
    }
    const auto &p = r.args.positional;
    Image in;
    if (!r.load(p[0], in)) return 1;
    Image g = to_grey(in);
    if (sx < 0 || sy < 0 || sx >= g.width || sy >= g.height)
        return r.fail(Run::shown(p[0]) + ": seed " + std::to_string(sx) + "," + std::to_string(sy) +
                      " lies outside the " + std::to_string(g.width) + "x" +
                      std::to_string(g.height) + " image");
    ZyliSize roi = {g.width, g.height};
    Zyl32s size = 0;
    ZylStatus st =
        gradient ? zyliFloodFillGetSize_Grad(roi, &size) : zyliFloodFillGetSize(roi, &size);
    if (st < 0)
        return r.refused(Run::shown(p[0]),
                         gradient ? "zyliFloodFillGetSize_Grad" : "zyliFloodFillGetSize", st);
    Buffer buf(size);
    if (!buf.p) return r.fail("out of memory");
    ZyliConnectedRegion region = {0, double(value), 0, 0, 0, 0};
    ZyliPoint seed = {Zyl32s(sx), Zyl32s(sy)};
    const char *fn =
        gradient ? (eight ? "zyliFloodFill_Grad8Con_8u_C1IR" : "zyliFloodFill_Grad4Con_8u_C1IR")
                 : (eight ? "zyliFloodFill_8Con_8u_C1IR" : "zyliFloodFill_4Con_8u_C1IR");
    st = r.call([&] {
        Zyl32s v = Zyl32s(value), l = Zyl32s(lo), u = Zyl32s(up);
        if (gradient)
            return eight ? zyliFloodFill_Grad8Con_8u_C1IR(g.data(), g.step, roi, seed, v, l, u,
                                                          &region, buf.bytes())
                         : zyliFloodFill_Grad4Con_8u_C1IR(g.data(), g.step, roi, seed, v, l, u,
                                                          &region, buf.bytes());
        return eight ? zyliFloodFill_8Con_8u_C1IR(g.data(), g.step, roi, seed, v, &region,
                                                  buf.bytes())
                     : zyliFloodFill_4Con_8u_C1IR(g.data(), g.step, roi, seed, v, &region,
                                                  buf.bytes());
    });
    if (st < 0) return r.refused(Run::shown(p[0]), fn, st);
    // A value fill whose seed already holds the new value changes nothing and reports area 0.
    if (r.args.has("json"))
        std::printf(
            "{%s\"area\": %.0f, \"value\": %.0f, \"box\": {\"x\": %d, \"y\": %d, \"width\": %d, "
            "\"height\": %d}}\n",
            r.label.empty() ? "" : ("\"file\": " + json_string(Run::shown(p[0])) + ", ").c_str(),
            region.area, region.value, region.boxX, region.boxY, region.boxWidth, region.boxHeight);
    else
        std::printf("%sarea=%.0f value=%.0f box=%d,%d,%d,%d\n", r.label.c_str(), region.area,
                    region.value, region.boxX, region.boxY, region.boxWidth, region.boxHeight);
    std::fflush(stdout);
    return r.save(p[1], g) ? 0 : 1;
}

int cmd_stats(Run &r)
{
    if (!need_positional(r, 1, "IN")) return 1;
    const auto &p = r.args.positional;
    Image in;
    if (!r.load(p[0], in)) return 1;
    const int c = in.channels;
    ZyliSize roi = {in.width, in.height};
    Image mask(in.width, in.height, 1);
    for (int y = 0; y < in.height; ++y) std::memset(mask.row(y), 1, std::size_t(in.width));
    static const char *const names[] = {"red", "green", "blue"};
    const bool json = r.args.has("json");
    std::string out = json ? "{\"file\": " + json_string(Run::shown(p[0])) +
                                 ", \"width\": " + std::to_string(in.width) +
                                 ", \"height\": " + std::to_string(in.height) + ", \"channels\": ["
                           : "";
    if (!json) std::printf("size: %dx%d\nchannels: %d\n", in.width, in.height, c);
    for (int ch = 1; ch <= c; ++ch) {
        Zyl64f mean = 0, dev = 0, ninf = 0, nl1 = 0, nl2 = 0;
        Zyl32f mn = 0, mx = 0;
        ZyliPoint mnAt = {0, 0}, mxAt = {0, 0};
        const char *failed = nullptr;
        ZylStatus st = r.call([&] {
            ZylStatus s;
            if (c == 1) {
                if ((s = zyliMean_StdDev_8u_C1R(in.data(), in.step, roi, &mean, &dev)) < 0)
                    return failed = "zyliMean_StdDev_8u_C1R", s;
                if ((s = zyliMinMaxIndx_8u_C1R(in.data(), in.step, roi, &mn, &mx, &mnAt, &mxAt)) <
                    0)
                    return failed = "zyliMinMaxIndx_8u_C1R", s;
                if ((s = zyliNorm_Inf_8u_C1MR(in.data(), in.step, mask.data(), mask.step, roi,
                                              &ninf)) < 0)
                    return failed = "zyliNorm_Inf_8u_C1MR", s;
                if ((s = zyliNorm_L1_8u_C1MR(in.data(), in.step, mask.data(), mask.step, roi,
                                             &nl1)) < 0)
                    return failed = "zyliNorm_L1_8u_C1MR", s;
                if ((s = zyliNorm_L2_8u_C1MR(in.data(), in.step, mask.data(), mask.step, roi,
                                             &nl2)) < 0)
                    return failed = "zyliNorm_L2_8u_C1MR", s;
            } else {
                if ((s = zyliMean_StdDev_8u_C3CR(in.data(), in.step, roi, ch, &mean, &dev)) < 0)
                    return failed = "zyliMean_StdDev_8u_C3CR", s;
                if ((s = zyliMinMaxIndx_8u_C3CR(in.data(), in.step, roi, ch, &mn, &mx, &mnAt,
                                                &mxAt)) < 0)
                    return failed = "zyliMinMaxIndx_8u_C3CR", s;
                if ((s = zyliNorm_Inf_8u_C3CMR(in.data(), in.step, mask.data(), mask.step, roi, ch,
                                               &ninf)) < 0)
                    return failed = "zyliNorm_Inf_8u_C3CMR", s;
                if ((s = zyliNorm_L1_8u_C3CMR(in.data(), in.step, mask.data(), mask.step, roi, ch,
                                              &nl1)) < 0)
                    return failed = "zyliNorm_L1_8u_C3CMR", s;
                if ((s = zyliNorm_L2_8u_C3CMR(in.data(), in.step, mask.data(), mask.step, roi, ch,
                                              &nl2)) < 0)
                    return failed = "zyliNorm_L2_8u_C3CMR", s;
            }
            return ZylStatus(zylStatusOk);
        });
        if (st < 0) return r.refused(Run::shown(p[0]), failed, st);
        if (json) {
            char buf[512];
            std::snprintf(
                buf, sizeof buf,
                "%s{\"channel\": \"%s\", \"mean\": %.17g, \"stddev\": %.17g, \"min\": %.0f, "
                "\"min_at\": [%d, %d], \"max\": %.0f, \"max_at\": [%d, %d], \"norm_inf\": %.17g, "
                "\"norm_l1\": %.17g, \"norm_l2\": %.17g}",
                ch > 1 ? ", " : "", c == 1 ? "grey" : names[ch - 1], mean, dev, double(mn), mnAt.x,
                mnAt.y, double(mx), mxAt.x, mxAt.y, ninf, nl1, nl2);
            out += buf;
            continue;
        }
        std::string tag = c == 1 ? "" : std::string(" (") + names[ch - 1] + ")";
        const char *t = tag.c_str();
        std::printf("mean%s: %.10g\nstddev%s: %.10g\n", t, mean, t, dev);
        std::printf("min%s: %.0f at (%d, %d)\nmax%s: %.0f at (%d, %d)\n", t, double(mn), mnAt.x,
                    mnAt.y, t, double(mx), mxAt.x, mxAt.y);
        std::printf("norm-inf%s: %.10g\nnorm-l1%s: %.10g\nnorm-l2%s: %.10g\n", t, ninf, t, nl1, t,
                    nl2);
    }
    if (json) std::printf("%s]}\n", out.c_str());
    std::fflush(stdout);
    return 0;
}

int cmd_convert(Run &r)
{
    if (!need_positional(r, 2, "IN OUT")) return 1;
    Image in;
    if (!r.load(r.args.positional[0], in)) return 1;
    return r.save(r.args.positional[1], r.args.has("grey") ? to_grey(in) : in) ? 0 : 1;
}

// The twin the library runs here: on x86_64 builds with the AVX2 twins the loader picks AVX2 or
// SSE2 per CPU by the same decision as below.
const char *kernel_flavour()
{
#if ZYLCV_AVX2
    return zylcv::cpu::avx2_usable(zylcv::cpu::read()) ? "AVX2 kernels" : "SSE2 kernels";
#else
    return ZYLCV_SIMD ? "SSE2 kernels" : "portable kernels";
#endif
}
const char *architecture() { return sizeof(void *) == 8 ? "x86_64" : "i386"; }

// ---- the command table --------------------------------------------------------------------

const char kGreyNote[] = "Colour input is converted to grey (ITU-R BT.601 luma) first.\n";

const std::vector<Command> &commands()
{
    const std::vector<Command> table = {
        {"absdiff",
         "per-pixel absolute difference of two images",
         "usage: zylcv absdiff A B OUT\n\n"
         "Writes |A - B| per pixel and channel, exactly (zyliAbsDiff_8u_C1R). A and B must have "
         "the same\n"
         "size; a colour image paired with a grey one is converted to grey first.\n",
         {},
         cmd_absdiff},
        {"sobel",
         "3x3 Sobel derivative, scaled to 8 bits for viewing",
         "usage: zylcv sobel IN OUT (--dx | --dy | --magnitude) [--scale S]\n\n"
         "Computes the 3x3 Sobel derivatives (zyliSobel3x3_Dx/Dy_8u16s_C1R, replicated borders,\n"
         "y growing downwards). The 16-bit results are shown as bytes: --dx and --dy as\n"
         "128 + floor(d / S), --magnitude as floor((|dx| + |dy|) / S), clamped to 0..255;\n"
         "S defaults to 4. The image needs at least 2 rows.\n",
         {{"dx", false}, {"dy", false}, {"magnitude", false}, {"scale", true}},
         cmd_sobel,
         true},
        {"canny",
         "Canny edge map (0 or 255)",
         "usage: zylcv canny IN OUT [--low L] [--high H] [--blur]\n\n"
         "Sobel 3x3 derivatives (replicated borders), then zyliCanny_16s8u_C1R with hysteresis\n"
         "thresholds on the magnitude |dx| + |dy| (defaults: low 50, high 150; 0 <= L <= H):\n"
         "a pixel is kept only if its magnitude is strictly greater than both neighbours' across\n"
         "the gradient; kept pixels above H are edges, and kept pixels above L join them through\n"
         "8-connected neighbours. Exact ties suppress both pixels, so a perfectly sharp synthetic\n"
         "step (two equal magnitudes side by side) can give no edge; --blur first smooths with a\n"
         "3x3 box (mean rounded half up, replicated borders), the usual remedy. The image needs\n"
         "at least 2 rows.\n",
         {{"low", true}, {"high", true}, {"blur", false}},
         cmd_canny,
         true},
        {"erode",
         "grey-level erosion (minimum over a structuring element)",
         "usage: zylcv erode IN OUT [--shape rect|cross|ellipse] [--size WxH]\n\n"
         "Minimum over the element (default rect 3x3) anchored at its centre (W/2, H/2), with\n"
         "replicated borders (zyliErodeStrip_*_8u_C1R/C3R). Colour images are processed per\n"
         "channel. Sizes up to 255x255.\n",
         {{"shape", true}, {"size", true}},
         cmd_morph,
         true},
        {"dilate",
         "grey-level dilation (maximum over a structuring element)",
         "usage: zylcv dilate IN OUT [--shape rect|cross|ellipse] [--size WxH]\n\n"
         "Maximum over the element (default rect 3x3) anchored at its centre (W/2, H/2), with\n"
         "replicated borders (zyliDilateStrip_*_8u_C1R/C3R). Colour images are processed per\n"
         "channel. Sizes up to 255x255.\n",
         {{"shape", true}, {"size", true}},
         cmd_morph,
         true},
        {"pyrdown",
         "Gaussian 5x5 reduction to half size",
         "usage: zylcv pyrdown IN OUT\n\n"
         "Smooths with the 5x5 binomial kernel and keeps every second pixel of every second row\n"
         "(zyliPyrDown_Gauss5x5_8u_C1R/C3R): W x H gives W/2 x H/2. Borders are mirrored without\n"
         "repeating the edge pixel; each result is (sum of weights x pixels + 128) >> 8 (weights\n"
         "1 4 6 4 1 per direction, 256 in all). An odd last column or row is left out. Colour is\n"
         "kept. The image needs at least 2x2 pixels.\n",
         {},
         cmd_pyr,
         true},
        {"pyrup",
         "Gaussian 5x5 expansion to double size",
         "usage: zylcv pyrup IN OUT\n\n"
         "Doubles both sides and smooths with the 5x5 binomial kernel\n"
         "(zyliPyrUp_Gauss5x5_8u_C1R/C3R): zeros are inserted between the pixels and the weights\n"
         "scaled by 4 per direction; each result is (sum + 32) >> 6. The left and top borders are\n"
         "mirrored, the right and bottom ones replicated. Colour is kept.\n",
         {},
         cmd_pyr,
         true},
        {"match",
         "template matching: best position and score",
         "usage: zylcv match IMAGE TEMPLATE [--method NAME] [--heatmap OUT] [--top N] [--json]\n\n"
         "Scores the template at every position where it lies inside the image\n"
         "(zyliMatchTemplate_<method>_8u32f_C1R) and prints the best one as\n"
         "'x=X y=Y score=S' (top-left corner of the template; first in row order on ties).\n"
         "Methods: sqdiff, sqdiff-normed (lowest is best), corr, corr-normed, coeff,\n"
         "coeff-normed (highest is best; the default). --heatmap writes the scores spread\n"
         "over 0..255 with the best brightest. --top N prints the N best positions, best first,\n"
         "each at least half the template's width or height away from every better one.\n"
         "--json prints {\"method\": NAME, \"best\": [{\"x\": X, \"y\": Y, \"score\": S}, ...]}.\n",
         {{"method", true}, {"heatmap", true}, {"top", true}, {"json", false}},
         cmd_match},
        {"distance",
         "chamfer distance to the nearest zero pixel",
         "usage: zylcv distance IN OUT [--mask 3|5] [--metric l1|chess|l2] [--invert] [--scale "
         "K]\n\n"
         "Distance of every pixel to the nearest zero pixel "
         "(zyliDistanceTransform_3x3/5x5_8u32f_C1R)\n"
         "with the library's standard costs: 3x3 l1 (city block), chess (chessboard) or l2\n"
         "(Euclidean approximation; the default), 5x5 l2 only. --invert measures to the non-zero\n"
         "pixels instead (e.g. an edge map). Two passes over the image (top-left to bottom-right,\n"
         "then back); neighbours outside the image are left out, and an image without any zero\n"
         "pixel gives the library's 'far' value everywhere. Written as min(255, floor(K * "
         "distance\n"
         "+ 0.5)), K = 1 by default.\n",
         {{"mask", true}, {"metric", true}, {"invert", false}, {"scale", true}},
         cmd_distance,
         true},
        {"fill",
         "flood fill from a seed; prints the region record",
         "usage: zylcv fill IN OUT --seed X,Y --value V [--gradient LO,UP] [--8] [--json]\n\n"
         "Fills the 4-connected (--8: 8-connected) region of the seed's value with V\n"
         "(zyliFloodFill_4Con/8Con_8u_C1IR), or with --gradient the region whose neighbours\n"
         "differ by at most LO downwards and UP upwards "
         "(zyliFloodFill_Grad4Con/Grad8Con_8u_C1IR).\n"
         "Prints 'area=A value=V box=X,Y,W,H' (--json: {\"area\": A, \"value\": V, \"box\":\n"
         "{\"x\": X, \"y\": Y, \"width\": W, \"height\": H}}). V lies in 0..255, LO + UP <= 255.\n",
         {{"seed", true}, {"value", true}, {"gradient", true}, {"8", false}, {"json", false}},
         cmd_fill,
         true},
        {"stats",
         "mean, deviation, extremes with locations, norms",
         "usage: zylcv stats IN [--json]\n\n"
         "Prints the mean and population standard deviation, the minimum and maximum with the\n"
         "location of their first occurrence in row order, and the Inf, L1 and L2 norms, per\n"
         "channel for colour images (zyliMean_StdDev_8u_*, zyliMinMaxIndx_8u_*, zyliNorm_*_8u_*).\n"
         "--json prints one object: file, width, height and a list of channels (grey, or red,\n"
         "green, blue) with mean, stddev, min, min_at [x, y], max, max_at, norm_inf, norm_l1,\n"
         "norm_l2.\n",
         {{"json", false}},
         cmd_stats},
        {"convert",
         "convert between PNG, PGM and PPM",
         "usage: zylcv convert IN OUT [--grey]\n\n"
         "Rewrites IN in the format OUT's extension names; --grey converts colour to grey.\n",
         {{"grey", false}},
         cmd_convert,
         true},
    };
    static const std::vector<Command> all = [&table] {
        std::vector<Command> t = table;
        for (Command &c : more_commands()) t.push_back(c);
        return t;
    }();
    return all;
}

bool operation_needs_grey(const std::string &name)
{
    return name == "sobel" || name == "canny" || name == "match" || name == "distance" ||
           name == "fill";
}

void print_usage(std::FILE *f)
{
    std::fprintf(
        f, "usage: zylcv COMMAND [OPTIONS] ARGS...\n"
           "       zylcv --help | --version | info | COMMAND --help\n\n"
           "Runs one zylcv operation on PNG, JPEG or PGM/PPM images, read as 8-bit grey or\n"
           "RGB (16-bit samples keep their high byte; transparency is laid over --background,\n"
           "white by default). Each output's extension chooses its format (.png, .jpg/.jpeg,\n"
           ".pgm grey, .ppm RGB, .pnm as computed) unless --format is given; '-' reads standard\n"
           "input or writes PNG to standard output.\n\n"
           "commands:\n");
    for (const Command &c : commands()) std::fprintf(f, "  %-10s %s\n", c.name, c.summary);
    std::fprintf(f, "  %-10s %s\n", "info", "library version record and build flavour");
    std::fprintf(
        f, "\nEvery image command accepts --timing (time spent in I/O and in the library, on\n"
           "stderr). Errors are reported on stderr with exit status 1.\n");
}

// ---- batches ------------------------------------------------------------------------------

// The output for one input of a batch: DIR/<input's name>.<ext>, the extension from --format or
// else the input's own (PNG for inputs without a known one).
std::string batch_output(const std::string &dir, const std::string &in, const WriteOptions &w)
{
    const std::size_t slash = in.rfind('/');
    std::string base = slash == std::string::npos ? in : in.substr(slash + 1);
    const std::size_t dot = base.rfind('.');
    std::string ext = dot == std::string::npos ? "" : base.substr(dot + 1);
    if (dot != std::string::npos && dot > 0) base = base.substr(0, dot);
    Format f;
    if (w.formatGiven) {
        static const char *const names[] = {"png", "jpg", "pgm", "ppm", "pnm"};
        ext = names[int(w.format)];
    } else if (ext.empty() || !parse_format(ext, f)) {
        ext = "png";
    }
    return dir + "/" + base + "." + ext;
}

// Runs the command once per input in `threads` workers (each run has its own images, states and
// buffers), shows progress on a terminal and ends with a summary; 1 if any input failed.
int run_batch(const Command &cmd, const Run &proto, const std::string &dir, int threads)
{
    const std::vector<std::string> inputs = proto.args.positional;
    if (inputs.empty()) return proto.fail("--out-dir: no input files given");
    struct stat st;
    if (::stat(dir.c_str(), &st) != 0 && ::mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST)
        return proto.fail(dir + ": cannot create the output directory: " + std::strerror(errno));
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return proto.fail(dir + ": not a directory");
    std::vector<std::string> failures(inputs.size());
    std::vector<char> failed(inputs.size(), 0);
    std::atomic<std::size_t> next{0};
    std::size_t done = 0;
    std::mutex progress;
    const bool terminal = ::isatty(2) != 0;
    auto worker = [&] {
        for (std::size_t i; (i = next++) < inputs.size();) {
            Run r = proto;
            r.failure = &failures[i];
            r.label = Run::shown(inputs[i]) + ": ";
            r.args.positional = {inputs[i], batch_output(dir, inputs[i], r.write)};
            failed[i] = cmd.run(r) != 0;
            std::lock_guard<std::mutex> lock(progress);
            ++done;
            if (terminal)
                std::fprintf(stderr, "\rzylcv %s: %zu/%zu images", cmd.name, done, inputs.size());
        }
    };
    std::vector<std::thread> pool;
    const int n = int(std::min<std::size_t>(std::size_t(threads), inputs.size()));
    for (int t = 0; t < n; ++t) pool.emplace_back(worker);
    for (std::thread &t : pool) t.join();
    if (terminal) std::fprintf(stderr, "\n");
    const std::size_t bad = std::size_t(std::count(failed.begin(), failed.end(), 1));
    std::fprintf(stderr, "zylcv %s: %zu of %zu images written to %s", cmd.name, inputs.size() - bad,
                 inputs.size(), dir.c_str());
    if (bad == 0) {
        std::fprintf(stderr, "\n");
        return 0;
    }
    std::fprintf(stderr, "; %zu failed:\n", bad);
    for (std::size_t i = 0; i < inputs.size(); ++i)
        if (failed[i]) std::fprintf(stderr, "  %s\n", failures[i].c_str());
    return 1;
}

int cmd_info(bool json)
{
    const ZylLibVersion *v = zylcvGetLibVersion();
    if (json) {
        std::string ops;
        for (const Command &c : commands())
            ops += std::string(ops.empty() ? "" : ", ") + json_string(c.name);
        std::printf(
            "{\"tool\": %s, \"library\": {\"name\": %s, \"version\": %s, \"major\": %d, "
            "\"minor\": %d, \"build_major\": %d, \"build\": %d, \"target\": %s, \"date\": %s}, "
            "\"kernels\": %s, \"architecture\": %s, \"libpng\": %s, \"operations\": [%s]}\n",
            json_string(ZYLCV_TOOL_VERSION).c_str(), json_string(v->libraryName).c_str(),
            json_string(v->versionText).c_str(), v->versionMajor, v->versionMinor, v->buildMajor,
            v->buildNumber, json_string(v->targetTag).c_str(),
            json_string(v->buildDateText).c_str(), json_string(kernel_flavour()).c_str(),
            json_string(architecture()).c_str(), json_string(png_get_libpng_ver(nullptr)).c_str(),
            ops.c_str());
        return 0;
    }
    std::printf("tool: zylcv %s\n", ZYLCV_TOOL_VERSION);
    std::printf("library: %s %s (version %d.%d, build %d.%d, target %s, %s)\n", v->libraryName,
                v->versionText, v->versionMajor, v->versionMinor, v->buildMajor, v->buildNumber,
                v->targetTag, v->buildDateText);
    std::printf("kernels: %s\narchitecture: %s\nlibpng: %s\n", kernel_flavour(), architecture(),
                png_get_libpng_ver(nullptr));
    std::string ops;
    for (const Command &c : commands()) ops += std::string(" ") + c.name;
    std::printf("operations:%s\n", ops.c_str());
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        print_usage(stderr);
        return 1;
    }
    const std::string first = argv[1];
    if (first == "--help" || first == "-h" || first == "help") {
        print_usage(stdout);
        return 0;
    }
    if (first == "--version") {
        std::printf("zylcv %s (%s %s, %s, %s)\n", ZYLCV_TOOL_VERSION,
                    zylcvGetLibVersion()->libraryName, zylcvGetLibVersion()->versionText,
                    kernel_flavour(), architecture());
        return 0;
    }
    if (first == "info") {
        if (argc > 2 && (std::strcmp(argv[2], "--help") == 0 || std::strcmp(argv[2], "-h") == 0)) {
            std::printf("usage: zylcv info [--json]\n\nPrints the library's version record, the "
                        "kernels this "
                        "build uses (SSE2 or portable)\nand the operations it provides (--json: as "
                        "one object).\n");
            return 0;
        }
        const bool json = argc > 2 && std::strcmp(argv[2], "--json") == 0;
        if (argc > 2 + json) {
            std::fprintf(stderr, "zylcv info: unexpected argument '%s'\n", argv[2 + json]);
            return 1;
        }
        return cmd_info(json);
    }
    const Command *cmd = nullptr;
    for (const Command &c : commands())
        if (first == c.name) cmd = &c;
    if (!cmd) {
        std::fprintf(stderr, "zylcv: unknown command '%s' (see 'zylcv --help')\n", first.c_str());
        return 1;
    }
    std::vector<OptionSpec> options = cmd->options;
    options.push_back({"timing", false});
    options.push_back({"background", true});
    options.push_back({"format", true});
    options.push_back({"quality", true});
    options.push_back({"out-dir", true});
    options.push_back({"jobs", true});
    Run run;
    run.args = parse_args(cmd->name, argc - 2, argv + 2, options);
    if (run.args.help) {
        std::printf("%s", cmd->help);
        if (operation_needs_grey(cmd->name)) std::printf("%s", kGreyNote);
        std::printf(
            "Options: --background COLOUR lays images with transparency (alpha or a palette's\n"
            "transparent entries) over COLOUR, white by default (a name, #RRGGBB, R,G,B or a\n"
            "grey level; grey images use its luma): each sample becomes\n"
            "(sample * alpha + colour * (255 - alpha) + 127) / 255.\n"
            "--format png|jpeg|pgm|ppm|pnm sets the output format (else each output's\n"
            "extension chooses it: .png, .jpg/.jpeg, .pgm (grey), .ppm (RGB), .pnm); --quality N\n"
            "(1..100, default 90) for JPEG output.\n"
            "--timing prints the time spent in I/O and in the library; --help.\n");
        if (cmd->batch)
            std::printf(
                "Batches: zylcv %s [OPTIONS] --out-dir DIR IN... writes DIR/<name of IN>.<ext> "
                "for\n"
                "each input with the same options (ext from --format, else IN's own), in\n"
                "--jobs N threads (default: the number of cores), with a progress line on a\n"
                "terminal and a summary that lists failures (exit status 1 if any failed; the\n"
                "others are still written).\n",
                cmd->name);
        return 0;
    }
    if (!run.args.error.empty())
        return run.fail(run.args.error + " (see 'zylcv " + cmd->name + " --help')");
    run.timing = run.args.has("timing");
    std::string optionError;
    if (run.args.has("background") && !parse_colour(run.args.get("background", ""), "--background",
                                                    run.read.background, optionError))
        return run.fail(optionError);
    if (run.args.has("format")) {
        const std::string f = run.args.get("format", "");
        if (!parse_format(f, run.write.format))
            return run.fail("--format " + f + ": must be png, jpeg (jpg), pgm, ppm or pnm");
        run.write.formatGiven = true;
    }
    long quality = 90;
    if (run.args.has("quality") &&
        !parse_int(run.args.get("quality", ""), 1, 100, "--quality", quality, optionError))
        return run.fail(optionError);
    run.write.quality = int(quality);
    if (run.args.has("out-dir")) {
        if (!cmd->batch)
            return run.fail("--out-dir: '" + std::string(cmd->name) +
                            "' does not write one image per input");
        long jobs = long(std::max(1u, std::thread::hardware_concurrency()));
        if (run.args.has("jobs") &&
            !parse_int(run.args.get("jobs", ""), 1, 256, "--jobs", jobs, optionError))
            return run.fail(optionError);
        return run_batch(*cmd, run, run.args.get("out-dir", ""), int(jobs));
    }
    if (run.args.has("jobs")) return run.fail("--jobs: only with --out-dir");
    int status = cmd->run(run);
    if (status == 0) run.report_timing();
    return status;
}
