#include "settings/PlacementRule.h"

#include <array>

namespace fluviagen {

namespace {

constexpr std::array<std::string_view, 2> names = {"nearest", "ratio"};

}  // namespace

std::string_view placementRuleName(PlacementRule rule) { return names[static_cast<std::size_t>(rule)]; }

std::optional<PlacementRule> placementRuleNamed(std::string_view name) {
    if (name == names[0]) return PlacementRule::nearest;
    if (name == names[1]) return PlacementRule::ratio;
    return std::nullopt;
}

std::span<const std::string_view> placementRuleNames() { return names; }

}  // namespace fluviagen
