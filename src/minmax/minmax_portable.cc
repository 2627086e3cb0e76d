// Portable minimum/maximum-with-location kernels: the 8-bit block search element by element,
// the float pass pixel by pixel.
#include "minmax.h"

namespace zylcv::portable {

namespace {
using Rows = minmax::ScalarRows;
}  // namespace
ZYLCV_MINMAX_ENTRIES

}  // namespace zylcv::portable
