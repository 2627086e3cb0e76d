// Accumulators against OpenCV's cv::accumulate, accumulateSquare, accumulateProduct and
// accumulateWeighted (with and without mask) on the same data, single-threaded; 8s sources have
// no OpenCV peer. The motion-history update has no peer in OpenCV's core or imgproc and runs
// alone.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

#include "twins.h"
#include "zylcv.h"
#if ZYLCV_BENCH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

// Two sources of type T, a mask with about half its bytes set and a 32f accumulator, all
// contiguous in 32-byte aligned memory.
template <class T> struct Frames {
    int w, h, step, mstep, dstep;
    T *a, *b;
    Zyl8u *m;
    Zyl32f *d;
    explicit Frames(const benchmark::State &s)
        : w(int(s.range(0))), h(int(s.range(1))), step(int(w * sizeof(T))), mstep(w), dstep(4 * w)
    {
        a = static_cast<T *>(zyliAlloc(step * h));
        b = static_cast<T *>(zyliAlloc(step * h));
        m = static_cast<Zyl8u *>(zyliAlloc(mstep * h));
        d = static_cast<Zyl32f *>(zyliAlloc(dstep * h));
        std::mt19937 gen(7);
        // Sources avoid 0: a running average towards 0 would sink into denormals and time
        // the processor's slow path instead of the kernel.
        auto pixel = [&] {
            int v = int(gen() % 255) + 1;
            return static_cast<T>(std::is_same_v<T, Zyl8s> && v > 127 ? 127 - v : v);
        };
        for (int i = 0; i < w * h; ++i) {
            a[i] = pixel();
            b[i] = pixel();
            m[i] = static_cast<Zyl8u>(gen() % 2 ? 255 : 0);
            d[i] = float(gen() % 1000) * 0.25f;
        }
    }
    ~Frames()
    {
        _zycvFree_(reinterpret_cast<void **>(&a));
        _zycvFree_(reinterpret_cast<void **>(&b));
        _zycvFree_(reinterpret_cast<void **>(&m));
        _zycvFree_(reinterpret_cast<void **>(&d));
    }
    ZyliSize roi() const { return {w, h}; }
};

// Bytes: each source and mask read once, the accumulator read and written.
template <class T> void finish(benchmark::State &s, const Frames<T> &f, int sources, bool masked)
{
    std::int64_t px = std::int64_t(f.w) * f.h;
    std::int64_t bytes = px * (sources * std::int64_t(sizeof(T)) + (masked ? 1 : 0) + 8);
    s.SetBytesProcessed(std::int64_t(s.iterations()) * bytes);
    s.counters["Mpix/s"] =
        benchmark::Counter(double(px) * s.iterations() / 1e6, benchmark::Counter::kIsRate);
}

#define SIZES ->Args({640, 480})->Args({1920, 1080})
// Argument groups of Frames f: first source, second source, mask, accumulator with the ROI.
#define SRC1 f.a, f.step
#define SRC2 f.b, f.step
#define MASK f.m, f.mstep
#define ACC f.d, f.dstep, f.roi()
// One benchmark per exported member, for the copy that runs and for each twin's copy: T is the
// source type, CALL the call of Fn on Frames f.
#define ZYL_BENCH(NAME, T, SOURCES, MASKED, CALL)                                                  \
    ZB_COPIES(zyli##NAME)                                                                          \
    template <auto Fn> void Zyl_##NAME(benchmark::State &s)                                        \
    {                                                                                              \
        Frames<T> f(s);                                                                            \
        for (auto _ : s) CALL;                                                                     \
        finish(s, f, SOURCES, MASKED);                                                             \
    }                                                                                              \
    ZB_TWINS(Zyl_##NAME, zyli##NAME, SIZES);

ZYL_BENCH(Add_8u32f_C1IR, Zyl8u, 1, false, Fn(SRC1, ACC))
ZYL_BENCH(Add_8s32f_C1IR, Zyl8s, 1, false, Fn(SRC1, ACC))
ZYL_BENCH(Add_8u32f_C1IMR, Zyl8u, 1, true, Fn(SRC1, MASK, ACC))
ZYL_BENCH(Add_8s32f_C1IMR, Zyl8s, 1, true, Fn(SRC1, MASK, ACC))
ZYL_BENCH(Add_32f_C1IMR, Zyl32f, 1, true, Fn(SRC1, MASK, ACC))
ZYL_BENCH(AddSquare_8u32f_C1IR, Zyl8u, 1, false, Fn(SRC1, ACC))
ZYL_BENCH(AddSquare_8s32f_C1IR, Zyl8s, 1, false, Fn(SRC1, ACC))
ZYL_BENCH(AddSquare_32f_C1IR, Zyl32f, 1, false, Fn(SRC1, ACC))
ZYL_BENCH(AddSquare_8u32f_C1IMR, Zyl8u, 1, true, Fn(SRC1, MASK, ACC))
ZYL_BENCH(AddSquare_8s32f_C1IMR, Zyl8s, 1, true, Fn(SRC1, MASK, ACC))
ZYL_BENCH(AddSquare_32f_C1IMR, Zyl32f, 1, true, Fn(SRC1, MASK, ACC))
ZYL_BENCH(AddProduct_8u32f_C1IR, Zyl8u, 2, false, Fn(SRC1, SRC2, ACC))
ZYL_BENCH(AddProduct_8s32f_C1IR, Zyl8s, 2, false, Fn(SRC1, SRC2, ACC))
ZYL_BENCH(AddProduct_32f_C1IR, Zyl32f, 2, false, Fn(SRC1, SRC2, ACC))
ZYL_BENCH(AddProduct_8u32f_C1IMR, Zyl8u, 2, true, Fn(SRC1, SRC2, MASK, ACC))
ZYL_BENCH(AddProduct_8s32f_C1IMR, Zyl8s, 2, true, Fn(SRC1, SRC2, MASK, ACC))
ZYL_BENCH(AddProduct_32f_C1IMR, Zyl32f, 2, true, Fn(SRC1, SRC2, MASK, ACC))
ZYL_BENCH(AddWeighted_8u32f_C1IR, Zyl8u, 1, false, Fn(SRC1, ACC, 0.05f))
ZYL_BENCH(AddWeighted_8s32f_C1IR, Zyl8s, 1, false, Fn(SRC1, ACC, 0.05f))
ZYL_BENCH(AddWeighted_32f_C1IR, Zyl32f, 1, false, Fn(SRC1, ACC, 0.05f))
ZYL_BENCH(AddWeighted_8u32f_C1IMR, Zyl8u, 1, true, Fn(SRC1, MASK, ACC, 0.05f))
ZYL_BENCH(AddWeighted_8s32f_C1IMR, Zyl8s, 1, true, Fn(SRC1, MASK, ACC, 0.05f))
ZYL_BENCH(AddWeighted_32f_C1IMR, Zyl32f, 1, true, Fn(SRC1, MASK, ACC, 0.05f))

// The silhouette is the mask image (about half set); the history starts as scaled timestamps,
// and each iteration advances the time so that older entries keep being cleared.
ZB_COPIES(zyliUpdateMotionHistory_8u32f_C1IR)
template <auto Fn> void Zyl_UpdateMotionHistory_8u32f_C1IR(benchmark::State &s)
{
    Frames<Zyl8u> f(s);
    float t = 250.0f;
    for (auto _ : s) {
        Fn(f.m, f.mstep, f.d, f.dstep, f.roi(), t, 100.0f);
        t += 1.0f;
    }
    finish(s, f, 0, true);
}
ZB_TWINS(Zyl_UpdateMotionHistory_8u32f_C1IR, zyliUpdateMotionHistory_8u32f_C1IR, SIZES);

// The memory-bandwidth ceiling: a copy of the accumulator's bytes.
void Memcpy_Accumulator(benchmark::State &s)
{
    Frames<Zyl8u> f(s);
    Zyl32f *copy = static_cast<Zyl32f *>(zyliAlloc(f.dstep * f.h));
    for (auto _ : s) {
        std::memcpy(copy, f.d, std::size_t(f.dstep) * f.h);
        benchmark::ClobberMemory();
    }
    s.SetBytesProcessed(std::int64_t(s.iterations()) * 2 * f.dstep * f.h);
    _zycvFree_(reinterpret_cast<void **>(&copy));
}
BENCHMARK(Memcpy_Accumulator) SIZES;

#if ZYLCV_BENCH_OPENCV
template <class T> int cv_type() { return std::is_same_v<T, Zyl8u> ? CV_8UC1 : CV_32FC1; }

// OpenCV's views of the same frames.
template <class T> struct CvFrames {
    Frames<T> f;
    cv::Mat a, b, m, d;
    explicit CvFrames(const benchmark::State &s)
        : f(s), a(f.h, f.w, cv_type<T>(), f.a, f.step), b(f.h, f.w, cv_type<T>(), f.b, f.step),
          m(f.h, f.w, CV_8UC1, f.m, f.mstep), d(f.h, f.w, CV_32FC1, f.d, f.dstep)
    {
        cv::setNumThreads(1);
    }
    cv::Mat mask(bool masked) const { return masked ? m : cv::Mat(); }
};

template <class T, bool M> void Cv_Add(benchmark::State &s)
{
    CvFrames<T> c(s);
    for (auto _ : s) cv::accumulate(c.a, c.d, c.mask(M));
    finish(s, c.f, 1, M);
}
template <class T, bool M> void Cv_AddSquare(benchmark::State &s)
{
    CvFrames<T> c(s);
    for (auto _ : s) cv::accumulateSquare(c.a, c.d, c.mask(M));
    finish(s, c.f, 1, M);
}
template <class T, bool M> void Cv_AddProduct(benchmark::State &s)
{
    CvFrames<T> c(s);
    for (auto _ : s) cv::accumulateProduct(c.a, c.b, c.d, c.mask(M));
    finish(s, c.f, 2, M);
}
template <class T, bool M> void Cv_AddWeighted(benchmark::State &s)
{
    CvFrames<T> c(s);
    for (auto _ : s) cv::accumulateWeighted(c.a, c.d, 0.05, c.mask(M));
    finish(s, c.f, 1, M);
}
BENCHMARK(Cv_Add<Zyl8u, false>) SIZES;
BENCHMARK(Cv_Add<Zyl8u, true>) SIZES;
BENCHMARK(Cv_Add<Zyl32f, true>) SIZES;
BENCHMARK(Cv_AddSquare<Zyl8u, false>) SIZES;
BENCHMARK(Cv_AddSquare<Zyl32f, false>) SIZES;
BENCHMARK(Cv_AddSquare<Zyl8u, true>) SIZES;
BENCHMARK(Cv_AddSquare<Zyl32f, true>) SIZES;
BENCHMARK(Cv_AddProduct<Zyl8u, false>) SIZES;
BENCHMARK(Cv_AddProduct<Zyl32f, false>) SIZES;
BENCHMARK(Cv_AddProduct<Zyl8u, true>) SIZES;
BENCHMARK(Cv_AddProduct<Zyl32f, true>) SIZES;
BENCHMARK(Cv_AddWeighted<Zyl8u, false>) SIZES;
BENCHMARK(Cv_AddWeighted<Zyl32f, false>) SIZES;
BENCHMARK(Cv_AddWeighted<Zyl8u, true>) SIZES;
BENCHMARK(Cv_AddWeighted<Zyl32f, true>) SIZES;
#endif

}  // namespace

BENCHMARK_MAIN();
