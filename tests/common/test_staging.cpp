// Stage, then rename: the files of a call arrive together or not at all,
// and a signal leaves no unfinished file behind. (How one file is created
// and renamed into place, links included: test_new_file.cpp.)
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>

#include "common/SignalCleanup.h"
#include "common/StagingFolder.h"
#include "support/TestFiles.h"

namespace fs = std::filesystem;
using common::StagingFolder;
using testing_support::readFile;
using testing_support::TempFolder;

namespace {

std::set<std::string> entries(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

void put(int fd, const std::string& text) {
    ASSERT_EQ(common::writeAll(fd, text.data(), text.size()), 0);
    ::close(fd);
}

}  // namespace

TEST(StagingFolder, CommitPutsEveryFileInPlaceAndLeavesNoPrivateFolder) {
    TempFolder out;
    out.write("a.txt", "old a");
    out.write("keep.txt", "untouched");
    {
        StagingFolder staging(out.path().string(), "test");
        EXPECT_EQ(fs::path(staging.folder()).parent_path(), out.path());
        put(staging.create("a.txt"), "new a");
        put(staging.create("b.txt"), "new b");
        // Nothing under a final name before the commit.
        EXPECT_EQ(readFile(out.path() / "a.txt"), "old a");
        EXPECT_FALSE(fs::exists(out.path() / "b.txt"));
        const auto finals = staging.commit();
        EXPECT_EQ(finals.size(), 2u);
    }
    EXPECT_EQ(entries(out.path()), (std::set<std::string>{"a.txt", "b.txt", "keep.txt"}));
    EXPECT_EQ(readFile(out.path() / "a.txt"), "new a");
    EXPECT_EQ(readFile(out.path() / "b.txt"), "new b");
}

TEST(StagingFolder, AbandonedStagingLeavesTheFolderAsItWas) {
    TempFolder out;
    out.write("a.txt", "old a");
    {
        StagingFolder staging(out.path().string(), "test");
        put(staging.create("a.txt"), "half");
        // A library writing by name inside the private folder.
        std::ofstream(staging.stagedPath("c.gpkg")) << "db";
    }
    EXPECT_EQ(entries(out.path()), (std::set<std::string>{"a.txt"}));
    EXPECT_EQ(readFile(out.path() / "a.txt"), "old a");
}

TEST(StagingFolder, RefusesNamesThatAreNotPlainFileNames) {
    TempFolder out;
    StagingFolder staging(out.path().string(), "test");
    for (const std::string& name :
         std::vector<std::string>{"", ".", "..", "../escaped", "a/b", "line\nend", std::string("nul\0x", 5)}) {
        SCOPED_TRACE(name);
        EXPECT_THROW(staging.stagedPath(name), common::OutputError);
    }
    staging.stagedPath("once.txt");
    EXPECT_THROW(staging.stagedPath("once.txt"), common::OutputError);
}

TEST(StagingFolder, ACommitThatCannotCompleteRenamesNothing) {
    struct Case {
        const char* what;
        bool createSecond;    // the second staged file exists
        bool folderInTheWay;  // a folder holds the second file's name
    };
    for (const Case c : {Case{"a staged file missing", false, false}, Case{"a folder in the way", true, true}}) {
        SCOPED_TRACE(c.what);
        TempFolder out;
        out.write("first.txt", "old");
        if (c.folderInTheWay) fs::create_directory(out.path() / "second.txt");
        {
            StagingFolder staging(out.path().string(), "test");
            put(staging.create("first.txt"), "new");
            if (c.createSecond)
                put(staging.create("second.txt"), "new");
            else
                staging.stagedPath("second.txt");
            EXPECT_THROW(staging.commit(), common::OutputError);
        }
        EXPECT_EQ(readFile(out.path() / "first.txt"), "old");
        EXPECT_EQ(entries(out.path()).size(), c.folderInTheWay ? 2u : 1u);
    }
}

TEST(StagingFolder, AnOutputFolderThatCannotHoldItIsNamed) {
    try {
        StagingFolder staging("/nonexistent-folder/deeper", "test");
        FAIL() << "no error";
    } catch (const common::OutputError& e) {
        EXPECT_NE(std::string(e.what()).find("'/nonexistent-folder/deeper'"), std::string::npos) << e.what();
    }
}

// A child process stages a file, writes part of it and is sent a signal;
// it must end with 128 + the signal, its private folder removed and its
// line on standard error.
TEST(SignalCleanup, ASignalRemovesTheStagedFilesAndEndsWith128PlusTheSignal) {
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(common::signalName(sig));
        TempFolder out;
        out.write("a.txt", "old a");
        int errors[2];
        ASSERT_EQ(::pipe(errors), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::dup2(errors[1], STDERR_FILENO);
            common::SignalCleanup cleanup([](int s) { return "interrupted by " + common::signalName(s); });
            StagingFolder staging(out.path().string(), "test", &cleanup);
            const int fd = staging.create("a.txt");
            common::writeAll(fd, "half", 4);
            ::kill(::getpid(), sig);
            for (int i = 0; i < 500; ++i) ::usleep(10'000);
            ::_exit(0);  // the signal was not handled
        }
        ::close(errors[1]);
        std::string said;
        char buffer[256];
        for (ssize_t n; (n = ::read(errors[0], buffer, sizeof buffer)) > 0;)
            said.append(buffer, static_cast<std::size_t>(n));
        ::close(errors[0]);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 128 + sig);
        EXPECT_EQ(said, "\ninterrupted by " + common::signalName(sig) + "\n");
        EXPECT_EQ(entries(out.path()), (std::set<std::string>{"a.txt"}));
        EXPECT_EQ(readFile(out.path() / "a.txt"), "old a");
    }
}

// The renames of a commit are not cut by a signal: one that arrives while
// they go on (here: while their lock is held) is handled before or after
// them, never between two, so the call's twenty files are all in place or
// none is.
TEST(SignalCleanup, ASignalDuringTheRenamesLeavesAllFilesOrNone) {
    TempFolder out;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        common::SignalCleanup cleanup([](int) { return std::string("interrupted"); });
        StagingFolder staging(out.path().string(), "test", &cleanup);
        for (int i = 0; i < 20; ++i) {
            std::string name = "f";  // appended, not "f" + …: g++ 12 warns falsely of an overlap there
            name += std::to_string(i);
            common::writeAll(staging.create(name), "x", 1);
        }
        {
            auto lock = cleanup.renaming();
            ::kill(::getpid(), SIGTERM);
            ::usleep(200'000);  // the cleanup waits for the lock meanwhile
        }
        staging.commit();
        for (int i = 0; i < 500; ++i) ::usleep(10'000);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGTERM);
    const auto left = entries(out.path());
    EXPECT_TRUE(left.empty() || (left.size() == 20 && left.count("f0") == 1)) << left.size();
}
