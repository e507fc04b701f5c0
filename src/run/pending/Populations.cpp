// Placeholder until the population readers are built.
#include "run/Exception.h"
#include "run/World.h"

PopulationVector& World::sourcePopulations() {
    throw TException(my_string("Source populations are not available in this build!"), levelFatal);
}
PopulationVector& World::samplePopulations() {
    throw TException(my_string("Samples are not available in this build!"), levelFatal);
}
