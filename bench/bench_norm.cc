// Norms, norms of differences and relative norms against OpenCV's cv::norm on the same data,
// single-threaded. OpenCV has no channel of interest: for the C3CMR members its time includes
// cv::extractChannel of the channel from each three-channel source, then cv::norm on it.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <type_traits>

#include "../tests/support/norm_calls.h"
#include "twins.h"
#include "zylcv.h"
#if ZYLCV_BENCH_OPENCV
#include <opencv2/core.hpp>
#endif

namespace {

using namespace norm_calls;

#if ZYLCV_AVX2
// The SSE2 and AVX2 copies of every member.
#define ZB_NORM_COPIES(name, term, K, TY, T, C, B) ZB_COPIES(zyli##name##_##K##_##TY##_C##C##MR)
ZT_NORM_EACH(ZB_NORM_COPIES)
#define ZB_NORM_SSE2(...) ZT_NORM_MEMBER(_sse2, __VA_ARGS__),
#define ZB_NORM_AVX2(...) ZT_NORM_MEMBER(_avx2, __VA_ARGS__),
const Member kSse2[] = {ZT_NORM_EACH(ZB_NORM_SSE2)};
const Member kAvx2[] = {ZT_NORM_EACH(ZB_NORM_AVX2)};
#endif

// Two sources and a mask in 32-byte aligned memory: random pixels, three of four pixels selected.
struct Frames {
    int w, h, cn, elem, step, maskStep;
    void *a, *b;
    Zyl8u *m;
    Frames(int w_, int h_, int cn_, Type type) : w(w_), h(h_), cn(cn_)
    {
        elem = type == Type::F32 ? 4 : 1;
        step = w * cn * elem;
        maskStep = w;
        a = zyliAlloc(step * h);
        b = zyliAlloc(step * h);
        m = static_cast<Zyl8u *>(zyliAlloc(maskStep * h));
        std::mt19937 gen(7);
        for (long i = 0; i < long(w) * h * cn; ++i) {
            if (type == Type::F32) {
                static_cast<float *>(a)[i] = float(gen() % 20001) / 100.0f - 100.0f;
                static_cast<float *>(b)[i] = float(gen() % 20001) / 100.0f - 100.0f;
            } else {
                static_cast<Zyl8u *>(a)[i] = Zyl8u(gen());
                static_cast<Zyl8u *>(b)[i] = Zyl8u(gen());
            }
        }
        for (long i = 0; i < long(w) * h; ++i) m[i] = gen() % 4 ? Zyl8u(1 + gen() % 255) : 0;
    }
    ~Frames()
    {
        _zycvFree_(&a);
        _zycvFree_(&b);
        _zycvFree_(reinterpret_cast<void **>(&m));
    }
    std::int64_t bytes(const Member &mb) const
    {
        return std::int64_t(step) * h * (mb.term == Term::Value ? 1 : 2) + std::int64_t(w) * h;
    }
};

void finish(benchmark::State &s, const Frames &f, const Member &mb)
{
    s.SetBytesProcessed(std::int64_t(s.iterations()) * f.bytes(mb));
    s.counters["Mpix/s"] =
        benchmark::Counter(double(f.w) * f.h * s.iterations() / 1e6, benchmark::Counter::kIsRate);
}

void zyl(benchmark::State &s, const Member &mb, int w, int h)
{
    Frames f(w, h, mb.coi ? 3 : 1, mb.type);
    Zyl64f out = 0;
    for (auto _ : s) {
        mb.call(f.a, f.step, f.b, f.step, f.m, f.maskStep, {w, h}, 2, &out);
        benchmark::DoNotOptimize(out);
    }
    finish(s, f, mb);
}

#if ZYLCV_BENCH_OPENCV
void cv_peer(benchmark::State &s, const Member &mb, int w, int h)
{
    cv::setNumThreads(1);
    Frames f(w, h, mb.coi ? 3 : 1, mb.type);
    const int depth = mb.type == Type::U8 ? CV_8U : mb.type == Type::S8 ? CV_8S : CV_32F;
    cv::Mat a(h, w, CV_MAKETYPE(depth, f.cn), f.a, f.step),
        b(h, w, CV_MAKETYPE(depth, f.cn), f.b, f.step);
    cv::Mat m(h, w, CV_8UC1, f.m, f.maskStep), ca, cb;
    const int kind = mb.kind == Kind::Inf  ? cv::NORM_INF
                     : mb.kind == Kind::L1 ? cv::NORM_L1
                                           : cv::NORM_L2;
    double out = 0;
    for (auto _ : s) {
        const cv::Mat *pa = &a, *pb = &b;
        if (mb.coi) {
            cv::extractChannel(a, ca, 1);
            if (mb.term != Term::Value) cv::extractChannel(b, cb, 1);
            pa = &ca;
            pb = &cb;
        }
        if (mb.term == Term::Value) out = cv::norm(*pa, kind, m);
        else if (mb.term == Term::Diff) out = cv::norm(*pa, *pb, kind, m);
        else out = cv::norm(*pa, *pb, kind | cv::NORM_RELATIVE, m);
        benchmark::DoNotOptimize(out);
    }
    finish(s, f, mb);
}
#endif

}  // namespace

int main(int argc, char **argv)
{
    const int sizes[][2] = {{640, 480}, {1920, 1080}};
    for (std::size_t i = 0; i < std::size(kMembers); ++i)
        for (auto &sz : sizes) {
            const Member &mb = kMembers[i];
            const std::string size = std::to_string(sz[0]) + "x" + std::to_string(sz[1]);
            const std::string suffix = std::string(mb.name) + "/" + size;
            benchmark::RegisterBenchmark(("Zyl/" + suffix).c_str(), zyl, mb, sz[0], sz[1]);
#if ZYLCV_AVX2
            benchmark::RegisterBenchmark(("Zyl/" + std::string(mb.name) + "/sse2/" + size).c_str(),
                                         zyl, kSse2[i], sz[0], sz[1]);
            benchmark::RegisterBenchmark(("Zyl/" + std::string(mb.name) + "/avx2/" + size).c_str(),
                                         zyl, kAvx2[i], sz[0], sz[1]);
#endif
#if ZYLCV_BENCH_OPENCV
            benchmark::RegisterBenchmark(("Cv/" + suffix).c_str(), cv_peer, mb, sz[0], sz[1]);
#endif
        }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
