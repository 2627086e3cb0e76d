// Portable fixed 3x3 derivative kernels: each output row straight from its three source rows,
// one pixel per step through the shared helpers.
#include "deriv3x3.h"

namespace zylcv::portable {
namespace {

// Per step: one exact result; the border columns replicate, the inner ones read x-1, x, x+1.
template <DerivKind K, class S>
void rows(const S *src, int srcStep, Zyl16s *dst, int dstStep, int w, int h, int bottomUp, int shift)
{
    const bool swap = describe(K).odd && bottomUp;
    shift = deriv_shift(shift);
    for (int y = 0; y < h; ++y) {
        const DerivRows<S> r = deriv_rows(src, srcStep, y, h, swap);
        Zyl16s *out = advance(dst, std::ptrdiff_t(y) * dstStep);
        deriv_span<K>(r, out, 0, 1, w, shift);
        for (int x = 1; x + 1 < w; ++x) out[x] = deriv_px<K>(r, x - 1, x, x + 1, shift);
        if (w > 1) deriv_span<K>(r, out, w - 1, w, w, shift);
    }
}

// Per step: one single-precision result in the family's fixed order.
template <DerivKind K>
void rows32f(const Zyl32f *src, int srcStep, Zyl32f *dst, int dstStep, int w, int h, int bottomUp,
             int shift)
{
    const DerivWeights k = deriv_weights(K, bottomUp, shift);
    const bool swap = deriv_swap32f(K, bottomUp);
    for (int y = 0; y < h; ++y) {
        const DerivRows<Zyl32f> r = deriv_rows(src, srcStep, y, h, swap);
        deriv_span32f<K>(r, advance(dst, std::ptrdiff_t(y) * dstStep), 0, w, w, row_pos(y, h), k);
    }
}

template <class S>
void run(DerivKind kind, const S *s, int ss, Zyl16s *d, int ds, int w, int h, int bu, int sh)
{
    switch (kind) {
    case DerivKind::SobelDx: return rows<DerivKind::SobelDx>(s, ss, d, ds, w, h, bu, sh);
    case DerivKind::SobelDy: return rows<DerivKind::SobelDy>(s, ss, d, ds, w, h, bu, sh);
    case DerivKind::SobelD2x: return rows<DerivKind::SobelD2x>(s, ss, d, ds, w, h, bu, sh);
    case DerivKind::SobelD2y: return rows<DerivKind::SobelD2y>(s, ss, d, ds, w, h, bu, sh);
    case DerivKind::SobelDxDy: return rows<DerivKind::SobelDxDy>(s, ss, d, ds, w, h, bu, sh);
    case DerivKind::ScharrDx: return rows<DerivKind::ScharrDx>(s, ss, d, ds, w, h, bu, sh);
    case DerivKind::ScharrDy: return rows<DerivKind::ScharrDy>(s, ss, d, ds, w, h, bu, sh);
    }
}

}  // namespace

void deriv(DerivKind kind, const Zyl8u *s, int ss, Zyl16s *d, int ds, int w, int h, int bu, int sh)
{
    run(kind, s, ss, d, ds, w, h, bu, sh);
}
void deriv(DerivKind kind, const Zyl8s *s, int ss, Zyl16s *d, int ds, int w, int h, int bu, int sh)
{
    run(kind, s, ss, d, ds, w, h, bu, sh);
}
void deriv(DerivKind kind, const Zyl32f *s, int ss, Zyl32f *d, int ds, int w, int h, int bu, int sh)
{
    switch (kind) {
    case DerivKind::SobelDx: return rows32f<DerivKind::SobelDx>(s, ss, d, ds, w, h, bu, sh);
    case DerivKind::SobelDy: return rows32f<DerivKind::SobelDy>(s, ss, d, ds, w, h, bu, sh);
    case DerivKind::ScharrDx: return rows32f<DerivKind::ScharrDx>(s, ss, d, ds, w, h, bu, sh);
    case DerivKind::ScharrDy: return rows32f<DerivKind::ScharrDy>(s, ss, d, ds, w, h, bu, sh);
    default: return;  // no second or mixed derivatives for 32f
    }
}

}  // namespace zylcv::portable
