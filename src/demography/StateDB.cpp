#include "demography/StateDB.h"

#include <sys/mman.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <iostream>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>

#include "base/Exception.h"
#include "drainage/Segment.h"
#include "drainage/Drainage.h"

namespace fluviagen {

std::size_t StateDB::tableBytesFor(const Drainage& drainage, std::int32_t G) {
    const std::size_t length = static_cast<std::size_t>(std::max<std::int64_t>(G, 0)) + 1;
    // Every series starts on a cache line of its own: the forward simulation
    // writes 32 generations of a series as one full line, and the backward
    // walk's reads of one generation never straddle two lines.
    const std::size_t stride = (length + lineEntries - 1) / lineEntries * lineEntries;
    std::size_t series = 0;
    for (const auto& [id, segment] : drainage.segments)
        series += static_cast<std::size_t>(std::max(segment->neighbourCount, 0)) + 1;
    constexpr std::size_t most = std::numeric_limits<std::size_t>::max() / 2;
    if (series > (most - pageBytes) / (stride * sizeof(std::int16_t))) return 0;
    // Whole pages, at least one.
    const std::size_t entriesBytes = series * stride * sizeof(std::int16_t);
    return std::max<std::size_t>((entriesBytes + pageBytes - 1) / pageBytes * pageBytes, pageBytes);
}

StateDB::StateDB(const Drainage& drainage, std::int32_t G) : count(drainage.size()), generations(G) {
    const std::size_t length = static_cast<std::size_t>(std::max<std::int64_t>(G, 0)) + 1;
    const std::size_t stride = (length + lineEntries - 1) / lineEntries * lineEntries;
    // Fresh anonymous pages read as zero and take memory only once written
    // (a vector would write every entry now).
    tableBytes_ = tableBytesFor(drainage, G);
    if (tableBytes_ == 0) throw std::bad_alloc();
    void* mapped = mmap(nullptr, tableBytes_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    table_ = static_cast<std::int16_t*>(mapped);
    try {
        written_.assign((tableBytes_ / pageBytes + 63) / 64, 0);
        histories.resize(drainage.segments.size());
    } catch (...) {
        munmap(table_, tableBytes_);
        throw;
    }
    std::int16_t* next = table_;
    const auto take = [&next, length, stride] {
        TimeStoFull view(next, static_cast<std::int32_t>(length));
        next += stride;
        return view;
    };
    std::int32_t index = 0;
    for (const auto& [id, segment] : drainage.segments) {
        // Rows follow the segments' indexes, which the neighbour lists set.
        if (segment->index != index) {
            munmap(table_, tableBytes_);
            throw std::logic_error("StateDB: the drainage's segment indexes are not set (neighbour lists not built)");
        }
        StatesOfCell& h = histories[static_cast<std::size_t>(index++)];
        h.table = this;
        h.sizes = take();
        h.immigrants.resize(static_cast<std::size_t>(std::max(segment->neighbourCount, 0)));
        for (TimeStoFull& immigrants : h.immigrants) immigrants = take();
    }
}

StateDB::~StateDB() { munmap(table_, tableBytes_); }

void StateDB::clear() {
    char* const bytes = reinterpret_cast<char*>(table_);
    for (std::size_t w = 0; w < written_.size(); ++w) {
        std::uint64_t bits = written_[w];
        written_[w] = 0;
        // Runs of written pages are cleared with one call each.
        while (bits != 0) {
            const unsigned first = static_cast<unsigned>(std::countr_zero(bits));
            const unsigned run = static_cast<unsigned>(std::countr_one(bits >> first));
            std::memset(bytes + (w * 64 + first) * pageBytes, 0, run * pageBytes);
            bits = run + first >= 64 ? 0 : bits & ~(((std::uint64_t{1} << run) - 1) << first);
        }
    }
}

std::size_t StateDB::writtenPages() const {
    std::size_t pages = 0;
    for (const std::uint64_t bits : written_) pages += static_cast<std::size_t>(std::popcount(bits));
    return pages;
}

std::uint64_t databaseBytes(const Drainage& drainage, std::int32_t G) {
    constexpr std::uint64_t most = std::numeric_limits<std::uint64_t>::max();
    const std::uint64_t entriesPerSeries = static_cast<std::uint64_t>(std::max<std::int64_t>(G, 0)) + 1;
    std::uint64_t total = 0;
    for (const auto& [id, segment] : drainage.segments) {
        const std::uint64_t series = static_cast<std::uint64_t>(std::max(segment->neighbourCount, 0)) + 1;
        std::uint64_t bytes = 0;
        if (__builtin_mul_overflow(series, entriesPerSeries, &bytes) || __builtin_mul_overflow(bytes, 2u, &bytes) ||
            __builtin_add_overflow(total, bytes, &total))
            return most;
    }
    return total;
}

namespace {

// available: bytes of memory the system can give, 0 when unknown.
SimulationError databaseTooLarge(const Drainage& drainage, std::int32_t G, std::uint64_t bytes,
                                 std::uint64_t available) {
    std::string text = "BuildDB(): the demographic database for " + std::to_string(drainage.size()) + " segments and " +
                       std::to_string(G) + " generations needs " + std::to_string(bytes) + " bytes (" +
                       std::to_string(bytes / (1024 * 1024)) +
                       " MiB: the sum over the segments of (neighbours + 1) x (generations + 1) x 2 bytes)";
    if (available != 0)
        text += ", but only " + std::to_string(available) + " bytes of memory are available!";
    else
        text += ", and this memory could not be had!";
    return SimulationError(Text(text), levelFatal);
}

}  // namespace

std::unique_ptr<StateDB> buildDatabase(const Drainage& drainage, std::int32_t G) {
    const std::uint64_t bytes = databaseBytes(drainage, G);
    const std::uint64_t available = availableMemoryBytes();
    if (available != 0 && bytes > available) throw databaseTooLarge(drainage, G, bytes, available);
    try {
        return std::make_unique<StateDB>(drainage, G);
    } catch (const std::bad_alloc&) {
        throw databaseTooLarge(drainage, G, bytes, 0);
    } catch (const std::length_error&) {
        throw databaseTooLarge(drainage, G, bytes, 0);
    }
}

}  // namespace fluviagen
