// Portable accumulator kernels: each row pixel by pixel through the shared span helper.
#include "accumulate.h"

namespace zylcv::portable {
namespace {

template <AccumOp K, bool Masked, class T>
void rows(const T *a, int aStep, const T *b, int bStep, const Zyl8u *m, int mStep, Zyl32f *d,
          int dStep, int w, int h, Zyl32f alpha)
{
    for (int y = 0; y < h; ++y) {
        accum_span<K, Masked>(a, b, m, d, 0, w, alpha);
        a = advance(a, aStep);
        if constexpr (K == AccumOp::Product) b = advance(b, bStep);
        if constexpr (Masked) m = advance(m, mStep);
        d = advance(d, dStep);
    }
}

}  // namespace

template <AccumOp K, class T>
void accumulate(const T *a, int aStep, const T *b, int bStep, const Zyl8u *mask, int maskStep,
                Zyl32f *acc, int accStep, int width, int height, Zyl32f alpha)
{
    if (mask) rows<K, true>(a, aStep, b, bStep, mask, maskStep, acc, accStep, width, height, alpha);
    else rows<K, false>(a, aStep, b, bStep, mask, maskStep, acc, accStep, width, height, alpha);
}

ZYLCV_ACCUM_INSTANTIATE_ALL

}  // namespace zylcv::portable
