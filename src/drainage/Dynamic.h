// Dynamic environment: maps that open or close river segments from a given
// generation on (a dam built, a reach drying out, a barrier removed).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "base/Utilities.h"

namespace fluviagen {

class InputLog;
class Drainage;

class DynamicMap {
public:
    Text name;
    Text file;
    std::int32_t generation = 0;           // from this generation on
    bool value = true;                     // the accessible flag given to the listed segments
    std::vector<std::int32_t> segmentIds;  // ascending, each once, ids of the drainage as read
};

// The environment file of a dynamic environment and the folder its map file
// names are relative to.
struct EnvironmentFiles {
    Text path;
    Text folder;
};

class DynamicMaps {
public:
    std::vector<DynamicMap> maps;  // sorted by generation, file order kept on ties
};

// Reads the environment file (one "generation mapfile" per line, "//" starts
// a comment) and its maps (name line, value line 0 or 1, then segment ids) for
// a drainage, sorted by generation with file order kept on ties. Ids of 0 or
// not in the drainage are skipped, repeated ones kept once. Unreadable files
// and malformed lines are fatal errors naming the file. Map file names are
// relative to `folder`.
std::unique_ptr<DynamicMaps> readDynamicEnvironment(const Drainage& drainage, const Text& path, const Text& folder,
                                                    InputLog* log = nullptr);

// Sets the accessible flag of the map's segments in the drainage as read and
// passes it on to the resampled segments cut from them (when the drainage in
// use was resampled).
void applyMap(Drainage& asRead, Drainage* resampled, const DynamicMap& map);

}  // namespace fluviagen
