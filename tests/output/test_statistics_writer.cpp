// The statistics tables as files: their exact format on a phase made by
// hand, their life across entire simulations and program calls, and whole
// runs (every data type, uncolonised samples, an independent library's
// reading of the same genes, and theory on a single deme).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "coalescent/GenealogyTree.h"
#include "drainage/Drainage.h"
#include "mutation/DataType.h"
#include "drainage/Population.h"
#include "output/FileSamples.h"
#include "output/OutputFiles.h"
#include "output/StatisticsWriter.h"
#include "support/TestFiles.h"

using namespace fluviagen;

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::runProgram;
using testing_support::TempFolder;

namespace {

class NamedType : public DataType {
public:
    explicit NamedType(const char* name) : name_(name) {}
    const char* name() const override { return name_; }
    MarkerKind markerKind() const override { return MarkerKind::sequence; }
    MutationResult sprinkle(GenealogyTree&, const GenealogyContext&, Rng&) override { return {}; }
    void writeDescription(std::ostream&) const override {}
    void writeProfile(std::ostream&) const override {}
    void writeState(std::ostream&, int) const override {}

private:
    const char* name_;
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, '\t');) out.push_back(field);
    return out;
}

// Samples A (4 genes, segment 10), Gone (not colonised, segment 20) and B
// (2 genes, segment 30) on a chain of segments of 1, 2 and 4 km, their
// middle points 0.01 and 0.02 degrees of latitude apart.
class HandMadePhase : public ::testing::Test {
protected:
    HandMadePhase() : type("DNA"), tree(6) {
        for (int id = 1; id <= 4; ++id) {
            auto node = std::make_unique<DrainageNode>();
            node->id = id;
            drainage.nodes->store(std::move(node));
        }
        const auto add = [this](int id, int from, float length, float lat) {
            auto s = std::make_unique<Segment>();
            s->id = id;
            s->fromNode = drainage.nodes->find(from);
            s->toNode = drainage.nodes->find(from + 1);
            s->length = length;
            s->lon = 0;
            s->lat = lat;
            return drainage.store(std::move(s));
        };
        const Segment* a = add(10, 1, 1000, 0);
        const Segment* gone = add(20, 2, 2000, 0.01f);
        const Segment* b = add(30, 3, 4000, 0.03f);
        phase.folder = Text(temp.folder());
        phase.outputName = "set";
        phase.dataType = &type;
        phase.samples = {{"A", 4, 0, 0}, {"B", 2, 2, 0}};
        phase.fileSamples = {{"A", 4, a, 0}, {"Gone", 3, gone, -1}, {"B", 2, b, 1}};
        phase.drainage = &drainage;
        // A's leaves 0-3 meet at 3 generations, B's 4-5 at 4, all at 10.
        const auto join = [this](int parent, int x, int y, int time) {
            TreeNode& p = tree.node(parent);
            p.left = &tree.node(x);
            p.right = &tree.node(y);
            p.time = time;
            tree.node(x).ancestor = tree.node(y).ancestor = &p;
        };
        join(6, 0, 1, 1);
        join(7, 2, 6, 2);
        join(8, 3, 7, 3);
        join(9, 4, 5, 4);
        join(10, 8, 9, 10);
    }

    // One accepted (or abandoned) entire simulation of one genetic simulation.
    void runPhase(OutputRegistry& registry, int entireIndex, bool accepted) {
        phase.registry = &registry;
        phase.entireIndex = entireIndex;
        StatisticsWriter writer;
        writer.open(phase);
        writer.writeHeaders(phase);
        const MutationResult mutations;
        writer.genealogy(phase, GenealogyView{1, -1, tree, mutations});
        GenotypeView genotypes;
        genotypes.simulation = 1;
        genotypes.genes = {{rows[0], rows[1], rows[2], rows[3]}, {rows[4], rows[5]}};
        writer.genotypes(phase, genotypes);
        if (accepted)
            writer.finish(phase);
        else
            writer.abandon();
    }

    std::string stats() const { return readFile(temp.path() / "set_stats.tsv"); }
    std::string pairs() const { return readFile(temp.path() / "set_pairs.tsv"); }

    TempFolder temp;
    NamedType type;
    Drainage drainage;
    GenealogyTree tree;
    GeneticPhaseView phase;
    const std::vector<std::vector<int>> rows = {{0, 0}, {0, 1}, {1, 1}, {1, 1}, {0, 0}, {0, 0}};
};

// Worked by hand. A: haplotypes 00 01 11 11; sites {0,0,1,1} and {0,1,1,1}
// give pi = 2/3 + 1/2; He = 4/3 (1 - 6/16); rarefied to the file's smallest
// sample (B, 2 genes): 1/2 + 1/2 + 5/6. B: monomorphic. Gone: not colonised,
// NA. All six genes: pi = 16/30 + 18/30, He = 6/5 (1 - 14/36), richness
// 4/5 + 1/3 + 3/5. A-B: Hb = 1/2 + 3/4, Hw = 7/12: FST = 8/15; Nei:
// Jx = 6/16, Jy = 1, Jxy = 1/4; dxy = Hb = 5/4, da = Hb - Hw = 2/3, also in
// the row of all samples (A and B only have genes). River: 0.5 + 1 km,
// 0.5 + 2 + 2 km, 1 + 2 km.
TEST_F(HandMadePhase, TablesHoldEverySampleOfTheFile) {
    OutputRegistry registry;
    runPhase(registry, 0, true);
    EXPECT_EQ(stats(),
              "e\tsim\tsample\tseg\tgenes\talleles\the\tho\tar\tsegsites\tpi\ttajd\trep_mean\trep_var\tgw\ttmrca\n"
              "1\t1\tA\t10\t4\t3\t0.833333\tNA\t1.83333\t2\t1.16667\t0.59158\tNA\tNA\tNA\t3\n"
              "1\t1\tGone\t20\tNA\tNA\tNA\tNA\tNA\tNA\tNA\tNA\tNA\tNA\tNA\tNA\n"
              "1\t1\tB\t30\t2\t1\t0\tNA\t1\t0\t0\tNA\tNA\tNA\tNA\t4\n"
              "1\t1\t*\tNA\t6\t3\t0.733333\tNA\t1.73333\t2\t1.13333\t1.39259\tNA\tNA\tNA\t10\n");
    EXPECT_EQ(pairs(),
              "e\tsim\tsample_a\tsample_b\tfst\tnei\triver_km\tline_km\tdxy\tda\n"
              "1\t1\tA\tGone\tNA\tNA\t1.500\t1.112\tNA\tNA\n"
              "1\t1\tA\tB\t0.533333\t0.89588\t4.500\t3.336\t1.25\t0.666667\n"
              "1\t1\tGone\tB\tNA\tNA\t3.000\t2.224\tNA\tNA\n"
              "1\t1\t*\t*\t0.533333\tNA\tNA\tNA\t1.25\t0.666667\n");
}

// Accepted entire simulations of one call add their rows; an abandoned one
// adds none and leaves no ".part"; the next call starts the tables anew.
TEST_F(HandMadePhase, RowsOfAcceptedSimulationsOnlyAndANewCallReplaces) {
    {
        OutputRegistry call;
        runPhase(call, 0, true);
        runPhase(call, 1, false);
        runPhase(call, 2, true);
    }
    const auto first = lines(stats());
    ASSERT_EQ(first.size(), 9u);
    EXPECT_EQ(first[0] + "\n", StatisticsWriter::statsHeader);
    EXPECT_EQ(fields(first[4])[0], "1");
    EXPECT_EQ(fields(first[5])[0], "3");
    EXPECT_EQ(lines(pairs()).size(), 9u);
    EXPECT_FALSE(fs::exists(temp.path() / "set_stats.tsv.part"));
    {
        OutputRegistry next;
        runPhase(next, 0, true);
    }
    EXPECT_EQ(lines(stats()).size(), 5u);
    EXPECT_EQ(lines(pairs()).size(), 5u);
}

// Every sample of the file finds its deme by segment and name: a sample
// without a deme (not colonised) gets none, and of two samples that reached
// one segment the later one holds the deme.
TEST(FileSamples, MatchedToTheirDemesInFileOrder) {
    Segment first, second, third;
    first.index = 0;
    second.index = 1;
    third.index = 2;
    PopulationVector file(nullptr);
    const auto add = [&file](const char* name, Segment* segment) {
        auto p = std::make_unique<PopulationSource>();
        p->name = name;
        p->size = 4;
        p->segment = segment;
        file.populations.push_back(std::move(p));
        ++file.count;
    };
    add("Up", &first);
    add("Dry", &second);
    add("Moved", &third);
    add("Down", &third);
    add("Lost", nullptr);
    const std::vector<SampleView> used = {{"Up", 4, 0, 0}, {"Down", 4, 2, 0}};
    const auto views = fileSampleViews(file, used);
    ASSERT_EQ(views.size(), 5u);
    const std::vector<int> expected = {0, -1, -1, 1, -1};
    for (std::size_t i = 0; i < views.size(); ++i) EXPECT_EQ(views[i].used, expected[i]) << views[i].name.str();
    EXPECT_EQ(views[2].segment, &third);
    file.populations.clear();
}

// Whole runs of the end-to-end cases, one per data type: one row per sample
// of the file and genetic simulation, as many fields as columns, and every
// field a finite number or NA.
TEST(StatisticsTables, EveryDataTypeWritesCompleteRows) {
    const fs::path source = fs::path(FLUVIAGEN_SOURCE_DIR) / "tests/e2e";
    const std::map<std::string, std::string> cases = {{"dna", "DNA"},
                                                      {"microsat_multilocus", "MICROSAT"},
                                                      {"rflp", "RFLP"},
                                                      {"standard", "STANDARD"},
                                                      {"snp", "SNP"}};
    for (const auto& [name, type] : cases) {
        SCOPED_TRACE(name);
        TempFolder work;
        fs::copy(source / "shared", work.path(), fs::copy_options::recursive);
        fs::copy(source / "cases" / name, work.path(),
                 fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        const auto run = runProgram({"settings.txt", "1"}, "", "7", work.path().string());
        ASSERT_EQ(run.status, 0) << run.output;
        const fs::path out = work.path() / "GeneticOutput";
        for (const char* table : {"_stats.tsv", "_pairs.tsv"}) {
            const auto rows = lines(readFile(out / ("settings_samples_" + type + table)));
            ASSERT_GT(rows.size(), 1u);
            const std::size_t width = fields(rows[0]).size();
            // 4 samples in the file: 5 rows (with all genes) or 7 pairs (with all samples).
            const std::size_t perSimulation = std::string(table) == "_stats.tsv" ? 5 : 7;
            EXPECT_EQ((rows.size() - 1) % perSimulation, 0u);
            for (std::size_t r = 1; r < rows.size(); ++r) {
                const auto f = fields(rows[r]);
                ASSERT_EQ(f.size(), width) << rows[r];
                for (std::size_t k = 4; k < f.size(); ++k) {
                    if (f[k] == "NA") continue;
                    char* end = nullptr;
                    const double value = std::strtod(f[k].c_str(), &end);
                    EXPECT_TRUE(*end == '\0' && std::isfinite(value)) << rows[r];
                }
            }
        }
        // The sample of 0 genes keeps its row, with 0 genes.
        const auto stats = lines(readFile(out / ("settings_samples_" + type + "_stats.tsv")));
        EXPECT_EQ(fields(stats[2])[2], "$1_Confluence");
        EXPECT_EQ(fields(stats[2])[4], "0");
    }
}

// The example run for 40 generations reaches 3 of its 10 samples: the other
// 7 keep their rows (NA) and their distances.
TEST(StatisticsTables, UncolonisedSamplesKeepTheirRows) {
    TempFolder work;
    fs::copy(fs::path(FLUVIAGEN_SOURCE_DIR) / "examples/river", work.path(), fs::copy_options::recursive);
    std::string settings = readFile(work.path() / "settings.txt");
    settings.replace(settings.find("1000                //  9"), 4, "40  ");
    settings.replace(settings.find("100                 // 17"), 3, "3  ");
    std::ofstream(work.path() / "settings.txt") << settings;
    const auto run = runProgram({"settings.txt"}, "", "2026", work.path().string());
    ASSERT_EQ(run.status, 0) << run.output;
    const auto rows = lines(readFile(work.path() / "GeneticOutput/settings_samples_gps_DNA_stats.tsv"));
    ASSERT_EQ(rows.size(), 1u + 3 * 11);
    int used = 0, missing = 0;
    for (std::size_t r = 1; r <= 10; ++r) {
        const auto f = fields(rows[r]);
        if (f[4] != "NA") {
            ++used;
            continue;
        }
        ++missing;
        EXPECT_EQ(f[6], "NA");
        EXPECT_NE(f[3], "NA") << "the segment of an uncolonised sample is known";
    }
    EXPECT_EQ(used, 3);
    EXPECT_EQ(missing, 7);
    EXPECT_EQ(fields(rows[1])[2], "Lower_Main");
    EXPECT_EQ(fields(rows[2])[2], "Middle_Main");
    const auto pairs = lines(readFile(work.path() / "GeneticOutput/settings_samples_gps_DNA_pairs.tsv"));
    ASSERT_EQ(pairs.size(), 1u + 3 * 46);
    for (std::size_t r = 1; r <= 45; ++r) EXPECT_NE(fields(pairs[r])[6], "NA") << pairs[r];
}

// DendroPy computes S, pi and Tajima's D from the project files' sequences of
// the shipped example; they must equal the table's.
TEST(StatisticsTables, AgreeWithDendroPy) {
    if (std::system("/usr/bin/python3 -c 'import dendropy' > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "DendroPy is not installed (the CI script installs python3-dendropy)";
    TempFolder work;
    fs::copy(fs::path(FLUVIAGEN_SOURCE_DIR) / "examples/river", work.path(), fs::copy_options::recursive);
    std::string settings = readFile(work.path() / "settings.txt");
    settings.replace(settings.find("100                 // 17"), 3, "10 ");
    std::ofstream(work.path() / "settings.txt") << settings;
    const auto run = runProgram({"settings.txt"}, "", "2026", work.path().string());
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string script = (fs::path(FLUVIAGEN_SOURCE_DIR) / "tests/output/stats/check_dendropy.py").string();
    const std::string command = "/usr/bin/python3 '" + script + "' '" + (work.path() / "GeneticOutput").string() +
                                "' settings_samples_gps_DNA 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

// A single segment of N = 100 individuals that its source fills from the
// start: the genealogy of the sample is the standard coalescent's, with
// E[pi] = theta = 2 N mu (mu per locus and generation) and Watterson's
// E[S] = theta * a1, a1 = sum_{i < n} 1/i. mu = 0.01 over 1000 sites without
// rate variation (multiple hits are rare): theta = 2. (Ages count from 0, the
// first generation back, so every branch is one generation shorter than its
// count of generations: the exact mean is 2 (N - 1) mu, 1 % below.) With 2000
// genetic simulations a bias of 5 % (pi without its n / (n - 1)) lies beyond 4
// standard errors.
TEST(StatisticsTables, SingleDemeMatchesTheCoalescent) {
    TempFolder work;
    work.write("nodes.txt", "t\nd\nn\nh\n1\t20.0\t45.0\n2\t20.01\t45.0\n");
    work.write("segments.txt", "t\nd\ns\nh\n1\t2\t1\t1000\t20.005\t45.0\n");
    work.write("populations.txt", "1\n0\nName\tSize\tSegID\tResize\tMigration\nDeme\t100\t1\t0\t0\n");
    work.write("samples.txt", "1\n0\nName\tGenes\tSegID\nDeme\t10\t1\n");
    work.write("settings.txt", testing_support::settingsText({{7, "100"},
                                                              {8, "1"},
                                                              {9, "10"},
                                                              {17, "2000"},
                                                              {21, "1000"},
                                                              {23, "0.01"},
                                                              {31, "0"},
                                                              {33, "0"},
                                                              {34, "0"},
                                                              {35, "0"}}));
    const auto run = runProgram({"settings.txt"}, "", "4242", work.path().string());
    ASSERT_EQ(run.status, 0) << run.output;
    const auto rows = lines(readFile(work.path() / "GeneticOutput/settings_samples_DNA_stats.tsv"));
    const double theta = 2.0;
    double a1 = 0;
    for (int i = 1; i < 10; ++i) a1 += 1.0 / i;
    struct Moments {
        const char* name;
        std::size_t column;
        double expected;
        double sum = 0, squares = 0;
    };
    Moments moments[] = {{"pi", 10, theta}, {"segsites", 9, theta * a1}};
    int count = 0;
    for (std::size_t r = 1; r < rows.size(); ++r) {
        const auto f = fields(rows[r]);
        if (f[2] != "Deme") continue;
        ++count;
        for (Moments& m : moments) {
            const double x = std::stod(f[m.column]);
            m.sum += x;
            m.squares += x * x;
        }
    }
    ASSERT_EQ(count, 2000);
    for (const Moments& m : moments) {
        const double mean = m.sum / count;
        const double standardError = std::sqrt((m.squares / count - mean * mean) / (count - 1));
        EXPECT_NEAR(mean, m.expected, 4 * standardError) << m.name << ", standard error " << standardError;
        RecordProperty(std::string("mean_") + m.name, std::to_string(mean) + " +- " + std::to_string(standardError));
    }
}

}  // namespace
