// Canny against OpenCV's cv::Canny (L1 gradient), single-threaded, on a natural-looking picture
// (smoothed noise with shapes): from precomputed derivatives (the overload taking dx and dy),
// and the whole road from the 8-bit picture (Sobel 3x3 Dx and Dy, then Canny, against
// cv::Canny with aperture 3).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "twins.h"
#include "zylcv.h"
#if ZYLCV_BENCH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

ZB_COPIES(zyliCanny_16s8u_C1R)

constexpr float kLow = 60.0f, kHigh = 180.0f;

// A picture: noise blurred three times by a 5x5 box, a few filled rectangles and discs of
// other grey levels, and fine noise on top. Its derivatives, the edge map and the work buffer
// in 32-byte aligned memory with tight rows.
struct Scene {
    int w, h, buf = 0;
    Zyl8u *img, *edges, *buffer;
    Zyl16s *dx, *dy;
    Scene(int w_, int h_) : w(w_), h(h_)
    {
        img = static_cast<Zyl8u *>(zyliAlloc(w * h));
        edges = static_cast<Zyl8u *>(zyliAlloc(w * h));
        dx = static_cast<Zyl16s *>(zyliAlloc(2 * w * h));
        dy = static_cast<Zyl16s *>(zyliAlloc(2 * w * h));
        zyliCannyGetSize({w, h}, &buf);
        buffer = static_cast<Zyl8u *>(zyliAlloc(buf));
        std::mt19937 gen(11);
        std::vector<int> a(std::size_t(w) * h), b(a.size());
        for (int &v : a) v = int(gen() % 256);
        for (int pass = 0; pass < 3; ++pass) {
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    int s = 0, n = 0;
                    for (int j = -2; j <= 2; ++j)
                        for (int i = -2; i <= 2; ++i) {
                            int xx = x + i, yy = y + j;
                            if (xx < 0 || yy < 0 || xx >= w || yy >= h) continue;
                            s += a[std::size_t(yy) * w + xx];
                            ++n;
                        }
                    b[std::size_t(y) * w + x] = s / n;
                }
            a.swap(b);
        }
        for (int k = 0; k < 24; ++k) {
            const int cx = int(gen() % w), cy = int(gen() % h), r = 10 + int(gen() % (h / 5));
            const int v = int(gen() % 256);
            const bool disc = k % 2;
            for (int y = cy - r; y < cy + r; ++y)
                for (int x = cx - r; x < cx + r; ++x) {
                    if (x < 0 || y < 0 || x >= w || y >= h) continue;
                    if (disc && (x - cx) * (x - cx) + (y - cy) * (y - cy) > r * r) continue;
                    a[std::size_t(y) * w + x] = v;
                }
        }
        for (int i = 0; i < w * h; ++i) {
            int v = a[i] + int(gen() % 9) - 4;
            img[i] = Zyl8u(v < 0 ? 0 : v > 255 ? 255 : v);
        }
        zyliSobel3x3_Dx_8u16s_C1R(img, w, dx, 2 * w, {w, h});
        zyliSobel3x3_Dy_8u16s_C1R(img, w, dy, 2 * w, 0, {w, h});
    }
    ~Scene()
    {
        for (void *p : {(void *)img, (void *)edges, (void *)dx, (void *)dy, (void *)buffer})
            _zycvFree_(&p);
    }
};

void finish(benchmark::State &s, const Scene &sc)
{
    long edges = 0;
    for (int i = 0; i < sc.w * sc.h; ++i) edges += sc.edges[i] != 0;
    s.counters["edges%"] = 100.0 * double(edges) / (double(sc.w) * sc.h);
    s.counters["Mpix/s"] =
        benchmark::Counter(double(sc.w) * sc.h * s.iterations() / 1e6, benchmark::Counter::kIsRate);
}

template <auto Fn> void Zyl_Canny(benchmark::State &s)
{
    Scene sc(int(s.range(0)), int(s.range(1)));
    for (auto _ : s) {
        Fn(sc.dx, 2 * sc.w, sc.dy, 2 * sc.w, sc.edges, sc.w, {sc.w, sc.h}, kLow, kHigh, sc.buffer);
        benchmark::ClobberMemory();
    }
    finish(s, sc);
}
template <auto Fn> void Zyl_CannyRoad(benchmark::State &s)
{
    Scene sc(int(s.range(0)), int(s.range(1)));
    for (auto _ : s) {
        zyliSobel3x3_Dx_8u16s_C1R(sc.img, sc.w, sc.dx, 2 * sc.w, {sc.w, sc.h});
        zyliSobel3x3_Dy_8u16s_C1R(sc.img, sc.w, sc.dy, 2 * sc.w, 0, {sc.w, sc.h});
        Fn(sc.dx, 2 * sc.w, sc.dy, 2 * sc.w, sc.edges, sc.w, {sc.w, sc.h}, kLow, kHigh, sc.buffer);
        benchmark::ClobberMemory();
    }
    finish(s, sc);
}

#define SIZES ->Args({640, 480})->Args({1920, 1080})
ZB_TWINS(Zyl_Canny, zyliCanny_16s8u_C1R, SIZES);
ZB_TWINS(Zyl_CannyRoad, zyliCanny_16s8u_C1R, SIZES);

#if ZYLCV_BENCH_OPENCV
void Cv_Canny(benchmark::State &s)
{
    cv::setNumThreads(1);
    Scene sc(int(s.range(0)), int(s.range(1)));
    cv::Mat dx(sc.h, sc.w, CV_16SC1, sc.dx), dy(sc.h, sc.w, CV_16SC1, sc.dy),
        edges(sc.h, sc.w, CV_8UC1, sc.edges);
    for (auto _ : s) {
        cv::Canny(dx, dy, edges, kLow, kHigh, false);
        benchmark::ClobberMemory();
    }
    finish(s, sc);
}
void Cv_CannyRoad(benchmark::State &s)
{
    cv::setNumThreads(1);
    Scene sc(int(s.range(0)), int(s.range(1)));
    cv::Mat img(sc.h, sc.w, CV_8UC1, sc.img), edges(sc.h, sc.w, CV_8UC1, sc.edges);
    for (auto _ : s) {
        cv::Canny(img, edges, kLow, kHigh, 3, false);
        benchmark::ClobberMemory();
    }
    finish(s, sc);
}
BENCHMARK(Cv_Canny) SIZES;
BENCHMARK(Cv_CannyRoad) SIZES;
#endif

}  // namespace

BENCHMARK_MAIN();
