// Backward coalescent on a generated dendritic drainage colonised by the real
// forward demography: time per genealogy and per lineage-generation, for the
// same samples in the drainage alone and in a drainage ten times larger
// (the extra segments form a second river the lineages never reach). The
// cost of a genealogy must not depend on the number of segments.
// Figures: bench/README.md.
//
//   cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DFLUVIAGEN_BENCH=ON
//   cmake --build build-bench --target bench_coalescent && build-bench/bench_coalescent
#include <benchmark/benchmark.h>

#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "../tools/DrainageGenerator.h"
#include "coalescent/Deme.h"
#include "random/Rng.h"
#include "demography/StateDB.h"
#include "drainage/Population.h"
#include "drainage/Drainage.h"
#include "app/SimulationLoop.h"

using namespace fluviagen;

namespace {

constexpr std::int32_t baseSegments = 1000;
constexpr std::int32_t generations = 2000;
constexpr int sampleDemes = 10;
constexpr std::int16_t genesPerSample = 5;
constexpr int genealogies = 300;

Settings benchSettings() {
    Settings s;
    s.demographicModel = 1;
    s.numGenerations = generations;
    s.carryingCapacity = 100;
    s.growthRate = 0.5f;
    s.migrCol = 0.3f;
    s.migrOcc = 0.1f;
    s.upstreamMigrationRatio = 0.5f;
    s.maxGenerations = 10000000;
    s.numGeneticSimulations = 1;
    s.numIndependentLoci = 1;
    s.numLinkedLoci = 1;
    return s;
}

// Discards console output (warnings of the walk) at no cost.
class NullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return c; }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

class Silence {
public:
    Silence() : old_(std::cout.rdbuf(&sink_)) {}
    ~Silence() { std::cout.rdbuf(old_); }

private:
    NullBuffer sink_;
    std::streambuf* old_;
};

// The river of `baseSegments` segments (ids 1 ...), and with `factor` > 1 a
// second, separate river of (factor - 1) x baseSegments segments with higher
// ids and node ids.
std::unique_ptr<Drainage> makeDrainage(int factor) {
    auto drainage = std::make_unique<Drainage>();
    std::int32_t nodeOffset = 0;
    std::int32_t segmentOffset = 0;
    const auto add = [&](const drainage_generator::Drainage& river) {
        for (const auto& n : river.nodes) {
            auto node = std::make_unique<DrainageNode>();
            node->id = n.id + nodeOffset;
            node->lon = n.lon;
            node->lat = n.lat;
            drainage->nodes->store(std::move(node));
        }
        for (const auto& s : river.segments) {
            auto segment = std::make_unique<Segment>();
            segment->id = s.id + segmentOffset;
            segment->length = s.length;
            segment->lon = s.lon;
            segment->lat = s.lat;
            segment->fromNode = drainage->nodes->find(s.from + nodeOffset);
            segment->toNode = drainage->nodes->find(s.to + nodeOffset);
            Segment* stored = drainage->store(std::move(segment));
            stored->fromNode->outgoing.push_back(stored);
            stored->toNode->incoming.push_back(stored);
        }
        nodeOffset += static_cast<std::int32_t>(river.nodes.size());
        segmentOffset += static_cast<std::int32_t>(river.segments.size());
    };
    add(drainage_generator::generate(baseSegments, 20240611));
    if (factor > 1) add(drainage_generator::generate(baseSegments * (factor - 1), 777));
    drainage->buildNeighbourLists();
    return drainage;
}

// A world whose demography has run: one source of 50 at the mouth of the
// first river, samples on ten colonised segments of that river.
struct Scenario {
    Rng rng;
    std::unique_ptr<SimulationLoop> world;
    long lineageGenerations = 0;  // of the last run

    explicit Scenario(int factor) {
        const Silence quiet;
        world = std::make_unique<SimulationLoop>(benchSettings(), rng);
        world->drainage = makeDrainage(factor);
        world->sources = std::make_unique<PopulationVector>(world->drainage.get());
        auto source = std::make_unique<PopulationSource>();
        source->name = Text("mouth");
        source->segmentId = 1;
        source->segment = world->drainage->find(1);
        source->size = 50;
        source->Resize = 0;
        source->migration = 0;
        world->sources->populations.push_back(std::move(source));
        world->sources->count = 1;
        world->buildHistory();
        rng = Rng{};
        long seed = -4242;
        rng.uniform(seed);
        world->demographicPhase();

        std::vector<Segment*> colonised;
        for (std::int32_t id = 1; id <= baseSegments; ++id) {
            Segment* s = world->drainage->find(id);
            if (world->database->history(s->index).sizeAt(generations) > 0) colonised.push_back(s);
        }
        world->samples = std::make_unique<PopulationVector>(world->drainage.get());
        for (int i = 0; i < sampleDemes && !colonised.empty(); ++i) {
            Segment* s = colonised[colonised.size() * static_cast<std::size_t>(i) / sampleDemes];
            auto sample = std::make_unique<PopulationSource>();
            sample->name = Text("pop") + i;
            sample->segmentId = s->id;
            sample->segment = s;
            sample->size = genesPerSample;
            world->samples->populations.push_back(std::move(sample));
        }
        world->samples->count = static_cast<int>(world->samples->populations.size());
        if (!world->demes->createDemes(*world->drainage, *world->database, *world->samples, *world->sources,
                                       world->settings))
            std::abort();
    }

    // Total branch length in generations: the lineage-generations walked.
    static long treeLength(const GenealogyTree& tree) {
        long total = 0;
        for (int i = 0; i < tree.nodeCount(); ++i) {
            const TreeNode& node = tree.node(i);
            if (node.ancestor != nullptr) total += node.ancestor->time - node.time;
        }
        return total;
    }

    // A genealogy by node positions (node numbers depend on how many nodes
    // were made before): per internal node its children, time and place.
    static std::string describe(const GenealogyTree& tree) {
        std::ostringstream os;
        const TreeNode* base = &tree.node(0);
        for (int i = tree.size(); i < tree.nodeCount(); ++i) {
            const TreeNode& node = tree.node(i);
            os << (node.left - base) << ',' << (node.right - base) << ',' << node.time << ',' << (*node.locations)[0]
               << ';';
        }
        return os.str();
    }

    // `count` genealogies from a fixed seed; the first `keep` described.
    std::vector<std::string> run(int count, int keep) {
        const Silence quiet;
        rng = Rng{};
        long seed = -13;
        rng.uniform(seed);
        std::vector<std::string> trees;
        lineageGenerations = 0;
        for (int i = 0; i < count; ++i) {
            world->demes->resetDemes();
            world->demes->buildTree(1, rng);
            lineageGenerations += treeLength(world->demes->tree);
            if (i < keep) trees.push_back(describe(world->demes->tree));
        }
        return trees;
    }
};

Scenario& scenario(int factor) {
    static Scenario small(1);
    static Scenario large(10);
    return factor == 1 ? small : large;
}

void BM_Genealogies(benchmark::State& state) {
    Scenario& s = scenario(static_cast<int>(state.range(0)));
    long walked = 0;
    for (auto _ : state) {
        s.run(genealogies, 0);
        walked += s.lineageGenerations;
    }
    state.counters["segments"] = static_cast<double>(s.world->drainage->size());
    state.counters["lineages"] = static_cast<double>(s.world->demes->nSampleLineages);
    state.counters["genealogy"] =
        benchmark::Counter(static_cast<double>(genealogies) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["lineage_gen"] =
        benchmark::Counter(static_cast<double>(walked), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["lineage_gen_per_genealogy"] =
        static_cast<double>(s.lineageGenerations) / static_cast<double>(genealogies);
}
BENCHMARK(BM_Genealogies)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace

int main(int argc, char** argv) {
    // The extra river changes neither the history of the first one nor a
    // single draw of the walk: the genealogies must be the same.
    const auto a = scenario(1).run(20, 20);
    const auto b = scenario(10).run(20, 20);
    std::cout << "Genealogies identical in both drainages: " << (a == b ? "yes" : "NO") << "\n";
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
