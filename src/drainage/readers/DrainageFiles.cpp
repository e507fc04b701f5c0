// The node and segment files of a drainage as the program has always read
// them: four header lines, then free-format records.
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
#include "drainage/SegmentVector.h"
#include "drainage/readers/RecordProblem.h"

namespace {

// The four header lines; a line too long is reported and refused.
bool skipHeader(std::istream& in, const char* kind, const my_string& path) {
    my_string line;
    for (int i = 1; i <= 4; ++i) {
        if (!readLine(line, in)) {
            std::cerr << "-> Error: " << kind << " file '" << path << "', line " << i << ": the line is longer than "
                      << maxLineLength << " characters!" << std::endl;
            return false;
        }
    }
    return true;
}

}  // namespace

bool TSegNodeVector::readNodeFile(const my_string& path) {
    std::cout << "\tRead node file '" << path << "' ... ";
    const myTimer timer;
    try {
        std::ifstream in = openInputFile(path);
        if (!skipHeader(in, "node", path)) throw TException(my_string("Reading node file in line '0'!"), levelFatal);
        WordReader words(in, 5);
        try {
            for (;;) {
                auto node = std::make_unique<TSegNode>();
                // A node written with id -1 or a coordinate of exactly -1 is
                // treated as missing.
                RecordFields fields(words);
                fields.read("node id", node->id) && fields.read("longitude", node->lon) &&
                    fields.read("latitude", node->lat);
                // Reading no further than a bad word would silently lose the
                // rest of the drainage.
                if (fields.failed()) {
                    fields.report("node", path, size(), "nodes");
                    throw TException(my_string("Reading node file in line '") + size() + "'!", levelFatal);
                }
                if (fields.atEnd()) break;  // a record cut short by the end is dropped
                if (node->id == -1 || node->lon == -1 || node->lat == -1) continue;
                store(std::move(node));
            }
        } catch (const TException&) {
            throw;
        } catch (...) {
            throw TException(my_string("Reading node file in line '") + size() + "'!", levelFatal);
        }
    } catch (const TException&) {
        throw;
    } catch (...) {
        throw TException(my_string("Reading node file '") + path + "'!", levelFatal);
    }
    std::cout << "done. (Nodes: " << size() << "; Duration: " << timer << ")" << std::endl;
    // Without nodes no segment can be placed; say where the trouble starts.
    if (size() == 0) std::cout << "\tWARNING: node file '" << path << "' holds no node record!" << std::endl;
    return true;
}

bool TSegmentVector::readSegmentFile(const my_string& path, const EnvironmentFiles* environment) {
    std::cout << "\tRead segment file '" << path << "' ... ";
    const myTimer timer;
    try {
        std::ifstream in = openInputFile(path);
        if (!skipHeader(in, "segment", path)) throw TException(my_string("Reading line 0 of segment file!"), levelFatal);
        WordReader words(in, 5);
        int dropped = 0;
        try {
            for (;;) {
                auto segment = std::make_unique<TSegment>();
                // A record cut short right after its id keeps these -1 ends,
                // which no node has, and is reported below.
                std::int32_t fromId = -1;
                std::int32_t toId = -1;
                RecordFields fields(words);
                fields.read("segment id", segment->id) && fields.read("from-node id", fromId) &&
                    fields.read("to-node id", toId) && fields.read("length", segment->length) &&
                    fields.read("longitude of the middle point", segment->lon) &&
                    fields.read("latitude of the middle point", segment->lat);
                if (fields.failed()) {
                    fields.report("segment", path, size(), "segments");
                    throw TException(my_string("Reading line ") + size() + " of segment file!", levelFatal);
                }
                // Cut short after its two nodes, a record would give a
                // segment without length and middle point.
                if (fields.atEnd() && segment->id > 0 && nodes->find(fromId) != nullptr &&
                    nodes->find(toId) != nullptr) {
                    ++dropped;
                    std::cout << "\n-> Error: Segment '" << segment->id << "' could not be read!" << std::endl;
                    std::cerr << "-> Error: segment file '" << path << "', line " << words.line()
                              << ": the file ends inside the record of segment " << segment->id << "!" << std::endl;
                    break;
                }
                TSegNode* from = nullptr;
                TSegNode* to = nullptr;
                if (segment->id > 0) {
                    from = nodes->find(fromId);
                    if (from != nullptr) to = nodes->find(toId);
                }
                if (segment->id <= 0 || from == nullptr || to == nullptr) {
                    // id 0 is what the end of the file leaves.
                    if (segment->id != 0) {
                        ++dropped;
                        std::cout << "\n-> Error: Segment '" << segment->id << "' could not be read!" << std::endl;
                        if (segment->id < 0)
                            std::cout << "\t(segment ids must be above 0)" << std::endl;
                        else
                            std::cout << "\t(its " << (from == nullptr ? "from-node " : "to-node ")
                                      << (from == nullptr ? fromId : toId) << " is not in the node file)" << std::endl;
                    }
                    if (fields.atEnd()) break;
                    continue;
                }
                if (find(segment->id) != nullptr)
                    throw TException(my_string("Segment '") + segment->id + "' appears more than once in segment file '" +
                                         path + "'!",
                                     levelFatal);
                segment->fromNode = from;
                segment->toNode = to;
                from->outgoing.push_back(segment.get());
                to->incoming.push_back(segment.get());
                store(std::move(segment));
            }
        } catch (const TException&) {
            throw;
        } catch (...) {
            throw TException(my_string("Reading line ") + size() + " of segment file!", levelFatal);
        }
        if (size() == 0)
            std::cout << "\n\tWARNING: segment file '" << path << "' gives no segment (" << dropped
                      << " records dropped)!" << std::endl;
        buildNeighbourLists();
        if (environment != nullptr)
            dynamicEnvironment = readDynamicEnvironment(*this, environment->path, environment->folder);
    } catch (const TException&) {
        throw;
    } catch (...) {
        throw TException(my_string("Reading segment file '") + path + "'!", levelFatal);
    }
    std::cout << "\ndone. (Segments: " << size() << "; Duration: " << timer << ")" << std::endl;
    return true;
}

std::unique_ptr<TSegmentVector> readDrainage(const my_string& nodePath, const my_string& segmentPath,
                                             const EnvironmentFiles* environment) {
    auto drainage = std::make_unique<TSegmentVector>();
    drainage->nodes->readNodeFile(nodePath);
    drainage->readSegmentFile(segmentPath, environment);
    return drainage;
}
