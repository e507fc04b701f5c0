// The figures of the map program, drawn with cairo as PNG or SVG: the river
// coloured by the generation each segment was first occupied (or by the
// coalescence events per km), with sources and samples marked and named, a
// scale bar, a north arrow and a legend; the colonisation curve; the
// distribution of genealogy ages. Each function creates the file it is
// given and refuses one that exists (the map program draws into a private
// staging folder and puts the files in place together).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "map/MapData.h"

enum class ImageFormat { png, svg };

// Where longitude and latitude land on the map: an equirectangular
// projection about the drainage's middle latitude (a kilometre is as long
// east-west as north-south), fitted into the plot area with a margin.
class MapFrame {
public:
    static constexpr double legendWidth = 270;
    static constexpr double titleHeight = 44;
    static constexpr double margin = 36;

    explicit MapFrame(const std::vector<SegmentRow>& segments);
    std::pair<double, double> toPixel(double lon, double lat) const;
    double metresPerPixel() const { return metresPerPixel_; }
    int width() const { return width_; }
    int height() const { return height_; }
    // The right edge of the plot area (the legend begins there).
    double plotRight() const { return plotRight_; }

private:
    double lon0_ = 0, lat0_ = 0, cosLat_ = 1, scale_ = 1, offsetX_ = 0, offsetY_ = 0;
    double metresPerPixel_ = 1, plotRight_ = 0;
    int width_ = 0, height_ = 0;
};

enum class MapColouring { colonisation, coalescence };

struct RiverMap {
    std::vector<SegmentRow> segments;
    std::vector<NamedPoint> samples;  // with their diversity when the statistics table exists
    std::vector<NamedPoint> sources;
    MapColouring colouring = MapColouring::colonisation;
    std::string title;
};

// The width of the river's lines in pixels: a share of the typical spacing
// between lines of the drawn river (plot area over drawn length), so that a
// river of a hundred segments is drawn boldly and one of a hundred thousand
// stays readable, held between 0.35 and 4 pixels.
double riverLineWidth(const std::vector<SegmentRow>& segments, const MapFrame& frame);

void drawRiverMap(const RiverMap& map, const std::string& path, ImageFormat format);
void drawColonisationCurve(const std::vector<CurveRow>& curve, const std::string& title, const std::string& path,
                           ImageFormat format);
void drawAgeDistribution(const std::vector<double>& ages, const std::string& title, const std::string& path,
                         ImageFormat format);

// Frees the font caches of cairo and fontconfig, which live for the process
// otherwise (and would be reported by the leak checker of the sanitizer
// build). Drawing after it starts them again.
void releaseDrawingCaches();
