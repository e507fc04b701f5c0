#include "common/Version.h"

#ifndef FLUVIAGEN_VERSION
#define FLUVIAGEN_VERSION "unknown"
#endif

namespace common {

std::string programVersion() { return FLUVIAGEN_VERSION; }

}  // namespace common
