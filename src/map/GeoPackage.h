// The GeoPackage of an output set, written with GDAL: layer "segments" (one
// line string per segment and entire simulation, with every column of the
// segments table and the entire simulation "e"), layer "samples" and layer
// "sources" (one point per population and entire simulation, at the middle of
// its segment; samples with field "he" and, when the statistics table exists,
// the mean of each of its columns over the genetic simulations).
// Coordinates are longitude and latitude (EPSG:4326).
#pragma once

#include <string>
#include <vector>

#include "map/MapData.h"

namespace map {

struct GeoPackageEntire {
    int entire = 1;
    std::vector<SegmentRow> segments;
    std::vector<NamedPoint> samples;
    std::vector<NamedPoint> sources;
    std::vector<std::string> statisticsColumns;  // the statistics table's columns, in file order
};

// Creates path (a name ending in ".gpkg" that does not exist; the map
// program gives one inside its private staging folder). Throws MapError
// naming the file when GDAL cannot.
void writeGeoPackage(const std::string& path, const std::vector<GeoPackageEntire>& entireSimulations);

}  // namespace map
