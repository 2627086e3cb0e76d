// Portable pyramid kernels: every row goes through the scalar spans, element by element.
#include "pyramid.h"

namespace zylcv::portable {
namespace {

struct Rows {
    template <int Cs, class T> static void down_row(const T *s, int W, DownAcc<T> *h)
    {
        down_h_span<Cs>(s, W, h, 0, W / 2);
    }
    template <class T> static void down_col(const DownAcc<T> *const *r, RowForm f, T *d, int n)
    {
        down_v_span(r, f, d, 0, n);
    }
    template <int Cs, class T> static void up_row(const T *s, int W, UpAcc<T> *u)
    {
        up_h_span<Cs>(s, W, u, 0, W);
    }
    template <class T>
    static void up_col(const UpAcc<T> *a, const UpAcc<T> *b, const UpAcc<T> *c, RowForm f, T *d0,
                       T *d1, int n)
    {
        up_v_span(a, b, c, f, d0, d1, 0, n);
    }
};

}  // namespace

#define ZYLCV_PYR_PORTABLE(T)                                                                    \
    void pyr_down(const T *src, int srcStep, T *dst, int dstStep, int W, int H, int Cs,          \
                  Zyl8u *buffer)                                                                 \
    {                                                                                            \
        pyr_down_entry<Rows>(src, srcStep, dst, dstStep, W, H, Cs, buffer);                      \
    }                                                                                            \
    void pyr_up(const T *src, int srcStep, T *dst, int dstStep, int W, int H, int Cs, Zyl8u *buffer) \
    {                                                                                            \
        pyr_up_entry<Rows>(src, srcStep, dst, dstStep, W, H, Cs, buffer);                        \
    }
ZYLCV_PYR_PORTABLE(Zyl8u)
ZYLCV_PYR_PORTABLE(Zyl8s)
ZYLCV_PYR_PORTABLE(Zyl32f)
#undef ZYLCV_PYR_PORTABLE

}  // namespace zylcv::portable
