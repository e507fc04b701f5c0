// Small hand-made drainages and simulation loops for the demography tests.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/SimulationLoop.h"
#include "demography/State.h"
#include "demography/StartingConditions.h"
#include "demography/StateDB.h"
#include "drainage/Population.h"
#include "drainage/Drainage.h"
#include "random/Rng.h"
#include "settings/Settings.h"

using namespace fluviagen;

namespace demography_test {

// Settings of a plain deterministic run: K = 100, r = 0.5, a constant
// emigrating share of 0.5, no upstream preference, 10 generations.
inline Settings plainSettings() {
    Settings s;
    s.demographicModel = 1;
    s.numGenerations = 10;
    s.carryingCapacity = 100;
    s.growthRate = 0.5f;
    s.migrCol = 0.5f;
    s.migrOcc = 0.5f;
    s.upstreamMigrationRatio = 1.0f;
    s.allowInitialDensityOverflow = false;
    s.initialDensityOverflowRate = 1.0f;
    s.dynamicEnvironment = false;
    return s;
}

// Segments as {id, from-node, to-node}; the river flows from the from-node
// to the to-node. Nodes are created as they are named.
inline std::unique_ptr<Drainage> makeDrainage(const std::vector<std::array<std::int32_t, 3>>& segments) {
    auto drainage = std::make_unique<Drainage>();
    for (const auto& [id, from, to] : segments) {
        DrainageNode* nodes[2] = {drainage->nodes->find(from), drainage->nodes->find(to)};
        const std::int32_t ids[2] = {from, to};
        for (int k = 0; k < 2; ++k)
            if (nodes[k] == nullptr) {
                auto node = std::make_unique<DrainageNode>();
                node->id = ids[k];
                node->lon = static_cast<float>(ids[k]);
                node->lat = 45.0f;
                nodes[k] = drainage->nodes->store(std::move(node));
            }
        auto segment = std::make_unique<Segment>();
        segment->id = id;
        segment->length = 1000;
        segment->fromNode = nodes[0];
        segment->toNode = nodes[1];
        Segment* stored = drainage->store(std::move(segment));
        nodes[0]->outgoing.push_back(stored);
        nodes[1]->incoming.push_back(stored);
    }
    drainage->buildNeighbourLists();
    return drainage;
}

// A simulation loop with a generator of its own (constructed first, so that the
// loop can draw from it).
struct RngHolder {
    Rng rng;
};
struct TestLoop : RngHolder, SimulationLoop {
    explicit TestLoop(const Settings& settings) : SimulationLoop(settings, rng) {}
};

// A loop that runs nothing, with the given drainage installed and one fresh
// state per segment.
inline std::unique_ptr<TestLoop> makeWorld(const Settings& settings,
                                           const std::vector<std::array<std::int32_t, 3>>& segments) {
    auto world = std::make_unique<TestLoop>(settings);
    world->drainage = makeDrainage(segments);
    world->sources = std::make_unique<PopulationVector>(world->drainage.get());
    world->states.assign(static_cast<std::size_t>(world->drainage->size()), State{});
    return world;
}

inline PopulationSource& addSource(SimulationLoop& world, std::int32_t segmentId, std::int16_t size) {
    auto population = std::make_unique<PopulationSource>();
    population->name = Text("source");
    population->segmentId = segmentId;
    population->segment = world.drainage->find(segmentId);
    population->size = size;
    population->Resize = 0;
    population->migration = 0;
    world.sources->populations.push_back(std::move(population));
    world.sources->count = static_cast<int>(world.sources->populations.size());
    return *world.sources->populations.back();
}

inline Segment& seg(SimulationLoop& world, std::int32_t id) { return *world.drainage->find(id); }
inline State& stateOf(SimulationLoop& world, std::int32_t id) {
    return world.states.at(static_cast<std::size_t>(seg(world, id).index));
}
inline StatesOfCell& historyOf(SimulationLoop& world, std::int32_t id) {
    return world.database->history(seg(world, id).index);
}

// The starting conditions of the loop's drainage, sources and database.
inline void startingConditions(SimulationLoop& world) {
    setStartingConditions(
        *world.drainage, world.states, *world.database,
        [&world]() -> const PopulationVector& { return *world.sources; }, world.settings, world.databaseReady);
    world.databaseReady = false;
}

// Every size and immigrant entry of the database, segment after segment.
inline std::vector<std::int16_t> snapshot(const StateDB& db) {
    std::vector<std::int16_t> all;
    for (const StatesOfCell& history : db.histories) {
        all.insert(all.end(), history.sizes.entries().begin(), history.sizes.entries().end());
        for (const TimeStoFull& series : history.immigrants)
            all.insert(all.end(), series.entries().begin(), series.entries().end());
    }
    return all;
}

// A dendritic test network of 2^levels - 1 segments: a binary tree of
// the given depth draining to segment 1 (each confluence node joins two
// tributaries into one stem).
inline std::vector<std::array<std::int32_t, 3>> binaryTree(int levels) {
    std::vector<std::array<std::int32_t, 3>> segments;
    // Segment i flows from node i + 1 to the node of its parent (node 1 for
    // the stem); the children of segment i are 2i and 2i + 1.
    const std::int32_t count = (1 << levels) - 1;
    for (std::int32_t i = 1; i <= count; ++i) segments.push_back({i, i + 1, i == 1 ? 1 : (i / 2) + 1});
    return segments;
}

}  // namespace demography_test
