// Strip filters (general Sobel, Laplace, box sum) and their states: constructor validation and
// header layout, kernels against polynomial coefficients, filter validation orders with refused
// calls leaving everything unchanged, whole images against a 2-D reference model, strip
// sequences against whole calls, twins, guard pages and hand-derived edge values.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>

#include "filter/filter.h"
#include "support.h"

using zt::Image;
using zt::Layout;
using zt::Rng;

namespace {

enum class Kind { Sobel, Laplace, Blur };
const Kind kKinds[] = {Kind::Sobel, Kind::Laplace, Kind::Blur};
const char *const kNames[] = {"Sobel", "Laplace", "Blur"};

template <class S> using DstOf = std::conditional_t<std::is_same_v<S, Zyl32f>, Zyl32f, Zyl16s>;
template <class S>
constexpr ZylDataType type_of = std::is_same_v<S, Zyl8u>   ? zyl8u
                                : std::is_same_v<S, Zyl8s> ? zyl8s
                                                           : zyl32f;

// Any int as a role, as a C caller may pass it.
ZylStripRole role_of(int v) { return std::bit_cast<ZylStripRole>(v); }

// ---- the exported functions and the twins behind one interface ----------------------------------

template <class S>
ZylStatus api(Kind k, const S *s, int ss, DstOf<S> *d, int ds, ZyliSize *r, ZyliConvState *st,
              int role)
{
    const auto fns = [] {
        if constexpr (std::is_same_v<S, Zyl8u>)
            return std::array{zyliSobel_8u16s_C1R, zyliLaplace_8u16s_C1R, zyliBlur_8u16s_C1R};
        else if constexpr (std::is_same_v<S, Zyl8s>)
            return std::array{zyliSobel_8s16s_C1R, zyliLaplace_8s16s_C1R, zyliBlur_8s16s_C1R};
        else return std::array{zyliSobel_32f_C1R, zyliLaplace_32f_C1R, zyliBlur_32f_C1R};
    }();
    return fns[int(k)](s, ss, d, ds, r, st, role_of(role));
}

// One strip through twin t's entry for filter k.
template <class S>
int twin(zt::Twin t, Kind k, const S *s, int ss, DstOf<S> *d, int ds, int w, int h,
         ZyliConvState *st, bool starts, bool ends)
{
    if (k == Kind::Sobel)
        return ZT_ENTRY(t, strip<zylcv::filter::kSobel>)(s, ss, d, ds, w, h, st, starts, ends);
    if (k == Kind::Laplace)
        return ZT_ENTRY(t, strip<zylcv::filter::kLaplace>)(s, ss, d, ds, w, h, st, starts, ends);
    return ZT_ENTRY(t, strip<zylcv::filter::kBlur>)(s, ss, d, ds, w, h, st, starts, ends);
}

// ---- states -------------------------------------------------------------------------------------

// A filter configuration: aperture, Sobel orders and bottom-up flag.
struct Cfg {
    Kind kind;
    int k = 3, xo = 0, yo = 0, bu = 0;
};

Cfg random_cfg(Rng &rng, Kind kind)
{
    Cfg c{kind, 3 + 2 * rng.uniform(0, 2)};
    if (kind == Kind::Sobel)
        c.xo = rng.uniform(0, c.k - 1), c.yo = rng.uniform(0, c.k - 1), c.bu = rng.uniform(0, 1);
    return c;
}
std::string describe(const Cfg &c)
{
    return std::string(kNames[int(c.kind)]) + " k=" + std::to_string(c.k) +
           " xOrder=" + std::to_string(c.xo) + " yOrder=" + std::to_string(c.yo) +
           " bottomUp=" + std::to_string(c.bu);
}

// Owns one state of a configuration.
struct State : zt::Held<ZyliConvState, zyliConvolFree> {
    State(const Cfg &c, ZylDataType type, int maxW)
    {
        EXPECT_EQ(c.kind == Kind::Sobel ? zyliSobelInitAlloc(maxW, type, c.k, c.bu, c.xo, c.yo, &st)
                  : c.kind == Kind::Laplace ? zyliLaplaceInitAlloc(maxW, type, c.k, &st)
                                            : zyliBlurInitAlloc(maxW, type, c.k, &st),
                  zylStatusOk);
    }
};

// The state's published header, as a C caller declares it: the row buffers follow it directly.
struct Header {
    void *rowArea;
    Zyl32s stateCode, pending;
    void *rows[16];
    unsigned char kernelX[16 * 16], kernelY[16 * 16];
};
Header &header(ZyliConvState *st) { return *reinterpret_cast<Header *>(st); }

std::size_t row_bytes(int maxW) { return (std::size_t(maxW) * 4 + 31) / 32 * 32; }

// Every byte of the published part of a state: header and row buffers. The buffers lie
// rowBytes apart from rowArea in some ring order, so the highest one is the last.
std::vector<std::uint8_t> state_bytes(ZyliConvState *st)
{
    const Header &h = header(st);
    auto first = static_cast<const std::uint8_t *>(h.rowArea), last = first;
    int n = 0;
    for (void *r : h.rows)
        if (r) ++n, last = std::max(last, static_cast<const std::uint8_t *>(r));
    auto p = reinterpret_cast<const std::uint8_t *>(st);
    return {p, last + (last - first) / (n - 1)};
}

// Writes entry i of a kernel field in the published format: four equal lanes of 32f (16 bytes
// per entry) or of 16s (8 bytes per entry).
void put_entry(unsigned char *field, int i, int v, bool f32)
{
    const float f = float(v);
    const Zyl16s x = Zyl16s(v);
    const int size = f32 ? 4 : 2;
    for (int lane = 0; lane < 4; ++lane)
        std::memcpy(field + 4 * size * i + size * lane, f32 ? (const void *)&f : &x, size);
}

// ---- reference model ----------------------------------------------------------------------------

// Coefficients of (1 + z)^(k-1-m) (z - 1)^m, lowest power first, by polynomial multiplication.
std::vector<int> poly_kernel(int k, int m)
{
    std::vector<int> p{1};
    auto times = [&](int c0, int c1) {  // p *= c0 + c1 z
        std::vector<int> q(p.size() + 1, 0);
        for (std::size_t i = 0; i < p.size(); ++i) q[i] += c0 * p[i], q[i + 1] += c1 * p[i];
        p = q;
    };
    for (int i = 0; i < k - 1 - m; ++i) times(1, 1);
    for (int i = 0; i < m; ++i) times(-1, 1);
    return p;
}
std::vector<int> sobel_ky(const Cfg &c)
{
    std::vector<int> ky = poly_kernel(c.k, c.yo);
    if (c.bu && c.yo % 2)
        for (int &v : ky) v = -v;
    return ky;
}

// Pixel (x, y) of an image, coordinates clamped to it.
template <class S> S clamped(const Image<S> &p, int x, int y)
{
    return p.at(std::clamp(x, 0, p.width() - 1), std::clamp(y, 0, p.height() - 1));
}

// 8-bit sources: the exact 2-D sum of the outer-product kernel over clamped neighbours.
template <class S> std::vector<Zyl16s> reference(const Cfg &c, const Image<S> &p)
{
    const int k = c.k, a = k / 2;
    const auto kx = poly_kernel(k, c.xo), ky = sobel_ky(c), kd = poly_kernel(k, 2),
               ks = poly_kernel(k, 0);
    auto k2 = [&](int j, int i) -> long {  // row offset j - a, column offset i - a
        if (c.kind == Kind::Sobel) return long(ky[j]) * kx[i];
        if (c.kind == Kind::Laplace) return long(kd[j]) * ks[i] + long(ks[j]) * kd[i];
        return 1;
    };
    std::vector<Zyl16s> out;
    for (int y = 0; y < p.height(); ++y)
        for (int x = 0; x < p.width(); ++x) {
            long s = 0;
            for (int j = 0; j < k; ++j)
                for (int i = 0; i < k; ++i) s += k2(j, i) * long(clamped(p, x + i - a, y + j - a));
            out.push_back(Zyl16s(std::clamp(s, -32768L, 32767L)));
        }
    return out;
}

// 32f: the separable sums in single precision, each 1-D sum over mirrored pairs:
// c[a]*v(0) + c[a+1]*(v(1)+v(-1)) + ... (symmetric), c[a+1]*(v(1)-v(-1)) + ... (antisymmetric).
template <class V> float pairs(const std::vector<int> &c, bool odd, V v)
{
    const int a = int(c.size()) / 2;
    float s = odd ? float(c[a + 1]) * (v(1) - v(-1)) : float(c[a]) * v(0);
    for (int i = odd ? 2 : 1; i <= a; ++i)
        s = s + float(c[a + i]) * (odd ? v(i) - v(-i) : v(i) + v(-i));
    return s;
}
// The box sum's running sums, as defined: row sums h across each row, the column sum V carried
// down the image over the first row repeated a times above and the last row a times below.
std::vector<float> blur_reference(int k, const Image<float> &p)
{
    const int a = k / 2, w = p.width(), H = p.height();
    std::vector<std::vector<float>> hs(H, std::vector<float>(w));
    for (int r = 0; r < H; ++r) {
        auto P = [&](int x) { return clamped(p, x, r); };
        float s = float(a + 1) * P(0);
        for (int i = 1; i <= a; ++i) s = s + P(std::min(i, w - 1));
        hs[r][0] = s;
        for (int x = 1; x < w; ++x) {
            s = x <= a ? (s - P(0)) + P(std::min(x + a, w - 1))
                       : (s + P(std::min(x + a, w - 1))) - P(x - a - 1);
            hs[r][x] = s;
        }
    }
    auto hv = [&](int n) -> const std::vector<float> & { return hs[std::clamp(n - a, 0, H - 1)]; };
    std::vector<float> v(w), out;
    for (int x = 0; x < w; ++x) v[x] = float(a + 1) * hv(0)[x];
    for (int n = a + 1; n <= 2 * a; ++n)
        for (int x = 0; x < w; ++x) v[x] = v[x] + hv(n)[x];
    out.insert(out.end(), v.begin(), v.end());
    for (int n = 2 * a + 1; n < H + 2 * a; ++n) {
        const auto &in = hv(n), &hold = hv(n - k);
        v[0] = (in[0] - hold[0]) + v[0];
        for (int x = 1; x < w; ++x) v[x] = (v[x] + in[x]) - hold[x];
        out.insert(out.end(), v.begin(), v.end());
    }
    return out;
}
std::vector<float> reference(const Cfg &c, const Image<float> &p)
{
    const int k = c.k;
    if (c.kind == Kind::Blur) return blur_reference(k, p);
    std::vector<float> out;
    auto hsum = [&](const std::vector<int> &kx, bool odd, int x, int y) {
        return pairs(kx, odd, [&](int d) { return clamped(p, x + d, y); });
    };
    for (int y = 0; y < p.height(); ++y)
        for (int x = 0; x < p.width(); ++x) {
            auto row = [&](int d) { return std::clamp(y + d, 0, p.height() - 1); };
            if (c.kind == Kind::Sobel) {
                auto kx = poly_kernel(k, c.xo);
                out.push_back(pairs(sobel_ky(c), c.yo % 2,
                                    [&](int d) { return hsum(kx, c.xo % 2, x, row(d)); }));
            } else {
                auto kd = poly_kernel(k, 2), ks = poly_kernel(k, 0);
                float sa = pairs(ks, false, [&](int d) { return hsum(kd, false, x, row(d)); });
                float sb = pairs(kd, false, [&](int d) { return hsum(ks, false, x, row(d)); });
                out.push_back(sa + sb);
            }
        }
    return out;
}

// Equal values; for 32f equal bits or both NaN (which NaN a sum of two NaNs keeps is open).
template <class D>
::testing::AssertionResult same_values(const Image<D> &got, const std::vector<D> &want)
{
    for (std::size_t i = 0; i < want.size(); ++i) {
        const int x = int(i % got.width()), y = int(i / got.width());
        auto r = zt::same_bits_or_nan(float(got.at(x, y)), float(want[i]));
        if (!r) return r << " at (" << x << "," << y << ")";
    }
    return ::testing::AssertionSuccess();
}

// Random images: 8-bit sources take every value, and in a quarter of the images only their
// extremes (the largest sums and saturation); 32f takes mixed magnitudes and special values.
template <class S> void fill(Image<S> &img, Rng &rng)
{
    img.fill_random(rng, 0.01);
    if (std::is_same_v<S, Zyl32f> || rng.chance(0.75)) return;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            img.at(x, y) =
                rng.chance(0.5) ? std::numeric_limits<S>::min() : std::numeric_limits<S>::max();
    img.snapshot();
}
template <class T> Layout layout_for(Rng &rng, int w, int h)
{
    Layout l = zt::random_layout<T>(rng, 1, 1);
    return {w, h, 1, l.padBytes, l.offset};
}

template <class S> struct Filter : ::testing::Test {
};
using SourceTypes = ::testing::Types<Zyl8u, Zyl8s, Zyl32f>;
TYPED_TEST_SUITE(Filter, SourceTypes);

// ---- constructors -------------------------------------------------------------------------------

TEST(FilterState, ConstructorValidation)
{
    ZyliConvState *const sentinel = reinterpret_cast<ZyliConvState *>(std::uintptr_t(0x40));
    ZyliConvState *st = sentinel;
    auto sobel = [&](int w, int t, int k, int bu, int xo, int yo) {
        return [=, &st] { return zyliSobelInitAlloc(w, ZylDataType(t), k, bu, xo, yo, &st); };
    };
    auto lap = [&](int w, int t, int k) {
        return [=, &st] { return zyliLaplaceInitAlloc(w, ZylDataType(t), k, &st); };
    };
    auto box = [&](int w, int t, int k) {
        return [=, &st] { return zyliBlurInitAlloc(w, ZylDataType(t), k, &st); };
    };
    const int huge = 0x7FFFFFFF;  // more row-buffer bytes than one allocation can hold
    std::vector<zt::StatusCase> cases = {
        {"sobel: width 0 before bottomUp", sobel(0, 4, 9, 2, 0, 0), zylStatusBadSize},
        {"sobel: bottomUp 2 before kernel size", sobel(8, 4, 9, 2, 0, 0), zylStatusBadArg},
        {"sobel: bottomUp -1", sobel(8, 1, 3, -1, 1, 0), zylStatusBadArg},
        {"sobel: kernel 9 before data type", sobel(8, 4, 9, 0, 1, 0), zylStatusBadSize},
        {"sobel: kernel 1", sobel(8, 1, 1, 0, 0, 0), zylStatusBadSize},
        {"sobel: kernel 4", sobel(8, 1, 4, 0, 1, 0), zylStatusBadSize},
        {"sobel: kernel 8", sobel(8, 1, 8, 0, 1, 0), zylStatusBadSize},
        {"sobel: xOrder -1", sobel(8, 4, 3, 0, -1, 0), zylStatusBadSize},
        {"sobel: yOrder -1", sobel(8, 4, 3, 0, 0, -1), zylStatusBadSize},
        {"sobel: xOrder 7 with kernel 7", sobel(8, 4, 7, 0, 7, 0), zylStatusBadSize},
        {"sobel: yOrder 3 with kernel 3", sobel(8, 9, 3, 1, 0, 3), zylStatusBadSize},
        {"sobel: data type 4", sobel(8, 4, 3, 0, 1, 0), zylStatusBadArg},
        {"sobel: data type 0", sobel(8, 0, 5, 1, 4, 4), zylStatusBadArg},
        {"sobel: data type 10", sobel(8, 10, 7, 0, 6, 6), zylStatusBadArg},
        {"sobel: too large for one block", sobel(huge, 9, 7, 0, 1, 0), zylStatusNoMemory},
        {"laplace: width 0 before data type", lap(0, 4, 3), zylStatusBadSize},
        {"laplace: kernel 9 before data type", lap(8, 4, 9), zylStatusBadSize},
        {"laplace: kernel 4", lap(8, 1, 4), zylStatusBadSize},
        {"laplace: data type 3", lap(8, 3, 3), zylStatusBadArg},
        {"laplace: too large for one block", lap(huge / 8, 1, 7), zylStatusNoMemory},
        {"blur: width -5 before data type", box(-5, 4, 3), zylStatusBadSize},
        {"blur: kernel 1 before data type", box(8, 4, 1), zylStatusBadSize},
        {"blur: kernel 6", box(8, 9, 6), zylStatusBadSize},
        {"blur: data type 4", box(8, 4, 5), zylStatusBadArg},
        {"blur: too large for one block", box(huge, 2, 3), zylStatusNoMemory},
    };
    zt::expect_statuses(cases, [&] { return st == sentinel; });
    // A null ppState comes before every other check.
    EXPECT_EQ(zyliSobelInitAlloc(0, ZylDataType(4), 9, 2, -1, 9, nullptr), zylStatusNullPtr);
    EXPECT_EQ(zyliLaplaceInitAlloc(0, ZylDataType(4), 9, nullptr), zylStatusNullPtr);
    EXPECT_EQ(zyliBlurInitAlloc(0, ZylDataType(4), 9, nullptr), zylStatusNullPtr);

    // Every accepted configuration is built in PublishedLayoutAndKernels. A release clears the
    // pointer; a second release finds null.
    ASSERT_EQ(zyliBlurInitAlloc(3, zyl8u, 3, &st), zylStatusOk);
    EXPECT_EQ(zyliConvolFree(&st), zylStatusOk);
    EXPECT_EQ(st, nullptr);
    EXPECT_EQ(zyliConvolFree(&st), zylStatusOk);
    EXPECT_EQ(zyliConvolFree(nullptr), zylStatusNullPtr);
}

// The published header of every kind of state: the row buffers directly after it, stateCode,
// pending, the ring of row buffers and the kernels.
TEST(FilterState, PublishedLayoutAndKernels)
{
    // Entry i of a kernel field: four equal lanes of 16s (8 bytes each) or 32f (16 bytes each).
    auto kernel_ok = [](const unsigned char *field, const std::vector<int> &want, bool f32) {
        unsigned char e[16 * 16] = {};
        for (std::size_t i = 0; i < want.size(); ++i) put_entry(e, int(i), want[i], f32);
        return std::memcmp(field, e, (want.size() + 1) * (f32 ? 16 : 8)) == 0;  // entry k: 0
    };
    // Every kind, aperture, order pair and bottom-up flag.
    std::vector<Cfg> cfgs;
    for (int k : {3, 5, 7})
        for (Kind kind : kKinds)
            for (int xo = 0; xo < (kind == Kind::Sobel ? k : 1); ++xo)
                for (int yo = 0; yo < (kind == Kind::Sobel ? k : 1); ++yo)
                    for (int bu = 0; bu < (kind == Kind::Sobel ? 2 : 1); ++bu)
                        cfgs.push_back({kind, k, xo, yo, bu});
    for (int maxW : {1, 7, 8, 9, 100})
        for (int t : {1, 2, 9})
            for (const Cfg &c : cfgs) {
                SCOPED_TRACE(describe(c) + " type " + std::to_string(t) + " maxW " +
                             std::to_string(maxW));
                State s(c, ZylDataType(t), maxW);
                ASSERT_NE(s.st, nullptr);
                const Header &hd = header(s.st);
                auto base = reinterpret_cast<const char *>(s.st);
                EXPECT_EQ(reinterpret_cast<std::uintptr_t>(s.st) % 32, 0u);
                EXPECT_EQ(static_cast<const char *>(hd.rowArea), base + sizeof(Header));
                const int k = c.k;
                EXPECT_EQ(hd.stateCode, c.kind == Kind::Sobel
                                            ? 8 * k + 4 * c.bu + c.xo % 2 + 2 * (c.yo % 2)
                                            : 8 * k);
                EXPECT_EQ(hd.pending, k);
                const int n = c.kind == Kind::Sobel ? k : c.kind == Kind::Laplace ? 2 * k : k + 1;
                for (int i = 0; i < 16; ++i) {
                    const char *want = base + sizeof(Header) + i * row_bytes(maxW);
                    EXPECT_EQ(static_cast<const char *>(hd.rows[i]), i < n ? want : nullptr) << i;
                }
                // Laplace: the second derivative across, smoothing down; the box sum has none.
                const bool f32 = t == 9, sobel = c.kind == Kind::Sobel, box = c.kind == Kind::Blur;
                const auto ky = sobel ? sobel_ky(c) : poly_kernel(k, 0);
                EXPECT_TRUE(box || kernel_ok(hd.kernelX, poly_kernel(k, sobel ? c.xo : 2), f32));
                EXPECT_TRUE(box || kernel_ok(hd.kernelY, ky, f32));
            }
    // The examples of the kernel definition, written out.
    const std::vector<std::pair<std::vector<int>, std::vector<int>>> examples = {
        {poly_kernel(3, 1), {-1, 0, 1}},
        {poly_kernel(3, 2), {1, -2, 1}},
        {poly_kernel(5, 1), {-1, -2, 0, 2, 1}},
        {poly_kernel(7, 2), {1, 2, -1, -4, -1, 2, 1}},
        {poly_kernel(7, 6), {1, -6, 15, -20, 15, -6, 1}},
        {poly_kernel(7, 0), {1, 6, 15, 20, 15, 6, 1}},
        {sobel_ky({Kind::Sobel, 3, 0, 1, 1}), {1, 0, -1}},
        {sobel_ky({Kind::Sobel, 3, 0, 2, 1}), {1, -2, 1}}};
    for (auto &[got, want] : examples) EXPECT_EQ(got, want);
    State s45({Kind::Sobel, 5, 1, 2, 1}, zyl8u, 4);
    EXPECT_EQ(header(s45.st).stateCode, 45);
}

// ---- filter validation --------------------------------------------------------------------------

// Each filter's order, then the state checks; a refused call leaves the destination, the states
// (header and row buffers) and the size record as they were.
TYPED_TEST(Filter, ValidationOrderAndNoWrites)
{
    using S = TypeParam;
    using D = DstOf<S>;
    constexpr ZylDataType type = type_of<S>, other = type == zyl8u ? zyl8s : zyl8u;
    constexpr int es = sizeof(S), ed = sizeof(D);
    const int w = 8, h = 4;
    Rng rng(7);
    Image<S> src({w, h, 1, 16, 0});
    Image<D> dst({w, h, 1, 16, 0});
    fill(src, rng);
    dst.fill_random(rng);
    S *ps = src.data();
    D *pd = dst.data();
    const int ss = src.step(), ds = dst.step();
    for (Kind kind : kKinds) {
        SCOPED_TRACE(kNames[int(kind)]);
        const bool box = kind == Kind::Blur;
        State fresh({kind, 5}, type, w), started({kind, 5}, type, w),
            narrow({kind, 5}, type, w - 1);
        State otherKind({box ? Kind::Sobel : Kind::Blur, 5}, type, w),
            otherType({kind, 5}, other, w);
        // A completed first strip leaves pending 0, so middle and last strips are taken.
        ZyliSize first{w, 3};
        ASSERT_EQ(api(kind, ps, ss, pd, ds, &first, started.st, zylStripFirst), zylStatusOk);
        ASSERT_EQ(header(started.st).pending, 0);
        dst.snapshot();
        ZyliConvState *f = fresh.st, *g = started.st, *n = narrow.st;
        // The destination's and every state's bytes.
        auto bytes = [&] {
            auto v = dst.roi_bytes();
            for (ZyliConvState *st : {f, g, n, otherKind.st, otherType.st})
                for (std::uint8_t b : state_bytes(st)) v.push_back(b);
            return v;
        };
        const auto before = bytes();
        ZyliSize roi{}, roiGiven{};
        auto call = [&](const S *s, int sStep, D *d, int dStep, ZyliSize r, ZyliConvState *st,
                        int role, bool nullRoi = false) {
            return [=, &roi, &roiGiven] {
                roi = roiGiven = r;
                return api(kind, s, sStep, d, dStep, nullRoi ? nullptr : &roi, st, role);
            };
        };
        const ZylStatus stepCode = box ? zylStatusBadStep : zylStatusBadSize;
        const ZylStatus alignCode = box ? zylStatusStepNotAligned : zylStatusBadSize;
        // The box sum takes steps shorter than a row (then role 7 fails); the others refuse them.
        const ZylStatus shortRow = box ? zylStatusBadArg : zylStatusBadSize;
        // clang-format off
        const std::vector<zt::StatusCase> cases = {
            {"null src before size and role", call(nullptr, 0, pd, ds, {0, 0}, f, 9), zylStatusNullPtr},
            {"null dst", call(ps, ss, nullptr, ds, {w, h}, f, 0), zylStatusNullPtr},
            {"null state", call(ps, ss, pd, ds, {w, h}, nullptr, 0), zylStatusNullPtr},
            {"null size", call(ps, ss, pd, ds, {w, h}, f, 0, true), zylStatusNullPtr},
            {"src step 0 with width 0", call(ps, 0, pd, ds, {0, h}, f, 0), stepCode},
            {"negative dst step", call(ps, ss, pd, -ds, {w, h}, f, 0), stepCode},
            {"width 0 before alignment and role", call(ps, ss + 1, pd, ds + 1, {0, h}, f, 7), zylStatusBadSize},
            {"height 0", call(ps, ss, pd, ds, {w, 0}, f, 0), zylStatusBadSize},
            {"negative width", call(ps, ss, pd, ds, {-3, h}, f, 0), zylStatusBadSize},
            {"src step a pixel short of a row", call(ps, (w - 1) * es, pd, ds, {w, h}, g, 7), shortRow},
            {"dst step a pixel short of a row", call(ps, ss, pd, (w - 1) * ed, {w, h}, g, 7), shortRow},
            {"odd src step before role", call(ps, ss + es / 2, pd, ds, {w, h}, f, 3), es > 1 ? alignCode : zylStatusBadArg},
            {"odd dst step before role", call(ps, ss, pd, ds + ed / 2, {w, h}, f, 3), alignCode},
            {"role 3", call(ps, ss, pd, ds, {w, h}, f, 3), zylStatusBadArg},
            {"role 5", call(ps, ss, pd, ds, {w, h}, g, 5), zylStatusBadArg},
            {"role -1", call(ps, ss, pd, ds, {w, h}, g, -1), zylStatusBadArg},
            {"role 8", call(ps, ss, pd, ds, {w, h}, g, 8), zylStatusBadArg},
            {"middle on a new state", call(ps, ss, pd, ds, {w, h}, f, zylStripMiddle), zylStatusBadArg},
            {"last on a new state", call(ps, ss, pd, ds, {w, h}, f, zylStripLast), zylStatusBadArg},
            {"pending rule before width check", call(ps, ss, pd, ds, {w, h}, n, zylStripMiddle), zylStatusBadArg},
            {"state of another filter", call(ps, ss, pd, ds, {w, h}, otherKind.st, 0), zylStatusBadArg},
            {"state of another type", call(ps, ss, pd, ds, {w, h}, otherType.st, 0), zylStatusBadArg},
            {"other filter before width check", call(ps, ss, pd, ds, {w + 1, h}, otherKind.st, 0), zylStatusBadArg},
            {"wider than the state's rows", call(ps, ss, pd, ds, {w, h}, n, 0), zylStatusBadSize},
            {"wider, as a middle strip", call(ps, ss, pd, ds, {w + 1, h}, g, zylStripMiddle), zylStatusBadSize},
            // accepted by the 16-bit destinations: last, as it writes
            {"dst step 2 mod 4", call(ps, ss, pd, ds + 2, {w, h}, f, 0), ed == 4 ? alignCode : zylStatusOk},
        };
        // clang-format on
        zt::expect_statuses(cases, [&] {
            return roi.width == roiGiven.width && roi.height == roiGiven.height &&
                   bytes() == before && dst.intact_outside_roi();
        });
        // Only the box sum takes source steps shorter than a row (rows then overlap).
        for (int ssShort : {es, (w - 1) * es}) {
            ZyliSize r{w, h};
            EXPECT_EQ(api(kind, ps, ssShort, pd, ds, &r, f, 0),
                      box ? zylStatusOk : zylStatusBadSize);
            EXPECT_EQ(r.height, h);
        }
    }
}

// ---- whole images, strips and twins --------------------------------------------------------------

// Every aperture on every small size, heights below the aperture included; then every filter on
// widths around every block size and random widths, with random orders, heights, padded steps and
// offsets; for 32f also rows of NaNs of both signs among plain values. The whole call matches the
// reference; a third of the sources lie flush against inaccessible pages before their first byte
// and a third after their last (only the ROI is read). Every twin gives the portable twin's rows,
// whole and in strips, also with any taps a state may hold (outer taps other than 1, large gains:
// 16-bit horizontal results wrap alike; where two NaNs meet in a sum the first operand's NaN
// wins). Random cuts into a first, middle and last strips give the whole call's rows, with the
// protocol's row counts and pending values; refused calls amid a sequence change nothing; the
// state then serves the next image.
TYPED_TEST(Filter, WholeImageStripsAndTwins)
{
    using S = TypeParam;
    using D = DstOf<S>;
    constexpr bool f32 = std::is_same_v<S, Zyl32f>;
    enum Variant { kPlain, kNaNs, kAnyTaps };
    struct Case {
        Kind kind;
        int k, w, h;  // 0: random aperture, width, height
        Variant v;
    };
    std::vector<Case> cases;
    for (Kind kind : kKinds)
        for (int k : {3, 5, 7})
            for (int w = 1; w <= k + 2; ++w)
                for (int h = 1; h <= 4; ++h) cases.push_back({kind, k, w, h, kPlain});
    // Every remainder of 32; as many widths as not to share a factor with the 3 kinds.
    const int widths[] = {1,  2,  3,  4,  5,  7,  8,  9,  11, 12, 13, 15, 16,
                          17, 19, 20, 21, 23, 24, 25, 31, 33, 40, 42, 45, 46,
                          47, 50, 54, 58, 59, 60, 61, 62, 64, 70, 77, 101};
    constexpr int n = int(std::size(widths));
    for (int i = 0; i < 9 * n + 60; ++i)  // every kind, listed width and variant; then random
        cases.push_back(
            {kKinds[i % 3], 0, i < 9 * n ? widths[i % n] : 0, 0, Variant(i / (3 * n) % 3)});
    std::uint32_t seed = 100;
    for (const Case &z : cases) {
        Rng rng(++seed);
        SCOPED_TRACE(zt::seed_note(seed));
        Cfg c = random_cfg(rng, z.kind);
        if (z.k) c.k = z.k, c.xo = std::min(c.xo, z.k - 1), c.yo = std::min(c.yo, z.k - 1);
        const bool anyTaps = z.v == kAnyTaps && c.kind != Kind::Blur;
        SCOPED_TRACE(describe(c) + " variant " + std::to_string(z.v));
        Layout l = zt::random_layout<S>(rng, 140, 24);
        l.width = z.w ? z.w : l.width, l.height = z.h ? z.h : l.height;
        Image<S> src(l);
        fill(src, rng);
        const int w = src.width(), H = src.height(), a = c.k / 2;
        const bool pattern = rng.chance(0.2);  // +NaN, -NaN, then plain values
        for (int i = 0; i < w * H && z.v == kNaNs && f32; ++i) {
            const int r = pattern ? std::min(i % w, 2) : rng.uniform(0, 3);
            const std::uint32_t nan =
                0x7FC00000u | (rng.bits32() & 0x003FFFFFu) | (r == 1 ? 0x80000000u : 0);
            src.at(i % w, i / w) = r < 2 ? std::bit_cast<float>(nan) : float(rng.uniform(-40, 40));
        }
        const int extra = rng.chance(0.5) ? 0 : rng.uniform(1, z.k ? 9 : 40);  // unused row width
        Image<D> whole(layout_for<D>(rng, w, H));
        State ws(c, type_of<S>, w + extra);
        zt::GuardedImage<S> guarded(w, H, 1, seed % 3 ? zt::Guard::Before : zt::Guard::After);
        guarded.copy_from(src);
        const bool flush = seed % 3 < 2;
        const S *ps = flush ? guarded.data() : src.data();
        ZyliSize roi{w, H};
        ASSERT_EQ(api(c.kind, ps, flush ? guarded.step() : src.step(), whole.data(), whole.step(),
                      &roi, ws.st, 0),
                  0);
        EXPECT_EQ(roi.width, w);
        EXPECT_EQ(roi.height, H);
        EXPECT_TRUE(same_values(whole, reference(c, src)));
        EXPECT_TRUE(whole.intact_outside_roi());

        std::vector<int> taps(2 * c.k);
        for (int &t : taps) t = rng.uniform(-20, 20);
        const Layout dl = layout_for<D>(rng, w, H);
        // A first strip of a rows or more and a last strip, or one whole call.
        const int cut = H > a && rng.chance(0.7) ? rng.uniform(a, H - 1) : H;
        zt::expect_twins_agree([&](zt::Twin t) {
            State st(c, type_of<S>, w);
            for (int i = 0; i < c.k && anyTaps; ++i) {  // entry k stays 0
                put_entry(header(st.st).kernelX, i, taps[i], f32);
                put_entry(header(st.st).kernelY, i, taps[c.k + i], f32);
            }
            Image<D> dst(dl);
            int n = twin(t, c.kind, src.data(), src.step(), dst.data(), dst.step(), w, cut, st.st,
                         true, cut == H);
            if (cut < H)
                n += twin(t, c.kind, src.row(cut), src.step(), dst.row(n), dst.step(), w, H - cut,
                          st.st, false, true);
            EXPECT_EQ(n, H);
            EXPECT_TRUE(dst.intact_outside_roi());
            return dst.roi_bytes();
        });
        if (H <= a) continue;

        Image<D> strips(layout_for<D>(rng, w, H));
        State ss(c, type_of<S>, w + rng.uniform(0, 5));
        // One call of `rows` source rows from row y into row `at` of d; *written: rows written.
        int written = 0;
        auto call = [&](int y, Image<D> &d, int at, int rows, int role) {
            ZyliSize r{w, rows};
            const ZylStatus status =
                api(c.kind, src.row(y), src.step(), d.row(at), d.step(), &r, ss.st, role);
            written = r.height;
            return status;
        };
        // A first strip of fewer than a rows leaves pending a - h: middle and last are refused,
        // and a new first strip starts over.
        if (a > 1) {
            const int hs = rng.uniform(1, a - 1);
            ASSERT_EQ(call(0, strips, 0, hs, zylStripFirst), zylStatusOk);
            EXPECT_EQ(written, 0);
            EXPECT_EQ(header(ss.st).pending, a - hs);
            for (int role : {int(zylStripMiddle), int(zylStripLast), 3})
                EXPECT_EQ(call(0, strips, 0, 1, role), zylStatusBadArg);
        }

        // first, middles, last; a refused call between them (no rows) changes nothing
        int y = 0, out = 0;
        auto strip = [&](int rows, int role, int expectRows) {
            auto before = state_bytes(ss.st);
            EXPECT_EQ(call(y, strips, out, 0, role), zylStatusBadSize);
            EXPECT_TRUE(zt::same_bytes(state_bytes(ss.st), before));
            ASSERT_EQ(call(y, strips, out, rows, role), zylStatusOk);
            EXPECT_EQ(written, expectRows) << "role " << role << " rows " << rows;
            y += rows;
            out += written;
        };
        const int h1 = rng.uniform(a, std::max(a, H - 1));
        strip(h1, zylStripFirst, h1 - a);
        EXPECT_EQ(header(ss.st).pending, 0);
        while (H - y > 1 && rng.chance(0.6)) {
            const int rows = rng.uniform(1, H - y - 1);
            strip(rows, zylStripMiddle, rows);
        }
        strip(H - y, zylStripLast, H - y + a);
        ASSERT_EQ(out, H);
        EXPECT_TRUE(zt::same_bytes(strips.roi_bytes(), whole.roi_bytes()));
        EXPECT_TRUE(strips.intact_outside_roi());

        // The same state serves the next image; the box sum's role 3 acts as a whole call
        // after a completed first strip.
        Image<D> again(layout_for<D>(rng, w, H));
        const bool box = c.kind == Kind::Blur;
        if (box) ASSERT_EQ(call(0, again, 0, a, zylStripFirst), zylStatusOk);
        ASSERT_EQ(call(0, again, 0, H, box ? 3 : zylStripWhole), zylStatusOk);
        EXPECT_EQ(written, H);
        EXPECT_TRUE(zt::same_bytes(again.roi_bytes(), whole.roi_bytes()));
    }
}

// Hand-derived values on 9x9 8u images: binomial smoothing and its saturation, derivatives of
// constants, the orientation and sign of each derivative (bottomUp included), impulses, box sums
// and derivatives over replicated borders.
TEST(FilterValues, HandDerived)
{
    using Pattern = int (*)(int x, int y, int v);
    const Pattern flat = [](int, int, int v) { return v; };
    const Pattern stepX = [](int x, int, int v) { return x < 4 ? 0 : v; };
    const Pattern stepY = [](int, int y, int v) { return y < 4 ? 0 : v; };
    const Pattern dot = [](int x, int y, int v) { return x == 4 && y == 4 ? v : 0; };
    const Pattern ramp = [](int x, int y, int) { return x + 10 * y; };
    struct Case {
        Cfg c;
        Pattern p;
        int v, x, y, want;
    };
    const Kind sobel = Kind::Sobel, lap = Kind::Laplace, box = Kind::Blur;
    const std::vector<Case> cases = {
        {{sobel, 5}, flat, 8, 0, 0, 8 << 8},  // the binomial weights sum to 4^(k-1)
        {{sobel, 7}, flat, 255, 4, 4, 32767},
        {{box, 7}, flat, 255, 0, 0, 49 * 255},
        {{sobel, 7, 1}, stepX, 255, 4, 4, 32767},
        {{sobel, 7, 0, 1, 1}, stepY, 255, 4, 4, -32768},
        {{lap, 3}, dot, 100, 4, 4, -800},  // 2 0 2 / 0 -8 0 / 2 0 2
        {{lap, 3}, dot, 100, 3, 3, 200},
        {{lap, 3}, dot, 100, 4, 3, 0},
        {{lap, 7}, dot, 255, 4, 4, -32768},
        {{box, 3}, ramp, 0, 0, 0, 3 * (0 + 0 + 1) + 30 * (0 + 0 + 1)},
        {{box, 3}, ramp, 0, 8, 8, 3 * (7 + 8 + 8) + 30 * (7 + 8 + 8)},
        {{box, 7}, ramp, 0, 0, 0, 7 * 6 + 70 * 6},  // 0 0 0 0 1 2 3 each way
        {{sobel, 3, 1}, ramp, 0, 0, 0, 4 * (1 - 0)},
        {{sobel, 3, 1}, ramp, 0, 4, 4, 4 * (5 - 3)},
        {{sobel, 3, 0, 1}, ramp, 0, 4, 0, 4 * (10 - 0)},
        {{sobel, 3, 0, 1}, ramp, 0, 4, 4, 4 * (50 - 30)},
        {{sobel, 3, 0, 1, 1}, ramp, 0, 4, 4, -4 * (50 - 30)},
        {{sobel, 3, 1, 1}, ramp, 0, 4, 4, 0},  // the cross derivative of a plane
    };
    for (const Case &z : cases) {
        SCOPED_TRACE(describe(z.c) + " at " + std::to_string(z.x) + "," + std::to_string(z.y));
        Image<Zyl8u> src({9, 9});
        Image<Zyl16s> dst({9, 9});
        for (int i = 0; i < 81; ++i) src.at(i % 9, i / 9) = Zyl8u(z.p(i % 9, i / 9, z.v));
        State st(z.c, zyl8u, 9);
        ZyliSize roi{9, 9};
        ASSERT_EQ(api(z.c.kind, src.data(), src.step(), dst.data(), dst.step(), &roi, st.st, 0), 0);
        EXPECT_EQ(dst.at(z.x, z.y), z.want);
    }
}

}  // namespace
