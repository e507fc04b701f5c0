#include "demography/Colonisation.h"

#include <bit>

#include "demography/MigrationModel.h"

namespace fluviagen {

namespace {

constexpr std::uint32_t bitsPerWord = 64;

}  // namespace

void ColonisationRecord::seen(std::int32_t t, std::uint32_t i, std::int16_t N, std::int16_t K) {
    if (firstOccupied[i] == never) firstOccupied[i] = t;
    if (K > 0 && N >= K && firstAtCapacity[i] == never) {
        firstAtCapacity[i] = t;
        settled_[i / bitsPerWord] |= std::uint64_t{1} << (i % bitsPerWord);
    }
}

void ColonisationRecord::start(const SegmentStates& states) {
    const std::size_t n = states.size();
    firstOccupied.assign(n, never);
    firstAtCapacity.assign(n, never);
    finalSize.assign(n, 0);
    firstClosed.assign(n, never);
    closedAtEnd.assign(n, 0);
    refreshesSeen_ = -1;
    settled_.assign((n + bitsPerWord - 1) / bitsPerWord, 0);
    curve.clear();
    ColonisationRow row;
    for (std::size_t i = 0; i < n; ++i) {
        const State& s = states[i];
        finalSize[i] = s.N;
        if (s.N <= 0) continue;
        ++row.occupied;
        row.size += s.N;
        seen(0, static_cast<std::uint32_t>(i), s.N, s.K);
    }
    curve.push_back(row);
}

void ColonisationRecord::generation(std::int32_t t, const MigrationPlan& plan) {
    // Only the occupied segments are visited, as the generation itself does,
    // and of those only the ones not yet at their capacity look further.
    ColonisationRow row;
    row.generation = t;
    row.migrants = plan.migrantsMoved();
    if (static_cast<std::int64_t>(plan.accessibleRefreshes()) != refreshesSeen_) {
        refreshesSeen_ = plan.accessibleRefreshes();
        for (std::uint32_t i = 0; i < closedAtEnd.size(); ++i) {
            const bool closed = !plan.isOpen(i);
            closedAtEnd[i] = closed ? 1 : 0;
            if (closed && firstClosed[i] == never) firstClosed[i] = t;
        }
    }
    const std::vector<std::uint64_t>& words = plan.occupiedWords();
    for (std::size_t w = 0; w < words.size(); ++w) {
        const std::uint64_t occupied = words[w];
        row.occupied += std::popcount(occupied);
        for (std::uint64_t bits = occupied; bits != 0; bits &= bits - 1) {
            const std::uint32_t i =
                static_cast<std::uint32_t>(w * bitsPerWord) + static_cast<std::uint32_t>(std::countr_zero(bits));
            const std::int16_t N = plan.sizeOf(i);
            row.size += N;
            if (((settled_[w] >> (i % bitsPerWord)) & 1u) == 0) seen(t, i, N, plan.capacityOf(i));
        }
    }
    curve.push_back(row);
}

void ColonisationRecord::end(const SegmentStates& states) {
    finalSize.resize(states.size());
    for (std::size_t i = 0; i < states.size(); ++i) finalSize[i] = states[i].N;
}

}  // namespace fluviagen
