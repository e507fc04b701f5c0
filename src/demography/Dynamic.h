// Dynamic environment: maps that open or close river segments from a given
// generation on (a dam built, a reach drying out, a barrier removed).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "run/Utilities.h"

class TSegmentVector;
class World;

class TDynamic {
public:
    my_string name;
    my_string file;
    std::int32_t generation = 0;  // from this generation on
    bool value = true;            // the accessible flag given to the listed segments
    std::vector<std::int32_t> segmentIds;  // ascending, ids of the drainage as read
};

class TDynamicVector {
public:
    std::vector<TDynamic> maps;  // sorted by generation, file order kept on ties
    int count = 0;
    TSegmentVector* drainage = nullptr;
    World* world = nullptr;
};

// Reads the environment file and its maps for a drainage. Throws on failure.
std::unique_ptr<TDynamicVector> readDynamicEnvironment(TSegmentVector& drainage, World* world, const my_string& path);

// Sets the accessible flag of the map's segments in the drainage as read and
// passes it on to the resampled segments cut from them.
void applyMap(World& world, const TDynamic& map);
