// What the GeoPackage says about itself: a description per layer, an alias
// and a description per field (for the gpkg_data_columns table), and a
// default QGIS style per layer (QML, for the layer_styles table QGIS reads),
// drawn as the PNG map of the same run is.
#pragma once

#include <string>
#include <vector>

namespace map {

struct FieldText {
    std::string alias;        // a short human name, e.g. "gene diversity He"
    std::string description;  // one sentence
};

// The layer's description: what one feature is.
std::string layerDescription(const std::string& layer);
// The alias and description of a field of a layer ("segments", "samples" or
// "sources"); a field not known gets its name and no description.
FieldText describeField(const std::string& layer, const std::string& field);

// The styles. Segments: lines coloured by the generation of first
// occupation in eight equal classes from `firstGeneration` to
// `lastGeneration` (the range of the PNG map, yellow early to dark blue
// late). Samples: circles coloured by gene diversity "he" in eight classes
// over [lowDiversity, highDiversity]. Sources: black triangles. Each
// style also gives the aliases of the layer's fields (in their order).
std::string segmentsStyle(const std::vector<std::string>& fields, long firstGeneration, long lastGeneration);
std::string samplesStyle(const std::vector<std::string>& fields, double lowDiversity, double highDiversity);
std::string sourcesStyle(const std::vector<std::string>& fields);

}  // namespace map
