// The drainage: reading the segment file and linking segments into a graph.
#include "drainage/SegmentVector.h"

#include <algorithm>
#include <exception>
#include <fstream>
#include <iostream>
#include <string>
#include <unordered_map>

#include "demography/Dynamic.h"
#include "drainage/RecordProblem.h"
#include "base/Exception.h"
#include "base/InputFile.h"
#include "settings/Settings.h"

TSegmentVector::TSegmentVector(const TSettings& settings_, World* world_) : settings(&settings_), world(world_) {}

// Out of line: the dynamic environment is only declared in the header.
TSegmentVector::~TSegmentVector() = default;

bool TSegmentVector::build(bool readFiles) {
    nodes = std::make_unique<TSegNodeVector>(this);
    if (!readFiles) return true;
    nodes->readNodeFile(dataFolder + settings->nodeFile);
    return readSegmentFile(dataFolder + settings->segmentFile);
}

TSegment* TSegmentVector::find(std::int32_t id) const {
    const auto it = segments.find(id);
    return it == segments.end() ? nullptr : it->second.get();
}

TSegment* TSegmentVector::store(std::unique_ptr<TSegment> segment) {
    // A replaced segment would stay linked into its nodes' lists after its
    // memory is gone; the readers refuse repeated ids before linking.
    const auto [it, inserted] = segments.try_emplace(segment->id, nullptr);
    if (!inserted)
        throw TException(my_string("Segment '") + segment->id + "' is stored twice in the drainage!", levelFatal);
    it->second = std::move(segment);
    return it->second.get();
}

bool TSegmentVector::readSegmentFile(const my_string& path) {
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
                segment->drainage = this;
                segment->settings = settings;
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
        if (settings->dynamicEnvironment)
            dynamicEnvironment = readDynamicEnvironment(*this, dataFolder + settings->dynamicEnvironmentFile);
    } catch (const TException&) {
        throw;
    } catch (...) {
        throw TException(my_string("Reading segment file '") + path + "'!", levelFatal);
    }
    std::cout << "\ndone. (Segments: " << size() << "; Duration: " << timer << ")" << std::endl;
    return true;
}

void TSegmentVector::buildNeighbourLists() {
    // First pass: the neighbours of S with from-node F and to-node T, in the
    // order the migration model and the demographic database rely on:
    // other segments leaving F (1), segments ending at F (2), segments
    // leaving T (3), other segments ending at T (4), each in file order.
    for (auto& [id, owned] : segments) {
        TSegment& s = *owned;
        s.neighbours.clear();
        s.neighbourKinds.clear();
        s.reversePositions.clear();
        if (s.fromNode == nullptr || s.toNode == nullptr) {
            s.neighbourCount = 0;
            continue;
        }
        const auto add = [&s](const std::vector<TSegment*>& list, std::int32_t kind, bool skipSelf) {
            for (TSegment* other : list) {
                if (skipSelf && other == &s) continue;
                s.neighbours.push_back(other);
                s.neighbourKinds.push_back(kind);
            }
        };
        // |out(F)| + |in(F)| + |out(T)| + |in(T)| - 2: S itself stands once in
        // out(F) and once in in(T).
        const std::size_t listed = s.fromNode->outgoing.size() + s.fromNode->incoming.size() +
                                   s.toNode->outgoing.size() + s.toNode->incoming.size();
        s.neighbours.reserve(listed);
        s.neighbourKinds.reserve(listed);
        add(s.fromNode->outgoing, kindSharesFromNode, true);
        add(s.fromNode->incoming, kindFlowsIn, false);
        add(s.toNode->outgoing, kindFlowsOut, false);
        add(s.toNode->incoming, kindSharesToNode, true);
        s.neighbourCount = static_cast<std::int32_t>(s.neighbours.size());
    }
    // Second pass: where S stands in each neighbour's own array (its first
    // place; parallel segments and loops stand there twice). Neighbour arrays
    // are short, so a scan is fastest; a segment at a node where very many
    // segments meet gets an index instead, keeping the pass linear.
    constexpr std::size_t scanLimit = 64;
    std::unordered_map<const TSegment*, std::unordered_map<const TSegment*, std::int32_t>> indexOf;
    for (auto& [id, owned] : segments) {
        TSegment& s = *owned;
        s.reversePositions.resize(s.neighbours.size());
        for (std::size_t i = 0; i < s.neighbours.size(); ++i) {
            const TSegment& n = *s.neighbours[i];
            std::int32_t position = -1;
            if (n.neighbours.size() <= scanLimit) {
                const auto it = std::find(n.neighbours.begin(), n.neighbours.end(), &s);
                if (it != n.neighbours.end()) position = static_cast<std::int32_t>(it - n.neighbours.begin());
            } else {
                auto [entry, created] = indexOf.try_emplace(&n);
                if (created)
                    for (std::size_t j = n.neighbours.size(); j-- > 0;) entry->second[n.neighbours[j]] = static_cast<std::int32_t>(j);
                const auto it = entry->second.find(&s);
                if (it != entry->second.end()) position = it->second;
            }
            if (position < 0)  // the relation is symmetric by construction
                throw TException(my_string("Neighbour lists of segments ") + s.id + " and " + n.id + " are not symmetric!",
                                 levelError);
            s.reversePositions[i] = position;
        }
    }
}

void TSegmentVector::setAccessible(bool value) {
    for (auto& [id, segment] : segments) segment->accessible = value;
}

void TSegmentVector::setVisited(bool value) {
    for (auto& [id, node] : nodes->nodes) node->visited = value;
}

void TSegmentVector::removeSegment(TSegment* segment) {
    if (segment == nullptr) return;
    if (segment->fromNode != nullptr) std::erase(segment->fromNode->outgoing, segment);
    if (segment->toNode != nullptr) std::erase(segment->toNode->incoming, segment);
    segment->fromNode = nullptr;
    segment->toNode = nullptr;
    segment->neighbours = {};
    segment->neighbourKinds = {};
    segment->reversePositions = {};
    segment->neighbourCount = 0;
}
