#include "common/SignalCleanup.h"

#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <utility>

namespace common {

namespace {

// How often the thread looks whether it is asked to stop, and whether
// standard output still has a reader.
constexpr long pollNanoseconds = 50'000'000;

// True when standard output is a pipe or socket whose reader has gone: every
// write to it fails with EPIPE from now on.
bool standardOutputGone() {
    pollfd out{STDOUT_FILENO, 0, 0};
    return ::poll(&out, 1, 0) == 1 && (out.revents & POLLERR) != 0;
}

// The line on standard error, with line ends around it (appended, not
// joined by "+": g++ 12 warns falsely of an overlap there).
std::string framed(const std::string& line) {
    std::string text(1, '\n');
    text += line;
    text += '\n';
    return text;
}

}  // namespace

std::string signalName(int sig) {
    switch (sig) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        case SIGHUP:
            return "SIGHUP";
        default:
            return "signal " + std::to_string(sig);
    }
}

SignalCleanup::SignalCleanup(std::function<std::string(int)> line) : line_(std::move(line)), list_(ownList_) {
    start();
}

SignalCleanup::SignalCleanup(std::function<std::string(int)> line, RemovalList& list, Options options)
    : line_(std::move(line)), list_(list), options_(std::move(options)) {
    start();
}

void SignalCleanup::start() {
    sigemptyset(&signals_);
    sigaddset(&signals_, SIGINT);
    sigaddset(&signals_, SIGTERM);
    sigaddset(&signals_, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals_, &previousMask_);
    // Ignored, not blocked: a blocked SIGXFSZ would stay pending and kill the
    // process with a core dump as soon as the mask is restored.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, &previousFileSize_);
    if (options_.watchStandardOutput) sigaction(SIGPIPE, &ignore, &previousPipe_);
    thread_ = std::thread([this] { watch(); });
}

SignalCleanup::~SignalCleanup() {
    // The thread is woken by a signal sent to it alone. A user's signal that
    // arrives at the same moment may be taken for it: the program has
    // finished by then, and a signal still pending ends the process with its
    // default action when the mask is restored.
    stopping_ = true;
    pthread_kill(thread_.native_handle(), SIGTERM);
    thread_.join();
    if (options_.watchStandardOutput) sigaction(SIGPIPE, &previousPipe_, nullptr);
    sigaction(SIGXFSZ, &previousFileSize_, nullptr);
    pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

void SignalCleanup::track(const std::string& path) {
    const std::lock_guard<std::mutex> lock(list_.mutex());
    list_.add(path, RemovalList::Kind::tree);
}

void SignalCleanup::untrack(const std::string& path) {
    const std::lock_guard<std::mutex> lock(list_.mutex());
    list_.drop(path);
}

std::string SignalCleanup::trackMade(const std::function<std::string()>& make) {
    const std::lock_guard<std::mutex> lock(list_.mutex());
    std::string path = make();
    list_.add(path, RemovalList::Kind::tree);
    return path;
}

int SignalCleanup::nextSignal(long nanoseconds) {
    const timespec wait{0, nanoseconds};
    const int sig = sigtimedwait(&signals_, nullptr, &wait);
    return sig > 0 ? sig : 0;
}

void SignalCleanup::endNow(int sig) {
    const std::string text = framed(line_(sig));
    [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, text.data(), text.size());
    ::_exit(128 + sig);
}

void SignalCleanup::watch() {
    int sig = 0;
    const timespec step{0, pollNanoseconds};
    for (;;) {
        sig = sigtimedwait(&signals_, nullptr, &step);
        if (stopping_) return;
        if (sig > 0) break;
        if (errno != EAGAIN && errno != EINTR) return;
        if (options_.watchStandardOutput && standardOutputGone()) {
            sig = SIGPIPE;
            break;
        }
    }
    if (options_.first) options_.first(sig);
    // The line is made before anything can block.
    const std::string text = framed(line_(sig));
    // The list's lock is held by the other threads only around creating,
    // renaming or removing a listed file; while waiting for it, a second
    // signal ends the process at once.
    std::unique_lock<std::mutex> lock(list_.mutex(), std::defer_lock);
    while (!lock.try_lock())
        if (const int second = nextSignal(1'000'000); second > 0) endNow(second);
    // Held until the process ends: nothing is created or renamed into place
    // after the cleanup.
    list_.removeAll();
    [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, text.data(), text.size());
    ::_exit(128 + sig);
}

}  // namespace common
