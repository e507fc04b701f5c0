// Output files of the genetic phase. Every file is written under a temporary
// name ("<name>.part") and gets its own name only when it has been closed
// complete, so a run that fails half way never leaves a truncated file under
// a name that looks finished. A write that fails (a full disk, a file size
// limit) ends the program call: results silently lost are worse than none.
//
// The registry of the call's files is output/OutputRegistry.h, what the
// call says about them output/CompletionRecord.h.
#pragma once

#include <ostream>
#include <string>

#include "base/Utilities.h"
#include "output/OutputBuffer.h"
#include "output/OutputRegistry.h"

namespace fluviagen {

class OutputFile {
public:
    OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();  // an output still open is abandoned

    // Opens for writing (truncate) or appending: an appended file starts as a
    // copy of the existing one, so it too changes only when complete. A file
    // that cannot be opened is named in a WARNING line and ends the program
    // call (a fatal SimulationError).
    void open(const Text& path, bool append, OutputRegistry& registry);
    // Completes the file: it takes its final name now. Throws a fatal
    // SimulationError naming the file and the reason when any write failed; the
    // unfinished file is then removed.
    void close();
    // Drops an unfinished file (a failed genetic simulation).
    void abandon();

    bool isOpen() const { return buffer_.isOpen(); }
    // The stream to write to. A write that failed since the last call throws
    // here (a fatal SimulationError), so a writer stops at its next batch of lines
    // instead of simulating on into a file that lost them.
    std::ostream& stream();
    template <typename T>
    OutputFile& operator<<(const T& value) {
        stream() << value;
        return *this;
    }

private:
    [[noreturn]] void fail(const char* what, int error);

    OutputBuffer buffer_;
    std::ostream stream_;
    Text path_;
    std::string partPath_;
    OutputRegistry* registry_ = nullptr;
};

}  // namespace fluviagen
