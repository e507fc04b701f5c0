// Settings and inputs that cannot give a run are refused before the work
// starts, or the work ends at the first failure that no other draw could
// change; the reason names the setting. Driven through the real program.
#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <string>

#include "support/TestFiles.h"

using testing_support::runProgram;
using testing_support::settingsText;
using testing_support::StandardError;
using testing_support::TempFolder;

namespace {

struct Limit {
    const char* name;
    std::map<int, std::string> settings;  // replaced settings lines
    const char* samples;                  // the sample file
    int status;
    const char* output;  // expected in standard output
    const char* errors;  // expected in standard error ("" for none)
    int failedRuns;      // "UN-SUCCESSFULLY" lines expected (-1: not checked)
    friend void PrintTo(const Limit& c, std::ostream* os) { *os << c.name; }
};

class Limits : public testing::TestWithParam<Limit> {};

// Two segments in a chain (2 flows into 1, the mouth) and a source at the mouth.
TEST_P(Limits, AreReportedWithTheirReason) {
    const Limit& c = GetParam();
    TempFolder temp;
    temp.write("nodes.txt", "h\nh\nh\nh\n1 20.0 45.0\n2 20.01 45.0\n3 20.02 45.0\n");
    temp.write("segments.txt", "h\nh\nh\nh\n1 2 1 785 20.005 45.0\n2 3 2 785 20.015 45.0\n");
    temp.write("populations.txt", "1\n0\nName Size SegID Resize Migration\nMouth 10 1 0 0\n");
    temp.write("samples.txt", c.samples);
    const std::string settings = temp.write("settings.txt", settingsText(c.settings));
    const auto r = runProgram({settings}, "", "5", "", 120, StandardError::Apart);
    EXPECT_EQ(r.status, c.status) << r.output << r.errors;
    EXPECT_NE(r.output.find(c.output), std::string::npos) << r.output;
    if (*c.errors != '\0') {
        EXPECT_NE(r.errors.find(c.errors), std::string::npos) << r.errors;
    }
    if (c.failedRuns >= 0) {
        int failed = 0;
        for (auto at = r.output.find("UN-SUCCESSFULLY"); at != std::string::npos;
             at = r.output.find("UN-SUCCESSFULLY", at + 1))
            ++failed;
        EXPECT_EQ(failed, c.failedRuns);
    }
}

const char* const twoGenes = "1\n0\nName Genes SegID\nA 2 1\n";

INSTANTIATE_TEST_SUITE_P(
    Integrity, Limits,
    testing::Values(
        Limit{"ZeroGeneticSimulations",
              {{17, "0"}},
              twoGenes,
              1,
              "line 17 (number of genetic simulations): must be at least 1",
              "",
              0},
        Limit{"NegativeSnpRate",
              {{19, "4"}, {23, "-5"}},
              twoGenes,
              1,
              "line 23 (mutation rate): must be a number of 0 or more, not -5",
              "",
              0},
        Limit{"TooManyGammaCategories",
              {{25, "0.5"}, {26, "1001"}},
              twoGenes,
              1,
              "line 26 (number of gamma categories): must be from 0 (continuous rates) to 1000, not 1001",
              "",
              0},
        Limit{"NoBackwardGeneration",
              {{18, "0"}},
              twoGenes,
              1,
              "line 18: with a maximum of 0 backward generations the 2 gene copies",
              "",
              1},
        // Two genes in one segment of 10 need about 10 generations.
        Limit{"FewBackwardGenerations",
              {{7, "10"}, {18, "4"}},
              twoGenes,
              0,
              "Simulations succeeded!",
              "WARNING: settings line 18 allows 4 backward generations",
              -1},
        Limit{"NoSegmentLeftByResampling",
              {{40, "1e30"}},
              twoGenes,
              1,
              "Settings line 40 (segment length): cutting the drainage into segments of 1e+30 m leaves no segment",
              "",
              1},
        // Without migration segment 2 is never reached, in any model.
        Limit{"NoMigrationNoSample",
              {{8, "4"}, {37, "0"}, {38, "0"}},
              "1\n0\nName Genes SegID\nB 2 2\n",
              1,
              "sample 'B' (segment 2): no individual ever leaves the segments the sources fill (the migration rates "
              "of settings lines 37 and 38 are 0)!",
              "",
              1},
        // Without forward generations the colonisation stops at the source,
        // whatever the model.
        Limit{"NoGenerationsNoSample",
              {{8, "4"}, {9, "0"}},
              "1\n0\nName Genes SegID\nB 2 2\n",
              1,
              "sample 'B' (segment 2): its segment lies 1 segment from the nearest source, but 0 generations "
              "(settings line 9) let the population spread at most one segment each!",
              "",
              1},
        // No gene copy in any sample: every entire simulation would fail in
        // the same way, so the call ends after the first.
        Limit{"NoGeneCopyIsNotRepeated",
              {{8, "1"}},
              "1\n0\nName Genes SegID\nB 0 2\n",
              1,
              "holds 0 gene copies: there are no genes to trace back",
              "",
              1},
        // Steps of a geometric parameter near 1 drift beyond what the
        // project files can write.
        Limit{"MicrosatelliteStatesBeyondReach",
              {{19, "0"}, {21, "10"}, {23, "0.5"}, {28, "0.999"}},
              "1\n0\nName Genes SegID\nA 10 1\n",
              1,
              "the project files can hold",
              "",
              1}),
    [](const testing::TestParamInfo<Limit>& info) { return std::string(info.param.name); });

}  // namespace
