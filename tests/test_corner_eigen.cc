// Corner eigen-analysis: validation order, buffer queries, a scalar reference model of the whole
// pipeline (Sobel gradients, products, box sums, eigen solution), strips against short images,
// twins, guard pages and a few geometric sanity checks.
#include <cmath>

#include "corner_eigen/corner_eigen.h"
#include "support.h"

using zt::Image;
using zt::Layout;
using zt::Rng;

namespace {

// The six image functions behind one interface: `vecs` picks EigenValsVecs or MinEigenVal.
#define ZT_EIGEN(ty)                                                                               \
    (vecs ? zyliEigenValsVecs_##ty : zyliMinEigenVal_##ty)(s, ss, d, ds, r, ap, bs, buf)
template <class S>
ZylStatus call(bool vecs, const S *s, int ss, Zyl32f *d, int ds, ZyliSize r, int ap, int bs,
               Zyl8u *buf)
{
    if constexpr (std::is_same_v<S, Zyl8u>) return ZT_EIGEN(8u32f_C1R);
    else if constexpr (std::is_same_v<S, Zyl8s>) return ZT_EIGEN(8s32f_C1R);
    else return ZT_EIGEN(32f_C1R);
}

// Buffer bytes written out from the layout: three products, R + 1 rows of 4*width bytes each.
int expected_buffer(int w, int ap, int bs) { return 12 * w * (1 + std::max({ap, bs, 7})); }

// ---- reference model --------------------------------------------------------------------

// A plane of floats with replicated borders.
struct Plane {
    int w, h;
    std::vector<float> v;
    Plane(int w_, int h_) : w(w_), h(h_), v(std::size_t(w_) * h_) {}
    float &at(int x, int y) { return v[std::size_t(y) * w + x]; }
    float px(int x, int y) const
    {
        return v[std::size_t(std::clamp(y, 0, h - 1)) * w + std::clamp(x, 0, w - 1)];
    }
};

// 1-D Sobel kernel of size k and order m: the coefficients of (1 + z)^(k-1-m) (z - 1)^m, lowest
// power first (entry 0 applies to the leftmost or topmost neighbour).
std::vector<int> taps(int k, int m)
{
    std::vector<int> c{1};
    auto times = [&](int c0, int c1) {
        std::vector<int> r(c.size() + 1, 0);
        for (std::size_t i = 0; i < c.size(); ++i) {
            r[i] += c0 * c[i];
            r[i + 1] += c1 * c[i];
        }
        c = r;
    };
    for (int i = 0; i < k - 1 - m; ++i) times(1, 1);
    for (int i = 0; i < m; ++i) times(-1, 1);
    return c;
}

// Single-precision tap sum over mirrored pairs, added left to right: antisymmetric kernels as
// c[a+1](v(1) - v(-1)) + ..., symmetric ones as c[a] v(0) + c[a+1](v(1) + v(-1)) + ...
template <class V> float pair_sum(const std::vector<int> &c, bool odd, V v)
{
    const int a = int(c.size()) / 2;
    float s = odd ? float(c[a + 1]) * (v(1) - v(-1)) : float(c[a]) * v(0);
    for (int i = odd ? 2 : 1; i <= a; ++i)
        s = s + float(c[a + i]) * (odd ? v(i) - v(-i) : v(i) + v(-i));
    return s;
}

// Sobel gradient of order (mx, my). 8-bit sources: the exact integer sum, saturated to 16 bits.
// 32f: horizontal pair sums per row, then vertical pair sums of those.
template <class S> Plane gradient(const Image<S> &img, int k, int mx, int my)
{
    const int w = img.width(), h = img.height(), a = k / 2;
    const auto kx = taps(k, mx), ky = taps(k, my);
    auto src = [&](int x, int y) {
        return img.at(std::clamp(x, 0, w - 1), std::clamp(y, 0, h - 1));
    };
    Plane out(w, h);
    if constexpr (std::is_same_v<S, Zyl32f>) {
        Plane hor(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                hor.at(x, y) = pair_sum(kx, mx % 2, [&](int d) { return src(x + d, y); });
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                out.at(x, y) = pair_sum(ky, my % 2, [&](int d) { return hor.px(x, y + d); });
    } else {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                long s = 0;
                for (int j = 0; j < k; ++j)
                    for (int i = 0; i < k; ++i)
                        s += long(ky[j]) * kx[i] * src(x + i - a, y + j - a);
                out.at(x, y) = float(std::clamp<long>(s, -32768, 32767));
            }
    }
    return out;
}

// Box sum of side k as single-precision running sums: per row h(0) = (b+1)P(0) + P(1) + ... +
// P(b), then h(x) = (h(x-1) - P(0)) + P(x+b) for x <= b and (h(x-1) + P(x+b)) - P(x-b-1) after;
// down the columns V starts at (b+1)h(row 0), adds h(1) ... h(b), and then takes
// (h(0) - hold(0)) + V(0), (V(x) + h(x)) - hold(x) for each further row.
Plane box(const Plane &p, int k)
{
    const int w = p.w, H = p.h, b = k / 2;
    Plane hs(w, H), out(w, H);
    for (int y = 0; y < H; ++y) {
        float s = float(b + 1) * p.px(0, y);
        for (int i = 1; i <= b; ++i) s = s + p.px(i, y);
        hs.at(0, y) = s;
        for (int x = 1; x < w; ++x) {
            s = x <= b ? (s - p.px(0, y)) + p.px(x + b, y)
                       : (s + p.px(x + b, y)) - p.px(x - b - 1, y);
            hs.at(x, y) = s;
        }
    }
    std::vector<float> V(w);
    for (int x = 0; x < w; ++x) {
        V[x] = float(b + 1) * hs.px(x, 0);
        for (int i = 1; i <= b; ++i) V[x] = V[x] + hs.px(x, i);
        out.at(x, 0) = V[x];
    }
    for (int y = 1; y < H; ++y)
        for (int x = 0; x < w; ++x) {
            const float hin = hs.px(x, y + b), hold = hs.px(x, y - b - 1);
            V[x] = x == 0 ? (hin - hold) + V[x] : (V[x] + hin) - hold;
            out.at(x, y) = V[x];
        }
    return out;
}

float scale_of(int ap, int bs) { return 1.0f / float(255 * (1 << (2 * (ap - 1))) * bs * bs); }

// The eigen solution of one pixel, from the definition.
void ref_vals_vecs(float sxx, float sxy, float syy, float s, float *o)
{
    const float a = sxx * s, b = sxy * s, c = syy * s;
    const float mn = a < c ? a : c, mx = a > c ? a : c, t = 0.01f * mx;
    const float d = a * c - b * b;
    if (mn < t || (!(std::fabs(b) < t) && d < t)) {
        for (int i = 0; i < 6; ++i) o[i] = 0.0f;
    } else if (std::fabs(b) < t) {
        const float diag[6] = {a, c, 1, 0, 0, 1};
        std::copy(diag, diag + 6, o);
    } else {
        const float r = std::sqrt((a + c) * (a + c) - 4.0f * d);
        o[0] = (a + c + r) * 0.5f;
        o[1] = (a + c - r) * 0.5f;
        for (int i = 0; i < 2; ++i) {
            const float u = o[i] - a, n = std::sqrt(u * u + b * b);
            const float inv = n == 0 ? 1.0f / 1.1920929e-07f : 1.0f / n;
            o[2 + 2 * i] = b * inv;
            o[3 + 2 * i] = u * inv;
        }
    }
}
float ref_min(float sxx, float sxy, float syy, float s)
{
    const float p = 0.5f * sxx, q = 0.5f * syy;
    return (p + q - std::sqrt(sxy * sxy + (p - q) * (p - q))) * s;
}

// Whole reference output: 6 or 1 floats per pixel, rows concatenated.
template <class S> std::vector<float> reference(const Image<S> &img, bool vecs, int ap, int bs)
{
    const Plane dx = gradient(img, ap, 1, 0), dy = gradient(img, ap, 0, 1);
    Plane xx(dx.w, dx.h), xy = xx, yy = xx;
    for (std::size_t i = 0; i < dx.v.size(); ++i) {
        xx.v[i] = dx.v[i] * dx.v[i];
        xy.v[i] = dx.v[i] * dy.v[i];
        yy.v[i] = dy.v[i] * dy.v[i];
    }
    const Plane sxx = box(xx, bs), sxy = box(xy, bs), syy = box(yy, bs);
    const float s = scale_of(ap, bs);
    const int n = vecs ? 6 : 1;
    std::vector<float> out(sxx.v.size() * n);
    for (std::size_t i = 0; i < sxx.v.size(); ++i) {
        if (vecs) ref_vals_vecs(sxx.v[i], sxy.v[i], syy.v[i], s, &out[6 * i]);
        else out[i] = ref_min(sxx.v[i], sxy.v[i], syy.v[i], s);
    }
    return out;
}

template <class S> struct Eigen : ::testing::Test {
};
using Types = ::testing::Types<Zyl8u, Zyl8s, Zyl32f>;
TYPED_TEST_SUITE(Eigen, Types);

TEST(EigenSize, Queries)
{
    for (auto q : {zyliEigenValsVecsGetSize, zyliMinEigenValGetSize}) {
        for (int w : {1, 100, 641})
            for (int ap : {3, 5, 7})
                for (int bs : {3, 5, 7}) {
                    Zyl32s n = -1;
                    ASSERT_EQ(q(w, ap, bs, &n), zylStatusOk);
                    EXPECT_EQ(n, expected_buffer(w, ap, bs)) << w << " " << ap << " " << bs;
                }
        const Zyl32s before = 12345;
        Zyl32s n = before;
        zt::expect_statuses(
            {
                {"size before pointer", [&] { return q(0, 3, 3, nullptr); }, zylStatusBadSize},
                {"negative width", [&] { return q(-4, 3, 3, &n); }, zylStatusBadSize},
                {"aperture 4", [&] { return q(8, 4, 3, &n); }, zylStatusBadSize},
                {"aperture 1", [&] { return q(8, 1, 3, &n); }, zylStatusBadSize},
                {"block 9", [&] { return q(8, 3, 9, &n); }, zylStatusBadSize},
                {"null result", [&] { return q(8, 3, 3, nullptr); }, zylStatusNullPtr},
            },
            [&] { return n == before; });
        // 96 bytes per column: the widest image whose buffer fits a Zyl32s, and wider ones, which
        // are refused with a result of 0.
        for (auto [w, size] :
             {std::pair{22369621, 2147483616}, {22369622, 0}, {30000000, 0}, {2147483647, 0}}) {
            n = before;
            EXPECT_EQ(q(w, 7, 5, &n), size ? zylStatusOk : zylStatusBadSize) << w;
            EXPECT_EQ(n, size) << w;
        }
    }
}

TYPED_TEST(Eigen, ValidationOrderAndNoWrites)
{
    using S = TypeParam;
    constexpr int e = sizeof(S);
    for (bool vecs : {true, false}) {
        SCOPED_TRACE(vecs ? "EigenValsVecs" : "MinEigenVal");
        const int W = 9, H = 5, row = (vecs ? 24 : 4) * W;
        Image<S> src({W, H});
        Image<Zyl32f> dst({W, H, vecs ? 6 : 1});
        std::vector<Zyl8u> buf(expected_buffer(W, 7, 7), 0x5A);
        const auto buf0 = buf;
        const S *s = src.data();
        Zyl32f *d = dst.data();
        const int ss = src.step(), ds = dst.step();
        const ZyliSize ok{W, H};
        auto c = [&](const S *ps, int pss, Zyl32f *pd, int pds, ZyliSize r, int ap, int bs,
                     Zyl8u *pb) {
            return [=] { return call(vecs, ps, pss, pd, pds, r, ap, bs, pb); };
        };
        Zyl8u *b = buf.data();
        std::vector<zt::StatusCase> cases = {
            {"null src before sizes", c(nullptr, 0, d, 0, {0, 0}, 4, 4, b), zylStatusNullPtr},
            {"null dst", c(s, ss, nullptr, ds, ok, 3, 3, b), zylStatusNullPtr},
            {"null buffer", c(s, ss, d, ds, ok, 3, 3, nullptr), zylStatusNullPtr},
            {"zero width", c(s, ss, d, ds, {0, H}, 3, 3, b), zylStatusBadSize},
            {"zero height", c(s, ss, d, ds, {W, 0}, 3, 3, b), zylStatusBadSize},
            {"src step one pixel short", c(s, e * W - e, d, ds, ok, 3, 3, b), zylStatusBadSize},
            {"src step 0", c(s, 0, d, ds, ok, 3, 3, b), zylStatusBadSize},
            {"dst step one float short", c(s, ss, d, row - 4, ok, 3, 3, b), zylStatusBadSize},
            {"dst step not a multiple of 4", c(s, ss, d, ds + 2, ok, 3, 3, b), zylStatusBadSize},
            {"aperture 4", c(s, ss, d, ds, ok, 4, 3, b), zylStatusBadSize},
            {"aperture 9", c(s, ss, d, ds, ok, 9, 3, b), zylStatusBadSize},
            {"block 1", c(s, ss, d, ds, ok, 3, 1, b), zylStatusBadSize},
            {"block 6", c(s, ss, d, ds, ok, 5, 6, b), zylStatusBadSize},
        };
        if (e == 4)  // a 32f source step must hold whole pixels
            cases.push_back(
                {"32f src step + 2", c(s, ss + 2, d, ds, ok, 3, 3, b), zylStatusBadSize});
        const auto d0 = dst.roi_bytes();
        zt::expect_statuses(cases, [&] {
            return dst.roi_bytes() == d0 && dst.intact_outside_roi() && buf == buf0;
        });
        EXPECT_EQ(call(vecs, s, ss, d, row, {W, H}, 7, 7, b), zylStatusOk) << "tight dst step";
    }
}

// Random images against the reference: every aperture and block size, heights around the strip
// boundaries (shorter than both windows, one first strip, several middle strips), width 1,
// padded steps and odd offsets, canaries around the destination, a buffer of exactly the
// queried size flush against an inaccessible page before or after it, and in three cases of
// seven a source flush against one too. 8-bit sources reach saturated gradients with aperture
// 7; 32f sources include special values.
TYPED_TEST(Eigen, MatchesReference)
{
    using S = TypeParam;
    for (std::uint32_t seed = 1; seed <= 60; ++seed) {
        Rng rng(seed);
        SCOPED_TRACE(zt::seed_note(seed));
        const int ap = 3 + 2 * rng.uniform(0, 2), bs = 3 + 2 * rng.uniform(0, 2);
        const int R = std::max({ap, bs, 7}), ka = ap / 2, kb = bs / 2;
        const int heights[] = {1,          2,          ka + kb,        ka + kb + 1,       R + ka,
                               R + ka + 1, R + ka + 2, 2 * R + ka + 1, rng.uniform(1, 40)};
        Layout l = zt::random_layout<S>(rng, seed % 5 == 0 ? 1 : 37, 1);
        l.height = heights[seed % 9];
        const bool vecs = seed % 2 == 0;
        Layout ld = zt::random_layout<Zyl32f>(rng, 1, 1, vecs ? 6 : 1);
        ld.width = l.width, ld.height = l.height;
        Image<S> src(l);
        Image<Zyl32f> dst(ld);
        if constexpr (std::is_same_v<S, Zyl32f>) {
            // Smooth shapes with small noise, values of mixed magnitudes, or a few special
            // values (infinities, NaNs, signed zeros, extremes) that reach every branch of the
            // solution with unusual operands.
            for (int y = 0; y < l.height; ++y)
                for (int x = 0; x < l.width; ++x)
                    src.at(x, y) = seed % 3 == 0   ? float(x * y % 7) + rng.real(0, 0.01f)
                                   : seed % 3 == 1 ? rng.real(-1000, 1000)
                                                   : zt::random_float(rng, 0.02);
        } else {
            src.fill_random(rng);
        }
        dst.snapshot();
        Zyl32s size = 0;
        ASSERT_EQ(zyliEigenValsVecsGetSize(l.width, ap, bs, &size), zylStatusOk);
        const zt::Guard g = seed % 4 < 2 ? zt::Guard::Before : zt::Guard::After;
        zt::GuardedImage<Zyl8u> buf(size, 1, 1, g);
        zt::GuardedImage<S> guarded(l.width, l.height, 1, g);
        guarded.copy_from(src);
        const bool flush = seed % 7 < 3;
        SCOPED_TRACE(testing::Message() << l.width << "x" << l.height << " ap " << ap << " bs "
                                        << bs << (flush ? " flush" : ""));
        ASSERT_EQ(call(vecs, flush ? guarded.data() : src.data(),
                       flush ? guarded.step() : src.step(), dst.data(), dst.step(), src.size(), ap,
                       bs, buf.data()),
                  zylStatusOk);
        const auto want = reference(src, vecs, ap, bs);
        const int n = vecs ? 6 : 1;
        for (int y = 0; y < l.height; ++y)
            for (int i = 0; i < l.width * n; ++i)
                ASSERT_TRUE(
                    zt::same_bits_or_nan(dst.row(y)[i], want[std::size_t(y) * l.width * n + i]))
                    << "x " << i / n << " y " << y << " output " << i % n;
        EXPECT_TRUE(dst.intact_outside_roi());
    }
}

// Shapes whose answers follow from geometry: a constant image gives zeros; a vertical step edge
// is one-dimensional (zeros, and a smaller eigenvalue of 0); at the corner of a bright square
// both eigenvalues are positive, l1 >= l2, and the vectors are orthonormal.
TYPED_TEST(Eigen, Shapes)
{
    using S = TypeParam;
    const int W = 24, H = 20;
    const S hi = S(std::is_same_v<S, Zyl8s> ? 100 : 200),
            lo = S(std::is_same_v<S, Zyl8s> ? -50 : 10);
    std::vector<Zyl8u> buf(expected_buffer(W, 7, 7));
    Image<S> img({W, H});
    Image<Zyl32f> vv({W, H, 6}), mn({W, H});
    // Shapes 0 and 1 (constant, step) give zeros everywhere; shape 2 is a bright square in the
    // lower right quadrant, its corner at (12, 10).
    for (int ap : {3, 5, 7})
        for (int bs : {3, 7})
            for (int shape = 0; shape < 3; ++shape) {
                SCOPED_TRACE(testing::Message()
                             << "ap " << ap << " bs " << bs << " shape " << shape);
                for (int y = 0; y < H; ++y)
                    for (int x = 0; x < W; ++x) {
                        const bool square = x >= 12 && y >= 10;
                        img.at(x, y) = !shape || (shape == 1 ? x >= W / 2 : square) ? hi : lo;
                    }
                for (bool vecs : {true, false}) {
                    Image<Zyl32f> &d = vecs ? vv : mn;
                    ASSERT_EQ(call(vecs, img.data(), img.step(), d.data(), d.step(), {W, H}, ap, bs,
                                   buf.data()),
                              zylStatusOk);
                    for (int y = 0; y < H && shape < 2; ++y)
                        for (int i = 0; i < W * d.channels(); ++i)
                            ASSERT_EQ(d.row(y)[i], 0.0f) << i / d.channels() << "," << y;
                }
                if (shape < 2) continue;
                const float *o = &vv.at(12, 10);
                EXPECT_GE(o[0], o[1]);
                EXPECT_GT(o[1], 0.0f);
                EXPECT_NEAR(mn.at(12, 10), o[1], 1e-4f * o[0]);
                EXPECT_NEAR(o[2] * o[2] + o[3] * o[3], 1.0f, 1e-5f);
                EXPECT_NEAR(o[4] * o[4] + o[5] * o[5], 1.0f, 1e-5f);
                EXPECT_NEAR(o[2] * o[4] + o[3] * o[5], 0.0f, 1e-5f);
            }
}

// A filter state that cannot be allocated: a width whose row buffers exceed what one block can
// hold. The call reports it before touching the images or the buffer.
TEST(EigenSpecial, StateAllocationFailure)
{
    const int w = 80000000;
    ZyliConvState *st = nullptr;
    ASSERT_EQ(zyliSobelInitAlloc(w, zyl8u, 7, 0, 1, 0, &st), zylStatusNoMemory);
    Zyl8u src[16] = {}, buf[16] = {};
    Zyl32f dst[16] = {};
    EXPECT_EQ(zyliMinEigenVal_8u32f_C1R(src, w, dst, 4 * w, {w, 1}, 7, 7, buf), zylStatusNoMemory);
    EXPECT_EQ(zyliEigenValsVecs_32f_C1R(reinterpret_cast<Zyl32f *>(src), 4 * w, dst, 24 * w, {w, 1},
                                        7, 3, buf),
              zylStatusNoMemory);
}

// Twins on every width up to 60 and unaligned rows: products of 16-bit and 32f gradients in
// place, and both eigen outputs, with special values among the block sums; padding bytes compared
// too.
TEST(EigenTwins, Agree)
{
    using zylcv::corner_eigen::Output;
    using Buf = std::vector<Zyl8u>;
    for (std::uint32_t seed = 200; seed < 260; ++seed) {
        Rng rng(seed);
        SCOPED_TRACE(zt::seed_note(seed));
        const int w = int(seed) - 199, h = 3, off = 4 * rng.uniform(0, 7);
        const int step = 4 * w + 4 * rng.uniform(0, 5), dstep = 24 * w + 4 * rng.uniform(0, 4);
        // h rows `step` bytes apart of 16-bit gradients or of floats, `off` bytes from the start of
        // a vector; or with a row step `st`, a destination of canary bytes.
        auto plane = [&](bool grad16, int st = 0) {
            Buf v(std::size_t(st ? st : step) * h + off + 16, 0x77);
            for (int y = 0; y < h && !st; ++y)
                for (int x = 0; x < w; ++x) {
                    Zyl8u *p = v.data() + off + std::size_t(y) * step;
                    Zyl16s g = zt::random_value<Zyl16s>(rng);
                    float f = rng.chance(0.7) ? rng.real(0, 4) : zt::random_float(rng, 0.3);
                    grad16 ? (void)std::memcpy(p + 2 * x, &g, 2)
                           : (void)std::memcpy(p + 4 * x, &f, 4);
                }
            return v;
        };
        auto f = [&](Buf &v) { return reinterpret_cast<Zyl32f *>(v.data() + off); };
        for (bool grad16 : {true, false}) {
            const Buf in[3] = {plane(grad16), plane(grad16), plane(false)};
            zt::expect_twins_agree([&](zt::Twin t) {
                Buf a = in[0], b = in[1], c = in[2];
                if (grad16) ZT_ENTRY(t, products<Zyl16s>)(f(a), f(b), f(c), step, w, h);
                else ZT_ENTRY(t, products<Zyl32f>)(f(a), f(b), f(c), step, w, h);
                a.insert(a.end(), b.begin(), b.end());
                a.insert(a.end(), c.begin(), c.end());
                return a;
            });
        }
        Buf sxx = plane(false), sxy = plane(false), syy = plane(false);
        const float s = scale_of(3, 3) * 1e3f;
        zt::expect_twins_agree([&](zt::Twin t) {
            Buf vv = plane(false, dstep), mn = plane(false, dstep);
            ZT_ENTRY(t, eigen<Output::ValsVecs>)
            (f(sxx), f(sxy), f(syy), step, f(vv), dstep, w, h, s);
            ZT_ENTRY(t, eigen<Output::MinVal>)
            (f(sxx), f(sxy), f(syy), step, f(mn), dstep / 6 & ~3, w, h, s);
            vv.insert(vv.end(), mn.begin(), mn.end());
            return vv;
        });
    }
}

}  // namespace
