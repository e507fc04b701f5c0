// The nearest-segment placement: the distance from a point to a segment's two
// halves on worked examples, and a probe over the shipped river checked by an
// independent distance on the sphere.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "drainage/DrainageNode.h"
#include "drainage/Segment.h"
#include "drainage/SegmentDistance.h"
#include "drainage/Drainage.h"
#include "drainage/readers/DrainageFiles.h"
#include "drainage/readers/PopulationFile.h"

using namespace fluviagen;

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double radius = 6371000.0;
// One thousandth of a degree along the equator, in metres.
constexpr double milliDegree = 0.001 * pi / 180 * radius;

struct Point {
    float lon, lat;
};

// A drainage built in memory from from-node, middle point and to-node of
// each segment (every segment has nodes of its own).
class HandMade {
public:
    Segment* add(int id, Point from, Point middle, Point to) {
        auto s = std::make_unique<Segment>();
        s->id = id;
        s->fromNode = node(from);
        s->toNode = node(to);
        s->lon = middle.lon;
        s->lat = middle.lat;
        return drainage.store(std::move(s));
    }
    Drainage drainage;

private:
    DrainageNode* node(Point p) {
        auto n = std::make_unique<DrainageNode>();
        n->id = ++lastNode_;
        n->lon = p.lon;
        n->lat = p.lat;
        return drainage.nodes->store(std::move(n));
    }
    int lastNode_ = 0;
};

}  // namespace

// Drainages across the antimeridian (longitudes near +180 and -180 at once)
// are out of scope of the rule and not tried here.
TEST(SegmentDistance, DistanceToTheNearerHalf) {
    HandMade world;
    // Along the equator, where a thousandth of a degree is 111.19 m both ways.
    world.add(1, {0, 0}, {0.01f, 0}, {0.02f, 0});
    // A point: all three points in one place, both halves of zero length.
    world.add(2, {0.1f, 0}, {0.1f, 0}, {0.1f, 0});
    // The from-node half of zero length: the segment is its to-node half.
    world.add(3, {0.05f, 0}, {0.05f, 0}, {0.06f, 0});
    // A bend at 60 degrees north, where a degree of longitude is half as long.
    world.add(4, {10, 60}, {10.015625f, 60}, {10.015625f, 60.015625f});
    struct Row {
        const char* what;
        int segment;
        Point p;
        double metres;
        int precision;  // -1: not looked at (the float coordinates blur the last metre)
    };
    const Row rows[] = {
        {"on the middle point", 1, {0.01f, 0}, 0, 0},
        {"on the from-node half", 1, {0.004f, 0}, 0, 0},
        {"beside the to-node half", 1, {0.015f, -0.002f}, 2 * milliDegree, 222},
        {"beyond the from-node", 1, {-0.003f, 0.004f}, 5 * milliDegree, 555},
        {"beyond the to-node", 1, {0.026f, -0.008f}, 10 * milliDegree, 1111},
        {"a segment that is a point", 2, {0.103f, 0.004f}, 5 * milliDegree, 555},
        {"beside the zero-length half's end", 3, {0.047f, 0.004f}, 5 * milliDegree, 555},
        {"beside the other half", 3, {0.055f, 0.002f}, 2 * milliDegree, 222},
        {"west of the bend's from-node, at 60 N", 4, {9.9921875f, 60}, 1.0 / 128 * 0.5 * pi / 180 * radius, -1},
        {"inside the bend: the nearer half wins",
         4,
         {10.013671875f, 60.0078125f},
         1.0 / 512 * std::cos(60.0078125 * pi / 180) * pi / 180 * radius,
         -1},
        {"beyond the to-node, north", 4, {10.015625f, 60.01953125f}, 1.0 / 256 * pi / 180 * radius, -1},
    };
    for (const Row& row : rows) {
        const Segment& s = *world.drainage.find(row.segment);
        EXPECT_NEAR(metresToSegment(s, row.p.lon, row.p.lat), row.metres, 1e-3) << row.what;
        if (row.precision >= 0) {
            EXPECT_EQ(precisionOf(s, row.p.lon, row.p.lat, PlacementRule::nearest), row.precision) << row.what;
        }
    }
    // The same halves as pieces.
    EXPECT_NEAR(metresToPiece(-0.003f, 0.004f, 0, 0, 0.01f, 0), 5 * milliDegree, 1e-3);
    EXPECT_NEAR(metresToPiece(0.003f, 0.004f, 0.01f, 0, 0.01f, 0), 10 * milliDegree * std::sqrt(0.65), 1e-3);
}

TEST(SegmentDistance, EquidistantSegmentsGoToTheLowerId) {
    HandMade world;
    // Mirror images across the equator; the point lies on it, between them.
    world.add(5, {0.2f, 0.001f}, {0.21f, 0.001f}, {0.22f, 0.001f});
    world.add(3, {0.2f, -0.001f}, {0.21f, -0.001f}, {0.22f, -0.001f});
    world.add(9, {0.3f, 0.2f}, {0.31f, 0.2f}, {0.32f, 0.2f});
    const Drainage& d = world.drainage;
    EXPECT_EQ(metresToSegment(*d.find(5), 0.21f, 0), metresToSegment(*d.find(3), 0.21f, 0));
    EXPECT_EQ(nearestSegment(d, 0.21f, 0, nullptr, PlacementRule::nearest), d.find(3));
    EXPECT_EQ(nearestSegment(d, 0.21f, 0, d.find(3), PlacementRule::nearest), d.find(5));
    // Far from every segment a point still gets the nearest one.
    EXPECT_EQ(nearestSegment(d, 20, 55, nullptr, PlacementRule::nearest), d.find(9));
    EXPECT_EQ(nearestSegment(Drainage(), 20, 55, nullptr, PlacementRule::nearest), nullptr);
}

namespace {

// An independent distance: on the sphere, from a point to the shorter
// great-circle arcs from-node – middle point – to-node, with vectors.
struct Vec {
    double x, y, z;
};
Vec unitVector(float lon, float lat) {
    const double l = lon * pi / 180, p = lat * pi / 180;
    return {std::cos(p) * std::cos(l), std::cos(p) * std::sin(l), std::sin(p)};
}
Vec cross(Vec a, Vec b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
double dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double norm(Vec a) { return std::sqrt(dot(a, a)); }
double angle(Vec a, Vec b) { return std::atan2(norm(cross(a, b)), dot(a, b)); }

double arcMetres(Vec p, Vec a, Vec b) {
    Vec n = cross(a, b);
    const double length = norm(n);
    if (length == 0) return angle(p, a) * radius;
    n = {n.x / length, n.y / length, n.z / length};
    const double s = dot(p, n);
    const Vec c = {p.x - s * n.x, p.y - s * n.y, p.z - s * n.z};
    if (dot(cross(a, c), n) >= 0 && dot(cross(c, b), n) >= 0) return std::asin(std::fabs(s)) * radius;
    return std::min(angle(p, a), angle(p, b)) * radius;
}

double sphereMetres(const Segment& s, float lon, float lat) {
    const Vec p = unitVector(lon, lat);
    const Vec m = unitVector(s.lon, s.lat);
    return std::min(arcMetres(p, unitVector(s.fromNode->lon, s.fromNode->lat), m),
                    arcMetres(p, m, unitVector(s.toNode->lon, s.toNode->lat)));
}

}  // namespace

// Points 30 m north, south, east and west of every middle point of the
// shipped river land on that segment, or on one that the distance on the
// sphere finds strictly closer: the river's segments cross and touch each
// other, and those points are listed.
TEST(SegmentDistance, ProbeOverTheShippedRiver) {
    const std::string folder = FLUVIAGEN_SOURCE_DIR "/examples/river/";
    testing::internal::CaptureStdout();
    const auto drainage = readDrainage(Text(folder + "river_nodes.txt"), Text(folder + "river_segments.txt"));
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(drainage->size(), 400);
    struct Direction {
        const char* name;
        double north, east;
    };
    const Direction directions[] = {{"N", 30, 0}, {"S", -30, 0}, {"E", 0, 30}, {"W", 0, -30}};
    std::vector<std::string> elsewhere;
    for (const auto& [id, segment] : drainage->segments)
        for (const Direction& d : directions) {
            const double lat = segment->lat + d.north / radius * 180 / pi;
            const double lon = segment->lon + d.east / (radius * std::cos(segment->lat * pi / 180)) * 180 / pi;
            const auto pLon = static_cast<float>(lon), pLat = static_cast<float>(lat);
            const Segment* landed = nearestSegment(*drainage, pLon, pLat, nullptr, PlacementRule::nearest);
            ASSERT_NE(landed, nullptr);
            // 30 m from the middle point, give or take the float coordinates' 0.4 m.
            EXPECT_LE(metresToSegment(*landed, pLon, pLat), 30.5) << id << d.name;
            if (landed == segment.get()) continue;
            EXPECT_LT(sphereMetres(*landed, pLon, pLat), sphereMetres(*segment, pLon, pLat))
                << "segment " << id << " " << d.name << ": placed on " << landed->id;
            elsewhere.push_back(std::to_string(id) + d.name + "->" + std::to_string(landed->id));
        }
    // Segment and direction -> the segment the point lands on.
    const std::vector<std::string> expected = {
        "30S->344",  "44S->25",   "44W->25",   "57N->50",   "57W->50",   "65S->167",  "65W->167",  "66E->136",
        "67S->135",  "67E->135",  "72N->208",  "72W->208",  "81S->178",  "82S->177",  "87S->180",  "87E->180",
        "95E->107",  "101S->153", "116N->240", "116W->240", "141N->194", "141S->194", "150N->205", "167N->80",
        "167E->80",  "172N->100", "177N->82",  "178N->81",  "182E->188", "182W->188", "188W->63",  "194N->141",
        "205S->150", "208N->72",  "211W->70",  "220N->216", "226N->249", "226S->249", "236W->121", "251N->22",
        "288E->305", "296E->284", "296W->284", "304S->319", "304E->319", "307E->288", "311S->305", "311E->58",
        "317S->278", "317E->278", "318N->57",  "318S->57",  "319N->304", "319W->304", "322E->324"};
    EXPECT_EQ(elsewhere, expected);
}
