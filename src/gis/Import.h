// One import: a line layer in, the node, segment, population and settings
// files of a drainage out. Every file is composed in memory first and
// written into a private staging folder; only when all are written are they
// given their names, so a refused, failed or interrupted import leaves
// nothing half written.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "gis/Layer.h"
#include "gis/Network.h"

namespace common {
class SignalCleanup;
}

namespace gis {

struct PointLayerOptions {
    LayerRequest layer;  // path empty: no such file is written
};

struct ImportOptions {
    LayerRequest rivers;
    NetworkOptions network;
    PointLayerOptions samples;
    PointLayerOptions sources;
    std::string nameField = "name";
    std::string sizeField = "size";
    bool bySegment = false;  // populations by segment id instead of coordinates
    // Cut every segment along its line to about this length (metres; 0:
    // keep the segments as built). The template's line 40 stays 0: the
    // drainage written is the one simulated, with the ids written.
    double resample = 0;
    bool networkLayer = false;  // also <prefix>_network.geojson, to look at in a GIS
    std::string folder = ".";
    std::string prefix = "river";
};

struct ImportResult {
    Network network;
    std::vector<std::string> written;  // paths, in the order written
};

// Reads, builds, writes and prints the report. Throws ImportError (nothing
// written) on bad input, on an output that would replace an input, or on a
// file that cannot be written. The files are staged and renamed into place
// together; `cleanup` removes the staged ones should a signal come.
ImportResult runImport(const ImportOptions& options, std::ostream& report, common::SignalCleanup* cleanup = nullptr);

// The file contents, for the tests.
std::string nodeFileText(const Network& network, const std::string& date);
std::string segmentFileText(const Network& network, const std::string& date);
// The oriented segments as a GeoJSON layer (fields SegID, FNode, TreeNode,
// Length), WGS84.
std::string networkGeojson(const Network& network);
// The gaps of the largest dropped parts as a GeoJSON point layer: two points
// per gap (fields Part, Side "dropped" or "kept", Gap and PartLength in
// metres), WGS84.
std::string gapsGeojson(const NetworkReport& report);
std::string settingsText(const std::string& heading, const std::string& sources, const std::string& samples,
                         const std::string& nodes, const std::string& segments);

// The date written into the file headers: now, or SOURCE_DATE_EPOCH when set
// (reproducible files).
std::string headerDate();

}  // namespace gis
