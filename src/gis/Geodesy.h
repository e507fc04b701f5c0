// Distances and positions on the WGS84 ellipsoid for the importer: lengths
// along a line and the point halfway along it come from PROJ's geodesic
// routines (exact to the nanometre); searches within a snapping tolerance use
// a local flat frame around the point looked at, whose error over a few
// kilometres is far below the tolerances that make sense.
#pragma once

#include <vector>

namespace gis {

struct LonLat {
    double lon = 0;
    double lat = 0;
    friend bool operator==(const LonLat&, const LonLat&) = default;
};

using Polyline = std::vector<LonLat>;

// Geodesic distance in metres between two points.
double geodesicDistance(const LonLat& a, const LonLat& b);

// Geodesic length of a line in metres: the sum over its consecutive vertices.
double geodesicLength(const Polyline& line);

// The point at the given distance (metres) along the line, following the
// geodesic between the two vertices around it; the ends outside 0..length.
LonLat pointAlong(const Polyline& line, double distance);

// The point at the fraction t (0 to 1) of the straight piece a-b in
// longitude and latitude, across the antimeridian the short way.
LonLat between(const LonLat& a, const LonLat& b, double t);

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

// Metres per degree of latitude and of longitude at a latitude (WGS84), for
// sizing search cells.
double metresPerDegreeLat(double lat);
double metresPerDegreeLon(double lat);

}  // namespace gis
