// Absolute difference against OpenCV's cv::absdiff on the same data, single-threaded, with a
// memcpy of the destination's bytes as the memory-bandwidth ceiling.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "twins.h"
#include "zylcv.h"
#if ZYLCV_BENCH_OPENCV
#include <opencv2/core.hpp>
#endif

namespace {

ZB_COPIES(zyliAbsDiff_8u_C1R)
ZB_COPIES(zyliAbsDiffC_8u_C1R)
ZB_COPIES(zyliAbsDiff_32f_C1R)
ZB_COPIES(zyliAbsDiffC_32f_C1R)

// Three images of one type in 32-byte aligned memory, filled with random values.
template <class T> struct Frames {
    int w, h, step;
    T *a, *b, *d;
    Frames(int w_, int h_) : w(w_), h(h_), step(int(w_ * sizeof(T)))
    {
        a = static_cast<T *>(zyliAlloc(step * h));
        b = static_cast<T *>(zyliAlloc(step * h));
        d = static_cast<T *>(zyliAlloc(step * h));
        std::mt19937 gen(7);
        for (int i = 0; i < w * h; ++i) {
            a[i] = static_cast<T>(gen() % 256);
            b[i] = static_cast<T>(gen() % 256);
        }
    }
    ~Frames()
    {
        _zycvFree_(reinterpret_cast<void **>(&a));
        _zycvFree_(reinterpret_cast<void **>(&b));
        _zycvFree_(reinterpret_cast<void **>(&d));
    }
    std::size_t bytes() const { return std::size_t(step) * h; }
};

template <class T> void finish(benchmark::State &s, const Frames<T> &f, int images)
{
    s.SetBytesProcessed(std::int64_t(s.iterations()) * images * f.bytes());
    s.counters["Mpix/s"] =
        benchmark::Counter(double(f.w) * f.h * s.iterations() / 1e6, benchmark::Counter::kIsRate);
}

template <auto Fn> void Zyl_AbsDiff_8u(benchmark::State &s)
{
    Frames<Zyl8u> f(int(s.range(0)), int(s.range(1)));
    for (auto _ : s) Fn(f.a, f.step, f.b, f.step, f.d, f.step, {f.w, f.h});
    finish(s, f, 3);
}
template <auto Fn> void Zyl_AbsDiffC_8u(benchmark::State &s)
{
    Frames<Zyl8u> f(int(s.range(0)), int(s.range(1)));
    for (auto _ : s) Fn(f.a, f.step, f.d, f.step, {f.w, f.h}, 77);
    finish(s, f, 2);
}
template <auto Fn> void Zyl_AbsDiff_32f(benchmark::State &s)
{
    Frames<Zyl32f> f(int(s.range(0)), int(s.range(1)));
    for (auto _ : s) Fn(f.a, f.step, f.b, f.step, f.d, f.step, {f.w, f.h});
    finish(s, f, 3);
}
template <auto Fn> void Zyl_AbsDiffC_32f(benchmark::State &s)
{
    Frames<Zyl32f> f(int(s.range(0)), int(s.range(1)));
    for (auto _ : s) Fn(f.a, f.step, f.d, f.step, {f.w, f.h}, 77.5f);
    finish(s, f, 2);
}
template <class T> void Memcpy(benchmark::State &s)
{
    Frames<T> f(int(s.range(0)), int(s.range(1)));
    for (auto _ : s) {
        std::memcpy(f.d, f.a, f.bytes());
        benchmark::ClobberMemory();
    }
    finish(s, f, 2);
}

#define SIZES ->Args({640, 480})->Args({1920, 1080})
ZB_TWINS(Zyl_AbsDiff_8u, zyliAbsDiff_8u_C1R, SIZES);
ZB_TWINS(Zyl_AbsDiffC_8u, zyliAbsDiffC_8u_C1R, SIZES);
ZB_TWINS(Zyl_AbsDiff_32f, zyliAbsDiff_32f_C1R, SIZES);
ZB_TWINS(Zyl_AbsDiffC_32f, zyliAbsDiffC_32f_C1R, SIZES);
BENCHMARK(Memcpy<Zyl8u>) SIZES;
BENCHMARK(Memcpy<Zyl32f>) SIZES;

#if ZYLCV_BENCH_OPENCV
template <class T> int cv_type() { return std::is_same_v<T, Zyl8u> ? CV_8UC1 : CV_32FC1; }

template <class T> void Cv_AbsDiff(benchmark::State &s)
{
    cv::setNumThreads(1);
    Frames<T> f(int(s.range(0)), int(s.range(1)));
    cv::Mat a(f.h, f.w, cv_type<T>(), f.a, f.step), b(f.h, f.w, cv_type<T>(), f.b, f.step),
        d(f.h, f.w, cv_type<T>(), f.d, f.step);
    for (auto _ : s) cv::absdiff(a, b, d);
    finish(s, f, 3);
}
template <class T> void Cv_AbsDiffC(benchmark::State &s)
{
    cv::setNumThreads(1);
    Frames<T> f(int(s.range(0)), int(s.range(1)));
    cv::Mat a(f.h, f.w, cv_type<T>(), f.a, f.step), d(f.h, f.w, cv_type<T>(), f.d, f.step);
    cv::Scalar v(std::is_same_v<T, Zyl8u> ? 77.0 : 77.5);
    for (auto _ : s) cv::absdiff(a, v, d);
    finish(s, f, 2);
}
BENCHMARK(Cv_AbsDiff<Zyl8u>) SIZES;
BENCHMARK(Cv_AbsDiffC<Zyl8u>) SIZES;
BENCHMARK(Cv_AbsDiff<Zyl32f>) SIZES;
BENCHMARK(Cv_AbsDiffC<Zyl32f>) SIZES;
#endif

}  // namespace

BENCHMARK_MAIN();
