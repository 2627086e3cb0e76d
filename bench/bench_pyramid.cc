// Gaussian 5x5 pyramid against OpenCV's cv::pyrDown / cv::pyrUp (BORDER_DEFAULT, i.e. mirrored
// without repeating the edge; its PyrUp right and bottom borders differ from ours, which does not
// change the cost), single-threaded. Each size names the larger image of the pair: the PyrDown
// source, the PyrUp destination.
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

enum Op { Down, Up };

template <class T> constexpr int type_code()
{
    return std::is_same_v<T, Zyl8u> ? 1 : std::is_same_v<T, Zyl8s> ? 2 : 9;
}

// A large and a small image of one type and channel count in 32-byte aligned memory with tight
// rows, the large one W x H; the source filled with random values; the work buffer of the
// queried size.
template <class T, int C> struct Frames {
    int W, H, bigStep, smallStep;
    T *big, *small;
    Zyl8u *buffer;
    Frames(Op op, int w, int h)
        : W(w), H(h), bigStep(int(w * C * sizeof(T))), smallStep(int(w / 2 * C * sizeof(T)))
    {
        big = static_cast<T *>(zyliAlloc(bigStep * H));
        small = static_cast<T *>(zyliAlloc(smallStep * (H / 2)));
        Zyl32s size = 0;
        if (op == Down) zyliPyrDownGetBufSize_Gauss5x5(W, type_code<T>(), C, &size);
        else zyliPyrUpGetBufSize_Gauss5x5(W / 2, type_code<T>(), C, &size);
        buffer = static_cast<Zyl8u *>(zyliAlloc(size));
        std::mt19937 gen(7);
        T *src = op == Down ? big : small;
        const long n = op == Down ? long(W) * H * C : long(W / 2) * (H / 2) * C;
        for (long i = 0; i < n; ++i)
            src[i] = static_cast<T>(int(gen() % 256) - (std::is_same_v<T, Zyl8s> ? 128 : 0));
    }
    ~Frames()
    {
        _zycvFree_(reinterpret_cast<void **>(&big));
        _zycvFree_(reinterpret_cast<void **>(&small));
        _zycvFree_(reinterpret_cast<void **>(&buffer));
    }
};

template <class T, int C> void finish(benchmark::State &s, const Frames<T, C> &f)
{
    const double pixels = double(f.W) * f.H;
    s.SetBytesProcessed(std::int64_t(s.iterations() * pixels * 1.25 * C * sizeof(T)));
    s.counters["Mpix/s"] =
        benchmark::Counter(pixels * double(s.iterations()) / 1e6, benchmark::Counter::kIsRate);
}

// One member Fn (any copy) over the frames of its type and channel count.
template <auto Fn, class T, int C> void Zyl_Down(benchmark::State &s)
{
    Frames<T, C> f(Down, int(s.range(0)), int(s.range(1)));
    for (auto _ : s) Fn(f.big, f.bigStep, f.small, f.smallStep, {f.W, f.H}, f.buffer);
    finish(s, f);
}
template <auto Fn, class T, int C> void Zyl_Up(benchmark::State &s)
{
    Frames<T, C> f(Up, int(s.range(0)), int(s.range(1)));
    for (auto _ : s) Fn(f.small, f.smallStep, f.big, f.bigStep, {f.W / 2, f.H / 2}, f.buffer);
    finish(s, f);
}

#define SIZES ->Args({640, 480})->Args({1920, 1080})
#if ZYLCV_BENCH_OPENCV
template <class T, int C> int cv_type()
{
    constexpr int depth = std::is_same_v<T, Zyl8u> ? CV_8U : CV_32F;
    return CV_MAKETYPE(depth, C);
}

template <class T, int C> void Cv_PyrDown(benchmark::State &s)
{
    cv::setNumThreads(1);
    Frames<T, C> f(Down, int(s.range(0)), int(s.range(1)));
    cv::Mat big(f.H, f.W, cv_type<T, C>(), f.big, f.bigStep),
        small(f.H / 2, f.W / 2, cv_type<T, C>(), f.small, f.smallStep);
    for (auto _ : s) cv::pyrDown(big, small, small.size(), cv::BORDER_DEFAULT);
    finish(s, f);
}
template <class T, int C> void Cv_PyrUp(benchmark::State &s)
{
    cv::setNumThreads(1);
    Frames<T, C> f(Up, int(s.range(0)), int(s.range(1)));
    cv::Mat big(f.H, f.W, cv_type<T, C>(), f.big, f.bigStep),
        small(f.H / 2, f.W / 2, cv_type<T, C>(), f.small, f.smallStep);
    for (auto _ : s) cv::pyrUp(small, big, big.size(), cv::BORDER_DEFAULT);
    finish(s, f);
}
#endif

// Each of our functions beside its OpenCV peer, so that neighbouring runs share the machine's state.
#if ZYLCV_BENCH_OPENCV
#define PEER(...) BENCHMARK(__VA_ARGS__) SIZES;
#else
#define PEER(...)
#endif
// Zyl_PyrDown_<type>_C<n> and Zyl_PyrUp_<type>_C<n> for the running copy and each twin's.
#define ZYL(OP, tag, T, C)                                                                         \
    ZB_COPIES(zyliPyr##OP##_Gauss5x5_##tag##_C##C##R)                                              \
    template <auto Fn> void Zyl_Pyr##OP##_##tag##_C##C(benchmark::State &s)                        \
    {                                                                                              \
        Zyl_##OP<Fn, T, C>(s);                                                                     \
    }                                                                                              \
    ZB_TWINS(Zyl_Pyr##OP##_##tag##_C##C, zyliPyr##OP##_Gauss5x5_##tag##_C##C##R, SIZES)
ZYL(Down, 8u, Zyl8u, 1);
PEER(Cv_PyrDown<Zyl8u, 1>)
ZYL(Down, 8u, Zyl8u, 3);
PEER(Cv_PyrDown<Zyl8u, 3>)
ZYL(Down, 8s, Zyl8s, 1);
ZYL(Down, 8s, Zyl8s, 3);
ZYL(Down, 32f, Zyl32f, 1);
PEER(Cv_PyrDown<Zyl32f, 1>)
ZYL(Down, 32f, Zyl32f, 3);
PEER(Cv_PyrDown<Zyl32f, 3>)
ZYL(Up, 8u, Zyl8u, 1);
PEER(Cv_PyrUp<Zyl8u, 1>)
ZYL(Up, 8u, Zyl8u, 3);
PEER(Cv_PyrUp<Zyl8u, 3>)
ZYL(Up, 8s, Zyl8s, 1);
ZYL(Up, 8s, Zyl8s, 3);
ZYL(Up, 32f, Zyl32f, 1);
PEER(Cv_PyrUp<Zyl32f, 1>)
ZYL(Up, 32f, Zyl32f, 3);
PEER(Cv_PyrUp<Zyl32f, 3>)

}  // namespace

BENCHMARK_MAIN();
