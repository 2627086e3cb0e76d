// Mean and standard deviation against OpenCV's cv::meanStdDev and cv::mean on the same data,
// single-threaded. The masks select about half of the pixels at random (the hard case for code
// that branches on the mask).
//
// The channel-of-interest forms (C3CR, C3CMR) read one channel of a 3-channel image; OpenCV has
// no channel-of-interest statistics, so their peer is the same OpenCV call on the whole
// 3-channel image, which returns all three channels at once.
#include <benchmark/benchmark.h>

#include <random>
#include <type_traits>

#include "twins.h"
#include "zylcv.h"
#if ZYLCV_BENCH_OPENCV
#include <opencv2/core.hpp>
#endif

namespace {

// A one-channel and a three-channel image of one type and a mask, in 32-byte aligned memory.
template <class T> struct Frames {
    int w, h, step1, step3;
    T *one, *three;
    Zyl8u *mask;
    Frames(int w_, int h_) : w(w_), h(h_), step1(int(w_ * sizeof(T))), step3(3 * step1)
    {
        one = static_cast<T *>(zyliAlloc(step1 * h));
        three = static_cast<T *>(zyliAlloc(step3 * h));
        mask = static_cast<Zyl8u *>(zyliAlloc(w * h));
        std::mt19937 gen(7);
        auto value = [&] {
            if constexpr (std::is_same_v<T, Zyl32f>) return T(int(gen() % 2001) - 1000) * 0.125f;
            else return static_cast<T>(gen() % 256);
        };
        for (int i = 0; i < w * h; ++i) one[i] = value();
        for (int i = 0; i < 3 * w * h; ++i) three[i] = value();
        for (int i = 0; i < w * h; ++i) mask[i] = gen() % 2 ? Zyl8u(1 + gen() % 255) : Zyl8u(0);
    }
    ~Frames()
    {
        _zycvFree_(reinterpret_cast<void **>(&one));
        _zycvFree_(reinterpret_cast<void **>(&three));
        _zycvFree_(reinterpret_cast<void **>(&mask));
    }
};

template <class T> void finish(benchmark::State &s, const Frames<T> &f, int channels)
{
    s.SetBytesProcessed(std::int64_t(s.iterations()) * f.w * f.h * channels * sizeof(T));
    s.counters["Mpix/s"] =
        benchmark::Counter(double(f.w) * f.h * s.iterations() / 1e6, benchmark::Counter::kIsRate);
}

// The six forms of one element type, in the copy the loader picked (V = 0) or, where the
// library has both, in its SSE2 (V = 1) and AVX2 (V = 2) copies.
template <class T, int V> struct Api;
#define BENCH_API(T, S, V, COPY)                                                                   \
    template <> struct Api<T, V> {                                                                 \
        static constexpr auto meanC1M = zyliMean_##S##_C1MR##COPY;                                 \
        static constexpr auto meanC3CM = zyliMean_##S##_C3CMR##COPY;                               \
        static constexpr auto devC1 = zyliMean_StdDev_##S##_C1R##COPY;                             \
        static constexpr auto devC3C = zyliMean_StdDev_##S##_C3CR##COPY;                           \
        static constexpr auto devC1M = zyliMean_StdDev_##S##_C1MR##COPY;                           \
        static constexpr auto devC3CM = zyliMean_StdDev_##S##_C3CMR##COPY;                         \
    };
#if ZYLCV_AVX2
#define BENCH_COPIES(T, S)                                                                         \
    ZB_COPIES(zyliMean_##S##_C1MR)                                                                 \
    ZB_COPIES(zyliMean_##S##_C3CMR)                                                                \
    ZB_COPIES(zyliMean_StdDev_##S##_C1R)                                                           \
    ZB_COPIES(zyliMean_StdDev_##S##_C3CR)                                                          \
    ZB_COPIES(zyliMean_StdDev_##S##_C1MR)                                                          \
    ZB_COPIES(zyliMean_StdDev_##S##_C3CMR)                                                         \
    BENCH_API(T, S, 0, ) BENCH_API(T, S, 1, _sse2) BENCH_API(T, S, 2, _avx2)
#else
#define BENCH_COPIES(T, S) BENCH_API(T, S, 0, )
#endif
BENCH_COPIES(Zyl8u, 8u)
BENCH_COPIES(Zyl8s, 8s)
BENCH_COPIES(Zyl32f, 32f)

template <class T, int V = 0> void Zyl_Mean_C1MR(benchmark::State &s)
{
    Frames<T> f(int(s.range(0)), int(s.range(1)));
    Zyl64f m;
    for (auto _ : s) {
        Api<T, V>::meanC1M(f.one, f.step1, f.mask, f.w, {f.w, f.h}, &m);
        benchmark::DoNotOptimize(m);
    }
    finish(s, f, 1);
}
template <class T, int V = 0> void Zyl_Mean_C3CMR(benchmark::State &s)
{
    Frames<T> f(int(s.range(0)), int(s.range(1)));
    Zyl64f m;
    for (auto _ : s) {
        Api<T, V>::meanC3CM(f.three, f.step3, f.mask, f.w, {f.w, f.h}, 2, &m);
        benchmark::DoNotOptimize(m);
    }
    finish(s, f, 3);
}
template <class T, int V = 0> void Zyl_MeanStdDev_C1R(benchmark::State &s)
{
    Frames<T> f(int(s.range(0)), int(s.range(1)));
    Zyl64f m, d;
    for (auto _ : s) {
        Api<T, V>::devC1(f.one, f.step1, {f.w, f.h}, &m, &d);
        benchmark::DoNotOptimize(m);
        benchmark::DoNotOptimize(d);
    }
    finish(s, f, 1);
}
template <class T, int V = 0> void Zyl_MeanStdDev_C3CR(benchmark::State &s)
{
    Frames<T> f(int(s.range(0)), int(s.range(1)));
    Zyl64f m, d;
    for (auto _ : s) {
        Api<T, V>::devC3C(f.three, f.step3, {f.w, f.h}, 2, &m, &d);
        benchmark::DoNotOptimize(m);
        benchmark::DoNotOptimize(d);
    }
    finish(s, f, 3);
}
template <class T, int V = 0> void Zyl_MeanStdDev_C1MR(benchmark::State &s)
{
    Frames<T> f(int(s.range(0)), int(s.range(1)));
    Zyl64f m, d;
    for (auto _ : s) {
        Api<T, V>::devC1M(f.one, f.step1, f.mask, f.w, {f.w, f.h}, &m, &d);
        benchmark::DoNotOptimize(m);
        benchmark::DoNotOptimize(d);
    }
    finish(s, f, 1);
}
template <class T, int V = 0> void Zyl_MeanStdDev_C3CMR(benchmark::State &s)
{
    Frames<T> f(int(s.range(0)), int(s.range(1)));
    Zyl64f m, d;
    for (auto _ : s) {
        Api<T, V>::devC3CM(f.three, f.step3, f.mask, f.w, {f.w, f.h}, 2, &m, &d);
        benchmark::DoNotOptimize(m);
        benchmark::DoNotOptimize(d);
    }
    finish(s, f, 3);
}

#define SIZES ->Args({640, 480})->Args({1920, 1080})
#define BENCH_TYPE(B, T) BENCHMARK(B<T>) SIZES;
#define BENCH_ALL_TYPES(B) BENCH_TYPE(B, Zyl8u) BENCH_TYPE(B, Zyl8s) BENCH_TYPE(B, Zyl32f)
// B<T> for the copy that runs, and B<T>/sse2 and B<T>/avx2 for the two copies.
#if ZYLCV_AVX2
#define BENCH_TWINS_TYPE(B, T)                                                                     \
    BENCH_TYPE(B, T)                                                                               \
    BENCHMARK_TEMPLATE(B, T, 1)->Name(#B "<" #T ">/sse2") SIZES;                                   \
    BENCHMARK_TEMPLATE(B, T, 2)->Name(#B "<" #T ">/avx2") SIZES;
#else
#define BENCH_TWINS_TYPE(B, T) BENCH_TYPE(B, T)
#endif
#define BENCH_TWINS(B)                                                                             \
    BENCH_TWINS_TYPE(B, Zyl8u) BENCH_TWINS_TYPE(B, Zyl8s) BENCH_TWINS_TYPE(B, Zyl32f)
BENCH_TWINS(Zyl_Mean_C1MR)
BENCH_TWINS(Zyl_Mean_C3CMR)
BENCH_TWINS(Zyl_MeanStdDev_C1R)
BENCH_TWINS(Zyl_MeanStdDev_C3CR)
BENCH_TWINS(Zyl_MeanStdDev_C1MR)
BENCH_TWINS(Zyl_MeanStdDev_C3CMR)

#if ZYLCV_BENCH_OPENCV
template <class T> int cv_depth()
{
    return std::is_same_v<T, Zyl8u> ? CV_8U : std::is_same_v<T, Zyl8s> ? CV_8S : CV_32F;
}
// OpenCV headers on the frames' memory: the one-channel image, the three-channel image, the mask.
template <class T> struct CvFrames : Frames<T> {
    cv::Mat one, three, mask;
    CvFrames(int w, int h)
        : Frames<T>(w, h),
          one(h, w, CV_MAKETYPE(cv_depth<T>(), 1), this->Frames<T>::one, this->step1),
          three(h, w, CV_MAKETYPE(cv_depth<T>(), 3), this->Frames<T>::three, this->step3),
          mask(h, w, CV_8UC1, this->Frames<T>::mask, w)
    {
        cv::setNumThreads(1);
    }
};

template <class T> void Cv_Mean_Mask_C1(benchmark::State &s)
{
    CvFrames<T> f(int(s.range(0)), int(s.range(1)));
    for (auto _ : s) benchmark::DoNotOptimize(cv::mean(f.one, f.mask));
    finish(s, f, 1);
}
template <class T> void Cv_Mean_Mask_C3(benchmark::State &s)
{
    CvFrames<T> f(int(s.range(0)), int(s.range(1)));
    for (auto _ : s) benchmark::DoNotOptimize(cv::mean(f.three, f.mask));
    finish(s, f, 3);
}
template <class T> void Cv_MeanStdDev_C1(benchmark::State &s)
{
    CvFrames<T> f(int(s.range(0)), int(s.range(1)));
    cv::Scalar m, d;
    for (auto _ : s) {
        cv::meanStdDev(f.one, m, d);
        benchmark::DoNotOptimize(m);
    }
    finish(s, f, 1);
}
template <class T> void Cv_MeanStdDev_C3(benchmark::State &s)
{
    CvFrames<T> f(int(s.range(0)), int(s.range(1)));
    cv::Scalar m, d;
    for (auto _ : s) {
        cv::meanStdDev(f.three, m, d);
        benchmark::DoNotOptimize(m);
    }
    finish(s, f, 3);
}
template <class T> void Cv_MeanStdDev_Mask_C1(benchmark::State &s)
{
    CvFrames<T> f(int(s.range(0)), int(s.range(1)));
    cv::Scalar m, d;
    for (auto _ : s) {
        cv::meanStdDev(f.one, m, d, f.mask);
        benchmark::DoNotOptimize(m);
    }
    finish(s, f, 1);
}
template <class T> void Cv_MeanStdDev_Mask_C3(benchmark::State &s)
{
    CvFrames<T> f(int(s.range(0)), int(s.range(1)));
    cv::Scalar m, d;
    for (auto _ : s) {
        cv::meanStdDev(f.three, m, d, f.mask);
        benchmark::DoNotOptimize(m);
    }
    finish(s, f, 3);
}
BENCH_ALL_TYPES(Cv_Mean_Mask_C1)
BENCH_ALL_TYPES(Cv_Mean_Mask_C3)
BENCH_ALL_TYPES(Cv_MeanStdDev_C1)
BENCH_ALL_TYPES(Cv_MeanStdDev_C3)
BENCH_ALL_TYPES(Cv_MeanStdDev_Mask_C1)
BENCH_ALL_TYPES(Cv_MeanStdDev_Mask_C3)
#endif

}  // namespace

BENCHMARK_MAIN();
