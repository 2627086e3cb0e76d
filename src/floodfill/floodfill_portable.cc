// Portable flood-fill kernels: the span drivers with the shared row pieces, one pixel per step.
#include "floodfill.h"

namespace zylcv::portable {

namespace {
using Rows = floodfill::ScalarRows;
}  // namespace
ZYLCV_FLOODFILL_ENTRIES

}  // namespace zylcv::portable
