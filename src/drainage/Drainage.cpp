// The drainage: reading the segment file and linking segments into a graph.
#include "drainage/Drainage.h"

#include <algorithm>
#include <exception>
#include <fstream>
#include <iostream>
#include <string>
#include <unordered_map>

#include "drainage/Dynamic.h"
#include "base/Exception.h"
#include "base/InputFile.h"

namespace fluviagen {

Drainage::Drainage() : nodes(std::make_unique<NodeTable>()) {}

// Out of line: the dynamic environment is only declared in the header.
Drainage::~Drainage() = default;

Segment* Drainage::find(std::int32_t id) const {
    const auto it = segments.find(id);
    return it == segments.end() ? nullptr : it->second.get();
}

Segment* Drainage::store(std::unique_ptr<Segment> segment) {
    // A replaced segment would stay linked into its nodes' lists after its
    // memory is gone; the readers refuse repeated ids before linking.
    const auto [it, inserted] = segments.try_emplace(segment->id, nullptr);
    if (!inserted)
        throw SimulationError(Text("Segment '") + segment->id + "' is stored twice in the drainage!", levelFatal);
    it->second = std::move(segment);
    return it->second.get();
}

void Drainage::buildNeighbourLists() {
    // First pass: the neighbours of S with from-node F and to-node T, in the
    // order the migration model and the demographic database rely on:
    // other segments leaving F (1), segments ending at F (2), segments
    // leaving T (3), other segments ending at T (4), each in file order.
    std::int32_t index = 0;
    for (auto& [id, owned] : segments) owned->index = index++;
    for (auto& [id, owned] : segments) {
        Segment& s = *owned;
        s.neighbours.clear();
        s.neighbourKinds.clear();
        s.reversePositions.clear();
        if (s.fromNode == nullptr || s.toNode == nullptr) {
            s.neighbourCount = 0;
            continue;
        }
        const auto add = [&s](const std::vector<Segment*>& list, std::int32_t kind, bool skipSelf) {
            for (Segment* other : list) {
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
    std::unordered_map<const Segment*, std::unordered_map<const Segment*, std::int32_t>> indexOf;
    for (auto& [id, owned] : segments) {
        Segment& s = *owned;
        s.reversePositions.resize(s.neighbours.size());
        for (std::size_t i = 0; i < s.neighbours.size(); ++i) {
            const Segment& n = *s.neighbours[i];
            std::int32_t position = -1;
            if (n.neighbours.size() <= scanLimit) {
                const auto it = std::find(n.neighbours.begin(), n.neighbours.end(), &s);
                if (it != n.neighbours.end()) position = static_cast<std::int32_t>(it - n.neighbours.begin());
            } else {
                auto [entry, created] = indexOf.try_emplace(&n);
                if (created)
                    for (std::size_t j = n.neighbours.size(); j-- > 0;)
                        entry->second[n.neighbours[j]] = static_cast<std::int32_t>(j);
                const auto it = entry->second.find(&s);
                if (it != entry->second.end()) position = it->second;
            }
            if (position < 0)  // the relation is symmetric by construction
                throw SimulationError(
                    Text("Neighbour lists of segments ") + s.id + " and " + n.id + " are not symmetric!", levelError);
            s.reversePositions[i] = position;
        }
    }
}

void Drainage::setAccessible(bool value) {
    for (auto& [id, segment] : segments) segment->accessible = value;
}

void Drainage::setVisited(bool value) {
    for (auto& [id, node] : nodes->nodes) node->visited = value;
}

void Drainage::removeSegment(Segment* segment) {
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

}  // namespace fluviagen
