// The fixed-length transform of a drainage: every segment cut to one nominal
// length, so that a deme stands for the same stretch of river everywhere.
#include <algorithm>
#include <cmath>
#include <iomanip>
#include <limits>
#include <iostream>
#include <sstream>
#include <vector>

#include "drainage/Drainage.h"
#include "base/Exception.h"
#include "common/SettingLines.h"

namespace fluviagen {

namespace {

// More segments than this would not fit in memory together with their
// demographic history; a tiny segment length (or a huge length in the
// segment file) is far more likely a mistake than a wish.
constexpr double maxResampledSegments = 100e6;
constexpr double maxPiecesPerSegment = 1e6;

// Bytes of one piece of the resampled drainage: the segment, its new end
// node, their table entries and a few neighbours.
constexpr double bytesPerPiece = sizeof(Segment) + sizeof(DrainageNode) + 256;

// The walk of the transform. Every node of the drainage as read maps onto
// one new node; a stretch shorter than half the target length adds its length
// (the carry) to the stretches beyond it instead of making a segment.
class FixedLengthCutter {
public:
    FixedLengthCutter(Drainage& target, float M) : target_(target), M_(M) {}

    // Walks everything reachable from node u, which maps onto the new node w.
    void walk(DrainageNode& u, DrainageNode& w, float carry) {
        // An explicit stack instead of recursion: a long river would
        // otherwise need one call frame per segment along it. The order of
        // the cuts is that of the recursive walk.
        start(u, w, carry);
        while (!stack_.empty()) {
            Frame& frame = stack_.back();
            Segment* next = nullptr;
            bool downstream = true;
            while (next == nullptr && frame.list < 2) {
                const std::vector<Segment*>& list = frame.list == 0 ? frame.u->outgoing : frame.u->incoming;
                if (frame.position >= list.size()) {
                    ++frame.list;
                    frame.position = 0;
                    continue;
                }
                Segment* s = list[frame.position++];
                if (!processed(*s)) {
                    next = s;
                    downstream = frame.list == 0;
                }
            }
            if (next == nullptr) {
                stack_.pop_back();
                continue;
            }
            DrainageNode& w0 = *frame.w;
            const float c = frame.carry;  // the frame may move when the stack grows
            cut(*next, w0, downstream, c);
        }
    }

    DrainageNode& newNode(float lon, float lat) {
        auto node = std::make_unique<DrainageNode>();
        node->id = target_.nodes->size() + 1;
        node->lon = lon;
        node->lat = lat;
        return *target_.nodes->store(std::move(node));
    }

private:
    struct Frame {
        DrainageNode* u;
        DrainageNode* w;
        float carry;
        int list;              // 0: outgoing segments of u, 1: incoming ones
        std::size_t position;  // next entry of that list
    };

    // The accessible flag of the drainage as read marks processed segments.
    static bool processed(const Segment& s) { return s.accessible; }

    void start(DrainageNode& u, DrainageNode& w, float carry) {
        if (u.visited) return;
        u.visited = true;
        stack_.push_back(Frame{&u, &w, carry, 0, 0});
    }

    // Cuts segment s into pieces of length M, starting at new node w, in the
    // direction of the walk; then walks on from its far node with the rest.
    void cut(Segment& s, DrainageNode& w, bool downstream, float carry) {
        if (processed(s)) return;
        s.accessible = true;
        DrainageNode& x = downstream ? *s.toNode : *s.fromNode;
        DrainageNode* cur = &w;
        float remaining = s.length + carry;
        while (remaining > 0.5 * M_) {
            DrainageNode& p = newNode(x.lon, x.lat);
            if (remaining > 1.5 * M_) {
                // The piece ends inside s: step towards the middle point while
                // it is still ahead, else towards the far node.
                const float h = M_ / remaining;
                if (remaining > 0.5 * s.length) {
                    const float f = static_cast<float>(M_ / (remaining - 0.5 * s.length));
                    p.lon = cur->lon + (s.lon - cur->lon) * f;
                    p.lat = cur->lat + (s.lat - cur->lat) * f;
                } else {
                    p.lon = cur->lon + (x.lon - cur->lon) * h;
                    p.lat = cur->lat + (x.lat - cur->lat) * h;
                }
            }
            auto piece = std::make_unique<Segment>();
            piece->id = target_.size() + 1;
            piece->length = M_;
            piece->originSegment = &s;
            piece->fromNode = downstream ? cur : &p;
            piece->toNode = downstream ? &p : cur;
            piece->fromNode->outgoing.push_back(piece.get());
            piece->toNode->incoming.push_back(piece.get());
            piece->lon = (piece->fromNode->lon + piece->toNode->lon) / 2.0f;
            piece->lat = (piece->fromNode->lat + piece->toNode->lat) / 2.0f;
            target_.store(std::move(piece));
            remaining = remaining - M_;
            cur = &p;
        }
        start(x, *cur, remaining);
    }

    Drainage& target_;
    float M_;
    std::vector<Frame> stack_;
};

}  // namespace

std::unique_ptr<Drainage> resampleToFixedLength(Drainage& full, float M) {
    const auto fatal = [](const std::ostringstream& text) { return SimulationError(Text(text.str()), levelFatal); };
    std::ostringstream text;
    if (!(M > 0) || !std::isfinite(M)) {
        text << "The segment length of the settings must be a positive number of metres (or 0), not " << M << "!";
        throw fatal(text);
    }
    double total = 0;
    for (const auto& [id, s] : full.segments) {
        if (s->length > 0) total += s->length;
        // The rest of a segment is counted down in single precision; beyond
        // about 2^23 pieces subtracting M would no longer change it.
        if (s->length / M > maxPiecesPerSegment) {
            text << "Segment '" << s->id << "' (" << s->length << " m) is too long to be cut into pieces of " << M
                 << " m!";
            throw fatal(text);
        }
    }
    if (total / M > maxResampledSegments) {
        text << "A segment length of " << M << " m would cut the drainage (" << total
             << " m of river) into more than 100000000 segments!";
        throw fatal(text);
    }
    const double pieces = total / M + static_cast<double>(full.nodes->size());
    if (const double available = static_cast<double>(availableMemoryBytes());
        available > 0 && pieces * bytesPerPiece > available) {
        // The length as written (0.01, not the whole metres the rest is
        // given in), and the memory as the reason.
        text << "Settings line " << lineOf(Setting::segmentLength) << " (segment length): a segment length of " << M
             << std::fixed << std::setprecision(0) << " m would cut the drainage (" << total
             << " m of river) into about " << pieces << " segments, which need about " << pieces * bytesPerPiece
             << " bytes, but only " << available << " bytes of memory are available!";
        throw fatal(text);
    }

    auto resampled = std::make_unique<Drainage>();
    full.setAccessible(false);
    full.setVisited(false);
    FixedLengthCutter cutter(*resampled, M);
    for (auto& [id, u] : full.nodes->nodes) {
        if (u->visited) continue;
        DrainageNode& w = cutter.newNode(u->lon, u->lat);
        cutter.walk(*u, w, 0);
    }
    if (resampled->size() == 0) {
        // Every stretch of river between two confluences, sources or mouths
        // was shorter than half the segment length (or the segments have no
        // length): nothing is left to simulate on.
        const Segment* longest = nullptr;
        for (const auto& [id, s] : full.segments)
            if (longest == nullptr || s->length > longest->length) longest = s.get();
        text << "Settings line " << lineOf(Setting::segmentLength)
             << " (segment length): cutting the drainage into segments of " << M << " m leaves no segment: its "
             << full.size() << " segments hold " << total
             << " m of river, and no connected stretch of it reaches half that length";
        if (longest != nullptr)
            text << " (the longest segment, '" << longest->id << "', is " << longest->length << " m)";
        text << "!";
        throw fatal(text);
    }
    resampled->buildNeighbourLists();
    return resampled;
}

}  // namespace fluviagen
