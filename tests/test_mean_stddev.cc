// Mean and standard deviation: validation order, a reference model written from the definition,
// values that follow from arithmetic alone, twins, guard pages.
#include <cmath>
#include <string>

#include "mean_stddev/mean_stddev.h"
#include "support.h"

using zt::fill_mask;
using zt::Image;
using zt::Layout;
using zt::Rng;

namespace {

// The six forms each element type has.
enum Form { MeanC1M, MeanC3CM, DevC1, DevC3C, DevC1M, DevC3CM };
constexpr Form kForms[] = {MeanC1M, MeanC3CM, DevC1, DevC3C, DevC1M, DevC3CM};
const char *const kFormNames[] = {"Mean_C1MR",        "Mean_C3CMR",       "Mean_StdDev_C1R",
                                  "Mean_StdDev_C3CR", "Mean_StdDev_C1MR", "Mean_StdDev_C3CMR"};
bool masked(Form f) { return f == MeanC1M || f == MeanC3CM || f == DevC1M || f == DevC3CM; }
int channels(Form f) { return f == MeanC3CM || f == DevC3C || f == DevC3CM ? 3 : 1; }
bool has_dev(Form f) { return f >= DevC1; }

template <class T> constexpr bool is_float = std::is_same_v<T, Zyl32f>;

// The exported functions of one element type behind one call.
template <class T> struct Api;
#define ZT_MOMENTS_API(T, S)                                                                       \
    template <> struct Api<T> {                                                                    \
        static ZylStatus call(Form f, const T *s, int ss, const Zyl8u *m, int ms, ZyliSize r,      \
                              int coi, Zyl64f *mean, Zyl64f *dev)                                  \
        {                                                                                          \
            if (f == MeanC1M) return zyliMean_##S##_C1MR(s, ss, m, ms, r, mean);                   \
            if (f == MeanC3CM) return zyliMean_##S##_C3CMR(s, ss, m, ms, r, coi, mean);            \
            if (f == DevC1) return zyliMean_StdDev_##S##_C1R(s, ss, r, mean, dev);                 \
            if (f == DevC3C) return zyliMean_StdDev_##S##_C3CR(s, ss, r, coi, mean, dev);          \
            if (f == DevC1M) return zyliMean_StdDev_##S##_C1MR(s, ss, m, ms, r, mean, dev);        \
            return zyliMean_StdDev_##S##_C3CMR(s, ss, m, ms, r, coi, mean, dev);                   \
        }                                                                                          \
    };
ZT_MOMENTS_API(Zyl8u, 8u)
ZT_MOMENTS_API(Zyl8s, 8s)
ZT_MOMENTS_API(Zyl32f, 32f)

template <class T> const T *row_at(const T *base, int step, int y)
{
    auto bytes = reinterpret_cast<const char *>(base) + std::ptrdiff_t(y) * step;
    return reinterpret_cast<const T *>(bytes);
}

// ---- reference model ---------------------------------------------------------------------

struct Results {
    Zyl64f mean = 0.0, dev = 0.0;
};

// What a call must store, from the definition: count, sum and sum of squares over the selected
// pixels (integers exactly, floats in double in raster order, or the four single-precision
// partial sums for the masked one-channel float mean), then the quotient or the finishing step.
template <class T>
Results model(Form f, const T *src, int step, const Zyl8u *mask, int maskStep, int w, int h,
              int coi)
{
    const int C = channels(f), ch = C == 3 ? coi - 1 : 0;
    auto selected = [&](int x, int y) { return !masked(f) || row_at(mask, maskStep, y)[x] != 0; };
    auto value = [&](int x, int y) { return row_at(src, step, y)[x * C + ch]; };
    double S = 0.0, Q = 0.0;
    long long n = 0;
    if constexpr (!is_float<T>) {
        long long sum = 0, sq = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (selected(x, y)) sum += value(x, y), sq += value(x, y) * value(x, y), ++n;
        S = double(sum), Q = double(sq);
    } else if (f == MeanC1M) {
        float p[4] = {0, 0, 0, 0};
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (selected(x, y)) {
                    p[x < w / 8 * 8 ? x % 4 : 0] += value(x, y);
                    ++n;
                }
        S = (double(p[0]) + double(p[2])) + (double(p[1]) + double(p[3]));
    } else {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (selected(x, y)) {
                    const double v = value(x, y);
                    S += v, Q += v * v, ++n;
                }
    }
    Results r;
    if (!has_dev(f)) {
        r.mean = n == 0 ? 0.0 : S / double(n);
    } else {
        const double scale = n == 0 ? 0.0 : 1.0 / double(n);
        r.mean = S * scale;
        r.dev = std::sqrt(std::fabs(Q * scale - r.mean * r.mean));
    }
    return r;
}

// Runs a form on one image and mask and checks both results against the model.
template <class T>
void check_form(Form f, const T *src, int step, const Zyl8u *mask, int maskStep, int w, int h,
                int coi)
{
    SCOPED_TRACE(std::string(kFormNames[f]) + " coi " + std::to_string(coi));
    const Zyl64f untouched = -12345.0;
    Zyl64f mean = untouched, dev = untouched;
    ASSERT_EQ(Api<T>::call(f, src, step, mask, maskStep, {w, h}, coi, &mean, &dev), zylStatusOk);
    const Results want = model(f, src, step, mask, maskStep, w, h, coi);
    EXPECT_TRUE(zt::same_bits_or_nan(mean, want.mean)) << "mean";
    if (has_dev(f)) EXPECT_TRUE(zt::same_bits_or_nan(dev, want.dev)) << "deviation";
    else EXPECT_EQ(dev, untouched) << "a mean-only function wrote a deviation";
}

// Padding that makes the step of a row of rowBytes a multiple of 16.
int aligning_pad(int rowBytes, int extra) { return (32 - rowBytes % 32) % 32 + extra; }

template <class T> class Moments : public ::testing::Test {
};
using Types = ::testing::Types<Zyl8u, Zyl8s, Zyl32f>;
TYPED_TEST_SUITE(Moments, Types);

// ---- validation ----------------------------------------------------------------------------

// Every combination of faults a form can have, each with the status of the first failing test
// in the form's order: pointers, size, steps, then step alignment (32f) and the channel of
// interest, which the 32f mean of a channel of interest tests the other way round. A refused
// call stores nothing through either result pointer.
TYPED_TEST(Moments, ValidationOrderAndNoWrites)
{
    using T = TypeParam;
    constexpr int w = 5, h = 3;
    enum Fault { NoSrc, NoMask, NoMean, NoDev, Size, SrcStep, MaskStep, Misaligned, Coi, kFaults };
    static const char *faultNames[] = {"null src",      "null mask",       "null mean",
                                       "null stddev",   "bad size",        "bad src step",
                                       "bad mask step", "misaligned step", "bad coi"};
    const Zyl64f sentinel = 777.25;
    Zyl64f mean = sentinel, dev = sentinel;
    for (Form f : kForms) {
        SCOPED_TRACE(kFormNames[f]);
        Image<T> src({w, h, channels(f), 8});
        Image<Zyl8u> mask({w, h, 1, 3});
        Rng rng(3);
        src.fill_random(rng);
        mask.fill(1);
        // Which faults the form can have, in the order of the enumeration.
        const bool applies[kFaults] = {true, masked(f), true, has_dev(f),      true,
                                       true, masked(f), true, channels(f) == 3};
        // The form's order of the alignment and channel tests.
        const bool coiFirst = f == MeanC3CM;
        std::vector<zt::StatusCase> cases;
        for (int set = 0; set < (1 << kFaults); ++set) {
            bool skip = false;
            for (int k = 0; k < kFaults; ++k) skip |= (set >> k & 1) && !applies[k];
            if (skip) continue;
            auto has = [&](int k) { return (set >> k & 1) != 0; };
            std::string what;
            for (int k = 0; k < kFaults; ++k)
                if (has(k)) what += std::string(what.empty() ? "" : " + ") + faultNames[k];
            const bool alt = set % 3 == 1;  // vary the flavour of each fault between cases
            const T *s = has(NoSrc) ? nullptr : src.data();
            const Zyl8u *m = has(NoMask) ? nullptr : mask.data();
            Zyl64f *pm = has(NoMean) ? nullptr : &mean;
            Zyl64f *pd = has(NoDev) ? nullptr : &dev;
            const ZyliSize badRoi[] = {{0, h}, {w, 0}, {-2, h}};
            const ZyliSize roi = has(Size) ? badRoi[set % 3] : ZyliSize{w, h};
            const int ss =
                has(SrcStep) ? (alt ? -src.step() : 0) : src.step() - 2 * has(Misaligned);
            int ms = has(MaskStep) ? (alt ? -1 : 0) : mask.step();
            int coi = has(Coi) ? (alt ? 4 : 0) : 1 + set % 3;
            ZylStatus expected = zylStatusOk;
            const bool alignFails = is_float<T> && has(Misaligned), coiFails = has(Coi);
            if (has(NoSrc) || has(NoMask) || has(NoMean) || has(NoDev)) expected = zylStatusNullPtr;
            else if (has(Size)) expected = zylStatusBadSize;
            else if (has(SrcStep) || has(MaskStep)) expected = zylStatusBadStep;
            else if (coiFirst && coiFails) expected = zylStatusBadChannelOfInterest;
            else if (alignFails) expected = zylStatusStepNotAligned;
            else if (coiFails) expected = zylStatusBadChannelOfInterest;
            cases.push_back({what.empty() ? "no fault" : what,
                             [=, &mean, &dev] {
                                 mean = dev = sentinel;
                                 return Api<T>::call(f, s, ss, m, ms, roi, coi, pm, pd);
                             },
                             expected});
        }
        zt::expect_statuses(cases, [&] {
            return zt::bits_of(mean) == zt::bits_of(sentinel) &&
                   zt::bits_of(dev) == zt::bits_of(sentinel);
        });
    }
}

// ---- reference model ---------------------------------------------------------------------

// Random sizes (every block size and tail), padded steps, odd offsets, aligned layouts, mask
// densities from none to all, every coi; floats of mixed magnitudes, sometimes special values.
// The last two seeds are large images whose rows are contiguous (one long row in the packed
// kernels), the first with extreme values: the 32-bit square lanes must be moved into 64-bit
// sums before they overflow, and the 32-bit sums hold 255 or -128 times half a million pixels
// exactly. (Float sums have no such limits: a smaller image does for them.)
TYPED_TEST(Moments, MatchesReference)
{
    using T = TypeParam;
    constexpr int e = int(sizeof(T));
    for (std::uint32_t seed = 1; seed <= 162; ++seed) {
        Rng rng(seed);
        SCOPED_TRACE(zt::seed_note(seed));
        const bool large = seed > 160;
        Layout l1 = zt::random_layout<T>(rng, seed % 4 == 0 ? 150 : 70, 6);
        Layout l3 = l1, lm = zt::random_layout<Zyl8u>(rng, 1, 1);
        l3.padBytes = zt::random_layout<T>(rng, 1, 1).padBytes;
        l3.offset = zt::random_layout<T>(rng, 1, 1).offset;
        lm.width = l1.width, lm.height = l1.height;
        if (seed % 3 == 0) {  // every pointer and step a multiple of 16
            l1.offset = l3.offset = lm.offset = 0;
            l1.padBytes = aligning_pad(l1.width * e, 16 * (seed % 2));
            l3.padBytes = aligning_pad(3 * l1.width * e, 0);
            lm.padBytes = aligning_pad(l1.width, 0);
        }
        if (large) l1 = l3 = lm = {1024, is_float<T> ? 40 : 520, 1};
        l3.channels = 3;
        Image<T> one(l1), three(l3);
        Image<Zyl8u> mask(lm);
        const double special = seed % 2 || large ? 0.0 : 0.005;
        one.fill_random(rng, special);
        three.fill_random(rng, special);
        const T extreme = std::is_same_v<T, Zyl8s> ? T(-128) : T(255);
        if (seed == 161) one.fill(extreme), three.fill(extreme);
        static const double densities[] = {0.0, 0.05, 0.5, 0.95, 1.0};
        fill_mask(mask, rng, large ? 0.9 : densities[seed % 5]);
        for (Form f : kForms) {
            const Image<T> &img = channels(f) == 3 ? three : one;
            check_form(f, img.data(), img.step(), mask.data(), mask.step(), l1.width, l1.height,
                       1 + int(seed % 3));
        }
    }
    // Source and mask flush against inaccessible pages before and after: only the ROI is read.
    for (int w : {1, 15, 16, 17, 31, 32, 33, 48, 49})
        for (zt::Guard g : {zt::Guard::Before, zt::Guard::After})
            for (Form f : kForms) {
                SCOPED_TRACE("width " + std::to_string(w));
                Rng rng(w);
                zt::GuardedImage<T> src(w, 2, channels(f), g);
                zt::GuardedImage<Zyl8u> mask(w, 2, 1, g);
                src.fill_random(rng);
                fill_mask(mask, rng, 0.7);
                check_form(f, src.data(), src.step(), mask.data(), mask.step(), w, 2, 3);
            }
}

// ---- values that follow from arithmetic ---------------------------------------------------

// One call on a small image given element by element (row by row, channels interleaved; one
// value fills the image), with mask bytes (none given: all 1; one given: all that value).
struct Call {
    Form form;
    std::function<ZylStatus(Zyl64f *, Zyl64f *)> run;
};
struct ExactCase {
    std::string what;
    Call call;
    Zyl64f mean, dev;
};

template <class T>
Call run(Form f, int w, int h, std::vector<double> values, std::vector<int> maskBytes = {},
         int coi = 1)
{
    return {f, [=](Zyl64f *mean, Zyl64f *dev) {
                const int C = channels(f), e = int(sizeof(T));
                Image<T> img({w, h, C, 4 * e, e});
                Image<Zyl8u> mask({w, h, 1, 1, 3});
                for (int i = 0; i < w * h * C; ++i)
                    img.row(i / (w * C))[i % (w * C)] = T(values[values.size() == 1 ? 0 : i]);
                for (int i = 0; i < w * h; ++i)
                    mask.row(i / w)[i % w] =
                        Zyl8u(maskBytes.empty() ? 1 : maskBytes[maskBytes.size() == 1 ? 0 : i]);
                return Api<T>::call(f, img.data(), img.step(), mask.data(), mask.step(), {w, h},
                                    coi, mean, dev);
            }};
}

TEST(MomentsValues, ExactResults)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const double p24 = 16777216.0, p60 = std::ldexp(1.0, 60);
    std::vector<ExactCase> cases = {
        // Equal values need not give a zero deviation: var = 1225/49 - 25 = -2^-48 in double.
        {"7x7 8u of 5", run<Zyl8u>(DevC1, 7, 7, {5}), 5.0, 0x1p-24},
        // -6272 * fl(1/49) = -(128 - 2^-46), and var = 2^-39.
        {"7x7 8s of -128", run<Zyl8s>(DevC1, 7, 7, {-128}), -0x1.fffffffffffffp+6,
         1.3486991523486091e-06},
        {"7x7 32f of -128", run<Zyl32f>(DevC1, 7, 7, {-128}), -0x1.fffffffffffffp+6,
         1.3486991523486091e-06},
        {"4x4 8s of -128", run<Zyl8s>(DevC1, 4, 4, {-128}), -128.0, 0.0},
        // 0, 1, 2, 3 under mask bytes 1, 128, 255, 7: mean 6/4, variance 14/4 - 2.25.
        {"2x2 8u", run<Zyl8u>(DevC1M, 2, 2, {0, 1, 2, 3}, {1, 128, 255, 7}), 1.5, std::sqrt(1.25)},
        // Channel 3 of (10,20,30), (11,21,31): mean 30.5, variance 1861/2 - 930.25.
        {"8u channel 3", run<Zyl8u>(DevC3C, 2, 1, {10, 20, 30, 11, 21, 31}, {}, 3), 30.5, 0.5},
        // NaN and infinity under a zero mask byte are never read.
        {"NaN unselected, mean", run<Zyl32f>(MeanC1M, 3, 1, {1, nan, 2}, {1, 0, 1}), 1.5, 0.0},
        {"inf unselected, deviation", run<Zyl32f>(DevC1M, 3, 1, {1, inf, 2}, {1, 0, 1}), 1.5, 0.5},
        {"NaN selected", run<Zyl32f>(DevC1M, 3, 1, {1, nan, 2}, {1, 1, 1}), nan, nan},
        // The masked float mean sums in single precision: 2^24 + 1 rounds back to 2^24 in P0
        // (columns 0, 4 and the tail column 8), where a double sum would keep both ones.
        {"single-precision partial sum", run<Zyl32f>(MeanC1M, 9, 1, {p24, 0, 0, 0, 1, 0, 0, 0, 1}),
         p24 / 9, 0.0},
        // Column 0 goes to P0, column 1 to P1, the rest is zero: total 1 + 2^24 in double.
        {"partial sums meet in double", run<Zyl32f>(MeanC1M, 8, 1, {1, p24, 0, 0, 0, 1, 0, 0}),
         (p24 + 1) / 8, 0.0},
        // (P0 + P2) + (P1 + P3) = (2^60 + 1) + (-2^60 + 1) = 0 in double; another grouping gives 2.
        {"grouping of the total", run<Zyl32f>(MeanC1M, 8, 1, {p60, -p60, 1, 1, 0, 0, 0, 0}), 0.0,
         0.0},
        // The same values summed in double in raster order: 2^60 - 2^60 + 1 + 1 = 2; the squares
        // 2^120 + 2^120 + 1 + 1 = 2^121, so the variance 2^118 - 1/16 = 2^118.
        {"raster order in double", run<Zyl32f>(DevC1M, 8, 1, {p60, -p60, 1, 1, 0, 0, 0, 0}, {5}),
         0.25, 0x1p59},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Zyl64f mean = -1.0, dev = -1.0;
        ASSERT_EQ(c.call.run(&mean, &dev), zylStatusOk);
        EXPECT_TRUE(zt::same_bits_or_nan(mean, c.mean)) << "mean";
        if (has_dev(c.call.form)) EXPECT_TRUE(zt::same_bits_or_nan(dev, c.dev)) << "deviation";
    }
}

// ---- twins -------------------------------------------------------------------------------

// The bits of a kernel's three sums (a NaN sum as one value: which NaN survives is left open).
template <class S> void append_sums(std::vector<std::uint64_t> &out, const S &s)
{
    auto b = [](auto v) {
        if constexpr (std::is_floating_point_v<decltype(v)>) return v != v ? ~0ull : zt::bits_of(v);
        else return std::uint64_t(v);
    };
    out.insert(out.end(), {b(s.sum), b(s.sumSq), b(s.count)});
}

// Every kernel of every twin on the same data: every width up to 70 (each tail of the 64-pixel
// steps) and longer rows, aligned and unaligned pointers and steps, contiguous rows, every
// channel.
TYPED_TEST(Moments, TwinsAgree)
{
    using T = TypeParam;
    constexpr int e = int(sizeof(T));
    std::uint32_t seed = 700;
    for (int w = 1; w <= 260; w += w < 70 ? 1 : 63)
        for (int layout = 0; layout < 4; ++layout) {
            Rng rng(++seed);
            SCOPED_TRACE(zt::seed_note(seed) + ", width " + std::to_string(w) + ", layout " +
                         std::to_string(layout));
            const int h = 3;
            // 0: contiguous, 1: steps multiple of 32 and pointers of 16 or 32, 2: odd offsets,
            // 3: aligned source and an odd mask.
            const int pad1 = layout == 0 ? 0 : layout == 2 ? 3 * e : aligning_pad(w * e, 0);
            const int pad3 = layout == 0 ? 0 : layout == 2 ? e : aligning_pad(3 * w * e, 0);
            const int padM = layout == 0 ? 0 : layout == 1 ? aligning_pad(w, 0) : 5;
            const int off = layout == 2 ? e % 16 : layout == 1 ? 16 * (w % 2) : 0;
            const int offM = layout >= 2 ? 7 : off;
            Image<T> one({w, h, 1, pad1, off}), three({w, h, 3, pad3, off});
            Image<Zyl8u> mask({w, h, 1, padM, offM});
            one.fill_random(rng, 0.01);
            three.fill_random(rng, 0.01);
            fill_mask(mask, rng, 0.6);
            const T *s1 = one.data(), *s3 = three.data();
            const int st1 = one.step(), st3 = three.step(), ms = mask.step();
            const Zyl8u *m = mask.data();
            zt::expect_twins_agree([&](zt::Twin t) {
                std::vector<std::uint64_t> r;
                append_sums(r, ZT_ENTRY(t, sums<T, 1>)(s1, st1, w, h, 0));
                append_sums(r, ZT_ENTRY(t, sums_masked<T, 1, true>)(s1, st1, m, ms, w, h, 0));
                append_sums(r, ZT_ENTRY(t, sums_masked<T, 1, false>)(s1, st1, m, ms, w, h, 0));
                for (int ch = 0; ch < 3; ++ch) {
                    append_sums(r, ZT_ENTRY(t, sums<T, 3>)(s3, st3, w, h, ch));
                    append_sums(r, ZT_ENTRY(t, sums_masked<T, 3, true>)(s3, st3, m, ms, w, h, ch));
                    append_sums(r, ZT_ENTRY(t, sums_masked<T, 3, false>)(s3, st3, m, ms, w, h, ch));
                }
                if constexpr (is_float<T>)
                    append_sums(r, ZT_ENTRY(t, partial_sums_masked)(s1, st1, m, ms, w, h));
                return r;
            });
        }
}

}  // namespace
