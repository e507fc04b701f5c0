#include "gis/Geodesy.h"

#include <geodesic.h>

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
    const auto onGeodesic = [](const LonLat& a, const LonLat& b, double rest) {
        geod_geodesicline path;
        geod_inverseline(&path, &wgs84(), a.lat, a.lon, b.lat, b.lon,
                         GEOD_LATITUDE | GEOD_LONGITUDE | GEOD_DISTANCE_IN);
        LonLat p;
        geod_position(&path, rest, &p.lat, &p.lon, nullptr);
        return p;
    };
    return common::pointAlongLine(line, distance, geodesicDistance, onGeodesic);
}

}  // namespace gis
