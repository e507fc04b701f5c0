// The demographic database: the complete forward history that the coalescent
// walks back through. For every segment and generation the size N at the end
// of the generation, and for every neighbour the individuals that came in from
// it. All values are 16-bit, one entry per generation, generations 0 .. G
// (generation 0 holds the starting state).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

class TSegment;
class World;

// One time series of 16-bit values.
class TimeStoFull {
public:
    // G + 1 entries, all 0. Returns false (after its message) when the
    // memory cannot be had.
    bool AllocateTimeStoFullMemory(std::int32_t G);
    std::int32_t count() const { return static_cast<std::int32_t>(entries.size()); }
    // Entry t for 0 < t < count, else entry 0.
    std::int16_t at(std::int32_t t) const {
        return (t > 0 && t < count()) ? entries[static_cast<std::size_t>(t)] : entries[0];
    }
    void store(std::int32_t t, std::int16_t value) { entries[static_cast<std::size_t>(t)] = value; }
    void clear();

    std::vector<std::int16_t> entries;
};

// The history of one segment.
class StatesOfCell {
public:
    StatesOfCell(TSegment& segment, std::int32_t G);
    virtual ~StatesOfCell() = default;

    std::int16_t sizeAt(std::int32_t t) const { return sizes.at(t); }
    std::int16_t immigrantsAt(std::int32_t j, std::int32_t t) const {
        return immigrants[static_cast<std::size_t>(j)].at(t);
    }
    void storeSize(std::int32_t t, std::int16_t value) { sizes.store(t, value); }
    void storeImmigrants(std::int32_t j, std::int32_t t, std::int16_t value) {
        immigrants[static_cast<std::size_t>(j)].store(t, value);
    }
    void clear();

    TimeStoFull sizes;
    std::vector<TimeStoFull> immigrants;  // one series per neighbour, in neighbour order
    std::int32_t neighbourCount = 0;
    TSegment* segment = nullptr;
};

class StateDB {
public:
    virtual ~StateDB() = default;
    void clear();

    std::vector<std::unique_ptr<StatesOfCell>> histories;  // ascending segment id order
    World* world = nullptr;
    std::int32_t count = 0;
    std::int32_t generations = 0;
};
