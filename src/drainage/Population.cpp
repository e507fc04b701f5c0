#include "drainage/Population.h"

#include "drainage/Segment.h"

namespace fluviagen {

PopulationSource::~PopulationSource() {
    if (segment == nullptr) return;
    if (segment->sourcePopulation == this) segment->sourcePopulation = nullptr;
    if (segment->samplePopulation == this) segment->samplePopulation = nullptr;
}

}  // namespace fluviagen
