// The importer on small hand-made layers, each showing one rule, with the
// written drainage read back by the simulator's own reader.
#include <gtest/gtest.h>

#include <gdal_priv.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <regex>

#include "drainage/DrainageNode.h"
#include "gis/GisTestSupport.h"
#include "gis/Geodesy.h"

using namespace fluviagen;

using namespace gis_test;
namespace fs = std::filesystem;

namespace {

// A Y near 20 E, 45 N: the outlet O, the confluence J 1.1 km north, the main
// stem's source U another 1.1 km north, a tributary from T 0.8 km east of J.
// The lines are digitised downstream.
const std::pair<double, double> O{20.0, 45.0}, J{20.0, 45.01}, U{20.0, 45.02}, T{20.01, 45.01};
const double metresPerDegreeLon = gis::metresPerDegreeLon(45.01);
// The point `metres` east of p.
std::pair<double, double> east(std::pair<double, double> p, double metres) {
    return {p.first + metres / metresPerDegreeLon, p.second};
}
const Line lower{J, O}, upper{U, J}, tributary{T, J};

double length(const Line& line) {
    gis::Polyline p;
    for (const auto& [lon, lat] : line) p.push_back({lon, lat});
    return gis::geodesicLength(p);
}

gis::ImportOptions optionsWith(double tolerance) {
    gis::ImportOptions options;
    options.network.outlet = {O.first, O.second};
    options.network.tolerance = tolerance;
    return options;
}

struct RuleCase {
    const char* name;
    std::vector<std::vector<Line>> features;
    double tolerance;
    int segments, nodes, snapped, split, zeroLength, duplicates, droppedComponents, loops;
    double droppedLength;  // metres
    friend void PrintTo(const RuleCase& c, std::ostream* os) { *os << c.name; }
};

class ImportRule : public testing::TestWithParam<RuleCase> {};

}  // namespace

TEST_P(ImportRule, BuildsTheNetworkAndReportsIt) {
    const RuleCase& c = GetParam();
    TempFolder folder;
    const Imported imported = importLayer(folder, geojsonLines(c.features), optionsWith(c.tolerance));
    const gis::NetworkReport& r = imported.result.network.report;
    EXPECT_EQ(imported.drainage->size(), c.segments);
    EXPECT_EQ(imported.drainage->nodes->size(), c.nodes);
    EXPECT_EQ(r.endsSnapped, c.snapped);
    EXPECT_EQ(r.linesSplit, c.split);
    EXPECT_EQ(r.zeroLength, c.zeroLength);
    EXPECT_EQ(r.duplicates, c.duplicates);
    EXPECT_EQ(r.droppedComponents, c.droppedComponents);
    EXPECT_EQ(r.loops, c.loops);
    EXPECT_NEAR(r.droppedLength, c.droppedLength, 0.01);
    // Whatever was cleaned, every segment flows toward the outlet: node 1 is
    // the mouth and only receives.
    const DrainageNode* mouth = imported.drainage->nodes->find(1);
    ASSERT_NE(mouth, nullptr);
    EXPECT_TRUE(mouth->outgoing.empty());
    EXPECT_FALSE(mouth->incoming.empty());
    EXPECT_NEAR(mouth->lon, O.first, 1e-5);
    EXPECT_NEAR(mouth->lat, O.second, 1e-5);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ImportRule,
    testing::Values(
        RuleCase{"exact_y", {{lower}, {upper}, {tributary}}, 10, 3, 4, 0, 0, 0, 0, 0, 0, 0},
        RuleCase{"exact_y_tiny_tolerance", {{lower}, {upper}, {tributary}}, 0.001, 3, 4, 0, 0, 0, 0, 0, 0, 0},
        // One straight piece of 1000 km among pieces of 1 km (searched everywhere).
        RuleCase{"long_piece",
                 {{{{20.0, 54.0}, U}}, {{J, O}}, {{U, {20.0, 45.015}, J}}, {tributary}},
                 10,
                 4,
                 5,
                 0,
                 0,
                 0,
                 0,
                 0,
                 0,
                 0},
        // The tributary ends 5 m short of the confluence: joined.
        RuleCase{"short_5m", {{lower}, {upper}, {{T, east(J, 5)}}}, 10, 3, 4, 1, 0, 0, 0, 0, 0, 0},
        // 50 m short: a component of its own, dropped and reported.
        RuleCase{
            "short_50m", {{lower}, {upper}, {{T, east(J, 50)}}}, 10, 2, 3, 0, 0, 0, 0, 1, 0, length({T, east(J, 50)})},
        // One line for the main stem: the tributary's end cuts it.
        RuleCase{"mid_line", {{{U, O}}, {tributary}}, 10, 3, 4, 0, 1, 0, 0, 0, 0, 0},
        RuleCase{"mid_line_5m_off", {{{U, O}}, {{T, east(J, 5)}}}, 10, 3, 4, 1, 1, 0, 0, 0, 0, 0},
        // The lower main stem twice, once digitised the other way.
        RuleCase{"duplicate", {{lower}, {upper}, {tributary}, {{O, J}}}, 10, 3, 4, 0, 0, 0, 1, 0, 0, 0},
        RuleCase{"multi_line", {{lower, upper}, {tributary}}, 10, 3, 4, 0, 0, 0, 0, 0, 0, 0},
        RuleCase{"detached",
                 {{lower}, {upper}, {tributary}, {{{21.0, 46.0}, {21.0, 46.01}}}},
                 10,
                 3,
                 4,
                 0,
                 0,
                 0,
                 0,
                 1,
                 0,
                 length({{21.0, 46.0}, {21.0, 46.01}})},
        // A second channel from U to J around an island.
        RuleCase{"loop", {{lower}, {upper}, {{U, {20.002, 45.015}, J}}}, 10, 3, 3, 0, 0, 0, 0, 0, 1, 0},
        // A point-like line, and a 3 m line whose ends both join J.
        RuleCase{"zero_length",
                 {{lower}, {upper}, {tributary}, {{T, T}}, {{J, east(J, 3)}}},
                 10,
                 3,
                 4,
                 1,
                 0,
                 2,
                 0,
                 0,
                 0,
                 0}),
    [](const testing::TestParamInfo<RuleCase>& info) { return std::string(info.param.name); });

// Digitised from the mouth upward: by the network the segments still flow
// to the outlet; trusting the digitised direction they flow away from it.
TEST(ImportDirection, FollowsTheNetworkOrTheDigitisedDirection) {
    const auto layer = geojsonLines({{{O, J}}, {{J, U}}, {{J, T}}});
    for (const bool digitised : {false, true}) {
        TempFolder folder;
        auto options = optionsWith(10);
        options.network.digitisedDirection = digitised;
        const Imported imported = importLayer(folder, layer, options);
        const DrainageNode* mouth = imported.drainage->nodes->find(1);
        EXPECT_EQ(mouth->incoming.size(), digitised ? 0u : 1u);
        EXPECT_EQ(mouth->outgoing.size(), digitised ? 1u : 0u);
        const Segment* lowest = (digitised ? mouth->outgoing : mouth->incoming).front();
        // Downstream: both upper segments flow into the lowest one (kind 2).
        // Digitised: they leave its upper end beside it (kind 3).
        EXPECT_EQ(lowest->neighbourKinds, std::vector<std::int32_t>(2, digitised ? 3 : 2)) << digitised;
        EXPECT_EQ(imported.result.network.report.againstDigitised, digitised ? 0 : 3);
    }
}

// The same Y in UTM zone 34N gives the same nodes within 1 m and the same
// lengths within 0.1 %.
TEST(ImportCoordinateSystem, ProjectedLayerGivesTheSameNetwork) {
    OGRSpatialReference wgs84, utm;
    wgs84.SetWellKnownGeogCS("WGS84");
    wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    utm.importFromEPSG(32634);
    utm.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    std::unique_ptr<OGRCoordinateTransformation> toUtm(OGRCreateCoordinateTransformation(&wgs84, &utm));
    ASSERT_TRUE(toUtm);
    const std::vector<std::vector<Line>> lines{{{U, {20.003, 45.015}, J}}, {{J, {19.998, 45.005}, O}}, {tributary}};
    std::vector<std::vector<Line>> projected;
    for (const auto& feature : lines) {
        Line line;
        for (auto [x, y] : feature[0]) {
            ASSERT_TRUE(toUtm->Transform(1, &x, &y));
            line.push_back({x, y});
        }
        projected.push_back({line});
    }
    TempFolder a, b;
    const Imported geographic = importLayer(a, geojsonLines(lines), optionsWith(10));
    const Imported utmImport = importLayer(b, geojsonLines(projected, "urn:ogc:def:crs:EPSG::32634"), optionsWith(10));
    const auto& n1 = geographic.result.network;
    const auto& n2 = utmImport.result.network;
    ASSERT_EQ(n1.nodes.size(), n2.nodes.size());
    ASSERT_EQ(n1.segments.size(), n2.segments.size());
    for (std::size_t i = 0; i < n1.nodes.size(); ++i)
        EXPECT_LT(gis::geodesicDistance(n1.nodes[i].where, n2.nodes[i].where), 1.0) << "node " << i + 1;
    for (std::size_t i = 0; i < n1.segments.size(); ++i)
        EXPECT_NEAR(n2.segments[i].length / n1.segments[i].length, 1.0, 0.001) << "segment " << i + 1;
    EXPECT_NE(utmImport.report.find("EPSG:32634"), std::string::npos) << utmImport.report;
}

// Lengths along the ellipsoid: the meridian arc from 44.5 to 45.5 N is
// 111,132 m; a degree of the equator 111,319.5 m. The written length is the
// line's, and the middle point lies halfway along the line, not the chord.
TEST(ImportGeodesy, LengthsAndMiddlePointsAlongTheLine) {
    EXPECT_NEAR(gis::geodesicLength({{20, 44.5}, {20, 45.5}}), 111132, 1);
    EXPECT_NEAR(gis::geodesicLength({{20, 44.5}, {20, 45.0}, {20, 45.5}}), 111132, 1);
    EXPECT_NEAR(gis::geodesicLength({{0, 0}, {1, 0}}), 111319.49, 0.01);

    TempFolder folder;
    const Line bend{{20.01, 45.51}, {20.0, 45.51}, {20, 45.5}, {20, 44.5}};
    auto options = optionsWith(10);
    options.network.outlet = {20, 44.5};
    const Imported imported = importLayer(folder, geojsonLines({{bend}}), options);
    const Segment* segment = imported.drainage->find(1);
    ASSERT_NE(segment, nullptr);
    const double total = length(bend);
    EXPECT_NEAR(segment->length, total, 0.1);
    // Halfway along the bend lies on the meridian, 1/2 of the total from
    // its upper end.
    const gis::NetworkSegment& built = imported.result.network.segments.front();
    EXPECT_NEAR(built.middle.lon, 20.0, 1e-9);
    const double upperLegs = length({{20.01, 45.51}, {20.0, 45.51}, {20, 45.5}});
    EXPECT_NEAR(gis::geodesicDistance({20, 45.5}, built.middle), total / 2 - upperLegs, 0.01);
    EXPECT_NEAR(segment->lat, built.middle.lat, 1e-5);
}

// Sample points by coordinates and by segment id; two points on one segment
// by id are refused (the simulator allows one sample per segment there).
TEST(ImportPopulations, SamplesByCoordinatesOrSegment) {
    TempFolder folder;
    const std::string points =
        folder.write("samples.geojson", geojsonPoints({{"Low er", {20.0001, 45.005}}, {"Trib", east(J, 400)}}, 10));
    auto options = optionsWith(10);
    options.samples.layer.path = points;
    const Imported byPoint = importLayer(folder, geojsonLines({{lower}, {upper}, {tributary}}), options);
    const std::string coordinates = readText(folder.path() / "river_samples.txt");
    EXPECT_NE(coordinates.find("\n1       //"), std::string::npos) << coordinates;
    EXPECT_NE(coordinates.find("Low_er\t10\t20.000100\t45.005000\n"), std::string::npos) << coordinates;
    EXPECT_NE(byPoint.report.find("Low_er  segment 1, 8 m away\n    Trib  segment 2, 0 m away\n"), std::string::npos)
        << byPoint.report;
    // 2.2 km north of the main stem's source: on no river kept.
    folder.write("samples.geojson", geojsonPoints({{"Far", {20.0, 45.04}}}, 10));
    const Imported far = importLayer(folder, geojsonLines({{lower}, {upper}, {tributary}}), options);
    EXPECT_NE(far.report.find("Far  segment 3, 2223 m away  WARNING: far from every kept river\n"), std::string::npos)
        << far.report;

    folder.write("samples.geojson", geojsonPoints({{"Low er", {20.0001, 45.005}}, {"Trib", east(J, 400)}}, 10));
    options.bySegment = true;
    const Imported bySegment = importLayer(folder, geojsonLines({{lower}, {upper}, {tributary}}), options);
    const std::string ids = readText(folder.path() / "river_samples.txt");
    EXPECT_NE(ids.find("Name\tGenes\tSegID\nLow_er\t10\t1\nTrib\t10\t2\n"), std::string::npos) << ids;

    folder.write("samples.geojson", geojsonPoints({{"A", {20.0001, 45.005}}, {"B", {19.9999, 45.004}}}, 10));
    EXPECT_THROW(importLayer(folder, geojsonLines({{lower}, {upper}, {tributary}}), options), gis::ImportError);
}

namespace {

struct Refusal {
    const char* name;
    std::vector<std::string> arguments;
    const char* message;  // a part of the error
    friend void PrintTo(const Refusal& c, std::ostream* os) { *os << c.name; }
};

class ImportRefusal : public testing::TestWithParam<Refusal> {};

}  // namespace

// Bad input ends the importer with status 1, a message naming what is wrong,
// and no file written.
TEST_P(ImportRefusal, SaysWhatIsWrongAndWritesNothing) {
    const Refusal& c = GetParam();
    TempFolder folder;
    folder.write("rivers.geojson", geojsonLines({{lower}, {upper}, {tributary}}));
    folder.write("points.geojson", geojsonPoints({{"A", O}}, 0));
    folder.write("rivers.csv", "id,WKT\n1,\"LINESTRING (20 45,20 45.01)\"\n");
    folder.write("notes.txt", "not a layer\n");
    folder.write("metres.geojson", geojsonLines({{{{500000, 4980000}, {500000, 4990000}}}}));
    const auto inputs = folder.files();
    const ProgramRun run = runImporter(c.arguments, folder.path());
    EXPECT_EQ(run.status, 1) << run.errors;
    EXPECT_NE(run.errors.find(c.message), std::string::npos) << run.errors;
    EXPECT_EQ(folder.files(), inputs);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, ImportRefusal,
    testing::Values(
        Refusal{"no_file", {"missing.geojson", "-o", "20,45"}, "'missing.geojson' does not exist"},
        Refusal{"not_a_layer", {"notes.txt", "-o", "20,45"}, "'notes.txt' cannot be opened as vector data"},
        Refusal{"no_layer",
                {"rivers.geojson", "-l", "streams", "-o", "20,45"},
                "has no layer 'streams' (its layers: 'rivers')"},
        Refusal{"no_lines", {"points.geojson", "-o", "20,45"}, "holds no line geometries"},
        Refusal{"no_crs", {"rivers.csv", "-o", "20,45"}, "has no coordinate system"},
        Refusal{"wrong_crs",
                {"metres.geojson", "-o", "20,45"},
                "feature 1: a point lies off the earth in WGS84 (is the layer's coordinate system right?)"},
        Refusal{"outlet_far",
                {"rivers.geojson", "-o", "20.001,45"},
                "the outlet 20.001000,45.000000 is farther than the tolerance of 10 m from every line end: "
                "the nearest mouth (a line end no other line touches) is 20.000000,45.000000, 79 m away"},
        Refusal{"outlet_text", {"rivers.geojson", "-o", "20;45"}, "is not LON,LAT"},
        Refusal{"filter", {"rivers.geojson", "-w", "id >", "-o", "20,45"}, "the filter 'id >'"},
        Refusal{"filtered_out", {"rivers.geojson", "-w", "id > 5", "-o", "20,45"}, "that pass the filter 'id > 5'"},
        Refusal{"source_size",
                {"rivers.geojson", "-o", "20,45", "-S", "points.geojson"},
                "source 'A': the size 0 is not from 1 to 32767"},
        Refusal{"missing_outlet", {"rivers.geojson"}, "--outlet is required"},
        Refusal{"unknown_option", {"rivers.geojson", "-o", "20,45", "--colour"}, "--colour"}),
    [](const testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

TEST(ImportProgram, WritesTheFilesAndTheReport) {
    TempFolder folder;
    folder.write("rivers.geojson", geojsonLines({{lower}, {upper}, {tributary}}));
    const ProgramRun run =
        runImporter({"rivers.geojson", "--outlet", "20,45", "-w", "id <= 3", "-p", "y", "-r", "500"}, folder.path());
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(folder.files(),
              (std::vector<std::string>{"rivers.geojson", "y_nodes.txt", "y_segments.txt", "y_settings.txt"}));
    // Resampled to 500 m: each of the three lines in two pieces, the
    // template's line 40 at 0.
    for (const char* line :
         {"lines read        3 from 3 features", "total length      3.011 km in 6 segments between 7 nodes",
          "resampled         3 segments cut along their lines into 6 of about 500 m",
          "bounding box      longitude 20.000000 to 20.010000, latitude 45.000000 to 45.020000"})
        EXPECT_NE(run.output.find(line), std::string::npos) << run.output;
    const std::string settings = readText(folder.path() / "y_settings.txt");
    EXPECT_EQ(std::count(settings.begin(), settings.end(), '\n'), 41);
    EXPECT_EQ(settings.rfind("y_sources.txt", 0), 0u);
    EXPECT_NE(settings.find("\n0                   // 40 "), std::string::npos);
    const ProgramRun version = runImporter({"--version"}, folder.path());
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output.rfind("fluviagen-import ", 0), 0u);
}

// The shipped example's drainage is what the importer makes of the shipped
// layer today (the date lines apart).
TEST(ImportExample, ShippedFilesAreTheImportOfTheShippedLayer) {
    const fs::path example = fs::path(FLUVIAGEN_SOURCE_DIR) / "examples/danube";
    TempFolder folder;
    for (const char* name : {"rivers.geojson", "samples.geojson", "sources.geojson"})
        fs::copy_file(example / name, folder.path() / name);
    const ProgramRun run =
        runImporter({"rivers.geojson", "--outlet", "22.910277,44.0", "--tolerance", "100", "--sources",
                     "sources.geojson", "--samples", "samples.geojson", "--resample", "1000", "--prefix", "danube"},
                    folder.path());
    ASSERT_EQ(run.status, 0) << run.errors;
    const std::regex date("Date: [^\n]*\n");
    for (const char* name :
         {"danube_nodes.txt", "danube_segments.txt", "danube_sources.txt", "danube_samples.txt", "danube_settings.txt"})
        EXPECT_EQ(std::regex_replace(readText(folder.path() / name), date, "Date:\n"),
                  std::regex_replace(readText(example / name), date, "Date:\n"))
            << name;
}

// A size is a whole number, also when the layer stores it as a real or as
// text; anything else is refused with the feature named.
TEST(ImportPopulations, SizesAreWholeNumbers) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"10.0", "A\t10\t"}, {"\"12\"", "A\t12\t"}, {"2.5", ""}, {"\"ten\"", ""}, {"null", ""}, {"\"7 \"", ""}};
    for (const auto& [value, written] : cases) {
        TempFolder folder;
        auto options = optionsWith(10);
        options.samples.layer.path =
            folder.write("samples.geojson",
                         "{\"type\":\"FeatureCollection\",\"features\":[{\"type\":\"Feature\",\"properties\":{\"name\":"
                         "\"A\",\"size\":" +
                             value + "},\"geometry\":{\"type\":\"Point\",\"coordinates\":[20,45.005]}}]}");
        if (written.empty()) {
            EXPECT_THROW(importLayer(folder, geojsonLines({{lower}, {upper}, {tributary}}), options), gis::ImportError)
                << value;
            EXPECT_FALSE(fs::exists(folder.path() / "river_nodes.txt")) << value;
        } else {
            importLayer(folder, geojsonLines({{lower}, {upper}, {tributary}}), options);
            EXPECT_NE(readText(folder.path() / "river_samples.txt").find(written), std::string::npos) << value;
        }
    }
}

// The network layer, read by GDAL: one line per segment with the ids, ends
// and length of the segment file.
TEST(ImportNetworkLayer, GdalReadsTheSegmentsAsWritten) {
    TempFolder folder;
    auto options = optionsWith(10);
    options.networkLayer = true;
    const Imported imported =
        importLayer(folder, geojsonLines({{lower}, {upper}, {{T, {20.005, 45.012}, J}}}), options);
    GDALAllRegister();
    std::unique_ptr<GDALDataset> layer(
        GDALDataset::Open((folder.path() / "river_network.geojson").c_str(), GDAL_OF_VECTOR));
    ASSERT_TRUE(layer);
    OGRLayer* lines = layer->GetLayer(0);
    ASSERT_EQ(lines->GetFeatureCount(), imported.drainage->size());
    for (auto& feature : *lines) {
        const Segment* segment = imported.drainage->find(feature->GetFieldAsInteger("SegID"));
        ASSERT_NE(segment, nullptr);
        EXPECT_EQ(feature->GetFieldAsInteger("FNode"), segment->fromNode->id);
        EXPECT_EQ(feature->GetFieldAsInteger("TNode"), segment->toNode->id);
        EXPECT_NEAR(feature->GetFieldAsDouble("Length"), segment->length, 0.05);
        const OGRLineString* line = feature->GetGeometryRef()->toLineString();
        // The line runs from the from-node to the to-node.
        EXPECT_NEAR(line->getX(0), segment->fromNode->lon, 1e-5);
        EXPECT_NEAR(line->getY(line->getNumPoints() - 1), segment->toNode->lat, 1e-5);
    }
}

// A file name taken by a folder: nothing is written, not even the files
// whose names were free.
TEST(ImportProgram, AnOutputThatCannotBeWrittenLeavesNoFile) {
    TempFolder folder;
    folder.write("rivers.geojson", geojsonLines({{lower}, {upper}, {tributary}}));
    fs::create_directory(folder.path() / "river_settings.txt");
    const ProgramRun run = runImporter({"rivers.geojson", "-o", "20,45"}, folder.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.errors.find("river_settings.txt' cannot be written (it is no regular file); nothing written."),
              std::string::npos)
        << run.errors;
    EXPECT_EQ(folder.files(), (std::vector<std::string>{"river_settings.txt", "rivers.geojson"}));
}

TEST(Import, TheTemplateIsTheShippedExampleWithTheBasinsFiles) {
    // Written from the table of settings lines: with the shipped river's
    // files, every line but the heading and the end marker is the example's.
    const std::string text =
        gis::settingsText("river", "sources.txt", "samples_gps.txt", "river_nodes.txt", "river_segments.txt");
    std::ifstream in(std::string(FLUVIAGEN_SOURCE_DIR) + "/examples/river/settings.txt");
    std::istringstream written(text);
    std::string expected, got;
    for (int line = 1; std::getline(in, expected); ++line) {
        ASSERT_TRUE(std::getline(written, got)) << line;
        if (line == 6)
            EXPECT_EQ(got, "////// river");
        else if (line == 41)
            EXPECT_EQ(got, "END");
        else
            EXPECT_EQ(got, expected) << line;
    }
    EXPECT_FALSE(std::getline(written, got));
}

namespace {

// The Y and one line apart from it: a layer that falls into two pieces. The
// line runs east from 394 m beside the middle of the lower main stem, whose
// nearest vertices (O and J) lie 700 m away.
const Line apart{{20.005, 45.005}, {20.015, 45.005}};

struct TwoPiecesCase {
    const char* name;
    std::vector<std::string> arguments;  // after the layer's name
    int status;
    std::vector<std::string> texts;  // parts of the report (status 0) or of the error
    friend void PrintTo(const TwoPiecesCase& c, std::ostream* os) { *os << c.name; }
};

class ImportTwoPieces : public testing::TestWithParam<TwoPiecesCase> {};

}  // namespace

// Option values are refused before any work, naming the option; an import
// that drops a piece says where the gap to the kept network is.
TEST_P(ImportTwoPieces, RefusesOrReportsTheGap) {
    const TwoPiecesCase& c = GetParam();
    TempFolder folder;
    folder.write("rivers.geojson", geojsonLines({{lower}, {upper}, {tributary}, {apart}}));
    std::vector<std::string> arguments{"rivers.geojson"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    const auto inputs = folder.files();
    const ProgramRun run = runImporter(arguments, folder.path());
    ASSERT_EQ(run.status, c.status) << run.output << run.errors;
    for (const auto& text : c.texts)
        EXPECT_NE((c.status == 0 ? run.output : run.errors).find(text), std::string::npos)
            << (c.status == 0 ? run.output : run.errors);
    if (c.status != 0) {
        EXPECT_EQ(folder.files(), inputs);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Options, ImportTwoPieces,
    testing::Values(
        TwoPiecesCase{"gap_report",
                      {"-o", "20,45"},
                      0,
                      {"components        2: kept the outlet's, dropped 1 (1 pieces, 0.788 km)\n",
                       "  largest dropped   length, then the shortest gap to the kept network (from the part to the "
                       "network)\n     1       0.788 km in 1 piece, gap 394 m from 20.005000,45.005000 to "
                       "20.000000,45.005000\n"}},
        TwoPiecesCase{"tolerance_zero", {"-o", "20,45", "-t", "0"}, 1, {"--tolerance", "'0' is out of range"}},
        TwoPiecesCase{"tolerance_empty", {"-o", "20,45", "--tolerance", ""}, 1, {"--tolerance", "the value is empty"}},
        TwoPiecesCase{"tolerance_negative", {"-o", "20,45", "-t", "-5"}, 1, {"--tolerance"}},
        TwoPiecesCase{"tolerance_nan", {"-o", "20,45", "-t", "nan"}, 1, {"--tolerance", "'nan' is not a number"}},
        TwoPiecesCase{"tolerance_text", {"-o", "20,45", "-t", "10m"}, 1, {"--tolerance", "'10m' is not a number"}},
        TwoPiecesCase{"resample_huge", {"-o", "20,45", "-r", "1e300"}, 1, {"--resample", "'1e300' is out of range"}},
        TwoPiecesCase{"resample_tiny",
                      {"-o", "20,45", "-r", "1e-300"},
                      1,
                      {"resampling to 1e-300 m would make", "more than the 1000000 a drainage may hold"}},
        TwoPiecesCase{"resample_empty", {"-o", "20,45", "-r", ""}, 1, {"--resample", "the value is empty"}},
        TwoPiecesCase{"resample_negative", {"-o", "20,45", "--resample=-1"}, 1, {"--resample", "out of range"}},
        // The lines are 787 to 1112 m long, their median 950 m.
        TwoPiecesCase{"tolerance_above_median",
                      {"-o", "20,45", "-t", "300"},
                      1,
                      {"the tolerance of 300 m is above a quarter of the median line length (950 m)", "--force"}},
        TwoPiecesCase{"tolerance_forced", {"-o", "20,45", "-t", "300", "--force"}, 0, {"(tolerance 300 m)"}},
        // Beside the confluence: the nearest mouth (the line apart's west
        // end) is named, and the confluence apart.
        TwoPiecesCase{"outlet_near_fork",
                      {"-o", "20.0003,45.01"},
                      1,
                      {"the nearest mouth (a line end no other line touches) is 20.005000,45.005000, 668 m away; "
                       "nearer, 20.000000,45.010000 (24 m away), is where 3 lines meet"}}),
    [](const testing::TestParamInfo<TwoPiecesCase>& info) { return std::string(info.param.name); });

// The gaps as a point layer beside the network, read by GDAL: the two ends
// of each gap.
TEST(ImportNetworkLayer, GapsArePointsOfTheirOwnLayer) {
    TempFolder folder;
    auto options = optionsWith(10);
    options.networkLayer = true;
    importLayer(folder, geojsonLines({{lower}, {upper}, {tributary}, {apart}}), options);
    GDALAllRegister();
    std::unique_ptr<GDALDataset> layer(
        GDALDataset::Open((folder.path() / "river_gaps.geojson").c_str(), GDAL_OF_VECTOR));
    ASSERT_TRUE(layer);
    OGRLayer* points = layer->GetLayer(0);
    ASSERT_EQ(points->GetFeatureCount(), 2);
    std::vector<std::string> sides;
    for (auto& feature : *points) {
        EXPECT_EQ(feature->GetFieldAsInteger("Part"), 1);
        EXPECT_NEAR(feature->GetFieldAsDouble("Gap"), 394, 1);
        EXPECT_NEAR(feature->GetFieldAsDouble("PartLength"), length(apart), 0.1);
        sides.push_back(feature->GetFieldAsString("Side"));
        const OGRPoint* point = feature->GetGeometryRef()->toPoint();
        EXPECT_NEAR(point->getX(), sides.back() == "dropped" ? 20.005 : 20.0, 1e-6);
        EXPECT_NEAR(point->getY(), 45.005, 1e-6);
    }
    EXPECT_EQ(sides, (std::vector<std::string>{"dropped", "kept"}));
}

// A line end exactly at the tolerance from another line's interior is a
// confluence: the line is cut there (the distance is measured as the
// network does, in the flat frame of the end).
TEST(ImportRules, AnEndExactlyAtTheToleranceCutsTheLine) {
    const std::pair<double, double> end{20.00007, 45.01};
    double t = 0;
    const double tolerance =
        gis::LocalFrame({end.first, end.second}).nearestOnPiece({U.first, U.second}, {O.first, O.second}, t);
    ASSERT_GT(tolerance, 5.0);
    for (const double factor : {1.0, 0.999999}) {
        TempFolder folder;
        auto options = optionsWith(tolerance * factor);
        const Imported imported = importLayer(folder, geojsonLines({{{U, O}}, {{T, end}}}), options);
        EXPECT_EQ(imported.result.network.report.linesSplit, factor == 1.0 ? 1 : 0) << factor;
        EXPECT_EQ(imported.drainage->size(), factor == 1.0 ? 3 : 1) << factor;
    }
}

// Two nodes equally far from the outlet along the network: the piece between
// them keeps the direction it was digitised in, either way.
TEST(ImportDirection, APieceBetweenEquallyFarEndsKeepsItsDigitisedDirection) {
    // Mirror images across the meridian of the outlet: equal lengths to the
    // last bit.
    const std::pair<double, double> mouth{0.0, 45.0}, west{-0.01, 45.01}, eastEnd{0.01, 45.01};
    for (const bool westToEast : {true, false}) {
        TempFolder folder;
        auto options = optionsWith(10);
        options.network.outlet = {mouth.first, mouth.second};
        const Line across = westToEast ? Line{west, eastEnd} : Line{eastEnd, west};
        const Imported imported =
            importLayer(folder, geojsonLines({{{west, mouth}}, {{eastEnd, mouth}}, {across}}), options);
        const auto& network = imported.result.network;
        ASSERT_EQ(network.segments.size(), 3u);
        ASSERT_EQ(network.nodes[1].outletDistance, network.nodes[2].outletDistance);
        const gis::NetworkSegment& cross = network.segments.back();
        EXPECT_EQ(cross.line.front(), (gis::LonLat{across.front().first, across.front().second})) << westToEast;
        EXPECT_EQ(imported.result.network.report.againstDigitised, 0) << westToEast;
    }
}

// A GeoPackage layer with the undefined coordinate system (srs_id 0 or -1)
// has none: its coordinates are not taken as WGS84.
TEST(ImportCoordinateSystem, UndefinedGeoPackageSystemIsRefused) {
    GDALAllRegister();
    for (const int srs : {4326, 0, -1}) {
        TempFolder folder;
        const std::string path = (folder.path() / "rivers.gpkg").string();
        {
            GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GPKG");
            ASSERT_NE(driver, nullptr);
            std::unique_ptr<GDALDataset> dataset(driver->Create(path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
            ASSERT_TRUE(dataset);
            OGRSpatialReference wgs84;
            wgs84.importFromEPSG(4326);
            OGRLayer* layer = dataset->CreateLayer("rivers", &wgs84, wkbLineString, nullptr);
            ASSERT_NE(layer, nullptr);
            for (const Line& line : {lower, upper, tributary}) {
                OGRFeature feature(layer->GetLayerDefn());
                OGRLineString geometry;
                for (const auto& [lon, lat] : line) geometry.addPoint(lon, lat);
                feature.SetGeometry(&geometry);
                ASSERT_EQ(layer->CreateFeature(&feature), OGRERR_NONE);
            }
        }
        if (srs != 4326) {
            std::unique_ptr<GDALDataset> dataset(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE));
            ASSERT_TRUE(dataset);
            for (const char* table : {"gpkg_geometry_columns", "gpkg_contents"})
                dataset->ExecuteSQL(("UPDATE " + std::string(table) + " SET srs_id = " + std::to_string(srs)).c_str(),
                                    nullptr, nullptr);
        }
        const ProgramRun run = runImporter({"rivers.gpkg", "-o", "20,45"}, folder.path());
        EXPECT_EQ(run.status, srs == 4326 ? 0 : 1) << srs << run.errors;
        if (srs != 4326) {
            EXPECT_NE(run.errors.find("layer 'rivers' of 'rivers.gpkg' has no coordinate system"), std::string::npos)
                << run.errors;
        }
    }
}
