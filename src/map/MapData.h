// What the map program reads: the demography tables fluviagen writes for an
// entire simulation ("<base>_segments.csv", "<base>_colonisation.csv",
// "<base>_mapinfo.csv"), the statistics table of the output set when there is
// one ("<set>_stats.tsv") and the genealogies of "<set>_true.trees". The
// tables are declared in common/ExchangeTables.h and read by
// common/TableReader.h. Every reader throws a common::InputError (MapError
// for the checks of this program) naming the file (and line) and what is
// wrong.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/Error.h"

namespace map {

class MapError : public common::InputError {
public:
    using common::InputError::InputError;
};

struct SegmentRow {
    long id = 0;
    long fromNode = 0;
    long toNode = 0;
    double length = 0;  // metres
    double lon = 0, lat = 0;
    double fromLon = 0, fromLat = 0, toLon = 0, toLat = 0;
    std::optional<long> firstOccupied;
    std::optional<long> firstAtCapacity;
    long finalSize = 0;
    long coalescences = 0;
    std::optional<double> coalescencesPerKm;
    std::string sources;  // names joined by ';'
    std::string samples;
    std::optional<long> firstClosed;  // by the dynamic environment's maps
    bool closedAtEnd = false;
};

struct CurveRow {
    long generation = 0;
    long occupied = 0;
    long size = 0;
    long migrants = 0;
};

struct MapInfo {
    std::string set;
    int entire = 1;
    int entireCount = 1;
    long generations = 0;
    long capacity = 0;
    bool coalescenceImage = false;
    double ratePerSite = 0;
    std::string trees;  // file name in the same folder; empty when none was written
};

// Every row is checked: numbers where numbers belong, ids 0 or more and each
// segment once, longitudes from -180 to 360 and latitudes from -90 to 90.
std::vector<SegmentRow> readSegments(const std::string& path);
std::vector<CurveRow> readCurve(const std::string& path);
// Checks that the curve holds one row per generation 0, 1, ... in order,
// through `generations` when it is known (a table cut short is refused).
void checkCurve(const std::vector<CurveRow>& curve, std::optional<long> generations, const std::string& path);
// The set and tree file names it holds must be plain file-name words.
MapInfo readMapInfo(const std::string& path);

// A plain file-name word: not empty, no leading '.', no '/' or '\', no
// control characters. Output names are made of such words only.
bool isPlainSetName(const std::string& name);

// A named point: a sample or a source, at the middle of its segment.
struct NamedPoint {
    std::string name;
    long segment = 0;
    double lon = 0, lat = 0;
    std::optional<double> diversity;           // mean gene diversity over the genetic simulations
    bool occupied = true;                      // its segment held individuals at some generation
    std::map<std::string, double> statistics;  // means of the statistics table's columns
};
std::vector<NamedPoint> samplePoints(const std::vector<SegmentRow>& segments);
std::vector<NamedPoint> sourcePoints(const std::vector<SegmentRow>& segments);

// The statistics table of an output set, per sample name: the mean of every
// numeric column over the rows of entire simulation `entire` (column "e"),
// values "NA" left out; a column holding anything but numbers and "NA" is
// left out. The columns in file order (without e, sim, sample and seg).
struct SampleMeans {
    std::vector<std::string> columns;
    std::map<std::string, std::map<std::string, double>> means;  // [sample][column]
};
SampleMeans readSampleMeans(const std::string& path, int entire);
// The means of column "he" alone.
std::map<std::string, double> readDiversity(const std::string& path, int entire);

// The age of every genealogy of a NEXUS tree file in generations: the height
// of its root above its deepest leaf, in branch-length units, over the rate
// per site and generation the branch lengths were scaled with.
std::vector<double> readTreeAges(const std::string& path, double ratePerSite);

// The tables of one entire simulation: folder + base + "_segments.csv" etc.
struct TableSet {
    std::string folder;  // with its final '/' (or empty)
    std::string base;    // "<set>" or "<set>_<e>"
    std::string path(const std::string& suffix) const { return folder + base + suffix; }
};

// The output set a table set belongs to, from its file name alone: "<set>"
// or, with several entire simulations, "<set>_<e>" (checked against the
// map information). Never taken from inside a table, since it names the
// files written. Throws MapError when it is not a plain file-name word.
std::string setNameOf(const TableSet& tables, const MapInfo& info);

// The table sets an argument names: a folder (every set in it), an output set
// ("<folder>/<set>": that set and its numbered entire simulations, only those
// its completion record "<set>.complete" lists when there is one) or one
// "_segments.csv" file. Sorted by name; throws MapError when there is none.
std::vector<TableSet> findTableSets(const std::string& argument);

}  // namespace map
