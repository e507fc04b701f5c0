#include "app/Plan.h"

#include <algorithm>
#include <filesystem>

#include <nlohmann/json.hpp>

#include "app/CommandLine.h"
#include "app/InputChecks.h"
#include "app/SimulationLoop.h"
#include "demography/StateDB.h"
#include "drainage/Population.h"
#include "drainage/Segment.h"
#include "drainage/Drainage.h"
#include "random/Rng.h"
#include "settings/SettingKeys.h"
#include "settings/Settings.h"

namespace fluviagen {

namespace {

// The estimate of a call's peak memory is the sum of what the call holds at
// once, each part taken from above:
// - the program itself with its libraries and buffers (measured: about 6 MiB
//   resident before any file is read; taken as 64 MiB);
// - every segment of the drainage as read and, when resampled, of the
//   drainage in use, with its node, neighbour lists, state and deme slot
//   (taken as 4 KiB each);
// - the history table as mapped (history_bytes), with its record of written
//   pages and one view per series;
// - the genetic phase's largest structures (the estimate the run itself
//   checks against the available memory before its first genealogy);
// - when the call draws maps or a GeoPackage, the map program, which runs
//   while the call waits for it (measured: about 56 MiB for the shipped
//   river of 400 segments; taken as 128 MiB and 16 KiB a segment).
constexpr std::uint64_t programBytes = 64ull << 20;
constexpr std::uint64_t bytesPerSegment = 4096;
constexpr std::uint64_t mapProgramBytes = 128ull << 20;
constexpr std::uint64_t mapBytesPerSegment = 16384;

std::uint64_t historyViewBytes(const Drainage& drainage) {
    std::uint64_t series = 0;
    for (const auto& [id, segment] : drainage.segments)
        series += static_cast<std::uint64_t>(std::max(segment->neighbourCount, 0)) + 1;
    return drainage.segments.size() * sizeof(StatesOfCell) + series * sizeof(TimeStoFull);
}

}  // namespace

CallPlan planCall(const Text& programPath, const Text& settingsPath, std::int32_t numberOfSimulations,
                  const CommandLine& options) {
    Settings settings;
    if (!options.outFolder.empty()) settings.outputFolder = Text(options.outFolder);
    for (const auto& [name, on] : options.groups) settings.outputGroups.force(name, on);
    settings.readSettings(programPath, settingsPath, numberOfSimulations, options.overrides);

    CallPlan plan;
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(settingsPath.str(), error);
    plan.settingsFile = error ? settingsPath.str() : absolute.lexically_normal().string();
    plan.settings = settings.values;

    // The run's own stages: the same drainage, resampled the same way, and
    // the sources and samples placed on it, as the first entire simulation
    // reads them. Nothing here draws a random number.
    Rng rng;
    SimulationLoop loop(settings, rng);
    loop.buildDrainage();
    const Drainage& drainage = *loop.drainage;
    loop.sourcePopulations();
    const PopulationVector& samples = loop.samplePopulations();
    plan.segments = drainage.size();
    const std::size_t table = StateDB::tableBytesFor(drainage, settings.numGenerations);
    plan.historyBytes = table;
    std::uint64_t peak = programBytes + table + table / StateDB::pageBytes / 8 + historyViewBytes(drainage);
    peak += bytesPerSegment * static_cast<std::uint64_t>(drainage.size());
    if (loop.fullDrainage) peak += bytesPerSegment * static_cast<std::uint64_t>(loop.fullDrainage->size());
    peak += static_cast<std::uint64_t>(std::max(geneticPhaseBytes(samples, settings), 0.0));
    plan.outputs = settings.outputGroups.enabledNames(settings.numDemographicSimulations);
    if (std::find_if(plan.outputs.begin(), plan.outputs.end(),
                     [](const std::string& g) { return g == "maps" || g == "gpkg"; }) != plan.outputs.end())
        peak += mapProgramBytes + mapBytesPerSegment * static_cast<std::uint64_t>(drainage.size());
    plan.peakBytesEstimate = peak;
    return plan;
}

std::string planText(const CallPlan& plan) {
    using nlohmann::ordered_json;
    ordered_json settings = ordered_json::array();
    for (const SettingValue& v : plan.settings) {
        const SettingKey* key = findSettingKey(v.line);
        settings.push_back({{"line", v.line},
                            {"name", key ? std::string(key->name) : std::string()},
                            {"value", v.value},
                            {"source", v.option.empty()                ? "file"
                                       : v.option == "count parameter" ? "count parameter"
                                                                       : "--set"}});
    }
    const ordered_json text{{"settings_file", plan.settingsFile},
                            {"settings", settings},
                            {"segments", plan.segments},
                            {"history_bytes", plan.historyBytes},
                            {"peak_bytes_estimate", plan.peakBytesEstimate},
                            {"outputs", plan.outputs}};
    return text.dump(1) + "\n";
}

}  // namespace fluviagen
