// Portable fast arctangent: one element per step through the shared helper.
#include "arctan.h"

namespace zylcv::portable {

namespace {
using Rows = arctan::ScalarRows;
}  // namespace
ZYLCV_ARCTAN_ENTRIES

}  // namespace zylcv::portable
