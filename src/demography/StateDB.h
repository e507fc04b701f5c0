// The demographic database: the complete forward history that the coalescent
// walks back through. For every segment and generation the size N at the end
// of the generation, and for every neighbour the individuals that came in from
// it. All values are 16-bit, one entry per generation, generations 0 .. G
// (generation 0 holds the starting state).
//
// The whole history is one contiguous table. A segment's rows follow each
// other in ascending segment order (by the segment's index): first its size
// series, then one immigrant series per neighbour in neighbour order, each
// G + 1 entries long and starting on a cache line of its own. The coalescent reads a deme's series through views
// taken once per deme, and the forward simulation writes each series a
// cache line at a time, so neither depends on more than these accessors.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

class TSegmentVector;

// A view of one time series of the table.
class TimeStoFull {
public:
    TimeStoFull() = default;
    TimeStoFull(std::int16_t* entries, std::int32_t count) : entries_(entries), count_(count) {}

    std::int32_t count() const { return count_; }
    // Entry t for 0 < t < count, else entry 0.
    std::int16_t at(std::int32_t t) const { return (t > 0 && t < count_) ? entries_[t] : entries_[0]; }
    void store(std::int32_t t, std::int16_t value) { entries_[t] = value; }
    std::int16_t* data() { return entries_; }
    const std::int16_t* data() const { return entries_; }
    std::span<const std::int16_t> entries() const { return {entries_, static_cast<std::size_t>(count_)}; }

private:
    std::int16_t* entries_ = nullptr;
    std::int32_t count_ = 0;
};

// The history of one segment: views of its rows of the table.
class StatesOfCell {
public:
    std::int16_t sizeAt(std::int32_t t) const { return sizes.at(t); }
    std::int16_t immigrantsAt(std::int32_t j, std::int32_t t) const {
        return immigrants[static_cast<std::size_t>(j)].at(t);
    }
    void storeSize(std::int32_t t, std::int16_t value) { sizes.store(t, value); }
    void storeImmigrants(std::int32_t j, std::int32_t t, std::int16_t value) {
        immigrants[static_cast<std::size_t>(j)].store(t, value);
    }

    TimeStoFull sizes;
    std::vector<TimeStoFull> immigrants;  // one series per neighbour, in neighbour order
};

class StateDB {
public:
    // A table of zeros for the drainage (with its neighbour lists built) and
    // G generations. Throws std::bad_alloc when the memory cannot be had.
    StateDB(const TSegmentVector& drainage, std::int32_t G);
    StateDB(const StateDB&) = delete;
    StateDB& operator=(const StateDB&) = delete;

    // The history of the segment with this index.
    StatesOfCell& history(std::int32_t index) { return histories[static_cast<std::size_t>(index)]; }
    const StatesOfCell& history(std::int32_t index) const { return histories[static_cast<std::size_t>(index)]; }
    // Every entry of every series back to 0.
    void clear();

    std::int32_t count = 0;        // segments
    std::int32_t generations = 0;  // G
    std::vector<StatesOfCell> histories;  // by segment index

private:
    static constexpr std::size_t lineBytes = 64;
    static constexpr std::size_t lineEntries = lineBytes / sizeof(std::int16_t);
    std::vector<std::int16_t> table_;
};

// Bytes of 16-bit entries a database for the drainage and G generations
// holds: the sum over the segments of (neighbours + 1) * (G + 1) * 2. Held at
// the largest 64-bit value rather than overflowing.
std::uint64_t databaseBytes(const TSegmentVector& drainage, std::int32_t G);

// A database of zeros for the drainage and G generations. A database larger
// than the memory the system can give is refused up front with a fatal error
// that says how many bytes it needs.
std::unique_ptr<StateDB> buildDatabase(const TSegmentVector& drainage, std::int32_t G);
