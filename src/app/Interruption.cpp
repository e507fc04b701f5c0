#include "app/Interruption.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <utility>

#include "output/OutputFiles.h"

namespace fluviagen {

InterruptWatcher::InterruptWatcher(OutputRegistry& outputs, std::string outputFolder)
    : outputFolder_(std::move(outputFolder)),
      cleanup_([this](int sig) { return interruptionLine(sig, outputFolder_); }, outputs.unfinished(),
               {.watchStandardOutput = true, .first = [this](int sig) { endChild(sig); }}) {}

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
        if (const int second = cleanup_.nextSignal(10'000'000); second > 0) {
            ::kill(child, second == SIGPIPE ? SIGTERM : second);
            cleanup_.endNow(second);
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
    return std::string("Interrupted by ") + name + ": the outputs of this call in " + outputFolder + " are incomplete.";
}

}  // namespace fluviagen
