#include "output/OutputLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <system_error>

#include "base/Exception.h"

namespace fluviagen {

namespace {

[[noreturn]] void refuse(const std::string& text) { throw SimulationError(shortened(text), levelFatal); }

}  // namespace

OutputLock::OutputLock(const std::string& folder, const std::string& name) : path_(folder + name + ".lock") {
    std::error_code error;
    const std::filesystem::path folderPath = std::filesystem::path(folder).parent_path();  // without the final '/'
    if (!std::filesystem::is_directory(folderPath, error)) {
        if (std::filesystem::exists(folderPath, error))
            refuse("Cannot create the output folder '" + folder + "': a file of that name is in the way!");
        std::filesystem::create_directories(folderPath, error);
        if (error) refuse("Cannot create the output folder '" + folder + "': " + error.message() + "!");
    }
    // The lock file is removed when a call ends. A call that opened it just
    // before could then hold a lock on a file no longer in the folder while a
    // third call creates and locks a new one; so a lock counts only when the
    // file locked is still the one of that name, and is taken again otherwise.
    for (;;) {
        fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd_ < 0) {
            const int reason = errno;
            refuse("The output folder '" + folder + "' cannot be written: " + std::strerror(reason) + "!");
        }
        if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            const int reason = errno;
            ::close(fd_);
            fd_ = -1;
            if (reason == EWOULDBLOCK)
                refuse("Another run is using the outputs '" + name + "*' in the folder '" + folder +
                       "': this call stops so that the two do not tear each other's files!");
            // Some cluster file systems are mounted without locks. Refusing
            // to run there would stop every replicate; the user is told that
            // this one protection is missing.
            std::cerr << "WARNING: the outputs '" << name << "*' in the folder '" << folder << "' cannot be locked ("
                      << std::strerror(reason) << "): another call writing the same files would not be stopped.\n";
            return;
        }
        struct stat locked {
        }, named{};
        if (::fstat(fd_, &locked) == 0 && ::stat(path_.c_str(), &named) == 0 && locked.st_dev == named.st_dev &&
            locked.st_ino == named.st_ino)
            return;
        ::close(fd_);
        fd_ = -1;
    }
}

OutputLock::~OutputLock() {
    if (fd_ < 0) return;
    // Removed while still held: no other call can hold this file meanwhile.
    ::unlink(path_.c_str());
    ::close(fd_);
}

}  // namespace fluviagen
