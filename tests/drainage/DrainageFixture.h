// Small hand-made drainages written to a temporary folder, read by the
// drainage readers or by the first stage of a simulation loop, for the drainage tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/SimulationLoop.h"
#include "base/Exception.h"
#include "common/Geometry.h"
#include "drainage/Dynamic.h"
#include "drainage/Population.h"
#include "drainage/DrainageNode.h"
#include "drainage/Segment.h"
#include "drainage/Drainage.h"
#include "drainage/readers/DrainageFiles.h"
#include "drainage/readers/PopulationFile.h"
#include "random/Rng.h"
#include "settings/Settings.h"
#include "support/TestFiles.h"

using namespace fluviagen;

namespace drainage_test {

struct NodeRow {
    int id;
    float lon;
    float lat;
};

struct SegmentRow {
    int id;
    int from;
    int to;
    float length;  // < 0: the drainage distance of the end nodes
};

inline std::string nodeFile(const std::vector<NodeRow>& rows) {
    std::string text = "Title: file with all nodes (WGS84)\nDate: today\nNodes: " + std::to_string(rows.size()) +
                       "\nNodeID\tLon\tLat\n";
    char line[96];
    for (const auto& r : rows) {
        std::snprintf(line, sizeof line, "%d\t%.9g\t%.9g\n", r.id, double(r.lon), double(r.lat));
        text += line;
    }
    return text;
}

// Segment records with their middle point at the mean of the end nodes.
inline std::string segmentFile(const std::vector<NodeRow>& nodes, const std::vector<SegmentRow>& rows) {
    const auto node = [&nodes](int id) {
        for (const auto& n : nodes)
            if (n.id == id) return n;
        return NodeRow{id, 0, 0};
    };
    std::string text = "Title: file with all segments\nDate: today\nSegments: " + std::to_string(rows.size()) +
                       "\nSegID\tFNode\tTNode\tLength\tLon\tLat\t\n";
    char line[160];
    for (const auto& r : rows) {
        const NodeRow a = node(r.from), b = node(r.to);
        const float length = r.length >= 0 ? r.length : common::drainageHaversineMetres(a.lon, a.lat, b.lon, b.lat);
        std::snprintf(line, sizeof line, "%d\t%d\t%d\t%.9g\t%.9g\t%.9g\n", r.id, r.from, r.to, double(length),
                      double((a.lon + b.lon) / 2.0f), double((a.lat + b.lat) / 2.0f));
        text += line;
    }
    return text;
}

// A temporary data folder with settings naming nodes.txt, segments.txt,
// sources.txt and samples.txt in it.
class DrainageTest : public ::testing::Test {
protected:
    DrainageTest() {
        settings.dataFolder = Text(temp.folder());
        settings.nodeFile = "nodes.txt";
        settings.segmentFile = "segments.txt";
        settings.popSourceFile = "sources.txt";
        settings.sampleFile = "samples.txt";
        settings.segmentLength = 0;
        settings.dynamicEnvironment = false;
        settings.maxGenerations = 100000;  // enough for the samples to coalesce
    }

    void writeDrainage(const std::vector<NodeRow>& nodes, const std::vector<SegmentRow>& segments) {
        temp.write("nodes.txt", nodeFile(nodes));
        temp.write("segments.txt", segmentFile(nodes, segments));
    }
    std::string write(const std::string& name, const std::string& text) { return temp.write(name, text); }
    std::string path(const std::string& name) const { return temp.folder() + name; }

    // Runs f with its console output captured into console (also when f
    // throws) and returns what f returns.
    template <typename F>
    auto quietly(F&& f) {
        testing::internal::CaptureStdout();
        try {
            auto result = f();
            console = testing::internal::GetCapturedStdout();
            return result;
        } catch (...) {
            console = testing::internal::GetCapturedStdout();
            throw;
        }
    }

    // nodes.txt and segments.txt through the drainage readers, with the maps
    // of a dynamic environment when given.
    std::unique_ptr<Drainage> readFiles(const EnvironmentFiles* environment = nullptr) {
        return quietly([&] { return readDrainage(path("nodes.txt"), path("segments.txt"), environment); });
    }

    // A simulation loop for the settings after its first stage: the drainage read,
    // and resampled when the settings ask for it.
    std::unique_ptr<SimulationLoop> build() {
        auto run = std::make_unique<SimulationLoop>(settings, rng);
        quietly([&] {
            run->buildDrainage();
            return true;
        });
        return run;
    }

    // The message and level of the SimulationError that f throws (console kept).
    template <typename F>
    SimulationError failure(F&& f) {
        testing::internal::CaptureStdout();
        try {
            f();
        } catch (const SimulationError& e) {
            console = testing::internal::GetCapturedStdout();
            return e;
        }
        console = testing::internal::GetCapturedStdout();
        ADD_FAILURE() << "no TException was thrown; console:\n" << console;
        return SimulationError(Text(), 0);
    }

    testing_support::TempFolder temp;
    Settings settings;
    Rng rng;  // the generator of the simulation loops (reading a drainage draws nothing)
    std::string console;
};

// Every neighbour relation is mirrored, with the mirrored kind, and the
// reverse position points back at the segment itself.
inline void expectSymmetric(const Drainage& drainage) {
    const auto mirrored = [](std::int32_t kind) { return kind == 2 ? 3 : kind == 3 ? 2 : kind; };
    for (const auto& [id, s] : drainage.segments) {
        ASSERT_EQ(s->neighbourCount, static_cast<std::int32_t>(s->neighbours.size()));
        ASSERT_EQ(s->neighbours.size(), s->reversePositions.size());
        for (std::size_t i = 0; i < s->neighbours.size(); ++i) {
            const Segment& n = *s->neighbours[i];
            const auto back = static_cast<std::size_t>(s->reversePositions[i]);
            ASSERT_LT(back, n.neighbours.size()) << "segment " << id;
            EXPECT_EQ(n.neighbours[back], s.get()) << "segment " << id << " neighbour " << i;
            // Parallel segments stand twice in each other's arrays (kinds 1
            // and 4); some entry carries the mirrored kind.
            bool kindFound = false;
            for (std::size_t j = 0; j < n.neighbours.size(); ++j)
                kindFound |= n.neighbours[j] == s.get() && n.neighbourKinds[j] == mirrored(s->neighbourKinds[i]);
            EXPECT_TRUE(kindFound) << "segment " << id << " neighbour " << i;
            // The first place, when it stands there twice.
            for (std::size_t j = 0; j < back; ++j) EXPECT_NE(n.neighbours[j], s.get());
        }
    }
}

// Neighbours as "id:kind" in array order.
inline std::string neighbourText(const Segment& s) {
    std::string text;
    for (std::size_t i = 0; i < s.neighbours.size(); ++i) {
        if (i > 0) text += ' ';
        text += std::to_string(s.neighbours[i]->id);
        text += ':';
        text += std::to_string(s.neighbourKinds[i]);
    }
    return text;
}

}  // namespace drainage_test
