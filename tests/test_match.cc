// Template matching: block kernels against exact and fixed-order reference sums, the six
// methods against a direct per-window model, validation orders, buffer sizes, guard pages.
#include <cmath>
#include <utility>

#include "match/match.h"
#include "support.h"

using zt::Guard;
using zt::GuardedImage;
using zt::Image;
using zt::Layout;
using zt::Rng;

namespace {

// ---- reference block sums ---------------------------------------------------------------

// Integer runs: every term summed directly in 64 bits.
template <class T> long long ref_sum(const T *p, int n)
{
    long long s = 0;
    for (int i = 0; i < n; ++i) s += p[i];
    return s;
}
template <class T> long long ref_l2(const T *a, const T *b, int n)
{
    long long s = 0;
    for (int i = 0; i < n; ++i) s += (long long)(a[i] - b[i]) * (a[i] - b[i]);
    return s;
}
template <class T> long long ref_cc(const T *a, const T *b, int n)
{
    long long s = 0;
    for (int i = 0; i < n; ++i) s += (long long)a[i] * b[i];
    return s;
}

// 32f runs: a double total; each full group of four is folded in x87 extended precision and
// rounded to double once; the remaining elements are added one by one, rounded each time.
// SumPixels adds a group's own sum to the total; the others add the terms to the total in turn.
enum class Fold { Sum, L2, CC };
long double term32f(Fold f, const float *a, const float *b, int i)
{
    if (f == Fold::Sum) return a[i];
    if (f == Fold::CC) return double(a[i]) * double(b[i]);  // exact in double
    const double d = double(a[i]) - double(b[i]);           // the difference rounded to double
    return (long double)d * d;
}
double ref_fold32f(Fold f, const float *a, const float *b, int n)
{
    double total = 0.0;
    const int full = n / 4 * 4;
    for (int g = 0; g < full; g += 4) {
        long double x;
        if (f == Fold::Sum) {
            long double group = term32f(f, a, b, g);
            for (int k = 1; k < 4; ++k) group = group + term32f(f, a, b, g + k);
            x = (long double)total + group;
        } else {
            x = total;
            for (int k = 0; k < 4; ++k) x = x + term32f(f, a, b, g + k);
        }
        total = double(x);
    }
    for (int i = full; i < n; ++i) total = double((long double)total + term32f(f, a, b, i));
    return total;
}

// ---- reference scores -------------------------------------------------------------------

// 1/sqrt(d): seed from the 32f pattern of d subtracted from 0xBE6F0000 and halved, then four
// Newton steps s(1.5 - (d/2) s s) in double.
double ref_rs(double d)
{
    const float f = float(d);
    std::uint32_t b;
    std::memcpy(&b, &f, 4);
    const std::uint32_t seedBits = std::uint32_t(0xBE6F0000u - b) >> 1;
    float seed;
    std::memcpy(&seed, &seedBits, 4);
    double s = seed;
    const double half = 0.5 * d;
    for (int k = 0; k < 4; ++k) {
        double t = half * s;
        t = t * s;
        s = s * (1.5 - t);
    }
    return s;
}
constexpr double kEps = 0x1p-23, kDelta = 0x1p-52;

using M = zylcv::match::MatchMethod;
constexpr M kMethods[] = {M::SqDiff, M::SqDiffNormed, M::Corr, M::CorrNormed, M::Coeff, M::CoeffNormed};
const char *method_name(M m)
{
    static const char *names[] = {"SqDiff", "SqDiffNormed", "Corr", "CorrNormed", "Coeff", "CoeffNormed"};
    return names[int(m)];
}

// One score from the window's block value (SSD or CC), SI, QI and the template's ST, QT.
float ref_score(M m, double blk, double si, double qi, double st, double qt, long long n)
{
    const double invN = 1.0 / (double(n) + kDelta);
    switch (m) {
    case M::SqDiff:
    case M::Corr: return float(blk);
    case M::SqDiffNormed:
    case M::CorrNormed: {
        const double invT = ref_rs(std::fabs(qt) + kEps), invI = ref_rs(std::fabs(qi) + kEps);
        return float((blk * invT) * invI);
    }
    case M::Coeff: {
        const double k = (-invN) * st;
        return float(si * k + blk);
    }
    case M::CoeffNormed: {
        const double mean = si * invN;
        const double num = (-st) * mean + blk;
        const double invI = ref_rs(std::fabs(qi - si * mean) + kEps);
        const double invT = ref_rs(std::fabs(st * st * (-invN) + qt) + kEps);
        return float(num * (invI * invT));
    }
    }
    return 0.0f;
}
bool uses_l2(M m) { return m == M::SqDiff || m == M::SqDiffNormed; }

// Image accessor over (pointer, step).
template <class T> T px(const T *p, int step, int x, int y)
{
    return reinterpret_cast<const T *>(reinterpret_cast<const char *>(p) + std::ptrdiff_t(y) * step)[x];
}

// The full score map: 8u/8s by direct 64-bit window sums; 32f with each window gathered into a
// run for the fixed-order block sums, and SI/QI from row sums that move right one column at a
// time (increment formed first) and window sums that move down one row at a time.
template <class T>
std::vector<float> ref_match(M m, const T *src, int sStep, int W, int H, const T *tpl, int tStep, int w, int h)
{
    const int outW = W - w + 1, outH = H - h + 1, n = w * h;
    std::vector<T> packed;
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) packed.push_back(px(tpl, tStep, i, j));
    std::vector<float> out(std::size_t(outW) * outH);
    std::vector<T> win(n);
    if constexpr (std::is_same_v<T, Zyl32f>) {
        const double st = ref_fold32f(Fold::Sum, packed.data(), nullptr, n);
        const double qt = ref_fold32f(Fold::CC, packed.data(), packed.data(), n);
        std::vector<double> rowSum(H), rowSq(H);
        for (int x = 0; x < outW; ++x) {
            for (int r = 0; r < H; ++r) {
                if (x == 0) {
                    std::vector<float> row(w);
                    for (int i = 0; i < w; ++i) row[i] = px(src, sStep, i, r);
                    rowSum[r] = ref_fold32f(Fold::Sum, row.data(), nullptr, w);
                    rowSq[r] = ref_fold32f(Fold::CC, row.data(), row.data(), w);
                } else {
                    const double o = px(src, sStep, x - 1, r), v = px(src, sStep, x + w - 1, r);
                    rowSum[r] = rowSum[r] + (v - o);
                    rowSq[r] = rowSq[r] + (o + v) * (v - o);
                }
            }
            double si = 0.0, qi = 0.0;
            for (int y = 0; y < outH; ++y) {
                if (y == 0) {
                    for (int r = 0; r < h; ++r) si = si + rowSum[r], qi = qi + rowSq[r];
                } else {
                    si = si + (rowSum[y + h - 1] - rowSum[y - 1]);
                    qi = qi + (rowSq[y + h - 1] - rowSq[y - 1]);
                }
                for (int j = 0; j < h; ++j)
                    for (int i = 0; i < w; ++i) win[j * w + i] = px(src, sStep, x + i, y + j);
                const double blk = ref_fold32f(uses_l2(m) ? Fold::L2 : Fold::CC, win.data(), packed.data(), n);
                out[std::size_t(y) * outW + x] = ref_score(m, blk, si, qi, st, qt, n);
            }
        }
    } else {
        const double st = double(Zyl32s(ref_sum(packed.data(), n)));
        const double qt = double(ref_cc(packed.data(), packed.data(), n));
        for (int y = 0; y < outH; ++y)
            for (int x = 0; x < outW; ++x) {
                for (int j = 0; j < h; ++j)
                    for (int i = 0; i < w; ++i) win[j * w + i] = px(src, sStep, x + i, y + j);
                const long long blk = uses_l2(m) ? ref_l2(win.data(), packed.data(), n) : ref_cc(win.data(), packed.data(), n);
                const double si = double(ref_sum(win.data(), n)), qi = double(ref_cc(win.data(), win.data(), n));
                out[std::size_t(y) * outW + x] = ref_score(m, double(blk), si, qi, st, qt, n);
            }
    }
    return out;
}

// Buffer bytes from the layout rule: 32 for rounding the start, then each region rounded as
// (n + 47) with the low five bits cleared.
long long ref_buffer(M m, int W, int H, int w, int h, int e)
{
    auto A = [](long long n) { return (n + 47) / 32 * 32; };
    const long long rows = H - h + 1;
    long long s = 32 + A(e * (long long)w * h) + A(e * ((long long)H * w + W)) + A(8 * rows);
    if (m != M::SqDiff && m != M::Corr) s += 2 * A(8LL * H) + A(8 * rows * (m == M::CoeffNormed ? 2 : 1));
    return s;
}

// ---- the exported members behind one interface ------------------------------------------

template <class T>
using MatchFn = ZylStatus (*)(const T *, Zyl32s, ZyliSize, const T *, Zyl32s, ZyliSize, Zyl32f *, Zyl32s, Zyl8u *);
using QueryFn = ZylStatus (*)(ZyliSize, ZyliSize, Zyl32s, Zyl32s *);
constexpr QueryFn kQueries[] = {zyliMatchTemplateGetBufSize_SqDiff, zyliMatchTemplateGetBufSize_SqDiffNormed,
                                zyliMatchTemplateGetBufSize_Corr, zyliMatchTemplateGetBufSize_CorrNormed,
                                zyliMatchTemplateGetBufSize_Coeff, zyliMatchTemplateGetBufSize_CoeffNormed};

template <class T> struct Api;
#define ZT_MATCH_API(T, Sfx, Code)                                                                        \
    template <> struct Api<T> {                                                                           \
        static constexpr int code = Code;                                                                 \
        static constexpr MatchFn<T> fn[] = {                                                              \
            zyliMatchTemplate_SqDiff_##Sfx, zyliMatchTemplate_SqDiffNormed_##Sfx,                         \
            zyliMatchTemplate_Corr_##Sfx,   zyliMatchTemplate_CorrNormed_##Sfx,                           \
            zyliMatchTemplate_Coeff_##Sfx,  zyliMatchTemplate_CoeffNormed_##Sfx};                         \
    };
ZT_MATCH_API(Zyl8u, 8u32f_C1R, 1)
ZT_MATCH_API(Zyl8s, 8s32f_C1R, 2)
ZT_MATCH_API(Zyl32f, 32f_C1R, 9)

// Equal scores: by their bits; NaN scores may carry either operand's payload, since the score
// formulas leave the order of commutative operations to the compiler.
::testing::AssertionResult same_score(float got, float want) { return zt::same_bits_or_nan(got, want); }

// ---- block kernels ----------------------------------------------------------------------

// The listed values: exact 64-bit results beyond 32 bits, the 8s bias, the 8u wrap of the
// 32-bit pixel sum, tail-only and block+tail runs, and runs of length 0 or less read nothing.
TEST(MatchBlocks, KnownValues)
{
    std::vector<Zyl8u> ff(70000, 255), zero(70000, 0);
    EXPECT_EQ(zycvCmpBlocksL2_8u_C1(ff.data(), zero.data(), 70000), 4551750000LL);
    EXPECT_EQ(zycvCmpBlocksL2_8u_C1(zero.data() + 1, ff.data() + 3, 70000 - 3), 69997LL * 65025);
    EXPECT_EQ(zycvCrossCorr_8u_C1(ff.data(), ff.data() + 5, 69000), 69000LL * 65025);
    std::vector<Zyl8s> lo(70000, -128), hi(70000, 127);
    EXPECT_EQ(zycvCrossCorr_8s_C1(lo.data(), lo.data(), 7), 114688);
    EXPECT_EQ(zycvCrossCorr_8s_C1(lo.data(), lo.data(), 9), 147456);
    EXPECT_EQ(zycvCrossCorr_8s_C1(lo.data(), hi.data(), 70000), -70000LL * 16256);
    EXPECT_EQ(zycvSumPixels_8s_C1(lo.data(), 1000), -128000);
    EXPECT_EQ(zycvSumPixels_8s_C1(hi.data() + 1, 999), 126873);
    for (int n : {1, 7, 31, 32, 33, 70000})
        EXPECT_EQ(zycvCmpBlocksL2_8s_C1(hi.data(), lo.data(), n), 65025LL * n) << n;
    // Runs long enough that 32-bit lanes would wrap unless they are widened often enough: each
    // lane takes an eighth of the products, 2 200 000 / 8 * 65025 > 2^34.
    {
        const int n = 2200000;
        std::vector<Zyl8u> f2(n, 255), z2(n, 0);
        std::vector<Zyl8s> l2(n, -128), h2(n, 127);
        EXPECT_EQ(zycvCmpBlocksL2_8u_C1(f2.data(), z2.data(), n), 65025LL * n);
        EXPECT_EQ(zycvCrossCorr_8u_C1(f2.data(), f2.data(), n), 65025LL * n);
        EXPECT_EQ(zycvCmpBlocksL2_8s_C1(h2.data(), l2.data(), n), 65025LL * n);
        EXPECT_EQ(zycvCrossCorr_8s_C1(l2.data(), l2.data(), n), 16384LL * n);
        EXPECT_EQ(zycvCrossCorr_8s_C1(l2.data(), h2.data(), n), -16256LL * n);
    }
    // 255 * 17 000 000 wraps modulo 2^32 to 40 032 704.
    std::vector<Zyl8u> big(17000000, 255);
    EXPECT_EQ(zycvSumPixels_8u_C1(big.data(), 17000000), 40032704);
    EXPECT_EQ(zycvSumPixels_8u_C1(big.data() + 1, 8421505), -2147483521);  // 255 * 8421505 - 2^32
    for (int n : {0, -1, -70000}) {
        EXPECT_EQ(zycvSumPixels_8u_C1(nullptr, n), 0);
        EXPECT_EQ(zycvSumPixels_8s_C1(nullptr, n), 0);
        EXPECT_EQ(zt::bits_of(zycvSumPixels_32f_C1(nullptr, n)), 0u);
        EXPECT_EQ(zycvCmpBlocksL2_8u_C1(nullptr, nullptr, n), 0);
        EXPECT_EQ(zycvCmpBlocksL2_8s_C1(nullptr, nullptr, n), 0);
        EXPECT_EQ(zt::bits_of(zycvCmpBlocksL2_32f_C1(nullptr, nullptr, n)), 0u);
        EXPECT_EQ(zycvCrossCorr_8u_C1(nullptr, nullptr, n), 0);
        EXPECT_EQ(zycvCrossCorr_8s_C1(nullptr, nullptr, n), 0);
        EXPECT_EQ(zt::bits_of(zycvCrossCorr_32f_C1(nullptr, nullptr, n)), 0u);
    }
    // 32f: 2^60 + 1 + 1 - 2^60 is 2 in extended precision within a group, 0 with double
    // rounding after each addition (the tail).
    const float g[4] = {0x1p60f, 1.0f, 1.0f, -0x1p60f};
    EXPECT_EQ(zycvSumPixels_32f_C1(g, 4), 2.0);
    const float t[7] = {0.0f, 0.0f, 0.0f, 0.0f, 0x1p60f, 1.0f, -0x1p60f};
    EXPECT_EQ(zycvSumPixels_32f_C1(t, 7), 0.0);
}

// Runs against the reference for all nine kernels in both twins (the exported functions and
// each twin directly): lengths 0..100, longer runs, each operand at every offset mod 16.
template <class T> void check_blocks(Rng &rng, int n, int offA, int offB)
{
    std::vector<T> bufA(n + 24), bufB(n + 24);
    for (auto &v : bufA) v = zt::random_value<T>(rng);
    for (auto &v : bufB) v = zt::random_value<T>(rng);
    // 16-byte aligned bases for the aligned case.
    auto base = [](std::vector<T> &v) {
        auto p = reinterpret_cast<std::uintptr_t>(v.data());
        return v.data() + ((16 - p % 16) % 16) / sizeof(T);
    };
    const T *a = base(bufA) + offA, *b = base(bufB) + offB;
    if constexpr (std::is_same_v<T, Zyl32f>) {
        const double es = ref_fold32f(Fold::Sum, a, nullptr, n), el = ref_fold32f(Fold::L2, a, b, n),
                     ec = ref_fold32f(Fold::CC, a, b, n);
        EXPECT_EQ(zt::bits_of(zycvSumPixels_32f_C1(a, n)), zt::bits_of(es));
        EXPECT_EQ(zt::bits_of(zycvCmpBlocksL2_32f_C1(a, b, n)), zt::bits_of(el));
        EXPECT_EQ(zt::bits_of(zycvCrossCorr_32f_C1(a, b, n)), zt::bits_of(ec));
        EXPECT_EQ(zt::bits_of(zylcv::portable::cross_corr(a, b, n)), zt::bits_of(ec));
#if ZYLCV_SIMD
        EXPECT_EQ(zt::bits_of(zylcv::sse2::cmp_blocks_l2(a, b, n)), zt::bits_of(el));
#endif
    } else {
        const Zyl32s es = Zyl32s(std::uint32_t(ref_sum(a, n)));
        const long long el = ref_l2(a, b, n), ec = ref_cc(a, b, n);
        Zyl32s (*sumFn)(const T *, Zyl32s);
        Zyl64s (*l2Fn)(const T *, const T *, Zyl32s);
        Zyl64s (*ccFn)(const T *, const T *, Zyl32s);
        if constexpr (std::is_same_v<T, Zyl8u>) sumFn = zycvSumPixels_8u_C1, l2Fn = zycvCmpBlocksL2_8u_C1, ccFn = zycvCrossCorr_8u_C1;
        else sumFn = zycvSumPixels_8s_C1, l2Fn = zycvCmpBlocksL2_8s_C1, ccFn = zycvCrossCorr_8s_C1;
        EXPECT_EQ(sumFn(a, n), es);
        EXPECT_EQ(l2Fn(a, b, n), el);
        EXPECT_EQ(ccFn(a, b, n), ec);
        EXPECT_EQ(zylcv::portable::sum_pixels(a, n), es);
        EXPECT_EQ(zylcv::portable::cmp_blocks_l2(a, b, n), el);
        EXPECT_EQ(zylcv::portable::cross_corr(a, b, n), ec);
#if ZYLCV_SIMD
        EXPECT_EQ(zylcv::sse2::sum_pixels(a, n), es);
        EXPECT_EQ(zylcv::sse2::cmp_blocks_l2(a, b, n), el);
        EXPECT_EQ(zylcv::sse2::cross_corr(a, b, n), ec);
#endif
    }
}

template <class T> class MatchTyped : public ::testing::Test {};
using Types = ::testing::Types<Zyl8u, Zyl8s, Zyl32f>;
TYPED_TEST_SUITE(MatchTyped, Types);

TYPED_TEST(MatchTyped, BlocksMatchReference)
{
    using T = TypeParam;
    constexpr int e = sizeof(T);
    std::uint32_t seed = 100;
    for (int n = 0; n <= 100; ++n) {
        Rng rng(++seed);
        SCOPED_TRACE(zt::seed_note(seed));
        SCOPED_TRACE(n);
        check_blocks<T>(rng, n, (n % (16 / e)), (n / 3) % (16 / e));
    }
    for (int n : {255, 256, 1000, 4099})
        for (int off : {0, 1, 2, 3}) {
            Rng rng(++seed);
            SCOPED_TRACE(zt::seed_note(seed));
            check_blocks<T>(rng, n, off % (16 / e), 0);
            check_blocks<T>(rng, n, 0, off);
        }
    Rng rng(++seed);
    check_blocks<T>(rng, 70000, 1, 2);
    // Both runs flush against an inaccessible page, before and after.
    for (int n : {1, 9, 33, 71})
        for (Guard g : {Guard::Before, Guard::After}) {
            Rng rng(n);
            GuardedImage<T> a(n, 1, 1, g), b(n, 1, 1, g);
            a.fill_random(rng);
            b.fill_random(rng);
            if constexpr (std::is_same_v<T, Zyl32f>) {
                EXPECT_EQ(zt::bits_of(zycvCrossCorr_32f_C1(a.data(), b.data(), n)),
                          zt::bits_of(ref_fold32f(Fold::CC, a.data(), b.data(), n)));
                EXPECT_EQ(zt::bits_of(zycvCmpBlocksL2_32f_C1(a.data(), b.data(), n)),
                          zt::bits_of(ref_fold32f(Fold::L2, a.data(), b.data(), n)));
                EXPECT_EQ(zt::bits_of(zycvSumPixels_32f_C1(a.data(), n)),
                          zt::bits_of(ref_fold32f(Fold::Sum, a.data(), nullptr, n)));
            } else {
                EXPECT_EQ(zylcv::kernels::cmp_blocks_l2(a.data(), b.data(), n), ref_l2(a.data(), b.data(), n));
                EXPECT_EQ(zylcv::kernels::cross_corr(a.data(), b.data(), n), ref_cc(a.data(), b.data(), n));
                EXPECT_EQ(zylcv::kernels::sum_pixels(a.data(), n), ref_sum(a.data(), n));
            }
        }
}

// ---- validation and buffer sizes --------------------------------------------------------

TYPED_TEST(MatchTyped, ValidationOrderAndNoWrites)
{
    using T = TypeParam;
    constexpr int e = sizeof(T);
    constexpr bool f32 = e == 4;
    Image<T> src({9, 7}), tpl({3, 2});
    Image<Zyl32f> dst({7, 6});
    Rng rng(3);
    src.fill_random(rng);
    tpl.fill_random(rng);
    dst.fill_random(rng);
    std::vector<Zyl8u> buf(4096, 0x5A);
    const int ss = src.step(), ts = tpl.step(), ds = dst.step();
    const ZyliSize S{9, 7}, Tz{3, 2};
    const T *ps = src.data(), *pt = tpl.data();
    Zyl32f *pd = dst.data();
    Zyl8u *pb = buf.data();
    for (M m : kMethods) {
        SCOPED_TRACE(method_name(m));
        auto f = Api<T>::fn[int(m)];
        auto call = [=](const T *s, int sst, ZyliSize sz, const T *t, int tst, ZyliSize tz, Zyl32f *d, int dst_, Zyl8u *b) {
            return [=] { return f(s, sst, sz, t, tst, tz, d, dst_, b); };
        };
        const std::vector<zt::StatusCase> cases = {
            {"null src wins over size and step", call(nullptr, 0, {0, 0}, pt, ts, Tz, pd, ds, pb), zylStatusNullPtr},
            {"null tpl", call(ps, ss, S, nullptr, ts, Tz, pd, ds, pb), zylStatusNullPtr},
            {"null dst", call(ps, ss, S, pt, ts, Tz, nullptr, ds, pb), zylStatusNullPtr},
            {"null buffer", call(ps, ss, S, pt, ts, Tz, pd, ds, nullptr), zylStatusNullPtr},
            {"zero tpl width before steps", call(ps, 0, S, pt, 0, {0, 2}, pd, 0, pb), zylStatusBadSize},
            {"zero tpl height", call(ps, ss, S, pt, ts, {3, 0}, pd, ds, pb), zylStatusBadSize},
            {"tpl wider than image", call(ps, ss, S, pt, ts, {10, 2}, pd, ds, pb), zylStatusBadSize},
            {"tpl taller than image", call(ps, ss, S, pt, ts, {3, 8}, pd, ds, pb), zylStatusBadSize},
            {"zero image width", call(ps, ss, {0, 7}, pt, ts, Tz, pd, ds, pb), zylStatusBadSize},
            {"tpl step below a row", call(ps, ss, S, pt, 3 * e - 1, Tz, pd, ds, pb), zylStatusBadStep},
            {"src step below a row", call(ps, 9 * e - 1, S, pt, ts, Tz, pd, ds, pb), zylStatusBadStep},
            {"dst step below a row", call(ps, ss, S, pt, ts, Tz, pd, 27, pb), zylStatusBadStep},
            {"negative src step", call(ps, -ss, S, pt, ts, Tz, pd, ds, pb), zylStatusBadStep},
            {"dst step not a multiple of 4", call(ps, ss, S, pt, ts, Tz, pd, ds + 2, pb), zylStatusBadStep},
        };
        const auto before = dst.roi_bytes();
        const std::vector<Zyl8u> bufBefore = buf;
        zt::expect_statuses(cases, [&] { return dst.roi_bytes() == before && dst.intact_outside_roi() && buf == bufBefore; });
        // Steps that are a row long plus 2 bytes: fine for 8-bit images, refused for 32f.
        ASSERT_EQ(f(ps, ss + 2, {8, 7}, pt, ts, Tz, pd, ds, pb), f32 ? zylStatusBadStep : zylStatusOk);
        ASSERT_EQ(f(ps, ss, S, pt, 3 * e + 2, Tz, pd, ds, pb), f32 ? zylStatusBadStep : zylStatusOk);
        ASSERT_EQ(f(ps, ss, S, pt, ts, Tz, pd, 28, pb), zylStatusOk);  // exactly one row
    }
}

TEST(MatchQueries, SizesAndOrder)
{
    // Hand-computed sizes: 8u 640x480 image, 7x7 template (e = 1, N = 49, 474 output rows):
    // 32 + A(49)=96 + A(480*7+640=4000)=4032 + A(3792)=3808 = 7968; with statistics
    // + 2*A(3840)=2*3872 + A(3792)=3808 or A(7584)=7616.
    struct Row { int q; ZyliSize s, t; int type; Zyl32s size; };
    const Row rows[] = {
        {0, {640, 480}, {7, 7}, zyl8u, 7968},        {2, {640, 480}, {7, 7}, zyl8s, 7968},
        {1, {640, 480}, {7, 7}, zyl8u, 7968 + 7744 + 3808}, {4, {640, 480}, {7, 7}, zyl8u, 7968 + 7744 + 3808},
        {5, {640, 480}, {7, 7}, zyl8u, 7968 + 7744 + 7616},
        // 32f 1x1 image and template: 32 + A(4)=32 + A(8)=32 + A(8)=32 = 128; statistics add
        // 2*32 + 32 (k = 1) or 2*32 + A(16)=32 (k = 2).
        {2, {1, 1}, {1, 1}, zyl32f, 128}, {3, {1, 1}, {1, 1}, zyl32f, 224}, {5, {1, 1}, {1, 1}, zyl32f, 224},
    };
    for (const Row &r : rows) {
        Zyl32s got = -1;
        EXPECT_EQ(kQueries[r.q](r.s, r.t, r.type, &got), zylStatusOk);
        EXPECT_EQ(got, r.size) << "query " << r.q << " type " << r.type;
    }
    // The largest images whose buffer fits a Zyl32s, and the next ones, which are refused with 0
    // instead of a size truncated to 32 bits (1 x 104755300 CoeffNormed would be 2^32 + 224).
    // 1 x H images and 1 x 1 templates: 32 + 32 + A(e(H + 1)) + A(8H), statistics 2A(8H) + A(8Hk).
    struct Large { int q; ZyliSize s, t; int type; ZylStatus st; Zyl32s size; };
    constexpr int kMax = 2147483647;
    const Large large[] = {
        {0, {1, 238609278}, {1, 1}, zyl8u, zylStatusOk, 2147483616},
        {2, {1, 238609279}, {1, 1}, zyl8s, zylStatusBadSize, 0},
        {5, {1, 52377645}, {1, 1}, zyl8u, zylStatusOk, 2147483616},
        {5, {1, 52377646}, {1, 1}, zyl8s, zylStatusBadSize, 0},
        {5, {1, 104755300}, {1, 1}, zyl8u, zylStatusBadSize, 0},
        {2, {1, 178956958}, {1, 1}, zyl32f, zylStatusOk, 2147483616},
        {0, {1, 178956959}, {1, 1}, zyl32f, zylStatusBadSize, 0},
        {3, {1, 59652318}, {1, 1}, zyl32f, zylStatusOk, 2147483616},
        {1, {1, 59652319}, {1, 1}, zyl32f, zylStatusBadSize, 0},
        // A strip of 2^32 elements; templates whose own size passes 2^63 bytes.
        {0, {65536, 65536}, {65536, 1}, zyl8u, zylStatusBadSize, 0},
        {4, {kMax, kMax}, {kMax, kMax}, zyl32f, zylStatusBadSize, 0},
        {5, {kMax, kMax}, {kMax, kMax - 1}, zyl8u, zylStatusBadSize, 0},
    };
    for (const Large &r : large) {
        Zyl32s got = -1;
        EXPECT_EQ(kQueries[r.q](r.s, r.t, r.type, &got), r.st) << "query " << r.q << " " << r.s.width << "x" << r.s.height;
        EXPECT_EQ(got, r.size) << "query " << r.q << " " << r.s.width << "x" << r.s.height;
    }
    // The layout rule over many sizes, and the equal pairs SqDiff = Corr, SqDiffNormed = CorrNormed.
    Rng rng(9);
    for (int i = 0; i < 200; ++i) {
        const int W = rng.uniform(1, 300), H = rng.uniform(1, 300), w = rng.uniform(1, W), h = rng.uniform(1, H);
        const int type = i % 3 == 0 ? zyl32f : i % 3 == 1 ? zyl8u : zyl8s;
        for (M m : kMethods) {
            Zyl32s got = -1;
            ASSERT_EQ(kQueries[int(m)]({W, H}, {w, h}, type, &got), zylStatusOk);
            ASSERT_EQ(got, ref_buffer(m, W, H, w, h, type == zyl32f ? 4 : 1)) << W << "x" << H << " " << w << "x" << h;
        }
    }
    // Order: the result pointer; the result zeroed; sizes; then the type code.
    for (QueryFn q : kQueries) {
        EXPECT_EQ(q({0, 0}, {5, 5}, 3, nullptr), zylStatusNullPtr);
        struct Bad { ZyliSize s, t; int type; ZylStatus st; };
        const Bad bad[] = {{{4, 4}, {5, 1}, 3, zylStatusBadSize}, {{4, 4}, {1, 5}, 9, zylStatusBadSize},
                           {{4, 4}, {0, 1}, 1, zylStatusBadSize}, {{4, 4}, {1, -1}, 1, zylStatusBadSize},
                           {{4, 4}, {4, 4}, 3, zylStatusUnsupported}, {{4, 4}, {1, 1}, 0, zylStatusUnsupported},
                           {{4, 4}, {1, 1}, 4, zylStatusUnsupported}};
        for (const Bad &b : bad) {
            Zyl32s got = 12345;
            EXPECT_EQ(q(b.s, b.t, b.type, &got), b.st);
            EXPECT_EQ(got, 0);
        }
    }
}

// ---- matching against the reference -----------------------------------------------------

struct Case { int W, H, w, h; };

// Every method on one image/template pair: source and template flush against inaccessible
// pages, a work buffer of exactly the queried size flush against one too, canaries around the
// destination; source and template are left unchanged.
template <class T> void check_match(Rng &rng, const Case &c, bool specials, Guard g)
{
    const int e = sizeof(T);
    Layout ls{c.W, c.H, 1, rng.chance(0.5) ? 0 : e * rng.uniform(1, 9), 0};
    Layout lt{c.w, c.h, 1, rng.chance(0.5) ? 0 : e * rng.uniform(1, 5), 0};
    Image<T> src0(ls), tpl0(lt);
    src0.fill_random(rng);
    tpl0.fill_random(rng);
    if constexpr (std::is_same_v<T, Zyl32f>)
        if (!specials) {
            for (int y = 0; y < c.H; ++y)
                for (int x = 0; x < c.W; ++x) src0.at(x, y) = zt::random_float(rng, 0.0);
            for (int y = 0; y < c.h; ++y)
                for (int x = 0; x < c.w; ++x) tpl0.at(x, y) = zt::random_float(rng, 0.0);
        }
    GuardedImage<T> src(c.W, c.H, 1, g, ls.padBytes), tpl(c.w, c.h, 1, g, lt.padBytes);
    src.copy_from(src0);
    tpl.copy_from(tpl0);
    const int outW = c.W - c.w + 1, outH = c.H - c.h + 1;
    for (M m : kMethods) {
        SCOPED_TRACE(method_name(m));
        Zyl32s size = 0;
        ASSERT_EQ(kQueries[int(m)]({c.W, c.H}, {c.w, c.h}, Api<T>::code, &size), zylStatusOk);
        GuardedImage<Zyl8u> buffer(size, 1, 1, Guard::After);
        Image<Zyl32f> dst({outW, outH, 1, 4 * rng.uniform(0, 3), 4 * rng.uniform(0, 3)});
        ASSERT_EQ(Api<T>::fn[int(m)](src.data(), src.step(), {c.W, c.H}, tpl.data(), tpl.step(), {c.w, c.h},
                                     dst.data(), dst.step(), buffer.data()),
                  zylStatusOk);
        const auto want = ref_match(m, src.data(), src.step(), c.W, c.H, tpl.data(), tpl.step(), c.w, c.h);
        for (int y = 0; y < outH; ++y)
            for (int x = 0; x < outW; ++x)
                ASSERT_TRUE(same_score(dst.at(x, y), want[std::size_t(y) * outW + x])) << x << "," << y;
        EXPECT_TRUE(dst.intact_outside_roi());
    }
    EXPECT_TRUE(zt::same_bytes(src.roi_bytes(), src0.roi_bytes()));
    EXPECT_TRUE(zt::same_bytes(tpl.roi_bytes(), tpl0.roi_bytes()));
}

TYPED_TEST(MatchTyped, MatchesReference)
{
    using T = TypeParam;
    const Case cases[] = {{1, 1, 1, 1},   {13, 5, 1, 1},   {9, 11, 9, 11}, {40, 33, 40, 33}, {23, 19, 7, 7},
                          {37, 41, 16, 16}, {35, 34, 31, 31}, {20, 9, 5, 3}, {17, 23, 1, 9},  {29, 6, 11, 1}};
    std::uint32_t seed = 700;
    for (const Case &c : cases) {
        Rng rng(++seed);
        SCOPED_TRACE(zt::seed_note(seed));
        SCOPED_TRACE(::testing::Message() << c.W << "x" << c.H << " template " << c.w << "x" << c.h);
        check_match<T>(rng, c, seed % 4 == 0, seed % 2 ? Guard::Before : Guard::After);
    }
}

// Every twin's driver gives the portable twin's bits, every method, on odd sizes (unaligned
// windows and strips).
TYPED_TEST(MatchTyped, TwinsAgree)
{
    using T = TypeParam;
    std::uint32_t seed = 900;
    for (Case c : {Case{45, 20, 13, 5}, Case{33, 33, 17, 3}, Case{50, 12, 2, 12}}) {
        Rng rng(++seed);
        SCOPED_TRACE(zt::seed_note(seed));
        Image<T> src({c.W, c.H, 1, 0, int(sizeof(T))}), tpl({c.w, c.h});
        src.fill_random(rng);
        tpl.fill_random(rng);
        Zyl32s size = 0;
        ASSERT_EQ(kQueries[int(M::CoeffNormed)]({c.W, c.H}, {c.w, c.h}, Api<T>::code, &size), zylStatusOk);
        [&]<std::size_t... I>(std::index_sequence<I...>) {
            (zt::expect_twins_agree([&](zt::Twin t) {
                 SCOPED_TRACE(method_name(M(I)));
                 Image<Zyl32f> d({c.W - c.w + 1, c.H - c.h + 1});
                 std::vector<Zyl8u> buf(size + 1);
                 ZT_ENTRY(t, match_template<M(I)>)(src.data(), src.step(), c.W, c.H, tpl.data(), tpl.step(), c.w, c.h,
                                                  d.data(), d.step(), buf.data() + 1);
                 return d.roi_bytes();
             }), ...);
        }(std::make_index_sequence<std::size(kMethods)>{});
    }
}

// Properties that follow from the formulas: a flat window gives finite CoeffNormed scores
// (variance term eps); a zero template gives invT = rs(eps) and CorrNormed 0; a window equal to
// the template gives SqDiff 0, SqDiffNormed 0 and CorrNormed close to 1.
TEST(MatchValues, FlatZeroAndIdentical)
{
    EXPECT_NEAR(ref_rs(kEps), 2896.309375740099, 1e-9);
    for (double d : {1e-30, 0.3, 1.0, 2.0, 12345.678, 1e20}) EXPECT_NEAR(ref_rs(d) * std::sqrt(d), 1.0, 1e-15) << d;

    const ZyliSize S{12, 10}, Tz{4, 3};
    Image<Zyl8u> flat({12, 10}), zero({4, 3}), tpl({4, 3});
    flat.fill(77);
    zero.fill(0);
    Rng rng(5);
    tpl.fill_random(rng);
    std::vector<Zyl8u> buf(1 << 14);
    Image<Zyl32f> d({9, 8});
    auto run = [&](M m, const Image<Zyl8u> &s, const Image<Zyl8u> &t) {
        return Api<Zyl8u>::fn[int(m)](s.data(), s.step(), S, t.data(), t.step(), Tz, d.data(), d.step(), buf.data());
    };
    ASSERT_EQ(run(M::CoeffNormed, flat, tpl), zylStatusOk);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 9; ++x) EXPECT_TRUE(std::isfinite(d.at(x, y)));
    ASSERT_EQ(run(M::CorrNormed, flat, zero), zylStatusOk);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 9; ++x) EXPECT_EQ(zt::bits_of(d.at(x, y)), 0u);
    ASSERT_EQ(run(M::SqDiffNormed, flat, zero), zylStatusOk);  // 77^2 * 12 * rs(eps) * rs(QI)
    EXPECT_NEAR(d.at(0, 0), 77.0 * 77 * 12 * 2896.309375740099 / std::sqrt(77.0 * 77 * 12), 0.5);

    // The template pasted into the image at (5, 6).
    Image<Zyl8u> img({12, 10});
    img.fill_random(rng);
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 4; ++i) img.at(5 + i, 6 + j) = tpl.at(i, j);
    ASSERT_EQ(run(M::SqDiff, img, tpl), zylStatusOk);
    EXPECT_EQ(d.at(5, 6), 0.0f);
    ASSERT_EQ(run(M::SqDiffNormed, img, tpl), zylStatusOk);
    EXPECT_EQ(d.at(5, 6), 0.0f);
    ASSERT_EQ(run(M::CorrNormed, img, tpl), zylStatusOk);
    EXPECT_NEAR(d.at(5, 6), 1.0f, 1e-6f);
    ASSERT_EQ(run(M::CoeffNormed, img, tpl), zylStatusOk);
    EXPECT_NEAR(d.at(5, 6), 1.0f, 1e-4f);
}

}  // namespace
