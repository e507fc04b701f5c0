// Placeholder until the phase is built: a run that reaches it fails clearly.
#include "run/Exception.h"
#include "run/World.h"

void World::SimulateDemography() {
    throw TException(my_string("SimulateDemography(): this phase is not available in this build!"), levelFatal);
}
