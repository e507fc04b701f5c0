// Distances between river segments: along the river (the water path a
// migrant follows, through confluences and either arm of a braid) and in a
// straight line. Both run between the segments' middle points.
#pragma once

#include <optional>
#include <span>
#include <vector>

namespace fluviagen {

class Segment;
class Drainage;

// The shortest path through the drainage's segments between the middle points
// of every pair of the given segments, in km: half of each end segment plus
// the full length of every segment between them. [i][j]; none when the two
// are not connected (or a segment is not in the drainage).
std::vector<std::vector<std::optional<double>>> riverDistancesKm(const Drainage& drainage,
                                                                 std::span<const Segment* const> segments);

// Great-circle distance between the middle points, in km
// (common::greatCircleKm: the sphere of radius 6371 km, double precision).
double straightLineKm(const Segment& a, const Segment& b);

}  // namespace fluviagen
