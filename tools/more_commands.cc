// Commands for the families beyond the first set: each entry of the table below runs one
// library family on the tool's images.
#include "run.h"

namespace zylcv_tool {

std::vector<Command> more_commands() { return {}; }

}  // namespace zylcv_tool
