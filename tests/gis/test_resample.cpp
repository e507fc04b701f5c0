// The importer's resampling: segments cut along their own lines into pieces
// of one length, with ids the simulator uses as they are written.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "drainage/DrainageNode.h"
#include "drainage/readers/DrainageFiles.h"
#include "gis/Geodesy.h"
#include "gis/GisTestSupport.h"

using namespace fluviagen;

using namespace gis_test;
namespace fs = std::filesystem;

namespace {

// A quarter circle of 10 km radius around 20 E, 45 N, drawn in the flat
// frame of its centre with one vertex per degree (its chords stray 0.4 m
// from the circle), from the east point to the north point.
constexpr double radius = 10000;
const gis::LonLat centre{20.0, 45.0};

Line quarterCircle() {
    const double perLon = gis::metresPerDegreeLon(centre.lat);
    const double perLat = gis::metresPerDegreeLat(centre.lat);
    Line line;
    for (int degrees = 0; degrees <= 90; ++degrees) {
        const double angle = degrees * 3.14159265358979323846 / 180;
        line.push_back(
            {centre.lon + radius * std::cos(angle) / perLon, centre.lat + radius * std::sin(angle) / perLat});
    }
    return line;
}

}  // namespace

// Every new node and middle point lies on the arc (not on a chord between
// the ends), and the pieces are of one length: n = round(length / L).
TEST(ImportResample, PiecesFollowTheLineWithEqualLengths) {
    const Line arc = quarterCircle();
    gis::Polyline line;
    for (const auto& [lon, lat] : arc) line.push_back({lon, lat});
    const double total = gis::geodesicLength(line);
    ASSERT_NEAR(total, radius * 3.14159265358979323846 / 2, 20);
    const gis::LocalFrame frame(centre);
    for (const double L : {2000.0, 3500.0, 100000.0}) {
        TempFolder folder;
        gis::ImportOptions options;
        options.network.outlet = {arc.front().first, arc.front().second};
        options.network.tolerance = 10;
        options.resample = L;
        const Imported imported = importLayer(folder, geojsonLines({{arc}}), options);
        const long long n = std::max(1LL, std::llround(total / L));
        ASSERT_EQ(imported.drainage->size(), n) << L;
        ASSERT_EQ(imported.drainage->nodes->size(), n + 1) << L;
        for (const auto& [id, node] : imported.drainage->nodes->nodes)
            EXPECT_NEAR(frame.distance({node->lon, node->lat}), radius, 1.0) << "node " << id << ", L " << L;
        for (const auto& [id, segment] : imported.drainage->segments) {
            // As the simulator reads them: lengths to the decimetre.
            EXPECT_NEAR(segment->length, total / static_cast<double>(n), 0.051) << "segment " << id;
            EXPECT_NEAR(frame.distance({segment->lon, segment->lat}), radius, 1.0) << "middle of " << id;
        }
        // The middle point lies halfway along the piece, between its nodes.
        for (const auto& segment : imported.result.network.segments) {
            EXPECT_NEAR(segment.length, total / static_cast<double>(n), 1e-6);
            const gis::Polyline& piece = segment.line;
            EXPECT_NEAR(gis::geodesicLength(piece), segment.length, 1e-6);
            gis::Polyline firstHalf;
            for (const auto& p : piece) {
                firstHalf.push_back(p);
                if (gis::geodesicLength(firstHalf) > segment.length / 2) {
                    firstHalf.back() = segment.middle;
                    break;
                }
            }
            EXPECT_NEAR(gis::geodesicLength(firstHalf), segment.length / 2, 1e-3) << "segment " << segment.id;
        }
        // The outlet is node 1 and the ids run upstream from it.
        EXPECT_EQ(imported.drainage->find(1)->toNode->id, 1);
        EXPECT_NE(imported.report.find("resampled         1 segments cut along their lines into " + std::to_string(n)),
                  std::string::npos)
            << imported.report;
    }
}

namespace {

// The console's population lines: name and segment, in file order.
std::vector<std::pair<std::string, int>> placements(const std::string& console) {
    static const std::regex line(R"(\t\t[0-9]+: (\S+)\tSeg: ([0-9]+))");
    std::vector<std::pair<std::string, int>> result;
    for (auto it = std::sregex_iterator(console.begin(), console.end(), line); it != std::sregex_iterator(); ++it)
        result.emplace_back((*it)[1].str(), std::stoi((*it)[2].str()));
    return result;
}

// The settings written by the importer, shortened to a quick run.
void shortenSettings(const fs::path& settings) {
    std::string text = readText(settings);
    const std::map<int, std::string> values{{9, "60"}, {17, "1"}, {21, "10"}, {31, "0"},
                                            {33, "0"}, {34, "0"}, {35, "0"}};
    std::istringstream in(text);
    std::ostringstream out;
    std::string row;
    for (int number = 1; std::getline(in, row); ++number) {
        const auto value = values.find(number);
        out << (value == values.end() ? row : value->second + "   // shortened") << "\n";
    }
    std::ofstream(settings, std::ios::binary) << out.str();
}

}  // namespace

// Points on the rivers of a Y resampled to 300 m: by segment id the importer
// writes the ids of the pieces the points lie on, and fluviagen, reading the
// written files with their settings (line 40 at 0), places the samples on
// exactly those ids; by coordinates it places them there too.
TEST(ImportResample, SegmentIdsAreTheSimulatorsIds) {
    const std::pair<double, double> O{20.0, 45.0}, J{20.0, 45.01}, U{20.0, 45.02}, T{20.01, 45.01};
    const std::vector<std::pair<std::string, std::pair<double, double>>> samples{{"Mouth", {20.0, 45.0008}},
                                                                                 {"Lower", {20.0, 45.0061}},
                                                                                 {"Upper", {20.0, 45.0187}},
                                                                                 {"Tributary", {20.0072, 45.01}},
                                                                                 {"Confluence", {20.0, 45.0113}}};
    std::vector<int> expected;
    std::vector<std::vector<std::pair<std::string, int>>> placed;
    for (const bool bySegment : {true, false}) {
        TempFolder folder;
        folder.write("rivers.geojson", geojsonLines({{{J, O}}, {{U, J}}, {{T, J}}}));
        folder.write("samples.geojson", geojsonPoints(samples, 4));
        folder.write("sources.geojson", geojsonPoints({{"Source", {20.0, 45.003}}}, 50));
        std::vector<std::string> arguments{"rivers.geojson",  "-o", "20,45",          "-r", "300", "-s",
                                           "samples.geojson", "-S", "sources.geojson"};
        if (bySegment) arguments.push_back("--by-segment");
        const ProgramRun import = runImporter(arguments, folder.path());
        ASSERT_EQ(import.status, 0) << import.errors;
        const std::string settings = readText(folder.path() / "river_settings.txt");
        EXPECT_NE(settings.find("\n0                   // 40 "), std::string::npos) << settings;
        shortenSettings(folder.path() / "river_settings.txt");
        const ProgramRun run = runBinary(FLUVIAGEN_BINARY, {"river_settings.txt", "1"}, folder.path());
        ASSERT_EQ(run.status, 0) << run.output << run.errors;
        // The drainage is simulated as written: 4 + 4 + 3 pieces, no resampling.
        EXPECT_NE(run.output.find("Build world done (Duration: "), std::string::npos);
        EXPECT_NE(run.output.find("; Segments: 11)"), std::string::npos) << run.output;
        auto found = placements(run.output);
        ASSERT_EQ(found.size(), samples.size() + 1) << run.output;
        found.erase(found.begin());  // the source
        placed.push_back(found);
        if (!bySegment) continue;
        // The ids written are the ids placed on, and each is the piece whose
        // stretch of river holds the point.
        const std::string written = readText(folder.path() / "river_samples.txt");
        const auto drainage =
            readDrainage((folder.path() / "river_nodes.txt").string(), (folder.path() / "river_segments.txt").string());
        for (std::size_t i = 0; i < samples.size(); ++i) {
            const auto& [name, id] = found[i];
            EXPECT_EQ(name, samples[i].first);
            EXPECT_NE(written.find(name + "\t4\t" + std::to_string(id) + "\n"), std::string::npos) << written;
            const Segment* segment = drainage->find(id);
            ASSERT_NE(segment, nullptr);
            const gis::LonLat point{samples[i].second.first, samples[i].second.second};
            EXPECT_LE(gis::geodesicDistance(point, {segment->lon, segment->lat}), segment->length / 2 + 1)
                << name << " on segment " << id;
        }
    }
    EXPECT_EQ(placed[0], placed[1]);
}
