// The output files every writer goes through: a file takes its name only
// when complete, a failed write ends the call and leaves nothing behind, and
// the completion record goes before the first file changes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/Exception.h"
#include "output/OutputFiles.h"
#include "support/TestFiles.h"

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::TempFolder;

TEST(OutputFiles, AFailedWriteIsFatalAndNoFileTakesItsName) {
    // /dev/full refuses every write with ENOSPC, as a full disk does. A short
    // text fails when the file is closed, a long one at the next batch.
    for (const bool append : {false, true})
        for (const std::size_t bytes : {10, 1 << 17}) {
            SCOPED_TRACE(std::to_string(bytes) + (append ? " appended" : ""));
            TempFolder temp;
            const std::string path = temp.write("run.arb", "earlier\n");
            if (!append) fs::remove(path);
            fs::create_symlink("/dev/full", path + ".part");
            OutputRegistry registry;
            OutputFile file;
            try {
                file.open(my_string(path), append, registry);
                file << std::string(bytes, 'x');
                file << "last line\n";
                file.close();
                ADD_FAILURE() << "the write must fail";
            } catch (const TException& e) {
                EXPECT_TRUE(e.isFatal());
                EXPECT_EQ(e.message(), my_string("Cannot write the output file '" + path + "': No space left on device!"));
            }
            EXPECT_FALSE(fs::exists(fs::symlink_status(path + ".part")));
            EXPECT_EQ(fs::exists(path) ? readFile(path) : "none", append ? "earlier\n" : "none");
            EXPECT_TRUE(registry.written().empty());
        }
}

TEST(OutputFiles, AnAppendedFileChangesOnlyWhenComplete) {
    TempFolder temp;
    const std::string path = temp.write("run.arb", "run_1-1.arp\n");
    const std::string record = temp.write("run.complete", "run.arb\n");
    OutputRegistry registry;
    registry.setCompletionRecord(record);
    EXPECT_TRUE(fs::exists(record)) << "nothing is replaced yet";
    for (const bool complete : {false, true}) {
        OutputFile file;
        file.open(my_string(path), true, registry);
        EXPECT_FALSE(fs::exists(record)) << "the set changes from the first file opened";
        file << "run_1-2.arp\n";
        EXPECT_EQ(readFile(path), "run_1-1.arp\n");
        if (complete) file.close(); else file.abandon();
        EXPECT_EQ(readFile(path), complete ? "run_1-1.arp\nrun_1-2.arp\n" : "run_1-1.arp\n");
        EXPECT_FALSE(fs::exists(path + ".part"));
    }
    writeCompletionRecord(record, temp.folder(), registry);
    EXPECT_EQ(readFile(record), "run.arb\n");
}
