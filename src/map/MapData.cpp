#include "map/MapData.h"

#include "common/ExchangeTables.h"
#include "common/TableReader.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <tuple>
#include <sstream>

namespace map {

namespace fs = std::filesystem;

using common::Table;

namespace {

std::string where(const std::string& path, int line) { return "'" + path + "', line " + std::to_string(line); }

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::vector<std::string> splitNames(const std::string& names) {
    std::vector<std::string> out;
    std::stringstream stream(names);
    std::string name;
    while (std::getline(stream, name, ';'))
        if (!name.empty()) out.push_back(name);
    return out;
}

// A row that would put a segment outside the globe or give it a negative
// id, length or count is refused: it would be drawn somewhere meaningless
// or stretch the map's frame to nothing.
void checkSegment(const SegmentRow& s, const std::string& path, int line) {
    const auto refuse = [&](const std::string& what) { throw MapError(where(path, line) + ": " + what); };
    for (const auto& [value, column] :
         {std::pair{s.id, "segment"}, std::pair{s.fromNode, "from_node"}, std::pair{s.toNode, "to_node"},
          std::pair{s.finalSize, "final_size"}, std::pair{s.coalescences, "coalescences"}})
        if (value < 0) refuse("column " + std::string(column) + " holds " + std::to_string(value) + ", below 0");
    if (s.length < 0) refuse("the length is below 0");
    for (const auto& [lon, lat, what] :
         {std::tuple{s.lon, s.lat, "middle point"}, std::tuple{s.fromLon, s.fromLat, "from node"},
          std::tuple{s.toLon, s.toLat, "to node"}}) {
        if (lon < -180 || lon > 360)
            refuse(std::string("the longitude of the ") + what + " is not from -180 to 360 degrees");
        if (lat < -90 || lat > 90)
            refuse(std::string("the latitude of the ") + what + " is not from -90 to 90 degrees");
    }
}

}  // namespace

std::vector<SegmentRow> readSegments(const std::string& path) {
    using Column = common::SegmentsColumn;
    const Table t = common::readTable(path, common::segmentsTable.separator);
    std::vector<std::optional<std::size_t>> c = common::declaredColumns(t, common::segmentsTable);
    // The dynamic maps' closings come as a pair.
    const bool closings = c[Column::firstClosed].has_value();
    if (closings) c[Column::closedAtEnd] = t.column(common::segmentsColumns[Column::closedAtEnd].name);
    std::vector<SegmentRow> rows;
    std::set<long> ids;
    for (std::size_t r = 0; r < t.rows.size(); ++r) {
        const int line = t.lines[r];
        const auto get = [&](std::size_t k) -> const std::string& { return t.rows[r][*c[k]]; };
        const auto real = [&](std::size_t k) { return t.number<double>(r, *c[k]); };
        const auto whole = [&](std::size_t k) { return t.number<long>(r, *c[k]); };
        SegmentRow s;
        s.id = whole(Column::segment);
        s.fromNode = whole(Column::fromNode);
        s.toNode = whole(Column::toNode);
        s.length = real(Column::length);
        s.lon = real(Column::lon);
        s.lat = real(Column::lat);
        s.fromLon = real(Column::fromLon);
        s.fromLat = real(Column::fromLat);
        s.toLon = real(Column::toLon);
        s.toLat = real(Column::toLat);
        s.firstOccupied = t.optionalNumber<long>(r, *c[Column::firstOccupied]);
        s.firstAtCapacity = t.optionalNumber<long>(r, *c[Column::firstAtCapacity]);
        s.finalSize = whole(Column::finalSize);
        s.coalescences = whole(Column::coalescences);
        s.coalescencesPerKm = t.optionalNumber<double>(r, *c[Column::coalescencesPerKm]);
        s.sources = get(Column::sources);
        s.samples = get(Column::samples);
        if (closings) {
            s.firstClosed = t.optionalNumber<long>(r, *c[Column::firstClosed]);
            const long closed = whole(Column::closedAtEnd);
            if (closed != 0 && closed != 1)
                throw MapError(where(path, line) + ": column closed_at_end holds " + std::to_string(closed) +
                               ", not 0 or 1");
            s.closedAtEnd = closed == 1;
        }
        checkSegment(s, path, line);
        if (!ids.insert(s.id).second)
            throw MapError(where(path, line) + ": segment " + std::to_string(s.id) + " is listed a second time");
        rows.push_back(std::move(s));
    }
    return rows;
}

std::vector<CurveRow> readCurve(const std::string& path) {
    using Column = common::ColonisationColumn;
    const Table t = common::readTable(path, common::colonisationTable.separator);
    const auto c = common::declaredColumns(t, common::colonisationTable);
    std::vector<CurveRow> rows;
    for (std::size_t r = 0; r < t.rows.size(); ++r)
        rows.push_back({t.number<long>(r, *c[Column::generation]), t.number<long>(r, *c[Column::occupiedSegments]),
                        t.number<long>(r, *c[Column::totalSize]), t.number<long>(r, *c[Column::migrants])});
    return rows;
}

MapInfo readMapInfo(const std::string& path) {
    using Key = common::MapInfoKey;
    const Table t = common::readTable(path, common::mapInfoTable.separator);
    const auto c = common::declaredColumns(t, common::mapInfoTable);
    const auto is = [](const std::string& key, std::size_t which) { return key == common::mapInfoKeys[which].name; };
    MapInfo info;
    for (std::size_t r = 0; r < t.rows.size(); ++r) {
        const std::string& key = t.rows[r][*c[0]];
        const std::string& value = t.rows[r][*c[1]];
        const int line = t.lines[r];
        const auto number = [&]<typename T>(T) { return common::numberField<T>(value, t.where(r), key); };
        if (is(key, Key::set)) info.set = value;
        if (is(key, Key::entireSimulation)) info.entire = number(int{});
        if (is(key, Key::entireSimulations)) info.entireCount = number(int{});
        if (is(key, Key::generations)) info.generations = number(long{});
        if (is(key, Key::capacity)) info.capacity = number(long{});
        if (is(key, Key::coalescenceImage)) info.coalescenceImage = number(int{}) != 0;
        if (is(key, Key::ratePerSite)) info.ratePerSite = number(double{});
        if (is(key, Key::trees)) info.trees = value;
        if (is(key, Key::set) && !isPlainSetName(value))
            throw MapError(where(path, line) + ": the set '" + value.substr(0, 80) +
                           "' is not a plain file-name word (no folder, no leading '.', no control "
                           "characters)");
        if (is(key, Key::trees) && !value.empty() && !isPlainSetName(value))
            throw MapError(where(path, line) + ": the tree file '" + value.substr(0, 80) +
                           "' is not a plain file name in the tables' folder");
    }
    if (info.entireCount < 1 || info.entire < 1 || info.entire > info.entireCount)
        throw MapError("'" + path + "': entire simulation " + std::to_string(info.entire) + " of " +
                       std::to_string(info.entireCount) + " is not possible");
    if (info.generations < 0) throw MapError("'" + path + "': the generations are below 0");
    return info;
}

bool isPlainSetName(const std::string& name) {
    if (name.empty() || name[0] == '.') return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return c == '/' || c == '\\' || u < 0x20 || u == 0x7f;
    });
}

std::string setNameOf(const TableSet& tables, const MapInfo& info) {
    std::string set = tables.base;
    if (info.entireCount > 1) {
        // "<set>_<e>", the entire simulation's number zero padded.
        const auto underscore = set.rfind('_');
        const std::string digits = underscore == std::string::npos ? "" : set.substr(underscore + 1);
        const bool numbered = !digits.empty() && std::all_of(digits.begin(), digits.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c));
        });
        if (!numbered || std::stol(digits.substr(0, 9)) != info.entire || underscore == 0)
            throw MapError("'" + tables.path("_segments.csv") + "': the tables of entire simulation " +
                           std::to_string(info.entire) + " of " + std::to_string(info.entireCount) +
                           " are named \"<set>_" + std::to_string(info.entire) + "_segments.csv\"");
        set.resize(underscore);
    }
    if (!isPlainSetName(set))
        throw MapError("'" + tables.path("_segments.csv") + "': the set '" + set + "' is not a plain file-name word");
    return set;
}

void checkCurve(const std::vector<CurveRow>& curve, std::optional<long> generations, const std::string& path) {
    for (std::size_t i = 0; i < curve.size(); ++i)
        if (curve[i].generation != static_cast<long>(i))
            throw MapError("'" + path + "': row " + std::to_string(i + 1) + " holds generation " +
                           std::to_string(curve[i].generation) + " where generation " + std::to_string(i) +
                           " was expected (one row per generation from 0, in order)");
    if (curve.empty()) throw MapError("'" + path + "' holds no generation");
    if (generations && static_cast<long>(curve.size()) != *generations + 1)
        throw MapError("'" + path + "' ends at generation " + std::to_string(curve.back().generation) +
                       " where the map information says " + std::to_string(*generations) +
                       " generations: the table is cut short");
    for (const CurveRow& row : curve)
        if (row.occupied < 0 || row.size < 0 || row.migrants < 0)
            throw MapError("'" + path + "': generation " + std::to_string(row.generation) + " holds a count below 0");
}

namespace {

std::vector<NamedPoint> pointsOf(const std::vector<SegmentRow>& segments, std::string SegmentRow::*names) {
    std::vector<NamedPoint> points;
    for (const auto& s : segments)
        for (const auto& name : splitNames(s.*names))
            points.push_back({name, s.id, s.lon, s.lat, std::nullopt, s.firstOccupied.has_value(), {}});
    return points;
}

}  // namespace

std::vector<NamedPoint> samplePoints(const std::vector<SegmentRow>& segments) {
    return pointsOf(segments, &SegmentRow::samples);
}

std::vector<NamedPoint> sourcePoints(const std::vector<SegmentRow>& segments) {
    return pointsOf(segments, &SegmentRow::sources);
}

SampleMeans readSampleMeans(const std::string& path, int entire) {
    using Column = common::StatisticsColumn;
    const auto name = [](std::size_t column) { return common::statisticsColumns[column].name; };
    const Table t = common::readTable(path, common::statisticsTable.separator);
    const std::size_t e = t.column(name(Column::entire)), sample = t.column(name(Column::sample));
    // Every column of numbers (and "NA") but those that say which row it is.
    std::vector<std::size_t> kept;
    for (std::size_t c = 0; c < t.header.size(); ++c) {
        const std::string& header = t.header[c];
        if (header == name(Column::entire) || header == name(Column::simulation) || header == name(Column::sample) ||
            header == name(Column::segment))
            continue;
        const bool numeric = std::all_of(t.rows.begin(), t.rows.end(), [&](const auto& row) {
            return row[c] == "NA" || common::strictNumber<double>(row[c]).has_value();
        });
        if (numeric) kept.push_back(c);
    }
    SampleMeans statistics;
    for (const std::size_t c : kept) statistics.columns.push_back(t.header[c]);
    std::map<std::string, std::map<std::string, std::pair<double, int>>> sums;
    for (std::size_t r = 0; r < t.rows.size(); ++r) {
        const auto& f = t.rows[r];
        if (t.number<long>(r, e) != entire) continue;
        for (const std::size_t c : kept) {
            if (f[c] == "NA") continue;
            auto& [sum, count] = sums[f[sample]][t.header[c]];
            sum += t.number<double>(r, c);
            ++count;
        }
    }
    for (const auto& [sampleName, columns] : sums)
        for (const auto& [column, sc] : columns) statistics.means[sampleName][column] = sc.first / sc.second;
    return statistics;
}

std::map<std::string, double> readDiversity(const std::string& path, int entire) {
    const SampleMeans statistics = readSampleMeans(path, entire);
    if (std::find(statistics.columns.begin(), statistics.columns.end(), "he") == statistics.columns.end())
        throw MapError("'" + path + "': the header has no column 'he' of numbers");
    std::map<std::string, double> means;
    for (const auto& [name, columns] : statistics.means)
        if (const auto it = columns.find("he"); it != columns.end()) means[name] = it->second;
    return means;
}

namespace {

// The height of a Newick tree: the longest path from the root to a leaf,
// summing the ":length" of every node on it.
double newickHeight(const std::string& text, const std::string& path, int line) {
    // Per open parenthesis the deepest path below it so far; a closed group's
    // depth plus its own branch length is offered to its parent.
    std::vector<double> deepest{0.0};
    double pending = 0;  // depth of the item just closed (a leaf is 0)
    std::size_t i = 0;
    const auto fail = [&](const std::string& what) { throw MapError(where(path, line) + ": " + what); };
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '(') {
            deepest.push_back(0.0);
            pending = 0;
        } else if (c == ':') {
            std::size_t j = i + 1;
            while (j < text.size() && (std::isdigit(static_cast<unsigned char>(text[j])) || text[j] == '.' ||
                                       text[j] == 'e' || text[j] == 'E' || text[j] == '-' || text[j] == '+'))
                ++j;
            pending += common::numberField<double>(text.substr(i + 1, j - i - 1), where(path, line), "branch length");
            i = j - 1;
        } else if (c == ',' || c == ')') {
            if (deepest.size() < 2) fail("the tree's parentheses do not match");
            deepest.back() = std::max(deepest.back(), pending);
            if (c == ')') {
                pending = deepest.back();
                deepest.pop_back();
            } else {
                pending = 0;
            }
        } else if (c == ';') {
            break;
        }
    }
    if (deepest.size() != 1) fail("the tree's parentheses do not match");
    return pending;
}

}  // namespace

std::vector<double> readTreeAges(const std::string& path, double ratePerSite) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw MapError("'" + path + "' cannot be read");
    if (!(ratePerSite > 0))
        throw MapError("'" + path +
                       "': the branch lengths cannot be turned into generations "
                       "without a positive rate per site");
    std::vector<double> ages;
    std::string text;
    int line = 0;
    while (std::getline(in, text)) {
        ++line;
        const auto tree = text.find("tree ");
        const auto open = text.find('(');
        if (tree == std::string::npos || open == std::string::npos || tree > open) continue;
        ages.push_back(newickHeight(text.substr(open), path, line) / ratePerSite);
    }
    return ages;
}

std::vector<TableSet> findTableSets(const std::string& argument) {
    const std::string suffix(common::segmentsTable.suffix);
    std::vector<TableSet> sets;
    const auto add = [&](const fs::path& file) {
        const std::string name = file.filename().string();
        std::string folder = file.parent_path().string();
        if (!folder.empty() && folder.back() != '/') folder += '/';
        sets.push_back({folder, name.substr(0, name.size() - suffix.size())});
    };
    std::error_code error;
    if (fs::is_directory(argument, error)) {
        for (const auto& entry : fs::directory_iterator(argument, error))
            if (entry.is_regular_file() && endsWith(entry.path().filename().string(), suffix)) add(entry.path());
    } else if (endsWith(argument, suffix) && fs::is_regular_file(argument, error)) {
        add(argument);
    } else {
        // An output set: its own tables and those of its numbered entire
        // simulations ("<set>_<digits>_segments.csv").
        const fs::path set(argument);
        const fs::path folder = set.has_parent_path() ? set.parent_path() : fs::path(".");
        const std::string stem = set.filename().string();
        for (const auto& entry : fs::directory_iterator(folder, error)) {
            const std::string name = entry.path().filename().string();
            if (!entry.is_regular_file() || !endsWith(name, suffix) || name.rfind(stem, 0) != 0) continue;
            const std::string middle = name.substr(stem.size(), name.size() - stem.size() - suffix.size());
            const bool numbered = middle.size() > 1 && middle[0] == '_' &&
                                  std::all_of(middle.begin() + 1, middle.end(),
                                              [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
            if (middle.empty() || numbered) add(set.has_parent_path() ? entry.path() : fs::path(name));
        }
        // The completion record of the set names the tables its last call
        // wrote: tables an earlier call left (of more entire simulations)
        // are not drawn again.
        std::ifstream record(folder / (stem + ".complete"));
        if (record) {
            std::vector<std::string> listed;
            for (std::string line; std::getline(record, line);) listed.push_back(line);
            std::erase_if(sets, [&](const TableSet& t) {
                return std::find(listed.begin(), listed.end(), t.base + suffix) == listed.end();
            });
        }
    }
    std::sort(sets.begin(), sets.end(), [](const TableSet& a, const TableSet& b) { return a.base < b.base; });
    if (sets.empty())
        throw MapError("'" + argument +
                       "' names no output folder, output set or \"_segments.csv\" file with "
                       "demography tables (fluviagen writes them with the output group csv)");
    return sets;
}

}  // namespace map
