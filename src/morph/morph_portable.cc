// Portable erosion and dilation kernels: every row operation element by element, through the
// same helpers the SSE2 twin uses for its row tails.
#include "morph.h"

namespace zylcv::portable {

namespace {
using Rows = morph::ScalarRows;
}  // namespace
ZYLCV_MORPH_ENTRIES

}  // namespace zylcv::portable
