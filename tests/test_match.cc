// Template matching: block kernels against exact and fixed-order reference sums, the six
// methods against a direct per-window model, validation orders, buffer sizes, guard pages.
#include <bit>
#include <cmath>
#include <utility>

#include "match/match.h"
#include "support.h"

using zt::Guard;
using zt::GuardedImage;
using zt::Image;
using zt::Rng;

namespace {

// ---- reference block sums ---------------------------------------------------------------

enum class Fold { Sum, L2, CC };

// Integer runs: every term summed directly in 64 bits.
template <class T> long long ref_run(Fold f, const T *a, const T *b, int n)
{
    long long s = 0;
    for (int i = 0; i < n; ++i)
        s += f == Fold::Sum  ? a[i]
             : f == Fold::L2 ? (long long)(a[i] - b[i]) * (a[i] - b[i])
                             : (long long)a[i] * b[i];
    return s;
}

// 32f runs: a double total; each full group of four is folded in x87 extended precision and
// rounded to double once; the remaining elements are added one by one, rounded each time.
// SumPixels adds a group's own sum to the total; the others add the terms to the total in turn.
long double term32f(Fold f, const float *a, const float *b, int i)
{
    if (f == Fold::Sum) return a[i];
    if (f == Fold::CC) return double(a[i]) * double(b[i]);  // exact in double
    const double d = double(a[i]) - double(b[i]);           // the difference rounded to double
    return (long double)d * d;
}
double ref_run(Fold f, const float *a, const float *b, int n)
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
    double s = std::bit_cast<float>((0xBE6F0000u - std::bit_cast<std::uint32_t>(float(d))) >> 1);
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
constexpr M kMethods[] = {M::SqDiff,     M::SqDiffNormed, M::Corr,
                          M::CorrNormed, M::Coeff,        M::CoeffNormed};
constexpr const char *kMethodNames[] = {"SqDiff",     "SqDiffNormed", "Corr",
                                        "CorrNormed", "Coeff",        "CoeffNormed"};
const char *method_name(M m) { return kMethodNames[int(m)]; }

// One score from the window's block value (SSD or CC), SI, QI and the template's ST, QT.
float ref_score(M m, double blk, double si, double qi, double st, double qt, long long n)
{
    const double invN = 1.0 / (double(n) + kDelta);
    switch (m) {
    case M::SqDiff:
    case M::Corr:
        return float(blk);
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
    return reinterpret_cast<const T *>(reinterpret_cast<const char *>(p) +
                                       std::ptrdiff_t(y) * step)[x];
}

// The full score map: 8u/8s by direct 64-bit window sums; 32f with each window gathered into a
// run for the fixed-order block sums, and SI/QI from row sums that move right one column at a
// time (increment formed first) and window sums that move down one row at a time.
template <class T>
std::vector<float> ref_match(M m, const T *src, int sStep, int W, int H, const T *tpl, int tStep,
                             int w, int h)
{
    const int outW = W - w + 1, outH = H - h + 1, n = w * h;
    std::vector<T> packed;
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) packed.push_back(px(tpl, tStep, i, j));
    std::vector<float> out(std::size_t(outW) * outH);
    std::vector<T> win(n);
    if constexpr (std::is_same_v<T, Zyl32f>) {
        const double st = ref_run(Fold::Sum, packed.data(), nullptr, n);
        const double qt = ref_run(Fold::CC, packed.data(), packed.data(), n);
        std::vector<double> rowSum(H), rowSq(H);
        for (int x = 0; x < outW; ++x) {
            for (int r = 0; r < H; ++r) {
                if (x == 0) {
                    std::vector<float> row(w);
                    for (int i = 0; i < w; ++i) row[i] = px(src, sStep, i, r);
                    rowSum[r] = ref_run(Fold::Sum, row.data(), nullptr, w);
                    rowSq[r] = ref_run(Fold::CC, row.data(), row.data(), w);
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
                const double blk =
                    ref_run(uses_l2(m) ? Fold::L2 : Fold::CC, win.data(), packed.data(), n);
                out[std::size_t(y) * outW + x] = ref_score(m, blk, si, qi, st, qt, n);
            }
        }
    } else {
        const double st = double(Zyl32s(ref_run(Fold::Sum, packed.data(), packed.data(), n)));
        const double qt = double(ref_run(Fold::CC, packed.data(), packed.data(), n));
        for (int y = 0; y < outH; ++y)
            for (int x = 0; x < outW; ++x) {
                for (int j = 0; j < h; ++j)
                    for (int i = 0; i < w; ++i) win[j * w + i] = px(src, sStep, x + i, y + j);
                const long long blk =
                    ref_run(uses_l2(m) ? Fold::L2 : Fold::CC, win.data(), packed.data(), n);
                const double si = double(ref_run(Fold::Sum, win.data(), win.data(), n)),
                             qi = double(ref_run(Fold::CC, win.data(), win.data(), n));
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
    if (m != M::SqDiff && m != M::Corr)
        s += 2 * A(8LL * H) + A(8 * rows * (m == M::CoeffNormed ? 2 : 1));
    return s;
}

// ---- the exported members behind one interface ------------------------------------------

template <class T>
using MatchFn = ZylStatus (*)(const T *, Zyl32s, ZyliSize, const T *, Zyl32s, ZyliSize, Zyl32f *,
                              Zyl32s, Zyl8u *);
using QueryFn = ZylStatus (*)(ZyliSize, ZyliSize, Zyl32s, Zyl32s *);
constexpr QueryFn kQueries[] = {
    zyliMatchTemplateGetBufSize_SqDiff, zyliMatchTemplateGetBufSize_SqDiffNormed,
    zyliMatchTemplateGetBufSize_Corr,   zyliMatchTemplateGetBufSize_CorrNormed,
    zyliMatchTemplateGetBufSize_Coeff,  zyliMatchTemplateGetBufSize_CoeffNormed};

template <class T> struct Api;
#define ZT_MATCH_API(T, Sfx, Code)                                                                 \
    template <> struct Api<T> {                                                                    \
        static constexpr int code = Code;                                                          \
        static constexpr MatchFn<T> fn[] = {                                                       \
            zyliMatchTemplate_SqDiff_##Sfx, zyliMatchTemplate_SqDiffNormed_##Sfx,                  \
            zyliMatchTemplate_Corr_##Sfx,   zyliMatchTemplate_CorrNormed_##Sfx,                    \
            zyliMatchTemplate_Coeff_##Sfx,  zyliMatchTemplate_CoeffNormed_##Sfx};                  \
    };
ZT_MATCH_API(Zyl8u, 8u32f_C1R, zyl8u)
ZT_MATCH_API(Zyl8s, 8s32f_C1R, zyl8s)
ZT_MATCH_API(Zyl32f, 32f_C1R, zyl32f)

// ---- block kernels ----------------------------------------------------------------------

// The exported block sums of each element type under one overloaded name per kernel.
#define ZT_BLOCKS(T, Sfx)                                                                          \
    auto exported_sum(const T *a, const T *, int n) { return zycvSumPixels_##Sfx##_C1(a, n); }     \
    auto exported_l2(const T *a, const T *b, int n)                                                \
    {                                                                                              \
        return zycvCmpBlocksL2_##Sfx##_C1(a, b, n);                                                \
    }                                                                                              \
    auto exported_cc(const T *a, const T *b, int n) { return zycvCrossCorr_##Sfx##_C1(a, b, n); }
ZT_BLOCKS(Zyl8u, 8u)
ZT_BLOCKS(Zyl8s, 8s)
ZT_BLOCKS(Zyl32f, 32f)
#undef ZT_BLOCKS

// What a block result is compared by: its bits for 32f, its value otherwise.
template <class V> auto key(V v)
{
    if constexpr (std::is_floating_point_v<V>) return zt::bits_of(double(v));
    else return (long long)v;
}

// Long runs through every twin: 32-bit lanes would wrap unless they are widened often enough
// (each lane takes an eighth of the products, 2 200 000 / 8 * 65025 > 2^34). The 8u pixel sum
// wraps modulo 2^32 (255 * 17 000 000 to 40 032 704). Runs of length 0 or less read nothing and
// give +0. 32f: 2^60 + 1 + 1 - 2^60 is 2 in extended precision within a group, 0 with double
// rounding after each addition (the tail).
TEST(MatchBlocks, KnownValues)
{
    const int n = 2200000;
    std::vector<Zyl8u> ff(n, 255), zero(n, 0);
    std::vector<Zyl8s> lo(n, -128), hi(n, 127);
    std::vector<Zyl8u> big(17000000, 255);
    for (zt::Twin t : zt::twins()) {
        SCOPED_TRACE(zt::twin_name(t));
        EXPECT_EQ(ZT_ENTRY(t, cmp_blocks_l2)(ff.data(), zero.data(), n), 65025LL * n);
        EXPECT_EQ(ZT_ENTRY(t, cross_corr)(ff.data(), ff.data(), n), 65025LL * n);
        EXPECT_EQ(ZT_ENTRY(t, cmp_blocks_l2)(hi.data(), lo.data(), n), 65025LL * n);
        EXPECT_EQ(ZT_ENTRY(t, cross_corr)(lo.data(), lo.data(), n), 16384LL * n);
        EXPECT_EQ(ZT_ENTRY(t, cross_corr)(lo.data(), hi.data(), n), -16256LL * n);
        EXPECT_EQ(ZT_ENTRY(t, sum_pixels)(big.data(), 17000000), 40032704);
        EXPECT_EQ(ZT_ENTRY(t, sum_pixels)(big.data() + 1, 8421505),
                  -2147483521);  // 255 * 8421505 - 2^32
    }
    auto reads_nothing = [](auto *none) {
        for (int len : {0, -1, -70000})
            EXPECT_FALSE(key(exported_sum(none, none, len)) || key(exported_l2(none, none, len)) ||
                         key(exported_cc(none, none, len)))
                << len;
    };
    reads_nothing((const Zyl8u *)nullptr), reads_nothing((const Zyl8s *)nullptr);
    reads_nothing((const Zyl32f *)nullptr);
    const float g[4] = {0x1p60f, 1.0f, 1.0f, -0x1p60f};
    EXPECT_EQ(zycvSumPixels_32f_C1(g, 4), 2.0);
    const float t[7] = {0.0f, 0.0f, 0.0f, 0.0f, 0x1p60f, 1.0f, -0x1p60f};
    EXPECT_EQ(zycvSumPixels_32f_C1(t, 7), 0.0);
}

// One run pair through the exported kernels and each twin's, against the reference.
template <class T> void check_blocks(const T *a, const T *b, int n)
{
    auto want = [&](Fold f) {
        const auto v = ref_run(f, a, b, n);
        if constexpr (std::is_same_v<T, Zyl32f>) return key(v);
        else return f == Fold::Sum ? key(Zyl32s(std::uint32_t(v))) : key(v);  // the pixel sum wraps
    };
    const auto es = want(Fold::Sum), el = want(Fold::L2), ec = want(Fold::CC);
    EXPECT_EQ(key(exported_sum(a, b, n)), es);
    EXPECT_EQ(key(exported_l2(a, b, n)), el);
    EXPECT_EQ(key(exported_cc(a, b, n)), ec);
    for (zt::Twin t : zt::twins()) {
        SCOPED_TRACE(zt::twin_name(t));
        EXPECT_EQ(key(ZT_ENTRY(t, sum_pixels)(a, n)), es);
        EXPECT_EQ(key(ZT_ENTRY(t, cmp_blocks_l2)(a, b, n)), el);
        EXPECT_EQ(key(ZT_ENTRY(t, cross_corr)(a, b, n)), ec);
    }
}
// Random runs of length n, each operand at the given element offset from a 32-byte boundary.
template <class T> void check_blocks(Rng &rng, int n, int offA, int offB)
{
    std::vector<T> bufA(n + 64), bufB(n + 64);
    for (auto &v : bufA) v = zt::random_value<T>(rng);
    for (auto &v : bufB) v = zt::random_value<T>(rng);
    auto base = [](std::vector<T> &v) {
        auto p = reinterpret_cast<std::uintptr_t>(v.data());
        return v.data() + ((32 - p % 32) % 32) / sizeof(T);
    };
    check_blocks<T>(base(bufA) + offA, base(bufB) + offB, n);
}

template <class T> class MatchTyped : public ::testing::Test {
};
using Types = ::testing::Types<Zyl8u, Zyl8s, Zyl32f>;
TYPED_TEST_SUITE(MatchTyped, Types);

// All nine kernels against the reference: lengths 0..100, longer runs (one past the 32-bit lane
// chunks), each operand at every offset mod 32, and runs flush against an inaccessible page.
TYPED_TEST(MatchTyped, BlocksMatchReference)
{
    using T = TypeParam;
    constexpr int e = sizeof(T);
    std::uint32_t seed = 100;
    for (int n = 0; n <= 100; ++n) {
        Rng rng(++seed);
        SCOPED_TRACE(zt::seed_note(seed));
        SCOPED_TRACE(n);
        check_blocks<T>(rng, n, (n % (32 / e)), (n / 3) % (32 / e));
    }
    for (int n : {255, 256, 1000, 4099})
        for (int off : {0, 1, 2, 3}) {
            Rng rng(++seed);
            SCOPED_TRACE(zt::seed_note(seed));
            check_blocks<T>(rng, n, off % (32 / e), 0);
            check_blocks<T>(rng, n, 0, off);
        }
    Rng rng(++seed);
    check_blocks<T>(rng, 270000, 1, 2);
    for (int n : {1, 9, 33, 71, 127, 191})
        for (Guard g : {Guard::Before, Guard::After}) {
            Rng rng(n);
            GuardedImage<T> a(n, 1, 1, g), b(n, 1, 1, g);
            a.fill_random(rng);
            b.fill_random(rng);
            check_blocks<T>(a.data(), b.data(), n);
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
    constexpr ZylStatus Null = zylStatusNullPtr, Size = zylStatusBadSize, Step = zylStatusBadStep;
    // Steps that are a row long plus 2 bytes: fine for 8-bit images, refused for 32f.
    constexpr ZylStatus oddStep = f32 ? Step : zylStatusOk;
    for (M m : kMethods) {
        SCOPED_TRACE(method_name(m));
        auto f = Api<T>::fn[int(m)];
        auto call = [=](const T *s, int sst, ZyliSize sz, const T *t, int tst, ZyliSize tz,
                        Zyl32f *d, int dst_,
                        Zyl8u *b) { return [=] { return f(s, sst, sz, t, tst, tz, d, dst_, b); }; };
        const std::vector<zt::StatusCase> cases = {
            {"null src first", call(nullptr, 0, {0, 0}, pt, ts, Tz, pd, ds, pb), Null},
            {"null tpl", call(ps, ss, S, nullptr, ts, Tz, pd, ds, pb), Null},
            {"null dst", call(ps, ss, S, pt, ts, Tz, nullptr, ds, pb), Null},
            {"null buffer", call(ps, ss, S, pt, ts, Tz, pd, ds, nullptr), Null},
            {"zero tpl width before steps", call(ps, 0, S, pt, 0, {0, 2}, pd, 0, pb), Size},
            {"zero tpl height", call(ps, ss, S, pt, ts, {3, 0}, pd, ds, pb), Size},
            {"tpl wider than image", call(ps, ss, S, pt, ts, {10, 2}, pd, ds, pb), Size},
            {"tpl taller than image", call(ps, ss, S, pt, ts, {3, 8}, pd, ds, pb), Size},
            {"zero image width", call(ps, ss, {0, 7}, pt, ts, Tz, pd, ds, pb), Size},
            {"tpl step below a row", call(ps, ss, S, pt, 3 * e - 1, Tz, pd, ds, pb), Step},
            {"src step below a row", call(ps, 9 * e - 1, S, pt, ts, Tz, pd, ds, pb), Step},
            {"dst step below a row", call(ps, ss, S, pt, ts, Tz, pd, 27, pb), Step},
            {"negative src step", call(ps, -ss, S, pt, ts, Tz, pd, ds, pb), Step},
            {"dst step not a multiple of 4", call(ps, ss, S, pt, ts, Tz, pd, ds + 2, pb), Step},
            {"src step a row + 2", call(ps, ss + 2, {8, 7}, pt, ts, Tz, pd, ds, pb), oddStep},
            {"tpl step a row + 2", call(ps, ss, S, pt, 3 * e + 2, Tz, pd, ds, pb), oddStep},
            {"dst step exactly one row", call(ps, ss, S, pt, ts, Tz, pd, 28, pb), zylStatusOk},
        };
        const auto before = dst.roi_bytes();
        const std::vector<Zyl8u> bufBefore = buf;
        zt::expect_statuses(cases, [&] {
            return dst.roi_bytes() == before && dst.intact_outside_roi() && buf == bufBefore;
        });
    }
}

TEST(MatchQueries, SizesAndOrder)
{
    // The largest images whose buffer fits a Zyl32s, and the next ones, which are refused with 0
    // instead of a size truncated to 32 bits (1 x 104755300 CoeffNormed would be 2^32 + 224).
    // 1 x H images and 1 x 1 templates: 32 + 32 + A(e(H + 1)) + A(8H), statistics 2A(8H) + A(8Hk).
    struct Large {
        M q;
        ZyliSize s, t;
        int type;
        ZylStatus st;
        Zyl32s size;
    };
    constexpr int kMax = 2147483647;
    const Large large[] = {
        {M::SqDiff, {1, 238609278}, {1, 1}, zyl8u, zylStatusOk, 2147483616},
        {M::Corr, {1, 238609279}, {1, 1}, zyl8s, zylStatusBadSize, 0},
        {M::CoeffNormed, {1, 52377645}, {1, 1}, zyl8u, zylStatusOk, 2147483616},
        {M::CoeffNormed, {1, 52377646}, {1, 1}, zyl8s, zylStatusBadSize, 0},
        {M::CoeffNormed, {1, 104755300}, {1, 1}, zyl8u, zylStatusBadSize, 0},
        {M::Corr, {1, 178956958}, {1, 1}, zyl32f, zylStatusOk, 2147483616},
        {M::SqDiff, {1, 178956959}, {1, 1}, zyl32f, zylStatusBadSize, 0},
        {M::CorrNormed, {1, 59652318}, {1, 1}, zyl32f, zylStatusOk, 2147483616},
        {M::SqDiffNormed, {1, 59652319}, {1, 1}, zyl32f, zylStatusBadSize, 0},
        // A strip of 2^32 elements; templates whose own size passes 2^63 bytes.
        {M::SqDiff, {65536, 65536}, {65536, 1}, zyl8u, zylStatusBadSize, 0},
        {M::Coeff, {kMax, kMax}, {kMax, kMax}, zyl32f, zylStatusBadSize, 0},
        {M::CoeffNormed, {kMax, kMax}, {kMax, kMax - 1}, zyl8u, zylStatusBadSize, 0},
    };
    for (const Large &r : large) {
        Zyl32s got = -1;
        EXPECT_EQ(kQueries[int(r.q)](r.s, r.t, r.type, &got), r.st)
            << method_name(r.q) << " " << r.s.width << "x" << r.s.height;
        EXPECT_EQ(got, r.size) << method_name(r.q) << " " << r.s.width << "x" << r.s.height;
    }
    // The layout rule over many sizes (so SqDiff = Corr and SqDiffNormed = CorrNormed).
    Rng rng(9);
    for (int i = 0; i < 200; ++i) {
        const int W = rng.uniform(1, 300), H = rng.uniform(1, 300), w = rng.uniform(1, W),
                  h = rng.uniform(1, H);
        const int type = i % 3 == 0 ? zyl32f : i % 3 == 1 ? zyl8u : zyl8s;
        for (M m : kMethods) {
            Zyl32s got = -1;
            ASSERT_EQ(kQueries[int(m)]({W, H}, {w, h}, type, &got), zylStatusOk);
            ASSERT_EQ(got, ref_buffer(m, W, H, w, h, type == zyl32f ? 4 : 1))
                << W << "x" << H << " " << w << "x" << h;
        }
    }
    // Order: the result pointer; the result zeroed; sizes; then the type code.
    for (QueryFn q : kQueries) {
        EXPECT_EQ(q({0, 0}, {5, 5}, 3, nullptr), zylStatusNullPtr);
        struct Bad {
            ZyliSize s, t;
            int type;
            ZylStatus st;
        };
        const Bad bad[] = {
            {{4, 4}, {5, 1}, 3, zylStatusBadSize},     {{4, 4}, {1, 5}, zyl32f, zylStatusBadSize},
            {{4, 4}, {0, 1}, zyl8u, zylStatusBadSize}, {{4, 4}, {1, -1}, zyl8u, zylStatusBadSize},
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

struct Case {
    int W, H, w, h;
};

// Every method on one image/template pair: source and template flush against inaccessible
// pages, a work buffer of exactly the queried size flush against one too, canaries around the
// destination; source and template are left unchanged.
enum class Shape { Random, Specials, Flat, Pasted };
template <class T> void check_match(Rng &rng, const Case &c, Shape shape, Guard g)
{
    const int e = sizeof(T);
    GuardedImage<T> src(c.W, c.H, 1, g, rng.chance(0.5) ? 0 : e * rng.uniform(1, 9)),
        tpl(c.w, c.h, 1, g, rng.chance(0.5) ? 0 : e * rng.uniform(1, 5));
    for (GuardedImage<T> *img : {&src, &tpl}) {
        img->fill_random(rng);
        for (int y = 0; e == 4 && shape != Shape::Specials && y < img->size().height; ++y)
            for (int x = 0; x < img->size().width; ++x)
                img->row(y)[x] = T(zt::random_float(rng, 0.0));
    }
    // A flat image with a zero template (the variance terms are then eps alone), or the template
    // pasted into the image at its far corner.
    for (int y = 0; shape == Shape::Flat && y < c.H; ++y)
        for (int x = 0; x < c.W; ++x) src.row(y)[x] = T(77), tpl.row(y % c.h)[x % c.w] = T(0);
    for (int y = 0; shape == Shape::Pasted && y < c.h; ++y)
        for (int x = 0; x < c.w; ++x) src.row(c.H - c.h + y)[c.W - c.w + x] = tpl.row(y)[x];
    const auto srcBefore = src.roi_bytes(), tplBefore = tpl.roi_bytes();
    const int outW = c.W - c.w + 1, outH = c.H - c.h + 1;
    for (M m : kMethods) {
        SCOPED_TRACE(method_name(m));
        Zyl32s size = 0;
        ASSERT_EQ(kQueries[int(m)]({c.W, c.H}, {c.w, c.h}, Api<T>::code, &size), zylStatusOk);
        GuardedImage<Zyl8u> buffer(size, 1, 1, Guard::After);
        Image<Zyl32f> dst({outW, outH, 1, 4 * rng.uniform(0, 3), 4 * rng.uniform(0, 3)});
        ASSERT_EQ(Api<T>::fn[int(m)](src.data(), src.step(), {c.W, c.H}, tpl.data(), tpl.step(),
                                     {c.w, c.h}, dst.data(), dst.step(), buffer.data()),
                  zylStatusOk);
        const auto want =
            ref_match(m, src.data(), src.step(), c.W, c.H, tpl.data(), tpl.step(), c.w, c.h);
        for (int y = 0; y < outH; ++y)
            for (int x = 0; x < outW; ++x)
                ASSERT_TRUE(zt::same_bits_or_nan(dst.at(x, y), want[std::size_t(y) * outW + x]))
                    << x << "," << y;
        EXPECT_TRUE(dst.intact_outside_roi());
    }
    EXPECT_TRUE(zt::same_bytes(src.roi_bytes(), srcBefore));
    EXPECT_TRUE(zt::same_bytes(tpl.roi_bytes(), tplBefore));
}

TYPED_TEST(MatchTyped, MatchesReference)
{
    using T = TypeParam;
    const Case cases[] = {{1, 1, 1, 1},   {13, 5, 1, 1},    {9, 11, 9, 11},   {40, 33, 40, 33},
                          {23, 19, 7, 7}, {37, 41, 16, 16}, {35, 34, 31, 31}, {20, 9, 5, 3},
                          {17, 23, 1, 9}, {29, 6, 11, 1}};
    for (double d : {1e-30, 0.3, 1.0, 2.0, 12345.678, 1e20})
        EXPECT_NEAR(ref_rs(d) * std::sqrt(d), 1.0, 1e-15) << d;
    std::uint32_t seed = 700;
    for (const Case &c : cases) {
        Rng rng(++seed);
        SCOPED_TRACE(zt::seed_note(seed));
        SCOPED_TRACE(::testing::Message()
                     << c.W << "x" << c.H << " template " << c.w << "x" << c.h);
        check_match<T>(rng, c, seed % 4 == 0 ? Shape::Specials : Shape::Random,
                       seed % 2 ? Guard::Before : Guard::After);
    }
    for (Shape shape : {Shape::Flat, Shape::Pasted})
        for (const Case &c : {Case{12, 10, 4, 3}, Case{9, 11, 9, 11}}) {
            Rng rng(++seed);
            check_match<T>(rng, c, shape, Guard::After);
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
        ASSERT_EQ(kQueries[int(M::CoeffNormed)]({c.W, c.H}, {c.w, c.h}, Api<T>::code, &size),
                  zylStatusOk);
        [&]<std::size_t... I>(std::index_sequence<I...>)
        {
            (zt::expect_twins_agree([&](zt::Twin t) {
                 SCOPED_TRACE(method_name(M(I)));
                 Image<Zyl32f> d({c.W - c.w + 1, c.H - c.h + 1});
                 std::vector<Zyl8u> buf(size + 1);
                 ZT_ENTRY(t, match_template<M(I)>)
                 (src.data(), src.step(), c.W, c.H, tpl.data(), tpl.step(), c.w, c.h, d.data(),
                  d.step(), buf.data() + 1);
                 return d.roi_bytes();
             }),
             ...);
        }
        (std::make_index_sequence<std::size(kMethods)>{});
    }
}

}  // namespace
