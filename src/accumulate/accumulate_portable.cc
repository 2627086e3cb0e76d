// Portable accumulator kernels: each row pixel by pixel through the shared span helper.
#include "accumulate.h"

namespace zylcv::portable {

namespace {
using Rows = accumulate::ScalarRows;
}  // namespace
ZYLCV_ACCUMULATE_ENTRIES

}  // namespace zylcv::portable
