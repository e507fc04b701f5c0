// The watcher of a program call's signals, in a child process each: it ends
// the process itself.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>

#include "app/Interruption.h"
#include "output/OutputFiles.h"
#include "support/TestFiles.h"

using namespace fluviagen;

namespace {

// The main thread holds the registry's lock (stuck while creating a file):
// the first signal waits for it, the second ends the process at once, with
// the second signal's status.
void secondSignalWhileTheRegistryIsHeld() {
    OutputRegistry outputs;
    const InterruptWatcher watcher(outputs, "out/");
    const std::lock_guard<std::mutex> stuck(outputs.partsMutex());
    ::kill(::getpid(), SIGTERM);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ::kill(::getpid(), SIGINT);
    std::this_thread::sleep_for(std::chrono::seconds(10));
    std::_Exit(0);
}

// A signal removes the ".part" files listed and ends with 128 + its number.
void signalRemovesTheParts(int sig, const std::string& part) {
    OutputRegistry outputs;
    const InterruptWatcher watcher(outputs, "out/");
    {
        const std::lock_guard<std::mutex> lock(outputs.partsMutex());
        outputs.addPart(part);
        ::close(::open(part.c_str(), O_WRONLY | O_CREAT, 0644));
    }
    ::kill(::getpid(), sig);
    std::this_thread::sleep_for(std::chrono::seconds(10));
    std::_Exit(0);
}

}  // namespace

TEST(InterruptWatcher, ASecondSignalEndsTheCallAtOnce) {
    EXPECT_EXIT(secondSignalWhileTheRegistryIsHeld(), testing::ExitedWithCode(130),
                "\nInterrupted by SIGINT: the outputs of this call in out/ are incomplete.\n");
}

TEST(InterruptWatcher, EverySignalRemovesThePartsWithItsStatus) {
    const struct {
        int sig;
        const char* name;
    } cases[] = {{SIGINT, "SIGINT"}, {SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing_support::TempFolder temp;
        const std::string part = temp.folder() + "run.arb.part";
        EXPECT_EXIT(signalRemovesTheParts(c.sig, part), testing::ExitedWithCode(128 + c.sig),
                    std::string("Interrupted by ") + c.name + ": the outputs of this call in out/ are incomplete.");
        EXPECT_FALSE(std::filesystem::exists(part));
    }
}
