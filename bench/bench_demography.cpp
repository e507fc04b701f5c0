// Forward demography on a generated dendritic drainage: time per occupied
// and per empty segment and generation for the four demographic models, the
// time of their random deviates alone, the share of the database writes and
// the peak memory against the database's own size. Figures: bench/README.md.
//
//   cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DFLUVIAGEN_BENCH=ON
//   cmake --build build-bench --target bench_demography && build-bench/bench_demography
#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <cmath>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "../tools/DrainageGenerator.h"
#include "random/Rng.h"
#include "demography/MigrationModel.h"
#include "demography/StartingConditions.h"
#include "demography/StateDB.h"
#include "drainage/Population.h"
#include "drainage/Drainage.h"
#include "app/SimulationLoop.h"
#include "demography/StartingConditions.h"

using namespace fluviagen;

namespace {

constexpr std::int32_t segmentCount = 20000;
constexpr std::int32_t generations = 2000;

Settings benchSettings(std::int32_t model) {
    Settings s;
    s.demographicModel = model;
    s.numGenerations = generations;
    s.carryingCapacity = 100;
    s.growthRate = 0.5f;
    s.migrCol = 0.3f;
    s.migrOcc = 0.1f;
    s.upstreamMigrationRatio = 0.5f;
    return s;
}

// The generated river as a drainage; with `isolated`, every segment gets its
// own two nodes (no neighbours at all).
std::unique_ptr<Drainage> makeDrainage(bool isolated) {
    const drainage_generator::Drainage river = drainage_generator::generate(segmentCount, 20240611);
    auto drainage = std::make_unique<Drainage>();
    const auto node = [&](std::int32_t id) {
        if (DrainageNode* found = drainage->nodes->find(id)) return found;
        auto created = std::make_unique<DrainageNode>();
        created->id = id;
        return drainage->nodes->store(std::move(created));
    };
    for (const auto& s : river.segments) {
        auto segment = std::make_unique<Segment>();
        segment->id = s.id;
        segment->length = s.length;
        segment->lon = s.lon;
        segment->lat = s.lat;
        segment->fromNode = isolated ? node(2 * s.id) : node(s.from);
        segment->toNode = isolated ? node(2 * s.id + 1) : node(s.to);
        Segment* stored = drainage->store(std::move(segment));
        stored->fromNode->outgoing.push_back(stored);
        stored->toNode->incoming.push_back(stored);
    }
    drainage->buildNeighbourLists();
    return drainage;
}

// The thread's own processor time: the machine is shared with other work,
// and wall time would count the slices given to it.
std::chrono::nanoseconds cpuNow() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

std::int64_t peakResidentBytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stoll(line.substr(6)) * 1024;
    return 0;
}

// One world with its database, shared by the benchmarks (building 20,000
// histories of 2,001 generations takes a while and most of the memory).
struct Fixture {
    Rng rng;
    std::unique_ptr<SimulationLoop> world;
    std::uint64_t databaseBytes = 0;
    std::int64_t residentBeforeDatabase = 0;

    Fixture() {
        world = std::make_unique<SimulationLoop>(benchSettings(1), rng);
        world->drainage = makeDrainage(false);
        world->sources = std::make_unique<PopulationVector>(world->drainage.get());
        residentBeforeDatabase = peakResidentBytes();
        std::ostringstream quiet;
        auto* old = std::cout.rdbuf(quiet.rdbuf());
        world->buildHistory();
        std::cout.rdbuf(old);
        databaseBytes = ::databaseBytes(*world->drainage, generations);
    }

    // Half-full sources on every segment, or one source at the mouth, or none.
    void placeSources(int mode, std::int16_t size = 50) {
        world->sources->populations.clear();
        for (auto& [id, segment] : world->drainage->segments) {
            if (mode == 0 || (mode == 1 && id != 1)) continue;
            auto p = std::make_unique<PopulationSource>();
            p->name = Text("s");
            p->segmentId = id;
            p->segment = segment.get();
            p->size = size;
            world->sources->populations.push_back(std::move(p));
        }
        world->sources->count = static_cast<int>(world->sources->populations.size());
    }

    // Segment-generations the migration model processed: N > 0 at the end
    // of the generation before.
    std::int64_t occupiedSegmentGenerations() const {
        std::int64_t total = 0;
        for (const auto& h : world->database->histories)
            for (std::int32_t t = 0; t < generations; ++t) total += h.sizes.at(t) > 0;
        return total;
    }

    double simulate(std::int32_t model) {
        world->settings.demographicModel = model;
        rng = Rng{};
        std::ostringstream quiet;
        auto* old = std::cout.rdbuf(quiet.rdbuf());
        rng.seedMain(-4711);
        const auto start = cpuNow();
        world->demographicPhase();
        const auto stop = cpuNow();
        std::cout.rdbuf(old);
        return static_cast<double>((stop - start).count());
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void report(benchmark::State& state, double ns, std::int64_t occupied, std::int64_t total) {
    state.SetIterationTime(ns * 1e-9);
    state.counters["ns_per_occupied_seg_gen"] = occupied > 0 ? ns / static_cast<double>(occupied) : 0.0;
    state.counters["occupied_share"] = static_cast<double>(occupied) / static_cast<double>(total);
    state.counters["peak_MiB"] = static_cast<double>(peakResidentBytes()) / 1048576.0;
    state.counters["db_MiB"] = static_cast<double>(fixture().databaseBytes) / 1048576.0;
}

// Every segment holds individuals in every generation: sources of K / 2 on
// every segment, carrying capacity K (the second argument). Small K keeps the
// deviates in their direct branches (product of uniforms, one uniform per
// trial), large K sends them through the rejection branches.
void BM_FullDrainage(benchmark::State& state) {
    Fixture& f = fixture();
    const auto K = static_cast<std::int16_t>(state.range(1));
    f.placeSources(2, static_cast<std::int16_t>(K / 2));
    f.world->settings.carryingCapacity = K;
    for (auto _ : state) {
        const double ns = f.simulate(static_cast<std::int32_t>(state.range(0)));
        report(state, ns, f.occupiedSegmentGenerations(), std::int64_t{segmentCount} * generations);
    }
    f.world->settings.carryingCapacity = 100;
}

// Colonisation from the mouth: occupied and empty segments side by side.
void BM_ColonisationFromMouth(benchmark::State& state) {
    Fixture& f = fixture();
    f.placeSources(1);
    for (auto _ : state) {
        const double ns = f.simulate(static_cast<std::int32_t>(state.range(0)));
        report(state, ns, f.occupiedSegmentGenerations(), std::int64_t{segmentCount} * generations);
    }
}

// No individuals anywhere: the cost of an empty segment and generation.
void BM_EmptyDrainage(benchmark::State& state) {
    Fixture& f = fixture();
    f.placeSources(0);
    for (auto _ : state) {
        const double ns = f.simulate(1);
        state.SetIterationTime(ns * 1e-9);
        state.counters["ns_per_empty_seg_gen"] = ns / (static_cast<double>(segmentCount) * generations);
    }
}

// The generation loop without a database (no writes) on the same river, and
// on isolated segments (growth and emigrant count only, no weights or split).
void BM_WithoutDatabase(benchmark::State& state) {
    const bool isolated = state.range(1) != 0;
    Settings settings = benchSettings(static_cast<std::int32_t>(state.range(0)));
    auto drainage = makeDrainage(isolated);
    SegmentStates states(static_cast<std::size_t>(drainage->size()));
    for (auto _ : state) {
        for (State& s : states) {
            s.reset();
            s.K = 100;
            s.N = 50;
        }
        Rng rng;
        std::ostringstream quiet;
        auto* old = std::cout.rdbuf(quiet.rdbuf());
        rng.seedMain(-4711);
        std::cout.rdbuf(old);
        MigrationPlan plan(*drainage, states, nullptr, settings, rng, false);
        const auto start = cpuNow();
        for (std::int32_t t = 1; t <= generations; ++t) plan.iterate(settings.demographicModel, t);
        const auto stop = cpuNow();
        const double ns = static_cast<double>((stop - start).count());
        state.SetIterationTime(ns * 1e-9);
        state.counters["ns_per_occupied_seg_gen"] = ns / (static_cast<double>(segmentCount) * generations);
    }
}

// The generation loop alone (no starting conditions) on the full drainage
// with its database: the difference to BM_WithoutDatabase is the cost of the
// database writes.
void BM_GenerationLoop(benchmark::State& state) {
    Fixture& f = fixture();
    f.placeSources(2);
    f.world->settings.demographicModel = static_cast<std::int32_t>(state.range(0));
    for (auto _ : state) {
        std::ostringstream quiet;
        auto* old = std::cout.rdbuf(quiet.rdbuf());
        SimulationLoop& w = *f.world;
        setStartingConditions(
            *w.drainage, w.states, *w.database, [&w]() -> const PopulationVector& { return *w.sources; }, w.settings,
            false);
        f.rng = Rng{};
        f.rng.seedMain(-4711);
        std::cout.rdbuf(old);
        MigrationPlan plan(*w.drainage, w.states, w.database.get(), w.settings, f.rng, state.range(1) != 0);
        const auto start = cpuNow();
        for (std::int32_t t = 1; t <= generations; ++t) plan.iterate(w.settings.demographicModel, t);
        plan.finish();
        const auto stop = cpuNow();
        const double ns = static_cast<double>((stop - start).count());
        state.SetIterationTime(ns * 1e-9);
        state.counters["ns_per_occupied_seg_gen"] = ns / (static_cast<double>(segmentCount) * generations);
    }
}

// The deviates a full-drainage run of the model draws, drawn alone: per
// segment and generation a Poisson deviate for the size and one for the
// emigrants (models 2 and 4), a binomial deviate per open neighbour
// (models 3 and 4), with the means and trial counts of the segments' final
// states.
void BM_DeviatesAlone(benchmark::State& state) {
    const std::int32_t model = static_cast<std::int32_t>(state.range(0));
    const bool randomCounts = model == 2 || model == 4;
    const bool randomSplit = model == 3 || model == 4;
    Fixture& f = fixture();
    f.placeSources(2);
    f.simulate(model);
    struct Plan {
        float n;
        float e;
        std::vector<float> p;
    };
    std::vector<Plan> plans;
    for (auto& [id, s] : f.world->drainage->segments) {
        const auto stateOf = [&f](const Segment& segment) {
            return f.world->states[static_cast<std::size_t>(segment.index)];
        };
        Plan plan{static_cast<float>(stateOf(*s).N), 0.0f, {}};
        plan.e = std::trunc(plan.n * emigrationShare(f.world->settings, stateOf(*s).N, stateOf(*s).K));
        float W = 0;
        std::vector<float> w;
        for (std::size_t k = 0; k < s->neighbours.size(); ++k) {
            const Segment& t = *s->neighbours[k];
            const float factor = (s->neighbourKinds[k] == 2 || s->neighbourKinds[k] == 4) ? 0.5f : 2.0f;
            w.push_back(factor / (static_cast<float>(stateOf(t).N + 1) / static_cast<float>(stateOf(t).K + 1)));
            W += w.back();
        }
        for (float x : w) plan.p.push_back(x / W);
        plans.push_back(std::move(plan));
    }
    for (auto _ : state) {
        Rng rng;
        std::ostringstream quiet;
        auto* old = std::cout.rdbuf(quiet.rdbuf());
        rng.seedMain(-4711);
        std::cout.rdbuf(old);
        double sink = 0;
        const auto start = cpuNow();
        for (std::int32_t g = 0; g < generations; ++g)
            for (const Plan& plan : plans) {
                float e = plan.e;
                if (randomCounts) {
                    sink += rng.poissonDeviate(plan.n);
                    e = rng.poissonDeviate(plan.e);
                }
                if (randomSplit) {
                    int left = static_cast<int>(e);
                    float used = 0.0f;
                    for (const float p : plan.p) {
                        const float c = rng.binomialDeviate(p / (1.0f - used), left);
                        used += p;
                        left -= static_cast<int>(c);
                    }
                    sink += left;
                }
            }
        const auto stop = cpuNow();
        benchmark::DoNotOptimize(sink);
        const double ns = static_cast<double>((stop - start).count());
        state.SetIterationTime(ns * 1e-9);
        state.counters["ns_per_seg_gen"] = ns / (static_cast<double>(segmentCount) * generations);
    }
}

}  // namespace

BENCHMARK(BM_FullDrainage)
    ->ArgsProduct({{1, 2, 3, 4}, {100, 200, 1000}})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ColonisationFromMouth)->DenseRange(1, 4)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EmptyDrainage)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WithoutDatabase)
    ->Args({1, 0})
    ->Args({1, 1})
    ->Args({3, 0})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GenerationLoop)
    ->ArgsProduct({{1, 2, 3, 4}, {0, 1}})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeviatesAlone)->DenseRange(2, 4)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
