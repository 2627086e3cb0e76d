// Internal helpers shared by every family: export macro, pixel traits, bit patterns, clamps.
#ifndef ZYLCV_CORE_INTERNAL_H
#define ZYLCV_CORE_INTERNAL_H

#include <assert.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <type_traits>

#include "zylcv.h"

#define ZYLCV_API extern "C" __attribute__((visibility("default")))

// Internal consistency check that no valid call can fail: reports the expression text, the
// family's source name (e.g. "src/zycvminmaxindx"), the line and a null function name.
#define ZYLCV_ASSERT(expr, file) ((expr) ? void(0) : __assert_fail(#expr, file, __LINE__, nullptr))

#ifndef ZYLCV_SIMD
#define ZYLCV_SIMD 1
#endif

namespace zylcv {

// Every family's kernels come in twins with the same entry names, one namespace per twin:
// portable, sse2, and on x86_64 avx2. Exported functions call `kernels::`, which is the SSE2 twin
// unless the build is portable; on x86_64 the families with an AVX2 twin compile their exported
// functions a second time with `kernels` = avx2, and the loader picks one copy per function
// (core/cpu.h). Tests reach every twin by name.
namespace portable {
}
namespace sse2 {
}
// A family without an AVX2 twin keeps its SSE2 entries there: `avx2::entry` finds them.
namespace avx2 {
using namespace sse2;
}
#if ZYLCV_KERNELS_AVX2
namespace kernels = avx2;
#elif ZYLCV_SIMD
namespace kernels = sse2;
#else
namespace kernels = portable;
#endif

// Declares a family's entries (a list of declarations) once for the portable and SSE2 twins.
// A twin that a build leaves out has its entries declared but never defined or called.
#define ZYLCV_DECLARE_TWINS(...)                                                                   \
    namespace portable {                                                                           \
    __VA_ARGS__                                                                                    \
    }                                                                                              \
    namespace sse2 {                                                                               \
    __VA_ARGS__                                                                                    \
    }
// The same for a family that also has an AVX2 twin.
#define ZYLCV_DECLARE_TWINS_AVX2(...)                                                              \
    ZYLCV_DECLARE_TWINS(__VA_ARGS__)                                                               \
    namespace avx2 {                                                                               \
    __VA_ARGS__                                                                                    \
    }

// Address arithmetic on byte steps.
template <class T> inline T *advance(T *p, std::ptrdiff_t bytes)
{
    using Byte = std::conditional_t<std::is_const_v<T>, const char, char>;
    return reinterpret_cast<T *>(reinterpret_cast<Byte *>(p) + bytes);
}

inline bool aligned16(const void *p) { return (reinterpret_cast<std::uintptr_t>(p) & 15) == 0; }
inline bool aligned16(std::ptrdiff_t step) { return (step & 15) == 0; }

inline std::uint32_t bits(float v) { return std::bit_cast<std::uint32_t>(v); }
inline float from_bits(std::uint32_t b) { return std::bit_cast<float>(b); }

// Sign bit cleared: |v| for every value, NaN payload kept.
inline float clear_sign(float v) { return from_bits(bits(v) & 0x7FFFFFFFu); }

// Float sum with the operand order fixed: when both operands are NaN the first one's NaN
// (quieted) is the result, whatever order the compiler gives the add instruction, so that every
// twin and every inlining of a sum gives the same NaN. Integer sums need no such care.
inline float ordered_add(float a, float b)
{
#if defined(__AVX__)
    // vaddss keeps its first source's NaN (the VEX form, so AVX code pays no SSE transition).
    asm("vaddss %2, %1, %0" : "=x"(a) : "x"(a), "xm"(b));
    return a;
#elif defined(__SSE2__)
    // addss keeps its first operand's NaN: pinning the operands costs nothing.
    asm("addss %1, %0" : "+x"(a) : "xm"(b));
    return a;
#else
    const float r = a + b;
    if (r == r) return r;  // no NaN operand
    if (a != a) return from_bits(bits(a) | 0x00400000u);
    if (b != b) return from_bits(bits(b) | 0x00400000u);
    return r;  // inf - inf: the default NaN
#endif
}
inline int ordered_add(int a, int b) { return a + b; }

inline int clamp_int(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

// Work-buffer sizes. The queries form their byte counts in 64 bits from 32-bit widths, heights
// and element sizes, and report them through a Zyl32s: a count that does not fit is refused
// with a result of 0, never wrapped into a small or negative one.
//
// Products of two image dimensions and a constant can pass 2^63, so counts that multiply go
// through size_mul, which stops at kOversize: far above anything a Zyl32s holds, far below
// where adding a few such counts could wrap.
constexpr std::int64_t kOversize = std::int64_t(1) << 40;
inline std::int64_t size_mul(std::int64_t a, std::int64_t b)  // a, b >= 0
{
    return b != 0 && a > kOversize / b ? kOversize : a * b;
}
inline ZylStatus report_buffer_size(std::int64_t bytes, Zyl32s *pSize)
{
    if (bytes > 0x7FFFFFFF) {
        *pSize = 0;
        return zylStatusBadSize;
    }
    *pSize = static_cast<Zyl32s>(bytes);
    return zylStatusOk;
}

}  // namespace zylcv

#endif
