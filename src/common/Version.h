// The version the three programs print (--version) and record: the git
// description of the work tree when the build was configured in one, else the
// project's version.
#pragma once

#include <string>

namespace common {

std::string programVersion();

}  // namespace common
