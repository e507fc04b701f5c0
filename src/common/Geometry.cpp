#include "common/Geometry.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <queue>

namespace common {

namespace {

constexpr double degree = 3.14159265358979323846 / 180;

// Longitude difference folded into -180..180.
double lonDifference(double from, double to) {
    double d = std::fmod(to - from, 360.0);
    if (d > 180) d -= 360;
    if (d < -180) d += 360;
    return d;
}

}  // namespace

float drainageHaversineMetres(float lonA, float latA, float lonB, float latB) {
    // Every step in single precision and in this order: the drainage's
    // lengths and the nearest-segment ratios are results of the model, and
    // another grouping gives other last bits.
    constexpr float toRadians = 0.017453292f;
    const float lonARad = lonA * toRadians;
    const float latARad = latA * toRadians;
    const float lonBRad = lonB * toRadians;
    const float latBRad = latB * toRadians;
    const float dLon = lonBRad - lonARad;
    const float dLat = latBRad - latARad;
    const float s1 = sinf(dLat * 0.5f);
    const float s2 = sinf(dLon * 0.5f);
    const float h = s1 * s1 + (cosf(latARad) * cosf(latBRad)) * (s2 * s2);
    const float angle = asinf(sqrtf(h));
    return ((angle * 1000.0f) * 6371.0f) * 2.0f;
}

double greatCircleKm(double lonA, double latA, double lonB, double latB) {
    const double lat1 = latA * degree, lat2 = latB * degree;
    const double dLat = lat2 - lat1;
    const double dLon = (lonB - lonA) * degree;
    const double h = std::sin(dLat / 2) * std::sin(dLat / 2) +
                     std::cos(lat1) * std::cos(lat2) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2 * earthRadiusKm * std::asin(std::min(1.0, std::sqrt(h)));
}

LonLat between(const LonLat& a, const LonLat& b, double t) {
    double d = b.lon - a.lon;
    if (d > 180) d -= 360;
    if (d < -180) d += 360;
    return {a.lon + t * d, a.lat + t * (b.lat - a.lat)};
}

namespace {

// The piece's ends relative to the point: the distance, and in t the
// parameter of the nearest point.
double nearestToOrigin(double ax, double ay, double bx, double by, double& t) {
    const double dx = bx - ax;
    const double dy = by - ay;
    const double squared = dx * dx + dy * dy;
    t = squared > 0 ? std::clamp(-(ax * dx + ay * dy) / squared, 0.0, 1.0) : 0.0;
    return std::hypot(ax + t * dx, ay + t * dy);
}

}  // namespace

NearestOnPiece nearestOnPiece(double px, double py, double ax, double ay, double bx, double by) {
    NearestOnPiece nearest;
    nearest.distance = nearestToOrigin(ax - px, ay - py, bx - px, by - py, nearest.t);
    return nearest;
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
    : centre_(centre),
      metresPerDegreeLon_(metresPerDegreeLon(centre.lat)),
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
    return nearestToOrigin(ax, ay, bx, by, t);
}

std::vector<double> shortestDistances(const EdgeLists& edges, const std::vector<std::pair<int, double>>& starts) {
    std::vector<double> distance(edges.size(), std::numeric_limits<double>::infinity());
    using Entry = std::pair<double, int>;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<>> queue;
    for (const auto& [node, d] : starts) {
        if (d < distance[static_cast<std::size_t>(node)]) {
            distance[static_cast<std::size_t>(node)] = d;
            queue.emplace(d, node);
        }
    }
    while (!queue.empty()) {
        const auto [d, node] = queue.top();
        queue.pop();
        if (d > distance[static_cast<std::size_t>(node)]) continue;
        for (const Edge& edge : edges[static_cast<std::size_t>(node)]) {
            const double through = d + edge.length;
            if (through < distance[static_cast<std::size_t>(edge.to)]) {
                distance[static_cast<std::size_t>(edge.to)] = through;
                queue.emplace(through, edge.to);
            }
        }
    }
    return distance;
}

}  // namespace common
