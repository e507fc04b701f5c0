// A drainage: the node table and the segment table of one river network.
#pragma once

#include <cstdint>
#include <map>
#include <memory>

#include "drainage/SegNode.h"
#include "drainage/Segment.h"
#include "base/Utilities.h"

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
    // Takes a segment out of its end nodes' lists and frees its neighbour
    // arrays; it stays in the table. Rebuild the neighbour lists afterwards.
    void removeSegment(TSegment* segment);
    int size() const { return static_cast<int>(segments.size()); }

    std::unique_ptr<TSegNodeVector> nodes;
    std::map<std::int32_t, std::unique_ptr<TSegment>> segments;  // ascending id order
    const TSettings* settings;
    World* world;
    std::unique_ptr<TDynamicVector> dynamicEnvironment;
};

// The fixed-length transform: a new drainage whose segments all have the
// nominal length M (metres), cut from the drainage as read by walking it from
// each not yet reached node in ascending id order. Pieces shorter than half
// the length are carried on to the next stretch. Every new segment knows the
// segment it was cut from (originSegment). The drainage as read keeps every
// segment accessible afterwards (the flag serves as the walk's mark).
std::unique_ptr<TSegmentVector> resampleToFixedLength(TSegmentVector& full, float M);
