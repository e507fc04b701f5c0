// Where a network that fell apart could be joined again: the shortest gap
// between the lines of a dropped part and the lines of the kept network.
#pragma once

#include <vector>

#include "gis/Geodesy.h"

namespace gis {

struct Gap {
    double distance = 0;  // metres, geodesic between the two points
    LonLat onPart;        // the nearest point of the dropped part's lines
    LonLat onNetwork;     // the nearest point of the kept network's lines
};

// The shortest gap between two sets of lines (neither empty). The nearest
// pair of vertices bounds the search; then every vertex of either side is
// measured to the straight pieces of the other within that bound, in the
// local flat frame of the vertex.
Gap shortestGap(const std::vector<Polyline>& part, const std::vector<Polyline>& network);

}  // namespace gis
