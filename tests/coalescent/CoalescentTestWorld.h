// A small hand-made world for the coalescent tests: a drainage built through
// its own API, a demographic database whose size and immigrant series the
// test writes directly, sources and samples placed on segments. The backward
// walk is thus tested against a history chosen by the test, independently of
// the forward simulation.
#pragma once

#include <cstdint>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

#include "coalescent/Deme.h"
#include "random/Rng.h"
#include "demography/StateDB.h"
#include "drainage/Population.h"
#include "drainage/Drainage.h"
#include "settings/Settings.h"
#include "app/SimulationLoop.h"

using namespace fluviagen;

namespace coalescent_test {

// A generator started from a seed without the seeding console line.
inline void seedStream(Rng& rng, long seed) {
    rng = Rng{};
    long s = -seed;
    rng.uniform(s);
}

// Collects everything written to std::cout while it lives.
class CoutCapture {
public:
    CoutCapture() : old_(std::cout.rdbuf(buffer_.rdbuf())) {}
    ~CoutCapture() { std::cout.rdbuf(old_); }
    CoutCapture(const CoutCapture&) = delete;
    CoutCapture& operator=(const CoutCapture&) = delete;
    std::string text() const { return buffer_.str(); }
    void clear() { buffer_.str(""); }

private:
    std::ostringstream buffer_;
    std::streambuf* old_;
};

class TestWorld {
public:
    // G forward generations; the backward walk may take maxGenerations steps.
    explicit TestWorld(std::int32_t G, std::int32_t maxGenerations = 1000000) {
        Settings settings;
        settings.numGenerations = G;
        settings.maxGenerations = maxGenerations;
        settings.numGeneticSimulations = 1;
        settings.numIndependentLoci = 1;
        settings.numLinkedLoci = 1;
        settings.divergenceTime = 0;
        // A hand-made world writes no files: it has no output folder, and
        // the added outputs (statistics, tables) are on by default.
        for (const std::string_view group : OutputGroups::names()) settings.outputGroups.force(group, false);
        world = std::make_unique<SimulationLoop>(settings, rng);
        world->drainage = std::make_unique<Drainage>();
        world->samples = std::make_unique<PopulationVector>(world->drainage.get());
        world->sources = std::make_unique<PopulationVector>(world->drainage.get());
    }

    Settings& settings() { return world->settings; }
    DemeCollection& demes() { return *world->demes; }
    Drainage& drainage() { return *world->drainage; }

    DrainageNode* node(std::int32_t id) {
        if (DrainageNode* found = drainage().nodes->find(id)) return found;
        auto created = std::make_unique<DrainageNode>();
        created->id = id;
        created->lon = static_cast<float>(id);
        created->lat = 45.0f;
        return drainage().nodes->store(std::move(created));
    }

    // A segment flowing from node `from` to node `to`. Segments are linked
    // into the node lists in the order they are added.
    Segment* addSegment(std::int32_t id, std::int32_t from, std::int32_t to) {
        auto segment = std::make_unique<Segment>();
        segment->id = id;
        segment->fromNode = node(from);
        segment->toNode = node(to);
        segment->lon = static_cast<float>(from) + 0.5f;
        segment->lat = 45.0f;
        Segment* stored = drainage().store(std::move(segment));
        stored->fromNode->outgoing.push_back(stored);
        stored->toNode->incoming.push_back(stored);
        return stored;
    }

    // Neighbour lists and an all-zero database, once every segment is added.
    void finish() {
        drainage().buildNeighbourLists();
        world->database = std::make_unique<StateDB>(drainage(), settings().numGenerations);
    }

    Segment* segment(std::int32_t id) { return drainage().find(id); }
    StatesOfCell& history(std::int32_t id) { return world->database->history(segment(id)->index); }

    // The demes of the samples, from the world's drainage, database and
    // populations.
    bool createDemes() {
        return demes().createDemes(drainage(), *world->database, *world->samples, *world->sources, settings());
    }
    void buildTree(std::int32_t index) { demes().buildTree(index, rng); }
    Deme* demeOn(std::int32_t id) { return demes().demeAt(*segment(id)); }

    void setSize(std::int32_t id, std::int32_t g, std::int16_t value) { history(id).storeSize(g, value); }
    // The same size in every generation 0 .. G.
    void setSizes(std::int32_t id, std::int16_t value) {
        for (std::int32_t g = 0; g <= settings().numGenerations; ++g) setSize(id, g, value);
    }
    // Individuals that came into segment `id` from segment `fromId` in generation g.
    void setImmigrants(std::int32_t id, std::int32_t fromId, std::int32_t g, std::int16_t value) {
        history(id).storeImmigrants(neighbourPosition(id, fromId), g, value);
    }
    std::int32_t neighbourPosition(std::int32_t id, std::int32_t otherId) {
        const Segment& s = *segment(id);
        for (std::int32_t k = 0; k < s.neighbourCount; ++k)
            if (s.neighbours[static_cast<std::size_t>(k)]->id == otherId) return k;
        throw std::logic_error("not a neighbour");
    }

    PopulationSource& addSample(const std::string& name, std::int32_t segmentId, std::int16_t size) {
        PopulationSource& sample = add(*world->samples, name, segmentId, size);
        if (sample.segment != nullptr) sample.segment->samplePopulation = &sample;
        return sample;
    }
    // A source population; it is the origin of its own segment.
    PopulationSource& addSource(const std::string& name, std::int32_t segmentId, std::int32_t resize = 0,
                                float migration = 0) {
        PopulationSource& source = add(*world->sources, name, segmentId, 100);
        source.Resize = resize;
        source.migration = migration;
        setOrigin(segmentId, source);
        return source;
    }
    // Segment `id` was filled at generation 0 from `source`.
    void setOrigin(std::int32_t id, PopulationSource& source) { segment(id)->sourcePopulation = &source; }

    // The root of the genealogy built last.
    const TreeNode& root() { return demes().tree.node(demes().tree.nodeCount() - 1); }
    static int firstLocation(const TreeNode& node) { return (*node.locations)[0]; }
    static int firstGeneration(const TreeNode& node) { return (*node.generations)[0]; }

    Rng rng;
    std::unique_ptr<SimulationLoop> world;

private:
    PopulationSource& add(PopulationVector& set, const std::string& name, std::int32_t segmentId, std::int16_t size) {
        auto population = std::make_unique<PopulationSource>();
        population->name = name;
        population->segmentId = segmentId;
        population->segment = segment(segmentId);
        population->size = size;
        set.populations.push_back(std::move(population));
        set.count = static_cast<int>(set.populations.size());
        return *set.populations.back();
    }
};

}  // namespace coalescent_test
