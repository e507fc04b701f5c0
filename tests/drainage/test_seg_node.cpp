#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "drainage/DrainageFixture.h"

using namespace drainage_test;

namespace {

double haversineInDouble(double lonA, double latA, double lonB, double latB) {
    const double k = 3.14159265358979323846 / 180.0;
    const double s1 = std::sin((latB - latA) * k / 2), s2 = std::sin((lonB - lonA) * k / 2);
    return 2 * 6371000.0 * std::asin(std::sqrt(s1 * s1 + std::cos(latA * k) * std::cos(latB * k) * s2 * s2));
}

class NodeFileTest : public DrainageTest {
protected:
    TSegNodeVector read(const std::string& text) {
        write("nodes.txt", text);
        TSegNodeVector table;
        quietly([&] { return table.readNodeFile(path("nodes.txt")); });
        return table;
    }
    const std::string header = "Title: file with all nodes (WGS84)\nDate: x\nNodes: 3\nNodeID\tLon\tLat\n";
};

}  // namespace

TEST(GeoDistance, MetresOnTheSphere) {
    EXPECT_EQ(geoDistance(8.5f, 47.3f, 8.5f, 47.3f), 0.0f);
    EXPECT_NEAR(geoDistance(0, 0, 0, 1), 111195.0f, 1.0f);  // one degree of a great circle
    EXPECT_EQ(geoDistance(8.5f, 47.3f, 8.51f, 47.305f), geoDistance(8.51f, 47.305f, 8.5f, 47.3f));
    EXPECT_NEAR(geoDistance(8.5f, 47.3f, 8.51f, 47.305f), haversineInDouble(8.5, 47.3, 8.51, 47.305), 0.5);
}

TEST(GeoDistance, ComputedInSinglePrecision) {
    // Two points 0.85 m apart. In single precision the latitudes in radians
    // can only differ by whole steps of 2^-24 (they lie in [0.5, 1)), so the
    // distance is a whole number of 6371000 * 2^-24 = 0.3797 m steps, not the
    // 0.848 m that double precision gives.
    const float d = geoDistance(20.1234f, 45.678f, 20.1234f, 45.67801f);
    const double step = 6371000.0 * std::ldexp(1.0, -24);
    EXPECT_NEAR(d / step, std::round(d / step), 1e-3);
    EXPECT_GT(std::fabs(d - haversineInDouble(20.1234f, 45.678f, 20.1234f, 45.67801f)), 0.1);
    // The order of the float operations: h = s1 s1 + (cos a cos b)(s2 s2), then
    // ((asin(sqrt h) 1000) 6371) 2. Other groupings give other last bits.
    EXPECT_EQ(geoDistance(8.5f, 47.3f, 8.51f, 47.305f), 0x1.d46c4ep+9f);
}

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
    const TException missing = failure([&] { TSegNodeVector().readNodeFile(my_string(path("none.txt"))); });
    EXPECT_EQ(missing.message(), my_string("File '") + path("none.txt").c_str() + "' could not be opened!");
    EXPECT_TRUE(missing.isFatal());

    // A word that is not a number stops the reading with an error naming the
    // file, instead of dropping the rest of the drainage unnoticed.
    write("nodes.txt", header + "1 8 47\n2 8.5 47.5\n3 eight 47\n4 9 48\n");
    const TException bad = failure([&] { TSegNodeVector().readNodeFile(my_string(path("nodes.txt"))); });
    EXPECT_EQ(bad.message(), "Reading node file in line '2'!");
    EXPECT_TRUE(bad.isFatal());
    EXPECT_NE(console.find("'eight' is not a number"), std::string::npos) << console;
    EXPECT_NE(console.find(path("nodes.txt")), std::string::npos);
}
