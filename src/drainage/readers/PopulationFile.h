// The source population and sample files: populations placed on river
// segments by segment id or by the nearest segment to a WGS84 point.
#pragma once

#include <cstdint>

#include "base/Utilities.h"
#include "drainage/Population.h"

class InputLog;
class TSegment;
class TSegmentVector;

// Reads a population or sample file into the set; returns the number read.
// With a log, the file is hashed as read, as "samples" or "sources".
int ReadPopulations(PopulationVector& populations, const my_string& path, bool isSampleFile, InputLog* log = nullptr);

// The segment nearest to a point by the half-segment ratio rule (ties to the
// lower id); none when no ratio falls below 100000.
TSegment* nearestSegment(const TSegmentVector& drainage, float lon, float lat, const TSegment* excluded);

// Whole metres from the point to the nearest of the segment's from-node,
// middle point and to-node.
std::int32_t precisionOf(const TSegment& segment, float lon, float lat);
