// The source population and sample files: populations placed on river
// segments by segment id or by the nearest segment to a WGS84 point.
#pragma once

#include <cstdint>

#include "base/Utilities.h"
#include "drainage/Population.h"
#include "settings/PlacementRule.h"

class TSegment;
class TSegmentVector;

// Reads a population or sample file into the set, placing populations given
// by coordinates by the rule; returns the number read.
int ReadPopulations(PopulationVector& populations, const my_string& path, bool isSampleFile, PlacementRule rule);

// The segment a point is placed on, other than `excluded`; ties go to the
// lower id.
//   nearest: the smallest distance to the segment (drainage/SegmentDistance.h);
//            every point of a drainage with segments gets one.
//   ratio:   the smallest half-segment ratio; none when no ratio falls below
//            100000.
TSegment* nearestSegment(const TSegmentVector& drainage, float lon, float lat, const TSegment* excluded,
                         PlacementRule rule);

// The precision of a placement in whole metres (truncated):
//   nearest: the distance from the point to the segment;
//   ratio:   the distance to the nearest of its from-node, middle point and
//            to-node.
std::int32_t precisionOf(const TSegment& segment, float lon, float lat, PlacementRule rule);
