#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "DemographyFixture.h"
#include "demography/Dynamic.h"
#include "demography/Generation.h"
#include "base/Exception.h"

using namespace demography_test;

namespace {

class DemographyDynamic : public testing::Test {
protected:
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() /
                 ("fluviagen_dynamic_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(folder);
        savedFolder = dataFolder;
        dataFolder = my_string(folder.string() + "/");
    }
    void TearDown() override {
        dataFolder = savedFolder;
        std::filesystem::remove_all(folder);
    }
    void write(const std::string& name, const std::string& text) {
        std::ofstream(folder / name, std::ios::binary) << text;
    }
    std::unique_ptr<TDynamicVector> read(TSegmentVector& drainage, const std::string& name = "env.txt") {
        testing::internal::CaptureStdout();
        try {
            auto environment = readDynamicEnvironment(drainage, dataFolder + my_string(name));
            output = testing::internal::GetCapturedStdout();
            return environment;
        } catch (...) {
            output = testing::internal::GetCapturedStdout();
            throw;
        }
    }
    std::string readError(TSegmentVector& drainage) {
        try {
            read(drainage);
        } catch (const TException& e) {
            EXPECT_TRUE(e.isFatal());
            return e.message().str();
        }
        ADD_FAILURE() << "no error";
        return {};
    }

    std::filesystem::path folder;
    my_string savedFolder;
    std::string output;
};

// A reach of ten segments, 1 at the top, 10 at the mouth.
std::vector<std::array<std::int32_t, 3>> reach() {
    std::vector<std::array<std::int32_t, 3>> segments;
    for (std::int32_t i = 1; i <= 10; ++i) segments.push_back({i, i, i + 1});
    return segments;
}

TEST_F(DemographyDynamic, MapsAreReadAndOrderedByGeneration) {
    write("env.txt",
          "\xEF\xBB\xBF// generation and map file\r\n"
          "50 late.txt   // comment\r\n"
          "\r\n"
          "  10\tearly.txt\r\n"
          "10 second.txt\r\n"
          "7\r\n");
    write("late.txt", "Late map // name\n1 open\n3 2 3 99 0\n");
    write("early.txt", "Early\n0\n5 4 4 5 6\n");
    write("second.txt", "Second\n1\n");
    auto world = makeWorld(plainSettings(), reach());
    auto environment = read(*world->drainage);
    EXPECT_EQ(output.rfind("\n\t\tRead dynamic envionment '" + dataFolder.str() + "env.txt' ... done. (Duration: ", 0),
              0u)
        << output;
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
    EXPECT_EQ(maps[2].file, dataFolder + my_string("late.txt"));
}

TEST_F(DemographyDynamic, BadFilesAreNamedInTheError) {
    auto world = makeWorld(plainSettings(), reach());
    EXPECT_EQ(readError(*world->drainage), "File '" + dataFolder.str() + "env.txt' could not be opened!");
    write("env.txt", "10 missing.txt\n");
    EXPECT_EQ(readError(*world->drainage), "File '" + dataFolder.str() + "missing.txt' could not be opened!");
    write("env.txt", "ten map.txt\n");
    EXPECT_NE(readError(*world->drainage).find("env.txt': line 1 must begin with a generation"), std::string::npos);
    write("env.txt", "10 map.txt\n");
    write("map.txt", "Map\n1\n3 4 x5 6\n");
    EXPECT_NE(readError(*world->drainage).find("map.txt': entry 3 ('x5') is not a segment id!"), std::string::npos);
    write("map.txt", "Map\nyes\n3\n");
    EXPECT_NE(readError(*world->drainage).find("map.txt': line 2 must begin with the value 0 or 1"),
              std::string::npos);
}

class DemographyDynamicRun : public DemographyDynamic {
protected:
    std::unique_ptr<World> reachWorld(std::int32_t generations) {
        TSettings settings = plainSettings();
        settings.numGenerations = generations;
        settings.dynamicEnvironment = true;
        auto world = makeWorld(settings, reach());
        addSource(*world, 1, 100);
        world->drainage->dynamicEnvironment = read(*world->drainage);
        testing::internal::CaptureStdout();
        world->BuildDB();
        testing::internal::GetCapturedStdout();
        return world;
    }
    static void simulate(World& world) {
        testing::internal::CaptureStdout();
        world.SimulateDemography();
        testing::internal::GetCapturedStdout();
    }
};

TEST_F(DemographyDynamicRun, ASegmentClosedAndReopenedLosesItsPopulationAndIsColonisedAgain) {
    write("env.txt", "40 open.txt\n20 close.txt\n0 start.txt\n99 never.txt\n");
    write("close.txt", "Dam\n0\n7\n");
    write("open.txt", "Dam removed\n1\n7\n");
    write("start.txt", "Start\n1\n1 2 3 4 5 6 7 8 9 10\n");
    write("never.txt", "Too late\n0\n1\n");
    auto world = reachWorld(60);
    simulate(*world);
    const StatesOfCell& seven = *seg(*world, 7).history;
    EXPECT_GT(seven.sizeAt(19), 0);  // colonised before the dam
    for (std::int32_t t = 20; t < 40; ++t) ASSERT_EQ(seven.sizeAt(t), 0) << t;
    EXPECT_GT(seven.sizeAt(40), 0);  // immigrants again once it is open
    EXPECT_TRUE(seg(*world, 1).accessible);  // the map of generation 99 never came
}

TEST_F(DemographyDynamicRun, MapsOfGenerationZeroOrBelowApplyBeforeTheFirstGeneration) {
    write("env.txt", "3 open.txt\n-5 close.txt\n");
    write("close.txt", "Closed\n0\n2\n");
    write("open.txt", "Open\n1\n2\n");
    auto world = reachWorld(5);
    simulate(*world);
    const StatesOfCell& two = *seg(*world, 2).history;
    EXPECT_EQ(two.sizeAt(1), 0);
    EXPECT_EQ(two.sizeAt(2), 0);
    EXPECT_GT(two.sizeAt(3), 0);
}

TEST_F(DemographyDynamicRun, ClosuresCarryOverIntoTheNextSimulation) {
    // The only map closes segment 3 at generation 5. The next simulation
    // starts with segment 3 still closed, so nothing passes it from the start.
    write("env.txt", "5 close.txt\n");
    write("close.txt", "Dam\n0\n3\n");
    auto world = reachWorld(30);
    simulate(*world);
    EXPECT_GT(seg(*world, 4).history->sizeAt(30), 0);  // colonised in generations 1 to 4
    EXPECT_FALSE(seg(*world, 3).accessible);
    simulate(*world);
    for (std::int32_t t = 0; t <= 30; ++t) ASSERT_EQ(seg(*world, 4).history->sizeAt(t), 0) << t;
}

TEST_F(DemographyDynamicRun, ResampledSegmentsFollowTheSegmentTheyWereCutFrom) {
    write("env.txt", "1 close.txt\n");
    write("close.txt", "Dam\n0\n2\n");
    TSettings settings = plainSettings();
    auto world = std::make_unique<World>(settings);
    world->fullDrainage = makeDrainage(world->settings, world.get(), {{1, 1, 2}, {2, 2, 3}});
    auto environment = read(*world->fullDrainage);
    // Four cut segments: 1 and 2 from segment 1, 3 and 4 from segment 2.
    world->drainage = makeDrainage(world->settings, world.get(), {{1, 1, 2}, {2, 2, 3}, {3, 3, 4}, {4, 4, 5}});
    for (std::int32_t id = 1; id <= 4; ++id)
        seg(*world, id).originSegment = world->fullDrainage->find(id <= 2 ? 1 : 2);
    applyMap(*world, environment->maps[0]);
    EXPECT_FALSE(world->fullDrainage->find(2)->accessible);
    EXPECT_TRUE(world->fullDrainage->find(1)->accessible);
    EXPECT_TRUE(seg(*world, 1).accessible);
    EXPECT_TRUE(seg(*world, 2).accessible);
    EXPECT_FALSE(seg(*world, 3).accessible);
    EXPECT_FALSE(seg(*world, 4).accessible);
}

}  // namespace
