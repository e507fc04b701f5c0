// The program's one exception type: a message and how far the failure reaches.
#pragma once

#include <cstdint>
#include <iosfwd>

#include "base/Utilities.h"

// error: the current entire simulation fails, the next one may succeed.
// fatal: input files or settings are unusable, the program ends.
// warning: never thrown; warnings are printed where they arise.
enum : std::uint8_t { levelWarning = 0, levelError = 1, levelFatal = 2 };

class TException {
public:
    TException(const my_string& message, std::uint8_t level) : message_(message), level_(level) {}

    const my_string& message() const { return message_; }
    std::uint8_t level() const { return level_; }
    bool isFatal() const { return level_ == levelFatal; }

private:
    my_string message_;
    std::uint8_t level_;
};

// Prints the level word ("\nERROR: ", "\nFATAL ERROR: ", "\nWARNING: ") and
// the message, without a line end.
std::ostream& operator<<(std::ostream& os, const TException& e);
