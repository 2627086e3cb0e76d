// SSE2 absolute-difference kernels. 8u rows go in blocks of 32 pixels, then 8, then 1; 32f rows
// in blocks of 8, then 1. When every pointer and step is a multiple of 16 the 16-byte loads and
// stores are aligned, and stores bypass the cache for 32f images and for 8u images too large to
// stay in cache; the bits do not depend on the path. Images whose rows are contiguous in all
// operands run as one long row.
#include <emmintrin.h>

#include <limits>

#include "absdiff.h"

namespace zylcv::sse2 {
namespace {

// How a row's 16-byte blocks are accessed: unaligned, aligned, or aligned with stores that
// bypass the cache.
enum Path { Unaligned, Aligned, Streaming };

template <int P> __m128i load(const Zyl8u *p)
{
    auto q = reinterpret_cast<const __m128i *>(p);
    return P == Unaligned ? _mm_loadu_si128(q) : _mm_load_si128(q);
}
template <int P> void store(Zyl8u *p, __m128i v)
{
    auto q = reinterpret_cast<__m128i *>(p);
    if constexpr (P == Streaming) _mm_stream_si128(q, v);
    else if constexpr (P == Aligned) _mm_store_si128(q, v);
    else _mm_storeu_si128(q, v);
}
template <int P> __m128 load(const Zyl32f *p) { return P == Unaligned ? _mm_loadu_ps(p) : _mm_load_ps(p); }
template <int P> void store(Zyl32f *p, __m128 v)
{
    if constexpr (P == Streaming) _mm_stream_ps(p, v);
    else if constexpr (P == Aligned) _mm_store_ps(p, v);
    else _mm_storeu_ps(p, v);
}
// Keeps loaded blocks in registers: without it the compiler loads each operand twice, once
// per saturating difference, which costs more than the arithmetic.
template <class V> void in_register(V &v) { asm("" : "+x"(v)); }
template <class... V> void in_registers(V &...v) { (in_register(v), ...); }

// 8u images at least this large (destination bytes) are written around the cache.
constexpr long kStreamBytes8u = 512 * 1024;
__m128i load8(const Zyl8u *p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i *>(p)); }
void store8(Zyl8u *p, __m128i v) { _mm_storel_epi64(reinterpret_cast<__m128i *>(p), v); }

__m128i absdiff16(__m128i a, __m128i b) { return _mm_add_epi8(_mm_subs_epu8(a, b), _mm_subs_epu8(b, a)); }
__m128 absdiff4(__m128 a, __m128 b)
{
    return _mm_and_ps(_mm_sub_ps(a, b), _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF)));
}

// The second operand of a row: another image row, or one constant in every lane.
template <class T> struct RowOperand {
    const T *p;
    template <int P> auto block(long x) const { return load<P>(p + x); }
    __m128i block8(long x) const { return load8(reinterpret_cast<const Zyl8u *>(p) + x); }
    T px(long x) const { return p[x]; }
    void next(int step) { p = advance(p, step); }
};
struct ConstOperand8u {
    Zyl8u v;
    __m128i lanes = _mm_set1_epi8(static_cast<char>(v));
    template <int P> __m128i block(long) const { return lanes; }
    __m128i block8(long) const { return lanes; }
    Zyl8u px(long) const { return v; }
    void next(int) {}
};
struct ConstOperand32f {
    Zyl32f v;
    __m128 lanes = _mm_set1_ps(v);
    template <int P> __m128 block(long) const { return lanes; }
    Zyl32f px(long) const { return v; }
    void next(int) {}
};

// Per step: 32 pixels in two registers, then 8 in a half register; the row ends pixel by pixel.
template <int P, class B> void row(const Zyl8u *a, const B &b, Zyl8u *d, long w)
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
    for (; x < w; ++x) d[x] = absdiff_px(a[x], b.px(x));
}

// Per step: 8 pixels in two registers; the row ends pixel by pixel.
template <int P, class B> void row(const Zyl32f *a, const B &b, Zyl32f *d, long w)
{
    long x = 0;
    for (; x + 8 <= w; x += 8) {
        __m128 r0 = absdiff4(load<P>(a + x), b.template block<P>(x));
        __m128 r1 = absdiff4(load<P>(a + x + 4), b.template block<P>(x + 4));
        store<P>(d + x, r0);
        store<P>(d + x + 4, r1);
    }
    for (; x < w; ++x) d[x] = absdiff_px(a[x], b.px(x));
}

template <int P, class T, class B>
void rows(const T *a, int aStep, B b, int bStep, T *d, int dStep, long w, int h)
{
    for (int y = 0; y < h; ++y) {
        row<P>(a, b, d, w);
        a = advance(a, aStep);
        b.next(bStep);
        d = advance(d, dStep);
    }
    if constexpr (P == Streaming) _mm_sfence();
}

// bPtr/bStep describe the second image, or are null/0 for a constant.
template <class T, class B>
void dispatch(const T *a, int aStep, B b, const void *bPtr, int bStep, T *d, int dStep, int w, int h)
{
    // Image sizes in 64 bits; a merged row's width must fit `long`, which on i386 is 32 bits.
    const std::int64_t rowBytes = std::int64_t(w) * std::int64_t(sizeof(T)), bytes = rowBytes * h;
    long width = w;
    if (aStep == rowBytes && dStep == rowBytes && (!bPtr || bStep == rowBytes) &&
        std::int64_t(w) * h <= std::numeric_limits<long>::max()) {
        width = long(w) * h;  // contiguous rows: one long row
        h = 1;
    }
    bool al = aligned16(a) && aligned16(aStep) && aligned16(bPtr) && aligned16(bStep) &&
              aligned16(d) && aligned16(dStep);
    bool stream = std::is_same_v<T, Zyl32f> || bytes >= kStreamBytes8u;
    if (!al) rows<Unaligned>(a, aStep, b, bStep, d, dStep, width, h);
    else if (stream) rows<Streaming>(a, aStep, b, bStep, d, dStep, width, h);
    else rows<Aligned>(a, aStep, b, bStep, d, dStep, width, h);
}

}  // namespace

void absdiff(const Zyl8u *s1, int s1Step, const Zyl8u *s2, int s2Step, Zyl8u *d, int dStep, int w,
             int h)
{
    dispatch(s1, s1Step, RowOperand<Zyl8u>{s2}, s2, s2Step, d, dStep, w, h);
}
void absdiff(const Zyl32f *s1, int s1Step, const Zyl32f *s2, int s2Step, Zyl32f *d, int dStep,
             int w, int h)
{
    dispatch(s1, s1Step, RowOperand<Zyl32f>{s2}, s2, s2Step, d, dStep, w, h);
}
void absdiffc(const Zyl8u *s, int sStep, Zyl8u *d, int dStep, int w, int h, Zyl8u v)
{
    dispatch(s, sStep, ConstOperand8u{v}, nullptr, 0, d, dStep, w, h);
}
void absdiffc(const Zyl32f *s, int sStep, Zyl32f *d, int dStep, int w, int h, Zyl32f v)
{
    dispatch(s, sStep, ConstOperand32f{v}, nullptr, 0, d, dStep, w, h);
}

}  // namespace zylcv::sse2
