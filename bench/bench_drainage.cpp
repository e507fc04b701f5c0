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
#include "drainage/SegmentVector.h"
#include "settings/Settings.h"
#include "base/Utilities.h"

namespace {

namespace fs = std::filesystem;

// Generated files, one pair per size, in a folder removed at exit.
class BenchFiles {
public:
    BenchFiles() : folder_(fs::temp_directory_path() / ("fluviagen_bench_" + std::to_string(::getpid()))) {
        fs::create_directories(folder_);
        dataFolder = my_string(folder_.string() + "/");
    }
    ~BenchFiles() {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    // Settings naming the node and segment files of a drainage of n segments.
    TSettings& settingsFor(std::int32_t n) {
        auto it = settings_.find(n);
        if (it != settings_.end()) return it->second;
        const std::string prefix = "drainage_" + std::to_string(n);
        const auto g = drainage_generator::generate(n, 1);
        drainage_generator::writeFile((folder_ / (prefix + "_nodes.txt")).string(), drainage_generator::nodeFileText(g));
        drainage_generator::writeFile((folder_ / (prefix + "_segments.txt")).string(),
                                      drainage_generator::segmentFileText(g));
        TSettings& s = settings_[n];
        s.nodeFile = my_string(prefix + "_nodes.txt");
        s.segmentFile = my_string(prefix + "_segments.txt");
        return s;
    }

private:
    fs::path folder_;
    std::map<std::int32_t, TSettings> settings_;
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

std::unique_ptr<TSegmentVector> readDrainage(const TSettings& settings) {
    QuietConsole quiet;
    auto d = std::make_unique<TSegmentVector>(settings, nullptr);
    d->build(true);
    return d;
}

// Node file, segment file and neighbour lists, as BuildWorld reads them.
void BM_ReadDrainage(benchmark::State& state) {
    const TSettings& settings = files().settingsFor(static_cast<std::int32_t>(state.range(0)));
    for (auto _ : state) {
        auto d = readDrainage(settings);
        benchmark::DoNotOptimize(d->size());
    }
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ReadDrainage)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

void BM_BuildNeighbourLists(benchmark::State& state) {
    const auto d = readDrainage(files().settingsFor(static_cast<std::int32_t>(state.range(0))));
    for (auto _ : state) d->buildNeighbourLists();
    state.SetComplexityN(state.range(0));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_BuildNeighbourLists)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

// The fixed-length transform to 1000 m segments (about 1.4 new segments per
// segment as read), including the new drainage's neighbour lists.
void BM_ResampleToFixedLength(benchmark::State& state) {
    const auto full = readDrainage(files().settingsFor(static_cast<std::int32_t>(state.range(0))));
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

BENCHMARK_MAIN();
