// Portable template-matching kernels: the shared integer block sums, one element per step, and
// the shared 32f block sums under the column driver.
#include "match.h"

namespace zylcv::portable {

namespace {
using Rows = match::ScalarRows;
}  // namespace
ZYLCV_MATCH_ENTRIES

}  // namespace zylcv::portable
