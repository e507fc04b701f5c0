// How a population given by a point (coordinate mode of a population file)
// finds its river segment. The command line chooses it (--placement); the
// population reader applies it and the run record names it.
//
//   nearest  the segment at the smallest distance from the point, measured
//            to its two straight halves (drainage/SegmentDistance.h)
//   ratio    the segment with the smallest half-segment ratio (distance to
//            one end plus distance to the middle point, over the half's
//            length); it favours long segments and is kept for reproducing
//            studies placed with it
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace fluviagen {

enum class PlacementRule : std::int8_t { nearest, ratio };

// The rule's name on the command line and in the run record.
std::string_view placementRuleName(PlacementRule rule);
// The rule of that name; none for any other text.
std::optional<PlacementRule> placementRuleNamed(std::string_view name);
// Every name, the default first.
std::span<const std::string_view> placementRuleNames();

}  // namespace fluviagen
