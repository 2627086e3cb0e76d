// Chamfer distance transforms, 3x3 and 5x5, with the standard cost sets and arbitrary costs
// below 4096 (fractions of 2^-18 included, so that the rounding of the fixed-point costs
// matters), on images of any size down to 0x0. The result must equal a model of the definition:
// 18-bit fixed-point costs, a forward and a backward pass in place, conversion to float.
// Source and destination end at the end of their allocations; empty images, a misaligned
// destination step and unknown mask kinds write nothing; the portable twin agrees with the SSE2
// one.
#include "distance_transform/distance_transform.h"
#include "fuzz_support.h"

namespace {

using fz::Image;
using fz::Input;

constexpr std::int32_t kUnreached = 0x3FFFFFFF;

std::int32_t fixed_cost(float m) { return std::int32_t(std::nearbyint(m * 262144.0f)); }

// Two passes over 32-bit fixed-point distances, each neighbour's distance plus its step cost.
std::vector<float> model(const Image<Zyl8u> &src, bool five, const float *metrics)
{
    const int w = src.width(), h = src.height();
    const std::int32_t A = fixed_cost(metrics[0]), B = fixed_cost(metrics[1]),
                       C = five ? fixed_cost(metrics[2]) : 0;
    std::vector<std::int32_t> d(std::size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) d[std::size_t(y) * w + x] = src.at(x, y) == 0 ? 0 : kUnreached;
    struct Step {
        int dx, dy;
        std::int32_t cost;
    };
    std::vector<Step> fwd = {{-1, 0, A}, {-1, -1, B}, {0, -1, A}, {1, -1, B}};
    if (five) fwd.insert(fwd.end(), {{-2, -1, C}, {2, -1, C}, {-1, -2, C}, {1, -2, C}});
    auto relax = [&](int x, int y, int sign) {
        std::int32_t &v = d[std::size_t(y) * w + x];
        for (const Step &s : fwd) {
            const int nx = x + sign * s.dx, ny = y + sign * s.dy;
            if (nx < 0 || nx >= w || ny < 0 || ny >= h) continue;
            v = std::min(v, d[std::size_t(ny) * w + nx] + s.cost);
        }
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) relax(x, y, 1);
    for (int y = h - 1; y >= 0; --y)
        for (int x = w - 1; x >= 0; --x) relax(x, y, -1);
    std::vector<float> out(d.size());
    for (std::size_t i = 0; i < d.size(); ++i) out[i] = float(d[i]) * (1.0f / 262144.0f);
    return out;
}

// Costs: a standard mask kind, small integers, or any float in 0 .. 4096 (exclusive).
void costs(Input &in, bool five, float *m)
{
    const int how = in.range(0, 3);
    if (how == 0) {
        const Zyl32s kind = five ? 52 : in.pick({30, 31, 32});
        const ZylStatus st = zyliGetDistanceTransformMask(kind, m);
        FZ_CHECK(st == zylStatusOk, "zyliGetDistanceTransformMask(%d): status %d", kind, st);
        static const float k30[] = {1.0f, 1.0f}, k31[] = {1.0f, 2.0f}, k32[] = {0.955f, 1.3693f},
                           k52[] = {1.0f, 1.4f, 2.1969f};
        const float *want = kind == 30 ? k30 : kind == 31 ? k31 : kind == 32 ? k32 : k52;
        FZ_CHECK(std::memcmp(m, want, (five ? 3 : 2) * sizeof(float)) == 0,
                 "mask kind %d gives other costs", kind);
        return;
    }
    for (int i = 0; i < 3; ++i) {
        if (how == 1) m[i] = float(in.range(0, 12));
        else if (how == 2) m[i] = float(in.u32() % (4096u << 18)) * (1.0f / 262144.0f);
        else m[i] = fz::float_of(in.u32() % 0x45800000u);  // every float from 0 below 4096
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Input in(data, size);
    const bool five = in.flag();
    const int w = in.range(0, 40), h = in.range(0, 40);
    const fz::Geometry gs = fz::any_geometry<Zyl8u>(in), gd = fz::any_geometry<Zyl32f>(in);
    const bool badStep = in.chance(8);
    float metrics[3] = {0, 0, 0};
    costs(in, five, metrics);
    if (in.chance(8)) {
        // Unknown kinds (50 and 51 included) are refused and write nothing.
        float before[3] = {-7.0f, -7.0f, -7.0f}, m[3];
        std::memcpy(m, before, sizeof m);
        const Zyl32s kind = in.pick({0, 3, 33, 50, 51, 53, -30, 1 << 30});
        FZ_CHECK(zyliGetDistanceTransformMask(kind, m) == zylStatusOutOfRange &&
                     !std::memcmp(m, before, sizeof m),
                 "mask kind %d: not refused cleanly", kind);
    }

    Image<Zyl8u> src(w, h, 1, gs.pad, gs.lead);
    const int density = in.pick({1, 8, 64, 255});
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            src.at(x, y) = in.byte() < density ? 0 : Zyl8u(in.range(1, 255));
    Image<Zyl32f> dst(w, h, 1, gd.pad, gd.lead);
    const auto srcBefore = src.snapshot(), dstBefore = dst.snapshot();

    // A destination step that is not a multiple of 4 is refused before anything is read.
    const int dstStep = dst.step() + (badStep ? 2 : 0);
    auto fn = five ? zyliDistanceTransform_5x5_8u32f_C1R : zyliDistanceTransform_3x3_8u32f_C1R;
    const ZylStatus st = fn(src.data(), src.step(), dst.data(), dstStep, {w, h}, metrics);
    FZ_CHECK(src.unchanged_since(srcBefore), "distance transform changed its source");
    if (badStep || w == 0 || h == 0) {
        const ZylStatus want = badStep ? zylStatusBadSize : zylStatusOk;
        FZ_CHECK(st == want, "distance transform %dx%d bad step %d: status %d, want %d", w, h,
                 badStep, st, want);
        FZ_CHECK(dst.unchanged_since(dstBefore),
                 "distance transform %dx%d (status %d) wrote its destination", w, h, st);
        return 0;
    }
    FZ_CHECK(st == zylStatusOk, "distance transform %dx%d: status %d", w, h, st);
    FZ_CHECK(dst.outside_roi_unchanged(dstBefore),
             "distance transform wrote outside its destination ROI");

    const std::vector<float> want = model(src, five, metrics);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const float got = dst.at(x, y), exp = want[std::size_t(y) * w + x];
            FZ_CHECK(fz::bits_of(got) == fz::bits_of(exp),
                     "distance transform %s %dx%d costs %.9g %.9g %.9g: (%d,%d) is %.9g, want %.9g",
                     five ? "5x5" : "3x3", w, h, double(metrics[0]), double(metrics[1]),
                     double(metrics[2]), x, y, double(got), double(exp));
        }

#if ZYLCV_SIMD
    Image<Zyl32f> dst2(w, h, 1, gd.pad, gd.lead);
    const zylcv::distance_transform::Costs c{fixed_cost(metrics[0]), fixed_cost(metrics[1]),
                                             five ? fixed_cost(metrics[2]) : 0};
    if (five)
        zylcv::portable::chamfer<5>(src.data(), src.step(), dst2.data(), dst2.step(), w, h, c);
    else zylcv::portable::chamfer<3>(src.data(), src.step(), dst2.data(), dst2.step(), w, h, c);
    FZ_CHECK(dst2.roi_bytes() == dst.roi_bytes(),
             "twins: portable and SSE2 distance transforms differ at byte %ld",
             fz::first_difference(dst2.roi_bytes(), dst.roi_bytes()));
#endif
    return 0;
}
