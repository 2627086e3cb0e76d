// Fast arctangent against OpenCV's cv::phase in degrees, single-threaded, on gradient-like
// float arrays of 640x480 and 1920x1080 elements.
#include <benchmark/benchmark.h>

#include <random>

#include "twins.h"
#include "zylcv.h"
#if ZYLCV_BENCH_OPENCV
#include <opencv2/core.hpp>
#endif

namespace {

ZB_COPIES(zylibFastArctan_32f)

// x, y and angle arrays in 32-byte aligned memory; components like Sobel results.
struct Arrays {
    int w, h, n;
    Zyl32f *x, *y, *angle;
    Arrays(int w_, int h_) : w(w_), h(h_), n(w_ * h_)
    {
        x = static_cast<Zyl32f *>(zyliAlloc(4 * n));
        y = static_cast<Zyl32f *>(zyliAlloc(4 * n));
        angle = static_cast<Zyl32f *>(zyliAlloc(4 * n));
        std::mt19937 gen(5);
        std::uniform_real_distribution<float> d(-1020.0f, 1020.0f);
        for (int i = 0; i < n; ++i) x[i] = d(gen), y[i] = d(gen);
    }
    ~Arrays()
    {
        _zycvFree_(reinterpret_cast<void **>(&x));
        _zycvFree_(reinterpret_cast<void **>(&y));
        _zycvFree_(reinterpret_cast<void **>(&angle));
    }
};

void finish(benchmark::State &s, const Arrays &a)
{
    s.SetBytesProcessed(std::int64_t(s.iterations()) * 12 * a.n);
    s.counters["Melem/s"] =
        benchmark::Counter(double(a.n) * s.iterations() / 1e6, benchmark::Counter::kIsRate);
}

template <auto Fn> void Zyl_FastArctan(benchmark::State &s)
{
    Arrays a(int(s.range(0)), int(s.range(1)));
    for (auto _ : s) {
        Fn(a.y, a.x, a.angle, a.n);
        benchmark::ClobberMemory();
    }
    finish(s, a);
}

#define SIZES ->Args({640, 480})->Args({1920, 1080})
ZB_TWINS(Zyl_FastArctan, zylibFastArctan_32f, SIZES);

#if ZYLCV_BENCH_OPENCV
void Cv_Phase(benchmark::State &s)
{
    cv::setNumThreads(1);
    Arrays a(int(s.range(0)), int(s.range(1)));
    cv::Mat x(a.h, a.w, CV_32FC1, a.x), y(a.h, a.w, CV_32FC1, a.y),
        angle(a.h, a.w, CV_32FC1, a.angle);
    for (auto _ : s) {
        cv::phase(x, y, angle, true);
        benchmark::ClobberMemory();
    }
    finish(s, a);
}
BENCHMARK(Cv_Phase) SIZES;
#endif

}  // namespace

BENCHMARK_MAIN();
