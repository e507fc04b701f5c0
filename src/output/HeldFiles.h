// Files that belong to an entire simulation not yet accepted. Each is
// written whole under "<name>.part" as soon as its genetic simulation is
// done, and all of them take their own names together when the entire
// simulation is accepted; when it fails they are removed. Between the two,
// the ".part" files are listed in the call's registry, so an interrupted
// call removes them too.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "base/Utilities.h"
#include "output/OutputFiles.h"

namespace fluviagen {

class HeldFiles {
public:
    HeldFiles() = default;
    HeldFiles(const HeldFiles&) = delete;
    HeldFiles& operator=(const HeldFiles&) = delete;
    ~HeldFiles();  // what is still held is removed

    // Creates "<path>.part" with create(partPath), which returns 0 or the
    // errno of its failure, after listing it in the registry; returns the
    // part's name. A file that cannot be created ends the program call (a
    // fatal SimulationError naming it).
    std::string hold(const Text& path, OutputRegistry& registry, const std::function<int(const std::string&)>& create);
    // Gives every held file its own name, in the order they were held, and
    // records them as written. A rename that fails removes the files still
    // held and ends the program call.
    void complete();
    // Removes every held file.
    void abandon();
    // The fatal SimulationError for a held file that could not be written (errno
    // `error`, 0 when the library that wrote it gave none): every held file is
    // removed first.
    [[noreturn]] void fail(const std::string& partPath, int error);

    bool empty() const { return files_.empty(); }

private:
    struct File {
        std::string part;
        Text path;
    };
    OutputRegistry* registry_ = nullptr;
    std::vector<File> files_;
};

// A text file written into a held file with the checks of OutputFile: the
// first write or close that fails is remembered, and close() reports it.
class HeldTextFile {
public:
    HeldTextFile(HeldFiles& files, const Text& path, OutputRegistry& registry);
    std::ostream& stream() { return stream_; }
    // Closes the ".part" file, which stays held; a write that failed ends the
    // program call.
    void close();
    // Ends the program call for a failure of the caller (errno `error`),
    // naming this file; every held file is removed first.
    [[noreturn]] void fail(int error) { files_.fail(part_, error); }

private:
    HeldFiles& files_;
    OutputBuffer buffer_;  // before part_: holding the file opens it
    std::string part_;
    std::ostream stream_;
};

}  // namespace fluviagen
