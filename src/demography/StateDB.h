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
//
// The table is written once: it comes from fresh pages of the system, which
// are zero, and a page is only touched when something non-zero is written to
// it (a river mostly empty over the generations leaves most of its table
// untouched, and uses no memory for it). The table records which pages were
// written; clearing it for the next simulation sets only those back to zero.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace fluviagen {

class Drainage;

// A view of one time series of the table.
class TimeStoFull {
public:
    TimeStoFull() = default;
    TimeStoFull(std::int16_t* entries, std::int32_t count) : entries_(entries), count_(count) {}

    std::int32_t count() const { return count_; }
    // Entry t for 0 < t < count, else entry 0.
    std::int16_t at(std::int32_t t) const { return (t > 0 && t < count_) ? entries_[t] : entries_[0]; }
    std::int16_t* data() { return entries_; }
    const std::int16_t* data() const { return entries_; }
    std::span<const std::int16_t> entries() const { return {entries_, static_cast<std::size_t>(count_)}; }

private:
    std::int16_t* entries_ = nullptr;
    std::int32_t count_ = 0;
};

class StateDB;

// The history of one segment: views of its rows of the table.
class StatesOfCell {
public:
    std::int16_t sizeAt(std::int32_t t) const { return sizes.at(t); }
    std::int16_t immigrantsAt(std::int32_t j, std::int32_t t) const {
        return immigrants[static_cast<std::size_t>(j)].at(t);
    }
    // Writes through the table, which notes the page (a 0 on a page never
    // written is left alone: the page is zero already).
    inline void storeSize(std::int32_t t, std::int16_t value);
    inline void storeImmigrants(std::int32_t j, std::int32_t t, std::int16_t value);

    TimeStoFull sizes;
    std::vector<TimeStoFull> immigrants;  // one series per neighbour, in neighbour order
    StateDB* table = nullptr;             // the database the views belong to
};

class StateDB {
public:
    // A table of zeros for the drainage (with its neighbour lists built) and
    // G generations. Throws std::bad_alloc when the memory cannot be had.
    StateDB(const Drainage& drainage, std::int32_t G);
    StateDB(const StateDB&) = delete;
    StateDB& operator=(const StateDB&) = delete;
    ~StateDB();

    // The history of the segment with this index.
    StatesOfCell& history(std::int32_t index) { return histories[static_cast<std::size_t>(index)]; }
    const StatesOfCell& history(std::int32_t index) const { return histories[static_cast<std::size_t>(index)]; }
    // Every entry of every series back to 0: the pages written since the
    // table was made or last cleared are zeroed, no other page is touched.
    void clear();

    // Every writer that goes past the views' store functions (the staged
    // write-out of the forward simulation) says which entries it writes:
    // `count` entries from `first`, all inside the table.
    void noteWritten(const std::int16_t* first, std::size_t count) {
        const std::size_t from = byteOffset(first) / pageBytes;
        const std::size_t to = byteOffset(first + count - 1) / pageBytes;
        for (std::size_t page = from; page <= to; ++page) written_[page / 64] |= std::uint64_t{1} << (page % 64);
    }
    // True when the entry lies on a page written since the last clearing.
    bool mayHoldData(const std::int16_t* entry) const {
        const std::size_t page = byteOffset(entry) / pageBytes;
        return (written_[page / 64] >> (page % 64) & 1) != 0;
    }
    // Pages written since the table was made or last cleared.
    std::size_t writtenPages() const;
    // Bytes of the table as mapped: every series padded to whole cache
    // lines, the whole padded to whole pages.
    std::size_t tableBytes() const { return tableBytes_; }
    // The same for a drainage (neighbour lists built) and G generations,
    // before any table is made; 0 when the size does not fit in memory's
    // address range.
    static std::size_t tableBytesFor(const Drainage& drainage, std::int32_t G);

    std::int32_t count = 0;               // segments
    std::int32_t generations = 0;         // G
    std::vector<StatesOfCell> histories;  // by segment index

    // The unit of the record of written parts (a page on the usual systems;
    // any unit works, larger pages hold several).
    static constexpr std::size_t pageBytes = 4096;

private:
    static constexpr std::size_t lineBytes = 64;
    static constexpr std::size_t lineEntries = lineBytes / sizeof(std::int16_t);
    std::size_t byteOffset(const std::int16_t* entry) const {
        return static_cast<std::size_t>(reinterpret_cast<const char*>(entry) - reinterpret_cast<const char*>(table_));
    }
    std::int16_t* table_ = nullptr;  // mapped fresh from the system: zero until written
    std::size_t tableBytes_ = 0;
    std::vector<std::uint64_t> written_;  // a bit per page of the table
};

void StatesOfCell::storeSize(std::int32_t t, std::int16_t value) {
    std::int16_t* entry = sizes.data() + t;
    if (table != nullptr) {
        if (value == 0 && !table->mayHoldData(entry)) return;
        table->noteWritten(entry, 1);
    }
    *entry = value;
}

void StatesOfCell::storeImmigrants(std::int32_t j, std::int32_t t, std::int16_t value) {
    std::int16_t* entry = immigrants[static_cast<std::size_t>(j)].data() + t;
    if (table != nullptr) {
        if (value == 0 && !table->mayHoldData(entry)) return;
        table->noteWritten(entry, 1);
    }
    *entry = value;
}

// Bytes of 16-bit entries a database for the drainage and G generations
// holds: the sum over the segments of (neighbours + 1) * (G + 1) * 2. Held at
// the largest 64-bit value rather than overflowing.
std::uint64_t databaseBytes(const Drainage& drainage, std::int32_t G);

// A database of zeros for the drainage and G generations. A database larger
// than the memory the system can give is refused up front with a fatal error
// that says how many bytes it needs.
std::unique_ptr<StateDB> buildDatabase(const Drainage& drainage, std::int32_t G);

}  // namespace fluviagen
