// The node and segment files of a drainage: four header lines, then
// free-format records.
#include "drainage/readers/DrainageFiles.h"

#include <cmath>
#include <exception>
#include <fstream>
#include <iostream>
#include <string>
#include <unordered_map>

#include "base/Exception.h"
#include "base/InputFile.h"
#include "drainage/Dynamic.h"
#include "drainage/Drainage.h"
#include "drainage/readers/RecordProblem.h"

namespace fluviagen {

namespace {

// The four header lines; a line too long is reported and refused: the
// text returned names it (empty when the header was read).
std::string skipHeader(std::istream& in, const char* kind, const Text& path) {
    Text line;
    for (int i = 1; i <= 4; ++i) {
        if (!readLine(line, in)) {
            const std::string told = std::string(kind) + " file '" + path.str() + "', line " + std::to_string(i) +
                                     ": the line is longer than " + std::to_string(maxLineLength) + " characters!";
            std::cerr << "-> Error: " << told << std::endl;
            return told;
        }
    }
    return {};
}

}  // namespace

bool NodeTable::readNodeFile(const Text& path, InputLog* log) {
    std::cout << "\tRead node file '" << path << "' ... ";
    const Stopwatch timer;
    try {
        std::ifstream in = openInputFile(path, log, "nodes");
        if (const std::string told = skipHeader(in, "node", path); !told.empty())
            throw SimulationError(Text("Reading node file in line '0'!"), levelFatal, told);
        WordReader words(in, 5);
        DroppedRecords dropped;
        try {
            for (;;) {
                auto node = std::make_unique<DrainageNode>();
                RecordFields fields(words);
                fields.read("node id", node->id) && fields.read("longitude", node->lon) &&
                    fields.read("latitude", node->lat);
                // Reading no further than a bad word would silently lose the
                // rest of the drainage.
                if (fields.failed()) {
                    const std::string told = fields.report("node", path, size(), "nodes");
                    throw SimulationError(Text("Reading node file in line '") + size() + "'!", levelFatal, told);
                }
                if (fields.tooLongLine() != 0) refuseLongLine("node", path, fields.tooLongLine());
                if (fields.atEnd()) {
                    // A record cut short by the end of the file is dropped.
                    if (fields.fieldsRead() > 0)
                        dropped.add(fields.firstLine(),
                                    "node " + std::to_string(node->id) + ": the file ends inside the record");
                    break;
                }
                // Id -1 marks a node that is not there. A coordinate of -1
                // is a place like any other: -1 degree is a real longitude
                // or latitude, and no value of a coordinate means "missing".
                if (node->id == -1) {
                    dropped.add(fields.firstLine(), "node id -1");
                    continue;
                }
                store(std::move(node));
            }
            dropped.report("node", path);
        } catch (const SimulationError&) {
            throw;
        } catch (...) {
            throw SimulationError(Text("Reading node file in line '") + size() + "'!", levelFatal);
        }
    } catch (const SimulationError&) {
        throw;
    } catch (...) {
        throw SimulationError(Text("Reading node file '") + path + "'!", levelFatal);
    }
    std::cout << "done. (Nodes: " << size() << "; Duration: " << timer << ")" << std::endl;
    // Without nodes no segment can be placed; say where the trouble starts.
    if (size() == 0) std::cout << "\tWARNING: node file '" << path << "' holds no node record!" << std::endl;
    return true;
}

bool Drainage::readSegmentFile(const Text& path, const EnvironmentFiles* environment, InputLog* log) {
    std::cout << "\tRead segment file '" << path << "' ... ";
    const Stopwatch timer;
    try {
        std::ifstream in = openInputFile(path, log, "segments");
        if (const std::string told = skipHeader(in, "segment", path); !told.empty())
            throw SimulationError(Text("Reading line 0 of segment file!"), levelFatal, told);
        WordReader words(in, 5);
        DroppedRecords dropped;
        try {
            for (;;) {
                auto segment = std::make_unique<Segment>();
                std::int32_t fromId = -1;
                std::int32_t toId = -1;
                RecordFields fields(words);
                fields.read("segment id", segment->id) && fields.read("from-node id", fromId) &&
                    fields.read("to-node id", toId) && fields.read("length", segment->length) &&
                    fields.read("longitude of the middle point", segment->lon) &&
                    fields.read("latitude of the middle point", segment->lat);
                if (fields.failed()) {
                    const std::string told = fields.report("segment", path, size(), "segments");
                    throw SimulationError(Text("Reading line ") + size() + " of segment file!", levelFatal, told);
                }
                if (fields.tooLongLine() != 0) refuseLongLine("segment", path, fields.tooLongLine());
                const std::string id = "segment " + std::to_string(segment->id);
                // The end of the file inside a record (after its first word)
                // drops it too: cut short after its nodes, it would give a
                // segment without length and middle point.
                const bool cutShort = fields.atEnd() && fields.fieldsRead() > 0;
                if (fields.atEnd() && !cutShort) break;
                DrainageNode* from = nullptr;
                DrainageNode* to = nullptr;
                if (segment->id > 0) {
                    from = nodes->find(fromId);
                    if (from != nullptr) to = nodes->find(toId);
                }
                if (segment->id <= 0 || from == nullptr || to == nullptr || cutShort) {
                    std::string why;
                    if (segment->id <= 0)
                        why = "segment ids must be above 0";
                    else if (from == nullptr || to == nullptr)
                        why = std::string("its ") + (from == nullptr ? "from-node " : "to-node ") +
                              std::to_string(from == nullptr ? fromId : toId) + " is not in the node file";
                    // No console line for id 0, the id of a record cut short
                    // at the end of the file; standard error names it all
                    // the same.
                    if (segment->id != 0) {
                        std::cout << "\n-> Error: Segment '" << segment->id << "' could not be read!" << std::endl;
                        if (!why.empty()) std::cout << "\t(" << why << ")" << std::endl;
                    }
                    if (cutShort) why = "the file ends inside the record";
                    dropped.add(fields.firstLine(), id + ": " + why);
                    if (cutShort) break;
                    continue;
                }
                if (find(segment->id) != nullptr)
                    throw SimulationError(
                        Text("Segment '") + segment->id + "' appears more than once in segment file '" + path + "'!",
                        levelFatal);
                segment->fromNode = from;
                segment->toNode = to;
                from->outgoing.push_back(segment.get());
                to->incoming.push_back(segment.get());
                store(std::move(segment));
            }
            dropped.report("segment", path);
        } catch (const SimulationError&) {
            throw;
        } catch (...) {
            throw SimulationError(Text("Reading line ") + size() + " of segment file!", levelFatal);
        }
        if (size() == 0)
            std::cout << "\n\tWARNING: segment file '" << path << "' gives no segment (" << dropped.count()
                      << " records dropped)!" << std::endl;
        buildNeighbourLists();
        if (environment != nullptr)
            dynamicEnvironment = readDynamicEnvironment(*this, environment->path, environment->folder, log);
    } catch (const SimulationError&) {
        throw;
    } catch (...) {
        throw SimulationError(Text("Reading segment file '") + path + "'!", levelFatal);
    }
    std::cout << "\ndone. (Segments: " << size() << "; Duration: " << timer << ")" << std::endl;
    return true;
}

std::unique_ptr<Drainage> readDrainage(const Text& nodePath, const Text& segmentPath,
                                       const EnvironmentFiles* environment, InputLog* log) {
    auto drainage = std::make_unique<Drainage>();
    drainage->nodes->readNodeFile(nodePath, log);
    drainage->readSegmentFile(segmentPath, environment, log);
    return drainage;
}

}  // namespace fluviagen
