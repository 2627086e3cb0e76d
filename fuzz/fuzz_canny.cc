// Canny edges from arbitrary derivative images and thresholds (fractional, below 1, equal, above
// every magnitude, NaN or out of order). The work buffer is exactly the size its query reports.
// The edge map must be the one of a model written from the definition: magnitudes |dx| + |dy|
// saturated at 32767 and zeroed up to the low threshold, non-maximum suppression across the
// gradient direction (ties suppress), seeds are unsuppressed magnitudes above the high threshold
// and only unsuppressed magnitudes above the low one join them, 8-connected. A refused call
// writes nothing; the portable twin agrees with the SSE2 one.
#include <deque>

#include "canny/canny.h"
#include "fuzz_support.h"

namespace {

using fz::Image;
using fz::Input;

// The edge map the definition gives (255 edge, 0 not), row after row.
std::vector<std::uint8_t> model(const Image<Zyl16s> &dx, const Image<Zyl16s> &dy, float low,
                                float high)
{
    const int w = dx.width(), h = dx.height();
    auto idx = [w](int x, int y) { return std::size_t(y) * w + x; };
    // Magnitudes, zeroed where they do not exceed the low threshold. Magnitudes are integers, so
    // comparing with the float threshold is comparing with its integer part.
    std::vector<int> m(std::size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int v = std::min(std::abs(int(dx.at(x, y))) + std::abs(int(dy.at(x, y))), 32767);
            m[idx(x, y)] = double(v) > double(low) ? v : 0;
        }
    auto mag = [&](int x, int y) { return x < 0 || x >= w || y < 0 || y >= h ? 0 : m[idx(x, y)]; };
    // Non-maximum suppression: candidates are the pixels larger than both neighbours across
    // the gradient direction.
    std::vector<std::uint8_t> cand(m.size(), 0), edge(m.size(), 0);
    std::deque<std::pair<int, int>> queue;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int v = m[idx(x, y)];
            if (v == 0) continue;
            const long long gx = dx.at(x, y), gy = dy.at(x, y);
            const long long ax = std::llabs(gx), ay = std::llabs(gy);
            int n;
            if (4096 * ay >= 9889 * ax) n = std::max(mag(x, y - 1), mag(x, y + 1));
            else if (4096 * ay < 1697 * ax) n = std::max(mag(x - 1, y), mag(x + 1, y));
            else if ((gx >= 0) == (gy >= 0)) n = std::max(mag(x - 1, y - 1), mag(x + 1, y + 1));
            else n = std::max(mag(x + 1, y - 1), mag(x - 1, y + 1));
            if (v <= n) continue;
            cand[idx(x, y)] = 1;
            if (double(v) > double(high)) {
                edge[idx(x, y)] = 1;
                queue.push_back({x, y});
            }
        }
    // Hysteresis: everything 8-connected to a seed through candidates.
    while (!queue.empty()) {
        auto [x, y] = queue.front();
        queue.pop_front();
        for (int ny = y - 1; ny <= y + 1; ++ny)
            for (int nx = x - 1; nx <= x + 1; ++nx) {
                if (nx < 0 || nx >= w || ny < 0 || ny >= h || !cand[idx(nx, ny)] ||
                    edge[idx(nx, ny)])
                    continue;
                edge[idx(nx, ny)] = 1;
                queue.push_back({nx, ny});
            }
    }
    for (auto &e : edge) e = e ? 255 : 0;
    return edge;
}

// Derivative values: full 16-bit noise, small values (many ties and plateaus), sparse strong
// responses, or central differences of a random image (edges as a real Sobel output has them).
void fill_derivatives(Input &in, Image<Zyl16s> &dx, Image<Zyl16s> &dy)
{
    const int w = dx.width(), h = dx.height(), mode = in.range(0, 3);
    if (mode == 3) {
        const int scale = in.pick({1, 2, 4, 128});
        std::vector<int> img(std::size_t(w) * h);
        for (auto &v : img) v = in.byte() & in.pick({1, 3, 255});
        auto at = [&](int x, int y) {
            return img[std::size_t(std::clamp(y, 0, h - 1)) * w + std::clamp(x, 0, w - 1)];
        };
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                dx.at(x, y) = Zyl16s((at(x + 1, y) - at(x - 1, y)) * scale);
                dy.at(x, y) = Zyl16s((at(x, y + 1) - at(x, y - 1)) * scale);
            }
        return;
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (Image<Zyl16s> *d : {&dx, &dy}) {
                Zyl16s v;
                if (mode == 0) v = Zyl16s(in.u16());
                else if (mode == 1) v = Zyl16s(in.range(-4, 4));
                else
                    v = in.chance(40) ? Zyl16s(in.pick({-32768, 32767, 300, -1000, 16384}))
                                      : Zyl16s(in.range(-1, 1));
                d->at(x, y) = v;
            }
}

float threshold(Input &in)
{
    switch (in.range(0, 7)) {
    case 0:
        return 0.0f;
    case 1:
        return float(in.byte()) / 256.0f;  // below 1
    case 2:
        return float(in.range(0, 64));
    case 3:
        return float(in.range(0, 4000)) * 0.5f;
    case 4:
        return float(in.u16());
    case 5:
        return in.pick({32767.0f, 32768.0f, 40000.0f, 3e9f, INFINITY});
    case 6:
        return fz::special_float(in);
    default:
        return float(in.range(0, 8));
    }
}

// The thresholds as the kernels take them: truncated, every value above 32767 acting as 32767.
int int_threshold(float t) { return t >= 32767.0f ? 32767 : int(t); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Input in(data, size);
    const int w = in.range(1, 40), h = in.range(1, 40);
    const fz::Geometry gx = fz::any_geometry<Zyl16s>(in), gy = fz::any_geometry<Zyl16s>(in),
                       gd = fz::any_geometry<Zyl8u>(in);
    float low = threshold(in), high = threshold(in);
    if (in.chance(160) && low > high) std::swap(low, high);
    const bool oddStep = in.chance(6);

    Image<Zyl16s> dx(w, h, 1, gx.pad, gx.lead), dy(w, h, 1, gy.pad, gy.lead);
    fill_derivatives(in, dx, dy);
    const auto dxBefore = dx.snapshot(), dyBefore = dy.snapshot();

    Zyl32s bytes = -1;
    const ZylStatus qs = zyliCannyGetSize({w, h}, &bytes);
    FZ_CHECK(qs == zylStatusOk && bytes == 12 * (w + 2) * (h + 2),
             "zyliCannyGetSize %dx%d: status %d size %d", w, h, qs, bytes);
    fz::Block buffer{std::size_t(bytes)};
    Image<Zyl8u> dst(w, h, 1, gd.pad, gd.lead);
    const auto dstBefore = dst.snapshot();

    // An odd derivative step is refused before the thresholds are looked at.
    const int dxStep = dx.step() + (oddStep ? 1 : 0);
    const ZylStatus st = zyliCanny_16s8u_C1R(dx.data(), dxStep, dy.data(), dy.step(), dst.data(),
                                             dst.step(), {w, h}, low, high, buffer.data());
    const ZylStatus want = oddStep                            ? zylStatusStepNotAligned
                           : !(low >= 0.0f) || !(high >= low) ? zylStatusBadArg
                                                              : zylStatusOk;
    FZ_CHECK(st == want, "Canny %dx%d low %g high %g odd step %d: status %d, want %d", w, h,
             double(low), double(high), oddStep, st, want);
    FZ_CHECK(dx.unchanged_since(dxBefore) && dy.unchanged_since(dyBefore),
             "Canny wrote into a derivative image");
    if (st != zylStatusOk) {
        FZ_CHECK(dst.unchanged_since(dstBefore),
                 "refused Canny call (status %d) wrote the edge map", st);
        return 0;
    }
    FZ_CHECK(dst.outside_roi_unchanged(dstBefore), "Canny wrote outside the edge map's ROI");

    const std::vector<std::uint8_t> want_map = model(dx, dy, low, high), got = dst.roi_bytes();
    const long at = fz::first_difference(got, want_map);
    FZ_CHECK(at < 0, "Canny %dx%d low %g high %g: pixel (%ld,%ld) is %d, want %d", w, h,
             double(low), double(high), at % w, at / w, got[std::size_t(at)],
             want_map[std::size_t(at)]);

#if ZYLCV_SIMD
    fz::Block buffer2{std::size_t(bytes)};
    Image<Zyl8u> dst2(w, h, 1, gd.pad, gd.lead);
    zylcv::portable::canny(dx.data(), dx.step(), dy.data(), dy.step(), dst2.data(), dst2.step(), w,
                           h, int_threshold(low), int_threshold(high), buffer2.data());
    FZ_CHECK(dst2.roi_bytes() == got, "twins: portable and SSE2 edge maps differ at byte %ld",
             fz::first_difference(dst2.roi_bytes(), got));
#endif
    return 0;
}
