#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../tools/DrainageGenerator.h"
#include "common/Geometry.h"
#include "drainage/DrainageFixture.h"

using namespace fluviagen;

using namespace drainage_test;

namespace {

// A Y junction: segments 10 (from node 3) and 11 (from node 4) join at node 2
// and flow on through segment 12 to the mouth, node 1.
const std::vector<NodeRow> yNodes = {{1, 10.0f, 50.0f}, {2, 10.0f, 50.01f}, {3, 9.99f, 50.02f}, {4, 10.01f, 50.02f}};

class SegmentFileTest : public DrainageTest {
protected:
    const std::string header =
        "Title: file with all segments\nDate: x\nSegments: 3\nSegID\tFNode\tTNode\tLength\tLon\tLat\t\n";
};

}  // namespace

TEST_F(SegmentFileTest, YJunctionKindsAndReversePositions) {
    writeDrainage(yNodes, {{10, 3, 2, -1}, {11, 4, 2, -1}, {12, 2, 1, -1}});
    const auto d = readFiles();
    ASSERT_EQ(d->size(), 3);
    // The upper segments flow into 12 (kind 3) and meet each other at their
    // lower end (kind 4); 12 receives both (kind 2).
    EXPECT_EQ(neighbourText(*d->find(10)), "12:3 11:4");
    EXPECT_EQ(neighbourText(*d->find(11)), "12:3 10:4");
    EXPECT_EQ(neighbourText(*d->find(12)), "10:2 11:2");
    EXPECT_EQ(d->find(10)->reversePositions, (std::vector<std::int32_t>{0, 1}));
    EXPECT_EQ(d->find(11)->reversePositions, (std::vector<std::int32_t>{1, 1}));
    EXPECT_EQ(d->find(12)->reversePositions, (std::vector<std::int32_t>{0, 0}));
    expectSymmetric(*d);
    EXPECT_EQ(d->dynamicEnvironment, nullptr);  // no environment given: no maps

    EXPECT_FLOAT_EQ(d->find(10)->lat, 50.015f);
    EXPECT_EQ(d->nodes->find(2)->incoming, (std::vector<Segment*>{d->find(10), d->find(11)}));
    EXPECT_NE(console.find("\tRead segment file '" + path("segments.txt") + "' ... \ndone. (Segments: 3; Duration: "),
              std::string::npos)
        << console;
}

TEST_F(SegmentFileTest, NeighbourOrderFollowsTheFileNotTheIds) {
    writeDrainage(yNodes, {{12, 2, 1, -1}, {11, 4, 2, -1}, {10, 3, 2, -1}});
    const auto d = readFiles();
    EXPECT_EQ(neighbourText(*d->find(12)), "11:2 10:2");
    EXPECT_EQ(neighbourText(*d->find(10)), "12:3 11:4");
    expectSymmetric(*d);
}

TEST_F(SegmentFileTest, ChainLoopSourceAndMouth) {
    // A chain 4 -> 3 -> 2 -> 1, a segment 5 that starts and ends at node 6
    // with segment 6 leaving that node, and a lone segment 7 (its from-node a
    // source, its to-node a mouth).
    const std::vector<NodeRow> nodes = {{1, 10.0f, 50.0f}, {2, 10.0f, 50.01f}, {3, 10.0f, 50.02f}, {4, 10.0f, 50.03f},
                                        {5, 11.0f, 50.0f}, {6, 11.0f, 50.01f}, {8, 12.0f, 50.0f},  {9, 12.0f, 50.01f}};
    writeDrainage(nodes, {{1, 4, 3, -1}, {2, 3, 2, -1}, {3, 2, 1, -1}, {5, 6, 6, 100}, {6, 6, 5, -1}, {7, 9, 8, -1}});
    const auto d = readFiles();
    EXPECT_EQ(neighbourText(*d->find(1)), "2:3");
    EXPECT_EQ(neighbourText(*d->find(2)), "1:2 3:3");
    EXPECT_EQ(neighbourText(*d->find(3)), "2:2");
    // The loop stands in both lists of node 6 and is its own neighbour twice;
    // the count formula still matches the entries.
    EXPECT_EQ(neighbourText(*d->find(5)), "6:1 5:2 5:3 6:3");
    EXPECT_EQ(d->find(5)->neighbourCount, 4);
    EXPECT_EQ(d->find(5)->reversePositions, (std::vector<std::int32_t>{0, 1, 1, 0}));
    EXPECT_EQ(neighbourText(*d->find(6)), "5:1 5:2");
    EXPECT_EQ(d->find(7)->neighbourCount, 0);
    EXPECT_TRUE(d->find(7)->neighbours.empty());
    expectSymmetric(*d);
}

TEST_F(SegmentFileTest, ManySegmentsAtOneNode) {
    // 70 tributaries meeting at one node: long neighbour arrays.
    std::vector<NodeRow> nodes = {{1, 10.0f, 50.0f}, {2, 10.0f, 50.01f}};
    std::vector<SegmentRow> segments = {{1, 2, 1, -1}};
    for (int i = 0; i < 70; ++i) {
        nodes.push_back({100 + i, 9.9f + 0.003f * static_cast<float>(i), 50.02f});
        segments.push_back({100 + i, 100 + i, 2, -1});
    }
    writeDrainage(nodes, segments);
    const auto d = readFiles();
    EXPECT_EQ(d->find(1)->neighbourCount, 70);
    EXPECT_EQ(d->find(150)->neighbourCount, 70);
    EXPECT_EQ(d->find(150)->reversePositions[0], 50);  // segment 150 is the 51st tributary of segment 1
    expectSymmetric(*d);
}

TEST_F(SegmentFileTest, GeneratedDrainage) {
    const auto g = drainage_generator::generate(3000, 42);
    write("nodes.txt", drainage_generator::nodeFileText(g));
    write("segments.txt", drainage_generator::segmentFileText(g));
    const auto d = readFiles();
    ASSERT_EQ(d->size(), 3000);
    ASSERT_EQ(d->nodes->size(), 3001);
    expectSymmetric(*d);
    for (const auto& [id, s] : d->segments) {
        EXPECT_EQ(s->length,
                  common::drainageHaversineMetres(s->fromNode->lon, s->fromNode->lat, s->toNode->lon, s->toNode->lat));
        const std::size_t listed = s->fromNode->outgoing.size() + s->fromNode->incoming.size() +
                                   s->toNode->outgoing.size() + s->toNode->incoming.size();
        EXPECT_EQ(static_cast<std::size_t>(s->neighbourCount), listed - 2);
    }
    // A tree draining to one mouth: node 1 only receives.
    EXPECT_TRUE(d->nodes->find(1)->outgoing.empty());
    EXPECT_EQ(d->nodes->find(1)->incoming.size(), 1u);
}

TEST_F(SegmentFileTest, RecordsThatCannotBeUsed) {
    write("nodes.txt", nodeFile(yNodes));
    // A missing end node and a negative id are reported; id 0 (however
    // written) gets no console line; a record cut short after its id is
    // reported too. Standard error lists every dropped record.
    write("segments.txt", header +
                              "10 3 2 1000 9.995 50.015\n7 1 99 500 10 50\n0 2 1 500 10 50\n-3 2 1 500 10 50\n"
                              "12 2 1 1100 10 50.005\n-0 2 1 5 1 1\n0.0 2 1 5 1 1\n9");
    testing::internal::CaptureStderr();
    const auto d = readFiles();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "WARNING: segment file '" + path("segments.txt") +
                  "': 6 records dropped: line 6 (segment 7: its to-node 99 is not in the node file), line 7 (segment "
                  "0: segment ids must be above 0), line 8 (segment -3: segment ids must be above 0), line 10 "
                  "(segment 0: segment ids must be above 0), line 11 (segment 0: segment ids must be above 0), line "
                  "12 (segment 9: the file ends inside the record)\n");
    EXPECT_EQ(d->size(), 2);
    EXPECT_EQ(d->find(7), nullptr);
    EXPECT_NE(console.find("\n-> Error: Segment '7' could not be read!\n"), std::string::npos) << console;
    EXPECT_NE(console.find("\n-> Error: Segment '-3' could not be read!\n"), std::string::npos);
    EXPECT_NE(console.find("\n-> Error: Segment '9' could not be read!\n"), std::string::npos);
    EXPECT_EQ(console.find("Segment '0'"), std::string::npos);
    // Node 1 lists only the stored segment.
    EXPECT_EQ(d->nodes->find(1)->incoming, (std::vector<Segment*>{d->find(12)}));
    EXPECT_EQ(neighbourText(*d->find(12)), "10:2");
}

TEST_F(SegmentFileTest, ARecordCutShortAfterItsNodesIsNotStored) {
    // Stored, it would be a segment of length 0 without a middle point.
    write("nodes.txt", nodeFile(yNodes));
    write("segments.txt", header + "10 3 2 1000 9.995 50.015\n12 2 1 1100");
    testing::internal::CaptureStderr();
    const auto d = readFiles();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "WARNING: segment file '" + path("segments.txt") +
                  "': 1 record dropped: line 6 (segment 12: the file ends inside the record)\n");
    EXPECT_EQ(d->size(), 1);
    EXPECT_EQ(d->find(12), nullptr);
    EXPECT_NE(console.find("\n-> Error: Segment '12' could not be read!\n"), std::string::npos) << console;
}

TEST_F(SegmentFileTest, FaultyFiles) {
    write("nodes.txt", nodeFile(yNodes));
    write("segments.txt", header + "10 3 2 1000 9.995 50.015\n11 4 2 1000 10 50\n10 2 1 900 10 50\n");
    std::string segments = "segments.txt";
    const auto readAgain = [&] { readDrainage(path("nodes.txt"), path(segments)); };
    SimulationError e = failure(readAgain);
    EXPECT_EQ(e.message(),
              Text("Segment '10' appears more than once in segment file '") + path("segments.txt").c_str() + "'!");
    EXPECT_TRUE(e.isFatal());

    write("segments.txt", header + "10 3 2 1000 9.995 50.015\n11 4 2 1,000 10 50\n12 2 1 900 10 50\n");
    e = failure(readAgain);
    EXPECT_EQ(e.message(), "Reading line 1 of segment file!");
    EXPECT_TRUE(e.isFatal());
    // The message names the line, the field and the whole word: the word
    // is the length, not read as 1 with ",000" left for the longitude.
    EXPECT_NE(console.find("segment file '" + path("segments.txt") + "', line 6: the length '1,000' is not a number"),
              std::string::npos)
        << console;

    segments = "absent.txt";
    e = failure(readAgain);
    EXPECT_EQ(e.message(), Text("File '") + path("absent.txt").c_str() + "' could not be opened!");
    EXPECT_TRUE(e.isFatal());
}

TEST_F(SegmentFileTest, DynamicEnvironmentIsReadWithTheSegments) {
    writeDrainage(yNodes, {{10, 3, 2, -1}, {11, 4, 2, -1}, {12, 2, 1, -1}});
    write("dynamic.txt", "20 dam.txt\n");
    write("dam.txt", "dam\n0\n12\n");
    const EnvironmentFiles environment{path("dynamic.txt"), temp.folder()};
    const auto d = readFiles(&environment);
    ASSERT_NE(d->dynamicEnvironment, nullptr);
    ASSERT_EQ(d->dynamicEnvironment->maps.size(), 1u);
    EXPECT_EQ(d->dynamicEnvironment->maps[0].file, path("dam.txt"));  // named relative to the given folder
    EXPECT_NE(console.find("Read dynamic envionment"), std::string::npos);
    EXPECT_LT(console.find("Read dynamic envionment"), console.find("\ndone. (Segments: 3"));
}

TEST_F(SegmentFileTest, TheFinalErrorHasTheFileAndTheTrueLineBesideIt) {
    // The specified fatal messages count the records read, not the lines,
    // and name no file: standard error names both.
    const std::string nodes = nodeFile(yNodes), segments = header + "10 3 2 1000 9.995 50.015\n";
    const struct {
        std::string nodeText, segmentText;
        std::string error;  // the fatal message
        std::string stderrText;
    } cases[] = {
        {nodes + "\n\n5 x 47\n", segments, "Reading node file in line '4'!",
         "-> Error: node file '" + path("nodes.txt") + "', line 11: the longitude 'x' is not a number!\n"},
        {nodes, segments + "\n\n11 4 2 8,64 10 50\n", "Reading line 1 of segment file!",
         "-> Error: segment file '" + path("segments.txt") +
             "', line 8: the length '8,64' holds a comma: decimals are written with a point (8.64)!\n"},
        {nodes + "6 7 " + std::string(10000, '8') + "\n", segments,
         "node file '" + path("nodes.txt") + "', line 9: the line is longer than 9999 characters!", ""},
        {nodes, segments + "11 4 2 5 1 1 " + std::string(9990, ' ') + "\n",
         "segment file '" + path("segments.txt") + "', line 6: the line is longer than 9999 characters!", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        write("nodes.txt", c.nodeText);
        write("segments.txt", c.segmentText);
        testing::internal::CaptureStderr();
        const SimulationError e = failure([&] { readDrainage(path("nodes.txt"), path("segments.txt")); });
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.stderrText);
        EXPECT_EQ(e.message(), Text(c.error));
        EXPECT_TRUE(e.isFatal());
    }
}
