#include "common/SignalCleanup.h"

#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <filesystem>
#include <utility>

namespace common {

namespace {

// How often the thread looks whether it is asked to stop.
constexpr long pollNanoseconds = 50'000'000;

void writeLine(const std::string& line) {
    const std::string text = "\n" + line + "\n";
    [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, text.data(), text.size());
}

}  // namespace

std::string signalName(int sig) {
    switch (sig) {
        case SIGINT: return "SIGINT";
        case SIGTERM: return "SIGTERM";
        case SIGHUP: return "SIGHUP";
        default: return "signal " + std::to_string(sig);
    }
}

SignalCleanup::SignalCleanup(std::function<std::string(int)> line) : line_(std::move(line)) {
    sigemptyset(&signals_);
    sigaddset(&signals_, SIGINT);
    sigaddset(&signals_, SIGTERM);
    sigaddset(&signals_, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals_, &previousMask_);
    // Ignored, not blocked: a blocked SIGXFSZ would stay pending and kill the
    // process as soon as the mask is restored.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, &previousFileSize_);
    thread_ = std::thread([this] { watch(); });
}

SignalCleanup::~SignalCleanup() {
    // The thread is woken by a signal sent to it alone. A user's signal at
    // the same moment may be taken for it: the program has finished by then.
    stopping_ = true;
    pthread_kill(thread_.native_handle(), SIGTERM);
    thread_.join();
    sigaction(SIGXFSZ, &previousFileSize_, nullptr);
    pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

void SignalCleanup::track(const std::string& path) {
    const std::lock_guard<std::mutex> lock(mutex_);
    tracked_.insert(path);
}

void SignalCleanup::untrack(const std::string& path) {
    const std::lock_guard<std::mutex> lock(mutex_);
    tracked_.erase(path);
}

std::string SignalCleanup::trackMade(const std::function<std::string()>& make) {
    const std::lock_guard<std::mutex> lock(mutex_);
    std::string path = make();
    tracked_.insert(path);
    return path;
}

void SignalCleanup::removeTracked() {
    namespace fs = std::filesystem;
    for (const std::string& path : tracked_) {
        // The interrupted thread may still create a file in a staging folder
        // (a database's journal) between the removal of its contents and of
        // the folder: a few more attempts catch it.
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::error_code error;
            fs::remove_all(path, error);
            if (!fs::exists(fs::symlink_status(path, error))) break;
            const timespec brief{0, 1'000'000};
            nanosleep(&brief, nullptr);
        }
    }
}

void SignalCleanup::watch() {
    int sig = 0;
    const timespec step{0, pollNanoseconds};
    for (;;) {
        sig = sigtimedwait(&signals_, nullptr, &step);
        if (stopping_) return;
        if (sig > 0) break;
        if (errno != EAGAIN && errno != EINTR) return;
    }
    // While files are being renamed into place the cleanup waits, so that a
    // set of files is found whole or not at all; a second signal ends the
    // process at once.
    std::unique_lock<std::mutex> lock(mutex_, std::defer_lock);
    while (!lock.try_lock()) {
        const timespec brief{0, 1'000'000};
        const int second = sigtimedwait(&signals_, nullptr, &brief);
        if (second > 0) {
            writeLine(line_(second));
            ::_exit(128 + second);
        }
    }
    // Held until the process ends: nothing is renamed into place after the
    // cleanup.
    removeTracked();
    writeLine(line_(sig));
    ::_exit(128 + sig);
}

}  // namespace common
