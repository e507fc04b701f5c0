#include "mutation/DataTypes.h"

#include "coalescent/GenealogyTree.h"
#include "random/Rng.h"
#include "settings/Settings.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace fluviagen;

namespace {

// Restarts the main generator from `seed` without the console line of the
// program's own seeding.
void seedStream(Rng& rng, long seed) {
    rng = Rng{};
    long s = seed;
    rng.uniform(s);
}

void join(TreeNode& parent, TreeNode& a, TreeNode& b, int time) {
    parent.left = &a;
    parent.right = &b;
    parent.ancestor = nullptr;
    a.ancestor = &parent;
    b.ancestor = &parent;
    parent.time = time;
}

// Leaves 0 and 1 joined in node 3 at time t1, node 3 and leaf 2 in the root
// (node 4) at time t2.
void buildThreeLeaves(GenealogyTree& tree, int t1, int t2) {
    tree.resize(3);
    join(tree.node(3), tree.node(0), tree.node(1), t1);
    join(tree.node(4), tree.node(3), tree.node(2), t2);
}

// Expected total length 2N * sum_{i=1}^{n-1} 1/i and its variance
// sum_k k^2 (1 - p_k) / p_k^2 for the genealogies of buildKingman.
struct KingmanLength {
    double mean = 0.0;
    double variance = 0.0;
};

KingmanLength kingmanLength(int n, int N) {
    KingmanLength l;
    for (int k = 2; k <= n; ++k) {
        const double p = k * (k - 1) / (2.0 * N);
        l.mean += k / p;
        l.variance += static_cast<double>(k) * k * (1.0 - p) / (p * p);
    }
    return l;
}

// The mutation parameters of the settings of one locus.
Settings locusSettings(int type, float mu, int nSites, float gammaA = 0.0f, float tf = 0.5f, int range = 0,
                       float gsm = 0.0f) {
    Settings s;
    s.dataType = static_cast<std::int8_t>(type);
    s.mutationRate = mu;
    s.numLinkedLoci = nSites;
    s.gammaA = gammaA;
    s.transitionFraction = tf;
    s.microsatRange = range;
    s.gsmGeometricParameter = gsm;
    return s;
}

int sumOfHits(const MutationResult& r) { return std::accumulate(r.hits.begin(), r.hits.end(), 0); }

int branchMutations(const GenealogyTree& tree) {
    int m = 0;
    for (int i = 0; i < tree.nodeCount() - 1; ++i) m += tree.node(i).mutations;
    return m;
}

class MutationTest : public testing::Test {
protected:
    Rng rng;

    // The mutations of one genealogy (simulation 1).
    MutationResult sprinkle(GenealogyTree& tree, float mu, int nSites, int type, float gammaA = 0.0f, float tf = 0.5f,
                            int range = 0, float gsm = 0.0f) {
        const Settings s = locusSettings(type, mu, nSites, gammaA, tf, range, gsm);
        return makeDataType(s)->sprinkle(tree, {{}, 1}, rng);
    }

    MutationResult sprinkleSnps(GenealogyTree& tree, int nSites, float minSnp, float minSnpInSample,
                                const std::vector<int>& sampleSizes, int simulation = 1) {
        Settings s = locusSettings(SNP, 0.0f, nSites);
        s.minSnpFrequency = minSnp;
        s.minSnpFrequencyInSample = minSnpInSample;
        return Snp(s).sprinkle(tree, {sampleSizes, simulation}, rng);
    }

    // A Kingman genealogy of n genes in a population of N gene copies,
    // simulated in whole generations: with k lineages, two of them (chosen
    // uniformly) find their common ancestor in a generation with probability
    // k(k-1)/2N. The tree is reused between calls (stale sequences must be
    // overwritten). Returns the total branch length in generations.
    long long buildKingman(GenealogyTree& tree, int n, int N) {
        if (tree.size() != n) tree.resize(n);
        for (int i = 0; i < tree.nodeCount(); ++i) {
            TreeNode& node = tree.node(i);
            node.left = node.right = node.ancestor = nullptr;
            node.time = 0;
        }
        std::vector<TreeNode*> lineages;
        for (int i = 0; i < n; ++i) lineages.push_back(&tree.node(i));
        long long t = 0;
        long long total = 0;
        int next = n;
        for (int k = n; k > 1; --k) {
            const double p = k * (k - 1) / (2.0 * N);
            long long wait = 1;
            if (p < 1.0)
                wait =
                    std::max(1LL, static_cast<long long>(std::ceil(std::log(1.0 - rng.uniform()) / std::log(1.0 - p))));
            t += wait;
            total += k * wait;
            const int i = static_cast<int>(rng.uniform() * k);
            int j = static_cast<int>(rng.uniform() * (k - 1));
            if (j >= i) ++j;
            join(tree.node(next), *lineages[i], *lineages[j], static_cast<int>(t));
            lineages[std::min(i, j)] = &tree.node(next);
            lineages.erase(lineages.begin() + std::max(i, j));
            ++next;
        }
        return total;
    }

    // The documented order of draws on buildThreeLeaves(tree, 40, 100): branch
    // by branch in tree order (root-3, 3-0, 3-1, root-2), each its Poisson
    // count at `rate`, then its mutations; `inherit(child, parent)` copies the
    // parent's state, `mutate(child)` applies one mutation. Returns the counts
    // per node.
    template <class Inherit, class Mutate>
    std::vector<int> replayBranches(double rate, Inherit inherit, Mutate mutate) {
        std::vector<int> counts(5, 0);
        const int branches[4][3] = {{3, 4, 60}, {0, 3, 40}, {1, 3, 40}, {2, 4, 100}};
        for (const auto& b : branches) {
            counts[b[0]] = static_cast<int>(rng.poissonDeviate(static_cast<float>(b[2] * rate)));
            inherit(b[0], b[1]);
            for (int i = 0; i < counts[b[0]]; ++i) mutate(b[0]);
        }
        return counts;
    }
};

}  // namespace

// ---------------------------------------------------------------------------
// The mean number of mutations per genealogy is mu times the expected total
// length of the genealogy, 2N * H(n-1) generations for a Kingman coalescent.
// MICROSAT loci draw their own rate from a gamma of shape 2 and mean mu,
// which adds to the variance (E[rate^2] = 1.5 mu^2).

TEST_F(MutationTest, MeanCountIsRateTimesKingmanTreeLength) {
    const int n = 10, N = 100, reps = 2000;
    const float mu = 0.01f;
    const KingmanLength l = kingmanLength(n, N);
    GenealogyTree tree;
    for (int type : {STANDARD, MICROSAT}) {
        seedStream(rng, type == STANDARD ? -4711 : -2024);
        double sumM = 0.0, sumExpected = 0.0;
        for (int r = 0; r < reps; ++r) {
            const long long length = buildKingman(tree, n, N);
            Rng before = rng;  // the rate of a MICROSAT locus is its first draw
            const MutationResult res = sprinkle(tree, mu, type == STANDARD ? 5 : 1, type);
            const double rate = type == STANDARD ? mu : before.gammaDeviate(2.0, 2.0 / static_cast<double>(mu));
            // Every branch adds its length x rate to the expected count.
            ASSERT_NEAR(res.treeLength, rate * length, 1e-5 * length * mu);
            ASSERT_EQ(sumOfHits(res), res.placed);
            ASSERT_EQ(branchMutations(tree), res.placed);
            sumM += res.placed;
            sumExpected += res.treeLength;
        }
        const double mean = mu * l.mean;
        const double rateSquare = type == STANDARD ? 1.0 : 1.5;
        const double variance = mean + rateSquare * mu * mu * (l.variance + l.mean * l.mean) - mean * mean;
        EXPECT_NEAR(sumM / reps, mean, 4.0 * std::sqrt(variance / reps)) << "type " << type;
        // Given the genealogies, the count is a Poisson sum of their lengths x rate.
        EXPECT_NEAR(sumM, sumExpected, 4.0 * std::sqrt(sumExpected)) << "type " << type;
    }
}

// ---------------------------------------------------------------------------
// Order of the draws: the root's first child's count, that child's mutations
// (one site deviate each), its subtree, then the second child's count.

TEST_F(MutationTest, ChildByChildInTreeOrder) {
    GenealogyTree tree;
    buildThreeLeaves(tree, 40, 100);
    const float mu = 0.05f;
    const int nSites = 3;
    seedStream(rng, -77);
    const int placed = sprinkle(tree, mu, nSites, STANDARD).placed;
    ASSERT_EQ(placed, branchMutations(tree));
    const double after = rng.uniform();

    seedStream(rng, -77);
    std::vector<std::vector<int>> expected(5, std::vector<int>(nSites, 0));
    const std::vector<int> counts = replayBranches(
        mu, [&](int child, int parent) { expected[child] = expected[parent]; },
        [&](int child) { ++expected[child][static_cast<int>(rng.uniform() * nSites)]; });
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(tree.node(i).mutations, counts[i]) << "node " << i;
        EXPECT_EQ(tree.node(i).sequence, expected[i]) << "node " << i;
    }
    EXPECT_EQ(tree.node(4).sequence, std::vector<int>(nSites, 0));
    EXPECT_EQ(rng.uniform(), after);  // and no other draw was made
}

// ---------------------------------------------------------------------------

TEST_F(MutationTest, ZeroLengthBranchGetsNoMutation) {
    // Two genes that coalesce in the generation of sampling share their
    // parent's state exactly, however high the rate.
    GenealogyTree tree;
    buildThreeLeaves(tree, 0, 500);
    seedStream(rng, -5);
    for (int type : {RFLP, DNA, STANDARD}) {
        for (int r = 0; r < 20; ++r) {
            const MutationResult res = sprinkle(tree, 0.1f, 4, type);
            EXPECT_EQ(tree.node(0).mutations, 0);
            EXPECT_EQ(tree.node(1).mutations, 0);
            EXPECT_EQ(tree.node(0).sequence, tree.node(3).sequence);
            EXPECT_EQ(tree.node(1).sequence, tree.node(3).sequence);
            EXPECT_GT(res.placed, 0);
            // Each branch mean is rounded to single precision: 500 x 0.1f -> 50.
            EXPECT_EQ(res.treeLength, 100.0);
        }
    }
}

TEST_F(MutationTest, HitTableAndTreesWithoutBranchesOrSites) {
    GenealogyTree tree;
    buildThreeLeaves(tree, 10, 300);
    seedStream(rng, -3);
    // One hit count per site of the locus, whatever the sites of the
    // genealogy before.
    sprinkle(tree, 0.2f, 6, RFLP);
    const MutationResult res = sprinkle(tree, 0.2f, 4, RFLP);
    ASSERT_EQ(res.hits.size(), 4u);
    EXPECT_EQ(sumOfHits(res), res.placed);

    // No site, or no gene: nothing placed and nothing drawn.
    seedStream(rng, -3);
    const MutationResult none = sprinkle(tree, 0.5f, 0, DNA);
    EXPECT_EQ(none.placed, 0);
    EXPECT_EQ(none.treeLength, 0.0);
    EXPECT_TRUE(none.hits.empty());
    GenealogyTree empty;
    EXPECT_EQ(sprinkle(empty, 0.5f, 4, STANDARD).placed, 0);
    const double first = rng.uniform();
    seedStream(rng, -3);
    EXPECT_EQ(first, rng.uniform());

    // A single gene is the root: DNA gives it uniformly drawn letters.
    GenealogyTree single(1);
    const int nSites = 4000;
    EXPECT_EQ(sprinkle(single, 0.5f, nSites, DNA).placed, 0);
    int count[4] = {0, 0, 0, 0};
    for (int letter : single.node(0).sequence) ++count[letter];
    for (int c : count) EXPECT_NEAR(c, nSites / 4.0, 4.0 * std::sqrt(nSites * 0.25 * 0.75));
}

// ---------------------------------------------------------------------------
// DNA: transitions stay within purines (A, G) or pyrimidines (C, T).

TEST_F(MutationTest, TransitionFractionOneAndZero) {
    const auto purine = [](int s) { return s == 0 || s == 1; };
    GenealogyTree tree;
    seedStream(rng, -31);
    int transversionsTo[4] = {0, 0, 0, 0};
    for (float tf : {1.0f, 0.0f}) {
        int checked = 0;
        for (int r = 0; r < 200; ++r) {
            buildKingman(tree, 8, 50);
            sprinkle(tree, 0.02f, 1, DNA, 0.0f, tf);
            for (int i = 0; i < tree.nodeCount() - 1; ++i) {
                const TreeNode& node = tree.node(i);
                const int parent = node.ancestor->sequence[0];
                const int child = node.sequence[0];
                ASSERT_TRUE(child >= 0 && child <= 3);
                const bool odd = node.mutations % 2 == 1;
                if (tf == 1.0f) {
                    // A <-> G and C <-> T only: an odd count leaves the partner.
                    EXPECT_EQ(child, odd ? (parent ^ 1) : parent);
                } else {
                    // Every change crosses between the two classes.
                    EXPECT_EQ(purine(child), odd ? !purine(parent) : purine(parent));
                    if (node.mutations == 1) ++transversionsTo[child];
                }
                checked += node.mutations > 0;
            }
        }
        EXPECT_GT(checked, 100);
    }
    // Both letters of the other class are reachable.
    for (int s = 0; s < 4; ++s) EXPECT_GT(transversionsTo[s], 10) << "letter " << s;
}

// ---------------------------------------------------------------------------
// Site choice: gamma rate heterogeneity only for DNA, and only with a shape of
// at least 1e-7.

TEST_F(MutationTest, GammaRatesOnlyForDnaWithAShape) {
    const int nSites = 10;
    seedStream(rng, -101);
    // Chi-square statistic of the site hits of 5 genealogies against equal
    // rates, the data type prepared as for a genetic phase (four categories).
    const auto siteChiSquare = [&](int type, float gammaA) {
        Settings s = locusSettings(type, 0.5f, nSites, gammaA);
        s.numGammaCategories = 4;
        const auto dataType = makeDataType(s);
        dataType->prepare(rng);
        GenealogyTree tree;
        buildThreeLeaves(tree, 1, 1000);
        std::vector<double> hits(static_cast<std::size_t>(nSites), 0.0);
        double total = 0.0;
        for (int r = 0; r < 5; ++r) {
            const MutationResult res = dataType->sprinkle(tree, {{}, 1}, rng);
            total += res.placed;
            for (int i = 0; i < nSites; ++i) hits[i] += res.hits[i];
        }
        double chi2 = 0.0;
        for (double h : hits) chi2 += (h - total / nSites) * (h - total / nSites) / (total / nSites);
        return chi2;
    };
    // Strong heterogeneity: a few sites carry almost all the rate.
    // 9 degrees of freedom: 40 is far in the tail of equal rates (p < 1e-5).
    EXPECT_GT(siteChiSquare(DNA, 0.1f), 1000.0);
    EXPECT_LT(siteChiSquare(DNA, 0.0f), 40.0);
    EXPECT_LT(siteChiSquare(DNA, 1e-8f), 40.0);
    EXPECT_LT(siteChiSquare(RFLP, 0.1f), 40.0);
    EXPECT_LT(siteChiSquare(STANDARD, 0.1f), 40.0);
}

// ---------------------------------------------------------------------------
// MICROSAT

TEST_F(MutationTest, StatesStayInRangeAndBoundsMoveInward) {
    // R allele sizes around the ancestral 0: R = 4 gives -1..2, 5 gives -2..2,
    // 9 gives -4..4, 10 gives -4..5. A state at a bound can only move inward.
    const int ranges[][3] = {{4, -1, 2}, {5, -2, 2}, {9, -4, 4}, {10, -4, 5}};
    const MicrosatBounds unconstrained = microsatBounds(0);  // R = 0: no range, bounds unused
    EXPECT_EQ(unconstrained.lower, 0);
    EXPECT_EQ(unconstrained.upper, 0);
    GenealogyTree tree;
    for (const auto& [range, lo, hi] : ranges) {
        seedStream(rng, -range);
        const MicrosatBounds bounds = microsatBounds(range);
        ASSERT_EQ(bounds.lower, lo) << "R = " << range;
        ASSERT_EQ(bounds.upper, hi) << "R = " << range;
        bool reachedLo = false, reachedHi = false;
        int fromLo = 0, fromHi = 0;
        for (int r = 0; r < 300; ++r) {
            buildKingman(tree, 10, 100);
            // Geometric steps of mean about 2 overshoot the bounds often.
            sprinkle(tree, 0.01f, 1, MICROSAT, 0.0f, 0.5f, range, 0.5f);
            for (int i = 0; i < tree.nodeCount(); ++i) {
                const TreeNode& node = tree.node(i);
                const int s = node.sequence[0];
                ASSERT_GE(s, lo);
                ASSERT_LE(s, hi);
                reachedLo = reachedLo || s == lo;
                reachedHi = reachedHi || s == hi;
                if (node.ancestor == nullptr || node.mutations != 1) continue;
                const int parent = node.ancestor->sequence[0];
                EXPECT_NE(s, parent);  // one mutation always changes the state
                if (parent == lo) {
                    EXPECT_GT(s, lo);
                    ++fromLo;
                }
                if (parent == hi) {
                    EXPECT_LT(s, hi);
                    ++fromHi;
                }
            }
        }
        EXPECT_TRUE(reachedLo && reachedHi) << "R = " << range;
        EXPECT_GT(fromLo, 0) << "R = " << range;
        EXPECT_GT(fromHi, 0) << "R = " << range;
    }
}

TEST_F(MutationTest, SingleStepsBelowTheGsmThreshold) {
    // Unconstrained single steps: never farther than the number of mutations,
    // and an odd count can never return to the parent's state.
    GenealogyTree tree;
    seedStream(rng, -66);
    for (int r = 0; r < 300; ++r) {
        buildKingman(tree, 10, 100);
        sprinkle(tree, 0.01f, 1, MICROSAT, 0.0f, 0.5f, 0, 0.0009f);
        for (int i = 0; i < tree.nodeCount() - 1; ++i) {
            const TreeNode& node = tree.node(i);
            const int step = std::abs(node.sequence[0] - node.ancestor->sequence[0]);
            EXPECT_LE(step, node.mutations);
            EXPECT_EQ(step % 2, node.mutations % 2);
        }
    }
}

TEST_F(MutationTest, DrawOrderLocusRateStepThenDirection) {
    // Per locus: its rate, its step parameter; then branch by branch as for
    // the other types, and per mutation the step size before the direction.
    GenealogyTree tree;
    buildThreeLeaves(tree, 40, 100);
    const float mu = 0.05f, q = 0.5f;
    seedStream(rng, -404);
    const MutationResult res = sprinkle(tree, mu, 1, MICROSAT, 0.0f, 0.5f, 0, q);
    const int placed = res.placed;
    const double after = rng.uniform();

    seedStream(rng, -404);
    const double rate = rng.gammaDeviate(2.0, 2.0 / static_cast<double>(mu));
    const float alpha = q * 199.0f + 0.5f;
    const double p = rng.betaDeviate(alpha, ((1.0f - q) * alpha) / q);
    std::vector<int> state(5, 0);
    const std::vector<int> counts = replayBranches(
        rate, [&](int child, int parent) { state[child] = state[parent]; },
        [&](int child) {
            const int step = 1 + rng.geometricDeviate(p);
            state[child] += rng.uniform() >= 0.5 ? step : -step;
        });
    EXPECT_EQ(placed, counts[0] + counts[1] + counts[2] + counts[3]);
    EXPECT_GT(placed, 0);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(tree.node(i).mutations, counts[i]) << "node " << i;
        EXPECT_EQ(tree.node(i).sequence[0], state[i]) << "node " << i;
    }
    EXPECT_EQ(rng.uniform(), after);

    // The locus rate is gamma(2) / b with b = 2 / mu in double (2.0f / mu
    // would be 40 exactly); each branch mean is length x rate in double,
    // stored as float, and the tree length sums those floats. With the rate
    // rounded to float first the sum would differ.
    EXPECT_NE(2.0 / static_cast<double>(mu), static_cast<double>(2.0f / mu));
    double length = 0.0;
    double withFloatRate = 0.0;
    for (int branch : {60, 40, 40, 100}) {
        length += static_cast<float>(branch * rate);
        withFloatRate += branch * static_cast<float>(rate);
    }
    EXPECT_EQ(res.treeLength, length);
    EXPECT_NE(withFloatRate, length);
}

TEST_F(MutationTest, LocusStepParameterIsABetaOfSinglePrecisionShapes) {
    // q = 0.7: alpha = q 199 + 0.5 and beta = (1 - q) alpha / q, each step in
    // single precision, are 0x1.17999ap+7 and 0x1.df5078p+5. In double they
    // would be 139.79999762... and 59.91428809..., and even rounded to float
    // that beta would be 0x1.df5076p+5.
    seedStream(rng, -505);
    const double p = microsatStepParameter(0.7f, rng);
    const double after = rng.uniform();
    seedStream(rng, -505);
    EXPECT_EQ(p, rng.betaDeviate(0x1.17999ap+7f, 0x1.df5078p+5f));
    EXPECT_EQ(rng.uniform(), after);
    // Below 0.001 the stepwise model: no draw.
    seedStream(rng, -505);
    const double first = rng.uniform();
    seedStream(rng, -505);
    EXPECT_EQ(microsatStepParameter(0.0009f, rng), 0.0);
    EXPECT_EQ(rng.uniform(), first);
}

// ---------------------------------------------------------------------------
// SNP

namespace {

// Two sample demes of two genes each: leaves 0, 1 (deme 0) meet at time 100,
// leaves 2, 3 (deme 1) at time 100, and the two pairs at time 1000. Most
// mutations fall on one of the two long inner branches (2 derived genes of 4).
void buildTwoPairs(GenealogyTree& tree) {
    tree.resize(4);
    join(tree.node(4), tree.node(0), tree.node(1), 100);
    join(tree.node(5), tree.node(2), tree.node(3), 100);
    join(tree.node(6), tree.node(4), tree.node(5), 1000);
}

int derivedLeaves(const GenealogyTree& tree, int site, int first, int last) {
    int k = 0;
    for (int i = first; i < last; ++i) k += tree.node(i).sequence[site];
    return k;
}

}  // namespace

TEST_F(MutationTest, SitesRespectTheMinimumFrequency) {
    GenealogyTree tree;
    seedStream(rng, -12);
    const int n = 20, nSites = 10;
    for (int r = 0; r < 30; ++r) {
        buildKingman(tree, n, 200);
        const MutationResult res = sprinkleSnps(tree, nSites, 0.2f, 0.0f, {10, 10}, r + 1);
        EXPECT_EQ(res.placed, 0);
        EXPECT_EQ(res.treeLength, 0.0);
        ASSERT_EQ(res.hits.size(), static_cast<std::size_t>(nSites));
        for (int s = 0; s < nSites; ++s) {
            EXPECT_EQ(res.hits[s], 1);
            const int i = derivedLeaves(tree, s, 0, n);
            EXPECT_GE(std::min(i, n - i), 4) << "site " << s;  // 4 / 20 = 0.2
        }
    }
}

TEST_F(MutationTest, ZeroMinimumAcceptsTheFirstPositionOnTheBranchesLaidEndToEnd) {
    // The branches in pre-order along [0, L), L = 2200 generations:
    // root-pair0 [0, 900), pair0-gene0 [900, 1000), pair0-gene1 [1000, 1100),
    // root-pair1 [1100, 2000), pair1-gene2 [2000, 2100), pair1-gene3 [2100, 2200).
    // With a minimum of 0 the first position of every site is kept: one
    // deviate per site and no rate or Poisson draw.
    GenealogyTree tree;
    buildTwoPairs(tree);
    seedStream(rng, -13);
    const int nSites = 400;
    sprinkleSnps(tree, nSites, 0.0f, 0.0f, {2, 2});
    const double next = rng.uniform();
    seedStream(rng, -13);
    // End of each branch's interval and the genes below it (bits 0..3).
    const int layout[6][2] = {{900, 0b0011},  {1000, 0b0001}, {1100, 0b0010},
                              {2000, 0b1100}, {2100, 0b0100}, {2200, 0b1000}};
    int leafBranchHits = 0;
    for (int s = 0; s < nSites; ++s) {
        const int x = static_cast<int>(rng.uniform() * 2200);
        int b = 0;
        while (x >= layout[b][0]) ++b;
        leafBranchHits += b != 0 && b != 3;
        for (int i = 0; i < 4; ++i)
            ASSERT_EQ(tree.node(i).sequence[s], (layout[b][1] >> i) & 1) << "site " << s << " x " << x;
    }
    EXPECT_GT(leafBranchHits, 0);
    EXPECT_EQ(next, rng.uniform());
}

TEST_F(MutationTest, WithinSampleRuleAndImpossibleSites) {
    GenealogyTree tree;
    buildTwoPairs(tree);
    seedStream(rng, -14);
    // Globally a single gene (1 of 4) is never frequent enough, but within its
    // deme of two it is at 0.5: only the short leaf branches are accepted.
    sprinkleSnps(tree, 3, 0.6f, 0.5f, {2, 2});
    for (int s = 0; s < 3; ++s) EXPECT_EQ(derivedLeaves(tree, s, 0, 4), 1) << "site " << s;

    // Nothing reaches 0.6 overall: every site is given up after 20000
    // positions, left monomorphic, and reported once.
    testing::internal::CaptureStdout();
    sprinkleSnps(tree, 2, 0.6f, 0.0f, {2, 2}, 17);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out,
              "ERROR: {TDemeCollection::sprinkle_mutations} [Impossible to generate enough snp polymorphisms "
              "for simulation 17 !]\n");
    for (int s = 0; s < 2; ++s) EXPECT_EQ(derivedLeaves(tree, s, 0, 4), 0);
    // Only the leaves are put back after a rejected position: an inner node
    // marked by an earlier attempt keeps its derived state.
    for (int s = 0; s < 2; ++s) EXPECT_EQ(tree.node(4).sequence[s] + tree.node(5).sequence[s], 2) << "site " << s;
}
