// AVX2 pyramid kernels. 8-bit PyrDown works in unsigned 16-bit lanes (8s on bytes biased by
// +128): the horizontal taps come in weighted byte pairs (multiply-add of unsigned bytes by
// small weights), C3 pixels one per 16-byte half through byte shuffles; the vertical pass packs
// with unsigned saturation. PyrUp of 8-bit images keeps 32-bit ring values; 32f lanes follow the
// scalar forms' operation order with the operand order pinned. In-half shuffles and packs leave
// columns out of row order, which one lane permute per block puts back. Blocks read the source
// only inside the row: the first and last columns (whose taps are mirrored) go through the
// scalar spans, and a row's last block is moved back to end inside the row, overlapping the one
// before; rows too short for a 32-byte block take 16-byte ones. Ring rows are 16-byte aligned
// and read unaligned; sources and destinations may have any alignment.
#include "core/simd_avx2.h"
#include "pyramid.h"

namespace zylcv::avx2 {
namespace {

using namespace pyramid;

// ---- lane helpers over a 16- or 32-byte register, so that a block is written once for both ---

template <class V> constexpr bool kWide = sizeof(V) == 32;

template <class V> ZYLCV_INLINE V loadu(const void *p)
{
    if constexpr (kWide<V>) return load(p);
    else return sse2::load(p);
}
template <class V> ZYLCV_INLINE V loadu(const float *p)
{
    if constexpr (kWide<V>) return load(p);
    else return sse2::load(p);
}
ZYLCV_INLINE void storeu(void *p, __m256i v) { store(p, v); }
ZYLCV_INLINE void storeu(void *p, __m128i v) { sse2::store(p, v); }
ZYLCV_INLINE void storeu(float *p, __m256 v) { store(p, v); }
ZYLCV_INLINE void storeu(float *p, __m128 v) { sse2::store(p, v); }

// Integer lane operations on B-bit lanes (16 or 32) of either register width.
template <int B, class V> ZYLCV_INLINE V set(int k)
{
    if constexpr (kWide<V>) return B == 16 ? _mm256_set1_epi16(short(k)) : _mm256_set1_epi32(k);
    else return B == 16 ? _mm_set1_epi16(short(k)) : _mm_set1_epi32(k);
}
template <int B, class V> ZYLCV_INLINE V add(V a, V b)
{
    if constexpr (kWide<V>) return B == 16 ? _mm256_add_epi16(a, b) : _mm256_add_epi32(a, b);
    else return B == 16 ? _mm_add_epi16(a, b) : _mm_add_epi32(a, b);
}
template <int B, int K, class V> ZYLCV_INLINE V shl(V v)
{
    if constexpr (kWide<V>) return B == 16 ? _mm256_slli_epi16(v, K) : _mm256_slli_epi32(v, K);
    else return B == 16 ? _mm_slli_epi16(v, K) : _mm_slli_epi32(v, K);
}
template <int K> ZYLCV_INLINE __m256i shr16(__m256i v) { return _mm256_srli_epi16(v, K); }
template <int K> ZYLCV_INLINE __m128i shr16(__m128i v) { return _mm_srli_epi16(v, K); }
ZYLCV_INLINE __m256i and_(__m256i a, __m256i b) { return _mm256_and_si256(a, b); }
ZYLCV_INLINE __m128i and_(__m128i a, __m128i b) { return _mm_and_si128(a, b); }
// Byte pairs times byte weights, summed per 16-bit lane: unsigned bytes u, signed weights w.
ZYLCV_INLINE __m256i madd(__m256i u, __m256i w) { return _mm256_maddubs_epi16(u, w); }
ZYLCV_INLINE __m128i madd(__m128i u, __m128i w) { return _mm_maddubs_epi16(u, w); }

template <class V> ZYLCV_INLINE V times(float k, V v)
{
    if constexpr (kWide<V>) return _mm256_mul_ps(_mm256_set1_ps(k), v);
    else return _mm_mul_ps(_mm_set1_ps(k), v);
}

template <class T> const Zyl8u *bytes(const T *p) { return reinterpret_cast<const Zyl8u *>(p); }
// 8s bytes to and from the unsigned range (+128 modulo 256); nothing for 8u.
template <class T, class V> ZYLCV_INLINE V biased(V v)
{
    if constexpr (!std::is_same_v<T, Zyl8s>) return v;
    else if constexpr (kWide<V>) return _mm256_xor_si256(v, _mm256_set1_epi8(char(0x80)));
    else return _mm_xor_si128(v, _mm_set1_epi8(char(0x80)));
}

// Two 16-byte loads as the halves of one register.
ZYLCV_INLINE __m256i halves(const void *lo, const void *hi)
{
    return _mm256_inserti128_si256(_mm256_castsi128_si256(sse2::load(lo)), sse2::load(hi), 1);
}
ZYLCV_INLINE __m256 halves(const float *lo, const float *hi)
{
    return _mm256_insertf128_ps(_mm256_castps128_ps256(sse2::load(lo)), sse2::load(hi), 1);
}
// Eight floats whose 64-bit pairs are in the order 0 2 1 3, back in row order.
ZYLCV_INLINE __m256 pairs_in_order(__m256 v)
{
    return _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(v), 0xD8));
}

// The tag by which the header's PackedRows finds this file's kernels: each kernel takes it first.
struct Kernels {};

// ---- 8-bit PyrDown ----------------------------------------------------------------------------

// C1, per step 16 columns (8 in rows too short for 16) from three overlapping loads at 2x - 2,
// 2x and 2x + 2: weights 1 4 on the first's byte pairs, 6 4 on the second's, and the third's
// even bytes; the last block ends where its last load ends the row (overlapping the one
// before), the first and last columns take the folded forms.
template <class T> void down_row8_c1(Kernels, const T *src, int W, std::uint16_t *h)
{
    const Zyl8u *s = bytes(src);
    auto block = [&]<class V>(int x, V) ZYLCV_INLINE_LAMBDA {
        const V a = biased<T>(loadu<V>(s + 2 * x - 2)), b = biased<T>(loadu<V>(s + 2 * x)),
                c = biased<T>(loadu<V>(s + 2 * x + 2));
        const V t = add<16>(madd(a, set<16, V>(0x0401)), madd(b, set<16, V>(0x0406)));
        storeu(h + x, add<16>(t, and_(c, set<16, V>(0x00FF))));
    };
    down_h_span<1>(src, W, h, 0, 1);
    int x = blocks<16>(1, (W - 34) / 2, [&](int x, auto) { block(x, __m256i()); });
    if (x == 1) x = blocks<8>(1, (W - 18) / 2, [&](int x, auto) { block(x, __m128i()); });
    down_h_span<1>(src, W, h, x, W / 2);
}

// C3, per step 2 output pixels, one per 16-byte half: the 15 bytes of a pixel's five taps are
// shuffled into byte pairs (taps -2 -1 with weights 1 4 in lanes 0-2, taps 0 1 with weights 6 4
// in lanes 4-6) and tap 2 into 16-bit lanes 0-2; lanes 4-6 are added onto 0-2. Two 8-byte stores,
// the spare lane of each overwritten by the next store. The last pair ends before the last pixel
// (overlapping the pair before); the first and last pixels take the folded forms.
template <class T> void down_row8_c3(Kernels, const T *src, int W, std::uint16_t *h)
{
    const Zyl8u *s = bytes(src);
    constexpr char z = char(0x80);
    const __m256i pairs = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(0, 3, 1, 4, 2, 5, z, z, 6, 9, 7, 10, 8, 11, z, z));
    const __m256i last = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(12, z, 13, z, 14, z, z, z, z, z, z, z, z, z, z, z));
    const __m256i weights = _mm256_broadcastsi128_si256(
        _mm_setr_epi16(0x0401, 0x0401, 0x0401, 0, 0x0406, 0x0406, 0x0406, 0));
    down_h_span<3>(src, W, h, 0, 1);
    const int x = blocks<2>(1, W / 2 - 3, [&](int x, auto) {
        const Zyl8u *p = s + 6 * x;
        const __m256i v = biased<T>(halves(p - 6, p));
        const __m256i m = madd(_mm256_shuffle_epi8(v, pairs), weights);
        const __m256i t =
            add<16>(add<16>(m, _mm256_srli_si256(m, 8)), _mm256_shuffle_epi8(v, last));
        sse2::store8(h + 3 * x, _mm256_castsi256_si128(t));
        sse2::store8(h + 3 * x + 3, _mm256_extracti128_si256(t, 1));
    });
    down_h_span<3>(src, W, h, x, W / 2);
}

// Vertical pass, per step 32 elements (16 or 8 in rows too short) from the five ring rows: the
// sum fits an unsigned 16-bit lane (at most 65 280), +128 and >> 8 in the lane, unsigned
// saturating pack put back in row order, 8s bias removed on the bytes. Rows are already mapped
// by the border rule, which for integer sums equals the folded forms. The last block overlaps
// the one before; rows shorter than 8 go element by element.
template <class T> void down_col8(Kernels, const std::uint16_t *const *r, RowForm f, T *dst, int n)
{
    Zyl8u *d = reinterpret_cast<Zyl8u *>(dst);
    const std::uint16_t *r0 = r[0], *r1 = r[1], *r2 = r[2], *r3 = r[3], *r4 = r[4];
    auto col = [&]<class V>(int j, V) ZYLCV_INLINE_LAMBDA {
        const V c = loadu<V>(r2 + j);
        V t = shl<16, 2>(add<16>(add<16>(loadu<V>(r1 + j), loadu<V>(r3 + j)), c));
        t = add<16>(add<16>(t, add<16>(c, c)), add<16>(loadu<V>(r0 + j), loadu<V>(r4 + j)));
        return shr16<8>(add<16>(t, set<16, V>(128)));
    };
    int j = blocks<32>(0, n - 32, [&](int j, auto) {
        store(d + j, biased<T>(packus16_ordered(col(j, __m256i()), col(j + 16, __m256i()))));
    });
    if (j == 0)
        j = blocks<16>(0, n - 16, [&](int j, auto) {
            sse2::store(d + j,
                        biased<T>(_mm_packus_epi16(col(j, __m128i()), col(j + 8, __m128i()))));
        });
    if (j == 0)
        j = blocks<8>(0, n - 8, [&](int j, auto) {
            const __m128i v = col(j, __m128i());
            sse2::store8(d + j, biased<T>(_mm_packus_epi16(v, v)));
        });
    down_v_span(r, f, dst, j, n);
}

// ---- 32f PyrDown -------------------------------------------------------------------------------

// Eight columns x .. x + 7 from the loads at 2x - 2, 2x, 2x + 2, 2x + 6, 2x + 8 and 2x + 10,
// split into even and odd samples; the in-half shuffles give the columns in the order
// 0 1 4 5 2 3 6 7, which every lane operation keeps and one permute at the end undoes.
ZYLCV_INLINE __m256 down_h8(const float *p)
{
    const __m256 l0 = load(p - 2), l1 = load(p), l2 = load(p + 2), l3 = load(p + 6),
                 l4 = load(p + 8), l5 = load(p + 10);
    const __m256 em1 = _mm256_shuffle_ps(l0, l3, _MM_SHUFFLE(2, 0, 2, 0));
    const __m256 om1 = _mm256_shuffle_ps(l0, l3, _MM_SHUFFLE(3, 1, 3, 1));
    const __m256 e0 = _mm256_shuffle_ps(l1, l4, _MM_SHUFFLE(2, 0, 2, 0));
    const __m256 o0 = _mm256_shuffle_ps(l1, l4, _MM_SHUFFLE(3, 1, 3, 1));
    const __m256 e1 = _mm256_shuffle_ps(l2, l5, _MM_SHUFFLE(2, 0, 2, 0));
    return pairs_in_order(add_ordered(
        add_ordered(add_ordered(times(6, e0), times(4, add_ordered(om1, o0))), em1), e1));
}

// C1, per step 16 columns in two registers (8 in rows too short for 16); the last block ends
// where its last load ends the row (overlapping the one before), the first and last columns
// take the folded forms.
void down_row32_c1(Kernels, const Zyl32f *s, int W, float *h)
{
    down_h_span<1>(s, W, h, 0, 1);
    int x = blocks<16>(1, (W - 34) / 2, [&](int x, auto) {
        const __m256 r0 = down_h8(s + 2 * x), r1 = down_h8(s + 2 * x + 16);
        store(h + x, r0);
        store(h + x + 8, r1);
    });
    if (x == 1)
        x = blocks<8>(1, (W - 18) / 2, [&](int x, auto) { store(h + x, down_h8(s + 2 * x)); });
    down_h_span<1>(s, W, h, x, W / 2);
}

// One C3 pixel per 16-byte half from the taps of source pixels 2x - 2 .. 2x + 2 (each with a
// spare fourth lane).
template <class V> ZYLCV_INLINE V down_px3(V a, V b, V c, V d, V e)
{
    return add_ordered(add_ordered(add_ordered(times(6, c), times(4, add_ordered(b, d))), a), e);
}

// C3, per step 2 output pixels, one per half, each tap two 16-byte loads 6 floats apart; two
// stores of a pixel with a spare fourth lane that the next store overwrites. The last pair
// overlaps the one before, a row of 3 output pixels takes its one interior pixel in a half
// register, the first and last pixels take the folded forms.
void down_row32_c3(Kernels, const Zyl32f *s, int W, float *h)
{
    down_h_span<3>(s, W, h, 0, 1);
    int x = blocks<2>(1, W / 2 - 3, [&](int x, auto) {
        const float *p = s + 6 * x;
        const __m256 v = down_px3(halves(p - 6, p), halves(p - 3, p + 3), halves(p, p + 6),
                                  halves(p + 3, p + 9), halves(p + 6, p + 12));
        sse2::store(h + 3 * x, _mm256_castps256_ps128(v));
        sse2::store(h + 3 * x + 3, _mm256_extractf128_ps(v, 1));
    });
    for (; x <= W / 2 - 2; ++x) {
        const float *p = s + 6 * x;
        sse2::store(h + 3 * x, down_px3(sse2::load(p - 6), sse2::load(p - 3), sse2::load(p),
                                        sse2::load(p + 3), sse2::load(p + 6)));
    }
    down_h_span<3>(s, W, h, x, W / 2);
}

// Vertical pass in the order of the row's form, 8 elements per step from the ring rows (4 in
// rows too short for 8); the last block overlaps the one before, rows shorter than 4 go element
// by element.
template <RowForm F, class V> ZYLCV_INLINE V down_v(const float *const (&r)[5], int j)
{
    return down_v_lanes<F>([&](int k) { return loadu<V>(r[k] + j); },
                           [](V a, V b) { return add_ordered(a, b); },
                           [](float k, V v) { return times(k, v); });
}
template <RowForm F> void down_cols32(Kernels, const float *const *rows, Zyl32f *d, int n)
{
    const float *const r[5] = {rows[0], rows[1], rows[2], rows[3], rows[4]};  // kept in registers
    int j = blocks<8>(
        0, n - 8, [&](int j, auto) { store(d + j, times(0.00390625f, down_v<F, __m256>(r, j))); });
    if (j == 0)
        j = blocks<4>(0, n - 4, [&](int j, auto) {
            sse2::store(d + j, times(0.00390625f, down_v<F, __m128>(r, j)));
        });
    down_v_span(rows, F, d, j, n);
}

// ---- 8-bit PyrUp -----------------------------------------------------------------------------

// 16 or 8 bytes at p in 16-bit lanes: zero-extended for 8u, sign-extended for 8s.
template <class T> ZYLCV_INLINE __m256i widen16(const Zyl8u *p)
{
    if constexpr (std::is_same_v<T, Zyl8s>) return load16_s8_to_s16(p);
    else return load16_u8_to_u16(p);
}
template <class T> ZYLCV_INLINE __m128i widen8(const Zyl8u *p)
{
    if constexpr (std::is_same_v<T, Zyl8s>) return _mm_cvtepi8_epi16(sse2::load8(p));
    else return _mm_cvtepu8_epi16(sse2::load8(p));
}
// The even and odd outputs of source pixels in 16-bit lanes from pixels i - 1, i and i + 1.
template <class V> ZYLCV_INLINE void up_eo16(V a, V b, V c, V &e, V &o)
{
    e = add<16>(add<16>(a, c), add<16>(shl<16, 1>(b), shl<16, 2>(b)));
    o = shl<16, 2>(add<16>(b, c));
}
// Eight 16-bit lanes to eight 32-bit ring values, sign-extended.
ZYLCV_INLINE void store_widened(std::int32_t *u, __m128i v) { store(u, _mm256_cvtepi16_epi32(v)); }

// C1, per step 16 source pixels (8 in rows too short for 16) from loads at i - 1, i, i + 1 in
// 16-bit lanes, even and odd outputs interleaved per half and widened by 8-value stores; the last
// block ends before the last pixel (overlapping the one before), the first and last pixels take
// the folded forms.
template <class T> void up_row8_c1(Kernels, const T *src, int W, std::int32_t *u)
{
    const Zyl8u *s = bytes(src);
    up_h_span<1>(src, W, u, 0, 1);
    int i = blocks<16>(1, W - 17, [&](int i, auto) {
        __m256i e, o;
        up_eo16(widen16<T>(s + i - 1), widen16<T>(s + i), widen16<T>(s + i + 1), e, o);
        const __m256i lo = _mm256_unpacklo_epi16(e, o), hi = _mm256_unpackhi_epi16(e, o);
        store_widened(u + 2 * i, _mm256_castsi256_si128(lo));
        store_widened(u + 2 * i + 8, _mm256_castsi256_si128(hi));
        store_widened(u + 2 * i + 16, _mm256_extracti128_si256(lo, 1));
        store_widened(u + 2 * i + 24, _mm256_extracti128_si256(hi, 1));
    });
    if (i == 1)
        i = blocks<8>(1, W - 9, [&](int i, auto) {
            __m128i e, o;
            up_eo16(widen8<T>(s + i - 1), widen8<T>(s + i), widen8<T>(s + i + 1), e, o);
            store_widened(u + 2 * i, _mm_unpacklo_epi16(e, o));
            store_widened(u + 2 * i + 8, _mm_unpackhi_epi16(e, o));
        });
    up_h_span<1>(src, W, u, i, W);
}

// C3, per step 2 source pixels, one per half of a 16-byte load at pixel i - 1 in both halves
// (the second half's shuffle 3 bytes further on): byte pairs of pixels i - 1, i + 1 and i, i + 1
// weighted 1 1 and 4 4 give the even and odd sums of a pixel in 16-bit lanes 0-2 and 3-5, plus
// 6 times pixel i in lanes 0-2; each half is widened to one 8-value store whose two spare lanes
// the next store overwrites. The last pair overlaps the one before, the last pixels go through
// the scalar span.
template <class T> void up_row8_c3(Kernels, const T *src, int W, std::int32_t *u)
{
    const Zyl8u *s = bytes(src);
    constexpr char z = char(0x80);
    const __m256i pairs = _mm256_setr_epi8(0, 6, 1, 7, 2, 8, 3, 6, 4, 7, 5, 8, z, z, z, z,  //
                                           3, 9, 4, 10, 5, 11, 6, 9, 7, 10, 8, 11, z, z, z, z);
    const __m256i mids = _mm256_setr_epi8(3, z, 4, z, 5, z, z, z, z, z, z, z, z, z, z, z,  //
                                          6, z, 7, z, 8, z, z, z, z, z, z, z, z, z, z, z);
    const __m256i w1 = _mm256_broadcastsi128_si256(
        _mm_setr_epi16(0x0101, 0x0101, 0x0101, 0x0404, 0x0404, 0x0404, 0, 0));
    const __m256i w6 = _mm256_set1_epi16(6);
    // Unsigned bytes times signed weights: 8u source bytes are the unsigned operand, 8s ones the
    // signed one.
    auto weigh = [](__m256i v, __m256i w) {
        return std::is_same_v<T, Zyl8s> ? madd(w, v) : madd(v, w);
    };
    up_h_span<3>(src, W, u, 0, 1);
    const int i = blocks<2>(1, W - 5, [&](int i, auto) {
        const __m256i v = _mm256_broadcastsi128_si256(sse2::load(s + 3 * i - 3));
        const __m256i t = add<16>(weigh(_mm256_shuffle_epi8(v, pairs), w1),
                                  weigh(_mm256_shuffle_epi8(v, mids), w6));
        store_widened(u + 6 * i, _mm256_castsi256_si128(t));
        store_widened(u + 6 * i + 6, _mm256_extracti128_si256(t, 1));
    });
    up_h_span<3>(src, W, u, i, W);
}

// Sixteen 32-bit values of four registers (eight per register, in row order, one quarter each)
// to bytes with the type's saturation, in row order.
template <class T> ZYLCV_INLINE __m128i pack_bytes(__m128i a, __m128i b, __m128i c, __m128i d)
{
    const __m128i lo = _mm_packs_epi32(a, b), hi = _mm_packs_epi32(c, d);
    return std::is_same_v<T, Zyl8s> ? _mm_packs_epi16(lo, hi) : _mm_packus_epi16(lo, hi);
}
template <class T> ZYLCV_INLINE __m256i pack_bytes(__m256i a, __m256i b, __m256i c, __m256i d)
{
    const __m256i lo = _mm256_packs_epi32(a, b), hi = _mm256_packs_epi32(c, d);
    const __m256i v =
        std::is_same_v<T, Zyl8s> ? _mm256_packs_epi16(lo, hi) : _mm256_packus_epi16(lo, hi);
    // The packs interleave the registers' halves by groups of four bytes.
    return _mm256_permutevar8x32_epi32(v, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7));
}

template <int K> ZYLCV_INLINE __m256i sar32(__m256i v) { return _mm256_srai_epi32(v, K); }
template <int K> ZYLCV_INLINE __m128i sar32(__m128i v) { return _mm_srai_epi32(v, K); }

// Vertical pass, per step 32 elements of both output rows (16 in rows too short for 32) from
// three ring rows (mapped by the border rule, which for integer sums equals the folded forms):
// 1-6-1 and 4-4 sums, +32, arithmetic >> 6, packed with the type's saturation; the last block
// overlaps the one before, rows shorter than 16 go element by element.
template <class T>
void up_col8(Kernels, const std::int32_t *a, const std::int32_t *b, const std::int32_t *c,
             RowForm f, T *d0, T *d1, int n)
{
    auto even = [&]<class V>(int j, V) ZYLCV_INLINE_LAMBDA {
        const V m = loadu<V>(b + j);
        const V t = add<32>(add<32>(shl<32, 1>(m), shl<32, 2>(m)),
                            add<32>(loadu<V>(a + j), loadu<V>(c + j)));
        return sar32<6>(add<32>(t, set<32, V>(32)));
    };
    auto odd = [&]<class V>(int j, V) ZYLCV_INLINE_LAMBDA {
        const V t = shl<32, 2>(add<32>(loadu<V>(b + j), loadu<V>(c + j)));
        return sar32<6>(add<32>(t, set<32, V>(32)));
    };
    auto block = [&]<class V>(int j, V v) ZYLCV_INLINE_LAMBDA {
        constexpr int L = sizeof(V) / 4;
        storeu(d0 + j,
               pack_bytes<T>(even(j, v), even(j + L, v), even(j + 2 * L, v), even(j + 3 * L, v)));
        storeu(d1 + j,
               pack_bytes<T>(odd(j, v), odd(j + L, v), odd(j + 2 * L, v), odd(j + 3 * L, v)));
    };
    int j = blocks<32>(0, n - 32, [&](int j, auto) { block(j, __m256i()); });
    if (j == 0) j = blocks<16>(0, n - 16, [&](int j, auto) { block(j, __m128i()); });
    up_v_span(a, b, c, f, d0, d1, j, n);
}

// ---- 32f PyrUp --------------------------------------------------------------------------------

// The even and odd outputs of source pixels from pixels i - 1, i and i + 1.
template <class V> ZYLCV_INLINE void up_eo(V a, V b, V c, V &e, V &o)
{
    e = add_ordered(add_ordered(times(6, b), a), c);
    o = times(4, add_ordered(b, c));
}

// C1, per step 8 source pixels (4 in rows too short for 8) from loads at i - 1, i, i + 1, even and
// odd outputs interleaved into two stores; the last block ends before the last pixel
// (overlapping the one before), the first and last pixels take the folded forms.
void up_row32_c1(Kernels, const Zyl32f *s, int W, float *u)
{
    up_h_span<1>(s, W, u, 0, 1);
    int i = blocks<8>(1, W - 9, [&](int i, auto) {
        __m256 e, o;
        up_eo(load(s + i - 1), load(s + i), load(s + i + 1), e, o);
        const __m256 lo = _mm256_unpacklo_ps(e, o), hi = _mm256_unpackhi_ps(e, o);
        store(u + 2 * i, _mm256_permute2f128_ps(lo, hi, 0x20));
        store(u + 2 * i + 8, _mm256_permute2f128_ps(lo, hi, 0x31));
    });
    if (i == 1)
        i = blocks<4>(1, W - 5, [&](int i, auto) {
            __m128 e, o;
            up_eo(sse2::load(s + i - 1), sse2::load(s + i), sse2::load(s + i + 1), e, o);
            sse2::store(u + 2 * i, _mm_unpacklo_ps(e, o));
            sse2::store(u + 2 * i + 4, _mm_unpackhi_ps(e, o));
        });
    up_h_span<1>(s, W, u, i, W);
}

// C3, per step 2 source pixels, one per half, from 16-byte loads of pixels i - 1 .. i + 2 (each
// with a spare fourth lane): four stores of three outputs each whose spare lane the next store
// overwrites; the last pair overlaps the one before, the last two pixels go through the scalar
// span.
void up_row32_c3(Kernels, const Zyl32f *s, int W, float *u)
{
    up_h_span<3>(s, W, u, 0, 1);
    const int i = blocks<2>(1, W - 4, [&](int i, auto) {
        const float *p = s + 3 * i;
        __m256 e, o;
        up_eo(halves(p - 3, p), halves(p, p + 3), halves(p + 3, p + 6), e, o);
        sse2::store(u + 6 * i, _mm256_castps256_ps128(e));
        sse2::store(u + 6 * i + 3, _mm256_castps256_ps128(o));
        sse2::store(u + 6 * i + 6, _mm256_extractf128_ps(e, 1));
        sse2::store(u + 6 * i + 9, _mm256_extractf128_ps(o, 1));
    });
    up_h_span<3>(s, W, u, i, W);
}

// Vertical pass in the order of the row pair's form, 8 elements of both rows per step from the
// ring rows (4 in rows too short for 8); the last block overlaps the one before, rows shorter
// than 4 go element by element.
template <RowForm F>
void up_cols32(Kernels, const float *a, const float *b, const float *c, Zyl32f *d0, Zyl32f *d1,
               int n)
{
    auto block = [&]<class V>(int j, V) ZYLCV_INLINE_LAMBDA {
        const V m = loadu<V>(b + j);
        V e, o;
        if constexpr (F == RowForm::Only) {
            e = o = times(8, m);
        } else if constexpr (F == RowForm::First) {
            const V r = loadu<V>(c + j);
            e = times(2, add_ordered(times(3, m), r));
            o = times(4, add_ordered(m, r));
        } else if constexpr (F == RowForm::Last) {
            e = add_ordered(times(7, m), loadu<V>(a + j));
            o = times(8, m);
        } else {
            up_eo(loadu<V>(a + j), m, loadu<V>(c + j), e, o);
        }
        storeu(d0 + j, times(0.015625f, e));
        storeu(d1 + j, times(0.015625f, o));
    };
    int j = blocks<8>(0, n - 8, [&](int j, auto) { block(j, __m256()); });
    if (j == 0) j = blocks<4>(0, n - 4, [&](int j, auto) { block(j, __m128()); });
    up_v_span(a, b, c, F, d0, d1, j, n);
}

using Rows = PackedRows<Kernels>;

}  // namespace
ZYLCV_PYRAMID_ENTRIES

}  // namespace zylcv::avx2
