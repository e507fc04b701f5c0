// What an interrupted program call leaves behind. Ctrl-C (SIGINT), a batch
// system's SIGTERM or a closed terminal's SIGHUP would otherwise end the
// process in the middle of a write: ".part" files stay in the output folder
// and nothing says the set is cut short. While a watcher lives, these
// signals are taken by its own thread instead; it removes every ".part" file
// of the call, says on standard error that the outputs are incomplete and
// ends the process with 128 + the signal number (130, 143, 129), the status a
// shell reports for a process the signal killed; a second signal while it
// waits for the files ends the process at once. A standard output whose
// reader has gone (`| head`) ends the call the same way, with 141 (SIGPIPE). Files already complete under their final names stay; what marks a
// whole set complete is its completion record, written only at the end of a
// call that succeeded.
#pragma once

#include <signal.h>

#include <atomic>
#include <string>
#include <thread>

class OutputRegistry;

class InterruptWatcher {
public:
    // Blocks SIGINT, SIGTERM and SIGHUP in the calling thread (which must be the only
    // thread) and starts the watcher. While it lives a file size limit makes a
    // write fail (and be reported) instead of killing the process, and so
    // does a write to a pipe without reader (SIGPIPE ignored).
    InterruptWatcher(OutputRegistry& outputs, std::string outputFolder);
    // Stops the watcher and restores the signal mask and dispositions.
    ~InterruptWatcher();
    InterruptWatcher(const InterruptWatcher&) = delete;
    InterruptWatcher& operator=(const InterruptWatcher&) = delete;

private:
    void watch();

    OutputRegistry& outputs_;
    std::string outputFolder_;
    sigset_t signals_{};
    sigset_t previousMask_{};
    struct sigaction previousFileSize_ {};
    struct sigaction previousPipe_ {};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

// The line the watcher prints for signal number sig (without a line end).
std::string interruptionLine(int sig, const std::string& outputFolder);
