// Reading GIS layers through GDAL: the lines of a line layer and the points
// of a point layer, in WGS84 longitude and latitude whatever coordinate
// system the layer is in.
#pragma once

#include <string>
#include <vector>

#include "gis/Geodesy.h"

namespace gis {

struct LayerRequest {
    std::string path;   // anything GDAL opens as vector data
    std::string layer;  // by name; empty: the only layer of the data set
    std::string where;  // attribute filter (OGR SQL), empty: every feature
};

struct LineLayer {
    std::string layerName;
    std::string coordinateSystem;  // its name, for the report
    int features = 0;              // features with a line geometry
    int multiParts = 0;            // lines that came from multi-part geometries
    int otherGeometries = 0;       // features without a line (points, polygons, empty)
    std::vector<Polyline> lines;   // multi-part geometries exploded
};

// Throws ImportError when the data set or the layer cannot be opened, the
// filter is not understood, the layer has no coordinate system or no line.
LineLayer readLineLayer(const LayerRequest& request);

struct PointFeature {
    std::string name;  // one word: blanks became '_'
    long long size = 0;
    LonLat where;
};

// The points of a point layer with their name and size fields. Throws
// ImportError for a missing field, a feature without a point, a name that is
// empty or a size that is not a whole number.
std::vector<PointFeature> readPointLayer(const LayerRequest& request, const std::string& nameField,
                                         const std::string& sizeField);

}  // namespace gis
