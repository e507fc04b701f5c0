#include "map/GeoPackageStyle.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>
#include <utility>
#include <vector>

#include "map/Colours.h"

namespace map {

namespace {

using Texts = std::map<std::string, FieldText>;

// The fields every layer shares.
const Texts common{
    {"e",
     {"entire simulation",
      "The entire simulation (demography and its genetic simulations) the feature belongs to, from 1."}},
    {"name", {"name", "The population's name in the population file."}},
    {"segment", {"segment id", "The id of the segment the population stands on."}},
    {"lon", {"longitude", "Longitude of the segment's middle point, decimal degrees (WGS84)."}},
    {"lat", {"latitude", "Latitude of the segment's middle point, decimal degrees (WGS84)."}},
};

const Texts segments{
    {"segment", {"segment id", "The segment's id in the drainage in use (after resampling)."}},
    {"from_node", {"from node", "The id of the node the river flows from."}},
    {"to_node", {"to node", "The id of the node the river flows to."}},
    {"length_m", {"length (m)", "Length of the segment in metres."}},
    {"lon", {"longitude", "Longitude of the segment's middle point, decimal degrees (WGS84)."}},
    {"lat", {"latitude", "Latitude of the segment's middle point, decimal degrees (WGS84)."}},
    {"from_lon", {"from longitude", "Longitude of the from node."}},
    {"from_lat", {"from latitude", "Latitude of the from node."}},
    {"to_lon", {"to longitude", "Longitude of the to node."}},
    {"to_lat", {"to latitude", "Latitude of the to node."}},
    {"first_occupied",
     {"first occupied (generation)",
      "The first generation at whose end the segment held individuals (0: the starting conditions); empty when it "
      "never did."}},
    {"first_at_capacity",
     {"first at capacity (generation)",
      "The first generation at whose end the segment held at least its carrying capacity; empty when it never did."}},
    {"final_size", {"final size", "Individuals in the segment after the last generation."}},
    {"coalescences",
     {"coalescences", "Coalescence events in the segment over every genealogy of the entire simulation."}},
    {"coalescences_per_km", {"coalescences per km", "Coalescence events over the segment's length in km."}},
    {"sources", {"source populations", "Names of the source populations on the segment, joined by ';'."}},
    {"samples", {"samples", "Names of the samples on the segment, joined by ';'."}},
    {"first_closed",
     {"first closed (generation)",
      "The first generation in which the dynamic environment's maps had closed the segment; empty when it stayed "
      "open."}},
    {"closed_at_end",
     {"closed at the end", "1 when the dynamic maps left the segment closed after the last generation, else 0."}},
};

const Texts samples{
    {"genes", {"genes", "Gene copies sampled."}},
    {"alleles", {"alleles", "Distinct haplotypes or alleles, mean over loci and genetic simulations."}},
    {"he",
     {"gene diversity He",
      "Nei's unbiased gene diversity n/(n-1)(1 - sum p^2), mean over loci and genetic simulations."}},
    {"ho",
     {"observed heterozygosity Ho",
      "Share of heterozygous individuals (genotypic output), mean over loci and genetic simulations."}},
    {"ar",
     {"allelic richness", "Allelic richness rarefied to the smallest sample, mean over loci and genetic simulations."}},
    {"segsites", {"segregating sites S", "Segregating sites, all loci together, mean over genetic simulations."}},
    {"pi",
     {"nucleotide diversity (pi)",
      "Mean number of pairwise differences, all loci together, mean over genetic simulations."}},
    {"tajd", {"Tajima's D", "Tajima's D from S and pi, mean over genetic simulations."}},
    {"rep_mean",
     {"mean repeat number",
      "Mean repeat number counted from the locus's common ancestor, mean over loci and genetic simulations."}},
    {"rep_var",
     {"repeat number variance", "Variance (n - 1) of the repeat number, mean over loci and genetic simulations."}},
    {"gw", {"Garza-Williamson M", "Alleles over the range in repeats + 1, mean over loci and genetic simulations."}},
    {"tmrca",
     {"TMRCA (generations)",
      "Age in generations of the sample's most recent common ancestor, mean over loci and genetic simulations."}},
};

std::string rgba(const Colour& c) {
    const auto byte = [](double v) { return std::to_string(static_cast<int>(std::lround(v * 255))); };
    return byte(c.r) + "," + byte(c.g) + "," + byte(c.b) + ",255";
}

std::string number(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

std::string option(const std::string& name, const std::string& value) {
    return "<Option type=\"QString\" name=\"" + name + "\" value=\"" + value + "\"/>";
}

std::string lineSymbol(const std::string& name, const Colour& colour) {
    return "<symbol type=\"line\" name=\"" + name +
           "\" alpha=\"1\" clip_to_extent=\"1\" force_rhr=\"0\"><layer class=\"SimpleLine\" enabled=\"1\" locked=\"0\" "
           "pass=\"0\"><Option type=\"Map\">" +
           option("line_color", rgba(colour)) + option("line_width", "0.66") + option("line_width_unit", "MM") +
           option("capstyle", "round") + option("line_style", "solid") + "</Option></layer></symbol>";
}

std::string markerSymbol(const std::string& name, const std::string& shape, const Colour& fill, const Colour& outline,
                         double size) {
    return "<symbol type=\"marker\" name=\"" + name +
           "\" alpha=\"1\" clip_to_extent=\"1\" force_rhr=\"0\"><layer class=\"SimpleMarker\" enabled=\"1\" "
           "locked=\"0\" pass=\"0\"><Option type=\"Map\">" +
           option("name", shape) + option("color", rgba(fill)) + option("outline_color", rgba(outline)) +
           option("outline_width", "0.4") + option("outline_width_unit", "MM") + option("size", number(size)) +
           option("size_unit", "MM") + "</Option></layer></symbol>";
}

std::string escapedXml(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '"')
            out += "&quot;";
        else
            out += c;
    }
    return out;
}

// A QGIS style: the renderer, and the fields' aliases (QGIS shows them in
// the attribute table and the forms).
std::string document(const std::string& layer, const std::vector<std::string>& fields, const std::string& renderer) {
    std::string aliases = "<aliases>";
    for (std::size_t k = 0; k < fields.size(); ++k)
        aliases += "<alias field=\"" + escapedXml(fields[k]) + "\" index=\"" + std::to_string(k) + "\" name=\"" +
                   escapedXml(describeField(layer, fields[k]).alias) + "\"/>";
    aliases += "</aliases>";
    return "<!DOCTYPE qgis PUBLIC 'http://mrcc.com/qgis.dtd' 'SYSTEM'>\n<qgis version=\"3.28.0\" "
           "styleCategories=\"Symbology|Fields\">\n" +
           renderer + "\n" + aliases + "\n</qgis>\n";
}

// Eight equal classes over [low, high] of attribute `field`, each with the
// symbol `symbol(name, colour)` and the colour of its middle.
template <typename Symbol>
std::string graduated(const std::string& field, double low, double high, int decimals, Colour (*colour)(double),
                      const Symbol& symbol) {
    constexpr int classes = 8;
    if (!(high > low)) high = low + 1;
    std::ostringstream ranges, symbols;
    for (int k = 0; k < classes; ++k) {
        const double lower = low + (high - low) * k / classes, upper = low + (high - low) * (k + 1) / classes;
        char label[96];
        std::snprintf(label, sizeof label, "%.*f - %.*f", decimals, lower, decimals, upper);
        ranges << "<range lower=\"" << number(lower) << "\" upper=\"" << number(upper) << "\" symbol=\"" << k
               << "\" label=\"" << label << "\" render=\"true\"/>";
        symbols << symbol(std::to_string(k), colour((k + 0.5) / classes));
    }
    return "<renderer-v2 type=\"graduatedSymbol\" attr=\"" + field +
           "\" graduatedMethod=\"GraduatedColor\" symbollevels=\"0\" enableorderby=\"0\" forceraster=\"0\">"
           "<ranges>" +
           ranges.str() + "</ranges><symbols>" + symbols.str() +
           "</symbols><mode name=\"equal\"/><legendsettings format=\"%1 - %2\" precision=\"" +
           std::to_string(decimals) + "\" trimtrailingzeroes=\"true\"/></renderer-v2>";
}

Colour earlyToLate(double x) { return ramp(1.0 - x); }

}  // namespace

std::string layerDescription(const std::string& layer) {
    if (layer == "segments")
        return "One line per segment of the drainage and entire simulation: the colonisation (first occupation, "
               "capacity, final size), the coalescences and the closings by the dynamic maps.";
    if (layer == "samples")
        return "One point per sample and entire simulation, at the middle of its segment, with the means of the "
               "statistics table over the genetic simulations.";
    if (layer == "sources")
        return "One point per source population and entire simulation, at the middle of its segment.";
    return "";
}

FieldText describeField(const std::string& layer, const std::string& field) {
    const Texts& own = layer == "segments" ? segments : samples;
    if (layer != "sources")
        if (const auto it = own.find(field); it != own.end()) return it->second;
    if (const auto it = common.find(field); it != common.end()) return it->second;
    return {field, ""};
}

std::string segmentsStyle(const std::vector<std::string>& fields, long firstGeneration, long lastGeneration) {
    return document(
        "segments", fields,
        graduated("first_occupied", static_cast<double>(firstGeneration), static_cast<double>(lastGeneration), 0,
                  &earlyToLate, [](const std::string& name, const Colour& c) { return lineSymbol(name, c); }));
}

std::string samplesStyle(const std::vector<std::string>& fields, double lowDiversity, double highDiversity) {
    return document("samples", fields,
                    graduated("he", lowDiversity, highDiversity, 3, &sampleDiversityRamp,
                              [](const std::string& name, const Colour& c) {
                                  return markerSymbol(name, "circle", c, {0.05, 0.05, 0.05}, 3.2);
                              }));
}

std::string sourcesStyle(const std::vector<std::string>& fields) {
    return document("sources", fields,
                    "<renderer-v2 type=\"singleSymbol\" symbollevels=\"0\" enableorderby=\"0\" forceraster=\"0\">"
                    "<symbols>" +
                        markerSymbol("0", "triangle", {0.05, 0.05, 0.05}, {1, 1, 1}, 4.2) + "</symbols></renderer-v2>");
}

}  // namespace map
