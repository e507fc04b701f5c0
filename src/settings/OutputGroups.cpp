#include "settings/OutputGroups.h"

#include <algorithm>
#include <array>

namespace fluviagen {

namespace {

// In the order of the enumeration.
constexpr std::array<std::string_view, 7> groupNames{"vcf", "genepop", "fasta", "stats", "csv", "maps", "gpkg"};

}  // namespace

std::span<const std::string_view> OutputGroups::names() { return groupNames; }

bool OutputGroups::known(std::string_view name) {
    return std::find(groupNames.begin(), groupNames.end(), name) != groupNames.end();
}

std::string_view OutputGroups::nameOf(OutputGroup group) { return groupNames[static_cast<std::size_t>(group)]; }

bool OutputGroups::byDefault(OutputGroup group, std::int32_t entireSimulations) {
    return group == OutputGroup::stats || group == OutputGroup::csv || entireSimulations == 1;
}

bool OutputGroups::enabled(OutputGroup group, std::int32_t entireSimulations) const {
    const auto it = forced_.find(nameOf(group));
    return it == forced_.end() ? byDefault(group, entireSimulations) : it->second;
}

std::vector<std::string> OutputGroups::enabledNames(std::int32_t entireSimulations) const {
    std::vector<std::string> on;
    for (std::size_t i = 0; i < groupNames.size(); ++i)
        if (enabled(static_cast<OutputGroup>(i), entireSimulations)) on.emplace_back(groupNames[i]);
    return on;
}

}  // namespace fluviagen
