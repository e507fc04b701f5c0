// A drainage: the node table and the segment table of one river network.
#pragma once

#include <cstdint>
#include <map>
#include <memory>

#include "drainage/SegNode.h"
#include "drainage/Segment.h"
#include "run/Utilities.h"

class World;
class TSettings;
class TDynamicVector;

class TSegmentVector {
public:
    TSegmentVector(const TSettings& settings, World* world);
    ~TSegmentVector();

    // Creates the empty node table; with readFiles, reads the node file and
    // the segment file named in the settings (relative to dataFolder).
    bool build(bool readFiles);
    // Reads the segment file, builds the neighbour lists and, in a dynamic
    // environment, reads the environment's maps. Throws on failure.
    bool readSegmentFile(const my_string& path);
    TSegment* find(std::int32_t id) const;
    // Stores a segment under its id (the caller has linked it to its nodes).
    TSegment* store(std::unique_ptr<TSegment> segment);
    void buildNeighbourLists();
    void setAccessible(bool value);
    void setVisited(bool value);
    void removeSegment(TSegment* segment);
    int size() const { return static_cast<int>(segments.size()); }

    std::unique_ptr<TSegNodeVector> nodes;
    std::map<std::int32_t, std::unique_ptr<TSegment>> segments;  // ascending id order
    const TSettings* settings;
    World* world;
    std::unique_ptr<TDynamicVector> dynamicEnvironment;
};
