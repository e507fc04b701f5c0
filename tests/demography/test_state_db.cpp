#include <gtest/gtest.h>

#include <string>

#include "DemographyFixture.h"
#include "demography/StateDB.h"
#include "base/Exception.h"

using namespace fluviagen;

using namespace demography_test;

namespace {

// Segment 1 has three neighbours (2 flows in, 3 leaves its lower end, 4
// joins it there); segment 2 has one, 3 and 4 have two each.
const std::vector<std::array<std::int32_t, 3>> star = {{1, 1, 2}, {2, 3, 1}, {3, 2, 4}, {4, 5, 2}};

TEST(DemographyDatabase, BuildDBLinksOneHistoryPerSegment) {
    Settings settings = plainSettings();
    settings.numGenerations = 1000;
    auto world = makeWorld(settings, star);
    // (neighbours + 1) x 1001 x 2: 8008 bytes for segment 1.
    EXPECT_EQ(databaseBytes(*world->drainage, 1000), 8008u + 4004u + 6006u + 6006u);

    testing::internal::CaptureStdout();
    world->buildHistory();
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("\nCreate DB for 4 segments and 1000 generations ... done. (Duration: ", 0), 0u) << out;
    ASSERT_TRUE(world->database);
    EXPECT_TRUE(world->databaseReady);
    const StateDB& db = *world->database;
    EXPECT_EQ(db.count, 4);
    EXPECT_EQ(db.generations, 1000);
    for (std::int32_t id = 1; id <= 4; ++id) {
        const Segment& s = seg(*world, id);
        EXPECT_EQ(s.index, id - 1);
        const StatesOfCell& h = db.history(s.index);
        EXPECT_EQ(h.immigrants.size(), s.neighbours.size());
        EXPECT_EQ(h.sizes.count(), 1001);
    }
    EXPECT_EQ(historyOf(*world, 1).immigrants.size(), 3u);
    // One table: the series follow each other, segment after segment, each
    // segment's sizes before its immigrants, each on whole cache lines
    // (1001 entries take 1024).
    const std::int16_t* first = historyOf(*world, 1).sizes.data();
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(first) % 64, 0u);
    EXPECT_EQ(historyOf(*world, 1).immigrants[0].data(), first + 1024);
    EXPECT_EQ(historyOf(*world, 2).sizes.data(), first + 4 * 1024);
}

TEST(DemographyDatabase, ReadsOutsideTheSeriesFallBackToGenerationZero) {
    Settings settings = plainSettings();
    settings.numGenerations = 5;
    auto world = makeWorld(settings, star);
    testing::internal::CaptureStdout();
    world->buildHistory();
    testing::internal::GetCapturedStdout();
    StatesOfCell& h = historyOf(*world, 1);
    h.storeSize(0, 11);
    h.storeSize(5, 55);
    h.storeImmigrants(2, 0, 7);
    h.storeImmigrants(2, 3, 9);
    EXPECT_EQ(h.sizeAt(5), 55);
    EXPECT_EQ(h.sizeAt(-1), 11);
    EXPECT_EQ(h.sizeAt(6), 11);
    EXPECT_EQ(h.immigrantsAt(2, 3), 9);
    EXPECT_EQ(h.immigrantsAt(2, 6), 7);

    // A second buildHistory keeps the database and clears it.
    const StateDB* before = world->database.get();
    world->databaseReady = false;
    testing::internal::CaptureStdout();
    world->buildHistory();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(world->database.get(), before);
    EXPECT_TRUE(world->databaseReady);
    for (std::int16_t v : snapshot(*world->database)) ASSERT_EQ(v, 0);
}

TEST(DemographyDatabase, ADatabaseTooLargeForMemoryIsRefusedWithItsSize) {
    Settings settings = plainSettings();
    settings.numGenerations = 2147483647;
    std::vector<std::array<std::int32_t, 3>> chain;
    for (std::int32_t i = 1; i <= 200; ++i) chain.push_back({i, i, i + 1});
    auto world = makeWorld(settings, chain);
    const std::uint64_t bytes = databaseBytes(*world->drainage, settings.numGenerations);
    // 198 inner segments with 2 neighbours, 2 end segments with 1: 598
    // series of 2^31 entries, 2.5 TB.
    EXPECT_EQ(bytes, 598u * 2147483648ull * 2u);
    testing::internal::CaptureStdout();
    try {
        world->buildHistory();
        FAIL() << "a 2.5 TB database was accepted";
    } catch (const SimulationError& e) {
        EXPECT_TRUE(e.isFatal());
        EXPECT_NE(e.message().str().find(std::to_string(bytes) + " bytes"), std::string::npos) << e.message();
    }
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(world->database);
    EXPECT_FALSE(world->databaseReady);
}

TEST(DemographyDatabase, ANegativeGenerationCountKeepsGenerationZero) {
    // Reads of any generation fall back to entry 0, so even a database for
    // no generation at all must hold that entry.
    const auto drainage = makeDrainage({{1, 1, 2}});
    const StateDB db(*drainage, -3);
    EXPECT_EQ(db.history(0).sizes.count(), 1);
    EXPECT_EQ(db.history(0).sizes.at(5), 0);
}

// The table is written once: a fresh one takes no page for zeros, a second
// entire simulation on a table the first one partly wrote reads exactly as on
// a fresh table, and clearing leaves no written page behind.
TEST(DemographyDatabase, AReusedHistoryReadsLikeAFreshOne) {
    Settings settings = plainSettings();
    settings.demographicModel = 4;
    settings.carryingCapacity = 40;
    settings.migrCol = 0.2f;
    settings.migrOcc = 0.05f;
    settings.numGenerations = 4000;  // series of 8 KB: pages of one series
    const auto tree = binaryTree(6);
    const auto simulate = [](TestLoop& world, long seed) {
        testing::internal::CaptureStdout();
        world.rng = Rng{};
        world.rng.seedMain(seed);
        world.demographicPhase();
        testing::internal::GetCapturedStdout();
    };
    const auto build = [](TestLoop& world) {
        testing::internal::CaptureStdout();
        world.buildHistory();
        testing::internal::GetCapturedStdout();
    };

    auto reused = makeWorld(settings, tree);
    build(*reused);
    EXPECT_EQ(reused->database->writtenPages(), 0u);
    addSource(*reused, 40, 30);  // a headwater: the river fills from there
    simulate(*reused, -5);
    const std::size_t firstPages = reused->database->writtenPages();
    EXPECT_GT(firstPages, 0u);
    // Sources elsewhere and another seed: other series and generations.
    reused->sources->populations.clear();
    addSource(*reused, 1, 25);
    addSource(*reused, 63, 12);
    simulate(*reused, -6);

    auto fresh = makeWorld(settings, tree);
    build(*fresh);
    addSource(*fresh, 1, 25);
    addSource(*fresh, 63, 12);
    simulate(*fresh, -6);
    const std::vector<std::int16_t> expected = snapshot(*fresh->database);
    EXPECT_EQ(snapshot(*reused->database), expected);
    EXPECT_EQ(reused->database->writtenPages(), fresh->database->writtenPages());

    // The first simulation wrote part of the table, as a filling river does.
    std::size_t pages = 0;
    for (const StatesOfCell& h : fresh->database->histories) pages += (1 + h.immigrants.size()) * 2;
    EXPECT_LT(firstPages, pages);
    reused->database->clear();
    EXPECT_EQ(reused->database->writtenPages(), 0u);
    for (std::int16_t v : snapshot(*reused->database)) ASSERT_EQ(v, 0);
}

}  // namespace
