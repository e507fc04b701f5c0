// Placeholder until the phase is built: a run that reaches it fails clearly.
#include "run/Exception.h"
#include "run/World.h"

void World::SimulateGeneticData() {
    throw TException(my_string("SimulateGeneticData(): this phase is not available in this build!"), levelFatal);
}
