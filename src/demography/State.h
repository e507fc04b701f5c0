// The demographic state of the population living on one river segment.
#pragma once

#include <cstdint>

class TSegment;

class State {
public:
    virtual ~State() = default;

    std::int16_t N = 0;           // individuals on the segment
    std::int16_t K = -1;          // carrying capacity
    std::int16_t BilanMigr = 0;   // net migration of this generation: immigrants - emigrants
    float growthRemainder = 0;    // fractional part of the last growth, carried to the next

    void reset() {
        N = 0;
        K = -1;
        BilanMigr = 0;
        growthRemainder = 0;
    }
};

// N += BilanMigr. A negative result (random emigrant counts can exceed the
// grown size) is reported, set to 0, and the call returns false.
bool add_BilanMigr_to_N(State& state, const TSegment& segment);
