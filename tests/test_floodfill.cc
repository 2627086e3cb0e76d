// Flood fills by value and by gradient: validation orders, reference models (a breadth-first
// component fill for the value fills, the span procedure followed literally with a std::vector
// stack for the gradient fills), structured images, worst-case stacks in a buffer of exactly
// the queried size against a guard page, twins, images against guard pages.
#include <cmath>
#include <deque>

#include "floodfill/floodfill.h"
#include "support.h"

using zt::Image;
using zt::Layout;
using zt::Rng;

namespace {

constexpr bool k8 = true, k4 = false;

// ---- reference models ---------------------------------------------------------------------

// A plain image for the models: w x h values, row-major.
template <class T> struct Grid {
    int w = 0, h = 0;
    std::vector<T> v;
    T &at(int x, int y) { return v[std::size_t(y) * w + x]; }
    T at(int x, int y) const { return v[std::size_t(y) * w + x]; }
};

struct Outcome {
    bool wroteRegion = false;
    ZyliConnectedRegion region{};
    std::size_t maxDepth = 0;  // deepest the literal span stack gets (seed record included)
};

bool matches(Zyl8u p, Zyl8u s) { return p == s; }
bool matches(Zyl32f p, Zyl32f s) { return std::isnan(p) || p == s; }  // +0 == -0

// Value fill from the definition: the 4/8-connected component of matching pixels, breadth first.
template <class T> Outcome ref_value(Grid<T> &g, int sx, int sy, T nv, bool eight)
{
    Outcome o;
    const T s = g.at(sx, sy);
    if constexpr (std::is_same_v<T, Zyl32f>) {
        if (std::isnan(s) || std::isnan(nv) || s == nv) return o;
    } else if (s == nv) {
        return o;
    }
    std::vector<char> in(g.v.size(), 0);
    std::deque<std::pair<int, int>> q{{sx, sy}};
    in[std::size_t(sy) * g.w + sx] = 1;
    int x0 = sx, x1 = sx, y0 = sy, y1 = sy;
    long area = 0;
    while (!q.empty()) {
        auto [x, y] = q.front();
        q.pop_front();
        ++area;
        x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                if ((dx == 0 && dy == 0) || (!eight && dx != 0 && dy != 0)) continue;
                int nx = x + dx, ny = y + dy;
                if (nx < 0 || ny < 0 || nx >= g.w || ny >= g.h) continue;
                char &seen = in[std::size_t(ny) * g.w + nx];
                if (!seen && matches(g.at(nx, ny), s)) seen = 1, q.push_back({nx, ny});
            }
    }
    for (std::size_t i = 0; i < in.size(); ++i)
        if (in[i]) g.v[i] = nv;
    o.wroteRegion = true;
    o.region = {double(area), double(nv), x0, y0, x1 - x0 + 1, y1 - y0 + 1};
    return o;
}

struct Rec {
    int y, xl, xr, pl, pr, d;
};

// Gradient membership from its definition.
struct Diff8u {
    int low, up;
    bool operator()(Zyl8u c, Zyl8u n) const { return n - low <= c && c <= n + up; }
};
struct Diff32f {
    float low, up;
    bool operator()(float c, float n) const
    {
        volatile float mid = (low - up) * 0.5f, half = (low + up) * 0.5f;
        volatile float s = c + mid;
        volatile float t = s - n;
        return !(std::fabs(float(t)) > half);
    }
};

// Gradient fill: the span procedure step by step, visit mask with its frame, stack in a vector.
// With a membership test that ignores the neighbour and `valueStart` (the value fills' first
// record, which starts upwards except on the last row), the value fills' procedure: used only for
// the depth its stack reaches, to know when a buffer of the queried size must suffice.
template <class T, class Test>
Outcome ref_grad(Grid<T> &img, int sx, int sy, T nv, Test ok, bool eight, bool valueStart = false)
{
    const Grid<T> g = img;  // every test reads the values as they were
    const int w = g.w, h = g.h, mw = w + 2, e = eight;
    std::vector<char> mask(std::size_t(mw) * (h + 2), 0);
    for (int x = 0; x < mw; ++x) mask[x] = mask[std::size_t(h + 1) * mw + x] = 1;
    for (int y = 0; y < h + 2; ++y)
        mask[std::size_t(y) * mw] = mask[std::size_t(y) * mw + w + 1] = 1;
    auto M = [&](int x, int y) -> char & { return mask[std::size_t(y + 1) * mw + x + 1]; };
    Outcome o;
    long area = 0;
    int L = sx, R = sx;
    M(sx, sy) = 1;
    while (!M(R + 1, sy) && ok(g.at(R + 1, sy), g.at(R, sy))) M(++R, sy) = 1;
    while (!M(L - 1, sy) && ok(g.at(L - 1, sy), g.at(L, sy))) M(--L, sy) = 1;
    std::vector<Rec> st;
    if (valueStart) st.push_back({sy, L, R, R + 1, R, sy == h - 1 ? -1 : 1});
    else if (eight) st.push_back({sy, L, R, std::min(R + 2, w), R + 2, 1});
    else st.push_back({sy, L, R, R + 1, R, 1});
    o.maxDepth = 1;
    int x0 = L, x1 = R, y0 = sy, y1 = sy;
    while (!st.empty()) {
        const Rec p = st.back();
        st.pop_back();
        x0 = std::min(x0, p.xl), x1 = std::max(x1, p.xr), y0 = std::min(y0, p.y),
        y1 = std::max(y1, p.y);
        auto ref = [&](int x, T c) {
            for (int k = eight ? x - 1 : x; k <= (eight ? x + 1 : x); ++k)
                if (k >= p.xl && k <= p.xr && ok(c, g.at(k, p.y))) return true;
            return false;
        };
        auto scan = [&](int y, int a, int b, int d) {
            for (int x = a; x <= b;) {
                if (M(x, y) || !ref(x, g.at(x, y))) {
                    ++x;
                    continue;
                }
                M(x, y) = 1;
                int l = x, r = x;
                while (!M(l - 1, y) && ok(g.at(l - 1, y), g.at(l, y))) M(--l, y) = 1;
                while (!M(r + 1, y) &&
                       (ok(g.at(r + 1, y), g.at(r, y)) || ref(r + 1, g.at(r + 1, y))))
                    M(++r, y) = 1;
                st.push_back({y, l, r, p.xl, p.xr, d});
                o.maxDepth = std::max(o.maxDepth, st.size());
                x = r + 2;
            }
        };
        scan(p.y - p.d, p.xl - e, p.xr + e, p.d);
        scan(p.y + p.d, p.xl - e, p.pl - 1, -p.d);
        scan(p.y + p.d, p.pr + 1, p.xr + e, -p.d);
        for (int x = p.xl; x <= p.xr; ++x) img.at(x, p.y) = nv;
        area += p.xr - p.xl + 1;
    }
    o.wroteRegion = true;
    o.region = {double(area), double(nv), x0, y0, x1 - x0 + 1, y1 - y0 + 1};
    return o;
}

// ---- the eight fills behind one call shape -------------------------------------------------

template <class T> using Scalar = std::conditional_t<std::is_same_v<T, Zyl8u>, Zyl32s, Zyl32f>;

template <class T>
ZylStatus call_value(T *p, int step, ZyliSize roi, ZyliPoint seed, Scalar<T> nv, bool eight,
                     ZyliConnectedRegion *reg, Zyl8u *buf)
{
    if constexpr (std::is_same_v<T, Zyl8u>)
        return (eight ? zyliFloodFill_8Con_8u_C1IR : zyliFloodFill_4Con_8u_C1IR)(p, step, roi, seed,
                                                                                 nv, reg, buf);
    else
        return (eight ? zyliFloodFill_8Con_32f_C1IR
                      : zyliFloodFill_4Con_32f_C1IR)(p, step, roi, seed, nv, reg, buf);
}
template <class T>
ZylStatus call_grad(T *p, int step, ZyliSize roi, ZyliPoint seed, Scalar<T> nv, Scalar<T> lo,
                    Scalar<T> up, bool eight, ZyliConnectedRegion *reg, Zyl8u *buf)
{
    if constexpr (std::is_same_v<T, Zyl8u>)
        return (eight ? zyliFloodFill_Grad8Con_8u_C1IR
                      : zyliFloodFill_Grad4Con_8u_C1IR)(p, step, roi, seed, nv, lo, up, reg, buf);
    else
        return (eight ? zyliFloodFill_Grad8Con_32f_C1IR
                      : zyliFloodFill_Grad4Con_32f_C1IR)(p, step, roi, seed, nv, lo, up, reg, buf);
}

std::size_t query(ZyliSize roi, bool grad)
{
    Zyl32s n = -1;
    EXPECT_EQ(grad ? zyliFloodFillGetSize_Grad(roi, &n) : zyliFloodFillGetSize(roi, &n),
              zylStatusOk);
    return std::size_t(n);
}

// Equal region records, doubles by their bits.
::testing::AssertionResult same_region(const ZyliConnectedRegion &r, const ZyliConnectedRegion &w)
{
    if (std::memcmp(&r, &w, sizeof r) == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "region (" << r.area << ", " << r.value << ", " << r.boxX << ", " << r.boxY << ", "
           << r.boxWidth << ", " << r.boxHeight << ") want (" << w.area << ", " << w.value << ", "
           << w.boxX << ", " << w.boxY << ", " << w.boxWidth << ", " << w.boxHeight << ")";
}

template <class T> void load(Image<T> &img, const Grid<T> &g)
{
    for (int y = 0; y < g.h; ++y)
        for (int x = 0; x < g.w; ++x) img.at(x, y) = g.at(x, y);
    img.snapshot();
}
template <class T> std::vector<std::uint8_t> grid_bytes(const Grid<T> &g)
{
    auto p = reinterpret_cast<const std::uint8_t *>(g.v.data());
    return {p, p + g.v.size() * sizeof(T)};
}

// Runs one fill on a copy of g in a padded, offset image and checks image, region and status
// against the model; `tight` puts the buffer of the queried size against a guard page.
template <class T>
ZylStatus check_fill(const Grid<T> &g, int sx, int sy, Scalar<T> nv, bool eight, bool grad,
                     Scalar<T> lo, Scalar<T> up, const Layout &layoutIn, bool tight = false)
{
    Layout l = layoutIn;
    l.width = g.w, l.height = g.h;
    Image<T> img(l);
    load(img, g);
    const std::size_t bytes = query({g.w, g.h}, grad);
    std::vector<Zyl8u> big(tight ? 0 : bytes * 4 + 64);
    zt::GuardedImage<Zyl8u> tb(tight ? int(bytes) : 1, 1, 1, zt::Guard::After);
    // An odd start: the gradient fills' records then sit at unaligned addresses.
    Zyl8u *buf = tight ? tb.data() : big.data() + 1;
    const ZyliConnectedRegion untouched{-1.0, -1.0, -1, -1, -1, -1};
    ZyliConnectedRegion reg = untouched;
    Grid<T> want = g;
    using Diff = std::conditional_t<std::is_same_v<T, Zyl8u>, Diff8u, Diff32f>;
    const Outcome o = grad ? ref_grad(want, sx, sy, T(nv), Diff{lo, up}, eight)
                           : ref_value(want, sx, sy, T(nv), eight);
    const ZylStatus st =
        grad ? call_grad(img.data(), img.step(), {g.w, g.h}, {sx, sy}, nv, lo, up, eight, &reg, buf)
             : call_value(img.data(), img.step(), {g.w, g.h}, {sx, sy}, nv, eight, &reg, buf);
    EXPECT_TRUE(img.intact_outside_roi());
    if (st == zylStatusNoMemory) {
        // Allowed (whatever the buffer's real size) only when the literal stack needs more than
        // the queried size's records plus the one a fill keeps in registers; the region record
        // is then left alone.
        std::size_t depth = o.maxDepth;
        if (!grad) {
            Grid<Zyl8u> bin{g.w, g.h, std::vector<Zyl8u>(g.v.size())};
            for (std::size_t i = 0; i < g.v.size(); ++i) bin.v[i] = matches(g.v[i], g.at(sx, sy));
            auto open = [](Zyl8u c, Zyl8u) { return c == 1; };
            depth = ref_grad(bin, sx, sy, Zyl8u(2), open, eight, true).maxDepth;
        }
        const std::size_t records = std::size_t(g.w) * g.h * 6 / 24;
        EXPECT_GT(depth, records + 1) << "ran out of stack although the records fit";
        EXPECT_TRUE(same_region(reg, untouched));
        return st;
    }
    EXPECT_EQ(st, zylStatusOk);
    if (st != zylStatusOk) return st;
    EXPECT_TRUE(zt::same_bytes(img.roi_bytes(), grid_bytes(want)));
    EXPECT_TRUE(same_region(reg, o.wroteRegion ? o.region : untouched));
    return st;
}

// ---- structured images -------------------------------------------------------------------

// 1 = open, 0 = wall.
using Pattern = Grid<Zyl8u>;
Pattern pattern(int w, int h, const std::function<int(int, int)> &f)
{
    Pattern p{w, h, std::vector<Zyl8u>(std::size_t(w) * h)};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) p.at(x, y) = Zyl8u(f(x, y));
    return p;
}
// Open cells by position: comb (full rows every third row, one-pixel teeth at even columns
// between them), teeth (full rows alternating with teeth: many pending one-pixel spans),
// serpentine (a one-pixel path winding down through the rows), both checkerboards and a diagonal
// staircase (runs touching only at corners).
using Rule = int (*)(int x, int y, int w);
constexpr Rule kRules[] = {
    [](int x, int y, int) { return int(y % 3 == 1 || x % 2 == 0); },
    [](int x, int y, int) { return int(y % 2 == 0 || x % 2 == 0); },
    [](int x, int y, int w) { return int(y % 2 == 0 || x == ((y / 2) % 2 == 0 ? w - 1 : 0)); },
    [](int x, int y, int) { return (x + y) % 2; },
    [](int x, int y, int) { return int((x + y) % 2 == 0); },
    [](int x, int y, int) { return int((x / 2 + y) % 2 == 0); },
};
Pattern spiral(int w, int h)
{
    Pattern p = pattern(w, h, [](int, int) { return 0; });
    int x0 = 0, y0 = 0, x1 = w - 1, y1 = h - 1;
    while (x0 <= x1 && y0 <= y1) {
        for (int x = x0; x <= x1; ++x) p.at(x, y0) = 1;
        for (int y = y0; y <= y1; ++y) p.at(x1, y) = 1;
        if (y1 > y0 + 1)
            for (int x = x0; x <= x1; ++x) p.at(x, y1) = 1;
        if (x1 > x0 + 1)
            for (int y = y0 + 2; y <= y1; ++y) p.at(x0, y) = 1;
        x0 += 2, y0 += 2, x1 -= 2, y1 -= 2;
        if (x0 <= x1 && y0 - 1 <= y1) p.at(x0 - 1, y0 - 1) = 1;  // the link inward
    }
    return p;
}
// Random maze-like walls: open with probability `open`.
Pattern maze(Rng &rng, int w, int h, double open)
{
    return pattern(w, h, [&](int, int) { return int(rng.chance(open)); });
}
template <class T> Grid<T> from_pattern(const Pattern &p, T open, T wall)
{
    Grid<T> g{p.w, p.h, std::vector<T>(p.v.size())};
    for (std::size_t i = 0; i < p.v.size(); ++i) g.v[i] = p.v[i] ? open : wall;
    return g;
}
std::pair<int, int> open_seed(const Pattern &p, Rng &rng)
{
    for (int tries = 0; tries < 1000; ++tries) {
        int x = rng.uniform(0, p.w - 1), y = rng.uniform(0, p.h - 1);
        if (p.at(x, y)) return {x, y};
    }
    for (int y = 0; y < p.h; ++y)
        for (int x = 0; x < p.w; ++x)
            if (p.at(x, y)) return {x, y};
    return {0, 0};
}

template <class T> class FloodFill : public ::testing::Test {
};
using Types = ::testing::Types<Zyl8u, Zyl32f>;
TYPED_TEST_SUITE(FloodFill, Types);

// ---- validation ----------------------------------------------------------------------------

TEST(FloodFillQuery, SizesAndOrder)
{
    // Sizes of 6 w h and (w + 2)(h + 2) + 6 w h bytes; 0 where a size does not fit a Zyl32s and
    // the query refuses. 178956971 x 1 is where w h 24 first passes 2^32; the largest sizes that
    // fit are 357913941 x 1 (value) and 238609293 x 1 (gradient).
    struct Case {
        ZyliSize roi;
        Zyl32s value, grad;
    };
    for (Case c :
         {Case{{10, 10}, 600, 744}, Case{{1, 1}, 6, 15}, Case{{3, 1}, 18, 33},
          Case{{640, 480}, 1843200, 1843200 + 642 * 482},
          Case{{178956971, 1}, 1073741826, 1073741826 + 178956973 * 3},
          Case{{238609293, 1}, 1431655758, 2147483643}, Case{{238609294, 1}, 1431655764, 0},
          Case{{357913941, 1}, 2147483646, 0}, Case{{1, 357913942}, 0, 0},
          Case{{65536, 65536}, 0, 0}, Case{{2147483647, 2147483647}, 0, 0}}) {
        SCOPED_TRACE(std::to_string(c.roi.width) + "x" + std::to_string(c.roi.height));
        Zyl32s a = -1, b = -1;
        EXPECT_EQ(zyliFloodFillGetSize(c.roi, &a), c.value ? zylStatusOk : zylStatusBadSize);
        EXPECT_EQ(zyliFloodFillGetSize_Grad(c.roi, &b), c.grad ? zylStatusOk : zylStatusBadSize);
        EXPECT_EQ(a, c.value);
        EXPECT_EQ(b, c.grad);
    }
    Zyl32s n = 77;
    std::vector<zt::StatusCase> cases;
    for (bool grad : {false, true}) {
        auto q = [grad, &n](ZyliSize r, Zyl32s *p) {
            return
                [=] { return grad ? zyliFloodFillGetSize_Grad(r, p) : zyliFloodFillGetSize(r, p); };
        };
        cases.push_back({"size before null pointer", q({0, 5}, nullptr), zylStatusBadSize});
        cases.push_back({"negative height", q({5, -1}, &n), zylStatusBadSize});
        cases.push_back({"null result", q({5, 5}, nullptr), zylStatusNullPtr});
    }
    zt::expect_statuses(cases, [&] { return n == 77; });
}

TYPED_TEST(FloodFill, ValidationOrderAndNoWrites)
{
    using T = TypeParam;
    constexpr bool f32 = std::is_same_v<T, Zyl32f>;
    Image<T> img({6, 4, 1, 8, 0});
    Rng rng(3);
    img.fill_random(rng);
    const auto before = img.roi_bytes();
    std::vector<Zyl8u> buf(2000, 0xCD);
    const std::vector<Zyl8u> bufBefore = buf;
    ZyliConnectedRegion reg{-1, -1, -1, -1, -1, -1}, regBefore = reg;
    T *p = img.data();
    const int s = img.step(), odd = s + 2;
    const ZyliSize ok{6, 4};
    Zyl8u *b = buf.data();
    // Each case runs both connectivities, which must agree (999 if they do not).
    auto both = [](auto fill) {
        return [=] { return fill(true) == fill(false) ? fill(true) : ZylStatus(999); };
    };
    auto val = [&](T *pp, int st, ZyliSize r, ZyliPoint sd, Scalar<T> nv, ZyliConnectedRegion *rg,
                   Zyl8u *bb) {
        return both([=](bool e) { return call_value(pp, st, r, sd, nv, e, rg, bb); });
    };
    auto grd = [&](T *pp, int st, ZyliSize r, ZyliPoint sd, Scalar<T> nv, Scalar<T> lo,
                   Scalar<T> up, ZyliConnectedRegion *rg, Zyl8u *bb) {
        return both([=](bool e) { return call_grad(pp, st, r, sd, nv, lo, up, e, rg, bb); });
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    ZyliConnectedRegion *R = &reg;
    constexpr ZylStatus Null = zylStatusNullPtr, Size = zylStatusBadSize, Step = zylStatusBadStep;
    constexpr ZylStatus Range = zylStatusOutOfRange, Arg = zylStatusBadArg;
    constexpr ZylStatus Align = zylStatusStepNotAligned;
    std::vector<zt::StatusCase> cases = {
        {"null image wins over everything", val(nullptr, 0, {0, 0}, {-1, -1}, 999, R, b), Null},
        {"null region", val(p, s, ok, {0, 0}, 1, nullptr, b), Null},
        {"null buffer", val(p, s, ok, {0, 0}, 1, R, nullptr), Null},
        {"zero step before size", val(p, 0, {0, 4}, {0, 0}, 1, R, b), Step},
        {"negative step", val(p, -s, ok, {0, 0}, 1, R, b), Step},
        {"zero width before alignment", val(p, odd, {0, 4}, {0, 0}, 1, R, b), Size},
        {"zero height", val(p, s, {6, 0}, {0, 0}, 1, R, b), Size},
        {"odd step before seed", val(p, odd, ok, {9, 9}, 1, R, b), f32 ? Align : Range},
        {"seed x = width before newVal", val(p, s, ok, {6, 0}, 999, R, b), Range},
        {"seed y = -1", val(p, s, ok, {0, -1}, 1, R, b), Range},
        {"seed y = height", val(p, s, ok, {0, 4}, 1, R, b), Range},
        {"grad: null image", grd(nullptr, s, ok, {0, 0}, 1, 1, 1, R, b), Null},
        {"grad: null buffer", grd(p, s, ok, {0, 0}, 1, 1, 1, R, nullptr), Null},
        {"grad: zero step", grd(p, 0, {0, 0}, {0, 0}, 1, 1, 1, R, b), Step},
        {"grad: negative width", grd(p, odd, {-2, 4}, {0, 0}, 1, 1, 1, R, b), Size},
        {"grad: seed before diffs", grd(p, s, ok, {-1, 0}, 1, -1, -1, R, b), Range},
        {"grad: negative lowDiff", grd(p, s, ok, {0, 0}, 1, -1, 0, R, b), Range},
        {"grad: negative upDiff", grd(p, s, ok, {0, 0}, 1, 0, -1, R, b), Range},
    };
    if constexpr (f32)
        cases.insert(cases.end(),
                     {{"grad: odd step", grd(p, odd, ok, {0, 0}, 1, 1, 1, R, b), Align},
                      {"grad: NaN upDiff", grd(p, s, ok, {0, 0}, 1, 1, nan, R, b), Range},
                      {"grad: NaN lowDiff", grd(p, s, ok, {0, 0}, 1, nan, 1, R, b), Range}});
    else
        cases.insert(cases.end(),
                     {{"newVal 256", val(p, s, ok, {0, 0}, 256, R, b), Arg},
                      {"newVal -1", val(p, s, ok, {0, 0}, -1, R, b), Arg},
                      {"grad: newVal first", grd(p, s, ok, {0, 0}, 256, -1, 300, R, b), Arg},
                      {"grad: sum 256", grd(p, s, ok, {0, 0}, 1, 200, 56, R, b), Range},
                      {"grad: 56 + 200", grd(p, s, ok, {0, 0}, 1, 56, 200, R, b), Range}});
    zt::expect_statuses(cases, [&] {
        return img.roi_bytes() == before && img.intact_outside_roi() && buf == bufBefore &&
               std::memcmp(&reg, &regBefore, sizeof reg) == 0;
    });
    // Limits that are accepted: 200 + 55, -0.0 and +inf differences.
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(call_grad(p, s, ok, {0, 0}, 1, Scalar<T>(f32 ? -0.0f : 200.0f),
                        Scalar<T>(f32 ? inf : 55.0f), true, R, b),
              0);
}

// ---- reference comparisons ---------------------------------------------------------------

// Values from a small set, so that regions are large and ragged; floats include ±0, NaN, inf.
template <class T> T few_values(Rng &rng, int k)
{
    if constexpr (std::is_same_v<T, Zyl8u>) return T(rng.uniform(0, k - 1) * 7);
    else {
        const float pool[] = {0.0f, -0.0f, 1.5f, NAN, HUGE_VALF, -3.0f};
        if (rng.chance(0.1)) return pool[rng.uniform(0, 5)];
        return float(rng.uniform(0, k - 1)) * 1.5f;
    }
}
// Gently varying values for the gradient fills: a random walk along rows with occasional jumps.
template <class T> Grid<T> walk(Rng &rng, int w, int h)
{
    Grid<T> g{w, h, std::vector<T>(std::size_t(w) * h)};
    for (int y = 0; y < h; ++y) {
        int v = rng.uniform(0, 255);
        for (int x = 0; x < w; ++x) {
            v = rng.chance(0.05) ? rng.uniform(0, 255) : std::clamp(v + rng.uniform(-3, 3), 0, 255);
            if constexpr (std::is_same_v<T, Zyl8u>) g.at(x, y) = T(v);
            else
                g.at(x, y) = rng.chance(0.03) ? zt::random_float(rng, 1.0)
                                              : v * 0.25f + rng.real(-0.1f, 0.1f);
        }
    }
    return g;
}

// Random images against the models: value fills on few values (large ragged regions), gradient
// fills on gently varying rows; padded, offset images; every third run with the tight buffer.
TYPED_TEST(FloodFill, MatchesModels)
{
    using T = TypeParam;
    for (bool grad : {false, true})
        for (std::uint32_t seed = 1; seed <= 160; ++seed) {
            Rng rng(seed);
            SCOPED_TRACE(zt::seed_note(seed) + (grad ? " gradient" : " value"));
            const int w = rng.uniform(1, seed % 4 == 0 ? 90 : 24), h = rng.uniform(1, 20);
            Grid<T> g{w, h, std::vector<T>(std::size_t(w) * h)};
            if (grad) g = walk<T>(rng, w, h);
            const int k = grad ? 0 : rng.uniform(2, 4);
            for (auto &v : g.v) v = grad ? v : few_values<T>(rng, k);
            const int sx = rng.uniform(0, w - 1), sy = rng.uniform(0, h - 1);
            Scalar<T> nv, lo = 0, up = 0;
            if constexpr (std::is_same_v<T, Zyl8u>) {
                if (!grad) nv = rng.chance(0.1) ? g.at(sx, sy) : rng.uniform(0, 255);
                else nv = rng.uniform(0, 255), lo = rng.uniform(0, 4), up = rng.uniform(0, 4);
                if (grad && seed % 17 == 0) lo = 200, up = 55;
            } else if (!grad) {
                nv = rng.chance(0.1) ? g.at(sx, sy)
                                     : (rng.chance(0.05) ? NAN : rng.real(-9.0f, 9.0f));
            } else {
                nv = zt::random_float(rng, 0.1), lo = rng.real(0.0f, 1.0f),
                up = rng.real(0.0f, 1.0f);
                if (seed % 13 == 0) lo = std::numeric_limits<float>::infinity();  // mid is NaN
                if (seed % 11 == 0) up = -0.0f;
            }
            const Layout l = zt::random_layout<T>(rng, 1, 1);
            check_fill(g, sx, sy, nv, seed % 2 == 0, grad, lo, up, l, seed % 3 == 0);
        }
}

// Structured images through all four fills: mazes, checkerboards, spirals, combs, serpentines,
// corner-touching runs, one-row and one-column images, from a random open seed and from the
// corners and middle; both the default buffer and a buffer of exactly the queried size against a
// guard page. The comb and teeth patterns keep a pending record per tooth: with the tight buffer
// a fill either completes correctly or (only when the procedure needs more records than fit)
// reports zylStatusNoMemory without writing a byte past the buffer.
TYPED_TEST(FloodFill, StructuredImages)
{
    using T = TypeParam;
    std::uint32_t seed = 1000;
    int refused = 0;
    auto run = [&](const Pattern &p) {
        Rng rng(++seed);
        SCOPED_TRACE(zt::seed_note(seed));
        const Grid<T> g = from_pattern<T>(p, T(5), T(9));
        const auto [rx, ry] = open_seed(p, rng);
        const std::pair<int, int> seeds[] = {{rx, ry},     {0, 0},       {0, p.h - 1},
                                             {p.w - 1, 1}, {0, p.h / 2}, {p.w / 2, p.h / 2}};
        for (auto [sx, sy] : seeds) {
            if (sy >= p.h || !p.at(sx, sy)) continue;
            SCOPED_TRACE(testing::Message() << p.w << "x" << p.h << " seed " << sx << "," << sy);
            // The gradient fills with differences that accept open-to-open steps only: the same
            // region as the value fill.
            for (bool eight : {k4, k8})
                for (bool tight : {false, true})
                    for (bool grad : {false, true})
                        refused +=
                            check_fill(g, sx, sy, Scalar<T>(grad ? 5 : 7), eight, grad,
                                       Scalar<T>(grad), Scalar<T>(grad), {}, tight) != zylStatusOk;
        }
    };
    const std::pair<int, int> sizes[] = {{1, 1},   {2, 1},  {3, 1},  {1, 2},   {1, 3},   {1, 7},
                                         {37, 1},  {3, 3},  {5, 3},  {5, 5},   {9, 3},   {16, 9},
                                         {33, 20}, {4, 31}, {41, 3}, {40, 12}, {61, 61}, {3, 40}};
    for (auto [w, h] : sizes) {
        for (Rule rule : kRules) run(pattern(w, h, [&](int x, int y) { return rule(x, y, w); }));
        run(spiral(w, h));
    }
    Rng rng(77);
    for (int i = 0; i < 30; ++i)
        run(maze(rng, rng.uniform(1, 40), rng.uniform(1, 30), rng.chance(0.5) ? 0.6 : 0.8));
    // Uniform images: everything from any seed.
    for (auto [w, h] : {std::pair{1, 1}, {1, 3}, {3, 1}, {2, 2}, {17, 5}})
        run(pattern(w, h, [](int, int) { return 1; }));
    EXPECT_GT(refused, 0);  // the tooth patterns do exceed the buffer somewhere
}

// Every twin gives the portable twin's image, region and status, on long runs (the packed run
// extension and span write) with unaligned rows and odd widths.
TYPED_TEST(FloodFill, TwinsAgree)
{
    using T = TypeParam;
    using Diff = zylcv::floodfill::GradDiff<T>;
    for (std::uint32_t seed = 300; seed < 360; ++seed) {
        Rng rng(seed);
        SCOPED_TRACE(zt::seed_note(seed));
        const int w = rng.uniform(1, 130), h = rng.uniform(1, 12);
        const Layout l{w, h, 1, int(sizeof(T)) * rng.uniform(0, 5),
                       (int(sizeof(T)) * rng.uniform(0, 15)) % 16};
        std::vector<T> px(std::size_t(w) * h);
        for (T &v : px) v = rng.chance(0.97) ? T(1) : T(rng.uniform(0, 2));
        const int sx = rng.uniform(0, w - 1), sy = rng.uniform(0, h - 1), mb = (w + 2) * (h + 2);
        const bool eight = rng.chance(0.5), grad = rng.chance(0.5);
        const std::uint32_t cap = std::uint32_t(w) * h * 6 / 24 + 1;
        auto fill = [&](zt::Twin t, auto eightTag, Image<T> &img, Zyl8u *buf,
                        ZyliConnectedRegion *r) {
            constexpr bool E = decltype(eightTag)::value;
            if (!grad)
                return ZT_ENTRY(t, flood_fill<E>)(img.data(), img.step(), w, h, sx, sy, T(7), buf,
                                                  cap, r);
            return ZT_ENTRY(t, flood_fill_grad<E>)(img.data(), img.step(), w, h, sx, sy, T(7),
                                                   Diff(1), Diff(0), buf, buf + mb, cap, r);
        };
        zt::expect_twins_agree([&](zt::Twin t) {
            Image<T> img(l);
            for (int i = 0; i < w * h; ++i) img.at(i % w, i / w) = px[std::size_t(i)];
            img.snapshot();
            std::vector<Zyl8u> buf(query({w, h}, grad) + 24);
            ZyliConnectedRegion r{};
            const ZylStatus st = eight ? fill(t, std::true_type{}, img, buf.data(), &r)
                                       : fill(t, std::false_type{}, img, buf.data(), &r);
            EXPECT_TRUE(img.intact_outside_roi());
            auto bytes = img.roi_bytes();
            bytes.insert(bytes.end(), reinterpret_cast<const Zyl8u *>(&r),
                         reinterpret_cast<const Zyl8u *>(&r + 1));
            bytes.push_back(Zyl8u(-st));
            return bytes;
        });
    }
}

// Images flush against inaccessible pages before and after: only the ROI is read or written,
// seeds in the first and last rows and columns.
TYPED_TEST(FloodFill, StaysInsideRoi)
{
    using T = TypeParam;
    for (auto [w, h] : {std::pair{1, 1}, {1, 5}, {7, 1}, {17, 4}, {33, 3}})
        for (zt::Guard gd : {zt::Guard::Before, zt::Guard::After})
            for (auto [sx, sy] : {std::pair{0, 0}, {w - 1, h - 1}, {w - 1, 0}, {0, h - 1}}) {
                zt::GuardedImage<T> img(w, h, 1, gd);
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) img.row(y)[x] = T((x * 3 + y) % 4 == 0 ? 2 : 1);
                std::vector<Zyl8u> buf(query({w, h}, true) + 24);
                ZyliConnectedRegion r{};
                for (bool eight : {k4, k8}) {
                    EXPECT_EQ(call_value(img.data(), img.step(), {w, h}, {sx, sy}, Scalar<T>(3),
                                         eight, &r, buf.data()),
                              0);
                    EXPECT_EQ(call_grad(img.data(), img.step(), {w, h}, {sx, sy}, Scalar<T>(1),
                                        Scalar<T>(2), Scalar<T>(2), eight, &r, buf.data()),
                              0);
                }
            }
}

}  // namespace
