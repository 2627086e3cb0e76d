// Strip filters (general Sobel, Laplace, box sum) and their states: constructor validation and
// header layout, kernels against polynomial coefficients, filter validation orders with refused
// calls leaving everything unchanged, whole images against a 2-D reference model, strip
// sequences against whole calls, twins, guard pages and hand-derived edge values.
#include <bit>
#include <algorithm>
#include <cmath>
#include <cstddef>

#include "filter/filter_state.h"
#include "filter/filter.h"
#include "support.h"

using zt::Image;
using zt::Layout;
using zt::Rng;

namespace {

enum class Kind { Sobel, Laplace, Blur };
const Kind kKinds[] = {Kind::Sobel, Kind::Laplace, Kind::Blur};
const char *name(Kind k)
{
    return k == Kind::Sobel ? "Sobel" : k == Kind::Laplace ? "Laplace" : "Blur";
}

template <class S> using DstOf = std::conditional_t<std::is_same_v<S, Zyl32f>, Zyl32f, Zyl16s>;
template <class S> constexpr ZylDataType type_of()
{
    return std::is_same_v<S, Zyl8u> ? zyl8u : std::is_same_v<S, Zyl8s> ? zyl8s : zyl32f;
}

// Any int as a role, as a C caller may pass it.
ZylStripRole role_of(int v)
{
    static_assert(sizeof(ZylStripRole) == sizeof(int));
    ZylStripRole r;
    std::memcpy(&r, &v, sizeof r);
    return r;
}

// ---- the exported functions and the twins behind one interface ----------------------------------

ZylStatus api(Kind k, const Zyl8u *s, int ss, Zyl16s *d, int ds, ZyliSize *r, ZyliConvState *st,
              int role)
{
    if (k == Kind::Sobel) return zyliSobel_8u16s_C1R(s, ss, d, ds, r, st, role_of(role));
    if (k == Kind::Laplace) return zyliLaplace_8u16s_C1R(s, ss, d, ds, r, st, role_of(role));
    return zyliBlur_8u16s_C1R(s, ss, d, ds, r, st, role_of(role));
}
ZylStatus api(Kind k, const Zyl8s *s, int ss, Zyl16s *d, int ds, ZyliSize *r, ZyliConvState *st,
              int role)
{
    if (k == Kind::Sobel) return zyliSobel_8s16s_C1R(s, ss, d, ds, r, st, role_of(role));
    if (k == Kind::Laplace) return zyliLaplace_8s16s_C1R(s, ss, d, ds, r, st, role_of(role));
    return zyliBlur_8s16s_C1R(s, ss, d, ds, r, st, role_of(role));
}
ZylStatus api(Kind k, const Zyl32f *s, int ss, Zyl32f *d, int ds, ZyliSize *r, ZyliConvState *st,
              int role)
{
    if (k == Kind::Sobel) return zyliSobel_32f_C1R(s, ss, d, ds, r, st, role_of(role));
    if (k == Kind::Laplace) return zyliLaplace_32f_C1R(s, ss, d, ds, r, st, role_of(role));
    return zyliBlur_32f_C1R(s, ss, d, ds, r, st, role_of(role));
}

template <class S>
int twin(bool simd, Kind k, const S *s, int ss, DstOf<S> *d, int ds, int w, int h,
         ZyliConvState *st, bool starts, bool ends)
{
#if ZYLCV_SIMD
    if (simd) {
        if (k == Kind::Sobel) return zylcv::sse2::sobel(s, ss, d, ds, w, h, st, starts, ends);
        if (k == Kind::Laplace) return zylcv::sse2::laplace(s, ss, d, ds, w, h, st, starts, ends);
        return zylcv::sse2::blur(s, ss, d, ds, w, h, st, starts, ends);
    }
#endif
    (void)simd;
    if (k == Kind::Sobel) return zylcv::portable::sobel(s, ss, d, ds, w, h, st, starts, ends);
    if (k == Kind::Laplace) return zylcv::portable::laplace(s, ss, d, ds, w, h, st, starts, ends);
    return zylcv::portable::blur(s, ss, d, ds, w, h, st, starts, ends);
}

// ---- states -------------------------------------------------------------------------------------

// A filter configuration: aperture, Sobel orders and bottom-up flag.
struct Cfg {
    Kind kind;
    int k = 3, xo = 0, yo = 0, bu = 0;
};

Cfg random_cfg(Rng &rng, Kind kind)
{
    Cfg c{kind};
    c.k = 3 + 2 * rng.uniform(0, 2);
    if (kind == Kind::Sobel) {
        c.xo = rng.uniform(0, c.k - 1);
        c.yo = rng.uniform(0, c.k - 1);
        c.bu = rng.uniform(0, 1);
    }
    return c;
}
std::string describe(const Cfg &c)
{
    return std::string(name(c.kind)) + " k=" + std::to_string(c.k) +
           " xOrder=" + std::to_string(c.xo) + " yOrder=" + std::to_string(c.yo) +
           " bottomUp=" + std::to_string(c.bu);
}

// Owns one state; frees it through zyliConvolFree.
struct State {
    ZyliConvState *p = nullptr;
    State() = default;
    State(const Cfg &c, ZylDataType type, int maxW)
    {
        ZylStatus s = c.kind == Kind::Sobel
                          ? zyliSobelInitAlloc(maxW, type, c.k, c.bu, c.xo, c.yo, &p)
                      : c.kind == Kind::Laplace ? zyliLaplaceInitAlloc(maxW, type, c.k, &p)
                                                : zyliBlurInitAlloc(maxW, type, c.k, &p);
        EXPECT_EQ(s, zylStatusOk);
    }
    State(const State &) = delete;
    State &operator=(const State &) = delete;
    ~State() { zyliConvolFree(&p); }
};

std::size_t row_bytes(int maxW) { return (std::size_t(maxW) * 4 + 31) / 32 * 32; }
int buffers_of(Kind kind, int k)
{
    return kind == Kind::Sobel ? k : kind == Kind::Laplace ? 2 * k : k + 1;
}

// Every byte of a state: header and row buffers.
std::vector<std::uint8_t> state_bytes(const ZyliConvState *st)
{
    int n = 0;
    while (n < 16 && st->rows[n]) ++n;
    auto p = reinterpret_cast<const std::uint8_t *>(st);
    return {p, p + sizeof(ZyliConvState) + n * row_bytes(st->maxWidth)};
}

// ---- reference model ----------------------------------------------------------------------------

// Coefficients of (1 + z)^(k-1-m) (z - 1)^m, lowest power first, by polynomial multiplication.
std::vector<int> poly_kernel(int k, int m)
{
    std::vector<int> p{1};
    auto times = [&](int c0, int c1) {  // p *= c0 + c1 z
        std::vector<int> q(p.size() + 1, 0);
        for (std::size_t i = 0; i < p.size(); ++i) {
            q[i] += c0 * p[i];
            q[i + 1] += c1 * p[i];
        }
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

// A source image with clamped reads.
template <class S> struct Plane {
    int w, h;
    std::vector<S> px;
    explicit Plane(const Image<S> &img) : w(img.width()), h(img.height())
    {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) px.push_back(img.at(x, y));
    }
    S at(int x, int y) const
    {
        return px[std::size_t(std::clamp(y, 0, h - 1)) * w + std::clamp(x, 0, w - 1)];
    }
};

Zyl16s saturate(long v) { return static_cast<Zyl16s>(std::clamp(v, -32768L, 32767L)); }

// 8-bit sources: the exact 2-D sum of the outer-product kernel over clamped neighbours.
template <class S> std::vector<Zyl16s> reference(const Cfg &c, const Plane<S> &p)
{
    const int k = c.k, a = k / 2;
    std::vector<long> k2(k * k);  // k2[j*k + i]: row offset j - a, column offset i - a
    if (c.kind == Kind::Sobel) {
        auto kx = poly_kernel(k, c.xo), ky = sobel_ky(c);
        for (int j = 0; j < k; ++j)
            for (int i = 0; i < k; ++i) k2[j * k + i] = long(ky[j]) * kx[i];
    } else if (c.kind == Kind::Laplace) {
        auto kd = poly_kernel(k, 2), ks = poly_kernel(k, 0);
        for (int j = 0; j < k; ++j)
            for (int i = 0; i < k; ++i) k2[j * k + i] = long(kd[j]) * ks[i] + long(ks[j]) * kd[i];
    } else {
        std::fill(k2.begin(), k2.end(), 1L);
    }
    std::vector<Zyl16s> out;
    for (int y = 0; y < p.h; ++y)
        for (int x = 0; x < p.w; ++x) {
            long s = 0;
            for (int j = 0; j < k; ++j)
                for (int i = 0; i < k; ++i) s += k2[j * k + i] * long(p.at(x + i - a, y + j - a));
            out.push_back(saturate(s));
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
std::vector<float> blur_reference(int k, const Plane<float> &p)
{
    const int a = k / 2, w = p.w, H = p.h;
    std::vector<std::vector<float>> hs(H, std::vector<float>(w));
    for (int r = 0; r < H; ++r) {
        auto P = [&](int x) { return p.at(x, r); };
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
std::vector<float> reference(const Cfg &c, const Plane<float> &p)
{
    const int k = c.k;
    if (c.kind == Kind::Blur) return blur_reference(k, p);
    std::vector<float> out;
    auto hsum = [&](const std::vector<int> &kx, bool odd, int x, int y) {
        return pairs(kx, odd, [&](int d) { return p.at(x + d, y); });
    };
    for (int y = 0; y < p.h; ++y)
        for (int x = 0; x < p.w; ++x) {
            auto row = [&](int d) { return std::clamp(y + d, 0, p.h - 1); };
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

// Equal bits; NaNs match any NaN (payloads depend on the order the processor meets two NaNs).
bool same_value(Zyl16s a, Zyl16s b) { return a == b; }
bool same_value(Zyl32f a, Zyl32f b) { return zt::same_bits_or_nan(a, b); }

template <class D>
::testing::AssertionResult same_rows(const Image<D> &got, int firstRow, const std::vector<D> &want,
                                     int w)
{
    for (std::size_t i = 0; i < want.size(); ++i) {
        int x = int(i % w), y = int(i / w) + firstRow;
        if (!same_value(got.at(x, y), want[i]))
            return ::testing::AssertionFailure()
                   << "at (" << x << "," << y << "): " << double(got.at(x, y)) << " vs "
                   << double(want[i]);
    }
    return ::testing::AssertionSuccess();
}
template <class D> std::vector<D> rows_of(const Image<D> &img)
{
    std::vector<D> v;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) v.push_back(img.at(x, y));
    return v;
}

// Random images: 8-bit sources take every value, and in a quarter of the images only their
// extremes (the largest sums and saturation); 32f takes mixed magnitudes and special values.
template <class S> void fill(Image<S> &img, Rng &rng)
{
    const bool extremes = rng.chance(0.25);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            if constexpr (std::is_same_v<S, Zyl32f>)
                img.at(x, y) = zt::random_float(rng, 0.01);
            else if (extremes)
                img.at(x, y) =
                    rng.chance(0.5) ? std::numeric_limits<S>::min() : std::numeric_limits<S>::max();
            else
                img.at(x, y) = zt::random_value<S>(rng);
        }
    img.snapshot();
}
template <class T> Layout layout_for(Rng &rng, int w, int h)
{
    Layout l = zt::random_layout<T>(rng, 1, 1);
    l.width = w;
    l.height = h;
    return l;
}

template <class S> class ConvFilter : public ::testing::Test {
};
using SourceTypes = ::testing::Types<Zyl8u, Zyl8s, Zyl32f>;
TYPED_TEST_SUITE(ConvFilter, SourceTypes);

// ---- constructors -------------------------------------------------------------------------------

TEST(ConvState, ConstructorValidation)
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
        {"sobel: null ppState before everything",
         [] { return zyliSobelInitAlloc(0, ZylDataType(4), 9, 2, -1, 9, nullptr); },
         zylStatusNullPtr},
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
        {"laplace: null ppState",
         [] { return zyliLaplaceInitAlloc(0, ZylDataType(4), 9, nullptr); }, zylStatusNullPtr},
        {"laplace: width 0 before data type", lap(0, 4, 3), zylStatusBadSize},
        {"laplace: kernel 9 before data type", lap(8, 4, 9), zylStatusBadSize},
        {"laplace: kernel 4", lap(8, 1, 4), zylStatusBadSize},
        {"laplace: data type 3", lap(8, 3, 3), zylStatusBadArg},
        {"laplace: too large for one block", lap(huge / 8, 1, 7), zylStatusNoMemory},
        {"blur: null ppState", [] { return zyliBlurInitAlloc(0, ZylDataType(4), 9, nullptr); },
         zylStatusNullPtr},
        {"blur: width -5 before data type", box(-5, 4, 3), zylStatusBadSize},
        {"blur: kernel 1 before data type", box(8, 4, 1), zylStatusBadSize},
        {"blur: kernel 6", box(8, 9, 6), zylStatusBadSize},
        {"blur: data type 4", box(8, 4, 5), zylStatusBadArg},
        {"blur: too large for one block", box(huge, 2, 3), zylStatusNoMemory},
    };
    zt::expect_statuses(cases, [&] { return st == sentinel; });

    // Accepted calls store a state; every aperture and order limit is inside the range.
    for (int k : {3, 5, 7})
        for (int t : {1, 2, 9}) {
            st = nullptr;
            EXPECT_EQ(zyliSobelInitAlloc(1, ZylDataType(t), k, 1, k - 1, k - 1, &st), zylStatusOk);
            EXPECT_NE(st, nullptr);
            EXPECT_EQ(zyliConvolFree(&st), zylStatusOk);
            EXPECT_EQ(st, nullptr);
            EXPECT_EQ(zyliConvolFree(&st), zylStatusOk);  // the second release finds null
            EXPECT_EQ(zyliLaplaceInitAlloc(3, ZylDataType(t), k, &st), zylStatusOk);
            EXPECT_EQ(zyliConvolFree(&st), zylStatusOk);
            EXPECT_EQ(zyliBlurInitAlloc(3, ZylDataType(t), k, &st), zylStatusOk);
            EXPECT_EQ(zyliConvolFree(&st), zylStatusOk);
        }
    EXPECT_EQ(zyliConvolFree(nullptr), zylStatusNullPtr);
}

// The header layout, stateCode, pending, the row buffers and the kernels of every kind of state.
TEST(ConvState, HeaderAndKernels)
{
    const std::size_t ptr = sizeof(void *);
    EXPECT_EQ(offsetof(ZyliConvState, rowArea), 0u);
    EXPECT_EQ(offsetof(ZyliConvState, stateCode), ptr);
    EXPECT_EQ(offsetof(ZyliConvState, pending), ptr + 4);
    EXPECT_EQ(offsetof(ZyliConvState, rows), ptr + 8);
    EXPECT_EQ(offsetof(ZyliConvState, kernelX), ptr + 8 + 16 * ptr);
    EXPECT_EQ(offsetof(ZyliConvState, kernelY), ptr + 8 + 16 * ptr + 256);
    EXPECT_EQ(sizeof(ZyliConvState) % 32, 0u);

    // Entry i of a kernel field: four equal lanes of 16s (8 bytes each) or 32f (16 bytes each).
    auto entry_ok = [](const unsigned char *field, int i, int want, bool f32) {
        for (int lane = 0; lane < 4; ++lane) {
            if (f32) {
                float v;
                std::memcpy(&v, field + 16 * i + 4 * lane, 4);
                if (v != float(want)) return false;
            } else {
                Zyl16s v;
                std::memcpy(&v, field + 8 * i + 2 * lane, 2);
                if (v != want) return false;
            }
        }
        return true;
    };
    auto kernel_ok = [&](const unsigned char *field, const std::vector<int> &want, bool f32) {
        for (std::size_t i = 0; i < want.size(); ++i)
            if (!entry_ok(field, int(i), want[i], f32))
                return ::testing::AssertionFailure() << "entry " << i;
        if (!entry_ok(field, int(want.size()), 0, f32))
            return ::testing::AssertionFailure() << "last entry not 0";
        return ::testing::AssertionSuccess();
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
                const ZyliConvState *st = s.p;
                ASSERT_NE(st, nullptr);
                auto base = reinterpret_cast<const char *>(st);
                EXPECT_EQ(reinterpret_cast<std::uintptr_t>(st) % 32, 0u);
                EXPECT_EQ(static_cast<const char *>(st->rowArea), base + sizeof(ZyliConvState));
                const int k = c.k;
                EXPECT_EQ(st->stateCode, c.kind == Kind::Sobel
                                             ? 8 * k + 4 * c.bu + c.xo % 2 + 2 * (c.yo % 2)
                                             : 8 * k);
                EXPECT_EQ(st->pending, k);
                const int n = buffers_of(c.kind, k);
                for (int i = 0; i < 16; ++i) {
                    const char *want = base + sizeof(ZyliConvState) + i * row_bytes(maxW);
                    EXPECT_EQ(static_cast<const char *>(st->rows[i]), i < n ? want : nullptr) << i;
                }
                const bool f32 = t == 9;
                if (c.kind == Kind::Sobel) {
                    EXPECT_TRUE(kernel_ok(st->kernelX, poly_kernel(k, c.xo), f32));
                    EXPECT_TRUE(kernel_ok(st->kernelY, sobel_ky(c), f32));
                } else if (c.kind == Kind::Laplace) {
                    EXPECT_TRUE(kernel_ok(st->kernelX, poly_kernel(k, 2), f32));
                    EXPECT_TRUE(kernel_ok(st->kernelY, poly_kernel(k, 0), f32));
                }
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
        {sobel_ky({Kind::Sobel, 3, 0, 2, 1}), {1, -2, 1}},
    };
    for (auto &[got, want] : examples) EXPECT_EQ(got, want);
    State s45({Kind::Sobel, 5, 1, 2, 1}, zyl8u, 4);
    EXPECT_EQ(s45.p->stateCode, 45);
}

// ---- filter validation --------------------------------------------------------------------------

// Each filter's order, then the state checks; a refused call leaves the destination, the state
// (header and row buffers) and the size record as they were.
TYPED_TEST(ConvFilter, ValidationOrderAndNoWrites)
{
    using S = TypeParam;
    using D = DstOf<S>;
    constexpr ZylDataType type = type_of<S>();
    constexpr ZylDataType other = type == zyl8u ? zyl8s : zyl8u;
    constexpr int es = sizeof(S), ed = sizeof(D);
    const int w = 8, h = 4;
    Rng rng(7);
    Image<S> src({w, h, 1, 16, 0});
    Image<D> dst({w, h, 1, 16, 0});
    fill(src, rng);
    dst.fill_random(rng);
    const int ss = src.step(), ds = dst.step();
    for (Kind kind : kKinds) {
        SCOPED_TRACE(name(kind));
        const bool box = kind == Kind::Blur;
        State fresh({kind, 5}, type, w), started({kind, 5}, type, w);
        State otherKind({kind == Kind::Sobel ? Kind::Blur : Kind::Sobel, 5}, type, w),
            otherType({kind, 5}, other, w);
        State narrow({kind, 5}, type, w - 1);
        // A completed first strip leaves pending 0, so middle and last strips are taken.
        ZyliSize first{w, 3};
        ASSERT_EQ(api(kind, src.data(), ss, dst.data(), ds, &first, started.p, zylStripFirst),
                  zylStatusOk);
        ASSERT_EQ(started.p->pending, 0);
        dst.snapshot();

        struct Case {
            std::string what;
            const S *s;
            int ss;
            D *d;
            int ds;
            ZyliSize roi;
            bool nullRoi;
            ZyliConvState *st;
            int role;
            ZylStatus expected;
        };
        S *ps = src.data();
        D *pd = dst.data();
        ZyliConvState *f = fresh.p, *g = started.p;
        const ZylStatus stepCode = box ? zylStatusBadStep : zylStatusBadSize;
        const ZylStatus alignCode = box ? zylStatusStepNotAligned : zylStatusBadSize;
        // The box sum takes steps shorter than a row (then role 7 fails); the others refuse them.
        const ZylStatus shortRow = box ? zylStatusBadArg : zylStatusBadSize;
        // clang-format off
        std::vector<Case> cases = {
            {"null src before size and role", nullptr, 0, pd, ds, {0, 0}, false, f, 9, zylStatusNullPtr},
            {"null dst", ps, ss, nullptr, ds, {w, h}, false, f, 0, zylStatusNullPtr},
            {"null state", ps, ss, pd, ds, {w, h}, false, nullptr, 0, zylStatusNullPtr},
            {"null size", ps, ss, pd, ds, {w, h}, true, f, 0, zylStatusNullPtr},
            {"src step 0 with width 0", ps, 0, pd, ds, {0, h}, false, f, 0, stepCode},
            {"negative dst step", ps, ss, pd, -ds, {w, h}, false, f, 0, stepCode},
            {"width 0 before alignment and role", ps, ss + 1, pd, ds + 1, {0, h}, false, f, 7, zylStatusBadSize},
            {"height 0", ps, ss, pd, ds, {w, 0}, false, f, 0, zylStatusBadSize},
            {"negative width", ps, ss, pd, ds, {-3, h}, false, f, 0, zylStatusBadSize},
            {"src step a pixel short of a row", ps, (w - 1) * es, pd, ds, {w, h}, false, g, 7, shortRow},
            {"dst step a pixel short of a row", ps, ss, pd, (w - 1) * ed, {w, h}, false, g, 7, shortRow},
            {"odd src step before role", ps, ss + es / 2, pd, ds, {w, h}, false, f, 3, es > 1 ? alignCode : zylStatusBadArg},
            {"odd dst step before role", ps, ss, pd, ds + ed / 2, {w, h}, false, f, 3, alignCode},
            {"dst step 2 mod 4", ps, ss, pd, ds + 2, {w, h}, false, f, 0, ed == 4 ? alignCode : zylStatusOk},
            {"role 3", ps, ss, pd, ds, {w, h}, false, f, 3, zylStatusBadArg},
            {"role 5", ps, ss, pd, ds, {w, h}, false, g, 5, zylStatusBadArg},
            {"role -1", ps, ss, pd, ds, {w, h}, false, g, -1, zylStatusBadArg},
            {"role 8", ps, ss, pd, ds, {w, h}, false, g, 8, zylStatusBadArg},
            {"middle on a new state", ps, ss, pd, ds, {w, h}, false, f, zylStripMiddle, zylStatusBadArg},
            {"last on a new state", ps, ss, pd, ds, {w, h}, false, f, zylStripLast, zylStatusBadArg},
            {"pending rule before width check", ps, ss, pd, ds, {w, h}, false, narrow.p, zylStripMiddle, zylStatusBadArg},
            {"state of another filter", ps, ss, pd, ds, {w, h}, false, otherKind.p, 0, zylStatusBadArg},
            {"state of another type", ps, ss, pd, ds, {w, h}, false, otherType.p, 0, zylStatusBadArg},
            {"other filter before width check", ps, ss, pd, ds, {w + 1, h}, false, otherKind.p, 0, zylStatusBadArg},
            {"wider than the state's rows", ps, ss, pd, ds, {w, h}, false, narrow.p, 0, zylStatusBadSize},
            {"wider, as a middle strip", ps, ss, pd, ds, {w + 1, h}, false, g, zylStripMiddle, zylStatusBadSize},
        };
        // clang-format on
        const auto dstBefore = dst.roi_bytes();
        for (const Case &c : cases) {
            if (c.expected == zylStatusOk) continue;  // accepted calls run after the refusals
            SCOPED_TRACE(c.what);
            ZyliSize roi = c.roi;
            std::vector<std::uint8_t> before;
            if (c.st) before = state_bytes(c.st);
            EXPECT_EQ(api(kind, c.s, c.ss, c.d, c.ds, c.nullRoi ? nullptr : &roi, c.st, c.role),
                      c.expected);
            EXPECT_EQ(roi.width, c.roi.width);
            EXPECT_EQ(roi.height, c.roi.height);
            if (c.st) EXPECT_TRUE(zt::same_bytes(state_bytes(c.st), before)) << "state changed";
            EXPECT_TRUE(zt::same_bytes(dst.roi_bytes(), dstBefore)) << "destination written";
            EXPECT_TRUE(dst.intact_outside_roi());
        }
        for (const Case &c : cases) {
            if (c.expected != zylStatusOk) continue;
            SCOPED_TRACE(c.what);
            ZyliSize roi = c.roi;
            EXPECT_EQ(api(kind, c.s, c.ss, c.d, c.ds, &roi, c.st, c.role), zylStatusOk);
        }
        // The box sum takes source steps shorter than a row (rows then overlap).
        if (box) {
            for (int ssShort : {es, (w - 1) * es}) {
                State st({kind, 3}, type, w);
                ZyliSize roi{w, h};
                EXPECT_EQ(api(kind, ps, ssShort, pd, ds, &roi, st.p, zylStripWhole), zylStatusOk);
                EXPECT_EQ(roi.height, h);
            }
        }
    }
}

// ---- whole images against the reference ---------------------------------------------------------

// Runs one whole call into a fresh destination and compares it with the reference model.
template <class S> void check_whole(const Cfg &c, const Image<S> &src, Rng &rng, int maxW)
{
    using D = DstOf<S>;
    const int w = src.width(), h = src.height();
    Image<D> dst(layout_for<D>(rng, w, h));
    State st(c, type_of<S>(), maxW);
    ZyliSize roi{w, h};
    ASSERT_EQ(
        api(c.kind, src.data(), src.step(), dst.data(), dst.step(), &roi, st.p, zylStripWhole),
        zylStatusOk);
    EXPECT_EQ(roi.width, w);
    EXPECT_EQ(roi.height, h);
    EXPECT_TRUE(same_rows(dst, 0, reference(c, Plane<S>(src)), w));
    EXPECT_TRUE(dst.intact_outside_roi());
}

// Every aperture on every small size, heights below the aperture included; then random sizes,
// orders, padded steps and offsets.
TYPED_TEST(ConvFilter, WholeImageMatchesReference)
{
    using S = TypeParam;
    std::uint32_t seed = 100;
    for (Kind kind : kKinds)
        for (int k : {3, 5, 7})
            for (int w = 1; w <= k + 2; ++w)
                for (int h = 1; h <= 4; ++h) {
                    Rng rng(++seed);
                    SCOPED_TRACE(zt::seed_note(seed));
                    Cfg c = random_cfg(rng, kind);
                    c.k = k;
                    c.xo = std::min(c.xo, k - 1);
                    c.yo = std::min(c.yo, k - 1);
                    SCOPED_TRACE(describe(c) + " " + std::to_string(w) + "x" + std::to_string(h));
                    Image<S> src(layout_for<S>(rng, w, h));
                    fill(src, rng);
                    check_whole(c, src, rng, w + rng.uniform(0, 9));
                }
    for (seed = 1000; seed < 1240; ++seed) {
        Rng rng(seed);
        SCOPED_TRACE(zt::seed_note(seed));
        Cfg c = random_cfg(rng, kKinds[seed % 3]);
        SCOPED_TRACE(describe(c));
        Image<S> src(zt::random_layout<S>(rng, seed % 4 == 0 ? 140 : 48, 14));
        fill(src, rng);
        check_whole(c, src, rng, src.width() + (rng.chance(0.5) ? 0 : rng.uniform(1, 40)));
    }
}

// Hand-derived values: saturation, constant images, impulses, the classic 3x3 Sobel.
TEST(ConvFilterValues, EdgeValues)
{
    auto run = [](const Cfg &c, const Image<Zyl8u> &src) {
        Image<Zyl16s> dst({src.width(), src.height()});
        State st(c, zyl8u, src.width());
        ZyliSize roi = src.size();
        EXPECT_EQ(
            api(c.kind, src.data(), src.step(), dst.data(), dst.step(), &roi, st.p, zylStripWhole),
            zylStatusOk);
        return rows_of(dst);
    };
    auto all = [](const std::vector<Zyl16s> &v, int want) {
        return std::all_of(v.begin(), v.end(), [&](Zyl16s x) { return x == want; });
    };
    Image<Zyl8u> flat({9, 6});
    for (int v : {0, 1, 7, 8, 255}) {
        SCOPED_TRACE("constant " + std::to_string(v));
        flat.fill(Zyl8u(v));
        for (int k : {3, 5, 7}) {
            const long smooth = long(v) << (2 * (k - 1));  // binomial weights sum to 4^(k-1)
            EXPECT_TRUE(all(run({Kind::Sobel, k, 0, 0, 0}, flat), int(std::min(smooth, 32767L))));
            EXPECT_TRUE(all(run({Kind::Sobel, k, 1, 0, 0}, flat), 0));
            EXPECT_TRUE(all(run({Kind::Sobel, k, 0, k - 1, 1}, flat), 0));
            EXPECT_TRUE(all(run({Kind::Sobel, k, 1, 2, 0}, flat), 0));
            EXPECT_TRUE(all(run({Kind::Laplace, k}, flat), 0));
            EXPECT_TRUE(all(run({Kind::Blur, k}, flat), k * k * v));
        }
    }
    // A step edge from 0 to 255 with k = 7 and xOrder 1 saturates; so does the opposite step.
    Image<Zyl8u> edge({16, 5});
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 16; ++x) edge.at(x, y) = x < 8 ? 0 : 255;
    auto e = run({Kind::Sobel, 7, 1, 0, 0}, edge);
    EXPECT_EQ(e[7], 32767);
    EXPECT_EQ(e[8], 32767);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 16; ++x) edge.at(x, y) = x < 8 ? 255 : 0;
    e = run({Kind::Sobel, 7, 1, 0, 0}, edge);
    EXPECT_EQ(e[16 * 2 + 8], -32768);

    // An impulse: the k = 3 Laplacian is 2 0 2 / 0 -8 0 / 2 0 2; k = 7 saturates at the centre.
    Image<Zyl8u> dot({9, 9});
    dot.fill(0);
    dot.at(4, 4) = 100;
    auto l3 = run({Kind::Laplace, 3}, dot);
    EXPECT_EQ(l3[4 * 9 + 4], -800);
    for (int dy = -1; dy <= 1; dy += 2)
        for (int dx = -1; dx <= 1; dx += 2) EXPECT_EQ(l3[(4 + dy) * 9 + 4 + dx], 200);
    EXPECT_EQ(l3[3 * 9 + 4], 0);
    EXPECT_EQ(l3[4 * 9 + 5], 0);
    dot.at(4, 4) = 255;
    EXPECT_EQ(run({Kind::Laplace, 7}, dot)[4 * 9 + 4], -32768);

    // Box sums of a 1x1 image and of a one-column image, k = 7.
    Image<Zyl8u> one({1, 1});
    one.at(0, 0) = 201;
    EXPECT_EQ(run({Kind::Blur, 7}, one)[0], 49 * 201);
    Image<Zyl8u> col({1, 5});
    const int colv[5] = {9, 200, 3, 77, 130};
    for (int y = 0; y < 5; ++y) col.at(0, y) = Zyl8u(colv[y]);
    auto b = run({Kind::Blur, 7}, col);
    for (int y = 0; y < 5; ++y) {
        int vs = 0;
        for (int d = -3; d <= 3; ++d) vs += colv[std::clamp(y + d, 0, 4)];
        EXPECT_EQ(b[y], 7 * vs) << y;
    }

    // k = 3 with orders (1,0) and (0,1) is the classic 3x3 Sobel; bottomUp negates d/dy.
    Rng rng(5);
    Image<Zyl8u> img({13, 7});
    img.fill_random(rng);
    Plane<Zyl8u> p(img);
    const int gx[3][3] = {{-1, 0, 1}, {-2, 0, 2}, {-1, 0, 1}},
              gy[3][3] = {{-1, -2, -1}, {0, 0, 0}, {1, 2, 1}};
    auto dx = run({Kind::Sobel, 3, 1, 0, 0}, img), dy = run({Kind::Sobel, 3, 0, 1, 0}, img),
         dyUp = run({Kind::Sobel, 3, 0, 1, 1}, img);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 13; ++x) {
            int sx = 0, sy = 0;
            for (int j = 0; j < 3; ++j)
                for (int i = 0; i < 3; ++i) {
                    sx += gx[j][i] * p.at(x + i - 1, y + j - 1);
                    sy += gy[j][i] * p.at(x + i - 1, y + j - 1);
                }
            EXPECT_EQ(dx[y * 13 + x], sx);
            EXPECT_EQ(dy[y * 13 + x], sy);
            EXPECT_EQ(dyUp[y * 13 + x], -sy);
        }
}

// ---- strips -------------------------------------------------------------------------------------

// Random cuts of an image into a first, middle and last strips give the rows of one whole call,
// with the protocol's row counts and pending values; refused calls in the middle of a sequence
// change nothing; a state is reusable for the next image.
TYPED_TEST(ConvFilter, StripsMatchWholeCall)
{
    using S = TypeParam;
    using D = DstOf<S>;
    for (std::uint32_t seed = 2000; seed < 2180; ++seed) {
        Rng rng(seed);
        SCOPED_TRACE(zt::seed_note(seed));
        Cfg c = random_cfg(rng, kKinds[seed % 3]);
        SCOPED_TRACE(describe(c));
        const int a = c.k / 2;
        const int w = rng.uniform(1, seed % 5 == 0 ? 90 : 30), H = rng.uniform(a + 1, 24);
        Image<S> src(layout_for<S>(rng, w, H));
        fill(src, rng);
        Image<D> whole(layout_for<D>(rng, w, H)), strips(layout_for<D>(rng, w, H));
        State ws(c, type_of<S>(), w), ss(c, type_of<S>(), w + rng.uniform(0, 5));
        ZyliSize roi{w, H};
        ASSERT_EQ(api(c.kind, src.data(), src.step(), whole.data(), whole.step(), &roi, ws.p,
                      zylStripWhole),
                  0);
        ASSERT_EQ(roi.height, H);

        // A first strip of fewer than a rows leaves pending a - h: middle and last are refused,
        // and a new first strip starts over.
        if (a > 1) {
            const int hs = rng.uniform(1, a - 1);
            ZyliSize r{w, hs};
            ASSERT_EQ(api(c.kind, src.data(), src.step(), strips.data(), strips.step(), &r, ss.p,
                          zylStripFirst),
                      0);
            EXPECT_EQ(r.height, 0);
            EXPECT_EQ(ss.p->pending, a - hs);
            for (int role : {int(zylStripMiddle), int(zylStripLast), 3}) {
                r = {w, 1};
                EXPECT_EQ(api(c.kind, src.data(), src.step(), strips.data(), strips.step(), &r,
                              ss.p, role),
                          zylStatusBadArg);
            }
        }

        // first, middles, last
        int y = 0, out = 0;
        auto strip = [&](int rows, int role, int expectRows) {
            auto before = state_bytes(ss.p);
            ZyliSize bad{w, 0};  // refused: nothing changes
            EXPECT_EQ(api(c.kind, src.row(y), src.step(), strips.row(out), strips.step(), &bad,
                          ss.p, role),
                      zylStatusBadSize);
            EXPECT_TRUE(zt::same_bytes(state_bytes(ss.p), before));
            ZyliSize r{w, rows};
            ASSERT_EQ(
                api(c.kind, src.row(y), src.step(), strips.row(out), strips.step(), &r, ss.p, role),
                0);
            EXPECT_EQ(r.height, expectRows) << "role " << role << " rows " << rows;
            y += rows;
            out += r.height;
        };
        const int h1 = rng.uniform(a, std::max(a, H - 1));
        strip(h1, zylStripFirst, h1 - a);
        EXPECT_EQ(ss.p->pending, 0);
        while (H - y > 1 && rng.chance(0.6)) {
            const int rows = rng.uniform(1, H - y - 1);
            strip(rows, zylStripMiddle, rows);
        }
        strip(H - y, zylStripLast, H - y + a);
        ASSERT_EQ(out, H);
        EXPECT_TRUE(same_rows(strips, 0, rows_of(whole), w));
        EXPECT_TRUE(strips.intact_outside_roi());

        // The same state serves the next image; the box sum's role 3 acts as a whole call
        // after a completed first strip.
        Image<D> again(layout_for<D>(rng, w, H));
        int role = zylStripWhole;
        if (c.kind == Kind::Blur) {
            ZyliSize r{w, a};
            ASSERT_EQ(api(c.kind, src.data(), src.step(), again.data(), again.step(), &r, ss.p,
                          zylStripFirst),
                      0);
            role = 3;
        }
        roi = {w, H};
        ASSERT_EQ(api(c.kind, src.data(), src.step(), again.data(), again.step(), &roi, ss.p, role),
                  0);
        EXPECT_EQ(roi.height, H);
        EXPECT_TRUE(same_rows(again, 0, rows_of(whole), w));
    }
}

// ---- twins and borders --------------------------------------------------------------------------

#if ZYLCV_SIMD
// Portable and SSE2 twins give the same rows, whole and in strips, on widths around every block
// size and on unaligned rows.
TYPED_TEST(ConvFilter, TwinsAgree)
{
    using S = TypeParam;
    using D = DstOf<S>;
    std::uint32_t seed = 3000;
    for (int w :
         {1, 2, 3, 4, 5, 7, 8, 9, 11, 12, 15, 16, 17, 19, 20, 21, 23, 24, 25, 31, 33, 47, 64, 101})
        for (Kind kind : kKinds) {
            Rng rng(++seed);
            SCOPED_TRACE(zt::seed_note(seed));
            Cfg c = random_cfg(rng, kind);
            SCOPED_TRACE(describe(c) + " width " + std::to_string(w));
            const int H = rng.uniform(1, 9);
            Layout l = layout_for<S>(rng, w, H);
            l.offset = int(sizeof(S)) * rng.uniform(0, 3);
            Image<S> src(l);
            fill(src, rng);
            Image<D> d1(layout_for<D>(rng, w, H)), d2(layout_for<D>(rng, w, H));
            State s1(c, type_of<S>(), w), s2(c, type_of<S>(), w);
            // A first strip of a rows or more and a last strip when the image allows it.
            const int a = c.k / 2, h1 = H > a ? rng.uniform(a, H - 1) : H;
            int n1 = 0, n2 = 0;
            for (int pass = 0; pass < (H > a ? 2 : 1); ++pass) {
                const bool split = H > a;
                const int y = pass == 0 ? 0 : h1, rows = split ? (pass == 0 ? h1 : H - h1) : H;
                const bool starts = pass == 0, ends = !split || pass == 1;
                n1 += twin(false, kind, src.row(y), src.step(), d1.row(n1), d1.step(), w, rows,
                           s1.p, starts, ends);
                n2 += twin(true, kind, src.row(y), src.step(), d2.row(n2), d2.step(), w, rows, s2.p,
                           starts, ends);
            }
            EXPECT_EQ(n1, H);
            EXPECT_EQ(n2, H);
            EXPECT_TRUE(same_rows(d2, 0, rows_of(d1), w));
            EXPECT_TRUE(d1.intact_outside_roi());
            EXPECT_TRUE(d2.intact_outside_roi());
        }
}

// Float rows of NaNs of both signs among plain values: where two NaNs meet in a sum the first
// operand's NaN is the result in both twins, so their bits agree to the sign.
TEST(ConvFilterFloat, TwinsAgreeOnNaNSigns)
{
    std::uint32_t seed = 3500;
    for (int rep = 0; rep < 40; ++rep)
        for (Kind kind : kKinds) {
            Rng rng(++seed);
            SCOPED_TRACE(zt::seed_note(seed));
            const Cfg c = random_cfg(rng, kind);
            SCOPED_TRACE(describe(c));
            const int w = rng.uniform(1, 40), h = rng.uniform(1, 6);
            Image<Zyl32f> src(layout_for<Zyl32f>(rng, w, h));
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const int r = rep == 0 ? (x < 2 ? x : 2) : rng.uniform(0, 3);
                    const std::uint32_t nan = 0x7FC00000u | (rng.bits32() & 0x003FFFFFu);
                    src.at(x, y) = r == 0 ? std::bit_cast<float>(nan) : r == 1 ? std::bit_cast<float>(nan | 0x80000000u)
                                                                        : float(rng.uniform(-40, 40));
                }
            Image<Zyl32f> d1(layout_for<Zyl32f>(rng, w, h)), d2(layout_for<Zyl32f>(rng, w, h));
            State s1(c, zyl32f, w), s2(c, zyl32f, w);
            EXPECT_EQ(twin(false, kind, src.data(), src.step(), d1.data(), d1.step(), w, h, s1.p, true, true), h);
            EXPECT_EQ(twin(true, kind, src.data(), src.step(), d2.data(), d2.step(), w, h, s2.p, true, true), h);
            EXPECT_TRUE(same_rows(d2, 0, rows_of(d1), w));
        }
}

// The packed kernels take any taps a state may hold, not only the built ones: kernels with
// outer taps other than 1 and large gains (16-bit horizontal results wrap the same way in both
// twins) give the same rows as the portable twin.
TYPED_TEST(ConvFilter, TwinsAgreeOnAnyTaps)
{
    using S = TypeParam;
    using D = DstOf<S>;
    for (std::uint32_t seed = 3500; seed < 3560; ++seed) {
        Rng rng(seed);
        SCOPED_TRACE(zt::seed_note(seed));
        Cfg c = random_cfg(rng, seed % 2 ? Kind::Sobel : Kind::Laplace);
        const int w = rng.uniform(1, 70), H = rng.uniform(1, 9);
        Image<S> src(layout_for<S>(rng, w, H));
        fill(src, rng);
        Image<D> d1(layout_for<D>(rng, w, H)), d2(layout_for<D>(rng, w, H));
        State s1(c, type_of<S>(), w), s2(c, type_of<S>(), w);
        // The same random taps in both states (entry k stays 0).
        for (unsigned char *field : {s1.p->kernelX, s1.p->kernelY})
            for (int i = 0; i < c.k; ++i)
                zylcv::conv::put_entry(field, i, rng.uniform(-20, 20), type_of<S>() == zyl32f);
        std::memcpy(s2.p->kernelX, s1.p->kernelX, sizeof s1.p->kernelX);
        std::memcpy(s2.p->kernelY, s1.p->kernelY, sizeof s1.p->kernelY);
        const S *ps = src.data();
        const int ss = src.step();
        EXPECT_EQ(twin(false, c.kind, ps, ss, d1.data(), d1.step(), w, H, s1.p, true, true), H);
        EXPECT_EQ(twin(true, c.kind, ps, ss, d2.data(), d2.step(), w, H, s2.p, true, true), H);
        EXPECT_TRUE(same_rows(d2, 0, rows_of(d1), w));
    }
}
#endif

// Sources flush against inaccessible pages on either side: only the ROI is read, whole and in
// strips; destinations keep their canaries.
TYPED_TEST(ConvFilter, ReadsOnlyTheRoi)
{
    using S = TypeParam;
    using D = DstOf<S>;
    std::uint32_t seed = 4000;
    for (int w : {1, 2, 3, 17, 33, 40})
        for (int h : {1, 2, 5})
            for (zt::Guard g : {zt::Guard::Before, zt::Guard::After})
                for (Kind kind : kKinds) {
                    Rng rng(++seed);
                    Cfg c = random_cfg(rng, kind);
                    SCOPED_TRACE(describe(c));
                    zt::GuardedImage<S> src(w, h, 1, g);
                    src.fill_random(rng);
                    Image<D> dst({w, h, 1, 8, 4});
                    State st(c, type_of<S>(), w);
                    ZyliSize roi{w, h};
                    EXPECT_EQ(api(kind, src.data(), src.step(), dst.data(), dst.step(), &roi, st.p,
                                  zylStripWhole),
                              0);
                    const int a = c.k / 2;
                    if (h > a) {
                        ZyliSize r1{w, a};
                        EXPECT_EQ(api(kind, src.data(), src.step(), dst.data(), dst.step(), &r1,
                                      st.p, zylStripFirst),
                                  0);
                        ZyliSize r2{w, h - a};
                        EXPECT_EQ(api(kind, src.row(a), src.step(), dst.data(), dst.step(), &r2,
                                      st.p, zylStripLast),
                                  0);
                        EXPECT_EQ(r2.height, h);
                    }
                    EXPECT_TRUE(dst.intact_outside_roi());
                }
}

}  // namespace
