#include "gis/Resample.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <numeric>
#include <sstream>
#include <tuple>

namespace gis {

namespace {

// The distances along the line of each of its vertices, summed leg by leg as
// pointAlong sums them, so that a vertex and a cut at the same distance are
// told apart consistently.
std::vector<double> vertexDistances(const Polyline& line) {
    std::vector<double> along(line.size(), 0.0);
    for (std::size_t i = 1; i < line.size(); ++i) along[i] = along[i - 1] + geodesicDistance(line[i - 1], line[i]);
    return along;
}

// In double precision: a tiny length gives a count beyond any integer type,
// which the limit refuses before any count is converted.
double pieceCount(double segmentLength, double length) { return std::max(1.0, std::round(segmentLength / length)); }

}  // namespace

Network resampleNetwork(const Network& network, double length) {
    double total = 0;
    for (const auto& segment : network.segments) total += pieceCount(segment.length, length);
    if (!(total <= maxResampledSegments)) {
        std::ostringstream text;
        text << "resampling to " << length << " m would make " << std::setprecision(12) << total
             << " segments, more than the " << std::llround(maxResampledSegments)
             << " a drainage may hold (choose a longer --resample length)";
        throw ImportError(text.str());
    }

    // The nodes of the network keep their places; each cut adds one. Node
    // indices here: the network's node i is index i - 1.
    std::vector<NetworkNode> nodes = network.nodes;
    struct Piece {
        int from = 0;  // indices into nodes
        int to = 0;
        Polyline line;
        double length = 0;
        int segment = 0;  // the network segment it comes from, and its place
        int rank = 0;     // along it from the lower end
    };
    std::vector<Piece> pieces;
    for (const auto& segment : network.segments) {
        const auto n = static_cast<long long>(pieceCount(segment.length, length));
        const std::vector<double> along = vertexDistances(segment.line);
        const double step = along.back() / static_cast<double>(n);
        const double fromDistance = nodes[segment.from - 1].outletDistance;
        const double toDistance = nodes[segment.to - 1].outletDistance;
        int start = segment.from - 1;
        std::size_t vertex = 1;  // the first vertex not yet in a piece
        std::vector<Piece> cut;
        for (long long k = 1; k <= n; ++k) {
            Piece piece;
            piece.segment = segment.id;
            piece.from = start;
            piece.line.push_back(nodes[start].where);
            const double end = k == n ? along.back() : step * static_cast<double>(k);
            for (; vertex + 1 < segment.line.size() && along[vertex] < end; ++vertex)
                piece.line.push_back(segment.line[vertex]);
            if (k == n) {
                piece.line.push_back(segment.line.back());
                piece.to = segment.to - 1;
            } else {
                // A cut that falls on a vertex is that vertex.
                LonLat at;
                if (vertex + 1 < segment.line.size() && along[vertex] == end) {
                    at = segment.line[vertex++];
                } else {
                    at = pointAlong(segment.line, end);
                }
                if (!(piece.line.back() == at)) piece.line.push_back(at);
                NetworkNode node;
                node.where = at;
                // Along the network from either end of the segment, whichever
                // is shorter (in a loop the way round may be).
                node.outletDistance = std::min(fromDistance + end, toDistance + (along.back() - end));
                piece.to = static_cast<int>(nodes.size());
                nodes.push_back(node);
                start = piece.to;
            }
            piece.length = geodesicLength(piece.line);
            cut.push_back(std::move(piece));
        }
        for (std::size_t i = 0; i < cut.size(); ++i) cut[i].rank = static_cast<int>(cut.size() - i);
        for (auto& piece : cut) pieces.push_back(std::move(piece));
    }

    // The ids, by the rule of the network itself; ties keep the order of the
    // network's segments, and within one segment go from its lower end up.
    std::vector<int> nodeOrder(nodes.size());
    std::iota(nodeOrder.begin(), nodeOrder.end(), 0);
    std::stable_sort(nodeOrder.begin(), nodeOrder.end(), [&](int a, int b) {
        return std::make_tuple(nodes[a].outletDistance, nodes[a].where.lon, nodes[a].where.lat) <
               std::make_tuple(nodes[b].outletDistance, nodes[b].where.lon, nodes[b].where.lat);
    });
    Network result;
    result.report = network.report;
    std::vector<int> nodeId(nodes.size(), 0);
    for (int v : nodeOrder) {
        nodeId[v] = static_cast<int>(result.nodes.size()) + 1;
        result.nodes.push_back({nodeId[v], nodes[v].where, nodes[v].outletDistance});
    }
    std::vector<int> order(pieces.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const Piece& p = pieces[a];
        const Piece& q = pieces[b];
        return std::make_tuple(nodes[p.to].outletDistance, nodes[p.from].outletDistance, p.segment, p.rank) <
               std::make_tuple(nodes[q.to].outletDistance, nodes[q.from].outletDistance, q.segment, q.rank);
    });
    for (int i : order) {
        Piece& piece = pieces[i];
        NetworkSegment segment;
        segment.id = static_cast<int>(result.segments.size()) + 1;
        segment.from = nodeId[piece.from];
        segment.to = nodeId[piece.to];
        segment.length = piece.length;
        segment.middle = pointAlong(piece.line, piece.length / 2);
        segment.line = std::move(piece.line);
        result.segments.push_back(std::move(segment));
    }
    return result;
}

}  // namespace gis
