// Names a file system cannot hold as they are given.
#pragma once

#include <string>

namespace vexo {

// Why Windows cannot hold a bare file name as given, in words ("" when it
// can): a trailing dot or space (Windows drops it, so the name would reach
// another file), a device name such as CON, NUL, AUX, PRN, COM1 or LPT1,
// alone or with an extension, a colon (it names a stream of another file),
// and the other characters Windows refuses in names.
std::string windowsNameProblem(const std::string& name);

}  // namespace vexo
