// Growth and migration: once per generation every occupied segment grows
// toward its carrying capacity (Beverton-Holt) and sends emigrants to its
// neighbours, weighted by the room each neighbour has left and by direction
// (upstream moves weigh u times, downstream ones 1/u times). The emigrants
// are booked in the migration balances BilanMigr of sender and receivers and
// recorded in the receivers' immigrant series of the database.
//
//   model | growth and emigrant count | split among neighbours
//   ------+---------------------------+------------------------------------
//     1   | deterministic             | proportional, rounded down
//     2   | Poisson deviates          | proportional, rounded down
//     3   | deterministic             | multinomial (sequential binomials)
//     4   | Poisson deviates          | multinomial
#pragma once

#include <cstdint>
#include <vector>

#include "demography/HistoryStaging.h"
#include "demography/State.h"

namespace fluviagen {

class Segment;
class Drainage;
class Settings;
class Rng;
class StateDB;

// The emigrating share of a segment with n individuals and capacity K: a
// logistic switch centred at n = K/2 from migrCol (almost empty) to migrOcc
// (full). Computed in double, rounded to float.
float emigrationShare(const Settings& settings, std::int32_t n, std::int32_t K);

// One pass over all segments in ascending id order (only those holding
// individuals when reached) at generation t. A model outside 1..4 is fatal:
// "runMigrationModel(): unknown demographic model!".
// The states are those of the drainage's segments (by index); the emigrants
// are recorded in the database at generation t when one is given.
void runMigrationModel(Drainage& drainage, SegmentStates& states, StateDB* database, const Settings& settings,
                       std::int32_t model, std::int32_t t, Rng& rng);

// The drainage laid out flat for the generation loop. Segments are numbered
// in ascending id order; their states (N, K, BilanMigr, remainder, the
// accessible flag) are kept as compact copies next to each other, and each
// segment has a run of neighbour links (neighbour number, direction factor,
// the receiver's immigrant series). Only occupied segments and those whose
// balance changed are visited after the first generation, so an empty reach
// of the river costs next to nothing.
//
// A staged plan collects the database entries of up to 32 generations before
// writing them out (demography/HistoryStaging.h); without staging every entry
// is written at once.
//
// The states are brought up to date by finish(); until then they hold the
// values of the plan's construction. The layout holds while
// the drainage's segments and neighbour lists stay as they are; accessible
// flags changed between generations are taken over by refreshAccessible().
class MigrationPlan {
public:
    // The states of the drainage's segments (by index) are read now and
    // written back by finish(); without a database nothing is recorded.
    MigrationPlan(Drainage& drainage, SegmentStates& states, StateDB* database, const Settings& settings, Rng& rng,
                  bool staged);

    // Generation t: clear the balances, run the migration model, add the
    // balances to the sizes and store the sizes at t.
    void iterate(std::int32_t model, std::int32_t t);
    // The migration model alone: no clearing or adding of the balances.
    void runMigrationModel(std::int32_t model, std::int32_t t);
    void refreshAccessible();
    // Segments holding individuals now (counted on each call: for progress
    // reports, not for every generation).
    std::size_t occupiedSegments() const;
    // Writes the staged entries and copies the states back to the segments.
    void finish();

    // What an observer of the generations reads after iterate(t): the size
    // and capacity of segment i (by index), the segments holding individuals
    // as bit words (bit i % 64 of word i / 64), and the individuals sent to
    // a neighbour in generation t.
    std::int16_t sizeOf(std::uint32_t i) const { return hot[i].N; }
    std::int16_t capacityOf(std::uint32_t i) const { return hot[i].K; }
    const std::vector<std::uint64_t>& occupiedWords() const { return occupied; }
    std::int64_t migrantsMoved() const { return moved; }
    // Whether segment i takes part in migration (its accessible flag as the
    // plan took it), and how many times the flags were taken over since the
    // plan was made: an observer looks at the flags only when it changes.
    bool isOpen(std::uint32_t i) const { return hot[i].open != 0; }
    std::uint32_t accessibleRefreshes() const { return accessibleRefreshes_; }

private:
    struct Hot {
        std::int16_t N;
        std::int16_t K;
        std::int16_t BilanMigr;
        std::uint8_t open;  // accessible
        float remainder;
    };
    struct Link {
        std::uint32_t index;  // the neighbour's number
        float direction;      // t: 1/u downstream, u upstream, 1 otherwise
        std::uint32_t slot;   // the neighbour's immigrant series for this segment
        bool repeated;        // the same slot as an earlier link of the segment
    };
    static constexpr std::uint32_t noSlot = HistoryStaging::noSlot;

    template <bool randomCounts, bool randomSplit>
    void segmentStep(std::uint32_t index);
    template <bool randomCounts, bool randomSplit>
    void runPass();
    // The pass of the model's kind; a model outside 1..4 is fatal.
    void dispatchPass(std::int32_t model);
    void refreshOccupancy();
    void clearBalances();
    void addBalances(bool all);
    void markTouched(std::uint32_t index);
    void record(std::uint32_t slot, std::int32_t t, std::int16_t value) { history.record(slot, t, value); }
    void recordRepeatedNeighbours(std::uint32_t index, std::int32_t t);
    float share(std::int16_t n, std::int16_t K);
    // t, after checking that the database holds generation t.
    std::int32_t checkedGeneration(std::int32_t t) const;

    const Settings& settings;
    SegmentStates& states;
    Rng& rng;
    std::int32_t generation = 0;  // of the pass in progress
    std::vector<Segment*> ordered;
    std::vector<Hot> hot;
    std::vector<std::uint32_t> firstLink;     // links of segment i: [firstLink[i], firstLink[i + 1])
    std::vector<std::uint8_t> repeatedLinks;  // per segment: a neighbour stands twice in its list
    std::vector<Link> links;
    std::vector<std::uint32_t> sizeSlot;  // per segment, or noSlot without a database
    HistoryStaging history;               // the database's series by slot; none without a database
    std::vector<std::uint64_t> occupied;  // N > 0 at the start of the pass
    std::vector<std::uint64_t> touched;   // BilanMigr may have changed in this generation
    std::vector<float> weights;           // scratch, one per link of a segment
    std::vector<std::int32_t> counts;
    std::vector<float> shareTable;  // emigrationShare(n, shareK), NaN until needed
    std::int16_t shareK = 0;
    std::int64_t moved = 0;  // individuals sent to a neighbour in this generation
    std::uint32_t accessibleRefreshes_ = 0;
    bool fresh = true;  // no generation run yet: visit every segment once
    float growthRate;
    float growthRateOverK = 0;  // growthRate / shareK
    float upstream;
    float downstream;
};

}  // namespace fluviagen
