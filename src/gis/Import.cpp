#include "gis/Import.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <limits>
#include <sstream>

#include "common/SettingLines.h"
#include "common/SignalCleanup.h"
#include "common/StagingFolder.h"
#include "gis/Resample.h"

namespace gis {

namespace {

namespace fs = std::filesystem;

std::string fixed(double value, int decimals) {
    std::ostringstream text;
    text << std::fixed << std::setprecision(decimals) << value;
    return text.str();
}

constexpr double farFromNetwork = 1000;  // metres

// The nearest segment of a point and the distance to its line.
int nearestSegment(const Network& network, const LonLat& p, double& distance) {
    const LocalFrame frame(p);
    distance = std::numeric_limits<double>::infinity();
    int best = 0;
    for (const auto& segment : network.segments)
        for (std::size_t i = 1; i < segment.line.size(); ++i) {
            double t = 0;
            const double d = frame.nearestOnPiece(segment.line[i - 1], segment.line[i], t);
            if (d < distance) {
                distance = d;
                best = segment.id;
            }
        }
    return best;
}

// The population file of one point layer; sources carry Resize and Migration.
std::string populationText(const std::vector<PointFeature>& points, const Network& network, bool sources,
                           bool bySegment, const std::string& what, std::ostream& report) {
    std::ostringstream text;
    text << points.size() << "       // number of " << (sources ? "source populations" : "samples") << "\n"
         << (bySegment ? 0 : 1) << "       // 0: given by segment id, 1: by longitude and latitude\n"
         << "Name\t" << (sources ? "Size" : "Genes") << (bySegment ? "\tSegID" : "\tLon\tLat")
         << (sources ? "\tResize\tMigration" : "") << "\n";
    std::vector<std::string> holder(network.segments.size() + 1);
    report << "  " << what << ":\n";
    for (const auto& point : points) {
        const long long lowest = sources ? 1 : 0;
        if (point.size < lowest || point.size > 32767)
            throw ImportError(what + " '" + point.name + "': the size " + std::to_string(point.size) + " is not from " +
                              std::to_string(lowest) + " to 32767");
        double distance = 0;
        const int segment = nearestSegment(network, point.where, distance);
        report << "    " << point.name << "  segment " << segment << ", " << std::llround(distance) << " m away";
        // A point this far off lies on no river of the network, perhaps on a
        // dropped component.
        if (distance > farFromNetwork) report << "  WARNING: far from every kept river";
        report << "\n";
        text << point.name << "\t" << point.size;
        if (bySegment) {
            if (!holder[segment].empty())
                throw ImportError(what + " '" + holder[segment] + "' and '" + point.name +
                                  "' are nearest to the same segment " + std::to_string(segment) +
                                  ", which can hold only one of them by segment id (leave out --by-segment)");
            holder[segment] = point.name;
            text << "\t" << segment;
        } else {
            text << "\t" << fixed(point.where.lon, 6) << "\t" << fixed(point.where.lat, 6);
        }
        text << (sources ? "\t0\t0" : "") << "\n";
    }
    return text.str();
}

ImportError cannotWrite(const fs::path& path, const std::string& why) {
    std::string message = "'";
    message += path.string();
    message += "' cannot be written";
    message += why;
    return ImportError(message);
}

struct Output {
    fs::path path;
    std::string text;
};

// An output that would replace one of the inputs (the same file, by its real
// path: links and "./" resolved) is refused before anything is written.
void checkNotAnInput(const std::vector<Output>& outputs, const ImportOptions& options) {
    for (const std::string* input : {&options.rivers.path, &options.samples.layer.path, &options.sources.layer.path}) {
        if (input->empty()) continue;
        std::error_code error;
        const fs::path real = fs::weakly_canonical(*input, error);
        if (error) continue;
        for (const auto& output : outputs) {
            const fs::path target = fs::weakly_canonical(output.path, error);
            if (!error && target == real)
                throw ImportError("'" + output.path.string() + "' would replace the input '" + *input +
                                  "': choose another --prefix or --dir");
        }
    }
}

// Writes every file into a private staging folder inside the output folder,
// then renames them all into place together. A name taken by something that
// is no regular file is found before any write; a failure or a signal
// (through `cleanup`) leaves no file of this call.
void writeAll(const std::vector<Output>& outputs, common::SignalCleanup* cleanup) {
    for (const auto& output : outputs) {
        std::error_code error;
        if (fs::exists(output.path, error) && !fs::is_regular_file(output.path, error))
            throw cannotWrite(output.path, " (it is no regular file)");
    }
    if (outputs.empty()) return;
    common::StagingFolder staging(outputs.front().path.parent_path().string(), "fluviagen-import", cleanup);
    for (const auto& output : outputs) {
        const int fd = staging.create(output.path.filename().string());
        int error = common::writeAll(fd, output.text.data(), output.text.size());
        if (::close(fd) != 0 && error == 0) error = errno;
        if (error != 0) throw cannotWrite(output.path, std::string(" (") + std::strerror(error) + ")");
    }
    try {
        staging.commit();
    } catch (const common::OutputError& e) {
        throw ImportError(e.what());
    }
}

void checkPrefix(const std::string& prefix) {
    if (prefix.empty()) throw ImportError("the prefix of the file names is empty");
    for (char c : prefix)
        if (c == ' ' || c == '\t' || c == '/' || c == '\\' || c == '\n' || c == '\r')
            throw ImportError("the prefix '" + prefix + "' must be one word without blanks or slashes");
    if (prefix.find("//") != std::string::npos) throw ImportError("the prefix '" + prefix + "' holds '//'");
}

}  // namespace

std::string headerDate() {
    std::time_t now = std::time(nullptr);
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch != nullptr && *epoch != '\0')
        now = static_cast<std::time_t>(std::strtoll(epoch, nullptr, 10));
    std::tm parts{};
    gmtime_r(&now, &parts);
    char text[64];
    std::strftime(text, sizeof text, "%a %b %d %H:%M:%S %Y", &parts);
    return text;
}

std::string nodeFileText(const Network& network, const std::string& date) {
    std::ostringstream text;
    text << "Title: file with all nodes (WGS84)\nDate: " << date << "\nNodes: " << network.nodes.size()
         << "\nNodeID\tLon\tLat\n";
    for (const auto& node : network.nodes)
        text << node.id << "\t" << fixed(node.where.lon, 6) << "\t" << fixed(node.where.lat, 6) << "\n";
    return text.str();
}

std::string segmentFileText(const Network& network, const std::string& date) {
    std::ostringstream text;
    text << "Title: file with all segments\nDate: " << date << "\nSegments: " << network.segments.size()
         << "\nSegID\tFNode\tTNode\tLength\tLon\tLat\t\n";
    for (const auto& s : network.segments)
        text << s.id << "\t" << s.from << "\t" << s.to << "\t" << fixed(s.length, 1) << "\t" << fixed(s.middle.lon, 6)
             << "\t" << fixed(s.middle.lat, 6) << "\n";
    return text.str();
}

std::string networkGeojson(const Network& network) {
    std::ostringstream text;
    text << "{\"type\":\"FeatureCollection\",\"name\":\"network\",\"features\":[\n";
    for (const auto& s : network.segments) {
        text << (s.id > 1 ? ",\n" : "") << "{\"type\":\"Feature\",\"properties\":{\"SegID\":" << s.id
             << ",\"FNode\":" << s.from << ",\"TNode\":" << s.to << ",\"Length\":" << fixed(s.length, 1)
             << "},\"geometry\":{\"type\":\"LineString\",\"coordinates\":[";
        for (std::size_t i = 0; i < s.line.size(); ++i)
            text << (i > 0 ? "," : "") << "[" << fixed(s.line[i].lon, 7) << "," << fixed(s.line[i].lat, 7) << "]";
        text << "]}}";
    }
    text << "\n]}\n";
    return text.str();
}

std::string gapsGeojson(const NetworkReport& report) {
    std::ostringstream text;
    text << "{\"type\":\"FeatureCollection\",\"name\":\"gaps\",\"features\":[\n";
    bool first = true;
    for (std::size_t i = 0; i < report.largestDropped.size(); ++i) {
        const DroppedPart& part = report.largestDropped[i];
        for (const bool dropped : {true, false}) {
            const LonLat& p = dropped ? part.gap.onPart : part.gap.onNetwork;
            text << (first ? "" : ",\n") << "{\"type\":\"Feature\",\"properties\":{\"Part\":" << i + 1 << ",\"Side\":\""
                 << (dropped ? "dropped" : "kept") << "\",\"Gap\":" << fixed(part.gap.distance, 1)
                 << ",\"PartLength\":" << fixed(part.length, 1)
                 << "},\"geometry\":{\"type\":\"Point\",\"coordinates\":[" << fixed(p.lon, 7) << "," << fixed(p.lat, 7)
                 << "]}}";
            first = false;
        }
    }
    text << "\n]}\n";
    return text.str();
}

std::string settingsText(const std::string& heading, const std::string& sources, const std::string& samples,
                         const std::string& nodes, const std::string& segments) {
    std::string flat = heading;
    for (char& c : flat)
        if (c == '\n' || c == '\r') c = ' ';
    // Every line as the shipped river example writes it (value, then the
    // line's number and comment), with this basin's files; line 40 is 0, as
    // the importer has already cut the segments to their length.
    std::ostringstream text;
    for (const SettingLine& line : settingLines) {
        std::string value(line.defaultValue);
        switch (line.id) {
            case Setting::sources:
                value = sources;
                break;
            case Setting::samples:
                value = samples;
                break;
            case Setting::nodes:
                value = nodes;
                break;
            case Setting::segments:
                value = segments;
                break;
            case Setting::segmentLength:
                value = std::string(1, '0');
                break;  // cut already
            default:
                break;
        }
        if (line.id == Setting::heading) {
            text << "////// " << flat << "\n";
        } else if (line.id == Setting::endMarker) {
            text << value << "\n";
        } else {
            if (value.size() < 20) value.resize(20, ' ');
            text << value << "// " << std::setw(2) << line.line() << " " << line.comment << "\n";
        }
    }
    return text.str();
}

ImportResult runImport(const ImportOptions& options, std::ostream& report, common::SignalCleanup* cleanup) {
    checkPrefix(options.prefix);
    if (!(options.resample >= 0) || !std::isfinite(options.resample))
        throw ImportError("the resampling length must be 0 or more metres");
    if (!(options.network.tolerance > 0) || !std::isfinite(options.network.tolerance))
        throw ImportError("the snapping tolerance must be a distance above 0 metres");
    const fs::path folder(options.folder.empty() ? "." : options.folder);
    if (!fs::is_directory(folder)) throw ImportError("the output folder '" + folder.string() + "' does not exist");

    const LineLayer layer = readLineLayer(options.rivers);
    ImportResult result;
    result.network = buildNetwork(layer.lines, options.network);
    if (options.resample > 0) {
        const int built = static_cast<int>(result.network.segments.size());
        result.network = resampleNetwork(result.network, options.resample);
        result.network.report.resampledFrom = built;
    }
    const Network& network = result.network;
    const NetworkReport& r = network.report;

    const double km = 1000;
    report << "fluviagen-import: layer '" << layer.layerName << "' of '" << options.rivers.path << "'"
           << (options.rivers.where.empty() ? "" : ", filter '" + options.rivers.where + "'") << "\n"
           << "  coordinate system " << layer.coordinateSystem << ", reprojected to WGS84 longitude/latitude\n"
           << "  lines read        " << r.linesIn << " from " << layer.features << " features";
    if (layer.multiParts > 0) report << " (" << layer.multiParts << " of them parts of multi-lines)";
    if (layer.otherGeometries > 0) report << "; " << layer.otherGeometries << " features without a line skipped";
    report << "\n"
           << "  ends snapped      " << r.endsSnapped << " (tolerance " << options.network.tolerance << " m)\n"
           << "  lines split       " << r.linesSplit << " at " << r.splitPoints << " confluences inside a line\n"
           << "  pieces dropped    " << r.zeroLength << " without length, " << r.duplicates << " duplicates\n"
           << "  components        " << r.components << ": kept the outlet's, dropped " << r.droppedComponents << " ("
           << r.droppedPieces << " pieces, " << fixed(r.droppedLength / km, 3) << " km)\n";
    // Where to bridge: a reservoir or a border left out of the layer splits
    // the network, and the shortest gaps show where.
    if (!r.largestDropped.empty())
        report
            << "  largest dropped   length, then the shortest gap to the kept network (from the part to the network)\n";
    for (std::size_t i = 0; i < r.largestDropped.size(); ++i) {
        const DroppedPart& part = r.largestDropped[i];
        report << "    " << std::setw(2) << i + 1 << "  " << std::setw(10) << fixed(part.length / km, 3) << " km in "
               << part.pieces << (part.pieces == 1 ? " piece" : " pieces") << ", gap " << fixed(part.gap.distance, 0)
               << " m from " << fixed(part.gap.onPart.lon, 6) << "," << fixed(part.gap.onPart.lat, 6) << " to "
               << fixed(part.gap.onNetwork.lon, 6) << "," << fixed(part.gap.onNetwork.lat, 6) << "\n";
    }
    report << "  loops             " << r.loops << (r.loops > 0 ? " (kept), closed near" : "");
    // The first ten are enough to find them in a GIS.
    const std::size_t shown = std::min<std::size_t>(r.loopPlaces.size(), 10);
    for (std::size_t i = 0; i < shown; ++i)
        report << " " << fixed(r.loopPlaces[i].lon, 5) << "," << fixed(r.loopPlaces[i].lat, 5);
    if (r.loopPlaces.size() > shown) report << " and " << r.loopPlaces.size() - shown << " more";
    report << "\n"
           << "  direction         "
           << (options.network.digitisedDirection
                   ? "as digitised"
                   : "toward the outlet along the network; " + std::to_string(r.againstDigitised) +
                         " segments flow against their digitised direction")
           << "\n"
           << "  outlet            node 1 at " << fixed(network.nodes.front().where.lon, 6) << ","
           << fixed(network.nodes.front().where.lat, 6) << ", " << fixed(r.outletOffset, 1)
           << " m from the point given\n"
           << "  total length      " << fixed(r.totalLength / km, 3) << " km in " << network.segments.size()
           << " segments between " << network.nodes.size() << " nodes\n";
    if (r.resampledFrom > 0)
        report << "  resampled         " << r.resampledFrom << " segments cut along their lines into "
               << network.segments.size() << " of about " << options.resample
               << " m (settings line 40 stays 0: the ids written are the ids simulated)\n";
    report << "  bounding box      longitude " << fixed(r.lowest.lon, 6) << " to " << fixed(r.highest.lon, 6)
           << ", latitude " << fixed(r.lowest.lat, 6) << " to " << fixed(r.highest.lat, 6) << "\n";

    const std::string date = headerDate();
    const std::string nodes = options.prefix + "_nodes.txt";
    const std::string segments = options.prefix + "_segments.txt";
    const std::string samples = options.prefix + "_samples.txt";
    const std::string sources = options.prefix + "_sources.txt";
    const std::string settings = options.prefix + "_settings.txt";
    std::vector<Output> outputs{{folder / nodes, nodeFileText(network, date)},
                                {folder / segments, segmentFileText(network, date)}};
    const auto points = [&](const PointLayerOptions& layerOptions, bool isSources, const std::string& file) {
        if (layerOptions.layer.path.empty()) return;
        const auto features = readPointLayer(layerOptions.layer, options.nameField, options.sizeField);
        outputs.push_back({folder / file, populationText(features, network, isSources, options.bySegment,
                                                         isSources ? "source" : "sample", report)});
    };
    points(options.sources, true, sources);
    points(options.samples, false, samples);
    if (options.networkLayer) {
        outputs.push_back({folder / (options.prefix + "_network.geojson"), networkGeojson(network)});
        outputs.push_back({folder / (options.prefix + "_gaps.geojson"), gapsGeojson(r)});
    }
    outputs.push_back({folder / settings, settingsText(options.prefix + " imported from " + options.rivers.path,
                                                       sources, samples, nodes, segments)});
    checkNotAnInput(outputs, options);
    writeAll(outputs, cleanup);
    report << "  written           ";
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        result.written.push_back(outputs[i].path.string());
        report << (i > 0 ? ", " : "") << outputs[i].path.filename().string();
    }
    report << " in " << folder.string() << "\n";
    if (options.sources.layer.path.empty() || options.samples.layer.path.empty())
        report << "  to do             the settings name " << (options.sources.layer.path.empty() ? sources : "")
               << (options.sources.layer.path.empty() && options.samples.layer.path.empty() ? " and " : "")
               << (options.samples.layer.path.empty() ? samples : "")
               << ": write them (or give point layers with --sources and --samples)\n";
    return result;
}

}  // namespace gis
