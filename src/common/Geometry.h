// Distances, positions and shortest paths on the Earth, shared by the three
// programs. Each distance has one meaning and one place:
//
// - drainageHaversineMetres: the model's distance. The simulator derives a
//   segment's length from its end nodes and places a sample on the nearest
//   segment with it; both are part of the specified results, so the
//   haversine is computed in single precision, step by step in a fixed
//   order, and its every rounding is part of the model.
// - greatCircleKm: the same sphere in double precision, for reported
//   distances that are not part of the drainage (the straight-line distance
//   between sampled segments).
// - the ellipsoid: the importer measures lines on WGS84 with PROJ's geodesic
//   routines (gis/Geodesy.h). PROJ is the importer's dependency only, so
//   that distance stays with the importer; what follows here needs nothing
//   but the standard library.
// - LocalFrame: a flat frame in metres around a point, for searches within a
//   snapping tolerance, where its error over a few kilometres is far below
//   any tolerance that makes sense.
#pragma once

#include <utility>
#include <vector>

namespace common {

struct LonLat {
    double lon = 0;
    double lat = 0;
    friend bool operator==(const LonLat&, const LonLat&) = default;
};

using Polyline = std::vector<LonLat>;

// Mean radius of the sphere of the haversine distances, km.
inline constexpr double earthRadiusKm = 6371.0;

// The drainage's distance in metres between two points given in degrees:
// the haversine on a sphere of radius 6371 km, in single precision
// throughout, multiplied out as ((angle * 1000) * 6371) * 2.
float drainageHaversineMetres(float lonA, float latA, float lonB, float latB);

// Great-circle distance in km between two points in degrees (haversine on
// the sphere of radius 6371 km, double precision).
double greatCircleKm(double lonA, double latA, double lonB, double latB);

// The point at the fraction t (0 to 1) of the straight piece a-b in
// longitude and latitude, across the antimeridian the short way.
LonLat between(const LonLat& a, const LonLat& b, double t);

// The point at `distance` along a line: the line is walked piece by piece,
// `length(a, b)` measuring each piece, and `position(a, b, rest)` places the
// point `rest` along the piece that holds it. Pieces of no length are
// stepped over; a distance up to 0 gives the first vertex, one beyond the
// line's length the last, an empty line the origin.
template <class Length, class Position>
LonLat pointAlongLine(const Polyline& line, double distance, Length length, Position position) {
    if (line.empty()) return {};
    if (distance <= 0) return line.front();
    double walked = 0;
    for (std::size_t i = 1; i < line.size(); ++i) {
        const double piece = length(line[i - 1], line[i]);
        if (piece > 0 && walked + piece >= distance) return position(line[i - 1], line[i], distance - walked);
        walked += piece;
    }
    return line.back();
}

// The point of the straight piece a-b (plane coordinates) nearest to p: its
// parameter t in [0, 1] from a, and its distance from p. A piece of no
// length is its point a.
struct NearestOnPiece {
    double t = 0;
    double distance = 0;
};
NearestOnPiece nearestOnPiece(double px, double py, double ax, double ay, double bx, double by);

// Metres per degree of latitude and of longitude at a latitude (WGS84), for
// flat frames and for sizing search cells.
double metresPerDegreeLat(double lat);
double metresPerDegreeLon(double lat);

// A flat frame in metres centred on a point: east and north offsets of any
// nearby point, with the ellipsoid's radii of curvature at the centre.
class LocalFrame {
public:
    explicit LocalFrame(const LonLat& centre);
    // Offsets in metres of a point from the centre.
    void offsets(const LonLat& p, double& east, double& north) const;
    // Distance in metres from the centre to a point.
    double distance(const LonLat& p) const;
    // Nearest point of the straight piece a-b to the centre: its parameter
    // t in [0, 1] from a, and the distance in metres.
    double nearestOnPiece(const LonLat& a, const LonLat& b, double& t) const;

private:
    LonLat centre_;
    double metresPerDegreeLon_;
    double metresPerDegreeLat_;
};

// Shortest paths along a network whose edges have lengths: per node, the
// edges leaving it (an undirected edge is listed at both of its ends).
struct Edge {
    int to = 0;
    double length = 0;  // at least 0
};
using EdgeLists = std::vector<std::vector<Edge>>;

// Dijkstra: the length of the shortest path to every node from the nearest
// of the starts, each start a node with the distance it starts at;
// infinity for a node no start reaches. A node's distance is the sum of the
// edge lengths along its path, added from the start outward; where two paths
// tie, either gives the same value.
std::vector<double> shortestDistances(const EdgeLists& edges, const std::vector<std::pair<int, double>>& starts);

}  // namespace common
