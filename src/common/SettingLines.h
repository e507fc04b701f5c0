// The 41 lines of the settings file: the one table that says which line holds
// which value, its short name, its kind, the values a run can use, the value
// and comment of the shipped river example (examples/river/settings.txt) and
// a one-line meaning. The simulator reads the file by it, `fluviagen
// --list-settings` prints it, and the importer writes its template from it.
//
// Data only (no code to link), so that every program of the project may use
// it: a line is named in code by its enumerator, never by its number.
#pragma once

#include <array>
#include <cstddef>
#include <limits>
#include <string_view>

// The lines in file order: the enumerator's value is the line's number.
enum class Setting : int {
    sources = 1,
    samples,
    nodes,
    segments,
    dynamicFile,
    heading,
    capacity,
    model,
    generations,
    generationTime,
    startBp,
    growthRate,
    overflow,
    overflowRate,
    dynamic,
    entireSimulations,
    geneticSimulations,
    maxBackward,
    dataType,
    independentLoci,
    linkedLoci,
    genotypic,
    mutationRate,
    transitionFraction,
    gammaShape,
    gammaCategories,
    microsatRange,
    microsatStep,
    minSnpFrequency,
    minSnpFrequencySample,
    arpOutput,
    coalescenceImage,
    coalescenceTimes,
    treesOutput,
    mrcaOutput,
    divergenceTime,
    migrationUncolonised,
    migrationColonised,
    upstreamRatio,
    segmentLength,
    endMarker,
};

constexpr int lineOf(Setting s) { return static_cast<int>(s); }
constexpr int settingLineCount = lineOf(Setting::endMarker);

// fileName and the end marker are text lines (cut at "//", blanks removed);
// the heading is skipped whole; the others hold a number as their first word.
enum class SettingKind { fileName, heading, whole, decimal, flag, endMarker };

constexpr std::string_view kindName(SettingKind kind) {
    switch (kind) {
        case SettingKind::fileName:
            return "file name";
        case SettingKind::heading:
            return "heading";
        case SettingKind::whole:
            return "whole";
        case SettingKind::decimal:
            return "decimal";
        case SettingKind::flag:
            return "switch";
        case SettingKind::endMarker:
            return "end marker";
    }
    return "";
}

struct SettingLine {
    Setting id;
    std::string_view name;  // the short name --set takes
    SettingKind kind;
    std::string_view field;  // what the program's messages call the value
    // The values a run can use, for people ("1..32767", "1|2|3|4"); rules
    // that depend on other lines (the data type) are said in words.
    std::string_view range;
    // The same for the program (whole and decimal lines): least .. most,
    // either end excluded when said. Rules that depend on other lines are
    // not here; the settings checks apply them once the file is read.
    double least;
    double most;
    bool leastExcluded;
    bool mostExcluded;
    std::string_view defaultValue;  // the shipped river example's value
    std::string_view meaning;       // one line
    std::string_view comment;       // the shipped river example's comment, after the line's number

    constexpr int line() const { return lineOf(id); }
    constexpr bool holdsValue() const { return kind != SettingKind::heading && kind != SettingKind::endMarker; }
    constexpr bool numeric() const { return kind == SettingKind::whole || kind == SettingKind::decimal; }
};

namespace setting_lines_detail {

constexpr double anyWhole = std::numeric_limits<int>::max();
constexpr double anyDecimal = std::numeric_limits<float>::max();
using S = Setting;
using K = SettingKind;

// Text lines and switches carry no numeric bounds.
constexpr SettingLine text(S id, std::string_view name, K kind, std::string_view field, std::string_view value,
                           std::string_view meaning, std::string_view comment) {
    return {id, name, kind, field, kind == K::flag ? "0|1" : "", 0, 0, false, false, value, meaning, comment};
}
constexpr SettingLine number(S id, std::string_view name, K kind, std::string_view field, std::string_view range,
                             double least, double most, std::string_view value, std::string_view meaning,
                             std::string_view comment, bool leastExcluded = false, bool mostExcluded = false) {
    return {id, name, kind, field, range, least, most, leastExcluded, mostExcluded, value, meaning, comment};
}

}  // namespace setting_lines_detail

inline constexpr std::array<SettingLine, settingLineCount> settingLines = [] {
    using namespace setting_lines_detail;
    return std::array<SettingLine, settingLineCount>{{
        text(S::sources, "sources", K::fileName, "file of the source populations", "sources.txt",
             "source population file", "file of the source populations"),
        text(S::samples, "samples", K::fileName, "file of the samples", "samples_gps.txt", "sample file",
             "file of the samples"),
        text(S::nodes, "nodes", K::fileName, "node file", "river_nodes.txt", "node file", "node file"),
        text(S::segments, "segments", K::fileName, "segment file", "river_segments.txt", "segment file",
             "segment file"),
        text(S::dynamicFile, "dynamic_file", K::fileName, "dynamic environment file", "dynamic.txt",
             "dynamic environment file (read only when line 15 is 1)",
             "dynamic environment (read only when line 15 is 1)"),
        text(S::heading, "heading", K::heading, "heading", "", "any text (a heading)", ""),
        // A segment empty of room would divide by its capacity.
        number(S::capacity, "capacity", K::whole, "carrying capacity", "1..32767", 1, 32767, "100",
               "carrying capacity per segment (1 to 32767)", "carrying capacity per segment"),
        number(S::model, "model", K::whole, "demographic model", "1|2|3|4", 1, 4, "4",
               "demographic model: 1 deterministic, 2 Poisson counts, 3 multinomial split, 4 both",
               "demographic model: 1 deterministic, 2 random counts, 3 random split, 4 both"),
        number(S::generations, "generations", K::whole, "number of generations", "0..2147483647", 0, anyWhole, "1000",
               "number of generations of the forward simulation", "generations of the forward simulation"),
        number(S::generationTime, "generation_time", K::whole, "generation time", "any whole number", -anyWhole - 1,
               anyWhole, "1", "generation time (stored only)", "generation time (years, stored only)"),
        number(S::startBp, "start_bp", K::whole, "start time BP", "any whole number", -anyWhole - 1, anyWhole, "0",
               "start time before present (stored only)", "start time BP (stored only)"),
        number(S::growthRate, "growth_rate", K::decimal, "growth rate", "0 or more", 0, anyDecimal, "0.5",
               "growth rate r", "growth rate"),
        text(S::overflow, "overflow", K::flag, "allow initial density overflow", "0",
             "allow initial density overflow (0/1): a source larger than its segment's capacity spreads over the "
             "neighbours",
             "allow initial density overflow (0/1)"),
        // Outside 0 to 1 the model moves the whole surplus: defined, so not refused.
        number(S::overflowRate, "overflow_rate", K::decimal, "initial density overflow rate", "any number (0..1)",
               -anyDecimal, anyDecimal, "1", "overflow rate (share of the capacity kept before spreading, 0 to 1)",
               "initial density overflow rate (0 to 1)"),
        text(S::dynamic, "dynamic", K::flag, "dynamic environment", "0", "dynamic environment (0/1)",
             "dynamic environment (0 static, 1 dynamic)"),
        // A negative number asks for no entire simulation.
        number(S::entireSimulations, "entire_simulations", K::whole, "number of demographic simulations",
               "any whole number (negative: none)", -anyWhole - 1, anyWhole, "1",
               "number of entire simulations (a second command-line parameter replaces it)", "entire simulations"),
        number(S::geneticSimulations, "genetic_simulations", K::whole, "number of genetic simulations", "1..2147483647",
               1, anyWhole, "100",
               "genetic simulations per entire simulation (at least 1: every output comes from them)",
               "genetic simulations per entire simulation"),
        // No genealogy of more than one gene coalesces in 0 generations.
        number(S::maxBackward, "max_backward", K::whole, "maximum number of coalescent generations", "1..2147483647", 1,
               anyWhole, "100000", "maximum number of backward generations of a genealogy (at least 1)",
               "maximum generations of the coalescent"),
        number(S::dataType, "data_type", K::whole, "data type", "0|1|2|3|4", 0, 4, "2",
               "data type: 0 MICROSAT, 1 RFLP, 2 DNA, 3 STANDARD, 4 SNP",
               "data type: 0 MICROSAT, 1 RFLP, 2 DNA, 3 STANDARD, 4 SNP"),
        number(S::independentLoci, "independent_loci", K::whole, "number of independent loci", "1..2147483647", 1,
               anyWhole, "1", "number of independent loci (more than 1: multilocus mode)", "independent loci"),
        // A locus without sites carries no genetic data.
        number(S::linkedLoci, "linked_loci", K::whole, "number of linked loci", "1..2147483647", 1, anyWhole, "500",
               "number of linked loci (sites) per locus (at least 1)", "linked loci (sites) per locus"),
        text(S::genotypic, "genotypic", K::flag, "genotypic output", "0",
             "genotypic output (1: genes written as diploid individuals)", "genotypic output (1) or haplotypic (0)"),
        number(S::mutationRate, "mutation_rate", K::decimal, "mutation rate",
               "0..1 (SNP: 0 or more; MICROSAT: above 0)", 0, anyDecimal, "0.0005",
               "mutation rate per locus (all its sites) and generation (0 to 1; SNP: 0 or more, it only scales the "
               "trees)",
               "mutation rate per locus and generation"),
        number(S::transitionFraction, "transition_fraction", K::decimal, "transition fraction", "0..1", 0, 1, "0.7",
               "fraction of transitions (DNA)", "fraction of transitions (DNA)"),
        number(S::gammaShape, "gamma_shape", K::decimal, "gamma parameter", "0..1000000", 0, 1e6, "0.5",
               "gamma shape of the rate variation among sites (DNA; 0: none)",
               "gamma shape of the rate variation among sites (DNA; 0: none)"),
        number(S::gammaCategories, "gamma_categories", K::whole, "number of gamma categories", "0..1000", 0, 1000, "4",
               "number of rate categories (DNA; 0: continuous; at most 1000; a handful, 4 to 8, is usual)",
               "number of rate categories (DNA)"),
        number(S::microsatRange, "microsat_range", K::whole, "microsatellite range", "0..2147483647", 0, anyWhole, "0",
               "range constraint of microsatellite alleles (0: none)", "range constraint of microsatellites (0: none)"),
        number(S::microsatStep, "microsat_step", K::decimal, "geometric parameter of microsatellite steps",
               "0 to below 1", 0, 1, "0", "geometric parameter of microsatellite steps (0: single steps)",
               "geometric parameter of microsatellite steps (0: stepwise)", false, true),
        number(S::minSnpFrequency, "min_snp_frequency", K::decimal, "minimum SNP frequency", "any number", -anyDecimal,
               anyDecimal, "0", "minimum frequency of a SNP", "minimum SNP frequency"),
        number(S::minSnpFrequencySample, "min_snp_frequency_sample", K::decimal,
               "minimum SNP frequency within a sample", "any number", -anyDecimal, anyDecimal, "0",
               "minimum frequency of a SNP within at least one sample", "minimum SNP frequency within a sample"),
        text(S::arpOutput, "arp_output", K::flag, "project file output", "1", "write project files (.arp and .arb)",
             "write project files (.arp, .arb)"),
        text(S::coalescenceImage, "coalescence_image", K::flag, "coalescence image output", "0",
             "draw the coalescence map with the maps (coalescence events per km of river)",
             "coalescence image (drawn by fluviagen-map)"),
        text(S::coalescenceTimes, "coalescence_times", K::flag, "coalescence times output", "1",
             "write coalescence times (.coal)", "write coalescence times (.coal)"),
        text(S::treesOutput, "trees_output", K::flag, "genetic trees output", "1",
             "write the genealogies as NEXUS trees (single-locus mode only)",
             "write genealogies (_true.trees, _mut.trees)"),
        text(S::mrcaOutput, "mrca_output", K::flag, "MRCA times output", "1", "write MRCA times (.tmrca)",
             "write MRCA times (.tmrca)"),
        number(S::divergenceTime, "divergence_time", K::whole, "divergence time", "0..2147483647", 0, anyWhole, "500",
               "divergence time of the source populations (generations before generation 0)",
               "divergence time of the source populations (generations)"),
        number(S::migrationUncolonised, "migration_uncolonised", K::decimal, "migration rate of un-colonised segments",
               "0..1", 0, 1, "0.1", "migration rate of un-colonised segments (0 to 1)",
               "migration rate of un-colonised segments"),
        number(S::migrationColonised, "migration_colonised", K::decimal, "migration rate of colonised segments", "0..1",
               0, 1, "0.05", "migration rate of colonised segments (0 to 1)", "migration rate of colonised segments"),
        number(S::upstreamRatio, "upstream_ratio", K::decimal, "upstream migration ratio", "above 0", 0, anyDecimal,
               "1", "upstream migration ratio (1: upstream as likely as downstream)",
               "upstream migration ratio (1: as downstream)", true),
        number(S::segmentLength, "segment_length", K::decimal, "segment length", "0 or more", 0, anyDecimal, "0",
               "resample the drainage to segments of this length in metres (0: as read)",
               "segment length for resampling in metres (0: as read)"),
        text(S::endMarker, "end", K::endMarker, "end marker", "END", "the end marker: the line must contain END", ""),
    }};
}();

// The entry of a line (1 .. 41).
constexpr const SettingLine& settingLine(Setting s) { return settingLines[static_cast<std::size_t>(lineOf(s) - 1)]; }

static_assert(
    [] {
        for (std::size_t i = 0; i < settingLines.size(); ++i)
            if (settingLines[i].line() != static_cast<int>(i) + 1) return false;
        return true;
    }(),
    "the table of settings lines is in line order, one entry per line");
