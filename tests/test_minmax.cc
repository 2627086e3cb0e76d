// Minimum and maximum with locations: validation order, a scalar reference model over all twelve
// members, first occurrences across blocks, masks that empty blocks, float order, twins and
// guard pages.
#include <algorithm>
#include <bit>
#include <cmath>
#include <tuple>

#include "minmax/minmax.h"
#include "support.h"

using zt::Image;
using zt::Layout;
using zt::Rng;
using zylcv::minmax::MinMaxLoc;

namespace {

// What one call reports.
struct Result {
    Zyl32f minVal = 0, maxVal = 0;
    ZyliPoint minLoc{0, 0}, maxLoc{0, 0};
};

// Bit-exact equality of every field; the message shows values, bits and locations.
::testing::AssertionResult same(const Result &a, const Result &e)
{
    auto show = [](const Result &r) {
        return ::testing::PrintToString(std::tuple(r.minVal, zt::bits_of(r.minVal), r.minLoc.x,
                                                   r.minLoc.y, r.maxVal, zt::bits_of(r.maxVal),
                                                   r.maxLoc.x, r.maxLoc.y));
    };
    if (show(a) == show(e)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "got (min, bits, x, y, max, bits, x, y) " << show(a) << "\n expected " << show(e);
}

// ---- the twelve members behind one call ------------------------------------------------------

#define ZT_MINMAX_API(T, tag)                                                                      \
    ZylStatus api(const T *s, int ss, const Zyl8u *m, int ms, ZyliSize r, int nch, bool masked,    \
                  int coi, Zyl32f *lo, Zyl32f *hi, ZyliPoint *loAt, ZyliPoint *hiAt)               \
    {                                                                                              \
        if (nch == 1)                                                                              \
            return masked ? zyliMinMaxIndx_##tag##_C1MR(s, ss, m, ms, r, lo, hi, loAt, hiAt)       \
                          : zyliMinMaxIndx_##tag##_C1R(s, ss, r, lo, hi, loAt, hiAt);              \
        return masked ? zyliMinMaxIndx_##tag##_C3CMR(s, ss, m, ms, r, coi, lo, hi, loAt, hiAt)     \
                      : zyliMinMaxIndx_##tag##_C3CR(s, ss, r, coi, lo, hi, loAt, hiAt);            \
    }
ZT_MINMAX_API(Zyl8u, 8u)
ZT_MINMAX_API(Zyl8s, 8s)
ZT_MINMAX_API(Zyl32f, 32f)

// The four layouts of a member: channels and mask.
struct Form {
    int nch;
    bool masked;
};
constexpr Form kForms[] = {{1, false}, {3, false}, {1, true}, {3, true}};
std::string form_note(Form f, int coi)
{
    return std::string(f.nch == 1 ? "C1" : "C3C") + (f.masked ? "MR" : "R") + " coi " +
           std::to_string(coi);
}

template <class T> Result call(const Image<T> &src, const Image<Zyl8u> *mask, int coi)
{
    Result r;
    ZylStatus st = api(src.data(), src.step(), mask ? mask->data() : nullptr,
                       mask ? mask->step() : 0, src.size(), src.channels(), mask != nullptr, coi,
                       &r.minVal, &r.maxVal, &r.minLoc, &r.maxLoc);
    EXPECT_EQ(st, zylStatusOk);
    return r;
}

// ---- reference model ------------------------------------------------------------------------

// Order of values: integers by value; floats by sign and magnitude bits, where a set sign bit
// reverses the magnitude order and ranks below every clear one (so -0.0 < +0.0, NaNs outside
// the infinities on the side of their sign).
std::int64_t ref_key(Zyl8u v) { return v; }
std::int64_t ref_key(Zyl8s v) { return v; }
std::int64_t ref_key(Zyl32f v)
{
    std::uint32_t b = zt::bits_of(v);
    std::int64_t mag = b & 0x7FFFFFFFu;
    return (b >> 31) ? -mag - 1 : mag;
}

// Visits the selected pixels in raster order; the first holding each extreme wins.
template <class T> Result reference(const Image<T> &src, const Image<Zyl8u> *mask, int coi)
{
    Result r;
    bool found = false;
    std::int64_t lo = 0, hi = 0;
    for (int y = 0; y < src.height(); ++y)
        for (int x = 0; x < src.width(); ++x) {
            if (mask && mask->at(x, y) == 0) continue;
            T v = src.at(x, y, src.channels() == 3 ? coi - 1 : 0);
            std::int64_t k = ref_key(v);
            if (!found || k < lo) lo = k, r.minVal = Zyl32f(v), r.minLoc = {x, y};
            if (!found || k > hi) hi = k, r.maxVal = Zyl32f(v), r.maxLoc = {x, y};
            found = true;
        }
    return r;
}

// ---- data -------------------------------------------------------------------------------------

// The ends of the type's range: the infinities for floats.
template <class T> T range_end(bool high)
{
    if constexpr (std::is_same_v<T, Zyl32f>) return high ? HUGE_VALF : -HUGE_VALF;
    else return high ? std::numeric_limits<T>::max() : std::numeric_limits<T>::min();
}

// Values from a handful of distinct ones, the range's ends among them (many ties, so first
// occurrences matter) or from the whole range; floats with a high share of special values now
// and then.
template <class T> T draw(Rng &rng, int mode, const T *pool)
{
    if (mode == 0) return pool[rng.uniform(0, 3)];
    if constexpr (std::is_same_v<T, Zyl32f>) return zt::random_float(rng, mode == 2 ? 0.5 : 0.05);
    else return zt::random_value<T>(rng);
}
// Mode 3 is a random walk in raster order: new extremes keep turning up late in the image,
// each often repeated nearby.
template <class T> void fill(Image<T> &img, Rng &rng, int mode)
{
    T pool[4] = {zt::random_value<T>(rng), zt::random_value<T>(rng), range_end<T>(false),
                 range_end<T>(true)};
    int walk = rng.uniform(-20, 20);
    for (int y = 0; y < img.height(); ++y)
        for (int i = 0; i < img.width() * img.channels(); ++i) {
            walk = std::clamp(walk + rng.uniform(-2, 2), -128, 127);
            img.row(y)[i] =
                mode == 3 ? T(walk + (std::is_same_v<T, Zyl8u> ? 128 : 0)) : draw(rng, mode, pool);
        }
    img.snapshot();
}

// Mask bytes: any non-zero value selects. Patterns: all set, dense, sparse, none, and runs of
// whole empty 8- and 32-pixel blocks.
void fill_mask(Image<Zyl8u> &m, Rng &rng, int pattern)
{
    const double share[] = {1.0, 0.6, 0.04, 0.0};
    if (pattern < 4) return zt::fill_mask(m, rng, share[pattern]);
    for (int y = 0; y < m.height(); ++y)
        for (int x = 0; x < m.width(); ++x)
            m.at(x, y) = ((x / 8) % 3 == 1 || (x / 32) % 2 == 0) && rng.chance(0.5)
                             ? Zyl8u(rng.uniform(1, 255))
                             : 0;
    m.snapshot();
}

template <class T> class MinMaxIndx : public ::testing::Test {
};
using Types = ::testing::Types<Zyl8u, Zyl8s, Zyl32f>;
TYPED_TEST_SUITE(MinMaxIndx, Types);

// ---- validation -------------------------------------------------------------------------------

TYPED_TEST(MinMaxIndx, ValidationOrderAndNoWrites)
{
    using T = TypeParam;
    constexpr int E = sizeof(T);
    for (Form f : kForms) {
        SCOPED_TRACE(form_note(f, 2));
        Image<T> src({8, 4, f.nch, 8});
        Image<Zyl8u> mask({8, 4, 1, 3});
        Rng rng(3);
        src.fill_random(rng);
        fill_mask(mask, rng, 1);
        const int rowBytes = 8 * f.nch * E, s = src.step(), ms = mask.step();
        const T *p = src.data();
        const Zyl8u *m = mask.data();
        Result out;
        static const Result sentinel{123.5f, -9.25f, {-7, 7}, {77, -77}};
        auto mk = [&](const T *ps, int ss, const Zyl8u *pm, int mss, ZyliSize r, int coi) {
            return [=, &out] {
                out = sentinel;
                return api(ps, ss, pm, mss, r, f.nch, f.masked, coi, &out.minVal, &out.maxVal,
                           &out.minLoc, &out.maxLoc);
            };
        };
        const ZyliSize ok{8, 4};
        constexpr ZylStatus Null = zylStatusNullPtr, Size = zylStatusBadSize,
                            Step = zylStatusBadStep;
        const ZylStatus badCoi = f.nch == 3 ? zylStatusBadChannelOfInterest : zylStatusOk;
        std::vector<zt::StatusCase> cases = {
            {"null src beats size, step and coi", mk(nullptr, -1, m, -1, {-1, -1}, 0), Null},
            {"negative width beats step and coi", mk(p, -1, m, -1, {-1, 4}, 0), Size},
            {"negative height", mk(p, s, m, ms, {8, -3}, 2), Size},
            {"src step one byte short beats coi", mk(p, rowBytes - 1, m, ms, ok, 0), Step},
            {"src step one element short", mk(p, rowBytes - E, m, ms, ok, 2), Step},
            {"negative step with zero width", mk(p, -4, m, ms, {0, 4}, 2), Step},
            {"coi 0", mk(p, s, m, ms, ok, 0), badCoi},
            {"coi 4", mk(p, s, m, ms, ok, 4), badCoi},
            {"coi -1", mk(p, s, m, ms, ok, -1), badCoi},
            {"tight steps", mk(p, rowBytes, m, 8, {8, 1}, 3), zylStatusOk},
            {"step not whole elements", mk(p, rowBytes + 2, m, ms, ok, 1),
             E == 4 ? Step : zylStatusOk},
        };
        const std::vector<zt::StatusCase> maskCases = {
            {"null mask beats size", mk(p, s, nullptr, ms, {-1, 4}, 0), Null},
            {"mask step one short beats coi", mk(p, s, m, 7, ok, 0), Step},
            {"mask step short with valid src step", mk(p, s, m, 0, {1, 1}, 1), Step}};
        if (f.masked) cases.insert(cases.end(), maskCases.begin(), maskCases.end());
        zt::expect_statuses(cases, [&] { return same(out, sentinel); });
    }
}

// No selected pixel (empty region, zero mask) reports 0.0 at (0, 0) through every non-null
// pointer; null pointers are skipped.
TYPED_TEST(MinMaxIndx, EmptySelectionAndOptionalResults)
{
    using T = TypeParam;
    for (Form f : kForms) {
        SCOPED_TRACE(form_note(f, 3));
        Image<T> src({9, 3, f.nch});
        Image<Zyl8u> mask({9, 3});
        Rng rng(11);
        src.fill_random(rng);
        fill_mask(mask, rng, 3);
        const Result zero;
        for (ZyliSize r : {ZyliSize{0, 3}, ZyliSize{9, 0}, ZyliSize{0, 0}}) {
            Result out{5.f, 6.f, {1, 2}, {3, 4}};
            EXPECT_EQ(api(src.data(), src.step(), mask.data(), mask.step(), r, f.nch, f.masked, 3,
                          &out.minVal, &out.maxVal, &out.minLoc, &out.maxLoc),
                      zylStatusOk);
            EXPECT_TRUE(same(out, zero)) << r.width << "x" << r.height;
        }
        if (f.masked) EXPECT_TRUE(same(call(src, &mask, 3), zero));
        // Only the maximum and its location requested.
        fill_mask(mask, rng, 0);
        src.at(4, 1, f.nch == 3 ? 2 : 0) = range_end<T>(true);
        Result e = reference(src, f.masked ? &mask : nullptr, 3), out{5.f, 6.f, {1, 2}, {3, 4}};
        EXPECT_EQ(api(src.data(), src.step(), mask.data(), mask.step(), src.size(), f.nch, f.masked,
                      3, nullptr, &out.maxVal, nullptr, &out.maxLoc),
                  zylStatusOk);
        EXPECT_TRUE(same(out, Result{5.f, e.maxVal, {1, 2}, e.maxLoc}));  // the minimum untouched
    }
}

// ---- reference comparison ---------------------------------------------------------------------

// Random layouts, widths that reach 32- and 8-pixel blocks and single-pixel tails, every coi,
// all mask patterns, tie-heavy and full-range data; padded rows at odd offsets or, in every
// other case, contiguous rows.
TYPED_TEST(MinMaxIndx, MatchesReference)
{
    using T = TypeParam;
    for (std::uint32_t seed = 1; seed <= 160; ++seed) {
        Rng rng(seed);
        SCOPED_TRACE(zt::seed_note(seed));
        const Form f = kForms[seed % 4];
        const int coi = rng.uniform(1, 3);
        SCOPED_TRACE(form_note(f, coi));
        Layout l = zt::random_layout<T>(rng, seed % 5 == 0 ? 700 : 80, 7, f.nch);
        Layout lm = zt::random_layout<Zyl8u>(rng, 1, 1);
        lm.width = l.width, lm.height = l.height;
        if (seed % 2) l.padBytes = lm.padBytes = 0;
        Image<T> src(l);
        Image<Zyl8u> mask(lm);
        fill(src, rng, rng.uniform(0, 3));
        fill_mask(mask, rng, rng.uniform(0, 4));
        const Image<Zyl8u> *pm = f.masked ? &mask : nullptr;
        EXPECT_TRUE(same(call(src, pm, coi), reference(src, pm, coi)));
        EXPECT_TRUE(src.intact_outside_roi());
    }
    // Source and mask flush against inaccessible pages on either side: only the ROI is read.
    for (int w : {1, 9, 33, 47, 77})
        for (zt::Guard g : {zt::Guard::Before, zt::Guard::After})
            for (Form f : kForms)
                for (int coi = 1; coi <= f.nch; ++coi) {
                    SCOPED_TRACE(form_note(f, coi) + " width " + std::to_string(w));
                    Rng rng(w + coi);
                    Image<T> src({w, 3, f.nch});
                    Image<Zyl8u> mask({w, 3});
                    fill(src, rng, 1);
                    fill_mask(mask, rng, 1);
                    zt::GuardedImage<T> gs(w, 3, f.nch, g);
                    zt::GuardedImage<Zyl8u> gm(w, 3, 1, g, 2);
                    gs.copy_from(src);
                    gm.copy_from(mask);
                    Result r;
                    EXPECT_EQ(api(gs.data(), gs.step(), gm.data(), gm.step(), gs.size(), f.nch,
                                  f.masked, coi, &r.minVal, &r.maxVal, &r.minLoc, &r.maxLoc),
                              zylStatusOk);
                    EXPECT_TRUE(same(r, reference(src, f.masked ? &mask : nullptr, coi)));
                }
}

// Per-type values: low < mid < high (for signed bytes the ends of the range).
template <class T> struct Levels {
    T lo, mid, hi;
};
template <class T> constexpr Levels<T> kLevels{7, 100, 200};
template <> constexpr Levels<Zyl8s> kLevels<Zyl8s>{-128, 0, 127};
template <> constexpr Levels<Zyl32f> kLevels<Zyl32f>{-3.5f, 0.25f, 9.0f};

// Several pixels hold the extreme; the first in raster order is reported. Width 77 is two
// 32-pixel blocks, one 8-pixel block and a 5-pixel tail per row.
TYPED_TEST(MinMaxIndx, FirstOccurrenceAcrossBlocks)
{
    using T = TypeParam;
    struct Case {
        const char *what;
        int w, h;
        std::vector<ZyliPoint> at;
        ZyliPoint first;
    };
    const std::vector<Case> cases = {
        {"two 32-blocks of a row", 77, 3, {{40, 0}, {10, 0}}, {10, 0}},
        {"inside one 32-block", 77, 3, {{60, 0}, {33, 0}}, {33, 0}},
        {"32-block boundary", 77, 3, {{32, 2}, {31, 2}}, {31, 2}},
        {"8-block and tail", 77, 3, {{72, 1}, {71, 1}}, {71, 1}},
        {"inside the 8-block", 77, 3, {{70, 0}, {66, 0}}, {66, 0}},
        {"tail before the next row", 77, 3, {{2, 2}, {75, 1}, {73, 1}}, {73, 1}},
        {"last pixel of a row", 77, 3, {{0, 2}, {76, 1}}, {76, 1}},
        {"later rows only", 77, 3, {{5, 2}, {50, 1}}, {50, 1}},
        {"narrow tail-only rows", 5, 4, {{3, 3}, {4, 2}, {1, 3}}, {4, 2}},
        {"row 3 column 5 of width 7", 7, 5, {{5, 3}, {6, 4}}, {5, 3}},
        {"8-blocks of a wide row", 19, 2, {{17, 1}, {9, 1}, {16, 0}}, {16, 0}},
    };
    for (Form f : kForms)
        for (const Case &c : cases)
            for (bool lowest : {true, false})
                for (int pad : {0, 16}) {
                    SCOPED_TRACE(form_note(f, 2) + ", " + c.what + (lowest ? ", min" : ", max") +
                                 (pad ? ", padded" : ", contiguous"));
                    Image<T> src({c.w, c.h, f.nch, pad * int(sizeof(T)), 0});
                    Image<Zyl8u> mask({c.w, c.h, 1, pad, 0});
                    Rng rng(c.w * 7 + c.h);
                    fill_mask(mask, rng, 0);
                    src.fill_random(rng);  // the other channels stay random
                    const int ch = f.nch == 3 ? 1 : 0;
                    for (int y = 0; y < c.h; ++y)
                        for (int x = 0; x < c.w; ++x) src.at(x, y, ch) = kLevels<T>.mid;
                    const T v = lowest ? kLevels<T>.lo : kLevels<T>.hi;
                    for (ZyliPoint p : c.at) src.at(p.x, p.y, ch) = v;
                    // The other extreme is the level everywhere else, first at (0, 0).
                    const Zyl32f mid = kLevels<T>.mid;
                    EXPECT_TRUE(same(call(src, f.masked ? &mask : nullptr, 2),
                                     lowest ? Result{Zyl32f(v), mid, c.first, {0, 0}}
                                            : Result{mid, Zyl32f(v), {0, 0}, c.first}));
                }
}

// Values strictly inside the type's range (the ends are infinities for floats).
template <class T> T inner_value(Rng &rng)
{
    if constexpr (std::is_same_v<T, Zyl32f>) return rng.real(-50.f, 50.f);
    else
        return static_cast<T>(
            rng.uniform(std::numeric_limits<T>::min() + 1, std::numeric_limits<T>::max() - 1));
}
// Unselected pixels never count: whole 32- and 8-pixel blocks without a selected pixel hold the
// range's ends; a lone selected pixel at a range end is both extremes (for bytes, a block whose
// only selected value equals what unselected pixels count as).
TYPED_TEST(MinMaxIndx, MasksEmptyingBlocks)
{
    using T = TypeParam;
    const T lowest = range_end<T>(false), highest = range_end<T>(true);
    for (int nch : {1, 3})
        for (int coi : {1, 2, 3}) {
            if (nch == 1 && coi > 1) continue;
            SCOPED_TRACE(form_note({nch, true}, coi));
            const int ch = nch == 3 ? coi - 1 : 0;
            Rng rng(40 + coi);
            Image<T> src({77, 2, nch, 8});
            Image<Zyl8u> mask({77, 2, 1, 5, 3});
            src.fill_random(rng);
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 77; ++x) {
                    src.at(x, y, ch) = inner_value<T>(rng);
                    mask.at(x, y) = Zyl8u(rng.uniform(1, 255));
                }
            // Range ends in the first 32-block of row 0 and the 8-block of row 1, all masked out.
            for (int x = 0; x < 32; ++x)
                src.at(x, 0, ch) = x % 2 ? lowest : highest, mask.at(x, 0) = 0;
            for (int x = 64; x < 72; ++x)
                src.at(x, 1, ch) = x % 2 ? highest : lowest, mask.at(x, 1) = 0;
            Result e = reference(src, &mask, coi), r = call(src, &mask, coi);
            EXPECT_TRUE(same(r, e));
            EXPECT_NE(r.minVal, Zyl32f(lowest));
            EXPECT_NE(r.maxVal, Zyl32f(highest));
            // One selected pixel: in a 32-block (one channel) or an 8-block, in a row tail.
            for (ZyliPoint at : {ZyliPoint{40, 1}, ZyliPoint{66, 1}, ZyliPoint{74, 0}})
                for (T v : {lowest, highest, inner_value<T>(rng)}) {
                    mask.fill(0);
                    mask.at(at.x, at.y) = 0x80;
                    src.at(at.x, at.y, ch) = v;
                    Result lone{Zyl32f(v), Zyl32f(v), at, at};
                    EXPECT_TRUE(same(call(src, &mask, coi), lone)) << at.x << "," << at.y;
                }
        }
}

// Float order through the keys: -0.0 below +0.0, NaNs outside the infinities on the side of
// their sign, NaNs among themselves by their bits; a selection of one value only is both
// extremes. Each row is the pattern repeated to 21 pixels (8 + 8 + 5), which keeps the first
// occurrences, and runs through every layout.
TEST(MinMaxIndxValues, FloatOrder)
{
    auto f = [](std::uint32_t b) { return std::bit_cast<float>(b); };
    const float inf = std::numeric_limits<float>::infinity(), qnan = f(0x7FC00000u);
    const float nqnan = f(0xFFC00000u), na5 = f(0xFFA5A5A5u), dmin = f(1);
    const float top = f(0x7FFFFFFFu), bottom = f(0xFFFFFFFFu);  // the largest and smallest keys
    struct Case {
        const char *what;
        std::vector<float> row;
        float lo, hi;
        int loAt, hiAt;
    };
    const std::vector<Case> cases = {
        {"zeros", {0.0f, -0.0f}, -0.0f, 0.0f, 1, 0},
        {"a block of +0.0 first", {0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 0, 1, 0, 9},
        {"positive NaN above +inf", {inf, qnan, 1}, 1, qnan, 2, 1},
        {"negative NaN below -inf", {-inf, nqnan, 1}, nqnan, 1, 1, 2},
        {"+inf only", {inf}, inf, inf, 0, 0},
        {"-inf only", {-inf}, -inf, -inf, 0, 0},
        {"NaNs by their bits", {f(0x7F800001u), qnan, na5, f(0xFF800001u)}, na5, qnan, 2, 1},
        {"largest key only", {top}, top, top, 0, 0},
        {"smallest key only", {bottom}, bottom, bottom, 0, 0},
        {"both key ends", {1, bottom, top}, bottom, top, 1, 2},
        {"denormals", {-dmin, dmin, -0.0f}, -dmin, dmin, 0, 1},
    };
    for (const Case &c : cases)
        for (Form fm : kForms)
            for (int coi = 1; coi <= fm.nch; ++coi) {
                SCOPED_TRACE(std::string(c.what) + ", " + form_note(fm, coi));
                Image<Zyl32f> img({21, 1, fm.nch, 4, 4});
                Image<Zyl8u> mask({21, 1});
                Rng rng(coi);
                img.fill_random(rng);
                fill_mask(mask, rng, 0);
                for (int x = 0; x < 21; ++x)
                    img.at(x, 0, fm.nch == 3 ? coi - 1 : 0) = c.row[x % c.row.size()];
                Result e{c.lo, c.hi, {c.loAt, 0}, {c.hiAt, 0}};
                EXPECT_TRUE(same(call(img, fm.masked ? &mask : nullptr, coi), e));
            }
}

// The search of twin t for form f.
template <class T, class... A> MinMaxLoc twin_search(zt::Twin t, Form f, A... args)
{
    if (f.nch == 1)
        return f.masked ? ZT_ENTRY(t, minmaxindx<T, 1, true>)(args...)
                        : ZT_ENTRY(t, minmaxindx<T, 1, false>)(args...);
    return f.masked ? ZT_ENTRY(t, minmaxindx<T, 3, true>)(args...)
                    : ZT_ENTRY(t, minmaxindx<T, 3, false>)(args...);
}

// Every twin agrees with the portable one on every field, row by row and as one long row, on every
// width up to 70 and longer rows, unaligned pointers, every channel and mask pattern.
TYPED_TEST(MinMaxIndx, TwinsAgree)
{
    using T = TypeParam;
    std::uint32_t seed = 900;
    for (int w = 1; w <= 1000; w = w < 70 ? w + 1 : 2 * w - 11)
        for (Form f : kForms)
            for (int ch = 0; ch < f.nch; ++ch)
                for (int off : {0, int(sizeof(T))}) {
                    Rng rng(++seed);
                    SCOPED_TRACE(zt::seed_note(seed));
                    const int pad = rng.chance(0.5) ? 0 : 16;
                    Image<T> src({w, 3, f.nch, pad, off});
                    Image<Zyl8u> mask({w, 3, 1, pad ? 3 : 0, off + 1});
                    fill(src, rng, rng.uniform(0, 3));
                    fill_mask(mask, rng, rng.uniform(0, 4));
                    const Zyl8u *m = f.masked ? mask.data() : nullptr;
                    auto check = [&](long width, int height) {
                        zt::expect_twins_agree([&](zt::Twin t) {
                            const MinMaxLoc r = twin_search<T>(t, f, src.data(), src.step(), m,
                                                               mask.step(), width, height, ch);
                            return std::vector<long>{long(zt::bits_of(r.minVal)),
                                                     long(zt::bits_of(r.maxVal)), r.minAt, r.maxAt,
                                                     width};
                        });
                    };
                    check(w, 3);
                    if (pad == 0) check(3L * w, 1);
                }
}

}  // namespace
