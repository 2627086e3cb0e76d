// Strip filters as whole-image calls (general Sobel d/dx, Laplace, box sum) at apertures 3, 5
// and 7, against OpenCV's cv::Sobel, cv::Laplacian and unnormalised cv::boxFilter with
// replicated borders, single-threaded.
#include <benchmark/benchmark.h>

#include <random>
#include <type_traits>

#include "twins.h"
#include "zylcv.h"
#if ZYLCV_BENCH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

template <class S> using DstOf = std::conditional_t<std::is_same_v<S, Zyl32f>, Zyl32f, Zyl16s>;

// A random source image and a destination in 32-byte aligned memory, rows packed.
template <class S> struct Frames {
    using D = DstOf<S>;
    int w, h, srcStep, dstStep;
    S *src;
    D *dst;
    Frames(int w_, int h_)
        : w(w_), h(h_), srcStep(int(w_ * sizeof(S))), dstStep(int(w_ * sizeof(D)))
    {
        src = static_cast<S *>(zyliAlloc(srcStep * h));
        dst = static_cast<D *>(zyliAlloc(dstStep * h));
        std::mt19937 gen(7);
        for (int i = 0; i < w * h; ++i) {
            if constexpr (std::is_same_v<S, Zyl32f>) src[i] = float(gen() % 256) / 16.0f;
            else src[i] = static_cast<S>(gen());
        }
    }
    ~Frames()
    {
        _zycvFree_(reinterpret_cast<void **>(&src));
        _zycvFree_(reinterpret_cast<void **>(&dst));
    }
};

template <class S> void finish(benchmark::State &s, const Frames<S> &f)
{
    s.SetBytesProcessed(std::int64_t(s.iterations()) * f.h * (f.srcStep + f.dstStep));
    s.counters["Mpix/s"] =
        benchmark::Counter(double(f.w) * f.h * s.iterations() / 1e6, benchmark::Counter::kIsRate);
}

enum Filter { Sobel, Laplace, Blur };
template <class S> constexpr ZylDataType type_of()
{
    return std::is_same_v<S, Zyl8u> ? zyl8u : std::is_same_v<S, Zyl8s> ? zyl8s : zyl32f;
}
template <class S, class D>
S source_of(ZylStatus (*)(const S *, Zyl32s, D *, Zyl32s, ZyliSize *, ZyliConvState *,
                          ZylStripRole));

// Whole-image calls of Fn, a member of filter F. Arguments: width, height, aperture. The Sobel
// filter computes d/dx.
template <Filter F, auto Fn> void run(benchmark::State &s)
{
    using S = decltype(source_of(Fn));
    Frames<S> f(int(s.range(0)), int(s.range(1)));
    const int k = int(s.range(2));
    ZyliConvState *st = nullptr;
    if (F == Sobel) zyliSobelInitAlloc(f.w, type_of<S>(), k, 0, 1, 0, &st);
    else if (F == Laplace) zyliLaplaceInitAlloc(f.w, type_of<S>(), k, &st);
    else zyliBlurInitAlloc(f.w, type_of<S>(), k, &st);
    for (auto _ : s) {
        ZyliSize roi{f.w, f.h};
        Fn(f.src, f.srcStep, f.dst, f.dstStep, &roi, st, zylStripWhole);
        benchmark::ClobberMemory();
    }
    zyliConvolFree(&st);
    finish(s, f);
}

#define ARGS                                                                                       \
    ->Args({640, 480, 3})                                                                          \
        ->Args({640, 480, 5})                                                                      \
        ->Args({640, 480, 7})                                                                      \
        ->Args({1920, 1080, 3})                                                                    \
        ->Args({1920, 1080, 5})                                                                    \
        ->Args({1920, 1080, 7})
// Zyl_<filter>_<type> for the running copy of the member and for each twin's.
#define ZYL(F, T, FN)                                                                              \
    ZB_COPIES(FN)                                                                                  \
    template <auto Fn> void Zyl_##F##_##T(benchmark::State &s) { run<F, Fn>(s); }                  \
    ZB_TWINS(Zyl_##F##_##T, FN, ARGS)
ZYL(Sobel, 8u, zyliSobel_8u16s_C1R);
ZYL(Sobel, 8s, zyliSobel_8s16s_C1R);
ZYL(Sobel, 32f, zyliSobel_32f_C1R);
ZYL(Laplace, 8u, zyliLaplace_8u16s_C1R);
ZYL(Laplace, 8s, zyliLaplace_8s16s_C1R);
ZYL(Laplace, 32f, zyliLaplace_32f_C1R);
ZYL(Blur, 8u, zyliBlur_8u16s_C1R);
ZYL(Blur, 8s, zyliBlur_8s16s_C1R);
ZYL(Blur, 32f, zyliBlur_32f_C1R);

#if ZYLCV_BENCH_OPENCV
template <Filter F, class S> void Cv(benchmark::State &s)
{
    cv::setNumThreads(1);
    Frames<S> f(int(s.range(0)), int(s.range(1)));
    const int k = int(s.range(2));
    const bool f32 = std::is_same_v<S, Zyl32f>;
    cv::Mat src(f.h, f.w, f32 ? CV_32FC1 : CV_8UC1, f.src, f.srcStep);
    cv::Mat dst(f.h, f.w, f32 ? CV_32FC1 : CV_16SC1, f.dst, f.dstStep);
    const int depth = f32 ? CV_32F : CV_16S;
    for (auto _ : s) {
        if (F == Sobel) cv::Sobel(src, dst, depth, 1, 0, k, 1, 0, cv::BORDER_REPLICATE);
        else if (F == Laplace) cv::Laplacian(src, dst, depth, k, 1, 0, cv::BORDER_REPLICATE);
        else
            cv::boxFilter(src, dst, depth, cv::Size(k, k), cv::Point(-1, -1), false,
                          cv::BORDER_REPLICATE);
        benchmark::ClobberMemory();
    }
    finish(s, f);
}
BENCHMARK(Cv<Sobel, Zyl8u>) ARGS;
BENCHMARK(Cv<Sobel, Zyl32f>) ARGS;
BENCHMARK(Cv<Laplace, Zyl8u>) ARGS;
BENCHMARK(Cv<Laplace, Zyl32f>) ARGS;
BENCHMARK(Cv<Blur, Zyl8u>) ARGS;
BENCHMARK(Cv<Blur, Zyl32f>) ARGS;
#endif

}  // namespace

BENCHMARK_MAIN();
