#include "gis/Network.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <sstream>
#include <unordered_map>
#include <utility>

#include "gis/SpatialGrid.h"

namespace gis {

namespace {

// Sets of items joined by relation; every set is named by its smallest item,
// so the result does not depend on the order of the joins.
class UnionFind {
public:
    explicit UnionFind(std::size_t n) : parent_(n) {
        for (std::size_t i = 0; i < n; ++i) parent_[i] = static_cast<int>(i);
    }
    int find(int i) {
        while (parent_[i] != i) i = parent_[i] = parent_[parent_[i]];
        return i;
    }
    // True when the two were apart.
    bool join(int a, int b) {
        a = find(a);
        b = find(b);
        if (a == b) return false;
        if (a < b) std::swap(a, b);
        parent_[a] = b;
        return true;
    }

private:
    std::vector<int> parent_;
};

struct Piece {
    int from = 0;  // node indices, in digitised order
    int to = 0;
    Polyline line;
    double length = 0;
    bool live = true;
};

// A cut of a line: on its straight piece k at the fraction t (0 <= t < 1).
struct Split {
    int line;
    int k;
    double t;
    int node;
    bool operator<(const Split& o) const { return std::tie(line, k, t, node) < std::tie(o.line, o.k, o.t, o.node); }
};

Polyline reversed(Polyline line) {
    std::reverse(line.begin(), line.end());
    return line;
}

// Two pieces between the same nodes follow the same course when their
// lengths and their points at a quarter, half and three quarters of the way
// agree within the tolerance.
bool sameCourse(const Piece& a, const Polyline& b, double lengthB, double tolerance) {
    if (std::abs(a.length - lengthB) > tolerance) return false;
    for (double f : {0.25, 0.5, 0.75})
        if (geodesicDistance(pointAlong(a.line, f * a.length), pointAlong(b, f * lengthB)) > tolerance) return false;
    return true;
}

std::string place(const LonLat& p) {
    std::ostringstream text;
    text.precision(6);
    text << std::fixed << p.lon << "," << p.lat;
    return text.str();
}

// Nodes at which no other line ends are mouths (or sources): the outlet is
// one of them. The message points to the nearest mouth and, when a node
// where lines meet is nearer, names it apart, as the outlet given may lie in
// a delta.
std::string outletTooFar(const LonLat& outlet, const std::vector<LonLat>& nodePlace, const std::vector<bool>& used,
                         const std::vector<Piece>& pieces, double tolerance) {
    std::vector<int> degree(nodePlace.size(), 0);
    for (const auto& piece : pieces)
        if (piece.live) {
            ++degree[piece.from];
            ++degree[piece.to];
        }
    int mouth = -1;
    int fork = -1;
    double mouthDistance = std::numeric_limits<double>::infinity();
    double forkDistance = std::numeric_limits<double>::infinity();
    for (int v = 0; v < static_cast<int>(nodePlace.size()); ++v) {
        if (!used[v]) continue;
        const double d = geodesicDistance(outlet, nodePlace[v]);
        int& best = degree[v] == 1 ? mouth : fork;
        double& bestDistance = degree[v] == 1 ? mouthDistance : forkDistance;
        if (d < bestDistance) {
            bestDistance = d;
            best = v;
        }
    }
    std::ostringstream text;
    text << "the outlet " << place(outlet) << " is farther than the tolerance of " << tolerance
         << " m from every line end: ";
    if (mouth >= 0)
        text << "the nearest mouth (a line end no other line touches) is " << place(nodePlace[mouth]) << ", "
             << std::llround(mouthDistance) << " m away";
    else
        text << "no line end is a mouth (every end touches another line)";
    if (fork >= 0 && forkDistance < mouthDistance)
        text << (mouth >= 0 ? "; nearer, " : "; the nearest line end, ") << place(nodePlace[fork]) << " ("
             << std::llround(forkDistance) << " m away), is where " << degree[fork] << " lines meet";
    return text.str();
}

// The ten longest dropped parts with their gaps to the kept network.
std::vector<DroppedPart> largestDropped(const std::vector<Piece>& pieces, const std::vector<int>& live,
                                        const std::map<int, std::vector<int>>& dropped) {
    constexpr std::size_t shown = 10;
    std::vector<std::pair<double, int>> byLength;  // (length, root)
    for (const auto& [root, members] : dropped) {
        double length = 0;
        for (int p : members) length += pieces[p].length;
        byLength.emplace_back(length, root);
    }
    // Longest first; equal lengths by the part's first end.
    std::sort(byLength.begin(), byLength.end(), [](const auto& a, const auto& b) {
        return a.first > b.first || (a.first == b.first && a.second < b.second);
    });
    if (byLength.size() > shown) byLength.resize(shown);
    std::vector<Polyline> kept;
    for (int p : live) kept.push_back(pieces[p].line);
    std::vector<DroppedPart> result;
    for (const auto& [length, root] : byLength) {
        std::vector<Polyline> part;
        for (int p : dropped.at(root)) part.push_back(pieces[p].line);
        result.push_back({length, static_cast<int>(part.size()), shortestGap(part, kept)});
    }
    return result;
}

// The lines as the network building takes them: without repeated
// vertices, each of at least two points.
struct Lines {
    std::vector<Polyline> lines;
    double highestLatitude = 0;  // of any vertex, for sizing search cells
};

// The nodes: every line end (end 2i is the start of line i, 2i + 1 its end)
// belongs to one node.
struct Nodes {
    std::vector<int> ofEnd;
    std::vector<LonLat> place;
};

// The part of the network that holds the outlet.
struct Kept {
    int outlet = -1;          // its node
    std::vector<int> pieces;  // live pieces in it, in piece order
    std::vector<int> nodes;   // its nodes, in node order
};

LonLat endPoint(const std::vector<Polyline>& lines, int e) {
    return e % 2 == 0 ? lines[e / 2].front() : lines[e / 2].back();
}

// A vertex repeating the one before it adds nothing to a line's course.
Polyline withoutRepeatedVertices(const Polyline& line) {
    Polyline clean;
    for (const auto& p : line)
        if (clean.empty() || !(clean.back() == p)) clean.push_back(p);
    return clean;
}

// The lines without repeated vertices; a line of one point has no length.
Lines cleanLines(const std::vector<Polyline>& input, NetworkReport& report) {
    Lines result;
    for (const auto& line : input) {
        Polyline clean = withoutRepeatedVertices(line);
        if (clean.size() < 2) {
            ++report.zeroLength;
            continue;
        }
        for (const auto& p : clean) result.highestLatitude = std::max(result.highestLatitude, std::abs(p.lat));
        result.lines.push_back(std::move(clean));
    }
    if (result.lines.empty()) throw ImportError("no line of the layer has a length");
    return result;
}

// Ends farther apart than a good part of a typical line are rarely one
// confluence digitised loosely: such a tolerance joins distinct rivers and
// moves the outlet.
void checkTolerance(const std::vector<Polyline>& lines, const NetworkOptions& options, NetworkReport& report) {
    std::vector<double> lengths;
    for (const auto& line : lines) lengths.push_back(geodesicLength(line));
    std::sort(lengths.begin(), lengths.end());
    const std::size_t n = lengths.size();
    report.medianLineLength = n % 2 == 1 ? lengths[n / 2] : (lengths[n / 2 - 1] + lengths[n / 2]) / 2;
    if (options.tolerance > report.medianLineLength / 4 && !options.force) {
        std::ostringstream text;
        text << "the tolerance of " << options.tolerance << " m is above a quarter of the median line length ("
             << std::llround(report.medianLineLength) << " m): it would join ends of distinct lines and move the"
             << " outlet (give --force to use it all the same)";
        throw ImportError(text.str());
    }
}

// Snap: ends within the tolerance of each other form one node. The node lies
// where most of its ends lie (an exact confluence stays exact), ties going to
// the first end.
Nodes snapEnds(const Lines& input, double tolerance) {
    const std::vector<Polyline>& lines = input.lines;
    const int endCount = 2 * static_cast<int>(lines.size());
    UnionFind ends(endCount);
    {
        Grid grid(std::max(tolerance, 1e-3), input.highestLatitude);
        for (int e = 0; e < endCount; ++e) grid.insert(e, endPoint(lines, e), endPoint(lines, e));
        for (int e = 0; e < endCount; ++e)
            for (int other : grid.around(endPoint(lines, e)))
                if (other > e && geodesicDistance(endPoint(lines, e), endPoint(lines, other)) <= tolerance)
                    ends.join(e, other);
    }
    Nodes nodes;
    nodes.ofEnd.assign(endCount, -1);
    std::map<int, std::vector<int>> clusters;  // by the smallest end
    for (int e = 0; e < endCount; ++e) clusters[ends.find(e)].push_back(e);
    for (const auto& [root, members] : clusters) {
        std::map<std::pair<double, double>, int> votes;
        const auto vote = [&](int e) -> int& { return votes[{endPoint(lines, e).lon, endPoint(lines, e).lat}]; };
        for (int e : members) ++vote(e);
        int best = members.front();
        for (int e : members)
            if (vote(e) > vote(best)) best = e;
        for (int e : members) nodes.ofEnd[e] = static_cast<int>(nodes.place.size());
        nodes.place.push_back(endPoint(lines, best));
    }
    return nodes;
}

// Where to split: a node that is not an end of a line but lies within the
// tolerance of its interior cuts that line there (the nearest such line);
// the node moves onto the line, so the line keeps its course. The cuts come
// back in line order, along each line.
std::vector<Split> findSplits(const Lines& input, Nodes& nodes, double tolerance) {
    const std::vector<Polyline>& lines = input.lines;
    std::vector<Split> splits;
    std::vector<std::pair<int, int>> pieces;  // (line, k)
    std::vector<double> pieceLengths;
    for (int i = 0; i < static_cast<int>(lines.size()); ++i)
        for (int k = 0; k + 1 < static_cast<int>(lines[i].size()); ++k) {
            pieces.emplace_back(i, k);
            pieceLengths.push_back(LocalFrame(lines[i][k]).distance(lines[i][k + 1]));
        }
    // Cells about as large as a typical straight piece keep each piece in a
    // few cells.
    std::vector<double> sorted = pieceLengths;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    Grid grid(std::max({tolerance, sorted[sorted.size() / 2], 1e-3}), input.highestLatitude);
    for (std::size_t p = 0; p < pieces.size(); ++p)
        grid.insert(static_cast<int>(p), lines[pieces[p].first][pieces[p].second],
                    lines[pieces[p].first][pieces[p].second + 1]);
    for (int v = 0; v < static_cast<int>(nodes.place.size()); ++v) {
        const LocalFrame frame(nodes.place[v]);
        double bestDistance = std::numeric_limits<double>::infinity();
        Split best{-1, 0, 0, v};
        for (int p : grid.around(nodes.place[v])) {
            const auto [i, k] = pieces[p];
            if (nodes.ofEnd[2 * i] == v || nodes.ofEnd[2 * i + 1] == v) continue;
            double t = 0;
            const double d = frame.nearestOnPiece(lines[i][k], lines[i][k + 1], t);
            int atK = k;
            if (t < 1e-9) t = 0;
            if (t > 1 - 1e-9) {
                t = 0;
                ++atK;
            }
            const int last = static_cast<int>(lines[i].size()) - 1;
            if ((atK == 0 && t == 0) || atK == last) continue;  // an end, snapped or not at all
            if (d <= tolerance && d < bestDistance) {
                bestDistance = d;
                best = {i, atK, t, v};
            }
        }
        if (best.line < 0) continue;
        nodes.place[v] = between(lines[best.line][best.k], lines[best.line][best.k + 1], best.t);
        splits.push_back(best);
    }
    std::sort(splits.begin(), splits.end());
    return splits;
}

// Split: the pieces of each line between its ends and its cuts, each with
// its geodesic length.
std::vector<Piece> splitLines(const std::vector<Polyline>& lines, const Nodes& nodes, const std::vector<Split>& splits,
                              NetworkReport& report) {
    std::vector<Piece> pieces;
    auto split = splits.begin();
    for (int i = 0; i < static_cast<int>(lines.size()); ++i) {
        const Polyline& line = lines[i];
        const int last = static_cast<int>(line.size()) - 1;
        Piece current;
        current.from = nodes.ofEnd[2 * i];
        current.line.push_back(nodes.place[current.from]);
        bool cut = false;
        for (int k = 0; k <= last; ++k) {
            if (k == last) {
                current.line.push_back(nodes.place[nodes.ofEnd[2 * i + 1]]);
                current.to = nodes.ofEnd[2 * i + 1];
                pieces.push_back(std::move(current));
                break;
            }
            if (k > 0) current.line.push_back(line[k]);
            for (; split != splits.end() && split->line == i && split->k == k; ++split) {
                const LonLat at = nodes.place[split->node];
                if (split->t == 0 && k > 0) current.line.pop_back();  // the vertex itself is the cut
                current.line.push_back(at);
                current.to = split->node;
                pieces.push_back(std::move(current));
                current = Piece();
                current.from = split->node;
                current.line.push_back(at);
                cut = true;
                ++report.splitPoints;
            }
        }
        if (cut) ++report.linesSplit;
    }
    for (auto& piece : pieces) {
        piece.line = withoutRepeatedVertices(piece.line);
        piece.length = geodesicLength(piece.line);
    }
    return pieces;
}

// Deduplicate, first the pieces of no length: they join their nodes; a
// piece that the snapping closed on itself within the tolerance is an
// artefact of the snapping.
void dropZeroLength(std::vector<Piece>& pieces, std::size_t nodeCount, double tolerance, NetworkReport& report) {
    UnionFind nodes(nodeCount);
    for (auto& piece : pieces)
        if (piece.length == 0) {
            nodes.join(piece.from, piece.to);
            piece.live = false;
            ++report.zeroLength;
        }
    for (auto& piece : pieces) {
        if (!piece.live) continue;
        piece.from = nodes.find(piece.from);
        piece.to = nodes.find(piece.to);
        if (piece.from == piece.to && piece.length <= tolerance) {
            piece.live = false;
            ++report.zeroLength;
        }
    }
}

// Deduplicate, then a piece that repeats an earlier one between the same
// nodes.
void dropDuplicates(std::vector<Piece>& pieces, double tolerance, NetworkReport& report) {
    std::map<std::pair<int, int>, std::vector<int>> between;
    for (int p = 0; p < static_cast<int>(pieces.size()); ++p) {
        Piece& piece = pieces[p];
        if (!piece.live) continue;
        auto& earlier = between[{std::min(piece.from, piece.to), std::max(piece.from, piece.to)}];
        for (int q : earlier) {
            const Piece& other = pieces[q];
            const bool along = other.from == piece.from;
            bool same = sameCourse(piece, along ? other.line : reversed(other.line), other.length, tolerance);
            if (!same && piece.from == piece.to)
                same = sameCourse(piece, reversed(other.line), other.length, tolerance);
            if (same) {
                piece.live = false;
                ++report.duplicates;
                break;
            }
        }
        if (piece.live) earlier.push_back(p);
    }
}

// The connected parts of the live pieces; the one with the node nearest the
// outlet (within the tolerance) is kept, the others are reported.
Kept keepOutletComponent(const std::vector<Piece>& pieces, const std::vector<LonLat>& nodePlace,
                         const NetworkOptions& options, NetworkReport& report) {
    UnionFind parts(nodePlace.size());
    std::vector<bool> used(nodePlace.size(), false);
    for (const auto& piece : pieces)
        if (piece.live) {
            parts.join(piece.from, piece.to);
            used[piece.from] = used[piece.to] = true;
        }
    Kept result;
    double outletDistance = std::numeric_limits<double>::infinity();
    for (int v = 0; v < static_cast<int>(nodePlace.size()); ++v)
        if (used[v]) {
            const double d = geodesicDistance(options.outlet, nodePlace[v]);
            if (d < outletDistance) {
                outletDistance = d;
                result.outlet = v;
            }
        }
    if (result.outlet < 0) throw ImportError("no line is left once the pieces without length are dropped");
    if (outletDistance > options.tolerance)
        throw ImportError(outletTooFar(options.outlet, nodePlace, used, pieces, options.tolerance));
    report.outletOffset = outletDistance;
    const int kept = parts.find(result.outlet);
    {
        std::vector<bool> seen(nodePlace.size(), false);
        for (int v = 0; v < static_cast<int>(nodePlace.size()); ++v)
            if (used[v] && !seen[parts.find(v)]) {
                seen[parts.find(v)] = true;
                ++report.components;
            }
        report.droppedComponents = report.components - 1;
    }
    std::map<int, std::vector<int>> dropped;  // the pieces of each dropped part, by its root
    for (int p = 0; p < static_cast<int>(pieces.size()); ++p) {
        if (!pieces[p].live) continue;
        if (parts.find(pieces[p].from) == kept) {
            result.pieces.push_back(p);
        } else {
            ++report.droppedPieces;
            report.droppedLength += pieces[p].length;
            dropped[parts.find(pieces[p].from)].push_back(p);
        }
    }
    report.largestDropped = largestDropped(pieces, result.pieces, dropped);
    for (int v = 0; v < static_cast<int>(nodePlace.size()); ++v)
        if (used[v] && parts.find(v) == kept) result.nodes.push_back(v);
    return result;
}

// Loops: the pieces that close a cycle when the kept part is joined piece by
// piece.
void reportLoops(const std::vector<Piece>& pieces, const Kept& kept, std::size_t nodeCount, NetworkReport& report) {
    UnionFind tree(nodeCount);
    for (int p : kept.pieces)
        if (!tree.join(pieces[p].from, pieces[p].to)) {
            ++report.loops;
            report.loopPlaces.push_back(pointAlong(pieces[p].line, pieces[p].length / 2));
        }
}

// Orient: every kept node's distance along the network to the outlet; each
// segment flows from its farther end to its nearer one (or as digitised).
// Then the ids: nodes from the outlet upward, segments by the distance of
// their lower end, then of their upper end.
void orient(const std::vector<Piece>& pieces, const std::vector<LonLat>& nodePlace, const Kept& kept,
            const NetworkOptions& options, Network& network) {
    NetworkReport& report = network.report;
    common::EdgeLists edges(nodePlace.size());
    for (int p : kept.pieces) {
        edges[pieces[p].from].push_back({pieces[p].to, pieces[p].length});
        if (pieces[p].to != pieces[p].from) edges[pieces[p].to].push_back({pieces[p].from, pieces[p].length});
    }
    const std::vector<double> distance = common::shortestDistances(edges, {{kept.outlet, 0.0}});

    struct Oriented {
        int piece;
        bool flip;
    };
    std::vector<Oriented> oriented;
    for (int p : kept.pieces) {
        const Piece& piece = pieces[p];
        bool flip = false;
        if (!options.digitisedDirection) flip = distance[piece.to] > distance[piece.from];
        if (flip) ++report.againstDigitised;
        oriented.push_back({p, flip});
    }
    const auto lowerEnd = [&](const Oriented& o) { return o.flip ? pieces[o.piece].from : pieces[o.piece].to; };
    const auto upperEnd = [&](const Oriented& o) { return o.flip ? pieces[o.piece].to : pieces[o.piece].from; };
    std::stable_sort(oriented.begin(), oriented.end(), [&](const Oriented& a, const Oriented& b) {
        return std::make_pair(distance[lowerEnd(a)], distance[upperEnd(a)]) <
               std::make_pair(distance[lowerEnd(b)], distance[upperEnd(b)]);
    });
    std::vector<int> nodeOrder = kept.nodes;
    std::stable_sort(nodeOrder.begin(), nodeOrder.end(), [&](int a, int b) {
        return std::make_tuple(distance[a], nodePlace[a].lon, nodePlace[a].lat) <
               std::make_tuple(distance[b], nodePlace[b].lon, nodePlace[b].lat);
    });
    std::vector<int> nodeId(nodePlace.size(), 0);
    report.lowest = report.highest = nodePlace[kept.outlet];
    for (int v : nodeOrder) {
        nodeId[v] = static_cast<int>(network.nodes.size()) + 1;
        network.nodes.push_back({nodeId[v], nodePlace[v], distance[v]});
    }
    for (const auto& o : oriented) {
        const Piece& piece = pieces[o.piece];
        NetworkSegment segment;
        segment.id = static_cast<int>(network.segments.size()) + 1;
        segment.from = nodeId[upperEnd(o)];
        segment.to = nodeId[lowerEnd(o)];
        segment.line = o.flip ? reversed(piece.line) : piece.line;
        segment.length = piece.length;
        segment.middle = pointAlong(segment.line, segment.length / 2);
        for (const auto& p : segment.line) {
            report.lowest = {std::min(report.lowest.lon, p.lon), std::min(report.lowest.lat, p.lat)};
            report.highest = {std::max(report.highest.lon, p.lon), std::max(report.highest.lat, p.lat)};
        }
        report.totalLength += segment.length;
        network.segments.push_back(std::move(segment));
    }
}

}  // namespace

Network buildNetwork(const std::vector<Polyline>& input, const NetworkOptions& options) {
    const double tolerance = options.tolerance;
    if (!(tolerance > 0) || !std::isfinite(tolerance))
        throw ImportError("the snapping tolerance must be a distance above 0 metres");
    Network network;
    NetworkReport& report = network.report;
    report.linesIn = static_cast<int>(input.size());
    const Lines lines = cleanLines(input, report);
    checkTolerance(lines.lines, options, report);

    Nodes nodes = snapEnds(lines, tolerance);
    const std::vector<Split> splits = findSplits(lines, nodes, tolerance);
    for (int e = 0; e < static_cast<int>(nodes.ofEnd.size()); ++e)
        if (!(endPoint(lines.lines, e) == nodes.place[nodes.ofEnd[e]])) ++report.endsSnapped;
    std::vector<Piece> pieces = splitLines(lines.lines, nodes, splits, report);

    dropZeroLength(pieces, nodes.place.size(), tolerance, report);
    dropDuplicates(pieces, tolerance, report);
    const Kept kept = keepOutletComponent(pieces, nodes.place, options, report);
    reportLoops(pieces, kept, nodes.place.size(), report);
    orient(pieces, nodes.place, kept, options, network);
    return network;
}

}  // namespace gis
