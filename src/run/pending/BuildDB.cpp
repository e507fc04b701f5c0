// Placeholder until the phase is built: a run that reaches it fails clearly.
#include "run/Exception.h"
#include "run/World.h"

void World::BuildDB() {
    throw TException(my_string("BuildDB(): this phase is not available in this build!"), levelFatal);
}
