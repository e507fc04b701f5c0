#include "demography/StartingConditions.h"

#include <cmath>
#include <iostream>
#include <vector>

#include "demography/StateDB.h"
#include "drainage/Population.h"
#include "drainage/Drainage.h"
#include "base/Exception.h"
#include "settings/Settings.h"

namespace fluviagen {

void resetAllStates(SegmentStates& states) {
    for (State& state : states) state.reset();
}

void setCapacity(SegmentStates& states, std::int16_t K) {
    for (State& state : states) state.K = K;
}

namespace {

State& stateOf(SegmentStates& states, const Segment& segment) {
    return states.at(static_cast<std::size_t>(segment.index));
}

bool countsAsEmpty(SegmentStates& states, const Segment& segment) {
    return stateOf(states, segment).N == 0 && segment.sourcePopulation == nullptr;
}

// The placement on one segment; returns the share d offered
// to each empty neighbour (0: nothing spills over).
std::int16_t placeOn(SegmentStates& states, Segment& S, std::int16_t a, PopulationSource* population,
                     float overflowRate) {
    S.sourcePopulation = population;
    State& state = stateOf(states, S);
    const std::int16_t cap = saturate16(overflowRate * static_cast<float>(state.K), S, "the overflow limit", 0);
    if (cap == 0)
        std::cout << "\nWARNING: ArrangeInitialDensity(): The carring capacity of segment " << S.id << " is zero!";
    if (a <= cap) {
        state.N = a;
        return 0;
    }
    std::int32_t empty = 0;
    for (const Segment* neighbour : S.neighbours)
        if (countsAsEmpty(states, *neighbour)) ++empty;
    if (empty == 0) {
        state.N = a;
        return 0;
    }
    const std::int32_t spill = std::int32_t{a} - cap;  // > 0
    const std::int32_t d = spill / empty;
    const std::int32_t rest = spill - empty * d;
    state.N = saturate16(std::int32_t{cap} + rest, S, "the starting size", 0);
    return saturate16(d, S, "the overflow share", 0);
}

}  // namespace

void arrangeInitialDensity(SegmentStates& states, Segment& segment, std::int16_t size, PopulationSource* population,
                           float overflowRate) {
    // Depth first, as a recursion would go, but on an explicit stack: a long
    // river reach filled one segment after the other must not exhaust the
    // call stack.
    struct Pending {
        Segment* segment;
        std::int16_t share;
        std::size_t next;
    };
    const std::int16_t first = placeOn(states, segment, size, population, overflowRate);
    if (first <= 0) return;
    std::vector<Pending> stack{{&segment, first, 0}};
    while (!stack.empty()) {
        Pending& top = stack.back();
        if (top.next >= top.segment->neighbours.size()) {
            stack.pop_back();
            continue;
        }
        Segment* neighbour = top.segment->neighbours[top.next++];
        if (!countsAsEmpty(states, *neighbour)) continue;
        const std::int16_t share =
            placeOn(states, *neighbour, top.share, population, overflowRate);  // `top` may move below
        if (share > 0) stack.push_back({neighbour, share, 0});
    }
}

void setStartingConditions(Drainage& drainage, SegmentStates& states, StateDB& database,
                           const SourcePopulations& sources, const Settings& settings, bool freshDatabase) {
    std::cout << "\nSet starting conditions ... " << std::flush;
    const Stopwatch timer;
    if (states.size() != static_cast<std::size_t>(drainage.size()))
        states.assign(static_cast<std::size_t>(drainage.size()), State{});
    if (freshDatabase) {
        std::cout << "(first time) ..." << std::flush;
    } else {
        std::cout << "(resetting) ..." << std::flush;
        database.clear();
        resetAllStates(states);
    }
    setCapacity(states, settings.carryingCapacity);

    const float rate = settings.initialDensityOverflowRate;
    const float overflowRate = (rate >= 0.0f && rate <= 1.0f) ? rate : 1.0f;  // NaN fails both tests
    // The placement below marks the segments it fills; marks of an earlier
    // simulation must not count as filled in this one.
    for (auto& [id, segment] : drainage.segments) segment->sourcePopulation = nullptr;
    for (const auto& population : sources().populations) {
        if (population->segment == nullptr)
            throw SimulationError(
                Text("Source population '") + population->name + "' is not placed on any segment of the drainage!",
                levelFatal);
        if (settings.allowInitialDensityOverflow) {
            arrangeInitialDensity(states, *population->segment, population->size, population.get(), overflowRate);
        } else {
            stateOf(states, *population->segment).N = population->size;
            population->segment->sourcePopulation = population.get();
        }
    }

    for (auto& [id, segment] : drainage.segments) {
        StatesOfCell& history = database.history(segment->index);
        history.storeSize(0, stateOf(states, *segment).N);
        for (std::int32_t j = 0; j < static_cast<std::int32_t>(history.immigrants.size()); ++j)
            history.storeImmigrants(j, 0, 0);
    }
    std::cout << "\nSet starting conditions ... done (Duration: " << timer << ")" << std::endl;
}

}  // namespace fluviagen
