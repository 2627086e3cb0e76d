// Strip filters of the filter-state family: general Sobel (any orders, bottom-up), Laplace and
// box sum, apertures 3, 5 and 7, 8u/8s/32f sources. One whole call must equal a model of the
// definition (binomial and difference kernels, replicated borders, 16-bit saturation) for 8-bit
// sources and for 32f images of small integers (exact in any order); a random sequence of
// first, middle and last strips must write the rows of the whole call with the defined count per
// call, or, after a first strip shorter than the aperture's half, have its next strip refused;
// refused calls (unknown role, a ROI wider than the state) made in the middle of a sequence write
// nothing and leave the state as it was; the portable and SSE2 kernels, each on its own state,
// agree on every input, 32f NaNs and infinities included.
#include "filter/filter.h"
#include "fuzz_support.h"

namespace {

using fz::Image;
using fz::Input;

enum Kind { Sobel, Laplace, Blur };
const char *const kNames[] = {"Sobel", "Laplace", "Blur"};

template <class S> using DstOf = std::conditional_t<std::is_same_v<S, Zyl32f>, Zyl32f, Zyl16s>;
template <class S> constexpr ZylDataType type_of()
{
    return std::is_same_v<S, Zyl8u> ? zyl8u : std::is_same_v<S, Zyl8s> ? zyl8s : zyl32f;
}

struct Cfg {
    Kind kind;
    int k, xo, yo, bu;
};

ZylStatus api(Kind k, const Zyl8u *s, int ss, Zyl16s *d, int ds, ZyliSize *r, ZyliConvState *st,
              ZylStripRole role)
{
    return (k == Sobel     ? zyliSobel_8u16s_C1R
            : k == Laplace ? zyliLaplace_8u16s_C1R
                           : zyliBlur_8u16s_C1R)(s, ss, d, ds, r, st, role);
}
ZylStatus api(Kind k, const Zyl8s *s, int ss, Zyl16s *d, int ds, ZyliSize *r, ZyliConvState *st,
              ZylStripRole role)
{
    return (k == Sobel     ? zyliSobel_8s16s_C1R
            : k == Laplace ? zyliLaplace_8s16s_C1R
                           : zyliBlur_8s16s_C1R)(s, ss, d, ds, r, st, role);
}
ZylStatus api(Kind k, const Zyl32f *s, int ss, Zyl32f *d, int ds, ZyliSize *r, ZyliConvState *st,
              ZylStripRole role)
{
    return (k == Sobel     ? zyliSobel_32f_C1R
            : k == Laplace ? zyliLaplace_32f_C1R
                           : zyliBlur_32f_C1R)(s, ss, d, ds, r, st, role);
}

#if ZYLCV_SIMD
template <class S>
int twin(bool simd, Kind k, const S *s, int ss, DstOf<S> *d, int ds, int w, int h,
         ZyliConvState *st, bool starts, bool ends)
{
    using namespace zylcv;
    if (simd)
        return k == Sobel     ? sse2::strip<filter::kSobel>(s, ss, d, ds, w, h, st, starts, ends)
               : k == Laplace ? sse2::strip<filter::kLaplace>(s, ss, d, ds, w, h, st, starts, ends)
                              : sse2::strip<filter::kBlur>(s, ss, d, ds, w, h, st, starts, ends);
    return k == Sobel     ? portable::strip<filter::kSobel>(s, ss, d, ds, w, h, st, starts, ends)
           : k == Laplace ? portable::strip<filter::kLaplace>(s, ss, d, ds, w, h, st, starts, ends)
                          : portable::strip<filter::kBlur>(s, ss, d, ds, w, h, st, starts, ends);
}
#endif

struct State {
    ZyliConvState *p = nullptr;
    State(const Cfg &c, ZylDataType type, int maxWidth)
    {
        const ZylStatus st = c.kind == Sobel
                                 ? zyliSobelInitAlloc(maxWidth, type, c.k, c.bu, c.xo, c.yo, &p)
                             : c.kind == Laplace ? zyliLaplaceInitAlloc(maxWidth, type, c.k, &p)
                                                 : zyliBlurInitAlloc(maxWidth, type, c.k, &p);
        FZ_CHECK(st == zylStatusOk && p, "%s state k=%d orders %d,%d bottom-up %d: status %d",
                 kNames[c.kind], c.k, c.xo, c.yo, c.bu, st);
    }
    State(const State &) = delete;
    State &operator=(const State &) = delete;
    ~State() { zyliConvolFree(&p); }
};

// ---- the model ----------------------------------------------------------------------------------

// The 1-D kernel of size k and derivative order m: binomial smoothing passes, then difference
// passes; negated for an odd order when asked (bottom-up vertical kernels).
std::vector<long long> kernel(int k, int m, bool negate)
{
    std::vector<long long> e(std::size_t(k) + 1, 0);
    e[0] = 1;
    for (int r = 0; r < k - 1 - m; ++r)
        for (int i = k - 1; i >= 1; --i) e[i] += e[i - 1];
    for (int r = 0; r < m; ++r) {
        for (int i = k - 1; i >= 1; --i) e[i] = e[i - 1] - e[i];
        e[0] = -e[0];
    }
    if (m % 2 && negate)
        for (int i = 0; i < k; ++i) e[i] = -e[i];
    e.resize(std::size_t(k));
    return e;
}

// Σ_j ky[j] Σ_i kx[i] P(x + i - a, y + j - a) over the image with replicated borders, exact.
template <class S>
long long separable(const Image<S> &src, const std::vector<long long> &kx,
                    const std::vector<long long> &ky, int x, int y)
{
    const int k = int(kx.size()), a = k / 2, w = src.width(), h = src.height();
    long long sum = 0;
    for (int j = 0; j < k; ++j) {
        long long row = 0;
        for (int i = 0; i < k; ++i)
            row += kx[i] * (long long)src.at(std::clamp(x + i - a, 0, w - 1),
                                             std::clamp(y + j - a, 0, h - 1));
        sum += ky[j] * row;
    }
    return sum;
}

template <class S> std::vector<std::uint8_t> model(const Image<S> &src, const Cfg &c)
{
    using D = DstOf<S>;
    Image<D> out(src.width(), src.height(), 1);
    const std::vector<long long> ones(std::size_t(c.k), 1);
    for (int y = 0; y < src.height(); ++y)
        for (int x = 0; x < src.width(); ++x) {
            long long v;
            if (c.kind == Sobel)
                v = separable(src, kernel(c.k, c.xo, false), kernel(c.k, c.yo, c.bu), x, y);
            else if (c.kind == Laplace) {
                const auto kd = kernel(c.k, 2, false), ks = kernel(c.k, 0, false);
                v = separable(src, kd, ks, x, y) + separable(src, ks, kd, x, y);
            } else v = separable(src, ones, ones, x, y);
            if constexpr (std::is_same_v<D, Zyl32f>) out.at(x, y) = float(v);
            else out.at(x, y) = Zyl16s(std::clamp<long long>(v, -32768, 32767));
        }
    return out.roi_bytes();
}

// ---- the checks ---------------------------------------------------------------------------------

template <class S> S pixel(Input &in, bool smallInts)
{
    if constexpr (std::is_same_v<S, Zyl32f>)
        return smallInts ? float(in.range(-128, 127)) : fz::any_float(in);
    else return S(in.byte());
}

struct Strip {
    ZylStripRole role;
    int rows;
};

template <class S> void run(Input &in)
{
    using D = DstOf<S>;
    Cfg c{Kind(in.range(0, 2)), in.pick({3, 5, 7}), 0, 0, 0};
    if (c.kind == Sobel)
        c.xo = in.range(0, c.k - 1), c.yo = in.range(0, c.k - 1), c.bu = in.range(0, 1);
    const int a = c.k / 2;
    const int w = in.range(1, 40), h = in.range(1, 24), maxWidth = w + in.range(0, 3);
    const fz::Geometry gs = fz::any_geometry<S>(in), gd = fz::any_geometry<D>(in);
    const bool smallInts = in.flag();

    // Strips: a first (possibly shorter than a, which the next strip must then be refused for),
    // middles, a last; each at least one row.
    std::vector<Strip> strips;
    if (h >= 2) {
        int left = h;
        for (int k = 0; k < 5 && left > 0; ++k) {
            const int rows = k == 4 ? left : in.range(1, left);
            strips.push_back({k == 0 ? zylStripFirst : zylStripMiddle, rows});
            left -= rows;
        }
        if (strips.size() == 1) strips[0].rows = h - 1, strips.push_back({zylStripLast, 1});
        else strips.back().role = zylStripLast;
    }
    const int refuseAt = in.range(0, int(strips.size()));
    const bool wideRefusal = in.flag();
    const ZylStripRole badRole = ZylStripRole(
        c.kind == Blur ? in.pick({5, 6, 8, -1, INT32_MIN}) : in.pick({3, 5, 6, 8, -1, INT32_MIN}));

    Image<S> src(w, h, 1, gs.pad, gs.lead);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) src.at(x, y) = pixel<S>(in, smallInts);
    const auto srcBefore = src.snapshot();
    State state(c, type_of<S>(), maxWidth);

    Image<D> whole(w, h, 1, gd.pad, gd.lead);
    const auto wholeBefore = whole.snapshot();
    ZyliSize roi{w, h};
    ZylStatus st = api(c.kind, src.data(), src.step(), whole.data(), whole.step(), &roi, state.p,
                       zylStripWhole);
    FZ_CHECK(st == zylStatusOk && roi.height == h, "whole %s %dx%d k=%d: status %d, %d rows",
             kNames[c.kind], w, h, c.k, st, roi.height);
    FZ_CHECK(whole.outside_roi_unchanged(wholeBefore), "whole %s wrote outside its destination ROI",
             kNames[c.kind]);
    const std::vector<std::uint8_t> got = whole.roi_bytes();
    if (!std::is_same_v<S, Zyl32f> || smallInts) {
        const std::vector<std::uint8_t> want = model(src, c);
        long at = fz::first_difference(got, want);
        if constexpr (std::is_same_v<D, Zyl32f>) {
            // The order of float additions is the implementation's, so a zero may come out
            // with either sign; every other value of an integer image is exact.
            at = -1;
            for (std::size_t i = 0; at < 0 && i < got.size(); i += 4) {
                float g, e;
                std::memcpy(&g, &got[i], 4);
                std::memcpy(&e, &want[i], 4);
                if (!(g == e)) at = long(i);
            }
        }
        const long px = at / long(sizeof(D));
        FZ_CHECK(at < 0,
                 "%s type %d %dx%d k=%d orders %d,%d bottom-up %d: pixel (%ld,%ld) differs from "
                 "the definition",
                 kNames[c.kind], type_of<S>(), w, h, c.k, c.xo, c.yo, c.bu, px % w, px / w);
    }

    // The strips through the same state, with one refused call on the way.
    Image<D> strip(w, h, 1, gd.pad, gd.lead);
    int received = 0, written = 0;
    bool complete = true;
    for (std::size_t k = 0; k <= strips.size(); ++k) {
        if (int(k) == refuseAt) {
            const auto before = strip.snapshot();
            ZyliSize r{wideRefusal ? maxWidth + 1 : w, 1};
            st = api(c.kind, src.data(), src.step(), strip.row(std::min(written, h - 1)),
                     strip.step(), &r, state.p, wideRefusal ? zylStripMiddle : badRole);
            const bool ok = wideRefusal ? st < 0 : st == zylStatusBadArg;
            FZ_CHECK(ok && r.height == 1 && strip.unchanged_since(before),
                     "%s: refused call (%s): status %d, height %d, destination %s", kNames[c.kind],
                     wideRefusal ? "ROI wider than the state" : "unknown role", st, r.height,
                     strip.unchanged_since(before) ? "unchanged" : "written");
        }
        if (k == strips.size()) break;
        const Strip &s = strips[k];
        const auto before = strip.snapshot();
        ZyliSize r{w, s.rows};
        st = api(c.kind, src.row(received), src.step(), strip.row(std::min(written, h - 1)),
                 strip.step(), &r, state.p, s.role);
        if (k == 1 && strips[0].rows < a) {
            // The first strip could not fill the window: the next strip is refused.
            FZ_CHECK(st == zylStatusBadArg && r.height == s.rows && strip.unchanged_since(before),
                     "%s k=%d: a strip after a first strip of %d rows gave status %d, height %d",
                     kNames[c.kind], c.k, strips[0].rows, st, r.height);
            complete = false;
            break;
        }
        const int expected = s.role == zylStripFirst  ? std::max(0, s.rows - a)
                             : s.role == zylStripLast ? s.rows + a
                                                      : s.rows;
        FZ_CHECK(st == zylStatusOk && r.height == expected,
                 "%s k=%d strip %zu (role %d, %d rows): status %d, %d rows written, want %d",
                 kNames[c.kind], c.k, k, int(s.role), s.rows, st, r.height, expected);
        received += s.rows;
        written += expected;
        const std::size_t from = strip.row_offset(written);
        FZ_CHECK(std::equal(before.begin() + std::min(from, before.size()), before.end(),
                            strip.snapshot().begin() + std::min(from, before.size())),
                 "%s strip %zu wrote below the %d rows it reports", kNames[c.kind], k, expected);
    }
    if (complete && !strips.empty())
        FZ_CHECK(strip.roi_bytes() == got,
                 "%s k=%d: strips of %dx%d differ from the whole call at byte %ld", kNames[c.kind],
                 c.k, w, h, fz::first_difference(strip.roi_bytes(), got));
    FZ_CHECK(src.unchanged_since(srcBefore), "%s changed its source", kNames[c.kind]);

#if ZYLCV_SIMD
    // The kernels themselves on their own states: the whole image, then the strips.
    State s1(c, type_of<S>(), maxWidth), s2(c, type_of<S>(), maxWidth);
    Image<D> d1(w, h, 1, gd.pad, gd.lead), d2(w, h, 1, gd.pad, gd.lead);
    std::vector<Strip> runs = {{zylStripWhole, h}};
    if (complete) runs.insert(runs.end(), strips.begin(), strips.end());
    received = 0;
    int w1 = 0, w2 = 0;
    for (const Strip &s : runs) {
        const bool starts = s.role == zylStripWhole || s.role == zylStripFirst;
        const bool ends = s.role == zylStripWhole || s.role == zylStripLast;
        if (starts) received = w1 = w2 = 0;
        w1 += twin(false, c.kind, src.row(received), src.step(), d1.row(std::min(w1, h - 1)),
                   d1.step(), w, s.rows, s1.p, starts, ends);
        w2 += twin(true, c.kind, src.row(received), src.step(), d2.row(std::min(w2, h - 1)),
                   d2.step(), w, s.rows, s2.p, starts, ends);
        received += s.rows;
        FZ_CHECK(w1 == w2, "twins: portable wrote %d rows, SSE2 %d", w1, w2);
        if (ends)
            FZ_CHECK(d1.roi_bytes() == d2.roi_bytes(),
                     "twins: portable and SSE2 %s type %d k=%d differ at byte %ld", kNames[c.kind],
                     type_of<S>(), c.k, fz::first_difference(d1.roi_bytes(), d2.roi_bytes()));
    }
#endif
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Input in(data, size);
    switch (in.range(0, 2)) {
    case 0:
        run<Zyl8u>(in);
        break;
    case 1:
        run<Zyl8s>(in);
        break;
    default:
        run<Zyl32f>(in);
        break;
    }
    return 0;
}
