// The backward walk against theory and against histories written by hand:
// coalescence probabilities, backward migration, the phases before the first
// forward generation, the overflow merge and the failure messages.
#include <algorithm>
#include <array>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CoalescentTestWorld.h"
#include "coalescent/Deme.h"
#include "base/Exception.h"

using namespace fluviagen;

using coalescent_test::CoutCapture;
using coalescent_test::seedStream;
using coalescent_test::TestWorld;

namespace {

// One segment without neighbours and `n` sampled genes; every generation
// holds N gene copies.
void buildIsolated(TestWorld& w, std::int16_t N, std::int16_t n) {
    w.addSegment(1, 1, 2);
    w.finish();
    w.setSizes(1, N);
    w.addSample("iso", 1, n);
    ASSERT_TRUE(w.createDemes());
}

// Segment S = 3 (node 2 -> 3) with neighbours, in this order: A = 1 and B = 2,
// both flowing into S, then C = 4, into which S flows.
void buildStar(TestWorld& w) {
    w.addSegment(1, 1, 2);
    w.addSegment(2, 4, 2);
    w.addSegment(3, 2, 3);
    w.addSegment(4, 3, 5);
    w.finish();
    for (int id = 1; id <= 4; ++id) w.setSizes(id, 50);
}

// Builds one genealogy with the console silenced.
void quietBuild(TestWorld& w, int index = 1) {
    CoutCapture quiet;
    w.buildTree(index);
}

// Runs one generation only (maxGenerations is 1): the walk then stops with
// the non-convergence error, leaving the lineages where that generation put
// them.
void oneGeneration(TestWorld& w) {
    CoutCapture quiet;
    try {
        w.buildTree(1);
    } catch (const SimulationError&) {
    }
}

int lineagesOn(TestWorld& w, int id) {
    const Deme* deme = w.demeOn(id);
    return deme == nullptr ? 0 : deme->nLineages + deme->nIncoming;
}

// Leaves below a node, as sample deme ids.
void sampleIdsBelow(const TreeNode& node, std::vector<int>& ids) {
    if (node.left == nullptr) {
        ids.push_back(node.demeId);
        return;
    }
    sampleIdsBelow(*node.left, ids);
    sampleIdsBelow(*node.right, ids);
}

}  // namespace

TEST(BuildTree, IsolatedDemeMatchesTheCoalescentMeanTmrca) {
    // Generations back to the MRCA: one geometric waiting time per number k of
    // lineages, success probability k(k-1)/2N, mean 2N(1 - 1/n) in total.
    const int N = 50;
    const int n = 10;
    TestWorld w(10);
    buildIsolated(w, N, n);
    double expected = 0;
    double variance = 0;
    for (int k = 2; k <= n; ++k) {
        const double p = k * (k - 1) / (2.0 * N);
        expected += 1 / p;
        variance += (1 - p) / (p * p);
    }
    ASSERT_NEAR(expected, 2.0 * N * (1 - 1.0 / n), 1e-9);

    const int replicates = 2000;
    seedStream(w.rng, 20240611);
    double sum = 0;
    for (int r = 0; r < replicates; ++r) {
        w.demes().resetDemes();
        quietBuild(w);
        const TreeNode& root = w.root();
        sum += root.time + 1;  // the root arose in backward step `time` (0-based)
        // n - 1 coalescences, all of them in the one segment.
        ASSERT_EQ(w.demes().coalPerSegment[0], n - 1);
        ASSERT_EQ(root.ancestor, nullptr);
        std::vector<int> ids;
        sampleIdsBelow(root, ids);
        ASSERT_EQ(ids.size(), static_cast<std::size_t>(n));
    }
    EXPECT_EQ(w.demes().coalPerSegmentSummed[0], replicates * (n - 1));
    const double mean = sum / replicates;
    EXPECT_NEAR(mean, expected, 4 * std::sqrt(variance / replicates));
    EXPECT_EQ(w.demes().mrcaSegment[0], w.segment(1));
}

TEST(BuildTree, CoalescenceProbabilityIsKTimesKMinusOneOverTwoN) {
    // Three lineages in a deme of 10: the first backward generation joins two
    // of them with probability 3 * 2 / 20 = 0.3.
    TestWorld w(10);
    buildIsolated(w, 10, 3);
    const int replicates = 4000;
    seedStream(w.rng, 99);
    int immediate = 0;
    for (int r = 0; r < replicates; ++r) {
        w.demes().resetDemes();
        quietBuild(w);
        if (w.demes().tree.node(3).time == 0) ++immediate;
    }
    const double p = 0.3;
    EXPECT_NEAR(immediate / double(replicates), p, 4 * std::sqrt(p * (1 - p) / replicates));
}

TEST(BuildTree, AtMostOneCoalescencePerDemeAndGeneration) {
    // N = 1: every generation is certain to join two lineages, never more.
    TestWorld w(10);
    buildIsolated(w, 1, 5);
    seedStream(w.rng, 5);
    for (int r = 0; r < 20; ++r) {
        w.demes().resetDemes();
        quietBuild(w);
        for (int i = 5; i < 9; ++i) {
            const TreeNode& node = w.demes().tree.node(i);
            EXPECT_EQ(node.time, i - 5);
            EXPECT_EQ(TestWorld::firstGeneration(node), 10 - (i - 5));
            EXPECT_EQ(TestWorld::firstLocation(node), 1);
            EXPECT_EQ(node.left->ancestor, &node);
            EXPECT_EQ(node.right->ancestor, &node);
            // Only leaves belong to a sample (here the segment of index 0).
            EXPECT_EQ(node.segmentIndex, -1);
            EXPECT_EQ(node.sampleSlot, -1);
        }
    }
    // Leaves start their record at their segment id and the last generation.
    EXPECT_EQ(TestWorld::firstLocation(w.demes().tree.node(0)), 1);
    EXPECT_EQ(TestWorld::firstGeneration(w.demes().tree.node(0)), 10);
}

TEST(BuildTree, SameSeedSameGenealogy) {
    TestWorld w(10);
    buildIsolated(w, 20, 8);
    auto newick = [&](long seed) {
        seedStream(w.rng, seed);
        w.demes().resetDemes();
        quietBuild(w);
        std::ostringstream os;
        w.demes().tree.writeNewick(os, 1, 1.0f);
        return os.str();
    };
    const std::string first = newick(42);
    EXPECT_EQ(newick(42), first);
    EXPECT_NE(newick(43), first);
}

TEST(BuildTree, LineagesLeaveASegmentEmptyOneGenerationEarlier) {
    // S held nobody at G - 1: every sampled lineage descends from an
    // immigrant, 10 of them from A and 30 from B; C sent none.
    TestWorld w(5, 1);
    buildStar(w);
    w.setSize(3, 5, 32767);  // sampled generation (large: coalescence is rare)
    w.setSize(3, 4, 0);
    w.setImmigrants(3, 1, 5, 10);
    w.setImmigrants(3, 2, 5, 30);
    w.addSample("s", 3, 20);
    ASSERT_TRUE(w.createDemes());
    const int replicates = 2000;
    seedStream(w.rng, 11);
    long toA = 0;
    long total = 0;
    for (int r = 0; r < replicates; ++r) {
        w.demes().resetDemes();
        oneGeneration(w);
        ASSERT_EQ(lineagesOn(w, 3), 0);
        ASSERT_EQ(lineagesOn(w, 4), 0);
        toA += lineagesOn(w, 1);
        total += lineagesOn(w, 1) + lineagesOn(w, 2);
    }
    // 20 drawn without replacement from 40: per replicate the count sent to A
    // is hypergeometric with variance 20 (1/4)(3/4)(20/39).
    const double se = std::sqrt(20 * 0.25 * 0.75 * (20.0 / 39) / replicates) / 20;
    EXPECT_NEAR(toA / double(total), 0.25, 4 * se);
}

TEST(BuildTree, ImmigrantShareOfAnOccupiedSegment) {
    // S held 1000 gene copies in both generations and 250 of them came from
    // A: a lineage is an immigrant (and goes to A) with probability 1/4.
    TestWorld w(5, 1);
    buildStar(w);
    w.setSizes(3, 1000);
    w.setImmigrants(3, 1, 5, 250);
    w.addSample("s", 3, 2);
    ASSERT_TRUE(w.createDemes());
    const int replicates = 4000;
    seedStream(w.rng, 12);
    long left = 0;
    long total = 0;
    for (int r = 0; r < replicates; ++r) {
        w.demes().resetDemes();
        oneGeneration(w);
        ASSERT_EQ(lineagesOn(w, 2) + lineagesOn(w, 4), 0);
        left += lineagesOn(w, 1);
        total += lineagesOn(w, 1) + lineagesOn(w, 3);
    }
    EXPECT_NEAR(left / double(total), 0.25, 4 * std::sqrt(0.25 * 0.75 / total) * 1.1);
}

TEST(BuildTree, LineagesBeyondTheImmigrantsAreRedistributed) {
    // S was empty at G - 1 but only 5 immigrants came (from A): 5 lineages go
    // to A, the 15 others are spread uniformly over the neighbours that held
    // individuals at G - 1 (A and B, not C).
    TestWorld w(5, 1);
    buildStar(w);
    w.setSize(3, 5, 32767);
    w.setSize(3, 4, 0);
    w.setSize(4, 4, 0);
    w.setImmigrants(3, 1, 5, 5);
    w.addSample("s", 3, 20);
    ASSERT_TRUE(w.createDemes());
    seedStream(w.rng, 13);
    {
        CoutCapture out;
        try {
            w.buildTree(1);
        } catch (const SimulationError&) {
        }
        EXPECT_NE(
            out.text().find("\n\tWARNING: Segment 3 Gen 5 -> Redistribution of 15 lineages in neighbouring cells!"),
            std::string::npos)
            << out.text();
    }
    const int replicates = 1000;
    long onB = 0;
    for (int r = 0; r < replicates; ++r) {
        w.demes().resetDemes();
        oneGeneration(w);
        ASSERT_EQ(lineagesOn(w, 3) + lineagesOn(w, 4), 0);
        ASSERT_GE(lineagesOn(w, 1), 5 - 1);  // at most one coalescence
        onB += lineagesOn(w, 2);
    }
    EXPECT_NEAR(onB / double(replicates), 7.5, 4 * std::sqrt(15 * 0.25 / replicates) + 0.05);
}

TEST(BuildTree, PrisonerLineagesStayInTheirDeme) {
    // At G - 1 = 4, S got 3 immigrants from A although A (like B and C) was
    // empty at generation 3: no lineage can follow them, the draw can never
    // end, and no neighbour can take the lineages in. They stay in S.
    TestWorld w(5, 2);
    buildStar(w);
    w.setSize(3, 5, 32767);
    w.setSize(3, 4, 32767);
    w.setSize(3, 3, 0);
    for (int id : {1, 2, 4}) w.setSize(id, 3, 0);
    w.setImmigrants(3, 1, 4, 3);
    w.addSample("s", 3, 2);
    ASSERT_TRUE(w.createDemes());
    seedStream(w.rng, 14);
    CoutCapture out;
    try {
        w.buildTree(1);
        FAIL() << "the two steps cannot join the lineages";
    } catch (const SimulationError& e) {
        EXPECT_EQ(e.message(), "buildTree():Coalescence process did not converge (still 2 lineages remaining!)");
    }
    EXPECT_EQ(out.text(),
              "\n\tWARNING: Segment 3 Gen 4 -> Redistribution of 2 lineages in neighbouring cells!"
              "\n\tERROR[TDeme::implementMigration]: Lineages are prisonner in Segment 3 (0), at generation 4");
    EXPECT_EQ(lineagesOn(w, 3), 2);
    EXPECT_EQ(w.demeOn(1), nullptr);
    EXPECT_EQ(w.demes().active.size(), 1u);
}

TEST(BuildTree, NonConvergenceReportsTheLineagesLeft) {
    TestWorld w(10, 0);
    buildIsolated(w, 50, 2);
    try {
        w.buildTree(1);
        FAIL() << "no exception";
    } catch (const SimulationError& e) {
        EXPECT_EQ(e.message(), "buildTree():Coalescence process did not converge (still 2 lineages remaining!)");
        EXPECT_EQ(e.level(), levelError);
    }
}

TEST(BuildTree, SeveralSourcesMergeAtDivergenceTimeZero) {
    // Two isolated sources, two genes sampled on each. Before generation 0
    // they cannot meet; at generation 0 (D = 0) all lineages join one deme of
    // 100 gene copies on the first source's segment.
    const int G = 5;
    TestWorld w(G);
    w.addSegment(1, 1, 2);
    w.addSegment(2, 3, 4);
    w.finish();
    w.setSizes(1, 32767);
    w.setSizes(2, 32767);
    w.addSource("X", 1);
    w.addSource("Y", 2);
    w.addSample("x", 1, 2);
    w.addSample("y", 2, 2);
    w.settings().divergenceTime = 0;
    ASSERT_TRUE(w.createDemes());
    const int replicates = 1000;
    seedStream(w.rng, 15);
    double sum = 0;
    for (int r = 0; r < replicates; ++r) {
        w.demes().resetDemes();
        quietBuild(w);
        const TreeNode& root = w.root();
        ASSERT_GE(root.time, G);
        ASSERT_EQ(TestWorld::firstGeneration(root), 0);
        ASSERT_EQ(TestWorld::firstLocation(root), 1);
        ASSERT_EQ(w.demes().active.size(), 1u);
        EXPECT_EQ(w.demes().active[0]->size, 100);
        sum += root.time - G;
    }
    // From generation -1 on the merged deme has N = 100: mean 2N(1 - 1/4)
    // generations for the four lineages (pre-merge events are negligible).
    double variance = 0;
    for (int k = 2; k <= 4; ++k) {
        const double p = k * (k - 1) / 200.0;
        variance += (1 - p) / (p * p);
    }
    EXPECT_NEAR(sum / replicates, 150.0, 4 * std::sqrt(variance / replicates));
    EXPECT_EQ(w.demes().mrcaSegment[0], w.segment(1));
}

TEST(BuildTree, SourcesWithoutMigrationStayApartUntilDivergence) {
    // N = 1 in both sources: each is down to one lineage at once; with
    // migration 0 the two meet only after the merge at -D.
    const int G = 3;
    const int D = 20;
    TestWorld w(G);
    w.addSegment(1, 1, 2);
    w.addSegment(2, 3, 4);
    w.finish();
    w.setSizes(1, 1);
    w.setSizes(2, 1);
    w.addSource("X", 1);
    w.addSource("Y", 2);
    w.addSample("x", 1, 3);
    w.addSample("y", 2, 2);
    w.settings().divergenceTime = D;
    ASSERT_TRUE(w.createDemes());
    seedStream(w.rng, 16);
    for (int r = 0; r < 50; ++r) {
        w.demes().resetDemes();
        quietBuild(w);
        const TreeNode& root = w.root();
        ASSERT_GT(root.time, G + D);
        std::vector<int> left;
        std::vector<int> right;
        sampleIdsBelow(*root.left, left);
        sampleIdsBelow(*root.right, right);
        for (int id : left) ASSERT_EQ(id, left[0]);
        for (int id : right) ASSERT_EQ(id, right[0]);
        ASSERT_NE(left[0], right[0]);
    }
}

TEST(BuildTree, MigrationAmongThreeSourcesLosesNoLineageAtTheMerge) {
    // Lineages moving between source demes may still be waiting as incoming
    // lineages in a deme when the divergence time comes. That deme stays
    // active after the merge; the next deme of the pass, still at -D, merges
    // it again, so no lineage is left behind.
    const int G = 2;
    TestWorld w(G);
    for (int i = 0; i < 3; ++i) w.addSegment(i + 1, 2 * i + 1, 2 * i + 2);
    w.finish();
    for (int id = 1; id <= 3; ++id) w.setSizes(id, 32767);
    w.addSource("X", 1, 0, 0.5f);
    w.addSource("Y", 2, 0, 0.5f);
    w.addSource("Z", 3, 0, 0.5f);
    w.addSample("x", 1, 2);
    w.addSample("y", 2, 2);
    w.addSample("z", 3, 2);
    w.settings().divergenceTime = 3;
    ASSERT_TRUE(w.createDemes());
    seedStream(w.rng, 17);
    for (int r = 0; r < 300; ++r) {
        w.demes().resetDemes();
        ASSERT_NO_THROW(quietBuild(w)) << r;
        ASSERT_EQ(w.demes().active.size(), 1u);
    }
}

TEST(BuildTree, NoOtherSourceDemeToMigrateTo) {
    // Two sources but lineages in one deme only: a migrating lineage finds
    // no other deme. The search gives up after the first draw, 999 redraws
    // and one last redraw, prints its warning and leaves the step.
    TestWorld w(0, 1);
    w.addSegment(1, 1, 2);
    w.addSegment(2, 3, 4);
    w.finish();
    w.setSizes(1, 32767);
    w.setSizes(2, 32767);
    w.addSource("X", 1, 0, 1.0f);
    w.addSource("Y", 2);
    w.addSample("x", 1, 2);
    w.settings().divergenceTime = 5;
    ASSERT_TRUE(w.createDemes());
    seedStream(w.rng, 18);
    CoutCapture out;
    EXPECT_THROW(w.buildTree(1), SimulationError);
    const double next = w.rng.uniform();
    EXPECT_EQ(out.text(),
              "WARNING:{TDeme::implementMultiOriginMigration}:[Impossible to find 2 different demes!, security number "
              "reached]\n");
    // Draws: coalescence test 1 (no event at N = 32767), migration test 1,
    // target 1 + 999 + 1.
    seedStream(w.rng, 18);
    for (int i = 0; i < 1003; ++i) w.rng.uniform();
    EXPECT_EQ(w.rng.uniform(), next);
    EXPECT_EQ(lineagesOn(w, 1), 2);
}

TEST(BuildTree, OverflowMergeJoinsTheSourceSegment) {
    // Source X on segment 1 overflowed into segment 2 at generation 0. Genes
    // sampled on 2 go back to 1 at generation 1; from then on the merged deme
    // holds 3 + 7 = 10 gene copies.
    const int G = 3;
    TestWorld w(G);
    w.addSegment(1, 1, 2);
    w.addSegment(2, 2, 3);
    w.finish();
    w.setSizes(1, 32767);
    w.setSizes(2, 32767);
    w.setSize(1, 0, 3);
    w.setSize(2, 0, 7);
    PopulationSource& x = w.addSource("X", 1);
    w.setOrigin(2, x);
    w.addSample("s", 2, 4);
    w.settings().allowInitialDensityOverflow = true;
    ASSERT_TRUE(w.createDemes());
    const int replicates = 2000;
    seedStream(w.rng, 19);
    double sum = 0;
    double variance = 0;
    for (int k = 2; k <= 4; ++k) {
        const double p = k * (k - 1) / 20.0;
        variance += (1 - p) / (p * p);
    }
    for (int r = 0; r < replicates; ++r) {
        w.demes().resetDemes();
        quietBuild(w);
        ASSERT_EQ(TestWorld::firstLocation(w.root()), 1);
        ASSERT_EQ(w.demeOn(1)->size, 10);
        sum += w.root().time - (G - 1);  // generation 0 is backward step G
    }
    EXPECT_NEAR(sum / replicates, 2 * 10 * (1 - 1 / 4.0), 4 * std::sqrt(variance / replicates));
}

TEST(BuildTree, OverflowMergeBeforeSeveralSourcesActivatesTheSourceDeme) {
    // As above, with a second source elsewhere: the ancestral phase of
    // several sources activates no new deme, so the source deme that got the
    // lineages in the overflow merge is activated there and then.
    const int G = 3;
    TestWorld w(G);
    w.addSegment(1, 1, 2);
    w.addSegment(2, 2, 3);
    w.addSegment(3, 5, 6);
    w.finish();
    for (int id = 1; id <= 3; ++id) w.setSizes(id, 32767);
    w.setSize(1, 0, 3);
    w.setSize(2, 0, 7);
    PopulationSource& x = w.addSource("X", 1);
    w.setOrigin(2, x);
    w.addSource("Y", 3);
    w.addSample("s", 2, 2);
    w.addSample("t", 3, 2);
    w.settings().allowInitialDensityOverflow = true;
    w.settings().divergenceTime = 2;
    ASSERT_TRUE(w.createDemes());
    seedStream(w.rng, 20);
    for (int r = 0; r < 50; ++r) {
        w.demes().resetDemes();
        ASSERT_NO_THROW(quietBuild(w));
        ASSERT_GT(w.root().time, G + 2);
    }
}

TEST(BuildTree, ResizeGivesTheSourceDemeItsAncestralSize) {
    // Single source with Resize = 1: from generation 0 on the deme has one
    // gene copy, so the four lineages join one per generation.
    const int G = 2;
    TestWorld w(G);
    w.addSegment(1, 1, 2);
    w.finish();
    w.setSizes(1, 32767);
    w.addSource("X", 1, 1);
    w.addSample("s", 1, 4);
    ASSERT_TRUE(w.createDemes());
    seedStream(w.rng, 21);
    quietBuild(w);
    EXPECT_EQ(w.demes().tree.node(4).time, G);
    EXPECT_EQ(w.demes().tree.node(5).time, G + 1);
    EXPECT_EQ(w.root().time, G + 2);
    EXPECT_EQ(TestWorld::firstGeneration(w.root()), 0);
    EXPECT_EQ(w.demeOn(1)->size, 1);
}

TEST(BuildTree, PartnerSearchGivesUpAfterOneHundredRedraws) {
    // N = 1 and two lineages: the event test always succeeds, then i1 and i2
    // are drawn. Chosen draws all below 0.5 keep giving lineage 0: i2 and its
    // 100 redraws all equal i1, one more deviate is drawn and the generation
    // passes without an event. The chosen values x(n) = A - n d - n^2 e
    // (n = 1 .. 55) go on by the generator's recurrence below 0.5 up to draw
    // 104, with draws 101 to 107 all different, so the next value tells how
    // many were used.
    TestWorld w(10, 1);
    buildIsolated(w, 1, 2);
    std::vector<long> x;
    for (long n = 1; n <= 55; ++n) x.push_back(100000000L - n * 1000000L - n * n * 1000L);
    for (std::size_t n = 55; n < 110; ++n) {
        long v = x[n - 55] - x[n - 24];
        x.push_back(v < 0 ? v + 1000000000L : v);
    }
    for (std::size_t n = 0; n < 104; ++n) ASSERT_LT(x[n], 500000000L) << n + 1;
    std::array<long, 55> next{};
    std::copy(x.begin(), x.begin() + 55, next.begin());
    w.rng.setNextRan3Values(next);
    {
        CoutCapture quiet;
        EXPECT_THROW(w.buildTree(1), SimulationError);  // one generation only: still 2 lineages
    }
    EXPECT_EQ(w.demes().countLineages(), 2);
    // Event test (draw 1), i1 (2), i2 (3), 100 redraws (4 .. 103), the last
    // deviate (104): the next one is draw 105.
    const double draw105 = static_cast<double>(static_cast<long double>(x[104]) * 1e-9L);
    for (std::size_t n : {102u, 103u, 105u, 106u}) ASSERT_NE(x[n], x[104]);
    EXPECT_EQ(w.rng.uniform(), draw105);
}

TEST(BuildTree, AncestralDemesWithoutMigrationLeaveTheirIncomingLineagesWaiting) {
    // Sources X (migration 1) and Y (migration 0, Resize 1). Before
    // generation 0 every lineage of X moves to Y, one per generation. Y merges
    // its incoming lineages only when its own rate is not 0, so they wait
    // there without coalescing until the divergence time, although Y holds a
    // single gene copy. Six steps end at generation -3, before D = 5: no
    // event has happened.
    const int G = 2;
    TestWorld w(G, G + 4);
    w.addSegment(1, 1, 2);
    w.addSegment(2, 3, 4);
    w.finish();
    w.setSizes(1, 32767);
    w.setSizes(2, 32767);
    w.addSource("X", 1, 0, 1.0f);
    w.addSource("Y", 2, 1, 0.0f);
    w.addSample("x", 1, 2);
    w.addSample("y", 2, 1);
    w.settings().divergenceTime = 5;
    ASSERT_TRUE(w.createDemes());
    seedStream(w.rng, 22);
    CoutCapture quiet;
    try {
        w.buildTree(1);
        FAIL() << "the lineages cannot meet before the divergence time";
    } catch (const SimulationError& e) {
        EXPECT_EQ(e.message(), "buildTree():Coalescence process did not converge (still 3 lineages remaining!)");
    }
    EXPECT_EQ(w.demeOn(2)->size, 1);
    EXPECT_EQ(lineagesOn(w, 2), 3);
}

TEST(BuildTree, ResizeGoesToTheFirstDemeMetOnly) {
    // One source X with Resize = 1 on segment 1; segment 2 was also filled
    // from X. From generation 0 on the first deme (sample a) has one gene
    // copy and its two lineages join at once; the deme of sample b keeps the
    // size it had at generation 1 (not its stored size 1 at generation 0),
    // so its lineages stay apart in the three steps from generation 0.
    const int G = 2;
    TestWorld w(G, G + 3);
    w.addSegment(1, 1, 2);
    w.addSegment(2, 3, 4);
    w.finish();
    w.setSizes(1, 32767);
    w.setSizes(2, 32767);
    w.setSize(2, 0, 1);
    PopulationSource& x = w.addSource("X", 1, 1);
    w.setOrigin(2, x);
    w.addSample("a", 1, 2);
    w.addSample("b", 2, 2);
    ASSERT_TRUE(w.createDemes());
    seedStream(w.rng, 23);
    CoutCapture quiet;
    try {
        w.buildTree(1);
        FAIL() << "sample b cannot coalesce";
    } catch (const SimulationError& e) {
        EXPECT_EQ(e.message(), "buildTree():Coalescence process did not converge (still 3 lineages remaining!)");
    }
    EXPECT_EQ(w.demeOn(1)->size, 1);
    EXPECT_EQ(w.demeOn(2)->size, 32767);
    EXPECT_EQ(w.demes().tree.node(4).time, G);  // a's pair, at generation 0
}

TEST(BuildTree, EmptyDemeMessagesShowCoordinatesAsTheStreamPrintsThem) {
    // Segment 1 lies at 1.5E, 45N and held nobody one generation before
    // sampling: both messages give the coordinates as a stream prints a
    // float, without trailing zeros.
    TestWorld w(10, 2);
    buildIsolated(w, 32767, 2);
    w.setSize(1, 9, 0);
    seedStream(w.rng, 24);
    CoutCapture out;
    EXPECT_THROW(w.buildTree(1), SimulationError);
    EXPECT_EQ(out.text(),
              "\n\tTDeme::coalesce_lineages() : deme size of population 1 (1.5E, 45N) is zero at time 9"
              "\n\t\tWARNING in implementMigration: migration from empty deme (seg: 1 (1.5E, 45N)) at generation 9");
}
