#include "map/MapRun.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <functional>
#include <iostream>
#include <map>

#include "common/CommandLineParse.h"
#include "common/Error.h"
#include "common/ExchangeTables.h"
#include "common/SignalCleanup.h"
#include "common/StagingFolder.h"
#include "common/Version.h"
#include "map/Charts.h"
#include "map/RiverMapFigure.h"
#include "map/GeoPackage.h"
#include "map/MapData.h"

namespace map {

namespace fs = std::filesystem;

namespace {

// One entire simulation's tables, read and checked.
struct EntireTables {
    TableSet tables;
    MapInfo info;
    std::string set;  // from the file name
    RiverMap map;
    std::vector<CurveRow> curve;
    std::vector<std::string> statisticsColumns;
};

// What is drawn per output set besides the entire simulations' figures.
struct SetTables {
    std::vector<double> ages;  // empty: no ages figure
    std::vector<GeoPackageEntire> entire;
};

bool exists(const std::string& path) {
    std::error_code error;
    return fs::exists(path, error);
}

// Reads and checks one entire simulation's tables; a missing optional input
// is named on `notes`.
EntireTables readEntire(const TableSet& tables, std::ostream& notes) {
    EntireTables e;
    e.tables = tables;
    const std::string infoPath = tables.path(std::string(common::mapInfoTable.suffix));
    const bool haveInfo = exists(infoPath);
    if (haveInfo) {
        e.info = readMapInfo(infoPath);
    } else {
        notes << "fluviagen-map: '" << infoPath
              << "' is missing: the tables are drawn as one entire simulation, without the coalescence map and the "
                 "ages of the genealogies\n";
    }
    e.set = setNameOf(tables, e.info);
    if (haveInfo && !e.info.set.empty() && e.info.set != e.set)
        notes << "fluviagen-map: '" << infoPath << "' names the set '" << e.info.set << "'; the files are named after '"
              << e.set << "', the set of the tables' file names\n";
    e.map.segments = readSegments(tables.path(std::string(common::segmentsTable.suffix)));
    e.map.samples = samplePoints(e.map.segments);
    e.map.sources = sourcePoints(e.map.segments);
    const std::string curvePath = tables.path(std::string(common::colonisationTable.suffix));
    e.curve = readCurve(curvePath);
    checkCurve(e.curve, haveInfo ? std::optional<long>(e.info.generations) : std::nullopt, curvePath);
    const std::string stats = tables.folder + e.set + std::string(common::statisticsTable.suffix);
    if (exists(stats)) {
        SampleMeans statistics = readSampleMeans(stats, e.info.entire);
        for (auto& p : e.map.samples) {
            const auto it = statistics.means.find(p.name);
            if (it == statistics.means.end()) continue;
            p.statistics = it->second;
            if (const auto he = p.statistics.find("he"); he != p.statistics.end()) p.diversity = he->second;
        }
        e.statisticsColumns = std::move(statistics.columns);
    } else if (!e.map.samples.empty()) {
        notes << "fluviagen-map: no statistics table '" << stats
              << "': the samples are drawn without their gene diversity\n";
    }
    return e;
}

// Draws every output of the call into the staging folder.
void drawStaged(common::StagingFolder& staging, std::vector<EntireTables>& tableSets,
                std::map<std::string, SetTables>& sets, const MapOptions& options);

void stageBoth(const std::string& stem, const std::function<void(const std::string&, ImageFormat)>& draw) {
    draw(stem + ".png", ImageFormat::png);
    draw(stem + ".svg", ImageFormat::svg);
}

}  // namespace

std::vector<std::string> drawOutputSet(const std::string& argument, const MapOptions& options, std::ostream& out,
                                       std::ostream& notes, common::SignalCleanup* cleanup) {
    // Every input is read and checked before the first output is touched: a
    // bad table leaves the folder as it was.
    std::vector<EntireTables> tableSets;
    for (const TableSet& tables : findTableSets(argument)) tableSets.push_back(readEntire(tables, notes));
    const std::string folder = tableSets.front().tables.folder;
    std::map<std::string, SetTables> sets;
    std::map<std::string, const EntireTables*> lastOfSet;  // whose tree file the set's ages come from
    for (const EntireTables& e : tableSets) {
        const EntireTables*& last = lastOfSet[e.set];
        // The tree file holds the genealogies of the last entire simulation written.
        if (last == nullptr || e.info.entire >= e.info.entireCount) last = &e;
    }
    for (const auto& [name, last] : lastOfSet) {
        SetTables& set = sets[name];
        if (!options.images || last->info.trees.empty()) continue;
        const std::string trees = folder + last->info.trees;
        if (!exists(trees)) {
            notes << "fluviagen-map: '" << trees << "' is missing: no figure of the ages of the genealogies\n";
            continue;
        }
        if (!(last->info.ratePerSite > 0)) {
            notes << "fluviagen-map: the branch lengths of '" << trees
                  << "' cannot be turned into generations without a positive rate per site: no figure of the "
                     "ages of the genealogies\n";
            continue;
        }
        set.ages = readTreeAges(trees, last->info.ratePerSite);
        if (set.ages.empty())
            throw MapError("'" + trees + "' holds no genealogy (a NEXUS tree file with \"tree\" lines was expected)");
    }

    common::StagingFolder staging(folder, "fluviagen-map", cleanup);
    try {
        drawStaged(staging, tableSets, sets, options);
    } catch (const std::exception& e) {
        // The message names the file by its final path, not its staged one.
        std::string message = e.what();
        const std::string staged = staging.folder() + "/";
        for (auto at = message.find(staged); at != std::string::npos; at = message.find(staged, at))
            message.replace(at, staged.size(), folder);
        throw MapError(message);
    }
    const std::vector<std::string> written = staging.commit();
    for (const std::string& path : written) out << "Wrote " << path << "\n";
    return written;
}

namespace {

void drawStaged(common::StagingFolder& staging, std::vector<EntireTables>& tableSets,
                std::map<std::string, SetTables>& sets, const MapOptions& options) {
    for (EntireTables& e : tableSets) {
        RiverMap& map = e.map;
        std::string label = e.set;
        if (e.info.entireCount > 1) label += "  (entire simulation " + std::to_string(e.info.entire) + ")";
        if (options.images) {
            map.title = label + ": colonisation";
            stageBoth(e.tables.base + "_map",
                      [&](const std::string& file, ImageFormat f) { drawRiverMap(map, staging, file, f); });
            if (e.info.coalescenceImage) {
                map.colouring = MapColouring::coalescence;
                map.title = label + ": coalescence events";
                stageBoth(e.tables.base + "_coalescence_map",
                          [&](const std::string& file, ImageFormat f) { drawRiverMap(map, staging, file, f); });
            }
            stageBoth(e.tables.base + "_curve", [&](const std::string& file, ImageFormat f) {
                drawColonisationCurve(e.curve, label + ": colonisation curve", staging, file, f);
            });
        }
        sets[e.set].entire.push_back({e.info.entire, std::move(map.segments), std::move(map.samples),
                                      std::move(map.sources), std::move(e.statisticsColumns)});
    }
    for (auto& [name, set] : sets) {
        if (!set.ages.empty())
            stageBoth(name + "_ages", [&](const std::string& file, ImageFormat f) {
                drawAgeDistribution(set.ages, name + ": ages of the genealogies", staging, file, f);
            });
        if (options.geoPackage) writeGeoPackage(staging.stagedPath(name + ".gpkg"), set.entire);
    }
}

}  // namespace

int mapMain(int argc, char** argv) {
    MapOptions options;
    std::string argument;
    CLI::App app{
        "fluviagen-map: draws the maps and figures of the demography tables fluviagen writes (PNG and SVG)\n"
        "and the GeoPackage <output set>.gpkg, beside the tables. An output set is the folder and the start\n"
        "of its file names, e.g. GeneticOutput/settings_samples_DNA.",
        "fluviagen-map"};
    app.set_version_flag("--version", "fluviagen-map " + common::programVersion());
    app.add_option("tables", argument, "an output folder, an output set or one *_segments.csv file")->required();
    bool noImages = false;
    bool noGeoPackage = false;
    app.add_flag("--no-images", noImages, "draw no maps and figures");
    app.add_flag("--no-gpkg", noGeoPackage, "write no GeoPackage");
    if (const auto status = common::parseOrEnd(app, argc, argv, "fluviagen-map")) return *status;
    options.images = !noImages;
    options.geoPackage = !noGeoPackage;
    // Before any thread of cairo or GDAL starts: they inherit the blocked
    // signals, which only the cleanup's thread takes.
    common::SignalCleanup cleanup([](int sig) {
        return "fluviagen-map: interrupted by " + common::signalName(sig) + "; its unfinished files were removed.";
    });
    int status = common::exitSuccess;
    try {
        drawOutputSet(argument, options, std::cout, std::cerr, &cleanup);
    } catch (const std::exception& e) {
        std::cerr << "fluviagen-map: " << e.what() << "\n";
        status = common::exitFailure;
    }
    releaseDrawingCaches();
    return status;
}

}  // namespace map
