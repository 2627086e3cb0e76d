// SSE2 erosion and dilation kernels. Rows are flat element arrays; 8u rows go in blocks of 32
// bytes, then 8, and 32f rows in blocks of 8 floats, then 4; a row's last block overlaps the one
// before, and rows shorter than a block go element by element with the portable twin's folds.
// Loads and stores are unaligned (ring rows are only 8-byte aligned for 8u, and caller rows have
// any alignment); the bits do not depend on alignment. Mask windows fold the member cells only,
// which leaves the result unchanged (a non-member contributes the fold's neutral value).
#include <emmintrin.h>

#include "core/simd_sse2.h"
#include "morph.h"

namespace zylcv::sse2 {
namespace {

using namespace zylcv::morph;

// The folds on packed lanes: unsigned bytes; floats with the a < b ? a : b (a > b ? a : b)
// rule, which minps (maxps) implements with the running value as first operand; signed 32-bit
// order keys through a compare and a select.
template <bool D> __m128i fold8(__m128i a, __m128i b)
{
    return D ? _mm_max_epu8(a, b) : _mm_min_epu8(a, b);
}
template <bool D> __m128 foldf(__m128 a, __m128 b)
{
    return D ? _mm_max_ps(a, b) : _mm_min_ps(a, b);
}
template <bool D> __m128i foldk(__m128i a, __m128i b)
{
    __m128i gt = _mm_cmpgt_epi32(a, b);
    return D ? _mm_or_si128(_mm_and_si128(gt, a), _mm_andnot_si128(gt, b))
             : _mm_or_si128(_mm_and_si128(gt, b), _mm_andnot_si128(gt, a));
}
// Float bits to order keys and back (the same mapping).
__m128i to_key(__m128i b)
{
    return _mm_xor_si128(_mm_and_si128(b, _mm_set1_epi32(0x7FFFFFFF)), _mm_srai_epi32(b, 31));
}

// Packed operations on one element type: bytes (16 to a register, 8 in a small block), floats
// and order keys (4 to a register and to a small block). A step is two registers.
template <bool Float> struct Register {
    using type = __m128i;
};
template <> struct Register<true> {
    using type = __m128;
};
template <class T, bool D> struct Lanes {
    static constexpr bool kFloat = std::is_same_v<T, Zyl32f>, kKey = std::is_same_v<T, Zyl32s>;
    using V = typename Register<kFloat>::type;
    static constexpr int kStep = 32 / int(sizeof(T)), kHalf = kStep / 2,
                         kSmall = sizeof(T) == 1 ? 8 : 4;
    static V load_small(const T *p)
    {
        if constexpr (sizeof(T) == 1) return load8(p);
        else return sse2::load(p);
    }
    static void store_small(T *p, V v)
    {
        if constexpr (sizeof(T) == 1) store8(p, v);
        else sse2::store(p, v);
    }
    static V fold(V a, V b)
    {
        if constexpr (kFloat) return foldf<D>(a, b);
        else if constexpr (kKey) return foldk<D>(a, b);
        else return fold8<D>(a, b);
    }
};

const Zyl8u *bytes(const void *p) { return static_cast<const Zyl8u *>(p); }
Zyl8u *bytes(void *p) { return static_cast<Zyl8u *>(p); }

struct Rows : FoldRows<Rows> {
    // Per step 32 bytes, then 16; the row ends byte by byte.
    template <class T> static void copy(T *dst, const T *src, int n)
    {
        auto d = bytes(dst);
        auto s = bytes(src);
        const long len = long(n) * long(sizeof(T));
        long i = 0;
        for (; i + 32 <= len; i += 32) {
            __m128i a = load(s + i), b = load(s + i + 16);
            store(d + i, a);
            store(d + i + 16, b);
        }
        for (; i + 16 <= len; i += 16) store(d + i, load(s + i));
        for (; i < len; ++i) d[i] = s[i];
    }

    // Whether a row holds a NaN: per step 8 floats, then 4, then one by one.
    static bool has_nan(const Zyl32f *s, int n)
    {
        __m128 acc = _mm_setzero_ps();
        int e = 0;
        for (; e + 8 <= n; e += 8) {
            __m128 a = load(s + e), b = load(s + e + 4);
            acc = _mm_or_ps(acc, _mm_or_ps(_mm_cmpunord_ps(a, a), _mm_cmpunord_ps(b, b)));
        }
        for (; e + 4 <= n; e += 4) {
            __m128 a = load(s + e);
            acc = _mm_or_ps(acc, _mm_cmpunord_ps(a, a));
        }
        bool any = _mm_movemask_ps(acc) != 0;
        for (; e < n; ++e) any |= is_nan_bits(bits(s[e]));
        return any;
    }

    // Per step 8 floats to order keys, then 4; the row ends key by key.
    static void keys(Zyl32s *d, const Zyl32f *s, int n)
    {
        int e = 0;
        for (; e + 8 <= n; e += 8) {
            // Loaded as integer lanes: the keys are formed by integer operations.
            __m128i a = to_key(load(static_cast<const void *>(s + e)));
            __m128i b = to_key(load(static_cast<const void *>(s + e + 4)));
            store(d + e, a);
            store(d + e + 4, b);
        }
        for (; e + 4 <= n; e += 4) store(d + e, to_key(load(static_cast<const void *>(s + e))));
        for (; e < n; ++e) d[e] = order_key(bits(s[e]));
    }

    // The fold engine of both passes (see FoldRows). Per step 32 bytes (8u) or 8 floats, then 8
    // bytes or 4 floats, then one overlapping block (see below). K > 0 fixes the count at compile
    // time, so the small elements run fully unrolled with their row pointers in registers.
    template <bool D, int K, class T, bool Finish>
    static void fold_sources(const T *const *src, int m, T *out, int n, bool first, bool *nan)
    {
        // Floats fold as floats, keys (Zyl32s) as signed integers, bytes as unsigned.
        using L = Lanes<T, D>;
        using V = typename L::V;
        constexpr bool check = L::kFloat && Finish, toBits = L::kKey && Finish;
        constexpr int kStep = L::kStep, kHalf = L::kHalf, kSmall = L::kSmall;
        const T *q[K > 0 ? K : 1];
        if constexpr (K > 0)
            for (int k = 0; k < K; ++k) q[k] = src[k];
        const int count = K > 0 ? K : m, k0 = K > 0 || first ? 1 : 0;
        const T *init = K > 0 ? q[0] : first ? src[0] : out;
        auto at = [&](int k) { return K > 0 ? q[k] : src[k]; };
        __m128 unordered = _mm_setzero_ps();
        // One compare covers two registers: a lane is unordered when either holds a NaN.
        auto note2 = [&](V &a, V &b) {
            if constexpr (check) unordered = _mm_or_ps(unordered, _mm_cmpunord_ps(a, b));
            if constexpr (toBits) a = to_key(a), b = to_key(b);
        };
        auto note = [&](V &v) {
            if constexpr (check) unordered = _mm_or_ps(unordered, _mm_cmpunord_ps(v, v));
            if constexpr (toBits) v = to_key(v);
        };
        int e = 0;
        for (; e + kStep <= n; e += kStep) {
            V v0 = load(init + e), v1 = load(init + e + kHalf);
#pragma GCC unroll 16
            for (int k = k0; k < count; ++k) {
                v0 = L::fold(v0, load(at(k) + e));
                v1 = L::fold(v1, load(at(k) + e + kHalf));
            }
            note2(v0, v1);
            store(out + e, v0);
            store(out + e + kHalf, v1);
        }
        auto small_block = [&](int at0) {
            V v = L::load_small(init + at0);
#pragma GCC unroll 16
            for (int k = k0; k < count; ++k) v = L::fold(v, L::load_small(at(k) + at0));
            note(v);
            L::store_small(out + at0, v);
        };
        for (; e + kSmall <= n; e += kSmall) small_block(e);
        // A last block that overlaps the one before: its elements are computed again from the
        // same sources, and where out is also the first source, refolding a finished element
        // gives it back unchanged (the fold of a value with values already folded into it).
        // Keys already turned into float bits cannot be refolded.
        if (e < n && n >= kSmall && !(toBits && init == out)) {
            small_block(n - kSmall);
            e = n;
        }
        for (; e < n; ++e) {
            T v = init[e];
            for (int k = k0; k < count; ++k) v = fold<D>(v, at(k)[e]);
            if constexpr (check)
                if (v != v) unordered = _mm_castsi128_ps(_mm_set1_epi32(-1));
            if constexpr (toBits) v = order_key(std::uint32_t(v));
            out[e] = v;
        }
        if constexpr (check) *nan = _mm_movemask_ps(unordered) != 0;
    }
    // One in-place step of the pass below: b[i] = fold(b[i], b[i + d]) for i < len, in blocks
    // of 32 bytes from the left (a block reads only elements not yet rewritten).
    template <bool D, class T> static void fold_shifted(T *b, int len, int d)
    {
        using L = Lanes<T, D>;
        int i = 0;
        for (; i + L::kStep <= len; i += L::kStep) {
            auto v0 = L::fold(load(b + i), load(b + i + d));
            auto v1 = L::fold(load(b + i + L::kHalf), load(b + i + L::kHalf + d));
            store(b + i, v0);
            store(b + i + L::kHalf, v1);
        }
        for (; i < len; ++i) b[i] = fold<D>(b[i], b[i + d]);
    }
    // Suffix folds of a batch (mH <= 64): destination row j = fold(row j, row j + 1's suffix)
    // for j = mH - 2 down to 0, all in one pass. Per step 32 bytes or 8 floats, then 8 bytes or 4
    // floats; the row ends element by element.
    template <bool D, class T>
    static void suffixes(Zyl8u *const *rows, T *d, int dstStep, int n, int mH)
    {
        using L = Lanes<T, D>;
        const T *r[kChunk];
        T *o[kChunk];
        for (int j = 0; j < mH; ++j) {
            r[j] = reinterpret_cast<const T *>(rows[j]);
            o[j] = advance(d, std::ptrdiff_t(j) * dstStep);
        }
        int e = 0;
        for (; e + L::kStep <= n; e += L::kStep) {
            auto v0 = load(r[mH - 1] + e), v1 = load(r[mH - 1] + e + L::kHalf);
            for (int j = mH - 2; j >= 0; --j) {
                v0 = L::fold(load(r[j] + e), v0);
                v1 = L::fold(load(r[j] + e + L::kHalf), v1);
                store(o[j] + e, v0);
                store(o[j] + e + L::kHalf, v1);
            }
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

}  // namespace zylcv::sse2
