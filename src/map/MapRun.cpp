#include "map/MapRun.h"

#include <filesystem>
#include <functional>
#include <iostream>
#include <map>

#include "map/Drawing.h"
#include "map/GeoPackage.h"
#include "map/MapData.h"

namespace fs = std::filesystem;

namespace {

const char* const usage =
    "Usage: fluviagen-map [--no-images] [--no-gpkg] <output folder | output set | *_segments.csv>\n"
    "Draws the maps and figures of the demography tables fluviagen writes (PNG and SVG) and the GeoPackage\n"
    "<output set>.gpkg, beside the tables. An output set is the folder and the start of its file names,\n"
    "e.g. GeneticOutput/settings_samples_DNA.\n";

void drawBoth(std::vector<std::string>& written, std::ostream& out, const std::string& stem,
              const std::function<void(const std::string&, ImageFormat)>& draw) {
    for (const auto& [extension, format] : {std::pair{".png", ImageFormat::png}, std::pair{".svg", ImageFormat::svg}}) {
        const std::string path = stem + extension;
        draw(path, format);
        written.push_back(path);
        out << "Wrote " << path << "\n";
    }
}

}  // namespace

std::vector<std::string> drawOutputSet(const std::string& argument, const MapOptions& options, std::ostream& out) {
    std::vector<std::string> written;
    struct SetParts {
        std::string folder;
        std::string trees;
        double ratePerSite = 0;
        std::vector<GeoPackageEntire> entire;
    };
    std::map<std::string, SetParts> sets;
    for (const TableSet& tables : findTableSets(argument)) {
        MapInfo info;
        info.set = tables.base;
        if (fs::exists(tables.path("_mapinfo.csv"))) info = readMapInfo(tables.path("_mapinfo.csv"));
        RiverMap map;
        map.segments = readSegments(tables.path("_segments.csv"));
        map.samples = samplePoints(map.segments);
        map.sources = sourcePoints(map.segments);
        const std::string stats = tables.folder + info.set + "_stats.tsv";
        SampleStatistics statistics;
        if (fs::exists(stats)) {
            statistics = readSampleStatistics(stats, info.entire);
            for (auto& p : map.samples) {
                const auto it = statistics.means.find(p.name);
                if (it == statistics.means.end()) continue;
                p.statistics = it->second;
                if (const auto he = p.statistics.find("he"); he != p.statistics.end()) p.diversity = he->second;
            }
        }
        std::string label = info.set;
        if (info.entireCount > 1) label += "  (entire simulation " + std::to_string(info.entire) + ")";
        if (options.images) {
            map.title = label + ": colonisation";
            drawBoth(written, out, tables.path("_map"),
                     [&](const std::string& path, ImageFormat f) { drawRiverMap(map, path, f); });
            if (info.coalescenceImage) {
                map.colouring = MapColouring::coalescence;
                map.title = label + ": coalescence events";
                drawBoth(written, out, tables.path("_coalescence_map"),
                         [&](const std::string& path, ImageFormat f) { drawRiverMap(map, path, f); });
            }
            const auto curve = readCurve(tables.path("_colonisation.csv"));
            drawBoth(written, out, tables.path("_curve"), [&](const std::string& path, ImageFormat f) {
                drawColonisationCurve(curve, label + ": colonisation curve", path, f);
            });
        }
        SetParts& set = sets[info.set];
        set.folder = tables.folder;
        // The tree file holds the genealogies of the last entire simulation written.
        if (info.entire >= info.entireCount || set.trees.empty()) {
            set.trees = info.trees;
            set.ratePerSite = info.ratePerSite;
        }
        set.entire.push_back({info.entire, std::move(map.segments), std::move(map.samples), std::move(map.sources),
                              std::move(statistics.columns)});
    }
    for (auto& [name, set] : sets) {
        const std::string stem = set.folder + name;
        if (options.images && !set.trees.empty() && fs::exists(set.folder + set.trees) && set.ratePerSite > 0) {
            const auto ages = readTreeAges(set.folder + set.trees, set.ratePerSite);
            if (!ages.empty())
                drawBoth(written, out, stem + "_ages", [&](const std::string& path, ImageFormat f) {
                    drawAgeDistribution(ages, name + ": ages of the genealogies", path, f);
                });
        }
        if (options.geoPackage) {
            writeGeoPackage(stem + ".gpkg", set.entire);
            written.push_back(stem + ".gpkg");
            out << "Wrote " << stem << ".gpkg\n";
        }
    }
    return written;
}

int mapMain(int argc, char** argv) {
    MapOptions options;
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--no-images")
            options.images = false;
        else if (a == "--no-gpkg")
            options.geoPackage = false;
        else if (a == "--help" || a == "-h") {
            std::cout << usage;
            return 0;
        } else if (a.rfind("--", 0) == 0) {
            std::cerr << "fluviagen-map: unknown option '" << a << "'\n" << usage;
            return 2;
        } else
            arguments.push_back(a);
    }
    if (arguments.size() != 1) {
        std::cerr << usage;
        return 2;
    }
    int status = 0;
    try {
        drawOutputSet(arguments[0], options, std::cout);
    } catch (const std::exception& e) {
        std::cerr << "fluviagen-map: " << e.what() << "\n";
        status = 1;
    }
    releaseDrawingCaches();
    return status;
}
