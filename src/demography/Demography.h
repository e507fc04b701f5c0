// The forward demographic simulation of one entire simulation: starting
// conditions, then one generation after the other, with the maps of a dynamic
// environment switched in at their generations. Every size and migrant count
// goes into the database the coalescent walks back through.
#pragma once

#include <cstdint>
#include <functional>

#include "demography/StartingConditions.h"

namespace fluviagen {

class GenerationObserver;

class Rng;
class StateDB;
class DynamicMaps;
class Drainage;
class Settings;

// The drainage the forward simulation runs on, and the drainage as read when
// the first was resampled from it (the maps of a dynamic environment name the
// segments as read).
struct DemographyDrainages {
    Drainage& inUse;
    Drainage* asRead = nullptr;
};

// Runs generations 1 .. numGenerations from the starting conditions. A
// failure leaves states and database to be cleared before the next run (pass
// freshDatabase = false then). Every draw comes from `rng`.
// `states` holds the current state of every segment (by index) afterwards.
// An observer, when given, sees the starting states, every generation and the
// final states (see demography/Colonisation.h); it changes no draw.
void simulateDemography(const DemographyDrainages& drainages, SegmentStates& states, const SourcePopulations& sources,
                        const Settings& settings, StateDB& database, bool freshDatabase, Rng& rng,
                        GenerationObserver* observer = nullptr);

// One generation t on its own, unstaged: clear the migration balances, run
// the migration model over all segments, add the balances to the sizes and
// store the sizes in the database. Non-program failures become the error
// "IterateCells() did not work!".
void iterateCells(Drainage& drainage, SegmentStates& states, StateDB* database, const Settings& settings,
                  std::int32_t t, Rng& rng);

// Throws a fatal error unless the drainage has segments and the database was
// built for it and for numGenerations.
void checkDemographyReady(const Drainage& drainage, const StateDB* database, std::int32_t numGenerations);

}  // namespace fluviagen
