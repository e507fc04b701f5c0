// Vertices of the drainage graph (confluences, sources, mouths, points along
// a river). The drainage's distance between two of them is
// common::drainageHaversineMetres (common/Geometry.h).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "base/Utilities.h"

namespace fluviagen {

class InputLog;
class Segment;
class Drainage;

class DrainageNode {
public:
    std::int32_t id = 0;
    float lon = -1;  // decimal degrees; -1 until read
    float lat = -1;
    std::vector<Segment*> outgoing;  // segments starting here, in file order
    std::vector<Segment*> incoming;  // segments ending here, in file order
    bool visited = false;            // mark of the fixed-length transform
};

// The node table of a drainage: owned nodes keyed by id, iterated in
// ascending id order.
class NodeTable {
public:
    // Reads the node file (see drainage/readers); throws a fatal SimulationError
    // on failure.
    // With a log, the file is hashed as read (base/InputFile.h).
    bool readNodeFile(const Text& path, InputLog* log = nullptr);
    DrainageNode* find(std::int32_t id) const;
    // Stores a node under its id, replacing a node already there.
    DrainageNode* store(std::unique_ptr<DrainageNode> node);
    int size() const { return static_cast<int>(nodes.size()); }

    std::map<std::int32_t, std::unique_ptr<DrainageNode>> nodes;
};

}  // namespace fluviagen
