// Flood fills against OpenCV's cv::floodFill, single-threaded: the value fills beside
// FLOODFILL_FIXED_RANGE with zero differences, the gradient fills beside the floating range.
// Both sides fill an image holding one large region (a background with scattered obstacles,
// gently sloped for the gradient fills) and both refill the image outside the timed part.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "twins.h"
#include "zylcv.h"
#if ZYLCV_BENCH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

// The source image (kept) and the working copy that each iteration fills.
template <class T> struct Scene {
    int w, h, step;
    std::vector<T> src, work;
    std::vector<Zyl8u> buffer;
    Scene(int w_, int h_, bool sloped)
        : w(w_), h(h_), step(int(w_ * sizeof(T))), src(std::size_t(w_) * h_), work(src.size())
    {
        std::mt19937 gen(11);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                src[std::size_t(y) * w + x] = T(sloped ? 10 + (x + y) / 64 % 100 : 10);
        // Obstacles: 3x3 blocks of 250 at random places, about 2% of the pixels.
        for (int i = 0; i < w * h / 450; ++i) {
            int x0 = int(gen() % (w - 3)), y0 = int(gen() % (h - 3));
            for (int y = y0; y < y0 + 3; ++y)
                for (int x = x0; x < x0 + 3; ++x) src[std::size_t(y) * w + x] = T(250);
        }
        src[0] = T(10);
        Zyl32s n = 0;
        zyliFloodFillGetSize_Grad({w, h}, &n);
        buffer.resize(std::size_t(n));
    }
    void refill() { std::memcpy(work.data(), src.data(), src.size() * sizeof(T)); }
};

void finish(benchmark::State &s, int w, int h)
{
    s.counters["Mpix/s"] =
        benchmark::Counter(double(w) * h * s.iterations() / 1e6, benchmark::Counter::kIsRate);
}

template <class T, bool Eight> void Zyl_FloodFill(benchmark::State &s)
{
    Scene<T> sc(int(s.range(0)), int(s.range(1)), false);
    ZyliConnectedRegion r;
    for (auto _ : s) {
        s.PauseTiming();
        sc.refill();
        s.ResumeTiming();
        if constexpr (std::is_same_v<T, Zyl8u>) {
            if (Eight)
                zyliFloodFill_8Con_8u_C1IR(sc.work.data(), sc.step, {sc.w, sc.h}, {0, 0}, 1, &r,
                                           sc.buffer.data());
            else
                zyliFloodFill_4Con_8u_C1IR(sc.work.data(), sc.step, {sc.w, sc.h}, {0, 0}, 1, &r,
                                           sc.buffer.data());
        } else {
            if (Eight)
                zyliFloodFill_8Con_32f_C1IR(sc.work.data(), sc.step, {sc.w, sc.h}, {0, 0}, 1.0f, &r,
                                            sc.buffer.data());
            else
                zyliFloodFill_4Con_32f_C1IR(sc.work.data(), sc.step, {sc.w, sc.h}, {0, 0}, 1.0f, &r,
                                            sc.buffer.data());
        }
    }
    finish(s, sc.w, sc.h);
}
template <class T, bool Eight> void Zyl_FloodFillGrad(benchmark::State &s)
{
    Scene<T> sc(int(s.range(0)), int(s.range(1)), true);
    ZyliConnectedRegion r;
    for (auto _ : s) {
        s.PauseTiming();
        sc.refill();
        s.ResumeTiming();
        if constexpr (std::is_same_v<T, Zyl8u>) {
            if (Eight)
                zyliFloodFill_Grad8Con_8u_C1IR(sc.work.data(), sc.step, {sc.w, sc.h}, {0, 0}, 1, 2,
                                               2, &r, sc.buffer.data());
            else
                zyliFloodFill_Grad4Con_8u_C1IR(sc.work.data(), sc.step, {sc.w, sc.h}, {0, 0}, 1, 2,
                                               2, &r, sc.buffer.data());
        } else {
            if (Eight)
                zyliFloodFill_Grad8Con_32f_C1IR(sc.work.data(), sc.step, {sc.w, sc.h}, {0, 0}, 1.0f,
                                                2.0f, 2.0f, &r, sc.buffer.data());
            else
                zyliFloodFill_Grad4Con_32f_C1IR(sc.work.data(), sc.step, {sc.w, sc.h}, {0, 0}, 1.0f,
                                                2.0f, 2.0f, &r, sc.buffer.data());
        }
    }
    finish(s, sc.w, sc.h);
}

#define SIZES ->Args({640, 480})->Args({1920, 1080})
BENCHMARK(Zyl_FloodFill<Zyl8u, false>) SIZES;
BENCHMARK(Zyl_FloodFill<Zyl8u, true>) SIZES;
BENCHMARK(Zyl_FloodFill<Zyl32f, false>) SIZES;
BENCHMARK(Zyl_FloodFill<Zyl32f, true>) SIZES;
BENCHMARK(Zyl_FloodFillGrad<Zyl8u, false>) SIZES;
BENCHMARK(Zyl_FloodFillGrad<Zyl8u, true>) SIZES;
BENCHMARK(Zyl_FloodFillGrad<Zyl32f, false>) SIZES;
BENCHMARK(Zyl_FloodFillGrad<Zyl32f, true>) SIZES;

#if ZYLCV_BENCH_OPENCV
// Fixed range with zero differences fills the pixels equal to the seed's: the value fill.
template <class T, bool Eight, bool Grad> void Cv_FloodFill(benchmark::State &s)
{
    cv::setNumThreads(1);
    Scene<T> sc(int(s.range(0)), int(s.range(1)), Grad);
    cv::Mat m(sc.h, sc.w, std::is_same_v<T, Zyl8u> ? CV_8UC1 : CV_32FC1, sc.work.data(), sc.step);
    const int flags = (Eight ? 8 : 4) | (Grad ? 0 : cv::FLOODFILL_FIXED_RANGE);
    const cv::Scalar diff(Grad ? 2 : 0);
    cv::Rect rect;
    for (auto _ : s) {
        s.PauseTiming();
        sc.refill();
        s.ResumeTiming();
        cv::floodFill(m, cv::Point(0, 0), cv::Scalar(1), &rect, diff, diff, flags);
    }
    finish(s, sc.w, sc.h);
}
BENCHMARK(Cv_FloodFill<Zyl8u, false, false>) SIZES;
BENCHMARK(Cv_FloodFill<Zyl8u, true, false>) SIZES;
BENCHMARK(Cv_FloodFill<Zyl32f, false, false>) SIZES;
BENCHMARK(Cv_FloodFill<Zyl32f, true, false>) SIZES;
BENCHMARK(Cv_FloodFill<Zyl8u, false, true>) SIZES;
BENCHMARK(Cv_FloodFill<Zyl8u, true, true>) SIZES;
BENCHMARK(Cv_FloodFill<Zyl32f, false, true>) SIZES;
BENCHMARK(Cv_FloodFill<Zyl32f, true, true>) SIZES;
#endif

}  // namespace

BENCHMARK_MAIN();
