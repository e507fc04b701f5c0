// The loop over entire simulations, driven through the real program by its
// inputs: counts of runs and successes, failed runs, fatal errors and the
// guard against a failure that recurs in every run.
#include <gtest/gtest.h>

#include <string>

#include "support/TestFiles.h"

using testing_support::runProgram;
using testing_support::settingsText;
using testing_support::TempFolder;

namespace {

// Two segments in a chain (2 flows into 1, the mouth) and a source at the mouth.
void writeTinyRiver(const TempFolder& temp, const std::string& samples) {
    temp.write("nodes.txt", "h\nh\nh\nh\n1 20.0 45.0\n2 20.01 45.0\n3 20.02 45.0\n");
    temp.write("segments.txt", "h\nh\nh\nh\n1 2 1 785 20.005 45.0\n2 3 2 785 20.015 45.0\n");
    temp.write("populations.txt", "1\n0\nName Size SegID Resize Migration\nMouth 10 1 0 0\n");
    temp.write("samples.txt", samples);
}

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + 1)) ++n;
    return n;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(RunLoop, CountsRunsAndBuildsTheWorldOnce) {
    TempFolder temp;
    writeTinyRiver(temp, "1\n0\nName Genes SegID\nA 2 1\n");
    const std::string settings =
        temp.write("settings.txt", settingsText({{7, "10"}, {9, "5"}, {16, "3"}, {17, "1"}, {31, "0"}, {33, "0"},
                                                 {34, "0"}, {35, "0"}}));
    const auto r = runProgram({settings}, "", "3");
    EXPECT_EQ(r.status, 0) << r.output;
    for (const char* banner : {"\n***** 1. run ****", "\n***** 2. run ****", "\n***** 3. run ****"})
        EXPECT_TRUE(contains(r.output, banner));
    for (const char* line : {"\n***** 1.(1) run finished SUCCESSFULLY (Duration: ",
                             "\n***** 2.(2) run finished SUCCESSFULLY (Duration: ",
                             "\n***** 3.(3) run finished SUCCESSFULLY (Duration: "})
        EXPECT_TRUE(contains(r.output, line));
    EXPECT_EQ(count(r.output, "\nBuild World ..."), 1u);
    EXPECT_EQ(count(r.output, "(first time)"), 1u);
    EXPECT_EQ(count(r.output, "(resetting)"), 2u);
    EXPECT_TRUE(contains(r.output, "\n\n************************************************************\n3 of 3 "
                                   "Simulations succeeded!\n****"));
}

TEST(RunLoop, FatalErrorInTheFirstRunEndsTheProgram) {
    TempFolder temp;
    writeTinyRiver(temp, "1\n0\nName Genes SegID\nA 2 1\n");
    const std::string settings = temp.write("settings.txt", settingsText({{1, "missing.txt"}, {16, "3"}}));
    const auto r = runProgram({settings}, "", "3");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.output, "\nERROR OF CURRENT SIMULATION: "));
    EXPECT_TRUE(contains(r.output, "missing.txt"));
    EXPECT_TRUE(contains(r.output, "\n***** 1.(0) run finished UN-SUCCESSFULLY (Duration: "));
    EXPECT_FALSE(contains(r.output, "2. run"));
    EXPECT_FALSE(contains(r.output, "Simulations succeeded!"));
    EXPECT_TRUE(contains(r.output, "\nUnhandled ERROR: \nFATAL ERROR: "));
}

TEST(RunLoop, GivesUpAfterAThousandFailuresInARow) {
    TempFolder temp;
    // Two single genes in different segments cannot meet within one backward
    // generation: every genealogy fails to converge.
    writeTinyRiver(temp, "2\n0\nName Genes SegID\nA 1 1\nB 1 2\n");
    const std::string settings = temp.write(
        "settings.txt", settingsText({{9, "30"}, {17, "1"}, {18, "1"}, {31, "0"}, {33, "0"}, {34, "0"},
                                      {35, "0"}}));
    const auto r = runProgram({settings}, "", "3");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.output, "buildTree():Coalescence process did not converge (still 2 lineages remaining!)"));
    EXPECT_EQ(count(r.output, "run finished UN-SUCCESSFULLY"), 1000u);
    EXPECT_TRUE(contains(r.output, "\n***** 1000.(0) run finished UN-SUCCESSFULLY"));
    EXPECT_TRUE(contains(r.output, "FATAL ERROR: Giving up: 1000 entire simulations in a row did not succeed!"));
}
