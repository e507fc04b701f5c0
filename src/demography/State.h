// The demographic state of the population living on one river segment.
#pragma once

#include <cstdint>
#include <vector>

namespace fluviagen {

class Segment;

class State {
public:
    std::int16_t N = 0;          // individuals on the segment
    std::int16_t K = -1;         // carrying capacity
    std::int16_t BilanMigr = 0;  // net migration of this generation: immigrants - emigrants
    float growthRemainder = 0;   // fractional part of the last growth, carried to the next

    void reset() {
        N = 0;
        K = -1;
        BilanMigr = 0;
        growthRemainder = 0;
    }
};

// The current state of every segment of a drainage, by segment index.
using SegmentStates = std::vector<State>;

// N += BilanMigr. A negative result (random emigrant counts can exceed the
// grown size) is reported, set to 0, and the call returns false. A result
// beyond 32767 is held at 32767 with a warning (sizes are 16-bit).
bool addMigrationBalance(State& state, const Segment& segment, std::int32_t generation);
// The same on a size and balance held elsewhere (the generation loop keeps
// compact copies of the states of all segments).
bool addBalance(std::int16_t& N, std::int16_t BilanMigr, const Segment& segment, std::int32_t generation);

// Sizes, capacities, balances and emigrant counts live in 16 bits. A value
// computed in a wider type that leaves the 16-bit range is held at the
// nearest limit (never wrapped) and a WARNING line names the quantity, the
// segment and the generation. A real is truncated toward zero; one
// that is not a number counts as 0, with the same warning.
std::int16_t saturatedWithWarning(double value, const Segment& segment, const char* quantity, std::int32_t generation);

inline std::int16_t saturate16(std::int32_t value, const Segment& segment, const char* quantity,
                               std::int32_t generation) {
    if (value >= -32768 && value <= 32767) return static_cast<std::int16_t>(value);
    return saturatedWithWarning(value, segment, quantity, generation);
}

inline std::int16_t saturate16(float value, const Segment& segment, const char* quantity, std::int32_t generation) {
    if (value > -32769.0f && value < 32768.0f) return static_cast<std::int16_t>(value);
    return saturatedWithWarning(value, segment, quantity, generation);
}

}  // namespace fluviagen
