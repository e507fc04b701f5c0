#include "coalescent/Mutation.h"

#include "coalescent/GammaRates.h"
#include "coalescent/Random.h"
#include "genetics/GenealogyTree.h"
#include "run/Settings.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Restarts the main generator from `seed` without the console line of the
// program's own seeding.
void seedStream(long seed) {
    resetRandomState();
    long s = seed;
    ran3(s);
}

void resetAll(long seed) {
    resetMutationState();
    resetSiteRates();
    seedStream(seed);
}

void join(TNode& parent, TNode& a, TNode& b, int time) {
    parent.left = &a;
    parent.right = &b;
    parent.ancestor = nullptr;
    a.ancestor = &parent;
    b.ancestor = &parent;
    parent.time = time;
}

// Leaves 0 and 1 joined in node 3 at time t1, node 3 and leaf 2 in the root
// (node 4) at time t2.
void buildThreeLeaves(TTree& tree, int t1, int t2) {
    tree.resize(3);
    join(tree.node(3), tree.node(0), tree.node(1), t1);
    join(tree.node(4), tree.node(3), tree.node(2), t2);
}

// A Kingman genealogy of n genes in a population of N gene copies, simulated
// in whole generations: with k lineages, two of them (chosen uniformly) find
// their common ancestor in a generation with probability k(k-1)/2N. The tree
// is reused between calls (stale sequences must be overwritten). Returns the
// total branch length in generations.
long long buildKingman(TTree& tree, int n, int N) {
    if (tree.size() != n) tree.resize(n);
    for (int i = 0; i < tree.nodeCount(); ++i) {
        TNode& node = tree.node(i);
        node.left = node.right = node.ancestor = nullptr;
        node.time = 0;
    }
    std::vector<TNode*> lineages;
    for (int i = 0; i < n; ++i) lineages.push_back(&tree.node(i));
    long long t = 0;
    long long total = 0;
    int next = n;
    for (int k = n; k > 1; --k) {
        const double p = k * (k - 1) / (2.0 * N);
        long long wait = 1;
        if (p < 1.0)
            wait = std::max(1LL, static_cast<long long>(std::ceil(std::log(1.0 - ran3()) / std::log(1.0 - p))));
        t += wait;
        total += k * wait;
        const int i = static_cast<int>(ran3() * k);
        int j = static_cast<int>(ran3() * (k - 1));
        if (j >= i) ++j;
        join(tree.node(next), *lineages[i], *lineages[j], static_cast<int>(t));
        lineages[std::min(i, j)] = &tree.node(next);
        lineages.erase(lineages.begin() + std::max(i, j));
        ++next;
    }
    return total;
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

int sprinkle(TTree& tree, float mu, int nSites, int type, float gammaA = 0.0f, float tf = 0.5f, int range = 0,
             float gsm = 0.0f) {
    return sprinkle_mutations(tree, mu, gsm, nSites, type, gammaA, tf, range, 0.0f, 0.0f, 1, {});
}

int sumOfHits(int nSites) {
    const auto& hits = mutationState().hits;
    return std::accumulate(hits.begin(), hits.begin() + nSites, 0);
}

int branchMutations(const TTree& tree) {
    int m = 0;
    for (int i = 0; i < tree.nodeCount() - 1; ++i) m += tree.node(i).mutations;
    return m;
}

}  // namespace

// ---------------------------------------------------------------------------
// The mean number of mutations per genealogy is mu times the expected total
// length of the genealogy: 2N * H(n-1) generations for a Kingman coalescent.

TEST(MutationTheory, MeanCountIsRateTimesKingmanTreeLength) {
    resetAll(-4711);
    const int n = 10, N = 100, reps = 2000;
    const float mu = 0.01f;
    TTree tree;
    double sumM = 0.0, sumExpected = 0.0;
    for (int r = 0; r < reps; ++r) {
        const long long length = buildKingman(tree, n, N);
        const int m = sprinkle(tree, mu, 5, STANDARD);
        // Every branch contributes length x rate to the expected count.
        ASSERT_NEAR(treeLength(), static_cast<double>(mu) * static_cast<double>(length), 1e-5 * length * mu);
        ASSERT_EQ(sumOfHits(5), m);
        ASSERT_EQ(branchMutations(tree), m);
        EXPECT_EQ(tree.node(2 * n - 2).mutations, 0);
        sumM += m;
        sumExpected += treeLength();
    }
    const KingmanLength l = kingmanLength(n, N);
    const double mean = mu * l.mean;
    const double variance = mu * l.mean + mu * mu * l.variance;
    EXPECT_NEAR(sumM / reps, mean, 4.0 * std::sqrt(variance / reps));
    // Given the genealogies, the count is a Poisson sum of their lengths x mu.
    EXPECT_NEAR(sumM, sumExpected, 4.0 * std::sqrt(sumExpected));
}

TEST(MutationTheory, MicrosatLocusRateHasMeanMu) {
    // Each locus draws its rate from a gamma of shape 2 and mean mu, so the
    // count per locus has mean mu * E[L] and the extra variance of that rate
    // (E[rate^2] = 1.5 mu^2).
    resetAll(-2024);
    const int n = 10, N = 100, reps = 2000;
    const float mu = 0.01f;
    TTree tree;
    double sumM = 0.0;
    for (int r = 0; r < reps; ++r) {
        const long long length = buildKingman(tree, n, N);
        const int m = sprinkle(tree, mu, 1, MICROSAT);
        ASSERT_NEAR(treeLength(), mutationState().currentRate * static_cast<double>(length), 1e-5 * length * mu);
        ASSERT_EQ(sumOfHits(1), m);
        ASSERT_EQ(branchMutations(tree), m);
        sumM += m;
    }
    const KingmanLength l = kingmanLength(n, N);
    const double mean = mu * l.mean;
    const double variance = mean + 1.5 * mu * mu * (l.variance + l.mean * l.mean) - mean * mean;
    EXPECT_NEAR(sumM / reps, mean, 4.0 * std::sqrt(variance / reps));
}

// ---------------------------------------------------------------------------
// Order of the draws: the root's first child's count, that child's mutations
// (one site deviate each), its subtree, then the second child's count.

TEST(MutationDraws, ChildByChildInTreeOrder) {
    TTree tree;
    buildThreeLeaves(tree, 40, 100);
    const float mu = 0.05f;
    const int nSites = 3;
    resetAll(-77);
    const int placed = sprinkle(tree, mu, nSites, STANDARD);
    ASSERT_EQ(placed, branchMutations(tree));
    const double after = ran3();

    seedStream(-77);
    std::vector<std::vector<int>> expected(5, std::vector<int>(nSites, 0));
    std::vector<int> counts(5, 0);
    auto branch = [&](int child, int parent, int length) {
        counts[child] = static_cast<int>(poissonDeviate(static_cast<float>(length * static_cast<double>(mu))));
        expected[child] = expected[parent];
        for (int i = 0; i < counts[child]; ++i) ++expected[child][static_cast<int>(ran3() * nSites)];
    };
    branch(3, 4, 60);
    branch(0, 3, 40);
    branch(1, 3, 40);
    branch(2, 4, 100);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(tree.node(i).mutations, counts[i]) << "node " << i;
        EXPECT_EQ(tree.node(i).sequence, expected[i]) << "node " << i;
    }
    EXPECT_EQ(tree.node(4).sequence, std::vector<int>(nSites, 0));
    EXPECT_EQ(ran3(), after);  // and no other draw was made
}

// ---------------------------------------------------------------------------

TEST(MutationBranches, ZeroLengthBranchGetsNoMutation) {
    // Two genes that coalesce in the generation of sampling share their
    // parent's state exactly, however high the rate.
    TTree tree;
    buildThreeLeaves(tree, 0, 500);
    resetAll(-5);
    for (int type : {RFLP, DNA, STANDARD}) {
        for (int r = 0; r < 20; ++r) {
            const int m = sprinkle(tree, 0.1f, 4, type);
            EXPECT_EQ(tree.node(0).mutations, 0);
            EXPECT_EQ(tree.node(1).mutations, 0);
            EXPECT_EQ(tree.node(0).sequence, tree.node(3).sequence);
            EXPECT_EQ(tree.node(1).sequence, tree.node(3).sequence);
            EXPECT_GT(m, 0);
            // Each branch mean is rounded to single precision: 500 x 0.1f -> 50.
            EXPECT_EQ(treeLength(), 100.0);
        }
    }
}

TEST(MutationBranches, HitTableIsClearedAndNeverShrinks) {
    TTree tree;
    buildThreeLeaves(tree, 10, 300);
    resetAll(-9);
    sprinkle(tree, 0.2f, 6, RFLP);
    ASSERT_EQ(mutationState().hits.size(), 6u);
    const int m = sprinkle(tree, 0.2f, 4, RFLP);
    ASSERT_EQ(mutationState().hits.size(), 6u);
    EXPECT_EQ(sumOfHits(6), m);
    EXPECT_EQ(mutationState().hits[4] + mutationState().hits[5], 0);
}

TEST(MutationBranches, NothingToMutateDrawsNothing) {
    TTree tree;
    buildThreeLeaves(tree, 10, 300);
    resetAll(-3);
    EXPECT_EQ(sprinkle(tree, 0.5f, 0, DNA), 0);
    EXPECT_EQ(treeLength(), 0.0);
    TTree empty;
    EXPECT_EQ(sprinkle(empty, 0.5f, 4, STANDARD), 0);
    const double next = ran3();
    seedStream(-3);
    EXPECT_EQ(next, ran3());

    // A single gene: only the random ancestral sequence of DNA.
    TTree single(1);
    EXPECT_EQ(sprinkle(single, 0.5f, 4, DNA), 0);
    EXPECT_EQ(single.node(0).sequence.size(), 4u);
}

// ---------------------------------------------------------------------------
// DNA: transitions stay within purines (A, G) or pyrimidines (C, T).

TEST(MutationDna, TransitionFractionOneAndZero) {
    const auto purine = [](int s) { return s == 0 || s == 1; };
    TTree tree;
    resetAll(-31);
    int transversionsTo[4] = {0, 0, 0, 0};
    for (float tf : {1.0f, 0.0f}) {
        int checked = 0;
        for (int r = 0; r < 200; ++r) {
            buildKingman(tree, 8, 50);
            sprinkle(tree, 0.02f, 1, DNA, 0.0f, tf);
            for (int i = 0; i < tree.nodeCount() - 1; ++i) {
                const TNode& node = tree.node(i);
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

TEST(MutationDna, AncestralSequenceIsUniformOverLetters) {
    TTree tree;
    buildThreeLeaves(tree, 1, 2);
    resetAll(-8);
    const int nSites = 4000;
    sprinkle(tree, 0.0f, nSites, DNA);
    int count[4] = {0, 0, 0, 0};
    for (int s : tree.node(4).sequence) ++count[s];
    for (int c : count) EXPECT_NEAR(c, nSites / 4.0, 4.0 * std::sqrt(nSites * 0.25 * 0.75));
}

// ---------------------------------------------------------------------------
// Site choice: gamma rate heterogeneity only for DNA, only with a shape of at
// least 1e-7 and rates built for the locus' number of sites.

namespace {

// Chi-square statistic of the site hits of `reps` genealogies against equal rates.
double siteChiSquare(int type, float gammaA, int nSites, int reps) {
    TTree tree;
    buildThreeLeaves(tree, 1, 1000);
    std::vector<double> hits(static_cast<std::size_t>(nSites), 0.0);
    double total = 0.0;
    for (int r = 0; r < reps; ++r) {
        total += sprinkle(tree, 0.5f, nSites, type, gammaA);
        for (int s = 0; s < nSites; ++s) hits[s] += mutationState().hits[s];
    }
    double chi2 = 0.0;
    for (double h : hits) chi2 += (h - total / nSites) * (h - total / nSites) / (total / nSites);
    return chi2;
}

}  // namespace

TEST(MutationSiteChoice, GammaRatesOnlyForDnaWithShapeAndMatchingLength) {
    const int nSites = 10;
    resetAll(-101);
    // Strong heterogeneity: a few sites carry almost all the rate.
    ASSERT_EQ(buildSiteRates(nSites, 0.1, 4), 1);
    // 9 degrees of freedom: 40 is far in the tail of equal rates (p < 1e-5).
    EXPECT_GT(siteChiSquare(DNA, 0.1f, nSites, 5), 1000.0);
    EXPECT_LT(siteChiSquare(DNA, 0.0f, nSites, 5), 40.0);
    EXPECT_LT(siteChiSquare(DNA, 1e-8f, nSites, 5), 40.0);
    EXPECT_LT(siteChiSquare(RFLP, 0.1f, nSites, 5), 40.0);
    EXPECT_LT(siteChiSquare(STANDARD, 0.1f, nSites, 5), 40.0);
    // Rates built for another number of sites are never read.
    ASSERT_EQ(buildSiteRates(7, 0.1, 4), 1);
    EXPECT_LT(siteChiSquare(DNA, 0.1f, nSites, 5), 40.0);
}

// ---------------------------------------------------------------------------
// MICROSAT

TEST(MutationMicrosat, BoundsOfTheAlleleRange) {
    resetMutationState();
    const int ranges[][3] = {{4, -1, 2}, {5, -2, 2}, {9, -4, 4}, {10, -4, 5}, {1, 0, 0}, {2, 0, 1}};
    for (const auto& r : ranges) {
        setMicrosatBounds(r[0]);
        EXPECT_EQ(mutationState().microsatLo, r[1]) << "R = " << r[0];
        EXPECT_EQ(mutationState().microsatHi, r[2]) << "R = " << r[0];
        EXPECT_EQ(mutationState().microsatHi - mutationState().microsatLo + 1, r[0]);
    }
    setMicrosatBounds(0);  // no constraint: bounds untouched
    EXPECT_EQ(mutationState().microsatLo, 0);
    EXPECT_EQ(mutationState().microsatHi, 1);
}

TEST(MutationMicrosat, StatesStayInRangeAndBoundsMoveInward) {
    TTree tree;
    for (int range : {4, 5, 9, 10}) {
        resetAll(-range);
        setMicrosatBounds(range);
        const int lo = mutationState().microsatLo, hi = mutationState().microsatHi;
        bool reachedLo = false, reachedHi = false;
        int fromLo = 0, fromHi = 0;
        for (int r = 0; r < 300; ++r) {
            buildKingman(tree, 10, 100);
            // Geometric steps of mean about 2 overshoot the bounds often.
            sprinkle(tree, 0.01f, 1, MICROSAT, 0.0f, 0.5f, range, 0.5f);
            for (int i = 0; i < tree.nodeCount(); ++i) {
                const TNode& node = tree.node(i);
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

TEST(MutationMicrosat, StepwiseBelowGsmThresholdGeometricAbove) {
    TTree tree;
    resetAll(-66);
    int single = 0, longer = 0;
    for (float gsm : {0.0009f, 0.5f}) {
        for (int r = 0; r < 300; ++r) {
            buildKingman(tree, 10, 100);
            sprinkle(tree, 0.01f, 1, MICROSAT, 0.0f, 0.5f, 0, gsm);
            for (int i = 0; i < tree.nodeCount() - 1; ++i) {
                const TNode& node = tree.node(i);
                const int step = std::abs(node.sequence[0] - node.ancestor->sequence[0]);
                if (gsm < 0.001f) {
                    // Single steps: never farther than the number of mutations,
                    // and an odd count can never return to the parent's state.
                    EXPECT_LE(step, node.mutations);
                    EXPECT_EQ(step % 2, node.mutations % 2);
                } else if (node.mutations == 1) {
                    (step == 1 ? single : longer)++;
                    EXPECT_GE(step, 1);
                }
            }
        }
    }
    // With q = 0.5 about half of the single mutations step more than one repeat.
    EXPECT_GT(single, 20);
    EXPECT_GT(longer, 20);
}

TEST(MutationMicrosat, DrawOrderLocusRateStepThenDirection) {
    // Per locus: its rate, its step parameter; then branch by branch as for
    // the other types, and per mutation the step size before the direction.
    TTree tree;
    buildThreeLeaves(tree, 40, 100);
    const float mu = 0.05f, q = 0.5f;
    resetAll(-404);
    const int placed = sprinkle(tree, mu, 1, MICROSAT, 0.0f, 0.5f, 0, q);
    const double after = ran3();

    seedStream(-404);
    const double rate = gamma_dev(2.0, 2.0 / static_cast<double>(mu));
    const float alpha = q * 199.0f + 0.5f;
    const double p = betaDeviate(alpha, ((1.0f - q) * alpha) / q);
    std::vector<int> state(5, 0), counts(5, 0);
    auto branch = [&](int child, int parent, int length) {
        counts[child] = static_cast<int>(poissonDeviate(static_cast<float>(length * rate)));
        state[child] = state[parent];
        for (int i = 0; i < counts[child]; ++i) {
            const int step = 1 + geometricDeviate(p);
            state[child] += ran3() >= 0.5 ? step : -step;
        }
    };
    branch(3, 4, 60);
    branch(0, 3, 40);
    branch(1, 3, 40);
    branch(2, 4, 100);
    EXPECT_EQ(placed, counts[0] + counts[1] + counts[2] + counts[3]);
    EXPECT_GT(placed, 0);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(tree.node(i).mutations, counts[i]) << "node " << i;
        EXPECT_EQ(tree.node(i).sequence[0], state[i]) << "node " << i;
    }
    EXPECT_EQ(ran3(), after);
}

// ---------------------------------------------------------------------------
// SNP

namespace {

// Two sample demes of two genes each: leaves 0, 1 (deme 0) meet at time 100,
// leaves 2, 3 (deme 1) at time 100, and the two pairs at time 1000. Most
// mutations fall on one of the two long inner branches (2 derived genes of 4).
void buildTwoPairs(TTree& tree) {
    tree.resize(4);
    join(tree.node(4), tree.node(0), tree.node(1), 100);
    join(tree.node(5), tree.node(2), tree.node(3), 100);
    join(tree.node(6), tree.node(4), tree.node(5), 1000);
}

int derivedLeaves(const TTree& tree, int site, int first, int last) {
    int k = 0;
    for (int i = first; i < last; ++i) k += tree.node(i).sequence[site];
    return k;
}

}  // namespace

TEST(MutationSnp, SitesRespectTheMinimumFrequency) {
    TTree tree;
    resetAll(-12);
    const int n = 20, nSites = 10;
    for (int r = 0; r < 30; ++r) {
        buildKingman(tree, n, 200);
        const int m =
            sprinkle_mutations(tree, 0.01f, 0.0f, nSites, SNP, 0.0f, 0.5f, 0, 0.2f, 0.0f, r + 1, {10, 10});
        EXPECT_EQ(m, 0);
        EXPECT_EQ(treeLength(), 0.0);
        for (int s = 0; s < nSites; ++s) {
            EXPECT_EQ(mutationState().hits[s], 1);
            const int i = derivedLeaves(tree, s, 0, n);
            EXPECT_GE(std::min(i, n - i), 4) << "site " << s;  // 4 / 20 = 0.2
        }
    }
}

TEST(MutationSnp, ZeroMinimumAcceptsTheFirstPositionOnTheBranchesLaidEndToEnd) {
    // The branches in pre-order along [0, L), L = 2200 generations:
    // root-pair0 [0, 900), pair0-gene0 [900, 1000), pair0-gene1 [1000, 1100),
    // root-pair1 [1100, 2000), pair1-gene2 [2000, 2100), pair1-gene3 [2100, 2200).
    // With a minimum of 0 the first position of every site is kept: one
    // deviate per site and no rate or Poisson draw.
    TTree tree;
    buildTwoPairs(tree);
    resetAll(-13);
    const int nSites = 400;
    sprinkle_mutations(tree, 0.01f, 0.0f, nSites, SNP, 0.0f, 0.5f, 0, 0.0f, 0.0f, 1, {2, 2});
    const double next = ran3();
    seedStream(-13);
    bool leafBranchHit = false;
    for (int s = 0; s < nSites; ++s) {
        const int x = static_cast<int>(ran3() * 2200);
        const std::vector<int> derived = x < 900    ? std::vector<int>{1, 1, 0, 0}
                                         : x < 1000 ? std::vector<int>{1, 0, 0, 0}
                                         : x < 1100 ? std::vector<int>{0, 1, 0, 0}
                                         : x < 2000 ? std::vector<int>{0, 0, 1, 1}
                                         : x < 2100 ? std::vector<int>{0, 0, 1, 0}
                                                    : std::vector<int>{0, 0, 0, 1};
        leafBranchHit = leafBranchHit || x >= 2000 || (x >= 900 && x < 1100);
        for (int i = 0; i < 4; ++i) ASSERT_EQ(tree.node(i).sequence[s], derived[i]) << "site " << s << " x " << x;
    }
    EXPECT_TRUE(leafBranchHit);
    EXPECT_EQ(next, ran3());
}

TEST(MutationSnp, WithinSampleRuleAndImpossibleSites) {
    TTree tree;
    buildTwoPairs(tree);
    resetAll(-14);
    // Globally a single gene (1 of 4) is never frequent enough, but within its
    // deme of two it is at 0.5: only the short leaf branches are accepted.
    sprinkle_mutations(tree, 0.0f, 0.0f, 3, SNP, 0.0f, 0.5f, 0, 0.6f, 0.5f, 1, {2, 2});
    for (int s = 0; s < 3; ++s) EXPECT_EQ(derivedLeaves(tree, s, 0, 4), 1) << "site " << s;

    // Nothing reaches 0.6 overall: every site is given up after 20000
    // positions, left monomorphic, and reported once.
    testing::internal::CaptureStdout();
    sprinkle_mutations(tree, 0.0f, 0.0f, 2, SNP, 0.0f, 0.5f, 0, 0.6f, 0.0f, 17, {2, 2});
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out,
              "ERROR: {TDemeCollection::sprinkle_mutations} [Impossible to generate enough snp polymorphisms "
              "for simulation 17 !]\n");
    for (int s = 0; s < 2; ++s) EXPECT_EQ(derivedLeaves(tree, s, 0, 4), 0);
}
