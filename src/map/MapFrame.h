// Where longitude and latitude land on the river map: an equirectangular
// projection about the drainage's middle latitude (a kilometre is as long
// east-west as north-south), fitted into the plot area with a margin.
#pragma once

#include <utility>
#include <vector>

#include "map/MapData.h"

namespace map {

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

}  // namespace map
