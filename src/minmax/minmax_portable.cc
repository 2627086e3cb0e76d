// Portable minimum/maximum-with-location kernels: the 8-bit block search element by element,
// the float pass pixel by pixel.
#include "minmax.h"

namespace zylcv::portable {
namespace {

// Smallest and largest (biased) selected element of the n pixels from s/m; unselected pixels
// count as 255 and 0.
template <class T, bool Masked>
void block_extremes(const T *s, const Zyl8u *m, int n, int nch, int &bmin, int &bmax)
{
    bmin = 255, bmax = 0;
    for (int j = 0; j < n; ++j) {
        const int v = biased(s[j * nch]);
        const bool sel = !Masked || m[j] != 0;
        const int lo = sel ? v : 255, hi = sel ? v : 0;
        bmin = lo < bmin ? lo : bmin;
        bmax = hi > bmax ? hi : bmax;
    }
}

// Per step: one block (32 pixels while 32 remain, one channel only; then 8; then 1); the row
// ends with its single pixels, and the raster index carries on into the next row.
template <class T, bool Masked>
MinMaxLoc blocks(const T *src, int srcStep, const Zyl8u *mask, int maskStep, long w, int h,
                 int nch, int ch)
{
    BlockSearch s;
    const T *first = src + ch;
    const T *row = first;
    const Zyl8u *mrow = mask;
    long at = 0;
    for (int y = 0; y < h; ++y, at += w) {
        long x = 0;
        auto run = [&](int n) {
            int bmin, bmax;
            block_extremes<T, Masked>(row + x * nch, Masked ? mrow + x : nullptr, n, nch, bmin, bmax);
            if constexpr (Masked) take_masked_block(s, bmin, bmax, at + x);
            else take_block(s, bmin, bmax, at + x);
            x += n;
        };
        if (nch == 1)
            while (x + 32 <= w) run(32);
        while (x + 8 <= w) run(8);
        for (; x < w; ++x) take_pixel<T, Masked>(s, row[x * nch], Masked ? mrow[x] : 1, at + x);
        row = advance(row, srcStep);
        if constexpr (Masked) mrow += maskStep;
    }
    return finish_blocks(s, first, srcStep, Masked ? mask : nullptr, maskStep, w, h, nch);
}

// Per step: one pixel; a selected pixel's key updates the running extremes. Rows end at w.
template <bool Masked>
MinMaxLoc pass(const Zyl32f *src, int srcStep, const Zyl8u *mask, int maskStep, long w, int h,
               int nch, int ch)
{
    KeySearch s;
    const Zyl32f *row = src + ch;
    long at = 0;
    for (int y = 0; y < h; ++y, at += w) {
        for (long x = 0; x < w; ++x)
            if (!Masked || mask[x]) s.take(order_key(row[x * nch]), at + x);
        row = advance(row, srcStep);
        if constexpr (Masked) mask += maskStep;
    }
    return s.result();
}

template <class T>
MinMaxLoc search(const T *src, int srcStep, const Zyl8u *mask, int maskStep, long w, int h,
                 int nch, int ch)
{
    if constexpr (std::is_same_v<T, Zyl32f>)
        return mask ? pass<true>(src, srcStep, mask, maskStep, w, h, nch, ch)
                    : pass<false>(src, srcStep, mask, maskStep, w, h, nch, ch);
    else
        return mask ? blocks<T, true>(src, srcStep, mask, maskStep, w, h, nch, ch)
                    : blocks<T, false>(src, srcStep, mask, maskStep, w, h, nch, ch);
}

}  // namespace

MinMaxLoc minmaxindx(const Zyl8u *s, int sStep, const Zyl8u *m, int mStep, long w, int h, int nch, int ch)
{
    return search(s, sStep, m, mStep, w, h, nch, ch);
}
MinMaxLoc minmaxindx(const Zyl8s *s, int sStep, const Zyl8u *m, int mStep, long w, int h, int nch, int ch)
{
    return search(s, sStep, m, mStep, w, h, nch, ch);
}
MinMaxLoc minmaxindx(const Zyl32f *s, int sStep, const Zyl8u *m, int mStep, long w, int h, int nch, int ch)
{
    return search(s, sStep, m, mStep, w, h, nch, ch);
}

}  // namespace zylcv::portable
