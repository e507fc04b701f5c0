// What an interrupted program call leaves behind. Ctrl-C (SIGINT), a batch
// system's SIGTERM or a closed terminal's SIGHUP would otherwise end the
// process in the middle of a write: ".part" files stay in the output folder
// and nothing says the set is cut short. While a watcher lives, these
// signals are taken by its own thread instead; it removes every ".part" file
// of the call, says on standard error that the outputs are incomplete and
// ends the process with 128 + the signal number (130, 143, 129), the status a
// shell reports for a process the signal killed; a second signal while it
// waits for the files ends the process at once. A standard output whose
// reader has gone (`| head`) ends the call the same way, with 141 (SIGPIPE). Files already complete under their final
// names stay; what marks a whole set complete is its completion record, written only at the end of a call that
// succeeded.
//
// A program the call runs (the map program) is part of the call: the signal
// is passed on to it, the watcher waits for it to end (a second signal is
// passed on too and ends the call at once), and only then removes the files
// and ends the process, so that no child writes on after the call has
// cleaned up.
#pragma once

#include <sys/types.h>

#include <functional>
#include <mutex>
#include <string>

#include "common/SignalCleanup.h"

namespace fluviagen {

class OutputRegistry;

// The signals are taken by a common::SignalCleanup over the registry's list
// of unfinished files; this adds the call's line and its child.
class InterruptWatcher {
public:
    // Blocks SIGINT, SIGTERM and SIGHUP in the calling thread (which must be the only
    // thread) and starts the watcher. While it lives a file size limit makes a
    // write fail (and be reported) instead of killing the process, and so
    // does a write to a pipe without reader (SIGPIPE ignored).
    InterruptWatcher(OutputRegistry& outputs, std::string outputFolder);
    // Stops the watcher and restores the signal mask and dispositions.
    ~InterruptWatcher() = default;
    InterruptWatcher(const InterruptWatcher&) = delete;
    InterruptWatcher& operator=(const InterruptWatcher&) = delete;

    // Starts a child of the call through start (which returns its process
    // id, or -1 when it could not be started) such that a signal arriving at
    // any moment is passed on to it, waits for it to end and returns its
    // wait status (-1 when it was not started). When the call is interrupted
    // meanwhile this never returns: the watcher ends the process.
    int runChild(const std::function<pid_t()>& start);

private:
    // Passes sig on to the running child, if any, and waits until it has
    // ended; a second signal meanwhile ends the process at once.
    void endChild(int sig);
    [[noreturn]] void waitForEnd() const;

    std::string outputFolder_;
    std::mutex childMutex_;          // held while a child is started or its end noted
    pid_t child_ = 0;                // the running child, 0 when none
    bool interrupted_ = false;       // set under childMutex_: no child may start any more
    common::SignalCleanup cleanup_;  // last: its thread starts once the rest is made
};

// The line the watcher prints for signal number sig (without a line end).
std::string interruptionLine(int sig, const std::string& outputFolder);

}  // namespace fluviagen
