// Which twin runs on this CPU: the AVX2 twin where the processor has AVX2 and the operating
// system saves the 256-bit registers, the SSE2 twin elsewhere. Read from CPUID and XGETBV each
// time it is asked (by the loader, once per exported function): nothing is cached or written.
#ifndef ZYLCV_CORE_CPU_H
#define ZYLCV_CORE_CPU_H

#include <cpuid.h>

namespace zylcv::cpu {

// The feature words the decision needs.
struct Features {
    unsigned maxLeaf;         // highest basic CPUID leaf
    unsigned leaf1Ecx;        // leaf 1, ECX: bit 27 OSXSAVE, bit 28 AVX
    unsigned leaf7Ebx;        // leaf 7 subleaf 0, EBX: bit 5 AVX2
    unsigned long long xcr0;  // XCR0 (only read when OSXSAVE is set): bit 1 SSE, bit 2 AVX state
};

// True when the AVX2 twin may run: AVX and AVX2 present and YMM state saved by the OS.
constexpr bool avx2_usable(const Features &f)
{
    const bool osxsave = (f.leaf1Ecx >> 27) & 1, avx = (f.leaf1Ecx >> 28) & 1;
    const bool avx2 = f.maxLeaf >= 7 && ((f.leaf7Ebx >> 5) & 1);
    return osxsave && avx && avx2 && (f.xcr0 & 6) == 6;
}

// This CPU's feature words. Inlined everywhere, so that the loader's resolvers (which run
// before any sanitizer runtime is ready) stay free of calls and instrumentation.
__attribute__((always_inline)) inline Features read()
{
    Features f{0, 0, 0, 0};
    unsigned a, b, c, d;
    if (!__get_cpuid(0, &a, &b, &c, &d)) return f;
    f.maxLeaf = a;
    if (__get_cpuid(1, &a, &b, &c, &d)) f.leaf1Ecx = c;
    if (f.maxLeaf >= 7) {
        __cpuid_count(7, 0, a, b, c, d);
        f.leaf7Ebx = b;
    }
    if ((f.leaf1Ecx >> 27) & 1) {
        unsigned lo, hi;
        asm volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
        f.xcr0 = (static_cast<unsigned long long>(hi) << 32) | lo;
    }
    return f;
}

// The entry a resolver returns for given features.
template <class F> constexpr F *pick(const Features &f, F *sse2, F *avx2)
{
    return avx2_usable(f) ? avx2 : sse2;
}

}  // namespace zylcv::cpu

#endif
