// A drainage: the node table and the segment table of one river network.
#pragma once

#include <cstdint>
#include <map>
#include <memory>

#include "drainage/DrainageNode.h"
#include "drainage/Segment.h"
#include "base/Utilities.h"

namespace fluviagen {

class InputLog;
class DynamicMaps;
struct EnvironmentFiles;

class Drainage {
public:
    // An empty drainage with an empty node table.
    Drainage();
    ~Drainage();

    // Reads the segment file (see drainage/readers), builds the neighbour
    // lists and reads the maps of a dynamic environment when given. Throws on
    // failure.
    bool readSegmentFile(const Text& path, const EnvironmentFiles* environment = nullptr, InputLog* log = nullptr);
    Segment* find(std::int32_t id) const;
    // Stores a segment under its id (the caller has linked it to its nodes).
    Segment* store(std::unique_ptr<Segment> segment);
    void buildNeighbourLists();
    void setAccessible(bool value);
    void setVisited(bool value);
    // Takes a segment out of its end nodes' lists and frees its neighbour
    // arrays; it stays in the table. Rebuild the neighbour lists afterwards.
    void removeSegment(Segment* segment);
    int size() const { return static_cast<int>(segments.size()); }

    std::unique_ptr<NodeTable> nodes;
    std::map<std::int32_t, std::unique_ptr<Segment>> segments;  // ascending id order
    // The maps of a dynamic environment, read with the drainage they refer
    // to (the drainage as read); none in a static environment.
    std::unique_ptr<DynamicMaps> dynamicEnvironment;
};

// The fixed-length transform: a new drainage whose segments all have the
// nominal length M (metres), cut from the drainage as read by walking it from
// each not yet reached node in ascending id order. Pieces shorter than half
// the length are carried on to the next stretch. Every new segment knows the
// segment it was cut from (originSegment). The drainage as read keeps every
// segment accessible afterwards (the flag serves as the walk's mark).
std::unique_ptr<Drainage> resampleToFixedLength(Drainage& full, float M);

}  // namespace fluviagen
