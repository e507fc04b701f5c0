// The registry of one program call's output files: what each entire
// simulation completed and how it ended, the lists of file names extended
// along the call, and the files still unfinished (".part" files and
// provisional ones), which an interrupted or failed call removes.
#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "base/Utilities.h"
#include "common/RemovalList.h"

namespace fluviagen {

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
    void warnOnce(const Text& path);
    // The file is complete under its final name.
    void completed(const Text& path);
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
    // Throws a fatal SimulationError when an old record cannot be removed.
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
        long long oldSize = -1;                         // bytes the list held before the call, -1: none
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

}  // namespace fluviagen
