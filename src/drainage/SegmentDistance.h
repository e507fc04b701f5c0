// How far a point lies from a river segment, as the placement of populations
// by coordinates measures it (the nearest-segment rule).
//
// A segment is known by three points: its from-node F, its middle point M
// and its to-node T. Its course is taken as two straight halves, F-M and
// M-T, and the distance of a point P to the segment is the smaller of its
// distances to the two halves. Each is computed in a flat plane centred on P
// (equirectangular, sphere of radius 6371000 m), in double precision from
// the single-precision coordinates widened before any subtraction, with the
// operations in this order:
//
//   x = (lon - lonP) * cos(latP * pi / 180) * pi / 180 * 6371000
//   y = (lat - latP) * pi / 180 * 6371000
//
// For a half from A to B (in that plane, P at the origin) with D = B - A:
// t = -(A.D) / (D.D); t <= 0 gives the point A, t >= 1 the point B, any other
// t the point A + t D; a half with D.D = 0 is the point A. The distance is
// sqrt(x * x + y * y) of that point.
//
// Over the few kilometres that separate a sample from its river the plane's
// error is far below the precision of sampling coordinates. Points on the
// far side of the antimeridian from a segment (longitudes near +180 and
// -180) are not brought together: drainages crossing it are out of scope.
#pragma once

namespace fluviagen {

class Segment;

// Metres from the point (lon, lat) to the nearer of the segment's two
// halves. The segment must have both its nodes.
double metresToSegment(const Segment& segment, float lon, float lat);

// Metres from the point (lon, lat) to the straight piece from (lonA, latA)
// to (lonB, latB), by the rule above.
double metresToPiece(float lon, float lat, float lonA, float latA, float lonB, float latB);

}  // namespace fluviagen
