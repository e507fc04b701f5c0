// The resampling of an imported network: every segment cut along its own
// course into pieces of one geodesic length, so that a deme stands for the
// same stretch of river everywhere and every new node and middle point lies
// on the river itself. The ids of the result are the ids the simulator uses:
// a drainage resampled here is read with settings line 40 at 0.
#pragma once

#include "gis/Network.h"

namespace gis {

// The most segments a resampling may make: a drainage beyond this would not
// fit in memory with its demographic history.
constexpr double maxResampledSegments = 1e6;

// Each segment of length l becomes n = max(1, round(l / length)) pieces of
// length l / n along its line; each piece's middle point lies halfway along
// it. Nodes are numbered from the outlet upward by their distance along the
// network, segments by the distances of their lower, then upper ends (as the
// network's own ids are). Throws ImportError when the pieces would be more
// than maxResampledSegments.
Network resampleNetwork(const Network& network, double length);

}  // namespace gis
