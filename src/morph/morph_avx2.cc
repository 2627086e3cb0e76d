// AVX2 erosion and dilation kernels. Rows are flat element arrays; 8u rows go in blocks of 64
// bytes (two registers), then 32, and 32f rows in blocks of 16 floats, then 8; a row's last
// 32-byte block overlaps the one before, and rows shorter than 32 bytes take 16-byte blocks, then
// 8 bytes or 4 floats with the same overlap, then element by element with the portable twin's
// folds. Loads and stores are unaligned (ring rows are only 8-byte aligned for 8u, and caller rows
// have any alignment); the bits do not depend on alignment. Mask windows fold the member cells
// only, which leaves the result unchanged (a non-member contributes the fold's neutral value).
// Horizontal passes of 8u windows up to 16 bytes wide take the moved copies of a block from two
// loads 16 bytes apart by byte alignment instead of one load per pixel of the window.
#include "core/simd_avx2.h"
#include "morph.h"

namespace zylcv::avx2 {
namespace {

using namespace zylcv::morph;

// The folds on packed lanes: unsigned bytes; floats with the a < b ? a : b (a > b ? a : b)
// rule, which vminps (vmaxps) implements with the running value as first operand; signed 32-bit
// order keys by vpminsd (vpmaxsd), exact since equal keys are equal bits.
template <bool D> ZYLCV_INLINE __m256i fold8(__m256i a, __m256i b)
{
    return D ? _mm256_max_epu8(a, b) : _mm256_min_epu8(a, b);
}
template <bool D> ZYLCV_INLINE __m128i fold8(__m128i a, __m128i b)
{
    return D ? _mm_max_epu8(a, b) : _mm_min_epu8(a, b);
}
template <bool D> ZYLCV_INLINE __m256 foldf(__m256 a, __m256 b)
{
    return D ? _mm256_max_ps(a, b) : _mm256_min_ps(a, b);
}
template <bool D> ZYLCV_INLINE __m128 foldf(__m128 a, __m128 b)
{
    return D ? _mm_max_ps(a, b) : _mm_min_ps(a, b);
}
template <bool D> ZYLCV_INLINE __m256i foldk(__m256i a, __m256i b)
{
    return D ? _mm256_max_epi32(a, b) : _mm256_min_epi32(a, b);
}
template <bool D> ZYLCV_INLINE __m128i foldk(__m128i a, __m128i b)
{
    return D ? _mm_max_epi32(a, b) : _mm_min_epi32(a, b);
}
// Float bits to order keys and back (the same mapping).
ZYLCV_INLINE __m256i to_key(__m256i b)
{
    return _mm256_xor_si256(_mm256_and_si256(b, _mm256_set1_epi32(0x7FFFFFFF)),
                            _mm256_srai_epi32(b, 31));
}
ZYLCV_INLINE __m128i to_key(__m128i b)
{
    return _mm_xor_si128(_mm_and_si128(b, _mm_set1_epi32(0x7FFFFFFF)), _mm_srai_epi32(b, 31));
}

// Packed operations on one element type: bytes (32 to a register, 16 to a half, 8 in a small
// block), floats and order keys (8 to a register, 4 to a half and to a small block).
template <bool Float> struct Register {
    using wide = __m256i;
    using half = __m128i;
};
template <> struct Register<true> {
    using wide = __m256;
    using half = __m128;
};
template <class T, bool D> struct Lanes {
    static constexpr bool kFloat = std::is_same_v<T, Zyl32f>, kKey = std::is_same_v<T, Zyl32s>;
    using V = typename Register<kFloat>::wide;
    using H = typename Register<kFloat>::half;
    static constexpr int kWide = 32 / int(sizeof(T)), kHalf = kWide / 2,
                         kSmall = sizeof(T) == 1 ? 8 : 4;
    static ZYLCV_INLINE V load(const T *p) { return avx2::load(p); }
    static ZYLCV_INLINE void store(T *p, V v) { avx2::store(p, v); }
    static ZYLCV_INLINE H load_half(const T *p) { return sse2::load(p); }
    static ZYLCV_INLINE void store_half(T *p, H v) { sse2::store(p, v); }
    static ZYLCV_INLINE H load_small(const T *p)
    {
        if constexpr (sizeof(T) == 1) return sse2::load8(p);
        else return sse2::load(p);
    }
    static ZYLCV_INLINE void store_small(T *p, H v)
    {
        if constexpr (sizeof(T) == 1) sse2::store8(p, v);
        else sse2::store(p, v);
    }
    template <class R> static ZYLCV_INLINE R fold(R a, R b)
    {
        if constexpr (kFloat) return foldf<D>(a, b);
        else if constexpr (kKey) return foldk<D>(a, b);
        else return fold8<D>(a, b);
    }
};

// The fold of a register of 32 bytes x[0 .. 32) with its copies moved by S, 2S, ..,
// (W - 1) S bytes (at most 16), lo = x[0 .. 32) and hi = x[16 .. 48): each copy is the bytes of
// hi:lo aligned within each 128-bit half.
template <bool D, int S, int W, int K = 1>
ZYLCV_INLINE __m256i fold_window(__m256i v, __m256i lo, __m256i hi)
{
    if constexpr (K == W) return v;
    else return fold_window<D, S, W, K + 1>(fold8<D>(v, _mm256_alignr_epi8(hi, lo, K * S)), lo, hi);
}

const Zyl8u *bytes(const void *p) { return static_cast<const Zyl8u *>(p); }
Zyl8u *bytes(void *p) { return static_cast<Zyl8u *>(p); }

struct Rows : FoldRows<Rows> {
    // Per step 64 bytes, then 32, then 16; the row ends byte by byte.
    template <class T> static void copy(T *dst, const T *src, int n)
    {
        auto d = bytes(dst);
        auto s = bytes(src);
        const long len = long(n) * long(sizeof(T));
        long i = 0;
        for (; i + 64 <= len; i += 64) {
            __m256i a = load(s + i), b = load(s + i + 32);
            store(d + i, a);
            store(d + i + 32, b);
        }
        if (i + 32 <= len) store(d + i, load(s + i)), i += 32;
        if (i + 16 <= len) sse2::store(d + i, sse2::load(s + i)), i += 16;
        for (; i < len; ++i) d[i] = s[i];
    }

    // Whether a row holds a NaN: per step 16 floats, then 8, then 4, then one by one.
    static bool has_nan(const Zyl32f *s, int n)
    {
        __m256 acc = _mm256_setzero_ps();
        int e = 0;
        for (; e + 16 <= n; e += 16) {
            __m256 a = load(s + e), b = load(s + e + 8);
            acc = _mm256_or_ps(acc, _mm256_cmp_ps(a, b, _CMP_UNORD_Q));
        }
        if (e + 8 <= n) {
            __m256 a = load(s + e);
            acc = _mm256_or_ps(acc, _mm256_cmp_ps(a, a, _CMP_UNORD_Q));
            e += 8;
        }
        if (e + 4 <= n) {
            __m128 a = sse2::load(s + e);
            acc = _mm256_or_ps(acc, _mm256_zextps128_ps256(_mm_cmpunord_ps(a, a)));
            e += 4;
        }
        bool any = _mm256_movemask_ps(acc) != 0;
        for (; e < n; ++e) any |= is_nan_bits(bits(s[e]));
        return any;
    }

    // Per step 16 floats to order keys, then 8, then 4; the row ends key by key.
    static void keys(Zyl32s *d, const Zyl32f *s, int n)
    {
        int e = 0;
        // Loaded as integer lanes: the keys are formed by integer operations.
        for (; e + 16 <= n; e += 16) {
            __m256i a = to_key(load(static_cast<const void *>(s + e)));
            __m256i b = to_key(load(static_cast<const void *>(s + e + 8)));
            store(d + e, a);
            store(d + e + 8, b);
        }
        if (e + 8 <= n) store(d + e, to_key(load(static_cast<const void *>(s + e)))), e += 8;
        if (e + 4 <= n)
            sse2::store(d + e, to_key(sse2::load(static_cast<const void *>(s + e)))), e += 4;
        for (; e < n; ++e) d[e] = order_key(bits(s[e]));
    }

    // Horizontal pass of 8u rows whose window spans at most 16 bytes ((mW - 1) * C): per step
    // 64 bytes, then 32, each register folded with its moved copies formed from two loads 16
    // bytes apart (see fold_window), while those loads stay inside the row, then 32-byte blocks
    // from W loads, the last overlapping the one before (out is not the source); rows shorter
    // than 32 bytes and other windows go through the fold engine.
    template <bool D, int S, int W> static int hpass_aligned(const Zyl8u *b, Zyl8u *out, int n)
    {
        // Loads reach 48 bytes past a block's start; the row has n + (W - 1) * S bytes.
        const int stop = n + (W - 1) * S - 48;
        int x = 0;
        for (; x + 32 <= stop; x += 64) {
            const __m256i a0 = load(b + x), a1 = load(b + x + 16);
            const __m256i a2 = load(b + x + 32), a3 = load(b + x + 48);
            store(out + x, fold_window<D, S, W>(a0, a0, a1));
            store(out + x + 32, fold_window<D, S, W>(a2, a2, a3));
        }
        for (; x <= stop; x += 32) {
            const __m256i a0 = load(b + x), a1 = load(b + x + 16);
            store(out + x, fold_window<D, S, W>(a0, a0, a1));
        }
        for (; x < n && n >= 32; x += 32) {
            if (x + 32 > n) x = n - 32;
            __m256i v = load(b + x);
            for (int k = 1; k < W; ++k) v = fold8<D>(v, load(b + x + k * S));
            store(out + x, v);
        }
        return x;
    }
    template <bool D, class T> static void hpass(const T *b, T *out, int n, int C, int mW)
    {
        if constexpr (sizeof(T) == 1) {
            using F = int (*)(const Zyl8u *, Zyl8u *, int);
            // Windows of 2 .. 6 pixels of 1 or 3 bytes, 2 .. 5 pixels of 4 bytes.
            static constexpr F kFor[3][5] = {
                {&hpass_aligned<D, 1, 2>, &hpass_aligned<D, 1, 3>, &hpass_aligned<D, 1, 4>,
                 &hpass_aligned<D, 1, 5>, &hpass_aligned<D, 1, 6>},
                {&hpass_aligned<D, 3, 2>, &hpass_aligned<D, 3, 3>, &hpass_aligned<D, 3, 4>,
                 &hpass_aligned<D, 3, 5>, &hpass_aligned<D, 3, 6>},
                {&hpass_aligned<D, 4, 2>, &hpass_aligned<D, 4, 3>, &hpass_aligned<D, 4, 4>,
                 &hpass_aligned<D, 4, 5>, nullptr}};
            const F f = mW >= 2 && mW <= 6 && (C == 1 || C == 3 || C == 4)
                            ? kFor[C == 1 ? 0 : C - 2][mW - 2]
                            : nullptr;
            if (f) {
                const int x = f(b, out, n);
                if (x < n) FoldRows::template hpass<D>(b + x, out + x, n - x, C, mW);
                return;
            }
        }
        FoldRows::template hpass<D>(b, out, n, C, mW);
    }

    // The fold engine of both passes (see FoldRows). Per step 64 bytes in two registers, then 32,
    // then one 32-byte block that overlaps the one before; rows shorter than 32 bytes take a
    // 16-byte block, then 8 bytes or 4 floats, with the same overlap. K > 0 fixes the count at
    // compile time, so the small elements run fully unrolled with their row pointers in
    // registers.
    template <bool D, int K, class T, bool Finish>
    static void fold_sources(const T *const *src, int m, T *out, int n, bool first, bool *nan)
    {
        // Floats fold as floats, keys (Zyl32s) as signed integers, bytes as unsigned.
        using L = Lanes<T, D>;
        using V = typename L::V;
        using H = typename L::H;
        constexpr bool check = L::kFloat && Finish, toBits = L::kKey && Finish;
        constexpr int kWide = L::kWide, kHalf = L::kHalf, kSmall = L::kSmall;
        const T *q[K > 0 ? K : 1];
        if constexpr (K > 0)
            for (int k = 0; k < K; ++k) q[k] = src[k];
        const int count = K > 0 ? K : m, k0 = K > 0 || first ? 1 : 0;
        const T *init = K > 0 ? q[0] : first ? src[0] : out;
        auto at = [&](int k) { return K > 0 ? q[k] : src[k]; };
        __m256 unordered = _mm256_setzero_ps();
        __m128 unorderedHalf = _mm_setzero_ps();
        // One compare covers two registers: a lane is unordered when either holds a NaN.
        auto note2 = [&](V &a, V &b) {
            if constexpr (check)
                unordered = _mm256_or_ps(unordered, _mm256_cmp_ps(a, b, _CMP_UNORD_Q));
            if constexpr (toBits) a = to_key(a), b = to_key(b);
        };
        auto note = [&](V &v) {
            if constexpr (check)
                unordered = _mm256_or_ps(unordered, _mm256_cmp_ps(v, v, _CMP_UNORD_Q));
            if constexpr (toBits) v = to_key(v);
        };
        auto note_half = [&](H &v) {
            if constexpr (check) unorderedHalf = _mm_or_ps(unorderedHalf, _mm_cmpunord_ps(v, v));
            if constexpr (toBits) v = to_key(v);
        };
        int e = 0;
        for (; e + 2 * kWide <= n; e += 2 * kWide) {
            V v0 = L::load(init + e), v1 = L::load(init + e + kWide);
#pragma GCC unroll 16
            for (int k = k0; k < count; ++k) {
                v0 = L::fold(v0, L::load(at(k) + e));
                v1 = L::fold(v1, L::load(at(k) + e + kWide));
            }
            note2(v0, v1);
            L::store(out + e, v0);
            L::store(out + e + kWide, v1);
        }
        auto wide_block = [&](int x) {
            V v = L::load(init + x);
#pragma GCC unroll 16
            for (int k = k0; k < count; ++k) v = L::fold(v, L::load(at(k) + x));
            note(v);
            L::store(out + x, v);
        };
        auto half_block = [&](int x) {
            H v = L::load_half(init + x);
#pragma GCC unroll 16
            for (int k = k0; k < count; ++k) v = L::fold(v, L::load_half(at(k) + x));
            note_half(v);
            L::store_half(out + x, v);
        };
        auto small_block = [&](int x) {
            H v = L::load_small(init + x);
#pragma GCC unroll 16
            for (int k = k0; k < count; ++k) v = L::fold(v, L::load_small(at(k) + x));
            note_half(v);
            L::store_small(out + x, v);
        };
        // A last block that overlaps the one before: its elements are computed again from the
        // same sources, and where out is also the first source, refolding a finished element
        // gives it back unchanged (the fold of a value with values already folded into it).
        // Keys already turned into float bits cannot be refolded.
        const bool overlap = !(toBits && init == out);
        if (e + kWide <= n) wide_block(e), e += kWide;
        if (e < n && n >= kWide && overlap) wide_block(n - kWide), e = n;
        if (e + kHalf <= n) half_block(e), e += kHalf;
        if constexpr (kSmall < kHalf)
            if (e + kSmall <= n) small_block(e), e += kSmall;
        if (e < n && n >= kSmall && overlap) small_block(n - kSmall), e = n;
        for (; e < n; ++e) {
            T v = init[e];
            for (int k = k0; k < count; ++k) v = fold<D>(v, at(k)[e]);
            if constexpr (check)
                if (v != v) unorderedHalf = _mm_castsi128_ps(_mm_set1_epi32(-1));
            if constexpr (toBits) v = order_key(std::uint32_t(v));
            out[e] = v;
        }
        if constexpr (check)
            *nan = (_mm256_movemask_ps(unordered) | _mm_movemask_ps(unorderedHalf)) != 0;
    }

    // One in-place step of the doubling pass: b[i] = fold(b[i], b[i + d]) for i < len, in blocks
    // of 64 bytes, then 32, from the left (a block reads only elements not yet rewritten); the
    // row ends element by element.
    template <bool D, class T> static void fold_shifted(T *b, int len, int d)
    {
        using L = Lanes<T, D>;
        constexpr int kWide = L::kWide;
        int i = 0;
        for (; i + 2 * kWide <= len; i += 2 * kWide) {
            auto v0 = L::fold(L::load(b + i), L::load(b + i + d));
            auto v1 = L::fold(L::load(b + i + kWide), L::load(b + i + kWide + d));
            L::store(b + i, v0);
            L::store(b + i + kWide, v1);
        }
        if (i + kWide <= len)
            L::store(b + i, L::fold(L::load(b + i), L::load(b + i + d))), i += kWide;
        for (; i < len; ++i) b[i] = fold<D>(b[i], b[i + d]);
    }

    // Cross windows in one pass from the bordered anchor row b: per step 64 bytes in two
    // registers, the bar (the fold of b's mW shifted copies) is formed and folded into the column
    // at the anchor's place, rows oldest first; then 32 bytes, with a last block that overlaps
    // the one before (the destination is none of the sources). Rows shorter than 32 bytes and
    // windows taller than 64 rows go through the scratch row bar.
    template <bool D, class T>
    static void cross(Zyl8u **table, const T *b, T *bar, T *out, const Geometry &g)
    {
        using L = Lanes<T, D>;
        using V = typename L::V;
        constexpr int kWide = L::kWide;
        const int n = g.n, C = g.C, mW = g.mW, mH = g.mH, aY = g.aY;
        if (mH > kChunk || n < kWide) {
            bar_then_column<Rows, D>(table, b, bar, out, g);
            return;
        }
        // Row pointers in a local array, so that stores to out cannot alias them.
        const T *r[kChunk];
        for (int i = 0; i < mH; ++i) r[i] = reinterpret_cast<const T *>(table[i]);
        auto column = [&](V h, int x) {
            V v = aY ? L::load(r[0] + x) : h;
            for (int i = 1; i < aY; ++i) v = L::fold(v, L::load(r[i] + x));
            if (aY) v = L::fold(v, h);
            for (int i = aY + 1; i < mH; ++i) v = L::fold(v, L::load(r[i] + x));
            return v;
        };
        int e = 0;
        for (; e + 2 * kWide <= n; e += 2 * kWide) {
            V h0 = L::load(b + e), h1 = L::load(b + e + kWide);
            for (int k = 1; k < mW; ++k) {
                h0 = L::fold(h0, L::load(b + e + k * C));
                h1 = L::fold(h1, L::load(b + e + k * C + kWide));
            }
            V v0 = aY ? L::load(r[0] + e) : h0, v1 = aY ? L::load(r[0] + e + kWide) : h1;
            for (int i = 1; i < aY; ++i) {
                v0 = L::fold(v0, L::load(r[i] + e));
                v1 = L::fold(v1, L::load(r[i] + e + kWide));
            }
            if (aY) v0 = L::fold(v0, h0), v1 = L::fold(v1, h1);
            for (int i = aY + 1; i < mH; ++i) {
                v0 = L::fold(v0, L::load(r[i] + e));
                v1 = L::fold(v1, L::load(r[i] + e + kWide));
            }
            L::store(out + e, v0);
            L::store(out + e + kWide, v1);
        }
        auto wide_block = [&](int x) {
            V h = L::load(b + x);
            for (int k = 1; k < mW; ++k) h = L::fold(h, L::load(b + x + k * C));
            L::store(out + x, column(h, x));
        };
        if (e + kWide <= n) wide_block(e), e += kWide;
        if (e < n) wide_block(n - kWide);
    }

    // Suffix folds of a batch (mH <= 64): destination row j = fold(row j, row j + 1's suffix)
    // for j = mH - 2 down to 0, all in one pass. Per step 64 bytes in two registers, then 32,
    // then 8 bytes or 4 floats; the row ends element by element.
    template <bool D, class T>
    static void suffixes(Zyl8u *const *rows, T *d, int dstStep, int n, int mH)
    {
        using L = Lanes<T, D>;
        constexpr int kWide = L::kWide;
        const T *r[kChunk];
        T *o[kChunk];
        for (int j = 0; j < mH; ++j) {
            r[j] = reinterpret_cast<const T *>(rows[j]);
            o[j] = advance(d, std::ptrdiff_t(j) * dstStep);
        }
        int e = 0;
        for (; e + 2 * kWide <= n; e += 2 * kWide) {
            auto v0 = L::load(r[mH - 1] + e), v1 = L::load(r[mH - 1] + e + kWide);
            for (int j = mH - 2; j >= 0; --j) {
                v0 = L::fold(L::load(r[j] + e), v0);
                v1 = L::fold(L::load(r[j] + e + kWide), v1);
                L::store(o[j] + e, v0);
                L::store(o[j] + e + kWide, v1);
            }
        }
        if (e + kWide <= n) {
            auto v = L::load(r[mH - 1] + e);
            for (int j = mH - 2; j >= 0; --j) L::store(o[j] + e, v = L::fold(L::load(r[j] + e), v));
            e += kWide;
        }
        for (; e + L::kSmall <= n; e += L::kSmall) {
            auto v = L::load_small(r[mH - 1] + e);
            for (int j = mH - 2; j >= 0; --j)
                L::store_small(o[j] + e, v = L::fold(L::load_small(r[j] + e), v));
        }
        for (; e < n; ++e) {
            T v = r[mH - 1][e];
            for (int j = mH - 2; j >= 0; --j) o[j][e] = v = fold<D>(r[j][e], v);
        }
    }
};

}  // namespace

ZYLCV_MORPH_ENTRIES

}  // namespace zylcv::avx2
