// Opening the program's input files, and reading free-format records from
// them.
#pragma once

#include <fstream>
#include <string>

#include "base/Utilities.h"

// Opens an input file for reading. A file that cannot be opened, or a folder
// given where a file is expected, is a fatal error: "File '<path>' could not
// be opened!". So is anything that is not a regular file: a FIFO would block
// the open until some other program writes to it, and a device such as
// /dev/zero never ends.
std::ifstream openInputFile(const my_string& path);

// A free-format input (the records of the node, segment and map files: words
// between blanks and line ends, a record may run over several lines) read
// word by word, knowing the line each word stands on.
class WordReader {
public:
    // line: the line of the file at which the stream stands.
    explicit WordReader(std::istream& in, int line = 1) : in_(in), line_(line), wordLine_(line) {}

    // The next word; false at the end of the input, and at a line longer
    // than maxLineLength characters (see tooLongLine), so that an input
    // without line ends (/dev/zero) is not read for ever.
    bool next(std::string& word);

    // The line of the word last read.
    int line() const { return wordLine_; }

    // After next() returned false: the line that is longer than
    // maxLineLength characters (the rule of every input file), or 0 when the
    // input simply ended.
    int tooLongLine() const { return tooLongLine_; }

private:
    // The next character, counting it against the length of its line; EOF
    // once a line is too long.
    int get();

    std::istream& in_;
    int line_;      // the line at which the stream stands
    int wordLine_;  // the line of the word last read
    int lineLength_ = 0;  // characters read of the current line
    int tooLongLine_ = 0;
};
