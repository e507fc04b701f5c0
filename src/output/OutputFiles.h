// Output files of the genetic phase. A file that replaces an earlier one is
// written under a temporary name and gets its own name only when it has been
// closed complete, so a run that fails half way never leaves a truncated file
// under a name that looks finished.
#pragma once

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "base/Utilities.h"

// The output files of one program call: the files completed so far (in the
// order they were first completed) and the files whose failure has been
// reported already, so that a file failing in every genetic simulation is
// named once.
class OutputRegistry {
public:
    // One WARNING line naming the file, the first time it fails in the call.
    void warnOnce(const my_string& path);
    // The file is complete under its final name.
    void completed(const my_string& path);
    const std::vector<std::string>& written() const { return written_; }

private:
    std::set<std::string> warned_;
    std::set<std::string> seen_;
    std::vector<std::string> written_;
};

class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();  // an output still open is abandoned

    // Opens for writing (truncate) or appending. A file that cannot be opened
    // leaves the stream failed, so later writes are dropped; the registry
    // warns of it once and learns of it when it is complete.
    bool open(const my_string& path, bool append, OutputRegistry& registry);
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
    OutputRegistry* registry_ = nullptr;
};
