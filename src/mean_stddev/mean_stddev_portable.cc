// Portable mean and deviation kernels: one pixel per step through the shared span helpers.
#include "mean_stddev.h"

namespace zylcv::portable {

namespace {
using Rows = mean_stddev::ScalarRows;
}  // namespace
ZYLCV_MEAN_STDDEV_ENTRIES

}  // namespace zylcv::portable
