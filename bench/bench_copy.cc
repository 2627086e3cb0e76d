// Channel copies against OpenCV on the same data, single-threaded: cv::split for the splits,
// cv::merge for the merges and cv::extractChannel (channel 1) for the extractions. A memcpy of
// C planes' bytes (one interleaved image) is the memory-bandwidth ceiling of a split or merge of
// C channels; an extraction reads as many bytes and writes one plane.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <type_traits>
#include <utility>

#include "twins.h"
#include "zylcv.h"
#if ZYLCV_BENCH_OPENCV
#include <opencv2/core.hpp>
#endif

namespace {

ZB_COPIES(k4_zycvCopy_8u_C3CC1R)
ZB_COPIES(k4_zycvCopy_8u_C4CC1R)
ZB_COPIES(k4_zycvCopy_32f_C3CC1R)
ZB_COPIES(k4_zycvCopy_32f_C4CC1R)
ZB_COPIES(k4_zycvCopy_8u_C3P3R)
ZB_COPIES(k4_zycvCopy_8u_C4P4R)
ZB_COPIES(k4_zycvCopy_32f_C3P3R)
ZB_COPIES(k4_zycvCopy_32f_C4P4R)
ZB_COPIES(k4_zycvCopy_8u_P3C3R)
ZB_COPIES(k4_zycvCopy_8u_P4C4R)
ZB_COPIES(k4_zycvCopy_32f_P3C3R)
ZB_COPIES(k4_zycvCopy_32f_P4C4R)

// The element type of a member: its first parameter points to it.
template <class F> struct Signature;
template <class P0, class... P> struct Signature<ZylStatus (*)(P0, P...)> {
    using T = std::remove_cv_t<std::remove_pointer_t<P0>>;
};
template <auto Fn> using Elem = typename Signature<decltype(Fn)>::T;

// An interleaved C-channel image, C planes of one step and one more plane, in 32-byte aligned
// memory; the interleaved image and the C planes hold random values.
template <class T, int C> struct Frames {
    int w, h, step, planeStep;
    T *image, *planes[C], *plane;
    Frames(int w_, int h_) : w(w_), h(h_), step(int(w_ * C * sizeof(T))), planeStep(step / C)
    {
        image = static_cast<T *>(zyliAlloc(step * h));
        for (T *&p : planes) p = static_cast<T *>(zyliAlloc(planeStep * h));
        plane = static_cast<T *>(zyliAlloc(planeStep * h));
        std::mt19937 gen(7);
        for (long i = 0; i < long(w) * h * C; ++i) image[i] = static_cast<T>(gen() % 256);
        for (T *p : planes)
            for (long i = 0; i < long(w) * h; ++i) p[i] = static_cast<T>(gen() % 256);
    }
    ~Frames()
    {
        _zycvFree_(reinterpret_cast<void **>(&image));
        for (T *&p : planes) _zycvFree_(reinterpret_cast<void **>(&p));
        _zycvFree_(reinterpret_cast<void **>(&plane));
    }
    // Bytes read plus bytes written by one call: a split or merge moves the image's bytes from
    // the planes or to them; an extraction reads the image and writes one plane.
    std::int64_t bytes(int planesWritten) const
    {
        return std::int64_t(step) * h + std::int64_t(planeStep) * h * planesWritten;
    }
};

template <class T, int C> void finish(benchmark::State &s, const Frames<T, C> &f, int planes)
{
    s.SetBytesProcessed(std::int64_t(s.iterations()) * f.bytes(planes));
    s.counters["Mpix/s"] =
        benchmark::Counter(double(f.w) * f.h * s.iterations() / 1e6, benchmark::Counter::kIsRate);
}

// Member Fn of C channels; an extraction takes channel 1.
template <auto Fn, int C> void Extract(benchmark::State &s)
{
    Frames<Elem<Fn>, C> f(int(s.range(0)), int(s.range(1)));
    for (auto _ : s) Fn(f.image, f.step, f.plane, f.planeStep, f.w, f.h, 1);
    finish(s, f, 1);
}
template <auto Fn, int C> void Split(benchmark::State &s)
{
    Frames<Elem<Fn>, C> f(int(s.range(0)), int(s.range(1)));
    [&]<std::size_t... k>(std::index_sequence<k...>)
    {
        for (auto _ : s) Fn(f.image, f.step, f.planes[k]..., f.planeStep, f.w, f.h);
    }
    (std::make_index_sequence<C>{});
    finish(s, f, C);
}
template <auto Fn, int C> void Merge(benchmark::State &s)
{
    Frames<Elem<Fn>, C> f(int(s.range(0)), int(s.range(1)));
    [&]<std::size_t... k>(std::index_sequence<k...>)
    {
        for (auto _ : s) Fn(f.planes[k]..., f.planeStep, f.image, f.step, f.w, f.h);
    }
    (std::make_index_sequence<C>{});
    finish(s, f, C);
}

// One benchmark name per member.
template <auto Fn> constexpr auto Zyl_Extract_8u_C3 = Extract<Fn, 3>;
template <auto Fn> constexpr auto Zyl_Extract_8u_C4 = Extract<Fn, 4>;
template <auto Fn> constexpr auto Zyl_Extract_32f_C3 = Extract<Fn, 3>;
template <auto Fn> constexpr auto Zyl_Extract_32f_C4 = Extract<Fn, 4>;
template <auto Fn> constexpr auto Zyl_Split_8u_C3 = Split<Fn, 3>;
template <auto Fn> constexpr auto Zyl_Split_8u_C4 = Split<Fn, 4>;
template <auto Fn> constexpr auto Zyl_Split_32f_C3 = Split<Fn, 3>;
template <auto Fn> constexpr auto Zyl_Split_32f_C4 = Split<Fn, 4>;
template <auto Fn> constexpr auto Zyl_Merge_8u_C3 = Merge<Fn, 3>;
template <auto Fn> constexpr auto Zyl_Merge_8u_C4 = Merge<Fn, 4>;
template <auto Fn> constexpr auto Zyl_Merge_32f_C3 = Merge<Fn, 3>;
template <auto Fn> constexpr auto Zyl_Merge_32f_C4 = Merge<Fn, 4>;

// A memcpy of C planes' bytes (one interleaved image): the ceiling of a split or merge of C
// channels. C = 1 copies one plane, the bytes an extraction writes.
template <class T, int C> void Memcpy(benchmark::State &s)
{
    Frames<T, 1> f(int(s.range(0)) * C, int(s.range(1)));
    for (auto _ : s) {
        std::memcpy(f.plane, f.image, std::size_t(f.step) * f.h);
        benchmark::ClobberMemory();
    }
    s.SetBytesProcessed(std::int64_t(s.iterations()) * 2 * f.step * f.h);
}

#define SIZES ->Args({640, 480})->Args({1920, 1080})
ZB_TWINS(Zyl_Extract_8u_C3, k4_zycvCopy_8u_C3CC1R, SIZES);
ZB_TWINS(Zyl_Extract_8u_C4, k4_zycvCopy_8u_C4CC1R, SIZES);
ZB_TWINS(Zyl_Extract_32f_C3, k4_zycvCopy_32f_C3CC1R, SIZES);
ZB_TWINS(Zyl_Extract_32f_C4, k4_zycvCopy_32f_C4CC1R, SIZES);
ZB_TWINS(Zyl_Split_8u_C3, k4_zycvCopy_8u_C3P3R, SIZES);
ZB_TWINS(Zyl_Split_8u_C4, k4_zycvCopy_8u_C4P4R, SIZES);
ZB_TWINS(Zyl_Split_32f_C3, k4_zycvCopy_32f_C3P3R, SIZES);
ZB_TWINS(Zyl_Split_32f_C4, k4_zycvCopy_32f_C4P4R, SIZES);
ZB_TWINS(Zyl_Merge_8u_C3, k4_zycvCopy_8u_P3C3R, SIZES);
ZB_TWINS(Zyl_Merge_8u_C4, k4_zycvCopy_8u_P4C4R, SIZES);
ZB_TWINS(Zyl_Merge_32f_C3, k4_zycvCopy_32f_P3C3R, SIZES);
ZB_TWINS(Zyl_Merge_32f_C4, k4_zycvCopy_32f_P4C4R, SIZES);
BENCHMARK(Memcpy<Zyl8u, 1>) SIZES;
BENCHMARK(Memcpy<Zyl8u, 3>) SIZES;
BENCHMARK(Memcpy<Zyl8u, 4>) SIZES;
BENCHMARK(Memcpy<Zyl32f, 1>) SIZES;
BENCHMARK(Memcpy<Zyl32f, 3>) SIZES;
BENCHMARK(Memcpy<Zyl32f, 4>) SIZES;

#if ZYLCV_BENCH_OPENCV
template <class T, int C> int cv_type()
{
    return CV_MAKETYPE((std::is_same_v<T, Zyl8u> ? CV_8U : CV_32F), C);
}

// OpenCV's Mats over the same frames.
template <class T, int C> struct Mats {
    cv::Mat image, planes[C], plane;
    explicit Mats(const Frames<T, C> &f)
        : image(f.h, f.w, cv_type<T, C>(), f.image, f.step),
          plane(f.h, f.w, cv_type<T, 1>(), f.plane, f.planeStep)
    {
        for (int k = 0; k < C; ++k)
            planes[k] = cv::Mat(f.h, f.w, cv_type<T, 1>(), f.planes[k], f.planeStep);
    }
};

template <class T, int C> void Cv_Extract(benchmark::State &s)
{
    cv::setNumThreads(1);
    Frames<T, C> f(int(s.range(0)), int(s.range(1)));
    Mats<T, C> m(f);
    for (auto _ : s) cv::extractChannel(m.image, m.plane, 1);
    finish(s, f, 1);
}
template <class T, int C> void Cv_Split(benchmark::State &s)
{
    cv::setNumThreads(1);
    Frames<T, C> f(int(s.range(0)), int(s.range(1)));
    Mats<T, C> m(f);
    for (auto _ : s) cv::split(m.image, m.planes);
    finish(s, f, C);
}
template <class T, int C> void Cv_Merge(benchmark::State &s)
{
    cv::setNumThreads(1);
    Frames<T, C> f(int(s.range(0)), int(s.range(1)));
    Mats<T, C> m(f);
    for (auto _ : s) cv::merge(m.planes, C, m.image);
    finish(s, f, C);
}
BENCHMARK(Cv_Extract<Zyl8u, 3>) SIZES;
BENCHMARK(Cv_Extract<Zyl8u, 4>) SIZES;
BENCHMARK(Cv_Extract<Zyl32f, 3>) SIZES;
BENCHMARK(Cv_Extract<Zyl32f, 4>) SIZES;
BENCHMARK(Cv_Split<Zyl8u, 3>) SIZES;
BENCHMARK(Cv_Split<Zyl8u, 4>) SIZES;
BENCHMARK(Cv_Split<Zyl32f, 3>) SIZES;
BENCHMARK(Cv_Split<Zyl32f, 4>) SIZES;
BENCHMARK(Cv_Merge<Zyl8u, 3>) SIZES;
BENCHMARK(Cv_Merge<Zyl8u, 4>) SIZES;
BENCHMARK(Cv_Merge<Zyl32f, 3>) SIZES;
BENCHMARK(Cv_Merge<Zyl32f, 4>) SIZES;
#endif

}  // namespace

BENCHMARK_MAIN();
