// Portable corner eigen-analysis kernels: one pixel per step through the helpers of
// corner_eigen.h.
#include "corner_eigen.h"

namespace zylcv::portable {

namespace {
using Rows = corner_eigen::ScalarRows;
}  // namespace
ZYLCV_CORNER_EIGEN_ENTRIES

}  // namespace zylcv::portable
