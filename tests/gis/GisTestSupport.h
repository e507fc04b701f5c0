// Small GeoJSON layers for the importer's tests, the import of one into a
// temporary folder, and the drainage read back as the simulator reads it.
#pragma once

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "drainage/Drainage.h"
#include "gis/Import.h"

using namespace fluviagen;

namespace gis_test {

using Line = std::vector<std::pair<double, double>>;

// A FeatureCollection of LineStrings (and MultiLineStrings: several lines in
// one entry), optionally in a coordinate system other than WGS84.
std::string geojsonLines(const std::vector<std::vector<Line>>& features, const std::string& crs = "");
std::string geojsonPoints(const std::vector<std::pair<std::string, std::pair<double, double>>>& points, int size);

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::filesystem::path& path() const { return path_; }
    std::string write(const std::string& name, const std::string& text) const;
    std::vector<std::string> files() const;

private:
    std::filesystem::path path_;
};

std::string readText(const std::filesystem::path& path);

struct Imported {
    gis::ImportResult result;
    std::string report;
    std::unique_ptr<Drainage> drainage;  // read back from the written files
};

// Imports the layer text with the options (input and folder filled in).
Imported importLayer(const TempFolder& folder, const std::string& layerText, gis::ImportOptions options);

struct ProgramRun {
    int status = -1;
    std::string output;
    std::string errors;
};
// Runs fluviagen-import with the arguments in the folder.
ProgramRun runImporter(const std::vector<std::string>& arguments, const std::filesystem::path& folder);
// Runs a program (fluviagen itself: FLUVIAGEN_BINARY) in the folder.
ProgramRun runBinary(const std::string& binary, const std::vector<std::string>& arguments,
                     const std::filesystem::path& folder);

}  // namespace gis_test
