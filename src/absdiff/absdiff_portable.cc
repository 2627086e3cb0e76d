// Portable absolute-difference kernels: one pixel per step through the shared helper.
#include "absdiff.h"

namespace zylcv::portable {

namespace {
using Rows = absdiff::ScalarRows;
}  // namespace
ZYLCV_ABSDIFF_ENTRIES

}  // namespace zylcv::portable
