// Accumulators: validation order, a scalar reference model of every member, twins, guard pages.
#include <algorithm>
#include <cmath>

#include "accumulate/accumulate.h"
#include "support.h"

using zt::Image;
using zt::Layout;
using zt::Rng;
using zylcv::accumulate::Op;

namespace {

// ---- reference model ----------------------------------------------------------------------

// Single-precision operations with a fixed NaN rule: a NaN operand comes out quieted, the first
// operand's when both are NaNs; otherwise the IEEE result (an invalid operation gives the
// processor's default NaN).
bool nan_bits(float v) { return (zt::bits_of(v) & 0x7FFFFFFFu) > 0x7F800000u; }
float quiet(float v) { return std::bit_cast<float>(zt::bits_of(v) | 0x00400000u); }
template <class F> float ieee(float a, float b, F op)
{
    if (nan_bits(a)) return quiet(a);
    if (nan_bits(b)) return quiet(b);
    volatile float r = op(a, b);
    return r;
}
float f_add(float a, float b)
{
    return ieee(a, b, [](float x, float y) { return x + y; });
}
float f_sub(float a, float b)
{
    return ieee(a, b, [](float x, float y) { return x - y; });
}
float f_mul(float a, float b)
{
    return ieee(a, b, [](float x, float y) { return x * y; });
}

// The update of one accumulator pixel, from the definition of each operation. Unselected
// pixels of masked calls get a zero increment: a zero integer term, a +0.0 32f source (Add,
// Square) or product (Product), or a +0.0 weight.
template <class T> float reference(Op op, bool masked, float d, T a, T b, Zyl8u m, float alpha)
{
    const bool sel = !masked || m != 0;
    if (op == Op::Weighted) return f_add(d, f_mul(f_sub(float(a), d), sel ? alpha : 0.0f));
    if constexpr (!std::is_same_v<T, Zyl32f>) {
        const int term = op == Op::Add ? a : op == Op::Square ? a * a : a * b;  // exact
        return f_add(d, float(sel ? term : 0));
    } else {
        if (op == Op::Product) return f_add(d, sel ? f_mul(a, b) : 0.0f);
        const float s = sel ? a : 0.0f;
        return f_add(d, op == Op::Add ? s : f_mul(s, s));
    }
}

// ---- the 23 exported members behind one call shape ------------------------------------------

enum class Src { U8, S8, F32 };
using Call = ZylStatus (*)(const void *a, int as, const void *b, int bs, const Zyl8u *m, int ms,
                           Zyl32f *d, int ds, ZyliSize r, float alpha);
struct Member {
    const char *name;
    Op op;
    Src src;
    bool masked;
    Call call;  // b, m and alpha are ignored by members that do not take them
    // The member's kernel entry in twin t (rows are not merged).
    void (*kernel)(zt::Twin t, const void *a, int as, const void *b, int bs, const Zyl8u *m, int ms,
                   Zyl32f *d, int ds, int w, int h, float alpha);
};

template <class T>
constexpr Src src_of = std::is_same_v<T, Zyl8u>   ? Src::U8
                       : std::is_same_v<T, Zyl8s> ? Src::S8
                                                  : Src::F32;
// Every member as a Call, by argument shape: one source (ONE), two sources (TWO), one source and
// a weight (WTD); _M adds the mask.
#define ARGS                                                                                       \
    const void *a, int as, const void *b, int bs, const Zyl8u *m, int ms, Zyl32f *d, int ds,       \
        ZyliSize r, float alpha
#define CAST(T, p) static_cast<const T *>(p)
#define ONE(F, T) [](ARGS) { return F(CAST(T, a), as, d, ds, r); }
#define ONE_M(F, T) [](ARGS) { return F(CAST(T, a), as, m, ms, d, ds, r); }
#define TWO(F, T) [](ARGS) { return F(CAST(T, a), as, CAST(T, b), bs, d, ds, r); }
#define TWO_M(F, T) [](ARGS) { return F(CAST(T, a), as, CAST(T, b), bs, m, ms, d, ds, r); }
#define WTD(F, T) [](ARGS) { return F(CAST(T, a), as, d, ds, r, alpha); }
#define WTD_M(F, T) [](ARGS) { return F(CAST(T, a), as, m, ms, d, ds, r, alpha); }
#define KERNEL(OP, T, MASKED)                                                                      \
    [](zt::Twin t, const void *a, int as, const void *b, int bs, const Zyl8u *m, int ms,           \
       Zyl32f *d, int ds, int w, int h, float alpha) {                                             \
        ZT_ENTRY(t, accumulate<Op::OP, MASKED, T>)                                                 \
        (CAST(T, a), as, CAST(T, b), bs, m, ms, d, ds, w, h, alpha);                               \
    }
#define MEMBER(SHAPE, F, OP, T, MASKED)                                                            \
    Member { #F, Op::OP, src_of < T>, MASKED, SHAPE(F, T), KERNEL(OP, T, MASKED) }

const Member kMembers[] = {
    MEMBER(ONE, zyliAdd_8u32f_C1IR, Add, Zyl8u, false),
    MEMBER(ONE, zyliAdd_8s32f_C1IR, Add, Zyl8s, false),
    MEMBER(ONE_M, zyliAdd_8u32f_C1IMR, Add, Zyl8u, true),
    MEMBER(ONE_M, zyliAdd_8s32f_C1IMR, Add, Zyl8s, true),
    MEMBER(ONE_M, zyliAdd_32f_C1IMR, Add, Zyl32f, true),
    MEMBER(ONE, zyliAddSquare_8u32f_C1IR, Square, Zyl8u, false),
    MEMBER(ONE, zyliAddSquare_8s32f_C1IR, Square, Zyl8s, false),
    MEMBER(ONE, zyliAddSquare_32f_C1IR, Square, Zyl32f, false),
    MEMBER(ONE_M, zyliAddSquare_8u32f_C1IMR, Square, Zyl8u, true),
    MEMBER(ONE_M, zyliAddSquare_8s32f_C1IMR, Square, Zyl8s, true),
    MEMBER(ONE_M, zyliAddSquare_32f_C1IMR, Square, Zyl32f, true),
    MEMBER(TWO, zyliAddProduct_8u32f_C1IR, Product, Zyl8u, false),
    MEMBER(TWO, zyliAddProduct_8s32f_C1IR, Product, Zyl8s, false),
    MEMBER(TWO, zyliAddProduct_32f_C1IR, Product, Zyl32f, false),
    MEMBER(TWO_M, zyliAddProduct_8u32f_C1IMR, Product, Zyl8u, true),
    MEMBER(TWO_M, zyliAddProduct_8s32f_C1IMR, Product, Zyl8s, true),
    MEMBER(TWO_M, zyliAddProduct_32f_C1IMR, Product, Zyl32f, true),
    MEMBER(WTD, zyliAddWeighted_8u32f_C1IR, Weighted, Zyl8u, false),
    MEMBER(WTD, zyliAddWeighted_8s32f_C1IR, Weighted, Zyl8s, false),
    MEMBER(WTD, zyliAddWeighted_32f_C1IR, Weighted, Zyl32f, false),
    MEMBER(WTD_M, zyliAddWeighted_8u32f_C1IMR, Weighted, Zyl8u, true),
    MEMBER(WTD_M, zyliAddWeighted_8s32f_C1IMR, Weighted, Zyl8s, true),
    MEMBER(WTD_M, zyliAddWeighted_32f_C1IMR, Weighted, Zyl32f, true),
};

// Runs f.template operator()<T>() with the member's source type.
template <class F> void with_source_type(Src s, F &&f)
{
    if (s == Src::U8) f.template operator()<Zyl8u>();
    else if (s == Src::S8) f.template operator()<Zyl8s>();
    else f.template operator()<Zyl32f>();
}

// Masks with zero bytes and assorted non-zero ones (1 and 255 select alike).
void fill_mask(Image<Zyl8u> &m, Rng &rng, double zeroShare)
{
    for (int y = 0; y < m.height(); ++y)
        for (int x = 0; x < m.width(); ++x)
            m.at(x, y) =
                rng.chance(zeroShare) ? 0 : Zyl8u(rng.chance(0.5) ? 1 : rng.uniform(1, 255));
    m.snapshot();
}

// Weights in 0..1 mostly, and the values that stress the increment form.
float random_alpha(Rng &rng)
{
    const float picks[] = {0.0f,
                           1.0f,
                           -0.5f,
                           1.5f,
                           -0.0f,
                           std::numeric_limits<float>::infinity(),
                           std::numeric_limits<float>::quiet_NaN()};
    if (rng.chance(0.25)) return picks[rng.uniform(0, 6)];
    if (rng.chance(0.1)) return zt::random_float(rng, 0.0);
    return rng.real(0.0f, 1.0f);
}

// Floats with more special values than usual and NaNs of random sign and payload, so that two
// NaN operands meet often enough to pin down which one propagates.
void fill_floats(Image<Zyl32f> &img, Rng &rng)
{
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            img.at(x, y) = rng.chance(0.1)
                               ? std::bit_cast<float>(0x7FC00000u | (rng.bits32() & 0x803FFFFFu))
                               : zt::random_float(rng, 0.15);
    img.snapshot();
}
template <class T> void fill_source(Image<T> &img, Rng &rng)
{
    if constexpr (std::is_same_v<T, Zyl32f>) fill_floats(img, rng);
    else img.fill_random(rng);
}

Layout vary(Rng &rng, Layout l, int elem)
{
    l.padBytes = rng.chance(0.4) ? 0 : elem * rng.uniform(0, 20);
    l.offset = rng.chance(0.3) ? 0 : (elem * rng.uniform(0, 15)) % 16;
    return l;
}

// ---- validation -------------------------------------------------------------------------

TEST(Accum, ValidationOrderAndNoWrites)
{
    for (const Member &M : kMembers) {
        SCOPED_TRACE(M.name);
        with_source_type(M.src, [&]<class T>() {
            constexpr int e = sizeof(T);
            const bool f32 = e == 4;
            const int w = 8, h = 4;
            Image<T> a({w, h}), b({w, h});
            Image<Zyl8u> m({w, h});
            Image<Zyl32f> d({w, h});
            Rng rng(3);
            a.fill_random(rng);
            b.fill_random(rng);
            fill_mask(m, rng, 0.3);
            d.fill_random(rng);
            // A valid call; each case changes some of its arguments.
            struct Args {
                const T *a, *b;
                const Zyl8u *m;
                Zyl32f *d;
                int as, bs, ms, ds;
                ZyliSize r;
            };
            const Args valid{a.data(), b.data(), m.data(), d.data(), a.step(),
                             b.step(), m.step(), d.step(), {w, h}};
            auto with = [&](auto change) {
                Args x = valid;
                change(x);
                return [x, &M] {
                    return M.call(x.a, x.as, x.b, x.bs, x.m, x.ms, x.d, x.ds, x.r, 0.5f);
                };
            };
            auto steps = [](int as, int bs, int ms, int ds) {
                return [=](Args &x) { x.as += as, x.bs += bs, x.ms += ms, x.ds += ds; };
            };
            std::vector<zt::StatusCase> refused = {
                {"null source wins over size and steps", with([](Args &x) {
                     x.a = nullptr, x.as = x.bs = x.ms = x.ds = -1, x.r = {-1, -1};
                 }),
                 zylStatusNullPtr},
                {"null accumulator", with([](Args &x) { x.d = nullptr; }), zylStatusNullPtr},
                {"negative width", with([](Args &x) { x.r.width = -1; }), zylStatusBadSize},
                {"negative height", with([](Args &x) { x.r.height = -1; }), zylStatusBadSize},
                {"source step one pixel short", with(steps(-e, 0, 0, 0)), zylStatusBadSize},
                {"accumulator step one pixel short", with(steps(0, 0, 0, -4)), zylStatusBadSize},
                {"accumulator step 4w+2 is a size fault", with(steps(0, 0, 0, 2)),
                 zylStatusBadSize},
                {"zero steps with a positive width",
                 with([](Args &x) { x.as = x.bs = x.ms = x.ds = 0; }), zylStatusBadSize},
                {"negative step with zero width", with([](Args &x) { x.ds = -4, x.r.width = 0; }),
                 zylStatusBadSize},
                {"zero height does not excuse a bad step",
                 with([](Args &x) { x.ds += 2, x.r.height = 0; }), zylStatusBadSize},
            };
            if (f32)
                refused.push_back({"32f source step not a multiple of 4", with(steps(2, 0, 0, 0)),
                                   zylStatusBadSize});
            if (M.op == Op::Product) {
                refused.push_back(
                    {"null second source", with([](Args &x) { x.b = nullptr; }), zylStatusNullPtr});
                refused.push_back({"second source step one pixel short", with(steps(0, -e, 0, 0)),
                                   zylStatusBadSize});
                if (f32)
                    refused.push_back(
                        {"32f second source step 4w+2", with(steps(0, 2, 0, 0)), zylStatusBadSize});
            }
            if (M.masked) {
                refused.push_back({"null mask wins over size",
                                   with([](Args &x) { x.m = nullptr, x.r.width = -1; }),
                                   zylStatusNullPtr});
                refused.push_back({"mask step short", with(steps(0, 0, -1, 0)), zylStatusBadSize});
            }
            // Accepted calls on empty images must write nothing either.
            refused.push_back({"zero width", with([](Args &x) { x.r.width = 0; }), zylStatusOk});
            refused.push_back({"zero height", with([](Args &x) { x.r.height = 0; }), zylStatusOk});
            refused.push_back({"zero width with zero steps",
                               with([](Args &x) { x.as = x.bs = x.ms = x.ds = 0, x.r.width = 0; }),
                               zylStatusOk});
            const auto before = d.roi_bytes();
            auto untouched = [&] { return d.roi_bytes() == before && d.intact_outside_roi(); };
            zt::expect_statuses(refused, untouched);
            EXPECT_TRUE(untouched()) << "an empty call wrote";
            // 8-bit images and masks have no step alignment demand.
            std::vector<zt::StatusCase> accepted;
            if (!f32) accepted.push_back({"odd 8-bit steps", with(steps(1, 1, 0, 0)), zylStatusOk});
            if (M.masked)
                accepted.push_back({"odd mask step", with(steps(0, 0, 1, 0)), zylStatusOk});
            zt::expect_statuses(accepted);
        });
    }
}

// ---- reference ----------------------------------------------------------------------------

// Every member on random layouts (padding and offsets per image, contiguous images that run as
// one row, every width up to 40 so that each block size meets each tail, then wider ones) with
// special floats in the accumulator and the 32f sources, compared bit for bit with the model;
// and every twin's kernel on the same images against the portable one.
TEST(Accum, MatchesReference)
{
    for (const Member &M : kMembers) {
        SCOPED_TRACE(M.name);
        with_source_type(M.src, [&]<class T>() {
            for (std::uint32_t seed = 1; seed <= 50; ++seed) {
                SCOPED_TRACE(zt::seed_note(seed));
                Rng rng(seed * 7919u + unsigned(M.op) * 31u + unsigned(M.src));
                const Layout base{seed <= 40 ? int(seed) : rng.uniform(41, 150), rng.uniform(1, 5)};
                Layout la = vary(rng, base, sizeof(T)), lb = vary(rng, base, sizeof(T));
                Layout lm = vary(rng, base, 1), ld = vary(rng, base, 4);
                if (seed % 3 == 0) la.padBytes = lb.padBytes = lm.padBytes = ld.padBytes = 0;
                Image<T> a(la), b(lb);
                Image<Zyl8u> m(lm);
                Image<Zyl32f> d(ld);
                fill_source(a, rng);
                fill_source(b, rng);
                fill_mask(m, rng, seed % 5 == 0 ? 1.0 : 0.4);
                fill_floats(d, rng);
                const float alpha = random_alpha(rng);
                const int w = base.width, h = base.height;
                std::vector<float> before;
                for (int y = 0; y < h; ++y) before.insert(before.end(), d.row(y), d.row(y) + w);
                ASSERT_EQ(M.call(a.data(), a.step(), b.data(), b.step(), m.data(), m.step(),
                                 d.data(), d.step(), d.size(), alpha),
                          zylStatusOk);
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) {
                        float e = reference<T>(M.op, M.masked, before[std::size_t(y) * w + x],
                                               a.at(x, y), b.at(x, y), m.at(x, y), alpha);
                        ASSERT_EQ(zt::bits_of(d.at(x, y)), zt::bits_of(e))
                            << "pixel " << x << "," << y << " alpha " << alpha;
                    }
                // The twins' kernels on the same images, row by row.
                zt::expect_twins_agree([&](zt::Twin t) {
                    Image<Zyl32f> k(ld);
                    for (int y = 0; y < h; ++y)
                        std::memcpy(k.row(y), &before[std::size_t(y) * w], 4 * w);
                    k.snapshot();
                    M.kernel(t, a.data(), a.step(), b.data(), b.step(), m.data(), m.step(),
                             k.data(), k.step(), w, h, alpha);
                    EXPECT_TRUE(k.intact_outside_roi());
                    return k.roi_bytes();
                });
                EXPECT_TRUE(d.intact_outside_roi());
            }
        });
    }
}

// Hand-picked one-pixel cases whose results follow from arithmetic alone.
TEST(Accum, EdgeValues)
{
    const float inf = std::numeric_limits<float>::infinity(), nan = zt::special_floats()[4];
    struct Case {
        const char *member;
        float d, s1, s2;
        Zyl8u mask;
        float alpha, want;
        bool anyNan = false;  // want: some NaN
    } cases[] = {
        {"zyliAddSquare_8u32f_C1IR", 0.5f, 255, 0, 1, 0, 65025.5f},
        {"zyliAddProduct_8u32f_C1IR", 0.0f, 255, 255, 1, 0, 65025.0f},
        {"zyliAddProduct_8s32f_C1IR", 0.0f, -128, 127, 1, 0, -16256.0f},
        {"zyliAddProduct_8s32f_C1IMR", 1.0f, -128, -128, 200, 0, 16385.0f},
        // An unselected pixel keeps its value, except that -0.0 becomes +0.0.
        {"zyliAdd_32f_C1IMR", -0.0f, 7, 0, 0, 0, 0.0f},
        {"zyliAdd_32f_C1IMR", 1.5f, nan, 0, 0, 0, 1.5f},
        {"zyliAdd_32f_C1IMR", nan, 7, 0, 0, 0, nan},
        {"zyliAddSquare_8s32f_C1IMR", -0.0f, -128, 0, 0, 0, 0.0f},
        {"zyliAddProduct_32f_C1IMR", -inf, inf, 0, 0, 0, -inf},
        // A zero weight still turns an infinite difference into a NaN.
        {"zyliAddWeighted_32f_C1IMR", inf, 7, 0, 0, 0.25f, 0, true},
        {"zyliAddWeighted_32f_C1IMR", 2.0f, 7, 0, 0, 0.25f, 2.0f},
        // Increment form: with alpha 1, D + (s - D) is not s where s - D rounds.
        {"zyliAddWeighted_32f_C1IR", 1e8f, 1, 0, 1, 1.0f, 0.0f},
        {"zyliAddWeighted_8u32f_C1IR", 3.0f, 200, 0, 1, 0.0f, 3.0f},
    };
    for (const Case &c : cases) {
        const Member *M =
            std::find_if(std::begin(kMembers), std::end(kMembers),
                         [&](const Member &m) { return std::string(m.name) == c.member; });
        ASSERT_NE(M, std::end(kMembers)) << c.member;
        SCOPED_TRACE(c.member);
        with_source_type(M->src, [&]<class T>() {
            const T a = T(c.s1), b = T(c.s2);
            float d = c.d;
            ASSERT_EQ(M->call(&a, 4, &b, 4, &c.mask, 1, &d, 4, {1, 1}, c.alpha), zylStatusOk);
            if (c.anyNan) EXPECT_TRUE(std::isnan(d));
            else EXPECT_EQ(zt::bits_of(d), zt::bits_of(c.want)) << d;
        });
    }
}

// ---- borders ------------------------------------------------------------------------------

// Sources, mask and accumulator flush against inaccessible pages: only the ROI is touched.
TEST(Accum, StaysInsideRoi)
{
    for (const Member &M : kMembers) {
        SCOPED_TRACE(M.name);
        with_source_type(M.src, [&]<class T>() {
            for (int w : {1, 9, 33, 47})
                for (zt::Guard g : {zt::Guard::Before, zt::Guard::After}) {
                    Rng rng(w);
                    zt::GuardedImage<T> a(w, 3, 1, g), b(w, 3, 1, g);
                    zt::GuardedImage<Zyl8u> m(w, 3, 1, g);
                    zt::GuardedImage<Zyl32f> d(w, 3, 1, g, 4);
                    a.fill_random(rng);
                    b.fill_random(rng);
                    m.fill_random(rng);
                    d.fill_random(rng);
                    EXPECT_EQ(M.call(a.data(), a.step(), b.data(), b.step(), m.data(), m.step(),
                                     d.data(), d.step(), a.size(), 0.5f),
                              zylStatusOk);
                }
        });
    }
}

}  // namespace
