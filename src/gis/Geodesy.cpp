#include "gis/Geodesy.h"

#include <geodesic.h>

#include <algorithm>
#include <cmath>

namespace gis {

namespace {

const geod_geodesic& wgs84() {
    static const geod_geodesic ellipsoid = [] {
        geod_geodesic g;
        geod_init(&g, 6378137.0, 1 / 298.257223563);
        return g;
    }();
    return ellipsoid;
}

constexpr double degree = 3.14159265358979323846 / 180;

// Longitude difference folded into -180..180.
double lonDifference(double from, double to) {
    double d = std::fmod(to - from, 360.0);
    if (d > 180) d -= 360;
    if (d < -180) d += 360;
    return d;
}

}  // namespace

double geodesicDistance(const LonLat& a, const LonLat& b) {
    if (a == b) return 0;
    double s12 = 0;
    geod_inverse(&wgs84(), a.lat, a.lon, b.lat, b.lon, &s12, nullptr, nullptr);
    return s12;
}

double geodesicLength(const Polyline& line) {
    double total = 0;
    for (std::size_t i = 1; i < line.size(); ++i) total += geodesicDistance(line[i - 1], line[i]);
    return total;
}

LonLat pointAlong(const Polyline& line, double distance) {
    if (line.empty()) return {};
    if (distance <= 0) return line.front();
    double walked = 0;
    for (std::size_t i = 1; i < line.size(); ++i) {
        const double piece = geodesicDistance(line[i - 1], line[i]);
        if (piece > 0 && walked + piece >= distance) {
            geod_geodesicline path;
            geod_inverseline(&path, &wgs84(), line[i - 1].lat, line[i - 1].lon, line[i].lat, line[i].lon,
                             GEOD_LATITUDE | GEOD_LONGITUDE | GEOD_DISTANCE_IN);
            LonLat p;
            geod_position(&path, distance - walked, &p.lat, &p.lon, nullptr);
            return p;
        }
        walked += piece;
    }
    return line.back();
}

LonLat between(const LonLat& a, const LonLat& b, double t) {
    double d = b.lon - a.lon;
    if (d > 180) d -= 360;
    if (d < -180) d += 360;
    return {a.lon + t * d, a.lat + t * (b.lat - a.lat)};
}

double metresPerDegreeLat(double lat) {
    const double phi = lat * degree;
    return 111132.954 - 559.822 * std::cos(2 * phi) + 1.175 * std::cos(4 * phi);
}

double metresPerDegreeLon(double lat) {
    const double phi = lat * degree;
    return std::max(0.0, 111412.84 * std::cos(phi) - 93.5 * std::cos(3 * phi) + 0.118 * std::cos(5 * phi));
}

LocalFrame::LocalFrame(const LonLat& centre)
    : centre_(centre), metresPerDegreeLon_(metresPerDegreeLon(centre.lat)),
      metresPerDegreeLat_(metresPerDegreeLat(centre.lat)) {}

void LocalFrame::offsets(const LonLat& p, double& east, double& north) const {
    east = lonDifference(centre_.lon, p.lon) * metresPerDegreeLon_;
    north = (p.lat - centre_.lat) * metresPerDegreeLat_;
}

double LocalFrame::distance(const LonLat& p) const {
    double x = 0;
    double y = 0;
    offsets(p, x, y);
    return std::hypot(x, y);
}

double LocalFrame::nearestOnPiece(const LonLat& a, const LonLat& b, double& t) const {
    double ax = 0, ay = 0, bx = 0, by = 0;
    offsets(a, ax, ay);
    offsets(b, bx, by);
    const double dx = bx - ax;
    const double dy = by - ay;
    const double squared = dx * dx + dy * dy;
    t = squared > 0 ? std::clamp(-(ax * dx + ay * dy) / squared, 0.0, 1.0) : 0.0;
    return std::hypot(ax + t * dx, ay + t * dy);
}

}  // namespace gis
