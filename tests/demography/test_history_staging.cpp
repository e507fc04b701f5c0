// The staged writing of the forward history: whatever generations a
// simulation records, in increasing order and with gaps or across the
// 32-generation windows, the staged table reads entry for entry as the table
// written at once, and both hold exactly the values recorded.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "DemographyFixture.h"
#include "demography/HistoryStaging.h"
#include "demography/StateDB.h"

using namespace fluviagen;

using namespace demography_test;

namespace {

// Segment 1 has three neighbours, 2 one, 3 and 4 two each: 12 series.
const std::vector<std::array<std::int32_t, 3>> star = {{1, 1, 2}, {2, 3, 1}, {3, 2, 4}, {4, 5, 2}};

// The value a test records in a slot at generation t: zero for about a
// third of the entries (a zero is left out of a fresh table), some slots
// never anything but zero.
std::int16_t valueAt(std::uint32_t slot, std::int32_t t) {
    if (slot % 5 == 4) return 0;
    const std::int32_t v = (static_cast<std::int32_t>(slot) * 7 + t * 3) % 11 - 3;
    return static_cast<std::int16_t>(v < 0 ? 0 : v * 100 + t);
}

std::vector<std::int32_t> range(std::int32_t from, std::int32_t to) {
    std::vector<std::int32_t> t;
    for (std::int32_t g = from; g <= to; ++g) t.push_back(g);
    return t;
}

}  // namespace

TEST(HistoryStaging, StagedAndImmediateWritesGiveTheSameTable) {
    constexpr std::int32_t G = 100;
    const auto drainage = makeDrainage(star);
    const std::vector<std::vector<std::int32_t>> rows = {
        range(0, G),        // every generation: three full windows and a part
        {0},                // one generation only
        {5, 6, 7, 40, 41},  // gaps inside a window and across windows
        {31, 32, 33},       // the last of one window, the first of the next
        {0, 64, 65, 99},    // windows skipped entirely
        range(30, 70),
    };
    for (std::size_t r = 0; r < rows.size(); ++r) {
        StateDB stagedTable(*drainage, G);
        StateDB immediateTable(*drainage, G);
        HistoryStaging staged(stagedTable, true);
        HistoryStaging immediate(immediateTable, false);
        ASSERT_TRUE(staged.complete());
        ASSERT_EQ(staged.slots(), 12u);
        ASSERT_EQ(staged.generations(), G + 1);
        std::vector<std::int16_t> expected(staged.slots() * static_cast<std::size_t>(G + 1), 0);
        for (const std::int32_t t : rows[r]) {
            staged.beginGeneration(t);
            immediate.beginGeneration(t);
            for (std::uint32_t slot = 0; slot < staged.slots(); ++slot) {
                staged.record(slot, t, valueAt(slot, t));
                immediate.record(slot, t, valueAt(slot, t));
                expected[slot * static_cast<std::size_t>(G + 1) + static_cast<std::size_t>(t)] = valueAt(slot, t);
            }
            staged.record(HistoryStaging::noSlot, t, 9);  // records nothing
        }
        staged.flush();
        EXPECT_EQ(snapshot(stagedTable), expected) << "row " << r;
        EXPECT_EQ(snapshot(immediateTable), expected) << "row " << r;
        // Every page that holds a value is in the record of written pages.
        for (const StatesOfCell& history : stagedTable.histories)
            for (const std::int16_t& entry : history.sizes.entries()) {
                if (entry != 0) {
                    EXPECT_TRUE(stagedTable.mayHoldData(&entry)) << "row " << r;
                }
            }
    }
}
