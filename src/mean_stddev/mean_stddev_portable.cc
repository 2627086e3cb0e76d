// Portable mean and deviation kernels: one pixel per step through the shared span helpers.
#include "mean_stddev.h"

namespace zylcv::portable {
namespace {

template <class T> using AccOf = std::conditional_t<std::is_same_v<T, Zyl32f>, FloatAcc, IntAcc>;

// Per step: one pixel; each row is one span, the mask row (if any) advancing beside it.
template <bool Masked, bool Squares, int C, class T>
SumsOf<T> accumulate(const T *src, int srcStep, const Zyl8u *mask, int maskStep, int w, int h,
                     int ch)
{
    AccOf<T> a;
    for (int y = 0; y < h; ++y) {
        add_span<Masked, Squares, C>(a, src, mask, 0, w, ch);
        src = advance(src, srcStep);
        if constexpr (Masked) mask = advance(mask, maskStep);
    }
    return a.result();
}

}  // namespace

template <class T, int C> SumsOf<T> sums(const T *src, int srcStep, int w, int h, int ch)
{
    return accumulate<false, true, C>(src, srcStep, static_cast<const Zyl8u *>(nullptr), 0, w, h,
                                      ch);
}

template <class T, int C, bool Squares>
SumsOf<T> sums_masked(const T *src, int srcStep, const Zyl8u *mask, int maskStep, int w, int h,
                      int ch)
{
    return accumulate<true, Squares, C>(src, srcStep, mask, maskStep, w, h, ch);
}

// Per step: a group of eight columns, column c into P(c mod 4); the row ends one column at a
// time into P0.
FloatSums partial_sums_masked(const Zyl32f *src, int srcStep, const Zyl8u *mask, int maskStep,
                              int w, int h)
{
    Zyl32f p[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    std::uint32_t count = 0;
    const int groups = w / 8 * 8;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < groups; x += 8)
            for (int k = 0; k < 8; ++k) {
                p[k & 3] += selected(src[x + k], mask[x + k]);
                count += mask[x + k] != 0;
            }
        add_tail_p0(p[0], count, src, mask, groups, w);
        src = advance(src, srcStep);
        mask = advance(mask, maskStep);
    }
    return {partial_total(p[0], p[1], p[2], p[3]), 0.0, static_cast<Zyl32s>(count)};
}

ZYLCV_MOMENTS_INSTANTIATE_ALL

}  // namespace zylcv::portable
