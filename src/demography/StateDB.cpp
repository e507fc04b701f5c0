#include "demography/StateDB.h"

#include <algorithm>
#include <iostream>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>

#include "drainage/Segment.h"
#include "drainage/SegmentVector.h"
#include "base/Exception.h"

bool TimeStoFull::AllocateTimeStoFullMemory(std::int32_t G) {
    std::vector<std::int16_t>().swap(entries);
    const std::size_t n = static_cast<std::size_t>(std::max<std::int64_t>(G, 0)) + 1;
    try {
        entries.assign(n, 0);
    } catch (const std::bad_alloc&) {
        std::vector<std::int16_t>().swap(entries);
    } catch (const std::length_error&) {
        std::vector<std::int16_t>().swap(entries);
    }
    if (entries.empty()) {
        std::cout << "\tERROR{TimeStoFull::AllocateTimeStoFullMemory}: Canot allocate memory!" << std::endl;
        return false;
    }
    return true;
}

void TimeStoFull::clear() { std::fill(entries.begin(), entries.end(), std::int16_t{0}); }

StatesOfCell::StatesOfCell(TSegment& segment_, std::int32_t G) : segment(&segment_) {
    segment_.history = this;
    neighbourCount = segment_.neighbourCount;
    immigrants.resize(static_cast<std::size_t>(std::max(neighbourCount, 0)));
    for (TimeStoFull& series : immigrants)
        if (!series.AllocateTimeStoFullMemory(G)) {
            complete = false;
            return;  // one message is enough: the database cannot be used
        }
    if (!sizes.AllocateTimeStoFullMemory(G)) complete = false;
}

StatesOfCell::~StatesOfCell() {
    if (segment != nullptr && segment->history == this) segment->history = nullptr;
}

void StatesOfCell::clear() {
    sizes.clear();
    for (TimeStoFull& series : immigrants) series.clear();
}

StateDB::~StateDB() {
    for (const auto& history : histories)
        if (history && history->segment != nullptr && history->segment->database == this) {
            history->segment->database = nullptr;
            history->segment->databaseIndex = -1;
        }
}

void StateDB::clear() {
    for (const auto& history : histories) history->clear();
}

std::uint64_t databaseBytes(const TSegmentVector& drainage, std::int32_t G) {
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
TException databaseTooLarge(const TSegmentVector& drainage, std::int32_t G, std::uint64_t bytes,
                            std::uint64_t available) {
    std::string text = "BuildDB(): the demographic database for " + std::to_string(drainage.size()) + " segments and " +
                       std::to_string(G) + " generations needs " + std::to_string(bytes) + " bytes (" +
                       std::to_string(bytes / (1024 * 1024)) +
                       " MiB: the sum over the segments of (neighbours + 1) x (generations + 1) x 2 bytes)";
    if (available != 0)
        text += ", but only " + std::to_string(available) + " bytes of memory are available!";
    else
        text += ", and this memory could not be had!";
    return TException(my_string(text), levelFatal);
}

}  // namespace

std::unique_ptr<StateDB> buildDatabase(TSegmentVector& drainage, std::int32_t G) {
    const std::uint64_t bytes = databaseBytes(drainage, G);
    const std::uint64_t available = availableMemoryBytes();
    if (available != 0 && bytes > available) throw databaseTooLarge(drainage, G, bytes, available);
    try {
        auto db = std::make_unique<StateDB>();
        db->count = drainage.size();
        db->generations = G;
        db->histories.reserve(drainage.segments.size());
        std::int32_t index = 0;
        for (const auto& [id, segment] : drainage.segments) {
            segment->database = db.get();
            segment->databaseIndex = index++;
            db->histories.push_back(std::make_unique<StatesOfCell>(*segment, G));
            if (!db->histories.back()->complete) throw std::bad_alloc();
        }
        return db;
    } catch (const std::bad_alloc&) {
        throw databaseTooLarge(drainage, G, bytes, 0);
    }
}
