// Template-matching kernels: the 32f block sums (one order of additions, shared by every twin),
// the portable integer block sums, the work-buffer layout, the reciprocal square root and the six
// score formulas, the column driver that slides the template over the image, and the twins'
// entries (over the twin's integer block sums, struct Rows in each twin's file).
#ifndef ZYLCV_MATCH_MATCH_H
#define ZYLCV_MATCH_MATCH_H

#include "core/internal.h"

namespace zylcv::match {

// ---- 32f block sums -------------------------------------------------------------------------
// Elements go in groups of four whose partial sums are held in x87 extended precision (64-bit
// significand); the accumulator is rounded to double after every group. The last len % 4
// elements are added one at a time, each addition rounded to double. `long double` is the x87
// format on both targets, so the bits do not depend on the build.

// Per group: the four elements summed left to right, then the group sum added to the total.
inline double sum_run_32f(const Zyl32f *p, int len)
{
    double acc = 0.0;
    int i = 0;
    for (; i + 4 <= len; i += 4) {
        long double g = (long double)p[i] + p[i + 1];
        g += p[i + 2];
        g += p[i + 3];
        acc = double((long double)acc + g);
    }
    for (; i < len; ++i) acc = double((long double)acc + p[i]);
    return acc;
}

// Per group: four differences (each rounded to double) squared and added in index order.
inline double l2_run_32f(const Zyl32f *a, const Zyl32f *b, int len)
{
    double acc = 0.0;
    int i = 0;
    for (; i + 4 <= len; i += 4) {
        long double d0 = double(a[i]) - double(b[i]), d1 = double(a[i + 1]) - double(b[i + 1]);
        long double d2 = double(a[i + 2]) - double(b[i + 2]),
                    d3 = double(a[i + 3]) - double(b[i + 3]);
        long double s = (long double)acc + d0 * d0;
        s += d1 * d1;
        s += d2 * d2;
        s += d3 * d3;
        acc = double(s);
    }
    for (; i < len; ++i) {
        long double d = double(a[i]) - double(b[i]);
        acc = double((long double)acc + d * d);
    }
    return acc;
}

// Per group: four products (exact in double) added in index order.
inline double cc_run_32f(const Zyl32f *a, const Zyl32f *b, int len)
{
    double acc = 0.0;
    int i = 0;
    for (; i + 4 <= len; i += 4) {
        long double s = (long double)acc + double(a[i]) * double(b[i]);
        s += double(a[i + 1]) * double(b[i + 1]);
        s += double(a[i + 2]) * double(b[i + 2]);
        s += double(a[i + 3]) * double(b[i + 3]);
        acc = double(s);
    }
    for (; i < len; ++i) acc = double((long double)acc + double(a[i]) * double(b[i]));
    return acc;
}

// The same sums for four runs at once (a, a + stride, a + 2 stride, a + 3 stride, each against
// b): every run keeps its own order of additions above, and the four independent chains hide
// the latency of the x87 additions.
template <bool L2>
inline void runs4_32f(const Zyl32f *a, int stride, const Zyl32f *b, int len, double *out)
{
    auto term = [](Zyl32f x, Zyl32f y) -> long double {
        if constexpr (L2) {
            const long double d = double(x) - double(y);
            return d * d;
        } else {
            return double(x) * double(y);
        }
    };
    const Zyl32f *a0 = a, *a1 = a + stride, *a2 = a1 + stride, *a3 = a2 + stride;
    double acc0 = 0.0, acc1 = 0.0, acc2 = 0.0, acc3 = 0.0;
    int i = 0;
    for (; i + 4 <= len; i += 4) {
        long double s0 = acc0, s1 = acc1, s2 = acc2, s3 = acc3;
        for (int k = i; k < i + 4; ++k) {
            const Zyl32f t = b[k];
            s0 += term(a0[k], t);
            s1 += term(a1[k], t);
            s2 += term(a2[k], t);
            s3 += term(a3[k], t);
        }
        acc0 = double(s0), acc1 = double(s1), acc2 = double(s2), acc3 = double(s3);
    }
    for (; i < len; ++i) {
        const Zyl32f t = b[i];
        acc0 = double((long double)acc0 + term(a0[i], t));
        acc1 = double((long double)acc1 + term(a1[i], t));
        acc2 = double((long double)acc2 + term(a2[i], t));
        acc3 = double((long double)acc3 + term(a3[i], t));
    }
    out[0] = acc0, out[1] = acc1, out[2] = acc2, out[3] = acc3;
}

// ---- integer block sums, one element per step (the portable twin's) ------------------------------

struct FloatRows;

struct ScalarRows {
    using Float = FloatRows;  // the shared 32f entries
    // The wrapped 32-bit total of the bytes; 8s bytes are biased by +128 and the bias removed at
    // the end, both modulo 2^32.
    static Zyl32s sum(const Zyl8u *p, int len)
    {
        std::uint32_t s = 0;
        for (int i = 0; i < len; ++i) s += p[i];
        return Zyl32s(s);
    }
    static Zyl32s sum(const Zyl8s *p, int len)
    {
        std::uint32_t s = 0;
        for (int i = 0; i < len; ++i) s += std::uint32_t(p[i] + 128);
        return Zyl32s(s - 128u * std::uint32_t(len));
    }
    // Per step: one square or product added into a 64-bit total; exact for any length.
    template <class T> static long long l2(const T *a, const T *b, int len)
    {
        long long s = 0;
        for (int i = 0; i < len; ++i) {
            const int d = int(a[i]) - int(b[i]);
            s += d * d;
        }
        return s;
    }
    template <class T> static long long cc(const T *a, const T *b, int len)
    {
        long long s = 0;
        for (int i = 0; i < len; ++i) s += int(a[i]) * int(b[i]);
        return s;
    }
};

// ---- methods, buffer layout, scores ---------------------------------------------------------

enum class MatchMethod { SqDiff, SqDiffNormed, Corr, CorrNormed, Coeff, CoeffNormed };

// Methods that keep running row and window statistics of the image.
constexpr bool needs_stats(MatchMethod m)
{
    return m != MatchMethod::SqDiff && m != MatchMethod::Corr;
}
// Window statistics kept per output row: SI (Coeff), QI (the normed methods) or both.
constexpr int window_stats(MatchMethod m) { return m == MatchMethod::CoeffNormed ? 2 : 1; }

// Byte offsets of the work-buffer regions from the buffer's start rounded up to 32 bytes; each
// region is its size plus 47 with the low five bits cleared. `total` includes the 32 bytes that
// rounding the start may skip. The template and strip sizes multiply two image dimensions and
// go through size_mul, so that `total` of any sizes is at least kOversize instead of wrapping.
struct MatchLayout {
    long long strip, column, rowSum, rowSq, windows, total;
};
constexpr long long match_region(long long n) { return (n + 47) & ~31LL; }
inline MatchLayout match_layout(int W, int H, int w, int h, int elemSize, MatchMethod m)
{
    const long long rows = H - h + 1;
    MatchLayout l{};
    l.strip = match_region(size_mul(size_mul(elemSize, w), h));
    l.column = l.strip + match_region(size_mul(elemSize, size_mul(H, w) + W));
    long long end = l.column + match_region(8 * rows);
    if (needs_stats(m)) {
        l.rowSum = end;
        l.rowSq = l.rowSum + match_region(8LL * H);
        l.windows = l.rowSq + match_region(8LL * H);
        end = l.windows + match_region(8 * rows * window_stats(m));
    }
    l.total = 32 + end;
    return l;
}

constexpr double kMatchEps = 1.1920928955078125e-07;   // 2^-23, keeps reciprocals finite
constexpr double kMatchDelta = 2.220446049250313e-16;  // 2^-52, added to N before 1/N

// Reciprocal square root: a seed from the 32f bit pattern of d, then four Newton steps in double.
inline double match_rsqrt(double d)
{
    const std::uint32_t b = bits(float(d));
    double s = from_bits((0xBE6F0000u - b) >> 1);
    const double hd = 0.5 * d;
    for (int i = 0; i < 4; ++i) s = s * (1.5 - hd * s * s);
    return s;
}

// What the template contributes to a score: its sum ST and, per method, invT (normed methods),
// the factor k (Coeff) or invT' (CoeffNormed).
struct TemplateTerms {
    double st, invN, factor;
};
inline TemplateTerms template_terms(MatchMethod m, double st, double qt, long long n)
{
    const double invN = 1.0 / (double(n) + kMatchDelta);
    double f = 0.0;
    switch (m) {
    case MatchMethod::SqDiffNormed:
    case MatchMethod::CorrNormed:
        f = match_rsqrt(__builtin_fabs(qt) + kMatchEps);
        break;
    case MatchMethod::Coeff:
        f = (-invN) * st;
        break;
    case MatchMethod::CoeffNormed:
        f = match_rsqrt(__builtin_fabs(st * st * (-invN) + qt) + kMatchEps);
        break;
    default:
        break;
    }
    return {st, invN, f};
}

// One score from the block comparison (SSD or CC) and the window's SI and QI, in double,
// rounded once to 32f.
template <MatchMethod M>
inline Zyl32f match_score(double blk, double si, double qi, const TemplateTerms &t)
{
    if constexpr (M == MatchMethod::SqDiff || M == MatchMethod::Corr) {
        return Zyl32f(blk);
    } else if constexpr (M == MatchMethod::SqDiffNormed || M == MatchMethod::CorrNormed) {
        const double invI = match_rsqrt(__builtin_fabs(qi) + kMatchEps);
        return Zyl32f(blk * t.factor * invI);
    } else if constexpr (M == MatchMethod::Coeff) {
        return Zyl32f(si * t.factor + blk);
    } else {
        const double m = si * t.invN;
        const double num = (-t.st) * m + blk;
        const double invI = match_rsqrt(__builtin_fabs(qi - si * m) + kMatchEps);
        return Zyl32f(num * (invI * t.factor));
    }
}

// ---- the column driver ----------------------------------------------------------------------

// Per pixel type: the 64-bit type of sums (exact integers or doubles) and its conversion.
template <class T>
using MatchSum = std::conditional_t<std::is_same_v<T, Zyl32f>, double, long long>;

// Running-sum updates: integers are exact; 32f forms each increment first, then adds it.
inline long long row_sum_step(long long s, Zyl8u old, Zyl8u nw) { return s + (int(nw) - int(old)); }
inline long long row_sum_step(long long s, Zyl8s old, Zyl8s nw) { return s + (int(nw) - int(old)); }
inline double row_sum_step(double s, Zyl32f old, Zyl32f nw)
{
    return s + (double(nw) - double(old));
}
inline long long row_sq_step(long long s, Zyl8u old, Zyl8u nw)
{
    return s + (int(old) + int(nw)) * (int(nw) - int(old));
}
inline long long row_sq_step(long long s, Zyl8s old, Zyl8s nw)
{
    return s + (int(old) + int(nw)) * (int(nw) - int(old));
}
inline double row_sq_step(double s, Zyl32f old, Zyl32f nw)
{
    return s + (double(old) + double(nw)) * (double(nw) - double(old));
}

// Slides a w x h template over a W x H image, column by column. The template is packed into
// the buffer; a strip of H * w + W elements holds the current column's windows so that the
// window at (x, y) is the contiguous run at strip element x + y * w; moving to the next column
// replaces one element per image row. Row sums and sums of squares run along the columns,
// window sums down each column. K supplies the block kernels (sum, l2, cc) of one twin.
template <class K, MatchMethod M, class T>
void match_columns(const T *src, int srcStep, int W, int H, const T *tpl, int tplStep, int w, int h,
                   Zyl32f *dst, int dstStep, Zyl8u *buffer)
{
    using S = MatchSum<T>;
    constexpr bool stats = needs_stats(M);
    constexpr bool wantSI = M == MatchMethod::Coeff || M == MatchMethod::CoeffNormed;
    constexpr bool wantQI = stats && M != MatchMethod::Coeff;
    const MatchLayout lay = match_layout(W, H, w, h, int(sizeof(T)), M);
    Zyl8u *base = reinterpret_cast<Zyl8u *>((reinterpret_cast<std::uintptr_t>(buffer) + 31) &
                                            ~std::uintptr_t(31));
    T *packed = reinterpret_cast<T *>(base);
    T *strip = reinterpret_cast<T *>(base + lay.strip);
    S *column = reinterpret_cast<S *>(base + lay.column);
    S *rowSum = stats ? reinterpret_cast<S *>(base + lay.rowSum) : nullptr;
    S *rowSq = stats ? reinterpret_cast<S *>(base + lay.rowSq) : nullptr;
    const int rows = H - h + 1, n = w * h;
    S *winSI = stats ? reinterpret_cast<S *>(base + lay.windows) : nullptr;
    S *winQI = M == MatchMethod::CoeffNormed ? winSI + rows : winSI;

    // The template, packed, and its terms.
    for (int j = 0; j < h; ++j) {
        const T *t = advance(tpl, std::ptrdiff_t(j) * tplStep);
        for (int i = 0; i < w; ++i) packed[j * w + i] = t[i];
    }
    const TemplateTerms terms =
        template_terms(M, double(K::sum(packed, n)), double(K::cc(packed, packed, n)), n);

    // The strip for column 0 and its row statistics.
    for (int r = 0; r < H; ++r) {
        const T *s = advance(src, std::ptrdiff_t(r) * srcStep);
        for (int i = 0; i < w; ++i) strip[r * w + i] = s[i];
        if constexpr (stats) {
            rowSum[r] = S(K::sum(strip + r * w, w));
            rowSq[r] = S(K::cc(strip + r * w, strip + r * w, w));
        }
    }

    for (int x = 0; x + w <= W; ++x) {
        if (x > 0) {
            // Per row: the element leaving row r + 1's run is overwritten by row r's new one.
            T *slot = strip + (x - 1 + w);
            const T *s = src;
            for (int r = 0; r < H; ++r, slot += w, s = advance(s, srcStep)) {
                const T old = s[x - 1], nw = s[x + w - 1];
                *slot = nw;
                if constexpr (stats) {
                    rowSum[r] = row_sum_step(rowSum[r], old, nw);
                    rowSq[r] = row_sq_step(rowSq[r], old, nw);
                }
            }
        }
        if constexpr (stats) {
            S si = 0, qi = 0;
            for (int r = 0; r < h; ++r) {
                si = si + rowSum[r];
                qi = qi + rowSq[r];
            }
            for (int y = 0;; ++y) {
                if constexpr (wantSI) winSI[y] = si;
                if constexpr (wantQI) winQI[y] = qi;
                if (y + 1 == rows) break;
                si = si + (rowSum[y + h] - rowSum[y]);
                qi = qi + (rowSq[y + h] - rowSq[y]);
            }
        }
        const T *run = strip + x;
        int y0 = 0;
        if constexpr (std::is_same_v<T, Zyl32f>) {
            // Four windows of the column at a time, each in its own order of additions.
            for (; y0 + 4 <= rows; y0 += 4, run += 4 * w)
                runs4_32f<M == MatchMethod::SqDiff || M == MatchMethod::SqDiffNormed>(
                    run, w, packed, n, column + y0);
        }
        for (int y = y0; y < rows; ++y, run += w) {
            if constexpr (M == MatchMethod::SqDiff || M == MatchMethod::SqDiffNormed)
                column[y] = S(K::l2(run, packed, n));
            else column[y] = S(K::cc(run, packed, n));
        }
        Zyl32f *d = dst + x;
        for (int y = 0; y < rows; ++y, d = advance(d, dstStep)) {
            const double si = wantSI ? double(winSI[y]) : 0.0;
            const double qi = wantQI ? double(winQI[y]) : 0.0;
            *d = match_score<M>(double(column[y]), si, qi, terms);
        }
    }
}

// The 32f entries of the twins compiled for SSE2: the block sums above under the column driver.
// Twins compiled with other encodings take these as compiled here rather than their own copy:
// the sums are x87 work either way, and which operand's NaN a double operation keeps follows the
// compiler's choice of operand order, which may differ between encodings.
struct FloatRows {
    static double sum(const Zyl32f *p, int len) { return sum_run_32f(p, len); }
    static double l2(const Zyl32f *a, const Zyl32f *b, int len) { return l2_run_32f(a, b, len); }
    static double cc(const Zyl32f *a, const Zyl32f *b, int len) { return cc_run_32f(a, b, len); }
    template <MatchMethod M>
    static void match(const Zyl32f *src, int srcStep, int W, int H, const Zyl32f *tpl, int tplStep,
                      int w, int h, Zyl32f *dst, int dstStep, Zyl8u *buffer)
    {
        match_columns<FloatRows, M>(src, srcStep, W, H, tpl, tplStep, w, h, dst, dstStep, buffer);
    }
};

}  // namespace zylcv::match

namespace zylcv {

// Block kernels (sum of a run; sum of squared differences or of products of two runs; len >= 1)
// and the whole match of a W x H image against a w x h template by method M into a buffer of the
// query's size.
ZYLCV_DECLARE_TWINS_AVX2(Zyl32s sum_pixels(const Zyl8u *src, int len);
                         Zyl32s sum_pixels(const Zyl8s *src, int len);
                         double sum_pixels(const Zyl32f *src, int len);
                         long long cmp_blocks_l2(const Zyl8u *a, const Zyl8u *b, int len);
                         long long cmp_blocks_l2(const Zyl8s *a, const Zyl8s *b, int len);
                         double cmp_blocks_l2(const Zyl32f *a, const Zyl32f *b, int len);
                         long long cross_corr(const Zyl8u *a, const Zyl8u *b, int len);
                         long long cross_corr(const Zyl8s *a, const Zyl8s *b, int len);
                         double cross_corr(const Zyl32f *a, const Zyl32f *b, int len);
                         template <match::MatchMethod M, class T>
                         void match_template(const T *src, int srcStep, int W, int H, const T *tpl,
                                             int tplStep, int w, int h, Zyl32f *dst, int dstStep,
                                             Zyl8u *buffer);)

// A twin's entries over its integer block sums Rows (expanded inside the twin's namespace); the
// 32f entries go to Rows::Float (FloatRows, or the SSE2 twin's entries).
#define ZYLCV_MATCH_INSTANCE(M, T)                                                                 \
    template void match_template<match::MatchMethod::M>(const T *, int, int, int, const T *, int,  \
                                                        int, int, Zyl32f *, int, Zyl8u *);
#define ZYLCV_MATCH_INSTANCES(M)                                                                   \
    ZYLCV_MATCH_INSTANCE(M, Zyl8u) ZYLCV_MATCH_INSTANCE(M, Zyl8s) ZYLCV_MATCH_INSTANCE(M, Zyl32f)
#define ZYLCV_MATCH_ENTRIES                                                                        \
    Zyl32s sum_pixels(const Zyl8u *p, int len) { return Rows::sum(p, len); }                       \
    Zyl32s sum_pixels(const Zyl8s *p, int len) { return Rows::sum(p, len); }                       \
    double sum_pixels(const Zyl32f *p, int len) { return Rows::Float::sum(p, len); }               \
    long long cmp_blocks_l2(const Zyl8u *a, const Zyl8u *b, int len)                               \
    {                                                                                              \
        return Rows::l2(a, b, len);                                                                \
    }                                                                                              \
    long long cmp_blocks_l2(const Zyl8s *a, const Zyl8s *b, int len)                               \
    {                                                                                              \
        return Rows::l2(a, b, len);                                                                \
    }                                                                                              \
    double cmp_blocks_l2(const Zyl32f *a, const Zyl32f *b, int len)                                \
    {                                                                                              \
        return Rows::Float::l2(a, b, len);                                                         \
    }                                                                                              \
    long long cross_corr(const Zyl8u *a, const Zyl8u *b, int len) { return Rows::cc(a, b, len); }  \
    long long cross_corr(const Zyl8s *a, const Zyl8s *b, int len) { return Rows::cc(a, b, len); }  \
    double cross_corr(const Zyl32f *a, const Zyl32f *b, int len)                                   \
    {                                                                                              \
        return Rows::Float::cc(a, b, len);                                                         \
    }                                                                                              \
    namespace {                                                                                    \
    /* This twin's block kernels, as the column driver calls them. */                              \
    struct Blocks {                                                                                \
        template <class T> static auto sum(const T *p, int n) { return sum_pixels(p, n); }         \
        template <class T> static auto l2(const T *a, const T *b, int n)                           \
        {                                                                                          \
            return cmp_blocks_l2(a, b, n);                                                         \
        }                                                                                          \
        template <class T> static auto cc(const T *a, const T *b, int n)                           \
        {                                                                                          \
            return cross_corr(a, b, n);                                                            \
        }                                                                                          \
    };                                                                                             \
    }                                                                                              \
    template <match::MatchMethod M, class T>                                                       \
    void match_template(const T *src, int srcStep, int W, int H, const T *tpl, int tplStep, int w, \
                        int h, Zyl32f *dst, int dstStep, Zyl8u *buffer)                            \
    {                                                                                              \
        if constexpr (std::is_same_v<T, Zyl32f>)                                                   \
            Rows::Float::template match<M>(src, srcStep, W, H, tpl, tplStep, w, h, dst, dstStep,   \
                                           buffer);                                                \
        else                                                                                       \
            match::match_columns<Blocks, M>(src, srcStep, W, H, tpl, tplStep, w, h, dst, dstStep,  \
                                            buffer);                                               \
    }                                                                                              \
    ZYLCV_MATCH_INSTANCES(SqDiff)                                                                  \
    ZYLCV_MATCH_INSTANCES(SqDiffNormed)                                                            \
    ZYLCV_MATCH_INSTANCES(Corr) ZYLCV_MATCH_INSTANCES(CorrNormed) ZYLCV_MATCH_INSTANCES(Coeff)     \
        ZYLCV_MATCH_INSTANCES(CoeffNormed)

}  // namespace zylcv

#endif
