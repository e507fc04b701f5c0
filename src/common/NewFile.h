// A file that a program writes whole: created new at a path of its own (a
// "<name>.part" beside the final name, or a name inside a private staging
// folder), every write and the close checked, then either renamed into
// place under its final name or removed. A reader of the output folder thus
// finds a file complete under its final name, or not at all.
//
// Created O_CREAT|O_EXCL|O_NOFOLLOW|O_CLOEXEC: a file or a symbolic link
// already at the path is never written through (a link planted there could
// point at someone else's file or at a device), and a child process started
// meanwhile does not inherit the descriptor. The rename replaces whatever
// has the final name, a link included, without following it.
//
// Writes are not forced to the disk by default (DiskSync::none): a file
// renamed into place is whole for every process that reads it, and after a
// crash of the program it is there whole or not at all; only a crash of the
// machine itself may leave less than the bytes written. Forcing each file
// to the disk costs milliseconds per file, and a call writes hundreds.
//
// The first failure (errno) of a write, the sync or the close is kept, and
// later writes are dropped: the file is lost either way, and the first
// reason is the one to report.
#pragma once

#include <cstddef>
#include <string>

namespace common {

// Whether the bytes are forced to the disk (fsync) before the file is closed.
enum class DiskSync { none, beforeClose };

// What create() does about a file or link already at its path: refuse it
// (EEXIST; a private staging folder holds none), or remove it first (the
// ".part" of an earlier call that did not finish). Either way it is never
// written through.
enum class AtPath { refuse, replace };

// Opens path as a new file for writing (mode 0666 less the umask). Returns
// the descriptor, or -1 with errno set.
int openNew(const std::string& path, AtPath atPath);

// Writes all of `size` bytes to fd (retrying short writes and EINTR);
// returns 0 or the errno of the failure.
int writeAll(int fd, const void* data, std::size_t size);

// Renames `from` to `to`, replacing a file or link there. Returns 0, or the
// errno of the failure after removing `from`.
int moveIntoPlace(const std::string& from, const std::string& to);

class NewFile {
public:
    NewFile() = default;
    // Closes the file; an unfinished one (not moved into place, removed or
    // released) is removed.
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    // Creates the file at path; 0 or the errno of the failure (nothing is
    // then left at path by this call).
    int create(const std::string& path, AtPath atPath = AtPath::refuse, DiskSync sync = DiskSync::none);
    // Writes all of it; returns error().
    int write(const void* data, std::size_t size);
    // Syncs (by the policy given to create) and closes; returns error(): 0
    // when every byte written is in the file.
    int close();
    // Closes and renames the file to finalPath. A write, the close or the
    // rename that failed removes the file; returns 0 or that errno.
    int moveTo(const std::string& finalPath);
    // Closes and removes the file.
    void remove() noexcept;
    // The file stays where it is and open, no longer this object's to
    // remove: it is renamed with others by their owner. Returns its path.
    std::string release();

    bool isOpen() const { return fd_ >= 0; }
    // errno of the first failure, 0 while every write succeeded.
    int error() const { return error_; }
    // The path of the unfinished file; empty once it is moved, removed or
    // released.
    const std::string& path() const { return path_; }

private:
    int fd_ = -1;
    int error_ = 0;
    DiskSync sync_ = DiskSync::none;
    std::string path_;
};

}  // namespace common
