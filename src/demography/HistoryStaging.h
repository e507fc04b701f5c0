// The writes of the forward simulation into the demographic database
// (demography/StateDB.h). Every series of the table gets a slot: per segment,
// in ascending index order, its size series, then its immigrant series in
// neighbour order.
//
// Unstaged, every entry is written at once. Staged, the entries of up to 32
// consecutive generations of one window are collected in a small
// generation-major buffer and written into their series a cache line at a
// time. Staging leaves the same database provided its series were cleared
// before the simulation (as the starting conditions or buildHistory leave them):
// entries nobody wrote are not written out. Every write is noted in the
// database's record of written pages.
#pragma once

#include <cstdint>
#include <vector>

#include "demography/StateDB.h"

namespace fluviagen {

class HistoryStaging {
public:
    static constexpr std::uint32_t noSlot = 0xFFFFFFFFu;
    static constexpr std::int32_t depth = 32;  // generations per staged block: 64 bytes of a series

    // Records nothing (no database).
    HistoryStaging() = default;
    // The slots of every series of `database`, staged or not. complete() is
    // false when a series of the database holds no entry.
    HistoryStaging(StateDB& database, bool staged);

    bool complete() const { return complete_; }
    bool staged() const { return staged_; }
    // Slots in use (every series of the database; 0 without one).
    std::size_t slots() const { return series_.size(); }
    // Entries of the shortest series: the generations 0 .. generations() - 1
    // that can be recorded.
    std::int32_t generations() const { return seriesLength_; }
    // The slot of a segment's size series, and of its immigrant series from
    // the neighbour at `position` of its list (by segment index).
    std::uint32_t sizeSlot(std::uint32_t segment) const { return firstSlot_[segment]; }
    std::uint32_t immigrantSlot(std::uint32_t segment, std::uint32_t position) const {
        return firstSlot_[segment] + 1 + position;
    }

    // Starts generation t: staged, a block covers consecutive generations of
    // one window; anything else first writes out what is staged.
    void beginGeneration(std::int32_t t) {
        if (!staged_) return;
        if (stagedTo_ >= stagedFrom_ && (t / depth != stagedFrom_ / depth || t <= stagedTo_)) flush();
        if (stagedTo_ < stagedFrom_) stagedFrom_ = t;
        stagedTo_ = t;
    }

    // Entry t of the series in `slot` (noSlot: nothing is recorded).
    void record(std::uint32_t slot, std::int32_t t, std::int16_t value) {
        if (slot == noSlot) return;
        if (!staged_) {
            std::int16_t* entry = series_[slot] + t;
            if (value == 0 && !table_->mayHoldData(entry)) return;  // zero already
            table_->noteWritten(entry, 1);
            *entry = value;
            return;
        }
        stage_[static_cast<std::size_t>(t % depth) * series_.size() + slot] = value;
        if (value != 0) stageDirty_[slot / bitsPerWord] |= std::uint64_t{1} << (slot % bitsPerWord);
    }

    // Writes what is staged into the series.
    void flush();

private:
    static constexpr std::uint32_t bitsPerWord = 64;

    StateDB* table_ = nullptr;               // told of every page the series writes reach
    std::vector<std::int16_t*> series_;      // entries of every series, by slot
    std::vector<std::uint32_t> firstSlot_;   // per segment: the slot of its size series
    std::vector<std::int16_t> stage_;        // [generation % depth][slot]
    std::vector<std::uint64_t> stageDirty_;  // per slot: a non-zero entry is staged
    std::vector<std::uint32_t> flushSlots_;  // scratch of flush()
    std::int32_t stagedFrom_ = 0;            // generations staged, none while stagedTo_ < stagedFrom_
    std::int32_t stagedTo_ = -1;
    std::int32_t seriesLength_ = 0;  // entries of every series (G + 1); 0 without a database
    bool staged_ = false;
    bool complete_ = true;
};

}  // namespace fluviagen
