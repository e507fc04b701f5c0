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

class TSegment;
class TSegmentVector;
class TSettings;

// The emigrating share of a segment with n individuals and capacity K: a
// logistic switch centred at n = K/2 from migrCol (almost empty) to migrOcc
// (full). Computed in double, rounded to float.
float emigrationShare(const TSettings& settings, std::int32_t n, std::int32_t K);

// One pass over all segments in ascending id order (only those holding
// individuals when reached). A model outside 1..4 is fatal:
// "runMigrationModel(): unknown demographic model!".
void runMigrationModel(TSegmentVector& drainage, std::int32_t model);

// The drainage laid out flat for the generation loop: segments in ascending id
// order, each with its neighbour links (neighbour, direction factor, the slot
// of the receiver's immigrant series), and the set of occupied segments. Only
// occupied segments and those whose balance changed are visited, so an empty
// reach of the river costs next to nothing per generation. The layout holds
// while the drainage's segments and neighbour lists stay as they are (the
// accessible flags may change between generations).
class MigrationPlan {
public:
    // writeAllCounts: record every emigrant count, zeros included. Without
    // it, zeros are not written where the entry is known to be 0 already
    // (every series starts a simulation cleared, and each entry of a
    // generation has a single writer), which saves most database traffic.
    MigrationPlan(TSegmentVector& drainage, const TSettings& settings, bool writeAllCounts);

    // One generation at the current generation: clear the balances, run the
    // migration model, add the balances to the sizes and store the sizes.
    void iterate(std::int32_t model);
    // The migration model alone (IterateCells step 2).
    void runMigrationModel(std::int32_t model);

private:
    struct Link {
        TSegment* neighbour;
        std::uint32_t index;        // the neighbour's position in `ordered`
        float direction;            // t: 1/u downstream, u upstream, 1 otherwise
        std::int16_t* immigrants;   // the neighbour's immigrant series for this segment, or null
    };

    template <bool randomCounts, bool randomSplit>
    void segmentStep(std::uint32_t index);
    template <bool randomCounts, bool randomSplit>
    void runPass();
    void refreshOccupancy();
    void clearBalances();
    void addBalances();
    void markTouched(std::uint32_t index);
    float share(std::int16_t n, std::int16_t K);
    std::int32_t checkedGeneration() const;

    const TSettings& settings;
    std::vector<TSegment*> ordered;
    std::vector<std::uint32_t> firstLink;  // links of segment i: [firstLink[i], firstLink[i + 1])
    std::vector<Link> links;
    std::vector<std::int16_t*> sizeSeries;  // per segment, or null without a database
    std::vector<std::uint8_t> writeZeros;   // per segment: record zero counts too
    std::vector<std::uint64_t> occupied;    // N > 0 at the start of the pass
    std::vector<std::uint64_t> touched;     // BilanMigr changed in this generation
    std::vector<std::uint32_t> touchedList;
    std::vector<float> weights;             // scratch, one per link of a segment
    std::vector<std::int32_t> counts;
    std::vector<float> shareTable;          // emigrationShare(n, shareK), NaN until needed
    std::int16_t shareK = 0;
    std::int32_t seriesLength = 0;          // entries of every series (G + 1); 0 without a database
    bool hasDatabase = false;
    bool fresh = true;                      // no generation run yet: visit every segment once
    float growthRate;
    float upstream;
    float downstream;
};
