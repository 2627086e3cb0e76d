// Gaussian 5x5 pyramid: validation and buffer queries, a reference model from the 2-D
// definition (and, for 32f, the stated order of operations), worked examples, twins, guard pages
// around sources and work buffers, canaries around destinations and buffers.
#include <emmintrin.h>

#include <bit>
#include <cmath>
#include <optional>
#include <tuple>

#include "pyramid/pyramid.h"
#include "support.h"

using zt::Image;
using zt::Layout;
using zt::Rng;

namespace {

enum class Op { Down, Up };
const char *op_name(Op op) { return op == Op::Down ? "PyrDown" : "PyrUp"; }

template <class T> struct Api;
#define ZT_PYR_API(T, tag, typeCode)                                                               \
    template <> struct Api<T> {                                                                    \
        static constexpr int code = typeCode;                                                      \
        static ZylStatus call(Op op, int cs, const T *s, int ss, T *d, int ds, ZyliSize r,         \
                              Zyl8u *b)                                                            \
        {                                                                                          \
            constexpr decltype(&zyliPyrUp_Gauss5x5_##tag##_C1R) fn[2][2] = {                       \
                {zyliPyrDown_Gauss5x5_##tag##_C1R, zyliPyrDown_Gauss5x5_##tag##_C3R},              \
                {zyliPyrUp_Gauss5x5_##tag##_C1R, zyliPyrUp_Gauss5x5_##tag##_C3R}};                 \
            return fn[op == Op::Up][cs == 3](s, ss, d, ds, r, b);                                  \
        }                                                                                          \
    };
ZT_PYR_API(Zyl8u, 8u, zyl8u)
ZT_PYR_API(Zyl8s, 8s, zyl8s)
ZT_PYR_API(Zyl32f, 32f, zyl32f)
#undef ZT_PYR_API

ZylStatus query(Op op, int w, int type, int cs, Zyl32s *size)
{
    return op == Op::Down ? zyliPyrDownGetBufSize_Gauss5x5(w, type, cs, size)
                          : zyliPyrUpGetBufSize_Gauss5x5(w, type, cs, size);
}
template <class T> int buffer_size(Op op, int w, int cs)
{
    Zyl32s size = -1;
    EXPECT_EQ(query(op, w, Api<T>::code, cs, &size), zylStatusOk);
    return size;
}
ZyliSize out_size(Op op, ZyliSize in)
{
    return op == Op::Down ? ZyliSize{in.width / 2, in.height / 2}
                          : ZyliSize{2 * in.width, 2 * in.height};
}

constexpr int kTaps[5] = {1, 4, 6, 4, 1};

// PyrDown border: mirrored without repeating the edge, i.e. periodic with period 2(n - 1).
int ref_down_index(int i, int n)
{
    const int p = 2 * (n - 1), m = ((i % p) + p) % p;
    return m < n ? m : p - m;
}
// PyrUp border: mirrored on the left/top, then replicated on the right/bottom.
int ref_up_index(int i, int n)
{
    if (i < 0) i = -i;
    return i < n ? i : n - 1;
}
long long floor_div(long long a, long long b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// Read access to a source ROI of either image kind.
template <class T> struct View {
    const T *p;
    int step, W, H, cs;
    T at(int x, int y, int c) const
    {
        return reinterpret_cast<const T *>(reinterpret_cast<const char *>(p) +
                                           std::ptrdiff_t(y) * step)[x * cs + c];
    }
};
template <class I> auto view_of(I &img, int cs)
{
    using T = std::remove_cvref_t<decltype(*img.data())>;
    return View<T>{img.data(), img.step(), img.size().width, img.size().height, cs};
}

// The 2-D definition in exact integers: 25 weights k_i * k_j on the source (PyrDown), or on the
// source spread to every second sample with zeros between (PyrUp, where only the non-zero
// samples are visited).
template <class T> long long ref_sum(Op op, const View<T> &v, int X, int Y, int c)
{
    long long sum = 0;
    for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 5; ++i) {
            const int px = X + i - 2, py = Y + j - 2;
            if (op == Op::Up && (px % 2 != 0 || py % 2 != 0)) continue;
            const int sx =
                op == Op::Down ? ref_down_index(2 * X + i - 2, v.W) : ref_up_index(px / 2, v.W);
            const int sy =
                op == Op::Down ? ref_down_index(2 * Y + j - 2, v.H) : ref_up_index(py / 2, v.H);
            sum += kTaps[i] * kTaps[j] * static_cast<long long>(v.at(sx, sy, c));
        }
    return sum;
}

template <class T> T ref_int(Op op, const View<T> &v, int X, int Y, int c)
{
    const long long s = ref_sum(op, v, X, Y, c);
    return static_cast<T>(op == Op::Down ? floor_div(s + 128, 256) : floor_div(s + 32, 64));
}

// 32f: the stated order of operations, with the first operand's NaN surviving a sum of two NaNs.
float quiet(float v) { return std::bit_cast<float>(zt::bits_of(v) | 0x00400000u); }
float add(float a, float b)
{
    if (std::isnan(a)) return quiet(a);
    if (std::isnan(b)) return quiet(b);
    volatile float r = a + b;
    return r;
}
float mul(float k, float v)
{
    volatile float r = k * v;
    return r;
}

// One PyrDown pass over n samples s(0..n-1): output i.
template <class S> float ref_down_1d(const S &s, int n, int i, bool vertical)
{
    if (n == 2) return mul(8, add(s(0), s(1)));
    if (i == 0)
        return vertical ? add(add(mul(6, s(0)), mul(8, s(1))), mul(2, s(2)))
                        : mul(2, add(add(mul(3, s(0)), mul(4, s(1))), s(2)));
    if (i == n / 2 - 1)
        return add(add(mul(4, add(s(n - 3), s(n - 1))), s(n - 4)), mul(7, s(n - 2)));
    const int m = 2 * i;
    if (vertical)
        return add(add(add(mul(4, add(s(m - 1), s(m + 1))), mul(6, s(m))), s(m - 2)), s(m + 2));
    return add(add(add(mul(6, s(m)), mul(4, add(s(m - 1), s(m + 1)))), s(m - 2)), s(m + 2));
}
// One PyrUp pass over n samples: output i of 2n.
template <class S> float ref_up_1d(const S &s, int n, int i)
{
    const int m = i / 2;
    if (n == 1) return mul(8, s(0));
    if (i % 2 == 1) return m == n - 1 ? mul(8, s(m)) : mul(4, add(s(m), s(m + 1)));
    if (m == 0) return mul(2, add(mul(3, s(0)), s(1)));
    if (m == n - 1) return add(mul(7, s(m)), s(m - 1));
    return add(add(mul(6, s(m)), s(m - 1)), s(m + 1));
}
float ref_32f(Op op, const View<Zyl32f> &v, int X, int Y, int c)
{
    auto row = [&](int y) { return [&, y](int x) { return v.at(x, y, c); }; };
    if (op == Op::Down) {
        auto h = [&](int y) { return ref_down_1d(row(y), v.W, X, false); };
        return mul(0.00390625f, ref_down_1d(h, v.H, Y, true));
    }
    auto u = [&](int y) { return ref_up_1d(row(y), v.W, X); };
    return mul(0.015625f, ref_up_1d(u, v.H, Y));
}

template <class T> T reference(Op op, const View<T> &v, int X, int Y, int c)
{
    if constexpr (std::is_same_v<T, Zyl32f>) return ref_32f(op, v, X, Y, c);
    else return ref_int(op, v, X, Y, c);
}

// Whether packed adds on this machine follow the SSE rule for two NaN operands: the first one's
// NaN, quieted, as the 32f kernels assume. qemu-user instead picks between them as the x87 does;
// under it a NaN result only has to be some NaN.
bool sse_nan_rule()
{
    __m128 a = _mm_set1_ps(std::bit_cast<float>(0xFFA5A5A5u)),
           b = _mm_set1_ps(std::bit_cast<float>(0x7FC00000u));
    asm("addps %1, %0" : "+x"(a) : "x"(b));
    return zt::bits_of(_mm_cvtss_f32(a)) == 0xFFE5A5A5u;
}
template <class T> bool same_result(T a, T e)
{
    if constexpr (std::is_same_v<T, Zyl32f>) {
        static const bool exact = sse_nan_rule();
        if (!exact && std::isnan(a) && std::isnan(e)) return true;
    }
    return zt::bits_of(float(a)) == zt::bits_of(float(e));  // exact for the 8-bit types too
}
// Compares a destination with the reference model; bit patterns for 32f.
template <class T, class D>
::testing::AssertionResult matches_reference(Op op, const View<T> &src, D &dst)
{
    const ZyliSize o = out_size(op, {src.W, src.H});
    for (int y = 0; y < o.height; ++y)
        for (int x = 0; x < o.width; ++x)
            for (int c = 0; c < src.cs; ++c) {
                const T e = reference(op, src, x, y, c), a = dst.at(x, y, c);
                if (!same_result(a, e))
                    return ::testing::AssertionFailure()
                           << op_name(op) << " " << src.W << "x" << src.H << " C" << src.cs
                           << " at (" << x << "," << y << ") channel " << c << ": got " << double(a)
                           << " want " << double(e) << " (bits " << zt::bits_of(float(a)) << ", "
                           << zt::bits_of(float(e)) << ")";
            }
    return ::testing::AssertionSuccess();
}

template <class T> class Pyr : public ::testing::Test {
};
using Types = ::testing::Types<Zyl8u, Zyl8s, Zyl32f>;
TYPED_TEST_SUITE(Pyr, Types);

TYPED_TEST(Pyr, ValidationOrderAndNoWrites)
{
    using T = TypeParam;
    constexpr int e = sizeof(T);
    constexpr bool f32 = std::is_same_v<T, Zyl32f>;
    for (Op op : {Op::Down, Op::Up})
        for (int cs : {1, 3}) {
            SCOPED_TRACE(std::string(op_name(op)) + " C" + std::to_string(cs));
            const int W = 8, H = 6, row = W * cs * e, orow = out_size(op, {W, H}).width * cs * e;
            Rng rng(7);
            Image<T> src({W, H, cs, 64, 0}), dst({2 * W, 2 * H, cs, 64, 0});
            Image<Zyl8u> buf({buffer_size<T>(op, W, cs), 1, 1, 0, 3});
            src.fill_random(rng), dst.fill_random(rng), buf.fill_random(rng);
            const T *s = src.data();
            T *d = dst.data();
            Zyl8u *b = buf.data();
            auto call = [=](const T *ps, int ss, T *pd, int ds, ZyliSize r, Zyl8u *pb) {
                return [=] { return Api<T>::call(op, cs, ps, ss, pd, ds, r, pb); };
            };
            constexpr ZylStatus Null = zylStatusNullPtr, Size = zylStatusBadSize, Ok = zylStatusOk;
            const ZylStatus oddSize = op == Op::Down ? Size : Ok, oddStep = f32 ? Size : Ok;
            const ZyliSize whole{W, H};
            std::vector<zt::StatusCase> cases = {
                {"null source beats bad size and step", call(nullptr, 0, d, 0, {-1, 3}, b), Null},
                {"null destination", call(s, row, nullptr, orow, whole, b), Null},
                {"null buffer", call(s, row, d, orow, whole, nullptr), Null},
                {"negative width", call(s, row, d, orow, {-2, H}, b), Size},
                {"negative height", call(s, row, d, orow, {W, -2}, b), Size},
                {"zero source step is a size fault", call(s, 0, d, orow, whole, b), Size},
                {"source step one element short", call(s, row - e, d, orow, whole, b), Size},
                {"destination step one element short", call(s, row, d, orow - e, whole, b), Size},
                {"negative destination step", call(s, row, d, -orow, whole, b), Size},
                {"empty width with a negative step", call(s, -1, d, orow, {0, H}, b), Size},
                {"empty height with a short step", call(s, row - 1, d, orow, {W, 0}, b), Size},
                {"odd width", call(s, row, d, orow, {W - 1, H}, b), oddSize},
                {"odd height", call(s, row, d, orow, {W, H - 1}, b), oddSize},
                {"source step not whole elements", call(s, row + 2, d, orow, whole, b), oddStep},
                {"dst step not whole elements", call(s, row, d, orow + 2, whole, b), oddStep},
            };
            std::vector<zt::StatusCase> refusals, accepted;
            for (auto &c : cases) (c.expected < 0 ? refusals : accepted).push_back(c);
            const auto dstBefore = dst.roi_bytes(), bufBefore = buf.roi_bytes();
            auto untouched = [&] {
                return dst.roi_bytes() == dstBefore && dst.intact_outside_roi() &&
                       buf.roi_bytes() == bufBefore && buf.intact_outside_roi();
            };
            zt::expect_statuses(refusals, untouched);
            // Empty images are accepted and write nothing, whatever their steps.
            zt::expect_statuses({{"zero width, zero steps", call(s, 0, d, 0, {0, H}, b), Ok},
                                 {"zero height", call(s, row, d, orow, {W, 0}, b), Ok},
                                 {"both zero", call(s, 0, d, 0, {0, 0}, b), Ok}});
            EXPECT_TRUE(untouched()) << "an empty image wrote";
            zt::expect_statuses(accepted);
        }
}

TEST(PyrQuery, StatusesSizesAndZeroing)
{
    struct Case {  // size: the expected *pBufSize (0 on every refusal but the null pointer)
        Op op;
        int w, type, cs;
        ZylStatus status;
        int size;
    };
    const Case cases[] = {
        // 6 rows of R16(c * (2 * (W/2) + 48)) bytes for 8-bit, R16(c * (4 * (W/2) + 96)) for 32f.
        {Op::Down, 0, 1, 1, zylStatusOk, 6 * 48},
        {Op::Down, 2, 2, 1, zylStatusOk, 6 * 64},
        {Op::Down, 10, 1, 3, zylStatusOk, 6 * 176},
        {Op::Down, 640, 1, 1, zylStatusOk, 6 * 688},
        {Op::Down, 10, 9, 1, zylStatusOk, 6 * 128},
        {Op::Down, 14, 9, 3, zylStatusOk, 6 * 384},
        {Op::Down, -2, 1, 1, zylStatusBadSize, 0},
        {Op::Down, 7, 1, 1, zylStatusBadSize, 0},
        {Op::Down, 7, 3, 4, zylStatusBadSize, 0},      // width first
        {Op::Down, 8, 3, 4, zylStatusBadChannels, 0},  // channels before the type
        {Op::Down, 8, 1, 0, zylStatusBadChannels, 0},
        {Op::Down, 8, 1, 2, zylStatusBadChannels, 0},
        {Op::Down, 8, 3, 1, zylStatusUnsupported, 0},
        {Op::Down, 8, 0, 3, zylStatusUnsupported, 0},
        // 3 rows of R16(c * (8W + 96)) bytes for every type.
        {Op::Up, 0, 1, 1, zylStatusOk, 3 * 96},
        {Op::Up, 1, 1, 1, zylStatusOk, 3 * 112},
        {Op::Up, 5, 2, 3, zylStatusOk, 3 * 416},
        {Op::Up, 7, 9, 1, zylStatusOk, 3 * 160},
        {Op::Up, 640, 9, 3, zylStatusOk, 3 * 15648},
        {Op::Up, -1, 1, 4, zylStatusBadSize, 0},
        {Op::Up, 4, 3, 4, zylStatusBadChannels, 0},
        {Op::Up, 4, 10, 1, zylStatusUnsupported, 0},
        // The largest widths whose ring fits a Zyl32s, and the next ones: refused with 0, where
        // 32-bit arithmetic would wrap to a small or negative size.
        {Op::Down, 357913888, 1, 1, zylStatusOk, 2147483616},
        {Op::Down, 357913890, 2, 1, zylStatusBadSize, 0},
        {Op::Down, 119304596, 1, 3, zylStatusOk, 2147483616},
        {Op::Down, 119304598, 1, 3, zylStatusBadSize, 0},
        {Op::Down, 238609296, 1, 3, zylStatusBadSize, 0},  // 6 * 715828032 = 2^32 + 896
        {Op::Down, 178956920, 9, 1, zylStatusOk, 2147483616},
        {Op::Down, 178956922, 9, 1, zylStatusBadSize, 0},
        {Op::Down, 59652274, 9, 3, zylStatusOk, 2147483616},
        {Op::Down, 59652276, 9, 3, zylStatusBadSize, 0},
        {Op::Down, 119304648, 9, 3, zylStatusBadSize, 0},  // 2^32 + 1760
        {Op::Down, 2147483646, 1, 3, zylStatusBadSize, 0},
        {Op::Up, 89478472, 1, 1, zylStatusOk, 2147483616},
        {Op::Up, 89478473, 9, 1, zylStatusBadSize, 0},
        {Op::Up, 119304648, 1, 1, zylStatusBadSize, 0},  // 2863311840 as a negative Zyl32s
        {Op::Up, 29826149, 2, 3, zylStatusOk, 2147483616},
        {Op::Up, 29826150, 9, 3, zylStatusBadSize, 0},
        {Op::Up, 59652324, 1, 3, zylStatusBadSize, 0},  // 2^32 + 896
        {Op::Up, 2147483647, 9, 3, zylStatusBadSize, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message()
                     << op_name(c.op) << " " << c.w << " type " << c.type << " C" << c.cs);
        Zyl32s size = 12345;
        EXPECT_EQ(query(c.op, c.w, c.type, c.cs, &size), c.status);
        EXPECT_EQ(size, c.size);
        EXPECT_EQ(query(c.op, c.w, c.type, c.cs, nullptr), zylStatusNullPtr);
    }
}

// One call on images with padded rows and offset ROIs and a buffer of exactly the queried size at
// an arbitrary offset: the destination matches the model, nothing around the destination or
// the buffer changes, and the source is unchanged.
// Floats near the top of the range with mixed signs, where regrouping a sum changes whether it
// overflows: the operation order shows in the result.
void fill_huge(Image<Zyl32f> &img, Rng &rng)
{
    for (int y = 0; y < img.height(); ++y)
        for (int i = 0; i < img.width() * img.channels(); ++i) {
            const float v = std::ldexp(rng.real(1.0f, 2.0f), rng.uniform(118, 127));
            img.row(y)[i] = rng.chance(0.5) ? -v : v;
        }
    img.snapshot();
}

// Source values: random, near the top of the 32f range, or small integers (where every 32f
// operation is exact, so the result must also be the exact weighted sum over the weight, whatever
// the operation order: this pins the folded forms' weights independently of the order).
enum class Fill { Random, Huge, Integers };
// With a guard, the call reads a copy of the source flush against an inaccessible page (after its
// last pixel or before its first) and uses a buffer of exactly the queried size flush against one.
template <class T>
void check_call(Op op, int cs, Layout l, Rng &rng, int bufOffset, Fill fill = Fill::Random,
                std::optional<zt::Guard> guard = {})
{
    l.channels = cs;
    Image<T> src(l);
    src.fill_random(rng);
    if constexpr (std::is_same_v<T, Zyl32f>) {
        if (fill == Fill::Huge) fill_huge(src, rng);
        for (int y = 0; fill == Fill::Integers && y < l.height; ++y)
            for (int i = 0; i < l.width * cs; ++i) src.row(y)[i] = float(rng.uniform(-1000, 1000));
    }
    const ZyliSize o = out_size(op, {l.width, l.height});
    Layout ld = zt::random_layout<T>(rng, 1, 1, cs);
    ld.width = o.width, ld.height = o.height;
    Image<T> dst(ld);
    dst.fill_random(rng);
    Image<Zyl8u> buf({buffer_size<T>(op, l.width, cs), 1, 1, 0, bufOffset});
    buf.fill_random(rng);
    const auto srcBefore = src.roi_bytes();
    std::optional<zt::GuardedImage<T>> gs;
    std::optional<zt::GuardedImage<Zyl8u>> gb;
    if (guard)
        gs.emplace(l.width, l.height, cs, *guard), gs->copy_from(src),
            gb.emplace(buf.width(), 1, 1, *guard);
    ASSERT_EQ(Api<T>::call(op, cs, gs ? gs->data() : src.data(), gs ? gs->step() : src.step(),
                           dst.data(), dst.step(), src.size(), gb ? gb->data() : buf.data()),
              zylStatusOk);
    EXPECT_TRUE(matches_reference(op, view_of(src, cs), dst));
    const double weight = op == Op::Down ? 256 : 64;
    for (int y = 0; fill == Fill::Integers && y < o.height; ++y)
        for (int x = 0; x < o.width; ++x)
            for (int c = 0; c < cs; ++c)
                ASSERT_EQ(double(dst.at(x, y, c)), ref_sum(op, view_of(src, cs), x, y, c) / weight)
                    << op_name(op) << " " << l.width << "x" << l.height << " at " << x << "," << y;
    EXPECT_TRUE(dst.intact_outside_roi()) << "destination canary";
    EXPECT_TRUE(buf.intact_outside_roi()) << "work buffer overrun";
    EXPECT_TRUE((gs ? gs->roi_bytes() : src.roi_bytes()) == srcBefore && src.intact_outside_roi())
        << "source changed";
}

TYPED_TEST(Pyr, MatchesReference)
{
    using T = TypeParam;
    std::uint32_t seed = 100;
    // Every small size, where the border forms meet; each again (some wider) with small integers.
    for (Op op : {Op::Down, Op::Up})
        for (int cs : {1, 3})
            for (int h : {1, 2, 3, 4, 6})
                for (int w : {1, 2, 3, 4, 5, 6, 8}) {
                    if (op == Op::Down && (w % 2 || h % 2)) continue;
                    Rng rng(++seed);
                    SCOPED_TRACE(zt::seed_note(seed));
                    check_call<T>(op, cs, {w, h, cs, 0, 0}, rng, int(seed % 16));
                    if constexpr (std::is_same_v<T, Zyl32f>)
                        check_call<T>(op, cs, {w + 16 * (w % 3), h, cs, 0, 0}, rng, 0,
                                      Fill::Integers);
                }
    // Random sizes reaching every block and tail, padded steps, odd offsets; every third 32f
    // image near overflow.
    for (; seed < 100 + 70 * 4; ++seed) {
        Rng rng(seed);
        SCOPED_TRACE(zt::seed_note(seed));
        const Op op = seed % 2 ? Op::Down : Op::Up;
        const int cs = seed % 4 < 2 ? 1 : 3;
        Layout l = zt::random_layout<T>(rng, seed % 5 == 0 ? 140 : 45, 9, cs);
        if (op == Op::Down) l.width += l.width % 2, l.height += l.height % 2;
        check_call<T>(op, cs, l, rng, rng.uniform(0, 15),
                      seed % 3 == 0 ? Fill::Huge : Fill::Random);
    }
    // Sources and work buffers against guard pages: nothing outside is read or written, the
    // source is unchanged and the result still matches the model.
    for (Op op : {Op::Down, Op::Up})
        for (int cs : {1, 3})
            for (int w : {1, 2, 3, 4, 6, 9, 10, 18, 20, 22, 24, 26, 34, 36, 38, 66, 70})
                for (zt::Guard g : {zt::Guard::Before, zt::Guard::After}) {
                    if (op == Op::Down && w % 2) continue;
                    Rng rng(++seed);
                    SCOPED_TRACE(zt::seed_note(seed));
                    check_call<T>(op, cs, {w, op == Op::Down ? 4 : 3, cs, 0, 0}, rng, 0,
                                  Fill::Random, g);
                }
}

// The row kernels refuse channel counts other than 1 and 3 through the assertion handler with
// the family's source name.
TEST(PyrDeathTest, ChannelCountAssertion)
{
    Zyl8u s8[64] = {}, d8[64] = {}, b[4096] = {};
    Zyl32f s32[64] = {}, d32[64] = {};
    const char *ints = "src/zycvpyr:[0-9]+: .*Cs == 1 \\|\\| Cs == 3";
    const char *floats = "src/zycvpyr32f:[0-9]+: .*Cs == 1 \\|\\| Cs == 3";
    EXPECT_DEATH(zylcv::portable::pyr_down(s8, 8, d8, 8, 2, 2, 2, b), ints);
    EXPECT_DEATH(zylcv::portable::pyr_up(s8, 8, d8, 8, 2, 2, 4, b), ints);
    EXPECT_DEATH(zylcv::portable::pyr_down(s32, 32, d32, 32, 2, 2, 4, b), floats);
    EXPECT_DEATH(zylcv::portable::pyr_up(s32, 32, d32, 32, 2, 2, 2, b), floats);
#if ZYLCV_SIMD
    EXPECT_DEATH(zylcv::sse2::pyr_down(reinterpret_cast<Zyl8s *>(s8), 8,
                                       reinterpret_cast<Zyl8s *>(d8), 8, 2, 2, 0, b),
                 ints);
    EXPECT_DEATH(zylcv::sse2::pyr_up(s32, 32, d32, 32, 2, 2, 4, b), floats);
#endif
}

// Every twin gives the portable twin's bits on widths that leave every tail of the widest
// blocks, unaligned sources, destinations and buffers, and a long row.
TYPED_TEST(Pyr, TwinsAgree)
{
    using T = TypeParam;
    std::uint32_t seed = 900;
    for (Op op : {Op::Down, Op::Up})
        for (int cs : {1, 3})
            for (int w = op == Op::Down ? 2 : 1, wMax = op == Op::Down ? 140 : 70; w <= wMax;
                 w += op == Op::Down ? 2 : 1)
                for (int off : {0, int(sizeof(T))}) {
                    Rng rng(++seed);
                    SCOPED_TRACE(zt::seed_note(seed) + " " + op_name(op) + " C" +
                                 std::to_string(cs));
                    const int h = op == Op::Down ? 6 : 3, longRow = op == Op::Down ? 1282 : 643;
                    const int W = w < wMax ? w : longRow;
                    Image<T> src({W, h, cs, off * 3, off});
                    src.fill_random(rng);
                    const ZyliSize o = out_size(op, {W, h});
                    zt::expect_twins_agree([&](zt::Twin t) {
                        Image<T> d({o.width, o.height, cs, 0, 4 - off % 4});
                        Image<Zyl8u> b({buffer_size<T>(op, W, cs), 1, 1, 0, int(t) * 7 + 1});
                        const auto args = std::tuple(src.data(), src.step(), d.data(), d.step(), W,
                                                     h, cs, b.data());
                        if (op == Op::Down) std::apply(ZT_ENTRY(t, pyr_down), args);
                        else std::apply(ZT_ENTRY(t, pyr_up), args);
                        EXPECT_TRUE(d.intact_outside_roi() && b.intact_outside_roi());
                        return d.roi_bytes();
                    });
                }
}

}  // namespace
