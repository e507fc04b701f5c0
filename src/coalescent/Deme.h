// Demes and lineages of the backward coalescent.
//
// Looking backwards in time, the sampled gene copies of a locus are followed
// through the river network: each river segment that holds ancestral lineages
// is a deme of the coalescent, whose size in every generation is read from the
// demographic history the forward simulation stored. Each lineage is a node of
// the genealogy (GenealogyTree) that is still waiting for its parent; lineages meet
// (coalesce) within a deme and move, one generation back, to the segment their
// ancestor immigrated from.
//
// A segment holds at most one deme (its slot 0). The collection owns every
// deme through a table indexed by the segment's index in the drainage.
// Demes created by backward migration stay in the table for later genealogies
// of the same demographic simulation (with no lineages after a reset).
//
// Cost: one backward generation touches only the demes that hold lineages and
// the lineages themselves, never the whole segment table.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "coalescent/GenealogyTree.h"
#include "base/Utilities.h"

namespace fluviagen {

class Rng;
class Settings;
class PopulationVector;
class Drainage;
class Segment;
class StatesOfCell;
class StateDB;
class PopulationSource;
class DemeCollection;

// ---------------------------------------------------------------------------
// Deme: the population of one river segment as the coalescent sees it.
class Deme {
public:
    // Creates a deme on `segment` with lineage arrays for `capacity` lineages
    // (the number of sampled gene copies of the collection), reading the
    // segment's history in `database`. Ownership stays with the caller (the
    // collection's table).
    Deme(DemeCollection& collection, Segment& segment, std::int32_t capacity, const StateDB& database);
    virtual ~Deme();
    Deme(const Deme&) = delete;
    Deme& operator=(const Deme&) = delete;

    // Deme size N (gene copies) for this generation and its inverse 1/N in
    // single precision (0 when N is 0).
    void setSize(std::int32_t newSize);

    // One coalescence attempt for this generation: with k lineages and size N
    // two of them meet with probability k(k-1)/2N (at most one event per deme
    // and generation). The new ancestor is tree node `nextNode`, created at
    // backward step `t` and forward generation `g`. Returns 1 on an event,
    // else 0.
    int coalesceLineages(std::int32_t t, std::int32_t g, GenealogyTree& tree, std::int32_t nextNode, Rng& rng);

    // Backward migration of this generation: each lineage is an immigrant with
    // probability (immigrants / size) and then goes back to the neighbour its
    // ancestor came from, in proportion to the stored immigrant counts. A
    // segment empty one generation earlier must send every lineage away.
    void implementMigration(std::int32_t slot, std::int32_t g, Rng& rng);
    // Spreads the lineages of a segment that was empty one generation earlier
    // uniformly over the neighbours that were not. Lineages with no such
    // neighbour ("prisoners") stay where they are.
    void redistributeLineages(std::int32_t slot, std::int32_t g, Rng& rng);
    // Before generation 0: each lineage moves with probability `rate` to
    // another source deme of the active list (chosen uniformly, never the
    // deme's own position `listIndex`).
    void implementMultiOriginMigration(std::int32_t g, float rate, std::int32_t listIndex, Rng& rng);

    // Removes lineage i (the last lineage takes its place) and hands it to the
    // deme of `target` (created when the segment has none) at generation g.
    void moveLineage(std::int32_t i, Segment& target, std::int32_t slot, std::int32_t g);
    // Moves every lineage of the deme to `target` (not the incoming ones).
    void moveAllLineages(Segment& target, std::int32_t slot, std::int32_t g);
    // Receives a lineage during generation g (kept apart from the deme's own
    // lineages until the end of the generation).
    void addIncoming(TreeNode* lineage, std::int32_t g);
    // The lineages received this generation join the deme's own.
    void mergeIncoming();

    // Stored size of the deme's segment at generation t (entry 0 outside
    // 1 .. G), read through the deme's direct view of its history.
    std::int16_t storedSize(std::int32_t t) const { return sizes_.at(t); }

    std::int32_t size = 0;                  // deme size N of the current generation
    std::int32_t sampleSize = 0;            // sampled gene copies (0 for demes made by migration)
    std::int32_t nLineages = 0;             // lineages currently in the deme
    std::int32_t nIncoming = 0;             // lineages received this generation, not merged yet
    float invSize = 0;                      // 1/N, 0 when N is 0
    std::vector<TreeNode*> lineages;        // first nLineages valid; capacity = sampled lineages
    std::vector<TreeNode*> samples;         // the deme's own leaves, sampleSize entries
    std::vector<TreeNode*> incoming;        // first nIncoming valid; same capacity as lineages
    std::int32_t id = -1;                   // position in the active list at creation (sample demes); -1 otherwise
    Text name;                              // sample name (empty for demes made by migration)
    const StatesOfCell* history = nullptr;  // the segment's demographic history
    Segment* segment = nullptr;             // the segment the deme lives on
    std::int32_t slot = 0;                  // slot within the segment: always 0
    DemeCollection* collection;             // the collection that owns the deme

private:
    // Direct views of the series read in every generation: the deme's sizes,
    // and per neighbour its immigrants from that neighbour and that
    // neighbour's sizes. The database does not change while genealogies are
    // built, and a walk reads them for every deme and generation.
    struct SeriesView {
        const std::int16_t* data = nullptr;
        std::int32_t count = 0;
        std::int16_t at(std::int32_t t) const { return (t > 0 && t < count) ? data[t] : data[0]; }
    };
    SeriesView sizes_;
    std::vector<SeriesView> immigrants_;
    std::vector<SeriesView> neighbourSizes_;
};

// ---------------------------------------------------------------------------
// DemeCollection: the demes of one demographic simulation and the genealogy
// of the current locus.
class DemeCollection {
public:
    DemeCollection();
    ~DemeCollection();
    DemeCollection(const DemeCollection&) = delete;
    DemeCollection& operator=(const DemeCollection&) = delete;

    // Creates one deme per usable sample (in sample-file order) and their
    // lineages. Called once per demographic simulation, after the demography
    // is stored. Prints the warnings of unusable samples. Returns false (after
    // its message) on lack of memory or when no lineage could be created.
    // The drainage, the populations and the settings are observed until the
    // next call or clear().
    bool createDemes(Drainage& drainage, const StateDB& database, const PopulationVector& samples,
                     const PopulationVector& sources, const Settings& settings);
    // Builds the tree for the lineages of the active demes: one leaf per
    // sampled gene copy, numbered deme after deme. False when there is none.
    bool createLineages();
    // Puts every deme back to its sampled state before a new genealogy.
    void resetDemes();
    // (nSampleLineages + 1) x (numIndependentLoci x numLinkedLoci) zeroed
    // integers; false (after its message) on lack of memory.
    bool createHaplotypeMatrix();
    // Sets every entry of the haplotype matrix to 0.
    void clearHaplotypeMatrix();
    // Total of lineages over the active demes.
    std::int32_t countLineages() const;

    // Builds the genealogy of the current locus backwards through the stored
    // demography; `index` (1-based) selects the mrcaSegment entry that gets
    // the segment of the root. Throws a SimulationError of level error when there
    // is no lineage or when the lineages have not coalesced after
    // maxGenerations backward generations. Every draw comes from `rng`.
    void buildTree(std::int32_t index, Rng& rng);

    // Merges the incoming lineages of every active deme and drops the demes
    // left without lineages from the active list.
    void compactDemes();
    // Appends the demes that received their first lineages this generation to
    // the active list.
    void activateNewDemes();

    // The deme of a segment, created (empty, size = stored size at
    // generation g) when the segment has none yet.
    Deme& demeOf(Segment& segment, std::int32_t g);
    // The position of a segment in the deme table; throws a SimulationError of
    // level error for a segment outside the table.
    std::int32_t tableIndex(const Segment& segment) const;

    // The deme of a segment, or null when it has none (or the table does not
    // cover it).
    Deme* demeAt(const Segment& segment) const;

    // Deletes every deme and releases the tables and the genealogy.
    void clear();

    std::int32_t numSampleDemes() const { return static_cast<std::int32_t>(sampleDemes.size()); }

    std::int32_t nSegments = 0;                    // segments when the tables were set up
    std::int32_t nSampleLineages = 0;              // sampled gene copies of all sample demes
    GenealogyTree tree;                            // genealogy of the current locus: 2n - 1 nodes
    std::vector<std::unique_ptr<Deme>> demeTable;  // per segment index: its deme (slot 0)
    std::vector<Deme*> active;                     // demes holding lineages, in processing order
    std::vector<Deme*> newDemes;                   // demes that got their first lineage this generation
    std::vector<Deme*> sampleDemes;                // the sample demes in creation order
    // Coalescence events per segment index: in the current genetic simulation,
    // and summed over all genetic simulations of the demographic simulation.
    std::vector<std::int32_t> coalPerSegment;
    std::vector<std::int32_t> coalPerSegmentSummed;
    // Per genealogy (genetic simulation x independent locus): the segment in
    // which the root of that genealogy arose.
    std::vector<Segment*> mrcaSegment;
    // Multilocus mode: row 0 per-site hit counts, row 1 + a the site states of
    // leaf a; locus L occupies columns L x numLinkedLoci onwards.
    std::vector<std::vector<std::int32_t>> haplotypeMatrix;

private:
    friend class Deme;
    // Adds one coalescence to both counters of a segment.
    void countCoalescence(const Segment& segment);
    // The collection's part of one backward generation; see BuildTree.cpp.
    void ancestralPhase(std::int32_t& k, std::int32_t& nextNode, std::int32_t t, std::int32_t g,
                        std::int32_t divergence, Rng& rng);
    void mainPhase(std::int32_t& k, std::int32_t& nextNode, std::int32_t t, std::int32_t g, bool& resizeDone,
                   bool overflowMerged, Rng& rng);
    void overflowMerge(std::int32_t g);
    void resetTreeForGenealogy(std::int32_t g);
    void releaseDemes();

    // Observed from createDemes on: what the walk reads besides the history.
    Drainage* drainage_ = nullptr;
    const StateDB* database_ = nullptr;
    const PopulationVector* sources_ = nullptr;
    const Settings* settings_ = nullptr;
    std::vector<Deme*> demeList_;            // every deme of the table, in creation order
    std::vector<std::int32_t> coalTouched_;  // segment indexes with coalPerSegment != 0
    // Segments filled at generation 0 from a source on another segment, in
    // ascending segment id order, with that source's segment (overflow merge).
    std::vector<std::pair<Segment*, Segment*>> overflowSegments_;
    std::vector<std::int32_t> scratch_;  // per-neighbour counts of one migration step
};

}  // namespace fluviagen
