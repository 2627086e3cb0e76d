// Portable pyramid kernels: every row goes through the shared scalar spans, element by element.
#include "pyramid.h"

namespace zylcv::portable {

namespace {
using Rows = pyramid::ScalarRows;
}  // namespace
ZYLCV_PYRAMID_ENTRIES

}  // namespace zylcv::portable
