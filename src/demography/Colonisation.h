// The colonisation of the river as the forward simulation makes it: per
// generation the segments holding individuals, the individuals alive and the
// individuals that moved to a neighbour; per segment the first generation it
// held individuals, the first it reached its carrying capacity and its final
// size, and for the dynamic environment's maps the first generation it was
// closed (not accessible) and whether it was closed at the end. Kept while the generations run (the history table holds
// sizes and immigrants, but reading them back would cost a pass over all of it).
#pragma once

#include <cstdint>
#include <vector>

#include "demography/State.h"

namespace fluviagen {

class MigrationPlan;

// What the forward simulation shows an observer: the states after the
// starting conditions (generation 0), then the plan after every generation.
// An observer only reads; it draws nothing and changes nothing.
class GenerationObserver {
public:
    virtual ~GenerationObserver() = default;
    virtual void start(const SegmentStates& states) = 0;
    virtual void generation(std::int32_t t, const MigrationPlan& plan) = 0;
    // The states after the last generation.
    virtual void end(const SegmentStates& states) = 0;
};

struct ColonisationRow {
    std::int32_t generation = 0;
    std::int64_t occupied = 0;  // segments with N > 0 at the end of the generation
    std::int64_t size = 0;      // individuals alive, summed over the segments
    std::int64_t migrants = 0;  // individuals sent to a neighbour in the generation (0 at generation 0)
};

class ColonisationRecord : public GenerationObserver {
public:
    static constexpr std::int32_t never = -1;

    void start(const SegmentStates& states) override;
    void generation(std::int32_t t, const MigrationPlan& plan) override;
    void end(const SegmentStates& states) override;

    // Per segment index; `never` when the segment never held individuals or
    // never reached its (positive) capacity.
    std::vector<std::int32_t> firstOccupied;
    std::vector<std::int32_t> firstAtCapacity;
    std::vector<std::int16_t> finalSize;  // the size after the last generation
    std::vector<ColonisationRow> curve;   // generations 0, 1, ... in order
    // The first generation the segment took no part in migration (a dynamic
    // map closed it), `never` when it stayed open; and whether it was closed
    // after the last generation (a map may open it again).
    std::vector<std::int32_t> firstClosed;
    std::vector<std::uint8_t> closedAtEnd;

private:
    void seen(std::int32_t t, std::uint32_t i, std::int16_t N, std::int16_t K);
    // Segments that are not at their capacity yet, or have not been seen
    // occupied yet: both bits set in a word let the per-generation pass skip
    // the segments whose first generations are known.
    std::vector<std::uint64_t> settled_;
    // The plan's count of flag refreshes last looked at; the flags are read
    // again only when it changes (and at the first generation).
    std::int64_t refreshesSeen_ = -1;
};

}  // namespace fluviagen
