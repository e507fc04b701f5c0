// The figures and the GeoPackage, read back by their readers: cairo decodes
// the PNG, Python's XML parser reads the SVG, GDAL's Python bindings read the
// GeoPackage; and the map program as fluviagen runs it.
#include <gtest/gtest.h>
#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/ExchangeTables.h"
#include "map/Canvas.h"
#include "map/Charts.h"
#include "map/RiverMapFigure.h"
#include "map/SmallRiver.h"
#include "map/StagedFigure.h"
#include "map/GeoPackage.h"
#include "map/MapRun.h"
#include "support/TestFiles.h"

using namespace map;

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::settingsText;
using testing_support::TempFolder;

namespace {

// A small dendritic river: a stem with two tributaries, ~1 km per segment.
std::vector<SegmentRow> smallRiver() {
    std::vector<SegmentRow> rows;
    const auto add = [&](long id, double x0, double y0, double x1, double y1, std::optional<long> first) {
        SegmentRow s;
        s.id = id;
        s.fromLon = x0, s.fromLat = y0, s.toLon = x1, s.toLat = y1;
        s.lon = (x0 + x1) / 2, s.lat = (y0 + y1) / 2;
        s.length = 1000;
        s.firstOccupied = first;
        s.finalSize = first ? 50 : 0;
        s.coalescences = id;
        s.coalescencesPerKm = static_cast<double>(id);
        rows.push_back(s);
    };
    add(1, 10.00, 45.00, 10.01, 45.00, 0);
    add(2, 10.01, 45.00, 10.02, 45.01, 5);
    add(3, 10.01, 45.00, 10.02, 44.99, std::nullopt);
    rows[0].sources = "Mouth";
    rows[1].samples = "Upper";
    rows[2].samples = "Dry";
    return rows;
}

// The colour at pixel (x, y) of a decoded image, 0xRRGGBB.
std::uint32_t pixel(cairo_surface_t* image, double x, double y) {
    const unsigned char* data = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    const auto* row = reinterpret_cast<const std::uint32_t*>(data + stride * static_cast<int>(y));
    return row[static_cast<int>(x)] & 0xFFFFFFu;
}

// Runs a shell command; its standard output and exit status.
std::pair<int, std::string> shell(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return {-1, ""};
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

bool wellFormedXml(const std::string& path) {
    return shell("/usr/bin/python3 -c 'import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])' '" + path +
                 "' 2>&1")
               .first == 0;
}

// The font caches go before the process ends, as in the map program.
class FontCaches : public testing::Environment {
public:
    void TearDown() override { releaseDrawingCaches(); }
};
const testing::Environment* const fontCaches = testing::AddGlobalTestEnvironment(new FontCaches);

}  // namespace

TEST(MapDrawing, PngHasTheFrameSizeAndMarksAtTheSamples) {
    TempFolder folder;
    RiverMap map;
    map.segments = smallRiver();
    map.samples = samplePoints(map.segments);
    map.sources = sourcePoints(map.segments);
    map.samples[0].diversity = 0.4;
    map.title = "test river";
    const std::string png = drawnFigure(folder, "m.png", [&](common::StagingFolder& s, const std::string& n) {
        drawRiverMap(map, s, n, ImageFormat::png);
    });
    cairo_surface_t* image = cairo_image_surface_create_from_png(png.c_str());
    ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS);
    const MapFrame frame(map.segments);
    EXPECT_EQ(cairo_image_surface_get_width(image), frame.width());
    EXPECT_EQ(cairo_image_surface_get_height(image), frame.height());
    for (const auto& p : map.samples) {
        SCOPED_TRACE(p.name);
        const auto [x, y] = frame.toPixel(p.lon, p.lat);
        // The mark's outline 6 pixels left of its centre is drawn, whatever
        // the fill (white for a sample that was never reached).
        EXPECT_NE(pixel(image, x - 6.5, y), 0xFFFFFFu);
        // Filled when its segment was reached, white (empty) when not.
        EXPECT_EQ(pixel(image, x, y) == 0xFFFFFFu, !p.occupied);
    }
    // The plot's corner holds nothing.
    EXPECT_EQ(pixel(image, 3, frame.height() - 60), 0xFFFFFFu);
    cairo_surface_destroy(image);
    EXPECT_FALSE(fs::exists(png + ".part"));
}

TEST(MapDrawing, EveryFigureIsWrittenAsPngAndWellFormedSvg) {
    TempFolder folder;
    RiverMap map;
    map.segments = smallRiver();
    map.sources = sourcePoints(map.segments);  // no samples: the colonisation map all the same
    const std::vector<CurveRow> curve{{0, 1, 50, 0}, {1, 2, 80, 10}, {2, 2, 100, 12}};
    const std::vector<double> ages{120, 340, 335, 800};
    for (const auto format : {ImageFormat::png, ImageFormat::svg}) {
        const std::string ext = format == ImageFormat::png ? ".png" : ".svg";
        common::StagingFolder staging(folder.path().string(), "test");
        map.colouring = MapColouring::colonisation;
        drawRiverMap(map, staging, "map" + ext, format);
        map.colouring = MapColouring::coalescence;
        drawRiverMap(map, staging, "coal" + ext, format);
        drawColonisationCurve(curve, "curve", staging, "curve" + ext, format);
        drawAgeDistribution(ages, "ages", staging, "ages" + ext, format);
        staging.commit();
    }
    for (const char* name : {"map", "coal", "curve", "ages"}) {
        SCOPED_TRACE(name);
        cairo_surface_t* image = cairo_image_surface_create_from_png((folder.folder() + name + ".png").c_str());
        EXPECT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS);
        cairo_surface_destroy(image);
        EXPECT_TRUE(wellFormedXml(folder.folder() + name + ".svg"));
    }
    // A figure drawn twice under one name is refused: the staging folder
    // creates every file anew.
    common::StagingFolder staging(folder.path().string(), "test");
    drawAgeDistribution(ages, "x", staging, "ages.png", ImageFormat::png);
    EXPECT_THROW(drawAgeDistribution(ages, "x", staging, "ages.png", ImageFormat::png), common::OutputError);
}

// A hundred segments are drawn boldly, a hundred thousand finely, never
// thinner than a third of a pixel or bolder than 4.
TEST(MapDrawing, LineWidthFollowsTheDensityOfTheRiver) {
    const auto comb = [](int n) {
        std::vector<SegmentRow> rows;
        const int side = static_cast<int>(std::sqrt(n));
        for (int i = 0; i < n; ++i) {
            SegmentRow s;
            const double x = (i % side) * 0.01, y = (i / side) * 0.01;
            s.fromLon = x, s.fromLat = y, s.toLon = x + 0.01, s.toLat = y;
            rows.push_back(s);
        }
        return rows;
    };
    const auto few = comb(100), many = comb(100000);
    const double wide = riverLineWidth(few, MapFrame(few)), fine = riverLineWidth(many, MapFrame(many));
    EXPECT_GT(wide, 2.0);
    EXPECT_LT(fine, 1.0);
    EXPECT_GE(fine, 0.35);
    EXPECT_LE(wide, 4.0);
}

TEST(MapGeoPackage, GdalReadsLayersCountsFieldsAndCoordinates) {
    TempFolder folder;
    GeoPackageEntire first{1, smallRiver(), {}, {}, {"he", "pi"}};
    first.samples = samplePoints(first.segments);
    first.sources = sourcePoints(first.segments);
    first.samples[0].diversity = 0.25;
    first.samples[0].statistics = {{"he", 0.25}, {"pi", 1.5}};
    GeoPackageEntire second = first;
    second.entire = 2;
    const std::string path = folder.folder() + "s.gpkg";
    writeGeoPackage(path, {first, second});
    const std::string script = R"PY(
import sys
from osgeo import ogr
ds = ogr.Open(sys.argv[1])
for i in range(ds.GetLayerCount()):
    layer = ds.GetLayer(i)
    d = layer.GetLayerDefn()
    print(layer.GetName(), layer.GetFeatureCount(), ','.join(d.GetFieldDefn(k).GetName() for k in range(d.GetFieldCount())))
seg = ds.GetLayerByName('segments')
f = seg.GetNextFeature()
g = f.GetGeometryRef()
print('line', g.GetGeometryName(), g.GetPointCount(), '%.2f %.2f %.2f %.2f' % (g.GetX(0), g.GetY(0), g.GetX(1), g.GetY(1)))
print('srs', seg.GetSpatialRef().GetAuthorityCode(None))
for f in ds.GetLayerByName('samples'):
    p = f.GetGeometryRef()
    print('sample', f.GetField('e'), f.GetField('name'), '%.3f %.3f' % (p.GetX(), p.GetY()), f.GetField('he'), f.GetField('pi'))
)PY";
    const std::string scriptPath = folder.write("read.py", script);
    const auto [status, output] = shell("/usr/bin/python3 " + scriptPath + " " + path + " 2>&1");
    ASSERT_EQ(status, 0) << output;
    std::string fields = "e";
    for (const auto& c : common::segmentsColumns) fields += "," + std::string(c.name);
    EXPECT_NE(output.find("segments 6 " + fields + "\n"), std::string::npos) << output;
    EXPECT_NE(output.find("samples 4 e,name,segment,lon,lat,he,pi\n"), std::string::npos) << output;
    EXPECT_NE(output.find("sources 2 e,name,segment,lon,lat\n"), std::string::npos) << output;
    EXPECT_NE(output.find("line LINESTRING 2 10.00 45.00 10.01 45.00\n"), std::string::npos) << output;
    EXPECT_NE(output.find("srs 4326\n"), std::string::npos) << output;
    EXPECT_NE(output.find("sample 1 Upper 10.015 45.005 0.25 1.5\n"), std::string::npos) << output;
    EXPECT_NE(output.find("sample 2 Dry 10.015 44.995 None None\n"), std::string::npos) << output;
    EXPECT_FALSE(fs::exists(path + ".part.gpkg"));
}

// fluviagen draws the maps of a call with one entire simulation through the
// map program beside it; standard output keeps only its own lines.
TEST(MapProgram, FluviagenRunsItForOneEntireSimulation) {
    TempFolder folder;
    writeSmallRiver(folder);
    folder.write("settings.txt", settingsText({{9, "30"}, {32, "1"}}));
    const auto result = testing_support::runProgram({"--with", "maps", "--with", "gpkg", "settings.txt"}, "", "4",
                                                    folder.path().string(), 0, testing_support::StandardError::Apart);
    ASSERT_EQ(result.status, 0) << result.output << result.errors;
    const fs::path out = folder.path() / "GeneticOutput";
    for (const char* name : {"_map.png", "_map.svg", "_coalescence_map.png", "_curve.png", "_ages.svg", ".gpkg"})
        EXPECT_TRUE(fs::exists(out / (std::string("settings_samples_DNA") + name))) << name;
    EXPECT_EQ(result.output.find("Wrote "), std::string::npos);
    EXPECT_NE(result.errors.find("Wrote "), std::string::npos);
}

TEST(MapProgram, ItsCommandLine) {
    TempFolder folder;
    writeSmallRiver(folder);
    folder.write("settings.txt", settingsText({{9, "30"}, {16, "2"}}));
    // Two entire simulations: tables only, no maps by default.
    ASSERT_EQ(testing_support::runProgram({"settings.txt"}, "", "4", folder.path().string()).status, 0);
    const std::string set = (folder.path() / "GeneticOutput" / "settings_samples_DNA").string();
    EXPECT_FALSE(fs::exists(set + "_1_map.png"));
    const std::string map = FLUVIAGEN_MAP_BINARY;
    auto [status, output] = shell("'" + map + "' --no-gpkg '" + set + "' 2>&1");
    EXPECT_EQ(status, 0) << output;
    EXPECT_TRUE(fs::exists(set + "_1_map.png") && fs::exists(set + "_2_curve.svg")) << output;
    EXPECT_FALSE(fs::exists(set + ".gpkg"));
    std::tie(status, output) = shell("'" + map + "' --no-images '" + set + "' 2>&1");
    EXPECT_EQ(status, 0) << output;
    EXPECT_TRUE(fs::exists(set + ".gpkg"));
    std::tie(status, output) = shell("'" + map + "' '" + folder.folder() + "nothing' 2>&1");
    EXPECT_EQ(status, 1);
    EXPECT_NE(output.find("names no output folder"), std::string::npos) << output;
    // Bad usage ends with status 1 and one line on standard error naming the
    // problem; --help and --version end with 0 and write to standard output.
    const struct {
        std::string arguments;
        int status;
        std::string says;
    } cases[] = {
        {"", 1, "fluviagen-map: tables is required (see --help)"},
        {"--bogus x", 1, "fluviagen-map: The following argument was not expected: --bogus (see --help)"},
        {"a b", 1, "fluviagen-map: The following argument was not expected: b (see --help)"},
        {"--version", 0, "fluviagen-map 1."},
        {"--help", 0, "--no-gpkg"},
    };
    for (const auto& c : cases) {
        const auto [errorStatus, errors] = shell("'" + map + "' " + c.arguments + " 2>&1 >/dev/null");
        const auto [outputStatus, printed] = shell("'" + map + "' " + c.arguments + " 2>/dev/null");
        EXPECT_EQ(errorStatus, c.status) << c.arguments;
        const std::string& where = c.status == 0 ? printed : errors;
        EXPECT_NE(where.find(c.says), std::string::npos) << c.arguments << ": " << where;
        EXPECT_EQ((c.status == 0 ? errors : printed), "") << c.arguments;
    }
}

// Without the map program beside it, fluviagen says how to run it.
TEST(MapProgram, AbsentItIsNamedOnStandardError) {
    TempFolder folder;
    writeSmallRiver(folder);
    folder.write("settings.txt", settingsText({{9, "30"}}));
    fs::copy_file(FLUVIAGEN_BINARY, folder.path() / "fluviagen");
    const auto [status, output] =
        shell("cd '" + folder.folder() + "' && FLUVIAGEN_SEED=4 ./fluviagen settings.txt 2>&1 >/dev/null");
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("fluviagen-map, which is not installed"), std::string::npos) << output;
    EXPECT_TRUE(fs::exists(folder.path() / "GeneticOutput" / "settings_samples_DNA_segments.csv"));
}

// Thirty samples crowded on a few hundred metres of river: every one keeps a
// visible mark (smaller than alone), whatever happens to their names.
TEST(MapDrawing, CrowdedSamplesKeepTheirMarks) {
    TempFolder folder;
    RiverMap map;
    map.segments = smallRiver();
    for (int i = 0; i < 30; ++i)
        map.samples.push_back({"Crowded_sample_" + std::to_string(i),
                               2,
                               10.012 + 0.0002 * (i % 6),
                               45.002 + 0.0002 * (i / 6),
                               std::nullopt,
                               true,
                               {}});
    const std::string png = drawnFigure(folder, "crowd.png", [&](common::StagingFolder& s, const std::string& n) {
        drawRiverMap(map, s, n, ImageFormat::png);
    });
    cairo_surface_t* image = cairo_image_surface_create_from_png(png.c_str());
    ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS);
    const MapFrame frame(map.segments);
    for (const auto& p : map.samples) {
        const auto [x, y] = frame.toPixel(p.lon, p.lat);
        EXPECT_NE(pixel(image, x, y), 0xFFFFFFu) << p.name;
    }
    cairo_surface_destroy(image);
}

// The ticks and grid lines of a scale: each value the previous plus the step;
// a range too narrow for its step at that magnitude must end, not repeat.
TEST(MapDrawing, SteppedValuesEndForEveryRange) {
    struct Case {
        double first, step, last;
        bool upTo;
        std::vector<double> expected;
    };
    const Case cases[] = {
        {0, 0.5, 2, true, {0, 0.5, 1, 1.5, 2}}, {0, 0.5, 2, false, {0, 0.5, 1, 1.5}}, {3, 1, 3, false, {}},
        {1e6, 1e-12, 1e6 + 1e-9, false, {1e6}},  // the step cannot move 1e6
        {1e17, 1, 1e17 + 64, true, {1e17}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(steppedValues(c.first, c.step, c.last, c.upTo), c.expected) << c.first << " " << c.step;
}
