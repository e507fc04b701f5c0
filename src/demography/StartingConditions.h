// Starting conditions of a forward demographic simulation: capacities, the
// source populations placed on their segments (spread over the neighbouring
// segments when they are larger than their segment may hold), generation 0 of
// the database.
#pragma once

#include <cstdint>
#include <functional>

#include "demography/State.h"

namespace fluviagen {

class Segment;
class Drainage;
class PopulationSource;
class PopulationVector;

// The source populations of the colonisation, read from their file on first
// use: the reading prints its own lines in the middle of the starting
// conditions.
using SourcePopulations = std::function<const PopulationVector&()>;
class StateDB;
class Settings;

// Every segment back to K = -1, N = 0, BilanMigr = 0, no growth remainder.
void resetAllStates(SegmentStates& states);
void setCapacity(SegmentStates& states, std::int16_t K);

// The starting conditions of one demographic simulation: capacities, the
// source populations placed, generation 0 stored in the database. A database
// just built (freshDatabase) is all zeros already; otherwise it and the
// segments' states are cleared first. `states` gets one entry per segment.
void setStartingConditions(Drainage& drainage, SegmentStates& states, StateDB& database,
                           const SourcePopulations& sources, const Settings& settings, bool freshDatabase);

// Places `size` individuals of `population` on `segment`: up to overflowRate
// x K stay (overflowRate: the share of a segment's capacity that a source
// may fill before the rest spills over), the rest is shared out evenly among
// the empty neighbours, which spread their share on in turn, depth first. A neighbour filled by an earlier
// (deeper) placement is no longer empty when its turn comes and gets nothing:
// its share is lost. A neighbour that already received a source population in
// these starting conditions never counts as empty, even while it holds no one
// (with a limit of 0 the population would otherwise pass back and forth).
void arrangeInitialDensity(SegmentStates& states, Segment& segment, std::int16_t size, PopulationSource* population,
                           float overflowRate);

}  // namespace fluviagen
