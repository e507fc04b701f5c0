#include "settings/SettingKeys.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "base/NumberText.h"

namespace {

using K = SettingKind;
constexpr std::array<SettingKey, 39> keys{{
    {1, "sources", K::fileName, "file of the source populations"},
    {2, "samples", K::fileName, "file of the samples"},
    {3, "nodes", K::fileName, "node file"},
    {4, "segments", K::fileName, "segment file"},
    {5, "dynamic_file", K::fileName, "dynamic environment file"},
    {7, "capacity", K::whole, "carrying capacity"},
    {8, "model", K::whole, "demographic model"},
    {9, "generations", K::whole, "number of generations"},
    {10, "generation_time", K::whole, "generation time"},
    {11, "start_bp", K::whole, "start time BP"},
    {12, "growth_rate", K::decimal, "growth rate"},
    {13, "overflow", K::flag, "allow initial density overflow"},
    {14, "overflow_rate", K::decimal, "initial density overflow rate"},
    {15, "dynamic", K::flag, "dynamic environment"},
    {16, "entire_simulations", K::whole, "number of demographic simulations"},
    {17, "genetic_simulations", K::whole, "number of genetic simulations"},
    {18, "max_backward", K::whole, "maximum number of coalescent generations"},
    {19, "data_type", K::whole, "data type"},
    {20, "independent_loci", K::whole, "number of independent loci"},
    {21, "linked_loci", K::whole, "number of linked loci"},
    {22, "genotypic", K::flag, "genotypic output"},
    {23, "mutation_rate", K::decimal, "mutation rate"},
    {24, "transition_fraction", K::decimal, "transition fraction"},
    {25, "gamma_shape", K::decimal, "gamma parameter"},
    {26, "gamma_categories", K::whole, "number of gamma categories"},
    {27, "microsat_range", K::whole, "microsatellite range"},
    {28, "microsat_step", K::decimal, "geometric parameter of microsatellite steps"},
    {29, "min_snp_frequency", K::decimal, "minimum SNP frequency"},
    {30, "min_snp_frequency_sample", K::decimal, "minimum SNP frequency within a sample"},
    {31, "arp_output", K::flag, "project file output"},
    {32, "coalescence_image", K::flag, "coalescence image output"},
    {33, "coalescence_times", K::flag, "coalescence times output"},
    {34, "trees_output", K::flag, "genetic trees output"},
    {35, "mrca_output", K::flag, "MRCA times output"},
    {36, "divergence_time", K::whole, "divergence time"},
    {37, "migration_uncolonised", K::decimal, "migration rate of un-colonised segments"},
    {38, "migration_colonised", K::decimal, "migration rate of colonised segments"},
    {39, "upstream_ratio", K::decimal, "upstream migration ratio"},
    {40, "segment_length", K::decimal, "segment length"},
}};

}  // namespace

std::span<const SettingKey> settingKeys() { return keys; }

const SettingKey* findSettingKey(int line) {
    const auto it = std::find_if(keys.begin(), keys.end(), [&](const SettingKey& k) { return k.line == line; });
    return it == keys.end() ? nullptr : &*it;
}

const SettingKey* findSettingKey(std::string_view text) {
    std::int32_t line = 0;
    if (!text.empty() && text.front() >= '0' && text.front() <= '9' &&
        text.find_first_not_of("0123456789") == std::string_view::npos && readNumber(text, line) == NumberProblem::none)
        return findSettingKey(line);
    const auto it = std::find_if(keys.begin(), keys.end(), [&](const SettingKey& k) { return k.name == text; });
    return it == keys.end() ? nullptr : &*it;
}

namespace {

// "'<word>' <what>", built by appending (g++ 12 warns falsely about
// overlapping copies in "'" + std::string).
std::string quoted(std::string_view word, std::string_view what) {
    std::string text(1, '\'');
    text.append(printableWord(word)).append("' ").append(what);
    return text;
}

}  // namespace

std::optional<std::string> settingValueProblem(const SettingKey& key, std::string_view value) {
    const auto problem = [&](auto number, std::string_view range) -> std::optional<std::string> {
        const NumberProblem p = readNumber(value, number);
        if (p == NumberProblem::none) return std::nullopt;
        if (p == NumberProblem::notANumber) return quoted(value, "is not a number");
        return numberProblemText(p, value, range);
    };
    switch (key.kind) {
    case SettingKind::fileName:
        if (value.empty()) return std::string("there is no file name");
        if (value.find_first_of(" \t") != std::string_view::npos)
            return quoted(value, "holds a blank: the settings file cannot hold such a name");
        return std::nullopt;
    case SettingKind::whole:
        return problem(std::int32_t{}, rangeText<std::int32_t>());
    case SettingKind::decimal:
        return problem(float{}, rangeText<float>());
    case SettingKind::flag:
        if (value == "0" || value == "1") return std::nullopt;
        return quoted(value, "must be 0 or 1");
    }
    return std::nullopt;
}
