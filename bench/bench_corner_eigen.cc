// Corner eigen-analysis against OpenCV's cornerEigenValsAndVecs and cornerMinEigenVal on the
// same 8u image, single-threaded, for a representative set of apertures and block sizes. The
// zylcv calls include their work buffer's reuse and the five filter states made per call;
// OpenCV's scaling differs and its border is set to replication, as ours. The SSE2 and AVX2
// copies differ in the eigen kernels only: both call the strip filters' running copies.
#include <benchmark/benchmark.h>

#include <random>

#include "twins.h"
#include "zylcv.h"
#if ZYLCV_BENCH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

// A smooth random 8u image (blobs plus noise, so that every branch of the solution is taken),
// its destination of six floats per pixel and a work buffer of the queried size.
struct Frame {
    int w, h, srcStep, dstStep;
    Zyl8u *src, *buf;
    Zyl32f *dst;
    Frame(int w_, int h_) : w(w_), h(h_), srcStep(w_), dstStep(24 * w_)
    {
        src = static_cast<Zyl8u *>(zyliAlloc(srcStep * h));
        dst = static_cast<Zyl32f *>(zyliAlloc(dstStep * h));
        Zyl32s size = 0;
        zyliEigenValsVecsGetSize(w, 7, 7, &size);
        buf = static_cast<Zyl8u *>(zyliAlloc(size));
        // Touch the destination once, so that no run pays for its first page faults.
        for (int i = 0; i < 6 * w * h; ++i) dst[i] = 0.0f;
        std::mt19937 gen(7);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                src[y * w + x] = static_cast<Zyl8u>(((x / 16 + y / 16) % 2) * 160 + gen() % 64);
    }
    ~Frame()
    {
        _zycvFree_(reinterpret_cast<void **>(&src));
        _zycvFree_(reinterpret_cast<void **>(&dst));
        _zycvFree_(reinterpret_cast<void **>(&buf));
    }
};

void finish(benchmark::State &s, const Frame &f)
{
    s.counters["Mpix/s"] =
        benchmark::Counter(double(f.w) * f.h * s.iterations() / 1e6, benchmark::Counter::kIsRate);
}

ZB_COPIES(zyliEigenValsVecs_8u32f_C1R)
ZB_COPIES(zyliMinEigenVal_8u32f_C1R)

// Arguments: width, height, aperture, block size; Fn is the running copy or a twin's.
template <auto Fn> void Zyl_EigenValsVecs_8u(benchmark::State &s)
{
    Frame f(int(s.range(0)), int(s.range(1)));
    const int ap = int(s.range(2)), bs = int(s.range(3));
    for (auto _ : s) Fn(f.src, f.srcStep, f.dst, f.dstStep, {f.w, f.h}, ap, bs, f.buf);
    finish(s, f);
}
template <auto Fn> void Zyl_MinEigenVal_8u(benchmark::State &s)
{
    Frame f(int(s.range(0)), int(s.range(1)));
    const int ap = int(s.range(2)), bs = int(s.range(3));
    for (auto _ : s) Fn(f.src, f.srcStep, f.dst, 4 * f.w, {f.w, f.h}, ap, bs, f.buf);
    finish(s, f);
}

// Aperture 3 with blocks 3 and 5, 5 with 5, 7 with 7, at both frame sizes.
void Args(benchmark::internal::Benchmark *b)
{
    for (auto size : {std::pair{640, 480}, std::pair{1920, 1080}})
        for (auto ab : {std::pair{3, 3}, std::pair{3, 5}, std::pair{5, 5}, std::pair{7, 7}})
            b->Args({size.first, size.second, ab.first, ab.second});
    b->Unit(benchmark::kMillisecond)->MinTime(0.1);
}
ZB_TWINS(Zyl_EigenValsVecs_8u, zyliEigenValsVecs_8u32f_C1R, ->Apply(Args));
ZB_TWINS(Zyl_MinEigenVal_8u, zyliMinEigenVal_8u32f_C1R, ->Apply(Args));

#if ZYLCV_BENCH_OPENCV
void Cv_EigenValsVecs_8u(benchmark::State &s)
{
    cv::setNumThreads(1);
    Frame f(int(s.range(0)), int(s.range(1)));
    cv::Mat src(f.h, f.w, CV_8UC1, f.src, f.srcStep), dst(f.h, f.w, CV_32FC(6), f.dst, f.dstStep);
    for (auto _ : s)
        cv::cornerEigenValsAndVecs(src, dst, int(s.range(3)), int(s.range(2)),
                                   cv::BORDER_REPLICATE);
    finish(s, f);
}
void Cv_MinEigenVal_8u(benchmark::State &s)
{
    cv::setNumThreads(1);
    Frame f(int(s.range(0)), int(s.range(1)));
    cv::Mat src(f.h, f.w, CV_8UC1, f.src, f.srcStep), dst(f.h, f.w, CV_32FC1, f.dst, 4 * f.w);
    for (auto _ : s)
        cv::cornerMinEigenVal(src, dst, int(s.range(3)), int(s.range(2)), cv::BORDER_REPLICATE);
    finish(s, f);
}
BENCHMARK(Cv_EigenValsVecs_8u)->Apply(Args);
BENCHMARK(Cv_MinEigenVal_8u)->Apply(Args);
#endif

}  // namespace

BENCHMARK_MAIN();
