#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "common/Geometry.h"

using common::LonLat;

namespace {

constexpr double pi = 3.14159265358979323846;

double haversineInDouble(double lonA, double latA, double lonB, double latB) {
    const double k = pi / 180.0;
    const double s1 = std::sin((latB - latA) * k / 2), s2 = std::sin((lonB - lonA) * k / 2);
    return 2 * 6371000.0 * std::asin(std::sqrt(s1 * s1 + std::cos(latA * k) * std::cos(latB * k) * s2 * s2));
}

}  // namespace

TEST(DrainageHaversine, MetresOnTheSphere) {
    EXPECT_EQ(common::drainageHaversineMetres(8.5f, 47.3f, 8.5f, 47.3f), 0.0f);
    EXPECT_NEAR(common::drainageHaversineMetres(0, 0, 0, 1), 111195.0f, 1.0f);  // one degree of a great circle
    EXPECT_EQ(common::drainageHaversineMetres(8.5f, 47.3f, 8.51f, 47.305f),
              common::drainageHaversineMetres(8.51f, 47.305f, 8.5f, 47.3f));
    EXPECT_NEAR(common::drainageHaversineMetres(8.5f, 47.3f, 8.51f, 47.305f),
                haversineInDouble(8.5, 47.3, 8.51, 47.305), 0.5);
}

TEST(DrainageHaversine, ComputedInSinglePrecision) {
    // Two points 0.85 m apart. In single precision the latitudes in radians
    // can only differ by whole steps of 2^-24 (they lie in [0.5, 1)), so the
    // distance is a whole number of 6371000 * 2^-24 = 0.3797 m steps, not the
    // 0.848 m that double precision gives.
    const float d = common::drainageHaversineMetres(20.1234f, 45.678f, 20.1234f, 45.67801f);
    const double step = 6371000.0 * std::ldexp(1.0, -24);
    EXPECT_NEAR(d / step, std::round(d / step), 1e-3);
    EXPECT_GT(std::fabs(d - haversineInDouble(20.1234f, 45.678f, 20.1234f, 45.67801f)), 0.1);
}

// The model's lengths to the last bit: h = s1 s1 + (cos a cos b)(s2 s2), then
// ((asin(sqrt h) 1000) 6371) 2, every step a float. Other groupings, or the
// double-precision haversine rounded to float, give other last bits.
TEST(DrainageHaversine, LastBitsOfTheModel) {
    struct Row {
        float lonA, latA, lonB, latB, metres;
    };
    const std::vector<Row> rows = {
        {8.5f, 47.3f, 8.51f, 47.305f, 0x1.d46c4ep+9f},
        {0, 0, 0, 1, 0x1.b25aeep+16f},
        {20.1234f, 45.678f, 20.1234f, 45.67801f, 0x1.23a428p+0f},
        {-179.9f, 10, 179.9f, 10.5f, 0x1.d2cb44p+15f},  // across the antimeridian
        {16.37f, 48.21f, 28.68f, 45.23f, 0x1.e5476p+19f},
        {0, 89.99f, 180, 89.99f, 0x1.16173ep+11f},  // over the pole
        {0, 0, 180, 0, 0x1.3167fp+24f},             // antipodes
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.lonA << "," << row.latA << " " << row.lonB << "," << row.latB);
        EXPECT_EQ(common::drainageHaversineMetres(row.lonA, row.latA, row.lonB, row.latB), row.metres);
    }
    EXPECT_NE(static_cast<float>(haversineInDouble(8.5f, 47.3f, 8.51f, 47.305f)), 0x1.d46c4ep+9f);
}

TEST(GreatCircle, Kilometres) {
    struct Row {
        double lonA, latA, lonB, latB, km, within;
    };
    const std::vector<Row> rows = {
        {20, 0, 20, 1, 6371 * pi / 180, 1e-9},         // a degree of a meridian
        {0, 0, 90, 0, 6371 * pi / 2, 1e-9},            // a quarter of the equator
        {0, 0, 180, 0, 6371 * pi, 1e-9},               // antipodes: the half circle, not a NaN
        {-179.5, 0, 179.5, 0, 6371 * pi / 180, 1e-9},  // the short way over the antimeridian
        {20, 60, 21, 60, 6371 * pi / 360, 0.01},       // a degree of longitude at 60 degrees: half a degree of arc
        {8.5, 47.3, 8.5, 47.3, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.lonA << "," << row.latA << " " << row.lonB << "," << row.latB);
        EXPECT_NEAR(common::greatCircleKm(row.lonA, row.latA, row.lonB, row.latB), row.km, row.within);
        EXPECT_EQ(common::greatCircleKm(row.lonA, row.latA, row.lonB, row.latB),
                  common::greatCircleKm(row.lonB, row.latB, row.lonA, row.latA));
    }
}

TEST(PointToSegment, NearestPointAndDistance) {
    struct Row {
        double px, py, ax, ay, bx, by, t, distance;
    };
    const std::vector<Row> rows = {
        {5, 0, 0, 0, 10, 0, 0.5, 0},            // on the piece
        {3, 4, 0, 0, 10, 0, 0.3, 4},            // beside it
        {13, 4, 0, 0, 10, 0, 1, 5},             // beyond its end: the end (3-4-5)
        {-3, -4, 0, 0, 10, 0, 0, 5},            // before its start
        {0, 0, 10, 0, 0, 0, 1, 0},              // the piece's far end, walked from b
        {1, 1, 2, 2, 2, 2, 0, std::sqrt(2.0)},  // a piece of no length is its point
        {0, 0, -1, 1, 1, -1, 0.5, 0},           // the diagonal through the point
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "(" << row.px << "," << row.py << ") to (" << row.ax << "," << row.ay
                                        << ")-(" << row.bx << "," << row.by << ")");
        const auto nearest = common::nearestOnPiece(row.px, row.py, row.ax, row.ay, row.bx, row.by);
        EXPECT_DOUBLE_EQ(nearest.t, row.t);
        EXPECT_DOUBLE_EQ(nearest.distance, row.distance);
    }
}

// The flat frame agrees with the plane piece: metres east and north.
TEST(PointToSegment, InALocalFrame) {
    const LonLat centre{10, 0};
    const common::LocalFrame frame(centre);
    const double east = common::metresPerDegreeLon(0), north = common::metresPerDegreeLat(0);
    double t = -1;
    // A piece 200 m north of the centre running east-west across it.
    const double d = frame.nearestOnPiece({10 - 100 / east, 200 / north}, {10 + 300 / east, 200 / north}, t);
    EXPECT_NEAR(d, 200, 1e-9);
    EXPECT_NEAR(t, 0.25, 1e-12);
    EXPECT_NEAR(frame.distance({10 + 30 / east, 40 / north}), 50, 1e-9);
}

TEST(Interpolation, BetweenTwoPoints) {
    EXPECT_EQ(common::between({0, 0}, {10, 20}, 0.25), (LonLat{2.5, 5}));
    EXPECT_EQ(common::between({179, 0}, {-179, 2}, 0.5), (LonLat{180, 1}));  // the short way over the antimeridian
    EXPECT_EQ(common::between({-179, 0}, {179, 2}, 0.25), (LonLat{-179.5, 0.5}));
}

// Along a polyline measured in the plane: a walk over the pieces, over a
// piece of no length, and past either end.
TEST(Interpolation, AlongALine) {
    const auto flat = [](const LonLat& a, const LonLat& b) { return std::hypot(b.lon - a.lon, b.lat - a.lat); };
    const auto straight = [&](const LonLat& a, const LonLat& b, double rest) {
        return common::between(a, b, rest / flat(a, b));
    };
    const common::Polyline line = {{0, 0}, {3, 4}, {3, 4}, {3, 10}};  // 5 + 0 + 6
    struct Row {
        double distance;
        LonLat expected;
    };
    const std::vector<Row> rows = {
        {-1, {0, 0}}, {0, {0, 0}}, {2.5, {1.5, 2}}, {5, {3, 4}}, {8, {3, 7}}, {11, {3, 10}}, {20, {3, 10}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.distance);
        const LonLat p = common::pointAlongLine(line, row.distance, flat, straight);
        EXPECT_DOUBLE_EQ(p.lon, row.expected.lon);
        EXPECT_DOUBLE_EQ(p.lat, row.expected.lat);
    }
    EXPECT_EQ(common::pointAlongLine({}, 1, flat, straight), (LonLat{}));
    EXPECT_EQ(common::pointAlongLine({{1, 1}, {1, 1}}, 1, flat, straight), (LonLat{1, 1}));
}

// A small network: a square 0-1-3 / 0-2-3 whose two ways to 3 tie, a spur
// 3-4 of no length, a self-loop at 1, and a node 5 no edge reaches.
TEST(ShortestPaths, Dijkstra) {
    common::EdgeLists edges(6);
    const auto link = [&](int a, int b, double length) {
        edges[a].push_back({b, length});
        if (a != b) edges[b].push_back({a, length});
    };
    link(0, 1, 1.5);
    link(0, 2, 0.5);
    link(1, 3, 1.0);
    link(2, 3, 2.0);
    link(3, 4, 0.0);
    link(1, 1, 7.0);
    const double never = std::numeric_limits<double>::infinity();
    struct Row {
        std::vector<std::pair<int, double>> starts;
        std::vector<double> distance;
    };
    const std::vector<Row> rows = {
        {{{0, 0}}, {0, 1.5, 0.5, 2.5, 2.5, never}},
        {{{4, 0}}, {2.5, 1, 2, 0, 0, never}},
        // From the middle of the piece 1-3: half of it to either end.
        {{{1, 0.5}, {3, 0.5}}, {2, 0.5, 2.5, 0.5, 0.5, never}},
        {{{0, 0}, {0, 3}}, {0, 1.5, 0.5, 2.5, 2.5, never}},  // the nearer start of one node counts
        {{{5, 1}}, {never, never, never, never, never, 1}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "from node " << row.starts.front().first);
        EXPECT_EQ(common::shortestDistances(edges, row.starts), row.distance);
    }
}
