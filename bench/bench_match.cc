// Template matching against OpenCV's cv::matchTemplate (single-threaded) for the six methods on
// an 8u 640x480 image and a 32f 320x240 image with 7x7, 16x16 and 31x31 templates; and the
// block kernels on whole frames against cv::sum, cv::norm (squared L2) and Mat::dot.
#include <benchmark/benchmark.h>

#include <random>

#include "twins.h"
#include "zylcv.h"
#if ZYLCV_BENCH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

// An image and a template cut from it, the score map and a work buffer for every method.
template <class T> struct Scene {
    int W, H, w, h, srcStep, tplStep, dstStep;
    T *src, *tpl;
    Zyl32f *dst;
    Zyl8u *buf;
    Scene(int W_, int H_, int t) : W(W_), H(H_), w(t), h(t)
    {
        srcStep = int(W * sizeof(T)), tplStep = int(w * sizeof(T)), dstStep = int((W - w + 1) * 4);
        src = static_cast<T *>(zyliAlloc(srcStep * H));
        tpl = static_cast<T *>(zyliAlloc(tplStep * h));
        dst = static_cast<Zyl32f *>(zyliAlloc(dstStep * (H - h + 1)));
        std::mt19937 gen(7);
        for (int i = 0; i < W * H; ++i) src[i] = static_cast<T>(gen() % 256);
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i) tpl[j * w + i] = src[(H / 3 + j) * W + W / 2 + i];
        Zyl32s size = 0;
        zyliMatchTemplateGetBufSize_CoeffNormed({W, H}, {w, h}, sizeof(T) == 4 ? zyl32f : zyl8u,
                                                &size);
        buf = static_cast<Zyl8u *>(zyliAlloc(size));
    }
    ~Scene()
    {
        _zycvFree_(reinterpret_cast<void **>(&src));
        _zycvFree_(reinterpret_cast<void **>(&tpl));
        _zycvFree_(reinterpret_cast<void **>(&dst));
        _zycvFree_(reinterpret_cast<void **>(&buf));
    }
};

template <class T>
using MatchFn = ZylStatus (*)(const T *, Zyl32s, ZyliSize, const T *, Zyl32s, ZyliSize, Zyl32f *,
                              Zyl32s, Zyl8u *);
ZB_COPIES(zyliMatchTemplate_SqDiff_8u32f_C1R)
ZB_COPIES(zyliMatchTemplate_SqDiffNormed_8u32f_C1R)
ZB_COPIES(zyliMatchTemplate_Corr_8u32f_C1R)
ZB_COPIES(zyliMatchTemplate_CorrNormed_8u32f_C1R)
ZB_COPIES(zyliMatchTemplate_Coeff_8u32f_C1R)
ZB_COPIES(zyliMatchTemplate_CoeffNormed_8u32f_C1R)
ZB_COPIES(zycvSumPixels_8u_C1)
ZB_COPIES(zycvCmpBlocksL2_8u_C1)
ZB_COPIES(zycvCrossCorr_8u_C1)

// The 8u matching functions by method and the block kernels, as tables per copy: the one that
// runs (suffix S empty), and the SSE2 and AVX2 copies.
#define MATCH_8U(S)                                                                                \
    zyliMatchTemplate_SqDiff_8u32f_C1R##S, zyliMatchTemplate_SqDiffNormed_8u32f_C1R##S,            \
        zyliMatchTemplate_Corr_8u32f_C1R##S, zyliMatchTemplate_CorrNormed_8u32f_C1R##S,            \
        zyliMatchTemplate_Coeff_8u32f_C1R##S, zyliMatchTemplate_CoeffNormed_8u32f_C1R##S
#define BLOCKS_8U(S) zycvSumPixels_8u_C1##S, zycvCmpBlocksL2_8u_C1##S, zycvCrossCorr_8u_C1##S
struct BlockFns {
    Zyl32s (*sum)(const Zyl8u *, Zyl32s);
    Zyl64s (*l2)(const Zyl8u *, const Zyl8u *, Zyl32s);
    Zyl64s (*cc)(const Zyl8u *, const Zyl8u *, Zyl32s);
};
constexpr MatchFn<Zyl8u> kMatch8u[] = {MATCH_8U()};
constexpr BlockFns kBlocks8u = {BLOCKS_8U()};
#if ZYLCV_AVX2
constexpr MatchFn<Zyl8u> kMatch8u_sse2[] = {MATCH_8U(_sse2)}, kMatch8u_avx2[] = {MATCH_8U(_avx2)};
constexpr BlockFns kBlocks8u_sse2 = {BLOCKS_8U(_sse2)}, kBlocks8u_avx2 = {BLOCKS_8U(_avx2)};
#endif
constexpr MatchFn<Zyl32f> kMatch32f[] = {
    zyliMatchTemplate_SqDiff_32f_C1R, zyliMatchTemplate_SqDiffNormed_32f_C1R,
    zyliMatchTemplate_Corr_32f_C1R,   zyliMatchTemplate_CorrNormed_32f_C1R,
    zyliMatchTemplate_Coeff_32f_C1R,  zyliMatchTemplate_CoeffNormed_32f_C1R};
const char *kNames[] = {"SqDiff", "SqDiffNormed", "Corr", "CorrNormed", "Coeff", "CoeffNormed"};

template <class T> void rate(benchmark::State &s, const Scene<T> &sc)
{
    s.counters["Mpix/s"] =
        benchmark::Counter(double(sc.W - sc.w + 1) * (sc.H - sc.h + 1) * s.iterations() / 1e6,
                           benchmark::Counter::kIsRate);
}

// range(0): method 0..5, range(1): template side.
template <const MatchFn<Zyl8u> (&Fns)[6]> void Zyl_Match_8u(benchmark::State &s)
{
    Scene<Zyl8u> sc(640, 480, int(s.range(1)));
    s.SetLabel(kNames[s.range(0)]);
    auto f = Fns[s.range(0)];
    for (auto _ : s)
        f(sc.src, sc.srcStep, {sc.W, sc.H}, sc.tpl, sc.tplStep, {sc.w, sc.h}, sc.dst, sc.dstStep,
          sc.buf);
    rate(s, sc);
}
void Zyl_Match_32f(benchmark::State &s)
{
    Scene<Zyl32f> sc(320, 240, int(s.range(1)));
    s.SetLabel(kNames[s.range(0)]);
    auto f = kMatch32f[s.range(0)];
    for (auto _ : s)
        f(sc.src, sc.srcStep, {sc.W, sc.H}, sc.tpl, sc.tplStep, {sc.w, sc.h}, sc.dst, sc.dstStep,
          sc.buf);
    rate(s, sc);
}

// Block kernels over a whole frame as one run.
template <const BlockFns &F> void Zyl_Blocks_8u(benchmark::State &s)
{
    const int n = int(s.range(0) * s.range(1));
    Scene<Zyl8u> sc(int(s.range(0)), int(s.range(1)), 1);
    Zyl8u *b = static_cast<Zyl8u *>(zyliAlloc(n));
    for (int i = 0; i < n; ++i) b[i] = Zyl8u(i * 7);
    const int kind = int(s.range(2));
    s.SetLabel(kind == 0 ? "SumPixels" : kind == 1 ? "CmpBlocksL2" : "CrossCorr");
    for (auto _ : s) {
        if (kind == 0) benchmark::DoNotOptimize(F.sum(sc.src, n));
        else if (kind == 1) benchmark::DoNotOptimize(F.l2(sc.src, b, n));
        else benchmark::DoNotOptimize(F.cc(sc.src, b, n));
    }
    s.SetBytesProcessed(std::int64_t(s.iterations()) * n * (kind == 0 ? 1 : 2));
    _zycvFree_(reinterpret_cast<void **>(&b));
}

#define METHODS ->ArgsProduct({{0, 1, 2, 3, 4, 5}, {7, 16, 31}})->Unit(benchmark::kMillisecond)
#define FRAMES ->ArgsProduct({{640}, {480}, {0, 1, 2}})->ArgsProduct({{1920}, {1080}, {0, 1, 2}})
ZB_TWINS(Zyl_Match_8u, kMatch8u, METHODS);
BENCHMARK(Zyl_Match_32f) METHODS;
ZB_TWINS(Zyl_Blocks_8u, kBlocks8u, FRAMES);

#if ZYLCV_BENCH_OPENCV
const int kCvMethods[] = {cv::TM_SQDIFF,       cv::TM_SQDIFF_NORMED, cv::TM_CCORR,
                          cv::TM_CCORR_NORMED, cv::TM_CCOEFF,        cv::TM_CCOEFF_NORMED};

template <class T> void Cv_Match(benchmark::State &s, int W, int H)
{
    cv::setNumThreads(1);
    Scene<T> sc(W, H, int(s.range(1)));
    const int type = sizeof(T) == 4 ? CV_32FC1 : CV_8UC1;
    cv::Mat src(sc.H, sc.W, type, sc.src, sc.srcStep), tpl(sc.h, sc.w, type, sc.tpl, sc.tplStep);
    cv::Mat dst(sc.H - sc.h + 1, sc.W - sc.w + 1, CV_32FC1, sc.dst, sc.dstStep);
    s.SetLabel(kNames[s.range(0)]);
    for (auto _ : s) cv::matchTemplate(src, tpl, dst, kCvMethods[s.range(0)]);
    rate(s, sc);
}
void Cv_Match_8u(benchmark::State &s) { Cv_Match<Zyl8u>(s, 640, 480); }
void Cv_Match_32f(benchmark::State &s) { Cv_Match<Zyl32f>(s, 320, 240); }
BENCHMARK(Cv_Match_8u) METHODS;
BENCHMARK(Cv_Match_32f) METHODS;

void Cv_Blocks_8u(benchmark::State &s)
{
    cv::setNumThreads(1);
    const int w = int(s.range(0)), h = int(s.range(1)), n = w * h;
    Scene<Zyl8u> sc(w, h, 1);
    cv::Mat a(1, n, CV_8UC1, sc.src), b(1, n, CV_8UC1);
    for (int i = 0; i < n; ++i) b.data[i] = Zyl8u(i * 7);
    const int kind = int(s.range(2));
    s.SetLabel(kind == 0 ? "sum" : kind == 1 ? "norm L2SQR" : "dot");
    for (auto _ : s) {
        if (kind == 0) benchmark::DoNotOptimize(cv::sum(a));
        else if (kind == 1) benchmark::DoNotOptimize(cv::norm(a, b, cv::NORM_L2SQR));
        else benchmark::DoNotOptimize(a.dot(b));
    }
    s.SetBytesProcessed(std::int64_t(s.iterations()) * n * (kind == 0 ? 1 : 2));
}
BENCHMARK(Cv_Blocks_8u) FRAMES;
#endif

}  // namespace

BENCHMARK_MAIN();
