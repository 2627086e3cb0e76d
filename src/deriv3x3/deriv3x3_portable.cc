// Portable fixed 3x3 derivative kernels: each output row straight from its three source rows,
// one pixel per step through the shared helpers.
#include "deriv3x3.h"

namespace zylcv::portable {
namespace {

using namespace deriv3x3;

struct Rows {
    // Per step: one exact result; the border columns replicate, the inner ones read x-1, x, x+1.
    template <Kind K, bool Swap, class S>
    static void rows(const S *src, int srcStep, Zyl16s *dst, int dstStep, int w, int h, int shift)
    {
        for (int y = 0; y < h; ++y) {
            const DerivRows<S> r = deriv_rows(src, srcStep, y, h, Swap);
            Zyl16s *out = advance(dst, std::ptrdiff_t(y) * dstStep);
            deriv_span<K>(r, out, 0, 1, w, shift);
            for (int x = 1; x + 1 < w; ++x) out[x] = deriv_px<K>(r, x - 1, x, x + 1, shift);
            if (w > 1) deriv_span<K>(r, out, w - 1, w, w, shift);
        }
    }

    // Per step: one single-precision result in the family's fixed order.
    template <Kind K, bool Swap>
    static void rows32f(const Zyl32f *src, int srcStep, Zyl32f *dst, int dstStep, int w, int h,
                        const DerivWeights &k)
    {
        for (int y = 0; y < h; ++y) {
            const DerivRows<Zyl32f> r = deriv_rows(src, srcStep, y, h, Swap);
            deriv_span32f<K>(r, advance(dst, std::ptrdiff_t(y) * dstStep), 0, w, w, row_pos(y, h),
                             k);
        }
    }
};

}  // namespace

ZYLCV_DERIV3X3_ENTRIES

}  // namespace zylcv::portable
