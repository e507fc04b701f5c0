// Output files of the genetic phase. A file that replaces an earlier one is
// written under a temporary name and gets its own name only when it has been
// closed complete, so a run that fails half way never leaves a truncated file
// under a name that looks finished.
#pragma once

#include <fstream>

#include "base/Utilities.h"

class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();  // an output still open is abandoned

    // Opens for writing (truncate) or appending. A file that cannot be opened
    // leaves the stream failed, so later writes are dropped; one WARNING line
    // names it the first time in the program call.
    bool open(const my_string& path, bool append);
    // Completes the file: a replaced file takes its final name now.
    void close();
    // Drops an unfinished file (a failed genetic simulation).
    void abandon();

    bool isOpen() const { return stream_.is_open(); }
    std::ofstream& stream() { return stream_; }
    template <typename T>
    OutputFile& operator<<(const T& value) {
        stream_ << value;
        return *this;
    }

private:
    std::ofstream stream_;
    my_string path_;
    my_string partPath_;
};
