// The output files every writer goes through: a file takes its name only
// when complete, a failed write ends the call and leaves nothing behind, and
// the completion record goes before the first file changes.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

#include "base/Exception.h"
#include "output/CompletionRecord.h"
#include "output/OutputFiles.h"
#include "support/TestFiles.h"

using namespace fluviagen;

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::TempFolder;

namespace {

// In a child with a file size limit of `limit` bytes (SIGXFSZ ignored, as the
// program does during a call): writes `bytes` characters and a last line,
// and exits 0 when the write failed as a full disk would make it fail, with
// nothing under the final name but what was there.
void writeBeyondTheLimit(const std::string& path, bool append, std::size_t bytes, rlim_t limit) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit small{limit, limit};
    setrlimit(RLIMIT_FSIZE, &small);
    const std::string before = fs::exists(path) ? readFile(path) : "none";
    OutputRegistry registry;
    OutputFile file;
    bool failed = false;
    try {
        file.open(Text(path), append, registry);
        file << std::string(bytes, 'x');
        file << "last line\n";
        file.close();
    } catch (const SimulationError& e) {
        failed = e.isFatal() && e.message() == Text("Cannot write the output file '" + path + "': File too large!");
        if (!failed) std::cerr << e.message() << std::endl;
    }
    const bool unchanged = (fs::exists(path) ? readFile(path) : "none") == before;
    const bool noPart = !fs::exists(fs::symlink_status(path + ".part"));
    std::cerr << failed << unchanged << noPart << registry.written().size() << std::endl;
    std::_Exit(failed && unchanged && noPart && registry.written().empty() ? 0 : 1);
}

}  // namespace

TEST(OutputFiles, AFailedWriteIsFatalAndNoFileTakesItsName) {
    // A file size limit refuses writes as a full disk does. A short text
    // fails when the file is closed, a long one at the next batch.
    for (const bool append : {false, true})
        for (const std::size_t bytes : {10, 1 << 17}) {
            SCOPED_TRACE(std::to_string(bytes) + (append ? " appended" : ""));
            TempFolder temp;
            const std::string path = temp.write("run.arb", "earlier\n");
            if (!append) fs::remove(path);
            EXPECT_EXIT(writeBeyondTheLimit(path, append, bytes, append ? 12 : 4), testing::ExitedWithCode(0), "");
        }
}

TEST(OutputFiles, AStalePartIsReplacedNotWrittenThrough) {
    // A ".part" left in the folder may be a link to a file of someone else's
    // (or to a device): it is removed, and the new one created in its place
    // (the cases of what may be there: test_new_file.cpp).
    for (const bool append : {false, true}) {
        SCOPED_TRACE(append ? "appended" : "replaced");
        TempFolder temp;
        const std::string victim = temp.write("victim.txt", "not yours\n");
        const std::string path = temp.write("run.arb", "earlier\n");
        fs::create_symlink(victim, path + ".part");
        OutputRegistry registry;
        OutputFile file;
        file.open(Text(path), append, registry);
        file << "new\n";
        file.close();
        EXPECT_EQ(readFile(victim), "not yours\n");
        EXPECT_EQ(readFile(path), append ? "earlier\nnew\n" : "new\n");
        EXPECT_FALSE(fs::is_symlink(path));
    }
}

TEST(OutputFiles, AnAppendedFileChangesOnlyWhenComplete) {
    TempFolder temp;
    const std::string path = temp.write("run.arb", "run_1-1.arp\n");
    const std::string record = temp.write("run.complete", "run.arb\n");
    const std::string runRecord = temp.write("run_run.json", "{}\n");
    OutputRegistry registry;
    registry.setCallRecords(record, runRecord);
    EXPECT_TRUE(fs::exists(record) && fs::exists(runRecord)) << "nothing is replaced yet";
    EXPECT_FALSE(registry.writingBegan());
    for (const bool complete : {false, true}) {
        OutputFile file;
        file.open(Text(path), true, registry);
        EXPECT_FALSE(fs::exists(record)) << "the set changes from the first file opened";
        EXPECT_FALSE(fs::exists(runRecord));
        EXPECT_TRUE(registry.writingBegan());
        file << "run_1-2.arp\n";
        EXPECT_EQ(readFile(path), "run_1-1.arp\n");
        if (complete)
            file.close();
        else
            file.abandon();
        EXPECT_EQ(readFile(path), complete ? "run_1-1.arp\nrun_1-2.arp\n" : "run_1-1.arp\n");
        EXPECT_FALSE(fs::exists(path + ".part"));
    }
    writeCompletionRecord(record, temp.folder(), registry);
    EXPECT_EQ(readFile(record), "# written by the call\nrun.arb\n");
}

// The call's closing line stays one short line however many files it wrote,
// naming the file that lists them; without such a file it names them all.
TEST(OutputFiles, ClosingLineCountsTheFilesAndNamesTheirList) {
    const std::string folder = "/out/";
    struct Row {
        std::vector<std::string> written;
        std::string listing;
        const char* line;
    };
    const std::vector<Row> rows = {
        {{}, "/out/s.complete", "No output files written."},
        {{"/out/s_1-1.arp", "/out/s_run.json", "/out/s.complete"},
         "/out/s.complete",
         "Outputs written to /out/ (3 files; listed in s.complete)"},
        {{"/out/s_run.json"}, "/out/s_run.json", "Outputs written to /out/ (1 file; listed in s_run.json)"},
        // The listing was not written: every name.
        {{"/out/s_1-1.arp", "/elsewhere/x"}, "/out/s_run.json", "Outputs written to /out/: s_1-1.arp, /elsewhere/x"},
        {{"/out/s_1-1.arp"}, "", "Outputs written to /out/: s_1-1.arp"},
    };
    for (const Row& row : rows) EXPECT_EQ(outputsLine(folder, row.written, row.listing), row.line);
}
