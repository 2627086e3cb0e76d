// Line sampler against OpenCV's cv::LineIterator (8-connected) copying the same pixels into an
// array: the long diagonal from corner to corner of the image.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "twins.h"
#include "zylcv.h"
#if ZYLCV_BENCH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

// A random 8u image of C channels and an array for the longest line.
template <int C> struct Frames {
    int w, h, step;
    Zyl8u *img;
    std::vector<Zyl8u> out;
    Frames(int w_, int h_) : w(w_), h(h_), step(w_ * C), out(std::size_t(w_ > h_ ? w_ : h_) * C)
    {
        img = static_cast<Zyl8u *>(zyliAlloc(step * h));
        std::mt19937 gen(5);
        for (int i = 0; i < step * h; ++i) img[i] = Zyl8u(gen());
    }
    ~Frames() { _zycvFree_(reinterpret_cast<void **>(&img)); }
    int samples() const { return w > h ? w : h; }
};

template <int C> void finish(benchmark::State &s, const Frames<C> &f)
{
    s.counters["Msamples/s"] =
        benchmark::Counter(double(f.samples()) * s.iterations() / 1e6, benchmark::Counter::kIsRate);
}

template <int C> void Zyl_SampleLine_8u(benchmark::State &s)
{
    Frames<C> f(int(s.range(0)), int(s.range(1)));
    const ZyliPoint a{0, 0}, b{f.w - 1, f.h - 1};
    for (auto _ : s) {
        if constexpr (C == 1) zyliSampleLine_8u_C1R(f.img, f.step, {f.w, f.h}, f.out.data(), a, b);
        else zyliSampleLine_8u_C3R(f.img, f.step, {f.w, f.h}, f.out.data(), a, b);
        benchmark::ClobberMemory();
    }
    finish(s, f);
}

#define SIZES ->Args({640, 480})->Args({1920, 1080})
BENCHMARK(Zyl_SampleLine_8u<1>) SIZES;
BENCHMARK(Zyl_SampleLine_8u<3>) SIZES;

#if ZYLCV_BENCH_OPENCV
template <int C> void Cv_LineIterator_8u(benchmark::State &s)
{
    cv::setNumThreads(1);
    Frames<C> f(int(s.range(0)), int(s.range(1)));
    cv::Mat img(f.h, f.w, C == 1 ? CV_8UC1 : CV_8UC3, f.img, f.step);
    const cv::Point a(0, 0), b(f.w - 1, f.h - 1);
    for (auto _ : s) {
        cv::LineIterator it(img, a, b, 8);
        Zyl8u *d = f.out.data();
        for (int i = 0; i < it.count; ++i, ++it) {
            const Zyl8u *p = *it;
            for (int c = 0; c < C; ++c) d[C * i + c] = p[c];
        }
        benchmark::ClobberMemory();
    }
    finish(s, f);
}
BENCHMARK(Cv_LineIterator_8u<1>) SIZES;
BENCHMARK(Cv_LineIterator_8u<3>) SIZES;
#endif

}  // namespace

BENCHMARK_MAIN();
