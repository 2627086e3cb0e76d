// Generates the demo images of `make demo`: a synthetic outdoor scene (sky gradient, sun,
// hills, a house, a tree, a sign with letter strokes, sensor-like noise) in colour and grey, and
// a template cut from it for `zylcv match`. Deterministic: the same size gives the same bytes.
//
//   zylcv_demo_images OUTDIR [WIDTH HEIGHT]     (default 320 240)
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "image_io.h"

using zylcv_tool::Image;

namespace {

struct Rgb {
    double r, g, b;
};

Rgb mix(Rgb a, Rgb b, double t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// xorshift32: the noise must not depend on the C library's generator.
struct Noise {
    unsigned s = 2463534242u;
    double uniform()
    {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return (s >> 8) * (1.0 / 16777216.0);
    }
    double bell() { return uniform() + uniform() + uniform() - 1.5; }  // about -1.5..1.5
};

double seg_dist(double px, double py, double ax, double ay, double bx, double by)
{
    double vx = bx - ax, vy = by - ay, wx = px - ax, wy = py - ay;
    double t = (vx * wx + vy * wy) / (vx * vx + vy * vy);
    t = t < 0 ? 0 : t > 1 ? 1 : t;
    double dx = wx - t * vx, dy = wy - t * vy;
    return std::sqrt(dx * dx + dy * dy);
}

// Letter strokes of the sign, in sign coordinates (0..1 across, 0..1 down): "ZYL CV".
const double kStrokes[][4] = {
    {0.04, 0.2, 0.17, 0.2},  {0.17, 0.2, 0.04, 0.8},  {0.04, 0.8, 0.17, 0.8},    // Z
    {0.21, 0.2, 0.275, 0.5}, {0.34, 0.2, 0.275, 0.5}, {0.275, 0.5, 0.275, 0.8},  // Y
    {0.39, 0.2, 0.39, 0.8},  {0.39, 0.8, 0.5, 0.8},                              // L
    {0.72, 0.2, 0.6, 0.2},   {0.6, 0.2, 0.6, 0.8},    {0.6, 0.8, 0.72, 0.8},     // C
    {0.77, 0.2, 0.845, 0.8}, {0.845, 0.8, 0.92, 0.2},                            // V
};

// Colour of the scene at (u, v) in 0..1 x 0..1, aspect = width / height.
Rgb scene(double u, double v, double aspect)
{
    const Rgb skyTop{70, 120, 200}, skyLow{185, 205, 232};
    Rgb c = mix(skyTop, skyLow, v / 0.62 > 1 ? 1 : v / 0.62);
    // Sun with a soft halo.
    double su = (u - 0.83) * aspect, sv = v - 0.17, sd = std::sqrt(su * su + sv * sv);
    if (sd < 0.075) c = {252, 232, 130};
    else if (sd < 0.14) c = mix(c, {245, 225, 160}, (0.14 - sd) / 0.065 * 0.5);
    // Hills: two layers.
    double far = 0.56 + 0.035 * std::sin(9.0 * u + 1.0) + 0.02 * std::sin(23.0 * u);
    if (v > far) c = mix({105, 140, 110}, {80, 120, 85}, (v - far) * 4 > 1 ? 1 : (v - far) * 4);
    double nearH = 0.66 + 0.04 * std::sin(5.0 * u + 2.0);
    if (v > nearH) c = mix({80, 140, 60}, {45, 95, 40}, (v - nearH) / 0.34);
    // House body, roof, door, windows.
    if (u > 0.14 && u < 0.40 && v > 0.46 && v < 0.78) {
        c = {205, 128, 92};
        if (int((v - 0.46) * 80) % 3 == 0) c = mix(c, {150, 90, 70}, 0.35);  // brick courses
    }
    double roofHalf = (v - 0.30) / (0.46 - 0.30) * 0.15;
    if (v > 0.30 && v <= 0.46 && std::fabs(u - 0.27) < roofHalf) c = {118, 48, 40};
    if (u > 0.245 && u < 0.295 && v > 0.60 && v < 0.78) c = {92, 60, 40};
    for (double wx : {0.17, 0.32}) {
        if (u > wx && u < wx + 0.05 && v > 0.51 && v < 0.58) {
            c = {165, 205, 235};
            if (std::fabs(u - (wx + 0.025)) < 0.003 || std::fabs(v - 0.545) < 0.004)
                c = {240, 240, 235};
        }
    }
    // Tree: trunk and crown.
    if (u > 0.615 && u < 0.645 && v > 0.48 && v < 0.74) c = {96, 66, 42};
    double cu = (u - 0.63) / 0.085 * aspect / (4.0 / 3.0), cv = (v - 0.41) / 0.13;
    double crown = cu * cu + cv * cv;
    if (crown < 1.0)
        c = mix({60, 125, 55}, {35, 85, 35},
                crown * 0.5 + 0.25 * std::sin(40 * u) * std::sin(30 * v));
    // Sign board on a post, with letter strokes.
    if (u > 0.815 && u < 0.83 && v > 0.86) c = {90, 70, 50};
    const double bx0 = 0.70, bx1 = 0.95, by0 = 0.74, by1 = 0.88;
    if (u > bx0 && u < bx1 && v > by0 && v < by1) {
        c = {232, 226, 210};
        double lu = (u - bx0) / (bx1 - bx0), lv = (v - by0) / (by1 - by0);
        for (const auto &s : kStrokes)
            if (seg_dist(lu * 2.2, lv, s[0] * 2.2, s[1], s[2] * 2.2, s[3]) < 0.07) c = {35, 35, 45};
    }
    return c;
}

Image render(int w, int h)
{
    Image img(w, h, 3);
    Noise noise;
    const double aspect = double(w) / h;
    for (int y = 0; y < h; ++y) {
        std::uint8_t *row = img.row(y);
        for (int x = 0; x < w; ++x) {
            // 2x2 supersampling smooths the shape borders.
            Rgb acc{0, 0, 0};
            for (int k = 0; k < 4; ++k) {
                Rgb s =
                    scene((x + 0.25 + 0.5 * (k & 1)) / w, (y + 0.25 + 0.5 * (k >> 1)) / h, aspect);
                acc = {acc.r + s.r, acc.g + s.g, acc.b + s.b};
            }
            double n = noise.bell() * 4.0;
            double ch[3] = {acc.r / 4 + n, acc.g / 4 + n, acc.b / 4 + n};
            for (int i = 0; i < 3; ++i) {
                double q = std::floor(ch[i] + 0.5);
                row[3 * x + i] = std::uint8_t(q < 0 ? 0 : q > 255 ? 255 : q);
            }
        }
    }
    return img;
}

Image crop(const Image &src, int x0, int y0, int w, int h)
{
    Image out(w, h, src.channels);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w * src.channels; ++x)
            out.row(y)[x] = src.row(y0 + y)[x0 * src.channels + x];
    return out;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: zylcv_demo_images OUTDIR [WIDTH HEIGHT]\n");
        return 1;
    }
    const std::string dir = argv[1];
    int w = argc == 4 ? std::atoi(argv[2]) : 320, h = argc == 4 ? std::atoi(argv[3]) : 240;
    if (w < 32 || h < 32 || w > 8192 || h > 8192) {
        std::fprintf(stderr, "zylcv_demo_images: size must be 32..8192 a side\n");
        return 1;
    }
    Image colour = render(w, h), grey = zylcv_tool::to_grey(colour);
    // The template is the house's left window with a margin around it.
    int tx = int(0.155 * w), ty = int(0.495 * h), tw = int(0.08 * w), th = int(0.10 * h);
    Image tpl = crop(grey, tx, ty, tw, th);
    std::string error;
    for (auto [name, img] : {std::pair<const char *, const Image *>{"scene.png", &colour},
                             {"scene-grey.png", &grey},
                             {"template.png", &tpl}}) {
        if (!zylcv_tool::save_image(dir + "/" + name, *img, error)) {
            std::fprintf(stderr, "zylcv_demo_images: %s\n", error.c_str());
            return 1;
        }
    }
    // A short sequence for the motion commands: a dark ball rolls across the meadow, one frame
    // per step, over the unchanged scene.
    const int frames = 8, radius = std::max(3, h / 16);
    for (int f = 0; f < frames; ++f) {
        Image frame = colour;
        const int cx = w / 8 + f * (w * 3 / 4) / (frames - 1), cy = h * 4 / 5;
        for (int y = std::max(0, cy - radius); y < std::min(h, cy + radius + 1); ++y)
            for (int x = std::max(0, cx - radius); x < std::min(w, cx + radius + 1); ++x)
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius)
                    for (int c = 0; c < 3; ++c) frame.row(y)[3 * x + c] = std::uint8_t(30 + 20 * c);
        char name[32];
        std::snprintf(name, sizeof name, "/frame%02d.png", f + 1);
        if (!zylcv_tool::save_image(dir + name, frame, error)) {
            std::fprintf(stderr, "zylcv_demo_images: %s\n", error.c_str());
            return 1;
        }
    }
    std::printf(
        "wrote %s/scene.png, scene-grey.png (%dx%d), template.png (%dx%d, cut at %d,%d) and "
        "frame01..%02d.png\n",
        dir.c_str(), w, h, tw, th, tx, ty, frames);
    return 0;
}
