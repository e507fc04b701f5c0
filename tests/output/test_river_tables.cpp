// The demography tables: the colonisation recorded by the observer of the
// forward run on rivers small enough to follow by hand, the text of the
// tables, and the files of whole program calls.
#include <gtest/gtest.h>

#include <filesystem>
#include <numeric>
#include <sstream>

#include "demography/Colonisation.h"
#include "demography/Demography.h"
#include "demography/DemographyFixture.h"
#include "output/RiverTables.h"
#include "support/TestFiles.h"

using namespace fluviagen;

using namespace demography_test;
using testing_support::readFile;
using testing_support::runProgram;
using testing_support::settingsText;
using testing_support::TempFolder;

namespace {

std::vector<std::vector<std::string>> csvRows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::stringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> fields;
        std::stringstream cells(line);
        std::string cell;
        while (std::getline(cells, cell, ',')) fields.push_back(cell);
        if (!line.empty() && line.back() == ',') fields.emplace_back();
        rows.push_back(fields);
    }
    return rows;
}

// A chain of three segments draining to node 1 (segment 1 at the mouth),
// model 1 without growth (r = 0) and a constant emigrating share of 0.5: every
// step can be followed by hand (see the table below). The source fills
// segment 1 to its capacity of 100 at generation 0.
struct ChainRun {
    std::unique_ptr<TestLoop> world;
    ColonisationRecord record;

    explicit ChainRun(std::int32_t generations) {
        Settings s = plainSettings();
        s.growthRate = 0;
        s.numGenerations = generations;
        world = makeWorld(s, {{1, 2, 1}, {2, 3, 2}, {3, 4, 3}});
        addSource(*world, 1, 100);
        world->database = buildDatabase(*world->drainage, generations);
        world->databaseReady = true;
        simulateDemography(
            {*world->drainage, nullptr}, world->states, [this]() -> const PopulationVector& { return *world->sources; },
            world->settings, *world->database, true, world->rng, &record);
    }
};

}  // namespace

// Generation 1: segment 1 sends 50 of its 100 to segment 2 (its only
// neighbour). Generation 2: segment 1 sends 25 to segment 2; segment 2 sends
// 25, split by room: segment 1 (51/101 full) gets floor(0.019 x 25) = 0, the
// empty segment 3 floor(0.981 x 25) = 24. Generation 3: segment 1 sends 12,
// segment 2 sends 25 as 12 and 12 (to 25 and 24 individuals), segment 3
// sends 12 back. Sizes: (100,0,0) (50,50,0) (25,51,24) (25,51,24).
TEST(ColonisationRecord, FollowsAChainByHand) {
    const ChainRun run(3);
    const ColonisationRecord& r = run.record;
    struct Expected {
        std::int32_t generation;
        std::int64_t occupied, size, migrants;
    };
    const Expected curve[] = {{0, 1, 100, 0}, {1, 2, 100, 50}, {2, 3, 100, 49}, {3, 3, 100, 48}};
    ASSERT_EQ(r.curve.size(), std::size(curve));
    for (std::size_t i = 0; i < std::size(curve); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(r.curve[i].generation, curve[i].generation);
        EXPECT_EQ(r.curve[i].occupied, curve[i].occupied);
        EXPECT_EQ(r.curve[i].size, curve[i].size);
        EXPECT_EQ(r.curve[i].migrants, curve[i].migrants);
    }
    struct Segment {
        std::int32_t id, firstOccupied, firstAtCapacity, finalSize;
    };
    const Segment segments[] = {
        {1, 0, 0, 25}, {2, 1, ColonisationRecord::never, 51}, {3, 2, ColonisationRecord::never, 24}};
    for (const Segment& s : segments) {
        SCOPED_TRACE(s.id);
        const auto i = static_cast<std::size_t>(seg(*run.world, s.id).index);
        EXPECT_EQ(r.firstOccupied[i], s.firstOccupied);
        EXPECT_EQ(r.firstAtCapacity[i], s.firstAtCapacity);
        EXPECT_EQ(r.finalSize[i], s.finalSize);
        EXPECT_EQ(r.finalSize[i], stateOf(*run.world, s.id).N);
    }
}

// The observer reads and never draws: the history and the final states are
// those of a run without it.
TEST(ColonisationRecord, LeavesTheHistoryAsItWas) {
    Settings s = plainSettings();
    s.demographicModel = 4;
    s.numGenerations = 40;
    std::vector<std::int16_t> histories[2];
    for (int observed = 0; observed < 2; ++observed) {
        auto world = makeWorld(s, binaryTree(4));
        world->rng.seedMain(-7);
        addSource(*world, 1, 60);
        world->database = buildDatabase(*world->drainage, s.numGenerations);
        ColonisationRecord record;
        simulateDemography(
            {*world->drainage, nullptr}, world->states, [&]() -> const PopulationVector& { return *world->sources; },
            world->settings, *world->database, true, world->rng, observed ? &record : nullptr);
        histories[observed] = snapshot(*world->database);
        if (observed) {
            const std::int64_t total =
                std::accumulate(record.finalSize.begin(), record.finalSize.end(), std::int64_t{0});
            EXPECT_EQ(record.curve.back().size, total);
            EXPECT_EQ(record.curve.size(), 41u);
        }
    }
    EXPECT_EQ(histories[0], histories[1]);
}

TEST(RiverTables, SegmentsTableHoldsTheRecordAndTheNames) {
    ChainRun run(3);
    auto samples = std::make_unique<PopulationVector>(run.world->drainage.get());
    for (const char* name : {"Upper", "Up,per \"2\""}) {
        auto p = std::make_unique<PopulationSource>();
        p->name = Text(name);
        p->segment = &seg(*run.world, 3);
        samples->populations.push_back(std::move(p));
    }
    const std::vector<std::int32_t> coalescences{0, 3, 1};
    RiverTablesInput input{run.world->drainage.get(),
                           &run.record,
                           &coalescences,
                           run.world->sources.get(),
                           samples.get(),
                           100,
                           false,
                           false};
    std::ostringstream text;
    writeSegmentsTable(text, input);
    const auto rows = csvRows(text.str());
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(text.str().substr(0, text.str().find('\n') + 1), segmentsHeader);
    // segment, nodes, length, middle point, node points, generations, size, coalescences, per km, names
    EXPECT_EQ(rows[1][0] + "," + rows[1][1] + "," + rows[1][2] + "," + rows[1][3], "1,2,1,1000");
    EXPECT_EQ(rows[1][6] + "," + rows[1][7] + "," + rows[1][8] + "," + rows[1][9], "2,45,1,45");
    // ... and the closings by dynamic maps (none here).
    const std::vector<std::string> tail1{"0", "0", "25", "0", "0", "source", "", "", "0"};
    const std::vector<std::string> tail2{"1", "", "51", "3", "3", "", "", "", "0"};
    EXPECT_EQ(std::vector<std::string>(rows[1].begin() + 10, rows[1].end()), tail1);
    EXPECT_EQ(std::vector<std::string>(rows[2].begin() + 10, rows[2].end()), tail2);
    // A name with a separator or a quote is quoted as CSV wants it.
    EXPECT_NE(text.str().find(",1,1,,\"Upper;Up,per \"\"2\"\"\",,0\n"), std::string::npos) << text.str();

    std::ostringstream curve;
    writeColonisationTable(curve, run.record);
    EXPECT_EQ(curve.str(), std::string(colonisationHeader) + "0,1,100,0\n1,2,100,50\n2,3,100,49\n3,3,100,48\n");
}

TEST(RiverTables, NumberedPerEntireSimulationWhenSeveral) {
    EXPECT_EQ(riverTablesBase("s_x_DNA", 0, 1), "s_x_DNA");
    EXPECT_EQ(riverTablesBase("s_x_DNA", 2, 3), "s_x_DNA_3");
    EXPECT_EQ(riverTablesBase("s_x_DNA", 6, 12), "s_x_DNA_07");
}

namespace {

// A river of one segment or a chain of three, with the source at the mouth
// and one sample of two genes: each genealogy is one coalescence.
void writeRiver(const TempFolder& folder, int segments, const std::string& sampleSegment) {
    std::string nodes = "Title\nDate\nNodes: " + std::to_string(segments + 1) + "\nNodeID\tLon\tLat\n";
    std::string lines =
        "Title\nDate\nSegments: " + std::to_string(segments) + "\nSegID\tFNode\tTNode\tLength\tLon\tLat\n";
    for (int n = 1; n <= segments + 1; ++n)
        nodes += std::to_string(n) + "\t" + std::to_string(10 + 0.01 * n) + "\t45\n";
    for (int s = 1; s <= segments; ++s)
        lines += std::to_string(s) + "\t" + std::to_string(s + 1) + "\t" + std::to_string(s) + "\t1000\t" +
                 std::to_string(10 + 0.01 * s + 0.005) + "\t45\n";
    folder.write("nodes.txt", nodes);
    folder.write("segments.txt", lines);
    folder.write("populations.txt", "1\n0\nName\tSize\tSegID\tResize\tMigration\nMouth\t50\t1\t0\t0\n");
    folder.write("samples.txt", "1\n0\nName\tGenes\tSegID\nPair\t2\t" + sampleSegment + "\n");
}

}  // namespace

TEST(RiverTablesProgram, TwoGenesCoalesceOncePerGenealogy) {
    struct Case {
        int segments;
        const char* sampleSegment;
    };
    for (const Case c : {Case{1, "1"}, Case{3, "2"}}) {
        SCOPED_TRACE(c.segments);
        TempFolder folder;
        writeRiver(folder, c.segments, c.sampleSegment);
        folder.write("settings.txt", settingsText({{7, "50"}, {17, "7"}, {9, "20"}}));
        const auto result = runProgram({"settings.txt"}, "", "5", folder.path().string());
        ASSERT_EQ(result.status, 0) << result.output;
        const auto out = folder.path() / "GeneticOutput";
        const auto rows = csvRows(readFile(out / "settings_samples_DNA_segments.csv"));
        ASSERT_EQ(rows.size(), static_cast<std::size_t>(c.segments + 1));
        long events = 0, total = 0;
        for (std::size_t i = 1; i < rows.size(); ++i) {
            events += std::stol(rows[i][13]);
            total += std::stol(rows[i][12]);
        }
        EXPECT_EQ(events, 7);  // 7 genealogies of two genes
        if (c.segments == 1) {
            EXPECT_EQ(rows[1][13], "7");
        }
        EXPECT_EQ(rows[1][15], "Mouth");
        const auto curve = csvRows(readFile(out / "settings_samples_DNA_colonisation.csv"));
        ASSERT_EQ(curve.size(), 22u);  // header, generations 0 .. 20
        EXPECT_EQ(std::stol(curve.back()[2]), total);
        EXPECT_TRUE(std::filesystem::exists(out / "settings_samples_DNA_mapinfo.csv"));
    }
}

// Entire simulations that fail leave no table; the accepted ones are numbered
// like their project files.
TEST(RiverTablesProgram, OnlyAcceptedEntireSimulationsLeaveTables) {
    TempFolder folder;
    writeRiver(folder, 3, "3");
    // At most 25 backward generations for two genes in segments of 20: many
    // genealogies do not finish and their entire simulations are repeated.
    folder.write("settings.txt", settingsText({{7, "20"}, {8, "4"}, {9, "20"}, {16, "3"}, {17, "1"}, {18, "25"}}));
    const auto result = runProgram({"settings.txt"}, "", "3", folder.path().string());
    ASSERT_EQ(result.status, 0) << result.output;
    int tables = 0, projects = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path() / "GeneticOutput")) {
        const std::string name = entry.path().filename().string();
        if (name.ends_with("_segments.csv")) {
            ++tables;
            // "<set>_<e>_segments.csv" beside "<set>_<e>-1.arp"
            const std::string e = name.substr(std::string("settings_samples_DNA_").size(), 1);
            EXPECT_TRUE(
                std::filesystem::exists(folder.path() / "GeneticOutput" / ("settings_samples_DNA_" + e + "-1.arp")))
                << name;
        }
        if (name.ends_with(".arp")) ++projects;
        EXPECT_FALSE(name.ends_with(".part")) << name;
    }
    EXPECT_EQ(tables, 3);
    EXPECT_EQ(projects, 3);
    EXPECT_NE(result.output.find("UN-SUCCESSFULLY"), std::string::npos) << "no entire simulation failed";
}
