// The forward demographic simulation of one entire simulation: starting
// conditions, then one generation after the other, with the maps of a dynamic
// environment switched in at their generations.
#pragma once

class World;

// One generation at the current generation: clear the migration balances,
// run the migration model over all segments, add the balances to the sizes
// and store the sizes in the database. Non-program failures become the error
// "IterateCells() did not work!".
void IterateCells(World& world);

// Throws a fatal error unless the world has a drainage with segments and a
// database built for it and for numGenerations (what BuildDB makes).
void checkDemographyReady(const World& world);
