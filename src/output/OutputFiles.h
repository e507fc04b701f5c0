// Output files of the genetic phase. Every file is written under a temporary
// name ("<name>.part") and gets its own name only when it has been closed
// complete, so a run that fails half way never leaves a truncated file under
// a name that looks finished. A write that fails (a full disk, a file size
// limit) ends the program call: results silently lost are worse than none.
#pragma once

#include <map>
#include <mutex>
#include <ostream>
#include <set>
#include <streambuf>
#include <string>
#include <vector>

#include "base/Utilities.h"
#include "common/NewFile.h"
#include "common/RemovalList.h"

// One entire simulation of a call, numbered e from 1 as in the project file
// names: the files completed while it ran and how it ended. A failed attempt
// keeps the project files it completed (their numbers are taken), so the
// files of a set have to be told apart by the simulation that wrote them.
struct EntireSimulation {
    enum class Outcome { running, accepted, failed };
    int number = 0;
    Outcome outcome = Outcome::running;
    std::string reason;              // why a failed attempt failed
    std::string cause;               // noted while it ran
    std::vector<std::string> files;  // completed while it ran, in that order (full paths)
};

// The output files of one program call: the files completed so far (in the
// order they were first completed), the entire simulation each was completed
// in, the files whose failure has been reported already, and the ".part"
// files being written. The ".part" list is kept under a mutex because an
// interrupted call removes those files from another thread while this one
// may be opening or completing one.
class OutputRegistry {
public:
    // The entire simulation e (1-based) starts: files completed from now on
    // belong to it, until it is accepted or has failed.
    void beginEntire(int e);
    void acceptEntire();
    // The reason of a failed attempt is the cause noted while it ran (what
    // the genetic phase ran into, below its own summary), else the reason
    // given here.
    void failEntire(const std::string& reason);
    void noteCause(const std::string& cause);
    // Every entire simulation begun in the call, in order.
    const std::vector<EntireSimulation>& entireSimulations() const { return entire_; }
    // Files completed outside any entire simulation (the completion record,
    // a list completed at the end of the call), in order.
    const std::vector<std::string>& callFiles() const { return callFiles_; }

    // A list of file names that every entire simulation extends (the ".arb"):
    // the lines the running one adds. A list on disk holds what it held before
    // the call and the lines of the accepted entire simulations only, so that
    // a call that fails or is interrupted never lists a file of a simulation
    // that did not finish; the lines of failed attempts join it, in their
    // place, when the call succeeds (completeLists).
    void listExtended(const std::string& path, const std::vector<std::string>& lines);
    // The list is about to be extended: the first time in the call, what it
    // holds before the call is noted.
    void listOpened(const std::string& path);
    // At the end of a call that succeeded: rewrites every list with lines of
    // failed attempts as its old content followed by the lines of every entire
    // simulation in order. Throws like OutputFile::close.
    void completeLists();

    // One WARNING line naming the file, the first time it fails in the call.
    void warnOnce(const my_string& path);
    // The file is complete under its final name.
    void completed(const my_string& path);
    const std::vector<std::string>& written() const { return written_; }

    // The records of the call: the one that says the output set is complete
    // and the run record. Both are removed before the first file of the call
    // is opened, since from then on the files under final names no longer
    // form the set they describe; a call that never opens a file leaves
    // them, and the folder, as they were.
    void setCallRecords(const std::string& completionRecord, const std::string& runRecord) {
        completionRecord_ = completionRecord;
        runRecord_ = runRecord;
    }
    // The call has begun to write (and removed the old records).
    bool writingBegan() const { return recordRemoved_; }
    const std::string& completionRecord() const { return completionRecord_; }

    // A ".part" file is about to be created, or is gone (renamed or removed);
    // the caller holds partsMutex() across the call and the file operation.
    // Throws a fatal TException when an old record cannot be removed.
    void addPart(const std::string& partPath);
    void dropPart(const std::string& partPath);
    // A complete file that an interrupted or failed call still removes with
    // its ".part" files (removeParts): a record or a map that must not
    // outlive a call that did not reach its end. The caller holds
    // partsMutex(); dropPart keeps it for good.
    void addProvisional(const std::string& path) { unfinished_.add(path); }
    // Removes every ".part" file still listed. The lock returned keeps other
    // threads from creating, renaming or listing another one while it is held:
    // an interrupted call ends the process holding it.
    [[nodiscard]] std::unique_lock<std::mutex> removeParts();
    std::mutex& partsMutex() { return unfinished_.mutex(); }
    // The ".part" and provisional files, which a signal's cleanup removes.
    common::RemovalList& unfinished() { return unfinished_; }

private:
    struct ListFile {
        long long oldSize = -1;  // bytes the list held before the call, -1: none
        std::map<int, std::vector<std::string>> lines;  // by entire simulation
    };
    EntireSimulation* running();

    std::vector<EntireSimulation> entire_;
    std::vector<std::string> callFiles_;
    std::map<std::string, ListFile> lists_;
    std::set<std::string> warned_;
    std::set<std::string> seen_;
    std::vector<std::string> written_;
    common::RemovalList unfinished_;
    std::string completionRecord_;
    std::string runRecord_;
    bool recordRemoved_ = false;
};

// The call's closing line (without a line end): "No output files written.",
// or "Outputs written to <folder> (<n> files; listed in <listing>)" when
// listing (the completion record, or the run record of a failed call) is
// among the files written, so the line stays short however many files a
// call writes; else "Outputs written to <folder>: <file>, <file>, ...".
// Names are relative to folder.
std::string outputsLine(const std::string& folder, const std::vector<std::string>& written,
                        const std::string& listing = {});

// Writes the completion record of an output set at path (atomically, like
// every output): the files the call wrote, relative to folder, one a line,
// grouped under a line per entire simulation that says whether it was
// accepted or failed and why ("# accepted entire simulation 2",
// "# failed entire simulation 1: <reason>"), then "# written by the call" and
// the files completed outside them. A call that wrote nothing writes no
// record. The record does not list itself (a record written again, after
// the maps, is among the files of the call).
void writeCompletionRecord(const std::string& path, const std::string& folder, OutputRegistry& registry);

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
