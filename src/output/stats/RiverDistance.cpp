#include "output/stats/RiverDistance.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>

#include "common/Geometry.h"
#include "drainage/DrainageNode.h"
#include "drainage/Drainage.h"

namespace fluviagen {

namespace {

constexpr double unreached = std::numeric_limits<double>::infinity();

// The drainage as a graph of its nodes: a segment is an edge between its end
// nodes, as long as it is.
struct NodeGraph {
    std::unordered_map<const DrainageNode*, int> index;
    common::EdgeLists edges;  // per node: (node, metres)

    int of(const DrainageNode* node) {
        const auto [it, added] = index.emplace(node, static_cast<int>(edges.size()));
        if (added) edges.emplace_back();
        return it->second;
    }
    int find(const DrainageNode* node) const {
        const auto it = index.find(node);
        return it == index.end() ? -1 : it->second;
    }
};

NodeGraph graphOf(const Drainage& drainage) {
    NodeGraph graph;
    for (const auto& entry : drainage.segments) {
        const Segment& s = *entry.second;
        // A segment taken out of the drainage has lost its nodes.
        if (s.fromNode == nullptr || s.toNode == nullptr) continue;
        const int a = graph.of(s.fromNode), b = graph.of(s.toNode);
        const double length = std::max(0.0, static_cast<double>(s.length));
        graph.edges[static_cast<std::size_t>(a)].push_back({b, length});
        graph.edges[static_cast<std::size_t>(b)].push_back({a, length});
    }
    return graph;
}

bool inGraph(const NodeGraph& graph, const Segment* s) {
    return s != nullptr && graph.find(s->fromNode) >= 0 && graph.find(s->toNode) >= 0;
}

// Metres from the middle point of `start` to every node.
std::vector<double> fromMiddleOf(const NodeGraph& graph, const Segment& start) {
    const double half = std::max(0.0, static_cast<double>(start.length)) / 2;
    return common::shortestDistances(graph.edges,
                                     {{graph.find(start.fromNode), half}, {graph.find(start.toNode), half}});
}

}  // namespace

std::vector<std::vector<std::optional<double>>> riverDistancesKm(const Drainage& drainage,
                                                                 std::span<const Segment* const> segments) {
    const std::size_t count = segments.size();
    std::vector<std::vector<std::optional<double>>> km(count, std::vector<std::optional<double>>(count));
    const NodeGraph graph = graphOf(drainage);
    for (std::size_t i = 0; i < count; ++i) {
        const Segment* a = segments[i];
        if (!inGraph(graph, a)) continue;
        km[i][i] = 0.0;
        if (i + 1 == count) break;
        const std::vector<double> distance = fromMiddleOf(graph, *a);
        for (std::size_t j = i + 1; j < count; ++j) {
            const Segment* b = segments[j];
            if (!inGraph(graph, b)) continue;
            double metres = 0;
            if (b != a) {
                const double toEnd = std::min(distance[static_cast<std::size_t>(graph.find(b->fromNode))],
                                              distance[static_cast<std::size_t>(graph.find(b->toNode))]);
                // The middle of a itself may lie closer along a than round
                // through its end nodes only when a == b (handled above).
                metres = toEnd + std::max(0.0, static_cast<double>(b->length)) / 2;
            }
            if (metres == unreached) continue;
            km[i][j] = km[j][i] = metres / 1000;
        }
    }
    return km;
}

double straightLineKm(const Segment& a, const Segment& b) { return common::greatCircleKm(a.lon, a.lat, b.lon, b.lat); }

}  // namespace fluviagen
