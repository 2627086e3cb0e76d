// SSE2 pyramid kernels. 8-bit PyrDown works in unsigned 16-bit lanes (8s on bytes biased by
// +128) and packs with unsigned saturation; PyrUp of 8-bit images keeps 32-bit ring values;
// 32f lanes follow the scalar forms' operation order with the operand order pinned. Blocks read
// the source only inside the row: the first and last columns (whose taps are mirrored) go
// through the scalar spans, and a row's last block is moved back to end inside the row,
// overlapping the one before; so no source byte is ever written or read past. Ring rows are
// 16-byte aligned; sources and destinations may have any alignment.
#include <emmintrin.h>

#include "core/simd_sse2.h"
#include "pyramid.h"

namespace zylcv::sse2 {
namespace {

using namespace pyramid;

// ---- ring loads and lane helpers ----------------------------------------------------------------

// Ring loads: aligned where the element offset is a whole number of 16-byte blocks, unaligned for
// a row's last, overlapping block.
template <int P> struct RingLoad {
    template <class E> __m128i operator()(const E *p) const { return load<P>(p); }
    __m128 operator()(const float *p) const { return load<P>(p); }
};

// The header's block walk with aligned ring loads on the regular steps (vertical passes start at
// 0) and unaligned ones at the last, overlapping block.
template <int N, class F> int blocks(int from, int last, F block)
{
    return pyramid::blocks<N, RingLoad<Aligned>, RingLoad<Unaligned>>(from, last, block);
}

__m128 times(float k, __m128 v) { return _mm_mul_ps(_mm_set1_ps(k), v); }

template <class T> const Zyl8u *bytes(const T *p) { return reinterpret_cast<const Zyl8u *>(p); }
// 8s bytes to and from the unsigned range (+128 modulo 256); nothing for 8u.
template <class T> __m128i biased(__m128i v)
{
    if constexpr (std::is_same_v<T, Zyl8s>) return _mm_xor_si128(v, _mm_set1_epi8(char(0x80)));
    else return v;
}

// Low eight bytes to 16-bit lanes: zero-extended for 8u, sign-extended for 8s.
template <class T> __m128i widen8(__m128i v)
{
    if constexpr (std::is_same_v<T, Zyl8s>) return _mm_srai_epi16(_mm_unpacklo_epi8(v, v), 8);
    else return _mm_unpacklo_epi8(v, _mm_setzero_si128());
}
// Low or high four 16-bit lanes to 32-bit lanes, sign-extended.
__m128i widen16lo(__m128i v) { return _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16); }
__m128i widen16hi(__m128i v) { return _mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16); }
// Eight 16-bit lanes of two registers to sixteen bytes with the type's saturation.
template <class T> __m128i pack16(__m128i a, __m128i b)
{
    return std::is_same_v<T, Zyl8s> ? _mm_packs_epi16(a, b) : _mm_packus_epi16(a, b);
}

// The tag by which the header's PackedRows finds this file's kernels: each kernel takes it first.
struct Kernels {};

// ---- 8-bit PyrDown ----------------------------------------------------------------------------

// C1, per step 8 columns from three overlapping 16-byte loads at 2x - 2, 2x and 2x + 2, whose
// even and odd bytes are the five taps; the last block ends where its last load ends the row
// (overlapping the one before), the first and last columns take the folded forms.
template <class T> void down_row8_c1(Kernels, const T *src, int W, std::uint16_t *h)
{
    const Zyl8u *s = bytes(src);
    const __m128i even = _mm_set1_epi16(0x00FF);
    down_h_span<1>(src, W, h, 0, 1);
    const int x = blocks<8>(1, (W - 18) / 2, [&](int x, auto) {
        const __m128i a = biased<T>(load(s + 2 * x - 2));
        const __m128i b = biased<T>(load(s + 2 * x));
        const __m128i c = biased<T>(load(s + 2 * x + 2));
        const __m128i mid = _mm_and_si128(b, even);
        __m128i t = _mm_add_epi16(_mm_srli_epi16(a, 8), _mm_srli_epi16(b, 8));
        t = _mm_slli_epi16(_mm_add_epi16(t, mid), 2);
        t = _mm_add_epi16(t, _mm_add_epi16(mid, mid));
        t = _mm_add_epi16(t, _mm_add_epi16(_mm_and_si128(a, even), _mm_and_si128(c, even)));
        store(h + x, t);
    });
    down_h_span<1>(src, W, h, x, W / 2);
}

// C3, per step 2 output pixels: each tap is two 4-byte loads 6 bytes apart (lanes 0-2 for the
// first pixel, 4-6 for the second, lanes 3 and 7 spare); two 8-byte stores, the spare lane of each
// overwritten by the next store. The last pair ends before the last pixel (overlapping the pair
// before); the first and last pixels take the folded forms.
template <class T> void down_row8_c3(Kernels, const T *src, int W, std::uint16_t *h)
{
    const Zyl8u *s = bytes(src);
    const __m128i zero = _mm_setzero_si128();
    auto tap = [&](const Zyl8u *p) {
        return _mm_unpacklo_epi8(biased<T>(_mm_unpacklo_epi32(load4(p), load4(p + 6))), zero);
    };
    down_h_span<3>(src, W, h, 0, 1);
    const int x = blocks<2>(1, W / 2 - 3, [&](int x, auto) {
        const Zyl8u *p = s + 6 * x;
        const __m128i mid = tap(p);
        __m128i t = _mm_slli_epi16(_mm_add_epi16(_mm_add_epi16(tap(p - 3), tap(p + 3)), mid), 2);
        t = _mm_add_epi16(t, _mm_add_epi16(mid, mid));
        t = _mm_add_epi16(t, _mm_add_epi16(tap(p - 6), tap(p + 6)));
        store8(h + 3 * x, t);
        store8(h + 3 * x + 3, _mm_srli_si128(t, 8));
    });
    down_h_span<3>(src, W, h, x, W / 2);
}

// Vertical pass, per step 16 elements (8 in rows shorter than 16) from the five ring rows: the sum
// fits an unsigned 16-bit lane (at most 65 280), +128 and >> 8 in the lane, unsigned saturating
// pack, 8s bias removed on the bytes. Rows are already mapped by the border rule, which for
// integer sums equals the folded forms. The last block overlaps the one before; rows shorter
// than 8 go element by element.
template <class T> void down_col8(Kernels, const std::uint16_t *const *r, RowForm f, T *dst, int n)
{
    Zyl8u *d = reinterpret_cast<Zyl8u *>(dst);
    const std::uint16_t *r0 = r[0], *r1 = r[1], *r2 = r[2], *r3 = r[3], *r4 = r[4];
    const __m128i round = _mm_set1_epi16(128);
    auto col = [&](int j, auto ld) {
        const __m128i c = ld(r2 + j);
        __m128i t = _mm_slli_epi16(_mm_add_epi16(_mm_add_epi16(ld(r1 + j), ld(r3 + j)), c), 2);
        t = _mm_add_epi16(_mm_add_epi16(t, _mm_add_epi16(c, c)),
                          _mm_add_epi16(ld(r0 + j), ld(r4 + j)));
        return _mm_srli_epi16(_mm_add_epi16(t, round), 8);
    };
    int j = blocks<16>(0, n - 16, [&](int j, auto ld) {
        store(d + j, biased<T>(_mm_packus_epi16(col(j, ld), col(j + 8, ld))));
    });
    if (j == 0)
        j = blocks<8>(0, n - 8, [&](int j, auto ld) {
            const __m128i v = col(j, ld);
            store8(d + j, biased<T>(_mm_packus_epi16(v, v)));
        });
    down_v_span(r, f, dst, j, n);
}

// ---- 32f PyrDown -------------------------------------------------------------------------------

// Four columns from the loads at 2x - 2, 2x, 2x + 2, 2x + 4 and 2x + 6, split into even and odd
// samples.
__m128 down_h4(__m128 l0, __m128 l1, __m128 l2, __m128 l3, __m128 l4)
{
    const __m128 em1 = _mm_shuffle_ps(l0, l2, _MM_SHUFFLE(2, 0, 2, 0));
    const __m128 om1 = _mm_shuffle_ps(l0, l2, _MM_SHUFFLE(3, 1, 3, 1));
    const __m128 e0 = _mm_shuffle_ps(l1, l3, _MM_SHUFFLE(2, 0, 2, 0));
    const __m128 o0 = _mm_shuffle_ps(l1, l3, _MM_SHUFFLE(3, 1, 3, 1));
    const __m128 e1 = _mm_shuffle_ps(l2, l4, _MM_SHUFFLE(2, 0, 2, 0));
    return add_ordered(add_ordered(add_ordered(times(6, e0), times(4, add_ordered(om1, o0))), em1),
                       e1);
}

// C1, per step 8 columns from nine overlapping loads at 2x - 2 .. 2x + 14 (4 columns from five
// loads in rows too short for 8); the last block ends where its last load ends the row
// (overlapping the one before), the first and last columns take the folded forms.
void down_row32_c1(Kernels, const Zyl32f *s, int W, float *h)
{
    down_h_span<1>(s, W, h, 0, 1);
    int x = blocks<8>(1, (W - 18) / 2, [&](int x, auto) {
        const float *p = s + 2 * x;
        const __m128 l0 = _mm_loadu_ps(p - 2), l1 = _mm_loadu_ps(p), l2 = _mm_loadu_ps(p + 2),
                     l3 = _mm_loadu_ps(p + 4), l4 = _mm_loadu_ps(p + 6), l5 = _mm_loadu_ps(p + 8),
                     l6 = _mm_loadu_ps(p + 10), l7 = _mm_loadu_ps(p + 12),
                     l8 = _mm_loadu_ps(p + 14);
        _mm_storeu_ps(h + x, down_h4(l0, l1, l2, l3, l4));
        _mm_storeu_ps(h + x + 4, down_h4(l4, l5, l6, l7, l8));
    });
    if (x == 1)
        x = blocks<4>(1, (W - 10) / 2, [&](int x, auto) {
            const float *p = s + 2 * x;
            _mm_storeu_ps(h + x, down_h4(_mm_loadu_ps(p - 2), _mm_loadu_ps(p), _mm_loadu_ps(p + 2),
                                         _mm_loadu_ps(p + 4), _mm_loadu_ps(p + 6)));
        });
    down_h_span<1>(s, W, h, x, W / 2);
}

// One C3 pixel from the loads of source pixels 2x - 2 .. 2x + 2 (each with a spare fourth lane).
__m128 down_px3(__m128 a, __m128 b, __m128 c, __m128 d, __m128 e)
{
    return add_ordered(add_ordered(add_ordered(times(6, c), times(4, add_ordered(b, d))), a), e);
}

// C3, per step 2 output pixels from seven loads of source pixels 2x - 2 .. 2x + 4, each result
// stored with a spare fourth lane that the next store overwrites; the last pair overlaps the one
// before, the first and last pixels take the folded forms.
void down_row32_c3(Kernels, const Zyl32f *s, int W, float *h)
{
    down_h_span<3>(s, W, h, 0, 1);
    int x = blocks<2>(1, W / 2 - 3, [&](int x, auto) {
        const float *p = s + 6 * x;
        const __m128 l0 = _mm_loadu_ps(p - 6), l1 = _mm_loadu_ps(p - 3), l2 = _mm_loadu_ps(p),
                     l3 = _mm_loadu_ps(p + 3), l4 = _mm_loadu_ps(p + 6), l5 = _mm_loadu_ps(p + 9),
                     l6 = _mm_loadu_ps(p + 12);
        _mm_storeu_ps(h + 3 * x, down_px3(l0, l1, l2, l3, l4));
        _mm_storeu_ps(h + 3 * x + 3, down_px3(l2, l3, l4, l5, l6));
    });
    for (; x <= W / 2 - 2; ++x) {  // a row of 3 output pixels has one interior pixel
        const float *p = s + 6 * x;
        _mm_storeu_ps(h + 3 * x, down_px3(_mm_loadu_ps(p - 6), _mm_loadu_ps(p - 3), _mm_loadu_ps(p),
                                          _mm_loadu_ps(p + 3), _mm_loadu_ps(p + 6)));
    }
    down_h_span<3>(s, W, h, x, W / 2);
}

// Vertical pass in the order of the row's form, 4 elements per step from the ring rows; the last
// block overlaps the one before, rows shorter than 4 go element by element.
template <RowForm F, class Ld> __m128 down_v4(const float *const (&r)[5], int j, Ld ld)
{
    return down_v_lanes<F>([&](int k) { return ld(r[k] + j); },
                           [](__m128 a, __m128 b) { return add_ordered(a, b); },
                           [](float k, __m128 v) { return times(k, v); });
}
template <RowForm F> void down_cols32(Kernels, const float *const *rows, Zyl32f *d, int n)
{
    const float *const r[5] = {rows[0], rows[1], rows[2], rows[3], rows[4]};  // kept in registers
    const int j = blocks<4>(0, n - 4, [&](int j, auto ld) {
        _mm_storeu_ps(d + j, times(0.00390625f, down_v4<F>(r, j, ld)));
    });
    down_v_span(rows, F, d, j, n);
}

// ---- 8-bit PyrUp -----------------------------------------------------------------------------

// C1, per step 8 source pixels: three 8-byte loads at i - 1, i, i + 1 in 16-bit lanes, even and
// odd outputs interleaved and widened to four 16-byte stores; the last block ends before the
// last pixel (overlapping the one before), the first and last pixels take the folded forms.
template <class T> void up_row8_c1(Kernels, const T *src, int W, std::int32_t *u)
{
    const Zyl8u *s = bytes(src);
    up_h_span<1>(src, W, u, 0, 1);
    const int i = blocks<8>(1, W - 9, [&](int i, auto) {
        const __m128i a = widen8<T>(load8(s + i - 1)), b = widen8<T>(load8(s + i)),
                      c = widen8<T>(load8(s + i + 1));
        const __m128i e = _mm_add_epi16(_mm_add_epi16(a, c),
                                        _mm_add_epi16(_mm_slli_epi16(b, 1), _mm_slli_epi16(b, 2)));
        const __m128i o = _mm_slli_epi16(_mm_add_epi16(b, c), 2);
        const __m128i lo = _mm_unpacklo_epi16(e, o), hi = _mm_unpackhi_epi16(e, o);
        store(u + 2 * i, widen16lo(lo));
        store(u + 2 * i + 4, widen16hi(lo));
        store(u + 2 * i + 8, widen16lo(hi));
        store(u + 2 * i + 12, widen16hi(hi));
    });
    up_h_span<1>(src, W, u, i, W);
}

// C3, per step 2 source pixels: 4-byte loads of pixels i - 1 .. i + 2 paired into 16-bit lanes
// (lanes 0-2 and 4-6), four 16-byte stores of three outputs each whose spare lane the next store
// overwrites; the last pair overlaps the one before, the last two pixels go through the scalar
// span.
template <class T> void up_row8_c3(Kernels, const T *src, int W, std::int32_t *u)
{
    const Zyl8u *s = bytes(src);
    up_h_span<3>(src, W, u, 0, 1);
    const int i = blocks<2>(1, W - 4, [&](int i, auto) {
        const Zyl8u *p = s + 3 * i;
        const __m128i l0 = load4(p - 3), l1 = load4(p), l2 = load4(p + 3), l3 = load4(p + 6);
        const __m128i a = widen8<T>(_mm_unpacklo_epi32(l0, l1)),
                      b = widen8<T>(_mm_unpacklo_epi32(l1, l2)),
                      c = widen8<T>(_mm_unpacklo_epi32(l2, l3));
        const __m128i e = _mm_add_epi16(_mm_add_epi16(a, c),
                                        _mm_add_epi16(_mm_slli_epi16(b, 1), _mm_slli_epi16(b, 2)));
        const __m128i o = _mm_slli_epi16(_mm_add_epi16(b, c), 2);
        store(u + 6 * i, widen16lo(e));
        store(u + 6 * i + 3, widen16lo(o));
        store(u + 6 * i + 6, widen16hi(e));
        store(u + 6 * i + 9, widen16hi(o));
    });
    up_h_span<3>(src, W, u, i, W);
}

// Vertical pass, per step 16 elements of both output rows from three ring rows (mapped by the
// border rule, which for integer sums equals the folded forms): 1-6-1 and 4-4 sums, +32,
// arithmetic >> 6, packed with the type's saturation; the last block overlaps the one before,
// rows shorter than 16 go element by element.
template <class T>
void up_col8(Kernels, const std::int32_t *a, const std::int32_t *b, const std::int32_t *c,
             RowForm f, T *d0, T *d1, int n)
{
    const __m128i round = _mm_set1_epi32(32);
    auto even = [&](int j, auto ld) {
        const __m128i m = ld(b + j);
        const __m128i t = _mm_add_epi32(_mm_add_epi32(_mm_slli_epi32(m, 1), _mm_slli_epi32(m, 2)),
                                        _mm_add_epi32(ld(a + j), ld(c + j)));
        return _mm_srai_epi32(_mm_add_epi32(t, round), 6);
    };
    auto odd = [&](int j, auto ld) {
        const __m128i t = _mm_slli_epi32(_mm_add_epi32(ld(b + j), ld(c + j)), 2);
        return _mm_srai_epi32(_mm_add_epi32(t, round), 6);
    };
    const int j = blocks<16>(0, n - 16, [&](int j, auto ld) {
        store(d0 + j, pack16<T>(_mm_packs_epi32(even(j, ld), even(j + 4, ld)),
                                _mm_packs_epi32(even(j + 8, ld), even(j + 12, ld))));
        store(d1 + j, pack16<T>(_mm_packs_epi32(odd(j, ld), odd(j + 4, ld)),
                                _mm_packs_epi32(odd(j + 8, ld), odd(j + 12, ld))));
    });
    up_v_span(a, b, c, f, d0, d1, j, n);
}

// ---- 32f PyrUp --------------------------------------------------------------------------------

// C1, per step 4 source pixels from loads at i - 1, i, i + 1, even and odd outputs interleaved
// into two stores; the last block ends before the last pixel (overlapping the one before), the
// first and last pixels take the folded forms.
void up_row32_c1(Kernels, const Zyl32f *s, int W, float *u)
{
    up_h_span<1>(s, W, u, 0, 1);
    const int i = blocks<4>(1, W - 5, [&](int i, auto) {
        const __m128 a = _mm_loadu_ps(s + i - 1), b = _mm_loadu_ps(s + i),
                     c = _mm_loadu_ps(s + i + 1);
        const __m128 e = add_ordered(add_ordered(times(6, b), a), c),
                     o = times(4, add_ordered(b, c));
        _mm_storeu_ps(u + 2 * i, _mm_unpacklo_ps(e, o));
        _mm_storeu_ps(u + 2 * i + 4, _mm_unpackhi_ps(e, o));
    });
    up_h_span<1>(s, W, u, i, W);
}

// C3, per step 1 source pixel: loads of pixels i - 1, i, i + 1 with a spare fourth lane, two
// stores whose spare lane the next store overwrites; the last two pixels go through the scalar
// span.
void up_row32_c3(Kernels, const Zyl32f *s, int W, float *u)
{
    up_h_span<3>(s, W, u, 0, 1);
    int i = 1;
    for (; i <= W - 3; ++i) {
        const float *p = s + 3 * i;
        const __m128 a = _mm_loadu_ps(p - 3), b = _mm_loadu_ps(p), c = _mm_loadu_ps(p + 3);
        _mm_storeu_ps(u + 6 * i, add_ordered(add_ordered(times(6, b), a), c));
        _mm_storeu_ps(u + 6 * i + 3, times(4, add_ordered(b, c)));
    }
    up_h_span<3>(s, W, u, i, W);
}

// Vertical pass in the order of the row pair's form, 4 elements of both rows per step from the
// ring rows; the last block overlaps the one before, rows shorter than 4 go element by element.
template <RowForm F>
void up_cols32(Kernels, const float *a, const float *b, const float *c, Zyl32f *d0, Zyl32f *d1,
               int n)
{
    const __m128 scale = _mm_set1_ps(0.015625f);
    const int j = blocks<4>(0, n - 4, [&](int j, auto ld) {
        const __m128 m = ld(b + j);
        __m128 e, o;
        if constexpr (F == RowForm::Only) {
            e = o = times(8, m);
        } else if constexpr (F == RowForm::First) {
            const __m128 r = ld(c + j);
            e = times(2, add_ordered(times(3, m), r));
            o = times(4, add_ordered(m, r));
        } else if constexpr (F == RowForm::Last) {
            e = add_ordered(times(7, m), ld(a + j));
            o = times(8, m);
        } else {
            const __m128 r = ld(c + j);
            e = add_ordered(add_ordered(times(6, m), ld(a + j)), r);
            o = times(4, add_ordered(m, r));
        }
        _mm_storeu_ps(d0 + j, _mm_mul_ps(e, scale));
        _mm_storeu_ps(d1 + j, _mm_mul_ps(o, scale));
    });
    up_v_span(a, b, c, F, d0, d1, j, n);
}

using Rows = PackedRows<Kernels>;

}  // namespace
ZYLCV_PYRAMID_ENTRIES

}  // namespace zylcv::sse2
