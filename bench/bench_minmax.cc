// Minimum and maximum with locations against OpenCV's cv::minMaxLoc on the same data,
// single-threaded. cv::minMaxLoc takes one channel only, so the channel-of-interest forms are
// compared with cv::extractChannel followed by cv::minMaxLoc (two passes on OpenCV's side).
#include <benchmark/benchmark.h>

#include <random>
#include <type_traits>

#include "twins.h"
#include "zylcv.h"
#if ZYLCV_BENCH_OPENCV
#include <opencv2/core.hpp>
#endif

namespace {

// A source of nch channels and a mask (about three pixels in four selected), tight rows, in
// 32-byte aligned memory, filled with random values.
template <class T> struct Frames {
    int w, h, nch, step, maskStep;
    T *src;
    Zyl8u *mask;
    Frames(int w_, int h_, int nch_)
        : w(w_), h(h_), nch(nch_), step(int(w_ * nch_ * sizeof(T))), maskStep(w_)
    {
        src = static_cast<T *>(zyliAlloc(step * h));
        mask = static_cast<Zyl8u *>(zyliAlloc(maskStep * h));
        std::mt19937 gen(7);
        for (int i = 0; i < w * h * nch; ++i) {
            if constexpr (std::is_same_v<T, Zyl32f>)
                src[i] = float(gen() % 100000) * 0.01f - 300.0f;
            else src[i] = static_cast<T>(gen() % 256);
        }
        for (int i = 0; i < w * h; ++i) mask[i] = gen() % 4 ? 1 : 0;
    }
    ~Frames()
    {
        _zycvFree_(reinterpret_cast<void **>(&src));
        _zycvFree_(reinterpret_cast<void **>(&mask));
    }
    ZyliSize size() const { return {w, h}; }
};

template <class T> void finish(benchmark::State &s, const Frames<T> &f)
{
    s.SetBytesProcessed(std::int64_t(s.iterations()) * f.step * f.h);
    s.counters["Mpix/s"] =
        benchmark::Counter(double(f.w) * f.h * s.iterations() / 1e6, benchmark::Counter::kIsRate);
}

// The four layouts of one element type, each over the function Fn it calls.
template <class T, auto Fn> void Zyl_MinMaxIndx_C1R(benchmark::State &s)
{
    Frames<T> f(int(s.range(0)), int(s.range(1)), 1);
    Zyl32f lo, hi;
    ZyliPoint loAt, hiAt;
    for (auto _ : s) Fn(f.src, f.step, f.size(), &lo, &hi, &loAt, &hiAt);
    finish(s, f);
}
template <class T, auto Fn> void Zyl_MinMaxIndx_C1MR(benchmark::State &s)
{
    Frames<T> f(int(s.range(0)), int(s.range(1)), 1);
    Zyl32f lo, hi;
    ZyliPoint loAt, hiAt;
    for (auto _ : s) Fn(f.src, f.step, f.mask, f.maskStep, f.size(), &lo, &hi, &loAt, &hiAt);
    finish(s, f);
}
template <class T, auto Fn> void Zyl_MinMaxIndx_C3CR(benchmark::State &s)
{
    Frames<T> f(int(s.range(0)), int(s.range(1)), 3);
    Zyl32f lo, hi;
    ZyliPoint loAt, hiAt;
    for (auto _ : s) Fn(f.src, f.step, f.size(), 2, &lo, &hi, &loAt, &hiAt);
    finish(s, f);
}
template <class T, auto Fn> void Zyl_MinMaxIndx_C3CMR(benchmark::State &s)
{
    Frames<T> f(int(s.range(0)), int(s.range(1)), 3);
    Zyl32f lo, hi;
    ZyliPoint loAt, hiAt;
    for (auto _ : s) Fn(f.src, f.step, f.mask, f.maskStep, f.size(), 2, &lo, &hi, &loAt, &hiAt);
    finish(s, f);
}

#define SIZES ->Args({640, 480})->Args({1920, 1080})
// Zyl_MinMaxIndx_NAME for the copy that runs, and .../sse2 and .../avx2 for the two copies.
#if ZYLCV_AVX2
#define ZYL_BENCH_COPIES(NAME, T, FORM)                                                            \
    ZB_COPIES(zyliMinMaxIndx_##NAME)                                                               \
    BENCHMARK_TEMPLATE(Zyl_MinMaxIndx_##FORM, T, zyliMinMaxIndx_##NAME)                            \
        ->Name("Zyl_MinMaxIndx_" #NAME) SIZES;                                                     \
    BENCHMARK_TEMPLATE(Zyl_MinMaxIndx_##FORM, T, zyliMinMaxIndx_##NAME##_sse2)                     \
        ->Name("Zyl_MinMaxIndx_" #NAME "/sse2") SIZES;                                             \
    BENCHMARK_TEMPLATE(Zyl_MinMaxIndx_##FORM, T, zyliMinMaxIndx_##NAME##_avx2)                     \
        ->Name("Zyl_MinMaxIndx_" #NAME "/avx2") SIZES;
#else
#define ZYL_BENCH_COPIES(NAME, T, FORM)                                                            \
    BENCHMARK_TEMPLATE(Zyl_MinMaxIndx_##FORM, T, zyliMinMaxIndx_##NAME)                            \
        ->Name("Zyl_MinMaxIndx_" #NAME) SIZES;
#endif
#define ZYL_BENCH_REGISTER(T, tag)                                                                 \
    ZYL_BENCH_COPIES(tag##_C1R, T, C1R)                                                            \
    ZYL_BENCH_COPIES(tag##_C1MR, T, C1MR)                                                          \
    ZYL_BENCH_COPIES(tag##_C3CR, T, C3CR)                                                          \
    ZYL_BENCH_COPIES(tag##_C3CMR, T, C3CMR)
ZYL_BENCH_REGISTER(Zyl8u, 8u)
ZYL_BENCH_REGISTER(Zyl8s, 8s)
ZYL_BENCH_REGISTER(Zyl32f, 32f)

#if ZYLCV_BENCH_OPENCV
template <class T> int cv_depth()
{
    return std::is_same_v<T, Zyl8u> ? CV_8U : std::is_same_v<T, Zyl8s> ? CV_8S : CV_32F;
}

// One channel: cv::minMaxLoc, optionally masked.
template <class T, bool Masked> void Cv_MinMaxLoc_C1(benchmark::State &s)
{
    cv::setNumThreads(1);
    Frames<T> f(int(s.range(0)), int(s.range(1)), 1);
    cv::Mat src(f.h, f.w, CV_MAKETYPE(cv_depth<T>(), 1), f.src, f.step);
    cv::Mat mask(f.h, f.w, CV_8UC1, f.mask, f.maskStep);
    double lo, hi;
    cv::Point loAt, hiAt;
    for (auto _ : s) cv::minMaxLoc(src, &lo, &hi, &loAt, &hiAt, Masked ? mask : cv::noArray());
    finish(s, f);
}
// Channel of interest: cv::extractChannel into a one-channel image, then cv::minMaxLoc.
template <class T, bool Masked> void Cv_ExtractMinMaxLoc_C3C(benchmark::State &s)
{
    cv::setNumThreads(1);
    Frames<T> f(int(s.range(0)), int(s.range(1)), 3);
    cv::Mat src(f.h, f.w, CV_MAKETYPE(cv_depth<T>(), 3), f.src, f.step);
    cv::Mat mask(f.h, f.w, CV_8UC1, f.mask, f.maskStep),
        plane(f.h, f.w, CV_MAKETYPE(cv_depth<T>(), 1));
    double lo, hi;
    cv::Point loAt, hiAt;
    for (auto _ : s) {
        cv::extractChannel(src, plane, 1);
        cv::minMaxLoc(plane, &lo, &hi, &loAt, &hiAt, Masked ? mask : cv::noArray());
    }
    finish(s, f);
}
#define CV_BENCH_REGISTER(T)                                                                       \
    BENCHMARK(Cv_MinMaxLoc_C1<T, false>) SIZES;                                                    \
    BENCHMARK(Cv_MinMaxLoc_C1<T, true>) SIZES;                                                     \
    BENCHMARK(Cv_ExtractMinMaxLoc_C3C<T, false>) SIZES;                                            \
    BENCHMARK(Cv_ExtractMinMaxLoc_C3C<T, true>) SIZES;
CV_BENCH_REGISTER(Zyl8u)
CV_BENCH_REGISTER(Zyl8s)
CV_BENCH_REGISTER(Zyl32f)
#endif

}  // namespace

BENCHMARK_MAIN();
