// Portable strip-filter kernels: every row operation one pixel at a time through the shared
// helpers of convfilter.h.
#include "filter.h"

namespace zylcv::portable {

namespace {
using Rows = conv::ScalarRows;
}  // namespace
ZYLCV_CONVFILTER_DEFINE_ENTRIES

}  // namespace zylcv::portable
