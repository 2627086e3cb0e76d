// The SSE2 and AVX2 copies of an exported function side by side. In builds with the AVX2 twins,
// each exported function of a family that has one is in the static library three times: NAME,
// which the loader binds to the copy this CPU runs, NAME_sse2 and NAME_avx2.
#ifndef ZYLCV_BENCH_TWINS_H
#define ZYLCV_BENCH_TWINS_H

#include <benchmark/benchmark.h>

#include "zylcv.h"
#if ZYLCV_AVX2
#include "core/cpu.h"
#endif

// The twin the dispatched functions run on this CPU, in the context lines every run prints.
inline const bool zbKernelsNamed = [] {
#if ZYLCV_AVX2
    const char *twin = zylcv::cpu::avx2_usable(zylcv::cpu::read()) ? "AVX2" : "SSE2";
#else
    const char *twin = ZYLCV_SIMD ? "SSE2" : "portable";
#endif
    benchmark::AddCustomContext("zylcv kernels", twin);
    return true;
}();

#if ZYLCV_AVX2
// Declares the two copies of NAME.
#define ZB_COPIES(NAME) extern "C" decltype(NAME) NAME##_sse2, NAME##_avx2;
// Registers benchmark template B (over the function it calls) as B for NAME, the copy that runs,
// and as B/sse2 and B/avx2 for the two copies; SIZES are the argument calls (->Args(...)).
#define ZB_TWINS(B, NAME, SIZES)                                                                   \
    BENCHMARK_TEMPLATE(B, NAME)->Name(#B) SIZES;                                                   \
    BENCHMARK_TEMPLATE(B, NAME##_sse2)->Name(#B "/sse2") SIZES;                                    \
    BENCHMARK_TEMPLATE(B, NAME##_avx2)->Name(#B "/avx2") SIZES
#else
#define ZB_COPIES(NAME)
#define ZB_TWINS(B, NAME, SIZES) BENCHMARK_TEMPLATE(B, NAME)->Name(#B) SIZES
#endif

#endif
