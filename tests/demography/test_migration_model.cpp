#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "DemographyFixture.h"
#include "demography/MigrationModel.h"
#include "base/Exception.h"

using namespace fluviagen;

using namespace demography_test;

namespace {

// A world with its database, every K at `K` and
// the given sizes; growth is switched off (r = 0 keeps N) unless asked for.
std::unique_ptr<TestLoop> worldWith(Settings settings, const std::vector<std::array<std::int32_t, 3>>& segments,
                                    std::int16_t K = 100) {
    settings.numGenerations = 3;
    auto world = makeWorld(settings, segments);
    testing::internal::CaptureStdout();
    world->buildHistory();
    testing::internal::GetCapturedStdout();
    for (State& state : world->states) state.K = K;
    return world;
}

// One pass of the migration model at generation 1.
void migrate(TestLoop& world, std::int32_t model) {
    runMigrationModel(*world.drainage, world.states, world.database.get(), world.settings, model, 1, world.rng);
}

Settings noGrowth() {
    Settings s = plainSettings();
    s.growthRate = 0.0f;
    return s;
}

// Segment 1 (1 -> 2) with an upstream neighbour 2 (3 -> 1, flows into it)
// and a downstream neighbour 3 (2 -> 4, it flows into 3).
const std::vector<std::array<std::int32_t, 3>> upAndDown = {{1, 1, 2}, {2, 3, 1}, {3, 2, 4}};
// Segment 1 (1 -> 2) splitting into 2 (2 -> 3) and 3 (2 -> 4); the
// branches list each other first (kind 1) and segment 1 second (kind 2).
const std::vector<std::array<std::int32_t, 3>> fork = {{1, 1, 2}, {2, 2, 3}, {3, 2, 4}};

TEST(DemographyMigrationModel, BevertonHoltGrowthCarriesItsRemainder) {
    Settings settings = plainSettings();
    settings.migrCol = settings.migrOcc = 0.0f;
    auto world = worldWith(settings, {{1, 1, 2}});
    State& s = stateOf(*world, 1);
    s.N = 10;
    migrate(*world, 1);
    // 1.5 * 10 / (10 * 0.005 + 1) = 14.2857...
    EXPECT_EQ(s.N, 14);
    // Single precision throughout: y = 14.285714 as a float leaves 0x1.24928p-2
    // (in double the remainder would be 0x1.24924ap-2).
    EXPECT_EQ(s.growthRemainder, 0x1.24928p-2f);

    // With K = 1000 the remainder decides the next step: 14.925 grows to
    // 22.2, while 14 alone would only give 20.8.
    s.K = 1000;
    s.N = 10;
    s.growthRemainder = 0.0f;
    migrate(*world, 1);
    EXPECT_EQ(s.N, 14);
    migrate(*world, 1);
    EXPECT_EQ(s.N, 22);
}

TEST(DemographyMigrationModel, EmigrationShareSwitchesFromColonisationToOccupation) {
    Settings settings = plainSettings();
    settings.migrCol = 0.3f;
    settings.migrOcc = 0.1f;
    EXPECT_FLOAT_EQ(emigrationShare(settings, 0, 100), static_cast<float>(0.3 - 0.2 / 1001.0));
    EXPECT_NEAR(emigrationShare(settings, 50, 100), 0.2f, 1e-6f);  // 13.8155 is ln 10^6 to four decimals
    EXPECT_NEAR(emigrationShare(settings, 100, 100), 0.1f + 0.2f * 0.001f, 1e-6f);
}

TEST(DemographyMigrationModel, UpstreamMovesWeighTheRatioSquaredAgainstDownstreamOnes) {
    for (const float u : {1.0f, 2.0f}) {
        Settings settings = noGrowth();
        settings.upstreamMigrationRatio = u;
        auto world = worldWith(settings, upAndDown);
        stateOf(*world, 1).N = 102;  // 51 emigrants
        migrate(*world, 1);
        const std::int16_t up = historyOf(*world, 2).immigrantsAt(0, 1);
        const std::int16_t down = historyOf(*world, 3).immigrantsAt(0, 1);
        if (u == 1.0f) {
            EXPECT_EQ(up, 25);  // 25.5 each, rounded down
            EXPECT_EQ(down, 25);
        } else {
            EXPECT_EQ(up, 40);  // weights 2 and 1/2: 40.8 and 10.2
            EXPECT_EQ(down, 10);
        }
        EXPECT_EQ(stateOf(*world, 2).BilanMigr, up);
        EXPECT_EQ(stateOf(*world, 3).BilanMigr, down);
        EXPECT_EQ(stateOf(*world, 1).BilanMigr, -(up + down));
        EXPECT_EQ(stateOf(*world, 1).N, 102);  // emigrants leave through the balance only
    }
}

TEST(DemographyMigrationModel, WeightsAndSharesAreSinglePrecision) {
    // u = 3, both neighbours empty with K = 100: shares 0.9 and 0.1 of 10
    // emigrants. In float arithmetic (t = 1/u, the room ratio 1/101, the
    // shares) the downstream share times 10 reaches 1; in double it stays a
    // hair below and the downstream neighbour would get no one.
    Settings settings = noGrowth();
    settings.upstreamMigrationRatio = 3.0f;
    auto world = worldWith(settings, upAndDown);
    stateOf(*world, 1).N = 20;  // 10 emigrants
    migrate(*world, 1);
    EXPECT_EQ(historyOf(*world, 2).immigrantsAt(0, 1), 9);
    EXPECT_EQ(historyOf(*world, 3).immigrantsAt(0, 1), 1);
}

TEST(DemographyMigrationModel, AnEmptyNeighbourWeighsAsMuchAsItHasRoom) {
    auto world = worldWith(noGrowth(), fork);
    stateOf(*world, 1).N = 306;  // 153 emigrants
    stateOf(*world, 3).N = 100;  // full
    migrate(*world, 1);
    // Weights 101 (empty) and 1 (full): 151.5 and 1.5 of the 153.
    EXPECT_EQ(historyOf(*world, 2).immigrantsAt(1, 1), 151);
    EXPECT_EQ(historyOf(*world, 3).immigrantsAt(1, 1), 1);
}

TEST(DemographyMigrationModel, TheDeterministicSplitRoundsDownAndKeepsTheRest) {
    auto world = worldWith(noGrowth(), fork);
    stateOf(*world, 1).N = 11;  // 5 emigrants over two equal shares
    migrate(*world, 1);
    EXPECT_EQ(stateOf(*world, 2).BilanMigr, 2);
    EXPECT_EQ(stateOf(*world, 3).BilanMigr, 2);
    EXPECT_EQ(stateOf(*world, 1).BilanMigr, -4);
}

TEST(DemographyMigrationModel, ClosedSegmentsLoseTheirPopulationAndReceiveNoOne) {
    auto world = worldWith(noGrowth(), fork);
    stateOf(*world, 1).N = 102;
    seg(*world, 2).accessible = false;
    stateOf(*world, 3).N = 50;
    seg(*world, 3).accessible = false;
    migrate(*world, 1);
    EXPECT_EQ(stateOf(*world, 3).N, 0);          // closed with people on it: lost at once
    EXPECT_EQ(stateOf(*world, 1).BilanMigr, 0);  // nowhere to go: all stay
    EXPECT_EQ(stateOf(*world, 2).BilanMigr, 0);

    seg(*world, 3).accessible = true;  // one open neighbour takes every emigrant
    stateOf(*world, 3).N = 0;
    migrate(*world, 1);
    EXPECT_EQ(stateOf(*world, 3).BilanMigr, 51);
    EXPECT_EQ(historyOf(*world, 3).immigrantsAt(1, 1), 51);
    EXPECT_EQ(historyOf(*world, 2).immigrantsAt(1, 1), 0);
}

TEST(DemographyMigrationModel, AnUnknownModelIsFatal) {
    auto world = worldWith(noGrowth(), fork);
    stateOf(*world, 1).N = 102;
    for (const std::int32_t model : {0, 5}) {
        try {
            migrate(*world, model);
            FAIL() << model;
        } catch (const SimulationError& e) {
            EXPECT_EQ(e.message(), "runMigrationModel(): unknown demographic model!");
            EXPECT_TRUE(e.isFatal());
        }
    }
    EXPECT_EQ(stateOf(*world, 1).BilanMigr, 0);  // no segment touched
}

TEST(DemographyMigrationModel, ManyImmigrantsSaturateTheBalanceWithAWarning) {
    // Three full segments of capacity 32767 flow into segment 1, which is
    // empty and so draws nearly all of their 3 x 16383 emigrants.
    Settings settings = noGrowth();
    settings.carryingCapacity = 32767;
    auto world = worldWith(settings, {{1, 1, 2}, {2, 3, 1}, {3, 4, 1}, {4, 5, 1}}, 32767);
    for (std::int32_t id = 2; id <= 4; ++id) stateOf(*world, id).N = 32767;
    testing::internal::CaptureStdout();
    migrate(*world, 1);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(stateOf(*world, 1).BilanMigr, 32767);
    EXPECT_NE(out.find("WARNING: 16-bit overflow: the migration balance BilanMigr of segment 1 at generation 1"),
              std::string::npos)
        << out;
}

}  // namespace
