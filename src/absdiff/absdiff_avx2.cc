// AVX2 absolute-difference kernels. 8u rows go in blocks of 64 pixels, then 16, then 8, then 1;
// 32f rows in blocks of 16, then 4, then 1. When every pointer and step is a multiple of 32 the
// 32-byte loads and stores are aligned, and stores bypass the cache for destinations too large
// to stay in cache; the bits do not depend on the path. Images whose rows are
// contiguous in all operands run as one long row.
#include "absdiff.h"
#include "core/simd_avx2.h"

namespace zylcv::avx2 {
namespace {

// Destinations at least this large are written around the cache: smaller ones, with their
// sources, stay in the last-level cache, where ordinary stores are faster.
constexpr long kStreamBytes = 4 * 1024 * 1024;

ZYLCV_INLINE __m256i absdiff32(__m256i a, __m256i b)
{
    return _mm256_or_si256(_mm256_subs_epu8(a, b), _mm256_subs_epu8(b, a));
}
ZYLCV_INLINE __m128i absdiff16(__m128i a, __m128i b)
{
    return _mm_or_si128(_mm_subs_epu8(a, b), _mm_subs_epu8(b, a));
}
ZYLCV_INLINE __m256 absdiff8(__m256 a, __m256 b)
{
    return _mm256_and_ps(_mm256_sub_ps(a, b), _mm256_castsi256_ps(_mm256_set1_epi32(0x7FFFFFFF)));
}
ZYLCV_INLINE __m128 absdiff4(__m128 a, __m128 b)
{
    return _mm_and_ps(_mm_sub_ps(a, b), _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF)));
}

// The second operand's blocks: another image row, or one constant in every lane.
template <class T> struct ImageRow : absdiff::ImageOperand<T> {
    template <int P> auto block(long x) const { return load<P>(this->p + x); }
    auto half(long x) const { return sse2::load(this->p + x); }
    __m128i block8(long x) const { return sse2::load8(this->p + x); }
};
template <class T> struct Const;
template <> struct Const<Zyl8u> : absdiff::ConstOperand<Zyl8u> {
    __m256i lanes = _mm256_set1_epi8(static_cast<char>(v));
    template <int P> __m256i block(long) const { return lanes; }
    __m128i half(long) const { return _mm256_castsi256_si128(lanes); }
    __m128i block8(long) const { return _mm256_castsi256_si128(lanes); }
};
template <> struct Const<Zyl32f> : absdiff::ConstOperand<Zyl32f> {
    __m256 lanes = _mm256_set1_ps(v);
    template <int P> __m256 block(long) const { return lanes; }
    __m128 half(long) const { return _mm256_castps256_ps128(lanes); }
};

struct Rows {
    template <class T> using Image = ImageRow<T>;
    template <class T> using Const = avx2::Const<T>;

    template <class T, class B>
    static void run(const T *a, int aStep, B b, const void *bPtr, int bStep, T *d, int dStep,
                    long w, int h, std::int64_t bytes)
    {
        bool al = aligned32(a) && aligned32(aStep) && aligned32(bPtr) && aligned32(bStep) &&
                  aligned32(d) && aligned32(dStep);
        bool stream = bytes >= kStreamBytes;
        if (!al) absdiff::rows<Rows, Unaligned>(a, aStep, b, bStep, d, dStep, w, h);
        else if (stream) absdiff::rows<Rows, Streaming>(a, aStep, b, bStep, d, dStep, w, h);
        else absdiff::rows<Rows, Aligned>(a, aStep, b, bStep, d, dStep, w, h);
    }

    // Per step: 64 pixels in two registers, then 16 and 8 in narrower ones; the row ends pixel
    // by pixel.
    template <int P, class B> static void row(const Zyl8u *a, const B &b, Zyl8u *d, long w)
    {
        long x = 0;
        for (; x + 64 <= w; x += 64) {
            __m256i a0 = load<P>(a + x), a1 = load<P>(a + x + 32);
            __m256i b0 = b.template block<P>(x), b1 = b.template block<P>(x + 32);
            store<P>(d + x, absdiff32(a0, b0));
            store<P>(d + x + 32, absdiff32(a1, b1));
        }
        for (; x + 16 <= w; x += 16) sse2::store(d + x, absdiff16(sse2::load(a + x), b.half(x)));
        for (; x + 8 <= w; x += 8) sse2::store8(d + x, absdiff16(sse2::load8(a + x), b.block8(x)));
        absdiff::span(a, b, d, x, w);
    }

    // Per step: 16 pixels in two registers, then 4 in one half; the row ends pixel by pixel.
    template <int P, class B> static void row(const Zyl32f *a, const B &b, Zyl32f *d, long w)
    {
        long x = 0;
        for (; x + 16 <= w; x += 16) {
            __m256 r0 = absdiff8(load<P>(a + x), b.template block<P>(x));
            __m256 r1 = absdiff8(load<P>(a + x + 8), b.template block<P>(x + 8));
            store<P>(d + x, r0);
            store<P>(d + x + 8, r1);
        }
        for (; x + 4 <= w; x += 4) sse2::store(d + x, absdiff4(sse2::load(a + x), b.half(x)));
        absdiff::span(a, b, d, x, w);
    }

    template <int P> static void finish()
    {
        if constexpr (P == Streaming) _mm_sfence();
    }
};

}  // namespace
ZYLCV_ABSDIFF_ENTRIES

}  // namespace zylcv::avx2
