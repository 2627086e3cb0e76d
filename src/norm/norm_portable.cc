// Portable norm kernels: one pixel per step through the shared helpers.
#include "norm.h"

namespace zylcv::portable {

namespace {
using Rows = norm::ScalarRows;
}  // namespace
ZYLCV_NORM_ENTRIES

}  // namespace zylcv::portable
