// The program's one exception type: a message and how far the failure reaches.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <utility>

#include "base/Utilities.h"

namespace fluviagen {

// error: the current entire simulation fails, the next one may succeed.
// fatal: input files or settings are unusable, the program ends.
// warning: never thrown; warnings are printed where they arise.
enum : std::uint8_t { levelWarning = 0, levelError = 1, levelFatal = 2 };

class SimulationError {
public:
    SimulationError(const Text& message, std::uint8_t level) : message_(message), level_(level) {}
    // where: the true place and cause when the message (a text the run log
    // must keep as it is) names them wrongly or not at all, such as a record
    // count given as a line number.
    SimulationError(const Text& message, std::uint8_t level, std::string where)
        : message_(message), level_(level), where_(std::move(where)) {}

    const Text& message() const { return message_; }
    std::uint8_t level() const { return level_; }
    bool isFatal() const { return level_ == levelFatal; }
    // What standard error and the run record say: the true place when it is
    // known, else the message.
    std::string told() const { return where_.empty() ? message_.str() : where_; }

private:
    Text message_;
    std::uint8_t level_;
    std::string where_;
};

// Prints the level word ("\nERROR: ", "\nFATAL ERROR: ", "\nWARNING: ") and
// the message, without a line end.
std::ostream& operator<<(std::ostream& os, const SimulationError& e);

}  // namespace fluviagen
