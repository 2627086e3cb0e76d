// Norm kernels: what a norm is made of (kind, term, summation scheme), the per-pixel helpers and
// final steps shared by both twins, the portable twin's rows, and the twins' entries.
//
// Every norm reduces one term per selected pixel (mask byte non-zero):
//   Value  |a|            the norm of one image
//   Diff   |a - b|        the norm of a difference
//   Rel    |a - b|, |b|   numerator and denominator of a relative norm, gathered in one pass
// by one kind: Inf (largest term), L1 (sum of terms), L2 (sum of squared terms, then a root).
// 8-bit data reduce exactly in integers (L1 in 32 bits, L2 in 64 bits), so the visiting order
// is free. 32f data reduce in single precision into four partial sums whose update and final
// combination differ between members; kSchemes below fixes them, and both twins follow it.
#ifndef ZYLCV_NORM_NORM_H
#define ZYLCV_NORM_NORM_H

#include "core/internal.h"

#ifndef ZYLCV_INLINE
#define ZYLCV_INLINE inline __attribute__((always_inline))
#endif

namespace zylcv::norm {

enum class NormKind { Inf, L1, L2 };
enum class NormTerm { Value, Diff, Rel };

// ---- single-precision summation schemes --------------------------------------------------

// A row is taken in groups of eight pixels while eight remain; terms t0..t7 of a group go to
// the partial sums P0..P3, Pj receiving tj and tj+4. A pixel after the last group of a row is
// added to P0 alone. The partial sums run on across rows.
enum class GroupUpdate {
    Sequential,  // Pj = (Pj + tj) + tj+4
    PairFirst,   // Pj = Pj + (tj + tj+4)
};
enum class FinalSum {
    Halves,  // (P0 + P2) + (P1 + P3)
    Chain,   // ((P0 + P1) + P2) + P3
};

struct SumScheme {
    NormTerm term;
    NormKind kind;
    bool coi;  // channel of interest of a three-channel image
    GroupUpdate update;
    FinalSum final;
};

// The one place where the 32f L1 and L2 members differ. Each choice fixes the rounding of the
// result, so each is part of the member's definition.
inline constexpr SumScheme kSchemes[] = {
    //  term             kind           coi    update                   final
    {NormTerm::Value, NormKind::L1, false, GroupUpdate::PairFirst, FinalSum::Halves},
    {NormTerm::Value, NormKind::L1, true, GroupUpdate::Sequential, FinalSum::Halves},
    {NormTerm::Value, NormKind::L2, false, GroupUpdate::Sequential, FinalSum::Chain},
    {NormTerm::Value, NormKind::L2, true, GroupUpdate::Sequential, FinalSum::Halves},
    {NormTerm::Diff, NormKind::L1, false, GroupUpdate::PairFirst, FinalSum::Chain},
    {NormTerm::Diff, NormKind::L1, true, GroupUpdate::Sequential, FinalSum::Halves},
    {NormTerm::Diff, NormKind::L2, false, GroupUpdate::Sequential, FinalSum::Chain},
    {NormTerm::Diff, NormKind::L2, true, GroupUpdate::Sequential, FinalSum::Halves},
    {NormTerm::Rel, NormKind::L1, false, GroupUpdate::Sequential, FinalSum::Chain},
    {NormTerm::Rel, NormKind::L1, true, GroupUpdate::Sequential, FinalSum::Chain},
    {NormTerm::Rel, NormKind::L2, false, GroupUpdate::Sequential, FinalSum::Chain},
    {NormTerm::Rel, NormKind::L2, true, GroupUpdate::Sequential, FinalSum::Halves},
};

constexpr SumScheme sum_scheme(NormTerm term, NormKind kind, bool coi)
{
    for (const SumScheme &s : kSchemes)
        if (s.term == term && s.kind == kind && s.coi == coi) return s;
    return {term, kind, coi, GroupUpdate::Sequential, FinalSum::Chain};  // Inf: no sums
}

// Four single-precision partial sums; the SSE2 twin keeps them as the lanes of one register.
struct Partials {
    float p[4] = {0.0f, 0.0f, 0.0f, 0.0f};

    template <GroupUpdate U> void add_group(const float t[8])
    {
        for (int j = 0; j < 4; ++j) {
            if constexpr (U == GroupUpdate::Sequential) p[j] = (p[j] + t[j]) + t[j + 4];
            else p[j] = p[j] + (t[j] + t[j + 4]);
        }
    }
    void add_single(float t) { p[0] = p[0] + t; }
    template <FinalSum F> float total() const
    {
        if constexpr (F == FinalSum::Halves) return (p[0] + p[2]) + (p[1] + p[3]);
        else return ((p[0] + p[1]) + p[2]) + p[3];
    }
};

// ---- terms of one pixel ------------------------------------------------------------------

// Magnitude of an 8-bit value or of the exact difference of two: 0..255 (|-128| is 128).
template <class T> inline unsigned magnitude(T a)
{
    return static_cast<unsigned>(a < 0 ? -int(a) : int(a));
}
template <class T> inline unsigned magnitude(T a, T b)
{
    int d = int(a) - int(b);
    return static_cast<unsigned>(d < 0 ? -d : d);
}

// Single-precision term of a value: |v| (sign bit cleared) for Inf and L1, v·v for L2.
template <NormKind K> inline float f32_term(float v)
{
    if constexpr (K == NormKind::L2) return v * v;
    else return clear_sign(v);
}

// Exact integer reduction of magnitudes: the largest, the 32-bit sum (kept here in 64 bits and
// wrapped at the end) or the 64-bit sum of squares.
template <NormKind K> struct IntTotal {
    std::uint64_t v = 0;
    void add(unsigned m)
    {
        if constexpr (K == NormKind::Inf) v = m > v ? m : v;
        else if constexpr (K == NormKind::L1) v += m;
        else v += std::uint64_t(m) * m;
    }
    void merge(std::uint64_t other)
    {
        if constexpr (K == NormKind::Inf) v = other > v ? other : v;
        else v += other;
    }
};

// Largest single-precision term. A NaN term never compares larger, so NaNs are passed over
// (IEEE maxNum) whatever the order of the comparisons; the SSE2 twin's maxps does the same.
inline float larger(float t, float acc) { return t > acc ? t : acc; }

// ---- final steps -------------------------------------------------------------------------

inline constexpr double kEpsilon = 2.220446049250313e-16;  // 2^-52
inline constexpr double kTwoPow52 = 4503599627370496.0;

// The reduced integer as a Zyl64f: the L1 sum is a signed 32-bit integer.
template <NormKind K> inline double int_value(std::uint64_t v)
{
    if constexpr (K == NormKind::L1)
        return double(static_cast<std::int32_t>(static_cast<std::uint32_t>(v)));
    else return double(v);
}

template <NormKind K> inline double int_norm(std::uint64_t v)
{
    if constexpr (K == NormKind::L2) return __builtin_sqrt(int_value<K>(v));
    else return int_value<K>(v);
}

// N / D, or N · 2^52 when D is zero; the square root of that for L2.
template <NormKind K> inline double int_rel(std::uint64_t n, std::uint64_t d)
{
    double nd = int_value<K>(n), dd = int_value<K>(d);
    double r = dd != 0.0 ? nd / dd : nd * kTwoPow52;
    if constexpr (K == NormKind::L2) return __builtin_sqrt(r);
    else return r;
}

template <NormKind K> inline double f32_norm(float total)
{
    if constexpr (K == NormKind::L2) return __builtin_sqrt(double(total));
    else return double(total);
}

// N / D in double precision, or N / ε when D is +0.0 or -0.0 (any other D divides).
template <NormKind K> inline double f32_rel(float n, float d)
{
    double r = d != 0.0f ? double(n) / double(d) : double(n) / kEpsilon;
    if constexpr (K == NormKind::L2) return __builtin_sqrt(r);
    else return r;
}

// Element x of a row: every element of a one-channel row, or the chosen one of three.
template <class T> struct Channel {
    int stride, offset;
    T operator()(const T *row, int x) const { return row[x * stride + offset]; }
};

// Per step: one pixel whose mask byte is set adds its magnitude(s); integer reductions are
// exact, so rows simply end at their last pixel.
template <NormKind K, NormTerm R, class T>
double int_rows(const T *a, int aStep, const T *b, int bStep, const Zyl8u *m, int mStep, int w,
                int h, Channel<T> ch)
{
    IntTotal<K> n, d;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (!m[x]) continue;
            if constexpr (R == NormTerm::Value) {
                n.add(magnitude(ch(a, x)));
            } else {
                n.add(magnitude(ch(a, x), ch(b, x)));
                if constexpr (R == NormTerm::Rel) d.add(magnitude(ch(b, x)));
            }
        }
        a = advance(a, aStep);
        if constexpr (R != NormTerm::Value) b = advance(b, bStep);
        m = advance(m, mStep);
    }
    if constexpr (R == NormTerm::Rel) return int_rel<K>(n.v, d.v);
    else return int_norm<K>(n.v);
}

// Single-precision numerator and denominator terms of pixel x (0 when it is not selected).
template <NormKind K, NormTerm R, class T>
void f32_terms(const T *a, const T *b, const Zyl8u *m, int x, Channel<T> ch, float &tn, float &td)
{
    tn = td = 0.0f;
    if (!m[x]) return;
    if constexpr (R == NormTerm::Value) {
        tn = f32_term<K>(ch(a, x));
    } else {
        tn = f32_term<K>(ch(a, x) - ch(b, x));
        if constexpr (R == NormTerm::Rel) td = f32_term<K>(ch(b, x));
    }
}

// Per step: a group of eight pixels into the four partial sums (or the largest term); the row
// ends pixel by pixel into P0.
template <NormKind K, NormTerm R, bool C3>
double f32_rows(const Zyl32f *a, int aStep, const Zyl32f *b, int bStep, const Zyl8u *m, int mStep,
                int w, int h, Channel<Zyl32f> ch)
{
    constexpr SumScheme s = sum_scheme(R, K, C3);
    Partials pn, pd;
    float maxN = 0.0f, maxD = 0.0f;
    for (int y = 0; y < h; ++y) {
        int x = 0;
        if constexpr (K != NormKind::Inf) {
            for (; x + 8 <= w; x += 8) {
                float tn[8], td[8];
                for (int j = 0; j < 8; ++j) f32_terms<K, R>(a, b, m, x + j, ch, tn[j], td[j]);
                pn.add_group<s.update>(tn);
                if constexpr (R == NormTerm::Rel) pd.add_group<s.update>(td);
            }
        }
        for (; x < w; ++x) {
            float tn, td;
            f32_terms<K, R>(a, b, m, x, ch, tn, td);
            if constexpr (K == NormKind::Inf) {
                maxN = larger(tn, maxN);
                maxD = larger(td, maxD);
            } else {
                pn.add_single(tn);
                pd.add_single(td);
            }
        }
        a = advance(a, aStep);
        if constexpr (R != NormTerm::Value) b = advance(b, bStep);
        m = advance(m, mStep);
    }
    if constexpr (K == NormKind::Inf) {
        if constexpr (R == NormTerm::Rel) return f32_rel<K>(maxN, maxD);
        else return f32_norm<K>(maxN);
    } else {
        if constexpr (R == NormTerm::Rel)
            return f32_rel<K>(pn.total<s.final>(), pd.total<s.final>());
        else return f32_norm<K>(pn.total<s.final>());
    }
}

// The portable twin's rows: one pixel per step.
struct ScalarRows {
    template <NormKind K, NormTerm R, class T>
    static double run(const T *a, int aStep, const T *b, int bStep, const Zyl8u *m, int mStep,
                      int w, int h, int coi)
    {
        const Channel<T> ch{coi ? 3 : 1, coi ? coi - 1 : 0};
        if constexpr (std::is_same_v<T, Zyl32f>) {
            if (coi) return f32_rows<K, R, true>(a, aStep, b, bStep, m, mStep, w, h, ch);
            return f32_rows<K, R, false>(a, aStep, b, bStep, m, mStep, w, h, ch);
        } else {
            return int_rows<K, R>(a, aStep, b, bStep, m, mStep, w, h, ch);
        }
    }
};

// ---- drivers of the packed twins ----------------------------------------------------------
//
// The SSE2 and AVX2 twins share these; each supplies only its lanes: byte lanes V for 8-bit
// data and, in L, its row kernels int_rows / f32_rows, its alignment test and its load paths.

// Numerator and denominator of one 8-bit kernel call: the vector reductions over the byte lanes
// V (register V::Reg, reductions V::Reduce<K>, V::unselected, V::keep, V::magnitude) and the
// exact totals of the row ends.
template <class V, NormKind K, NormTerm R> struct ByteTotals {
    typename V::template Reduce<K> n, d;
    IntTotal<K> tn, td;

    // One register of pixels: values a (and b), mask bytes m.
    template <class T>
    ZYLCV_INLINE void add(typename V::Reg a, typename V::Reg b, typename V::Reg m)
    {
        const typename V::Reg off = V::unselected(m);
        if constexpr (R == NormTerm::Value) {
            n.add(V::keep(off, V::template magnitude<T>(a)));
        } else {
            n.add(V::keep(off, V::template magnitude<T>(a, b)));
            if constexpr (R == NormTerm::Rel) d.add(V::keep(off, V::template magnitude<T>(b)));
        }
    }
    template <class T> void add1(T a, T b, Zyl8u m)
    {
        if (!m) return;
        if constexpr (R == NormTerm::Value) {
            tn.add(magnitude(a));
        } else {
            tn.add(magnitude(a, b));
            if constexpr (R == NormTerm::Rel) td.add(magnitude(b));
        }
    }
    void flush()
    {
        n.flush();
        if constexpr (R == NormTerm::Rel) d.flush();
    }
    double result()
    {
        tn.merge(n.total());
        if constexpr (R == NormTerm::Rel) {
            td.merge(d.total());
            return int_rel<K>(tn.v, td.v);
        } else {
            return int_norm<K>(tn.v);
        }
    }
};

// Terms of one 32f pixel after the last group of a row (0 when its mask byte is clear).
template <NormKind K, NormTerm R>
inline void f32_pixel_terms(float a, float b, Zyl8u m, float &tn, float &td)
{
    tn = td = 0.0f;
    if (!m) return;
    if constexpr (R == NormTerm::Value) {
        tn = f32_term<K>(a);
    } else {
        tn = f32_term<K>(a - b);
        if constexpr (R == NormTerm::Rel) td = f32_term<K>(b);
    }
}

// The pixels x..w-1 of a row after its last vector step, one at a time through acc.add1.
template <int Ch, NormTerm R, class T, class Acc>
ZYLCV_INLINE void row_end(const T *a, const T *b, const Zyl8u *m, long x, long w, Acc &acc)
{
    constexpr int cn = Ch == 0 ? 1 : 3, off = Ch == 0 ? 0 : Ch - 1;
    for (; x < w; ++x)
        acc.add1(a[x * cn + off], R != NormTerm::Value ? b[x * cn + off] : T(0), m[x]);
}

// The rows of one call: row(a, b, m) for each, the pointers then advanced by their steps.
template <NormTerm R, class T, class Row>
ZYLCV_INLINE void walk_rows(const T *a, int aStep, const T *b, int bStep, const Zyl8u *m, int mStep,
                            int h, Row row)
{
    for (int y = 0; y < h; ++y) {
        row(a, b, m);
        a = advance(a, aStep);
        if constexpr (R != NormTerm::Value) b = advance(b, bStep);
        m = advance(m, mStep);
    }
}

// The path of one call: 8-bit images whose rows are contiguous run as one long row (integer
// reductions do not depend on the order); the aligned loop runs when every row start meets the
// alignment L::aligned tests.
template <class L, int Ch, NormKind K, NormTerm R, class T>
double packed_rows(const T *a, int aStep, const T *b, int bStep, const Zyl8u *m, int mStep, int w,
                   int h)
{
    constexpr bool two = R != NormTerm::Value;
    constexpr bool f32 = std::is_same_v<T, Zyl32f>;
    long width = w;
    const std::int64_t rowBytes = std::int64_t(w) * (Ch == 0 ? 1 : 3) * std::int64_t(sizeof(T));
    if (!f32 && aStep == rowBytes && (!two || bStep == rowBytes) && mStep == w &&
        std::int64_t(w) * h <= 0x7FFFFFFF) {
        width = long(w) * h;  // contiguous rows: one long row
        h = 1;
    }
    const bool stepsAligned =
        h == 1 || (L::aligned(aStep) && (!two || L::aligned(bStep)) && (f32 || L::aligned(mStep)));
    const bool al =
        stepsAligned && L::aligned(a) && (!two || L::aligned(b)) && (f32 || L::aligned(m));
    if constexpr (f32) {
        if (al)
            return L::template f32_rows<L::kAligned, Ch, K, R>(a, aStep, b, bStep, m, mStep, width,
                                                               h);
        return L::template f32_rows<L::kUnaligned, Ch, K, R>(a, aStep, b, bStep, m, mStep, width,
                                                             h);
    } else {
        if (al)
            return L::template int_rows<L::kAligned, Ch, K, R>(a, aStep, b, bStep, m, mStep, width,
                                                               h);
        return L::template int_rows<L::kUnaligned, Ch, K, R>(a, aStep, b, bStep, m, mStep, width,
                                                             h);
    }
}

// The rows of a packed twin, by pixel layout: one-channel rows, or channel 1..3 of three.
template <class L> struct PackedRows {
    template <NormKind K, NormTerm R, class T>
    static double run(const T *a, int aStep, const T *b, int bStep, const Zyl8u *m, int mStep,
                      int w, int h, int coi)
    {
        switch (coi) {
        case 1:
            return packed_rows<L, 1, K, R>(a, aStep, b, bStep, m, mStep, w, h);
        case 2:
            return packed_rows<L, 2, K, R>(a, aStep, b, bStep, m, mStep, w, h);
        case 3:
            return packed_rows<L, 3, K, R>(a, aStep, b, bStep, m, mStep, w, h);
        default:
            return packed_rows<L, 0, K, R>(a, aStep, b, bStep, m, mStep, w, h);
        }
    }
};

}  // namespace zylcv::norm

namespace zylcv {

// The norm of kind K over terms R of the selected pixels. `b` and `bStep` are ignored for
// NormTerm::Value. `coi` is 0 for a one-channel image, else the channel of interest 1..3 of a
// three-channel image (the pointers address the first element of the first pixel).
ZYLCV_DECLARE_TWINS_AVX2(template <norm::NormKind K, norm::NormTerm R, class T>
                         double masked_norm(const T *a, int aStep, const T *b, int bStep,
                                            const Zyl8u *mask, int maskStep, int width, int height,
                                            int coi);)

}  // namespace zylcv

// The entries of a twin, over the row operations Rows it defines before expanding this in its
// namespace; built for every kind, term and element type.
#define ZYLCV_NORM_ENTRIES                                                                         \
    template <norm::NormKind K, norm::NormTerm R, class T>                                         \
    double masked_norm(const T *a, int aStep, const T *b, int bStep, const Zyl8u *mask,            \
                       int maskStep, int width, int height, int coi)                               \
    {                                                                                              \
        return Rows::template run<K, R>(a, aStep, b, bStep, mask, maskStep, width, height, coi);   \
    }                                                                                              \
    ZYLCV_NORM_INSTANCES(Inf)                                                                      \
    ZYLCV_NORM_INSTANCES(L1)                                                                       \
    ZYLCV_NORM_INSTANCES(L2)
#define ZYLCV_NORM_INSTANCES(K)                                                                    \
    ZYLCV_NORM_INSTANCE(K, Value, Zyl8u)                                                           \
    ZYLCV_NORM_INSTANCE(K, Value, Zyl8s)                                                           \
    ZYLCV_NORM_INSTANCE(K, Value, Zyl32f)                                                          \
    ZYLCV_NORM_INSTANCE(K, Diff, Zyl8u)                                                            \
    ZYLCV_NORM_INSTANCE(K, Diff, Zyl8s) ZYLCV_NORM_INSTANCE(K, Diff, Zyl32f)                       \
        ZYLCV_NORM_INSTANCE(K, Rel, Zyl8u) ZYLCV_NORM_INSTANCE(K, Rel, Zyl8s)                      \
            ZYLCV_NORM_INSTANCE(K, Rel, Zyl32f)
#define ZYLCV_NORM_INSTANCE(K, R, T)                                                               \
    template double masked_norm<norm::NormKind::K, norm::NormTerm::R, T>(                          \
        const T *, int, const T *, int, const Zyl8u *, int, int, int, int);

#endif
