// Norms, norms of differences and relative norms: validation order, a scalar reference model,
// twins, guard pages. Every test runs over all 54 exported members.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "norm/norm.h"
#include "norm_calls.h"
#include "support.h"

using zt::Image;
using zt::Layout;
using zt::Rng;

namespace {

using namespace norm_calls;

const Member &member(const std::string &name)
{
    auto it = std::find_if(std::begin(kMembers), std::end(kMembers),
                           [&](const Member &m) { return name == m.name; });
    if (it == std::end(kMembers)) ADD_FAILURE() << "no member " << name;
    return it != std::end(kMembers) ? *it : kMembers[0];
}

template <class F> void with_type(Type t, F &&f)
{
    if (t == Type::U8) f.template operator()<Zyl8u>();
    else if (t == Type::S8) f.template operator()<Zyl8s>();
    else f.template operator()<Zyl32f>();
}

// ---- reference model -----------------------------------------------------------------------

// How the 32f L1 and L2 members add a group of eight terms t0..t7 into the partial sums
// P0..P3 (Pj takes tj and tj+4), and how they combine P0..P3 at the end.
enum class Update { Sequential /* (Pj + tj) + tj+4 */, PairFirst /* Pj + (tj + tj+4) */ };
enum class Final { Halves /* (P0 + P2) + (P1 + P3) */, Chain /* ((P0 + P1) + P2) + P3 */ };
struct Scheme {
    Update update;
    Final final;
};

Scheme defined_scheme(const Member &m)
{
    struct Row {
        const char *name;
        Scheme s;
    };
    static const Row rows[] = {
        {"Norm_L1_32f_C1MR", {Update::PairFirst, Final::Halves}},
        {"Norm_L1_32f_C3CMR", {Update::Sequential, Final::Halves}},
        {"Norm_L2_32f_C1MR", {Update::Sequential, Final::Chain}},
        {"Norm_L2_32f_C3CMR", {Update::Sequential, Final::Halves}},
        {"NormDiff_L1_32f_C1MR", {Update::PairFirst, Final::Chain}},
        {"NormDiff_L1_32f_C3CMR", {Update::Sequential, Final::Halves}},
        {"NormDiff_L2_32f_C1MR", {Update::Sequential, Final::Chain}},
        {"NormDiff_L2_32f_C3CMR", {Update::Sequential, Final::Halves}},
        {"NormRel_L1_32f_C1MR", {Update::Sequential, Final::Chain}},
        {"NormRel_L1_32f_C3CMR", {Update::Sequential, Final::Chain}},
        {"NormRel_L2_32f_C1MR", {Update::Sequential, Final::Chain}},
        {"NormRel_L2_32f_C3CMR", {Update::Sequential, Final::Halves}},
    };
    for (const Row &r : rows)
        if (std::string(r.name) == m.name) return r.s;
    return {Update::Sequential, Final::Chain};  // not a single-precision sum
}

bool sums_floats(const Member &m) { return m.type == Type::F32 && m.kind != Kind::Inf; }

// How the reference sums single-precision terms: as defined (with a scheme that a test may
// alter on purpose), or naively one after another in raster order.
enum class Order { Defined, Naive };

constexpr double kTwo52 = 4503599627370496.0;

// The member's result from its definition. `c` is the channel read (0 for one channel); `s`
// is the member's summation scheme unless a test alters it on purpose.
template <class T>
double reference(const Member &mb, const Image<T> &a, const Image<T> &b, const Image<Zyl8u> &m,
                 int c, Scheme s, Order order = Order::Defined)
{
    const int w = a.width(), h = a.height();
    const bool rel = mb.term == Term::Rel;
    if constexpr (!std::is_same_v<T, Zyl32f>) {
        std::int64_t n = 0, d = 0;
        auto reduce = [&](std::int64_t &acc, int v) {
            int mag = std::abs(v);
            if (mb.kind == Kind::Inf) acc = std::max<std::int64_t>(acc, mag);
            else if (mb.kind == Kind::L1) acc += mag;
            else acc += std::int64_t(v) * v;
        };
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                if (!m.at(x, y)) continue;
                int va = a.at(x, y, c);
                int vb = mb.term == Term::Value ? 0 : b.at(x, y, c);
                reduce(n, va - vb);
                if (rel) reduce(d, vb);
            }
        double nd = double(n), dd = double(d);
        double r = !rel ? nd : d != 0 ? nd / dd : nd * kTwo52;
        return mb.kind == Kind::L2 ? std::sqrt(r) : r;
    } else {
        // Term of pixel x of row y, numerator (0) or denominator (1); 0 when not selected.
        auto term = [&](int x, int y, int which) -> float {
            if (!m.at(x, y)) return 0.0f;
            float v = which == 1               ? b.at(x, y, c)
                      : mb.term == Term::Value ? a.at(x, y, c)
                                               : a.at(x, y, c) - b.at(x, y, c);
            return mb.kind == Kind::L2 ? v * v : std::fabs(v);
        };
        auto reduce = [&](int which) -> float {
            if (mb.kind == Kind::Inf) {
                float best = 0.0f;  // NaN terms are passed over
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) {
                        float t = term(x, y, which);
                        if (!std::isnan(t) && t > best) best = t;
                    }
                return best;
            }
            float p[4] = {0.0f, 0.0f, 0.0f, 0.0f};
            for (int y = 0; y < h; ++y) {
                int x = 0;
                if (order == Order::Defined)
                    for (; x + 8 <= w; x += 8)
                        for (int j = 0; j < 4; ++j) {
                            float lo = term(x + j, y, which), hi = term(x + j + 4, y, which);
                            p[j] = s.update == Update::Sequential ? (p[j] + lo) + hi
                                                                  : p[j] + (lo + hi);
                        }
                for (; x < w; ++x) p[0] = p[0] + term(x, y, which);
            }
            return s.final == Final::Halves ? (p[0] + p[2]) + (p[1] + p[3])
                                            : ((p[0] + p[1]) + p[2]) + p[3];
        };
        const float n = reduce(0);
        double r = n;
        if (rel) {
            const float d = reduce(1);
            r = d == 0.0f ? double(n) / 0x1p-52 : double(n) / double(d);
        }
        return mb.kind == Kind::L2 ? std::sqrt(r) : r;
    }
}

// ---- random inputs -------------------------------------------------------------------------

// Masks: none selected, all selected, or a random share.
void fill_mask(Image<Zyl8u> &m, Rng &rng, int mode)
{
    const double share[] = {0.0, 1.0, 0.5, 0.9, 0.1};
    zt::fill_mask(m, rng, share[mode % 5]);
}

// A layout whose pointer and step are multiples of 16.
template <class T> Layout aligned_layout(int w, int h, int cn)
{
    int row = w * cn * int(sizeof(T));
    return {w, h, cn, (16 - row % 16) % 16 + 16 * (w % 2), 0};
}

class NormMember : public ::testing::TestWithParam<Member> {};

// ---- validation ----------------------------------------------------------------------------

// Pointers, steps, size, channel of interest, then 32f source-step alignment; a refused call
// stores nothing.
TEST_P(NormMember, ValidationOrderAndNoWrites)
{
    const Member mb = GetParam();
    with_type(mb.type, [&]<class T>() {
        const int cn = mb.coi ? 3 : 1;
        const bool two = mb.term != Term::Value, f32 = mb.type == Type::F32;
        Layout l{8, 4, cn, 4 * int(sizeof(T)), 0};
        Image<T> a(l), b(l);
        Image<Zyl8u> mask({8, 4, 1, 3, 0});
        Rng rng(7);
        a.fill_random(rng, 0.0);
        b.fill_random(rng, 0.0);
        fill_mask(mask, rng, 1);
        std::vector<Zyl8u> mask3(12, 1);  // rows of 3 bytes, 3 bytes apart
        const int s = a.step(), ms = mask.step();
        const int odd = s - 2;  // not a multiple of 4, inside the image
        const ZyliSize ok{8, 4};
        const int coi = mb.coi ? 2 : 0;
        const double sentinel = -12345.678;
        double out = sentinel;
        const T *pa = a.data(), *pb = b.data();
        const Zyl8u *pm = mask.data();
        auto call = [&](const T *xa, int as, const T *xb, int bs, const Zyl8u *xm, int xms,
                        ZyliSize r, int c, Zyl64f *o) {
            return [=, &mb, &out] {
                return out = sentinel, mb.call(xa, as, xb, bs, xm, xms, r, c, o);
            };
        };
        constexpr ZylStatus Null = zylStatusNullPtr, Size = zylStatusBadSize, Ok = zylStatusOk;
        constexpr ZylStatus Step = zylStatusBadStep, Coi = zylStatusBadChannelOfInterest;
        const ZylStatus oddStep = f32 ? zylStatusStepNotAligned : Ok;
        std::vector<zt::StatusCase> cases = {
            {"null src1 first", call(nullptr, 0, pb, 0, pm, 0, {0, 0}, 0, &out), Null},
            {"null mask beats bad steps", call(pa, -1, pb, s, nullptr, 0, ok, coi, &out), Null},
            {"null result beats bad size", call(pa, s, pb, s, pm, ms, {0, 0}, 0, nullptr), Null},
            {"zero src1 step beats size", call(pa, 0, pb, s, pm, ms, {0, 4}, coi, &out), Step},
            {"zero mask step beats bad size", call(pa, s, pb, s, pm, 0, {8, -1}, 0, &out), Step},
            {"negative mask step", call(pa, s, pb, s, pm, -ms, ok, coi, &out), Step},
            {"zero width", call(pa, s, pb, s, pm, ms, {0, 4}, coi, &out), Size},
            {"zero height", call(pa, s, pb, s, pm, ms, {8, 0}, coi, &out), Size},
            {"negative width", call(pa, s, pb, s, pm, ms, {-3, 4}, coi, &out), Size},
            {"whole image", call(pa, s, pb, s, pm, ms, ok, coi, &out), Ok},
            {"mask step 3 (never tested for alignment)",
             call(pa, s, pb, s, mask3.data(), 3, {3, 4}, coi, &out), Ok},
            {"odd src1 step", call(pa, odd, pb, s, pm, ms, ok, coi, &out), oddStep},
        };
        auto add = [&](bool when, const std::vector<zt::StatusCase> &more) {
            if (when) cases.insert(cases.end(), more.begin(), more.end());
        };
        add(two,
            {{"null src2 beats bad steps", call(pa, s, nullptr, -1, pm, 0, ok, coi, &out), Null},
             {"negative src2 step beats size", call(pa, s, pb, -s, pm, ms, {8, 0}, coi, &out),
              Step},
             {"odd src2 step", call(pa, s, pb, odd, pm, ms, ok, coi, &out), oddStep}});
        add(f32,
            {{"size beats odd steps", call(pa, odd, pb, odd, pm, ms, {0, 4}, coi, &out), Size}});
        add(mb.coi, {{"zero width beats coi 0", call(pa, s, pb, s, pm, ms, {0, 4}, 0, &out), Size},
                     {"coi 0", call(pa, s, pb, s, pm, ms, ok, 0, &out), Coi},
                     {"coi 4", call(pa, s, pb, s, pm, ms, ok, 4, &out), Coi},
                     {"coi -1", call(pa, s, pb, s, pm, ms, ok, -1, &out), Coi},
                     {"coi 0 beats odd steps", call(pa, odd, pb, odd, pm, ms, ok, 0, &out), Coi},
                     {"coi 1", call(pa, s, pb, s, pm, ms, ok, 1, &out), Ok},
                     {"coi 3", call(pa, s, pb, s, pm, ms, ok, 3, &out), Ok}});
        zt::expect_statuses(cases, [&] { return zt::bits_of(out) == zt::bits_of(sentinel); });
        EXPECT_TRUE(a.intact_outside_roi() && b.intact_outside_roi() && mask.intact_outside_roi());
    });
}

// ---- reference comparison ------------------------------------------------------------------

// Random layouts (padding, offsets, contiguous and 16-byte aligned images), widths that reach
// every block size and row end, every coi, masks from empty to full, special floats in a third
// of the cases (empty masks over them select nothing: +0.0), some with the same image as both
// sources. The result goes between two canaries. For the 32f sums the test also proves
// that it would notice a different summation: a naive raster-order sum, the other group update
// and the other final combination each differ from the expected value in some case.
TEST_P(NormMember, MatchesReference)
{
    const Member mb = GetParam();
    with_type(mb.type, [&]<class T>() {
        const int cn = mb.coi ? 3 : 1;
        const Scheme s = defined_scheme(mb);
        const Scheme otherUpdate{
            s.update == Update::Sequential ? Update::PairFirst : Update::Sequential, s.final};
        const Scheme otherFinal{s.update, s.final == Final::Halves ? Final::Chain : Final::Halves};
        int naiveDiffers = 0, updateDiffers = 0, finalDiffers = 0;
        for (std::uint32_t seed = 1; seed <= 49; ++seed) {
            // The last seed, for the integer members: extreme magnitudes on a contiguous image
            // large enough that the L2 sums leave 32 bits (4 * 255^2 per 16 pixels in each
            // 32-bit lane) and the packed kernels move lane sums into 64-bit totals several times.
            const bool large = seed == 49;
            if (large && mb.type == Type::F32) break;
            const std::uint32_t rs = seed * 7919u + std::uint32_t(mb.type) * 31u;
            Rng rng(rs);
            SCOPED_TRACE(zt::seed_note(rs));
            const int maxW = seed % 4 == 0 ? 150 : 70;
            Layout la = zt::random_layout<T>(rng, maxW, 5, cn);
            Layout lb = la, lm{la.width, la.height, 1, 0, 0};
            lb.padBytes = zt::random_layout<T>(rng, 1, 1).padBytes;
            lb.offset = zt::random_layout<T>(rng, 1, 1).offset;
            lm.padBytes = zt::random_layout<Zyl8u>(rng, 1, 1).padBytes;
            lm.offset = zt::random_layout<Zyl8u>(rng, 1, 1).offset;
            if (seed % 6 == 1) {  // rows contiguous in every image
                la.padBytes = lb.padBytes = lm.padBytes = 0;
            } else if (seed % 6 == 2) {  // 16-byte aligned pointers and steps
                la = lb = aligned_layout<T>(la.width, la.height, cn);
                lm = aligned_layout<Zyl8u>(la.width, la.height, 1);
            }
            if (large)
                la = lb = {mb.kind == Kind::L2 ? 640 : 300, mb.kind == Kind::L2 ? 480 : 230, cn},
                lm = {la.width, la.height};
            Image<T> a(la), b2(lb);
            Image<Zyl8u> m(lm);
            const Image<T> &b = seed % 10 == 1 ? a : b2;
            const double specials = seed % 3 == 0 ? 0.05 : 0.0;
            a.fill_random(rng, specials);
            b2.fill_random(rng, specials);
            fill_mask(m, rng, int(seed));
            if (large) {
                a.fill(T(mb.type == Type::U8 ? 255 : -128)),
                    b2.fill(T(mb.type == Type::U8 ? 0 : 127));
                for (int y = 0; y < la.height; ++y)
                    for (int x = 0; x < la.width; ++x) m.at(x, y) = Zyl8u(x % 97 ? 200 : 0);
            }
            const int coi = mb.coi ? 1 + int(seed % 3) : 0, c = mb.coi ? coi - 1 : 0;
            double out[3] = {-1.5, -2.5, -3.5};
            ASSERT_EQ(mb.call(a.data(), a.step(), b.data(), b.step(), m.data(), m.step(), a.size(),
                              coi, &out[1]),
                      zylStatusOk);
            EXPECT_EQ(out[0], -1.5);
            EXPECT_EQ(out[2], -3.5);
            const double want = reference(mb, a, b, m, c, s);
            EXPECT_TRUE(zt::same_bits_or_nan(out[1], want))
                << la.width << "x" << la.height << " coi " << coi;
            if (sums_floats(mb) && !std::isnan(want)) {
                naiveDiffers +=
                    !zt::same_bits_or_nan(reference(mb, a, b, m, c, s, Order::Naive), want);
                updateDiffers +=
                    !zt::same_bits_or_nan(reference(mb, a, b, m, c, otherUpdate), want);
                finalDiffers += !zt::same_bits_or_nan(reference(mb, a, b, m, c, otherFinal), want);
            }
            EXPECT_TRUE(a.intact_outside_roi() && b.intact_outside_roi() && m.intact_outside_roi());
        }
        if (sums_floats(mb)) {
            EXPECT_GT(naiveDiffers, 0) << "no case tells the defined order from a naive sum";
            EXPECT_GT(updateDiffers, 0) << "no case tells the group update apart";
            EXPECT_GT(finalDiffers, 0) << "no case tells the final combination apart";
        }
    });
}

// Sources and mask flush against inaccessible pages on either side: only the ROI is read.
TEST_P(NormMember, StaysInsideRoi)
{
    const Member mb = GetParam();
    with_type(mb.type, [&]<class T>() {
        const int cn = mb.coi ? 3 : 1;
        for (int w : {1, 9, 17, 33, 47, 70})
            for (zt::Guard g : {zt::Guard::Before, zt::Guard::After}) {
                Rng rng(w);
                Image<T> a({w, 3, cn}), b({w, 3, cn});
                Image<Zyl8u> m({w, 3, 1});
                a.fill_random(rng, 0.05);
                b.fill_random(rng, 0.05);
                fill_mask(m, rng, 2);
                zt::GuardedImage<T> ga(w, 3, cn, g), gb(w, 3, cn, g, int(sizeof(T)));
                zt::GuardedImage<Zyl8u> gm(w, 3, 1, g, 1);
                ga.copy_from(a), gb.copy_from(b), gm.copy_from(m);
                for (int coi : mb.coi ? std::vector<int>{1, 2, 3} : std::vector<int>{0}) {
                    double out = 0;
                    ASSERT_EQ(mb.call(ga.data(), ga.step(), gb.data(), gb.step(), gm.data(),
                                      gm.step(), ga.size(), coi, &out),
                              zylStatusOk);
                    EXPECT_TRUE(zt::same_bits_or_nan(
                        out, reference(mb, a, b, m, mb.coi ? coi - 1 : 0, defined_scheme(mb))));
                }
            }
    });
}

// The kernel entry of kind k and term r of twin t, called with the given arguments.
template <class T, class... A> double twin_norm(zt::Twin t, Kind k, Term r, A... args)
{
    using NK = zylcv::norm::NormKind;
    using NT = zylcv::norm::NormTerm;
    auto run = [&]<NK K, NT R>() { return ZT_ENTRY(t, masked_norm<K, R, T>)(args...); };
    auto by_kind = [&]<NT R>() {
        return k == Kind::Inf  ? run.template operator()<NK::Inf, R>()
               : k == Kind::L1 ? run.template operator()<NK::L1, R>()
                               : run.template operator()<NK::L2, R>();
    };
    if (r == Term::Value) return by_kind.template operator()<NT::Value>();
    if (r == Term::Diff) return by_kind.template operator()<NT::Diff>();
    return by_kind.template operator()<NT::Rel>();
}

// Every twin agrees with the portable one bit for bit on every width up to 70 and longer rows,
// 16- and 32-byte aligned and unaligned data, padded and contiguous rows.
TEST_P(NormMember, TwinsAgree)
{
    const Member mb = GetParam();
    with_type(mb.type, [&]<class T>() {
        const int cn = mb.coi ? 3 : 1;
        std::uint32_t seed = 900;
        for (int w = 1; w <= 200; w += w < 70 ? 1 : 61)
            for (int off : {0, 16, int(sizeof(T))})
                for (int pad : {0, 16, int(sizeof(T))}) {
                    Rng rng(++seed);
                    SCOPED_TRACE(zt::seed_note(seed));
                    Image<T> a({w, 3, cn, pad, off}), b({w, 3, cn, pad, off});
                    Image<Zyl8u> m({w, 3, 1, pad, off});
                    a.fill_random(rng, 0.03);
                    b.fill_random(rng, 0.03);
                    fill_mask(m, rng, int(seed));
                    for (int coi : mb.coi ? std::vector<int>{1, 2, 3} : std::vector<int>{0}) {
                        SCOPED_TRACE(testing::Message() << "width " << w << " coi " << coi);
                        const T *pb = mb.term == Term::Value ? nullptr : b.data();
                        // Equal bits, or NaN in both (the payload of a NaN sum is left open).
                        zt::expect_twins_agree([&](zt::Twin t) {
                            const double v =
                                twin_norm<T>(t, mb.kind, mb.term, a.data(), a.step(), pb, b.step(),
                                             m.data(), m.step(), w, 3, coi);
                            return v != v ? ~std::uint64_t{0} : zt::bits_of(v);
                        });
                    }
                }
    });
}

INSTANTIATE_TEST_SUITE_P(All, NormMember, ::testing::ValuesIn(kMembers),
                         [](const ::testing::TestParamInfo<Member> &i) {
                             return std::string(i.param.name);
                         });

// ---- hand-picked values --------------------------------------------------------------------

// Results that follow from arithmetic alone, for what random inputs rarely reach (zero and tiny
// denominators, inf - inf) and for the summation order itself. Values go into channel coi of
// three-channel images whose other channels hold values that would change the result if read.
struct ValueCase {
    const char *member;
    std::vector<double> a, b;
    std::vector<int> mask;
    double expected;
};

TEST(NormValues, HandPicked)
{
    const double nan = std::nan(""), inf = HUGE_VAL, tiny = 1e-30, dmin = 1.4e-45;
    const double e24 = 0x1p-24, e23 = 0x1p-23, three52 = 3 * 0x1p52;
    const std::vector<int> all16(16, 1);
    // Groups of eight: P0 takes 1, then 2^-24 twice; P = {1, 2^-24, 0, 2^-24}; 2^-24 twice in the
    // pixels after the last group (which go to P0), P1 = 1.
    const std::vector<double> pairs = {1, 0, 0, 0, 0, 0, 0, 0, e24, 0, 0, 0, e24, 0, 0, 0};
    const std::vector<double> halves = {1, e24, 0, e24, 0, 0, 0, 0}, zero8(8, 0.0);
    const std::vector<double> tail = {0, 1, 0, 0, 0, 0, 0, 0, e24, e24};
    const std::vector<int> all8(8, 1), all10(10, 1);
    const std::vector<ValueCase> cases = {
        // Relative norms: a zero denominator scales by 2^52.
        {"NormRel_Inf_8u_C1MR", {3}, {0}, {1}, three52},
        {"NormRel_L1_8s_C3CMR", {3}, {0}, {1}, three52},
        {"NormRel_L2_8u_C1MR", {3}, {0}, {1}, 3 * 0x1p26},
        {"NormRel_Inf_32f_C3CMR", {3}, {0}, {1}, three52},
        {"NormRel_L1_32f_C1MR", {3}, {-0.0}, {1}, three52},
        {"NormRel_L2_32f_C1MR", {3}, {0}, {1}, 3 * 0x1p26},
        // Only an exact zero counts: 1e-30 divides for L1, but its square is 0 in single precision.
        {"NormRel_L1_32f_C1MR", {1}, {tiny}, {1}, 1.0 / double(float(tiny))},
        {"NormRel_L2_32f_C3CMR", {1}, {tiny}, {1}, 0x1p26},
        {"NormRel_Inf_32f_C1MR", {0}, {dmin}, {1}, 1},
        // inf - inf is NaN: passed over by Inf, propagated by the sums.
        {"NormDiff_Inf_32f_C3CMR", {inf, 5}, {inf, 1}, {1, 1}, 4},
        {"NormDiff_L2_32f_C1MR", {inf}, {inf}, {1}, nan},
        // The group update: the pair added first keeps 2^-23, one at a time loses both.
        {"Norm_L1_32f_C1MR", pairs, {}, all16, 1 + e23},
        {"Norm_L1_32f_C3CMR", pairs, {}, all16, 1},
        // The final combination: halves keep 2^-23, a chain loses both.
        {"Norm_L1_32f_C1MR", halves, {}, all8, 1 + e23},
        {"NormDiff_L1_32f_C1MR", halves, zero8, all8, 1},
        {"Norm_L1_32f_C1MR", tail, {}, all10, 1 + e23},
    };
    for (const ValueCase &vc : cases) {
        const Member &mb = member(vc.member);
        SCOPED_TRACE(vc.member);
        with_type(mb.type, [&]<class T>() {
            const int w = int(vc.a.size()), cn = mb.coi ? 3 : 1, coi = mb.coi ? 2 : 0;
            Image<T> a({w, 1, cn, 0, 4}), b({w, 1, cn, 0, 0});
            Image<Zyl8u> m({w, 1, 1, 0, 1});
            for (int x = 0; x < w; ++x) {
                for (int c = 0; c < cn; ++c) {  // the channels around coi would spoil the result
                    a.at(x, 0, c) = std::is_same_v<T, Zyl32f> ? T(nan) : T(99);
                    b.at(x, 0, c) = std::is_same_v<T, Zyl32f> ? T(nan) : T(-7);
                }
                a.at(x, 0, coi ? coi - 1 : 0) = T(vc.a[x]);
                b.at(x, 0, coi ? coi - 1 : 0) = vc.b.empty() ? T(0) : T(vc.b[x]);
                m.at(x, 0) = Zyl8u(vc.mask[x]);
            }
            double out = -1;
            ASSERT_EQ(mb.call(a.data(), a.step(), b.data(), b.step(), m.data(), m.step(), {w, 1},
                              coi, &out),
                      zylStatusOk);
            EXPECT_TRUE(zt::same_bits_or_nan(out, vc.expected));
        });
    }
}

}  // namespace
