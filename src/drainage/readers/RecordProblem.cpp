#include "drainage/readers/RecordProblem.h"

#include <iostream>

void RecordFields::report(const char* kind, const my_string& path, int records, const char* recordName) const {
    const RecordProblem where = problem();
    std::cout << "\n-> Error: " << kind << " file '" << path << "', line " << where.line << ": the " << field_ << " '"
              << where.word << "' is not a number or is out of range (after " << records << " " << recordName << ")!"
              << std::endl;
    if (problem_ != NumberProblem::notANumber)
        std::cerr << "-> Error: " << kind << " file '" << path << "', line " << where.line << ": the " << field_ << " "
                  << numberProblemText(problem_, word_, range_) << "!" << std::endl;
}
