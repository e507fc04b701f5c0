#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <string>
#include <vector>

#include "../../tools/DrainageGenerator.h"
#include "drainage/DrainageFixture.h"

using namespace fluviagen;

using namespace drainage_test;

namespace {

std::string withoutDurations(const std::string& text) {
    return std::regex_replace(text, std::regex("Duration: [0-9.]+ sec"), "Duration: T");
}

std::vector<int> origins(const Drainage& d) {
    std::vector<int> ids;
    for (const auto& [id, s] : d.segments) ids.push_back(s->originSegment ? s->originSegment->id : 0);
    return ids;
}

class BuildWorldTest : public DrainageTest {
protected:
    // A chain of nodes 1, 2, ... due north from (10, 50), 0.01 degrees
    // apart, segment i flowing from node i to node i + 1 with the given
    // lengths.
    void writeChain(const std::vector<float>& lengths) {
        std::vector<NodeRow> nodes;
        std::vector<SegmentRow> segments;
        for (int i = 0; i <= static_cast<int>(lengths.size()); ++i)
            nodes.push_back({i + 1, 10.0f, 50.0f + 0.01f * static_cast<float>(i)});
        for (int i = 0; i < static_cast<int>(lengths.size()); ++i)
            segments.push_back({i + 1, i + 1, i + 2, lengths[static_cast<std::size_t>(i)]});
        writeDrainage(nodes, segments);
    }
};

}  // namespace

TEST_F(BuildWorldTest, DrainageAsRead) {
    writeChain({500, 700});
    const auto run = build();
    EXPECT_EQ(run->drainage->size(), 2);
    EXPECT_EQ(run->fullDrainage, nullptr);
    EXPECT_EQ(withoutDurations(console), "\nBuild World ...\n\tRead node file '" + path("nodes.txt") +
                                             "' ... done. (Nodes: 3; Duration: T)\n\tRead segment file '" +
                                             path("segments.txt") +
                                             "' ... \ndone. (Segments: 2; Duration: T)\nBuild world done (Duration: T; "
                                             "Segments: 2)\n");
}

TEST_F(BuildWorldTest, CarryAfterTwoPointFourLengths) {
    // 2400 m with target 1000 m: two pieces; the 400 m left join the 200 m of
    // the next segment, which makes one more piece (600 m > 500 m).
    writeChain({2400, 200});
    settings.segmentLength = 1000;
    const auto run = build();
    const Drainage& d = *run->drainage;
    ASSERT_EQ(d.size(), 3);
    EXPECT_EQ(origins(d), (std::vector<int>{1, 1, 2}));
    EXPECT_EQ(d.nodes->size(), 4);
    for (const auto& [id, s] : d.segments) {
        EXPECT_EQ(s->length, 1000.0f);
        EXPECT_EQ(s->originSegment, run->fullDrainage->find(s->originSegment->id));
        EXPECT_FLOAT_EQ(s->lat, (s->fromNode->lat + s->toNode->lat) / 2);
    }
    // The first cut lies inside segment 1, 1000/1200 of the way to its middle
    // point; the second ends at its far node.
    EXPECT_NEAR(d.find(1)->toNode->lat, 50.0f + 0.005f * 1000.0f / 1200.0f, 1e-5);
    EXPECT_EQ(d.find(2)->toNode->lat, 50.01f);
    EXPECT_EQ(d.find(3)->toNode->lat, 50.02f);
    EXPECT_EQ(neighbourText(*d.find(2)), "1:2 3:3");
    expectSymmetric(d);
    EXPECT_NE(withoutDurations(console).find("Build world done (Duration: T; Segments: 3; 1000 meter)\n"),
              std::string::npos)
        << console;
}

TEST_F(BuildWorldTest, ShortPiecesAndNegativeCarry) {
    // Four segments of 200 m: nothing until 600 m are reached at node 4; the
    // new segment runs from node 1's point to node 4's.
    writeChain({200, 200, 200, 200});
    settings.segmentLength = 1000;
    auto run = build();
    ASSERT_EQ(origins(*run->drainage), (std::vector<int>{3}));
    EXPECT_EQ(run->drainage->nodes->size(), 2);  // node 5 maps onto the end of the piece
    EXPECT_EQ(run->drainage->find(1)->fromNode->lat, 50.0f);
    EXPECT_EQ(run->drainage->find(1)->toNode->lat, 50.03f);

    // 700 m make one piece ending at the far node and carry -300 m: the next
    // 750 m leave 450 m, no piece, carried on to the 100 m segment (550 m).
    writeChain({700, 750, 100});
    run = build();
    EXPECT_EQ(origins(*run->drainage), (std::vector<int>{1, 3}));
    EXPECT_EQ(run->drainage->find(1)->toNode->lat, 50.01f);
}

TEST_F(BuildWorldTest, CutsInsideALongSegment) {
    // 4000 m into pieces of 1000 m: towards the middle point while it is
    // ahead, then towards the far node: cuts at the quarter points.
    writeChain({4000});
    settings.segmentLength = 1000;
    const auto run = build();
    const Drainage& d = *run->drainage;
    ASSERT_EQ(d.size(), 4);
    for (int i = 1; i <= 4; ++i) {
        EXPECT_NEAR(d.find(i)->toNode->lat, 50.0f + 0.0025f * static_cast<float>(i), 1e-5) << i;
        EXPECT_EQ(d.find(i)->toNode->lon, 10.0f);
    }
}

TEST_F(BuildWorldTest, CutPointsMixDoubleAndSinglePrecision) {
    // 450.3 m (no piece, carried on) then 1149.33 m: 1599.63 m are left, so
    // the first cut lies towards the middle point of the second segment at
    // f = M / (remaining - 0.5 length), the difference taken in double and f
    // stored as a float: 0x1.f3878p-1 (all in float it would be
    // 0x1.f38782p-1), and the new point is 0 + (0.009 - 0) f in float.
    writeDrainage({{1, 0.0f, 0.0f}, {2, 0.0f, 0.004f}, {3, 0.0f, 0.014f}}, {{1, 1, 2, 450.3f}, {2, 2, 3, 1149.33f}});
    settings.segmentLength = 1000;
    const auto run = build();
    const Drainage& d = *run->drainage;
    ASSERT_EQ(d.size(), 2);
    EXPECT_EQ(d.find(1)->toNode->lat, 0x1.1fba98p-7f);
    EXPECT_EQ(d.find(1)->toNode->lon, 0.0f);
    EXPECT_EQ(d.find(2)->toNode->lat, 0.014f);  // the second piece ends at the far node
}

TEST_F(BuildWorldTest, ComponentsStartAtTheirLowestNode) {
    // Component A: 1 -> 2. Component B: 6 -> 3 -> 4, walked from node 3: the
    // segment leaving it first (downstream), then the one entering it, cut
    // upstream so that the new segment still flows towards node 3.
    const std::vector<NodeRow> nodes = {
        {1, 10.0f, 50.0f}, {2, 10.0f, 50.01f}, {3, 11.0f, 50.01f}, {4, 11.0f, 50.0f}, {6, 11.0f, 50.02f}};
    writeDrainage(nodes, {{1, 1, 2, 1000}, {2, 6, 3, 1000}, {3, 3, 4, 1000}});
    settings.segmentLength = 1000;
    const auto run = build();
    const Drainage& d = *run->drainage;
    ASSERT_EQ(d.size(), 3);
    EXPECT_EQ(origins(d), (std::vector<int>{1, 3, 2}));
    EXPECT_EQ(d.nodes->size(), 5);
    EXPECT_EQ(d.find(2)->fromNode->id, 3);  // node 3's new node was made third
    EXPECT_EQ(d.find(3)->toNode->id, 3);
    EXPECT_EQ(d.find(3)->fromNode->lat, 50.02f);
    EXPECT_EQ(neighbourText(*d.find(2)), "3:2");
    EXPECT_EQ(neighbourText(*d.find(1)), "");
    // The walk's marks are left as "processed": every segment as read is
    // accessible again.
    for (const auto& [id, s] : run->fullDrainage->segments) EXPECT_TRUE(s->accessible);

    // Populations in id mode refer to the new ids.
    write("samples.txt", "1\n0\nt\ns 4 3\n");
    const PopulationVector& samples = *quietly([&] { return &run->samplePopulations(); });
    EXPECT_EQ(samples.populations[0]->segment->originSegment, run->fullDrainage->find(2));
}

TEST_F(BuildWorldTest, TransformDropsWhatReferredToTheOldSegments) {
    writeChain({1500, 1500});
    auto run = build();
    write("samples.txt", "1\n0\nt\ns 4 2\n");
    quietly([&] { return &run->samplePopulations(); });
    Segment* sampled = run->drainage->find(2);
    ASSERT_EQ(sampled->samplePopulation, run->samples->populations[0].get());
    run->databaseReady = true;

    run->settings.segmentLength = 500;
    quietly([&] {
        run->buildDrainage();
        return true;
    });
    EXPECT_EQ(run->samples, nullptr);
    EXPECT_EQ(run->sources, nullptr);
    EXPECT_EQ(run->database, nullptr);
    EXPECT_FALSE(run->databaseReady);
    EXPECT_EQ(sampled->samplePopulation, nullptr);
    EXPECT_EQ(run->fullDrainage->find(2), sampled);
    EXPECT_EQ(run->drainage->size(), 6);
}

TEST_F(BuildWorldTest, Failures) {
    // No usable segment.
    writeDrainage({{1, 10.0f, 50.0f}}, {{1, 1, 7, 100}});
    auto run = std::make_unique<SimulationLoop>(settings, rng);
    SimulationError e = failure([&] { run->buildDrainage(); });
    EXPECT_EQ(e.message(), "The drainage contains no segments!");
    EXPECT_TRUE(e.isFatal());
    EXPECT_EQ(run->drainage, nullptr);

    // Segment lengths that are not positive, or so small that the drainage
    // would not fit in memory.
    writeChain({1000});
    settings.segmentLength = -100;
    run = std::make_unique<SimulationLoop>(settings, rng);
    e = failure([&] { run->buildDrainage(); });
    EXPECT_NE(e.message().str().find("must be a positive number of metres (or 0), not -100!"), std::string::npos)
        << e.message();
    EXPECT_TRUE(e.isFatal());
    settings.segmentLength = 1e-4f;
    run = std::make_unique<SimulationLoop>(settings, rng);
    e = failure([&] { run->buildDrainage(); });
    EXPECT_NE(e.message().str().find("Segment '1' (1000 m) is too long to be cut into pieces of 0.0001 m!"),
              std::string::npos)
        << e.message();
    writeChain(std::vector<float>(101, 999999));
    settings.segmentLength = 1;
    run = std::make_unique<SimulationLoop>(settings, rng);
    e = failure([&] { run->buildDrainage(); });
    EXPECT_NE(e.message().str().find("into more than 100000000 segments"), std::string::npos) << e.message();
}

TEST_F(BuildWorldTest, ASegmentLengthTooSmallForTheMemoryIsShownAsWritten) {
    // 90 million pieces of 0.01 m: not whole metres, and more memory than a
    // test machine has.
    writeChain(std::vector<float>(100, 9000));
    if (availableMemoryBytes() > 42e9) GTEST_SKIP() << "more memory than 90 million segments need";
    settings.segmentLength = 0.01f;
    auto run = std::make_unique<SimulationLoop>(settings, rng);
    const SimulationError e = failure([&] { run->buildDrainage(); });
    EXPECT_EQ(e.message().str().rfind("Settings line 40 (segment length): a segment length of 0.01 m would cut the "
                                      "drainage (900000 m of river) into about 900001",
                                      0),
              0u)
        << e.message();
    EXPECT_NE(e.message().str().find(" bytes of memory are available!"), std::string::npos);
}

TEST_F(BuildWorldTest, GeneratedDrainageResampled) {
    const auto g = drainage_generator::generate(4000, 7);
    write("nodes.txt", drainage_generator::nodeFileText(g));
    write("segments.txt", drainage_generator::segmentFileText(g));
    settings.segmentLength = 1500;
    const auto run = build();
    const Drainage& d = *run->drainage;
    double total = 0;
    for (const auto& [id, s] : run->fullDrainage->segments) total += s->length;
    // Each node as read maps onto one new node and no cycle is made: the
    // resampled tree has one node more than segments.
    EXPECT_EQ(d.nodes->size(), d.size() + 1);
    EXPECT_NEAR(d.size(), total / 1500, 0.15 * total / 1500);
    int id = 0;
    for (const auto& [key, s] : d.segments) {
        EXPECT_EQ(key, ++id);
        EXPECT_EQ(s->length, 1500.0f);
        ASSERT_NE(s->originSegment, nullptr);
        EXPECT_EQ(run->fullDrainage->find(s->originSegment->id), s->originSegment);
    }
    expectSymmetric(d);
}

TEST(FixedLengthTransform, LongRiverWithoutDeepRecursion) {
    // 100000 segments in one chain: the walk must not use one call frame per
    // segment.
    Drainage full;
    constexpr int n = 100000;
    for (int i = 1; i <= n + 1; ++i) {
        auto node = std::make_unique<DrainageNode>();
        node->id = i;
        node->lon = 10.0f;
        node->lat = 50.0f + 0.00001f * static_cast<float>(i);
        full.nodes->store(std::move(node));
    }
    for (int i = 1; i <= n; ++i) {
        auto s = std::make_unique<Segment>();
        s->id = i;
        s->length = 1000;
        s->fromNode = full.nodes->find(i);
        s->toNode = full.nodes->find(i + 1);
        s->fromNode->outgoing.push_back(s.get());
        s->toNode->incoming.push_back(s.get());
        s->lon = 10.0f;
        s->lat = (s->fromNode->lat + s->toNode->lat) / 2;
        full.store(std::move(s));
    }
    full.buildNeighbourLists();
    const auto resampled = resampleToFixedLength(full, 2000);
    EXPECT_EQ(resampled->size(), n / 2);
    EXPECT_EQ(resampled->find(n / 2)->originSegment, full.find(n));
}
