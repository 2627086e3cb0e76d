// Portable strip-filter kernels: every row operation one pixel at a time through the shared
// helpers of filter.h.
#include "filter.h"

namespace zylcv::portable {

namespace {
using Rows = filter::ScalarRows;
}  // namespace
ZYLCV_FILTER_ENTRIES

}  // namespace zylcv::portable
