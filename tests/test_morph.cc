// Morphology: constructor checks and block layout, strip validation order, a scalar reference
// model for every element kind, strip sequences against one whole call, twins, guard pages.
#include <algorithm>
#include <bit>
#include <cmath>
#include <memory>

#include "morph/morph.h"
#include "support.h"

using zt::Image;
using zt::Layout;
using zt::Rng;

namespace {

// ---- the exported members behind one lookup ----------------------------------------------

template <class T>
using StripFn = ZylStatus (*)(const T *, Zyl32s, T *, Zyl32s, ZyliSize *, ZyliMorphState *,
                              ZylStripRole);

enum Kind { Rect, Cross, Mask };  // the element kind a member needs

// [dilate][kind: rect, cross, mask][channels: 1, 3, 4]
#define ZT_MORPH_KIND(op, kind, ty)                                                                \
    {                                                                                              \
        zyli##op##Strip_##kind##ty##_C1R, zyli##op##Strip_##kind##ty##_C3R,                        \
            zyli##op##Strip_##kind##ty##_C4R                                                       \
    }
#define ZT_MORPH_OP(op, ty)                                                                        \
    {                                                                                              \
        ZT_MORPH_KIND(op, Rect_, ty), ZT_MORPH_KIND(op, Cross_, ty), ZT_MORPH_KIND(op, , ty)       \
    }
const StripFn<Zyl8u> kMembers8u[2][3][3] = {ZT_MORPH_OP(Erode, 8u), ZT_MORPH_OP(Dilate, 8u)};
const StripFn<Zyl32f> kMembers32f[2][3][3] = {ZT_MORPH_OP(Erode, 32f), ZT_MORPH_OP(Dilate, 32f)};

template <class T> StripFn<T> member(bool dilate, int kind, int channels)
{
    const int c = channels / 2;  // 1, 3, 4 channels: 0, 1, 2
    if constexpr (std::is_same_v<T, Zyl8u>) return kMembers8u[dilate][kind][c];
    else return kMembers32f[dilate][kind][c];
}
constexpr int kShapes[] = {zylMorphShapeRect, zylMorphShapeCross, zylMorphShapeEllipse,
                           zylMorphShapeMask};
template <class T> constexpr ZylDataType kType = std::is_same_v<T, Zyl8u> ? zyl8u : zyl32f;

// ---- structuring elements and the reference model ------------------------------------------

// An element as the tests describe it: rectangle, anchor, constructor shape and member cells.
struct Element {
    int mW, mH, aX, aY, shape;  // shape as given to the constructor (ZylMorphShape)
    std::vector<Zyl32s> cells;  // row-major, nonzero = member
    int kind() const { return shape < 2 ? shape : Mask; }  // zylMorphShapeRect, Cross: 0, 1
    bool member(int i, int j) const { return cells[std::size_t(i) * mW + j] != 0; }
};

// Ellipse cells: for the row pair j and mH-1-j (j < mH/2), the columns rx-h .. rx+h clamped to
// the rectangle, h the nearest integer (ties to even) to sqrt((ry^2 - (ry-j)^2) / ry^2) * rx;
// the middle row of an odd height spans the whole width.
std::vector<Zyl32s> ellipse_cells(int mW, int mH)
{
    std::vector<Zyl32s> c(std::size_t(mW) * mH, 0);
    const int rx = mW / 2, ry = mH / 2;
    for (int j = 0; j < ry; ++j) {
        double t = double(ry * ry - (ry - j) * (ry - j)) / double(ry * ry);
        int h = int(std::nearbyint(std::sqrt(t) * rx));
        for (int x = std::max(rx - h, 0); x <= std::min(rx + h, mW - 1); ++x)
            c[std::size_t(j) * mW + x] = c[std::size_t(mH - 1 - j) * mW + x] = 1;
    }
    if (mH % 2 == 1) std::fill_n(c.begin() + std::ptrdiff_t(ry) * mW, mW, 1);
    return c;
}

Element make_element(int mW, int mH, int aX, int aY, int shape, Rng *rng = nullptr)
{
    Element e{mW, mH, aX, aY, shape, std::vector<Zyl32s>(std::size_t(mW) * mH, 0)};
    for (int i = 0; i < mH; ++i)
        for (int j = 0; j < mW; ++j) {
            Zyl32s &c = e.cells[std::size_t(i) * mW + j];
            if (shape == zylMorphShapeRect) c = 1;
            if (shape == zylMorphShapeCross) c = (i == aY || j == aX);
            if (shape == zylMorphShapeMask) c = rng->chance(0.5) ? Zyl32s(rng->bits32() | 1) : 0;
        }
    if (shape == zylMorphShapeEllipse) e.cells = ellipse_cells(mW, mH);
    return e;
}

// Order keys: bytes as they are; float sign-magnitude bits turned into two's complement order.
// Keys beyond the byte range (the extremes an empty element gives) stand for 0 and 255.
std::int32_t key_of(Zyl8u v) { return v; }
std::int32_t key_of(float v)
{
    std::uint32_t b = zt::bits_of(v);
    return (b >> 31) ? std::int32_t(~(b & 0x7FFFFFFFu)) : std::int32_t(b);
}
template <class T> T of_key(std::int32_t k)
{
    if constexpr (std::is_same_v<T, Zyl8u>) return Zyl8u(std::clamp(k, 0, 255));
    else return std::bit_cast<float>(k < 0 ? (std::uint32_t(~k) | 0x80000000u) : std::uint32_t(k));
}

// The running float comparison of the rectangle and cross: erosion keeps a if a < b else b,
// dilation a if a > b else b, a being the running value.
float keep(float a, float b, bool dilate) { return dilate ? (a > b ? a : b) : (a < b ? a : b); }

// Erosion (minimum) or dilation (maximum) over the member cells with replicated borders.
// 8u and 32f mask: order keys, the empty element giving the extreme keys. 32f rectangle and
// cross: the running comparison, each row's horizontal fold (left to right) folded over the
// rows top to bottom, the cross's column from raw pixels and its bar (anchor row) folded first.
template <class T>
Image<T> reference(const Image<T> &src, const Element &el, bool dilate, const Layout &dl)
{
    Image<T> out(dl);
    const int C = src.channels(), w = src.width(), h = src.height();
    for (int y = 0; y < src.height(); ++y)
        for (int x = 0; x < src.width(); ++x)
            for (int c = 0; c < C; ++c) {
                // Replicated borders.
                auto px = [&](int i, int j) {
                    return src.at(std::clamp(x - el.aX + j, 0, w - 1),
                                  std::clamp(y - el.aY + i, 0, h - 1), c);
                };
                if (std::is_same_v<T, Zyl8u> || el.kind() == Mask) {
                    std::int32_t v = dilate ? INT32_MIN : INT32_MAX;
                    for (int i = 0; i < el.mH; ++i)
                        for (int j = 0; j < el.mW; ++j)
                            if (el.member(i, j)) {
                                std::int32_t k = key_of(px(i, j));
                                v = dilate ? std::max(v, k) : std::min(v, k);
                            }
                    out.at(x, y, c) = of_key<T>(v);
                } else {
                    auto bar = [&](int i) {
                        float r = px(i, 0);
                        for (int j = 1; j < el.mW; ++j) r = keep(r, px(i, j), dilate);
                        return r;
                    };
                    auto row = [&](int i) {
                        return el.kind() == Rect || i == el.aY ? bar(i) : px(i, el.aX);
                    };
                    float v = row(0);
                    for (int i = 1; i < el.mH; ++i) v = keep(v, row(i), dilate);
                    out.at(x, y, c) = T(v);
                }
            }
    return out;
}

// ---- running strips ---------------------------------------------------------------------------

using StateHolder = zt::Held<ZyliMorphState, zyliMorphologyFree>;

template <class T>
ZyliMorphState *make_state(StateHolder &h, int roiWidth, int C, const Element &el)
{
    const Zyl32s *cells = el.shape == zylMorphShapeMask ? el.cells.data() : nullptr;
    const ZyliSize m{el.mW, el.mH};
    const ZylStatus s =
        zyliMorphologyInitAlloc(roiWidth, kType<T>, C, m, {el.aX, el.aY}, el.shape, cells, &h.st);
    EXPECT_EQ(s, zylStatusOk);
    return h.st;
}

// Feeds src in strips of the given heights (first, middle..., last; one height = a whole call)
// and checks each call's row count: a destination row is written once its last source row has
// arrived, the last call writes the rest.
template <class T, class Src>
void run_strips(StripFn<T> fn, Src &src, Image<T> &dst, ZyliMorphState *st, const Element &el,
                const std::vector<int> &cuts)
{
    const int w = src.size().width;
    int received = 0, written = 0;
    for (std::size_t k = 0; k < cuts.size(); ++k) {
        const bool last = k + 1 == cuts.size();
        const ZylStripRole role = cuts.size() == 1 ? zylStripWhole
                                  : k == 0         ? zylStripFirst
                                                   : (last ? zylStripLast : zylStripMiddle);
        ZyliSize sz{w, cuts[k]};
        ZylStatus s =
            fn(src.row(received), src.step(), dst.row(written), dst.step(), &sz, st, role);
        received += cuts[k];
        int expected = last ? src.size().height - written
                            : std::max(0, received - (el.mH - el.aY) + 1) - written;
        ZylStatus expectedStatus = (cuts[k] == 0 && !last) ? zylStatusNoOperation : zylStatusOk;
        ASSERT_EQ(s, expectedStatus) << "strip " << k << " role " << role;
        ASSERT_EQ(sz.height, expected) << "strip " << k << " role " << role;
        written += expected;
    }
}

template <class T> void fill_source(Image<T> &img, Rng &rng)
{
    img.fill_random(rng);
    const int n = img.width() * img.channels();
    if constexpr (std::is_same_v<T, Zyl32f>) {
        // Repeated values and signed zeros make the running comparison's choices visible; in
        // some images every value has one sign, so that zeros are often the extreme a window
        // keeps (non-negative for erosion, non-positive for dilation).
        const int sign = rng.uniform(-1, 1);
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < n; ++x) {
                float &v = img.row(y)[x];
                int r = rng.uniform(0, 9);
                if (r == 0) v = 0.0f;
                if (r == 1) v = -0.0f;
                if (r == 2) v = float(rng.uniform(-2, 2));
                if (sign != 0 && v == v && v != 0.0f && (v < 0) == (sign > 0)) v = -v;
            }
        // NaNs decide which rows may be folded in another grouping: some images have none,
        // some just one.
        const int nans = rng.uniform(0, 2);
        if (nans > 0) {
            for (int y = 0; y < img.height(); ++y)
                for (int x = 0; x < n; ++x)
                    if (std::isnan(img.row(y)[x])) img.row(y)[x] = 1.0f;
            const int y = rng.uniform(0, img.height() - 1), x = rng.uniform(0, n - 1);
            if (nans == 2) img.row(y)[x] = std::numeric_limits<float>::quiet_NaN();
        }
    } else {
        // Narrow value ranges in some images leave ties and flat areas.
        if (rng.chance(0.3))
            for (int y = 0; y < img.height(); ++y)
                for (int x = 0; x < n; ++x) img.row(y)[x] &= 0x3;
    }
    img.snapshot();
}

// Random cut points: first strips shorter than the rows a first output needs, middle strips of
// one row and of zero rows, and empty last strips.
std::vector<int> random_cuts(Rng &rng, int h)
{
    std::vector<int> cuts;
    int left = h;
    while (left > 0) {
        int c = rng.chance(0.4) ? rng.uniform(0, 1) : rng.uniform(1, std::max(1, left));
        c = std::min(c, left);
        if (cuts.empty() && c == 0) c = 1;  // a first strip of height 0 does not start a sequence
        cuts.push_back(c);
        left -= c;
    }
    if (cuts.size() == 1 || rng.chance(0.3)) cuts.push_back(0);  // a last strip that only flushes
    return cuts;
}

// ---- tests -----------------------------------------------------------------------------------

template <class T> class Morph : public ::testing::Test {
};
using Types = ::testing::Types<Zyl8u, Zyl32f>;
TYPED_TEST_SUITE(Morph, Types);

// Every kind, operation and channel count against the reference, as one whole call and as a
// random strip sequence, with padded steps, odd offsets, canaries and an unchanged source. In
// two cases of three the calls read a copy of the source flush against an inaccessible page
// before or after it: only the ROI is read, over many widths, anchors and strip sequences.
TYPED_TEST(Morph, MatchesReferenceWholeAndStrips)
{
    using T = TypeParam;
    constexpr bool f32 = std::is_same_v<T, Zyl32f>;
    // Reps 5 to 9: float rectangles fold rows and columns in other groupings (pairs of rows,
    // batches of rows, doubled column windows) where no NaN takes part. Images of a few values
    // with both zeros make every grouping error visible; some NaNs move their neighbourhoods
    // back to the plain order.
    const int regroupSizes[5][2] = {{3, 3}, {9, 2}, {12, 9}, {5, 11}, {15, 15}};
    // Reps 0 to 4, element size ranges and image size bounds: small elements; one-row elements
    // (no ring rows held between the calls of a sequence); ordinary ones; large ones (up to
    // 13 x 11, more member cells than the packed kernels gather at once) on taller images, so
    // that batches of rows run; one wider and taller than 64 cells on a small one-channel image.
    struct Sizes {
        int mW0, mW1, mH0, mH1, maxW, maxH;
    };
    const Sizes sizes[5] = {{1, 3, 1, 3, 40, 14},
                            {1, 8, 1, 1, 40, 14},
                            {1, 8, 1, 7, 40, 14},
                            {8, 13, 8, 11, 70, 34},
                            {66, 70, 65, 67, 12, 8}};
    std::uint32_t seed = 100;
    for (int shape : kShapes)
        for (int C : {1, 3, 4})
            for (int rep = 0; rep < 10; ++rep) {
                if (rep == 4 && (C != 1 || shape == zylMorphShapeEllipse)) continue;
                const bool regroup = rep >= 5;
                if (regroup && (!f32 || shape != zylMorphShapeRect || C == 4)) continue;
                Rng rng(++seed);
                SCOPED_TRACE(zt::seed_note(seed));
                const Sizes z = sizes[regroup ? 0 : rep];
                int mW = rng.uniform(z.mW0, z.mW1), mH = rng.uniform(z.mH0, z.mH1);
                if (regroup) mW = regroupSizes[rep - 5][0], mH = regroupSizes[rep - 5][1];
                const int aX = rng.uniform(0, mW - 1), aY = rng.uniform(0, mH - 1);
                const Element el = make_element(mW, mH, aX, aY, shape, &rng);
                Layout l = regroup ? Layout{67, 40, C, 0, 4}
                                   : zt::random_layout<T>(rng, z.maxW, z.maxH, C);
                Image<T> src(l);
                fill_source(src, rng);
                if constexpr (f32) {
                    // Mostly 2, some 1, few zeros, all of one sign (negative: the zeros are the
                    // maxima); NaNs in every other case.
                    const float values[] = {0.0f, -0.0f, 1.0f, 1.0f, 2.0f,
                                            2.0f, 2.0f,  2.0f, 2.0f, 2.0f};
                    const int k = rep - 5, c3 = C == 3;
                    const float sign = (k + c3) % 2 ? -1.0f : 1.0f;
                    for (int y = 0; regroup && y < 40; ++y)
                        for (int x = 0; x < 67 * C; ++x)
                            src.row(y)[x] = sign * values[rng.uniform(0, 9)];
                    for (int n = 0; regroup && n < 10 * ((k / 2 + c3) % 2); ++n)
                        src.row(rng.uniform(0, 39))[rng.uniform(0, 67 * C - 1)] =
                            std::numeric_limits<float>::quiet_NaN();
                    src.snapshot();
                }
                const auto srcBefore = src.roi_bytes();
                std::unique_ptr<zt::GuardedImage<T>> guarded;
                if (seed % 3) {
                    const zt::Guard g = seed % 3 == 1 ? zt::Guard::Before : zt::Guard::After;
                    guarded = std::make_unique<zt::GuardedImage<T>>(l.width, l.height, C, g);
                    guarded->copy_from(src);
                }
                for (bool dilate : {false, true}) {
                    SCOPED_TRACE(testing::Message()
                                 << "shape " << shape << " C " << C << " mask " << mW << "x" << mH
                                 << " anchor " << aX << "," << aY << " size " << l.width << "x"
                                 << l.height << " dilate " << dilate);
                    Layout dl = zt::random_layout<T>(rng, 1, 1, C);
                    dl.width = l.width, dl.height = l.height;
                    const Image<T> want = reference(src, el, dilate, dl);
                    StateHolder h;
                    // The state may be wider than the ROI.
                    ZyliMorphState *st = make_state<T>(h, l.width + rng.uniform(0, 5), C, el);
                    ASSERT_NE(st, nullptr);
                    auto fn = member<T>(dilate, el.kind(), C);
                    // One whole call, then two strip sequences, each into a fresh image.
                    for (int cutRep = 0; cutRep < 3; ++cutRep) {
                        const auto cuts =
                            cutRep == 0 ? std::vector<int>{l.height} : random_cuts(rng, l.height);
                        Image<T> strips(dl);
                        if (guarded) run_strips(fn, *guarded, strips, st, el, cuts);
                        else run_strips(fn, src, strips, st, el, cuts);
                        EXPECT_TRUE(zt::same_bytes(strips.roi_bytes(), want.roi_bytes()))
                            << "cuts " << ::testing::PrintToString(cuts);
                        EXPECT_TRUE(strips.intact_outside_roi());
                    }
                    EXPECT_TRUE(zt::same_bytes(guarded ? guarded->roi_bytes() : src.roi_bytes(),
                                               srcBefore));
                    EXPECT_TRUE(src.intact_outside_roi());
                }
            }
}

// Values that follow from the definitions alone, on one row: an element without members (an
// all-zero caller mask) gives the order's extreme; over {+0, -0, NaN, 1} a mask erodes by order
// keys (-0 below +0, the positive NaN on top) and a rectangle by the running comparison (nothing
// is < NaN, and 0 < -0 is false); a 1x1 rectangle copies every bit.
TEST(MorphValues, EdgeValues)
{
    struct Case {
        const char *what;
        ZylDataType type;
        int shape;
        ZyliSize m;
        ZyliPoint a;
        bool members, dilate;
        std::vector<float> src;
        std::vector<std::uint32_t> want;  // the byte for 8u, the bits for 32f
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> ramp = {1, 2, 3, 4, 5}, mixed = {0.0f, -0.0f, nan, 1.0f};
    const std::uint32_t neg0 = 0x80000000u, one = 0x3F800000u, qnan = 0x7FC00000u;
    const std::vector<std::uint32_t> highest(5, 0x7FFFFFFFu), lowest(5, 0xFFFFFFFFu);  // order keys
    const int M = zylMorphShapeMask, R = zylMorphShapeRect;
    const std::vector<std::uint32_t> b255(5, 255), b0(5, 0);
    const std::vector<Case> cases = {
        {"empty 8u erosion", zyl8u, M, {2, 3}, {0, 0}, false, false, ramp, b255},
        {"empty 8u dilation", zyl8u, M, {2, 3}, {0, 0}, false, true, ramp, b0},
        {"empty 32f erosion", zyl32f, M, {2, 3}, {0, 0}, false, false, ramp, highest},
        {"empty 32f dilation", zyl32f, M, {2, 3}, {0, 0}, false, true, ramp, lowest},
        {"3x1 rectangle", zyl32f, R, {3, 1}, {1, 0}, true, false, mixed, {neg0, qnan, one, one}},
        {"3x1 mask", zyl32f, M, {3, 1}, {1, 0}, true, false, mixed, {neg0, neg0, neg0, one}},
        {"1x1 rectangle", zyl32f, R, {1, 1}, {0, 0}, true, true, mixed, {0, neg0, qnan, one}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const int w = int(c.src.size());
        const std::vector<Zyl32s> cells(std::size_t(c.m.width) * c.m.height, c.members);
        StateHolder h;
        ASSERT_EQ(zyliMorphologyInitAlloc(w, c.type, 1, c.m, c.a, c.shape, cells.data(), &h.st),
                  zylStatusOk);
        auto run = [&]<class T>() {
            std::vector<T> src(c.src.begin(), c.src.end()), dst(src.size());
            const int step = w * int(sizeof(T));
            ZyliSize sz{w, 1};
            const auto fn = member<T>(c.dilate, c.shape == R ? Rect : Mask, 1);
            ASSERT_EQ(fn(src.data(), step, dst.data(), step, &sz, h.st, zylStripWhole),
                      zylStatusOk);
            for (int x = 0; x < w; ++x) EXPECT_EQ(zt::bits_of(dst[x]), c.want[x]) << "x " << x;
        };
        if (c.type == zyl8u) run.template operator()<Zyl8u>();
        else run.template operator()<Zyl32f>();
    }
}

// The constructor's checks in order; a refused call leaves *ppState as it was; a block too
// large to allocate gives zylStatusNoMemory with *ppState nulled; Free twice is harmless.
TEST(MorphState, ConstructorValidation)
{
    const Zyl32s cells[9] = {1, 0, 1, 0, 1, 0, 1, 0, 1};
    ZyliMorphState *const sentinel = reinterpret_cast<ZyliMorphState *>(std::uintptr_t(0x40));
    ZyliMorphState *st = sentinel;
    auto init = [&](int w, int type, int C, ZyliSize m, ZyliPoint a, int shape,
                    const Zyl32s *mask = nullptr) {
        return [=, &st] {
            return zyliMorphologyInitAlloc(w, ZylDataType(type), C, m, a, shape, mask, &st);
        };
    };
    const ZyliSize m3{3, 3};
    const int R = zylMorphShapeRect, M = zylMorphShapeMask;
    std::vector<zt::StatusCase> cases = {
        {"null ppState first",
         [] {
             return zyliMorphologyInitAlloc(0, zyl8s, 2, {}, {-1, -1}, 3, nullptr, nullptr);
         },
         zylStatusNullPtr},
        {"zero roi width", init(0, zyl8s, 2, m3, {-1, 0}, 3), zylStatusBadSize},
        {"zero mask width", init(8, zyl8s, 2, {0, 3}, {0, 0}, R), zylStatusBadSize},
        {"negative mask height", init(8, zyl8u, 1, {3, -1}, {0, 0}, R), zylStatusBadSize},
        {"8s before channels", init(8, zyl8s, 2, m3, {-1, 0}, 3), zylStatusUnsupported},
        {"type 0", init(8, 0, 1, m3, {0, 0}, R), zylStatusUnsupported},
        {"two channels before anchor", init(8, zyl8u, 2, m3, {-1, 0}, 3), zylStatusUnsupported},
        {"five channels", init(8, zyl32f, 5, m3, {0, 0}, R), zylStatusUnsupported},
        {"anchor x = width", init(8, zyl8u, 1, m3, {3, 0}, 3), zylStatusOutOfRange},
        {"anchor x = -1", init(8, zyl8u, 1, m3, {-1, 0}, R), zylStatusOutOfRange},
        {"anchor y = height", init(8, zyl32f, 3, m3, {0, 3}, R), zylStatusOutOfRange},
        {"anchor y = -1", init(8, zyl32f, 3, m3, {0, -1}, M), zylStatusOutOfRange},
        {"shape 3", init(8, zyl8u, 1, m3, {0, 0}, 3), zylStatusOutOfRange},
        {"shape -1", init(8, zyl8u, 4, m3, {0, 0}, -1, cells), zylStatusOutOfRange},
        {"mask shape without mask", init(8, zyl8u, 4, m3, {0, 0}, M), zylStatusNullPtr},
    };
    zt::expect_statuses(cases, [&] { return st == sentinel; });

    // Accepted: corner anchors, rectangle and cross without a mask pointer; Free nulls the
    // pointer and is harmless twice.
    for (ZyliPoint a : {ZyliPoint{0, 0}, ZyliPoint{2, 2}}) {
        st = nullptr;
        EXPECT_EQ(init(8, zyl8u, 1, m3, a, a.x ? zylMorphShapeCross : R)(), zylStatusOk);
        EXPECT_NE(st, nullptr);
        EXPECT_EQ(zyliMorphologyFree(&st), zylStatusOk);
        EXPECT_EQ(st, nullptr);
        EXPECT_EQ(zyliMorphologyFree(&st), zylStatusOk);
    }
    // Too large for any allocation: nulled before the attempt.
    for (int w : {0x7FFFFFFF, 0x7FFFFFF0 / 8}) {
        st = sentinel;
        EXPECT_EQ(init(w, zyl32f, 4, m3, {1, 1}, R)(), zylStatusNoMemory);
        EXPECT_EQ(st, nullptr);
    }
    EXPECT_EQ(zyliMorphologyFree(nullptr), zylStatusNullPtr);
}

// The published header, field by field in its order (pointers native).
struct PublishedHeader {
    Zyl32s maskWidth, maskHeight, anchorX, anchorY, shape;
    Zyl8u *pMaskInv, *pMask;
    Zyl32s roiWidth, dataType, nChannels;
    Zyl8u *pRows;
    Zyl32s rowStride, rowsHeld;
    Zyl8u **pRowTable;
    Zyl8u *pScratch;
};

// What a user can see of the state: the header fields, the block layout (the first ring row
// past a left border of anchorX pixels and aligned, ring and scratch rows of the published stride,
// then the mask area for mask elements, then the row table) and the mask bytes (8 per cell for
// 8u, one per cell for 32f, and their complements).
TEST(MorphState, HeaderAndMask)
{
    struct Format {
        ZylDataType type;
        int elementSize, alignUnit, extraRows;
    };
    Rng rng(77);
    for (Format f : {Format{zyl8u, 1, 8, 1}, Format{zyl32f, 4, 32, 2}})
        for (int shape : kShapes)
            for (int C : {1, 3, 4}) {
                const int mW = rng.uniform(1, 9), mH = rng.uniform(1, 9);
                const int aX = rng.uniform(0, mW - 1), aY = rng.uniform(0, mH - 1),
                          w = rng.uniform(1, 100);
                SCOPED_TRACE(testing::Message()
                             << f.type << " " << shape << " " << C << " " << mW << "x" << mH);
                const Element el = make_element(mW, mH, aX, aY, shape, &rng);
                StateHolder h;
                ASSERT_EQ(zyliMorphologyInitAlloc(w, f.type, C, {mW, mH}, {aX, aY}, shape,
                                                  el.cells.data(), &h.st),
                          zylStatusOk);
                const auto *p = reinterpret_cast<const PublishedHeader *>(h.st);
                const auto *base = reinterpret_cast<const Zyl8u *>(h.st);
                EXPECT_EQ(reinterpret_cast<std::uintptr_t>(h.st) % 32, 0u);
                const Zyl32s want[] = {
                    mW, mH,     aX, aY, shape == zylMorphShapeEllipse ? zylMorphShapeMask : shape,
                    w,  f.type, C,  0};
                const Zyl32s got[] = {p->maskWidth, p->maskHeight, p->anchorX,
                                      p->anchorY,   p->shape,      p->roiWidth,
                                      p->dataType,  p->nChannels,  p->rowsHeld};
                EXPECT_TRUE(std::equal(std::begin(got), std::end(got), std::begin(want)));
                const int ps = f.elementSize * C, unit = f.alignUnit, area = mW * mH;
                const bool masked = el.kind() == Mask;
                // 60 + 3 with 32-bit pointers: the header's size plus three.
                const int gapEnd = aX * ps + unit + int(sizeof(PublishedHeader)) + 3;
                EXPECT_EQ(p->pRows - base, gapEnd / unit * unit);
                EXPECT_EQ(p->rowStride, (ps * (w + mW + 17) - 1) / unit * unit);
                EXPECT_EQ(p->pScratch, p->pRows + std::ptrdiff_t(mH) * p->rowStride);
                const Zyl8u *maskArea = p->pScratch + std::ptrdiff_t(f.extraRows) * p->rowStride;
                const Zyl8u *table = reinterpret_cast<const Zyl8u *>(p->pRowTable);
                EXPECT_EQ(table, maskArea + (masked ? 16 * area : 0));
                EXPECT_EQ(p->pMask, masked ? maskArea : table);
                EXPECT_EQ(p->pMaskInv, masked ? maskArea + 8 * area : table);
                if (!masked) continue;
                const int wide = f.type == zyl8u ? 8 : 1;
                for (int c = 0; c < area; ++c)
                    for (int b = 0; b < wide; ++b) {
                        const Zyl8u bit = el.cells[c] ? 0xFF : 0x00;
                        ASSERT_EQ(p->pMask[c * wide + b], bit) << "cell " << c;
                        ASSERT_EQ(p->pMaskInv[c * wide + b], Zyl8u(~bit)) << "cell " << c;
                    }
            }
    // The 5x5 ellipse: rows 0 and 4 hold column 2 only, rows 1 to 3 all five columns; a
    // height-1 ellipse is one full row.
    const std::vector<Zyl32s> want = {0, 0, 1, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1,
                                      1, 1, 1, 1, 1, 1, 1, 0, 0, 1, 0, 0};
    EXPECT_EQ(ellipse_cells(5, 5), want);
    EXPECT_EQ(ellipse_cells(4, 1), std::vector<Zyl32s>(4, 1));
}

// The strip members' checks in order; refusals change neither destination, state nor size;
// zylStatusNoOperation only zeroes the height.
TYPED_TEST(Morph, StripValidation)
{
    using T = TypeParam;
    constexpr bool f32 = std::is_same_v<T, Zyl32f>;
    Rng rng(5);
    Image<T> src({6, 4, 3}), dst({6, 4, 3});
    src.fill_random(rng);
    dst.fill_random(rng);
    StateHolder h, other, other2;
    const Element el = make_element(3, 3, 1, 1, zylMorphShapeRect);
    ZyliMorphState *st = make_state<T>(h, 6, 3, el);
    make_state<T>(other, 6, 3, make_element(3, 3, 1, 1, zylMorphShapeCross));
    make_state<std::conditional_t<f32, Zyl8u, Zyl32f>>(other2, 6, 3, el);
    const int s = src.step(), ds = dst.step(), row = 6 * 3 * int(sizeof(T));
    auto fn = member<T>(false, Rect, 3);
    ZyliSize size{6, 4}, sizeIn{6, 4};
    auto call = [&](const T *ps, int ss, T *pd, int dss, ZyliSize sz, ZyliMorphState *pst, int role,
                    StripFn<T> f = nullptr, bool nullSize = false) {
        if (!f) f = fn;
        return [=, &size, &sizeIn] {
            size = sizeIn = sz;
            return f(ps, ss, pd, dss, nullSize ? nullptr : &size, pst, ZylStripRole(role));
        };
    };
    const T *ps = src.data();
    T *pd = dst.data();
    const ZyliSize ok{6, 4};
    std::vector<zt::StatusCase> cases = {
        {"odd src step before null", call(nullptr, 401, pd, ds, ok, st, zylStripWhole),
         f32 ? zylStatusStepNotAligned : zylStatusNullPtr},
        {"odd dst step", call(ps, s, pd, ds + 2, {0, 4}, st, zylStripWhole),
         f32 ? zylStatusStepNotAligned : zylStatusBadSize},
        {"null src", call(nullptr, s, pd, ds, ok, st, zylStripWhole), zylStatusNullPtr},
        {"null dst", call(ps, s, nullptr, ds, ok, st, zylStripWhole), zylStatusNullPtr},
        {"null state", call(ps, s, pd, ds, ok, nullptr, zylStripWhole), zylStatusNullPtr},
        {"null size", call(ps, s, pd, ds, ok, st, zylStripWhole, fn, true), zylStatusNullPtr},
        {"zero width", call(ps, 0, pd, ds, {0, 4}, other.st, 9), zylStatusBadSize},
        {"wider than the state", call(ps, s, pd, ds, {7, 4}, st, zylStripWhole), zylStatusBadSize},
        {"negative height", call(ps, s, pd, ds, {6, -1}, other.st, zylStripWhole),
         zylStatusBadSize},
        {"cross state", call(ps, 0, pd, ds, ok, other.st, 9), zylStatusContextMismatch},
        {"other type", call(ps, 0, pd, ds, ok, other2.st, 9), zylStatusContextMismatch},
        {"other channels", call(ps, 0, pd, ds, ok, st, 9, member<T>(false, Rect, 4), false),
         zylStatusContextMismatch},
        {"mask member", call(ps, 0, pd, ds, ok, st, 9, member<T>(true, Mask, 3), false),
         zylStatusContextMismatch},
        {"src step short", call(ps, row - 4, pd, ds, ok, st, 9), zylStatusBadStep},
        {"dst step short", call(ps, s, pd, row - 4, ok, st, 9), zylStatusBadStep},
        {"role 3", call(ps, s, pd, ds, ok, st, 3), zylStatusOutOfRange},
        {"role -1", call(ps, s, pd, ds, ok, st, -1), zylStatusOutOfRange},
        {"role 8", call(ps, s, pd, ds, ok, st, 8), zylStatusOutOfRange},
        {"role INT_MIN", call(ps, s, pd, ds, ok, st, std::numeric_limits<int>::min()),
         zylStatusOutOfRange},
    };
    const auto before = dst.roi_bytes();
    const auto stateBefore = std::vector<Zyl8u>(
        reinterpret_cast<Zyl8u *>(st), reinterpret_cast<Zyl8u *>(st) + sizeof(PublishedHeader));
    auto untouched = [&] {
        return dst.roi_bytes() == before && dst.intact_outside_roi() &&
               size.width == sizeIn.width && size.height == sizeIn.height &&
               std::equal(stateBefore.begin(), stateBefore.end(), reinterpret_cast<Zyl8u *>(st));
    };
    zt::expect_statuses(cases, untouched);

    // A sequence of calls on one state: no operation (only the height zeroed, nothing written)
    // for middle or last on an empty ring and zero rows for whole, first and middle; a first
    // strip shorter than the rows an output needs holds its rows; a middle strip of another
    // width is refused; a last strip of no rows flushes the held rows (2 + 0 - anchorY); a
    // whole call leaves maskHeight - 1 rows held, which a last strip then flushes.
    struct Step {
        ZylStripRole role;
        ZyliSize in;
        ZylStatus status;
        int height, held;  // held: rows in the state after the call (-1: not checked)
    };
    const Step steps[] = {
        {zylStripMiddle, {6, 4}, zylStatusNoOperation, 0, -1},
        {zylStripLast, {6, 4}, zylStatusNoOperation, 0, -1},
        {zylStripLast, {6, 0}, zylStatusNoOperation, 0, -1},
        {zylStripWhole, {6, 0}, zylStatusNoOperation, 0, -1},
        {zylStripFirst, {6, 0}, zylStatusNoOperation, 0, -1},
        {zylStripFirst, {6, 1}, zylStatusOk, 0, 2},
        {zylStripMiddle, {6, 0}, zylStatusNoOperation, 0, 2},
        {zylStripMiddle, {5, 1}, zylStatusBadSize, 1, 2},
        {zylStripLast, {6, 0}, zylStatusOk, 1, -1},
        {zylStripWhole, {6, 4}, zylStatusOk, 4, 2},
        {zylStripLast, {6, 0}, zylStatusOk, 1, -1},
    };
    for (const Step &k : steps) {
        SCOPED_TRACE(testing::Message()
                     << "role " << k.role << " " << k.in.width << "x" << k.in.height);
        ZyliSize sz = k.in;
        EXPECT_EQ(fn(ps, s, pd, ds, &sz, st, k.role), k.status);
        EXPECT_EQ(sz.height, k.height);
        if (k.held >= 0) EXPECT_EQ(reinterpret_cast<PublishedHeader *>(st)->rowsHeld, k.held);
        if (k.status == zylStatusNoOperation) EXPECT_EQ(dst.roi_bytes(), before);
    }
}

// Every twin agrees with the portable one bit for bit, each on its own state, over odd widths,
// unaligned rows and strips.
TYPED_TEST(Morph, TwinsAgree)
{
    using T = TypeParam;
    using namespace zylcv::morph;
    std::uint32_t seed = 3000;
    // Every row length left over by blocks of up to 64 bytes, and one long row.
    std::vector<int> widths{1100};
    for (int w = 1; w <= 70; ++w) widths.push_back(w);
    for (int shape : kShapes)
        for (int C : {1, 3, 4})
            for (int w : widths) {
                Rng rng(++seed);
                SCOPED_TRACE(zt::seed_note(seed));
                int mW = rng.uniform(1, w > 40 ? 14 : 9), mH = rng.uniform(1, w > 40 ? 12 : 6);
                // Long rows: mask windows cut the row into tiles, and with some 40 distinct
                // columns on four float channels the tiles would be too short and the
                // cell-by-cell path runs.
                if (w == 1100) mW = C == 4 ? 60 : 14, mH = C == 4 ? 7 : 5;
                const Element el = make_element(mW, mH, rng.uniform(0, mW - 1),
                                                rng.uniform(0, mH - 1), shape, &rng);
                Image<T> src({w, 9, C, int(sizeof(T)) * 3, int(sizeof(T))});
                fill_source(src, rng);
                auto agree = [&]<int K>() {
                    for (bool dilate : {false, true})
                        zt::expect_twins_agree([&](zt::Twin t) {
                            auto kernel = [&](auto &&...a) {
                                return dilate ? ZT_ENTRY(t, morph_strip<K, true, T>)(a...)
                                              : ZT_ENTRY(t, morph_strip<K, false, T>)(a...);
                            };
                            StateHolder h;
                            make_state<T>(h, w, C, el);
                            Image<T> d({w, 9, C, 0, t == zt::Twin::Portable ? 4 : 12});
                            // The state goes by reference: the kernels update its ring.
                            int done = 0;
                            for (auto [y, n] : {std::pair{0, 4}, {4, 5}})
                                done += kernel(src.row(y), src.step(), d.row(done), d.step(), w, n,
                                               *h.st, int(y ? zylStripLast : zylStripFirst));
                            EXPECT_EQ(done, 9);
                            EXPECT_TRUE(d.intact_outside_roi());
                            return d.roi_bytes();
                        });
                };
                if (el.kind() == Rect) agree.template operator()<kRect>();
                else if (el.kind() == Cross) agree.template operator()<kCross>();
                else agree.template operator()<kMask>();
            }
}

}  // namespace
