// Portable erosion and dilation kernels: every row operation element by element, through the
// same helpers the SSE2 twin uses for its row tails.
#include "morph.h"

namespace zylcv::portable {
namespace {

using namespace zylcv::morph;

struct Rows {
    // Floats are moved as their bits, so that no NaN pattern changes on the way.
    template <class T> static void copy(T *d, const T *s, int n)
    {
        using U = std::conditional_t<sizeof(T) == 4, std::uint32_t, Zyl8u>;
        auto du = reinterpret_cast<U *>(d);
        auto su = reinterpret_cast<const U *>(s);
        for (int e = 0; e < n; ++e) du[e] = su[e];
    }
    static bool has_nan(const Zyl32f *s, int n)
    {
        bool any = false;
        for (int e = 0; e < n; ++e) any |= is_nan_bits(bits(s[e]));
        return any;
    }
    static void keys(Zyl32s *d, const Zyl32f *s, int n)
    {
        for (int e = 0; e < n; ++e) d[e] = order_key(bits(s[e]));
    }
    template <bool D, class T> static void hpass(const T *b, T *out, int n, int C, int mW)
    {
        for (int e = 0; e < n; ++e) out[e] = hpass_el<D>(b, e, C, mW);
    }
    template <bool D> static bool hpass_nan(const Zyl32f *b, Zyl32f *out, int n, int C, int mW)
    {
        hpass<D>(b, out, n, C, mW);
        return has_nan(out, n);
    }
    template <bool D, class T>
    static void hpass_doubling(const T *s, T *b, T *out, int n, int C, int mW, int left, int right)
    {
        copy(b + left, s, n);
        put_borders(b + left, n, C, left, right);
        hpass<D>(b, out, n, C, mW);
    }
    template <bool D, class T> static void vpass(Zyl8u *const *rows, T *out, int n, int mH)
    {
        for (int e = 0; e < n; ++e) out[e] = vpass_el<D, T>(rows, e, mH);
    }
    // Destination row j (j < mH - 1) = fold(row j, destination row j + 1), the last from row mH - 1.
    template <bool D, class T>
    static void suffixes(Zyl8u *const *rows, T *d, int dstStep, int n, int mH)
    {
        for (int j = mH - 2; j >= 0; --j) {
            T *out = advance(d, std::ptrdiff_t(j) * dstStep);
            Zyl8u *const pair[2] = {rows[j], j == mH - 2 ? rows[mH - 1] : reinterpret_cast<Zyl8u *>(advance(out, dstStep))};
            vpass<D>(pair, out, n, 2);
        }
    }
    template <bool D>
    static void window(Zyl8u *const *rows, Zyl8u *out, const Geometry &g, const Zyl8u *mask,
                       const Zyl8u *maskInv, const ColumnPlan &)
    {
        for (int e = 0; e < g.n; ++e)
            out[e] = mask_el<D>(rows, e, g.C, g.mW, g.mH, g.left, mask, maskInv);
    }
    template <bool D>
    static void window(Zyl8u *const *rows, Zyl32f *out, const Geometry &g, const Zyl8u *mask,
                       const Zyl8u *, const ColumnPlan &)
    {
        for (int e = 0; e < g.n; ++e) out[e] = mask_el<D>(rows, e, g.C, g.mW, g.mH, g.left, mask);
    }
};

}  // namespace

int erode(const Zyl8u *s, int ss, Zyl8u *d, int ds, int w, int h, ZyliMorphState &st, int role)
{
    return run<Rows, Zyl8u, false>(s, ss, d, ds, w, h, st, role);
}
int dilate(const Zyl8u *s, int ss, Zyl8u *d, int ds, int w, int h, ZyliMorphState &st, int role)
{
    return run<Rows, Zyl8u, true>(s, ss, d, ds, w, h, st, role);
}
int erode(const Zyl32f *s, int ss, Zyl32f *d, int ds, int w, int h, ZyliMorphState &st, int role)
{
    return run<Rows, Zyl32f, false>(s, ss, d, ds, w, h, st, role);
}
int dilate(const Zyl32f *s, int ss, Zyl32f *d, int ds, int w, int h, ZyliMorphState &st, int role)
{
    return run<Rows, Zyl32f, true>(s, ss, d, ds, w, h, st, role);
}

}  // namespace zylcv::portable
