// The checked stream buffer under every text output file.
#pragma once

#include <streambuf>
#include <string>
#include <vector>

#include "common/NewFile.h"

namespace fluviagen {

// A stream buffer on a new file (common::NewFile) that remembers the first
// failure (errno) of a write or of the close, where a std::ofstream only
// sets a bit and leaves no reason behind.
class OutputBuffer : public std::streambuf {
public:
    OutputBuffer();
    // An unfinished file (not moved into place or released) is removed.
    ~OutputBuffer() override = default;
    OutputBuffer(const OutputBuffer&) = delete;
    OutputBuffer& operator=(const OutputBuffer&) = delete;

    // Creates path as a new file; a file or link already there (a ".part"
    // an earlier call left) is removed first, never written through. False
    // (and error() set) when it cannot.
    bool open(const std::string& path);
    // Writes what is buffered and closes; false when any write or the close
    // failed.
    bool close();
    bool isOpen() const { return file_.isOpen(); }
    // errno of the first failure, 0 when every write succeeded.
    int error() const { return file_.error(); }
    // The file written: closed, it is moved into place, removed or released.
    common::NewFile& file() { return file_; }

protected:
    int_type overflow(int_type c) override;
    int sync() override;

private:
    bool writeBuffered();

    common::NewFile file_;
    std::vector<char> buffer_;
};

}  // namespace fluviagen
