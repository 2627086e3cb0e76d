// Portable channel-copy kernels: each row pixel by pixel through the shared span helpers.
#include "copy.h"

namespace zylcv::portable {

namespace {
using Rows = copy::ScalarRows;
}  // namespace
ZYLCV_COPY_ENTRIES

}  // namespace zylcv::portable
