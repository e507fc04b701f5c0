#include "base/Exception.h"

#include <ostream>

namespace fluviagen {

std::ostream& operator<<(std::ostream& os, const SimulationError& e) {
    switch (e.level()) {
        case levelError:
            os << "\nERROR: ";
            break;
        case levelFatal:
            os << "\nFATAL ERROR: ";
            break;
        default:
            os << "\nWARNING: ";
            break;
    }
    return os << e.message();
}

}  // namespace fluviagen
