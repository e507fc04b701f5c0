// fluviagen-import: turns a GIS line layer into the drainage files of a
// simulation (see gis/Import.h).
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

#include "common/CommandLineParse.h"
#include "common/SignalCleanup.h"
#include "common/Error.h"
#include "common/Version.h"
#include "gis/Import.h"

namespace {

// "LON,LAT" in decimal degrees.
bool parseOutlet(const std::string& text, gis::LonLat& outlet) {
    std::istringstream in(text);
    char comma = 0;
    if (!(in >> outlet.lon >> comma >> outlet.lat) || comma != ',') return false;
    in >> std::ws;
    return in.eof() && outlet.lon >= -180 && outlet.lon <= 360 && outlet.lat >= -90 && outlet.lat <= 90;
}

// Longer than half the earth's circumference no distance between two
// points is, and no river segment should be.
constexpr double greatestDistance = 20000e3;  // metres

// A distance in metres given on the command line: a finite decimal number
// above 0 (or 0 itself where that means "off") and at most
// greatestDistance; an empty value is refused, not read as 0.
CLI::Validator metres(bool zeroMeansOff) {
    return CLI::Validator(
        [zeroMeansOff](std::string& text) -> std::string {
            const std::string expected =
                zeroMeansOff ? "0 or a distance in metres up to 20000000" : "a distance above 0 metres, up to 20000000";
            if (text.empty()) return "the value is empty; expected " + expected;
            char* end = nullptr;
            errno = 0;
            const double value = std::strtod(text.c_str(), &end);
            if (end != text.c_str() + text.size() || !std::isfinite(value) || errno == ERANGE)
                return "'" + text + "' is not a number; expected " + expected;
            if (value < 0 || (value == 0 && !zeroMeansOff) || value > greatestDistance)
                return "'" + text + "' is out of range; expected " + expected;
            return "";
        },
        zeroMeansOff ? "METRES (0: off)" : "METRES > 0");
}

}  // namespace

int main(int argc, char** argv) {
    gis::ImportOptions options;
    std::string outlet;
    CLI::App app{
        "fluviagen-import: builds the node and segment files of a drainage from a GIS line layer (any format and\n"
        "coordinate system GDAL reads), and from optional point layers the source population and sample files,\n"
        "with a settings file that names them. Line ends within the tolerance are joined, lines are cut where\n"
        "another line ends on them, pieces without length and repeated pieces are dropped, the connected part\n"
        "holding the outlet is kept, and every segment flows toward the outlet.",
        "fluviagen-import"};
    app.set_version_flag("-V,--version", "fluviagen-import " + common::programVersion());
    app.add_option("input", options.rivers.path, "the line layer's data set (GeoPackage, shapefile, GeoJSON, ...)")
        ->required();
    app.add_option("-l,--layer", options.rivers.layer, "the layer, by name (needed when the data set holds several)");
    app.add_option("-w,--where", options.rivers.where, "attribute filter of the lines, e.g. \"ORD_STRA >= 3\"");
    app.add_option("-o,--outlet", outlet, "the mouth of the network as LON,LAT (WGS84 degrees): a line end")
        ->required();
    app.add_option("-t,--tolerance", options.network.tolerance,
                   "line ends closer than this join (metres above 0; also the reach of the outlet)")
        ->check(metres(false))
        ->capture_default_str();
    app.add_flag("-f,--force", options.network.force, "accept a tolerance above a quarter of the median line length");
    app.add_flag("-d,--digitised", options.network.digitisedDirection,
                 "every line flows as it was digitised (default: toward the outlet along the network)");
    app.add_option("-s,--samples", options.samples.layer.path, "data set of the sample points");
    app.add_option("--samples-layer", options.samples.layer.layer, "their layer, by name");
    app.add_option("-S,--sources", options.sources.layer.path, "data set of the source population points");
    app.add_option("--sources-layer", options.sources.layer.layer, "their layer, by name");
    app.add_option("-n,--name-field", options.nameField, "the points' name field")->capture_default_str();
    app.add_option("-z,--size-field", options.sizeField, "the points' size field (individuals, or genes of a sample)")
        ->capture_default_str();
    app.add_flag("-b,--by-segment", options.bySegment,
                 "give populations by segment id (default: by longitude and latitude)");
    app.add_option("-r,--resample", options.resample,
                   "cut every segment along its line into pieces of about this length (metres; 0: as built)")
        ->check(metres(true))
        ->capture_default_str();
    app.add_flag(
        "-g,--geojson", options.networkLayer,
        "also write <prefix>_network.geojson, the oriented segments with their ids, and <prefix>_gaps.geojson,\n"
        "the ends of the gaps between the kept network and the largest dropped parts, to look at in a GIS");
    app.add_option("-D,--dir", options.folder, "folder of the written files (it must exist)")->capture_default_str();
    app.add_option("-p,--prefix", options.prefix, "start of the written file names: <prefix>_nodes.txt, ...")
        ->capture_default_str();
    if (const auto status = common::parseOrEnd(app, argc, argv, "fluviagen-import")) return *status;
    if (!parseOutlet(outlet, options.network.outlet)) {
        std::cerr << "fluviagen-import: --outlet '" << outlet
                  << "' is not LON,LAT in decimal degrees (e.g. 25.41,43.63)" << std::endl;
        return common::exitFailure;
    }
    // Before GDAL starts any thread: they inherit the blocked signals, which
    // only the cleanup's thread takes.
    common::SignalCleanup cleanup([](int sig) {
        return "fluviagen-import: interrupted by " + common::signalName(sig) + "; its unfinished files were removed.";
    });
    try {
        gis::runImport(options, std::cout, &cleanup);
    } catch (const gis::ImportError& e) {
        std::cerr << "fluviagen-import: " << e.what() << "; nothing written." << std::endl;
        return common::exitFailure;
    } catch (const std::exception& e) {
        std::cerr << "fluviagen-import: " << e.what() << "; nothing written." << std::endl;
        return common::exitFailure;
    }
    return 0;
}
