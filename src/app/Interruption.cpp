#include "app/Interruption.h"

#include <pthread.h>
#include <unistd.h>

#include <cstdio>
#include <utility>

#include "output/OutputFiles.h"

InterruptWatcher::InterruptWatcher(OutputRegistry& outputs, std::string outputFolder)
    : outputs_(outputs), outputFolder_(std::move(outputFolder)) {
    sigemptyset(&signals_);
    sigaddset(&signals_, SIGINT);
    sigaddset(&signals_, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals_, &previousMask_);
    // Ignored, not blocked: a blocked SIGXFSZ would stay pending and kill the
    // process with a core dump as soon as the mask is restored.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, &previousFileSize_);
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
    sigaction(SIGXFSZ, &previousFileSize_, nullptr);
    pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

void InterruptWatcher::watch() {
    int sig = 0;
    if (sigwait(&signals_, &sig) != 0 || stopping_) return;
    // Held until the process ends: the run loop can neither complete nor
    // start another file after the ".part" files are gone.
    const auto held = outputs_.removeParts();
    // Whatever the console had buffered belongs before the last word.
    std::fflush(stdout);
    const std::string line = "\n" + interruptionLine(sig, outputFolder_) + "\n";
    [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, line.data(), line.size());
    ::_exit(128 + sig);
}

std::string interruptionLine(int sig, const std::string& outputFolder) {
    return std::string("Interrupted by ") + (sig == SIGINT ? "SIGINT" : "SIGTERM") + ": the outputs of this call in " +
           outputFolder + " are incomplete.";
}
