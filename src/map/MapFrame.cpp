#include "map/MapFrame.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "common/Geometry.h"

namespace map {

MapFrame::MapFrame(const std::vector<SegmentRow>& segments) {
    double minLon = std::numeric_limits<double>::max(), maxLon = -minLon, minLat = minLon, maxLat = -minLon;
    for (const auto& s : segments)
        for (const auto& [lon, lat] : {std::pair{s.fromLon, s.fromLat}, std::pair{s.toLon, s.toLat}}) {
            minLon = std::min(minLon, lon);
            maxLon = std::max(maxLon, lon);
            minLat = std::min(minLat, lat);
            maxLat = std::max(maxLat, lat);
        }
    if (segments.empty()) minLon = maxLon = minLat = maxLat = 0;
    lat0_ = (minLat + maxLat) / 2;
    lon0_ = (minLon + maxLon) / 2;
    cosLat_ = std::max(std::cos(lat0_ * std::numbers::pi / 180), 0.01);
    // The drawn extent in degrees of latitude; a single point gets 0.01.
    const double spanX = std::max((maxLon - minLon) * cosLat_, 1e-6);
    const double spanY = std::max(maxLat - minLat, 1e-6);
    const double span = std::max(spanX, spanY);
    const double sx = std::max(spanX, span * 0.25), sy = std::max(spanY, span * 0.25);
    constexpr double longest = 1100;  // pixels of the plot area's longer side
    scale_ = longest / std::max(sx, sy);
    const double plotW = sx * scale_, plotH = sy * scale_;
    width_ = static_cast<int>(std::ceil(plotW + 2 * margin + legendWidth));
    height_ = static_cast<int>(std::ceil(std::max(plotH + 2 * margin + titleHeight, 560.0)));
    plotRight_ = plotW + 2 * margin;
    offsetX_ = margin + plotW / 2;
    offsetY_ = titleHeight + margin + (height_ - titleHeight - 2 * margin) / 2;
    // A pixel spans 1/scale degrees of latitude (and as many metres east,
    // the longitudes being shrunk by cos of the central latitude).
    metresPerPixel_ = common::metresPerDegreeLat(lat0_) / scale_;
}

std::pair<double, double> MapFrame::toPixel(double lon, double lat) const {
    return {offsetX_ + (lon - lon0_) * cosLat_ * scale_, offsetY_ - (lat - lat0_) * scale_};
}

}  // namespace map
