// The dynamic environment: its files, and the maps switching segments on and
// off during the forward simulation of a simulation loop.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "demography/StateDB.h"
#include "drainage/DrainageFixture.h"

using namespace fluviagen;

using namespace drainage_test;

namespace {

class DynamicEnvironment : public DrainageTest {
protected:
    // A reach of ten segments of 1 km, segment i flowing from node i to node
    // i + 1: 1 at the top, 10 at the mouth.
    void writeReach() {
        std::vector<NodeRow> nodes;
        std::vector<SegmentRow> segments;
        for (int i = 1; i <= 11; ++i) nodes.push_back({i, static_cast<float>(i), 45.0f});
        for (int i = 1; i <= 10; ++i) segments.push_back({i, i, i + 1, 1000});
        writeDrainage(nodes, segments);
    }
    std::unique_ptr<DynamicMaps> read(const Drainage& drainage) {
        return quietly([&] { return readDynamicEnvironment(drainage, path("env.txt"), temp.folder()); });
    }
    std::string readError(const Drainage& drainage) {
        try {
            read(drainage);
        } catch (const SimulationError& e) {
            EXPECT_TRUE(e.isFatal());
            return e.message().str();
        }
        ADD_FAILURE() << "no error";
        return {};
    }
};

TEST_F(DynamicEnvironment, MapsAreReadAndOrderedByGeneration) {
    write("env.txt",
          "\xEF\xBB\xBF// generation and map file\r\n"
          "50 late.txt   // comment\r\n"
          "\r\n"
          "  10\tearly.txt\r\n"
          "10 second.txt\r\n");
    write("late.txt", "Late map // name\n1 open\n3 2 3 99 0\n");
    write("early.txt", "Early\n0\n5 4 4 5 6\n");
    write("second.txt", "Second\n1\n");
    writeReach();
    testing::internal::CaptureStderr();
    const auto environment = read(*readFiles());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "WARNING: map file '" + path("late.txt") +
                  "': 2 of 5 segment ids are not in the drainage and are dropped: line 3 (segment 99), line 3 "
                  "(segment 0)\n");
    EXPECT_EQ(console.rfind("\n\t\tRead dynamic envionment '" + path("env.txt") + "' ... done. (Duration: ", 0), 0u)
        << console;
    ASSERT_EQ(environment->maps.size(), 3u);
    const auto& maps = environment->maps;
    EXPECT_EQ(maps[0].name, "Early");
    EXPECT_EQ(maps[0].generation, 10);
    EXPECT_FALSE(maps[0].value);
    // A repeated id is dropped so that the whole map applies.
    EXPECT_EQ(maps[0].segmentIds, (std::vector<std::int32_t>{4, 5, 6}));
    EXPECT_EQ(maps[1].name, "Second");
    EXPECT_TRUE(maps[1].segmentIds.empty());
    EXPECT_EQ(maps[2].name, "Late map");
    EXPECT_EQ(maps[2].generation, 50);
    EXPECT_TRUE(maps[2].value);
    // 0 and ids the drainage does not hold are skipped.
    EXPECT_EQ(maps[2].segmentIds, (std::vector<std::int32_t>{2, 3}));
    EXPECT_EQ(maps[2].file, path("late.txt"));
}

TEST_F(DynamicEnvironment, BadFilesAreNamedInTheError) {
    writeReach();
    const auto drainage = readFiles();
    EXPECT_EQ(readError(*drainage), "File '" + path("env.txt") + "' could not be opened!");
    write("env.txt", "10 missing.txt\n");
    EXPECT_EQ(readError(*drainage), "File '" + path("missing.txt") + "' could not be opened!");
    write("env.txt", "ten map.txt\n");
    EXPECT_NE(readError(*drainage).find("env.txt': line 1 must begin with a generation"), std::string::npos);
    write("env.txt", "10 map.txt\n");
    write("map.txt", "Map\n1\n3 4 x5 6\n");
    EXPECT_NE(readError(*drainage).find("map.txt': entry 3 ('x5') is not a segment id!"), std::string::npos);
    write("map.txt", "Map\nyes\n3\n");
    EXPECT_NE(readError(*drainage).find("map.txt': line 2 must begin with the value 0 or 1"), std::string::npos);
    // A generation without its map would change nothing, silently.
    write("env.txt", "// generation map\n\n7   // the map is missing\n");
    EXPECT_EQ(readError(*drainage),
              "Reading dynamic maps'" + path("env.txt") + "': line 3 gives the generation 7 but no map file after it!");
    // Map lines obey the one line-length rule, also where free-format ids
    // would be read.
    write("env.txt", "10 map.txt\n");
    write("map.txt", "Map\n1\n3 4\n" + std::string(10000, ' ') + "5\n");
    EXPECT_EQ(readError(*drainage),
              "Reading dynamic map'" + path("map.txt") + "': line 4 is longer than 9999 characters!");
}

TEST_F(DynamicEnvironment, ResampledSegmentsFollowTheSegmentTheyWereCutFrom) {
    writeDrainage({{1, 1.0f, 45.0f}, {2, 2.0f, 45.0f}, {3, 3.0f, 45.0f}}, {{1, 1, 2, 2000}, {2, 2, 3, 2000}});
    write("env.txt", "1 close.txt\n");
    write("close.txt", "Dam\n0\n2\n");
    const auto full = readFiles();
    const auto environment = read(*full);
    const auto resampled = resampleToFixedLength(*full, 1000);
    ASSERT_EQ(resampled->size(), 4);
    for (std::int32_t id = 1; id <= 4; ++id) ASSERT_EQ(resampled->find(id)->originSegment, full->find(id <= 2 ? 1 : 2));
    applyMap(*full, resampled.get(), environment->maps[0]);
    EXPECT_FALSE(full->find(2)->accessible);
    EXPECT_TRUE(full->find(1)->accessible);
    EXPECT_TRUE(resampled->find(1)->accessible);
    EXPECT_TRUE(resampled->find(2)->accessible);
    EXPECT_FALSE(resampled->find(3)->accessible);
    EXPECT_FALSE(resampled->find(4)->accessible);
}

// Forward simulations on the reach, read with its environment by a simulation loop:
// K = 100, r = 0.5, a constant emigrating share of 0.5, no upstream
// preference, a source of 100 individuals on segment 1.
class DynamicEnvironmentRun : public DynamicEnvironment {
protected:
    std::unique_ptr<SimulationLoop> reachRun(std::int32_t generations) {
        settings.demographicModel = 1;
        settings.numGenerations = generations;
        settings.carryingCapacity = 100;
        settings.growthRate = 0.5f;
        settings.migrCol = 0.5f;
        settings.migrOcc = 0.5f;
        settings.upstreamMigrationRatio = 1.0f;
        settings.initialDensityOverflowRate = 1.0f;
        settings.dynamicEnvironment = true;
        settings.dynamicEnvironmentFile = "env.txt";
        writeReach();
        write("sources.txt", "1\n0\nName Size SegID Resize Migration\nsource 100 1 0 0\n");
        auto run = build();
        quietly([&] {
            run->buildHistory();
            return true;
        });
        return run;
    }
    void simulate(SimulationLoop& run) {
        quietly([&] {
            run.demographicPhase();
            return true;
        });
    }
    static const StatesOfCell& history(const SimulationLoop& run, std::int32_t id) {
        return run.database->history(run.drainage->find(id)->index);
    }
};

TEST_F(DynamicEnvironmentRun, ASegmentClosedAndReopenedLosesItsPopulationAndIsColonisedAgain) {
    write("env.txt", "40 open.txt\n20 close.txt\n0 start.txt\n99 never.txt\n");
    write("close.txt", "Dam\n0\n7\n");
    write("open.txt", "Dam removed\n1\n7\n");
    write("start.txt", "Start\n1\n1 2 3 4 5 6 7 8 9 10\n");
    write("never.txt", "Too late\n0\n1\n");
    const auto run = reachRun(60);
    simulate(*run);
    const StatesOfCell& seven = history(*run, 7);
    EXPECT_GT(seven.sizeAt(19), 0);  // colonised before the dam
    for (std::int32_t t = 20; t < 40; ++t) ASSERT_EQ(seven.sizeAt(t), 0) << t;
    EXPECT_GT(seven.sizeAt(40), 0);                   // immigrants again once it is open
    EXPECT_TRUE(run->drainage->find(1)->accessible);  // the map of generation 99 never came
}

TEST_F(DynamicEnvironmentRun, MapsOfGenerationZeroOrBelowApplyBeforeTheFirstGeneration) {
    write("env.txt", "3 open.txt\n-5 close.txt\n");
    write("close.txt", "Closed\n0\n2\n");
    write("open.txt", "Open\n1\n2\n");
    const auto run = reachRun(5);
    simulate(*run);
    const StatesOfCell& two = history(*run, 2);
    EXPECT_EQ(two.sizeAt(1), 0);
    EXPECT_EQ(two.sizeAt(2), 0);
    EXPECT_GT(two.sizeAt(3), 0);
}

TEST_F(DynamicEnvironmentRun, ClosuresCarryOverIntoTheNextSimulation) {
    // The only map closes segment 3 at generation 5. The next simulation
    // starts with segment 3 still closed, so nothing passes it from the start.
    write("env.txt", "5 close.txt\n");
    write("close.txt", "Dam\n0\n3\n");
    const auto run = reachRun(30);
    simulate(*run);
    EXPECT_GT(history(*run, 4).sizeAt(30), 0);  // colonised in generations 1 to 4
    EXPECT_FALSE(run->drainage->find(3)->accessible);
    simulate(*run);
    for (std::int32_t t = 0; t <= 30; ++t) ASSERT_EQ(history(*run, 4).sizeAt(t), 0) << t;
}

TEST_F(DynamicEnvironmentRun, MapsNameTheSegmentsAsReadWhenTheRunResamples) {
    // The 1 km segments cut into pieces of 500 m: closing segment 2 as read
    // closes pieces 3 and 4 from generation 1 on.
    write("env.txt", "1 close.txt\n");
    write("close.txt", "Dam\n0\n2\n");
    settings.segmentLength = 500;
    const auto run = reachRun(10);
    ASSERT_EQ(run->drainage->size(), 20);
    ASSERT_EQ(run->drainage->find(4)->originSegment, run->fullDrainage->find(2));
    simulate(*run);
    EXPECT_FALSE(run->fullDrainage->find(2)->accessible);
    for (std::int32_t id = 1; id <= 20; ++id) EXPECT_EQ(run->drainage->find(id)->accessible, id < 3 || id > 4) << id;
    EXPECT_GT(history(*run, 2).sizeAt(10), 0);                                             // colonised above the dam
    for (std::int32_t t = 1; t <= 10; ++t) ASSERT_EQ(history(*run, 5).sizeAt(t), 0) << t;  // nothing passes it
}

}  // namespace
