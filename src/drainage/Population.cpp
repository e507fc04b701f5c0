#include "drainage/Population.h"

#include "drainage/Segment.h"

PopulationSource::~PopulationSource() {
    if (segment == nullptr) return;
    if (segment->sourcePopulation == this) segment->sourcePopulation = nullptr;
    if (segment->samplePopulation == this) segment->samplePopulation = nullptr;
}
