#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "DemographyFixture.h"
#include "demography/StartingConditions.h"

using namespace fluviagen;

using namespace demography_test;

namespace {

// Segment 1 (nodes 1 -> 2) has three neighbours: 2 flows into it, 3 leaves
// its lower end, 4 joins it there. Segment 2 has only segment 1 as
// neighbour; 3 and 4 neighbour each other.
const std::vector<std::array<std::int32_t, 3>> star = {{1, 1, 2}, {2, 3, 1}, {3, 2, 4}, {4, 5, 2}};

std::unique_ptr<TestLoop> starWorld(float rate) {
    Settings settings = plainSettings();
    settings.allowInitialDensityOverflow = true;
    settings.initialDensityOverflowRate = rate;
    auto world = makeWorld(settings, star);
    testing::internal::CaptureStdout();
    world->buildHistory();
    testing::internal::GetCapturedStdout();
    return world;
}

std::string runStartingConditions(SimulationLoop& world) {
    testing::internal::CaptureStdout();
    startingConditions(world);
    return testing::internal::GetCapturedStdout();
}

TEST(DemographyStartingConditions, WithoutOverflowTheWholePopulationStays) {
    auto world = makeWorld(plainSettings(), star);
    testing::internal::CaptureStdout();
    world->buildHistory();
    testing::internal::GetCapturedStdout();
    addSource(*world, 1, 500);
    const std::string out = runStartingConditions(*world);
    EXPECT_EQ(
        out.rfind("\nSet starting conditions ... (first time) ...\nSet starting conditions ... done (Duration: ", 0),
        0u)
        << out;
    EXPECT_EQ(stateOf(*world, 1).N, 500);
    EXPECT_EQ(seg(*world, 1).sourcePopulation, world->sources->populations[0].get());
    EXPECT_EQ(stateOf(*world, 2).N, 0);
    for (std::int32_t id = 1; id <= 4; ++id) EXPECT_EQ(stateOf(*world, id).K, 100);
    EXPECT_EQ(historyOf(*world, 1).sizeAt(0), 500);
}

TEST(DemographyStartingConditions, OverflowFillsTheSegmentAndSharesTheRest) {
    for (const float rate : {1.0f, 1.5f, -0.2f, std::numeric_limits<float>::quiet_NaN()}) {
        auto world = starWorld(rate);
        addSource(*world, 1, 350);
        runStartingConditions(*world);
        // 100 stay, 250 / 3 = 83 to each empty neighbour, the rest 1 stays.
        EXPECT_EQ(stateOf(*world, 1).N, 101) << rate;
        for (std::int32_t id = 2; id <= 4; ++id) {
            EXPECT_EQ(stateOf(*world, id).N, 83) << rate;
            EXPECT_EQ(seg(*world, id).sourcePopulation, world->sources->populations[0].get());
            EXPECT_EQ(historyOf(*world, id).sizeAt(0), 83);
        }
    }
}

TEST(DemographyStartingConditions, DepthFirstSpreadingLosesTheShareOfANeighbourFilledEarlier) {
    auto world = starWorld(0.5f);
    addSource(*world, 1, 350);
    runStartingConditions(*world);
    // cap 50; each neighbour is offered 100. Segment 2 has no other empty
    // neighbour and keeps all 100. Segment 3 keeps 50 and passes 50 on to
    // segment 4, which is then no longer empty when segment 1 comes to it:
    // its own offer of 100 is lost.
    EXPECT_EQ(stateOf(*world, 1).N, 50);
    EXPECT_EQ(stateOf(*world, 2).N, 100);
    EXPECT_EQ(stateOf(*world, 3).N, 50);
    EXPECT_EQ(stateOf(*world, 4).N, 50);
}

TEST(DemographyStartingConditions, ASecondSourceSkipsTheSegmentOfTheFirst) {
    auto world = starWorld(1.0f);
    addSource(*world, 2, 40);
    addSource(*world, 1, 350);
    runStartingConditions(*world);
    EXPECT_EQ(stateOf(*world, 2).N, 40);
    EXPECT_EQ(seg(*world, 2).sourcePopulation, world->sources->populations[0].get());
    // Two empty neighbours share 250: 125 each, which they may hold.
    EXPECT_EQ(stateOf(*world, 1).N, 100);
    EXPECT_EQ(stateOf(*world, 3).N, 100);  // 125 > 100: its 25 go on to 4 ...
    EXPECT_EQ(stateOf(*world, 4).N, 25);   // ... which then misses its own 125
}

TEST(DemographyStartingConditions, AZeroLimitEndsAndPlacesThePopulationOnce) {
    // A chain 1 -> 2. With a limit of 0 each segment holds no one while it
    // spreads; the one that already took part is not empty for the other.
    Settings settings = plainSettings();
    settings.allowInitialDensityOverflow = true;
    settings.initialDensityOverflowRate = 0.0f;
    auto world = makeWorld(settings, {{1, 1, 2}, {2, 2, 3}});
    testing::internal::CaptureStdout();
    world->buildHistory();
    testing::internal::GetCapturedStdout();
    addSource(*world, 1, 10);
    const std::string out = runStartingConditions(*world);
    EXPECT_NE(out.find("\nWARNING: ArrangeInitialDensity(): The carring capacity of segment 1 is zero!"),
              std::string::npos);
    EXPECT_NE(out.find("\nWARNING: ArrangeInitialDensity(): The carring capacity of segment 2 is zero!"),
              std::string::npos);
    EXPECT_EQ(stateOf(*world, 1).N, 0);
    EXPECT_EQ(stateOf(*world, 2).N, 10);
}

TEST(DemographyStartingConditions, ALongReachIsFilledWithoutDeepRecursion) {
    // 20,000 segments in a row, one individual each: the spreading walks the
    // whole reach depth first.
    Settings settings = plainSettings();
    settings.carryingCapacity = 1;
    settings.allowInitialDensityOverflow = true;
    std::vector<std::array<std::int32_t, 3>> chain;
    for (std::int32_t i = 1; i <= 20000; ++i) chain.push_back({i, i, i + 1});
    auto world = makeWorld(settings, chain);
    testing::internal::CaptureStdout();
    world->buildHistory();
    testing::internal::GetCapturedStdout();
    addSource(*world, 1, 20000);
    runStartingConditions(*world);
    for (std::int32_t i = 1; i <= 20000; ++i) ASSERT_EQ(stateOf(*world, i).N, 1) << i;
}

}  // namespace
