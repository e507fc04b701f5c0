// Synthetic dendritic river drainages for tests, benchmarks and examples.
//
// A drainage grows upstream from its mouth: the main stem is a reach of
// about sqrt(n) segments; tributaries join it at random nodes, each with a
// random share of the remaining segments, and branch again the same way. Segment
// lengths run from 300 m to 3 km, reaches meander a little, and tributaries
// leave their parent at 30 to 70 degrees, so the network looks like a real
// river system of the size asked for (100,000 segments cover a few hundred
// kilometres). The same seed always gives the same files: the generator uses
// its own random sequence, not the standard library's distributions.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "common/Geometry.h"

namespace drainage_generator {

struct Node {
    std::int32_t id;
    float lon;
    float lat;
};

// The river flows from the from-node to the to-node.
struct Segment {
    std::int32_t id;
    std::int32_t from;
    std::int32_t to;
    float length;  // the drainage's distance of the end nodes, metres
    float lon;     // middle point
    float lat;
};

struct Drainage {
    std::vector<Node> nodes;        // ids 1 .. n+1, node 1 is the mouth
    std::vector<Segment> segments;  // ids 1 .. n, segment 1 ends at the mouth
};

// SplitMix64: small, fast and the same on every platform.
class Sequence {
public:
    explicit Sequence(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }  // [0, 1)
    std::size_t below(std::size_t n) { return static_cast<std::size_t>(uniform() * static_cast<double>(n)); }

private:
    std::uint64_t state_;
};

inline Drainage generate(std::int32_t segmentCount, std::uint64_t seed) {
    constexpr double pi = 3.14159265358979323846;
    // Turns a step in metres into degrees to place the next node, about a
    // degree of the drainage's sphere; the segment's length is then measured
    // between the placed nodes by the drainage's distance.
    constexpr double metresPerDegree = 111195.0;
    Drainage d;
    if (segmentCount < 1) return d;
    Sequence random(seed);
    d.nodes.reserve(static_cast<std::size_t>(segmentCount) + 1);
    d.segments.reserve(static_cast<std::size_t>(segmentCount));

    const auto addNode = [&d](double lon, double lat) {
        float fLon = static_cast<float>(lon);
        float fLat = static_cast<float>(lat);
        // The readers take a coordinate of exactly -1 for a missing one.
        if (fLon == -1.0f) fLon = -1.00001f;
        if (fLat == -1.0f) fLat = -1.00001f;
        d.nodes.push_back(Node{static_cast<std::int32_t>(d.nodes.size()) + 1, fLon, fLat});
        return d.nodes.back().id;
    };

    struct Reach {
        std::int32_t mouthNode;  // the node where the reach ends downstream
        double heading;          // direction of travel upstream, radians from north
        std::int32_t budget;     // segments of the reach and all its tributaries
    };
    std::vector<Reach> pending;
    pending.push_back(
        Reach{addNode(20.0 + random.uniform(), 45.0 + random.uniform()), 2 * pi * random.uniform(), segmentCount});

    while (!pending.empty()) {
        const Reach reach = pending.back();
        pending.pop_back();
        // Reach length about sqrt(budget), so the longest path from a source
        // to the mouth grows like sqrt(n), as in river networks.
        const double scale = 0.8 + 0.6 * random.uniform();
        std::int32_t length =
            static_cast<std::int32_t>(std::lround(std::sqrt(static_cast<double>(reach.budget)) * scale));
        if (length < 1) length = 1;
        if (length > reach.budget) length = reach.budget;

        std::vector<std::int32_t> reachNodes;  // upstream node of each segment of the reach
        std::int32_t current = reach.mouthNode;
        double heading = reach.heading;
        for (std::int32_t k = 0; k < length; ++k) {
            heading += 0.5 * (random.uniform() - 0.5) + 0.2 * (reach.heading - heading);
            const double metres = 300.0 + 2700.0 * std::pow(random.uniform(), 1.5);
            const Node& down = d.nodes[static_cast<std::size_t>(current) - 1];
            const double lat = down.lat + metres * std::cos(heading) / metresPerDegree;
            const double lon = down.lon + metres * std::sin(heading) / (metresPerDegree * std::cos(lat * pi / 180.0));
            const std::int32_t up = addNode(lon, lat);
            const Node& a = d.nodes[static_cast<std::size_t>(up) - 1];
            const Node& b = d.nodes[static_cast<std::size_t>(current) - 1];
            d.segments.push_back(Segment{static_cast<std::int32_t>(d.segments.size()) + 1, up, current,
                                         common::drainageHaversineMetres(a.lon, a.lat, b.lon, b.lat),
                                         (a.lon + b.lon) / 2.0f, (a.lat + b.lat) / 2.0f});
            reachNodes.push_back(up);
            current = up;
        }

        // The rest of the budget goes to tributaries that join at distinct
        // nodes of the reach, with skewed shares: a few large, many small.
        std::int32_t rest = reach.budget - length;
        if (rest <= 0) continue;
        std::int32_t joins = std::max<std::int32_t>(1, length * 2 / 3);
        if (joins > rest) joins = rest;
        for (std::int32_t i = 0; i < joins; ++i)  // partial shuffle: the first joins entries
            std::swap(reachNodes[static_cast<std::size_t>(i)],
                      reachNodes[static_cast<std::size_t>(i) +
                                 random.below(reachNodes.size() - static_cast<std::size_t>(i))]);
        std::vector<double> weights(static_cast<std::size_t>(joins));
        double total = 0;
        for (double& w : weights) total += (w = std::pow(random.uniform(), 3.0) + 0.01);
        std::vector<std::int32_t> shares(static_cast<std::size_t>(joins), 1);
        std::int32_t given = joins;
        for (std::size_t i = 0; i < shares.size(); ++i) {
            const auto extra = static_cast<std::int32_t>(static_cast<double>(rest - joins) * weights[i] / total);
            shares[i] += extra;
            given += extra;
        }
        shares[0] += rest - given;
        for (std::size_t i = 0; i < shares.size(); ++i) {
            const double side = random.uniform() < 0.5 ? -1.0 : 1.0;
            const double turn = (30.0 + 40.0 * random.uniform()) * pi / 180.0;
            pending.push_back(Reach{reachNodes[i], reach.heading + side * turn, shares[i]});
        }
    }
    return d;
}

inline std::string nodeFileText(const Drainage& d) {
    std::string text =
        "Title: file with all nodes (WGS84)\nDate: Thu Jan 01 00:00:00 2026\nNodes: " + std::to_string(d.nodes.size()) +
        "\nNodeID\tLon\tLat\n";
    char line[96];
    for (const Node& n : d.nodes) {
        // Nine significant digits give back the very same float on reading.
        std::snprintf(line, sizeof line, "%d\t%.9g\t%.9g\n", n.id, static_cast<double>(n.lon),
                      static_cast<double>(n.lat));
        text += line;
    }
    return text;
}

inline std::string segmentFileText(const Drainage& d) {
    std::string text = "Title: file with all segments\nDate: Thu Jan 01 00:00:00 2026\nSegments: " +
                       std::to_string(d.segments.size()) + "\nSegID\tFNode\tTNode\tLength\tLon\tLat\t\n";
    char line[160];
    for (const Segment& s : d.segments) {
        std::snprintf(line, sizeof line, "%d\t%d\t%d\t%.9g\t%.9g\t%.9g\n", s.id, s.from, s.to,
                      static_cast<double>(s.length), static_cast<double>(s.lon), static_cast<double>(s.lat));
        text += line;
    }
    return text;
}

inline bool writeFile(const std::string& path, const std::string& text) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace drainage_generator
