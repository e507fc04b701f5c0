// What a program call removes when it ends before its outputs are complete:
// the files still being written, files written provisionally (valid only
// if the call reaches its end) and the private folders files are staged in.
//
// One mutex guards the list and every file operation on a listed path: a
// path is listed before its file is created, and dropped only once the file
// is renamed into place or removed, all while the lock is held. Whoever
// removes the listed paths under the lock (the cleanup after a signal, a
// call that failed) thus finds each file of the call either listed or not
// yet created, and no file is renamed into place after the removal.
#pragma once

#include <map>
#include <mutex>
#include <string>

namespace common {

class RemovalList {
public:
    // A file is unlinked (a folder of the user's under a listed name is left
    // alone); a tree (a folder the program made) is removed with everything
    // in it.
    enum class Kind { file, tree };

    std::mutex& mutex() { return mutex_; }

    // The caller holds mutex() across these and the file operation.
    void add(const std::string& path, Kind kind = Kind::file) { paths_[path] = kind; }
    void drop(const std::string& path) { paths_.erase(path); }
    bool empty() const { return paths_.empty(); }
    // Removes every listed path, in the order of their names, and empties
    // the list.
    void removeAll() noexcept;

private:
    std::mutex mutex_;
    std::map<std::string, Kind> paths_;
};

}  // namespace common
