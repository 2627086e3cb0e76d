// Gaussian 5x5 pyramid kernels: the border index rules, the ring of filtered rows in the
// caller's buffer, the folded border forms and the scalar spans shared by all twins, the row
// operations of the packed twins over their kernels, the image drivers (templates over a twin's
// row operations) and the twins' entries.
#ifndef ZYLCV_PYRAMID_PYRAMID_H
#define ZYLCV_PYRAMID_PYRAMID_H

#include "core/internal.h"

namespace zylcv::pyramid {

// ---- arithmetic -------------------------------------------------------------------------------

// Sums go through ordered_add (internal.h), so that of two NaN operands the first one's NaN is
// the result in every twin. Products need no such care: every factor is a small integer constant.

// What an element contributes: 8s PyrDown works on bytes moved to 0..255 (+128), so that the
// sums stay unsigned 16-bit; PyrUp keeps signed values.
inline int down_in(Zyl8u v) { return v; }
inline int down_in(Zyl8s v) { return v + 128; }
inline float down_in(Zyl32f v) { return v; }
inline int up_in(Zyl8u v) { return v; }
inline int up_in(Zyl8s v) { return v; }
inline float up_in(Zyl32f v) { return v; }

// Element types of the ring rows: horizontal PyrDown sums (at most 16 * 255) as unsigned
// 16-bit integers, PyrUp sums as 32-bit integers, floats for 32f.
template <class T>
using DownAcc = std::conditional_t<std::is_same_v<T, Zyl32f>, float, std::uint16_t>;
template <class T> using UpAcc = std::conditional_t<std::is_same_v<T, Zyl32f>, float, std::int32_t>;
inline int acc_value(std::uint16_t v) { return v; }
inline int acc_value(std::int32_t v) { return v; }
inline float acc_value(float v) { return v; }

// PyrDown, per direction: first, last and only (n = 2) sample in folded form, then the interior
// in its two orders (horizontal and vertical). Arguments are the samples at offsets -2..2 or the
// ones a folded form reads, in index order.
template <class A> inline A down_first_h(A s0, A s1, A s2)
{
    return A(2) * ordered_add(ordered_add(A(3) * s0, A(4) * s1), s2);
}
template <class A> inline A down_first_v(A h0, A h1, A h2)
{
    return ordered_add(ordered_add(A(6) * h0, A(8) * h1), A(2) * h2);
}
template <class A> inline A down_last(A m4, A m3, A m2, A m1)
{
    return ordered_add(ordered_add(A(4) * ordered_add(m3, m1), m4), A(7) * m2);
}
template <class A> inline A down_two(A s0, A s1) { return A(8) * ordered_add(s0, s1); }
template <class A> inline A down_mid_h(A l2, A l1, A c, A r1, A r2)
{
    return ordered_add(ordered_add(ordered_add(A(6) * c, A(4) * ordered_add(l1, r1)), l2), r2);
}
template <class A> inline A down_mid_v(A u2, A u1, A c, A d1, A d2)
{
    return ordered_add(ordered_add(ordered_add(A(4) * ordered_add(u1, d1), A(6) * c), u2), d2);
}

// PyrUp, per direction: even sample 2i and odd sample 2i+1 in the interior, the folded first
// even sample, the last even sample (replicated right neighbour) and the doubled edge.
template <class A> inline A up_even(A l, A c, A r)
{
    return ordered_add(ordered_add(A(6) * c, l), r);
}
template <class A> inline A up_odd(A c, A r) { return A(4) * ordered_add(c, r); }
template <class A> inline A up_first(A s0, A s1) { return A(2) * ordered_add(A(3) * s0, s1); }
template <class A> inline A up_last(A m2, A m1) { return ordered_add(A(7) * m1, m2); }
template <class A> inline A up_edge(A s) { return A(8) * s; }

// Scaling by the kernel weight (256 per PyrDown result, 64 per PyrUp result) with rounding for
// the integer types; 8s PyrDown removes its bias again.
template <class T> inline T down_out(int v)
{
    const int r = (v + 128) >> 8;
    return static_cast<T>(std::is_same_v<T, Zyl8s> ? r - 128 : r);
}
template <class T> inline T down_out(float v) { return v * 0.00390625f; }
template <class T> inline T up_out(int v) { return static_cast<T>((v + 32) >> 6); }
template <class T> inline T up_out(float v) { return v * 0.015625f; }

// ---- border rules and the ring ------------------------------------------------------------------

// PyrDown reads index i of n (n >= 2) mirrored without repeating the edge, again if needed
// (n = 2: -2 and 2 both read 0).
inline int down_index(int i, int n)
{
    while (i < 0 || i >= n) i = i < 0 ? -i : 2 * n - 2 - i;
    return i;
}
// PyrUp mirrors on the left and top and replicates on the right and bottom (n = 1: both read 0).
inline int up_index(int i, int n)
{
    if (i < 0) return n == 1 ? 0 : -i;
    return i < n ? i : n - 1;
}

// Which rows of the vertical pass an output row pair is: the first, an interior one, the last,
// or the only one (PyrDown with H = 2, PyrUp with H = 1).
enum class RowForm { First, Mid, Last, Only };
inline RowForm row_form(int y, int rows)
{
    return rows == 1       ? RowForm::Only
           : y == 0        ? RowForm::First
           : y == rows - 1 ? RowForm::Last
                           : RowForm::Mid;
}

// The ring of horizontally filtered rows in the caller's buffer: `count` rows of `values`
// elements plus 24 spare per channel, each rounded up to 16 bytes. It starts at the buffer's
// first 16-byte boundary; the shift (under 16 bytes) comes out of the last row's spare
// elements, which are never touched, so the ring stays inside the queried size.
struct Ring {
    Zyl8u *base;
    std::ptrdiff_t pitch;
    int count;
    template <class R> R *row(int r) const
    {
        return reinterpret_cast<R *>(base + std::ptrdiff_t(r % count) * pitch);
    }
};
inline Ring make_ring(Zyl8u *buffer, long rowBytes, int count)
{
    const auto a = reinterpret_cast<std::uintptr_t>(buffer);
    return {buffer + (16 - a % 16) % 16, (rowBytes + 15) & ~15L, count};
}

// The block walk of the packed twins: runs `block` at from, from + N, ... below `last`, then once
// at `last`, so that the blocks cover [from, last + N) exactly, the last one overlapping its
// predecessor (the overlapped results are computed twice, identically). Each call also gets a
// Step() on the regular steps and a Last() at `last`, for a twin whose ring loads differ there.
// Returns the first index not covered: last + N, or `from` when no block fits (last < from).
template <int N, class Step = int, class Last = Step, class F>
int blocks(int from, int last, F block)
{
    if (last < from) return from;
    for (int i = from; i < last; i += N) block(i, Step());
    block(last, Last());
    return last + N;
}

// ---- scalar spans (the portable twin, and the borders and tails of the packed twins) ------------

// PyrDown horizontal pass: output columns [x0, x1) of a source row of W pixels.
template <int Cs, class T> inline void down_h_span(const T *s, int W, DownAcc<T> *h, int x0, int x1)
{
    const int last = W / 2 - 1;
    for (int x = x0; x < x1; ++x)
        for (int c = 0; c < Cs; ++c) {
            const T *p = s + c;
            auto at = [p](int i) { return down_in(p[i * Cs]); };
            decltype(at(0)) v;
            if (W == 2) v = down_two(at(0), at(1));
            else if (x == 0) v = down_first_h(at(0), at(1), at(2));
            else if (x == last) v = down_last(at(W - 4), at(W - 3), at(W - 2), at(W - 1));
            else
                v = down_mid_h(at(2 * x - 2), at(2 * x - 1), at(2 * x), at(2 * x + 1),
                               at(2 * x + 2));
            h[x * Cs + c] = static_cast<DownAcc<T>>(v);
        }
}

// PyrDown vertical pass: elements [j0, j1) of an output row from the ring rows at offsets
// -2..2 (already mapped by the border rule).
template <class T>
inline void down_v_span(const DownAcc<T> *const *r, RowForm f, T *d, int j0, int j1)
{
    for (int j = j0; j < j1; ++j) {
        auto h = [&](int k) { return acc_value(r[k][j]); };
        decltype(h(0)) v;
        switch (f) {
        case RowForm::Only:
            v = down_two(h(2), h(3));
            break;
        case RowForm::First:
            v = down_first_v(h(2), h(3), h(4));
            break;
        case RowForm::Last:
            v = down_last(h(0), h(1), h(2), h(3));
            break;
        default:
            v = down_mid_v(h(0), h(1), h(2), h(3), h(4));
            break;
        }
        d[j] = down_out<T>(v);
    }
}

// PyrUp horizontal pass: source pixels [i0, i1) of a row of W pixels, each giving output
// columns 2i and 2i + 1.
template <int Cs, class T> inline void up_h_span(const T *s, int W, UpAcc<T> *u, int i0, int i1)
{
    for (int i = i0; i < i1; ++i)
        for (int c = 0; c < Cs; ++c) {
            const T *p = s + c;
            auto at = [p](int k) { return up_in(p[k * Cs]); };
            decltype(at(0)) e, o;
            if (W == 1) {
                e = o = up_edge(at(0));
            } else if (i == 0) {
                e = up_first(at(0), at(1));
                o = up_odd(at(0), at(1));
            } else if (i == W - 1) {
                e = up_last(at(W - 2), at(W - 1));
                o = up_edge(at(W - 1));
            } else {
                e = up_even(at(i - 1), at(i), at(i + 1));
                o = up_odd(at(i), at(i + 1));
            }
            u[2 * i * Cs + c] = e;
            u[(2 * i + 1) * Cs + c] = o;
        }
}

// PyrUp vertical pass: elements [j0, j1) of output rows 2j (d0) and 2j + 1 (d1) from ring rows
// j - 1, j and j + 1 (already mapped by the border rule).
template <class T>
inline void up_v_span(const UpAcc<T> *a, const UpAcc<T> *b, const UpAcc<T> *c, RowForm f, T *d0,
                      T *d1, int j0, int j1)
{
    for (int j = j0; j < j1; ++j) {
        decltype(acc_value(b[j])) e, o;
        switch (f) {
        case RowForm::Only:
            e = o = up_edge(b[j]);
            break;
        case RowForm::First:
            e = up_first(b[j], c[j]), o = up_odd(b[j], c[j]);
            break;
        case RowForm::Last:
            e = up_last(a[j], b[j]), o = up_edge(b[j]);
            break;
        default:
            e = up_even(a[j], b[j], c[j]), o = up_odd(b[j], c[j]);
            break;
        }
        d0[j] = up_out<T>(e);
        d1[j] = up_out<T>(o);
    }
}

// The row operations one element at a time: the portable twin's rows.
struct ScalarRows {
    template <int Cs, class T> static void down_row(const T *s, int W, DownAcc<T> *h)
    {
        down_h_span<Cs>(s, W, h, 0, W / 2);
    }
    template <class T> static void down_col(const DownAcc<T> *const *r, RowForm f, T *d, int n)
    {
        down_v_span(r, f, d, 0, n);
    }
    template <int Cs, class T> static void up_row(const T *s, int W, UpAcc<T> *u)
    {
        up_h_span<Cs>(s, W, u, 0, W);
    }
    template <class T>
    static void up_col(const UpAcc<T> *a, const UpAcc<T> *b, const UpAcc<T> *c, RowForm f, T *d0,
                       T *d1, int n)
    {
        up_v_span(a, b, c, f, d0, d1, 0, n);
    }
};

// The 32f PyrDown vertical sum of a packed twin's lanes in the order of the row's form: h(k) gives
// the lanes of ring row k (offsets -2..2), add is the twin's ordered addition and times(k, v)
// its product by a constant.
template <RowForm F, class H, class Add, class Times> auto down_v_lanes(H h, Add add, Times times)
{
    if constexpr (F == RowForm::Only) return times(8, add(h(2), h(3)));
    else if constexpr (F == RowForm::First)
        return add(add(times(6, h(2)), times(8, h(3))), times(2, h(4)));
    else if constexpr (F == RowForm::Last)
        return add(add(times(4, add(h(1), h(3))), h(0)), times(7, h(2)));
    else return add(add(add(times(4, add(h(1), h(3))), times(6, h(2))), h(0)), h(4));
}

// The row operations of a packed twin over its kernels, found by their first argument, the
// twin's tag K: a kernel per element type (8-bit or 32f) and channel count for the horizontal
// passes; vertical passes taking the row form as an argument for 8-bit rows and as a template
// argument for 32f ones.
template <class K> struct PackedRows {
    template <int Cs, class T> static void down_row(const T *s, int W, DownAcc<T> *h)
    {
        if constexpr (std::is_same_v<T, Zyl32f> && Cs == 1) down_row32_c1(K(), s, W, h);
        else if constexpr (std::is_same_v<T, Zyl32f>) down_row32_c3(K(), s, W, h);
        else if constexpr (Cs == 1) down_row8_c1(K(), s, W, h);
        else down_row8_c3(K(), s, W, h);
    }
    template <class T> static void down_col(const DownAcc<T> *const *r, RowForm f, T *d, int n)
    {
        if constexpr (std::is_same_v<T, Zyl32f>) {
            switch (f) {
            case RowForm::Only:
                down_cols32<RowForm::Only>(K(), r, d, n);
                break;
            case RowForm::First:
                down_cols32<RowForm::First>(K(), r, d, n);
                break;
            case RowForm::Last:
                down_cols32<RowForm::Last>(K(), r, d, n);
                break;
            default:
                down_cols32<RowForm::Mid>(K(), r, d, n);
                break;
            }
        } else {
            down_col8(K(), r, f, d, n);
        }
    }
    template <int Cs, class T> static void up_row(const T *s, int W, UpAcc<T> *u)
    {
        if constexpr (std::is_same_v<T, Zyl32f> && Cs == 1) up_row32_c1(K(), s, W, u);
        else if constexpr (std::is_same_v<T, Zyl32f>) up_row32_c3(K(), s, W, u);
        else if constexpr (Cs == 1) up_row8_c1(K(), s, W, u);
        else up_row8_c3(K(), s, W, u);
    }
    template <class T>
    static void up_col(const UpAcc<T> *a, const UpAcc<T> *b, const UpAcc<T> *c, RowForm f, T *d0,
                       T *d1, int n)
    {
        if constexpr (std::is_same_v<T, Zyl32f>) {
            switch (f) {
            case RowForm::Only:
                up_cols32<RowForm::Only>(K(), a, b, c, d0, d1, n);
                break;
            case RowForm::First:
                up_cols32<RowForm::First>(K(), a, b, c, d0, d1, n);
                break;
            case RowForm::Last:
                up_cols32<RowForm::Last>(K(), a, b, c, d0, d1, n);
                break;
            default:
                up_cols32<RowForm::Mid>(K(), a, b, c, d0, d1, n);
                break;
            }
        } else {
            up_col8(K(), a, b, c, f, d0, d1, n);
        }
    }
};

// ---- image drivers --------------------------------------------------------------------------------

// PyrDown of a W x H image (both even, non-zero) with row kernels K: rows are produced top to
// bottom, each source row is filtered once into a ring of six and read by every output row that
// needs it.
template <class K, int Cs, class T>
void pyr_down_image(const T *src, int srcStep, T *dst, int dstStep, int W, int H, Zyl8u *buffer)
{
    using R = DownAcc<T>;
    const int Wd = W / 2, Hd = H / 2;
    const Ring ring = make_ring(buffer, long(Cs) * (Wd + 24) * long(sizeof(R)), 6);
    int next = 0;
    for (int y = 0; y < Hd; ++y) {
        for (const int need = 2 * y + 2 < H ? 2 * y + 2 : H - 1; next <= need; ++next)
            K::template down_row<Cs>(advance(src, std::ptrdiff_t(next) * srcStep), W,
                                     ring.row<R>(next));
        const R *r[5];
        for (int k = 0; k < 5; ++k) r[k] = ring.row<R>(down_index(2 * y - 2 + k, H));
        K::down_col(r, row_form(y, Hd), advance(dst, std::ptrdiff_t(y) * dstStep), Wd * Cs);
    }
}

// PyrUp of a W x H image (non-zero) with row kernels K: each source row is filtered once into a
// ring of three; source row j gives output rows 2j and 2j + 1.
template <class K, int Cs, class T>
void pyr_up_image(const T *src, int srcStep, T *dst, int dstStep, int W, int H, Zyl8u *buffer)
{
    using R = UpAcc<T>;
    const Ring ring = make_ring(buffer, long(Cs) * (2L * W + 24) * long(sizeof(R)), 3);
    int next = 0;
    for (int j = 0; j < H; ++j) {
        for (const int need = j + 1 < H ? j + 1 : H - 1; next <= need; ++next)
            K::template up_row<Cs>(advance(src, std::ptrdiff_t(next) * srcStep), W,
                                   ring.row<R>(next));
        T *d0 = advance(dst, std::ptrdiff_t(2 * j) * dstStep);
        K::up_col(ring.row<R>(up_index(j - 1, H)), ring.row<R>(j), ring.row<R>(up_index(j + 1, H)),
                  row_form(j, H), d0, advance(d0, dstStep), 2 * W * Cs);
    }
}

// The row kernels take 1 or 3 channels only; the exported functions never pass anything else.
template <class K, class T>
void pyr_down_entry(const T *src, int srcStep, T *dst, int dstStep, int W, int H, int Cs,
                    Zyl8u *buffer)
{
    if constexpr (std::is_same_v<T, Zyl32f>) ZYLCV_ASSERT(Cs == 1 || Cs == 3, "src/zycvpyr32f");
    else ZYLCV_ASSERT(Cs == 1 || Cs == 3, "src/zycvpyr");
    if (Cs == 1) pyr_down_image<K, 1>(src, srcStep, dst, dstStep, W, H, buffer);
    else pyr_down_image<K, 3>(src, srcStep, dst, dstStep, W, H, buffer);
}
template <class K, class T>
void pyr_up_entry(const T *src, int srcStep, T *dst, int dstStep, int W, int H, int Cs,
                  Zyl8u *buffer)
{
    if constexpr (std::is_same_v<T, Zyl32f>) ZYLCV_ASSERT(Cs == 1 || Cs == 3, "src/zycvpyr32f");
    else ZYLCV_ASSERT(Cs == 1 || Cs == 3, "src/zycvpyr");
    if (Cs == 1) pyr_up_image<K, 1>(src, srcStep, dst, dstStep, W, H, buffer);
    else pyr_up_image<K, 3>(src, srcStep, dst, dstStep, W, H, buffer);
}

}  // namespace zylcv::pyramid

namespace zylcv {

// Whole-image kernels: W x H source pixels (non-zero; even for PyrDown) of Cs channels (1 or 3),
// `buffer` of at least the matching query's size (any alignment); T is Zyl8u, Zyl8s or Zyl32f.
ZYLCV_DECLARE_TWINS_AVX2(template <class T>
                         void pyr_down(const T *src, int srcStep, T *dst, int dstStep, int W, int H,
                                       int Cs, Zyl8u *buffer);
                         template <class T>
                         void pyr_up(const T *src, int srcStep, T *dst, int dstStep, int W, int H,
                                     int Cs, Zyl8u *buffer);)

// A twin's entries over its row operations Rows (expanded inside the twin's namespace).
#define ZYLCV_PYRAMID_INSTANCES(T)                                                                 \
    template void pyr_down(const T *, int, T *, int, int, int, int, Zyl8u *);                      \
    template void pyr_up(const T *, int, T *, int, int, int, int, Zyl8u *);
#define ZYLCV_PYRAMID_ENTRIES                                                                      \
    template <class T>                                                                             \
    void pyr_down(const T *src, int srcStep, T *dst, int dstStep, int W, int H, int Cs,            \
                  Zyl8u *buffer)                                                                   \
    {                                                                                              \
        pyramid::pyr_down_entry<Rows>(src, srcStep, dst, dstStep, W, H, Cs, buffer);               \
    }                                                                                              \
    template <class T>                                                                             \
    void pyr_up(const T *src, int srcStep, T *dst, int dstStep, int W, int H, int Cs,              \
                Zyl8u *buffer)                                                                     \
    {                                                                                              \
        pyramid::pyr_up_entry<Rows>(src, srcStep, dst, dstStep, W, H, Cs, buffer);                 \
    }                                                                                              \
    ZYLCV_PYRAMID_INSTANCES(Zyl8u) ZYLCV_PYRAMID_INSTANCES(Zyl8s) ZYLCV_PYRAMID_INSTANCES(Zyl32f)

}  // namespace zylcv

#endif
