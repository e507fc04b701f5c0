// Opening the program's input files, and reading free-format records from
// them.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "base/Utilities.h"

namespace fluviagen {

// Opens an input file for reading. A file that cannot be opened, or a folder
// given where a file is expected, is a fatal error: "File '<path>' could not
// be opened!". So is anything that is not a regular file: a FIFO would block
// the open until some other program writes to it, and a device such as
// /dev/zero never ends.
//
// With a log, the file is hashed as it is opened: the SHA-256 of the bytes
// the open file holds, which are the bytes the reader then reads (a file
// replaced or edited while the call runs does not change them), is noted
// under the role the caller gives.
class InputLog;
std::ifstream openInputFile(const Text& path, InputLog* log = nullptr, const char* role = "");

// One input file as a call read it.
struct InputRead {
    std::string role;  // what the file is to the call ("settings", "nodes", "map" ...)
    std::string path;
    std::uintmax_t size = 0;  // bytes read
    std::string sha256;       // 64 lower-case hex digits; empty for a file over 4 GiB
};

// The input files of a call in the order they were first read. A file read
// again under the same role (the populations, after the drainage has been
// resampled) keeps one entry, with what was read last.
class InputLog {
public:
    void add(InputRead read);
    const std::vector<InputRead>& files() const { return files_; }
    // The entry of that role (and path, when one is given); null when the
    // call has not read it.
    const InputRead* find(const std::string& role, const std::string& path = "") const;

private:
    std::vector<InputRead> files_;
};

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
    int line_;            // the line at which the stream stands
    int wordLine_;        // the line of the word last read
    int lineLength_ = 0;  // characters read of the current line
    int tooLongLine_ = 0;
};

}  // namespace fluviagen
