// Erosion and dilation by strips: 8u and 32f, 1, 3 and 4 channels, random elements (rectangle,
// cross, ellipse, caller mask) of every size from 1x1 with any anchor. One whole call must equal
// a scalar model of the definition (NaNs and signed zeros included); a random sequence of first,
// middle (some empty) and last strips over the same state must write exactly the rows of the
// whole call, each call its own count of rows and nothing beyond them; refused calls (unknown
// role, wrong member, too wide a ROI) made in the middle of a sequence write nothing and leave
// the state as it was; the portable and SSE2 kernels, each on its own state, agree.
#include "fuzz_support.h"
#include "morph/morph.h"

namespace {

using fz::Image;
using fz::Input;

template <class T>
using StripFn = ZylStatus (*)(const T *, Zyl32s, T *, Zyl32s, ZyliSize *, ZyliMorphState *,
                              ZylStripRole);

// [dilate][rect, cross, mask][1, 3, 4 channels]
const StripFn<Zyl8u> kMembers8u[2][3][3] = {
    {{zyliErodeStrip_Rect_8u_C1R, zyliErodeStrip_Rect_8u_C3R, zyliErodeStrip_Rect_8u_C4R},
     {zyliErodeStrip_Cross_8u_C1R, zyliErodeStrip_Cross_8u_C3R, zyliErodeStrip_Cross_8u_C4R},
     {zyliErodeStrip_8u_C1R, zyliErodeStrip_8u_C3R, zyliErodeStrip_8u_C4R}},
    {{zyliDilateStrip_Rect_8u_C1R, zyliDilateStrip_Rect_8u_C3R, zyliDilateStrip_Rect_8u_C4R},
     {zyliDilateStrip_Cross_8u_C1R, zyliDilateStrip_Cross_8u_C3R, zyliDilateStrip_Cross_8u_C4R},
     {zyliDilateStrip_8u_C1R, zyliDilateStrip_8u_C3R, zyliDilateStrip_8u_C4R}}};
const StripFn<Zyl32f> kMembers32f[2][3][3] = {
    {{zyliErodeStrip_Rect_32f_C1R, zyliErodeStrip_Rect_32f_C3R, zyliErodeStrip_Rect_32f_C4R},
     {zyliErodeStrip_Cross_32f_C1R, zyliErodeStrip_Cross_32f_C3R, zyliErodeStrip_Cross_32f_C4R},
     {zyliErodeStrip_32f_C1R, zyliErodeStrip_32f_C3R, zyliErodeStrip_32f_C4R}},
    {{zyliDilateStrip_Rect_32f_C1R, zyliDilateStrip_Rect_32f_C3R, zyliDilateStrip_Rect_32f_C4R},
     {zyliDilateStrip_Cross_32f_C1R, zyliDilateStrip_Cross_32f_C3R, zyliDilateStrip_Cross_32f_C4R},
     {zyliDilateStrip_32f_C1R, zyliDilateStrip_32f_C3R, zyliDilateStrip_32f_C4R}}};

enum Kind { Rect, Cross, Mask };  // the element kind a member needs

template <class T> StripFn<T> member(bool dilate, int kind, int C)
{
    const int c = C == 1 ? 0 : C == 3 ? 1 : 2;
    if constexpr (std::is_same_v<T, Zyl8u>) return kMembers8u[dilate][kind][c];
    else return kMembers32f[dilate][kind][c];
}

// ---- elements and the model ---------------------------------------------------------------------

struct Element {
    int mW, mH, aX, aY, shape;  // shape as the constructor takes it: 0, 1, 2 or 100
    std::vector<Zyl32s> cells;  // row-major, nonzero = member
    int kind() const { return shape == 0 ? Rect : shape == 1 ? Cross : Mask; }
    bool member(int i, int j) const { return cells[std::size_t(i) * mW + j] != 0; }
};

// The ellipse: for the row pair j and mH-1-j (j < mH/2) the columns rx-h .. rx+h clamped to the
// rectangle, h the integer nearest (ties to even) to sqrt((ry² - (ry-j)²) / ry²) · rx; an odd
// height's middle row spans the whole width, so the element always holds its centre.
std::vector<Zyl32s> ellipse(int mW, int mH)
{
    std::vector<Zyl32s> c(std::size_t(mW) * mH, 0);
    const int rx = mW / 2, ry = mH / 2;
    for (int j = 0; j < ry; ++j) {
        const int t = ry * ry - (ry - j) * (ry - j);
        const int h = int(std::nearbyint(std::sqrt(t * (1.0 / (ry * ry))) * rx));
        for (int x = std::max(rx - h, 0); x <= std::min(rx + h, mW - 1); ++x)
            c[std::size_t(j) * mW + x] = c[std::size_t(mH - 1 - j) * mW + x] = 1;
    }
    if (mH % 2)
        for (int x = 0; x < mW; ++x) c[std::size_t(ry) * mW + x] = 1;
    return c;
}

Element element(Input &in)
{
    Element e{in.range(1, 9), in.range(1, 7), 0, 0, in.pick({0, 1, 2, 100}), {}};
    e.aX = in.range(0, e.mW - 1), e.aY = in.range(0, e.mH - 1);
    e.cells.assign(std::size_t(e.mW) * e.mH, 0);
    const int density = in.byte();
    for (int i = 0; i < e.mH; ++i)
        for (int j = 0; j < e.mW; ++j) {
            Zyl32s &c = e.cells[std::size_t(i) * e.mW + j];
            if (e.shape == 0) c = 1;
            if (e.shape == 1) c = i == e.aY || j == e.aX;
            if (e.shape == 100) c = in.byte() < density ? Zyl32s(in.u32() | 1) : 0;
        }
    if (e.shape == 2) e.cells = ellipse(e.mW, e.mH);
    return e;
}

// Float order keys: the sign bit cleared, then every bit flipped when it was set.
std::int32_t key_of(float v)
{
    const std::uint32_t b = fz::bits_of(v);
    return std::int32_t((b & 0x7FFFFFFFu) ^ (0u - (b >> 31)));
}
float float_of_key(std::int32_t k)
{
    const std::uint32_t u = std::uint32_t(k);
    return fz::float_of((u >> 31) ? (~u | 0x80000000u) : u);
}
// The running comparison of the rectangle and cross: erosion keeps a if a < b else b, dilation
// a if a > b else b, a being the running value.
float keep(float a, float b, bool dilate) { return dilate ? (a > b ? a : b) : (a < b ? a : b); }

// The minimum (maximum) over the member cells, borders replicated. 8u in byte order; 32f
// rectangle and cross by the running comparison, each row folded left to right and the rows
// top to bottom (the cross: its anchor row folded as a bar, the other rows at the anchor
// column); 32f masks by order keys, an empty element giving the extreme keys.
template <class T>
std::vector<std::uint8_t> model(const Image<T> &src, const Element &el, bool dilate)
{
    const int w = src.width(), h = src.height(), C = src.channels();
    Image<T> out(w, h, C);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < C; ++c) {
                auto px = [&](int i, int j) {
                    return src.at(std::clamp(x - el.aX + j, 0, w - 1),
                                  std::clamp(y - el.aY + i, 0, h - 1), c);
                };
                if constexpr (std::is_same_v<T, Zyl8u>) {
                    int v = dilate ? 0 : 255;
                    for (int i = 0; i < el.mH; ++i)
                        for (int j = 0; j < el.mW; ++j)
                            if (el.member(i, j))
                                v = dilate ? std::max<int>(v, px(i, j))
                                           : std::min<int>(v, px(i, j));
                    out.at(x, y, c) = Zyl8u(v);
                } else if (el.kind() == Mask) {
                    std::int32_t v = dilate ? INT32_MIN : INT32_MAX;
                    for (int i = 0; i < el.mH; ++i)
                        for (int j = 0; j < el.mW; ++j)
                            if (el.member(i, j))
                                v = dilate ? std::max(v, key_of(px(i, j)))
                                           : std::min(v, key_of(px(i, j)));
                    out.at(x, y, c) = float_of_key(v);
                } else {
                    auto row = [&](int i) {
                        if (el.kind() == Cross && i != el.aY) return px(i, el.aX);
                        float r = px(i, 0);
                        for (int j = 1; j < el.mW; ++j) r = keep(r, px(i, j), dilate);
                        return r;
                    };
                    float v = row(0);
                    for (int i = 1; i < el.mH; ++i) v = keep(v, row(i), dilate);
                    out.at(x, y, c) = v;
                }
            }
    return out.roi_bytes();
}

// ---- states -------------------------------------------------------------------------------------

struct State {
    ZyliMorphState *p = nullptr;
    State() = default;
    State(const State &) = delete;
    State &operator=(const State &) = delete;
    ~State() { zyliMorphologyFree(&p); }
};

template <class T> void make_state(State &s, int roiWidth, int C, const Element &el)
{
    const ZylStatus st = zyliMorphologyInitAlloc(
        roiWidth, std::is_same_v<T, Zyl8u> ? zyl8u : zyl32f, C, {el.mW, el.mH}, {el.aX, el.aY},
        el.shape, el.shape == 100 ? el.cells.data() : nullptr, &s.p);
    FZ_CHECK(st == zylStatusOk && s.p,
             "zyliMorphologyInitAlloc %dx%d anchor (%d,%d) shape %d: status %d", el.mW, el.mH,
             el.aX, el.aY, el.shape, st);
}

// ---- the checks ---------------------------------------------------------------------------------

struct Strip {
    ZylStripRole role;
    int rows;
};

// Rows a sequence has written once `received` source rows have arrived: a destination row
// leaves when the last source row its window needs has come (the last strip writes the rest).
int written_after(int received, bool last, int h, const Element &el)
{
    return last ? h : std::max(0, received - (el.mH - 1 - el.aY));
}

template <class T> T pixel(Input &in, bool coarse)
{
    if constexpr (std::is_same_v<T, Zyl8u>) return coarse ? Zyl8u(in.byte() & 0x30) : in.byte();
    else return coarse ? float(in.range(-2, 2)) : fz::any_float(in);
}

template <class T> void run(Input &in)
{
    const int C = in.pick({1, 3, 4});
    const bool dilate = in.flag();
    const Element el = element(in);
    const int w = in.range(1, 32), h = in.range(1, 20), roiWidth = w + in.range(0, 3);
    const fz::Geometry gs = fz::any_geometry<T>(in), gd = fz::any_geometry<T>(in);
    const bool coarse = in.flag();

    // The strips: a first of at least one row, middles (some empty), a last (maybe empty).
    std::vector<Strip> strips;
    for (int left = h, k = 0; k < 5 && left > 0; ++k) {
        const int rows = k == 0 ? in.range(1, left) : in.range(0, left);
        strips.push_back({k == 0 ? zylStripFirst : zylStripMiddle, rows});
        left -= rows;
        if (k == 4 || (k > 0 && in.chance(64))) strips.back().rows += left, left = 0;
    }
    if (strips.size() == 1) strips.push_back({zylStripLast, 0});
    else strips.back().role = zylStripLast;
    int refuseAt = in.range(0, int(strips.size()));  // a refused call before this strip
    const int refusal = in.range(0, 2);

    Image<T> src(w, h, C, gs.pad, gs.lead);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w * C; ++x) src.row(y)[x] = pixel<T>(in, coarse);
    const auto srcBefore = src.snapshot();
    const StripFn<T> fn = member<T>(dilate, el.kind(), C);

    State state;
    make_state<T>(state, roiWidth, C, el);

    // One whole call against the model.
    Image<T> whole(w, h, C, gd.pad, gd.lead);
    const auto wholeBefore = whole.snapshot();
    ZyliSize roi{w, h};
    ZylStatus st =
        fn(src.data(), src.step(), whole.data(), whole.step(), &roi, state.p, zylStripWhole);
    FZ_CHECK(st == zylStatusOk && roi.height == h,
             "whole %s %dx%d C=%d element %dx%d (%d,%d) shape %d: status %d, %d rows",
             dilate ? "dilation" : "erosion", w, h, C, el.mW, el.mH, el.aX, el.aY, el.shape, st,
             roi.height);
    FZ_CHECK(whole.outside_roi_unchanged(wholeBefore),
             "whole call wrote outside its destination ROI");
    const std::vector<std::uint8_t> want = model(src, el, dilate), got = whole.roi_bytes();
    const long at = fz::first_difference(got, want);
    FZ_CHECK(at < 0,
             "%s %s %dx%d C=%d element %dx%d anchor (%d,%d) shape %d: element %ld of row %ld "
             "differs from the "
             "definition",
             std::is_same_v<T, Zyl8u> ? "8u" : "32f", dilate ? "dilation" : "erosion", w, h, C,
             el.mW, el.mH, el.aX, el.aY, el.shape, at % long(whole.row_bytes()) / long(sizeof(T)),
             at / long(whole.row_bytes()));

    // The same image in strips through the same state; one refused call on the way.
    Image<T> strip(w, h, C, gd.pad, gd.lead);
    int received = 0, written = 0;
    for (std::size_t k = 0; k <= strips.size(); ++k) {
        if (int(k) == refuseAt) {
            const auto before = strip.snapshot();
            ZyliSize r{w, 1};
            ZylStatus want_st;
            if (refusal == 0) {
                const int role = in.pick({3, 5, 6, 7});
                st = fn(src.data(), src.step(), strip.row(written), strip.step(), &r, state.p,
                        ZylStripRole(role));
                want_st = zylStatusOutOfRange;
            } else if (refusal == 1) {
                st = member<T>(dilate, (el.kind() + 1) % 3, C)(src.data(), src.step(),
                                                               strip.row(written), strip.step(), &r,
                                                               state.p, zylStripMiddle);
                want_st = zylStatusContextMismatch;
            } else {
                r.width = roiWidth + 1;
                st = fn(src.data(), src.step(), strip.row(written), strip.step(), &r, state.p,
                        zylStripMiddle);
                want_st = zylStatusBadSize;
            }
            FZ_CHECK(st == want_st && r.height == 1 && strip.unchanged_since(before),
                     "refused strip call (kind %d): status %d (want %d), height %d, destination %s",
                     refusal, st, want_st, r.height,
                     strip.unchanged_since(before) ? "unchanged" : "written");
        }
        if (k == strips.size()) break;
        const Strip &s = strips[k];
        const bool last = s.role == zylStripLast;
        const auto before = strip.snapshot();
        ZyliSize r{w, s.rows};
        st = fn(src.row(received), src.step(), strip.row(written), strip.step(), &r, state.p,
                s.role);
        received += s.rows;
        const int expected = written_after(received, last, h, el) - written;
        const ZylStatus want_st = s.rows == 0 && !last ? zylStatusNoOperation : zylStatusOk;
        FZ_CHECK(st == want_st && r.height == expected,
                 "strip %zu (role %d, %d rows) of %dx%d, element %dx%d anchor (%d,%d) shape %d: "
                 "status %d (want %d), "
                 "%d rows written (want %d)",
                 k, int(s.role), s.rows, w, h, el.mW, el.mH, el.aX, el.aY, el.shape, st, want_st,
                 r.height, expected);
        // Nothing below the rows this call reports.
        const std::size_t from = strip.row_offset(written + expected);
        FZ_CHECK(std::equal(before.begin() + std::min(from, before.size()), before.end(),
                            strip.snapshot().begin() + std::min(from, before.size())),
                 "strip %zu wrote below the %d rows it reports", k, expected);
        written += expected;
    }
    FZ_CHECK(strip.roi_bytes() == got,
             "strips of %dx%d (element %dx%d anchor (%d,%d) shape %d, %zu strips) differ from "
             "the whole call at byte %ld",
             w, h, el.mW, el.mH, el.aX, el.aY, el.shape, strips.size(),
             fz::first_difference(strip.roi_bytes(), got));
    FZ_CHECK(src.unchanged_since(srcBefore), "erosion or dilation changed its source");

#if ZYLCV_SIMD
    // The kernels themselves, each on its own state, through the same strips.
    State s1, s2;
    make_state<T>(s1, roiWidth, C, el);
    make_state<T>(s2, roiWidth, C, el);
    Image<T> d1(w, h, C, gd.pad, gd.lead), d2(w, h, C, gd.pad, gd.lead);
    using Kernel = int (*)(const T *, int, T *, int, int, int, ZyliMorphState &, int);
    // A twin's entries: [dilate][rect, cross, mask].
#define FZ_MORPH_ENTRIES(twin, D)                                                                  \
    {                                                                                              \
        zylcv::twin::morph_strip<zylcv::morph::kRect, D, T>,                                       \
            zylcv::twin::morph_strip<zylcv::morph::kCross, D, T>,                                  \
            zylcv::twin::morph_strip<zylcv::morph::kMask, D, T>                                    \
    }
    const Kernel portable[2][3] = {FZ_MORPH_ENTRIES(portable, false),
                                   FZ_MORPH_ENTRIES(portable, true)};
    const Kernel sse2[2][3] = {FZ_MORPH_ENTRIES(sse2, false), FZ_MORPH_ENTRIES(sse2, true)};
#undef FZ_MORPH_ENTRIES
    const Kernel k1 = portable[dilate][el.kind()], k2 = sse2[dilate][el.kind()];
    received = 0;
    int w1 = 0, w2 = 0;
    for (const Strip &s : strips) {
        if (s.rows == 0 && s.role != zylStripLast) continue;  // answered before any kernel runs
        w1 += k1(src.row(received), src.step(), d1.row(w1), d1.step(), w, s.rows, *s1.p, s.role);
        w2 += k2(src.row(received), src.step(), d2.row(w2), d2.step(), w, s.rows, *s2.p, s.role);
        received += s.rows;
        FZ_CHECK(w1 == w2, "twins: portable wrote %d rows, SSE2 %d", w1, w2);
    }
    FZ_CHECK(d1.roi_bytes() == d2.roi_bytes(),
             "twins: portable and SSE2 %s differ at byte %ld (%dx%d C=%d element %dx%d "
             "anchor (%d,%d) shape %d)",
             dilate ? "dilation" : "erosion", fz::first_difference(d1.roi_bytes(), d2.roi_bytes()),
             w, h, C, el.mW, el.mH, el.aX, el.aY, el.shape);
#endif
}

// Constructor refusals: an anchor outside the rectangle or an unknown shape is refused with
// zylStatusOutOfRange and leaves the caller's pointer as it was.
void refused_constructor(Input &in)
{
    const int mW = in.range(1, 5), mH = in.range(1, 5);
    ZyliPoint anchor{in.range(0, mW - 1), in.range(0, mH - 1)};
    Zyl32s shape = in.pick({0, 1, 2, 100});
    switch (in.range(0, 2)) {
    case 0:
        anchor.x = in.pick({-1, mW, mW + 3, INT32_MIN});
        break;
    case 1:
        anchor.y = in.pick({-1, mH, INT32_MAX});
        break;
    default:
        shape = in.pick({3, -1, 99, 101, 4});
        break;
    }
    const Zyl32s cells[25] = {1};
    auto *const sentinel = reinterpret_cast<ZyliMorphState *>(std::uintptr_t(0x1234560));
    ZyliMorphState *p = sentinel;
    const ZylStatus st = zyliMorphologyInitAlloc(8, zyl8u, 1, {mW, mH}, anchor, shape, cells, &p);
    FZ_CHECK(st == zylStatusOutOfRange && p == sentinel,
             "constructor %dx%d anchor (%d,%d) shape %d: status %d%s", mW, mH, anchor.x, anchor.y,
             shape, st, p == sentinel ? "" : ", state pointer changed");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    Input in(data, size);
    const int mode = in.byte();
    if (mode % 16 == 15) refused_constructor(in);
    else if (mode & 1) run<Zyl32f>(in);
    else run<Zyl8u>(in);
    return 0;
}
