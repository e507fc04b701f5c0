// A grid of square cells over longitude and latitude for the searches
// within a distance that the network building and the gap report make.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "gis/Geodesy.h"

namespace gis {

// Square cells in degrees, each at least `metres` wide at every latitude of
// the data, so that everything within that distance of a point lies in the
// point's cell or one of its eight neighbours.
class Grid {
public:
    Grid(double metres, double highestLatitude)
        : cellLat_(metres / metresPerDegreeLat(0)),
          cellLon_(metres / std::max(1.0, metresPerDegreeLon(std::min(89.0, highestLatitude)))) {}

    // An item spanning very many cells (a long straight piece in a grid of
    // small cells) is looked at for every point instead.
    void insert(int item, const LonLat& a, const LonLat& b) {
        const std::int64_t ia = column(a.lon), ib = column(b.lon), ja = row(a.lat), jb = row(b.lat);
        const std::int64_t i0 = std::min(ia, ib), i1 = std::max(ia, ib), j0 = std::min(ja, jb), j1 = std::max(ja, jb);
        if (static_cast<double>(i1 - i0 + 1) * static_cast<double>(j1 - j0 + 1) > 1024) {
            everywhere_.push_back(item);
            return;
        }
        for (std::int64_t i = i0; i <= i1; ++i)
            for (std::int64_t j = j0; j <= j1; ++j) cells_[key(i, j)].push_back(item);
    }

    // Every item in the 3 x 3 cells around the point, once.
    std::vector<int> around(const LonLat& p) const {
        std::vector<int> items = everywhere_;
        for (std::int64_t i = column(p.lon) - 1; i <= column(p.lon) + 1; ++i)
            for (std::int64_t j = row(p.lat) - 1; j <= row(p.lat) + 1; ++j) {
                const auto cell = cells_.find(key(i, j));
                if (cell != cells_.end()) items.insert(items.end(), cell->second.begin(), cell->second.end());
            }
        std::sort(items.begin(), items.end());
        items.erase(std::unique(items.begin(), items.end()), items.end());
        return items;
    }

private:
    std::int64_t column(double lon) const { return static_cast<std::int64_t>(std::floor(lon / cellLon_)); }
    std::int64_t row(double lat) const { return static_cast<std::int64_t>(std::floor(lat / cellLat_)); }
    // Cells that share a key share a list, which only costs distance checks.
    static std::uint64_t key(std::int64_t i, std::int64_t j) {
        return static_cast<std::uint64_t>(i) * 4000000007ULL + static_cast<std::uint64_t>(j);
    }

    double cellLat_;
    double cellLon_;
    std::unordered_map<std::uint64_t, std::vector<int>> cells_;
    std::vector<int> everywhere_;
};

}  // namespace gis
