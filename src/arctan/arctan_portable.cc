// Portable fast arctangent: one element per step through the shared helper.
#include "arctan.h"

namespace zylcv::portable {

void fast_arctan(const Zyl32f *y, const Zyl32f *x, Zyl32f *dst, int length)
{
    for (int i = 0; i < length; ++i) dst[i] = fast_atan_px(y[i], x[i]);
}

}  // namespace zylcv::portable
