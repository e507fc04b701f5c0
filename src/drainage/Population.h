// Source populations and samples placed on river segments.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "base/Utilities.h"

namespace fluviagen {

class Segment;
class Drainage;

class PopulationSource {
public:
    PopulationSource() = default;
    PopulationSource(const PopulationSource&) = delete;
    PopulationSource& operator=(const PopulationSource&) = delete;
    // Clears the segment's source or sample reference when it points here.
    ~PopulationSource();

    Text name;
    std::int32_t segmentId = -1;
    Segment* segment = nullptr;
    std::int16_t size = -1;      // individuals (sources) or sampled gene copies (samples)
    std::int32_t Resize = -1;    // sources: coalescent deme size at and before generation 0 (0: not set)
    float migration = -1;        // sources: backward move probability among sources before generation 0
    std::int32_t precision = 0;  // coordinate mode: metres between the point and the chosen segment
    float lon = -1;              // coordinate mode: the given point
    float lat = -1;
};

class PopulationVector {
public:
    explicit PopulationVector(Drainage* drainage_) : drainage(drainage_) {}

    std::vector<std::unique_ptr<PopulationSource>> populations;
    int count = 0;
    Drainage* drainage;
    bool coordinateMode = false;
    // Why readPopulations returned 0 (naming the file and the population);
    // empty when it read populations or the file announced none.
    Text problem;
};

}  // namespace fluviagen
