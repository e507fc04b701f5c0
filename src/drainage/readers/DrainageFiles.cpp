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

bool TSegNodeVector::readNodeFile(const my_string& path) {
    std::cout << "\tRead node file '" << path << "' ... ";
    const myTimer timer;
    try {
        std::ifstream in = openInputFile(path);
        my_string line;
        for (int i = 0; i < 4; ++i) readLine(line, in);
        try {
            const char* field = nullptr;  // the value that could not be read
            while (in.good()) {
                auto node = std::make_unique<TSegNode>();
                // A record cut short by the end of the file keeps -1
                // coordinates; a node written with id -1 or a coordinate of
                // exactly -1 is treated as missing.
                if (!(in >> node->id)) field = "node id";
                else if (!(in >> node->lon)) field = "longitude";
                else if (!(in >> node->lat)) field = "latitude";
                if (in.fail() && !in.eof()) break;  // a word that is not a number: reported below
                if (node->id == -1 || node->lon == -1 || node->lat == -1) continue;
                store(std::move(node));
            }
            // The stream stops at the first word that is not a number (or a
            // number beyond its field's range). Reading no further would
            // silently lose the rest of the drainage.
            if (in.fail() && !in.eof()) {
                const RecordProblem problem = locateFailedValue(in, path);
                std::cout << "\n-> Error: node file '" << path << "', line " << problem.line << ": the " << field
                          << " '" << problem.word << "' is not a number or is out of range (after " << size() << " nodes)!"
                          << std::endl;
                throw TException(my_string("Reading node file in line '") + size() + "'!", levelFatal);
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
        my_string line;
        for (int i = 0; i < 4; ++i) readLine(line, in);
        int dropped = 0;
        try {
            const char* field = nullptr;  // the value that could not be read
            while (in.good()) {
                auto segment = std::make_unique<TSegment>();
                // A record cut short right after its id keeps these -1 ends,
                // which no node has, and is reported below.
                std::int32_t fromId = -1;
                std::int32_t toId = -1;
                if (!(in >> segment->id)) field = "segment id";
                else if (!(in >> fromId)) field = "from-node id";
                else if (!(in >> toId)) field = "to-node id";
                else if (!(in >> segment->length)) field = "length";
                else if (!(in >> segment->lon)) field = "longitude of the middle point";
                else if (!(in >> segment->lat)) field = "latitude of the middle point";
                if (in.fail() && !in.eof()) break;  // a word that is not a number: reported below
                TSegNode* from = nullptr;
                TSegNode* to = nullptr;
                if (segment->id > 0) {
                    from = nodes->find(fromId);
                    if (from != nullptr) to = nodes->find(toId);
                }
                if (segment->id <= 0 || from == nullptr || to == nullptr) {
                    // id 0 is what the end of the file (or an unreadable id) leaves.
                    if (segment->id != 0) {
                        ++dropped;
                        std::cout << "\n-> Error: Segment '" << segment->id << "' could not be read!" << std::endl;
                        if (segment->id < 0)
                            std::cout << "\t(segment ids must be above 0)" << std::endl;
                        else
                            std::cout << "\t(its " << (from == nullptr ? "from-node " : "to-node ")
                                      << (from == nullptr ? fromId : toId) << " is not in the node file)" << std::endl;
                    }
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
            if (in.fail() && !in.eof()) {
                const RecordProblem problem = locateFailedValue(in, path);
                std::cout << "\n-> Error: segment file '" << path << "', line " << problem.line << ": the " << field
                          << " '" << problem.word << "' is not a number or is out of range (after " << size()
                          << " segments)!" << std::endl;
                throw TException(my_string("Reading line ") + size() + " of segment file!", levelFatal);
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
