// SSE2 accumulator kernels. Rows go in blocks of 8 pixels (two 4-lane vectors of the
// accumulator), then pixel by pixel through the shared helper. 8-bit sources are widened to 16
// bits, squared or multiplied there exactly, widened to 32 and converted; masks turn into lanes
// that zero the source, the product or the weight. The accumulator is loaded and stored aligned
// when its pointer and step are multiples of 16 (for the 32f masked and two-source forms only
// when the 32f sources are too, and then those are loaded aligned as well); the bits do not
// depend on the path.
#include <emmintrin.h>

#include "accumulate.h"
#include "core/simd_sse2.h"

namespace zylcv::sse2 {
namespace {

// Lane by lane as add_first/mul_first: where a lane of the first operand is a NaN the second is
// +0.0, so that the first operand's NaN comes out whatever the hardware's rule for two NaNs.
__m128 unless_nan(__m128 a, __m128 b) { return _mm_andnot_ps(_mm_cmpunord_ps(a, a), b); }
__m128 add_first(__m128 a, __m128 b) { return _mm_add_ps(a, unless_nan(a, b)); }
__m128 mul_first(__m128 a, __m128 b) { return _mm_mul_ps(a, unless_nan(a, b)); }

using accumulate::Op;

// All-ones bytes where the 8 mask bytes are zero.
__m128i unselected8(const Zyl8u *m) { return _mm_cmpeq_epi8(load8(m), _mm_setzero_si128()); }

// The same, spread to two vectors of four 32-bit lanes.
void unselected32(const Zyl8u *m, __m128 &z0, __m128 &z1)
{
    __m128i z = unselected8(m);
    z = _mm_unpacklo_epi8(z, z);
    z0 = _mm_castsi128_ps(_mm_unpacklo_epi16(z, z));
    z1 = _mm_castsi128_ps(_mm_unpackhi_epi16(z, z));
}

// 8 pixels of an 8-bit source in 16-bit lanes: zero-extended for 8u, sign-extended for 8s.
template <class T> __m128i widen16(__m128i v)
{
    if constexpr (std::is_same_v<T, Zyl8u>) return _mm_unpacklo_epi8(v, _mm_setzero_si128());
    else return _mm_srai_epi16(_mm_unpacklo_epi8(v, v), 8);
}

// 8 pixels of an 8-bit source turned into the float terms of operation K: the source itself
// (Add, Weighted), its square or the product with the second source, exact in 16 bits (8u
// squares and products up to 65025 are read back unsigned, 8s products signed). With a mask
// the source bytes of unselected pixels are zeroed first, which zeroes the term.
template <Op K, bool Masked, class T>
void int_terms(const T *a, const T *b, const Zyl8u *m, __m128 &t0, __m128 &t1)
{
    __m128i v = load8(a);
    if constexpr (Masked && K != Op::Weighted) v = _mm_andnot_si128(unselected8(m), v);
    __m128i s = widen16<T>(v);
    if constexpr (K == Op::Square) s = _mm_mullo_epi16(s, s);
    if constexpr (K == Op::Product) s = _mm_mullo_epi16(s, widen16<T>(load8(b)));
    __m128i lo, hi;
    if constexpr (std::is_same_v<T, Zyl8s> && K != Op::Square) {
        lo = _mm_srai_epi32(_mm_unpacklo_epi16(s, s), 16);
        hi = _mm_srai_epi32(_mm_unpackhi_epi16(s, s), 16);
    } else {
        lo = _mm_unpacklo_epi16(s, _mm_setzero_si128());
        hi = _mm_unpackhi_epi16(s, _mm_setzero_si128());
    }
    t0 = _mm_cvtepi32_ps(lo);
    t1 = _mm_cvtepi32_ps(hi);
}

// 8 pixels of 32f sources turned into the terms of operation K; z0/z1 are the unselected lanes
// of a masked call: Add and Square zero the source, Product zeroes the product.
template <Op K, bool Masked, Path Src>
void f32_terms(const Zyl32f *a, const Zyl32f *b, __m128 z0, __m128 z1, __m128 &t0, __m128 &t1)
{
    t0 = load<Src>(a);
    t1 = load<Src>(a + 4);
    if constexpr (Masked && (K == Op::Add || K == Op::Square)) {
        t0 = _mm_andnot_ps(z0, t0);
        t1 = _mm_andnot_ps(z1, t1);
    }
    if constexpr (K == Op::Square) {
        t0 = _mm_mul_ps(t0, t0);
        t1 = _mm_mul_ps(t1, t1);
    }
    if constexpr (K == Op::Product) {
        t0 = mul_first(t0, load<Src>(b));
        t1 = mul_first(t1, load<Src>(b + 4));
        if constexpr (Masked) {
            t0 = _mm_andnot_ps(z0, t0);
            t1 = _mm_andnot_ps(z1, t1);
        }
    }
}

// How a row is run: the access path of the accumulator and of 32f sources, and whether the
// weight may be a NaN (then the product (s - D) * alpha needs the NaN guard; otherwise its only
// possible NaN operand is the difference).
struct Access {
    Path acc, src;
    bool nanWeight;
};

// A pointer and step that keep every row on a 16-byte boundary (a single row needs no step).
bool rows_aligned(const void *p, int step, int h)
{
    return aligned16(p) && (h == 1 || aligned16(step));
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
    // Per step: 8 pixels, D + term, or for Weighted D + (s - D) * alpha with the weight zeroed in
    // unselected lanes; the row ends pixel by pixel. The final add needs the NaN guard only for 32f
    // sources: with 8-bit ones a NaN increment can only come from a NaN D, whose quieted pattern
    // it then is.
    template <Op K, bool Masked, Access P, class T>
    static void row(const T *a, const T *b, const Zyl8u *m, Zyl32f *d, int w, Zyl32f alpha)
    {
        constexpr bool f32 = std::is_same_v<T, Zyl32f>;
        const __m128 weight = _mm_set1_ps(alpha);
        int x = 0;
        for (; x <= w - 8; x += 8) {
            // Null for the forms without a second source or a mask.
            const T *bx = K == Op::Product ? b + x : nullptr;
            const Zyl8u *mx = Masked ? m + x : nullptr;
            __m128 z0 = _mm_setzero_ps(), z1 = _mm_setzero_ps();
            if constexpr (Masked && (f32 || K == Op::Weighted)) unselected32(mx, z0, z1);
            __m128 t0, t1;
            if constexpr (f32) f32_terms<K, Masked, P.src>(a + x, bx, z0, z1, t0, t1);
            else int_terms<K, Masked>(a + x, bx, mx, t0, t1);
            __m128 d0 = load<P.acc>(d + x), d1 = load<P.acc>(d + x + 4);
            if constexpr (K == Op::Weighted) {
                __m128 w0 = Masked ? _mm_andnot_ps(z0, weight) : weight;
                __m128 w1 = Masked ? _mm_andnot_ps(z1, weight) : weight;
                t0 = _mm_sub_ps(t0, d0);
                t1 = _mm_sub_ps(t1, d1);
                t0 = P.nanWeight ? mul_first(t0, w0) : _mm_mul_ps(t0, w0);
                t1 = P.nanWeight ? mul_first(t1, w1) : _mm_mul_ps(t1, w1);
            }
            if constexpr (f32) {
                d0 = add_first(d0, t0);
                d1 = add_first(d1, t1);
            } else {
                d0 = _mm_add_ps(d0, t0);
                d1 = _mm_add_ps(d1, t1);
            }
            store<P.acc>(d + x, d0);
            store<P.acc>(d + x + 4, d1);
        }
        accumulate::accum_span<K, Masked>(a, b, m, d, x, w, alpha);
    }
};

}  // namespace
ZYLCV_ACCUMULATE_ENTRIES

}  // namespace zylcv::sse2
