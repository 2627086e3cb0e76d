// Line sampling, 8u and 32f, one and three channels, with end points anywhere: inside, on the
// border, just outside or at the extremes of int. A line inside the image must give the pixels
// of the model (minor-axis offset of sample k the integer nearest to k·m/M, halves towards the
// first point) into an array of exactly max(|dx|, |dy|) + 1 pixels; a line with an end outside,
// or a row step shorter than a row, is refused with zylStatusError and writes nothing.
#include "fuzz_support.h"

namespace {

using fz::Image;
using fz::Input;

template <class T>
using SampleFn = ZylStatus (*)(const T *, Zyl32s, ZyliSize, T *, ZyliPoint, ZyliPoint);

template <class T> SampleFn<T> member(int C)
{
    if constexpr (std::is_same_v<T, Zyl8u>)
        return C == 1 ? zyliSampleLine_8u_C1R : zyliSampleLine_8u_C3R;
    else return C == 1 ? zyliSampleLine_32f_C1R : zyliSampleLine_32f_C3R;
}

// A coordinate: mostly inside, sometimes on or beyond an edge or far away.
int coordinate(Input &in, int n)
{
    if (!in.chance(24)) return in.range(0, n - 1);
    return in.pick({-1, n, n + 1, -2, INT32_MIN, INT32_MAX, 1 << 30, -(1 << 30)});
}

template <class T> void run(Input &in, int C)
{
    const int w = in.range(1, 40), h = in.range(1, 40);
    const fz::Geometry g = fz::any_geometry<T>(in);
    const ZyliPoint p1{coordinate(in, w), coordinate(in, h)},
        p2{coordinate(in, w), coordinate(in, h)};
    const bool shortStep = g.pad == 0 && w * C > 1 && in.chance(8);

    Image<T> src(w, h, C, g.pad, g.lead);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w * C; ++x) {
            if constexpr (std::is_same_v<T, Zyl32f>) src.row(y)[x] = fz::any_float(in);
            else src.row(y)[x] = in.byte();
        }
    const auto srcBefore = src.snapshot();

    const bool inside = p1.x >= 0 && p1.x < w && p2.x >= 0 && p2.x < w && p1.y >= 0 && p1.y < h &&
                        p2.y >= 0 && p2.y < h;
    const long long dx = (long long)p2.x - p1.x, dy = (long long)p2.y - p1.y;
    const long long M = std::max(std::llabs(dx), std::llabs(dy)),
                    m = std::min(std::llabs(dx), std::llabs(dy));
    const bool refused = !inside || shortStep;
    // The exact array for a valid line; a few pixels for a refused one.
    const std::size_t samples = refused ? 4 : std::size_t(M) + 1;
    fz::Block out(samples * C * sizeof(T), 0x6B);
    const auto outBefore = out.bytes();

    const int step = src.step() - (shortStep ? int(sizeof(T)) : 0);
    const ZylStatus st =
        member<T>(C)(src.data(), step, {w, h}, reinterpret_cast<T *>(out.data()), p1, p2);
    FZ_CHECK(src.unchanged_since(srcBefore), "line sampler changed its source");
    if (refused) {
        FZ_CHECK(st == zylStatusError,
                 "line (%d,%d)-(%d,%d) in %dx%d short step %d: status %d, want %d", p1.x, p1.y,
                 p2.x, p2.y, w, h, shortStep, st, zylStatusError);
        FZ_CHECK(out.bytes() == outBefore, "refused line sampler wrote its array");
        return;
    }
    FZ_CHECK(st == zylStatusOk, "line (%d,%d)-(%d,%d) in %dx%d: status %d", p1.x, p1.y, p2.x, p2.y,
             w, h, st);

    // Sample k: k steps along the major axis, and round(k·m/M) with halves down along the minor.
    const bool yMajor = std::llabs(dx) <= std::llabs(dy);
    const int sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
    const T *got = reinterpret_cast<const T *>(out.data());
    for (long long k = 0; k <= M; ++k) {
        const long long minor = M == 0 ? 0 : (2 * k * m + M - 1) / (2 * M);
        const int x = int(p1.x + sx * (yMajor ? minor : k)),
                  y = int(p1.y + sy * (yMajor ? k : minor));
        for (int c = 0; c < C; ++c) {
            const T want = src.at(x, y, c), have = got[k * C + c];
            FZ_CHECK(std::memcmp(&want, &have, sizeof(T)) == 0,
                     "line (%d,%d)-(%d,%d) C=%d: sample %lld channel %d is not pixel (%d,%d)", p1.x,
                     p1.y, p2.x, p2.y, C, k, c, x, y);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Input in(data, size);
    const int mode = in.byte();
    const int C = mode & 1 ? 3 : 1;
    if (mode & 2) run<Zyl32f>(in, C);
    else run<Zyl8u>(in, C);
    return 0;
}
