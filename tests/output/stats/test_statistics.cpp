// The summary statistics on worked examples computed by hand (the working is
// in the comments), and the rules of what is left undefined.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <optional>
#include <vector>

#include "coalescent/GenealogyTree.h"
#include "drainage/Drainage.h"
#include "output/stats/Alleles.h"
#include "output/stats/Divergence.h"
#include "output/stats/Diversity.h"
#include "output/stats/Fst.h"
#include "output/stats/NeiDistance.h"
#include "output/stats/Repeats.h"
#include "output/stats/Replicate.h"
#include "output/stats/RiverDistance.h"
#include "output/stats/Sites.h"
#include "output/stats/Tmrca.h"

using namespace fluviagen;

namespace {

constexpr double tolerance = 1e-12;
constexpr int A = 0, C = 1, G = 2, T = 3;

// Samples of gene rows, turned into the matrix the statistics read.
struct Genes {
    std::vector<std::vector<std::vector<int>>> samples;
    GeneMatrix matrix() const {
        GeneMatrix m;
        m.first.push_back(0);
        for (const auto& sample : samples) {
            for (const auto& row : sample) m.rows.emplace_back(row);
            m.first.push_back(static_cast<int>(m.rows.size()));
        }
        return m;
    }
};

ReplicateStatistics compute(const Genes& genes, MarkerKind kind, int loci = 1, bool genotypic = false,
                            int rarefaction = 0) {
    return computeReplicate(genes.matrix(), {kind, loci, genotypic, rarefaction});
}

void expectNear(const std::optional<double>& value, double expected, const char* what) {
    ASSERT_TRUE(value.has_value()) << what;
    EXPECT_NEAR(*value, expected, tolerance) << what;
}

}  // namespace

// One sample of four sequences, AAAA AAAT AACT GACT: sites 1, 3 and 4
// segregate (S = 3); per site the share of differing pairs is 3/6, 4/6 and
// 3/6, so pi = 5/3; four haplotypes, each once: He = 4/3 (1 - 4/16) = 1.
// Tajima's D with a1 = 11/6, a2 = 49/36: e1 = 6/1089, e2 = 0.0026900...,
// D = (5/3 - 18/11) / sqrt(3 e1 + 6 e2) = 0.167655795...
TEST(SiteStatistics, FourGeneAlignment) {
    const Genes genes{{{{A, A, A, A}, {A, A, A, T}, {A, A, C, T}, {G, A, C, T}}}};
    const auto stats = compute(genes, MarkerKind::sequence);
    const SampleStatistics& s = stats.samples[0];
    EXPECT_EQ(s.genes, 4);
    EXPECT_EQ(s.segsites, 3);
    expectNear(s.pi, 5.0 / 3.0, "pi");
    expectNear(s.tajd, 0.1676557950339493, "Tajima's D");
    expectNear(s.alleles, 4, "haplotypes");
    expectNear(s.he, 1, "He");
    EXPECT_FALSE(s.ho.has_value()) << "haplotypic output has no individuals";
    EXPECT_FALSE(s.repMean.has_value()) << "sequences have no repeat number";
}

// What needs how many genes, and a monomorphic sample, in one table.
TEST(SiteStatistics, SmallAndMonomorphicSamples) {
    struct Row {
        const char* what;
        std::vector<std::vector<int>> genes;
        std::optional<int> S;
        std::optional<double> pi;
        std::optional<double> he;
        bool tajd;
    };
    const std::vector<Row> rows = {
        // Two genes that differ at both sites: pi = 2, He = 1; D undefined.
        {"2 genes", {{0, 0}, {1, 1}}, 2, 2.0, 1.0, false},
        // 00 01 11: each site 2 against 1, 2/3 of the pairs differ: pi = 4/3;
        // three haplotypes: He = 3/2 (1 - 3/9) = 1.
        {"3 genes", {{0, 0}, {0, 1}, {1, 1}}, 2, 4.0 / 3.0, 1.0, false},
        // Monomorphic: all defined and zero, D undefined (S = 0).
        {"monomorphic", {{1, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 0}}, 0, 0.0, 0.0, false},
        {"1 gene", {{1, 0}}, std::nullopt, std::nullopt, std::nullopt, false},
        {"0 genes", {}, std::nullopt, std::nullopt, std::nullopt, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        // A second sample keeps the columns polymorphic overall.
        const auto stats = compute(Genes{{row.genes, {{0, 0}, {1, 1}}}}, MarkerKind::sequence);
        const SampleStatistics& s = stats.samples[0];
        EXPECT_EQ(s.segsites, row.S);
        EXPECT_EQ(s.pi.has_value(), row.pi.has_value());
        if (row.pi) expectNear(s.pi, *row.pi, "pi");
        EXPECT_EQ(s.he.has_value(), row.he.has_value());
        if (row.he) expectNear(s.he, *row.he, "He");
        EXPECT_EQ(s.tajd.has_value(), row.tajd);
        EXPECT_EQ(s.alleles.has_value(), !row.genes.empty());
    }
}

TEST(SiteStatistics, TajimasDNeedsFourGenesAndASegregatingSite) {
    EXPECT_FALSE(tajimasD(3, 2, 1.0).has_value());
    EXPECT_FALSE(tajimasD(10, 0, 0.0).has_value());
    EXPECT_TRUE(tajimasD(4, 1, 0.5).has_value());
}

// Two independent loci of one site each: S and pi add up, He and the
// number of haplotypes are means over the loci. Locus 1 {0,0,1,1}: He =
// 4/3 * 1/2 = 2/3; locus 2 monomorphic: He = 0.
TEST(SiteStatistics, SeveralLociSumSitesAndAverageDiversity) {
    const Genes genes{{{{0, 0}, {0, 0}, {1, 0}, {1, 0}}, {{0, 1}, {0, 1}}}};
    const auto stats = compute(genes, MarkerKind::sequence, 2);
    const SampleStatistics& s = stats.samples[0];
    EXPECT_EQ(s.segsites, 1);
    expectNear(s.pi, 2.0 / 3.0, "pi");
    expectNear(s.he, 1.0 / 3.0, "He");
    expectNear(s.alleles, 1.5, "haplotypes");
    // All six genes: the two loci are {0,0,1,1,0,0} and {0,0,0,0,1,1}, S = 2.
    EXPECT_EQ(stats.all.segsites, 2);
    EXPECT_EQ(stats.all.genes, 6);
}

// Repeat numbers -1, 0, 0, 2: three alleles, He = 4/3 (1 - 6/16) = 5/6; mean
// 1/4, variance (1.5625 + 0.0625 + 0.0625 + 3.0625) / 3 = 19/12; range 3,
// M = 3 / (3 + 1) = 3/4. A monomorphic sample: M = 1, variance 0.
TEST(RepeatStatistics, ThreeAlleleMicrosatellite) {
    const auto stats = compute(Genes{{{{-1}, {0}, {0}, {2}}, {{5}, {5}, {5}}}}, MarkerKind::repeats);
    const SampleStatistics& s = stats.samples[0];
    expectNear(s.alleles, 3, "alleles");
    expectNear(s.he, 5.0 / 6.0, "He");
    expectNear(s.repMean, 0.25, "mean");
    expectNear(s.repVar, 19.0 / 12.0, "variance");
    expectNear(s.gw, 0.75, "M");
    EXPECT_FALSE(s.segsites.has_value());
    const SampleStatistics& mono = stats.samples[1];
    expectNear(mono.gw, 1, "monomorphic M");
    expectNear(mono.repVar, 0, "monomorphic variance");
    expectNear(mono.he, 0, "monomorphic He");

    const RepeatSummary one = repeatSummary(std::vector<int>{4});
    expectNear(one.mean, 4, "one gene");
    EXPECT_FALSE(one.variance.has_value());
    EXPECT_FALSE(one.garzaWilliamson.has_value());
}

// Diversity measures on allele counts: rarefaction, heterozygosity.
TEST(Diversity, RarefactionAndHeterozygosity) {
    // Counts {3, 1}, g = 2: the common allele is always drawn; the rare one
    // is missed with C(3,2)/C(4,2) = 1/2: 1.5 alleles.
    expectNear(rarefiedRichness(std::vector<int>{3, 1, 0}, 2), 1.5, "rarefied");
    expectNear(rarefiedRichness(std::vector<int>{3, 1}, 4), 2, "all genes");
    EXPECT_FALSE(rarefiedRichness(std::vector<int>{3, 1}, 5).has_value());
    EXPECT_FALSE(rarefiedRichness(std::vector<int>{3, 1}, 1).has_value());
    // Individuals (0,1) (1,1) (2,0): two of three heterozygous; an odd last
    // copy belongs to no individual.
    expectNear(observedHeterozygosity(std::vector<int>{0, 1, 1, 1, 2, 0}), 2.0 / 3.0, "Ho");
    expectNear(observedHeterozygosity(std::vector<int>{0, 1, 1}), 1, "Ho odd");
    EXPECT_FALSE(observedHeterozygosity(std::vector<int>{0}).has_value());
}

// Two samples with known FST. A = {0,0,1,1}, B = {1,1,1,1} at one site:
//   Hudson: pi_A = 2/3, pi_B = 0, Hw = 1/3, Hb = 1 - 1/2 * 1 = 1/2: FST = 1/3.
//   Weir & Cockerham, haploid: N = 8, n_c = 4; each allele MSP = 1/2,
//   MSG = (4 * 1/4) / 6 = 1/6: among = (1/2 - 1/6) / 4 = 1/12, theta =
//   (2/12) / (2/12 + 2/6) = 1/3.
//   Nei: Jx = 1/2, Jy = 1, Jxy = 1/2: D = -ln(1/sqrt 2) = ln 2 / 2.
TEST(Differentiation, TwoSamplesWithKnownFst) {
    const Genes genes{{{{0}, {0}, {1}, {1}}, {{1}, {1}, {1}, {1}}}};
    for (MarkerKind kind : {MarkerKind::sequence, MarkerKind::allelic}) {
        const auto stats = compute(genes, kind);
        expectNear(stats.fst[0][1], 1.0 / 3.0, "FST");
        expectNear(stats.fst[1][0], 1.0 / 3.0, "FST symmetric");
        expectNear(stats.nei[0][1], std::log(2.0) / 2, "Nei");
        expectNear(stats.globalFst, 1.0 / 3.0, "global FST of two samples");
    }
}

// Weir & Cockerham (1984) for diploids, one locus, two samples of two
// individuals (n_bar = n_c = 2), table of genotypes by hand:
// per allele s2 = sum n_i (p_i - p)^2 / ((r - 1) n_bar), pq = p (1 - p):
//   fixed (0,0)(0,0) | (1,1)(1,1): s2 = 1/2, pq = 1/4, h = 0: a = 1/2, b = 0: 1.
//   (0,0)(1,1) | (1,1)(1,1): p = 1/2 and 1, s2 = 1/8, pq = 3/16, h = 0:
//     a = 1/8 - (3/16 - 1/16) = 0, b = 2 (3/16 - 1/16) = 1/4: 0 (the
//     homozygotes of A alone say nothing of the samples' divergence).
//   (0,1)(0,1) | (1,1)(1,1): as above with h = 1/2: a = 1/8 - (1/8 - 1/8)
//     = 1/8, b = 2 (1/8 - 3/16) = -1/8, c = 1/4: theta = 1/2.
TEST(Differentiation, WeirCockerhamDiploid) {
    struct Row {
        std::vector<std::vector<int>> a, b;
        double theta;
    };
    const std::vector<Row> rows = {
        {{{0}, {0}, {0}, {0}}, {{1}, {1}, {1}, {1}}, 1.0},
        {{{0}, {0}, {1}, {1}}, {{1}, {1}, {1}, {1}}, 0.0},
        {{{0}, {1}, {0}, {1}}, {{1}, {1}, {1}, {1}}, 0.5},
    };
    for (const Row& row : rows) {
        const auto stats = compute(Genes{{row.a, row.b}}, MarkerKind::repeats, 1, true);
        expectNear(stats.fst[0][1], row.theta, "theta");
        // An odd last copy belongs to no individual and changes nothing.
        auto odd = row.a;
        odd.push_back({7});
        expectNear(compute(Genes{{odd, row.b}}, MarkerKind::repeats, 1, true).fst[0][1], row.theta, "odd copy");
    }
    // Observed heterozygosity of the third case: both A individuals.
    const auto stats = compute(Genes{{rows[2].a, rows[2].b}}, MarkerKind::allelic, 1, true);
    expectNear(stats.samples[0].ho, 1, "Ho");
    expectNear(stats.samples[1].ho, 0, "Ho");
    expectNear(stats.all.ho, 0.5, "Ho of all");
}

// Weir & Cockerham with samples of unequal size, where n_c (the size that
// weights the variance among samples) is not the mean size.
//   Haploid, A = {0,0,1} (3 genes), B = {1,1,1,1,1} (5): N = 8, n_c =
//   (8 - 34/8) / 1 = 15/4 (the mean is 4). Allele 0: p = 2/3 and 0, p_bar =
//   1/4; MSP = 3 (5/12)^2 + 5 (1/4)^2 = 5/6, MSG = 3 (2/3)(1/3) / 6 = 1/9;
//   among = (5/6 - 1/9) / (15/4) = 26/135, total = 26/135 + 1/9 = 41/135.
//   Allele 1 mirrors it: theta = 26/41 (13/21 with the mean size).
//   Diploid, A = (0,0)(0,1)(1,1), B = (1,1)(1,1): n_bar = 5/2, n_c = 5 - 13/5
//   = 12/5. Allele 0: p = 1/2 and 0, p_bar = 3/10, h_bar = 1/5, s2 = (3 (1/5)^2
//   + 2 (3/10)^2) / (5/2) = 3/25, pq = 21/100; a = (25/24) (3/25 - (21/100 -
//   3/50 - 1/20) / (3/2)) = 1/18, b = (5/3) (21/100 - 3/50 - 2/25) = 7/60,
//   c = 1/10. Allele 1 mirrors it: theta = (1/18) / (1/18 + 7/60 + 1/10) =
//   10/49 (16/81 with n_c = n_bar).
TEST(Differentiation, WeirCockerhamUnequalSampleSizes) {
    struct Row {
        const char* what;
        bool genotypic;
        std::vector<std::vector<int>> a, b;
        double theta;
    };
    const std::vector<Row> rows = {
        {"haploid", false, {{0}, {0}, {1}}, {{1}, {1}, {1}, {1}, {1}}, 26.0 / 41.0},
        {"diploid", true, {{0}, {0}, {0}, {1}, {1}, {1}}, {{1}, {1}, {1}, {1}}, 10.0 / 49.0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const auto stats = compute(Genes{{row.a, row.b}}, MarkerKind::allelic, 1, row.genotypic);
        expectNear(stats.fst[0][1], row.theta, "theta");
        expectNear(stats.globalFst, row.theta, "global theta of two samples");
    }
}

// dxy and da on hand-made pairs (sequences; a, b the two samples):
//   no shared haplotype, A = {000, 000}, B = {110, 111}: per site the share
//     of differing pairs between them is 1, 1, 1/2: dxy = 5/2; pi_A = 0,
//     pi_B = 1: da = 5/2 - 1/2 = 2 (FST = da / dxy = 4/5; Nei undefined);
//   A = {00, 01, 11, 11}, B = {00, 00}: dxy = 1/2 + 3/4, pi_A = 2/3 + 1/2,
//     pi_B = 0: da = 5/4 - 7/12 = 2/3;
//   identical samples: dxy = da = 0 (FST undefined);
//   one gene in A, {01} against {00, 11}: dxy = 1/2 + 1/2; without pi_A no da;
//   no gene in A: neither.
TEST(Differentiation, SequenceDivergence) {
    struct Row {
        const char* what;
        std::vector<std::vector<int>> a, b;
        std::optional<double> dxy, da;
    };
    const std::vector<Row> rows = {
        {"no shared haplotype", {{0, 0, 0}, {0, 0, 0}}, {{1, 1, 0}, {1, 1, 1}}, 2.5, 2.0},
        {"polymorphic and monomorphic", {{0, 0}, {0, 1}, {1, 1}, {1, 1}}, {{0, 0}, {0, 0}}, 1.25, 2.0 / 3.0},
        {"identical", {{1, 0}, {1, 0}}, {{1, 0}, {1, 0}, {1, 0}}, 0.0, 0.0},
        {"one gene", {{0, 1}}, {{0, 0}, {1, 1}}, 1.0, std::nullopt},
        {"no gene", {}, {{0, 0}, {1, 1}}, std::nullopt, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const auto stats = compute(Genes{{row.a, row.b}}, MarkerKind::sequence);
        ASSERT_EQ(stats.dxy[0][1].has_value(), row.dxy.has_value());
        ASSERT_EQ(stats.da[1][0].has_value(), row.da.has_value());
        if (row.dxy) expectNear(stats.dxy[1][0], *row.dxy, "dxy");
        if (row.da) {
            expectNear(stats.da[0][1], *row.da, "da");
            // Two samples of 2 genes or more: the global terms are the pair's.
            expectNear(stats.globalDxy, *row.dxy, "global dxy");
            expectNear(stats.globalDa, *row.da, "global da");
            if (*row.dxy > 0) expectNear(stats.fst[0][1], *row.da / *row.dxy, "FST = da / dxy");
        }
        // Allelic data have no sequence divergence.
        const auto allelic = compute(Genes{{row.a, row.b}}, MarkerKind::allelic);
        EXPECT_FALSE(allelic.dxy[0][1].has_value() || allelic.da[0][1].has_value() || allelic.globalDxy.has_value());
    }
}

// Samples that share no allele: FST is complete, Nei's distance (infinite)
// is left undefined. Identical monomorphic samples: nothing differs, FST is
// undefined (0/0), Nei's distance 0. Samples of one gene take no part.
TEST(Differentiation, UndefinedCases) {
    for (MarkerKind kind : {MarkerKind::sequence, MarkerKind::allelic}) {
        const auto apart = compute(Genes{{{{0}, {0}}, {{1}, {1}}}}, kind);
        expectNear(apart.fst[0][1], 1, "no shared allele: FST");
        EXPECT_FALSE(apart.nei[0][1].has_value()) << "no shared allele: Nei";
        const auto same = compute(Genes{{{{3}, {3}}, {{3}, {3}, {3}}}}, kind);
        EXPECT_FALSE(same.fst[0][1].has_value());
        expectNear(same.nei[0][1], 0, "identical: Nei");
        const auto single = compute(Genes{{{{0}}, {{1}, {0}}, {}}}, kind);
        EXPECT_FALSE(single.fst[0][1].has_value());
        EXPECT_FALSE(single.nei[0][1].has_value());
        EXPECT_FALSE(single.fst[1][2].has_value());
        EXPECT_FALSE(single.globalFst.has_value());
    }
}

// Genealogy of four leaves, A = leaves 0 and 1, B = leaves 2 and 3:
// node 4 = (0, 2) at 5 generations, node 5 = (1, 4) at 8, root 6 = (3, 5) at
// 20. A's ancestor is node 5 (8), B's the root (20).
TEST(Tmrca, AgesFromTheGenealogy) {
    GenealogyTree tree(4);
    const auto join = [&tree](int parent, int a, int b, int time) {
        TreeNode& p = tree.node(parent);
        p.left = &tree.node(a);
        p.right = &tree.node(b);
        p.time = time;
        tree.node(a).ancestor = tree.node(b).ancestor = &p;
    };
    join(4, 0, 2, 5);
    join(5, 1, 4, 8);
    join(6, 3, 5, 20);
    const std::vector<int> firstLeaf = {0, 2, 4};
    const auto ages = sampleMrcaAges(tree, firstLeaf);
    ASSERT_EQ(ages.size(), 2u);
    EXPECT_EQ(ages[0], 8);
    EXPECT_EQ(ages[1], 20);
    EXPECT_EQ(rootAge(tree), 20);
    // Leaves 0 to 2 meet in node 5; a sample of one gene (leaf 3) and one of
    // none have no ancestor of their own.
    const std::vector<int> small = {0, 3, 4, 4};
    const auto few = sampleMrcaAges(tree, small);
    EXPECT_EQ(few[0], 8);
    EXPECT_FALSE(few[1].has_value());
    EXPECT_FALSE(few[2].has_value());
}

// A drainage drawn by hand (lengths in metres, the river flows to node 1):
//
//   7 --s7-- 8          (apart)
//   6 --s6(500)-- 5 ==s4(1000)== 4 --s3(3000)-- 2 --s1(1000)-- 1
//                   ==s5(3000)==               |
//                   (a braid)                  s2(2000)
//                                              3
//
// Middle to middle: s2-s1 1000 + 500; s2-s3 (the confluence) 1000 + 1500;
// s1-s6 500 + 3000 + 1000 (the short arm) + 250; s5-s4 1500 + 500;
// s2-s5 1000 + 3000 + 1500.
TEST(RiverDistance, ShortestPathThroughConfluenceAndBraid) {
    Drainage drainage;
    for (int id = 1; id <= 8; ++id) {
        auto node = std::make_unique<DrainageNode>();
        node->id = id;
        drainage.nodes->store(std::move(node));
    }
    const auto add = [&drainage](int id, int from, int to, float length) {
        auto s = std::make_unique<Segment>();
        s->id = id;
        s->fromNode = drainage.nodes->find(from);
        s->toNode = drainage.nodes->find(to);
        s->length = length;
        return drainage.store(std::move(s));
    };
    const Segment* s1 = add(1, 2, 1, 1000);
    const Segment* s2 = add(2, 3, 2, 2000);
    const Segment* s3 = add(3, 4, 2, 3000);
    const Segment* s4 = add(4, 5, 4, 1000);
    const Segment* s5 = add(5, 5, 4, 3000);
    const Segment* s6 = add(6, 6, 5, 500);
    const Segment* s7 = add(7, 8, 7, 100);
    const std::vector<const Segment*> segments = {s1, s2, s3, s4, s5, s6, s7, nullptr, s2};
    const auto km = riverDistancesKm(drainage, segments);
    struct Row {
        std::size_t a, b;
        std::optional<double> km;
    };
    const std::vector<Row> rows = {
        {1, 0, 1.5},          {1, 2, 2.5}, {0, 5, 4.75},         {4, 3, 2.0},
        {1, 4, 5.5},          {0, 0, 0.0}, {1, 8, 0.0},  // one segment twice
        {0, 6, std::nullopt}, {6, 6, 0.0}, {0, 7, std::nullopt}, {7, 7, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.a << "-" << row.b);
        ASSERT_EQ(km[row.a][row.b].has_value(), row.km.has_value());
        ASSERT_EQ(km[row.b][row.a].has_value(), row.km.has_value());
        if (row.km) {
            EXPECT_NEAR(*km[row.a][row.b], *row.km, 1e-9);
            EXPECT_NEAR(*km[row.b][row.a], *row.km, 1e-9);
        }
    }
}

// Between the middle points, longitude first: a degree of longitude at 60
// degrees is half a degree of arc (common::greatCircleKm has the sphere's
// cases).
TEST(RiverDistance, StraightLine) {
    Segment c, d;
    c.lon = 20;
    c.lat = 60;
    d.lon = 21;
    d.lat = 60;
    EXPECT_NEAR(straightLineKm(c, d), 6371.0 * 3.14159265358979323846 / 360, 0.01);
    EXPECT_EQ(straightLineKm(c, c), 0.0);
}

TEST(Alleles, HaplotypesAndColumns) {
    const Genes genes{{{{1, 2, 3}, {1, 2, 3}}, {{1, 0, 3}, {1, 2}}}};
    const GeneMatrix m = genes.matrix();
    // The short row reads 0 beyond its end.
    EXPECT_EQ(polymorphicColumns(m), (std::vector<int>{1, 2}));
    const std::vector<int> all = {0, 1, 2};
    const Locus haplotypes = haplotypeLocus(m, all);
    EXPECT_EQ(haplotypes.alleles, 3);
    EXPECT_EQ(haplotypes.allele[0], haplotypes.allele[1]);
    EXPECT_EQ(haplotypes.countsOf(1)[static_cast<std::size_t>(haplotypes.allele[2])], 1);
    EXPECT_EQ(haplotypes.pooledCounts()[static_cast<std::size_t>(haplotypes.allele[0])], 2);
    EXPECT_EQ(columnLocus(m, 1).alleles, 2);
}
