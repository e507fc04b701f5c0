// Readers of the drainage files. Every way a drainage comes in (the node and
// segment files; GIS layers go through the importer into them) is a reader
// here that produces the same Drainage: nodes with WGS84 coordinates,
// segments between them, and the neighbour lists built from the shared nodes.
#pragma once

#include <memory>

#include "base/Utilities.h"

namespace fluviagen {

class InputLog;
class Drainage;
struct EnvironmentFiles;

// Reads the node file, then the segment file, builds the neighbour lists and,
// in a dynamic environment, reads its maps (see Dynamic.h). Unreadable files
// and malformed records are fatal errors naming the file and, where known,
// the line. With a log, every file is hashed as it is read
// (base/InputFile.h): "nodes", "segments", "dynamic" and each "map".
std::unique_ptr<Drainage> readDrainage(const Text& nodePath, const Text& segmentPath,
                                       const EnvironmentFiles* environment = nullptr, InputLog* log = nullptr);

}  // namespace fluviagen
