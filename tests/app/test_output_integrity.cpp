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

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <utility>

#include "support/TestFiles.h"

namespace fs = std::filesystem;
using testing_support::dnaCase;
using testing_support::readFile;
using testing_support::runProgram;
using testing_support::StandardError;
using testing_support::TempFolder;

namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

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
    // No entire simulation was accepted: the list is not written either,
    // only the run record; the fatal error also reaches standard error.
    const std::string fatal =
        "fluviagen: Cannot write the output file '" + folder + "settings_samples_DNA_1-1.arp': File too large!\n";
    EXPECT_EQ(readFile(run.err),
              "\nOutputs written to " + folder + " (1 file; listed in settings_samples_DNA_run.json)\n" + fatal);
    for (const char* ending : {".part", ".arp", ".complete", ".tmrca", ".arb"})
        EXPECT_EQ(countEnding(temp, ending), 0) << ending;
}

TEST(OutputIntegrity, AFailedCallLeavesTheListAsItWas) {
    TempFolder temp, logs;
    const std::string settings = dnaCase(temp, {{21, "1000"}});
    const std::string list = temp.write("GeneticOutput/settings_samples_DNA.arb", "from an earlier call.arp\n");
    const Started run = start(settings, logs, 8192);
    int raw = 0;
    ::waitpid(run.pid, &raw, 0);
    EXPECT_EQ(statusOf(raw), 1);
    EXPECT_EQ(readFile(list), "from an earlier call.arp\n");
    const std::string folder = temp.folder() + "GeneticOutput/";
    EXPECT_EQ(readFile(run.err),
              "\nOutputs written to " + folder +
                  " (1 file; listed in settings_samples_DNA_run.json)\nfluviagen: Cannot write the output file '" +
                  folder + "settings_samples_DNA_1-1.arp': File too large!\n");
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
    const int held =
        ::open((temp.folder() + "GeneticOutput/settings_samples_DNA.lock").c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    const auto r = runProgram({settings}, "", "5", "", 0, StandardError::Apart);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.output,
                         "FATAL ERROR: Another run is using the outputs 'settings_samples_DNA*' in the "
                         "folder '" +
                             temp.folder() + "GeneticOutput/'"));
    EXPECT_FALSE(contains(r.output, "Build World"));
    EXPECT_EQ(readFile(arp), "the other call's\n");
    // A replicate with a settings file of its own name writes other files.
    const auto replicate = runProgram({dnaCase(temp, {}, "settings_rep2.txt")}, "", "5");
    EXPECT_EQ(replicate.status, 0) << replicate.output;
    EXPECT_EQ(readFile(arp), "the other call's\n");
    ::close(held);
}

TEST(OutputIntegrity, AnInterruptedCallRemovesItsPartsAndTheCompletionRecord) {
    for (const auto& [sig, name] :
         {std::pair{SIGINT, "SIGINT"}, std::pair{SIGTERM, "SIGTERM"}, std::pair{SIGHUP, "SIGHUP"}}) {
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

namespace {

// The program with its standard output into a pipe whose reading end the
// test holds (returned in readEnd); standard error to logs.
Started startIntoPipe(const std::string& settings, const TempFolder& logs, int& readEnd) {
    int ends[2];
    if (::pipe(ends) != 0) ADD_FAILURE() << "no pipe";
    // The smallest pipe, so that the console fills it at once.
    ::fcntl(ends[1], F_SETPIPE_SZ, 4096);
    Started s{0, logs.path() / "out.txt", logs.path() / "err.txt"};
    const std::string binary = FLUVIAGEN_BINARY;
    s.pid = ::fork();
    if (s.pid == 0) {
        ::close(ends[0]);
        ::dup2(::open("/dev/null", O_RDONLY), 0);
        ::dup2(ends[1], 1);
        ::dup2(::open(s.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        ::setenv("FLUVIAGEN_SEED", "5", 1);
        ::signal(SIGPIPE, SIG_DFL);
        ::execl(binary.c_str(), binary.c_str(), settings.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(ends[1]);
    readEnd = ends[0];
    return s;
}

// Waits up to `seconds` for the program to end: its status, or -1 when it
// is still running (it is then killed).
int endsWithin(pid_t pid, int seconds) {
    int raw = 0;
    for (int wait = 0; wait < seconds * 100; ++wait) {
        if (::waitpid(pid, &raw, WNOHANG) == pid) return statusOf(raw);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &raw, 0);
    return -1;
}

bool waitForParts(const TempFolder& temp, pid_t pid) {
    int raw = 0;
    for (int wait = 0; wait < 3000 && countEnding(temp, ".part") == 0; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (::waitpid(pid, &raw, WNOHANG) == pid) return false;
    }
    return countEnding(temp, ".part") > 0;
}

}  // namespace

TEST(OutputIntegrity, AnInterruptEndsTheCallWhileStandardOutputIsBlocked) {
    // `fluviagen settings.txt | less` with the pager not reading: the
    // console fills the pipe and the simulation loop waits in a write, holding the
    // stream; Ctrl-C must still end the call.
    TempFolder temp, logs;
    const std::string settings = dnaCase(temp, {{17, "100000000"}, {31, "0"}});
    int readEnd = -1;
    const Started run = startIntoPipe(settings, logs, readEnd);
    ASSERT_TRUE(waitForParts(temp, run.pid));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // long enough to fill the pipe
    char some[64];
    ASSERT_EQ(::read(readEnd, some, sizeof some), static_cast<ssize_t>(sizeof some));
    ::kill(run.pid, SIGINT);
    EXPECT_EQ(endsWithin(run.pid, 10), 130);
    ::close(readEnd);
    EXPECT_EQ(countEnding(temp, ".part"), 0);
    EXPECT_TRUE(contains(readFile(run.err), "\nInterrupted by SIGINT: the outputs of this call in "));
}

TEST(OutputIntegrity, AStandardOutputWithoutReaderEndsTheCallLikeAnInterrupt) {
    // `fluviagen settings.txt | head`: the reader goes away while the call
    // writes its tables.
    TempFolder temp, logs;
    const std::string settings = dnaCase(temp, {{17, "100000000"}, {31, "0"}});
    int readEnd = -1;
    const Started run = startIntoPipe(settings, logs, readEnd);
    ASSERT_TRUE(waitForParts(temp, run.pid));
    char some[256];
    EXPECT_GT(::read(readEnd, some, sizeof some), 0);
    ::close(readEnd);
    EXPECT_EQ(endsWithin(run.pid, 10), 141);
    EXPECT_EQ(countEnding(temp, ".part"), 0);
    EXPECT_EQ(countEnding(temp, ".complete"), 0);
    EXPECT_TRUE(contains(readFile(run.err),
                         "\nInterrupted by SIGPIPE (standard output has no reader): the outputs of "
                         "this call in "));
}

TEST(OutputIntegrity, TheCompletionRecordTellsFailedAttemptsFromTheAcceptedSimulation) {
    // On the shipped river the first entire simulation fails after 5
    // genealogies and the second after 12; their project files stay (their
    // numbers are taken).
    TempFolder temp;
    for (const auto& entry : fs::directory_iterator(FLUVIAGEN_SOURCE_DIR "/examples/river"))
        fs::copy(entry.path(), temp.path());
    std::istringstream original(readFile(temp.path() / "settings.txt"));
    std::string settings, line;
    for (int number = 1; std::getline(original, line); ++number)
        settings += (number == 17 ? "100" : number == 18 ? "1850" : line) + "\n";
    temp.write("settings.txt", settings);
    const auto r = runProgram({temp.folder() + "settings.txt"}, "", "2026", "", 0, StandardError::Apart);
    ASSERT_EQ(r.status, 0) << r.errors;
    const std::string record = readFile(temp.path() / "GeneticOutput/settings_samples_gps_DNA.complete");
    std::string failed;
    for (const auto& [e, genealogies] : {std::pair{1, 5}, std::pair{2, 12}}) {
        failed += "# failed entire simulation " + std::to_string(e) +
                  ": buildTree():Coalescence process did not converge (still 2 lineages remaining!)\n";
        for (int s = 1; s <= genealogies; ++s)
            failed += "settings_samples_gps_DNA_" + std::to_string(e) + "-0" + std::string(s < 10 ? "0" : "") +
                      std::to_string(s) + ".arp\n";
    }
    EXPECT_EQ(record.substr(0, failed.size()), failed);
    EXPECT_TRUE(contains(record,
                         "settings_samples_gps_DNA_2-012.arp\n# accepted entire simulation 3\n"
                         "settings_samples_gps_DNA_3-001.arp\n"));
    EXPECT_TRUE(contains(record, "\n# written by the call\nsettings_samples_gps_DNA.arb\n"));
    // The list holds all of them, in order, as it always has.
    const std::string list = readFile(temp.path() / "GeneticOutput/settings_samples_gps_DNA.arb");
    EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 117);
    EXPECT_EQ(list.rfind("settings_samples_gps_DNA_1-001.arp\n", 0), 0u);
}

TEST(OutputIntegrity, SamplesNoSourceCanReachAreRefusedAfterTheFirstRun) {
    // A map closes every sample's segment from generation 1 on: every entire
    // simulation would fail in the same way.
    TempFolder temp;
    for (const auto& entry : fs::directory_iterator(FLUVIAGEN_SOURCE_DIR "/examples/river"))
        fs::copy(entry.path(), temp.path());
    temp.write("closed.txt", "all samples\n0\n5 17 157 256 323 68 364 55 246 169\n");
    temp.write("dynamic.txt", "1 closed.txt\n");
    const auto r = runProgram({temp.folder() + "settings_dam.txt"}, "", "5", "", 0, StandardError::Apart);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.output, "FATAL ERROR: No sample of '" + temp.folder() +
                                       "samples.txt' can ever receive "
                                       "genes, so every entire simulation would fail in the same way: sample "
                                       "'Lower_Main' (segment 5): its segment is closed by the dynamic maps at the end "
                                       "of the run; sample 'Middle_Main'"))
        << r.output.substr(r.output.size() > 2000 ? r.output.size() - 2000 : 0);
    EXPECT_FALSE(contains(r.output, "***** 2. run"));
}
