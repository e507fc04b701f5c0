// What the figures show: segments closed by the dynamic maps in their own
// style, colour scales over the range of the data, the ages figure's axis
// over the ages.
#include <gtest/gtest.h>
#include <cairo.h>

#include <cmath>
#include <cstdint>

#include "map/Charts.h"
#include "map/RiverMapFigure.h"
#include "map/StagedFigure.h"
#include "support/TestFiles.h"

using namespace map;

using testing_support::TempFolder;

namespace {

std::vector<SegmentRow> twoReaches() {
    std::vector<SegmentRow> rows(2);
    rows[0].id = 1, rows[0].fromLon = 10.01, rows[0].toLon = 10.0;
    rows[1].id = 2, rows[1].fromLon = 10.02, rows[1].toLon = 10.01;
    for (auto& s : rows) {
        s.fromLat = s.toLat = s.lat = 45.0;
        s.lon = (s.fromLon + s.toLon) / 2;
        s.length = 790;
        s.firstOccupied = s.id;
    }
    return rows;
}

struct Image {
    explicit Image(const std::string& path) : surface(cairo_image_surface_create_from_png(path.c_str())) {}
    ~Image() { cairo_surface_destroy(surface); }
    std::uint32_t at(double x, double y) const {
        const unsigned char* data = cairo_image_surface_get_data(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        return reinterpret_cast<const std::uint32_t*>(data + stride * static_cast<int>(y))[static_cast<int>(x)] &
               0xFFFFFFu;
    }
    cairo_surface_t* surface;
};

double red(std::uint32_t c) { return ((c >> 16) & 0xFF) / 255.0; }
double green(std::uint32_t c) { return ((c >> 8) & 0xFF) / 255.0; }
double blue(std::uint32_t c) { return (c & 0xFF) / 255.0; }
// The pixel has the colour, give or take cairo's rounding.
bool near(std::uint32_t c, double r, double g, double b) {
    return std::fabs(red(c) - r) < 0.01 && std::fabs(green(c) - g) < 0.01 && std::fabs(blue(c) - b) < 0.01;
}
bool closedRed(std::uint32_t c) { return near(c, 0.55, 0.0, 0.05); }

}  // namespace

// A closed reach is drawn dark red with white dashes, an open one in its
// colonisation colour.
TEST(MapFigures, SegmentsClosedAtTheEndHaveTheirOwnStyle) {
    TempFolder folder;
    RiverMap map;
    map.segments = twoReaches();
    map.segments[1].closedAtEnd = true;
    map.segments[1].firstClosed = 40;
    const std::string png = drawnFigure(folder, "closed.png", [&](common::StagingFolder& s, const std::string& n) {
        drawRiverMap(map, s, n, ImageFormat::png);
    });
    const Image image(png);
    const MapFrame frame(map.segments);
    int closedStyle = 0, openStyle = 0;
    for (int k = -8; k <= 8; ++k) {
        const auto [cx, cy] = frame.toPixel(map.segments[1].lon + k * 0.0004, 45.0);
        const std::uint32_t c = image.at(cx, cy - 1);
        if (closedRed(c) || c == 0xFFFFFFu) ++closedStyle;
        const auto [ox, oy] = frame.toPixel(map.segments[0].lon + k * 0.0004, 45.0);
        if (closedRed(image.at(ox, oy - 1))) ++openStyle;
    }
    EXPECT_EQ(closedStyle, 17);
    EXPECT_EQ(openStyle, 0);
}

// Two samples with He 0.40 and 0.55 get clearly different colours (the scale
// spans their values, not 0 to 1), and neither is white (a sample never
// reached).
TEST(MapFigures, GeneDiversityColoursSpanTheSamplesValues) {
    TempFolder folder;
    RiverMap map;
    map.segments = twoReaches();
    map.samples = {{"Low", 1, 10.005, 45.0, 0.40, true, {}}, {"High", 2, 10.015, 45.0, 0.55, true, {}}};
    const std::string png = drawnFigure(folder, "he.png", [&](common::StagingFolder& s, const std::string& n) {
        drawRiverMap(map, s, n, ImageFormat::png);
    });
    const Image image(png);
    const MapFrame frame(map.segments);
    const auto [lx, ly] = frame.toPixel(10.005, 45.0);
    const auto [hx, hy] = frame.toPixel(10.015, 45.0);
    const std::uint32_t low = image.at(lx, ly), high = image.at(hx, hy);
    EXPECT_NE(low, 0xFFFFFFu);
    // From the light end of the ramp to its dark red end.
    EXPECT_GT(green(low) - green(high), 0.5) << std::hex << low << " " << high;
    EXPECT_LT(red(high), 0.7);
}

// Ages between 2,800 and 3,750 generations fill the axis: the youngest bin
// stands at its left end.
TEST(MapFigures, TheAgesAxisCoversTheAges) {
    TempFolder folder;
    std::vector<double> ages;
    for (int i = 0; i < 100; ++i) ages.push_back(2800 + 9.5 * i);
    const std::string png = drawnFigure(folder, "ages.png", [&](common::StagingFolder& s, const std::string& n) {
        drawAgeDistribution(ages, "ages", s, n, ImageFormat::png);
    });
    const Image image(png);
    // The plot spans x 80..870 and y 60..440 (bottom), with 20 bins.
    const double binWidth = (900 - 110) / 20.0;
    EXPECT_TRUE(near(image.at(80 + binWidth / 2, 440 - 3), 0.213, 0.359, 0.552));
    EXPECT_TRUE(near(image.at(870 - binWidth / 2, 440 - 3), 0.213, 0.359, 0.552));
}
