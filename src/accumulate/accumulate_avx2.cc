// AVX2 accumulator kernels. Rows go in blocks of 16 pixels (two 8-lane vectors of the
// accumulator), then one block of 8, then pixel by pixel through the shared helper. 8-bit sources
// are widened straight to 32-bit lanes, squared or multiplied there exactly and converted; masks
// turn into 32-bit lanes that zero the source, the product or the weight. The accumulator is
// loaded and stored aligned when its pointer and step are multiples of 32 (for the 32f masked
// and two-source forms only when the 32f sources are too, and then those are loaded aligned as
// well); the bits do not depend on the path.
#include "accumulate.h"
#include "core/simd_avx2.h"

namespace zylcv::avx2 {
namespace {

// Lane by lane as add_first/mul_first with the operand order pinned: of two NaN operands x86
// returns the first one's (quieted), which is exactly what replacing the second by +0.0 gives, so
// the guard costs nothing here.
ZYLCV_INLINE __m256 add_first(__m256 a, __m256 b) { return add_ordered(a, b); }
ZYLCV_INLINE __m256 mul_first(__m256 a, __m256 b)
{
    asm("vmulps %2, %1, %0" : "=x"(a) : "x"(a), "x"(b));
    return a;
}

using accumulate::Op;

// All-ones 32-bit lanes where the 8 mask bytes are zero.
ZYLCV_INLINE __m256i unselected(const Zyl8u *m)
{
    return _mm256_cvtepi8_epi32(_mm_cmpeq_epi8(sse2::load8(m), _mm_setzero_si128()));
}

// 8 pixels of an 8-bit source in 32-bit lanes: zero-extended for 8u, sign-extended for 8s.
template <class T> ZYLCV_INLINE __m256i widen(const T *p)
{
    if constexpr (std::is_same_v<T, Zyl8u>) return load8_u8_to_s32(p);
    else return load8_s8_to_s32(p);
}

// 8 pixels of an 8-bit source turned into the float terms of operation K: the source itself
// (Add, Weighted), its square or the product with the second source, exact in 32 bits. With a
// mask the sources of unselected pixels (lanes z) are zeroed first, which zeroes the term.
template <Op K, bool Masked, class T>
ZYLCV_INLINE __m256 int_terms(const T *a, const T *b, __m256i z)
{
    __m256i s = widen(a);
    if constexpr (Masked && K != Op::Weighted) s = _mm256_andnot_si256(z, s);
    if constexpr (K == Op::Square) s = _mm256_mullo_epi32(s, s);
    if constexpr (K == Op::Product) s = _mm256_mullo_epi32(s, widen(b));
    return _mm256_cvtepi32_ps(s);
}

// 8 pixels of 32f sources turned into the terms of operation K; z are the unselected lanes of a
// masked call: Add and Square zero the source, Product zeroes the product.
template <Op K, bool Masked, Path Src>
ZYLCV_INLINE __m256 f32_terms(const Zyl32f *a, const Zyl32f *b, __m256 z)
{
    __m256 t = load<Src>(a);
    if constexpr (Masked && (K == Op::Add || K == Op::Square)) t = _mm256_andnot_ps(z, t);
    if constexpr (K == Op::Square) t = _mm256_mul_ps(t, t);
    if constexpr (K == Op::Product) {
        t = mul_first(t, load<Src>(b));
        if constexpr (Masked) t = _mm256_andnot_ps(z, t);
    }
    return t;
}

// How a row is run: the access path of the accumulator and of 32f sources, and whether the
// weight may be a NaN (then the product (s - D) * alpha needs the NaN guard; otherwise its only
// possible NaN operand is the difference).
struct Access {
    Path acc, src;
    bool nanWeight;
};

// 8 pixels of the accumulator: D + term, or for Weighted D + (s - D) * alpha with the weight
// zeroed in unselected lanes. The final add needs the NaN guard only for 32f sources: with
// 8-bit ones a NaN increment can only come from a NaN D, whose quieted pattern it then is.
template <Op K, bool Masked, Access P, class T>
ZYLCV_INLINE void update8(const T *a, const T *b, const Zyl8u *m, Zyl32f *d, __m256 weight)
{
    constexpr bool f32 = std::is_same_v<T, Zyl32f>;
    __m256i z = _mm256_setzero_si256();
    if constexpr (Masked) z = unselected(m);
    __m256 t;
    if constexpr (f32) t = f32_terms<K, Masked, P.src>(a, b, _mm256_castsi256_ps(z));
    else t = int_terms<K, Masked>(a, b, z);
    __m256 acc = load<P.acc>(d);
    in_register(acc);  // loaded once, not again for each use
    if constexpr (K == Op::Weighted) {
        __m256 w = Masked ? _mm256_andnot_ps(_mm256_castsi256_ps(z), weight) : weight;
        t = _mm256_sub_ps(t, acc);
        t = P.nanWeight ? mul_first(t, w) : _mm256_mul_ps(t, w);
    }
    acc = f32 ? add_first(acc, t) : _mm256_add_ps(acc, t);
    store<P.acc>(d, acc);
}

// A pointer and step that keep every row on a 32-byte boundary (a single row needs no step).
bool rows_aligned(const void *p, int step, int h)
{
    return aligned32(p) && (h == 1 || aligned32(step));
}

struct Rows {
    // A NaN weight is rare enough to take the unaligned path always.
    template <Op K, bool Masked, class T>
    static void run(const T *a, int aStep, const T *b, int bStep, const Zyl8u *m, int mStep,
                    Zyl32f *d, int dStep, int w, int h, Zyl32f alpha)
    {
        auto rows = [&]<Access P>() {
            accumulate::rows<Rows, K, Masked, P>(a, aStep, b, bStep, m, mStep, d, dStep, w, h,
                                                 alpha);
        };
        constexpr bool srcCounts = std::is_same_v<T, Zyl32f> && (Masked || K == Op::Product);
        bool al = rows_aligned(d, dStep, h);
        if (srcCounts)
            al = al && rows_aligned(a, aStep, h) && (K != Op::Product || rows_aligned(b, bStep, h));
        if (K == Op::Weighted && accumulate::is_nan(alpha))
            rows.template operator()<Access{Unaligned, Unaligned, true}>();
        else if (!al) rows.template operator()<Access{Unaligned, Unaligned, false}>();
        else rows.template operator()<Access{Aligned, srcCounts ? Aligned : Unaligned, false}>();
    }

    // Per step: 16 pixels in two accumulator registers, then one step of 8; the row ends pixel
    // by pixel.
    template <Op K, bool Masked, Access P, class T>
    static void row(const T *a, const T *b, const Zyl8u *m, Zyl32f *d, int w, Zyl32f alpha)
    {
        const __m256 weight = _mm256_set1_ps(alpha);
        // Null for the forms without a second source or a mask.
        auto bx = [b](int x) { return K == Op::Product ? b + x : nullptr; };
        auto mx = [m](int x) { return Masked ? m + x : nullptr; };
        int x = 0;
        for (; x <= w - 16; x += 16) {
            update8<K, Masked, P>(a + x, bx(x), mx(x), d + x, weight);
            update8<K, Masked, P>(a + x + 8, bx(x + 8), mx(x + 8), d + x + 8, weight);
        }
        if (x <= w - 8) {
            update8<K, Masked, P>(a + x, bx(x), mx(x), d + x, weight);
            x += 8;
        }
        accumulate::accum_span<K, Masked>(a, b, m, d, x, w, alpha);
    }
};

}  // namespace
ZYLCV_ACCUMULATE_ENTRIES

}  // namespace zylcv::avx2
