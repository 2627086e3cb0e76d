// Fixed 3x3 derivatives against OpenCV's cv::Sobel and cv::Scharr (aperture 3, replicated
// borders, 16s or 32f results) on the same data, single-threaded.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <type_traits>

#include "twins.h"
#include "zylcv.h"
#if ZYLCV_BENCH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

// A random source and a destination in 32-byte aligned memory with tight rows.
template <class S, class D> struct Frames {
    int w, h, sStep, dStep;
    S *src;
    D *dst;
    Frames(int w_, int h_) : w(w_), h(h_), sStep(int(w_ * sizeof(S))), dStep(int(w_ * sizeof(D)))
    {
        src = static_cast<S *>(zyliAlloc(sStep * h));
        dst = static_cast<D *>(zyliAlloc(dStep * h));
        std::mt19937 gen(7);
        for (int i = 0; i < w * h; ++i)
            src[i] = static_cast<S>(int(gen() % 256) - (std::is_same_v<S, Zyl8s> ? 128 : 0));
    }
    ~Frames()
    {
        _zycvFree_(reinterpret_cast<void **>(&src));
        _zycvFree_(reinterpret_cast<void **>(&dst));
    }
    ZyliSize size() const { return {w, h}; }
};

template <class S, class D> void finish(benchmark::State &s, const Frames<S, D> &f)
{
    s.SetBytesProcessed(std::int64_t(s.iterations()) * f.h * (f.sStep + f.dStep));
    s.counters["Mpix/s"] =
        benchmark::Counter(double(f.w) * f.h * s.iterations() / 1e6, benchmark::Counter::kIsRate);
}

template <class S, class D> struct Types {
};
template <class S, class D, class... A>
Types<S, D> types_of(ZylStatus (*)(const S *, Zyl32s, D *, Zyl32s, A...));

// One call of member Fn with bottomUp 0 and shift 0, whichever of the four signatures it has.
template <auto Fn, class S, class D> void call(const Frames<S, D> &f)
{
    using F = decltype(Fn);
    if constexpr (std::is_invocable_v<F, const S *, int, D *, int, ZyliSize>)
        Fn(f.src, f.sStep, f.dst, f.dStep, f.size());
    else if constexpr (std::is_invocable_v<F, const S *, int, D *, int, int, ZyliSize>)
        Fn(f.src, f.sStep, f.dst, f.dStep, 0, f.size());
    else if constexpr (std::is_invocable_v<F, const S *, int, D *, int, ZyliSize, int>)
        Fn(f.src, f.sStep, f.dst, f.dStep, f.size(), 0);
    else Fn(f.src, f.sStep, f.dst, f.dStep, 0, f.size(), 0);
}

template <auto Fn, class S, class D> void run(benchmark::State &s, Types<S, D>)
{
    Frames<S, D> f(int(s.range(0)), int(s.range(1)));
    for (auto _ : s) {
        call<Fn>(f);
        benchmark::ClobberMemory();
    }
    finish(s, f);
}

#define SIZES ->Args({640, 480})->Args({1920, 1080})
// Zyl_<name> for the running copy of the member and for each twin's.
#define ZYL(name, FN)                                                                              \
    ZB_COPIES(FN)                                                                                  \
    template <auto Fn> void Zyl_##name(benchmark::State &s)                                        \
    {                                                                                              \
        run<Fn>(s, decltype(types_of(Fn)){});                                                      \
    }                                                                                              \
    ZB_TWINS(Zyl_##name, FN, SIZES)
#define ZYL_INT(T)                                                                                 \
    ZYL(Sobel_Dx_##T, zyliSobel3x3_Dx_##T##_C1R);                                                  \
    ZYL(Sobel_Dy_##T, zyliSobel3x3_Dy_##T##_C1R);                                                  \
    ZYL(Sobel_D2x_##T, zyliSobel3x3_D2x_##T##_C1R);                                                \
    ZYL(Sobel_D2y_##T, zyliSobel3x3_D2y_##T##_C1R);                                                \
    ZYL(Sobel_DxDy_##T, zyliSobel3x3_DxDy_##T##_C1R);                                              \
    ZYL(Scharr_Dx_##T, zyliScharr_Dx_##T##_C1R);                                                   \
    ZYL(Scharr_Dy_##T, zyliScharr_Dy_##T##_C1R)

ZYL_INT(8u16s);
ZYL_INT(8s16s);
ZYL(Sobel_Dx_32f, zyliSobel3x3_Dx_32f_C1R);
ZYL(Sobel_Dy_32f, zyliSobel3x3_Dy_32f_C1R);
ZYL(Scharr_Dx_32f, zyliScharr_Dx_32f_C1R);
ZYL(Scharr_Dy_32f, zyliScharr_Dy_32f_C1R);

// The memory-bandwidth ceiling: a copy of the destination's bytes.
template <class D> void Memcpy(benchmark::State &s)
{
    Frames<D, D> f(int(s.range(0)), int(s.range(1)));
    for (auto _ : s) {
        std::memcpy(f.dst, f.src, std::size_t(f.dStep) * f.h);
        benchmark::ClobberMemory();
    }
    finish(s, f);
}
BENCHMARK(Memcpy<Zyl16s>) SIZES;
BENCHMARK(Memcpy<Zyl32f>) SIZES;

#if ZYLCV_BENCH_OPENCV
// cv::Sobel(src, dst, depth, dx, dy, 3, 1, 0, BORDER_REPLICATE), or cv::Scharr when dx + dy is
// negative (-1: d/dx, -2: d/dy).
template <class S, class D> void Cv(benchmark::State &s, Types<S, D>, int dx, int dy)
{
    cv::setNumThreads(1);
    Frames<S, D> f(int(s.range(0)), int(s.range(1)));
    const int st = std::is_same_v<S, Zyl8u> ? CV_8UC1 : CV_32FC1,
              dt = std::is_same_v<D, Zyl16s> ? CV_16S : CV_32F;
    cv::Mat a(f.h, f.w, st, f.src, f.sStep), d(f.h, f.w, dt, f.dst, f.dStep);
    for (auto _ : s) {
        if (dx >= 0) cv::Sobel(a, d, dt, dx, dy, 3, 1, 0, cv::BORDER_REPLICATE);
        else cv::Scharr(a, d, dt, dx == -1, dx == -2, 1, 0, cv::BORDER_REPLICATE);
        benchmark::ClobberMemory();
    }
    finish(s, f);
}
BENCHMARK_CAPTURE(Cv, Sobel_Dx_8u16s, Types<Zyl8u, Zyl16s>{}, 1, 0) SIZES;
BENCHMARK_CAPTURE(Cv, Sobel_Dy_8u16s, Types<Zyl8u, Zyl16s>{}, 0, 1) SIZES;
BENCHMARK_CAPTURE(Cv, Sobel_D2x_8u16s, Types<Zyl8u, Zyl16s>{}, 2, 0) SIZES;
BENCHMARK_CAPTURE(Cv, Sobel_D2y_8u16s, Types<Zyl8u, Zyl16s>{}, 0, 2) SIZES;
BENCHMARK_CAPTURE(Cv, Sobel_DxDy_8u16s, Types<Zyl8u, Zyl16s>{}, 1, 1) SIZES;
BENCHMARK_CAPTURE(Cv, Scharr_Dx_8u16s, Types<Zyl8u, Zyl16s>{}, -1, 0) SIZES;
BENCHMARK_CAPTURE(Cv, Scharr_Dy_8u16s, Types<Zyl8u, Zyl16s>{}, -2, 0) SIZES;
BENCHMARK_CAPTURE(Cv, Sobel_Dx_32f, Types<Zyl32f, Zyl32f>{}, 1, 0) SIZES;
BENCHMARK_CAPTURE(Cv, Sobel_Dy_32f, Types<Zyl32f, Zyl32f>{}, 0, 1) SIZES;
BENCHMARK_CAPTURE(Cv, Scharr_Dx_32f, Types<Zyl32f, Zyl32f>{}, -1, 0) SIZES;
BENCHMARK_CAPTURE(Cv, Scharr_Dy_32f, Types<Zyl32f, Zyl32f>{}, -2, 0) SIZES;
#endif

}  // namespace

BENCHMARK_MAIN();
