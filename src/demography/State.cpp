#include "demography/State.h"

#include <cmath>
#include <iostream>

#include "drainage/Segment.h"

namespace fluviagen {

std::int16_t saturatedWithWarning(double value, const Segment& segment, const char* quantity, std::int32_t generation) {
    std::int16_t held = 0;
    if (value >= 32767.0)
        held = 32767;
    else if (value <= -32768.0)
        held = -32768;
    std::cout << "\nWARNING: 16-bit overflow: " << quantity << " of segment " << segment.id << " at generation "
              << generation << " is ";
    if (std::isnan(value))
        std::cout << "not a number";
    else if (std::fabs(value) < 1e15)
        std::cout << static_cast<long long>(value);
    else
        std::cout << (value > 0 ? "beyond 1e15" : "below -1e15");
    std::cout << ", held at " << held << "!" << std::endl;
    return held;
}

bool addBalance(std::int16_t& N, std::int16_t BilanMigr, const Segment& segment, std::int32_t generation) {
    const std::int32_t sum = std::int32_t{N} + std::int32_t{BilanMigr};
    if (sum < 0) {
        // Only random emigrant counts above the grown size get here; the sum
        // is at least -32768, so it is the 16-bit value the size would have.
        std::cout << "\nError in State::add_BilanMigr_to_N(): 0 > N= " << sum << " at generation " << generation
                  << " for segment " << segment.id << std::endl;
        N = 0;
        return false;
    }
    N = saturate16(sum, segment, "the size N + BilanMigr", generation);
    return true;
}

bool addMigrationBalance(State& state, const Segment& segment, std::int32_t generation) {
    return addBalance(state.N, state.BilanMigr, segment, generation);
}

}  // namespace fluviagen
