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
class TSegmentVector;

// One time series of 16-bit values.
class TimeStoFull {
public:
    // G + 1 entries, all 0 (a negative G gives the one entry of generation
    // 0). Returns false (after its message) when the memory cannot be had;
    // the series is then empty and must be neither read nor written.
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

// The history of one segment. It is linked both ways with its segment; the
// segment must outlive it.
class StatesOfCell {
public:
    StatesOfCell(TSegment& segment, std::int32_t G);
    virtual ~StatesOfCell();
    StatesOfCell(const StatesOfCell&) = delete;
    StatesOfCell& operator=(const StatesOfCell&) = delete;

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
    bool complete = true;  // every series got its memory
};

class StateDB {
public:
    StateDB() = default;
    virtual ~StateDB();
    StateDB(const StateDB&) = delete;
    StateDB& operator=(const StateDB&) = delete;
    // Every entry of every series back to 0.
    void clear();

    std::vector<std::unique_ptr<StatesOfCell>> histories;  // ascending segment id order
    std::int32_t count = 0;
    std::int32_t generations = 0;
};

// Bytes of 16-bit entries a database for the drainage and G generations
// holds: the sum over the segments of (neighbours + 1) * (G + 1) * 2. Held at
// the largest 64-bit value rather than overflowing.
std::uint64_t databaseBytes(const TSegmentVector& drainage, std::int32_t G);

// A database of zeros for the drainage and G generations, every segment
// linked to its history. A database larger than the memory the system can
// give is refused up front with a fatal error that says how many bytes it
// needs.
std::unique_ptr<StateDB> buildDatabase(TSegmentVector& drainage, std::int32_t G);
