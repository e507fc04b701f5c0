#include "gis/GisTestSupport.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <algorithm>

#include "drainage/readers/DrainageFiles.h"

using namespace fluviagen;

namespace fs = std::filesystem;

namespace gis_test {

namespace {

std::string coordinates(const Line& line) {
    std::ostringstream text;
    text << std::setprecision(15) << "[";
    for (std::size_t i = 0; i < line.size(); ++i)
        text << (i > 0 ? "," : "") << "[" << line[i].first << "," << line[i].second << "]";
    return text.str() + "]";
}

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

}  // namespace

std::string geojsonLines(const std::vector<std::vector<Line>>& features, const std::string& crs) {
    std::ostringstream text;
    text << "{\"type\":\"FeatureCollection\",\"name\":\"rivers\",";
    if (!crs.empty()) text << "\"crs\":{\"type\":\"name\",\"properties\":{\"name\":\"" << crs << "\"}},";
    text << "\"features\":[";
    for (std::size_t f = 0; f < features.size(); ++f) {
        text << (f > 0 ? "," : "") << "{\"type\":\"Feature\",\"properties\":{\"id\":" << f + 1 << "},\"geometry\":";
        if (features[f].size() == 1) {
            text << "{\"type\":\"LineString\",\"coordinates\":" << coordinates(features[f][0]) << "}}";
        } else {
            text << "{\"type\":\"MultiLineString\",\"coordinates\":[";
            for (std::size_t p = 0; p < features[f].size(); ++p)
                text << (p > 0 ? "," : "") << coordinates(features[f][p]);
            text << "]}}";
        }
    }
    return text.str() + "]}\n";
}

std::string geojsonPoints(const std::vector<std::pair<std::string, std::pair<double, double>>>& points, int size) {
    std::ostringstream text;
    text << std::setprecision(15) << "{\"type\":\"FeatureCollection\",\"name\":\"points\",\"features\":[";
    for (std::size_t i = 0; i < points.size(); ++i)
        text << (i > 0 ? "," : "") << "{\"type\":\"Feature\",\"properties\":{\"name\":\"" << points[i].first
             << "\",\"size\":" << size << "},\"geometry\":{\"type\":\"Point\",\"coordinates\":["
             << points[i].second.first << "," << points[i].second.second << "]}}";
    return text.str() + "]}\n";
}

TempFolder::TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "fluviagen-gis-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string TempFolder::write(const std::string& name, const std::string& text) const {
    std::ofstream(path_ / name, std::ios::binary) << text;
    return (path_ / name).string();
}

std::vector<std::string> TempFolder::files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

Imported importLayer(const TempFolder& folder, const std::string& layerText, gis::ImportOptions options) {
    options.rivers.path = folder.write("rivers.geojson", layerText);
    options.folder = folder.path().string();
    options.prefix = "river";
    Imported imported;
    std::ostringstream report;
    imported.result = gis::runImport(options, report);
    imported.report = report.str();
    imported.drainage =
        readDrainage((folder.path() / "river_nodes.txt").string(), (folder.path() / "river_segments.txt").string());
    return imported;
}

ProgramRun runImporter(const std::vector<std::string>& arguments, const fs::path& folder) {
    return runBinary(FLUVIAGEN_IMPORT_BINARY, arguments, folder);
}

ProgramRun runBinary(const std::string& binary, const std::vector<std::string>& arguments, const fs::path& folder) {
    const fs::path out = folder / "stdout.log";
    const fs::path err = folder / "stderr.log";
    std::string command = "cd ";
    command += quoted(folder.string());
    command += " && ";
    command += quoted(binary);
    for (const auto& a : arguments) {
        command += ' ';
        command += quoted(a);
    }
    command += " > ";
    command += quoted(out.string());
    command += " 2> ";
    command += quoted(err.string());
    ProgramRun run;
    const int status = std::system(command.c_str());
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.output = readText(out);
    run.errors = readText(err);
    fs::remove(out);
    fs::remove(err);
    return run;
}

}  // namespace gis_test
