// Chamfer distance transforms against OpenCV's cv::distanceTransform (32f output, single-
// threaded) on the same image: random background with a sprinkling of zero pixels.
#include <benchmark/benchmark.h>

#include <random>

#include "twins.h"
#include "zylcv.h"
#if ZYLCV_BENCH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

ZB_COPIES(zyliDistanceTransform_3x3_8u32f_C1R)
ZB_COPIES(zyliDistanceTransform_5x5_8u32f_C1R)

// An 8u source (about one pixel in 200 is zero) and a 32f destination, 32-byte aligned.
struct Frames {
    int w, h, srcStep, dstStep;
    Zyl8u *src;
    Zyl32f *dst;
    Frames(int w_, int h_) : w(w_), h(h_), srcStep(w_), dstStep(4 * w_)
    {
        src = static_cast<Zyl8u *>(zyliAlloc(srcStep * h));
        dst = static_cast<Zyl32f *>(zyliAlloc(dstStep * h));
        std::mt19937 gen(11);
        for (int i = 0; i < w * h; ++i) src[i] = gen() % 200 == 0 ? 0 : Zyl8u(1 + gen() % 255);
    }
    ~Frames()
    {
        _zycvFree_(reinterpret_cast<void **>(&src));
        _zycvFree_(reinterpret_cast<void **>(&dst));
    }
};

void finish(benchmark::State &s, const Frames &f)
{
    s.counters["Mpix/s"] =
        benchmark::Counter(double(f.w) * f.h * s.iterations() / 1e6, benchmark::Counter::kIsRate);
}

// Kinds 30 (chessboard), 31 (city block), 32 (3x3 Euclidean) and 52 (5x5 Euclidean), by the
// transform Fn of the kind's mask.
template <int Kind, auto Fn> void Zyl_DistanceTransform(benchmark::State &s)
{
    Frames f(int(s.range(0)), int(s.range(1)));
    float m[3];
    zyliGetDistanceTransformMask(Kind, m);
    for (auto _ : s) {
        Fn(f.src, f.srcStep, f.dst, f.dstStep, {f.w, f.h}, m);
        benchmark::ClobberMemory();
    }
    finish(s, f);
}

#define SIZES ->Args({640, 480})->Args({1920, 1080})
// One kind for the copy that runs and, as ZB_TWINS registers them, the SSE2 and AVX2 copies; the
// kind in the name as before.
#define ZYL_DT(Kind, Fn, Suffix)                                                                   \
    BENCHMARK_TEMPLATE2(Zyl_DistanceTransform, Kind, Fn)                                           \
        ->Name("Zyl_DistanceTransform<" #Kind ">" Suffix) SIZES
#if ZYLCV_AVX2
#define ZYL_DT_TWINS(Kind, Fn)                                                                     \
    ZYL_DT(Kind, Fn, "");                                                                          \
    ZYL_DT(Kind, Fn##_sse2, "/sse2");                                                              \
    ZYL_DT(Kind, Fn##_avx2, "/avx2")
#else
#define ZYL_DT_TWINS(Kind, Fn) ZYL_DT(Kind, Fn, "")
#endif
ZYL_DT_TWINS(30, zyliDistanceTransform_3x3_8u32f_C1R);
ZYL_DT_TWINS(31, zyliDistanceTransform_3x3_8u32f_C1R);
ZYL_DT_TWINS(32, zyliDistanceTransform_3x3_8u32f_C1R);
ZYL_DT_TWINS(52, zyliDistanceTransform_5x5_8u32f_C1R);

#if ZYLCV_BENCH_OPENCV
// The same metrics: DIST_C and DIST_L1 with mask 3, DIST_L2 with masks 3 and 5.
template <int Kind> void Cv_DistanceTransform(benchmark::State &s)
{
    cv::setNumThreads(1);
    Frames f(int(s.range(0)), int(s.range(1)));
    cv::Mat src(f.h, f.w, CV_8UC1, f.src, f.srcStep), dst(f.h, f.w, CV_32FC1, f.dst, f.dstStep);
    const int type = Kind == 30 ? cv::DIST_C : Kind == 31 ? cv::DIST_L1 : cv::DIST_L2;
    const int mask = Kind == 52 ? 5 : 3;
    for (auto _ : s) {
        cv::distanceTransform(src, dst, type, mask, CV_32F);
        benchmark::ClobberMemory();
    }
    finish(s, f);
}
BENCHMARK(Cv_DistanceTransform<30>) SIZES;
BENCHMARK(Cv_DistanceTransform<31>) SIZES;
BENCHMARK(Cv_DistanceTransform<32>) SIZES;
BENCHMARK(Cv_DistanceTransform<52>) SIZES;
#endif

}  // namespace

BENCHMARK_MAIN();
