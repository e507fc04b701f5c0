#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "base/Exception.h"
#include "mutation/DataType.h"
#include "output/CompletionRecord.h"
#include "output/OutputFiles.h"
#include "output/ProjectFile.h"
#include "settings/Settings.h"
#include "support/TestFiles.h"

using namespace fluviagen;

namespace {

struct Fixture {
    std::vector<std::vector<int>> genes;
    ProjectFileData data;
    std::vector<int> hits;
    Settings settings;  // the data type code and the fields it describes itself by

    // Demes given as (name, sample size); every gene gets `sites` states.
    Fixture(std::vector<std::pair<const char*, int>> demes, int sites, std::int8_t type = DNA) {
        settings.dataType = type;
        data.linkedLoci = sites;
        data.entireCount = 1;
        data.simulationCount = 1;
        int total = 0;
        for (auto& d : demes) total += d.second;
        genes.reserve(static_cast<std::size_t>(total));
        int g = 0;
        for (auto& [name, size] : demes) {
            ProjectFileData::Deme deme;
            deme.name = Text(name);
            deme.sampleSize = size;
            for (int c = 0; c < size; ++c, ++g) {
                genes.emplace_back();
                for (int s = 0; s < sites; ++s) genes.back().push_back((g + s) % 4);
                deme.genes.emplace_back(genes.back());
            }
            data.demes.push_back(deme);
        }
        for (int s = 0; s < sites; ++s) hits.push_back(s);
        data.hits = hits;
    }

    // The file written with the data type the settings make.
    std::string text() {
        const auto dataType = makeDataType(settings);
        data.dataType = dataType.get();
        std::ostringstream os;
        writeProjectFile(os, data);
        data.dataType = nullptr;
        return os.str();
    }
};

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(ProjectFile, NameIsZeroPaddedToTheCounts) {
    EXPECT_EQ(projectFileName(Text("GeneticOutput/run"), 0, 10, 7, 100), "GeneticOutput/run_01-007.arp");
    EXPECT_EQ(projectFileName(Text("x"), 4, 5, 3, 9), "x_5-3.arp");
}

TEST(ProjectFile, HeaderProfileAndDnaSample) {
    Fixture f({{"upper", 2}, {"empty", 0}, {"lower", 1}}, 3);
    f.data.entireIndex = 1;
    f.data.entireCount = 2;
    f.data.simulationIndex = 3;
    f.data.simulationCount = 4;
    f.data.mutationRate = 0.0005f;
    f.settings.transitionFraction = 0.66666f;
    const std::string t = f.text();
    EXPECT_EQ(t.rfind("#Tessaly input file written by the simulation program Sinuo\n\n#2. of 2 Demographic simulation\n"
                      "#3. of 4 Genetic simulation\n\n#Multilocus: no\n\n",
                      0),
              0u);
    // Every deme is listed under the sample sizes, also one of size 0...
    EXPECT_TRUE(contains(t, "\n#Sample sizes\n#Location upper\t2\n#Location empty\t0\n#Location lower\t1\n"));
    // ...the DNA line sets a precision of 3 for the rest of the file.
    EXPECT_TRUE(contains(t, "\n#Data type: DNA (Transition rate=66.7%)\n\n#Mutation rate per generation : 0.0005\n"));
    // ...but it gets no sample block and is not counted.
    EXPECT_TRUE(contains(t,
                         "\tNbSamples=2\n\n\tGenotypicData=0\n\tGameticPhase=1\n\tRecessiveData=0\n"
                         "\tDataType=DNA\n\tLocusSeparator=NONE\n\tMissingData='?'\n\n[Data]\n\t[[Samples]]\n\n"));
    EXPECT_FALSE(contains(t, "SampleName=\"empty\""));
    // Deme 0 with 2 genes: W = 1 + 1 + 5 = 7.
    EXPECT_TRUE(contains(t,
                         "\t\tSampleName=\"upper\"\n\t\tSampleSize=2\n\t\tSampleData= {\n"
                         "#Number of mutation hits per site\n#Sites      1      2      3\n#Hits      0      1      2\n"
                         "1_1 1  AGC\n1_2 1  GCT\n\n}\n"));
    // The third deme has index 2.
    EXPECT_TRUE(contains(t, "\n3_1 1  CTA\n"));
    EXPECT_TRUE(contains(t,
                         "\n[[Structure]]\n\n\tStructureName=\"Simulated data\"\n\tNbGroups=1\n\tGroup={"
                         "\n\t   \"upper\"\n\t   \"lower\"\n\t}\n"));
}

TEST(ProjectFile, LabelWidthCountsTheDigitsOfTheZeroBasedDemeIndex) {
    // The tenth deme has index 9 (one digit) and 10 genes (two): W = 8, so
    // "#Sites" gets no blank, "#Hits" one, and "10_1 1  " fills the width.
    // Counting the label's 10 would give W = 9.
    std::vector<std::pair<const char*, int>> demes(9, {"p", 1});
    demes.push_back({"j", 10});
    Fixture f(demes, 1);
    EXPECT_TRUE(contains(f.text(),
                         "\t\tSampleName=\"j\"\n\t\tSampleSize=10\n\t\tSampleData= {\n"
                         "#Number of mutation hits per site\n#Sites      1\n#Hits       0\n"
                         "10_1 1  G\n10_2 1  C\n"));
    EXPECT_TRUE(contains(f.text(), "\n10_10 1  C\n\n}\n"));
}

TEST(ProjectFile, GenotypicLabelsAndHalvedSampleSize) {
    Fixture f({{"pop", 4}}, 2, STANDARD);
    f.data.genotypic = true;
    const std::string t = f.text();
    EXPECT_TRUE(contains(t, "\tGenotypicData=1\n\tGameticPhase=1\n"));
    EXPECT_TRUE(contains(t, "\t\tSampleSize=2\n"));
    EXPECT_TRUE(contains(t, "\n1_1 1  01\n       12\n1_2 1  23\n       30\n"));
    EXPECT_TRUE(contains(t, "\tDataType=STANDARD\n\tLocusSeparator=WHITESPACE\n"));
}

TEST(ProjectFile, MicrosatellitesAreShiftedAndBoundsShownPlus10000) {
    Fixture f({{"pop", 1}}, 2, MICROSAT);
    f.genes[0] = {0, -3};
    f.data.demes[0].genes[0] = f.genes[0];
    f.settings.microsatRange = 10;  // states -4 .. 5
    const std::string t = f.text();
    EXPECT_TRUE(contains(t, "#Data type: MICROSAT (Range constraint : 10 [9996;10005])\n"));
    EXPECT_TRUE(contains(t, "\tDataType=MICROSAT\n\tLocusSeparator=WHITESPACE\n"));
    EXPECT_TRUE(contains(t, "\n1_1 1  50000 49997 \n"));
    f.settings.microsatRange = 0;
    EXPECT_TRUE(contains(f.text(), "#Data type: MICROSAT (No range constraint)\n"));
}

TEST(ProjectFile, MultilocusSeparatesIndependentLociByABlank) {
    Fixture f({{"pop", 1}}, 6, RFLP);
    f.data.independentLoci = 3;
    f.data.linkedLoci = 2;
    const std::string t = f.text();
    EXPECT_TRUE(contains(t, "#Multilocus: yes\n\n"));
    EXPECT_TRUE(contains(t, "\tDataType=RFLP\n\tLocusSeparator=WHITESPACE\n"));
    EXPECT_TRUE(contains(t, "\n1_1 1  01 23 01 \n"));
    EXPECT_TRUE(contains(t, "#Sites      1      2      3      4      5      6\n"));
}

TEST(ProjectFile, SnpHeaderAndTypeLine) {
    Fixture f({{"pop", 1}}, 1, SNP);
    f.settings.minSnpFrequency = 0.05f;
    f.settings.minSnpFrequencyInSample = 0.1f;
    const std::string t = f.text();
    EXPECT_TRUE(contains(t, "#Data type: SNP Minimum Frequency = 0.05 (within Sample = 0.1)\n"));
    EXPECT_TRUE(contains(t, "\tDataType=STANDARD\n\tLocusSeparator=WHITESPACE\n"));
}

TEST(ProjectFile, GroupsAreRunsOfEqualGroupNumbers) {
    const auto groups = [](std::vector<std::pair<const char*, int>> demes) {
        Fixture f(std::move(demes), 1);
        const std::string t = f.text();
        return t.substr(t.find("[[Structure]]"));
    };
    EXPECT_TRUE(
        contains(groups({{"$1_a", 1}, {"$1_b", 1}, {"$2_c", 1}}),
                 "\n\tNbGroups=2\n\tGroup={\n\t   \"$1_a\"\n\t   \"$1_b\"\n\t}\n\n\tGroup={\n\t   \"$2_c\"\n\t}\n"));
    EXPECT_TRUE(contains(groups({{"$1_a", 1}, {"$2_c", 1}, {"$1_b", 1}}), "\n\tNbGroups=3\n"));
    // A name without "$" continues the current group; a deme of size 0 is
    // not listed.
    // A "$" name without "_" has group -1, whatever follows the "$".
    EXPECT_TRUE(contains(groups({{"$1_a", 1}, {"$5", 1}, {"$7", 1}, {"$-1_b", 1}}),
                         "\n\tNbGroups=2\n\tGroup={\n\t   \"$1_a\"\n\t}\n\n\tGroup={\n\t   \"$5\"\n\t   \"$7\"\n"
                         "\t   \"$-1_b\"\n\t}\n"));
    EXPECT_TRUE(
        contains(groups({{"$1_a", 1}, {"plain", 1}, {"$1_z", 0}, {"$3_b", 1}}),
                 "\n\tNbGroups=2\n\tGroup={\n\t   \"$1_a\"\n\t   \"plain\"\n\t}\n\n\tGroup={\n\t   \"$3_b\"\n\t}\n"));
}

TEST(ProjectFile, WrittenToItsPathAsToAStreamAndRegistered) {
    Fixture f({{"pop", 2}}, 3);
    const std::string expected = f.text();
    const auto dataType = makeDataType(f.settings);
    f.data.dataType = dataType.get();
    testing_support::TempFolder temp;
    const std::string path = temp.folder() + "run_1-1.arp";
    OutputRegistry registry;
    testing::internal::CaptureStdout();
    EXPECT_EQ(writeProjectFile(Text(path), f.data, registry), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\n\t\tWritting Tessaly oputput ... done!");
    EXPECT_EQ(testing_support::readFile(path), expected);
    EXPECT_FALSE(std::filesystem::exists(path + ".part"));
    EXPECT_EQ(registry.written(), std::vector<std::string>{path});

    // A file that cannot be opened is named once per program call and ends
    // the call: results that cannot be written are lost.
    const std::string blocked = temp.folder() + "missing/folder/run.arp";
    testing::internal::CaptureStdout();
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            writeProjectFile(Text(blocked), f.data, registry);
            ADD_FAILURE() << "an unopenable file must end the call";
        } catch (const SimulationError& e) {
            EXPECT_TRUE(e.isFatal());
            EXPECT_EQ(e.message(), Text("Cannot open the output file '" + blocked + "': No such file or directory!"));
        }
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\n\t\tWritting Tessaly oputput ...\n\t\tWARNING: the output file '" + blocked +
                  "' cannot be opened; its results are lost!\n\t\tWritting Tessaly oputput ...");
    EXPECT_EQ(registry.written(), std::vector<std::string>{path});
}

namespace {

// Entire simulations of one call through the project-file writer: each writes
// two project files, then is accepted or fails; the call then succeeds or
// not. The list (".arb") as the call leaves it, "none" when there is none.
std::string listAfterCall(const testing_support::TempFolder& temp, const std::string& outcomes, bool succeeds,
                          OutputRegistry& registry) {
    Fixture f({{"pop", 2}}, 3);
    const auto dataType = makeDataType(f.settings);
    GeneticPhaseView phase;
    phase.folder = Text(temp.folder());
    phase.outputName = Text("run");
    phase.registry = &registry;
    phase.dataType = dataType.get();
    phase.entireCount = static_cast<int>(outcomes.size());
    phase.simulationCount = 2;
    phase.linkedLoci = 3;
    phase.samples.push_back({Text("pop"), 2, 0, 0});
    GenotypeView view;
    view.genes.push_back(f.data.demes[0].genes);
    view.hits = f.hits;
    testing::internal::CaptureStdout();
    for (std::size_t e = 0; e < outcomes.size(); ++e) {
        registry.beginEntire(static_cast<int>(e) + 1);
        phase.entireIndex = static_cast<int>(e);
        ProjectFileWriter writer;
        writer.open(phase);
        for (view.simulation = 1; view.simulation <= 2; ++view.simulation) writer.genotypes(phase, view);
        if (outcomes[e] == 'a') {
            writer.finish(phase);
            registry.acceptEntire();
        } else {
            writer.abandon();
            registry.failEntire("attempt " + std::to_string(e + 1) + " failed");
        }
    }
    if (succeeds) registry.completeLists();
    testing::internal::GetCapturedStdout();
    const std::string list = temp.folder() + "run.arb";
    return std::filesystem::exists(list) ? testing_support::readFile(list) : "none";
}

}  // namespace

TEST(ProjectFile, TheListHoldsFailedAttemptsOnlyWhenTheCallSucceeds) {
    const std::string e1 = "run_1-1.arp\nrun_1-2.arp\n", e2 = "run_2-1.arp\nrun_2-2.arp\n",
                      e3 = "run_3-1.arp\nrun_3-2.arp\n";
    const struct {
        const char* outcomes;  // a: accepted, f: failed, per entire simulation
        bool succeeds;
        bool oldList;
        std::string list;
    } cases[] = {
        {"fa", true, true, "old.arp\n" + e1 + e2},  // as the list has always been
        {"faa", true, false, e1 + e2 + e3},
        {"aa", true, true, "old.arp\n" + e1 + e2},
        {"faf", false, true, "old.arp\n" + e2},  // the third ends the call
        {"afa", false, false, e1 + e3},          // an interruption after the third
        {"f", false, false, "none"},
        {"f", false, true, "old.arp\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.outcomes) + (c.succeeds ? " succeeds" : " fails"));
        testing_support::TempFolder temp;
        if (c.oldList) temp.write("run.arb", "old.arp\n");
        OutputRegistry registry;
        EXPECT_EQ(listAfterCall(temp, c.outcomes, c.succeeds, registry), c.list);
        EXPECT_FALSE(std::filesystem::exists(temp.folder() + "run.arb.part"));
        // The failed attempts' project files stay, as their numbers are taken.
        EXPECT_TRUE(std::filesystem::exists(temp.folder() + "run_1-2.arp"));
    }
}

TEST(ProjectFile, TheCompletionRecordTellsAcceptedFromFailedEntireSimulations) {
    testing_support::TempFolder temp;
    OutputRegistry registry;
    listAfterCall(temp, "fa", true, registry);
    const std::string record = temp.folder() + "run.complete";
    writeCompletionRecord(record, temp.folder(), registry);
    EXPECT_EQ(testing_support::readFile(record),
              "# failed entire simulation 1: attempt 1 failed\nrun_1-1.arp\nrun_1-2.arp\n"
              "# accepted entire simulation 2\nrun_2-1.arp\nrun_2-2.arp\nrun.arb\n"
              "# written by the call\nrun.arb\n");
    const auto& entire = registry.entireSimulations();
    ASSERT_EQ(entire.size(), 2u);
    EXPECT_EQ(entire[0].number, 1);
    EXPECT_EQ(entire[0].outcome, EntireSimulation::Outcome::failed);
    EXPECT_EQ(entire[0].reason, "attempt 1 failed");
    EXPECT_EQ(entire[1].outcome, EntireSimulation::Outcome::accepted);
    EXPECT_EQ(entire[1].files, (std::vector<std::string>{temp.folder() + "run_2-1.arp", temp.folder() + "run_2-2.arp",
                                                         temp.folder() + "run.arb"}));
}
