// The NEXUS tree files are read by other programs: check them with a
// phylogenetics library nobody here wrote.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/TestFiles.h"

namespace fs = std::filesystem;

TEST(NexusClient, TreeFilesParseWithAnEstablishedLibrary) {
    if (std::system("/usr/bin/python3 -c 'import Bio.Phylo' > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "Biopython is not installed (the CI script installs python3-biopython)";
    testing_support::TempFolder work;
    const fs::path source = fs::path(FLUVIAGEN_SOURCE_DIR) / "tests/e2e";
    fs::copy(source / "shared", work.path(), fs::copy_options::recursive);
    fs::copy(source / "cases/dna", work.path(), fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    const auto run = testing_support::runProgram({"settings.txt", "1"}, "", "99", work.path().string());
    ASSERT_EQ(run.status, 0) << run.output;

    // One entire simulation of two genealogies. Samples of 4, 0, 4 and 2
    // genes: leaves are labelled <gene>.<sample deme>.
    const std::string labels = "1.1,2.1,3.1,4.1,5.3,6.3,7.3,8.3,9.4,10.4";
    for (const char* suffix : {"_true.trees", "_mut.trees"}) {
        const fs::path file = work.path() / "GeneticOutput" / (std::string("settings_samples_DNA") + suffix);
        const std::string command = "/usr/bin/python3 '" + (source / "check_nexus.py").string() + "' '" +
                                    file.string() + "' 2 " + labels + " 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
    }
}
