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

struct Rows {
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

    // The fold engine of both passes: out[e] = fold over k of src[k][e], k in order. The
    // sources of one call are at most kChunk row pointers kept in a local array (so stores to
    // the destination cannot alias them); `first` starts from src[0], otherwise the running
    // value is the partial result already in out. Per step 32 bytes (8u) or 8 floats, then 8
    // bytes or 4 floats, then one overlapping block (see below). K > 0 fixes the count at
    // compile time (and starts from src[0]), so the small elements run fully unrolled with
    // their row pointers in registers.
    static constexpr int kChunk = 64;
    // Finish (for the final results only, fixed at compile time): floats tell in *nan whether
    // any result is a NaN; order keys are stored as the float bits they stand for.
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
    // One chunk of sources: counts up to 10 unrolled when it starts the fold.
    template <bool D, bool Finish, class T>
    static void fold_chunk(const T *const *p, int c, T *out, int n, bool first, bool *nan)
    {
        switch (first ? c : 0) {
        case 2:
            fold_sources<D, 2, T, Finish>(p, c, out, n, true, nan);
            break;
        case 3:
            fold_sources<D, 3, T, Finish>(p, c, out, n, true, nan);
            break;
        case 4:
            fold_sources<D, 4, T, Finish>(p, c, out, n, true, nan);
            break;
        case 5:
            fold_sources<D, 5, T, Finish>(p, c, out, n, true, nan);
            break;
        case 6:
            fold_sources<D, 6, T, Finish>(p, c, out, n, true, nan);
            break;
        case 7:
            fold_sources<D, 7, T, Finish>(p, c, out, n, true, nan);
            break;
        case 8:
            fold_sources<D, 8, T, Finish>(p, c, out, n, true, nan);
            break;
        case 9:
            fold_sources<D, 9, T, Finish>(p, c, out, n, true, nan);
            break;
        case 10:
            fold_sources<D, 10, T, Finish>(p, c, out, n, true, nan);
            break;
        default:
            fold_sources<D, 0, T, Finish>(p, c, out, n, first, nan);
        }
    }
    // Sources given by a function of k (a shifted row or a ring row), in chunks of kChunk; the
    // last chunk finishes the results.
    template <bool D, bool Finish = false, class T, class F>
    static void fold_all(F source, int m, T *out, int n, bool *nan = nullptr)
    {
        const T *p[kChunk];
        for (int k0 = 0; k0 < m; k0 += kChunk) {
            const int c = m - k0 < kChunk ? m - k0 : kChunk;
            for (int k = 0; k < c; ++k) p[k] = source(k0 + k);
            if (k0 + c == m) fold_chunk<D, Finish>(p, c, out, n, k0 == 0, nan);
            else fold_chunk<D, false>(p, c, out, n, k0 == 0, nan);
        }
    }

    // Horizontal pass: the fold of the mW copies of the bordered row shifted by k pixels.
    template <bool D, class T> static void hpass(const T *b, T *out, int n, int C, int mW)
    {
        fold_all<D>([b, C](int k) { return b + k * C; }, mW, out, n);
    }
    // The same for floats, telling whether any result is a NaN.
    template <bool D> static bool hpass_nan(const Zyl32f *b, Zyl32f *out, int n, int C, int mW)
    {
        bool nan = false;
        fold_all<D, true>([b, C](int k) { return b + k * C; }, mW, out, n, &nan);
        return nan;
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
    // Horizontal pass for folds that may be regrouped, from the unbordered row s of n elements
    // with the scratch row b: windows of 2, 4, ..., p pixels are built in b, then
    // out = fold(window p at x, window p at x + mW - p), which overlap or touch. The first step
    // reads s (its inside by blocks, its two ends through the replicated border pixels), the
    // others work in place.
    template <bool D, class T>
    static void hpass_doubling(const T *s, T *b, T *out, int n, int C, int mW, int left, int right)
    {
        // Step 1: b[i] = fold(x[i], x[i + C]) for i < len, x = s with its borders. Near the
        // ends both values are the first or the last pixel, so b holds that pixel.
        int len = n + left + right - C;
        const T *inside[2] = {s, s + C};
        if (n > C) fold_sources<D, 2, T, false>(inside, 2, b + left, n - C, true, nullptr);
        for (int c = 0; c < C; ++c) {
            for (int i = c; i < left; i += C) b[i] = s[c];
            for (int i = left + n - C + c; i < len; i += C) b[i] = s[n - C + c];
        }
        int p = 2;
        for (; 2 * p <= mW; p *= 2) {
            len -= p * C;
            fold_shifted<D>(b, len, p * C);
        }
        hpass<D>(b, out, n, (mW - p) * C, 2);
    }

    // Vertical step: the fold over the window's rows, oldest first.
    template <bool D, class T> static void vpass(Zyl8u *const *rows, T *out, int n, int mH)
    {
        fold_all<D>([rows](int k) { return reinterpret_cast<const T *>(rows[k]); }, mH, out, n);
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

    // Mask windows by columns (see ColumnPlan): per tile of the row, each row set with more
    // than one row that is not inlined is folded into its part of a stack buffer (a set of one
    // row is read from the ring), then the member columns are folded from their sets' rows,
    // an inlined set contributing its base and its own rows. Elements E are bytes or order
    // keys; keys leave as float bits. Returns false where the buffer would cut the row into
    // tiles of fewer than 64 elements; window_cells below takes those elements.
    template <bool D, class E>
    static bool window_columns(Zyl8u *const *rows, E *out, const Geometry &g, const ColumnPlan &p)
    {
        constexpr int kBuf = 16384 / int(sizeof(E));
        const int border = (g.mW - 1) * g.C;
        auto extra_rows = [&](int s) {
            return p.base[s] >= 0 ? p.rows[s] & ~p.rows[p.base[s]] : p.rows[s];
        };
        int own = 0;
        for (int s = 0; s < p.sets; ++s)
            own += !p.inlined[s] && (p.base[s] >= 0 || popcount(p.rows[s]) > 1);
        const int per = own ? (kBuf / own) & ~7 : 0;
        int tile = own ? per - border : g.n;
        if (tile < g.n && tile < 64) return false;
        if (tile > g.n) tile = g.n;
        alignas(16) E buf[kBuf];
        const E *setRow[64];
        const E *src[65];
        int m = 0;
        // The sources of set s moved by dx elements: its base's row and its own ring rows.
        auto add_set = [&](int s, int x0, int dx) {
            if (p.base[s] >= 0) src[m++] = setRow[p.base[s]] + dx;
            const std::uint64_t extra = extra_rows(s);
            for (int i = 0; i < g.mH; ++i)
                if (extra >> i & 1)
                    src[m++] = reinterpret_cast<const E *>(rows[i]) - g.left + x0 + dx;
        };
        for (int x0 = 0; x0 < g.n; x0 += tile) {
            const int len = g.n - x0 < tile ? g.n - x0 : tile;
            int slot = 0;
            for (int s = 0; s < p.sets; ++s) {
                if (p.inlined[s]) continue;
                m = 0;
                add_set(s, x0, 0);
                if (m == 1) {
                    setRow[s] = src[0];
                    continue;
                }
                E *b = buf + slot++ * per;
                fold_all<D>([&](int k) { return src[k]; }, m, b, len + border);
                setRow[s] = b;
            }
            m = 0;
            for (int c = 0; c < p.cols; ++c) {
                const int s = p.colSet[c], dx = p.colX[c] * g.C;
                if (p.inlined[s]) add_set(s, x0, dx);
                else src[m++] = setRow[s] + dx;
            }
            fold_all<D, true>([&](int k) { return src[k]; }, m, out + x0, len);
        }
        return true;
    }

    // Mask windows cell by cell, for elements the column plan does not take: the fold over the
    // member cells (each a ring row moved to its column), which fold_all asks for in order; an
    // element without members gives the fold's neutral value.
    template <bool D, class E>
    static void window_cells(Zyl8u *const *rows, E *out, const Geometry &g, const Zyl8u *mask,
                             int cellBytes)
    {
        const int cells = g.mW * g.mH;
        int members = 0;
        for (int c = 0; c < cells; ++c) members += mask[c * cellBytes] != 0;
        if (members == 0) {
            const E neutral =
                sizeof(E) == 1 ? E(D ? 0 : 255) : E(order_key(D ? 0x80000000u : 0x7FFFFFFFu));
            for (int e = 0; e < g.n; ++e) out[e] = neutral;
            return;
        }
        int cell = 0;
        auto member = [&](int) {
            while (!mask[cell * cellBytes]) ++cell;
            const E *p =
                reinterpret_cast<const E *>(rows[cell / g.mW]) - g.left + (cell % g.mW) * g.C;
            ++cell;
            return p;
        };
        fold_all<D, true>(member, members, out, g.n);
    }

    // Bytes, and floats as order keys that leave as float bits.
    template <bool D>
    static void window(Zyl8u *const *rows, Zyl8u *out, const Geometry &g, const Zyl8u *mask,
                       const Zyl8u *, const ColumnPlan &plan)
    {
        if (!(plan.ok && window_columns<D>(rows, out, g, plan)))
            window_cells<D>(rows, out, g, mask, 8);
    }
    template <bool D>
    static void window(Zyl8u *const *rows, Zyl32f *out, const Geometry &g, const Zyl8u *mask,
                       const Zyl8u *, const ColumnPlan &plan)
    {
        auto keys = reinterpret_cast<Zyl32s *>(out);
        if (!(plan.ok && window_columns<D>(rows, keys, g, plan)))
            window_cells<D>(rows, keys, g, mask, 1);
    }
};

}  // namespace

ZYLCV_MORPH_ENTRIES

}  // namespace zylcv::sse2
