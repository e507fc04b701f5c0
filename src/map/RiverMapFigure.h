// The river map: the river coloured by the generation each segment was first
// occupied (or by the coalescence events per km), segments closed by the
// dynamic maps marked, sources and samples marked and named, a scale bar, a
// north arrow and a legend.
#pragma once

#include <string>
#include <vector>

#include "map/Canvas.h"
#include "map/MapData.h"
#include "map/MapFrame.h"

namespace map {

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

// Draws the map into the file `name` of the staging folder (see render).
void drawRiverMap(const RiverMap& map, common::StagingFolder& staging, const std::string& name, ImageFormat format);

}  // namespace map
