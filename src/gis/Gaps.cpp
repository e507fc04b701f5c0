#include "gis/Gaps.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

#include "gis/SpatialGrid.h"

namespace gis {

namespace {

double highestLatitude(const std::vector<Polyline>& a, const std::vector<Polyline>& b) {
    double highest = 0;
    for (const auto* lines : {&a, &b})
        for (const auto& line : *lines)
            for (const auto& p : line) highest = std::max(highest, std::abs(p.lat));
    return highest;
}

struct Candidate {
    double distance = std::numeric_limits<double>::infinity();
    LonLat onPart;
    LonLat onNetwork;
};

// The nearest pair of vertices: the network's vertices sorted by longitude,
// each vertex of the part looks outward from its own longitude until the
// longitude difference alone is farther than the best pair found.
void nearestVertices(const std::vector<Polyline>& part, const std::vector<Polyline>& network, double highest,
                     Candidate& best) {
    std::vector<LonLat> vertices;
    for (const auto& line : network) vertices.insert(vertices.end(), line.begin(), line.end());
    std::sort(vertices.begin(), vertices.end(),
              [](const LonLat& a, const LonLat& b) { return std::tie(a.lon, a.lat) < std::tie(b.lon, b.lat); });
    // Metres per degree of longitude are fewest at the highest latitude.
    const double scale = metresPerDegreeLon(std::min(89.9, highest));
    for (const auto& line : part)
        for (const auto& a : line) {
            const LocalFrame frame(a);
            const auto start = std::lower_bound(vertices.begin(), vertices.end(), a,
                                                [](const LonLat& v, const LonLat& p) { return v.lon < p.lon; });
            const auto look = [&](const LonLat& b) {
                if (std::abs(b.lon - a.lon) * scale > best.distance) return false;
                const double d = frame.distance(b);
                if (d < best.distance) best = {d, a, b};
                return true;
            };
            for (auto it = start; it != vertices.end() && look(*it); ++it) {
            }
            for (auto it = start; it != vertices.begin() && look(*(it - 1)); --it) {
            }
        }
}

// Every vertex of `from` measured to the straight pieces of `to` that lie
// within the bound; `swap` says which side `from` is.
void verticesToPieces(const std::vector<Polyline>& from, const std::vector<Polyline>& to, double highest, bool swap,
                      Candidate& best) {
    Grid grid(std::max(best.distance, 1e-3), highest);
    std::vector<std::pair<const LonLat*, const LonLat*>> pieces;
    for (const auto& line : to)
        for (std::size_t i = 1; i < line.size(); ++i) {
            grid.insert(static_cast<int>(pieces.size()), line[i - 1], line[i]);
            pieces.emplace_back(&line[i - 1], &line[i]);
        }
    for (const auto& line : from)
        for (const auto& p : line) {
            const LocalFrame frame(p);
            for (int item : grid.around(p)) {
                double t = 0;
                const double d = frame.nearestOnPiece(*pieces[item].first, *pieces[item].second, t);
                if (d < best.distance) {
                    const LonLat q = between(*pieces[item].first, *pieces[item].second, t);
                    best = swap ? Candidate{d, q, p} : Candidate{d, p, q};
                }
            }
        }
}

}  // namespace

Gap shortestGap(const std::vector<Polyline>& part, const std::vector<Polyline>& network) {
    const double highest = highestLatitude(part, network);
    Candidate best;
    nearestVertices(part, network, highest, best);
    verticesToPieces(part, network, highest, false, best);
    verticesToPieces(network, part, highest, true, best);
    return {geodesicDistance(best.onPart, best.onNetwork), best.onPart, best.onNetwork};
}

}  // namespace gis
