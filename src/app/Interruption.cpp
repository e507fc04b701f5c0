#include "app/Interruption.h"

#include <poll.h>
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <thread>
#include <utility>

#include "output/OutputFiles.h"

namespace {

// The line on standard error, with line ends around it.
std::string lineFor(int sig, const std::string& outputFolder) {
    std::string line(1, '\n');
    line += interruptionLine(sig, outputFolder);
    line += '\n';
    return line;
}

// How often the watcher looks whether standard output still has a reader.
constexpr long pollNanoseconds = 50'000'000;

// True when standard output is a pipe or socket whose reader has gone: every
// write to it fails with EPIPE from now on.
bool standardOutputGone() {
    pollfd out{STDOUT_FILENO, 0, 0};
    return ::poll(&out, 1, 0) == 1 && (out.revents & POLLERR) != 0;
}

}  // namespace

InterruptWatcher::InterruptWatcher(OutputRegistry& outputs, std::string outputFolder)
    : outputs_(outputs), outputFolder_(std::move(outputFolder)) {
    sigemptyset(&signals_);
    sigaddset(&signals_, SIGINT);
    sigaddset(&signals_, SIGTERM);
    sigaddset(&signals_, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals_, &previousMask_);
    // Ignored, not blocked: a blocked SIGXFSZ would stay pending and kill the
    // process with a core dump as soon as the mask is restored. SIGPIPE is
    // sent to the thread that writes, which a watcher cannot wait for: a
    // write to a standard output nobody reads fails instead, and the watcher
    // sees the reader gone.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, &previousFileSize_);
    sigaction(SIGPIPE, &ignore, &previousPipe_);
    thread_ = std::thread([this] { watch(); });
}

InterruptWatcher::~InterruptWatcher() {
    // The watcher is woken by a signal sent to it alone. A user's signal that
    // arrives at the same moment may be taken for it: the call has finished
    // by then, and a signal still pending ends the process with its default
    // action when the mask is restored.
    stopping_ = true;
    pthread_kill(thread_.native_handle(), SIGTERM);
    thread_.join();
    sigaction(SIGPIPE, &previousPipe_, nullptr);
    sigaction(SIGXFSZ, &previousFileSize_, nullptr);
    pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

void InterruptWatcher::watch() {
    int sig = 0;
    const timespec step{0, pollNanoseconds};
    for (;;) {
        sig = sigtimedwait(&signals_, nullptr, &step);
        if (stopping_) return;
        if (sig > 0) break;
        if (errno != EAGAIN && errno != EINTR) return;
        if (standardOutputGone()) {
            sig = SIGPIPE;
            break;
        }
    }
    endChild(sig);
    // The line is made before anything can block. The main thread may be
    // stuck in a write to standard output holding the stream's lock, so the
    // watcher takes no stream lock: the line goes out by write(2) and what
    // the console had buffered is dropped.
    const std::string line = lineFor(sig, outputFolder_);
    // The registry's lock is held by the main thread only around creating,
    // renaming or removing a ".part" file; while waiting for it, a second
    // signal ends the call at once.
    std::unique_lock<std::mutex> lock(outputs_.partsMutex(), std::defer_lock);
    while (!lock.try_lock()) {
        const timespec brief{0, 1'000'000};
        const int second = sigtimedwait(&signals_, nullptr, &brief);
        if (second > 0) {
            const std::string now = lineFor(second, outputFolder_);
            [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, now.data(), now.size());
            ::_exit(128 + second);
        }
    }
    // Held until the process ends: the run loop can neither complete nor
    // start another file after the ".part" files are gone.
    outputs_.removePartsHeld();
    [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, line.data(), line.size());
    ::_exit(128 + sig);
}

void InterruptWatcher::endChild(int sig) {
    pid_t child = 0;
    {
        const std::lock_guard<std::mutex> lock(childMutex_);
        interrupted_ = true;
        child = child_;
    }
    if (child <= 0) return;
    // A reader gone from this program's standard output is nothing to the
    // child, whose output goes to standard error: it is asked to stop.
    const int passed = sig == SIGPIPE ? SIGTERM : sig;
    ::kill(child, passed);
    for (;;) {
        // Whichever thread reaps the child first, the other learns that it
        // is gone (ECHILD).
        const pid_t ended = ::waitpid(child, nullptr, WNOHANG);
        if (ended == child || (ended < 0 && errno != EINTR)) return;
        const timespec brief{0, 10'000'000};
        const int second = sigtimedwait(&signals_, nullptr, &brief);
        if (second > 0) {
            ::kill(child, second == SIGPIPE ? SIGTERM : second);
            const std::string now = lineFor(second, outputFolder_);
            [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, now.data(), now.size());
            ::_exit(128 + second);
        }
    }
}

void InterruptWatcher::waitForEnd() const {
    for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}

int InterruptWatcher::runChild(const std::function<pid_t()>& start) {
    pid_t child = -1;
    {
        const std::lock_guard<std::mutex> lock(childMutex_);
        if (!interrupted_) child = child_ = start();
    }
    if (child == -1) {
        const std::lock_guard<std::mutex> lock(childMutex_);
        if (!interrupted_) return -1;
    }
    // Waited for without reaping it: while it is not reaped its process id
    // cannot pass to another process, so the watcher may signal it until
    // the end is noted under the lock.
    siginfo_t info{};
    if (child > 0)
        while (::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
        }
    {
        const std::lock_guard<std::mutex> lock(childMutex_);
        if (!interrupted_) {
            int status = -1;
            if (child > 0)
                while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
                }
            child_ = 0;
            return status;
        }
    }
    // The watcher has passed the signal on, and ends the process once the
    // child is gone; nothing of this call may be written any more.
    waitForEnd();
}

std::string interruptionLine(int sig, const std::string& outputFolder) {
    const char* name = sig == SIGINT    ? "SIGINT"
                       : sig == SIGHUP  ? "SIGHUP"
                       : sig == SIGPIPE ? "SIGPIPE (standard output has no reader)"
                                        : "SIGTERM";
    return std::string("Interrupted by ") + name + ": the outputs of this call in " + outputFolder +
           " are incomplete.";
}
