#include "settings/OutputGroups.h"

#include <algorithm>
#include <array>

namespace {

// vcf, genepop, fasta: genotype files per genetic simulation; stats: the
// summary-statistics tables; csv: the demography tables; maps, gpkg: the
// drawings and the GeoPackage of the map program.
constexpr std::array<std::string_view, 7> groupNames{"vcf", "genepop", "fasta", "stats", "csv", "maps", "gpkg"};

}  // namespace

std::span<const std::string_view> OutputGroups::names() { return groupNames; }

bool OutputGroups::known(std::string_view name) {
    return std::find(groupNames.begin(), groupNames.end(), name) != groupNames.end();
}

bool OutputGroups::byDefault(std::string_view name, std::int32_t entireSimulations) {
    return name == "stats" || name == "csv" || entireSimulations == 1;
}

std::vector<std::string> OutputGroups::enabledNames(std::int32_t entireSimulations) const {
    std::vector<std::string> on;
    for (const std::string_view name : groupNames)
        if (enabled(name, byDefault(name, entireSimulations))) on.emplace_back(name);
    return on;
}
