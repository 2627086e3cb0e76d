// Accumulator kernels: the per-pixel update every twin uses, the row walk written once over a
// twin's row operations, and the twins' entries.
#ifndef ZYLCV_ACCUMULATE_ACCUMULATE_H
#define ZYLCV_ACCUMULATE_ACCUMULATE_H

#include "core/internal.h"

namespace zylcv::accumulate {

// The four running accumulations of a source into a 32f accumulator D.
enum class Op { Add, Square, Product, Weighted };

// Which NaN comes out of an operation on two NaNs differs between processors and emulators, and
// for a commutative operation it even depends on which operand the compiler puts first. So the
// second operand is replaced by +0.0 where the first is a NaN: every operation then has at most
// one NaN operand, and the result is fixed: the first operand's NaN (quieted) if it is one, else
// the second's, else the value of the operation (an invalid one, inf - inf or 0 * inf, giving the
// default NaN). The SSE2 twin does the same lane by lane wherever two NaNs can meet.
inline bool is_nan(float v) { return (bits(v) & 0x7FFFFFFFu) > 0x7F800000u; }
inline float unless_nan(float a, float b) { return is_nan(a) ? 0.0f : b; }
inline float add_first(float a, float b) { return a + unless_nan(a, b); }
inline float mul_first(float a, float b) { return a * unless_nan(a, b); }

// Exact product of two 8-bit pixels (at most 65025 in magnitude), formed in integers.
template <class T> inline int int_product(T a, T b) { return int(a) * int(b); }

// One pixel of the accumulator: D plus the increment of operation K. With a mask, an
// unselected pixel still gets D + 0.0: for 8-bit sources the integer term is 0, for 32f Add and
// Square the source is +0.0, for 32f Product the product is replaced by +0.0, and for Weighted
// the weight is +0.0 (so an infinite or NaN difference still makes D a NaN). `b` is read only
// by Product.
template <Op K, bool Masked, class T>
inline Zyl32f accum_px(Zyl32f d, T a, T b, Zyl8u m, Zyl32f alpha)
{
    const bool keep = !Masked || m != 0;
    constexpr bool f32 = std::is_same_v<T, Zyl32f>;
    if constexpr (K == Op::Weighted) {
        // No guard on the difference: when both s and D are NaN the final add returns D's.
        float t = float(a) - d;
        return add_first(d, mul_first(t, keep ? alpha : 0.0f));
    } else if constexpr (f32) {
        if constexpr (K == Op::Add) return add_first(d, keep ? a : 0.0f);
        if constexpr (K == Op::Square) {
            float s = keep ? a : 0.0f;
            return add_first(d, mul_first(s, s));
        }
        if constexpr (K == Op::Product) {
            float p = mul_first(a, b);
            return add_first(d, keep ? p : 0.0f);
        }
    } else {
        int term = 0;
        if (keep) {
            if constexpr (K == Op::Add) term = a;
            if constexpr (K == Op::Square) term = int_product(a, a);
            if constexpr (K == Op::Product) term = int_product(a, b);
        }
        return d + float(term);  // the term is never a NaN
    }
}

// Pixels x0..w-1 of one row through accum_px; `b` and `m` are read only when K and Masked need
// them.
template <Op K, bool Masked, class T>
inline void accum_span(const T *a, const T *b, const Zyl8u *m, Zyl32f *d, int x0, int w,
                       Zyl32f alpha)
{
    for (int x = x0; x < w; ++x) {
        T bx{};
        Zyl8u mx = 1;
        if constexpr (K == Op::Product) bx = b[x];
        if constexpr (Masked) mx = m[x];
        d[x] = accum_px<K, Masked>(d[x], a[x], bx, mx, alpha);
    }
}

// Every row through the twin's row operation on access path P; `b` and `m` advance only when
// K and Masked read them.
template <class Rows, Op K, bool Masked, auto P, class T>
void rows(const T *a, int aStep, const T *b, int bStep, const Zyl8u *m, int mStep, Zyl32f *d,
          int dStep, int w, int h, Zyl32f alpha)
{
    for (int y = 0; y < h; ++y) {
        Rows::template row<K, Masked, P>(a, b, m, d, w, alpha);
        a = advance(a, aStep);
        if constexpr (K == Op::Product) b = advance(b, bStep);
        if constexpr (Masked) m = advance(m, mStep);
        d = advance(d, dStep);
    }
}

// The portable twin's row operations: one access path, every pixel through accum_span.
struct ScalarRows {
    template <Op K, bool Masked, class T>
    static void run(const T *a, int aStep, const T *b, int bStep, const Zyl8u *m, int mStep,
                    Zyl32f *d, int dStep, int w, int h, Zyl32f alpha)
    {
        rows<ScalarRows, K, Masked, 0>(a, aStep, b, bStep, m, mStep, d, dStep, w, h, alpha);
    }
    template <Op K, bool Masked, auto P, class T>
    static void row(const T *a, const T *b, const Zyl8u *m, Zyl32f *d, int w, Zyl32f alpha)
    {
        accum_span<K, Masked>(a, b, m, d, 0, w, alpha);
    }
};

}  // namespace zylcv::accumulate

namespace zylcv {
// One entry per twin for every operation, mask form and source type (Zyl8u, Zyl8s, Zyl32f): `b`
// is the second source (read by Product only), `mask` is read by the masked forms only, alpha by
// Weighted only. Rows are `width` pixels; callers merge contiguous images into one row.
ZYLCV_DECLARE_TWINS_AVX2(template <accumulate::Op K, bool Masked, class T>
                         void accumulate(const T *a, int aStep, const T *b, int bStep,
                                         const Zyl8u *mask, int maskStep, Zyl32f *acc, int accStep,
                                         int width, int height, Zyl32f alpha);)
}  // namespace zylcv

// The entries of a twin over its row operations `Rows`, built for every operation, mask form
// and source type.
#define ZYLCV_ACCUMULATE_ENTRIES                                                                   \
    template <accumulate::Op K, bool Masked, class T>                                              \
    void accumulate(const T *a, int aStep, const T *b, int bStep, const Zyl8u *mask, int maskStep, \
                    Zyl32f *acc, int accStep, int width, int height, Zyl32f alpha)                 \
    {                                                                                              \
        Rows::template run<K, Masked>(a, aStep, b, bStep, mask, maskStep, acc, accStep, width,     \
                                      height, alpha);                                              \
    }                                                                                              \
    ZYLCV_ACCUMULATE_ENTRY_TYPES(Zyl8u)                                                            \
    ZYLCV_ACCUMULATE_ENTRY_TYPES(Zyl8s)                                                            \
    ZYLCV_ACCUMULATE_ENTRY_TYPES(Zyl32f)
#define ZYLCV_ACCUMULATE_ENTRY_TYPES(T)                                                            \
    ZYLCV_ACCUMULATE_ENTRY(accumulate::Op::Add, T)                                                 \
    ZYLCV_ACCUMULATE_ENTRY(accumulate::Op::Square, T)                                              \
    ZYLCV_ACCUMULATE_ENTRY(accumulate::Op::Product, T)                                             \
    ZYLCV_ACCUMULATE_ENTRY(accumulate::Op::Weighted, T)
#define ZYLCV_ACCUMULATE_ENTRY(K, T)                                                               \
    template void accumulate<K, false, T>(const T *, int, const T *, int, const Zyl8u *, int,      \
                                          Zyl32f *, int, int, int, Zyl32f);                        \
    template void accumulate<K, true, T>(const T *, int, const T *, int, const Zyl8u *, int,       \
                                         Zyl32f *, int, int, int, Zyl32f);

#endif
