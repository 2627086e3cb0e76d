// Erosion and dilation by rectangle, cross and ellipse elements against OpenCV's cv::erode and
// cv::dilate with replicated borders, single-threaded, on 8u C1, 8u C3 and 32f C1 images: zylcv
// as one whole-image call and as strips of 16 rows, with a memcpy of the image as the bandwidth
// ceiling.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "twins.h"
#include "zylcv.h"
#if ZYLCV_BENCH_OPENCV
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace {

struct Element {
    const char *name;
    int shape, size;  // shape as given to the constructor
};
const Element kElements[] = {{"rect3", 0, 3},   {"rect5", 0, 5},  {"rect7", 0, 7},
                             {"rect15", 0, 15}, {"cross5", 1, 5}, {"ellipse7", 2, 7}};
struct Format {
    const char *name;
    ZylDataType type;
    int channels;
};
const Format kFormats[] = {{"8uC1", zyl8u, 1}, {"8uC3", zyl8u, 3}, {"32fC1", zyl32f, 1}};

// Source and destination in 32-byte aligned memory, random pixels.
struct Frames {
    int w, h, step;
    void *src, *dst;
    Frames(int w_, int h_, const Format &f) : w(w_), h(h_)
    {
        step = w * f.channels * (f.type == zyl32f ? 4 : 1);
        src = zyliAlloc(step * h);
        dst = zyliAlloc(step * h);
        std::mt19937 gen(7);
        if (f.type == zyl32f)
            for (int i = 0; i < w * h * f.channels; ++i)
                static_cast<float *>(src)[i] = float(gen() % 1000);
        else
            for (int i = 0; i < step * h; ++i) static_cast<Zyl8u *>(src)[i] = Zyl8u(gen());
    }
    ~Frames()
    {
        _zycvFree_(&src);
        _zycvFree_(&dst);
    }
};

using Fn = ZylStatus (*)(const void *, Zyl32s, void *, Zyl32s, ZyliSize *, ZyliMorphState *,
                         ZylStripRole);
template <class T>
Fn as_fn(ZylStatus (*f)(const T *, Zyl32s, T *, Zyl32s, ZyliSize *, ZyliMorphState *, ZylStripRole))
{
    return reinterpret_cast<Fn>(f);
}

// Every member as NAME, the copy the loader picked, and where the build has them, NAME_sse2 and
// NAME_avx2.
#define BENCH_MORPH_OP(X, op)                                                                      \
    X(zyli##op##Strip_Rect_8u_C1R)                                                                 \
    X(zyli##op##Strip_Rect_8u_C3R)                                                                 \
    X(zyli##op##Strip_Rect_32f_C1R)                                                                \
    X(zyli##op##Strip_Cross_8u_C1R)                                                                \
    X(zyli##op##Strip_Cross_8u_C3R)                                                                \
    X(zyli##op##Strip_Cross_32f_C1R)                                                               \
    X(zyli##op##Strip_8u_C1R)                                                                      \
    X(zyli##op##Strip_8u_C3R)                                                                      \
    X(zyli##op##Strip_32f_C1R)
BENCH_MORPH_OP(ZB_COPIES, Erode)
BENCH_MORPH_OP(ZB_COPIES, Dilate)

// One copy as [dilate][rect, cross, mask][8u C1, 8u C3, 32f C1].
#define BENCH_MORPH_FN(NAME) as_fn(NAME),
#define BENCH_MORPH_FN_SSE2(NAME) as_fn(NAME##_sse2),
#define BENCH_MORPH_FN_AVX2(NAME) as_fn(NAME##_avx2),
#define BENCH_MORPH_COPY(X)                                                                        \
    {                                                                                              \
        BENCH_MORPH_OP(X, Erode) BENCH_MORPH_OP(X, Dilate)                                         \
    }

// The copies benchmarked: the dispatched one (no suffix), then the SSE2 and AVX2 ones.
#if ZYLCV_AVX2
const char *const kCopies[] = {"", "/sse2", "/avx2"};
#else
const char *const kCopies[] = {""};
#endif

Fn member_fn(const Format &f, int shape, bool dilate, int copy)
{
    static const Fn fns[][18] = {
        BENCH_MORPH_COPY(BENCH_MORPH_FN),
#if ZYLCV_AVX2
        BENCH_MORPH_COPY(BENCH_MORPH_FN_SSE2),
        BENCH_MORPH_COPY(BENCH_MORPH_FN_AVX2),
#endif
    };
    const int k = shape == 0 ? 0 : shape == 1 ? 1 : 2;
    return fns[copy][9 * dilate + 3 * k + (f.type == zyl32f ? 2 : f.channels == 1 ? 0 : 1)];
}

void finish(benchmark::State &s, const Frames &fr)
{
    s.SetBytesProcessed(std::int64_t(s.iterations()) * 2 * fr.step * fr.h);
}

// stripRows 0: one whole-image call.
void Zyl_Morph(benchmark::State &s, Element e, Format f, bool dilate, int stripRows, int copy)
{
    Frames fr(int(s.range(0)), int(s.range(1)), f);
    ZyliMorphState *st = nullptr;
    const int a = e.size / 2;
    zyliMorphologyInitAlloc(fr.w, f.type, f.channels, {e.size, e.size}, {a, a}, e.shape, nullptr,
                            &st);
    Fn fn = member_fn(f, e.shape, dilate, copy);
    for (auto _ : s) {
        if (stripRows == 0) {
            ZyliSize sz{fr.w, fr.h};
            fn(fr.src, fr.step, fr.dst, fr.step, &sz, st, zylStripWhole);
        } else {
            int y = 0, out = 0;
            while (y < fr.h || y == 0) {
                const int rows = std::min(stripRows, fr.h - y);
                const bool last = y + rows >= fr.h;
                ZyliSize sz{fr.w, rows};
                fn(static_cast<char *>(fr.src) + std::ptrdiff_t(y) * fr.step, fr.step,
                   static_cast<char *>(fr.dst) + std::ptrdiff_t(out) * fr.step, fr.step, &sz, st,
                   y == 0 ? zylStripFirst
                   : last ? zylStripLast
                          : zylStripMiddle);
                y += rows;
                out += sz.height;
                if (last) break;
            }
        }
        benchmark::ClobberMemory();
    }
    zyliMorphologyFree(&st);
    finish(s, fr);
}

void Memcpy(benchmark::State &s, Format f)
{
    Frames fr(int(s.range(0)), int(s.range(1)), f);
    for (auto _ : s) {
        std::memcpy(fr.dst, fr.src, std::size_t(fr.step) * fr.h);
        benchmark::ClobberMemory();
    }
    finish(s, fr);
}

#if ZYLCV_BENCH_OPENCV
void Cv_Morph(benchmark::State &s, Element e, Format f, bool dilate)
{
    cv::setNumThreads(1);
    Frames fr(int(s.range(0)), int(s.range(1)), f);
    const int type = f.type == zyl32f ? CV_32FC(f.channels) : CV_8UC(f.channels);
    cv::Mat src(fr.h, fr.w, type, fr.src, fr.step), dst(fr.h, fr.w, type, fr.dst, fr.step);
    const int shapes[] = {cv::MORPH_RECT, cv::MORPH_CROSS, cv::MORPH_ELLIPSE};
    cv::Mat k = cv::getStructuringElement(shapes[e.shape], {e.size, e.size});
    for (auto _ : s) {
        if (dilate) cv::dilate(src, dst, k, {-1, -1}, 1, cv::BORDER_REPLICATE);
        else cv::erode(src, dst, k, {-1, -1}, 1, cv::BORDER_REPLICATE);
        benchmark::ClobberMemory();
    }
    finish(s, fr);
}
#endif

int register_all()
{
    for (const Format &f : kFormats) {
        const std::string fn = f.name;
        benchmark::RegisterBenchmark(("Memcpy/" + fn).c_str(), Memcpy, f)
            ->Args({640, 480})
            ->Args({1920, 1080});
        for (const Element &e : kElements)
            for (bool dilate : {false, true}) {
                const std::string op = dilate ? "Dilate" : "Erode", tag = fn + "/" + e.name;
                for (int c = 0; c < int(std::size(kCopies)); ++c)
                    benchmark::RegisterBenchmark(("Zyl_" + op + "/" + tag + kCopies[c]).c_str(),
                                                 Zyl_Morph, e, f, dilate, 0, c)
                        ->Args({640, 480})
                        ->Args({1920, 1080});
                benchmark::RegisterBenchmark(("Zyl_" + op + "Strips16/" + tag).c_str(), Zyl_Morph,
                                             e, f, dilate, 16, 0)
                    ->Args({640, 480})
                    ->Args({1920, 1080});
#if ZYLCV_BENCH_OPENCV
                benchmark::RegisterBenchmark(("Cv_" + op + "/" + tag).c_str(), Cv_Morph, e, f,
                                             dilate)
                    ->Args({640, 480})
                    ->Args({1920, 1080});
#endif
            }
    }
    return 0;
}
const int kRegistered = register_all();

}  // namespace

BENCHMARK_MAIN();
