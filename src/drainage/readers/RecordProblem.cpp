#include "drainage/readers/RecordProblem.h"

#include <iostream>
#include <string>

#include "base/Exception.h"

namespace fluviagen {

std::string RecordFields::report(const char* kind, const Text& path, int records, const char* recordName) const {
    const RecordProblem where = problem();
    std::cout << "\n-> Error: " << kind << " file '" << path << "', line " << where.line << ": the " << field_ << " '"
              << where.word << "' is not a number or is out of range (after " << records << " " << recordName << ")!"
              << std::endl;
    // Always on standard error too: the fatal message that follows on
    // standard output counts records, not lines, and names no file.
    const std::string told = std::string(kind) + " file '" + path.str() + "', line " + std::to_string(where.line) +
                             ": the " + field_ + " " + numberProblemText(problem_, word_, range_) + "!";
    std::cerr << "-> Error: " << told << std::endl;
    return told;
}

void DroppedRecords::report(const char* kind, const Text& path) const {
    if (entries_.empty()) return;
    std::cerr << "WARNING: " << kind << " file '" << path << "': " << entries_.size()
              << (entries_.size() == 1 ? " record" : " records") << " dropped:";
    for (std::size_t i = 0; i < entries_.size(); ++i) std::cerr << (i == 0 ? " " : ", ") << entries_[i];
    std::cerr << std::endl;
}

void refuseLongLine(const char* kind, const Text& path, int line) {
    throw SimulationError(shortened(std::string(kind) + " file '" + path.str() + "', line " + std::to_string(line) +
                                    ": the line is longer than " + std::to_string(maxLineLength) + " characters!"),
                          levelFatal);
}

}  // namespace fluviagen
