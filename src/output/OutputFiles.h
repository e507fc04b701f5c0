// Output files of the genetic phase. Every file is written under a temporary
// name ("<name>.part") and gets its own name only when it has been closed
// complete, so a run that fails half way never leaves a truncated file under
// a name that looks finished. A write that fails (a full disk, a file size
// limit) ends the program call: results silently lost are worse than none.
#pragma once

#include <mutex>
#include <ostream>
#include <set>
#include <streambuf>
#include <string>
#include <vector>

#include "base/Utilities.h"

// The output files of one program call: the files completed so far (in the
// order they were first completed), the files whose failure has been
// reported already, and the ".part" files being written. The ".part" list is
// kept under a mutex because an interrupted call removes those files from
// another thread while this one may be opening or completing one.
class OutputRegistry {
public:
    // One WARNING line naming the file, the first time it fails in the call.
    void warnOnce(const my_string& path);
    // The file is complete under its final name.
    void completed(const my_string& path);
    const std::vector<std::string>& written() const { return written_; }

    // The record that says the output set is complete: it is removed before
    // the first file of the call is opened, since from then on the files
    // under final names no longer form the set it lists.
    void setCompletionRecord(const std::string& path) { completionRecord_ = path; }

    // A ".part" file is about to be created, or is gone (renamed or removed);
    // the caller holds partsMutex() across the call and the file operation.
    // Throws a fatal TException when the completion record cannot be removed.
    void addPart(const std::string& partPath);
    void dropPart(const std::string& partPath);
    // Removes every ".part" file still listed. The lock returned keeps other
    // threads from creating, renaming or listing another one while it is held:
    // an interrupted call ends the process holding it.
    [[nodiscard]] std::unique_lock<std::mutex> removeParts();
    std::mutex& partsMutex() { return partsMutex_; }

private:
    std::set<std::string> warned_;
    std::set<std::string> seen_;
    std::vector<std::string> written_;
    std::mutex partsMutex_;
    std::set<std::string> parts_;
    std::string completionRecord_;
    bool recordRemoved_ = false;
};

// "Outputs written to <folder>: <file>, <file>, ..." with the files relative
// to folder, or "No output files written." (without a line end).
std::string outputsLine(const std::string& folder, const std::vector<std::string>& written);

// Writes the completion record of an output set at path (atomically, like
// every output): the files the call wrote, relative to folder, one a line.
// A call that wrote nothing writes no record.
void writeCompletionRecord(const std::string& path, const std::string& folder, OutputRegistry& registry);

// A stream buffer on a file descriptor that remembers the first failure
// (errno) of a write or of the close, where a std::ofstream only sets a bit
// and leaves no reason behind.
class OutputBuffer : public std::streambuf {
public:
    OutputBuffer();
    ~OutputBuffer() override;
    OutputBuffer(const OutputBuffer&) = delete;
    OutputBuffer& operator=(const OutputBuffer&) = delete;

    // Creates or truncates path; false (and error() set) when it cannot.
    bool open(const std::string& path);
    // Writes what is buffered and closes; false when any write or the close
    // failed.
    bool close();
    bool isOpen() const { return fd_ >= 0; }
    // errno of the first failure, 0 when every write succeeded.
    int error() const { return error_; }

protected:
    int_type overflow(int_type c) override;
    int sync() override;

private:
    bool writeBuffered();

    int fd_ = -1;
    int error_ = 0;
    std::vector<char> buffer_;
};

class OutputFile {
public:
    OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();  // an output still open is abandoned

    // Opens for writing (truncate) or appending: an appended file starts as a
    // copy of the existing one, so it too changes only when complete. A file
    // that cannot be opened is named in a WARNING line and ends the program
    // call (a fatal TException).
    void open(const my_string& path, bool append, OutputRegistry& registry);
    // Completes the file: it takes its final name now. Throws a fatal
    // TException naming the file and the reason when any write failed; the
    // unfinished file is then removed.
    void close();
    // Drops an unfinished file (a failed genetic simulation).
    void abandon();

    bool isOpen() const { return buffer_.isOpen(); }
    // The stream to write to. A write that failed since the last call throws
    // here (a fatal TException), so a writer stops at its next batch of lines
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
    my_string path_;
    std::string partPath_;
    OutputRegistry* registry_ = nullptr;
};
