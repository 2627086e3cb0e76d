// Commands for the families beyond the first set: smoothing and derivative filters with a
// state (blur, laplace) or without (scharr), corner measures, accumulators and the motion
// history over a sequence of frames, the line sampler, and norms between images. Each entry of
// the table at the end runs one library family on the tool's images; like the commands of
// zylcv.cc, the arithmetic is the library's and this file adds checks, I/O and the mapping of
// 16-bit and float results to bytes.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include "run.h"

namespace zylcv_tool {

namespace {

// ---- shared helpers ---------------------------------------------------------------------

// A filter state from zyliBlurInitAlloc / zyliLaplaceInitAlloc, released on scope exit.
struct ConvState {
    ZyliConvState *p = nullptr;
    ConvState() = default;
    ~ConvState() { zyliConvolFree(&p); }
    ConvState(const ConvState &) = delete;
    ConvState &operator=(const ConvState &) = delete;
};

std::string size_text(const Image &img)
{
    return std::to_string(img.width) + "x" + std::to_string(img.height);
}

// An aperture-like option: 3, 5 or 7, `fallback` when absent.
bool parse_aperture(Run &r, const char *name, long fallback, long &out)
{
    out = fallback;
    if (!r.args.has(name)) return true;
    const std::string text = r.args.get(name, "");
    char *end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || (v != 3 && v != 5 && v != 7)) {
        r.fail(std::string("--") + name + " " + text + ": must be 3, 5 or 7");
        return false;
    }
    out = v;
    return true;
}

bool parse_scale(Run &r, long fallback, long &out)
{
    out = fallback;
    std::string error;
    if (r.args.has("scale") &&
        !parse_int(r.args.get("scale", ""), 1, 1 << 16, "--scale", out, error)) {
        r.fail(error);
        return false;
    }
    return true;
}

// Whole numbers in full, other values in the shortest decimal text that reads back as exactly
// `v` (valid JSON for finite values).
std::string number(double v)
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

// One channel of an interleaved image as a grey plane, and back.
Image channel_plane(const Image &img, int ch)
{
    Image plane(img.width, img.height, 1);
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) plane.row(y)[x] = img.row(y)[x * img.channels + ch];
    return plane;
}

// A grey plane turned into `channels` channels, so that frames of a sequence share the first
// frame's layout.
Image with_channels(const Image &img, int channels)
{
    if (img.channels == channels) return img;
    return channels == 1 ? to_grey(img) : to_rgb(img);
}

// Maps a non-negative measure to a byte relative to the image's largest value `top`:
// round(255 * v / top), 0 for v <= 0 or when top <= 0.
Zyl8u relative_byte(double v, double top)
{
    if (!(top > 0) || !(v > 0)) return 0;
    double b = std::floor(255.0 * v / top + 0.5);
    return Zyl8u(b > 255 ? 255 : b);
}

// Every library L1 sum is a 32-bit integer, exact up to this many selected elements per call;
// larger images are measured in bands of rows whose sums are added here.
constexpr long kL1Elements = 8421504;

int band_rows(long elementsPerRow)
{
    long rows = kL1Elements / (elementsPerRow > 0 ? elementsPerRow : 1);
    return int(rows < 1 ? 1 : rows > 0x7fffffff ? 0x7fffffff : rows);
}

// A plane of ones: every pixel selected in the masked statistics.
Image all_selected(int w, int h)
{
    Image mask(w, h, 1);
    for (int y = 0; y < h; ++y) std::memset(mask.row(y), 1, std::size_t(w));
    return mask;
}

// "A is WxH but B is WxH" when two images differ in size.
bool same_size(Run &r, const std::string &nameA, const Image &a, const std::string &nameB,
               const Image &b, const char *what)
{
    if (a.width == b.width && a.height == b.height) return true;
    r.fail(Run::shown(nameB) + " is " + size_text(b) + " but " + Run::shown(nameA) + " is " +
           size_text(a) + "; " + what);
    return false;
}

// ---- blur -------------------------------------------------------------------------------

int cmd_blur(Run &r)
{
    long k;
    if (!parse_aperture(r, "size", 3, k)) return 1;
    if (!need_positional(r, 2, "IN OUT")) return 1;
    const auto &p = r.args.positional;
    Image in;
    if (!r.load(p[0], in)) return 1;
    Image out(in.width, in.height, in.channels);
    // The box sum is a one-channel filter: colour images go through it channel by channel.
    for (int ch = 0; ch < in.channels; ++ch) {
        Image plane = in.channels == 1 ? in : channel_plane(in, ch);
        if (!box_mean(r, Run::shown(p[0]), plane, int(k))) return 1;
        for (int y = 0; y < in.height; ++y)
            for (int x = 0; x < in.width; ++x) out.row(y)[x * in.channels + ch] = plane.row(y)[x];
    }
    return r.save(p[1], out) ? 0 : 1;
}

// ---- laplace and scharr -----------------------------------------------------------------

int cmd_laplace(Run &r)
{
    long k, scale;
    if (!parse_aperture(r, "size", 3, k)) return 1;
    // The default scale keeps typical edges in view: 4 for 3x3, 8 times more per aperture step.
    if (!parse_scale(r, k == 3 ? 4 : k == 5 ? 32 : 256, scale)) return 1;
    if (!need_positional(r, 2, "IN OUT")) return 1;
    const auto &p = r.args.positional;
    Image in;
    if (!r.load(p[0], in)) return 1;
    Image g = to_grey(in);
    ConvState state;
    ZylStatus st = zyliLaplaceInitAlloc(g.width, zyl8u, Zyl32s(k), &state.p);
    if (st < 0) return r.refused(Run::shown(p[0]), "zyliLaplaceInitAlloc", st);
    Plane<Zyl16s> d(g.width, g.height);
    if (!d.ok()) return r.fail("out of memory");
    ZyliSize roi = {g.width, g.height};
    st = r.call([&] {
        return zyliLaplace_8u16s_C1R(g.data(), g.step, d.data(), d.step, &roi, state.p,
                                     zylStripWhole);
    });
    if (st < 0) return r.refused(Run::shown(p[0]), "zyliLaplace_8u16s_C1R", st);
    if (roi.height != g.height)
        return r.fail(Run::shown(p[0]) + ": zyliLaplace_8u16s_C1R wrote " +
                      std::to_string(roi.height) + " of " + std::to_string(g.height) + " rows");
    Image out(g.width, g.height, 1);
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x) out.row(y)[x] = view_signed(d.row(y)[x], int(scale));
    return r.save(p[1], out) ? 0 : 1;
}

int cmd_scharr(Run &r)
{
    const bool dx = r.args.has("dx");
    if (dx == r.args.has("dy")) return r.fail("give exactly one of --dx, --dy");
    long scale;
    if (!parse_scale(r, 16, scale)) return 1;
    if (!need_positional(r, 2, "IN OUT")) return 1;
    const auto &p = r.args.positional;
    Image in;
    if (!r.load(p[0], in)) return 1;
    Image g = to_grey(in);
    if (g.height < 2)
        return r.fail(Run::shown(p[0]) + ": image too small (" + size_text(g) +
                      "); scharr needs at least 2 rows");
    Plane<Zyl16s> d(g.width, g.height);
    if (!d.ok()) return r.fail("out of memory");
    ZyliSize roi = {g.width, g.height};
    ZylStatus st = r.call([&] {
        return dx ? zyliScharr_Dx_8u16s_C1R(g.data(), g.step, d.data(), d.step, roi, 0)
                  : zyliScharr_Dy_8u16s_C1R(g.data(), g.step, d.data(), d.step, 0, roi, 0);
    });
    if (st < 0)
        return r.refused(Run::shown(p[0]),
                         dx ? "zyliScharr_Dx_8u16s_C1R" : "zyliScharr_Dy_8u16s_C1R", st);
    Image out(g.width, g.height, 1);
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x) out.row(y)[x] = view_signed(d.row(y)[x], int(scale));
    return r.save(p[1], out) ? 0 : 1;
}

// ---- corners ----------------------------------------------------------------------------

int cmd_corners(Run &r)
{
    long aperture, block;
    if (!parse_aperture(r, "aperture", 3, aperture) || !parse_aperture(r, "block", 3, block))
        return 1;
    if (!need_positional(r, 2, "IN OUT")) return 1;
    const bool eigen = r.args.has("eigen");
    const auto &p = r.args.positional;
    Image in;
    if (!r.load(p[0], in)) return 1;
    Image g = to_grey(in);
    const int w = g.width, h = g.height;
    ZyliSize roi = {w, h};
    Zyl32s size = 0;
    ZylStatus st = eigen ? zyliEigenValsVecsGetSize(w, Zyl32s(aperture), Zyl32s(block), &size)
                         : zyliMinEigenValGetSize(w, Zyl32s(aperture), Zyl32s(block), &size);
    if (st < 0)
        return r.refused(Run::shown(p[0]),
                         eigen ? "zyliEigenValsVecsGetSize" : "zyliMinEigenValGetSize", st);
    Buffer buf(size);
    Plane<Zyl32f> v(w, h, eigen ? 6 : 1);
    if (!buf.p || !v.ok()) return r.fail("out of memory");
    st = r.call([&] {
        return eigen ? zyliEigenValsVecs_8u32f_C1R(g.data(), g.step, v.data(), v.step, roi,
                                                   Zyl32s(aperture), Zyl32s(block), buf.bytes())
                     : zyliMinEigenVal_8u32f_C1R(g.data(), g.step, v.data(), v.step, roi,
                                                 Zyl32s(aperture), Zyl32s(block), buf.bytes());
    });
    if (st < 0)
        return r.refused(Run::shown(p[0]),
                         eigen ? "zyliEigenValsVecs_8u32f_C1R" : "zyliMinEigenVal_8u32f_C1R", st);
    // Both maps are shown relative to the image's largest (first) eigenvalue.
    const int n = eigen ? 6 : 1;
    double top = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) top = std::max(top, double(v.row(y)[x * n]));
    Image out(w, h, eigen ? 3 : 1);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Zyl32f *e = v.row(y) + x * n;
            if (!eigen) {
                out.row(y)[x] = relative_byte(e[0], top);
                continue;
            }
            // Direction of the first eigenvector, folded into [0, pi]: a vector and its negation
            // are the same direction.
            double angle = std::atan2(double(e[3]), double(e[2]));
            if (angle < 0) angle += std::numbers::pi;
            Zyl8u *o = out.row(y) + 3 * x;
            o[0] = relative_byte(e[0], top);
            o[1] = relative_byte(e[1], top);
            o[2] = o[0] ? Zyl8u(std::floor(255.0 * angle / std::numbers::pi + 0.5)) : 0;
        }
    return r.save(p[1], out) ? 0 : 1;
}

// ---- accumulate and motion --------------------------------------------------------------

bool need_frames(Run &r, std::size_t minFrames)
{
    const auto &p = r.args.positional;
    if (p.size() >= minFrames + 1) return true;
    r.fail("expected OUT and at least " + std::to_string(minFrames) +
           (minFrames == 1 ? " frame" : " frames") + ", got " +
           (p.empty() ? std::string("no arguments")
                      : std::to_string(p.size()) + (p.size() == 1 ? " argument" : " arguments")) +
           " (see 'zylcv " + r.args.command + " --help')");
    return false;
}

int cmd_accumulate(Run &r)
{
    double alpha = 0;
    std::string error;
    const bool running = r.args.has("alpha");
    if (running) {
        if (!parse_float(r.args.get("alpha", ""), "--alpha", alpha, error)) return r.fail(error);
        if (alpha < 0 || alpha > 1)
            return r.fail("--alpha " + r.args.get("alpha", "") + ": must be in 0..1");
    }
    if (!need_frames(r, 1)) return 1;
    const auto &p = r.args.positional;
    Image first;
    if (!r.load(p[1], first)) return 1;
    const int c = first.channels;
    // The accumulators work element by element: a colour frame is one plane of 3 x width.
    const int w = first.width, h = first.height;
    ZyliSize roi = {w * c, h};
    Plane<Zyl32f> acc(w * c, h);
    if (!acc.ok()) return r.fail("out of memory");
    for (int y = 0; y < h; ++y) std::fill(acc.row(y), acc.row(y) + w * c, 0.0f);
    for (std::size_t i = 1; i < p.size(); ++i) {
        Image frame;
        if (i == 1) frame = first;
        else {
            if (!r.load(p[i], frame)) return 1;
            if (!same_size(r, p[1], first, p[i], frame, "all frames must have the same size"))
                return 1;
            frame = with_channels(frame, c);
        }
        // The running average starts as the first frame.
        const bool add = !running || i == 1;
        ZylStatus st = r.call([&] {
            return add ? zyliAdd_8u32f_C1IR(frame.data(), frame.step, acc.data(), acc.step, roi)
                       : zyliAddWeighted_8u32f_C1IR(frame.data(), frame.step, acc.data(), acc.step,
                                                    roi, Zyl32f(alpha));
        });
        if (st < 0)
            return r.refused(Run::shown(p[i]),
                             add ? "zyliAdd_8u32f_C1IR" : "zyliAddWeighted_8u32f_C1IR", st);
    }
    const double frames = double(p.size() - 1);
    Image out(w, h, c);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w * c; ++x) {
            double v = std::floor(
                (running ? double(acc.row(y)[x]) : double(acc.row(y)[x]) / frames) + 0.5);
            out.row(y)[x] = Zyl8u(v < 0 ? 0 : v > 255 ? 255 : v);
        }
    return r.save(p[0], out) ? 0 : 1;
}

int cmd_motion(Run &r)
{
    double duration = 0;
    long threshold = 30;
    std::string error;
    const bool durationGiven = r.args.has("duration");
    if (durationGiven) {
        if (!parse_float(r.args.get("duration", ""), "--duration", duration, error))
            return r.fail(error);
        if (!(duration > 0) || duration > 1e30)
            return r.fail("--duration " + r.args.get("duration", "") + ": must be greater than 0");
    }
    if (r.args.has("threshold") &&
        !parse_int(r.args.get("threshold", ""), 0, 255, "--threshold", threshold, error))
        return r.fail(error);
    if (!need_frames(r, 2)) return 1;
    const auto &p = r.args.positional;
    const std::size_t pairs = p.size() - 2;
    // By default every motion of the sequence stays in view.
    const Zyl32f d = durationGiven ? Zyl32f(duration) : Zyl32f(pairs);
    Image prev;
    if (!r.load(p[1], prev)) return 1;
    prev = to_grey(prev);
    const int w = prev.width, h = prev.height;
    ZyliSize roi = {w, h};
    Plane<Zyl32f> history(w, h);
    if (!history.ok()) return r.fail("out of memory");
    for (int y = 0; y < h; ++y) std::fill(history.row(y), history.row(y) + w, 0.0f);
    Image diff(w, h, 1);
    for (std::size_t i = 2; i < p.size(); ++i) {
        Image cur;
        if (!r.load(p[i], cur)) return 1;
        if (!same_size(r, p[1], prev, p[i], cur, "all frames must have the same size")) return 1;
        cur = to_grey(cur);
        ZylStatus st = r.call([&] {
            return zyliAbsDiff_8u_C1R(prev.data(), prev.step, cur.data(), cur.step, diff.data(),
                                      diff.step, roi);
        });
        if (st < 0) return r.refused(Run::shown(p[i]), "zyliAbsDiff_8u_C1R", st);
        // The silhouette: where the frame changed by more than the threshold.
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) diff.row(y)[x] = diff.row(y)[x] > threshold ? 255 : 0;
        const Zyl32f timestamp = Zyl32f(i - 1);
        st = r.call([&] {
            return zyliUpdateMotionHistory_8u32f_C1IR(diff.data(), diff.step, history.data(),
                                                      history.step, roi, timestamp, d);
        });
        if (st < 0) return r.refused(Run::shown(p[i]), "zyliUpdateMotionHistory_8u32f_C1IR", st);
        prev = std::move(cur);
    }
    // Newest motion 255, fading linearly to 0 at the oldest time still kept (last time - D).
    const double last = double(pairs), span = double(d);
    Image out(w, h, 1);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double t = history.row(y)[x];
            double v = t == 0 ? 0 : std::floor(255.0 * (t - (last - span)) / span + 0.5);
            out.row(y)[x] = Zyl8u(v < 0 ? 0 : v > 255 ? 255 : v);
        }
    return r.save(p[0], out) ? 0 : 1;
}

// ---- profile ----------------------------------------------------------------------------

bool parse_point(Run &r, const char *name, ZyliPoint &pt)
{
    const std::string text = r.args.get(name, "");
    if (!r.args.has(name)) {
        r.fail(std::string("--") + name + " X,Y is required");
        return false;
    }
    long x, y;
    std::string error;
    if (!parse_pair(text, ',', std::string("--") + name, x, y, error)) {
        r.fail(error);
        return false;
    }
    if (x < 0 || y < 0 || x > 0x7fffffffL || y > 0x7fffffffL) {
        r.fail(std::string("--") + name + " " + text + ": X and Y must each be at least 0");
        return false;
    }
    pt = {Zyl32s(x), Zyl32s(y)};
    return true;
}

int cmd_profile(Run &r)
{
    ZyliPoint from, to;
    if (!parse_point(r, "from", from) || !parse_point(r, "to", to)) return 1;
    if (!need_positional(r, 1, "IN")) return 1;
    const auto &p = r.args.positional;
    Image in;
    if (!r.load(p[0], in)) return 1;
    for (const auto &[name, pt] : {std::pair{"--from", from}, std::pair{"--to", to}})
        if (pt.x >= in.width || pt.y >= in.height)
            return r.fail(Run::shown(p[0]) + ": " + name + " " + std::to_string(pt.x) + "," +
                          std::to_string(pt.y) + " lies outside the " + size_text(in) + " image");
    const int c = in.channels;
    const long dx = long(to.x) - from.x, dy = long(to.y) - from.y;
    const long major = std::max(std::labs(dx), std::labs(dy)),
               minor = std::min(std::labs(dx), std::labs(dy));
    const std::size_t count = std::size_t(major) + 1;
    Buffer samples(Zyl32s(count * c));
    if (!samples.p) return r.fail("out of memory");
    ZyliSize roi = {in.width, in.height};
    ZylStatus st = r.call([&] {
        return c == 1 ? zyliSampleLine_8u_C1R(in.data(), in.step, roi, samples.bytes(), from, to)
                      : zyliSampleLine_8u_C3R(in.data(), in.step, roi, samples.bytes(), from, to);
    });
    if (st < 0)
        return r.refused(Run::shown(p[0]),
                         c == 1 ? "zyliSampleLine_8u_C1R" : "zyliSampleLine_8u_C3R", st);
    // The sampler returns values only; the positions follow the same digital line: one step
    // along the major axis per sample, a minor step whenever the error term drops below 0.
    const bool yMajor = std::labs(dx) <= std::labs(dy);
    const int sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
    long err = major, x = from.x, y = from.y;
    const bool json = r.args.has("json");
    std::string text;
    if (json)
        text = "{\"from\":{\"x\":" + std::to_string(from.x) + ",\"y\":" + std::to_string(from.y) +
               "},\"to\":{\"x\":" + std::to_string(to.x) + ",\"y\":" + std::to_string(to.y) +
               "},\"points\":[";
    else text = c == 1 ? "x,y,value\n" : "x,y,r,g,b\n";
    for (std::size_t k = 0; k < count; ++k) {
        const Zyl8u *s = samples.bytes() + k * c;
        if (json) {
            text +=
                (k ? ",{\"x\":" : "{\"x\":") + std::to_string(x) + ",\"y\":" + std::to_string(y);
            text += c == 1 ? ",\"value\":" + std::to_string(s[0])
                           : ",\"r\":" + std::to_string(s[0]) + ",\"g\":" + std::to_string(s[1]) +
                                 ",\"b\":" + std::to_string(s[2]);
            text += "}";
        } else {
            text += std::to_string(x) + "," + std::to_string(y);
            for (int ch = 0; ch < c; ++ch) text += "," + std::to_string(s[ch]);
            text += "\n";
        }
        err -= 2 * minor;
        if (err < 0) {
            err += 2 * major;
            (yMajor ? x : y) += yMajor ? sx : sy;
        }
        (yMajor ? y : x) += yMajor ? sy : sx;
    }
    if (json) text += "]}\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    return 0;
}

// ---- norm and diff ----------------------------------------------------------------------

using NormC1 = ZylStatus (*)(const Zyl8u *, Zyl32s, const Zyl8u *, Zyl32s, ZyliSize, Zyl64f *);
using NormC3 = ZylStatus (*)(const Zyl8u *, Zyl32s, const Zyl8u *, Zyl32s, ZyliSize, Zyl32s,
                             Zyl64f *);
using PairC1 = ZylStatus (*)(const Zyl8u *, Zyl32s, const Zyl8u *, Zyl32s, const Zyl8u *, Zyl32s,
                             ZyliSize, Zyl64f *);
using PairC3 = ZylStatus (*)(const Zyl8u *, Zyl32s, const Zyl8u *, Zyl32s, const Zyl8u *, Zyl32s,
                             ZyliSize, Zyl32s, Zyl64f *);

// The library members of one kind of norm (Inf, L1, L2) and their names.
struct NormKind {
    const char *name;
    bool sum32;  // L1: the library sums in 32 bits
    NormC1 norm1;
    NormC3 norm3;
    PairC1 diff1, rel1;
    PairC3 diff3, rel3;
    const char *names[6];  // norm1, norm3, diff1, diff3, rel1, rel3
};

const NormKind kNormKinds[] = {
    {"inf",
     false,
     zyliNorm_Inf_8u_C1MR,
     zyliNorm_Inf_8u_C3CMR,
     zyliNormDiff_Inf_8u_C1MR,
     zyliNormRel_Inf_8u_C1MR,
     zyliNormDiff_Inf_8u_C3CMR,
     zyliNormRel_Inf_8u_C3CMR,
     {"zyliNorm_Inf_8u_C1MR", "zyliNorm_Inf_8u_C3CMR", "zyliNormDiff_Inf_8u_C1MR",
      "zyliNormDiff_Inf_8u_C3CMR", "zyliNormRel_Inf_8u_C1MR", "zyliNormRel_Inf_8u_C3CMR"}},
    {"l1",
     true,
     zyliNorm_L1_8u_C1MR,
     zyliNorm_L1_8u_C3CMR,
     zyliNormDiff_L1_8u_C1MR,
     zyliNormRel_L1_8u_C1MR,
     zyliNormDiff_L1_8u_C3CMR,
     zyliNormRel_L1_8u_C3CMR,
     {"zyliNorm_L1_8u_C1MR", "zyliNorm_L1_8u_C3CMR", "zyliNormDiff_L1_8u_C1MR",
      "zyliNormDiff_L1_8u_C3CMR", "zyliNormRel_L1_8u_C1MR", "zyliNormRel_L1_8u_C3CMR"}},
    {"l2",
     false,
     zyliNorm_L2_8u_C1MR,
     zyliNorm_L2_8u_C3CMR,
     zyliNormDiff_L2_8u_C1MR,
     zyliNormRel_L2_8u_C1MR,
     zyliNormDiff_L2_8u_C3CMR,
     zyliNormRel_L2_8u_C3CMR,
     {"zyliNorm_L2_8u_C1MR", "zyliNorm_L2_8u_C3CMR", "zyliNormDiff_L2_8u_C1MR",
      "zyliNormDiff_L2_8u_C3CMR", "zyliNormRel_L2_8u_C1MR", "zyliNormRel_L2_8u_C3CMR"}},
};

enum class Measure { Norm, Diff, Rel };

// One norm of rows [y0, y0 + rows) of channel `coi` (0 for a grey image) of A, or of A - B.
ZylStatus norm_rows(Run &r, const NormKind &k, Measure m, const Image &a, const Image *b,
                    const Image &mask, int y0, int rows, int coi, Zyl64f &out, const char *&fn)
{
    const ZyliSize roi = {a.width, rows};
    const Zyl8u *pa = a.row(y0), *pb = b ? b->row(y0) : nullptr, *pm = mask.row(y0);
    const int which = (m == Measure::Norm ? 0 : m == Measure::Diff ? 2 : 4) + (coi ? 1 : 0);
    fn = k.names[which];
    return r.call([&] {
        switch (which) {
        case 0:
            return k.norm1(pa, a.step, pm, mask.step, roi, &out);
        case 1:
            return k.norm3(pa, a.step, pm, mask.step, roi, coi, &out);
        case 2:
            return k.diff1(pa, a.step, pb, b->step, pm, mask.step, roi, &out);
        case 3:
            return k.diff3(pa, a.step, pb, b->step, pm, mask.step, roi, coi, &out);
        case 4:
            return k.rel1(pa, a.step, pb, b->step, pm, mask.step, roi, &out);
        default:
            return k.rel3(pa, a.step, pb, b->step, pm, mask.step, roi, coi, &out);
        }
    });
}

// A norm over the whole image. L1 sums of more elements than the library's 32-bit sums hold are
// taken in bands of rows and added; a relative L1 norm is then formed here by the library's rule
// (N / D, or N * 2^52 when D is 0).
ZylStatus norm_image(Run &r, const NormKind &k, Measure m, const Image &a, const Image *b,
                     const Image &mask, int coi, Zyl64f &out, const char *&fn)
{
    const int band = band_rows(a.width);
    if (!k.sum32 || band >= a.height)
        return norm_rows(r, k, m, a, b, mask, 0, a.height, coi, out, fn);
    double n = 0, d = 0;
    for (int y = 0; y < a.height; y += band) {
        const int rows = std::min(band, a.height - y);
        Zyl64f part = 0;
        ZylStatus st = norm_rows(r, k, m == Measure::Norm ? Measure::Norm : Measure::Diff, a, b,
                                 mask, y, rows, coi, part, fn);
        if (st < 0) return st;
        n += part;
        if (m == Measure::Rel) {
            st = norm_rows(r, k, Measure::Norm, *b, nullptr, mask, y, rows, coi, part, fn);
            if (st < 0) return st;
            d += part;
        }
    }
    out = m != Measure::Rel ? n : d != 0 ? n / d : n * 4503599627370496.0;
    return zylStatusOk;
}

// Loads A and B (or A alone), checks their sizes, and brings a grey and a colour image to grey.
bool load_pair(Run &r, Image &a, Image &b, bool haveB)
{
    const auto &p = r.args.positional;
    if (!r.load(p[0], a)) return false;
    if (!haveB) return true;
    if (!r.load(p[1], b)) return false;
    if (!same_size(r, p[0], a, p[1], b, "the images must have the same size")) return false;
    if (a.channels != b.channels) {
        a = to_grey(a);
        b = to_grey(b);
    }
    return true;
}

int cmd_norm(Run &r)
{
    const std::string kindName = r.args.get("kind", "l2");
    const NormKind *kind = nullptr;
    for (const NormKind &k : kNormKinds)
        if (kindName == k.name) kind = &k;
    if (!kind) return r.fail("--kind: '" + kindName + "' is not inf, l1 or l2");
    const auto &p = r.args.positional;
    if (p.size() != 1 && p.size() != 2)
        return r.fail(
            "expected A [B], got " +
            (p.empty() ? std::string("no arguments") : std::to_string(p.size()) + " arguments") +
            " (see 'zylcv norm --help')");
    const bool haveB = p.size() == 2, relative = r.args.has("relative");
    if (relative && !haveB) return r.fail("--relative needs a second image B");
    const Measure m = !haveB ? Measure::Norm : relative ? Measure::Rel : Measure::Diff;
    Image a, b;
    if (!load_pair(r, a, b, haveB)) return 1;
    const Image mask = all_selected(a.width, a.height);
    std::vector<double> values;
    for (int ch = 0; ch < a.channels; ++ch) {
        Zyl64f v = 0;
        const char *fn = "";
        ZylStatus st = norm_image(r, *kind, m, a, haveB ? &b : nullptr, mask,
                                  a.channels == 1 ? 0 : ch + 1, v, fn);
        if (st < 0) return r.refused(Run::shown(p[0]), fn, st);
        values.push_back(v);
    }
    const char *measure = m == Measure::Norm   ? "norm"
                          : m == Measure::Diff ? "difference"
                                               : "relative";
    static const char *const names[] = {"red", "green", "blue"};
    std::string text;
    if (r.args.has("json")) {
        text = std::string("{\"kind\":\"") + kind->name + "\",\"measure\":\"" + measure +
               "\",\"values\":[";
        for (std::size_t i = 0; i < values.size(); ++i) text += (i ? "," : "") + number(values[i]);
        text += "]}\n";
    } else
        for (std::size_t i = 0; i < values.size(); ++i)
            text += std::string(measure) + "-" + kind->name +
                    (values.size() == 1 ? std::string() : std::string(" (") + names[i] + ")") +
                    ": " + number(values[i]) + "\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    return 0;
}

int cmd_diff(Run &r)
{
    if (!need_positional(r, 2, "A B")) return 1;
    const auto &p = r.args.positional;
    Image a, b;
    if (!load_pair(r, a, b, true)) return 1;
    const int c = a.channels, w = a.width, h = a.height;
    // Every element counts alike: a colour pair is measured as one plane of 3 x width.
    Image pa = a, pb = b;
    pa.width = pb.width = w * c;
    pa.channels = pb.channels = 1;
    const Image mask = all_selected(w * c, h);
    Zyl64f maxAbs = 0, sumAbs = 0, l2 = 0;
    const char *fn = "";
    ZylStatus st = norm_image(r, kNormKinds[0], Measure::Diff, pa, &pb, mask, 0, maxAbs, fn);
    if (st >= 0) st = norm_image(r, kNormKinds[1], Measure::Diff, pa, &pb, mask, 0, sumAbs, fn);
    if (st >= 0) st = norm_image(r, kNormKinds[2], Measure::Diff, pa, &pb, mask, 0, l2, fn);
    if (st < 0) return r.refused(Run::shown(p[0]), fn, st);
    Image d(w * c, h, 1);
    ZyliSize roi = {w * c, h};
    st = r.call([&] {
        return zyliAbsDiff_8u_C1R(pa.data(), pa.step, pb.data(), pb.step, d.data(), d.step, roi);
    });
    if (st < 0) return r.refused(Run::shown(p[0]), "zyliAbsDiff_8u_C1R", st);
    long differing = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            bool any = false;
            for (int ch = 0; ch < c; ++ch) any |= d.row(y)[x * c + ch] != 0;
            differing += any;
        }
    const double elements = double(w) * h * c;
    const double mean = sumAbs / elements, rms = l2 / std::sqrt(elements);
    std::string text;
    if (r.args.has("json"))
        text = "{\"width\":" + std::to_string(w) + ",\"height\":" + std::to_string(h) +
               ",\"channels\":" + std::to_string(c) +
               ",\"differing\":" + std::to_string(differing) + ",\"max\":" + number(maxAbs) +
               ",\"mean\":" + number(mean) + ",\"rms\":" + number(rms) + "}\n";
    else
        text = "size: " + size_text(a) + "\nchannels: " + std::to_string(c) +
               "\ndiffering pixels: " + std::to_string(differing) +
               "\nmax abs diff: " + number(maxAbs) + "\nmean abs diff: " + number(mean) +
               "\nrms diff: " + number(rms) + "\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    return 0;
}

}  // namespace

// ---- the table --------------------------------------------------------------------------

bool box_mean(Run &r, const std::string &file, Image &plane, int k)
{
    const int w = plane.width, h = plane.height, area = k * k;
    ConvState state;
    ZylStatus st = zyliBlurInitAlloc(w, zyl8u, Zyl32s(k), &state.p);
    if (st < 0) return r.refused(file, "zyliBlurInitAlloc", st), false;
    Plane<Zyl16s> sums(w, h);
    if (!sums.ok()) return r.fail("out of memory"), false;
    ZyliSize roi = {w, h};
    st = r.call([&] {
        return zyliBlur_8u16s_C1R(plane.data(), plane.step, sums.data(), sums.step, &roi, state.p,
                                  zylStripWhole);
    });
    if (st < 0) return r.refused(file, "zyliBlur_8u16s_C1R", st), false;
    if (roi.height != h)
        return r.fail(file + ": zyliBlur_8u16s_C1R wrote " + std::to_string(roi.height) + " of " +
                      std::to_string(h) + " rows"),
               false;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) plane.row(y)[x] = Zyl8u((sums.row(y)[x] + area / 2) / area);
    return true;
}

std::vector<Command> more_commands()
{
    return {
        {"blur",
         "box blur: mean of a 3x3, 5x5 or 7x7 window",
         "usage: zylcv blur IN OUT [--size 3|5|7]\n\n"
         "Replaces every pixel by the mean of the KxK window centred on it (default K = 3): the\n"
         "window sum from zyliBlur_8u16s_C1R (replicated borders: rows and columns outside the\n"
         "image repeat the nearest edge pixel), written as (sum + K*K/2) / (K*K) in integers, the\n"
         "mean rounded to the nearest level. Colour images are blurred channel by channel.\n",
         {{"size", true}},
         cmd_blur,
         true},
        {"laplace",
         "Laplacian (3x3, 5x5 or 7x7), signed values around 128",
         "usage: zylcv laplace IN OUT [--size 3|5|7] [--scale S]\n\n"
         "Sum of the second derivatives along x and y with the Sobel kernels of aperture K\n"
         "(zyliLaplace_8u16s_C1R; default K = 3, whose kernel is 2 0 2 / 0 -8 0 / 2 0 2), with\n"
         "replicated borders. The 16-bit result (saturated to -32768..32767) is shown as\n"
         "128 + floor(L / S), clamped to 0..255; S defaults to 4, 32 and 256 for K = 3, 5, 7.\n"
         "Colour input is converted to grey (ITU-R BT.601 luma) first.\n",
         {{"size", true}, {"scale", true}},
         cmd_laplace,
         true},
        {"scharr",
         "3x3 Scharr derivative, signed values around 128",
         "usage: zylcv scharr IN OUT (--dx | --dy) [--scale S]\n\n"
         "The 3x3 Scharr derivative along x (columns weighted -3 0 3 / -10 0 10 / -3 0 3) or y\n"
         "(the transpose; y grows downwards), from zyliScharr_Dx/Dy_8u16s_C1R with replicated\n"
         "borders. The result (-4080..4080) is shown as 128 + floor(d / S), clamped to 0..255;\n"
         "S defaults to 16. The image needs at least 2 rows. Colour input is converted to grey\n"
         "(ITU-R BT.601 luma) first.\n",
         {{"dx", false}, {"dy", false}, {"scale", true}},
         cmd_scharr,
         true},
        {"corners",
         "corner strength: smaller eigenvalue of the gradient covariance",
         "usage: zylcv corners IN OUT [--aperture 3|5|7] [--block 3|5|7] [--eigen]\n\n"
         "For every pixel, the gradient covariance (Sobel derivatives of the given aperture,\n"
         "products summed over a block x block window; replicated borders; defaults 3 and 3) and\n"
         "its smaller eigenvalue (zyliMinEigenVal_8u32f_C1R). Written as round(255 * v / M),\n"
         "M the largest value in the image; values at or below 0, or an image whose M is 0, give\n"
         "0. --eigen runs the full eigen-analysis (zyliEigenValsVecs_8u32f_C1R) and writes a\n"
         "colour image: red the larger eigenvalue, green the smaller, both as round(255 * v / M)\n"
         "with M the image's largest larger eigenvalue, and blue the direction of the larger\n"
         "one's eigenvector, round(255 * a / pi) with a = atan2(y, x) folded into 0..pi (blue is\n"
         "0 where red is 0, where the direction means little). Colour input is converted to grey\n"
         "(ITU-R BT.601 luma) first.\n",
         {{"aperture", true}, {"block", true}, {"eigen", false}},
         cmd_corners,
         true},
        {"accumulate",
         "mean or running-average background of a sequence of frames",
         "usage: zylcv accumulate OUT FRAME... [--alpha A]\n\n"
         "Without --alpha, the mean of the frames: their sum in single precision\n"
         "(zyliAdd_8u32f_C1IR; exact up to 65793 frames), divided by the number of frames and\n"
         "rounded half up. With --alpha A (0..1), the running average used as a background model:\n"
         "it starts as the first frame, and each further frame F updates it as B += A * (F - B)\n"
         "(zyliAddWeighted_8u32f_C1IR, single precision); the result is rounded half up. All\n"
         "frames must have the same size; colour is kept per channel, and frames take the first\n"
         "frame's layout (colour converted to grey, or grey repeated into three channels).\n",
         {{"alpha", true}},
         cmd_accumulate},
        {"motion",
         "motion-history image of a sequence of frames",
         "usage: zylcv motion OUT FRAME... [--duration D] [--threshold T]\n\n"
         "For each pair of consecutive frames (at least two frames, all of one size, converted to\n"
         "grey with ITU-R BT.601 luma), the silhouette is where |frame - previous| > T\n"
         "(zyliAbsDiff_8u_C1R; T in 0..255, default 30). Pair i (1, 2, 3, ...) updates the "
         "history\n"
         "with timestamp i (zyliUpdateMotionHistory_8u32f_C1IR): silhouette pixels take i, others\n"
         "older than i - D are cleared to 0. D > 0 defaults to the number of pairs, so that every\n"
         "motion stays in view. Written as 0 where no motion is kept, else as\n"
         "round(255 * (h - (N - D)) / D) clamped to 0..255, h the pixel's time and N the last\n"
         "timestamp: the latest motion is 255, older motion fades towards 0.\n",
         {{"duration", true}, {"threshold", true}},
         cmd_motion},
        {"profile",
         "pixel values along a line, as CSV or JSON",
         "usage: zylcv profile IN --from X1,Y1 --to X2,Y2 [--json]\n\n"
         "Prints the pixels of the digital line from X1,Y1 to X2,Y2, both ends included\n"
         "(zyliSampleLine_8u_C1R/C3R): one sample per column or row along the longer axis, the\n"
         "other coordinate the nearest to the exact line, an exact half going towards X1,Y1. CSV\n"
         "with the header x,y,value (grey) or x,y,r,g,b (colour); --json prints one object\n"
         "{\"from\":{\"x\":X1,\"y\":Y1},\"to\":{...},\"points\":[{\"x\":..,\"y\":..,\"value\":..},."
         "..]}\n"
         "(\"r\", \"g\", \"b\" in place of \"value\" for colour). Both points must lie in the "
         "image.\n",
         {{"from", true}, {"to", true}, {"json", false}},
         cmd_profile},
        {"norm",
         "infinity, L1 or L2 norm of an image, a difference or relative",
         "usage: zylcv norm A [B] [--kind inf|l1|l2] [--relative] [--json]\n\n"
         "Prints the norm (default l2) of A (zyliNorm_*_8u), of A - B (zyliNormDiff_*_8u), or "
         "with\n"
         "--relative of A - B divided by that of B (zyliNormRel_*_8u; a B of zeros gives the\n"
         "difference's norm times 2^52), per channel for colour: 'norm-l2: V', 'difference-l2: V'\n"
         "or 'relative-l2: V', with ' (red)' and so on after the name for colour. inf is the\n"
         "largest magnitude, l1 the sum of magnitudes, l2 the square root of the sum of squares,\n"
         "all exact before the final square root or division. Whole values are printed in full,\n"
         "others in the fewest digits that read back exactly. --json prints one object\n"
         "{\"kind\":..,\"measure\":..,\"values\":[..]}. A and B must have the same size; a colour\n"
         "image paired with a grey one is converted to grey first.\n",
         {{"kind", true}, {"relative", false}, {"json", false}},
         cmd_norm},
        {"diff",
         "how two images differ: count, largest, mean and rms difference",
         "usage: zylcv diff A B [--json]\n\n"
         "Prints the size, the channels, the number of differing pixels (any channel differs),\n"
         "and over all samples of all channels the largest absolute difference, the mean absolute\n"
         "difference (L1 norm / samples) and the root mean square difference (L2 norm /\n"
         "sqrt(samples)), from zyliNormDiff_Inf/L1/L2_8u_C1MR and zyliAbsDiff_8u_C1R. Whole "
         "values\n"
         "are printed in full, others in the fewest digits that read back exactly. --json prints\n"
         "one object {\"width\":..,\"height\":..,\"channels\":..,\"differing\":..,\"max\":..,\n"
         "\"mean\":..,\"rms\":..}. A and B must have the same size; a colour image paired with a\n"
         "grey one is converted to grey first.\n",
         {{"json", false}},
         cmd_diff},
    };
}

}  // namespace zylcv_tool
