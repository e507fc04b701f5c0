// The loop over entire simulations, driven through the real program by its
// inputs: counts of runs and successes, failed runs, fatal errors and the
// guard against a failure that recurs in every run.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/TestFiles.h"

using testing_support::readFile;
using testing_support::runProgram;
using testing_support::settingsText;
using testing_support::StandardError;
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

TEST(SimulationLoop, CountsRunsAndBuildsTheWorldOnce) {
    TempFolder temp;
    writeTinyRiver(temp, "1\n0\nName Genes SegID\nA 2 1\n");
    const std::string settings = temp.write(
        "settings.txt",
        settingsText({{7, "10"}, {9, "5"}, {16, "3"}, {17, "1"}, {31, "0"}, {33, "0"}, {34, "0"}, {35, "0"}}));
    const auto r = runProgram({settings}, "", "3");
    EXPECT_EQ(r.status, 0) << r.output;
    for (const char* banner : {"\n***** 1. run ****", "\n***** 2. run ****", "\n***** 3. run ****"})
        EXPECT_TRUE(contains(r.output, banner));
    for (const char* line :
         {"\n***** 1.(1) run finished SUCCESSFULLY (Duration: ", "\n***** 2.(2) run finished SUCCESSFULLY (Duration: ",
          "\n***** 3.(3) run finished SUCCESSFULLY (Duration: "})
        EXPECT_TRUE(contains(r.output, line));
    EXPECT_EQ(count(r.output, "\nBuild World ..."), 1u);
    EXPECT_EQ(count(r.output, "(first time)"), 1u);
    EXPECT_EQ(count(r.output, "(resetting)"), 2u);
    EXPECT_TRUE(contains(r.output,
                         "\n\n************************************************************\n3 of 3 "
                         "Simulations succeeded!\n****"));
}

TEST(SimulationLoop, FatalErrorInTheFirstRunEndsTheProgram) {
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

TEST(SimulationLoop, GivesUpAfterAThousandFailuresInARow) {
    TempFolder temp;
    // Two single genes in different segments cannot meet within one backward
    // generation: every genealogy fails to converge.
    writeTinyRiver(temp, "2\n0\nName Genes SegID\nA 1 1\nB 1 2\n");
    const std::string settings = temp.write(
        "settings.txt", settingsText({{9, "30"}, {17, "1"}, {18, "1"}, {31, "0"}, {33, "0"}, {34, "0"}, {35, "0"}}));
    const auto r = runProgram({settings}, "", "3");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.output, "buildTree():Coalescence process did not converge (still 2 lineages remaining!)"));
    EXPECT_EQ(count(r.output, "run finished UN-SUCCESSFULLY"), 1000u);
    EXPECT_TRUE(contains(r.output, "\n***** 1000.(0) run finished UN-SUCCESSFULLY"));
    EXPECT_TRUE(contains(r.output,
                         "FATAL ERROR: Giving up: 1000 entire simulations in a row did not succeed! The "
                         "most frequent reason (1000 times): buildTree():Coalescence process did not "
                         "converge (still 2 lineages remaining!)"));
}

TEST(SimulationLoop, EndsWithTheOutputsWrittenOnStandardErrorAndTheirCompletionRecord) {
    TempFolder temp;
    const std::filesystem::path source(FLUVIAGEN_SOURCE_DIR "/tests/e2e");
    for (const char* name : {"cases/dna/settings.txt", "shared/river_nodes.txt", "shared/river_segments.txt",
                             "shared/samples.txt", "shared/sources.txt"})
        std::filesystem::copy(source / name, temp.path());
    const auto r = runProgram({temp.folder() + "settings.txt"}, "", "5", "", 0, StandardError::Apart);
    EXPECT_EQ(r.status, 0);
    // The closing line counts the files (18 and the completion record) and
    // names the record, which lists, for each entire simulation, the files
    // it completed, then the run record.
    std::string record;
    for (const char e : {'1', '2'}) {
        record += "# accepted entire simulation ";
        record += e;
        record += '\n';
        for (const char* file : {"-1.arp", "-2.arp"}) {
            record += "settings_samples_DNA_";
            record += e;
            record += std::string(file) + "\n";
        }
        for (const char* file : {".arb", "_true.trees", "_mut.trees", ".tmrca", ".coal", "_stats.tsv", "_pairs.tsv"})
            record += std::string("settings_samples_DNA") + file + "\n";
        for (const char* file : {"_segments.csv", "_colonisation.csv", "_mapinfo.csv"}) {
            record += "settings_samples_DNA_";
            record += e;
            record += std::string(file) + "\n";
        }
    }
    record += "# written by the call\nsettings_samples_DNA_run.json\n";
    EXPECT_EQ(r.errors, "Outputs written to " + temp.folder() +
                            "GeneticOutput/ (19 files; listed in settings_samples_DNA.complete)\n");
    EXPECT_EQ(readFile(temp.path() / "GeneticOutput/settings_samples_DNA.complete"), record);
    EXPECT_FALSE(std::filesystem::exists(temp.path() / "GeneticOutput/settings_samples_DNA.lock"));
}
