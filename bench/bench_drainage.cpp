// Drainage reading and resampling on generated dendritic drainages.
//
//   cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DFLUVIAGEN_BENCH=ON -DFLUVIAGEN_TESTS=OFF
//   cmake --build build-bench --target bench_drainage && build-bench/bench_drainage
#include <benchmark/benchmark.h>

#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>

#include "../tools/DrainageGenerator.h"
#include "drainage/Drainage.h"
#include "drainage/Population.h"
#include "drainage/readers/DrainageFiles.h"
#include "drainage/readers/PopulationFile.h"

using namespace fluviagen;

namespace {

namespace fs = std::filesystem;

struct DrainagePaths {
    std::string nodes;
    std::string segments;
};

// Generated files, one pair per size, in a folder removed at exit.
class BenchFiles {
public:
    BenchFiles() : folder_(fs::temp_directory_path() / ("fluviagen_bench_" + std::to_string(::getpid()))) {
        fs::create_directories(folder_);
    }
    ~BenchFiles() {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    // The paths of the node and segment files of a drainage of n segments.
    const DrainagePaths& pathsFor(std::int32_t n) {
        auto it = paths_.find(n);
        if (it != paths_.end()) return it->second;
        const std::string prefix = (folder_ / ("drainage_" + std::to_string(n))).string();
        const auto g = drainage_generator::generate(n, 1);
        DrainagePaths& p = paths_[n];
        p.nodes = prefix + "_nodes.txt";
        p.segments = prefix + "_segments.txt";
        drainage_generator::writeFile(p.nodes, drainage_generator::nodeFileText(g));
        drainage_generator::writeFile(p.segments, drainage_generator::segmentFileText(g));
        return p;
    }

private:
    fs::path folder_;
    std::map<std::int32_t, DrainagePaths> paths_;
};

BenchFiles& files() {
    static BenchFiles instance;
    return instance;
}

// The readers report on the console; keep it out of the benchmark output.
class QuietConsole {
public:
    QuietConsole() : saved_(std::cout.rdbuf(sink_.rdbuf())) {}
    ~QuietConsole() { std::cout.rdbuf(saved_); }

private:
    std::ostringstream sink_;
    std::streambuf* saved_;
};

std::unique_ptr<Drainage> readQuietly(const DrainagePaths& paths) {
    QuietConsole quiet;
    return readDrainage(paths.nodes, paths.segments);
}

// Node file, segment file and neighbour lists, as buildDrainage reads them.
void BM_ReadDrainage(benchmark::State& state) {
    const DrainagePaths& paths = files().pathsFor(static_cast<std::int32_t>(state.range(0)));
    for (auto _ : state) {
        auto d = readQuietly(paths);
        benchmark::DoNotOptimize(d->size());
    }
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ReadDrainage)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

void BM_BuildNeighbourLists(benchmark::State& state) {
    const auto d = readQuietly(files().pathsFor(static_cast<std::int32_t>(state.range(0))));
    for (auto _ : state) d->buildNeighbourLists();
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_BuildNeighbourLists)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

// The fixed-length transform to 1000 m segments (about 1.4 new segments per
// segment as read), including the new drainage's neighbour lists.
void BM_ResampleToFixedLength(benchmark::State& state) {
    const auto full = readQuietly(files().pathsFor(static_cast<std::int32_t>(state.range(0))));
    std::int64_t made = 0;
    for (auto _ : state) {
        auto resampled = resampleToFixedLength(*full, 1000.0f);
        made = resampled->size();
        benchmark::DoNotOptimize(made);
    }
    state.counters["new_segments"] = static_cast<double>(made);
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ResampleToFixedLength)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(300000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

}  // namespace

// A source file of N populations by segment id, one on each segment of the
// drainage of N segments (in id order), read as the run loop reads it.
void BM_ReadSourcesBySegmentId(benchmark::State& state) {
    const auto n = static_cast<std::int32_t>(state.range(0));
    const DrainagePaths& paths = files().pathsFor(n);
    const auto drainage = readQuietly(paths);
    const std::string path = paths.segments + ".sources.txt";
    std::ostringstream text;
    text << drainage->size() << "\n0\nName Size SegID Resize Migration\n";
    for (const auto& [id, segment] : drainage->segments) text << 'P' << id << " 10 " << id << " 0 0\n";
    drainage_generator::writeFile(path, text.str());
    for (auto _ : state) {
        PopulationVector sources(drainage.get());
        QuietConsole quiet;
        if (readPopulations(sources, Text(path), false, PlacementRule::nearest) != drainage->size())
            state.SkipWithError("not read");
    }
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ReadSourcesBySegmentId)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

BENCHMARK_MAIN();
