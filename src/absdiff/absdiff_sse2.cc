// SSE2 absolute-difference kernels. 8u rows go in blocks of 32 pixels, then 8, then 1; 32f rows
// in blocks of 8, then 1. When every pointer and step is a multiple of 16 the 16-byte loads and
// stores are aligned, and stores bypass the cache for 32f images and for 8u images too large to
// stay in cache; the bits do not depend on the path. Images whose rows are contiguous in all
// operands run as one long row.
#include <emmintrin.h>

#include "absdiff.h"
#include "core/simd_sse2.h"

namespace zylcv::sse2 {
namespace {

// 8u images at least this large (destination bytes) are written around the cache.
constexpr long kStreamBytes8u = 512 * 1024;

__m128i absdiff16(__m128i a, __m128i b)
{
    return _mm_add_epi8(_mm_subs_epu8(a, b), _mm_subs_epu8(b, a));
}
__m128 absdiff4(__m128 a, __m128 b)
{
    return _mm_and_ps(_mm_sub_ps(a, b), _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF)));
}

// The second operand's blocks: another image row, or one constant in every lane.
template <class T> struct ImageRow : absdiff::ImageOperand<T> {
    template <int P> auto block(long x) const { return load<P>(this->p + x); }
    __m128i block8(long x) const { return load8(this->p + x); }
};
template <class T> struct Const;
template <> struct Const<Zyl8u> : absdiff::ConstOperand<Zyl8u> {
    __m128i lanes = _mm_set1_epi8(static_cast<char>(v));
    template <int P> __m128i block(long) const { return lanes; }
    __m128i block8(long) const { return lanes; }
};
template <> struct Const<Zyl32f> : absdiff::ConstOperand<Zyl32f> {
    __m128 lanes = _mm_set1_ps(v);
    template <int P> __m128 block(long) const { return lanes; }
};

struct Rows {
    template <class T> using Image = ImageRow<T>;
    template <class T> using Const = sse2::Const<T>;

    template <class T, class B>
    static void run(const T *a, int aStep, B b, const void *bPtr, int bStep, T *d, int dStep,
                    long w, int h, std::int64_t bytes)
    {
        bool al = aligned16(a) && aligned16(aStep) && aligned16(bPtr) && aligned16(bStep) &&
                  aligned16(d) && aligned16(dStep);
        bool stream = std::is_same_v<T, Zyl32f> || bytes >= kStreamBytes8u;
        if (!al) absdiff::rows<Rows, Unaligned>(a, aStep, b, bStep, d, dStep, w, h);
        else if (stream) absdiff::rows<Rows, Streaming>(a, aStep, b, bStep, d, dStep, w, h);
        else absdiff::rows<Rows, Aligned>(a, aStep, b, bStep, d, dStep, w, h);
    }

    // Per step: 32 pixels in two registers, then 8 in a half register; the row ends pixel by
    // pixel.
    template <int P, class B> static void row(const Zyl8u *a, const B &b, Zyl8u *d, long w)
    {
        long x = 0;
        for (; x + 32 <= w; x += 32) {
            __m128i a0 = load<P>(a + x), a1 = load<P>(a + x + 16);
            __m128i b0 = b.template block<P>(x), b1 = b.template block<P>(x + 16);
            in_registers(a0, a1, b0, b1);
            store<P>(d + x, absdiff16(a0, b0));
            store<P>(d + x + 16, absdiff16(a1, b1));
        }
        for (; x + 8 <= w; x += 8) store8(d + x, absdiff16(load8(a + x), b.block8(x)));
        absdiff::span(a, b, d, x, w);
    }

    // Per step: 8 pixels in two registers; the row ends pixel by pixel.
    template <int P, class B> static void row(const Zyl32f *a, const B &b, Zyl32f *d, long w)
    {
        long x = 0;
        for (; x + 8 <= w; x += 8) {
            __m128 r0 = absdiff4(load<P>(a + x), b.template block<P>(x));
            __m128 r1 = absdiff4(load<P>(a + x + 4), b.template block<P>(x + 4));
            store<P>(d + x, r0);
            store<P>(d + x + 4, r1);
        }
        absdiff::span(a, b, d, x, w);
    }

    template <int P> static void finish()
    {
        if constexpr (P == Streaming) _mm_sfence();
    }
};

}  // namespace
ZYLCV_ABSDIFF_ENTRIES

}  // namespace zylcv::sse2
