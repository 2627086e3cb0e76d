// Portable Canny kernel: magnitudes, suppression and the edge map one pixel per step through the
// shared helpers of canny.h.
#include "canny.h"

namespace zylcv::portable {

namespace {
using Rows = canny::ScalarRows;
}  // namespace
ZYLCV_CANNY_ENTRIES

}  // namespace zylcv::portable
