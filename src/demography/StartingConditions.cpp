#include "demography/StartingConditions.h"

#include <cmath>
#include <iostream>
#include <vector>

#include "demography/StateDB.h"
#include "drainage/Population.h"
#include "drainage/SegmentVector.h"
#include "base/Exception.h"
#include "settings/Settings.h"

void resetAllStates(TSegmentVector& drainage) {
    for (auto& [id, segment] : drainage.segments) segment->state.reset();
}

void setCapacity(TSegmentVector& drainage, std::int16_t K) {
    for (auto& [id, segment] : drainage.segments) segment->state.K = K;
}

namespace {

bool countsAsEmpty(const TSegment& segment) { return segment.state.N == 0 && segment.sourcePopulation == nullptr; }

// The placement on one segment; returns the share d offered
// to each empty neighbour (0: nothing spills over).
std::int16_t placeOn(TSegment& S, std::int16_t a, PopulationSource* population, float overflowRate) {
    S.sourcePopulation = population;
    const std::int16_t cap = saturate16(overflowRate * static_cast<float>(S.state.K), S, "the overflow limit", 0);
    if (cap == 0)
        std::cout << "\nWARNING: ArrangeInitialDensity(): The carring capacity of segment " << S.id << " is zero!";
    if (a <= cap) {
        S.state.N = a;
        return 0;
    }
    std::int32_t empty = 0;
    for (const TSegment* neighbour : S.neighbours)
        if (countsAsEmpty(*neighbour)) ++empty;
    if (empty == 0) {
        S.state.N = a;
        return 0;
    }
    const std::int32_t spill = std::int32_t{a} - cap;  // > 0
    const std::int32_t d = spill / empty;
    const std::int32_t rest = spill - empty * d;
    S.state.N = saturate16(std::int32_t{cap} + rest, S, "the starting size", 0);
    return saturate16(d, S, "the overflow share", 0);
}

}  // namespace

void ArrangeInitialDensity(TSegment& segment, std::int16_t size, PopulationSource* population, float overflowRate) {
    // Depth first, as a recursion would go, but on an explicit stack: a long
    // river reach filled one segment after the other must not exhaust the
    // call stack.
    struct Pending {
        TSegment* segment;
        std::int16_t share;
        std::size_t next;
    };
    const std::int16_t first = placeOn(segment, size, population, overflowRate);
    if (first <= 0) return;
    std::vector<Pending> stack{{&segment, first, 0}};
    while (!stack.empty()) {
        Pending& top = stack.back();
        if (top.next >= top.segment->neighbours.size()) {
            stack.pop_back();
            continue;
        }
        TSegment* neighbour = top.segment->neighbours[top.next++];
        if (!countsAsEmpty(*neighbour)) continue;
        const std::int16_t share = placeOn(*neighbour, top.share, population, overflowRate);  // `top` may move below
        if (share > 0) stack.push_back({neighbour, share, 0});
    }
}

void setStartingConditions(TSegmentVector& drainage, StateDB& database, const SourcePopulations& sources,
                           const TSettings& settings, bool freshDatabase) {
    std::cout << "\nSet starting conditions ... " << std::flush;
    const myTimer timer;
    if (freshDatabase) {
        std::cout << "(first time) ..." << std::flush;
    } else {
        std::cout << "(resetting) ..." << std::flush;
        database.clear();
        resetAllStates(drainage);
    }
    setCapacity(drainage, settings.carryingCapacity);

    const float rate = settings.initialDensityOverflowRate;
    const float overflowRate = (rate >= 0.0f && rate <= 1.0f) ? rate : 1.0f;  // NaN fails both tests
    // The placement below marks the segments it fills; marks of an earlier
    // simulation must not count as filled in this one.
    for (auto& [id, segment] : drainage.segments) segment->sourcePopulation = nullptr;
    for (const auto& population : sources().populations) {
        if (population->segment == nullptr)
            throw TException(my_string("Source population '") + population->name +
                                 "' is not placed on any segment of the drainage!",
                             levelFatal);
        if (settings.allowInitialDensityOverflow) {
            ArrangeInitialDensity(*population->segment, population->size, population.get(), overflowRate);
        } else {
            population->segment->state.N = population->size;
            population->segment->sourcePopulation = population.get();
        }
    }

    for (auto& [id, segment] : drainage.segments) {
        StatesOfCell& history = *segment->history;
        history.storeSize(0, segment->state.N);
        for (std::int32_t j = 0; j < static_cast<std::int32_t>(history.immigrants.size()); ++j)
            history.storeImmigrants(j, 0, 0);
    }
    std::cout << "\nSet starting conditions ... done (Duration: " << timer << ")" << std::endl;
}
