// What an interrupted program leaves behind. Ctrl-C (SIGINT), a batch
// system's SIGTERM or a closed terminal's SIGHUP would otherwise end the
// process in the middle of a write, leaving unfinished files beside the
// finished ones. While a SignalCleanup lives, these signals are taken by a
// thread of its own, never by a handler: it waits until no listed file is
// being created, renamed into place or removed (the lock of its
// RemovalList), removes every listed path, writes the program's line to
// standard error and ends the process with 128 + the signal number (130,
// 143, 129), the status a shell reports for a process the signal killed. A
// second signal while it waits ends the process at once, with the second
// signal's line and status.
//
// The cleanup runs in an ordinary thread, so it may allocate and remove
// folders freely; what it must not do is wait for a lock the interrupted
// thread holds, which is why the only lock it takes is its list's. Its line
// goes out by write(2), past any stream's lock, and what the console had
// buffered is dropped.
//
// Construct it in the first thread, before any other thread starts (GDAL's
// and cairo's threads then inherit the blocked signals). While it lives a
// file size limit makes a write fail with EFBIG, reported like any failed
// write, instead of killing the process by SIGXFSZ.
#pragma once

#include <signal.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "common/RemovalList.h"

namespace common {

class SignalCleanup {
public:
    struct Options {
        // A standard output whose reader has gone (`| head`) ends the
        // program like a signal, reported as SIGPIPE (status 141). SIGPIPE
        // itself is ignored meanwhile: it would go to the thread that
        // writes, which no watcher can wait for, so such a write fails
        // instead and the watcher sees the reader gone.
        bool watchStandardOutput = false;
        // Runs in the cleanup's thread as soon as a signal has come, before
        // anything is removed (to pass the signal on to a child process and
        // wait for it, say); it may call nextSignal and endNow.
        std::function<void(int sig)> first;
    };

    // `line(sig)` gives the line for standard error (without a line end).
    // The paths removed are those tracked here.
    explicit SignalCleanup(std::function<std::string(int sig)> line);
    // The paths removed are those of `list`, which outlives this object.
    SignalCleanup(std::function<std::string(int sig)> line, RemovalList& list, Options options);
    // Stops the thread and restores the signal mask and dispositions.
    ~SignalCleanup();
    SignalCleanup(const SignalCleanup&) = delete;
    SignalCleanup& operator=(const SignalCleanup&) = delete;

    // A file or folder removed (with its contents) should a signal come.
    void track(const std::string& path);
    void untrack(const std::string& path);
    // Runs make() and tracks the path it returns, with no signal between.
    std::string trackMade(const std::function<std::string()>& make);
    // Held while files are renamed into place: a signal waits until the
    // renames are done, so a set of files is in place whole or not at all.
    std::unique_lock<std::mutex> renaming() { return std::unique_lock<std::mutex>(list_.mutex()); }

    // For Options::first, in the cleanup's thread: a further signal that
    // arrives within `nanoseconds` (below one second), or 0.
    int nextSignal(long nanoseconds);
    // Writes the line of sig and ends the process with 128 + sig.
    [[noreturn]] void endNow(int sig);

private:
    void start();
    void watch();

    std::function<std::string(int)> line_;
    RemovalList ownList_;
    RemovalList& list_;
    Options options_;
    sigset_t signals_{};
    sigset_t previousMask_{};
    struct sigaction previousFileSize_ {};
    struct sigaction previousPipe_ {};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

// "SIGINT", "SIGTERM", "SIGHUP" (or "signal <n>").
std::string signalName(int sig);

}  // namespace common
