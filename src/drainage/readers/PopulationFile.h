// The source population and sample files: populations placed on river
// segments by segment id or by the nearest segment to a WGS84 point.
#pragma once

#include <cstdint>

#include "base/Utilities.h"
#include "drainage/Population.h"
#include "settings/PlacementRule.h"

namespace fluviagen {

class InputLog;
class Segment;
class Drainage;

// Reads a population or sample file into the set, placing populations given
// by coordinates by the rule; returns the number read. With a log, the file
// is hashed as read, as "samples" or "sources".
int readPopulations(PopulationVector& populations, const Text& path, bool isSampleFile, PlacementRule rule,
                    InputLog* log = nullptr);

// The segment a point is placed on, other than `excluded`; ties go to the
// lower id.
//   nearest: the smallest distance to the segment (drainage/SegmentDistance.h);
//            every point of a drainage with segments gets one.
//   ratio:   the smallest half-segment ratio; none when no ratio falls below
//            100000.
Segment* nearestSegment(const Drainage& drainage, float lon, float lat, const Segment* excluded, PlacementRule rule);

// The precision of a placement in whole metres (truncated):
//   nearest: the distance from the point to the segment;
//   ratio:   the distance to the nearest of its from-node, middle point and
//            to-node.
std::int32_t precisionOf(const Segment& segment, float lon, float lat, PlacementRule rule);

}  // namespace fluviagen
