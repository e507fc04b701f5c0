#include "demography/HistoryStaging.h"

#include <algorithm>
#include <bit>
#include <limits>

namespace fluviagen {

HistoryStaging::HistoryStaging(StateDB& database, bool staged) : table_(&database), staged_(staged) {
    firstSlot_.reserve(database.histories.size());
    seriesLength_ = std::numeric_limits<std::int32_t>::max();
    for (StatesOfCell& history : database.histories) {
        if (history.sizes.count() == 0) complete_ = false;
        firstSlot_.push_back(static_cast<std::uint32_t>(series_.size()));
        series_.push_back(history.sizes.data());
        seriesLength_ = std::min(seriesLength_, history.sizes.count());
        for (TimeStoFull& immigrants : history.immigrants) {
            if (immigrants.count() == 0) complete_ = false;
            series_.push_back(immigrants.data());
            seriesLength_ = std::min(seriesLength_, immigrants.count());
        }
    }
    if (staged_) {
        stage_.assign(static_cast<std::size_t>(depth) * series_.size(), 0);
        stageDirty_.assign((series_.size() + bitsPerWord - 1) / bitsPerWord, 0);
    }
}

void HistoryStaging::flush() {
    if (!staged_ || stagedTo_ < stagedFrom_) return;
    const std::size_t width = series_.size();
    flushSlots_.clear();
    for (std::size_t w = 0; w < stageDirty_.size(); ++w) {
        std::uint64_t bits = stageDirty_[w];
        stageDirty_[w] = 0;
        while (bits != 0) {
            flushSlots_.push_back(static_cast<std::uint32_t>(w * bitsPerWord + std::countr_zero(bits)));
            bits &= bits - 1;
        }
    }
    // The staged block is a small matrix generation x slot; each slot's
    // entries go to one or two cache lines of its own series, far from the
    // others in memory. It is written out in tiles of slots: the tile's
    // destination lines (asked for while the tile before is written) stay in
    // the first-level cache while the rows are read one after the other.
    const std::int32_t rows = stagedTo_ - stagedFrom_ + 1;
    std::int16_t* row[depth];
    for (std::int32_t r = 0; r < rows; ++r)
        row[r] = stage_.data() + static_cast<std::size_t>((stagedFrom_ + r) % depth) * width;
    constexpr std::size_t tile = 128;
    std::int16_t* target[tile];
    const std::size_t count = flushSlots_.size();
    const auto prefetchTile = [&](std::size_t first) {
        for (std::size_t k = first; k < std::min(count, first + tile); ++k) {
            std::int16_t* entries = series_[flushSlots_[k]];
            __builtin_prefetch(entries + stagedFrom_, 1);
            __builtin_prefetch(entries + stagedTo_, 1);
        }
    };
    prefetchTile(0);
    for (std::size_t first = 0; first < count; first += tile) {
        const std::size_t n = std::min(tile, count - first);
        const std::uint32_t* slots = flushSlots_.data() + first;
        for (std::size_t j = 0; j < n; ++j) {
            target[j] = series_[slots[j]] + stagedFrom_;
            table_->noteWritten(target[j], static_cast<std::size_t>(rows));
        }
        prefetchTile(first + tile);
        for (std::int32_t r = 0; r < rows; ++r) {
            const std::int16_t* from = row[r];
            for (std::size_t j = 0; j < n; ++j) target[j][r] = from[slots[j]];
        }
    }
    if (count > 0)
        for (std::int32_t r = 0; r < rows; ++r) std::fill(row[r], row[r] + width, std::int16_t{0});
    stagedFrom_ = 0;
    stagedTo_ = -1;
}

}  // namespace fluviagen
