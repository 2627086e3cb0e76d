// Portable motion-history kernel: each row pixel by pixel through the shared span helper.
#include "motion_history.h"

namespace zylcv::portable {

namespace {
using Rows = motion_history::ScalarRows;
}  // namespace
ZYLCV_MOTION_HISTORY_ENTRIES

}  // namespace zylcv::portable
