// The tables fluviagen writes for the other programs and for its users'
// scripts, each declared once: the end of its file name, its separator, and
// every column by name and kind, in file order. The writers take their header
// rows and key names from here and the readers find their columns by these
// names, so a column renamed, added or moved changes both sides at once.
//
//   "<set>_segments.csv"      one row per segment of the drainage in use
//   "<set>_colonisation.csv"  one row per forward generation (0 .. G)
//   "<set>_mapinfo.csv"       key,value rows: what the map program needs besides
//   "<set>_stats.tsv"         the summary statistics of every sample and
//                             genetic simulation ("NA" where undefined)
//
// "<set>" is the output set, followed by "_<e>" (zero padded) for the first
// three when a call holds several entire simulations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace common {

// What a field holds. An empty field of an "OrEmpty" kind means "never" or
// "not defined"; the statistics write "NA" instead.
enum class FieldKind : std::uint8_t {
    whole,  // a whole number
    wholeOrEmpty,
    wholeOrNA,
    real,  // a decimal number, finite
    realOrEmpty,
    realOrNA,
    flag,  // 0 or 1
    text,  // any text; CSV quotes it when it holds a separator, a quote or a line end
};

struct FieldDeclaration {
    std::string_view name;
    FieldKind kind;
};

struct TableDeclaration {
    std::string_view suffix;  // the end of the file name, after "<set>"
    char separator;
    std::span<const FieldDeclaration> columns;
    // A reader needs the first `requiredColumns` columns; the later ones may
    // be absent (a table of a program that did not write them yet).
    std::size_t requiredColumns;

    // The header row: the names joined by the separator, with its line end.
    std::string headerLine() const;
};

// The columns of "_segments.csv", by their position.
struct SegmentsColumn {
    enum : std::size_t {
        segment,
        fromNode,
        toNode,
        length,
        lon,
        lat,
        fromLon,
        fromLat,
        toLon,
        toLat,
        firstOccupied,
        firstAtCapacity,
        finalSize,
        coalescences,
        coalescencesPerKm,
        sources,
        samples,
        firstClosed,
        closedAtEnd,
        count
    };
};
inline constexpr FieldDeclaration segmentsColumns[] = {
    {"segment", FieldKind::whole},    // the segment's id in the drainage files
    {"from_node", FieldKind::whole},  // the node it flows from
    {"to_node", FieldKind::whole},    // the node it flows to
    {"length_m", FieldKind::real},    // metres
    {"lon", FieldKind::real},         // its middle point, degrees
    {"lat", FieldKind::real},
    {"from_lon", FieldKind::real},
    {"from_lat", FieldKind::real},
    {"to_lon", FieldKind::real},
    {"to_lat", FieldKind::real},
    {"first_occupied", FieldKind::wholeOrEmpty},      // generation; empty: never
    {"first_at_capacity", FieldKind::wholeOrEmpty},   // generation; empty: never
    {"final_size", FieldKind::whole},                 // individuals at the last generation
    {"coalescences", FieldKind::whole},               // over the genealogies of the entire simulation
    {"coalescences_per_km", FieldKind::realOrEmpty},  // empty on a segment without length
    {"sources", FieldKind::text},                     // names joined by ';'
    {"samples", FieldKind::text},
    {"first_closed", FieldKind::wholeOrEmpty},  // generation the dynamic maps first closed it; empty: never
    {"closed_at_end", FieldKind::flag},
};
static_assert(std::size(segmentsColumns) == SegmentsColumn::count);
inline constexpr TableDeclaration segmentsTable{"_segments.csv", ',', segmentsColumns, SegmentsColumn::firstClosed};

struct ColonisationColumn {
    enum : std::size_t { generation, occupiedSegments, totalSize, migrants, count };
};
inline constexpr FieldDeclaration colonisationColumns[] = {
    {"generation", FieldKind::whole},
    {"occupied_segments", FieldKind::whole},
    {"total_size", FieldKind::whole},  // individuals over the drainage
    {"migrants", FieldKind::whole},
};
static_assert(std::size(colonisationColumns) == ColonisationColumn::count);
inline constexpr TableDeclaration colonisationTable{"_colonisation.csv", ',', colonisationColumns,
                                                    ColonisationColumn::count};

// "_mapinfo.csv" is a table of keys and values; its keys are declared as
// fields, in the order they are written. A reader ignores keys it does not
// know.
inline constexpr FieldDeclaration mapInfoColumns[] = {{"key", FieldKind::text}, {"value", FieldKind::text}};
inline constexpr TableDeclaration mapInfoTable{"_mapinfo.csv", ',', mapInfoColumns, 2};
struct MapInfoKey {
    enum : std::size_t {
        set,
        entireSimulation,
        entireSimulations,
        generations,
        capacity,
        coalescenceImage,
        geneticSimulations,
        ratePerSite,
        trees,
        count
    };
};
inline constexpr FieldDeclaration mapInfoKeys[] = {
    {"set", FieldKind::text},                  // the output set
    {"entire_simulation", FieldKind::whole},   // this one, from 1
    {"entire_simulations", FieldKind::whole},  // of the call
    {"generations", FieldKind::whole},         // forward generations
    {"capacity", FieldKind::whole},            // individuals per segment
    {"coalescence_image", FieldKind::flag},    // the coalescence map is asked for
    {"genetic_simulations", FieldKind::whole},
    {"rate_per_site", FieldKind::real},  // mutation rate per site and generation of the tree files
    {"trees", FieldKind::text},          // the tree file beside the tables; empty: none written
};
static_assert(std::size(mapInfoKeys) == MapInfoKey::count);

// "_stats.tsv": one row per sample (and one "*" row of all genes) of every
// genetic simulation, appended to by every entire simulation of a call.
struct StatisticsColumn {
    enum : std::size_t {
        entire,
        simulation,
        sample,
        segment,
        genes,
        alleles,
        he,
        ho,
        ar,
        segsites,
        pi,
        tajd,
        repMean,
        repVar,
        gw,
        tmrca,
        count
    };
};
inline constexpr FieldDeclaration statisticsColumns[] = {
    {"e", FieldKind::whole},                                          // the entire simulation, from 1
    {"sim", FieldKind::whole},                                        // the genetic simulation, from 1
    {"sample", FieldKind::text},      {"seg", FieldKind::wholeOrNA},  // the sample's segment id
    {"genes", FieldKind::wholeOrNA},  {"alleles", FieldKind::realOrNA}, {"he", FieldKind::realOrNA},  // gene diversity
    {"ho", FieldKind::realOrNA},      {"ar", FieldKind::realOrNA},      {"segsites", FieldKind::wholeOrNA},
    {"pi", FieldKind::realOrNA},      {"tajd", FieldKind::realOrNA},    {"rep_mean", FieldKind::realOrNA},
    {"rep_var", FieldKind::realOrNA}, {"gw", FieldKind::realOrNA},      {"tmrca", FieldKind::realOrNA},
};
static_assert(std::size(statisticsColumns) == StatisticsColumn::count);
inline constexpr TableDeclaration statisticsTable{"_stats.tsv", '\t', statisticsColumns, StatisticsColumn::count};

// A text field as CSV writes it: quoted, with its quotes doubled, when it
// holds a comma, a quote or a line end; as it is otherwise.
std::string csvField(std::string_view text);

}  // namespace common
