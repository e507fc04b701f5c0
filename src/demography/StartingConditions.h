// Starting conditions of a forward demographic simulation: capacities, the
// source populations placed on their segments (spread over the neighbouring
// segments when they are larger than their segment may hold), generation 0 of
// the database.
#pragma once

#include <cstdint>

class TSegment;
class TSegmentVector;
class PopulationSource;
class World;

// The overflow rate in force: the share of a segment's capacity that a source
// population may fill before the rest spills over into the empty neighbours.
// Set by the placement, read by ArrangeInitialDensity.
extern float overflowRate;

// Every segment back to K = -1, N = 0, BilanMigr = 0, no growth remainder.
void resetAllStates(TSegmentVector& drainage);
void setCapacity(TSegmentVector& drainage, std::int16_t K);

// Runs the starting conditions of one demographic simulation on the world
// (its drainage, database and source populations), leaving the current
// generation at 0 and generation 0 stored.
void setStartingConditions(World& world);

// Places `size` individuals of `population` on `segment`: up to overflowRate
// x K stay, the rest is shared out evenly among the empty neighbours, which
// spread their share on in turn, depth first. A neighbour filled by an earlier
// (deeper) placement is no longer empty when its turn comes and gets nothing:
// its share is lost. A neighbour that already received a source population in
// these starting conditions never counts as empty, even while it holds no one
// (with a limit of 0 the population would otherwise pass back and forth).
void ArrangeInitialDensity(TSegment& segment, std::int16_t size, PopulationSource* population);
