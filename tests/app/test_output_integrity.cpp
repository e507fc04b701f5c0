// What the real program leaves in its output folder when the outputs cannot
// be written, when two calls aim at the same files and when a call is
// interrupted: never a file under a final name that passes for part of a
// complete set, and an exit status that says the call failed.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "support/TestFiles.h"

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::runProgram;
using testing_support::StandardError;
using testing_support::TempFolder;

namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The small DNA case of the end-to-end tests in temp, with settings lines
// (1-based) replaced by the values given; returns the settings path.
std::string dnaCase(const TempFolder& temp, const std::map<int, std::string>& values = {},
                    const std::string& settingsName = "settings.txt") {
    const fs::path source(FLUVIAGEN_SOURCE_DIR "/tests/e2e");
    for (const char* name : {"river_nodes.txt", "river_segments.txt", "samples.txt", "sources.txt"})
        fs::copy(source / "shared" / name, temp.path(), fs::copy_options::overwrite_existing);
    std::istringstream original(readFile(source / "cases/dna/settings.txt"));
    std::string settings, line;
    for (int number = 1; std::getline(original, line); ++number)
        settings += (values.count(number) ? values.at(number) : line) + "\n";
    return temp.write(settingsName, settings);
}

// Files of the output folder whose names end so.
int countEnding(const TempFolder& temp, const std::string& ending) {
    int n = 0;
    std::error_code missing;
    for (const auto& entry : fs::directory_iterator(temp.path() / "GeneticOutput", missing))
        n += entry.path().string().ends_with(ending);
    return n;
}

// The program started on its own, so that a test can limit its file sizes or
// signal it while it runs; standard output and error go to files in logs.
struct Started {
    pid_t pid;
    fs::path out, err;
};

Started start(const std::string& settings, const TempFolder& logs, rlim_t fileSizeLimit = RLIM_INFINITY) {
    Started s{0, logs.path() / "out.txt", logs.path() / "err.txt"};
    const std::string binary = FLUVIAGEN_BINARY;
    s.pid = ::fork();
    if (s.pid == 0) {
        ::dup2(::open("/dev/null", O_RDONLY), 0);
        ::dup2(::open(s.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
        ::dup2(::open(s.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        ::setenv("FLUVIAGEN_SEED", "5", 1);
        // SIGXFSZ keeps its default action: the program must not die of it.
        const rlimit limit{fileSizeLimit, fileSizeLimit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::execl(binary.c_str(), binary.c_str(), settings.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return s;
}

// The exit status, or 128 + the signal that ended the program.
int statusOf(int raw) { return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw); }

}  // namespace

TEST(OutputIntegrity, AFullDiskEndsTheCallWithoutAnIncompleteFile) {
    TempFolder temp, logs;
    // Project files of about 21 kB against a limit of 8 kB per file.
    const std::string settings = dnaCase(temp, {{21, "1000"}});
    const Started run = start(settings, logs, 8192);
    int raw = 0;
    ::waitpid(run.pid, &raw, 0);
    EXPECT_EQ(statusOf(raw), 1);
    const std::string folder = temp.folder() + "GeneticOutput/";
    EXPECT_TRUE(contains(readFile(run.out), "\nUnhandled ERROR: \nFATAL ERROR: Cannot write the output file '" +
                                                folder + "settings_samples_DNA_1-1.arp': File too large!"));
    // The run record tells what the failed call did; the fatal error also
    // reaches standard error.
    EXPECT_EQ(readFile(run.err), "\nOutputs written to " + folder + ": settings_samples_DNA.arb, settings_samples_DNA_run.json\n"
                                 "fluviagen: Cannot write the output file '" + folder +
                                 "settings_samples_DNA_1-1.arp': File too large!\n");
    for (const char* ending : {".part", ".arp", ".complete", ".tmrca"}) EXPECT_EQ(countEnding(temp, ending), 0) << ending;
}

TEST(OutputIntegrity, AnOutputFolderThatCannotBeMadeFailsTheCall) {
    // A file where the folder should be stops the superuser too, where a
    // folder without write permission would not.
    TempFolder temp;
    const std::string settings = dnaCase(temp);
    temp.write("GeneticOutput", "");
    const auto r = runProgram({settings}, "", "5", "", 0, StandardError::Apart);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.output, "FATAL ERROR: Cannot create the output folder '" + temp.folder() +
                                       "GeneticOutput/': a file of that name is in the way!"));
    EXPECT_FALSE(contains(r.output, "Simulations succeeded!"));
    EXPECT_EQ(r.errors, "\nNo output files written.\nfluviagen: Cannot create the output folder '" + temp.folder() +
                            "GeneticOutput/': a file of that name is in the way!\n");
}

TEST(OutputIntegrity, AnOutputSetInUseStopsTheSecondCallOnly) {
    TempFolder temp;
    const std::string settings = dnaCase(temp);
    const std::string arp = temp.write("GeneticOutput/settings_samples_DNA_1-1.arp", "the other call's\n");
    const int held = ::open((temp.folder() + "GeneticOutput/settings_samples_DNA.lock").c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    const auto r = runProgram({settings}, "", "5", "", 0, StandardError::Apart);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.output, "FATAL ERROR: Another run is using the outputs 'settings_samples_DNA*' in the "
                                   "folder '" + temp.folder() + "GeneticOutput/'"));
    EXPECT_FALSE(contains(r.output, "Build World"));
    EXPECT_EQ(readFile(arp), "the other call's\n");
    // A replicate with a settings file of its own name writes other files.
    const auto replicate = runProgram({dnaCase(temp, {}, "settings_rep2.txt")}, "", "5");
    EXPECT_EQ(replicate.status, 0) << replicate.output;
    EXPECT_EQ(readFile(arp), "the other call's\n");
    ::close(held);
}

TEST(OutputIntegrity, AnInterruptedCallRemovesItsPartsAndTheCompletionRecord) {
    for (const auto& [sig, name] : {std::pair{SIGINT, "SIGINT"}, std::pair{SIGTERM, "SIGTERM"}}) {
        SCOPED_TRACE(name);
        TempFolder temp, logs;
        // Far more genetic simulations than the test waits for; the tables
        // stay ".part" files through the whole genetic phase.
        const std::string settings = dnaCase(temp, {{17, "100000000"}, {31, "0"}});
        temp.write("GeneticOutput/settings_samples_DNA.complete", "from an earlier call\n");
        const Started run = start(settings, logs);
        int raw = 0;
        bool ended = false;
        for (int wait = 0; wait < 3000 && !ended && countEnding(temp, ".part") == 0; ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            ended = ::waitpid(run.pid, &raw, WNOHANG) == run.pid;
        }
        ASSERT_FALSE(ended) << readFile(run.out);
        ::kill(run.pid, sig);
        ::waitpid(run.pid, &raw, 0);
        EXPECT_EQ(statusOf(raw), 128 + sig);
        EXPECT_TRUE(contains(readFile(run.err), std::string("\nInterrupted by ") + name +
                                                    ": the outputs of this call in " + temp.folder() +
                                                    "GeneticOutput/ are incomplete.\n"));
        EXPECT_EQ(countEnding(temp, ".part"), 0);
        EXPECT_EQ(countEnding(temp, ".complete"), 0);
    }
}
