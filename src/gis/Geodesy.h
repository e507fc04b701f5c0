// Distances and positions on the WGS84 ellipsoid for the importer: lengths
// along a line and the point halfway along it come from PROJ's geodesic
// routines (exact to the nanometre). They stay here, beside the importer's
// other libraries, so that the foundation (common/Geometry.h) needs no PROJ;
// the flat frame for searches within a snapping tolerance, the interpolation
// and the points and lines themselves come from the foundation.
#pragma once

#include "common/Geometry.h"

namespace gis {

using common::between;
using common::LocalFrame;
using common::LonLat;
using common::metresPerDegreeLat;
using common::metresPerDegreeLon;
using common::Polyline;

// Geodesic distance in metres between two points.
double geodesicDistance(const LonLat& a, const LonLat& b);

// Geodesic length of a line in metres: the sum over its consecutive vertices.
double geodesicLength(const Polyline& line);

// The point at the given distance (metres) along the line, following the
// geodesic between the two vertices around it; the ends outside 0..length.
LonLat pointAlong(const Polyline& line, double distance);

}  // namespace gis
