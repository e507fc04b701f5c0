// A river segment: one stretch of habitat between two nodes, with its
// neighbours. The later stages keep what they know of a segment (its
// population, its history, its coalescent deme) in tables indexed by the
// segment's `index`.
#pragma once

#include <cstdint>
#include <vector>

namespace fluviagen {

class DrainageNode;
class Drainage;
class PopulationSource;

// Neighbour kinds. The river flows from the from-node F to the to-node T of a
// segment S. A move into a kind 1 or 3 neighbour goes downstream, into a kind
// 2 or 4 neighbour upstream.
enum : std::int32_t {
    kindSharesFromNode = 1,  // another segment leaving F
    kindFlowsIn = 2,         // a segment ending at F (flows into S)
    kindFlowsOut = 3,        // a segment leaving T (S flows into it)
    kindSharesToNode = 4,    // another segment ending at T
};

class Segment {
public:
    std::int32_t id = 0;  // > 0 for a valid segment
    float length = 0;     // metres
    DrainageNode* fromNode = nullptr;
    DrainageNode* toNode = nullptr;
    float lon = -1;  // middle point
    float lat = -1;
    std::int32_t neighbourCount = 0;
    std::vector<Segment*> neighbours;
    std::vector<std::int32_t> neighbourKinds;
    // For each neighbour, the position at which this segment stands in that
    // neighbour's own neighbour array.
    std::vector<std::int32_t> reversePositions;
    Segment* originSegment = nullptr;  // segment of the drainage as read it was cut from
    bool accessible = true;            // takes part in migration; processed mark of the transform
    // Position in ascending id order (0 .. size - 1), set with the neighbour
    // lists: the row of the segment in every table of the later stages.
    std::int32_t index = -1;
    PopulationSource* sourcePopulation = nullptr;
    PopulationSource* samplePopulation = nullptr;
};

}  // namespace fluviagen
