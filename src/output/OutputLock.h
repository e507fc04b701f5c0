// One program call at a time per output set. Two calls that write the same
// files (the same settings file name, samples and data type) would replace
// each other's project files one by one and leave a set that belongs to
// neither, so the second call stops before it writes anything. Calls with
// other output names, such as the replicates of a cluster job in one folder,
// take other locks and run side by side.
#pragma once

#include <string>

namespace fluviagen {

// An exclusive advisory lock (flock) on "<folder><name>.lock", held until
// destruction. The folder is created when missing. The kernel releases the
// lock when the process ends in any way, so a killed call never blocks the
// next one; its lock file stays behind and is simply taken again.
class OutputLock {
public:
    // Throws a fatal SimulationError naming the folder when it cannot be created
    // or written, or when another call holds the lock. A file system without
    // locks gets a WARNING on standard error and no lock.
    OutputLock(const std::string& folder, const std::string& name);
    ~OutputLock();
    OutputLock(const OutputLock&) = delete;
    OutputLock& operator=(const OutputLock&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
    int fd_ = -1;
};

}  // namespace fluviagen
