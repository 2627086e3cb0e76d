// Portable flood-fill kernels: the span drivers with one pixel per step.
#include "floodfill.h"

namespace zylcv::portable {
namespace {

struct Ops {
    template <class T> static int run_right(T *r, int x, int w, T s, T nv) { return run_right_px(r, x, w, s, nv); }
    template <class T> static int run_left(T *r, int x, T s, T nv) { return run_left_px(r, x, s, nv); }
    template <class T, class Test> static int grad_run(const T *c, Zyl8u *mk, int x, int, Test ok)
    {
        return grad_run_px(c, mk, x, ok);
    }
    static int next_free(const Zyl8u *mk, int x, int b) { return next_free_px(mk, x, b); }
    template <class T> static void span_write(T *r, int x0, int x1, T nv) { span_write_px(r, x0, x1, nv); }
};

}  // namespace

ZylStatus flood_fill(Zyl8u *img, int step, int w, int h, int sx, int sy, Zyl8u nv, bool eight,
                     Zyl8u *stack, std::uint32_t capacity, ZyliConnectedRegion *region)
{
    return flood_fill_entry<Ops>(img, step, w, h, sx, sy, nv, eight, stack, capacity, region);
}
ZylStatus flood_fill(Zyl32f *img, int step, int w, int h, int sx, int sy, Zyl32f nv, bool eight,
                     Zyl8u *stack, std::uint32_t capacity, ZyliConnectedRegion *region)
{
    return flood_fill_entry<Ops>(img, step, w, h, sx, sy, nv, eight, stack, capacity, region);
}
ZylStatus flood_fill_grad(Zyl8u *img, int step, int w, int h, int sx, int sy, Zyl8u nv, int low,
                          int up, bool eight, Zyl8u *mask, Zyl8u *stack, std::uint32_t capacity,
                          ZyliConnectedRegion *region)
{
    return flood_fill_grad_entry<Ops>(img, step, w, h, sx, sy, nv, grad_test(low, up), eight, mask,
                                      stack, capacity, region);
}
ZylStatus flood_fill_grad(Zyl32f *img, int step, int w, int h, int sx, int sy, Zyl32f nv,
                          Zyl32f low, Zyl32f up, bool eight, Zyl8u *mask, Zyl8u *stack,
                          std::uint32_t capacity, ZyliConnectedRegion *region)
{
    return flood_fill_grad_entry<Ops>(img, step, w, h, sx, sy, nv, grad_test(low, up), eight, mask,
                                      stack, capacity, region);
}

}  // namespace zylcv::portable
