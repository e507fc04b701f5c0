#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "DemographyFixture.h"
#include "random/Rng.h"
#include "demography/Demography.h"
#include "demography/StartingConditions.h"
#include "base/Exception.h"

using namespace fluviagen;

using namespace demography_test;

namespace {

void seed(SimulationLoop& world, long value) {
    Rng& rng = static_cast<TestLoop&>(world).rng;
    rng = Rng{};
    testing::internal::CaptureStdout();
    rng.seedMain(-value);
    testing::internal::GetCapturedStdout();
}

std::unique_ptr<TestLoop> treeWorld(std::int32_t model, std::int32_t generations) {
    Settings settings = plainSettings();
    settings.demographicModel = model;
    settings.numGenerations = generations;
    settings.migrCol = 0.3f;
    settings.migrOcc = 0.1f;
    settings.upstreamMigrationRatio = 0.5f;
    auto world = makeWorld(settings, binaryTree(5));  // 31 segments
    addSource(*world, 1, 60);
    addSource(*world, 20, 150);
    testing::internal::CaptureStdout();
    world->buildHistory();
    testing::internal::GetCapturedStdout();
    return world;
}

std::string simulate(SimulationLoop& world) {
    testing::internal::CaptureStdout();
    world.demographicPhase();
    return testing::internal::GetCapturedStdout();
}

// The balance of every segment in generation t equals what its immigrant
// series recorded coming in, minus what its neighbours' series recorded
// coming from it.
void expectBalancesMatchTheRecord(SimulationLoop& world, std::int32_t t) {
    for (auto& [id, segment] : world.drainage->segments) {
        std::int32_t in = 0;
        std::int32_t out = 0;
        const StatesOfCell& history = world.database->history(segment->index);
        for (std::size_t j = 0; j < segment->neighbours.size(); ++j) {
            in += history.immigrantsAt(static_cast<std::int32_t>(j), t);
            out += world.database->history(segment->neighbours[j]->index).immigrantsAt(segment->reversePositions[j], t);
        }
        const State& state = stateOf(world, id);
        ASSERT_EQ(state.BilanMigr, in - out) << "segment " << id << " generation " << t;
        ASSERT_GE(state.N, 0);
        ASSERT_EQ(history.sizeAt(t), state.N);
    }
}

TEST(DemographySimulation, TheDatabaseAccountsForEveryMigrantOfEveryGeneration) {
    for (std::int32_t model = 1; model <= 4; ++model) {
        // Generation by generation through the plain loop over all segments.
        auto stepwise = treeWorld(model, 60);
        seed(*stepwise, 4711);
        testing::internal::CaptureStdout();
        startingConditions(*stepwise);
        for (std::int32_t t = 1; t <= 60; ++t) {
            iterateCells(*stepwise->drainage, stepwise->states, stepwise->database.get(), stepwise->settings, t,
                         stepwise->rng);
            expectBalancesMatchTheRecord(*stepwise, t);
        }
        testing::internal::GetCapturedStdout();

        // The simulation loop, which visits only occupied segments, gives the
        // same database bit for bit from the same seed.
        auto fast = treeWorld(model, 60);
        seed(*fast, 4711);
        simulate(*fast);
        EXPECT_EQ(snapshot(*fast->database), snapshot(*stepwise->database)) << "model " << model;
        for (std::int32_t id = 1; id <= 31; ++id) {
            EXPECT_EQ(stateOf(*fast, id).N, stateOf(*stepwise, id).N);
            EXPECT_EQ(stateOf(*fast, id).BilanMigr, stateOf(*stepwise, id).BilanMigr);
            EXPECT_EQ(stateOf(*fast, id).growthRemainder, stateOf(*stepwise, id).growthRemainder);
        }
        for (std::int16_t v : fast->database->history(0).sizes.entries()) EXPECT_GE(v, 0);
        std::int32_t colonised = 0;
        for (std::int32_t id = 1; id <= 31; ++id) colonised += stateOf(*fast, id).N > 0;
        EXPECT_EQ(colonised, 31) << "model " << model;  // the whole tree is reached in 60 generations
    }
}

TEST(DemographySimulation, ALaterSimulationStartsFromClearedStatesAndHistories) {
    auto world = treeWorld(1, 30);
    const std::string first = simulate(*world);
    EXPECT_NE(first.find("(first time) ..."), std::string::npos);
    EXPECT_NE(first.find("\n\nDemography simulation over 30 generations ..."), std::string::npos);
    EXPECT_NE(first.find("\nDemography simulation done (Duration: "), std::string::npos);
    EXPECT_FALSE(world->databaseReady);
    const auto once = snapshot(*world->database);

    // Leave traces a reset must remove.
    stateOf(*world, 31).growthRemainder = 0.9f;
    world->database->history(30).storeImmigrants(0, 5, 1234);
    const std::string second = simulate(*world);
    EXPECT_NE(second.find("(resetting) ..."), std::string::npos);
    EXPECT_EQ(snapshot(*world->database), once);
}

TEST(DemographySimulation, ABraidedReachKeepsEveryMigrantInTheRecord) {
    // Segments 2 and 3 both run from node 3 to node 2: each stands twice in
    // the other's list (kinds 1 and 4), and both entries lead back to one
    // record slot. The record must hold what was sent through both.
    Settings settings = plainSettings();
    settings.numGenerations = 1;
    auto world = makeWorld(settings, {{1, 2, 1}, {2, 3, 2}, {3, 3, 2}});
    addSource(*world, 2, 100);
    testing::internal::CaptureStdout();
    world->buildHistory();
    testing::internal::GetCapturedStdout();
    simulate(*world);
    const Segment& braid = seg(*world, 3);
    ASSERT_EQ(braid.neighbours.size(), 3u);
    ASSERT_EQ(braid.neighbours[0]->id, 2);
    ASSERT_EQ(braid.neighbours[2]->id, 2);
    const StatesOfCell& history = historyOf(*world, 3);
    const std::int32_t fromTwo = history.immigrantsAt(0, 1);
    EXPECT_GT(fromTwo, 0);
    EXPECT_EQ(history.immigrantsAt(2, 1), 0);
    EXPECT_EQ(history.sizeAt(1), fromTwo);  // it was empty and sent no one
}

TEST(DemographySimulation, ZeroGenerationsStoreOnlyTheStart) {
    auto world = treeWorld(5, 0);  // the unknown model is never reached
    simulate(*world);
    EXPECT_EQ(world->database->history(0).sizes.count(), 1);
    EXPECT_EQ(historyOf(*world, 1).sizeAt(0), 60);
}

TEST(DemographySimulation, AnUnknownModelEndsTheProgramInTheFirstGeneration) {
    auto world = treeWorld(5, 10);
    testing::internal::CaptureStdout();
    try {
        world->demographicPhase();
        FAIL();
    } catch (const SimulationError& e) {
        EXPECT_EQ(e.message(), "runMigrationModel(): unknown demographic model!");
        EXPECT_TRUE(e.isFatal());
    }
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(world->databaseReady);  // the next simulation resets what this one left
}

TEST(DemographySimulation, WithoutADatabaseTheSimulationRefusesToStart) {
    auto world = makeWorld(plainSettings(), binaryTree(2));
    try {
        world->demographicPhase();
        FAIL();
    } catch (const SimulationError& e) {
        EXPECT_TRUE(e.isFatal());
        EXPECT_NE(e.message().str().find("BuildDB"), std::string::npos);
    }
}

// ---- the random models against theory, from fixed seeds -------------------

// Isolated segments (no neighbours) or forks, each an independent replicate.
std::unique_ptr<TestLoop> replicates(Settings settings, std::int32_t count, bool forks) {
    std::vector<std::array<std::int32_t, 3>> segments;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::int32_t node = 4 * i + 1;
        if (forks) {
            segments.push_back({3 * i + 1, node, node + 1});      // the stem
            segments.push_back({3 * i + 2, node + 1, node + 2});  // two branches
            segments.push_back({3 * i + 3, node + 1, node + 3});
        } else {
            segments.push_back({i + 1, node, node + 1});
        }
    }
    settings.numGenerations = 1;
    auto world = makeWorld(settings, segments);
    for (std::int32_t i = 0; i < count; ++i) addSource(*world, forks ? 3 * i + 1 : i + 1, 50);
    testing::internal::CaptureStdout();
    world->buildHistory();
    testing::internal::GetCapturedStdout();
    return world;
}

struct Moments {
    double mean = 0;
    double variance = 0;
};

template <typename Value>
Moments momentsOf(std::int32_t count, Value value) {
    double sum = 0;
    double squares = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        const double x = value(i);
        sum += x;
        squares += x * x;
    }
    Moments m;
    m.mean = sum / count;
    m.variance = (squares - sum * sum / count) / (count - 1);
    return m;
}

TEST(DemographySimulation, PoissonGrowthScattersAroundTheDeterministicSize) {
    // r = 0.5, K = 100, N = 50: the deterministic size is 60, the random one
    // Poisson with mean and variance 60.
    Settings settings = plainSettings();
    settings.demographicModel = 2;
    settings.migrCol = settings.migrOcc = 0.0f;
    constexpr std::int32_t n = 4000;
    auto world = replicates(settings, n, false);
    seed(*world, 2024);
    simulate(*world);
    const Moments m = momentsOf(n, [&](std::int32_t i) { return historyOf(*world, i + 1).sizeAt(1); });
    EXPECT_NEAR(m.mean, 60.0, 4 * std::sqrt(60.0 / n));
    EXPECT_NEAR(m.variance, 60.0, 4 * 60.0 * std::sqrt(2.0 / (n - 1)));
}

TEST(DemographySimulation, TheMultinomialSplitIsBinomialPerNeighbour) {
    // The stem keeps its 50 (r = 0) and sends 25 of them (share 0.5) into two
    // equal branches: the first branch's count is Binomial(25, 1/2), and the
    // second takes the rest.
    Settings settings = plainSettings();
    settings.demographicModel = 3;
    settings.growthRate = 0.0f;
    constexpr std::int32_t n = 3000;
    auto world = replicates(settings, n, true);
    seed(*world, 77);
    simulate(*world);
    const auto fromStem = [&](std::int32_t i, std::int32_t branch) {
        return historyOf(*world, 3 * i + branch).immigrantsAt(1, 1);  // the stem stands second
    };
    for (std::int32_t i = 0; i < n; ++i) ASSERT_EQ(fromStem(i, 2) + fromStem(i, 3), 25);
    const Moments m = momentsOf(n, [&](std::int32_t i) { return fromStem(i, 2); });
    EXPECT_NEAR(m.mean, 12.5, 4 * std::sqrt(6.25 / n));
    EXPECT_NEAR(m.variance, 6.25, 4 * 6.25 * std::sqrt(2.0 / (n - 1)));
}

TEST(DemographySimulation, RandomCountsAndSplitTogether) {
    // n ~ Poisson(50), e ~ Poisson(trunc(n / 2)): E[e] = (50 - P(n odd)) / 2
    // = 24.75 + 0.25 e^-100, Var[e] = E[trunc(n / 2)] + Var[trunc(n / 2)]
    // ~ 24.75 + 12.5. All of e is split, each branch taking half on average.
    Settings settings = plainSettings();
    settings.demographicModel = 4;
    settings.growthRate = 0.0f;
    constexpr std::int32_t n = 3000;
    auto world = replicates(settings, n, true);
    seed(*world, 99);
    simulate(*world);
    const auto fromStem = [&](std::int32_t i, std::int32_t branch) {
        return historyOf(*world, 3 * i + branch).immigrantsAt(1, 1);
    };
    const Moments sent = momentsOf(n, [&](std::int32_t i) { return fromStem(i, 2) + fromStem(i, 3); });
    EXPECT_NEAR(sent.mean, 24.75, 4 * std::sqrt(37.25 / n));
    EXPECT_NEAR(sent.variance, 37.25, 4 * 37.25 * std::sqrt(2.0 / (n - 1)) + 1.0);
    const Moments first = momentsOf(n, [&](std::int32_t i) { return fromStem(i, 2); });
    EXPECT_NEAR(first.mean, sent.mean / 2, 4 * std::sqrt(first.variance / n));
}

}  // namespace
