#include "common/NewFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace common {

int openNew(const std::string& path, AtPath atPath) {
    if (atPath == AtPath::replace && ::unlink(path.c_str()) != 0 && errno != ENOENT) return -1;
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
}

int writeAll(int fd, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

int moveIntoPlace(const std::string& from, const std::string& to) {
    if (std::rename(from.c_str(), to.c_str()) == 0) return 0;
    const int error = errno;
    std::remove(from.c_str());
    return error;
}

NewFile::~NewFile() { remove(); }

int NewFile::create(const std::string& path, AtPath atPath, DiskSync sync) {
    remove();
    error_ = 0;
    sync_ = sync;
    fd_ = openNew(path, atPath);
    if (fd_ < 0) return error_ = errno;
    path_ = path;
    return 0;
}

int NewFile::write(const void* data, std::size_t size) {
    if (fd_ < 0 && error_ == 0) error_ = EBADF;
    if (error_ == 0) error_ = writeAll(fd_, data, size);
    return error_;
}

int NewFile::close() {
    if (fd_ < 0) return error_;
    if (sync_ == DiskSync::beforeClose && ::fsync(fd_) != 0 && error_ == 0) error_ = errno;
    // Some file systems (NFS among them) report a full disk only here.
    if (::close(fd_) != 0 && error_ == 0) error_ = errno;
    fd_ = -1;
    return error_;
}

int NewFile::moveTo(const std::string& finalPath) {
    if (close() != 0) {
        remove();
        return error_;
    }
    const int error = moveIntoPlace(path_, finalPath);
    path_.clear();
    if (error != 0) error_ = error;
    return error;
}

void NewFile::remove() noexcept {
    close();
    if (path_.empty()) return;
    std::remove(path_.c_str());
    path_.clear();
}

std::string NewFile::release() {
    std::string path;
    path.swap(path_);
    return path;
}

}  // namespace common
