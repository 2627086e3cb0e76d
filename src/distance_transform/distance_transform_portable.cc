// Portable distance-transform kernels: rows initialised and converted by the shared scalar rows.
#include "distance_transform.h"

namespace zylcv::portable {

namespace {
using Rows = distance_transform::ScalarRows;
}  // namespace
ZYLCV_DISTANCE_TRANSFORM_ENTRIES

}  // namespace zylcv::portable
