#include <gtest/gtest.h>

#include <string>

#include "drainage/DrainageFixture.h"

using namespace fluviagen;

using namespace drainage_test;

namespace {

class NodeFileTest : public DrainageTest {
protected:
    NodeTable read(const std::string& text) {
        write("nodes.txt", text);
        NodeTable table;
        quietly([&] { return table.readNodeFile(path("nodes.txt")); });
        return table;
    }
    const std::string header = "Title: file with all nodes (WGS84)\nDate: x\nNodes: 3\nNodeID\tLon\tLat\n";
};

}  // namespace

TEST_F(NodeFileTest, FreeFormatRecords) {
    // Records split over lines, several on one line, Windows line ends.
    const auto table = read(header + "1 8.5\r\n 47.25\r\n2 8.75 47.5 3\t9.0\t47.75\r\n");
    ASSERT_EQ(table.size(), 3);
    EXPECT_FLOAT_EQ(table.find(1)->lat, 47.25f);
    EXPECT_FLOAT_EQ(table.find(3)->lon, 9.0f);
    EXPECT_FALSE(table.find(2)->visited);
    EXPECT_EQ(table.find(4), nullptr);
    EXPECT_NE(console.find("done. (Nodes: 3; Duration: "), std::string::npos) << console;
    EXPECT_EQ(console.rfind("\tRead node file '" + path("nodes.txt") + "' ... done. (Nodes: 3; Duration: ", 0), 0u);
}

TEST_F(NodeFileTest, MissingAndRepeatedNodes) {
    // id -1 counts as missing, a coordinate of -1 is a coordinate; a repeated
    // id keeps the later record; a record cut short at the end is dropped.
    // What is dropped is named on standard error, with lines and ids.
    testing::internal::CaptureStderr();
    const auto table = read(header + "1 -1 47\n2 8 -1\n-1 8 47\n3 8 47\n3 9 48\n4 8");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "WARNING: node file '" + path("nodes.txt") +
                  "': 2 records dropped: line 7 (node id -1), line 10 (node 4: the file ends inside the record)\n");
    ASSERT_EQ(table.size(), 3);
    EXPECT_FLOAT_EQ(table.find(1)->lon, -1.0f);
    EXPECT_FLOAT_EQ(table.find(2)->lat, -1.0f);
    EXPECT_FLOAT_EQ(table.find(3)->lon, 9.0f);
    testing::internal::CaptureStderr();
    EXPECT_EQ(read(header).size(), 0);  // only the header
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_NE(console.find("(Nodes: 0;"), std::string::npos);
}

TEST_F(NodeFileTest, UnreadableFiles) {
    const SimulationError missing = failure([&] { NodeTable().readNodeFile(Text(path("none.txt"))); });
    EXPECT_EQ(missing.message(), Text("File '") + path("none.txt").c_str() + "' could not be opened!");
    EXPECT_TRUE(missing.isFatal());

    // A word that is not a number stops the reading with an error naming the
    // file, instead of dropping the rest of the drainage unnoticed.
    write("nodes.txt", header + "1 8 47\n2 8.5 47.5\n3 eight 47\n4 9 48\n");
    const SimulationError bad = failure([&] { NodeTable().readNodeFile(Text(path("nodes.txt"))); });
    EXPECT_EQ(bad.message(), "Reading node file in line '2'!");
    EXPECT_TRUE(bad.isFatal());
    EXPECT_NE(console.find("'eight' is not a number"), std::string::npos) << console;
    EXPECT_NE(console.find(path("nodes.txt")), std::string::npos);
}
