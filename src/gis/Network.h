// The river network built from the lines of a GIS layer: line ends that lie
// within a tolerance of each other become one node, a line whose interior an
// end touches is split there (a confluence in the middle of a line), pieces
// of no length and repeated pieces are dropped, only the connected part that
// holds the outlet is kept, and every segment is oriented so that it flows
// toward the outlet. Nothing here knows the file formats or GDAL.
#pragma once

#include <string>
#include <vector>

#include "common/Error.h"
#include "gis/Gaps.h"
#include "gis/Geodesy.h"

namespace gis {

// Input that cannot give a network (or a file that cannot be read or
// written). The message says what is wrong and where; nothing is written.
class ImportError : public common::InputError {
public:
    using common::InputError::InputError;
};

struct NetworkOptions {
    double tolerance = 10;  // metres within which ends are joined
    LonLat outlet;          // the mouth: a line end within the tolerance
    // false: each segment flows from its end farther from the outlet along the
    // network to the nearer one; true: every line flows as it was digitised.
    bool digitisedDirection = false;
    // A tolerance above a quarter of the median line length joins ends of
    // lines that lie apart; it is refused unless forced.
    bool force = false;
};

struct NetworkNode {
    int id = 0;
    LonLat where;
    double outletDistance = 0;  // metres along the network to the outlet
};

struct NetworkSegment {
    int id = 0;
    int from = 0;  // node ids; the river flows from `from` to `to`
    int to = 0;
    double length = 0;  // geodesic length along the line, metres
    LonLat middle;      // the point halfway along the line
    Polyline line;      // from the from-node to the to-node
};

// A connected part of the lines that does not reach the outlet, with the
// shortest gap between it and the kept network.
struct DroppedPart {
    double length = 0;  // metres
    int pieces = 0;
    Gap gap;
};

struct NetworkReport {
    int linesIn = 0;            // lines given, multi-part lines counted by part
    int endsSnapped = 0;        // line ends moved onto a node
    int linesSplit = 0;         // lines cut where another line's end touches them
    int splitPoints = 0;        // the cuts made
    int zeroLength = 0;         // pieces dropped for having no length
    int duplicates = 0;         // pieces dropped for repeating another one
    int components = 0;         // connected parts of the cleaned network
    int droppedComponents = 0;  // all but the outlet's
    int droppedPieces = 0;
    double droppedLength = 0;                 // metres
    std::vector<DroppedPart> largestDropped;  // the ten longest dropped parts, longest first
    int loops = 0;                            // independent cycles kept (braided channels)
    std::vector<LonLat> loopPlaces;           // the middle of a piece that closes each loop
    int againstDigitised = 0;                 // segments that flow against their digitised direction
    double outletOffset = 0;                  // metres from the given outlet to its node
    double medianLineLength = 0;              // metres, of the lines given
    int resampledFrom = 0;                    // segments before the resampling (0: not resampled)
    double totalLength = 0;                   // metres, the kept network
    LonLat lowest;                            // bounding box of the kept network
    LonLat highest;
};

struct Network {
    std::vector<NetworkNode> nodes;        // id order; node 1 is the outlet
    std::vector<NetworkSegment> segments;  // id order; from the outlet upward
    NetworkReport report;
};

// Builds the network of the lines (WGS84 longitude and latitude). Throws
// ImportError when the tolerance is not above 0 (or, unforced, above a
// quarter of the median line length), no line has a length or the outlet is
// farther than the tolerance from every line end.
Network buildNetwork(const std::vector<Polyline>& lines, const NetworkOptions& options);

}  // namespace gis
