// Finding the place where a free-format drainage file stops making sense, so
// that the console can name the line and the word to fix.
#pragma once

#include <iosfwd>
#include <string>

#include "base/Utilities.h"

struct RecordProblem {
    int line = 0;       // 1-based line of the file; 0 when unknown
    std::string word;   // the word that could not be read (cut to 40 characters)
};

// After a failed extraction from the file at path: the word at which it
// failed (a word that is not a number, or a number out of the field's range,
// which the extraction has consumed) and its line. Clears the stream's state.
RecordProblem locateFailedValue(std::istream& in, const my_string& path);

