#include "drainage/SegmentDistance.h"

#include <algorithm>
#include <cmath>

#include "drainage/DrainageNode.h"
#include "drainage/Segment.h"

namespace fluviagen {

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double earthRadius = 6371000.0;  // metres, the sphere of every distance of the drainage

// Offsets in metres of points from P in the flat plane centred on P.
class PlaneAt {
public:
    PlaneAt(float lon, float lat) : lon_(lon), lat_(lat), cosLat_(std::cos(static_cast<double>(lat) * pi / 180)) {}
    double x(float lon) const { return (static_cast<double>(lon) - lon_) * cosLat_ * pi / 180 * earthRadius; }
    double y(float lat) const { return (static_cast<double>(lat) - lat_) * pi / 180 * earthRadius; }

private:
    double lon_;
    double lat_;
    double cosLat_;
};

// Distance from the origin to the piece A-B of the plane.
double originToPiece(double ax, double ay, double bx, double by) {
    const double dx = bx - ax;
    const double dy = by - ay;
    const double squaredLength = dx * dx + dy * dy;
    if (squaredLength == 0) return std::sqrt(ax * ax + ay * ay);
    const double t = -(ax * dx + ay * dy) / squaredLength;
    if (t <= 0) return std::sqrt(ax * ax + ay * ay);
    if (t >= 1) return std::sqrt(bx * bx + by * by);
    const double cx = ax + t * dx;
    const double cy = ay + t * dy;
    return std::sqrt(cx * cx + cy * cy);
}

}  // namespace

double metresToPiece(float lon, float lat, float lonA, float latA, float lonB, float latB) {
    const PlaneAt plane(lon, lat);
    return originToPiece(plane.x(lonA), plane.y(latA), plane.x(lonB), plane.y(latB));
}

double metresToSegment(const Segment& segment, float lon, float lat) {
    const PlaneAt plane(lon, lat);
    const double fx = plane.x(segment.fromNode->lon);
    const double fy = plane.y(segment.fromNode->lat);
    const double mx = plane.x(segment.lon);
    const double my = plane.y(segment.lat);
    const double tx = plane.x(segment.toNode->lon);
    const double ty = plane.y(segment.toNode->lat);
    return std::min(originToPiece(fx, fy, mx, my), originToPiece(mx, my, tx, ty));
}

}  // namespace fluviagen
